#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/media/rtcp_report.h"
#include "engine/media/rtcp_report_view.h"

using namespace varlowe;

namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A section with the given type and body; the length field is set from the body.
Bytes section(uint8_t type, uint8_t count, const Bytes& body) {
    Bytes s = {static_cast<uint8_t>(0x80 | count), type,
               static_cast<uint8_t>((body.size() / 4) >> 8), static_cast<uint8_t>(body.size() / 4)};
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

Bytes block(uint32_t ssrc, uint8_t fraction, uint32_t lost, uint32_t jitter) {
    Bytes b;
    put32(b, ssrc);
    b.push_back(fraction);
    b.push_back(static_cast<uint8_t>(lost >> 16));
    b.push_back(static_cast<uint8_t>(lost >> 8));
    b.push_back(static_cast<uint8_t>(lost));
    put32(b, 1000);  // highest sequence
    put32(b, jitter);
    put32(b, 0);
    put32(b, 0);
    return b;
}

Bytes senderReport(uint32_t ssrc, std::vector<Bytes> blocks, uint32_t lsw = 0) {
    Bytes body;
    put32(body, ssrc);
    put32(body, 3913056000u);  // NTP seconds of 2024
    put32(body, lsw);
    put32(body, 160);
    put32(body, 50);
    put32(body, 8000);
    for (const Bytes& b : blocks) body.insert(body.end(), b.begin(), b.end());
    return section(200, static_cast<uint8_t>(blocks.size()), body);
}

Bytes sdes(uint32_t ssrc, const std::string& cname, uint32_t ssrc2 = 0,
           const std::string& name2 = "") {
    Bytes body;
    auto chunk = [&body](uint32_t s, const std::string& text) {
        put32(body, s);
        body.push_back(1);
        body.push_back(static_cast<uint8_t>(text.size()));
        body.insert(body.end(), text.begin(), text.end());
        body.push_back(0);
        while (body.size() % 4 != 0) body.push_back(0);
    };
    chunk(ssrc, cname);
    if (!name2.empty())
        chunk(ssrc2, name2);
    return section(202, name2.empty() ? 1 : 2, body);
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<RtcpReport> decode(const Bytes& packet) {
    std::vector<RtcpReport> reports;
    decodeRtcp(packet.data(), packet.size(), reports);
    return reports;
}

}  // namespace

TEST(RtcpDecoding, ReceiverReportWithoutBlocksThenSourceDescription) {
    Bytes rr = {0x80, 201, 0, 1};
    put32(rr, 0x11111111);
    std::vector<RtcpReport> reports = decode(rr + sdes(0x11111111, "alice@host"));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].type, RtcpType::ReceiverReport);
    EXPECT_FALSE(reports[0].block.has_value());
    EXPECT_EQ(reports[0].version, 2);
    EXPECT_EQ(canonicalNameIn(reports, 0x11111111).value_or("?"), "alice@host");
    EXPECT_FALSE(canonicalNameIn(reports, 0x22222222).has_value());
}

TEST(RtcpDecoding, SenderReportKeepsOnlyItsFirstBlock) {
    std::vector<RtcpReport> reports = decode(
        senderReport(0xAAAA0001, {block(0xBBBB0002, 64, 70000, 33), block(0xCCCC0003, 0, 0, 0)}));
    ASSERT_EQ(reports.size(), 1u);
    const RtcpReport& sr = reports[0];
    EXPECT_EQ(sr.ssrc, 0xAAAA0001u);
    EXPECT_EQ(sr.packetCount, 50u);
    EXPECT_EQ(sr.octetCount, 8000u);
    ASSERT_TRUE(sr.block.has_value());
    EXPECT_EQ(sr.block->ssrc, 0xBBBB0002u);
    EXPECT_DOUBLE_EQ(sr.block->fractionLost, 0.25);
    EXPECT_EQ(sr.block->cumulativeLost, 70000u);
    EXPECT_EQ(sr.block->jitter, 33u);
}

