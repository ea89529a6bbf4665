#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "engine/capture/capture_file_reader.h"
#include "engine/diagnostics.h"
#include "reader_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

CaptureBuilder threePackets(FileByteOrder order) {
    CaptureBuilder builder(order);
    builder.add(udpFrame(kHostA, 5060, kHostB, 5062, bytesOf("first")), 100, 1);
    builder.add(tcpFrame(kHostB, 5061, kHostA, 40000, bytesOf("second segment")), 101, 999999);
    builder.add(udpFrame(kHostA, 6000, kHostB, 6002, bytesOf("third")), 102, 500000);
    return builder;
}

}  // namespace

TEST(CaptureFileReader, BothByteOrdersGiveTheSamePackets) {
    ReadResult little = readAll(threePackets(FileByteOrder::Little));
    ReadResult big = readAll(threePackets(FileByteOrder::Big));
    ASSERT_TRUE(little.opened);
    ASSERT_TRUE(big.opened);
    ASSERT_EQ(little.packets.size(), 3u);
    ASSERT_EQ(big.packets.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(little.packets[i].seconds, big.packets[i].seconds);
        EXPECT_EQ(little.packets[i].microseconds, big.packets[i].microseconds);
        EXPECT_EQ(little.packets[i].payloadLength, big.packets[i].payloadLength);
        EXPECT_EQ(little.packets[i].headerOverhead, big.packets[i].headerOverhead);
    }
    EXPECT_EQ(big.packets[1].seconds, 101);
    EXPECT_EQ(big.packets[1].microseconds, 999999);
    EXPECT_EQ(payloadOf(big.packets[1]), "second segment");
}

TEST(CaptureFileReader, SwappedMagicIsDetected) {
    TempFile file;
    threePackets(FileByteOrder::Big).writeTo(file.path());
    CaptureFileReader reader;
    ASSERT_TRUE(reader.open(file.path()));
    EXPECT_TRUE(reader.byteSwapped());
}

TEST(CaptureFileReader, RejectsOtherFormatsWithTheDiagnosticLine) {
    TempFile file;
    const Bytes whole = threePackets(FileByteOrder::Little).bytes();
    struct Case {
        const char* what;
        Bytes content;
    };
    std::vector<Case> cases = {
        {"another magic", Bytes(24, 0x41)},
        {"shorter than the global header", Bytes(whole.begin(), whole.begin() + 23)},
        {"empty file", Bytes{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        file.write(c.content);
        ScopedDiagnosticsCapture diagnostics;
        CaptureFileReader reader;
        EXPECT_FALSE(reader.open(file.path()));
        EXPECT_EQ(diagnostics.text(), "PCAP: Invalid pcap file: " + file.path() + "\n\n");
        FrameInfo frame;
        EXPECT_FALSE(reader.nextFrame(frame));
        EXPECT_FALSE(reader.seek(24));
    }
}

TEST(CaptureFileReader, MissingFileIsRejected) {
    ScopedDiagnosticsCapture diagnostics;
    CaptureFileReader reader;
    EXPECT_FALSE(reader.open("/nonexistent/folder/x.pcap"));
    EXPECT_EQ(diagnostics.text(), "PCAP: Invalid pcap file: /nonexistent/folder/x.pcap\n\n");
}

TEST(CaptureFileReader, HeaderOnlyFileOpensAndYieldsNothing) {
    CaptureBuilder builder;
    ASSERT_EQ(builder.bytes().size(), 24u);
    ScopedDiagnosticsCapture diagnostics;
    ReadResult result = readAll(builder);
    EXPECT_TRUE(result.opened);
    EXPECT_TRUE(result.packets.empty());
    EXPECT_EQ(diagnostics.text(), "");
}

TEST(CaptureFileReader, TruncatedLastRecordEndsTheWalkSilently) {
    for (uint32_t kept : {0u, 10u, 40u}) {
        SCOPED_TRACE(kept);
        CaptureBuilder builder = threePackets(FileByteOrder::Little);
        builder.addTruncated(udpFrame(kHostA, 1, kHostB, 2, bytesOf("cut off here")), kept);
        ScopedDiagnosticsCapture diagnostics;
        ReadResult result = readAll(builder);
        EXPECT_EQ(result.packets.size(), 3u);
        EXPECT_EQ(diagnostics.text(), "");
    }
    // Half a record header.
    CaptureBuilder builder = threePackets(FileByteOrder::Little);
    builder.appendBytes(Bytes(9, 0x11));
    EXPECT_EQ(readAll(builder).packets.size(), 3u);
}

TEST(CaptureFileReader, CapturedLengthBeyondTheFileEndsTheWalk) {
    CaptureBuilder builder = threePackets(FileByteOrder::Little);
    builder.addRaw(0xfffffff0u, 0xfffffff0u, udpFrame(kHostA, 1, kHostB, 2, bytesOf("x")));
    ScopedDiagnosticsCapture diagnostics;
    ReadResult result = readAll(builder);
    EXPECT_EQ(result.packets.size(), 3u);
    EXPECT_EQ(diagnostics.text(), "");
}

TEST(CaptureFileReader, SkippedRecordsStillTakeANumber) {
    CaptureBuilder builder;
    builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("one")));             // 1
    builder.add(ethernetFrame(Bytes(28, 0), 0x0806));                        // 2 ARP
    builder.add(Bytes(10, 0));                                               // 3 too short
    builder.add(ethernetFrame(ipv4Packet(kHostA, kHostB, 1, Bytes(8, 0))));  // 4 ICMP
    builder.add(tcpFrame(kHostA, 1, kHostB, 2, bytesOf("five")));            // 5
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 2u);
    EXPECT_EQ(result.packets[0].number, 1u);
    EXPECT_EQ(result.packets[1].number, 5u);
}

