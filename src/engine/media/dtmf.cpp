#include "dtmf.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "engine/capture/ipv6_address.h"
#include "engine/sip/analysis_model.h"
#include "engine/text_search.h"
#include "rtp_header.h"
#include "rtp_stream.h"
#include "rtp_stream_registry.h"

namespace varlowe {

namespace {

bool sameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

// The digit a body names: one of "0123456789*#ABCD" (any case), or an event number 0-16.
std::optional<char> digitOf(std::string_view text) {
    text = trimmed(text);
    if (text.size() == 1) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
        if ((c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D')) {
            return c;
        }
    }
    if (text.size() == 2 && std::isdigit(static_cast<unsigned char>(text[0])) &&
        std::isdigit(static_cast<unsigned char>(text[1]))) {
        return eventDigit((text[0] - '0') * 10 + (text[1] - '0'));
    }
    return std::nullopt;
}

}  // namespace

std::optional<TelephoneEvent> parseTelephoneEvent(const uint8_t* data, size_t length) {
    if (data == nullptr || length < 4) {
        return std::nullopt;
    }
    TelephoneEvent event;
    event.event = data[0];
    event.end = (data[1] & 0x80) != 0;
    event.volume = data[1] & 0x3f;
    event.duration = static_cast<uint16_t>((data[2] << 8) | data[3]);
    return event;
}

std::optional<char> eventDigit(int event) {
    static const char kDigits[] = "0123456789*#ABCD!";
    if (event < 0 || event > 16) {
        return std::nullopt;
    }
    return kDigits[event];
}

void TelephoneEventDigits::add(uint32_t rtpTimestamp, PacketTime time, const TelephoneEvent& event,
                               const std::string& source, const std::string& destination) {
    const std::optional<char> digit = eventDigit(event.event);
    if (!digit) {
        return;
    }
    // The packets of one event carry its start's timestamp: a new timestamp (or another
    // event at the same one) is a new key press, the others lengthen the current one.
    if (!lastTimestamp_ || *lastTimestamp_ != rtpTimestamp || lastEvent_ != event.event) {
        DtmfDigit pressed;
        pressed.time = time;
        pressed.digit = *digit;
        pressed.volume = event.volume;
        pressed.source = source;
        pressed.destination = destination;
        digits_.push_back(std::move(pressed));
        lastTimestamp_ = rtpTimestamp;
        lastEvent_ = event.event;
        longest_ = 0;
    }
    if (event.duration > longest_) {
        longest_ = event.duration;
        digits_.back().durationMs =
            static_cast<int>(std::lround(longest_ * 1000.0 / static_cast<double>(clockRate_)));
    }
}

std::optional<std::pair<char, int>> infoDigit(std::string_view contentType, std::string_view body) {
    const std::string_view type = trimmed(contentType.substr(0, contentType.find(';')));
    if (sameText(type, "application/dtmf")) {
        if (std::optional<char> digit = digitOf(body)) {
            return std::make_pair(*digit, 0);
        }
        return std::nullopt;
    }
    if (!sameText(type, "application/dtmf-relay")) {
        return std::nullopt;
    }
    std::optional<char> digit;
    int duration = 0;
    while (!body.empty()) {
        const size_t end = findLineEnd(body);
        const std::string_view line = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view name = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (sameText(name, "Signal")) {
            digit = digitOf(value);
        } else if (sameText(name, "Duration")) {
            duration = 0;
            for (char c : value) {
                if (!std::isdigit(static_cast<unsigned char>(c)) || duration > 100000000) {
                    break;
                }
                duration = duration * 10 + (c - '0');
            }
        }
    }
    if (!digit) {
        return std::nullopt;
    }
    return std::make_pair(*digit, duration);
}

bool isTelephoneEvent(const RtpStream& stream) {
    return sameText(stream.encodingName, "telephone-event");
}

std::vector<DtmfDigit> streamDigits(const RtpStreamRegistry& registry, const RtpStream& stream) {
    const PacketRecord& first = stream.firstPacket();
    const std::string source = endpointText(first.sourceAddress, first.sourcePort);
    const std::string destination = endpointText(first.destinationAddress, first.destinationPort);
    TelephoneEventDigits events(stream.clockRate);
    registry.visitStreamPackets(stream, [&](const MediaPacket& packet) {
        const std::optional<RtpHeader> header = RtpHeader::parse(packet.payload, packet.length);
        const std::optional<size_t> size = rtpHeaderLength(packet.payload, packet.length);
        if (header && size) {
            if (std::optional<TelephoneEvent> event =
                    parseTelephoneEvent(packet.payload + *size, packet.length - *size)) {
                events.add(header->timestamp, packet.time, *event, source, destination);
            }
        }
        return true;
    });
    return events.digits();
}

std::vector<DtmfDigit> captureDigits(const AnalysisModel& model) {
    std::vector<DtmfDigit> digits;
    const RtpStreamRegistry* registry = model.streamRegistry();
    for (size_t i = 0; i < model.itemCount(); ++i) {
        const AnalysisItem& item = model.item(ItemIndex(i));
        if (item.kind == ItemKind::Media && item.stream != nullptr && registry != nullptr &&
            isTelephoneEvent(*item.stream)) {
            const std::vector<DtmfDigit> found = streamDigits(*registry, *item.stream);
            digits.insert(digits.end(), found.begin(), found.end());
        } else if (item.sip && !item.sip->isResponse() && item.sip->method() &&
                   *item.sip->method() == "INFO") {
            const SipMessage info = model.sipMessage(item);
            const std::optional<std::string_view> type = info.header("Content-Type");
            const std::optional<std::string_view> body = info.body();
            if (type && body) {
                if (std::optional<std::pair<char, int>> pressed = infoDigit(*type, *body)) {
                    DtmfDigit digit;
                    digit.time = item.packet.time();
                    digit.digit = pressed->first;
                    digit.durationMs = pressed->second;
                    digit.source =
                        endpointText(item.packet.sourceAddress(), item.packet.sourcePort());
                    digit.destination = endpointText(item.packet.destinationAddress(),
                                                     item.packet.destinationPort());
                    digit.fromInfo = true;
                    digits.push_back(std::move(digit));
                }
            }
        }
    }
    std::stable_sort(digits.begin(), digits.end(), [](const DtmfDigit& a, const DtmfDigit& b) {
        return a.time.seconds != b.time.seconds ? a.time.seconds < b.time.seconds
                                                : a.time.microseconds < b.time.microseconds;
    });
    return digits;
}

}  // namespace varlowe
