// HTTP message parsing: start lines, header lines, content headers, bodies,
// header lookup, the record pool and its exhaustion.

#include "http_msg_fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace
{

class HttpMsg : public HttpPoolTest
{
  protected:
    // Parses the head of `text` (exactly the head) into a fresh record kept in
    // msg_; returns part 1's result. The text lives in buf_.
    int head(const std::string &text)
    {
        buf_ = buf_of(text);
        msg_ = http_get_msg_buf();
        if (!msg_) return -2;
        return http_msg_parse_part1(buf_.data(), (int)text.size(), msg_);
    }
    void TearDown() override
    {
        http_free_msg(msg_);
        msg_ = nullptr;
        HttpPoolTest::TearDown();
    }
    std::vector<std::string> header_names()
    {
        std::vector<std::string> names;
        HDRV *h = (HDRV *)pps_lookup_start(&msg_->headers);
        for (int i = 0; h && i < 1000; i++) {
            names.push_back(h->header);
            h = (HDRV *)pps_lookup_next(&msg_->headers, h);
        }
        pps_lookup_end(&msg_->headers);
        return names;
    }

    std::vector<char> buf_;
    HTTP_MSG *msg_ = nullptr;
};

TEST_F(HttpMsg, ResponsesParseStatusAndIgnoreVersionCase)
{
    std::string t = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\"\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(msg_->msg_type, HTTP_MSG_RESPONSE);
    EXPECT_EQ(msg_->code, 401u);
    EXPECT_STREQ(msg_->first_word, "HTTP/1.1");
    EXPECT_STREQ(msg_->line_rest, "401 Unauthorized");
    EXPECT_EQ(msg_->header_len, (int)strlen("WWW-Authenticate: Digest realm=\"r\"\r\n\r\n"));
    http_free_msg(msg_);

    t = "http/1.0 200 OK\r\nServer: x\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(msg_->msg_type, HTTP_MSG_RESPONSE);
    EXPECT_EQ(msg_->code, 200u);
    EXPECT_STREQ(msg_->first_word, "http/1.0");
}

TEST_F(HttpMsg, RequestMethodsIgnoreCaseAndUnknownGetsZero)
{
    struct {
        const char *name;
        uint32_t code;
    } cases[] = {{"GET", HTTP_METHOD_GET},
                 {"head", HTTP_METHOD_HEAD},
                 {"M-POST", HTTP_METHOD_M_POST},
                 {"M-SEARCH", HTTP_METHOD_M_SEARCH},
                 {"NOTIFY", HTTP_METHOD_NOTIFY},
                 {"Post", HTTP_METHOD_POST},
                 {"SUBSCRIBE", HTTP_METHOD_SUBSCRIBE},
                 {"UNSUBSCRIBE", HTTP_METHOD_UNSUBSCRIBE},
                 {"FOO", 0}};
    for (auto &c : cases) {
        std::string t = std::string(c.name) + " /x HTTP/1.1\r\nHost: a\r\n\r\n";
        ASSERT_EQ(head(t), (int)t.size()) << c.name;
        EXPECT_EQ(msg_->msg_type, HTTP_MSG_REQUEST);
        EXPECT_EQ(msg_->code, c.code) << c.name;
        EXPECT_STREQ(msg_->first_word, c.name);
        EXPECT_STREQ(msg_->line_rest, "/x HTTP/1.1");
        http_free_msg(msg_);
        msg_ = nullptr;
    }
}

TEST_F(HttpMsg, FirstWordLengthIsBounded)
{
    std::string w30(30, 'A');
    std::string t = w30 + " /x HTTP/1.1\r\nHost: a\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(std::string(msg_->first_word), w30);
    http_free_msg(msg_);
}

TEST_F(HttpMsg, MalformedHeadsFail)
{
    const std::string bad[] = {
        std::string(31, 'A') + " /x HTTP/1.1\r\nHost: a\r\n\r\n",   // first word too long
        std::string(3000, 'B') + " /x HTTP/1.1\r\nHost: a\r\n\r\n", // far too long
        " \r\nHost: a\r\n\r\n",                                     // empty first word
        "HTTP/1.1 OK\r\nA: b\r\n\r\n",                              // no status
        "HTTP/1.1 2x0 OK\r\nA: b\r\n\r\n",                          // not all digits
        "HTTP/1.1\r\nA: b\r\n\r\n",                                 // nothing behind the version
        "HTTP/1.1 1234567890 X\r\nA: b\r\n\r\n",                    // would overflow
        "GET / HTTP/1.1\r\nHost a\r\n\r\n",                         // no colon
        "GET / HTTP/1.1\r\n: novalue\r\n\r\n",                      // no name
        "GET / HTTP/1.1\r\n",                                       // no header, no empty line
        "GET / HTTP/1.1\r\nHost: a",                                // a line without its end
        "GET / HTTP/1.1\r\nHost: a\r\n" + std::string(1, '\0') + "X: y\r\n\r\n", // no endless loop
    };
    for (const std::string &t : bad) {
        EXPECT_EQ(head(t), -1) << t;
        if (t.rfind("HTTP/", 0) == 0) {
            EXPECT_EQ(msg_->msg_type, HTTP_MSG_UNPARSED) << t;
        }
        http_free_msg(msg_);
        msg_ = nullptr;
    }
}

TEST_F(HttpMsg, RequestUriCopyRespectsOutputSize)
{
    std::string t = "POST /onvif/events HTTP/1.1\r\nHost: a\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    char out[32];
    memset(out, 'Z', sizeof(out));
    EXPECT_EQ(http_get_headline_uri(msg_, out, sizeof(out)), 1);
    EXPECT_STREQ(out, "/onvif/events");

    // "/onvif/events" is 13 characters: a 14-byte output fits, 13 doesn't.
    char exact[14];
    EXPECT_EQ(http_get_headline_uri(msg_, exact, sizeof(exact)), 1);
    EXPECT_STREQ(exact, "/onvif/events");
    std::vector<char> small(14, 'Z');
    EXPECT_EQ(http_get_headline_uri(msg_, small.data(), 13), 0);
    EXPECT_EQ(small[13], 'Z'); // nothing written past the given size
}

TEST_F(HttpMsg, HeaderNamesAndValuesKeptInOrder)
{
    std::string t = "GET / HTTP/1.1\r\nFoo:bar\r\nServer: s\r\n  Foo  :  bar  \r\nX-Empty:\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(header_names(), (std::vector<std::string>{"Foo", "Server", "Foo", "X-Empty"}));
    HDRV *first = http_find_headline(msg_, "foo");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->value_string, "bar");
    HDRV *second = http_find_headline_next(msg_, "FOO", first);
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->value_string, "bar  "); // trailing blanks kept
    EXPECT_EQ(http_find_headline_next(msg_, "Foo", second), nullptr);
    EXPECT_STREQ(http_get_headline(msg_, "x-empty"), "");
    EXPECT_EQ(http_get_headline(msg_, "Missing"), nullptr);
}

