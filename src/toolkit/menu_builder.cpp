#include "menu_builder.h"

namespace varlowe {

wxMenu* buildMenu(const std::vector<MenuItemSpec>& rows, wxMenu* menu) {
    if (menu == nullptr) {
        menu = new wxMenu();
    }
    for (const MenuItemSpec& row : rows) {
        if (row.isSeparator()) {
            menu->AppendSeparator();
            continue;
        }
        menu->Append(row.id, wxString::FromUTF8(menuLabel(row)), wxString::FromUTF8(row.help),
                     row.kind == MenuItemSpec::kCheck ? wxITEM_CHECK : wxITEM_NORMAL);
    }
    return menu;
}

}  // namespace varlowe
