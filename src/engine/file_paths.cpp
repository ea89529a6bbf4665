#include "file_paths.h"

#include <filesystem>
#include <system_error>

namespace varlowe {

std::string normalPath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) {
        absolute = path;
    }
    std::string normal = absolute.lexically_normal().string();
    // "/a/b/" names the same as "/a/b" (but "/" stays "/").
    while (normal.size() > 1 && normal.back() == '/') {
        normal.pop_back();
    }
    return normal;
}

}  // namespace varlowe