TEST_F(HttpMsg, HeaderLineContinuesAfterComma)
{
    std::string t = "GET / HTTP/1.1\r\nAccept: a,\r\n b\r\nHost: h\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_STREQ(http_get_headline(msg_, "Accept"), "a,   b");
    EXPECT_STREQ(http_get_headline(msg_, "Host"), "h");
}

TEST_F(HttpMsg, LongHeaderNamesAreCutTo31)
{
    std::string n31(31, 'n');
    std::string n32 = n31 + "X";
    std::string huge(1500, 'h');
    std::string t = "GET / HTTP/1.1\r\n" + n31 + ": a\r\n" + n32 + ": b\r\n" + huge + ": c\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    std::vector<std::string> names = header_names();
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], n31);
    EXPECT_EQ(names[1], n31);
    EXPECT_EQ(names[2], std::string(31, 'h'));
    HDRV *h = http_find_headline(msg_, n31.c_str());
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->value_string, "a");
    h = http_find_headline_next(msg_, n31.c_str(), h);
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->value_string, "b");
}

TEST_F(HttpMsg, LfOnlyHeadParses)
{
    std::string t = "HTTP/1.1 200 OK\nA: 1\nB: 2\n\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_STREQ(http_get_headline(msg_, "A"), "1");
    EXPECT_STREQ(http_get_headline(msg_, "B"), "2");
}

