#include <gtest/gtest.h>

#include "engine/capture/packet_time.h"

using varlowe::formatPacketTime;
using varlowe::PacketTime;
using varlowe::packetTimeText;
using varlowe::timeDifference;

TEST(PacketTime, DifferenceBorrowsASecondWhenMicrosecondsWouldGoNegative) {
    PacketTime d = timeDifference({5, 100}, {4, 999900});
    EXPECT_EQ(d.seconds, 0);
    EXPECT_EQ(d.microseconds, 200);
    EXPECT_EQ(packetTimeText(d), "0.000200");

    PacketTime plain = timeDifference({12, 750000}, {10, 250000});
    EXPECT_EQ(plain.seconds, 2);
    EXPECT_EQ(plain.microseconds, 500000);
}

TEST(PacketTime, DifferenceWithEqualSecondsKeepsNegativeMicroseconds) {
    PacketTime d = timeDifference({5, 100}, {5, 300});
    EXPECT_EQ(d.seconds, 0);
    EXPECT_EQ(d.microseconds, -200);
    // Shown with one sign over the whole magnitude, never "0.-00200".
    EXPECT_EQ(packetTimeText(d), "-0.000200");
}

TEST(PacketTime, TextOfEarlierMinusLaterAcrossSecondsIsNegative) {
    PacketTime d = timeDifference({4, 900000}, {5, 100000});  // -0.2 s
    EXPECT_EQ(d.seconds, -1);
    EXPECT_EQ(d.microseconds, 800000);
    EXPECT_EQ(packetTimeText(d), "-0.200000");
    EXPECT_EQ(packetTimeText({-3, -5}), "-3.000005");
}

TEST(PacketTime, TextHasSixMicrosecondDigits) {
    EXPECT_EQ(packetTimeText({1, 250}), "1.000250");
    EXPECT_EQ(packetTimeText({0, 0}), "0.000000");
    EXPECT_EQ(packetTimeText({1700000000, 999999}), "1700000000.999999");
}

TEST(PacketTime, FormatIntoSmallBufferTruncatesAndTerminates) {
    char buffer[5];
    int length = formatPacketTime({123, 456}, buffer, sizeof buffer);
    EXPECT_EQ(length, 10);  // the full text length, as snprintf reports it
    EXPECT_STREQ(buffer, "123.");
}

TEST(PacketTime, TimesAfter2038AndAtTheLimitsOfTheFileFields) {
    // Record seconds are unsigned 32-bit in the file: 2^31 is January 2038, not negative.
    EXPECT_EQ(packetTimeText({2147483648ll, 0}), "2147483648.000000");
    EXPECT_EQ(packetTimeText({4294967295ll, 999999}), "4294967295.999999");
    PacketTime across = timeDifference({2147483648ll, 0}, {2147483647ll, 999999});
    EXPECT_EQ(packetTimeText(across), "0.000001");
    PacketTime whole = timeDifference({4294967295ll, 0}, {0, 0});
    EXPECT_EQ(whole.seconds, 4294967295ll);
    EXPECT_EQ(packetTimeText(timeDifference({0, 0}, {4294967295ll, 4294967295ll})),
              "-4294971589.967295");
}
