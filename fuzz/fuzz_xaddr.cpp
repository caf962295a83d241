// Fuzz target: XAddrs list choice and URL splitting into host and path
// buffers of exact, input-chosen sizes.
//
// Input: byte 0 is the host buffer size - 1, byte 1 the path buffer size - 1
// (1..256 each); the rest is the XAddrs text.
#include "discovery/xaddr.h"
#include "fuzz/fuzz_common.hpp"

#include <string.h>

namespace
{

const size_t kMaxInput = 8192;

void check_split(int r, const char *host, int hostlen, const char *path, int pathlen, int port,
                 int https)
{
    FUZZ_CHECK(fuzz::terminated(host, (size_t)hostlen));
    if (r) {
        FUZZ_CHECK(fuzz::terminated(path, (size_t)pathlen));
        FUZZ_CHECK(port >= 1 && port <= 65535);
        FUZZ_CHECK(https == 0 || https == 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > kMaxInput) return 0;
    int hostlen = data[0] + 1;
    int pathlen = data[1] + 1;
    char *text = fuzz::dup_text(data + 2, size - 2);
    // Filled with non-NUL bytes behind an empty text: a split that writes a
    // text without its terminator leaves no NUL in the field. (A URL of
    // fewer than 8 characters leaves host and path as they were.)
    char *host = fuzz::exact_buf((size_t)hostlen);
    char *path = fuzz::exact_buf((size_t)pathlen);
    host[0] = path[0] = '\0';

    int port = 0, https = 0;
    int r = onvif_parse_xaddr(text, host, hostlen, path, pathlen, &port, &https);
    check_split(r, host, hostlen, path, pathlen, port, https);

    // One URL as it stands.
    memset(host, 'x', (size_t)hostlen);
    memset(path, 'x', (size_t)pathlen);
    host[0] = path[0] = '\0';
    port = https = 0;
    r = onvif_parse_xaddr_(text, host, hostlen, path, pathlen, &port, &https);
    FUZZ_CHECK(r == 0 || r == 1);
    check_split(r, host, hostlen, path, pathlen, port, https);
    r = onvif_parse_xaddr_(text, host, hostlen, path, pathlen, nullptr, nullptr);
    FUZZ_CHECK(r == 0 || r == 1);

    ONVIF_XADDR *x = static_cast<ONVIF_XADDR *>(calloc(1, sizeof(ONVIF_XADDR)));
    if (!x) abort();
    r = parse_XAddr(text, x);
    check_split(r, x->host, sizeof(x->host), x->path, sizeof(x->path), x->port, x->https);
    free(x);

    free(path);
    free(host);
    free(text);
    return 0;
}
