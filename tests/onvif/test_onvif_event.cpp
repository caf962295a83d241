// The event module over real loopback sockets: the notification listener
// against hostile and valid posts, and subscriptions end to end with the
// camera simulator as the device (Subscribe, Notify delivery, renewal at half
// the interval, renewal failures with and without a subscription-lost
// callback, Unsubscribe, a full renewal table, pull points).

#include "onvif/onvif_event.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "onvif/onvif_list.h"
#include "onvif/onvif_tev.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_trans.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_process.h"

namespace
{

using Clock = std::chrono::steady_clock;

// Waits (sleeping 20 ms between checks) until pred holds or ms have passed.
bool wait_for(const std::function<bool()> &pred, int ms)
{
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (int i = 0; i < 100000; i++) {
        if (pred()) return true;
        if (Clock::now() >= end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pred();
}

// ---- what the callbacks saw ----

struct Seen {
    std::mutex mu;
    std::vector<std::string> request_lines;
    std::vector<int> counts;
    ONVIF_DEVICE sink; // keeps the delivered messages
    std::atomic<int> lost{0};
    ONVIF_DEVICE *lost_dev = nullptr;
};
Seen *g_seen = nullptr;

void on_notify(EVENT_NOTIFY *n, void *user)
{
    Seen *s = static_cast<Seen *>(user);
    std::lock_guard<std::mutex> lk(s->mu);
    s->request_lines.push_back(n->request_line);
    s->counts.push_back(onvif_get_NotificationMessages_nums(n->messages));
    onvif_device_add_NotificationMessages(&s->sink, n->messages);
}

void on_lost(ONVIF_DEVICE *dev, void *user)
{
    Seen *s = static_cast<Seen *>(user);
    s->lost_dev = dev;
    s->lost++;
}

size_t notify_count()
{
    std::lock_guard<std::mutex> lk(g_seen->mu);
    return g_seen->request_lines.size();
}

// ---- raw loopback client ----

int connect_loopback(int port, int timeout_ms)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (sockaddr *)&a, sizeof(a)) != 0 && errno != EINPROGRESS) {
        close(fd);
        return -1;
    }
    pollfd p{fd, POLLOUT, 0};
    int err = 0;
    socklen_t len = sizeof(err);
    if (poll(&p, 1, timeout_ms) != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 ||
        err != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Sends data and reads until the peer closes (or timeout_ms pass). *closed
// tells whether the peer closed.
std::string talk(int port, const std::string &data, int timeout_ms = 3000, bool *closed = nullptr)
{
    if (closed) *closed = false;
    int fd = connect_loopback(port, timeout_ms);
    if (fd < 0) return "<no connection>";
    size_t off = 0;
    while (off < data.size()) {
        ssize_t n = send(fd, data.data() + off, data.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += (size_t)n;
    }
    std::string out;
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (int i = 0; i < 10000 && Clock::now() < end; i++) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) != 1) continue;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n <= 0) {
            if (closed) *closed = true;
            break;
        }
        out.append(buf, (size_t)n);
    }
    close(fd);
    return out;
}

std::string post(const std::string &uri, const std::string &body,
                 const std::string &extra = std::string())
{
    return "POST " + uri +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/soap+xml\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string notify_body(int messages)
{
    std::string b = "<?xml version=\"1.0\"?><env:Envelope "
                    "xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
                    "xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
                    "xmlns:tt=\"http://www.onvif.org/ver10/schema\"><env:Body><wsnt:Notify>";
    for (int i = 0; i < messages; i++)
        b += "<wsnt:NotificationMessage><wsnt:Topic Dialect=\"d\">tns1:T" + std::to_string(i) +
             "</wsnt:Topic><wsnt:Message><tt:Message><tt:Data><tt:SimpleItem Name=\"n\" "
             "Value=\"" +
             std::to_string(i) +
             "\"/></tt:Data></tt:Message></wsnt:Message>"
             "</wsnt:NotificationMessage>";
    return b + "</wsnt:Notify></env:Body></env:Envelope>";
}

std::string envelope(const std::string &body_content)
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>" +
           body_content + "</s:Body></s:Envelope>";
}

// ---- fixture ----

