// The event module: notification listener, renewal table and timer, and the
// subscription calls that work on them.

#include "onvif/onvif_event.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "onvif/onvif_tev.h"
#include "onvif/onvif_trans.h"
#include "onvif/soap_parse.h"
#include "platform/pps.h"
#include "platform/sys_log.h"
#include "platform/sys_os.h"

namespace
{

const char *const kHttpProcess = "onvif_event_http_process";
const uint32_t kTickMs = 1000;
const int kDefaultRenewInterval = 60;
// Longest PullMessages time-out the transaction waits for (an hour).
const int kMaxPullTimeoutS = 3600;

// One entry of the renewal table.
struct RenewEntry {
    uint32_t in_use; // 1 while entered
    ONVIF_DEVICE *p_dev;
    uint32_t gen;  // new for every entering: a late renewal result finds it changed
    uint32_t busy; // a renewal of this entering is under way
};

// A device whose subscription-lost callback runs, and the thread running it.
struct Reporting {
    ONVIF_DEVICE *p_dev;
    std::thread::id thread;
};

struct EventModule {
    std::atomic<int> running{0};

    SYS_MUTEX notify_mutex = nullptr;
    onvif_event_notify_cb notify_cb = nullptr;
    void *notify_user = nullptr;

    SYS_MUTEX sub_mutex = nullptr; // the subscription-lost callback and its user data
    onvif_subscribe_disconnect_cb lost_cb = nullptr;
    void *lost_user = nullptr;

    HTTP_LISTENER listener;

    // Renewal table: a pool and its used list, under table_mu. No network
    // call is ever made under it: a sweep takes what is due and hands each
    // renewal to a thread of its own, which works on a copy of what the
    // renewal needs and comes back to the table only to record the outcome.
    PPS_CTX *table_pool = nullptr;
    PPS_CTX *table_list = nullptr;
    uint32_t capacity = 0;
    uint32_t next_gen = 0;
    std::mutex table_mu;
    std::condition_variable table_cv; // a renewal or a lost report ended
    int renewals = 0;                 // renewal threads under way
    std::vector<Reporting> reporting; // lost callbacks under way

    // Timer thread: timer_id is non-zero while it runs; timer_run asks it to
    // go on; timer_sig wakes it for a stop.
    std::atomic<uint32_t> timer_id{0};
    std::atomic<int> timer_run{0};
    std::atomic<int> timer_alive{0};
    SYS_SIG timer_sig = nullptr;
};

EventModule g_event;

// A fixed char field as a terminated text; out has field_size + 1 bytes.
void field_text(char *out, const char *field, size_t field_size)
{
    size_t n = strnlen(field, field_size);
    memcpy(out, field, n);
    out[n] = '\0';
}

void copy_text(char *dst, size_t size, const char *src)
{
    if (size == 0) return;
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n) memcpy(dst, src, n);
    dst[n] = '\0';
}

int effective_interval(const ONVIF_DEVICE *p_dev)
{
    return p_dev->renew_interval < 1 ? kDefaultRenewInterval : p_dev->renew_interval;
}

RenewEntry *entry_at(uint32_t index)
{
    return static_cast<RenewEntry *>(pps_get_node_by_index(g_event.table_pool, (int)index));
}

// The entry of a device, or null; called under table_mu.
RenewEntry *find_entry(const ONVIF_DEVICE *p_dev)
{
    for (uint32_t i = 0; i < g_event.capacity; i++) {
        RenewEntry *e = entry_at(i);
        if (e && e->in_use && e->p_dev == p_dev) return e;
    }
    return nullptr;
}

// Takes an entry out of the table; called under table_mu. A renewal of it
// still under way finds the entry changed and keeps its outcome to itself.
void remove_entry(RenewEntry *e)
{
    pps_ctx_ul_del(g_event.table_list, e);
    e->in_use = 0;
    e->p_dev = nullptr;
    e->busy = 0;
    pps_fl_push_tail(g_event.table_pool, e);
}

bool table_init(uint32_t capacity)
{
    g_event.table_pool = pps_ctx_fl_init(capacity, sizeof(RenewEntry), 1);
    if (!g_event.table_pool) return false;
    g_event.table_list = pps_ctx_ul_init(g_event.table_pool, 1);
    if (!g_event.table_list) {
        pps_fl_free(g_event.table_pool);
        g_event.table_pool = nullptr;
        return false;
    }
    g_event.capacity = capacity;
    for (uint32_t i = 0; i < capacity; i++) {
        RenewEntry *e = entry_at(i);
        if (e) memset(e, 0, sizeof(*e));
    }
    return true;
}

