// Network queries on Linux: getifaddrs for the address table, the kernel's
// source-address choice and /proc/net/route for routes, SIOCGIFHWADDR for
// the hardware address and resolv.conf for the DNS server.
#include "platform/sys_net.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <net/route.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

const int MAX_IF_ROWS = 21; // the address table holds at most this many rows
const size_t TEXT_SIZE = 32;

struct IfRow {
    uint32_t addr; // network order
    unsigned index;
};

thread_local char t_ip_text[INET_ADDRSTRLEN];
thread_local char t_gateway_text[TEXT_SIZE];
thread_local char t_dns_text[TEXT_SIZE];
thread_local char t_mask_text[TEXT_SIZE];

// Dotted decimal "a.b.c.d" (groups of 1-3 digits, leading zeros allowed, one
// trailing dot tolerated) into a host-order value.
bool parse_dotted(const char *text, uint32_t *out)
{
    if (!text || strnlen(text, 16) > 15) return false;

    const char *p = text;
    uint32_t value = 0;
    for (int group = 0; group < 4; group++) {
        int digits = 0;
        unsigned v = 0;
        while (digits < 3 && isdigit((unsigned char)p[digits])) {
            v = v * 10 + (unsigned)(p[digits] - '0');
            digits++;
        }
        if (digits == 0 || v > 255) return false;
        p += digits;
        if (group < 3) {
            if (*p != '.') return false;
            p++;
        } else {
            if (*p == '.') p++;
            if (*p != '\0') return false;
        }
        value = (value << 8) | v;
    }
    *out = value;
    return true;
}

// IPv4 rows of the system's address table in its own order; 0 on failure
// or when the table has more rows than it may hold.
int read_if_table(IfRow *rows)
{
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return 0;

    int count = 0;
    for (struct ifaddrs *ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET) continue;
        if (count == MAX_IF_ROWS) {
            count = 0;
            break;
        }
        const struct sockaddr_in *sin = reinterpret_cast<const sockaddr_in *>(ifa->ifa_addr);
        rows[count].addr = sin->sin_addr.s_addr;
        rows[count].index = if_nametoindex(ifa->ifa_name);
        count++;
    }
    freeifaddrs(list);
    return count;
}

struct DefaultRoute {
    char ifname[IF_NAMESIZE];
    uint32_t gateway; // network order, 0 when the route has none
};

// The default route the kernel prefers: lowest metric, first listed on ties.
// With need_gateway only routes through a gateway count.
bool find_default_route(bool need_gateway, DefaultRoute *out)
{
    FILE *fp = fopen("/proc/net/route", "r");
    if (!fp) return false;

    char line[256];
    bool found = false;
    long best_metric = 0;
    bool first_line = true;
    while (fgets(line, sizeof(line), fp)) {
        bool whole = strchr(line, '\n') != nullptr;
        if (!whole) { // skip the rest of an overlong line
            int c;
            while ((c = fgetc(fp)) != EOF && c != '\n') {
            }
        }
        if (first_line) { // column titles
            first_line = false;
            continue;
        }
        char name[IF_NAMESIZE];
        unsigned dest, gw, flags, mask;
        int refcnt, use;
        long metric;
        if (sscanf(line, "%15s %x %x %x %d %d %ld %x", name, &dest, &gw, &flags, &refcnt, &use,
                   &metric, &mask) != 8)
            continue;
        if (dest != 0 || mask != 0 || !(flags & RTF_UP)) continue;
        if (need_gateway && (!(flags & RTF_GATEWAY) || gw == 0)) continue;
        if (!found || metric < best_metric) {
            found = true;
            best_metric = metric;
            memcpy(out->ifname, name, sizeof(out->ifname));
            out->gateway = (flags & RTF_GATEWAY) ? (uint32_t)gw : 0;
        }
    }
    fclose(fp);
    return found;
}

// Local address the kernel would choose as source towards dest (network order).
uint32_t source_address_for(uint32_t dest)
{
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;

    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
    struct sockaddr_in to;
    memset(&to, 0, sizeof(to));
    to.sin_family = AF_INET;
    to.sin_port = htons(9); // connect() on UDP only picks a route; nothing is sent
    to.sin_addr.s_addr = dest;

    uint32_t src = 0;
    struct sockaddr_in local;
    socklen_t len = sizeof(local);
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof(to)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&local), &len) == 0 &&
        local.sin_family == AF_INET)
        src = local.sin_addr.s_addr;
    close(fd);
    return src;
}

// First IPv4 "nameserver" of a resolv.conf that is not a loopback address.
bool dns_from_file(const char *path, char *out, size_t size)
{
    FILE *fp = fopen(path, "r");
    if (!fp) return false;

    char line[512];
    bool found = false;
    while (!found && fgets(line, sizeof(line), fp)) {
        bool whole = strchr(line, '\n') != nullptr;
        if (!whole) {
            int c;
            while ((c = fgetc(fp)) != EOF && c != '\n') {
            }
        }
        char key[16], value[64];
        if (sscanf(line, "%15s %63s", key, value) != 2 || strcmp(key, "nameserver") != 0) continue;
        struct in_addr a;
        if (inet_pton(AF_INET, value, &a) != 1 || (ntohl(a.s_addr) >> 24) == 127) continue;
        found = inet_ntop(AF_INET, &a, out, (socklen_t)size) != nullptr;
    }
    fclose(fp);
    return found;
}

} // namespace