class EventTest : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        seen_ = std::make_unique<Seen>();
        memset(&seen_->sink, 0, sizeof(seen_->sink));
        g_seen = seen_.get();
        start_module(8);
    }
    void TearDown() override
    {
        onvif_event_deinit();
        onvif_free_NotificationMessages(&seen_->sink.notify_messages);
        for (auto &d : devs_)
            onvif_free_NotificationMessages(&d->notify_messages);
        g_seen = nullptr;
        HttpPoolTest::TearDown();
    }

    void start_module(int conns)
    {
        ASSERT_EQ(onvif_event_init("127.0.0.1", 0, conns), 1);
        port_ = onvif_event_listen_port();
        ASSERT_GT(port_, 0);
        onvif_set_event_notify_cb(on_notify, seen_.get());
    }

    ONVIF_DEVICE *new_device(int cam_port)
    {
        devs_.push_back(std::make_unique<ONVIF_DEVICE>());
        ONVIF_DEVICE *d = devs_.back().get();
        memset(d, 0, sizeof(*d));
        snprintf(d->binfo.xaddr.host, sizeof(d->binfo.xaddr.host), "127.0.0.1");
        snprintf(d->binfo.xaddr.path, sizeof(d->binfo.xaddr.path), "/onvif/device_service");
        d->binfo.xaddr.port = cam_port;
        return d;
    }

    std::unique_ptr<Seen> seen_;
    std::vector<std::unique_ptr<ONVIF_DEVICE>> devs_;
    int port_ = 0;
};

// ---- the listener side ----

TEST_F(EventTest, NotifyWithTwoMessagesIsDeliveredAndAnswered)
{
    std::string uri = "/subscription4/1700000000";
    std::string reply = talk(port_, post(uri, notify_body(2)));
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply;
    ASSERT_TRUE(wait_for([] { return notify_count() == 1; }, 3000));
    std::lock_guard<std::mutex> lk(seen_->mu);
    EXPECT_EQ(seen_->request_lines[0], uri + " HTTP/1.1");
    EXPECT_EQ(seen_->counts[0], 2);
    NotificationMessageList *m = seen_->sink.notify_messages;
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->NotificationMessage.topic, "tns1:T0");
    ASSERT_NE(m->next, nullptr);
    EXPECT_STREQ(onvif_format_SimpleItem(m->next->NotificationMessage.message.data_simple),
                 "n:1\r\n");
}

