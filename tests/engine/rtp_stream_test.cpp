#include <gtest/gtest.h>

#include <random>

#include "engine/diagnostics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/media/sdp_description.h"
#include "engine/sip/analysis_model.h"
#include "support/media_test_util.h"
#include "support/position_lists.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

const char* const kCaller = "10.0.0.1";
const char* const kCallee = "10.0.0.2";

struct Call {
    AnalysisModel model;
    RtpStreamRegistry registry{"unused.pcap"};

    // Adds the SIP message to the model and registers its SDP, as the pass does.
    const SipMessage& add(const std::string& text, const char* from = kCaller,
                          const char* to = kCallee) {
        PacketRecord packet = udpRecord(from, 5060, to, 5060, bytesOf(text), 0, 0,
                                        static_cast<uint32_t>(model.itemCount() + 1));
        ItemIndex index = model.addSip(packet, SipMessage::parse(text));
        const SipMessage& message = *model.item(index).heldSip;
        if (std::unique_ptr<const SdpDescription> sdp = message.sdp()) {
            registry.registerFromSdp(*sdp, message.sharedTransactionKey(),
                                     [this](const std::string& address, int32_t port) {
                                         return model.localAddressBehindNat(address, port);
                                     });
        }
        return message;
    }
    RtpStream* rtp(const std::string& to, uint16_t port, const RtpFields& fields,
                   bool includeRtcp = true) {
        return offer(registry, udpRecord(kCallee, 7000, to, port, rtpPacket(fields)), 0,
                     includeRtcp);
    }
    const RtpStream* find(int payloadType, int32_t port = 4000) const {
        for (size_t i = 0; i < registry.streamCount(); ++i) {
            const RtpStream& s = registry.stream(i);
            if (s.payloadType == payloadType && s.targetPort == port)
                return &s;
        }
        return nullptr;
    }
};

const std::string kInvite = "INVITE sip:b@h SIP/2.0";

}  // namespace

TEST(RtpStreamRegistry, RegistersEveryPresentSlotAndKeepsOnlyStreamsWithPackets) {
    Call call;
    ScopedDiagnosticsCapture userOutput;
    call.add(sipWithSdp(kInvite, "1 INVITE", "z1",
                        audioSdp(kCaller, 4000, "0 101", "a=rtpmap:101 telephone-event/8000\r\n")));
    // Audio 0, 3 to 18 and 101 on port 4000; the seven preset video types on port 0.
    ASSERT_EQ(call.registry.streamCount(), 25u);
    const RtpStream& first = call.registry.stream(0);
    EXPECT_EQ(first.payloadType, 0);
    EXPECT_EQ(first.encodingName, "pcmu");
    EXPECT_EQ(first.mediaName, "audio");
    EXPECT_EQ(first.targetAddress, kCaller);
    EXPECT_EQ(first.targetPort, 4000);
    EXPECT_EQ(first.rtcpPort, 4001);
    EXPECT_EQ(first.clockRate, 8000);
    EXPECT_TRUE(first.active);
    EXPECT_EQ(first.transaction().cseq, 1);
    EXPECT_EQ(call.registry.stream(17).encodingName, "telephone-event");
    EXPECT_EQ(call.registry.stream(18).mediaName, "video");
    EXPECT_EQ(call.registry.stream(18).targetPort, 0);
    // The registration trace is a debug line, never user output.
    EXPECT_EQ(userOutput.text(), "");

    ASSERT_NE(call.rtp(kCaller, 4000, {0, 1}), nullptr);
    ASSERT_NE(call.rtp(kCaller, 4000, {101, 2}), nullptr);
    call.registry.finishAnalysis();
    ASSERT_EQ(call.registry.streamCount(), 2u);
    EXPECT_EQ(call.registry.stream(0).payloadType, 0);
    EXPECT_EQ(call.registry.stream(1).payloadType, 101);
}

TEST(RtpStreamRegistry, TheTraceLineGoesToTheDebugChannel) {
    struct Collect : IDiagnosticsSink {
        std::string text;
        void write(const std::string& t) override { text += t; }
    } debug;
    setDebugSink(&debug);
    RtpStreamRegistry registry("x.pcap");
    registry.addRtpSource(TransactionKey{}, "10.0.0.1", 4000, "", 0, 8, "pcma", "audio", 8000, 4001,
                          0, 0);
    setDebugSink(nullptr);
    EXPECT_EQ(debug.text,
              "** addRtpSource: TargetIP=10.0.0.1, TargetPort=4000, format=8/pcma, "
              "sampleRate=8000, ssrc=0\n");
}

