// Local-time texts, one table for writing and one for reading (in UTC set
// inside the process unless a row says otherwise), and the microsecond clock.
#include "platform/time_text.h"
#include "tests/support/scoped_tz.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

namespace
{

const char *const kCet = "CET-1CEST,M3.5.0,M10.5.0/3";

// 'T': get_tstring_by_time, 'D': get_time_str_day_off, 'M': get_time_str_mon_off.
int format(char kind, time_t t, int off, char *buf, int len)
{
    switch (kind) {
    case 'T':
        return get_tstring_by_time(t, buf, len);
    case 'D':
        return get_time_str_day_off(t, buf, len, off);
    default:
        return get_time_str_mon_off(t, buf, len, off);
    }
}

TEST(TimeText, Writing)
{
    struct Row {
        char kind;
        long long t;
        int off;
        const char *zone;
        const char *text;
    };
    const Row rows[] = {
        {'T', 0, 0, "UTC", "1970-01-01T00:00:00"},
        {'T', 1709210096, 0, "UTC", "2024-02-29T12:34:56"},
        {'T', 2147483648LL, 0, "UTC", "2038-01-19T03:14:08"},
        {'T', 1719835200, 0, kCet, "2024-07-01T14:00:00"}, // summer time
        {'D', 0, 0, "UTC", "1970-01-01 00:00:00"},
        {'D', 1709210096, 1, "UTC", "2024-03-01 12:34:56"},
        {'D', 1709210096, -366, "UTC", "2023-02-28 12:34:56"},
        {'D', 1706745599, 0, kCet, "2024-02-01 00:59:59"},
        // Whole months; the day is clamped to the month's length.
        {'M', 1612088430, 1, "UTC", "2021-02-28 10:20:30"},
        {'M', 1706745599, 1, "UTC", "2024-02-29 23:59:59"},
        {'M', 949276800, 1, "UTC", "2000-02-29 00:00:00"},  // 2000: divisible by 400
        {'M', 4105036800, 1, "UTC", "2100-02-28 00:00:00"}, // 2100: not a leap year
        {'M', 1706745599, 3, "UTC", "2024-04-30 23:59:59"},
        {'M', 1706745599, 12, "UTC", "2025-01-31 23:59:59"},
        {'M', 1706745599, 13, "UTC", "2025-02-28 23:59:59"},
        {'M', 1706745599, 0, "UTC", "2024-01-31 23:59:59"},
        {'M', 1706745599, -1, "UTC", "2023-12-31 23:59:59"},
        {'M', 1706745599, -11, "UTC", "2023-02-28 23:59:59"},
        {'M', 1706745599, -13, "UTC", "2022-12-31 23:59:59"},
        {'M', 1704067199, 2, "UTC", "2024-02-29 23:59:59"},
    };
    for (const Row &r : rows) {
        ScopedTz tz(r.zone);
        char buf[32];
        EXPECT_EQ(19, format(r.kind, (time_t)r.t, r.off, buf, sizeof(buf))) << r.text;
        EXPECT_STREQ(r.text, buf) << r.kind << " " << r.t << " " << r.off;
    }
    // Offsets far out of range neither overflow nor fail.
    ScopedTz tz("UTC");
    char buf[64];
    EXPECT_GT(get_time_str_mon_off(1706745599, buf, sizeof(buf), 2147483647), 0);
    EXPECT_GT(get_time_str_mon_off(1706745599, buf, sizeof(buf), -2147483647 - 1), 0);
}

// Short buffers: the text is cut and terminated, nothing is written past
// the given length, the full length is still reported.
TEST(TimeText, WritingStaysInsideTheBuffer)
{
    ScopedTz tz("UTC");
    struct Row {
        char kind;
        int len;
        const char *text;
    };
    const Row rows[] = {
        {'T', 20, "1970-01-01T00:00:00"},
        {'D', 19, "1970-01-01 00:00:0"},
        {'M', 5, "1970"},
        {'T', 1, ""},
    };
    for (const Row &r : rows) {
        char buf[24];
        memset(buf, 'X', sizeof(buf));
        EXPECT_EQ(19, format(r.kind, 0, 0, buf, r.len)) << r.kind << r.len;
        EXPECT_STREQ(r.text, buf) << r.kind << r.len;
        EXPECT_EQ('X', buf[r.len]) << r.kind << r.len;
    }
    char buf[4] = "XX";
    EXPECT_EQ(19, get_time_str(buf, 1));
    EXPECT_EQ('\0', buf[0]);
    EXPECT_EQ('X', buf[1]);
    EXPECT_EQ(19, get_time_str(buf, 0));
    EXPECT_EQ(19, get_tstring_by_time(0, nullptr, 0));
}

// Both forms read back; -1 for texts that are no valid date and time.
TEST(TimeText, Reading)
{
    ScopedTz tz("UTC");
    struct Row {
        const char *text;
        char form; // 'S' get_time_by_string, 'T' get_time_by_tstring, 'B' both
        long long want;
    };
    const Row rows[] = {
        {"2024-02-29 12:34:56", 'S', 1709210096},
        {" \t 2024-02-29 12:34:56", 'S', 1709210096},
        {"2024-02-29T12:34:56", 'T', 1709210096},
        {"2024-02-29T12:34:56Z", 'T', 1709210096},
        {"1970-01-01 00:00:00", 'S', 0},
        {"2000-02-29 00:00:00", 'S', 951782400},
        {"2024-02-29", 'B', 1709164800}, // no time of day: midnight
        {"2024-02-29 12", 'S', 1709208000},
        {"2024-02-29T12:34", 'T', 1709210040},
        // The other form's separator is not "date only".
        {"2024-02-29 12:34:56", 'T', -1},
        {"2024-02-29T12:34:56", 'S', -1},
        {"2024-02-29 noon", 'S', -1},
        {"2024-02-29x", 'T', -1},
        {"", 'B', -1},
        {"garbage", 'B', -1},
        {"   ", 'B', -1},
        {"2024", 'B', -1},
        {"2024-02", 'B', -1},
        {"2023-02-29 00:00:00", 'B', -1},
        {"2024-02-30 00:00:00", 'B', -1},
        {"2100-02-29 00:00:00", 'B', -1},
        {"2024-13-01 00:00:00", 'B', -1},
        {"2024-00-10 00:00:00", 'B', -1},
        {"2024-04-31 00:00:00", 'B', -1},
        {"2024-01-00 00:00:00", 'B', -1},
        {"2024-01-01 24:00:00", 'B', -1},
        {"2024-01-01 12:60:00", 'B', -1},
        {"2024-01-01 12:00:61", 'B', -1},
        {"2024-01-01 -1:00:00", 'B', -1},
    };
    for (const Row &r : rows) {
        if (r.form != 'T') {
            EXPECT_EQ((time_t)r.want, get_time_by_string(r.text)) << r.text;
        }
        if (r.form != 'S') {
            EXPECT_EQ((time_t)r.want, get_time_by_tstring(r.text)) << r.text;
        }
    }
    EXPECT_EQ((time_t)-1, get_time_by_string(nullptr));
    EXPECT_EQ((time_t)-1, get_time_by_tstring(nullptr));
}

TEST(TimeText, RoundTripsInEveryZone)
{
    // A spread of instants from 1970 to 2099; in central Europe a text must
    // read back to the same instant in summer too, which needs the
    // daylight-saving flag worked out by the conversion.
    for (const char *zone : {"UTC", kCet}) {
        ScopedTz tz(zone);
        char buf[32];
        for (long long t = 86400; t < 4102444800LL; t += 86413LL * 97) {
            ASSERT_EQ(19, get_tstring_by_time((time_t)t, buf, sizeof(buf)));
            ASSERT_EQ((time_t)t, get_time_by_tstring(buf)) << zone << " " << buf;
            ASSERT_EQ(19, get_time_str_day_off((time_t)t, buf, sizeof(buf), 0));
            ASSERT_EQ((time_t)t, get_time_by_string(buf)) << zone << " " << buf;
        }
    }
}

TEST(TimeText, CurrentTimeText)
{
    ScopedTz tz("UTC");
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

} // namespace
