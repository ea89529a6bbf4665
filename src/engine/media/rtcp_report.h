#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace varlowe {

enum class RtcpType : uint8_t {
    SenderReport = 200,
    ReceiverReport = 201,
    SourceDescription = 202,
    Bye = 203,
    ExtendedReport = 207
};

// What the far end said about one source (the first report block of a report).
struct RtcpReportBlock {
    uint32_t ssrc = 0;
    double fractionLost = 0;  // byte 4 / 256
    uint32_t cumulativeLost = 0;
    uint32_t jitter = 0;            // timestamp units
    uint32_t lastSr = 0;            // the middle 32 bits of the last SR's NTP time, 0 for none
    uint32_t delaySinceLastSr = 0;  // units of 1/65536 s
    // From the arrival of the SR that lastSr names to this report's, less the delay; set by
    // the registry when it saw that SR (NaN otherwise).
    double roundTripMs = std::numeric_limits<double>::quiet_NaN();
    bool hasRoundTrip() const { return roundTripMs == roundTripMs; }
};

// An RTCP XR VoIP Metrics block (RFC 3611, block type 7), the values as they stand.
struct RtcpVoipMetrics {
    uint32_t ssrc = 0;        // the source reported on
    uint8_t lossRate = 0;     // fraction of packets lost, in 1/256
    uint8_t discardRate = 0;  // fraction discarded by the jitter buffer, in 1/256
    uint8_t burstDensity = 0;
    uint8_t gapDensity = 0;
    uint16_t burstDurationMs = 0;
    uint16_t gapDurationMs = 0;
    uint16_t roundTripDelayMs = 0;
    uint16_t endSystemDelayMs = 0;
    int8_t signalLevel = 127;  // dBm0; 127 unavailable
    int8_t noiseLevel = 127;
    uint8_t residualEchoReturnLoss = 127;
    uint8_t gmin = 16;
    uint8_t rFactor = 127;  // 127 unavailable
    uint8_t externalRFactor = 127;
    uint8_t mosLq = 127;  // tenths; 127 unavailable
    uint8_t mosCq = 127;
    uint8_t receiverConfig = 0;
    uint16_t jitterBufferNominalMs = 0;
    uint16_t jitterBufferMaximumMs = 0;
    uint16_t jitterBufferAbsoluteMaximumMs = 0;
};

struct RtcpSdesItem {
    uint8_t type = 0;
    uint8_t length = 0;
    std::string text;
};

struct RtcpSdesChunk {
    uint32_t ssrc = 0;
    std::vector<RtcpSdesItem> items;
};

// One decoded section of a compound RTCP packet.
struct RtcpReport {
    RtcpType type = RtcpType::ReceiverReport;
    uint8_t version = 0;
    uint16_t length = 0;  // in 32-bit words minus one, as in the header
    uint32_t ssrc = 0;    // the sender's SSRC (reports), the first SSRC (BYE)
    // Sender reports only.
    uint32_t ntpMostSignificant = 0;
    uint32_t ntpLeastSignificant = 0;
    uint32_t rtpTimestamp = 0;
    uint32_t packetCount = 0;
    uint32_t octetCount = 0;
    std::optional<RtcpReportBlock> block;  // sender and receiver reports
    std::vector<RtcpSdesChunk> chunks;     // source descriptions
    std::array<uint8_t, 16> byeBytes{};    // BYE: the first 16 bytes of the section
    // Extended reports: the first VoIP Metrics block (apart: most reports have none).
    std::unique_ptr<const RtcpVoipMetrics> voip;

    // The middle 32 bits of a sender report's NTP time: what a later report's lastSr holds.
    uint32_t ntpMiddle() const { return (ntpMostSignificant << 16) | (ntpLeastSignificant >> 16); }
};

// Appends one record per sender report, receiver report, source description and BYE of the
// compound packet, and one per extended report with a VoIP Metrics block. Sections that reach past
// the payload end the walk; nothing past the payload is read.
void decodeRtcp(const uint8_t* payload, size_t length, std::vector<RtcpReport>& reports);

// Whether a sender report, receiver report or BYE section carries the SSRC at offset 4.
bool mentionsSsrc(const uint8_t* payload, size_t length, uint32_t ssrc);

// The first CNAME item of the SSRC among the source descriptions of the reports.
std::optional<std::string> canonicalNameIn(const std::vector<RtcpReport>& reports, uint32_t ssrc);

}  // namespace varlowe
