#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace varlowe {

// The packet a HEP (Homer encapsulation protocol) datagram carries: what a probe or a SIP
// server captured and sent to a collector, with its own addresses, ports and time.
struct HepPacket {
    int version = 0;                   // 2 (also read for 1) or 3
    uint8_t family = 0;                // 2 IPv4, 10 IPv6
    uint8_t protocol = 0;              // the IP protocol: 17 UDP, 6 TCP
    std::array<uint8_t, 16> source{};  // IPv4 in the first four bytes
    std::array<uint8_t, 16> destination{};
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    bool hasTime = false;
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    const uint8_t* payload = nullptr;  // into the datagram given
    size_t payloadLength = 0;
};

enum class HepOutcome {
    NotHep,   // not a HEP datagram: read it as it is
    Decoded,  // `packet` holds what it carries
    Damaged,  // HEP, but cut short or missing a part; `problem` says which
};

// Reads HEP version 3 (chunks, "HEP3") and versions 1 and 2 (a fixed header) from the bytes of
// one UDP payload. Never reads past `length`; unknown chunks are stepped over.
HepOutcome decodeHep(const uint8_t* data, size_t length, HepPacket& packet, std::string& problem);

// The UDP port HEP is sent to by default.
constexpr uint16_t kHepPort = 9060;

}  // namespace varlowe
