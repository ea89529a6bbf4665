#include "frame_decoder.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "byte_reader.h"
#include "engine/diagnostics.h"
#include "hep_decoder.h"
#include "ipv6_address.h"

namespace varlowe {

namespace {

constexpr uint32_t kIpHeaderSize = 20;
constexpr uint32_t kIpv6HeaderSize = 40;
constexpr uint8_t kIpv6HopByHop = 0;
constexpr uint8_t kIpv6Routing = 43;
constexpr uint8_t kIpv6Fragment = 44;
constexpr uint8_t kIpv6Authentication = 51;
constexpr uint8_t kIpv6DestinationOptions = 60;
constexpr uint32_t kUdpHeaderSize = 8;
constexpr uint32_t kTcpHeaderSize = 20;
constexpr uint16_t kEthernetTypeIpv4 = 0x0800;
constexpr uint16_t kEthernetTypeVlan = 0x8100;
constexpr uint16_t kEthernetTypeQinQ = 0x88a8;
constexpr uint16_t kEthernetTypeIpv6 = 0x86dd;
constexpr uint16_t kEthernetTypePppoeDiscovery = 0x8863;
constexpr uint16_t kEthernetTypePppoeSession = 0x8864;
constexpr uint16_t kEthernetTypeMpls = 0x8847;
constexpr uint16_t kEthernetTypeMplsMulticast = 0x8848;
constexpr uint16_t kEthernetTypeBridged = 0x6558;  // Ethernet frames inside GRE
constexpr uint16_t kPppIpv4 = 0x0021;
constexpr uint16_t kPppIpv6 = 0x0057;
constexpr uint8_t kProtocolIpInIp = 4;
constexpr uint8_t kProtocolIpv6InIp = 41;
constexpr uint8_t kProtocolGre = 47;
constexpr uint8_t kTcpControlFlags = 0x07;  // FIN, SYN, RST
constexpr int kMaxTunnelDepth = 4;
constexpr uint32_t kFamilyInet = 2;
constexpr uint32_t kFamilyInet6Hep = 10;  // the Linux value HEP carries
constexpr uint8_t kProtocolTcp = 6;
constexpr uint8_t kProtocolUdp = 17;

// The BSD values of AF_INET6 differ between systems (24, 28, 30).
bool isInet6Family(uint32_t family) {
    return family == 24 || family == 28 || family == 30;
}

// The link layers read, and the names of some others for the refusal.
constexpr LinkLayer kLinkLayers[] = {
    {0, "BSD loopback", 4, -1, false, true, false},
    {1, "Ethernet", 14, 12, true, false, false},
    {9, "PPP", 0, -1, false, false, true},
    {101, "raw IP", 0, -1, false, false, false},
    {113, "Linux cooked capture", 16, 14, true, false, false},
    {228, "raw IPv4", 0, -1, false, false, false},
    {229, "raw IPv6", 0, -1, false, false, false},
    {276, "Linux cooked capture v2", 20, 0, true, false, false},
};

// Steps over an Ethernet header carried inside a tunnel (and one or two tags); its type.
uint16_t innerEthernetType(ByteReader& bytes) {
    bytes.skip(12);
    uint16_t etherType = bytes.be16();
    for (int tags = 0;
         tags < 2 && (etherType == kEthernetTypeVlan || etherType == kEthernetTypeQinQ); ++tags) {
        bytes.skip(2);
        etherType = bytes.be16();
    }
    return etherType;
}

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
        {105, "IEEE 802.11 wireless"},
        {127, "IEEE 802.11 radiotap"},
    };
    for (const Name& entry : kOthers) {
        if (entry.type == linkType) {
            return entry.name;
        }
    }
    return "unknown";
}

