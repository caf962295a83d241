/*
 * MD5 (RFC 1321), used for HTTP Digest authentication.
 * Feed data in pieces of any length; the digest is written little-endian.
 */
#ifndef PLATFORM_MD5_H
#define PLATFORM_MD5_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
    uint32_t state[4];  /* chaining words */
    uint32_t count[2];  /* bits hashed: low word, high word */
    uint8_t buffer[64]; /* partial block */
} MD5_CTX;

/* Start, feed, finish (16-byte digest; the context is cleared afterwards). */
ONVIF_CLIENT_API void MD5Init(MD5_CTX *ctx);
ONVIF_CLIENT_API void MD5Update(MD5_CTX *ctx, const uint8_t *input, uint32_t len);
ONVIF_CLIENT_API void MD5Final(uint8_t digest[16], MD5_CTX *ctx);

/* One shot over len bytes of data. */
ONVIF_CLIENT_API void MD5String(const char *data, int len, uint8_t digest[16]);

#ifdef __cplusplus
}
#endif

#endif