TEST(RtpStreamRegistry, RetransmittedSdpRegistersAgainOnlyOnceTheSsrcIsKnown) {
    Call call;
    const std::string invite = sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp(kCaller, 4000, "0"));
    call.add(invite);
    call.add(invite);
    EXPECT_EQ(call.registry.streamCount(), 24u);
    ASSERT_NE(call.rtp(kCaller, 4000, {0, 1, 0, 0xabc}), nullptr);
    call.add(invite);
    // Only the stream that learned an SSRC differs from the new entries now.
    ASSERT_EQ(call.registry.streamCount(), 25u);
    const RtpStream& again = call.registry.stream(24);
    EXPECT_EQ(again.payloadType, 0);
    EXPECT_EQ(again.ssrc, 0u);
    // A new source on the same address and port is taken by the new entry.
    RtpStream* taken = call.rtp(kCaller, 4000, {0, 1, 0, 0xdef});
    EXPECT_EQ(taken, &call.registry.stream(24));
}

TEST(RtpStreamRegistry, PacketsMatchByPayloadTypeSsrcAndRtcpPort) {
    Call call;
    call.add(sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp(kCaller, 4000, "0 18")));
    RtpStream* g729 = call.rtp(kCaller, 4000, {18, 1, 0, 0x5555});
    ASSERT_NE(g729, nullptr);
    EXPECT_EQ(g729->payloadType, 18);
    EXPECT_EQ(call.find(0)->packets, 0);
    // Another SSRC with the same type does not join the learned stream.
    EXPECT_EQ(call.rtp(kCaller, 4000, {18, 2, 0, 0x6666}), nullptr);
    // Version 0 or short payloads are never media.
    Bytes zero = rtpPacket({18, 3, 0, 0x5555});
    zero[0] = 0x00;
    EXPECT_EQ(offer(call.registry, udpRecord(kCallee, 7000, kCaller, 4000, zero), 0, true),
              nullptr);
    EXPECT_EQ(offer(call.registry,
                    udpRecord(kCallee, 7000, kCaller, 4000, {0x80, 18, 0, 1, 0, 0, 0, 0, 0, 0, 0}),
                    0, true),
              nullptr);
    EXPECT_EQ(g729->packets, 1);

    // RTCP to the port above: decoded with the stream whose SSRC it reports, not counted.
    PacketRecord report = udpRecord(kCallee, 7001, kCaller, 4001, rtcpSenderReport(0x5555, "me@x"));
    EXPECT_EQ(offer(call.registry, report, 0, false), nullptr);
    EXPECT_TRUE(g729->reports.empty());
    EXPECT_EQ(offer(call.registry, report, 0, true), nullptr);
    ASSERT_EQ(g729->reports.size(), 2u);  // the sender report and the source description
    EXPECT_EQ(g729->packets, 1);
    EXPECT_EQ(call.registry.canonicalName(0x5555).value_or("?"), "me@x");
    EXPECT_FALSE(call.registry.canonicalName(0x6666));
    // RTCP of a source no stream has learned is not attributed.
    PacketRecord unknown = udpRecord(kCallee, 7001, kCaller, 4001, rtcpSenderReport(0x7777, "o"));
    offer(call.registry, unknown, 0, true);
    EXPECT_EQ(g729->reports.size(), 2u);
    EXPECT_EQ(matchOf(unknown, *g729, true), StreamMatch::None);
    EXPECT_EQ(matchOf(report, *g729, true), StreamMatch::Rtcp);
}

