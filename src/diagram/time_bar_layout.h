#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace varlowe {

// The picture of the time bar, without any window: one tick per shown row at the height
// proportional to its time, longer where rows share a pixel row, and the bar that marks the
// rows the diagram shows.
class TimeBarLayout {
  public:
    // The packet time of a shown row in microseconds.
    using RowTime = std::function<int64_t(size_t row)>;

    TimeBarLayout(size_t rowCount, RowTime timeOf) : rows_(rowCount), timeOf_(std::move(timeOf)) {}

    // The height of a row in a strip `height` pixels high: the row's share of the span from
    // the first shown row's time to the last's. None without rows, for a negative row, or
    // when the span is not positive. Rows beyond the last count as the last.
    std::optional<int> rowY(int64_t row, int height) const;

    struct Tick {
        int y = 0;
        int length = 0;  // drawn leftwards from the strip's right edge
    };
    // The ticks of a width x height strip: one per run of consecutive rows that share a pixel
    // row, L = (width - 4) / 6 long per row of the run, at most width - 4.
    std::vector<Tick> ticks(int width, int height) const;

    struct Bar {
        int y = 0;
        int height = 0;
    };
    // The visible-range bar for `count` rows from `first`; none when count is not positive or
    // a row has no position.
    std::optional<Bar> visibleBar(int64_t first, int64_t count, int height) const;

    // What the strip keeps of the diagram's view: first row a - 1 (0 at the top), and b - 1
    // rows at the top, b elsewhere.
    static std::pair<int64_t, int64_t> visibleRange(int64_t viewStartRow, int64_t rowsFitting) {
        return {viewStartRow > 0 ? viewStartRow - 1 : 0,
                viewStartRow == 0 ? rowsFitting - 1 : rowsFitting};
    }

  private:
    size_t rows_;
    RowTime timeOf_;
};

}  // namespace varlowe
