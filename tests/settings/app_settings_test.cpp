#include <gtest/gtest.h>

#include "settings/export_settings.h"
#include "settings/parsing_settings.h"

#include <wx/fileconf.h>
#include <wx/init.h>

#include <cstdlib>

#include "settings/app_settings.h"
#include "support/capture_builder.h"

using namespace varlowe;

namespace {

wxInitializer toolkit;

const SettingFont kNormal{74, 10, 90, 90, false, "Sans", 0};

class AppSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsStore::shutdown();
        setenv("XDG_CONFIG_HOME", folder_.folder().c_str(), 1);
        AppSettings::registerSettings(kNormal);
    }
    void TearDown() override { SettingsStore::shutdown(); }
    testsupport::TempFile folder_{"unused"};
};

}  // namespace

TEST_F(AppSettingsTest, RegistryHoldsTheRowsInTableOrderWithATerminator) {
    const auto& rows = SettingsRegistry::instance().rows();
    ASSERT_EQ(rows.size(), 64u);
    EXPECT_EQ(rows.front().group + "/" + rows.front().key, "frame/showToolbar");
    EXPECT_EQ(rows[60].group + "/" + rows[60].key, "graphs/keyFont");
    EXPECT_EQ(rows[60].label, "Graph Key Font Font");
    // Rows added later come after, so that the first rows keep their places.
    EXPECT_EQ(rows[61].group + "/" + rows[61].key, "parsing/includeHep");
    EXPECT_EQ(rows[62].group + "/" + rows[62].key, "parsing/measureFromAnnounced");
    EXPECT_EQ(rows[62].label, "Measure streams from announced addresses");
    EXPECT_TRUE(rows.back().group.empty());
    const auto& pages = SettingsRegistry::instance().pages();
    ASSERT_EQ(pages.size(), 6u);
    EXPECT_EQ(pages[2].title, "Printing");
    EXPECT_EQ(pages[2].bitmap, "prefs_printsetup");
    EXPECT_EQ(pages[4].helpPage, "Export_Preferences.htm");
    EXPECT_EQ(pages[0].mask, (SettingColour{255, 0, 255, 255}));
    EXPECT_TRUE(pages.back().group.empty());
    EXPECT_EQ(SettingsRegistry::instance().page("graphs"), nullptr);
    EXPECT_EQ(SettingsRegistry::instance().page("parsing")->title, "Parsing");
}

TEST_F(AppSettingsTest, DefaultTexts) {
    const SettingsRegistry& registry = SettingsRegistry::instance();
    EXPECT_EQ(registry.descriptor("diagram", "colorRelated").defaultText, "000000128");
    EXPECT_EQ(registry.descriptor("diagram", "colorEvenBackground").defaultText, "244244244");
    EXPECT_EQ(registry.descriptor("frame", "showToolbar").defaultText, "1");
    EXPECT_EQ(registry.descriptor("printing", "widthArrow").defaultText, "2");
    EXPECT_EQ(registry.descriptor("diagram", "fontArrow").defaultText, "74|10|90|90|0|Sans|0");
    EXPECT_EQ(registry.descriptor("graphs", "titleFont").defaultText, "74|11|90|92|0|Sans|0");
    EXPECT_EQ(registry.descriptor("graphs", "axisUnitFont").defaultText, "74|9|90|90|0|Sans|0");
    EXPECT_EQ(registry.descriptor("graphs", "keyFont").defaultText, "74|10|90|92|0|Sans|0");
    EXPECT_EQ(registry.descriptor("graphs", "keyFont").kind, SettingKind::Font);
}

TEST_F(AppSettingsTest, DefaultsOfKeysWithoutARowAreFalseAndBlack) {
    const SettingsRegistry& registry = SettingsRegistry::instance();
    EXPECT_FALSE(registry.defaultBool("layout", "frameMaximized"));
    EXPECT_EQ(registry.defaultColour("printing", "colorRedirect"), (SettingColour{0, 0, 0, 255}));
    EXPECT_TRUE(registry.descriptor("nothing", "here").group.empty());
}

TEST_F(AppSettingsTest, KeysOfGroupAreInByteOrder) {
    const SettingsRegistry& registry = SettingsRegistry::instance();
    EXPECT_EQ(registry.keysOfGroup("exportAsText"),
              (std::vector<std::string>{"showDiagram", "showLog", "showPort", "showTransport"}));
    EXPECT_TRUE(registry.keysOfGroup("layout").empty());
    EXPECT_EQ(registry.keysOfGroup("printing").front(), "colorErrorResponse");
    EXPECT_EQ(registry.keysOfGroup("diagram").size(), 29u);
}

// The command-line tool uses the plain structs' defaults; the desktop program reads the
// settings. Both must start from the same values.
TEST_F(AppSettingsTest, ToolDefaultsAreTheRegisteredDefaults) {
    ParsingOptions parsing = parsingOptionsFromSettings();
    ParsingOptions plain;
    EXPECT_EQ(parsing.includeUdp, plain.includeUdp);
    EXPECT_EQ(parsing.includeTcp, plain.includeTcp);
    EXPECT_EQ(parsing.includeSip, plain.includeSip);
    EXPECT_EQ(parsing.includeRtp, plain.includeRtp);
    EXPECT_EQ(parsing.includeRtcp, plain.includeRtcp);
    EXPECT_EQ(parsing.includeSturn, plain.includeSturn);
    EXPECT_EQ(parsing.includeEncapsulated, plain.includeEncapsulated);
    TextExportOptions exported = textExportOptionsFromSettings();
    TextExportOptions defaults;
    EXPECT_EQ(exported.showPort, defaults.showPort);
    EXPECT_EQ(exported.showTransport, defaults.showTransport);
    EXPECT_EQ(exported.showDiagram, defaults.showDiagram);
    EXPECT_EQ(exported.showLog, defaults.showLog);
    AppSettings::setExportAsTextShowPort(true);
    EXPECT_TRUE(textExportOptionsFromSettings().showPort);
}