const char* refusalText(Refusal refusal) {
    switch (refusal) {
        case Refusal::OtherLinkProtocol:
            return "neither IPv4 nor IPv6 (ARP and other link protocols)";
        case Refusal::PppoeDiscovery:
            return "PPPoE discovery frames carry no IP";
        case Refusal::PppWithoutIp:
            return "PPP frames without IP (LCP, IPCP and the like)";
        case Refusal::OtherAddressFamily:
            return "BSD loopback frames of another address family";
        case Refusal::OtherIpProtocol:
            return "IP protocols other than UDP and TCP (ICMP, ESP and the like)";
        case Refusal::OtherTunnel:
            return "GRE tunnels carrying neither IP nor Ethernet";
        case Refusal::TunnelFragment:
            return "fragments of tunnel packets are not reassembled";
        case Refusal::DamagedHep:
            return "damaged HEP packets";
        case Refusal::OtherHep:
            return "HEP packets carrying neither UDP nor TCP";
        case Refusal::TcpWithoutPayload:
            return "TCP segments without payload";
        case Refusal::UdpLeftOut:
            return "UDP, left out by the parsing options";
        case Refusal::TcpLeftOut:
            return "TCP, left out by the parsing options";
        case Refusal::Damaged:
            return "shorter than their headers or damaged";
        case Refusal::UnreadLinkType:
            return "a link type that is not read";
        case Refusal::None:
        case Refusal::Count:
            break;
    }
    return "";
}

std::vector<std::string> FrameDecoder::refusalSummary() const {
    std::vector<std::string> lines;
    for (size_t cause = 0; cause < refusals_.size(); ++cause) {
        if (refusals_[cause] > 0) {
            lines.push_back(std::to_string(refusals_[cause]) +
                            (refusals_[cause] == 1 ? " record: " : " records: ") +
                            refusalText(static_cast<Refusal>(cause)));
        }
    }
    return lines;
}

FrameDecoder::Result FrameDecoder::refuse(Refusal refusal) {
    ++refusals_[static_cast<size_t>(refusal)];
    return Result::Dropped;
}

FrameDecoder::Result FrameDecoder::decode(const uint8_t* data, uint32_t length, uint32_t wireLength,
                                          uint32_t linkType, FrameInfo& frame) {
    const LinkLayer* layer = linkLayerOf(linkType);
    if (layer == nullptr) {
        return refuse(Refusal::UnreadLinkType);
    }
    if (length < layer->headerLength) {
        return refuse(Refusal::Damaged);
    }
    ByteReader bytes(data, length);
    const uint8_t* link = bytes.current();
    bytes.skip(layer->headerLength);
    uint16_t etherType = kEthernetTypeIpv4;
    if (layer->carriedTypeAt >= 0) {
        etherType = readBigEndian16(link + layer->carriedTypeAt);
    } else if (layer->addressFamily) {
        const uint32_t family = readLittleEndian32(link);
        if (isInet6Family(family) || isInet6Family(swapBytes32(family))) {
            etherType = kEthernetTypeIpv6;
        } else if (family != kFamilyInet && swapBytes32(family) != kFamilyInet) {
            return refuse(Refusal::OtherAddressFamily);
        }
    } else if (layer->ppp) {
        if (bytes.has(2) && bytes.current()[0] == 0xff && bytes.current()[1] == 0x03) {
            bytes.skip(2);  // HDLC address and control
        }
        const Refusal carried = stepOverPpp(bytes, etherType);
        if (carried != Refusal::None) {
            return refuse(carried);
        }
    } else if (bytes.remaining() > 0 && (bytes.current()[0] >> 4) == 6) {
        etherType = kEthernetTypeIpv6;  // raw IP carries either version
    } else if (bytes.remaining() > 0 && (bytes.current()[0] >> 4) != 4) {
        return refuse(Refusal::Damaged);
    }
    // 802.1Q and 802.1ad tags, one or two, before the carried type.
    for (int tags = 0; layer->tagged && tags < 2 &&
                       (etherType == kEthernetTypeVlan || etherType == kEthernetTypeQinQ);
         ++tags) {
        bytes.skip(2);
        etherType = bytes.be16();
        if (!bytes.ok()) {
            return refuse(Refusal::Damaged);
        }
    }
    const Refusal carried = stepOverLinkEncapsulations(bytes, etherType);
    if (carried != Refusal::None) {
        return refuse(carried);
    }
    return decodeIp(bytes, wireLength, frame, 0, etherType == kEthernetTypeIpv6 ? 6 : 4);
}

Refusal FrameDecoder::stepOverPpp(ByteReader& bytes, uint16_t& etherType) {
    const uint16_t protocol = bytes.be16();
    if (!bytes.ok()) {
        return Refusal::Damaged;
    }
    if (protocol == kPppIpv4 || protocol == kPppIpv6) {
        etherType = protocol == kPppIpv4 ? kEthernetTypeIpv4 : kEthernetTypeIpv6;
        return Refusal::None;
    }
    return Refusal::PppWithoutIp;
}

