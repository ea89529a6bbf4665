#include "grid_cell_editors.h"

#include <wx/colordlg.h>
#include <wx/dc.h>
#include <wx/fontdlg.h>
#include <wx/stattext.h>

#include "setting_value.h"
#include "settings_registry.h"
#include "toolkit_font.h"

namespace varlowe {

bool GridCellColorEditor::open_ = false;
bool GridCellFontEditor::open_ = false;

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

void GridCellColorEditor::Create(wxWindow* parent, wxWindowID id, wxEvtHandler* handler) {
    // The editing is the dialog's; the control only stands in the cell while it is open.
    m_control = new wxStaticText(parent, id, wxEmptyString);
    wxGridCellEditor::Create(parent, id, handler);
}

void GridCellColorEditor::BeginEdit(int row, int col, wxGrid* grid) {
    value_ = grid->GetCellValue(row, col);
    if (!open_) {
        open_ = true;
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
        open_ = false;
    }
    grid->CallAfter([grid] { grid->DisableCellEditControl(); });
}

bool GridCellColorEditor::EndEdit(int, int, const wxGrid*, const wxString& oldValue,
                                  wxString* newValue) {
    if (value_ == oldValue) {
        return false;
    }
    if (newValue != nullptr) {
        *newValue = value_;
    }
    return true;
}

void GridCellColorEditor::ApplyEdit(int row, int col, wxGrid* grid) {
    grid->SetCellValue(row, col, value_);
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

void GridCellFontEditor::Create(wxWindow* parent, wxWindowID id, wxEvtHandler* handler) {
    m_control = new wxStaticText(parent, id, wxEmptyString);
    wxGridCellEditor::Create(parent, id, handler);
}

void GridCellFontEditor::BeginEdit(int row, int col, wxGrid* grid) {
    value_ = grid->GetCellValue(row, col);
    const wxFont font = fontOfCell(value_);
    if (auto* text = dynamic_cast<wxStaticText*>(m_control)) {
        text->SetFont(font);
        text->SetLabel(fontDescription(font));
    }
    if (!open_) {
        open_ = true;
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
        open_ = false;
    }
    grid->CallAfter([grid] { grid->DisableCellEditControl(); });
}

bool GridCellFontEditor::EndEdit(int, int, const wxGrid*, const wxString& oldValue,
                                 wxString* newValue) {
    if (value_ == oldValue) {
        return false;
    }
    if (newValue != nullptr) {
        *newValue = value_;
    }
    return true;
}

void GridCellFontEditor::ApplyEdit(int row, int col, wxGrid* grid) {
    grid->SetCellValue(row, col, value_);
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
