#include "diagram_view_frame.h"

namespace varlowe {

DiagramViewFrame::DiagramViewFrame(std::unique_ptr<AnalysisModel> model, UserLabelDB* labels,
                                   const wxString& title, wxSize size)
    : wxFrame(nullptr, wxID_ANY, title, wxDefaultPosition, size), model_(std::move(model)) {
    splitter_ = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                     wxSP_LIVE_UPDATE | wxSP_3DSASH);
    splitter_->SetMinimumPaneSize(16);
    timeBar_ = new SipDiagramTimeBar(splitter_);
    diagram_ = new SipDiagram(splitter_, labels, this);
    splitter_->SplitVertically(timeBar_, diagram_, 16);
    timeBar_->setModel(model_.get());
    diagram_->setModel(model_.get());
    diagram_->SetFocus();
}

DiagramViewFrame::~DiagramViewFrame() {
    // The panes see the selection cleared before the model goes.
    diagram_->setModel(nullptr);
    timeBar_->setModel(nullptr);
}

void DiagramViewFrame::applyFilter(bool) {
    std::vector<ItemIndex> shown = model_->allItems();
    for (const std::string& address : diagram_->state().hiddenColumns()) {
        model_->removeAddress(shown, address);
    }
    diagram_->applyRowFilter(shown);
    timeBar_->setModel(model_.get());
}

void DiagramViewFrame::syncTimeBar(size_t firstRow, size_t rowsFitting) {
    timeBar_->setVisibleRows(static_cast<int64_t>(firstRow), static_cast<int64_t>(rowsFitting));
}

}  // namespace varlowe
