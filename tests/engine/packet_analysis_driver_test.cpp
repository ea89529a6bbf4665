#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/diagnostics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/background_analysis.h"
#include "engine/sip/packet_analysis_driver.h"
#include "support/media_test_util.h"
#include "support/position_lists.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

constexpr uint32_t kCaller = ipv4(10, 0, 0, 1);
constexpr uint32_t kCallee = ipv4(10, 0, 0, 2);

struct RecordingProgress : IAnalysisProgress {
    std::string title, firstMessage;
    std::vector<std::pair<int, std::string>> updates;
    int cancelAt = 1000;
    int ends = 0;
    void begin(const std::string& t, const std::string& m, int range) override {
        title = t;
        firstMessage = m;
        EXPECT_EQ(range, 100);
    }
    bool update(int value, const std::string& message) override {
        updates.emplace_back(value, message);
        return value < cancelAt;
    }
    void end() override { ++ends; }
};

struct RecordingDialogs : IAnalysisDialogs {
    std::vector<std::string> errors, questions;
    bool answer = false;
    void showError(const std::string& title, const std::string& message) override {
        errors.push_back(title + "|" + message);
    }
    bool askYesNo(const std::string& title, const std::string& message) override {
        questions.push_back(title + "|" + message);
        return answer;
    }
};

// A call: INVITE with SDP for 10.0.0.1:4000, 200 OK, then `packets` pcma packets to the caller.
CaptureBuilder callCapture(int packets) {
    CaptureBuilder builder;
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060,
                         bytesOf(sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1",
                                            audioSdp("10.0.0.1", 4000, "8")))),
                10, 0);
    builder.add(udpFrame(kCallee, 5060, kCaller, 5060,
                         bytesOf(sipWithSdp("SIP/2.0 200 OK", "1 INVITE", "z1", "", "b"))),
                10, 1);
    for (int i = 0; i < packets; ++i) {
        builder.add(
            udpFrame(kCallee, 6000, kCaller, 4000,
                     rtpPacket({8, static_cast<uint16_t>(i), static_cast<uint32_t>(i * 160)})),
            11 + i / 50, (i % 50) * 20000);
    }
    return builder;
}

AnalysisResult analyse(const CaptureBuilder& builder, const TempFile& file,
                       ParsingOptions options = {}, IAnalysisProgress* progress = nullptr,
                       IAnalysisDialogs* dialogs = nullptr, bool live = false) {
    builder.writeTo(file.path());
    return PacketAnalysisDriver(options, progress, dialogs).analyse(file.path(), live);
}

}  // namespace

TEST(PacketAnalysisDriver, BuildsTheModelWithOneItemPerStreamAndReportsProgress) {
    TempFile file;
    RecordingProgress progress;
    AnalysisResult result = analyse(callCapture(500), file, {}, &progress);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    const AnalysisModel& model = *result.model;
    ASSERT_EQ(model.itemCount(), 3u);
    const AnalysisItem& media = model.item(ItemIndex(2));
    EXPECT_EQ(media.kind, ItemKind::Media);
    EXPECT_EQ(media.packet.number, 3u);  // the stream's first packet
    EXPECT_EQ(media.stream->packets, 500);
    EXPECT_EQ(media.stream->lastPacket().number, 502u);
    EXPECT_EQ(model.itemsWithCallId("call-1"), testsupport::items({0, 1, 2}));
    // Streams that never received a packet are gone after the pass.
    EXPECT_EQ(model.streamRegistry()->streamCount(), 1u);
    EXPECT_EQ(model.streamRegistry()->capturePath(), file.path());

    EXPECT_EQ(progress.title, "Progress");
    EXPECT_EQ(progress.firstMessage, "Varlowe is parsing your file.             ");
    ASSERT_FALSE(progress.updates.empty());
    EXPECT_LE(progress.updates.size(), 101u);
    EXPECT_EQ(progress.updates.front(),
              (std::pair<int, std::string>{0, "Varlowe is parsing packet number 1."}));
    for (size_t i = 1; i < progress.updates.size(); ++i) {
        EXPECT_GT(progress.updates[i].first, progress.updates[i - 1].first);
    }
    EXPECT_GE(progress.updates.back().first, 95);
    EXPECT_EQ(progress.ends, 1);
}

