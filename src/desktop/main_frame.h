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
#include "desktop_services.h"
#include "engine/sip/packet_analysis_driver.h"
#include "settings/settings_store.h"
#include "sip_diagram_frame.h"
#include "toolkit/command_handlers.h"
#include "versioncheck/version_check_client.h"

class wxSearchCtrl;

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
    // `services` (the toolkit's and the system's when none is given) stays the caller's.
    MainFrame(UserLabelDB* labels, const wxPoint& position, const wxSize& size,
              DesktopServices* services = nullptr);
    ~MainFrame() override;

    // Opens a capture in a diagram window (or raises the one that shows it). The result of
    // the analysis pass; a window is made when it analysed something.
    AnalysisOutcome openCapture(const std::string& path, bool fromLiveCapture) override;

    size_t countDiagramWindows() const { return diagrams_.size(); }
    SipDiagramFrame* findDiagramWindow(const wxString& path) const;
    const std::vector<SipDiagramFrame*>& diagramWindows() const { return diagrams_; }
    wxFileHistory& recentFiles() { return recentFiles_; }

    DesktopServices& services() { return *services_; }
    wxPrintData& printData() { return pageSetupData_.GetPrintData(); }

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
    std::string findText() const override { return findText_; }
    void startFind() override;
    void showFindStatus(const wxString& text) override;
    // The toolbar's find field; none while the toolbar is off.
    wxSearchCtrl* findField() const { return findField_; }
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
    DesktopServices* services_;
    CommandHandlers commands_{CommandHandlers::Place::Last};
    wxFileHistory recentFiles_;
    std::unique_ptr<wxHtmlHelpController> help_;
    std::vector<SipDiagramFrame*> diagrams_;
    std::vector<wxMenuBar*> childMenuBars_;
    wxPageSetupDialogData pageSetupData_;
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
    bool helpLoaded_ = false;
    bool closing_ = false;
    wxSearchCtrl* findField_ = nullptr;
    std::string findText_;
    // Find Next (or Previous) in the window shown.
    void findInActiveWindow(bool forward);
};

}  // namespace varlowe
