/*
 * SOAP response parsing: the dispatcher that finds an operation's response
 * element in the reply Body and hands it to the operation's parser, the
 * fault reader, and the parsers of the device-service replies.
 *
 * Element lookups ignore namespace prefixes and case. Texts are copied into
 * their fields with entities decoded and cut to the field; a missing
 * optional element leaves its field as it was.
 */
#ifndef ONVIF_SOAP_PARSE_H
#define ONVIF_SOAP_PARSE_H

#include <stdint.h>

#include "onvif/onvif_device.h"
#include "onvif/onvif_list.h"
#include "onvif/soap_util.h" /* parse_Bool and the field readers */
#include "onvif/tds_types.h"
#include "onvif/tev_types.h"
#include "platform/onvif_api.h"
#include "xml/xml_node.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Dispatcher: p_body is the s:Body element. The response element
 * <Op>Response is read into p_res through the operation's result
 * descriptor; the record is cleared first unless the operation merges (the
 * capability block). 1 on success, 0 when the type is outside 1..387, the
 * response element is missing or its reading failed (a failed read leaves
 * a cleared record). p_res may be null (then only the response element is
 * looked for). The _ctx form passes the MTOM attachments of the reply.
 * onvif_has_parser: 1 when the type's reply is read (or needs no reading). */
struct SOAP_READ_CTX;
ONVIF_CLIENT_API int onvif_parse_response(XML_NODE *p_body, int type, ONVIF_DEVICE *p_dev,
                                          void *p_res);
ONVIF_CLIENT_API int onvif_parse_response_ctx(XML_NODE *p_body, int type, ONVIF_DEVICE *p_dev,
                                              void *p_res, struct SOAP_READ_CTX *ctx);
ONVIF_CLIENT_API int onvif_has_parser(int type);

/* Fault of a refused request: 0 when the Body has no Fault, else 1 with
 * code, the first and the innermost subcode and reason filled where present
 * (p_fault cleared by the caller). */
ONVIF_CLIENT_API int onvif_parse_fault(XML_NODE *p_body, ONVIF_FAULT *p_fault);

/* Time{Hour,Minute,Second} and Date{Year,Month,Day} children of p_node: 1
 * when both are present and the values are a plausible date and time, else
 * 0. Missing numbers keep their previous values. */
ONVIF_CLIENT_API int onvif_parse_datetime(XML_NODE *p_node, ONVIF_DATETIME *p_dt);

/* Device-service replies; p_node is the response element. */
ONVIF_CLIENT_API int parse_GetDeviceInformation_rly(XML_NODE *p_node,
                                                    ONVIF_DEVICE_INFORMATION *p_res);
ONVIF_CLIENT_API int parse_GetSystemDateAndTime_rly(XML_NODE *p_node, ONVIF_SYSTEM_DATETIME *p_res);
ONVIF_CLIENT_API int parse_GetNetworkInterfaces_rly(XML_NODE *p_node, NetworkInterfaceList **p_res);
ONVIF_CLIENT_API int parse_SetNetworkInterfaces_rly(XML_NODE *p_node,
                                                    ONVIF_SET_NETWORK_INTERFACES_RES *p_res);
ONVIF_CLIENT_API int parse_GetDNS_rly(XML_NODE *p_node, ONVIF_DNS *p_res);
ONVIF_CLIENT_API int parse_GetNetworkDefaultGateway_rly(XML_NODE *p_node,
                                                        ONVIF_NETWORK_GATEWAY *p_res);
ONVIF_CLIENT_API int parse_GetScopes_rly(XML_NODE *p_node, ScopeList **p_res);
ONVIF_CLIENT_API int parse_GetHostname_rly(XML_NODE *p_node, ONVIF_HOSTNAME *p_res);

/* Events service. parse_Message reads a wsnt:Message element (its
 * tt:Message: UtcTime, PropertyOperation, and Source, Key and Data as
 * SimpleItem and ElementItem lists; at most 64 items of each kind per list);
 * 0 when it holds no tt:Message. parse_NotificationMessage reads one
 * wsnt:NotificationMessage; parse_NotificationMessages appends one node per
 * NotificationMessage child of p_parent (at most max) and returns how many.
 * parse_Subscribe_rly also reads CreatePullPointSubscriptionResponse; it
 * fails without a SubscriptionReference address or when the reference
 * parameters do not fit their field. */
#define ONVIF_MAX_NOTIFY_MESSAGES 256
ONVIF_CLIENT_API int parse_Message(XML_NODE *p_node, ONVIF_MESSAGE *p_res);
ONVIF_CLIENT_API int parse_NotificationMessage(XML_NODE *p_node, ONVIF_NOTIFICATION_MESSAGE *p_res);
ONVIF_CLIENT_API int parse_NotificationMessages(XML_NODE *p_parent,
                                                NotificationMessageList **p_list, int max);
ONVIF_CLIENT_API int parse_Subscribe_rly(XML_NODE *p_node, ONVIF_SUBSCRIBE_RES *p_res);
ONVIF_CLIENT_API int parse_PullMessages_rly(XML_NODE *p_node, ONVIF_PULL_MESSAGES_RES *p_res);
ONVIF_CLIENT_API int parse_GetEventProperties_rly(XML_NODE *p_node, ONVIF_EVENT_PROPERTIES *p_res);
ONVIF_CLIENT_API int parse_tev_GetServiceCapabilities_rly(XML_NODE *p_node,
                                                          ONVIF_CAP_EVENTS *p_res);

#ifdef __cplusplus
}
#endif

#endif
