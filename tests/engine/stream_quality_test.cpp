#include <gtest/gtest.h>

#include "engine/media/stream_quality.h"

using namespace varlowe;

namespace {

// Packets of one session, arrival times in microseconds from zero.
struct Session {
    StreamQuality q;
    uint32_t number = 0;
    void add(uint16_t sequence, uint32_t timestamp, int64_t arrivalUs, int32_t payloadType = 8,
             bool marker = false, int32_t rate = 8000) {
        q.add(sequence, timestamp, marker, payloadType,
              PacketTime{arrivalUs / 1000000, arrivalUs % 1000000}, PacketTime{}, ++number, rate);
    }
};

}  // namespace

TEST(StreamQuality, JitterFollowsRfc3550AndItsMeanAndMaximumTsharksRules) {
    // 20 ms packets of 160 ticks; the third arrives 10 ms late, the rest on time.
    Session s;
    s.add(1, 0, 0);
    s.add(2, 160, 20000);
    EXPECT_DOUBLE_EQ(s.q.jitterMs, 0.0);
    s.add(3, 320, 50000);  // D = 10
    EXPECT_DOUBLE_EQ(s.q.jitterMs, 10.0 / 16);
    s.add(4, 480, 60000);  // D = 10 again, the transit back
    const double j4 = (15 * (10.0 / 16) + 10) / 16;
    EXPECT_DOUBLE_EQ(s.q.jitterMs, j4);
    EXPECT_DOUBLE_EQ(s.q.maxJitterMs, j4);
    EXPECT_DOUBLE_EQ(s.q.maxDeltaMs, 30.0);
    EXPECT_EQ(s.q.maxDeltaPacket, 3u);
    EXPECT_EQ(s.q.maxDeltaTime.microseconds, 50000);
    // Means over the packets after the first: (0 + 10/16 + j4) / 3 and (20 + 30 + 10) / 3.
    EXPECT_NEAR(s.q.meanJitterMs, (0 + 10.0 / 16 + j4) / 3, 1e-12);
    EXPECT_NEAR(s.q.meanDeltaMs, 20.0, 1e-12);
    EXPECT_EQ(s.q.expected(), 4);
    EXPECT_EQ(s.q.lost(), 0);

    // A 90 kHz clock divides by whole ticks per millisecond.
    Session video;
    video.add(1, 0, 0, 96, false, 90000);
    video.add(2, 3000, 40000, 96, false, 90000);  // 3000 / 90 = 33.33 ms nominal, 40 arrived
    EXPECT_NEAR(video.q.jitterMs, (40 - 3000.0 / 90) / 16, 1e-12);
}

TEST(StreamQuality, MarkersComfortNoiseAndEventsStayOutOfTheMaxima) {
    Session s;
    s.add(1, 0, 0);
    s.add(2, 160, 20000);
    // A talk spurt after 2 s of silence starts with the marker bit: no gap of 2 s.
    s.add(3, 16320, 2020000, 8, true);
    EXPECT_DOUBLE_EQ(s.q.maxDeltaMs, 20.0);
    // Comfort noise and the packet after it are left out as well.
    s.add(4, 16480, 2900000, 13);
    s.add(5, 16640, 3500000);
    EXPECT_DOUBLE_EQ(s.q.maxDeltaMs, 20.0);
    s.add(6, 16800, 3560000);
    EXPECT_DOUBLE_EQ(s.q.maxDeltaMs, 60.0);
    EXPECT_EQ(s.q.maxDeltaPacket, 6u);

    // Telephone events (clock 0) leave the jitter alone but count their delta.
    Session e;
    e.add(1, 0, 0);
    e.add(2, 160, 20000);
    const double before = e.q.jitterMs;
    e.add(3, 320, 90000, 101, false, 0);
    EXPECT_DOUBLE_EQ(e.q.jitterMs, before);
    EXPECT_DOUBLE_EQ(e.q.maxJitterMs, 0.0);
    EXPECT_DOUBLE_EQ(e.q.maxDeltaMs, 70.0);
}

