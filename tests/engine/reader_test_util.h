#pragma once

#include <string>
#include <vector>

#include "capture/capture_file_reader.h"
#include "capture/packet_record.h"
#include "capture_builder.h"

namespace varlowe::testsupport {

struct ReadResult {
    bool opened = false;
    std::vector<PacketRecord> packets;
};

// Writes the built capture to a temporary file and reads every accepted packet from it.
inline ReadResult readAll(const CaptureBuilder& builder, bool includeUdp = true,
                          bool includeTcp = true) {
    TempFile file;
    builder.writeTo(file.path());
    CaptureFileReader reader;
    reader.setIncludeUdp(includeUdp);
    reader.setIncludeTcp(includeTcp);
    ReadResult result;
    result.opened = reader.open(file.path());
    FrameInfo frame;
    while (result.opened && reader.nextFrame(frame)) {
        result.packets.push_back(PacketRecord::fromFrame(frame));
    }
    return result;
}

inline std::string payloadOf(const PacketRecord& record) {
    return std::string(record.payloadText(), record.payloadLength);
}

constexpr uint32_t kHostA = ipv4(10, 0, 0, 1);
constexpr uint32_t kHostB = ipv4(192, 168, 200, 254);

}  // namespace varlowe::testsupport
