/*
 * HTTP notification listener: a small HTTP/1.1 server inside the client
 * library, to which cameras post their event notifications.
 *
 * One listener listens on one TCP port (optionally with TLS), keeps up to
 * max_conns accepted connections in a pool of HTTP_LISTENER_CONN records and
 * serves all of them from one receive thread with poll(). Each connection
 * assembles requests with the listener rules of http_rx.h (pipelined
 * requests included) and hands every complete request, and every connection
 * that the thread closes, to one message callback. A connection switched to
 * raw mode hands its bytes to a data callback instead (tunnelled streams,
 * announced with content type HTTP_CTT_RTSP_TUNNEL).
 *
 * Callbacks run on the listener thread under cb_mutex:
 *  - message callback (listener, connection, msg, user): a non-null msg is a
 *    complete request that the callback owns (it frees it with http_free_msg)
 *    and returns non-zero to go on; 0 makes the listener free msg and drop
 *    the connection. A null msg says that the listener closed the connection;
 *    the record goes back to the pool after that call, released by the
 *    callback or not (nothing is released twice).
 *  - data callback (listener, connection, bytes, length, user).
 * A callback may release its connection with http_free_used_cln; the socket
 * is closed as soon as the callback returns. http_srv_cln_tx, http_srv_reply_ok
 * and http_free_used_cln belong to the listener thread (the callbacks); a
 * callback must not call http_srv_deinit.
 *
 * Answering notifications: the listener writes nothing on its own. A callback
 * that serves one-shot notifications answers each request with
 * http_srv_reply_ok ("HTTP/1.1 200 OK", Content-Length: 0, Connection: close)
 * and then releases the connection with http_free_used_cln, so the camera
 * gets its reply and the connection is closed after its first request.
 *
 * Limits: a request head must fit in 2047 bytes and a body in max_body
 * bytes (HTTP_SRV_MAX_BODY, 1 MiB, unless set with http_srv_set_max_body); a
 * larger Content-Length closes the connection before any of the body is
 * stored. A body of 2048 bytes or more is received into one heap buffer of
 * its exact size, which the delivered message keeps: it is never copied. A TLS
 * handshake runs on the listener thread and is given up after
 * HTTP_SRV_HANDSHAKE_MS; a send is given up after HTTP_SRV_SEND_TIMEOUT_MS.
 *
 * Request time limit: a connection must complete a request within
 * HTTP_SRV_REQUEST_TIMEOUT_MS (per listener: http_srv_set_request_timeout)
 * of being accepted, or of its previous request being completed (a kept
 * connection that stays idle counts too). Otherwise the thread closes it,
 * logs "http_srv_rx, request time limit, closing connection[<index>]" at
 * LOG_WARN, reports it to the message callback with a null message and
 * returns its record to the pool. So peers that connect and never finish
 * can hold the pool only for that long. Connections in raw mode (tunnelled
 * streams) are exempt: they may be idle legitimately.
 * http_srv_deinit stops the thread (within about a second), closes every
 * connection still open and frees everything.
 */
#ifndef HTTP_HTTP_SRV_H
#define HTTP_HTTP_SRV_H

#include <stdint.h>

#include "http/http_msg.h"
#include "http/http_rx.h"
#include "platform/onvif_api.h"
#include "platform/pps.h"
#include "platform/sys_os.h"

