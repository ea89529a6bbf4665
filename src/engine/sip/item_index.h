#pragma once

#include <cstddef>
#include <functional>
#include <ostream>

namespace varlowe {

// A position that cannot be mistaken for another kind of position: the fixed index of an
// item in the model and the row of an item among those shown are both small numbers, and
// swapping them draws or selects the wrong message without any error.
template <typename Tag>
struct Position {
    size_t value = 0;

    constexpr Position() = default;
    constexpr explicit Position(size_t v) : value(v) {}

    friend constexpr bool operator==(Position a, Position b) { return a.value == b.value; }
    friend constexpr bool operator!=(Position a, Position b) { return a.value != b.value; }
    friend constexpr bool operator<(Position a, Position b) { return a.value < b.value; }
    friend constexpr bool operator<=(Position a, Position b) { return a.value <= b.value; }
    friend constexpr bool operator>(Position a, Position b) { return a.value > b.value; }
    friend constexpr bool operator>=(Position a, Position b) { return a.value >= b.value; }
    friend std::ostream& operator<<(std::ostream& out, Position p) {
        return out << Tag::kPrefix << p.value;
    }
};

struct ItemIndexTag {
    static constexpr const char* kPrefix = "item ";
};
struct RowIndexTag {
    static constexpr const char* kPrefix = "row ";
};

// An item's fixed position in the model, in the order items were added.
using ItemIndex = Position<ItemIndexTag>;
// An item's position among the items currently shown (the model's visible list).
using RowIndex = Position<RowIndexTag>;

}  // namespace varlowe

template <typename Tag>
struct std::hash<varlowe::Position<Tag>> {
    size_t operator()(varlowe::Position<Tag> p) const { return std::hash<size_t>()(p.value); }
};
