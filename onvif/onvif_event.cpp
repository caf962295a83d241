// The event module: notification listener, renewal table and timer, and the
// subscription calls that work on them.

#include "onvif/onvif_event.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "onvif/onvif_list.h"
#include "onvif/onvif_tev.h"
#include "onvif/soap_parse.h"
#include "platform/pps.h"
#include "platform/sys_log.h"
#include "platform/sys_os.h"

namespace
{

const char *const kHttpProcess = "onvif_event_http_process";
const uint32_t kTickMs = 1000;
const int kDefaultRenewInterval = 60;

// One entry of the renewal table.
struct RenewEntry {
    uint32_t in_use; // 1 while entered
    ONVIF_DEVICE *p_dev;
};

struct EventModule {
    std::atomic<int> running{0};

    SYS_MUTEX notify_mutex = nullptr;
    onvif_event_notify_cb notify_cb = nullptr;
    void *notify_user = nullptr;

    SYS_MUTEX sub_mutex = nullptr;
    onvif_subscribe_disconnect_cb lost_cb = nullptr;
    void *lost_user = nullptr;

    HTTP_LISTENER listener;

    // Renewal table: a pool and its used list. table_mutex serialises the
    // entering and removal of devices with the renewal of each entry, so a
    // device that has left the table is no longer touched by the timer.
    PPS_CTX *table_pool = nullptr;
    PPS_CTX *table_list = nullptr;
    uint32_t capacity = 0;
    SYS_MUTEX table_mutex = nullptr;

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

// The entry of a device, or null; called under table_mutex.
RenewEntry *find_entry(const ONVIF_DEVICE *p_dev)
{
    for (uint32_t i = 0; i < g_event.capacity; i++) {
        RenewEntry *e = entry_at(i);
        if (e && e->in_use && e->p_dev == p_dev) return e;
    }
    return nullptr;
}

// Takes an entry out of the table; called under table_mutex.
void remove_entry(RenewEntry *e)
{
    pps_ctx_ul_del(g_event.table_list, e);
    e->in_use = 0;
    e->p_dev = nullptr;
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

// Renews one entry when it is due; called under table_mutex.
void renew_entry(RenewEntry *e, int64_t now)
{
    ONVIF_DEVICE *p_dev = e->p_dev;
    int interval = effective_interval(p_dev);
    if (now - p_dev->subscribe_time < (int64_t)(interval / 2)) return;

    ONVIF_RENEW_REQ req;
    memset(&req, 0, sizeof(req));
    req.termination_time = interval;
    if (onvif_tev_Renew(p_dev, &req, nullptr)) {
        p_dev->subscribe_time = now;
        return;
    }

    char host[sizeof(p_dev->binfo.xaddr.host) + 1];
    field_text(host, p_dev->binfo.xaddr.host, sizeof(p_dev->binfo.xaddr.host));
    log_print(LOG_ERROR, "onvif event renew failed, %s\r\n", host);

    sys_os_mutex_enter(g_event.sub_mutex);
    if (g_event.lost_cb) {
        p_dev->subscribed = 0;
        remove_entry(e);
        g_event.lost_cb(p_dev, g_event.lost_user);
    }
    sys_os_mutex_leave(g_event.sub_mutex);
}

// One pass over the table by index. The timer's own sweep stops early when
// the timer is being stopped.
void sweep(bool from_timer)
{
    if (!g_event.running.load()) return;
    for (uint32_t i = 0; i < g_event.capacity; i++) {
        if (from_timer && !g_event.timer_run.load()) break;
        sys_os_mutex_enter(g_event.table_mutex);
        RenewEntry *e = entry_at(i);
        if (e && e->in_use && e->p_dev && e->p_dev->subscribed)
            renew_entry(e, (int64_t)time(nullptr));
        sys_os_mutex_leave(g_event.table_mutex);
    }
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
    g_event.table_mutex = sys_os_create_mutex();
    bool ok = g_event.notify_mutex && g_event.sub_mutex && g_event.table_mutex &&
              table_init((uint32_t)max_conns * 2);
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
    g_event.running = 0;
    sys_os_mutex_enter(g_event.table_mutex);
    table_free();
    sys_os_mutex_leave(g_event.table_mutex);
    sys_os_destroy_sig_mutex(g_event.table_mutex);
    sys_os_destroy_sig_mutex(g_event.notify_mutex);
    sys_os_destroy_sig_mutex(g_event.sub_mutex);
    g_event.table_mutex = nullptr;
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
    if (!p_dev || !g_event.running.load()) return 0;
    sys_os_mutex_enter(g_event.table_mutex);
    int ok = 1;
    if (!find_entry(p_dev)) {
        RenewEntry *e = static_cast<RenewEntry *>(pps_fl_pop(g_event.table_pool));
        if (!e) {
            log_print(LOG_ERROR, "%s, renewal table full!!!\r\n", "onvif_event_timer_add");
            ok = 0;
        } else {
            e->p_dev = p_dev;
            e->in_use = 1;
            pps_ctx_ul_add(g_event.table_list, e);
        }
    }
    sys_os_mutex_leave(g_event.table_mutex);
    return ok;
}

int onvif_event_timer_del(ONVIF_DEVICE *p_dev)
{
    if (!g_event.running.load()) return 0;
    sys_os_mutex_enter(g_event.table_mutex);
    RenewEntry *e = p_dev ? find_entry(p_dev) : nullptr;
    if (e) remove_entry(e);
    sys_os_mutex_leave(g_event.table_mutex);
    return 1;
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
    store_reference(p_dev, &res);
    p_dev->subscribe_time = (int64_t)time(nullptr);
    p_dev->pull_point = 1;
    return 1;
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
    return onvif_tev_PullMessages(p_dev, &req, p_res);
}

} // extern "C"