TEST(RtcpDecoding, SeveralChunksFollowTheThirtyTwoBitBoundaries) {
    std::vector<RtcpReport> reports = decode(sdes(1, "abc", 2, "a-longer-name"));
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(reports[0].chunks.size(), 2u);
    EXPECT_EQ(reports[0].chunks[1].ssrc, 2u);
    EXPECT_EQ(canonicalNameIn(reports, 2).value_or("?"), "a-longer-name");
}

TEST(RtcpDecoding, ByeIsStoredAndOtherTypesSkipped) {
    Bytes bye = {0x81, 203, 0, 1};
    put32(bye, 0x12345678);
    Bytes app = {0x80, 204, 0, 2, 0, 0, 0, 1, 'n', 'a', 'm', 'e'};
    std::vector<RtcpReport> reports = decode(app + bye);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].type, RtcpType::Bye);
    EXPECT_EQ(reports[0].byeBytes[7], 0x78);
    EXPECT_TRUE(mentionsSsrc(bye.data(), bye.size(), 0x12345678));
    EXPECT_FALSE(mentionsSsrc(app.data(), app.size(), 1));
}

TEST(RtcpDecoding, SectionsReachingPastThePayloadAreNotRecords) {
    Bytes good = senderReport(7, {block(8, 0, 0, 0)});
    Bytes cut = senderReport(9, {block(10, 0, 0, 0)});
    cut.resize(cut.size() - 5);
    std::vector<RtcpReport> reports = decode(good + cut);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].ssrc, 7u);
    // A source description item claiming more bytes than its section holds.
    Bytes badItem = {0x81, 202, 0, 2};
    put32(badItem, 5);
    badItem.insert(badItem.end(), {1, 200, 'x', 'y'});
    reports = decode(badItem);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].chunks.empty());
    EXPECT_TRUE(decode(Bytes{0x80, 200, 0}).empty());
    EXPECT_FALSE(mentionsSsrc(cut.data(), 6, 9));
}

TEST(RtcpView, LabelsSelectionFilterAndRows) {
    Bytes rr = {0x80, 201, 0, 7};
    put32(rr, 0x0000AAAA);
    Bytes b = block(0x0000BBBB, 128, 5, 12);
    rr.insert(rr.end(), b.begin(), b.end());
    std::vector<RtcpReport> reports =
        decode(senderReport(0xAAAA, {block(0x0000CCCC, 0, 1, 2)}, 0x80000000u) + rr +
               sdes(0x0000CCCC, "carol"));
    auto names = [&reports](uint32_t ssrc) { return canonicalNameIn(reports, ssrc); };
    std::vector<std::string> labels = rtcp_view::sourceLabels(reports, names);
    EXPECT_EQ(labels, (std::vector<std::string>{"All", "0x0000CCCC (carol)", "0x0000BBBB"}));
    EXPECT_EQ(rtcp_view::initialSelection(labels), 0);
    EXPECT_EQ(rtcp_view::initialSelection({"All", "0x00000001"}), 1);
    EXPECT_EQ(rtcp_view::initialSelection({"All"}), -1);
    EXPECT_EQ(rtcp_view::filterOfLabel("All"), -1);
    EXPECT_EQ(rtcp_view::filterOfLabel("0x0000CCCC (carol)"), 0xCCCC);
    EXPECT_EQ(rtcp_view::filterOfLabel("0xFFFFFFFF"), 0xFFFFFFFFll);

    std::vector<rtcp_view::Row> all = rtcp_view::rows(reports, -1);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].image, 1);
    EXPECT_EQ(all[0].ssrc, "0x0000CCCC");
    EXPECT_EQ(all[0].fractionLost, "0.000000");
    EXPECT_EQ(all[0].packetsSent, "50");
    EXPECT_EQ(all[0].bytesSent, "8000");
    EXPECT_EQ(all[0].ntpTime.substr(all[0].ntpTime.size() - 4), ".500");
    EXPECT_EQ(all[1].image, 0);
    EXPECT_EQ(all[1].fractionLost, "0.500000");
    EXPECT_EQ(all[1].cumulativeLost, "5");
    EXPECT_EQ(all[1].jitter, "12");
    EXPECT_EQ(all[1].ntpTime, " ");
    EXPECT_EQ(all[1].packetsSent, " ");
    std::vector<rtcp_view::Row> one = rtcp_view::rows(reports, 0xBBBB);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].ssrc, "0x0000BBBB");
}

