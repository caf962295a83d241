// Pools and lists: unit layout, free-list order, pointer checks, used lists,
// walks and their lock, and concurrent use from two threads.

#include "platform/pps.h"
#include "platform/sys_log.h"

#include "tests/support/log_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

struct Item {
    char *ptr;
    uint64_t value;
};

// Collects the units of a list from head to tail, bounded by the pool size.
std::vector<void *> walk(PPS_CTX *ctx, size_t bound)
{
    std::vector<void *> out;
    for (void *p = pps_lookup_start(ctx); p && out.size() <= bound; p = pps_lookup_next(ctx, p))
        out.push_back(p);
    pps_lookup_end(ctx);
    return out;
}

std::vector<void *> walk_back(PPS_CTX *ctx, size_t bound)
{
    std::vector<void *> out;
    for (void *p = pps_lookback_start(ctx); p && out.size() <= bound; p = pps_lookback_next(ctx, p))
        out.push_back(p);
    pps_lookback_end(ctx);
    return out;
}

PPS_NODE *header_of(void *unit)
{
    return reinterpret_cast<PPS_NODE *>(static_cast<char *>(unit) - sizeof(PPS_NODE));
}

TEST(Pps, LayoutAndPopOrder)
{
    PPS_CTX *ctx = pps_ctx_fl_init(3, 20, 1);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->fl_base, reinterpret_cast<char *>(ctx));
    EXPECT_EQ(ctx->low_offset, PPS_CTX_AREA_SIZE + 12);
    EXPECT_GE(ctx->unit_size, 20u + 12u);
    EXPECT_EQ(ctx->unit_size % PPS_ALIGN, 0u);
    EXPECT_EQ(ctx->high_offset, ctx->low_offset + 2 * ctx->unit_size);
    EXPECT_GE(PPS_CTX_AREA_SIZE, sizeof(PPS_CTX));

    // Units come out in index order, each aligned for pointer content.
    EXPECT_EQ(pps_node_count(ctx), 3u);
    for (int i = 0; i < 3; i++) {
        void *p = pps_fl_pop(ctx);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, pps_get_node_by_index(ctx, i));
        EXPECT_EQ(pps_get_index(ctx, p), i);
        EXPECT_EQ((uintptr_t)p % PPS_ALIGN, 0u);
        EXPECT_EQ(header_of(p)->node_flag, (uint32_t)PPS_NODE_DETACHED);
        EXPECT_EQ(header_of(p)->prev_off, 0u);
        EXPECT_EQ(header_of(p)->next_off, 0u);
        EXPECT_EQ(pps_node_count(ctx), (uint32_t)(2 - i));
        // Content holds a pointer and a 64-bit value (checked by the sanitizer build).
        Item *it = static_cast<Item *>(p);
        it->ptr = static_cast<char *>(p);
        it->value = 0x0102030405060708ull;
    }
    EXPECT_EQ(pps_fl_pop(ctx), nullptr);
    EXPECT_EQ(pps_node_count(ctx), 0u);
    EXPECT_EQ(ctx->pop_cnt, 3u);
    EXPECT_EQ(pps_fl_pop(nullptr), nullptr);

    // Writing every content byte leaves the neighbours' headers intact.
    for (int i = 0; i < 3; i++)
        memset(pps_get_node_by_index(ctx, i), 0xA5, 20);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(pps_fl_push_tail(ctx, pps_get_node_by_index(ctx, i)), 1);
    std::vector<void *> fl = walk(ctx, 3);
    ASSERT_EQ(fl.size(), 3u);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(fl[i], pps_get_node_by_index(ctx, i));
    pps_fl_free(ctx);
    pps_fl_free(nullptr);
}

TEST(Pps, PushHeadIsLifoPushTailIsFifo)
{
    PPS_CTX *ctx = pps_ctx_fl_init(3, 8, 0);
    ASSERT_NE(ctx, nullptr);
    void *u0 = pps_fl_pop(ctx);
    void *u1 = pps_fl_pop(ctx);
    EXPECT_EQ(pps_fl_push(ctx, u1), 1);
    EXPECT_EQ(pps_fl_push(ctx, u0), 1);
    EXPECT_EQ(pps_fl_pop(ctx), u0);
    EXPECT_EQ(pps_fl_pop(ctx), u1);

    EXPECT_EQ(pps_fl_push_tail(ctx, u1), 1);
    EXPECT_EQ(pps_fl_push_tail(ctx, u0), 1);
    // Unit 2 was never popped and stays first; then the tail pushes in order.
    EXPECT_EQ(pps_fl_pop(ctx), pps_get_node_by_index(ctx, 2));
    EXPECT_EQ(pps_fl_pop(ctx), u1);
    EXPECT_EQ(pps_fl_pop(ctx), u0);
    EXPECT_EQ(ctx->push_cnt, 4u);
    EXPECT_EQ(ctx->pop_cnt, 7u);
    pps_fl_free(ctx);
}

