// diagram-bench CAPTURE...: times the diagram window on each capture, under a display (Xvfb
// in scripts), in a 1600 x 1000 window: setModel (the rebuild), 200 full repaints at random
// scroll positions, 1,000 selections of random rows with the markers on, a Call-ID filter and
// back, and the time bar's rebuild. Median and worst in milliseconds. Repaints go through the
// toolkit's paint path (Refresh, Update); "into a bitmap" is the drawing alone.
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/splitter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "diagram/user_label_db.h"
#include "diagram_view/sip_diagram.h"
#include "diagram_view/sip_diagram_time_bar.h"
#include "engine/sip/packet_analysis_driver.h"
#include "settings/app_settings.h"
#include "toolkit/toolkit_font.h"

using namespace varlowe;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
    double median = 0;
    double worst = 0;
};

Figures figuresOf(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return Figures{samples[samples.size() / 2], samples.back()};
}

struct NullOwner : IDiagramOwner {
    void applyFilter(bool) override {}
    void syncTimeBar(size_t, size_t) override {}
};

void bench(const std::string& path) {
    auto start = Clock::now();
    ParsingOptions options;
    options.includeRtp = std::getenv("DIAGRAM_BENCH_NO_RTP") == nullptr;
    // On a worker thread, as the desktop program runs the pass: its allocations stay in an
    // arena of their own and leave the window's heap unfragmented. DIAGRAM_BENCH_SAME_THREAD
    // runs it on the window's thread instead, for comparison.
    AnalysisResult result;
    if (std::getenv("DIAGRAM_BENCH_SAME_THREAD") == nullptr) {
        std::thread worker(
            [&] { result = PacketAnalysisDriver(options, nullptr, nullptr).analyse(path, false); });
        worker.join();
    } else {
        result = PacketAnalysisDriver(options, nullptr, nullptr).analyse(path, false);
    }
    if (!result.model) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return;
    }
    const double analysis = millisecondsSince(start);
    AnalysisModel& model = *result.model;

    UserLabelDB labels;
    NullOwner owner;
    auto* frame = new wxFrame(nullptr, wxID_ANY, "bench", wxPoint(0, 0), wxSize(1600, 1000));
    auto* splitter = new wxSplitterWindow(frame, wxID_ANY);
    auto* timeBar = new SipDiagramTimeBar(splitter);
    auto* diagram = new SipDiagram(splitter, &labels, &owner);
    splitter->SplitVertically(timeBar, diagram, 16);
    frame->Show();
    frame->SetSize(wxSize(1600, 1000));
    for (int i = 0; i < 10; ++i) wxYield();

    start = Clock::now();
    diagram->setModel(&model);
    const double setModel = millisecondsSince(start);
    const size_t rows = diagram->state().rowCount();

    std::mt19937_64 random(7);
    const wxSize client = diagram->GetClientSize();
    wxBitmap bitmap(client);
    std::vector<double> paints;
    for (int i = 0; i < 200; ++i) {
        const int64_t row = rows > 0 ? static_cast<int64_t>(random() % rows) : 0;
        diagram->scrollTo(ViewStart{row, 0});
        auto paintStart = Clock::now();
        diagram->Refresh();
        diagram->Update();  // paints now, through the toolkit's own paint path
        paints.push_back(millisecondsSince(paintStart));
    }
    // The same view painted again: no new rows, everything cached.
    std::vector<double> repaints;
    // DIAGRAM_BENCH_PROFILE: keep repainting for a profiler to watch.
    const int repaintCount = std::getenv("DIAGRAM_BENCH_PROFILE") != nullptr ? 3000 : 50;
    for (int i = 0; i < repaintCount; ++i) {
        auto paintStart = Clock::now();
        diagram->Refresh();
        diagram->Update();
        repaints.push_back(millisecondsSince(paintStart));
    }
    // Into a bitmap, as printing and image export draw.
    std::vector<double> bitmapPaints;
    for (int i = 0; i < 50; ++i) {
        wxMemoryDC dc(bitmap);
        auto paintStart = Clock::now();
        diagram->paintView(dc);
        bitmapPaints.push_back(millisecondsSince(paintStart));
    }
    std::vector<double> selections;
    for (int i = 0; i < 1000 && rows > 0; ++i) {
        const size_t row = static_cast<size_t>(random() % rows);
        auto selectStart = Clock::now();
        diagram->state().selectRow(RowIndex(row));
        selections.push_back(millisecondsSince(selectStart));
    }
    // The Call-ID of the row in the middle, and back to everything.
    double filter = 0, unfilter = 0;
    if (rows > 0) {
        const AnalysisItem* middle = diagram->state().itemAtRow(RowIndex(rows / 2));
        std::string callId = middle->sip ? std::string(middle->sip->callId().value_or(""))
                                         : std::string(middle->mediaCallId());
        start = Clock::now();
        diagram->applyRowFilter(model.itemsWithCallId(callId));
        filter = millisecondsSince(start);
        start = Clock::now();
        diagram->applyRowFilter(std::nullopt);
        unfilter = millisecondsSince(start);
    }
    start = Clock::now();
    timeBar->setModel(&model);
    const double timeBarRebuild = millisecondsSince(start);

    Figures paint = figuresOf(paints);
    Figures select = selections.empty() ? Figures{} : figuresOf(selections);
    std::printf("%s\n", path.c_str());
    std::printf("  rows %zu, columns %zu (analysis pass %.0f ms)\n", rows,
                diagram->state().visibleColumns().size(), analysis);
    std::printf("  setModel/rebuild              %9.1f ms\n", setModel);
    std::printf("  repaint (200, random rows)    %9.2f ms median %9.2f ms worst\n", paint.median,
                paint.worst);
    std::printf("  repaint (50, same view)       %9.2f ms median %9.2f ms worst\n",
                figuresOf(repaints).median, figuresOf(repaints).worst);
    std::printf("  paint into a bitmap (50)      %9.2f ms median %9.2f ms worst\n",
                figuresOf(bitmapPaints).median, figuresOf(bitmapPaints).worst);
    std::printf("  selectRow (1000, markers on)  %9.3f ms median %9.3f ms worst\n", select.median,
                select.worst);
    std::printf("  applyRowFilter one Call-ID    %9.1f ms, back to all %9.1f ms\n", filter,
                unfilter);
    std::printf("  time bar rebuild              %9.1f ms\n", timeBarRebuild);
    diagram->setModel(nullptr);
    timeBar->setModel(nullptr);
    frame->Destroy();
    for (int i = 0; i < 10; ++i) wxYield();
}

}  // namespace

int main(int argc, char** argv) {
    wxApp::SetInstance(new wxApp());
    int toolkitArgc = 1;  // the captures are ours, not the toolkit's options
    if (!wxEntryStart(toolkitArgc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "diagram-bench needs a display (run it under xvfb-run)\n");
        return 1;
    }
    AppSettings::registerSettings(normalToolkitFont());
    for (int i = 1; i < argc; ++i) {
        bench(argv[i]);
    }
    SettingsStore::shutdown();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
