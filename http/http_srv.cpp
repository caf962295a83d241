// HTTP notification listener: accepting, the receive thread, TLS, callbacks
// and the connection pool.

#include "http/http_srv.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "platform/sys_log.h"
#include "platform/sys_net.h"
#include "platform/sys_os_guard.hpp"

namespace
{

// Connections accepted per pass of the receive thread at most.
const int kAcceptPerPass = 16;
// Reads of one connection per pass at most (TLS data already decrypted).
const int kReadsPerPass = 64;
// Messages handed out of one buffer per read at most (pipelining).
const int kMsgsPerRead = 1024;

const char kReplyOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

struct PollSet {
    struct pollfd *fds;
    HTTP_LISTENER_CONN **conns;
};

uint32_t load32(const uint32_t *p)
{
    return __atomic_load_n(p, __ATOMIC_ACQUIRE);
}

void store32(uint32_t *p, uint32_t v)
{
    __atomic_store_n(p, v, __ATOMIC_RELEASE);
}

bool is_running(HTTP_LISTENER *p_srv)
{
    return (load32(&p_srv->srv_flags) & HTTP_SRV_RUNNING) != 0;
}

void copy_text(char *dst, size_t size, const char *src)
{
    if (!src) src = "";
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Sockets are "0 when closed", so a descriptor 0 (standard input closed by
// the program) is moved to a higher number.
int avoid_fd0(int fd)
{
    if (fd != 0) return fd;
    int nfd = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    return nfd;
}

// Waits up to `ms` for the socket to become ready for `events`; true when ready.
bool wait_fd(int fd, short events, int ms)
{
    struct pollfd pfd = {fd, events, 0};
    if (ms < 0) ms = 0;
    int r = poll(&pfd, 1, ms);
    return r > 0;
}

int ms_left(uint32_t start, uint32_t limit)
{
    uint32_t spent = sys_os_get_ms() - start;
    return spent >= limit ? 0 : (int)(limit - spent);
}

// ---- connection records ----

// Closes the socket and the TLS session and drops the receive state.
void conn_close_io(HTTP_LISTENER_CONN *p_conn)
{
    if (p_conn->ssl) {
        SSL_free(p_conn->ssl);
        p_conn->ssl = nullptr;
    }
    if (p_conn->sock > 0) close(p_conn->sock);
    p_conn->sock = 0;
    http_rx_reset(&p_conn->rx);
}

bool conn_in_pool(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    return p_srv && p_srv->conn_pool && p_conn && pps_safe_node(p_srv->conn_pool, p_conn);
}

// Closes the connection and returns its record to the tail of the pool.
void conn_release(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    if (!conn_in_pool(p_srv, p_conn) || pps_idle_node(p_srv->conn_pool, p_conn)) return;
    conn_close_io(p_conn);
    if (p_srv->conn_list && pps_node_count(p_srv->conn_list) > 0)
        pps_ctx_ul_del(p_srv->conn_list, p_conn);
    p_conn->use_count = 0;
    p_conn->raw_mode = 0;
    pps_fl_push_tail(p_srv->conn_pool, p_conn);
}

// Reads what is there: > 0 bytes, 0 peer closed, -1 error, -2 nothing yet.
int conn_read(HTTP_LISTENER_CONN *p_conn, char *p, int room)
{
    if (p_conn->ssl) {
        ERR_clear_error();
        int r = SSL_read(p_conn->ssl, p, room);
        if (r > 0) return r;
        int err = SSL_get_error(p_conn->ssl, r);
        if (err == SSL_ERROR_WANT_READ || err == SSL_ERROR_WANT_WRITE) return -2;
        if (err == SSL_ERROR_ZERO_RETURN) return 0;
        return -1;
    }
    ssize_t r = recv(p_conn->sock, p, (size_t)room, 0);
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return -2;
    return (int)r;
}

// ---- callbacks ----

// Hands a message to the message callback under cb_mutex. The record is held
// meanwhile, so a release by the callback takes effect when it returns.
// 1 go on, 0 the callback refused (msg freed), -1 the record was released.
int deliver_msg(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn, HTTP_MSG *msg)
{
    p_conn->use_count++;
    sys_os_mutex_enter(p_srv->cb_mutex);
    http_msg_cb cb = p_srv->msg_cb;
    int r = 1;
    if (cb)
        r = cb(p_srv, p_conn, msg, p_srv->msg_user);
    else
        http_free_msg(msg);
    sys_os_mutex_leave(p_srv->cb_mutex);
    if (r == 0) http_free_msg(msg);

    if (p_conn->use_count > 0) p_conn->use_count--;
    if (p_conn->use_count < 1 || pps_idle_node(p_srv->conn_pool, p_conn)) {
        conn_release(p_srv, p_conn);
        return -1;
    }
    // A request completed: the time limit of the next one starts now.
    p_conn->req_start = sys_os_get_ms();
    return r ? 1 : 0;
}

// Raw bytes to the data callback (dropped without one); -1 when the callback
// released the record, else 0.
int http_srv_data_deliver(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn, char *data, int len)
{
    if (len <= 0) return 0;
    p_conn->use_count++;
    sys_os_mutex_enter(p_srv->cb_mutex);
    if (p_srv->data_cb) p_srv->data_cb(p_srv, p_conn, data, len, p_srv->data_user);
    sys_os_mutex_leave(p_srv->cb_mutex);
    if (p_conn->use_count > 0) p_conn->use_count--;
    if (p_conn->use_count < 1 || pps_idle_node(p_srv->conn_pool, p_conn)) {
        conn_release(p_srv, p_conn);
        return -1;
    }
    return 0;
}

// The thread has given up a connection: close it, tell the message callback
// with a null message, and return the record to the pool.
void conn_fail(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    conn_close_io(p_conn);
    p_conn->use_count++;
    sys_os_mutex_enter(p_srv->cb_mutex);
    if (p_srv->msg_cb) p_srv->msg_cb(p_srv, p_conn, nullptr, p_srv->msg_user);
    sys_os_mutex_leave(p_srv->cb_mutex);
    conn_release(p_srv, p_conn);
}

// ---- receiving ----

// Handles the results of the assembler for one read: 0 go on, -1 the
// connection has failed, 1 the record was released.
int rx_results(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn, int r, HTTP_MSG *msg)
{
    for (int i = 0; i < kMsgsPerRead; i++) {
        if (r == HTTP_RX_ERROR) return -1;
        if (r == HTTP_RX_MORE) return 0;

        int d = deliver_msg(p_srv, p_conn, msg);
        if (d < 0) return 1;
        if (d == 0) return -1;

        if (r == HTTP_RX_TUNNEL) {
            // The head went to the callback; the bytes behind it are the
            // start of the tunnelled stream.
            if (p_conn->raw_mode) {
                int len = 0;
                char *extra = http_rx_extra(&p_conn->rx, &len);
                if (extra && len > 0 && http_srv_data_deliver(p_srv, p_conn, extra, len) < 0)
                    return 1;
            }
            http_rx_reset(&p_conn->rx);
            return 0;
        }
        if (p_conn->raw_mode) {
            // Switched to raw mode after a request: what is buffered behind
            // it belongs to the stream.
            int len = p_conn->rx.dlen;
            if (len > 0 && http_srv_data_deliver(p_srv, p_conn, p_conn->rx.rbuf, len) < 0) return 1;
            http_rx_reset(&p_conn->rx);
            return 0;
        }
        r = http_rx_next(&p_conn->rx, &msg);
    }
    return 0;
}

// One receive step on a readable connection: 0 go on, -1 failed, 1 released.
int http_srv_rx(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    for (int i = 0; i < kReadsPerPass; i++) {
        int room = 0;
        char *p = http_rx_buf(&p_conn->rx, &room);
        if (!p) {
            log_print(LOG_ERROR, "%s, no room in the receive buffer, dlen[%d], mlen[%d]!!!\r\n",
                      "http_srv_rx", p_conn->rx.dlen, p_conn->rx.mlen);
            return -1;
        }
        int n = conn_read(p_conn, p, room);
        if (n == -2) return 0;

        if (p_conn->raw_mode) {
            if (n <= 0) {
                log_print(LOG_WARN, "%s, recv return = %d, dlen[%d], mlen[%d]\r\n", "http_srv_rx",
                          n, p_conn->rx.dlen, p_conn->rx.mlen);
                return -1;
            }
            if (http_srv_data_deliver(p_srv, p_conn, p, n) < 0) return 1;
            http_rx_reset(&p_conn->rx);
        } else {
            HTTP_MSG *msg = nullptr;
            int r = http_rx_input(&p_conn->rx, n, &msg);
            int d = rx_results(p_srv, p_conn, r, msg);
            if (d != 0) return d;
        }
        if (!p_conn->ssl || SSL_pending(p_conn->ssl) <= 0) return 0;
    }
    return 0;
}

// ---- accepting ----

// Server handshake on the non-blocking socket, given up after
// HTTP_SRV_HANDSHAKE_MS or when the listener stops.
bool tls_accept(HTTP_LISTENER *p_srv, SSL *ssl, int sock)
{
    uint32_t start = sys_os_get_ms();
    for (int i = 0; i < 100000; i++) {
        ERR_clear_error();
        int r = SSL_accept(ssl);
        if (r == 1) return true;
        int err = SSL_get_error(ssl, r);
        short ev;
        if (err == SSL_ERROR_WANT_READ)
            ev = POLLIN;
        else if (err == SSL_ERROR_WANT_WRITE)
            ev = POLLOUT;
        else
            return false;
        for (;;) {
            int left = ms_left(start, HTTP_SRV_HANDSHAKE_MS);
            if (left <= 0 || !is_running(p_srv)) return false;
            if (wait_fd(sock, ev, left < 100 ? left : 100)) break;
        }
    }
    return false;
}

void set_conn_options(int sock)
{
    int fl = fcntl(sock, F_GETFL, 0);
    if (fl >= 0) fcntl(sock, F_SETFL, fl | O_NONBLOCK);
    struct timeval tv;
    tv.tv_sec = HTTP_SRV_SEND_TIMEOUT_MS / 1000;
    tv.tv_usec = (HTTP_SRV_SEND_TIMEOUT_MS % 1000) * 1000;
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    int size = HTTP_SRV_SOCK_BUF_SIZE;
    if (setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &size, sizeof(size)) != 0 ||
        setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size)) != 0)
        log_print(LOG_WARN, "%s, setsockopt SO_SNDBUF error!!!\r\n", "http_listen_rx");
}

