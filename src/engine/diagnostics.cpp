#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace varlowe {

namespace {
// Sinks are changed and written under one lock, so that a worker thread (live capture) can
// report while the user interface swaps sinks; a line is never interleaved with another.
std::mutex& sinkLock() {
    static std::mutex lock;
    return lock;
}
IDiagnosticsSink* currentSink = nullptr;
IDiagnosticsSink* exchangeSink(IDiagnosticsSink* sink) {
    std::lock_guard<std::mutex> guard(sinkLock());
    IDiagnosticsSink* previous = currentSink;
    currentSink = sink;
    return previous;
}
}  // namespace

void setDiagnosticsSink(IDiagnosticsSink* sink) {
    exchangeSink(sink);
}

namespace {
std::string formatText(const char* format, va_list args);
IDiagnosticsSink* debugSink() {
    static StandardErrorSink standardError;
    static IDiagnosticsSink* fromEnvironment =
        std::getenv("VARLOWE_DEBUG") != nullptr ? &standardError : nullptr;
    return fromEnvironment;
}
IDiagnosticsSink* installedDebugSink = nullptr;
bool debugSinkInstalled = false;
IDiagnosticsSink* currentDebugSink() {
    return debugSinkInstalled ? installedDebugSink : debugSink();
}
}  // namespace

void setDebugSink(IDiagnosticsSink* sink) {
    std::lock_guard<std::mutex> guard(sinkLock());
    installedDebugSink = sink;
    debugSinkInstalled = sink != nullptr;
}

bool debugEnabled() {
    std::lock_guard<std::mutex> guard(sinkLock());
    return currentDebugSink() != nullptr;
}

void debugTrace(const char* format, ...) {
    if (!debugEnabled()) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(sinkLock());
    if (IDiagnosticsSink* sink = currentDebugSink()) {
        sink->write(text);
    }
}

void diagnostic(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    std::lock_guard<std::mutex> guard(sinkLock());
    if (currentSink != nullptr) {
        currentSink->write(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
}

namespace {
std::string formatText(const char* format, va_list args) {
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (needed < 0) {
        va_end(copy);
        return text;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        text.assign(small, static_cast<size_t>(needed));
    } else {
        std::vector<char> large(static_cast<size_t>(needed) + 1);
        std::vsnprintf(large.data(), large.size(), format, copy);
        text.assign(large.data(), static_cast<size_t>(needed));
    }
    va_end(copy);
    return text;
}
}  // namespace

// Installed only once its text exists: another thread may write the moment it is installed.
ScopedDiagnosticsCapture::ScopedDiagnosticsCapture() {
    previous_ = exchangeSink(this);
}

ScopedDiagnosticsCapture::~ScopedDiagnosticsCapture() {
    exchangeSink(previous_);
}

std::string ScopedDiagnosticsCapture::text() const {
    std::lock_guard<std::mutex> guard(sinkLock());
    return text_;
}

void StandardErrorSink::write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace varlowe
