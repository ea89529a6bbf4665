#include "rtcp_report.h"

#include <algorithm>

#include "capture/byte_order.h"

namespace varlowe {

namespace {

constexpr size_t kSenderInfoEnd = 28;   // header, SSRC and the 20 bytes of sender info
constexpr size_t kReceiverInfoEnd = 8;  // header and SSRC
constexpr size_t kReportBlockSize = 24;

RtcpReportBlock reportBlock(const uint8_t* p) {
    RtcpReportBlock block;
    block.ssrc = readBigEndian32(p);
    block.fractionLost = p[4] / 256.0;
    block.cumulativeLost = (uint32_t{p[5]} << 16) | (uint32_t{p[6]} << 8) | p[7];
    block.jitter = readBigEndian32(p + 12);
    return block;
}

// Chunks follow RFC 3550: items until a zero type byte, then padding to the next 32-bit
// boundary, where the next chunk begins. Chunks or items that reach past the section are
// not kept.
void readChunks(const uint8_t* section, size_t size, RtcpReport& report) {
    size_t at = 4;
    while (at + 4 <= size) {
        RtcpSdesChunk chunk;
        chunk.ssrc = readBigEndian32(section + at);
        at += 4;
        bool ended = false;
        while (at < size) {
            uint8_t type = section[at];
            if (type == 0) {
                ended = true;
                ++at;
                break;
            }
            if (at + 2 > size || at + 2 + section[at + 1] > size) {
                return;
            }
            RtcpSdesItem item;
            item.type = type;
            item.length = section[at + 1];
            item.text.assign(reinterpret_cast<const char*>(section + at + 2), item.length);
            chunk.items.push_back(std::move(item));
            at += 2 + item.length;
        }
        if (!ended) {
            return;
        }
        report.chunks.push_back(std::move(chunk));
        at = (at + 3) & ~size_t{3};
    }
}

}  // namespace

void decodeRtcp(const uint8_t* payload, size_t length, std::vector<RtcpReport>& reports) {
    if (payload == nullptr) {
        return;
    }
    size_t offset = 0;
    while (offset + 4 <= length) {
        const uint8_t* section = payload + offset;
        uint8_t type = section[1];
        uint16_t words = readBigEndian16(section + 2);
        size_t size = size_t{words} * 4 + 4;
        if (size > length - offset) {
            return;  // cut short: nothing after it can be trusted either
        }
        RtcpReport report;
        report.version = static_cast<uint8_t>(section[0] >> 6);
        report.length = words;
        bool keep = true;
        switch (type) {
            case 200:
                report.type = RtcpType::SenderReport;
                keep = size >= kSenderInfoEnd;
                if (keep) {
                    report.ssrc = readBigEndian32(section + 4);
                    report.ntpMostSignificant = readBigEndian32(section + 8);
                    report.ntpLeastSignificant = readBigEndian32(section + 12);
                    report.rtpTimestamp = readBigEndian32(section + 16);
                    report.packetCount = readBigEndian32(section + 20);
                    report.octetCount = readBigEndian32(section + 24);
                    if (size_t{words} * 4 > 28 && size >= kSenderInfoEnd + kReportBlockSize) {
                        report.block = reportBlock(section + kSenderInfoEnd);
                    }
                }
                break;
            case 201:
                report.type = RtcpType::ReceiverReport;
                keep = size >= kReceiverInfoEnd;
                if (keep) {
                    report.ssrc = readBigEndian32(section + 4);
                    if (size_t{words} * 4 > 8 && size >= kReceiverInfoEnd + kReportBlockSize) {
                        report.block = reportBlock(section + kReceiverInfoEnd);
                    }
                }
                break;
            case 202:
                report.type = RtcpType::SourceDescription;
                readChunks(section, size, report);
                break;
            case 203:
                report.type = RtcpType::Bye;
                std::copy(section, section + std::min<size_t>(size, 16), report.byeBytes.begin());
                report.ssrc = size >= 8 ? readBigEndian32(section + 4) : 0;
                break;
            default:
                keep = false;
                break;
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
    while (offset + 4 <= length) {
        const uint8_t* section = payload + offset;
        uint8_t type = section[1];
        if ((type == 200 || type == 201 || type == 203) && offset + 8 <= length &&
            readBigEndian32(section + 4) == ssrc) {
            return true;
        }
        offset += size_t{readBigEndian16(section + 2)} * 4 + 4;
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
                if (item.type == 1) {
                    return item.text;
                }
            }
        }
    }
    return std::nullopt;
}

}  // namespace varlowe
