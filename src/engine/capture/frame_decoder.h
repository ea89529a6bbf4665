#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "byte_reader.h"
#include "fragment_table.h"
#include "frame_info.h"

namespace varlowe {

// How a link layer frames what it carries: the length of its header and where in it the
// type of the carried protocol stands. One row per link type the decoder reads.
struct LinkLayer {
    uint32_t type = 0;
    const char* name = "";
    uint32_t headerLength = 0;
    int carriedTypeAt = -1;      // offset of the 16-bit EtherType; -1 when it carries IP alone
    bool tagged = false;         // 802.1Q/802.1ad tags may follow the header
    bool addressFamily = false;  // BSD loopback: a 32-bit address family in the writer's order
    bool ppp = false;            // a PPP protocol number (after an optional HDLC FF 03) leads
};

// Why a record gave no packet, counted so that an empty result can say why.
enum class Refusal : uint8_t {
    None,
    OtherLinkProtocol,
    PppoeDiscovery,
    PppWithoutIp,
    OtherAddressFamily,
    OtherIpProtocol,
    OtherTunnel,
    TunnelFragment,
    DamagedHep,
    OtherHep,
    TcpWithoutPayload,
    UdpLeftOut,
    TcpLeftOut,
    Damaged,
    UnreadLinkType,
    Count
};
const char* refusalText(Refusal refusal);

// The row of a link type; nullptr when it is not read.
const LinkLayer* linkLayerOf(uint32_t linkType);
bool linkTypeSupported(uint32_t linkType);
// The common name of a link type, read or not ("IEEE 802.11 wireless"), or "unknown".
const char* linkTypeName(uint32_t linkType);

// Decodes the bytes of one captured frame down to IPv4 and UDP or TCP: the link layer by its
// table row (VLAN tags, PPPoE sessions, MPLS label stacks stepped over), the IP header and
// options (IP-in-IP and GRE tunnels stepped over to the inner packet), the UDP or TCP header,
// the payload. UDP fragments are held until their datagram is whole. Reads nothing but the
// span it is given; counts why records are refused.
class FrameDecoder {
  public:
    enum class Result { Accepted, Dropped, StopReading };

    // `frame` carries the record's number, offset and time already; on Accepted it holds
    // the packet. StopReading (with a diagnostic) ends the walk of the file.
    Result decode(const uint8_t* data, uint32_t length, uint32_t wireLength, uint32_t linkType,
                  FrameInfo& frame);

    void setIncludeUdp(bool include) { includeUdp_ = include; }
    void setIncludeTcp(bool include) { includeTcp_ = include; }
    bool includeUdp() const { return includeUdp_; }
    bool includeTcp() const { return includeTcp_; }
    // TCP segments with SYN, FIN or RST and no payload are accepted too (with an empty
    // payload), for a byte-stream assembler that must see connections start and end.
    void setYieldTcpControl(bool yield) { yieldTcpControl_ = yield; }
    // UDP to or from port 9060 that holds HEP is read as the packet it carries.
    void setDecodeHep(bool decode) { decodeHep_ = decode; }
    bool decodeHep() const { return decodeHep_; }
    const FragmentTable& fragments() const { return fragments_; }
    uint64_t refusals(Refusal cause) const { return refusals_[static_cast<size_t>(cause)]; }
    // One line per cause seen, "34 records: IPv6 packets are not read", in a fixed order.
    std::vector<std::string> refusalSummary() const;

  private:
    Result refuse(Refusal refusal);
    Result decodeIp(ByteReader& bytes, uint32_t wireLength, FrameInfo& frame, int depth,
                    int version);
    Result unwrapHep(FrameInfo& frame);
    // ipv6Number through a table of the decoder's own: the shared table takes a lock.
    uint32_t numberOf(const std::array<uint8_t, 16>& address);
    static Refusal stepOverLinkEncapsulations(ByteReader& bytes, uint16_t& etherType);
    static Refusal stepOverPpp(ByteReader& bytes, uint16_t& etherType);

    FragmentTable fragments_;
    std::array<uint64_t, static_cast<size_t>(Refusal::Count)> refusals_{};
    bool yieldTcpControl_ = false;
    bool decodeHep_ = true;
    struct CachedNumber {
        uint64_t high = 0;
        uint64_t low = 0;
        uint32_t number = 0;  // 0: an empty slot
    };
    void growNumbers();
    std::vector<CachedNumber> numbers_;  // a power of two long, at most half full
    size_t numbersUsed_ = 0;
    bool includeUdp_ = true;
    bool includeTcp_ = true;
};

}  // namespace varlowe
