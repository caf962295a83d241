#include "onvif/soap_parse.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "onvif/onvif_act.h"
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

int onvif_parse_fault(XML_NODE *p_body, ONVIF_FAULT *p_fault)
{
    XML_NODE *fault = xml_node_soap_get(p_body, "Fault");
    if (!fault) return 0;
    if (!p_fault) return 1;
    XML_NODE *code = xml_node_soap_get(fault, "Code");
    soap_get_text(code, "Value", p_fault->code, sizeof(p_fault->code));
    soap_get_text(xml_node_soap_get(code, "Subcode"), "Value", p_fault->subcode,
                  sizeof(p_fault->subcode));
    soap_get_text(xml_node_soap_get(fault, "Reason"), "Text", p_fault->reason,
                  sizeof(p_fault->reason));
    return 1;
}

/* ---- device service ---- */

int parse_GetDeviceInformation_rly(XML_NODE *p_node, ONVIF_DEVICE_INFORMATION *p_res)
{
    if (!p_res) return 0;
    soap_get_text(p_node, "Manufacturer", p_res->manufacturer, sizeof(p_res->manufacturer));
    soap_get_text(p_node, "Model", p_res->model, sizeof(p_res->model));
    soap_get_text(p_node, "FirmwareVersion", p_res->firmware_version,
                  sizeof(p_res->firmware_version));
    soap_get_text(p_node, "SerialNumber", p_res->serial_number, sizeof(p_res->serial_number));
    soap_get_text(p_node, "HardwareId", p_res->hardware_id, sizeof(p_res->hardware_id));
    return 1;
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

static void parse_dot11(XML_NODE *p_node, ONVIF_DOT11_CONFIGURATION *d)
{
    soap_get_text(p_node, "SSID", d->ssid, sizeof(d->ssid));
    soap_get_enum(p_node, "Mode", onvif_StringToDot11StationMode, &d->mode);
    soap_get_text(p_node, "Alias", d->alias, sizeof(d->alias));
    soap_get_int(p_node, "Priority", &d->priority);
    XML_NODE *sec = xml_node_soap_get(p_node, "Security");
    if (!sec) return;
    soap_get_enum(sec, "Mode", onvif_StringToDot11SecurityMode, &d->security_mode);
    if (soap_get_enum(sec, "Algorithm", onvif_StringToDot11Cipher, &d->algorithm))
        d->security_flags |= ONVIF_DOT11_SEC_ALGORITHM;
    XML_NODE *psk = soap_get_opt(sec, "PSK", &d->security_flags, ONVIF_DOT11_SEC_PSK);
    if (psk) {
        soap_get_opt_text(psk, "Key", &d->psk_flags, ONVIF_DOT11_PSK_KEY, d->psk_key,
                          sizeof(d->psk_key));
        soap_get_opt_text(psk, "Passphrase", &d->psk_flags, ONVIF_DOT11_PSK_PASSPHRASE,
                          d->psk_passphrase, sizeof(d->psk_passphrase));
    }
    soap_get_opt_text(sec, "Dot1X", &d->security_flags, ONVIF_DOT11_SEC_DOT1X, d->dot1x,
                      sizeof(d->dot1x));
}

static void parse_network_interface(XML_NODE *p_node, ONVIF_NETWORK_INTERFACE *p_if)
{
    soap_get_attr(p_node, "token", p_if->token, sizeof(p_if->token));
    soap_get_bool(p_node, "Enabled", &p_if->enabled);

    XML_NODE *info = soap_get_opt(p_node, "Info", &p_if->flags, ONVIF_NETIF_FLAG_INFO);
    if (info) {
        soap_get_opt_text(info, "Name", &p_if->info_flags, ONVIF_NETIF_INFO_NAME, p_if->name,
                          sizeof(p_if->name));
        soap_get_text(info, "HwAddress", p_if->hw_address, sizeof(p_if->hw_address));
        soap_get_opt_int(info, "MTU", &p_if->info_flags, ONVIF_NETIF_INFO_MTU, &p_if->mtu);
    }

    XML_NODE *ipv4 = soap_get_opt(p_node, "IPv4", &p_if->flags, ONVIF_NETIF_FLAG_IPV4);
    if (ipv4) {
        soap_get_bool(ipv4, "Enabled", &p_if->ipv4_enabled);
        XML_NODE *config = xml_node_soap_get(ipv4, "Config");
        if (config) {
            /* An address obtained by DHCP replaces the manual one. */
            XML_NODE *manual = xml_node_soap_get(config, "Manual");
            soap_get_text(manual, "Address", p_if->ipv4_address, sizeof(p_if->ipv4_address));
            soap_get_int(manual, "PrefixLength", &p_if->prefix_length);
            XML_NODE *from_dhcp = xml_node_soap_get(config, "FromDHCP");
            soap_get_text(from_dhcp, "Address", p_if->ipv4_address, sizeof(p_if->ipv4_address));
            soap_get_int(from_dhcp, "PrefixLength", &p_if->prefix_length);
            soap_get_bool(config, "DHCP", &p_if->dhcp);
        }
    }

    XML_NODE *ext = soap_get_opt(p_node, "Extension", &p_if->flags, ONVIF_NETIF_FLAG_EXTENSION);
    if (ext) {
        soap_get_int(ext, "InterfaceType", &p_if->interface_type);
        p_if->dot11_count = 0;
        for (XML_NODE *d = soap_first(ext, "Dot11"); d && p_if->dot11_count < ONVIF_NETIF_MAX_DOT11;
             d = soap_next(d, "Dot11"))
            parse_dot11(d, &p_if->dot11[p_if->dot11_count++]);
    }
}

int parse_GetNetworkInterfaces_rly(XML_NODE *p_node, NetworkInterfaceList **p_res)
{
    if (!p_res) return 0;
    for (XML_NODE *n = soap_first(p_node, "NetworkInterfaces"); n;
         n = soap_next(n, "NetworkInterfaces")) {
        NetworkInterfaceList *item = onvif_add_NetworkInterface(p_res);
        if (!item) continue;
        parse_network_interface(n, &item->NetworkInterface);
    }
    return 1;
}

int parse_SetNetworkInterfaces_rly(XML_NODE *p_node, ONVIF_SET_NETWORK_INTERFACES_RES *p_res)
{
    if (!p_res) return 0;
    const char *text = soap_child_text(p_node, "RebootNeeded");
    if (text && parse_Bool(text)) p_res->reboot_needed = 1;
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
    for (XML_NODE *n = soap_first(p_node, "Scopes"); n; n = soap_next(n, "Scopes")) {
        ScopeList *item = onvif_add_Scope(p_res);
        if (!item) continue;
        soap_get_enum(n, "ScopeDef", onvif_StringToScopeDefinition, &item->Scope.definition);
        soap_get_text(n, "ScopeItem", item->Scope.item, sizeof(item->Scope.item));
    }
    return 1;
}

int parse_GetHostname_rly(XML_NODE *p_node, ONVIF_HOSTNAME *p_res)
{
    XML_NODE *info = xml_node_soap_get(p_node, "HostnameInformation");
    if (!info || !p_res) return 0;
    soap_get_bool(info, "FromDHCP", &p_res->from_dhcp);
    soap_get_opt_text(info, "Name", &p_res->flags, ONVIF_HOSTNAME_FLAG_NAME, p_res->name,
                      sizeof(p_res->name));
    return 1;
}

/* ---- dispatcher ---- */

namespace
{

typedef int (*ReplyParser)(XML_NODE *p_node, void *p_res);

/* Adapts a typed parser to the table's form. */
template <class T, int (*F)(XML_NODE *, T *)> int adapt(XML_NODE *p_node, void *p_res)
{
    return F(p_node, static_cast<T *>(p_res));
}

/* One operation with a parser: the record (or list head) it fills; its size
 * is what the dispatcher zero-fills when the catalogue says to clear. */
struct ParserRow {
    int type;
    ReplyParser parse;
    size_t res_size;
};

#define PARSER_ROW(type, T, fn)                                                                    \
    {                                                                                              \
        type, adapt<T, fn>, sizeof(T)                                                              \
    }

const ParserRow kParsers[] = {
    PARSER_ROW(ACT_tds_GetCapabilities, ONVIF_CAPABILITIES, parse_GetCapabilities_rly),
    PARSER_ROW(ACT_tds_GetServices, ONVIF_CAPABILITIES, parse_GetServices_rly),
    PARSER_ROW(ACT_tds_GetDeviceInformation, ONVIF_DEVICE_INFORMATION,
               parse_GetDeviceInformation_rly),
    PARSER_ROW(ACT_tds_GetNetworkInterfaces, NetworkInterfaceList *,
               parse_GetNetworkInterfaces_rly),
    PARSER_ROW(ACT_tds_SetNetworkInterfaces, ONVIF_SET_NETWORK_INTERFACES_RES,
               parse_SetNetworkInterfaces_rly),
    PARSER_ROW(ACT_tds_GetHostname, ONVIF_HOSTNAME, parse_GetHostname_rly),
    PARSER_ROW(ACT_tds_SetHostnameFromDHCP, ONVIF_SET_NETWORK_INTERFACES_RES,
               parse_SetNetworkInterfaces_rly),
    PARSER_ROW(ACT_tds_GetDNS, ONVIF_DNS, parse_GetDNS_rly),
    PARSER_ROW(ACT_tds_GetNetworkDefaultGateway, ONVIF_NETWORK_GATEWAY,
               parse_GetNetworkDefaultGateway_rly),
    PARSER_ROW(ACT_tds_GetSystemDateAndTime, ONVIF_SYSTEM_DATETIME, parse_GetSystemDateAndTime_rly),
    PARSER_ROW(ACT_tds_GetScopes, ScopeList *, parse_GetScopes_rly),
};

const ParserRow *find_parser(int type)
{
    for (const ParserRow &row : kParsers)
        if (row.type == type) return &row;
    return nullptr;
}

} // namespace

int onvif_has_parser(int type)
{
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) return 0;
    if (type == ACT_tds_GetSystemLog || !onvif_act_has_output(type)) return 1;
    return find_parser(type) ? 1 : 0;
}

int onvif_parse_response(XML_NODE *p_body, int type, ONVIF_DEVICE *p_dev, void *p_res)
{
    (void)p_dev;
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) return 0;
    if (type == ACT_tds_GetSystemLog) return 1; /* the reply is not read */

    const char *name = onvif_act_name(type);
    if (!name) return 0;
    char rsp_name[128];
    snprintf(rsp_name, sizeof(rsp_name), "%sResponse", name);
    XML_NODE *rsp = xml_node_soap_get(p_body, rsp_name);
    if (!rsp) return 0;
    if (!onvif_act_has_output(type) || !p_res) return 1;

    const ParserRow *row = find_parser(type);
    if (!row) {
        log_print(LOG_ERROR, "%s, no parser for type %d\r\n", "onvif_parse_response", type);
        return 0;
    }
    if (onvif_act_clears_result(type)) memset(p_res, 0, row->res_size);
    return row->parse(rsp, p_res);
}
