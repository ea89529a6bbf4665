// The capture formats and link layers beyond classic Ethernet files: pcapng (sections in
// either byte order, interfaces with their own link types and time resolutions, the three
// packet blocks, damaged blocks), nanosecond files, Linux cooked v1 and v2, raw IPv4, BSD
// loopback and VLAN tags.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>

#include "engine/diagnostics.h"
#include "reader_test_util.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

Bytes ipUdp(const std::string& text, uint16_t port = 5060) {
    return ipv4Packet(kHostA, kHostB, 17, udpDatagram(port, port, bytesOf(text)));
}

Bytes ipv6Packet() {
    Bytes packet(48, 0);
    packet[0] = 0x60;
    return packet;
}

std::vector<std::string> payloads(const ReadResult& result) {
    std::vector<std::string> out;
    for (const PacketRecord& packet : result.packets) out.push_back(payloadOf(packet));
    return out;
}

// Every packet read again from its offset by a reader of its own, as graphs and extraction
// do: without what the first reader learnt, and with it.
void expectEachPacketFoundAgain(const std::string& path, const ReadResult& result) {
    CaptureFileReader first;
    ASSERT_TRUE(first.open(path));
    FrameInfo frame;
    while (first.nextFrame(frame)) {
    }
    for (bool withLayout : {false, true}) {
        SCOPED_TRACE(withLayout ? "with the layout" : "without the layout");
        for (auto it = result.packets.rbegin(); it != result.packets.rend(); ++it) {
            CaptureFileReader again;
            ASSERT_TRUE(again.open(path));
            if (withLayout)
                again.useLayout(first.layout());
            ASSERT_TRUE(again.seek(it->fileOffset));
            ASSERT_TRUE(again.nextFrame(frame));
            PacketRecord packet = PacketRecord::fromFrame(frame);
            EXPECT_EQ(packet.fileOffset, it->fileOffset);
            EXPECT_EQ(packet.time(), it->time());
            EXPECT_EQ(packet.payload, it->payload);
        }
    }
}

}  // namespace

TEST(CaptureFormats, PcapNgReadsLikeTheClassicFileInEitherByteOrder) {
    CaptureBuilder classic;
    classic.add(udpFrame(kHostA, 5060, kHostB, 5060, bytesOf("INVITE one")), 1700000000, 1);
    classic.add(udpFrame(kHostB, 5060, kHostA, 5060, bytesOf("SIP/2.0 200 two")), 1700000000,
                999999);
    classic.add(tcpFrame(kHostA, 5061, kHostB, 5061, bytesOf("tcp three")), 1700000001, 0);
    const ReadResult expected = readAll(classic);
    ASSERT_EQ(expected.packets.size(), 3u);
    for (FileByteOrder order : {FileByteOrder::Little, FileByteOrder::Big}) {
        PcapNgBuilder ng(order);
        ng.interface(1);
        ng.enhanced(0, 1700000000000001ull,
                    udpFrame(kHostA, 5060, kHostB, 5060, bytesOf("INVITE one")));
        ng.block(4, Bytes(16, 0));  // name resolution: skipped
        ng.enhanced(0, 1700000000999999ull,
                    udpFrame(kHostB, 5060, kHostA, 5060, bytesOf("SIP/2.0 200 two")));
        ng.block(5, Bytes(20, 0));  // interface statistics: skipped
        ng.enhanced(0, 1700000001000000ull,
                    tcpFrame(kHostA, 5061, kHostB, 5061, bytesOf("tcp three")));
        TempFile file("capture.pcapng");
        ng.writeTo(file.path());
        ScopedDiagnosticsCapture diagnostics;
        CaptureFileReader reader;
        ASSERT_TRUE(reader.open(file.path())) << reader.openError();
        EXPECT_TRUE(reader.isPcapNg());
        EXPECT_EQ(reader.linkType(), 1u);
        const ReadResult result = readPath(file.path());
        ASSERT_EQ(result.packets.size(), 3u);
        for (size_t i = 0; i < 3; ++i) {
            const PacketRecord& a = result.packets[i];
            const PacketRecord& b = expected.packets[i];
            EXPECT_EQ(a.number, b.number);
            EXPECT_EQ(a.time(), b.time());
            EXPECT_EQ(a.transport, b.transport);
            EXPECT_EQ(a.sourceAddress + a.sourcePort, b.sourceAddress + b.sourcePort);
            EXPECT_EQ(a.payload, b.payload);
            EXPECT_EQ(a.headerOverhead, b.headerOverhead);
        }
        EXPECT_EQ(diagnostics.text(), "");
        expectEachPacketFoundAgain(file.path(), result);
    }
}

