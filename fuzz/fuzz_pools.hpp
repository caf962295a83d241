// The library's buffer pools for the HTTP fuzz targets: made once, small on
// purpose so that exhaustion paths are reached, and checked after every input
// so that a unit that never goes back is a finding (LeakSanitizer can't see
// units of a pool that lives for the whole process).
#ifndef FUZZ_FUZZ_POOLS_HPP
#define FUZZ_FUZZ_POOLS_HPP

#include "fuzz/fuzz_common.hpp"
#include "http/http_msg.h"
#include "platform/sys_buf.h"

namespace fuzz
{

const uint32_t kNetBufs = 8; // also 8 * kNetBufs header-line units
const int kMsgRecords = 8;

struct PoolLevels {
    uint32_t net;
    uint32_t hdrv;
    uint32_t msg;
};

inline PoolLevels pool_levels()
{
    return {net_buf_idle_num(), hdrv_buf_idle_num(), http_idle_msg_buf_num()};
}

// Makes the pools on the first call; the idle counts of a full pool.
inline const PoolLevels &pools()
{
    static PoolLevels full = [] {
        if (sys_buf_init(kNetBufs) != 1 || http_msg_buf_init(kMsgRecords) != 0) abort();
        return pool_levels();
    }();
    return full;
}

inline void check_pools_full()
{
    PoolLevels now = pool_levels();
    const PoolLevels &full = pools();
    FUZZ_CHECK(now.net == full.net);
    FUZZ_CHECK(now.hdrv == full.hdrv);
    FUZZ_CHECK(now.msg == full.msg);
}

// Header lines of a parsed record: names are cut to their field, values lie
// within [begin, end). At most `limit` lines are visited.
inline int check_headers(HTTP_MSG *msg, const char *begin, const char *end, int limit)
{
    int count = 0;
    HDRV *h = static_cast<HDRV *>(pps_lookup_start(&msg->headers));
    while (h && count < limit) {
        if (h->value_string) FUZZ_CHECK(h->value_string >= begin && h->value_string < end);
        count++;
        h = static_cast<HDRV *>(pps_lookup_next(&msg->headers, h));
    }
    pps_lookup_end(&msg->headers);
    return count;
}

} // namespace fuzz

#endif
