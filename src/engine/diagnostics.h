#pragma once

#include <string>

namespace varlowe {

// Where the engine's per-packet diagnostic lines go. By default they are written to the
// standard output; the command-line tool sends them to standard error and tests collect them.
// Installing, removing and writing are safe from any thread; a sink's write is called under
// a process-wide lock and must not write diagnostics itself.
class IDiagnosticsSink {
  public:
    virtual void write(const std::string& text) = 0;
    virtual ~IDiagnosticsSink() = default;
};

// Installs a sink for the whole process; nullptr restores the standard output.
void setDiagnosticsSink(IDiagnosticsSink* sink);

// Formats one diagnostic (printf rules) and hands it to the current sink.
void diagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The debug channel: developer traces that never reach the user's terminal. Nothing is
// formatted unless a sink is installed; setting VARLOWE_DEBUG in the environment sends the
// traces to standard error.
void setDebugSink(IDiagnosticsSink* sink);
bool debugEnabled();
void debugTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Collects diagnostics while it lives, then restores the previous sink.
class ScopedDiagnosticsCapture : public IDiagnosticsSink {
  public:
    ScopedDiagnosticsCapture();
    ~ScopedDiagnosticsCapture() override;
    ScopedDiagnosticsCapture(const ScopedDiagnosticsCapture&) = delete;
    ScopedDiagnosticsCapture& operator=(const ScopedDiagnosticsCapture&) = delete;

    void write(const std::string& text) override { text_ += text; }
    // A copy taken under the sinks' lock: other threads may be writing into it.
    std::string text() const;

  private:
    IDiagnosticsSink* previous_ = nullptr;
    std::string text_;
};

// Writes diagnostics to the standard error stream.
class StandardErrorSink : public IDiagnosticsSink {
  public:
    void write(const std::string& text) override;
};

}  // namespace varlowe
