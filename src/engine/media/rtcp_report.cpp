#include "rtcp_report.h"

#include <algorithm>

#include "engine/capture/byte_reader.h"

namespace varlowe {

namespace {

constexpr size_t kSectionHeaderSize = 4;  // version/count, type, length in words minus one
constexpr size_t kSenderInfoEnd = 28;     // header, SSRC and the 20 bytes of sender info
constexpr size_t kReceiverInfoEnd = 8;    // header and SSRC
constexpr size_t kReportBlockSize = 24;
constexpr size_t kByeBytes = 16;
constexpr uint8_t kSdesCname = 1;

uint8_t typeCode(RtcpType type) {
    return static_cast<uint8_t>(type);
}

// A section's size in bytes from its length field.
size_t sectionSize(uint16_t words) {
    return size_t{words} * 4 + kSectionHeaderSize;
}

RtcpReportBlock reportBlock(ByteReader reader) {
    RtcpReportBlock block;
    block.ssrc = reader.be32();
    block.fractionLost = reader.u8() / 256.0;
    const uint32_t high = reader.u8();
    block.cumulativeLost = (high << 16) | reader.be16();
    reader.skip(4);  // extended highest sequence number received
    block.jitter = reader.be32();
    block.lastSr = reader.be32();
    block.delaySinceLastSr = reader.be32();
    return block;
}

constexpr uint8_t kVoipMetricsBlock = 7;
constexpr size_t kVoipMetricsSize = 36;

RtcpVoipMetrics voipMetrics(ByteReader reader) {
    RtcpVoipMetrics m;
    reader.skip(4);  // block type, reserved, length
    m.ssrc = reader.be32();
    m.lossRate = reader.u8();
    m.discardRate = reader.u8();
    m.burstDensity = reader.u8();
    m.gapDensity = reader.u8();
    m.burstDurationMs = reader.be16();
    m.gapDurationMs = reader.be16();
    m.roundTripDelayMs = reader.be16();
    m.endSystemDelayMs = reader.be16();
    m.signalLevel = static_cast<int8_t>(reader.u8());
    m.noiseLevel = static_cast<int8_t>(reader.u8());
    m.residualEchoReturnLoss = reader.u8();
    m.gmin = reader.u8();
    m.rFactor = reader.u8();
    m.externalRFactor = reader.u8();
    m.mosLq = reader.u8();
    m.mosCq = reader.u8();
    m.receiverConfig = reader.u8();
    reader.skip(1);
    m.jitterBufferNominalMs = reader.be16();
    m.jitterBufferMaximumMs = reader.be16();
    m.jitterBufferAbsoluteMaximumMs = reader.be16();
    return m;
}

// The first VoIP Metrics block among the section's report blocks (RFC 3611: each block has
// its type, a reserved byte and its length in words minus one); blocks that reach past the
// section end the walk.
std::unique_ptr<const RtcpVoipMetrics> firstVoipMetrics(const uint8_t* section, size_t size) {
    size_t offset = kReceiverInfoEnd;
    while (size - offset >= 4) {
        ByteReader header(section + offset, size - offset);
        const uint8_t type = header.u8();
        header.skip(1);
        const size_t blockSize = (size_t{header.be16()} + 1) * 4;
        if (blockSize > size - offset) {
            return nullptr;
        }
        if (type == kVoipMetricsBlock && blockSize >= kVoipMetricsSize) {
            return std::make_unique<const RtcpVoipMetrics>(
                voipMetrics(ByteReader(section + offset, blockSize)));
        }
        offset += blockSize;
    }
    return nullptr;
}

// Chunks follow RFC 3550: items until a zero type byte, then padding to the next 32-bit
// boundary, where the next chunk begins. Chunks or items that reach past the section are
// not kept.
void readChunks(const uint8_t* section, size_t size, RtcpReport& report) {
    ByteReader reader(section, size);
    reader.skip(kSectionHeaderSize);
    while (reader.has(4)) {
        RtcpSdesChunk chunk;
        chunk.ssrc = reader.be32();
        bool ended = false;
        while (reader.has(1)) {
            const uint8_t type = reader.u8();
            if (type == 0) {
                ended = true;
                break;
            }
            if (!reader.has(1) || !reader.has(1 + size_t{reader.current()[0]})) {
                return;
            }
            RtcpSdesItem item;
            item.type = type;
            item.length = reader.u8();
            item.text.assign(reinterpret_cast<const char*>(reader.current()), item.length);
            reader.skip(item.length);
            chunk.items.push_back(std::move(item));
        }
        if (!ended) {
            return;
        }
        report.chunks.push_back(std::move(chunk));
        const size_t aligned = (reader.position() + 3) & ~size_t{3};
        if (aligned > size) {
            return;
        }
        reader.seek(aligned);
    }
}

}  // namespace

void decodeRtcp(const uint8_t* payload, size_t length, std::vector<RtcpReport>& reports) {
    if (payload == nullptr) {
        return;
    }
    size_t offset = 0;
    while (length - offset >= kSectionHeaderSize) {
        ByteReader header(payload + offset, length - offset);
        const uint8_t first = header.u8();
        const uint8_t type = header.u8();
        const uint16_t words = header.be16();
        const size_t size = sectionSize(words);
        if (size > length - offset) {
            return;  // cut short: nothing after it can be trusted either
        }
        const uint8_t* section = payload + offset;
        ByteReader body(section, size);
        body.skip(kSectionHeaderSize);
        RtcpReport report;
        report.version = static_cast<uint8_t>(first >> 6);
        report.length = words;
        bool keep = true;
        if (type == typeCode(RtcpType::SenderReport)) {
            report.type = RtcpType::SenderReport;
            keep = size >= kSenderInfoEnd;
            if (keep) {
                report.ssrc = body.be32();
                report.ntpMostSignificant = body.be32();
                report.ntpLeastSignificant = body.be32();
                report.rtpTimestamp = body.be32();
                report.packetCount = body.be32();
                report.octetCount = body.be32();
                if (size >= kSenderInfoEnd + kReportBlockSize) {
                    report.block = reportBlock(body);
                }
            }
        } else if (type == typeCode(RtcpType::ReceiverReport)) {
            report.type = RtcpType::ReceiverReport;
            keep = size >= kReceiverInfoEnd;
            if (keep) {
                report.ssrc = body.be32();
                if (size >= kReceiverInfoEnd + kReportBlockSize) {
                    report.block = reportBlock(body);
                }
            }
        } else if (type == typeCode(RtcpType::SourceDescription)) {
            report.type = RtcpType::SourceDescription;
            readChunks(section, size, report);
        } else if (type == typeCode(RtcpType::Bye)) {
            report.type = RtcpType::Bye;
            std::copy(section, section + std::min(size, kByeBytes), report.byeBytes.begin());
            report.ssrc = body.has(4) ? body.be32() : 0;
        } else if (type == typeCode(RtcpType::ExtendedReport) && size >= kReceiverInfoEnd) {
            report.type = RtcpType::ExtendedReport;
            report.ssrc = body.be32();
            report.voip = firstVoipMetrics(section, size);
            keep = report.voip != nullptr;
        } else {
            keep = false;
        }
        if (keep) {
            reports.push_back(std::move(report));
        }
        offset += size;
    }
}

bool mentionsSsrc(const uint8_t* payload, size_t length, uint32_t ssrc) {
    if (payload == nullptr) {
        return false;
    }
    size_t offset = 0;
    while (length - offset >= kSectionHeaderSize) {
        ByteReader section(payload + offset, length - offset);
        section.skip(1);
        const uint8_t type = section.u8();
        const uint16_t words = section.be16();
        const bool carriesSsrc = type == typeCode(RtcpType::SenderReport) ||
                                 type == typeCode(RtcpType::ReceiverReport) ||
                                 type == typeCode(RtcpType::Bye);
        if (carriesSsrc && section.has(4) && section.be32() == ssrc) {
            return true;
        }
        if (sectionSize(words) > length - offset) {
            return false;
        }
        offset += sectionSize(words);
    }
    return false;
}

std::optional<std::string> canonicalNameIn(const std::vector<RtcpReport>& reports, uint32_t ssrc) {
    for (const RtcpReport& report : reports) {
        if (report.type != RtcpType::SourceDescription) {
            continue;
        }
        for (const RtcpSdesChunk& chunk : report.chunks) {
            if (chunk.ssrc != ssrc) {
                continue;
            }
            for (const RtcpSdesItem& item : chunk.items) {
                if (item.type == kSdesCname) {
                    return item.text;
                }
            }
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
