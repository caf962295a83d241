/*
 * WS-Discovery client.
 *
 * One UDP socket per local IPv4 address joins 239.255.255.250:3702; a
 * background thread sends two Probe messages (tds:Device and
 * dn:NetworkVideoTransmitter) on every socket, receives ProbeMatch, Hello and
 * Bye, reads each into a DEVICE_BINFO and hands it to one registered
 * callback. It probes again after a number of quiet seconds.
 */
#ifndef DISCOVERY_PROBE_H
#define DISCOVERY_PROBE_H

#include <stdint.h>

#include "discovery/xaddr.h"
#include "platform/onvif_api.h"
#include "xml/xml_node.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Device types read from the Types text. */
#define DEVICE_TYPE_UNKNOWN 0
#define DEVICE_TYPE_TRANSMITTER 1
#define DEVICE_TYPE_DISPLAY 2
#define DEVICE_TYPE_STORAGE 3
#define DEVICE_TYPE_ANALYTICS 4

/* Kinds of discovery message reported to the callback. */
#define PROBE_MSG_MATCH 0
#define PROBE_MSG_HELLO 1
#define PROBE_MSG_BYE 2

#define DEVICE_BINFO_EPR_LEN 100
#define DEVICE_BINFO_MAX_SCOPES 100

/* What one discovery message says about one device. */
typedef struct {
    int32_t type;                                /* DEVICE_TYPE_* */
    char endpoint_address[DEVICE_BINFO_EPR_LEN]; /* EndpointReference/Address, <= 99 chars */
    int32_t metadata_version;                    /* MetadataVersion, 0 when absent */
    int32_t scope_count;                         /* filled entries of scopes, 0..100 */
    ONVIF_SCOPE scopes[DEVICE_BINFO_MAX_SCOPES]; /* blank-separated Scopes */
    ONVIF_XADDR xaddr;                           /* device-service address from XAddrs */
} DEVICE_BINFO;

/* Called on the discovery thread; binfo is valid only during the call. */
typedef void (*onvif_probe_cb)(const DEVICE_BINFO *binfo, int kind, void *user_data);

/* Set-up: the callback (null: messages are read but not reported) and the
 * re-probe interval in idle seconds (below 10 gives 30). Any time. */
ONVIF_CLIENT_API void set_probe_cb(onvif_probe_cb cb, void *user_data);
ONVIF_CLIENT_API void set_probe_interval(int seconds);

/* Set-up: the local IPv4 addresses (dotted) that the next start_probe opens
 * its sockets on, instead of every interface address (loopback included when
 * named); at most 8. Null or a count of 0 goes back to every interface. 0, or
 * -1 (setting unchanged) when an address is not a dotted IPv4 address or
 * there are too many. */
ONVIF_CLIENT_API int set_probe_addresses(const char *const *addrs, int count);

/* Life cycle. start_probe: local_ip (dotted IPv4 or null) gets a socket of its
 * own besides every interface address; 0, or -1 when the thread can't be
 * created or a discovery thread is already running. send_probe_req: one more
 * Probe pair on every open socket, from the caller's thread. stop_probe: ends
 * the thread (within about a second) and closes every socket. */
ONVIF_CLIENT_API int start_probe(const char *local_ip, int interval);
ONVIF_CLIENT_API void send_probe_req(void);
ONVIF_CLIENT_API void stop_probe(void);

/* Number of open discovery sockets (0 once stopped). */
ONVIF_CLIENT_API int onvif_probe_sock_count(void);

/* Unicast probing, for devices that multicast does not reach (other
 * subnets behind a router). Independent of the discovery thread and of the
 * registered callback: one socket of its own (an ephemeral port), the
 * caller's thread.
 * onvif_probe_unicast sends the Probe pair to each of the count hosts
 * ("a.b.c.d", or "a.b.c.d:port"; port 3702 when none is given), one host
 * every interval_ms (at least 1), and reads answers until wait_ms after the
 * last send. Every ProbeMatch is read like a multicast one and handed to cb
 * (PROBE_MSG_MATCH) on the caller's thread; Hello and Bye are ignored.
 * stop (may be null) is asked between steps, at least every 50 ms: non-zero
 * ends the call early. Hosts that are not numeric IPv4 texts are skipped
 * (logged). The number of ProbeMatches reported, or -1 when no socket could
 * be opened. */
ONVIF_CLIENT_API int onvif_probe_unicast(const char *const *hosts, int count, int interval_ms,
                                         int wait_ms, onvif_probe_cb cb, void *user_data,
                                         int (*stop)(void *user_data));

/* Message handling, also usable without sockets:
 * onvif_probe_datagram: one received datagram (len bytes, copied; at most
 *   10239): parses it and handles it; the number of callbacks made (or due
 *   when none is set), -1 when it is too long or not XML.
 * onvif_probe_res: the parsed envelope; the same count.
 * onvif_probe_parse_binfo: a ProbeMatch or Hello element into binfo (which
 *   the caller cleared); 1 when it carries a usable XAddrs, else 0. */
ONVIF_CLIENT_API int onvif_probe_datagram(const char *data, int len);
ONVIF_CLIENT_API int onvif_probe_res(XML_NODE *root);
ONVIF_CLIENT_API int onvif_probe_parse_binfo(XML_NODE *elem, DEVICE_BINFO *binfo);

/* Device type of a Types text (DEVICE_TYPE_*). */
ONVIF_CLIENT_API int parse_DeviceType(const char *types);

#ifdef __cplusplus
}
#endif

#endif
