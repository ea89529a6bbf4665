#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "engine/capture/frame_info.h"
#include "engine/output_file.h"
#include "rtp_header.h"
#include "rtp_stream_registry.h"

namespace varlowe {

namespace {

// Seconds, microseconds, two zero bytes and the data length, all big-endian.
constexpr size_t kRecordHeaderSize = 12;

void putBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

}  // namespace

bool RtpStreamRegistry::writeStream(const RtpStream& stream, std::FILE* out, bool recordHeaders,
                                    bool rtpHeaders) const {
    bool written = true;
    auto writeRecord = [&](const FrameInfo& frame, MediaPacket packet) {
        packet.length = packet.datagramLength();
        size_t skip = 0;
        if (!rtpHeaders) {
            std::optional<size_t> header = rtpHeaderLength(packet.payload, packet.length);
            if (!header) {
                return true;  // too short for its own header: no record
            }
            skip = *header;
        }
        const size_t data = packet.length - skip;
        if (recordHeaders) {
            uint8_t record[kRecordHeaderSize] = {};
            putBigEndian32(record, static_cast<uint32_t>(frame.seconds));
            putBigEndian32(record + 4, static_cast<uint32_t>(frame.microseconds));
            // The length takes the two bytes before it too: they stay zero for any packet
            // up to 65,535 bytes, and a longer one keeps its records in step.
            putBigEndian32(record + 8, static_cast<uint32_t>(data));
            written = std::fwrite(record, 1, sizeof record, out) == sizeof record;
        }
        if (written && data > 0) {
            written = std::fwrite(packet.payload + skip, 1, data, out) == data;
        }
        return written;
    };
    // A capture that cannot be read again is a failure: an empty output would look like a
    // stream without media.
    return walkStreamFrames(stream, writeRecord) && written;
}

SaveOutcome RtpStreamRegistry::extractStream(const RtpStream& stream, const std::string& path,
                                             bool recordHeaders, bool rtpHeaders) const {
    // Never over the capture being read; and a failure leaves the old output in place.
    OutputFile out(path, path_);
    if (out.state() != SaveOutcome::Saved) {
        return out.state();
    }
    if (!writeStream(stream, out.stream(), recordHeaders, rtpHeaders)) {
        return SaveOutcome::Failed;
    }
    return out.commit();
}

}  // namespace varlowe
