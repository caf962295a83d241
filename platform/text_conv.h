/*
 * Text conversions: ASCII case folding, URL escaping, a UTF-16LE copy of a
 * short text, hex dumps masked with a one-byte key, and the decoding of XML
 * character references into bounded UTF-8 fields.
 *
 * Functions that return a new buffer allocate it with xmalloc; the caller
 * frees it with xfree.
 */
#ifndef PLATFORM_TEXT_CONV_H
#define PLATFORM_TEXT_CONV_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Case folding of A-Z / a-z in place; returns str (null stays null). */
ONVIF_CLIENT_API char *lowercase(char *str);
ONVIF_CLIENT_API char *uppercase(char *str);

/* URL escaping. url_encode: letters, digits and ".-_*" kept, blank as "+",
 * others as "%XX"; returns the length written (dst terminated), 0 on failure.
 * url_decode: "+" and "%XX" decoded; dst needs srclen + 1 bytes and may be
 * src itself; returns the length written (dst terminated). */
ONVIF_CLIENT_API int url_encode(const char *src, int srclen, char *dst, int dstsize);
ONVIF_CLIENT_API int url_decode(char *dst, const char *src, int srclen);

/* UTF-16LE copy of the first 64 characters of text (no terminator counted).
 * *out gets an xmalloc'd buffer; returns its size in bytes, 0 with *out null
 * on failure. */
ONVIF_CLIENT_API int unicode(char **out, const char *text);

/* Masked hex dumps (mask = 7 - key). printmem: new uppercase hex text, null on
 * failure. scanmem: new byte buffer of strlen(text) / 2 bytes plus a NUL, null
 * for odd length or a non-hex character. */
ONVIF_CLIENT_API char *printmem(const uint8_t *data, int len, uint8_t key);
ONVIF_CLIENT_API uint8_t *scanmem(const char *text, uint8_t key);

/* Text copy with XML references decoded: &amp; &lt; &gt; &quot; &apos;,
 * &#NN; and &#xHH; (as UTF-8). Unknown or malformed references are copied as
 * they stand. At most size - 1 bytes are written (a character is never
 * split) and dst is always terminated when size > 0; null src counts as
 * empty. Decoding never lengthens a text, so dst may be src itself. Returns
 * the bytes written. */
ONVIF_CLIENT_API int text_decode_entities(char *dst, int size, const char *src);

/* Plain bounded copy of at most n bytes of src (up to its NUL): at most
 * size - 1 bytes, never splitting a UTF-8 character; dst always terminated
 * when size > 0. Returns the bytes written. */
ONVIF_CLIENT_API int text_copy_utf8(char *dst, int size, const char *src, int n);

#ifdef __cplusplus
}
#endif

#endif
