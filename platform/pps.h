/*
 * Object pools with intrusive free and used lists.
 *
 * A pool is one memory block: its PPS_CTX (the free-list context) at the
 * start, then the units. Each unit is a 12-byte PPS_NODE header followed by
 * the caller's content; callers only see the content address (the "unit
 * pointer"), the header lies in the 12 bytes just before it. Nodes are linked
 * by 32-bit offsets from the block start (fl_base); offset 0 is the context
 * itself and so means "no node".
 *
 * Layout of a pool block (all offsets from fl_base):
 *   [0, PPS_CTX_AREA_SIZE)        the PPS_CTX record and padding
 *   header of unit i              PPS_CTX_AREA_SIZE + i * unit_size
 *   content of unit i             low_offset + i * unit_size
 *   low_offset                    PPS_CTX_AREA_SIZE + 12
 *   high_offset                   low_offset + (units - 1) * unit_size
 *   unit_size                     content size + 12, rounded up to PPS_ALIGN
 * The context area is padded and unit_size rounded up so that every unit's
 * content starts on a PPS_ALIGN boundary (contents may hold pointers). A
 * content therefore has at least the requested size, possibly a few bytes
 * more. A block of 4 GiB or more cannot be described by 32-bit offsets and
 * is refused.
 *
 * A used list is another PPS_CTX over the same pool (it copies fl_base,
 * low_offset, high_offset and unit_size) with its own head, tail and count.
 * A unit is in at most one list at a time; node_flag tells which kind.
 *
 * Lists made with the mutex flag lock their operations with a recursive
 * mutex. Lock order: a used list's lock before its pool's lock.
 */
#ifndef PLATFORM_PPS_H
#define PLATFORM_PPS_H

#include <stddef.h>
#include <stdint.h>

#include "platform/onvif_api.h"
#include "platform/sys_os.h"

