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
#include "tests/support/loopback_client.h"
#include "tests/support/onvif_records.h"
#include "tests/support/soap_text.h"
#include "tests/support/wait.h"

namespace
{

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

using soaptest::envelope;

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

    // A device record the fixture keeps, pointed at a camera's port.
    ONVIF_DEVICE *device_at(int cam_port)
    {
        devs_.push_back(new_device());
        point_at(devs_.back().get(), cam_port);
        return devs_.back().get();
    }

    std::unique_ptr<Seen> seen_;
    std::vector<std::unique_ptr<ONVIF_DEVICE>> devs_;
    int port_ = 0;
};

// ---- the listener side ----

TEST_F(EventTest, HostileNotificationsAreRefusedAndDropped)
{
    const std::string cases[] = {
        "POST /s HTTP/1.1\r\nContent-Length: 0\r\n\r\n",
        post("/s", "<<<not xml &&&"),
        post("/s", "<html><body/></html>"),
        post("/s", "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"/>"),
        post("/s", envelope("")),
        post("/s", envelope("<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code></s:Fault>")),
    };
    for (const std::string &c : cases) {
        bool closed = false;
        std::string reply = talk(port_, c, 3000, &closed);
        EXPECT_TRUE(closed) << c;
        EXPECT_EQ(reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << c << reply;
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
            fds[i] = tcp_client(port_);
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

    // Still serving: eight notifications at once on eight connections. The
    // listener may still be taking the last dropped connections off its
    // queue, and closes a connection it has no record for at once: such a
    // client tries again.
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int i = 0; i < 8; i++)
        threads.emplace_back([&, i] {
            const std::string req =
                post("/subscription" + std::to_string(i) + "/1", notify_body(1));
            std::string r;
            for (int attempt = 0; attempt < 100 && r.empty(); attempt++) {
                if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(20));
                r = talk(port_, req, 5000);
            }
            if (r.rfind("HTTP/1.1 200 OK\r\n", 0) == 0) ok++;
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(ok.load(), 8);
    EXPECT_TRUE(wait_until([] { return notify_count() == 8; }, 3000));
}

TEST_F(EventTest, LongRequestLineIsCutAndNotifyWithoutCallbackIsFreed)
{
    std::string uri = "/" + std::string(300, 'u');
    talk(port_, post(uri, notify_body(1)));
    ASSERT_TRUE(wait_until([] { return notify_count() == 1; }, 3000));
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
            EXPECT_TRUE(wait_until([&] { return notify_count() == before + 1; }, 3000));
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
    ONVIF_DEVICE *d = device_at(1);
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
    EXPECT_EQ(onvif_event_init("127.0.0.1", ntohs(a.sin_port), 2), 0);
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
        for (const std::string &line : log_lines())
            if (line.find("\"operation\":\"" + operation + "\"") != std::string::npos ||
                line.find("\"event\":\"" + operation + "\"") != std::string::npos)
                v.push_back(line);
        return v;
    }
};

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
        ONVIF_DEVICE *d = device_at(cam_->port());
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

    ASSERT_TRUE(wait_until([] { return notify_count() == 1; }, 5000));
    {
        std::lock_guard<std::mutex> lk(seen_->mu);
        EXPECT_EQ(seen_->request_lines[0].rfind(path + " ", 0), 0u) << seen_->request_lines[0];
        EXPECT_EQ(seen_->counts[0], 2);
        NotificationMessageList *a = seen_->sink.notify_messages;
        ASSERT_NE(a, nullptr);
        ASSERT_NE(a->next, nullptr);
        EXPECT_STREQ(a->NotificationMessage.subscription_reference, d->subscription_address);
        EXPECT_STREQ(onvif_format_SimpleItem(a->next->NotificationMessage.message.source_simple),
                     "VideoSourceConfigurationToken:VSC_1\r\nRule:Motion & more\r\n");
    }
    // The camera got its answer.
    ASSERT_TRUE(wait_until([&] { return count("notify") == 1; }, 3000));
    EXPECT_EQ(json_field(cam_->lines("notify")[0], "status"), "200");

    onvif_free_device(d);
    EXPECT_EQ(d->subscribed, 0);
    auto unsub = cam_->lines("Unsubscribe");
    ASSERT_EQ(unsub.size(), 1u);
    EXPECT_EQ(json_field(unsub[0], "status"), "200");
    EXPECT_EQ(json_field(unsub[0], "ref_id"), "1");
    EXPECT_EQ(json_field(unsub[0], "wsa_to"), d->subscription_address);
}

// The timer renews a subscription by itself.
TEST_F(EventCamsim, TimerRenewsByItself)
{
    ONVIF_DEVICE *d = start_camera("[{}]");
    ASSERT_NE(d, nullptr);
    d->renew_interval = 2;
    ASSERT_EQ(Subscribe(d, 0), 1);
    ASSERT_TRUE(wait_until([&] { return count("Renew") >= 1; }, 9000));
    onvif_event_timer_deinit(); // sweeps by hand from here on
    auto renew = cam_->lines("Renew");
    EXPECT_EQ(json_field(renew[0], "status"), "200") << renew[0];
    EXPECT_EQ(json_field(renew[0], "ref_id"), "1") << renew[0];
    EXPECT_EQ(json_field(renew[0], "termination_s"), "2") << renew[0];
    EXPECT_EQ(d->subscribed, 1);
    ASSERT_EQ(Unsubscribe(d), 1);
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
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"Renew\":\"fault\"}}]");
    ASSERT_NE(d, nullptr);
    onvif_set_subscribe_disconnect_cb(on_lost, seen_.get());
    ASSERT_EQ(Subscribe(d, 1), 1);
    onvif_event_timer_deinit(); // sweeps by hand only
    d->subscribe_time = (int64_t)time(nullptr) - 60;
    for (int i = 0; i < 3; i++)
        onvif_event_renew_tick();
    EXPECT_EQ(seen_->lost.load(), 1);
    EXPECT_EQ(seen_->lost_dev, d);
    EXPECT_EQ(d->subscribed, 0);
    EXPECT_EQ(count("Renew"), 1u);
}

