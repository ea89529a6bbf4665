#include <gtest/gtest.h>

#include <cstring>

#include "engine/diagnostics.h"
#include "reader_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

TEST(FrameDecoding, UdpDatagramBecomesAPacketRecord) {
    CaptureBuilder builder;
    Bytes frame = udpFrame(kHostA, 5060, kHostB, 65535, bytesOf("INVITE sip:bob SIP/2.0\r\n"));
    builder.add(frame, 1700000000, 123456);
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    const PacketRecord& p = result.packets[0];
    EXPECT_EQ(p.transport, TransportKind::Udp);
    EXPECT_EQ(p.sourceAddress, "10.0.0.1");
    EXPECT_EQ(p.destinationAddress, "192.168.200.254");
    EXPECT_EQ(p.sourcePort, "5060");
    EXPECT_EQ(p.destinationPort, "65535");
    EXPECT_EQ(p.number, 1u);
    EXPECT_EQ(p.fileOffset, 24u);
    EXPECT_EQ(packetTimeText(p.time()), "1700000000.123456");
    EXPECT_EQ(payloadOf(p), "INVITE sip:bob SIP/2.0\r\n");
    EXPECT_EQ(p.headerOverhead, 14u + 20u + 8u);
    ASSERT_EQ(p.payload.size(), p.payloadLength + 1u);
    EXPECT_EQ(p.payload.back(), 0);
}

TEST(FrameDecoding, IpOptionsAreSkipped) {
    IpFields fields;
    fields.options = Bytes{0x94, 0x04, 0x00, 0x00, 0x01, 0x01, 0x01, 0x00};  // router alert, NOPs
    CaptureBuilder builder;
    builder.add(udpFrame(kHostA, 1000, kHostB, 2000, bytesOf("after options"), fields));
    builder.add(ethernetFrame(ipv4Packet(
        kHostA, kHostB, 6, tcpSegment(3000, 4000, bytesOf("tcp after options")), fields)));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 2u);
    EXPECT_EQ(payloadOf(result.packets[0]), "after options");
    EXPECT_EQ(result.packets[0].sourcePort, "1000");
    EXPECT_EQ(result.packets[0].headerOverhead, 14u + 28u + 8u);
    EXPECT_EQ(payloadOf(result.packets[1]), "tcp after options");
    EXPECT_EQ(result.packets[1].destinationPort, "4000");
}

TEST(FrameDecoding, VlanTaggedFramesAreRead) {
    CaptureBuilder builder;
    VlanTag vlan;
    vlan.present = true;
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 17, udpDatagram(1, 2, bytesOf("tagged"))),
                              0x0800, vlan));
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("plain")));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 2u);
    EXPECT_EQ(payloadOf(result.packets[0]), "tagged");
    EXPECT_EQ(result.packets[0].number, 1u);
    EXPECT_EQ(payloadOf(result.packets[1]), "plain");
}

TEST(FrameDecoding, EthernetPaddingIsPartOfAShortUdpPayload) {
    CaptureBuilder builder;
    builder.add(padded(udpFrame(kHostA, 1, kHostB, 2, bytesOf("ping")), 0xee));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(result.packets[0].payloadLength, 60u - 42u);
    EXPECT_EQ(payloadOf(result.packets[0]).substr(0, 4), "ping");
    EXPECT_EQ(static_cast<uint8_t>(payloadOf(result.packets[0])[4]), 0xee);
}

TEST(FrameDecoding, TcpOptionsAreDroppedAndPureAcknowledgementsYieldNothing) {
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 33000, Bytes{}));  // pure ACK
    Bytes timestamps = {0x01, 0x01, 0x08, 0x0a, 0, 0, 0, 1, 0, 0, 0, 2};
    builder.add(tcpFrame(kHostA, 5060, kHostB, 33000, bytesOf("SIP/2.0 200 OK\r\n"), timestamps));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(result.packets[0].number, 2u);
    EXPECT_EQ(result.packets[0].transport, TransportKind::Tcp);
    EXPECT_EQ(payloadOf(result.packets[0]), "SIP/2.0 200 OK\r\n");
    EXPECT_EQ(result.packets[0].headerOverhead, 14u + 20u + 32u);
}

TEST(FrameDecoding, TcpDataOffsetBelowSixMeansTwentyBytes) {
    Bytes segment = tcpSegment(1, 2, bytesOf("data"));
    segment[12] = 0x20;  // claims 8 bytes, which no real header has
    CaptureBuilder builder;
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 6, segment)));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(payloadOf(result.packets[0]), "data");
}

TEST(FrameDecoding, TcpOptionsRunningPastTheRecordDropTheSegment) {
    Bytes segment = tcpSegment(1, 2, bytesOf("abc"));
    segment[12] = 0xf0;  // 60-byte header in a 23-byte segment
    CaptureBuilder builder;
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 6, segment)));
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("next")));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(payloadOf(result.packets[0]), "next");
}

TEST(FrameDecoding, SwitchesSkipTheirTransport) {
    CaptureBuilder builder;
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("u")));
    builder.add(tcpFrame(kHostA, 1, kHostB, 2, bytesOf("t")));
    ReadResult noUdp = readAll(builder, false, true);
    ASSERT_EQ(noUdp.packets.size(), 1u);
    EXPECT_EQ(noUdp.packets[0].transport, TransportKind::Tcp);
    ReadResult noTcp = readAll(builder, true, false);
    ASSERT_EQ(noTcp.packets.size(), 1u);
    EXPECT_EQ(noTcp.packets[0].transport, TransportKind::Udp);
    EXPECT_TRUE(readAll(builder, false, false).packets.empty());
}