// Accepts one connection; false when there was none to accept.
bool accept_one(HTTP_LISTENER *p_srv)
{
    struct sockaddr_in addr;
    socklen_t alen = sizeof(addr);
    memset(&addr, 0, sizeof(addr));
    int fd =
        accept4(p_srv->listen_sock, (struct sockaddr *)&addr, &alen, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return false;
        log_print(LOG_ERROR, "%s, accept, cfd(%d), %s\r\n", "http_listen_rx", fd,
                  sys_os_get_socket_error());
        return err == ECONNABORTED || err == EPROTO; // try the next one
    }
    fd = avoid_fd0(fd);
    if (fd < 0) return false;

    // The record first: a full pool costs no handshake.
    HTTP_LISTENER_CONN *p_conn = http_get_idle_cln(p_srv);
    if (!p_conn) {
        log_print(LOG_ERROR, "%s, http_get_idle_cln::ret null!!!\r\n", "http_listen_rx");
        close(fd);
        return true;
    }
    set_conn_options(fd);
    p_conn->sock = fd;
    p_conn->peer_addr = addr.sin_addr.s_addr;
    p_conn->peer_port = ntohs(addr.sin_port);
    copy_text(p_conn->listen_host, sizeof(p_conn->listen_host), p_srv->listen_host);
    p_conn->listen_port = p_srv->listen_port;
    p_conn->owner = p_srv;
    p_conn->req_start = sys_os_get_ms();
    pps_ctx_ul_add(p_srv->conn_list, p_conn);

    if (p_srv->srv_flags & HTTP_SRV_TLS) {
        p_conn->ssl = p_srv->ssl_ctx ? SSL_new(p_srv->ssl_ctx) : nullptr;
        if (!p_conn->ssl) {
            log_print(LOG_ERROR, "%s, SSL_new failed\r\n", "http_listen_rx");
            conn_release(p_srv, p_conn);
            return true;
        }
        if (SSL_set_fd(p_conn->ssl, fd) != 1 || !tls_accept(p_srv, p_conn->ssl, fd)) {
            log_print(LOG_ERROR, "%s, SSL_accept failed\r\n", "http_listen_rx");
            conn_release(p_srv, p_conn);
            return true;
        }
    }
    log_print(LOG_INFO, "http user over tcp from[0x%08x,%u]\r\n",
              (unsigned)ntohl(p_conn->peer_addr), (unsigned)p_conn->peer_port);
    return true;
}

