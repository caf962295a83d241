/*
 * Descriptors of the hand-made records (ops_hand.h): the records fixed by the
 * library's interface and the request/result descriptors of the operations
 * that use them. Included by the operation table.
 */
#ifndef ONVIF_DESC_HAND_H
#define ONVIF_DESC_HAND_H

#include "onvif/soap_desc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Records shared with generated records. */
extern const SOAP_TYPE SD_ONVIF_DATETIME;
extern const SOAP_TYPE SD_ONVIF_NETWORK_INTERFACE;
extern const SOAP_TYPE SD_ONVIF_DOT11_CONFIGURATION;
extern const SOAP_TYPE SD_ONVIF_SCOPE;
extern const SOAP_TYPE SD_ONVIF_SIMPLE_ITEM;
extern const SOAP_TYPE SD_ONVIF_ELEMENT_ITEM;
extern const SOAP_TYPE SD_ONVIF_NOTIFICATION_MESSAGE;

/* Operations. */
extern const SOAP_TYPE SD_tds_GetCapabilities_REQ;
extern const SOAP_TYPE SD_tds_GetCapabilities_RES;
extern const SOAP_TYPE SD_tds_GetServices_REQ;
extern const SOAP_TYPE SD_tds_GetServices_RES;
#define SD_tds_GetDeviceInformation_REQ SD_void
extern const SOAP_TYPE SD_tds_GetDeviceInformation_RES;
#define SD_tds_GetNetworkInterfaces_REQ SD_void
extern const SOAP_TYPE SD_tds_GetNetworkInterfaces_RES;
extern const SOAP_TYPE SD_tds_SetNetworkInterfaces_REQ;
extern const SOAP_TYPE SD_tds_SetNetworkInterfaces_RES;
#define SD_tds_GetHostname_REQ SD_void
extern const SOAP_TYPE SD_tds_GetHostname_RES;
extern const SOAP_TYPE SD_tds_SetHostnameFromDHCP_RES;
#define SD_tds_GetDNS_REQ SD_void
extern const SOAP_TYPE SD_tds_GetDNS_RES;
extern const SOAP_TYPE SD_tds_SetDNS_REQ;
#define SD_tds_SetDNS_RES SD_void
#define SD_tds_GetNetworkDefaultGateway_REQ SD_void
extern const SOAP_TYPE SD_tds_GetNetworkDefaultGateway_RES;
extern const SOAP_TYPE SD_tds_SetNetworkDefaultGateway_REQ;
#define SD_tds_SetNetworkDefaultGateway_RES SD_void
#define SD_tds_GetSystemDateAndTime_REQ SD_void
extern const SOAP_TYPE SD_tds_GetSystemDateAndTime_RES;
extern const SOAP_TYPE SD_tds_SetSystemDateAndTime_REQ;
#define SD_tds_SetSystemDateAndTime_RES SD_void
#define SD_tds_GetScopes_REQ SD_void
extern const SOAP_TYPE SD_tds_GetScopes_RES;
#define SD_tev_GetEventProperties_REQ SD_void
extern const SOAP_TYPE SD_tev_GetEventProperties_RES;
extern const SOAP_TYPE SD_tev_Subscribe_REQ;
extern const SOAP_TYPE SD_tev_Subscribe_RES;
extern const SOAP_TYPE SD_tev_CreatePullPointSubscription_REQ;
extern const SOAP_TYPE SD_tev_CreatePullPointSubscription_RES;
extern const SOAP_TYPE SD_tev_Renew_REQ;
extern const SOAP_TYPE SD_tev_Renew_RES;
#define SD_tev_Unsubscribe_REQ SD_void
#define SD_tev_Unsubscribe_RES SD_void
extern const SOAP_TYPE SD_tev_PullMessages_REQ;
extern const SOAP_TYPE SD_tev_PullMessages_RES;
#define SD_tds_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tds_GetServiceCapabilities_RES;
#define SD_trt_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_trt_GetServiceCapabilities_RES;
#define SD_tr2_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tr2_GetServiceCapabilities_RES;
#define SD_ptz_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_ptz_GetServiceCapabilities_RES;
#define SD_tev_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tev_GetServiceCapabilities_RES;
#define SD_img_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_img_GetServiceCapabilities_RES;
#define SD_tmd_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tmd_GetServiceCapabilities_RES;
#define SD_trc_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_trc_GetServiceCapabilities_RES;
#define SD_trp_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_trp_GetServiceCapabilities_RES;
#define SD_tse_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tse_GetServiceCapabilities_RES;
#define SD_tan_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tan_GetServiceCapabilities_RES;
#define SD_tac_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tac_GetServiceCapabilities_RES;
#define SD_tdc_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tdc_GetServiceCapabilities_RES;
#define SD_tth_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tth_GetServiceCapabilities_RES;
#define SD_tcr_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tcr_GetServiceCapabilities_RES;
#define SD_tar_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tar_GetServiceCapabilities_RES;
#define SD_tsc_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tsc_GetServiceCapabilities_RES;
#define SD_trv_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_trv_GetServiceCapabilities_RES;
#define SD_tpv_GetServiceCapabilities_REQ SD_void
extern const SOAP_TYPE SD_tpv_GetServiceCapabilities_RES;

#ifdef __cplusplus
}
#endif

#endif
