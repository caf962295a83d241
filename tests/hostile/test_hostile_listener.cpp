// The notification listener against hostile cameras on loopback: requests
// cut short, too large, endless, trickled, of the wrong kind, nested too
// deep, with 10000 attributes, NUL bytes or broken UTF-8, and connections
// that never finish. Each is answered or dropped, gives back its connection
// record and buffers, and a good Notify afterwards still reaches the
// callback. Connections that never finish hold their records only until the
// listener's request time limit.

#include "http/http_srv.h"
#include "onvif/onvif_event.h"
#include "onvif/onvif_list.h"
#include "tests/hostile/hostile_util.h"
#include "tests/http/http_msg_fixture.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace hostile;

namespace
{

std::string notify_body(const std::string &topic = "tns1:Device/Trigger",
                        const std::string &notify_attrs = std::string())
{
    return "<?xml version=\"1.0\"?><env:Envelope "
           "xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><env:Body><wsnt:Notify" +
           notify_attrs + "><wsnt:NotificationMessage><wsnt:Topic Dialect=\"d\">" + topic +
           "</wsnt:Topic><wsnt:Message><tt:Message><tt:Data><tt:SimpleItem Name=\"State\" "
           "Value=\"true\"/></tt:Data></tt:Message></wsnt:Message></wsnt:NotificationMessage>"
           "</wsnt:Notify></env:Body></env:Envelope>";
}

std::string post(const std::string &body, const std::string &ctype = "application/soap+xml",
                 long content_length = -2)
{
    std::string h = "POST /subscription1/1700000000 HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (!ctype.empty()) h += "Content-Type: " + ctype + "\r\n";
    if (content_length == -2) content_length = (long)body.size();
    if (content_length >= 0) h += "Content-Length: " + std::to_string(content_length) + "\r\n";
    return h + "\r\n" + body;
}

size_t count_of(const std::string &text, const std::string &needle)
{
    size_t n = 0;
    for (size_t p = text.find(needle); p != std::string::npos; p = text.find(needle, p + 1))
        n++;
    return n;
}

// What the notify callback saw.
struct Seen {
    std::mutex mu;
    std::vector<std::string> topics;
};

void on_notify(EVENT_NOTIFY *n, void *user)
{
    Seen *s = static_cast<Seen *>(user);
    std::lock_guard<std::mutex> lk(s->mu);
    for (NotificationMessageList *m = n->messages; m; m = m->next)
        s->topics.push_back(m->NotificationMessage.topic);
    onvif_free_NotificationMessages(&n->messages);
}

// One connection that sends `data`, then (when `half_close`) shuts its
// sending side, and reads until the listener closes. What came back.
struct Talk {
    bool connected = false;
    bool sent = false;
    bool closed = false; // the listener closed the connection
    std::string reply;
};

Talk talk(int port, const std::string &data, bool half_close, int ms = 5000)
{
    Talk t;
    int fd = tcp_client(port);
    if (fd < 0) return t;
    t.connected = true;
    t.sent = send_all(fd, data);
    if (half_close) shutdown(fd, SHUT_WR);
    t.closed = read_until_close(fd, &t.reply, ms);
    close(fd);
    return t;
}

// Sends `prefix`, then `chunk` until the listener goes away (at most 8 s or
// 20000 chunks); true when it went away.
bool flood(int port, const std::string &prefix, const std::string &chunk, std::string *reply)
{
    int fd = tcp_client(port);
    if (fd < 0) return false;
    bool gone = !send_all(fd, prefix);
    auto t0 = Clock::now();
    for (int i = 0; i < 20000 && !gone && ms_since(t0) < 8000; i++)
        gone = !send_all(fd, chunk);
    if (!gone) {
        close(fd);
        return false;
    }
    read_until_close(fd, reply, 2000);
    close(fd);
    return true;
}

class HostileListener : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        fds_ = open_fds();
        ASSERT_EQ(onvif_event_init("127.0.0.1", 0, 4), 1);
        port_ = onvif_event_listen_port();
        ASSERT_GT(port_, 0);
        onvif_set_event_notify_cb(on_notify, &seen_);
    }
    void TearDown() override
    {
        onvif_event_deinit();
        EXPECT_LE(open_fds(), fds_) << "a socket was left open";
        HttpPoolTest::TearDown();
    }

    size_t delivered()
    {
        std::lock_guard<std::mutex> lk(seen_.mu);
        return seen_.topics.size();
    }

    // A good Notify is answered 200 and reaches the callback.
    void expect_good_notify(const std::string &after)
    {
        size_t before = delivered();
        Talk t = talk(port_, post(notify_body("tns1:Good")), false);
        EXPECT_EQ(t.reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << after << ": " << t.reply;
        EXPECT_TRUE(wait_until([&] { return delivered() == before + 1; }, 3000)) << after;
        std::lock_guard<std::mutex> lk(seen_.mu);
        if (!seen_.topics.empty()) {
            EXPECT_EQ(seen_.topics.back(), "tns1:Good") << after;
        }
    }

    // Every connection record is back once the listener has closed them all.
    void expect_records_back()
    {
        EXPECT_TRUE(wait_until(
            [&] {
                return net_buf_idle_num() == net_idle_ && hdrv_buf_idle_num() == hdrv_idle_ &&
                       http_idle_msg_buf_num() == msg_idle_;
            },
            3000))
            << "buffers still held: net " << net_buf_idle_num() << "/" << net_idle_ << ", msg "
            << http_idle_msg_buf_num() << "/" << msg_idle_;
    }

    Seen seen_;
    int port_ = 0;
    int fds_ = 0;
};

