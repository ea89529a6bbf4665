#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varlowe {

struct SampleSeries;

// The arithmetic of the line graph, without a window: where the plot lies, its scales and
// ticks, where a sample is drawn, which sample the pointer is over and where a callout goes.
namespace line_graph {

// Keeps the leading digit and rounds the rest up, away from zero, to a multiple of the next
// power of ten below it: 1234 -> 1300, 1200 -> 1200, -57 -> -57.
int64_t roundTwoSignificant(int64_t value);

// The text, or as much of it as fits in `width` followed by the ellipsis; empty when not
// even the ellipsis fits. `measure` gives a text's width.
std::string fitText(const std::string& text, int width, const std::string& ellipsis,
                    const std::function<int(const std::string&)>& measure);

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

struct Point {
    int x = 0;
    int y = 0;
};

// What the layout needs to know of the window and the fonts.
struct Metrics {
    int clientWidth = 0;
    int clientHeight = 0;
    int textHeight = 0;   // of "[ABCxyz123]" in the tick font
    int digitsWidth = 0;  // of "-1234567890" in the tick font
    // Of the same text in the axis-label and the title fonts, for the margins they are drawn
    // in; 0 when they are the tick font's.
    int labelHeight = 0;
    int titleHeight = 0;
};

struct Tick {
    int position = 0;   // y of a value tick, x of an index tick
    int64_t value = 0;  // the value (y) or the sample index (x)
};

struct Layout {
    enum class Message { None, AreaTooSmall, NotEnoughSamples };
    Message message = Message::None;

    int samples = 0;  // the largest sample count
    bool legendShown = false;
    int legendWidth = 25;
    int virtualWidth = 0;  // of the bitmap; wider than the client when it scrolls
    int virtualHeight = 0;
    int scrollUnit = 0;   // horizontal scroll step, 0 when it does not scroll
    int64_t minimum = 0;  // rounded value range
    int64_t maximum = 0;
    int digits = 0;
    Rect plot;
    double pixelsPerSample = 1.0;

    bool scaled = false;  // the vertical scale exists (a range and at least 3 slots)
    int slots = 0;
    double step = 0;
    double axisBottom = 0;
    double axisTop = 0;
    double pixelsPerUnit = 1.0;
    std::vector<Tick> valueTicks;
    std::vector<Tick> indexTicks;

    // The texts of the two messages.
    static const char* messageText(Message message);
};

Layout computeLayout(const Metrics& metrics, const std::vector<const SampleSeries*>& series);

// Where sample `index` of value `value` is drawn.
Point samplePoint(const Layout& layout, int index, int32_t value);
// A value tick's or callout's text: the value divided by the graph's divisor, in full (a
// range rounded outward can pass the 32-bit limits).
std::string valueText(int64_t value, int divisor);

// While the plot scrolls sideways, the y axis (with its labels) at the left and the legend at
// the right stay in view: the widths of the two strips of the bitmap drawn at the window's
// edges, both 0 when the plot fits the window.
struct FixedStrips {
    int left = 0;
    int right = 0;
};
FixedStrips fixedStrips(const Layout& layout, int clientWidth);
// Whether a point of the window lies on the plot that scrolls (not under a fixed strip).
bool onScrolledPlot(const Layout& layout, int clientWidth, int clientX);

// The sample under an (unscrolled) point of the plot; -1 outside it or without a plot.
int hoverIndex(const Layout& layout, int x, int y);

// Callout placement relative to its anchor.
enum class Horizontal { Left, Centre, Right };
enum class Vertical { Above, Centre, Below };
struct CalloutPlacement {
    Horizontal horizontal = Horizontal::Right;
    Vertical vertical = Vertical::Above;
    int offsetX = 5;
    int offsetY = 5;
};

// The callout box of a text of the given size at the anchor, moved inside `limit`.
Rect calloutRect(Point anchor, int textWidth, int textHeight, const CalloutPlacement& placement,
                 const Rect& limit);

}  // namespace line_graph
}  // namespace varlowe
