// WS-Discovery client: per-interface multicast sockets, the discovery
// thread, the Probe sender and the ProbeMatch / Hello / Bye reader.
//
// Each socket is bound to the wildcard address on port 3702 (Linux hands
// multicast datagrams only to sockets bound to the wildcard or to the group
// itself), joins the group on its own interface, sends through that
// interface and, with IP_MULTICAST_ALL off, only hears the group on it.
#include "discovery/probe.h"
#include "platform/sys_log.h"
#include "platform/sys_net.h"
#include "platform/sys_os.h"
#include "platform/text_conv.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <vector>

namespace
{

const int PROBE_SOCK_MAX = 8;
const int PROBE_BUF_LEN = 10240;
const uint16_t PROBE_PORT = 3702;
const char PROBE_GROUP[] = "239.255.255.250";
const int PROBE_WAIT_MS = 1000;
const int MIN_INTERVAL = 10;
const int DEFAULT_INTERVAL = 30;
// Receive buffer asked for each discovery socket (1 MiB). A probe pair makes
// every camera of the site answer within a fraction of a second (some 1000
// ProbeMatches for 250 cameras), faster than the thread reads them; the
// default buffer holds only a hundred or so and the kernel drops the rest.
// The kernel caps the size at net.core.rmem_max unless the process may
// override that (CAP_NET_ADMIN, SO_RCVBUFFORCE).
const int PROBE_RCVBUF_SIZE = 1048576;

// The two Probe messages differ only in the namespace declared on the
// envelope and in the Types asked for: "%s" = "xmlns:tds=..." or "xmlns:dn=...",
// then the message id, then the type.
const char PROBE_TEMPLATE[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><Envelope %s "
    "xmlns=\"http://www.w3.org/2003/05/soap-envelope\"><Header><wsa:MessageID "
    "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">uuid:%s</"
    "wsa:MessageID><wsa:To "
    "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/"
    "addressing\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To><wsa:Action "
    "xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\">http://"
    "schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body><Probe "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><Types>%s</"
    "Types><Scopes /></Probe></Body></Envelope>";
const char PROBE_NS_DEVICE[] = "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"";
const char PROBE_NS_NVT[] = "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"";

// Socket slots; -1 is an empty slot (0 is a valid descriptor here).
std::atomic<int> g_sockets[PROBE_SOCK_MAX] = {-1, -1, -1, -1, -1, -1, -1, -1};

std::atomic<int> g_running{0};       // the thread is meant to run
std::atomic<int> g_thread_alive{0};  // the thread lives (cleared as its last act)
std::atomic<int> g_close_on_exit{0}; // stop_probe came from the callback itself
std::atomic<int> g_interval{DEFAULT_INTERVAL};

std::mutex g_cb_lock; // the callback and its user data change together
onvif_probe_cb g_cb = nullptr;
void *g_cb_user = nullptr;

std::mutex g_ctl_lock; // start_probe / stop_probe
std::mutex g_tx_lock;  // send_probe_req against stop_probe closing sockets

char g_local_ip[64]; // copy of start_probe's local address, read by the thread

// set_probe_addresses: the only local addresses to open sockets on (network
// order), g_only_count of them; 0 means every interface. start_probe copies
// them for the thread it starts (g_run_*), like g_local_ip.
std::mutex g_addr_lock;
uint32_t g_only_addrs[PROBE_SOCK_MAX];
int g_only_count = 0;
uint32_t g_run_addrs[PROBE_SOCK_MAX];
int g_run_count = 0;

thread_local bool t_on_probe_thread = false;

int interval_value(int seconds)
{
    return seconds < MIN_INTERVAL ? DEFAULT_INTERVAL : seconds;
}

void report(const DEVICE_BINFO *binfo, int kind)
{
    onvif_probe_cb cb;
    void *user;
    {
        std::lock_guard<std::mutex> lock(g_cb_lock);
        cb = g_cb;
        user = g_cb_user;
    }
    if (cb) cb(binfo, kind, user);
}

void copy_text(char *dst, size_t dstlen, const char *src)
{
    size_t n = strnlen(src, dstlen - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

const char *child_text(XML_NODE *node, const char *name)
{
    XML_NODE *child = xml_node_soap_get(node, name);
    return child ? child->text : nullptr;
}

// The text of a child with its character references decoded, as in every
// other reply ("?a=1&amp;b=2"); null when the child has no text.
const char *child_decoded(XML_NODE *node, const char *name, std::vector<char> &buf)
{
    const char *text = child_text(node, name);
    if (!text) return nullptr;
    buf.assign(strlen(text) + 1, '\0');
    text_decode_entities(buf.data(), (int)buf.size(), text);
    return buf.data();
}

// Scopes, Types and XAddrs are xs:lists: any XML whitespace separates.
bool is_list_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Decimal integer: leading blanks, optional sign, digits up to the first
// other character; clamped to 32 bits; 0 when there are no digits.
int32_t parse_int32(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        p++;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = (*p++ == '-');
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= 2147483648LL) value = value * 10 + (*p - '0');
        p++;
    }
    if (neg) value = -value;
    if (value > 2147483647LL) value = 2147483647LL;
    if (value < -2147483648LL) value = -2147483648LL;
    return (int32_t)value;
}

// Scopes: split at runs of whitespace, each cut to 127 characters, at most
// 100.
void parse_scopes(const char *text, DEVICE_BINFO *binfo)
{
    const char *p = text;
    while (*p && binfo->scope_count < DEVICE_BINFO_MAX_SCOPES) {
        while (is_list_space(*p))
            p++;
        if (!*p) break;
        const char *e = p;
        while (*e && !is_list_space(*e))
            e++;
        size_t n = (size_t)(e - p);
        if (n > ONVIF_SCOPE_ITEM_LEN - 1) n = ONVIF_SCOPE_ITEM_LEN - 1;
        ONVIF_SCOPE *scope = &binfo->scopes[binfo->scope_count++];
        memcpy(scope->item, p, n);
        scope->item[n] = '\0';
        p = e;
    }
}

// One datagram in buf[0..len) with buf[len] == 0, cut in place by the parser.
int handle_buffer(char *buf, int len)
{
    XML_NODE *root = xxx_hxml_parse(buf, len);
    if (!root) {
        log_print(LOG_ERROR, "%s, hxml parse err!!!\r\n", "onvif_probe_net_rx");
        return -1;
    }
    int count = onvif_probe_res(root);
    xml_node_del(root);
    return count;
}

// Asks for PROBE_RCVBUF_SIZE bytes of receive buffer. A size capped by the
// kernel is fine; only a refused option is logged.
void set_rcvbuf(int fd)
{
    int size = PROBE_RCVBUF_SIZE;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size)) != 0) {
        log_print(LOG_WARN, "%s, setsockopt SO_RCVBUF error! %s\r\n", "onvif_probe_sock_init",
                  sys_os_get_socket_error());
        return;
    }
    // The kernel reports twice the size it granted (its bookkeeping share).
    int got = 0;
    socklen_t len = sizeof(got);
    if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &got, &len) == 0 && got / 2 >= size) return;
