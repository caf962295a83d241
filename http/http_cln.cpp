// HTTP client transport: connect with a time-out, optional TLS, one request,
// one response, and the answer to a 401 challenge (Digest or Basic).

#include "http/http_cln.h"

#include <atomic>
#include <deque>
#include <list>
#include <mutex>
#include <string>
#include <utility>

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>

#include "platform/encoding.h"
#include "platform/md5.h"
#include "platform/sys_log.h"
#include "platform/sys_net.h"
#include "platform/sys_os.h"
#include "platform/sys_os_guard.hpp"
#include "platform/text_scan.h"

namespace
{

const char *const kUserAgent = "V10.0";
const int kSliceMs = 100;
const int kHeadSize = 2048;     // head of a download or an upload
const int kSoapHeadSize = 4096; // head of a SOAP request

// Copies src into dst[size], cut and always terminated.
void copy_text(char *dst, size_t size, const char *src)
{
    if (size == 0) return;
    if (!src) src = "";
    size_t n = strnlen(src, size - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Bounded appends into a fixed buffer; a piece that does not fit marks the
// whole text as failed.
struct TextBuf {
    char *buf;
    int size;
    int len;
    bool overflow;
};

void tb_printf(TextBuf *tb, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void tb_printf(TextBuf *tb, const char *fmt, ...)
{
    if (tb->overflow) return;
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(tb->buf + tb->len, (size_t)(tb->size - tb->len), fmt, ap);
    va_end(ap);
    if (n < 0 || n >= tb->size - tb->len) {
        tb->overflow = true;
        tb->buf[tb->len] = '\0';
        return;
    }
    tb->len += n;
}

uint32_t overall_limit(const HTTP_CLIENT_CONN *p_conn, int timeout)
{
    if (p_conn->rx_limit_ms > 0) return p_conn->rx_limit_ms;
    uint32_t base = timeout > 10000 ? (uint32_t)timeout : 10000u;
    if (base > 0x7FFFFFFFu / 3) return 0x7FFFFFFFu;
    return base * 3;
}

void set_io_timeouts(int sock, int timeout)
{
    if (timeout <= 0) timeout = 1;
    struct timeval tv;
    tv.tv_sec = timeout / 1000;
    tv.tv_usec = (timeout % 1000) * 1000;
    setsockopt(sock, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
}

bool set_nonblocking(int sock, bool on)
{
    int fl = fcntl(sock, F_GETFL, 0);
    if (fl < 0) return false;
    fl = on ? (fl | O_NONBLOCK) : (fl & ~O_NONBLOCK);
    return fcntl(sock, F_SETFL, fl) == 0;
}

// Waits for `events` on the socket for at most ms; 1 ready, 0 time-out, -1 error.
int wait_socket(int sock, short events, int ms)
{
    struct pollfd pfd;
    pfd.fd = sock;
    pfd.events = events;
    pfd.revents = 0;
    int r = poll(&pfd, 1, ms);
    if (r < 0) return errno == EINTR ? 0 : -1;
    return r > 0 ? 1 : 0;
}

// A socket that is never fd 0 (0 means "no socket" throughout the API).
int new_tcp_socket()
{
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s == 0) {
        int d = fcntl(s, F_DUPFD_CLOEXEC, 1);
        close(s);
        s = d;
    }
    return s;
}

// Non-blocking connect to one address, waiting up to timeout ms.
bool connect_within(int sock, const struct sockaddr *sa, socklen_t salen, int timeout)
{
    if (!set_nonblocking(sock, true)) return false;
    int r = connect(sock, sa, salen);
    if (r != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return false;
        uint32_t start = sys_os_get_ms();
        int ready = 0;
        for (int i = 0; i < 100000 && ready == 0; i++) {
            uint32_t spent = sys_os_get_ms() - start;
            if (spent >= (uint32_t)(timeout > 0 ? timeout : 0)) break;
            ready = wait_socket(sock, POLLOUT, (int)((uint32_t)timeout - spent));
        }
        if (ready != 1) return false;
        int err = 0;
        socklen_t len = sizeof(err);
        if (getsockopt(sock, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return false;
    }
    return set_nonblocking(sock, false);
}

// After a TLS call on the non-blocking socket that did not finish (result r):
// waits for what OpenSSL asked for, each wait bounded by the idle time-out and
// all of them by the overall limit counted from start. True to call again.
bool tls_wait_retry(HTTP_CLIENT_CONN *p_conn, int r, uint32_t start, uint32_t limit, int timeout,
                    const char *fn)
{
    int err = SSL_get_error(p_conn->ssl, r);
    short ev;
    if (err == SSL_ERROR_WANT_READ)
        ev = POLLIN;
    else if (err == SSL_ERROR_WANT_WRITE)
        ev = POLLOUT;
    else
        return false;
    uint32_t spent = sys_os_get_ms() - start;
    if (spent >= limit) {
        log_print(LOG_WARN, "%s, overall time limit!!!\r\n", fn);
        return false;
    }
    uint32_t wait = limit - spent;
    if (timeout > 0 && wait > (uint32_t)timeout) wait = (uint32_t)timeout;
    // A wait cut short by the overall limit goes round once more to report it.
    int w = wait_socket(p_conn->sock, ev, (int)wait);
    return !(w < 0 || (w == 0 && wait == (uint32_t)timeout));
}

// TLS handshake on the connected socket, bounded by the idle time-out per
// wait and the overall limit.
bool tls_handshake(HTTP_CLIENT_CONN *p_conn, int timeout)
{
    SysSigpipeGuard guard;
    if (!set_nonblocking(p_conn->sock, true)) return false;
    uint32_t limit = overall_limit(p_conn, timeout);
    uint32_t start = sys_os_get_ms();
    bool ok = false;
    for (int i = 0; i < 100000; i++) {
        ERR_clear_error();
        int r = SSL_connect(p_conn->ssl);
        if (r == 1) {
            ok = true;
            break;
        }
        if (!tls_wait_retry(p_conn, r, start, limit, timeout, "http_cln_tls_connect")) break;
    }
    if (!set_nonblocking(p_conn->sock, false)) ok = false;
    return ok;
}

// SSL_write of the whole buffer on the non-blocking socket: each wait is
// bounded by the time-out and all of them by the overall limit, so a peer
// that reads slowly cannot hold an upload. The bytes written, or -1.
int tls_write(HTTP_CLIENT_CONN *p_conn, const char *data, int len)
{
    SysSigpipeGuard guard;
    if (!set_nonblocking(p_conn->sock, true)) return -1;
    int timeout = p_conn->io_timeout > 0 ? p_conn->io_timeout : 10000;
    uint32_t limit = overall_limit(p_conn, timeout);
    uint32_t start = sys_os_get_ms();
    int slen = -1;
    for (int i = 0; i < 10000000; i++) {
        ERR_clear_error();
        int r = SSL_write(p_conn->ssl, data, len);
        if (r > 0) {
            slen = r;
            break;
        }
        if (!tls_wait_retry(p_conn, r, start, limit, timeout, "http_cln_tx")) break;
    }
    if (!set_nonblocking(p_conn->sock, false)) return -1;
    return slen;
}

// ---- TLS context and sessions -----------------------------------------
//
// One client context for the whole process, made on first use and kept to
// the end (a context costs more than a handshake to make). Sessions are kept
// per "host:port" so that the next connection to the same service resumes
// instead of making a full handshake: a bounded table, least recently used
// addresses dropped first. A TLS 1.3 ticket is used once (a fresh one comes
// with every connection); a TLS 1.2 session serves until the server stops
// taking it.

const size_t kSessionAddrs = 64;   // addresses kept
const size_t kSessionsPerAddr = 4; // sessions kept per address

struct SessionCache {
    std::mutex mu;
    // Most recently used address first; newest session of an address last.
    std::list<std::pair<std::string, std::deque<SSL_SESSION *>>> addrs;
};

SessionCache &session_cache()
{
    static SessionCache *cache = new SessionCache; // lives as long as the context
    return *cache;
}

std::string session_key(const HTTP_CLIENT_CONN *p_conn)
{
    return std::string(p_conn->host) + ":" + std::to_string(p_conn->port);
}

// A session to offer for this address (a reference the caller frees), or null.
SSL_SESSION *session_take(const std::string &key)
{
    SessionCache &c = session_cache();
    std::lock_guard<std::mutex> lk(c.mu);
    for (auto it = c.addrs.begin(); it != c.addrs.end(); ++it) {
        if (it->first != key) continue;
        c.addrs.splice(c.addrs.begin(), c.addrs, it);
        std::deque<SSL_SESSION *> &q = it->second;
        while (!q.empty()) {
            SSL_SESSION *s = q.back();
            if (!SSL_SESSION_is_resumable(s)) {
                q.pop_back();
                SSL_SESSION_free(s);
                continue;
            }
            if (SSL_SESSION_get_protocol_version(s) >= TLS1_3_VERSION)
                q.pop_back(); // single use: the reference goes to the caller
            else
                SSL_SESSION_up_ref(s);
            return s;
        }
        return nullptr;
    }
    return nullptr;
}

void session_put(const std::string &key, SSL_SESSION *s)
{
    SessionCache &c = session_cache();
    std::lock_guard<std::mutex> lk(c.mu);
    auto it = c.addrs.begin();
    while (it != c.addrs.end() && it->first != key)
        ++it;
    if (it == c.addrs.end()) {
        c.addrs.emplace_front(key, std::deque<SSL_SESSION *>());
        it = c.addrs.begin();
    } else {
        c.addrs.splice(c.addrs.begin(), c.addrs, it);
    }
    std::deque<SSL_SESSION *> &q = it->second;
    // A TLS 1.2 session replaces the older ones; TLS 1.3 tickets collect.
    if (SSL_SESSION_get_protocol_version(s) < TLS1_3_VERSION) {
        for (SSL_SESSION *old : q)
            SSL_SESSION_free(old);
        q.clear();
    }
    q.push_back(s);
    while (q.size() > kSessionsPerAddr) {
        SSL_SESSION_free(q.front());
        q.pop_front();
    }
    while (c.addrs.size() > kSessionAddrs) {
        for (SSL_SESSION *old : c.addrs.back().second)
            SSL_SESSION_free(old);
        c.addrs.pop_back();
    }
}

// After a failed handshake the address's sessions are not offered again.
void session_forget(const std::string &key)
{
    SessionCache &c = session_cache();
    std::lock_guard<std::mutex> lk(c.mu);
    for (auto it = c.addrs.begin(); it != c.addrs.end(); ++it) {
        if (it->first != key) continue;
        for (SSL_SESSION *old : it->second)
            SSL_SESSION_free(old);
        c.addrs.erase(it);
        return;
    }
}

// New session (TLS 1.2: at the end of the handshake; TLS 1.3: a ticket read
// after it). The connection's context names the address. Returning 1 keeps
// the reference.
int on_new_session(SSL *ssl, SSL_SESSION *s)
{
    const HTTP_CLIENT_CONN *p_conn = static_cast<const HTTP_CLIENT_CONN *>(SSL_get_app_data(ssl));
    if (!p_conn || !SSL_SESSION_is_resumable(s)) return 0;
    session_put(session_key(p_conn), s);
    return 1;
}

std::mutex g_ctx_mu;
std::atomic<SSL_CTX *> g_ctx{nullptr};

// The process's client context, made once; null when it can't be made (a
// later call tries again).
SSL_CTX *client_ctx()
{
    SSL_CTX *ctx = g_ctx.load(std::memory_order_acquire);
    if (ctx) return ctx;
    std::lock_guard<std::mutex> lk(g_ctx_mu);
    ctx = g_ctx.load(std::memory_order_relaxed);
    if (ctx) return ctx;
    OPENSSL_init_ssl(0, nullptr);
    OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
    ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    // A server that closes without close_notify ends a body that runs until close.
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Sessions are kept by address in the table above, not in the context.
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, on_new_session);
    g_ctx.store(ctx, std::memory_order_release);
    return ctx;
}

// One try at host:port.
int connect_host(HTTP_CLIENT_CONN *p_conn, int timeout)
{
    uint32_t ip = get_address_by_name(p_conn->host);
    if (ip == 0) {
        log_print(LOG_ERROR, "%s, resolve host[%s] failed!!!\r\n", "http_cln_connect",
                  p_conn->host);
        return 0;
    }
    return tcp_connect_timeout(ip, p_conn->port, timeout);
}

// One receive step: reads what is there and advances the receive state.
// 1 response complete, 0 more needed, -1 failure.
int http_cln_rx(HTTP_CLIENT_CONN *p_conn)
{
    int room = 0;
    char *p = http_rx_buf(&p_conn->rx, &room);
    if (!p || room <= 0) return -1;
    int n;
    if (p_conn->req_flags & HTTP_CLN_TLS) {
        if (!p_conn->ssl) return -1;
        // Non-blocking for the read: a record that arrives byte by byte gives
        // WANT_READ here and goes back to the sliced wait with its limits,
        // instead of holding SSL_read until the record is complete.
        if (!set_nonblocking(p_conn->sock, true)) return -1;
        SysSigpipeGuard guard; // a read may write (post-handshake messages)
        ERR_clear_error();
        n = SSL_read(p_conn->ssl, p, room);
        int read_err = n <= 0 ? SSL_get_error(p_conn->ssl, n) : SSL_ERROR_NONE;
        if (!set_nonblocking(p_conn->sock, false)) return -1;
        if (n <= 0) {
            if (read_err == SSL_ERROR_WANT_READ || read_err == SSL_ERROR_WANT_WRITE) return 0;
            n = read_err == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
    } else {
        n = (int)recv(p_conn->sock, p, (size_t)room, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    }
    HTTP_MSG *msg = nullptr;
    int r = http_rx_input(&p_conn->rx, n, &msg);
    if (r == HTTP_RX_DONE) {
        p_conn->rx_msg = msg;
        return 1;
    }
    if (r == HTTP_RX_MORE) return 0;
    if (msg) http_free_msg(msg);
    return -1;
}

// Common head lines: start line, Host and User-Agent.
void head_start(TextBuf *tb, const char *method, HTTP_CLIENT_CONN *p_conn, const char *agent)
{
    tb_printf(tb, "%s %s HTTP/1.1\r\n", method, p_conn->url[0] ? p_conn->url : "/");
    tb_printf(tb, "Host: %s:%d\r\n", p_conn->host, p_conn->port);
    tb_printf(tb, "User-Agent: %s onvif client %s\r\n", agent, kUserAgent);
}

void head_auth(TextBuf *tb, HTTP_CLIENT_CONN *p_conn, const char *method)
{
    if (!(p_conn->req_flags & HTTP_CLN_AUTH) || tb->overflow) return;
    int n = http_cln_auth_line(p_conn, method, tb->buf + tb->len, tb->size - tb->len);
    if (n < 0) {
        tb->overflow = true;
        tb->buf[tb->len] = '\0';
        return;
    }
    tb->len += n;
}

// The fall-back address of a transfer, null when there is none.
const ONVIF_XADDR *fallback_of(const HTTP_PEER *p_peer)
{
    return p_peer && p_peer->fallback.host[0] ? &p_peer->fallback : nullptr;
}

// Answer to a first 401 of a download or an upload: arms HTTP authentication.
// False when only Basic is offered and may not be answered here.
bool answer_challenge(HTTP_CLIENT_CONN *p_conn, const HTTP_PEER *p_peer, const char *caller)
{
    int digest = http_cln_parse_challenge(p_conn, p_conn->rx_msg);
    if (!digest && !http_cln_basic_allowed(p_conn)) {
        log_print(LOG_WARN,
                  "%s, %s:%d offers only HTTP Basic over plain HTTP, credentials not sent\r\n",
                  caller, p_conn->host, p_conn->port);
        return false;
    }
    http_cln_close(p_conn);
    if (digest) {
        char user[64], pass[64];
        copy_text(user, sizeof(user), p_conn->user);
        copy_text(pass, sizeof(pass), p_conn->pass);
        http_cln_set_auth(p_conn, 1, user, pass);
    } else if (p_peer) {
        char user[64], pass[64];
        copy_text(user, sizeof(user), p_peer->user);
        copy_text(pass, sizeof(pass), p_peer->pass);
        http_cln_set_auth(p_conn, 0, user, pass);
    } else {
        char user[64], pass[64];
        copy_text(user, sizeof(user), p_conn->user);
        copy_text(pass, sizeof(pass), p_conn->pass);
        http_cln_set_auth(p_conn, 0, user, pass);
    }
    return true;
}

void md5_hex(const char *const *parts, int count, char out[33])
{
    MD5_CTX ctx;
    MD5Init(&ctx);
    for (int i = 0; i < count; i++) {
        if (i > 0) MD5Update(&ctx, (const uint8_t *)":", 1);
        MD5Update(&ctx, (const uint8_t *)parts[i], (uint32_t)strlen(parts[i]));
    }
    uint8_t digest[16];
    MD5Final(digest, &ctx);
    BinToHexStr(digest, out);
}

// The body of an upload: fsize bytes of fp from its start, HTTP_UPLOAD_CHUNK
// at a time. Each send is bounded by the time-out, the whole body by the
// overall limit, so a peer that reads slowly cannot hold the upload.
bool send_file(HTTP_CLIENT_CONN *p_conn, FILE *fp, int fsize, char *chunk, int timeout,
               const char *name)
{
    if (fseek(fp, 0, SEEK_SET) != 0) return false;
    uint32_t limit = overall_limit(p_conn, timeout);
    uint32_t start = sys_os_get_ms();
    int sent = 0;
    for (int i = 0; i <= HTTP_UPLOAD_MAX_SIZE / HTTP_UPLOAD_CHUNK && sent < fsize; i++) {
        if (sys_os_get_ms() - start >= limit) {
            log_print(LOG_WARN, "%s, overall time limit!!!\r\n", name);
            return false;
        }
        int want = fsize - sent < HTTP_UPLOAD_CHUNK ? fsize - sent : HTTP_UPLOAD_CHUNK;
        size_t got = fread(chunk, 1, (size_t)want, fp);
        if (got != (size_t)want) {
            log_print(LOG_ERROR, "%s, read file failed at %d of %d bytes!!!\r\n", name, sent,
                      fsize);
            return false;
        }
        if (http_cln_tx(p_conn, chunk, want) != 0) return false;
        sent += want;
    }
    return sent == fsize;
}

// The value of a header after its first word when that word is `scheme`
// (ignoring case), else null.
const char *after_scheme(const char *value, const char *scheme)
{
    if (!value) return nullptr;
    while (*value == ' ' || *value == '\t')
        value++;
    size_t n = strlen(scheme);
    if (strncasecmp(value, scheme, n) != 0) return nullptr;
    char c = value[n];
    if (c != '\0' && c != ' ' && c != '\t') return nullptr;
    return value + n;
}

bool all_hex(const char *s)
{
    for (; *s; s++) {
        char c = *s;
        bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
    }
    return true;
}

} // namespace

extern "C" {

int tcp_connect_timeout(uint32_t ipaddr, int port, int timeout)
{
    if (ipaddr == 0 || port <= 0 || port > 65535) return 0;
    int s = new_tcp_socket();
    if (s < 0) {
        log_print(LOG_ERROR, "%s, socket failed\n", "tcp_connect_timeout");
        return 0;
    }
    struct sockaddr_in sa;
    memset(&sa, 0, sizeof(sa));
    sa.sin_family = AF_INET;
    sa.sin_port = htons((uint16_t)port);
    sa.sin_addr.s_addr = ipaddr;
    if (!connect_within(s, (const struct sockaddr *)&sa, sizeof(sa), timeout)) {
        close(s);
        return 0;
    }
    return s;
}

int tcp_connect(const char *hostname, int port, int timeout)
{
    if (!hostname || port <= 0 || port > 65535) return -1;
    char service[16];
    snprintf(service, sizeof(service), "%d", port);
    struct addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *res = nullptr;
    if (getaddrinfo(hostname, service, &hints, &res) != 0 || !res) {
        log_print(LOG_ERROR, "Failed to resolve hostname %s\r\n", hostname);
        return -1;
    }
    int result = -1;
    int n = 0;
    for (struct addrinfo *ai = res; ai && n < 64; ai = ai->ai_next, n++) {
        int s = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (s == 0) {
            int d = fcntl(s, F_DUPFD_CLOEXEC, 1);
            close(s);
            s = d;
        }
        if (s < 0) continue;
        if (connect_within(s, ai->ai_addr, ai->ai_addrlen, timeout > 0 ? timeout : 10000)) {
            result = s;
            break;
        }
        log_print(LOG_ERROR, "Connect hostname %s failed\r\n", hostname);
        close(s);
    }
    freeaddrinfo(res);
    return result;
}

int http_cln_tls_init(HTTP_CLIENT_CONN *p_conn, const char *caller)
{
    if (!p_conn) return -1;
    if (p_conn->ssl_ctx) return 0;
    SSL_CTX *ctx = client_ctx();
    if (!ctx) {
        log_print(LOG_ERROR, "%s, SSL_CTX_new failed!\r\n", caller);
        return -1;
    }
    p_conn->ssl_ctx = ctx;
    return 0;
}

int http_cln_connect(HTTP_CLIENT_CONN *p_conn, int timeout, const ONVIF_XADDR *fallback,
                     const char *caller)
{
    if (!p_conn) return -1;
    if (!caller) caller = "http_cln_connect";
    // An armed authentication survives the reconnect.
    uint32_t auth = p_conn->req_flags & HTTP_CLN_AUTH;
    int32_t mode = p_conn->auth_mode;
    if (p_conn->sock > 0) http_cln_close(p_conn);

    int sock = connect_host(p_conn, timeout);
    if (sock <= 0 && fallback && fallback->host[0] != '\0' &&
        strcasecmp(p_conn->host, fallback->host) != 0) {
        log_print(LOG_INFO, "%s, connect %s:%d failed, trying %s:%d\r\n", caller, p_conn->host,
                  p_conn->port, fallback->host, fallback->port);
        if (fallback->https)
            p_conn->req_flags |= HTTP_CLN_TLS;
        else
            p_conn->req_flags &= ~(uint32_t)HTTP_CLN_TLS;
        p_conn->port = fallback->port;
        copy_text(p_conn->host, sizeof(p_conn->host), fallback->host);
        if ((p_conn->req_flags & HTTP_CLN_TLS) && http_cln_tls_init(p_conn, caller) < 0) return -2;
        sock = connect_host(p_conn, timeout);
    }
    if (sock <= 0) {
        log_print(LOG_ERROR, "%s, connect %s:%d failed!!!\r\n", caller, p_conn->host, p_conn->port);
        return -1;
    }

    p_conn->sock = sock;
    p_conn->io_timeout = timeout;
    set_io_timeouts(sock, timeout);
    http_rx_reset(&p_conn->rx);
    http_rx_init(&p_conn->rx, HTTP_RX_CLIENT, p_conn->host);

    if (p_conn->req_flags & HTTP_CLN_TLS) {
        if (!p_conn->ssl_ctx && http_cln_tls_init(p_conn, caller) < 0) {
            http_cln_close(p_conn);
            return -2;
        }
        p_conn->ssl = SSL_new(p_conn->ssl_ctx);
        if (!p_conn->ssl) {
            log_print(LOG_ERROR, "%s, SSL_new failed!\r\n", caller);
            http_cln_close(p_conn);
            return -2;
        }
        std::string key = session_key(p_conn);
        SSL_set_app_data(p_conn->ssl, p_conn);
        if (SSL_SESSION *s = session_take(key)) {
            SSL_set_session(p_conn->ssl, s); // the connection holds its own reference
            SSL_SESSION_free(s);
        }
        if (SSL_set_fd(p_conn->ssl, sock) != 1 || !tls_handshake(p_conn, timeout)) {
            log_print(LOG_ERROR, "%s, SSL_connect failed!\r\n", caller);
            session_forget(key);
            http_cln_close(p_conn);
            return -1;
        }
    }
    p_conn->req_flags |= auth;
    p_conn->auth_mode = mode;
    return 0;
}

uint32_t http_cln_local_ip(HTTP_CLIENT_CONN *p_conn)
{
    if (!p_conn || p_conn->sock <= 0) return 0;
    struct sockaddr_in sa;
    socklen_t len = sizeof(sa);
    memset(&sa, 0, sizeof(sa));
    if (getsockname(p_conn->sock, (struct sockaddr *)&sa, &len) != 0 || sa.sin_family != AF_INET)
        return 0;
    return sa.sin_addr.s_addr;
}

int http_cln_tx(HTTP_CLIENT_CONN *p_conn, const char *data, int len)
{
    if (!p_conn || !data || len <= 0 || p_conn->sock <= 0) return -1;
    int slen;
    if (p_conn->req_flags & HTTP_CLN_TLS) {
        if (!p_conn->ssl) return -1;
        slen = tls_write(p_conn, data, len);
    } else {
        slen = (int)send(p_conn->sock, data, (size_t)len, MSG_NOSIGNAL);
    }
    if (slen != len) {
        log_print(LOG_ERROR, "%s, slen = %d, len = %d\r\n", "http_cln_tx", slen, len);
        return -1;
    }
    return 0;
}

int http_cln_soap_tx(HTTP_CLIENT_CONN *p_conn, const char *action, const char *body, int len)
{
    if (!p_conn || !body || len < 0) return -1;
    char *head = (char *)malloc(kSoapHeadSize);
    if (!head) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "http_cln_soap_tx");
        return -1;
    }
    TextBuf tb = {head, kSoapHeadSize, 0, false};
    head[0] = '\0';
    head_start(&tb, "POST", p_conn, "Brisklane");
    tb_printf(&tb, "Content-Type: application/soap+xml; charset=utf-8; action=\"%s\"\r\n",
              action ? action : "");
    tb_printf(&tb, "Content-Length: %d\r\n", len);
    head_auth(&tb, p_conn, "POST");
    tb_printf(&tb, "Connection: close\r\n\r\n");
    if (tb.overflow) {
        log_print(LOG_ERROR, "%s, request head too large\r\n", "http_cln_soap_tx");
        free(head);
        return -1;
    }
    char *msg = (char *)malloc((size_t)tb.len + (size_t)len + 1);
    if (!msg) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "http_cln_soap_tx");
        free(head);
        return -1;
    }
    memcpy(msg, head, (size_t)tb.len);
    memcpy(msg + tb.len, body, (size_t)len);
    msg[tb.len + len] = '\0';
    free(head);
    if (log_get_level() <= LOG_DEBUG) { // credentials and digests never reach the log
        char *shown = http_redact_for_log(msg, tb.len + len);
        log_print(LOG_DEBUG, "TX >> %s\r\n\r\n", shown ? shown : "");
        free(shown);
    }
    int r = http_cln_tx(p_conn, msg, tb.len + len);
    free(msg);
    return r;
}

int http_cln_rx_timeout(HTTP_CLIENT_CONN *p_conn, int timeout)
{
    if (!p_conn || p_conn->sock <= 0) return -1;
    if (p_conn->rx_msg) return 0;
    int max_idle = timeout / kSliceMs;
    if (max_idle < 1) max_idle = 1;
    uint32_t limit = overall_limit(p_conn, timeout);
    uint32_t start = sys_os_get_ms();
    int idle = 0;
    // Bounded by the idle count and the overall limit; the count guards a
    // clock that would not move.
    for (int guard = 0; guard < 100000000; guard++) {
        if (sys_os_get_ms() - start >= limit) {
            log_print(LOG_WARN, "%s, overall time limit!!!\r\n", "http_cln_rx_timeout");
            return -1;
        }
        bool ready =
            (p_conn->req_flags & HTTP_CLN_TLS) && p_conn->ssl && SSL_pending(p_conn->ssl) > 0;
        if (!ready) {
            struct pollfd pfd;
            pfd.fd = p_conn->sock;
            pfd.events = POLLIN;
            pfd.revents = 0;
            int sret = poll(&pfd, 1, kSliceMs);
            if (sret < 0) {
                if (errno == EINTR) continue;
                log_print(LOG_ERROR, "%s, select err[%s], sret[%d]!!!\r\n", "http_cln_rx_timeout",
                          strerror(errno), sret);
                return -1;
            }
            if (sret == 0) {
                if (++idle >= max_idle) {
                    log_print(LOG_WARN, "%s, timeout!!!\r\n", "http_cln_rx_timeout");
                    return -1;
                }
                continue;
            }
        }
        int r = http_cln_rx(p_conn);
        if (r < 0) return -1;
        if (r > 0) return 0;
    }
    return -1;
}

int http_cln_parse_challenge(HTTP_CLIENT_CONN *p_conn, HTTP_MSG *rx_msg)
{
    if (!p_conn || !rx_msg) return 0;
    const char *rest = nullptr;
    HDRV *h = http_find_headline(rx_msg, "WWW-Authenticate");
    for (int i = 0; h && i < 64; i++) {
        rest = after_scheme(h->value_string, "digest");
        if (rest) break;
        h = http_find_headline_next(rx_msg, "WWW-Authenticate", h);
    }
    if (!rest) return 0;

    DIGEST_INFO *a = &p_conn->auth_info;
    int len = (int)strlen(rest);
    char realm[sizeof(a->realm)], nonce[sizeof(a->nonce)];
    if (!GetNameValuePair(rest, len, "realm", realm, sizeof(realm)) ||
        !GetNameValuePair(rest, len, "nonce", nonce, sizeof(nonce)))
        return 0;
    copy_text(a->realm, sizeof(a->realm), realm);
    copy_text(a->nonce, sizeof(a->nonce), nonce);
    if (!GetNameValuePair(rest, len, "qop", a->qop, sizeof(a->qop))) a->qop[0] = '\0';
    if (!GetNameValuePair(rest, len, "opaque", a->opaque, sizeof(a->opaque))) a->opaque[0] = '\0';
    a->response[0] = '\0';
    a->uri[0] = '\0';

    uint32_t r[2];
    if (RAND_bytes((unsigned char *)r, (int)sizeof(r)) != 1) {
        r[0] = (uint32_t)rand();
        r[1] = (uint32_t)rand();
    }
    snprintf(a->cnonce, sizeof(a->cnonce), "%08X%08X", r[0], r[1]);
    a->nc_count++;
    snprintf(a->nc_text, sizeof(a->nc_text), "%08x", a->nc_count); // 8LHEX
    return 1;
}

int http_cln_basic_allowed(const HTTP_CLIENT_CONN *p_conn)
{
    if (!p_conn) return 0;
    return (p_conn->req_flags & (HTTP_CLN_TLS | HTTP_CLN_BASIC_PLAIN)) != 0;
}

void http_cln_set_auth(HTTP_CLIENT_CONN *p_conn, int digest, const char *user, const char *pass)
{
    if (!p_conn) return;
    if (digest) {
        p_conn->auth_mode = HTTP_AUTH_DIGEST;
        copy_text(p_conn->auth_info.uri, sizeof(p_conn->auth_info.uri), p_conn->url);
        copy_text(p_conn->auth_info.user, sizeof(p_conn->auth_info.user), user);
        copy_text(p_conn->auth_info.password, sizeof(p_conn->auth_info.password), pass);
    } else {
        p_conn->auth_mode = HTTP_AUTH_BASIC;
        copy_text(p_conn->user, sizeof(p_conn->user), user);
        copy_text(p_conn->pass, sizeof(p_conn->pass), pass);
    }
    p_conn->req_flags |= HTTP_CLN_AUTH;
}

void http_cln_calc_digest(DIGEST_INFO *p_auth, const char *method)
{
    if (!p_auth) return;
    if (!method) method = "";
    char ha1[33], ha2[33];
    const char *p1[] = {p_auth->user, p_auth->realm, p_auth->password};
    md5_hex(p1, 3, ha1);
    const char *p2[] = {method, p_auth->uri};
    md5_hex(p2, 2, ha2);
    char resp[33];
    if (p_auth->qop[0]) {
        const char *p3[] = {ha1, p_auth->nonce, p_auth->nc_text, p_auth->cnonce, p_auth->qop, ha2};
        md5_hex(p3, 6, resp);
    } else {
        const char *p3[] = {ha1, p_auth->nonce, ha2};
        md5_hex(p3, 3, resp);
    }
    copy_text(p_auth->response, sizeof(p_auth->response), resp);
}

int http_cln_auth_line(HTTP_CLIENT_CONN *p_conn, const char *method, char *buf, int size)
{
    if (!p_conn || !buf || size <= 0) return -1;
    buf[0] = '\0';
    TextBuf tb = {buf, size, 0, false};
    if (p_conn->auth_mode == HTTP_AUTH_BASIC) {
        if (!http_cln_basic_allowed(p_conn)) return 0; // never the password in the clear
        char plain[sizeof(p_conn->user) + sizeof(p_conn->pass) + 1];
        int n = snprintf(plain, sizeof(plain), "%s:%s", p_conn->user, p_conn->pass);
        if (n < 0) return -1;
        char b64[((sizeof(plain) + 2) / 3) * 4 + 1];
        if (!base64_encode((const uint8_t *)plain, n, b64, (int)sizeof(b64))) return -1;
        tb_printf(&tb, "Authorization: Basic %s\r\n", b64);
    } else if (p_conn->auth_mode == HTTP_AUTH_DIGEST) {
        DIGEST_INFO *a = &p_conn->auth_info;
        if (a->qop[0]) copy_text(a->qop, sizeof(a->qop), "auth");
        http_cln_calc_digest(a, method);
        tb_printf(&tb,
                  "Authorization: Digest username=\"%s\", realm=\"%s\", nonce=\"%s\", "
                  "uri=\"%s\", response=\"%s\"",
                  a->user, a->realm, a->nonce, a->uri, a->response);
        if (a->qop[0])
            tb_printf(&tb, ", qop=\"auth\", cnonce=\"%s\", nc=%s", a->cnonce, a->nc_text);
        if (a->opaque[0]) tb_printf(&tb, ", opaque=\"%s\"", a->opaque);
        tb_printf(&tb, ", algorithm=\"MD5\"\r\n");
    } else {
        return 0;
    }
    if (tb.overflow) {
        buf[0] = '\0';
        return -1;
    }
    return tb.len;
}

void http_cln_close(HTTP_CLIENT_CONN *p_conn)
{
    if (!p_conn) return;
    if (p_conn->ssl) {
        // After a complete response the connection ended as agreed (the
        // server closes it): mark it shut down, or OpenSSL would take its
        // session for a broken one and it could not be resumed.
        if (p_conn->rx_msg)
            SSL_set_shutdown(p_conn->ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
        SSL_free(p_conn->ssl);
        p_conn->ssl = nullptr;
    }
    if (p_conn->sock > 0) close(p_conn->sock);
    p_conn->sock = 0;
    http_rx_reset(&p_conn->rx);
    if (p_conn->rx_msg) {
        http_free_msg(p_conn->rx_msg);
        p_conn->rx_msg = nullptr;
    }
    p_conn->req_flags &= ~(uint32_t)HTTP_CLN_AUTH;
    p_conn->auth_mode = 0;
}

void http_cln_free(HTTP_CLIENT_CONN *p_conn)
{
    if (!p_conn) return;
    http_cln_close(p_conn);
    p_conn->ssl_ctx = nullptr; // the process's context: released, never freed here
}

int http_onvif_download(HTTP_CLIENT_CONN *p_conn, int timeout, uint8_t **p_buf, int *p_len,
                        const HTTP_PEER *p_peer)
{
    if (!p_buf || !p_len) return 0;
    *p_buf = nullptr;
    *p_len = 0;
    if (!p_conn) return 0;
    const char *name = "http_onvif_download";
    if ((p_conn->req_flags & HTTP_CLN_TLS) && http_cln_tls_init(p_conn, name) < 0) return 0;

    int ret = 0;
    char head[kHeadSize];
    for (int attempt = 0; attempt < 2; attempt++) {
        if (http_cln_connect(p_conn, timeout, fallback_of(p_peer), name) != 0) break;
        TextBuf tb = {head, kHeadSize, 0, false};
        head[0] = '\0';
        head_start(&tb, "GET", p_conn, "Brisklane");
        head_auth(&tb, p_conn, "GET");
        tb_printf(&tb, "Connection: close\r\n\r\n");
        if (tb.overflow) {
            log_print(LOG_ERROR, "%s, request head too large\r\n", name);
            break;
        }
        if (http_cln_tx(p_conn, head, tb.len) != 0) break;
        if (http_cln_rx_timeout(p_conn, timeout) != 0) break;

        HTTP_MSG *msg = p_conn->rx_msg;
        if (msg->code == 401 && !(p_conn->req_flags & HTTP_CLN_AUTH)) {
            if (!answer_challenge(p_conn, p_peer, name)) break;
            continue;
        }
        // A body without Content-Length that filled the until-close limit was
        // still coming: handing it out would give a cut file as a whole one.
        if (msg->code == 200 && msg->content_len >= HTTP_LEN_UNTIL_CLOSE &&
            !http_find_headline(msg, "Content-Length")) {
            log_print(LOG_ERROR, "%s, body without Content-Length reached %d bytes, cut!!!\r\n",
                      name, HTTP_LEN_UNTIL_CLOSE);
            break;
        }
        char *body = http_get_ctt(msg);
        if (msg->code == 200 && body && msg->content_len > 0) {
            uint8_t *block = (uint8_t *)malloc((size_t)msg->content_len + 1);
            if (!block) {
                log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", name);
                break;
            }
            memcpy(block, body, (size_t)msg->content_len);
            block[msg->content_len] = 0;
            *p_buf = block;
            *p_len = msg->content_len;
            ret = 1;
        }
        break;
    }
    http_cln_free(p_conn);
    return ret;
}

int http_onvif_file_upload(HTTP_CLIENT_CONN *p_conn, int timeout, const char *filename,
                           const HTTP_PEER *p_peer)
{
    if (!p_conn || !filename) return 0;
    const char *name = "http_onvif_file_upload";
    FILE *fp = fopen(filename, "rb");
    if (!fp) {
        log_print(LOG_ERROR, "%s, open file %s failed!!!\r\n", name, filename);
        return 0;
    }
    struct stat st;
    if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        st.st_size > HTTP_UPLOAD_MAX_SIZE) {
        log_print(LOG_ERROR, "%s, file %s is empty, not a file or too large!!!\r\n", name,
                  filename);
        fclose(fp);
        return 0;
    }
    int fsize = (int)st.st_size;
    // The file goes out piece by piece from disk: a firmware image of any
    // size costs one chunk of memory.
    char *chunk = (char *)malloc(HTTP_UPLOAD_CHUNK);
    if (!chunk) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", name);
        fclose(fp);
        return 0;
    }
    if ((p_conn->req_flags & HTTP_CLN_TLS) && http_cln_tls_init(p_conn, name) < 0) {
        free(chunk);
        fclose(fp);
        return 0;
    }

    int ret = 0;
    char head[kHeadSize];
    for (int attempt = 0; attempt < 2; attempt++) {
        if (http_cln_connect(p_conn, timeout, fallback_of(p_peer), name) != 0) break;
        TextBuf tb = {head, kHeadSize, 0, false};
        head[0] = '\0';
        head_start(&tb, "POST", p_conn, "Vazaredade");
        head_auth(&tb, p_conn, "POST");
        tb_printf(&tb, "Content-Type: application/octet-stream\r\n");
        tb_printf(&tb, "Content-Length: %d\r\n", fsize);
        tb_printf(&tb, "Connection: close\r\n\r\n");
        if (tb.overflow) {
            log_print(LOG_ERROR, "%s, request head too large\r\n", name);
            break;
        }
        if (http_cln_tx(p_conn, head, tb.len) != 0) break;
        if (!send_file(p_conn, fp, fsize, chunk, timeout, name)) break;
        if (http_cln_rx_timeout(p_conn, timeout) != 0) break;

        HTTP_MSG *msg = p_conn->rx_msg;
        if (msg->code == 401 && !(p_conn->req_flags & HTTP_CLN_AUTH)) {
            if (!answer_challenge(p_conn, p_peer, name)) break;
            continue;
        }
        ret = msg->code == 200 ? 1 : 0;
        break;
    }
    http_cln_free(p_conn);
    free(chunk);
    fclose(fp);
    return ret;
}

int http_get_auth_digest_info(HTTP_MSG *rx_msg, DIGEST_INFO *p_auth)
{
    if (!rx_msg || !p_auth) return 0;
    const char *rest = after_scheme(http_get_headline(rx_msg, "Authorization"), "digest");
    if (!rest) return 0;
    int len = (int)strlen(rest);
    DIGEST_INFO a;
    memset(&a, 0, sizeof(a));
    if (!GetNameValuePair(rest, len, "username", a.user, sizeof(a.user)) ||
        !GetNameValuePair(rest, len, "realm", a.realm, sizeof(a.realm)) ||
        !GetNameValuePair(rest, len, "nonce", a.nonce, sizeof(a.nonce)) ||
        !GetNameValuePair(rest, len, "uri", a.uri, sizeof(a.uri)) ||
        !GetNameValuePair(rest, len, "response", a.response, sizeof(a.response)))
        return 0;
    if (GetNameValuePair(rest, len, "qop", a.qop, sizeof(a.qop))) {
        if (!GetNameValuePair(rest, len, "cnonce", a.cnonce, sizeof(a.cnonce))) a.cnonce[0] = '\0';
        if (!GetNameValuePair(rest, len, "nc", a.nc_text, sizeof(a.nc_text))) a.nc_text[0] = '\0';
        if (!all_hex(a.nc_text)) return 0;
        a.nc_count = (uint32_t)strtoul(a.nc_text, nullptr, 16);
    } else {
        a.qop[0] = '\0';
        a.cnonce[0] = '\0';
        a.nc_text[0] = '\0';
        a.nc_count = 0;
    }
    // The password stays the caller's: it is never sent.
    copy_text(a.password, sizeof(a.password), p_auth->password);
    *p_auth = a;
    return 1;
}

} // extern "C"
