#include "main_frame.h"

#include <wx/accel.h>
#include <wx/app.h>
#include <wx/dnd.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/filesys.h>
#include <wx/fs_zip.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/srchctrl.h>
#include <wx/stattext.h>
#include <wx/stdpaths.h>
#include <wx/sysopt.h>
#include <wx/textdlg.h>
#include <wx/toolbar.h>
#include <wx/utils.h>

#include <algorithm>

#include "analysis_ui.h"
#include "diagram/user_label_db.h"
#include "engine/file_paths.h"
#include "engine/output_file.h"
#include "engine/product_info.h"
#include "engine/sip/background_analysis.h"
#include "preferences/preference_dlg.h"
#include "settings/app_settings.h"
#include "settings/parsing_settings.h"
#include "settings/version_check.h"
#include "toolkit/command_ids.h"
#include "toolkit/menu_builder.h"
#include "toolkit/resource_images.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {

constexpr const char* kHelpBook = "Varlowe.htb";

class CaptureDropTarget : public wxFileDropTarget {
  public:
    explicit CaptureDropTarget(MainFrame* frame) : frame_(frame) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& files) override {
        // Opened after the drop has ended: a progress dialog inside the drop would hold the
        // source application.
        std::vector<std::string> paths;
        for (const wxString& file : files) {
            paths.emplace_back(file.utf8_str());
        }
        frame_->CallAfter([frame = frame_, paths] {
            for (const std::string& path : paths) {
                frame->openCapture(path, false);
            }
        });
        return true;
    }

  private:
    MainFrame* frame_;
};

}  // namespace

const char* const kCapturesReadText =
    "Reads libpcap and pcapng captures of Ethernet, Linux cooked, raw IP, PPP and loopback "
    "frames: IPv4 and IPv6 with UDP and TCP, through PPPoE, MPLS, IP-in-IP and GRE, and HEP "
    "on UDP port 9060.";

wxString MainFrame::standingText() {
    return wxString(kProductName) + " by Ostrane Software - " + kProductWebAddress;
}

namespace {
DesktopServices& toolkitServices() {
    static DesktopServices services;
    return services;
}
}  // namespace

MainFrame::MainFrame(UserLabelDB* labels, const wxPoint& position, const wxSize& size,
                     DesktopServices* services)
    : wxMDIParentFrame(nullptr, wxID_ANY, kProductName, position, size,
                       wxDEFAULT_FRAME_STYLE | wxHSCROLL | wxVSCROLL, "frame"),
      labels_(labels),
      services_(services != nullptr ? services : &toolkitServices()),
      recentFiles_(command::kRecentFileCount, command::kFirstRecentFile) {
    SetIcon(resourceIcon("sipframe", wxSize(32, 32)));
    applyBars();
    loadRecentFiles();
    loadPageSetup();
    SetMenuBar(makeMenuBar());
    // Ctrl+Q ends the program as desktop programs do, beside the menu's Alt+F4.
    wxAcceleratorEntry quit(wxACCEL_CTRL, 'Q', command::kExit);
    SetAcceleratorTable(wxAcceleratorTable(1, &quit));
    SetDropTarget(new CaptureDropTarget(this));

    help_ = std::make_unique<wxHtmlHelpController>(wxHF_DEFAULT_STYLE, this);
    loadHelpBook(findHelpBook(wxStandardPaths::Get().GetExecutablePath().utf8_string()));

    bindCommands();
    Bind(wxEVT_MENU, [this](wxCommandEvent& event) { commands_.handle(event); });
    Bind(wxEVT_MENU, &MainFrame::onRecentFile, this, command::kFirstRecentFile,
         command::kFirstRecentFile + command::kRecentFileCount - 1);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { commands_.updateUi(event); });
    Bind(wxEVT_SIZE, &MainFrame::onSize, this);
    Bind(wxEVT_MOVE, &MainFrame::onMove, this);
    Bind(wxEVT_MAXIMIZE, &MainFrame::onMaximize, this);
    Bind(wxEVT_CLOSE_WINDOW, &MainFrame::onClose, this);
    SettingsStore::instance().addListener(this);
}

