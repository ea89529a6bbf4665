#include <gtest/gtest.h>

#include "engine/diagnostics.h"
#include "engine/sip/sip_stream_assembler.h"
#include "reader_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::vector<PacketRecord> assembleAll(const CaptureBuilder& builder, bool encapsulated = false) {
    TempFile file;
    builder.writeTo(file.path());
    SipStreamAssembler assembler;
    assembler.setIncludeEncapsulated(encapsulated);
    std::vector<PacketRecord> packets;
    if (!assembler.open(file.path())) {
        ADD_FAILURE() << "cannot open";
        return packets;
    }
    while (auto packet = assembler.nextPacket()) {
        packets.push_back(*packet);
    }
    return packets;
}

std::string invite(size_t bodyLength) {
    return "INVITE sip:bob@h SIP/2.0\r\nVia: SIP/2.0/TCP a;branch=z9hG4bK1\r\nContent-Type: "
           "application/sdp\r\nContent-Length: " +
           std::to_string(bodyLength) + "\r\n\r\n" + std::string(bodyLength, 'v');
}

const std::string kOk = "SIP/2.0 200 OK\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n";

}  // namespace

TEST(SipStreamAssembler, MessageOverTwoSegmentsCarriesTheFirstSegmentsTimeAndNumber) {
    std::string text = invite(1200);
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(text.substr(0, 700))), 10, 1);
    builder.add(udpFrame(kHostA, 7000, kHostB, 7002, bytesOf("rtp")), 10, 2);
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(text.substr(700))), 10, 3);
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(payloadOf(packets[0]), "rtp");
    EXPECT_EQ(payloadOf(packets[1]), text);
    EXPECT_EQ(packets[1].number, 1u);
    EXPECT_EQ(packets[1].microseconds, 1);
    EXPECT_EQ(packets[1].fileOffset, 24u);
    EXPECT_EQ(packets[1].transport, TransportKind::Tcp);
}

TEST(SipStreamAssembler, TwoMessagesInOneSegmentComeOutOneAfterTheOther) {
    std::string first = invite(20);
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(first + kOk)), 5, 5);
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("after")), 6, 0);
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(payloadOf(packets[0]), first);
    EXPECT_EQ(payloadOf(packets[1]), kOk);
    EXPECT_EQ(packets[1].number, 1u);
    EXPECT_EQ(packets[1].seconds, 5);
    EXPECT_EQ(payloadOf(packets[2]), "after");
}

TEST(SipStreamAssembler, SecondMessageSplitAcrossSegmentsAfterACompleteOne) {
    std::string second = invite(50);
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(kOk + second.substr(0, 30))), 1, 0);
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(second.substr(30, 40))), 2, 0);
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(second.substr(70) + kOk)), 3, 0);
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(payloadOf(packets[0]), kOk);
    EXPECT_EQ(packets[0].seconds, 1);
    EXPECT_EQ(payloadOf(packets[1]), second);
    EXPECT_EQ(packets[1].seconds, 1);  // the slot was opened by the first segment
    EXPECT_EQ(payloadOf(packets[2]), kOk);
    EXPECT_EQ(packets[2].seconds, 1);
}

TEST(SipStreamAssembler, MessagesWithoutContentLengthNeverComeOut) {
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000,
                         bytesOf("OPTIONS sip:a SIP/2.0\r\nCall-ID: x\r\n\r\n")));
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf("more bytes\r\n")));
    builder.add(udpFrame(kHostA, 5060, kHostB, 5060,
                         bytesOf("OPTIONS sip:a SIP/2.0\r\nCall-ID: y\r\n\r\n")));
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].transport, TransportKind::Udp);
}

TEST(SipStreamAssembler, DirectionsAreSeparateSlots) {
    std::string a = invite(100), b = invite(80);
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(a.substr(0, 60))), 1, 0);
    builder.add(tcpFrame(kHostB, 40000, kHostA, 5060, bytesOf(b.substr(0, 60))), 2, 0);
    builder.add(tcpFrame(kHostB, 40000, kHostA, 5060, bytesOf(b.substr(60))), 3, 0);
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(a.substr(60))), 4, 0);
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(payloadOf(packets[0]), b);
    EXPECT_EQ(packets[0].seconds, 2);
    EXPECT_EQ(payloadOf(packets[1]), a);
    EXPECT_EQ(packets[1].seconds, 1);
}

