// Keys pressed: RFC 4733 telephone events to digits, and SIP INFO bodies.
#include "engine/media/dtmf.h"

#include <gtest/gtest.h>

using namespace varlowe;

namespace {

TelephoneEvent event(int code, bool end, uint16_t duration) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(code),
                              static_cast<uint8_t>((end ? 0x80 : 0) | 10),
                              static_cast<uint8_t>(duration >> 8), static_cast<uint8_t>(duration)};
    return *parseTelephoneEvent(bytes, sizeof bytes);
}

}  // namespace

TEST(Dtmf, EventsBecomeOneDigitEachWithTheirLongestDuration) {
    const uint8_t short3[3] = {1, 0x80, 0};
    EXPECT_FALSE(parseTelephoneEvent(short3, 3));
    const TelephoneEvent parsed = event(11, true, 2240);
    EXPECT_EQ(parsed.event, 11);
    EXPECT_TRUE(parsed.end);
    EXPECT_EQ(parsed.volume, 10);
    EXPECT_EQ(parsed.duration, 2240);
    EXPECT_EQ(eventDigit(10), '*');
    EXPECT_EQ(eventDigit(15), 'D');
    EXPECT_EQ(eventDigit(16), '!');
    EXPECT_FALSE(eventDigit(17));

    TelephoneEventDigits digits(8000);
    auto at = [](uint32_t ms) { return PacketTime{100 + ms / 1000, (ms % 1000) * 1000}; };
    // "1": three updates and the end packet sent three times, one timestamp.
    for (uint16_t d : {0, 320, 640}) {
        digits.add(88000, at(d / 8), event(1, false, d), "a", "b");
    }
    for (int resend = 0; resend < 3; ++resend) {
        digits.add(88000, at(120 + resend), event(1, true, 960), "a", "b");
    }
    // "1" pressed again (a new timestamp), then "#" with a long event's duration.
    digits.add(96000, at(1000), event(1, true, 800), "a", "b");
    digits.add(104000, at(2000), event(11, false, 65535), "a", "b");
    digits.add(104000, at(2000), event(99, false, 10), "a", "b");  // no digit: ignored
    ASSERT_EQ(digits.digits().size(), 3u);
    EXPECT_EQ(digits.digits()[0].digit, '1');
    EXPECT_EQ(digits.digits()[0].durationMs, 120);
    EXPECT_EQ(digits.digits()[0].time.seconds, 100u);
    EXPECT_EQ(digits.digits()[0].volume, 10);
    EXPECT_EQ(digits.digits()[1].durationMs, 100);
    EXPECT_EQ(digits.digits()[2].digit, '#');
    EXPECT_EQ(digits.digits()[2].durationMs, 8192);  // 65535 / 8 ms, rounded
    EXPECT_EQ(TelephoneEventDigits(0).digits().size(), 0u);
}

TEST(Dtmf, InfoBodiesOfBothContentTypes) {
    EXPECT_EQ(infoDigit("application/dtmf-relay", "Signal=5\r\nDuration=160\r\n"),
              std::make_pair('5', 160));
    EXPECT_EQ(infoDigit("Application/DTMF-Relay; x=y", "signal= *\nduration = 250"),
              std::make_pair('*', 250));
    EXPECT_EQ(infoDigit("application/dtmf-relay", "Signal=11\r\n"), std::make_pair('#', 0));
    EXPECT_EQ(infoDigit("application/dtmf", " 7\r\n"), std::make_pair('7', 0));
    EXPECT_EQ(infoDigit("application/dtmf", "b"), std::make_pair('B', 0));
    EXPECT_FALSE(infoDigit("application/dtmf-relay", "Duration=160"));
    EXPECT_FALSE(infoDigit("application/dtmf-relay", "Signal=x"));
    EXPECT_FALSE(infoDigit("application/sdp", "Signal=5"));
    EXPECT_FALSE(infoDigit("application/dtmf", ""));
    // A duration too long for an int stops being read rather than overflowing.
    EXPECT_EQ(infoDigit("application/dtmf-relay", "Signal=1\nDuration=99999999999999")->first, '1');
}
