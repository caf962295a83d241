// The HTTP client transport against scripted servers on loopback: request
// heads, Digest and Basic answers to 401, TLS, time-outs and the overall
// limit, the fall-back address, uploads and downloads.

#include "http/http_cln.h"
#include "http_msg_fixture.h"
#include "platform/encoding.h"
#include "platform/md5.h"
#include "tests/support/child_output.h"
#include "tests/support/http_test_server.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using testsrv::Conn;
using testsrv::Server;

namespace
{

using testsrv::header_of;

std::string md5_hex(const std::string &s)
{
    uint8_t d[16];
    MD5String(s.data(), (int)s.size(), d);
    char hex[33];
    BinToHexStr(d, hex);
    return hex;
}

std::string b64(const std::string &s)
{
    char out[512];
    EXPECT_EQ(base64_encode((const uint8_t *)s.data(), (int)s.size(), out, sizeof(out)), 1);
    return out;
}

std::string param_of(const std::string &line, const std::string &name)
{
    std::smatch m;
    std::regex quoted("[ ,]" + name + "=\"([^\"]*)\"");
    if (std::regex_search(line, m, quoted)) return m[1];
    std::regex plain("[ ,]" + name + "=([^, \"]*)");
    if (std::regex_search(line, m, plain)) return m[1];
    return "";
}

std::string body_of(const std::string &req)
{
    size_t p = req.find("\r\n\r\n");
    return p == std::string::npos ? "" : req.substr(p + 4);
}

std::string ok_reply(const std::string &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string k401Digest = "HTTP/1.1 401 Unauthorized\r\n"
                               "WWW-Authenticate: Basic realm=\"x\"\r\n"
                               "WWW-Authenticate: Digest realm=\"r\", nonce=\"n\", "
                               "qop=\"auth,auth-int\", opaque=\"op\"\r\n"
                               "Content-Length: 0\r\n\r\n";

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * 131 + 7) & 0xFF);
    return s;
}

class HttpCln : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        memset(&conn_, 0, sizeof(conn_));
        memset(&peer_, 0, sizeof(peer_));
    }
    void TearDown() override
    {
        http_cln_free(&conn_);
        HttpPoolTest::TearDown();
    }

    void target(int port, const char *url = "/snap.jpg", const char *host = "127.0.0.1")
    {
        snprintf(conn_.host, sizeof(conn_.host), "%s", host);
        snprintf(conn_.url, sizeof(conn_.url), "%s", url);
        conn_.port = port;
    }

    // Download into a string; -1 when the call failed.
    int download(std::string *out, int timeout = 3000)
    {
        uint8_t *buf = nullptr;
        int len = -5;
        int r = http_onvif_download(&conn_, timeout, &buf, &len, &peer_);
        if (r == 1) {
            EXPECT_NE(buf, nullptr);
            if (buf) out->assign((const char *)buf, (size_t)len);
        } else {
            EXPECT_EQ(buf, nullptr);
            EXPECT_EQ(len, 0);
        }
        free(buf);
        return r;
    }

    std::string temp_file(const std::string &content)
    {
        char tmpl[] = "/tmp/http_cln_upload_XXXXXX";
        int fd = mkstemp(tmpl);
        EXPECT_GE(fd, 0);
        size_t pos = 0;
        for (int i = 0; i < 10000 && pos < content.size(); i++) {
            ssize_t w = write(fd, content.data() + pos, content.size() - pos);
            if (w <= 0) break;
            pos += (size_t)w;
        }
        close(fd);
        files_.push_back(tmpl);
        return tmpl;
    }
    ~HttpCln() override
    {
        for (auto &f : files_)
            unlink(f.c_str());
    }

    HTTP_CLIENT_CONN conn_;
    HTTP_PEER peer_;
    std::vector<std::string> files_;
};

// ---- request heads and plain exchanges ----

TEST_F(HttpCln, DownloadSendsTheExactHeadAndReturnsTheBody)
{
    std::string body = pattern(100000); // larger than the fixed receive buffer
    Server srv([&](Conn &c, int) {
        c.read_request();
        c.send(ok_reply(body));
    });
    ASSERT_TRUE(srv.ok());
    target(srv.port());
    std::string got;
    ASSERT_EQ(download(&got), 1);
    EXPECT_EQ(got, body);
    srv.stop();
    ASSERT_EQ(srv.requests().size(), 1u);
    EXPECT_EQ(srv.requests()[0],
              "GET /snap.jpg HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(srv.port()) +
                  "\r\nUser-Agent: Brisklane onvif client V10.0\r\n"
                  "Connection: close\r\n\r\n");
    EXPECT_EQ(conn_.sock, 0);
}

