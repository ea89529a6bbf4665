#include "charts_layout/line_graph_layout.h"

#include <gtest/gtest.h>

#include "engine/media/rtp_statistics.h"

namespace varlowe {
namespace {

using line_graph::Layout;

SampleSeries seriesOf(int count, int32_t low, int32_t high) {
    SampleSeries series("s");
    for (int i = 0; i < count; ++i) {
        series.append(i == 0 ? low : high);
    }
    return series;
}

line_graph::Metrics metrics(int width, int height) {
    line_graph::Metrics m;
    m.clientWidth = width;
    m.clientHeight = height;
    m.textHeight = 14;
    m.digitsWidth = 76;  // 76 / 11 + 1 = 7 pixels per digit
    return m;
}

TEST(LineGraphLayout, RoundsToTwoSignificantDigitsAwayFromZero) {
    EXPECT_EQ(line_graph::roundTwoSignificant(1234), 1300);
    EXPECT_EQ(line_graph::roundTwoSignificant(1200), 1200);
    EXPECT_EQ(line_graph::roundTwoSignificant(-57), -57);
    EXPECT_EQ(line_graph::roundTwoSignificant(99), 99);
    EXPECT_EQ(line_graph::roundTwoSignificant(101), 110);
    EXPECT_EQ(line_graph::roundTwoSignificant(1950), 2000);
    EXPECT_EQ(line_graph::roundTwoSignificant(9999), 10000);
    EXPECT_EQ(line_graph::roundTwoSignificant(-1234), -1300);
    EXPECT_EQ(line_graph::roundTwoSignificant(0), 0);
    EXPECT_EQ(line_graph::roundTwoSignificant(2147483647), 2200000000LL);
}

// The margins are those of the fonts drawn in them: the title's above, the tick labels' and
// the x-axis label's below, the y-axis label's on the left.
TEST(LineGraphLayout, EachMarginIsSizedFromTheFontDrawnInIt) {
    SampleSeries series = seriesOf(50, 0, 999);
    line_graph::Metrics m = metrics(600, 300);
    const Layout same = line_graph::computeLayout(m, {&series});
    EXPECT_EQ(same.plot.y, 14 + 6);
    EXPECT_EQ(same.plot.y + same.plot.height, 300 - (2 * 14 + 6));
    m.labelHeight = 20;
    m.titleHeight = 24;
    const Layout sized = line_graph::computeLayout(m, {&series});
    EXPECT_EQ(sized.plot.y, 24 + 6);
    EXPECT_EQ(sized.plot.y + sized.plot.height, 300 - (14 + 20 + 6));
    EXPECT_EQ(sized.plot.x, same.plot.x + 6);
}

TEST(LineGraphLayout, TooSmallAnAreaOrTooFewSamplesShowAMessage) {
    SampleSeries five = seriesOf(5, 0, 10);
    SampleSeries four = seriesOf(4, 0, 10);
    EXPECT_EQ(line_graph::computeLayout(metrics(149, 300), {&five}).message,
              Layout::Message::AreaTooSmall);
    EXPECT_EQ(line_graph::computeLayout(metrics(300, 99), {&five}).message,
              Layout::Message::AreaTooSmall);
    EXPECT_EQ(line_graph::computeLayout(metrics(150, 100), {&five}).message, Layout::Message::None);
    EXPECT_EQ(line_graph::computeLayout(metrics(600, 300), {&four}).message,
              Layout::Message::NotEnoughSamples);
    // The longest series counts.
    EXPECT_EQ(line_graph::computeLayout(metrics(600, 300), {&four, &five}).message,
              Layout::Message::None);
    EXPECT_EQ(line_graph::computeLayout(metrics(600, 300), {}).message,
              Layout::Message::NotEnoughSamples);
    EXPECT_STREQ(Layout::messageText(Layout::Message::AreaTooSmall), "Area too small");
    EXPECT_STREQ(Layout::messageText(Layout::Message::NotEnoughSamples), "Not enough samples");
    // Hovering a message finds no sample.
    EXPECT_EQ(line_graph::hoverIndex(line_graph::computeLayout(metrics(149, 300), {&five}), 50, 50),
              -1);
}

TEST(LineGraphLayout, ManySamplesScrollSidewaysAndNarrowWindowsDropTheLegend) {
    SampleSeries thousand = seriesOf(1000, 0, 500);
    Layout wide = line_graph::computeLayout(metrics(600, 300), {&thousand});
    EXPECT_EQ(wide.virtualWidth, 1044);
    EXPECT_EQ(wide.scrollUnit, 75);
    EXPECT_TRUE(wide.legendShown);
    EXPECT_EQ(wide.legendWidth, 150);

    // 1044 pixels fit exactly: no scrolling.
    Layout fits = line_graph::computeLayout(metrics(1044, 300), {&thousand});
    EXPECT_EQ(fits.virtualWidth, 1044);
    EXPECT_EQ(fits.scrollUnit, 0);

    Layout narrow = line_graph::computeLayout(metrics(399, 300), {&thousand});
    EXPECT_FALSE(narrow.legendShown);
    EXPECT_EQ(narrow.legendWidth, 25);

    // Scrolling: the axis margin and the legend stay at the window's edges, the plot runs
    // under them; a plot that fits has no fixed strips.
    const line_graph::FixedStrips strips = line_graph::fixedStrips(wide, 600);
    EXPECT_EQ(strips.left, wide.plot.x);
    EXPECT_EQ(strips.right, 1044 - wide.plot.x - wide.plot.width);
    EXPECT_GE(strips.right, 150);
    EXPECT_FALSE(line_graph::onScrolledPlot(wide, 600, strips.left - 1));
    EXPECT_TRUE(line_graph::onScrolledPlot(wide, 600, strips.left));
    EXPECT_TRUE(line_graph::onScrolledPlot(wide, 600, 600 - strips.right - 1));
    EXPECT_FALSE(line_graph::onScrolledPlot(wide, 600, 600 - strips.right));
    EXPECT_EQ(line_graph::fixedStrips(fits, 1044).left, 0);
    EXPECT_EQ(line_graph::fixedStrips(fits, 1044).right, 0);
    EXPECT_TRUE(line_graph::onScrolledPlot(fits, 1044, 0));
    // A window too narrow for both strips and some plot scrolls the whole bitmap.
    const line_graph::FixedStrips roomy = line_graph::fixedStrips(narrow, 399);
    ASSERT_GT(roomy.left, 0);
    EXPECT_EQ(line_graph::fixedStrips(narrow, roomy.left + roomy.right + 1).left, roomy.left);
    EXPECT_EQ(line_graph::fixedStrips(narrow, roomy.left + roomy.right).left, 0);
}

TEST(LineGraphLayout, PositiveValuesStartAtZeroOnARoundedRange) {
    // 100 samples from 10 to 1234 in 600 x 284 pixels.
    SampleSeries series = seriesOf(100, 10, 1234);
    Layout layout = line_graph::computeLayout(metrics(600, 284), {&series});
    ASSERT_EQ(layout.message, Layout::Message::None);
    EXPECT_EQ(layout.minimum, 0);
    EXPECT_EQ(layout.maximum, 1300);
    EXPECT_EQ(layout.digits, 4);
    // left = 14 + 7 x (4 + 1); top = 14 + 6; width = 600 - 150 - 49; height = 284 - 34 - 20
    EXPECT_EQ(layout.plot.x, 49);
    EXPECT_EQ(layout.plot.y, 20);
    EXPECT_EQ(layout.plot.width, 401);
    EXPECT_EQ(layout.plot.height, 230);
    EXPECT_DOUBLE_EQ(layout.pixelsPerSample, 4.01);

    // 230 / 15 = 15 slots, a step of 1300 / 13 = 100, zero at the bottom.
    ASSERT_TRUE(layout.scaled);
    EXPECT_EQ(layout.slots, 15);
    EXPECT_DOUBLE_EQ(layout.step, 100);
    EXPECT_EQ(layout.axisBottom, 0);
    EXPECT_EQ(layout.axisTop, 1300);
    ASSERT_EQ(layout.valueTicks.size(), 14u);  // 0 .. 1300; 1400 lies above the top
    EXPECT_EQ(layout.valueTicks.front().value, 0);
    EXPECT_EQ(layout.valueTicks.front().position, 250);
    EXPECT_EQ(layout.valueTicks[1].position, 232);  // 20 + trunc(230 - 17.69)
    EXPECT_EQ(layout.valueTicks.back().value, 1300);
    EXPECT_EQ(layout.valueTicks.back().position, 20);

    // 60 / 4.01 = 14 samples per tick: 0, 14, ..., 98.
    ASSERT_EQ(layout.indexTicks.size(), 8u);
    EXPECT_EQ(layout.indexTicks[1].value, 14);
    EXPECT_EQ(layout.indexTicks.back().value, 98);
    EXPECT_EQ(layout.indexTicks.back().position, 441);  // 49 + trunc(392.98)

    // Sample 10 of value 1000: x 49 + trunc(40.1), y 20 + 230 - 176.92.
    line_graph::Point p = line_graph::samplePoint(layout, 10, 1000);
    EXPECT_EQ(p.x, 89);
    EXPECT_EQ(p.y, 73);
    EXPECT_EQ(line_graph::samplePoint(layout, 0, 0).y, 250);
}

TEST(LineGraphLayout, NegativeValuesPutZeroOnATickAboveTheBottom) {
    SampleSeries series = seriesOf(50, -57, 40);
    Layout layout = line_graph::computeLayout(metrics(600, 284), {&series});
    ASSERT_TRUE(layout.scaled);
    EXPECT_EQ(layout.minimum, -57);
    EXPECT_EQ(layout.maximum, 40);
    EXPECT_EQ(layout.digits, 3);   // "97" and a sign
    EXPECT_EQ(layout.plot.x, 42);  // 14 + 7 x 4
    // step 97 / 13 = 7.46; k = 57 / 7.46 = 7.6 -> 8; bottom -trunc(59.69), top trunc(6 x 7.46)
    EXPECT_EQ(layout.axisBottom, -59);
    EXPECT_EQ(layout.axisTop, 44);
    ASSERT_EQ(layout.valueTicks.size(), 14u);
    EXPECT_EQ(layout.valueTicks.front().value, -59);
    EXPECT_EQ(layout.valueTicks[8].value, 0);
    EXPECT_EQ(layout.valueTicks[12].value, 30);
}

TEST(LineGraphLayout, FlatZeroSeriesAndLowPlotsGetNoScale) {
    SampleSeries zero = seriesOf(10, 0, 0);
    EXPECT_FALSE(line_graph::computeLayout(metrics(600, 284), {&zero}).scaled);
    // 150 x 100: the plot is 46 pixels high, 3 slots.
    SampleSeries series = seriesOf(10, 0, 90);
    Layout low = line_graph::computeLayout(metrics(150, 100), {&series});
    EXPECT_EQ(low.plot.height, 46);
    EXPECT_EQ(low.slots, 3);
    EXPECT_TRUE(low.scaled);
}

TEST(LineGraphLayout, HoverIndexChangesOncePerSampleInsideThePlot) {
    SampleSeries series = seriesOf(100, 10, 1234);
    Layout layout = line_graph::computeLayout(metrics(600, 284), {&series});
    // (x + 1 - 49 + 2.005) / 4.01: sample 10 begins at x = 87.
    EXPECT_EQ(line_graph::hoverIndex(layout, 86, 100), 9);
    EXPECT_EQ(line_graph::hoverIndex(layout, 87, 100), 10);
    EXPECT_EQ(line_graph::hoverIndex(layout, 89, 100), 10);
    EXPECT_EQ(line_graph::hoverIndex(layout, 49, 100), 0);
    EXPECT_EQ(line_graph::hoverIndex(layout, 48, 100), -1);   // left of the plot
    EXPECT_EQ(line_graph::hoverIndex(layout, 100, 19), -1);   // above it
    EXPECT_EQ(line_graph::hoverIndex(layout, 100, 250), -1);  // on the axis below it
    EXPECT_EQ(line_graph::hoverIndex(layout, 450, 100), -1);  // in the legend

    int changes = 0;
    int last = line_graph::hoverIndex(layout, 49, 100);
    for (int x = 50; x < 49 + 401; ++x) {
        const int index = line_graph::hoverIndex(layout, x, 100);
        EXPECT_GE(index, last);
        EXPECT_LE(index, last + 1);
        changes += index != last;
        last = index;
    }
    EXPECT_EQ(changes, 100);
}

TEST(LineGraphLayout, CalloutsSitBesideTheirPointAndStayInsideTheLimit) {
    const line_graph::Rect limit{0, 0, 200, 100};
    line_graph::CalloutPlacement rightAbove;
    line_graph::Rect box =
        line_graph::calloutRect({100, 100}, 30, 14, rightAbove, {0, 0, 400, 400});
    EXPECT_EQ(box.x, 105);
    EXPECT_EQ(box.y, 75);
    EXPECT_EQ(box.width, 40);
    EXPECT_EQ(box.height, 20);

    line_graph::CalloutPlacement leftAbove;
    leftAbove.horizontal = line_graph::Horizontal::Left;
    EXPECT_EQ(line_graph::calloutRect({100, 100}, 30, 14, leftAbove, {0, 0, 400, 400}).x, 55);
    box = line_graph::calloutRect({2, 10}, 30, 14, leftAbove, limit);
    EXPECT_EQ(box.x, 0);
    EXPECT_EQ(box.y, 0);

    line_graph::CalloutPlacement rightBelow;
    rightBelow.vertical = line_graph::Vertical::Below;
    box = line_graph::calloutRect({195, 98}, 30, 14, rightBelow, limit);
    EXPECT_EQ(box.x, 160);
    EXPECT_EQ(box.y, 80);

    line_graph::CalloutPlacement centred;
    centred.horizontal = line_graph::Horizontal::Centre;
    centred.vertical = line_graph::Vertical::Centre;
    box = line_graph::calloutRect({100, 50}, 30, 14, centred, limit);
    EXPECT_EQ(box.x, 80);
    EXPECT_EQ(box.y, 40);
}

TEST(LineGraphLayout, FitTextShortensFromTheEndWithAnEllipsis) {
    auto sevenPerCharacter = [](const std::string& text) {
        int characters = 0;
        for (unsigned char c : text) {
            characters += (c & 0xC0) != 0x80;
        }
        return characters * 7;
    };
    EXPECT_EQ(line_graph::fitText("Bandwidth Usage", 105, "...", sevenPerCharacter),
              "Bandwidth Usage");
    EXPECT_EQ(line_graph::fitText("Bandwidth Usage", 50, "...", sevenPerCharacter), "Band...");
    EXPECT_EQ(line_graph::fitText("Bandwidth Usage", 21, "...", sevenPerCharacter), "...");
    EXPECT_EQ(line_graph::fitText("Bandwidth Usage", 20, "...", sevenPerCharacter), "");
    // A character of two bytes goes whole.
    EXPECT_EQ(line_graph::fitText("Gr\xC3\xB6\xC3\x9F"
                                  "ere",
                                  42, "...", sevenPerCharacter),
              "Gr\xC3\xB6...");
}

// A reordered stream's transit figures reach the 32-bit limits; rounded outward, the axis
// passes them and its labels must not wrap round to the other sign.
TEST(LineGraphLayout, TicksBeyondThirtyTwoBitsKeepTheirSign) {
    SampleSeries series = seriesOf(50, -2147483647 - 1, 2147483647);
    Layout layout = line_graph::computeLayout(metrics(600, 284), {&series});
    ASSERT_TRUE(layout.scaled);
    EXPECT_EQ(layout.maximum, 2200000000);
    ASSERT_FALSE(layout.valueTicks.empty());
    EXPECT_NE(line_graph::valueText(layout.valueTicks.back().value, 1).front(), '-');
    EXPECT_EQ(line_graph::valueText(layout.valueTicks.front().value, 1).front(), '-');
    EXPECT_EQ(line_graph::valueText(2200000000, 1), "2200000000");
    EXPECT_EQ(line_graph::valueText(-45000, 1000), "-45");
}

}  // namespace
}  // namespace varlowe
