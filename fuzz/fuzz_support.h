#pragma once

#include "diagnostics.h"

namespace varlowe::fuzzing {

// Diagnostics are expected on hostile input; keep them off the fuzzer's terminal.
class SilentSink : public IDiagnosticsSink {
  public:
    void write(const std::string&) override {}
};

inline void silenceDiagnostics() {
    static SilentSink sink;
    setDiagnosticsSink(&sink);
}

}  // namespace varlowe::fuzzing