MainFrame::~MainFrame() {
    versionCheck_.reset();  // its answer must not come to a window that is gone
    SettingsStore::instance().removeListener(this);
}

wxMenuBar* MainFrame::makeMenuBar() {
    auto* bar = new wxMenuBar();
    wxMenu* file = new wxMenu();
    for (const MenuItemSpec& row : menus::file()) {
        if (row.id == command::kRecentFiles) {
            auto* recent = new wxMenu();
            recentFiles_.UseMenu(recent);
            recentFiles_.AddFilesToMenu(recent);
            file->AppendSubMenu(recent, wxString::FromUTF8(row.label),
                                wxString::FromUTF8(row.help));
            file->FindItemByPosition(file->GetMenuItemCount() - 1)->SetId(command::kRecentFiles);
        } else {
            buildMenu({row}, file);
        }
    }
    bar->Append(file, "&File");
    bar->Append(buildMenu(menus::edit()), "&Edit");
    bar->Append(buildMenu(menus::view()), "&View");
    bar->Append(buildMenu(menus::help()), "&Help");
    return bar;
}

void MainFrame::applyBars() {
    const bool toolbar = AppSettings::frameShowToolbar();
    const bool status = AppSettings::frameShowStatusbar();
    if (toolbar && GetToolBar() == nullptr) {
        makeToolBar();
    } else if (!toolbar && GetToolBar() != nullptr) {
        findField_ = nullptr;
        wxToolBar* bar = GetToolBar();
        SetToolBar(nullptr);
        bar->Destroy();
    }
    if (status && GetStatusBar() == nullptr) {
        CreateStatusBar(1, wxSTB_SIZEGRIP | wxFULL_REPAINT_ON_RESIZE, wxID_ANY, "status_line");
        SetStatusText(standingText());
    } else if (!status && GetStatusBar() != nullptr) {
        wxStatusBar* bar = GetStatusBar();
        SetStatusBar(nullptr);
        bar->Destroy();
    }
    SendSizeEvent();
}

void MainFrame::makeToolBar() {
    wxToolBar* bar = CreateToolBar(wxTB_FLAT | wxTB_HORIZONTAL | wxNO_BORDER, wxID_ANY, "toolbar");
    bar->SetToolBitmapSize(wxSize(18, 18));
    bool separatorPending = false;
    for (int id : toolbarCommands()) {
        const Command* tool = id != 0 ? commandOf(id) : nullptr;
        if (tool == nullptr) {
            separatorPending = bar->GetToolsCount() > 0;
            continue;
        }
        if (separatorPending) {
            bar->AddSeparator();
            separatorPending = false;
        }
        // A switch shows whether it is on (the update-UI checks it).
        bar->AddTool(id, tool->tip, resourceBitmap(tool->icon, wxSize(18, 18)), tool->tip,
                     tool->setting != nullptr ? wxITEM_CHECK : wxITEM_NORMAL);
    }
    // Find: Enter looks for the next match in the window shown.
    bar->AddSeparator();
    findField_ = new wxSearchCtrl(bar, window::kFindField, wxString::FromUTF8(findText_),
                                  wxDefaultPosition, wxSize(FromDIP(220), -1), wxTE_PROCESS_ENTER);
    findField_->SetDescriptiveText("Find (Ctrl+F)");
    findField_->ShowCancelButton(true);
    findField_->Bind(wxEVT_TEXT,
                     [this](wxCommandEvent&) { findText_ = findField_->GetValue().utf8_string(); });
    findField_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { findInActiveWindow(true); });
    findField_->Bind(wxEVT_SEARCHCTRL_SEARCH_BTN,
                     [this](wxCommandEvent&) { findInActiveWindow(true); });
    findField_->Bind(wxEVT_SEARCHCTRL_CANCEL_BTN, [this](wxCommandEvent&) {
        findField_->Clear();
        findText_.clear();
    });
    bar->AddControl(findField_, "Find");
    bar->Realize();
}

void MainFrame::onSettingsChanged(const std::string& groupName) {
    if (groupName == "frame") {
        applyBars();
    }
}