TEST(PacketAnalysisDriver, CancelKeepsWhatWasRead) {
    TempFile file;
    RecordingProgress progress;
    progress.cancelAt = 40;
    AnalysisResult result = analyse(callCapture(500), file, {}, &progress);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(progress.updates.back().first, 40);
    const RtpStream& stream = *result.model->item(ItemIndex(2)).stream;
    EXPECT_GT(stream.packets, 150);
    EXPECT_LT(stream.packets, 250);
}

TEST(PacketAnalysisDriver, OpenFailuresAndEmptyLiveCaptures) {
    RecordingDialogs dialogs;
    RecordingProgress progress;
    AnalysisResult failed =
        PacketAnalysisDriver({}, &progress, &dialogs).analyse("/nonexistent/capture.pcap", false);
    EXPECT_EQ(failed.outcome, AnalysisOutcome::OpenFailed);
    EXPECT_FALSE(failed.model);
    EXPECT_EQ(progress.ends, 1);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0],
              "Error|Unable to open or parse the specified file.  Please verify the file exists "
              "and that it is a libpcap/Ethereal file.\n\n/nonexistent/capture.pcap: No such "
              "file or directory");
    EXPECT_EQ(failed.failureReason, "No such file or directory");

    CaptureBuilder empty;
    empty.add(udpFrame(kCaller, 1, kCallee, 2, bytesOf("nothing to see")));
    {
        TempFile file;
        AnalysisResult ordinary = analyse(empty, file, {}, nullptr, &dialogs, false);
        EXPECT_EQ(ordinary.outcome, AnalysisOutcome::Analysed);
        EXPECT_EQ(ordinary.model->itemCount(), 0u);
        EXPECT_TRUE(dialogs.questions.empty());
    }
    {
        TempFile file;
        dialogs.answer = false;
        AnalysisResult kept = analyse(empty, file, {}, nullptr, &dialogs, true);
        EXPECT_EQ(kept.outcome, AnalysisOutcome::Analysed);
        ASSERT_EQ(dialogs.questions.size(), 1u);
        EXPECT_EQ(dialogs.questions[0],
                  "Network Capture|There are no packets that can be "
                  "displayed.\n\n" +
                      file.path() + "\n\nDelete capture?");
        struct stat info;
        EXPECT_EQ(stat(file.path().c_str(), &info), 0);
    }
    {
        TempFile file;
        dialogs.answer = true;
        AnalysisResult deleted = analyse(empty, file, {}, nullptr, &dialogs, true);
        EXPECT_EQ(deleted.outcome, AnalysisOutcome::EmptyCaptureDeleted);
        EXPECT_FALSE(deleted.model);
        struct stat info;
        EXPECT_NE(stat(file.path().c_str(), &info), 0);
    }
}

TEST(PacketAnalysisDriver, ParsingSwitchesDecideWhatIsExamined) {
    CaptureBuilder builder = callCapture(3);
    builder.add(udpFrame(kCallee, 6001, kCaller, 4001, rtcpSenderReport(0x11223344, "c@x")), 12, 0);
    {
        TempFile file;
        ParsingOptions noSip;
        noSip.includeSip = false;
        EXPECT_EQ(analyse(builder, file, noSip).model->itemCount(), 0u);
    }
    {
        TempFile file;
        ParsingOptions noRtp;
        noRtp.includeRtp = false;
        AnalysisResult result = analyse(builder, file, noRtp);
        EXPECT_EQ(result.model->itemCount(), 2u);
        EXPECT_EQ(result.model->streamRegistry()->streamCount(), 0u);
    }
    {
        TempFile file;
        ParsingOptions noRtcp;
        noRtcp.includeRtcp = false;
        AnalysisResult result = analyse(builder, file, noRtcp);
        ASSERT_EQ(result.model->itemCount(), 3u);
        EXPECT_TRUE(result.model->item(ItemIndex(2)).stream->reports.empty());
    }
    {
        TempFile file;
        AnalysisResult result = analyse(builder, file);
        ASSERT_EQ(result.model->itemCount(), 3u);
        EXPECT_EQ(result.model->item(ItemIndex(2)).stream->reports.size(), 2u);
        EXPECT_EQ(result.model->streamRegistry()->canonicalName(0x11223344).value_or("?"), "c@x");
    }
}

