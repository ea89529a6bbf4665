#include "rtcp_report_view.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace varlowe::rtcp_view {

namespace {
std::string hexSsrc(uint32_t ssrc) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", ssrc);
    return text;
}
std::string unsignedText(uint32_t value) {
    return std::to_string(value);
}
}  // namespace

std::vector<std::string> sourceLabels(const std::vector<RtcpReport>& reports,
                                      const NameLookup& canonicalName) {
    std::vector<std::string> labels = {"All"};
    for (const RtcpReport& report : reports) {
        if ((report.type != RtcpType::SenderReport && report.type != RtcpType::ReceiverReport) ||
            !report.block) {
            continue;
        }
        std::string label = hexSsrc(report.block->ssrc);
        if (canonicalName) {
            if (std::optional<std::string> name = canonicalName(report.block->ssrc)) {
                label += " (" + *name + ")";
            }
        }
        if (std::find(labels.begin(), labels.end(), label) == labels.end()) {
            labels.push_back(label);
        }
    }
    return labels;
}

int initialSelection(const std::vector<std::string>& labels) {
    if (labels.size() > 2) {
        return 0;
    }
    return labels.size() == 2 ? 1 : -1;
}

int64_t filterOfLabel(const std::string& label) {
    if (label == "All") {
        return -1;
    }
    std::string first = label.substr(0, label.find(' '));
    size_t at = first.find("0x");
    return static_cast<int64_t>(
        std::strtoul(at == std::string::npos ? first.c_str() : first.c_str() + at + 2, nullptr,
                     16) &
        0xffffffffu);
}

std::vector<Row> rows(const std::vector<RtcpReport>& reports, int64_t filter) {
    std::vector<Row> out;
    for (const RtcpReport& report : reports) {
        bool sender = report.type == RtcpType::SenderReport;
        if ((!sender && report.type != RtcpType::ReceiverReport) || !report.block) {
            continue;
        }
        const RtcpReportBlock& block = *report.block;
        if (filter != -1 && filter != int64_t{block.ssrc}) {
            continue;
        }
        Row row;
        row.image = sender ? 1 : 0;
        row.ssrc = hexSsrc(block.ssrc);
        char fraction[32];
        std::snprintf(fraction, sizeof fraction, "%lf", block.fractionLost);
        row.fractionLost = fraction;
        row.cumulativeLost = unsignedText(block.cumulativeLost);
        row.jitter = unsignedText(block.jitter);
        if (sender) {
            row.ntpTime = ntpTimeText(report.ntpMostSignificant, report.ntpLeastSignificant);
            row.packetsSent = unsignedText(report.packetCount);
            row.bytesSent = unsignedText(report.octetCount);
        } else {
            row.ntpTime = row.packetsSent = row.bytesSent = " ";
        }
        out.push_back(std::move(row));
    }
    return out;
}

std::string ntpTimeText(uint32_t mostSignificant, uint32_t leastSignificant) {
    std::tm epoch{};
    epoch.tm_year = 0;  // 1900
    epoch.tm_mon = 0;
    epoch.tm_mday = 1;
    epoch.tm_isdst = -1;
    std::time_t base = std::mktime(&epoch);
    std::time_t when = base + static_cast<std::time_t>(mostSignificant);
    std::tm local{};
    localtime_r(&when, &local);
    char date[128];
    size_t length = std::strftime(date, sizeof date, "%x %X", &local);
    int milliseconds = static_cast<int>(leastSignificant * 1000.0 / 4294967296.0 + 0.5);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, "%3d", milliseconds);
    for (int i = 0; i < 2 && fraction[i] == ' '; ++i) {
        fraction[i] = '0';
    }
    return std::string(date, length) + "." + fraction;
}

}  // namespace varlowe::rtcp_view