TEST(RtpStreamRegistry, StunBindingGivesTheLocalAddressBehindTheNat) {
    Call call;
    auto binding = [&call](const std::string& id, const std::string& local) {
        auto pairs = std::make_unique<NameValuePair>();
        pairs->add("MSG_TYPE", "STUN_BIND_RESPONSE");
        pairs->add("TRANSACTION_ID", id);
        pairs->add("STUN_XOR_MAPPED_ADDRESS", "203.0.113.7:40000");
        call.model.addStun(udpRecord("198.51.100.1", 3478, local, 3000, {}), std::move(pairs));
    };
    binding("0A", "192.168.1.4");
    binding("0F", "192.168.1.5");  // the greatest identifier is met first
    binding("0B", "192.168.1.6");
    auto walk = call.model.stunTransactionsDescending();
    ASSERT_FALSE(walk.empty());
    EXPECT_EQ(call.model.natBinding("203.0.113.7:40000"), walk.front());
    EXPECT_FALSE(call.model.natBinding("203.0.113.7:40001"));

    call.add(sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp("203.0.113.7", 40000, "8")));
    const RtpStream* stream = call.find(8, 40000);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->alternateAddress, "192.168.1.5");
    EXPECT_EQ(stream->alternatePort, 3000);
    EXPECT_EQ(stream->alternateRtcpPort, 0);
    // RTP captured on its way to the local address counts for the announced stream.
    EXPECT_EQ(call.rtp("192.168.1.5", 3000, {8, 1}), stream);
    EXPECT_EQ(call.rtp("192.168.1.6", 3000, {8, 2}), nullptr);
}

TEST(RtpStreamRegistry, DeactivatedStreamsKeepTheirPacketsUntilAnActiveOneClaimsThem) {
    Call call;
    call.add(sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp(kCaller, 4000, "0")));
    const SipMessage& busy =
        call.add(sipWithSdp("SIP/2.0 486 Busy Here", "1 INVITE", "z1", "", "b"), kCallee, kCaller);
    call.registry.deactivateTransactionStream(busy.transactionKey());
    const RtpStream* first = call.find(0);
    EXPECT_FALSE(first->active);
    EXPECT_TRUE(call.find(3)->active);  // only the first active stream is cleared
    EXPECT_EQ(call.rtp(kCaller, 4000, {0, 1, 0, 0x1}), first);

    call.add(sipWithSdp(kInvite, "2 INVITE", "z2", audioSdp(kCaller, 4000, "0")));
    const RtpStream* second = &call.registry.stream(24);
    ASSERT_EQ(second->transaction().cseq, 2);
    EXPECT_EQ(call.rtp(kCaller, 4000, {0, 2, 0, 0x1}), second);

    // A BYE clears the first active stream of the session: the new pcmu one.
    const SipMessage& bye = call.add(
        "BYE sip:a@h SIP/2.0\r\nVia: SIP/2.0/UDP x;branch=z9\r\nFrom: <sip:b@h>;tag=b\r\n"
        "To: <sip:a@h>;tag=a\r\nCall-ID: call-1\r\nCSeq: 1 BYE\r\n\r\n",
        kCallee, kCaller);
    call.registry.deactivateDialogStream(bye.dialogKey());
    EXPECT_FALSE(call.find(3)->active);
    EXPECT_TRUE(second->active);
    call.registry.deactivateDialogStream(bye.dialogKey());
    EXPECT_FALSE(call.find(4)->active);
}

TEST(RtpStreamRegistry, StreamsOfATransactionWithAndWithoutTheSdp) {
    Call call;
    const SipMessage& invite =
        call.add(sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp(kCaller, 4000, "0")));
    const SipMessage& ok =
        call.add(sipWithSdp("SIP/2.0 200 OK", "1 INVITE", "z1", audioSdp(kCallee, 5000, "0"), "b"),
                 kCallee, kCaller);
    EXPECT_EQ(call.registry.streamsOfTransaction(invite.transactionKey(), nullptr, 100).size(),
              48u);
    EXPECT_EQ(call.registry.streamsOfTransaction(invite.transactionKey(), nullptr, 32).size(), 32u);
    auto answer = call.registry.streamsOfTransaction(ok.transactionKey(), ok.sdp().get(), 100);
    ASSERT_EQ(answer.size(), 24u);
    EXPECT_EQ(answer.front()->targetAddress, kCallee);
    TransactionKey other = invite.transactionKey();
    other.cseq = 7;
    EXPECT_TRUE(call.registry.streamsOfTransaction(other, nullptr, 100).empty());
}

