#pragma once

#include <wx/grid.h>
#include <wx/panel.h>

#include <string>
#include <vector>

#include "settings/settings_registry.h"

namespace varlowe {

// One page of the preferences: a grid of the group's keys, the label on the left and an
// editor for the value on the right.
class PreferenceGroupPanel : public wxPanel {
  public:
    static constexpr int kGridId = 5555;

    PreferenceGroupPanel(wxWindow* parent, const std::string& helpPage);

    void addRow(const SettingDescriptor& descriptor, bool fromDefault);
    void clearRows();
    // Writes every row's value through the store (into its edit batch).
    void applyRows();

    wxGrid* grid() const { return grid_; }
    const std::vector<SettingDescriptor>& rows() const { return rows_; }
    const std::string& helpPage() const { return helpPage_; }
    // The row of a key, -1 when the page has none.
    int rowOf(const std::string& key) const;

  private:
    void onSize(wxSizeEvent& event);

    wxGrid* grid_;
    std::vector<SettingDescriptor> rows_;
    std::string helpPage_;
};

}  // namespace varlowe
