/*
 * HTTP client transport: one request and one response per connection, with
 * a connect time-out, optional TLS, a receive time-out, and the answer to a
 * 401 challenge with HTTP Digest (RFC 2617/7616, MD5, qop "auth") or Basic
 * authentication by repeating the request once.
 *
 * HTTP_CLIENT_CONN is the context of one exchange. Its creator zero-fills it
 * and sets host, port, url and, for https, HTTP_CLN_TLS in req_flags
 * (onvif_init_xaddr_context does this for ONVIF service addresses). Every
 * exchange asks the server to close ("Connection: close"); nothing is reused.
 *
 * Time limits. The receive waits in 100 ms slices; timeout / 100 slices
 * without data end it ("timeout!!!"). Slices with data don't count, so on top
 * of that every receive, every TLS handshake and every TLS send has an
 * overall limit: rx_limit_ms when the creator set it, else
 * 3 x max(timeout, 10000) ms ("overall time limit!!!"). A peer that trickles
 * bytes (or reads them slowly) cannot hold a call longer. A plain send is one
 * call bounded by the time-out (SO_SNDTIMEO). Sends never raise SIGPIPE, also
 * over TLS.
 *
 * TLS: OpenSSL with the generic client method; the server certificate is not
 * verified and no server name is sent. One client context serves the whole
 * process (made on first use, thread-safe, never freed); sessions are kept per
 * host:port (a bounded table), so the next connection to the same service
 * resumes (TLS 1.2 and 1.3) instead of making a full handshake.
 *
 * HTTP Basic puts the password on the wire as it is. It is answered only over
 * TLS, or when the creator set HTTP_CLN_BASIC_PLAIN; otherwise a challenge
 * that offers nothing but Basic is logged and not answered (a download or
 * upload returns 0), and no Basic Authorization line is ever written.
 *
 * Debug logs show what is sent and received with credentials, cookies and
 * passwords hidden (http_redact_for_log).
 */
#ifndef HTTP_HTTP_CLN_H
#define HTTP_HTTP_CLN_H

#include <stdint.h>

#include "http/http_addr.h"
#include "http/http_msg.h"
#include "http/http_rx.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* req_flags bits */
#define HTTP_CLN_AUTH 0x01        /* send an Authorization line (a 401 challenge was answered) */
#define HTTP_CLN_TLS 0x02         /* use TLS */
#define HTTP_CLN_BASIC_PLAIN 0x04 /* HTTP Basic may be answered without TLS (see below) */

/* auth_mode values; any other value sends no Authorization line */
#define HTTP_AUTH_BASIC 0
#define HTTP_AUTH_DIGEST 1

/* Largest file that http_onvif_file_upload sends (1 GiB). The file is read
 * and sent piece by piece (HTTP_UPLOAD_CHUNK bytes at a time), never held in
 * memory whole. */
#define HTTP_UPLOAD_CHUNK 65536
#define HTTP_UPLOAD_MAX_SIZE 1073741824

/* Digest state: what the challenge said and what the answer needs. */
typedef struct {
    char user[64];
    char password[64];
    char uri[256];
    char qop[32];
    char nonce[128];
    char cnonce[128];
    char realm[128];
    char opaque[128];
    uint32_t nc_count; /* nonce count */
    char nc_text[12];  /* nc_count as eight hex digits */
    char response[36]; /* 32 lowercase hex digits */
} DIGEST_INFO;

struct ssl_st;
struct ssl_ctx_st;

/* The context of one exchange. */
typedef struct {
    uint32_t req_flags;         /* HTTP_CLN_AUTH, HTTP_CLN_TLS */
    int32_t sock;               /* TCP connection, 0 when closed */
    int32_t port;               /* server port */
    char host[256];             /* host name or dotted IPv4 address */
    char url[256];              /* request path, e.g. "/onvif/device_service" */
    char user[64];              /* user name for Basic (and Digest of download/upload) */
    char pass[64];              /* password */
    HTTP_RX rx;                 /* receive state of the response */
    HTTP_MSG *rx_msg;           /* the completed response, or null */
    int32_t auth_mode;          /* HTTP_AUTH_BASIC / HTTP_AUTH_DIGEST */
    DIGEST_INFO auth_info;      /* Digest state */
    struct ssl_st *ssl;         /* TLS session while connected with HTTP_CLN_TLS */
    struct ssl_ctx_st *ssl_ctx; /* the process's TLS context while the call uses TLS */
    uint32_t
        rx_limit_ms; /* overall limit per receive, handshake, TLS send; 0: 3 x max(timeout, 10 s) */
    int32_t io_timeout; /* time-out of the exchange in ms (set by http_cln_connect) */
} HTTP_CLIENT_CONN;

