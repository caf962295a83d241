#include "onvif/onvif_list.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "onvif/desc_hand.h"
#include "onvif/gen/onvif_desc.h"
#include "onvif/soap_desc.h"
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

/* Frees every node of a list and what its record owns (described by desc). */
template <class T> void list_free(T **head, size_t record_offset, const SOAP_TYPE *desc)
{
    if (!head) return;
    T *node = *head;
    for (int n = 0; node && n < 16 * SOAP_LIST_MAX; n++) {
        T *next = node->next;
        soap_desc_free(desc, reinterpret_cast<char *>(node) + record_offset);
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

#define LIST(T, P, Node, M, D)                                                                     \
    Node *onvif_add_##T(Node **p_head)                                                             \
    {                                                                                              \
        return list_add(p_head, "onvif_add_" #T);                                                  \
    }                                                                                              \
    void onvif_free_##P(Node **p_head)                                                             \
    {                                                                                              \
        list_free(p_head, offsetof(Node, M), &D);                                                  \
    }
#define EXACT strcmp
#define NOCASE strcasecmp
#define FIND(T, Node, M, K, C)                                                                     \
    Node *onvif_find_##T(Node *p_head, const char *key)                                            \
    {                                                                                              \
        if (!key) return nullptr;                                                                  \
        for (int n = 0; p_head && n < 16 * SOAP_LIST_MAX; p_head = p_head->next, n++) {            \
            char k[sizeof(p_head->M.K) + 1];                                                       \
            memcpy(k, p_head->M.K, sizeof(p_head->M.K));                                           \
            k[sizeof(p_head->M.K)] = '\0';                                                         \
            if (C(k, key) == 0) return p_head;                                                     \
        }                                                                                          \
        return nullptr;                                                                            \
    }
#include "onvif/onvif_lists.def"
#undef LIST
#undef FIND
#undef EXACT
#undef NOCASE

void onvif_free_NotificationMessage(NotificationMessageList *p_node)
{
    if (!p_node) return;
    ONVIF_MESSAGE *m = &p_node->NotificationMessage.message;
    onvif_free_SimpleItems(&m->source_simple);
    onvif_free_ElementItems(&m->source_element);
    onvif_free_SimpleItems(&m->key_simple);
    onvif_free_ElementItems(&m->key_element);
    onvif_free_SimpleItems(&m->data_simple);
    onvif_free_ElementItems(&m->data_element);
    free(p_node);
}

void onvif_device_add_NotificationMessages(ONVIF_DEVICE *p_dev, NotificationMessageList *p_chain)
{
    if (!p_dev || !p_chain) return;
    if (!p_dev->notify_messages) {
        p_dev->notify_messages = p_chain;
        return;
    }
    NotificationMessageList *tail = p_dev->notify_messages;
    while (tail->next)
        tail = tail->next;
    tail->next = p_chain;
}

int onvif_device_free_NotificationMessages(ONVIF_DEVICE *p_dev, int n)
{
    if (!p_dev) return 0;
    int freed = 0;
    while (freed < n && p_dev->notify_messages) {
        NotificationMessageList *node = p_dev->notify_messages;
        p_dev->notify_messages = node->next;
        onvif_free_NotificationMessage(node);
        freed++;
    }
    return freed;
}

int onvif_get_NotificationMessages_nums(NotificationMessageList *p_list)
{
    int n = 0;
    for (NotificationMessageList *node = p_list; node; node = node->next)
        n++;
    return n;
}

char *onvif_format_SimpleItem(SimpleItemList *p_list)
{
    static thread_local char buf[1024];
    memset(buf, 0, sizeof(buf));
    size_t len = 0;
    for (SimpleItemList *n = p_list; n && len < sizeof(buf) - 1; n = n->next) {
        const ONVIF_SIMPLE_ITEM *item = &n->SimpleItem;
        int w = snprintf(buf + len, sizeof(buf) - len, "%.*s:%.*s\r\n",
                         (int)strnlen(item->name, sizeof(item->name)), item->name,
                         (int)strnlen(item->value, sizeof(item->value)), item->value);
        if (w < 0) break;
        len += (size_t)w;
    }
    buf[sizeof(buf) - 1] = '\0';
    return buf;
}

int onvif_list_count(const void *head, int max_nodes)
{
    int n = 0;
    for (const AnyNode *node = static_cast<const AnyNode *>(head); node && n < max_nodes;
         node = node->next)
        n++;
    return n;
}
