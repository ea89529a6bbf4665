// The diagram control under Xvfb: pixels at the points the geometry computes, and the
// control driven by mouse, keyboard and menu events.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/splitter.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>

#include <memory>

#include "diagram/user_label_db.h"
#include "diagram_view/edit_column_label_dialog.h"
#include "diagram_view/sip_diagram.h"
#include "diagram_view/sip_diagram_time_bar.h"
#include "diagram_view/sip_message_info_dialog.h"
#include "engine/sip/packet_analysis_driver.h"
#include "settings/app_settings.h"
#include "support/capture_builder.h"
#include "support/media_test_util.h"
#include "support/window_test.h"
#include "toolkit/command_ids.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::unique_ptr<AnalysisModel> analyse(const std::string& path) {
    AnalysisResult result = PacketAnalysisDriver({}, nullptr, nullptr).analyse(path, false);
    return std::move(result.model);
}

std::string samplePath() {
    return std::string(VARLOWE_SOURCE_DIR) + "/samples/sip-call-loopback.pcap";
}

// The menus a right click would open, recorded instead of shown, and the label dialog
// answered without a loop of its own.
class RecordingDiagram : public SipDiagram {
  public:
    using SipDiagram::SipDiagram;
    struct Entry {
        int id;
        wxString label;
        bool enabled;
        bool checked;
    };
    std::vector<Entry> lastMenu;
    int popups = 0;
    std::optional<std::pair<std::string, bool>> labelAnswer;
    std::string labelAsked;

  protected:
    void showPopup(wxMenu& menu, wxPoint) override {
        ++popups;
        lastMenu.clear();
        for (wxMenuItem* item : menu.GetMenuItems()) {
            lastMenu.push_back(Entry{item->GetId(), item->GetItemLabel(), item->IsEnabled(),
                                     item->IsCheckable() && item->IsChecked()});
        }
    }
    bool askColumnLabel(std::string& text, bool& persist) override {
        labelAsked = text;
        if (!labelAnswer) {
            return false;
        }
        text = labelAnswer->first;
        persist = labelAnswer->second;
        return true;
    }
};

// A frame with a time bar and a diagram over one capture.
struct DiagramWindow : IDiagramOwner {
    std::unique_ptr<AnalysisModel> model;
    wxFrame* frame = nullptr;
    SipDiagramTimeBar* timeBar = nullptr;
    RecordingDiagram* diagram = nullptr;
    int filterRequests = 0;
    std::optional<std::pair<size_t, size_t>> lastSync;

    DiagramWindow(std::unique_ptr<AnalysisModel> analysed, UserLabelDB* labels,
                  wxSize size = wxSize(1000, 700))
        : model(std::move(analysed)) {
        frame = new wxFrame(nullptr, wxID_ANY, "test", wxPoint(0, 0), size);
        auto* splitter = new wxSplitterWindow(frame, wxID_ANY);
        timeBar = new SipDiagramTimeBar(splitter);
        diagram = new RecordingDiagram(splitter, labels, this);
        splitter->SplitVertically(timeBar, diagram, 16);
        frame->Show();
        frame->SetSize(size);
        drainEvents();
        timeBar->setModel(model.get());
        diagram->setModel(model.get());
        drainEvents();
    }
    ~DiagramWindow() override {
        diagram->setModel(nullptr);
        timeBar->setModel(nullptr);
        frame->Destroy();
        drainEvents();
    }
    void applyFilter(bool) override {
        ++filterRequests;
        std::vector<ItemIndex> shown = model->allItems();
        for (const std::string& address : diagram->state().hiddenColumns()) {
            model->removeAddress(shown, address);
        }
        diagram->applyRowFilter(shown);
        timeBar->setModel(model.get());
    }
    void syncTimeBar(size_t first, size_t rows) override {
        lastSync = {first, rows};
        timeBar->setVisibleRows(static_cast<int64_t>(first), static_cast<int64_t>(rows));
    }

    wxImage render() const {
        wxSize size = diagram->GetClientSize();
        wxBitmap bitmap(size);
        wxMemoryDC dc(bitmap);
        diagram->paintView(dc);
        dc.SelectObject(wxNullBitmap);
        return bitmap.ConvertToImage();
    }
    // Client coordinates of a row's centre and of a column's centre.
    int rowY(size_t row) const {
        const DiagramGeometry& g = diagram->geometry();
        return static_cast<int>(g.rowCentre(row) - int64_t{g.rowHeight} * diagram->viewStart().row);
    }
    int columnX(size_t column) const {
        return diagram->geometry().columnCentre(column) -
               static_cast<int>(DiagramGeometry::kHorizontalStep * diagram->viewStart().step);
    }
    void mouse(wxEventType type, wxPoint at, bool control = false) {
        wxMouseEvent event(type);
        event.SetPosition(at);
        event.SetControlDown(control);
        event.SetEventObject(diagram);
        diagram->HandleWindowEvent(event);
        drainEvents();
    }
    void key(int code) {
        wxKeyEvent event(wxEVT_KEY_DOWN);
        event.m_keyCode = code;
        event.SetEventObject(diagram);
        diagram->HandleWindowEvent(event);
    }
    void command(int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(diagram);
        diagram->HandleWindowEvent(event);
    }
    std::optional<size_t> selected() const {
        std::optional<RowIndex> row = diagram->state().selectedRow();
        return row ? std::optional<size_t>(row->value) : std::nullopt;
    }
};

