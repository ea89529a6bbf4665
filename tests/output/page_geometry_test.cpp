#include "output/page_geometry.h"

#include <gtest/gtest.h>

namespace varlowe {
namespace {

// At 254 pixels per inch a millimetre is ten pixels, so every length below is worked out by
// hand: A4 is 2100 x 2970, 25 mm margins are 250.
constexpr Resolution kTenPerMillimetre{254, 254};
constexpr int kHeader = 52;
constexpr int kRow = 60;

PageSetup a4(double margin = 25) {
    PageSetup setup;
    setup.paperWidth = 210;
    setup.paperHeight = 297;
    setup.marginLeft = setup.marginRight = setup.marginTop = setup.marginBottom = margin;
    return setup;
}

TEST(PageGeometry, MillimetresBecomeScreenPixelsAndTheRowsFillThePage) {
    PageGeometry g = computePageGeometry(a4(), kTenPerMillimetre, kHeader, kRow, 10, 100);
    EXPECT_EQ(g.paperWidth, 2100);
    EXPECT_EQ(g.paperHeight, 2970);
    EXPECT_EQ(g.marginLeft, 250);
    EXPECT_EQ(g.printableWidth, 1600);
    EXPECT_EQ(g.printableHeight, 2470);
    EXPECT_EQ(g.columnWidth, 160);  // 1600 / 10, above the 120 minimum
    EXPECT_EQ(g.rowsPerPage, 39);   // (2470 - 52 - 40) / 60
    EXPECT_EQ(g.diagramWidth, 1600);
    EXPECT_EQ(g.pagesAcross, 1);  // fits exactly
    EXPECT_EQ(g.pagesDown, 3);    // 100 rows, 39 a page
    EXPECT_EQ(g.pageCount, 3);

    // 96 pixels per inch, the usual screen: A4 is 794 x 1123 pixels.
    PageGeometry screen = computePageGeometry(a4(), Resolution{96, 96}, kHeader, kRow, 3, 9);
    EXPECT_EQ(screen.paperWidth, 794);
    EXPECT_EQ(screen.paperHeight, 1123);
    EXPECT_EQ(screen.pageCount, 1);
    // No resolution reported: 96.
    EXPECT_EQ(computePageGeometry(a4(), Resolution{0, 0}, kHeader, kRow, 3, 9).paperWidth, 794);
}

TEST(PageGeometry, WideDiagramsGoAcrossFirstThenDown) {
    // 45 mm margins leave 1200 pixels; 20 columns of 120 are exactly twice that.
    PageGeometry g = computePageGeometry(a4(45), kTenPerMillimetre, kHeader, kRow, 20, 100);
    EXPECT_EQ(g.printableWidth, 1200);
    EXPECT_EQ(g.columnWidth, 120);
    EXPECT_EQ(g.diagramWidth, 2400);
    EXPECT_EQ(g.pagesAcross, 2);
    EXPECT_EQ(g.rowsPerPage, 32);  // (2970 - 900 - 92) / 60 = 1978 / 60
    EXPECT_EQ(g.pagesDown, 4);
    EXPECT_EQ(g.pageCount, 8);
    // One pixel more than twice: a third slice.
    EXPECT_EQ(computePageGeometry(a4(45), kTenPerMillimetre, kHeader, kRow, 21, 100).pagesAcross,
              3);

    PageGeometry::Page first = g.page(1, 100);
    EXPECT_EQ(first.across, 0);
    EXPECT_EQ(first.down, 0);
    EXPECT_EQ(first.firstRow, 0u);
    EXPECT_EQ(first.endRow, 32u);
    PageGeometry::Page second = g.page(2, 100);
    EXPECT_EQ(second.across, 1);
    EXPECT_EQ(second.firstRow, 0u);
    PageGeometry::Page third = g.page(3, 100);
    EXPECT_EQ(third.across, 0);
    EXPECT_EQ(third.down, 1);
    EXPECT_EQ(third.firstRow, 32u);
    PageGeometry::Page last = g.page(8, 100);
    EXPECT_EQ(last.firstRow, 96u);
    EXPECT_EQ(last.endRow, 100u);
}

TEST(PageGeometry, LandscapeExchangesThePaperBeforeTheMargins) {
    PageSetup setup = a4();
    setup.landscape = true;
    setup.marginLeft = 10;
    PageGeometry g = computePageGeometry(setup, kTenPerMillimetre, kHeader, kRow, 10, 100);
    EXPECT_EQ(g.paperWidth, 2970);
    EXPECT_EQ(g.paperHeight, 2100);
    EXPECT_EQ(g.printableWidth, 2970 - 100 - 250);
    EXPECT_EQ(g.printableHeight, 1600);
    EXPECT_EQ(g.rowsPerPage, 25);  // (1600 - 92) / 60 = 1508 / 60
}

TEST(PageGeometry, MarginsThatLeaveNoRowPrintNothing) {
    PageGeometry g = computePageGeometry(a4(145), kTenPerMillimetre, kHeader, kRow, 3, 10);
    EXPECT_EQ(g.rowsPerPage, 0);  // 70 pixels high: less than header, space and a row
    EXPECT_FALSE(g.printable());
    EXPECT_EQ(g.pageCount, 0);
    EXPECT_EQ(g.page(1, 10).endRow, 0u);
    // Too wide margins leave no width either.
    PageSetup narrow = a4();
    narrow.marginLeft = narrow.marginRight = 110;
    EXPECT_FALSE(computePageGeometry(narrow, kTenPerMillimetre, kHeader, kRow, 3, 10).printable());
    // A diagram without rows still has its header page.
    EXPECT_EQ(computePageGeometry(a4(), kTenPerMillimetre, kHeader, kRow, 3, 0).pageCount, 1);
}

TEST(PageGeometry, ThePageScaleMakesAUnitOneScreenPixel) {
    // Printing at 600 dpi onto the whole page: 600 / 96.
    PageScale print = pageScale(Resolution{96, 96}, Resolution{600, 600}, 4961, 7016, 4961, 7016);
    EXPECT_DOUBLE_EQ(print.x, 6.25);
    EXPECT_DOUBLE_EQ(print.y, 6.25);
    // A preview 800 pixels wide of the same page.
    PageScale preview = pageScale(Resolution{96, 96}, Resolution{600, 600}, 800, 1131, 4961, 7016);
    EXPECT_DOUBLE_EQ(preview.x, 600.0 * 800 / (4961.0 * 96));
    // Resolutions the toolkit does not report are the screen's.
    PageScale unknown = pageScale(Resolution{0, 0}, Resolution{0, 0}, 500, 500, 1000, 2000);
    EXPECT_DOUBLE_EQ(unknown.x, 0.5);
    EXPECT_DOUBLE_EQ(unknown.y, 0.25);
}

}  // namespace
}  // namespace varlowe
