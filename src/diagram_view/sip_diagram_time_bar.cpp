#include "sip_diagram_time_bar.h"

#include <wx/dcbuffer.h>
#include <wx/dcmemory.h>

#include "diagram/time_bar_layout.h"
#include "engine/sip/analysis_model.h"

namespace varlowe {

namespace {
TimeBarLayout layoutOf(const AnalysisModel* model) {
    const size_t rows = model != nullptr ? model->rowCount() : 0;
    return TimeBarLayout(rows, [model](size_t row) {
        return model->summary(*model->indexAtRow(RowIndex(row))).time;
    });
}
}  // namespace

SipDiagramTimeBar::SipDiagramTimeBar(wxWindow* parent)
    : wxWindow(parent, wxID_ANY, wxDefaultPosition, wxSize(16, -1), wxFULL_REPAINT_ON_RESIZE,
               "panel") {
    SetBackgroundColour(*wxWHITE);
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &SipDiagramTimeBar::onPaint, this);
    Bind(wxEVT_SIZE, &SipDiagramTimeBar::onSize, this);
}

void SipDiagramTimeBar::setModel(const AnalysisModel* model) {
    model_ = model;
    rebuild();
    Refresh();
}

void SipDiagramTimeBar::setVisibleRows(int64_t viewStartRow, int64_t rowsFitting) {
    const auto [first, count] = TimeBarLayout::visibleRange(viewStartRow, rowsFitting);
    if (first == first_ && count == count_) {
        return;
    }
    first_ = first;
    count_ = count;
    Refresh();
}

void SipDiagramTimeBar::rebuild() {
    const wxSize size = GetClientSize();
    if (size.GetWidth() <= 0 || size.GetHeight() <= 0) {
        picture_ = wxBitmap();
        return;
    }
    picture_ = wxBitmap(size.GetWidth(), size.GetHeight());
    wxMemoryDC dc(picture_);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    if (model_ == nullptr) {
        return;
    }
    // One line per run of rows that share a pixel row: a burst of thousands of messages
    // costs one line, not thousands.
    dc.SetPen(*wxBLUE_PEN);
    for (const TimeBarLayout::Tick& tick :
         layoutOf(model_).ticks(size.GetWidth(), size.GetHeight())) {
        dc.DrawLine(size.GetWidth(), tick.y, size.GetWidth() - tick.length, tick.y);
    }
}

void SipDiagramTimeBar::draw(wxDC& dc) const {
    if (picture_.IsOk()) {
        dc.DrawBitmap(picture_, 0, 0);
    }
    if (count_ > 0 && model_ != nullptr) {
        std::optional<TimeBarLayout::Bar> bar =
            layoutOf(model_).visibleBar(first_, count_, GetClientSize().GetHeight());
        if (bar) {
            dc.SetPen(*wxBLUE_PEN);
            dc.SetBrush(*wxBLUE_BRUSH);
            dc.DrawRectangle(0, bar->y, 4, bar->height);
        }
    }
}

void SipDiagramTimeBar::onPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    draw(dc);
}

void SipDiagramTimeBar::onSize(wxSizeEvent& event) {
    rebuild();
    Refresh();
    event.Skip();
}

}  // namespace varlowe
