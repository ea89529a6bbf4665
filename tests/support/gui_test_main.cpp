// The main of every test binary that needs the toolkit's graphical side: one application
// for the whole binary, the settings registered with the toolkit's normal font and kept in
// a throwaway folder, run under Xvfb.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/log.h>

#include <cstdio>
#include <cstdlib>

#include "app_settings.h"
#include "capture_builder.h"
#include "toolkit_font.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    varlowe::testsupport::TempFile settingsFolder("unused");
    setenv("XDG_CONFIG_HOME", settingsFolder.folder().c_str(), 1);
    setenv("HOME", settingsFolder.folder().c_str(), 1);
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "cannot initialise the toolkit (no display?)\n");
        return 1;
    }
    wxInitAllImageHandlers();
    // A message box would wait for a click that never comes: log to standard error instead.
    wxLog::SetActiveTarget(new wxLogStderr());
    varlowe::AppSettings::registerSettings(varlowe::normalToolkitFont());
    int status = RUN_ALL_TESTS();
    varlowe::SettingsStore::shutdown();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
