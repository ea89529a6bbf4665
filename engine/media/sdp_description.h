#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace varlowe {

struct PayloadTypeSlot {
    bool present = false;
    std::string encodingName;
    int32_t clockRate = 0;
};

struct SdpConnection {
    std::string networkType;
    std::string addressType;
    std::string address;
};

struct SdpMedia {
    std::string port;
    std::string transport;
    std::string formats;  // everything after the transport, unsplit
    SdpConnection connection;
    std::array<PayloadTypeSlot, 128> payloadTypes;
};

// The parts of an SDP body that announce RTP streams: origin, connections, the audio and the
// video description with their payload types (the static ones of RFC 3551 preset).
class SdpDescription {
  public:
    enum class Kind { Audio, Video };

    explicit SdpDescription(const std::string& body);

    // Origin texts in order: user name, session id, version, network type, address type,
    // address.
    const std::array<std::string, 6>& origin() const { return origin_; }
    const SdpConnection& sessionConnection() const { return session_; }
    const SdpMedia& audio() const { return audio_; }
    const SdpMedia& video() const { return video_; }

    // The connection address that applies: the media's own, else the session's, else the
    // origin's; none when all are empty.
    std::optional<std::string> audioAddress() const { return addressOf(audio_); }
    std::optional<std::string> videoAddress() const { return addressOf(video_); }
    bool isMediaAddress(const std::string& address) const;

  private:
    std::optional<std::string> addressOf(const SdpMedia& media) const;
    void handleLine(const std::string& line);

    std::array<std::string, 6> origin_;
    SdpConnection session_;
    SdpMedia audio_;
    SdpMedia video_;
    Kind current_ = Kind::Audio;
    bool inMediaDescription_ = false;
};

}  // namespace varlowe
