#include "packet_classification.h"

#include "engine/capture/packet_record.h"
#include "engine/media/stun_decoder.h"
#include "sip_framing.h"
#include "sip_message.h"

namespace varlowe {

PacketClass classifyPacket(const uint8_t* payload, size_t length, bool includeSip,
                           bool includeSturn) {
    PacketClass result;
    if (payload == nullptr || length == 0) {
        return result;
    }
    if (includeSip) {
        if (containsSip(payload, length)) {
            result.kind = PacketKind::Sip;
            return result;
        }
        if (std::optional<size_t> start = findSipStart(payload, length)) {
            result.kind = PacketKind::Sip;
            result.sipStart = *start;
            return result;
        }
    }
    if (includeSturn && isStunMessage(payload, length)) {
        result.kind = PacketKind::Stun;
    }
    return result;
}

PacketClass classifyPacket(const PacketRecord& packet, bool includeSip, bool includeSturn) {
    return classifyPacket(packet.payloadData(), packet.payloadLength, includeSip, includeSturn);
}

}  // namespace varlowe