TEST_F(HttpMsg, FindEndAndMessageStart)
{
    EXPECT_EQ(http_pkt_find_end("GET / HTTP/1.1\r\nA: b\r\n\r\nbody"), 24);
    EXPECT_EQ(http_pkt_find_end("GET / HTTP/1.1\nA: b\n\nbody"), 21);
    // Whichever comes first.
    EXPECT_EQ(http_pkt_find_end("a\n\nb\r\n\r\n"), 3);
    EXPECT_EQ(http_pkt_find_end("GET / HTTP/1.1\r\nA: b\r\n"), 0);
    EXPECT_EQ(http_pkt_find_end("abc\r\n\r"), 0);
    EXPECT_EQ(http_pkt_find_end(""), 0);

    const char *yes[] = {"GET",          "HEAD /",       "M-POST",    "M-SEARCH * HTTP/1.1",
                         "NOTIFY",       "POST /x",      "SUBSCRIBE", "UNSUBSCRIBE",
                         "HTTP/1.1 200", "HTTP/1.0 404", "GETX"};
    for (const char *s : yes)
        EXPECT_EQ(http_is_http_msg(s), 1) << s;
    const char *no[] = {"get / HTTP/1.1", "HTTP/2 200", "HTTP/1.", "PUT / HTTP/1.1", " GET", ""};
    for (const char *s : no)
        EXPECT_EQ(http_is_http_msg(s), 0) << s;
}

TEST_F(HttpMsg, ContentTypes)
{
    struct {
        const char *value;
        uint32_t code;
    } cases[] = {
        {"application/sdp", HTTP_CTT_SDP},
        {"text/plain", HTTP_CTT_TEXT},
        {"text/html; charset=utf-8", HTTP_CTT_HTML},
        {"application/soap+xml", HTTP_CTT_SOAP_XML},
        {"application/soap+xml; charset=utf-8", HTTP_CTT_SOAP_XML},
        {"application/soap+xml; charset=utf-8; action=x", HTTP_CTT_SOAP_XML},
        {"Application/SOAP+XML;charset=utf-8", HTTP_CTT_SOAP_XML},
        {"application/octet-stream", HTTP_CTT_OCTET_STREAM},
        {"image/jpeg", HTTP_CTT_JPEG},
        {"application/x-rtsp-tunnelled", HTTP_CTT_RTSP_TUNNEL},
        {"multipart/x-mixed-replace; boundary=abc", HTTP_CTT_MULTIPART},
        {"text/xml; charset=utf-8", HTTP_CTT_NONE},
        {"application/soap+xmlx", HTTP_CTT_NONE},
        {"", HTTP_CTT_NONE},
    };
    for (auto &c : cases) {
        std::string t = std::string("HTTP/1.1 200 OK\r\nContent-Type: ") + c.value +
                        "\r\nContent-Length: 5\r\n\r\n";
        ASSERT_EQ(head(t), (int)t.size()) << c.value;
        EXPECT_EQ(msg_->content_type, c.code) << c.value;
        EXPECT_EQ(msg_->content_len, 5);
        EXPECT_EQ(http_ctt_parse(msg_), c.code != HTTP_CTT_NONE ? 1 : 0) << c.value;
        http_free_msg(msg_);
        msg_ = nullptr;
    }
    // A first word of 64 characters or more matches nothing.
    std::string t =
        "HTTP/1.1 200 OK\r\nContent-Type: application/" + std::string(60, 'x') + "\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(msg_->content_type, (uint32_t)HTTP_CTT_NONE);
}

