// Test support: a scripted HTTP server on 127.0.0.1 (plain or TLS) for the
// client tests. It runs on a thread of its own, accepts at most a given
// number of connections and hands each to a handler written by the test;
// every wait is bounded (poll slices, receive time-outs, an overall limit),
// so a client that misbehaves can only make a test fail, never hang it.
// Also: a self-signed certificate made in memory for the TLS server.
#ifndef TESTS_SUPPORT_HTTP_TEST_SERVER_H
#define TESTS_SUPPORT_HTTP_TEST_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsrv
{

using Clock = std::chrono::steady_clock;

inline long ms_since(Clock::time_point t0)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// A TLS server context with a fresh self-signed P-256 certificate.
inline SSL_CTX *make_tls_server_ctx()
{
    EVP_PKEY *pkey = EVP_EC_gen("P-256");
    if (!pkey) return nullptr;
    X509 *x = X509_new();
    SSL_CTX *ctx = nullptr;
    if (x) {
        X509_set_version(x, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
        X509_gmtime_adj(X509_getm_notBefore(x), -3600);
        X509_gmtime_adj(X509_getm_notAfter(x), 86400);
        X509_set_pubkey(x, pkey);
        X509_NAME *nm = X509_get_subject_name(x);
        X509_NAME_add_entry_by_txt(nm, "CN", MBSTRING_ASC, (const unsigned char *)"camera.test", -1,
                                   -1, 0);
        X509_set_issuer_name(x, nm);
        if (X509_sign(x, pkey, EVP_sha256()) > 0) {
            ctx = SSL_CTX_new(TLS_server_method());
            if (ctx &&
                (SSL_CTX_use_certificate(ctx, x) != 1 || SSL_CTX_use_PrivateKey(ctx, pkey) != 1)) {
                SSL_CTX_free(ctx);
                ctx = nullptr;
            }
        }
        X509_free(x);
    }
    EVP_PKEY_free(pkey);
    return ctx;
}

// One accepted connection, as the handler sees it.
class Conn
{
  public:
    Conn(int fd, SSL *ssl) : fd_(fd), ssl_(ssl) {}

    int fd() const { return fd_; }
    SSL *ssl() const { return ssl_; }

    // Up to n bytes; 0 when the peer closed, -1 on error or after ms without data.
    int read_some(char *buf, int n, int ms = 3000)
    {
        if (!ssl_ || SSL_pending(ssl_) == 0) {
            struct pollfd pfd = {fd_, POLLIN, 0};
            if (poll(&pfd, 1, ms) <= 0) return -1;
        }
        if (ssl_) {
            int r = SSL_read(ssl_, buf, n);
            if (r > 0) return r;
            int e = SSL_get_error(ssl_, r);
            return e == SSL_ERROR_ZERO_RETURN ? 0 : -1;
        }
        return (int)recv(fd_, buf, (size_t)n, 0);
    }

    bool send(const std::string &s)
    {
        size_t pos = 0;
        for (int i = 0; i < 100000 && pos < s.size(); i++) {
            int w;
            if (ssl_)
                w = SSL_write(ssl_, s.data() + pos, (int)(s.size() - pos));
            else
                w = (int)::send(fd_, s.data() + pos, s.size() - pos, MSG_NOSIGNAL);
            if (w <= 0) return false;
            pos += (size_t)w;
        }
        return pos == s.size();
    }

    // One HTTP request: the head and Content-Length bytes of body (at most
    // 64 MiB), within `ms` overall. Empty when none arrived.
    std::string read_request(int ms = 3000)
    {
        std::string data;
        auto t0 = Clock::now();
        size_t head_end = std::string::npos;
        size_t want = 0;
        char buf[65536];
        for (int i = 0; i < 1000000 && ms_since(t0) < ms; i++) {
            if (head_end != std::string::npos && data.size() >= head_end + want) break;
            int n = read_some(buf, sizeof(buf), 200);
            if (n == 0) break;
            if (n < 0) continue;
            data.append(buf, (size_t)n);
            if (head_end == std::string::npos) {
                size_t p = data.find("\r\n\r\n");
                if (p != std::string::npos) {
                    head_end = p + 4;
                    want = content_length(data.substr(0, head_end));
                }
            }
        }
        requests_.push_back(data);
        return data;
    }

    // Waits until the peer closes (or ms pass): the length of what it sent meanwhile.
    size_t wait_close(int ms = 5000)
    {
        auto t0 = Clock::now();
        size_t got = 0;
        char buf[4096];
        for (int i = 0; i < 100000 && ms_since(t0) < ms; i++) {
            int n = read_some(buf, sizeof(buf), 100);
            if (n == 0) break;
            if (n > 0) got += (size_t)n;
            if (n < 0 && ssl_ == nullptr) {
                struct pollfd pfd = {fd_, POLLIN, 0};
                if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLERR | POLLHUP))) break;
            }
        }
        return got;
    }

    static size_t content_length(const std::string &head)
    {
        std::string lower = head;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        size_t p = lower.find("\r\ncontent-length:");
        if (p == std::string::npos) return 0;
        long v = atol(lower.c_str() + p + 17);
        return v > 0 && v <= 67108864 ? (size_t)v : 0;
    }

    std::vector<std::string> requests_;

  private:
    int fd_;
    SSL *ssl_;
};

