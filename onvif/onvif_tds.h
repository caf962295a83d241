/*
 * Entry points of the device-service (tds) operations. Each one sends its
 * request to the device-service address found by discovery (binfo.xaddr)
 * through the request engine with a 10 s time-out: 1 on success, 0 on
 * failure with the reason in the device record (last_error, auth_failed,
 * fault). Request records may be null where the input is optional; result
 * records may be null when only the outcome matters.
 */
#ifndef ONVIF_ONVIF_TDS_H
#define ONVIF_ONVIF_TDS_H

#include "onvif/onvif_caps.h"
#include "onvif/onvif_device.h"
#include "onvif/onvif_list.h"
#include "onvif/tds_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Capabilities and services (the result block is updated in place). */
int onvif_tds_GetCapabilities(ONVIF_DEVICE *p_dev, ONVIF_GET_CAPABILITIES_REQ *p_req,
                              ONVIF_CAPABILITIES *p_res);
int onvif_tds_GetServices(ONVIF_DEVICE *p_dev, ONVIF_GET_SERVICES_REQ *p_req,
                          ONVIF_CAPABILITIES *p_res);

/* Identity, host name and scopes. p_res of GetScopes: a list head, empty on entry. */
int onvif_tds_GetDeviceInformation(ONVIF_DEVICE *p_dev, void *p_req,
                                   ONVIF_DEVICE_INFORMATION *p_res);
int onvif_tds_GetHostname(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_HOSTNAME *p_res);
int onvif_tds_GetScopes(ONVIF_DEVICE *p_dev, void *p_req, ScopeList **p_res);

/* Network settings. p_res of GetNetworkInterfaces: a list head, empty on entry. */
int onvif_tds_GetNetworkInterfaces(ONVIF_DEVICE *p_dev, void *p_req, NetworkInterfaceList **p_res);
int onvif_tds_SetNetworkInterfaces(ONVIF_DEVICE *p_dev, ONVIF_NETWORK_INTERFACE *p_req,
                                   ONVIF_SET_NETWORK_INTERFACES_RES *p_res);
int onvif_tds_GetDNS(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_DNS *p_res);
int onvif_tds_SetDNS(ONVIF_DEVICE *p_dev, ONVIF_DNS *p_req, void *p_res);
int onvif_tds_GetNetworkDefaultGateway(ONVIF_DEVICE *p_dev, void *p_req,
                                       ONVIF_NETWORK_GATEWAY *p_res);
int onvif_tds_SetNetworkDefaultGateway(ONVIF_DEVICE *p_dev, ONVIF_NETWORK_GATEWAY *p_req,
                                       void *p_res);

/* Clock. */
int onvif_tds_GetSystemDateAndTime(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_SYSTEM_DATETIME *p_res);
int onvif_tds_SetSystemDateAndTime(ONVIF_DEVICE *p_dev, ONVIF_SET_SYSTEM_DATETIME_REQ *p_req,
                                   void *p_res);

#ifdef __cplusplus
}
#endif

#endif
