// The main window and the diagram windows under Xvfb, with the settings in a throwaway
// folder: opening captures, recent files, the layout memory, the View switches, the filter
// tree, the splitters and the menus.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/html/helpfrm.h>
#include <wx/html/helpwnd.h>
#include <wx/menu.h>
#include <wx/srchctrl.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include "desktop/main_frame.h"
#include "diagram/user_label_db.h"
#include "engine/diagnostics.h"
#include "engine/sip/call_list.h"
#include "panes/calls_list_pane.h"
#include "settings/app_settings.h"
#include "settings/settings_store.h"
#include "support/capture_builder.h"
#include "support/program_harness.h"
#include "support/window_test.h"
#include "toolkit/command_ids.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

std::vector<wxString> treeLabels(wxTreeCtrl* tree, wxTreeItemId parent) {
    std::vector<wxString> out;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
         child = tree->GetNextChild(parent, cookie)) {
        out.push_back(tree->GetItemText(child));
    }
    return out;
}

wxTreeItemId childNamed(wxTreeCtrl* tree, wxTreeItemId parent, const wxString& label) {
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = tree->GetFirstChild(parent, cookie); child.IsOk();
         child = tree->GetNextChild(parent, cookie)) {
        if (tree->GetItemText(child) == label)
            return child;
    }
    return wxTreeItemId();
}

}  // namespace

TEST(MainWindow, CapturesOpenInOrderAndAnOpenOneIsRaised) {
    Program program;
    SipDiagramFrame* first = program.open("samples/sip-call-loopback.pcap");
    SipDiagramFrame* second = program.open("tests/fixtures/sip-tcp-segmented.pcap");
    SipDiagramFrame* third = program.open("tests/fixtures/sip-udp-fragmented.pcap");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(third, nullptr);
    ASSERT_EQ(program.frame->countDiagramWindows(), 3u);
    EXPECT_EQ(program.frame->diagramWindows()[0], first);
    EXPECT_EQ(program.frame->diagramWindows()[2], third);
    EXPECT_EQ(first->GetTitle(), source("samples/sip-call-loopback.pcap"));
    EXPECT_EQ(first->diagram()->state().rowCount(), 9u);
    EXPECT_EQ(first->diagram()->state().selectedRow(), RowIndex(0));
    wxFileHistory& recent = program.frame->recentFiles();
    ASSERT_EQ(recent.GetCount(), 3u);
    EXPECT_EQ(recent.GetHistoryFile(0), source("tests/fixtures/sip-udp-fragmented.pcap"));
    EXPECT_EQ(program.progress.begins, 3);

    // Again: raised, nothing parsed, nothing added.
    program.open("samples/sip-call-loopback.pcap");
    EXPECT_EQ(program.frame->countDiagramWindows(), 3u);
    EXPECT_EQ(program.progress.begins, 3);
    EXPECT_EQ(recent.GetCount(), 3u);
    EXPECT_EQ(recent.GetHistoryFile(0), source("tests/fixtures/sip-udp-fragmented.pcap"));
    EXPECT_EQ(program.frame->GetActiveChild(), first);
}

// "x.pcap", "./x.pcap", "sub/../x.pcap" and the full path are one capture: one pass, one
// window titled with the full path, one recent file.
TEST(MainWindow, OneCaptureUnderEverySpellingOpensOnce) {
    Program program;
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    ASSERT_EQ(chdir(source("samples").c_str()), 0);
    const std::string full = source("samples/sip-call-loopback.pcap");
    for (const std::string& spelling :
         std::vector<std::string>{"sip-call-loopback.pcap", "./sip-call-loopback.pcap",
                                  "../samples//./sip-call-loopback.pcap", full}) {
        EXPECT_NE(program.frame->openCapture(spelling, false), AnalysisOutcome::OpenFailed)
            << spelling;
        drainEvents();
    }
    ASSERT_EQ(chdir(here), 0);
    EXPECT_EQ(program.progress.begins, 1);
    ASSERT_EQ(program.frame->countDiagramWindows(), 1u);
    EXPECT_EQ(program.frame->diagramWindows()[0]->GetTitle(), full);
    ASSERT_EQ(program.frame->recentFiles().GetCount(), 1u);
    EXPECT_EQ(program.frame->recentFiles().GetHistoryFile(0), full);
    // A link to it is the same capture as well.
    TempFile link("link.pcap");
    ASSERT_EQ(symlink(full.c_str(), link.path().c_str()), 0);
    program.frame->openCapture(link.path(), false);
    EXPECT_EQ(program.progress.begins, 1);
    EXPECT_EQ(program.frame->countDiagramWindows(), 1u);
}

