#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/capture/frame_info.h"
#include "engine/capture/packet_record.h"
#include "engine/capture/packet_time.h"

namespace varlowe {

// What attribution needs of a packet: numeric destination, payload and, for the copies a
// stream keeps, the packet itself. Address texts are formatted only when a copy is made.
struct MediaPacket {
    uint8_t family = 4;  // 6: the address is an IPv6 address's number
    uint32_t destinationAddress = 0;
    uint16_t destinationPort = 0;
    const uint8_t* payload = nullptr;
    size_t length = 0;
    PacketTime time;
    uint32_t headerOverhead = 0;
    uint32_t number = 0;
    // Where reading the file again yields the packet: its record, or for a datagram
    // reassembled from IPv4 fragments the record of its first fragment.
    uint64_t fileOffset = 0;
    const FrameInfo* frame = nullptr;
    const PacketRecord* record = nullptr;

    // The endpoint key of the source; none when a record's source texts are no address and
    // port a capture gives.
    std::optional<uint64_t> sourceKey() const;
    // The payload's length within its UDP datagram: Ethernet padding after a short datagram
    // is not part of the RTP packet.
    size_t datagramLength() const {
        return frame != nullptr && frame->udpLength >= 8 && frame->udpLength - 8u < length
                   ? frame->udpLength - 8u
                   : length;
    }

    static MediaPacket of(const FrameInfo& frame);
    // None when the record's destination is not an IPv4 dotted quad or an IPv6 address and a
    // port as a capture would give them (no such packet can match a stream).
    static std::optional<MediaPacket> of(const PacketRecord& record);
    void copyTo(PacketRecord& out) const;
    // The same for a record that is overwritten by every packet of a stream: `endpoints`
    // remembers which addresses and ports the record's texts hold, so that they are written
    // again only when they change.
    void copyTo(PacketRecord& out, std::array<uint64_t, 2>& endpoints) const;
};

// Parses "a.b.c.d" exactly as packets are written (no leading zeros, no blanks).
std::optional<uint32_t> parseDottedQuad(const std::string& text);

// The numeric key of an endpoint: the address (IPv4, or an IPv6 address's number) in bits 16
// to 47, the port in the low 16, bit 48 set for IPv6.
inline uint64_t endpointKey(uint8_t family, uint32_t address, uint16_t port) {
    return (family == 6 ? uint64_t{1} << 48 : 0) | (uint64_t{address} << 16) | port;
}
// The key of a destination given as texts (a dotted quad or any IPv6 form); none for an
// address or port no packet can have.
std::optional<uint64_t> destinationKey(const std::string& address, int32_t port);
inline uint64_t destinationKey(const MediaPacket& packet) {
    return endpointKey(packet.family, packet.destinationAddress, packet.destinationPort);
}

}  // namespace varlowe
