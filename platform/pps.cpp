// Object pools with intrusive free and used lists linked by 32-bit offsets.

#include "platform/pps.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/sys_log.h"

namespace
{

const uint32_t NODE_HDR = (uint32_t)sizeof(PPS_NODE); // 12 bytes in front of each content

static_assert(sizeof(PPS_NODE) == 12, "node header is three 32-bit words");
static_assert((PPS_CTX_AREA_SIZE + sizeof(PPS_NODE)) % PPS_ALIGN == 0,
              "first content must be aligned");
static_assert(PPS_CTX_AREA_SIZE >= sizeof(PPS_CTX), "context area holds the context");
static_assert(alignof(PPS_CTX) <= PPS_ALIGN, "pool block alignment");

// Result of locating a pointer among a context's units.
enum UnitCheck { UNIT_OK, UNIT_OUT_OF_RANGE, UNIT_MISALIGNED };

struct UnitPos {
    uint32_t index;  // quotient: the unit the pointer lies in (or would be)
    uint32_t remain; // remainder: bytes past that unit's content start
};

PPS_NODE *node_at(const PPS_CTX *ctx, uint32_t off)
{
    return static_cast<PPS_NODE *>(static_cast<void *>(ctx->fl_base + off));
}

void *content_at(const PPS_CTX *ctx, uint32_t off)
{
    return off ? ctx->fl_base + off + NODE_HDR : nullptr;
}

// Header offset of a content pointer already known to be valid.
uint32_t header_off(const PPS_CTX *ctx, const void *content_ptr)
{
    return (uint32_t)((uintptr_t)content_ptr - (uintptr_t)ctx->fl_base - NODE_HDR);
}

uint32_t unit_count(const PPS_CTX *ctx)
{
    return (ctx->high_offset - ctx->low_offset) / ctx->unit_size + 1;
}

// Range and boundary arithmetic; no memory is read through content_ptr.
UnitCheck check_unit(const PPS_CTX *ctx, const void *content_ptr, UnitPos *pos)
{
    pos->index = 0;
    pos->remain = 0;
    if (!ctx || !content_ptr || !ctx->fl_base || ctx->unit_size == 0 ||
        ctx->high_offset < ctx->low_offset)
        return UNIT_OUT_OF_RANGE;
    uintptr_t p = (uintptr_t)content_ptr;
    uintptr_t low = (uintptr_t)ctx->fl_base + ctx->low_offset;
    uintptr_t high = (uintptr_t)ctx->fl_base + ctx->high_offset;
    if (p < low || p > high) return UNIT_OUT_OF_RANGE;
    uintptr_t dist = p - low;
    pos->index = (uint32_t)(dist / ctx->unit_size);
    pos->remain = (uint32_t)(dist % ctx->unit_size);
    return pos->remain ? UNIT_MISALIGNED : UNIT_OK;
}

void log_misaligned(const char *name, const PPS_CTX *ctx, const void *content_ptr,
                    const UnitPos &pos)
{
    log_print(LOG_WARN,
              "%s, unit ptr error,pps_ctx[0x%08x],ptr[0x%08x],low_offset[0x%08x],offset[0x%08x],"
              "like entry[%u]\r\n",
              name, (unsigned)(uintptr_t)ctx, (unsigned)(uintptr_t)content_ptr,
              (unsigned)ctx->low_offset, (unsigned)pos.remain, (unsigned)pos.index);
}

void lock(const PPS_CTX *ctx)
{
    if (ctx->ctx_mutex) sys_os_mutex_enter(ctx->ctx_mutex);
}

void unlock(const PPS_CTX *ctx)
{
    if (ctx->ctx_mutex) sys_os_mutex_leave(ctx->ctx_mutex);
}

void link_head(PPS_CTX *ctx, uint32_t off)
{
    PPS_NODE *node = node_at(ctx, off);
    node->prev_off = 0;
    if (ctx->head_off) {
        node_at(ctx, ctx->head_off)->prev_off = off;
        node->next_off = ctx->head_off;
    } else {
        node->next_off = 0;
        ctx->tail_off = off;
    }
    ctx->head_off = off;
}

void link_tail(PPS_CTX *ctx, uint32_t off)
{
    PPS_NODE *node = node_at(ctx, off);
    node->next_off = 0;
    if (ctx->tail_off) {
        node_at(ctx, ctx->tail_off)->next_off = off;
        node->prev_off = ctx->tail_off;
    } else {
        node->prev_off = 0;
        ctx->head_off = off;
    }
    ctx->tail_off = off;
}

void unlink_node(PPS_CTX *ctx, uint32_t off)
{
    PPS_NODE *node = node_at(ctx, off);
    if (node->prev_off)
        node_at(ctx, node->prev_off)->next_off = node->next_off;
    else
        ctx->head_off = node->next_off;
    if (node->next_off)
        node_at(ctx, node->next_off)->prev_off = node->prev_off;
    else
        ctx->tail_off = node->prev_off;
}

// A node flagged for a used list that claims to be a head or tail must be
// this list's head or tail; otherwise it belongs to another list over the
// same pool, and unlinking it here would corrupt both lists.
int ends_match(const PPS_CTX *ctx, uint32_t off)
{
    const PPS_NODE *node = node_at(ctx, off);
    if (node->prev_off == 0 && ctx->head_off != off) return 0;
    if (node->next_off == 0 && ctx->tail_off != off) return 0;
    return 1;
}

// Pool operations only make sense on the context at the start of its block.
int is_pool(const PPS_CTX *ctx, const char *name)
{
    if (ctx->fl_base == static_cast<const void *>(ctx)) return 1;
    log_print(LOG_WARN, "%s, not a pool context!!!\r\n", name);
    return 0;
}

void link_all_units(PPS_CTX *ctx, uint32_t units)
{
    ctx->head_off = 0;
    ctx->tail_off = 0;
    for (uint32_t i = 0; i < units; i++) {
        uint32_t off = PPS_CTX_AREA_SIZE + i * ctx->unit_size;
        link_tail(ctx, off);
        node_at(ctx, off)->node_flag = PPS_NODE_IN_FL;
    }
    ctx->node_num = units;
}

int fl_push(PPS_CTX *ctx, void *content_ptr, int at_tail, const char *name)
{
    if (!ctx || !content_ptr) return 0;
    if (!pps_safe_node(ctx, content_ptr)) {
        log_print(LOG_WARN, "%s, unit ptr error!!!\r\n", name);
        return 0;
    }
    if (!is_pool(ctx, name)) return 0;
    uint32_t off = header_off(ctx, content_ptr);
    lock(ctx);
    PPS_NODE *node = node_at(ctx, off);
    if (node->node_flag == PPS_NODE_IN_FL) {
        unlock(ctx);
        log_print(LOG_WARN, "%s, unit node %d already in freelist !!!\r\n", name,
                  pps_get_index(ctx, content_ptr));
        return 0;
    }
    if (at_tail)
        link_tail(ctx, off);
    else
        link_head(ctx, off);
    node->node_flag = PPS_NODE_IN_FL;
    ctx->node_num++;
    ctx->push_cnt++;
    unlock(ctx);
    return 1;
}

int ul_add(PPS_CTX *ctx, void *content_ptr, int at_head)
{
    if (!pps_safe_node(ctx, content_ptr)) return 0;
    uint32_t off = header_off(ctx, content_ptr);
    lock(ctx);
    PPS_NODE *node = node_at(ctx, off);
    if (node->node_flag != PPS_NODE_DETACHED) {
        unlock(ctx);
        return 0;
    }
    if (at_head)
        link_head(ctx, off);
    else
        link_tail(ctx, off);
    node->node_flag = PPS_NODE_IN_UL;
    ctx->node_num++;
    unlock(ctx);
    return 1;
}

// Checks and unlinks a unit of this used list; the caller holds the lock or
// is inside a locked walk. Returns the header offset of the following node
// through next_off. 0 when refused.
int ul_remove(PPS_CTX *ctx, void *content_ptr, uint32_t *next_off, const char *name)
{
    *next_off = 0;
    if (!pps_used_node(ctx, content_ptr)) return 0;
    uint32_t off = header_off(ctx, content_ptr);
    if (!ends_match(ctx, off)) {
        log_print(LOG_WARN, "%s, unit not in this used list!!!\r\n", name);
        return 0;
    }
    PPS_NODE *node = node_at(ctx, off);
    *next_off = node->next_off;
    unlink_node(ctx, off);
    ctx->node_num--;
    memset(node, 0, sizeof(*node));
    return 1;
}

void *step(PPS_CTX *ctx, void *content_ptr, int forward, const char *name, int long_msg)
{
    if (!ctx || !content_ptr) return nullptr;
    if (!pps_safe_node(ctx, content_ptr)) {
        if (long_msg)
            log_print(LOG_WARN, "%s, unit ptr error!!!!!!\r\n", name);
        else
            log_print(LOG_WARN, "%s, unit ptr error!!!\r\n", name);
        return nullptr;
    }
    const PPS_NODE *node = node_at(ctx, header_off(ctx, content_ptr));
    return content_at(ctx, forward ? node->next_off : node->prev_off);
}

} // namespace

