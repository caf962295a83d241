/*
 * Base64 (RFC 4648, standard alphabet, "=" padding, no line breaks) and the
 * lowercase hex form of 16-byte digests.
 */
#ifndef PLATFORM_ENCODING_H
#define PLATFORM_ENCODING_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Base64. encode: 1, or 0 (nothing written) when 4*ceil(srclen/3) + 1 bytes
 * do not fit in dst. decode: bytes written, or -1 when the output does not
 * fit; blanks, line ends and other non-alphabet bytes are skipped, a NUL ends
 * the text. */
ONVIF_CLIENT_API int base64_encode(const uint8_t *src, int srclen, char *dst, int dstsize);
ONVIF_CLIENT_API int base64_decode(const char *src, int srclen, uint8_t *dst, int dstsize);

/* 16 bytes as 32 lowercase hex digits plus a terminator, and back: 1, or 0
 * (bin untouched) unless hex is exactly 32 characters of 0-9 a-f. */
ONVIF_CLIENT_API void BinToHexStr(const uint8_t bin[16], char hex[33]);
ONVIF_CLIENT_API int HexStrToBin(const char *hex, uint8_t bin[16]);

#ifdef __cplusplus
}
#endif

#endif