void http_listen_rx(HTTP_LISTENER *p_srv)
{
    for (int i = 0; i < kAcceptPerPass && is_running(p_srv); i++)
        if (!accept_one(p_srv)) break;
}

// ---- receive thread ----

int build_poll_set(HTTP_LISTENER *p_srv, PollSet *ps)
{
    int n = 0;
    ps->fds[n] = {p_srv->listen_sock, POLLIN, 0};
    ps->conns[n++] = nullptr;
    if (p_srv->wake_fd[0] > 0) {
        ps->fds[n] = {p_srv->wake_fd[0], POLLIN, 0};
        ps->conns[n++] = nullptr;
    }
    for (uint32_t i = 0; i < p_srv->max_conns; i++) {
        HTTP_LISTENER_CONN *p_conn = http_get_cln_by_index(p_srv, (int)i);
        if (!p_conn || p_conn->sock <= 0) continue;
        ps->fds[n] = {p_conn->sock, POLLIN, 0};
        ps->conns[n++] = p_conn;
    }
    return n;
}

// A connection whose request time limit applies: open, in use, not raw.
bool conn_timed(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    return p_conn && p_conn->sock > 0 && !p_conn->raw_mode &&
           !pps_idle_node(p_srv->conn_pool, p_conn);
}

// The poll wait: `cap` ms, or less when a request deadline comes sooner.
int next_wait_ms(HTTP_LISTENER *p_srv, int cap)
{
    uint32_t limit = load32(&p_srv->req_timeout_ms);
    if (limit == 0) return cap;
    uint32_t now = sys_os_get_ms();
    int wait = cap;
    for (uint32_t i = 0; i < p_srv->max_conns; i++) {
        HTTP_LISTENER_CONN *p_conn = http_get_cln_by_index(p_srv, (int)i);
        if (!conn_timed(p_srv, p_conn)) continue;
        uint32_t spent = now - p_conn->req_start;
        int left = spent >= limit ? 0 : (int)(limit - spent);
        if (left < wait) wait = left;
    }
    return wait;
}