// The label the settings keep for an address, as the next run would read it.
std::string storedLabel(const std::string& address) {
    return SettingsStore::instance().getString("userLabels", address, "");
}

wxColour pixel(const wxImage& image, int x, int y) {
    return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

bool near(const wxColour& a, const wxColour& b, int tolerance = 40) {
    return std::abs(a.Red() - b.Red()) <= tolerance &&
           std::abs(a.Green() - b.Green()) <= tolerance &&
           std::abs(a.Blue() - b.Blue()) <= tolerance;
}

// Whether any pixel on the row's centre line between x0 and x1 has the colour.
bool lineHasColour(const wxImage& image, int x0, int x1, int y, const wxColour& colour) {
    for (int x = x0; x <= x1; ++x) {
        if (near(pixel(image, x, y), colour, 20))
            return true;
    }
    return false;
}

// A capture with one of each arrow class between two hosts, and an OPTIONS nobody answers.
std::unique_ptr<AnalysisModel> classesModel() {
    auto model = std::make_unique<AnalysisModel>();
    auto add = [&model](const std::string& from, const std::string& to, const std::string& start,
                        const std::string& cseq, const std::string& branch) {
        std::string text =
            start + "\r\nVia: SIP/2.0/UDP h;branch=" + branch +
            "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>\r\nCall-ID: c1\r\nCSeq: " + cseq +
            "\r\nContent-Length: 0\r\n\r\n";
        PacketRecord packet = udpRecord(from, 5060, to, 5062, bytesOf(text), 100,
                                        static_cast<uint32_t>(model->itemCount()) * 1000,
                                        static_cast<uint32_t>(model->itemCount() + 1));
        model->addSip(packet, SipMessage::parse(text));
    };
    add("10.0.0.1", "10.0.0.2", "INVITE sip:b@h SIP/2.0", "1 INVITE", "z1");    // 0 request
    add("10.0.0.2", "10.0.0.1", "SIP/2.0 180 Ringing", "1 INVITE", "z1");       // 1 provisional
    add("10.0.0.2", "10.0.0.1", "SIP/2.0 486 Busy Here", "1 INVITE", "z1");     // 2 error
    add("10.0.0.1", "10.0.0.2", "OPTIONS sip:b@h SIP/2.0", "2 OPTIONS", "z2");  // 3 unanswered
    add("10.0.0.2", "10.0.0.1", "SIP/2.0 302 Moved", "3 INFO", "z3");           // 4 redirect
    return model;
}

}  // namespace

TEST(SipDiagramDrawing, LifelinesBackgroundsAndArrowColoursOfTheSample) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels);
    const DiagramState& state = window.diagram->state();
    ASSERT_EQ(state.visibleColumns(), (std::vector<std::string>{"127.0.0.2", "127.0.0.1"}));
    ASSERT_EQ(window.selected().value_or(99), 0u);  // row 0 selected after the model is set

    const DiagramGeometry& g = window.diagram->geometry();
    wxImage image = window.render();
    const wxColour separator(128, 128, 128);
    for (size_t column = 0; column < 2; ++column) {
        // Just below a row's top edge the lifeline is alone at the column's centre.
        for (size_t row = 1; row < 8; ++row) {
            const int y = static_cast<int>(g.rowTop(row)) + 2;
            EXPECT_TRUE(near(pixel(image, window.columnX(column), y), separator, 10))
                << "column " << column << " row " << row;
        }
    }
    // The selected row's background at the right edge, an even row's and an odd row's.
    const int right = window.diagram->GetClientSize().GetWidth() - 4;
    EXPECT_TRUE(near(pixel(image, right, window.rowY(0)), wxColour(255, 255, 0), 5));
    EXPECT_TRUE(near(pixel(image, right, window.rowY(2)), wxColour(244, 244, 244), 5));
    EXPECT_TRUE(near(pixel(image, right, window.rowY(1)), wxColour(255, 255, 255), 5));
    // The selected INVITE is drawn in the selection colour; the 180 of its transaction in
    // the related colour; its line runs from after the transport icon to the head.
    const int x1 = window.columnX(0), x2 = window.columnX(1);
    EXPECT_TRUE(lineHasColour(image, x1 + 30, x1 + 60, window.rowY(0), wxColour(0, 0, 255)));
    EXPECT_TRUE(lineHasColour(image, x1 + 30, x1 + 90, window.rowY(1), wxColour(0, 0, 128)));
    // Nothing selected: the request is drawn in its class colour, black.
    window.diagram->selectRow(std::nullopt, nullptr);
    image = window.render();
    EXPECT_TRUE(lineHasColour(image, x1 + 30, x1 + 60, window.rowY(0), wxColour(0, 0, 0)));
    EXPECT_FALSE(lineHasColour(image, x1 + 30, x2 - 30, window.rowY(0), wxColour(0, 0, 255)));
    // The media markers in the audio colour.
    EXPECT_TRUE(lineHasColour(image, x1 + 30, x1 + 60, window.rowY(4), wxColour(0, 0, 255)));
}

