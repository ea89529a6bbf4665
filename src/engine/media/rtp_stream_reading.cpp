// Reading a stream's packets again from its capture, from its first packet to its last.
#include <optional>

#include "engine/capture/capture_file_reader.h"
#include "engine/capture/frame_info.h"
#include "rtp_stream_registry.h"

namespace varlowe {

std::optional<size_t> RtpStreamRegistry::walkStreamFrames(const RtpStream& stream,
                                                          const FrameVisit& visit) const {
    CaptureFileReader reader;
    if (!reader.open(path_)) {
        return std::nullopt;
    }
    reader.useLayout(layout_);
    reader.setDecodeHep(decodeHep_);
    if (!reader.seek(stream.firstOffset)) {
        return std::nullopt;
    }
    FrameInfo frame;
    size_t frames = 0;
    uint64_t record = 0;
    while (reader.nextFrame(frame, &record)) {
        ++frames;
        MediaPacket packet = MediaPacket::of(frame);
        if (matchStream(packet, stream, true) == StreamMatch::Rtp && !visit(frame, packet)) {
            break;
        }
        if (record >= stream.lastOffset) {
            break;
        }
    }
    return frames;
}

bool RtpStreamRegistry::forEachStreamPacket(
    const RtpStream& stream, const std::function<bool(const PacketRecord*)>& visit) const {
    std::optional<size_t> frames =
        walkStreamFrames(stream, [&visit](const FrameInfo& frame, const MediaPacket&) {
            PacketRecord record = PacketRecord::fromFrame(frame);
            return visit(&record);
        });
    if (!frames) {
        return false;
    }
    visit(nullptr);
    return *frames > 0;
}

bool RtpStreamRegistry::visitStreamPackets(
    const RtpStream& stream, const std::function<bool(const MediaPacket& packet)>& visit) const {
    return walkStreamFrames(
               stream, [&](const FrameInfo&, const MediaPacket& packet) { return visit(packet); })
        .has_value();
}

}  // namespace varlowe