TEST_F(HttpCln, ChunkedReplyOverPlainAndTlsIsJoined)
{
    // Many camera web servers send their replies in chunks: here 4 KiB chunks
    // written one by one, the connection kept open after the last chunk.
    std::string body = pattern(100000);
    std::string wire =
        "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t at = 0; at < body.size(); at += 4096) {
        std::string part = body.substr(at, 4096);
        char size[16];
        snprintf(size, sizeof(size), "%zx\r\n", part.size());
        wire += size + part + "\r\n";
    }
    wire += "0\r\n\r\n";
    SSL_CTX *tls = testsrv::make_tls_server_ctx();
    ASSERT_NE(tls, nullptr);
    for (SSL_CTX *ctx : {(SSL_CTX *)nullptr, tls}) {
        Server srv(
            [&](Conn &c, int) {
                c.read_request();
                for (size_t at = 0; at < wire.size(); at += 5000)
                    c.send(wire.substr(at, 5000));
                c.wait_close(3000);
            },
            ctx);
        target(srv.port());
        conn_.req_flags = ctx ? HTTP_CLN_TLS : 0;
        std::string got;
        ASSERT_EQ(download(&got), 1);
        EXPECT_EQ(got, body);
    }
    SSL_CTX_free(tls);
}

TEST_F(HttpCln, DownloadNeedsBothOutPointers)
{
    uint8_t *buf = nullptr;
    int len = 0;
    EXPECT_EQ(http_onvif_download(&conn_, 1000, nullptr, &len, nullptr), 0);
    EXPECT_EQ(http_onvif_download(&conn_, 1000, &buf, nullptr, nullptr), 0);
    // (Statuses other than 200 and bodiless replies: tests/hostile.)
}

TEST_F(HttpCln, SoapRequestHeadAndBodyGoOutInOrder)
{
    std::string envelope = "<?xml version=\"1.0\"?><s:Envelope/>";
    Server srv([&](Conn &c, int) {
        c.read_request();
        c.send("HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nContent-Length: 4\r\n\r\n"
               "<a/>");
    });
    target(srv.port(), "/onvif/device_service");
    conn_.req_flags |= HTTP_CLN_BASIC_PLAIN; // Basic on plain HTTP, allowed for this test
    ASSERT_EQ(http_cln_connect(&conn_, 2000, nullptr, "test"), 0);
    EXPECT_EQ(http_cln_local_ip(&conn_), htonl(INADDR_LOOPBACK));
    http_cln_set_auth(&conn_, 0, "admin", "pw");
    ASSERT_EQ(http_cln_soap_tx(&conn_, "urn:act", envelope.c_str(), (int)envelope.size()), 0);
    ASSERT_EQ(http_cln_rx_timeout(&conn_, 2000), 0);
    ASSERT_NE(conn_.rx_msg, nullptr);
    EXPECT_EQ(conn_.rx_msg->code, 200u);
    EXPECT_STREQ(http_get_ctt(conn_.rx_msg), "<a/>");
    http_cln_close(&conn_);
    EXPECT_EQ(conn_.rx_msg, nullptr);
    EXPECT_EQ(conn_.req_flags & HTTP_CLN_AUTH, 0u);
    srv.stop();
    ASSERT_EQ(srv.requests().size(), 1u);
    EXPECT_EQ(
        srv.requests()[0],
        "POST /onvif/device_service HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(srv.port()) +
            "\r\nUser-Agent: Brisklane onvif client V10.0\r\n"
            "Content-Type: application/soap+xml; charset=utf-8; action=\"urn:act\"\r\n"
            "Content-Length: " +
            std::to_string(envelope.size()) + "\r\nAuthorization: Basic " + b64("admin:pw") +
            "\r\nConnection: close\r\n\r\n" + envelope);
}

// ---- authentication ----

