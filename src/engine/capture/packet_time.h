#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace varlowe {

// A packet time or a difference of two, as seconds and microseconds. 64-bit, so that the
// difference of any two 32-bit file times is exact.
struct PacketTime {
    int64_t seconds = 0;
    int64_t microseconds = 0;
};

inline bool operator==(PacketTime a, PacketTime b) {
    return a.seconds == b.seconds && a.microseconds == b.microseconds;
}

// later - earlier. A second is borrowed only when the seconds differ and the microseconds
// would go negative; with equal seconds a negative microsecond part is kept as it is.
PacketTime timeDifference(PacketTime later, PacketTime earlier);

// Writes the time as seconds, a point and six digits ("1.000250") into `buffer` of `size`
// bytes, always terminated when size > 0. A time below zero is written with one leading
// minus sign over its whole magnitude ("-0.000200"). Returns the full text length.
int formatPacketTime(PacketTime time, char* buffer, size_t size);

std::string packetTimeText(PacketTime time);

}  // namespace varlowe
