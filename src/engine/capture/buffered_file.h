#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "file_handle.h"

namespace varlowe {

// A read-only file read through one large buffer: records and headers are taken from memory,
// and skips inside the buffer cost nothing. Offsets and sizes are 64-bit.
class BufferedFile {
  public:
    static constexpr size_t kBufferSize = 1 << 20;

    BufferedFile();
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // The buffer's size for the files opened after it (kBufferSize unless set).
    void setBufferSize(size_t bytes) { bufferSize_ = bytes; }
    // Opens for binary reading and measures the size; false when it cannot be opened.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return file_ != nullptr; }

    uint64_t size() const { return size_; }
    uint64_t position() const { return bufferStart_ + cursor_; }
    // Bytes between the position and the end of the file as measured at open.
    uint64_t remaining() const { return size_ > position() ? size_ - position() : 0; }

    // Copies up to `length` bytes; returns how many were copied (fewer only at end of file).
    size_t read(void* destination, size_t length);
    // The next `length` bytes, read past: in the buffer itself when they lie in it, else
    // copied into `scratch`. Valid until the next read, skip or seek; nullptr (nothing read)
    // when the file holds fewer.
    const uint8_t* view(size_t length, std::vector<uint8_t>& scratch);
    // Moves forward by `length` bytes; false when that passes the end of the file.
    bool skip(uint64_t length);
    // Positions at an absolute offset; false when it lies beyond the end of the file.
    bool seek(uint64_t offset);

  private:
    bool refill();

    FileHandle fileHolder_;
    std::FILE* file_ = nullptr;
    std::vector<uint8_t> buffer_;
    size_t bufferSize_ = kBufferSize;
    uint64_t size_ = 0;
    uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
    size_t filled_ = 0;
    size_t cursor_ = 0;
};

}  // namespace varlowe