TEST_F(HostileListener, RequestsCutShort)
{
    const std::string full = post(notify_body());
    const size_t head = full.find("\r\n\r\n") + 4;
    for (size_t k : {(size_t)1, (size_t)15, (size_t)16, (size_t)40, head - 2, head, head + 1,
                     (head + full.size()) / 2, full.size() - 1}) {
        Talk t = talk(port_, full.substr(0, k), true);
        EXPECT_TRUE(t.closed) << "cut at " << k;
        EXPECT_EQ(t.reply, "") << "cut at " << k;
    }
    EXPECT_EQ(delivered(), 0u);
    expect_records_back();
    expect_good_notify("cut requests");
}

TEST_F(HostileListener, OversizedAndEndlessRequests)
{
    LogCapture log;
    // Announced beyond the limit: dropped before a byte of body is read.
    Talk t = talk(port_, post(notify_body(), "application/soap+xml", 67108865), false);
    EXPECT_TRUE(t.closed);
    EXPECT_EQ(t.reply, "");
    EXPECT_TRUE(log.contains("invalid Content-Length"));

    // A head longer than 2047 bytes, sent in one go and forever.
    std::string long_head = "POST /s HTTP/1.1\r\nX-Junk: " + std::string(3000, 'h') + "\r\n\r\n";
    t = talk(port_, long_head, false);
    EXPECT_TRUE(t.closed);
    EXPECT_TRUE(log.contains("http_srv_rx, http head longer than 2047 bytes"));
    std::string reply;
    std::string lines;
    for (int i = 0; i < 64; i++)
        lines += "X-Junk: " + std::string(60, 'j') + "\r\n";
    EXPECT_TRUE(flood(port_, "POST /s HTTP/1.1\r\n", lines, &reply));

    // A real 3 MiB body: above the notification limit, dropped at its head
    // without an answer; allowed, it is read whole and answered 400 (it is no
    // notification).
    std::string big = notify_body();
    big.insert(big.find("<wsnt:Notify>"), std::string(3 * 1024 * 1024, ' ') + "<junk>");
    t = talk(port_, post(big), false, 8000);
    EXPECT_TRUE(t.closed);
    EXPECT_EQ(t.reply, "");
    EXPECT_TRUE(log.contains("http_srv_rx, Content-Length " + std::to_string(big.size()) +
                             " above the limit of 1048576 bytes"));
    onvif_event_set_max_notify(4u << 20);
    t = talk(port_, post(big), false, 8000);
    EXPECT_TRUE(t.closed);
    EXPECT_EQ(t.reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << t.reply.substr(0, 80);
    onvif_event_set_max_notify(0);

    // A body that goes on behind its Content-Length: the request ends there.
    // (The answer may be lost to the reset that the unread flood causes.)
    reply.clear();
    EXPECT_TRUE(flood(port_, post("", "application/soap+xml", 1024 * 1024), std::string(65536, '<'),
                      &reply));
    EXPECT_TRUE(reply.empty() || reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0) == 0)
        << reply.substr(0, 80);

    // No Content-Length and a body forever: the head alone is the request.
    reply.clear();
    EXPECT_TRUE(
        flood(port_, post("", "application/soap+xml", -1), std::string(65536, 'b'), &reply));
    EXPECT_TRUE(reply.empty() || reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0) == 0)
        << reply.substr(0, 80);
    EXPECT_TRUE(wait_until([&] { return log.contains("http_get_ctt ret null!!!"); }, 2000));

    EXPECT_EQ(delivered(), 0u);
    expect_records_back();
    expect_good_notify("oversized and endless requests");
}

