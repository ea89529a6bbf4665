#pragma once

#include <cstdint>
#include <string>

#include "engine/capture/packet_time.h"

namespace varlowe {

// The clock a packet's timestamps run at for the interarrival jitter: the static table for
// payload types below 96 (whatever an SDP says), the SDP's rate above; 0 (no jitter) for
// telephone events and for dynamic types without a known rate.
int32_t jitterClockRate(int32_t payloadType, const std::string& encodingName, int32_t sdpRate);

// Quality figures of one RTP session (an SSRC towards a destination, all its payload types)
// as tshark's RTP analysis computes them, so that the figures can be set side by side:
// RFC 3550 interarrival jitter J += (|D| - J) / 16 in milliseconds, the arrival delta between
// packets, the expected count from the sequence-number extent with its wrap-arounds.
// Marker-bit, comfort-noise and the packet after comfort noise are kept out of the maxima and
// means; telephone events (clock 0) out of the jitter.
struct StreamQuality {
    int64_t packets = 0;
    uint16_t startSequence = 0;
    uint16_t stopSequence = 0;  // the last packet's number
    uint16_t inOrderSequence = 0;
    uint32_t sequenceCycles = 0;
    bool underStart = false;  // in a cycle that has wrapped below the start number
    uint32_t firstTimestamp = 0;
    uint32_t lastTimestamp = 0;
    int32_t lastPayloadType = -1;
    PacketTime lastTime;
    double lastArrivalMs = 0;     // from the capture's start, as a double as tshark has it
    int64_t timestampOffset = 0;  // of the last packet from the first, across wraps
    double lastNominalMs = 0;     // the last clocked packet's timestamp offset in ms
    double jitterMs = 0;
    double deltaMs = 0;
    double maxJitterMs = 0;
    double meanJitterMs = 0;
    double maxDeltaMs = 0;
    double meanDeltaMs = 0;
    uint32_t maxDeltaPacket = 0;  // the packet that ended the largest gap
    PacketTime maxDeltaTime;
    PacketTime firstTime;
    int64_t sequenceErrors = 0;  // jumps forward and late or repeated numbers
    int64_t duplicates = 0;      // a number equal to the one before it

    // One packet; `origin` is the capture's first packet time, `clockRate` from
    // jitterClockRate.
    void add(uint16_t sequence, uint32_t timestamp, bool marker, int32_t payloadType,
             PacketTime time, PacketTime origin, uint32_t packetNumber, int32_t clockRate);

    int64_t expected() const;
    int64_t lost() const { return expected() - packets; }  // below 0 when numbers repeat
    double lostPercent() const;
};

// An estimate of the listening quality (ITU-T G.107 E-model, simplified): the codec's
// equipment impairment and loss robustness, random loss at the lost share, and as delay a
// jitter buffer's (one packet interval plus twice the maximum jitter; a single capture point
// cannot see the network delay). 1.0 to 4.5; negative when it does not apply (no audio codec).
double estimatedMos(const std::string& encodingName, double lostPercent, double maxJitterMs,
                    double meanDeltaMs);

}  // namespace varlowe
