#include "info_panel_content.h"

#include <cinttypes>
#include <cstdio>

#include "engine/capture/ipv6_address.h"
#include "engine/capture/packet_record.h"
#include "engine/media/dtmf.h"
#include "engine/media/rtp_statistics.h"
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

Rows streamRows(const RtpStreamRegistry* registry, const RtpStream& stream) {
    Rows rows = streamFigureRows(stream);
    if (registry != nullptr && isTelephoneEvent(stream)) {
        for (auto& row : digitRows(streamDigits(*registry, stream), stream)) {
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

Rows digitRows(const std::vector<DtmfDigit>& digits, const RtpStream& stream) {
    std::string keys;
    for (const DtmfDigit& digit : digits) {
        keys += digit.digit;
    }
    Rows rows = {{"DTMF Digits", keys.empty() ? std::string("-") : keys}};
    const PacketTime start = stream.firstPacket().time();
    for (size_t i = 0; i < digits.size(); ++i) {
        const DtmfDigit& digit = digits[i];
        std::string text = std::string(1, digit.digit) + " at " +
                           packetTimeText(timeDifference(digit.time, start)) + " s, " +
                           std::to_string(digit.durationMs) + " ms";
        if (digit.volume >= 0) {
            text += ", -" + std::to_string(digit.volume) + " dBm0";
        }
        rows.emplace_back("Digit " + std::to_string(i + 1), std::move(text));
    }
    return rows;
}

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

PacketRecord describedPacket(const AnalysisItem& item) {
    if (item.kind == ItemKind::Media && item.stream != nullptr) {
        return item.stream->firstPacket();
    }
    return item.packet.record();
}

}  // namespace info_content
}  // namespace varlowe
