#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cmath>

#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/packet_analysis_driver.h"
#include "support/media_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

// One registered pcma stream to 10.0.0.1:4000 and the packets fed to it.
struct Stream {
    RtpStreamRegistry registry{"unused.pcap"};
    RtpStream* stream = registry.addRtpSource(TransactionKey{}, "10.0.0.1", 4000, "", 0, 8, "pcma",
                                              "audio", 8000, 4001, 0, 0);
    uint32_t number = 0;

    void feed(uint16_t sequence, uint32_t seconds = 0, uint32_t microseconds = 0,
              uint32_t ssrc = 0x1234) {
        ++number;
        PacketRecord packet =
            udpRecord("10.0.0.2", 5000, "10.0.0.1", 4000, rtpPacket({8, sequence, 0, ssrc}),
                      seconds, microseconds, number);
        packet.fileOffset = number * 100;
        ASSERT_EQ(offer(registry, packet, packet.fileOffset, true), stream);
    }
    void feedAll(std::initializer_list<uint16_t> sequences) {
        for (uint16_t s : sequences) feed(s);
    }
    // The numbers on the missing list that count against this stream.
    std::vector<uint16_t> missing() const {
        std::vector<uint16_t> out;
        if (const SequenceSpace* space = stream->sequence.get()) {
            for (size_t i = 0; i < space->missing.size(); ++i) {
                if (space->missing.owner(i) == stream)
                    out.push_back(space->missing[i]);
            }
        }
        return out;
    }
    uint16_t lastSequence() const { return stream->sequence->lastSequence; }
    // Ends the pass; the stream moves to its new place.
    void finish() { stream = registry.finishAnalysis().at(stream); }
};

}  // namespace

TEST(RtpStatistics, SequenceTrackingAndTheMissingList) {
    {
        Stream s;
        s.feedAll({10, 11, 13});
        EXPECT_EQ(s.missing(), (std::vector<uint16_t>{12}));
        s.feed(12);
        EXPECT_TRUE(s.missing().empty());
        EXPECT_EQ(s.stream->outOfOrder, 1);
        EXPECT_EQ(s.lastSequence(), 13);
        s.finish();
        EXPECT_EQ(s.stream->dropped, 0);
    }
    {
        Stream s;
        s.feedAll({10, 11, 14});
        EXPECT_EQ(s.missing(), (std::vector<uint16_t>{12, 13}));
        s.finish();
        EXPECT_EQ(s.stream->dropped, 2);
        EXPECT_TRUE(s.missing().empty());
    }
    {
        Stream s;  // a jump of 128 or more records nothing
        s.feedAll({100, 300});
        EXPECT_TRUE(s.missing().empty());
        EXPECT_EQ(s.lastSequence(), 300);
        s.feed(427);  // 127 ahead: 126 numbers skipped
        EXPECT_EQ(s.missing().size(), 126u);
    }
    {
        Stream s;  // more than 128 gaps pending: the oldest are evicted and counted at once
        s.feed(0);
        for (uint16_t n = 2; n <= 260; n += 2) s.feed(n);
        EXPECT_EQ(s.missing().size(), 128u);
        EXPECT_EQ(s.stream->dropped, 2);
        EXPECT_EQ(s.missing().front(), 5);
        s.finish();
        EXPECT_EQ(s.stream->dropped, 130);
    }
}

TEST(RtpStatistics, SequenceNumbersAcrossTheWrap) {
    {
        Stream s;
        s.feedAll({65534, 65535, 0, 1});
        EXPECT_EQ(s.stream->outOfOrder, 0);
        EXPECT_EQ(s.lastSequence(), 1);
        s.finish();
        EXPECT_EQ(s.stream->dropped, 0);
    }
    {
        Stream s;  // a loss and a late packet on either side of the wrap
        s.feedAll({65534, 1, 65535});
        EXPECT_EQ(s.missing(), (std::vector<uint16_t>{0}));
        EXPECT_EQ(s.stream->outOfOrder, 1);
        EXPECT_EQ(s.lastSequence(), 1);
        s.finish();
        EXPECT_EQ(s.stream->dropped, 1);
    }
    EXPECT_TRUE(sequenceAfter(0, 65535));
    EXPECT_TRUE(sequenceAfter(32767, 0));
    EXPECT_FALSE(sequenceAfter(32768, 0));
    EXPECT_FALSE(sequenceAfter(5, 5));
}

