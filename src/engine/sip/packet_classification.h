#pragma once

#include <cstddef>
#include <cstdint>

namespace varlowe {

struct PacketRecord;

enum class PacketKind { Sip, Stun, Other };

struct PacketClass {
    PacketKind kind = PacketKind::Other;
    size_t sipStart = 0;  // where the SIP message starts in the payload
};

// What the analysis pass makes of a packet: SIP when its text contains "SIP/2.0" or a start
// line is found inside other bytes (the latter whatever the encapsulation switch of the TCP
// assembler says), else STUN/TURN when it passes the STUN test, else neither.
PacketClass classifyPacket(const uint8_t* payload, size_t length, bool includeSip,
                           bool includeSturn);
PacketClass classifyPacket(const PacketRecord& packet, bool includeSip, bool includeSturn);

}  // namespace varlowe
