// The operation table and the entry functions, both derived from
// onvif_ops.def; the address rule of each service.

#include "onvif/onvif_ops.h"

#include <cstring>

#include "discovery/xaddr.h"
#include "onvif/onvif_trans.h"

namespace
{

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

int onvif_op_call(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res)
{
    return onvif_op_call_timeout(p_dev, type, p_req, p_res, ONVIF_TRANS_TIMEOUT);
}

int onvif_op_call_timeout(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res, int timeout)
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
    if (!xaddr) return 0;
    HTTP_CLIENT_CONN conn;
    onvif_init_xaddr_context(&conn, xaddr);
    return http_onvif_trans(&conn, timeout, type, p_dev, p_req, p_res);
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
