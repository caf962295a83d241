/*
 * HTTP messages: one parsed request or response (HTTP_MSG), the pool of
 * message records, the in-place parser and header lookup.
 *
 * Parsing works in place: the parser cuts the message text with NUL bytes
 * and keeps pointers into it. Header lines and the body reference are HDRV
 * units of the process-wide hdrv_buf pool, kept in two used lists of the
 * record. A record's msg_buf is a net_buf pool buffer or a heap block; one
 * release call (net_buf_free) tells them apart.
 *
 * Every parse step returns a byte count or -1; a failed parse leaves the
 * record to the caller, who frees it with http_free_msg.
 */
#ifndef HTTP_HTTP_MSG_H
#define HTTP_HTTP_MSG_H

#include <stddef.h>
#include <stdint.h>

#include "platform/onvif_api.h"
#include "platform/pps.h"
#include "platform/sys_buf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* msg_type */
#define HTTP_MSG_UNPARSED (-1)
#define HTTP_MSG_REQUEST 0
#define HTTP_MSG_RESPONSE 1

/* code of a request: method ids (0 for a method not listed here) */
#define HTTP_METHOD_GET 1
#define HTTP_METHOD_HEAD 2
#define HTTP_METHOD_M_POST 3
#define HTTP_METHOD_M_SEARCH 4
#define HTTP_METHOD_NOTIFY 5
#define HTTP_METHOD_POST 6
#define HTTP_METHOD_SUBSCRIBE 7
#define HTTP_METHOD_UNSUBSCRIBE 8

/* content_type: codes 1 to 4 are text types */
#define HTTP_CTT_NONE 0
#define HTTP_CTT_SDP 1
#define HTTP_CTT_TEXT 2
#define HTTP_CTT_HTML 3
#define HTTP_CTT_SOAP_XML 4
#define HTTP_CTT_OCTET_STREAM 5
#define HTTP_CTT_JPEG 6
#define HTTP_CTT_RTSP_TUNNEL 7
#define HTTP_CTT_MULTIPART 8

/* Largest Content-Length accepted (64 MiB). A larger, negative or
 * non-numeric Content-Length fails the message; it never sizes a buffer. */
#define HTTP_MAX_CONTENT_LEN 67108864

/* Body limit of a response that has no Content-Length and runs until the
 * peer closes the connection (2 MiB). */
#define HTTP_LEN_UNTIL_CLOSE 2097152

/* Field sizes of HTTP_MSG (each includes the terminating NUL). */
#define HTTP_FIRST_WORD_SIZE 32
#define HTTP_BOUNDARY_SIZE 256

typedef struct http_msg {
    int32_t msg_type; /* HTTP_MSG_UNPARSED / HTTP_MSG_REQUEST / HTTP_MSG_RESPONSE */
    uint32_t code;    /* request: HTTP_METHOD_*; response: status code */
    char first_word[HTTP_FIRST_WORD_SIZE]; /* method name or "HTTP/1.x" */
    char *line_rest;                       /* start line behind the first word and its blanks */
    PPS_CTX headers;                       /* used list of HDRV: one per header line, in order */
    PPS_CTX content;                       /* used list of HDRV: empty, or the body reference */
    int32_t header_len;                    /* bytes of the header lines incl. the empty line */
    int32_t content_len;                   /* Content-Length, 0 when absent */
    uint32_t content_type;                 /* HTTP_CTT_* */
    char boundary[HTTP_BOUNDARY_SIZE];     /* multipart boundary */
    char *msg_buf;                         /* message text: net_buf pool buffer or heap block */
    int32_t msg_buf_size;                  /* bytes of msg_buf (0 when the record has none) */
} HTTP_MSG;

/* Record pool: 0 / -1; number of idle records */
ONVIF_CLIENT_API int http_msg_buf_init(int num);
ONVIF_CLIENT_API void http_msg_buf_deinit(void);
ONVIF_CLIENT_API uint32_t http_idle_msg_buf_num(void);

/* Records: get with a pool buffer or a heap block of `size` bytes; release */
ONVIF_CLIENT_API HTTP_MSG *http_get_msg_buf(void);
ONVIF_CLIENT_API HTTP_MSG *http_get_msg_large_buf(int size);
/* A record that takes over buf, a heap block of size bytes (malloc), as its
 * message buffer instead of copying it; null (buf still the caller's) when
 * no record is free. */
ONVIF_CLIENT_API HTTP_MSG *http_get_msg_adopt(char *buf, int size);
ONVIF_CLIENT_API void http_free_msg(HTTP_MSG *msg);         /* header units, buffer and record */
ONVIF_CLIENT_API void http_free_msg_content(HTTP_MSG *msg); /* header units and buffer only */
ONVIF_CLIENT_API void http_free_msg_buf(HTTP_MSG *msg);     /* record only */
ONVIF_CLIENT_API void http_free_msg_ctx(HTTP_MSG *msg, int type); /* 0: headers, 1: content */
ONVIF_CLIENT_API void http_msg_ctx_init(HTTP_MSG *msg); /* lists of a record not from the pool */

/* Stream helpers over NUL-terminated text: start of a message; end of head */
ONVIF_CLIENT_API int http_is_http_msg(const char *buf);
ONVIF_CLIENT_API int http_pkt_find_end(const char *buf);

/* Parsing: head (start line + headers, content headers included), body,
 * whole message (fails when Content-Length runs past `len`), content headers.
 * http_ctt_parse: 1 when type and length are both set, 0 otherwise, -1 for
 * an invalid Content-Length. */
ONVIF_CLIENT_API int http_msg_parse_part1(char *buf, int len, HTTP_MSG *msg);
ONVIF_CLIENT_API int http_msg_parse_part2(char *body, int len, HTTP_MSG *msg);
ONVIF_CLIENT_API int http_msg_parse(char *buf, int len, HTTP_MSG *msg);
ONVIF_CLIENT_API int http_ctt_parse(HTTP_MSG *msg);

/* Header lookup (names compared ignoring case) */
ONVIF_CLIENT_API HDRV *http_find_headline(HTTP_MSG *msg, const char *name);
ONVIF_CLIENT_API HDRV *http_find_headline_next(HTTP_MSG *msg, const char *name, HDRV *prev);
ONVIF_CLIENT_API char *http_get_headline(HTTP_MSG *msg, const char *name);
ONVIF_CLIENT_API HDRV *http_find_ctt_headline(HTTP_MSG *msg, const char *name);
ONVIF_CLIENT_API char *http_get_ctt(HTTP_MSG *msg);

/* Request URI (line_rest up to its first blank): 1, or 0 when it doesn't fit */
ONVIF_CLIENT_API int http_get_headline_uri(HTTP_MSG *msg, char *out, int size);

/* A copy of len bytes of message text for a debug log, secrets hidden as
 * "***": the values of Authorization and Proxy-Authorization lines (their
 * scheme word stays), Cookie and Set-Cookie lines of the head, and the texts
 * of Password and Passphrase elements (any prefix) anywhere. Header lines
 * are only looked at before the first empty line; a text without a head
 * (a body alone) is scanned for the elements. A new heap text (free), or
 * null. */
ONVIF_CLIENT_API char *http_redact_for_log(const char *text, int len);

#ifdef __cplusplus
}
#endif

#endif
