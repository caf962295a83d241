/*
 * Local-time texts and a microsecond clock.
 *
 * Time values are seconds since 1970-01-01 UTC; the texts are local time.
 * The formatting calls never write past `len` (the text is cut and
 * terminated) and return the length the full text needs, or -1 on failure.
 */
#ifndef PLATFORM_TIME_TEXT_H
#define PLATFORM_TIME_TEXT_H

#include <sys/time.h>
#include <time.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* "YYYY-MM-DD hh:mm:ss": now, now-relative by days, and moved by whole months
 * (the day is clamped to the length of the resulting month). */
ONVIF_CLIENT_API int get_time_str(char *buf, int len);
ONVIF_CLIENT_API int get_time_str_day_off(time_t nt, char *buf, int len, int days);
ONVIF_CLIENT_API int get_time_str_mon_off(time_t nt, char *buf, int len, int months);

/* "YYYY-MM-DDThh:mm:ss". */
ONVIF_CLIENT_API int get_tstring_by_time(time_t t, char *buf, int len);

/* Parsing the two forms above (leading blanks allowed; the time part may be
 * missing). -1 for text that is not a valid date and time. */
ONVIF_CLIENT_API time_t get_time_by_string(const char *text);
ONVIF_CLIENT_API time_t get_time_by_tstring(const char *text);

/* Microsecond wall clock that never jumps: the wall clock is read once per
 * process, later calls advance it by the monotonic clock. tz is ignored.
 * 0, or -1 for a null tv. */
ONVIF_CLIENT_API int sys_gettimeofday(struct timeval *tv, void *tz);

#ifdef __cplusplus
}
#endif

#endif
