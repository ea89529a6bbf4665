#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sip/call_list.h"

namespace varlowe {

// What the calls list shows, without a window: the sessions of a capture, the rows a text
// filter leaves, in the order of a column (capture order at first).
class CallsTable {
  public:
    explicit CallsTable(std::vector<CallRow> calls = {});

    size_t callCount() const { return calls_.size(); }
    // The shown rows, after the filter and in the sort order.
    size_t size() const { return shown_.size(); }
    const CallRow& row(size_t shown) const { return calls_[shown_[shown]]; }
    std::string cell(size_t shown, CallColumn column) const { return callCell(row(shown), column); }

    // Sorts the shown rows (stable: equal values keep capture order); numbers by value.
    void sortBy(CallColumn column, bool ascending);
    // A click on a column's title: the same column again turns the order round.
    void sortByClick(CallColumn column);
    int sortColumn() const { return sortColumn_; }  // -1: capture order
    bool ascending() const { return ascending_; }

    // Keeps the rows with the text in one of their cells, any case; empty shows every row.
    void setFilter(std::string_view text);
    const std::string& filter() const { return filter_; }

    // Where the calls (by Call-ID) are shown now, ascending; the filtered-out ones left out.
    std::vector<size_t> shownIndexesOf(const std::vector<std::string>& callIds) const;
    // Every item of the given shown rows, ascending, each once.
    std::vector<ItemIndex> itemsOf(const std::vector<size_t>& shownRows) const;
    // The rows as lines of tab-separated cells, with the column titles first.
    std::string text(const std::vector<size_t>& shownRows) const;

  private:
    void order();

    std::vector<CallRow> calls_;
    std::vector<size_t> shown_;
    // Each call's cells lower-cased and joined, made when a filter is first set.
    std::vector<std::string> searchText_;
    std::string filter_;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

}  // namespace varlowe
