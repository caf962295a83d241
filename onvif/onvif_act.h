/*
 * ONVIF operation catalogue.
 *
 * Every ONVIF operation the client knows has a type number ACT_<svc>_<Op>
 * (1..387), assigned in dense blocks service by service. For each type the
 * catalogue knows its service, its bare operation name (the response element
 * is that name followed by "Response"), whether its reply carries output that
 * a parser reads, whether the dispatcher clears the caller's result record
 * before parsing, and the SOAP action URI sent with the request.
 */
#ifndef ONVIF_ONVIF_ACT_H
#define ONVIF_ONVIF_ACT_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_ACT_MIN 1      /* first operation type */
#define ONVIF_ACT_MAX 387    /* last operation type */
#define ONVIF_ACT_COUNT 387  /* number of operations (rows of the action table) */
#define ONVIF_ACTION_LEN 256 /* size of an action URI field */

/* Services, in the order of their type blocks. */
enum {
    ONVIF_SVC_DEVICE = 0,    /* tds */
    ONVIF_SVC_MEDIA,         /* trt */
    ONVIF_SVC_MEDIA2,        /* tr2 */
    ONVIF_SVC_PTZ,           /* ptz */
    ONVIF_SVC_EVENTS,        /* tev */
    ONVIF_SVC_IMAGING,       /* img */
    ONVIF_SVC_DEVICEIO,      /* tmd */
    ONVIF_SVC_RECORDING,     /* trc */
    ONVIF_SVC_REPLAY,        /* trp */
    ONVIF_SVC_SEARCH,        /* tse */
    ONVIF_SVC_ANALYTICS,     /* tan */
    ONVIF_SVC_ACCESSCONTROL, /* tac */
    ONVIF_SVC_DOORCONTROL,   /* tdc */
    ONVIF_SVC_THERMAL,       /* tth */
    ONVIF_SVC_CREDENTIAL,    /* tcr */
    ONVIF_SVC_ACCESSRULES,   /* tar */
    ONVIF_SVC_SCHEDULE,      /* tsc */
    ONVIF_SVC_RECEIVER,      /* trv */
    ONVIF_SVC_PROVISIONING,  /* tpv */
    ONVIF_SVC_COUNT
};

/* Operation types ACT_<svc>_<Op>: the position of the operation's row in the
 * operation table (onvif_ops.def), 1..387, dense, service by service. */
enum {
    ONVIF_ACT_NONE = 0,
#define OP(svc, op, in, out, flags) ACT_##svc##_##op,
#define OPA(svc, op, in, out, flags, action) ACT_##svc##_##op,
#include "onvif/onvif_ops.def"
#undef OP
#undef OPA
    ONVIF_ACT_END
};

/* One row of the action table: an operation type and its SOAP action URI. */
typedef struct {
    uint32_t type;
    char action[ONVIF_ACTION_LEN];
} ONVIF_ACTION;

/* Action table: the row of a type (null when the type is above 387 or not in
 * the table), and the rows in table order (index 0..ONVIF_ACT_COUNT-1; null
 * outside). The table is grouped by service; lookup is by search. */
ONVIF_CLIENT_API const ONVIF_ACTION *onvif_find_action_by_type(uint32_t type);
ONVIF_CLIENT_API const ONVIF_ACTION *onvif_action_at(int index);

/* Per-type facts. Outside 1..387: name and prefix null, service -1, flags 0.
 * has_output is 0 for the operations whose reply is only checked for its
 * response element; clears_result is 1 when the dispatcher zero-fills the
 * caller's result record (or sets its list head to null) before parsing, 0
 * for operations without output and for those whose parser updates the
 * record in place. GetSystemLog counts as an operation with output; its
 * reply is not read at all. */
ONVIF_CLIENT_API const char *onvif_act_name(int type);   /* "GetCapabilities" */
ONVIF_CLIENT_API int onvif_act_has_output(int type);     /* 1 or 0 */
ONVIF_CLIENT_API int onvif_act_clears_result(int type);  /* 1 or 0 */
ONVIF_CLIENT_API int onvif_act_service(int type);        /* ONVIF_SVC_... */
ONVIF_CLIENT_API const char *onvif_act_prefix(int type); /* "tds" */

/* Per-service facts. Outside 0..ONVIF_SVC_COUNT-1: null / 0. The action base
 * is the namespace before "/<Operation>" (events rows use their own URIs). */
ONVIF_CLIENT_API const char *onvif_svc_prefix(int service); /* "tds" */
ONVIF_CLIENT_API const char *
onvif_svc_action_base(int service); /* "http://www.onvif.org/ver10/device/wsdl" */
ONVIF_CLIENT_API int onvif_svc_first_type(int service); /* first type of the block */
ONVIF_CLIENT_API int onvif_svc_last_type(int service);  /* last type of the block */

#ifdef __cplusplus
}
#endif

#endif
