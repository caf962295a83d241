/*
 * SOAP 1.2 request construction: the envelope with its fixed namespace
 * declarations, the optional header (WS-Addressing for the event
 * subscription operations, WS-Security UsernameToken when authentication is
 * on) and the body of each operation type.
 *
 * Everything is written into a caller-supplied buffer through bounded
 * appends. A request that does not fit is never returned cut short: the
 * build fails with -1 instead. Texts taken from request records and from the
 * device record are XML-escaped.
 */
#ifndef ONVIF_SOAP_BUILD_H
#define ONVIF_SOAP_BUILD_H

#include <stdint.h>

#include "onvif/onvif_device.h"
#include "onvif/tds_types.h"
#include "onvif/tev_types.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Whole envelope for one operation type: characters written (buf is
 * terminated), or -1 when it does not fit ("request too large" is logged),
 * when the type has no body builder, or for a type outside 1..387. p_req may
 * be null where the operation's input is optional. */
ONVIF_CLIENT_API int onvif_build_request(char *p_buf, int mlen, int type, ONVIF_DEVICE *p_dev,
                                         const void *p_req);

/* Headers: characters written (0 when no header is needed), -1 when they do
 * not fit. to: optional wsa:To address; ref_params: optional reference
 * parameters, copied unchanged (they are XML taken from a reply). */
ONVIF_CLIENT_API int onvif_build_security_header(char *p_buf, int mlen, ONVIF_DEVICE *p_dev,
                                                 const char *to);
ONVIF_CLIENT_API int onvif_build_addressing_header(char *p_buf, int mlen, ONVIF_DEVICE *p_dev,
                                                   const char *to, const char *action,
                                                   const char *ref_params);

/* UsernameToken steps. onvif_make_nonce: ONVIF_NONCE_LEN random bytes from
 * the cryptographic generator (a nonce must never repeat, also across
 * processes started together); ONVIF_NONCE_LEN, or -1 when len is smaller or
 * the generator failed. The Nonce element carries their Base64.
 * onvif_calc_digest: base64 of SHA-1(nonce bytes, created, password) into
 * digest (28 characters); 1, or 0 when it does not fit.
 * onvif_build_created: the wsu:Created text for the next request (device
 * clock when its UTC time is known, else the local clock); its length.
 * onvif_created_needs_refresh: 1 when the device clock plus the time passed
 * would roll over midnight for a request with WS-Security; the engine then
 * reads the device clock again before it builds (the builder itself never
 * makes a network call). */
#define ONVIF_NONCE_LEN 16
ONVIF_CLIENT_API int onvif_make_nonce(uint8_t *nonce, int len);
ONVIF_CLIENT_API int onvif_calc_digest(const uint8_t *nonce, int nonce_len, const char *created,
                                       const char *password, char *digest, int len);
ONVIF_CLIENT_API int onvif_build_created(ONVIF_DEVICE *p_dev, char *buf, int len);
ONVIF_CLIENT_API int onvif_created_needs_refresh(const ONVIF_DEVICE *p_dev);

/* Body of one operation (the element inside s:Body), written from the
 * request record through the operation's descriptor: characters written, -1
 * when it does not fit, -2 for an unknown type or when a required request
 * record is missing or refused. */
ONVIF_CLIENT_API int onvif_build_body(char *p_buf, int mlen, int type, const void *p_req);

/* Input of a type from the operation table: 1 when the request element has
 * no children ("<prefix:Name />"), 2 when the request record may be null,
 * else 0. The XML element prefix of a type's request ("tds", "tptz",
 * "wsnt" ...), null outside 1..387. */
ONVIF_CLIENT_API int onvif_body_without_input(int type);
ONVIF_CLIENT_API const char *onvif_body_prefix(int type);

/* Body builders of the device-service operations the tool uses (the same
 * as onvif_build_body for their types): characters written or -1. A null
 * request record gives the defaults ("All", false, no entries) where the
 * input is optional, and -1 where it is required. */
ONVIF_CLIENT_API int build_GetCapabilities_xml(char *p_buf, int mlen,
                                               const ONVIF_GET_CAPABILITIES_REQ *p_req);
ONVIF_CLIENT_API int build_GetServices_xml(char *p_buf, int mlen,
                                           const ONVIF_GET_SERVICES_REQ *p_req);
ONVIF_CLIENT_API int build_SetNetworkInterfaces_xml(char *p_buf, int mlen,
                                                    const ONVIF_NETWORK_INTERFACE *p_req);
ONVIF_CLIENT_API int build_SetDNS_xml(char *p_buf, int mlen, const ONVIF_DNS *p_req);
ONVIF_CLIENT_API int build_SetNetworkDefaultGateway_xml(char *p_buf, int mlen,
                                                        const ONVIF_NETWORK_GATEWAY *p_req);
ONVIF_CLIENT_API int build_SetSystemDateAndTime_xml(char *p_buf, int mlen,
                                                    const ONVIF_SET_SYSTEM_DATETIME_REQ *p_req);

#ifdef __cplusplus
}
#endif

#endif
