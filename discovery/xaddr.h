/*
 * Service addresses and UUID texts.
 *
 * ONVIF_XADDR is the address of one service endpoint (scheme, port, host,
 * path) as split from an XAddr URL; ONVIF_SCOPE is one scope entry. The
 * XAddrs parser picks the first routable numeric address out of a blank
 * separated list and falls back to the last URL of the list. Every module
 * that reads an XAddr (discovery, capabilities, subscriptions) uses it.
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
 * failure (host too long, missing or bad port; logged). Texts are cut to
 * their buffers. A URL shorter than 8 characters only sets the port to 80. */
ONVIF_CLIENT_API int onvif_parse_xaddr_(const char *url, char *host, int hostlen, char *path,
                                        int pathlen, int *port, int *https);

/* Choosing one URL of a blank-separated XAddrs list and splitting it: the
 * first URL with a numeric host outside 169.x wins, else the last URL is
 * taken. Non-zero on success, 0 when the URL taken could not be split. */
ONVIF_CLIENT_API int onvif_parse_xaddr(const char *xaddrs, char *host, int hostlen, char *path,
                                       int pathlen, int *port, int *https);

/* The same into an ONVIF_XADDR record. */
ONVIF_CLIENT_API int parse_XAddr(const char *xaddrs, ONVIF_XADDR *xaddr);

/* Random UUID text "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (36 characters,
 * cut to len - 1). Returns buf, or a per-thread 100-byte buffer when buf is
 * null or len is 0. */
ONVIF_CLIENT_API char *onvif_uuid_create(char *buf, int len);

#ifdef __cplusplus
}
#endif

#endif
