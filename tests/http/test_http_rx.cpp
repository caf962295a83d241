// Assembling HTTP messages from a byte stream: both roles, every split of
// the input, heap buffers, bodies until close, pipelining, limits and pool
// exhaustion. (Over real sockets: the listener and client tests.)

#include "http/http_rx.h"
#include "http_msg_fixture.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

// What a completed message carried, copied out before the record is freed.
struct Got {
    int msg_type = -9;
    uint32_t code = 0;
    std::string first_word;
    std::string line_rest;
    std::vector<std::pair<std::string, std::string>> headers;
    int content_len = -1;
    uint32_t content_type = 0;
    bool has_body = false;
    std::string body; // content_len bytes of the body
    int buf_size = 0;

    bool operator==(const Got &o) const
    {
        return msg_type == o.msg_type && code == o.code && first_word == o.first_word &&
               line_rest == o.line_rest && headers == o.headers && content_len == o.content_len &&
               content_type == o.content_type && has_body == o.has_body && body == o.body &&
               buf_size == o.buf_size;
    }
};

Got take(HTTP_MSG *m)
{
    Got g;
    g.msg_type = m->msg_type;
    g.code = m->code;
    g.first_word = m->first_word;
    g.line_rest = m->line_rest ? m->line_rest : "";
    HDRV *h = (HDRV *)pps_lookup_start(&m->headers);
    for (int i = 0; h && i < 1000; i++) {
        g.headers.emplace_back(h->header, h->value_string ? h->value_string : "");
        h = (HDRV *)pps_lookup_next(&m->headers, h);
    }
    pps_lookup_end(&m->headers);
    g.content_len = m->content_len;
    g.content_type = m->content_type;
    char *b = http_get_ctt(m);
    g.has_body = b != nullptr;
    if (b && m->content_len > 0) g.body.assign(b, (size_t)m->content_len);
    g.buf_size = m->msg_buf_size;
    http_free_msg(m);
    return g;
}

// Outcome of feeding a whole stream: the messages in order, and how it ended.
struct RxRun {
    std::vector<Got> msgs;
    int last = HTTP_RX_MORE; // last result other than DONE
    int tunnels = 0;
};

class HttpRx : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        rx_.reset(new HTTP_RX);
        http_rx_init(rx_.get(), HTTP_RX_CLIENT, nullptr);
    }
    // A fresh receiver of the given role (the previous state is released).
    void restart(int role)
    {
        http_rx_reset(rx_.get());
        http_rx_init(rx_.get(), role, "127.0.0.1");
    }
    void TearDown() override
    {
        if (rx_) http_rx_reset(rx_.get());
        HttpPoolTest::TearDown();
    }

    // Handles one result, collecting DONE messages and pipelined ones behind them.
    void collect(RxRun &run, int r, HTTP_MSG *m)
    {
        for (int i = 0; r == HTTP_RX_DONE && i < 100; i++) {
            run.msgs.push_back(take(m));
            r = http_rx_next(rx_.get(), &m);
        }
        if (r == HTTP_RX_TUNNEL) {
            run.tunnels++;
            run.msgs.push_back(take(m));
        }
        run.last = r;
    }

    // Feeds `data` in pieces of at most `chunk` bytes (also bounded by the room
    // the receiver offers); with close_at_end, a final read of 0 follows.
    RxRun feed(int role, const std::string &data, size_t chunk, bool close_at_end = false)
    {
        RxRun run;
        restart(role);
        size_t pos = 0;
        for (int guard = 0; pos < data.size() && guard < 10000000; guard++) {
            int room = 0;
            char *p = http_rx_buf(rx_.get(), &room);
            if (!p) {
                run.last = HTTP_RX_ERROR;
                return run;
            }
            size_t n = std::min({chunk, (size_t)room, data.size() - pos});
            memcpy(p, data.data() + pos, n);
            pos += n;
            HTTP_MSG *m = nullptr;
            int r = http_rx_input(rx_.get(), (int)n, &m);
            collect(run, r, m);
            if (run.last == HTTP_RX_ERROR || run.last == HTTP_RX_TUNNEL) return run;
        }
        if (close_at_end) {
            HTTP_MSG *m = nullptr;
            int r = http_rx_input(rx_.get(), 0, &m);
            collect(run, r, m);
        }
        return run;
    }

    std::unique_ptr<HTTP_RX> rx_;
};