#ifdef SO_RCVBUFFORCE
    // Capped at rmem_max: a privileged process may go beyond it; an
    // unprivileged one keeps the capped size.
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size));
#endif
}

// Opens the socket for local address addr (network order): fd, or -1.
int onvif_probe_sock_init(uint32_t addr)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        log_print(LOG_ERROR, "%s, socket failed! %s\r\n", "onvif_probe_sock_init",
                  sys_os_get_socket_error());
        return -1;
    }

    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0)
        log_print(LOG_WARN, "setsockopt SO_REUSEADDR error!\n");
    set_rcvbuf(fd);

    struct sockaddr_in local;
    memset(&local, 0, sizeof(local));
    local.sin_family = AF_INET;
    local.sin_port = htons(PROBE_PORT);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, (struct sockaddr *)&local, sizeof(local)) != 0) {
        // Port 3702 is taken: replies to our probes still arrive on any port
        // of this address, announcements to the group don't.
        local.sin_port = 0;
        local.sin_addr.s_addr = addr;
        if (bind(fd, (struct sockaddr *)&local, sizeof(local)) != 0) {
            log_print(LOG_ERROR, "bind error! %s\n", sys_os_get_socket_error());
            close(fd);
            return -1;
        }
    }

    struct ip_mreq mreq;
    memset(&mreq, 0, sizeof(mreq));
    inet_pton(AF_INET, PROBE_GROUP, &mreq.imr_multiaddr);
    mreq.imr_interface.s_addr = addr;
    if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof(mreq)) != 0) {
        log_print(LOG_ERROR, "setsockopt IP_ADD_MEMBERSHIP error! %s\n", sys_os_get_socket_error());
        close(fd);
        return -1;
    }

    // Send through this interface (with this source address) and hear the
    // group only on the interface that this socket joined it on.
    struct in_addr ifaddr;
    ifaddr.s_addr = addr;
    if (setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &ifaddr, sizeof(ifaddr)) != 0)
        log_print(LOG_WARN, "%s, setsockopt IP_MULTICAST_IF error! %s\r\n", "onvif_probe_sock_init",
                  sys_os_get_socket_error());
