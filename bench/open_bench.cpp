// open-bench CAPTURE: the desktop program's way from a capture to its painted diagram, in
// one process under a display: the main window, openCapture (the pass on its worker thread
// under the real progress dialog, the diagram window, the filter tree, the first rows) and
// the first paint. Prints the wall time, the parts, and the peak resident memory.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "desktop/filter_tree.h"
#include "desktop_session.h"
#include "output/text_export.h"
#include "settings/export_settings.h"

using namespace varlowe;

namespace {
// The resident memory now, in MiB.
double residentMiB() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: open-bench CAPTURE\n");
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    bench::DesktopSession session(argv, "open-bench");
    if (session.frame() == nullptr) {
        return 1;
    }
    const double before = residentMiB();
    const auto opening = Clock::now();
    SipDiagramFrame* window = session.open(argv[1]);
    if (window == nullptr) {
        return 1;
    }
    window->diagram()->Refresh();
    window->diagram()->Update();
    const auto painted = Clock::now();
    const auto treeStart = Clock::now();
    window->fillTree();
    const auto treeEnd = Clock::now();
    // The program's peak, read before the bench's own work below.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double>(b - a).count();
    };
    std::printf("rows %zu, tree calls %zu\n", window->diagram()->state().rowCount(),
                window->model()->callIdCount());
    std::printf("command line to first painted diagram  %.3f s\n", seconds(start, painted));
    std::printf("  openCapture to painted               %.3f s\n", seconds(opening, painted));
    std::printf("  filter tree fill                     %.3f s\n", seconds(treeStart, treeEnd));
    std::printf("peak memory                            %.1f MiB\n", usage.ru_maxrss / 1024.0);
    // File > Export writes the window's model as the tool's export does, without the pass.
    const auto exporting = Clock::now();
    const std::string exportPath = std::string(argv[1]) + ".open-bench-export.txt";
    const SaveOutcome exported =
        exportText(exportPath, *window->model(), textExportOptionsFromSettings());
    std::printf("File > Export                           %.3f s%s\n",
                seconds(exporting, Clock::now()),
                exported == SaveOutcome::Saved ? "" : " (failed)");
    std::remove(exportPath.c_str());
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory with the export            %.1f MiB\n", usage.ru_maxrss / 1024.0);
    const double open = residentMiB();
    // The tree's content alone, timed last and dropped at once: the bench's own allocation
    // stays out of the readings of the program's memory.
    const auto buildStart = Clock::now();
    const size_t builtCalls = buildFilterTree(*window->model(), false).children[0].children.size();
    std::printf("  of the tree fill, its content        %.3f s (%zu calls)\n",
                seconds(buildStart, Clock::now()), builtCalls);
    // Closing the window must give the capture's memory back.
    window->Close();
    while (!session.frame()->diagramWindows().empty()) {
        wxYield();
    }
    wxYield();
    std::printf("resident before open / open / closed  %.1f / %.1f / %.1f MiB\n", before, open,
                residentMiB());
    return 0;
}