TEST_F(EventTest, HostileNotificationsAreLoggedAndDropped)
{
    LogCapture log;
    struct Case {
        std::string request;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"POST /s HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "http_get_ctt ret null!!!"},
        {post("/s", "<<<not xml &&&"), "xxx_hxml_parse ret null!!!"},
        {post("/s", "<html><body/></html>"), "node name[html] != [s:Envelope]!!!"},
        {post("/s", "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"/>"),
         "xml_node_soap_get[s:Body] ret null!!!"},
        {post("/s", envelope("")), "body first child node is null!!!"},
        {post("/s", envelope("<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code></s:Fault>")),
         "body first child node name[s:Fault]."},
    };
    for (const Case &c : cases) {
        bool closed = false;
        std::string reply = talk(port_, c.request, 3000, &closed);
        EXPECT_TRUE(closed) << c.request;
        EXPECT_EQ(reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << c.request << reply;
        EXPECT_TRUE(log.contains("onvif_event_http_process, " + c.logged)) << c.logged;
    }

    // A Content-Length far beyond any notification: the connection is
    // dropped before any body is read.
    bool closed = false;
    talk(port_, "POST /s HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n<s:Env", 3000, &closed);
    EXPECT_TRUE(closed);

    // 1000 connections opened and dropped, half of them with a reset. Five
    // at a time with a short pause: the listener takes its backlog of ten
    // once per pass, and a connection beyond it would only wait for the
    // client's SYN retransmission.
    int opened = 0;
    for (int round = 0; round < 200; round++) {
        int fds[5];
        for (int i = 0; i < 5; i++) {
            fds[i] = connect_loopback(port_, 5000);
            if (fds[i] >= 0) opened++;
        }
        for (int i = 0; i < 5; i++) {
            if (fds[i] < 0) continue;
            if (i % 2) {
                linger l{1, 0};
                setsockopt(fds[i], SOL_SOCKET, SO_LINGER, &l, sizeof(l));
            }
            close(fds[i]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(opened, 1000);
    EXPECT_EQ(notify_count(), 0u);

    // Still serving, with every connection record back: eight notifications
    // at once on eight connections.
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < 8; i++)
        threads.emplace_back([&, i] {
            std::string r =
                talk(port_, post("/subscription" + std::to_string(i) + "/1", notify_body(1)), 5000);
            if (r.rfind("HTTP/1.1 200 OK\r\n", 0) == 0) ok++;
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(ok.load(), 8);
    EXPECT_TRUE(wait_for([] { return notify_count() == 8; }, 3000));
}

TEST_F(EventTest, LongRequestLineIsCutAndNotifyWithoutCallbackIsFreed)
{
    std::string uri = "/" + std::string(300, 'u');
    talk(port_, post(uri, notify_body(1)));
    ASSERT_TRUE(wait_for([] { return notify_count() == 1; }, 3000));
    {
        std::lock_guard<std::mutex> lk(seen_->mu);
        EXPECT_EQ(seen_->request_lines[0], uri.substr(0, 199));
    }
    // Without a callback the messages are freed (the leak check of the
    // sanitizer run catches it otherwise).
    onvif_set_event_notify_cb(nullptr, nullptr);
    std::string reply = talk(port_, post("/s", notify_body(3)));
    EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
}

// Notifications are a few KiB: the listener takes bodies up to 1 MiB unless
// told otherwise, and refuses a larger one before storing any of it.
TEST_F(EventTest, NotificationBodiesUpToTheLimit)
{
    struct Case {
        uint32_t limit; // 0: the default
        size_t size;    // of the body, padded behind the envelope
        bool delivered;
    } cases[] = {
        {0, 1048576, true},
        {0, 1048577, false},
        {3u << 20, 2u << 20, true},
        {3u << 20, (3u << 20) + 1, false},
        {0, 4096, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.limit) + " " + std::to_string(c.size));
        onvif_event_set_max_notify(c.limit);
        std::string body = notify_body(1);
        ASSERT_LT(body.size(), c.size);
        body += std::string(c.size - body.size(), ' ');
        size_t before = notify_count();
        bool closed = false;
        std::string reply = talk(port_, post("/subscription1/1", body), 5000, &closed);
        EXPECT_TRUE(closed);
        if (c.delivered) {
            EXPECT_EQ(reply.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << reply.substr(0, 40);
            EXPECT_TRUE(wait_for([&] { return notify_count() == before + 1; }, 3000));
        } else {
            EXPECT_EQ(reply, ""); // dropped without an answer
            EXPECT_EQ(notify_count(), before);
        }
    }
    onvif_event_set_max_notify(0);
}

TEST_F(EventTest, NotRunningModuleRefusesAndRestarts)
{
    onvif_event_deinit();
    EXPECT_EQ(onvif_event_listen_port(), 0);
    ONVIF_DEVICE *d = new_device(1);
    EXPECT_EQ(Subscribe(d, 0), 0);
    EXPECT_EQ(d->subscribed, 0);
    EXPECT_EQ(onvif_event_timer_add(d), 0);
    EXPECT_EQ(onvif_event_timer_del(d), 0);
    onvif_event_deinit(); // twice is harmless
    start_module(2);
    EXPECT_EQ(onvif_event_init("127.0.0.1", 0, 2), 0); // already running
    // A port that is taken: the listener cannot start, nothing runs.
    onvif_event_deinit();
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, (sockaddr *)&a, sizeof(a)), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    socklen_t len = sizeof(a);
    getsockname(fd, (sockaddr *)&a, &len);
    {
        LogCapture log;
        EXPECT_EQ(onvif_event_init("127.0.0.1", ntohs(a.sin_port), 2), 0);
    }
    EXPECT_EQ(onvif_event_listen_port(), 0);
    close(fd);
    start_module(8);
}

// ---- end to end with the camera simulator ----

#ifdef CAMSIM_PATH

// One camsim process on loopback with an ephemeral port and its request log.
class Camsim : public CamsimProcess
{
  public:
    explicit Camsim(const std::string &config_json)
        : CamsimProcess(CAMSIM_PATH, config_json,
                        CamsimOptions{"/tmp/camsim_event_XXXXXX", 0, true})
    {
    }

    // Log lines of one operation (or of one event kind), in order.
    std::vector<std::string> lines(const std::string &operation) const
    {
        std::vector<std::string> v;
        std::ifstream in(dir() + "/log");
        std::string line;
        for (int i = 0; i < 100000 && std::getline(in, line); i++)
            if (line.find("\"operation\":\"" + operation + "\"") != std::string::npos ||
                line.find("\"event\":\"" + operation + "\"") != std::string::npos)
                v.push_back(line);
        return v;
    }
};

std::string json_field(const std::string &line, const std::string &key)
{
    std::smatch m;
    if (std::regex_search(line, m, std::regex("\"" + key + "\":(\"([^\"]*)\"|[^,}]*)")))
        return m[2].matched ? std::string(m[2]) : std::string(m[1]);
    return "";
}

// Milliseconds since the epoch of a log line's "time" ("...T..:..:..mmmZ").
int64_t log_ms(const std::string &line)
{
    std::string t = json_field(line, "time");
    struct tm tm;
    memset(&tm, 0, sizeof(tm));
    int ms = 0;
    if (sscanf(t.c_str(), "%d-%d-%dT%d:%d:%d.%dZ", &tm.tm_year, &tm.tm_mon, &tm.tm_mday,
               &tm.tm_hour, &tm.tm_min, &tm.tm_sec, &ms) != 7)
        return -1;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    return (int64_t)timegm(&tm) * 1000 + ms;
}

class EventCamsim : public EventTest
{
  protected:
    // A camera and a device record that knows its events service.
    ONVIF_DEVICE *start_camera(const std::string &cfg)
    {
        cam_ = std::make_unique<Camsim>(cfg);
        if (cam_->port() <= 0) {
            ADD_FAILURE() << "camsim did not start with " << cfg;
            return nullptr;
        }
        ONVIF_DEVICE *d = new_device(cam_->port());
        EXPECT_EQ(GetCapabilities(d), 1);
        EXPECT_EQ(d->capabilities.events.xaddr.port, cam_->port());
        return d;
    }
    size_t count(const std::string &op) const { return cam_->lines(op).size(); }

    std::unique_ptr<Camsim> cam_;
};

TEST_F(EventCamsim, SubscribeDeliversNotifyAndFreeDeviceUnsubscribes)
{
    ONVIF_DEVICE *d = start_camera("[{\"notify_count\":1,\"notify_messages\":2}]");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Subscribe(d, 3), 1) << d->last_error;
    EXPECT_EQ(d->subscribed, 1);
    EXPECT_EQ(d->renew_interval, 60);
    std::string consumer = d->consumer_address;
    std::string prefix = "http://127.0.0.1:" + std::to_string(port_) + "/subscription3/";
    ASSERT_EQ(consumer.rfind(prefix, 0), 0u) << consumer;
    std::string path = consumer.substr(consumer.find("/subscription3/"));
    EXPECT_EQ(std::string(d->subscription_address),
              "http://127.0.0.1:" + std::to_string(cam_->port()) + "/onvif/subscription/1");
    EXPECT_NE(std::string(d->reference_parameters).find("SubscriptionId"), std::string::npos);
    auto sub = cam_->lines("Subscribe");
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_EQ(json_field(sub[0], "consumer"), consumer);
    EXPECT_EQ(json_field(sub[0], "termination_s"), "60");

    ASSERT_TRUE(wait_for([] { return notify_count() == 1; }, 5000));
    {
        std::lock_guard<std::mutex> lk(seen_->mu);
        EXPECT_EQ(seen_->request_lines[0].rfind(path + " ", 0), 0u) << seen_->request_lines[0];
        EXPECT_EQ(seen_->counts[0], 2);
        NotificationMessageList *a = seen_->sink.notify_messages;
        ASSERT_NE(a, nullptr);
        ASSERT_NE(a->next, nullptr);
        EXPECT_EQ(a->next->next, nullptr);
        const ONVIF_NOTIFICATION_MESSAGE &m1 = a->NotificationMessage;
        EXPECT_STREQ(m1.topic, "tns1:VideoSource/MotionAlarm");
        EXPECT_STREQ(m1.subscription_reference, d->subscription_address);
        EXPECT_EQ(m1.message.property_operation, 2);
        EXPECT_STREQ(onvif_format_SimpleItem(m1.message.source_simple), "Source:VideoSource_1\r\n");
        EXPECT_STREQ(onvif_format_SimpleItem(m1.message.key_simple), "Index:0\r\n");
        EXPECT_STREQ(onvif_format_SimpleItem(m1.message.data_simple), "State:true\r\n");
        const ONVIF_NOTIFICATION_MESSAGE &m2 = a->next->NotificationMessage;
        EXPECT_STREQ(m2.topic, "tns1:RuleEngine/CellMotionDetector/Motion");
        EXPECT_STREQ(onvif_format_SimpleItem(m2.message.source_simple),
                     "VideoSourceConfigurationToken:VSC_1\r\nRule:Motion & more\r\n");
        EXPECT_STREQ(onvif_format_SimpleItem(m2.message.data_simple), "IsMotion:true\r\n");
        ASSERT_NE(m2.message.data_element, nullptr);
        EXPECT_STREQ(m2.message.data_element->ElementItem.name, "Region");
        ASSERT_NE(m2.message.data_element->ElementItem.any, nullptr);
        std::string region = m2.message.data_element->ElementItem.any;
        EXPECT_NE(region.find("Polygon"), std::string::npos) << region;
        EXPECT_NE(region.find("x=\"0.9\""), std::string::npos) << region;
    }
    // The camera got its answer.
    ASSERT_TRUE(wait_for([&] { return count("notify") == 1; }, 3000));
    EXPECT_EQ(json_field(cam_->lines("notify")[0], "status"), "200");

    onvif_free_device(d);
    EXPECT_EQ(d->subscribed, 0);
    auto unsub = cam_->lines("Unsubscribe");
    ASSERT_EQ(unsub.size(), 1u);
    EXPECT_EQ(json_field(unsub[0], "status"), "200");
    EXPECT_EQ(json_field(unsub[0], "ref_id"), "1");
    EXPECT_EQ(json_field(unsub[0], "wsa_to"), d->subscription_address);
}

TEST_F(EventCamsim, RenewAtHalfTheIntervalAndNotAfterUnsubscribe)
{
    ONVIF_DEVICE *d = start_camera("[{}]");
    ASSERT_NE(d, nullptr);
    d->renew_interval = 4;
    ASSERT_EQ(Subscribe(d, 0), 1);
    ASSERT_TRUE(wait_for([&] { return count("Renew") >= 2; }, 9000));
    auto sub = cam_->lines("Subscribe");
    auto renew = cam_->lines("Renew");
    ASSERT_EQ(sub.size(), 1u);
    // Whole seconds: half of 4 s is due after more than 1 s, never sooner.
    EXPECT_GT(log_ms(renew[0]) - log_ms(sub[0]), 1000);
    EXPECT_GT(log_ms(renew[1]) - log_ms(renew[0]), 1000);
    for (const auto &r : renew) {
        EXPECT_EQ(json_field(r, "status"), "200") << r;
        EXPECT_EQ(json_field(r, "ref_id"), "1") << r;
        EXPECT_EQ(json_field(r, "termination_s"), "4") << r;
    }
    EXPECT_EQ(d->subscribed, 1);

    ASSERT_EQ(Unsubscribe(d), 1);
    EXPECT_EQ(d->subscribed, 0);
    // From here on the sweeps go by hand; a renewal that was under way
    // when Unsubscribe returned has ended after the first one.
    onvif_event_timer_deinit();
    onvif_event_renew_tick();
    size_t after = count("Renew");
    d->subscribe_time = 0; // long due, were it still in the table
    onvif_event_renew_tick();
    EXPECT_EQ(count("Renew"), after);
}

TEST_F(EventCamsim, RenewIsDueAtExactlyHalfTheInterval)
{
    ONVIF_DEVICE *d = start_camera("[{}]");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Subscribe(d, 0), 1);
    EXPECT_EQ(d->renew_interval, 60);
    onvif_event_timer_deinit(); // sweeps by hand only
    // 29 s after subscribing: not yet (retried when a second boundary fell
    // between setting the time and the sweep).
    bool checked = false;
    for (int i = 0; i < 3 && !checked; i++) {
        time_t t0 = time(nullptr);
        d->subscribe_time = (int64_t)t0 - 29;
        onvif_event_renew_tick();
        checked = time(nullptr) == t0;
        if (checked) {
            EXPECT_EQ(count("Renew"), 0u);
        }
    }
    EXPECT_TRUE(checked);
    d->subscribe_time = (int64_t)time(nullptr) - 30;
    onvif_event_renew_tick();
    ASSERT_EQ(count("Renew"), 1u);
    EXPECT_EQ(json_field(cam_->lines("Renew")[0], "termination_s"), "60");
    EXPECT_GE(d->subscribe_time, (int64_t)time(nullptr) - 1);
    ASSERT_EQ(onvif_event_timer_init(), 1);
    Unsubscribe(d);
}

TEST_F(EventCamsim, RenewFailureWithCallbackEndsTheSubscriptionOnce)
{
    LogCapture log;
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"Renew\":\"fault\"}}]");
    ASSERT_NE(d, nullptr);
    onvif_set_subscribe_disconnect_cb(on_lost, seen_.get());
    d->renew_interval = 2;
    ASSERT_EQ(Subscribe(d, 1), 1);
    ASSERT_TRUE(wait_for([&] { return seen_->lost.load() >= 1; }, 6000));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(seen_->lost.load(), 1);
    EXPECT_EQ(seen_->lost_dev, d);
    EXPECT_EQ(d->subscribed, 0);
    EXPECT_EQ(count("Renew"), 1u);
    EXPECT_TRUE(log.contains("onvif event renew failed, 127.0.0.1\r\n"));
}

TEST_F(EventCamsim, RenewFailureWithoutCallbackIsRetriedEverySecond)
{
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"Renew\":\"fault\"}}]");
    ASSERT_NE(d, nullptr);
    d->renew_interval = 2;
    ASSERT_EQ(Subscribe(d, 1), 1);
    ASSERT_TRUE(wait_for([&] { return count("Renew") >= 3; }, 8000));
    auto renew = cam_->lines("Renew");
    for (size_t i = 1; i < renew.size(); i++)
        EXPECT_GT(log_ms(renew[i]) - log_ms(renew[i - 1]), 800); // once per tick, not faster
    EXPECT_EQ(d->subscribed, 1);
    EXPECT_EQ(seen_->lost.load(), 0);
    Unsubscribe(d);
    onvif_event_timer_deinit();
    onvif_event_renew_tick();
    size_t after = count("Renew");
    onvif_event_renew_tick();
    EXPECT_EQ(count("Renew"), after);
}

// A camera that never answers its Renew holds up nobody: the other
// camera's renewal, Subscribe, Unsubscribe and onvif_free_device all go on
// while the dead one's renewal waits out its time-out.
TEST_F(EventCamsim, DeadCameraHoldsUpNobody)
{
    LogCapture log;
    onvif_set_subscribe_disconnect_cb(on_lost, seen_.get());
    Camsim dead("[{\"answer_ops\":{\"Renew\":\"never\"}}]");
    ASSERT_GT(dead.port(), 0);
    ONVIF_DEVICE *a = new_device(dead.port());
    ASSERT_EQ(GetCapabilities(a), 1);
    ONVIF_DEVICE *b = start_camera("[{}]");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(Subscribe(a, 0), 1); // first in the table
    ASSERT_EQ(Subscribe(b, 1), 1);
    // Both due at the next tick.
    a->subscribe_time = 0;
    b->subscribe_time = 0;
    ASSERT_TRUE(wait_for([&] { return count("Renew") >= 1; }, 30000));
    // The dead camera's renewal has not ended (it would have been reported).
    EXPECT_EQ(seen_->lost.load(), 0);
    EXPECT_FALSE(log.contains("onvif event renew failed"));
    EXPECT_EQ(json_field(cam_->lines("Renew")[0], "status"), "200");

    ONVIF_DEVICE *c = new_device(cam_->port());
    c->capabilities = b->capabilities;
    EXPECT_EQ(Subscribe(c, 2), 1);
    EXPECT_EQ(Unsubscribe(b), 1);
    onvif_free_device(c);
    EXPECT_EQ(count("Unsubscribe"), 2u);
    EXPECT_EQ(seen_->lost.load(), 0);

    // The dead camera's own record may go too; its renewal drops its outcome.
    onvif_free_device(a);
    EXPECT_EQ(a->subscribed, 0);
    EXPECT_EQ(dead.lines("Unsubscribe").size(), 1u);
    for (auto &d : devs_)
        if (d.get() == a) d.reset(); // freed while its renewal is still under way
    EXPECT_EQ(seen_->lost.load(), 0);
    EXPECT_FALSE(log.contains("onvif event renew failed"));
    onvif_event_timer_deinit();
    onvif_event_renew_tick(); // waits for the dead camera's time-out
    EXPECT_EQ(seen_->lost.load(), 0);
    devs_.erase(std::remove(devs_.begin(), devs_.end(), nullptr), devs_.end());
}

// Whatever the subscription-lost callback does with the library, it does not
// wait for a lock held around it.
TEST_F(EventCamsim, LostCallbackRunsWithoutLibraryLocks)
{
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"Renew\":\"fault\"}}]");
    ASSERT_NE(d, nullptr);
    ONVIF_DEVICE *other = new_device(cam_->port());
    struct Probe {
        ONVIF_DEVICE *other;
        std::thread helper;
        std::atomic<int> done{0};
        bool in_time = false;
        int calls = 0;
    } probe;
    probe.other = other;
    onvif_set_subscribe_disconnect_cb(
        [](ONVIF_DEVICE *, void *user) {
            Probe *p = static_cast<Probe *>(user);
            p->calls++;
            // Another thread uses the table and the callback setter meanwhile.
            p->helper = std::thread([p] {
                onvif_event_timer_add(p->other);
                onvif_event_timer_del(p->other);
                onvif_set_subscribe_disconnect_cb(nullptr, nullptr);
                p->done = 1;
            });
            for (int i = 0; i < 500 && !p->done.load(); i++)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            p->in_time = p->done.load() == 1;
        },
        &probe);
    ASSERT_EQ(Subscribe(d, 0), 1);
    onvif_event_timer_deinit();
    d->subscribe_time = 0;
    onvif_event_renew_tick(); // the callback runs within it
    if (probe.helper.joinable()) probe.helper.join();
    EXPECT_EQ(probe.calls, 1);
    EXPECT_TRUE(probe.in_time);
    EXPECT_EQ(d->subscribed, 0);
}

