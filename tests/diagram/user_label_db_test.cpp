#include <gtest/gtest.h>

#include <cstdlib>

#include "diagram/user_label_db.h"
#include "settings/app_settings.h"
#include "settings/parsing_settings.h"
#include "support/capture_builder.h"

using namespace varlowe;

namespace {
class UserLabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsStore::shutdown();
        setenv("XDG_CONFIG_HOME", folder_.folder().c_str(), 1);
        AppSettings::registerSettings(SettingFont{});
    }
    void TearDown() override { SettingsStore::shutdown(); }
    testsupport::TempFile folder_{"unused"};
};
}  // namespace

TEST_F(UserLabelTest, PersistedLabelsComeBackAfterARestartAndOthersDoNot) {
    {
        UserLabelDB labels;
        labels.setLabel("10.0.0.1", "Proxy", true);
        labels.setLabel("10.0.0.2", "Phone", false);
        labels.setLabel("10.0.0.3", "", true);  // empty: nothing changes
        EXPECT_EQ(labels.label("10.0.0.2"), "Phone");
        EXPECT_FALSE(labels.hasLabel("10.0.0.3"));
        ASSERT_TRUE(AppSettings::saveSettings());
    }
    SettingsStore::shutdown();
    UserLabelDB restarted;
    ASSERT_TRUE(AppSettings::loadSettings(&restarted));
    EXPECT_EQ(restarted.label("10.0.0.1"), "Proxy");
    EXPECT_FALSE(restarted.hasLabel("10.0.0.2"));
    restarted.removeLabel("10.0.0.1");
    EXPECT_FALSE(restarted.hasLabel("10.0.0.1"));
    EXPECT_EQ(SettingsStore::instance().getString("userLabels", "10.0.0.1", "gone"), "gone");
}

TEST_F(UserLabelTest, LoadedLabelsAreNotWrittenBackAndKeysAreExact) {
    UserLabelDB labels;
    labels.receiveLabel("192.168.0.1", "PBX");
    EXPECT_EQ(labels.label("192.168.0.1"), "PBX");
    EXPECT_EQ(labels.label("192.168.0.10"), "");
    EXPECT_EQ(SettingsStore::instance().getString("userLabels", "192.168.0.1", "none"), "none");
}

TEST_F(UserLabelTest, ParsingSwitchesFollowTheSettings) {
    ParsingOptions defaults = parsingOptionsFromSettings();
    EXPECT_TRUE(defaults.includeTcp);
    EXPECT_FALSE(defaults.includeEncapsulated);
    AppSettings::setParsingIncludeTcp(false);
    AppSettings::setParsingIncludeEncapsulated(true);
    ParsingOptions changed = parsingOptionsFromSettings();
    EXPECT_FALSE(changed.includeTcp);
    EXPECT_TRUE(changed.includeEncapsulated);
}
