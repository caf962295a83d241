// Fuzz target: the SOAP response dispatcher over every operation type (with
// no result record, and with the real record for every type whose reply is
// read), and the fault reader.
#include "fuzz/fuzz_common.hpp"
#include "onvif/onvif_act.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/soap_parse.h"
#include "onvif/tev_types.h"
#include "xml/xml_node.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 1 << 18;

#define CHECK_TEXT(field) FUZZ_CHECK(fuzz::terminated((field), sizeof(field)))

void check_xaddr(const ONVIF_XADDR *x)
{
    CHECK_TEXT(x->host);
    CHECK_TEXT(x->path);
}

void check_caps(const ONVIF_CAPABILITIES *c)
{
    check_xaddr(&c->device.xaddr);
    check_xaddr(&c->events.xaddr);
    check_xaddr(&c->media.xaddr);
    check_xaddr(&c->imaging.xaddr);
    check_xaddr(&c->ptz.xaddr);
    check_xaddr(&c->provisioning.xaddr);
    CHECK_TEXT(c->device.auxiliary_commands);
    FUZZ_CHECK(c->provisioning.source_count >= 0 &&
               c->provisioning.source_count <= ONVIF_CAP_TPV_MAX_SOURCES);
}

void check_info(const ONVIF_DEVICE_INFORMATION *i)
{
    CHECK_TEXT(i->manufacturer);
    CHECK_TEXT(i->model);
    CHECK_TEXT(i->firmware_version);
    CHECK_TEXT(i->serial_number);
    CHECK_TEXT(i->hardware_id);
}

void check_interfaces(NetworkInterfaceList *const *head)
{
    for (const NetworkInterfaceList *n = *head; n; n = n->next) {
        const ONVIF_NETWORK_INTERFACE *i = &n->NetworkInterface;
        CHECK_TEXT(i->token);
        CHECK_TEXT(i->name);
        CHECK_TEXT(i->hw_address);
        CHECK_TEXT(i->ipv4_address);
        FUZZ_CHECK(i->dot11_count >= 0 && i->dot11_count <= ONVIF_NETIF_MAX_DOT11);
        for (int d = 0; d < i->dot11_count; d++) {
            CHECK_TEXT(i->dot11[d].ssid);
            CHECK_TEXT(i->dot11[d].psk_key);
            CHECK_TEXT(i->dot11[d].dot1x);
        }
    }
}

void check_hostname(const ONVIF_HOSTNAME *h)
{
    CHECK_TEXT(h->name);
}

void check_dns(const ONVIF_DNS *d)
{
    for (const auto &s : d->search_domain)
        CHECK_TEXT(s);
    for (const auto &s : d->dns_manual)
        CHECK_TEXT(s);
}

void check_gateway(const ONVIF_NETWORK_GATEWAY *g)
{
    for (const auto &s : g->ipv4_address)
        CHECK_TEXT(s);
}

void check_sysdt(const ONVIF_SYSTEM_DATETIME *t)
{
    CHECK_TEXT(t->tz);
}

void check_scopes(ScopeList *const *head)
{
    for (const ScopeList *n = *head; n; n = n->next)
        CHECK_TEXT(n->Scope.item);
}

void check_nothing(const ONVIF_SET_NETWORK_INTERFACES_RES *) {}

void check_subscribe(const ONVIF_SUBSCRIBE_RES *r)
{
    CHECK_TEXT(r->subscription_address);
    CHECK_TEXT(r->reference_parameters);
    CHECK_TEXT(r->current_time);
    CHECK_TEXT(r->termination_time);
}

void check_event_props(const ONVIF_EVENT_PROPERTIES *p)
{
    CHECK_TEXT(p->topic_namespace_location);
    CHECK_TEXT(p->message_content_schema_location);
    FUZZ_CHECK(p->topic_dialect_count >= 0 &&
               p->topic_dialect_count <= ONVIF_EVENT_PROPS_MAX_DIALECTS);
    FUZZ_CHECK(p->content_dialect_count >= 0 &&
               p->content_dialect_count <= ONVIF_EVENT_PROPS_MAX_DIALECTS);
}

void check_event_caps(const ONVIF_CAP_EVENTS *) {}

// PullMessages owns a message list: checked for its bound, then released.
void pull_messages(XML_NODE *body, int type, ONVIF_DEVICE *dev)
{
    auto *rec = static_cast<ONVIF_PULL_MESSAGES_RES *>(calloc(1, sizeof(ONVIF_PULL_MESSAGES_RES)));
    if (!rec) abort();
    int r = onvif_parse_response(body, type, dev, rec);
    FUZZ_CHECK(r == 0 || r == 1);
    CHECK_TEXT(rec->current_time);
    CHECK_TEXT(rec->termination_time);
    FUZZ_CHECK(onvif_get_NotificationMessages_nums(rec->messages) <= ONVIF_MAX_NOTIFY_MESSAGES);
    onvif_free_NotificationMessages(&rec->messages);
    FUZZ_CHECK(rec->messages == nullptr);
    free(rec);
}