// A pull point expires like any subscription: it is renewed at its
// reference, and no more after Unsubscribe.
TEST_F(EventCamsim, PullPointIsRenewedUntilUnsubscribed)
{
    ONVIF_DEVICE *d = start_camera("[{}]");
    ASSERT_NE(d, nullptr);
    onvif_event_timer_deinit(); // sweeps by hand
    d->renew_interval = 10;
    ASSERT_EQ(CreatePullPointSubscription(d), 1);
    EXPECT_EQ(json_field(cam_->lines("CreatePullPointSubscription")[0], "termination_s"), "10");
    d->subscribe_time = (int64_t)time(nullptr) - 5;
    onvif_event_renew_tick();
    auto renew = cam_->lines("Renew");
    ASSERT_EQ(renew.size(), 1u);
    EXPECT_EQ(json_field(renew[0], "path"), "/onvif/pullpoint/1");
    EXPECT_EQ(json_field(renew[0], "status"), "200");
    EXPECT_EQ(json_field(renew[0], "termination_s"), "10");
    EXPECT_GE(d->subscribe_time, (int64_t)time(nullptr) - 1);

    ASSERT_EQ(Unsubscribe(d), 1);
    EXPECT_EQ(d->pull_point, 0);
    EXPECT_EQ(cam_->lines("Unsubscribe").size(), 1u);
    d->subscribe_time = 0;
    onvif_event_renew_tick();
    EXPECT_EQ(count("Renew"), 1u);
}

