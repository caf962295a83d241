/*
 * Request and result records of the operations whose records are made by
 * hand (their layout is fixed by the library's interface, or their reply
 * needs hand-written reading such as the capability merge): the
 * <svc>_<Op>_REQ / _RES names of the operation table for them. The records
 * of every other operation are generated from the ONVIF schemas.
 */
#ifndef ONVIF_OPS_HAND_H
#define ONVIF_OPS_HAND_H

#include "onvif/onvif_caps.h"
#include "onvif/onvif_list.h"
#include "onvif/tds_types.h"
#include "onvif/tev_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- device service ---- */
typedef ONVIF_GET_CAPABILITIES_REQ tds_GetCapabilities_REQ;
typedef ONVIF_CAPABILITIES tds_GetCapabilities_RES;
typedef ONVIF_GET_SERVICES_REQ tds_GetServices_REQ;
typedef ONVIF_CAPABILITIES tds_GetServices_RES;
typedef void tds_GetDeviceInformation_REQ;
typedef ONVIF_DEVICE_INFORMATION tds_GetDeviceInformation_RES;
typedef void tds_GetNetworkInterfaces_REQ;
typedef NetworkInterfaceList *tds_GetNetworkInterfaces_RES;
typedef ONVIF_NETWORK_INTERFACE tds_SetNetworkInterfaces_REQ;
typedef ONVIF_SET_NETWORK_INTERFACES_RES tds_SetNetworkInterfaces_RES;
typedef void tds_GetHostname_REQ;
typedef ONVIF_HOSTNAME tds_GetHostname_RES;
typedef ONVIF_SET_NETWORK_INTERFACES_RES tds_SetHostnameFromDHCP_RES;
typedef void tds_GetDNS_REQ;
typedef ONVIF_DNS tds_GetDNS_RES;
typedef ONVIF_DNS tds_SetDNS_REQ;
typedef void tds_SetDNS_RES;
typedef void tds_GetNetworkDefaultGateway_REQ;
typedef ONVIF_NETWORK_GATEWAY tds_GetNetworkDefaultGateway_RES;
typedef ONVIF_NETWORK_GATEWAY tds_SetNetworkDefaultGateway_REQ;
typedef void tds_SetNetworkDefaultGateway_RES;
typedef void tds_GetSystemDateAndTime_REQ;
typedef ONVIF_SYSTEM_DATETIME tds_GetSystemDateAndTime_RES;
typedef ONVIF_SET_SYSTEM_DATETIME_REQ tds_SetSystemDateAndTime_REQ;
typedef void tds_SetSystemDateAndTime_RES;
typedef void tds_GetScopes_REQ;
typedef ScopeList *tds_GetScopes_RES;

/* ---- events service ---- */
typedef void tev_GetEventProperties_REQ;
typedef ONVIF_EVENT_PROPERTIES tev_GetEventProperties_RES;
typedef ONVIF_SUBSCRIBE_REQ tev_Subscribe_REQ;
typedef ONVIF_SUBSCRIBE_RES tev_Subscribe_RES;
typedef ONVIF_SUBSCRIBE_REQ tev_CreatePullPointSubscription_REQ;
typedef ONVIF_SUBSCRIBE_RES tev_CreatePullPointSubscription_RES;
typedef ONVIF_RENEW_REQ tev_Renew_REQ;
typedef ONVIF_RENEW_RES tev_Renew_RES;
typedef void tev_Unsubscribe_REQ;
typedef void tev_Unsubscribe_RES;
typedef ONVIF_PULL_MESSAGES_REQ tev_PullMessages_REQ;
typedef ONVIF_PULL_MESSAGES_RES tev_PullMessages_RES;

/* ---- GetServiceCapabilities of every service: the capability records ---- */
typedef void tds_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_DEVICE tds_GetServiceCapabilities_RES;
typedef void trt_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_MEDIA trt_GetServiceCapabilities_RES;
typedef void tr2_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_MEDIA2 tr2_GetServiceCapabilities_RES;
typedef void ptz_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_PTZ ptz_GetServiceCapabilities_RES;
typedef void tev_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_EVENTS tev_GetServiceCapabilities_RES;
typedef void img_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_IMAGING img_GetServiceCapabilities_RES;
typedef void tmd_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_DEVICEIO tmd_GetServiceCapabilities_RES;
typedef void trc_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_RECORDING trc_GetServiceCapabilities_RES;
typedef void trp_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_REPLAY trp_GetServiceCapabilities_RES;
typedef void tse_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_SEARCH tse_GetServiceCapabilities_RES;
typedef void tan_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_ANALYTICS tan_GetServiceCapabilities_RES;
typedef void tac_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_ACCESSCONTROL tac_GetServiceCapabilities_RES;
typedef void tdc_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_DOORCONTROL tdc_GetServiceCapabilities_RES;
typedef void tth_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_THERMAL tth_GetServiceCapabilities_RES;
typedef void tcr_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_CREDENTIAL tcr_GetServiceCapabilities_RES;
typedef void tar_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_ACCESSRULES tar_GetServiceCapabilities_RES;
typedef void tsc_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_SCHEDULE tsc_GetServiceCapabilities_RES;
typedef void trv_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_RECEIVER trv_GetServiceCapabilities_RES;
typedef void tpv_GetServiceCapabilities_REQ;
typedef ONVIF_CAP_PROVISIONING tpv_GetServiceCapabilities_RES;

#ifdef __cplusplus
}
#endif

#endif
