#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace varlowe {

// One accepted UDP or TCP frame as decoded from a capture record (numeric form).
struct FrameInfo {
    uint8_t protocol = 0;  // IP protocol number: 17 UDP, 6 TCP
    // As the capture file has them: unsigned, so times after January 2038 stay positive.
    uint32_t seconds = 0;
    uint32_t microseconds = 0;
    uint32_t number = 0;      // record index in the file, from 1
    uint64_t fileOffset = 0;  // offset of the record header
    // IPv4 in host order; for IPv6 (family 6) the number ipv6Number gives the address, and
    // the bytes below.
    uint32_t sourceAddress = 0;
    uint32_t destinationAddress = 0;
    uint8_t family = 4;
    std::array<uint8_t, 16> source6{};
    std::array<uint8_t, 16> destination6{};
    uint16_t ipPayloadLength = 0;   // IP total length minus IP header length
    uint32_t ipIdentification = 0;  // 16 bits in IPv4, 32 in an IPv6 fragment header
    uint16_t moreFragments = 0;
    uint16_t fragmentOffset = 0;  // in bytes
    // Length field of the UDP header of a datagram that is not fragmented; 0 otherwise. The
    // payload may run past it (Ethernet padding, trailers).
    uint16_t udpLength = 0;
    uint16_t sourcePort = 0;
    uint16_t destinationPort = 0;
    uint32_t tcpSequence = 0;  // of the segment's first byte
    uint8_t tcpFlags = 0;      // SYN 0x02, FIN 0x01, RST 0x04
    // A TCP payload without sequence numbers (one a HEP probe sent): taken in arrival order.
    bool unsequenced = false;
    uint32_t headerOverhead = 0;  // wire length minus payload length
    uint32_t payloadLength = 0;
    // payloadLength bytes followed by one zero byte, so the payload can be searched as text.
    std::vector<uint8_t> payload;

    const uint8_t* payloadData() const { return payload.data(); }
    // Sizes the payload for `length` bytes plus the terminating zero.
    uint8_t* preparePayload(uint32_t length) {
        payloadLength = length;
        payload.resize(size_t{length} + 1);
        payload[length] = 0;
        return payload.data();
    }
};

}  // namespace varlowe
