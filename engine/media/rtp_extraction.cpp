#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "capture/file_handle.h"
#include "capture/frame_info.h"
#include "media/rtp_header.h"
#include "media/rtp_stream.h"

namespace varlowe {

namespace {

// Seconds, microseconds, two zero bytes and the data length, all big-endian.
constexpr size_t kRecordHeaderSize = 12;
constexpr uint32_t kUdpHeaderSize = 8;

void putBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

}  // namespace

bool RtpStreamRegistry::extractStream(const RtpStream& stream, const std::string& path,
                                      bool recordHeaders, bool rtpHeaders) const {
    FileHandle out = openFile(path, "wb");
    if (!out) {
        return false;
    }
    bool written = true;
    auto writeRecord = [&](const FrameInfo& frame, MediaPacket packet) {
        // Ethernet padding after a short datagram is not part of the RTP packet.
        if (frame.udpLength >= kUdpHeaderSize && frame.udpLength - kUdpHeaderSize < packet.length) {
            packet.length = frame.udpLength - kUdpHeaderSize;
        }
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
            record[10] = static_cast<uint8_t>(data >> 8);
            record[11] = static_cast<uint8_t>(data);
            written = std::fwrite(record, 1, sizeof record, out.get()) == sizeof record;
        }
        if (written && data > 0) {
            written = std::fwrite(packet.payload + skip, 1, data, out.get()) == data;
        }
        return written;
    };
    if (!walkStreamFrames(stream, writeRecord)) {
        // Reported as a failure: an empty file would look like a stream without media.
        out.reset();
        std::remove(path.c_str());
        return false;
    }
    return closeWritten(out) && written;
}

}  // namespace varlowe
