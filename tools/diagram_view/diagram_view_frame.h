#pragma once

#include <wx/frame.h>
#include <wx/splitter.h>

#include <memory>

#include "diagram/user_label_db.h"
#include "diagram_view/sip_diagram.h"
#include "diagram_view/sip_diagram_time_bar.h"
#include "engine/sip/analysis_model.h"

namespace varlowe {

// A bare window holding a capture's diagram and time bar, for looking at the diagram, for
// screenshots and for the diagram's window tests and benchmarks, until the diagram window
// with its panes exists. It owns the model and applies the hidden columns as row filter.
class DiagramViewFrame : public wxFrame, public IDiagramOwner {
  public:
    DiagramViewFrame(std::unique_ptr<AnalysisModel> model, UserLabelDB* labels,
                     const wxString& title, wxSize size = wxSize(1200, 800));
    ~DiagramViewFrame() override;

    SipDiagram* diagram() const { return diagram_; }
    SipDiagramTimeBar* timeBar() const { return timeBar_; }
    AnalysisModel* model() const { return model_.get(); }

    void applyFilter(bool force) override;
    void syncTimeBar(size_t firstRow, size_t rowsFitting) override;

  private:
    std::unique_ptr<AnalysisModel> model_;
    wxSplitterWindow* splitter_;
    SipDiagramTimeBar* timeBar_;
    SipDiagram* diagram_;
};

}  // namespace varlowe
