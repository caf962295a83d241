// Buffer pools: net_buf receive buffers (pool and heap release through one
// call) and hdrv_buf header-line units with their used lists.

#include "platform/sys_buf.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{

class SysBuf : public ::testing::Test
{
  protected:
    void TearDown() override { sys_buf_deinit(); }
};

TEST_F(SysBuf, InitMakesBothPools)
{
    EXPECT_EQ(net_buf_get_size(), 0u);
    EXPECT_EQ(net_buf_idle_num(), 0u);
    EXPECT_EQ(hdrv_buf_idle_num(), 0u);
    EXPECT_EQ(net_buf_get_idle(), nullptr);
    EXPECT_EQ(hdrv_buf_get_idle(), nullptr);
    ASSERT_EQ(sys_buf_init(4), 1);
    EXPECT_EQ(net_buf_get_size(), 2048u);
    EXPECT_EQ(net_buf_idle_num(), 4u);
    EXPECT_EQ(hdrv_buf_idle_num(), 32u);

    // A second init keeps the pools that exist (units may be out).
    EXPECT_EQ(sys_buf_init(2), 0);
    EXPECT_EQ(net_buf_idle_num(), 4u);

    sys_buf_deinit();
    EXPECT_EQ(hdrv_buf_fl, nullptr);
    EXPECT_EQ(net_buf_get_size(), 0u);
    EXPECT_EQ(net_buf_idle_num(), 0u);
    EXPECT_EQ(hdrv_buf_idle_num(), 0u);
    sys_buf_deinit();

    EXPECT_EQ(sys_buf_init(0), 0);
    EXPECT_EQ(sys_buf_init(0x40000000u), 0);
    EXPECT_EQ(net_buf_idle_num(), 0u);
}

TEST_F(SysBuf, NetBufWholeContentIsUsable)
{
    ASSERT_EQ(sys_buf_init(3), 1);
    std::vector<char *> bufs;
    for (int i = 0; i < 3; i++) {
        char *b = net_buf_get_idle();
        ASSERT_NE(b, nullptr);
        memset(b, 'a' + i, net_buf_get_size());
        bufs.push_back(b);
    }
    EXPECT_EQ(net_buf_get_idle(), nullptr);
    EXPECT_EQ(net_buf_idle_num(), 0u);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(bufs[i][0], 'a' + i);
        EXPECT_EQ(bufs[i][2047], 'a' + i);
    }
    // Released to the tail: reuse is first in, first out.
    net_buf_free(bufs[1]);
    net_buf_free(bufs[0]);
    EXPECT_EQ(net_buf_idle_num(), 2u);
    EXPECT_EQ(net_buf_get_idle(), bufs[1]);
    EXPECT_EQ(net_buf_get_idle(), bufs[0]);
}

TEST_F(SysBuf, NetBufFreeTellsHeapFromPool)
{
    ASSERT_EQ(sys_buf_init(2), 1);
    char *pool_buf = net_buf_get_idle();
    ASSERT_NE(pool_buf, nullptr);
    EXPECT_EQ(net_buf_idle_num(), 1u);

    // A heap block is freed (the leak checker of the sanitizer build would
    // report it otherwise) and the pool does not change.
    char *heap = static_cast<char *>(malloc(64 * 1024));
    ASSERT_NE(heap, nullptr);
    memset(heap, 0, 64 * 1024);
    net_buf_free(heap);
    EXPECT_EQ(net_buf_idle_num(), 1u);

    net_buf_free(pool_buf);
    EXPECT_EQ(net_buf_idle_num(), 2u);
    net_buf_free(nullptr);
    EXPECT_EQ(net_buf_idle_num(), 2u);

    // A second release of the same buffer and pointers into the middle of the
    // pool are refused: nothing goes to free(), the pool stays intact.
    net_buf_free(pool_buf);
    net_buf_free(pool_buf + 1);
    net_buf_free(pool_buf - 4);
    EXPECT_EQ(net_buf_idle_num(), 2u);
    char *a = net_buf_get_idle();
    char *b = net_buf_get_idle();
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(net_buf_get_idle(), nullptr);
    net_buf_free(a);
    net_buf_free(b);

    // Without a pool every pointer is heap memory.
    sys_buf_deinit();
    net_buf_free(static_cast<char *>(malloc(16)));
    EXPECT_EQ(net_buf_idle_num(), 0u);
}

