#include "frame_rereader.h"

namespace varlowe {

namespace {
// The fragments of one datagram lie close together; a search that goes further is not
// finding the frame.
constexpr int kMaxFramesRead = 4096;
// Reads come one record at a time, mostly near the last: a buffer of the pass's size would
// be refilled whole for each read elsewhere in the file.
constexpr size_t kBufferSize = 64 * 1024;
}  // namespace

bool FrameRereader::open(const std::string& path, bool includeUdp, bool includeTcp,
                         bool decodeHep) {
    std::lock_guard<std::mutex> lock(mutex_);
    reader_.setBufferSize(kBufferSize);
    if (!reader_.open(path)) {
        return false;
    }
    path_ = path;
    includeUdp_ = includeUdp;
    includeTcp_ = includeTcp;
    decodeHep_ = decodeHep;
    reader_.setIncludeUdp(includeUdp);
    reader_.setIncludeTcp(includeTcp);
    reader_.setDecodeHep(decodeHep);
    return true;
}

void FrameRereader::useLayout(const CaptureLayout& layout) {
    std::lock_guard<std::mutex> lock(mutex_);
    layout_ = layout;
    reader_.useLayout(layout);
}

std::unique_ptr<FrameRereader> FrameRereader::another() const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto other = std::make_unique<FrameRereader>();
    if (path_.empty() || !other->open(path_, includeUdp_, includeTcp_, decodeHep_)) {
        return nullptr;
    }
    other->useLayout(layout_);
    return other;
}

bool FrameRereader::read(const PacketNumbers& packet, FrameInfo& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!reader_.isOpen() || !reader_.seek(packet.fileOffset)) {
        return false;
    }
    for (int read = 0; read < kMaxFramesRead && reader_.nextFrame(frame); ++read) {
        if (frame.fileOffset == packet.fileOffset && frame.seconds == packet.seconds &&
            frame.microseconds == packet.microseconds &&
            frame.payloadLength == packet.payloadLength) {
            return true;
        }
    }
    return false;
}

}  // namespace varlowe
