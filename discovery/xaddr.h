/*
 * Service addresses and UUID texts.
 *
 * ONVIF_XADDR is the address of one service endpoint (scheme, port, host,
 * path) as split from an XAddr URL; ONVIF_SCOPE is one scope entry. The
 * XAddrs parser picks the first routable numeric IPv4 address out of a
 * whitespace-separated list and falls back to the last URL of the list that
 * is not IPv6 (the last IPv6 one when there is nothing else). Every module
 * that reads an address a device hands out (discovery, capabilities,
 * subscription references, transfer URIs) uses it, so every such address is
 * checked here before it reaches a request line.
 */
#ifndef DISCOVERY_XADDR_H
#define DISCOVERY_XADDR_H

#include <stdint.h>

#include "http/http_addr.h" /* ONVIF_XADDR */
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_SCOPE_ITEM_LEN 128

/* One scope URI. definition: 0 Fixed, 1 Configurable (discovery leaves 0). */
typedef struct {
    int32_t definition;
    char item[ONVIF_SCOPE_ITEM_LEN]; /* at most 127 characters */
} ONVIF_SCOPE;

/* Splitting one URL into host, path, port and https flag: 1 on success, 0 on
 * failure (logged): a scheme other than "http://" or "https://" (any case),
 * no host, a host too long for its buffer, a bad bracketed IPv6 address, a
 * missing or bad port, or a blank or control character in host or path
 * (they would end up in our request line). The port is 80 for http and 443
 * for https unless the URL names one. An IPv6 host keeps its brackets
 * ("[2001:db8::1]"). The path is cut to its buffer. */
ONVIF_CLIENT_API int onvif_parse_xaddr_(const char *url, char *host, int hostlen, char *path,
                                        int pathlen, int *port, int *https);

/* Choosing one URL of an XAddrs list (separated by spaces, tabs or line
 * breaks) and splitting it: the first URL with a numeric IPv4 host outside
 * 169.254.0.0/16 wins; else the last URL whose host is not an IPv6 literal
 * is taken; else (IPv6 only) the last URL. Non-zero on success, 0 when the
 * URL taken could not be split or the list is empty. */
ONVIF_CLIENT_API int onvif_parse_xaddr(const char *xaddrs, char *host, int hostlen, char *path,
                                       int pathlen, int *port, int *https);

/* The same into an ONVIF_XADDR record. */
ONVIF_CLIENT_API int parse_XAddr(const char *xaddrs, ONVIF_XADDR *xaddr);

/* Random (RFC 4122 version 4) UUID text "xxxxxxxx-xxxx-4xxx-[89ab]xxx-
 * xxxxxxxxxxxx" (36 lower-case characters, cut to len - 1) from the
 * cryptographic generator. Returns buf, or a per-thread 100-byte buffer when
 * buf is null or len is 0. */
ONVIF_CLIENT_API char *onvif_uuid_create(char *buf, int len);

#ifdef __cplusplus
}
#endif

#endif
