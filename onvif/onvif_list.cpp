#include "onvif/onvif_list.h"

#include <cstdlib>

#include "platform/sys_log.h"

namespace
{

/* Appends a zero-filled node of type T (a struct whose first member is
 * `T *next`) at the tail of *head. */
template <class T> T *list_add(T **head, const char *func)
{
    if (!head) return nullptr;
    T *node = static_cast<T *>(calloc(1, sizeof(T)));
    if (!node) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", func);
        return nullptr;
    }
    if (!*head) {
        *head = node;
        return node;
    }
    T *tail = *head;
    while (tail->next)
        tail = tail->next;
    tail->next = node;
    return node;
}

/* Frees every node of a list whose records own nothing. */
template <class T> void list_free(T **head)
{
    if (!head) return;
    T *node = *head;
    while (node) {
        T *next = node->next;
        free(node);
        node = next;
    }
    *head = nullptr;
}

/* Any node type: the first member is the next pointer. */
struct AnyNode {
    AnyNode *next;
};

} // namespace

NetworkInterfaceList *onvif_add_NetworkInterface(NetworkInterfaceList **p_head)
{
    return list_add(p_head, "onvif_add_NetworkInterface");
}

void onvif_free_NetworkInterfaces(NetworkInterfaceList **p_head)
{
    list_free(p_head);
}

ScopeList *onvif_add_Scope(ScopeList **p_head)
{
    return list_add(p_head, "onvif_add_Scope");
}

void onvif_free_Scopes(ScopeList **p_head)
{
    list_free(p_head);
}

int onvif_list_count(const void *head, int max_nodes)
{
    int n = 0;
    for (const AnyNode *node = static_cast<const AnyNode *>(head); node && n < max_nodes;
         node = node->next)
        n++;
    return n;
}

void onvif_free_device(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return;
    /* The media, PTZ and notification lists (video_sources, audio_sources,
     * profiles, media2_profiles, the four configuration lists, ptz_nodes,
     * ptz_configs, notify_messages) get their node types and release
     * functions together with the operations that fill them; until then
     * nothing fills them and their heads stay null. Each new list type adds
     * its release call here. Once the event module exists, an active
     * subscription (subscribed) is ended before the lists are released. */
    p_dev->cur_profile = nullptr;
}
