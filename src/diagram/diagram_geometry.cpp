#include "diagram_geometry.h"

#include <algorithm>
#include <cstdlib>

namespace varlowe {

int DiagramGeometry::headerHeightFor(int headerFontPixelHeight) {
    return std::abs(3 * headerFontPixelHeight);
}

int DiagramGeometry::rowHeightFor(int arrowFontPixelHeight) {
    return std::abs(3 * arrowFontPixelHeight) + 19;
}

int DiagramGeometry::screenColumnWidth(int64_t virtualWidth, int clientWidth, size_t columns) {
    if (columns == 0) {
        return kMinColumnWidth;
    }
    const int64_t wide = std::max<int64_t>(virtualWidth, clientWidth) - kExtraWidth;
    return static_cast<int>(
        std::max<int64_t>(kMinColumnWidth, wide / static_cast<int64_t>(columns)));
}

int DiagramGeometry::printColumnWidth(int printableWidth, size_t columns) {
    if (columns == 0) {
        return kMinColumnWidth;
    }
    return std::max(kMinColumnWidth, printableWidth / static_cast<int>(columns));
}

RowRange drawnRows(size_t viewStartRow, int clientHeight, int rowHeight, size_t rowCount) {
    RowRange range;
    range.first = viewStartRow > 2 ? viewStartRow - 2 : 0;
    const size_t fitting =
        rowHeight > 0 ? static_cast<size_t>(std::max(clientHeight, 0) / rowHeight) : 0;
    range.end = std::min(rowCount, range.first + fitting + 3);
    if (range.first > range.end) {
        range.first = range.end;
    }
    return range;
}

ArrowShape arrowShape(int x1, int x2, int transportIconWidth,
                      std::optional<int> unansweredIconWidth) {
    ArrowShape shape;
    if (x1 == x2) {
        shape.loop = true;
        shape.lineFrom = x1 + 5;
        shape.lineTo = x1 + 25;
        return shape;
    }
    shape.rightward = x1 < x2;
    if (shape.rightward) {
        shape.transportIconX = x1 + 4;
        shape.lineFrom = x1 + transportIconWidth + 8;
        if (unansweredIconWidth) {
            shape.unansweredIconX = x2 - *unansweredIconWidth - 4;
            shape.lineTo = x2 - *unansweredIconWidth - 8;
        } else {
            shape.lineTo = x2 - 4;
        }
        shape.headBackX = shape.lineTo - 5;
    } else {
        shape.transportIconX = x1 - transportIconWidth - 4;
        shape.lineFrom = x1 - transportIconWidth - 8;
        if (unansweredIconWidth) {
            shape.unansweredIconX = x2 + 4;
            shape.lineTo = x2 + *unansweredIconWidth + 8;
        } else {
            shape.lineTo = x2 + 4;
        }
        shape.headBackX = shape.lineTo + 5;
    }
    return shape;
}

BoxRect arrowTextBox(int x1, int x2, int64_t rowCentreY, int rowHeight, int arrowFontPixelHeight) {
    const int font = std::abs(arrowFontPixelHeight);
    BoxRect box;
    box.x = std::min(x1, x2) + 4;
    box.width = std::max(x1, x2) - 4 - box.x;
    box.y = rowCentreY - rowHeight / 2 + font / 2;
    box.height = rowHeight - font;
    return box;
}

std::optional<size_t> rowUnder(int x, int y, ViewStart view, const DiagramGeometry& geometry,
                               size_t rowCount) {
    // The header and the time margin stay in place over the scrolled rows.
    if (y <= geometry.headerHeight || x <= DiagramGeometry::kScreenMargin - 1) {
        return std::nullopt;
    }
    const int64_t documentY = y + static_cast<int64_t>(geometry.rowHeight) * view.row;
    const int64_t row = (documentY - geometry.headerHeight) / geometry.rowHeight;
    if (row < 0 || static_cast<uint64_t>(row) >= rowCount) {
        return std::nullopt;
    }
    return static_cast<size_t>(row);
}

bool hitsArrow(int x, ViewStart view, int x1, int x2) {
    const int64_t documentX = x + DiagramGeometry::kHorizontalStep * view.step;
    return std::min(x1, x2) <= documentX && documentX <= std::max(x1, x2);
}

std::optional<size_t> headerColumnUnder(int x, int y, ViewStart view,
                                        const DiagramGeometry& geometry, size_t columnCount) {
    if (y > geometry.headerHeight || x <= DiagramGeometry::kScreenMargin - 1) {
        return std::nullopt;
    }
    const int64_t documentX = x + DiagramGeometry::kHorizontalStep * view.step;
    const int64_t column = (documentX - DiagramGeometry::kScreenMargin) / geometry.columnWidth;
    if (column < 0 || static_cast<uint64_t>(column) >= columnCount) {
        return std::nullopt;
    }
    return static_cast<size_t>(column);
}

std::optional<ViewStart> viewToShow(size_t row, size_t sourceColumn, ViewStart view,
                                    const DiagramGeometry& geometry, int clientWidth,
                                    int clientHeight) {
    ViewStart next = view;
    const int64_t rowHeight = geometry.rowHeight;
    // The first row under the header (which stays) to the last one at least partly in view.
    const int64_t first = view.row;
    const int64_t last = first + (clientHeight - geometry.headerHeight) / rowHeight;
    const int64_t wanted = static_cast<int64_t>(row);
    if (wanted < first || wanted > last || wanted < 0) {
        next.row = wanted;
    }
    // Columns are 120 pixels wide whenever the view scrolls sideways, two steps each.
    const int64_t stepsPerColumn =
        DiagramGeometry::kMinColumnWidth / DiagramGeometry::kHorizontalStep;
    const int64_t firstColumn = view.step / stepsPerColumn;
    const int64_t columnsShown = clientWidth / DiagramGeometry::kMinColumnWidth;
    const int64_t column = static_cast<int64_t>(sourceColumn);
    if (column < firstColumn || column >= firstColumn + std::max<int64_t>(columnsShown, 1)) {
        next.step = column * stepsPerColumn;
    }
    if (next.row == view.row && next.step == view.step) {
        return std::nullopt;
    }
    return next;
}

std::wstring fitText(const std::wstring& text, int width,
                     const std::function<int(const std::wstring&)>& measure) {
    if (measure(text) <= width) {
        return text;
    }
    const std::wstring dots = L"...";
    if (measure(dots) > width) {
        return std::wstring();
    }
    // The longest beginning that fits with the dots; widths grow with the length.
    size_t low = 0, high = text.size();
    while (low < high) {
        size_t middle = (low + high + 1) / 2;
        if (measure(text.substr(0, middle) + dots) <= width) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return text.substr(0, low) + dots;
}

}  // namespace varlowe
