#include "onvif/lists_analytics.h"

#include <cstdlib>

#include "onvif/gen/onvif_desc.h"
#include "onvif/soap_desc.h"

namespace
{

// Lists are walked at most this far: a damaged (cyclic) list cannot hang a
// helper. Lists read from replies are capped far below it.
const int kMaxWalk = 16 * SOAP_LIST_MAX;

} // namespace

void onvif_free_Config(ONVIF_CONFIG *p_config)
{
    if (p_config) soap_desc_free(&SD_ONVIF_CONFIG, p_config);
}

void onvif_free_ConfigDescription_Message(ONVIF_CONFIG_DESCRIPTION_MESSAGE *p_message)
{
    if (p_message) soap_desc_free(&SD_ONVIF_CONFIG_DESCRIPTION_MESSAGE, p_message);
}

ConfigList *onvif_get_prev_Config(ConfigList *p_list, ConfigList *p_node)
{
    if (!p_node) return nullptr;
    ConfigList *prev = p_list;
    for (int n = 0; prev && n < kMaxWalk; prev = prev->next, n++)
        if (prev->next == p_node) return prev;
    return nullptr;
}

void onvif_remove_Config(ConfigList **p_head, ConfigList *p_node)
{
    if (!p_head || !*p_head || !p_node) return;
    if (*p_head == p_node) {
        *p_head = p_node->next;
    } else {
        ConfigList *prev = onvif_get_prev_Config(*p_head, p_node);
        if (!prev) return;
        prev->next = p_node->next;
    }
    onvif_free_Config(&p_node->Config);
    free(p_node);
}