void table_free()
{
    if (g_event.table_list) pps_ul_free(g_event.table_list);
    if (g_event.table_pool) pps_fl_free(g_event.table_pool);
    g_event.table_list = nullptr;
    g_event.table_pool = nullptr;
    g_event.capacity = 0;
}

// One renewal under way: the entry and its entering, and a device record of
// its own with what the Renew needs (address, credentials, clock, the
// reference), so that the owner may unsubscribe or free its record meanwhile.
struct RenewJob {
    RenewEntry *entry;
    uint32_t gen;
    ONVIF_DEVICE *p_dev; // the owner's record: looked at again only under table_mu
    ONVIF_DEVICE *copy;
    int interval;
    int64_t now;
};

ONVIF_DEVICE *renewal_copy(const ONVIF_DEVICE *p_dev)
{
    ONVIF_DEVICE *c = static_cast<ONVIF_DEVICE *>(calloc(1, sizeof(ONVIF_DEVICE)));
    if (!c) return nullptr;
    c->binfo.xaddr = p_dev->binfo.xaddr;
    c->time_type = p_dev->time_type;
    c->device_time = p_dev->device_time;
    c->time_stamp = p_dev->time_stamp;
    memcpy(c->username, p_dev->username, sizeof(c->username));
    memcpy(c->password, p_dev->password, sizeof(c->password));
    c->basic_over_http = p_dev->basic_over_http;
    c->need_auth = p_dev->need_auth;
    c->subscribed = p_dev->subscribed;
    c->pull_point = p_dev->pull_point;
    memcpy(c->subscription_address, p_dev->subscription_address, sizeof(c->subscription_address));
    memcpy(c->reference_parameters, p_dev->reference_parameters, sizeof(c->reference_parameters));
    c->renew_interval = p_dev->renew_interval;
    c->subscribe_time = p_dev->subscribe_time;
    c->capabilities.events.xaddr = p_dev->capabilities.events.xaddr;
    return c;
}

// Whether the job's entering is still in the table; under table_mu.
bool job_current(const RenewJob *job)
{
    RenewEntry *e = job->entry;
    return e->in_use && e->p_dev == job->p_dev && e->gen == job->gen;
}

// The end of a job: counts it off and wakes whoever waits; under table_mu.
void job_done(RenewJob *job)
{
    if (job_current(job)) job->entry->busy = 0;
    g_event.renewals--;
    g_event.table_cv.notify_all();
}

void run_renewal(RenewJob *job)
{
    ONVIF_RENEW_REQ req;
    memset(&req, 0, sizeof(req));
    req.termination_time = job->interval;
    int ok = onvif_tev_Renew(job->copy, &req, nullptr);

    std::unique_lock<std::mutex> lock(g_event.table_mu);
    if (!job_current(job)) { // unsubscribed (or freed) meanwhile: nothing to tell
        job_done(job);
        return;
    }
    if (ok) {
        job->p_dev->subscribe_time = job->now;
        job_done(job);
        return;
    }
    lock.unlock();

    char host[sizeof(job->copy->binfo.xaddr.host) + 1];
    field_text(host, job->copy->binfo.xaddr.host, sizeof(job->copy->binfo.xaddr.host));
    log_print(LOG_ERROR, "onvif event renew failed, %s\r\n", host);

    sys_os_mutex_enter(g_event.sub_mutex);
    onvif_subscribe_disconnect_cb cb = g_event.lost_cb;
    void *user = g_event.lost_user;
    sys_os_mutex_leave(g_event.sub_mutex);

    lock.lock();
    if (!cb || !job_current(job)) { // kept: tried again at the next tick
        job_done(job);
        return;
    }
    // The subscription ends here. The callback runs without any lock of the
    // library; until it returns, taking the device out of the table (and so
    // Unsubscribe and onvif_free_device) waits on other threads.
    ONVIF_DEVICE *p_dev = job->p_dev;
    p_dev->subscribed = 0;
    p_dev->pull_point = 0;
    remove_entry(job->entry);
    g_event.reporting.push_back(Reporting{p_dev, std::this_thread::get_id()});
    lock.unlock();

    cb(p_dev, user);

    lock.lock();
    auto &r = g_event.reporting;
    for (size_t i = 0; i < r.size(); i++) {
        if (r[i].p_dev == p_dev && r[i].thread == std::this_thread::get_id()) {
            r.erase(r.begin() + (long)i);
            break;
        }
    }
    job_done(job);
}