TEST_F(HttpCln, DigestWithQopAnswersOnceWithAValidResponse)
{
    Server srv([&](Conn &c, int i) {
        c.read_request();
        c.send(i == 0 ? k401Digest : ok_reply("image"));
    });
    target(srv.port(), "/snap.jpg?x=1");
    snprintf(conn_.user, sizeof(conn_.user), "admin");
    snprintf(conn_.pass, sizeof(conn_.pass), "se:cret");
    std::string got;
    ASSERT_EQ(download(&got), 1);
    EXPECT_EQ(got, "image");
    srv.stop();
    auto reqs = srv.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(header_of(reqs[0], "Authorization"), "");

    std::string line = header_of(reqs[1], "Authorization");
    ASSERT_EQ(
        line.rfind("Digest username=\"admin\", realm=\"r\", nonce=\"n\", uri=\"/snap.jpg?x=1\", "
                   "response=\"",
                   0),
        0u)
        << line;
    EXPECT_NE(line.find("qop=\"auth\", cnonce=\""), std::string::npos) << line;
    EXPECT_NE(line.find(", nc=00000001"), std::string::npos) << line;
    EXPECT_NE(line.find(", opaque=\"op\""), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - 17), ", algorithm=\"MD5\"");
    std::string cnonce = param_of(line, "cnonce");
    EXPECT_TRUE(std::regex_match(cnonce, std::regex("[0-9A-F]{16}"))) << cnonce;
    // The server's check of the hash.
    std::string ha1 = md5_hex("admin:r:se:cret");
    std::string ha2 = md5_hex("GET:/snap.jpg?x=1");
    EXPECT_EQ(param_of(line, "response"), md5_hex(ha1 + ":n:00000001:" + cnonce + ":auth:" + ha2));
}

TEST_F(HttpCln, DigestWithoutQopUsesTheShortForm)
{
    Server srv([&](Conn &c, int i) {
        c.read_request();
        c.send(i == 0 ? "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: DIGEST realm=\"cam\", "
                        "nonce=\"abc123\"\r\nContent-Length: 0\r\n\r\n"
                      : ok_reply("ok"));
    });
    target(srv.port(), "/f");
    snprintf(conn_.user, sizeof(conn_.user), "u");
    snprintf(conn_.pass, sizeof(conn_.pass), "p");
    std::string got;
    ASSERT_EQ(download(&got), 1);
    srv.stop();
    auto reqs = srv.requests();
    ASSERT_EQ(reqs.size(), 2u);
    std::string line = header_of(reqs[1], "Authorization");
    std::string expect = md5_hex(md5_hex("u:cam:p") + ":abc123:" + md5_hex("GET:/f"));
    EXPECT_EQ(line, "Digest username=\"u\", realm=\"cam\", nonce=\"abc123\", uri=\"/f\", "
                    "response=\"" +
                        expect + "\", algorithm=\"MD5\"");
}

// The password of HTTP Basic is readable on the wire: it goes only over TLS,
// or where the caller allowed plain HTTP.
TEST_F(HttpCln, BasicIsAnsweredOnlyOverTlsOrWhereAllowed)
{
    SSL_CTX *tls = testsrv::make_tls_server_ctx();
    ASSERT_NE(tls, nullptr);
    struct Case {
        bool tls;
        bool allowed;
        bool upload;
        bool answered;
    } cases[] = {
        {false, false, false, false}, {false, false, true, false}, {false, true, false, true},
        {false, true, true, true},    {true, false, false, true},  {true, false, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.tls ? "tls" : "plain") + (c.allowed ? " allowed" : "") +
                     (c.upload ? " upload" : " download"));
        http_cln_free(&conn_);
        memset(&conn_, 0, sizeof(conn_));
        Server srv(
            [&](Conn &c2, int i) {
                c2.read_request();
                c2.send(i == 0 ? "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic "
                                 "realm=\"x\"\r\nContent-Length: 0\r\n\r\n"
                               : ok_reply("jpeg"));
            },
            c.tls ? tls : nullptr);
        target(srv.port());
        conn_.req_flags = (c.tls ? HTTP_CLN_TLS : 0u) | (c.allowed ? HTTP_CLN_BASIC_PLAIN : 0u);
        EXPECT_EQ(http_cln_basic_allowed(&conn_), c.tls || c.allowed ? 1 : 0);
        snprintf(peer_.user, sizeof(peer_.user), "operator");
        snprintf(peer_.pass, sizeof(peer_.pass), "p@ss:word");
        int r;
        if (c.upload) {
            std::string f = temp_file("firmware");
            r = http_onvif_file_upload(&conn_, 2000, f.c_str(), &peer_);
        } else {
            std::string got;
            r = download(&got);
        }
        srv.stop();
        auto reqs = srv.requests();
        if (c.answered) {
            EXPECT_EQ(r, 1);
            ASSERT_EQ(reqs.size(), 2u);
            EXPECT_EQ(header_of(reqs[1], "Authorization"), "Basic " + b64("operator:p@ss:word"));
            // The line stands right after User-Agent in both requests.
            EXPECT_NE(reqs[1].find("V10.0\r\nAuthorization: Basic "), std::string::npos);
        } else {
            EXPECT_EQ(r, 0);
            ASSERT_EQ(reqs.size(), 1u);
            EXPECT_EQ(header_of(reqs[0], "Authorization"), "");
            EXPECT_TRUE(log_.contains(
                std::string(c.upload ? "http_onvif_file_upload" : "http_onvif_download") +
                ", 127.0.0.1:" + std::to_string(srv.port()) +
                " offers only HTTP Basic over plain HTTP"));
        }
    }
    SSL_CTX_free(tls);

    // Nor does an armed Basic line ever go out on plain HTTP unless allowed.
    http_cln_free(&conn_);
    memset(&conn_, 0, sizeof(conn_));
    http_cln_set_auth(&conn_, 0, "admin", "pw");
    char line[256];
    EXPECT_EQ(http_cln_auth_line(&conn_, "GET", line, sizeof(line)), 0);
    conn_.req_flags |= HTTP_CLN_BASIC_PLAIN;
    EXPECT_GT(http_cln_auth_line(&conn_, "GET", line, sizeof(line)), 0);
}

