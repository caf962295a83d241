/*
 * Network queries: socket-layer start, host name resolution, the local IPv4
 * address table, the interface towards a destination, the default gateway,
 * the first adapter's hardware address, the DNS server, and conversions
 * between prefix lengths and dotted masks.
 *
 * IPv4 addresses are uint32_t values in network byte order; 0 means "none".
 * Failures show only as neutral results: 0 address, 0 count, empty or null text.
 * Returned texts live in buffers of the calling thread, overwritten by its
 * next call of the same function.
 */
#ifndef PLATFORM_SYS_NET_H
#define PLATFORM_SYS_NET_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Start-up: 0 when the socket layer is ready; daemon_init has nothing to do here (0). */
ONVIF_CLIENT_API int network_init(void);
ONVIF_CLIENT_API int daemon_init(void);

/* Names and addresses: dotted test (1/0), resolution (0 when unknown), dotted text. */
ONVIF_CLIENT_API int is_ip_address(const char *text);
ONVIF_CLIENT_API uint32_t get_address_by_name(const char *name);
ONVIF_CLIENT_API const char *get_ip_str(uint32_t addr);

/* IPv4 address table (at most 21 rows, loopback included, system order). */
ONVIF_CLIENT_API int get_if_nums(void);
ONVIF_CLIENT_API uint32_t get_if_ip(int index);

/* Route choice: local address used towards dest (0: default route), 0 when none. */
ONVIF_CLIENT_API uint32_t get_route_if_ip(uint32_t dest);
ONVIF_CLIENT_API uint32_t get_default_if_ip(void);
ONVIF_CLIENT_API const char *get_local_ip(void); /* dotted default address, or null */

/* Adapters: default gateway text (32 bytes, "" when none), first MAC (8-byte out; 0),
 * first DNS server text (32 bytes, "" when none). */
ONVIF_CLIENT_API const char *get_default_gateway(void);
ONVIF_CLIENT_API int get_default_if_mac(uint8_t *mac);
ONVIF_CLIENT_API const char *get_dns_server(void);

/* Masks: prefix length -> dotted mask (32 bytes); dotted mask -> leading one bits (0..32). */
ONVIF_CLIENT_API const char *get_mask_by_prefix_len(int len);
ONVIF_CLIENT_API int get_prefix_len_by_mask(const char *mask);

#ifdef __cplusplus
}
#endif

#endif