TEST(SipStreamAssembler, EncapsulatedMessageIsCutToItsStartLine) {
    std::string wrapped = std::string("\x02\x00\x10\x00", 4) + "hdr!" + kOk;
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(wrapped)));
    std::vector<PacketRecord> on = assembleAll(builder, true);
    ASSERT_EQ(on.size(), 1u);
    EXPECT_EQ(payloadOf(on[0]), kOk);
    EXPECT_TRUE(assembleAll(builder, false).empty());
}

TEST(SipStreamAssembler, BeyondThirtyTwoOpenConnectionsNewDataIsDropped) {
    std::string text = invite(40);
    CaptureBuilder builder;
    for (uint16_t port = 1; port <= 33; ++port) {
        builder.add(tcpFrame(kHostA, port, kHostB, 5060, bytesOf(text.substr(0, 50))));
    }
    for (uint16_t port = 1; port <= 33; ++port) {
        builder.add(tcpFrame(kHostA, port, kHostB, 5060, bytesOf(text.substr(50))));
    }
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 32u);
    EXPECT_EQ(packets.back().sourcePort, "32");
}

TEST(SipStreamAssembler, ManySmallSegmentsMakeOneMessage) {
    std::string text = invite(5000);
    CaptureBuilder builder;
    // The first segment must hold a whole line with "SIP/2.0" to open a slot.
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(text.substr(0, 60))));
    for (size_t at = 60; at < text.size(); at += 7) {
        builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(text.substr(at, 7))));
    }
    ScopedDiagnosticsCapture diagnostics;
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(payloadOf(packets[0]), text);
    EXPECT_EQ(packets[0].number, 1u);
    // A message that completes is no news.
    EXPECT_EQ(diagnostics.text(), "");
}

TEST(SipStreamAssembler, LineEndsBetweenMessagesDoNotBlockTheConnection) {
    // A body one CR LF longer than its Content-Length, then a keep-alive, then a message.
    std::string ringing = "SIP/2.0 180 Ringing\r\nContent-Length: 2\r\n\r\nok";
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostB, 5060, kHostA, 40000, bytesOf(kOk + ringing + "\r\n")), 1, 0);
    builder.add(tcpFrame(kHostB, 5060, kHostA, 40000, bytesOf("\r\n\r\n")), 2, 0);
    builder.add(tcpFrame(kHostB, 5060, kHostA, 40000, bytesOf(kOk)), 3, 0);
    builder.add(tcpFrame(kHostB, 5060, kHostA, 40000, bytesOf("\r\n\r\n" + kOk)), 4, 0);
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 4u);
    EXPECT_EQ(payloadOf(packets[1]), ringing);
    EXPECT_EQ(payloadOf(packets[2]), kOk);
    EXPECT_EQ(payloadOf(packets[3]), kOk);
}

TEST(SipStreamAssembler, OnlyAMessageThatNeverCompletesIsReportedOnceAtTheEnd) {
    std::string text = invite(3000);
    CaptureBuilder builder;
    for (size_t at = 0; at < text.size(); at += 100) {
        builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(text.substr(at, 100))));
    }
    // The second connection's message stops short.
    builder.add(tcpFrame(kHostA, 5070, kHostB, 40001, bytesOf(text.substr(0, 1500))));
    builder.add(tcpFrame(kHostA, 5070, kHostB, 40001, bytesOf(text.substr(1500, 500))));
    ScopedDiagnosticsCapture diagnostics;
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(payloadOf(packets[0]), text);
    EXPECT_EQ(diagnostics.text(),
              "Not enough data: TCP 10.0.0.1:5070 > 192.168.200.254:40001, the message of packet "
              "33 never completed (2000 bytes of " +
                  std::to_string(text.size()) + ")\n");
}

