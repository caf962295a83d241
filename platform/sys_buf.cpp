// Process-wide pools of network receive buffers and HTTP header-line units.

#include "platform/sys_buf.h"

#include <cstdlib>
#include <cstring>

#include "platform/sys_log.h"

namespace
{

PPS_CTX *net_buf_fl = nullptr;
uint32_t net_buf_content = 0; // content size asked for at net_buf_init

const uint32_t NODE_HDR = (uint32_t)sizeof(PPS_NODE);

// Does ptr point anywhere inside the pool's block (context, headers or contents)?
int in_block(const PPS_CTX *ctx, const void *ptr)
{
    uintptr_t p = (uintptr_t)ptr;
    uintptr_t base = (uintptr_t)ctx->fl_base;
    uintptr_t end = base + ctx->high_offset + (ctx->unit_size - NODE_HDR);
    return p >= base && p < end;
}

void clear_hdrv(HDRV *p_hdrv)
{
    memset(p_hdrv->header, 0, sizeof(p_hdrv->header));
    p_hdrv->value_string = nullptr;
}

} // namespace

extern "C" {

PPS_CTX *hdrv_buf_fl = nullptr;

int net_buf_init(uint32_t num, uint32_t size)
{
    if (net_buf_fl) {
        log_print(LOG_WARN, "%s, already initialized!!!\r\n", "net_buf_init");
        return 0;
    }
    net_buf_fl = pps_ctx_fl_init(num, size, 1);
    if (!net_buf_fl) return 0;
    net_buf_content = size;
    log_print(LOG_INFO, "%s, num = %lu\r\n", "net_buf_init", (unsigned long)num);
    return 1;
}

void net_buf_deinit(void)
{
    if (net_buf_fl) {
        pps_fl_free(net_buf_fl);
        net_buf_fl = nullptr;
    }
    net_buf_content = 0;
}

char *net_buf_get_idle(void)
{
    return static_cast<char *>(pps_fl_pop(net_buf_fl));
}

void net_buf_free(char *rbuf)
{
    if (!rbuf) return;
    if (net_buf_fl && in_block(net_buf_fl, rbuf)) {
        // A pointer into the pool is never heap memory: a unit goes back to
        // the tail of the free list; anything else inside the block is refused.
        if (!pps_safe_node(net_buf_fl, rbuf)) {
            log_print(LOG_WARN, "%s, unit ptr error!!!\r\n", "net_buf_free");
            return;
        }
        pps_fl_push_tail(net_buf_fl, rbuf);
        return;
    }
    free(rbuf);
}

uint32_t net_buf_get_size(void)
{
    return net_buf_fl ? net_buf_content : 0;
}

uint32_t net_buf_idle_num(void)
{
    return pps_node_count(net_buf_fl);
}

int hdrv_buf_init(uint32_t num)
{
    if (hdrv_buf_fl) {
        log_print(LOG_WARN, "%s, already initialized!!!\r\n", "hdrv_buf_init");
        return 0;
    }
    hdrv_buf_fl = pps_ctx_fl_init(num, (uint32_t)sizeof(HDRV), 1);
    if (!hdrv_buf_fl) return 0;
    log_print(LOG_INFO, "%s, num = %lu\r\n", "hdrv_buf_init", (unsigned long)num);
    return 1;
}

void hdrv_buf_deinit(void)
{
    if (hdrv_buf_fl) {
        pps_fl_free(hdrv_buf_fl);
        hdrv_buf_fl = nullptr;
    }
}

HDRV *hdrv_buf_get_idle(void)
{
    return static_cast<HDRV *>(pps_fl_pop(hdrv_buf_fl));
}

int hdrv_buf_free(HDRV *p_hdrv)
{
    if (!p_hdrv || !hdrv_buf_fl) return 0;
    // Nothing is written through a pointer that is not one of our units.
    if (!pps_safe_node(hdrv_buf_fl, p_hdrv)) return pps_fl_push(hdrv_buf_fl, p_hdrv);
    clear_hdrv(p_hdrv);
    return pps_fl_push(hdrv_buf_fl, p_hdrv);
}

uint32_t hdrv_buf_idle_num(void)
{
    return pps_node_count(hdrv_buf_fl);
}

int hdrv_ctx_ul_init(PPS_CTX *ul_ctx)
{
    if (!hdrv_buf_fl) return 0;
    return pps_ctx_ul_init_nm(hdrv_buf_fl, ul_ctx);
}

void hdrv_ctx_free(PPS_CTX *p_ctx)
{
    if (!p_ctx) return;
    // A list can never hold more units than its pool; the bound guards the walk.
    uint32_t limit =
        p_ctx->unit_size ? (p_ctx->high_offset - p_ctx->low_offset) / p_ctx->unit_size + 1 : 0;
    HDRV *p_hdrv = static_cast<HDRV *>(pps_lookup_start(p_ctx));
    for (uint32_t n = 0; p_hdrv && n < limit; n++) {
        HDRV *next = static_cast<HDRV *>(pps_lookup_next(p_ctx, p_hdrv));
        if (pps_ctx_ul_del(p_ctx, p_hdrv)) {
            clear_hdrv(p_hdrv);
            pps_fl_push(hdrv_buf_fl, p_hdrv);
        }
        p_hdrv = next;
    }
    pps_lookup_end(p_ctx);
}

int sys_buf_init(uint32_t nums)
{
    if (!net_buf_init(nums, NET_BUF_SIZE)) {
        log_print(LOG_ERROR, "%s, net_buf_init failed!!!\r\n", "sys_buf_init");
        return 0;
    }
    if (nums > UINT32_MAX / 8 || !hdrv_buf_init(nums * 8)) {
        log_print(LOG_ERROR, "%s, hdrv_buf_init failed!!!\r\n", "sys_buf_init");
        return 0;
    }
    return 1;
}

void sys_buf_deinit(void)
{
    net_buf_deinit();
    hdrv_buf_deinit();
}

} // extern "C"
