#include "line_graph_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "engine/media/rtp_statistics.h"

namespace varlowe {
namespace line_graph {

namespace {

int decimalDigits(int64_t value) {
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int digits = 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++digits;
    }
    return digits;
}

int64_t powerOfTen(int exponent) {
    int64_t result = 1;
    for (int i = 0; i < exponent; ++i) {
        result *= 10;
    }
    return result;
}

// Removes the last UTF-8 character of a non-empty text.
void dropLastCharacter(std::string& text) {
    size_t end = text.size() - 1;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.erase(end);
}

}  // namespace

int64_t roundTwoSignificant(int64_t value) {
    const int digits = decimalDigits(value);
    if (digits <= 2) {
        return value;
    }
    const int64_t magnitude = std::llabs(value);
    const int64_t lead = powerOfTen(digits - 1);
    const int64_t unit = lead / 10;
    const int64_t kept = magnitude / lead * lead;
    const int64_t rest = (magnitude - kept + unit - 1) / unit * unit;
    return value < 0 ? -(kept + rest) : kept + rest;
}

std::string fitText(const std::string& text, int width, const std::string& ellipsis,
                    const std::function<int(const std::string&)>& measure) {
    if (measure(text) <= width) {
        return text;
    }
    if (measure(ellipsis) > width) {
        return "";
    }
    std::string shortened = text;
    while (!shortened.empty() && measure(shortened + ellipsis) > width) {
        dropLastCharacter(shortened);
    }
    return shortened + ellipsis;
}

const char* Layout::messageText(Message message) {
    switch (message) {
        case Message::AreaTooSmall:
            return "Area too small";
        case Message::NotEnoughSamples:
            return "Not enough samples";
        case Message::None:
            break;
    }
    return "";
}

Layout computeLayout(const Metrics& metrics, const std::vector<const SampleSeries*>& series) {
    Layout layout;
    for (const SampleSeries* one : series) {
        if (one != nullptr) {
            layout.samples = std::max(layout.samples, one->count);
        }
    }
    layout.virtualWidth = std::max(0, metrics.clientWidth);
    layout.virtualHeight = std::max(0, metrics.clientHeight);
    if (metrics.clientWidth < 150 || metrics.clientHeight < 100) {
        layout.message = Layout::Message::AreaTooSmall;
        return layout;
    }
    if (layout.samples < 5) {
        layout.message = Layout::Message::NotEnoughSamples;
        return layout;
    }

    const int n = layout.samples;
    layout.legendShown = metrics.clientWidth >= 400;
    layout.legendWidth = layout.legendShown ? 150 : 25;
    if (metrics.clientWidth - 44 < n) {
        layout.virtualWidth = n + 44;
        layout.scrollUnit = std::max(1, metrics.clientWidth / 8);
    }

    // Value range: from zero or below, rounded outward.
    int64_t minimum = 0;
    int64_t maximum = std::numeric_limits<int64_t>::min();
    for (const SampleSeries* one : series) {
        if (one == nullptr || one->count == 0) {
            continue;
        }
        minimum = std::min<int64_t>(minimum, one->minimum);
        maximum = std::max<int64_t>(maximum, one->maximum);
    }
    layout.minimum = roundTwoSignificant(minimum);
    layout.maximum = roundTwoSignificant(maximum);
    layout.digits = decimalDigits(std::llabs(layout.minimum) + std::llabs(layout.maximum));
    if (layout.minimum < 0 || layout.maximum < 0) {
        ++layout.digits;
    }

    // Each margin is sized from the fonts drawn in it: the title above; the tick labels and
    // then the x-axis label below; the y-axis label (turned) and the tick values on the left.
    const int h = metrics.textHeight;
    const int label = metrics.labelHeight > 0 ? metrics.labelHeight : h;
    const int title = metrics.titleHeight > 0 ? metrics.titleHeight : h;
    const int digitWidth = metrics.digitsWidth / 11 + 1;
    layout.plot.x = label + digitWidth * (layout.digits + 1);
    layout.plot.y = title + 6;
    layout.plot.width = std::max(1, layout.virtualWidth - layout.legendWidth - layout.plot.x);
    layout.plot.height = std::max(1, metrics.clientHeight - (h + label + 6) - layout.plot.y);
    layout.pixelsPerSample = static_cast<double>(layout.plot.width) / n;

    // Vertical scale: about one tick per 15 pixels, zero on a tick.
    layout.slots = layout.plot.height / 15;
    const double range = static_cast<double>(layout.maximum - layout.minimum);
    if (range <= 0 || layout.slots < 3) {
        return layout;
    }
    layout.step = range / (layout.slots - 2);
    double k = std::fabs(static_cast<double>(layout.minimum)) / layout.step;
    if (k != 0) {
        k = std::trunc(k) + 1;
    }
    layout.axisBottom = std::trunc(-(layout.step * k));
    const double m = k == 0 ? 1 : k;
    layout.axisTop = std::trunc((layout.slots - m - 1) * layout.step);
    if (layout.axisTop <= layout.axisBottom) {
        return layout;
    }
    layout.scaled = true;
    layout.pixelsPerUnit = layout.plot.height / (layout.axisTop - layout.axisBottom);

    for (int i = 0; i < layout.slots; ++i) {
        const double value = std::trunc(layout.axisBottom + i * layout.step);
        if (value > layout.axisTop) {
            continue;
        }
        const double offset = layout.plot.height - i * layout.step * layout.pixelsPerUnit;
        layout.valueTicks.push_back(
            Tick{layout.plot.y + static_cast<int>(offset), static_cast<int64_t>(value)});
    }
    const int perTick = std::max(1, static_cast<int>(60 / layout.pixelsPerSample));
    for (int t = 0; t <= n / perTick; ++t) {
        const int index = t * perTick;
        layout.indexTicks.push_back(
            Tick{layout.plot.x + static_cast<int>(index * layout.pixelsPerSample), index});
    }
    return layout;
}

std::string valueText(int64_t value, int divisor) {
    return std::to_string(value / (divisor == 0 ? 1 : divisor));
}

Point samplePoint(const Layout& layout, int index, int32_t value) {
    const double x = layout.plot.x + index * layout.pixelsPerSample;
    const double y =
        layout.plot.y + layout.plot.height - (value - layout.axisBottom) * layout.pixelsPerUnit;
    return Point{static_cast<int>(x), static_cast<int>(y)};
}

int hoverIndex(const Layout& layout, int x, int y) {
    if (layout.message != Layout::Message::None || !layout.plot.contains(x, y)) {
        return -1;
    }
    const double index =
        (x + 1 - layout.plot.x + layout.pixelsPerSample * 0.5) / layout.pixelsPerSample;
    return static_cast<int>(index);
}

Rect calloutRect(Point anchor, int textWidth, int textHeight, const CalloutPlacement& placement,
                 const Rect& limit) {
    Rect box{0, 0, textWidth + 10, textHeight + 6};
    switch (placement.horizontal) {
        case Horizontal::Right:
            box.x = anchor.x + placement.offsetX;
            break;
        case Horizontal::Left:
            box.x = anchor.x - placement.offsetX - box.width;
            break;
        case Horizontal::Centre:
            box.x = anchor.x - box.width / 2;
            break;
    }
    switch (placement.vertical) {
        case Vertical::Above:
            box.y = anchor.y - placement.offsetY - box.height;
            break;
        case Vertical::Below:
            box.y = anchor.y + placement.offsetY;
            break;
        case Vertical::Centre:
            box.y = anchor.y - box.height / 2;
            break;
    }
    box.x = std::max(box.x, limit.x);
    box.y = std::max(box.y, limit.y);
    box.x = std::min(box.x, limit.x + limit.width - box.width);
    box.y = std::min(box.y, limit.y + limit.height - box.height);
    return box;
}

FixedStrips fixedStrips(const Layout& layout, int clientWidth) {
    FixedStrips strips;
    if (layout.message != Layout::Message::None || layout.virtualWidth <= clientWidth ||
        layout.plot.width <= 0) {
        return strips;
    }
    strips.left = std::max(0, layout.plot.x);
    strips.right = std::max(0, layout.virtualWidth - (layout.plot.x + layout.plot.width));
    if (strips.left + strips.right >= clientWidth) {
        return FixedStrips{};  // no room left for the plot between them
    }
    return strips;
}

bool onScrolledPlot(const Layout& layout, int clientWidth, int clientX) {
    const FixedStrips strips = fixedStrips(layout, clientWidth);
    return clientX >= strips.left && clientX < clientWidth - strips.right;
}

}  // namespace line_graph
}  // namespace varlowe
