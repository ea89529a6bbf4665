#include "diagram/selection_rows.h"

#include <gtest/gtest.h>

#include "engine/media/rtp_stream_registry.h"

using namespace varlowe;

namespace {

PacketRecord packet(uint32_t number, uint32_t seconds, uint32_t microseconds = 0) {
    PacketRecord p;
    p.number = number;
    p.seconds = seconds;
    p.microseconds = microseconds;
    p.transport = TransportKind::Udp;
    p.sourceAddress = "10.0.0.1";
    p.sourcePort = "5060";
    p.destinationAddress = "10.0.0.2";
    p.destinationPort = "5060";
    return p;
}

std::string sip(const std::string& start, const std::string& callId, const std::string& cseq,
                const std::string& branch) {
    return start + "\r\nVia: SIP/2.0/UDP h;branch=" + branch +
           "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>\r\nCall-ID: " + callId +
           "\r\nCSeq: " + cseq + "\r\n\r\n";
}

// Rows: 0 INVITE, 1 STUN request, 2 STUN without type, 3 180, 4 audio, 5 video, 6 200,
// 7 302, 8 486 with a long reason, 9 OPTIONS of another call.
struct Fixture {
    RtpStreamRegistry registry{"unused.pcap"};
    AnalysisModel model;

    Fixture() {
        model.addSip(packet(10, 100),
                     SipMessage::parse(sip("INVITE sip:b@h SIP/2.0", "c1", "1 INVITE", "z1")));
        auto stun = std::make_unique<NameValuePair>();
        stun->add("MSG_TYPE", "BINDING_REQUEST");
        model.addStun(packet(11, 100, 500), std::move(stun));
        model.addStun(packet(12, 100, 600), std::make_unique<NameValuePair>());
        model.addSip(packet(13, 101),
                     SipMessage::parse(sip("SIP/2.0 180 Ringing", "c1", "1 INVITE", "z1")));
        RtpStream* audio = registry.addRtpSource(TransactionKey{}, "10.0.0.1", 4000, "", 0, 0,
                                                 "PCMU", "AUDIO", 8000, 4001, 0, 0x1234);
        RtpStream* video = registry.addRtpSource(TransactionKey{}, "10.0.0.1", 4002, "", 0, 34,
                                                 "H263", "video", 90000, 4003, 0, 0xABCDEF01);
        model.addRtp(packet(14, 102), *audio);
        model.addRtp(packet(15, 102, 250000), *video);
        model.addSip(packet(16, 103),
                     SipMessage::parse(sip("SIP/2.0 200 OK", "c1", "1 INVITE", "z1")));
        model.addSip(packet(17, 104),
                     SipMessage::parse(sip("SIP/2.0 302 Moved", "c1", "1 INVITE", "z1")));
        model.addSip(packet(18, 105), SipMessage::parse(sip("SIP/2.0 486 " + std::string(200, 'x'),
                                                            "c1", "1 INVITE", "z1")));
        model.addSip(packet(19, 99),
                     SipMessage::parse(sip("OPTIONS sip:b@h SIP/2.0", "c2", "1 OPTIONS", "o1")));
    }
};

std::vector<std::string> descriptions(const std::vector<SelectionRow>& rows) {
    std::vector<std::string> out;
    for (const SelectionRow& row : rows) {
        out.push_back(row.description);
    }
    return out;
}

TEST(SelectionRows, EachKindShowsItsImageNumberDescriptionDeltaAndColour) {
    Fixture f;
    std::vector<SelectionRow> rows = selection_rows::allRows(f.model, SelectionSwitches{});
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(descriptions(rows),
              (std::vector<std::string>{"INVITE", "BINDING_REQUEST", "UNKNOWN", "180 Ringing",
                                        "AUDIO/PCMU/0x00001234", "video/H263/0xABCDEF01", "200 OK",
                                        "302 Moved", "486 " + std::string(123, 'x'), "OPTIONS"}));
    EXPECT_EQ(rows[8].description.size(), 127u);
    const int images[] = {0, 1, 1, 0, 2, 3, 0, 0, 0, 0};
    const RowColour colours[] = {
        RowColour::ProvisionalResponse, RowColour::Black,    RowColour::Black,
        RowColour::ProvisionalResponse, RowColour::Black,    RowColour::Black,
        RowColour::FinalResponse,       RowColour::Redirect, RowColour::ErrorResponse,
        RowColour::ProvisionalResponse};
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].image, images[i]) << i;
        EXPECT_EQ(rows[i].colour, colours[i]) << i;
        EXPECT_EQ(rows[i].number, std::to_string(10 + i));
    }
    // Deltas from the first row; an earlier packet gives a negative one.
    EXPECT_EQ(rows[0].delta, "0.000000");
    EXPECT_EQ(rows[1].delta, "0.000500");
    EXPECT_EQ(rows[5].delta, "2.250000");
    EXPECT_EQ(rows[9].delta, "-1.000000");
}

