#include "info_panel_content.h"

#include <cinttypes>
#include <cstdio>

#include "engine/capture/ipv6_address.h"
#include "engine/capture/packet_record.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_item.h"

namespace varlowe {
namespace info_content {

namespace {

std::string decimal(int64_t value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%" PRId64, value);
    return buffer;
}

}  // namespace

Rows packetInfoRows(const PacketRecord& packet) {
    const char* type = packet.transport == TransportKind::Udp   ? "UDP"
                       : packet.transport == TransportKind::Tcp ? "TCP"
                                                                : "OTHER";
    return Rows{
        {"Packet #", decimal(packet.number)},
        {"Timestamp", packetTimeText(packet.time())},
        {"Packet type", type},
        {"Source", endpointText(packet.sourceAddress, packet.sourcePort)},
        {"Destination", endpointText(packet.destinationAddress, packet.destinationPort)},
        {"IP Header Length", decimal(packet.headerOverhead)},
        {"Data Length", decimal(packet.payloadLength)},
        {"Total Length", decimal(int64_t{packet.headerOverhead} + packet.payloadLength)},
    };
}

std::string mediaTabTitle(const RtpStream& stream) {
    return stream.mediaName + "/" + stream.encodingName + "/" + decimal(stream.ssrc);
}

Rows stunRows(const AnalysisItem& item) {
    if (!item.stun) {
        return {};
    }
    return item.stun->pairs();
}

const PacketRecord& describedPacket(const AnalysisItem& item) {
    if (item.kind == ItemKind::Media && item.stream != nullptr) {
        return item.stream->firstPacket();
    }
    return item.packet;
}

}  // namespace info_content
}  // namespace varlowe
