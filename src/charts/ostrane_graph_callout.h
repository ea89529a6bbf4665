#pragma once

#include <wx/colour.h>
#include <wx/font.h>
#include <wx/gdicmn.h>
#include <wx/string.h>

#include "charts_layout/line_graph_layout.h"

class wxDC;
class wxWindow;

namespace varlowe {

// A small framed text box anchored to a point and kept inside a limiting rectangle.
class OstraneGraphCallout {
  public:
    OstraneGraphCallout(wxWindow* window, const wxString& text, const wxFont& font,
                        const wxColour& colour, line_graph::CalloutPlacement placement);
    virtual ~OstraneGraphCallout() = default;

    // Anchor and limit in the coordinates the callout is drawn in.
    void place(wxPoint anchor, const wxRect& limit);
    // The box; valid after place().
    wxRect rect() const;
    bool placed() const { return placed_; }
    void draw(wxDC& dc) const;

    const wxString& text() const { return text_; }
    const wxColour& colour() const { return colour_; }

  private:
    wxWindow* window_;
    wxString text_;
    wxFont font_;
    wxColour colour_;
    line_graph::CalloutPlacement placement_;
    wxPoint anchor_;
    wxRect limit_;
    wxSize size_{60, 24};
    wxSize textSize_;
    line_graph::Rect box_;
    bool placed_ = false;
    bool measured_ = false;
};

}  // namespace varlowe
