#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/capture/packet_time.h"
#include "stream_quality.h"

namespace varlowe {

struct MediaPacket;
struct PacketRecord;
struct RtpStream;
class RtpStreamRegistry;

// Counts one RTP packet attributed to the stream: first/last packet, sequence tracking,
// bytes and arrival intervals. `fileOffset` is the record that completed the packet; `origin`
// the capture's first packet time, which the session's quality figures count from.
void countRtpPacket(RtpStream& stream, const MediaPacket& packet, uint64_t fileOffset,
                    PacketTime origin);

// Sequence-number order with wrap-around (RFC 3550): b follows a when (b - a) mod 65536 lies
// in 1..32767.
inline bool sequenceAfter(uint16_t b, uint16_t a) {
    uint16_t distance = static_cast<uint16_t>(b - a);
    return distance != 0 && distance < 0x8000;
}

// Figures derived from the counters.
PacketTime elapsedTime(const RtpStream& stream);
int64_t totalBytes(const RtpStream& stream);
double averageKilobytesPerSecond(const RtpStream& stream);  // 0 for zero elapsed time
double averageJitterMilliseconds(const RtpStream& stream);

// The figures of a stream as (label, value) rows, as the info panel shows them: the ten of
// the stream itself, then its RTP session's quality figures.
std::vector<std::pair<std::string, std::string>> streamFigureRows(const RtpStream& stream);

// One named series of integer samples for the line graph.
struct SampleSeries {
    static constexpr int32_t kCapacity = 16384;

    std::string name;
    int32_t minimum = 2147483647;
    int32_t maximum = -2147483647 - 1;
    int32_t count = 0;
    std::vector<int32_t> samples = std::vector<int32_t>(kCapacity);

    explicit SampleSeries(std::string seriesName = "") : name(std::move(seriesName)) {}
    // Ignored once the series is full.
    void append(int32_t sample);
};

// The series of one graph computation: the five of the bandwidth and jitter graphs, and the
// RFC 3550 interarrival jitter (microseconds, per packet) as the quality figures compute it.
struct RtpGraphData {
    enum {
        IpHeaders,
        Payload,
        Total,
        TransmitDelta,
        RollingAverage,
        InterarrivalJitter,
        SeriesCount
    };
    std::array<std::unique_ptr<SampleSeries>, SeriesCount> series;
};

// The state of one graph computation over a stream's packets.
class RtpStatsEngine {
  public:
    RtpStatsEngine(const RtpStream& stream, RtpGraphData& out);
    virtual ~RtpStatsEngine() = default;

    // One packet (nullptr at the end); always true (keep reading).
    bool visit(const PacketRecord* packet);

  private:
    void closeWindow();

    const RtpStream& stream_;
    RtpGraphData& out_;
    PacketTime previousTime_;
    uint32_t previousTimestamp_ = 0;
    PacketTime windowStart_;
    int64_t windowPayload_ = 0;
    int64_t windowHeaders_ = 0;
    double previousDelta_ = 0;
    double rollingAverage_ = 0;
    StreamQuality quality_;
};

// Creates and fills the series; false when nothing could be read.
bool computeGraphs(const RtpStreamRegistry* registry, const RtpStream* stream, RtpGraphData* out);

}  // namespace varlowe
