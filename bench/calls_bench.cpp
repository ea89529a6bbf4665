// calls-bench CAPTURE: the calls list and Find on a real diagram window under a display:
// filling the list from the model, sorting by each column, a filter text, a selected call's
// ladder, and Find over every message (the first search and a step to the next match).
#include <wx/srchctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "desktop_session.h"
#include "engine/sip/item_search.h"

using namespace varlowe;

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

template <typename Work>
double timed(Work work) {
    const auto start = Clock::now();
    work();
    wxYield();  // until the list or the ladder is painted
    return milliseconds(start, Clock::now());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: calls-bench CAPTURE\n");
        return 2;
    }
    bench::DesktopSession session(argv, "calls-bench");
    if (session.frame() == nullptr) {
        return 1;
    }
    AppSettings::setFrameShowCallsPane(true);
    SipDiagramFrame* window = session.open(argv[1]);
    if (window == nullptr) {
        return 1;
    }
    wxYield();
    CallsListPane* calls = window->callsPane();
    const double fill = timed([&] { calls->setModel(window->model()); });
    std::printf("calls %zu, rows %zu\n", calls->table().callCount(),
                window->diagram()->state().rowCount());
    std::printf("%-44s %8.1f ms\n", "fill the calls list", fill);
    double worstSort = 0;
    for (int column = 0; column < kCallColumnCount; ++column) {
        worstSort = std::max(worstSort, timed([&] { calls->sortByColumn(column); }));
    }
    std::printf("%-44s %8.1f ms\n", "sort by a column (the slowest of each once)", worstSort);
    calls->sortByColumn(static_cast<int>(CallColumn::Start));
    std::printf("%-44s %8.1f ms\n", "filter \"completed\" (the first, cells made)",
                timed([&] { calls->applyFilterText("completed"); }));
    std::printf("%-44s %8.1f ms\n", "filter \"2619\"",
                timed([&] { calls->applyFilterText("2619"); }));
    const double cleared = timed([&] { calls->applyFilterText(""); });
    std::printf("%-44s %8.1f ms  (%zu rows)\n", "filter cleared", cleared, calls->table().size());
    const size_t middle = calls->table().size() / 2;
    std::printf("%-44s %8.1f ms\n", "select a call: its ladder alone", timed([&] {
                    calls->selectRows({middle});
                    wxYield();  // the selection is told after the list's events
                }));
    std::printf("%-44s %8.1f ms\n", "select no call: every row again", timed([&] {
                    calls->selectRows({});
                    wxYield();
                }));
    // Find over the whole model, then in the window (search, select, count, paint).
    const auto start = Clock::now();
    const size_t found = findItems(*window->model(), "bye sip:2", false).size();
    std::printf("%-44s %8.1f ms  (%zu items)\n", "find \"bye sip:2\" over the model",
                milliseconds(start, Clock::now()), found);
    session.frame()->findField()->SetValue("Call-ID: 1234");
    std::printf("%-44s %8.1f ms\n", "Find Next \"Call-ID: 1234\" (search and step)",
                timed([&] { window->findStep(true); }));
    std::printf("%-44s %8.1f ms\n", "Find Next again (matches kept)",
                timed([&] { window->findStep(true); }));
    return 0;
}
