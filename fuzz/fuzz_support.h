#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/diagnostics.h"

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

// Writes the input to a per-process file for the parts that read captures from disk; false
// when the file cannot be written.
inline bool writeInputFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    if (size > 0) {
        std::fwrite(data, 1, size, file);
    }
    std::fclose(file);
    return true;
}

inline std::string inputFilePath(const char* name) {
    return "/tmp/varlowe-fuzz-" + std::string(name) + "-" + std::to_string(getpid()) + ".pcap";
}

}  // namespace varlowe::fuzzing
