#include "sip_diagram_selection_notebook.h"

#include <wx/window.h>

#include "settings/app_settings.h"
#include "sip_diagram.h"

namespace varlowe {

wxDEFINE_EVENT(EVT_SELECT_IN_DIAGRAM, wxCommandEvent);

namespace {

// The columns are sized once per program run, from the first "All" list with rows.
bool columnsSized = false;
std::array<int, 3> sizedWidths{};

enum Page { kAllPage = 0, kBookmarksPage = 1, kRelatedPage = 2 };
enum RelatedPage { kSessionPage = 0, kTransPage = 1 };

wxString titled(const char* name, size_t count) {
    return wxString::Format("%s/%d", name, static_cast<int>(count));
}

}  // namespace

SipDiagramSelectionNotebook::SipDiagramSelectionNotebook(wxWindow* parent)
    : wxNotebook(parent, kWindowId, wxDefaultPosition, wxDefaultSize, 0, "notebook") {
    all_ = new NotebookListCtrl(this, kAllId);
    bookmarks_ = new NotebookListCtrl(this, kBookmarksId);
    related_ = new wxNotebook(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0, "notebook");
    session_ = new NotebookListCtrl(related_, kSessionId);
    trans_ = new NotebookListCtrl(related_, kTransId);
    AddPage(all_, "All", true);
    AddPage(bookmarks_, "Bookmarks");
    AddPage(related_, "Related");
    related_->AddPage(session_, "Session", true);
    related_->AddPage(trans_, "Trans");
    if (columnsSized) {
        for (NotebookListCtrl* list : {all_, bookmarks_, session_, trans_}) {
            for (int column = 0; column < 3; ++column) {
                list->SetColumnWidth(column, sizedWidths[static_cast<size_t>(column)]);
            }
        }
    }
    for (NotebookListCtrl* list : {all_, bookmarks_, session_, trans_}) {
        list->Bind(wxEVT_LIST_ITEM_SELECTED, &SipDiagramSelectionNotebook::onListSelected, this);
    }
    Bind(EVT_SELECT_IN_DIAGRAM, &SipDiagramSelectionNotebook::onSelectInDiagram, this, kWindowId);
    reloadColours();
    setTitles();
}

void SipDiagramSelectionNotebook::reloadColours() {
    auto colour = [](const SettingColour& c) { return wxColour(c.red, c.green, c.blue); };
    const std::array<wxColour, 5> colours = {
        colour(AppSettings::diagramColorErrorResponse()),
        colour(AppSettings::diagramColorRedirect()),
        colour(AppSettings::diagramColorFinalResponse()),
        colour(AppSettings::diagramColorProvisionalResponse()),
        *wxBLACK,
    };
    const wxColour background = colour(AppSettings::diagramColorOddBackground());
    for (NotebookListCtrl* list : {all_, bookmarks_, session_, trans_}) {
        list->setColours(colours, background);
    }
}

void SipDiagramSelectionNotebook::setDiagram(SipDiagram* diagram) {
    diagram_ = diagram;
    for (NotebookListCtrl* list : {all_, bookmarks_, session_, trans_}) {
        list->setDiagram(diagram);
    }
}

void SipDiagramSelectionNotebook::setModel(const AnalysisModel* model) {
    model_ = model;
    refillAll();
    setTitles();
    if (!columnsSized && !all_->rows().empty()) {
        columnsSized = true;
        sizedWidths = all_->contentWidths();
        for (NotebookListCtrl* list : {all_, bookmarks_, session_, trans_}) {
            for (int column = 0; column < 3; ++column) {
                list->SetColumnWidth(column, sizedWidths[static_cast<size_t>(column)]);
            }
        }
    }
}

void SipDiagramSelectionNotebook::refillAll() {
    all_->setRows(model_ != nullptr ? selection_rows::allRows(*model_, switches_)
                                    : std::vector<SelectionRow>());
}

void SipDiagramSelectionNotebook::refillRelated(NotebookListCtrl* list, bool session) {
    (session ? sessionFills_ : transFills_)++;
    if (model_ == nullptr || last_ == nullptr) {
        list->setRows({});
        return;
    }
    list->setRows(selection_rows::relatedRows(
        *model_, *last_,
        session ? AnalysisModel::RelationMode::Session : AnalysisModel::RelationMode::Transaction,
        switches_));
}

void SipDiagramSelectionNotebook::setTitles() {
    SetPageText(kAllPage, titled("All", all_->rows().size()));
    SetPageText(kBookmarksPage, titled("Bookmarks", bookmarks_->rows().size()));
    related_->SetPageText(kSessionPage, titled("Session", session_->rows().size()));
    related_->SetPageText(kTransPage, titled("Trans", trans_->rows().size()));
}

void SipDiagramSelectionNotebook::onSelectionChanged(const AnalysisItem* item) {
    if (item == last_) {
        return;
    }
    last_ = item;
    // A list the user is working in keeps its rows and its selection. The list a row was
    // chosen in counts as focused while the diagram follows it: the other panes may take
    // the focus for a moment as they rebuild.
    wxWindow* focus = wxWindow::FindFocus();
    auto focused = [this, focus](wxWindow* list) { return list == focus || list == choosing_; };
    if (!focused(session_)) {
        refillRelated(session_, true);
    }
    if (!focused(trans_)) {
        refillRelated(trans_, false);
    }
    setTitles();
    for (NotebookListCtrl* list : {all_, session_, trans_, bookmarks_}) {
        if (!focused(list)) {
            list->showSelected(list->rowOfItem(item));
        }
    }
}

void SipDiagramSelectionNotebook::onBookmarkAdded(const AnalysisItem& item) {
    const std::vector<SelectionRow>& rows = bookmarks_->rows();
    const size_t position = selection_rows::bookmarkPosition(rows, item.index);
    if (std::optional<SelectionRow> row =
            selection_rows::bookmarkRow(rows, position, item, switches_)) {
        bookmarks_->insertRow(position, std::move(*row));
        // The bookmark after it now counts from the new one.
        if (position + 1 < bookmarks_->rows().size()) {
            bookmarks_->setDelta(position + 1,
                                 selection_rows::bookmarkDelta(bookmarks_->rows(), position + 1));
        }
    }
    setTitles();
}

void SipDiagramSelectionNotebook::onBookmarkRemoved(const AnalysisItem& item) {
    const size_t position = selection_rows::bookmarkPosition(bookmarks_->rows(), item.index);
    if (bookmarks_->removeRowsOf(item.index) > 0) {
        // The one after it (first of a larger index: at `position` before the removal, one
        // up now) counts from the bookmark before it.
        const size_t next = position > 0 ? position - 1 : 0;
        if (next < bookmarks_->rows().size()) {
            bookmarks_->setDelta(next, selection_rows::bookmarkDelta(bookmarks_->rows(), next));
        }
        setTitles();
    }
}

void SipDiagramSelectionNotebook::onSelectionFilterChanged(bool showSip, bool showStun,
                                                           bool showAudio, bool showVideo) {
    switches_ = SelectionSwitches{showSip, showStun, showAudio, showVideo};
    refillAll();
    refillRelated(session_, true);
    refillRelated(trans_, false);
    setTitles();
    for (NotebookListCtrl* list : {all_, session_, trans_}) {
        list->showSelected(list->rowOfItem(last_));
    }
}

void SipDiagramSelectionNotebook::onListSelected(wxListEvent& event) {
    auto* list = dynamic_cast<NotebookListCtrl*>(event.GetEventObject());
    if (list == nullptr || list->updating()) {
        return;
    }
    const AnalysisItem* item = list->itemAt(event.GetIndex());
    if (item == nullptr) {
        return;
    }
    // Posted: the diagram's selection (and this notebook's own onSelectionChanged) follows
    // once the list has finished with its event.
    auto* select = new wxCommandEvent(EVT_SELECT_IN_DIAGRAM, kWindowId);
    select->SetExtraLong(static_cast<long>(item->index.value));
    select->SetEventObject(wxWindow::FindFocus() == list ? list : nullptr);
    wxQueueEvent(this, select);
}

void SipDiagramSelectionNotebook::onSelectInDiagram(wxCommandEvent& event) {
    if (model_ == nullptr || diagram_ == nullptr) {
        return;
    }
    const AnalysisItem* item =
        model_->findItem(ItemIndex(static_cast<size_t>(event.GetExtraLong())));
    if (item == nullptr) {
        return;
    }
    auto* list = dynamic_cast<NotebookListCtrl*>(event.GetEventObject());
    choosing_ = list;
    diagram_->selectRow(model_->rowOf(item->index), item);
    choosing_ = nullptr;
    if (list != nullptr) {
        list->SetFocus();
    }
}

}  // namespace varlowe
