// SHA-1 over 64-byte blocks: 80 rounds of the four round functions, length
// padding with the bit count big-endian in the last eight bytes.
#include "platform/sha1.h"

#include <string.h>

namespace
{

uint32_t rol(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

uint32_t load_be32(const uint8_t *p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

void store_be32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

void sha1_block(sha1_context *ctx, const uint8_t block[64])
{
    uint32_t w[80];
    for (int i = 0; i < 16; i++)
        w[i] = load_be32(block + 4 * i);
    for (int i = 16; i < 80; i++)
        w[i] = rol(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

    uint32_t a = ctx->state[0], b = ctx->state[1], c = ctx->state[2], d = ctx->state[3],
             e = ctx->state[4];
    for (int i = 0; i < 80; i++) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = rol(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rol(b, 30);
        b = a;
        a = t;
    }
    ctx->state[0] += a;
    ctx->state[1] += b;
    ctx->state[2] += c;
    ctx->state[3] += d;
    ctx->state[4] += e;
}

} // namespace

extern "C" {

void sha1_starts(sha1_context *ctx)
{
    if (!ctx) return;
    ctx->total[0] = 0;
    ctx->total[1] = 0;
    ctx->state[0] = 0x67452301;
    ctx->state[1] = 0xEFCDAB89;
    ctx->state[2] = 0x98BADCFE;
    ctx->state[3] = 0x10325476;
    ctx->state[4] = 0xC3D2E1F0;
    memset(ctx->buffer, 0, sizeof(ctx->buffer));
}

void sha1_update(sha1_context *ctx, const uint8_t *input, uint32_t ilen)
{
    if (!ctx || !input || ilen == 0) return;
    uint32_t fill = ctx->total[0] & 63;
    ctx->total[0] += ilen;
    if (ctx->total[0] < ilen) ctx->total[1]++;

    if (fill) {
        uint32_t want = 64 - fill;
        if (ilen < want) {
            memcpy(ctx->buffer + fill, input, ilen);
            return;
        }
        memcpy(ctx->buffer + fill, input, want);
        sha1_block(ctx, ctx->buffer);
        input += want;
        ilen -= want;
    }
    while (ilen >= 64) {
        sha1_block(ctx, input);
        input += 64;
        ilen -= 64;
    }
    if (ilen) memcpy(ctx->buffer, input, ilen);
}

void sha1_finish(sha1_context *ctx, uint8_t output[20])
{
    if (!ctx || !output) return;
    // Message length in bits, taken before the padding is added.
    uint32_t high = (ctx->total[1] << 3) | (ctx->total[0] >> 29);
    uint32_t low = ctx->total[0] << 3;
    uint8_t length[8];
    store_be32(length, high);
    store_be32(length + 4, low);

    uint32_t used = ctx->total[0] & 63;
    uint32_t padn = (used < 56) ? (56 - used) : (120 - used);
    static const uint8_t PADDING[64] = {0x80};
    sha1_update(ctx, PADDING, padn);
    sha1_update(ctx, length, 8);

    for (int i = 0; i < 5; i++)
        store_be32(output + 4 * i, ctx->state[i]);
}

} // extern "C"