// The server: a listening socket on 127.0.0.1 with an ephemeral port.
class Server
{
  public:
    using Handler = std::function<void(Conn &, int index)>;

    // port 0: an ephemeral port.
    Server(Handler h, SSL_CTX *tls = nullptr, int max_conns = 8, int port = 0)
        : handler_(std::move(h)), tls_(tls)
    {
        ls_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(ls_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        struct sockaddr_in sa;
        memset(&sa, 0, sizeof(sa));
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = htons((uint16_t)port);
        if (bind(ls_, (struct sockaddr *)&sa, sizeof(sa)) != 0 || listen(ls_, 8) != 0) {
            close(ls_);
            ls_ = -1;
            return;
        }
        socklen_t len = sizeof(sa);
        getsockname(ls_, (struct sockaddr *)&sa, &len);
        port_ = ntohs(sa.sin_port);
        max_conns_ = max_conns;
        thread_ = std::thread([this] { run(); });
    }
    ~Server() { stop(); }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    bool ok() const { return ls_ >= 0; }
    int port() const { return port_; }

    // Ends the accept loop after the current handler and joins the thread.
    void stop()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (ls_ >= 0) close(ls_);
        ls_ = -1;
    }

    // After stop(): connections accepted, requests read by handlers, TLS
    // handshakes that failed, and whether any client sent a server name.
    int accepted() const { return accepted_; }
    std::vector<std::string> requests()
    {
        std::lock_guard<std::mutex> lk(mu_);
        return requests_;
    }
    int tls_failures() const { return tls_failures_; }
    int resumed() const { return resumed_; } // TLS handshakes that resumed a session
    bool saw_sni() const { return saw_sni_; }

  private:
    void run()
    {
        // A client that goes away must not kill the test process.
        sigset_t block;
        sigemptyset(&block);
        sigaddset(&block, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &block, nullptr);
        auto t0 = Clock::now();
        while (!stop_ && accepted_ < max_conns_ && ms_since(t0) < 30000) {
            struct pollfd pfd = {ls_, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0) continue;
            int fd = accept4(ls_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            int index = accepted_++;
            struct timeval tv = {3, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
            SSL *ssl = nullptr;
            if (tls_) {
                ssl = SSL_new(tls_);
                SSL_set_fd(ssl, fd);
                if (SSL_accept(ssl) != 1) {
                    tls_failures_++;
                    SSL_free(ssl);
                    close(fd);
                    continue;
                }
                if (SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name)) saw_sni_ = true;
                if (SSL_session_reused(ssl)) resumed_++;
            }
            Conn c(fd, ssl);
            handler_(c, index);
            {
                std::lock_guard<std::mutex> lk(mu_);
                for (auto &r : c.requests_)
                    requests_.push_back(r);
            }
            if (ssl) {
                SSL_shutdown(ssl);
                SSL_free(ssl);
            }
            close(fd);
        }
    }

    Handler handler_;
    SSL_CTX *tls_;
    int ls_ = -1;
    int port_ = 0;
    int max_conns_ = 8;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> tls_failures_{0};
    std::atomic<int> resumed_{0};
    std::atomic<bool> saw_sni_{false};
    std::mutex mu_;
    std::vector<std::string> requests_;
};

// The value of a header line of a request text ("" when absent).
inline std::string header_of(const std::string &req, const std::string &name)
{
    std::string key = "\r\n" + name + ": ";
    size_t p = req.find(key);
    if (p == std::string::npos) return "";
    p += key.size();
    return req.substr(p, req.find("\r\n", p) - p);
}

} // namespace testsrv

#endif
