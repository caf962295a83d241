// Device record helpers: credentials, URI un-escaping, time texts and
// conversions, time-zone text and small validity checks.

#include "onvif/onvif_device.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

#include "platform/sys_log.h"
#include "platform/sys_net.h"

namespace
{

// Copies at most size - 1 bytes of src into dst, zero-filling the rest.
void copy_field(char *dst, size_t size, const char *src)
{
    memset(dst, 0, size);
    if (!src) return;
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
}

bool to_tm(int64_t t, int utc, struct tm *out)
{
    time_t tt = (time_t)t;
    if ((int64_t)tt != t) return false; // does not fit the platform's time_t
    return utc ? gmtime_r(&tt, out) != nullptr : localtime_r(&tt, out) != nullptr;
}

// Writes "YYYY-MM-DDThh:mm:ssZ" of tm, cut to len - 1; the count written.
int write_utc_text(char *buf, int len, const struct tm *tm)
{
    char tmp[64];
    int n = snprintf(tmp, sizeof(tmp), "%04d-%02d-%02dT%02d:%02d:%02dZ", tm->tm_year + 1900,
                     tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec);
    if (n < 0) n = 0;
    if (n > len - 1) n = len - 1;
    memcpy(buf, tmp, (size_t)n);
    buf[n] = '\0';
    return n;
}

} // namespace

extern "C" void onvif_SetAuthInfo(ONVIF_DEVICE *p_dev, const char *user, const char *pass)
{
    if (!p_dev) return;
    copy_field(p_dev->username, sizeof(p_dev->username), user);
    copy_field(p_dev->password, sizeof(p_dev->password), pass);
}

extern "C" void onvif_SetBasicOverHttp(ONVIF_DEVICE *p_dev, int allow)
{
    if (p_dev) p_dev->basic_over_http = allow ? 1 : 0;
}

extern "C" int onvif_parse_uri(const char *src, char *dst, int dst_len)
{
    if (!src || !dst || dst_len <= 0) return -1;
    size_t len = strlen(src);
    if (len < 8 || len + 1 > (size_t)dst_len) return -1;
    memmove(dst, src, len + 1); // src may be dst

    // Every "&amp;" becomes "&", scanning on just after the inserted '&'.
    char *p = dst;
    while ((p = strstr(p, "&amp;")) != nullptr) {
        memmove(p + 1, p + 5, strlen(p + 5) + 1);
        p += 1;
    }
    return 0;
}

extern "C" char *onvif_format_datetime_str(int64_t t, int utc, const char *format, char *buf,
                                           int len)
{
    static char s_buf[100];
    if (!buf || len <= 0) {
        buf = s_buf;
        len = (int)sizeof(s_buf);
        memset(s_buf, 0, sizeof(s_buf));
    }
    struct tm tm;
    if (!format || !to_tm(t, utc == 1, &tm)) return buf;

    // strftime leaves its buffer undefined when the text does not fit, so
    // format into a roomy buffer and cut the text to the caller's.
    char tmp[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    size_t n = strftime(tmp, sizeof(tmp), format, &tm); // the caller's format
#pragma GCC diagnostic pop
    if (n == 0) tmp[0] = '\0';
    if (n > (size_t)len - 1) n = (size_t)len - 1;
    memcpy(buf, tmp, n);
    buf[n] = '\0';
    return buf;
}

extern "C" int onvif_get_time_str(char *buf, int len, int offset)
{
    return onvif_get_time_str_s(buf, len, (int64_t)time(nullptr), offset);
}

extern "C" int onvif_get_time_str_s(char *buf, int len, int64_t t, int offset)
{
    if (!buf || len <= 0) return 0;
    struct tm tm;
    if (!to_tm(t + offset, 1, &tm)) {
        buf[0] = '\0';
        return 0;
    }
    return write_utc_text(buf, len, &tm);
}

extern "C" int64_t onvif_datetime_to_time_t(const ONVIF_DATETIME *dt)
{
    if (!dt) return -1;
    struct tm tm;
    memset(&tm, 0, sizeof(tm));
    tm.tm_year = dt->year - 1900;
    tm.tm_mon = dt->month - 1;
    tm.tm_mday = dt->day;
    tm.tm_hour = dt->hour;
    tm.tm_min = dt->minute;
    tm.tm_sec = dt->second;
    tm.tm_isdst = -1; // let the zone rules say whether daylight saving applies
    return (int64_t)mktime(&tm);
}

extern "C" void onvif_time_t_to_datetime(int64_t t, ONVIF_DATETIME *dt)
{
    struct tm tm;
    if (!dt || !to_tm(t, 1, &tm)) return;
    dt->hour = tm.tm_hour;
    dt->minute = tm.tm_min;
    dt->second = tm.tm_sec;
    dt->year = tm.tm_year + 1900;
    dt->month = tm.tm_mon + 1;
    dt->day = tm.tm_mday;
}

extern "C" int64_t onvif_timegm(struct tm *tm)
{
    if (!tm) return -1;
    // mktime of the fields as local standard time, then corrected by the
    // distance between local and UTC reading of that instant. Daylight
    // saving is cleared on both sides so a summer date is not shifted by
    // an hour.
    struct tm local = *tm;
    local.tm_isdst = 0;
    time_t t = mktime(&local);
    if (t == (time_t)-1) return -1;
    struct tm g;
    if (!gmtime_r(&t, &g)) return -1;
    g.tm_isdst = 0;
    time_t t2 = mktime(&g);
    if (t2 == (time_t)-1) return -1;
    return (int64_t)t + ((int64_t)t - (int64_t)t2);
}

extern "C" int onvif_get_timezone(char *buf, int len)
{
    if (!buf || len <= 0) return 0;
    time_t now = time(nullptr);
    struct tm lt, gt;
    if (!localtime_r(&now, &lt) || !gmtime_r(&now, &gt)) {
        buf[0] = '\0';
        return 0;
    }
    int diff = lt.tm_hour - gt.tm_hour;
    if (diff > 12) diff -= 24;
    if (diff < -12) diff += 24;
    int n = snprintf(buf, (size_t)len, "PST%dPDT", diff);
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    return n < len ? n : len - 1;
}

extern "C" int onvif_is_valid_hostname(const char *name)
{
    if (!name) return 0;
    for (const char *p = name; *p; p++) {
        char c = *p;
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '.';
        if (!ok) return 0;
    }
    return 1;
}

extern "C" int onvif_is_valid_timezone(const char *tz)
{
    if (!tz) return 0;
    for (const char *p = tz; *p; p++) {
        if (*p >= '0' && *p <= '9') return 1;
    }
    return 0;
}

extern "C" const char *onvif_get_local_ip(void)
{
    return get_local_ip();
}

extern "C" void onvif_store_device_clock(ONVIF_DEVICE *p_dev, const ONVIF_SYSTEM_DATETIME *dt)
{
    if (!p_dev || !dt) return;
    if (dt->flags & ONVIF_SYSDT_FLAG_UTC) {
        p_dev->time_stamp = (int64_t)time(nullptr);
        p_dev->device_time = dt->utc;
        p_dev->time_type = ONVIF_TIME_UTC;
    } else if (dt->flags & ONVIF_SYSDT_FLAG_LOCAL) {
        p_dev->time_stamp = (int64_t)time(nullptr);
        p_dev->device_time = dt->local;
        p_dev->time_type = ONVIF_TIME_LOCAL;
    } else {
        p_dev->time_type = ONVIF_TIME_UNKNOWN;
    }
}
