#pragma once

#include <wx/notebook.h>

#include "diagram/diagram_listeners.h"
#include "diagram/selection_rows.h"
#include "notebook_list_ctrl.h"

namespace varlowe {

class AnalysisModel;
class SipDiagram;

// Told when the message-kind toggles above the lists change.
class ISelectionFilterListener {
  public:
    virtual void onSelectionFilterChanged(bool showSip, bool showStun, bool showAudio,
                                          bool showVideo) = 0;

  protected:
    ~ISelectionFilterListener() = default;
};

wxDECLARE_EVENT(EVT_SELECT_IN_DIAGRAM, wxCommandEvent);

// The lists below the filter tree: "All" shown items, "Bookmarks", and under "Related" the
// selected item's "Session" and "Trans". They follow the diagram's selection and bookmarks,
// and choosing a row selects its item in the diagram.
class SipDiagramSelectionNotebook : public wxNotebook,
                                    public ISipDiagramSelectionListener,
                                    public ISipDiagramBookmarkListener,
                                    public ISelectionFilterListener {
  public:
    static constexpr int kWindowId = 1316;
    static constexpr int kAllId = 1311;
    static constexpr int kSessionId = 1312;
    static constexpr int kTransId = 1313;
    static constexpr int kBookmarksId = 1315;

    explicit SipDiagramSelectionNotebook(wxWindow* parent);

    void setModel(const AnalysisModel* model);
    void setDiagram(SipDiagram* diagram);

    // ISipDiagramSelectionListener
    void onSelectionChanged(const AnalysisItem* item) override;
    // ISipDiagramBookmarkListener
    void onBookmarkAdded(const AnalysisItem& item) override;
    void onBookmarkRemoved(const AnalysisItem& item) override;
    // ISelectionFilterListener
    void onSelectionFilterChanged(bool showSip, bool showStun, bool showAudio,
                                  bool showVideo) override;

    NotebookListCtrl* allList() const { return all_; }
    NotebookListCtrl* bookmarksList() const { return bookmarks_; }
    NotebookListCtrl* sessionList() const { return session_; }
    NotebookListCtrl* transList() const { return trans_; }
    wxNotebook* relatedNotebook() const { return related_; }
    const SelectionSwitches& switches() const { return switches_; }
    // How often Session and Trans were refilled (for tests).
    int sessionFills() const { return sessionFills_; }
    int transFills() const { return transFills_; }

    // Reloads the row colours from the "diagram" settings.
    void reloadColours();

  private:
    void refillAll();
    void refillRelated(NotebookListCtrl* list, bool session);
    void setTitles();
    void onListSelected(wxListEvent& event);
    void onSelectInDiagram(wxCommandEvent& event);

    NotebookListCtrl* all_;
    NotebookListCtrl* bookmarks_;
    NotebookListCtrl* session_;
    NotebookListCtrl* trans_;
    wxNotebook* related_;
    const AnalysisModel* model_ = nullptr;
    SipDiagram* diagram_ = nullptr;
    const AnalysisItem* last_ = nullptr;
    NotebookListCtrl* choosing_ = nullptr;  // the focused list whose row the diagram follows
    SelectionSwitches switches_;
    int sessionFills_ = 0;
    int transFills_ = 0;
};

}  // namespace varlowe