// Closes every connection that has not completed a request within the
// listener's time limit; the callback learns of it as of any other close.
void expire_requests(HTTP_LISTENER *p_srv)
{
    uint32_t limit = load32(&p_srv->req_timeout_ms);
    if (limit == 0) return;
    for (uint32_t i = 0; i < p_srv->max_conns && is_running(p_srv); i++) {
        HTTP_LISTENER_CONN *p_conn = http_get_cln_by_index(p_srv, (int)i);
        if (!conn_timed(p_srv, p_conn) || sys_os_get_ms() - p_conn->req_start < limit) continue;
        log_print(LOG_WARN, "%s, request time limit, closing connection[%d]\r\n", "http_srv_rx",
                  (int)i);
        conn_fail(p_srv, p_conn);
    }
}

void *http_rx_thread(void *arg)
{
    HTTP_LISTENER *p_srv = static_cast<HTTP_LISTENER *>(arg);
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, nullptr);

    PollSet *ps = static_cast<PollSet *>(p_srv->poll_set);
    while (is_running(p_srv)) {
        int n = build_poll_set(p_srv, ps);
        int sret = poll(ps->fds, (nfds_t)n, next_wait_ms(p_srv, 1000));
        if (sret == 0) {
            expire_requests(p_srv);
            continue;
        }
        if (sret < 0) {
            if (errno != EINTR) {
                log_print(LOG_ERROR, "%s, select err[%s], max fd[%d], sret[%d]!!!\r\n",
                          "http_rx_thread", sys_os_get_socket_error(), n, sret);
                sys_os_sleep_ms(10);
            }
            continue;
        }
        if (!is_running(p_srv)) break;

        if (p_srv->wake_fd[0] > 0 && ps->fds[1].revents) {
            char drain[64];
            for (int i = 0; i < 16 && read(p_srv->wake_fd[0], drain, sizeof(drain)) > 0; i++) {
            }
        }
        if (ps->fds[0].revents & POLLIN) http_listen_rx(p_srv);

        for (int i = 0; i < n && is_running(p_srv); i++) {
            HTTP_LISTENER_CONN *p_conn = ps->conns[i];
            if (!p_conn || !(ps->fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            // A callback may have released this record meanwhile.
            if (p_conn->sock != ps->fds[i].fd || pps_idle_node(p_srv->conn_pool, p_conn)) continue;
            if (http_srv_rx(p_srv, p_conn) < 0) conn_fail(p_srv, p_conn);
        }
        // Requests completed in this pass have restarted their clocks.
        expire_requests(p_srv);
        sys_os_sleep_ms(10);
    }
    log_print(LOG_DEBUG, "%s, exit\r\n", "http_rx_thread");
    store32(&p_srv->rx_thread, 0); // the last access to the listener
    return nullptr;
}

// ---- start ----

int http_init_ssl_ctx(HTTP_LISTENER *p_srv)
{
    OPENSSL_init_ssl(0, nullptr);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) {
        log_print(LOG_ERROR, "%s, SSL_CTX_new failed\r\n", "http_init_ssl_ctx");
        return -1;
    }
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    p_srv->ssl_ctx = ctx;
    return 0;
}