extern "C" {

size_t pps_ctx_fl_mem_len(uint32_t node_num, uint32_t content_size)
{
    if (node_num == 0) return 0;
    uint64_t unit = ((uint64_t)content_size + NODE_HDR + PPS_ALIGN - 1) / PPS_ALIGN * PPS_ALIGN;
    uint64_t total = PPS_CTX_AREA_SIZE + (uint64_t)node_num * unit;
    if (total > UINT32_MAX || total > SIZE_MAX) return 0;
    return (size_t)total;
}

PPS_CTX *pps_ctx_fl_init(uint32_t node_num, uint32_t content_size, int need_mutex)
{
    size_t len = pps_ctx_fl_mem_len(node_num, content_size);
    if (len == 0) {
        log_print(LOG_ERROR, "%s, invalid pool size, node_num = %u, content size = %u!!!\r\n",
                  "pps_ctx_fl_init", (unsigned)node_num, (unsigned)content_size);
        return nullptr;
    }
    char *mem = static_cast<char *>(malloc(len));
    if (!mem) {
        uint64_t want = (uint64_t)node_num * ((uint64_t)content_size + NODE_HDR);
        log_print(LOG_ERROR, "%s, memory malloc failed,len = %d\r\n", "pps_ctx_fl_init",
                  want > INT_MAX ? INT_MAX : (int)want);
        return nullptr;
    }
    PPS_CTX *ctx = pps_ctx_fl_init_assign(mem, len, node_num, content_size, need_mutex);
    if (!ctx) free(mem);
    return ctx;
}

PPS_CTX *pps_ctx_fl_init_assign(char *mem_addr, size_t mem_len, uint32_t node_num,
                                uint32_t content_size, int need_mutex)
{
    const char *name = "pps_ctx_fl_init_assign";
    if (!mem_addr) return nullptr;
    size_t need = pps_ctx_fl_mem_len(node_num, content_size);
    if (need == 0) {
        log_print(LOG_ERROR, "%s, invalid pool size, node_num = %u, content size = %u!!!\r\n", name,
                  (unsigned)node_num, (unsigned)content_size);
        return nullptr;
    }
    if ((uintptr_t)mem_addr % PPS_ALIGN) {
        log_print(LOG_ERROR, "%s, assign mem not aligned!!!\r\n", name);
        return nullptr;
    }
    if (mem_len < need) {
        log_print(LOG_ERROR, "%s, assign mem len too short!!!\r\n", name);
        return nullptr;
    }
    memset(mem_addr, 0, need);
    PPS_CTX *ctx = static_cast<PPS_CTX *>(static_cast<void *>(mem_addr));
    ctx->fl_base = mem_addr;
    ctx->unit_size = (uint32_t)((need - PPS_CTX_AREA_SIZE) / node_num);
    ctx->low_offset = PPS_CTX_AREA_SIZE + NODE_HDR;
    ctx->high_offset = ctx->low_offset + (node_num - 1) * ctx->unit_size;
    link_all_units(ctx, node_num);
    if (need_mutex) {
        ctx->ctx_mutex = sys_os_create_mutex();
        if (!ctx->ctx_mutex) {
            log_print(LOG_ERROR, "%s, create mutex failed!!!\r\n", name);
            return nullptr;
        }
    }
    return ctx;
}

int pps_ctx_ul_init_assign(PPS_CTX *ul_ctx, PPS_CTX *fl_ctx, int need_mutex)
{
    if (!ul_ctx || !fl_ctx) return 0;
    memset(ul_ctx, 0, sizeof(*ul_ctx));
    ul_ctx->fl_base = fl_ctx->fl_base;
    ul_ctx->low_offset = fl_ctx->low_offset;
    ul_ctx->high_offset = fl_ctx->high_offset;
    ul_ctx->unit_size = fl_ctx->unit_size;
    if (need_mutex) {
        ul_ctx->ctx_mutex = sys_os_create_mutex();
        if (!ul_ctx->ctx_mutex) {
            log_print(LOG_ERROR, "%s, create mutex failed!!!\r\n", "pps_ctx_ul_init_assign");
            return 0;
        }
    }
    return 1;
}

PPS_CTX *pps_ctx_ul_init(PPS_CTX *fl_ctx, int need_mutex)
{
    if (!fl_ctx) return nullptr;
    PPS_CTX *ul_ctx = static_cast<PPS_CTX *>(malloc(sizeof(PPS_CTX)));
    if (!ul_ctx) {
        log_print(LOG_ERROR, "%s, memory malloc failed,len = %d\r\n", "pps_ctx_ul_init",
                  (int)sizeof(PPS_CTX));
        return nullptr;
    }
    if (!pps_ctx_ul_init_assign(ul_ctx, fl_ctx, need_mutex)) {
        free(ul_ctx);
        return nullptr;
    }
    return ul_ctx;
}

int pps_ctx_ul_init_nm(PPS_CTX *fl_ctx, PPS_CTX *ul_ctx)
{
    return pps_ctx_ul_init_assign(ul_ctx, fl_ctx, 0);
}

void pps_fl_free(PPS_CTX *fl_ctx)
{
    if (!fl_ctx) return;
    if (fl_ctx->ctx_mutex) {
        sys_os_destroy_sig_mutex(fl_ctx->ctx_mutex);
        fl_ctx->ctx_mutex = nullptr;
    }
    free(fl_ctx);
}

void pps_ul_free(PPS_CTX *ul_ctx)
{
    pps_fl_free(ul_ctx);
}

void pps_fl_reinit(PPS_CTX *fl_ctx)
{
    if (!fl_ctx || !fl_ctx->fl_base || !is_pool(fl_ctx, "pps_fl_reinit")) return;
    lock(fl_ctx);
    uint32_t units = unit_count(fl_ctx);
    memset(fl_ctx->fl_base + PPS_CTX_AREA_SIZE, 0, (size_t)units * fl_ctx->unit_size);
    link_all_units(fl_ctx, units);
    unlock(fl_ctx);
}

void pps_ul_reinit(PPS_CTX *ul_ctx)
{
    if (!ul_ctx) return;
    lock(ul_ctx);
    ul_ctx->head_off = 0;
    ul_ctx->tail_off = 0;
    ul_ctx->node_num = 0;
    unlock(ul_ctx);
    if (ul_ctx->ctx_mutex) {
        sys_os_destroy_sig_mutex(ul_ctx->ctx_mutex);
        ul_ctx->ctx_mutex = nullptr;
    }
}

void *pps_fl_pop(PPS_CTX *fl_ctx)
{
    if (!fl_ctx || !fl_ctx->fl_base || !is_pool(fl_ctx, "pps_fl_pop")) return nullptr;
    lock(fl_ctx);
    uint32_t off = fl_ctx->head_off;
    if (off == 0) {
        unlock(fl_ctx);
        return nullptr;
    }
    unlink_node(fl_ctx, off);
    PPS_NODE *node = node_at(fl_ctx, off);
    memset(node, 0, sizeof(*node));
    fl_ctx->node_num--;
    fl_ctx->pop_cnt++;
    unlock(fl_ctx);
    return content_at(fl_ctx, off);
}

int pps_fl_push(PPS_CTX *fl_ctx, void *content_ptr)
{
    return fl_push(fl_ctx, content_ptr, 0, "pps_fl_push");
}

int pps_fl_push_tail(PPS_CTX *fl_ctx, void *content_ptr)
{
    return fl_push(fl_ctx, content_ptr, 1, "pps_fl_push_tail");
}

int pps_ctx_ul_add(PPS_CTX *ul_ctx, void *content_ptr)
{
    return ul_add(ul_ctx, content_ptr, 0);
}

int pps_ctx_ul_add_head(PPS_CTX *ul_ctx, void *content_ptr)
{
    return ul_add(ul_ctx, content_ptr, 1);
}

int pps_ctx_ul_del(PPS_CTX *ul_ctx, void *content_ptr)
{
    if (!pps_safe_node(ul_ctx, content_ptr)) return 0;
    uint32_t next_off;
    lock(ul_ctx);
    int ok = ul_remove(ul_ctx, content_ptr, &next_off, "pps_ctx_ul_del");
    unlock(ul_ctx);
    return ok;
}

void *pps_ctx_ul_del_unlock(PPS_CTX *ul_ctx, void *content_ptr)
{
    if (!pps_safe_node(ul_ctx, content_ptr)) return nullptr;
    uint32_t next_off;
    if (!ul_remove(ul_ctx, content_ptr, &next_off, "pps_ctx_ul_del_unlock")) return nullptr;
    return content_at(ul_ctx, next_off);
}

PPS_NODE *pps_ctx_ul_del_node_unlock(PPS_CTX *ul_ctx, PPS_NODE *p_node)
{
    const char *name = "pps_ctx_ul_del_node_unlock";
    if (!ul_ctx || !p_node) return nullptr;
    void *content_ptr = reinterpret_cast<char *>(p_node) + NODE_HDR;
    if (!pps_safe_node(ul_ctx, content_ptr)) {
        log_print(LOG_WARN, "%s, unit ptr error!!!\r\n", name);
        return nullptr;
    }
    uint32_t off = header_off(ul_ctx, content_ptr);
    if (p_node->node_flag != PPS_NODE_IN_UL) {
        log_print(LOG_WARN, "%s, unit not in used list!!!\r\n", name);
        return nullptr;
    }
    if (ul_ctx->node_num == 0 || ul_ctx->head_off == 0) {
        log_print(LOG_WARN, "%s, used list is empty!!!\r\n", name);
        return nullptr;
    }
    if (!ends_match(ul_ctx, off)) {
        log_print(LOG_WARN, "%s, unit not in this used list!!!\r\n", name);
        return nullptr;
    }
    uint32_t next_off = p_node->next_off;
    unlink_node(ul_ctx, off);
    ul_ctx->node_num--;
    return next_off ? node_at(ul_ctx, next_off) : nullptr;
}

void *pps_lookup_start(PPS_CTX *ctx)
{
    if (!ctx) return nullptr;
    lock(ctx);
    return ctx->fl_base ? content_at(ctx, ctx->head_off) : nullptr;
}

void *pps_lookup_next(PPS_CTX *ctx, void *content_ptr)
{
    return step(ctx, content_ptr, 1, "pps_lookup_next", 0);
}

void pps_lookup_end(PPS_CTX *ctx)
{
    pps_post_mutex(ctx);
}

void *pps_lookback_start(PPS_CTX *ctx)
{
    if (!ctx) return nullptr;
    lock(ctx);
    return ctx->fl_base ? content_at(ctx, ctx->tail_off) : nullptr;
}

void *pps_lookback_next(PPS_CTX *ctx, void *content_ptr)
{
    return step(ctx, content_ptr, 0, "pps_lookback_next", 0);
}

void pps_lookback_end(PPS_CTX *ctx)
{
    pps_post_mutex(ctx);
}

void pps_wait_mutex(PPS_CTX *ctx)
{
    if (!ctx) {
        log_print(LOG_WARN, "%s, pps_ctx == NULL!!!\r\n", "pps_wait_mutex");
        return;
    }
    lock(ctx);
}

void pps_post_mutex(PPS_CTX *ctx)
{
    if (!ctx) {
        log_print(LOG_WARN, "%s, pps_ctx == NULL!!!\r\n", "pps_post_mutex");
        return;
    }
    unlock(ctx);
}

void *pps_get_head_node(PPS_CTX *ctx)
{
    return (ctx && ctx->fl_base) ? content_at(ctx, ctx->head_off) : nullptr;
}

void *pps_get_tail_node(PPS_CTX *ctx)
{
    return (ctx && ctx->fl_base) ? content_at(ctx, ctx->tail_off) : nullptr;
}

void *pps_get_next_node(PPS_CTX *ctx, void *content_ptr)
{
    return step(ctx, content_ptr, 1, "_pps_node_next", 1);
}

void *pps_get_prev_node(PPS_CTX *ctx, void *content_ptr)
{
    return step(ctx, content_ptr, 0, "_pps_node_prev", 1);
}

int pps_safe_node(PPS_CTX *ctx, void *content_ptr)
{
    UnitPos pos;
    UnitCheck r = check_unit(ctx, content_ptr, &pos);
    if (r == UNIT_MISALIGNED) log_misaligned("pps_safe_node", ctx, content_ptr, pos);
    return r == UNIT_OK;
}

int pps_get_index(PPS_CTX *ctx, void *content_ptr)
{
    if (!ctx || !content_ptr) return -1;
    UnitPos pos;
    UnitCheck r = check_unit(ctx, content_ptr, &pos);
    if (r == UNIT_OUT_OF_RANGE) {
        log_print(LOG_WARN, "%s, unit ptr error!!!\r\n", "pps_get_index");
        return -1;
    }
    if (r == UNIT_MISALIGNED) {
        log_misaligned("pps_get_index", ctx, content_ptr, pos);
        return -1;
    }
    return (int)pos.index;
}

void *pps_get_node_by_index(PPS_CTX *ctx, int index)
{
    if (!ctx || !ctx->fl_base || index == -1) return nullptr;
    uint64_t off = (uint64_t)ctx->low_offset + (uint64_t)(uint32_t)index * ctx->unit_size;
    if (index < 0 || off > ctx->high_offset) {
        log_print(LOG_WARN, "%s, index [%u]error!!!\r\n", "pps_get_node_by_index", (unsigned)index);
        return nullptr;
    }
    return ctx->fl_base + off;
}

uint32_t pps_node_count(PPS_CTX *ctx)
{
    return ctx ? ctx->node_num : 0;
}

int pps_idle_node(PPS_CTX *ctx, void *content_ptr)
{
    if (!pps_safe_node(ctx, content_ptr)) return 0;
    return node_at(ctx, header_off(ctx, content_ptr))->node_flag == PPS_NODE_IN_FL;
}

int pps_exist_node(PPS_CTX *ctx, void *content_ptr)
{
    if (!pps_safe_node(ctx, content_ptr)) return 0;
    return node_at(ctx, header_off(ctx, content_ptr))->node_flag != PPS_NODE_IN_FL;
}

int pps_used_node(PPS_CTX *ctx, void *content_ptr)
{
    if (!pps_safe_node(ctx, content_ptr)) return 0;
    if (ctx->node_num == 0 || ctx->head_off == 0) {
        log_print(LOG_WARN, "%s, used list is empty!!!\r\n", "pps_used_node");
        return 0;
    }
    return node_at(ctx, header_off(ctx, content_ptr))->node_flag == PPS_NODE_IN_UL;
}

} // extern "C"