// (The download case is in tests/hostile.)
TEST_F(HttpCln, ASecond401EndsAnUpload)
{
    Server up([&](Conn &c, int) {
        c.read_request();
        c.send(k401Digest);
    });
    target(up.port(), "/upgrade");
    std::string f = temp_file("firmware");
    EXPECT_EQ(http_onvif_file_upload(&conn_, 2000, f.c_str(), &peer_), 0);
    up.stop();
    EXPECT_EQ(up.accepted(), 2);
}

TEST_F(HttpCln, ChallengeParsingAndAuthLineBounds)
{
    // A Digest challenge without nonce counts as absent; nc only moves on a
    // good one, and goes out as eight hex digits.
    conn_.auth_info.nc_count = 25;
    for (const char *nonce : {"", ", nonce=\"n\""}) {
        HTTP_MSG *m = http_get_msg_buf();
        ASSERT_NE(m, nullptr);
        std::string t = std::string("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest "
                                    "realm=\"r\"") +
                        nonce + "\r\n\r\n";
        std::vector<char> text = buf_of(t);
        ASSERT_GT(http_msg_parse(text.data(), (int)t.size(), m), 0);
        EXPECT_EQ(http_cln_parse_challenge(&conn_, m), *nonce ? 1 : 0);
        http_free_msg(m);
    }
    EXPECT_EQ(conn_.auth_info.nc_count, 26u);
    EXPECT_STRCASEEQ(conn_.auth_info.nc_text, "0000001a");

    // Fields filled to their limits still give a line, or -1 when the buffer is short.
    memset(conn_.auth_info.user, 'u', sizeof(conn_.auth_info.user) - 1);
    memset(conn_.auth_info.realm, 'r', sizeof(conn_.auth_info.realm) - 1);
    memset(conn_.auth_info.nonce, 'n', sizeof(conn_.auth_info.nonce) - 1);
    memset(conn_.auth_info.uri, '/', sizeof(conn_.auth_info.uri) - 1);
    memset(conn_.auth_info.opaque, 'o', sizeof(conn_.auth_info.opaque) - 1);
    memset(conn_.auth_info.cnonce, 'C', sizeof(conn_.auth_info.cnonce) - 1);
    snprintf(conn_.auth_info.qop, sizeof(conn_.auth_info.qop), "auth-int");
    snprintf(conn_.auth_info.nc_text, sizeof(conn_.auth_info.nc_text), "00000001");
    conn_.auth_mode = HTTP_AUTH_DIGEST;
    char line[2048];
    int n = http_cln_auth_line(&conn_, "POST", line, sizeof(line));
    ASSERT_GT(n, 0);
    EXPECT_EQ((size_t)n, strlen(line));
    EXPECT_STREQ(conn_.auth_info.qop, "auth"); // whatever the server offered
    char small[100];
    EXPECT_EQ(http_cln_auth_line(&conn_, "POST", small, sizeof(small)), -1);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(http_cln_auth_line(&conn_, "POST", line, n), -1); // one byte short for the NUL
    EXPECT_EQ(http_cln_auth_line(&conn_, "POST", line, n + 1), n);
    conn_.auth_mode = 7;
    EXPECT_EQ(http_cln_auth_line(&conn_, "POST", line, sizeof(line)), 0);
}

