#include "diagnostics.h"

#include <cstdarg>
#include <cstdio>
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

void diagnostic(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (needed < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        text.assign(small, static_cast<size_t>(needed));
    } else {
        std::vector<char> large(static_cast<size_t>(needed) + 1);
        std::vsnprintf(large.data(), large.size(), format, copy);
        text.assign(large.data(), static_cast<size_t>(needed));
    }
    va_end(copy);
    if (currentSink != nullptr) {
        currentSink->write(text);
    } else {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
}

ScopedDiagnosticsCapture::ScopedDiagnosticsCapture() : previous_(exchangeSink(this)) {}

ScopedDiagnosticsCapture::~ScopedDiagnosticsCapture() {
    exchangeSink(previous_);
}

void StandardErrorSink::write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace varlowe
