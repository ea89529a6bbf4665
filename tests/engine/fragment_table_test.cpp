#include <gtest/gtest.h>

#include "reader_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {
std::string longText(size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += static_cast<char>('a' + i % 26);
    }
    return text;
}
}  // namespace

TEST(FragmentReassembly, OutOfOrderFragmentsCompleteOnTheLastArrival) {
    std::string text = longText(300);
    auto pieces = fragmentedUdpFrames(kHostA, 5060, kHostB, 5080, bytesOf(text), 0x1234, 120);
    ASSERT_EQ(pieces.size(), 3u);
    CaptureBuilder builder;
    builder.add(pieces[2], 10, 1);
    builder.add(pieces[0], 10, 2);
    builder.add(pieces[1], 10, 3);
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    const PacketRecord& p = result.packets[0];
    EXPECT_EQ(payloadOf(p), text);
    EXPECT_EQ(p.sourcePort, "5060");
    EXPECT_EQ(p.destinationPort, "5080");
    EXPECT_EQ(p.number, 3u);
    EXPECT_EQ(p.microseconds, 3);
    // Read again from here, the file yields every fragment: the first record of the file.
    EXPECT_EQ(p.fileOffset, 24u);
    // Every fragment's Ethernet and IP headers, plus the UDP header of the first.
    EXPECT_EQ(p.headerOverhead, 3u * (14 + 20) + 8u);
}

TEST(FragmentReassembly, InterleavedDatagramsSharingABucketStaySeparate) {
    std::string one = longText(200), two = std::string(200, 'Z');
    // Identifications 1 and 65 fall in the same bucket; a third datagram differs only by source.
    auto a = fragmentedUdpFrames(kHostA, 1, kHostB, 2, bytesOf(one), 1, 96);
    auto b = fragmentedUdpFrames(kHostA, 3, kHostB, 4, bytesOf(two), 65, 96);
    auto c = fragmentedUdpFrames(ipv4(10, 0, 0, 9), 5, kHostB, 6, bytesOf(two), 1, 96);
    CaptureBuilder builder;
    for (size_t i = 0; i < a.size(); ++i) {
        builder.add(a[i]).add(b[i]).add(c[i]);
    }
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 3u);
    EXPECT_EQ(payloadOf(result.packets[0]), one);
    EXPECT_EQ(result.packets[0].sourcePort, "1");
    EXPECT_EQ(payloadOf(result.packets[1]), two);
    EXPECT_EQ(result.packets[1].sourcePort, "3");
    EXPECT_EQ(payloadOf(result.packets[2]), two);
    EXPECT_EQ(result.packets[2].sourceAddress, "10.0.0.9");
}

TEST(FragmentReassembly, RepeatedFragmentsAreHeldOnce) {
    std::string text = longText(250);
    auto pieces = fragmentedUdpFrames(kHostA, 1, kHostB, 2, bytesOf(text), 7, 96);
    ASSERT_EQ(pieces.size(), 3u);
    TempFile file;
    CaptureBuilder builder;
    builder.add(pieces[1]).add(pieces[1]);  // a lone fragment, repeated
    builder.add(pieces[0]).add(pieces[0]);  // a repeat among several held
    builder.add(pieces[2]);
    builder.writeTo(file.path());
    CaptureFileReader reader;
    ASSERT_TRUE(reader.open(file.path()));
    FrameInfo frame;
    ASSERT_TRUE(reader.nextFrame(frame));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.payloadData()), frame.payloadLength),
              text);
    EXPECT_EQ(frame.number, 5u);
    EXPECT_EQ(reader.fragments().heldFragments(), 0u);
    EXPECT_FALSE(reader.nextFrame(frame));
}

TEST(FragmentReassembly, IncompleteDatagramsYieldNothingAndStayHeld) {
    auto pieces = fragmentedUdpFrames(kHostA, 1, kHostB, 2, bytesOf(longText(400)), 9, 96);
    ASSERT_GE(pieces.size(), 4u);
    TempFile file;
    CaptureBuilder builder;
    builder.add(pieces[0]).add(pieces[1]).add(pieces.back());  // a gap in the middle
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("unfragmented")));
    builder.writeTo(file.path());
    CaptureFileReader reader;
    ASSERT_TRUE(reader.open(file.path()));
    FrameInfo frame;
    ASSERT_TRUE(reader.nextFrame(frame));
    EXPECT_EQ(frame.number, 4u);
    EXPECT_FALSE(reader.nextFrame(frame));
    EXPECT_EQ(reader.fragments().heldFragments(), 3u);
}

TEST(FragmentReassembly, FragmentsBeyondTheLastAreNotPartOfTheDatagram) {
    std::string text = longText(150);
    auto pieces = fragmentedUdpFrames(kHostA, 1, kHostB, 2, bytesOf(text), 11, 80);
    ASSERT_EQ(pieces.size(), 2u);
    IpFields stray;
    stray.identification = 11;
    stray.fragmentOffset = 800;
    stray.moreFragments = true;
    CaptureBuilder builder;
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 17, bytesOf("stray bytes"), stray)));
    builder.add(pieces[1]).add(pieces[0]);
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 1u);
    EXPECT_EQ(payloadOf(result.packets[0]), text);
}

TEST(FragmentReassembly, AFragmentedDatagramIsWholeWhenReadAgainFromItsOffset) {
    // The recorded INVITE in two IPv4 fragments, and a crafted datagram whose fragments have
    // another datagram between them.
    std::vector<std::string> paths = {std::string(VARLOWE_SOURCE_DIR) +
                                      "/tests/fixtures/sip-udp-fragmented.pcap"};
    TempFile crafted;
    auto pieces = fragmentedUdpFrames(kHostA, 1, kHostB, 2, bytesOf(longText(500)), 5, 96);
    CaptureBuilder builder;
    builder.add(pieces[0]);
    builder.add(udpFrame(kHostA, 3, kHostB, 4, bytesOf("between")));
    for (size_t i = 1; i < pieces.size(); ++i) builder.add(pieces[i]);
    builder.writeTo(crafted.path());
    paths.push_back(crafted.path());
    for (const std::string& path : paths) {
        CaptureFileReader reader;
        ASSERT_TRUE(reader.open(path)) << path;
        FrameInfo frame;
        std::vector<FrameInfo> whole;
        while (reader.nextFrame(frame)) {
            if (frame.headerOverhead > 14 + 20 + 8)
                whole.push_back(frame);  // reassembled
        }
        ASSERT_FALSE(whole.empty()) << path;
        for (const FrameInfo& datagram : whole) {
            CaptureFileReader again;
            ASSERT_TRUE(again.open(path));
            ASSERT_TRUE(again.seek(datagram.fileOffset));
            FrameInfo reread;
            bool found = false;
            while (!found && again.nextFrame(reread)) {
                found = reread.payload == datagram.payload;
            }
            EXPECT_TRUE(found) << path << " offset " << datagram.fileOffset;
        }
    }
}
