// Base64 with the RFC 4648 alphabet, and lowercase hex for digests.
#include "platform/encoding.h"

#include <string.h>

namespace
{

const char B64_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char HEX_LOWER[] = "0123456789abcdef";

int b64_value(unsigned char ch)
{
    if (ch >= 'A' && ch <= 'Z') return ch - 'A';
    if (ch >= 'a' && ch <= 'z') return ch - 'a' + 26;
    if (ch >= '0' && ch <= '9') return ch - '0' + 52;
    if (ch == '+') return 62;
    if (ch == '/') return 63;
    return -1;
}

int hex_lower_value(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

} // namespace

extern "C" {

int base64_encode(const uint8_t *src, int srclen, char *dst, int dstsize)
{
    if (!dst || dstsize <= 0 || srclen < 0 || (!src && srclen > 0)) return 0;
    long long need = 4LL * ((srclen + 2LL) / 3);
    if (need > (long long)dstsize - 1) return 0;

    int out = 0;
    int i = 0;
    for (; i + 2 < srclen; i += 3) {
        uint32_t v = ((uint32_t)src[i] << 16) | ((uint32_t)src[i + 1] << 8) | src[i + 2];
        dst[out++] = B64_ALPHABET[(v >> 18) & 63];
        dst[out++] = B64_ALPHABET[(v >> 12) & 63];
        dst[out++] = B64_ALPHABET[(v >> 6) & 63];
        dst[out++] = B64_ALPHABET[v & 63];
    }
    int rest = srclen - i;
    if (rest > 0) {
        uint32_t v = (uint32_t)src[i] << 16;
        if (rest == 2) v |= (uint32_t)src[i + 1] << 8;
        dst[out++] = B64_ALPHABET[(v >> 18) & 63];
        dst[out++] = B64_ALPHABET[(v >> 12) & 63];
        dst[out++] = rest == 2 ? B64_ALPHABET[(v >> 6) & 63] : '=';
        dst[out++] = '=';
    }
    dst[out] = '\0';
    return 1;
}

int base64_decode(const char *src, int srclen, uint8_t *dst, int dstsize)
{
    if (!src || (!dst && dstsize > 0) || dstsize < 0) return -1;
    if (srclen <= 0 || src[0] == '\0') return 0;

    int out = 0;
    int step = 0;     // alphabet characters seen in the current quantum
    uint32_t acc = 0; // their bits
    for (int i = 0; i < srclen; i++) {
        unsigned char ch = (unsigned char)src[i];
        if (ch == '\0') break;
        if (ch == '=') {
            step = 0;
            acc = 0;
            continue;
        }
        int v = b64_value(ch);
        if (v < 0) continue;
        acc = (acc << 6) | (uint32_t)v;
        step++;
        if (step == 1) continue;
        // Steps two to four each complete one byte. Padding, blanks or a NUL
        // after a full output are fine; only a byte without room fails.
        if (out >= dstsize) return -1;
        if (step == 2)
            dst[out++] = (uint8_t)(acc >> 4);
        else if (step == 3)
            dst[out++] = (uint8_t)(acc >> 2);
        else {
            dst[out++] = (uint8_t)acc;
            step = 0;
            acc = 0;
        }
    }
    return out;
}

void BinToHexStr(const uint8_t bin[16], char hex[33])
{
    if (!hex) return;
    if (!bin) {
        hex[0] = '\0';
        return;
    }
    for (int i = 0; i < 16; i++) {
        hex[2 * i] = HEX_LOWER[bin[i] >> 4];
        hex[2 * i + 1] = HEX_LOWER[bin[i] & 0x0f];
    }
    hex[32] = '\0';
}

int HexStrToBin(const char *hex, uint8_t bin[16])
{
    if (!hex || !bin || strnlen(hex, 33) != 32) return 0;
    uint8_t tmp[16];
    for (int i = 0; i < 16; i++) {
        int hi = hex_lower_value(hex[2 * i]);
        int lo = hex_lower_value(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return 0;
        tmp[i] = (uint8_t)((hi << 4) | lo);
    }
    memcpy(bin, tmp, sizeof(tmp));
    return 1;
}

} // extern "C"