TEST(SipDiagramDrawing, ClassColoursAndTheUnansweredIcon) {
    UserLabelDB labels;
    DiagramWindow window(classesModel(), &labels);
    window.diagram->selectRow(std::nullopt, nullptr);
    wxImage image = window.render();
    if (const char* keep = std::getenv("VARLOWE_KEEP_RENDERS")) {
        image.SaveFile(wxString(keep) + "/classes.png", wxBITMAP_TYPE_PNG);
    }
    const int x1 = window.columnX(0), x2 = window.columnX(1);
    // Right to left responses: their lines run from x2 leftwards.
    EXPECT_TRUE(lineHasColour(image, x1 + 30, x2 - 30, window.rowY(2), wxColour(255, 0, 0)));
    EXPECT_FALSE(lineHasColour(image, x1 + 30, x2 - 30, window.rowY(1), wxColour(255, 0, 0)));
    // The OPTIONS nobody answered carries the icon just before its destination's lifeline;
    // the answered INVITE does not.
    ArrowShape unanswered = arrowShape(x1, x2, 16, 16);
    const int iconX = *unanswered.unansweredIconX + 8;
    EXPECT_TRUE(near(pixel(image, iconX, window.rowY(3) - 3), wxColour(198, 40, 40), 50));
    EXPECT_FALSE(near(pixel(image, iconX, window.rowY(0) - 3), wxColour(198, 40, 40), 50));
    // The ACK-less 486 transaction: no icon on responses.
    EXPECT_FALSE(near(pixel(image, x1 + 4 + 8, window.rowY(2) - 3), wxColour(198, 40, 40), 50));
}

TEST(SipDiagramInput, ClicksKeysAndStepping) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels);
    const int x = (window.columnX(0) + window.columnX(1)) / 2;
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(x, window.rowY(2)));
    EXPECT_EQ(window.selected().value_or(99), 2u);
    // A click on the selection clears it; a click on nothing with nothing selected stays so.
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(x, window.rowY(2)));
    EXPECT_FALSE(window.selected());
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(20, window.rowY(2)));
    EXPECT_FALSE(window.selected());
    // Anywhere on a row selects it, beside its arrow too, as its highlight spans the row;
    // the time margin and below the last row select nothing and clear.
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(window.columnX(1), window.rowY(3)));
    EXPECT_EQ(window.selected().value_or(99), 3u);
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(window.columnX(1) + 40, window.rowY(5)));
    EXPECT_EQ(window.selected().value_or(99), 5u);
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(x, window.rowY(8) + 60));
    EXPECT_FALSE(window.selected());

    window.key(WXK_DOWN);  // nothing selected: row 0
    EXPECT_EQ(window.selected().value_or(99), 0u);
    window.key(WXK_UP);  // already at the top
    EXPECT_EQ(window.selected().value_or(99), 0u);
    window.key(WXK_END);
    EXPECT_EQ(window.selected().value_or(99), 8u);
    window.key(WXK_DOWN);
    EXPECT_EQ(window.selected().value_or(99), 8u);
    window.key(WXK_HOME);
    EXPECT_EQ(window.selected().value_or(99), 0u);
    window.key(WXK_NUMPAD_DOWN);
    EXPECT_EQ(window.selected().value_or(99), 1u);

    // The INVITE's transaction: INVITE, 180, 200; stepping wraps.
    window.key(WXK_HOME);
    window.command(command::kNextInTransaction);
    window.command(command::kNextInTransaction);
    EXPECT_EQ(window.selected().value_or(99), 2u);
    window.command(command::kNextInTransaction);
    EXPECT_EQ(window.selected().value_or(99), 0u);
    window.command(command::kPreviousInTransaction);
    EXPECT_EQ(window.selected().value_or(99), 2u);
    // The dialog runs to the BYE's 200 at row 8, then back to the INVITE.
    window.key(WXK_END);
    window.command(command::kNextInDialog);
    EXPECT_EQ(window.selected().value_or(99), 0u);

    window.command(command::kToggleBookmark);
    EXPECT_TRUE(window.diagram->state().isBookmarked(ItemIndex(0)));
    window.command(command::kToggleBookmark);
    EXPECT_FALSE(window.diagram->state().isBookmarked(ItemIndex(0)));
}

TEST(SipDiagramInput, RealKeysAndClicksThroughTheDisplay) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels);
    window.frame->Raise();
    window.diagram->SetFocus();
    drainEvents();
    wxUIActionSimulator input;
    const wxPoint target = window.diagram->ClientToScreen(
        wxPoint((window.columnX(0) + window.columnX(1)) / 2, window.rowY(3)));
    input.MouseMove(target);
    input.MouseClick();
    if (!waitUntil([&] { return window.selected() == std::optional<size_t>(3); },
                   std::chrono::seconds(2))) {
        GTEST_SKIP() << "the display takes no synthetic input here";
    }
    input.Char(WXK_DOWN);
    EXPECT_TRUE(waitUntil([&] { return window.selected() == std::optional<size_t>(4); }));
    input.Char('b', wxMOD_CONTROL);  // Ctrl+B: the diagram's accelerator
    EXPECT_TRUE(waitUntil([&] { return window.diagram->state().isBookmarked(ItemIndex(4)); }));
    input.Char(WXK_DOWN, wxMOD_ALT);  // Alt+Down: next in dialog (the second PCMA marker)
    EXPECT_TRUE(waitUntil([&] { return window.selected() == std::optional<size_t>(5); }));
}

