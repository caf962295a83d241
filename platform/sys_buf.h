/*
 * Process-wide buffer pools built on the pps pools: network receive buffers
 * (net_buf) and HTTP header-line units (hdrv_buf, one HDRV each).
 *
 * sys_buf_init(n) makes n net_buf buffers of 2048 bytes and 8 * n HDRV units,
 * both locked. HTTP messages keep their header lines in unlocked used lists
 * over the hdrv_buf pool (hdrv_ctx_ul_init / hdrv_ctx_free).
 */
#ifndef PLATFORM_SYS_BUF_H
#define PLATFORM_SYS_BUF_H

#include <stddef.h>
#include <stdint.h>

#include "platform/onvif_api.h"
#include "platform/pps.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Content size of a net_buf buffer made by sys_buf_init. */
#define NET_BUF_SIZE 2048

/* One HTTP header line: its name and a pointer to its value in the message buffer. */
typedef struct {
    char header[32];    /* header name, NUL-terminated when shorter than 32 */
    char *value_string; /* value text inside the message buffer */
} HDRV;

/* The hdrv_buf pool's context (null until made). */
extern ONVIF_CLIENT_API PPS_CTX *hdrv_buf_fl;

/* Both pools at once: 1 or 0 */
ONVIF_CLIENT_API int sys_buf_init(uint32_t nums);
ONVIF_CLIENT_API void sys_buf_deinit(void);

/* net_buf: receive buffers; net_buf_free also releases heap buffers */
ONVIF_CLIENT_API int net_buf_init(uint32_t num, uint32_t size);
ONVIF_CLIENT_API void net_buf_deinit(void);
ONVIF_CLIENT_API char *net_buf_get_idle(void);
ONVIF_CLIENT_API void net_buf_free(char *rbuf);
ONVIF_CLIENT_API uint32_t net_buf_get_size(void);
ONVIF_CLIENT_API uint32_t net_buf_idle_num(void);

/* hdrv_buf: header-line units */
ONVIF_CLIENT_API int hdrv_buf_init(uint32_t num);
ONVIF_CLIENT_API void hdrv_buf_deinit(void);
ONVIF_CLIENT_API HDRV *hdrv_buf_get_idle(void);
ONVIF_CLIENT_API int hdrv_buf_free(HDRV *p_hdrv);
ONVIF_CLIENT_API uint32_t hdrv_buf_idle_num(void);

/* Used lists of HDRV units (unlocked; the owner locks) */
ONVIF_CLIENT_API int hdrv_ctx_ul_init(PPS_CTX *ul_ctx);
ONVIF_CLIENT_API void hdrv_ctx_free(PPS_CTX *p_ctx);

#ifdef __cplusplus
}
#endif

#endif
