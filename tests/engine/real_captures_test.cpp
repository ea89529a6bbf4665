#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/diagnostics.h"
#include "engine/media/stun_decoder.h"
#include "reader_test_util.h"

using namespace varlowe;
namespace fs = std::filesystem;

namespace {

// The bundled recordings and, when present, the real captures from real devices.
std::vector<std::string> realCaptures() {
    std::vector<std::string> paths;
    for (const char* folder : {VARLOWE_SOURCE_DIR "/samples", VARLOWE_SOURCE_DIR "/tests/fixtures",
                               VARLOWE_SHARED_CAPTURES}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            if (entry.path().extension() == ".pcap" || entry.path().extension() == ".pcapng") {
                paths.push_back(entry.path().string());
            }
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<PacketRecord> readFile(const std::string& path) {
    CaptureFileReader reader;
    std::vector<PacketRecord> packets;
    if (!reader.open(path)) {
        ADD_FAILURE() << "cannot open " << path;
        return packets;
    }
    FrameInfo frame;
    while (reader.nextFrame(frame)) {
        packets.push_back(PacketRecord::fromFrame(frame));
    }
    return packets;
}

}  // namespace

// Stream figures and payload extraction re-read a capture from a packet's file offset; that
// must yield the very same packet again, on real files too.
TEST(RealCaptures, EveryPacketIsFoundAgainAtItsFileOffset) {
    std::vector<std::string> paths = realCaptures();
    if (paths.empty()) {
        GTEST_SKIP() << "no captures found";
    }
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        ScopedDiagnosticsCapture diagnostics;
        std::vector<PacketRecord> packets = readFile(path);
        EXPECT_FALSE(packets.empty());
        EXPECT_EQ(diagnostics.text(), "");
        CaptureFileReader reader;
        ASSERT_TRUE(reader.open(path));
        uint32_t previous = 0;
        for (const PacketRecord& packet : packets) {
            EXPECT_GT(packet.number, previous);
            previous = packet.number;
            ASSERT_TRUE(reader.seek(packet.fileOffset));
            FrameInfo frame;
            ASSERT_TRUE(reader.nextFrame(frame));
            PacketRecord again = PacketRecord::fromFrame(frame);
            if (again.payloadLength != packet.payloadLength) {
                continue;  // the end of a reassembled datagram reads as a lone fragment
            }
            EXPECT_EQ(again.time(), packet.time());
            EXPECT_EQ(again.sourceAddress, packet.sourceAddress);
            EXPECT_EQ(again.payload, packet.payload);
        }
    }
}

TEST(RealCaptures, SipOverTcpCaptureHoldsOnlyTcpSegmentsOnPort6060) {
    std::string path = VARLOWE_SHARED_CAPTURES "/heplify_sip_ipv4_tcp_fragmented.pcap";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "real captures folder absent";
    }
    std::vector<PacketRecord> packets = readFile(path);
    ASSERT_FALSE(packets.empty());
    for (const PacketRecord& p : packets) {
        EXPECT_EQ(p.transport, TransportKind::Tcp);
        EXPECT_TRUE(p.sourcePort == "6060" || p.destinationPort == "6060")
            << p.sourcePort << " " << p.destinationPort;
    }
}

// The bundled sample's listing, checked once against tshark, byte for byte.
TEST(RealCaptures, BundledSampleListingMatchesItsGoldenFile) {
    std::string path = VARLOWE_SOURCE_DIR "/samples/sip-call-loopback.pcap";
    std::ifstream golden(VARLOWE_SOURCE_DIR "/tests/fixtures/sip-call-loopback.packets.txt");
    ASSERT_TRUE(golden.good());
    std::vector<PacketRecord> packets = readFile(path);
    std::string line;
    size_t index = 0;
    while (std::getline(golden, line)) {
        ASSERT_LT(index, packets.size());
        const PacketRecord& p = packets[index++];
        std::string ours = std::to_string(p.number) + " " + packetTimeText(p.time()) + " " +
                           transportName(p.transport) + " " + p.sourceAddress + ":" + p.sourcePort +
                           " > " + p.destinationAddress + ":" + p.destinationPort + " " +
                           std::to_string(p.payloadLength);
        EXPECT_EQ(ours, line);
    }
    EXPECT_EQ(index, packets.size());
}

// WebRTC STUN pads attribute values to four bytes; a decoder that does not reads the padding
// as headers and reports corrupt attributes on every connectivity check.
TEST(RealCaptures, WebRtcStunDecodesWithoutCorruptAttributes) {
    std::string path = VARLOWE_SHARED_CAPTURES "/zeek_webrtc-stun.pcap";
    if (!fs::exists(path)) {
        GTEST_SKIP() << "real captures folder absent";
    }
    int decoded = 0;
    for (const PacketRecord& p : readFile(path)) {
        std::unique_ptr<NameValuePair> pairs = decodeStunMessage(p.payloadData(), p.payloadLength);
        if (!pairs)
            continue;
        ++decoded;
        for (const auto& [name, value] : pairs->pairs()) {
            EXPECT_NE(name, "ERROR") << "packet " << p.number << ": " << value;
        }
        const std::string* type = pairs->find("MSG_TYPE");
        ASSERT_NE(type, nullptr);
        if (*type == "STUN_BIND_REQUEST") {
            EXPECT_NE(pairs->find("STUN_PRIORITY"), nullptr) << "packet " << p.number;
        }
    }
    EXPECT_EQ(decoded, 10);
}