#ifdef IP_MULTICAST_ALL
    int off = 0;
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof(off));
#endif
    return fd;
}

int send_text(int fd, const char *text, int slen)
{
    struct sockaddr_in to;
    memset(&to, 0, sizeof(to));
    to.sin_family = AF_INET;
    to.sin_port = htons(PROBE_PORT);
    inet_pton(AF_INET, PROBE_GROUP, &to.sin_addr);
    int rlen =
        (int)sendto(fd, text, (size_t)slen, MSG_NOSIGNAL, (struct sockaddr *)&to, sizeof(to));
    if (rlen != slen)
        log_print(LOG_ERROR, "onvif_probe_req_tx::rlen = %d,slen = %d\r\n", rlen, slen);
    return rlen;
}

// Sends the two Probe messages on one socket: 0, or -1 without a buffer.
int onvif_probe_req_tx(int fd)
{
    char *buf = (char *)xmalloc(PROBE_BUF_LEN);
    if (!buf) return -1;

    char uuid[64];
    memset(buf, 0, PROBE_BUF_LEN);
    int slen = snprintf(buf, PROBE_BUF_LEN, PROBE_TEMPLATE, PROBE_NS_DEVICE,
                        onvif_uuid_create(uuid, sizeof(uuid)), "tds:Device");
    if (slen > 0 && slen < PROBE_BUF_LEN) send_text(fd, buf, slen);

    sys_os_sleep_ms(1);

    memset(buf, 0, PROBE_BUF_LEN);
    slen = snprintf(buf, PROBE_BUF_LEN, PROBE_TEMPLATE, PROBE_NS_NVT,
                    onvif_uuid_create(uuid, sizeof(uuid)), "dn:NetworkVideoTransmitter");
    if (slen > 0 && slen < PROBE_BUF_LEN) send_text(fd, buf, slen);

    xfree(buf);
    return 0;
}

void tx_all()
{
    for (int i = 0; i < PROBE_SOCK_MAX; i++) {
        int fd = g_sockets[i].load();
        if (fd >= 0) onvif_probe_req_tx(fd);
    }
}

void close_all()
{
    for (int i = 0; i < PROBE_SOCK_MAX; i++) {
        int fd = g_sockets[i].exchange(-1);
        if (fd >= 0) close(fd);
    }
}

// Reads every datagram waiting on the socket (at most kDrainMax, so that a
// flood cannot keep the thread from the other sockets or from stopping).
// A burst of answers is taken off the socket as fast as it is parsed, so
// the kernel's buffer only has to hold what arrives during one parse.
const int kDrainMax = 4096;

