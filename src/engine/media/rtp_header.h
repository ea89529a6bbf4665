#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/capture/byte_reader.h"

namespace varlowe {

constexpr size_t kRtpFixedHeaderSize = 12;
constexpr uint8_t kRtpVersion2 = 2;
constexpr size_t kRtpCsrcSize = 4;
constexpr size_t kRtpExtensionHeaderSize = 4;

// The fixed header of an RTP packet (RFC 3550 5.1).
struct RtpHeader {
    uint8_t version = 0;
    bool padding = false;
    bool extension = false;
    uint8_t csrcCount = 0;
    bool marker = false;
    uint8_t payloadType = 0;  // low seven bits of the second byte
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;

    // None when fewer than the 12 fixed bytes are there; any version is decoded.
    static std::optional<RtpHeader> parse(const uint8_t* data, size_t length) {
        ByteReader reader(data, length);
        if (!reader.has(kRtpFixedHeaderSize)) {
            return std::nullopt;
        }
        RtpHeader header;
        const uint8_t first = reader.u8();
        header.version = static_cast<uint8_t>(first >> 6);
        header.padding = (first & 0x20) != 0;
        header.extension = (first & 0x10) != 0;
        header.csrcCount = first & 0x0f;
        const uint8_t second = reader.u8();
        header.marker = (second & 0x80) != 0;
        header.payloadType = second & 0x7f;
        header.sequence = reader.be16();
        header.timestamp = reader.be32();
        header.ssrc = reader.be32();
        return header;
    }
};

// Whether the payload can be RTP or RTCP at all: 12 bytes or more, version 2.
inline bool mayBeRtp(const uint8_t* data, size_t length) {
    return data != nullptr && length >= kRtpFixedHeaderSize && (data[0] >> 6) == kRtpVersion2;
}

// The payload type of a packet that has at least two bytes.
inline uint8_t rtpPayloadType(const uint8_t* data) {
    return data[1] & 0x7f;
}

// Bytes of the fixed header, CSRC list and header extension; none when the packet is too
// short for its own fixed header and CSRC list. An extension that runs past the packet ends
// with it.
inline std::optional<size_t> rtpHeaderLength(const uint8_t* data, size_t length) {
    std::optional<RtpHeader> header = RtpHeader::parse(data, length);
    if (!header) {
        return std::nullopt;
    }
    size_t size = kRtpFixedHeaderSize + kRtpCsrcSize * header->csrcCount;
    if (length < size) {
        return std::nullopt;
    }
    if (header->extension && size + kRtpExtensionHeaderSize <= length) {
        ByteReader reader(data + size, length - size);
        reader.skip(2);  // profile-defined bits
        const size_t words = reader.be16();
        size = std::min(length, size + kRtpExtensionHeaderSize + 4 * words);
    }
    return size;
}

}  // namespace varlowe
