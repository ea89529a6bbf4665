#pragma once

#include <wx/grid.h>
#include <wx/stattext.h>

namespace varlowe {

// A cell edited in one of the toolkit's dialogs, which the derived class opens; one such
// dialog at a time for every cell of that class. The chosen value goes into the cell at once.
template <typename Self>
class DialogCellEditor : public wxGridCellEditor {
  public:
    void Create(wxWindow* parent, wxWindowID id, wxEvtHandler* handler) override {
        // The editing is the dialog's; the control only stands in the cell while it is open.
        m_control = new wxStaticText(parent, id, wxEmptyString);
        wxGridCellEditor::Create(parent, id, handler);
    }
    void BeginEdit(int row, int col, wxGrid* grid) override {
        value_ = grid->GetCellValue(row, col);
        if (!open_) {
            open_ = true;
            edit(row, col, grid);
            open_ = false;
        }
        grid->CallAfter([grid] { grid->DisableCellEditControl(); });
    }
    bool EndEdit(int, int, const wxGrid*, const wxString& oldValue, wxString* newValue) override {
        if (value_ == oldValue) {
            return false;
        }
        if (newValue != nullptr) {
            *newValue = value_;
        }
        return true;
    }
    void ApplyEdit(int row, int col, wxGrid* grid) override {
        grid->SetCellValue(row, col, value_);
    }
    void Reset() override {}
    wxGridCellEditor* Clone() const override { return new Self(); }
    wxString GetValue() const override { return value_; }

    static bool dialogOpen() { return open_; }

  protected:
    // Shows the dialog for the cell; on confirmation sets value_ and the cell.
    virtual void edit(int row, int col, wxGrid* grid) = 0;

    wxString value_;

  private:
    static inline bool open_ = false;
};

// A colour cell: the toolkit's colour dialog; the chosen colour becomes the cell's nine
// digits and its background.
class GridCellColorEditor : public DialogCellEditor<GridCellColorEditor> {
  protected:
    void edit(int row, int col, wxGrid* grid) override;
};

// Paints the cell in the colour its text names; no text.
class GridCellColorRenderer : public wxGridCellRenderer {
  public:
    void Draw(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, const wxRect& rect, int row, int col,
              bool isSelected) override;
    wxSize GetBestSize(wxGrid& grid, wxGridCellAttr& attr, wxDC& dc, int row, int col) override;
    wxGridCellRenderer* Clone() const override { return new GridCellColorRenderer(); }
};

// A font cell: the toolkit's font dialog; the chosen font becomes the cell's font text.
class GridCellFontEditor : public DialogCellEditor<GridCellFontEditor> {
  protected:
    void edit(int row, int col, wxGrid* grid) override;
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