TEST(FrameDecoding, OtherProtocolsShortFramesAndEmptyDatagramsAreDroppedSilently) {
    CaptureBuilder builder;
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 1, Bytes(8, 0))));    // ICMP
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 47, Bytes(40, 0))));  // GRE
    builder.add(ethernetFrame(Bytes(19, 0x45)));                               // IP header cut
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 17, Bytes(7, 0))));   // UDP header cut
    builder.add(udpFrame(kHostA, 1, kHostB, 2, Bytes{}));                      // empty datagram
    builder.add(Bytes(13, 0xff));                                              // below Ethernet
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("kept")));
    ScopedDiagnosticsCapture diagnostics;
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(result.packets[0].number, 7u);
    EXPECT_EQ(diagnostics.text(), "");
}

TEST(FrameDecoding, IpHeaderLengthZeroStopsTheWalk) {
    IpFields broken;
    broken.headerLengthWords = 0;
    CaptureBuilder builder;
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("before")));
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("broken"), broken));
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("never read")));
    ScopedDiagnosticsCapture diagnostics;
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(payloadOf(result.packets[0]), "before");
    EXPECT_EQ(diagnostics.text(), "Packet 2: Unable to read ip header\n");
}

TEST(FrameDecoding, IpHeaderShorterThanTwentyBytesIsSkippedAndTheWalkStaysInStep) {
    for (int words : {1, 4}) {
        SCOPED_TRACE(words);
        IpFields broken;
        broken.headerLengthWords = words;
        CaptureBuilder builder;
        builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("short header"), broken));
        builder.add(udpFrame(kHostA, 3, kHostB, 4, bytesOf("in step")));
        ReadResult result = readAll(builder);
        ASSERT_EQ(result.packets.size(), 1u);
        EXPECT_EQ(payloadOf(result.packets[0]), "in step");
        EXPECT_EQ(result.packets[0].sourcePort, "3");
    }
}

TEST(FrameDecoding, IpHeaderLongerThanTheRecordIsSkipped) {
    IpFields broken;
    broken.headerLengthWords = 15;  // 60 bytes in a 29-byte IP packet
    CaptureBuilder builder;
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("x"), broken));
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("y")));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(payloadOf(result.packets[0]), "y");
}

TEST(FrameDecoding, WireLengthBelowThePayloadGivesNoOverhead) {
    Bytes frame = udpFrame(kHostA, 1, kHostB, 2, bytesOf("payload"));
    CaptureBuilder builder;
    builder.addRaw(static_cast<uint32_t>(frame.size()), 3, frame);
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(result.packets[0].headerOverhead, 0u);
}

TEST(PacketRecord, CopiesAreDeepAndPayloadIsTerminated) {
    FrameInfo frame;
    frame.protocol = 6;
    frame.sourceAddress = ipv4(255, 255, 255, 255);
    frame.destinationAddress = ipv4(0, 0, 0, 0);
    frame.sourcePort = 0;
    frame.destinationPort = 65535;
    std::memcpy(frame.preparePayload(3), "abc", 3);
    PacketRecord record = PacketRecord::fromFrame(frame);
    EXPECT_EQ(record.sourceAddress, "255.255.255.255");
    EXPECT_EQ(record.destinationAddress, "0.0.0.0");
    EXPECT_EQ(record.sourcePort, "0");
    EXPECT_EQ(record.transport, TransportKind::Tcp);
    EXPECT_STREQ(record.payloadText(), "abc");

    PacketRecord copy = record;
    copy.payload[0] = 'X';
    copy.sourceAddress = "1.2.3.4";
    EXPECT_STREQ(record.payloadText(), "abc");
    EXPECT_EQ(record.sourceAddress, "255.255.255.255");

    frame.protocol = 1;
    frame.preparePayload(0);
    PacketRecord empty = PacketRecord::fromFrame(frame);
    EXPECT_EQ(empty.transport, TransportKind::Other);
    EXPECT_TRUE(empty.payload.empty());
    EXPECT_EQ(empty.payloadData(), nullptr);
    EXPECT_STREQ(empty.payloadText(), "");
}

TEST(FrameDecoding, EthernetPaddingIsNotTcpSegmentData) {
    CaptureBuilder builder;
    builder.add(padded(tcpFrame(kHostA, 5060, kHostB, 33000, Bytes{}), 0xaa));  // padded bare ACK
    builder.add(padded(tcpFrame(kHostA, 5060, kHostB, 33000, bytesOf("\r\n")), 0xaa));
    Bytes zeroTotal = tcpFrame(kHostA, 5060, kHostB, 33000, bytesOf("offloaded"));
    zeroTotal[14 + 2] = 0;  // total length 0, as segmentation offload writes it
    zeroTotal[14 + 3] = 0;
    builder.add(zeroTotal);
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 2u);
    EXPECT_EQ(result.packets[0].number, 2u);
    EXPECT_EQ(payloadOf(result.packets[0]), "\r\n");
    EXPECT_EQ(result.packets[0].headerOverhead, 58u);
    EXPECT_EQ(payloadOf(result.packets[1]), "offloaded");
}
