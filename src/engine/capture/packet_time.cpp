#include "packet_time.h"

#include <cinttypes>
#include <cstdio>

namespace varlowe {

PacketTime timeDifference(PacketTime later, PacketTime earlier) {
    PacketTime result;
    result.seconds = later.seconds - earlier.seconds;
    result.microseconds = later.microseconds - earlier.microseconds;
    if (later.seconds != earlier.seconds && later.microseconds < earlier.microseconds) {
        result.seconds -= 1;
        result.microseconds += 1000000;
    }
    return result;
}

int formatPacketTime(PacketTime time, char* buffer, size_t size) {
    // Within the range of any two 32-bit times, so no overflow.
    const int64_t total = time.seconds * 1000000 + time.microseconds;
    if (total >= 0 && time.microseconds >= 0) {
        return std::snprintf(buffer, size, "%" PRId64 ".%6.6" PRId64, time.seconds,
                             time.microseconds);
    }
    // A negative difference: "%d.%6.6d" alone would print "0.-00200".
    uint64_t magnitude = total < 0 ? static_cast<uint64_t>(-total) : static_cast<uint64_t>(total);
    return std::snprintf(buffer, size, "%s%" PRIu64 ".%6.6" PRIu64, total < 0 ? "-" : "",
                         magnitude / 1000000, magnitude % 1000000);
}

std::string packetTimeText(PacketTime time) {
    char text[32];
    int length = formatPacketTime(time, text, sizeof text);
    return std::string(text, length > 0 ? static_cast<size_t>(length) : 0);
}

}  // namespace varlowe
