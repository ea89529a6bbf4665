#pragma once

// The desktop program's main window in a benchmark process: the toolkit started (under a
// display), the settings registered with their defaults, and taken down again at the end.
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>

#include "desktop/main_frame.h"
#include "diagram/user_label_db.h"
#include "settings/app_settings.h"
#include "toolkit/toolkit_font.h"

namespace varlowe::bench {

class DesktopSession {
  public:
    DesktopSession(char** argv, const char* name) {
        wxApp::SetInstance(new wxApp());
        int toolkitArgc = 1;
        if (!wxEntryStart(toolkitArgc, argv) || !wxTheApp->CallOnInit()) {
            std::fprintf(stderr, "%s needs a display (run it under xvfb-run)\n", name);
            return;
        }
        AppSettings::registerSettings(normalToolkitFont());
        frame_ = new MainFrame(&labels_, wxPoint(0, 0), wxSize(1600, 1000));
        frame_->Show();
        wxYield();
    }
    ~DesktopSession() {
        if (frame_ == nullptr) {
            return;
        }
        frame_->Destroy();
        wxYield();
        SettingsStore::shutdown();
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // None when the toolkit could not start.
    MainFrame* frame() const { return frame_; }

    // Opens a capture as File > Open does; its window, or none when it did not open.
    SipDiagramFrame* open(const char* path) {
        frame_->openCapture(path, false);
        if (frame_->diagramWindows().empty()) {
            std::fprintf(stderr, "the capture did not open\n");
            return nullptr;
        }
        return frame_->diagramWindows()[0];
    }

  private:
    UserLabelDB labels_;
    MainFrame* frame_ = nullptr;
};

}  // namespace varlowe::bench