TEST(PacketAnalysisDriver, SipInsideBinaryBytesIsFoundWhateverTheEncapsulationSwitch) {
    std::string invite = sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1", "");
    Bytes withZero = {0x01, 0x00, 0x7f, 0x33};
    Bytes zeroPrefixed = withZero;
    for (char c : invite) zeroPrefixed.push_back(static_cast<uint8_t>(c));
    Bytes textPrefixed = bytesOf("xy" + invite);
    CaptureBuilder builder;
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060, zeroPrefixed));
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060, textPrefixed));
    TempFile file;
    ParsingOptions options;
    options.includeEncapsulated = false;
    AnalysisResult result = analyse(builder, file, options);
    ASSERT_EQ(result.model->itemCount(), 2u);
    EXPECT_EQ(result.model->item(ItemIndex(0)).sip->startLine(), "INVITE sip:b@h SIP/2.0");
    EXPECT_EQ(result.model->item(ItemIndex(1)).sip->startLine(), "xyINVITE sip:b@h SIP/2.0");
}

namespace {

// A call whose caller receives PCMA and RFC 4733 telephone events in one RTP session: one
// SSRC, one sequence space, the payload type switching during the events. `lost` sequence
// numbers never arrive.
CaptureBuilder dtmfCapture(const std::vector<uint16_t>& lost) {
    CaptureBuilder builder;
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060,
                         bytesOf(sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1",
                                            audioSdp("10.0.0.1", 4000, "8 101",
                                                     "a=rtpmap:101 telephone-event/8000\r\n")))),
                10, 0);
    for (uint16_t sequence = 100; sequence < 160; ++sequence) {
        if (std::find(lost.begin(), lost.end(), sequence) != lost.end()) {
            continue;
        }
        // Audio, then an event of ten packets, audio, alternating packets, audio.
        const bool event = (sequence >= 110 && sequence < 120) ||
                           (sequence >= 130 && sequence < 140 && sequence % 2 == 0);
        builder.add(udpFrame(kCallee, 6000, kCaller, 4000,
                             rtpPacket({static_cast<uint8_t>(event ? 101 : 8), sequence,
                                        sequence * 160u, 0x5eed, event ? 4u : 160u})),
                    11, sequence * 20);
    }
    return builder;
}

const RtpStream* streamOfType(const AnalysisModel& model, int payloadType) {
    const RtpStreamRegistry& registry = *model.streamRegistry();
    for (size_t i = 0; i < registry.streamCount(); ++i) {
        if (registry.stream(i).payloadType == payloadType)
            return &registry.stream(i);
    }
    return nullptr;
}

}  // namespace