AnalysisOutcome MainFrame::openCapture(const std::string& given, bool fromLiveCapture) {
    // One spelling per file: "x.pcap", "./x.pcap" and its full path open one window, with
    // one title and one entry in the recent files.
    const std::string path = normalPath(given);
    const wxString fullPath = wxString::FromUTF8(path);
    if (analysing_) {
        // Handed over while a pass runs (a drop): it opens once this one is shown.
        pendingOpens_.emplace_back(path, fromLiveCapture);
        return AnalysisOutcome::Analysed;
    }
    if (SipDiagramFrame* open = findDiagramWindow(fullPath)) {
        open->Activate();
        open->Raise();
        return AnalysisOutcome::Analysed;
    }
    const AnalysisOutcome outcome = analyseAndShow(path, fromLiveCapture);
    if (!pendingOpens_.empty()) {
        CallAfter([this] {
            std::vector<std::pair<std::string, bool>> pending;
            pending.swap(pendingOpens_);
            for (const auto& [file, live] : pending) {
                openCapture(file, live);
            }
        });
    }
    if (pendingVersionResult_) {
        const VersionCheckResult shown = *pendingVersionResult_;
        pendingVersionResult_.reset();
        CallAfter([this, shown] { versionCheckDone(shown); });
    }
    if (closeAfterPass_) {
        CallAfter([this] { Close(); });
    }
    return outcome;
}

AnalysisOutcome MainFrame::analyseAndShow(const std::string& path, bool fromLiveCapture) {
    const wxString fullPath = wxString::FromUTF8(path);
    // From the start of the pass until its window is shown no input reaches the windows
    // (the progress dialog's Cancel aside): the pass goes on after its dialog has gone,
    // finishing the streams, while the toolkit's events are handled.
    struct Analysing {
        bool& flag;
        explicit Analysing(bool& f) : flag(f) { flag = true; }
        ~Analysing() { flag = false; }
    } analysing(analysing_);
    wxBusyCursor busy;
    wxWindowDisabler noInput;
    ProgressDialogUi progressDialog(this);
    MessageBoxUi messageBoxes(this);
    IAnalysisProgress* progress =
        services_->analysisProgress() != nullptr ? services_->analysisProgress() : &progressDialog;
    IAnalysisDialogs* dialogs =
        services_->analysisDialogs() != nullptr ? services_->analysisDialogs() : &messageBoxes;
    AnalysisResult result =
        BackgroundAnalysis::analyse(path, fromLiveCapture, parsingOptionsFromSettings(), progress,
                                    dialogs, [] { wxTheApp->Yield(true); });
    if (result.outcome == AnalysisOutcome::OpenFailed) {
        for (size_t i = 0; i < recentFiles_.GetCount(); ++i) {
            if (normalPath(recentFiles_.GetHistoryFile(i).utf8_string()) == path) {
                recentFiles_.RemoveFileFromHistory(i);
                break;
            }
        }
        return result.outcome;
    }
    if (result.outcome != AnalysisOutcome::Analysed) {
        return result.outcome;
    }
    auto* frame = new SipDiagramFrame(this, "SIP Diagram", labels_, this);
    frame->SetIcon(resourceIcon("sipframe", wxSize(32, 32)));
    frame->setCapturePath(fullPath);
    if (result.cancelled) {
        // What the window shows is the part read before Cancel: the title and the status bar
        // say so, as long as the window is open.
        frame->SetTitle(fullPath + " (read in part)");
        if (GetStatusBar() != nullptr) {
            SetStatusText(wxFileName(fullPath).GetFullName() +
                          " was read only in part: the reading was cancelled, and what was read "
                          "before is shown.");
        }
    }
    if (!result.model->readNote().empty() && GetStatusBar() != nullptr) {
        SetStatusText(wxFileName(fullPath).GetFullName() + ": " +
                      wxString::FromUTF8(result.model->readNote()));
    }
    if (!result.model->emptyReasons().empty() && GetStatusBar() != nullptr) {
        wxString why;
        for (const std::string& reason : result.model->emptyReasons()) {
            why += (why.empty() ? "" : "; ") + wxString::FromUTF8(reason);
        }
        SetStatusText("Nothing to show in " + wxFileName(fullPath).GetFullName() + ": " + why);
    }
    frame->setModel(std::move(result.model));
    wxMenuBar* bar = makeMenuBar();
    childMenuBars_.push_back(bar);
    frame->SetMenuBar(bar);
    diagrams_.push_back(frame);
    frame->Maximize();
    frame->Show();
    frame->Activate();
    recentFiles_.AddFileToHistory(fullPath);
    return result.outcome;
}

