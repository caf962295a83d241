#include "onvif/soap_parse.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "onvif/onvif_act.h"
#include "onvif/desc_hand.h"
#include "onvif/onvif_optab.h"
#include "onvif/soap_desc.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_enum.h"
#include "platform/sys_log.h"
#include "platform/sys_net.h"

/* ---- shared readers ---- */

int onvif_parse_datetime(XML_NODE *p_node, ONVIF_DATETIME *p_dt)
{
    if (!p_dt) return 0;
    XML_NODE *time_node = xml_node_soap_get(p_node, "Time");
    if (!time_node) return 0;
    soap_get_int(time_node, "Hour", &p_dt->hour);
    soap_get_int(time_node, "Minute", &p_dt->minute);
    soap_get_int(time_node, "Second", &p_dt->second);
    XML_NODE *date_node = xml_node_soap_get(p_node, "Date");
    if (!date_node) return 0;
    soap_get_int(date_node, "Year", &p_dt->year);
    soap_get_int(date_node, "Month", &p_dt->month);
    soap_get_int(date_node, "Day", &p_dt->day);
    /* A clock that reads hour 99 or month 0 is not a clock to compute
     * WS-Security times from. */
    if (p_dt->hour < 0 || p_dt->hour > 23 || p_dt->minute < 0 || p_dt->minute > 59 ||
        p_dt->second < 0 || p_dt->second > 60 || p_dt->year < 1 || p_dt->year > 9999 ||
        p_dt->month < 1 || p_dt->month > 12 || p_dt->day < 1 || p_dt->day > 31)
        return 0;
    return 1;
}

static void trim_in_place(char *text)
{
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r' ||
                     text[n - 1] == '\n'))
        text[--n] = '\0';
    size_t lead = strspn(text, " \t\r\n");
    if (lead) memmove(text, text + lead, n - lead + 1);
}

int onvif_parse_fault(XML_NODE *p_body, ONVIF_FAULT *p_fault)
{
    XML_NODE *fault = xml_node_soap_get(p_body, "Fault");
    if (!fault) return 0;
    if (!p_fault) return 1;
    XML_NODE *code = xml_node_soap_get(fault, "Code");
    soap_get_text(code, "Value", p_fault->code, sizeof(p_fault->code));
    /* Subcodes nest from general to specific; the first and the innermost
     * (that has a value) are kept. */
    XML_NODE *sub = xml_node_soap_get(code, "Subcode");
    soap_get_text(sub, "Value", p_fault->subcode, sizeof(p_fault->subcode));
    /* Codes are QNames: whitespace around them is not part of the value. */
    trim_in_place(p_fault->code);
    trim_in_place(p_fault->subcode);
    for (int depth = 0; sub && depth < 32; depth++) {
        char value[sizeof(p_fault->inner_subcode)] = "";
        soap_get_text(sub, "Value", value, sizeof(value));
        trim_in_place(value);
        if (value[0]) memcpy(p_fault->inner_subcode, value, sizeof(value));
        sub = xml_node_soap_get(sub, "Subcode");
    }
    soap_get_text(xml_node_soap_get(fault, "Reason"), "Text", p_fault->reason,
                  sizeof(p_fault->reason));
    return 1;
}

/* ---- device service ---- */

int parse_GetDeviceInformation_rly(XML_NODE *p_node, ONVIF_DEVICE_INFORMATION *p_res)
{
    if (!p_res) return 0;
    return soap_desc_read(p_node, &SD_tds_GetDeviceInformation_RES, p_res, nullptr);
}

int parse_GetSystemDateAndTime_rly(XML_NODE *p_node, ONVIF_SYSTEM_DATETIME *p_res)
{
    XML_NODE *sdt = xml_node_soap_get(p_node, "SystemDateAndTime");
    if (!sdt || !p_res) return 0;
    soap_get_enum(sdt, "DateTimeType", onvif_StringToSetDateTimeType, &p_res->date_time_type);
    soap_get_bool(sdt, "DaylightSavings", &p_res->daylight_savings);
    XML_NODE *tz = soap_get_opt(sdt, "TimeZone", &p_res->tz_flags, ONVIF_SYSDT_TZ_PRESENT);
    if (tz) soap_get_text(tz, "TZ", p_res->tz, sizeof(p_res->tz));

    XML_NODE *utc = xml_node_soap_get(sdt, "UTCDateTime");
    if (utc && onvif_parse_datetime(utc, &p_res->utc))
        p_res->flags |= ONVIF_SYSDT_FLAG_UTC;
    else
        p_res->flags &= ~ONVIF_SYSDT_FLAG_UTC;
    XML_NODE *local = xml_node_soap_get(sdt, "LocalDateTime");
    if (local && onvif_parse_datetime(local, &p_res->local))
        p_res->flags |= ONVIF_SYSDT_FLAG_LOCAL;
    else
        p_res->flags &= ~ONVIF_SYSDT_FLAG_LOCAL;
    return 1;
}