TEST(PacketAnalysisDriver, TelephoneEventsInTheAudioSessionAreNotLosses) {
    TempFile file;
    AnalysisResult whole = analyse(dtmfCapture({}), file);
    ASSERT_EQ(whole.outcome, AnalysisOutcome::Analysed);
    const RtpStream* audio = streamOfType(*whole.model, 8);
    const RtpStream* events = streamOfType(*whole.model, 101);
    ASSERT_NE(audio, nullptr);
    ASSERT_NE(events, nullptr);
    // Per payload type as before: 45 audio and 15 event packets with their own spacing.
    EXPECT_EQ(audio->packets, 45);
    EXPECT_EQ(events->packets, 15);
    EXPECT_EQ(audio->dropped, 0);
    EXPECT_EQ(events->dropped, 0);
    EXPECT_EQ(audio->outOfOrder, 0);
    EXPECT_EQ(events->outOfOrder, 0);

    // A real loss counts once, against the stream whose packet came after the gap: 105 in
    // audio (106 is audio), 115 inside the event (116 is an event), 120 after the event (121
    // is audio), 133 among the alternating packets (134 is an event).
    AnalysisResult lossy = analyse(dtmfCapture({105, 115, 120, 133}), file);
    ASSERT_EQ(lossy.outcome, AnalysisOutcome::Analysed);
    audio = streamOfType(*lossy.model, 8);
    events = streamOfType(*lossy.model, 101);
    EXPECT_EQ(audio->dropped, 2);
    EXPECT_EQ(events->dropped, 2);
    EXPECT_EQ(audio->packets + events->packets, 56);
}

TEST(PacketAnalysisDriver, SessionsOfOtherSourcesOrDestinationsKeepTheirOwnSequences) {
    // The same numbers from another SSRC towards the same port are another RTP session: its
    // numbers fill no gap of the first.
    CaptureBuilder builder;
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060,
                         bytesOf(sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1",
                                            audioSdp("10.0.0.1", 4000, "8 101",
                                                     "a=rtpmap:101 telephone-event/8000\r\n")))),
                10, 0);
    builder.add(udpFrame(kCallee, 6000, kCaller, 4000, rtpPacket({8, 1, 0, 0xaaaa})), 11, 0);
    builder.add(udpFrame(kCallee, 6000, kCaller, 4000, rtpPacket({101, 2, 0, 0xbbbb, 4})), 11, 1);
    builder.add(udpFrame(kCallee, 6000, kCaller, 4000, rtpPacket({8, 3, 0, 0xaaaa})), 11, 2);
    TempFile file;
    AnalysisResult result = analyse(builder, file);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    EXPECT_EQ(streamOfType(*result.model, 8)->dropped, 1);
    EXPECT_EQ(streamOfType(*result.model, 101)->dropped, 0);
}

TEST(PacketAnalysisDriver, RecordedCallWithDtmfDropsNothing) {
    // sipp playing audio with two digits as telephone events in one RTP session, echoed back.
    const std::string path = std::string(VARLOWE_SOURCE_DIR) + "/tests/fixtures/sip-call-dtmf.pcap";
    AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(path, false);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    const RtpStreamRegistry& registry = *result.model->streamRegistry();
    ASSERT_EQ(registry.streamCount(), 4u);
    for (size_t i = 0; i < registry.streamCount(); ++i) {
        const RtpStream& stream = registry.stream(i);
        EXPECT_EQ(stream.packets, stream.payloadType == 8 ? 130 : 20) << i;
        EXPECT_EQ(stream.dropped, 0) << i;
        EXPECT_EQ(stream.outOfOrder, 0) << i;
    }
}

namespace {
// Progress and dialogs that note the thread they are called on.
struct ThreadCheckingProgress : RecordingProgress {
    std::thread::id owner = std::this_thread::get_id();
    bool elsewhere = false;
    bool update(int value, const std::string& message) override {
        elsewhere = elsewhere || std::this_thread::get_id() != owner;
        return RecordingProgress::update(value, message);
    }
};
struct ThreadCheckingDialogs : RecordingDialogs {
    std::thread::id owner = std::this_thread::get_id();
    bool elsewhere = false;
    void showError(const std::string& title, const std::string& message) override {
        elsewhere = elsewhere || std::this_thread::get_id() != owner;
        RecordingDialogs::showError(title, message);
    }
    bool askYesNo(const std::string& title, const std::string& message) override {
        elsewhere = elsewhere || std::this_thread::get_id() != owner;
        return RecordingDialogs::askYesNo(title, message);
    }
};
}  // namespace