// The pass goes on after its progress dialog has gone (the streams are finished, the window
// is built) while the toolkit's events are handled: meanwhile no input reaches the windows,
// the busy cursor is on, and a capture dropped then opens after the window is shown.
TEST(MainWindow, NothingReEntersBetweenThePassAndItsWindow) {
    Program program;
    struct Watching : IAnalysisProgress {
        MainFrame* frame = nullptr;
        int begins = 0;
        int ends = 0;
        bool enabledAtEnd = true;
        bool busyAtEnd = false;
        void begin(const std::string&, const std::string&, int) override { ++begins; }
        bool update(int, const std::string&) override { return true; }
        void end() override {
            if (ends++ == 0) {
                enabledAtEnd = frame->IsEnabled();
                busyAtEnd = wxIsBusy();
                // A file dropped on the window now.
                frame->CallAfter([target = frame] {
                    target->openCapture(source("tests/fixtures/sip-tcp-segmented.pcap"), false);
                });
            }
        }
    } watching;
    watching.frame = program.frame;
    program.services.progressShown = &watching;
    EXPECT_EQ(program.frame->openCapture(source("samples/sip-call-loopback.pcap"), false),
              AnalysisOutcome::Analysed);
    EXPECT_EQ(watching.begins, 1);  // no second pass inside the first
    EXPECT_FALSE(watching.enabledAtEnd);
    EXPECT_TRUE(watching.busyAtEnd);
    EXPECT_EQ(program.frame->countDiagramWindows(), 1u);
    EXPECT_TRUE(program.frame->IsEnabled());
    EXPECT_FALSE(wxIsBusy());
    EXPECT_TRUE(waitUntil([&] { return program.frame->countDiagramWindows() == 2u; }));
    EXPECT_EQ(watching.begins, 2);
}

TEST(MainWindow, AFailedOpenShowsTheBoxAndLeavesTheRecentFiles) {
    Program program;
    const std::string missing = source("no/such/capture.pcap");
    program.frame->recentFiles().AddFileToHistory(wxString::FromUTF8(missing));
    ASSERT_EQ(program.frame->recentFiles().GetCount(), 1u);
    EXPECT_EQ(program.frame->openCapture(missing, false), AnalysisOutcome::OpenFailed);
    ASSERT_EQ(program.dialogs.errors.size(), 1u);
    EXPECT_EQ(
        program.dialogs.errors[0].rfind("Error|Unable to open or parse the specified file.", 0),
        0u);
    EXPECT_NE(program.dialogs.errors[0].find("No such file or directory"), std::string::npos);
    EXPECT_EQ(program.frame->recentFiles().GetCount(), 0u);
    EXPECT_EQ(program.frame->countDiagramWindows(), 0u);
    // The next capture still opens.
    EXPECT_NE(program.open("samples/sip-call-loopback.pcap"), nullptr);
}

TEST(MainWindow, TheFilterTreeFiltersOnceAndHiddenColumnsTakeTheirMessages) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    wxTreeCtrl* tree = window->filterTree();
    wxTreeItemId root = tree->GetRootItem();
    EXPECT_EQ(tree->GetItemText(root), "Filters");
    EXPECT_EQ(treeLabels(tree, root), (std::vector<wxString>{"Call-Ids", "Methods", "To", "From"}));
    wxTreeItemId calls = childNamed(tree, root, "Call-Ids");
    wxTreeItemId call = childNamed(tree, calls, "INV:1-4533@127.0.0.2");
    ASSERT_TRUE(call.IsOk());
    tree->Expand(call);  // the branches come with the first opening
    EXPECT_EQ(treeLabels(tree, call),
              (std::vector<wxString>{"INV:z9hG4bK-4533-1-0", "ACK:z9hG4bK-4533-1-4",
                                     "BYE:z9hG4bK-4533-1-9"}));

    const int before = window->filterApplications();
    wxTreeItemId bye = childNamed(tree, childNamed(tree, root, "Methods"), "BYE");
    tree->SelectItem(bye);
    drainEvents();
    EXPECT_EQ(window->filterApplications(), before + 1);
    EXPECT_EQ(window->diagram()->state().rowCount(), 2u);    // BYE and its 200
    EXPECT_FALSE(window->diagram()->state().selectedRow());  // a filter clears the selection
    tree->SelectItem(bye);  // the same node again: no second filter
    drainEvents();
    EXPECT_EQ(window->filterApplications(), before + 1);
    // A change of the diagram settings applies it again even so.
    AppSettings::setDiagramShowAbsTime(false);
    EXPECT_EQ(window->filterApplications(), before + 2);
    AppSettings::setDiagramShowAbsTime(true);
    tree->SelectItem(root);
    drainEvents();
    EXPECT_EQ(window->diagram()->state().rowCount(), 9u);

    // Hiding 127.0.0.1 takes every message (they all touch it).
    window->diagram()->state().setContextColumn(1);
    wxCommandEvent hide(wxEVT_MENU, command::kFirstColumnToggle + 1);
    window->diagram()->HandleWindowEvent(hide);
    EXPECT_EQ(window->diagram()->state().rowCount(), 0u);
    window->diagram()->HandleWindowEvent(hide);
    EXPECT_EQ(window->diagram()->state().rowCount(), 9u);

    // The View switches reach the filter: no media start events, no provisional responses.
    AppSettings::setDiagramShowRtpMarkers(false);
    EXPECT_EQ(window->diagram()->state().rowCount(), 6u);
    AppSettings::setDiagramShowProvisionalResponses(false);
    EXPECT_EQ(window->diagram()->state().rowCount(), 5u);
    AppSettings::setDiagramShowRtpMarkers(true);
    AppSettings::setDiagramShowProvisionalResponses(true);
    EXPECT_EQ(window->diagram()->state().rowCount(), 9u);
}