TEST(RtpStatistics, FiguresOfSteadyAndSingleAndSsrcZeroStreams) {
    Stream steady;
    for (int i = 0; i < 51; ++i) {
        steady.feed(static_cast<uint16_t>(i), 100 + i / 50, (i % 50) * 20000);
    }
    const RtpStream& s = *steady.stream;
    EXPECT_EQ(s.packets, 51);
    EXPECT_EQ(s.intervalSum, 1000);
    EXPECT_EQ(s.payloadBytes, 51 * 172);
    EXPECT_EQ(s.headerBytes, 51 * 42);
    EXPECT_EQ(s.firstOffset, 100u);
    EXPECT_EQ(s.lastOffset, 5100u);
    EXPECT_EQ(s.firstPacket().number, 1u);
    EXPECT_EQ(s.lastPacket().number, 51u);
    EXPECT_EQ(packetTimeText(elapsedTime(s)), "1.000000");
    AnalysisItem item;
    item.kind = ItemKind::Media;
    item.stream = &s;
    EXPECT_EQ(itemText(AnalysisModel(), item).value_or("?"),
              "Payload: audio/pcma(8)\r\n"
              "Source : 10.0.0.2:5000\r\n"
              "Destination : 10.0.0.1:4000\r\n"
              "Total Packets : 51\r\n"
              "Out of Order Packets : 0\r\n"
              "Dropped Packets : 0\r\n"
              "Elapsed time (s) : 1.000000\r\n"
              "Total Bytes : 10914\r\n"
              "Average KBytes/Sec : 10.66\r\n"
              "Average Jitter (ms) : 19.61\r\n"
              "Start/End Packet # : 1/51\r\n"
              // Every timestamp is 0, so each 20 ms arrival is all jitter.
              "Mean Jitter (ms) : 14.238\r\n"
              "Max Jitter (ms) : 19.206\r\n"
              "Max Delta (ms) : 20.000\r\n"
              "Lost Packets : 0 (0.0%)\r\n"
              "Estimated MOS : 4.4\r\n"
              "Mean Delta (ms) : 20.000\r\n"
              "Expected Packets : 51\r\n"
              "Sequence Errors : 0\r\n"
              "Duplicate Packets : 0\r\n"
              "Max Delta at Packet # : 2 (0.020000 s into the stream)\r\n");

    Stream single;
    single.feed(7, 5, 5);
    auto rows = streamFigureRows(*single.stream);
    ASSERT_EQ(rows.size(), 20u);
    EXPECT_EQ(rows[5], (std::pair<std::string, std::string>{"Elapsed time (s)", "0.000000"}));
    EXPECT_EQ(rows[7].second, "0.00");  // no division by a zero elapsed time
    EXPECT_EQ(rows[8].second, "0.00");
    EXPECT_EQ(single.stream->intervalSum, 0);

    // SSRC 0 is a source like any other: its second packet is not a first packet again.
    Stream zero;
    zero.feed(1, 10, 0, 0);
    zero.feed(5, 11, 0, 0);
    zero.feed(3, 12, 0, 0);
    EXPECT_EQ(zero.stream->packets, 3);
    EXPECT_EQ(zero.stream->intervalSum, 2000);
    EXPECT_EQ(zero.stream->outOfOrder, 1);
    EXPECT_EQ(zero.missing(), (std::vector<uint16_t>{2, 4}));
    EXPECT_EQ(zero.stream->firstPacket().number, 1u);
    EXPECT_EQ(zero.stream->lastPacket().number, 3u);
    EXPECT_EQ(zero.stream->firstTime.seconds, 10);
    EXPECT_EQ(zero.stream->payloadBytes, 3 * 172);
}

TEST(RtpStatistics, ALongEncodingNameKeepsThePayloadLineWhole) {
    // Names come from captured SDP: a 600-character rtpmap name must not cut the line end.
    RtpStreamRegistry registry("unused.pcap");
    const std::string name(600, 'x');
    RtpStream* stream = registry.addRtpSource(TransactionKey{}, "10.0.0.1", 4000, "", 0, 96, name,
                                              "audio", 8000, 4001, 0, 0);
    AnalysisItem item;
    item.kind = ItemKind::Media;
    item.stream = stream;
    const std::string text = itemText(AnalysisModel(), item).value_or("");
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "Payload: audio/" + name + "(96)");
    EXPECT_NE(text.find("(96)\r\nSource : "), std::string::npos);
}

