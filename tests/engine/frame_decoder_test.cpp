// The frame decoder on bytes alone: no file is written or read.
#include <gtest/gtest.h>

#include <string>

#include "engine/capture/frame_decoder.h"
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