void drain_socket(int fd, char *buf)
{
    for (int n = 0; n < kDrainMax && g_running.load(std::memory_order_relaxed); n++) {
        struct sockaddr_in from;
        socklen_t fromlen = sizeof(from);
        // MSG_TRUNC makes the result the datagram's real length.
        int rlen = (int)recvfrom(fd, buf, PROBE_BUF_LEN, MSG_TRUNC | MSG_DONTWAIT,
                                 (struct sockaddr *)&from, &fromlen);
        if (rlen < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return; // drained
        if (rlen < 0 && errno == EINTR) continue;
        if (rlen <= 0) {
            log_print(LOG_ERROR, "onvif_probe_net_rx::rlen = %d, fd = %d\r\n", rlen, fd);
            if (rlen < 0) return; // an error: the next pass tries again
            continue;             // an empty datagram is consumed like any other
        }
        if (rlen >= PROBE_BUF_LEN) {
            log_print(LOG_ERROR, "%s, datagram of %d bytes is too long, dropped\r\n",
                      "onvif_probe_net_rx", rlen);
            continue;
        }
        buf[rlen] = '\0';
        handle_buffer(buf, rlen);
    }
}

// One receive step: waits for any socket, then drains every readable one.
// 0 when the wait timed out, 1 otherwise.
int onvif_probe_net_rx()
{
    struct pollfd pfd[PROBE_SOCK_MAX];
    int nfds = 0;
    for (int i = 0; i < PROBE_SOCK_MAX; i++) {
        int fd = g_sockets[i].load();
        if (fd < 0) continue;
        pfd[nfds].fd = fd;
        pfd[nfds].events = POLLIN;
        pfd[nfds].revents = 0;
        nfds++;
    }

    int ret = poll(pfd, (nfds_t)nfds, PROBE_WAIT_MS);
    if (ret == 0) return 0;
    if (ret < 0) return 1;

    char buf[PROBE_BUF_LEN];
    for (int i = 0; i < nfds; i++) {
        if (!(pfd[i].revents & (POLLIN | POLLERR | POLLHUP))) continue;
        drain_socket(pfd[i].fd, buf);
    }
    return 1;
}

void *onvif_probe_thread(void *arg)
{
    t_on_probe_thread = true;
    const char *local_ip = (const char *)arg;
    int slot = 0;

    if (local_ip) {
        struct in_addr a;
        if (inet_pton(AF_INET, local_ip, &a) == 1)
            g_sockets[0] = onvif_probe_sock_init(a.s_addr);
        else
            log_print(LOG_ERROR, "%s, bad local address %s\r\n", "onvif_probe_thread", local_ip);
        slot = 1;
    }

    if (g_run_count > 0) {
        for (int i = 0; i < g_run_count && slot < PROBE_SOCK_MAX; i++, slot++)
            g_sockets[slot] = onvif_probe_sock_init(g_run_addrs[i]);
    } else {
        for (int i = 0; i < get_if_nums() && slot < PROBE_SOCK_MAX; i++, slot++) {
            uint32_t ip = get_if_ip(i);
            if (ip != 0 && ip != htonl(INADDR_LOOPBACK))
                g_sockets[slot] = onvif_probe_sock_init(ip);
        }
    }

    tx_all();

    int idle = 0;
    while (g_running.load()) {
        if (onvif_probe_net_rx() == 0) {
            idle++;
            if (idle >= g_interval.load()) {
                tx_all();
                idle = 0;
            }
        }
        sys_os_sleep_ms(1);
    }

    if (g_close_on_exit.load()) {
        std::lock_guard<std::mutex> lock(g_tx_lock);
        close_all();
    }
    g_thread_alive = 0;
    return nullptr;
}

} // namespace

extern "C" void set_probe_cb(onvif_probe_cb cb, void *user_data)
{
    std::lock_guard<std::mutex> lock(g_cb_lock);
    g_cb = cb;
    g_cb_user = user_data;
}

extern "C" void set_probe_interval(int seconds)
{
    g_interval = interval_value(seconds);
}

extern "C" int set_probe_addresses(const char *const *addrs, int count)
{
    if (!addrs || count < 0) count = 0;
    if (count > PROBE_SOCK_MAX) return -1;
    uint32_t parsed[PROBE_SOCK_MAX];
    for (int i = 0; i < count; i++) {
        struct in_addr a;
        if (!addrs[i] || inet_pton(AF_INET, addrs[i], &a) != 1) return -1;
        parsed[i] = a.s_addr;
    }
    std::lock_guard<std::mutex> lock(g_addr_lock);
    memcpy(g_only_addrs, parsed, sizeof(uint32_t) * (size_t)count);
    g_only_count = count;
    return 0;
}