Refusal FrameDecoder::stepOverLinkEncapsulations(ByteReader& bytes, uint16_t& etherType) {
    // PPPoE, MPLS and bridged Ethernet may nest; a bound keeps a crafted frame from looping.
    for (int depth = 0; depth < 8; ++depth) {
        switch (etherType) {
            case kEthernetTypeIpv4:
                return bytes.remaining() < kIpHeaderSize ? Refusal::Damaged : Refusal::None;
            case kEthernetTypeIpv6:
                return bytes.remaining() < kIpv6HeaderSize ? Refusal::Damaged : Refusal::None;
            case kEthernetTypePppoeDiscovery:
                return Refusal::PppoeDiscovery;
            case kEthernetTypePppoeSession: {
                // Version and type, code, session id, then the length of the PPP frame.
                bytes.skip(4);
                const uint16_t pppLength = bytes.be16();
                if (!bytes.ok() || pppLength < 2) {
                    return Refusal::Damaged;
                }
                const Refusal carried = stepOverPpp(bytes, etherType);
                if (carried != Refusal::None) {
                    return carried;
                }
                break;
            }
            case kEthernetTypeMpls:
            case kEthernetTypeMplsMulticast: {
                // Label stack entries up to the one with the bottom-of-stack bit.
                bool bottom = false;
                for (int labels = 0; labels < 16 && !bottom; ++labels) {
                    const uint32_t entry = bytes.be32();
                    if (!bytes.ok()) {
                        return Refusal::Damaged;
                    }
                    bottom = (entry & 0x100u) != 0;
                }
                if (!bottom || bytes.remaining() == 0) {
                    return Refusal::Damaged;
                }
                // What follows the stack has no type field: an IP version nibble, or a
                // pseudowire control word (first nibble 0) before an Ethernet frame.
                const uint8_t first = bytes.current()[0] >> 4;
                if (first == 4) {
                    etherType = kEthernetTypeIpv4;
                } else if (first == 6) {
                    etherType = kEthernetTypeIpv6;
                } else if (first == 0) {
                    bytes.skip(4);
                    etherType = innerEthernetType(bytes);
                } else {
                    return Refusal::OtherLinkProtocol;
                }
                break;
            }
            default:
                return Refusal::OtherLinkProtocol;
        }
        if (!bytes.ok()) {
            return Refusal::Damaged;
        }
    }
    return Refusal::Damaged;
}