TEST(RtpStatistics, ItemTextsOfSipAndStunItems) {
    AnalysisItem sip;
    sip.kind = ItemKind::Sip;
    sip.packet = udpRecord("1.1.1.1", 1, "2.2.2.2", 2, bytesOf("OPTIONS x SIP/2.0\r\n\r\n"));
    EXPECT_EQ(itemText(AnalysisModel(), sip).value_or("?"), "OPTIONS x SIP/2.0\r\n\r\n");
    AnalysisItem stun;
    stun.kind = ItemKind::Stun;
    stun.stun = std::make_unique<NameValuePair>();
    EXPECT_FALSE(itemText(AnalysisModel(), stun));
    stun.stun->add("MSG_TYPE", "STUN_BIND_REQUEST");
    stun.stun->add("TRANSACTION_ID", "AB");
    EXPECT_EQ(itemText(AnalysisModel(), stun).value_or("?"),
              "MSG_TYPE : STUN_BIND_REQUEST\r\nTRANSACTION_ID : AB\r\n");
}

TEST(SampleSeries, KeepsBoundsAndStopsWhenFull) {
    SampleSeries series("Total");
    EXPECT_EQ(series.minimum, 2147483647);
    EXPECT_EQ(series.maximum, -2147483647 - 1);
    series.append(5);
    series.append(-3);
    EXPECT_EQ(series.minimum, -3);
    EXPECT_EQ(series.maximum, 5);
    for (int i = 0; i < SampleSeries::kCapacity; ++i) series.append(1);
    EXPECT_EQ(series.count, SampleSeries::kCapacity);
    series.append(1000);
    EXPECT_EQ(series.maximum, 5);
}

namespace {

constexpr uint32_t kCallerIp = ipv4(10, 0, 0, 1);
constexpr uint32_t kCalleeIp = ipv4(10, 0, 0, 2);

// A capture with an INVITE announcing 10.0.0.1:4000 for pcma and the given RTP packets to it.
struct MediaCapture {
    TempFile file;
    CaptureBuilder builder;
    MediaCapture() {
        std::string invite =
            sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1", audioSdp("10.0.0.1", 4000, "8"));
        builder.add(udpFrame(kCallerIp, 5060, kCalleeIp, 5060, bytesOf(invite)), 100, 0);
    }
    void rtp(const RtpFields& fields, uint32_t seconds, uint32_t microseconds,
             uint16_t port = 4000) {
        builder.add(udpFrame(kCalleeIp, 6000, kCallerIp, port, rtpPacket(fields)), seconds,
                    microseconds);
    }
    std::unique_ptr<AnalysisModel> analyse() {
        builder.writeTo(file.path());
        AnalysisResult result =
            PacketAnalysisDriver(ParsingOptions{}, nullptr, nullptr).analyse(file.path(), false);
        return std::move(result.model);
    }
};

// The stream of that payload type left after the pass (the SDP registers every preset).
const RtpStream* streamOfType(const AnalysisModel& model, int payloadType = 8) {
    const RtpStreamRegistry* registry = model.streamRegistry();
    for (size_t i = 0; i < registry->streamCount(); ++i) {
        if (registry->stream(i).payloadType == payloadType)
            return &registry->stream(i);
    }
    return nullptr;
}

}  // namespace