TEST_F(HostileListener, WrongKindsOfRequest)
{
    auto nested = [](int levels) {
        std::string open, close;
        for (int i = 0; i < levels; i++) {
            open += "<x>";
            close += "</x>";
        }
        return open + close;
    };
    std::string jpeg = "\xFF\xD8\xFF\xE0";
    jpeg.push_back('\0');
    jpeg += "JFIF" + std::string(500, '\x81') + "\xFF\xD9";
    std::string nul_between = notify_body();
    nul_between.insert(nul_between.find("<wsnt:NotificationMessage>"), 1, '\0');
    std::string deep = notify_body();
    deep.insert(deep.find("</wsnt:Notify>"), nested(1100));

    const std::vector<std::string> bad = {
        "GET /subscription1/1 HTTP/1.1\r\nHost: x\r\n\r\n",
        post("{\"Notify\":{\"Topic\":\"x\"}}", "application/json"),
        post(jpeg, "image/jpeg"),
        post("<html><body>hello</body></html>", "text/html"),
        post(deep),
        post(nul_between, "text/xml"),
        post(nul_between), // a text type shorter than announced: logged, then not XML
        post("<d:ProbeMatches xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"/>"),
        post("<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Body>"
             "<d:Hello xmlns:d=\"x\"/></env:Body></env:Envelope>"),
    };
    for (const std::string &req : bad) {
        Talk t = talk(port_, req, false);
        EXPECT_TRUE(t.closed) << req.substr(0, 60);
        EXPECT_EQ(t.reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u)
            << req.substr(0, 60) << ": " << t.reply;
    }
    // Not HTTP at all, and NUL bytes in the head: dropped without an answer.
    std::string nul_head = post(notify_body());
    nul_head[nul_head.find("Host")] = '\0';
    for (const std::string &junk :
         {std::string(2000, '\x07'),
          std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), nul_head}) {
        Talk t = talk(port_, junk, true);
        EXPECT_TRUE(t.closed);
        EXPECT_EQ(t.reply, "");
    }
    EXPECT_EQ(delivered(), 0u);
    expect_records_back();
    expect_good_notify("wrong kinds of request");
}

