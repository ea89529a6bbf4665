#include "command_line.h"

#include <string>

#include "engine/product_info.h"

namespace varlowe {

const char* const kDesktopUsage =
    "Usage: varlowe [OPTIONS] [CAPTURE...]\n"
    "\n"
    "Opens each capture (libpcap or pcapng) in a window of its own: the call-flow ladder,\n"
    "the filter tree and the calls list, the selection lists and the info panel.\n"
    "\n"
    "Options:\n"
    "  --export-image OUT  write the ladder of the one capture given as a PNG or SVG image\n"
    "                      (by OUT's extension) and end, without opening a window\n"
    "  --call-id ID        with --export-image: only the session of that Call-ID\n"
    "                      (repeatable)\n"
    "  -h, --help          show this text\n"
    "  --version           show the version\n"
    "\n"
    "Without a display, varlowe-cli reads captures as text (varlowe-cli --help).\n";

std::optional<int> answerWithoutDisplay(int argc, const char* const* argv, std::FILE* out) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") {
            break;  // what follows is file names
        }
        if (argument == "--help" || argument == "-h") {
            std::fputs(kDesktopUsage, out);
            return 0;
        }
        if (argument == "--version") {
            std::fprintf(out, "varlowe %s\n", kProductVersion);
            return 0;
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
