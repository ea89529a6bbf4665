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

// "All", then one "0x%08X (name)" or "0x%08X" label per reported source, in first-seen order.
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
};

// One row per sender or receiver report with a report block matching the filter.
std::vector<Row> rows(const std::vector<RtcpReport>& reports, int64_t filter);

// Local date of 1 January 1900 plus the seconds ("%x %X"), a point and three digits of
// milliseconds.
std::string ntpTimeText(uint32_t mostSignificant, uint32_t leastSignificant);

}  // namespace rtcp_view
}  // namespace varlowe
