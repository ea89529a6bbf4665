#include "buffered_file.h"

#include <algorithm>
#include <cstring>

namespace varlowe {

namespace {
bool seekTo(std::FILE* file, uint64_t offset) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}
}  // namespace

BufferedFile::BufferedFile() = default;
BufferedFile::~BufferedFile() = default;

bool BufferedFile::open(const std::string& path) {
    close();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    fileHolder_.reset(file);
    std::setvbuf(file, nullptr, _IONBF, 0);  // our own buffer does the buffering
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) != 0) {
        close();
        return false;
    }
    __int64 end = _ftelli64(file);
#else
    if (fseeko(file, 0, SEEK_END) != 0) {
        close();
        return false;
    }
    off_t end = ftello(file);
#endif
    if (end < 0 || !seekTo(file, 0)) {
        close();
        return false;
    }
    file_ = file;
    size_ = static_cast<uint64_t>(end);
    // Small files need no large buffer (many readers are opened on short captures).
    buffer_.resize(
        static_cast<size_t>(std::min<uint64_t>(bufferSize_, std::max<uint64_t>(size_, 4096))));
    bufferStart_ = 0;
    filled_ = 0;
    cursor_ = 0;
    return true;
}

void BufferedFile::close() {
    fileHolder_.reset();
    file_ = nullptr;
    size_ = 0;
    bufferStart_ = 0;
    filled_ = 0;
    cursor_ = 0;
    std::vector<uint8_t>().swap(buffer_);
}

bool BufferedFile::refill() {
    if (file_ == nullptr) {
        return false;
    }
    bufferStart_ += cursor_;
    filled_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    cursor_ = 0;
    return filled_ > 0;
}

size_t BufferedFile::read(void* destination, size_t length) {
    auto* out = static_cast<uint8_t*>(destination);
    size_t copied = 0;
    while (copied < length) {
        if (cursor_ == filled_ && !refill()) {
            break;
        }
        size_t take = std::min(length - copied, filled_ - cursor_);
        std::memcpy(out + copied, buffer_.data() + cursor_, take);
        cursor_ += take;
        copied += take;
    }
    return copied;
}

const uint8_t* BufferedFile::view(size_t length, std::vector<uint8_t>& scratch) {
    if (file_ == nullptr || length > remaining()) {
        return nullptr;
    }
    if (length <= filled_ - cursor_) {
        const uint8_t* here = buffer_.data() + cursor_;
        cursor_ += length;
        return here;
    }
    scratch.resize(length);
    return read(scratch.data(), length) == length ? scratch.data() : nullptr;
}

bool BufferedFile::skip(uint64_t length) {
    if (file_ == nullptr) {
        return false;
    }
    if (length <= filled_ - cursor_) {
        cursor_ += static_cast<size_t>(length);
        return true;
    }
    return seek(position() + length);
}

bool BufferedFile::seek(uint64_t offset) {
    if (file_ == nullptr || offset > size_) {
        return false;
    }
    if (offset >= bufferStart_ && offset <= bufferStart_ + filled_) {
        cursor_ = static_cast<size_t>(offset - bufferStart_);
        return true;
    }
    if (!seekTo(file_, offset)) {
        return false;
    }
    bufferStart_ = offset;
    filled_ = 0;
    cursor_ = 0;
    return true;
}

}  // namespace varlowe