TEST(BackgroundAnalysis, ThePassRunsElsewhereAndTheWindowSideStaysHere) {
    TempFile file;
    callCapture(2000).writeTo(file.path());
    ThreadCheckingProgress progress;
    int pumps = 0;
    std::thread::id passThread;
    AnalysisResult result = BackgroundAnalysis::run(
        [&](IAnalysisProgress* p, IAnalysisDialogs* d) {
            passThread = std::this_thread::get_id();
            return PacketAnalysisDriver({}, p, d).analyse(file.path(), false);
        },
        &progress, nullptr, [&pumps] { ++pumps; });
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    EXPECT_NE(passThread, std::this_thread::get_id());
    EXPECT_EQ(result.model->item(ItemIndex(2)).stream->packets, 2000);
    EXPECT_EQ(progress.title, "Progress");
    EXPECT_FALSE(progress.updates.empty());
    EXPECT_FALSE(progress.elsewhere);
    EXPECT_EQ(progress.ends, 1);

    // Cancel on this thread reaches a pass that is still running.
    ThreadCheckingProgress cancelling;
    cancelling.cancelAt = 3;
    int reports = 0;
    AnalysisResult cancelled = BackgroundAnalysis::run(
        [&reports](IAnalysisProgress* p, IAnalysisDialogs*) {
            AnalysisResult partial;
            p->begin("Progress", "long", 100);
            for (int percent = 0; percent < 100; ++percent, ++reports) {
                if (!p->update(percent, "")) {
                    partial.cancelled = true;
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            p->end();
            return partial;
        },
        &cancelling, nullptr, nullptr);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_LT(reports, 100);
    EXPECT_FALSE(cancelling.elsewhere);

    // The error box and the question come to this thread, and the answer goes back.
    ThreadCheckingDialogs dialogs;
    ScopedDiagnosticsCapture quiet;
    AnalysisResult failed = BackgroundAnalysis::analyse(file.folder() + "/none.pcap", false, {},
                                                        nullptr, &dialogs, nullptr);
    EXPECT_EQ(failed.outcome, AnalysisOutcome::OpenFailed);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(dialogs.errors[0].rfind("Error|Unable to open", 0), 0u);
    TempFile empty;
    CaptureBuilder nothing;
    nothing.add(udpFrame(kCaller, 1, kCallee, 2, bytesOf("nothing to see")));
    nothing.writeTo(empty.path());
    dialogs.answer = true;
    AnalysisResult deleted =
        BackgroundAnalysis::analyse(empty.path(), true, {}, nullptr, &dialogs, nullptr);
    EXPECT_EQ(deleted.outcome, AnalysisOutcome::EmptyCaptureDeleted);
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_FALSE(dialogs.elsewhere);
    EXPECT_NE(access(empty.path().c_str(), F_OK), 0);
}

// A device that drops the port from the To URI of its answers keeps its transactions.
TEST(PacketAnalysisDriver, TheRealAvayaCallsInviteIsAnsweredInItsTransaction) {
    const std::string path =
        std::string(VARLOWE_SHARED_CAPTURES) + "/heplify_sip_ipv4_tcp_fragmented.pcap";
    if (access(path.c_str(), R_OK) != 0) {
        GTEST_SKIP() << "no " << path;
    }
    PacketAnalysisDriver driver(ParsingOptions{}, nullptr, nullptr);
    AnalysisResult result = driver.analyse(path, false);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    const AnalysisModel& model = *result.model;
    const std::vector<ItemIndex> call =
        model.itemsWithCallId("17c0b3b3-dfd2-42ac-9018-6156179021c0");
    ASSERT_FALSE(call.empty());
    const ItemIndex invite = call.front();
    ASSERT_EQ(model.item(invite).sip->method().value_or(""), "INVITE");
    EXPECT_TRUE(model.isAnswered(invite));
    std::vector<std::string> transaction;
    for (RowIndex row : model.relatedRows(invite, AnalysisModel::RelationMode::Transaction)) {
        transaction.push_back(std::string(model.itemAtRow(row)->sip->startLine()).substr(0, 18));
    }
    EXPECT_EQ(transaction, (std::vector<std::string>{"INVITE sip:699818@", "SIP/2.0 100 Trying",
                                                     "SIP/2.0 180 Ringin", "SIP/2.0 200 OK"}));
}

// Two calls in turn send to one address and port; the first offers PCMU only, the second
// PCMA. Each call's media is filed with the call whose SDP named its payload type.
TEST(PacketAnalysisDriver, MediaIsFiledWithTheCallThatNamedItsPayloadType) {
    auto invite = [](const std::string& callId, const std::string& sdp) {
        std::string text =
            sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z9hG4bK" + callId, sdp);
        text.replace(text.find("call-1"), 6, callId);
        return bytesOf(text);
    };
    CaptureBuilder builder;
    builder.add(
        udpFrame(kCaller, 5060, kCallee, 5060, invite("call-1", audioSdp("10.0.0.1", 6000, "0"))),
        10, 0);
    for (int i = 0; i < 20; ++i) {
        builder.add(udpFrame(kCallee, 7000, kCaller, 6000,
                             rtpPacket({0, static_cast<uint16_t>(i), 0, 0x1111})),
                    11, i * 20000);
    }
    builder.add(
        udpFrame(kCaller, 5060, kCallee, 5060,
                 invite("call-2", audioSdp("10.0.0.1", 6000, "8", "a=rtpmap:8 PCMA/8000\r\n"))),
        20, 0);
    for (int i = 0; i < 30; ++i) {
        builder.add(udpFrame(kCallee, 7002, kCaller, 6000,
                             rtpPacket({8, static_cast<uint16_t>(i), 0, 0x2222})),
                    21, i * 20000);
    }
    TempFile file;
    AnalysisResult result = analyse(builder, file);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    const AnalysisModel& model = *result.model;
    auto mediaOf = [&model](const std::string& callId) {
        std::vector<const RtpStream*> streams;
        for (ItemIndex index : model.itemsWithCallId(callId)) {
            if (model.item(index).stream != nullptr) {
                streams.push_back(model.item(index).stream);
            }
        }
        return streams;
    };
    const std::vector<const RtpStream*> first = mediaOf("call-1");
    const std::vector<const RtpStream*> second = mediaOf("call-2");
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0]->payloadType, 0);
    EXPECT_EQ(first[0]->packets, 20);
    EXPECT_EQ(second[0]->payloadType, 8);
    EXPECT_EQ(second[0]->packets, 30);
    EXPECT_EQ(second[0]->encodingName, "PCMA");  // the second SDP's name, not the preset's
}

