#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chunked_vector.h"
#include "text_arena.h"

namespace varlowe {

// Texts that repeat across a capture (Call-IDs, URIs, branches, methods), each kept once and
// known by a small number given in order of first appearance. The texts lie in chunks that
// never move, and the table is probed in place, without a node per text.
class InternedTexts {
  public:
    static constexpr uint32_t kNone = ~uint32_t{0};

    // The text's number, given now when the text is new.
    uint32_t intern(std::string_view text);
    // The text's number, or kNone when it was never interned.
    uint32_t find(std::string_view text) const;
    // The text of a number below size(); the view stays valid for the table's life.
    std::string_view text(uint32_t id) const { return texts_[id]; }
    size_t size() const { return texts_.size(); }

  private:
    struct Slot {
        uint32_t hash = 0;
        uint32_t id = kNone;
    };
    size_t slotOf(std::string_view text, uint32_t& hash) const;
    void grow();

    TextArena bytes_;
    ChunkedVector<std::string_view> texts_;  // into bytes_
    std::vector<Slot> slots_;
    size_t mask_ = 0;
};

// Ascending lists of item numbers, one per key number, linked through one array: a key
// costs no allocation of its own, an entry eight bytes.
class KeyedItemLists {
  public:
    static constexpr uint32_t kEnd = ~uint32_t{0};

    void add(uint32_t key, uint32_t item);
    // Calls visit(item) for the key's items in order until it returns false.
    template <typename Visit>
    void forEach(uint32_t key, Visit visit) const {
        if (key >= heads_.size()) {
            return;
        }
        for (uint32_t link = heads_[key].head; link != kEnd; link = links_[link].next) {
            if (!visit(links_[link].item)) {
                return;
            }
        }
    }

  private:
    struct Head {
        uint32_t head = kEnd;
        uint32_t tail = kEnd;
    };
    struct Link {
        uint32_t item;
        uint32_t next;
    };
    std::vector<Head> heads_;
    ChunkedVector<Link> links_;
};

}  // namespace varlowe