int parse_GetNetworkInterfaces_rly(XML_NODE *p_node, NetworkInterfaceList **p_res)
{
    if (!p_res) return 0;
    return soap_desc_read(p_node, &SD_tds_GetNetworkInterfaces_RES, p_res, nullptr);
}

int parse_SetNetworkInterfaces_rly(XML_NODE *p_node, ONVIF_SET_NETWORK_INTERFACES_RES *p_res)
{
    if (!p_res) return 0;
    /* RebootNeeded only ever turns the flag on: without it the field keeps
     * its value. */
    ONVIF_SET_NETWORK_INTERFACES_RES r = {0};
    soap_desc_read(p_node, &SD_tds_SetNetworkInterfaces_RES, &r, nullptr);
    if (r.reboot_needed) p_res->reboot_needed = 1;
    return 1;
}

/* A dotted IPv4 text of a child, decoded; 1 when it is one. */
static int get_ipv4_text(XML_NODE *p_node, char *dst, int size)
{
    char text[64];
    if (!p_node || !p_node->text) return 0;
    soap_copy_text(text, sizeof(text), p_node->text);
    if (!is_ip_address(text)) return 0;
    soap_copy_text(dst, size, text);
    return 1;
}

int parse_GetDNS_rly(XML_NODE *p_node, ONVIF_DNS *p_res)
{
    XML_NODE *info = xml_node_soap_get(p_node, "DNSInformation");
    if (!info || !p_res) return 0;
    soap_get_bool(info, "FromDHCP", &p_res->from_dhcp);

    int domains = 0;
    for (XML_NODE *n = soap_first(info, "SearchDomain"); n; n = soap_next(n, "SearchDomain")) {
        if (!n->text) continue;
        p_res->flags |= ONVIF_DNS_FLAG_SEARCH_DOMAIN;
        if (domains < 4) {
            soap_copy_text(p_res->search_domain[domains], sizeof(p_res->search_domain[0]), n->text);
            domains++;
        }
    }

    const char *entry = p_res->from_dhcp ? "DNSFromDHCP" : "DNSManual";
    int servers = 0;
    for (XML_NODE *n = soap_first(info, entry); n && servers < 2; n = soap_next(n, entry)) {
        const char *type = soap_child_text(n, "Type");
        if (type && type[0] && strcasecmp(type, "IPv4") != 0) continue;
        if (get_ipv4_text(xml_node_soap_get(n, "IPv4Address"), p_res->dns_manual[servers],
                          sizeof(p_res->dns_manual[0])))
            servers++;
    }
    return 1;
}

int parse_GetNetworkDefaultGateway_rly(XML_NODE *p_node, ONVIF_NETWORK_GATEWAY *p_res)
{
    XML_NODE *gw = xml_node_soap_get(p_node, "NetworkGateway");
    if (!gw || !p_res) return 0;
    int count = 0;
    for (XML_NODE *n = soap_first(gw, "IPv4Address"); n && count < 2;
         n = soap_next(n, "IPv4Address")) {
        if (get_ipv4_text(n, p_res->ipv4_address[count], sizeof(p_res->ipv4_address[0]))) count++;
    }
    return 1;
}

int parse_GetScopes_rly(XML_NODE *p_node, ScopeList **p_res)
{
    if (!p_res) return 0;
    return soap_desc_read(p_node, &SD_tds_GetScopes_RES, p_res, nullptr);
}

int parse_GetHostname_rly(XML_NODE *p_node, ONVIF_HOSTNAME *p_res)
{
    if (!p_res) return 0;
    return soap_desc_read(p_node, &SD_tds_GetHostname_RES, p_res, nullptr);
}

/* ---- events service ---- */