// PageUp and PageDown, and a page click in the scroll bar, move a whole page of rows; the
// toolkit animates the bar's page step, and the diagram follows it to its end.
TEST(SipDiagramInput, PageKeysAndPageClicksMoveAPageOfRows) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels, wxSize(800, 300));
    window.frame->Raise();
    window.diagram->SetFocus();
    drainEvents();
    const int page = window.diagram->GetClientSize().y / window.diagram->geometry().rowHeight - 1;
    ASSERT_GE(page, 2) << "the window shows too few rows for a page of two";
    wxUIActionSimulator input;
    input.MouseMove(window.diagram->ClientToScreen(wxPoint(window.columnX(0), window.rowY(0))));
    input.MouseClick();
    if (!waitUntil([&] { return !window.selected(); }, std::chrono::seconds(2))) {
        GTEST_SKIP() << "the display takes no synthetic input here";
    }
    input.Char(WXK_PAGEDOWN);
    EXPECT_TRUE(waitUntil([&] { return window.diagram->viewStart().row == page; }))
        << "at row " << window.diagram->viewStart().row;
    EXPECT_EQ(window.diagram->GetScrollPos(wxVERTICAL), page);
    EXPECT_FALSE(window.selected());  // the selection stays as it was
    input.Char(WXK_PAGEUP);
    EXPECT_TRUE(waitUntil([&] { return window.diagram->viewStart().row == 0; }));

    // Shift and a click in the bar's trough below the slider: a page step of the bar.
    const wxSize client = window.diagram->GetClientSize();
    const wxSize whole = window.diagram->GetSize();
    const wxPoint trough =
        window.diagram->ClientToScreen(wxPoint(client.x + (whole.x - client.x) / 2, client.y - 10));
    input.MouseMove(trough);
    input.KeyDown(WXK_SHIFT);
    input.MouseClick();
    input.KeyUp(WXK_SHIFT);
    EXPECT_TRUE(waitUntil([&] {
        return window.diagram->viewStart().row >= page &&
               window.diagram->GetScrollPos(wxVERTICAL) == window.diagram->viewStart().row;
    })) << "at row "
        << window.diagram->viewStart().row;
}

TEST(SipDiagramMenus, HeaderAndItemMenusWithTheirStates) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels);
    RecordingDiagram& diagram = *window.diagram;
    // Right click on the first column's header.
    window.mouse(wxEVT_RIGHT_DOWN, wxPoint(window.columnX(0), 4));
    ASSERT_EQ(diagram.popups, 1);
    std::vector<RecordingDiagram::Entry> menu = diagram.lastMenu;
    ASSERT_EQ(menu.size(), 6u + 2u);
    EXPECT_EQ(menu[0].label, "Move Column Left");
    EXPECT_FALSE(menu[0].enabled);
    EXPECT_EQ(menu[1].label, "Move Column Right");
    EXPECT_TRUE(menu[1].enabled);
    EXPECT_EQ(menu[3].label, "Edit Column Label");
    EXPECT_EQ(menu[4].label, "Restore Column Label");
    EXPECT_FALSE(menu[4].enabled);  // no user label yet
    EXPECT_EQ(menu[6].id, command::kFirstColumnToggle);
    EXPECT_EQ(menu[6].label, "127.0.0.2");
    EXPECT_TRUE(menu[6].checked);
    EXPECT_EQ(menu[7].label, "127.0.0.1");

    // Move it right, then hide 127.0.0.1: the filter is applied again without its rows.
    diagram.HandleWindowEvent(
        *std::make_unique<wxCommandEvent>(wxEVT_MENU, command::kMoveColumnRight));
    EXPECT_EQ(diagram.state().visibleColumns(),
              (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
    window.command(command::kFirstColumnToggle + 1);
    EXPECT_EQ(window.filterRequests, 1);
    EXPECT_EQ(diagram.state().rowCount(), 0u);  // every row touched 127.0.0.1
    window.command(command::kFirstColumnToggle + 1);
    EXPECT_EQ(diagram.state().rowCount(), 9u);

    // Right click on the INVITE: it is selected and the item menu offers extraction.
    const int x = (window.columnX(0) + window.columnX(1)) / 2;
    window.mouse(wxEVT_RIGHT_DOWN, wxPoint(x, window.rowY(0)));
    EXPECT_EQ(window.selected().value_or(99), 0u);
    menu = diagram.lastMenu;
    std::vector<wxString> labelsShown;
    for (const auto& entry : menu) labelsShown.push_back(entry.label);
    EXPECT_EQ(labelsShown,
              (std::vector<wxString>{"Contents...", "", "Copy\tCtrl+C", "", "Extract RTP Data...",
                                     "Save Audio As...", "Play Audio...", "",
                                     "Next In Transaction\tCtrl+Down",
                                     "Previous In Transaction\tCtrl+Up", "Next In Dialog\tAlt+Down",
                                     "Previous In Dialog\tAlt+Up", "", "Add Bookmark\tCtrl+B"}));
    EXPECT_TRUE(menu[4].enabled);  // its SDP offers audio
    EXPECT_TRUE(menu[5].enabled);
    EXPECT_TRUE(menu[6].enabled);
    // Bookmarked, the menu offers removal instead; the ACK (no SDP) offers no extraction.
    window.command(command::kAddBookmark);
    window.mouse(wxEVT_RIGHT_DOWN, wxPoint(x, window.rowY(0)));
    EXPECT_EQ(diagram.lastMenu.back().label, "Remove Bookmark\tCtrl+B");
    window.mouse(wxEVT_RIGHT_DOWN, wxPoint(x, window.rowY(3)));
    EXPECT_FALSE(diagram.lastMenu[4].enabled);
    EXPECT_EQ(diagram.lastMenu[4].id, command::kExtractRtp);
    EXPECT_FALSE(diagram.lastMenu[5].enabled);
    EXPECT_EQ(diagram.lastMenu[5].id, command::kSaveAudio);
    EXPECT_FALSE(diagram.lastMenu[6].enabled);
    EXPECT_EQ(diagram.lastMenu[6].id, command::kPlayAudio);
    // Right click in the margin opens nothing.
    const int before = diagram.popups;
    window.mouse(wxEVT_RIGHT_DOWN, wxPoint(10, window.rowY(5)));
    EXPECT_EQ(diagram.popups, before);
}

TEST(SipDiagramDialogs, MessageDialogsForEveryKind) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels);
    const int x = (window.columnX(0) + window.columnX(1)) / 2;
    window.mouse(wxEVT_LEFT_DCLICK, wxPoint(x, window.rowY(0)));
    window.mouse(wxEVT_LEFT_DCLICK, wxPoint(x, window.rowY(0)));
    window.diagram->selectRow(RowIndex(4));
    window.command(command::kContents);  // the media start marker
    std::vector<SipMessageInfoDialog*> dialogs;
    for (wxWindow* top : wxTopLevelWindows) {
        if (auto* dialog = dynamic_cast<SipMessageInfoDialog*>(top)) {
            if (dialog->IsShown())
                dialogs.push_back(dialog);
        }
    }
    ASSERT_EQ(dialogs.size(), 3u);  // two for the INVITE, side by side, and one for the stream
    int invites = 0, streams = 0;
    for (SipMessageInfoDialog* dialog : dialogs) {
        auto* text = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowByName("text", dialog));
        ASSERT_NE(text, nullptr);
        if (dialog->GetTitle() == "Message (Packet #1: UDP)") {
            ++invites;
            EXPECT_TRUE(text->GetValue().StartsWith("INVITE sip:"));
        } else if (dialog->GetTitle() == "Message (Packet #5: UDP)") {
            ++streams;
            EXPECT_TRUE(text->GetValue().StartsWith("Source : 127.0.0.2:18000\n"));
            EXPECT_NE(text->GetValue().Find("Total Packets : 236\n"), wxNOT_FOUND);
        }
        dialog->Destroy();
    }
    EXPECT_EQ(invites, 2);
    EXPECT_EQ(streams, 1);
    drainEvents();
}