bool key_mismatch(unsigned long err)
{
    return ERR_GET_LIB(err) == ERR_LIB_X509 && (ERR_GET_REASON(err) == X509_R_KEY_VALUES_MISMATCH ||
                                                ERR_GET_REASON(err) == X509_R_KEY_TYPE_MISMATCH);
}

// Certificate, key and their match. A failure is logged and stops the
// loading; the listener starts anyway.
int http_load_certificates(HTTP_LISTENER *p_srv)
{
    const char *name = "http_load_certificates";
    SSL_CTX *ctx = p_srv->ssl_ctx;
    if (!p_srv->cert_file[0] ||
        SSL_CTX_use_certificate_file(ctx, p_srv->cert_file, SSL_FILETYPE_PEM) != 1) {
        log_print(LOG_ERROR, "%s, SSL_CTX_use_certificate_file failed\r\n", name);
        return -1;
    }
    ERR_clear_error();
    if (!p_srv->key_file[0] ||
        SSL_CTX_use_PrivateKey_file(ctx, p_srv->key_file, SSL_FILETYPE_PEM) != 1) {
        // OpenSSL 3 checks the key against the certificate while loading it.
        if (key_mismatch(ERR_peek_last_error()))
            log_print(LOG_ERROR, "%s, Private key does not match the public certificate\r\n", name);
        else
            log_print(LOG_ERROR, "%s, SSL_CTX_use_PrivateKey_file failed\r\n", name);
        return -1;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        log_print(LOG_ERROR, "%s, Private key does not match the public certificate\r\n", name);
        return -1;
    }
    return 0;
}

int http_srv_net_init(HTTP_LISTENER *p_srv)
{
    const char *name = "http_srv_net_init";
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        log_print(LOG_ERROR, "%s, socket err[%s]!!!\r\n", name, sys_os_get_socket_error());
        return -1;
    }
    fd = avoid_fd0(fd);
    if (fd < 0) return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));

    struct sockaddr_in addr;
    memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = p_srv->listen_addr;
    addr.sin_port = htons(p_srv->listen_port);
    if (bind(fd, (struct sockaddr *)&addr, sizeof(addr)) != 0) {
        log_print(LOG_ERROR, "%s, bind tcp socket fail,err[%s]!!!\n", name,
                  sys_os_get_socket_error());
        close(fd);
        return -1;
    }
    if (listen(fd, HTTP_SRV_BACKLOG) != 0) {
        log_print(LOG_ERROR, "%s, listen tcp socket fail,err[%s]!!!\r\n", name,
                  sys_os_get_socket_error());
        close(fd);
        return -1;
    }
    socklen_t alen = sizeof(addr);
    if (getsockname(fd, (struct sockaddr *)&addr, &alen) == 0)
        p_srv->listen_port = ntohs(addr.sin_port);
    p_srv->listen_sock = fd;
    return 0;
}