TEST_F(HttpMsg, MultipartBoundary)
{
    std::string t = "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace; "
                    "boundary=--myboundary\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(msg_->content_type, (uint32_t)HTTP_CTT_MULTIPART);
    EXPECT_STREQ(msg_->boundary, "myboundary");
    http_free_msg(msg_);

    // 255 characters fit; a longer boundary is cut to 255.
    for (size_t n : {255u, 256u, 1000u}) {
        std::string b(n, 'q');
        t = "HTTP/1.1 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=" + b + "\r\n\r\n";
        ASSERT_EQ(head(t), (int)t.size());
        EXPECT_EQ(std::string(msg_->boundary), std::string(255, 'q')) << n;
        http_free_msg(msg_);
        msg_ = nullptr;
    }

    // Only for the multipart type.
    t = "HTTP/1.1 200 OK\r\nContent-Type: text/plain; boundary=zz\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_STREQ(msg_->boundary, "");
}

TEST_F(HttpMsg, ContentLengthValues)
{
    struct {
        const char *value;
        int len;
    } good[] = {{"0", 0}, {"17", 17}, {"  42  ", 42}, {"67108864", HTTP_MAX_CONTENT_LEN}};
    for (auto &c : good) {
        std::string t = std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + c.value + "\r\n\r\n";
        ASSERT_EQ(head(t), (int)t.size()) << c.value;
        EXPECT_EQ(msg_->content_len, c.len) << c.value;
        http_free_msg(msg_);
        msg_ = nullptr;
    }
    // A later Content-Length overrides an earlier one.
    std::string t = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\ncontent-length: 9\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(msg_->content_len, 9);
    http_free_msg(msg_);
    msg_ = nullptr;

    // Absent: 0.
    t = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(msg_->content_len, 0);
    EXPECT_EQ(http_ctt_parse(msg_), 0);
}

// One-shot parse: a body of a known text type is attached (also behind a
// head of bare LFs), one of another type is not, and a Content-Length beyond
// the given bytes fails; a text body shorter than announced is only logged.
TEST_F(HttpMsg, OneShotParse)
{
    const std::string nul_body = std::string("ab") + '\0' + "cde";
    struct Case {
        std::string text;
        int ret; // 0: the whole length
        const char *body;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml; charset=utf-8\r\n"
         "Content-Length: 13\r\n\r\n<s:Envelope/>",
         0, "<s:Envelope/>"},
        {"HTTP/1.1 200 OK\nContent-Type: text/plain\nContent-Length: 3\n\nabc", 0, "abc"},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 3\r\n\r\nabc", 0, nullptr},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 50\r\n\r\nabc", -1,
         nullptr},
        {"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n\r\n" + nul_body, 0,
         "ab"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        buf_ = buf_of(c.text);
        msg_ = http_get_msg_buf();
        ASSERT_NE(msg_, nullptr);
        EXPECT_EQ(http_msg_parse(buf_.data(), (int)c.text.size(), msg_),
                  c.ret ? c.ret : (int)c.text.size());
        if (c.body) {
            ASSERT_NE(http_get_ctt(msg_), nullptr);
            EXPECT_STREQ(http_get_ctt(msg_), c.body);
            HDRV *h = http_find_ctt_headline(msg_, "");
            ASSERT_NE(h, nullptr);
            EXPECT_EQ(h->value_string, http_get_ctt(msg_));
        } else {
            EXPECT_EQ(http_get_ctt(msg_), nullptr);
        }
        http_free_msg(msg_);
        msg_ = nullptr;
    }
}

TEST_F(HttpMsg, BodyAttachReportsTextLength)
{
    std::string t = "POST / HTTP/1.1\r\nContent-Type: application/soap+xml\r\nContent-Length: "
                    "5\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    char body[6] = {'a', 'b', '\0', 'd', 'e', '\0'};
    EXPECT_EQ(http_msg_parse_part2(body, 5, msg_), 2);
    EXPECT_EQ(http_get_ctt(msg_), body);
    http_free_msg(msg_);

    t = "POST / HTTP/1.1\r\nContent-Type: image/jpeg\r\nContent-Length: 5\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    EXPECT_EQ(http_msg_parse_part2(body, 5, msg_), 5); // binary: the given length
}

