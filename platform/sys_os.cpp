// OS layer on POSIX threads: detached threads, recursive robust mutexes,
// auto-reset signals built from a mutex, a condition variable and a flag,
// monotonic clocks, the calling thread's last socket error and SIGPIPE
// suppression by the thread's signal mask.
#include "platform/sys_os.h"
#include "platform/sys_log.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>

#include <openssl/rand.h>

namespace
{

// Both handle kinds share one destroy call, so each starts with a tag.
const uint32_t TAG_MUTEX = 0x4d555458; // "MUTX"
const uint32_t TAG_SIG = 0x53494747;   // "SIGG"

struct SysMutex {
    uint32_t tag;
    pthread_mutex_t mtx;
};

struct SysSig {
    uint32_t tag;
    pthread_mutex_t mtx;
    pthread_cond_t cond;
    int set;
};

std::atomic<uint32_t> g_thread_counter{0};

uint32_t next_thread_id()
{
    uint32_t id = ++g_thread_counter;
    while (id == 0)
        id = ++g_thread_counter;
    return id;
}

SysMutex *as_mutex(void *h)
{
    SysMutex *m = static_cast<SysMutex *>(h);
    return (m && m->tag == TAG_MUTEX) ? m : nullptr;
}

SysSig *as_sig(void *h)
{
    SysSig *s = static_cast<SysSig *>(h);
    return (s && s->tag == TAG_SIG) ? s : nullptr;
}

uint64_t clock_ms(clockid_t id)
{
    struct timespec ts;
    if (clock_gettime(id, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u;
}

// Absolute CLOCK_MONOTONIC deadline ms from now.
struct timespec deadline_after(uint32_t ms)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += (time_t)(ms / 1000u);
    ts.tv_nsec += (long)(ms % 1000u) * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

thread_local char t_sock_err_text[24];

} // namespace

extern "C" {

uint32_t sys_os_create_thread(SYS_THREAD_FUNC func, void *arg)
{
    pthread_attr_t attr;
    pthread_t th;
    int rc = EINVAL;

    if (func && (rc = pthread_attr_init(&attr)) == 0) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        rc = pthread_create(&th, &attr, func, arg);
        pthread_attr_destroy(&attr);
    }
    if (rc != 0) {
        log_print(LOG_ERROR, "%s, CreateThread hret=%u, tid=%u, err=%u\r\n", "sys_os_create_thread",
                  0u, 0u, (unsigned)rc);
        return 0;
    }
    return next_thread_id();
}

SYS_MUTEX sys_os_create_mutex(void)
{
    SysMutex *m = static_cast<SysMutex *>(calloc(1, sizeof(SysMutex)));
    if (!m) return nullptr;

    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) {
        free(m);
        return nullptr;
    }
    int rc = pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    if (rc == 0) rc = pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    if (rc == 0) rc = pthread_mutex_init(&m->mtx, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        free(m);
        errno = rc;
        return nullptr;
    }
    m->tag = TAG_MUTEX;
    return m;
}

int sys_os_mutex_enter(SYS_MUTEX mutex)
{
    SysMutex *m = as_mutex(mutex);
    if (!m) return -1;

    int rc = pthread_mutex_lock(&m->mtx);
    if (rc == EOWNERDEAD) {
        // The previous owner ended without leaving: take the mutex over.
        pthread_mutex_consistent(&m->mtx);
        rc = 0;
    }
    return rc == 0 ? 0 : -1;
}

int sys_os_mutex_leave(SYS_MUTEX mutex)
{
    SysMutex *m = as_mutex(mutex);
    if (!m) return 0;
    // A recursive mutex reports EPERM when the caller does not own it; nothing changes then.
    return pthread_mutex_unlock(&m->mtx) == 0 ? 1 : 0;
}

SYS_SIG sys_os_create_sig(void)
{
    SysSig *s = static_cast<SysSig *>(calloc(1, sizeof(SysSig)));
    if (!s) return nullptr;

    pthread_condattr_t cattr;
    if (pthread_condattr_init(&cattr) != 0) {
        free(s);
        return nullptr;
    }
    int rc = pthread_condattr_setclock(&cattr, CLOCK_MONOTONIC);
    if (rc == 0) rc = pthread_cond_init(&s->cond, &cattr);
    pthread_condattr_destroy(&cattr);
    if (rc != 0) {
        free(s);
        return nullptr;
    }
    if (pthread_mutex_init(&s->mtx, nullptr) != 0) {
        pthread_cond_destroy(&s->cond);
        free(s);
        return nullptr;
    }
    s->tag = TAG_SIG;
    return s;
}

int sys_os_sig_sign(SYS_SIG sig)
{
    SysSig *s = as_sig(sig);
    if (!s) return 0;

    pthread_mutex_lock(&s->mtx);
    s->set = 1;
    pthread_cond_signal(&s->cond);
    pthread_mutex_unlock(&s->mtx);
    return 1;
}

int sys_os_sig_wait(SYS_SIG sig)
{
    SysSig *s = as_sig(sig);
    if (!s) return -1;

    pthread_mutex_lock(&s->mtx);
    while (!s->set) {
        if (pthread_cond_wait(&s->cond, &s->mtx) != 0) break;
    }
    int ret = s->set ? 0 : -1;
    s->set = 0;
    pthread_mutex_unlock(&s->mtx);
    return ret;
}

int sys_os_sig_wait_timeout(SYS_SIG sig, uint32_t ms)
{
    SysSig *s = as_sig(sig);
    if (!s) return -1;

    struct timespec until = deadline_after(ms);
    pthread_mutex_lock(&s->mtx);
    while (!s->set) {
        if (pthread_cond_timedwait(&s->cond, &s->mtx, &until) != 0) break;
    }
    int ret = s->set ? 0 : -1;
    s->set = 0;
    pthread_mutex_unlock(&s->mtx);
    return ret;
}

void sys_os_destroy_sig_mutex(void *handle)
{
    if (SysMutex *m = as_mutex(handle)) {
        m->tag = 0;
        pthread_mutex_destroy(&m->mtx);
        free(m);
    } else if (SysSig *s = as_sig(handle)) {
        s->tag = 0;
        pthread_cond_destroy(&s->cond);
        pthread_mutex_destroy(&s->mtx);
        free(s);
    }
}

uint32_t sys_os_get_ms(void)
{
    return (uint32_t)clock_ms(CLOCK_MONOTONIC);
}

uint32_t sys_os_get_uptime(void)
{
    return (uint32_t)(clock_ms(CLOCK_BOOTTIME) / 1000u);
}

void sys_os_sleep_ms(uint32_t ms)
{
    struct timespec req;
    req.tv_sec = (time_t)(ms / 1000u);
    req.tv_nsec = (long)(ms % 1000u) * 1000000L;
    struct timespec rem;
    while (nanosleep(&req, &rem) != 0 && errno == EINTR)
        req = rem;
}

int sys_os_get_socket_error_num(void)
{
    return errno;
}

const char *sys_os_get_socket_error(void)
{
    int err = errno;
    snprintf(t_sock_err_text, sizeof(t_sock_err_text), "WSAE-%d", err);
    return t_sock_err_text;
}

int sys_os_sigpipe_block(SYS_SIGPIPE_STATE *st)
{
    static_assert(sizeof(sigset_t) <= sizeof(st->old_mask), "signal mask storage too small");
    if (!st) return -1;
    st->blocked = 0;
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    st->was_pending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    if (pthread_sigmask(SIG_BLOCK, &block, &old) != 0) return -1;
    memcpy(st->old_mask, &old, sizeof(old));
    st->blocked = 1;
    return 0;
}

void sys_os_sigpipe_restore(SYS_SIGPIPE_STATE *st)
{
    if (!st || !st->blocked) return;
    st->blocked = 0;
    // A SIGPIPE raised while blocked is taken off the queue, unless one was
    // already pending before (that one belongs to someone else).
    if (!st->was_pending) {
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            sigset_t only;
            sigemptyset(&only);
            sigaddset(&only, SIGPIPE);
            struct timespec zero = {0, 0};
            for (int i = 0; i < 8 && sigtimedwait(&only, nullptr, &zero) < 0 && errno == EINTR;
                 i++) {
            }
        }
    }
    sigset_t old;
    memcpy(&old, st->old_mask, sizeof(old));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void *xmalloc(size_t size)
{
    return malloc(size ? size : 1);
}

void xfree(void *ptr)
{
    free(ptr);
}

int sys_os_random(void *buf, int len)
{
    if (!buf || len <= 0) return -1;
    if (RAND_bytes(static_cast<unsigned char *>(buf), len) == 1) return 0;
    memset(buf, 0, (size_t)len);
    log_print(LOG_ERROR, "%s, RAND_bytes failed!!!\r\n", "sys_os_random");
    return -1;
}

} // extern "C"