// The address to bind: 0 for any. False for a text that names no address.
bool resolve_listen_addr(HTTP_LISTENER *p_srv, const char *addr)
{
    if (!addr || !addr[0]) {
        copy_text(p_srv->listen_host, sizeof(p_srv->listen_host), get_local_ip());
        p_srv->listen_addr = 0;
        return true;
    }
    copy_text(p_srv->listen_host, sizeof(p_srv->listen_host), addr);
    p_srv->listen_addr = get_address_by_name(addr);
    if (p_srv->listen_addr != 0) return true;
    struct in_addr any;
    return inet_pton(AF_INET, addr, &any) == 1 && any.s_addr == 0; // "0.0.0.0"
}

bool make_pool(HTTP_LISTENER *p_srv)
{
    p_srv->conn_pool = pps_ctx_fl_init(p_srv->max_conns, sizeof(HTTP_LISTENER_CONN), 1);
    if (!p_srv->conn_pool) return false;
    p_srv->conn_list = pps_ctx_ul_init(p_srv->conn_pool, 1);
    if (!p_srv->conn_list) return false;

    size_t slots = (size_t)p_srv->max_conns + 2;
    PollSet *ps = static_cast<PollSet *>(calloc(1, sizeof(PollSet)));
    if (!ps) return false;
    p_srv->poll_set = ps;
    ps->fds = static_cast<struct pollfd *>(calloc(slots, sizeof(struct pollfd)));
    ps->conns = static_cast<HTTP_LISTENER_CONN **>(calloc(slots, sizeof(HTTP_LISTENER_CONN *)));
    return ps->fds && ps->conns;
}

bool make_wake_pipe(HTTP_LISTENER *p_srv)
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    p_srv->wake_fd[0] = avoid_fd0(fds[0]);
    p_srv->wake_fd[1] = avoid_fd0(fds[1]);
    return p_srv->wake_fd[0] > 0 && p_srv->wake_fd[1] > 0;
}

void free_poll_set(HTTP_LISTENER *p_srv)
{
    PollSet *ps = static_cast<PollSet *>(p_srv->poll_set);
    if (ps) {
        free(ps->fds);
        free(ps->conns);
        free(ps);
    }
    p_srv->poll_set = nullptr;
}

} // namespace

