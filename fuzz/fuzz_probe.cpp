// Fuzz target: the discovery message handler (one received datagram:
// ProbeMatches, Hello or Bye) and the Types reader.
#include "discovery/probe.h"
#include "fuzz/fuzz_common.hpp"

#include <string.h>

namespace
{

const size_t kMaxInput = 16384; // a little beyond what a datagram may hold

struct Seen {
    int calls;
};

// Every record handed out is complete: terminated texts, counts in range.
void on_binfo(const DEVICE_BINFO *b, int kind, void *user)
{
    FUZZ_CHECK(b && user);
    FUZZ_CHECK(kind == PROBE_MSG_MATCH || kind == PROBE_MSG_HELLO || kind == PROBE_MSG_BYE);
    FUZZ_CHECK(fuzz::terminated(b->endpoint_address, sizeof(b->endpoint_address)));
    FUZZ_CHECK(b->scope_count >= 0 && b->scope_count <= DEVICE_BINFO_MAX_SCOPES);
    for (int i = 0; i < b->scope_count; i++)
        FUZZ_CHECK(fuzz::terminated(b->scopes[i].item, sizeof(b->scopes[i].item)));
    FUZZ_CHECK(fuzz::terminated(b->xaddr.host, sizeof(b->xaddr.host)));
    FUZZ_CHECK(fuzz::terminated(b->xaddr.path, sizeof(b->xaddr.path)));
    FUZZ_CHECK(b->xaddr.port >= 0 && b->xaddr.port <= 65535);
    if (kind != PROBE_MSG_BYE) {
        FUZZ_CHECK(b->type != DEVICE_TYPE_UNKNOWN);
        FUZZ_CHECK(b->xaddr.host[0] != '\0' && b->xaddr.port != 0);
    }
    static_cast<Seen *>(user)->calls++;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput) return 0;
    Seen seen = {0};
    set_probe_cb(on_binfo, &seen);

    // An exact-size copy: the handler must not read past len.
    char *copy = fuzz::exact_buf(size);
    if (size) memcpy(copy, data, size);
    int r = onvif_probe_datagram(copy, (int)size);
    FUZZ_CHECK(r >= -1);
    FUZZ_CHECK(r == -1 ? seen.calls == 0 : seen.calls == r);
    FUZZ_CHECK(memcmp(copy, data, size) == 0); // the caller's bytes are left alone
    free(copy);

    char *types = fuzz::dup_text(data, size);
    int t = parse_DeviceType(types);
    FUZZ_CHECK(t >= DEVICE_TYPE_UNKNOWN && t <= DEVICE_TYPE_ANALYTICS);
    free(types);

    set_probe_cb(nullptr, nullptr);
    return 0;
}
