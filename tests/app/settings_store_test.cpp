#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <wx/init.h>

#include "capture_builder.h"
#include "settings_store.h"

using namespace varlowe;

namespace {

// The store runs inside the application, which has initialised the toolkit.
wxInitializer toolkit;

// Every test gets an empty store and its own configuration folder.
class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsStore::shutdown();
        setenv("XDG_CONFIG_HOME", folder_.folder().c_str(), 1);
    }
    void TearDown() override { SettingsStore::shutdown(); }
    SettingsStore& store() { return SettingsStore::instance(); }
    std::string fileText() const {
        return testsupport::fileText(SettingsStore::userConfigPath("Varlowe"));
    }
    void writeFile(const std::string& text) const {
        std::string path = SettingsStore::userConfigPath("Varlowe");
        std::string dir = path.substr(0, path.rfind('/'));
        std::system(("mkdir -p '" + dir + "'").c_str());
        std::ofstream(path) << text;
    }

    testsupport::TempFile folder_{"unused"};
};

struct Recorder : IAppSettingsListener {
    std::vector<std::string> groups;
    void onSettingsChanged(const std::string& group) override { groups.push_back(group); }
};

}  // namespace

TEST_F(SettingsStoreTest, EveryValueTypeRoundTripsThroughTheFile) {
    SettingFont font{74, 9, 93, 92, true, "DejaVu Sans|x", 1};
    font.faceName = "DejaVu Sans";
    store().setInt("diagram", "count", -42);
    store().setString("diagram", "title", "Grüße \"quoted\" = ; #");
    store().setColour("diagram", "colorRequest", SettingColour{255, 128, 0, 255});
    store().setBool("frame", "showToolbar", true);
    store().setBool("frame", "maximised", false);
    store().setDate("versionCheck", "lastCheck", SettingDate{2026, 11, 7, 10, 0, 0, 0});
    store().setFont("diagram", "font", font);
    store().setPoint("layout", "position", SettingPoint{-5, 300});
    store().setSize("layout", "size", SettingSize{1024, 768});
    ASSERT_TRUE(store().save("Varlowe"));
    SettingsStore::shutdown();

    ASSERT_TRUE(store().load("Varlowe", nullptr));
    EXPECT_EQ(store().getInt("diagram", "count", 0), -42);
    EXPECT_EQ(store().getString("diagram", "title", ""), "Grüße \"quoted\" = ; #");
    EXPECT_EQ(store().getColour("diagram", "colorRequest", {}), (SettingColour{255, 128, 0, 255}));
    EXPECT_TRUE(store().getBool("frame", "showToolbar", false));
    EXPECT_FALSE(store().getBool("frame", "maximised", true));
    EXPECT_EQ(store().getDate("versionCheck", "lastCheck", {}),
              (SettingDate{2026, 11, 7, 23, 59, 59, 0}));
    EXPECT_EQ(store().getFont("diagram", "font", {}), font);
    EXPECT_EQ(store().getPoint("layout", "position", {}), (SettingPoint{-5, 300}));
    EXPECT_EQ(store().getSize("layout", "size", {}), (SettingSize{1024, 768}));
}

