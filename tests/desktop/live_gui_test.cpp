// Live capture and the version check from the main window under Xvfb. Recording needs the
// right to capture on lo (root; CI runs as root); those tests skip without it.
#include <gtest/gtest.h>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>

#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "desktop/capture_dialog.h"
#include "settings/app_settings.h"
#include "settings/version_check.h"
#include "support/local_http_server.h"
#include "support/loopback_call.h"
#include "support/program_harness.h"
#include "toolkit/command_ids.h"

using namespace varlowe;
using namespace varlowe::testsupport;

namespace {

struct Box {
    wxString title, text;
    long style = 0;
};

// The main window with its message boxes recorded and answered.
struct Answered : Program {
    std::vector<Box> boxes;
    int answer = wxID_NO;
    std::vector<wxString>& opened = services.opened;
    Answered() {
        services.message = [this](const wxString& title, const wxString& text, long style) {
            boxes.push_back({title, text, style});
            return (style & wxYES_NO) != 0 ? answer : wxID_OK;
        };
    }
    void command(int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        frame->GetEventHandler()->ProcessEvent(event);
    }
    // The version check answers in its own time.
    bool checked() {
        return waitUntil([&] { return !frame->versionCheckRunning(); });
    }
};

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

int indexOfDevice(const std::vector<std::string>& devices, const std::string& name) {
    for (size_t i = 0; i < devices.size(); ++i) {
        if (deviceNameOf(devices[i]) == name)
            return static_cast<int>(i);
    }
    return -1;
}

// Plays the capture dialog: the save dialog answers `path`, `play` drives the dialog; returns
// what the dialog returned (-100 when it was not shown).
int playCaptureDialog(Answered& program, std::optional<std::string> path,
                      const std::function<void(CaptureDialog&)>& play) {
    int code = -100;
    program.services.save = [path](const wxString& title) {
        EXPECT_EQ(title, "Save As");
        return path;
    };
    program.services.modal = [&](wxDialog& dialog) {
        auto& capture = dynamic_cast<CaptureDialog&>(dialog);
        dialog.Show();
        play(capture);
        code = dialog.GetReturnCode();
        return code;
    };
    program.command(command::kCaptureLive);
    return code;
}

void recordUntilStarted(CaptureDialog& dialog) {
    dialog.start();
    ASSERT_TRUE(waitUntil([&] { return dialog.countLabel()->GetLabel() == "0 packets captured."; }))
        << dialog.countLabel()->GetLabel();
}

}  // namespace

TEST(LiveCapture, WithoutInterfacesTheBoxSaysSoAndNoDialogOpens) {
    Answered program;
    program.services.devices = std::vector<std::string>{};
    EXPECT_EQ(playCaptureDialog(program, std::nullopt, [](CaptureDialog&) {}), -100);
    ASSERT_EQ(program.boxes.size(), 1u);
    EXPECT_EQ(program.boxes[0].title, "No capture interfaces");
    EXPECT_EQ(program.boxes[0].text,
              "Varlowe was unable to find a capture device.  You may need administrator "
              "privileges to capture.");
    EXPECT_NE(program.boxes[0].style & wxICON_ERROR, 0);
}