TEST(SelectionRows, SwitchedOffKindsAreLeftOutAndTheFirstListedRowIsTheReference) {
    Fixture f;
    SelectionSwitches noSip;
    noSip.sip = false;
    std::vector<SelectionRow> rows = selection_rows::allRows(f.model, noSip);
    EXPECT_EQ(descriptions(rows),
              (std::vector<std::string>{"BINDING_REQUEST", "UNKNOWN", "AUDIO/PCMU/0x00001234",
                                        "video/H263/0xABCDEF01"}));
    EXPECT_EQ(rows[0].delta, "0.000000");
    EXPECT_EQ(rows[2].delta, "1.999500");

    // Audio is recognised whatever the case of the media name.
    SelectionSwitches media;
    media.audio = false;
    media.stun = false;
    rows = selection_rows::allRows(f.model, media);
    EXPECT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[2].description, "video/H263/0xABCDEF01");
    media.video = false;
    media.sip = false;
    EXPECT_TRUE(selection_rows::allRows(f.model, media).empty());
}

TEST(SelectionRows, AllListsAtMostTenThousandShownRows) {
    AnalysisModel model;
    for (uint32_t i = 0; i < 10005; ++i) {
        model.addSip(packet(i + 1, 100),
                     SipMessage::parse(sip("OPTIONS sip:b@h SIP/2.0", "c" + std::to_string(i),
                                           "1 OPTIONS", "o")));
    }
    EXPECT_EQ(selection_rows::allRows(model, SelectionSwitches{}).size(), 10000u);
    // The diagram's filter decides which rows there are.
    model.setVisible(std::vector<ItemIndex>{ItemIndex(3), ItemIndex(10004)});
    std::vector<SelectionRow> rows = selection_rows::allRows(model, SelectionSwitches{});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, "4");
    EXPECT_EQ(rows[1].number, "10005");
}

TEST(SelectionRows, SessionAndTransactionRowsAreTheShownRelatedRows) {
    Fixture f;
    const AnalysisItem& ringing = f.model.item(ItemIndex(3));
    std::vector<SelectionRow> session = selection_rows::relatedRows(
        f.model, ringing, AnalysisModel::RelationMode::Session, SelectionSwitches{});
    EXPECT_EQ(descriptions(session),
              (std::vector<std::string>{"INVITE", "180 Ringing", "200 OK", "302 Moved",
                                        "486 " + std::string(123, 'x')}));
    EXPECT_EQ(session[1].delta, "1.000000");

    // With the INVITE hidden the Delta counts from the first row that is shown.
    f.model.setVisible(std::vector<ItemIndex>{ItemIndex(3), ItemIndex(6), ItemIndex(9)});
    session = selection_rows::relatedRows(f.model, ringing, AnalysisModel::RelationMode::Session,
                                          SelectionSwitches{});
    EXPECT_EQ(descriptions(session), (std::vector<std::string>{"180 Ringing", "200 OK"}));
    EXPECT_EQ(session[1].delta, "2.000000");
    SelectionSwitches noSip;
    noSip.sip = false;
    EXPECT_TRUE(selection_rows::relatedRows(f.model, ringing,
                                            AnalysisModel::RelationMode::Transaction, noSip)
                    .empty());
}

TEST(SelectionRows, BookmarksGoInIndexOrderWithTheDeltaFromTheRowBefore) {
    Fixture f;
    std::vector<SelectionRow> bookmarks;
    for (size_t index : {5u, 2u, 9u}) {
        const AnalysisItem& item = f.model.item(ItemIndex(index));
        const size_t position = selection_rows::bookmarkPosition(bookmarks, item.index);
        std::optional<SelectionRow> row =
            selection_rows::bookmarkRow(bookmarks, position, item, SelectionSwitches{});
        ASSERT_TRUE(row);
        bookmarks.insert(bookmarks.begin() + static_cast<std::ptrdiff_t>(position), *row);
    }
    ASSERT_EQ(bookmarks.size(), 3u);
    EXPECT_EQ(bookmarks[0].item->index, ItemIndex(2));
    EXPECT_EQ(bookmarks[1].item->index, ItemIndex(5));
    EXPECT_EQ(bookmarks[2].item->index, ItemIndex(9));
    EXPECT_EQ(bookmarks[0].delta, "0.000000");   // first when added
    EXPECT_EQ(bookmarks[1].delta, "0.000000");   // first when added, before 2 came
    EXPECT_EQ(bookmarks[2].delta, "-3.250000");  // item 9 (99 s) from item 5 (102.25 s)
    EXPECT_EQ(selection_rows::bookmarkPosition(bookmarks, ItemIndex(7)), 2u);
    EXPECT_EQ(selection_rows::bookmarkPosition(bookmarks, ItemIndex(0)), 0u);
}

}  // namespace
