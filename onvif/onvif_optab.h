/*
 * The operation table: one ONVIF_OP row per operation, derived from
 * onvif_ops.def (its input and output, its addressing, its request element's
 * prefix and the descriptors of its request and result records). The SOAP
 * writer, the reply reader and the entry functions all look operations up
 * here.
 */
#ifndef ONVIF_ONVIF_OPTAB_H
#define ONVIF_ONVIF_OPTAB_H

#include <stdint.h>

#include "onvif/onvif_act.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

struct SOAP_TYPE;

/* Input of an operation (in). */
#define ONVIF_IN_NO 0  /* the request element has no children */
#define ONVIF_IN_OPT 1 /* the request record may be null */
#define ONVIF_IN_REQ 2 /* the request record is required */

/* Output of an operation (out). */
#define ONVIF_OUT_N 0 /* none: the reply only has to hold the response element */
#define ONVIF_OUT_C 1 /* read into the result record, which is cleared first */
#define ONVIF_OUT_M 2 /* read into the result record in place (merged) */

/* Addressing and element flags (flags). */
#define ONVIF_OPF_EVT 0x01  /* WS-Addressing header to the events service */
#define ONVIF_OPF_SUB 0x02  /* to the subscription reference (subscription manager) */
#define ONVIF_OPF_PULL 0x04 /* to the pull point once one was created */
#define ONVIF_OPF_WSNT 0x08 /* request element in the WS-BaseNotification namespace */
#define ONVIF_OPF_TDS 0x10  /* request element of the device service */

/* One row of the operation table. */
typedef struct {
    uint16_t type;               /* ACT_<svc>_<Op> */
    uint8_t service;             /* ONVIF_SVC_ */
    uint8_t in;                  /* ONVIF_IN_ */
    uint8_t out;                 /* ONVIF_OUT_ */
    uint8_t flags;               /* ONVIF_OPF_ */
    const char *name;            /* "GetDeviceInformation" */
    const char *element_prefix;  /* XML prefix of the request element: "tds", "wsnt" ... */
    const struct SOAP_TYPE *req; /* request record descriptor */
    const struct SOAP_TYPE *res; /* result record descriptor */
} ONVIF_OP;

/* The row of a type, null outside 1..387. */
ONVIF_CLIENT_API const ONVIF_OP *onvif_op(int type);

/* Releases the lists and heap members of a result record of `type` (the
 * record itself stays, its heads are null afterwards). */
ONVIF_CLIENT_API void onvif_free_result(int type, void *p_res);

/* The same for a request record the caller filled with lists (users to
 * create, addresses to filter ...). */
ONVIF_CLIENT_API void onvif_free_request(int type, void *p_req);

#ifdef __cplusplus
}
#endif

#endif
