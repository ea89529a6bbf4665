#pragma once

// A main window for window tests, with its boxes answered by the test and the files taken
// from the source tree.
#include <wx/app.h>
#include <wx/menu.h>

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
    void begin(const std::string&, const std::string&, int) override { ++begins; }
    bool update(int, const std::string&) override { return true; }
    void end() override {}
};

// A main window with its boxes answered by the test.
struct Program {
    UserLabelDB labels;
    MainFrame* frame;
    RecordingDialogs dialogs;
    SilentProgress progress;
    ScopedDiagnosticsCapture quiet;

    Program() {
        frame = new MainFrame(&labels, wxPoint(10, 10), wxSize(1000, 700));
        frame->setAnalysisUi(&progress, &dialogs);
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