SipDiagramFrame* MainFrame::findDiagramWindow(const wxString& path) const {
    const std::string normal = normalPath(path.utf8_string());
    for (SipDiagramFrame* frame : diagrams_) {
        const std::string open = frame->capturePath().utf8_string();
        // The same file under another name (a link, a hard link) is the same capture too.
        if (open == normal || sameFile(open, normal)) {
            return frame;
        }
    }
    return nullptr;
}

void MainFrame::diagramFrameClosing(SipDiagramFrame* frame) {
    diagrams_.erase(std::remove(diagrams_.begin(), diagrams_.end(), frame), diagrams_.end());
    if (wxMenuBar* bar = frame->GetMenuBar()) {
        // Its recent-files menu goes with it.
        if (wxMenuItem* item = bar->FindItem(command::kRecentFiles)) {
            if (wxMenu* recent = item->GetSubMenu()) {
                recentFiles_.RemoveMenu(recent);
            }
        }
        childMenuBars_.erase(std::remove(childMenuBars_.begin(), childMenuBars_.end(), bar),
                             childMenuBars_.end());
    }
    // The keys had gone to the closed window: the window's own (Ctrl+Q among them) must
    // still reach the main window.
    CallAfter([this] {
        if (!closing_ && diagrams_.empty() && GetClientWindow() != nullptr) {
            GetClientWindow()->SetFocus();
        }
    });
}

