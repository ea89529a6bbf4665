#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace varlowe {

// A hash map from 64-bit keys to values in two flat arrays (open addressing, linear probing),
// for lookups on every packet: a probe touches one contiguous run of keys instead of a chain
// of separately allocated nodes. The key ~0 is reserved.
template <typename Value>
class FlatKeyMap {
  public:
    static constexpr uint64_t kEmpty = ~uint64_t{0};

    const Value* find(uint64_t key) const {
        if (keys_.empty()) {
            return nullptr;
        }
        for (size_t slot = slotOf(key);; slot = (slot + 1) & mask_) {
            if (keys_[slot] == key) {
                return &values_[slot];
            }
            if (keys_[slot] == kEmpty) {
                return nullptr;
            }
        }
    }

    // The value of the key, created empty when absent.
    Value& operator[](uint64_t key) {
        if ((size_ + 1) * 4 > keys_.size() * 3) {  // at most three quarters full
            grow();
        }
        size_t slot = slotOf(key);
        while (keys_[slot] != key && keys_[slot] != kEmpty) {
            slot = (slot + 1) & mask_;
        }
        if (keys_[slot] == kEmpty) {
            keys_[slot] = key;
            ++size_;
        }
        return values_[slot];
    }

    void clear() {
        keys_.clear();
        values_.clear();
        size_ = 0;
        mask_ = 0;
    }
    size_t size() const { return size_; }

  private:
    size_t slotOf(uint64_t key) const {
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 17) & mask_;
    }

    void grow() {
        std::vector<uint64_t> oldKeys = std::move(keys_);
        std::vector<Value> oldValues = std::move(values_);
        size_t capacity = oldKeys.empty() ? 64 : oldKeys.size() * 2;
        keys_.assign(capacity, kEmpty);
        values_.clear();
        values_.resize(capacity);
        mask_ = capacity - 1;
        size_ = 0;
        for (size_t i = 0; i < oldKeys.size(); ++i) {
            if (oldKeys[i] != kEmpty) {
                (*this)[oldKeys[i]] = std::move(oldValues[i]);
            }
        }
    }

    std::vector<uint64_t> keys_;
    std::vector<Value> values_;
    size_t size_ = 0;
    size_t mask_ = 0;
};

}  // namespace varlowe