TEST_F(HttpCln, ServerSideDigestReader)
{
    auto read = [&](const std::string &auth, DIGEST_INFO *info) {
        HTTP_MSG *m = http_get_msg_buf();
        EXPECT_NE(m, nullptr);
        if (!m) return -1;
        std::string t = "GET /x HTTP/1.1\r\nHost: a\r\n" + auth + "\r\n\r\n";
        std::vector<char> text = buf_of(t);
        int r = -1;
        if (http_msg_parse(text.data(), (int)t.size(), m) > 0)
            r = http_get_auth_digest_info(m, info);
        http_free_msg(m);
        return r;
    };
    DIGEST_INFO info;
    memset(&info, 0, sizeof(info));
    const std::string base =
        "Authorization: Digest username=\"bob\", realm=\"r\", nonce=\"n\", uri=\"/x\", "
        "response=\"0123456789abcdef0123456789abcdef\"";
    EXPECT_EQ(read(base, &info), 1);
    EXPECT_STREQ(info.user, "bob");
    EXPECT_STREQ(info.qop, "");
    EXPECT_EQ(info.nc_count, 0u);
    EXPECT_EQ(read(base + ", qop=auth, nc=0000001f, cnonce=\"c\"", &info), 1);
    EXPECT_EQ(info.nc_count, 31u);
    EXPECT_STREQ(info.cnonce, "c");
    EXPECT_EQ(read(base + ", qop=auth, nc=00g1, cnonce=\"c\"", &info), 0);
    EXPECT_EQ(read("Authorization: Basic Ym9iOnB3", &info), 0);
    EXPECT_EQ(read("Authorization: Digestive username=\"bob\"", &info), 0);
    EXPECT_EQ(
        read("Authorization: Digest username=\"bob\", realm=\"r\", nonce=\"n\", uri=\"/x\"", &info),
        0); // no response
    EXPECT_EQ(read("X-Other: 1", &info), 0);
    // A user name longer than its field is cut, never overrun.
    std::string longname(200, 'L');
    EXPECT_EQ(read("Authorization: Digest username=\"" + longname +
                       "\", realm=\"r\", nonce=\"n\", uri=\"/x\", response=\"0\"",
                   &info),
              1);
    EXPECT_EQ(strlen(info.user), sizeof(info.user) - 1);
}

// ---- TLS ----

// Later connections to the same host:port resume the session of an earlier
// one (also within one call: the request after a 401), with TLS 1.2 and 1.3;
// another port of the same host does not get that session. No certificate
// check, no server name, and the context is released after each call.
TEST_F(HttpCln, TlsResumesPerAddressWithBothVersions)
{
    for (int version : {TLS1_2_VERSION, TLS1_3_VERSION}) {
        SSL_CTX *tls = testsrv::make_tls_server_ctx();
        SSL_CTX *other_tls = testsrv::make_tls_server_ctx();
        ASSERT_NE(tls, nullptr);
        ASSERT_NE(other_tls, nullptr);
        for (SSL_CTX *ctx : {tls, other_tls}) {
            SSL_CTX_set_min_proto_version(ctx, version);
            SSL_CTX_set_max_proto_version(ctx, version);
        }
        std::string body = pattern(50000);
        auto handler = [&](Conn &c, int i) {
            c.read_request();
            c.send(i == 0 ? k401Digest : ok_reply(body));
        };
        {
            Server srv(handler, tls);
            Server other(handler, other_tls);
            for (int call = 0; call < 3; call++) {
                http_cln_free(&conn_);
                memset(&conn_, 0, sizeof(conn_));
                target(srv.port());
                conn_.req_flags = HTTP_CLN_TLS;
                std::string got;
                ASSERT_EQ(download(&got), 1) << version << " call " << call;
                EXPECT_EQ(got, body);
                EXPECT_EQ(conn_.ssl_ctx, nullptr);
            }
            http_cln_free(&conn_);
            memset(&conn_, 0, sizeof(conn_));
            target(other.port());
            conn_.req_flags = HTTP_CLN_TLS;
            std::string got;
            EXPECT_EQ(download(&got), 1);
            srv.stop();
            other.stop();
            EXPECT_EQ(srv.accepted(), 4) << version;
            EXPECT_EQ(srv.tls_failures(), 0) << version;
            EXPECT_FALSE(srv.saw_sni());
            EXPECT_EQ(srv.resumed(), 3) << version; // all but the first handshake
            EXPECT_EQ(other.accepted(), 2) << version;
            EXPECT_EQ(other.resumed(), 1) << version; // its own first one was full
        }
        SSL_CTX_free(tls);
        SSL_CTX_free(other_tls);
    }
}

