#pragma once

#include <wx/bitmap.h>
#include <wx/window.h>

#include <cstdint>

namespace varlowe {

class AnalysisModel;

// The strip beside the diagram that shows where the shown rows lie in time, with a bar at
// its left edge over the rows in view. The ticks are drawn once into a bitmap per model or
// size change; painting copies it and adds the bar.
class SipDiagramTimeBar : public wxWindow {
  public:
    explicit SipDiagramTimeBar(wxWindow* parent);

    void setModel(const AnalysisModel* model);
    // The diagram's view: its first row and the rows that fit below its header.
    void setVisibleRows(int64_t viewStartRow, int64_t rowsFitting);
    int64_t firstVisibleRow() const { return first_; }
    int64_t visibleRowCount() const { return count_; }
    const wxBitmap& picture() const { return picture_; }

    // Draws the picture and the bar onto a device context.
    void draw(wxDC& dc) const;

  private:
    void rebuild();
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);

    const AnalysisModel* model_ = nullptr;
    int64_t first_ = -1;
    int64_t count_ = -1;
    wxBitmap picture_;
};

}  // namespace varlowe
