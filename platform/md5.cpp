// MD5 over 64-byte blocks: four rounds of sixteen steps, length padding with
// the bit count little-endian in the last eight bytes.
#include "platform/md5.h"

#include <string.h>

namespace
{

uint32_t rol(uint32_t x, uint32_t n)
{
    return (x << n) | (x >> (32 - n));
}

uint32_t load_le32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void store_le32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// Per-step shift amounts and the sine-derived constants of RFC 1321.
const uint32_t SHIFT[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const uint32_t SINE[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void md5_block(MD5_CTX *ctx, const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; i++)
        x[i] = load_le32(block + 4 * i);

    uint32_t a = ctx->state[0], b = ctx->state[1], c = ctx->state[2], d = ctx->state[3];
    for (int i = 0; i < 64; i++) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) & 15;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
        }
        uint32_t t = d;
        d = c;
        c = b;
        b = b + rol(a + f + SINE[i] + x[g], SHIFT[i]);
        a = t;
    }
    ctx->state[0] += a;
    ctx->state[1] += b;
    ctx->state[2] += c;
    ctx->state[3] += d;
}

} // namespace

extern "C" {

void MD5Init(MD5_CTX *ctx)
{
    if (!ctx) return;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xefcdab89;
    ctx->state[2] = 0x98badcfe;
    ctx->state[3] = 0x10325476;
    ctx->count[0] = 0;
    ctx->count[1] = 0;
    memset(ctx->buffer, 0, sizeof(ctx->buffer));
}

void MD5Update(MD5_CTX *ctx, const uint8_t *input, uint32_t len)
{
    if (!ctx || !input || len == 0) return;
    uint32_t fill = (ctx->count[0] >> 3) & 63;
    uint32_t bits_low = len << 3;
    ctx->count[0] += bits_low;
    if (ctx->count[0] < bits_low) ctx->count[1]++;
    ctx->count[1] += len >> 29;

    if (fill) {
        uint32_t want = 64 - fill;
        if (len < want) {
            memcpy(ctx->buffer + fill, input, len);
            return;
        }
        memcpy(ctx->buffer + fill, input, want);
        md5_block(ctx, ctx->buffer);
        input += want;
        len -= want;
    }
    while (len >= 64) {
        md5_block(ctx, input);
        input += 64;
        len -= 64;
    }
    if (len) memcpy(ctx->buffer, input, len);
}

void MD5Final(uint8_t digest[16], MD5_CTX *ctx)
{
    if (!ctx) return;
    uint8_t length[8];
    store_le32(length, ctx->count[0]);
    store_le32(length + 4, ctx->count[1]);

    uint32_t used = (ctx->count[0] >> 3) & 63;
    uint32_t padn = (used < 56) ? (56 - used) : (120 - used);
    static const uint8_t PADDING[64] = {0x80};
    MD5Update(ctx, PADDING, padn);
    MD5Update(ctx, length, 8);

    if (digest)
        for (int i = 0; i < 4; i++)
            store_le32(digest + 4 * i, ctx->state[i]);
    memset(ctx, 0, sizeof(*ctx));
}

void MD5String(const char *data, int len, uint8_t digest[16])
{
    MD5_CTX ctx;
    MD5Init(&ctx);
    if (data && len > 0) MD5Update(&ctx, (const uint8_t *)data, (uint32_t)len);
    MD5Final(digest, &ctx);
}

} // extern "C"
