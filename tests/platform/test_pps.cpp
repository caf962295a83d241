// Pools and lists through their interface: free-list order, pointer checks,
// used lists, walks and their lock, creation limits, and two threads at once.

#include "platform/pps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace
{

struct Item {
    char *ptr;
    uint64_t value;
};

// The units of a list from head to tail (or back), bounded by the pool size.
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

std::vector<void *> units(PPS_CTX *ctx, int n)
{
    std::vector<void *> out;
    for (int i = 0; i < n; i++)
        out.push_back(pps_get_node_by_index(ctx, i));
    return out;
}

TEST(Pps, PopOrderAndUsableContent)
{
    PPS_CTX *ctx = pps_ctx_fl_init(3, 20, 1);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(pps_node_count(ctx), 3u);
    std::vector<void *> popped;
    for (int i = 0; i < 3; i++) {
        void *p = pps_fl_pop(ctx);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, pps_get_node_by_index(ctx, i));
        EXPECT_EQ(pps_get_index(ctx, p), i);
        EXPECT_EQ((uintptr_t)p % PPS_ALIGN, 0u);
        EXPECT_EQ(pps_node_count(ctx), (uint32_t)(2 - i));
        // Content holds a pointer and a 64-bit value (checked by the sanitizer build).
        Item *it = static_cast<Item *>(p);
        it->ptr = static_cast<char *>(p);
        it->value = 0x0102030405060708ull;
        popped.push_back(p);
    }
    EXPECT_EQ(pps_fl_pop(ctx), nullptr);
    EXPECT_EQ(pps_fl_pop(nullptr), nullptr);

    // Every content byte written: the list through the units' neighbours stays intact.
    for (void *p : popped)
        memset(p, 0xA5, 20);
    for (void *p : popped)
        EXPECT_EQ(pps_fl_push_tail(ctx, p), 1);
    EXPECT_EQ(walk(ctx, 3), popped);
    EXPECT_EQ(walk_back(ctx, 3), std::vector<void *>(popped.rbegin(), popped.rend()));
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
    pps_fl_free(ctx);
}

// A unit given back twice, a pointer that is not a unit, a foreign or null
// context: refused, and the lists stay as they were.
TEST(Pps, BadReleasesAreRefusedAndChangeNothing)
{
    PPS_CTX *ctx = pps_ctx_fl_init(4, 32, 1);
    ASSERT_NE(ctx, nullptr);
    char *u = static_cast<char *>(pps_fl_pop(ctx));
    char *v = static_cast<char *>(pps_fl_pop(ctx));
    ASSERT_EQ(pps_fl_push(ctx, v), 1);
    const std::vector<void *> before = walk(ctx, 4);
    ASSERT_EQ(before.size(), 3u);

    EXPECT_EQ(pps_fl_push(ctx, v), 0); // already in the free list
    EXPECT_EQ(pps_fl_push_tail(ctx, v), 0);
    for (char *bad : {u + 4, u - 1, u + 1}) {
        EXPECT_EQ(pps_fl_push(ctx, bad), 0);
        EXPECT_EQ(pps_fl_push_tail(ctx, bad), 0);
        EXPECT_EQ(pps_safe_node(ctx, bad), 0);
        EXPECT_EQ(pps_get_index(ctx, bad), -1);
        EXPECT_EQ(pps_lookup_next(ctx, bad), nullptr);
    }
    char local[16];
    char *first = static_cast<char *>(pps_get_node_by_index(ctx, 0));
    char *last = static_cast<char *>(pps_get_node_by_index(ctx, 3));
    for (void *bad : {(void *)local, (void *)ctx, (void *)(first - 1), (void *)(last + 1),
                      (void *)(last + ctx->unit_size), (void *)nullptr}) {
        EXPECT_EQ(pps_safe_node(ctx, bad), 0);
        EXPECT_EQ(pps_fl_push(ctx, bad), 0);
        EXPECT_EQ(pps_get_index(ctx, bad), -1);
        EXPECT_EQ(pps_get_next_node(ctx, bad), nullptr);
        EXPECT_EQ(pps_get_prev_node(ctx, bad), nullptr);
        EXPECT_EQ(pps_lookback_next(ctx, bad), nullptr);
    }
    EXPECT_EQ(pps_safe_node(nullptr, u), 0);
    EXPECT_EQ(pps_get_index(nullptr, u), -1);
    EXPECT_EQ(pps_fl_push(nullptr, u), 0);
    EXPECT_EQ(walk(ctx, 4), before);
    EXPECT_EQ(pps_node_count(ctx), 3u);

    // The unit that is out: in use, not idle; back in the pool: the other way round.
    EXPECT_EQ(pps_safe_node(ctx, u), 1);
    EXPECT_EQ(pps_idle_node(ctx, u), 0);
    EXPECT_EQ(pps_exist_node(ctx, u), 1);
    EXPECT_EQ(pps_fl_push(ctx, u), 1);
    EXPECT_EQ(pps_idle_node(ctx, u), 1);
    EXPECT_EQ(pps_exist_node(ctx, u), 0);
    pps_fl_free(ctx);
}

