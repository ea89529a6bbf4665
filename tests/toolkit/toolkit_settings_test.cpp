// Runs with the toolkit's graphical side initialised, under Xvfb.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/init.h>

#include <cstdlib>

#include "settings/app_settings.h"
#include "support/capture_builder.h"
#include "toolkit/toolkit_font.h"

using namespace varlowe;

TEST(ToolkitSettings, FontDefaultsAreMadeFromTheNormalFont) {
    testsupport::TempFile folder("unused");
    setenv("XDG_CONFIG_HOME", folder.folder().c_str(), 1);
    SettingFont normal = normalToolkitFont();
    ASSERT_GT(normal.pointSize, 0);
    EXPECT_EQ(normal.weight, 90);
    AppSettings::registerSettings(normal);
    SettingFont title = AppSettings::graphsTitleFont();
    EXPECT_EQ(title.pointSize, normal.pointSize + 1);
    EXPECT_EQ(title.weight, 92);
    EXPECT_EQ(title.faceName, normal.faceName);
    EXPECT_EQ(AppSettings::graphsAxisUnitFont().pointSize, normal.pointSize - 1);
    EXPECT_EQ(AppSettings::diagramFontHeader(), normal);
    SettingsStore::shutdown();
}

TEST(ToolkitSettings, StoredFontsBecomeTheSameToolkitFonts) {
    SettingFont stored{74, 13, 93, 92, true, "DejaVu Sans", 0};
    wxFont font = toolkitFontOf(stored);
    ASSERT_TRUE(font.IsOk());
    EXPECT_EQ(font.GetPointSize(), 13);
    EXPECT_EQ(font.GetStyle(), wxFONTSTYLE_ITALIC);
    EXPECT_EQ(font.GetWeight(), wxFONTWEIGHT_BOLD);
    EXPECT_TRUE(font.GetUnderlined());
    SettingFont back = settingFontOf(font);
    EXPECT_EQ(back.pointSize, 13);
    EXPECT_EQ(back.style, 93);
    EXPECT_EQ(back.weight, 92);
    EXPECT_TRUE(back.underline);
    EXPECT_EQ(back.faceName, "DejaVu Sans");
}
