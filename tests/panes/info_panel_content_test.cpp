#include "panes/info_panel_content.h"

#include <gtest/gtest.h>

#include <fstream>

#include "engine/media/dtmf.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/analysis_model.h"
#include "engine/sip/packet_analysis_driver.h"
#include "panes/stream_graph_cache.h"

using namespace varlowe;

namespace {

TEST(InfoPanelContent, PacketInfoRowsDescribeThePacket) {
    PacketRecord packet;
    packet.number = 42;
    packet.seconds = 4000000000u;  // after 2038: stays positive
    packet.microseconds = 25;
    packet.transport = TransportKind::Other;
    packet.sourceAddress = "10.0.0.1";
    packet.sourcePort = "5060";
    packet.destinationAddress = "10.0.0.2";
    packet.destinationPort = "5070";
    packet.headerOverhead = 4000000000u;
    packet.payloadLength = 1000000000u;
    const info_content::Rows rows = info_content::packetInfoRows(packet);
    EXPECT_EQ(rows, (info_content::Rows{{"Packet #", "42"},
                                        {"Timestamp", "4000000000.000025"},
                                        {"Packet type", "OTHER"},
                                        {"Source", "10.0.0.1:5060"},
                                        {"Destination", "10.0.0.2:5070"},
                                        {"IP Header Length", "4000000000"},
                                        {"Data Length", "1000000000"},
                                        {"Total Length", "5000000000"}}));
    packet.transport = TransportKind::Tcp;
    EXPECT_EQ(info_content::packetInfoRows(packet)[2].second, "TCP");
    packet.transport = TransportKind::Udp;
    EXPECT_EQ(info_content::packetInfoRows(packet)[2].second, "UDP");
}

struct NoDialogs : IAnalysisDialogs {
    void showError(const std::string&, const std::string&) override {}
    bool askYesNo(const std::string&, const std::string&) override { return false; }
};

std::unique_ptr<AnalysisModel> analysed(const std::string& path) {
    NoDialogs dialogs;
    AnalysisResult result =
        PacketAnalysisDriver(ParsingOptions{}, nullptr, &dialogs).analyse(path, false);
    return std::move(result.model);
}

const std::string kDtmfCall = VARLOWE_SOURCE_DIR "/tests/fixtures/sip-call-dtmf.pcap";

TEST(InfoPanelContent, StreamsAreDescribedByTheirFirstPacketAndTitledInDecimal) {
    std::unique_ptr<AnalysisModel> model = analysed(kDtmfCall);
    ASSERT_TRUE(model);
    const AnalysisItem* media = nullptr;
    for (size_t i = 0; i < model->itemCount() && media == nullptr; ++i) {
        if (model->item(ItemIndex(i)).kind == ItemKind::Media) {
            media = &model->item(ItemIndex(i));
        }
    }
    ASSERT_NE(media, nullptr);
    const RtpStream& stream = *media->stream;
    EXPECT_EQ(info_content::describedPacket(*media).fileOffset, stream.firstPacket().fileOffset);
    EXPECT_EQ(info_content::mediaTabTitle(stream),
              stream.mediaName + "/" + stream.encodingName + "/" + std::to_string(stream.ssrc));
    const AnalysisItem& first = model->item(ItemIndex(0));
    const PacketRecord described = info_content::describedPacket(first);
    EXPECT_EQ(described.fileOffset, first.packet.fileOffset);
    EXPECT_EQ(described.sourceAddress + ":" + described.destinationPort,
              first.packet.sourceAddress() + ":" + first.packet.destinationPort());
}

TEST(StreamGraphCache, KeepsTheLastStreamsAndComputesEachOnce) {
    std::unique_ptr<AnalysisModel> model = analysed(kDtmfCall);
    ASSERT_TRUE(model);
    const RtpStreamRegistry* registry = model->streamRegistry();
    std::vector<const RtpStream*> streams;
    for (size_t i = 0; i < model->itemCount(); ++i) {
        if (model->item(ItemIndex(i)).kind == ItemKind::Media) {
            streams.push_back(model->item(ItemIndex(i)).stream);
        }
    }
    ASSERT_GE(streams.size(), 3u);

    StreamGraphCache cache(2);
    std::shared_ptr<const RtpGraphData> first = cache.graphs(registry, streams[0]);
    ASSERT_TRUE(first);
    EXPECT_GT(first->series[RtpGraphData::TransmitDelta]->count, 0);
    EXPECT_EQ(cache.graphs(registry, streams[0]), first);
    EXPECT_EQ(cache.computations(), 1u);

    cache.graphs(registry, streams[1]);
    cache.graphs(registry, streams[0]);  // now the most recent
    cache.graphs(registry, streams[2]);  // pushes out streams[1]
    EXPECT_EQ(cache.computations(), 3u);
    EXPECT_TRUE(cache.contains(streams[0]));
    EXPECT_FALSE(cache.contains(streams[1]));
    EXPECT_EQ(cache.size(), 2u);
    // What a page still draws stays valid after it left the cache.
    EXPECT_GT(first->series[RtpGraphData::Total]->count, 0);

    EXPECT_EQ(cache.graphs(nullptr, streams[0]), nullptr);
    EXPECT_EQ(cache.graphs(registry, nullptr), nullptr);
}

TEST(StreamGraphCache, AnUnreadableCaptureGivesNoGraphsAndIsTriedAgain) {
    const std::string copy = testing::TempDir() + "/graph-cache.pcap";
    {
        std::ifstream in(kDtmfCall, std::ios::binary);
        std::ofstream out(copy, std::ios::binary);
        out << in.rdbuf();
    }
    std::unique_ptr<AnalysisModel> model = analysed(copy);
    ASSERT_TRUE(model);
    const RtpStream* stream = nullptr;
    for (size_t i = 0; i < model->itemCount() && stream == nullptr; ++i) {
        stream = model->item(ItemIndex(i)).stream;
    }
    ASSERT_NE(stream, nullptr);
    std::remove(copy.c_str());
    StreamGraphCache cache;
    EXPECT_EQ(cache.graphs(model->streamRegistry(), stream), nullptr);
    EXPECT_EQ(cache.graphs(model->streamRegistry(), stream), nullptr);
    EXPECT_EQ(cache.computations(), 2u);
    EXPECT_EQ(cache.size(), 0u);
}

}  // namespace

