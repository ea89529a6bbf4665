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
std::string fractionText(double fraction) {
    char text[32];
    std::snprintf(text, sizeof text, "%lf", fraction);
    return text;
}
std::string fixed(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}
// RFC 3611 gives 127 for a value the reporter could not compute.
std::string available(uint8_t value, double scale, int decimals) {
    return value == 127 ? std::string("-") : fixed(value * scale, decimals);
}

// The source a report's row is about: a block's source, or for a sender report without
// blocks its sender.
std::optional<uint32_t> rowSource(const RtcpReport& report) {
    if (report.type == RtcpType::ExtendedReport) {
        return report.voip ? std::optional<uint32_t>(report.voip->ssrc) : std::nullopt;
    }
    if (report.type != RtcpType::SenderReport && report.type != RtcpType::ReceiverReport) {
        return std::nullopt;
    }
    if (report.block) {
        return report.block->ssrc;
    }
    return report.type == RtcpType::SenderReport ? std::optional<uint32_t>(report.ssrc)
                                                 : std::nullopt;
}
}  // namespace

const char* const kExtraColumns[7] = {
    "Round Trip (ms)",      "MOS-LQ", "MOS-CQ", "R Factor", "Discard Rate", "Burst/Gap Density",
    "End System Delay (ms)"};

std::vector<std::string> sourceLabels(const std::vector<RtcpReport>& reports,
                                      const NameLookup& canonicalName) {
    std::vector<std::string> labels = {"All"};
    for (const RtcpReport& report : reports) {
        const std::optional<uint32_t> ssrc = rowSource(report);
        if (!ssrc) {
            continue;
        }
        std::string label = hexSsrc(*ssrc);
        if (canonicalName) {
            if (std::optional<std::string> name = canonicalName(*ssrc)) {
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
        const std::optional<uint32_t> ssrc = rowSource(report);
        if (!ssrc || (filter != -1 && filter != int64_t{*ssrc})) {
            continue;
        }
        const bool sender = report.type == RtcpType::SenderReport;
        Row row;
        row.image = sender ? 1 : 0;
        row.ssrc = hexSsrc(*ssrc);
        row.fractionLost = row.cumulativeLost = row.jitter = " ";
        row.ntpTime = row.packetsSent = row.bytesSent = " ";
        row.roundTrip = row.mosLq = row.mosCq = row.rFactor = " ";
        row.discardRate = row.burstGapDensity = row.endSystemDelay = " ";
        if (report.block) {
            const RtcpReportBlock& block = *report.block;
            row.fractionLost = fractionText(block.fractionLost);
            row.cumulativeLost = unsignedText(block.cumulativeLost);
            row.jitter = unsignedText(block.jitter);
            if (block.hasRoundTrip()) {
                row.roundTrip = fixed(block.roundTripMs, 3);
            }
        }
        if (sender) {
            row.ntpTime = ntpTimeText(report.ntpMostSignificant, report.ntpLeastSignificant);
            row.packetsSent = unsignedText(report.packetCount);
            row.bytesSent = unsignedText(report.octetCount);
        }
        if (report.voip) {
            // An extended report has no NTP time: the cell says what the row is instead.
            const RtcpVoipMetrics& m = *report.voip;
            row.ntpTime = "XR VoIP Metrics";
            row.fractionLost = fractionText(m.lossRate / 256.0);
            row.roundTrip = unsignedText(m.roundTripDelayMs);
            row.mosLq = available(m.mosLq, 0.1, 1);
            row.mosCq = available(m.mosCq, 0.1, 1);
            row.rFactor = available(m.rFactor, 1, 0);
            row.discardRate = fractionText(m.discardRate / 256.0);
            row.burstGapDensity =
                fixed(m.burstDensity / 2.56, 1) + "% / " + fixed(m.gapDensity / 2.56, 1) + "%";
            row.endSystemDelay = unsignedText(m.endSystemDelayMs);
        }
        out.push_back(std::move(row));
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> summaryRows(
    const std::vector<RtcpReport>& reports) {
    std::vector<std::pair<std::string, std::string>> out;
    double sum = 0;
    double maximum = 0;
    int count = 0;
    const RtcpVoipMetrics* last = nullptr;
    for (const RtcpReport& report : reports) {
        if (report.block && report.block->hasRoundTrip()) {
            sum += report.block->roundTripMs;
            maximum = count == 0 ? report.block->roundTripMs
                                 : std::max(maximum, report.block->roundTripMs);
            ++count;
        }
        if (report.voip) {
            last = report.voip.get();
        }
    }
    if (count > 0) {
        out.emplace_back("Mean Round Trip (ms)", fixed(sum / count, 3));
        out.emplace_back("Max Round Trip (ms)", fixed(maximum, 3));
    }
    if (last != nullptr) {
        out.emplace_back("XR Loss Rate", fixed(last->lossRate / 2.56, 1) + "%");
        out.emplace_back("XR Discard Rate", fixed(last->discardRate / 2.56, 1) + "%");
        out.emplace_back("XR Burst/Gap Density", fixed(last->burstDensity / 2.56, 1) + "% / " +
                                                     fixed(last->gapDensity / 2.56, 1) + "%");
        out.emplace_back("XR Burst/Gap Duration (ms)", unsignedText(last->burstDurationMs) + " / " +
                                                           unsignedText(last->gapDurationMs));
        out.emplace_back("XR Round Trip Delay (ms)", unsignedText(last->roundTripDelayMs));
        out.emplace_back("XR End System Delay (ms)", unsignedText(last->endSystemDelayMs));
        out.emplace_back("XR R Factor", available(last->rFactor, 1, 0));
        out.emplace_back("XR MOS-LQ", available(last->mosLq, 0.1, 1));
        out.emplace_back("XR MOS-CQ", available(last->mosCq, 0.1, 1));
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
