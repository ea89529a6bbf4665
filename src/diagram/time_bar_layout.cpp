#include "time_bar_layout.h"

#include <algorithm>

namespace varlowe {

namespace {
// height x offset / span without overflow for any 64-bit span.
int share(int height, int64_t offset, int64_t span) {
    const __int128 product = static_cast<__int128>(height) * offset;
    return static_cast<int>(product / span);
}
}  // namespace

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
    return share(height, timeOf_(n) - first, span);
}

std::vector<TimeBarLayout::Tick> TimeBarLayout::ticks(int width, int height) const {
    std::vector<Tick> out;
    if (rows_ == 0) {
        return out;
    }
    const int64_t first = timeOf_(0);
    const int64_t span = timeOf_(rows_ - 1) - first;
    if (span <= 0) {
        return out;  // no row has a position
    }
    const int base = (width - 4) / 6;
    const int longest = width - 4;
    std::optional<int> previous;
    for (size_t row = 0; row < rows_; ++row) {
        const int y = share(height, timeOf_(row) - first, span);
        if (previous && *previous == y) {
            out.back().length = std::min(out.back().length + base, longest);
        } else {
            out.push_back(Tick{y, std::min(base, longest)});
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
