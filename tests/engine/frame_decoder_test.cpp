// The frame decoder on bytes alone: no file is written or read.
#include <gtest/gtest.h>

#include <string>

#include "engine/capture/frame_decoder.h"
#include "engine/capture/ipv6_address.h"
#include "engine/capture/packet_record.h"
#include "engine/diagnostics.h"
#include "support/capture_builder.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

struct Decoded {
    FrameDecoder::Result result;
    FrameInfo frame;
    std::string payload() const {
        return std::string(reinterpret_cast<const char*>(frame.payloadData()), frame.payloadLength);
    }
};

Decoded decode(FrameDecoder& decoder, const Bytes& bytes, uint32_t linkType = 1,
               uint32_t number = 1) {
    Decoded out;
    out.frame.number = number;
    out.result = decoder.decode(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                static_cast<uint32_t>(bytes.size()), linkType, out.frame);
    return out;
}

Bytes ipUdp(const std::string& text) {
    return ipv4Packet(ipv4(10, 0, 0, 1), ipv4(10, 0, 0, 2), 17,
                      udpDatagram(5060, 5062, bytesOf(text)));
}

}  // namespace

TEST(FrameDecoder, EveryLinkLayerOfTheTableDownToUdp) {
    FrameDecoder decoder;
    const Bytes ip = ipUdp("INVITE");
    struct Case {
        const char* name;
        Bytes bytes;
        uint32_t linkType;
    } cases[] = {
        {"Ethernet", ethernetFrame(ip), 1},
        {"Ethernet, two tags", taggedEthernetFrame(ip, {0x88a8, 0x8100}), 1},
        {"cooked v1", cookedFrame(ip, false), 113},
        {"cooked v2 with a tag", cookedFrame(ip, true, {0x8100}), 276},
        {"raw IP", ip, 101},
        {"raw IPv4", ip, 228},
        {"BSD loopback, big-endian family", loopbackFrame(ip, FileByteOrder::Big), 0},
        {"BSD loopback, little-endian family", loopbackFrame(ip, FileByteOrder::Little), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d = decode(decoder, c.bytes, c.linkType);
        ASSERT_EQ(d.result, FrameDecoder::Result::Accepted);
        EXPECT_EQ(d.payload(), "INVITE");
        EXPECT_EQ(d.frame.sourceAddress, ipv4(10, 0, 0, 1));
        EXPECT_EQ(d.frame.sourcePort, 5060);
        EXPECT_EQ(d.frame.destinationPort, 5062);
        EXPECT_EQ(d.frame.udpLength, 8 + 6);
        EXPECT_EQ(d.frame.headerOverhead, c.bytes.size() - 6);
    }
    EXPECT_TRUE(linkTypeSupported(276));
    EXPECT_FALSE(linkTypeSupported(105));
    EXPECT_STREQ(linkTypeName(105), "IEEE 802.11 wireless");
    EXPECT_STREQ(linkTypeName(113), "Linux cooked capture");
    EXPECT_EQ(decode(decoder, ethernetFrame(ip), 105).result, FrameDecoder::Result::Dropped);
}

TEST(FrameDecoder, WhatIsNotIpv4UdpOrTcpIsDroppedAndAZeroHeaderLengthStops) {
    FrameDecoder decoder;
    const Bytes ip = ipUdp("x");
    EXPECT_EQ(decode(decoder, ethernetFrame(ip, 0x86dd)).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decode(decoder, taggedEthernetFrame(ip, {0x8100, 0x8100, 0x8100})).result,
              FrameDecoder::Result::Dropped);  // three tags
    EXPECT_EQ(decode(decoder, loopbackFrame(ip, FileByteOrder::Little, 24), 0).result,
              FrameDecoder::Result::Dropped);  // AF_INET6 on BSD
    Bytes v6 = ip;
    v6[0] = 0x60;
    EXPECT_EQ(decode(decoder, v6, 101).result, FrameDecoder::Result::Dropped);
    Bytes cut = ethernetFrame(ip);
    cut.resize(14 + 19);
    EXPECT_EQ(decode(decoder, cut).result, FrameDecoder::Result::Dropped);
    Bytes icmp = ethernetFrame(ipv4Packet(1, 2, 1, Bytes(8, 0)));
    EXPECT_EQ(decode(decoder, icmp).result, FrameDecoder::Result::Dropped);
    decoder.setIncludeUdp(false);
    EXPECT_EQ(decode(decoder, ethernetFrame(ip)).result, FrameDecoder::Result::Dropped);
    decoder.setIncludeUdp(true);

    Bytes zero = ethernetFrame(ip);
    zero[14] = 0x40;  // version 4, header length 0
    ScopedDiagnosticsCapture diagnostics;
    EXPECT_EQ(decode(decoder, zero, 1, 7).result, FrameDecoder::Result::StopReading);
    EXPECT_EQ(diagnostics.text(), "Packet 7: Unable to read ip header\n");
}

TEST(FrameDecoder, TcpPaddingIsNoDataAndFragmentsWaitForTheirDatagram) {
    FrameDecoder decoder;
    // A 4-byte segment in a frame padded to 60 bytes: the padding is not segment data.
    const Bytes segment =
        tcpFrame(ipv4(10, 0, 0, 1), 5060, ipv4(10, 0, 0, 2), 5060, bytesOf("ABCD"));
    Decoded tcp = decode(decoder, padded(segment, 0xee));
    ASSERT_EQ(tcp.result, FrameDecoder::Result::Accepted);
    EXPECT_EQ(tcp.payload(), "ABCD");
    // A bare acknowledgement carries nothing.
    const Bytes ack = tcpFrame(ipv4(10, 0, 0, 1), 5060, ipv4(10, 0, 0, 2), 5060, Bytes{});
    EXPECT_EQ(decode(decoder, padded(ack)).result, FrameDecoder::Result::Dropped);

    const std::string text(3000, 'f');
    std::vector<Bytes> pieces = fragmentedUdpFrames(ipv4(10, 0, 0, 1), 7000, ipv4(10, 0, 0, 2),
                                                    7002, bytesOf(text), 99, 1400);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(decode(decoder, pieces[2]).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decode(decoder, pieces[0]).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decoder.fragments().heldFragments(), 2u);
    Decoded whole = decode(decoder, pieces[1]);
    ASSERT_EQ(whole.result, FrameDecoder::Result::Accepted);
    EXPECT_EQ(whole.payload(), text);
    EXPECT_EQ(whole.frame.sourcePort, 7000);
    EXPECT_EQ(decoder.fragments().heldFragments(), 0u);
}

TEST(FrameDecoder, AccessAndCoreEncapsulationsAreSteppedOverToTheInnerPacket) {
    FrameDecoder decoder;
    const Bytes inner = ipUdp("REGISTER");
    const uint32_t outerA = ipv4(192, 0, 2, 1);
    const uint32_t outerB = ipv4(192, 0, 2, 2);
    Bytes bridged = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x81, 0x00, 0x00, 0x64, 0x08, 0x00};
    bridged.insert(bridged.end(), inner.begin(), inner.end());
    Bytes pseudowire = {0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0x08, 0x00};
    pseudowire.insert(pseudowire.end(), inner.begin(), inner.end());
    Bytes ppp = {0xff, 0x03, 0x00, 0x21};
    ppp.insert(ppp.end(), inner.begin(), inner.end());
    struct Case {
        const char* name;
        Bytes bytes;
        uint32_t linkType;
    } cases[] = {
        {"PPPoE session", ethernetFrame(pppoeSession(inner), 0x8864), 1},
        {"PPPoE behind a tag", taggedEthernetFrame(pppoeSession(inner), {0x8100}, 0x8864), 1},
        {"MPLS, three labels", ethernetFrame(mplsStack(inner, {16, 17, 18}), 0x8847), 1},
        {"MPLS pseudowire with a control word", ethernetFrame(mplsStack(pseudowire, {20}), 0x8847),
         1},
        {"IP in IP", ethernetFrame(ipv4Packet(outerA, outerB, 4, inner)), 1},
        {"GRE", ethernetFrame(ipv4Packet(outerA, outerB, 47, greBody(inner, 0x0800))), 1},
        {"GRE with checksum, key and sequence",
         ethernetFrame(ipv4Packet(outerA, outerB, 47, greBody(inner, 0x0800, true, true, true))),
         1},
        {"GRE bridging tagged Ethernet",
         ethernetFrame(ipv4Packet(outerA, outerB, 47, greBody(bridged, 0x6558, false, true))), 1},
        {"GRE over MPLS inside cooked v2",
         cookedFrame(mplsStack(ipv4Packet(outerA, outerB, 47, greBody(inner, 0x0800)), {30}), true,
                     {}, 0x8847),
         276},
        {"PPP link with HDLC framing", ppp, 9},
        {"PPP link without it", Bytes(ppp.begin() + 2, ppp.end()), 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decoded d = decode(decoder, c.bytes, c.linkType);
        ASSERT_EQ(d.result, FrameDecoder::Result::Accepted);
        EXPECT_EQ(d.payload(), "REGISTER");
        EXPECT_EQ(d.frame.sourceAddress, ipv4(10, 0, 0, 1));  // the inner packet's
        EXPECT_EQ(d.frame.destinationAddress, ipv4(10, 0, 0, 2));
        EXPECT_EQ(d.frame.destinationPort, 5062);
        EXPECT_EQ(d.frame.headerOverhead, c.bytes.size() - 8);
    }
    EXPECT_TRUE(decoder.refusalSummary().empty());
}

TEST(FrameDecoder, RefusedRecordsAreCountedByCause) {
    FrameDecoder decoder;
    const Bytes ip = ipUdp("x");
    Bytes cutTunnel = ethernetFrame(ipv4Packet(1, 2, 47, greBody(ip, 0x0800, true)));
    cutTunnel.resize(14 + 20 + 6);  // the GRE checksum cut off
    IpFields fragment;
    fragment.moreFragments = true;
    const Bytes cases[] = {
        ethernetFrame(ip, 0x86dd),
        ethernetFrame(pppoeSession(ip, 0x0057), 0x8864),
        ethernetFrame(pppoeSession(ip, 0xc021), 0x8864),  // LCP
        ethernetFrame(Bytes(28, 0), 0x8863),
        ethernetFrame(Bytes(28, 0), 0x0806),
        ethernetFrame(ipv4Packet(1, 2, 41, Bytes(40, 0))),
        ethernetFrame(ipv4Packet(1, 2, 47, greBody(ip, 0x880b))),
        ethernetFrame(ipv4Packet(1, 2, 4, ip, fragment)),
        ethernetFrame(ipv4Packet(1, 2, 1, Bytes(8, 0))),
        ethernetFrame(mplsStack(Bytes{0x60, 0, 0, 0}, {16}), 0x8847),
        cutTunnel,
        // A label stack that never reaches its bottom.
        ethernetFrame(Bytes{0, 0, 0, 0, 0, 0, 0, 0}, 0x8847),
    };
    for (const Bytes& bytes : cases) {
        EXPECT_EQ(decode(decoder, bytes).result, FrameDecoder::Result::Dropped);
    }
    Bytes v6 = ip;
    v6[0] = 0x60;
    EXPECT_EQ(decode(decoder, v6, 101).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decode(decoder, loopbackFrame(ip, FileByteOrder::Little, 30), 0).result,
              FrameDecoder::Result::Dropped);
    const Bytes ack = tcpFrame(ipv4(10, 0, 0, 1), 5060, ipv4(10, 0, 0, 2), 5060, Bytes{});
    EXPECT_EQ(decode(decoder, padded(ack)).result, FrameDecoder::Result::Dropped);
    // IPv4 bytes where IPv6 is announced are damaged IPv6.
    EXPECT_EQ(decoder.refusals(Refusal::Damaged), 8u);
    EXPECT_EQ(decoder.refusals(Refusal::TcpWithoutPayload), 1u);
    const std::vector<std::string> expected = {
        "1 record: neither IPv4 nor IPv6 (ARP and other link protocols)",
        "1 record: PPPoE discovery frames carry no IP",
        "1 record: PPP frames without IP (LCP, IPCP and the like)",
        "1 record: IP protocols other than UDP and TCP (ICMP, ESP and the like)",
        "1 record: GRE tunnels carrying neither IP nor Ethernet",
        "1 record: fragments of tunnel packets are not reassembled",
        "1 record: TCP segments without payload",
        "8 records: shorter than their headers or damaged",
    };
    EXPECT_EQ(decoder.refusalSummary(), expected);

    // With SYNs asked for, a bare SYN is a packet without payload.
    FrameDecoder syns;
    syns.setYieldTcpControl(true);
    Bytes syn = ack;
    syn[14 + 20 + 13] = 0x02;
    Decoded d = decode(syns, padded(syn));
    ASSERT_EQ(d.result, FrameDecoder::Result::Accepted);
    EXPECT_EQ(d.frame.payloadLength, 0u);
    EXPECT_EQ(d.frame.tcpFlags, 0x02);
    EXPECT_EQ(decode(syns, padded(ack)).result, FrameDecoder::Result::Dropped);
}

TEST(FrameDecoder, Ipv6OnEveryLinkLayerThroughItsExtensionHeadersAndTunnels) {
    const Ipv6Address a = ipv6("2001:db8::a"), b = ipv6("2001:db8:0:0:1::b");
    const Bytes udp = udpDatagram(5060, 5062, bytesOf("INVITE"));
    const Bytes plain = ipv6Packet(a, b, 17, udp);
    const Bytes hopByHop = {0, 1, 4, 0, 0, 0, 0};  // padding option, 8 bytes in all
    const Bytes routing = {0, 0, 0, 0, 0, 0, 0};   // type 0, no segments left
    Bytes destination(15, 0);                      // 16 bytes: length field 1
    destination[0] = 1;
    const Bytes extended =
        ipv6Packet(a, b, 17, udp, {{0, hopByHop}, {43, routing}, {60, destination}});
    const Bytes inner4 = ipv4Packet(ipv4(10, 0, 0, 1), ipv4(10, 0, 0, 2), 17, udp);
    struct Case {
        const char* name;
        Bytes bytes;
        uint32_t linkType;
        bool six;
    } cases[] = {
        {"Ethernet", ethernetFrame(plain, 0x86dd), 1, true},
        {"Ethernet, a tag", taggedEthernetFrame(plain, {0x8100}, 0x86dd), 1, true},
        {"cooked v2", cookedFrame(plain, true, {}, 0x86dd), 276, true},
        {"raw IP", plain, 101, true},
        {"raw IPv6", plain, 229, true},
        {"BSD loopback (AF_INET6 of Linux... or of BSD: 24)",
         loopbackFrame(plain, FileByteOrder::Little, 24), 0, true},
        {"PPPoE", ethernetFrame(pppoeSession(plain, 0x0057), 0x8864), 1, true},
        {"MPLS", ethernetFrame(mplsStack(plain, {16}), 0x8847), 1, true},
        {"extension headers", ethernetFrame(extended, 0x86dd), 1, true},
        {"IPv6 in IPv4", ethernetFrame(ipv4Packet(1, 2, 41, plain)), 1, true},
        {"IPv4 in IPv6", ethernetFrame(ipv6Packet(b, a, 4, inner4), 0x86dd), 1, false},
        {"GRE over IPv6", ethernetFrame(ipv6Packet(b, a, 47, greBody(plain, 0x86dd)), 0x86dd), 1,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FrameDecoder decoder;
        Decoded d = decode(decoder, c.bytes, c.linkType);
        ASSERT_EQ(d.result, FrameDecoder::Result::Accepted);
        EXPECT_EQ(d.payload(), "INVITE");
        EXPECT_EQ(d.frame.family, c.six ? 6 : 4);
        if (c.six) {
            EXPECT_EQ(d.frame.source6, a);
            EXPECT_EQ(d.frame.destination6, b);
            EXPECT_EQ(ipv6Address(d.frame.sourceAddress), a);
            EXPECT_NE(d.frame.sourceAddress, d.frame.destinationAddress);
            EXPECT_EQ(PacketRecord::fromFrame(d.frame).destinationAddress, "2001:db8::1:0:0:b");
        }
        EXPECT_EQ(d.frame.destinationPort, 5062);
        EXPECT_EQ(d.frame.headerOverhead, c.bytes.size() - 6);
    }
    // Damaged extension headers are refused, never read past.
    FrameDecoder decoder;
    Bytes cut = ethernetFrame(extended, 0x86dd);
    cut.resize(14 + 40 + 12);
    EXPECT_EQ(decode(decoder, cut).result, FrameDecoder::Result::Dropped);
    Bytes tooLong = ethernetFrame(extended, 0x86dd);
    tooLong[14 + 40 + 1] = 200;  // hop-by-hop length beyond the record
    EXPECT_EQ(decode(decoder, tooLong).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decoder.refusals(Refusal::Damaged), 2u);
    const Bytes icmp = ethernetFrame(ipv6Packet(a, b, 58, Bytes(8, 0)), 0x86dd);
    EXPECT_EQ(decode(decoder, icmp).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decoder.refusals(Refusal::OtherIpProtocol), 1u);
}

TEST(FrameDecoder, Ipv6FragmentsMakeTheirDatagramWhateverTheirOrder) {
    const Ipv6Address a = ipv6("fd00::1"), b = ipv6("fd00::2");
    const std::string text(3000, 'x');
    const Bytes datagram = udpDatagram(5060, 5060, bytesOf(text));
    auto piece = [&](size_t offset, size_t length, bool more, uint32_t id) {
        Bytes part(datagram.begin() + static_cast<long>(offset),
                   datagram.begin() + static_cast<long>(offset + length));
        return ethernetFrame(
            ipv6Packet(a, b, 17, part, {{44, ipv6FragmentHeader(uint16_t(offset), more, id)}}),
            0x86dd);
    };
    FrameDecoder decoder;
    // The same identification from another source is another datagram.
    const Bytes other =
        ethernetFrame(ipv6Packet(b, a, 17, Bytes(datagram.begin(), datagram.begin() + 1232),
                                 {{44, ipv6FragmentHeader(0, true, 77)}}),
                      0x86dd);
    EXPECT_EQ(decode(decoder, other).result, FrameDecoder::Result::Dropped);
    EXPECT_EQ(decode(decoder, piece(2464, datagram.size() - 2464, false, 77)).result,
              FrameDecoder::Result::Dropped);
    EXPECT_EQ(decode(decoder, piece(0, 1232, true, 77)).result, FrameDecoder::Result::Dropped);
    Decoded whole = decode(decoder, piece(1232, 1232, true, 77));
    ASSERT_EQ(whole.result, FrameDecoder::Result::Accepted);
    EXPECT_EQ(whole.payload(), text);
    EXPECT_EQ(whole.frame.sourcePort, 5060);
    EXPECT_EQ(whole.frame.family, 6);
    EXPECT_EQ(decoder.fragments().heldFragments(), 1u);  // the other source's
}
