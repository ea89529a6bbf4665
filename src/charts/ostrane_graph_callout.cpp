#include "ostrane_graph_callout.h"

#include <wx/dc.h>
#include <wx/window.h>

namespace varlowe {

namespace {
const wxColour kCornsilk(255, 248, 220);
}

OstraneGraphCallout::OstraneGraphCallout(wxWindow* window, const wxString& text, const wxFont& font,
                                         const wxColour& colour,
                                         line_graph::CalloutPlacement placement)
    : window_(window), text_(text), font_(font), colour_(colour), placement_(placement) {}

void OstraneGraphCallout::place(wxPoint anchor, const wxRect& limit) {
    anchor_ = anchor;
    limit_ = limit;
    if (!measured_) {
        window_->GetTextExtent(text_, &textSize_.x, &textSize_.y, nullptr, nullptr,
                               font_.IsOk() ? &font_ : nullptr);
        measured_ = true;
    }
    box_ = line_graph::calloutRect(line_graph::Point{anchor.x, anchor.y}, textSize_.x, textSize_.y,
                                   placement_,
                                   line_graph::Rect{limit.x, limit.y, limit.width, limit.height});
    size_ = wxSize(box_.width, box_.height);
    placed_ = true;
}

wxRect OstraneGraphCallout::rect() const {
    return wxRect(box_.x, box_.y, size_.x, size_.y);
}

void OstraneGraphCallout::draw(wxDC& dc) const {
    if (!placed_) {
        return;
    }
    dc.SetPen(*wxBLACK_PEN);
    dc.SetBrush(wxBrush(kCornsilk));
    dc.DrawRectangle(rect());
    if (font_.IsOk()) {
        dc.SetFont(font_);
    }
    dc.SetTextForeground(colour_);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.DrawText(text_, box_.x + (box_.width - textSize_.x) / 2,
                box_.y + (box_.height - textSize_.y) / 2);
}

}  // namespace varlowe