TEST(SipDiagramDialogs, StunMessageDialogListsItsPairs) {
    AnalysisItem stun;
    stun.kind = ItemKind::Stun;
    stun.packet = udpRecord("10.0.0.1", 50000, "74.0.0.1", 3478, bytesOf("x"));
    stun.packet.number = 7;
    stun.stun = std::make_unique<NameValuePair>();
    stun.stun->add("MSG_TYPE", "STUN_BIND_REQUEST");
    stun.stun->add("TRANSACTION_ID", "00AB");
    const AnalysisModel model;
    auto* dialog = new SipMessageInfoDialog(nullptr, wxID_ANY, "Message", model, stun);
    EXPECT_EQ(dialog->GetTitle(), "Message (Packet #7: UDP)");
    auto* heading = wxWindow::FindWindowByName("staticText", dialog);
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(heading->GetLabel(), "10.0.0.1:50000 --> 74.0.0.1:3478");
    auto* text = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowByName("text", dialog));
    EXPECT_EQ(text->GetValue(), "MSG_TYPE : STUN_BIND_REQUEST\nTRANSACTION_ID : 00AB\n");
    dialog->Destroy();
}

TEST(SipDiagramDialogs, ColumnLabelsSharedByEveryDiagram) {
    UserLabelDB labels;
    DiagramWindow first(analyse(samplePath()), &labels);
    DiagramWindow second(analyse(samplePath()), &labels);
    RecordingDiagram& diagram = *first.diagram;
    first.mouse(wxEVT_RIGHT_DOWN, wxPoint(first.columnX(1), 4));
    // No user label and no User-Agent: the dialog opens empty.
    diagram.labelAnswer = std::make_pair(std::string("sipp UAS"), false);
    first.command(command::kEditColumnLabel);
    EXPECT_EQ(diagram.labelAsked, "");
    EXPECT_EQ(second.diagram->state().columnLabel(1), "sipp UAS");  // every window sees it
    EXPECT_EQ(storedLabel("127.0.0.1"), "");                        // but it is not stored
    // Edited again with "Always use" on: stored in the settings.
    diagram.labelAnswer = std::make_pair(std::string("callee"), true);
    first.command(command::kEditColumnLabel);
    EXPECT_EQ(diagram.labelAsked, "sipp UAS");
    EXPECT_EQ(storedLabel("127.0.0.1"), "callee");
    // An empty text keeps the label; Cancel changes nothing.
    diagram.labelAnswer = std::make_pair(std::string(), true);
    first.command(command::kEditColumnLabel);
    diagram.labelAnswer.reset();
    first.command(command::kEditColumnLabel);
    EXPECT_EQ(labels.label("127.0.0.1"), "callee");
    // The menu now offers "Restore Column Label", which drops it everywhere.
    first.mouse(wxEVT_RIGHT_DOWN, wxPoint(first.columnX(1), 4));
    EXPECT_TRUE(diagram.lastMenu[4].enabled);
    first.command(command::kRestoreColumnLabel);
    EXPECT_EQ(second.diagram->state().columnLabel(1), "");
    EXPECT_EQ(storedLabel("127.0.0.1"), "");

    // The dialog itself: its controls and what it hands back.
    EditColumnLabelDialog dialog(first.frame, "PhoneA");
    EXPECT_EQ(dialog.GetTitle(), "Edit Column Label");
    EXPECT_EQ(dialog.GetId(), window::kEditLabelDialog);
    EXPECT_EQ(dialog.text(), "PhoneA");
    EXPECT_TRUE(dialog.persist());
    EXPECT_EQ(dialog.persistBox()->GetLabel(), "Always use this label for this ip address.");
    dialog.persistBox()->SetValue(false);
    EXPECT_FALSE(dialog.persist());
}

