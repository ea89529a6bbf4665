#pragma once

#include <string>
#include <vector>

#include "engine/capture/capture_file_reader.h"
#include "engine/capture/packet_record.h"
#include "support/capture_builder.h"

namespace varlowe::testsupport {

struct ReadResult {
    bool opened = false;
    std::vector<PacketRecord> packets;
};

// Reads every accepted packet of a capture file.
inline ReadResult readPath(const std::string& path, bool includeUdp = true,
                           bool includeTcp = true) {
    CaptureFileReader reader;
    reader.setIncludeUdp(includeUdp);
    reader.setIncludeTcp(includeTcp);
    ReadResult result;
    result.opened = reader.open(path);
    FrameInfo frame;
    while (result.opened && reader.nextFrame(frame)) {
        result.packets.push_back(PacketRecord::fromFrame(frame));
    }
    return result;
}

// Writes the built capture (classic or pcapng) to a temporary file and reads it.
template <typename Builder>
ReadResult readAll(const Builder& builder, bool includeUdp = true, bool includeTcp = true) {
    TempFile file;
    builder.writeTo(file.path());
    return readPath(file.path(), includeUdp, includeTcp);
}

inline std::string payloadOf(const PacketRecord& record) {
    return std::string(record.payloadText(), record.payloadLength);
}

constexpr uint32_t kHostA = ipv4(10, 0, 0, 1);
constexpr uint32_t kHostB = ipv4(192, 168, 200, 254);

}  // namespace varlowe::testsupport
