/*
 * The analytics lists' own helpers, besides the add/free/find helpers every
 * list type has (onvif_lists.def): rules and modules (Config) are edited in
 * place by callers that build a ModifyRules request from a GetRules answer,
 * so a node can be found, stepped back from and taken out of its list.
 */
#ifndef ONVIF_LISTS_ANALYTICS_H
#define ONVIF_LISTS_ANALYTICS_H

#include "onvif/gen/onvif_types.h"
#include "onvif/tan_types.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One rule or module record: frees its SimpleItem and ElementItem lists (with
 * the ElementItems' XML texts) and sets their heads to null; the record and
 * its node stay. Null does nothing. */
ONVIF_CLIENT_API void onvif_free_Config(ONVIF_CONFIG *p_config);

/* One message description: frees its six item-description lists (source, key
 * and data; simple and element); the record stays. Null does nothing. */
ONVIF_CLIENT_API void
onvif_free_ConfigDescription_Message(ONVIF_CONFIG_DESCRIPTION_MESSAGE *p_message);

/* The node just before p_node in the list that starts at p_list; null when
 * p_node is the head, is not in the list, or either is null. */
ONVIF_CLIENT_API ConfigList *onvif_get_prev_Config(ConfigList *p_list, ConfigList *p_node);

/* Unlinks p_node from the list at *p_head (the next node becomes the head
 * when p_node was first), frees its item lists and the node. A node that is
 * not in the list leaves the list and the node untouched. */
ONVIF_CLIENT_API void onvif_remove_Config(ConfigList **p_head, ConfigList *p_node);

#ifdef __cplusplus
}
#endif

#endif
