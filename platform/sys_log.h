/*
 * Process-wide log file with six levels, a threshold, a time-stamped prefix
 * and a three-call block form; plus the unlevelled memory log "mem_log.txt".
 *
 * The log writes nothing until a program opens it with log_init/log_time_init.
 * Library messages pass their function name first and end in "\r\n".
 */
#ifndef PLATFORM_SYS_LOG_H
#define PLATFORM_SYS_LOG_H

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LOG_TRACE 0
#define LOG_DEBUG 1
#define LOG_INFO 2
#define LOG_WARN 3
#define LOG_ERROR 4
#define LOG_FATAL 5

#if defined(__GNUC__)
#define SYS_LOG_PRINTF(fmt_idx, arg_idx) __attribute__((format(printf, fmt_idx, arg_idx)))
#else
#define SYS_LOG_PRINTF(fmt_idx, arg_idx)
#endif

/* Opening and closing: 0 or -1 (the reason goes to standard output). */
ONVIF_CLIENT_API int log_init(const char *path);
ONVIF_CLIENT_API int log_time_init(const char *prefix); /* "<prefix>-YYYYMMDD_hhmmss.txt" */
ONVIF_CLIENT_API int log_reinit(const char *path);
ONVIF_CLIENT_API int log_time_reinit(const char *prefix); /* "<prefix>-YYYYMMDD_hhmmss.log" */
ONVIF_CLIENT_API void log_close(void);

/* Threshold: messages below it are dropped; initial value LOG_ERROR. */
ONVIF_CLIENT_API int log_set_level(int level);
ONVIF_CLIENT_API int log_get_level(void);

/* One prefixed line; returns characters of the caller's part written, 0 if none. */
ONVIF_CLIENT_API int log_print(int level, const char *fmt, ...) SYS_LOG_PRINTF(2, 3);

/* Block form: start holds the log lock, end releases it. No prefix, no threshold. */
ONVIF_CLIENT_API int log_lock_start(const char *fmt, ...) SYS_LOG_PRINTF(1, 2);
ONVIF_CLIENT_API int log_lock_print(const char *fmt, ...) SYS_LOG_PRINTF(1, 2);
ONVIF_CLIENT_API int log_lock_end(const char *fmt, ...) SYS_LOG_PRINTF(1, 2);

/* Memory log: opens "mem_log.txt" in the working directory on first use. */
ONVIF_CLIENT_API int mem_log_print(const char *fmt, ...) SYS_LOG_PRINTF(1, 2);
ONVIF_CLIENT_API void mem_log_quit(void);

#ifdef __cplusplus
}
#endif

#endif