TEST_F(HttpMsg, RecordPoolExhaustion)
{
    std::vector<HTTP_MSG *> got;
    for (int i = 0; i < kMsgs; i++) {
        HTTP_MSG *m = i % 2 ? http_get_msg_buf() : http_get_msg_large_buf(3000);
        ASSERT_NE(m, nullptr);
        EXPECT_NE(m->msg_buf, nullptr);
        EXPECT_EQ(m->msg_buf_size, i % 2 ? 2048 : 3000);
        got.push_back(m);
    }
    EXPECT_EQ(http_idle_msg_buf_num(), 0u);
    EXPECT_EQ(http_get_msg_buf(), nullptr);
    EXPECT_EQ(http_get_msg_large_buf(100), nullptr);
    EXPECT_EQ(net_buf_idle_num(), kNetBufs - kMsgs / 2);
    for (HTTP_MSG *m : got)
        http_free_msg(m);
}

TEST_F(HttpMsg, NetBufExhaustionPutsTheRecordBack)
{
    std::vector<char *> bufs;
    for (uint32_t i = 0; i < kNetBufs; i++)
        bufs.push_back(net_buf_get_idle());
    EXPECT_EQ(http_get_msg_buf(), nullptr);
    EXPECT_EQ(http_idle_msg_buf_num(), (uint32_t)kMsgs);
    // A heap-backed record still works.
    HTTP_MSG *m = http_get_msg_large_buf(64);
    ASSERT_NE(m, nullptr);
    http_free_msg(m);
    for (char *b : bufs)
        net_buf_free(b);
}

TEST_F(HttpMsg, HdrvExhaustionFailsCleanly)
{
    // One more header line than there are HDRV units.
    std::string t = "POST / HTTP/1.1\r\n";
    for (uint32_t i = 0; i <= 8 * kNetBufs; i++)
        t += "H" + std::to_string(i) + ": v\r\n";
    t += "\r\n";
    EXPECT_EQ(head(t), -1);
    EXPECT_EQ(hdrv_buf_idle_num(), 0u);
    http_free_msg(msg_);
    msg_ = nullptr;
    EXPECT_EQ(hdrv_buf_idle_num(), 8 * kNetBufs);

    // No unit left for the body reference.
    t = "POST / HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 1\r\n\r\n";
    ASSERT_EQ(head(t), (int)t.size());
    std::vector<HDRV *> held;
    for (HDRV *h = hdrv_buf_get_idle(); h && held.size() < 1000; h = hdrv_buf_get_idle())
        held.push_back(h);
    char body[] = "x";
    EXPECT_EQ(http_msg_parse_part2(body, 1, msg_), -1);
    EXPECT_TRUE(log_.contains("http_msg_parse_part2, hdrv_buf_get_idle return NULL!!!"));
    EXPECT_EQ(http_get_ctt(msg_), nullptr);
    for (HDRV *h : held)
        hdrv_buf_free(h);
}

TEST_F(HttpMsg, RecordsNotFromThePool)
{
    HTTP_MSG local;
    memset(&local, 0, sizeof(local));
    http_msg_ctx_init(&local);
    std::string t = "GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\n\r\n";
    buf_ = buf_of(t);
    EXPECT_EQ(http_msg_parse_part1(buf_.data(), (int)t.size(), &local), (int)t.size());
    EXPECT_EQ(hdrv_buf_idle_num(), 8 * kNetBufs - 2);
    http_free_msg_ctx(&local, 0);
    http_free_msg_ctx(&local, 1);
    EXPECT_EQ(hdrv_buf_idle_num(), 8 * kNetBufs);

    http_free_msg(nullptr); // ignored
    http_free_msg_content(nullptr);
    http_free_msg_buf(nullptr);
    EXPECT_EQ(http_get_msg_large_buf(0), nullptr);
    EXPECT_EQ(http_get_msg_large_buf(-5), nullptr);
}