TEST_F(HostileListener, OddButReadableNotifications)
{
    // 10000 attributes on Notify (99 reach the tree), broken UTF-8 in the
    // topic, and a Notify trickled in 25-byte pieces: all three are delivered.
    std::string attrs;
    for (int i = 0; i < 10000; i++)
        attrs += " a" + std::to_string(i) + "=\"v\"";
    const std::string bad_utf8 = "tns1:\xC3\x28\xFF\xFE\xC0\xAF\xED\xA0\x80";
    Talk t = talk(port_, post(notify_body("tns1:Attrs", attrs)), false);
    EXPECT_EQ(t.reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    t = talk(port_, post(notify_body(bad_utf8)), false);
    EXPECT_EQ(t.reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);

    // While one camera trickles, another is served.
    const std::string slow = post(notify_body("tns1:Slow"));
    std::atomic<bool> slow_done{false};
    std::thread trickler([&] {
        int fd = tcp_client(port_);
        if (fd < 0) return;
        for (size_t pos = 0; pos < slow.size(); pos += 25) {
            if (!send_all(fd, slow.substr(pos, 25))) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::string reply;
        read_until_close(fd, &reply, 5000);
        slow_done = reply.rfind("HTTP/1.1 200 OK\r\n", 0) == 0;
        close(fd);
    });
    expect_good_notify("while another camera trickles");
    trickler.join();
    EXPECT_TRUE(slow_done.load());

    ASSERT_TRUE(wait_until([&] { return delivered() == 4; }, 3000));
    std::lock_guard<std::mutex> lk(seen_.mu);
    EXPECT_EQ(seen_.topics[0], "tns1:Attrs");
    EXPECT_EQ(seen_.topics[1], bad_utf8);
    EXPECT_NE(std::find(seen_.topics.begin(), seen_.topics.end(), "tns1:Slow"), seen_.topics.end());
}

// ---- connections that never finish, on a bare listener ----

struct Counts {
    std::atomic<int> messages{0};
    std::atomic<int> closes{0};
};

int count_cb(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn, HTTP_MSG *msg, void *user)
{
    Counts *c = static_cast<Counts *>(user);
    if (!msg) {
        c->closes++;
        return 1;
    }
    c->messages++;
    http_free_msg(msg);
    http_srv_reply_ok(p_conn);
    http_free_used_cln(p_srv, p_conn);
    return 1;
}

class HostileBareListener : public HttpPoolTest
{
};

TEST_F(HostileBareListener, ConnectionsThatNeverFinish)
{
    LogCapture log;
    int fds0 = open_fds();
    HTTP_LISTENER srv;
    memset(&srv, 0, sizeof(srv));
    ASSERT_EQ(http_srv_init(&srv, "127.0.0.1", 0, 3, 0, nullptr, nullptr), 0);
    Counts counts;
    http_set_msg_callback(&srv, count_cb, &counts);
    const int port = srv.listen_port;

    // Three connections hold every record: silent, half a head, a body that
    // stops short of its Content-Length.
    const std::string good = post(notify_body());
    int held[3];
    held[0] = tcp_client(port);
    held[1] = tcp_client(port);
    held[2] = tcp_client(port);
    for (int fd : held)
        ASSERT_GE(fd, 0);
    EXPECT_TRUE(send_all(held[1], good.substr(0, 30)));
    EXPECT_TRUE(send_all(held[2], good.substr(0, good.size() - 10)));

    // A fourth is accepted and closed at once, with its log line.
    EXPECT_TRUE(wait_until(
        [&] {
            Talk t = talk(port, good, false, 2000);
            return t.closed && t.reply.empty();
        },
        3000));
    EXPECT_TRUE(wait_until([&] { return log.contains("http_get_idle_cln::ret null!!!"); }, 2000));
    EXPECT_EQ(counts.messages.load(), 0);

    // Nobody gives up, but the request time limit passes: each holder is
    // closed, each close is reported and logged, and the records come back.
    http_srv_set_request_timeout(&srv, 300);
    for (int fd : held) {
        EXPECT_TRUE(read_until_close(fd, nullptr, 3000));
        close(fd);
    }
    EXPECT_TRUE(wait_until([&] { return counts.closes.load() == 3; }, 3000));
    EXPECT_TRUE(wait_until(
        [&] {
            return count_of(log.text(), "http_srv_rx, request time limit, closing connection[") ==
                   3;
        },
        2000));
    EXPECT_EQ(counts.messages.load(), 0);
    Talk t = talk(port, good, false);
    EXPECT_EQ(t.reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << t.reply;
    EXPECT_EQ(counts.messages.load(), 1);

    // A peer that keeps trickling bytes but never completes its head goes
    // at the limit too, however busy it looks.
    int trickler = tcp_client(port);
    ASSERT_GE(trickler, 0);
    const std::string endless = "POST /s HTTP/1.1\r\nX-Slow: " + std::string(2000, 's');
    auto t0 = Clock::now();
    bool cut = false;
    for (size_t i = 0; i < endless.size() && ms_since(t0) < 5000; i++) {
        if (!send_all(trickler, endless.substr(i, 1))) {
            cut = true;
            break;
        }
        struct pollfd pfd = {trickler, POLLIN, 0};
        if (poll(&pfd, 1, 20) > 0) {
            cut = true;
            break;
        }
    }
    EXPECT_TRUE(cut) << "the trickling connection was never closed";
    EXPECT_GE(ms_since(t0), 250) << "closed before its time limit";
    close(trickler);
    EXPECT_TRUE(wait_until([&] { return counts.closes.load() == 4; }, 3000));
    t = talk(port, good, false);
    EXPECT_EQ(t.reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << t.reply;
    EXPECT_EQ(counts.messages.load(), 2);
    http_srv_deinit(&srv);
    EXPECT_LE(open_fds(), fds0);
}

} // namespace