void *renewal_thread(void *arg)
{
    RenewJob *job = static_cast<RenewJob *>(arg);
    run_renewal(job);
    free(job->copy);
    delete job;
    return nullptr;
}

void sweep(bool from_timer);

// The timer: one sweep per tick; a sweep that overran its tick is followed by
// the next one a full tick later (missed ticks are not caught up).
void *timer_thread(void *)
{
    uint32_t next = sys_os_get_ms() + kTickMs;
    while (g_event.timer_run.load()) {
        int32_t wait = (int32_t)(next - sys_os_get_ms());
        if (wait > 0) {
            sys_os_sig_wait_timeout(g_event.timer_sig, (uint32_t)wait);
            continue;
        }
        sweep(true);
        next += kTickMs;
        if ((int32_t)(next - sys_os_get_ms()) <= 0) next = sys_os_get_ms() + kTickMs;
    }
    g_event.timer_id = 0;
    g_event.timer_alive = 0;
    return nullptr;
}

// One pass over the table by index: every entry that is due and has no
// renewal under way gets one, each on a thread of its own, so a camera that
// does not answer delays nobody else. The timer's sweep goes on at once; a
// sweep by hand returns when no renewal is under way any more (the timer's
// included).
void sweep(bool from_timer)
{
    if (!g_event.running.load()) return;
    std::vector<RenewJob *> jobs;
    {
        std::lock_guard<std::mutex> lock(g_event.table_mu);
        int64_t now = (int64_t)time(nullptr);
        for (uint32_t i = 0; i < g_event.capacity; i++) {
            RenewEntry *e = entry_at(i);
            if (!e || !e->in_use || !e->p_dev || e->busy) continue;
            ONVIF_DEVICE *p_dev = e->p_dev;
            if (!p_dev->subscribed && !p_dev->pull_point) continue;
            int interval = effective_interval(p_dev);
            if (now - p_dev->subscribe_time < (int64_t)(interval / 2)) continue;
            ONVIF_DEVICE *copy = renewal_copy(p_dev);
            if (!copy) continue; // tried again at the next tick
            e->busy = 1;
            g_event.renewals++;
            jobs.push_back(new RenewJob{e, e->gen, p_dev, copy, interval, now});
        }
    }
    for (RenewJob *job : jobs) {
        if (sys_os_create_thread(renewal_thread, job) == 0) renewal_thread(job);
    }
    if (from_timer) return;
    std::unique_lock<std::mutex> lock(g_event.table_mu);
    g_event.table_cv.wait(lock, [] { return g_event.renewals <= 0; });
}

// Waits (under table_mu, held by lock) until no other thread reports p_dev
// lost; the thread that reports it may go on.
void wait_reporting(std::unique_lock<std::mutex> &lock, const ONVIF_DEVICE *p_dev)
{
    auto other = [p_dev] {
        for (const Reporting &r : g_event.reporting)
            if (r.p_dev == p_dev && r.thread != std::this_thread::get_id()) return true;
        return false;
    };
    g_event.table_cv.wait(lock, [&] { return !other(); });
}

// Dotted text of a network-order address into buf; false for 0.
bool addr_text(uint32_t addr, char *buf, size_t size)
{
    if (addr == 0) return false;
    struct in_addr in;
    in.s_addr = addr;
    return inet_ntop(AF_INET, &in, buf, (socklen_t)size) != nullptr;
}

// Host of the consumer address: the listener's bound address, else the
// local end of the device's last connection, else the default interface.
bool consumer_host(const ONVIF_DEVICE *p_dev, char *buf, size_t size)
{
    if (g_event.listener.listen_addr != 0 && g_event.listener.listen_host[0]) {
        copy_text(buf, size, g_event.listener.listen_host);
        return true;
    }
    if (addr_text(p_dev->local_ip, buf, size)) return true;
    const char *ip = onvif_get_local_ip();
    if (!ip || !ip[0]) return false;
    copy_text(buf, size, ip);
    return true;
}

