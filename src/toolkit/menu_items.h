#pragma once

#include <string>
#include <vector>

namespace varlowe {

// One row of a menu as the menu builder takes it: a command, a separator or a check item,
// with its accelerator.
struct MenuItemSpec {
    enum Kind { kSeparatorKind = -1, kNormal = 0, kCheck = 1 };
    enum Modifier { kNone = -1, kKeyOnly = 0, kAlt = 1, kCtrl = 2, kShift = 4 };
    static constexpr int kSeparatorId = -2;

    int id = kSeparatorId;
    std::string label;
    std::string help;
    int kind = kSeparatorKind;
    int modifiers = kNone;  // a bit set of kCtrl, kAlt, kShift; kKeyOnly: the key alone
    std::string key;        // "O", "F1", "Up", "Down", ...

    static MenuItemSpec separator() { return MenuItemSpec{}; }
    bool isSeparator() const { return kind == kSeparatorKind; }
};

// The label the menu shows: the label, then for a row with an accelerator a tab, "Ctrl+",
// "Alt+" and "Shift+" as set (in that order) and the key name, from which the toolkit
// derives the accelerator.
std::string menuLabel(const MenuItemSpec& row);

// Where the main menu bar shows a command; None: only in the pop-up menus or the toolbar.
enum class MenuBar { None, File, Edit, View, Help };

// A command of the program, declared once: its identifier, where it stands in the menu bar
// (the table's order is the menus' order), its label, help text and accelerator, its
// toolbar image and tip when the toolbar has it, and for a View switch the setting it
// switches (which also gives its check mark). Menus, the toolbar and update-UI of every
// window come from these rows; what a command does is its window's handler.
struct Command {
    int id = 0;
    MenuBar menu = MenuBar::None;
    bool separatorBefore = false;  // in its menu
    const char* label = "";
    const char* help = "";
    int modifiers = MenuItemSpec::kNone;
    const char* key = "";
    bool check = false;
    const char* icon = nullptr;  // the toolbar image's role name
    const char* tip = nullptr;   // the toolbar tip
    bool (*setting)() = nullptr;
    void (*setSetting)(const bool&) = nullptr;

    MenuItemSpec menuItem() const;
};

// Every command, in menu order; the row of an identifier (nullptr when none has it).
const std::vector<Command>& commands();
const Command* commandOf(int id);
// The toolbar, left to right; 0 stands for a separator.
const std::vector<int>& toolbarCommands();

// The tables of the program's menus, in their order, from the command rows.
namespace menus {
const std::vector<MenuItemSpec>& file();
const std::vector<MenuItemSpec>& edit();
const std::vector<MenuItemSpec>& view();
const std::vector<MenuItemSpec>& help();
// The diagram's pop-up menus: the column header's fixed rows (the endpoint toggles follow
// them), the item menu of SIP messages and media start markers, and that of STUN/TURN.
const std::vector<MenuItemSpec>& columnHeader();
const std::vector<MenuItemSpec>& itemWithExtraction();
const std::vector<MenuItemSpec>& itemWithoutExtraction();
}  // namespace menus

}  // namespace varlowe