namespace {
// The digits of the recorded call's telephone events, on the event stream's Contents list
// after its figures; an audio stream's list has none.
TEST(InfoPanelContent, ATelephoneEventStreamListsItsDigits) {
    std::unique_ptr<AnalysisModel> model = analysed(kDtmfCall);
    ASSERT_TRUE(model);
    std::vector<const RtpStream*> events;
    const RtpStream* audio = nullptr;
    for (size_t i = 0; i < model->itemCount(); ++i) {
        const AnalysisItem& item = model->item(ItemIndex(i));
        if (item.kind == ItemKind::Media) {
            if (isTelephoneEvent(*item.stream)) {
                events.push_back(item.stream);
            } else {
                audio = item.stream;
            }
        }
    }
    ASSERT_EQ(events.size(), 2u);
    ASSERT_NE(audio, nullptr);
    const info_content::Rows rows = info_content::streamRows(model->streamRegistry(), *events[0]);
    const size_t figures = streamFigureRows(*events[0]).size();
    ASSERT_EQ(rows.size(), figures + 3);
    EXPECT_EQ(rows[figures], (std::pair<std::string, std::string>{"DTMF Digits", "15"}));
    EXPECT_EQ(rows[figures + 1].first, "Digit 1");
    EXPECT_EQ(rows[figures + 1].second.rfind("1 at 0.000000 s, 280 ms, -", 0), 0u)
        << rows[figures + 1].second;
    EXPECT_EQ(rows[figures + 2].second.rfind("5 at 0.96", 0), 0u) << rows[figures + 2].second;
    EXPECT_EQ(info_content::streamRows(model->streamRegistry(), *audio).size(),
              streamFigureRows(*audio).size());
    EXPECT_EQ(info_content::streamRows(nullptr, *events[0]).size(), figures);
}
}  // namespace