FrameDecoder::Result FrameDecoder::decodeIp(ByteReader& bytes, uint32_t wireLength,
                                            FrameInfo& frame, int depth, int version) {
    // What the IP layer says of its payload, in either version.
    uint8_t protocol = 0;
    uint32_t ipPayload = 0;  // the payload's length by the header; 0 when it does not say
    uint32_t identification = 0;
    uint16_t fragmentOffset = 0;
    bool moreFragments = false;
    bool fragmented = false;
    if (version == 6) {
        if (bytes.remaining() < kIpv6HeaderSize || (bytes.current()[0] >> 4) != 6) {
            return refuse(Refusal::Damaged);
        }
        const uint8_t* ip = bytes.current();
        ipPayload = readBigEndian16(ip + 4);
        protocol = ip[6];
        bytes.skip(kIpv6HeaderSize);
        frame.family = 6;
        std::memcpy(frame.source6.data(), ip + 8, 16);
        std::memcpy(frame.destination6.data(), ip + 24, 16);
        // Extension headers before the transport: hop-by-hop, routing, destination options,
        // authentication, and the fragment header.
        for (int headers = 0; headers < 8; ++headers) {
            if (protocol != kIpv6HopByHop && protocol != kIpv6Routing &&
                protocol != kIpv6DestinationOptions && protocol != kIpv6Fragment &&
                protocol != kIpv6Authentication) {
                break;
            }
            if (bytes.remaining() < 8) {
                return refuse(Refusal::Damaged);
            }
            const uint8_t* header = bytes.current();
            size_t headerLength = 8;
            if (protocol == kIpv6Fragment) {
                const uint16_t field = readBigEndian16(header + 2);
                fragmentOffset = static_cast<uint16_t>(field & 0xfff8u);
                moreFragments = (field & 1u) != 0;
                identification = readBigEndian32(header + 4);
                fragmented = fragmentOffset != 0 || moreFragments;
            } else if (protocol == kIpv6Authentication) {
                headerLength = (size_t{header[1]} + 2) * 4;
            } else {
                headerLength = (size_t{header[1]} + 1) * 8;
            }
            if (headerLength > bytes.remaining()) {
                return refuse(Refusal::Damaged);
            }
            protocol = header[0];
            bytes.skip(headerLength);
            const uint32_t taken = static_cast<uint32_t>(headerLength);
            ipPayload = ipPayload > taken ? ipPayload - taken : 0;
        }
        if (fragmented && protocol != kProtocolUdp) {
            // Only UDP datagrams are reassembled, as in IPv4 (where TCP is never fragmented
            // on the paths SIP takes).
            return refuse(protocol == kProtocolTcp ? Refusal::Damaged : Refusal::TunnelFragment);
        }
        frame.sourceAddress = numberOf(frame.source6);
        frame.destinationAddress = numberOf(frame.destination6);
    } else {
        if (bytes.remaining() < kIpHeaderSize) {
            return refuse(Refusal::Damaged);
        }
        const uint8_t* ip = bytes.current();
        const uint32_t headerLength = (ip[0] & 0x0fu) * 4;
        if (headerLength == 0) {
            diagnostic("Packet %d: Unable to read ip header\n", static_cast<int>(frame.number));
            return Result::StopReading;
        }
        if (headerLength < kIpHeaderSize || headerLength > bytes.remaining()) {
            return refuse(Refusal::Damaged);  // shorter than the fixed header, or past the record
        }
        bytes.skip(headerLength);
        protocol = ip[9];
        const uint32_t total = readBigEndian16(ip + 2);
        ipPayload = total > headerLength ? total - headerLength : 0;
        identification = readBigEndian16(ip + 4);
        const uint16_t flags = readBigEndian16(ip + 6);
        fragmentOffset = static_cast<uint16_t>((flags & 0x1fffu) * 8);
        moreFragments = (flags & 0x2000u) != 0;
        fragmented = fragmentOffset != 0 || moreFragments;
        frame.family = 4;
        frame.sourceAddress = readBigEndian32(ip + 12);
        frame.destinationAddress = readBigEndian32(ip + 16);
        // The UDP path keeps the old reading of the total length (wrapping when it is short).
        if (protocol == kProtocolUdp) {
            ipPayload = static_cast<uint16_t>(total - headerLength);
        }
    }

    if (protocol == kProtocolIpInIp || protocol == kProtocolIpv6InIp || protocol == kProtocolGre) {
        if (fragmented) {
            return refuse(Refusal::TunnelFragment);
        }
        if (depth >= kMaxTunnelDepth) {
            return refuse(Refusal::Damaged);
        }
        // The tunnel's inner packet ends where the outer one does, not at the record's end.
        size_t inner = bytes.remaining();
        if (ipPayload > 0 && ipPayload < inner) {
            inner = ipPayload;
        }
        ByteReader tunnel(bytes.current(), inner);
        if (protocol != kProtocolGre) {
            return decodeIp(tunnel, wireLength, frame, depth + 1,
                            protocol == kProtocolIpInIp ? 4 : 6);
        }
        const uint16_t flags = tunnel.be16();
        uint16_t carried = tunnel.be16();
        if ((flags & 0x0007u) != 0) {
            return refuse(Refusal::OtherTunnel);  // version 1 (PPTP) carries PPP
        }
        // Checksum and reserved, key, sequence number: each present by its flag.
        tunnel.skip(((flags & 0x8000u) != 0 ? 4 : 0) + ((flags & 0x2000u) != 0 ? 4 : 0) +
                    ((flags & 0x1000u) != 0 ? 4 : 0));
        if (!tunnel.ok()) {
            return refuse(Refusal::Damaged);
        }
        if (carried != kEthernetTypeIpv4 && carried != kEthernetTypeIpv6 &&
            carried != kEthernetTypeBridged && carried != kEthernetTypeMpls &&
            carried != kEthernetTypeMplsMulticast) {
            return refuse(Refusal::OtherTunnel);
        }
        if (carried == kEthernetTypeBridged) {
            carried = innerEthernetType(tunnel);
            if (!tunnel.ok()) {
                return refuse(Refusal::Damaged);
            }
        }
        const Refusal refusal = stepOverLinkEncapsulations(tunnel, carried);
        if (refusal != Refusal::None) {
            return refuse(refusal);
        }
        return decodeIp(tunnel, wireLength, frame, depth + 1, carried == kEthernetTypeIpv6 ? 6 : 4);
    }

    frame.protocol = protocol;
    if (protocol == kProtocolTcp) {
        if (!includeTcp_) {
            return refuse(Refusal::TcpLeftOut);
        }
        if (bytes.remaining() < kTcpHeaderSize) {
            return refuse(Refusal::Damaged);
        }
        const uint8_t* tcp = bytes.current();
        const uint32_t offsetWords = tcp[12] >> 4;
        const uint32_t tcpLength = offsetWords < 6 ? kTcpHeaderSize : offsetWords * 4;
        frame.sourcePort = readBigEndian16(tcp);
        frame.destinationPort = readBigEndian16(tcp + 2);
        frame.tcpSequence = readBigEndian32(tcp + 4);
        frame.tcpFlags = tcp[13];
        frame.unsequenced = false;
        frame.ipPayloadLength = 0;
        frame.ipIdentification = 0;
        frame.moreFragments = 0;
        frame.udpLength = 0;
        frame.fragmentOffset = 0;
        const bool control = yieldTcpControl_ && (frame.tcpFlags & kTcpControlFlags) != 0;
        if (tcpLength >= bytes.remaining()) {
            if (control && tcpLength <= bytes.remaining()) {
                frame.preparePayload(0);
                frame.headerOverhead = wireLength;
                return Result::Accepted;
            }
            // No payload, or options running past the record.
            return refuse(tcpLength == bytes.remaining() ? Refusal::TcpWithoutPayload
                                                         : Refusal::Damaged);
        }
        bytes.skip(tcpLength);
        uint32_t payload = static_cast<uint32_t>(bytes.remaining());
        // Ethernet pads short frames (a bare acknowledgement is 54 bytes); those bytes are
        // not segment data and would corrupt the reassembled byte stream. A length that is
        // zero or too small (segmentation offload) leaves the captured length in charge.
        if (ipPayload > tcpLength && ipPayload - tcpLength < payload) {
            payload = ipPayload - tcpLength;
        } else if (ipPayload == tcpLength) {
            if (control) {
                frame.preparePayload(0);
                frame.headerOverhead = wireLength;
                return Result::Accepted;
            }
            return refuse(Refusal::TcpWithoutPayload);
        }
        takePayload(frame, bytes, payload, wireLength);
        return Result::Accepted;
    }
    if (protocol != kProtocolUdp) {
        return refuse(Refusal::OtherIpProtocol);
    }
    if (!includeUdp_) {
        return refuse(Refusal::UdpLeftOut);
    }
    if (bytes.remaining() < kUdpHeaderSize && (!fragmented || fragmentOffset == 0)) {
        return refuse(Refusal::Damaged);
    }
    frame.tcpSequence = 0;
    frame.tcpFlags = 0;
    frame.unsequenced = false;
    frame.ipPayloadLength = static_cast<uint16_t>(ipPayload);
    frame.ipIdentification = identification;
    frame.fragmentOffset = fragmentOffset;
    frame.moreFragments = moreFragments ? 1 : 0;
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
        return refuse(Refusal::Damaged);
    }
    takePayload(frame, bytes, static_cast<uint32_t>(bytes.remaining()), wireLength);
    if ((frame.moreFragments != 0 || frame.fragmentOffset != 0) && !fragments_.add(frame)) {
        return Result::Dropped;
    }
    if (decodeHep_ && (frame.sourcePort == kHepPort || frame.destinationPort == kHepPort)) {
        return unwrapHep(frame);
    }
    return Result::Accepted;
}

