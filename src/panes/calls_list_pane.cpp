#include "calls_list_pane.h"

#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/srchctrl.h>
#include <wx/stattext.h>

#include <algorithm>
#include <unordered_set>

#include "engine/sip/analysis_model.h"
#include "toolkit/command_ids.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {

enum { kCopyCalls = wxID_HIGHEST + 1, kExtractCalls };

int columnWidth(CallColumn column) {
    switch (column) {
        case CallColumn::Start:
            return 170;
        case CallColumn::From:
        case CallColumn::To:
            return 150;
        case CallColumn::CallId:
            return 200;
        case CallColumn::State:
            return 100;
        default:
            return 80;
    }
}

}  // namespace

// The list asks for each shown cell when it draws it: 100,000 calls cost nothing until seen.
class CallsListPane::CallsListCtrl : public wxListCtrl {
  public:
    CallsListCtrl(wxWindow* parent, const CallsTable& table)
        : wxListCtrl(parent, window::kCallsList, wxDefaultPosition, wxDefaultSize,
                     wxLC_REPORT | wxLC_VIRTUAL),
          table_(table) {}

  private:
    wxString OnGetItemText(long item, long column) const override {
        if (item < 0 || static_cast<size_t>(item) >= table_.size()) {
            return wxString();
        }
        return displayText(table_.cell(static_cast<size_t>(item), static_cast<CallColumn>(column)));
    }
    const CallsTable& table_;
};

CallsListPane::CallsListPane(wxWindow* parent, ICallsListOwner* owner)
    : wxPanel(parent, window::kCallsPane), owner_(owner) {
    filter_ = new wxSearchCtrl(this, wxID_ANY);
    filter_->SetDescriptiveText("Filter calls");
    filter_->ShowCancelButton(true);
    count_ = new wxStaticText(this, wxID_ANY, wxString());
    list_ = new CallsListCtrl(this, table_);
    for (int column = 0; column < kCallColumnCount; ++column) {
        const auto which = static_cast<CallColumn>(column);
        list_->AppendColumn(callColumnTitle(which),
                            callColumnIsNumber(which) && which != CallColumn::Start
                                ? wxLIST_FORMAT_RIGHT
                                : wxLIST_FORMAT_LEFT,
                            columnWidth(which));
    }
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(filter_, 1, wxEXPAND | wxRIGHT, 6);
    top->Add(count_, 0, wxALIGN_CENTER_VERTICAL);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(top, 0, wxEXPAND | wxALL, 2);
    sizer->Add(list_, 1, wxEXPAND);
    SetSizer(sizer);

    filter_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { applyFilterText(filter_->GetValue()); });
    filter_->Bind(wxEVT_SEARCHCTRL_CANCEL_BTN, [this](wxCommandEvent&) {
        filter_->Clear();
        applyFilterText(wxString());
    });
    list_->Bind(wxEVT_LIST_COL_CLICK,
                [this](wxListEvent& event) { sortByColumn(event.GetColumn()); });
    auto changed = [this](wxListEvent&) { selectionChanged(); };
    list_->Bind(wxEVT_LIST_ITEM_SELECTED, changed);
    list_->Bind(wxEVT_LIST_ITEM_DESELECTED, changed);
    list_->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK,
                [this](wxListEvent& event) { showMenu(event.GetPoint()); });
    Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
        if (event.GetId() == kCopyCalls) {
            owner_->copyCallsText(table_.text(selectedRows()));
        } else if (event.GetId() == kExtractCalls) {
            owner_->extractCallStreams(selectedStreams());
        } else {
            event.Skip();  // Export and Export Image are the window's
        }
    });
    count_->SetLabel(countText());
}

wxListCtrl* CallsListPane::list() const {
    return list_;
}

void CallsListPane::setModel(const AnalysisModel* model) {
    model_ = model;
    stale_ = true;
    if (IsShown()) {
        fillIfStale();
    } else {
        showTable(CallsTable());
    }
}

void CallsListPane::fillIfStale() {
    if (!stale_) {
        return;
    }
    stale_ = false;
    showTable(CallsTable(model_ != nullptr ? buildCallList(*model_) : std::vector<CallRow>()));
}

