#include <gtest/gtest.h>

#include "diagram/diagram_geometry.h"
#include "diagram/time_bar_layout.h"

using namespace varlowe;

namespace {
// A header font of 13 pixels and an arrow font of 13: header 39, rows 58.
DiagramGeometry geometry(int columnWidth = 120) {
    DiagramGeometry g;
    g.headerHeight = DiagramGeometry::headerHeightFor(13);
    g.rowHeight = DiagramGeometry::rowHeightFor(13);
    g.columnWidth = columnWidth;
    return g;
}
}  // namespace

TEST(DiagramGeometry, HeightsAndWidthsFromFontsAndColumns) {
    EXPECT_EQ(DiagramGeometry::headerHeightFor(13), 39);
    EXPECT_EQ(DiagramGeometry::headerHeightFor(-13), 39);  // negative pixel heights too
    EXPECT_EQ(DiagramGeometry::rowHeightFor(13), 58);
    EXPECT_EQ(DiagramGeometry::rowHeightFor(-13), 58);
    EXPECT_EQ(DiagramGeometry::screenColumnWidth(DiagramGeometry::virtualWidth(0), 1000, 0), 120);
    // Two columns in a 1000-pixel window share (1000 - 100) / 2.
    EXPECT_EQ(DiagramGeometry::screenColumnWidth(DiagramGeometry::virtualWidth(2), 1000, 2), 450);
    // Ten columns need 1300 pixels: the window scrolls and each column is 120 wide.
    EXPECT_EQ(DiagramGeometry::virtualWidth(10), 1300);
    EXPECT_EQ(DiagramGeometry::screenColumnWidth(DiagramGeometry::virtualWidth(10), 1000, 10), 120);
    EXPECT_EQ(DiagramGeometry::printColumnWidth(1000, 3), 333);
    EXPECT_EQ(DiagramGeometry::printColumnWidth(1000, 20), 120);

    DiagramGeometry g = geometry(450);
    EXPECT_EQ(g.columnCentre(0), 50 + 225);
    EXPECT_EQ(g.columnCentre(1), 50 + 450 + 225);
    EXPECT_EQ(g.rowCentre(0), 39 + 29);
    // Beyond 32-bit pixels: 40 million rows of 58 pixels.
    EXPECT_EQ(g.rowTop(40000000), 39 + 2320000000ll);
    EXPECT_EQ(g.virtualHeight(40000000), 39 + 2320000000ll);
}

TEST(DiagramGeometry, DrawnRowRange) {
    struct Case {
        size_t viewStart;
        int clientHeight;
        size_t rows;
        size_t first, end;
    } cases[] = {
        {0, 600, 1000, 0, 13},   // 600 / 58 = 10 rows, 3 more below
        {10, 600, 1000, 8, 21},  // two above the view
        {1, 600, 1000, 0, 13},   // never above row 0
        {0, 600, 5, 0, 5},       // never past the last row
        {998, 600, 1000, 996, 1000}, {0, 0, 1000, 0, 3}, {0, 600, 0, 0, 0},
    };
    for (const Case& c : cases) {
        RowRange range = drawnRows(c.viewStart, c.clientHeight, 58, c.rows);
        EXPECT_EQ(range.first, c.first) << c.viewStart << " " << c.rows;
        EXPECT_EQ(range.end, c.end) << c.viewStart << " " << c.rows;
    }
}

TEST(DiagramGeometry, ArrowsBothWaysAndTheLoop) {
    // Rightward from 100 to 400 with 16-pixel icons.
    ArrowShape right = arrowShape(100, 400, 16, 16);
    EXPECT_TRUE(right.rightward);
    EXPECT_EQ(right.transportIconX, 104);
    EXPECT_EQ(right.lineFrom, 124);
    EXPECT_EQ(right.unansweredIconX.value_or(-1), 380);
    EXPECT_EQ(right.lineTo, 376);
    EXPECT_EQ(right.headBackX, 371);
    ArrowShape answered = arrowShape(100, 400, 16, std::nullopt);
    EXPECT_FALSE(answered.unansweredIconX);
    EXPECT_EQ(answered.lineTo, 396);
    EXPECT_EQ(answered.headBackX, 391);
    // Leftward: mirrored, the head points left and its strokes go right.
    ArrowShape left = arrowShape(400, 100, 16, 16);
    EXPECT_FALSE(left.rightward);
    EXPECT_EQ(left.transportIconX, 380);
    EXPECT_EQ(left.lineFrom, 376);
    EXPECT_EQ(left.unansweredIconX.value_or(-1), 104);
    EXPECT_EQ(left.lineTo, 124);
    EXPECT_EQ(left.headBackX, 129);
    EXPECT_EQ(arrowShape(400, 100, 16, std::nullopt).lineTo, 104);
    // To its own column: a loop right of the lifeline.
    ArrowShape loop = arrowShape(250, 250, 16, 16);
    EXPECT_TRUE(loop.loop);
    EXPECT_EQ(loop.lineFrom, 255);
    EXPECT_EQ(loop.lineTo, 275);

    BoxRect box = arrowTextBox(400, 100, 500, 58, -13);
    EXPECT_EQ(box.x, 104);
    EXPECT_EQ(box.width, 292);
    EXPECT_EQ(box.y, 500 - 29 + 6);
    EXPECT_EQ(box.height, 45);
}

