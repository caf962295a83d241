/*
 * Small helpers shared by the SOAP request builders and the reply parsers.
 *
 * Writing: a bounded writer (SOAP_WRITER) appends formatted pieces into a
 * caller's buffer. A piece that does not fit is not written at all and sets
 * the writer's overflow mark; the buffer stays terminated and nothing is ever
 * written past its end. A builder checks the mark once at the end
 * (soap_w_result) instead of after every piece. Texts taken from records are
 * XML-escaped (& < > " ').
 *
 * Reading: child lookups are prefix-insensitive (xml_node_soap_get). Texts
 * are copied into fixed fields with the predefined entities and numeric
 * character references decoded, cut to the field and always terminated.
 * Integers saturate instead of overflowing. The get helpers return 1 when the
 * child was found with text (and the field was written), else 0 with the
 * field untouched.
 */
#ifndef ONVIF_SOAP_UTIL_H
#define ONVIF_SOAP_UTIL_H

#include <stdint.h>

#include "platform/onvif_api.h"
#include "platform/sys_log.h"
#include "xml/xml_node.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Enumeration converters as the enumeration module provides them. */
typedef const char *(*SOAP_ENUM_TO_TEXT)(int value);
typedef int (*SOAP_TEXT_TO_ENUM)(const char *text);

/* Bounded writer over buf[0..size): len characters written so far (buf[len]
 * is always a NUL when size > 0); overflow is 1 once a piece did not fit,
 * SOAP_W_REFUSED when a writer refused its input (a required value missing). */
#define SOAP_W_REFUSED 2
typedef struct {
    char *buf;
    int size;
    int len;
    int overflow;
} SOAP_WRITER;

/* Set-up and result: soap_w_result is len, or -1 after an overflow. */
ONVIF_CLIENT_API void soap_w_init(SOAP_WRITER *w, char *buf, int size);
ONVIF_CLIENT_API int soap_w_result(const SOAP_WRITER *w);

/* Raw pieces: formatted (not escaped; for markup and numbers), a literal, and
 * a text with & < > " ' escaped. 0, or -1 when it did not fit (nothing of the
 * piece is kept). */
ONVIF_CLIENT_API int soap_w_printf(SOAP_WRITER *w, const char *fmt, ...) SYS_LOG_PRINTF(2, 3);
ONVIF_CLIENT_API int soap_w_puts(SOAP_WRITER *w, const char *text);
ONVIF_CLIENT_API int soap_w_escaped(SOAP_WRITER *w, const char *text);

/* Elements: "<name>" and "</name>"; "<name />". Names are markup (qualified
 * names such as "tt:Enabled"), never escaped. */
ONVIF_CLIENT_API int soap_w_open(SOAP_WRITER *w, const char *name);
ONVIF_CLIENT_API int soap_w_close(SOAP_WRITER *w, const char *name);
ONVIF_CLIENT_API int soap_w_empty(SOAP_WRITER *w, const char *name);

/* Elements with one value: escaped text (null counts as empty), %d,
 * "true"/"false", an enumeration through its converter (escaped), a duration
 * "PT%dS", a float with the given printf precision. */
ONVIF_CLIENT_API int soap_w_text(SOAP_WRITER *w, const char *name, const char *text);
ONVIF_CLIENT_API int soap_w_int(SOAP_WRITER *w, const char *name, int value);
ONVIF_CLIENT_API int soap_w_bool(SOAP_WRITER *w, const char *name, int value);
ONVIF_CLIENT_API int soap_w_enum(SOAP_WRITER *w, const char *name, SOAP_ENUM_TO_TEXT conv,
                                 int value);
ONVIF_CLIENT_API int soap_w_duration(SOAP_WRITER *w, const char *name, int seconds);
ONVIF_CLIENT_API int soap_w_float(SOAP_WRITER *w, const char *name, int precision, double value);

/* Element from a fixed char[field_size] record field (escaped; read up to
 * its first NUL or its end, so a full field is never overrun). */
ONVIF_CLIENT_API int soap_w_field(SOAP_WRITER *w, const char *name, const char *field,
                                  int field_size);

/* Optional elements: written only when (flags & bit) is non-zero; 0 when
 * skipped. */
ONVIF_CLIENT_API int soap_w_opt_text(SOAP_WRITER *w, uint32_t flags, uint32_t bit, const char *name,
                                     const char *text);
ONVIF_CLIENT_API int soap_w_opt_int(SOAP_WRITER *w, uint32_t flags, uint32_t bit, const char *name,
                                    int value);
