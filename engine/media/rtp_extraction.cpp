#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "capture/capture_file_reader.h"
#include "capture/frame_info.h"
#include "media/rtp_stream.h"

namespace varlowe {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void putBigEndian32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Bytes of the fixed header, CSRC list and header extension; none when the packet is too short
// for its own fixed header and CSRC list.
std::optional<size_t> rtpHeaderLength(const uint8_t* payload, size_t length) {
    size_t header = 12 + 4 * size_t{payload[0] & 0x0fu};
    if (length < header) {
        return std::nullopt;
    }
    if ((payload[0] & 0x10) != 0 && header + 4 <= length) {
        size_t words = (size_t{payload[header + 2]} << 8) | payload[header + 3];
        header = std::min(length, header + 4 + 4 * words);
    }
    return header;
}

}  // namespace

bool RtpStreamRegistry::extractStream(const RtpStream& stream, const std::string& path,
                                      bool recordHeaders, bool rtpHeaders) const {
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(path.c_str(), "wb"));
    if (!out) {
        return false;
    }
    CaptureFileReader reader;
    if (!reader.open(path_) || !reader.seek(stream.firstOffset)) {
        // Reported as a failure: an empty file would look like a stream without media.
        out.reset();
        std::remove(path.c_str());
        return false;
    }
    FrameInfo frame;
    bool written = true;
    while (written && reader.nextFrame(frame)) {
        MediaPacket packet = MediaPacket::of(frame);
        if (matchStream(packet, stream, true) == StreamMatch::Rtp) {
            // Ethernet padding after a short datagram is not part of the RTP packet.
            if (frame.udpLength >= 8 && frame.udpLength - 8u < packet.length) {
                packet.length = frame.udpLength - 8u;
            }
            size_t skip = 0;
            std::optional<size_t> header = rtpHeaderLength(packet.payload, packet.length);
            if (!rtpHeaders) {
                skip = header.value_or(packet.length + 1);
            }
            if (skip <= packet.length) {
                const size_t data = packet.length - skip;
                if (recordHeaders) {
                    uint8_t record[12] = {};
                    putBigEndian32(record, static_cast<uint32_t>(frame.seconds));
                    putBigEndian32(record + 4, static_cast<uint32_t>(frame.microseconds));
                    record[10] = static_cast<uint8_t>(data >> 8);
                    record[11] = static_cast<uint8_t>(data);
                    written = std::fwrite(record, 1, sizeof record, out.get()) == sizeof record;
                }
                if (written && data > 0) {
                    written = std::fwrite(packet.payload + skip, 1, data, out.get()) == data;
                }
            }
        }
        if (frame.fileOffset >= stream.lastOffset) {
            break;
        }
    }
    std::FILE* file = out.release();
    bool closed = std::fclose(file) == 0;
    return written && closed;
}

}  // namespace varlowe