// Without a subscription-lost callback a failed renewal is tried again on
// the next tick, and the subscription stays.
TEST_F(EventCamsim, RenewFailureWithoutCallbackIsRetriedEveryTick)
{
    ONVIF_DEVICE *d = start_camera("[{\"answer_ops\":{\"Renew\":\"fault\"}}]");
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(Subscribe(d, 1), 1);
    onvif_event_timer_deinit();
    d->subscribe_time = (int64_t)time(nullptr) - 60;
    for (size_t i = 1; i <= 3; i++) {
        onvif_event_renew_tick();
        EXPECT_EQ(count("Renew"), i);
    }
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
    ONVIF_DEVICE *a = device_at(dead.port());
    ASSERT_EQ(GetCapabilities(a), 1);
    ONVIF_DEVICE *b = start_camera("[{}]");
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(Subscribe(a, 0), 1); // first in the table
    ASSERT_EQ(Subscribe(b, 1), 1);
    // Both due at the next tick.
    a->subscribe_time = 0;
    b->subscribe_time = 0;
    ASSERT_TRUE(wait_until([&] { return count("Renew") >= 1; }, 30000));
    // The dead camera's renewal has not ended (it would have been reported).
    EXPECT_EQ(seen_->lost.load(), 0);
    EXPECT_FALSE(log.contains("onvif event renew failed"));
    EXPECT_EQ(json_field(cam_->lines("Renew")[0], "status"), "200");

    ONVIF_DEVICE *c = device_at(cam_->port());
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
    ONVIF_DEVICE *other = device_at(cam_->port());
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
    ONVIF_DEVICE *a = start_camera("[{}]");
    ASSERT_NE(a, nullptr);
    ONVIF_DEVICE *b = device_at(cam_->port());
    ONVIF_DEVICE *c = device_at(cam_->port());
    b->capabilities = a->capabilities;
    c->capabilities = a->capabilities;
    ASSERT_EQ(Subscribe(a, 0), 1);
    ASSERT_EQ(Subscribe(a, 0), 1); // again: still one entry
    ASSERT_EQ(Subscribe(b, 1), 1);
    EXPECT_EQ(Subscribe(c, 2), 0);
    EXPECT_EQ(c->subscribed, 0);
    EXPECT_EQ(c->last_error, -2);
    // The camera's subscription for c was cancelled at once.
    auto unsub = cam_->lines("Unsubscribe");
    ASSERT_EQ(unsub.size(), 1u);
    EXPECT_EQ(json_field(unsub[0], "ref_id"), "4");
    Unsubscribe(a);
    Unsubscribe(b);
}

TEST_F(EventCamsim, PullMessagesGoToThePullPoint)
{
    ONVIF_DEVICE *d = start_camera("[{\"pull_messages\":3}]");
    ASSERT_NE(d, nullptr);
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
