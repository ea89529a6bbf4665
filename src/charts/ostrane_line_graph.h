#pragma once

#include <wx/bitmap.h>
#include <wx/font.h>
#include <wx/scrolwin.h>

#include <array>
#include <memory>
#include <vector>

#include "charts_layout/line_graph_layout.h"
#include "mouseover_listener.h"
#include "ostrane_graph_callout.h"

namespace varlowe {

struct SampleSeries;

// Up to eight integer series as lines over a common sample index, with title, axis labels,
// ticks, legend and a read-out of the samples under the pointer. The plot is drawn into a
// bitmap once per change; painting copies it and draws the hover marks on top.
class OstraneLineGraph : public wxScrolledWindow, public IMouseoverListener {
  public:
    static constexpr size_t kMaxSeries = 8;
    static constexpr size_t kListenerSlots = 4;

    OstraneLineGraph(wxWindow* parent, wxWindowID id = wxID_ANY,
                     const wxPoint& position = wxDefaultPosition,
                     const wxSize& size = wxDefaultSize);
    ~OstraneLineGraph() override;

    void setLabels(const wxString& title, const wxString& xLabel, const wxString& yLabel);
    // False when eight series are present already. The series stays the caller's.
    bool addSeries(const SampleSeries* series, const wxColour& colour);

    bool addMouseoverListener(IMouseoverListener* listener);
    bool removeMouseoverListener(IMouseoverListener* listener);

    int hoverIndex() const { return hover_; }
    // The plot as it stands after the last change (drawn now when a change is pending).
    const line_graph::Layout& layout() {
        ensureRendered();
        return layout_;
    }
    const wxBitmap& bitmap() {
        ensureRendered();
        return bitmap_;
    }
    size_t seriesCount() const { return seriesCount_; }
    const wxColour& seriesColour(size_t slot) const { return colours_[slot]; }
    // The callouts of the current hover index, one per series that has the sample.
    const std::vector<std::unique_ptr<OstraneGraphCallout>>& callouts() const { return callouts_; }
    // How often the plot was drawn into its bitmap.
    int renderCount() const { return renders_; }
    // What a paint of the window draws, onto any device context of the client's size.
    void paintView(wxDC& dc);

    // The pointer moved to a client point, or left the window.
    void pointerAt(wxPoint client);
    void pointerLeft();

    // IMouseoverListener: the graph's own marks.
    void onMouseover(OstraneLineGraph* graph, int index, int previous) override;

  private:
    // A change draws the plot when it is next needed (painted, hovered or asked for), so
    // that a graph being set up, or on a page not shown, is drawn once at its real size.
    void requestRender();
    void ensureRendered() {
        if (dirty_) {
            render();
        }
    }
    void render();
    void drawMessage(wxDC& dc, const wxString& text);
    void drawPlot(wxDC& dc);
    void setHover(int index);
    void clearMarks();
    void makeMarks(int index);
    wxRect marksArea() const;  // in client coordinates
    void onPaint(wxPaintEvent& event);
    void onSize(wxSizeEvent& event);
    void onMotion(wxMouseEvent& event);
    void onLeave(wxMouseEvent& event);
    void onScroll(wxScrollWinEvent& event);

    wxString title_;
    wxString xLabel_;
    wxString yLabel_;
    std::array<const SampleSeries*, kMaxSeries> series_{};
    std::array<wxColour, kMaxSeries> colours_;
    size_t seriesCount_ = 0;
    std::array<IMouseoverListener*, kListenerSlots> listeners_{};
    int hover_ = -1;
    line_graph::Layout layout_;
    int xDivisor_ = 1;
    int yDivisor_ = 1;
    wxBitmap bitmap_;
    wxSize renderedSize_;
    bool busy_ = false;
    bool dirty_ = true;
    int renders_ = 0;

    // Hover marks, in the bitmap's (unscrolled) coordinates.
    struct Marker {
        wxPoint point;
        wxColour colour;
    };
    std::vector<Marker> markers_;
    std::vector<std::unique_ptr<OstraneGraphCallout>> callouts_;
    std::vector<wxPoint> calloutAnchors_;
    wxString indexText_;
    wxPoint indexPoint_;
    bool showIndex_ = false;
};

}  // namespace varlowe