// The destination index must pick exactly the stream the registry-order rule picks: the first
// active match, else the last inactive one.
TEST(RtpStreamRegistry, IndexedAttributionAgreesWithTheRegistryOrderRule) {
    std::mt19937 random(7);
    auto pick = [&random](auto... values) {
        const std::vector<typename std::common_type<decltype(values)...>::type> list{values...};
        return list[std::uniform_int_distribution<size_t>(0, list.size() - 1)(random)];
    };
    for (int round = 0; round < 40; ++round) {
        RtpStreamRegistry registry("x.pcap");
        for (int i = 0; i < 30; ++i) {
            TransactionKey key;
            key.cseq = i;
            std::string alternate = pick(std::string(), std::string("10.1.1.1"));
            int32_t port = pick(4000, 4001, 4002);
            RtpStream* s = registry.addRtpSource(
                key, pick(std::string("10.0.0.1"), std::string("10.0.0.2"), std::string("x")), port,
                alternate, alternate.empty() ? 0 : pick(6000, 6001), pick(0, 8), "codec", "audio",
                8000, port + 1, alternate.empty() ? 0 : pick(6001, 6002), pick(0u, 1u, 2u));
            s->active = pick(true, false);
        }
        for (int p = 0; p < 200; ++p) {
            uint32_t ssrc = pick(1u, 2u, 3u);
            Bytes payload = pick(0, 1) ? rtcpSenderReport(ssrc, "c")
                                       : rtpPacket({static_cast<uint8_t>(pick(0, 8)), 1, 0, ssrc});
            PacketRecord packet = udpRecord(
                "9.9.9.9", 1,
                pick(std::string("10.0.0.1"), std::string("10.0.0.2"), std::string("10.1.1.1")),
                static_cast<uint16_t>(pick(4000, 4001, 4002, 4003, 6000, 6001, 6002)), payload);
            const RtpStream* expected = nullptr;
            StreamMatch how = StreamMatch::None;
            for (size_t i = 0; i < registry.streamCount(); ++i) {
                const RtpStream& s = registry.stream(i);
                StreamMatch m = matchOf(packet, s, true);
                if (m == StreamMatch::None)
                    continue;
                expected = &s;
                how = m;
                if (s.active)
                    break;
            }
            std::vector<size_t> reportsBefore;
            for (size_t i = 0; i < registry.streamCount(); ++i) {
                reportsBefore.push_back(registry.stream(i).reports.size());
            }
            RtpStream* chosen = offer(registry, packet, 0, true);
            if (how == StreamMatch::Rtp) {
                ASSERT_EQ(chosen, expected) << "round " << round << " packet " << p;
            } else {
                ASSERT_EQ(chosen, nullptr);
                for (size_t i = 0; i < registry.streamCount(); ++i) {
                    bool grew = registry.stream(i).reports.size() > reportsBefore[i];
                    ASSERT_EQ(grew, &registry.stream(i) == expected) << "round " << round;
                }
            }
        }
    }
}

