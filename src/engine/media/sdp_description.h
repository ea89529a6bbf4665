#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varlowe {

struct PayloadTypeSlot {
    bool present = false;
    std::string encodingName;
    int32_t clockRate = 0;
};

// A payload type with its slot.
struct PayloadTypeEntry {
    int32_t type = 0;
    PayloadTypeSlot slot;
};

// A present payload type as its media description holds it: the name is valid while the
// description lives.
struct PayloadTypeView {
    int32_t type = 0;
    std::string_view encodingName;
    int32_t clockRate = 0;
};

struct SdpConnection {
    std::string networkType;
    std::string addressType;
    std::string address;
};

// One media description. Its payload-type table holds the 128 slots of types 0 to 127: the
// static types of its kind (RFC 3551) are preset and rtpmap lines add or override slots.
// Only the slots that rtpmap lines named are stored; the presets come from one shared table,
// so that the thousands of SDP bodies of a long capture do not each hold 128 slots.
struct SdpMedia {
    std::string port;
    std::string transport;
    std::string formats;  // everything after the transport, unsplit
    SdpConnection connection;

    // The slot of a payload type; absent (present false) for types outside 0 to 127.
    PayloadTypeSlot payloadType(int32_t type) const;
    // Every present slot in ascending payload-type order.
    std::vector<PayloadTypeView> presentPayloadTypes() const;
    // Marks the slot present with the mapping of an rtpmap line (type 0 to 127).
    void mapPayloadType(int32_t type, std::string encodingName, int32_t clockRate);
    // True when the description itself names the type: in its format list or an rtpmap line
    // (a preset slot alone does not).
    bool namesPayloadType(int32_t type) const;

    // The static types of the kind: true for audio, false for video.
    bool audioPresets = true;

  private:
    std::vector<PayloadTypeEntry> mapped_;  // ascending, each type once
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
    void handleLine(std::string_view line);

    std::array<std::string, 6> origin_;
    SdpConnection session_;
    SdpMedia audio_;
    SdpMedia video_;
    Kind current_ = Kind::Audio;
    bool inMediaDescription_ = false;
};

}  // namespace varlowe
