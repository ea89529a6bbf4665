// The command rows: the menus, the toolbar and update-UI all come from them.
#include <gtest/gtest.h>

#include <set>

#include "settings/app_settings.h"
#include "toolkit/command_handlers.h"
#include "toolkit/command_ids.h"
#include "toolkit/menu_items.h"

using namespace varlowe;

TEST(Commands, EachIsDeclaredOnceAndTheToolbarTakesItsImageFromItsRow) {
    std::set<int> ids;
    for (const Command& command : commands()) {
        EXPECT_TRUE(ids.insert(command.id).second) << command.id << " declared twice";
        EXPECT_EQ(command.setting == nullptr, command.setSetting == nullptr) << command.id;
        EXPECT_EQ(command.setting != nullptr, command.menu == MenuBar::View) << command.id;
    }
    for (int id : toolbarCommands()) {
        if (id == 0) {
            continue;
        }
        const Command* tool = commandOf(id);
        ASSERT_NE(tool, nullptr) << id;
        EXPECT_NE(tool->icon, nullptr) << id;
        EXPECT_NE(tool->tip, nullptr) << id;
    }
    EXPECT_EQ(commandOf(12345), nullptr);
    // The menus as the Parts name them, separators where the rows say.
    // The View menu: the Parts' 13 switches and 3 separators, and the calls list's switch.
    EXPECT_EQ(menus::view().size(), 14u + 3u);
    EXPECT_TRUE(menus::view()[2].isSeparator());
    EXPECT_EQ(menus::view()[0].kind, MenuItemSpec::kCheck);
    EXPECT_EQ(menuLabel(menus::itemWithExtraction()[4]), "Extract RTP Data...");
}

// A window takes its commands through its handlers; with the switches it also takes the View
// switches, which toggle their settings and show them as check marks.
TEST(Commands, HandlersRunTheirCommandsAndTheSwitchesTheirSettings) {
    CommandHandlers window(CommandHandlers::Place::Last);
    int opened = 0;
    bool allowed = false;
    window.on(
        command::kOpen, [&] { ++opened; }, [&] { return allowed; });
    EXPECT_TRUE(window.run(command::kOpen));
    EXPECT_EQ(opened, 0);  // disabled: taken, not run
    allowed = true;
    EXPECT_TRUE(window.run(command::kOpen));
    EXPECT_EQ(opened, 1);
    wxUpdateUIEvent open(command::kOpen);
    EXPECT_TRUE(window.update(open));
    EXPECT_TRUE(open.GetEnabled());

    const bool before = AppSettings::diagramShowTimeDeltas();
    EXPECT_TRUE(window.run(command::kShowTimeDeltas));
    EXPECT_EQ(AppSettings::diagramShowTimeDeltas(), !before);
    wxUpdateUIEvent deltas(command::kShowTimeDeltas);
    EXPECT_TRUE(window.update(deltas));
    EXPECT_EQ(deltas.GetChecked(), !before);

    // The last in line shows a command nobody took as disabled.
    wxUpdateUIEvent print(command::kPrint);
    EXPECT_TRUE(window.update(print));
    EXPECT_FALSE(print.GetEnabled());
    EXPECT_FALSE(window.run(command::kPrint));

    CommandHandlers child;  // in line: the switches and the rest go on to the main window
    EXPECT_FALSE(child.run(command::kShowTimeDeltas));
    EXPECT_EQ(AppSettings::diagramShowTimeDeltas(), !before);
    wxUpdateUIEvent unknown(command::kAbout);
    EXPECT_FALSE(child.update(unknown));
    child.enable(command::kAbout, [] { return false; });
    EXPECT_TRUE(child.update(unknown));
    EXPECT_FALSE(unknown.GetEnabled());
    EXPECT_FALSE(child.run(command::kAbout));  // only its state is known here
}
