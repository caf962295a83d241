// Fuzz target: name=value lookup (GetNameValuePair) and the line and word
// readers it is built with, over buffers that are not NUL-terminated.
//
// Input: byte 0 is the value buffer size (0..255), byte 1 picks the name;
// the rest is the text, handed over with its exact length.
#include "fuzz/fuzz_common.hpp"
#include "platform/text_scan.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 8192;

const char *const kNames[] = {"realm",    "nonce",  "qop", "opaque", "username", "uri",
                              "response", "cnonce", "nc",  "a",      "boundary", "charset"};
const int kNameCount = (int)(sizeof(kNames) / sizeof(kNames[0]));

void run_pair(const char *text, int len, const char *name, int value_len)
{
    char *value = fuzz::exact_buf((size_t)value_len);
    int r = GetNameValuePair(text, len, name, value, value_len);
    FUZZ_CHECK(r == 0 || r == 1);
    if (value_len > 0) {
        FUZZ_CHECK(fuzz::terminated(value, (size_t)value_len));
        if (r == 0) FUZZ_CHECK(value[0] == '\0');
    }
    free(value);
}

// Every word of every line; each call makes progress or ends the loop.
void run_lines(const uint8_t *data, int len, int word_size)
{
    char *buf = fuzz::exact_buf((size_t)len);
    memcpy(buf, data, (size_t)len);
    char *word = fuzz::exact_buf((size_t)word_size);
    int pos = 0;
    for (int lines = 0; pos < len && lines <= len; lines++) {
        int line_len = 0, next = 0;
        int more = GetLineText(buf, pos, len, &line_len, &next);
        FUZZ_CHECK(line_len >= 0 && pos + line_len <= len && next >= pos && next <= len);
        for (int off = pos, words = 0; words <= line_len; words++) {
            int after = off;
            int type = 1 + (words % 3);
            int w = GetLineWord(buf, off, pos + line_len, word, word_size, &after, type);
            FUZZ_CHECK(fuzz::terminated(word, (size_t)word_size));
            if (!w || after <= off) break;
            off = after;
        }
        if (!more || next <= pos) break;
        pos = next;
    }
    free(word);

    // The same bytes as SIP/HTTP lines, cut in place.
    memcpy(buf, data, (size_t)len);
    pos = 0;
    for (int lines = 0; pos < len && lines <= len; lines++) {
        int line_len = 0, more = 0;
        if (!GetSipLine(buf + pos, len - pos, &line_len, &more)) break;
        FUZZ_CHECK(line_len >= 0 && line_len <= len - pos);
        if (line_len == 0 || !more) break;
        pos += line_len;
    }
    free(buf);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2 || size > kMaxInput) return 0;
    int value_len = data[0];
    const char *name = kNames[data[1] % kNameCount];
    int len = (int)size - 2;
    char *text = fuzz::exact_buf((size_t)len);
    memcpy(text, data + 2, (size_t)len);

    run_pair(text, len, name, value_len);
    run_pair(text, len, name, 1);
    FUZZ_CHECK(memcmp(text, data + 2, (size_t)len) == 0); // the text is only read
    free(text);

    if (len > 0) run_lines(data + 2, len, 1 + (data[0] % 64));
    return 0;
}
