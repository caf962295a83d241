// The operation table, derived from onvif_ops.def.

#include "onvif/onvif_optab.h"

#include "onvif/desc_hand.h"
#include "onvif/gen/onvif_desc.h"
#include "onvif/soap_desc.h"

namespace
{

// XML prefix of each service's request elements, in ONVIF_SVC_ order (the
// entry prefixes ptz and img are declared as tptz and timg).
constexpr const char *kSvcXmlPrefix[ONVIF_SVC_COUNT] = {
    "tds", "trt", "tr2", "tptz", "tev", "timg", "tmd", "trc", "trp", "tse",
    "tan", "tac", "tdc", "tth",  "tcr", "tar",  "tsc", "trv", "tpv"};

constexpr const char *element_prefix(int service, int flags)
{
    return (flags & ONVIF_OPF_WSNT)  ? "wsnt"
           : (flags & ONVIF_OPF_TDS) ? "tds"
                                     : kSvcXmlPrefix[service];
}

#define SVC_tds ONVIF_SVC_DEVICE
#define SVC_trt ONVIF_SVC_MEDIA
#define SVC_tr2 ONVIF_SVC_MEDIA2
#define SVC_ptz ONVIF_SVC_PTZ
#define SVC_tev ONVIF_SVC_EVENTS
#define SVC_img ONVIF_SVC_IMAGING
#define SVC_tmd ONVIF_SVC_DEVICEIO
#define SVC_trc ONVIF_SVC_RECORDING
#define SVC_trp ONVIF_SVC_REPLAY
#define SVC_tse ONVIF_SVC_SEARCH
#define SVC_tan ONVIF_SVC_ANALYTICS
#define SVC_tac ONVIF_SVC_ACCESSCONTROL
#define SVC_tdc ONVIF_SVC_DOORCONTROL
#define SVC_tth ONVIF_SVC_THERMAL
#define SVC_tcr ONVIF_SVC_CREDENTIAL
#define SVC_tar ONVIF_SVC_ACCESSRULES
#define SVC_tsc ONVIF_SVC_SCHEDULE
#define SVC_trv ONVIF_SVC_RECEIVER
#define SVC_tpv ONVIF_SVC_PROVISIONING

// The table's column values.
#define NO ONVIF_IN_NO
#define OPT ONVIF_IN_OPT
#define REQ ONVIF_IN_REQ
#define N ONVIF_OUT_N
#define C ONVIF_OUT_C
#define M ONVIF_OUT_M
#define F_EVT ONVIF_OPF_EVT
#define F_SUB ONVIF_OPF_SUB
#define F_PULL ONVIF_OPF_PULL
#define F_WSNT ONVIF_OPF_WSNT
#define F_TDS ONVIF_OPF_TDS

const ONVIF_OP kOps[ONVIF_ACT_COUNT] = {
#define OP(svc, op, in, out, flags)                                                                \
    {ACT_##svc##_##op,                                                                             \
     SVC_##svc,                                                                                    \
     in,                                                                                           \
     out,                                                                                          \
     flags,                                                                                        \
     #op,                                                                                          \
     element_prefix(SVC_##svc, flags),                                                             \
     &SD_##svc##_##op##_REQ,                                                                       \
     &SD_##svc##_##op##_RES},
#define OPA(svc, op, in, out, flags, action) OP(svc, op, in, out, flags)
#include "onvif/onvif_ops.def"
#undef OP
#undef OPA
};

#undef NO
#undef OPT
#undef REQ
#undef N
#undef C
#undef M

} // namespace

extern "C" {

const ONVIF_OP *onvif_op(int type)
{
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) return nullptr;
    return &kOps[type - 1];
}

void onvif_free_result(int type, void *p_res)
{
    const ONVIF_OP *op = onvif_op(type);
    if (op && p_res) soap_desc_free(op->res, p_res);
}

void onvif_free_request(int type, void *p_req)
{
    const ONVIF_OP *op = onvif_op(type);
    if (op && p_req) soap_desc_free(op->req, p_req);
}

} // extern "C"