namespace
{

/* Bounds on what one message may hold, so that a hostile document cannot
 * turn a few bytes per element into a large amount of memory. */
const int kMaxItemsPerList = 64;

/* The children of ReferenceParameters as XML text into buf. 1, or 0 when they
 * do not fit (buf then empty: a cut reference would be sent back broken). */
int get_reference_parameters(XML_NODE *p_refs, char *buf, int size)
{
    buf[0] = '\0';
    if (!p_refs) return 1;
    int len = 0;
    for (XML_NODE *c = p_refs->first_child; c; c = c->next_sibling) {
        if (!c->name) continue;
        soap_xml_carry_ns(c);
        int n = xml_nwrite_buf(c, buf + len, size - len);
        if (n < 0) {
            buf[0] = '\0';
            log_print(LOG_ERROR, "%s, reference parameters too long!!!\r\n", "parse_Subscribe_rly");
            return 0;
        }
        len += n;
    }
    return 1;
}

/* The SimpleItem and ElementItem children of one item list (Source, Key or
 * Data of a message). */
void parse_item_list(XML_NODE *p_list, SimpleItemList **p_simple, ElementItemList **p_element)
{
    int simple = 0;
    int element = 0;
    for (XML_NODE *n = p_list ? p_list->first_child : nullptr; n; n = n->next_sibling) {
        if (soap_strcmp(n->name, "SimpleItem") == 0) {
            if (simple >= kMaxItemsPerList) continue;
            SimpleItemList *item = onvif_add_SimpleItem(p_simple);
            if (!item) return;
            simple++;
            soap_get_attr(n, "Name", item->SimpleItem.name, sizeof(item->SimpleItem.name));
            soap_get_attr(n, "Value", item->SimpleItem.value, sizeof(item->SimpleItem.value));
        } else if (soap_strcmp(n->name, "ElementItem") == 0) {
            if (element >= kMaxItemsPerList) continue;
            ElementItemList *item = onvif_add_ElementItem(p_element);
            if (!item) return;
            element++;
            soap_get_attr(n, "Name", item->ElementItem.name, sizeof(item->ElementItem.name));
            XML_NODE *any = n->first_child;
            while (any && any->kind != XML_NODE_ELEMENT)
                any = any->next_sibling;
            char *text = any ? soap_xml_copy(any) : nullptr;
            if (!text) continue;
            item->ElementItem.any = text;
        }
    }
}

} // namespace

int parse_Message(XML_NODE *p_node, ONVIF_MESSAGE *p_res)
{
    if (!p_res) return 0;
    /* wsnt:Message holds one element: the ONVIF tt:Message. */
    XML_NODE *msg = xml_node_soap_get(p_node, "Message");
    if (!msg) return 0;
    if (soap_get_attr(msg, "UtcTime", p_res->utc_time, sizeof(p_res->utc_time)))
        p_res->flags |= ONVIF_MSG_FLAG_UTC_TIME;
    const char *op = xml_attr_get(msg, "PropertyOperation");
    if (op) {
        p_res->flags |= ONVIF_MSG_FLAG_PROPERTY_OPERATION;
        p_res->property_operation = onvif_StringToPropertyOperation(op);
    }
    parse_item_list(xml_node_soap_get(msg, "Source"), &p_res->source_simple,
                    &p_res->source_element);
    parse_item_list(xml_node_soap_get(msg, "Key"), &p_res->key_simple, &p_res->key_element);
    parse_item_list(xml_node_soap_get(msg, "Data"), &p_res->data_simple, &p_res->data_element);
    return 1;
}

int parse_NotificationMessage(XML_NODE *p_node, ONVIF_NOTIFICATION_MESSAGE *p_res)
{
    if (!p_node || !p_res) return 0;
    if (soap_get_text(xml_node_soap_get(p_node, "SubscriptionReference"), "Address",
                      p_res->subscription_reference, sizeof(p_res->subscription_reference)))
        p_res->flags |= ONVIF_NOTIFY_FLAG_SUBSCRIPTION;
    XML_NODE *topic = xml_node_soap_get(p_node, "Topic");
    if (topic && topic->text) {
        p_res->flags |= ONVIF_NOTIFY_FLAG_TOPIC;
        soap_get_attr(topic, "Dialect", p_res->topic_dialect, sizeof(p_res->topic_dialect));
        soap_copy_text(p_res->topic, sizeof(p_res->topic), topic->text);
    }
    if (soap_get_text(xml_node_soap_get(p_node, "ProducerReference"), "Address",
                      p_res->producer_reference, sizeof(p_res->producer_reference)))
        p_res->flags |= ONVIF_NOTIFY_FLAG_PRODUCER;
    if (parse_Message(xml_node_soap_get(p_node, "Message"), &p_res->message))
        p_res->flags |= ONVIF_NOTIFY_FLAG_MESSAGE;
    return 1;
}

int parse_NotificationMessages(XML_NODE *p_parent, NotificationMessageList **p_list, int max)
{
    if (!p_list) return 0;
    /* Appended behind a tail found once, so a long reply stays linear. */
    NotificationMessageList **tail = p_list;
    for (int guard = 0; *tail && guard < 16 * SOAP_LIST_MAX; guard++)
        tail = &(*tail)->next;
    int n = 0;
    for (XML_NODE *m = soap_first(p_parent, "NotificationMessage"); m;
         m = soap_next(m, "NotificationMessage")) {
        if (n >= max) {
            log_print(LOG_WARN, "%s, more than %d messages, the rest dropped\r\n",
                      "parse_NotificationMessages", max);
            break;
        }
        NotificationMessageList *node =
            static_cast<NotificationMessageList *>(calloc(1, sizeof(NotificationMessageList)));
        if (!node) break;
        parse_NotificationMessage(m, &node->NotificationMessage);
        *tail = node;
        tail = &node->next;
        n++;
    }
    return n;
}

