// Local-time texts ("YYYY-MM-DD hh:mm:ss" and the "T" form) and a
// microsecond clock built from one wall-clock reading plus CLOCK_MONOTONIC.
#include "platform/time_text.h"

#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace
{

const int64_t TICKS_PER_SEC = 1000000000; // CLOCK_MONOTONIC counts nanoseconds

// Broken-down time without the int range limits of struct tm's year.
struct Stamp {
    long long year;
    int mon; // 1..12
    int day, hour, min, sec;
};

int format_stamp(char *buf, int len, const Stamp &s, bool t_form)
{
    char tmp[96];
    int n = snprintf(tmp, sizeof(tmp),
                     t_form ? "%04lld-%02d-%02dT%02d:%02d:%02d" : "%04lld-%02d-%02d %02d:%02d:%02d",
                     s.year, s.mon, s.day, s.hour, s.min, s.sec);
    if (n < 0 || n >= (int)sizeof(tmp)) {
        if (buf && len > 0) buf[0] = '\0';
        return -1;
    }
    if (buf && len > 0) {
        int copy = n < len ? n : len - 1;
        memcpy(buf, tmp, (size_t)copy);
        buf[copy] = '\0';
    }
    return n;
}

bool local_stamp(time_t t, Stamp *s)
{
    struct tm tm_local;
    memset(&tm_local, 0, sizeof(tm_local));
    if (!localtime_r(&t, &tm_local)) return false;
    s->year = (long long)tm_local.tm_year + 1900;
    s->mon = tm_local.tm_mon + 1;
    s->day = tm_local.tm_mday;
    s->hour = tm_local.tm_hour;
    s->min = tm_local.tm_min;
    s->sec = tm_local.tm_sec;
    return true;
}

int format_time(time_t t, char *buf, int len, bool t_form)
{
    Stamp s;
    if (!local_stamp(t, &s)) {
        if (buf && len > 0) buf[0] = '\0';
        return -1;
    }
    return format_stamp(buf, len, s, t_form);
}

bool is_leap(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(long long year, int mon)
{
    static const int DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mon == 2 && is_leap(year)) return 29;
    return DAYS[mon - 1];
}

time_t parse_time(const char *text, bool t_form)
{
    if (!text) return (time_t)-1;
    while (*text == ' ' || *text == '\t')
        text++;

    int year = 0, mon = 0, day = 0, hour = 0, min = 0, sec = 0;
    int used = 0;
    if (sscanf(text, "%04d-%02d-%02d%n", &year, &mon, &day, &used) < 3 || used <= 0)
        return (time_t)-1;
    // The date alone means midnight; anything after it must be the
    // separator and the time of day (fields missing at its end stay 0).
    const char *rest = text + used;
    while (*rest == ' ' || *rest == '\t' || *rest == '\r' || *rest == '\n')
        rest++;
    if (*rest != '\0') {
        if (text[used] != (t_form ? 'T' : ' ')) return (time_t)-1;
        if (sscanf(text + used + 1, "%02d:%02d:%02d", &hour, &min, &sec) < 1) return (time_t)-1;
    }
    if (mon < 1 || mon > 12 || day < 1 || day > days_in_month(year, mon) || hour < 0 || hour > 23 ||
        min < 0 || min > 59 || sec < 0 || sec > 60)
        return (time_t)-1;

    struct tm tm_local;
    memset(&tm_local, 0, sizeof(tm_local));
    tm_local.tm_year = year - 1900;
    tm_local.tm_mon = mon - 1;
    tm_local.tm_mday = day;
    tm_local.tm_hour = hour;
    tm_local.tm_min = min;
    tm_local.tm_sec = sec;
    // Let the C library decide whether daylight-saving time applies, so that
    // a text written by get_time_str/get_tstring_by_time reads back to the
    // same instant in summer too.
    tm_local.tm_isdst = -1;
    return mktime(&tm_local);
}

int64_t mono_ticks()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * TICKS_PER_SEC + ts.tv_nsec;
}

std::atomic<int> g_clock_claims{0};
std::atomic<int> g_clock_ready{0};
int64_t g_clock_offset = 0; // wall clock in ticks minus the monotonic counter

} // namespace

extern "C" {

int get_time_str(char *buf, int len)
{
    return format_time(time(nullptr), buf, len, false);
}

int get_time_str_day_off(time_t nt, char *buf, int len, int days)
{
    return format_time((time_t)((int64_t)nt + (int64_t)days * 86400), buf, len, false);
}

int get_time_str_mon_off(time_t nt, char *buf, int len, int months)
{
    Stamp s;
    if (!local_stamp(nt, &s)) {
        if (buf && len > 0) buf[0] = '\0';
        return -1;
    }
    // Month arithmetic on a zero-based month; floor division so that a
    // negative offset moves into earlier years (January - 1 = December).
    long long m = (long long)(s.mon - 1) + months;
    long long years = m / 12;
    long long rem = m % 12;
    if (rem < 0) {
        rem += 12;
        years -= 1;
    }
    s.year += years;
    s.mon = (int)rem + 1;
    int dim = days_in_month(s.year, s.mon);
    if (s.day > dim) s.day = dim;
    return format_stamp(buf, len, s, false);
}

int get_tstring_by_time(time_t t, char *buf, int len)
{
    return format_time(t, buf, len, true);
}

time_t get_time_by_string(const char *text)
{
    return parse_time(text, false);
}

time_t get_time_by_tstring(const char *text)
{
    return parse_time(text, true);
}

int sys_gettimeofday(struct timeval *tv, void *tz)
{
    (void)tz;
    if (!tv) return -1;

    if (!g_clock_ready.load(std::memory_order_acquire)) {
        if (g_clock_claims.fetch_add(1) == 0) {
            int64_t counter = mono_ticks();
            struct timespec wall;
            clock_gettime(CLOCK_REALTIME, &wall);
            int64_t ms = (int64_t)wall.tv_sec * 1000 + wall.tv_nsec / 1000000;
            tv->tv_sec = (time_t)(ms / 1000);
            tv->tv_usec = (suseconds_t)((ms % 1000) * 1000);
            g_clock_offset = ms * (TICKS_PER_SEC / 1000) - counter;
            g_clock_ready.store(1, std::memory_order_release);
            return 0;
        }
        while (!g_clock_ready.load(std::memory_order_acquire))
            usleep(1000);
    }

    int64_t sum = mono_ticks() + g_clock_offset;
    tv->tv_sec = (time_t)(sum / TICKS_PER_SEC);
    tv->tv_usec = (suseconds_t)((sum % TICKS_PER_SEC) * 1000000 / TICKS_PER_SEC);
    return 0;
}

} // extern "C"