TEST(RtpGraphs, BandwidthWindowsAndTransitOfSteadyTraffic) {
    MediaCapture capture;
    // 3.5 s at 50 packets per second, timestamps 160 apart, exactly 20 ms apart.
    for (int i = 0; i < 175; ++i) {
        capture.rtp({8, static_cast<uint16_t>(i), static_cast<uint32_t>(i * 160)}, 101 + i / 50,
                    (i % 50) * 20000);
    }
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    ASSERT_TRUE(model);
    const RtpStream* stream = streamOfType(*model);
    ASSERT_NE(stream, nullptr);
    RtpGraphData graphs;
    ASSERT_TRUE(computeGraphs(model->streamRegistry(), stream, &graphs));
    const SampleSeries& total = *graphs.series[RtpGraphData::Total];
    EXPECT_EQ(total.name, "Total");
    ASSERT_EQ(total.count, 4);
    // Each window opens at a packet and takes everything less than a second later.
    EXPECT_EQ(total.samples[0], 50 * (172 + 42));
    EXPECT_EQ(total.samples[3], 25 * (172 + 42));
    EXPECT_EQ(graphs.series[RtpGraphData::IpHeaders]->samples[1], 50 * 42);
    EXPECT_EQ(graphs.series[RtpGraphData::Payload]->samples[1], 50 * 172);
    const SampleSeries& delta = *graphs.series[RtpGraphData::TransmitDelta];
    const SampleSeries& rolling = *graphs.series[RtpGraphData::RollingAverage];
    EXPECT_EQ(delta.name, "Transmit Delta");
    EXPECT_EQ(rolling.name, "Rolling Average");
    ASSERT_EQ(delta.count, 175);
    EXPECT_EQ(delta.minimum, 0);
    EXPECT_EQ(delta.maximum, 0);
    EXPECT_EQ(rolling.maximum, 0);

    EXPECT_FALSE(computeGraphs(nullptr, stream, &graphs));
    EXPECT_FALSE(computeGraphs(model->streamRegistry(), nullptr, &graphs));
    EXPECT_FALSE(computeGraphs(model->streamRegistry(), stream, nullptr));
}

TEST(RtpGraphs, TransitDeltaFollowsLateArrivals) {
    MediaCapture capture;
    capture.rtp({8, 0, 0}, 101, 0);
    capture.rtp({8, 1, 160}, 101, 30000);  // 10 ms late
    capture.rtp({8, 2, 320}, 101, 40000);  // back on time
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    RtpGraphData graphs;
    ASSERT_TRUE(computeGraphs(model->streamRegistry(), streamOfType(*model), &graphs));
    const SampleSeries& delta = *graphs.series[RtpGraphData::TransmitDelta];
    ASSERT_EQ(delta.count, 3);
    EXPECT_EQ(delta.samples[1], 10000);
    EXPECT_EQ(delta.samples[2], -9999);  // D + 0.5, truncated toward zero
    // J = 10000/16, then J += (20000 - J)/16.
    const SampleSeries& rolling = *graphs.series[RtpGraphData::RollingAverage];
    EXPECT_EQ(rolling.samples[1], 625);
    EXPECT_EQ(rolling.samples[2], 1836);
    // RFC 3550: |D| is 10 ms both times (the transit changes by 10 ms, then back).
    const SampleSeries& jitter = *graphs.series[RtpGraphData::InterarrivalJitter];
    EXPECT_EQ(jitter.name, "RFC 3550 Jitter");
    ASSERT_EQ(jitter.count, 3);
    EXPECT_EQ(jitter.samples[0], 0);
    EXPECT_EQ(jitter.samples[1], 625);
    EXPECT_EQ(jitter.samples[2], 1211);
    EXPECT_EQ(jitter.samples[2],
              std::lround(streamOfType(*model)->sequence->quality.jitterMs * 1000));
}

TEST(RtpGraphs, CapturesInDeepFoldersAreReadAgain) {
    TempFile holder;
    std::string folder = holder.folder() + "/" + std::string(200, 'a');
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    std::string path = folder + "/" + std::string(100, 'b') + ".pcap";
    ASSERT_GT(path.size(), 300u);
    MediaCapture capture;
    capture.rtp({8, 0, 0}, 101, 0);
    capture.rtp({8, 1, 160}, 101, 20000);
    capture.builder.writeTo(path);
    AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(path, false);
    ASSERT_TRUE(result.model);
    EXPECT_EQ(result.model->streamRegistry()->capturePath(), path);
    RtpGraphData graphs;
    EXPECT_TRUE(
        computeGraphs(result.model->streamRegistry(), streamOfType(*result.model), &graphs));
    EXPECT_EQ(graphs.series[RtpGraphData::TransmitDelta]->count, 2);
    std::remove(path.c_str());
    rmdir(folder.c_str());
}

TEST(RtpGraphs, AMissingCaptureGivesNoGraphs) {
    std::unique_ptr<AnalysisModel> model;
    const RtpStream* stream = nullptr;
    {
        MediaCapture capture;
        capture.rtp({8, 0, 0}, 101, 0);
        model = capture.analyse();
        stream = streamOfType(*model);
        ASSERT_NE(stream, nullptr);
    }  // the capture file is gone now
    RtpGraphData graphs;
    EXPECT_FALSE(computeGraphs(model->streamRegistry(), stream, &graphs));
    EXPECT_EQ(stream->packets, 1);
    TempFile out("out.rtp");
    EXPECT_EQ(model->streamRegistry()->extractStream(*stream, out.path(), false, false),
              SaveOutcome::Failed);
}

