#pragma once

#include <string>
#include <vector>

#include "settings_registry.h"

namespace varlowe {

// What a page of the preferences dialog shows and stores, without a window: its rows, the
// text of each value cell and the value a cell's text stands for.
namespace preference_rows {

// The registered keys of a group in ascending byte-wise order of their names.
std::vector<SettingDescriptor> rowsOf(const std::string& group);

// The cell text of the key's current value, or of its default: "1" or "" for a boolean
// (the default text as it stands), nine digits for a colour, "%d" for an integer, the font
// text for a font.
std::string cellText(const SettingDescriptor& row, bool fromDefault);

// The value a cell text stands for: a boolean is true exactly for "1".
SettingValue valueOf(const SettingDescriptor& row, const std::string& text);

// Writes the cell's value through the store (into its edit batch when one is open).
void store(const SettingDescriptor& row, const std::string& text);

}  // namespace preference_rows
}  // namespace varlowe
