/*
 * The ONVIF operations: one entry function per row of the operation table
 * (onvif/onvif_ops.def), and the table itself for callers that want to look
 * an operation up.
 *
 *   int onvif_<svc>_<Op>(ONVIF_DEVICE *p_dev, <svc>_<Op>_REQ *p_req,
 *                        <svc>_<Op>_RES *p_res);
 *
 * Each entry sends its request to the service's address in the device record
 * (the device service: binfo.xaddr; every other service: its sub-record of
 * capabilities; the subscription manager: subscription_address) through the
 * request engine with a 10 s time-out. 1 on success, 0 on failure with the
 * reason in the device record (last_error, auth_failed, fault).
 *
 * p_req may be null where the row's input is optional (a zero-filled record
 * is sent: "All", "false", no entries); a required request record that is
 * null is refused before anything is sent. p_res may be null when only the
 * outcome matters. A result record is cleared before it is read (list heads
 * set to null), except the capability block, which GetCapabilities and
 * GetServices update in place; lists and other heap members of a result are
 * the caller's, released with onvif_free_result (or the list's own free
 * function).
 *
 * The table itself (one ONVIF_OP row per operation) is onvif_optab.h.
 *
 * The records <svc>_<Op>_REQ / _RES are typedefs: of the hand-made records
 * of tds_types.h / tev_types.h, of the records generated from the ONVIF
 * schemas (onvif/gen/onvif_types.h), of a list head (XList *) when the reply
 * is one list, or void when there is no input or output.
 */
#ifndef ONVIF_ONVIF_OPS_H
#define ONVIF_ONVIF_OPS_H

#include <stdint.h>

#include "onvif/gen/onvif_types.h"
#include "onvif/onvif_act.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_device.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_optab.h"
#include "onvif/ops_hand.h"
#include "onvif/tds_types.h"
#include "onvif/tev_types.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Sends operation `type` to its service's address (the entry functions are
 * this call). 1 or 0. */
ONVIF_CLIENT_API int onvif_op_call(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res);
/* The same with a transaction time-out in ms of the caller's choice (for an
 * operation the device may answer late on purpose, as PullMessages). */
ONVIF_CLIENT_API int onvif_op_call_timeout(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res,
                                           int timeout);

/* The entry functions. */
#define OP(svc, op, in, out, flags)                                                                \
    ONVIF_CLIENT_API int onvif_##svc##_##op(ONVIF_DEVICE *p_dev, svc##_##op##_REQ *p_req,          \
                                            svc##_##op##_RES *p_res);
#define OPA(svc, op, in, out, flags, action) OP(svc, op, in, out, flags)
#include "onvif/onvif_ops.def"
#undef OP
#undef OPA

#ifdef __cplusplus
}
#endif

#endif
