#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <wx/fileconf.h>
#include <wx/init.h>

#include "settings/settings_store.h"
#include "support/capture_builder.h"

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

TEST_F(SettingsStoreTest, SaveReplacesTheGroupsKeepsTheRootAndSurvivesAnUnreadableLine) {
    writeFile("RecentFile1=/tmp/old.pcap\n[gone]\nx.type=0\nx.value=1\n[broken\n=\n");
    store().setInt("kept", "n", 5);
    ASSERT_TRUE(store().load("Varlowe", nullptr));
    EXPECT_EQ(store().getInt("gone", "x", 0), 1);
    store().removeGroup("gone");
    ASSERT_TRUE(store().save("Varlowe"));
    std::string text = fileText();
    EXPECT_EQ(text.find("RecentFile1=/tmp/old.pcap\n"), 0u) << text;
    EXPECT_EQ(text.find("[gone]"), std::string::npos) << text;
    EXPECT_NE(text.find("[kept]\nn.type=0\nn.value=5"), std::string::npos) << text;
}

// The file of a user of several sessions: recent files at the root, then groups. Every save
// must keep every value, however often the program starts and ends.
TEST_F(SettingsStoreTest, EveryValueSurvivesSessionAfterSession) {
    writeFile(
        "file1=/captures/a b.pcap\nfile2=/captures/\\\\odd.pcap\nfile3=\n"
        "[frame]\nshowToolbar.type=3\nshowToolbar.value=0\n"
        "[layout]\nframeSize.type=7\nframeSize.value.w=1111\nframeSize.value.h=777\n"
        "[diagram]\ncolorRequest.type=2\ncolorRequest.value=33023\n"
        "[userLabels]\nfd17\\:\\:1.type=1\nfd17\\:\\:1.value=\"  padded label\"\n");
    for (int session = 1; session <= 3; ++session) {
        SCOPED_TRACE("session " + std::to_string(session));
        ASSERT_TRUE(store().load("Varlowe", nullptr));
        EXPECT_FALSE(store().getBool("frame", "showToolbar", true));
        EXPECT_EQ(store().getSize("layout", "frameSize", {}), (SettingSize{1111, 777}));
        EXPECT_EQ(store().getColour("diagram", "colorRequest", {}).packed(), 33023);
        EXPECT_EQ(store().getString("userLabels", "fd17::1", ""), "  padded label");
        EXPECT_EQ(store().getInt("versionCheck", "session", 0), session - 1);
        store().setInt("versionCheck", "session", session);
        store().setSize("layout", "frameSize", SettingSize{1111, 777});
        ASSERT_TRUE(store().save("Varlowe"));
        ASSERT_TRUE(store().save("Varlowe"));  // Apply, then the exit: twice in a session
        SettingsStore::shutdown();
        const std::string text = fileText();
        EXPECT_EQ(text.find("file1=/captures/a b.pcap\nfile2=/captures/\\\\odd.pcap\nfile3=\n"), 0u)
            << text;
        std::optional<ConfigFile> config = SettingsStore::readConfiguration("Varlowe");
        ASSERT_TRUE(config);
        ASSERT_NE(config->find("", "file2"), nullptr);
        EXPECT_EQ(*config->find("", "file2"), "/captures/\\odd.pcap");
    }
}

TEST_F(SettingsStoreTest, RootEntriesAreSetWithoutTouchingTheGroups) {
    store().setInt("frame", "n", 4);
    ASSERT_TRUE(store().save("Varlowe"));
    ASSERT_TRUE(SettingsStore::writeRootEntries("Varlowe", {{"file1", "/x.pcap"}, {"file2", ""}}));
    ASSERT_TRUE(SettingsStore::writeRootEntries("Varlowe", {{"file1", "/y.pcap"}}));
    EXPECT_EQ(fileText(), "file1=/y.pcap\nfile2=\n[frame]\nn.type=0\nn.value=4\n");
}

// A pipe, a folder or a device where the file should be is neither read nor written, and
// the program neither waits on it nor leaves files beside it.
TEST_F(SettingsStoreTest, SomethingOtherThanAFileInItsPlaceIsLeftAlone) {
    const std::string path = SettingsStore::userConfigPath("Varlowe");
    const std::string folder = path.substr(0, path.rfind('/'));
    std::system(("mkdir -p '" + folder + "'").c_str());
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    store().setInt("a", "b", 1);
    EXPECT_FALSE(store().load("Varlowe", nullptr));  // returns at once: no writer is needed
    EXPECT_FALSE(store().save("Varlowe"));
    EXPECT_FALSE(SettingsStore::writeRootEntries("Varlowe", {{"file1", "/x"}}));
    EXPECT_EQ(store().getInt("a", "b", 0), 1);
    ::unlink(path.c_str());
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    EXPECT_FALSE(store().save("Varlowe"));
    EXPECT_FALSE(SettingsStore::writeRootEntries("Varlowe", {{"file1", "/x"}}));
    EXPECT_FALSE(store().load("Varlowe", nullptr));
    size_t names = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            names += std::string(entry->d_name) != "." && std::string(entry->d_name) != "..";
        }
        ::closedir(dir);
    }
    EXPECT_EQ(names, 1u);  // the folder in the file's place, nothing beside it
}

