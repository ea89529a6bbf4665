#include <gtest/gtest.h>

#include "settings/setting_value.h"
#include "settings/version_check.h"

using namespace varlowe;

TEST(VersionCheck, TheReplyNamesABuildAndAWebAddress) {
    EXPECT_EQ(buildNumberOf(kProgramVersion), 3970);
    EXPECT_EQ(buildNumberOf("4012"), 4012);

    VersionCheckResult same = readVersionReply("3970,https://example.test/get", 3970);
    EXPECT_TRUE(same.succeeded);
    EXPECT_FALSE(same.newer);
    EXPECT_EQ(same.address, "");

    VersionCheckResult newer = readVersionReply("3971,http://example.test/new more text", 3970);
    EXPECT_TRUE(newer.succeeded);
    EXPECT_TRUE(newer.newer);
    EXPECT_EQ(newer.address, "http://example.test/new");
    // Leading commas and blanks are skipped; a line end is no part of the address.
    EXPECT_EQ(readVersionReply(",,3971,   https://example.test/a\r\n", 3970).address,
              "https://example.test/a");
    EXPECT_EQ(readVersionReply("3971,https://example.test/b\n", 3970).address,
              "https://example.test/b");
    EXPECT_FALSE(readVersionReply("3969,https://example.test/old", 3970).newer);

    for (const char* unusable : {"", "3971", "3971,", "3971,   ", ",,,", "3971,file:///etc/passwd",
                                 "3971,javascript:alert(1)", "3971,ftp://example.test/x"}) {
        VersionCheckResult result = readVersionReply(unusable, 3970);
        EXPECT_FALSE(result.succeeded) << unusable;
        EXPECT_EQ(result.address, "") << unusable;
    }
}

TEST(VersionCheck, StartUpScheduleOfThirtyDays) {
    const SettingDate firstMarch{2026, 2, 1, 9, 30, 0, 0};
    const SettingDate earlier = decodeDate(encodeDate({2026, 1, 10, 0, 0, 0, 0}));
    ASSERT_TRUE(versionCheckDue(firstMarch, earlier));
    // Stored as a date and read back with the day's last second.
    const SettingDate next = nextVersionCheckAfter(firstMarch);
    EXPECT_EQ(next, (SettingDate{2026, 2, 31, 23, 59, 59, 0}));
    EXPECT_EQ(decodeDate(encodeDate(next)), next);
    EXPECT_FALSE(versionCheckDue({2026, 2, 31, 8, 0, 0, 0}, next));
    EXPECT_FALSE(versionCheckDue({2026, 2, 31, 23, 59, 59, 0}, next));
    EXPECT_TRUE(versionCheckDue({2026, 3, 1, 0, 0, 0, 0}, next));
    // The same instant is not later: a reader's default of "now" never checks.
    EXPECT_FALSE(versionCheckDue(firstMarch, firstMarch));

    EXPECT_EQ(addDays({2024, 1, 15, 1, 2, 3, 0}, 30), (SettingDate{2024, 2, 16, 1, 2, 3, 0}));
    EXPECT_EQ(addDays({2025, 1, 15, 0, 0, 0, 0}, 30), (SettingDate{2025, 2, 17, 0, 0, 0, 0}));
    EXPECT_EQ(addDays({2026, 11, 20, 0, 0, 0, 0}, 30), (SettingDate{2027, 0, 19, 0, 0, 0, 0}));
}
