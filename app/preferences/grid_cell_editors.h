#pragma once

#include <wx/grid.h>

namespace varlowe {

// A colour cell: editing opens the toolkit's colour dialog (one at a time for all colour
// cells); the chosen colour becomes the cell's nine digits and its background.
class GridCellColorEditor : public wxGridCellEditor {
  public:
    void Create(wxWindow* parent, wxWindowID id, wxEvtHandler* handler) override;
    void BeginEdit(int row, int col, wxGrid* grid) override;
    bool EndEdit(int row, int col, const wxGrid* grid, const wxString& oldValue,
                 wxString* newValue) override;
    void ApplyEdit(int row, int col, wxGrid* grid) override;
    void Reset() override {}
    wxGridCellEditor* Clone() const override { return new GridCellColorEditor(); }
    wxString GetValue() const override { return value_; }

    static bool dialogOpen() { return open_; }

  private:
    wxString value_;
    static bool open_;
};

// Paints the cell in the colour its text names; no text.
class GridCellColorRenderer : public wxGridCellRenderer {
  public:
    void Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int col,
              bool isSelected) override;
    wxSize GetBestSize(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, int row, int col) override;
    wxGridCellRenderer* Clone() const override { return new GridCellColorRenderer(); }
};

// A font cell: editing opens the toolkit's font dialog (one at a time for all font cells);
// the chosen font becomes the cell's font text.
class GridCellFontEditor : public wxGridCellEditor {
  public:
    void Create(wxWindow* parent, wxWindowID id, wxEvtHandler* handler) override;
    void BeginEdit(int row, int col, wxGrid* grid) override;
    bool EndEdit(int row, int col, const wxGrid* grid, const wxString& oldValue,
                 wxString* newValue) override;
    void ApplyEdit(int row, int col, wxGrid* grid) override;
    void Reset() override {}
    wxGridCellEditor* Clone() const override { return new GridCellFontEditor(); }
    wxString GetValue() const override { return value_; }

    static bool dialogOpen() { return open_; }

  private:
    wxString value_;
    static bool open_;
};

// Shows "face, size" in the font the cell's text names, and makes the row tall enough.
class GridCellFontRenderer : public wxGridCellRenderer {
  public:
    void Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int col,
              bool isSelected) override;
    wxSize GetBestSize(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, int row, int col) override;
    wxGridCellRenderer* Clone() const override { return new GridCellFontRenderer(); }
};

// The text a font cell shows: the face name followed by ", %d" of the point size.
wxString fontDescription(const wxFont& font);

}  // namespace varlowe
