/*
 * SHA-1 (FIPS 180-1), used for WS-Security password digests.
 * Feed data in pieces of any length; the digest is written big-endian.
 */
#ifndef PLATFORM_SHA1_H
#define PLATFORM_SHA1_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    uint32_t total[2];  /* bytes hashed: low word, high word */
    uint32_t state[5];  /* chaining words */
    uint8_t buffer[64]; /* partial block */
} sha1_context;

/* Start, feed, finish (20-byte digest). */
ONVIF_CLIENT_API void sha1_starts(sha1_context *ctx);
ONVIF_CLIENT_API void sha1_update(sha1_context *ctx, const uint8_t *input, uint32_t ilen);
ONVIF_CLIENT_API void sha1_finish(sha1_context *ctx, uint8_t output[20]);

#ifdef __cplusplus
}
#endif

#endif
