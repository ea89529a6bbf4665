#include "stream_audio.h"

#include <opus/opus.h>
#include <sndfile.h>
#include <spandsp.h>

#include <algorithm>
#include <memory>

#include "engine/text_search.h"
#include "media_packet.h"
#include "rtp_header.h"
#include "rtp_stream.h"
#include "rtp_stream_registry.h"

namespace varlowe {

namespace {

enum class Codec { None, Pcmu, Pcma, G722, Opus };

Codec codecOf(const RtpStream& stream) {
    const std::string& name = stream.encodingName;
    if (equalsIgnoringCase(name, "PCMU") || (name.empty() && stream.payloadType == 0)) {
        return Codec::Pcmu;
    }
    if (equalsIgnoringCase(name, "PCMA") || (name.empty() && stream.payloadType == 8)) {
        return Codec::Pcma;
    }
    if (equalsIgnoringCase(name, "G722") || (name.empty() && stream.payloadType == 9)) {
        return Codec::G722;
    }
    if (equalsIgnoringCase(name, "opus")) {
        return Codec::Opus;
    }
    return Codec::None;
}

// Output samples per RTP timestamp tick, and the output rate.
struct Rates {
    int32_t perTick;
    int32_t sampleRate;
};
Rates ratesOf(Codec codec) {
    switch (codec) {
        case Codec::G722:
            return {2, 16000};  // RTP's G.722 clock is 8 kHz for 16 kHz audio (RFC 3551)
        case Codec::Opus:
            return {1, 48000};
        default:
            return {1, 8000};
    }
}

// The payload of an RTP packet: after the CSRCs and the extension, without the padding.
bool payloadOf(const uint8_t* data, size_t length, const uint8_t*& payload, size_t& size) {
    const std::optional<size_t> at = rtpHeaderLength(data, length);
    if (!at) {
        return false;
    }
    size_t end = length;
    if ((data[0] & 0x20) != 0 && end > *at) {
        const size_t padding = data[end - 1];
        end = padding <= end - *at ? end - padding : *at;
    }
    payload = data + *at;
    size = end - *at;
    return true;
}

struct Packet {
    int64_t sequence;   // extended across wraps
    int64_t timestamp;  // extended across wraps, in sequence order
    std::vector<uint8_t> payload;
};

class Decoder {
  public:
    explicit Decoder(Codec codec) : codec_(codec) {
        if (codec == Codec::G722) {
            g722_ = g722_decode_init(nullptr, 64000, 0);
        } else if (codec == Codec::Opus) {
            int status = 0;
            opus_ = opus_decoder_create(48000, 1, &status);
            if (status != OPUS_OK) {
                opus_ = nullptr;
            }
        }
    }
    ~Decoder() {
        if (g722_ != nullptr) {
            g722_decode_free(g722_);
        }
        if (opus_ != nullptr) {
            opus_decoder_destroy(opus_);
        }
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    bool ready() const {
        return codec_ == Codec::Pcmu || codec_ == Codec::Pcma ||
               (codec_ == Codec::G722 && g722_ != nullptr) ||
               (codec_ == Codec::Opus && opus_ != nullptr);
    }

    // Appends the packet's samples to `out`.
    void decode(const std::vector<uint8_t>& payload, std::vector<int16_t>& out) {
        switch (codec_) {
            case Codec::Pcmu:
                for (uint8_t byte : payload) out.push_back(ulaw_to_linear(byte));
                break;
            case Codec::Pcma:
                for (uint8_t byte : payload) out.push_back(alaw_to_linear(byte));
                break;
            case Codec::G722: {
                const size_t at = out.size();
                out.resize(at + payload.size() * 2);
                const int made = g722_decode(g722_, out.data() + at, payload.data(),
                                             static_cast<int>(payload.size()));
                out.resize(at + static_cast<size_t>(std::max(made, 0)));
                break;
            }
            case Codec::Opus: {
                constexpr int kMaxFrame = 5760;  // 120 ms at 48 kHz
                const size_t at = out.size();
                out.resize(at + kMaxFrame);
                const int made =
                    opus_decode(opus_, payload.data(), static_cast<opus_int32>(payload.size()),
                                out.data() + at, kMaxFrame, 0);
                out.resize(at + static_cast<size_t>(std::max(made, 0)));
                break;
            }
            case Codec::None:
                break;
        }
    }

  private:
    Codec codec_;
    g722_decode_state_t* g722_ = nullptr;
    OpusDecoder* opus_ = nullptr;
};

}  // namespace

bool canDecodeAudio(const RtpStream& stream) {
    return codecOf(stream) != Codec::None;
}

std::vector<const RtpStream*> audioChannelsOf(const std::vector<const RtpStream*>& streams) {
    std::vector<const RtpStream*> out;
    for (const RtpStream* stream : streams) {
        if (stream != nullptr && stream->packets > 0 && canDecodeAudio(*stream) && out.size() < 2) {
            out.push_back(stream);
        }
    }
    return out;
}

std::optional<StreamAudio> decodeStreamAudio(const RtpStreamRegistry& registry,
                                             const RtpStream& stream, std::string& error) {
    const Codec codec = codecOf(stream);
    Decoder decoder(codec);
    if (!decoder.ready()) {
        error = "The stream's encoding (" + stream.encodingName + ") cannot be decoded";
        return std::nullopt;
    }
    std::vector<Packet> packets;
    StreamAudio audio;
    bool first = true;
    uint16_t lastSequence = 0;
    int64_t extended = 0;
    const bool read = registry.visitStreamPackets(stream, [&](const MediaPacket& packet) {
        const size_t length = packet.datagramLength();
        const std::optional<RtpHeader> header = RtpHeader::parse(packet.payload, length);
        const uint8_t* payload = nullptr;
        size_t size = 0;
        if (!header || !payloadOf(packet.payload, length, payload, size)) {
            return true;
        }
        if (first) {
            audio.start = packet.time;
            first = false;
        } else {
            extended += static_cast<int16_t>(header->sequence - lastSequence);
        }
        lastSequence = header->sequence;
        packets.push_back(
            Packet{extended, header->timestamp, std::vector<uint8_t>(payload, payload + size)});
        return true;
    });
    if (!read) {
        error = "The capture could not be read again";
        return std::nullopt;
    }
    std::stable_sort(packets.begin(), packets.end(),
                     [](const Packet& a, const Packet& b) { return a.sequence < b.sequence; });
    const Rates rates = ratesOf(codec);
    audio.sampleRate = rates.sampleRate;
    constexpr int64_t kLongestJumpSeconds = 60;
    int64_t origin = 0;  // output sample of timestamp offset 0
    int64_t previousSequence = 0;
    uint32_t previousTimestamp = 0;
    int64_t timestampOffset = 0;  // extended timestamp relative to the first packet
    std::vector<int16_t> decoded;
    for (size_t i = 0; i < packets.size(); ++i) {
        const Packet& p = packets[i];
        const uint32_t timestamp = static_cast<uint32_t>(p.timestamp);
        if (i > 0) {
            if (p.sequence == previousSequence) {
                continue;  // a repeat
            }
            timestampOffset += static_cast<int32_t>(timestamp - previousTimestamp);
        }
        previousSequence = p.sequence;
        previousTimestamp = timestamp;
        int64_t at = origin + timestampOffset * rates.perTick;
        const int64_t end = static_cast<int64_t>(audio.samples.size());
        if (at < 0 || at - end > kLongestJumpSeconds * rates.sampleRate) {
            // A restart or a jump no call has: go on where the audio ends.
            origin += end - at;
            at = end;
        }
        decoded.clear();
        decoder.decode(p.payload, decoded);
        if (at + static_cast<int64_t>(decoded.size()) > end) {
            audio.samples.resize(static_cast<size_t>(at + static_cast<int64_t>(decoded.size())), 0);
        }
        std::copy(decoded.begin(), decoded.end(), audio.samples.begin() + at);
    }
    return audio;
}

std::optional<MixedAudio> alignChannels(const std::vector<StreamAudio>& channels,
                                        std::string& error) {
    MixedAudio mixed;
    if (channels.empty()) {
        error = "No stream to write";
        return std::nullopt;
    }
    PacketTime earliest = channels.front().start;
    for (const StreamAudio& channel : channels) {
        mixed.sampleRate = std::max(mixed.sampleRate, channel.sampleRate);
        if (timeDifference(channel.start, earliest).seconds < 0 ||
            (timeDifference(channel.start, earliest).seconds == 0 &&
             timeDifference(channel.start, earliest).microseconds < 0)) {
            earliest = channel.start;
        }
    }
    struct Placed {
        int64_t offset;
        int32_t repeat;
    };
    std::vector<Placed> placed;
    size_t frames = 0;
    for (const StreamAudio& channel : channels) {
        if (channel.sampleRate <= 0 || mixed.sampleRate % channel.sampleRate != 0) {
            error = "The streams' sample rates (" + std::to_string(channel.sampleRate) + " and " +
                    std::to_string(mixed.sampleRate) + " Hz) cannot be put side by side";
            return std::nullopt;
        }
        const PacketTime late = timeDifference(channel.start, earliest);
        const int64_t microseconds = late.seconds * 1000000 + late.microseconds;
        Placed p{(microseconds * mixed.sampleRate + 500000) / 1000000,
                 mixed.sampleRate / channel.sampleRate};
        frames = std::max(frames, static_cast<size_t>(p.offset) +
                                      channel.samples.size() * static_cast<size_t>(p.repeat));
        placed.push_back(p);
    }
    mixed.channels = static_cast<int32_t>(channels.size());
    mixed.interleaved.assign(frames * channels.size(), 0);
    for (size_t c = 0; c < channels.size(); ++c) {
        size_t frame = static_cast<size_t>(placed[c].offset);
        for (int16_t sample : channels[c].samples) {
            for (int32_t r = 0; r < placed[c].repeat; ++r, ++frame) {
                mixed.interleaved[frame * channels.size() + c] = sample;
            }
        }
    }
    return mixed;
}

SaveOutcome writeWav(const MixedAudio& audio, const std::string& path,
                     const std::string& protectedPath) {
    OutputFile file(path, protectedPath);
    if (file.state() != SaveOutcome::Saved) {
        return file.state();
    }
    std::fflush(file.stream());
    SF_INFO info{};
    info.samplerate = audio.sampleRate;
    info.channels = audio.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* sound = sf_open_fd(fileno(file.stream()), SFM_WRITE, &info, SF_FALSE);
    if (sound == nullptr) {
        return SaveOutcome::Failed;  // the temporary file goes with `file`
    }
    const sf_count_t frames =
        static_cast<sf_count_t>(audio.interleaved.size() / static_cast<size_t>(audio.channels));
    const bool written = sf_writef_short(sound, audio.interleaved.data(), frames) == frames;
    const bool closed = sf_close(sound) == 0;
    if (!written || !closed) {
        return SaveOutcome::Failed;
    }
    return file.commit();
}

}  // namespace varlowe
