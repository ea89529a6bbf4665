#include "menu_items.h"

#include "command_ids.h"

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

namespace {

using Row = MenuItemSpec;
const Row kSeparator = Row::separator();

Row item(int id, const char* label, const char* help, int modifiers = Row::kNone,
         const char* key = "") {
    return Row{id, label, help, Row::kNormal, modifiers, key};
}
Row check(int id, const char* label, const char* help) {
    return Row{id, label, help, Row::kCheck, Row::kNone, ""};
}

std::vector<Row> itemRows(bool extraction) {
    using namespace command;
    std::vector<Row> rows = {item(kContents, "Contents...", "Contents..."), kSeparator,
                             item(kCopy, "Copy", "Copy", Row::kCtrl, "C"), kSeparator};
    if (extraction) {
        rows.push_back(item(kExtractRtp, "Extract RTP Data...", "Extract RTP Data..."));
        rows.push_back(kSeparator);
    }
    for (const Row& row :
         {item(kNextInTransaction, "Next In Transaction", "Next In Transaction", Row::kCtrl,
               "Down"),
          item(kPreviousInTransaction, "Previous In Transaction", "Previous In Transaction",
               Row::kCtrl, "Up"),
          item(kNextInDialog, "Next In Dialog", "Next In Dialog", Row::kAlt, "Down"),
          item(kPreviousInDialog, "Previous In Dialog", "Previous In Dialog", Row::kAlt, "Up"),
          kSeparator, item(kAddBookmark, "Add Bookmark", "Add Bookmark", Row::kCtrl, "B"),
          item(kRemoveBookmark, "Remove Bookmark", "Remove Bookmark", Row::kCtrl, "B")}) {
        rows.push_back(row);
    }
    return rows;
}

}  // namespace

namespace menus {

const std::vector<MenuItemSpec>& file() {
    using namespace command;
    static const std::vector<Row> rows = {
        item(kOpen, "Open...", "Open", Row::kCtrl, "O"),
        item(kClose, "Close", "Close", Row::kCtrl, "W"),
        item(kCloseAll, "Close All", "Close All"),
        kSeparator,
        item(kRecentFiles, "Recent Files", "Recent Files"),
        kSeparator,
        item(kExport, "Export...", "Export", Row::kCtrl, "E"),
        item(kExportImage, "Export Image...", "Export the diagram as a PNG or SVG image"),
        kSeparator,
        item(kCaptureLive, "Capture Live Network Traffic...", "Capture Network Traffic", Row::kCtrl,
             "T"),
        kSeparator,
        item(kPageSetup, "Page Setup", "Page Setup", Row::kCtrl, "G"),
        item(kPrint, "Print...", "Print", Row::kCtrl, "P"),
        item(kPrintPreview, "Print Preview", "Print Preview", Row::kCtrl, "R"),
        kSeparator,
        item(kExit, "Exit", "Exit", Row::kAlt, "F4"),
    };
    return rows;
}

const std::vector<MenuItemSpec>& edit() {
    using namespace command;
    static const std::vector<Row> rows = {
        item(kCopy, "Copy", "Copy", Row::kCtrl, "C"),
        item(kCopyAll, "Copy All", "Copy"),
        kSeparator,
        item(kNextInTransaction, "Next In Transaction", "Next In Transaction", Row::kCtrl, "Down"),
        item(kPreviousInTransaction, "Previous In Transaction", "Previous In Transaction",
             Row::kCtrl, "Up"),
        item(kNextInDialog, "Next In Dialog", "Next In Dialog", Row::kAlt, "Down"),
        item(kPreviousInDialog, "Previous In Dialog", "Previous In Dialog", Row::kAlt, "Up"),
        kSeparator,
        item(kToggleBookmark, "Toggle Bookmark", "Toggle Bookmark", Row::kCtrl, "B"),
        kSeparator,
        item(kPreferences, "Preferences", "Preferences"),
    };
    return rows;
}

const std::vector<MenuItemSpec>& view() {
    using namespace command;
    static const std::vector<Row> rows = {
        check(kShowToolbar, "Show Toolbar", "Show Toolbar"),
        check(kShowStatusbar, "Show Statusbar", "Show Statusbar"),
        kSeparator,
        check(kShowFilterPane, "Show Filter Pane", "Show Filter Pane"),
        check(kShowSelectionPane, "Show Selection Pane", "Show Selection Pane"),
        check(kShowTimePane, "Show Time Pane", "Show Time Pane"),
        check(kShowInfoPane, "Show Info Pane", "Show Info Pane"),
        kSeparator,
        check(kShowTimeDeltas, "Show Time Deltas", "Show Time Deltas"),
        check(kShowRelationshipMarkers, "Show Relationship Markers", "Show Relationship Markers"),
        check(kShowTransactionMarkers, "Show Transaction Markers", "Show Transaction Markers"),
        kSeparator,
        check(kShowSipMessages, "Show Sip Messages", "Show Sip Messages"),
        check(kShowProvisionalResponses, "Show Sip Provisional Responses",
              "Show Sip Provisional Responses"),
        check(kShowSturnMessages, "Show Stun Messages", "Show Stun Messages"),
        check(kShowRtpMarkers, "Show Media Start Events", "Show Media Start Events"),
    };
    return rows;
}

const std::vector<MenuItemSpec>& help() {
    using namespace command;
    static const std::vector<Row> rows = {
        item(kHelp, "Help...", "Help", Row::kKeyOnly, "F1"),
        item(kHelpIndex, "Index...", "Index"),
        item(kHelpSearch, "Search...", "Search"),
        kSeparator,
        item(kCheckForUpdates, "Check for updates...", "Check for updates"),
        kSeparator,
        item(kAbout, "About...", "About"),
    };
    return rows;
}

const std::vector<MenuItemSpec>& columnHeader() {
    using namespace command;
    static const std::vector<Row> rows = {
        item(kMoveColumnLeft, "Move Column Left", "Move Column Left"),
        item(kMoveColumnRight, "Move Column Right", "Move Column Right"),
        kSeparator,
        item(kEditColumnLabel, "Edit Column Label", "Edit Column Label..."),
        item(kRestoreColumnLabel, "Restore Column Label", "Restore Column Label"),
        kSeparator,
    };
    return rows;
}

const std::vector<MenuItemSpec>& itemWithExtraction() {
    static const std::vector<Row> rows = itemRows(true);
    return rows;
}

const std::vector<MenuItemSpec>& itemWithoutExtraction() {
    static const std::vector<Row> rows = itemRows(false);
    return rows;
}

}  // namespace menus

}  // namespace varlowe
