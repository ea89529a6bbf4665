#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/capture/packet_time.h"
#include "engine/output_file.h"

namespace varlowe {

class RtpStreamRegistry;
struct RtpStream;

// One stream's audio as 16-bit PCM, mono.
struct StreamAudio {
    int32_t sampleRate = 0;
    PacketTime start;  // capture time of the first packet
    std::vector<int16_t> samples;
};

// Whether the stream's encoding can be decoded: PCMU, PCMA, G722, opus.
bool canDecodeAudio(const RtpStream& stream);

// The streams an item's audio is made of: those with packets that can be decoded, at most
// two (a call's two directions), in the order given.
std::vector<const RtpStream*> audioChannelsOf(const std::vector<const RtpStream*>& streams);

// Decodes the stream read again from the capture: packets in sequence order (repeats taken
// once), each at the place its RTP timestamp gives, so that lost packets and silence leave
// zeros of their length. A jump of more than a minute is taken as a restart and closed up.
// None with `error` set when the encoding is not decodable or the capture cannot be read.
std::optional<StreamAudio> decodeStreamAudio(const RtpStreamRegistry& registry,
                                             const RtpStream& stream, std::string& error);

// Interleaves streams as the channels of one recording aligned by capture time (the earliest
// start at the beginning, shorter channels filled with silence); a channel at a lower rate is
// repeated up to the highest rate when that is a whole multiple, else none with `error` set.
struct MixedAudio {
    int32_t sampleRate = 0;
    int32_t channels = 0;
    std::vector<int16_t> interleaved;
};
std::optional<MixedAudio> alignChannels(const std::vector<StreamAudio>& channels,
                                        std::string& error);

// Writes a 16-bit PCM WAV file, completely or not at all.
SaveOutcome writeWav(const MixedAudio& audio, const std::string& path,
                     const std::string& protectedPath);

}  // namespace varlowe