// Stores a subscription reference in the device record.
void store_reference(ONVIF_DEVICE *p_dev, const ONVIF_SUBSCRIBE_RES *res)
{
    copy_text(p_dev->subscription_address, sizeof(p_dev->subscription_address),
              res->subscription_address);
    copy_text(p_dev->reference_parameters, sizeof(p_dev->reference_parameters),
              res->reference_parameters);
}

// What one notification request holds: 1 when a Notify was delivered.
int read_notification(HTTP_LISTENER_CONN *p_conn, HTTP_MSG *msg)
{
    char *body = http_get_ctt(msg);
    if (!body) {
        log_print(LOG_ERROR, "%s, http_get_ctt ret null!!!\r\n", kHttpProcess);
        return 0;
    }
    XML_NODE *root = msg->content_len > 0 ? xxx_hxml_parse(body, msg->content_len) : nullptr;
    if (!root || !root->name) {
        log_print(LOG_ERROR, "%s, xxx_hxml_parse ret null!!!\r\n", kHttpProcess);
        if (root) xml_node_del(root);
        return 0;
    }
    int delivered = 0;
    XML_NODE *p_body = nullptr;
    if (soap_strcmp(root->name, "s:Envelope") != 0) {
        log_print(LOG_ERROR, "%s, node name[%s] != [s:Envelope]!!!\r\n", kHttpProcess, root->name);
    } else if ((p_body = xml_node_soap_get(root, "s:Body")) == nullptr) {
        log_print(LOG_ERROR, "%s, xml_node_soap_get[s:Body] ret null!!!\r\n", kHttpProcess);
    } else if (!p_body->first_child) {
        log_print(LOG_ERROR, "%s, body first child node is null!!!\r\n", kHttpProcess);
    } else if (!p_body->first_child->name) {
        log_print(LOG_ERROR, "%s, body first child node name is null!!!\r\n", kHttpProcess);
    } else {
        log_print(LOG_DEBUG, "%s, body first child node name[%s].\r\n", kHttpProcess,
                  p_body->first_child->name);
        if (soap_strcmp(p_body->first_child->name, "Notify") == 0) {
            onvif_event_notify(p_conn, msg, xml_node_soap_get(p_body, "Notify"));
            delivered = 1;
        }
    }
    xml_node_del(root);
    return delivered;
}

const char kBadRequest[] = "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n"
                           "Connection: close\r\n\r\n";

} // namespace

