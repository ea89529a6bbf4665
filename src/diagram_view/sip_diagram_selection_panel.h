#pragma once

#include <wx/panel.h>
#include <wx/toolbar.h>

#include "sip_diagram_selection_notebook.h"

namespace varlowe {

// The selection lists with the four message-kind toggles above them.
class SipDiagramSelectionPanel : public wxPanel {
  public:
    static constexpr int kWindowId = 1318;

    SipDiagramSelectionPanel(wxWindow* parent, const wxPoint& position = wxDefaultPosition,
                             const wxSize& size = wxDefaultSize);
    ~SipDiagramSelectionPanel() override;

    ISipDiagramSelectionListener* selectionListener() { return notebook_; }
    ISipDiagramBookmarkListener* bookmarkListener() { return notebook_; }
    void setDiagram(SipDiagram* diagram) { notebook_->setDiagram(diagram); }
    void setModel(const AnalysisModel* model) { notebook_->setModel(model); }

    SipDiagramSelectionNotebook* notebook() const { return notebook_; }
    wxToolBar* toolbar() const { return toolbar_; }

  private:
    void onTool(wxCommandEvent& event);
    void storeToggles() const;

    wxToolBar* toolbar_;
    SipDiagramSelectionNotebook* notebook_;
};

}  // namespace varlowe
