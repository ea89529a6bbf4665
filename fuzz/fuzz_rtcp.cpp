// RTCP compound packets: decoding, the SSRC test and the report page texts.
#include <vector>

#include "engine/media/rtcp_report.h"
#include "engine/media/rtcp_report_view.h"
#include "fuzz_support.h"

using namespace varlowe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    std::vector<uint8_t> copy(data, data + size);
    std::vector<RtcpReport> reports;
    decodeRtcp(copy.data(), copy.size(), reports);
    if (reports.size() > size / 4 + 1) {
        __builtin_trap();  // every record stands for at least one 4-byte section
    }
    (void)mentionsSsrc(copy.data(), copy.size(), size >= 8 ? copy[7] : 0);
    auto names = [&reports](uint32_t ssrc) { return canonicalNameIn(reports, ssrc); };
    std::vector<std::string> labels = rtcp_view::sourceLabels(reports, names);
    for (const std::string& label : labels) {
        (void)rtcp_view::rows(reports, rtcp_view::filterOfLabel(label));
    }
    return 0;
}
