#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rtcp_report.h"

namespace varlowe {

// What the "RTCP Reports" page shows for one stream, computed without a window.
namespace rtcp_view {

using NameLookup = std::function<std::optional<std::string>(uint32_t ssrc)>;

// "All", then one "0x%08X (name)" or "0x%08X" label per reported source, in first-seen order
// (the source of a report block, of an XR VoIP Metrics block, or the sender of a sender report
// without blocks).
std::vector<std::string> sourceLabels(const std::vector<RtcpReport>& reports,
                                      const NameLookup& canonicalName);
// The entry shown at first: "All" (0) with two or more sources, the only source (1), or none (-1).
int initialSelection(const std::vector<std::string>& labels);
// -1 for "All", else the SSRC in the label.
int64_t filterOfLabel(const std::string& label);

struct Row {
    int image = 0;  // 0 receiver report, 1 sender report
    std::string ssrc;
    std::string ntpTime;
    std::string fractionLost;
    std::string cumulativeLost;
    std::string jitter;
    std::string packetsSent;
    std::string bytesSent;
    // After the page's first seven columns.
    std::string roundTrip;
    std::string mosLq;
    std::string mosCq;
    std::string rFactor;
    std::string discardRate;
    std::string burstGapDensity;
    std::string endSystemDelay;
};

// The columns after the first seven: the round trip a report block gives, and an extended
// report's VoIP metrics.
extern const char* const kExtraColumns[7];

// One row per sender or receiver report with a report block matching the filter, per sender
// report without blocks whose sender matches it, and per extended report with VoIP metrics.
std::vector<Row> rows(const std::vector<RtcpReport>& reports, int64_t filter);

// Local date of 1 January 1900 plus the seconds ("%x %X"), a point and three digits of
// milliseconds.
std::string ntpTimeText(uint32_t mostSignificant, uint32_t leastSignificant);

// The figures of a stream's reports that `streams` and the Contents page list after the
// stream's own: the round trips measured, and the last VoIP Metrics block's values. Empty
// for a stream without either.
std::vector<std::pair<std::string, std::string>> summaryRows(
    const std::vector<RtcpReport>& reports);

}  // namespace rtcp_view
}  // namespace varlowe