TEST(MainWindow, SashesAreStoredAtOnceAndNewWindowsUseThem) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->mainSplitter()->GetSashPosition(), AppSettings::layoutSashVert());
    wxSplitterEvent moved(wxEVT_SPLITTER_SASH_POS_CHANGED, window->mainSplitter());
    moved.SetSashPosition(321);
    moved.SetEventObject(window->mainSplitter());
    window->mainSplitter()->ProcessWindowEvent(moved);
    EXPECT_EQ(AppSettings::layoutSashVert(), 321);
    // The info pane's sash counts from the lower edge, and stays so when it moves.
    wxSplitterWindow* right = window->rightSplitter();
    const int height = right->GetClientSize().y;
    EXPECT_EQ(right->GetSashPosition(), height + AppSettings::layoutSashDiagramInfo());
    wxSplitterEvent dragged(wxEVT_SPLITTER_SASH_POS_CHANGED, right);
    dragged.SetSashPosition(height - 200);
    dragged.SetEventObject(right);
    right->ProcessWindowEvent(dragged);
    EXPECT_EQ(AppSettings::layoutSashDiagramInfo(), -200);

    SipDiagramFrame* next = program.open("tests/fixtures/sip-tcp-segmented.pcap");
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->mainSplitter()->GetSashPosition(), 321);
    EXPECT_EQ(next->rightSplitter()->GetSashPosition(),
              next->rightSplitter()->GetClientSize().y - 200);

    // The pane switches take effect in every open window at once.
    EXPECT_TRUE(next->leftSplitter()->IsSplit());
    EXPECT_TRUE(next->rightSplitter()->IsSplit());
    AppSettings::setFrameShowFilterPane(false);
    EXPECT_TRUE(next->mainSplitter()->IsSplit());
    EXPECT_FALSE(next->leftSplitter()->IsSplit());
    EXPECT_EQ(next->leftSplitter()->GetWindow1(), next->selectionPanel());
    AppSettings::setFrameShowSelectionPane(false);
    EXPECT_FALSE(window->mainSplitter()->IsSplit());
    EXPECT_FALSE(next->mainSplitter()->IsSplit());
    AppSettings::setFrameShowInfoPane(false);
    EXPECT_FALSE(next->rightSplitter()->IsSplit());
    EXPECT_FALSE(next->infoPanel()->IsShown());
    AppSettings::setFrameShowInfoPane(true);
    EXPECT_TRUE(next->rightSplitter()->IsSplit());
    AppSettings::setFrameShowSelectionPane(true);
    EXPECT_TRUE(next->mainSplitter()->IsSplit());
    EXPECT_EQ(next->leftSplitter()->GetWindow1(), next->selectionPanel());
    AppSettings::setFrameShowTimePane(false);
    EXPECT_FALSE(next->diagramSplitter()->IsSplit());
    EXPECT_FALSE(next->timeBar()->IsShown());
    AppSettings::setFrameShowFilterPane(true);
    AppSettings::setFrameShowTimePane(true);
    EXPECT_TRUE(window->mainSplitter()->IsSplit());
    EXPECT_TRUE(next->diagramSplitter()->IsSplit());
    EXPECT_TRUE(next->leftSplitter()->IsSplit());
    EXPECT_EQ(next->leftSplitter()->GetWindow1(), next->filterTree());
    EXPECT_EQ(next->mainSplitter()->GetSashPosition(), 321);
    AppSettings::setLayoutSashVert(250);
    AppSettings::setLayoutSashDiagramInfo(-150);
}