// Column labels of a whole network: each entry is found through an index, not a scan, so
// that two hundred thousand load in about a second.
TEST_F(SettingsStoreTest, ManyColumnLabelsLoadAndStayInTheirOrder) {
    std::string text = "[userLabels]\n";
    constexpr int kLabels = 200000;
    for (int i = 0; i < kLabels; ++i) {
        const std::string address = "10." + std::to_string(i / 65536) + "." +
                                    std::to_string(i / 256 % 256) + "." + std::to_string(i % 256);
        text += address + ".type=1\n" + address + ".value=host " + std::to_string(i) + "\n";
    }
    writeFile(text);
    const auto started = std::chrono::steady_clock::now();
    struct Count : IUserLabelReceiver {
        int labels = 0;
        void receiveLabel(const std::string&, const std::string&) override { ++labels; }
    } count;
    ASSERT_TRUE(store().load("Varlowe", &count));
    // A guard against the stall of a scan per entry (minutes), not a measure of speed.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
    EXPECT_EQ(count.labels, kLabels);
    EXPECT_EQ(store().getString("userLabels", "10.3.13.63", ""), "host 199999");
    std::vector<std::string> names = store().entryNames("userLabels");
    ASSERT_EQ(names.size(), static_cast<size_t>(kLabels));
    EXPECT_EQ(names[1], "10.0.0.1");
    store().removeEntry("userLabels", "10.0.0.1");
    store().setString("userLabels", "10.0.0.0", "moved");
    names = store().entryNames("userLabels");
    EXPECT_EQ(names.front(), "10.0.0.2");
    EXPECT_EQ(names.back(), "10.0.0.0");
    EXPECT_EQ(store().getString("userLabels", "10.0.0.5", ""), "host 5");
}

TEST_F(SettingsStoreTest, AFontTooLargeForAnyScreenIsBroughtBack) {
    writeFile(
        "[diagram]\nfont.type=5\nfont.value=74|100000|90|90|0|Sans|0\n"
        "small.type=5\nsmall.value=74|9|90|90|0|Sans|0\n");
    ASSERT_TRUE(store().load("Varlowe", nullptr));
    EXPECT_EQ(store().getFont("diagram", "font", {}).pointSize, kLargestFontPoints);
    EXPECT_EQ(store().getFont("diagram", "small", {}).pointSize, 9);
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

// Files written by the toolkit's file configuration (every earlier version of the program)
// read the same, and what is written now reads the same in the toolkit.
TEST(ConfigFileTest, ReadsAndWritesTheToolkitsLayout) {
    const std::vector<std::pair<std::string, std::string>> values = {
        {"plain", "text"},
        {"spaces", "  leading and trailing  "},
        {"quote", "\"quoted\" and \\ backslash"},
        {"lines", "one\ntwo\tthree\r"},
        {"equals", "a=b;c#d"},
        {"fd17::1", "IPv6 label"},
        {"with space", "x"},
        {"Grüße", "ünïcödé"},
        {"empty", ""},
    };
    testsupport::TempFile written("theirs.conf");
    {
        wxFileConfig theirs("", "", written.path(), "", wxCONFIG_USE_LOCAL_FILE);
        theirs.SetExpandEnvVars(false);
        theirs.Write("/file1", wxString::FromUTF8("/captures/ä.pcap"));
        for (const auto& [name, value] : values) {
            theirs.Write("/userLabels/" + wxString::FromUTF8(name), wxString::FromUTF8(value));
        }
        theirs.Write("/frame/showToolbar.type", 3L);
        ASSERT_TRUE(theirs.Flush());
    }
    ConfigFile ours;
    ASSERT_EQ(ours.read(written.path()), ConfigFile::ReadResult::Read);
    ASSERT_NE(ours.find("", "file1"), nullptr);
    EXPECT_EQ(*ours.find("", "file1"), "/captures/ä.pcap");
    for (const auto& [name, value] : values) {
        const std::string* read = ours.find("userLabels", name);
        ASSERT_NE(read, nullptr) << name;
        EXPECT_EQ(*read, value) << name;
    }
    long code = 0;
    ASSERT_TRUE(configNumber(*ours.find("frame", "showToolbar.type"), code));
    EXPECT_EQ(code, 3);

    testsupport::TempFile again("ours.conf");
    ASSERT_TRUE(ours.write(again.path()));
    wxFileConfig theirs("", "", again.path(), "", wxCONFIG_USE_LOCAL_FILE);
    theirs.SetExpandEnvVars(false);
    for (const auto& [name, value] : values) {
        wxString read;
        ASSERT_TRUE(theirs.Read("/userLabels/" + wxString::FromUTF8(name), &read)) << name;
        EXPECT_EQ(read.utf8_string(), value) << name;
    }
    EXPECT_EQ(theirs.Read("/file1", ""), wxString::FromUTF8("/captures/ä.pcap"));
    EXPECT_EQ(theirs.ReadLong("/frame/showToolbar.type", 0), 3);
}

TEST(ConfigFileTest, NumbersReadAsTheToolkitReadsThem) {
    long value = 0;
    EXPECT_TRUE(configNumber("-42", value));
    EXPECT_EQ(value, -42);
    EXPECT_TRUE(configNumber(" 7", value));
    EXPECT_EQ(value, 7);
    EXPECT_FALSE(configNumber("7 ", value));
    EXPECT_FALSE(configNumber("x", value));
    EXPECT_FALSE(configNumber("", value));
    EXPECT_FALSE(configNumber("99999999999999999999", value));
}