TEST(RtcpView, NtpTimeTextInLocalTime) {
    setenv("TZ", "UTC", 1);
    tzset();
    // 2024-01-01 00:00:00 UTC is 3913056000 seconds after 1900.
    EXPECT_EQ(rtcp_view::ntpTimeText(3913056000u, 0), "01/01/24 00:00:00.000");
    EXPECT_EQ(rtcp_view::ntpTimeText(3913056000u, 30064771u), "01/01/24 00:00:00.007");
    EXPECT_EQ(rtcp_view::ntpTimeText(3913056061u, 193273528u), "01/01/24 00:01:01.045");
}

// A sender report without blocks still shows what was sent; an extended report's first VoIP
// Metrics block (after blocks of other types) shows its values, 127 as unavailable.
TEST(RtcpView, SenderOnlyReportsAndVoipMetricsHaveRows) {
    Bytes xr;
    put32(xr, 0x0000AAAA);
    xr.insert(xr.end(), {4, 0, 0, 2, 1, 2, 3, 4, 5, 6, 7, 8});  // a receiver reference time
    xr.insert(xr.end(), {7, 0, 0, 8});
    put32(xr, 0x0000BBBB);
    xr.insert(xr.end(), {5,   2,  64,  3,   0,  120, 7, 208, 0, 12, 0, 45, 0xEC, 0xC4,
                         127, 16, 127, 127, 41, 40,  0, 0,   0, 40, 0, 80, 0,    200});
    std::vector<RtcpReport> reports = decode(senderReport(0xAAAA, {}) + section(207, 0, xr));
    ASSERT_EQ(reports.size(), 2u);
    ASSERT_TRUE(reports[1].voip);
    EXPECT_EQ(reports[1].voip->gapDurationMs, 2000);
    EXPECT_EQ(reports[1].voip->signalLevel, -20);
    EXPECT_EQ(reports[1].voip->jitterBufferAbsoluteMaximumMs, 200);
    EXPECT_EQ(rtcp_view::sourceLabels(reports, nullptr),
              (std::vector<std::string>{"All", "0x0000AAAA", "0x0000BBBB"}));

    std::vector<rtcp_view::Row> rows = rtcp_view::rows(reports, -1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].image, 1);
    EXPECT_EQ(rows[0].ssrc, "0x0000AAAA");
    EXPECT_EQ(rows[0].packetsSent, "50");
    EXPECT_EQ(rows[0].fractionLost, " ");
    EXPECT_EQ(rows[0].roundTrip, " ");
    EXPECT_EQ(rows[1].ssrc, "0x0000BBBB");
    EXPECT_EQ(rows[1].ntpTime, "XR VoIP Metrics");
    EXPECT_EQ(rows[1].fractionLost, "0.019531");
    EXPECT_EQ(rows[1].roundTrip, "12");
    EXPECT_EQ(rows[1].mosLq, "4.1");
    EXPECT_EQ(rows[1].rFactor, "-");
    EXPECT_EQ(rows[1].burstGapDensity, "25.0% / 1.2%");
    EXPECT_EQ(rtcp_view::rows(reports, 0xBBBB).size(), 1u);

    const auto summary = rtcp_view::summaryRows(reports);
    ASSERT_EQ(summary.size(), 9u);  // no round trip measured: only the metrics
    EXPECT_EQ(summary[0], (std::pair<std::string, std::string>{"XR Loss Rate", "2.0%"}));
    EXPECT_EQ(summary[3].second, "120 / 2000");
    EXPECT_EQ(summary[8], (std::pair<std::string, std::string>{"XR MOS-CQ", "4.0"}));

    // A VoIP block cut short by its section is not read.
    xr.resize(xr.size() - 8);
    EXPECT_TRUE(decode(section(207, 0, xr)).empty());
}
