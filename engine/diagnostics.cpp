#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace varlowe {

namespace {
IDiagnosticsSink* currentSink = nullptr;
IDiagnosticsSink* exchangeSink(IDiagnosticsSink* sink) {
    IDiagnosticsSink* previous = currentSink;
    currentSink = sink;
    return previous;
}
}  // namespace

void setDiagnosticsSink(IDiagnosticsSink* sink) {
    currentSink = sink;
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
    installedDebugSink = sink;
    debugSinkInstalled = sink != nullptr;
}

bool debugEnabled() {
    return currentDebugSink() != nullptr;
}

void debugTrace(const char* format, ...) {
    IDiagnosticsSink* sink = currentDebugSink();
    if (sink == nullptr) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
    sink->write(text);
}

void diagnostic(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatText(format, args);
    va_end(args);
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

ScopedDiagnosticsCapture::ScopedDiagnosticsCapture() : previous_(exchangeSink(this)) {}

ScopedDiagnosticsCapture::~ScopedDiagnosticsCapture() {
    exchangeSink(previous_);
}

void StandardErrorSink::write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace varlowe