TEST(MainWindow, MenusToolbarAndStatusBarByTheRules) {
    Program program;
    wxMenuBar* bar = program.frame->GetMenuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetMenuCount(), 4u);
    EXPECT_EQ(bar->GetMenuLabelText(0), "File");
    EXPECT_EQ(bar->GetMenuLabelText(3), "Help");
    // Without a diagram window: nothing to close or bookmark; Open, Help and the switches.
    EXPECT_TRUE(program.enabled(bar, command::kOpen));
    EXPECT_FALSE(program.enabled(bar, command::kClose));
    EXPECT_FALSE(program.enabled(bar, command::kCloseAll));
    EXPECT_FALSE(program.enabled(bar, command::kAddBookmark));
    EXPECT_TRUE(program.checked(bar, command::kShowToolbar));
    EXPECT_TRUE(program.checked(bar, command::kShowStatusbar));
    EXPECT_TRUE(program.checked(bar, command::kShowSipMessages));
    // What a diagram window does waits for one; page setup and preferences do not.
    for (int id : {command::kExport, command::kExportImage, command::kPrint, command::kPrintPreview,
                   command::kCopy, command::kCopyAll}) {
        EXPECT_FALSE(program.enabled(bar, id)) << id;
    }
    EXPECT_TRUE(program.enabled(bar, command::kPageSetup));
    EXPECT_TRUE(program.enabled(bar, command::kPreferences));
    EXPECT_TRUE(program.enabled(bar, command::kCaptureLive));
    EXPECT_TRUE(program.enabled(bar, command::kCheckForUpdates));
    ASSERT_NE(program.frame->GetStatusBar(), nullptr);
    EXPECT_EQ(program.frame->GetStatusBar()->GetName(), "status_line");
    EXPECT_EQ(program.frame->GetStatusBar()->GetStatusText(), MainFrame::standingText());
    ASSERT_NE(program.frame->GetToolBar(), nullptr);
    EXPECT_EQ(program.frame->GetToolBar()->GetName(), "toolbar");
    EXPECT_NE(program.frame->GetToolBar()->FindById(command::kOpen), nullptr);
    EXPECT_NE(program.frame->GetToolBar()->FindById(command::kPrint), nullptr);
    EXPECT_NE(program.frame->GetToolBar()->FindById(command::kCaptureLive), nullptr);

    // The View toggles with no diagram window: the bars go and come back at once.
    wxCommandEvent toolbar(wxEVT_MENU, command::kShowToolbar);
    program.frame->HandleWindowEvent(toolbar);
    EXPECT_FALSE(AppSettings::frameShowToolbar());
    EXPECT_EQ(program.frame->GetToolBar(), nullptr);
    EXPECT_FALSE(program.checked(bar, command::kShowToolbar));
    program.frame->HandleWindowEvent(toolbar);
    EXPECT_NE(program.frame->GetToolBar(), nullptr);

    // With a diagram window: its menus enable closing and bookmarking.
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    wxMenuBar* own = window->GetMenuBar();
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(program.enabled(own, command::kClose));
    EXPECT_TRUE(program.enabled(own, command::kCloseAll));
    EXPECT_TRUE(program.enabled(own, command::kToggleBookmark));
    for (int id : {command::kExport, command::kExportImage, command::kPrint, command::kPrintPreview,
                   command::kCopy, command::kCopyAll}) {
        EXPECT_TRUE(program.enabled(own, id)) << id;
    }
    // The tabs share the main window's bars: the switches still work with a window open.
    wxCommandEvent status(wxEVT_MENU, command::kShowStatusbar);
    program.frame->HandleWindowEvent(status);
    EXPECT_EQ(program.frame->GetStatusBar(), nullptr);
    EXPECT_FALSE(program.checked(own, command::kShowStatusbar));
    program.frame->HandleWindowEvent(status);
    EXPECT_NE(program.frame->GetStatusBar(), nullptr);
    // Closing the last diagram window leaves the main window with its bars.
    window->Close(true);
    drainEvents();
    EXPECT_EQ(program.frame->countDiagramWindows(), 0u);
    EXPECT_NE(program.frame->GetToolBar(), nullptr);
    EXPECT_NE(program.frame->GetStatusBar(), nullptr);
    EXPECT_FALSE(program.enabled(bar, command::kCloseAll));
}