void CallsListPane::showTable(CallsTable table) {
    quiet_ = true;
    list_->SetItemCount(0);
    table_ = std::move(table);
    filter_->ChangeValue(wxString());
    list_->SetItemCount(static_cast<long>(table_.size()));
    list_->Refresh();
    quiet_ = false;
    count_->SetLabel(countText());
    Layout();
}

std::vector<size_t> CallsListPane::selectedRows() const {
    std::vector<size_t> rows;
    for (long item = list_->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item >= 0;
         item = list_->GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        rows.push_back(static_cast<size_t>(item));
    }
    return rows;
}

void CallsListPane::deselectAll() {
    for (size_t row : selectedRows()) {
        list_->SetItemState(static_cast<long>(row), 0, wxLIST_STATE_SELECTED);
    }
}

void CallsListPane::selectRows(const std::vector<size_t>& rows) {
    quiet_ = true;
    deselectAll();
    for (size_t row : rows) {
        if (row < table_.size()) {
            list_->SetItemState(static_cast<long>(row), wxLIST_STATE_SELECTED,
                                wxLIST_STATE_SELECTED);
        }
    }
    if (!rows.empty() && rows.front() < table_.size()) {
        list_->EnsureVisible(static_cast<long>(rows.front()));
    }
    quiet_ = false;
    selectionChanged();
}

wxString CallsListPane::countText() const {
    return wxString::Format("%zu of %zu calls", table_.size(), table_.callCount());
}

void CallsListPane::reorder(const std::function<void()>& change) {
    // The selection is of calls, not of positions: it follows its calls to their new rows.
    std::vector<std::string> selected;
    for (size_t row : selectedRows()) {
        selected.push_back(table_.row(row).callId);
    }
    quiet_ = true;
    deselectAll();
    change();
    list_->SetItemCount(static_cast<long>(table_.size()));
    const std::vector<size_t> rows = table_.shownIndexesOf(selected);
    for (size_t row : rows) {
        list_->SetItemState(static_cast<long>(row), wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
    if (table_.size() > 0) {
        list_->EnsureVisible(rows.empty() ? 0 : static_cast<long>(rows.front()));
    }
    list_->Refresh();
    quiet_ = false;
    count_->SetLabel(countText());
    Layout();
}

void CallsListPane::applyFilterText(const wxString& text) {
    const std::string wanted = text.utf8_string();
    reorder([&] { table_.setFilter(wanted); });
}

void CallsListPane::sortByColumn(int column) {
    if (column < 0 || column >= kCallColumnCount) {
        return;
    }
    reorder([&] { table_.sortByClick(static_cast<CallColumn>(column)); });
}

void CallsListPane::selectionChanged() {
    if (quiet_ || notifyPending_) {
        return;
    }
    // A click on a row deselects the others one event each: tell the owner once, after.
    notifyPending_ = true;
    CallAfter([this] {
        notifyPending_ = false;
        owner_->callsSelected(table_.itemsOf(selectedRows()));
    });
}

std::vector<const RtpStream*> CallsListPane::selectedStreams() const {
    std::vector<const RtpStream*> streams;
    if (model_ == nullptr) {
        return streams;
    }
    std::unordered_set<const RtpStream*> seen;
    for (ItemIndex index : table_.itemsOf(selectedRows())) {
        const AnalysisItem& item = model_->item(index);
        if (item.kind == ItemKind::Media && item.stream != nullptr &&
            seen.insert(item.stream).second) {
            streams.push_back(item.stream);
        }
    }
    return streams;
}

void CallsListPane::showMenu(const wxPoint& where) {
    const bool any = !selectedRows().empty();
    wxMenu menu;
    menu.Append(command::kExport, "Export...");
    menu.Append(kCopyCalls, "Copy");
    menu.Append(command::kExportImage, "Export Image...");
    menu.Append(kExtractCalls, "Extract RTP Data...");
    menu.Enable(command::kExport, any);
    menu.Enable(kCopyCalls, any);
    menu.Enable(command::kExportImage, any);
    menu.Enable(kExtractCalls, any && !selectedStreams().empty());
    list_->PopupMenu(&menu, where);
}

}  // namespace varlowe
