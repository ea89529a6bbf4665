#include "menu_items.h"

#include <unordered_map>

#include "command_ids.h"
#include "settings/app_settings.h"

namespace varlowe {

std::string menuLabel(const MenuItemSpec& row) {
    if (row.modifiers == MenuItemSpec::kNone || row.key.empty()) {
        return row.label;
    }
    std::string text = row.label + "\t";
    if ((row.modifiers & MenuItemSpec::kCtrl) != 0) {
        text += "Ctrl+";
    }
    if ((row.modifiers & MenuItemSpec::kAlt) != 0) {
        text += "Alt+";
    }
    if ((row.modifiers & MenuItemSpec::kShift) != 0) {
        text += "Shift+";
    }
    return text + row.key;
}

MenuItemSpec Command::menuItem() const {
    return MenuItemSpec{
        id, label, help, check ? MenuItemSpec::kCheck : MenuItemSpec::kNormal, modifiers, key};
}

namespace {

using Row = MenuItemSpec;

// The row builders: a command, the same after a separator, a View switch over its setting.
struct Declare {
    Command row;
    Declare(int id, MenuBar menu, const char* label, const char* help) {
        row.id = id;
        row.menu = menu;
        row.label = label;
        row.help = help;
    }
    Declare& keys(int modifiers, const char* key) {
        row.modifiers = modifiers;
        row.key = key;
        return *this;
    }
    Declare& separated() {
        row.separatorBefore = true;
        return *this;
    }
    Declare& tool(const char* icon, const char* tip) {
        row.icon = icon;
        row.tip = tip;
        return *this;
    }
    Declare& switches(bool (*read)(), void (*write)(const bool&)) {
        row.check = true;
        row.setting = read;
        row.setSetting = write;
        return *this;
    }
    operator Command() const { return row; }
};

std::vector<Command> table() {
    using namespace command;
    using A = AppSettings;
    const MenuBar F = MenuBar::File, E = MenuBar::Edit, V = MenuBar::View, H = MenuBar::Help,
                  N = MenuBar::None;
    return {
        Declare(kOpen, F, "Open...", "Open").keys(Row::kCtrl, "O").tool("tb_open", "Open file"),
        Declare(kClose, F, "Close", "Close").keys(Row::kCtrl, "W"),
        Declare(kCloseAll, F, "Close All", "Close All"),
        Declare(kRecentFiles, F, "Recent Files", "Recent Files").separated(),
        Declare(kExport, F, "Export...", "Export").keys(Row::kCtrl, "E").separated(),
        Declare(kExportImage, F, "Export Image...", "Export the diagram as a PNG or SVG image"),
        Declare(kCaptureLive, F, "Capture Live Network Traffic...", "Capture Network Traffic")
            .keys(Row::kCtrl, "T")
            .separated()
            .tool("tb_record", "Live Capture"),
        Declare(kPageSetup, F, "Page Setup", "Page Setup").keys(Row::kCtrl, "G").separated(),
        Declare(kPrint, F, "Print...", "Print").keys(Row::kCtrl, "P").tool("tb_print", "Print"),
        Declare(kPrintPreview, F, "Print Preview", "Print Preview").keys(Row::kCtrl, "R"),
        Declare(kExit, F, "Exit", "Exit").keys(Row::kAlt, "F4").separated(),

        Declare(kCopy, E, "Copy", "Copy").keys(Row::kCtrl, "C").tool("tb_copy", "Copy"),
        Declare(kCopyAll, E, "Copy All", "Copy"),
        Declare(kFind, E, "Find...", "Find a text in the messages")
            .keys(Row::kCtrl, "F")
            .separated(),
        Declare(kFindNext, E, "Find Next", "Find Next").keys(Row::kKeyOnly, "F3"),
        Declare(kFindPrevious, E, "Find Previous", "Find Previous").keys(Row::kShift, "F3"),
        Declare(kNextInTransaction, E, "Next In Transaction", "Next In Transaction")
            .keys(Row::kCtrl, "Down")
            .separated(),
        Declare(kPreviousInTransaction, E, "Previous In Transaction", "Previous In Transaction")
            .keys(Row::kCtrl, "Up"),
        Declare(kNextInDialog, E, "Next In Dialog", "Next In Dialog").keys(Row::kAlt, "Down"),
        Declare(kPreviousInDialog, E, "Previous In Dialog", "Previous In Dialog")
            .keys(Row::kAlt, "Up"),
        Declare(kToggleBookmark, E, "Toggle Bookmark", "Toggle Bookmark")
            .keys(Row::kCtrl, "B")
            .separated(),
        Declare(kPreferences, E, "Preferences", "Preferences")
            .separated()
            .tool("tb_preferences", "Preferences"),

        Declare(kShowToolbar, V, "Show Toolbar", "Show Toolbar")
            .switches(&A::frameShowToolbar, &A::setFrameShowToolbar),
        Declare(kShowStatusbar, V, "Show Statusbar", "Show Statusbar")
            .switches(&A::frameShowStatusbar, &A::setFrameShowStatusbar),
        Declare(kShowFilterPane, V, "Show Filter Pane", "Show Filter Pane")
            .separated()
            .switches(&A::frameShowFilterPane, &A::setFrameShowFilterPane),
        Declare(kShowSelectionPane, V, "Show Selection Pane", "Show Selection Pane")
            .switches(&A::frameShowSelectionPane, &A::setFrameShowSelectionPane),
        Declare(kShowTimePane, V, "Show Time Pane", "Show Time Pane")
            .switches(&A::frameShowTimePane, &A::setFrameShowTimePane),
        Declare(kShowInfoPane, V, "Show Info Pane", "Show Info Pane")
            .switches(&A::frameShowInfoPane, &A::setFrameShowInfoPane),
        Declare(kShowCallsPane, V, "Show Calls List", "Show Calls List")
            .keys(Row::kCtrl, "L")
            .tool("tb_calls", "Calls List")
            .switches(&A::frameShowCallsPane, &A::setFrameShowCallsPane),
        Declare(kShowTimeDeltas, V, "Show Time Deltas", "Show Time Deltas")
            .separated()
            .switches(&A::diagramShowTimeDeltas, &A::setDiagramShowTimeDeltas),
        Declare(kShowRelationshipMarkers, V, "Show Relationship Markers",
                "Show Relationship Markers")
            .switches(&A::diagramShowRelationshipMarkers, &A::setDiagramShowRelationshipMarkers),
        Declare(kShowTransactionMarkers, V, "Show Transaction Markers", "Show Transaction Markers")
            .switches(&A::diagramShowTransactionMarkers, &A::setDiagramShowTransactionMarkers),
        Declare(kShowSipMessages, V, "Show Sip Messages", "Show Sip Messages")
            .separated()
            .switches(&A::diagramShowSipMessages, &A::setDiagramShowSipMessages),
        Declare(kShowProvisionalResponses, V, "Show Sip Provisional Responses",
                "Show Sip Provisional Responses")
            .switches(&A::diagramShowProvisionalResponses, &A::setDiagramShowProvisionalResponses),
        Declare(kShowSturnMessages, V, "Show Stun Messages", "Show Stun Messages")
            .switches(&A::diagramShowSturnMessages, &A::setDiagramShowSturnMessages),
        Declare(kShowRtpMarkers, V, "Show Media Start Events", "Show Media Start Events")
            .switches(&A::diagramShowRtpMarkers, &A::setDiagramShowRtpMarkers),

        Declare(kHelp, H, "Help...", "Help").keys(Row::kKeyOnly, "F1").tool("tb_help", "Help"),
        Declare(kHelpIndex, H, "Index...", "Index"),
        Declare(kHelpSearch, H, "Search...", "Search"),
        Declare(kCheckForUpdates, H, "Check for updates...", "Check for updates").separated(),
        Declare(kAbout, H, "About...", "About").separated(),

        // The pop-up menus' and the toolbar's own.
        Declare(kAddBookmark, N, "Add Bookmark", "Add Bookmark")
            .keys(Row::kCtrl, "B")
            .tool("tb_bookmark_add", "Add Bookmark"),
        Declare(kRemoveBookmark, N, "Remove Bookmark", "Remove Bookmark")
            .keys(Row::kCtrl, "B")
            .tool("tb_bookmark_remove", "Remove Bookmark"),
        Declare(kContents, N, "Contents...", "Contents..."),
        Declare(kExtractRtp, N, "Extract RTP Data...", "Extract RTP Data..."),
        Declare(kSaveAudio, N, "Save Audio As...", "Save Audio As..."),
        Declare(kPlayAudio, N, "Play Audio...", "Play Audio..."),
        Declare(kMoveColumnLeft, N, "Move Column Left", "Move Column Left"),
        Declare(kMoveColumnRight, N, "Move Column Right", "Move Column Right"),
        Declare(kEditColumnLabel, N, "Edit Column Label", "Edit Column Label..."),
        Declare(kRestoreColumnLabel, N, "Restore Column Label", "Restore Column Label"),
    };
}

std::vector<MenuItemSpec> barMenu(MenuBar menu) {
    std::vector<MenuItemSpec> rows;
    for (const Command& command : commands()) {
        if (command.menu != menu) {
            continue;
        }
        if (command.separatorBefore && !rows.empty()) {
            rows.push_back(MenuItemSpec::separator());
        }
        rows.push_back(command.menuItem());
    }
    return rows;
}

// A pop-up menu from identifiers; 0 stands for a separator.
std::vector<MenuItemSpec> popUp(std::initializer_list<int> ids) {
    std::vector<MenuItemSpec> rows;
    for (int id : ids) {
        rows.push_back(id == 0 ? MenuItemSpec::separator() : commandOf(id)->menuItem());
    }
    return rows;
}

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> rows = table();
    return rows;
}

const Command* commandOf(int id) {
    static const std::unordered_map<int, size_t> index = [] {
        std::unordered_map<int, size_t> built;
        for (size_t i = 0; i < commands().size(); ++i) {
            built.emplace(commands()[i].id, i);
        }
        return built;
    }();
    auto found = index.find(id);
    return found == index.end() ? nullptr : &commands()[found->second];
}

const std::vector<int>& toolbarCommands() {
    using namespace command;
    static const std::vector<int> ids = {
        kOpen,          0, kCaptureLive, 0, kCopy,        kAddBookmark, kRemoveBookmark, 0,
        kShowCallsPane, 0, kPrint,       0, kPreferences, kHelp};
    return ids;
}

namespace menus {

const std::vector<MenuItemSpec>& file() {
    static const std::vector<MenuItemSpec> rows = barMenu(MenuBar::File);
    return rows;
}
const std::vector<MenuItemSpec>& edit() {
    static const std::vector<MenuItemSpec> rows = barMenu(MenuBar::Edit);
    return rows;
}
const std::vector<MenuItemSpec>& view() {
    static const std::vector<MenuItemSpec> rows = barMenu(MenuBar::View);
    return rows;
}
const std::vector<MenuItemSpec>& help() {
    static const std::vector<MenuItemSpec> rows = barMenu(MenuBar::Help);
    return rows;
}
const std::vector<MenuItemSpec>& columnHeader() {
    using namespace command;
    static const std::vector<MenuItemSpec> rows =
        popUp({kMoveColumnLeft, kMoveColumnRight, 0, kEditColumnLabel, kRestoreColumnLabel, 0});
    return rows;
}
const std::vector<MenuItemSpec>& itemWithExtraction() {
    using namespace command;
    static const std::vector<MenuItemSpec> rows =
        popUp({kContents, 0, kCopy, 0, kExtractRtp, kSaveAudio, kPlayAudio, 0, kNextInTransaction,
               kPreviousInTransaction, kNextInDialog, kPreviousInDialog, 0, kAddBookmark,
               kRemoveBookmark});
    return rows;
}
const std::vector<MenuItemSpec>& itemWithoutExtraction() {
    using namespace command;
    static const std::vector<MenuItemSpec> rows =
        popUp({kContents, 0, kCopy, 0, kNextInTransaction, kPreviousInTransaction, kNextInDialog,
               kPreviousInDialog, 0, kAddBookmark, kRemoveBookmark});
    return rows;
}

}  // namespace menus

}  // namespace varlowe
