// Device record helpers: credentials, URI un-escaping, time texts and
// conversions (under several time zones set in-process), time-zone text and
// the validity checks.

#include "onvif/onvif_device.h"
#include "tests/support/scoped_tz.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

namespace
{

// A buffer with guard bytes on both sides; intact() tells whether a write
// went outside [0, N).
template <int N> struct Guarded {
    char pre[8];
    char buf[N];
    char post[8];
    Guarded()
    {
        memset(pre, 0x5a, sizeof(pre));
        memset(buf, 0x11, sizeof(buf));
        memset(post, 0x5a, sizeof(post));
    }
    bool intact() const
    {
        for (int i = 0; i < 8; i++)
            if (pre[i] != 0x5a || post[i] != 0x5a) return false;
        return true;
    }
};

struct tm make_tm(int y, int mo, int d, int h, int mi, int s, int isdst)
{
    struct tm tm;
    memset(&tm, 0, sizeof(tm));
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = isdst;
    return tm;
}

// 2024-07-01T12:00:00Z and 2024-01-15T06:30:00Z.
const int64_t kSummer = 1719835200;
const int64_t kWinter = 1705300200;

// ---- credentials -------------------------------------------------------

TEST(OnvifDevice, SetAuthInfoCopiesAtMost31Characters)
{
    ONVIF_DEVICE *dev = new ONVIF_DEVICE();
    std::string exact(31, 'u');
    std::string longer(40, 'p');

    onvif_SetAuthInfo(dev, exact.c_str(), longer.c_str());
    EXPECT_EQ(exact, dev->username);
    EXPECT_EQ(std::string(31, 'p'), dev->password);
    EXPECT_EQ(0, dev->need_auth); // the field after password is untouched

    // A longer name cut at 31 does not spill into the password.
    onvif_SetAuthInfo(dev, std::string(32, 'x').c_str(), "pw");
    EXPECT_EQ(std::string(31, 'x'), dev->username);
    EXPECT_STREQ("pw", dev->password);

    // A shorter value after a longer one leaves no tail behind.
    onvif_SetAuthInfo(dev, "admin", nullptr);
    EXPECT_STREQ("admin", dev->username);
    EXPECT_STREQ("", dev->password);

    onvif_SetAuthInfo(nullptr, "a", "b"); // no crash
    delete dev;
}

// ---- URI un-escaping -----------------------------------------------------

TEST(OnvifDevice, ParseUriUnescapesAmpersands)
{
    char out[300];
    ASSERT_EQ(0, onvif_parse_uri("rtsp://1.2.3.4/a?x=1&amp;y=2&amp;&amp;z=3", out, sizeof(out)));
    EXPECT_STREQ("rtsp://1.2.3.4/a?x=1&y=2&&z=3", out);

    // The scan resumes after each inserted '&': "&amp;amp;" gives "&amp;".
    ASSERT_EQ(0, onvif_parse_uri("http://h/?a=&amp;amp;b", out, sizeof(out)));
    EXPECT_STREQ("http://h/?a=&amp;b", out);

    // Other entities and a trailing partial one stay as they are.
    ASSERT_EQ(0, onvif_parse_uri("http://h/?a=&lt;&amp", out, sizeof(out)));
    EXPECT_STREQ("http://h/?a=&lt;&amp", out);

    // In place.
    char inplace[] = "http://10.0.0.2/snap.jpg?ch=1&amp;res=hi";
    ASSERT_EQ(0, onvif_parse_uri(inplace, inplace, sizeof(inplace)));
    EXPECT_STREQ("http://10.0.0.2/snap.jpg?ch=1&res=hi", inplace);
}

TEST(OnvifDevice, ParseUriRejectsShortOrOversizedSources)
{
    char out[64];
    strcpy(out, "keep");
    EXPECT_EQ(-1, onvif_parse_uri("rtsp://", out, sizeof(out))); // 7 characters
    EXPECT_STREQ("keep", out);
    EXPECT_EQ(0, onvif_parse_uri("rtsp://a", out, sizeof(out))); // 8 characters
    EXPECT_STREQ("rtsp://a", out);

    // Exactly fitting with its terminator, and one longer.
    std::string uri = "rtsp://1.2.3.4/" + std::string(16, 'x'); // 31 characters
    Guarded<32> g;
    EXPECT_EQ(0, onvif_parse_uri(uri.c_str(), g.buf, 32));
    EXPECT_EQ(uri, g.buf);
    EXPECT_TRUE(g.intact());

    Guarded<32> h;
    std::string longer = uri + "y";
    EXPECT_EQ(-1, onvif_parse_uri(longer.c_str(), h.buf, 32));
    EXPECT_EQ(0x11, h.buf[0]); // nothing written
    EXPECT_TRUE(h.intact());

    EXPECT_EQ(-1, onvif_parse_uri(nullptr, out, sizeof(out)));
    EXPECT_EQ(-1, onvif_parse_uri("rtsp://1.2.3.4/", nullptr, 10));
    EXPECT_EQ(-1, onvif_parse_uri("rtsp://1.2.3.4/", out, 0));
}

// ---- formatting ----------------------------------------------------------------

TEST(OnvifDevice, FormatDatetimeUtcLocalAndBounds)
{
    ScopedTz tz("UTC-8"); // eight hours ahead of UTC
    char buf[64];
    EXPECT_STREQ("2024-07-01T12:00:00Z",
                 onvif_format_datetime_str(kSummer, 1, "%Y-%m-%dT%H:%M:%SZ", buf, sizeof(buf)));
    EXPECT_STREQ("2024-07-01 20:00:00",
                 onvif_format_datetime_str(kSummer, 0, "%Y-%m-%d %H:%M:%S", buf, sizeof(buf)));

    // No buffer: a static one is returned.
    const char *s = onvif_format_datetime_str(0, 1, "%Y", nullptr, 0);
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ("1970", s);

    // A text longer than the buffer is cut, never overrun.
    Guarded<5> g;
    EXPECT_EQ(g.buf, onvif_format_datetime_str(kSummer, 1, "%Y-%m-%d", g.buf, 5));
    EXPECT_STREQ("2024", g.buf);
    EXPECT_TRUE(g.intact());

    // A time that cannot be converted leaves the buffer unchanged.
    strcpy(buf, "unchanged");
    EXPECT_STREQ("unchanged", onvif_format_datetime_str(INT64_MAX, 1, "%Y", buf, sizeof(buf)));
}

TEST(OnvifDevice, TimeStrWritesUtcWithOffset)
{
    ScopedTz tz("EST5EDT,M3.2.0,M11.1.0"); // UTC whatever the local zone
    char buf[64];
    EXPECT_EQ(20, onvif_get_time_str_s(buf, sizeof(buf), kSummer, 0));
    EXPECT_STREQ("2024-07-01T12:00:00Z", buf);
    EXPECT_EQ(20, onvif_get_time_str_s(buf, sizeof(buf), kSummer, 12 * 3600 + 61));
    EXPECT_STREQ("2024-07-02T00:01:01Z", buf);
    EXPECT_EQ(20, onvif_get_time_str_s(buf, sizeof(buf), kWinter, -7 * 86400));
    EXPECT_STREQ("2024-01-08T06:30:00Z", buf);

    // Exactly the text and its terminator, and one byte less.
    Guarded<21> g;
    EXPECT_EQ(20, onvif_get_time_str_s(g.buf, 21, kSummer, 0));
    EXPECT_STREQ("2024-07-01T12:00:00Z", g.buf);
    EXPECT_TRUE(g.intact());
    Guarded<20> h;
    EXPECT_EQ(19, onvif_get_time_str_s(h.buf, 20, kSummer, 0));
    EXPECT_STREQ("2024-07-01T12:00:00", h.buf);
    EXPECT_TRUE(h.intact());
    EXPECT_EQ(0, onvif_get_time_str_s(nullptr, 20, kSummer, 0));
}

// ---- conversions ------------------------------------------------------------------

TEST(OnvifDevice, TimegmIsTheUtcCounterpartOfMktimeInEveryZone)
{
    const char *zones[] = {"UTC0", "UTC-8", "EST5EDT,M3.2.0,M11.1.0", "CET-1CEST,M3.5.0,M10.5.0/3",
                           "NZST-12NZDT,M9.5.0,M4.1.0/3"};
    for (const char *zone : zones) {
        ScopedTz tz(zone);
        // Whatever the caller leaves in tm_isdst, the fields are UTC.
        for (int isdst = -1; isdst <= 1; isdst++) {
            struct tm s = make_tm(2024, 7, 1, 12, 0, 0, isdst);
            EXPECT_EQ(kSummer, onvif_timegm(&s)) << zone << " isdst " << isdst;
            struct tm w = make_tm(2024, 1, 15, 6, 30, 0, isdst);
            EXPECT_EQ(kWinter, onvif_timegm(&w)) << zone << " isdst " << isdst;
        }
        // Round trip through gmtime over two years in 7-hour steps.
        for (int64_t t = kWinter - 366LL * 86400; t < kWinter + 366LL * 86400; t += 7 * 3600 + 17) {
            time_t tt = (time_t)t;
            struct tm g;
            ASSERT_NE(nullptr, gmtime_r(&tt, &g));
            ASSERT_EQ(t, onvif_timegm(&g)) << zone;
        }
    }
    // The argument is not modified.
    struct tm in = make_tm(2024, 1, 15, 6, 30, 0, -1);
    struct tm copy = in;
    onvif_timegm(&in);
    EXPECT_EQ(0, memcmp(&in, &copy, sizeof(in)));
    EXPECT_EQ(-1, onvif_timegm(nullptr));
}

TEST(OnvifDevice, DatetimeConversions)
{
    ONVIF_DATETIME dt;
    memset(&dt, 0x7f, sizeof(dt));
    onvif_time_t_to_datetime(kSummer, &dt);
    EXPECT_EQ(2024, dt.year);
    EXPECT_EQ(7, dt.month);
    EXPECT_EQ(1, dt.day);
    EXPECT_EQ(12, dt.hour);
    EXPECT_EQ(0, dt.minute);
    EXPECT_EQ(0, dt.second);

    // Unconvertible: untouched.
    ONVIF_DATETIME keep = dt;
    onvif_time_t_to_datetime(INT64_MAX, &keep);
    EXPECT_EQ(0, memcmp(&keep, &dt, sizeof(dt)));
    onvif_time_t_to_datetime(kSummer, nullptr);

    // The record is read as local time.
    {
        ScopedTz tz("UTC0");
        EXPECT_EQ(kSummer, onvif_datetime_to_time_t(&dt));
    }
    {
        ScopedTz tz("UTC-8");
        EXPECT_EQ(kSummer - 8 * 3600, onvif_datetime_to_time_t(&dt));
    }
    {
        // Daylight saving is decided by the zone's rules: 12:00 EDT in July
        // and 01:30 EST in January.
        ScopedTz tz("EST5EDT,M3.2.0,M11.1.0");
        EXPECT_EQ(kSummer + 4 * 3600, onvif_datetime_to_time_t(&dt));
        ONVIF_DATETIME w;
        onvif_time_t_to_datetime(kWinter, &w);
        EXPECT_EQ(kWinter + 5 * 3600, onvif_datetime_to_time_t(&w));
    }
    EXPECT_EQ(-1, onvif_datetime_to_time_t(nullptr));
}

TEST(OnvifDevice, TimezoneTextFollowsTheLocalOffset)
{
    char buf[32];
    // Offsets past twelve hours are brought into -12..12.
    const char *cases[][2] = {
        {"UTC-8", "PST8PDT"}, {"UTC5", "PST-5PDT"}, {"UTC0", "PST0PDT"}, {"UTC-13", "PST-11PDT"}};
    for (const auto &c : cases) {
        ScopedTz tz(c[0]);
        EXPECT_EQ((int)strlen(c[1]), onvif_get_timezone(buf, sizeof(buf))) << c[0];
        EXPECT_STREQ(c[1], buf);
    }
    ScopedTz tz("UTC-8");
    Guarded<4> g;
    EXPECT_EQ(3, onvif_get_timezone(g.buf, 4));
    EXPECT_STREQ("PST", g.buf);
    EXPECT_TRUE(g.intact());
    EXPECT_EQ(0, onvif_get_timezone(nullptr, 4));
}

// ---- checks -----------------------------------------------------------------------

TEST(OnvifDevice, HostnameAndTimezoneChecks)
{
    EXPECT_EQ(1, onvif_is_valid_hostname("cam-01.example"));
    EXPECT_EQ(1, onvif_is_valid_hostname(""));
    EXPECT_EQ(0, onvif_is_valid_hostname("cam_01"));
    EXPECT_EQ(0, onvif_is_valid_hostname("cam 01"));
    EXPECT_EQ(0, onvif_is_valid_hostname("caméra"));
    EXPECT_EQ(0, onvif_is_valid_hostname(nullptr));

    EXPECT_EQ(1, onvif_is_valid_timezone("CST-8"));
    EXPECT_EQ(1, onvif_is_valid_timezone("GMT0"));
    EXPECT_EQ(0, onvif_is_valid_timezone("CET"));
    EXPECT_EQ(0, onvif_is_valid_timezone(""));
    EXPECT_EQ(0, onvif_is_valid_timezone(nullptr));
}

} // namespace