TEST(RtpExtraction, RecordsWithAndWithoutHeaders) {
    MediaCapture capture;
    capture.rtp({8, 0, 0, 0x1234, 160, 0, -1, 0x11}, 101, 250);
    capture.rtp({8, 1, 160, 0x9999, 160}, 101, 10000);              // another source: not written
    capture.rtp({0, 1, 160, 0x1234, 160}, 101, 15000);              // another type: not written
    capture.rtp({8, 2, 320, 0x1234, 160, 2, 1, 0x22}, 101, 20000);  // 2 CSRCs, 1 extension word
    capture.rtp({8, 3, 480, 0x1234, 0, 3, -1}, 101, 40000);         // fixed header and CSRCs only
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    const RtpStream* stream = streamOfType(*model);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(stream->packets, 3);
    const RtpStreamRegistry& registry = *model->streamRegistry();

    TempFile out("out.rtp");
    ASSERT_EQ(registry.extractStream(*stream, out.path(), true, true), SaveOutcome::Saved);
    Bytes all = out.read();
    ASSERT_EQ(all.size(), (12 + 172) + (12 + 172 + 8 + 8) + (12 + 24));
    EXPECT_EQ(Bytes(all.begin(), all.begin() + 12),
              (Bytes{0, 0, 0, 101, 0, 0, 0, 250, 0, 0, 0, 172}));
    EXPECT_EQ(all[12], 0x80);

    ASSERT_EQ(registry.extractStream(*stream, out.path(), false, false), SaveOutcome::Saved);
    Bytes plain = out.read();
    Bytes expected(160, 0x11);
    expected.insert(expected.end(), 160, 0x22);  // 12 + 8 + 8 header bytes dropped
    EXPECT_EQ(plain, expected);

    ASSERT_EQ(registry.extractStream(*stream, out.path(), true, false), SaveOutcome::Saved);
    Bytes headed = out.read();
    ASSERT_EQ(headed.size(), (12 + 160) + (12 + 160) + 12);
    EXPECT_EQ(headed[10] * 256 + headed[11], 160);
    EXPECT_EQ(headed.back(), 0);  // the last record carries no data

    EXPECT_EQ(registry.extractStream(*stream, out.folder() + "/no/such/dir/x.rtp", false, false),
              SaveOutcome::Failed);
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(registry.extractStream(*stream, "/dev/full", true, true), SaveOutcome::Failed);
    }
}

// A captured datagram may hold more than 16 bits can count (a capture of coalesced
// datagrams says UDP length 0 and holds them whole): its record still says its whole
// length, and the records after it stay in step.
TEST(RtpExtraction, ARecordOfMoreThan65535BytesKeepsTheFileInStep) {
    MediaCapture capture;
    capture.rtp({8, 0, 0, 0x1234, 160, 0, -1, 0x11}, 101, 0);
    Bytes big = udpFrame(kCalleeIp, 6000, kCallerIp, 4000,
                         rtpPacket({8, 1, 160, 0x1234, 69988, 0, -1, 0x22}));
    big[14 + 20 + 4] = 0;  // the UDP length says nothing
    big[14 + 20 + 5] = 0;
    capture.builder.add(big, 101, 20000);
    capture.rtp({8, 2, 320, 0x1234, 160, 0, -1, 0x33}, 101, 40000);
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    const RtpStream* stream = streamOfType(*model);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(stream->packets, 3);
    TempFile out("out.rtp");
    ASSERT_EQ(model->streamRegistry()->extractStream(*stream, out.path(), true, false),
              SaveOutcome::Saved);
    const Bytes file = out.read();
    std::vector<uint32_t> lengths;
    std::vector<uint8_t> firstBytes;
    for (size_t at = 0; at + 12 <= file.size();) {
        const uint32_t length = (uint32_t{file[at + 8]} << 24) | (uint32_t{file[at + 9]} << 16) |
                                (uint32_t{file[at + 10]} << 8) | file[at + 11];
        lengths.push_back(length);
        firstBytes.push_back(length > 0 && at + 12 < file.size() ? file[at + 12] : 0);
        at += 12 + length;
    }
    EXPECT_EQ(lengths, (std::vector<uint32_t>{160, 69988, 160}));
    EXPECT_EQ(firstBytes, (std::vector<uint8_t>{0x11, 0x22, 0x33}));
    EXPECT_EQ(file.size(), 3 * 12 + 160 + 69988 + 160u);
    EXPECT_EQ(file[8], 0);  // the first 2 bytes of a short record's length stay zero
}

