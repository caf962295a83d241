// Process-wide log file with a level threshold and a time-stamped prefix,
// the three-call block form, and the unlevelled memory log.
#include "platform/sys_log.h"
#include "platform/sys_os.h"

#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <atomic>

namespace
{

const char *const LEVEL_TEXT[] = {"TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL"};

// The log counts as open only when both the file and the mutex exist.
std::atomic<FILE *> g_log_file{nullptr};
std::atomic<SYS_MUTEX> g_log_mutex{nullptr};
std::atomic<int> g_log_level{LOG_ERROR};

// Memory log: its state changes (lazy open, quit) and writes go under one static lock.
pthread_mutex_t g_mem_lock = PTHREAD_MUTEX_INITIALIZER;
FILE *g_mem_file = nullptr;

const size_t LOG_NAME_SIZE = 256;

bool log_is_open()
{
    return g_log_file.load() != nullptr && g_log_mutex.load() != nullptr;
}

void local_now(struct tm *out)
{
    time_t now = time(nullptr);
    memset(out, 0, sizeof(*out));
    localtime_r(&now, out);
}

// "<prefix>-YYYYMMDD_hhmmss<ext>" into name; false when it does not fit.
bool compose_time_name(char *name, size_t size, const char *prefix, const char *ext)
{
    struct tm t;
    local_now(&t);
    int n = snprintf(name, size, "%s-%04d%02d%02d_%02d%02d%02d%s", prefix, t.tm_year + 1900,
                     t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, ext);
    return n > 0 && (size_t)n < size;
}

void report_open_failure(const char *path, int err)
{
    printf("log init fopen[%s] failed[%s]\r\n", path ? path : "", strerror(err));
    fflush(stdout);
}

int write_text(FILE *fp, const char *fmt, va_list ap)
{
    int n = vfprintf(fp, fmt, ap);
    fflush(fp);
    return n > 0 ? n : 0;
}

} // namespace

extern "C" {

int log_init(const char *path)
{
    log_close();
    if (!path) {
        report_open_failure(path, EINVAL);
        return -1;
    }
    FILE *fp = fopen(path, "w+");
    if (!fp) {
        report_open_failure(path, errno);
        return -1;
    }
    g_log_file = fp;

    SYS_MUTEX m = sys_os_create_mutex();
    if (!m) {
        printf("log init mutex failed[%s]\r\n", strerror(errno));
        fflush(stdout);
        return -1;
    }
    g_log_mutex = m;
    return 0;
}

int log_time_init(const char *prefix)
{
    char name[LOG_NAME_SIZE];
    if (!prefix || !compose_time_name(name, sizeof(name), prefix, ".txt")) {
        report_open_failure(prefix, prefix ? ENAMETOOLONG : EINVAL);
        return -1;
    }
    return log_init(name);
}

int log_reinit(const char *path)
{
    if (!path) {
        report_open_failure(path, EINVAL);
        return -1;
    }
    SYS_MUTEX m = g_log_mutex.load();
    if (!m) return log_init(path); // nothing to switch from: open as a first opening

    sys_os_mutex_enter(m);
    FILE *old = g_log_file.exchange(nullptr);
    if (old) fclose(old);
    FILE *fp = fopen(path, "w+");
    int err = errno;
    g_log_file = fp;
    sys_os_mutex_leave(m);

    if (!fp) {
        report_open_failure(path, err);
        return -1;
    }
    return 0;
}

int log_time_reinit(const char *prefix)
{
    char name[LOG_NAME_SIZE];
    if (!prefix || !compose_time_name(name, sizeof(name), prefix, ".log")) {
        report_open_failure(prefix, prefix ? ENAMETOOLONG : EINVAL);
        return -1;
    }
    return log_reinit(name);
}

void log_close(void)
{
    SYS_MUTEX m = g_log_mutex.load();
    sys_os_mutex_enter(m);
    FILE *fp = g_log_file.exchange(nullptr);
    if (fp) fclose(fp);
    sys_os_mutex_leave(m);

    g_log_mutex = nullptr;
    sys_os_destroy_sig_mutex(m);
}

int log_set_level(int level)
{
    g_log_level = level;
    return level;
}

int log_get_level(void)
{
    return g_log_level.load();
}

int log_print(int level, const char *fmt, ...)
{
    if (level < g_log_level.load() || level > LOG_FATAL || level < LOG_TRACE || !fmt) return 0;
    if (!log_is_open()) return 0;

    struct tm t;
    local_now(&t);

    SYS_MUTEX m = g_log_mutex.load();
    sys_os_mutex_enter(m);
    int n = 0;
    FILE *fp = g_log_file.load();
    if (fp) {
        fprintf(fp, "[%04d-%02d-%02d %02d:%02d:%02d] : [%s] ", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, LEVEL_TEXT[level]);
        va_list ap;
        va_start(ap, fmt);
        n = write_text(fp, fmt, ap);
        va_end(ap);
    }
    sys_os_mutex_leave(m);
    return n;
}

int log_lock_start(const char *fmt, ...)
{
    if (!log_is_open()) return 0;

    sys_os_mutex_enter(g_log_mutex.load());
    FILE *fp = g_log_file.load();
    int n = 0;
    if (fp && fmt) {
        va_list ap;
        va_start(ap, fmt);
        n = write_text(fp, fmt, ap);
        va_end(ap);
    }
    return n;
}

int log_lock_print(const char *fmt, ...)
{
    if (!log_is_open() || !fmt) return 0;

    va_list ap;
    va_start(ap, fmt);
    int n = write_text(g_log_file.load(), fmt, ap);
    va_end(ap);
    return n;
}

int log_lock_end(const char *fmt, ...)
{
    int n = 0;
    FILE *fp = g_log_file.load();
    SYS_MUTEX m = g_log_mutex.load();
    if (fp && m && fmt) {
        va_list ap;
        va_start(ap, fmt);
        n = write_text(fp, fmt, ap);
        va_end(ap);
    }
    sys_os_mutex_leave(m); // no effect unless this thread holds the mutex
    return n;
}

int mem_log_print(const char *fmt, ...)
{
    if (!fmt) return 0;

    pthread_mutex_lock(&g_mem_lock);
    if (!g_mem_file) g_mem_file = fopen("mem_log.txt", "wb+");
    int n = 0;
    if (g_mem_file) {
        va_list ap;
        va_start(ap, fmt);
        n = write_text(g_mem_file, fmt, ap);
        va_end(ap);
    }
    pthread_mutex_unlock(&g_mem_lock);
    return n;
}

void mem_log_quit(void)
{
    pthread_mutex_lock(&g_mem_lock);
    if (g_mem_file) fclose(g_mem_file);
    g_mem_file = nullptr;
    pthread_mutex_unlock(&g_mem_lock);
}

} // extern "C"