// A stream's record is made only when a packet or a caller asks for it. A registry whose
// records were all made at once must end with the same streams and figures.
TEST(RtpStreamRegistry, StreamsMadeOnDemandEndLikeStreamsMadeAtOnce) {
    std::mt19937 random(11);
    auto chance = [&random](int in) {
        return std::uniform_int_distribution<int>(0, in - 1)(random);
    };
    for (int round = 0; round < 30; ++round) {
        Call lazy;
        Call eager;
        auto bothAdd = [&](const std::string& text, const char* from, const char* to) {
            const SipMessage& message = lazy.add(text, from, to);
            eager.add(text, from, to);
            for (size_t i = 0; i < eager.registry.streamCount(); ++i) {
                eager.registry.stream(i);
            }
            return message;
        };
        for (int step = 0; step < 80; ++step) {
            const std::string cseq = std::to_string(1 + chance(3));
            const char* host = chance(2) ? kCaller : kCallee;
            const int port = chance(2) ? 4000 : 4002;
            switch (chance(5)) {
                case 0: {  // an offer or its retransmission
                    const char* formats[] = {"0", "0 8", "8 101", "18 0"};
                    bothAdd(sipWithSdp(kInvite, cseq + " INVITE", "z" + cseq,
                                       audioSdp(host, port, formats[chance(4)],
                                                "a=rtpmap:101 telephone-event/8000\r\n")),
                            kCaller, kCallee);
                    break;
                }
                case 1: {  // a failure or a BYE
                    if (chance(2)) {
                        SipMessage busy = SipMessage::parse(sipWithSdp(
                            "SIP/2.0 486 Busy Here", cseq + " INVITE", "z" + cseq, "", "b"));
                        lazy.registry.deactivateTransactionStream(busy.transactionKey());
                        eager.registry.deactivateTransactionStream(busy.transactionKey());
                    } else {
                        SipMessage bye = SipMessage::parse(
                            "BYE sip:a@h SIP/2.0\r\nVia: SIP/2.0/UDP x;branch=z9\r\n"
                            "From: <sip:b@h>;tag=b\r\nTo: <sip:a@h>;tag=a\r\nCall-ID: call-1\r\n"
                            "CSeq: 1 BYE\r\n\r\n");
                        lazy.registry.deactivateDialogStream(bye.dialogKey());
                        eager.registry.deactivateDialogStream(bye.dialogKey());
                    }
                    break;
                }
                default: {  // RTP or RTCP towards one of the announced addresses
                    const uint32_t ssrc = 1 + static_cast<uint32_t>(chance(3));
                    const uint8_t types[] = {0, 8, 18, 101, 96};
                    Bytes payload =
                        chance(4) == 0
                            ? rtcpSenderReport(ssrc, "c")
                            : rtpPacket({types[chance(5)], static_cast<uint16_t>(step), 0, ssrc});
                    PacketRecord packet = udpRecord(
                        kCallee, 7000, host, static_cast<uint16_t>(port + chance(2)), payload);
                    const RtpStream* a = offer(lazy.registry, packet, 0, true);
                    const RtpStream* b = offer(eager.registry, packet, 0, true);
                    ASSERT_EQ(a == nullptr, b == nullptr) << "round " << round << " step " << step;
                    if (a != nullptr) {
                        EXPECT_EQ(a->payloadType, b->payloadType);
                        EXPECT_EQ(a->targetPort, b->targetPort);
                        EXPECT_EQ(a->transaction().cseq, b->transaction().cseq);
                        EXPECT_EQ(a->packets, b->packets);
                    }
                }
            }
        }
        ASSERT_EQ(lazy.registry.streamCount(), eager.registry.streamCount()) << "round " << round;
        lazy.registry.finishAnalysis();
        eager.registry.finishAnalysis();
        ASSERT_EQ(lazy.registry.streamCount(), eager.registry.streamCount()) << "round " << round;
        for (size_t i = 0; i < lazy.registry.streamCount(); ++i) {
            const RtpStream& a = lazy.registry.stream(i);
            const RtpStream& b = eager.registry.stream(i);
            EXPECT_EQ(a.payloadType, b.payloadType);
            EXPECT_EQ(a.targetAddress, b.targetAddress);
            EXPECT_EQ(a.targetPort, b.targetPort);
            EXPECT_EQ(a.encodingName, b.encodingName);
            EXPECT_EQ(a.ssrc, b.ssrc);
            EXPECT_EQ(a.active, b.active);
            EXPECT_EQ(a.packets, b.packets);
            EXPECT_EQ(a.dropped, b.dropped);
            EXPECT_EQ(a.reports.size(), b.reports.size());
        }
    }
}

TEST(RtpStreamRegistry, DottedQuadsAreReadOnlyInTheFormPacketsHave) {
    EXPECT_EQ(parseDottedQuad("10.0.0.1").value_or(0), 0x0a000001u);
    EXPECT_EQ(parseDottedQuad("255.255.255.255").value_or(0), 0xffffffffu);
    for (const char* text : {"010.0.0.1", "10.0.0", "10.0.0.1.", "256.0.0.1", " 10.0.0.1",
                             "10.0.0.1 ", "a.b.c.d", "", "ERROR", "1..2.3"}) {
        EXPECT_FALSE(parseDottedQuad(text)) << text;
    }
}

