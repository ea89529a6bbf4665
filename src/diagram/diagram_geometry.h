#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace varlowe {

// Pixel arithmetic of the ladder diagram, without any window. Document coordinates (the
// whole diagram, header at the top) are 64-bit: a capture of a million rows is tens of
// millions of pixels high, more than a drawing surface takes, so the painter draws relative
// to the view's first row.
struct DiagramGeometry {
    static constexpr int kScreenMargin = 50;     // left margin for the time texts
    static constexpr int kMinColumnWidth = 120;  // and the width of every column when scrolling
    static constexpr int kExtraWidth = 100;      // added to the columns for the virtual width
    static constexpr int kHorizontalStep = 60;   // pixels per horizontal scroll step

    int headerHeight = 0;
    int rowHeight = 1;
    int arrowFontHeight = 0;  // |pixel height of the arrow font|, for the text boxes
    int arrowLineHeight = 0;  // the height of a line of text in the arrow font
    int margin = kScreenMargin;
    int columnWidth = kMinColumnWidth;

    // |3 x font pixel height|, and for rows 19 more: fonts may report negative heights.
    static int headerHeightFor(int headerFontPixelHeight);
    static int rowHeightFor(int arrowFontPixelHeight);
    // max(120, (max(virtual, client) - 100) / columns); 120 without columns.
    static int screenColumnWidth(int64_t virtualWidth, int clientWidth, size_t columns);
    // max(120, printable width / columns) on a page.
    static int printColumnWidth(int printableWidth, size_t columns);
    // The scrollable size: columns x 120 + 100 wide, header plus all rows high.
    static int64_t virtualWidth(size_t columns) {
        return static_cast<int64_t>(columns) * kMinColumnWidth + kExtraWidth;
    }
    int64_t virtualHeight(size_t rows) const {
        return headerHeight + static_cast<int64_t>(rows) * rowHeight;
    }

    int columnCentre(size_t column) const {
        return margin + static_cast<int>(column) * columnWidth + columnWidth / 2;
    }
    int64_t rowTop(size_t row) const {
        return headerHeight + static_cast<int64_t>(row) * rowHeight;
    }
    int64_t rowCentre(size_t row) const { return rowTop(row) + rowHeight / 2; }
};

// Rows [first, end) that a paint draws: two above the view and three below it.
struct RowRange {
    size_t first = 0;
    size_t end = 0;
    bool empty() const { return first >= end; }
};
RowRange drawnRows(size_t viewStartRow, int clientHeight, int rowHeight, size_t rowCount);

// Where an arrow's parts go. x1 is the source column's centre, x2 the destination's.
struct ArrowShape {
    bool loop = false;      // source and destination share a column
    bool rightward = true;  // x1 < x2
    int transportIconX = 0;
    int lineFrom = 0;
    int lineTo = 0;
    std::optional<int> unansweredIconX;  // when the request has no answer
    int headBackX = 0;                   // the head's strokes end here, 5 above and 5 below
};
ArrowShape arrowShape(int x1, int x2, int transportIconWidth,
                      std::optional<int> unansweredIconWidth);

struct BoxRect {
    int64_t x = 0, y = 0;
    int64_t width = 0, height = 0;
};
// The text box of an arrow: between the two ends less 4, a row height less the arrow font's
// height, centred on the row.
BoxRect arrowTextBox(int x1, int x2, int64_t rowCentreY, int rowHeight, int arrowFontPixelHeight);

// Hit-testing in client coordinates. The view start is in rows vertically and in 60-pixel
// steps horizontally.
struct ViewStart {
    int64_t row = 0;
    int64_t step = 0;
};
// The row under the point when the point lies in the row area (below the header, right of
// the margin); whether it hits the row's item is `hitsArrow`.
std::optional<size_t> rowUnder(int x, int y, ViewStart view, const DiagramGeometry& geometry,
                               size_t rowCount);
// The point's document x lies between the two ends of the arrow, both included.
bool hitsArrow(int x, ViewStart view, int x1, int x2);
// The visible column under a point in the header; none outside the header or the columns.
std::optional<size_t> headerColumnUnder(int x, int y, ViewStart view,
                                        const DiagramGeometry& geometry, size_t columnCount);

// Keeping a selected row and its source column in view. Returns the new view start when the
// view must move.
std::optional<ViewStart> viewToShow(size_t row, size_t sourceColumn, ViewStart view,
                                    const DiagramGeometry& geometry, int clientWidth,
                                    int clientHeight);

// The text fitting rule: whole when it fits, nothing when even "..." does not, otherwise the
// longest beginning followed by "..." that fits. `measure` gives the width of a text; the
// search is logarithmic in the text's length, so captured texts of any length cost little.
std::wstring fitText(const std::wstring& text, int width,
                     const std::function<int(const std::wstring&)>& measure);

}  // namespace varlowe
