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

/* Number of nodes of any such list (0 for null); the walk stops after
 * max_nodes nodes so a damaged list cannot hang it. */
int onvif_list_count(const void *head, int max_nodes);

/* The whole device record: frees every list it holds that has a release
 * function so far and sets those heads to null; null does nothing. */
void onvif_free_device(ONVIF_DEVICE *p_dev);

#ifdef __cplusplus
}
#endif

#endif