extern "C" {

int network_init(void)
{
    return 0; // POSIX sockets need no start-up
}

int daemon_init(void)
{
    return 0;
}

int is_ip_address(const char *text)
{
    uint32_t v;
    return parse_dotted(text, &v) ? 1 : 0;
}

uint32_t get_address_by_name(const char *name)
{
    uint32_t v;
    if (parse_dotted(name, &v)) return htonl(v);
    if (!name || !*name) return 0;

    struct addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo *res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return 0;

    uint32_t addr = 0;
    for (struct addrinfo *ai = res; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr) {
            addr = reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    freeaddrinfo(res);
    return addr;
}

const char *get_ip_str(uint32_t addr)
{
    struct in_addr a;
    a.s_addr = addr;
    if (!inet_ntop(AF_INET, &a, t_ip_text, sizeof(t_ip_text))) t_ip_text[0] = '\0';
    return t_ip_text;
}

int get_if_nums(void)
{
    IfRow rows[MAX_IF_ROWS];
    return read_if_table(rows);
}

uint32_t get_if_ip(int index)
{
    IfRow rows[MAX_IF_ROWS];
    int count = read_if_table(rows);
    if (index < 0 || index >= count) return 0;
    return rows[index].addr;
}

uint32_t get_route_if_ip(uint32_t dest)
{
    IfRow rows[MAX_IF_ROWS];
    int count = read_if_table(rows);
    if (count == 0) return 0;

    unsigned ifindex = 0;
    if (dest == 0) {
        DefaultRoute route;
        if (find_default_route(false, &route)) ifindex = if_nametoindex(route.ifname);
    } else {
        uint32_t src = source_address_for(dest);
        for (int i = 0; src != 0 && i < count; i++) {
            if (rows[i].addr == src) {
                ifindex = rows[i].index;
                break;
            }
        }
    }
    if (ifindex == 0) return 0;
    for (int i = 0; i < count; i++) {
        if (rows[i].index == ifindex) return rows[i].addr;
    }
    return 0;
}

uint32_t get_default_if_ip(void)
{
    uint32_t addr = get_route_if_ip(0);
    if (addr != 0) return addr;

    IfRow rows[MAX_IF_ROWS];
    int count = read_if_table(rows);
    for (int i = 0; i < count; i++) {
        if (rows[i].addr != 0) return rows[i].addr;
    }
    return 0;
}

const char *get_local_ip(void)
{
    uint32_t addr = get_default_if_ip();
    return addr ? get_ip_str(addr) : nullptr;
}

const char *get_default_gateway(void)
{
    memset(t_gateway_text, 0, sizeof(t_gateway_text));
    DefaultRoute route;
    if (find_default_route(true, &route)) {
        struct in_addr a;
        a.s_addr = route.gateway;
        if (!inet_ntop(AF_INET, &a, t_gateway_text, sizeof(t_gateway_text)))
            t_gateway_text[0] = '\0';
    }
    return t_gateway_text;
}

int get_default_if_mac(uint8_t *mac)
{
    if (!mac) return 0;
    memset(mac, 0, 8);

    struct if_nameindex *names = if_nameindex();
    if (!names) return 0;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (struct if_nameindex *n = names; fd >= 0 && n->if_index != 0; n++) {
        struct ifreq req;
        memset(&req, 0, sizeof(req));
        snprintf(req.ifr_name, sizeof(req.ifr_name), "%s", n->if_name);
        if (ioctl(fd, SIOCGIFFLAGS, &req) != 0 || (req.ifr_flags & IFF_LOOPBACK)) continue;
        if (ioctl(fd, SIOCGIFHWADDR, &req) != 0 || req.ifr_hwaddr.sa_family != ARPHRD_ETHER)
            continue;
        memcpy(mac, req.ifr_hwaddr.sa_data, 6);
        break;
    }
    if (fd >= 0) close(fd);
    if_freenameindex(names);
    return 0;
}

const char *get_dns_server(void)
{
    memset(t_dns_text, 0, sizeof(t_dns_text));
    if (!dns_from_file("/etc/resolv.conf", t_dns_text, sizeof(t_dns_text)) &&
        !dns_from_file("/run/systemd/resolve/resolv.conf", t_dns_text, sizeof(t_dns_text)))
        t_dns_text[0] = '\0';
    return t_dns_text;
}

const char *get_mask_by_prefix_len(int len)
{
    uint32_t mask = 0;
    if (len >= 32)
        mask = 0xFFFFFFFFu;
    else if (len > 0)
        mask = ~(0xFFFFFFFFu >> len);
    snprintf(t_mask_text, sizeof(t_mask_text), "%u.%u.%u.%u", mask >> 24, (mask >> 16) & 0xFFu,
             (mask >> 8) & 0xFFu, mask & 0xFFu);
    return t_mask_text;
}

int get_prefix_len_by_mask(const char *mask)
{
    uint32_t v;
    if (!parse_dotted(mask, &v)) v = 0xFFFFFFFFu; // not an address: reads as all ones
    int n = 0;
    while (n < 32 && (v & (0x80000000u >> n)))
        n++;
    return n;
}

} // extern "C"
