#include "frame_decoder.h"

#include <cstring>

#include "byte_order.h"
#include "byte_reader.h"
#include "engine/diagnostics.h"

namespace varlowe {

namespace {

constexpr uint32_t kIpHeaderSize = 20;
constexpr uint32_t kUdpHeaderSize = 8;
constexpr uint32_t kTcpHeaderSize = 20;
constexpr uint16_t kEthernetTypeIpv4 = 0x0800;
constexpr uint16_t kEthernetTypeVlan = 0x8100;
constexpr uint16_t kEthernetTypeQinQ = 0x88a8;
constexpr uint32_t kFamilyInet = 2;
constexpr uint8_t kProtocolTcp = 6;
constexpr uint8_t kProtocolUdp = 17;

// The link layers read, and the names of some others for the refusal.
constexpr LinkLayer kLinkLayers[] = {
    {0, "BSD loopback", 4, -1, false, true}, {1, "Ethernet", 14, 12, true, false},
    {101, "raw IP", 0, -1, false, false},    {113, "Linux cooked capture", 16, 14, true, false},
    {228, "raw IPv4", 0, -1, false, false},  {276, "Linux cooked capture v2", 20, 0, true, false},
};

uint32_t overheadOf(uint32_t wireLength, uint32_t payloadLength) {
    // A wire length below the stored payload only comes from a damaged header.
    return wireLength > payloadLength ? wireLength - payloadLength : 0;
}

// Copies the rest of the span as the payload.
void takePayload(FrameInfo& frame, ByteReader& bytes, uint32_t length, uint32_t wireLength) {
    std::memcpy(frame.preparePayload(length), bytes.current(), length);
    frame.headerOverhead = overheadOf(wireLength, length);
}

}  // namespace

const LinkLayer* linkLayerOf(uint32_t linkType) {
    for (const LinkLayer& layer : kLinkLayers) {
        if (layer.type == linkType) {
            return &layer;
        }
    }
    return nullptr;
}

bool linkTypeSupported(uint32_t linkType) {
    return linkLayerOf(linkType) != nullptr;
}

const char* linkTypeName(uint32_t linkType) {
    if (const LinkLayer* layer = linkLayerOf(linkType)) {
        return layer->name;
    }
    struct Name {
        uint32_t type;
        const char* name;
    };
    static constexpr Name kOthers[] = {
        {9, "PPP"},
        {105, "IEEE 802.11 wireless"},
        {127, "IEEE 802.11 radiotap"},
        {229, "raw IPv6"},
    };
    for (const Name& entry : kOthers) {
        if (entry.type == linkType) {
            return entry.name;
        }
    }
    return "unknown";
}

FrameDecoder::Result FrameDecoder::decode(const uint8_t* data, uint32_t length, uint32_t wireLength,
                                          uint32_t linkType, FrameInfo& frame) {
    const LinkLayer* layer = linkLayerOf(linkType);
    if (layer == nullptr || length < layer->headerLength) {
        return Result::Dropped;
    }
    ByteReader bytes(data, length);
    const uint8_t* link = bytes.current();
    bytes.skip(layer->headerLength);
    uint16_t etherType = kEthernetTypeIpv4;
    if (layer->carriedTypeAt >= 0) {
        etherType = readBigEndian16(link + layer->carriedTypeAt);
    } else if (layer->addressFamily) {
        const uint32_t family = readLittleEndian32(link);
        if (family != kFamilyInet && swapBytes32(family) != kFamilyInet) {
            return Result::Dropped;
        }
    }
    // 802.1Q and 802.1ad tags, one or two, before the carried type.
    for (int tags = 0; layer->tagged && tags < 2 &&
                       (etherType == kEthernetTypeVlan || etherType == kEthernetTypeQinQ);
         ++tags) {
        bytes.skip(2);
        etherType = bytes.be16();
        if (!bytes.ok()) {
            return Result::Dropped;
        }
    }
    if (etherType != kEthernetTypeIpv4 || bytes.remaining() < kIpHeaderSize) {
        return Result::Dropped;
    }

    const uint8_t* ip = bytes.current();
    const bool rawIp = layer->headerLength == 0;
    if (rawIp && (ip[0] >> 4) != 4) {
        return Result::Dropped;  // IPv6 on a raw IP link
    }
    const uint32_t headerLength = (ip[0] & 0x0fu) * 4;
    if (headerLength == 0) {
        diagnostic("Packet %d: Unable to read ip header\n", static_cast<int>(frame.number));
        return Result::StopReading;
    }
    if (headerLength < kIpHeaderSize || headerLength > bytes.remaining()) {
        return Result::Dropped;  // shorter than the fixed header, or longer than the record
    }
    bytes.skip(headerLength);
    frame.protocol = ip[9];
    frame.sourceAddress = readBigEndian32(ip + 12);
    frame.destinationAddress = readBigEndian32(ip + 16);
    const uint32_t ipTotalLength = readBigEndian16(ip + 2);

    if (frame.protocol == kProtocolTcp && includeTcp_ && bytes.remaining() >= kTcpHeaderSize) {
        const uint32_t ipPayload = ipTotalLength > headerLength ? ipTotalLength - headerLength : 0;
        const uint8_t* tcp = bytes.current();
        const uint32_t offsetWords = tcp[12] >> 4;
        const uint32_t tcpLength = offsetWords < 6 ? kTcpHeaderSize : offsetWords * 4;
        if (tcpLength >= bytes.remaining()) {
            return Result::Dropped;  // no payload, or options running past the record
        }
        bytes.skip(tcpLength);
        uint32_t payload = static_cast<uint32_t>(bytes.remaining());
        // Ethernet pads short frames (a bare acknowledgement is 54 bytes); those bytes are
        // not segment data and would corrupt the reassembled byte stream. A total length
        // that is zero or too small (segmentation offload) leaves the captured length in
        // charge.
        if (ipPayload > tcpLength && ipPayload - tcpLength < payload) {
            payload = ipPayload - tcpLength;
        } else if (ipPayload == tcpLength) {
            return Result::Dropped;
        }
        frame.sourcePort = readBigEndian16(tcp);
        frame.destinationPort = readBigEndian16(tcp + 2);
        frame.ipPayloadLength = 0;
        frame.ipIdentification = 0;
        frame.moreFragments = 0;
        frame.udpLength = 0;
        frame.fragmentOffset = 0;
        takePayload(frame, bytes, payload, wireLength);
        return Result::Accepted;
    }
    if (frame.protocol != kProtocolUdp || !includeUdp_ || bytes.remaining() < kUdpHeaderSize) {
        return Result::Dropped;
    }
    frame.ipPayloadLength = static_cast<uint16_t>(ipTotalLength - headerLength);
    frame.ipIdentification = readBigEndian16(ip + 4);
    const uint16_t flags = readBigEndian16(ip + 6);
    frame.fragmentOffset = static_cast<uint16_t>((flags & 0x1fffu) * 8);
    frame.moreFragments = (flags & 0x2000u) != 0 ? 1 : 0;
    frame.sourcePort = 0;
    frame.destinationPort = 0;
    frame.udpLength = 0;
    if (frame.fragmentOffset == 0) {
        frame.sourcePort = bytes.be16();
        frame.destinationPort = bytes.be16();
        const uint16_t udpLength = bytes.be16();
        bytes.skip(2);
        if (frame.moreFragments == 0) {
            frame.udpLength = udpLength;
        }
    }
    if (bytes.remaining() == 0) {
        return Result::Dropped;
    }
    takePayload(frame, bytes, static_cast<uint32_t>(bytes.remaining()), wireLength);
    if (frame.moreFragments != 0 || frame.fragmentOffset != 0) {
        return fragments_.add(frame) ? Result::Accepted : Result::Dropped;
    }
    return Result::Accepted;
}

}  // namespace varlowe
