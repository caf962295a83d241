/*
 * Addresses of HTTP peers: one service endpoint (scheme, port, host, path)
 * as split from a URL, and what a transfer to a device may fall back to
 * (its discovered address) with the credentials for an HTTP Basic answer.
 * The ONVIF and discovery layers fill them; the HTTP client only reads them.
 */
#ifndef HTTP_HTTP_ADDR_H
#define HTTP_HTTP_ADDR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_XADDR_HOST_LEN 128
#define ONVIF_XADDR_PATH_LEN 128

/* One service address. All zero means "unknown"; an empty path means the
 * default device-service path when a connection is made. */
typedef struct {
    int32_t https; /* 1 for an "https://" URL */
    int32_t port;  /* 1..65535; 80 (http) or 443 (https) when the URL names none */
    char host[ONVIF_XADDR_HOST_LEN]; /* host name, dotted IPv4 or bracketed IPv6 */
    char path[ONVIF_XADDR_PATH_LEN]; /* from the '/' after host[:port], query included */
} ONVIF_XADDR;

/* The device side of a transfer: its discovered address (host empty: no
 * fall-back) and its credentials. */
typedef struct {
    ONVIF_XADDR fallback;
    char user[64];
    char pass[64];
} HTTP_PEER;

#ifdef __cplusplus
}
#endif

#endif
