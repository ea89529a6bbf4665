#include "preference_group_panel.h"

#include <wx/sizer.h>

#include "grid_cell_editors.h"
#include "settings/preference_rows.h"
#include "toolkit/toolkit_font.h"

namespace varlowe {

PreferenceGroupPanel::PreferenceGroupPanel(wxWindow* parent, const std::string& helpPage)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(520, 400), wxRAISED_BORDER, "panel"),
      helpPage_(helpPage) {
    grid_ = new wxGrid(this, kGridId, wxDefaultPosition, wxSize(520, 400), wxWANTS_CHARS, "grid");
    grid_->CreateGrid(0, 2, wxGrid::wxGridSelectCells);
    grid_->SetRowLabelSize(0);
    grid_->SetColLabelSize(0);
    grid_->SetColSize(0, 100);
    grid_->SetColSize(1, 100);
    auto* sizer = new wxBoxSizer(wxHORIZONTAL);
    sizer->Add(grid_, 1, wxEXPAND);
    SetSizer(sizer);
    Bind(wxEVT_SIZE, &PreferenceGroupPanel::onSize, this);
}

void PreferenceGroupPanel::addRow(const SettingDescriptor& descriptor, bool fromDefault) {
    grid_->AppendRows(1);
    const int row = grid_->GetNumberRows() - 1;
    rows_.push_back(descriptor);
    const wxString text = wxString::FromUTF8(preference_rows::cellText(descriptor, fromDefault));
    switch (descriptor.kind) {
        case SettingKind::Boolean:
            grid_->SetCellEditor(row, 1, new wxGridCellBoolEditor());
            grid_->SetCellRenderer(row, 1, new wxGridCellBoolRenderer());
            grid_->SetCellAlignment(row, 1, wxALIGN_CENTRE, wxALIGN_CENTRE);
            // The registered default of a switched-off key is "0"; a cleared box is empty.
            grid_->SetCellValue(row, 1, text == "1" ? "1" : "");
            break;
        case SettingKind::Colour: {
            grid_->SetCellEditor(row, 1, new GridCellColorEditor());
            grid_->SetCellRenderer(row, 1, new GridCellColorRenderer());
            const SettingColour c = SettingsRegistry::colourOfText(text.utf8_string());
            grid_->SetCellBackgroundColour(row, 1, wxColour(c.red, c.green, c.blue));
            grid_->SetCellValue(row, 1, text);
            break;
        }
        case SettingKind::Integer:
            grid_->SetCellEditor(row, 1, new wxGridCellNumberEditor());
            grid_->SetCellRenderer(row, 1, new wxGridCellStringRenderer());
            grid_->SetCellAlignment(row, 1, wxALIGN_CENTRE, wxALIGN_CENTRE);
            grid_->SetCellValue(row, 1, text);
            break;
        case SettingKind::Font: {
            grid_->SetCellEditor(row, 1, new GridCellFontEditor());
            grid_->SetCellRenderer(row, 1, new GridCellFontRenderer());
            wxFont font = toolkitFontOf(decodeFont(text.utf8_string()));
            if (font.IsOk()) {
                grid_->SetCellFont(row, 1, font);
            }
            grid_->SetCellValue(row, 1, text);
            break;
        }
    }
    grid_->SetCellValue(row, 0, wxString::FromUTF8(descriptor.label));
    grid_->SetReadOnly(row, 0);
    grid_->AutoSizeColumn(0);
}

void PreferenceGroupPanel::clearRows() {
    if (grid_->GetNumberRows() > 0) {
        grid_->DeleteRows(0, grid_->GetNumberRows());
    }
    rows_.clear();
}

void PreferenceGroupPanel::applyRows() {
    // A cell still being edited counts with its new value.
    if (grid_->IsCellEditControlEnabled()) {
        grid_->SaveEditControlValue();
    }
    // Only what changed is written, so that only the groups that changed hear of it.
    for (size_t row = 0; row < rows_.size(); ++row) {
        const std::string text = grid_->GetCellValue(static_cast<int>(row), 1).utf8_string();
        if (!(preference_rows::valueOf(rows_[row], text) == rows_[row].read())) {
            preference_rows::store(rows_[row], text);
        }
    }
}

int PreferenceGroupPanel::rowOf(const std::string& key) const {
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row].key == key) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

void PreferenceGroupPanel::onSize(wxSizeEvent& event) {
    const int width = GetClientSize().x - grid_->GetColSize(1) - 35;
    if (width > 0) {
        grid_->SetColSize(0, width);
    }
    event.Skip();
}

}  // namespace varlowe
