// Entry points of the device-service operations: each sends its request to
// the device-service address that discovery reported.

#include "onvif/onvif_tds.h"

#include "onvif/onvif_act.h"
#include "onvif/onvif_trans.h"

namespace
{

int tds_call(ONVIF_DEVICE *p_dev, int type, void *p_req, void *p_res)
{
    if (!p_dev) return 0;
    return onvif_call_xaddr(p_dev, &p_dev->binfo.xaddr, type, p_req, p_res);
}

} // namespace

extern "C" {

int onvif_tds_GetCapabilities(ONVIF_DEVICE *p_dev, ONVIF_GET_CAPABILITIES_REQ *p_req,
                              ONVIF_CAPABILITIES *p_res)
{
    return tds_call(p_dev, ACT_tds_GetCapabilities, p_req, p_res);
}

int onvif_tds_GetServices(ONVIF_DEVICE *p_dev, ONVIF_GET_SERVICES_REQ *p_req,
                          ONVIF_CAPABILITIES *p_res)
{
    return tds_call(p_dev, ACT_tds_GetServices, p_req, p_res);
}

int onvif_tds_GetDeviceInformation(ONVIF_DEVICE *p_dev, void *p_req,
                                   ONVIF_DEVICE_INFORMATION *p_res)
{
    return tds_call(p_dev, ACT_tds_GetDeviceInformation, p_req, p_res);
}

int onvif_tds_GetHostname(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_HOSTNAME *p_res)
{
    return tds_call(p_dev, ACT_tds_GetHostname, p_req, p_res);
}

int onvif_tds_GetScopes(ONVIF_DEVICE *p_dev, void *p_req, ScopeList **p_res)
{
    return tds_call(p_dev, ACT_tds_GetScopes, p_req, p_res);
}

int onvif_tds_GetNetworkInterfaces(ONVIF_DEVICE *p_dev, void *p_req, NetworkInterfaceList **p_res)
{
    return tds_call(p_dev, ACT_tds_GetNetworkInterfaces, p_req, p_res);
}

int onvif_tds_SetNetworkInterfaces(ONVIF_DEVICE *p_dev, ONVIF_NETWORK_INTERFACE *p_req,
                                   ONVIF_SET_NETWORK_INTERFACES_RES *p_res)
{
    return tds_call(p_dev, ACT_tds_SetNetworkInterfaces, p_req, p_res);
}

int onvif_tds_GetDNS(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_DNS *p_res)
{
    return tds_call(p_dev, ACT_tds_GetDNS, p_req, p_res);
}

int onvif_tds_SetDNS(ONVIF_DEVICE *p_dev, ONVIF_DNS *p_req, void *p_res)
{
    return tds_call(p_dev, ACT_tds_SetDNS, p_req, p_res);
}

int onvif_tds_GetNetworkDefaultGateway(ONVIF_DEVICE *p_dev, void *p_req,
                                       ONVIF_NETWORK_GATEWAY *p_res)
{
    return tds_call(p_dev, ACT_tds_GetNetworkDefaultGateway, p_req, p_res);
}

int onvif_tds_SetNetworkDefaultGateway(ONVIF_DEVICE *p_dev, ONVIF_NETWORK_GATEWAY *p_req,
                                       void *p_res)
{
    return tds_call(p_dev, ACT_tds_SetNetworkDefaultGateway, p_req, p_res);
}

int onvif_tds_GetSystemDateAndTime(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_SYSTEM_DATETIME *p_res)
{
    return tds_call(p_dev, ACT_tds_GetSystemDateAndTime, p_req, p_res);
}

int onvif_tds_SetSystemDateAndTime(ONVIF_DEVICE *p_dev, ONVIF_SET_SYSTEM_DATETIME_REQ *p_req,
                                   void *p_res)
{
    return tds_call(p_dev, ACT_tds_SetSystemDateAndTime, p_req, p_res);
}

} // extern "C"