// The same case recorded with sipp: each call's streams are filed with it.
TEST(PacketAnalysisDriver, TwoRecordedCallsOnOneMediaPortKeepTheirOwnStreams) {
    PacketAnalysisDriver driver(ParsingOptions{}, nullptr, nullptr);
    AnalysisResult result =
        driver.analyse(VARLOWE_SOURCE_DIR "/tests/fixtures/sip-two-calls-one-port.pcap", false);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    const AnalysisModel& model = *result.model;
    std::vector<std::string> calls;
    for (size_t i = 0; i < model.itemCount(); ++i) {
        const AnalysisItem& item = model.item(ItemIndex(i));
        if (item.sip && item.sip->method().value_or("") == "INVITE") {
            calls.emplace_back(item.sip->callId().value_or(""));
        }
    }
    ASSERT_EQ(calls.size(), 2u);
    for (size_t call = 0; call < 2; ++call) {
        SCOPED_TRACE(calls[call]);
        std::vector<std::string> encodings;
        for (ItemIndex index : model.itemsWithCallId(calls[call])) {
            if (const RtpStream* stream = model.item(index).stream) {
                encodings.push_back(stream->encodingName);
                EXPECT_GT(stream->packets, 50);
            }
        }
        EXPECT_EQ(encodings, std::vector<std::string>(2, call == 0 ? "PCMU" : "PCMA"));
    }
}

