/*
 * Result lists: singly linked lists of heap nodes, each a `next` pointer
 * followed by one record. A null head is an empty list; nodes are created
 * zero-filled and appended at the tail; the holder of the head owns the nodes
 * and releases them with the matching free function.
 *
 * Conventions for every list type <Type>: node type <Type>List with members
 * `next` and `<Type>`; onvif_add_<Type>(&head) appends a node and returns it
 * (null when out of memory, the list unchanged); onvif_free_<Type>s(&head)
 * frees every node and sets the head to null (an empty list is fine).
 */
#ifndef ONVIF_ONVIF_LIST_H
#define ONVIF_ONVIF_LIST_H

#include <stdint.h>

#include "discovery/xaddr.h"
#include "onvif/onvif_device.h"
#include "onvif/tds_types.h"
#include "onvif/tev_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Node of the GetScopes result. */
typedef struct ScopeList {
    struct ScopeList *next;
    ONVIF_SCOPE Scope;
} ScopeList;

/* Network interfaces (GetNetworkInterfaces). */
NetworkInterfaceList *onvif_add_NetworkInterface(NetworkInterfaceList **p_head);
void onvif_free_NetworkInterfaces(NetworkInterfaceList **p_head);

/* Scopes (GetScopes). */
ScopeList *onvif_add_Scope(ScopeList **p_head);
void onvif_free_Scopes(ScopeList **p_head);

/* Items of a notification message. onvif_free_ElementItems also frees each
 * item's XML text. */
SimpleItemList *onvif_add_SimpleItem(SimpleItemList **p_head);
void onvif_free_SimpleItems(SimpleItemList **p_head);
ElementItemList *onvif_add_ElementItem(ElementItemList **p_head);
void onvif_free_ElementItems(ElementItemList **p_head);

/* Notification messages (Notify, PullMessages). onvif_free_NotificationMessage
 * frees one node that is no longer linked: its six item lists, then the node;
 * onvif_free_NotificationMessages does that for a whole list. */
NotificationMessageList *onvif_add_NotificationMessage(NotificationMessageList **p_head);
void onvif_free_NotificationMessage(NotificationMessageList *p_node);
void onvif_free_NotificationMessages(NotificationMessageList **p_head);

/* The device's kept messages: append a chain at the tail of notify_messages;
 * release up to n messages from the front (oldest first) and return how many
 * were released; count the nodes of a message list (0 for null). */
void onvif_device_add_NotificationMessages(ONVIF_DEVICE *p_dev, NotificationMessageList *p_chain);
int onvif_device_free_NotificationMessages(ONVIF_DEVICE *p_dev, int n);
int onvif_get_NotificationMessages_nums(NotificationMessageList *p_list);

/* "name:value\r\n" per item, in list order, into a 1024-byte buffer of the
 * calling thread that the next call overwrites; cut (never overrun, always
 * terminated) when the items do not fit. Returns the buffer. */
char *onvif_format_SimpleItem(SimpleItemList *p_list);

/* Number of nodes of any such list (0 for null); the walk stops after
 * max_nodes nodes so a damaged list cannot hang it. */
int onvif_list_count(const void *head, int max_nodes);

#ifdef __cplusplus
}
#endif

#endif