TEST(SipStreamAssembler, SegmentsArePlacedBySequenceNumber) {
    const std::string first = invite(900);
    const std::string second = kOk;
    const std::string stream = first + second;
    const uint32_t isn = 4294966000u;  // the stream wraps around sequence space
    auto segment = [&](size_t from, size_t length, uint32_t seconds = 1) {
        return std::make_pair(
            tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(stream.substr(from, length)), {},
                     isn + static_cast<uint32_t>(from)),
            seconds);
    };
    struct Case {
        const char* name;
        std::vector<std::pair<Bytes, uint32_t>> frames;
    } cases[] = {
        {"in order", {segment(0, 600), segment(600, 400), segment(1000, stream.size() - 1000)}},
        {"a segment retransmitted",
         {segment(0, 600), segment(0, 600), segment(600, stream.size() - 600),
          segment(600, stream.size() - 600)}},
        {"overlapping segments",
         {segment(0, 700), segment(500, 400), segment(800, stream.size() - 800)}},
        {"reordered",
         {segment(0, 300), segment(600, 400), segment(300, 300),
          segment(1000, stream.size() - 1000)}},
        {"the second message before the first's tail",
         {segment(0, 600), segment(first.size(), second.size()), segment(600, first.size() - 600)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CaptureBuilder builder;
        for (const auto& frame : c.frames) {
            builder.add(frame.first, frame.second, 0);
        }
        ScopedDiagnosticsCapture diagnostics;
        std::vector<PacketRecord> packets = assembleAll(builder);
        ASSERT_EQ(packets.size(), 2u);
        EXPECT_EQ(payloadOf(packets[0]), first);
        EXPECT_EQ(packets[0].number, 1u);  // the message's first segment
        EXPECT_EQ(payloadOf(packets[1]), second);
        EXPECT_EQ(diagnostics.text(), "");
    }
}

TEST(SipStreamAssembler, AGapThatNeverFillsIsSaidOnceAndTheStreamReadsOn) {
    const std::string lost = invite(2000);
    CaptureBuilder builder;
    uint32_t sequence = 1000;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(lost.substr(0, 800)), {}, sequence));
    // 800 bytes of the INVITE never captured; then its tail and forty complete messages.
    sequence += 1600;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(lost.substr(1600)), {}, sequence));
    sequence += static_cast<uint32_t>(lost.size() - 1600);
    for (int i = 0; i < 40; ++i) {
        builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(kOk), {}, sequence));
        sequence += static_cast<uint32_t>(kOk.size());
    }
    builder.add(udpFrame(kHostA, 7000, kHostB, 7002, bytesOf("rtp")));
    ScopedDiagnosticsCapture diagnostics;
    std::vector<PacketRecord> packets = assembleAll(builder);
    size_t oks = 0;
    for (const PacketRecord& packet : packets) {
        EXPECT_EQ(payloadOf(packet).find("vvvv"), std::string::npos) << "the damaged INVITE";
        oks += payloadOf(packet) == kOk ? 1 : 0;
    }
    EXPECT_EQ(oks, 40u);
    EXPECT_EQ(payloadOf(packets.back()), "rtp");
    EXPECT_EQ(diagnostics.text(),
              "TCP 10.0.0.1:5060 > 192.168.200.254:40000: 800 bytes never captured, the first "
              "before packet 2; read on from the next SIP start line\n");
}

TEST(SipStreamAssembler, ASynStartsANewStreamOnTheSameAddressesAndPorts) {
    CaptureBuilder builder;
    const std::string half = invite(100).substr(0, 80);
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(half), {}, 500));
    // The connection is gone; a new one on the same ports starts far behind in sequence space.
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, Bytes{}, {}, 100, 0x02));
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(kOk), {}, 101));
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, Bytes{}, {}, 100, 0x02));  // resent SYN
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(kOk), {}, 101));   // again
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(kOk), {},
                         101 + static_cast<uint32_t>(kOk.size())));
    ScopedDiagnosticsCapture diagnostics;
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(payloadOf(packets[0]), kOk);
    EXPECT_EQ(packets[0].number, 3u);
    EXPECT_EQ(packets[1].number, 6u);  // after the resent SYN, the stream went on
    EXPECT_EQ(diagnostics.text(),
              "Not enough data: TCP 10.0.0.1:5060 > 192.168.200.254:40000, the message of packet 1 "
              "never completed (80 bytes)\n");
}

TEST(SipStreamAssembler, ABadContentLengthDoesNotSilenceTheConnection) {
    const std::string bad = "BYE sip:a SIP/2.0\r\nCall-ID: x\r\nContent-Length: -1\r\n\r\n";
    CaptureBuilder builder;
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(bad.substr(0, 20))));
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(bad.substr(20) + kOk)));
    builder.add(tcpFrame(kHostA, 5060, kHostB, 40000, bytesOf(kOk)));
    ScopedDiagnosticsCapture diagnostics;
    std::vector<PacketRecord> packets = assembleAll(builder);
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(payloadOf(packets[0]), bad);
    EXPECT_EQ(payloadOf(packets[1]), kOk);
    EXPECT_EQ(payloadOf(packets[2]), kOk);
    EXPECT_EQ(diagnostics.text(), "Packet 1: Content-Length \"-1\" is not a number; taken as 0\n");
}
