#pragma once

#include <wx/listctrl.h>
#include <wx/panel.h>

#include <functional>
#include <string>
#include <vector>

#include "calls_table.h"

class wxSearchCtrl;
class wxStaticText;

namespace varlowe {

class AnalysisModel;
struct RtpStream;

// What the calls list asks of its window.
class ICallsListOwner {
  public:
    // The calls selected now (none: the list's selection went); their items, ascending.
    virtual void callsSelected(const std::vector<ItemIndex>& items) = 0;
    virtual void copyCallsText(const std::string& text) = 0;
    // The streams of the selected calls, to be extracted.
    virtual void extractCallStreams(const std::vector<const RtpStream*>& streams) = 0;
    virtual ~ICallsListOwner() = default;
};

// One row per session of the capture: a text filter over every column, a list sorted by a
// click on a column's title, a right click for Export, Copy, Export Image and Extract. The
// rows come from a CallsTable; the list asks for the cells it shows (virtual).
class CallsListPane : public wxPanel {
  public:
    CallsListPane(wxWindow* parent, ICallsListOwner* owner);

    // The rows are made at once when the pane is shown, else when it is first shown
    // (fillIfStale): a capture of 100,000 calls opens without them while the list is off.
    void setModel(const AnalysisModel* model);
    void fillIfStale();
    const CallsTable& table() const { return table_; }
    wxListCtrl* list() const;
    wxSearchCtrl* filterField() const { return filter_; }
    // The shown rows selected, ascending.
    std::vector<size_t> selectedRows() const;
    // Selects shown rows (replacing the selection) and tells the owner once.
    void selectRows(const std::vector<size_t>& rows);
    void applyFilterText(const wxString& text);
    void sortByColumn(int column);
    // "12 of 300 calls"
    wxString countText() const;

  private:
    class CallsListCtrl;
    // The rows shown from now on, unfiltered.
    void showTable(CallsTable table);
    void reorder(const std::function<void()>& change);
    void deselectAll();  // quietly: the caller tells the owner
    void selectionChanged();
    void showMenu(const wxPoint& where);
    std::vector<const RtpStream*> selectedStreams() const;

    ICallsListOwner* owner_;
    const AnalysisModel* model_ = nullptr;
    CallsTable table_;
    wxSearchCtrl* filter_;
    wxStaticText* count_;
    CallsListCtrl* list_;
    bool notifyPending_ = false;
    bool quiet_ = false;
    bool stale_ = false;  // the model's rows are not made yet
};

}  // namespace varlowe
