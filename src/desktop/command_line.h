#pragma once

#include <cstdio>
#include <optional>

namespace varlowe {

// The desktop program's usage, as --help prints it.
extern const char* const kDesktopUsage;

// What `varlowe --help` and `varlowe --version` print, answered before the toolkit starts so
// that they work without a display; the exit status then, or none for every other command
// line (the toolkit's turn).
std::optional<int> answerWithoutDisplay(int argc, const char* const* argv, std::FILE* out);

}  // namespace varlowe