namespace {
// Where an address starts its probe in a table of `mask + 1` slots.
size_t firstSlot(uint64_t high, uint64_t low, size_t mask) {
    uint64_t mixed = low ^ (high * 0xc2b2ae3d27d4eb4full);
    mixed ^= mixed >> 31;
    mixed *= 0x9e3779b97f4a7c15ull;
    return static_cast<size_t>(mixed >> 20) & mask;
}
}  // namespace

uint32_t FrameDecoder::numberOf(const std::array<uint8_t, 16>& address) {
    uint64_t high = 0;
    uint64_t low = 0;
    std::memcpy(&high, address.data(), 8);
    std::memcpy(&low, address.data() + 8, 8);
    if (numbers_.empty()) {
        numbers_.resize(1024);
    }
    // Open addressing, linear probing; an empty slot has number 0.
    const size_t mask = numbers_.size() - 1;
    for (size_t slot = firstSlot(high, low, mask);; slot = (slot + 1) & mask) {
        CachedNumber& entry = numbers_[slot];
        if (entry.number == 0) {
            entry = CachedNumber{high, low, ipv6Number(address)};
            const uint32_t number = entry.number;
            if (++numbersUsed_ * 2 > numbers_.size()) {
                growNumbers();
            }
            return number;
        }
        if (entry.high == high && entry.low == low) {
            return entry.number;
        }
    }
}

