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

    static MediaPacket of(const FrameInfo& frame);
    // None when the record's destination is not an IPv4 dotted quad and port as a capture
    // would give them (no such packet can match a stream).
    static std::optional<MediaPacket> of(const PacketRecord& record);
    void copyTo(PacketRecord& out) const;
    // The same for a record that is overwritten by every packet of a stream: `endpoints`
    // remembers which addresses and ports the record's texts hold, so that they are written
    // again only when they change.
    void copyTo(PacketRecord& out, std::array<uint64_t, 2>& endpoints) const;
};

// Parses "a.b.c.d" exactly as packets are written (no leading zeros, no blanks).
std::optional<uint32_t> parseDottedQuad(const std::string& text);

// The numeric key of a destination (address in the high 32 of 48 bits, port in the low 16);
// none for an address or port no packet can have.
std::optional<uint64_t> destinationKey(const std::string& address, int32_t port);
inline uint64_t destinationKey(const MediaPacket& packet) {
    return (uint64_t{packet.destinationAddress} << 16) | packet.destinationPort;
}

}  // namespace varlowe
