#include "notebook_list_ctrl.h"

#include <wx/imaglist.h>
#include <wx/utils.h>

#include <algorithm>

#include "diagram_painter.h"
#include "sip_diagram.h"
#include "toolkit/resource_images.h"

namespace varlowe {

NotebookListCtrl::NotebookListCtrl(wxWindow* parent, wxWindowID id)
    // Small at first: a notebook page never gets less than its first size.
    : wxListCtrl(parent, id, wxDefaultPosition, wxSize(80, 60),
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL | wxLC_HRULES | wxLC_VRULES,
                 wxDefaultValidator, "listCtrl") {
    auto* images = new wxImageList(16, 16, true, 4);
    for (const char* role :
         {"message_type_sip", "message_type_sturn", "message_type_audio", "message_type_video"}) {
        images->Add(resourceBitmapAt(role, wxSize(16, 16)));
    }
    AssignImageList(images, wxIMAGE_LIST_SMALL);
    AppendColumn("#");
    AppendColumn("Description");
    AppendColumn("Delta");
    colours_.fill(*wxBLACK);
    Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, &NotebookListCtrl::onRightClick, this);
}

void NotebookListCtrl::setColours(const std::array<wxColour, 5>& colours,
                                  const wxColour& background) {
    colours_ = colours;
    background_ = background;
    Refresh();
}

void NotebookListCtrl::setRows(std::vector<SelectionRow> rows) {
    updating_ = true;
    // The old selection and focus belong to rows that are gone.
    clearSelection();
    rows_ = std::move(rows);
    SetItemCount(static_cast<long>(rows_.size()));
    // New rows start at their top, not where the old ones were scrolled to.
    if (!rows_.empty()) {
        EnsureVisible(0);
    }
    updating_ = false;
    Refresh();
}

void NotebookListCtrl::insertRow(size_t position, SelectionRow row) {
    position = std::min(position, rows_.size());
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
    updating_ = true;
    SetItemCount(static_cast<long>(rows_.size()));
    updating_ = false;
    Refresh();
}

void NotebookListCtrl::setDelta(size_t position, std::string delta) {
    if (position < rows_.size()) {
        rows_[position].delta = std::move(delta);
        RefreshItem(static_cast<long>(position));
    }
}

size_t NotebookListCtrl::removeRowsOf(ItemIndex index) {
    const size_t before = rows_.size();
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(),
                               [index](const SelectionRow& row) {
                                   return row.item->index.value == index.value;
                               }),
                rows_.end());
    const size_t removed = before - rows_.size();
    if (removed > 0) {
        updating_ = true;
        SetItemCount(static_cast<long>(rows_.size()));
        updating_ = false;
        Refresh();
    }
    return removed;
}

const AnalysisItem* NotebookListCtrl::itemAt(long row) const {
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) {
        return nullptr;
    }
    return rows_[static_cast<size_t>(row)].item;
}

std::optional<long> NotebookListCtrl::rowOfItem(const AnalysisItem* item) const {
    if (item == nullptr) {
        return std::nullopt;
    }
    for (size_t row = 0; row < rows_.size(); ++row) {
        if (rows_[row].item == item) {
            return static_cast<long>(row);
        }
    }
    return std::nullopt;
}

void NotebookListCtrl::showSelected(std::optional<long> row) {
    updating_ = true;
    if (row && *row >= 0 && *row < GetItemCount()) {
        SetItemState(*row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                     wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
        EnsureVisible(*row);
    } else {
        clearSelection();
    }
    updating_ = false;
}

void NotebookListCtrl::clearSelection() {
    for (long row = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); row != -1;
         row = GetNextItem(row, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        SetItemState(row, 0, wxLIST_STATE_SELECTED);
    }
}

std::array<int, 3> NotebookListCtrl::contentWidths() const {
    std::array<int, 3> widths{};
    for (int column = 0; column < 3; ++column) {
        // The 32 longest texts decide; measuring all of 10,000 rows would take long.
        std::vector<const std::string*> texts;
        texts.reserve(rows_.size());
        for (const SelectionRow& row : rows_) {
            texts.push_back(column == 0   ? &row.number
                            : column == 1 ? &row.description
                                          : &row.delta);
        }
        const size_t keep = std::min<size_t>(32, texts.size());
        std::partial_sort(
            texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(keep), texts.end(),
            [](const std::string* a, const std::string* b) { return a->size() > b->size(); });
        static const char* const kTitles[] = {"#", "Description", "Delta"};
        int widest = GetTextExtent(kTitles[column]).x;
        for (size_t i = 0; i < keep; ++i) {
            widest = std::max(widest, GetTextExtent(displayText(*texts[i])).x);
        }
        // Room for the cell's padding, and the image in the first column.
        widths[static_cast<size_t>(column)] = widest + 12 + (column == 0 ? 20 : 0);
    }
    return widths;
}

wxString NotebookListCtrl::OnGetItemText(long item, long column) const {
    if (item < 0 || static_cast<size_t>(item) >= rows_.size()) {
        return wxString();
    }
    const SelectionRow& row = rows_[static_cast<size_t>(item)];
    switch (column) {
        case 0:
            return wxString::FromUTF8(row.number);
        case 1:
            return displayText(row.description);
        case 2:
            return wxString::FromUTF8(row.delta);
        default:
            return wxString();
    }
}

int NotebookListCtrl::OnGetItemImage(long item) const {
    return item >= 0 && static_cast<size_t>(item) < rows_.size()
               ? rows_[static_cast<size_t>(item)].image
               : -1;
}

wxItemAttr* NotebookListCtrl::OnGetItemAttr(long item) const {
    if (item < 0 || static_cast<size_t>(item) >= rows_.size()) {
        return nullptr;
    }
    attr_.SetTextColour(colours_[static_cast<size_t>(rows_[static_cast<size_t>(item)].colour)]);
    attr_.SetBackgroundColour(background_);
    return &attr_;
}

void NotebookListCtrl::onRightClick(wxListEvent& event) {
    const long row = event.GetIndex();
    const AnalysisItem* item = itemAt(row);
    if (item == nullptr) {
        event.Skip();
        return;
    }
    SetFocus();
    // Selected as a click selects it, so that the diagram follows before the menu opens.
    SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                 wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    if (diagram_ != nullptr) {
        // The menu opens where the pointer is, in the diagram's coordinates.
        diagram_->openItemMenu(*item, diagram_->ScreenToClient(wxGetMousePosition()));
    }
}

}  // namespace varlowe
