#include "ostrane_line_graph.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>

#include <algorithm>

#include "engine/media/rtp_statistics.h"
#include "settings/app_settings.h"
#include "toolkit/toolkit_font.h"
#include "toolkit/toolkit_text.h"

namespace varlowe {

namespace {

constexpr int kMarkerRadius = 3;

wxFont graphFont(const SettingFont& setting) {
    wxFont font = toolkitFontOf(setting);
    return font.IsOk() ? font : *wxNORMAL_FONT;
}

std::string fitted(wxDC& dc, const wxString& text, int width) {
    return line_graph::fitText(text.utf8_string(), width, "...", [&dc](const std::string& t) {
        return dc.GetTextExtent(wxString::FromUTF8(t)).x;
    });
}

}  // namespace

OstraneLineGraph::OstraneLineGraph(wxWindow* parent, wxWindowID id, const wxPoint& position,
                                   const wxSize& size)
    : wxScrolledWindow(parent, id, position, size, wxHSCROLL | wxFULL_REPAINT_ON_RESIZE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SetBackgroundColour(*wxWHITE);
    addMouseoverListener(this);
    Bind(wxEVT_PAINT, &OstraneLineGraph::onPaint, this);
    Bind(wxEVT_SIZE, &OstraneLineGraph::onSize, this);
    Bind(wxEVT_MOTION, &OstraneLineGraph::onMotion, this);
    Bind(wxEVT_LEAVE_WINDOW, &OstraneLineGraph::onLeave, this);
    for (const wxEventTypeTag<wxScrollWinEvent>& type :
         {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP,
          wxEVT_SCROLLWIN_LINEDOWN, wxEVT_SCROLLWIN_PAGEUP, wxEVT_SCROLLWIN_PAGEDOWN,
          wxEVT_SCROLLWIN_THUMBTRACK, wxEVT_SCROLLWIN_THUMBRELEASE}) {
        Bind(type, &OstraneLineGraph::onScroll, this);
    }
}

OstraneLineGraph::~OstraneLineGraph() {
    removeMouseoverListener(this);
    callouts_.clear();
    series_.fill(nullptr);
}

void OstraneLineGraph::setLabels(const wxString& title, const wxString& xLabel,
                                 const wxString& yLabel) {
    title_ = title;
    xLabel_ = xLabel;
    yLabel_ = yLabel;
    requestRender();
}

bool OstraneLineGraph::addSeries(const SampleSeries* series, const wxColour& colour) {
    if (seriesCount_ >= kMaxSeries) {
        return false;
    }
    series_[seriesCount_] = series;
    colours_[seriesCount_] = colour;
    ++seriesCount_;
    requestRender();
    return true;
}

bool OstraneLineGraph::addMouseoverListener(IMouseoverListener* listener) {
    const bool wasRegistered = removeMouseoverListener(listener);
    for (IMouseoverListener*& slot : listeners_) {
        if (slot == nullptr) {
            slot = listener;
            return !wasRegistered;
        }
    }
    return false;
}

bool OstraneLineGraph::removeMouseoverListener(IMouseoverListener* listener) {
    bool held = false;
    for (IMouseoverListener*& slot : listeners_) {
        if (slot == listener) {
            slot = nullptr;
            held = true;
        }
    }
    return held;
}

void OstraneLineGraph::requestRender() {
    if (!dirty_) {
        dirty_ = true;
        setHover(-1);
        Refresh(false);
    }
}

void OstraneLineGraph::render() {
    if (busy_) {
        return;
    }
    busy_ = true;
    dirty_ = false;
    ++renders_;
    clearMarks();
    hover_ = -1;

    const wxSize client = GetClientSize();
    renderedSize_ = client;
    wxFont unitFont = graphFont(AppSettings::graphsAxisUnitFont());
    line_graph::Metrics metrics;
    metrics.clientWidth = client.x;
    metrics.clientHeight = client.y;
    GetTextExtent("[ABCxyz123]", nullptr, &metrics.textHeight, nullptr, nullptr, &unitFont);
    GetTextExtent("-1234567890", &metrics.digitsWidth, nullptr, nullptr, nullptr, &unitFont);
    wxFont labelFont = graphFont(AppSettings::graphsAxisLabelFont());
    wxFont titleFont = graphFont(AppSettings::graphsTitleFont());
    GetTextExtent("[ABCxyz123]", nullptr, &metrics.labelHeight, nullptr, nullptr, &labelFont);
    GetTextExtent("[ABCxyz123]", nullptr, &metrics.titleHeight, nullptr, nullptr, &titleFont);
    std::vector<const SampleSeries*> present(series_.begin(), series_.begin() + seriesCount_);
    layout_ = line_graph::computeLayout(metrics, present);

    const int width = std::max(1, layout_.virtualWidth);
    const int height = std::max(1, layout_.virtualHeight);
    bitmap_ = wxBitmap(width, height);
    {
        wxMemoryDC dc(bitmap_);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        if (layout_.message != line_graph::Layout::Message::None) {
            drawMessage(dc, line_graph::Layout::messageText(layout_.message));
        } else {
            drawPlot(dc);
        }
    }
    if (layout_.scrollUnit > 0) {
        SetScrollRate(layout_.scrollUnit, 0);
        SetVirtualSize(layout_.virtualWidth, client.y);
    } else {
        SetScrollRate(0, 0);
        SetVirtualSize(client);
    }
    busy_ = false;
    Refresh(false);
}

void OstraneLineGraph::drawMessage(wxDC& dc, const wxString& text) {
    dc.SetFont(graphFont(AppSettings::graphsAxisLabelFont()));
    dc.SetTextForeground(*wxBLACK);
    const wxSize size = dc.GetTextExtent(text);
    const wxSize area = dc.GetSize();
    dc.DrawText(text, (area.x - size.x) / 2, std::max(0, (area.y - size.y) / 2));
}

void OstraneLineGraph::drawPlot(wxDC& dc) {
    const line_graph::Rect& plot = layout_.plot;
    const int bottom = plot.y + plot.height;
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(*wxBLACK);

    const wxFont titleFont = graphFont(AppSettings::graphsTitleFont());
    const wxFont labelFont = graphFont(AppSettings::graphsAxisLabelFont());
    const wxFont unitFont = graphFont(AppSettings::graphsAxisUnitFont());
    const wxFont keyFont = graphFont(AppSettings::graphsKeyFont());

    dc.SetFont(titleFont);
    const wxString title = wxString::FromUTF8(fitted(dc, title_, plot.width));
    wxSize size = dc.GetTextExtent(title);
    dc.DrawText(title, plot.x + (plot.width - size.x) / 2, std::max(0, (plot.y - size.y) / 2));

    dc.SetFont(labelFont);
    const wxString xLabel = wxString::FromUTF8(fitted(dc, xLabel_, plot.width));
    size = dc.GetTextExtent(xLabel);
    // Under the tick labels, which are drawn in the unit font.
    wxCoord unitHeight = 0;
    dc.GetTextExtent("[ABCxyz123]", nullptr, &unitHeight, nullptr, nullptr, &unitFont);
    dc.DrawText(xLabel, plot.x + (plot.width - size.x) / 2, bottom + 6 + unitHeight);
    const wxString yLabel = wxString::FromUTF8(fitted(dc, yLabel_, plot.height));
    size = dc.GetTextExtent(yLabel);
    dc.DrawRotatedText(yLabel, 0, plot.y + (plot.height + size.x) / 2, 90);

    dc.SetPen(*wxBLACK_PEN);
    dc.DrawLine(plot.x - 1, bottom, plot.x + plot.width, bottom);
    dc.DrawLine(plot.x - 1, plot.y, plot.x - 1, bottom + 1);
    if (!layout_.scaled) {
        return;
    }

    dc.SetFont(unitFont);
    for (const line_graph::Tick& tick : layout_.valueTicks) {
        dc.DrawLine(plot.x - 1 - 5, tick.position, plot.x - 1, tick.position);
        const wxString text = wxString(line_graph::valueText(tick.value, yDivisor_));
        size = dc.GetTextExtent(text);
        dc.DrawText(text, plot.x - 1 - 6 - size.x, tick.position - size.y / 2);
    }
    for (const line_graph::Tick& tick : layout_.indexTicks) {
        dc.DrawLine(tick.position, bottom, tick.position, bottom + 5);
        const wxString text = wxString::Format("%.1f", static_cast<double>(tick.value) / xDivisor_);
        size = dc.GetTextExtent(text);
        dc.DrawText(text, tick.position - size.x / 2, bottom + 6);
    }

    std::vector<wxPoint> points;
    for (size_t slot = 0; slot < seriesCount_; ++slot) {
        const SampleSeries* series = series_[slot];
        if (series == nullptr || series->count == 0) {
            continue;
        }
        points.clear();
        const int count = std::min<int>(series->count, static_cast<int>(series->samples.size()));
        for (int i = 0; i < count; ++i) {
            const line_graph::Point p = line_graph::samplePoint(layout_, i, series->samples[i]);
            points.emplace_back(p.x, p.y);
        }
        dc.SetPen(wxPen(colours_[slot], 1, wxPENSTYLE_SOLID));
        if (points.size() >= 2) {
            dc.DrawLines(static_cast<int>(points.size()), points.data());
        } else {
            dc.DrawPoint(points.front());
        }
    }

    if (layout_.legendShown) {
        dc.SetFont(keyFont);
        const int column = plot.x + plot.width;
        int y = plot.y;
        for (size_t slot = 0; slot < seriesCount_; ++slot) {
            if (series_[slot] == nullptr) {
                continue;
            }
            const wxString name =
                wxString::FromUTF8(fitted(dc, displayText(series_[slot]->name), 150));
            size = dc.GetTextExtent(name);
            if (y + size.y > bottom) {
                break;
            }
            dc.SetTextForeground(colours_[slot]);
            dc.DrawText(name, column + (150 - size.x) / 2, y);
            y += size.y + 4;
        }
    }
}

void OstraneLineGraph::pointerAt(wxPoint client) {
    ensureRendered();
    if (!line_graph::onScrolledPlot(layout_, GetClientSize().x, client.x)) {
        setHover(-1);  // over the axis or the legend, whatever has scrolled under them
        return;
    }
    const wxPoint unscrolled = CalcUnscrolledPosition(client);
    setHover(line_graph::hoverIndex(layout_, unscrolled.x, unscrolled.y));
}

void OstraneLineGraph::pointerLeft() {
    setHover(-1);
}

void OstraneLineGraph::setHover(int index) {
    if (index == hover_) {
        return;
    }
    const int previous = hover_;
    hover_ = index;
    for (IMouseoverListener* listener : listeners_) {
        if (listener != nullptr) {
            listener->onMouseover(this, index, previous);
        }
    }
}

void OstraneLineGraph::onMouseover(OstraneLineGraph* graph, int index, int) {
    if (graph != this) {
        return;
    }
    // The old marks' areas are painted again from the bitmap, then the new ones on top.
    const wxRect old = marksArea();
    clearMarks();
    if (!old.IsEmpty()) {
        RefreshRect(old, false);
    }
    if (index >= 0) {
        makeMarks(index);
        const wxRect now = marksArea();
        if (!now.IsEmpty()) {
            RefreshRect(now, false);
        }
    }
}

void OstraneLineGraph::clearMarks() {
    markers_.clear();
    callouts_.clear();
    showIndex_ = false;
}

void OstraneLineGraph::makeMarks(int index) {
    if (!layout_.scaled) {
        return;
    }
    const wxFont unitFont = graphFont(AppSettings::graphsAxisUnitFont());
    const wxRect limit(wxPoint(0, 0), GetClientSize());
    for (size_t slot = 0; slot < seriesCount_; ++slot) {
        const SampleSeries* series = series_[slot];
        if (series == nullptr || index >= series->count ||
            index >= static_cast<int>(series->samples.size())) {
            continue;
        }
        const int32_t value = series->samples[index];
        const line_graph::Point p = line_graph::samplePoint(layout_, index, value);
        const wxPoint point(p.x, p.y);
        markers_.push_back(Marker{point, colours_[slot]});
        line_graph::CalloutPlacement placement;
        placement.horizontal =
            slot % 2 == 0 ? line_graph::Horizontal::Right : line_graph::Horizontal::Left;
        placement.vertical = line_graph::Vertical::Above;
        auto callout = std::make_unique<OstraneGraphCallout>(
            this, wxString(line_graph::valueText(value, yDivisor_)), unitFont, colours_[slot],
            placement);
        callout->place(CalcScrolledPosition(point), limit);
        callouts_.push_back(std::move(callout));
        if (!showIndex_) {
            showIndex_ = true;
            indexPoint_ = point;
            indexText_ = wxString::Format("%.1f", static_cast<double>(index) / xDivisor_);
        }
    }
}

wxRect OstraneLineGraph::marksArea() const {
    wxRect area;
    for (const Marker& marker : markers_) {
        const wxPoint at = CalcScrolledPosition(marker.point);
        area.Union(wxRect(at.x - kMarkerRadius - 1, at.y - kMarkerRadius - 1, 2 * kMarkerRadius + 2,
                          2 * kMarkerRadius + 2));
    }
    for (const auto& callout : callouts_) {
        area.Union(callout->rect());
    }
    if (showIndex_) {
        const wxPoint at = CalcScrolledPosition(indexPoint_);
        const int bottom = layout_.plot.y + layout_.plot.height;
        // The box and its tick below the axis; wide enough for any index text.
        area.Union(wxRect(at.x - 40, bottom, 80, GetClientSize().y - bottom));
    }
    return area;
}

void OstraneLineGraph::onPaint(wxPaintEvent&) {
    ensureRendered();
    wxAutoBufferedPaintDC dc(this);
    paintView(dc);
}

void OstraneLineGraph::paintView(wxDC& dc) {
    const wxPoint origin = CalcUnscrolledPosition(wxPoint(0, 0));
    const wxSize client = GetClientSize();
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    if (bitmap_.IsOk()) {
        wxMemoryDC source(bitmap_);
        dc.Blit(0, 0, client.x, client.y, &source, origin.x, origin.y);
        // The y axis and the legend stay at the edges while the plot scrolls under them.
        const line_graph::FixedStrips strips = line_graph::fixedStrips(layout_, client.x);
        if (strips.left > 0) {
            dc.Blit(0, 0, strips.left, client.y, &source, 0, origin.y);
        }
        if (strips.right > 0) {
            dc.Blit(client.x - strips.right, 0, strips.right, client.y, &source,
                    layout_.virtualWidth - strips.right, origin.y);
        }
    }
    for (const Marker& marker : markers_) {
        dc.SetPen(*wxBLACK_PEN);
        dc.SetBrush(wxBrush(marker.colour));
        dc.DrawCircle(CalcScrolledPosition(marker.point), kMarkerRadius);
    }
    for (const auto& callout : callouts_) {
        callout->draw(dc);
    }
    if (showIndex_) {
        const wxPoint at = CalcScrolledPosition(indexPoint_);
        const int bottom = layout_.plot.y + layout_.plot.height;
        dc.SetFont(graphFont(AppSettings::graphsAxisUnitFont()));
        const wxSize size = dc.GetTextExtent(indexText_);
        const wxRect box(at.x - size.x / 2 - 3, bottom + 5, size.x + 6, size.y + 2);
        dc.SetPen(*wxBLACK_PEN);
        dc.DrawLine(at.x, bottom, at.x, bottom + 5);
        dc.SetBrush(*wxWHITE_BRUSH);
        dc.DrawRectangle(box);
        dc.SetTextForeground(*wxBLACK);
        dc.DrawText(indexText_, box.x + 3, box.y + 1);
    }
}

void OstraneLineGraph::onSize(wxSizeEvent& event) {
    if (GetClientSize() != renderedSize_) {
        requestRender();
    }
    event.Skip();
}

void OstraneLineGraph::onMotion(wxMouseEvent& event) {
    pointerAt(event.GetPosition());
    event.Skip();
}

void OstraneLineGraph::onLeave(wxMouseEvent& event) {
    pointerLeft();
    event.Skip();
}

void OstraneLineGraph::onScroll(wxScrollWinEvent& event) {
    // The marks belong to a pointer position that has moved on the plot.
    setHover(-1);
    Refresh(false);
    event.Skip();
}

}  // namespace varlowe