TEST(CaptureFileReader, SnapshotLimitedRecordsAdvanceByCapturedLength) {
    Bytes big = udpFrame(kHostA, 5060, kHostB, 5060, Bytes(1000, 'a'));
    CaptureBuilder builder;
    builder.addSnapshot(big, 100);
    builder.add(udpFrame(kHostA, 7, kHostB, 8, bytesOf("after")));
    ReadResult result = readAll(builder);
    ASSERT_EQ(result.packets.size(), 2u);
    EXPECT_EQ(result.packets[0].payloadLength, 100u - 42u);
    EXPECT_EQ(result.packets[0].headerOverhead, big.size() - (100u - 42u));
    EXPECT_EQ(payloadOf(result.packets[1]), "after");
    EXPECT_EQ(result.packets[1].number, 2u);
}

TEST(CaptureFileReader, LinkTypesOtherThanEthernetAreRefusedByName) {
    for (FileByteOrder order : {FileByteOrder::Little, FileByteOrder::Big}) {
        CaptureBuilder ethernet(order, CaptureBuilder::kMicrosecondMagic, 1);
        ethernet.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("x")));
        EXPECT_EQ(readAll(ethernet).packets.size(), 1u);
    }
    struct Case {
        uint32_t linkType;
        const char* text;
    };
    for (Case c :
         {Case{105, "link type 105 (IEEE 802.11 wireless)"}, Case{9999, "link type 9999 (unknown)"},
          Case{127, "link type 127 (IEEE 802.11 radiotap)"},
          Case{0xffffffffu, "link type 4294967295 (unknown)"}}) {
        for (FileByteOrder order : {FileByteOrder::Little, FileByteOrder::Big}) {
            CaptureBuilder builder(order, CaptureBuilder::kMicrosecondMagic, c.linkType);
            builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("not an ethernet frame")));
            TempFile file;
            builder.writeTo(file.path());
            ScopedDiagnosticsCapture diagnostics;
            CaptureFileReader reader;
            EXPECT_FALSE(reader.open(file.path()));
            EXPECT_EQ(reader.openError().rfind(c.text, 0), 0u) << reader.openError();
            EXPECT_NE(reader.openError().find("is not supported"), std::string::npos);
            EXPECT_EQ(diagnostics.text(), "PCAP: Invalid pcap file: " + file.path() + "\n\n");
        }
    }
}