TEST(SipDiagramTimeBar, TicksAndTheVisibleRangeFollowTheScroll) {
    // 300 INVITEs one a second, then 50 within one microsecond each: a burst at the bottom.
    auto model = std::make_unique<AnalysisModel>();
    for (uint32_t i = 0; i < 350; ++i) {
        std::string text = "INVITE sip:b@h SIP/2.0\r\nCall-ID: c" + std::to_string(i) +
                           "\r\nFrom: <sip:a@h>\r\nTo: <sip:b@h>\r\nCSeq: 1 INVITE\r\n\r\n";
        const uint32_t seconds = i < 300 ? 1000 + i : 1300;
        model->addSip(udpRecord("10.0.0.1", 5060, "10.0.0.2", 5060, bytesOf(text), seconds,
                                i < 300 ? 0 : i - 300, i + 1),
                      SipMessage::parse(text));
    }
    UserLabelDB labels;
    DiagramWindow window(std::move(model), &labels);
    SipDiagramTimeBar& bar = *window.timeBar;
    const wxSize size = bar.GetClientSize();
    ASSERT_GE(size.GetWidth(), 10);
    wxBitmap bitmap(size);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        bar.draw(dc);
    }
    wxImage image = bitmap.ConvertToImage();
    const int w = size.GetWidth(), h = size.GetHeight();
    // The span runs from 1000 s to 1300.000049 s. Row 150 at 1150 s: a tick at that share
    // of the height, L = (w - 4) / 6 long from the right edge, nothing left of it.
    auto rowY = [h](int64_t microseconds) {
        return static_cast<int>(static_cast<int64_t>(h) * microseconds / 300000049);
    };
    const int y = rowY(150000000);
    EXPECT_TRUE(near(pixel(image, w - 1, y), wxColour(0, 0, 255), 10));
    EXPECT_TRUE(near(pixel(image, w - 1 - (w - 4) / 6 - 1, y), wxColour(255, 255, 255), 10));
    // The burst of 51 rows at the bottom: one tick grown to the whole width less 4.
    EXPECT_TRUE(near(pixel(image, 5, h - 1), wxColour(0, 0, 255), 10));
    // The visible-range bar follows the diagram's scroll.
    ASSERT_TRUE(window.lastSync);
    EXPECT_EQ(window.lastSync->first, 0u);
    EXPECT_EQ(bar.firstVisibleRow(), 0);
    EXPECT_EQ(bar.visibleRowCount(), static_cast<int64_t>(window.lastSync->second) - 1);
    window.diagram->scrollTo(ViewStart{150, 0});
    drainEvents();
    EXPECT_EQ(window.lastSync->first, 150u);
    EXPECT_EQ(bar.firstVisibleRow(), 149);
    EXPECT_EQ(bar.visibleRowCount(), static_cast<int64_t>(window.lastSync->second));
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        bar.draw(dc);
    }
    image = bitmap.ConvertToImage();
    EXPECT_TRUE(near(pixel(image, 1, rowY(149000000) + 2), wxColour(0, 0, 255), 10));
    EXPECT_TRUE(near(pixel(image, 1, 3), wxColour(255, 255, 255), 10));  // not at the top
}

TEST(SipDiagramInput, AVeryLongCaptureScrollsPaintsAndHitTestsByRows) {
    // 400,000 rows between two hosts: a document of some 23 million pixels, more than a
    // drawing surface takes; the control scrolls by rows and draws relative to the view.
    auto model = std::make_unique<AnalysisModel>();
    for (uint32_t i = 0; i < 400000; ++i) {
        auto pairs = std::make_unique<NameValuePair>();
        pairs->add("MSG_TYPE", "STUN_BIND_RESPONSE");
        pairs->add("TRANSACTION_ID", std::to_string(i));
        model->addStun(i % 2 == 0
                           ? udpRecord("10.0.0.1", 3478, "10.0.0.2", 5000, {}, 1000 + i, 0, i + 1)
                           : udpRecord("10.0.0.2", 5000, "10.0.0.1", 3478, {}, 1000 + i, 0, i + 1),
                       std::move(pairs));
    }
    UserLabelDB labels;
    DiagramWindow window(std::move(model), &labels);
    RecordingDiagram& diagram = *window.diagram;
    const DiagramGeometry& g = diagram.geometry();
    ASSERT_GT(g.virtualHeight(400000), int64_t{20000000});
    diagram.selectRow(RowIndex(399990));  // brings it into view
    drainEvents();
    const ViewStart view = diagram.viewStart();
    EXPECT_EQ(view.row, 399990);
    // The point at a row's centre hits that row, far beyond 32-bit pixel offsets.
    const int x = (window.columnX(0) + window.columnX(1)) / 2;
    EXPECT_EQ(diagram.hitItem(wxPoint(x, window.rowY(399993))), RowIndex(399993));
    EXPECT_EQ(diagram.hitItem(wxPoint(x, window.rowY(399990))), RowIndex(399990));
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(x, window.rowY(399995)));
    EXPECT_EQ(window.selected().value_or(0), 399995u);
    // The selected row is painted where the geometry puts it.
    wxImage image = window.render();
    const int right = diagram.GetClientSize().GetWidth() - 4;
    EXPECT_TRUE(near(pixel(image, right, window.rowY(399995)), wxColour(255, 255, 0), 5));
    EXPECT_FALSE(near(pixel(image, right, window.rowY(399994)), wxColour(255, 255, 0), 5));
    // And the last row can be reached with End.
    window.key(WXK_END);
    EXPECT_EQ(window.selected().value_or(0), 399999u);
}