// A SIP item keeps its headline only, when its message lay in one frame: the whole message is
// read again from the capture, as the pass read it, including one after binary bytes and a
// datagram in fragments; one assembled from TCP segments is kept whole.
TEST(PacketAnalysisDriver, MessagesAreReadAgainFromTheCaptureAsTheyWere) {
    const std::string invite =
        sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1", audioSdp("10.0.0.1", 4000, "8"));
    const std::string options = sipWithSdp("OPTIONS sip:b@h SIP/2.0", "2 OPTIONS", "z2", "");
    Bytes prefixed = {0x01, 0x00, 0x7f, 0x33};
    prefixed.insert(prefixed.end(), options.begin(), options.end());
    const std::string large = sipWithSdp("MESSAGE sip:b@h SIP/2.0", "3 MESSAGE", "z3",
                                         "v=0\r\n" + std::string(3000, 'x') + "\r\n");
    const std::string overTcp = sipWithSdp("BYE sip:b@h SIP/2.0", "4 BYE", "z4", "");
    CaptureBuilder builder;
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060, bytesOf(invite)), 10, 0);
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060, prefixed), 10, 1);
    for (const Bytes& fragment :
         fragmentedUdpFrames(kCaller, 5060, kCallee, 5060, bytesOf(large), 77, 1200)) {
        builder.add(fragment, 10, 2);
    }
    const size_t half = overTcp.size() / 2;
    builder.add(tcpFrame(kCaller, 5062, kCallee, 5060, bytesOf(overTcp.substr(0, half))), 10, 3);
    builder.add(tcpFrame(kCaller, 5062, kCallee, 5060, bytesOf(overTcp.substr(half))), 10, 4);
    // A segment that is one whole message is read again like a datagram; the next one repeats
    // that message's last bytes before its own, so the message is not the frame's payload.
    const std::string wholeSegment = sipWithSdp("INFO sip:b@h SIP/2.0", "5 INFO", "z5", "");
    const std::string afterOverlap = sipWithSdp("INFO sip:b@h SIP/2.0", "6 INFO", "z6", "");
    const uint32_t sequence = 1000;
    builder.add(tcpFrame(kCaller, 5064, kCallee, 5060, bytesOf(wholeSegment), {}, sequence), 10, 5);
    builder.add(tcpFrame(kCaller, 5064, kCallee, 5060,
                         bytesOf(wholeSegment.substr(wholeSegment.size() - 6) + afterOverlap), {},
                         sequence + static_cast<uint32_t>(wholeSegment.size()) - 6),
                10, 6);
    TempFile file;
    AnalysisResult result = analyse(builder, file);
    ASSERT_TRUE(result.model);
    const AnalysisModel& model = *result.model;
    std::vector<const AnalysisItem*> sip;
    for (size_t i = 0; i < model.itemCount(); ++i) {
        if (model.item(ItemIndex(i)).sip) {
            sip.push_back(&model.item(ItemIndex(i)));
        }
    }
    ASSERT_EQ(sip.size(), 6u);
    // The payload as text ends at its first zero byte; the message after it is found again.
    const std::vector<std::string> payloads = {invite,  "\x01",       large,
                                               overTcp, wholeSegment, afterOverlap};
    auto checkAll = [&](const char* when) {
        for (size_t k = 0; k < sip.size(); ++k) {
            SCOPED_TRACE(std::string(when) + ", message " + std::to_string(k));
            const SipMessage whole = model.sipMessage(*sip[k]);
            EXPECT_EQ(whole.payloadText(), payloads[k]);
            EXPECT_EQ(whole.startLine(), sip[k]->sip->startLine());
            EXPECT_EQ(model.payloadText(*sip[k]), payloads[k]);
        }
    };
    checkAll("as analysed");
    EXPECT_EQ(sip[0]->heldSip, nullptr);
    EXPECT_EQ(sip[2]->heldSip, nullptr);
    EXPECT_NE(sip[3]->heldSip, nullptr);
    EXPECT_EQ(sip[4]->heldSip, nullptr);
    EXPECT_NE(sip[5]->heldSip, nullptr);
    EXPECT_EQ(model.sipMessage(*sip[1]).rawText(), options);
    ASSERT_NE(model.sdpOf(*sip[0]), nullptr);
    EXPECT_EQ(model.sdpOf(*sip[0])->audioAddress().value_or(""), "10.0.0.1");

    // Readers of their own give the same, and the file held open outlives its name.
    std::unique_ptr<FrameRereader> own = model.captureReader();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(model.sipMessage(*sip[2], own.get()).payloadText(), large);
    ASSERT_EQ(std::remove(file.path().c_str()), 0);
    checkAll("after the file was deleted");
    EXPECT_EQ(model.captureReader(), nullptr);
}

