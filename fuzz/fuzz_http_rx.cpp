// Fuzz target: assembling HTTP messages from a byte stream in either role,
// with the stream cut into reads of varying sizes and an optional close.
//
// Input: byte 0 chooses the role (bit 0: listener), whether the peer closes
// after the last byte (bit 1), the read sizes (bit 2: all reads of byte 1
// + 1 bytes; else pseudo-random sizes seeded by byte 1) and a body limit
// (bit 3: (byte 1 + 1) * 16 bytes, as a listener sets one). The rest is the
// stream.
#include "fuzz/fuzz_common.hpp"
#include "fuzz/fuzz_pools.hpp"
#include "http/http_rx.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 1 << 18;

struct Reads {
    bool fixed;
    uint32_t state;

    int next()
    {
        if (fixed) return (int)(state & 0xff) + 1;
        state = state * 1103515245u + 12345u;
        uint32_t r = (state >> 16) & 0x7fff;
        return (r & 7) == 0 ? 2048 : (int)(r % 97) + 1; // now and then a big read
    }
};

int32_t g_limit = 0;     // the body limit of the run, 0 for none
bool g_listener = false; // the role of the run

void check_msg(HTTP_MSG *msg)
{
    FUZZ_CHECK(msg);
    FUZZ_CHECK(msg->msg_type == HTTP_MSG_REQUEST || msg->msg_type == HTTP_MSG_RESPONSE);
    FUZZ_CHECK(msg->content_len >= 0 && msg->content_len <= HTTP_MAX_CONTENT_LEN);
    if (g_limit > 0 && g_listener) FUZZ_CHECK(msg->content_len <= g_limit);
    FUZZ_CHECK(msg->msg_buf && msg->msg_buf_size > 0);
    const char *begin = msg->msg_buf;
    const char *end = msg->msg_buf + msg->msg_buf_size;
    fuzz::check_headers(msg, begin, end, 10000);
    char *body = http_get_ctt(msg);
    if (body) {
        FUZZ_CHECK(body >= begin && body + msg->content_len < end);
        FUZZ_CHECK(body[msg->content_len] == '\0');
    }
}

// Handles one result; false once the connection is over.
bool handle(HTTP_RX *rx, int r, HTTP_MSG *msg)
{
    for (int i = 0; r == HTTP_RX_DONE && i < 4096; i++) {
        check_msg(msg);
        http_free_msg(msg);
        if (rx->role == HTTP_RX_CLIENT) return false; // one response per connection
        r = http_rx_next(rx, &msg);
    }
    if (r == HTTP_RX_TUNNEL) {
        FUZZ_CHECK(rx->role == HTTP_RX_LISTENER);
        check_msg(msg);
        int len = -1;
        char *extra = http_rx_extra(rx, &len);
        FUZZ_CHECK(len >= 0 && (len == 0 || extra));
        http_free_msg(msg);
        http_rx_reset(rx);
        return true;
    }
    FUZZ_CHECK(r == HTTP_RX_MORE || r == HTTP_RX_ERROR);
    FUZZ_CHECK(r != HTTP_RX_ERROR || rx->dyn_rcv_buf == nullptr);
    return r == HTTP_RX_MORE;
}

void run(const uint8_t *data, size_t size)
{
    int role = (data[0] & 1) ? HTTP_RX_LISTENER : HTTP_RX_CLIENT;
    bool close_at_end = (data[0] & 2) != 0;
    Reads reads = {(data[0] & 4) != 0, data[1]};
    data += 2;
    size -= 2;

    HTTP_RX rx;
    http_rx_init(&rx, role, "fuzz");
    g_limit = (data[-2] & 8) ? ((int32_t)data[-1] + 1) * 16 : 0;
    g_listener = role == HTTP_RX_LISTENER;
    rx.max_content = g_limit;
    size_t pos = 0;
    bool open = true;
    for (size_t step = 0; open && step <= size + 1; step++) {
        int room = 0;
        char *p = http_rx_buf(&rx, &room);
        if (!p) break;
        FUZZ_CHECK(room > 0 && p >= rx.rbuf && p + room <= rx.rbuf + rx.mlen);
        HTTP_MSG *msg = nullptr;
        if (pos == size) {
            if (close_at_end) handle(&rx, http_rx_input(&rx, 0, &msg), msg);
            break;
        }
        int n = reads.next();
        if (n > room) n = room;
        if ((size_t)n > size - pos) n = (int)(size - pos);
        memcpy(p, data + pos, (size_t)n);
        pos += (size_t)n;
        open = handle(&rx, http_rx_input(&rx, n, &msg), msg);
        FUZZ_CHECK(rx.dlen >= 0 && rx.dlen <= rx.mlen && rx.rbuf[rx.dlen] == '\0');
    }
    http_rx_reset(&rx);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::pools();
    if (size < 2 || size > kMaxInput) return 0;
    run(data, size);
    fuzz::check_pools_full();
    return 0;
}
