#pragma once

#include <string>

namespace varlowe {

// The path made absolute (from the working folder) and normal: no ".", "..", or repeated
// slashes, so that one file has one spelling. Symbolic links are left as they are.
std::string normalPath(const std::string& path);

}  // namespace varlowe