extern "C" int start_probe(const char *local_ip, int interval)
{
    if (t_on_probe_thread) return -1; // the thread is running: it called us back

    std::lock_guard<std::mutex> lock(g_ctl_lock);
    if (g_thread_alive.load()) {
        log_print(LOG_ERROR, "%s, discovery thread already running\r\n", "start_probe");
        return -1;
    }

    const char *arg = nullptr;
    if (local_ip) {
        copy_text(g_local_ip, sizeof(g_local_ip), local_ip);
        arg = g_local_ip;
    }

    {
        std::lock_guard<std::mutex> addr_lock(g_addr_lock);
        g_run_count = g_only_count;
        memcpy(g_run_addrs, g_only_addrs, sizeof(g_run_addrs));
    }

    g_running = 1;
    g_interval = interval_value(interval);
    g_close_on_exit = 0;
    g_thread_alive = 1;
    if (sys_os_create_thread(onvif_probe_thread, (void *)arg) == 0) {
        g_running = 0;
        g_thread_alive = 0;
        return -1;
    }
    return 0;
}

extern "C" void send_probe_req(void)
{
    std::lock_guard<std::mutex> lock(g_tx_lock);
    tx_all();
}

extern "C" void stop_probe(void)
{
    if (t_on_probe_thread) {
        // Called from the callback: the thread closes the sockets as it ends.
        g_close_on_exit = 1;
        g_running = 0;
        return;
    }

    std::lock_guard<std::mutex> lock(g_ctl_lock);
    g_running = 0;
    // The thread ends within its one-second receive wait.
    while (g_thread_alive.load())
        sys_os_sleep_ms(1);

    std::lock_guard<std::mutex> txlock(g_tx_lock);
    close_all();
}

extern "C" int onvif_probe_sock_count(void)
{
    int n = 0;
    for (int i = 0; i < PROBE_SOCK_MAX; i++)
        if (g_sockets[i].load() >= 0) n++;
    return n;
}

namespace
{

// A unicast target: "a.b.c.d" or "a.b.c.d:port". false when it is neither.
bool unicast_target(const char *host, struct sockaddr_in *to)
{
    char ip[64];
    const char *colon = strchr(host, ':');
    size_t n = colon ? (size_t)(colon - host) : strlen(host);
    if (n == 0 || n >= sizeof(ip)) return false;
    memcpy(ip, host, n);
    ip[n] = '\0';
    long port = PROBE_PORT;
    if (colon) {
        char *end = nullptr;
        port = strtol(colon + 1, &end, 10);
        if (end == colon + 1 || *end != '\0' || port < 1 || port > 65535) return false;
    }
    memset(to, 0, sizeof(*to));
    to->sin_family = AF_INET;
    to->sin_port = htons((uint16_t)port);
    return inet_pton(AF_INET, ip, &to->sin_addr) == 1;
}

// The ProbeMatches of one unicast answer, to cb; the count.
int unicast_matches(char *buf, int len, onvif_probe_cb cb, void *user_data)
{
    XML_NODE *root = xxx_hxml_parse(buf, len);
    if (!root) return 0;
    int count = 0;
    XML_NODE *body = xml_node_soap_get(root, "Body");
    XML_NODE *matches = body ? xml_node_soap_get(body, "ProbeMatches") : nullptr;
    XML_NODE *m = matches ? xml_node_soap_get(matches, "ProbeMatch") : nullptr;
    for (; m && soap_strcmp(m->name, "ProbeMatch") == 0; m = m->next_sibling) {
        DEVICE_BINFO binfo;
        memset(&binfo, 0, sizeof(binfo));
        if (!onvif_probe_parse_binfo(m, &binfo) || binfo.type == DEVICE_TYPE_UNKNOWN) {
            log_print(LOG_ERROR, "%s, unusable probe match\r\n", "onvif_probe_unicast");
            continue;
        }
        if (cb) cb(&binfo, PROBE_MSG_MATCH, user_data);
        count++;
    }
    xml_node_del(root);
    return count;
}

// Reads the answers that arrive within wait_ms (or until stop says so).
int unicast_receive(int fd, char *buf, int wait_ms, onvif_probe_cb cb, void *user_data,
                    int (*stop)(void *))
{
    const uint32_t start = sys_os_get_ms();
    int count = 0;
    for (;;) {
        if (stop && stop(user_data)) break;
        const int elapsed = (int)(sys_os_get_ms() - start);
        if (elapsed >= wait_ms) break;
        int slice = wait_ms - elapsed;
        if (slice > 50) slice = 50;
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, slice) <= 0) continue;
        // Everything waiting, at most a burst's worth before the clock is read again.
        for (int n = 0; n < 256; n++) {
            int rlen = (int)recv(fd, buf, PROBE_BUF_LEN, MSG_TRUNC | MSG_DONTWAIT);
            if (rlen < 0) break;
            if (rlen == 0 || rlen >= PROBE_BUF_LEN) continue; // empty or too long: dropped
            buf[rlen] = '\0';
            count += unicast_matches(buf, rlen, cb, user_data);
        }
    }
    return count;
}

} // namespace

