#include "time_bar_layout.h"

#include <algorithm>

namespace varlowe {

std::optional<int> TimeBarLayout::rowY(int64_t row, int height) const {
    if (rows_ == 0 || row < 0) {
        return std::nullopt;
    }
    const size_t n = std::min(static_cast<size_t>(row), rows_ - 1);
    const int64_t first = timeOf_(0);
    const int64_t span = timeOf_(rows_ - 1) - first;
    if (span <= 0) {
        return std::nullopt;
    }
    // 128-bit-free: a height of at most a few thousand pixels times a span of at most 2^63
    // would overflow, so divide first where the span is large.
    const int64_t offset = timeOf_(n) - first;
    const long double y = static_cast<long double>(height) * offset / span;
    return static_cast<int>(y);
}

std::vector<TimeBarLayout::Tick> TimeBarLayout::ticks(int width, int height) const {
    std::vector<Tick> out;
    const int base = (width - 4) / 6;
    const int longest = width - 4;
    std::optional<int> previous;
    for (size_t row = 0; row < rows_; ++row) {
        std::optional<int> y = rowY(static_cast<int64_t>(row), height);
        if (!y) {
            previous.reset();
            continue;
        }
        if (previous && *previous == *y && !out.empty()) {
            out.back().length = std::min(out.back().length + base, longest);
        } else {
            out.push_back(Tick{*y, std::min(base, longest)});
        }
        previous = y;
    }
    return out;
}

std::optional<TimeBarLayout::Bar> TimeBarLayout::visibleBar(int64_t first, int64_t count,
                                                            int height) const {
    if (count <= 0) {
        return std::nullopt;
    }
    std::optional<int> top = rowY(first, height);
    std::optional<int> bottom = rowY(first + count, height);
    if (!top || !bottom) {
        return std::nullopt;
    }
    return Bar{*top - 1, *bottom - *top + 2};
}

}  // namespace varlowe