void MainFrame::bindCommands() {
    using namespace command;
    const auto anyDiagram = [this] { return !diagrams_.empty(); };
    commands_.on(kOpen, [this] {
        wxFileDialog dialog(this, "Open Capture", "", "",
                            "Libpcap/Ethereal (*.cap;*.dat;*.pcap)|*.cap;*.dat;*.pcap|"
                            "Pcapng (*.pcapng;*.ntar)|*.pcapng;*.ntar|"
                            "All files (*)|*",
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        // What is read, under the file list.
        dialog.SetExtraControlCreator([](wxWindow* parent) -> wxWindow* {
            auto* text = new wxStaticText(parent, wxID_ANY, kCapturesReadText);
            text->Wrap(parent->FromDIP(520));  // leaves the file-type choice its room
            return text;
        });
        if (dialog.ShowModal() == wxID_OK) {
            openCapture(std::string(dialog.GetPath().utf8_str()), false);
        }
    });
    commands_.on(
        kCloseAll,
        [this] {
            std::vector<SipDiagramFrame*> open = diagrams_;
            for (SipDiagramFrame* frame : open) {
                frame->Close(true);
            }
        },
        anyDiagram);
    commands_.on(kExit, [this] { Close(false); });
    commands_.on(
        kFind, [this] { startFind(); }, anyDiagram);
    // Without a window Find Next asks for a text too; with one the window takes it.
    commands_.on(
        kFindNext, [this] { startFind(); }, anyDiagram);
    commands_.on(
        kFindPrevious, [this] { startFind(); }, anyDiagram);
    commands_.on(kPageSetup, [this] { pageSetup(); });
    commands_.on(kPreferences, [this] {
        PreferenceDlg dialog(this, [this](const std::string& page) { showHelpPage(page); });
        showModal(dialog);
    });
    commands_.on(kCaptureLive, [this] { captureLive(); });
    commands_.on(kCheckForUpdates, [this] { checkForUpdates(); });
    commands_.on(kAbout, [this] {
        wxMessageBox(wxString::Format("Varlowe v%s\n\nA call-flow analyser for SIP voice and "
                                      "video traffic.\n%s",
                                      kProgramVersion, kProductWebAddress),
                     "About Varlowe", wxOK | wxICON_INFORMATION, this);
    });
    for (int id : {kHelp, kHelpIndex, kHelpSearch}) {
        commands_.on(id, [this, id] { showHelp(id); });
    }
    commands_.enable(kRecentFiles, [] { return true; });
    // The rest of a diagram window's commands are its own, and disabled without one; these
    // the menus offer whenever one is open.
    for (int id : {kNextInTransaction, kPreviousInTransaction, kNextInDialog, kPreviousInDialog}) {
        commands_.enable(id, anyDiagram);
    }
}

void MainFrame::startFind() {
    if (findField_ != nullptr) {
        findField_->SetFocus();
        findField_->SelectAll();
        return;
    }
    // No toolbar: a box asks for the text.
    wxTextEntryDialog dialog(this, "Find in the messages:", "Find", wxString::FromUTF8(findText_));
    if (showModal(dialog) == wxID_OK && !dialog.GetValue().empty()) {
        findText_ = dialog.GetValue().utf8_string();
        findInActiveWindow(true);
    }
}

void MainFrame::findInActiveWindow(bool forward) {
    auto* window = dynamic_cast<SipDiagramFrame*>(GetActiveChild());
    if (window != nullptr && !findText_.empty()) {
        window->findStep(forward);
    }
}

void MainFrame::showFindStatus(const wxString& text) {
    if (GetStatusBar() != nullptr) {
        SetStatusText(text);
    }
}

void MainFrame::onRecentFile(wxCommandEvent& event) {
    const size_t entry = static_cast<size_t>(event.GetId() - command::kFirstRecentFile);
    if (entry < recentFiles_.GetCount()) {
        const wxString path = recentFiles_.GetHistoryFile(entry);
        if (!path.empty()) {
            openCapture(std::string(path.utf8_str()), false);
        }
    }
}

std::string MainFrame::findHelpBook(const std::string& executable) {
    const std::string folder = executable.substr(0, executable.rfind('/'));
    // Beside the program in the build tree; under share/varlowe of its prefix once installed.
    for (const std::string& candidate :
         {folder + "/" + kHelpBook, folder + "/../share/varlowe/" + kHelpBook}) {
        if (wxFileName::FileExists(wxString::FromUTF8(candidate))) {
            return normalPath(candidate);
        }
    }
    return "";
}

bool MainFrame::loadHelpBook(const std::string& path) {
    // The book is a zip archive, which the viewer reads only through this handler. Its pages
    // are HTML by their names: the desktop's own type database may call ".htm" something
    // else (Debian's says XHTML), and the viewer would show their source.
    static const bool zipHandler = [] {
        wxFileSystem::AddHandler(new wxZipFSHandler);
        wxSystemOptions::SetOption("filesys.no-mimetypesmanager", 1);
        return true;
    }();
    (void)zipHandler;
    wxLogNull quiet;  // a missing help book shows what the viewer says when asked
    helpLoaded_ = !path.empty() && help_->AddBook(wxFileName(wxString::FromUTF8(path)));
    return helpLoaded_;
}

void MainFrame::showHelp(int id) {
    if (!helpLoaded_) {
        wxMessageBox(wxString::Format("The help book %s is not beside the program.", kHelpBook),
                     "Help", wxOK | wxICON_INFORMATION, this);
        return;
    }
    if (id == command::kHelpIndex) {
        help_->DisplayIndex();
    } else if (id == command::kHelpSearch) {
        help_->KeywordSearch("");
    } else {
        help_->DisplayContents();
    }
}

void MainFrame::showHelpPage(const std::string& page) {
    if (!helpLoaded_) {
        showHelp(command::kHelp);
        return;
    }
    help_->Display(wxString::FromUTF8(page));
}

void MainFrame::rememberLayout(bool size, bool position) {
    if (closing_) {
        return;
    }
    if (!IsIconized() && !IsMaximized()) {
        if (size) {
            const wxSize now = GetSize();
            AppSettings::setLayoutFrameSize(SettingSize{now.GetWidth(), now.GetHeight()});
        }
        if (position) {
            const wxPoint now = GetPosition();
            AppSettings::setLayoutFramePosition(SettingPoint{now.x, now.y});
        }
    }
    AppSettings::setLayoutFrameMaximized(IsMaximized());
}

void MainFrame::onSize(wxSizeEvent& event) {
    rememberLayout(true, false);
    event.Skip();
}

void MainFrame::onMove(wxMoveEvent& event) {
    rememberLayout(false, true);
    event.Skip();
}

void MainFrame::onMaximize(wxMaximizeEvent& event) {
    rememberLayout(false, false);
    event.Skip();
}

// The recent files live at the root of the settings file as "file1".."file9", most recent
// first, as the toolkit's file history keeps them.
void MainFrame::loadRecentFiles() {
    std::optional<ConfigFile> config =
        SettingsStore::readConfiguration(AppSettings::kApplicationName);
    if (!config) {
        return;
    }
    std::vector<wxString> files;
    for (size_t i = 1; i <= command::kRecentFileCount; ++i) {
        const std::string* file = config->find("", "file" + std::to_string(i));
        if (file == nullptr || file->empty()) {
            break;
        }
        files.push_back(wxString::FromUTF8(*file));
    }
    for (auto file = files.rbegin(); file != files.rend(); ++file) {
        recentFiles_.AddFileToHistory(*file);
    }
}

void MainFrame::saveRecentFiles() {
    std::vector<ConfigFile::Entry> entries;
    for (size_t i = 0; i < command::kRecentFileCount; ++i) {
        const wxString file = i < recentFiles_.GetCount() ? recentFiles_.GetHistoryFile(i) : "";
        entries.push_back({"file" + std::to_string(i + 1), file.utf8_string()});
    }
    SettingsStore::writeRootEntries(AppSettings::kApplicationName, entries);
}

void MainFrame::onClose(wxCloseEvent& event) {
    if (analysing_ && event.CanVeto()) {
        // Not in the middle of a pass: the program ends once its window is shown.
        closeAfterPass_ = true;
        event.Veto();
        return;
    }
    closing_ = true;
    versionCheck_.reset();
    // The settings first (their save clears the whole file), then the recent files beside
    // them, so that both are there at the next start.
    AppSettings::saveSettings();
    SettingsStore::instance().removeListener(this);
    for (SipDiagramFrame* frame : diagrams_) {
        SettingsStore::instance().removeListener(frame);
    }
    SettingsStore::shutdown();
    saveRecentFiles();
    event.Skip();
}

void MainFrame::showError(wxWindow* parent, const std::string& title, const std::string& message) {
    if (IAnalysisDialogs* dialogs = services_->analysisDialogs()) {
        dialogs->showError(title, message);
        return;
    }
    MessageBoxUi(parent != nullptr ? parent : this).showError(title, message);
}

std::optional<std::string> MainFrame::askSavePath(wxWindow* parent, const wxString& title,
                                                  const wxString& wildcard) {
    return services_->askSavePath(parent != nullptr ? parent : this, title, wildcard);
}

int MainFrame::messageBox(const wxString& text, const wxString& title, long style) {
    return services_->messageBox(this, text, title, style);
}

void MainFrame::captureLive() {
    std::vector<std::string> devices = services_->captureDevices();
    if (devices.empty()) {
        messageBox(kNoCaptureInterfacesText, kNoCaptureInterfacesTitle, wxOK | wxICON_ERROR);
        return;
    }
    CaptureDialog dialog(this, "Capture Network Traffic", *this, std::move(devices));
    showModal(dialog);
}

void MainFrame::offerNewVersion(const VersionCheckResult& result) {
    const int answer = messageBox(displayText(newVersionQuestion(result.address)),
                                  kVersionCheckTitle, wxYES_NO | wxICON_QUESTION);
    if (answer != wxID_YES) {
        return;
    }
    services_->openAddress(displayText(result.address));
}

void MainFrame::checkForUpdates() {
    startVersionCheck(true);
}

void MainFrame::startupVersionCheck() {
    if (!AppSettings::versionCheckEnabled()) {
        return;
    }
    const SettingDate now = services_->now();
    std::vector<std::string> stored = SettingsStore::instance().entryNames("versionCheck");
    const bool scheduled =
        std::find(stored.begin(), stored.end(), "nextVersionCheck") != stored.end();
    // A fresh configuration starts the schedule instead of asking at the first start.
    if (!scheduled) {
        AppSettings::setVersionCheckNextVersionCheck(nextVersionCheckAfter(now));
        return;
    }
    if (!versionCheckDue(now, AppSettings::versionCheckNextVersionCheck())) {
        return;
    }
    // Moved on before asking, so that a failing check is not repeated at every start.
    AppSettings::setVersionCheckNextVersionCheck(nextVersionCheckAfter(now));
    startVersionCheck(false);
}

void MainFrame::startVersionCheck(bool fromMenu) {
    // One check at a time: asked for from the menu while the start-up one runs, its answer
    // is said in full.
    versionCheckFromMenu_ = versionCheckFromMenu_ || fromMenu;
    if (versionCheck_) {
        return;
    }
    if (fromMenu && GetStatusBar() != nullptr) {
        SetStatusText("Checking for a newer version of Varlowe...");
    }
    versionCheck_ = std::make_unique<BackgroundVersionCheck>(
        services_->versionServer(),
        [this](const VersionCheckResult& result) { versionCheckDone(result); },
        [](std::function<void()> show) { wxTheApp->CallAfter(std::move(show)); });
}

void MainFrame::versionCheckDone(const VersionCheckResult& result) {
    if (analysing_) {
        pendingVersionResult_ = result;  // said once the capture's window is shown
        return;
    }
    const bool fromMenu = versionCheckFromMenu_;
    versionCheck_.reset();
    versionCheckFromMenu_ = false;
    if (fromMenu && GetStatusBar() != nullptr) {
        SetStatusText(standingText());
    }
    if (result.succeeded && result.newer) {
        offerNewVersion(result);
    } else if (fromMenu) {
        messageBox(result.succeeded ? kUpToDateText : kVersionCheckFailedText, kVersionCheckTitle,
                   wxOK | wxICON_INFORMATION);
    }
}

int MainFrame::showModal(wxDialog& dialog) {
    return services_->showModal(dialog);
}

void MainFrame::loadPageSetup() {
    wxPrintData& print = pageSetupData_.GetPrintData();
    print.SetPaperId(static_cast<wxPaperSize>(AppSettings::printingPaperSize()));
    print.SetOrientation(static_cast<wxPrintOrientation>(AppSettings::printingPaperOrientation()));
    pageSetupData_.SetMarginTopLeft(
        wxPoint(AppSettings::printingMarginLeft(), AppSettings::printingMarginTop()));
    pageSetupData_.SetMarginBottomRight(
        wxPoint(AppSettings::printingMarginRight(), AppSettings::printingMarginBottom()));
    pageSetupData_.CalculatePaperSizeFromId();
}

void MainFrame::storePageSetup() {
    const wxPrintData& print = pageSetupData_.GetPrintData();
    AppSettings::setPrintingMarginTop(pageSetupData_.GetMarginTopLeft().y);
    AppSettings::setPrintingMarginLeft(pageSetupData_.GetMarginTopLeft().x);
    AppSettings::setPrintingMarginBottom(pageSetupData_.GetMarginBottomRight().y);
    AppSettings::setPrintingMarginRight(pageSetupData_.GetMarginBottomRight().x);
    AppSettings::setPrintingPaperSize(static_cast<int32_t>(print.GetPaperId()));
    AppSettings::setPrintingPaperOrientation(static_cast<int32_t>(print.GetOrientation()));
}

void MainFrame::pageSetup() {
    wxPageSetupDialogData edited(pageSetupData_);
    if (!services_->editPageSetup(this, edited)) {
        return;
    }
    pageSetupData_ = edited;
    pageSetupData_.CalculatePaperSizeFromId();
    storePageSetup();
}

}  // namespace varlowe