TEST_F(HttpMsg, FreeContentKeepsTheRecord)
{
    msg_ = http_get_msg_buf();
    ASSERT_NE(msg_, nullptr);
    std::string t = "GET / HTTP/1.1\r\nA: 1\r\n\r\n";
    memcpy(msg_->msg_buf, t.c_str(), t.size() + 1);
    ASSERT_EQ(http_msg_parse_part1(msg_->msg_buf, (int)t.size(), msg_), (int)t.size());
    http_free_msg_content(msg_);
    EXPECT_EQ(msg_->msg_buf, nullptr);
    EXPECT_EQ(net_buf_idle_num(), kNetBufs);
    EXPECT_EQ(hdrv_buf_idle_num(), 8 * kNetBufs);
    EXPECT_EQ(http_idle_msg_buf_num(), (uint32_t)kMsgs - 1);
    http_free_msg_buf(msg_);
    msg_ = nullptr;
}

// What a debug log may show of a message: everything but credentials,
// cookies and passwords.
TEST(HttpRedact, SecretsAreHiddenAndTheRestKept)
{
    struct Case {
        const char *in;
        const char *out;
    } cases[] = {
        {"GET / HTTP/1.1\r\nAuthorization: Basic YWRtaW46cHc=\r\n\r\n",
         "GET / HTTP/1.1\r\nAuthorization: Basic ***\r\n\r\n"},
        {"POST /x HTTP/1.1\r\nauthorization:Digest username=\"a\", response=\"f00\"\r\nHost: "
         "h\r\n\r\nbody",
         "POST /x HTTP/1.1\r\nauthorization:Digest ***\r\nHost: h\r\n\r\nbody"},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: sid=abc; HttpOnly\r\nCookie: x=y\r\n\r\n",
         "HTTP/1.1 200 OK\r\nSet-Cookie: ***\r\nCookie: ***\r\n\r\n"},
        {"GET / HTTP/1.1\r\nProxy-Authorization: Basic eHg=\r\nX-Cookie: keep\r\n\r\n",
         "GET / HTTP/1.1\r\nProxy-Authorization: Basic ***\r\nX-Cookie: keep\r\n\r\n"},
        // Header names in the body are only text.
        {"POST / HTTP/1.1\r\n\r\nCookie: stays", "POST / HTTP/1.1\r\n\r\nCookie: stays"},
        {"<wsse:Password Type=\"t#PasswordDigest\">ZGlnZXN0</wsse:Password><wsse:Nonce>bg==</"
         "wsse:Nonce>",
         "<wsse:Password Type=\"t#PasswordDigest\">***</wsse:Password><wsse:Nonce>bg==</"
         "wsse:Nonce>"},
        {"<tt:User><tt:Username>u</tt:Username><tt:Password>pw&amp;1</tt:Password></tt:User>",
         "<tt:User><tt:Username>u</tt:Username><tt:Password>***</tt:Password></tt:User>"},
        {"<Passphrase>wifi pass</Passphrase><PasswordHint>h</PasswordHint><Password/>",
         "<Passphrase>***</Passphrase><PasswordHint>h</PasswordHint><Password/>"},
        {"<tt:Password>", "<tt:Password>***"},
        {"<tt:Password", "<tt:Password"},
        {"", ""},
    };
    for (const Case &c : cases) {
        char *r = http_redact_for_log(c.in, (int)strlen(c.in));
        ASSERT_NE(r, nullptr) << c.in;
        EXPECT_STREQ(r, c.out);
        free(r);
    }
    // Only the given bytes are read.
    const char text[] = "Cookie: a\r\n\r\n<Password>p</Password>";
    char *r = http_redact_for_log(text, 6);
    ASSERT_NE(r, nullptr);
    EXPECT_STREQ(r, "Cookie");
    free(r);
    EXPECT_EQ(http_redact_for_log(nullptr, 3), nullptr);
}

} // namespace