TEST(Pps, IndexBounds)
{
    PPS_CTX *ctx = pps_ctx_fl_init(3, 8, 0);
    ASSERT_NE(ctx, nullptr);
    for (int i : {3, -1, -2, 0x7fffffff, -0x7fffffff - 1})
        EXPECT_EQ(pps_get_node_by_index(ctx, i), nullptr) << i;
    EXPECT_EQ(pps_get_node_by_index(nullptr, 0), nullptr);
    pps_fl_free(ctx);
}

TEST(Pps, CreationLimits)
{
    // Over caller memory: the exact length works, one byte short or a
    // misaligned block does not, and nothing is written past the length.
    size_t need = pps_ctx_fl_mem_len(5, 24);
    ASSERT_GT(need, 0u);
    std::vector<uint64_t> mem(need / 8 + 2);
    char *base = reinterpret_cast<char *>(mem.data());
    EXPECT_EQ(pps_ctx_fl_init_assign(base, need - 1, 5, 24, 0), nullptr);
    EXPECT_EQ(pps_ctx_fl_init_assign(base + 4, need + 4, 5, 24, 0), nullptr);
    EXPECT_EQ(pps_ctx_fl_init_assign(nullptr, 100, 1, 1, 0), nullptr);
    memset(base, 0x5A, mem.size() * 8);
    PPS_CTX *ctx = pps_ctx_fl_init_assign(base, need, 5, 24, 1);
    ASSERT_EQ(ctx, reinterpret_cast<PPS_CTX *>(base));
    EXPECT_EQ(pps_node_count(ctx), 5u);
    for (void *p : walk(ctx, 5))
        memset(p, 0x11, 24);
    EXPECT_EQ(base[need], 0x5A) << "nothing written past the given length";
    EXPECT_EQ(walk(ctx, 5), units(ctx, 5));
    sys_os_destroy_sig_mutex(ctx->ctx_mutex); // caller memory: only the mutex is ours

    // Blocks that 32-bit offsets cannot describe are refused, never wrapped.
    EXPECT_EQ(pps_ctx_fl_mem_len(0, 16), 0u);
    EXPECT_EQ(pps_ctx_fl_mem_len(0xFFFFFFFFu, 0xFFFFFFFFu), 0u);
    EXPECT_EQ(pps_ctx_fl_mem_len(2, 0x7FFFFFF8u), 0u);
    EXPECT_EQ(pps_ctx_fl_init(0x10000000u, 64, 1), nullptr);
    EXPECT_EQ(pps_ctx_fl_init(0, 64, 1), nullptr);
    EXPECT_EQ(pps_ctx_fl_init_assign(base, need, 0x40000000u, 24, 0), nullptr);

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
    EXPECT_EQ(pps_node_count(ul), 0u);

    // A unit still in the free list cannot join or leave a used list.
    EXPECT_EQ(pps_ctx_ul_add(ul, pps_get_head_node(fl)), 0);
    EXPECT_EQ(pps_ctx_ul_del(ul, pps_get_head_node(fl)), 0);

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

    // Middle delete; a unit not in the list is refused.
    EXPECT_EQ(pps_ctx_ul_del(ul, u[1]), 1);
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

    // Node-header variant: returns the next header; an empty list or a unit
    // of no list gives null.
    ASSERT_EQ(pps_ctx_ul_add(ul, u[0]), 1);
    ASSERT_EQ(pps_ctx_ul_add(ul, u[1]), 1);
    auto header = [](void *unit) {
        return reinterpret_cast<PPS_NODE *>(static_cast<char *>(unit) - sizeof(PPS_NODE));
    };
    EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header(u[0])), header(u[1]));
    EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header(u[1])), nullptr);
    EXPECT_EQ(pps_node_count(ul), 0u);
    EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header(u[0])), nullptr);
    EXPECT_EQ(pps_ctx_ul_del_node_unlock(ul, header(u[2])), nullptr);

    // Units taken out of a used list go back to the pool.
    for (void *unit : u)
        EXPECT_EQ(pps_fl_push(fl, unit), 1);
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
    EXPECT_EQ(pps_ctx_ul_del(&b, a0), 0);
    EXPECT_EQ(pps_ctx_ul_del(&b, a1), 0);
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
    EXPECT_EQ(walk(fl, 4), units(fl, 4));
    for (void *p : units(fl, 4))
        EXPECT_EQ(pps_idle_node(fl, p), 1);
    EXPECT_EQ(static_cast<unsigned char *>(a)[0], 0u);
    EXPECT_EQ(static_cast<unsigned char *>(a)[15], 0u);

    PPS_CTX *ul = pps_ctx_ul_init(fl, 1);
    ASSERT_NE(ul, nullptr);
    void *c = pps_fl_pop(fl);
    pps_ctx_ul_add(ul, c);
    // Pool operations on a used-list context are refused.
    EXPECT_EQ(pps_fl_pop(ul), nullptr);
    EXPECT_EQ(pps_fl_push(ul, c), 0);
    pps_ul_reinit(ul);
    EXPECT_EQ(pps_node_count(ul), 0u);
    EXPECT_EQ(pps_get_head_node(ul), nullptr);
    pps_ul_free(ul);
    pps_fl_free(fl);
}