// A pull point whose renewal fails is reported lost like a push subscription.
TEST_F(EventCamsim, LostPullPointIsReported)
{
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"Renew\":\"fault\"}}]");
    ASSERT_NE(d, nullptr);
    onvif_set_subscribe_disconnect_cb(on_lost, seen_.get());
    onvif_event_timer_deinit();
    ASSERT_EQ(CreatePullPointSubscription(d), 1);
    d->subscribe_time = 0;
    onvif_event_renew_tick();
    EXPECT_EQ(seen_->lost.load(), 1);
    EXPECT_EQ(seen_->lost_dev, d);
    EXPECT_EQ(d->pull_point, 0);
}

// PullMessages with a time-out of 10 s or more: the device may hold its
// answer that long, and the transaction waits for it.
TEST_F(EventCamsim, LongPullMessagesTimeOutIsWaitedFor)
{
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"PullMessages\":\"slow:10500\"}}]");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(CreatePullPointSubscription(d), 1);
    ONVIF_PULL_MESSAGES_RES res;
    ASSERT_EQ(PullMessages(d, 12, 2, &res), 1) << d->last_error;
    EXPECT_EQ(onvif_get_NotificationMessages_nums(res.messages), 2);
    onvif_free_NotificationMessages(&res.messages);
    Unsubscribe(d);
}

