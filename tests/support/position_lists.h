#pragma once

#include <initializer_list>
#include <vector>

#include "engine/sip/item_index.h"

// Lists of typed positions written as plain numbers, for expectations.
namespace varlowe::testsupport {

inline std::vector<ItemIndex> items(std::initializer_list<size_t> values) {
    std::vector<ItemIndex> out;
    for (size_t value : values) out.push_back(ItemIndex(value));
    return out;
}

inline std::vector<RowIndex> rows(std::initializer_list<size_t> values) {
    std::vector<RowIndex> out;
    for (size_t value : values) out.push_back(RowIndex(value));
    return out;
}

}  // namespace varlowe::testsupport