// A walk holds the list's lock from start to end, also over an empty list:
// the walking thread owns the (recursive) lock in between, and not after.
TEST(Pps, WalkHoldsTheLockFromStartToEnd)
{
    PPS_CTX *fl = pps_ctx_fl_init(2, 8, 1);
    ASSERT_NE(fl, nullptr);
    PPS_CTX *ul = pps_ctx_ul_init(fl, 1);
    ASSERT_NE(ul, nullptr);
    for (int back = 0; back < 2; back++) {
        EXPECT_EQ(back ? pps_lookback_start(ul) : pps_lookup_start(ul), nullptr);
        // Owned: a leave succeeds (and is undone).
        EXPECT_EQ(sys_os_mutex_leave(ul->ctx_mutex), 1) << back;
        ASSERT_EQ(sys_os_mutex_enter(ul->ctx_mutex), 0);
        if (back)
            pps_lookback_end(ul);
        else
            pps_lookup_end(ul);
        EXPECT_EQ(sys_os_mutex_leave(ul->ctx_mutex), 0) << "still held after the walk";
    }
    pps_wait_mutex(nullptr);
    pps_post_mutex(nullptr);
    pps_ul_free(ul);
    pps_fl_free(fl);
}

// Two threads each pop, add to a shared used list, walk it, delete and push
// back many times; at the end every unit is back in the pool exactly once.
TEST(Pps, TwoThreadsKeepListsConsistent)
{
    const uint32_t count = 8;
    const int rounds = 20000;
    PPS_CTX *fl = pps_ctx_fl_init(count, 24, 1);
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
            for (void *p = pps_lookup_start(ul); p && seen <= count; p = pps_lookup_next(ul, p)) {
                seen++;
                if (p == it) found = true;
            }
            if (!found || seen > count || seen != pps_node_count(ul)) errors++;
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
    EXPECT_EQ(pps_node_count(fl), count);
    EXPECT_EQ(fl->pop_cnt, fl->push_cnt);
    std::set<int> seen;
    std::vector<void *> all = walk(fl, count);
    EXPECT_EQ(all.size(), count);
    for (void *p : all) {
        EXPECT_EQ(pps_idle_node(fl, p), 1);
        seen.insert(pps_get_index(fl, p));
    }
    EXPECT_EQ(seen.size(), count);
    EXPECT_EQ(walk_back(fl, count).size(), count);
    pps_ul_free(ul);
    pps_fl_free(fl);
}

} // namespace