TEST(Pps, DoublePushIsRefusedAndListStaysIntact)
{
    PPS_CTX *ctx = pps_ctx_fl_init(3, 8, 1);
    ASSERT_NE(ctx, nullptr);
    void *u0 = pps_fl_pop(ctx);
    void *u1 = pps_fl_pop(ctx);
    ASSERT_EQ(pps_fl_push(ctx, u1), 1);
    {
        LogCapture log;
        EXPECT_EQ(pps_fl_push(ctx, u1), 0);
        EXPECT_EQ(pps_fl_push_tail(ctx, u1), 0);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_fl_push, unit node 1 already in freelist !!!"), std::string::npos)
            << text;
        EXPECT_NE(text.find("pps_fl_push_tail, unit node 1 already in freelist !!!"),
                  std::string::npos)
            << text;
    }
    EXPECT_EQ(pps_node_count(ctx), 2u);
    std::vector<void *> fl = walk(ctx, 3);
    ASSERT_EQ(fl.size(), 2u);
    EXPECT_EQ(fl[0], u1);
    EXPECT_EQ(fl[1], pps_get_node_by_index(ctx, 2));
    EXPECT_EQ(walk_back(ctx, 3), std::vector<void *>({fl[1], fl[0]}));
    EXPECT_EQ(pps_fl_push(ctx, u0), 1);
    EXPECT_EQ(pps_fl_push(ctx, nullptr), 0);
    EXPECT_EQ(pps_fl_push(nullptr, u0), 0);
    pps_fl_free(ctx);
}