TEST(RtpExtraction, EthernetPaddingIsNotWrittenAsPayload) {
    MediaCapture capture;
    // A 13-byte RTP packet in a 60-byte frame: five bytes of padding follow the datagram.
    capture.builder.add(padded(udpFrame(kCalleeIp, 6000, kCallerIp, 4000,
                                        rtpPacket({8, 0, 0, 0x1234, 1, 0, -1, 0x7e})),
                               0xee),
                        101, 0);
    capture.rtp({8, 1, 160, 0x1234, 2, 0, -1, 0x7f}, 101, 20000);
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    const RtpStream* stream = streamOfType(*model);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->payloadBytes, 18 + 14);  // the figures count what was captured
    TempFile out("out.rtp");
    ASSERT_EQ(model->streamRegistry()->extractStream(*stream, out.path(), false, false),
              SaveOutcome::Saved);
    EXPECT_EQ(out.read(), (Bytes{0x7e, 0x7f, 0x7f}));
    ASSERT_EQ(model->streamRegistry()->extractStream(*stream, out.path(), true, true),
              SaveOutcome::Saved);
    Bytes headed = out.read();
    ASSERT_EQ(headed.size(), (12 + 13) + (12 + 14));
    EXPECT_EQ(headed[11], 13);
}

TEST(RtpExtraction, ADeactivatedStreamIsStillWrittenToTheEndOfTheFile) {
    MediaCapture capture;
    // The 486 clears the first stream of the transaction: pcmu, the first slot.
    capture.rtp({0, 0, 0, 0x1234, 4}, 101, 0);
    std::string busy = sipWithSdp("SIP/2.0 486 Busy Here", "1 INVITE", "z1", "", "b");
    capture.builder.add(udpFrame(kCalleeIp, 5060, kCallerIp, 5060, bytesOf(busy)), 101, 5);
    capture.rtp({0, 1, 160, 0x1234, 4}, 101, 20000);
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    const RtpStream* stream = streamOfType(*model, 0);
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(stream->active);
    EXPECT_EQ(stream->packets, 2);
    TempFile out("out.rtp");
    ASSERT_EQ(model->streamRegistry()->extractStream(*stream, out.path(), false, false),
              SaveOutcome::Saved);
    EXPECT_EQ(out.read().size(), 8u);
}

TEST(RtpExtraction, FragmentedPacketsAreReadAgainWhole) {
    MediaCapture capture;
    // Three 1412-byte RTP packets, each in two IPv4 fragments; an unrelated datagram lies
    // between the fragments of the first, so the stream's first packet completes one record
    // after its first fragment.
    for (uint16_t i = 0; i < 3; ++i) {
        Bytes rtp = rtpPacket({8, i, i * 160u, 0x1234, 1400, 0, -1, static_cast<uint8_t>(i)});
        auto pieces = fragmentedUdpFrames(kCalleeIp, 6000, kCallerIp, 4000, rtp,
                                          static_cast<uint16_t>(70 + i), 1000);
        ASSERT_EQ(pieces.size(), 2u);
        capture.builder.add(pieces[0], 101, i * 20000);
        if (i == 0) {
            capture.builder.add(udpFrame(kCalleeIp, 9, kCallerIp, 9, bytesOf("other")), 101, 1);
        }
        capture.builder.add(pieces[1], 101, i * 20000 + 1);
    }
    std::unique_ptr<AnalysisModel> model = capture.analyse();
    const RtpStream* stream = streamOfType(*model);
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(stream->packets, 3);
    EXPECT_EQ(stream->firstPacket().number, 4u);  // the completing fragment's number

    TempFile out("out.rtp");
    ASSERT_EQ(model->streamRegistry()->extractStream(*stream, out.path(), false, true),
              SaveOutcome::Saved);
    EXPECT_EQ(out.read().size(), 3u * 1412u);
    RtpGraphData graphs;
    ASSERT_TRUE(computeGraphs(model->streamRegistry(), stream, &graphs));
    EXPECT_EQ(graphs.series[RtpGraphData::TransmitDelta]->count, 3);
}
