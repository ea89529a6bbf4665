#pragma once

#include <wx/docview.h>
#include <wx/html/helpctrl.h>
#include <wx/mdi.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture_dialog.h"
#include "engine/sip/packet_analysis_driver.h"
#include "settings/settings_store.h"
#include "sip_diagram_frame.h"
#include "toolkit/command_handlers.h"
#include "versioncheck/version_check_client.h"

namespace varlowe {

class UserLabelDB;

// The main window: the multiple-document parent of the diagram windows (shown as tabs), with
// the menus, the toolbar, the status bar, the recent files, help, and the way into every
// top-level command. With the toolkit's tabbed children the toolbar and the status bar stay
// here and serve every window.
class MainFrame : public wxMDIParentFrame,
                  public IAppSettingsListener,
                  public IDiagramFrameHost,
                  public ICaptureDialogHost {
  public:
    MainFrame(UserLabelDB* labels, const wxPoint& position, const wxSize& size);
    ~MainFrame() override;

    // Opens a capture in a diagram window (or raises the one that shows it). The result of
    // the analysis pass; a window is made when it analysed something.
    AnalysisOutcome openCapture(const std::string& path, bool fromLiveCapture) override;

    size_t countDiagramWindows() const { return diagrams_.size(); }
    SipDiagramFrame* findDiagramWindow(const wxString& path) const;
    const std::vector<SipDiagramFrame*>& diagramWindows() const { return diagrams_; }
    wxFileHistory& recentFiles() { return recentFiles_; }

    // Tests answer the pass's boxes and watch its progress instead of the toolkit's dialogs.
    void setAnalysisUi(IAnalysisProgress* progress, IAnalysisDialogs* dialogs) {
        progressOverride_ = progress;
        dialogsOverride_ = dialogs;
    }
    // Tests answer the save dialogs and the modal dialogs (returning their result).
    using SaveAnswer = std::function<std::optional<std::string>(const wxString& title)>;
    using ModalAnswer = std::function<int(wxDialog& dialog)>;
    void setDialogAnswers(SaveAnswer save, ModalAnswer modal) {
        saveAnswer_ = std::move(save);
        modalAnswer_ = std::move(modal);
    }
    // Tests play the page setup dialog: false is Cancel.
    void setPageSetupAnswer(std::function<bool(wxPageSetupDialogData&)> answer) {
        pageSetupAnswer_ = std::move(answer);
    }
    wxPrintData& printData() { return pageSetupData_.GetPrintData(); }
    // Tests answer the message boxes of the version check and of live capture (returning
    // wxID_YES, wxID_NO or wxID_OK), watch the addresses opened, give the interfaces, the
    // clock and the version-check server.
    using MessageAnswer =
        std::function<int(const wxString& title, const wxString& text, long style)>;
    void setMessageAnswer(MessageAnswer answer) { messageAnswer_ = std::move(answer); }
    void setAddressOpener(std::function<void(const wxString&)> opener) {
        addressOpener_ = std::move(opener);
    }
    void setDeviceLister(std::function<std::vector<std::string>()> lister) {
        deviceLister_ = std::move(lister);
    }
    void setClock(std::function<SettingDate()> clock) { clock_ = std::move(clock); }
    void setVersionServer(const VersionServer& server) { versionServer_ = server; }

    // Live capture (File, Capture Live Network Traffic...).
    void captureLive();
    // Help, Check for updates...: always asks, and says what it found.
    void checkForUpdates();
    // At start-up, when "versionCheck"/"enabled": asks when the schedule says so and speaks
    // only of a newer version.
    void startupVersionCheck();
    // Both ask on a thread of their own and answer when the reply is in: the window goes on
    // meanwhile.
    bool versionCheckRunning() const { return versionCheck_ != nullptr; }
    // The standing text of the status bar.
    static wxString standingText();
    // Where the help book of the program at `executable` is: beside it (the build tree) or
    // in share/varlowe of its prefix (installed); empty when in neither.
    static std::string findHelpBook(const std::string& executable);
    // Hands the book to the help viewer; false when it cannot be read.
    bool loadHelpBook(const std::string& path);
    wxHtmlHelpController* helpController() const { return help_.get(); }

    // IAppSettingsListener
    void onSettingsChanged(const std::string& groupName) override;
    // IDiagramFrameHost
    wxMenuBar* makeMenuBar() override;
    void diagramFrameClosing(SipDiagramFrame* frame) override;
    void showError(wxWindow* parent, const std::string& title, const std::string& message) override;
    std::optional<std::string> askSavePath(wxWindow* parent, const wxString& title,
                                           const wxString& wildcard) override;
    int showModal(wxDialog& dialog) override;
    wxPageSetupDialogData& pageSetupData() override { return pageSetupData_; }
    // ICaptureDialogHost (with askSavePath and openCapture above)
    void showHelpPage(const std::string& page) override;
    bool showsCapture(const std::string& path) const override {
        return findDiagramWindow(wxString::FromUTF8(path)) != nullptr;
    }

    // Page Setup: the toolkit's dialog over the "printing" settings.
    void pageSetup();
    // The print data and margins from the "printing" settings, and back.
    void loadPageSetup();
    void storePageSetup();

    // Writes the recent files to the configuration store's root.
    void loadRecentFiles();
    void saveRecentFiles();

  private:
    void applyBars();
    void makeToolBar();
    void bindCommands();
    void onRecentFile(wxCommandEvent& event);
    void onSize(wxSizeEvent& event);
    void onMove(wxMoveEvent& event);
    void onMaximize(wxMaximizeEvent& event);
    void onClose(wxCloseEvent& event);
    void showHelp(int id);
    void rememberLayout(bool size, bool position);

    UserLabelDB* labels_;
    CommandHandlers commands_{CommandHandlers::Place::Last};
    wxFileHistory recentFiles_;
    std::unique_ptr<wxHtmlHelpController> help_;
    std::vector<SipDiagramFrame*> diagrams_;
    std::vector<wxMenuBar*> childMenuBars_;
    wxPageSetupDialogData pageSetupData_;
    SaveAnswer saveAnswer_;
    ModalAnswer modalAnswer_;
    std::function<bool(wxPageSetupDialogData&)> pageSetupAnswer_;
    int messageBox(const wxString& text, const wxString& title, long style);
    void offerNewVersion(const VersionCheckResult& result);
    void startVersionCheck(bool fromMenu);
    // The pass over a capture and, when it read something, its window.
    AnalysisOutcome analyseAndShow(const std::string& path, bool fromLiveCapture);
    bool analysing_ = false;
    std::vector<std::pair<std::string, bool>> pendingOpens_;
    std::optional<VersionCheckResult> pendingVersionResult_;
    bool closeAfterPass_ = false;
    void versionCheckDone(const VersionCheckResult& result);
    std::unique_ptr<BackgroundVersionCheck> versionCheck_;
    bool versionCheckFromMenu_ = false;
    MessageAnswer messageAnswer_;
    std::function<void(const wxString&)> addressOpener_;
    std::function<std::vector<std::string>()> deviceLister_;
    std::function<SettingDate()> clock_;
    VersionServer versionServer_ = defaultVersionServer();
    IAnalysisProgress* progressOverride_ = nullptr;
    IAnalysisDialogs* dialogsOverride_ = nullptr;
    bool helpLoaded_ = false;
    bool closing_ = false;
};

}  // namespace varlowe
