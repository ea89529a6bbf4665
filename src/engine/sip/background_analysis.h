#pragma once

#include <functional>
#include <string>

#include "packet_analysis_driver.h"

namespace varlowe {

// Runs the analysis pass on a worker thread while the calling thread (the user interface)
// keeps its progress display and its questions: the worker's progress reports and dialog
// requests are handed over and carried out on the calling thread, which `pump` keeps
// responsive between them. The pass's allocations land in the worker's own memory arena,
// so a large capture leaves the window's heap unfragmented.
class BackgroundAnalysis {
  public:
    using Pass =
        std::function<AnalysisResult(IAnalysisProgress* progress, IAnalysisDialogs* dialogs)>;

    // `progress` and `dialogs` (either may be null) are called on this thread only; `pump`
    // runs between polls (the toolkit's event processing), at least every 20 ms.
    static AnalysisResult run(const Pass& pass, IAnalysisProgress* progress,
                              IAnalysisDialogs* dialogs, const std::function<void()>& pump);
    // The driver's pass over a capture.
    static AnalysisResult analyse(const std::string& path, bool fromLiveCapture,
                                  ParsingOptions options, IAnalysisProgress* progress,
                                  IAnalysisDialogs* dialogs, const std::function<void()>& pump);
};

}  // namespace varlowe