TEST_F(SettingsStoreTest, PersistedTextsAreExactlyTheDocumentedOnes) {
    store().setBool("frame", "showToolbar", true);
    store().setColour("diagram", "colorRequest", SettingColour{255, 128, 0, 255});
    store().setDate("versionCheck", "lastCheck", SettingDate{2026, 11, 7, 12, 0, 0, 0});
    store().setFont("diagram", "font", SettingFont{74, 10, 90, 92, false, "Sans", 0});
    store().setPoint("layout", "position", SettingPoint{3, 4});
    ASSERT_TRUE(store().save("Varlowe"));
    std::string text = fileText();
    EXPECT_NE(text.find("[frame]\nshowToolbar.type=3\nshowToolbar.value=1\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("colorRequest.type=2\ncolorRequest.value=33023\n"), std::string::npos);
    EXPECT_NE(text.find("lastCheck.type=4\nlastCheck.value=2026-11-7\n"), std::string::npos);
    EXPECT_NE(text.find("font.value=74|10|90|92|0|Sans|0\n"), std::string::npos);
    EXPECT_NE(text.find("position.type=6\nposition.value.x=3\nposition.value.y=4\n"),
              std::string::npos);
}

TEST_F(SettingsStoreTest, SaveReplacesTheWholeFileAndSurvivesAnUnreadableOne) {
    writeFile("RecentFile1=/tmp/old.pcap\n[gone]\nx.type=0\nx.value=1\n[broken\n=\n");
    store().setInt("kept", "n", 5);
    ASSERT_TRUE(store().load("Varlowe", nullptr));
    EXPECT_EQ(store().getInt("gone", "x", 0), 1);
    store().removeGroup("gone");
    ASSERT_TRUE(store().save("Varlowe"));
    std::string text = fileText();
    EXPECT_EQ(text.find("RecentFile1"), std::string::npos) << text;
    EXPECT_EQ(text.find("[gone]"), std::string::npos) << text;
    EXPECT_NE(text.find("[kept]\nn.type=0\nn.value=5"), std::string::npos) << text;
}

TEST_F(SettingsStoreTest, UnwritableFolderKeepsTheValuesInMemory) {
    setenv("XDG_CONFIG_HOME", "/proc/varlowe-cannot-exist", 1);
    store().setInt("a", "b", 3);
    EXPECT_FALSE(store().save("Varlowe"));
    EXPECT_FALSE(store().load("Varlowe", nullptr));
    EXPECT_EQ(store().getInt("a", "b", 0), 3);
}

TEST_F(SettingsStoreTest, TypeMismatchesAndMissingValuesGiveTheDefault) {
    store().setBool("frame", "showToolbar", true);
    EXPECT_EQ(store().getInt("frame", "showToolbar", 77), 77);
    EXPECT_EQ(store().getString("frame", "showToolbar", "d"), "d");
    EXPECT_EQ(store().getInt("frame", "missing", 5), 5);
    EXPECT_EQ(store().getInt("nogroup", "showToolbar", 6), 6);
}

TEST_F(SettingsStoreTest, RewrittenEntryMovesToTheEndAndNotifiesEachTime) {
    Recorder recorder;
    ASSERT_TRUE(store().addListener(&recorder));
    store().setInt("diagram", "a", 1);
    store().setInt("diagram", "b", 2);
    store().setInt("diagram", "a", 3);
    EXPECT_EQ(store().entryNames("diagram"), (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(store().getInt("diagram", "a", 0), 3);
    EXPECT_EQ(recorder.groups, (std::vector<std::string>{"diagram", "diagram", "diagram"}));
    store().removeEntry("diagram", "nothing");
    store().removeGroup("nogroup");
    EXPECT_EQ(recorder.groups.size(), 3u);
    store().removeEntry("diagram", "a");
    EXPECT_EQ(recorder.groups.size(), 4u);
    store().removeListener(&recorder);
}

TEST_F(SettingsStoreTest, EditBatchNotifiesEachGroupOnceInOrderOfFirstChange) {
    store().setInt("diagram", "x", 0);
    Recorder recorder;
    store().addListener(&recorder);
    ASSERT_TRUE(store().beginEdit());
    EXPECT_FALSE(store().beginEdit());
    for (int i = 0; i < 10; ++i) {
        store().setInt("diagram", "k" + std::to_string(i), i);
    }
    store().setBool("frame", "showToolbar", false);
    store().setInt("diagram", "x", 9);
    EXPECT_EQ(store().getInt("diagram", "x", -1), 0);  // readers see committed values
    EXPECT_FALSE(store().save("Varlowe"));             // nothing written during a batch
    EXPECT_TRUE(recorder.groups.empty());
    ASSERT_TRUE(store().commitEdit());
    EXPECT_EQ(recorder.groups, (std::vector<std::string>{"diagram", "frame"}));
    EXPECT_EQ(store().getInt("diagram", "x", -1), 9);

    recorder.groups.clear();
    store().beginEdit();
    store().setInt("diagram", "x", 100);
    ASSERT_TRUE(store().cancelEdit());
    EXPECT_TRUE(recorder.groups.empty());
    EXPECT_EQ(store().getInt("diagram", "x", -1), 9);
    EXPECT_FALSE(store().commitEdit());
    store().removeListener(&recorder);
}

TEST_F(SettingsStoreTest, SeventeenthGroupOfABatchIsNotAnnounced) {
    Recorder recorder;
    store().addListener(&recorder);
    store().beginEdit();
    for (int i = 0; i < 17; ++i) {
        store().setInt("g" + std::to_string(i), "e", i);
    }
    store().commitEdit();
    ASSERT_EQ(recorder.groups.size(), 16u);
    EXPECT_EQ(recorder.groups.back(), "g15");
    EXPECT_EQ(store().getInt("g16", "e", -1), 16);  // the value itself is kept
    store().removeListener(&recorder);
}

TEST_F(SettingsStoreTest, SixtyFourListenersAtMostAndNoDuplicates) {
    std::vector<Recorder> recorders(65);
    for (int i = 0; i < 64; ++i) {
        ASSERT_TRUE(store().addListener(&recorders[static_cast<size_t>(i)]));
    }
    EXPECT_FALSE(store().addListener(&recorders[64]));
    EXPECT_TRUE(store().addListener(&recorders[0]));  // re-registering takes no extra slot
    store().setInt("a", "b", 1);
    EXPECT_EQ(recorders[0].groups.size(), 1u);
    EXPECT_TRUE(recorders[64].groups.empty());
    SettingsStore::shutdown();
}

TEST_F(SettingsStoreTest, LoadSkipsBadEntriesAndRootValuesAndFeedsUserLabels) {
    writeFile(
        "RecentFile1=/tmp/a.pcap\n"
        "[frame]\n"
        "good.type=0\ngood.value=12\n"
        "alien.type=9\nalien.value=1\n"
        "broken.type=x\nbroken.value=3\n"
        "missing.type=0\n"
        "[userLabels]\n"
        "10.0.0.1.type=1\n10.0.0.1.value=Proxy\n");
    struct Labels : IUserLabelReceiver {
        std::vector<std::pair<std::string, std::string>> got;
        void receiveLabel(const std::string& a, const std::string& l) override {
            got.emplace_back(a, l);
        }
    } labels;
    store().setInt("kept", "before", 1);
    ASSERT_TRUE(store().load("Varlowe", &labels));
    EXPECT_EQ(store().getInt("frame", "good", 0), 12);
    EXPECT_EQ(store().entryNames("frame"), (std::vector<std::string>{"good"}));
    EXPECT_EQ(store().getInt("kept", "before", 0), 1);
    EXPECT_EQ(store().getString("userLabels", "10.0.0.1", ""), "Proxy");
    EXPECT_EQ(labels.got,
              (std::vector<std::pair<std::string, std::string>>{{"10.0.0.1", "Proxy"}}));
    for (size_t i = 0; i < store().groupCount(); ++i) {
        EXPECT_NE(store().groupName(i), "");
    }
}

TEST_F(SettingsStoreTest, FontAndDateTextsDecodeTolerantly) {
    SettingFont partial = decodeFont("74||12");
    EXPECT_EQ(partial.family, 74);
    EXPECT_EQ(partial.pointSize, 12);  // empty tokens are skipped
    EXPECT_EQ(partial.faceName, "");
    EXPECT_EQ(decodeFont("x|-3").pointSize, -3);
    EXPECT_EQ(decodeFont("x|-3").family, 0);
    SettingDate date = decodeDate("2026-11-7");
    EXPECT_EQ(date.year, 2026);
    EXPECT_EQ(date.month, 11);
    EXPECT_EQ(date.day, 7);
    EXPECT_EQ(date.hour, 23);
    EXPECT_EQ(encodeDate(SettingDate{2026, 0, 31}), "2026-0-31");
}
