/*
 * OS layer: detached threads, recursive mutexes, auto-reset signals,
 * clocks, the last socket error, SIGPIPE suppression, heap allocation and
 * random bytes.
 *
 * Every other module reaches the operating system through this header
 * (and sys_log.h / sys_net.h). All functions are callable from C.
 */
#ifndef PLATFORM_SYS_OS_H
#define PLATFORM_SYS_OS_H

#include <stddef.h>
#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handles. A null handle is accepted by every operation (no-op or failure). */
typedef void *SYS_MUTEX; /* recursive mutex */
typedef void *SYS_SIG;   /* auto-reset signal */

/* Thread routine: one pointer argument, result ignored. */
typedef void *(*SYS_THREAD_FUNC)(void *arg);

/* Threads: started detached; returns a non-zero thread id, 0 on failure (logged). */
ONVIF_CLIENT_API uint32_t sys_os_create_thread(SYS_THREAD_FUNC func, void *arg);

/* Recursive mutex. enter: 0 or -1; leave: non-zero on success, 0 for null. */
ONVIF_CLIENT_API SYS_MUTEX sys_os_create_mutex(void);
ONVIF_CLIENT_API int sys_os_mutex_enter(SYS_MUTEX mutex);
ONVIF_CLIENT_API int sys_os_mutex_leave(SYS_MUTEX mutex);

/* Auto-reset signal: one waiter released per set; a set with no waiter stays
 * pending (several sets count as one). wait/wait_timeout: 0 consumed, -1 otherwise. */
ONVIF_CLIENT_API SYS_SIG sys_os_create_sig(void);
ONVIF_CLIENT_API int sys_os_sig_sign(SYS_SIG sig);
ONVIF_CLIENT_API int sys_os_sig_wait(SYS_SIG sig);
ONVIF_CLIENT_API int sys_os_sig_wait_timeout(SYS_SIG sig, uint32_t ms);

/* Destroys either a SYS_MUTEX or a SYS_SIG; null does nothing. */
ONVIF_CLIENT_API void sys_os_destroy_sig_mutex(void *handle);

/* Clocks: milliseconds since system start (wraps at 2^32), whole seconds since start. */
ONVIF_CLIENT_API uint32_t sys_os_get_ms(void);
ONVIF_CLIENT_API uint32_t sys_os_get_uptime(void);

/* Sleep the calling thread. */
ONVIF_CLIENT_API void sys_os_sleep_ms(uint32_t ms);

/* The calling thread's last socket error, as a number and as "WSAE-%d" (shared buffer). */
ONVIF_CLIENT_API int sys_os_get_socket_error_num(void);
ONVIF_CLIENT_API const char *sys_os_get_socket_error(void);

/* SIGPIPE held back in the calling thread around a write that may raise it
 * (OpenSSL's socket writes do not pass MSG_NOSIGNAL). The record keeps the
 * thread's previous signal mask in storage of its own. */
typedef struct {
    uint64_t old_mask[16]; /* previous signal mask (opaque) */
    int was_pending;       /* a SIGPIPE was pending before the block */
    int blocked;           /* the block took effect */
} SYS_SIGPIPE_STATE;

/* block: saves the mask and blocks SIGPIPE; 0, or -1 when the mask could not
 * be changed (restore then does nothing). restore: consumes a SIGPIPE raised
 * meanwhile and puts the saved mask back; a second restore does nothing. */
ONVIF_CLIENT_API int sys_os_sigpipe_block(SYS_SIGPIPE_STATE *st);
ONVIF_CLIENT_API void sys_os_sigpipe_restore(SYS_SIGPIPE_STATE *st);

/* Heap. */
ONVIF_CLIENT_API void *xmalloc(size_t size);
ONVIF_CLIENT_API void xfree(void *ptr);

/* len bytes from the system's cryptographic generator (OpenSSL's
 * RAND_bytes): 0, or -1 when it fails (the buffer is then zeroed) or for bad
 * arguments. Every nonce, UUID and client nonce the library sends comes from
 * here; two processes never share a sequence. */
ONVIF_CLIENT_API int sys_os_random(void *buf, int len);

#ifdef __cplusplus
}
#endif

#endif