#ifdef __cplusplus
extern "C" {
#endif

/* srv_flags bits */
#define HTTP_SRV_RUNNING 0x01 /* the receive thread runs */
#define HTTP_SRV_TLS 0x02     /* connections use TLS */

/* Listening socket backlog; time limits of a TLS handshake and of a send. */
#define HTTP_SRV_BACKLOG 10
#define HTTP_SRV_HANDSHAKE_MS 5000
#define HTTP_SRV_SEND_TIMEOUT_MS 5000

/* Default time limit of one request on a connection (see above). */
#define HTTP_SRV_REQUEST_TIMEOUT_MS 30000

/* Send and receive buffer size asked for each accepted socket (1 MiB). */
#define HTTP_SRV_SOCK_BUF_SIZE 1048576

/* Default limit of a request body (1 MiB: a Notify is a few KiB). */
#define HTTP_SRV_MAX_BODY 1048576

struct ssl_st;
struct ssl_ctx_st;
struct http_listener;
struct http_listener_conn;

/* Message callback: non-zero to go on (see above). */
typedef int (*http_msg_cb)(struct http_listener *p_srv, struct http_listener_conn *p_conn,
                           HTTP_MSG *msg, void *user);
/* Data callback: raw bytes of a connection in raw mode. */
typedef void (*http_data_cb)(struct http_listener *p_srv, struct http_listener_conn *p_conn,
                             char *data, int len, void *user);

/* One accepted connection. */
typedef struct http_listener_conn {
    int32_t sock;                /* socket, 0 when closed */
    uint32_t peer_addr;          /* client address, network byte order */
    uint16_t peer_port;          /* client port, host byte order */
    char listen_host[128];       /* copy of the listener's address text */
    uint16_t listen_port;        /* copy of the listener's port */
    HTTP_RX rx;                  /* receive state (fixed buffer, heap buffer, lengths) */
    struct http_listener *owner; /* back pointer */
    uint32_t use_count;          /* 1 after accept; released when it drops below 1 */
    uint32_t raw_mode;           /* non-zero: everything received goes to the data callback */
    struct ssl_st *ssl;          /* TLS session, only on a TLS listener */
    uint32_t req_start;          /* sys_os_get_ms() at accept or at the end of the last request */
} HTTP_LISTENER_CONN;

/* One listener. The creator zero-fills it; http_srv_init fills the rest. */
typedef struct http_listener {
    uint32_t srv_flags;    /* HTTP_SRV_RUNNING, HTTP_SRV_TLS */
    int32_t listen_sock;   /* listening socket, 0 when none */
    char listen_host[128]; /* address text given, or the local IP text */
    uint16_t listen_port;  /* port (the one chosen by the system when 0 was given) */
    uint32_t listen_addr;  /* bound address, network byte order; 0 for any */
    uint32_t max_conns;    /* size of the connection pool */
    PPS_CTX *conn_pool;    /* free list of HTTP_LISTENER_CONN records */
    PPS_CTX *conn_list;    /* used list over conn_pool: accepted connections */
    uint32_t rx_thread;    /* non-zero while the receive thread runs */
    SYS_MUTEX cb_mutex;    /* held around every callback call and change */
    http_msg_cb msg_cb;    /* message callback */
    http_data_cb data_cb;  /* raw-data callback */
    void *msg_user;        /* their user data */
    void *data_user;
    char cert_file[256];        /* PEM certificate path (TLS) */
    char key_file[256];         /* PEM private key path (TLS) */
    struct ssl_ctx_st *ssl_ctx; /* TLS server context, only with HTTP_SRV_TLS */
    uint32_t req_timeout_ms;    /* request time limit in ms, 0 for none; set it with
                                   http_srv_set_request_timeout */
    int32_t wake_fd[2];         /* internal: pipe that wakes the thread at stop, 0 when none */
    void *poll_set;             /* internal: the thread's poll array */
    uint32_t max_body;          /* largest request body in bytes; set it with
                                   http_srv_set_max_body */
} HTTP_LISTENER;

/* Start and stop. init: 0, or -1 with the listener torn down and no thread
 * left. addr: dotted address or host name to bind, null or "" for any
 * (listen_host is then the local IP text). port 0 lets the system choose.
 * https non-zero: TLS with the PEM files (a file that can't be loaded, or a
 * key that doesn't match the certificate, is logged and the listener still
 * starts; its handshakes then fail). */
ONVIF_CLIENT_API int http_srv_init(HTTP_LISTENER *p_srv, const char *addr, int port, int max_conns,
                                   int https, const char *cert_file, const char *key_file);
ONVIF_CLIENT_API void http_srv_deinit(HTTP_LISTENER *p_srv);

/* Callbacks, installed under cb_mutex */
ONVIF_CLIENT_API void http_set_msg_callback(HTTP_LISTENER *p_srv, http_msg_cb cb, void *user);
ONVIF_CLIENT_API void http_set_data_callback(HTTP_LISTENER *p_srv, http_data_cb cb, void *user);

/* Request time limit of a running listener in ms (0: no limit); it applies at
 * once, also to connections already open. http_srv_init sets
 * HTTP_SRV_REQUEST_TIMEOUT_MS. Any thread. */
ONVIF_CLIENT_API void http_srv_set_request_timeout(HTTP_LISTENER *p_srv, uint32_t ms);

/* Largest request body of a listener in bytes, for connections accepted
 * from now on: 1 to HTTP_MAX_CONTENT_LEN, 0 for the default
 * HTTP_SRV_MAX_BODY that http_srv_init sets. Any thread. */
ONVIF_CLIENT_API void http_srv_set_max_body(HTTP_LISTENER *p_srv, uint32_t bytes);

/* Sending on a connection (TLS write with a session): the bytes sent (all of
 * them), or -1. reply_ok: the bodiless "200 OK" answer with Connection: close. */
ONVIF_CLIENT_API int http_srv_cln_tx(HTTP_LISTENER_CONN *p_conn, const char *buf, int len);
ONVIF_CLIENT_API int http_srv_reply_ok(HTTP_LISTENER_CONN *p_conn);

/* Connection records: take a cleared one (use_count 1; null when the pool is
 * empty); release one (closed and back in the pool when use_count drops below 1) */
ONVIF_CLIENT_API HTTP_LISTENER_CONN *http_get_idle_cln(HTTP_LISTENER *p_srv);
ONVIF_CLIENT_API void http_free_used_cln(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn);

/* Pool index of a record (-1 when it isn't one), and the record of an index (null) */
ONVIF_CLIENT_API int http_cln_index(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn);
ONVIF_CLIENT_API HTTP_LISTENER_CONN *http_get_cln_by_index(HTTP_LISTENER *p_srv, int index);

#ifdef __cplusplus
}
#endif

#endif