// The ladder keeps its bearings: scrolled down, the header with the endpoints is drawn as at
// the top; scrolled sideways, the time margin with the times is drawn as before; a click on
// the header over scrolled rows selects no row.
TEST(SipDiagramPaint, TheHeaderAndTheTimeMarginStayWhileTheRowsScroll) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels, wxSize(300, 300));
    window.diagram->selectRow(std::nullopt, nullptr);
    const DiagramGeometry& g = window.diagram->geometry();
    const wxSize client = window.diagram->GetClientSize();
    auto band = [](const wxImage& image, int x, int y, int width, int height) {
        return image.GetSubImage(wxRect(x, y, width, height));
    };
    // Alike but for the toolkit's rounding at the edges of filled shapes.
    auto same = [](const wxImage& a, const wxImage& b) {
        return a.GetWidth() == b.GetWidth() && a.GetHeight() == b.GetHeight() &&
               std::equal(
                   a.GetData(), a.GetData() + a.GetWidth() * a.GetHeight() * 3, b.GetData(),
                   [](unsigned char x, unsigned char y) { return std::abs(int{x} - int{y}) <= 3; });
    };
    const wxImage top = window.render();
    const wxImage header = band(top, 0, 0, client.x, g.headerHeight);
    window.diagram->scrollTo(ViewStart{3, 0});
    ASSERT_EQ(window.diagram->viewStart().row, 3);
    const wxImage down = window.render();
    EXPECT_TRUE(same(band(down, 0, 0, client.x, g.headerHeight), header));
    EXPECT_FALSE(same(band(down, 0, g.headerHeight, client.x, 3 * g.rowHeight),
                      band(top, 0, g.headerHeight, client.x, 3 * g.rowHeight)));
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(window.columnX(0) + 20, g.headerHeight / 2));
    EXPECT_FALSE(window.selected());
    window.mouse(wxEVT_LEFT_DOWN, wxPoint(window.columnX(0) + 20, g.headerHeight + 5));
    EXPECT_EQ(window.selected().value_or(99), 3u);  // the first row under the header
    window.diagram->selectRow(std::nullopt, nullptr);

    window.diagram->scrollTo(ViewStart{0, 0});
    const wxImage left = window.render();
    window.diagram->scrollTo(ViewStart{0, 2});
    ASSERT_EQ(window.diagram->viewStart().step, 2);
    const wxImage sideways = window.render();
    const int rowsHeight = client.y - g.headerHeight;
    // Each row's time across its centre (the deltas between rows get a ground of their own
    // once rows run under them).
    for (size_t row = 0; window.rowY(row) + 6 < client.y; ++row) {
        const int y = window.rowY(row) - 5;
        EXPECT_TRUE(same(band(sideways, 0, y, DiagramGeometry::kScreenMargin, 11),
                         band(left, 0, y, DiagramGeometry::kScreenMargin, 11)))
            << "row " << row;
    }
    EXPECT_FALSE(
        same(band(sideways, DiagramGeometry::kScreenMargin, g.headerHeight, 100, rowsHeight),
             band(left, DiagramGeometry::kScreenMargin, g.headerHeight, 100, rowsHeight)));
}

// An arrow too short for its ports leaves them out rather than showing "5..."; the method and
// the centre text are fitted as before.
TEST(SipDiagramPaint, PortsAreWholeOrLeftOut) {
    std::unique_ptr<AnalysisModel> model = analyse(samplePath());
    const AnalysisItem& invite = model->item(ItemIndex(0));  // 5070 -> 5060, "INVITE", "1"
    ItemDrawCache cache;
    auto tenEach = [](const wxString& text) { return static_cast<int>(text.length()) * 10; };
    // Sides of (box - centre - 5) / 2: 40 holds "5070", 39 does not.
    const ItemDrawCache::FittedTexts roomy = cache.fittedTexts(invite, 95, true, tenEach);
    EXPECT_EQ(roomy.left, "5070");
    EXPECT_EQ(roomy.right, "5060");
    const ItemDrawCache::FittedTexts narrow = cache.fittedTexts(invite, 93, true, tenEach);
    EXPECT_EQ(narrow.left, "");
    EXPECT_EQ(narrow.right, "");
    EXPECT_EQ(narrow.centre, "1");
    EXPECT_EQ(narrow.top, "INVITE");
    const ItemDrawCache::FittedTexts tiny = cache.fittedTexts(invite, 40, true, tenEach);
    EXPECT_EQ(tiny.top, "I...");  // the method still fitted with its dots
}