TEST_F(AppSettingsTest, EmptyStoreReadsTheTableDefaults) {
    EXPECT_TRUE(AppSettings::frameShowToolbar());
    EXPECT_FALSE(AppSettings::exportAsTextShowPort());
    EXPECT_FALSE(AppSettings::parsingIncludeEncapsulated());
    EXPECT_EQ(AppSettings::diagramColorRelated(), (SettingColour{0, 0, 128, 255}));
    EXPECT_EQ(AppSettings::diagramColorSelectedBackground(), (SettingColour{255, 255, 0, 255}));
    EXPECT_EQ(AppSettings::printingColorHeaderBackground(), (SettingColour{0, 0, 0, 255}));
    EXPECT_EQ(AppSettings::printingWidthSeparator(), 2);
    EXPECT_EQ(AppSettings::printingPaperOrientation(), 2);
    EXPECT_EQ(AppSettings::layoutFrameSize(), (SettingSize{750, 550}));
    EXPECT_EQ(AppSettings::layoutFramePosition(), (SettingPoint{-1, -1}));
    EXPECT_EQ(AppSettings::layoutSashTreeSel(), -250);
    EXPECT_EQ(AppSettings::extractRtpDialogLastFile(), "");
    EXPECT_TRUE(AppSettings::versionCheckEnabled());
    EXPECT_EQ(AppSettings::graphsTitleFont().weight, 92);
    SettingDate next = AppSettings::versionCheckNextVersionCheck();
    EXPECT_GE(next.year, 2024);
}

TEST_F(AppSettingsTest, WritersReachTheStoreAndNotifyTheirGroup) {
    struct Recorder : IAppSettingsListener {
        std::vector<std::string> groups;
        void onSettingsChanged(const std::string& g) override { groups.push_back(g); }
    } recorder;
    SettingsStore::instance().addListener(&recorder);
    AppSettings::setParsingIncludeTcp(false);
    AppSettings::setLayoutSashVert(321);
    AppSettings::setDiagramFontHeader(SettingFont{70, 14, 93, 92, true, "Mono", 0});
    AppSettings::setUserLabel("10.0.0.1", "Proxy");
    EXPECT_FALSE(AppSettings::parsingIncludeTcp());
    EXPECT_EQ(AppSettings::layoutSashVert(), 321);
    EXPECT_EQ(AppSettings::diagramFontHeader().faceName, "Mono");
    EXPECT_EQ(recorder.groups,
              (std::vector<std::string>{"parsing", "layout", "diagram", "userLabels"}));
    AppSettings::removeUserLabel("10.0.0.1");
    EXPECT_EQ(recorder.groups.back(), "userLabels");
    SettingsStore::instance().removeListener(&recorder);
}

TEST_F(AppSettingsTest, DescriptorsReadAndWriteByKind) {
    const SettingsRegistry& registry = SettingsRegistry::instance();
    const SettingDescriptor& width = registry.descriptor("diagram", "widthArrow");
    EXPECT_EQ(std::get<int32_t>(width.read()), 1);
    width.write(int32_t{4});
    EXPECT_EQ(AppSettings::diagramWidthArrow(), 4);
    const SettingDescriptor& colour = registry.descriptor("printing", "colorTime");
    EXPECT_EQ(std::get<SettingColour>(colour.read()), (SettingColour{0, 0, 255, 255}));
}

TEST_F(AppSettingsTest, SavedSettingsLoadBackWithRecentFilesUnderTheRoot) {
    AppSettings::setFrameShowToolbar(false);
    AppSettings::setLayoutFrameSize(SettingSize{800, 600});
    ASSERT_TRUE(AppSettings::saveSettings());
    {
        // The recent-files list writes its values under the root after the save.
        wxFileConfig history("Varlowe", "Ostrane",
                             wxString::FromUTF8(SettingsStore::userConfigPath("Varlowe").c_str()),
                             wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
        history.Write("/file1", "/tmp/call.pcap");
        ASSERT_TRUE(history.Flush());
    }
    SettingsStore::shutdown();
    ASSERT_TRUE(AppSettings::loadSettings(nullptr));
    for (size_t i = 0; i < SettingsStore::instance().groupCount(); ++i) {
        EXPECT_NE(SettingsStore::instance().groupName(i), "");  // root values are not loaded
    }
    {
        wxFileConfig history("Varlowe", "Ostrane",
                             wxString::FromUTF8(SettingsStore::userConfigPath("Varlowe").c_str()),
                             wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
        EXPECT_EQ(history.Read("/file1", ""), "/tmp/call.pcap");
    }
    EXPECT_FALSE(AppSettings::frameShowToolbar());
    EXPECT_EQ(AppSettings::layoutFrameSize(), (SettingSize{800, 600}));
}
