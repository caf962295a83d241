// Local-time texts (run with a fixed time zone set inside the process) and
// the microsecond clock.
#include "platform/time_text.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{

class TimeText : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        const char *tz = getenv("TZ");
        had_tz_ = tz != nullptr;
        if (had_tz_) saved_tz_ = tz;
        use_zone("UTC");
    }

    void TearDown() override
    {
        if (had_tz_)
            setenv("TZ", saved_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    static void use_zone(const char *zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }

    static std::string mon_off(time_t t, int months)
    {
        char buf[32];
        int n = get_time_str_mon_off(t, buf, sizeof(buf), months);
        EXPECT_EQ(19, n);
        return buf;
    }

    bool had_tz_ = false;
    std::string saved_tz_;
};

TEST_F(TimeText, FormatsUtc)
{
    char buf[32];
    EXPECT_EQ(19, get_tstring_by_time(0, buf, sizeof(buf)));
    EXPECT_STREQ("1970-01-01T00:00:00", buf);
    EXPECT_EQ(19, get_tstring_by_time(1709210096, buf, sizeof(buf)));
    EXPECT_STREQ("2024-02-29T12:34:56", buf);
    EXPECT_EQ(19, get_tstring_by_time((time_t)2147483648LL, buf, sizeof(buf)));
    EXPECT_STREQ("2038-01-19T03:14:08", buf);

    EXPECT_EQ(19, get_time_str_day_off(1709210096, buf, sizeof(buf), 1));
    EXPECT_STREQ("2024-03-01 12:34:56", buf);
    EXPECT_EQ(19, get_time_str_day_off(1709210096, buf, sizeof(buf), -366));
    EXPECT_STREQ("2023-02-28 12:34:56", buf);
    EXPECT_EQ(19, get_time_str_day_off(0, buf, sizeof(buf), 0));
    EXPECT_STREQ("1970-01-01 00:00:00", buf);
}

TEST_F(TimeText, FormattingStaysInsideBuffer)
{
    char buf[24];
    // Exactly the text plus terminator.
    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(19, get_tstring_by_time(0, buf, 20));
    EXPECT_STREQ("1970-01-01T00:00:00", buf);
    EXPECT_EQ('X', buf[20]);

    // One byte short: cut and terminated, the full length still reported.
    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(19, get_time_str_day_off(0, buf, 19, 0));
    EXPECT_STREQ("1970-01-01 00:00:0", buf);
    EXPECT_EQ('X', buf[19]);

    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(19, get_time_str_mon_off(0, buf, 5, 1));
    EXPECT_STREQ("1970", buf);
    EXPECT_EQ('X', buf[5]);

    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(19, get_time_str(buf, 1));
    EXPECT_EQ('\0', buf[0]);
    EXPECT_EQ('X', buf[1]);

    EXPECT_EQ(19, get_time_str(buf, 0));
    EXPECT_EQ('X', buf[1]);
    EXPECT_EQ(19, get_tstring_by_time(0, nullptr, 0));
}

TEST_F(TimeText, ParsesBothForms)
{
    EXPECT_EQ((time_t)1709210096, get_time_by_string("2024-02-29 12:34:56"));
    EXPECT_EQ((time_t)1709210096, get_time_by_tstring("2024-02-29T12:34:56"));
    EXPECT_EQ((time_t)1709210096, get_time_by_string(" \t 2024-02-29 12:34:56"));
    EXPECT_EQ((time_t)1709210096, get_time_by_tstring("2024-02-29T12:34:56Z"));
    EXPECT_EQ((time_t)0, get_time_by_string("1970-01-01 00:00:00"));
    // The time of day may be missing: midnight.
    EXPECT_EQ((time_t)1709164800, get_time_by_string("2024-02-29"));
    EXPECT_EQ((time_t)1709164800, get_time_by_tstring("2024-02-29"));
}

TEST_F(TimeText, RejectsGarbageAndImpossibleDates)
{
    const char *bad[] = {"",
                         "garbage",
                         "   ",
                         "2024",
                         "2024-02",
                         "2023-02-29 00:00:00",
                         "2024-02-30 00:00:00",
                         "2100-02-29 00:00:00",
                         "2024-13-01 00:00:00",
                         "2024-00-10 00:00:00",
                         "2024-04-31 00:00:00",
                         "2024-01-00 00:00:00",
                         "2024-01-01 24:00:00",
                         "2024-01-01 12:60:00",
                         "2024-01-01 12:00:61",
                         "2024-01-01 -1:00:00"};
    for (const char *text : bad) {
        EXPECT_EQ((time_t)-1, get_time_by_string(text)) << "'" << text << "'";
        EXPECT_EQ((time_t)-1, get_time_by_tstring(text)) << "'" << text << "'";
    }
    EXPECT_EQ((time_t)-1, get_time_by_string(nullptr));
    EXPECT_EQ((time_t)-1, get_time_by_tstring(nullptr));
    EXPECT_NE((time_t)-1, get_time_by_string("2000-02-29 00:00:00"));

    // The other form's separator is not read as "date only, midnight".
    EXPECT_EQ((time_t)-1, get_time_by_tstring("2024-02-29 12:34:56"));
    EXPECT_EQ((time_t)-1, get_time_by_string("2024-02-29T12:34:56"));
    EXPECT_EQ((time_t)-1, get_time_by_string("2024-02-29 noon"));
    EXPECT_EQ((time_t)-1, get_time_by_tstring("2024-02-29x"));
    // Trailing fields of the time of day may be missing.
    EXPECT_EQ((time_t)1709208000, get_time_by_string("2024-02-29 12"));
    EXPECT_EQ((time_t)1709210040, get_time_by_tstring("2024-02-29T12:34"));
}

TEST_F(TimeText, RoundTripsThroughText)
{
    char buf[32];
    // A spread of instants from 1970 to 2099.
    for (long long t = 0; t < 4102444800LL; t += 86413LL * 97) {
        ASSERT_EQ(19, get_tstring_by_time((time_t)t, buf, sizeof(buf)));
        ASSERT_EQ((time_t)t, get_time_by_tstring(buf)) << buf;
        ASSERT_EQ(19, get_time_str_day_off((time_t)t, buf, sizeof(buf), 0));
        ASSERT_EQ((time_t)t, get_time_by_string(buf)) << buf;
    }
}

TEST_F(TimeText, RoundTripsInSummerTime)
{
    // Central European time: a July text must read back to the same
    // instant, which needs the daylight-saving flag worked out by the
    // conversion rather than forced off.
    use_zone("CET-1CEST,M3.5.0,M10.5.0/3");
    char buf[32];
    time_t july = 1719835200; // 2024-07-01 12:00:00 UTC
    ASSERT_EQ(19, get_tstring_by_time(july, buf, sizeof(buf)));
    EXPECT_STREQ("2024-07-01T14:00:00", buf);
    EXPECT_EQ(july, get_time_by_tstring(buf));

    time_t january = 1706745599; // 2024-01-31 23:59:59 UTC
    ASSERT_EQ(19, get_time_str_day_off(january, buf, sizeof(buf), 0));
    EXPECT_STREQ("2024-02-01 00:59:59", buf);
    EXPECT_EQ(january, get_time_by_string(buf));
}

TEST_F(TimeText, MonthOffsets)
{
    EXPECT_EQ("2021-02-28 10:20:30", mon_off(1612088430, 1));  // from 2021-01-31
    EXPECT_EQ("2024-02-29 23:59:59", mon_off(1706745599, 1));  // from 2024-01-31
    EXPECT_EQ("2000-02-29 00:00:00", mon_off(949276800, 1));   // 2000: divisible by 400
    EXPECT_EQ("2100-02-28 00:00:00", mon_off(4105036800, 1));  // 2100: not a leap year
    EXPECT_EQ("2024-04-30 23:59:59", mon_off(1706745599, 3));  // 30-day month
    EXPECT_EQ("2025-01-31 23:59:59", mon_off(1706745599, 12)); // whole year
    EXPECT_EQ("2025-02-28 23:59:59", mon_off(1706745599, 13));
    EXPECT_EQ("2024-01-31 23:59:59", mon_off(1706745599, 0));
    EXPECT_EQ("2023-12-31 23:59:59", mon_off(1706745599, -1)); // before January
    EXPECT_EQ("2023-02-28 23:59:59", mon_off(1706745599, -11));
    EXPECT_EQ("2022-12-31 23:59:59", mon_off(1706745599, -13));
    EXPECT_EQ("2023-12-31 23:59:59", mon_off(1704067199, 0));
    EXPECT_EQ("2024-02-29 23:59:59", mon_off(1704067199, 2));
    // Offsets far out of range neither overflow nor fail.
    char buf[64];
    EXPECT_GT(get_time_str_mon_off(1706745599, buf, sizeof(buf), 2147483647), 0);
    EXPECT_GT(get_time_str_mon_off(1706745599, buf, sizeof(buf), -2147483647 - 1), 0);
}

TEST_F(TimeText, CurrentTimeText)
{
    char buf[32];
    time_t before = time(nullptr);
    ASSERT_EQ(19, get_time_str(buf, sizeof(buf)));
    time_t after = time(nullptr);
    time_t parsed = get_time_by_string(buf);
    EXPECT_GE(parsed, before) << buf;
    EXPECT_LE(parsed, after) << buf;
}

TEST(MicrosecondClock, MonotonicAndNearWallClock)
{
    struct timeval tv;
    EXPECT_EQ(-1, sys_gettimeofday(nullptr, nullptr));
    ASSERT_EQ(0, sys_gettimeofday(&tv, nullptr));

    long long prev = (long long)tv.tv_sec * 1000000 + tv.tv_usec;
    for (int i = 0; i < 1000; i++) {
        ASSERT_EQ(0, sys_gettimeofday(&tv, nullptr));
        ASSERT_GE(tv.tv_usec, 0);
        ASSERT_LT(tv.tv_usec, 1000000);
        long long now = (long long)tv.tv_sec * 1000000 + tv.tv_usec;
        ASSERT_GE(now, prev) << "clock went back at call " << i;
        prev = now;
    }

    struct timespec wall;
    clock_gettime(CLOCK_REALTIME, &wall);
    long long wall_us = (long long)wall.tv_sec * 1000000 + wall.tv_nsec / 1000;
    ASSERT_EQ(0, sys_gettimeofday(&tv, nullptr));
    long long ours = (long long)tv.tv_sec * 1000000 + tv.tv_usec;
    EXPECT_LT(llabs(ours - wall_us), 2000000LL);
}

TEST(MicrosecondClock, ConcurrentCallers)
{
    // Several threads calling at once all get sane, non-decreasing readings.
    const int threads = 4;
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; t++) {
        pool.emplace_back([&failures] {
            long long prev = 0;
            for (int i = 0; i < 500; i++) {
                struct timeval tv;
                if (sys_gettimeofday(&tv, nullptr) != 0 || tv.tv_usec < 0 ||
                    tv.tv_usec >= 1000000) {
                    failures++;
                    return;
                }
                long long now = (long long)tv.tv_sec * 1000000 + tv.tv_usec;
                if (now < prev || tv.tv_sec < 1600000000) failures++;
                prev = now;
            }
        });
    }
    for (auto &th : pool)
        th.join();
    EXPECT_EQ(0, failures.load());
}

} // namespace
