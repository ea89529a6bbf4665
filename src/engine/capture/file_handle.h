#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace varlowe {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open C stream, closed when the handle goes.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

inline FileHandle openFile(const std::string& path, const char* mode) {
    return FileHandle(std::fopen(path.c_str(), mode));
}

// Closes a stream that was written to; false when a write or the close failed, so that a
// full disk never passes for a finished file.
inline bool closeWritten(FileHandle& file) {
    std::FILE* stream = file.release();
    bool written = std::ferror(stream) == 0;
    return std::fclose(stream) == 0 && written;
}

}  // namespace varlowe