TEST(AnalysisModelMedia, StreamItemsJoinTheirSessionAndSpanTheirPackets) {
    Call call;
    call.add(sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp(kCaller, 4000, "8")));
    RtpStream* stream = call.rtp(kCaller, 4000, {8, 1});
    ASSERT_NE(stream, nullptr);
    stream->countedPackets().first.number = 2;
    ItemIndex media = call.model.addRtp(stream->firstPacket(), *stream);
    EXPECT_EQ(call.model.item(media).kind, ItemKind::Media);
    EXPECT_EQ(call.model.item(media).mediaCallId(), "call-1");
    // Later SIP items at packets 3, 4 and 5; the stream's last packet is number 5.
    for (int i = 0; i < 3; ++i) {
        call.add(sipWithSdp("OPTIONS sip:b@h SIP/2.0", std::to_string(10 + i) + " OPTIONS",
                            "o" + std::to_string(i), ""));
    }
    stream->countedPackets().last.number = 5;
    EXPECT_EQ(call.model.itemsWithCallId("call-1"), testsupport::items({0, 1, 2, 3, 4}));
    EXPECT_EQ(call.model.relatedRows(media, AnalysisModel::RelationMode::Session),
              testsupport::rows({1, 3}));
    EXPECT_TRUE(call.model.relatedRows(media, AnalysisModel::RelationMode::Transaction).empty());
    // With the item right after the stream hidden, rows are rows of the filtered diagram.
    call.model.setVisible(testsupport::items({0, 1, 3, 4}));
    EXPECT_EQ(call.model.relatedRows(media, AnalysisModel::RelationMode::Session),
              testsupport::rows({1, 2}));
    EXPECT_EQ(call.model.relatedRows(ItemIndex(0), AnalysisModel::RelationMode::Session),
              testsupport::rows({0, 1, 2, 3}));
    // A stream that ends before the next visible item spans itself alone.
    stream->countedPackets().last.number = 3;
    EXPECT_EQ(call.model.relatedRows(media, AnalysisModel::RelationMode::Session),
              testsupport::rows({1, 1}));
}

// Symmetric RTP: the flow an announced address and port send from, towards an address no SDP
// announced, is registered and measured as the reverse of the announced stream.
TEST(RtpStreamRegistry, TheFlowFromAnAnnouncedAddressIsMeasuredUntilAnSdpAnnouncesItsDestination) {
    Call call;
    call.add(sipWithSdp(kInvite, "1 INVITE", "z1",
                        audioSdp(kCaller, 4000, "8 101", "a=rtpmap:101 telephone-event/8000\r\n")));
    auto from = [&](uint16_t sourcePort, uint16_t port, const RtpFields& fields) {
        return offer(call.registry,
                     udpRecord(kCaller, sourcePort, kCallee, port, rtpPacket(fields)), 0, true);
    };
    RtpStream* reverse = from(4000, 6000, {8, 1, 0, 0x42});
    ASSERT_NE(reverse, nullptr);
    EXPECT_EQ(reverse->targetAddress, kCallee);
    EXPECT_EQ(reverse->targetPort, 6000);
    EXPECT_EQ(reverse->rtcpPort, 6001);
    EXPECT_EQ(reverse->encodingName, "pcma");
    EXPECT_EQ(reverse->transaction().callId(), "call-1");
    EXPECT_EQ(from(4000, 6000, {8, 3, 320, 0x42}), reverse);
    EXPECT_EQ(reverse->packets, 2);
    EXPECT_EQ(reverse->sequence->quality.lost(), 1);
    // The announced event type joins the same session; an unannounced type, another source
    // port and a source nobody announced find nothing.
    RtpStream* events = from(4000, 6000, {101, 4, 480, 0x42});
    ASSERT_NE(events, nullptr);
    EXPECT_EQ(events->sequence, reverse->sequence);
    EXPECT_EQ(from(4000, 6000, {96, 5, 640, 0x42}), nullptr);
    EXPECT_EQ(from(4002, 6002, {8, 1, 0, 0x43}), nullptr);
    EXPECT_EQ(offer(call.registry, udpRecord(kCallee, 4000, kCaller, 6004, rtpPacket({8, 1, 0, 7})),
                    0, true),
              nullptr);

    // Once an SDP announces the destination, its stream takes the packets.
    call.add(sipWithSdp("SIP/2.0 200 OK", "1 INVITE", "z1", audioSdp(kCallee, 6000, "8"), "b"),
             kCallee, kCaller);
    RtpStream* announced = from(4000, 6000, {8, 6, 800, 0x42});
    ASSERT_NE(announced, nullptr);
    EXPECT_NE(announced, reverse);
    EXPECT_EQ(announced->targetPort, 6000);
    EXPECT_EQ(reverse->packets, 2);

    // Turned off, only announced destinations are measured.
    Call strict;
    strict.registry.setMeasureFromAnnounced(false);
    strict.add(sipWithSdp(kInvite, "1 INVITE", "z1", audioSdp(kCaller, 4000, "8")));
    EXPECT_EQ(offer(strict.registry,
                    udpRecord(kCaller, 4000, kCallee, 6000, rtpPacket({8, 1, 0, 1})), 0, true),
              nullptr);
}
