#pragma once

// A main window for window tests, with its boxes answered by the test and the files taken
// from the source tree.
#include <wx/app.h>
#include <wx/menu.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "desktop/main_frame.h"
#include "diagram/user_label_db.h"
#include "engine/diagnostics.h"
#include "engine/sip/packet_analysis_driver.h"
#include "window_test.h"

namespace varlowe::testsupport {

inline std::string source(const std::string& relative) {
    return std::string(VARLOWE_SOURCE_DIR) + "/" + relative;
}

struct RecordingDialogs : IAnalysisDialogs {
    std::vector<std::string> errors;
    void showError(const std::string& title, const std::string& message) override {
        errors.push_back(title + "|" + message);
    }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
};

struct SilentProgress : IAnalysisProgress {
    int begins = 0;
    int updates = 0;
    bool cancel = false;  // the user presses Cancel at the first update
    void begin(const std::string&, const std::string&, int) override { ++begins; }
    bool update(int, const std::string&) override {
        ++updates;
        return !cancel;
    }
    void end() override {}
};

// The desktop program's services as a test gives them: a silent progress, recorded boxes,
// and for the rest the test's answers where it gives one (else the toolkit's own).
struct TestServices : DesktopServices {
    SilentProgress progress;
    RecordingDialogs dialogs;
    IAnalysisProgress* progressShown = &progress;
    std::function<std::optional<std::string>(const wxString& title)> save;
    std::function<int(wxDialog& dialog)> modal;  // returns the dialog's result
    std::function<bool(wxPageSetupDialogData& data)> pageSetup;
    std::function<int(const wxString& title, const wxString& text, long style)> message;
    std::vector<wxString> opened;  // the addresses the browser was asked to open
    std::optional<std::vector<std::string>> devices;
    std::function<SettingDate()> clock;
    std::optional<VersionServer> server;

    IAnalysisProgress* analysisProgress() override { return progressShown; }
    IAnalysisDialogs* analysisDialogs() override { return &dialogs; }
    std::optional<std::string> askSavePath(wxWindow* parent, const wxString& title,
                                           const wxString& wildcard) override {
        return save ? save(title) : DesktopServices::askSavePath(parent, title, wildcard);
    }
    int showModal(wxDialog& dialog) override {
        return modal ? modal(dialog) : DesktopServices::showModal(dialog);
    }
    bool editPageSetup(wxWindow* parent, wxPageSetupDialogData& data) override {
        return pageSetup ? pageSetup(data) : DesktopServices::editPageSetup(parent, data);
    }
    int messageBox(wxWindow* parent, const wxString& text, const wxString& title,
                   long style) override {
        return message ? message(title, text, style)
                       : DesktopServices::messageBox(parent, text, title, style);
    }
    void openAddress(const wxString& address) override { opened.push_back(address); }
    std::vector<std::string> captureDevices() override {
        return devices ? *devices : DesktopServices::captureDevices();
    }
    SettingDate now() override { return clock ? clock() : DesktopServices::now(); }
    VersionServer versionServer() override {
        return server ? *server : DesktopServices::versionServer();
    }
};

// A main window with its boxes answered by the test.
struct Program {
    UserLabelDB labels;
    TestServices services;
    RecordingDialogs& dialogs = services.dialogs;
    SilentProgress& progress = services.progress;
    MainFrame* frame;
    ScopedDiagnosticsCapture quiet;

    Program() {
        frame = new MainFrame(&labels, wxPoint(10, 10), wxSize(1000, 700), &services);
        frame->Show();
        waitUntil([&] { return frame->GetClientSize().y > 0; });
    }
    ~Program() {
        if (frame != nullptr) {
            for (SipDiagramFrame* window : frame->diagramWindows()) {
                window->Destroy();
            }
            frame->Destroy();
            drainEvents();
        }
    }
    SipDiagramFrame* open(const std::string& relative) { return openPath(source(relative)); }
    SipDiagramFrame* openPath(const std::string& path) {
        frame->openCapture(path, false);
        drainEvents();
        return frame->findDiagramWindow(path);
    }
    bool enabled(wxMenuBar* bar, int id) {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        wxMenuItem* item = bar->FindItem(id);
        return item != nullptr && item->IsEnabled();
    }
    bool checked(wxMenuBar* bar, int id) {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        wxMenuItem* item = bar->FindItem(id);
        return item != nullptr && item->IsChecked();
    }
};

}  // namespace varlowe::testsupport
