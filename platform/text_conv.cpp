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

/* Writes code point cp as UTF-8 into out (4 bytes room); its length, or 0 for
 * values that are not characters (NUL, surrogates, beyond U+10FFFF). */
int utf8_encode(unsigned long cp, char *out)
{
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
    if (cp < 0x80) {
        out[0] = (char)cp;
        return 1;
    }
    if (cp < 0x800) {
        out[0] = (char)(0xC0 | (cp >> 6));
        out[1] = (char)(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = (char)(0xE0 | (cp >> 12));
        out[1] = (char)(0x80 | ((cp >> 6) & 0x3F));
        out[2] = (char)(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (cp >> 18));
    out[1] = (char)(0x80 | ((cp >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((cp >> 6) & 0x3F));
    out[3] = (char)(0x80 | (cp & 0x3F));
    return 4;
}

/* Decodes the reference starting at src ('&'): bytes of src it covers (0 when
 * it is not a reference we decode) and its UTF-8 form in out / *outlen. */
int decode_ref(const char *src, char *out, int *outlen)
{
    static const struct {
        const char *name;
        char ch;
    } named[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto &e : named) {
        size_t n = strlen(e.name);
        if (strncmp(src + 1, e.name, n) == 0) {
            out[0] = e.ch;
            *outlen = 1;
            return (int)n + 1;
        }
    }
    if (src[1] != '#') return 0;
    const char *p = src + 2;
    int hex = (*p == 'x' || *p == 'X');
    if (hex) p++;
    unsigned long cp = 0;
    int digits = 0;
    for (; digits < 8; p++, digits++) {
        int d;
        if (*p >= '0' && *p <= '9')
            d = *p - '0';
        else if (hex && *p >= 'a' && *p <= 'f')
            d = *p - 'a' + 10;
        else if (hex && *p >= 'A' && *p <= 'F')
            d = *p - 'A' + 10;
        else
            break;
        cp = cp * (hex ? 16 : 10) + (unsigned long)d;
    }
    if (digits == 0 || *p != ';') return 0;
    *outlen = utf8_encode(cp, out);
    if (*outlen == 0) return 0;
    return (int)(p + 1 - src);
}

/* Length of the UTF-8 sequence that starts with byte c (1 for a stray
 * continuation byte or an invalid lead, so every byte is copied once). */
int utf8_seq_len(unsigned char c)
{
    if (c >= 0xF0 && c <= 0xF4) return 4;
    if (c >= 0xE0) return c <= 0xEF ? 3 : 1;
    if (c >= 0xC2) return 2;
    return 1;
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

int text_decode_entities(char *dst, int size, const char *src)
{
    if (!dst || size <= 0) return 0;
    int len = 0;
    if (src) {
        const char *p = src;
        while (*p) {
            char piece[4];
            int plen = 1;
            int used = 1;
            piece[0] = *p;
            if (*p == '&') {
                int n = decode_ref(p, piece, &plen);
                if (n > 0)
                    used = n;
                else {
                    piece[0] = '&';
                    plen = 1;
                }
            } else {
                /* A multi-byte character is copied whole or not at all. */
                int want = utf8_seq_len((unsigned char)*p);
                int have = 1;
                while (have < want && ((unsigned char)p[have] & 0xC0) == 0x80)
                    have++;
                plen = used = have;
                memcpy(piece, p, (size_t)have);
            }
            if (len + plen > size - 1) break;
            memcpy(dst + len, piece, (size_t)plen);
            len += plen;
            p += used;
        }
    }
    dst[len] = '\0';
    return len;
}

int text_copy_utf8(char *dst, int size, const char *src, int n)
{
    if (!dst || size <= 0) return 0;
    int len = 0;
    while (src && len < n && src[len]) {
        int want = utf8_seq_len((unsigned char)src[len]);
        int have = 1;
        while (have < want && len + have < n && ((unsigned char)src[len + have] & 0xC0) == 0x80)
            have++;
        if (len + have > size - 1) break;
        len += have;
    }
    if (src) memcpy(dst, src, (size_t)len);
    dst[len] = '\0';
    return len;
}

} // extern "C"