extern "C" int onvif_probe_unicast(const char *const *hosts, int count, int interval_ms,
                                   int wait_ms, onvif_probe_cb cb, void *user_data,
                                   int (*stop)(void *user_data))
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        log_print(LOG_ERROR, "%s, socket failed! %s\r\n", "onvif_probe_unicast",
                  sys_os_get_socket_error());
        return -1;
    }
    set_rcvbuf(fd);
    char *buf = (char *)xmalloc(PROBE_BUF_LEN + 1);
    if (!buf) {
        close(fd);
        return -1;
    }
    if (interval_ms < 1) interval_ms = 1;
    if (wait_ms < 0) wait_ms = 0;

    char uuid[64];
    int found = 0;
    for (int i = 0; hosts && i < count; i++) {
        if (stop && stop(user_data)) break;
        struct sockaddr_in to;
        if (!hosts[i] || !unicast_target(hosts[i], &to)) {
            log_print(LOG_ERROR, "%s, bad address %s\r\n", "onvif_probe_unicast",
                      hosts[i] ? hosts[i] : "(null)");
            continue;
        }
        const char *ns[2] = {PROBE_NS_DEVICE, PROBE_NS_NVT};
        const char *types[2] = {"tds:Device", "dn:NetworkVideoTransmitter"};
        for (int k = 0; k < 2; k++) {
            int slen = snprintf(buf, PROBE_BUF_LEN, PROBE_TEMPLATE, ns[k],
                                onvif_uuid_create(uuid, sizeof(uuid)), types[k]);
            if (slen <= 0 || slen >= PROBE_BUF_LEN) continue;
            if (sendto(fd, buf, (size_t)slen, MSG_NOSIGNAL, (struct sockaddr *)&to, sizeof(to)) !=
                slen)
                log_print(LOG_WARN, "%s, send to %s failed! %s\r\n", "onvif_probe_unicast",
                          hosts[i], sys_os_get_socket_error());
        }
        // The pause between two hosts is spent reading what came so far.
        found += unicast_receive(fd, buf, interval_ms, cb, user_data, stop);
    }
    found += unicast_receive(fd, buf, wait_ms, cb, user_data, stop);
    xfree(buf);
    close(fd);
    return found;
}

extern "C" int onvif_probe_datagram(const char *data, int len)
{
    if (!data || len < 0) return -1;
    if (len >= PROBE_BUF_LEN) {
        log_print(LOG_ERROR, "%s, datagram of %d bytes is too long, dropped\r\n",
                  "onvif_probe_net_rx", len);
        return -1;
    }
    char buf[PROBE_BUF_LEN];
    memcpy(buf, data, (size_t)len);
    buf[len] = '\0';
    return handle_buffer(buf, len);
}

extern "C" int onvif_probe_parse_binfo(XML_NODE *elem, DEVICE_BINFO *binfo)
{
    if (!elem || !binfo) return 0;

    std::vector<char> buf;
    XML_NODE *epr = xml_node_soap_get(elem, "EndpointReference");
    const char *text = child_decoded(epr, "Address", buf);
    if (text)
        text_copy_utf8(binfo->endpoint_address, sizeof(binfo->endpoint_address), text,
                       (int)strlen(text));

    text = child_decoded(elem, "Types", buf);
    if (text) binfo->type = parse_DeviceType(text);

    text = child_decoded(elem, "MetadataVersion", buf);
    if (text) binfo->metadata_version = parse_int32(text);

    text = child_decoded(elem, "Scopes", buf);
    if (text) parse_scopes(text, binfo);

    text = child_decoded(elem, "XAddrs", buf);
    if (!text) return 0;
    int ok = parse_XAddr(text, &binfo->xaddr);
    return (ok && binfo->xaddr.host[0] != '\0' && binfo->xaddr.port != 0) ? 1 : 0;
}