std::string soap_response(const std::string &body)
{
    return "HTTP/1.1 200 OK\r\nServer: cam\r\nContent-Type: application/soap+xml; charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

std::string notify_request(const std::string &body, const std::string &path = "/subscription1/7")
{
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nContent-Type: application/soap+xml\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string big_body(size_t n)
{
    std::string s;
    for (size_t i = 0; s.size() < n; i++)
        s += "<tt:Item>" + std::to_string(i) + "</tt:Item>";
    s.resize(n);
    return s;
}

// A message whose body comes as the given chunks (the second with an
// extension), the last chunk followed by a trailer.
std::string chunked(const std::string &start, const std::vector<std::string> &parts)
{
    std::string s =
        start + "\r\nContent-Type: application/soap+xml\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (size_t i = 0; i < parts.size(); i++) {
        char size[16];
        snprintf(size, sizeof(size), "%zX", parts[i].size());
        s += std::string(size) + (i == 1 ? ";name=value" : "") + "\r\n" + parts[i] + "\r\n";
    }
    return s + "0\r\nX-Check: 1\r\n\r\n";
}

TEST_F(HttpRx, ClientResponseWithBody)
{
    std::string body = "<s:Envelope><s:Body/></s:Envelope>";
    RxRun run = feed(HTTP_RX_CLIENT, soap_response(body), 4096);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_EQ(run.last, HTTP_RX_MORE);
    const Got &g = run.msgs[0];
    EXPECT_EQ(g.msg_type, HTTP_MSG_RESPONSE);
    EXPECT_EQ(g.code, 200u);
    EXPECT_EQ(g.content_type, (uint32_t)HTTP_CTT_SOAP_XML);
    EXPECT_EQ(g.content_len, (int)body.size());
    EXPECT_EQ(g.body, body);
    EXPECT_EQ(g.buf_size, 2048); // a pool buffer
}

TEST_F(HttpRx, EverySplitGivesTheSameMessage)
{
    struct Case {
        int role;
        std::string data;
    } cases[] = {
        {HTTP_RX_CLIENT, soap_response("<a>hello</a>")},
        {HTTP_RX_LISTENER, notify_request("<n>event</n>")},
        {HTTP_RX_CLIENT, "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n"},
        {HTTP_RX_LISTENER, "GET /x HTTP/1.1\nHost: h\n\n"},
        {HTTP_RX_CLIENT, soap_response(big_body(3000))},
        {HTTP_RX_CLIENT, chunked("HTTP/1.1 200 OK", {"<a>he", "llo</a>"})},
        {HTTP_RX_LISTENER, chunked("POST /n HTTP/1.1", {"<n>", "event</n>"})},
    };
    for (const Case &c : cases) {
        RxRun whole = feed(c.role, c.data, c.data.size());
        ASSERT_EQ(whole.msgs.size(), 1u) << c.data.substr(0, 40);
        // One byte at a time.
        RxRun bytes = feed(c.role, c.data, 1);
        ASSERT_EQ(bytes.msgs.size(), 1u);
        EXPECT_TRUE(bytes.msgs[0] == whole.msgs[0]);
        EXPECT_NE(bytes.last, HTTP_RX_ERROR);
        // Two reads, split at every byte (the large case at a coarser step).
        size_t step = c.data.size() > 1000 ? 37 : 1;
        for (size_t k = 1; k < c.data.size(); k += step) {
            restart(c.role);
            RxRun run;
            for (const std::string &piece : {c.data.substr(0, k), c.data.substr(k)}) {
                size_t pos = 0;
                for (int guard = 0; pos < piece.size() && guard < 100; guard++) {
                    int room = 0;
                    char *p = http_rx_buf(rx_.get(), &room);
                    ASSERT_NE(p, nullptr);
                    size_t n = std::min((size_t)room, piece.size() - pos);
                    memcpy(p, piece.data() + pos, n);
                    pos += n;
                    HTTP_MSG *m = nullptr;
                    int r = http_rx_input(rx_.get(), (int)n, &m);
                    collect(run, r, m);
                }
            }
            ASSERT_EQ(run.msgs.size(), 1u) << "split at " << k;
            EXPECT_TRUE(run.msgs[0] == whole.msgs[0]) << "split at " << k;
        }
    }
}

TEST_F(HttpRx, LargeBodyGoesToAnExactHeapBuffer)
{
    std::string body = big_body(3000);
    std::string data = soap_response(body);
    int hlen = (int)(data.size() - body.size());
    http_rx_init(rx_.get(), HTTP_RX_CLIENT, "cam");

    int room = 0;
    char *p = http_rx_buf(rx_.get(), &room);
    ASSERT_EQ(room, HTTP_RX_BUF_SIZE - 1);
    memcpy(p, data.data(), (size_t)room);
    HTTP_MSG *m = nullptr;
    ASSERT_EQ(http_rx_input(rx_.get(), room, &m), HTTP_RX_MORE);
    ASSERT_NE(rx_->dyn_rcv_buf, nullptr);
    EXPECT_EQ(net_buf_idle_num(), kNetBufs); // the head record was dropped
    EXPECT_EQ(http_idle_msg_buf_num(), (uint32_t)kMsgs);

    // The receiver never offers more than the rest of the message.
    p = http_rx_buf(rx_.get(), &room);
    ASSERT_EQ(room, (int)data.size() - (HTTP_RX_BUF_SIZE - 1));
    memcpy(p, data.data() + HTTP_RX_BUF_SIZE - 1, (size_t)room);
    ASSERT_EQ(http_rx_input(rx_.get(), room, &m), HTTP_RX_DONE);
    Got g = take(m);
    EXPECT_EQ(g.buf_size, hlen + 3000 + 1);
    EXPECT_EQ(g.body, body);
    EXPECT_EQ(rx_->dyn_rcv_buf, nullptr); // released after the message
}

TEST_F(HttpRx, ClientBodyUntilClose)
{
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n";
    std::string body = big_body(2500);
    RxRun run = feed(HTTP_RX_CLIENT, head + body, 700, true);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_EQ(run.msgs[0].content_len, 2500);
    EXPECT_EQ(run.msgs[0].body, body);
    EXPECT_EQ(run.msgs[0].buf_size, (int)(head.size() + 2500 + 1));

    // A close before any byte of the body arrived has nothing to complete.
    run = feed(HTTP_RX_CLIENT, "HTTP/1.1 200 OK\r\nServer: x\r\n", 100, true);
    EXPECT_TRUE(run.msgs.empty());
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
}

TEST_F(HttpRx, ClientResponsesWithoutContentLength)
{
    // The body is awaited until the close even when the head came alone.
    std::string head = "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"x\"\r\n\r\n";
    RxRun run = feed(HTTP_RX_CLIENT, head, 4096);
    EXPECT_TRUE(run.msgs.empty());
    EXPECT_EQ(run.last, HTTP_RX_MORE);
    run = feed(HTTP_RX_CLIENT, head, 4096, true);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_EQ(run.msgs[0].code, 401u);
    EXPECT_EQ(run.msgs[0].content_len, 0);
    EXPECT_FALSE(run.msgs[0].has_body);

    // Split anywhere, the head and a body up to the close give the same message.
    std::string data = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\nhello body";
    RxRun whole = feed(HTTP_RX_CLIENT, data, 4096, true);
    ASSERT_EQ(whole.msgs.size(), 1u);
    EXPECT_EQ(whole.msgs[0].body, "hello body");
    for (size_t chunk = 1; chunk < data.size(); chunk++) {
        run = feed(HTTP_RX_CLIENT, data, chunk, true);
        ASSERT_EQ(run.msgs.size(), 1u) << chunk;
        EXPECT_TRUE(run.msgs[0] == whole.msgs[0]) << chunk;
    }

    // Statuses without a body complete at their head.
    for (const char *st : {"204 No Content", "304 Not Modified", "100 Continue"}) {
        run = feed(HTTP_RX_CLIENT, std::string("HTTP/1.1 ") + st + "\r\nServer: s\r\n\r\n", 4096);
        ASSERT_EQ(run.msgs.size(), 1u) << st;
        EXPECT_FALSE(run.msgs[0].has_body);
    }

    // An explicit Content-Length of 0 is not a body until close.
    run = feed(HTTP_RX_CLIENT, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nXYZ", 4096);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_FALSE(run.msgs[0].has_body);
}

TEST_F(HttpRx, ClientUntilCloseStopsAtTheLimit)
{
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n";
    std::string data = head + std::string(HTTP_LEN_UNTIL_CLOSE + 100, 'j');
    RxRun run = feed(HTTP_RX_CLIENT, data, 65536);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_EQ(run.msgs[0].content_len, HTTP_LEN_UNTIL_CLOSE);
    EXPECT_EQ(run.msgs[0].buf_size, (int)head.size() + HTTP_LEN_UNTIL_CLOSE + 1);
}

TEST_F(HttpRx, ListenerNeedsContentLengthForABody)
{
    RxRun run = feed(HTTP_RX_LISTENER, "POST /x HTTP/1.1\r\nHost: h\r\n\r\n", 4096);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_FALSE(run.msgs[0].has_body);

    // A close is always a failure on the listener.
    run = feed(HTTP_RX_LISTENER, "POST /x HTTP/1.1\r\nHost: h\r\n", 4096, true);
    EXPECT_TRUE(run.msgs.empty());
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
}

TEST_F(HttpRx, ReadErrors)
{
    for (int role : {HTTP_RX_CLIENT, HTTP_RX_LISTENER}) {
        http_rx_init(rx_.get(), role, "h");
        HTTP_MSG *m = reinterpret_cast<HTTP_MSG *>(1);
        EXPECT_EQ(http_rx_input(rx_.get(), -1, &m), HTTP_RX_ERROR);
        EXPECT_EQ(m, nullptr);
        // A read count larger than the offered room is refused.
        http_rx_init(rx_.get(), role, "h");
        EXPECT_EQ(http_rx_input(rx_.get(), HTTP_RX_BUF_SIZE, &m), HTTP_RX_ERROR);
    }
}

TEST_F(HttpRx, PipelinedRequestsAreParsedAtOnce)
{
    std::string a = notify_request("<a/>", "/subscription1/1");
    std::string b = notify_request("<bb/>", "/subscription2/2");
    RxRun run = feed(HTTP_RX_LISTENER, a + b, 4096);
    ASSERT_EQ(run.msgs.size(), 2u);
    EXPECT_EQ(run.msgs[0].line_rest, "/subscription1/1 HTTP/1.1");
    EXPECT_EQ(run.msgs[0].body, "<a/>");
    EXPECT_EQ(run.msgs[1].line_rest, "/subscription2/2 HTTP/1.1");
    EXPECT_EQ(run.msgs[1].body, "<bb/>");
    EXPECT_EQ(rx_->dlen, 0);

    // The second one incomplete: it stays and completes with the next read.
    std::string c = notify_request("<c/>");
    run = feed(HTTP_RX_LISTENER, a + c.substr(0, 30), 4096);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_EQ(rx_->dlen, 30);
    int room = 0;
    char *p = http_rx_buf(rx_.get(), &room);
    ASSERT_NE(p, nullptr);
    ASSERT_GE(room, (int)c.size() - 30);
    memcpy(p, c.data() + 30, c.size() - 30);
    HTTP_MSG *m = nullptr;
    ASSERT_EQ(http_rx_input(rx_.get(), (int)c.size() - 30, &m), HTTP_RX_DONE);
    EXPECT_EQ(take(m).body, "<c/>");

    // A client serves one message: bytes behind it are dropped.
    run = feed(HTTP_RX_CLIENT, soap_response("<x/>") + soap_response("<y/>"), 4096);
    ASSERT_EQ(run.msgs.size(), 1u);
    EXPECT_EQ(rx_->dlen, 0);
}

TEST_F(HttpRx, HeadsLongerThan2047BytesFail)
{
    // The head end falls exactly on byte 2047: fits.
    std::string start = "GET /x HTTP/1.1\r\nX-Pad: ";
    std::string fit = start + std::string(2047 - start.size() - 4, 'p') + "\r\n\r\n";
    ASSERT_EQ(fit.size(), 2047u);
    RxRun run = feed(HTTP_RX_LISTENER, fit, 1);
    ASSERT_EQ(run.msgs.size(), 1u);

    // One byte more: fails once the buffer is full, whatever the read sizes.
    std::string over = start + std::string(2048 - start.size() - 4, 'p') + "\r\n\r\n";
    for (int role : {HTTP_RX_CLIENT, HTTP_RX_LISTENER}) {
        for (size_t chunk : {1u, 100u, 4096u}) {
            run = feed(role, over, chunk);
            EXPECT_TRUE(run.msgs.empty());
            EXPECT_EQ(run.last, HTTP_RX_ERROR);
            EXPECT_EQ(rx_->dlen, 0); // state reset
        }
    }
}

TEST_F(HttpRx, BadContentLengthNeverSizesABuffer)
{
    // (18446744073709551619 = 2^64 + 3 would wrap to the body's length.)
    const char *bad[] = {
        "-5",   "-2147483648",         "huge", "1e9", "67108865", "4294967296", "12abc", "", "+5",
        "0x10", "18446744073709551619"};
    for (int role : {HTTP_RX_CLIENT, HTTP_RX_LISTENER}) {
        for (const char *v : bad) {
            std::string data = std::string("POST / HTTP/1.1\r\nContent-Type: text/plain\r\n") +
                               "Content-Length: " + v + "\r\n\r\nabc";
            if (role == HTTP_RX_CLIENT) data.replace(0, 15, "HTTP/1.1 200 OK");
            RxRun run = feed(role, data, 4096);
            EXPECT_TRUE(run.msgs.empty()) << v;
            EXPECT_EQ(run.last, HTTP_RX_ERROR) << v;
            EXPECT_EQ(rx_->dyn_rcv_buf, nullptr);
        }
    }
}

TEST_F(HttpRx, LargestContentLengthIsAcceptedAndBoundsGrowth)
{
    // A peer that announces the largest body and stops: one buffer of exactly
    // head + body + 1 bytes, and never an offer to read beyond it.
    std::string data =
        "POST / HTTP/1.1\r\nContent-Type: image/jpeg\r\nContent-Length: 67108864\r\n\r\n";
    RxRun run = feed(HTTP_RX_LISTENER, data + "abcd", 4096);
    EXPECT_TRUE(run.msgs.empty());
    EXPECT_EQ(run.last, HTTP_RX_MORE);
    EXPECT_EQ(rx_->mlen, (int)data.size() + HTTP_MAX_CONTENT_LEN);
    int room = 0;
    ASSERT_NE(http_rx_buf(rx_.get(), &room), nullptr);
    EXPECT_EQ(room, HTTP_MAX_CONTENT_LEN - 4);
    http_rx_reset(rx_.get());
    EXPECT_EQ(rx_->dyn_rcv_buf, nullptr);
}

TEST_F(HttpRx, ShortTextBody)
{
    std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: application/soap+xml\r\nContent-Length: 6\r\n\r\n";
    std::string body = std::string("ab") + '\0' + "cde";
    RxRun run = feed(HTTP_RX_CLIENT, head + body, 4096);
    EXPECT_TRUE(run.msgs.empty());
    EXPECT_EQ(run.last, HTTP_RX_ERROR);

    std::string req = "POST / HTTP/1.1\r\nContent-Type: text/plain\r\nContent-Length: 6\r\n\r\n";
    run = feed(HTTP_RX_LISTENER, req + body, 4096);
    ASSERT_EQ(run.msgs.size(), 1u); // the listener goes on
    EXPECT_EQ(run.msgs[0].body, body);
}

TEST_F(HttpRx, NotHttpAndShortInput)
{
    RxRun run = feed(HTTP_RX_LISTENER, "HELLO WORLD THIS IS NOT HTTP\r\n\r\n", 4096);
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
    run = feed(HTTP_RX_LISTENER, "GET / HTTP/1.1", 4096); // under 16 bytes: wait
    EXPECT_EQ(run.last, HTTP_RX_MORE);
    std::string bad = "HTTP/1.1 OK\r\nA: b\r\n\r\n";
    run = feed(HTTP_RX_CLIENT, bad, 4096);
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
}

TEST_F(HttpRx, TunnelRequestIsHandedOverAtItsHead)
{
    std::string head = "POST /tunnel HTTP/1.0\r\nContent-Type: "
                       "application/x-rtsp-tunnelled\r\nContent-Length: 32767\r\n\r\n";
    RxRun run = feed(HTTP_RX_LISTENER, head + "RAWBYTES", 4096);
    ASSERT_EQ(run.tunnels, 1);
    EXPECT_EQ(run.last, HTTP_RX_TUNNEL);
    EXPECT_EQ(run.msgs[0].content_type, (uint32_t)HTTP_CTT_RTSP_TUNNEL);
    int len = 0;
    char *extra = http_rx_extra(rx_.get(), &len);
    ASSERT_NE(extra, nullptr);
    EXPECT_EQ(std::string(extra, (size_t)len), "RAWBYTES");
    http_rx_reset(rx_.get());
    EXPECT_EQ(http_rx_extra(rx_.get(), &len), nullptr);
    EXPECT_EQ(len, 0);
}

TEST_F(HttpRx, PoolExhaustionFailsCleanly)
{
    std::string small = notify_request("<a/>");
    std::string large = notify_request(big_body(3000));

    // No message record.
    std::vector<HTTP_MSG *> held;
    for (int i = 0; i < kMsgs; i++)
        held.push_back(http_get_msg_large_buf(16));
    for (const std::string *d : {&small, &large}) {
        RxRun run = feed(HTTP_RX_LISTENER, *d, 4096);
        EXPECT_EQ(run.last, HTTP_RX_ERROR);
        EXPECT_EQ(rx_->dyn_rcv_buf, nullptr);
    }
    EXPECT_TRUE(log_.contains("http_srv_rx, get_msg_buf ret null!!!"));
    for (HTTP_MSG *m : held)
        http_free_msg(m);

    // No net_buf for the record of a small message.
    std::vector<char *> bufs;
    for (uint32_t i = 0; i < kNetBufs; i++)
        bufs.push_back(net_buf_get_idle());
    RxRun run = feed(HTTP_RX_CLIENT, soap_response("<a/>"), 4096);
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
    EXPECT_TRUE(log_.contains("http_get_msg_buf, net_buf_get_idle failed"));
    for (char *b : bufs)
        net_buf_free(b);

    // Too few HDRV units for the header lines, then none for the body.
    std::vector<HDRV *> units;
    for (uint32_t i = 0; i + 2 < 8 * kNetBufs; i++)
        units.push_back(hdrv_buf_get_idle());
    run = feed(HTTP_RX_LISTENER, small, 4096); // three header lines, two units
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
    units.push_back(hdrv_buf_get_idle());
    units.push_back(hdrv_buf_get_idle());
    for (int i = 0; i < 3; i++) {
        hdrv_buf_free(units.back());
        units.pop_back();
    }
    run = feed(HTTP_RX_LISTENER, small, 4096); // three units: headers fit, body doesn't
    EXPECT_EQ(run.last, HTTP_RX_ERROR);
    EXPECT_TRUE(log_.contains("http_msg_parse_part2, hdrv_buf_get_idle return NULL!!!"));
    for (HDRV *h : units)
        hdrv_buf_free(h);
    units.clear();

    // Everything back: the same input now works.
    run = feed(HTTP_RX_LISTENER, small + large, 4096);
    ASSERT_EQ(run.msgs.size(), 2u); // the large one follows through a heap buffer
    EXPECT_EQ(run.msgs[0].body, "<a/>");
    EXPECT_EQ(run.msgs[1].body, big_body(3000));
}

} // namespace

TEST_F(HttpRx, ChunkedBodiesAreJoined)
{
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                             "Transfer-Encoding: Chunked\r\nContent-Length: 3\r\n\r\n";
    struct Case {
        std::string chunks;
        const char *body; // null: the message fails
    } cases[] = {
        {"4\r\nWiki\r\n5\r\npedia\r\n0\r\n\r\n", "Wikipedia"},
        {"4\nWiki\n0\n\n", "Wiki"},                                  // bare line feeds
        {"0004 ; a=b\r\nWiki\r\n0\r\nA: 1\r\nB: 2\r\n\r\n", "Wiki"}, // blanks, trailers
        {"0\r\n\r\n", ""},
        {"zz\r\nWiki\r\n0\r\n\r\n", nullptr},  // not a size
        {"\r\nWiki\r\n0\r\n\r\n", nullptr},    // no size at all
        {"4\r\nWikiX\r\n0\r\n\r\n", nullptr},  // data longer than its size
        {"FFFFFFFFFFFF\r\nWiki\r\n", nullptr}, // far above the bound, never allocated
        {"200001\r\n", nullptr},               // one byte above the bound
        {std::string(2000, '0') + "4\r\nWiki\r\n0\r\n\r\n", nullptr},          // endless size line
        {"4\r\nWiki\r\n0\r\n" + std::string(9000, 'T') + "\r\n\r\n", nullptr}, // trailers
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.chunks.substr(0, 40));
        for (size_t piece : {(size_t)1, (size_t)3, (size_t)100000}) {
            RxRun run = feed(HTTP_RX_CLIENT, head + c.chunks, piece);
            if (!c.body) {
                EXPECT_TRUE(run.msgs.empty());
                EXPECT_EQ(run.last, HTTP_RX_ERROR);
                continue;
            }
            ASSERT_EQ(run.msgs.size(), 1u);
            EXPECT_EQ(run.msgs[0].body, c.body);
            EXPECT_EQ(run.msgs[0].content_len, (int)strlen(c.body));
        }
    }
    // Chunk lines take no room from the body: 400 KB in one-byte chunks
    // (2.4 MB on the wire) fits as well as in one chunk.
    std::string tiny;
    for (int i = 0; i < 400000; i++)
        tiny += "1\r\n" + std::string(1, (char)('a' + i % 26)) + "\r\n";
    RxRun many = feed(HTTP_RX_CLIENT, head + tiny + "0\r\n\r\n", 65536);
    ASSERT_EQ(many.msgs.size(), 1u);
    ASSERT_EQ(many.msgs[0].content_len, 400000);
    EXPECT_EQ(many.msgs[0].body.substr(0, 27), "abcdefghijklmnopqrstuvwxyza");

    // A close before the last chunk fails instead of handing out half a body.
    RxRun cut = feed(HTTP_RX_CLIENT, head + "4\r\nWiki\r\n", 100, true);
    EXPECT_TRUE(cut.msgs.empty());
    EXPECT_EQ(cut.last, HTTP_RX_ERROR);

    // A listener keeps the request pipelined behind a chunked one.
    RxRun two = feed(HTTP_RX_LISTENER,
                     chunked("POST /a HTTP/1.1", {"<x/>"}) + notify_request("<y/>", "/b"), 5);
    ASSERT_EQ(two.msgs.size(), 2u);
    EXPECT_EQ(two.msgs[0].body, "<x/>");
    EXPECT_EQ(two.msgs[1].body, "<y/>");
    EXPECT_EQ(two.msgs[1].first_word, "POST");
}
