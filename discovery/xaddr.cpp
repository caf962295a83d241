// Service-address splitting, XAddrs list choice and UUID texts.
#include "discovery/xaddr.h"
#include "platform/sys_log.h"
#include "platform/sys_net.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atomic>

namespace
{

// A URL of an XAddrs list that is followed by another one is taken at most
// this long; the last URL of a list is split as it stands.
const int LIST_URL_MAX = 255;
const int TMP_FIELD_LEN = LIST_URL_MAX + 1;

std::atomic<unsigned> g_uuid_counter{0};

bool is_host_end(char c)
{
    return c == '\0' || c == ':' || c == '/';
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

// Splits url into temporaries and copies them out only when the split
// succeeded and the host is a routable numeric address.
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
    if (!is_ip_address(thost) || strncmp(thost, "169.", 4) == 0) return false;

    copy_cut(host, hostlen, thost, strlen(thost));
    copy_cut(path, pathlen, tpath, strlen(tpath));
    if (port) *port = tport;
    if (https) *https = thttps;
    return true;
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

    *port = 80;
    if (strnlen(url, 8) < 8) return 1;

    const char *p;
    if (strncmp(url, "https://", 8) == 0) {
        *https = 1;
        p = url + 8;
    } else {
        *https = 0;
        p = url + 7;
    }

    // Host: up to NUL, ':' or '/'; it must fit together with its terminator.
    int i = 0;
    while (!is_host_end(p[i])) {
        if (i >= hostlen - 1) {
            host[0] = '\0';
            log_print(LOG_ERROR, "%s, URL is too long\r\n", "onvif_parse_xaddr_");
            return 0;
        }
        host[i] = p[i];
        i++;
    }
    host[i] = '\0';
    p += i;

    if (*p == ':') {
        p++;
        if (*p < '0' || *p > '9') {
            log_print(LOG_ERROR, "%s, No port number follows ':'\r\n", "onvif_parse_xaddr_");
            return 0;
        }
        long value = 0;
        while (*p >= '0' && *p <= '9') {
            if (value <= 65535) value = value * 10 + (*p - '0');
            p++;
        }
        if (value < 1 || value > 65535) {
            log_print(LOG_ERROR, "%s, Bad port number\r\n", "onvif_parse_xaddr_");
            return 0;
        }
        *port = (int)value;
    }

    copy_cut(path, pathlen, p, strlen(p));
    return 1;
}

extern "C" int onvif_parse_xaddr(const char *xaddrs, char *host, int hostlen, char *path,
                                 int pathlen, int *port, int *https)
{
    if (!xaddrs) return 0;

    // The last non-empty URL of the list: [last, last_end).
    const char *last = nullptr;
    const char *last_end = nullptr;
    for (const char *s = xaddrs; *s;) {
        while (*s == ' ')
            s++;
        if (!*s) break;
        const char *e = s;
        while (*e && *e != ' ')
            e++;
        last = s;
        last_end = e;
        s = e;
    }
    if (!last) return onvif_parse_xaddr_("", host, hostlen, path, pathlen, port, https);

    // Every URL before the last one: the first routable numeric address wins.
    for (const char *s = xaddrs; s < last;) {
        while (*s == ' ')
            s++;
        if (s >= last) break;
        const char *e = s;
        while (*e && *e != ' ')
            e++;
        char url[LIST_URL_MAX + 1];
        copy_cut(url, sizeof(url), s, (size_t)(e - s));
        if (try_routable(url, host, hostlen, path, pathlen, port, https)) return 1;
        s = e;
    }

    if (*last_end == '\0')
        return onvif_parse_xaddr_(last, host, hostlen, path, pathlen, port, https);

    // The last URL is followed by blanks only: split a terminated copy of it.
    char url[1024];
    copy_cut(url, sizeof(url), last, (size_t)(last_end - last));
    return onvif_parse_xaddr_(url, host, hostlen, path, pathlen, port, https);
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

    // Seeded with the time plus a process-wide call counter, so two calls
    // within the same second still differ.
    unsigned seed = (unsigned)time(nullptr) + ++g_uuid_counter;
    unsigned v[8];
    for (int i = 0; i < 8; i++)
        v[i] = (unsigned)(rand_r(&seed) % 65535);

    snprintf(buf, (size_t)len, "%04x%04x-%04x-%04x-%04x-%04x%04x%04x", v[0], v[1], v[2], v[3], v[4],
             v[5], v[6], v[7]);
    return buf;
}
