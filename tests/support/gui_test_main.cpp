// The main of every test binary that needs the toolkit's graphical side: one application
// for the whole binary, the settings registered with the toolkit's normal font, and for
// each test a settings store and a configuration folder of its own, so that the tests pass
// in any order. Run under Xvfb.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/toplevel.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "capture_builder.h"
#include "settings/app_settings.h"
#include "toolkit/toolkit_font.h"
#include "window_test.h"

namespace varlowe::testsupport {

void drainEvents() {
    for (int round = 0; round < 100; ++round) {
        wxYield();
        if (!wxTheApp->Pending() && !wxTheApp->HasPendingEvents()) {
            return;
        }
    }
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    drainEvents();
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        // Nothing is waiting: give the display server a moment to answer.
        if (!wxTheApp->Pending()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        drainEvents();
    }
    return true;
}

namespace {

// A fresh settings store and configuration folder before each test; after it, every window
// it left is gone and the store with it.
class OwnSettingsPerTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        folder_ = std::make_unique<TempFile>("unused");
        setenv("XDG_CONFIG_HOME", (folder_->folder() + "/config").c_str(), 1);
        setenv("HOME", folder_->folder().c_str(), 1);
        SettingsStore::shutdown();
    }
    void OnTestEnd(const ::testing::TestInfo&) override {
        std::vector<wxWindow*> left(wxTopLevelWindows.begin(), wxTopLevelWindows.end());
        for (wxWindow* window : left) {
            window->Destroy();
        }
        drainEvents();
        SettingsStore::shutdown();
        folder_.reset();
    }
    std::unique_ptr<TempFile> folder_;
};

}  // namespace

}  // namespace varlowe::testsupport

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    varlowe::testsupport::TempFile startFolder("unused");
    setenv("XDG_CONFIG_HOME", startFolder.folder().c_str(), 1);
    setenv("HOME", startFolder.folder().c_str(), 1);
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "cannot initialise the toolkit (no display?)\n");
        return 1;
    }
    wxInitAllImageHandlers();
    // A message box would wait for a click that never comes: log to standard error instead.
    wxLog::SetActiveTarget(new wxLogStderr());
    varlowe::AppSettings::registerSettings(varlowe::normalToolkitFont());
    ::testing::UnitTest::GetInstance()->listeners().Append(
        new varlowe::testsupport::OwnSettingsPerTest());
    int status = RUN_ALL_TESTS();
    varlowe::SettingsStore::shutdown();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
