// Service-address splitting, XAddrs list choice and UUID texts.
#include "discovery/xaddr.h"
#include "platform/sys_log.h"
#include "platform/sys_net.h"
#include "platform/sys_os.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include <atomic>

namespace
{

// A URL of an XAddrs list that is followed by another one is taken at most
// this long; the last URL of a list is split as it stands.
const int LIST_URL_MAX = 255;
const int TMP_FIELD_LEN = LIST_URL_MAX + 1;
// The last URL of a list is split whole up to this length.
const size_t LAST_URL_MAX = 1023;

const char *const kSplit = "onvif_parse_xaddr_";

std::atomic<unsigned> g_uuid_counter{0};

// XAddrs (like Scopes and Types) is an xs:list: any XML whitespace separates.
bool is_list_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_host_end(char c)
{
    return c == '\0' || c == ':' || c == '/';
}

// Bytes that may not stand in a host or a path: they would end or split the
// request line and the Host header we write from them.
bool is_unsafe(unsigned char c)
{
    return c <= 0x20 || c == 0x7F;
}

// Copies at most dstlen - 1 bytes of src[0..srclen) and terminates.
void copy_cut(char *dst, int dstlen, const char *src, size_t srclen)
{
    if (!dst || dstlen <= 0) return;
    size_t n = srclen;
    if (n > (size_t)(dstlen - 1)) n = (size_t)(dstlen - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Length of the scheme prefix and its https flag: 7 for "http://", 8 for
// "https://" (any case), 0 for anything else.
int scheme_len(const char *url, int *https)
{
    if (strncasecmp(url, "https://", 8) == 0) {
        *https = 1;
        return 8;
    }
    if (strncasecmp(url, "http://", 7) == 0) {
        *https = 0;
        return 7;
    }
    return 0;
}

// A bracketed IPv6 literal at p ("[2001:db8::1]"): its length with the
// brackets, or 0 when it is not a valid one.
size_t ipv6_literal_len(const char *p)
{
    if (p[0] != '[') return 0;
    const char *close = strchr(p, ']');
    if (!close) return 0;
    size_t inner = (size_t)(close - p - 1);
    char addr[INET6_ADDRSTRLEN + 1];
    if (inner == 0 || inner >= sizeof(addr)) return 0;
    memcpy(addr, p + 1, inner);
    addr[inner] = '\0';
    struct in6_addr a6;
    if (inet_pton(AF_INET6, addr, &a6) != 1) return 0;
    return inner + 2;
}

// 169.254.0.0/16: an address the device gave itself, useless from elsewhere.
bool is_link_local(const char *host)
{
    struct in_addr a;
    if (inet_pton(AF_INET, host, &a) != 1) return false;
    return (ntohl(a.s_addr) & 0xFFFF0000u) == 0xA9FE0000u;
}

bool is_ipv6_url(const char *url)
{
    int https = 0;
    int n = scheme_len(url, &https);
    return n > 0 && url[n] == '[';
}

// Splits url into temporaries and copies them out only when the split
// succeeded and the host is a routable numeric IPv4 address.
bool try_routable(const char *url, char *host, int hostlen, char *path, int pathlen, int *port,
                  int *https)
{
    char thost[TMP_FIELD_LEN] = {0};
    char tpath[TMP_FIELD_LEN] = {0};
    int tport = 0;
    int thttps = 0;
    int th_len = hostlen < TMP_FIELD_LEN ? hostlen : TMP_FIELD_LEN;
    int tp_len = pathlen < TMP_FIELD_LEN ? pathlen : TMP_FIELD_LEN;

    if (!onvif_parse_xaddr_(url, thost, th_len, tpath, tp_len, &tport, &thttps)) return false;
    if (!is_ip_address(thost) || is_link_local(thost)) return false;

    copy_cut(host, hostlen, thost, strlen(thost));
    copy_cut(path, pathlen, tpath, strlen(tpath));
    if (port) *port = tport;
    if (https) *https = thttps;
    return true;
}

// One URL of a list: [s, e).
struct Span {
    const char *s = nullptr;
    const char *e = nullptr;
};

// Splits a span (cut to cap characters) into the outputs.
int split_span(Span u, size_t cap, char *host, int hostlen, char *path, int pathlen, int *port,
               int *https)
{
    if (*u.e == '\0') return onvif_parse_xaddr_(u.s, host, hostlen, path, pathlen, port, https);
    char url[1024];
    size_t n = (size_t)(u.e - u.s);
    if (n > cap) n = cap;
    copy_cut(url, sizeof(url), u.s, n);
    return onvif_parse_xaddr_(url, host, hostlen, path, pathlen, port, https);
}

} // namespace

extern "C" int onvif_parse_xaddr_(const char *url, char *host, int hostlen, char *path, int pathlen,
                                  int *port, int *https)
{
    int dummy_port = 0;
    int dummy_https = 0;
    if (!port) port = &dummy_port;
    if (!https) https = &dummy_https;
    if (!url || !host || hostlen <= 0 || !path || pathlen <= 0) return 0;

    int tls = 0;
    int skip = scheme_len(url, &tls);
    if (skip == 0) {
        log_print(LOG_ERROR, "%s, URL has no http or https scheme\r\n", kSplit);
        return 0;
    }
    *https = tls;
    *port = tls ? 443 : 80;
    const char *p = url + skip;

    // Host: a bracketed IPv6 literal (kept with its brackets, as it stands in
    // a URL and in a Host header), or up to NUL, ':' or '/'. It must fit
    // together with its terminator.
    size_t n = 0;
    if (*p == '[') {
        n = ipv6_literal_len(p);
        if (n == 0 || !is_host_end(p[n])) {
            host[0] = '\0';
            log_print(LOG_ERROR, "%s, bad IPv6 address in URL\r\n", kSplit);
            return 0;
        }
    } else {
        while (!is_host_end(p[n]))
            n++;
    }
    if (n >= (size_t)hostlen) {
        host[0] = '\0';
        log_print(LOG_ERROR, "%s, URL is too long\r\n", kSplit);
        return 0;
    }
    for (size_t i = 0; i < n; i++) {
        if (is_unsafe((unsigned char)p[i])) n = 0;
    }
    if (n == 0) {
        host[0] = '\0';
        log_print(LOG_ERROR, "%s, URL has no usable host\r\n", kSplit);
        return 0;
    }
    memcpy(host, p, n);
    host[n] = '\0';
    p += n;

    if (*p == ':') {
        p++;
        if (*p < '0' || *p > '9') {
            log_print(LOG_ERROR, "%s, No port number follows ':'\r\n", kSplit);
            return 0;
        }
        long value = 0;
        while (*p >= '0' && *p <= '9') {
            if (value <= 65535) value = value * 10 + (*p - '0');
            p++;
        }
        if (value < 1 || value > 65535) {
            log_print(LOG_ERROR, "%s, Bad port number\r\n", kSplit);
            return 0;
        }
        *port = (int)value;
    }

    // The path goes into our request line: a blank or a control character
    // in it (a device's CR LF would start a header of its choosing) refuses
    // the whole URL, also beyond the part that fits.
    for (const char *q = p; *q; q++) {
        if (is_unsafe((unsigned char)*q)) {
            path[0] = '\0';
            log_print(LOG_ERROR, "%s, URL path holds a blank or a control character\r\n", kSplit);
            return 0;
        }
    }
    copy_cut(path, pathlen, p, strlen(p));
    return 1;
}

extern "C" int onvif_parse_xaddr(const char *xaddrs, char *host, int hostlen, char *path,
                                 int pathlen, int *port, int *https)
{
    if (!xaddrs) return 0;

    // The last URL of the list, and the last one whose host is not an IPv6
    // literal (an IPv4 address or a name is preferred to IPv6).
    Span last;
    Span last_not_v6;
    for (const char *s = xaddrs; *s;) {
        while (is_list_space(*s))
            s++;
        if (!*s) break;
        const char *e = s;
        while (*e && !is_list_space(*e))
            e++;
        last.s = s;
        last.e = e;
        if (!is_ipv6_url(s)) last_not_v6 = last;
        s = e;
    }
    if (!last.s) return 0; // an empty list names no address

    // Every URL before the last one: the first routable numeric address wins.
    for (const char *s = xaddrs; s < last.s;) {
        while (is_list_space(*s))
            s++;
        if (s >= last.s) break;
        const char *e = s;
        while (*e && !is_list_space(*e))
            e++;
        char url[LIST_URL_MAX + 1];
        copy_cut(url, sizeof(url), s, (size_t)(e - s));
        if (try_routable(url, host, hostlen, path, pathlen, port, https)) return 1;
        s = e;
    }

    // A list of IPv6 addresses only: its last one. Otherwise the last URL
    // that is not IPv6 (taken at most LIST_URL_MAX long unless it ends the
    // list).
    if (!last_not_v6.s)
        return split_span(last, LAST_URL_MAX, host, hostlen, path, pathlen, port, https);
    size_t cap = last_not_v6.s == last.s ? LAST_URL_MAX : (size_t)LIST_URL_MAX;
    return split_span(last_not_v6, cap, host, hostlen, path, pathlen, port, https);
}

extern "C" int parse_XAddr(const char *xaddrs, ONVIF_XADDR *xaddr)
{
    if (!xaddr) return 0;
    int port = xaddr->port;
    int https = xaddr->https;
    int ret = onvif_parse_xaddr(xaddrs, xaddr->host, sizeof(xaddr->host), xaddr->path,
                                sizeof(xaddr->path), &port, &https);
    xaddr->port = port;
    xaddr->https = https;
    return ret;
}

extern "C" char *onvif_uuid_create(char *buf, int len)
{
    static thread_local char s_buf[100];
    if (!buf || len <= 0) {
        buf = s_buf;
        len = (int)sizeof(s_buf);
    }

    // RFC 4122 version 4: 122 random bits, the version nibble 4 and the
    // variant bits 10. Peers drop repeated MessageIDs as duplicates, so the
    // bits come from the cryptographic generator, not from a clock seed that
    // another process started in the same second would share.
    uint8_t b[16];
    if (sys_os_random(b, (int)sizeof(b)) != 0) {
        // No generator: at least distinct within this process.
        unsigned c = ++g_uuid_counter;
        unsigned long long t = (unsigned long long)time(nullptr);
        for (int i = 0; i < 4; i++) {
            b[i] = (uint8_t)(c >> (8 * i));
            b[4 + i] = (uint8_t)(t >> (8 * i));
        }
    }
    b[6] = (uint8_t)((b[6] & 0x0F) | 0x40);
    b[8] = (uint8_t)((b[8] & 0x3F) | 0x80);

    snprintf(buf, (size_t)len,
             "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
             b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
             b[15]);
    return buf;
}