TEST(MainWindow, TheSizeAndPlaceAreRememberedAsTheyChange) {
    Program program;
    program.frame->SetSize(wxSize(900, 640));
    EXPECT_TRUE(waitUntil([&] { return AppSettings::layoutFrameSize() == SettingSize{900, 640}; }));
    program.frame->Move(wxPoint(60, 40));
    EXPECT_TRUE(waitUntil([&] {
        return AppSettings::layoutFramePosition() == SettingPoint{60, 40};
    }));
    EXPECT_FALSE(AppSettings::layoutFrameMaximized());
}

TEST(MainWindow, AMaximisedWindowKeepsItsFormerPlace) {
    Program program;
    program.frame->Move(wxPoint(60, 40));
    ASSERT_TRUE(waitUntil([&] {
        return AppSettings::layoutFramePosition() == SettingPoint{60, 40};
    }));
    program.frame->Maximize();
    if (!waitUntil([&] { return program.frame->IsMaximized(); }, std::chrono::seconds(1))) {
        GTEST_SKIP() << "no window manager here to maximise windows";
    }
    EXPECT_TRUE(AppSettings::layoutFrameMaximized());
    program.frame->Move(wxPoint(5, 5));
    drainEvents();
    EXPECT_EQ(AppSettings::layoutFramePosition(), (SettingPoint{60, 40}));
}

// The message dialog belongs to its capture's window: it opens at the message's first line,
// closing it destroys it, and closing the capture takes its dialogs along.
TEST(MainWindow, MessageDialogsOpenAtTheTopAndGoWithTheirCapture) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    auto dialogs = [] {
        std::vector<wxDialog*> found;
        for (wxWindow* top : wxTopLevelWindows) {
            if (top->GetName() == "dialog" && !top->IsBeingDeleted()) {
                found.push_back(static_cast<wxDialog*>(top));
            }
        }
        return found;
    };
    wxCommandEvent contents(wxEVT_MENU, command::kContents);
    window->diagram()->HandleWindowEvent(contents);
    drainEvents();
    std::vector<wxDialog*> open = dialogs();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0]->GetParent(), window);
    auto* text = dynamic_cast<wxTextCtrl*>(open[0]->FindWindow("text"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->GetValue().StartsWith("INVITE sip:service@127.0.0.1:5060 SIP/2.0"));
    EXPECT_EQ(text->GetInsertionPoint(), 0);
    // Its Close button destroys it.
    wxCommandEvent close(wxEVT_BUTTON, wxID_OK);
    close.SetEventObject(open[0]->FindWindow(wxID_OK));
    open[0]->FindWindow(wxID_OK)->HandleWindowEvent(close);
    drainEvents();
    EXPECT_TRUE(dialogs().empty());

    // Two open, then the capture closed (Ctrl+W): none is left.
    window->diagram()->HandleWindowEvent(contents);
    window->diagram()->HandleWindowEvent(contents);
    drainEvents();
    EXPECT_EQ(dialogs().size(), 2u);
    window->Close(true);
    drainEvents();
    EXPECT_EQ(program.frame->countDiagramWindows(), 0u);
    EXPECT_TRUE(dialogs().empty());
}

// The help book opens (it is a zip archive the viewer needs a handler for), at its contents
// for F1 and at a topic for a dialog's Help; it is found beside the program and, installed,
// in share/varlowe.
TEST(MainWindow, HelpOpensItsBookAtTheTopicAsked) {
    Program program;
    ASSERT_TRUE(program.frame->loadHelpBook(VARLOWE_HELP_BOOK));
    wxCommandEvent help(wxEVT_MENU, command::kHelp);
    program.frame->HandleWindowEvent(help);
    wxHtmlHelpController* controller = program.frame->helpController();
    ASSERT_TRUE(waitUntil(
        [&] { return controller->GetFrame() != nullptr && controller->GetFrame()->IsShown(); }));
    wxHtmlWindow* page = controller->GetHelpWindow()->GetHtmlWindow();
    EXPECT_TRUE(waitUntil([&] { return page->GetOpenedPage().EndsWith("index.htm"); }))
        << page->GetOpenedPage();
    program.frame->showHelpPage("Capture.htm");
    EXPECT_TRUE(waitUntil([&] { return page->GetOpenedPage().EndsWith("Capture.htm"); }))
        << page->GetOpenedPage();
    EXPECT_NE(page->ToText().Find("Capturing live traffic"), wxNOT_FOUND) << page->ToText();
    EXPECT_EQ(page->ToText().Find("<h2>"), wxNOT_FOUND) << "shown as its source";
    controller->GetFrame()->Close(true);
    drainEvents();

    TempFile prefix("bin");
    ASSERT_EQ(mkdir(prefix.path().c_str(), 0700), 0);
    const std::string share = prefix.folder() + "/share";
    ASSERT_EQ(mkdir(share.c_str(), 0700), 0);
    ASSERT_EQ(mkdir((share + "/varlowe").c_str(), 0700), 0);
    writeBytes(share + "/varlowe/Varlowe.htb", bytesOf(fileText(VARLOWE_HELP_BOOK)));
    EXPECT_EQ(MainFrame::findHelpBook(prefix.path() + "/varlowe"), share + "/varlowe/Varlowe.htb");
    EXPECT_EQ(MainFrame::findHelpBook(prefix.folder() + "/varlowe"), "");
}

