#include "rtp_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "engine/capture/ipv6_address.h"
#include "rtcp_report_view.h"
#include "rtp_header.h"
#include "rtp_stream_registry.h"

namespace varlowe {

namespace {

void trackSequence(SequenceSpace& space, RtpStream& stream, uint16_t sequence) {
    const uint16_t last = space.lastSequence;
    if (sequence == last) {
        return;
    }
    if (sequenceAfter(sequence, last)) {
        const uint16_t distance = static_cast<uint16_t>(sequence - last);
        if (distance < MissingSequences::kCapacity) {
            for (uint16_t skipped = static_cast<uint16_t>(last + 1); skipped != sequence;
                 ++skipped) {
                space.missing.remove(skipped);
                if (RtpStream* evicted = space.missing.append(skipped, &stream)) {
                    ++evicted->dropped;
                }
            }
        }
        space.lastSequence = sequence;
    } else if (sequenceAfter(last, sequence)) {
        space.missing.remove(sequence);  // a late arrival
    } else {
        space.lastSequence = sequence;  // exactly half the number space away: a restart
    }
}

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), pattern, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

}  // namespace

void countRtpPacket(RtpStream& stream, const MediaPacket& packet, uint64_t fileOffset,
                    PacketTime origin) {
    const std::optional<RtpHeader> header = RtpHeader::parse(packet.payload, packet.length);
    if (!header) {
        return;
    }
    const uint16_t sequence = header->sequence;
    if (stream.packets == 0) {
        stream.firstTime = packet.time;
        stream.lastTime = packet.time;
        RtpStream::CountedPackets& copies = stream.countedPackets();
        packet.copyTo(copies.first);
        packet.copyTo(copies.last, copies.lastEndpoints);
        if (stream.sequence) {
            trackSequence(*stream.sequence, stream, sequence);  // a sibling opened the space
        } else {
            stream.sequence = std::make_shared<SequenceSpace>();
            stream.sequence->lastSequence = sequence;
        }
        stream.ssrc = header->ssrc;
        stream.firstOffset = packet.fileOffset;
        stream.lastOffset = fileOffset;
    } else {
        const PacketRecord& last = stream.lastPacket();
        const std::optional<RtpHeader> previous =
            RtpHeader::parse(last.payloadData(), last.payloadLength);
        if (previous && sequenceAfter(previous->sequence, sequence)) {
            ++stream.outOfOrder;
        }
        trackSequence(*stream.sequence, stream, sequence);
    }
    stream.sequence->quality.add(
        sequence, header->timestamp, header->marker, header->payloadType, packet.time, origin,
        packet.number, jitterClockRate(header->payloadType, stream.encodingName, stream.clockRate));
    ++stream.packets;
    stream.payloadBytes += packet.length;
    stream.headerBytes += packet.headerOverhead;
    PacketTime interval = timeDifference(packet.time, stream.lastTime);
    stream.intervalSum += int64_t{interval.seconds} * 1000 + (interval.microseconds + 500) / 1000;
    if (stream.packets > 1) {
        stream.lastTime = packet.time;
        RtpStream::CountedPackets& copies = stream.countedPackets();
        packet.copyTo(copies.last, copies.lastEndpoints);
        stream.lastOffset = fileOffset;
    }
}

PacketTime elapsedTime(const RtpStream& stream) {
    return timeDifference(stream.lastTime, stream.firstTime);
}

int64_t totalBytes(const RtpStream& stream) {
    return stream.payloadBytes + stream.headerBytes;
}

double averageKilobytesPerSecond(const RtpStream& stream) {
    PacketTime elapsed = elapsedTime(stream);
    int64_t microseconds = int64_t{elapsed.seconds} * 1000000 + elapsed.microseconds;
    if (microseconds == 0) {
        return 0.0;
    }
    return static_cast<double>(totalBytes(stream)) /
           (static_cast<double>(microseconds) * 0.000001) * 0.0009765625;
}

double averageJitterMilliseconds(const RtpStream& stream) {
    return stream.packets == 0
               ? 0.0
               : static_cast<double>(stream.intervalSum) / static_cast<double>(stream.packets);
}

std::vector<std::pair<std::string, std::string>> streamFigureRows(const RtpStream& stream) {
    const PacketRecord& first = stream.firstPacket();
    std::vector<std::pair<std::string, std::string>> rows = {
        {"Source", endpointText(first.sourceAddress, first.sourcePort)},
        {"Destination", endpointText(first.destinationAddress, first.destinationPort)},
        {"Total Packets", std::to_string(stream.packets)},
        {"Out of Order Packets", std::to_string(stream.outOfOrder)},
        {"Dropped Packets", std::to_string(stream.dropped)},
        {"Elapsed time (s)", packetTimeText(elapsedTime(stream))},
        {"Total Bytes", std::to_string(totalBytes(stream))},
        {"Average KBytes/Sec", format("%.2f", averageKilobytesPerSecond(stream))},
        {"Average Jitter (ms)", format("%.2f", averageJitterMilliseconds(stream))},
        {"Start/End Packet #",
         format("%u/%u", stream.firstPacket().number, stream.lastPacket().number)},
    };
    // The session's figures after the ones above, which scripts read by position.
    static const StreamQuality kNone;
    const StreamQuality& q = stream.sequence ? stream.sequence->quality : kNone;
    const double mos =
        estimatedMos(stream.encodingName, q.lostPercent(), q.maxJitterMs, q.meanDeltaMs);
    rows.insert(rows.end(),
                {
                    {"Mean Jitter (ms)", format("%.3f", q.meanJitterMs)},
                    {"Max Jitter (ms)", format("%.3f", q.maxJitterMs)},
                    {"Max Delta (ms)", format("%.3f", q.maxDeltaMs)},
                    {"Lost Packets",
                     format("%lld (%.1f%%)", static_cast<long long>(q.lost()), q.lostPercent())},
                    {"Estimated MOS", mos < 0 ? std::string("-") : format("%.1f", mos)},
                    {"Mean Delta (ms)", format("%.3f", q.meanDeltaMs)},
                    {"Expected Packets", std::to_string(q.expected())},
                    {"Sequence Errors", std::to_string(q.sequenceErrors)},
                    {"Duplicate Packets", std::to_string(q.duplicates)},
                    {"Max Delta at Packet #",
                     q.maxDeltaPacket == 0 ? std::string("-")
                                           : format("%u (%s s into the stream)", q.maxDeltaPacket,
                                                    packetTimeText(q.maxDeltaTime).c_str())},
                });
    // What the far ends' reports said, for streams that have any.
    for (auto& row : rtcp_view::summaryRows(stream.reports)) {
        rows.push_back(std::move(row));
    }
    return rows;
}

