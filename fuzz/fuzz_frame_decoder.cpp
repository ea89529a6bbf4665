// One captured frame's bytes: the first byte picks the link layer, the rest is the frame.
// The decoder reads nothing outside the span, and what it accepts lies inside it.
#include <vector>

#include "engine/capture/frame_decoder.h"
#include "fuzz_support.h"

using namespace varlowe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzing::silenceDiagnostics();
    if (size == 0) {
        return 0;
    }
    static constexpr uint32_t kLinkTypes[] = {0, 1, 101, 113, 228, 276, 105, 9};
    const uint32_t linkType = kLinkTypes[data[0] % (sizeof kLinkTypes / sizeof kLinkTypes[0])];
    std::vector<uint8_t> frameBytes(data + 1, data + size);  // exactly the frame, for ASan
    static FrameDecoder decoder;  // across inputs, so fragments meet their datagrams
    FrameInfo frame;
    frame.number = 1;
    const size_t heldBefore = decoder.fragments().heldFragments();
    const FrameDecoder::Result result =
        decoder.decode(frameBytes.data(), static_cast<uint32_t>(frameBytes.size()),
                       static_cast<uint32_t>(frameBytes.size()), linkType, frame);
    // A datagram made of fragments (the held ones released) may be longer than its last frame.
    const bool reassembled = decoder.fragments().heldFragments() < heldBefore;
    if (result == FrameDecoder::Result::Accepted && !reassembled &&
        frame.payloadLength > frameBytes.size()) {
        __builtin_trap();  // a whole frame's payload is part of the frame
    }
    return 0;
}