TEST(DiagramGeometry, HitTestingRowsArrowEndsAndTheHeader) {
    DiagramGeometry g = geometry();
    const ViewStart top{0, 0};
    EXPECT_FALSE(rowUnder(100, 39, top, g, 3));  // on the header's last line
    EXPECT_EQ(rowUnder(100, 40, top, g, 3).value_or(99), 0u);
    EXPECT_FALSE(rowUnder(49, 40, top, g, 3));  // in the time margin
    EXPECT_EQ(rowUnder(50, 40, top, g, 3).value_or(99), 0u);
    EXPECT_EQ(rowUnder(100, 39 + 3 * 58 - 1, top, g, 3).value_or(99), 2u);
    EXPECT_FALSE(rowUnder(100, 39 + 3 * 58, top, g, 3));  // below the last row
    // Scrolled down ten rows: the same point is ten rows further, and the header stays.
    EXPECT_EQ(rowUnder(100, 40, ViewStart{10, 0}, g, 100).value_or(99), 10u);
    EXPECT_FALSE(rowUnder(100, 20, ViewStart{10, 0}, g, 100));
    // Scrolled two steps sideways: the time margin stays, the rows run on under it.
    EXPECT_EQ(rowUnder(60, 100, ViewStart{0, 2}, g, 3).value_or(99), 1u);
    EXPECT_FALSE(rowUnder(0, 100, ViewStart{0, 2}, g, 3));

    EXPECT_TRUE(hitsArrow(110, top, 110, 350));
    EXPECT_TRUE(hitsArrow(350, top, 110, 350));
    EXPECT_FALSE(hitsArrow(351, top, 110, 350));
    EXPECT_FALSE(hitsArrow(109, top, 110, 350));
    EXPECT_TRUE(hitsArrow(350, top, 350, 110));  // right to left alike
    EXPECT_TRUE(hitsArrow(230, top, 230, 230));  // a loop only on its lifeline
    EXPECT_FALSE(hitsArrow(231, top, 230, 230));
    EXPECT_TRUE(hitsArrow(230, ViewStart{0, 1}, 290, 290));

    EXPECT_EQ(headerColumnUnder(50, 10, top, g, 3).value_or(99), 0u);
    EXPECT_EQ(headerColumnUnder(50 + 120, 39, top, g, 3).value_or(99), 1u);
    EXPECT_FALSE(headerColumnUnder(60, 40, top, g, 3));        // below the header
    EXPECT_FALSE(headerColumnUnder(49, 10, top, g, 3));        // in the margin
    EXPECT_FALSE(headerColumnUnder(50 + 360, 10, top, g, 3));  // right of the columns
    // The header stays in view over scrolled rows; scrolled sideways, the columns move.
    EXPECT_EQ(headerColumnUnder(60, 10, ViewStart{1, 0}, g, 3).value_or(99), 0u);
    EXPECT_EQ(headerColumnUnder(60, 10, ViewStart{0, 2}, g, 3).value_or(99), 1u);
    EXPECT_FALSE(headerColumnUnder(40, 10, ViewStart{0, 2}, g, 3));  // the margin stays
}

