#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace varlowe {

// A growing array kept in chunks of about 64 KB: growth never copies what is there nor holds
// twice the room for a moment, and an element stays where it is while more are added.
template <typename T>
class ChunkedVector {
  public:
    static constexpr size_t kChunk = [] {
        size_t count = 16;
        while (count * 2 * sizeof(T) <= 65536) {
            count *= 2;
        }
        return count;
    }();

    // A new default element at the end.
    T& emplace_back() {
        if (size_ == chunks_.size() * kChunk) {
            chunks_.push_back(std::make_unique<T[]>(kChunk));
        }
        return (*this)[size_++];
    }
    void push_back(T value) { emplace_back() = std::move(value); }

    T& operator[](size_t i) { return chunks_[i / kChunk][i % kChunk]; }
    const T& operator[](size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
    T& back() { return (*this)[size_ - 1]; }
    const T& back() const { return (*this)[size_ - 1]; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Empties it and gives its memory back.
    void clear() {
        chunks_.clear();
        chunks_.shrink_to_fit();
        size_ = 0;
    }

  private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    size_t size_ = 0;
};

}  // namespace varlowe
