// panes-bench CAPTURE: the speed of the panes around the diagram on a real diagram window
// under a display: selecting SIP items (the diagram, the info panel and the selection lists
// together), a stream's first graphs and a repeat, and refilling the "All" list.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "desktop_session.h"
#include "engine/media/rtp_statistics.h"
#include "engine/media/rtp_stream_registry.h"

using namespace varlowe;

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void report(const char* what, std::vector<double> times) {
    if (times.empty()) {
        std::printf("%-44s none\n", what);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %8.2f ms  worst %8.2f ms  (%zu)\n", what, times[times.size() / 2],
                times.back(), times.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: panes-bench CAPTURE\n");
        return 2;
    }
    wxApp::SetInstance(new wxApp());
    int toolkitArgc = 1;
    if (!wxEntryStart(toolkitArgc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "panes-bench needs a display (run it under xvfb-run)\n");
        return 1;
    }
    AppSettings::registerSettings(normalToolkitFont());
    UserLabelDB labels;
    auto* frame = new MainFrame(&labels, wxPoint(0, 0), wxSize(1600, 1000));
    frame->Show();
    wxYield();
    frame->openCapture(argv[1], false);
    SipDiagramFrame* window =
        frame->diagramWindows().empty() ? nullptr : frame->diagramWindows()[0];
    if (window == nullptr) {
        std::fprintf(stderr, "the capture did not open\n");
        return 1;
    }
    wxYield();
    SipDiagram* diagram = window->diagram();
    const DiagramState& state = diagram->state();
    std::vector<size_t> sipRows;
    std::vector<size_t> mediaRows;
    for (size_t row = 0; row < state.rowCount(); ++row) {
        const AnalysisItem* item = state.itemAtRow(RowIndex(row));
        (item->kind == ItemKind::Media ? mediaRows : sipRows).push_back(row);
    }
    std::printf("rows %zu (%zu SIP/STUN, %zu streams)\n", state.rowCount(), sipRows.size(),
                mediaRows.size());

    // SIP items anywhere in the capture, each until the toolkit has laid out and painted
    // what changed.
    // The work of a selection alone (the diagram's state, the info panel's pages, the lists)
    // is kept apart from the toolkit's layout and paint that follow it.
    std::vector<double> workTimes;
    auto select = [&](size_t row) {
        const auto start = Clock::now();
        diagram->selectRow(RowIndex(row));
        workTimes.push_back(milliseconds(start, Clock::now()));
        wxYield();
        return milliseconds(start, Clock::now());
    };
    std::mt19937 random(7);
    std::vector<double> sipTimes;
    for (int i = 0; i < 60 && !sipRows.empty(); ++i) {
        sipTimes.push_back(select(sipRows[random() % sipRows.size()]));
    }
    report("select a SIP item, until painted", sipTimes);
    report("  of which the selection's own work", workTimes);
    workTimes.clear();

    // The longest streams: first graphs (the capture is read again), then a repeat.
    std::sort(mediaRows.begin(), mediaRows.end(), [&](size_t a, size_t b) {
        auto length = [&](size_t row) {
            const PacketTime t = elapsedTime(*state.itemAtRow(RowIndex(row))->stream);
            return t.seconds * 1000000 + t.microseconds;
        };
        return length(a) > length(b);
    });
    std::vector<double> firstTimes;
    std::vector<double> firstWork;
    std::vector<double> repeatTimes;
    std::vector<double> repeatWork;
    double longest = 0;
    for (size_t i = 0; i < std::min<size_t>(5, mediaRows.size()); ++i) {
        const PacketTime t = elapsedTime(*state.itemAtRow(RowIndex(mediaRows[i]))->stream);
        longest = std::max(longest, t.seconds + t.microseconds / 1e6);
        firstTimes.push_back(select(mediaRows[i]));
        firstWork.push_back(workTimes.back());
        if (!sipRows.empty()) {
            select(sipRows[i % sipRows.size()]);
        }
        repeatTimes.push_back(select(mediaRows[i]));
        repeatWork.push_back(workTimes.back());
    }
    if (!firstTimes.empty()) {
        std::printf("longest stream %.1f s, %ld packets\n", longest,
                    static_cast<long>(state.itemAtRow(RowIndex(mediaRows[0]))->stream->packets));
    }
    report("select a stream, first graphs, painted", firstTimes);
    report("  of which the selection's own work", firstWork);
    report("select a stream again (graphs kept)", repeatTimes);
    report("  of which the selection's own work", repeatWork);

    // "All" again, as a filter change refills it.
    std::vector<double> refill;
    for (int i = 0; i < 7; ++i) {
        const auto start = Clock::now();
        window->selectionPanel()->setModel(window->model());
        wxYield();
        refill.push_back(milliseconds(start, Clock::now()));
    }
    std::printf("All list rows %d\n",
                window->selectionPanel()->notebook()->allList()->GetItemCount());
    report("refill All", refill);
    return 0;
}
