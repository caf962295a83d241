// Entry points of the events-service operations, with the address rule of
// the subscription manager and the pull point.

#include "onvif/onvif_tev.h"

#include <cstring>

#include "discovery/xaddr.h"
#include "onvif/onvif_act.h"
#include "onvif/onvif_trans.h"

namespace
{

// The events service address.
int tev_call(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res)
{
    if (!p_dev) return 0;
    return onvif_call_xaddr(p_dev, &p_dev->capabilities.events.xaddr, type, p_req, p_res);
}

// The subscription reference when it can be split, else the events service.
int subscription_call(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res)
{
    if (!p_dev) return 0;
    char addr[sizeof(p_dev->subscription_address) + 1];
    size_t n = strnlen(p_dev->subscription_address, sizeof(p_dev->subscription_address));
    memcpy(addr, p_dev->subscription_address, n);
    addr[n] = '\0';
    ONVIF_XADDR xaddr;
    memset(&xaddr, 0, sizeof(xaddr));
    if (addr[0] && parse_XAddr(addr, &xaddr))
        return onvif_call_xaddr(p_dev, &xaddr, type, p_req, p_res);
    return tev_call(p_dev, type, p_req, p_res);
}

} // namespace

extern "C" {

int onvif_tev_GetServiceCapabilities(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_CAP_EVENTS *p_res)
{
    return tev_call(p_dev, ACT_tev_GetServiceCapabilities, p_req, p_res);
}

int onvif_tev_GetEventProperties(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_EVENT_PROPERTIES *p_res)
{
    return tev_call(p_dev, ACT_tev_GetEventProperties, p_req, p_res);
}

int onvif_tev_Subscribe(ONVIF_DEVICE *p_dev, ONVIF_SUBSCRIBE_REQ *p_req, ONVIF_SUBSCRIBE_RES *p_res)
{
    return tev_call(p_dev, ACT_tev_Subscribe, p_req, p_res);
}

int onvif_tev_Renew(ONVIF_DEVICE *p_dev, ONVIF_RENEW_REQ *p_req, void *p_res)
{
    return subscription_call(p_dev, ACT_tev_Renew, p_req, p_res);
}

int onvif_tev_Unsubscribe(ONVIF_DEVICE *p_dev, void *p_req, void *p_res)
{
    return subscription_call(p_dev, ACT_tev_Unsubscribe, p_req, p_res);
}

int onvif_tev_PauseSubscription(ONVIF_DEVICE *p_dev, void *p_req, void *p_res)
{
    return subscription_call(p_dev, ACT_tev_PauseSubscription, p_req, p_res);
}

int onvif_tev_ResumeSubscription(ONVIF_DEVICE *p_dev, void *p_req, void *p_res)
{
    return subscription_call(p_dev, ACT_tev_ResumeSubscription, p_req, p_res);
}

int onvif_tev_CreatePullPointSubscription(ONVIF_DEVICE *p_dev, ONVIF_SUBSCRIBE_REQ *p_req,
                                          ONVIF_SUBSCRIBE_RES *p_res)
{
    return tev_call(p_dev, ACT_tev_CreatePullPointSubscription, p_req, p_res);
}

int onvif_tev_PullMessages(ONVIF_DEVICE *p_dev, ONVIF_PULL_MESSAGES_REQ *p_req,
                           ONVIF_PULL_MESSAGES_RES *p_res)
{
    if (p_dev && p_dev->pull_point && p_dev->subscription_address[0])
        return subscription_call(p_dev, ACT_tev_PullMessages, p_req, p_res);
    return tev_call(p_dev, ACT_tev_PullMessages, p_req, p_res);
}

} // extern "C"