TEST(StreamQuality, LossCountsTheSequenceExtentAcrossTheWrap) {
    Session wrap;
    wrap.add(65534, 0, 0);
    wrap.add(65535, 160, 20000);
    wrap.add(0, 320, 40000);
    wrap.add(1, 480, 60000);
    EXPECT_EQ(wrap.q.expected(), 4);
    EXPECT_EQ(wrap.q.lost(), 0);
    EXPECT_EQ(wrap.q.sequenceErrors, 0);

    Session lossy;  // 65535 and 2 lost, one of them at the wrap
    lossy.add(65534, 0, 0);
    lossy.add(0, 320, 40000);
    lossy.add(1, 480, 60000);
    lossy.add(3, 800, 100000);
    EXPECT_EQ(lossy.q.expected(), 6);
    EXPECT_EQ(lossy.q.lost(), 2);
    EXPECT_NEAR(lossy.q.lostPercent(), 100.0 * 2 / 6, 1e-12);
    EXPECT_EQ(lossy.q.sequenceErrors, 2);

    // Repeated numbers make the loss negative, as tshark prints it.
    Session repeated;
    repeated.add(7, 0, 0);
    repeated.add(7, 0, 1000);
    repeated.add(8, 160, 20000);
    EXPECT_EQ(repeated.q.duplicates, 1);
    EXPECT_EQ(repeated.q.lost(), -1);

    // Timestamps that wrap keep the packets in time order: a late packet is no new cycle.
    Session late;
    late.add(100, 0xFFFFFF00u, 0);
    late.add(102, 0xFFFFFF00u + 320, 40000);
    late.add(101, 0xFFFFFF00u + 160, 41000);
    EXPECT_EQ(late.q.sequenceCycles, 0u);
    EXPECT_EQ(late.q.expected(), 2);  // the extent ends at the last packet's number
    EXPECT_EQ(late.q.sequenceErrors, 2);
    // Expected at 40 + (20 - 40) ms, arrived at 41: the late packet's timestamp counts back.
    EXPECT_DOUBLE_EQ(late.q.jitterMs, 21.0 / 16);

    // So does one from before the first packet.
    Session early;
    early.add(11, 1000, 0);
    early.add(10, 840, 1000);
    EXPECT_DOUBLE_EQ(early.q.jitterMs, 21.0 / 16);
}

TEST(StreamQuality, ClockRatesAndTheEstimatedMos) {
    EXPECT_EQ(jitterClockRate(8, "PCMA", 16000), 8000);  // the static table wins
    EXPECT_EQ(jitterClockRate(9, "G722", 16000), 8000);
    EXPECT_EQ(jitterClockRate(96, "opus", 48000), 48000);
    EXPECT_EQ(jitterClockRate(101, "Telephone-Event", 8000), 0);
    EXPECT_EQ(jitterClockRate(20, "x", 8000), 0);  // unassigned

    const double clean = estimatedMos("PCMA", 0, 0.5, 20);
    EXPECT_NEAR(clean, 4.4, 0.05);
    EXPECT_LT(estimatedMos("pcmu", 3, 0.5, 20), clean);
    EXPECT_LT(estimatedMos("G729", 0, 0.5, 20), clean);
    EXPECT_LT(estimatedMos("PCMU", 10, 0.5, 20), estimatedMos("PCMU", 3, 0.5, 20));
    EXPECT_LT(estimatedMos("PCMU", 0, 150, 20), estimatedMos("PCMU", 0, 5, 20));
    EXPECT_DOUBLE_EQ(estimatedMos("PCMU", 100, 500, 20), 1.0);
    // Repeated numbers (a negative loss) are no better than none lost.
    EXPECT_DOUBLE_EQ(estimatedMos("PCMU", -25, 0, 20), estimatedMos("PCMU", 0, 0, 20));
    EXPECT_LT(estimatedMos("telephone-event", 0, 0, 20), 0);
    EXPECT_LT(estimatedMos("H264", 0, 0, 33), 0);
}