/* TCP connect. tcp_connect_timeout: IPv4 address in network byte order;
 * the socket (never 0), or 0 on failure. tcp_connect: resolves host and
 * tries each address within the time-out; the socket, or -1. */
ONVIF_CLIENT_API int tcp_connect_timeout(uint32_t ipaddr, int port, int timeout);
ONVIF_CLIENT_API int tcp_connect(const char *hostname, int port, int timeout);

/* Whole exchanges. download: 1 with a heap block (free it with free or
 * FreeBuff) and its length, else 0; a body without Content-Length must end
 * with the close below HTTP_LEN_UNTIL_CLOSE bytes (else it would be cut: 0). upload: 1 when the
 * server answered 200; the file streams from disk, the whole body within the overall limit.
 * p_peer may be null: then there is no fall-back address and no credentials other than the
 * context's. */
ONVIF_CLIENT_API int http_onvif_download(HTTP_CLIENT_CONN *p_conn, int timeout, uint8_t **p_buf,
                                         int *p_len, const HTTP_PEER *p_peer);
ONVIF_CLIENT_API int http_onvif_file_upload(HTTP_CLIENT_CONN *p_conn, int timeout,
                                            const char *filename, const HTTP_PEER *p_peer);

/* Server side: a Digest Authorization line of a received request: 1 or 0. */
ONVIF_CLIENT_API int http_get_auth_digest_info(HTTP_MSG *rx_msg, DIGEST_INFO *p_auth);

/* Steps of an exchange, for the SOAP transaction. `caller` names the log lines.
 * tls_init: takes the process's TLS context for the call (0 / -1).
 * connect: to host:port, else to the fall-back address when its host differs
 *   (the context takes its https flag, port and host, keeping url); then the
 *   TLS handshake. 0, -1 no connection or failed handshake, -2 no TLS session.
 * local_ip: local address of the connection (network byte order), 0 if none.
 * soap_tx: POST head + envelope in one send: 0, or -1 (memory, send).
 * tx: sends len bytes in one call: 0 / -1.
 * rx_timeout: waits for the whole response (p_conn->rx_msg): 0 / -1. */
ONVIF_CLIENT_API int http_cln_tls_init(HTTP_CLIENT_CONN *p_conn, const char *caller);
ONVIF_CLIENT_API int http_cln_connect(HTTP_CLIENT_CONN *p_conn, int timeout,
                                      const ONVIF_XADDR *fallback, const char *caller);
ONVIF_CLIENT_API uint32_t http_cln_local_ip(HTTP_CLIENT_CONN *p_conn);
ONVIF_CLIENT_API int http_cln_soap_tx(HTTP_CLIENT_CONN *p_conn, const char *action,
                                      const char *body, int len);
ONVIF_CLIENT_API int http_cln_tx(HTTP_CLIENT_CONN *p_conn, const char *data, int len);
ONVIF_CLIENT_API int http_cln_rx_timeout(HTTP_CLIENT_CONN *p_conn, int timeout);

/* Authentication. parse_challenge: the first Digest WWW-Authenticate of a 401
 * into auth_info (new cnonce, nc + 1): 1, or 0 when there is none (or it lacks
 * realm or nonce). basic_allowed: 1 when Basic may be answered on this
 * connection (TLS, or HTTP_CLN_BASIC_PLAIN). set_auth: Digest (uri = url) or
 * Basic with the credentials, and HTTP_CLN_AUTH on. auth_line: the
 * Authorization line for a method into buf; its length, 0 when none is due
 * (also for Basic where it is not allowed), -1 when it does not fit.
 * calc_digest: the response hash of auth_info for a method. */
ONVIF_CLIENT_API int http_cln_parse_challenge(HTTP_CLIENT_CONN *p_conn, HTTP_MSG *rx_msg);
ONVIF_CLIENT_API int http_cln_basic_allowed(const HTTP_CLIENT_CONN *p_conn);
ONVIF_CLIENT_API void http_cln_set_auth(HTTP_CLIENT_CONN *p_conn, int digest, const char *user,
                                        const char *pass);
ONVIF_CLIENT_API int http_cln_auth_line(HTTP_CLIENT_CONN *p_conn, const char *method, char *buf,
                                        int size);
ONVIF_CLIENT_API void http_cln_calc_digest(DIGEST_INFO *p_auth, const char *method);

/* End of a connection (socket, TLS session, receive state, response, HTTP_CLN_AUTH,
 * auth_mode); http_cln_free also releases the call's hold on the TLS context. */
ONVIF_CLIENT_API void http_cln_close(HTTP_CLIENT_CONN *p_conn);
ONVIF_CLIENT_API void http_cln_free(HTTP_CLIENT_CONN *p_conn);

#ifdef __cplusplus
}
#endif

#endif