TEST(LiveCapture, ADeviceThatCannotBeOpenedIsSaidAndCancelRecordsNothing) {
    Answered program;
    program.services.devices = std::vector<std::string>{"varlowe-none0 (Nothing here)", "lo ()"};
    AppSettings::setCaptureDialogAdapterIndex(7);  // no longer in the list: the first entry
    TempFile file("never.pcap");
    playCaptureDialog(program, file.path(), [&](CaptureDialog& dialog) {
        EXPECT_EQ(dialog.GetTitle(), "Capture Network Traffic");
        EXPECT_EQ(dialog.deviceList()->GetCount(), 2u);
        EXPECT_EQ(dialog.deviceList()->GetSelection(), 0);
        EXPECT_TRUE(dialog.startButton()->IsEnabled());
        EXPECT_FALSE(dialog.stopButton()->IsEnabled());
        EXPECT_TRUE(dialog.promiscuousBox()->GetValue());
        EXPECT_EQ(dialog.countLabel()->GetLabel(), "");
        dialog.start();
        EXPECT_FALSE(dialog.startButton()->IsEnabled());
        EXPECT_TRUE(dialog.stopButton()->IsEnabled());
        EXPECT_FALSE(dialog.deviceList()->IsEnabled());
        ASSERT_TRUE(waitUntil([&] { return dialog.startButton()->IsEnabled(); }));
        EXPECT_TRUE(dialog.countLabel()->GetLabel().StartsWith("Could not open varlowe-none0: "))
            << dialog.countLabel()->GetLabel();
        EXPECT_FALSE(dialog.stopButton()->IsEnabled());
        EXPECT_TRUE(dialog.deviceList()->IsEnabled());
        EXPECT_TRUE(dialog.promiscuousBox()->IsEnabled());
        EXPECT_FALSE(dialog.capture().running());
    });
    EXPECT_FALSE(exists(file.path()));

    // A capture shown in a window is never recorded over.
    ASSERT_NE(program.open("samples/sip-call-loopback.pcap"), nullptr);
    const std::string shown = source("samples/sip-call-loopback.pcap");
    const std::string before = fileText(shown);
    playCaptureDialog(program, shown, [&](CaptureDialog& dialog) {
        dialog.start();
        EXPECT_FALSE(dialog.capture().running());
        EXPECT_TRUE(dialog.startButton()->IsEnabled());
        EXPECT_EQ(
            dialog.countLabel()->GetLabel(),
            wxString::FromUTF8(shown) + " is open in Varlowe; choose another file to record into.");
    });
    EXPECT_EQ(fileText(shown), before);

    // Cancelling the save dialog closes the capture dialog; nothing was recorded.
    const int code = playCaptureDialog(program, std::nullopt, [&](CaptureDialog& dialog) {
        dialog.start();
        EXPECT_FALSE(dialog.capture().running());
        EXPECT_EQ(dialog.capture().filePath(), "");
    });
    EXPECT_EQ(code, wxID_CANCEL);
    EXPECT_EQ(program.frame->countDiagramWindows(), 1u);
}

TEST(LiveCapture, ARecordingOnLoopbackOpensWithItsCallAndTheChoicesComeBack) {
    VARLOWE_REQUIRE_CAPTURE_RIGHTS();
    Answered program;
    const std::vector<std::string> devices = TrafficCapture::listDevices();
    const int lo = indexOfDevice(devices, "lo");
    ASSERT_GE(lo, 0) << "no lo interface";
    AppSettings::setCaptureDialogAdapterIndex(lo);
    AppSettings::setCaptureDialogPromiscuousCapture(true);
    TempFile file("recorded.pcap");
    LoopbackCall call;
    const int code = playCaptureDialog(program, file.path(), [&](CaptureDialog& dialog) {
        EXPECT_EQ(dialog.deviceList()->GetSelection(), lo);
        dialog.promiscuousBox()->SetValue(false);
        recordUntilStarted(dialog);
        call = sendLoopbackCall(25);
        ASSERT_TRUE(waitUntil([&] {
            return dialog.capture().packetCount() >= static_cast<uint32_t>(call.datagrams) &&
                   dialog.countLabel()->GetLabel() ==
                       packetsCapturedText(dialog.capture().packetCount());
        })) << dialog.countLabel()->GetLabel();
        dialog.stop();
    });
    EXPECT_EQ(code, wxID_OK);
    ASSERT_EQ(program.frame->countDiagramWindows(), 1u);
    SipDiagramFrame* window = program.frame->findDiagramWindow(wxString::FromUTF8(file.path()));
    ASSERT_NE(window, nullptr);
    std::vector<ItemIndex> messages = window->model()->itemsWithCallId(call.callId);
    window->model()->removeKind(messages, ItemKind::Media);
    EXPECT_EQ(messages.size(), 5u);
    EXPECT_EQ(window->model()->streamRegistry()->streamCount() >= 2, true);
    EXPECT_EQ(AppSettings::captureDialogAdapterIndex(), lo);
    EXPECT_FALSE(AppSettings::captureDialogPromiscuousCapture());

    // The next dialog starts from those choices.
    playCaptureDialog(program, std::nullopt, [&](CaptureDialog& dialog) {
        EXPECT_EQ(dialog.deviceList()->GetSelection(), lo);
        EXPECT_FALSE(dialog.promiscuousBox()->GetValue());
    });
}

