#include <gtest/gtest.h>

#include <algorithm>

#include "settings/app_settings.h"

#include "diagram/diagram_state.h"
#include "diagram/message_info.h"
#include "diagram/user_label_db.h"
#include "engine/media/rtp_stream_registry.h"
#include "engine/sip/packet_analysis_driver.h"
#include "support/capture_builder.h"
#include "support/media_test_util.h"
#include "support/position_lists.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

struct RecordingListener : ISipDiagramSelectionListener, ISipDiagramBookmarkListener {
    std::vector<std::string> events;
    void onSelectionChanged(const AnalysisItem* item) override {
        events.push_back(item ? "select " + std::to_string(item->index.value) : "clear");
    }
    void onBookmarkAdded(const AnalysisItem& item) override {
        events.push_back("add " + std::to_string(item.index.value));
    }
    void onBookmarkRemoved(const AnalysisItem& item) override {
        events.push_back("remove " + std::to_string(item.index.value));
    }
};

PacketRecord packet(const std::string& from, const std::string& to, uint32_t number) {
    PacketRecord p;
    p.number = number;
    p.seconds = 100 + number;
    p.transport = TransportKind::Udp;
    p.sourceAddress = from;
    p.sourcePort = "5060";
    p.destinationAddress = to;
    p.destinationPort = "5060";
    return p;
}

std::string sip(const std::string& start, const std::string& callId, const std::string& cseq,
                const std::string& branch, const std::string& extra = "") {
    return start + "\r\nVia: SIP/2.0/UDP h;branch=" + branch +
           "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>\r\nCall-ID: " + callId +
           "\r\nCSeq: " + cseq + "\r\n" + extra + "\r\n";
}

// Two calls: call-1 between A and B (INVITE, 200, ACK, BYE, 200), call-2 between A and C
// (OPTIONS, 200), interleaved: rows 0 INVITE-1, 1 OPTIONS-2, 2 200-1, 3 200-2, 4 ACK-1,
// 5 BYE-1, 6 200 BYE-1.
std::unique_ptr<AnalysisModel> twoCalls() {
    auto model = std::make_unique<AnalysisModel>();
    const std::string a = "10.0.0.1", b = "10.0.0.2", c = "10.0.0.3";
    auto add = [&model](const std::string& from, const std::string& to, const std::string& text) {
        model->addSip(packet(from, to, static_cast<uint32_t>(model->itemCount() + 1)),
                      SipMessage::parse(text));
    };
    add(a, b, sip("INVITE sip:b@h SIP/2.0", "call-1", "1 INVITE", "z1", "User-Agent: PhoneA\r\n"));
    add(a, c, sip("OPTIONS sip:c@h SIP/2.0", "call-2", "1 OPTIONS", "o1"));
    add(b, a, sip("SIP/2.0 200 OK", "call-1", "1 INVITE", "z1", "User-Agent: PhoneB\r\n"));
    add(c, a, sip("SIP/2.0 200 OK", "call-2", "1 OPTIONS", "o1"));
    add(a, b, sip("ACK sip:b@h SIP/2.0", "call-1", "1 ACK", "z2"));
    add(a, b, sip("BYE sip:b@h SIP/2.0", "call-1", "2 BYE", "z3"));
    add(b, a, sip("SIP/2.0 200 OK", "call-1", "2 BYE", "z3"));
    return model;
}

}  // namespace

TEST(DiagramState, AnEmptyModelHasNothingToShowOrDo) {
    AnalysisModel empty;
    DiagramState state;
    RecordingListener listener;
    state.addSelectionListener(&listener);
    state.setModel(&empty);
    EXPECT_TRUE(state.visibleColumns().empty());
    EXPECT_FALSE(state.selectedRow());
    EXPECT_FALSE(state.stepInDialog(true));
    state.toggleBookmark();
    EXPECT_TRUE(state.bookmarks().empty());
    EXPECT_EQ(listener.events, (std::vector<std::string>{"clear"}));
}