extern "C" {

/* ---- module ---- */

int onvif_event_timer_init(void)
{
    if (g_event.timer_alive.load()) return 1;
    if (!g_event.timer_sig) g_event.timer_sig = sys_os_create_sig();
    if (!g_event.timer_sig) return 0;
    g_event.timer_run = 1;
    g_event.timer_alive = 1;
    uint32_t id = sys_os_create_thread(timer_thread, nullptr);
    if (id == 0) {
        g_event.timer_run = 0;
        g_event.timer_alive = 0;
        return 0;
    }
    // The thread clears timer_id when it ends; it may not have started yet.
    if (g_event.timer_alive.load()) g_event.timer_id = id;
    return 1;
}

void onvif_event_timer_deinit(void)
{
    g_event.timer_run = 0;
    if (g_event.timer_sig) sys_os_sig_sign(g_event.timer_sig);
    // The thread finishes the sweep it is in (a renewal takes at most the
    // transaction time-out) and ends.
    while (g_event.timer_alive.load())
        sys_os_sleep_ms(10);
    g_event.timer_id = 0;
    if (g_event.timer_sig) {
        sys_os_destroy_sig_mutex(g_event.timer_sig);
        g_event.timer_sig = nullptr;
    }
}

int onvif_event_init(const char *addr, int port, int max_conns)
{
    if (g_event.running.load()) {
        log_print(LOG_ERROR, "%s, already running\r\n", "onvif_event_init");
        return 0;
    }
    if (max_conns < 1) max_conns = 1;
    g_event.notify_cb = nullptr;
    g_event.notify_user = nullptr;
    g_event.lost_cb = nullptr;
    g_event.lost_user = nullptr;
    memset(&g_event.listener, 0, sizeof(g_event.listener));

    if (http_srv_init(&g_event.listener, addr, port, max_conns, 0, nullptr, nullptr) != 0) return 0;
    g_event.notify_mutex = sys_os_create_mutex();
    g_event.sub_mutex = sys_os_create_mutex();
    bool ok = g_event.notify_mutex && g_event.sub_mutex && table_init((uint32_t)max_conns * 2);
    if (ok) {
        g_event.running = 1;
        http_set_msg_callback(&g_event.listener, onvif_event_http_process, nullptr);
        ok = onvif_event_timer_init() == 1;
    }
    if (!ok) {
        log_print(LOG_ERROR, "%s, resources for the event module failed\r\n", "onvif_event_init");
        onvif_event_deinit();
        g_event.running = 0;
        return 0;
    }
    return 1;
}

void onvif_event_deinit(void)
{
    onvif_event_timer_deinit();
    http_srv_deinit(&g_event.listener);
    {
        // Renewals under way end within their transaction time-out.
        std::unique_lock<std::mutex> lock(g_event.table_mu);
        g_event.table_cv.wait(lock, [] { return g_event.renewals <= 0; });
        g_event.running = 0;
        table_free();
        g_event.reporting.clear();
    }
    sys_os_destroy_sig_mutex(g_event.notify_mutex);
    sys_os_destroy_sig_mutex(g_event.sub_mutex);
    g_event.notify_mutex = nullptr;
    g_event.sub_mutex = nullptr;
    g_event.notify_cb = nullptr;
    g_event.lost_cb = nullptr;
    memset(&g_event.listener, 0, sizeof(g_event.listener));
}

int onvif_event_listen_port(void)
{
    return g_event.running.load() ? (int)g_event.listener.listen_port : 0;
}

void onvif_set_event_notify_cb(onvif_event_notify_cb cb, void *user)
{
    sys_os_mutex_enter(g_event.notify_mutex);
    g_event.notify_cb = cb;
    g_event.notify_user = user;
    sys_os_mutex_leave(g_event.notify_mutex);
}

void onvif_set_subscribe_disconnect_cb(onvif_subscribe_disconnect_cb cb, void *user)
{
    sys_os_mutex_enter(g_event.sub_mutex);
    g_event.lost_cb = cb;
    g_event.lost_user = user;
    sys_os_mutex_leave(g_event.sub_mutex);
}

/* ---- renewal table ---- */

int onvif_event_timer_add(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    std::lock_guard<std::mutex> lock(g_event.table_mu);
    if (!g_event.running.load()) return 0;
    if (find_entry(p_dev)) return 1;
    RenewEntry *e = static_cast<RenewEntry *>(pps_fl_pop(g_event.table_pool));
    if (!e) {
        log_print(LOG_ERROR, "%s, renewal table full!!!\r\n", "onvif_event_timer_add");
        return 0;
    }
    e->p_dev = p_dev;
    e->gen = ++g_event.next_gen;
    e->busy = 0;
    e->in_use = 1;
    pps_ctx_ul_add(g_event.table_list, e);
    return 1;
}

int onvif_event_timer_del(ONVIF_DEVICE *p_dev)
{
    std::unique_lock<std::mutex> lock(g_event.table_mu);
    if (!g_event.running.load()) return 0;
    RenewEntry *e = p_dev ? find_entry(p_dev) : nullptr;
    if (e) remove_entry(e);
    // A renewal under way works on its own copy and is not waited for; a
    // subscription-lost callback for this device on another thread is.
    if (p_dev) wait_reporting(lock, p_dev);
    return 1;
}

void onvif_event_set_max_notify(uint32_t bytes)
{
    if (g_event.running.load()) http_srv_set_max_body(&g_event.listener, bytes);
}

void onvif_event_renew_tick(void)
{
    sweep(false);
}

/* ---- notifications ---- */

void onvif_event_notify(HTTP_LISTENER_CONN *p_conn, HTTP_MSG *msg, XML_NODE *p_notify)
{
    (void)p_conn;
    EVENT_NOTIFY notify;
    memset(&notify, 0, sizeof(notify));
    if (msg) copy_text(notify.request_line, sizeof(notify.request_line), msg->line_rest);
    parse_NotificationMessages(p_notify, &notify.messages, ONVIF_MAX_NOTIFY_MESSAGES);

    sys_os_mutex_enter(g_event.notify_mutex);
    if (g_event.notify_cb) {
        g_event.notify_cb(&notify, g_event.notify_user);
    } else {
        onvif_free_NotificationMessages(&notify.messages);
    }
    sys_os_mutex_leave(g_event.notify_mutex);
}

int onvif_event_http_process(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn, HTTP_MSG *msg,
                             void *user)
{
    (void)user;
    if (msg) {
        // The camera gets an answer, so it does not wait and send again.
        if (read_notification(p_conn, msg))
            http_srv_reply_ok(p_conn);
        else
            http_srv_cln_tx(p_conn, kBadRequest, (int)sizeof(kBadRequest) - 1);
        http_free_msg(msg);
    }
    // One request per connection.
    http_free_used_cln(p_srv, p_conn);
    return 1;
}

/* ---- device-level calls ---- */

int Subscribe(ONVIF_DEVICE *p_dev, int index)
{
    if (!p_dev) return 0;
    if (!g_event.running.load()) {
        log_print(LOG_ERROR, "%s, event module not running\r\n", "Subscribe");
        return 0;
    }
    char host[128];
    if (!consumer_host(p_dev, host, sizeof(host))) {
        log_print(LOG_ERROR, "%s, no local address for the consumer\r\n", "Subscribe");
        return 0;
    }
    int interval = effective_interval(p_dev);
    p_dev->renew_interval = interval;

    ONVIF_SUBSCRIBE_REQ req;
    memset(&req, 0, sizeof(req));
    snprintf(req.consumer_address, sizeof(req.consumer_address), "http://%s:%d/subscription%d/%llu",
             host, (int)g_event.listener.listen_port, index, (unsigned long long)time(nullptr));
    req.flags = ONVIF_SUBSCRIBE_FLAG_TERMINATION;
    req.termination_time = interval;

    ONVIF_SUBSCRIBE_RES res;
    memset(&res, 0, sizeof(res));
    if (!onvif_tev_Subscribe(p_dev, &req, &res)) return 0;

    copy_text(p_dev->consumer_address, sizeof(p_dev->consumer_address), req.consumer_address);
    store_reference(p_dev, &res);
    p_dev->subscribe_time = (int64_t)time(nullptr);
    p_dev->subscribed = 1;
    if (onvif_event_timer_add(p_dev)) return 1;

    // Nothing would renew it: cancel the subscription instead of leaving one
    // that silently expires.
    p_dev->subscribed = 0;
    onvif_tev_Unsubscribe(p_dev, nullptr, nullptr);
    p_dev->last_error = -2;
    return 0;
}

int Unsubscribe(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    onvif_event_timer_del(p_dev);
    onvif_tev_Unsubscribe(p_dev, nullptr, nullptr);
    p_dev->subscribed = 0;
    p_dev->pull_point = 0;
    return 1;
}

int CreatePullPointSubscription(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    int interval = effective_interval(p_dev);
    ONVIF_SUBSCRIBE_REQ req;
    memset(&req, 0, sizeof(req));
    req.flags = ONVIF_SUBSCRIBE_FLAG_TERMINATION;
    req.termination_time = interval;
    ONVIF_SUBSCRIBE_RES res;
    memset(&res, 0, sizeof(res));
    if (!onvif_tev_CreatePullPointSubscription(p_dev, &req, &res)) return 0;
    p_dev->renew_interval = interval;
    store_reference(p_dev, &res);
    p_dev->subscribe_time = (int64_t)time(nullptr);
    p_dev->pull_point = 1;
    // A pull point expires like any subscription: renewed with the others
    // while the module runs (without it, the caller renews it).
    if (!g_event.running.load() || onvif_event_timer_add(p_dev)) return 1;
    p_dev->pull_point = 0;
    onvif_tev_Unsubscribe(p_dev, nullptr, nullptr);
    p_dev->last_error = -2;
    return 0;
}

int PullMessages(ONVIF_DEVICE *p_dev, int timeout, int message_limit,
                 ONVIF_PULL_MESSAGES_RES *p_res)
{
    if (!p_dev) return 0;
    if (p_res) memset(p_res, 0, sizeof(*p_res));
    ONVIF_PULL_MESSAGES_REQ req;
    memset(&req, 0, sizeof(req));
    req.timeout = timeout;
    req.message_limit = message_limit;
    // The device may hold its answer for the whole time-out: the transaction
    // waits that long and the usual limit on top.
    int limit = ONVIF_TRANS_TIMEOUT;
    if (timeout > 0) {
        int64_t want = (int64_t)(timeout < kMaxPullTimeoutS ? timeout : kMaxPullTimeoutS) * 1000 +
                       ONVIF_TRANS_TIMEOUT;
        limit = (int)want;
    }
    return onvif_op_call_timeout(p_dev, ACT_tev_PullMessages, &req, p_res, limit);
}

} // extern "C"