#ifdef __cplusplus
extern "C" {
#endif

/* node_flag values */
#define PPS_NODE_DETACHED 0 /* in no list */
#define PPS_NODE_IN_FL 1    /* in the pool's free list */
#define PPS_NODE_IN_UL 2    /* in a used list */

/* Alignment of every unit's content. */
#define PPS_ALIGN 8

/* Node header: the 12 bytes in front of each unit's content. */
typedef struct {
    uint32_t prev_off;  /* previous node's header offset, 0 at the head */
    uint32_t next_off;  /* next node's header offset, 0 at the tail */
    uint32_t node_flag; /* PPS_NODE_DETACHED / PPS_NODE_IN_FL / PPS_NODE_IN_UL */
} PPS_NODE;

/* List context: a pool's free list, or a used list over a pool. */
typedef struct {
    char *fl_base;        /* pool block address; all offsets are relative to it */
    uint32_t head_off;    /* first node's header offset, 0 when empty */
    uint32_t tail_off;    /* last node's header offset, 0 when empty */
    uint32_t node_num;    /* nodes in this list */
    uint32_t low_offset;  /* first unit's content offset */
    uint32_t high_offset; /* last unit's content offset */
    uint32_t unit_size;   /* distance between two units (header + content) */
    SYS_MUTEX ctx_mutex;  /* the list's lock, null when unlocked */
    uint32_t pop_cnt;     /* pops so far (free list only) */
    uint32_t push_cnt;    /* pushes so far (free list only) */
} PPS_CTX;

/* Size of the area at the block start that holds the PPS_CTX (padded). */
#define PPS_CTX_AREA_SIZE                                                                          \
    ((uint32_t)(((sizeof(PPS_CTX) + 12 + PPS_ALIGN - 1) / PPS_ALIGN) * PPS_ALIGN - 12))

/* Creation and release */
ONVIF_CLIENT_API size_t pps_ctx_fl_mem_len(uint32_t node_num,
                                           uint32_t content_size); /* 0 when too large */
ONVIF_CLIENT_API PPS_CTX *pps_ctx_fl_init(uint32_t node_num, uint32_t content_size, int need_mutex);
ONVIF_CLIENT_API PPS_CTX *pps_ctx_fl_init_assign(char *mem_addr, size_t mem_len, uint32_t node_num,
                                                 uint32_t content_size, int need_mutex);
ONVIF_CLIENT_API PPS_CTX *pps_ctx_ul_init(PPS_CTX *fl_ctx, int need_mutex);
ONVIF_CLIENT_API int pps_ctx_ul_init_assign(PPS_CTX *ul_ctx, PPS_CTX *fl_ctx, int need_mutex);
ONVIF_CLIENT_API int pps_ctx_ul_init_nm(PPS_CTX *fl_ctx, PPS_CTX *ul_ctx);
ONVIF_CLIENT_API void pps_fl_free(PPS_CTX *fl_ctx);
ONVIF_CLIENT_API void pps_ul_free(PPS_CTX *ul_ctx);
ONVIF_CLIENT_API void pps_fl_reinit(PPS_CTX *fl_ctx);
ONVIF_CLIENT_API void pps_ul_reinit(PPS_CTX *ul_ctx);

/* Free list: pop from the head; push to the head (LIFO) or the tail (FIFO) */
ONVIF_CLIENT_API void *pps_fl_pop(PPS_CTX *fl_ctx);
ONVIF_CLIENT_API int pps_fl_push(PPS_CTX *fl_ctx, void *content_ptr);
ONVIF_CLIENT_API int pps_fl_push_tail(PPS_CTX *fl_ctx, void *content_ptr);

/* Used list: add (tail or head), delete (locked, or inside a locked walk) */
ONVIF_CLIENT_API int pps_ctx_ul_add(PPS_CTX *ul_ctx, void *content_ptr);
ONVIF_CLIENT_API int pps_ctx_ul_add_head(PPS_CTX *ul_ctx, void *content_ptr);
ONVIF_CLIENT_API int pps_ctx_ul_del(PPS_CTX *ul_ctx, void *content_ptr);
ONVIF_CLIENT_API void *pps_ctx_ul_del_unlock(PPS_CTX *ul_ctx, void *content_ptr);
ONVIF_CLIENT_API PPS_NODE *pps_ctx_ul_del_node_unlock(PPS_CTX *ul_ctx, PPS_NODE *p_node);

/* Walks: start takes the list lock (also on an empty list), end releases it */
ONVIF_CLIENT_API void *pps_lookup_start(PPS_CTX *ctx);
ONVIF_CLIENT_API void *pps_lookup_next(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API void pps_lookup_end(PPS_CTX *ctx);
ONVIF_CLIENT_API void *pps_lookback_start(PPS_CTX *ctx);
ONVIF_CLIENT_API void *pps_lookback_next(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API void pps_lookback_end(PPS_CTX *ctx);
ONVIF_CLIENT_API void pps_wait_mutex(PPS_CTX *ctx);
ONVIF_CLIENT_API void pps_post_mutex(PPS_CTX *ctx);

/* Unlocked navigation */
ONVIF_CLIENT_API void *pps_get_head_node(PPS_CTX *ctx);
ONVIF_CLIENT_API void *pps_get_tail_node(PPS_CTX *ctx);
ONVIF_CLIENT_API void *pps_get_next_node(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API void *pps_get_prev_node(PPS_CTX *ctx, void *content_ptr);

/* Queries (no lock; snapshots) */
ONVIF_CLIENT_API int pps_safe_node(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API int pps_get_index(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API void *pps_get_node_by_index(PPS_CTX *ctx, int index);
ONVIF_CLIENT_API uint32_t pps_node_count(PPS_CTX *ctx);
ONVIF_CLIENT_API int pps_idle_node(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API int pps_exist_node(PPS_CTX *ctx, void *content_ptr);
ONVIF_CLIENT_API int pps_used_node(PPS_CTX *ctx, void *content_ptr);

#ifdef __cplusplus
}
#endif

#endif