TEST(DiagramState, ModelsFiltersAndTheSelection) {
    std::unique_ptr<AnalysisModel> model = twoCalls();
    DiagramState state;
    RecordingListener listener;
    ASSERT_TRUE(state.addSelectionListener(&listener));
    state.setModel(model.get());
    // Columns in order of first appearance; row 0 selected and announced.
    EXPECT_EQ(state.visibleColumns(),
              (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(state.selectedRow(), RowIndex(0));
    EXPECT_EQ(listener.events, (std::vector<std::string>{"select 0"}));
    // The INVITE's dialog and transaction, as rows.
    EXPECT_EQ(state.dialogRows(), rows({0, 2, 4, 5, 6}));
    EXPECT_EQ(state.transactionRows(), rows({0, 2}));

    // The same row again changes nothing and tells nobody.
    EXPECT_FALSE(state.selectRow(RowIndex(0)));
    EXPECT_EQ(listener.events.size(), 1u);

    // A filter keeps the selected item across the rebuild, then clears the selection.
    state.selectRow(RowIndex(2));
    listener.events.clear();
    state.applyRowFilter(items({0, 2, 4, 5, 6}));
    EXPECT_FALSE(state.selectedRow());
    EXPECT_FALSE(state.selectedIndex());
    EXPECT_EQ(listener.events, (std::vector<std::string>{"select 2", "clear"}));
    EXPECT_EQ(state.visibleColumns(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    EXPECT_EQ(state.allColumns().size(), 3u);  // never shortened

    // Markers off: no dialog or transaction rows.
    state.setOptions(DiagramState::Options{false, false});
    state.selectRow(RowIndex(0));
    EXPECT_TRUE(state.dialogRows().empty());
    EXPECT_TRUE(state.transactionRows().empty());

    // Detaching clears the selection for the listeners.
    listener.events.clear();
    state.setModel(nullptr);
    EXPECT_EQ(listener.events, (std::vector<std::string>{"clear"}));
    EXPECT_TRUE(state.visibleColumns().empty());
}

TEST(DiagramState, AnItemTheFilterHidesReachesTheListenersWithoutARow) {
    std::unique_ptr<AnalysisModel> model = twoCalls();
    DiagramState state;
    RecordingListener listener;
    state.addSelectionListener(&listener);
    state.setModel(model.get());
    state.applyRowFilter(items({0, 2}));
    listener.events.clear();
    const AnalysisItem& hidden = model->item(ItemIndex(5));
    EXPECT_TRUE(state.selectRow(std::nullopt, &hidden));
    EXPECT_FALSE(state.selectedRow());
    EXPECT_EQ(state.selectedIndex(), ItemIndex(5));
    EXPECT_EQ(listener.events, (std::vector<std::string>{"select 5"}));
}

TEST(DiagramState, SteppingWrapsAroundWithAndWithoutAFilter) {
    std::unique_ptr<AnalysisModel> model = twoCalls();
    DiagramState state;
    state.setModel(model.get());
    // Dialog of call-1: rows 0, 2, 4, 5, 6.
    ASSERT_TRUE(state.stepInDialog(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(2));
    state.selectRow(RowIndex(6));
    ASSERT_TRUE(state.stepInDialog(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(0));  // wraps to the first
    ASSERT_TRUE(state.stepInDialog(false));
    EXPECT_EQ(state.selectedRow(), RowIndex(6));  // and back to the last
    // Transaction of the BYE: rows 5 and 6.
    state.selectRow(RowIndex(5));
    ASSERT_TRUE(state.stepInTransaction(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(6));
    ASSERT_TRUE(state.stepInTransaction(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(5));
    // The ACK is alone in its transaction: nothing to step to.
    state.selectRow(RowIndex(4));
    EXPECT_FALSE(state.stepInTransaction(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(4));

    // Filtered to call-1 without the ACK: rows 0 INVITE, 1 200, 2 BYE, 3 200.
    state.applyRowFilter(items({0, 2, 5, 6}));
    state.selectRow(RowIndex(3));
    ASSERT_TRUE(state.stepInDialog(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(0));
    ASSERT_TRUE(state.stepInDialog(false));
    EXPECT_EQ(state.selectedRow(), RowIndex(3));
}

TEST(DiagramState, BookmarksAndTheirListeners) {
    std::unique_ptr<AnalysisModel> model = twoCalls();
    DiagramState state;
    RecordingListener listener;
    ASSERT_TRUE(state.addBookmarkListener(&listener));
    state.setModel(model.get());
    state.selectRow(RowIndex(3));
    state.toggleBookmark();
    EXPECT_TRUE(state.selectionIsBookmarked());
    state.addBookmark(ItemIndex(3));   // twice
    state.addBookmark(ItemIndex(99));  // no such item: ignored
    state.addBookmark(ItemIndex(1));
    EXPECT_EQ(state.bookmarks(), items({3, 3, 1}));
    state.toggleBookmark();  // removes every occurrence, one notification each
    EXPECT_EQ(state.bookmarks(), items({1}));
    EXPECT_EQ(listener.events,
              (std::vector<std::string>{"add 3", "add 3", "add 1", "remove 3", "remove 3"}));
    state.selectRow(std::nullopt);
    state.toggleBookmark();  // nothing selected: nothing happens
    EXPECT_EQ(state.bookmarks(), items({1}));
}

TEST(DiagramState, EightListenersOfEachKind) {
    DiagramState state;
    RecordingListener listeners[9];
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(state.addSelectionListener(&listeners[i]));
        EXPECT_TRUE(state.addBookmarkListener(&listeners[i]));
    }
    EXPECT_FALSE(state.addSelectionListener(&listeners[8]));
    EXPECT_FALSE(state.addBookmarkListener(&listeners[8]));
    std::unique_ptr<AnalysisModel> model = twoCalls();
    state.setModel(model.get());
    EXPECT_EQ(listeners[7].events.size(), 1u);  // called in slot order, every slot
    EXPECT_TRUE(listeners[8].events.empty());
}

TEST(DiagramState, ColumnsMoveHideAndKeepTheirPlace) {
    std::unique_ptr<AnalysisModel> model = twoCalls();
    DiagramState state;
    state.setModel(model.get());
    EXPECT_FALSE(state.canMoveColumnLeft());  // no context column yet
    state.setContextColumn(0);
    EXPECT_FALSE(state.canMoveColumnLeft());
    EXPECT_TRUE(state.canMoveColumnRight());
    state.setContextColumn(2);
    EXPECT_TRUE(state.canMoveColumnLeft());
    EXPECT_FALSE(state.canMoveColumnRight());
    state.setContextColumn(7);
    EXPECT_FALSE(state.canMoveColumnLeft());
    EXPECT_FALSE(state.moveColumnLeft());

    state.setContextColumn(0);
    ASSERT_TRUE(state.moveColumnRight());
    EXPECT_EQ(state.visibleColumns(),
              (std::vector<std::string>{"10.0.0.2", "10.0.0.1", "10.0.0.3"}));
    EXPECT_EQ(state.columnOf("10.0.0.1").value_or(9), 1u);

    // C disappears from the shown rows and comes back at its place.
    state.applyRowFilter(items({0, 2}));
    EXPECT_EQ(state.visibleColumns(), (std::vector<std::string>{"10.0.0.2", "10.0.0.1"}));
    EXPECT_FALSE(state.columnOf("10.0.0.3"));
    state.applyRowFilter(std::nullopt);
    EXPECT_EQ(state.visibleColumns().back(), "10.0.0.3");

    // Hiding marks the endpoint; the window's filter then drops its rows.
    EXPECT_TRUE(state.toggleColumn(2));
    EXPECT_TRUE(state.isHidden("10.0.0.3"));
    EXPECT_TRUE(state.toggleColumn(2));
    EXPECT_FALSE(state.isHidden("10.0.0.3"));
    EXPECT_FALSE(state.toggleColumn(3));
}

TEST(DiagramState, ColumnLabelsFromUserLabelsAndUserAgents) {
    testsupport::TempFile folder("unused");
    setenv("XDG_CONFIG_HOME", folder.folder().c_str(), 1);
    AppSettings::registerSettings(SettingFont{});
    std::unique_ptr<AnalysisModel> model = twoCalls();
    UserLabelDB labels;
    DiagramState state(&labels);
    state.setModel(model.get());
    // A's INVITE carries PhoneA; B sends only a response with a User-Agent; C none.
    EXPECT_EQ(state.columnLabel(0), "PhoneA");
    EXPECT_EQ(state.columnLabel(1), "");
    EXPECT_EQ(state.columnLabel(2), "");
    labels.setLabel("10.0.0.3", "gateway", false);
    EXPECT_EQ(state.columnLabel(2), "gateway");
    labels.setLabel("10.0.0.1", "alice", false);
    EXPECT_EQ(state.columnLabel(0), "alice");
    labels.removeLabel("10.0.0.1");
    EXPECT_EQ(state.columnLabel(0), "PhoneA");
    EXPECT_EQ(state.columnLabel(9), "");
    SettingsStore::shutdown();
}

TEST(DiagramState, RelationsToTheSelection) {
    std::unique_ptr<AnalysisModel> model = twoCalls();
    DiagramState state;
    state.setModel(model.get());  // the INVITE
    EXPECT_EQ(state.relationToSelection(model->item(ItemIndex(2))), Relation::SameTransaction);
    EXPECT_EQ(state.relationToSelection(model->item(ItemIndex(5))), Relation::SameDialog);
    EXPECT_EQ(state.relationToSelection(model->item(ItemIndex(1))), Relation::None);
    state.selectRow(std::nullopt);
    EXPECT_EQ(state.relationToSelection(model->item(ItemIndex(2))), Relation::None);
}

TEST(DiagramState, AMediaMarkersDialogIsItsExtent) {
    // The bundled sample: INVITE, 180, 200, ACK, two PCMA markers, telephone events, BYE, 200.
    AnalysisResult result =
        PacketAnalysisDriver({}, nullptr, nullptr)
            .analyse(std::string(VARLOWE_SOURCE_DIR) + "/samples/sip-call-loopback.pcap", false);
    ASSERT_TRUE(result.model);
    DiagramState state;
    state.setModel(result.model.get());
    ASSERT_EQ(state.itemAtRow(RowIndex(4))->kind, ItemKind::Media);
    state.selectRow(RowIndex(4));
    // Its own row and the last row before the stream's last packet (number 475): the
    // telephone-event marker at row 6 (packet 478) is after it, so row 5.
    EXPECT_EQ(state.dialogRows(), rows({4, 5}));
    EXPECT_TRUE(state.transactionRows().empty());
    EXPECT_FALSE(state.stepInTransaction(true));
    ASSERT_TRUE(state.stepInDialog(true));
    EXPECT_EQ(state.selectedRow(), RowIndex(5));
}

TEST(MessageInfo, TitlesHeadingsAndContents) {
    const AnalysisModel model;
    AnalysisItem sipItem;
    sipItem.packet =
        udpRecord("10.0.0.1", 5060, "10.0.0.2", 5080, bytesOf("OPTIONS x SIP/2.0\r\n"));
    sipItem.packet.number = 12;
    sipItem.packet.transport = TransportKind::Tcp;
    EXPECT_EQ(message_info::title(sipItem), "Message (Packet #12: TCP)");
    EXPECT_EQ(message_info::heading(sipItem), "10.0.0.1:5060 --> 10.0.0.2:5080");
    EXPECT_EQ(message_info::content(model, sipItem), "OPTIONS x SIP/2.0\r\n");

    AnalysisItem stun;
    stun.kind = ItemKind::Stun;
    stun.packet.transport = TransportKind::Udp;
    stun.stun = std::make_unique<NameValuePair>();
    stun.stun->add("MSG_TYPE", "STUN_BIND_REQUEST");
    stun.stun->add("TRANSACTION_ID", "0011");
    stun.stun->add("STUN_USERNAME", std::string(600, 'u'));
    EXPECT_EQ(message_info::title(stun), "Message (Packet #0: UDP)");
    const std::string text = message_info::content(model, stun);
    EXPECT_EQ(text.substr(0, 51), "MSG_TYPE : STUN_BIND_REQUEST\nTRANSACTION_ID : 0011\n");
    EXPECT_EQ(text.substr(51), "STUN_USERNAME : " + std::string(509 - 16, 'u') + "\n");

    RtpStreamRegistry registry("unused.pcap");
    RtpStream* stream = registry.addRtpSource(TransactionKey{}, "10.0.0.1", 4000, "", 0, 8, "pcma",
                                              "audio", 8000, 4001, 0, 0);
    AnalysisItem media;
    media.kind = ItemKind::Media;
    media.stream = stream;
    const std::string figures = message_info::content(model, media);
    EXPECT_EQ(std::count(figures.begin(), figures.end(), '\n'), 20);
    EXPECT_EQ(figures.rfind("Source : :\n", 0), 0u);
    EXPECT_NE(figures.find("Start/End Packet # : 0/0\n"), std::string::npos);
    AnalysisItem none;
    none.kind = static_cast<ItemKind>(8);
    EXPECT_EQ(message_info::content(model, none), "");
}

// Find's matches are items: stepping goes through the shown rows that hold one, from the
// selection and round the ends; a filter leaves out the rows it hides.
TEST(DiagramState, FindStepsThroughTheShownMatchesRoundTheEnds) {
    auto model = twoCalls();
    DiagramState state;
    state.setModel(model.get());
    EXPECT_FALSE(state.findStep(true));
    state.setFindMatches({ItemIndex(1), ItemIndex(3), ItemIndex(6)});  // call-2 and the last 200
    EXPECT_EQ(state.findCount(), (std::pair<size_t, size_t>{3, 0}));
    // From the first row, which a new model selects.
    EXPECT_EQ(state.findStep(true), RowIndex(1));
    EXPECT_EQ(state.findStep(false), RowIndex(6));
    state.selectRow(RowIndex(3));
    EXPECT_EQ(state.findCount(), (std::pair<size_t, size_t>{3, 2}));
    EXPECT_EQ(state.findStep(true), RowIndex(6));
    EXPECT_EQ(state.findStep(false), RowIndex(1));
    state.selectRow(RowIndex(6));
    EXPECT_EQ(state.findStep(true), RowIndex(1));  // round the end
    state.selectRow(RowIndex(1));
    EXPECT_EQ(state.findStep(false), RowIndex(6));  // and round the start
    EXPECT_TRUE(state.isFindMatch(ItemIndex(3)));
    EXPECT_FALSE(state.isFindMatch(ItemIndex(2)));

    // Only call-1 shown: its last 200 is the one match left, whatever the selection.
    state.applyRowFilter(std::vector<ItemIndex>{ItemIndex(0), ItemIndex(2), ItemIndex(4),
                                                ItemIndex(5), ItemIndex(6)});
    EXPECT_EQ(state.findCount(), (std::pair<size_t, size_t>{1, 0}));
    EXPECT_EQ(state.findStep(true), RowIndex(4));
    state.selectRow(RowIndex(4));
    EXPECT_EQ(state.findStep(true), RowIndex(4));
    EXPECT_EQ(state.findStep(false), RowIndex(4));
    state.setFindMatches({ItemIndex(1)});
    EXPECT_FALSE(state.findStep(true));
    EXPECT_EQ(state.findCount(), (std::pair<size_t, size_t>{0, 0}));
}