TEST(LiveCapture, OnePacketIsKeptUnopenedAndClosingWhileRecordingDiscards) {
    VARLOWE_REQUIRE_CAPTURE_RIGHTS();
    Answered program;
    const int lo = indexOfDevice(TrafficCapture::listDevices(), "lo");
    ASSERT_GE(lo, 0);
    AppSettings::setCaptureDialogAdapterIndex(lo);
    TempFile single("single.pcap");
    playCaptureDialog(program, single.path(), [&](CaptureDialog& dialog) {
        recordUntilStarted(dialog);
        sendLoopbackDatagram(64);
        ASSERT_TRUE(waitUntil([&] { return dialog.capture().packetCount() >= 1; }));
        ASSERT_EQ(dialog.capture().packetCount(), 1u) << "other traffic on lo meanwhile";
        dialog.stop();
    });
    EXPECT_TRUE(exists(single.path()));
    EXPECT_EQ(program.frame->countDiagramWindows(), 0u);

    TempFile discarded("discarded.pcap");
    playCaptureDialog(program, discarded.path(), [&](CaptureDialog& dialog) {
        recordUntilStarted(dialog);
        sendLoopbackCall(5);
        ASSERT_TRUE(waitUntil([&] { return dialog.capture().packetCount() >= 15; }));
        EXPECT_TRUE(exists(discarded.path()));
        dialog.Close();  // the close box
    });
    EXPECT_FALSE(exists(discarded.path()));
    EXPECT_EQ(program.frame->countDiagramWindows(), 0u);
}

TEST(VersionCheck, TheMenuCommandSaysWhatTheServerSaid) {
    Answered program;
    // With a diagram window active the command still reaches the main window, once.
    ASSERT_NE(program.open("samples/sip-call-loopback.pcap"), nullptr);
    {
        LocalHttpServer server("reply", "3971,https://example.test/new more");
        program.services.server = VersionServer{"127.0.0.1", server.port(), 3};
        program.answer = wxID_NO;
        program.command(command::kCheckForUpdates);
        ASSERT_TRUE(program.checked());
        program.answer = wxID_YES;
        program.command(command::kCheckForUpdates);
        ASSERT_TRUE(program.checked());
        ASSERT_EQ(program.boxes.size(), 2u);
        for (const Box& box : program.boxes) {
            EXPECT_EQ(box.title, "Version Check");
            EXPECT_EQ(box.text,
                      "A new version of Varlowe is available, would you like to learn more?\n"
                      "(pressing yes will launch https://example.test/new in your web browser).");
            EXPECT_NE(box.style & wxYES_NO, 0);
        }
        EXPECT_EQ(program.opened, std::vector<wxString>{"https://example.test/new"});
    }
    program.boxes.clear();
    {
        LocalHttpServer server("reply", "3970,https://example.test/same");
        program.services.server = VersionServer{"127.0.0.1", server.port(), 3};
        program.command(command::kCheckForUpdates);
        ASSERT_TRUE(program.checked());
        ASSERT_EQ(program.boxes.size(), 1u);
        EXPECT_EQ(program.boxes[0].text, "You are already running the latest version of Varlowe.");
    }
    program.boxes.clear();
    {
        // Not even when the start-up check is switched off, and without touching its date.
        SettingsStore::instance().setBool("versionCheck", "enabled", false);
        AppSettings::setVersionCheckNextVersionCheck({2030, 0, 1, 23, 59, 59, 0});
        LocalHttpServer server("reply", "3971");
        program.services.server = VersionServer{"127.0.0.1", server.port(), 3};
        program.command(command::kCheckForUpdates);
        ASSERT_TRUE(program.checked());
        ASSERT_EQ(program.boxes.size(), 1u);
        EXPECT_TRUE(program.boxes[0].text.StartsWith(
            "Unable to perform an automatic version check.  Please check your network connection "
            "and try again."));
        EXPECT_EQ(program.boxes[0].style & wxYES_NO, 0);
        EXPECT_NE(server.requests(), "");
        EXPECT_EQ(AppSettings::versionCheckNextVersionCheck(),
                  (SettingDate{2030, 0, 1, 23, 59, 59, 0}));
        SettingsStore::instance().removeEntry("versionCheck", "enabled");
    }
    EXPECT_EQ(program.opened.size(), 1u);
}