TEST(MainWindow, RecentFilesSurviveTheSettingsSave) {
    Program program;
    ASSERT_NE(program.open("samples/sip-call-loopback.pcap"), nullptr);
    AppSettings::setDiagramShowTimeDeltas(false);
    program.frame->Close(true);
    drainEvents();
    program.frame = nullptr;  // the toolkit destroyed it with its children
    const std::string file = fileText(SettingsStore::userConfigPath(AppSettings::kApplicationName));
    EXPECT_NE(file.find("file1=" + source("samples/sip-call-loopback.pcap")), std::string::npos)
        << file;
    EXPECT_NE(file.find("[diagram]"), std::string::npos) << file;
    EXPECT_NE(file.find("showTimeDeltas.value=0"), std::string::npos) << file;
}

// A capture with nothing to show opens its window and says why, in the status bar.
TEST(MainWindow, ACaptureWithNothingToShowSaysWhy) {
    Program program;
    CaptureBuilder builder;
    builder.add(ethernetFrame(Bytes(28, 0), 0x0806));
    builder.add(ethernetFrame(ipv4Packet(ipv4(10, 0, 0, 1), ipv4(10, 0, 0, 2), 1, Bytes(8, 0))));
    builder.add(ethernetFrame(ipv4Packet(ipv4(10, 0, 0, 1), ipv4(10, 0, 0, 2), 1, Bytes(8, 0))));
    TempFile file("unreadable.pcap");
    builder.writeTo(file.path());
    ASSERT_EQ(program.frame->openCapture(file.path(), false), AnalysisOutcome::Analysed);
    ASSERT_EQ(program.frame->countDiagramWindows(), 1u);
    EXPECT_EQ(program.frame->diagramWindows()[0]->diagram()->state().rowCount(), 0u);
    ASSERT_NE(program.frame->GetStatusBar(), nullptr);
    EXPECT_EQ(program.frame->GetStatusBar()->GetStatusText(),
              "Nothing to show in unreadable.pcap: 1 record: neither IPv4 nor IPv6 (ARP and other "
              "link protocols); 2 records: IP protocols other than UDP and TCP (ICMP, ESP and the "
              "like)");
}

