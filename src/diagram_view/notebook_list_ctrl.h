#pragma once

#include <wx/listctrl.h>

#include <array>
#include <optional>
#include <vector>

#include "diagram/selection_rows.h"

namespace varlowe {

class SipDiagram;

// A list of diagram items (the All, Bookmarks, Session and Trans lists): "#", "Description"
// and "Delta" per row, drawn from the rows it holds (a virtual list, so that 10,000 rows
// fill at once). A right click opens the diagram's item menu for the row under the pointer.
class NotebookListCtrl : public wxListCtrl {
  public:
    NotebookListCtrl(wxWindow* parent, wxWindowID id);

    void setDiagram(SipDiagram* diagram) { diagram_ = diagram; }
    // The text colours by row colour, from the "diagram" settings.
    void setColours(const std::array<wxColour, 5>& colours, const wxColour& background);

    void setRows(std::vector<SelectionRow> rows);
    void insertRow(size_t position, SelectionRow row);
    // Removes every row of the item index; how many went.
    size_t removeRowsOf(ItemIndex index);
    void setDelta(size_t position, std::string delta);
    const std::vector<SelectionRow>& rows() const { return rows_; }
    const AnalysisItem* itemAt(long row) const;
    std::optional<long> rowOfItem(const AnalysisItem* item) const;

    // Selects and focuses the row and scrolls it into view; none clears the selection. No
    // selection event reaches the owner.
    void showSelected(std::optional<long> row);
    bool updating() const { return updating_; }

    // The widest text of each column, measured on the longest texts.
    std::array<int, 3> contentWidths() const;

  protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemImage(long item) const override;
    wxItemAttr* OnGetItemAttr(long item) const override;

  private:
    void onRightClick(wxListEvent& event);
    void clearSelection();

    SipDiagram* diagram_ = nullptr;
    std::vector<SelectionRow> rows_;
    std::array<wxColour, 5> colours_;
    mutable wxItemAttr attr_;
    wxColour background_ = *wxWHITE;
    bool updating_ = false;
};

}  // namespace varlowe
