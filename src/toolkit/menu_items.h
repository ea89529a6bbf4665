#pragma once

#include <string>
#include <vector>

namespace varlowe {

// One row of a menu table: a command, a separator or a check item, with its accelerator.
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

// The tables of the program's menus, in their order.
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
