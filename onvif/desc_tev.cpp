// Descriptors of the hand-made events records (subscriptions, pull points,
// messages) and of every service's GetServiceCapabilities reply, which is
// read into the capability records of the device.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "onvif/desc_hand.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_list.h"
#include "onvif/soap_desc_def.hpp"
#include "onvif/soap_parse.h"

namespace
{

template <class T, int (*F)(XML_NODE *, T *)>
int read_whole(XML_NODE *p_parent, void *field, const SOAP_FIELD *, SOAP_READ_CTX *)
{
    return F(p_parent, static_cast<T *>(field)) ? 1 : -1;
}

// ---- subscriptions ----

const char kTopicDialect[] = "http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet";
const char kContentDialect[] = "http://www.onvif.org/ver10/tev/messageContentFilter/ItemFilter";
const char kTopicsNs[] = "http://www.onvif.org/ver10/topics";

// A fixed char field as a terminated text.
void field_text(char *out, const char *field, size_t field_size)
{
    size_t n = strnlen(field, field_size);
    memcpy(out, field, n);
    out[n] = '\0';
}

// A filter expression element with its Dialect attribute (the default one
// when the record leaves it empty); topic QNames use tns1, declared here.
void w_filter_expression(SOAP_WRITER *w, const char *name, const char *dialect, int dialect_size,
                         const char *def_dialect, const char *expr, int expr_size)
{
    char d[257];
    char e[257];
    field_text(d, dialect, (size_t)dialect_size);
    field_text(e, expr, (size_t)expr_size);
    soap_w_printf(w, "<%s xmlns:tns1=\"%s\" Dialect=\"", name, kTopicsNs);
    soap_w_escaped(w, d[0] ? d : def_dialect);
    soap_w_puts(w, "\">");
    soap_w_escaped(w, e);
    soap_w_close(w, name);
}

// The filter element (wsnt:Filter or tev:Filter, the field's name) when the
// record asks for one.
int write_filter(SOAP_WRITER *w, const void *field, const SOAP_FIELD *f)
{
    const ONVIF_SUBSCRIBE_REQ *p = static_cast<const ONVIF_SUBSCRIBE_REQ *>(field);
    if (!(p->flags & (ONVIF_SUBSCRIBE_FLAG_TOPIC | ONVIF_SUBSCRIBE_FLAG_CONTENT))) return 0;
    char name[64];
    snprintf(name, sizeof(name), "%s:%s", soap_ns_prefix(f->ns), f->name);
    soap_w_open(w, name);
    if (p->flags & ONVIF_SUBSCRIBE_FLAG_TOPIC)
        w_filter_expression(w, "wsnt:TopicExpression", p->topic_dialect,
                            (int)sizeof(p->topic_dialect), kTopicDialect, p->topic_expression,
                            (int)sizeof(p->topic_expression));
    if (p->flags & ONVIF_SUBSCRIBE_FLAG_CONTENT)
        w_filter_expression(w, "wsnt:MessageContent", p->content_dialect,
                            (int)sizeof(p->content_dialect), kContentDialect, p->message_content,
                            (int)sizeof(p->message_content));
    return soap_w_close(w, name);
}
const SOAP_HOOK kFilterHook = {write_filter, nullptr, nullptr};

#define SUB ONVIF_SUBSCRIBE_REQ
// A subscription needs somewhere to send the notifications to.
int write_consumer(SOAP_WRITER *w, const void *field, const SOAP_FIELD *)
{
    const SUB *p = static_cast<const SUB *>(field);
    if (!p->consumer_address[0]) {
        w->overflow = SOAP_W_REFUSED;
        return -1;
    }
    soap_w_open(w, "wsnt:ConsumerReference");
    soap_w_field(w, "wsa:Address", p->consumer_address, (int)sizeof(p->consumer_address));
    return soap_w_close(w, "wsnt:ConsumerReference");
}
const SOAP_HOOK kConsumerHook = {write_consumer, nullptr, nullptr};

const SOAP_FIELD kSubscribeFields[] = {
    sd::hook("ConsumerReference", SOAP_NS_wsnt, 0, sizeof(SUB), &kConsumerHook),
    sd::hook("Filter", SOAP_NS_wsnt, 0, sizeof(SUB), &kFilterHook),
    SD_DURATION(SUB, termination_time, wsnt, "InitialTerminationTime").opt(SD_BIT(SUB, flags, 2)),
};

const SOAP_FIELD kCreatePullPointFields[] = {
    sd::hook("Filter", SOAP_NS_tev, 0, sizeof(SUB), &kFilterHook),
    SD_DURATION(SUB, termination_time, tev, "InitialTerminationTime").opt(SD_BIT(SUB, flags, 2)),
};
#undef SUB

const SOAP_HOOK kSubscribeResHook = {nullptr, read_whole<ONVIF_SUBSCRIBE_RES, parse_Subscribe_rly>,
                                     nullptr};
const SOAP_FIELD kSubscribeResFields[] = {
    sd::hook("SubscriptionReference", SOAP_NS_wsnt, 0, sizeof(ONVIF_SUBSCRIBE_RES),
             &kSubscribeResHook)
        .required(),
};

const SOAP_FIELD kRenewFields[] = {
    SD_DURATION(ONVIF_RENEW_REQ, termination_time, wsnt, "TerminationTime"),
};

const SOAP_FIELD kRenewResFields[] = {
    SD_TOKEN(ONVIF_RENEW_RES, termination_time, wsnt, "TerminationTime"),
    SD_TOKEN(ONVIF_RENEW_RES, current_time, wsnt, "CurrentTime"),
};

// ---- pull points ----

const SOAP_FIELD kPullMessagesFields[] = {
    SD_DURATION(ONVIF_PULL_MESSAGES_REQ, timeout, tev, "Timeout"),
    SD_INT(ONVIF_PULL_MESSAGES_REQ, message_limit, tev, "MessageLimit"),
};

// The messages are freed with the result (soap_desc_free / onvif_free_result).
void release_messages(void *field, const SOAP_FIELD *)
{
    onvif_free_NotificationMessages(&static_cast<ONVIF_PULL_MESSAGES_RES *>(field)->messages);
}
const SOAP_HOOK kPullMessagesResHook = {
    nullptr, read_whole<ONVIF_PULL_MESSAGES_RES, parse_PullMessages_rly>, release_messages};
const SOAP_FIELD kPullMessagesResFields[] = {
    sd::hook("NotificationMessage", SOAP_NS_wsnt, 0, sizeof(ONVIF_PULL_MESSAGES_RES),
             &kPullMessagesResHook)
        .required(),
};

const SOAP_HOOK kEventPropertiesHook = {
    nullptr, read_whole<ONVIF_EVENT_PROPERTIES, parse_GetEventProperties_rly>, nullptr};
const SOAP_FIELD kEventPropertiesFields[] = {
    sd::hook("TopicNamespaceLocation", SOAP_NS_tev, 0, sizeof(ONVIF_EVENT_PROPERTIES),
             &kEventPropertiesHook)
        .required(),
};

// ---- items and messages ----

const SOAP_FIELD kSimpleItemFields[] = {
    SD_ATTR_TEXT(ONVIF_SIMPLE_ITEM, name, "Name"),
    SD_TEXT(ONVIF_SIMPLE_ITEM, value, NONE, "Value").attr(),
};

// The content of an ElementItem is one element of any name: its XML text
// is kept (and written back) as it stands.
int write_element_any(SOAP_WRITER *w, const void *field, const SOAP_FIELD *)
{
    const char *xml = *static_cast<char *const *>(field);
    return xml ? soap_w_puts(w, xml) : 0;
}
int read_element_any(XML_NODE *p_parent, void *field, const SOAP_FIELD *, SOAP_READ_CTX *)
{
    XML_NODE *any = p_parent->first_child;
    while (any && any->kind != XML_NODE_ELEMENT)
        any = any->next_sibling;
    char *text = soap_xml_copy(any);
    if (!text) return 0;
    char **slot = static_cast<char **>(field);
    free(*slot);
    *slot = text;
    return 1;
}
void release_element_any(void *field, const SOAP_FIELD *)
{
    char **slot = static_cast<char **>(field);
    free(*slot);
    *slot = nullptr;
}
const SOAP_HOOK kElementAnyHook = {write_element_any, read_element_any, release_element_any};

const SOAP_FIELD kElementItemFields[] = {
    SD_ATTR_TEXT(ONVIF_ELEMENT_ITEM, name, "Name"),
    sd::hook("any", SOAP_NS_NONE, offsetof(ONVIF_ELEMENT_ITEM, any), sizeof(char *),
             &kElementAnyHook),
};

// A notification message is read by its hand-written reader (the message's
// six item lists, the topic with its dialect).
int read_notification(XML_NODE *p_parent, void *field, const SOAP_FIELD *, SOAP_READ_CTX *)
{
    return parse_NotificationMessage(p_parent, static_cast<ONVIF_NOTIFICATION_MESSAGE *>(field))
               ? 1
               : -1;
}
void release_notification(void *field, const SOAP_FIELD *)
{
    ONVIF_MESSAGE *m = &static_cast<ONVIF_NOTIFICATION_MESSAGE *>(field)->message;
    onvif_free_SimpleItems(&m->source_simple);
    onvif_free_ElementItems(&m->source_element);
    onvif_free_SimpleItems(&m->key_simple);
    onvif_free_ElementItems(&m->key_element);
    onvif_free_SimpleItems(&m->data_simple);
    onvif_free_ElementItems(&m->data_element);
}
const SOAP_HOOK kNotificationHook = {nullptr, read_notification, release_notification};

const SOAP_FIELD kNotificationFields[] = {
    sd::hook("NotificationMessage", SOAP_NS_wsnt, 0, sizeof(ONVIF_NOTIFICATION_MESSAGE),
             &kNotificationHook),
};

// ---- GetServiceCapabilities of every service ----

// The Capabilities child read into the service's capability record.
template <class T, void (*F)(XML_NODE *, T *)>
int read_capabilities(XML_NODE *p_parent, void *field, const SOAP_FIELD *, SOAP_READ_CTX *)
{
    XML_NODE *caps = xml_node_soap_get(p_parent, "Capabilities");
    if (!caps) return -1;
    F(caps, static_cast<T *>(field));
    return 1;
}

#define SERVICE_CAPS(svc, T)                                                                       \
    const SOAP_HOOK kCapsHook_##svc = {                                                            \
        nullptr, read_capabilities<T, parse_##svc##_ServiceCapabilities>, nullptr};                \
    const SOAP_FIELD kCapsFields_##svc[] = {                                                       \
        sd::hook("Capabilities", SOAP_NS_NONE, 0, sizeof(T), &kCapsHook_##svc).required()};

SERVICE_CAPS(tds, ONVIF_CAP_DEVICE)
SERVICE_CAPS(trt, ONVIF_CAP_MEDIA)
SERVICE_CAPS(tr2, ONVIF_CAP_MEDIA2)
SERVICE_CAPS(ptz, ONVIF_CAP_PTZ)
SERVICE_CAPS(tev, ONVIF_CAP_EVENTS)
SERVICE_CAPS(img, ONVIF_CAP_IMAGING)
SERVICE_CAPS(tmd, ONVIF_CAP_DEVICEIO)
SERVICE_CAPS(trc, ONVIF_CAP_RECORDING)
SERVICE_CAPS(trp, ONVIF_CAP_REPLAY)
SERVICE_CAPS(tse, ONVIF_CAP_SEARCH)
SERVICE_CAPS(tan, ONVIF_CAP_ANALYTICS)
SERVICE_CAPS(tac, ONVIF_CAP_ACCESSCONTROL)
SERVICE_CAPS(tdc, ONVIF_CAP_DOORCONTROL)
SERVICE_CAPS(tth, ONVIF_CAP_THERMAL)
SERVICE_CAPS(tcr, ONVIF_CAP_CREDENTIAL)
SERVICE_CAPS(tar, ONVIF_CAP_ACCESSRULES)
SERVICE_CAPS(tsc, ONVIF_CAP_SCHEDULE)
SERVICE_CAPS(trv, ONVIF_CAP_RECEIVER)
SERVICE_CAPS(tpv, ONVIF_CAP_PROVISIONING)
#undef SERVICE_CAPS

} // namespace

extern "C" {

SD_DEFINE_TYPE(ONVIF_SIMPLE_ITEM, kSimpleItemFields);
SD_DEFINE_TYPE(ONVIF_ELEMENT_ITEM, kElementItemFields);
SD_DEFINE_TYPE(ONVIF_NOTIFICATION_MESSAGE, kNotificationFields);

SD_DEFINE_VIEW(SD_tev_Subscribe_REQ, ONVIF_SUBSCRIBE_REQ, kSubscribeFields);
SD_DEFINE_VIEW(SD_tev_Subscribe_RES, ONVIF_SUBSCRIBE_RES, kSubscribeResFields);
SD_DEFINE_VIEW(SD_tev_CreatePullPointSubscription_REQ, ONVIF_SUBSCRIBE_REQ, kCreatePullPointFields);
SD_DEFINE_VIEW(SD_tev_CreatePullPointSubscription_RES, ONVIF_SUBSCRIBE_RES, kSubscribeResFields);
SD_DEFINE_VIEW(SD_tev_Renew_REQ, ONVIF_RENEW_REQ, kRenewFields);
SD_DEFINE_VIEW(SD_tev_Renew_RES, ONVIF_RENEW_RES, kRenewResFields);
SD_DEFINE_VIEW(SD_tev_PullMessages_REQ, ONVIF_PULL_MESSAGES_REQ, kPullMessagesFields);
SD_DEFINE_VIEW(SD_tev_PullMessages_RES, ONVIF_PULL_MESSAGES_RES, kPullMessagesResFields);
SD_DEFINE_VIEW(SD_tev_GetEventProperties_RES, ONVIF_EVENT_PROPERTIES, kEventPropertiesFields);

#define SERVICE_CAPS(svc, T)                                                                       \
    SD_DEFINE_VIEW(SD_##svc##_GetServiceCapabilities_RES, T, kCapsFields_##svc);
SERVICE_CAPS(tds, ONVIF_CAP_DEVICE)
SERVICE_CAPS(trt, ONVIF_CAP_MEDIA)
SERVICE_CAPS(tr2, ONVIF_CAP_MEDIA2)
SERVICE_CAPS(ptz, ONVIF_CAP_PTZ)
SERVICE_CAPS(tev, ONVIF_CAP_EVENTS)
SERVICE_CAPS(img, ONVIF_CAP_IMAGING)
SERVICE_CAPS(tmd, ONVIF_CAP_DEVICEIO)
SERVICE_CAPS(trc, ONVIF_CAP_RECORDING)
SERVICE_CAPS(trp, ONVIF_CAP_REPLAY)
SERVICE_CAPS(tse, ONVIF_CAP_SEARCH)
SERVICE_CAPS(tan, ONVIF_CAP_ANALYTICS)
SERVICE_CAPS(tac, ONVIF_CAP_ACCESSCONTROL)
SERVICE_CAPS(tdc, ONVIF_CAP_DOORCONTROL)
SERVICE_CAPS(tth, ONVIF_CAP_THERMAL)
SERVICE_CAPS(tcr, ONVIF_CAP_CREDENTIAL)
SERVICE_CAPS(tar, ONVIF_CAP_ACCESSRULES)
SERVICE_CAPS(tsc, ONVIF_CAP_SCHEDULE)
SERVICE_CAPS(trv, ONVIF_CAP_RECEIVER)
SERVICE_CAPS(tpv, ONVIF_CAP_PROVISIONING)
#undef SERVICE_CAPS

} // extern "C"
