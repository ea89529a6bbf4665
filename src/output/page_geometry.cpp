#include "page_geometry.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace varlowe {

namespace {

constexpr double kInchesPerMillimetre = 0.03937007874015748;

// Rounded to the nearest pixel: 25.4 mm at 100 pixels per inch is 100 pixels, not 99.
int pixels(double millimetres, int perInch) {
    return static_cast<int>(std::lround(millimetres * kInchesPerMillimetre * perInch));
}

}  // namespace

Resolution effectiveScreen(Resolution screen) {
    return Resolution{screen.x > 0 ? screen.x : 96, screen.y > 0 ? screen.y : 96};
}

PageGeometry computePageGeometry(const PageSetup& setup, Resolution screen, int headerHeight,
                                 int rowHeight, size_t columns, size_t rows) {
    screen = effectiveScreen(screen);
    PageGeometry g;
    g.paperWidth = pixels(setup.paperWidth, screen.x);
    g.paperHeight = pixels(setup.paperHeight, screen.y);
    if (setup.landscape) {
        std::swap(g.paperWidth, g.paperHeight);
    }
    g.marginLeft = pixels(setup.marginLeft, screen.x);
    g.marginRight = pixels(setup.marginRight, screen.x);
    g.marginTop = pixels(setup.marginTop, screen.y);
    g.marginBottom = pixels(setup.marginBottom, screen.y);
    g.printableWidth = g.paperWidth - g.marginLeft - g.marginRight;
    g.printableHeight = g.paperHeight - g.marginTop - g.marginBottom;
    const size_t shownColumns = std::max<size_t>(columns, 1);
    g.columnWidth = std::max(120, g.printableWidth / static_cast<int>(shownColumns));
    g.rowsPerPage =
        rowHeight > 0
            ? (g.printableHeight - headerHeight - 2 * PageGeometry::kHeaderFooterSpace) / rowHeight
            : 0;
    g.diagramWidth = static_cast<int64_t>(columns) * g.columnWidth;
    if (!g.printable()) {
        return g;
    }
    g.pagesAcross = std::max<int64_t>(
        1, g.diagramWidth / g.printableWidth + (g.diagramWidth % g.printableWidth != 0 ? 1 : 0));
    const int64_t rowCount = static_cast<int64_t>(rows);
    // A diagram without rows still prints its header on one page.
    g.pagesDown = std::max<int64_t>(1, (rowCount + g.rowsPerPage - 1) / g.rowsPerPage);
    g.pageCount = g.pagesDown * g.pagesAcross;
    return g;
}

PageGeometry::Page PageGeometry::page(int64_t number, size_t rowCount) const {
    Page p;
    if (!printable() || number < 1 || pagesAcross < 1) {
        return p;
    }
    p.down = (number - 1) / pagesAcross;
    p.across = (number - 1) % pagesAcross;
    const int64_t first = p.down * rowsPerPage;
    p.firstRow = static_cast<size_t>(std::min<int64_t>(first, static_cast<int64_t>(rowCount)));
    p.endRow =
        static_cast<size_t>(std::min<int64_t>(first + rowsPerPage, static_cast<int64_t>(rowCount)));
    return p;
}

PageScale pageScale(Resolution screen, Resolution printer, int contextWidth, int contextHeight,
                    int pageWidthPixels, int pageHeightPixels) {
    screen = effectiveScreen(screen);
    if (printer.x <= 0 || printer.y <= 0) {
        printer = screen;
    }
    PageScale scale;
    if (pageWidthPixels > 0) {
        scale.x = static_cast<double>(printer.x) * contextWidth /
                  (static_cast<double>(pageWidthPixels) * screen.x);
    }
    if (pageHeightPixels > 0) {
        scale.y = static_cast<double>(printer.y) * contextHeight /
                  (static_cast<double>(pageHeightPixels) * screen.y);
    }
    return scale;
}

}  // namespace varlowe