ONVIF_CLIENT_API int soap_w_opt_bool(SOAP_WRITER *w, uint32_t flags, uint32_t bit, const char *name,
                                     int value);

/* Repeated entries of a fixed array of char[stride] fields: one element per
 * non-empty entry, at most count entries. */
ONVIF_CLIENT_API int soap_w_text_array(SOAP_WRITER *w, const char *name, const char *first,
                                       int count, int stride);

/* Escaping into a plain buffer (for callers without a writer): the escaped
 * length, or -1 when it does not fit in size bytes with its terminator (dst
 * then holds an empty text). */
ONVIF_CLIENT_API int soap_escape(const char *src, char *dst, int size);

/* Text copy with entity decoding: &amp; &lt; &gt; &quot; &apos;, &#NN; and
 * &#xHH; (as UTF-8). Unknown or malformed references are copied as they
 * stand. At most size - 1 bytes are written (a decoded character is never
 * split) and dst is always terminated when size > 0. Returns bytes written. */
ONVIF_CLIENT_API int soap_copy_text(char *dst, int size, const char *src);

/* Plain bounded copy of n bytes of src (no decoding): at most size - 1
 * bytes, never splitting a UTF-8 character; dst always terminated when
 * size > 0. Returns bytes written. */
ONVIF_CLIENT_API int soap_copy_utf8(char *dst, int size, const char *src, int n);

/* Numbers: decimal like atoi (leading blanks, sign, digits; anything else
 * ends the number, no digits give 0) but clamped to the int32 range. */
ONVIF_CLIENT_API int soap_atoi(const char *text);

/* Boolean text: 1 for "true" (any case) or "1", with surrounding whitespace
 * ignored; 0 for anything else. */
ONVIF_CLIENT_API int parse_Bool(const char *text);

/* Lookup: the child's text when it has one, else null. */
ONVIF_CLIENT_API const char *soap_child_text(XML_NODE *parent, const char *name);

/* Reading one child into a field: text (decoded, cut to size), int, bool,
 * enumeration through its converter (surrounding whitespace ignored). 1 when
 * found with text, else 0. */
ONVIF_CLIENT_API int soap_get_text(XML_NODE *parent, const char *name, char *dst, int size);
ONVIF_CLIENT_API int soap_get_int(XML_NODE *parent, const char *name, int32_t *out);
ONVIF_CLIENT_API int soap_get_bool(XML_NODE *parent, const char *name, int32_t *out);
ONVIF_CLIENT_API int soap_get_enum(XML_NODE *parent, const char *name, SOAP_TEXT_TO_ENUM conv,
                                   int32_t *out);

/* An attribute's value into a field (decoded, cut): 1 when present. */
ONVIF_CLIENT_API int soap_get_attr(XML_NODE *node, const char *name, char *dst, int size);

/* Optional children: the child (with or without text) or null; sets bit in
 * *flags when it is found. The _text/_int/_bool forms also read its text and
 * set the bit only when the child has text. */
ONVIF_CLIENT_API XML_NODE *soap_get_opt(XML_NODE *parent, const char *name, uint32_t *flags,
                                        uint32_t bit);
ONVIF_CLIENT_API int soap_get_opt_text(XML_NODE *parent, const char *name, uint32_t *flags,
                                       uint32_t bit, char *dst, int size);
ONVIF_CLIENT_API int soap_get_opt_int(XML_NODE *parent, const char *name, uint32_t *flags,
                                      uint32_t bit, int32_t *out);
ONVIF_CLIENT_API int soap_get_opt_bool(XML_NODE *parent, const char *name, uint32_t *flags,
                                       uint32_t bit, int32_t *out);

/* Repeated children: soap_first is the first child named name; soap_next the
 * next following sibling of node with that name (others are skipped).
 * Walk with: for (n = soap_first(p, "X"); n; n = soap_next(n, "X")). */
ONVIF_CLIENT_API XML_NODE *soap_first(XML_NODE *parent, const char *name);
ONVIF_CLIENT_API XML_NODE *soap_next(XML_NODE *node, const char *name);

/* Repeated text children into a fixed array of char[stride] fields: fills
 * entries in order from the first child named name, skipping children
 * without text; returns the number of entries filled (at most count). */
ONVIF_CLIENT_API int soap_get_text_array(XML_NODE *parent, const char *name, char *first, int count,
                                         int stride);

#ifdef __cplusplus
}
#endif

#endif
