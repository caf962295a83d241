// Fuzz target: the in-place HTTP message parser (whole message, and head and
// body in two steps), the header lookups, and the redaction of a message
// for the debug log.
#include "fuzz/fuzz_common.hpp"
#include "fuzz/fuzz_pools.hpp"
#include "http/http_msg.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 1 << 16;

void check_record(HTTP_MSG *msg, const char *buf, size_t size)
{
    FUZZ_CHECK(fuzz::terminated(msg->first_word, sizeof(msg->first_word)));
    FUZZ_CHECK(fuzz::terminated(msg->boundary, sizeof(msg->boundary)));
    FUZZ_CHECK(msg->content_len >= 0 && msg->content_len <= HTTP_MAX_CONTENT_LEN);
    if (msg->line_rest) FUZZ_CHECK(msg->line_rest >= buf && msg->line_rest <= buf + size);
    fuzz::check_headers(msg, buf, buf + size + 1, 10000);

    const char *names[] = {"Content-Length", "Content-Type", "WWW-Authenticate", "Host", ""};
    for (const char *name : names) {
        HDRV *h = http_find_headline(msg, name);
        for (int i = 0; h && i < 1000; i++)
            h = http_find_headline_next(msg, name, h);
        http_get_headline(msg, name);
        http_find_ctt_headline(msg, name);
    }
    char *body = http_get_ctt(msg);
    if (body) FUZZ_CHECK(body >= buf && body <= buf + size);

    // The request URI into buffers of 1, 8 and 256 bytes: terminated or empty.
    const int sizes[] = {1, 8, 256};
    for (int n : sizes) {
        char *out = fuzz::exact_buf((size_t)n);
        int ok = http_get_headline_uri(msg, out, n);
        FUZZ_CHECK(ok == 0 || ok == 1);
        FUZZ_CHECK(fuzz::terminated(out, (size_t)n));
        free(out);
    }
}

void free_record(HTTP_MSG *msg)
{
    http_free_msg_ctx(msg, 0);
    http_free_msg_ctx(msg, 1);
}

// The whole message in one call.
void parse_whole(const uint8_t *data, size_t size)
{
    char *buf = fuzz::dup_text(data, size);
    HTTP_MSG msg;
    memset(&msg, 0, sizeof(msg));
    http_msg_ctx_init(&msg);
    int r = http_msg_parse(buf, (int)size, &msg);
    FUZZ_CHECK(r >= -1 && r <= (int)size);
    if (r >= 0) {
        FUZZ_CHECK(msg.msg_type == HTTP_MSG_REQUEST || msg.msg_type == HTTP_MSG_RESPONSE);
        check_record(&msg, buf, size);
    }
    free_record(&msg);
    free(buf);
}

// Head and body separately, as the stream assembly does.
void parse_parts(const uint8_t *data, size_t size)
{
    char *buf = fuzz::dup_text(data, size);
    FUZZ_CHECK(http_is_http_msg(buf) == 0 || http_is_http_msg(buf) == 1);
    int end = http_pkt_find_end(buf);
    FUZZ_CHECK(end >= 0 && end <= (int)size);
    int head_len = end > 0 ? end : (int)size;

    HTTP_MSG msg;
    memset(&msg, 0, sizeof(msg));
    http_msg_ctx_init(&msg);
    int r = http_msg_parse_part1(buf, head_len, &msg);
    FUZZ_CHECK(r >= -1 && r <= head_len);
    if (r > 0) {
        check_record(&msg, buf, size);
        int rest = (int)size - r;
        int b = http_msg_parse_part2(buf + r, rest, &msg);
        FUZZ_CHECK(b >= -1 && b <= rest);
        if (http_ctt_parse(&msg) >= 0) check_record(&msg, buf, size);
    }
    free_record(&msg);
    free(buf);
}

} // namespace

// The log copy of the bytes: read within them, a terminated text; a head's
// Authorization value never survives past its scheme word.
void redact(const uint8_t *data, size_t size)
{
    char *text = fuzz::exact_buf(size); // no NUL behind: an overread shows
    memcpy(text, data, size);
    char *shown = http_redact_for_log(text, (int)size);
    FUZZ_CHECK(shown != nullptr);
    size_t n = strlen(shown);
    FUZZ_CHECK(n <= size + 3 * (size + 1));
    free(shown);
    free(text);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::pools();
    if (size == 0 || size > kMaxInput) return 0;
    redact(data, size);
    parse_whole(data, size);
    parse_parts(data, size);
    fuzz::check_pools_full();
    return 0;
}