// A server that no longer knows the session (here: a new server key on the
// same address) gets a full handshake and the call still succeeds; so do
// many threads that share the process's context and session table at once.
TEST_F(HttpCln, TlsFallsBackToAFullHandshakeAndSharesTheContextAcrossThreads)
{
    const int kThreads = 6, kCalls = 4;
    std::string body = pattern(1000);
    int port = 0;
    for (int round = 0; round < 2; round++) {
        SSL_CTX *tls = testsrv::make_tls_server_ctx();
        ASSERT_NE(tls, nullptr);
        {
            Server srv(
                [&](Conn &c, int) {
                    c.read_request();
                    c.send(ok_reply(body));
                },
                tls, kThreads * kCalls, port);
            ASSERT_TRUE(srv.ok());
            port = srv.port();
            std::atomic<int> ok{0};
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; t++) {
                threads.emplace_back([&] {
                    for (int i = 0; i < kCalls; i++) {
                        HTTP_CLIENT_CONN conn;
                        memset(&conn, 0, sizeof(conn));
                        snprintf(conn.host, sizeof(conn.host), "127.0.0.1");
                        snprintf(conn.url, sizeof(conn.url), "/x");
                        conn.port = port;
                        conn.req_flags = HTTP_CLN_TLS;
                        uint8_t *buf = nullptr;
                        int len = 0;
                        if (http_onvif_download(&conn, 5000, &buf, &len, nullptr) == 1 &&
                            std::string((char *)buf, (size_t)len) == body)
                            ok++;
                        free(buf);
                    }
                });
            }
            for (auto &t : threads)
                t.join();
            srv.stop();
            EXPECT_EQ(ok.load(), kThreads * kCalls) << "round " << round;
            EXPECT_EQ(srv.tls_failures(), 0);
            // Round 1 starts with the sessions of round 0's server: the first
            // handshakes offer them, are refused, and complete in full.
            EXPECT_GT(srv.resumed(), 0);
            EXPECT_LT(srv.resumed(), kThreads * kCalls);
        }
        SSL_CTX_free(tls);
    }
}

TEST_F(HttpCln, SilentTlsServerDoesNotHoldTheHandshake)
{
    Server srv([&](Conn &c, int) { c.wait_close(5000); });
    target(srv.port());
    conn_.req_flags = HTTP_CLN_TLS;
    auto t0 = testsrv::Clock::now();
    std::string got;
    EXPECT_EQ(download(&got, 300), 0);
    EXPECT_GE(testsrv::ms_since(t0), 250);
    EXPECT_TRUE(log_.contains("SSL_connect failed!"));
}

TEST_F(HttpCln, UploadToAPeerThatClosesDoesNotRaiseSigpipe)
{
    SSL_CTX *tls = testsrv::make_tls_server_ctx();
    ASSERT_NE(tls, nullptr);
    for (SSL_CTX *ctx : {(SSL_CTX *)nullptr, tls}) {
        Server srv([&](Conn &c, int) { shutdown(c.fd(), SHUT_RDWR); }, ctx);
        target(srv.port(), "/up");
        conn_.req_flags = ctx ? HTTP_CLN_TLS : 0u;
        std::string f = temp_file(pattern(8 << 20));
        EXPECT_EQ(http_onvif_file_upload(&conn_, 2000, f.c_str(), &peer_), 0)
            << (ctx ? "tls" : "plain");
    }
    SSL_CTX_free(tls);
}

// ---- time limits ----