TEST(VersionCheck, StartUpChecksEveryThirtyDays) {
    Answered program;
    program.answer = wxID_YES;
    LocalHttpServer server("reply", "3971,https://example.test/new");
    program.services.server = VersionServer{"127.0.0.1", server.port(), 3};
    SettingDate now;
    program.services.clock = [&] { return now; };
    auto requests = [&] {
        const std::string log = server.requests();
        return std::count(log.begin(), log.end(), '\n');
    };

    // A fresh configuration starts the schedule without asking.
    SettingsStore::instance().removeEntry("versionCheck", "nextVersionCheck");
    now = {2026, 1, 1, 10, 0, 0, 0};
    program.frame->startupVersionCheck();
    EXPECT_EQ(requests(), 0);
    EXPECT_EQ(AppSettings::versionCheckNextVersionCheck(),
              (SettingDate{2026, 2, 3, 23, 59, 59, 0}));

    AppSettings::setVersionCheckNextVersionCheck({2026, 1, 10, 23, 59, 59, 0});
    now = {2026, 2, 1, 9, 30, 0, 0};  // 1 March
    program.frame->startupVersionCheck();
    ASSERT_TRUE(program.checked());
    EXPECT_EQ(requests(), 1);
    EXPECT_EQ(AppSettings::versionCheckNextVersionCheck(),
              (SettingDate{2026, 2, 31, 23, 59, 59, 0}));
    ASSERT_EQ(program.boxes.size(), 1u);
    EXPECT_EQ(program.opened, std::vector<wxString>{"https://example.test/new"});

    now = {2026, 2, 31, 18, 0, 0, 0};  // 31 March
    program.frame->startupVersionCheck();
    EXPECT_EQ(requests(), 1);
    now = {2026, 3, 1, 8, 0, 0, 0};  // 1 April
    program.frame->startupVersionCheck();
    ASSERT_TRUE(program.checked());
    EXPECT_EQ(requests(), 2);
    EXPECT_EQ(AppSettings::versionCheckNextVersionCheck(),
              (SettingDate{2026, 4, 1, 23, 59, 59, 0}));

    // Switched off: never at start-up, even when due.
    SettingsStore::instance().setBool("versionCheck", "enabled", false);
    now = {2027, 0, 1, 8, 0, 0, 0};
    program.frame->startupVersionCheck();
    EXPECT_EQ(requests(), 2);
    EXPECT_EQ(AppSettings::versionCheckNextVersionCheck(),
              (SettingDate{2026, 4, 1, 23, 59, 59, 0}));
    SettingsStore::instance().removeEntry("versionCheck", "enabled");

    // A failed check at start-up shows nothing and waits for the next date.
    program.boxes.clear();
    program.services.server = VersionServer{"127.0.0.1", 1, 2};
    program.frame->startupVersionCheck();
    ASSERT_TRUE(program.checked());
    EXPECT_TRUE(program.boxes.empty());
    EXPECT_EQ(AppSettings::versionCheckNextVersionCheck(),
              (SettingDate{2027, 0, 31, 23, 59, 59, 0}));
}

// The window never waits for the network: while a server drips its reply a byte at a time
// the window handles its events, and closing it then neither crashes nor shows a box.
TEST(VersionCheck, TheWindowGoesOnWhileTheServerTakesItsTimeAndCanClose) {
    LocalHttpServer server("drip", "3971,https://example.test/slow");
    {
        Answered program;
        program.services.server = VersionServer{"127.0.0.1", server.port(), 30};
        program.command(command::kCheckForUpdates);
        EXPECT_TRUE(program.frame->versionCheckRunning());  // the command returned at once
        bool handled = false;
        program.frame->CallAfter([&] { handled = true; });
        ASSERT_TRUE(waitUntil([&] { return handled; }));
        EXPECT_TRUE(program.frame->versionCheckRunning());
        // The request is out: close the window mid-check.
        ASSERT_TRUE(waitUntil([&] { return !server.requests().empty(); }));
        program.frame->Close(true);
        drainEvents();
        program.frame = nullptr;
        EXPECT_TRUE(program.boxes.empty());
    }
    drainEvents();
}

// A reply that never ends ends the check at its deadline, whatever part of it drips.
TEST(VersionCheck, TheWholeExchangeHasOneDeadline) {
    Answered program;
    LocalHttpServer server("drip", "3971,https://example.test/slow-body-of-many-bytes");
    program.services.server = VersionServer{"127.0.0.1", server.port(), 2};
    const auto started = std::chrono::steady_clock::now();
    program.command(command::kCheckForUpdates);
    ASSERT_TRUE(program.checked());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
    ASSERT_EQ(program.boxes.size(), 1u);
    EXPECT_TRUE(program.boxes[0].text.StartsWith("Unable to perform an automatic version check."));
}