TEST(CaptureFileReader, OpenFailuresSayWhy) {
    TempFile file;
    CaptureFileReader reader;
    ScopedDiagnosticsCapture diagnostics;
    EXPECT_FALSE(reader.open(file.folder() + "/none.pcap"));
    EXPECT_EQ(reader.openError(), "No such file or directory");
    EXPECT_FALSE(reader.open(file.folder()));
    EXPECT_EQ(reader.openError(), "Is a directory");
    file.write(bytesOf("short"));
    EXPECT_FALSE(reader.open(file.path()));
    EXPECT_NE(reader.openError().find("shorter than its 24-byte header"), std::string::npos);
    file.write(Bytes(24, 0x41));
    EXPECT_FALSE(reader.open(file.path()));
    EXPECT_EQ(reader.openError(), "not a libpcap or pcapng capture file");
    file.write(CaptureBuilder(FileByteOrder::Little, CaptureBuilder::kNanosecondMagic).bytes());
    EXPECT_TRUE(reader.open(file.path()));
    file.write(threePackets(FileByteOrder::Little).bytes());
    EXPECT_TRUE(reader.open(file.path()));
    EXPECT_EQ(reader.openError(), "");
}

TEST(CaptureFileReader, ReportsRecordOffsetsAndSeeksBackToThem) {
    CaptureBuilder builder = threePackets(FileByteOrder::Little);
    TempFile file;
    builder.writeTo(file.path());
    CaptureFileReader reader;
    ASSERT_TRUE(reader.open(file.path()));
    EXPECT_EQ(reader.fileSize(), builder.bytes().size());

    std::vector<uint64_t> offsets;
    std::vector<uint64_t> positions;
    FrameInfo frame;
    uint64_t position = 0;
    while (reader.nextFrame(frame, &position)) {
        offsets.push_back(frame.fileOffset);
        positions.push_back(position);
    }
    ASSERT_EQ(offsets.size(), 3u);
    EXPECT_EQ(offsets[0], 24u);
    EXPECT_EQ(offsets, positions);
    EXPECT_EQ(position, builder.bytes().size());  // the end, where no header could be read

    ASSERT_TRUE(reader.seek(offsets[1]));
    ASSERT_TRUE(reader.nextFrame(frame));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(frame.payloadData()), frame.payloadLength),
              "second segment");
    EXPECT_EQ(frame.fileOffset, offsets[1]);
    EXPECT_EQ(frame.number, 5u);  // the counter is not reset by seek
    EXPECT_FALSE(reader.seek(builder.bytes().size() + 1000));
}

TEST(CaptureFileReader, SeekWithoutAnOpenFileFails) {
    CaptureFileReader reader;
    EXPECT_FALSE(reader.seek(0));
    FrameInfo frame;
    EXPECT_FALSE(reader.nextFrame(frame));
}

// Offsets past 4 GiB must not wrap: a sparse file with one huge skipped record first.
TEST(CaptureFileReader, WalksAndSeeksPastFourGibibytes) {
    TempFile file;
    const uint32_t hugeLength = 0xfffffff0u;
    CaptureBuilder builder;
    builder.addRaw(hugeLength, hugeLength, Bytes(14, 0));  // Ethernet type 0: dropped
    Bytes head = builder.takeBytes();
    CaptureBuilder tail;
    tail.add(udpFrame(kHostA, 5060, kHostB, 5060, bytesOf("beyond 4 GiB")), 7, 8);
    Bytes second(tail.bytes().begin() + 24, tail.bytes().end());
    const uint64_t secondOffset = head.size() - 14 + uint64_t{hugeLength};
    {
        std::ofstream out(file.path(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()),
                  static_cast<std::streamsize>(head.size()));
        out.seekp(static_cast<std::streamoff>(secondOffset));
        out.write(reinterpret_cast<const char*>(second.data()),
                  static_cast<std::streamsize>(second.size()));
        ASSERT_TRUE(out.good()) << "cannot write a sparse file here";
    }
    CaptureFileReader reader;
    ASSERT_TRUE(reader.open(file.path()));
    EXPECT_EQ(reader.fileSize(), secondOffset + second.size());
    FrameInfo frame;
    ASSERT_TRUE(reader.nextFrame(frame));
    EXPECT_EQ(frame.number, 2u);
    EXPECT_EQ(frame.fileOffset, secondOffset);
    EXPECT_FALSE(reader.nextFrame(frame));
    ASSERT_TRUE(reader.seek(secondOffset));
    ASSERT_TRUE(reader.nextFrame(frame));
    EXPECT_EQ(frame.fileOffset, secondOffset);
    EXPECT_EQ(frame.seconds, 7);
}
