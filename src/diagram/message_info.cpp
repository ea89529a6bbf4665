#include "message_info.h"

#include "engine/capture/ipv6_address.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"

namespace varlowe::message_info {

std::string title(const AnalysisItem& item) {
    return "Message (Packet #" + std::to_string(item.packet.number) + ": " +
           (item.packet.transport == TransportKind::Udp ? "UDP" : "TCP") + ")";
}

std::string heading(const AnalysisItem& item) {
    const ItemPacket& p = item.packet;
    return endpointText(p.sourceAddress(), p.sourcePort()) + " --> " +
           endpointText(p.destinationAddress(), p.destinationPort());
}

std::string content(const AnalysisModel& model, const AnalysisItem& item) {
    switch (item.kind) {
        case ItemKind::Sip:
            return model.payloadText(item);
        case ItemKind::Stun: {
            std::string text;
            if (item.stun) {
                for (const auto& pair : item.stun->pairs()) {
                    text += (pair.first + " : " + pair.second).substr(0, 509) + "\n";
                }
            }
            return text;
        }
        case ItemKind::Media: {
            std::string text;
            if (item.stream != nullptr) {
                for (const auto& row : streamFigureRows(*item.stream)) {
                    text += row.first + " : " + row.second + "\n";
                }
            }
            return text;
        }
    }
    return std::string();
}

}  // namespace varlowe::message_info