void SampleSeries::append(int32_t sample) {
    if (count >= kCapacity) {
        return;
    }
    minimum = std::min(minimum, sample);
    maximum = std::max(maximum, sample);
    samples[static_cast<size_t>(count)] = sample;
    ++count;
}

RtpStatsEngine::RtpStatsEngine(const RtpStream& stream, RtpGraphData& out)
    : stream_(stream), out_(out) {}

void RtpStatsEngine::closeWindow() {
    auto clamp = [](int64_t v) { return static_cast<int32_t>(std::min<int64_t>(v, 2147483647)); };
    out_.series[RtpGraphData::IpHeaders]->append(clamp(windowHeaders_));
    out_.series[RtpGraphData::Payload]->append(clamp(windowPayload_));
    out_.series[RtpGraphData::Total]->append(clamp(windowHeaders_ + windowPayload_));
}

bool RtpStatsEngine::visit(const PacketRecord* packet) {
    if (packet == nullptr) {
        closeWindow();
        return true;
    }
    const std::optional<RtpHeader> header =
        RtpHeader::parse(packet->payloadData(), packet->payloadLength);
    if (!header) {
        return true;
    }
    const uint32_t timestamp = header->timestamp;
    const bool first = previousTime_.seconds == 0 && previousTime_.microseconds == 0;
    if (first) {
        windowStart_ = packet->time();
        windowHeaders_ = packet->headerOverhead;
        windowPayload_ = packet->payloadLength;
        out_.series[RtpGraphData::TransmitDelta]->append(0);
        out_.series[RtpGraphData::RollingAverage]->append(0);
        previousDelta_ = 0;
        rollingAverage_ = 0;
    } else {
        PacketTime elapsed = timeDifference(packet->time(), windowStart_);
        if (elapsed.seconds <= 0) {
            windowHeaders_ += packet->headerOverhead;
            windowPayload_ += packet->payloadLength;
        } else {
            closeWindow();
            windowStart_ = packet->time();
            windowHeaders_ = packet->headerOverhead;
            windowPayload_ = packet->payloadLength;
        }
        // 32-bit wrapping arithmetic as the arrival figure is defined; done unsigned to stay
        // defined for any capture times.
        const int32_t arrival = static_cast<int32_t>(
            (packet->seconds - static_cast<uint32_t>(previousTime_.seconds)) * 1000000u +
            (packet->microseconds - static_cast<uint32_t>(previousTime_.microseconds)));
        const uint32_t step = timestamp - previousTimestamp_;
        // Whole microseconds per timestamp tick, as the figure has always been computed.
        const int32_t microsecondsPerTick = stream_.clockRate > 0 ? 1000000 / stream_.clockRate : 0;
        const double delta = arrival - static_cast<double>(step) * microsecondsPerTick;
        rollingAverage_ += (std::fabs(delta - previousDelta_) - rollingAverage_) * 0.0625;
        previousDelta_ = delta;
        auto truncated = [](double v) {
            v = std::trunc(v);
            if (v > 2147483647.0)
                return 2147483647;
            if (v < -2147483648.0)
                return -2147483647 - 1;
            return static_cast<int32_t>(v);
        };
        out_.series[RtpGraphData::TransmitDelta]->append(truncated(delta + 0.5));
        out_.series[RtpGraphData::RollingAverage]->append(truncated(rollingAverage_ + 0.5));
    }
    quality_.add(header->sequence, timestamp, header->marker, header->payloadType, packet->time(),
                 stream_.firstPacket().time(), packet->number,
                 jitterClockRate(header->payloadType, stream_.encodingName, stream_.clockRate));
    out_.series[RtpGraphData::InterarrivalJitter]->append(
        static_cast<int32_t>(std::min(quality_.jitterMs * 1000.0 + 0.5, 2147483647.0)));
    previousTime_ = packet->time();
    previousTimestamp_ = timestamp;
    return true;
}

bool computeGraphs(const RtpStreamRegistry* registry, const RtpStream* stream, RtpGraphData* out) {
    if (registry == nullptr || stream == nullptr || out == nullptr) {
        return false;
    }
    static const char* const kNames[RtpGraphData::SeriesCount] = {
        "IP Headers",     "Payload/RTP",     "Total",
        "Transmit Delta", "Rolling Average", "RFC 3550 Jitter"};
    for (int i = 0; i < RtpGraphData::SeriesCount; ++i) {
        out->series[static_cast<size_t>(i)] = std::make_unique<SampleSeries>(kNames[i]);
    }
    auto engine = std::make_unique<RtpStatsEngine>(*stream, *out);
    return registry->forEachStreamPacket(
        *stream, [&engine](const PacketRecord* packet) { return engine->visit(packet); });
}

}  // namespace varlowe
