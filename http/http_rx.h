/*
 * Assembling HTTP messages from a TCP byte stream.
 *
 * One HTTP_RX per connection holds the receive state: a fixed 2048-byte
 * buffer (2047 bytes of data and a NUL), or, for a message of 2048 bytes or
 * more, one heap buffer of exactly head + body + 1 bytes. The caller does the
 * reading itself (recv, or SSL_read over TLS):
 *
 *     int room;
 *     char *p = http_rx_buf(rx, &room);
 *     int n = recv(sock, p, room, 0);
 *     HTTP_MSG *msg;
 *     int r = http_rx_input(rx, n, &msg);
 *     while (r == HTTP_RX_DONE) { deliver msg; r = http_rx_next(rx, &msg); }
 *
 * Two roles differ in their rules:
 *  - client (a response): a response without Content-Length (other than
 *    1xx, 204 and 304) has a body that runs until the peer closes, at most
 *    HTTP_LEN_UNTIL_CLOSE bytes: a read result of 0 then completes it, and
 *    its content_len is set to the length received; otherwise a result of 0
 *    or less fails. A text body shorter than its Content-Length fails; one
 *    message per connection.
 *  - listener (a request): a read result of 0 or less fails; no
 *    Content-Length means no body; a short text body is only logged; bytes
 *    behind a message stay for the next one (pipelining); a request of type
 *    HTTP_CTT_RTSP_TUNNEL is handed over as soon as its head is parsed.
 *  - both: a message with "Transfer-Encoding: chunked" has its chunks
 *    joined into one body as they arrive (extensions and trailers are
 *    skipped); it ends with the last chunk, its content_len is the joined
 *    length, and the body is bounded like an until-close body
 *    (HTTP_LEN_UNTIL_CLOSE, or max_content when set lower). A broken chunk
 *    line, a chunk beyond the bound or a close before the last chunk fails;
 *    the listener keeps up to 2047 pipelined bytes behind such a request.
 *
 * A peer can never make the state grow beyond head + Content-Length + 1
 * bytes, nor make it loop: a head that doesn't fit in 2047 bytes fails, and
 * Content-Length is bounded by max_content (HTTP_MAX_CONTENT_LEN unless the
 * owner set less; the listener does).
 *
 * A message of 2048 bytes or more is received into its heap buffer, and that
 * buffer becomes the message's own: its body is never copied. A smaller one
 * is copied once, from the fixed buffer into a pool buffer.
 */
#ifndef HTTP_HTTP_RX_H
#define HTTP_HTTP_RX_H

#include <stdint.h>

#include "http/http_msg.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Roles */
#define HTTP_RX_CLIENT 0
#define HTTP_RX_LISTENER 1

/* Size of the fixed receive buffer (its last byte is kept for the NUL). */
#define HTTP_RX_BUF_SIZE 2048

/* Bytes needed before the start of a message is looked at. */
#define HTTP_RX_MIN_LEN 16

/* Results of http_rx_input / http_rx_next */
#define HTTP_RX_ERROR (-1) /* the connection has failed; the state is reset */
#define HTTP_RX_MORE 0     /* wait for more bytes */
#define HTTP_RX_DONE 1     /* *msg is a complete message, owned by the caller */
/* listener: *msg is the head of a tunnel request; take http_rx_extra, then http_rx_reset */
#define HTTP_RX_TUNNEL 2

typedef struct {
    int32_t role;                   /* HTTP_RX_CLIENT / HTTP_RX_LISTENER */
    char peer[128];                 /* peer host for the client's log line */
    char rcv_buf[HTTP_RX_BUF_SIZE]; /* fixed receive buffer */
    char *dyn_rcv_buf;              /* heap receive buffer, or null */
    int32_t dlen;                   /* bytes received in rbuf */
    int32_t hlen;                   /* head length, 0 until its end was found */
    int32_t clen;                   /* body length of the message being received */
    int32_t until_close;            /* client: the body runs until the peer closes */
    uint32_t content_type;          /* HTTP_CTT_* of the message being received */
    char *rbuf;                     /* current receive buffer (rcv_buf or dyn_rcv_buf) */
    int32_t mlen;                   /* data capacity of rbuf (one more byte holds the NUL) */
    int32_t max_content; /* largest Content-Length accepted; 0: HTTP_MAX_CONTENT_LEN (kept by
                            http_rx_reset, cleared by http_rx_init) */
    int32_t chunked;     /* the body comes in chunks (Transfer-Encoding: chunked) */
    int32_t chunk_pos;   /* chunked: received body bytes taken apart so far */
    int32_t chunk_out;   /* chunked: body bytes joined so far at the body's start */
} HTTP_RX;

/* Set-up and reset (frees the heap buffer; the role and peer stay) */
ONVIF_CLIENT_API void http_rx_init(HTTP_RX *rx, int role, const char *peer);
ONVIF_CLIENT_API void http_rx_reset(HTTP_RX *rx);

/* Where to read next: the address, and in *room how many bytes (> 0);
 * null when nothing may be read (a complete or failed state). */
ONVIF_CLIENT_API char *http_rx_buf(HTTP_RX *rx, int *room);

/* Accounts for `n` bytes read at http_rx_buf (n < 0: read error, 0: peer
 * closed) and advances; HTTP_RX_* result, *msg set with DONE and TUNNEL. */
ONVIF_CLIENT_API int http_rx_input(HTTP_RX *rx, int n, HTTP_MSG **msg);

/* Advances on bytes already buffered (a pipelined request); HTTP_RX_*. */
ONVIF_CLIENT_API int http_rx_next(HTTP_RX *rx, HTTP_MSG **msg);

/* Bytes received behind the head of a tunnel request (valid until the next
 * call on rx): the address, and their count in *len. */
ONVIF_CLIENT_API char *http_rx_extra(HTTP_RX *rx, int *len);

#ifdef __cplusplus
}
#endif

#endif