TEST_F(SysBuf, NetBufCustomSize)
{
    ASSERT_EQ(net_buf_init(5, 100), 1);
    EXPECT_EQ(net_buf_get_size(), 100u);
    EXPECT_EQ(net_buf_idle_num(), 5u);
    EXPECT_EQ(net_buf_init(5, 100), 0) << "a pool already exists";
    net_buf_deinit();
    EXPECT_EQ(net_buf_get_size(), 0u);
    EXPECT_EQ(net_buf_init(0, 100), 0);
}

TEST_F(SysBuf, HdrvUnitsAreClearedAndReusedFirst)
{
    ASSERT_EQ(hdrv_buf_init(4), 1);
    EXPECT_EQ(hdrv_buf_idle_num(), 4u);
    char value[] = "text/xml";
    HDRV *h = hdrv_buf_get_idle();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ((uintptr_t)h % alignof(HDRV), 0u);
    memset(h->header, 'X', sizeof(h->header)); // full 32 bytes, no terminator
    h->value_string = value;
    HDRV *h2 = hdrv_buf_get_idle();
    ASSERT_NE(h2, nullptr);
    strcpy(h2->header, "Content-Type");
    h2->value_string = value;

    EXPECT_EQ(hdrv_buf_free(h), 1);
    EXPECT_EQ(h->header[0], '\0');
    EXPECT_EQ(h->value_string, nullptr);
    EXPECT_EQ(strcmp(h2->header, "Content-Type"), 0) << "neighbour untouched";
    EXPECT_EQ(h2->value_string, value);
    EXPECT_EQ(hdrv_buf_idle_num(), 3u);
    EXPECT_EQ(hdrv_buf_get_idle(), h) << "released to the head";
    EXPECT_EQ(hdrv_buf_free(nullptr), 0);

    // A foreign record is refused and left as it was.
    HDRV local;
    strcpy(local.header, "Host");
    local.value_string = value;
    EXPECT_EQ(hdrv_buf_free(&local), 0);
    EXPECT_EQ(strcmp(local.header, "Host"), 0);
    EXPECT_EQ(local.value_string, value);
    EXPECT_EQ(hdrv_buf_free(h), 1);
    EXPECT_EQ(hdrv_buf_free(h2), 1);
    EXPECT_EQ(hdrv_buf_idle_num(), 4u);

    hdrv_buf_deinit();
    EXPECT_EQ(hdrv_buf_free(&local), 0);
    EXPECT_EQ(hdrv_buf_get_idle(), nullptr);
}

TEST_F(SysBuf, HeaderListsReturnEveryUnit)
{
    PPS_CTX list;
    EXPECT_EQ(hdrv_ctx_ul_init(&list), 0) << "no pool yet";
    ASSERT_EQ(sys_buf_init(1), 1);
    ASSERT_EQ(hdrv_buf_idle_num(), 8u);
    ASSERT_EQ(hdrv_ctx_ul_init(&list), 1);
    EXPECT_EQ(list.ctx_mutex, nullptr);
    PPS_CTX other;
    ASSERT_EQ(hdrv_ctx_ul_init(&other), 1);

    char value[] = "v";
    std::vector<HDRV *> units;
    for (int i = 0; i < 8; i++) {
        HDRV *h = hdrv_buf_get_idle();
        ASSERT_NE(h, nullptr);
        snprintf(h->header, sizeof(h->header), "Name-%d", i);
        h->value_string = value;
        ASSERT_EQ(pps_ctx_ul_add(i < 5 ? &list : &other, h), 1);
        units.push_back(h);
    }
    EXPECT_EQ(hdrv_buf_get_idle(), nullptr);
    EXPECT_EQ(pps_node_count(&list), 5u);

    hdrv_ctx_free(&list);
    EXPECT_EQ(pps_node_count(&list), 0u);
    EXPECT_EQ(pps_get_head_node(&list), nullptr);
    EXPECT_EQ(hdrv_buf_idle_num(), 5u);
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(units[i]->header[0], '\0');
        EXPECT_EQ(units[i]->value_string, nullptr);
        EXPECT_EQ(pps_idle_node(hdrv_buf_fl, units[i]), 1);
    }
    // The other list is untouched.
    EXPECT_EQ(pps_node_count(&other), 3u);
    EXPECT_EQ(strcmp(units[5]->header, "Name-5"), 0);
    HDRV *p = static_cast<HDRV *>(pps_get_head_node(&other));
    EXPECT_EQ(p, units[5]);

    // Freeing an empty list is harmless; a null list too.
    hdrv_ctx_free(&list);
    hdrv_ctx_free(nullptr);
    hdrv_ctx_free(&other);
    EXPECT_EQ(hdrv_buf_idle_num(), 8u);
    EXPECT_EQ(hdrv_buf_fl->pop_cnt, hdrv_buf_fl->push_cnt);
}

} // namespace
