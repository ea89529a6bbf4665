#include "interned_texts.h"

#include <functional>

namespace varlowe {

namespace {
uint32_t hashOf(std::string_view text) {
    const uint64_t h = std::hash<std::string_view>()(text) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(h >> 32);
}
}  // namespace

size_t InternedTexts::slotOf(std::string_view text, uint32_t& hash) const {
    hash = hashOf(text);
    for (size_t slot = hash & mask_;; slot = (slot + 1) & mask_) {
        const Slot& s = slots_[slot];
        if (s.id == kNone || (s.hash == hash && this->text(s.id) == text)) {
            return slot;
        }
    }
}

uint32_t InternedTexts::find(std::string_view text) const {
    if (slots_.empty()) {
        return kNone;
    }
    uint32_t hash = 0;
    return slots_[slotOf(text, hash)].id;
}

uint32_t InternedTexts::intern(std::string_view text) {
    if ((size() + 1) * 4 > slots_.size() * 3) {  // at most three quarters full
        grow();
    }
    uint32_t hash = 0;
    Slot& slot = slots_[slotOf(text, hash)];
    if (slot.id == kNone) {
        slot.hash = hash;
        slot.id = static_cast<uint32_t>(size());
        texts_.push_back(bytes_.keep(text));
    }
    return slot.id;
}

void InternedTexts::grow() {
    std::vector<Slot> old = std::move(slots_);
    const size_t capacity = old.empty() ? 64 : old.size() * 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (const Slot& moved : old) {
        if (moved.id == kNone) {
            continue;
        }
        size_t slot = moved.hash & mask_;
        while (slots_[slot].id != kNone) {
            slot = (slot + 1) & mask_;
        }
        slots_[slot] = moved;
    }
}

void KeyedItemLists::add(uint32_t key, uint32_t item) {
    if (key >= heads_.size()) {
        heads_.resize(key + 1);
    }
    Head& list = heads_[key];
    const uint32_t link = static_cast<uint32_t>(links_.size());
    links_.push_back(Link{item, kEnd});
    if (list.tail == kEnd) {
        list.head = link;
    } else {
        links_[list.tail].next = link;
    }
    list.tail = link;
}

}  // namespace varlowe
