#include "calls_table.h"

#include <algorithm>
#include <cctype>
#include <numeric>
#include <unordered_set>

namespace varlowe {

namespace {

std::string lowered(std::string_view text) {
    std::string low(text);
    for (char& c : low) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return low;
}

}  // namespace

CallsTable::CallsTable(std::vector<CallRow> calls) : calls_(std::move(calls)) {
    shown_.resize(calls_.size());
    std::iota(shown_.begin(), shown_.end(), size_t{0});
}

void CallsTable::sortBy(CallColumn column, bool ascending) {
    sortColumn_ = static_cast<int>(column);
    ascending_ = ascending;
    order();
}

void CallsTable::sortByClick(CallColumn column) {
    const bool again = sortColumn_ == static_cast<int>(column);
    sortBy(column, again ? !ascending_ : true);
}

void CallsTable::order() {
    // Capture order first, so that a stable sort keeps it among equal values.
    std::sort(shown_.begin(), shown_.end());
    if (sortColumn_ < 0) {
        return;
    }
    const auto column = static_cast<CallColumn>(sortColumn_);
    const bool up = ascending_;
    // One key per call, worked out once: a comparison must not format cells.
    if (callColumnIsNumber(column)) {
        std::vector<double> keys(calls_.size());
        for (size_t i : shown_) {
            keys[i] = callNumber(calls_[i], column);
        }
        std::stable_sort(shown_.begin(), shown_.end(), [&](size_t a, size_t b) {
            return up ? keys[a] < keys[b] : keys[b] < keys[a];
        });
        return;
    }
    std::vector<std::string> keys(calls_.size());
    for (size_t i : shown_) {
        keys[i] = lowered(callCell(calls_[i], column));
    }
    std::stable_sort(shown_.begin(), shown_.end(), [&](size_t a, size_t b) {
        return up ? keys[a] < keys[b] : keys[b] < keys[a];
    });
}

void CallsTable::setFilter(std::string_view text) {
    filter_ = lowered(text);
    shown_.clear();
    if (filter_.empty()) {
        shown_.resize(calls_.size());
        std::iota(shown_.begin(), shown_.end(), size_t{0});
    } else {
        if (searchText_.empty() && !calls_.empty()) {
            searchText_.reserve(calls_.size());
            for (const CallRow& call : calls_) {
                std::string joined;
                for (int column = 0; column < kCallColumnCount; ++column) {
                    joined += callCell(call, static_cast<CallColumn>(column));
                    joined += '\t';
                }
                searchText_.push_back(lowered(joined));
            }
        }
        for (size_t i = 0; i < calls_.size(); ++i) {
            if (searchText_[i].find(filter_) != std::string::npos) {
                shown_.push_back(i);
            }
        }
    }
    order();
}

std::vector<size_t> CallsTable::shownIndexesOf(const std::vector<std::string>& callIds) const {
    std::vector<size_t> found;
    if (callIds.empty()) {
        return found;
    }
    const std::unordered_set<std::string_view> wanted(callIds.begin(), callIds.end());
    for (size_t i = 0; i < shown_.size(); ++i) {
        if (wanted.count(calls_[shown_[i]].callId) > 0) {
            found.push_back(i);
        }
    }
    return found;
}

std::vector<ItemIndex> CallsTable::itemsOf(const std::vector<size_t>& shownRows) const {
    std::vector<ItemIndex> items;
    for (size_t shown : shownRows) {
        if (shown < shown_.size()) {
            const std::vector<ItemIndex>& own = row(shown).items;
            items.insert(items.end(), own.begin(), own.end());
        }
    }
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    return items;
}

std::string CallsTable::text(const std::vector<size_t>& shownRows) const {
    std::string lines;
    auto line = [&](auto cellOf) {
        for (int column = 0; column < kCallColumnCount; ++column) {
            if (column > 0) {
                lines += '\t';
            }
            lines += cellOf(static_cast<CallColumn>(column));
        }
        lines += '\n';
    };
    line([](CallColumn column) { return std::string(callColumnTitle(column)); });
    for (size_t shown : shownRows) {
        if (shown < shown_.size()) {
            line([&](CallColumn column) {
                std::string text = cell(shown, column);
                std::replace_if(
                    text.begin(), text.end(),
                    [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
                return text;
            });
        }
    }
    return lines;
}

}  // namespace varlowe