extern "C" int onvif_probe_res(XML_NODE *root)
{
    XML_NODE *body = xml_node_soap_get(root, "Body");
    if (!body) return 0;

    DEVICE_BINFO binfo;
    int count = 0;

    XML_NODE *matches = xml_node_soap_get(body, "ProbeMatches");
    if (matches) {
        XML_NODE *m = xml_node_soap_get(matches, "ProbeMatch");
        for (; m && soap_strcmp(m->name, "ProbeMatch") == 0; m = m->next_sibling) {
            memset(&binfo, 0, sizeof(binfo));
            if (!onvif_probe_parse_binfo(m, &binfo)) {
                log_print(LOG_ERROR, "%s, parse device info failed\r\n", "onvif_probe_res");
            } else if (binfo.type == DEVICE_TYPE_UNKNOWN) {
                log_print(LOG_ERROR, "%s, unknow device type\r\n", "onvif_probe_res");
            } else {
                report(&binfo, PROBE_MSG_MATCH);
                count++;
            }
        }
        return count;
    }

    XML_NODE *hello = xml_node_soap_get(body, "Hello");
    if (hello) {
        memset(&binfo, 0, sizeof(binfo));
        if (!onvif_probe_parse_binfo(hello, &binfo)) {
            log_print(LOG_ERROR, "%s, parse device info failed\r\n", "onvif_probe_res");
            return 0;
        }
        if (binfo.type == DEVICE_TYPE_UNKNOWN) {
            log_print(LOG_ERROR, "%s, unknow device type\r\n", "onvif_probe_res");
            return 0;
        }
        report(&binfo, PROBE_MSG_HELLO);
        return 1;
    }

    XML_NODE *bye = xml_node_soap_get(body, "Bye");
    if (bye) {
        std::vector<char> buf;
        XML_NODE *epr = xml_node_soap_get(bye, "EndpointReference");
        const char *text = child_decoded(epr, "Address", buf);
        if (!text) return 0;
        memset(&binfo, 0, sizeof(binfo));
        text_copy_utf8(binfo.endpoint_address, sizeof(binfo.endpoint_address), text,
                       (int)strlen(text));
        report(&binfo, PROBE_MSG_BYE);
        return 1;
    }
    return 0;
}

extern "C" int parse_DeviceType(const char *types)
{
    if (!types) return DEVICE_TYPE_UNKNOWN;

    static const struct {
        const char *name;
        int type;
    } names[] = {
        {"dn:NetworkVideoTransmitter", DEVICE_TYPE_TRANSMITTER},
        {"tds:Device", DEVICE_TYPE_TRANSMITTER},
        {"dn:NetworkVideoDisplay", DEVICE_TYPE_DISPLAY},
        {"dn:NetworkVideoStorage", DEVICE_TYPE_STORAGE},
        {"dn:NetworkVideoAnalytics", DEVICE_TYPE_ANALYTICS},
    };

    // Whitespace-separated qualified names, compared prefix-insensitively; a
    // token too long for the buffer can't match any of them.
    for (const char *p = types; *p;) {
        const char *e = p;
        while (*e && !is_list_space(*e))
            e++;
        char token[64];
        size_t n = (size_t)(e - p);
        if (n > 0 && n < sizeof(token)) {
            memcpy(token, p, n);
            token[n] = '\0';
            for (const auto &entry : names)
                if (soap_strcmp(token, entry.name) == 0) return entry.type;
        }
        p = *e ? e + 1 : e;
    }

    if (strstr(types, "Device") || strstr(types, "NetworkVideoTransmitter"))
        return DEVICE_TYPE_TRANSMITTER;
    if (strstr(types, "NetworkVideoDisplay")) return DEVICE_TYPE_DISPLAY;
    if (strstr(types, "NetworkVideoStorage")) return DEVICE_TYPE_STORAGE;
    if (strstr(types, "NetworkVideoAnalytics")) return DEVICE_TYPE_ANALYTICS;
    return DEVICE_TYPE_UNKNOWN;
}