TEST(CaptureFormats, SectionsInterfacesAndTimeResolutionsEachApplyToTheirOwnPackets) {
    PcapNgBuilder ng(FileByteOrder::Little);
    ng.interface(1);               // 0: Ethernet, microseconds
    ng.interface(276, 262144, 9);  // 1: cooked v2, nanoseconds
    ng.enhanced(0, 10'000'123ull, udpFrame(kHostA, 1, kHostB, 2, bytesOf("ether us")));
    ng.enhanced(1, 20'000'000'456ull, cookedFrame(ipUdp("cooked ns"), true));
    ng.simple(udpFrame(kHostA, 1, kHostB, 2, bytesOf("simple block")));  // interface 0, no time
    ng.section(FileByteOrder::Big);
    ng.interface(101, 65535, 0x80 | 20);  // 0: raw IP, 2^-20 seconds
    ng.interface(228, 65535, 3, 1000);    // 1: raw IPv4, milliseconds, 1000 s on
    ng.interface(105);                    // 2: 802.11, not read
    ng.enhanced(0, (uint64_t{7} << 20) | (uint64_t{1} << 19), ipUdp("raw half second"));
    ng.enhanced(0, 0, ipv6Packet());  // counted, not read
    ng.enhanced(2, 0, Bytes(40, 0));  // an interface the reader does not decode
    ng.obsolete(1, 5'250ull, ipUdp("obsolete block"));
    ng.enhanced(9, 0, ipUdp("no such interface"));
    ng.section(FileByteOrder::Little);
    ng.interface(0);  // BSD loopback
    ng.enhanced(0, 3'000'000ull, loopbackFrame(ipUdp("loopback"), FileByteOrder::Little));
    TempFile file("sections.pcapng");
    ng.writeTo(file.path());

    ScopedDiagnosticsCapture diagnostics;
    const ReadResult result = readPath(file.path());
    EXPECT_EQ(payloads(result),
              (std::vector<std::string>{"ether us", "cooked ns", "simple block", "raw half second",
                                        "obsolete block", "loopback"}));
    ASSERT_EQ(result.packets.size(), 6u);
    // Numbers count packet blocks from 1, whatever was read of them.
    std::vector<uint32_t> numbers;
    for (const PacketRecord& p : result.packets) numbers.push_back(p.number);
    EXPECT_EQ(numbers, (std::vector<uint32_t>{1, 2, 3, 4, 7, 9}));
    EXPECT_EQ(result.packets[0].time(), (PacketTime{10, 123}));
    EXPECT_EQ(result.packets[1].time(), (PacketTime{20, 0}));  // 456 ns
    EXPECT_EQ(result.packets[2].time(), (PacketTime{0, 0}));
    EXPECT_EQ(result.packets[3].time(), (PacketTime{7, 500000}));
    EXPECT_EQ(result.packets[4].time(), (PacketTime{1005, 250000}));
    EXPECT_EQ(result.packets[5].time(), (PacketTime{3, 0}));
    EXPECT_EQ(result.packets[1].headerOverhead, 20u + 20u + 8u);
    EXPECT_EQ(result.packets[3].headerOverhead, 20u + 8u);
    EXPECT_EQ(diagnostics.text(), "");
    expectEachPacketFoundAgain(file.path(), result);
}

TEST(CaptureFormats, DamagedBlocksEndTheWalkLikeATruncatedRecord) {
    struct Case {
        const char* what;
        std::function<void(PcapNgBuilder&)> damage;
        std::vector<std::string> read = {"good"};
    };
    const std::vector<Case> cases = {
        {"length below the minimum", [](PcapNgBuilder& b) { b.patch32(b.lastBlock() + 4, 8); }},
        {"length not a multiple of 4", [](PcapNgBuilder& b) { b.patch32(b.lastBlock() + 4, 61); }},
        {"length past the end",
         [](PcapNgBuilder& b) { b.patch32(b.lastBlock() + 4, 0xfffffff0u); }},
        {"trailing length differs", [](PcapNgBuilder& b) { b.patch32(b.bytes().size() - 4, 64); }},
        {"captured length past the block",
         [](PcapNgBuilder& b) { b.patch32(b.lastBlock() + 20, 4000); }},
        {"cut short", [](PcapNgBuilder& b) { b.bytes().resize(b.bytes().size() - 6); }},
        {"unknown byte order in a later section",
         [](PcapNgBuilder& b) {
             b.section(FileByteOrder::Little);
             b.patch32(b.lastBlock() + 8, 0x01020304u);
         },
         {"good", "damaged"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PcapNgBuilder ng;
        ng.interface(1);
        ng.enhanced(0, 1, udpFrame(kHostA, 1, kHostB, 2, bytesOf("good")));
        ng.enhanced(0, 2, udpFrame(kHostA, 1, kHostB, 2, bytesOf("damaged")));
        c.damage(ng);
        ng.enhanced(0, 3, udpFrame(kHostA, 1, kHostB, 2, bytesOf("never reached")));
        TempFile file("damaged.pcapng");
        ng.writeTo(file.path());
        ScopedDiagnosticsCapture diagnostics;
        const ReadResult result = readPath(file.path());
        ASSERT_TRUE(result.opened);
        EXPECT_EQ(payloads(result), c.read);
        if (std::string(c.what) != "cut short") {
            EXPECT_NE(diagnostics.text().find("damaged"), std::string::npos) << diagnostics.text();
        }
    }
}

TEST(CaptureFormats, PcapNgThatCannotBeReadSaysWhy) {
    TempFile file("bad.pcapng");
    ScopedDiagnosticsCapture diagnostics;
    {
        PcapNgBuilder ng;
        ng.interface(105);
        ng.interface(127);
        ng.enhanced(0, 0, Bytes(40, 0));
        ng.writeTo(file.path());
        CaptureFileReader reader;
        EXPECT_FALSE(reader.open(file.path()));
        EXPECT_EQ(
            reader.openError().rfind("link type 105 (IEEE 802.11 wireless) is not supported", 0),
            0u)
            << reader.openError();
    }
    {
        PcapNgBuilder ng;
        ng.patch32(8, 0x11223344u);  // the byte-order magic
        ng.writeTo(file.path());
        CaptureFileReader reader;
        EXPECT_FALSE(reader.open(file.path()));
        EXPECT_NE(reader.openError().find("damaged pcapng"), std::string::npos);
    }
    {
        // A damaged interface block ends the walk there: nothing to read, as in a file cut
        // short after its header.
        PcapNgBuilder ng;
        ng.interface(1);
        ng.patch32(ng.bytes().size() - 4, 0x7ffffff0u);
        ng.enhanced(0, 0, udpFrame(kHostA, 1, kHostB, 2, bytesOf("behind it")));
        ng.writeTo(file.path());
        const ReadResult result = readPath(file.path());
        EXPECT_TRUE(result.opened);
        EXPECT_TRUE(result.packets.empty());
        EXPECT_NE(diagnostics.text().find("PCAPNG: damaged block at offset 28"), std::string::npos)
            << diagnostics.text();
    }
}

TEST(CaptureFormats, ClassicNanosecondFilesInEitherByteOrder) {
    for (FileByteOrder order : {FileByteOrder::Little, FileByteOrder::Big}) {
        CaptureBuilder builder(order, CaptureBuilder::kNanosecondMagic);
        builder.add(udpFrame(kHostA, 1, kHostB, 2, bytesOf("ns")), 1800000000, 123456789);
        const ReadResult result = readAll(builder);
        ASSERT_EQ(result.packets.size(), 1u);
        EXPECT_EQ(result.packets[0].time(), (PacketTime{1800000000, 123456}));
    }
}

TEST(CaptureFormats, LinkLayersAndVlanTagsAreSteppedOverToIpv4) {
    for (FileByteOrder order : {FileByteOrder::Little, FileByteOrder::Big}) {
        CaptureBuilder ethernet(order);
        ethernet.add(taggedEthernetFrame(ipUdp("one tag"), {0x8100}));
        ethernet.add(taggedEthernetFrame(ipUdp("two tags"), {0x88a8, 0x8100}));
        ethernet.add(taggedEthernetFrame(ipUdp("ipv6 inside"), {0x8100}, 0x86dd));
        ethernet.add(taggedEthernetFrame(ipUdp("three tags"), {0x8100, 0x8100, 0x8100}));
        const ReadResult tagged = readAll(ethernet);
        EXPECT_EQ(payloads(tagged), (std::vector<std::string>{"one tag", "two tags"}));
        ASSERT_EQ(tagged.packets.size(), 2u);
        EXPECT_EQ(tagged.packets[1].headerOverhead, 14u + 8u + 20u + 8u);

        CaptureBuilder cooked(order, CaptureBuilder::kMicrosecondMagic, 113);
        cooked.add(cookedFrame(ipUdp("cooked"), false));
        cooked.add(cookedFrame(ipUdp("cooked tagged"), false, {0x8100}));
        cooked.add(cookedFrame(ipUdp("arp"), false, {}, 0x0806));
        EXPECT_EQ(payloads(readAll(cooked)), (std::vector<std::string>{"cooked", "cooked tagged"}));

        CaptureBuilder cooked2(order, CaptureBuilder::kMicrosecondMagic, 276);
        cooked2.add(cookedFrame(ipUdp("cooked v2"), true));
        cooked2.add(cookedFrame(ipUdp("cooked v2 two tags"), true, {0x88a8, 0x8100}));
        EXPECT_EQ(payloads(readAll(cooked2)),
                  (std::vector<std::string>{"cooked v2", "cooked v2 two tags"}));

        for (uint32_t rawType : {101u, 228u}) {
            CaptureBuilder raw(order, CaptureBuilder::kMicrosecondMagic, rawType);
            raw.add(ipUdp("raw"));
            raw.add(ipv6Packet());
            raw.add(Bytes{0x45});  // shorter than an IP header
            const ReadResult result = readAll(raw);
            EXPECT_EQ(payloads(result), std::vector<std::string>{"raw"});
        }

        CaptureBuilder loopback(order, CaptureBuilder::kMicrosecondMagic, 0);
        loopback.add(loopbackFrame(ipUdp("inet"), order));
        loopback.add(loopbackFrame(ipUdp("inet6"), order, 30));
        EXPECT_EQ(payloads(readAll(loopback)), std::vector<std::string>{"inet"});
    }
}

// Graphs and extraction read again from a stream's first packet to its last, across every
// section between them: each known section is found by halving, so a file of two hundred
// thousand empty sections (5.6 MB) reads again at once. (Found by a scan per section, this
// took minutes: the guard below catches such a stall, it is no measure of speed.)
TEST(CaptureFormats, ReadingAgainAcrossManySectionsDoesNotStall) {
    constexpr int kSections = 200000;
    PcapNgBuilder ng;
    ng.interface(1);
    ng.enhanced(0, 1000000, ethernetFrame(ipUdp("first", 4000)));
    for (int i = 0; i < kSections; ++i) {
        ng.section(i % 2 == 0 ? FileByteOrder::Big : FileByteOrder::Little);
    }
    ng.section(FileByteOrder::Little).interface(1);
    ng.enhanced(0, 2000000, ethernetFrame(ipUdp("last", 4000)));
    TempFile file("sections.pcapng");
    ng.writeTo(file.path());

    CaptureFileReader first;
    ASSERT_TRUE(first.open(file.path()));
    FrameInfo frame;
    uint64_t firstOffset = 0;
    ASSERT_TRUE(first.nextFrame(frame, &firstOffset));
    while (first.nextFrame(frame)) {
    }
    ASSERT_EQ(first.layout().sections.size(), static_cast<size_t>(kSections + 2));
    for (bool withLayout : {true, false}) {
        SCOPED_TRACE(withLayout ? "with the layout" : "without the layout");
        const auto started = std::chrono::steady_clock::now();
        CaptureFileReader again;
        ASSERT_TRUE(again.open(file.path()));
        if (withLayout) {
            again.useLayout(first.layout());
        }
        ASSERT_TRUE(again.seek(firstOffset));
        std::vector<std::string> read;
        while (again.nextFrame(frame)) {
            read.push_back(payloadOf(PacketRecord::fromFrame(frame)));
        }
        EXPECT_EQ(read, (std::vector<std::string>{"first", "last"}));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    }
}

// if_tsoffset is whatever the file says: far past or before what a packet time holds, the
// time is said and brought to the nearest one (no overflow, which the sanitizers stop on).
TEST(CaptureFormats, TimeOffsetsBeyondWhatAPacketTimeHoldsAreSaidAndClamped) {
    PcapNgBuilder ng;
    ng.interface(1, 262144, -1, std::numeric_limits<int64_t>::max());
    ng.enhanced(0, 5000000, ethernetFrame(ipUdp("late")));
    ng.section(FileByteOrder::Big).interface(1, 262144, 0, -5000);  // whole seconds
    ng.enhanced(0, 1, ethernetFrame(ipUdp("early")));
    ng.section(FileByteOrder::Little).interface(1, 262144, -1, 1000);
    ng.enhanced(0, 2500000, ethernetFrame(ipUdp("fine")));
    ng.section(FileByteOrder::Little).interface(1, 262144, 0, std::numeric_limits<int64_t>::min());
    ng.enhanced(0, std::numeric_limits<uint64_t>::max(), ethernetFrame(ipUdp("wide")));
    ScopedDiagnosticsCapture diagnostics;
    ReadResult result = readAll(ng);
    ASSERT_EQ(payloads(result), (std::vector<std::string>{"late", "early", "fine", "wide"}));
    EXPECT_EQ(result.packets[0].seconds, std::numeric_limits<uint32_t>::max());
    EXPECT_EQ(result.packets[1].seconds, 0u);
    EXPECT_EQ(result.packets[2].seconds, 1002u);
    EXPECT_EQ(result.packets[2].microseconds, 500000u);
    EXPECT_EQ(result.packets[3].seconds, std::numeric_limits<uint32_t>::max());  // 2^63 - 1
    EXPECT_EQ(diagnostics.text(),
              "Packet 1: time out of range; shown as 4294967295\n"
              "Packet 2: time out of range; shown as 0\n"
              "Packet 4: time out of range; shown as 4294967295\n");
}
