/*
 * The event module: receives the notifications that cameras push to the
 * client (WS-BaseNotification) and keeps the subscriptions alive.
 *
 * onvif_event_init starts one HTTP listener, to which cameras post their
 * Notify messages, and a renewal timer: a thread of its own that sweeps the
 * renewal table once a second and renews every subscription (push or pull
 * point) when half of its renew_interval has passed. Each renewal runs on a
 * thread of its own with a copy of what it needs (address, credentials,
 * reference), and no lock is held while it waits for the camera: a camera
 * that does not answer delays neither the renewal of the others nor
 * Subscribe, Unsubscribe or onvif_free_device. Each Notify is parsed into a
 * chain of NotificationMessage nodes and handed to the notify callback; each
 * notification is answered "200 OK" and its connection closed. A
 * notification body may be up to 1 MiB (onvif_event_set_max_notify). A
 * failed renewal is logged and retried at the next tick, unless a
 * subscription-lost callback is installed: then the subscription ends and the
 * callback is called once, without any lock of the library held.
 *
 * The device-level calls Subscribe and Unsubscribe enter a device into the
 * renewal table and take it out again (CreatePullPointSubscription enters
 * it too). While a device is subscribed the timer renews it and writes its
 * subscribe_time (and, when it is lost, subscribed and pull_point), so its
 * owner ends the subscription (Unsubscribe, or onvif_free_device) before
 * freeing the record. Neither waits for a renewal under way (its outcome is
 * dropped); both wait while another thread runs the subscription-lost
 * callback for that device.
 *
 * The callbacks must not call onvif_event_deinit, onvif_event_timer_deinit or
 * onvif_event_renew_tick.
 */
#ifndef ONVIF_ONVIF_EVENT_H
#define ONVIF_ONVIF_EVENT_H

#include <stdint.h>

#include "http/http_msg.h"
#include "http/http_srv.h"
#include "onvif/onvif_device.h"
#include "onvif/tev_types.h"
#include "platform/onvif_api.h"
#include "xml/xml_node.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One received notification, built on the listener thread. */
typedef struct {
    char request_line[200];            /* request URI, a blank and the HTTP version (cut to 199) */
    NotificationMessageList *messages; /* in document order; null when none */
} EVENT_NOTIFY;

/* Notify callback: owns p_notify->messages (keeps them with
 * onvif_device_add_NotificationMessages or frees them with
 * onvif_free_NotificationMessages). Called on the listener thread. */
typedef void (*onvif_event_notify_cb)(EVENT_NOTIFY *p_notify, void *user);

/* Subscription-lost callback: the device's renewal failed; subscribed and
 * pull_point are 0 and the device has left the renewal table. Called on a
 * renewal thread with no lock of the library held: it may call Subscribe,
 * Unsubscribe, onvif_free_device or the setters. */
typedef void (*onvif_subscribe_disconnect_cb)(ONVIF_DEVICE *p_dev, void *user);

/* ---- module ---------------------------------------------------------------- */

/* Start: listener on addr (null or "" for any address) and port (0 lets the
 * system choose) with max_conns connection records, renewal table of twice
 * that many entries, timer. 1, or 0 when the listener can't start (or the
 * module already runs). */
ONVIF_CLIENT_API int onvif_event_init(const char *addr, int port, int max_conns);
ONVIF_CLIENT_API void onvif_event_deinit(void);

/* Only the timer (one sweep per 1000 ms); init returns 1 or 0. */
ONVIF_CLIENT_API int onvif_event_timer_init(void);
ONVIF_CLIENT_API void onvif_event_timer_deinit(void);

/* The listener's port (0 when the module does not run). */
ONVIF_CLIENT_API int onvif_event_listen_port(void);

/* Callbacks, installed under their mutex (null removes). */
ONVIF_CLIENT_API void onvif_set_event_notify_cb(onvif_event_notify_cb cb, void *user);
ONVIF_CLIENT_API void onvif_set_subscribe_disconnect_cb(onvif_subscribe_disconnect_cb cb,
                                                        void *user);

/* ---- renewal table ----------------------------------------------------------- */

/* add: 1 when the device is in the table (entered now or already there), 0
 * when the module does not run or the table is full. del: takes the device
 * out (a renewal of it under way is not waited for: its outcome is dropped;
 * a subscription-lost callback for it on another thread is); 1, or 0 when
 * the module does not run. */
ONVIF_CLIENT_API int onvif_event_timer_add(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int onvif_event_timer_del(ONVIF_DEVICE *p_dev);

/* One sweep over the table, as the timer runs it every second, but returning
 * only when no renewal is under way any more, those the timer started
 * included (for a caller that drives the renewals itself). */
ONVIF_CLIENT_API void onvif_event_renew_tick(void);

/* Largest notification body the listener accepts, in bytes, for connections
 * from now on (0: the default of 1 MiB; at most HTTP_MAX_CONTENT_LEN). */
ONVIF_CLIENT_API void onvif_event_set_max_notify(uint32_t bytes);

/* ---- notifications ----------------------------------------------------------- */

/* The listener's message callback: reads one notification, answers it and
 * releases the connection. Always 1. */
ONVIF_CLIENT_API int onvif_event_http_process(HTTP_LISTENER *p_srv, HTTP_LISTENER_CONN *p_conn,
                                              HTTP_MSG *msg, void *user);

/* Builds an EVENT_NOTIFY from a request and its Notify element and calls the
 * notify callback (the messages are freed when none is installed). */
ONVIF_CLIENT_API void onvif_event_notify(HTTP_LISTENER_CONN *p_conn, HTTP_MSG *msg,
                                         XML_NODE *p_notify);

/* ---- device-level calls ------------------------------------------------------- */

/* Subscribe: consumer address "http://<ip>:<port>/subscription<index>/<time>"
 * from the listener, Subscribe with renew_interval (60 when below 1) as the
 * termination time; on success stores subscription_address,
 * reference_parameters, subscribe_time, subscribed = 1 and enters the
 * renewal table. When the table refuses the device, the new subscription is
 * cancelled again (Unsubscribe) and the result is 0. 0 without any request
 * when the module does not run. */
ONVIF_CLIENT_API int Subscribe(ONVIF_DEVICE *p_dev, int index);

/* Unsubscribe: out of the renewal table, Unsubscribe sent (its outcome is
 * not looked at), subscribed = 0. Always 1 (0 for null). */
ONVIF_CLIENT_API int Unsubscribe(ONVIF_DEVICE *p_dev);

/* CreatePullPointSubscription: with renew_interval (60 when below 1) as the
 * termination time; stores subscription_address and reference_parameters,
 * subscribe_time, pull_point = 1, and enters the renewal table when the
 * module runs (a full table cancels the pull point again: 0, last_error -2).
 * Unsubscribe ends it. */
ONVIF_CLIENT_API int CreatePullPointSubscription(ONVIF_DEVICE *p_dev);

/* PullMessages (timeout in seconds): p_res is cleared first; its messages
 * are the caller's. The device may hold its answer for the whole time-out,
 * so the transaction waits timeout plus ONVIF_TRANS_TIMEOUT. */
ONVIF_CLIENT_API int PullMessages(ONVIF_DEVICE *p_dev, int timeout, int message_limit,
                                  ONVIF_PULL_MESSAGES_RES *p_res);

#ifdef __cplusplus
}
#endif

#endif