TEST(DiagramGeometry, KeepingTheSelectionInView) {
    DiagramGeometry g = geometry();
    // 600 pixels: rows 0 to (600 - 39) / 58 = 9 are in view at the top.
    EXPECT_FALSE(viewToShow(9, 0, ViewStart{0, 0}, g, 800, 600));
    EXPECT_EQ(viewToShow(10, 0, ViewStart{0, 0}, g, 800, 600)->row, 10);
    // Scrolled to 20: rows 20 to 29 under the header, which stays over row 19.
    EXPECT_FALSE(viewToShow(20, 0, ViewStart{20, 0}, g, 800, 600));
    EXPECT_FALSE(viewToShow(29, 0, ViewStart{20, 0}, g, 800, 600));
    EXPECT_EQ(viewToShow(19, 0, ViewStart{20, 0}, g, 800, 600)->row, 19);
    EXPECT_EQ(viewToShow(30, 0, ViewStart{20, 0}, g, 800, 600)->row, 30);
    // Columns 120 wide, 800 / 120 = 6 in view: column 7 scrolls to its left edge, 14 steps.
    std::optional<ViewStart> sideways = viewToShow(0, 7, ViewStart{0, 0}, g, 800, 600);
    ASSERT_TRUE(sideways);
    EXPECT_EQ(sideways->row, 0);
    EXPECT_EQ(sideways->step, 14);
    EXPECT_FALSE(viewToShow(0, 8, ViewStart{0, 14}, g, 800, 600));
    EXPECT_EQ(viewToShow(0, 3, ViewStart{0, 14}, g, 800, 600)->step, 6);
}

TEST(DiagramGeometry, FittingTexts) {
    // Seven pixels a character.
    auto measure = [](const std::wstring& text) { return static_cast<int>(text.size()) * 7; };
    EXPECT_EQ(fitText(L"INVITE", 42, measure), L"INVITE");
    EXPECT_EQ(fitText(L"INVITE", 41, measure), L"IN...");
    EXPECT_EQ(fitText(L"INVITE", 21, measure), L"...");
    EXPECT_EQ(fitText(L"INVITE", 20, measure), L"");
    EXPECT_EQ(fitText(L"", 0, measure), L"");
    // A label of any length: still the longest beginning that fits.
    std::wstring huge(100000, L'x');
    EXPECT_EQ(fitText(huge, 700, measure), std::wstring(97, L'x') + L"...");
}

TEST(TimeBarLayout, RowHeightsTicksAndTheVisibleBar) {
    std::vector<int64_t> times = {0, 1000000, 2000000};
    TimeBarLayout layout(times.size(), [&times](size_t row) { return times[row]; });
    EXPECT_EQ(layout.rowY(0, 100).value_or(-9), 0);
    EXPECT_EQ(layout.rowY(1, 100).value_or(-9), 50);
    EXPECT_EQ(layout.rowY(2, 100).value_or(-9), 100);
    EXPECT_EQ(layout.rowY(7, 100).value_or(-9), 100);  // beyond the last counts as the last
    EXPECT_FALSE(layout.rowY(-1, 100));
    std::vector<TimeBarLayout::Tick> ticks = layout.ticks(16, 100);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[1].y, 50);
    EXPECT_EQ(ticks[1].length, 2);  // (16 - 4) / 6
    std::optional<TimeBarLayout::Bar> bar = layout.visibleBar(1, 1, 100);
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->y, 49);
    EXPECT_EQ(bar->height, 52);
    EXPECT_FALSE(layout.visibleBar(1, 0, 100));

    // Ten messages within one pixel row make one tick, growing by L up to the width less 4.
    std::vector<int64_t> burst = {0};
    for (int i = 0; i < 10; ++i) burst.push_back(500000 + i);
    burst.push_back(1000000);
    TimeBarLayout bursty(burst.size(), [&burst](size_t row) { return burst[row]; });
    std::vector<TimeBarLayout::Tick> grown = bursty.ticks(40, 100);
    ASSERT_EQ(grown.size(), 3u);
    EXPECT_EQ(grown[1].y, 50);
    EXPECT_EQ(grown[1].length, 36);                   // ten times 6, at most 40 - 4
    EXPECT_EQ(bursty.ticks(100, 100)[1].length, 96);  // 10 x 16 capped at 96

    // Everything at one instant, or one row: no position, no tick, no bar.
    TimeBarLayout still(4, [](size_t) { return int64_t{5}; });
    EXPECT_FALSE(still.rowY(0, 100));
    EXPECT_TRUE(still.ticks(16, 100).empty());
    EXPECT_FALSE(still.visibleBar(0, 3, 100));
    EXPECT_TRUE(TimeBarLayout(0, nullptr).ticks(16, 100).empty());

    EXPECT_EQ(TimeBarLayout::visibleRange(0, 10), (std::pair<int64_t, int64_t>{0, 9}));
    EXPECT_EQ(TimeBarLayout::visibleRange(5, 10), (std::pair<int64_t, int64_t>{4, 10}));
}
