/*
 * The ONVIF request engine: one SOAP transaction per operation (build the
 * envelope, POST it, check the reply, retry with authentication when the
 * device refuses, parse the Body into the caller's result record), the
 * connection-context fill for a service address, and the device-level calls
 * that bring a freshly discovered camera into a usable state.
 *
 * Outcome of a transaction, in the device record:
 *   last_error  0 success (or unknown operation type: nothing was sent),
 *              -1 no connection (nor to the discovered address) / TLS handshake,
 *              -2 memory, TLS context or session, request too large, send,
 *              -4 no complete reply within the time-out,
 *              -6 reply without body, -7 body is not a SOAP envelope with a Body,
 *              -8 HTTP 200 but the response element is missing or unparsable,
 *              -9 refused by the device (fault holds the SOAP fault if one came);
 *   auth_failed 1 when the device kept refusing the credentials.
 *
 * Authentication: one plain attempt; a 401 switches HTTP authentication on
 * (Digest when challenged so, else Basic) at most once per transaction, and
 * it stays on for the rest of that transaction; an authentication refusal
 * (401 with HTTP authentication on, or a Sender fault NotAuthorized /
 * Unauthorized / InvalidSecurity / FailedAuthentication) turns need_auth on
 * and retries with the WS-Security header, 500 ms apart from the second
 * retry on, until auth_retry has counted four refusals.
 */
#ifndef ONVIF_ONVIF_TRANS_H
#define ONVIF_ONVIF_TRANS_H

#include <stdint.h>

#include "discovery/xaddr.h"
#include "http/http_cln.h"
#include "onvif/onvif_device.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Time-out of the operation entry points, ms. */
#define ONVIF_TRANS_TIMEOUT 10000

/* Size of the request buffer; a larger envelope is refused (-2), never cut. */
#define ONVIF_REQ_BUF_SIZE 10240

/* Connection context for a service address: cleared, then https bit, port,
 * host and url (the address's path, or "/onvif/device_service"). 0 / -1. */
ONVIF_CLIENT_API int onvif_init_xaddr_context(HTTP_CLIENT_CONN *p_conn, const ONVIF_XADDR *p_xaddr);

/* The transaction: 1 on success, 0 on failure (reason in the device record). */
ONVIF_CLIENT_API int http_onvif_trans(HTTP_CLIENT_CONN *p_conn, int timeout, int type,
                                      ONVIF_DEVICE *p_dev, void *p_req, void *p_res);

/* One operation sent to a service address: a connection context on the
 * stack, then the transaction with ONVIF_TRANS_TIMEOUT. Every entry function
 * onvif_<svc>_<Op> is this call with its service's address. 1 or 0. */
ONVIF_CLIENT_API int onvif_call_xaddr(ONVIF_DEVICE *p_dev, const ONVIF_XADDR *p_xaddr, int type,
                                      void *p_req, void *p_res);

#ifdef __cplusplus
}
#endif

#endif
