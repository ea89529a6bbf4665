#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/capture/packet_time.h"

namespace varlowe {

class AnalysisModel;
class RtpStreamRegistry;
struct RtpStream;

// One RFC 4733 telephone-event payload: the event, the end bit, the volume (dBm0 below 0)
// and the duration in the stream's clock units.
struct TelephoneEvent {
    int event = 0;
    bool end = false;
    int volume = 0;
    uint16_t duration = 0;
};
// None for a payload shorter than the four bytes of an event.
std::optional<TelephoneEvent> parseTelephoneEvent(const uint8_t* data, size_t length);
// '0'-'9', '*', '#', 'A'-'D' for events 0 to 15, '!' for a flash (16); none for the others.
std::optional<char> eventDigit(int event);

// A key pressed: from a telephone-event stream or a SIP INFO.
struct DtmfDigit {
    PacketTime time;  // the event's first packet, or the INFO's
    char digit = '?';
    int durationMs = 0;
    int volume = -1;  // -1 when unknown (an INFO)
    std::string source;
    std::string destination;
    bool fromInfo = false;
};

// Turns the packets of one telephone-event stream into digits: one digit per event (the
// packets of one event share their RTP timestamp), its duration the longest the packets gave
// (the end bit's retransmissions, and repeated events, taken once).
class TelephoneEventDigits {
  public:
    explicit TelephoneEventDigits(int clockRate) : clockRate_(clockRate > 0 ? clockRate : 8000) {}
    void add(uint32_t rtpTimestamp, PacketTime time, const TelephoneEvent& event,
             const std::string& source, const std::string& destination);
    const std::vector<DtmfDigit>& digits() const { return digits_; }

  private:
    int clockRate_;
    std::optional<uint32_t> lastTimestamp_;
    int lastEvent_ = -1;
    uint16_t longest_ = 0;
    std::vector<DtmfDigit> digits_;
};

// The digit of a SIP INFO body: "application/dtmf-relay" ("Signal=5", "Duration=160") or
// "application/dtmf" (the digit alone); the duration in ms when the body gives one.
std::optional<std::pair<char, int>> infoDigit(std::string_view contentType, std::string_view body);

bool isTelephoneEvent(const RtpStream& stream);
// The digits of one telephone-event stream, read again from the capture; none when it cannot
// be read.
std::vector<DtmfDigit> streamDigits(const RtpStreamRegistry& registry, const RtpStream& stream);

// Every digit of the capture in time order: the telephone-event streams read again from the
// file, and the SIP INFO bodies.
std::vector<DtmfDigit> captureDigits(const AnalysisModel& model);

}  // namespace varlowe
