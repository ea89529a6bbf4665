#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/capture/capture_file_reader.h"
#include "engine/diagnostics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/packet_analysis_driver.h"
#include "live/traffic_capture.h"
#include "support/capture_builder.h"
#include "support/loopback_call.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

struct Listener : TrafficCaptureListener {
    std::mutex mutex;
    int starts = 0;
    void captureStarted() override {
        std::lock_guard<std::mutex> guard(mutex);
        ++starts;
    }
    uint32_t last = 0;
    int reports = 0;
    std::string failure;
    void packetsCaptured(uint32_t count) override {
        std::lock_guard<std::mutex> guard(mutex);
        last = count;
        ++reports;
    }
    void captureFailed(const std::string& reason) override {
        std::lock_guard<std::mutex> guard(mutex);
        failure = reason;
    }
    std::string failureText() {
        std::lock_guard<std::mutex> guard(mutex);
        return failure;
    }
};

bool waitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Packets sent before libpcap has opened the device are not recorded.
void waitUntilRecording(const TrafficCapture& capture) {
    ASSERT_TRUE(waitFor([&] { return capture.recording(); }));
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

const RtpStream* streamTo(const RtpStreamRegistry& registry, uint16_t port) {
    for (size_t i = 0; i < registry.streamCount(); ++i) {
        const RtpStream& stream = registry.stream(i);
        if (stream.targetPort == port && stream.packets > 0) {
            return &registry.stream(i);
        }
    }
    return nullptr;
}

}  // namespace

TEST(TrafficCapture, DeviceTextsAreNameAndDescriptionInReverseOrder) {
    EXPECT_EQ(deviceNameOf("lo (Loopback device)"), "lo");
    EXPECT_EQ(deviceNameOf("eth0 ()"), "eth0");
    EXPECT_EQ(deviceNameOf("any (Pseudo-device (all interfaces))"), "any");
    EXPECT_EQ(deviceNameOf("bare"), "bare");

    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* devices = nullptr;
    ASSERT_EQ(pcap_findalldevs(&devices, error), 0) << error;
    std::vector<std::string> names;
    for (pcap_if_t* device = devices; device != nullptr; device = device->next) {
        names.insert(names.begin(), device->name);
    }
    pcap_freealldevs(devices);
    const std::vector<std::string> texts = TrafficCapture::listDevices();
    ASSERT_EQ(texts.size(), names.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(deviceNameOf(texts[i]), names[i]);
        EXPECT_EQ(texts[i].back(), ')');
    }
}

namespace {
void recordCallAndAnalyse(const std::string& device) {
    TempFile file("live.pcap");
    TrafficCapture capture;
    Listener listener;
    capture.setListener(&listener);
    capture.setDeviceName(device);
    ASSERT_TRUE(capture.start(file.path()));
    EXPECT_FALSE(capture.start(file.path()));  // one recording at a time
    waitUntilRecording(capture);
    const uint32_t before = capture.packetCount();
    const LoopbackCall call = sendLoopbackCall(30);
    ASSERT_GT(call.inviteSize, 1000u);
    ASSERT_TRUE(waitFor([&] { return capture.packetCount() >= before + call.datagrams; }));
    capture.stop();
    EXPECT_FALSE(capture.running());
    EXPECT_EQ(capture.failure(), "");
    EXPECT_EQ(listener.last, capture.packetCount());
    EXPECT_EQ(static_cast<uint32_t>(listener.reports), capture.packetCount());
    EXPECT_EQ(listener.starts, 1);

    AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(file.path(), true);
    ASSERT_EQ(result.outcome, AnalysisOutcome::Analysed);
    const AnalysisModel& model = *result.model;
    std::vector<ItemIndex> messages = model.itemsWithCallId(call.callId);
    model.removeKind(messages, ItemKind::Media);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(model.item(messages[0]).sip->method().value_or(""), "INVITE");
    // The INVITE kept whole: a short snapshot would have cut its SDP.
    EXPECT_EQ(model.item(messages[0]).packet.payloadLength, call.inviteSize);
    const RtpStreamRegistry& registry = *model.streamRegistry();
    const RtpStream* toCaller = streamTo(registry, call.callerRtpPort);
    const RtpStream* toCallee = streamTo(registry, call.calleeRtpPort);
    ASSERT_NE(toCaller, nullptr);
    ASSERT_NE(toCallee, nullptr);
    EXPECT_EQ(toCaller->packets, call.rtpPackets);
    EXPECT_EQ(toCallee->packets, call.rtpPackets);
    EXPECT_EQ(toCallee->dropped, 0);
}
}  // namespace

TEST(TrafficCapture, RecordsACallOnLoopbackWholeAndItAnalysesWithItsStreams) {
    VARLOWE_REQUIRE_CAPTURE_RIGHTS();
    recordCallAndAnalyse("lo");
}

// "any" records Linux cooked frames, which the reader decodes too.
TEST(TrafficCapture, ARecordingOnAnyAnalysesAlike) {
    VARLOWE_REQUIRE_CAPTURE_RIGHTS();
    recordCallAndAnalyse("any");
}

