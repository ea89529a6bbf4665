#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace varlowe {

enum class RtcpType : uint8_t {
    SenderReport = 200,
    ReceiverReport = 201,
    SourceDescription = 202,
    Bye = 203
};

// What the far end said about one source (the first report block of a report).
struct RtcpReportBlock {
    uint32_t ssrc = 0;
    double fractionLost = 0;  // byte 4 / 256
    uint32_t cumulativeLost = 0;
    uint32_t jitter = 0;  // timestamp units
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
};

// Appends one record per sender report, receiver report, source description and BYE of the
// compound packet. Sections that reach past the payload end the walk; nothing past the
// payload is read.
void decodeRtcp(const uint8_t* payload, size_t length, std::vector<RtcpReport>& reports);

// Whether a sender report, receiver report or BYE section carries the SSRC at offset 4.
bool mentionsSsrc(const uint8_t* payload, size_t length, uint32_t ssrc);

// The first CNAME item of the SSRC among the source descriptions of the reports.
std::optional<std::string> canonicalNameIn(const std::vector<RtcpReport>& reports, uint32_t ssrc);

}  // namespace varlowe