// The calls list: View > Show Calls List splits it above the ladder and is remembered; a
// click on a call shows that call's ladder alone, as its Call-ID node in the tree does; the
// filter field and a click on a column's title reorder the rows and the selection follows
// its call; a node chosen in the tree takes over again.
TEST(MainWindow, TheCallsListShowsTheChosenCallsLadder) {
    Program program;
    SipDiagramFrame* window = program.open("tests/fixtures/sip-two-calls-one-port.pcap");
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->callsSplitter()->IsSplit());
    // While the list is off its rows are not made: they are made when it is first shown.
    EXPECT_EQ(window->callsPane()->table().callCount(), 0u);
    wxCommandEvent show(wxEVT_MENU, command::kShowCallsPane);
    program.frame->HandleWindowEvent(show);
    drainEvents();
    EXPECT_TRUE(AppSettings::frameShowCallsPane());
    ASSERT_TRUE(window->callsSplitter()->IsSplit());
    EXPECT_EQ(window->callsSplitter()->GetWindow1(), window->callsPane());
    CallsListPane* calls = window->callsPane();
    ASSERT_EQ(calls->list()->GetItemCount(), 2);
    EXPECT_EQ(calls->countText(), "2 of 2 calls");
    const size_t everything = window->diagram()->state().rowCount();

    // The second call's rows, as the tree's node of its Call-ID gives them.
    const std::string second = calls->table().row(1).callId;
    FilterNode node{FilterNode::Kind::Call, "", second, "", {}};
    const size_t secondRows = filterItems(*window->model(), &node, ItemSwitches{}, {}).size();
    ASSERT_GT(secondRows, 0u);
    ASSERT_LT(secondRows, everything);

    window->Raise();
    drainEvents();
    wxRect rect;
    ASSERT_TRUE(calls->list()->GetItemRect(1, rect));
    wxUIActionSimulator input;
    input.MouseMove(
        calls->list()->ClientToScreen(rect.GetPosition() + wxPoint(40, rect.height / 2)));
    input.MouseClick();
    if (!waitUntil([&] { return window->diagram()->state().rowCount() == secondRows; },
                   std::chrono::seconds(3))) {
        // No synthetic input on this display: the same selection through the list.
        calls->selectRows({1});
        ASSERT_TRUE(waitUntil([&] { return window->diagram()->state().rowCount() == secondRows; }));
    }
    EXPECT_EQ(window->diagram()->state().selectedRow(), RowIndex(0));

    // Sorted by Call-ID the other way round, the selection moves with its call.
    wxListEvent click(wxEVT_LIST_COL_CLICK, calls->list()->GetId());
    click.SetEventObject(calls->list());
    click.m_col = static_cast<int>(CallColumn::CallId);
    calls->list()->GetEventHandler()->ProcessEvent(click);
    calls->list()->GetEventHandler()->ProcessEvent(click);
    ASSERT_EQ(calls->selectedRows().size(), 1u);
    EXPECT_EQ(calls->table().row(calls->selectedRows()[0]).callId, second);
    calls->filterField()->SetValue("no such call");
    drainEvents();
    EXPECT_EQ(calls->list()->GetItemCount(), 0);
    EXPECT_EQ(calls->countText(), "0 of 2 calls");
    calls->filterField()->SetValue("");
    drainEvents();
    EXPECT_EQ(calls->list()->GetItemCount(), 2);

    // A click on the tree's root, selected before the calls were chosen: every row again, and
    // no call chosen in the list.
    wxTreeCtrl* tree = window->filterTree();
    ASSERT_EQ(tree->GetSelection(), tree->GetRootItem());
    wxRect label;
    ASSERT_TRUE(tree->GetBoundingRect(tree->GetRootItem(), label, true));
    input.MouseMove(tree->ClientToScreen(label.GetPosition() + wxPoint(4, label.height / 2)));
    input.MouseClick();
    if (!waitUntil([&] { return window->diagram()->state().rowCount() == everything; },
                   std::chrono::seconds(3))) {
        // No synthetic input on this display: the tree's own click, synthesized.
        wxMouseEvent down(wxEVT_LEFT_DOWN);
        down.SetPosition(label.GetPosition() + wxPoint(4, label.height / 2));
        down.SetEventObject(tree);
        tree->GetEventHandler()->ProcessEvent(down);
        drainEvents();
    }
    EXPECT_EQ(window->diagram()->state().rowCount(), everything);
    EXPECT_TRUE(calls->selectedRows().empty());

    // Hidden again from the View menu; a new window opens as the setting says.
    program.frame->HandleWindowEvent(show);
    drainEvents();
    EXPECT_FALSE(AppSettings::frameShowCallsPane());
    EXPECT_FALSE(window->callsSplitter()->IsSplit());
}

// Find from the toolbar's field: Enter (Find Next) selects the first row holding the text in
// any case, F3 and Shift+F3 step on and back round the ends, the status bar counts; Ctrl+F's
// command puts the keys into the field.
TEST(MainWindow, FindSelectsEachMatchAndCountsThem) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    ASSERT_NE(program.frame->findField(), nullptr);
    auto selectedText = [&] {
        const AnalysisItem* item = window->diagram()->state().selectedItem();
        return item != nullptr ? window->diagram()->state().model()->payloadText(*item)
                               : std::string();
    };
    auto status = [&] { return program.frame->GetStatusBar()->GetStatusText(); };
    wxCommandEvent find(wxEVT_MENU, command::kFind);
    program.frame->HandleWindowEvent(find);
    drainEvents();
    // The focus is in the field (or the text entry inside it).
    wxWindow* focus = wxWindow::FindFocus();
    while (focus != nullptr && focus != program.frame->findField()) {
        focus = focus->GetParent();
    }
    EXPECT_EQ(focus, program.frame->findField());
    program.frame->findField()->SetValue("sip/2.0 200 ok");
    wxCommandEvent enter(wxEVT_TEXT_ENTER, program.frame->findField()->GetId());
    enter.SetEventObject(program.frame->findField());
    program.frame->findField()->GetEventHandler()->ProcessEvent(enter);
    drainEvents();
    EXPECT_EQ(selectedText().rfind("SIP/2.0 200 OK", 0), 0u) << selectedText();
    const std::optional<RowIndex> first = window->diagram()->state().selectedRow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(status().StartsWith("Match 1 of ")) << status();
    const size_t count = window->diagram()->state().findCount().first;
    ASSERT_GE(count, 2u);
    auto step = [&](int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        window->HandleWindowEvent(event);
        drainEvents();
    };
    step(command::kFindNext);
    EXPECT_GT(window->diagram()->state().selectedRow()->value, first->value);
    EXPECT_TRUE(status().StartsWith("Match 2 of ")) << status();
    step(command::kFindPrevious);
    step(command::kFindPrevious);  // round the start to the last match
    EXPECT_EQ(status(), wxString::Format("Match %zu of %zu for \"sip/2.0 200 ok\"", count, count));
    program.frame->findField()->SetValue("no such text");
    step(command::kFindNext);
    EXPECT_EQ(status(), "No match for \"no such text\"");
    EXPECT_TRUE(window->diagram()->state().findMatches().empty());
}

