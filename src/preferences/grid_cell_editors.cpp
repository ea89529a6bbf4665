#include "grid_cell_editors.h"

#include <wx/colordlg.h>
#include <wx/dc.h>
#include <wx/fontdlg.h>

#include "settings/setting_value.h"
#include "settings/settings_registry.h"
#include "toolkit/toolkit_font.h"

namespace varlowe {

namespace {

wxColour colourOfCell(const wxString& text) {
    const SettingColour c = SettingsRegistry::colourOfText(text.utf8_string());
    return wxColour(c.red, c.green, c.blue);
}

wxFont fontOfCell(const wxString& text) {
    wxFont font = toolkitFontOf(decodeFont(text.utf8_string()));
    return font.IsOk() ? font : *wxNORMAL_FONT;
}

}  // namespace

wxString fontDescription(const wxFont& font) {
    return wxString::Format("%s, %d", font.GetFaceName(), font.GetPointSize());
}

void GridCellColorEditor::edit(int row, int col, wxGrid* grid) {
    wxColourData data;
    data.SetColour(colourOfCell(value_));
    wxColourDialog dialog(grid, &data);
    if (dialog.ShowModal() == wxID_OK) {
        const wxColour chosen = dialog.GetColourData().GetColour();
        value_ = wxString::FromUTF8(SettingsRegistry::colourText(
            SettingColour{chosen.Red(), chosen.Green(), chosen.Blue(), 255}));
        grid->SetCellValue(row, col, value_);
        grid->SetCellBackgroundColour(row, col, chosen);
    }
}

void GridCellColorRenderer::Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect,
                                 int row, int col, bool isSelected) {
    wxGridCellRenderer::Draw(grid, attr, dc, rect, row, col, isSelected);
    dc.SetBrush(wxBrush(colourOfCell(grid.GetCellValue(row, col))));
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.DrawRectangle(rect);
}

wxSize GridCellColorRenderer::GetBestSize(wxGrid&, wxGridCellAttr&, wxDC&, int, int) {
    return wxSize(40, 16);
}

void GridCellFontEditor::edit(int row, int col, wxGrid* grid) {
    const wxFont font = fontOfCell(value_);
    if (auto* text = dynamic_cast<wxStaticText*>(m_control)) {
        text->SetFont(font);
        text->SetLabel(fontDescription(font));
    }
    wxFontData data;
    data.SetInitialFont(font);
    data.SetAllowSymbols(false);
    data.EnableEffects(false);
    wxFontDialog dialog(grid, data);
    if (dialog.ShowModal() == wxID_OK) {
        value_ =
            wxString::FromUTF8(encodeFont(settingFontOf(dialog.GetFontData().GetChosenFont())));
        grid->SetCellValue(row, col, value_);
        grid->SetCellFont(row, col, fontOfCell(value_));
    }
}

void GridCellFontRenderer::Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect,
                                int row, int col, bool isSelected) {
    wxGridCellRenderer::Draw(grid, attr, dc, rect, row, col, isSelected);
    const wxFont font = fontOfCell(grid.GetCellValue(row, col));
    dc.SetFont(font);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(isSelected ? grid.GetSelectionForeground() : attr.GetTextColour());
    const wxString text = fontDescription(font);
    const wxSize size = dc.GetTextExtent(text);
    dc.DrawText(text, rect.x + 4, rect.y + (rect.height - size.y) / 2);
    if (grid.GetRowSize(row) < size.y + 8) {
        // Grown after this paint: resizing a row while the grid paints it is not safe.
        grid.CallAfter([&grid, row, height = size.y + 8] {
            if (row < grid.GetNumberRows() && grid.GetRowSize(row) < height) {
                grid.SetRowSize(row, height);
            }
        });
    }
}

wxSize GridCellFontRenderer::GetBestSize(wxGrid& grid, wxGridCellAttr&, wxDC& dc, int row,
                                         int col) {
    const wxFont font = fontOfCell(grid.GetCellValue(row, col));
    dc.SetFont(font);
    const wxSize size = dc.GetTextExtent(fontDescription(font));
    return wxSize(size.x + 8, size.y + 8);
}

}  // namespace varlowe