// The ladder draws its texts through the device's graphics context, skipping the device's
// own measuring: the pixels, the background behind a text and the pen and brush after it must
// be what the device's DrawText gives.
TEST(SipDiagramPaint, TextsDrawnAsTheDeviceDrawsThem) {
    const DiagramStyle style = DiagramStyle::fromSettings();
    const wxString text = "INVITE sip:b@h 5070";
    for (const wxBrushStyle mode : {wxBRUSHSTYLE_SOLID, wxBRUSHSTYLE_TRANSPARENT}) {
        for (const bool sizeKnown : {true, false}) {
            SCOPED_TRACE(std::string(mode == wxBRUSHSTYLE_SOLID ? "solid" : "transparent") +
                         (sizeKnown ? ", size known" : ", size measured"));
            auto draw = [&](bool own) {
                wxBitmap bitmap(240, 40);
                {
                    wxMemoryDC dc(bitmap);
                    dc.SetBackground(*wxWHITE_BRUSH);
                    dc.Clear();
                    // A lifeline the text crosses, and a pen and brush set before the text.
                    dc.SetPen(wxPen(wxColour(128, 128, 128)));
                    dc.DrawLine(40, 0, 40, 40);
                    dc.SetPen(wxPen(wxColour(200, 0, 0), 2));
                    dc.SetBrush(wxBrush(wxColour(0, 0, 200)));
                    dc.SetFont(style.arrowFont);
                    dc.SetTextForeground(wxColour(0, 0, 0));
                    dc.SetTextBackground(wxColour(244, 244, 244));
                    dc.SetBackgroundMode(mode);
                    if (own) {
                        dc.DrawText(text, 8, 12);
                    } else {
                        EXPECT_NE(dc.GetGraphicsContext(), nullptr);
                        drawDeviceText(dc, text, 8, 12,
                                       sizeKnown ? std::optional<wxSize>(dc.GetTextExtent(text))
                                                 : std::nullopt);
                    }
                    dc.DrawRectangle(200, 8, 24, 24);  // in the pen and brush set before
                }
                return bitmap.ConvertToImage();
            };
            const wxImage expected = draw(true);
            const wxImage drawn = draw(false);
            int differing = 0;
            for (int y = 0; y < expected.GetHeight(); ++y) {
                for (int x = 0; x < expected.GetWidth(); ++x) {
                    differing += pixel(expected, x, y) != pixel(drawn, x, y) ? 1 : 0;
                }
            }
            EXPECT_EQ(differing, 0);
            // The text's ground hides the lifeline only when solid.
            const wxColour under = pixel(drawn, 40, 13);
            EXPECT_EQ(under == wxColour(244, 244, 244), mode == wxBRUSHSTYLE_SOLID);
            EXPECT_EQ(pixel(drawn, 212, 20), wxColour(0, 0, 200));
        }
    }
}

// A message from an endpoint to itself draws its loop with its texts beside it.
TEST(SipDiagramPaint, AMessageToItsOwnEndpointHasItsTextBesideTheLoop) {
    auto model = std::make_unique<AnalysisModel>();
    const std::string text =
        "OPTIONS sip:a@h SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bKl\r\nFrom: <sip:a@h>;tag=a"
        "\r\nTo: <sip:a@h>\r\nCall-ID: self\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
    model->addSip(udpRecord("10.0.0.1", 5060, "10.0.0.1", 5062, bytesOf(text), 100, 0, 1),
                  SipMessage::parse(text));
    UserLabelDB labels;
    DiagramWindow window(std::move(model), &labels);
    window.diagram->selectRow(std::nullopt, nullptr);
    ASSERT_EQ(window.diagram->state().visibleColumns().size(), 1u);
    const wxImage image = window.render();
    const DiagramGeometry& g = window.diagram->geometry();
    const int x = window.columnX(0);
    // The method's line: some dark text pixel right of the loop (which ends 25 to the right).
    const int textY = static_cast<int>(g.rowTop(0)) + g.rowHeight / 2 - 12;
    bool dark = false;
    for (int y = textY - 6; y <= textY + 6 && !dark; ++y) {
        dark = lineHasColour(image, x + 30, x + g.columnWidth / 2, y, wxColour(0, 0, 0));
    }
    EXPECT_TRUE(dark);
    EXPECT_TRUE(lineHasColour(image, x + 5, x + 25, window.rowY(0), wxColour(0, 0, 0)));  // loop
}

// Find's matches and the bookmarks carry marks at the left edge of their rows.
TEST(SipDiagramPaint, MatchesAndBookmarksAreMarkedInTheLadder) {
    UserLabelDB labels;
    DiagramWindow window(analyse(samplePath()), &labels);
    window.diagram->selectRow(std::nullopt, nullptr);
    window.diagram->state().addBookmark(ItemIndex(2));
    window.diagram->state().setFindMatches({ItemIndex(4)});
    const wxImage image = window.render();
    const wxColour orange(230, 120, 0), violet(120, 60, 200);
    EXPECT_TRUE(near(pixel(image, 1, window.rowY(4)), orange, 10));
    EXPECT_TRUE(near(pixel(image, 6, window.rowY(2)), violet, 10));
    EXPECT_FALSE(near(pixel(image, 1, window.rowY(3)), orange, 60));
    EXPECT_FALSE(near(pixel(image, 6, window.rowY(3)), violet, 60));
}