// A View switch keeps the selected item selected, at its new row, while it is still shown;
// the info panel goes on showing it.
TEST(MainWindow, AViewSwitchKeepsTheSelection) {
    Program program;
    SipDiagramFrame* window = program.open("samples/sip-call-loopback.pcap");
    ASSERT_NE(window, nullptr);
    DiagramState& state = window->diagram()->state();
    std::optional<RowIndex> answer;
    for (size_t row = 0; row < state.rowCount() && !answer; ++row) {
        if (state.model()->payloadText(*state.itemAtRow(RowIndex(row))).rfind("SIP/2.0 200", 0) ==
            0) {
            answer = RowIndex(row);
        }
    }
    ASSERT_TRUE(answer);
    window->diagram()->selectRow(*answer);
    const ItemIndex item = *state.selectedIndex();
    auto toggle = [&](int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        program.frame->HandleWindowEvent(event);
        drainEvents();
    };
    toggle(command::kShowTimeDeltas);
    EXPECT_EQ(state.selectedIndex(), item);
    EXPECT_EQ(state.selectedRow(), answer);
    toggle(command::kShowProvisionalResponses);  // the 180 before it goes
    ASSERT_FALSE(AppSettings::diagramShowProvisionalResponses());
    EXPECT_EQ(state.selectedIndex(), item);
    EXPECT_LT(state.selectedRow()->value, answer->value);
    auto* contents = dynamic_cast<wxTextCtrl*>(window->infoPanel()->page(PageRole::Contents));
    ASSERT_NE(contents, nullptr);
    EXPECT_TRUE(contents->GetValue().StartsWith("SIP/2.0 200")) << contents->GetValue();
    toggle(command::kShowProvisionalResponses);
    toggle(command::kShowTimeDeltas);
    EXPECT_EQ(state.selectedRow(), answer);
}

// Cancel keeps what was read, and the window says the capture was read only in part.
TEST(MainWindow, ACancelledReadingSaysTheCaptureWasReadInPart) {
    // Large enough that the pass is still reading when the first progress is cancelled.
    CaptureBuilder capture;
    constexpr uint32_t kMessages = 40000;
    for (uint32_t n = 0; n < kMessages; ++n) {
        capture.add(
            udpFrame(ipv4(10, 0, 0, 1), 5060, ipv4(10, 0, 0, 2), 5060,
                     bytesOf("OPTIONS sip:b@h SIP/2.0\r\nVia: SIP/2.0/UDP h;branch=z9hG4bK" +
                             std::to_string(n) +
                             "\r\nFrom: <sip:a@h>;tag=a\r\nTo: <sip:b@h>\r\n"
                             "Call-ID: c" +
                             std::to_string(n) +
                             "\r\nCSeq: 1 OPTIONS\r\n"
                             "Content-Length: 0\r\n\r\n")),
            100 + n / 100, n % 100);
    }
    TempFile file("large.pcap");
    capture.writeTo(file.path());
    Program program;
    program.progress.cancel = true;
    SipDiagramFrame* window = program.openPath(file.path());
    ASSERT_NE(window, nullptr);
    ASSERT_GT(program.progress.updates, 0);
    if (window->model()->itemCount() == kMessages) {
        GTEST_SKIP() << "the pass had read everything before Cancel reached it";
    }
    EXPECT_EQ(window->GetTitle(), wxString::FromUTF8(file.path()) + " (read in part)");
    EXPECT_EQ(window->capturePath(), wxString::FromUTF8(file.path()));
    EXPECT_TRUE(program.frame->GetStatusBar()->GetStatusText().Contains("read only in part"));
    // It is still the capture's window: opened again, it is raised, not read again.
    program.progress.cancel = false;
    EXPECT_EQ(program.openPath(file.path()), window);
    EXPECT_EQ(program.progress.begins, 1);
}
