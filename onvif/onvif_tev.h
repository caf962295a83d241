/*
 * Entry points of the events-service (tev) operations. Each one sends its
 * request through the request engine with a 10 s time-out: 1 on success, 0
 * on failure with the reason in the device record (last_error, auth_failed,
 * fault). Request records may be null where the input is optional; result
 * records may be null when only the outcome matters.
 *
 * Addresses: the subscription-manager operations (Renew, Unsubscribe,
 * PauseSubscription, ResumeSubscription) go to the device's
 * subscription_address, with its reference_parameters in the header, and to
 * the events service address when that address cannot be split. PullMessages
 * goes to the pull point (subscription_address) once
 * CreatePullPointSubscription has set pull_point, else to the events
 * service. Everything else goes to the events service address of
 * capabilities.
 */
#ifndef ONVIF_ONVIF_TEV_H
#define ONVIF_ONVIF_TEV_H

#include "onvif/onvif_caps.h"
#include "onvif/onvif_device.h"
#include "onvif/tev_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Service description: capabilities (ONVIF_CAP_EVENTS, cleared first) and
 * the event properties. */
int onvif_tev_GetServiceCapabilities(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_CAP_EVENTS *p_res);
int onvif_tev_GetEventProperties(ONVIF_DEVICE *p_dev, void *p_req, ONVIF_EVENT_PROPERTIES *p_res);

/* Push subscriptions (WS-BaseNotification). */
int onvif_tev_Subscribe(ONVIF_DEVICE *p_dev, ONVIF_SUBSCRIBE_REQ *p_req,
                        ONVIF_SUBSCRIBE_RES *p_res);
int onvif_tev_Renew(ONVIF_DEVICE *p_dev, ONVIF_RENEW_REQ *p_req, void *p_res);
int onvif_tev_Unsubscribe(ONVIF_DEVICE *p_dev, void *p_req, void *p_res);
int onvif_tev_PauseSubscription(ONVIF_DEVICE *p_dev, void *p_req, void *p_res);
int onvif_tev_ResumeSubscription(ONVIF_DEVICE *p_dev, void *p_req, void *p_res);

/* Pull points. p_res of PullMessages: its message list is the caller's to
 * free (onvif_free_NotificationMessages). */
int onvif_tev_CreatePullPointSubscription(ONVIF_DEVICE *p_dev, ONVIF_SUBSCRIBE_REQ *p_req,
                                          ONVIF_SUBSCRIBE_RES *p_res);
int onvif_tev_PullMessages(ONVIF_DEVICE *p_dev, ONVIF_PULL_MESSAGES_REQ *p_req,
                           ONVIF_PULL_MESSAGES_RES *p_res);

#ifdef __cplusplus
}
#endif

#endif
