#include "stream_quality.h"

#include <algorithm>
#include <cmath>

#include "engine/text_search.h"

namespace varlowe {

namespace {

constexpr int32_t kComfortNoise = 13;
constexpr int32_t kOldComfortNoise = 19;

bool isComfortNoise(int32_t payloadType) {
    return payloadType == kComfortNoise || payloadType == kOldComfortNoise;
}

// RFC 3551's static rates (0: unassigned or unknown).
int32_t staticClockRate(int32_t payloadType) {
    static const int32_t kRates[35] = {8000, 0,     0,     8000, 8000,  8000,  16000, 8000,  8000,
                                       8000, 44100, 44100, 8000, 8000,  90000, 8000,  11025, 22050,
                                       8000, 0,     0,     0,    0,     0,     0,     90000, 90000,
                                       0,    90000, 0,     0,    90000, 90000, 90000, 90000};
    return payloadType >= 0 && payloadType < 35 ? kRates[payloadType] : 0;
}

// A time from the origin in milliseconds, computed as tshark does from its relative time
// (whole seconds and nanoseconds), so that figures round alike.
double millisecondsFrom(PacketTime time, PacketTime origin) {
    int64_t seconds = time.seconds - origin.seconds;
    int64_t microseconds = time.microseconds - origin.microseconds;
    if (microseconds < 0) {
        microseconds += 1000000;
        --seconds;
    }
    return static_cast<double>(seconds) * 1000 + static_cast<double>(microseconds * 1000) / 1000000;
}

}  // namespace

int32_t jitterClockRate(int32_t payloadType, const std::string& encodingName, int32_t sdpRate) {
    if (payloadType < 96) {
        return staticClockRate(payloadType);
    }
    // Events keep one timestamp for all their packets (RFC 4733 2.2.1).
    if (encodingName.size() >= 15 &&
        equalsIgnoringCase(std::string_view(encodingName).substr(0, 15), "telephone-event")) {
        return 0;
    }
    return std::max(sdpRate, 0);
}

void StreamQuality::add(uint16_t sequence, uint32_t timestamp, bool marker, int32_t payloadType,
                        PacketTime time, PacketTime origin, uint32_t packetNumber,
                        int32_t clockRate) {
    const double arrivalMs = millisecondsFrom(time, origin);
    if (packets == 0) {
        startSequence = stopSequence = inOrderSequence = sequence;
        firstTimestamp = lastTimestamp = timestamp;
        lastPayloadType = payloadType;
        firstTime = lastTime = time;
        lastArrivalMs = arrivalMs;
        packets = 1;
        return;
    }
    // A timestamp within half the number space after the first one: the packet is in time
    // order, so a lower sequence number means the numbers wrapped.
    const bool inTime = static_cast<uint32_t>(timestamp - firstTimestamp) < 0x80000000u;
    if (inTime) {
        if (!underStart && (sequence < startSequence || (sequence == 0 && stopSequence == 65535))) {
            ++sequenceCycles;
            underStart = true;
        } else if (underStart && sequence > startSequence) {
            underStart = false;
        }
    }
    if (sequence == stopSequence) {
        ++duplicates;
    }
    const uint16_t next = static_cast<uint16_t>(inOrderSequence + 1);
    if (inTime && sequence == next) {
        inOrderSequence = sequence;
    } else if (inTime && (sequence > next || inOrderSequence - sequence > 0xFF00)) {
        inOrderSequence = sequence;  // numbers skipped
        ++sequenceErrors;
    } else if (sequence != next) {
        ++sequenceErrors;  // late or repeated
    }

    const bool comfortNoise = isComfortNoise(payloadType);
    const bool afterComfortNoise = isComfortNoise(lastPayloadType);
    lastPayloadType = payloadType;

    // A timestamp before the previous one (a late packet) counts back, not round the wrap.
    timestampOffset += static_cast<int32_t>(timestamp - lastTimestamp);
    deltaMs = arrivalMs - lastArrivalMs;
    double currentJitter = 0;
    if (clockRate != 0) {
        // Whole ticks per millisecond, as tshark divides.
        const double nominalMs = static_cast<double>(timestampOffset) /
                                 static_cast<double>(clockRate / 1000 == 0 ? 1 : clockRate / 1000);
        const double expectedMs = lastArrivalMs + (nominalMs - lastNominalMs);
        const double transitChange = std::fabs(arrivalMs - expectedMs);
        currentJitter = (15 * jitterMs + transitChange) / 16;
        jitterMs = currentJitter;
        lastNominalMs = nominalMs;
    }
    const bool regular = !marker && !comfortNoise && !afterComfortNoise;
    if (regular) {
        if (deltaMs > maxDeltaMs) {
            maxDeltaMs = deltaMs;
            maxDeltaPacket = packetNumber;
            maxDeltaTime = timeDifference(time, firstTime);
        }
        const double counted = static_cast<double>(packets);
        meanDeltaMs = (meanDeltaMs * (counted - 1) + deltaMs) / counted;
        if (clockRate != 0) {
            maxJitterMs = std::max(maxJitterMs, currentJitter);
            meanJitterMs = (meanJitterMs * (counted - 1) + currentJitter) / counted;
        }
    }
    lastTimestamp = timestamp;
    lastTime = time;
    lastArrivalMs = arrivalMs;
    stopSequence = sequence;
    ++packets;
}

int64_t StreamQuality::expected() const {
    if (packets == 0) {
        return 0;
    }
    return int64_t{stopSequence} + int64_t{sequenceCycles} * 65536 - startSequence + 1;
}

double StreamQuality::lostPercent() const {
    const int64_t expect = expected();
    return expect == 0 ? 0.0 : static_cast<double>(lost()) * 100.0 / static_cast<double>(expect);
}

double estimatedMos(const std::string& encodingName, double lostPercent, double maxJitterMs,
                    double meanDeltaMs) {
    struct Codec {
        const char* name;
        double impairment;  // Ie
        double robustness;  // Bpl, random loss, with concealment where the codec has it
    };
    // ITU-T G.113 Appendix I; wideband codecs on the narrowband scale as G.711.
    static const Codec kCodecs[] = {
        {"PCMU", 0, 25.1},    {"PCMA", 0, 25.1},    {"G722", 0, 25.1},   {"opus", 0, 25.1},
        {"G729", 11, 19.0},   {"G729a", 11, 19.0},  {"G723", 15, 16.1},  {"GSM", 20, 10.0},
        {"GSM-EFR", 5, 10.0}, {"AMR", 5, 10.0},     {"AMR-WB", 0, 10.0}, {"iLBC", 10, 32.0},
        {"speex", 11, 19.0},  {"G726-32", 7, 25.1}, {"L16", 0, 25.1},    {"SILK", 0, 25.1},
    };
    const Codec* codec = nullptr;
    for (const Codec& known : kCodecs) {
        if (equalsIgnoringCase(encodingName, known.name)) {
            codec = &known;
            break;
        }
    }
    if (codec == nullptr) {
        return -1;
    }
    const double loss = std::clamp(lostPercent, 0.0, 100.0);
    const double delay = std::max(meanDeltaMs, 0.0) + 2 * std::max(maxJitterMs, 0.0);
    const double delayImpairment = 0.024 * delay + (delay > 177.3 ? 0.11 * (delay - 177.3) : 0.0);
    const double effectiveImpairment =
        codec->impairment + (95 - codec->impairment) * loss / (loss + codec->robustness);
    const double r = 93.2 - delayImpairment - effectiveImpairment;
    if (r <= 0) {
        return 1.0;
    }
    if (r >= 100) {
        return 4.5;
    }
    return std::clamp(1 + 0.035 * r + r * (r - 60) * (100 - r) * 7e-6, 1.0, 4.5);
}

}  // namespace varlowe