TEST_F(EventCamsim, FullRenewalTableRefusesTheSubscription)
{
    onvif_event_deinit();
    start_module(1); // two table entries
    LogCapture log;
    ONVIF_DEVICE *a = start_camera("[{}]");
    ASSERT_NE(a, nullptr);
    ONVIF_DEVICE *b = new_device(cam_->port());
    ONVIF_DEVICE *c = new_device(cam_->port());
    b->capabilities = a->capabilities;
    c->capabilities = a->capabilities;
    ASSERT_EQ(Subscribe(a, 0), 1);
    ASSERT_EQ(Subscribe(a, 0), 1); // again: still one entry
    ASSERT_EQ(Subscribe(b, 1), 1);
    EXPECT_EQ(Subscribe(c, 2), 0);
    EXPECT_EQ(c->subscribed, 0);
    EXPECT_EQ(c->last_error, -2);
    EXPECT_TRUE(log.contains("renewal table full"));
    // The camera's subscription for c was cancelled at once.
    auto unsub = cam_->lines("Unsubscribe");
    ASSERT_EQ(unsub.size(), 1u);
    EXPECT_EQ(json_field(unsub[0], "ref_id"), "4");
    Unsubscribe(a);
    Unsubscribe(b);
}

TEST_F(EventCamsim, PullPointAndServiceDescription)
{
    ONVIF_DEVICE *d = start_camera("[{\"pull_messages\":3}]");
    ASSERT_NE(d, nullptr);
    ONVIF_CAP_EVENTS caps;
    ASSERT_EQ(onvif_tev_GetServiceCapabilities(d, nullptr, &caps), 1);
    EXPECT_TRUE(caps.flags & ONVIF_CAP_EVT_WS_PULL_POINT);
    ONVIF_EVENT_PROPERTIES props;
    ASSERT_EQ(onvif_tev_GetEventProperties(d, nullptr, &props), 1);
    EXPECT_EQ(props.fixed_topic_set, 1);

    ASSERT_EQ(CreatePullPointSubscription(d), 1);
    EXPECT_EQ(d->pull_point, 1);
    EXPECT_NE(std::string(d->subscription_address).find("/onvif/pullpoint/1"), std::string::npos);
    ONVIF_PULL_MESSAGES_RES res;
    ASSERT_EQ(PullMessages(d, 2, 2, &res), 1);
    EXPECT_EQ(onvif_get_NotificationMessages_nums(res.messages), 2);
    onvif_free_NotificationMessages(&res.messages);
    // Sent to the pull point with its reference parameters.
    auto pull = cam_->lines("PullMessages");
    ASSERT_EQ(pull.size(), 1u);
    EXPECT_EQ(json_field(pull[0], "path"), "/onvif/pullpoint/1");
    EXPECT_EQ(json_field(pull[0], "ref_id"), "1");
    EXPECT_EQ(json_field(pull[0], "messages"), "2");
}

#else

TEST(EventCamsim, Skipped)
{
    GTEST_SKIP() << "the camera simulator is not built (no Qt 5)";
}

#endif

} // namespace