// A capture changed under an open window: what no longer matches gives the start line, and
// nothing else is read in its place.
TEST(PacketAnalysisDriver, AMessageTheCaptureNoLongerHoldsGivesItsStartLine) {
    const std::string first = sipWithSdp("INVITE sip:b@h SIP/2.0", "1 INVITE", "z1", "");
    const std::string second = sipWithSdp("SIP/2.0 200 OK", "1 INVITE", "z1", "", "b");
    // The messages lie past the first megabyte, beyond what the reader held at opening.
    CaptureBuilder builder;
    for (int i = 0; i < 1000; ++i) {
        builder.add(udpFrame(kCaller, 7000, kCallee, 7000, Bytes(1200, 0x55)), 9, i);
    }
    const size_t messagesAt = builder.bytes().size();
    builder.add(udpFrame(kCaller, 5060, kCallee, 5060, bytesOf(first)), 10, 0);
    builder.add(udpFrame(kCallee, 5060, kCaller, 5060, bytesOf(second)), 10, 1);
    TempFile file;
    AnalysisResult result = analyse(builder, file);
    ASSERT_TRUE(result.model);
    ASSERT_EQ(result.model->itemCount(), 2u);
    ASSERT_GT(messagesAt, size_t{1} << 20);
    // The same records with other times, written over the file in place.
    CaptureBuilder other;
    other.add(udpFrame(kCaller, 5060, kCallee, 5060, bytesOf(first)), 20, 0);
    other.add(udpFrame(kCallee, 5060, kCaller, 5060, bytesOf(second)), 20, 1);
    {
        std::FILE* out = std::fopen(file.path().c_str(), "r+b");
        ASSERT_NE(out, nullptr);
        const Bytes& bytes = other.bytes();
        const size_t header = 24;  // the file header, kept
        ASSERT_EQ(std::fseek(out, static_cast<long>(messagesAt), SEEK_SET), 0);
        std::fwrite(bytes.data() + header, 1, bytes.size() - header, out);
        std::fclose(out);
    }
    const AnalysisModel& model = *result.model;
    EXPECT_EQ(model.payloadText(model.item(ItemIndex(0))), "INVITE sip:b@h SIP/2.0\r\n");
    EXPECT_EQ(model.sipMessage(model.item(ItemIndex(1))).statusCode(), 200);
    EXPECT_FALSE(model.sipMessage(model.item(ItemIndex(1))).callId());
    // Cut short: nothing at the offset at all.
    ASSERT_EQ(truncate(file.path().c_str(), static_cast<off_t>(messagesAt + 30)), 0);
    EXPECT_EQ(model.payloadText(model.item(ItemIndex(1))), "SIP/2.0 200 OK\r\n");
}
