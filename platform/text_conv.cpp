// Case folding, URL escaping (application/x-www-form-urlencoded style),
// UTF-16LE copies and masked hex dumps.
#include "platform/text_conv.h"
#include "platform/sys_os.h"

#include <string.h>

namespace
{

const char HEX_UPPER[] = "0123456789ABCDEF";
const int UNICODE_MAX_CHARS = 64;

int hex_value(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

bool url_safe(unsigned char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
           ch == '.' || ch == '-' || ch == '_' || ch == '*';
}

uint8_t mask_of(uint8_t key)
{
    return (uint8_t)(7 - key);
}

} // namespace

extern "C" {

char *lowercase(char *str)
{
    if (!str) return nullptr;
    for (char *p = str; *p; p++)
        if (*p >= 'A' && *p <= 'Z') *p = (char)(*p - 'A' + 'a');
    return str;
}

char *uppercase(char *str)
{
    if (!str) return nullptr;
    for (char *p = str; *p; p++)
        if (*p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
    return str;
}

int url_encode(const char *src, int srclen, char *dst, int dstsize)
{
    if (!dst || dstsize <= 0) return 0;
    dst[0] = '\0';
    if (!src || srclen <= 0) return 0;

    int out = 0;
    for (int i = 0; i < srclen && out < dstsize - 1; i++) {
        unsigned char ch = (unsigned char)src[i];
        if (url_safe(ch)) {
            dst[out++] = (char)ch;
        } else if (ch == ' ') {
            dst[out++] = '+';
        } else {
            if (out + 3 + 1 > dstsize) {
                dst[0] = '\0';
                return 0;
            }
            dst[out++] = '%';
            dst[out++] = HEX_UPPER[ch >> 4];
            dst[out++] = HEX_UPPER[ch & 0x0f];
        }
    }
    dst[out] = '\0';
    return out;
}

int url_decode(char *dst, const char *src, int srclen)
{
    if (!dst) return 0;
    if (!src || srclen <= 0) {
        dst[0] = '\0';
        return 0;
    }

    int out = 0;
    int i = 0;
    while (i < srclen) {
        char ch = src[i];
        if (ch == '+') {
            dst[out++] = ' ';
            i++;
            continue;
        }
        // An escape is "%" and exactly two hex digits; anything shorter is
        // kept as it stands.
        if (ch == '%' && i + 2 < srclen) {
            int hi = hex_value(src[i + 1]);
            int lo = hex_value(src[i + 2]);
            if (hi >= 0 && lo >= 0) {
                dst[out++] = (char)((hi << 4) | lo);
                i += 3;
                continue;
            }
        }
        dst[out++] = ch;
        i++;
    }
    dst[out] = '\0';
    return out;
}

int unicode(char **out, const char *text)
{
    if (!out) return 0;
    *out = nullptr;
    if (!text) return 0;

    int n = (int)strnlen(text, UNICODE_MAX_CHARS);
    // One spare zero unit behind the counted bytes, so the copy can also be
    // read as a terminated wide text.
    char *buf = (char *)xmalloc((size_t)n * 2 + 2);
    if (!buf) return 0;
    for (int i = 0; i < n; i++) {
        buf[2 * i] = text[i];
        buf[2 * i + 1] = 0;
    }
    buf[2 * n] = 0;
    buf[2 * n + 1] = 0;
    *out = buf;
    return n * 2;
}

char *printmem(const uint8_t *data, int len, uint8_t key)
{
    if (len < 0 || (!data && len > 0)) return nullptr;
    char *text = (char *)xmalloc((size_t)len * 2 + 1);
    if (!text) return nullptr;
    uint8_t mask = mask_of(key);
    for (int i = 0; i < len; i++) {
        uint8_t b = (uint8_t)(data[i] ^ mask);
        text[2 * i] = HEX_UPPER[b >> 4];
        text[2 * i + 1] = HEX_UPPER[b & 0x0f];
    }
    text[(size_t)len * 2] = '\0';
    return text;
}

uint8_t *scanmem(const char *text, uint8_t key)
{
    if (!text) return nullptr;
    size_t n = strlen(text);
    if (n % 2 != 0) return nullptr;
    uint8_t *bin = (uint8_t *)xmalloc(n / 2 + 1);
    if (!bin) return nullptr;
    uint8_t mask = mask_of(key);
    for (size_t i = 0; i < n / 2; i++) {
        int hi = hex_value(text[2 * i]);
        int lo = hex_value(text[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            xfree(bin);
            return nullptr;
        }
        bin[i] = (uint8_t)(((hi << 4) | lo) ^ mask);
    }
    bin[n / 2] = 0;
    return bin;
}

} // extern "C"