TEST(Pps, PointerChecks)
{
    PPS_CTX *ctx = pps_ctx_fl_init(4, 32, 0);
    ASSERT_NE(ctx, nullptr);
    char *u2 = static_cast<char *>(pps_get_node_by_index(ctx, 2));
    ASSERT_NE(u2, nullptr);
    EXPECT_EQ(pps_safe_node(ctx, u2), 1);

    {
        LogCapture log;
        EXPECT_EQ(pps_safe_node(ctx, u2 + 1), 0);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_safe_node, unit ptr error,pps_ctx[0x"), std::string::npos) << text;
        EXPECT_NE(text.find("],offset[0x00000001],like entry[2]"), std::string::npos) << text;
    }
    {
        // Before the first unit, past the last one, and foreign memory: silent.
        LogCapture log;
        char first_minus_one = 0;
        EXPECT_EQ(pps_safe_node(ctx, ctx->fl_base + ctx->low_offset - 1), 0);
        EXPECT_EQ(pps_safe_node(ctx, ctx), 0);
        EXPECT_EQ(pps_safe_node(ctx, ctx->fl_base + ctx->high_offset + 1), 0);
        EXPECT_EQ(pps_safe_node(ctx, &first_minus_one), 0);
        EXPECT_EQ(pps_safe_node(ctx, nullptr), 0);
        EXPECT_EQ(pps_safe_node(nullptr, u2), 0);
        EXPECT_EQ(log.text(), "");
    }
    {
        // Misaligned pointers are refused everywhere and nothing is written.
        void *u = pps_fl_pop(ctx);
        uint32_t before = pps_node_count(ctx);
        LogCapture log;
        EXPECT_EQ(pps_fl_push(ctx, static_cast<char *>(u) + 4), 0);
        EXPECT_EQ(pps_fl_push_tail(ctx, static_cast<char *>(u) - 1), 0);
        EXPECT_EQ(pps_get_index(ctx, static_cast<char *>(u) + 3), -1);
        EXPECT_EQ(pps_lookup_next(ctx, static_cast<char *>(u) + 2), nullptr);
        EXPECT_EQ(pps_get_next_node(ctx, ctx), nullptr);
        EXPECT_EQ(pps_get_prev_node(ctx, ctx), nullptr);
        EXPECT_EQ(pps_lookback_next(ctx, ctx), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_fl_push, unit ptr error!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("pps_fl_push_tail, unit ptr error!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("pps_get_index, unit ptr error,pps_ctx"), std::string::npos) << text;
        EXPECT_NE(text.find("pps_lookup_next, unit ptr error!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("_pps_node_next, unit ptr error!!!!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("_pps_node_prev, unit ptr error!!!!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("pps_lookback_next, unit ptr error!!!"), std::string::npos) << text;
        EXPECT_EQ(pps_node_count(ctx), before);
        EXPECT_EQ(pps_idle_node(ctx, u), 0);
        EXPECT_EQ(pps_exist_node(ctx, u), 1);
        EXPECT_EQ(pps_fl_push(ctx, u), 1);
        EXPECT_EQ(pps_idle_node(ctx, u), 1);
        EXPECT_EQ(pps_exist_node(ctx, u), 0);
    }
    {
        LogCapture log;
        char local[16];
        EXPECT_EQ(pps_get_index(ctx, local), -1);
        EXPECT_EQ(pps_get_index(nullptr, local), -1);
        EXPECT_NE(log.text().find("pps_get_index, unit ptr error!!!"), std::string::npos);
    }
    pps_fl_free(ctx);
}

TEST(Pps, IndexBounds)
{
    PPS_CTX *ctx = pps_ctx_fl_init(3, 8, 0);
    ASSERT_NE(ctx, nullptr);
    {
        LogCapture log;
        EXPECT_EQ(pps_get_node_by_index(ctx, 2), ctx->fl_base + ctx->high_offset);
        EXPECT_EQ(pps_get_node_by_index(ctx, 0), ctx->fl_base + ctx->low_offset);
        EXPECT_EQ(pps_get_node_by_index(ctx, -1), nullptr);
        EXPECT_EQ(log.text(), "");
    }
    {
        LogCapture log;
        EXPECT_EQ(pps_get_node_by_index(ctx, 3), nullptr);
        EXPECT_EQ(pps_get_node_by_index(ctx, 0x7fffffff), nullptr);
        EXPECT_EQ(pps_get_node_by_index(ctx, -2), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_get_node_by_index, index [3]error!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("index [2147483647]error!!!"), std::string::npos) << text;
        EXPECT_NE(text.find("index [4294967294]error!!!"), std::string::npos) << text;
    }
    EXPECT_EQ(pps_get_node_by_index(nullptr, 0), nullptr);
    pps_fl_free(ctx);
}

TEST(Pps, CreationLimits)
{
    // Assigning over caller memory: exact length works, one byte short does not.
    size_t need = pps_ctx_fl_mem_len(5, 24);
    ASSERT_GT(need, 0u);
    std::vector<uint64_t> mem(need / 8 + 2);
    char *base = reinterpret_cast<char *>(mem.data());
    {
        LogCapture log;
        EXPECT_EQ(pps_ctx_fl_init_assign(base, need - 1, 5, 24, 0), nullptr);
        EXPECT_NE(log.text().find("pps_ctx_fl_init_assign, assign mem len too short!!!"),
                  std::string::npos);
    }
    {
        LogCapture log;
        EXPECT_EQ(pps_ctx_fl_init_assign(base + 4, need + 4, 5, 24, 0), nullptr);
        EXPECT_NE(log.text().find("assign mem not aligned"), std::string::npos);
    }
    memset(base, 0x5A, mem.size() * 8);
    PPS_CTX *ctx = pps_ctx_fl_init_assign(base, need, 5, 24, 1);
    ASSERT_EQ(ctx, reinterpret_cast<PPS_CTX *>(base));
    EXPECT_EQ(pps_node_count(ctx), 5u);
    EXPECT_EQ(base[need], 0x5A) << "nothing written past the given length";
    void *last = pps_get_node_by_index(ctx, 4);
    EXPECT_LE(static_cast<char *>(last) + 24, base + need);
    EXPECT_EQ(walk(ctx, 5).size(), 5u);
    sys_os_destroy_sig_mutex(ctx->ctx_mutex); // caller memory: only the mutex is ours

    // Blocks that 32-bit offsets cannot describe are refused, never wrapped.
    EXPECT_EQ(pps_ctx_fl_mem_len(0, 16), 0u);
    EXPECT_EQ(pps_ctx_fl_mem_len(0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(pps_ctx_fl_mem_len(2, 0x7FFFFFF8u), 0u);
    EXPECT_EQ(pps_ctx_fl_mem_len(1, 0), (size_t)PPS_CTX_AREA_SIZE + 16);
    {
        LogCapture log;
        EXPECT_EQ(pps_ctx_fl_init(0x10000000u, 64, 1), nullptr);
        EXPECT_EQ(pps_ctx_fl_init(0, 64, 1), nullptr);
        EXPECT_EQ(pps_ctx_fl_init_assign(base, need, 0x40000000u, 24, 0), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_ctx_fl_init, invalid pool size"), std::string::npos) << text;
        EXPECT_NE(text.find("pps_ctx_fl_init_assign, invalid pool size"), std::string::npos);
    }
    EXPECT_EQ(pps_ctx_fl_init_assign(nullptr, 100, 1, 1, 0), nullptr);

    // A content size of zero still gives distinct units.
    PPS_CTX *tiny = pps_ctx_fl_init(2, 0, 0);
    ASSERT_NE(tiny, nullptr);
    void *a = pps_fl_pop(tiny);
    void *b = pps_fl_pop(tiny);
    EXPECT_NE(a, b);
    EXPECT_EQ(pps_fl_pop(tiny), nullptr);
    pps_fl_free(tiny);
}

TEST(Pps, UsedListOperations)
{
    PPS_CTX *fl = pps_ctx_fl_init(5, 16, 1);
    ASSERT_NE(fl, nullptr);
    PPS_CTX *ul = pps_ctx_ul_init(fl, 1);
    ASSERT_NE(ul, nullptr);
    EXPECT_EQ(ul->fl_base, fl->fl_base);
    EXPECT_EQ(ul->unit_size, fl->unit_size);
    EXPECT_EQ(pps_node_count(ul), 0u);

    // A unit still in the free list cannot join a used list.
    EXPECT_EQ(pps_ctx_ul_add(ul, pps_get_head_node(fl)), 0);
    {
        LogCapture log;
        EXPECT_EQ(pps_ctx_ul_del(ul, pps_get_head_node(fl)), 0);
        EXPECT_NE(log.text().find("pps_used_node, used list is empty!!!"), std::string::npos);
    }

    void *u[4];
    for (auto &p : u)
        p = pps_fl_pop(fl);
    EXPECT_EQ(pps_ctx_ul_add(ul, u[1]), 1);
    EXPECT_EQ(pps_ctx_ul_add(ul, u[2]), 1);
    EXPECT_EQ(pps_ctx_ul_add_head(ul, u[0]), 1);
    EXPECT_EQ(pps_ctx_ul_add(ul, u[3]), 1);
    EXPECT_EQ(pps_ctx_ul_add(ul, u[3]), 0) << "already in a list";
    EXPECT_EQ(pps_node_count(ul), 4u);
    EXPECT_EQ(walk(ul, 5), std::vector<void *>({u[0], u[1], u[2], u[3]}));
    EXPECT_EQ(walk_back(ul, 5), std::vector<void *>({u[3], u[2], u[1], u[0]}));
    EXPECT_EQ(pps_get_head_node(ul), u[0]);
    EXPECT_EQ(pps_get_tail_node(ul), u[3]);
    EXPECT_EQ(pps_get_next_node(ul, u[1]), u[2]);
    EXPECT_EQ(pps_get_prev_node(ul, u[1]), u[0]);
    EXPECT_EQ(pps_get_prev_node(ul, u[0]), nullptr);
    EXPECT_EQ(pps_used_node(ul, u[2]), 1);
    EXPECT_EQ(pps_exist_node(fl, u[2]), 1);
    EXPECT_EQ(pps_idle_node(fl, u[2]), 0);

    // Middle delete; a unit not in the list is refused silently.
    EXPECT_EQ(pps_ctx_ul_del(ul, u[1]), 1);
    EXPECT_EQ(header_of(u[1])->node_flag, (uint32_t)PPS_NODE_DETACHED);
    EXPECT_EQ(pps_ctx_ul_del(ul, u[1]), 0);
    EXPECT_EQ(walk(ul, 5), std::vector<void *>({u[0], u[2], u[3]}));

    // Inside a locked walk: the recursive lock allows pps_ctx_ul_del, and the
    // unlock variant returns the following unit.
    void *p = pps_lookup_start(ul);
    EXPECT_EQ(p, u[0]);
    EXPECT_EQ(pps_ctx_ul_del_unlock(ul, p), u[2]);
    EXPECT_EQ(pps_ctx_ul_del(ul, u[3]), 1);
    pps_lookup_end(ul);
    EXPECT_EQ(walk(ul, 5), std::vector<void *>({u[2]}));
    EXPECT_EQ(pps_ctx_ul_del_unlock(ul, u[2]), nullptr);
    EXPECT_EQ(pps_node_count(ul), 0u);
    EXPECT_EQ(pps_get_head_node(ul), nullptr);
    EXPECT_EQ(pps_get_tail_node(ul), nullptr);

    // Node-header variant: returns the next header and leaves the node's own header.
    ASSERT_EQ(pps_ctx_ul_add(ul, u[0]), 1);
    ASSERT_EQ(pps_ctx_ul_add(ul, u[1]), 1);
    EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header_of(u[0])), header_of(u[1]));
    EXPECT_EQ(header_of(u[0])->node_flag, (uint32_t)PPS_NODE_IN_UL);
    EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header_of(u[1])), nullptr);
    EXPECT_EQ(pps_node_count(ul), 0u);
    {
        LogCapture log;
        EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header_of(u[0])), nullptr);
        EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header_of(u[2])), nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_ctx_ul_del_node_unlock, used list is empty!!!"), std::string::npos)
            << text;
        EXPECT_NE(text.find("pps_ctx_ul_del_node_unlock, unit not in used list!!!"),
                  std::string::npos)
            << text;
    }
    // Units marked for a used list may go straight back to the pool.
    EXPECT_EQ(pps_fl_push(fl, u[0]), 1);
    EXPECT_EQ(pps_fl_push(fl, u[1]), 1);
    EXPECT_EQ(pps_fl_push(fl, u[2]), 1);
    EXPECT_EQ(pps_fl_push(fl, u[3]), 1);
    EXPECT_EQ(pps_node_count(fl), 5u);

    pps_ul_free(ul);
    pps_fl_free(fl);
}

TEST(Pps, UnitOfAnotherUsedListIsNotUnlinked)
{
    PPS_CTX *fl = pps_ctx_fl_init(4, 8, 0);
    ASSERT_NE(fl, nullptr);
    PPS_CTX a, b;
    ASSERT_EQ(pps_ctx_ul_init_nm(fl, &a), 1);
    ASSERT_EQ(pps_ctx_ul_init_assign(&b, fl, 0), 1);
    EXPECT_EQ(pps_ctx_ul_init_assign(nullptr, fl, 0), 0);
    EXPECT_EQ(pps_ctx_ul_init_assign(&b, nullptr, 0), 0);
    EXPECT_EQ(pps_ctx_ul_init(nullptr, 0), nullptr);
    void *a0 = pps_fl_pop(fl), *a1 = pps_fl_pop(fl), *b0 = pps_fl_pop(fl);
    pps_ctx_ul_add(&a, a0);
    pps_ctx_ul_add(&a, a1);
    pps_ctx_ul_add(&b, b0);
    {
        LogCapture log;
        EXPECT_EQ(pps_ctx_ul_del(&b, a0), 0);
        EXPECT_EQ(pps_ctx_ul_del(&b, a1), 0);
        EXPECT_NE(log.text().find("pps_ctx_ul_del, unit not in this used list!!!"),
                  std::string::npos);
    }
    EXPECT_EQ(walk(&a, 4), std::vector<void *>({a0, a1}));
    EXPECT_EQ(walk(&b, 4), std::vector<void *>({b0}));
    pps_fl_free(fl);
}

TEST(Pps, Reinit)
{
    PPS_CTX *fl = pps_ctx_fl_init(4, 16, 1);
    ASSERT_NE(fl, nullptr);
    void *a = pps_fl_pop(fl);
    void *b = pps_fl_pop(fl);
    memset(a, 0x77, 16);
    pps_fl_push(fl, b);
    pps_fl_reinit(fl);
    EXPECT_EQ(pps_node_count(fl), 4u);
    EXPECT_EQ(fl->pop_cnt, 2u);
    EXPECT_EQ(fl->push_cnt, 1u);
    std::vector<void *> units = walk(fl, 4);
    ASSERT_EQ(units.size(), 4u);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(units[i], pps_get_node_by_index(fl, i));
        EXPECT_EQ(pps_idle_node(fl, units[i]), 1);
    }
    EXPECT_EQ(static_cast<unsigned char *>(a)[0], 0u);
    EXPECT_EQ(static_cast<unsigned char *>(a)[15], 0u);

    PPS_CTX *ul = pps_ctx_ul_init(fl, 1);
    ASSERT_NE(ul, nullptr);
    void *c = pps_fl_pop(fl);
    pps_ctx_ul_add(ul, c);
    {
        // Pool operations on a used-list context are refused.
        LogCapture log;
        EXPECT_EQ(pps_fl_pop(ul), nullptr);
        EXPECT_EQ(pps_fl_push(ul, c), 0);
        EXPECT_NE(log.text().find("pps_fl_pop, not a pool context!!!"), std::string::npos);
    }
    pps_ul_reinit(ul);
    EXPECT_EQ(pps_node_count(ul), 0u);
    EXPECT_EQ(ul->ctx_mutex, nullptr);
    EXPECT_EQ(pps_get_head_node(ul), nullptr);
    pps_ul_free(ul);
    pps_fl_free(fl);
}

TEST(Pps, LookupOnEmptyListHoldsTheLock)
{
    PPS_CTX *fl = pps_ctx_fl_init(2, 8, 1);
    ASSERT_NE(fl, nullptr);
    PPS_CTX *ul = pps_ctx_ul_init(fl, 1);
    ASSERT_NE(ul, nullptr);

    for (int back = 0; back < 2; back++) {
        EXPECT_EQ(back ? pps_lookback_start(ul) : pps_lookup_start(ul), nullptr);
        std::atomic<bool> entered{false};
        std::thread other([&] {
            pps_wait_mutex(ul);
            entered = true;
            pps_post_mutex(ul);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_FALSE(entered.load()) << "the walk's lock must still be held";
        if (back)
            pps_lookback_end(ul);
        else
            pps_lookup_end(ul);
        for (int i = 0; i < 500 && !entered.load(); i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(entered.load());
        other.join();
    }
    {
        LogCapture log;
        pps_wait_mutex(nullptr);
        pps_post_mutex(nullptr);
        std::string text = log.text();
        EXPECT_NE(text.find("pps_wait_mutex, pps_ctx == NULL!!!"), std::string::npos);
        EXPECT_NE(text.find("pps_post_mutex, pps_ctx == NULL!!!"), std::string::npos);
    }
    pps_ul_free(ul);
    pps_fl_free(fl);
}

// Two threads each pop, add to a shared used list, walk it, delete and push
// back many times; at the end every unit is back in the pool exactly once.
TEST(Pps, TwoThreadsKeepListsConsistent)
{
    const uint32_t units = 8;
    const int rounds = 20000;
    PPS_CTX *fl = pps_ctx_fl_init(units, 24, 1);
    ASSERT_NE(fl, nullptr);
    PPS_CTX *ul = pps_ctx_ul_init(fl, 1);
    ASSERT_NE(ul, nullptr);
    std::atomic<int> errors{0};

    auto worker = [&](int id) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (int r = 0; r < rounds && std::chrono::steady_clock::now() < deadline; r++) {
            Item *it = static_cast<Item *>(pps_fl_pop(fl));
            if (!it) {
                errors++;
                continue;
            }
            it->ptr = reinterpret_cast<char *>(it);
            it->value = (uint64_t)id << 32 | (uint32_t)r;
            if (!((r & 1) ? pps_ctx_ul_add(ul, it) : pps_ctx_ul_add_head(ul, it))) errors++;
            bool found = false;
            uint32_t seen = 0;
            for (void *p = pps_lookup_start(ul); p && seen <= units; p = pps_lookup_next(ul, p)) {
                seen++;
                if (p == it) found = true;
            }
            if (!found || seen > units || seen != pps_node_count(ul)) errors++;
            pps_lookup_end(ul);
            if (it->value != ((uint64_t)id << 32 | (uint32_t)r)) errors++;
            if (!pps_ctx_ul_del(ul, it)) errors++;
            if (!((r & 2) ? pps_fl_push(fl, it) : pps_fl_push_tail(fl, it))) errors++;
        }
    };
    std::thread t1(worker, 1);
    std::thread t2(worker, 2);
    t1.join();
    t2.join();

    EXPECT_EQ(errors.load(), 0);
    EXPECT_EQ(pps_node_count(ul), 0u);
    EXPECT_EQ(pps_node_count(fl), units);
    EXPECT_EQ(fl->pop_cnt, fl->push_cnt);
    std::set<int> seen;
    std::vector<void *> all = walk(fl, units);
    EXPECT_EQ(all.size(), units);
    for (void *p : all) {
        EXPECT_EQ(pps_idle_node(fl, p), 1);
        seen.insert(pps_get_index(fl, p));
    }
    EXPECT_EQ(seen.size(), units);
    EXPECT_EQ(walk_back(fl, units).size(), units);
    pps_ul_free(ul);
    pps_fl_free(fl);
}

} // namespace
