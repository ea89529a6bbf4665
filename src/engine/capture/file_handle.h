#pragma once

#include <cstdio>
#include <memory>

namespace varlowe {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open C stream, closed when the handle goes.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace varlowe