TEST(TrafficCapture, StopsAndStartsAgainIntoTheWholeOfALongPath) {
    VARLOWE_REQUIRE_CAPTURE_RIGHTS();
    TempFile first("first.pcap");
    // Past 255 characters: a cut path would write somewhere else.
    std::string folder = first.folder();
    for (int i = 0; i < 4; ++i) {
        folder += "/" + std::string(80, static_cast<char>('a' + i));
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    }
    const std::string longPath = folder + "/recording.pcap";
    ASSERT_GT(longPath.size(), 320u);

    TrafficCapture capture;
    capture.setDeviceName("lo");
    capture.stop();  // not running: nothing to do
    ASSERT_TRUE(capture.start(first.path()));
    waitUntilRecording(capture);
    sendLoopbackDatagram(8);
    ASSERT_TRUE(waitFor([&] { return capture.packetCount() > 0; }));
    capture.stop();
    EXPECT_FALSE(capture.recording());
    capture.stop();
    ASSERT_TRUE(capture.start(longPath));
    EXPECT_EQ(capture.filePath(), longPath);
    EXPECT_EQ(capture.packetCount(), 0u);
    waitUntilRecording(capture);
    sendLoopbackDatagram(8);
    ASSERT_TRUE(waitFor([&] { return capture.packetCount() > 0; }));
    capture.stop();
    EXPECT_TRUE(exists(first.path()));
    ASSERT_TRUE(exists(longPath));
    AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(longPath, true);
    EXPECT_NE(result.outcome, AnalysisOutcome::OpenFailed) << result.failureReason;
    for (int i = 3; i >= 0; --i) {
        unlink((folder + "/recording.pcap").c_str());
        rmdir(folder.c_str());
        folder.resize(folder.size() - 81);
    }
}

TEST(TrafficCapture, ADeviceOrFileThatCannotBeOpenedIsSaid) {
    TempFile file("never.pcap");
    {
        TrafficCapture capture;
        Listener listener;
        capture.setListener(&listener);
        capture.setDeviceName("varlowe-none0");
        ASSERT_TRUE(capture.start(file.path()));
        ASSERT_TRUE(waitFor([&] { return !listener.failureText().empty(); }));
        const std::string prefix = "Could not open varlowe-none0: ";
        EXPECT_EQ(listener.failureText().compare(0, prefix.size(), prefix), 0)
            << listener.failureText();
        EXPECT_GT(listener.failureText().size(), prefix.size());
        EXPECT_EQ(capture.failure(), listener.failureText());
        capture.stop();
        EXPECT_EQ(capture.packetCount(), 0u);
        EXPECT_EQ(listener.starts, 0);
        EXPECT_FALSE(exists(file.path()));
    }
    if (geteuid() != 0) {
        GTEST_SKIP() << "opening lo needs root; the unwritable file is not checked";
    }
    TrafficCapture capture;
    Listener listener;
    capture.setListener(&listener);
    capture.setDeviceName("lo");
    const std::string path = file.folder() + "/no-such-folder/live.pcap";
    ASSERT_TRUE(capture.start(path));
    ASSERT_TRUE(waitFor([&] { return !listener.failureText().empty(); }));
    EXPECT_EQ(listener.failureText().rfind("Could not write " + path + ": ", 0), 0u)
        << listener.failureText();
    capture.stop();
    EXPECT_EQ(capture.packetCount(), 0u);
}

// A disk that fills up mid-recording (here a file-size limit, which fails writes alike): the
// recording stops, says why and how many packets the file holds, and keeps that file,
// which reads.
TEST(TrafficCapture, AFullDiskStopsTheRecordingAndSaysWhatTheFileHolds) {
    VARLOWE_REQUIRE_CAPTURE_RIGHTS();
    TempFile file("full.pcap");
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = before;
    limited.rlim_cur = 24 * 1024;  // the disk is full past 24 KiB
    TrafficCapture capture;
    Listener listener;
    capture.setListener(&listener);
    capture.setDeviceName("lo");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    ASSERT_TRUE(capture.start(file.path()));
    waitUntilRecording(capture);
    int sent = 0;
    while (listener.failureText().empty() && sent < 2000) {
        sendLoopbackDatagram(1000);
        ++sent;
        waitFor([&] {
            return capture.packetCount() >= static_cast<uint32_t>(sent) ||
                   !listener.failureText().empty();
        });
    }
    capture.stop();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);

    const std::string failure = listener.failureText();
    ASSERT_FALSE(failure.empty()) << "the limit was never reached";
    const uint32_t held = wholeRecordsIn(file.path());
    EXPECT_GT(held, 5u);
    EXPECT_EQ(failure, "Could not write " + file.path() + ": " + std::strerror(EFBIG) +
                           ". The recording stopped; the file holds " + std::to_string(held) +
                           " packets.");
    EXPECT_EQ(capture.packetCount(), held);
    EXPECT_FALSE(capture.recording());

    // The file stays and reads: its whole records, then the cut one ends the walk.
    ASSERT_TRUE(exists(file.path()));
    ScopedDiagnosticsCapture quiet;
    CaptureFileReader reader;
    ASSERT_TRUE(reader.open(file.path()));
    FrameInfo frame;
    uint32_t read = 0;
    while (reader.nextFrame(frame)) {
        ++read;
    }
    EXPECT_EQ(read, held);
}

TEST(TrafficCapture, WholeRecordsAreCountedAndACutOneIsNot) {
    TempFile file("cut.pcap");
    CaptureBuilder builder;
    const Bytes frame = udpFrame(ipv4(127, 0, 0, 1), 1, ipv4(127, 0, 0, 1), 2, Bytes(100, 7));
    builder.add(frame).add(frame).addTruncated(frame, 40);
    builder.writeTo(file.path());
    EXPECT_EQ(wholeRecordsIn(file.path()), 2u);
    CaptureBuilder swapped(FileByteOrder::Big);
    swapped.add(frame);
    swapped.writeTo(file.path());
    EXPECT_EQ(wholeRecordsIn(file.path()), 1u);
    EXPECT_EQ(wholeRecordsIn(file.folder() + "/none.pcap"), 0u);
}