extern "C" {

int http_srv_init(HTTP_LISTENER *p_srv, const char *addr, int port, int max_conns, int https,
                  const char *cert_file, const char *key_file)
{
    const char *name = "http_srv_init";
    if (!p_srv) return -1;
    memset(p_srv, 0, sizeof(*p_srv));
    if (port < 0 || port > 65535 || max_conns < 1) {
        log_print(LOG_ERROR, "%s, invalid port[%d] or max conns[%d]!!!\r\n", name, port, max_conns);
        return -1;
    }
    if (!resolve_listen_addr(p_srv, addr)) {
        log_print(LOG_ERROR, "%s, unknown address[%s]!!!\r\n", name, p_srv->listen_host);
        http_srv_deinit(p_srv);
        return -1;
    }
    p_srv->listen_port = (uint16_t)port;
    p_srv->max_conns = (uint32_t)max_conns;
    p_srv->req_timeout_ms = HTTP_SRV_REQUEST_TIMEOUT_MS;
    p_srv->max_body = HTTP_SRV_MAX_BODY;
    if (https) p_srv->srv_flags |= HTTP_SRV_TLS;

    if (!make_pool(p_srv)) {
        log_print(LOG_ERROR, "%s, connection pool of %d failed!!!\r\n", name, max_conns);
        http_srv_deinit(p_srv);
        return -1;
    }
    if (https) {
        copy_text(p_srv->cert_file, sizeof(p_srv->cert_file), cert_file);
        copy_text(p_srv->key_file, sizeof(p_srv->key_file), key_file);
        if (http_init_ssl_ctx(p_srv) < 0) {
            log_print(LOG_ERROR, "%s, http_init_ssl_ctx failed\r\n", name);
            http_srv_deinit(p_srv);
            return -1;
        }
        http_load_certificates(p_srv);
    }
    if (http_srv_net_init(p_srv) < 0) {
        http_srv_deinit(p_srv);
        return -1;
    }
    p_srv->cb_mutex = sys_os_create_mutex();
    if (!p_srv->cb_mutex || !make_wake_pipe(p_srv)) {
        log_print(LOG_ERROR, "%s, mutex or pipe failed!!!\r\n", name);
        http_srv_deinit(p_srv);
        return -1;
    }

    store32(&p_srv->rx_thread, 1); // non-zero before the thread can run
    store32(&p_srv->srv_flags, p_srv->srv_flags | HTTP_SRV_RUNNING);
    uint32_t tid = sys_os_create_thread(http_rx_thread, p_srv);
    if (tid == 0) {
        store32(&p_srv->srv_flags, p_srv->srv_flags & ~(uint32_t)HTTP_SRV_RUNNING);
        store32(&p_srv->rx_thread, 0);
        http_srv_deinit(p_srv);
        return -1;
    }
    // The thread clears rx_thread only after the running bit went off.
    store32(&p_srv->rx_thread, tid);
    return 0;
}

void http_srv_deinit(HTTP_LISTENER *p_srv)
{
    if (!p_srv) return;
    store32(&p_srv->srv_flags, load32(&p_srv->srv_flags) & ~(uint32_t)HTTP_SRV_RUNNING);
    if (p_srv->wake_fd[1] > 0) {
        char b = 1;
        ssize_t w = write(p_srv->wake_fd[1], &b, 1);
        (void)w;
    }
    while (load32(&p_srv->rx_thread) != 0)
        sys_os_sleep_ms(10);

    // Connections still open are closed; their records go with the pool.
    if (p_srv->conn_pool) {
        for (uint32_t i = 0; i < p_srv->max_conns; i++) {
            HTTP_LISTENER_CONN *p_conn = http_get_cln_by_index(p_srv, (int)i);
            if (p_conn && !pps_idle_node(p_srv->conn_pool, p_conn)) conn_close_io(p_conn);
        }
    }
    if (p_srv->conn_list) pps_ul_free(p_srv->conn_list);
    p_srv->conn_list = nullptr;
    if (p_srv->conn_pool) pps_fl_free(p_srv->conn_pool);
    p_srv->conn_pool = nullptr;
    free_poll_set(p_srv);

    sys_os_destroy_sig_mutex(p_srv->cb_mutex);
    p_srv->cb_mutex = nullptr;
    p_srv->msg_cb = nullptr;
    p_srv->data_cb = nullptr;
    if (p_srv->ssl_ctx) SSL_CTX_free(p_srv->ssl_ctx);
    p_srv->ssl_ctx = nullptr;
    if (p_srv->listen_sock > 0) close(p_srv->listen_sock);
    p_srv->listen_sock = 0;
    for (int i = 0; i < 2; i++) {
        if (p_srv->wake_fd[i] > 0) close(p_srv->wake_fd[i]);
        p_srv->wake_fd[i] = 0;
    }
}

void http_set_msg_callback(HTTP_LISTENER *p_srv, http_msg_cb cb, void *user)
{
    if (!p_srv) return;
    sys_os_mutex_enter(p_srv->cb_mutex);
    p_srv->msg_cb = cb;
    p_srv->msg_user = user;
    sys_os_mutex_leave(p_srv->cb_mutex);
}

void http_set_data_callback(HTTP_LISTENER *p_srv, http_data_cb cb, void *user)
{
    if (!p_srv) return;
    sys_os_mutex_enter(p_srv->cb_mutex);
    p_srv->data_cb = cb;
    p_srv->data_user = user;
    sys_os_mutex_leave(p_srv->cb_mutex);
}

void http_srv_set_request_timeout(HTTP_LISTENER *p_srv, uint32_t ms)
{
    if (!p_srv) return;
    store32(&p_srv->req_timeout_ms, ms);
    // Wake the thread so that its wait follows the new limit at once.
    if (is_running(p_srv) && p_srv->wake_fd[1] > 0) {
        char b = 1;
        ssize_t w = write(p_srv->wake_fd[1], &b, 1);
        (void)w;
    }
}

void http_srv_set_max_body(HTTP_LISTENER *p_srv, uint32_t bytes)
{
    if (!p_srv) return;
    if (bytes == 0) bytes = HTTP_SRV_MAX_BODY;
    if (bytes > HTTP_MAX_CONTENT_LEN) bytes = HTTP_MAX_CONTENT_LEN;
    store32(&p_srv->max_body, bytes);
}

int http_srv_cln_tx(HTTP_LISTENER_CONN *p_conn, const char *buf, int len)
{
    if (!p_conn || p_conn->sock <= 0 || !buf || len < 0) return -1;
    SysSigpipeGuard guard;
    uint32_t start = sys_os_get_ms();
    int sent = 0;
    while (sent < len) {
        short ev = POLLOUT;
        if (p_conn->ssl) {
            ERR_clear_error();
            int r = SSL_write(p_conn->ssl, buf + sent, len - sent);
            if (r > 0) {
                sent += r;
                continue;
            }
            int err = SSL_get_error(p_conn->ssl, r);
            if (err == SSL_ERROR_WANT_READ)
                ev = POLLIN;
            else if (err != SSL_ERROR_WANT_WRITE)
                break;
        } else {
            ssize_t r = send(p_conn->sock, buf + sent, (size_t)(len - sent), MSG_NOSIGNAL);
            if (r > 0) {
                sent += (int)r;
                continue;
            }
            if (r < 0 && errno == EINTR) continue;
            if (r == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
        }
        int left = ms_left(start, HTTP_SRV_SEND_TIMEOUT_MS);
        if (left <= 0 || !wait_fd(p_conn->sock, ev, left)) {
            log_print(LOG_WARN, "%s, send timeout, sent[%d], len[%d]!!!\r\n", "http_srv_cln_tx",
                      sent, len);
            return -1;
        }
    }
    if (sent < len) {
        log_print(LOG_WARN, "%s, send failed, sent[%d], len[%d], err[%s]!!!\r\n", "http_srv_cln_tx",
                  sent, len, sys_os_get_socket_error());
        return -1;
    }
    return sent;
}

int http_srv_reply_ok(HTTP_LISTENER_CONN *p_conn)
{
    return http_srv_cln_tx(p_conn, kReplyOk, (int)(sizeof(kReplyOk) - 1));
}

HTTP_LISTENER_CONN *http_get_idle_cln(HTTP_LISTENER *p_srv)
{
    if (!p_srv || !p_srv->conn_pool) return nullptr;
    HTTP_LISTENER_CONN *p_conn = static_cast<HTTP_LISTENER_CONN *>(pps_fl_pop(p_srv->conn_pool));
    if (!p_conn) return nullptr;
    memset(p_conn, 0, sizeof(*p_conn));
    http_rx_init(&p_conn->rx, HTTP_RX_LISTENER, nullptr);
    uint32_t max_body = load32(&p_srv->max_body);
    p_conn->rx.max_content = max_body > 0 ? (int32_t)max_body : HTTP_SRV_MAX_BODY;
    p_conn->owner = p_srv;
    p_conn->use_count = 1;
    return p_conn;
}

void http_free_used_cln(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    if (!conn_in_pool(p_srv, p_conn) || pps_idle_node(p_srv->conn_pool, p_conn)) return;
    if (p_conn->use_count > 0) p_conn->use_count--;
    if (p_conn->use_count < 1) conn_release(p_srv, p_conn);
}

int http_cln_index(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn)
{
    if (!conn_in_pool(p_srv, p_conn)) return -1;
    return pps_get_index(p_srv->conn_pool, p_conn);
}

HTTP_LISTENER_CONN *http_get_cln_by_index(HTTP_LISTENER *p_srv, int index)
{
    if (!p_srv || !p_srv->conn_pool || index < 0 || (uint32_t)index >= p_srv->max_conns)
        return nullptr;
    return static_cast<HTTP_LISTENER_CONN *>(pps_get_node_by_index(p_srv->conn_pool, index));
}

} // extern "C"