// One typed call into an exact-size heap record, so that a write past the
// record is caught.
template <class T> void typed(XML_NODE *body, int type, ONVIF_DEVICE *dev, void (*check)(const T *))
{
    T *rec = static_cast<T *>(calloc(1, sizeof(T)));
    if (!rec) abort();
    int r = onvif_parse_response(body, type, dev, rec);
    FUZZ_CHECK(r == 0 || r == 1);
    check(rec);
    free(rec);
}

// The same for a list result: the head pointer is the record.
template <class L>
void typed_list(XML_NODE *body, int type, ONVIF_DEVICE *dev, void (*check)(L *const *),
                void (*release)(L **))
{
    L **head = static_cast<L **>(calloc(1, sizeof(L *)));
    if (!head) abort();
    int r = onvif_parse_response(body, type, dev, head);
    FUZZ_CHECK(r == 0 || r == 1);
    check(head);
    release(head);
    FUZZ_CHECK(*head == nullptr);
    free(head);
}

// The types whose reply is read into a record; true when `type` is one.
bool run_typed(XML_NODE *body, int type, ONVIF_DEVICE *dev)
{
    switch (type) {
    case ACT_tds_GetCapabilities:
    case ACT_tds_GetServices:
        typed<ONVIF_CAPABILITIES>(body, type, dev, check_caps);
        return true;
    case ACT_tds_GetDeviceInformation:
        typed<ONVIF_DEVICE_INFORMATION>(body, type, dev, check_info);
        return true;
    case ACT_tds_GetNetworkInterfaces:
        typed_list<NetworkInterfaceList>(body, type, dev, check_interfaces,
                                         onvif_free_NetworkInterfaces);
        return true;
    case ACT_tds_SetNetworkInterfaces:
    case ACT_tds_SetHostnameFromDHCP:
        typed<ONVIF_SET_NETWORK_INTERFACES_RES>(body, type, dev, check_nothing);
        return true;
    case ACT_tds_GetHostname:
        typed<ONVIF_HOSTNAME>(body, type, dev, check_hostname);
        return true;
    case ACT_tds_GetDNS:
        typed<ONVIF_DNS>(body, type, dev, check_dns);
        return true;
    case ACT_tds_GetNetworkDefaultGateway:
        typed<ONVIF_NETWORK_GATEWAY>(body, type, dev, check_gateway);
        return true;
    case ACT_tds_GetSystemDateAndTime:
        typed<ONVIF_SYSTEM_DATETIME>(body, type, dev, check_sysdt);
        return true;
    case ACT_tds_GetScopes:
        typed_list<ScopeList>(body, type, dev, check_scopes, onvif_free_Scopes);
        return true;
    case ACT_tev_GetServiceCapabilities:
        typed<ONVIF_CAP_EVENTS>(body, type, dev, check_event_caps);
        return true;
    case ACT_tev_GetEventProperties:
        typed<ONVIF_EVENT_PROPERTIES>(body, type, dev, check_event_props);
        return true;
    case ACT_tev_Subscribe:
    case ACT_tev_CreatePullPointSubscription:
        typed<ONVIF_SUBSCRIBE_RES>(body, type, dev, check_subscribe);
        return true;
    case ACT_tev_PullMessages:
        pull_messages(body, type, dev);
        return true;
    default:
        return false;
    }
}

void run_fault(XML_NODE *body)
{
    ONVIF_FAULT *fault = static_cast<ONVIF_FAULT *>(calloc(1, sizeof(ONVIF_FAULT)));
    if (!fault) abort();
    int r = onvif_parse_fault(body, fault);
    FUZZ_CHECK(r == 0 || r == 1);
    CHECK_TEXT(fault->code);
    CHECK_TEXT(fault->subcode);
    CHECK_TEXT(fault->reason);
    FUZZ_CHECK(onvif_parse_fault(body, nullptr) == r);
    free(fault);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput) return 0;
    char *buf = fuzz::dup_text(data, size);
    XML_NODE *root = xxx_hxml_parse(buf, (int)size);
    if (!root) {
        free(buf);
        return 0;
    }
    // The engine reads s:Envelope/s:Body; any other root is taken as the body
    // itself so that the readers see more shapes.
    XML_NODE *body = xml_node_soap_get(root, "s:Body");
    if (!body || soap_strcmp(root->name, "s:Envelope") != 0) body = root;

    ONVIF_DEVICE *dev = static_cast<ONVIF_DEVICE *>(calloc(1, sizeof(ONVIF_DEVICE)));
    if (!dev) abort();

    run_fault(body);
    FUZZ_CHECK(onvif_parse_response(body, ONVIF_ACT_MIN - 1, dev, nullptr) == 0);
    FUZZ_CHECK(onvif_parse_response(body, ONVIF_ACT_MAX + 1, dev, nullptr) == 0);
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        int r = onvif_parse_response(body, type, dev, nullptr);
        FUZZ_CHECK(r == 0 || r == 1);
        if (r == 1 && onvif_act_has_output(type) && onvif_has_parser(type))
            run_typed(body, type, dev);
    }

    onvif_free_device(dev);
    free(dev);
    xml_node_del(root);
    free(buf);
    return 0;
}
