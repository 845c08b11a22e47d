// Packed recorder times: ordering, conversion to and from seconds, and the
// arithmetic the search and seek code relies on.
#include <gtest/gtest.h>

#include "wfs/file/wfs_time.h"

namespace {

wfs_time T(int y, int mo, int d, int h, int mi, int s) { return wfs_time_pack(y, mo, d, h, mi, s); }

TEST(PackedTime, FieldsRoundTripThroughTheBitLayout)
{
    wfs_time t = T(2024, 12, 31, 23, 59, 58);
    EXPECT_EQ(t, (24u << 26) | (12u << 22) | (31u << 17) | (23u << 12) | (59u << 6) | 58u);
    wfs_time_fields f;
    wfs_time_unpack(t, &f);
    EXPECT_EQ(f.year, 2024);
    EXPECT_EQ(f.month, 12);
    EXPECT_EQ(f.day, 31);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.minute, 59);
    EXPECT_EQ(f.second, 58);
    char buf[32];
    EXPECT_STREQ(wfs_time_format(t, buf, sizeof buf), "2024-12-31 23:59:58");
}

TEST(PackedTime, ComparesAsUnsignedWords)
{
    // Year 2032 and later set bit 31: a signed comparison would put them
    // before 2000.
    wfs_time late = T(2040, 1, 1, 0, 0, 0);
    wfs_time early = T(2001, 6, 1, 0, 0, 0);
    EXPECT_EQ(wfs_time_cmp(late, early), 1);
    EXPECT_EQ(wfs_time_cmp(early, late), -1);
    EXPECT_EQ(wfs_time_cmp(early, early), 0);
    EXPECT_EQ(wfs_time_cmp(T(2024, 5, 1, 10, 0, 1), T(2024, 5, 1, 10, 0, 0)), 1);
}

TEST(PackedTime, SecondsSince2000)
{
    EXPECT_EQ(wfs_time_to_sec(T(2000, 1, 1, 0, 0, 0)), 0);
    EXPECT_EQ(wfs_time_to_sec(T(2000, 3, 1, 0, 0, 0)), 60 * 86400);   // 2000 is a leap year
    EXPECT_EQ(wfs_time_to_sec(T(2001, 1, 1, 0, 0, 0)), 366 * 86400);
    EXPECT_EQ(wfs_time_to_sec(T(2004, 2, 29, 0, 0, 0)), (4 * 365 + 1 + 31 + 28) * 86400LL);
    EXPECT_EQ(wfs_time_to_sec(T(2004, 3, 1, 0, 0, 0)), (4 * 365 + 1 + 31 + 29) * 86400LL);
    EXPECT_EQ(wfs_time_to_sec(T(2000, 1, 1, 1, 2, 3)), 3723);
}

TEST(PackedTime, OutOfRangeMonthAndDayAreClampedNotIndexed)
{
    // Month 0 counts as January, day 0 as the first, month 13..15 as December.
    EXPECT_EQ(wfs_time_to_sec(T(2010, 0, 5, 0, 0, 0)), wfs_time_to_sec(T(2010, 1, 5, 0, 0, 0)));
    EXPECT_EQ(wfs_time_to_sec(T(2010, 3, 0, 0, 0, 0)), wfs_time_to_sec(T(2010, 3, 1, 0, 0, 0)));
    EXPECT_EQ(wfs_time_to_sec(T(2010, 15, 2, 0, 0, 0)), wfs_time_to_sec(T(2010, 12, 2, 0, 0, 0)));
    EXPECT_EQ(wfs_time_to_sec(0xFFFFFFFFu), wfs_time_to_sec(T(2063, 12, 31, 31, 63, 63)));
}

TEST(PackedTime, SecondsConvertBackToTheSameTime)
{
    // Every day from 2000 to 2063 at a few times of day.
    int64_t checked = 0;
    for (int64_t day = 0; day < 64 * 366; ++day) {
        for (int64_t sod : {0LL, 1LL, 43199LL, 86399LL}) {
            int64_t s = day * 86400 + sod;
            wfs_time t = wfs_sec_to_time(s);
            if (wfs_time_year(t) == 2063 && wfs_time_month(t) == 12 && wfs_time_day(t) == 31 &&
                s > wfs_time_to_sec(T(2063, 12, 31, 23, 59, 59)))
                continue;
            ASSERT_EQ(wfs_time_to_sec(t), s) << "day " << day;
            ++checked;
        }
    }
    EXPECT_GT(checked, 90000);
    EXPECT_EQ(wfs_sec_to_time(366 * 86400), T(2001, 1, 1, 0, 0, 0));
    EXPECT_EQ(wfs_sec_to_time(59 * 86400), T(2000, 2, 29, 0, 0, 0));
}

TEST(PackedTime, SecondsOutsideTheRepresentableRangeAreClamped)
{
    EXPECT_EQ(wfs_sec_to_time(-5), T(2000, 1, 1, 0, 0, 0));
    EXPECT_EQ(wfs_sec_to_time(INT64_C(1) << 40), T(2063, 12, 31, 23, 59, 59));
}

TEST(PackedTime, DifferenceAndAdditionCrossMonthYearAndLeapDay)
{
    EXPECT_EQ(wfs_time_diff(T(2024, 3, 1, 0, 0, 0), T(2024, 2, 28, 23, 59, 59)), 86401);
    EXPECT_EQ(wfs_time_diff(T(2023, 3, 1, 0, 0, 0), T(2023, 2, 28, 23, 59, 59)), 1);
    EXPECT_EQ(wfs_time_diff(T(2024, 1, 1, 0, 0, 0), T(2024, 1, 1, 0, 0, 10)), -10);
    EXPECT_EQ(wfs_time_add(T(2023, 12, 31, 23, 59, 59), 1), T(2024, 1, 1, 0, 0, 0));
    EXPECT_EQ(wfs_time_add(T(2024, 2, 28, 12, 0, 0), 86400), T(2024, 2, 29, 12, 0, 0));
    EXPECT_EQ(wfs_time_add(T(2024, 3, 1, 0, 0, 0), -1), T(2024, 2, 29, 23, 59, 59));
}

TEST(PackedTime, NowIsAPlausibleTime)
{
    wfs_time now = wfs_time_now();
    EXPECT_GE(wfs_time_year(now), 2020u);
    EXPECT_GE(wfs_time_month(now), 1u);
    EXPECT_LE(wfs_time_month(now), 12u);
    EXPECT_GE(wfs_time_day(now), 1u);
}

}  // namespace
