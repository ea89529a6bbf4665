#pragma once

#include <cstddef>
#include <cstdint>

namespace varlowe {

// A bounds-checked cursor over received bytes. Every read checks what is left; a read past
// the end yields 0 and marks the reader failed, so a decoder can read a whole header and check
// once. Multi-byte values are in network order.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t length)
        : data_(data), length_(data == nullptr ? 0 : length) {}

    size_t size() const { return length_; }
    size_t position() const { return position_; }
    size_t remaining() const { return length_ - position_; }
    bool ok() const { return ok_; }
    bool has(size_t count) const { return count <= remaining(); }
    const uint8_t* current() const { return data_ + position_; }

    uint8_t u8() {
        if (!take(1)) {
            return 0;
        }
        return data_[position_ - 1];
    }
    uint16_t be16() {
        if (!take(2)) {
            return 0;
        }
        const uint8_t* p = data_ + position_ - 2;
        return static_cast<uint16_t>((p[0] << 8) | p[1]);
    }
    uint32_t be32() {
        if (!take(4)) {
            return 0;
        }
        const uint8_t* p = data_ + position_ - 4;
        return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
    }
    bool skip(size_t count) { return take(count); }
    bool seek(size_t offset) {
        if (offset > length_) {
            ok_ = false;
            return false;
        }
        position_ = offset;
        return true;
    }

  private:
    bool take(size_t count) {
        if (!ok_ || count > remaining()) {
            ok_ = false;
            return false;
        }
        position_ += count;
        return true;
    }

    const uint8_t* data_;
    size_t length_;
    size_t position_ = 0;
    bool ok_ = true;
};

}  // namespace varlowe
