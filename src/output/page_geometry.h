#pragma once

#include <cstddef>
#include <cstdint>

namespace varlowe {

// The paper as the page setup holds it, in millimetres.
struct PageSetup {
    double paperWidth = 210;
    double paperHeight = 297;
    bool landscape = false;
    double marginLeft = 25;
    double marginTop = 25;
    double marginRight = 25;
    double marginBottom = 25;
};

// Pixels per inch; 0 where the toolkit reports none.
struct Resolution {
    int x = 96;
    int y = 96;
};

// How a diagram falls onto pages, in screen pixels: rows top to bottom and, when the columns
// are wider than the paper, slices left to right; pages run across first, then down.
struct PageGeometry {
    static constexpr int kHeaderFooterSpace = 20;  // above and below the diagram on a page

    int paperWidth = 0;
    int paperHeight = 0;
    int marginLeft = 0;
    int marginTop = 0;
    int marginRight = 0;
    int marginBottom = 0;
    int printableWidth = 0;
    int printableHeight = 0;
    int columnWidth = 0;
    int64_t rowsPerPage = 0;
    int64_t diagramWidth = 0;
    int64_t pagesAcross = 0;
    int64_t pagesDown = 0;
    int64_t pageCount = 0;

    // False when the paper and margins leave room for no row (or no width): nothing prints.
    bool printable() const { return rowsPerPage >= 1 && printableWidth > 0; }

    // Page p (from 1): its slice across and its band of rows [firstRow, endRow).
    struct Page {
        int64_t across = 0;
        int64_t down = 0;
        size_t firstRow = 0;
        size_t endRow = 0;
    };
    Page page(int64_t number, size_t rowCount) const;
};

// Screen resolution 0 counts as 96 pixels per inch.
Resolution effectiveScreen(Resolution screen);

PageGeometry computePageGeometry(const PageSetup& setup, Resolution screen, int headerHeight,
                                 int rowHeight, size_t columns, size_t rows);

// The user scale that makes one logical unit one screen pixel on a device context of the
// given width and height, for a page of the given size in device pixels.
struct PageScale {
    double x = 1;
    double y = 1;
};
PageScale pageScale(Resolution screen, Resolution printer, int contextWidth, int contextHeight,
                    int pageWidthPixels, int pageHeightPixels);

}  // namespace varlowe
