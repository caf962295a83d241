// The operation table and the entry functions, both derived from
// onvif_ops.def; the address rule of each service.

#include "onvif/onvif_ops.h"

#include <cstring>

#include "discovery/xaddr.h"
#include "onvif/desc_hand.h"
#include "onvif/gen/onvif_desc.h"
#include "onvif/onvif_trans.h"
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

// Service address of a device record, by service.
const ONVIF_XADDR *service_xaddr(ONVIF_DEVICE *p_dev, int service)
{
    ONVIF_CAPABILITIES *c = &p_dev->capabilities;
    switch (service) {
    case ONVIF_SVC_DEVICE:
        return &p_dev->binfo.xaddr;
    case ONVIF_SVC_MEDIA:
        return &c->media.xaddr;
    case ONVIF_SVC_MEDIA2:
        return &c->media2.xaddr;
    case ONVIF_SVC_PTZ:
        return &c->ptz.xaddr;
    case ONVIF_SVC_EVENTS:
        return &c->events.xaddr;
    case ONVIF_SVC_IMAGING:
        return &c->imaging.xaddr;
    case ONVIF_SVC_DEVICEIO:
        return &c->deviceio.xaddr;
    case ONVIF_SVC_RECORDING:
        return &c->recording.xaddr;
    case ONVIF_SVC_REPLAY:
        return &c->replay.xaddr;
    case ONVIF_SVC_SEARCH:
        return &c->search.xaddr;
    case ONVIF_SVC_ANALYTICS:
        return &c->analytics.xaddr;
    case ONVIF_SVC_ACCESSCONTROL:
        return &c->accesscontrol.xaddr;
    case ONVIF_SVC_DOORCONTROL:
        return &c->doorcontrol.xaddr;
    case ONVIF_SVC_THERMAL:
        return &c->thermal.xaddr;
    case ONVIF_SVC_CREDENTIAL:
        return &c->credential.xaddr;
    case ONVIF_SVC_ACCESSRULES:
        return &c->accessrules.xaddr;
    case ONVIF_SVC_SCHEDULE:
        return &c->schedule.xaddr;
    case ONVIF_SVC_RECEIVER:
        return &c->receiver.xaddr;
    case ONVIF_SVC_PROVISIONING:
        return &c->provisioning.xaddr;
    default:
        return nullptr;
    }
}

// The subscription reference when it can be split (into *tmp), else null.
const ONVIF_XADDR *subscription_xaddr(ONVIF_DEVICE *p_dev, ONVIF_XADDR *tmp)
{
    char addr[sizeof(p_dev->subscription_address) + 1];
    size_t n = strnlen(p_dev->subscription_address, sizeof(p_dev->subscription_address));
    memcpy(addr, p_dev->subscription_address, n);
    addr[n] = '\0';
    memset(tmp, 0, sizeof(*tmp));
    if (addr[0] && parse_XAddr(addr, tmp)) return tmp;
    return nullptr;
}

} // namespace

extern "C" {

const ONVIF_OP *onvif_op(int type)
{
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) return nullptr;
    return &kOps[type - 1];
}

int onvif_op_call(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res)
{
    const ONVIF_OP *op = onvif_op(type);
    if (!p_dev || !op) return 0;
    ONVIF_XADDR tmp;
    const ONVIF_XADDR *xaddr = nullptr;
    bool to_subscription =
        (op->flags & ONVIF_OPF_SUB) ||
        ((op->flags & ONVIF_OPF_PULL) && p_dev->pull_point && p_dev->subscription_address[0]);
    if (to_subscription) xaddr = subscription_xaddr(p_dev, &tmp);
    if (!xaddr) xaddr = service_xaddr(p_dev, op->service);
    return onvif_call_xaddr(p_dev, xaddr, type, p_req, p_res);
}

void onvif_free_result(int type, void *p_res)
{
    const ONVIF_OP *op = onvif_op(type);
    if (op && p_res) soap_desc_free(op->res, p_res);
}

#define OP(svc, op, in, out, flags)                                                                \
    int onvif_##svc##_##op(ONVIF_DEVICE *p_dev, svc##_##op##_REQ *p_req, svc##_##op##_RES *p_res)  \
    {                                                                                              \
        return onvif_op_call(p_dev, ACT_##svc##_##op, (void *)p_req, (void *)p_res);               \
    }
#define OPA(svc, op, in, out, flags, action) OP(svc, op, in, out, flags)
#include "onvif/onvif_ops.def"
#undef OP
#undef OPA

} // extern "C"