void FrameDecoder::growNumbers() {
    std::vector<CachedNumber> old(numbers_.size() * 2);
    old.swap(numbers_);
    const size_t mask = numbers_.size() - 1;
    for (const CachedNumber& entry : old) {
        if (entry.number == 0) {
            continue;
        }
        size_t slot = firstSlot(entry.high, entry.low, mask);
        while (numbers_[slot].number != 0) {
            slot = (slot + 1) & mask;
        }
        numbers_[slot] = entry;
    }
}

FrameDecoder::Result FrameDecoder::unwrapHep(FrameInfo& frame) {
    HepPacket hep;
    std::string problem;
    switch (varlowe::decodeHep(frame.payloadData(), frame.payloadLength, hep, problem)) {
        case HepOutcome::NotHep:
            return Result::Accepted;
        case HepOutcome::Damaged:
            diagnostic("Packet %u: %s; skipped\n", frame.number, problem.c_str());
            return refuse(Refusal::DamagedHep);
        case HepOutcome::Decoded:
            break;
    }
    if ((hep.family != kFamilyInet && hep.family != kFamilyInet6Hep) ||
        (hep.protocol != kProtocolUdp && hep.protocol != kProtocolTcp)) {
        return refuse(Refusal::OtherHep);
    }
    // The packet as if captured where the probe captured it, on Ethernet.
    const bool tcp = hep.protocol == kProtocolTcp;
    const uint32_t length = static_cast<uint32_t>(hep.payloadLength);
    if (length == 0) {
        return refuse(tcp ? Refusal::TcpWithoutPayload : Refusal::Damaged);
    }
    frame.protocol = hep.protocol;
    const bool six = hep.family == kFamilyInet6Hep;
    frame.family = six ? 6 : 4;
    if (six) {
        frame.source6 = hep.source;
        frame.destination6 = hep.destination;
        frame.sourceAddress = numberOf(hep.source);
        frame.destinationAddress = numberOf(hep.destination);
    } else {
        frame.sourceAddress = readBigEndian32(hep.source.data());
        frame.destinationAddress = readBigEndian32(hep.destination.data());
    }
    frame.sourcePort = hep.sourcePort;
    frame.destinationPort = hep.destinationPort;
    if (hep.hasTime) {
        frame.seconds = hep.seconds;
        frame.microseconds = hep.microseconds;
    }
    frame.ipIdentification = 0;
    frame.moreFragments = 0;
    frame.fragmentOffset = 0;
    frame.ipPayloadLength =
        static_cast<uint16_t>(tcp ? 0 : std::min<uint32_t>(length + kUdpHeaderSize, 65535));
    frame.udpLength = frame.ipPayloadLength;
    frame.tcpSequence = 0;
    frame.tcpFlags = 0;
    frame.unsequenced = tcp;
    // The carried bytes lie inside the payload: moved to its front, then cut to their length.
    std::memmove(frame.payload.data(), hep.payload, length);
    frame.preparePayload(length);
    frame.headerOverhead =
        14 + (six ? kIpv6HeaderSize : kIpHeaderSize) + (tcp ? kTcpHeaderSize : kUdpHeaderSize);
    return Result::Accepted;
}

}  // namespace varlowe
