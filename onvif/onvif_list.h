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
#include "onvif/gen/onvif_types.h"
#include "onvif/tan_types.h"
#include "onvif/media_list.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The helpers of every list type (onvif_lists.def): onvif_add_<Type>,
 * onvif_free_<Types>, and onvif_find_<Type> where a list is searched by key. */
#define LIST(T, P, Node, M, D)                                                                     \
    ONVIF_CLIENT_API Node *onvif_add_##T(Node **p_head);                                           \
    ONVIF_CLIENT_API void onvif_free_##P(Node **p_head);
#define FIND(T, Node, M, K, C) ONVIF_CLIENT_API Node *onvif_find_##T(Node *p_head, const char *key);
#include "onvif/onvif_lists.def"
#undef LIST
#undef FIND

/* One notification message node that is no longer linked: its six item
 * lists, then the node. */
ONVIF_CLIENT_API void onvif_free_NotificationMessage(NotificationMessageList *p_node);

/* The device's kept messages: append a chain at the tail of notify_messages;
 * release up to n messages from the front (oldest first) and return how many
 * were released; count the nodes of a message list (0 for null). */
ONVIF_CLIENT_API void onvif_device_add_NotificationMessages(ONVIF_DEVICE *p_dev,
                                                            NotificationMessageList *p_chain);
ONVIF_CLIENT_API int onvif_device_free_NotificationMessages(ONVIF_DEVICE *p_dev, int n);
ONVIF_CLIENT_API int onvif_get_NotificationMessages_nums(NotificationMessageList *p_list);

/* "name:value\r\n" per item, in list order, into a 1024-byte buffer of the
 * calling thread that the next call overwrites; cut (never overrun, always
 * terminated) when the items do not fit. Returns the buffer. */
ONVIF_CLIENT_API char *onvif_format_SimpleItem(SimpleItemList *p_list);

/* Number of nodes of any such list (0 for null); the walk stops after
 * max_nodes nodes so a damaged list cannot hang it. */
ONVIF_CLIENT_API int onvif_list_count(const void *head, int max_nodes);

#ifdef __cplusplus
}
#endif

/* The analytics lists' own helpers (Config prev/remove, one record's release). */
#include "onvif/lists_analytics.h"

#endif
