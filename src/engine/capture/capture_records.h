#pragma once

#include <cstdint>
#include <limits>
#include <vector>

namespace varlowe {

// What a capture file said about itself up to some point: its sections (where each starts,
// its byte order) and their interfaces (link type, snapshot length, time resolution). The
// analysis pass learns it; later readers of the same file take it over, so that seeking to
// a packet needs no walk from the start.
struct CaptureInterface {
    uint32_t linkType = 0;
    uint32_t snapLength = 0;
    bool decimal = true;  // resolution 10^-exponent, else 2^-exponent seconds
    uint8_t exponent = 6;
    int64_t offsetSeconds = 0;          // if_tsoffset
    uint64_t unitsPerSecond = 1000000;  // from the resolution; 0 when it has no 64-bit form
};
struct CaptureSection {
    uint64_t start = 0;
    bool swap = false;
    std::vector<CaptureInterface> interfaces;
};
struct CaptureLayout {
    std::vector<CaptureSection> sections;
    uint64_t walkedTo = 0;  // every block that starts before this offset is known
};

// One captured frame as a container holds it: its bytes, their length on the wire, the link
// type they are framed in, the time and where the record starts in the file.
struct RawRecord {
    static constexpr uint32_t kNoLinkType = std::numeric_limits<uint32_t>::max();
    uint64_t offset = 0;
    const uint8_t* data = nullptr;  // valid until the next record is read
    uint32_t storedLength = 0;
    uint32_t wireLength = 0;
    uint32_t linkType = kNoLinkType;  // kNoLinkType: its interface cannot be read
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
};

}  // namespace varlowe