TEST_F(HttpCln, TlsRecordTrickledByteByByteIsCutByTheOverallLimit)
{
    SSL_CTX *tls = testsrv::make_tls_server_ctx();
    ASSERT_NE(tls, nullptr);
    {
        Server srv(
            [&](Conn &c, int) {
                c.read_request();
                // The whole reply as TLS records in memory, then its bytes one by one:
                // the client never has a complete record to decrypt.
                BIO *mem = BIO_new(BIO_s_mem());
                SSL_set0_wbio(c.ssl(), mem);
                std::string reply = ok_reply(pattern(8000));
                SSL_write(c.ssl(), reply.data(), (int)reply.size());
                char *bytes = nullptr;
                long len = BIO_get_mem_data(mem, &bytes);
                auto t0 = testsrv::Clock::now();
                for (long i = 0; i < len && testsrv::ms_since(t0) < 5000; i++) {
                    if (::send(c.fd(), bytes + i, 1, MSG_NOSIGNAL) != 1) break;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            },
            tls);
        target(srv.port());
        conn_.req_flags = HTTP_CLN_TLS;
        conn_.rx_limit_ms = 700;
        auto t0 = testsrv::Clock::now();
        std::string got;
        EXPECT_EQ(download(&got, 300), 0);
        EXPECT_GE(testsrv::ms_since(t0), 650);
        // Held inside SSL_read, the call would end only when the server stops.
        EXPECT_TRUE(log_.contains("http_cln_rx_timeout, overall time limit!!!"));
    }
    SSL_CTX_free(tls);
}

TEST_F(HttpCln, TlsUploadToASlowReaderIsCutByTheOverallLimit)
{
    SSL_CTX *tls = testsrv::make_tls_server_ctx();
    ASSERT_NE(tls, nullptr);
    {
        Server srv(
            [&](Conn &c, int) {
                // Reads, but slowly: the client always has something to wait for.
                // A quiet spell (a busy machine) is no reason to hang up: only
                // the client's own close ends the reading.
                std::vector<char> buf(65536);
                auto t0 = testsrv::Clock::now();
                while (testsrv::ms_since(t0) < 5000 &&
                       c.read_some(buf.data(), (int)buf.size(), 200) != 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            },
            tls);
        target(srv.port(), "/up");
        conn_.req_flags = HTTP_CLN_TLS;
        conn_.rx_limit_ms = 1500;
        std::string f = temp_file(pattern(32 << 20));
        // 32 MiB at most 6.4 MB/s: the transfer would outlast the limit. On a
        // loaded machine the handshake itself may be what runs out of time, so
        // the check is on the limit, not on which step hit it. The idle
        // time-out is above the limit, so a stall of the reader cannot end
        // the upload first.
        EXPECT_EQ(http_onvif_file_upload(&conn_, 5000, f.c_str(), &peer_), 0);
        EXPECT_TRUE(log_.contains(", overall time limit!!!")) << log_.text();
    }
    SSL_CTX_free(tls);
}

// ---- connecting ----

TEST_F(HttpCln, NoFallbackWhenTheHostIsAlreadyTheDiscoveredOne)
{
    Server srv([&](Conn &c, int) { c.read_request(); });
    int port = srv.port();
    srv.stop(); // nothing listens any more
    target(port, "/x", "LOCALHOST");
    snprintf(peer_.fallback.host, sizeof(peer_.fallback.host), "localhost");
    peer_.fallback.port = port;
    std::string got;
    EXPECT_EQ(download(&got, 500), 0);
    EXPECT_STREQ(conn_.host, "LOCALHOST"); // untouched: compared ignoring case
}

TEST_F(HttpCln, TcpConnectNeverReturnsDescriptorZero)
{
    Server srv([&](Conn &c, int) { c.wait_close(2000); });
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    close(0); // the next socket would be fd 0
    int s = tcp_connect_timeout(htonl(INADDR_LOOPBACK), srv.port(), 1000);
    dup2(saved, 0);
    close(saved);
    EXPECT_GT(s, 0);
    if (s > 0) close(s);

    EXPECT_EQ(tcp_connect_timeout(0, srv.port(), 100), 0);
    EXPECT_EQ(tcp_connect_timeout(htonl(INADDR_LOOPBACK), 0, 100), 0);
    EXPECT_EQ(tcp_connect_timeout(htonl(INADDR_LOOPBACK), 70000, 100), 0);
    int t = tcp_connect("127.0.0.1", srv.port(), 1000);
    EXPECT_GT(t, 0);
    if (t > 0) close(t);
    srv.stop();
    EXPECT_EQ(tcp_connect_timeout(htonl(INADDR_LOOPBACK), srv.port(), 500), 0); // refused
    EXPECT_EQ(tcp_connect("127.0.0.1", srv.port(), 500), -1);
    EXPECT_EQ(tcp_connect(nullptr, 80, 500), -1);
}

// ---- uploads ----

TEST_F(HttpCln, UploadOfAnEmptyFileSendsNothing)
{
    Server srv([&](Conn &c, int) { c.read_request(); });
    target(srv.port(), "/upgrade");
    std::string f = temp_file("");
    EXPECT_EQ(http_onvif_file_upload(&conn_, 1000, f.c_str(), &peer_), 0);
    EXPECT_EQ(http_onvif_file_upload(&conn_, 1000, "/nonexistent/dir/file.bin", &peer_), 0);
    EXPECT_EQ(http_onvif_file_upload(&conn_, 1000, "/tmp", &peer_), 0); // a directory
    EXPECT_EQ(http_onvif_file_upload(&conn_, 1000, nullptr, &peer_), 0);
    srv.stop();
    EXPECT_EQ(srv.accepted(), 0);
}

TEST_F(HttpCln, UploadSendsTheFileBytesAfterTheHead)
{
    std::string content = pattern(300000);
    Server srv([&](Conn &c, int i) {
        c.read_request();
        c.send(i == 0
                   ? k401Digest
                   : "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Type: text/plain\r\n\r\nok");
    });
    target(srv.port(), "/cgi/upgrade");
    snprintf(conn_.user, sizeof(conn_.user), "admin");
    snprintf(conn_.pass, sizeof(conn_.pass), "pw");
    std::string f = temp_file(content);
    EXPECT_EQ(http_onvif_file_upload(&conn_, 3000, f.c_str(), &peer_), 1);
    srv.stop();
    auto reqs = srv.requests();
    ASSERT_EQ(reqs.size(), 2u);
    for (auto &r : reqs) {
        EXPECT_EQ(body_of(r), content);
        EXPECT_EQ(header_of(r, "User-Agent"), "Vazaredade onvif client V10.0");
        EXPECT_EQ(header_of(r, "Content-Type"), "application/octet-stream");
        EXPECT_EQ(header_of(r, "Content-Length"), std::to_string(content.size()));
    }
    EXPECT_EQ(reqs[0].rfind("POST /cgi/upgrade HTTP/1.1\r\n", 0), 0u);
    std::string line = header_of(reqs[1], "Authorization");
    std::string cnonce = param_of(line, "cnonce");
    EXPECT_EQ(param_of(line, "response"), md5_hex(md5_hex("admin:r:pw") + ":n:00000001:" + cnonce +
                                                  ":auth:" + md5_hex("POST:/cgi/upgrade")));
    // In an upload the Authorization line comes before Content-Type.
    EXPECT_LT(reqs[1].find("Authorization:"), reqs[1].find("Content-Type:"));
}

// A firmware image goes out from disk piece by piece: with the process's
// data memory capped far below the file's size, the upload still succeeds.
TEST_F(HttpCln, UploadStreamsTheFileWithoutHoldingItInMemory)
{
    const size_t fsize = 192u << 20;
    std::atomic<size_t> received{0};
    Server srv([&](Conn &c, int) {
        std::string head;
        char buf[65536];
        size_t want = 0;
        for (int i = 0; i < 100000; i++) {
            int n = c.read_some(buf, sizeof(buf), 3000);
            if (n <= 0) return;
            if (want == 0) {
                head.append(buf, (size_t)n);
                size_t end = head.find("\r\n\r\n");
                if (end == std::string::npos) continue;
                want = (size_t)atol(header_of(head, "Content-Length").c_str());
                received += head.size() - end - 4;
            } else {
                received += (size_t)n;
            }
            if (want > 0 && received >= want) break;
        }
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    });
    target(srv.port(), "/upgrade");
    std::string f = temp_file("");
    ASSERT_EQ(truncate(f.c_str(), (off_t)fsize), 0); // sparse: no disk used

    auto out = childout::outputs_of_children(
        1,
        [&] {
            // Data memory capped at what the child has plus 64 MiB.
            long kb = 0;
            std::ifstream st("/proc/self/status");
            std::string line;
            for (int i = 0; i < 1000 && std::getline(st, line); i++)
                if (line.rfind("VmData:", 0) == 0) kb = atol(line.c_str() + 7);
            struct rlimit rl;
            rl.rlim_cur = rl.rlim_max = (rlim_t)(kb + 65536) * 1024;
            if (kb <= 0 || setrlimit(RLIMIT_DATA, &rl) != 0) return std::string("no limit");
            return std::to_string(http_onvif_file_upload(&conn_, 10000, f.c_str(), &peer_));
        },
        60000);
    srv.stop();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "1");
    EXPECT_EQ(received.load(), fsize);
}

// A file that shrinks under the upload ends it instead of sending too little.
TEST_F(HttpCln, UploadOfAFileCutShortFails)
{
    // Larger than what the socket buffers take at once, so the client is
    // still reading the file when it shrinks.
    std::string f = temp_file("");
    ASSERT_EQ(truncate(f.c_str(), 64 << 20), 0);
    Server srv([&](Conn &c, int) {
        char buf[4096];
        if (c.read_some(buf, sizeof(buf), 3000) > 0) {
            EXPECT_EQ(truncate(f.c_str(), 1000), 0); // cut while the body is on its way
        }
        c.wait_close(5000);
    });
    target(srv.port(), "/upgrade");
    EXPECT_EQ(http_onvif_file_upload(&conn_, 3000, f.c_str(), &peer_), 0);
    EXPECT_TRUE(log_.contains("http_onvif_file_upload, read file failed at "));
}

} // namespace