int parse_Subscribe_rly(XML_NODE *p_node, ONVIF_SUBSCRIBE_RES *p_res)
{
    XML_NODE *ref = xml_node_soap_get(p_node, "SubscriptionReference");
    if (!ref || !p_res) return 0;
    if (!soap_get_text(ref, "Address", p_res->subscription_address,
                       sizeof(p_res->subscription_address)))
        return 0;
    if (!get_reference_parameters(xml_node_soap_get(ref, "ReferenceParameters"),
                                  p_res->reference_parameters,
                                  (int)sizeof(p_res->reference_parameters)))
        return 0;
    soap_get_text(p_node, "CurrentTime", p_res->current_time, sizeof(p_res->current_time));
    soap_get_text(p_node, "TerminationTime", p_res->termination_time,
                  sizeof(p_res->termination_time));
    return 1;
}

int parse_PullMessages_rly(XML_NODE *p_node, ONVIF_PULL_MESSAGES_RES *p_res)
{
    if (!p_node || !p_res) return 0;
    soap_get_text(p_node, "CurrentTime", p_res->current_time, sizeof(p_res->current_time));
    soap_get_text(p_node, "TerminationTime", p_res->termination_time,
                  sizeof(p_res->termination_time));
    parse_NotificationMessages(p_node, &p_res->messages, ONVIF_MAX_NOTIFY_MESSAGES);
    return 1;
}

int parse_GetEventProperties_rly(XML_NODE *p_node, ONVIF_EVENT_PROPERTIES *p_res)
{
    if (!p_node || !p_res) return 0;
    soap_get_text(p_node, "TopicNamespaceLocation", p_res->topic_namespace_location,
                  sizeof(p_res->topic_namespace_location));
    soap_get_bool(p_node, "FixedTopicSet", &p_res->fixed_topic_set);
    p_res->topic_dialect_count = soap_get_text_array(
        p_node, "TopicExpressionDialect", p_res->topic_expression_dialect[0],
        ONVIF_EVENT_PROPS_MAX_DIALECTS, (int)sizeof(p_res->topic_expression_dialect[0]));
    p_res->content_dialect_count = soap_get_text_array(
        p_node, "MessageContentFilterDialect", p_res->message_content_filter_dialect[0],
        ONVIF_EVENT_PROPS_MAX_DIALECTS, (int)sizeof(p_res->message_content_filter_dialect[0]));
    soap_get_text(p_node, "MessageContentSchemaLocation", p_res->message_content_schema_location,
                  sizeof(p_res->message_content_schema_location));
    return 1;
}

int parse_tev_GetServiceCapabilities_rly(XML_NODE *p_node, ONVIF_CAP_EVENTS *p_res)
{
    XML_NODE *caps = xml_node_soap_get(p_node, "Capabilities");
    if (!caps || !p_res) return 0;
    parse_tev_ServiceCapabilities(caps, p_res);
    return 1;
}

/* ---- dispatcher ---- */

int onvif_has_parser(int type)
{
    const ONVIF_OP *op = onvif_op(type);
    if (!op) return 0;
    return op->out == ONVIF_OUT_N || (op->res && op->res->count > 0);
}

int onvif_parse_response_ctx(XML_NODE *p_body, int type, ONVIF_DEVICE *p_dev, void *p_res,
                             SOAP_READ_CTX *ctx)
{
    (void)p_dev;
    const ONVIF_OP *op = onvif_op(type);
    if (!op) return 0;

    char rsp_name[128];
    snprintf(rsp_name, sizeof(rsp_name), "%sResponse", op->name);
    XML_NODE *rsp = xml_node_soap_get(p_body, rsp_name);
    if (!rsp) return 0;
    if (op->out == ONVIF_OUT_N || !p_res) return 1;
    if (!op->res || op->res->count == 0) {
        log_print(LOG_ERROR, "%s, no parser for type %d\r\n", "onvif_parse_response", type);
        return 0;
    }
    /* A reused record never mixes an old reply with a new one; only the
     * capability block is merged on purpose. */
    if (op->out == ONVIF_OUT_C) memset(p_res, 0, op->res->size);
    if (soap_desc_read(rsp, op->res, p_res, ctx)) return 1;
    if (op->out == ONVIF_OUT_C) {
        soap_desc_free(op->res, p_res);
        memset(p_res, 0, op->res->size);
    }
    return 0;
}

int onvif_parse_response(XML_NODE *p_body, int type, ONVIF_DEVICE *p_dev, void *p_res)
{
    return onvif_parse_response_ctx(p_body, type, p_dev, p_res, nullptr);
}
