#pragma once

#include <wx/menu.h>

#include <vector>

#include "menu_items.h"

namespace varlowe {

// Appends the rows to the menu in order (a new menu when none is given).
wxMenu* buildMenu(const std::vector<MenuItemSpec>& rows, wxMenu* menu = nullptr);

}  // namespace varlowe
