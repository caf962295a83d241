// Descriptors of the hand-made device-service records: the network,
// clock, identity and capability records the tool and the library's
// interface fix. Where a body or reply has a rule of its own (a Manual
// address written only without DHCP, DNS servers only when not from DHCP,
// numeric IPv4 texts only), a hook keeps that rule in hand-written code.

#include <cstring>

#include "onvif/desc_hand.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_enum.h"
#include "onvif/soap_desc_def.hpp"
#include "onvif/soap_parse.h"

namespace
{

// A hook that reads the whole record with a hand-written reply reader given
// the response element; failure (0) fails the reply.
template <class T, int (*F)(XML_NODE *, T *)>
int read_whole(XML_NODE *p_parent, void *field, const SOAP_FIELD *, SOAP_READ_CTX *)
{
    return F(p_parent, static_cast<T *>(field)) ? 1 : -1;
}

// ---- date and time ----

const SOAP_FIELD kTimeFields[] = {
    SD_INT(ONVIF_DATETIME, hour, tt, "Hour"),
    SD_INT(ONVIF_DATETIME, minute, tt, "Minute"),
    SD_INT(ONVIF_DATETIME, second, tt, "Second"),
};
SD_DEFINE_VIEW(SD_ONVIF_DATETIME_time, ONVIF_DATETIME, kTimeFields);

const SOAP_FIELD kDateFields[] = {
    SD_INT(ONVIF_DATETIME, year, tt, "Year"),
    SD_INT(ONVIF_DATETIME, month, tt, "Month"),
    SD_INT(ONVIF_DATETIME, day, tt, "Day"),
};
SD_DEFINE_VIEW(SD_ONVIF_DATETIME_date, ONVIF_DATETIME, kDateFields);

const SOAP_FIELD kDateTimeFields[] = {
    sd::child("Time", SOAP_NS_tt, 0, &SD_ONVIF_DATETIME_time),
    sd::child("Date", SOAP_NS_tt, 0, &SD_ONVIF_DATETIME_date),
};

// ---- Dot11 ----

#define D11 ONVIF_DOT11_CONFIGURATION
const SOAP_FIELD kPskFields[] = {
    SD_TEXT(D11, psk_key, tt, "Key").opt(SD_BIT(D11, psk_flags, 0)),
    SD_TEXT(D11, psk_passphrase, tt, "Passphrase").opt(SD_BIT(D11, psk_flags, 1)),
};
SD_DEFINE_VIEW(SD_ONVIF_DOT11_psk, D11, kPskFields);

const SOAP_FIELD kSecurityFields[] = {
    SD_ENUM(D11, security_mode, tt, "Mode", Dot11SecurityMode),
    SD_ENUM(D11, algorithm, tt, "Algorithm", Dot11Cipher).opt(SD_BIT(D11, security_flags, 0)),
    sd::child("PSK", SOAP_NS_tt, 0, &SD_ONVIF_DOT11_psk).opt(SD_BIT(D11, security_flags, 1)),
    SD_TEXT(D11, dot1x, tt, "Dot1X").trim().opt(SD_BIT(D11, security_flags, 2)),
};
SD_DEFINE_VIEW(SD_ONVIF_DOT11_security, D11, kSecurityFields);

const SOAP_FIELD kDot11Fields[] = {
    SD_TEXT(D11, ssid, tt, "SSID"),
    SD_ENUM(D11, mode, tt, "Mode", Dot11StationMode),
    SD_TEXT(D11, alias, tt, "Alias"),
    SD_INT(D11, priority, tt, "Priority"),
    sd::child("Security", SOAP_NS_tt, 0, &SD_ONVIF_DOT11_security),
};
#undef D11

// ---- network interface (the reply form) ----

#define NI ONVIF_NETWORK_INTERFACE
const SOAP_FIELD kNiInfoFields[] = {
    SD_TEXT(NI, name, tt, "Name").opt(SD_BIT(NI, info_flags, 0)),
    SD_TOKEN(NI, hw_address, tt, "HwAddress"),
    SD_INT(NI, mtu, tt, "MTU").opt(SD_BIT(NI, info_flags, 1)),
};
SD_DEFINE_VIEW(SD_ONVIF_NETWORK_INTERFACE_info, NI, kNiInfoFields);

// Manual and FromDHCP fill the same two members: an address obtained by DHCP
// replaces the manual one (FromDHCP is read second).
const SOAP_FIELD kNiAddressFields[] = {
    SD_TOKEN(NI, ipv4_address, tt, "Address"),
    SD_INT(NI, prefix_length, tt, "PrefixLength"),
};
SD_DEFINE_VIEW(SD_ONVIF_NETWORK_INTERFACE_address, NI, kNiAddressFields);

const SOAP_FIELD kNiConfigFields[] = {
    sd::child("Manual", SOAP_NS_tt, 0, &SD_ONVIF_NETWORK_INTERFACE_address),
    sd::child("FromDHCP", SOAP_NS_tt, 0, &SD_ONVIF_NETWORK_INTERFACE_address),
    SD_BOOL(NI, dhcp, tt, "DHCP"),
};
SD_DEFINE_VIEW(SD_ONVIF_NETWORK_INTERFACE_config, NI, kNiConfigFields);

const SOAP_FIELD kNiIpv4Fields[] = {
    SD_BOOL(NI, ipv4_enabled, tt, "Enabled"),
    sd::child("Config", SOAP_NS_tt, 0, &SD_ONVIF_NETWORK_INTERFACE_config),
};
SD_DEFINE_VIEW(SD_ONVIF_NETWORK_INTERFACE_ipv4, NI, kNiIpv4Fields);

const SOAP_FIELD kNiExtensionFields[] = {
    SD_INT(NI, interface_type, tt, "InterfaceType"),
    SD_ARRAY(NI, dot11, dot11_count, tt, "Dot11", ONVIF_DOT11_CONFIGURATION),
};
SD_DEFINE_VIEW(SD_ONVIF_NETWORK_INTERFACE_extension, NI, kNiExtensionFields);

const SOAP_FIELD kNetworkInterfaceFields[] = {
    SD_ATTR_TEXT(NI, token, "token"),
    SD_BOOL(NI, enabled, tt, "Enabled"),
    sd::child("Info", SOAP_NS_tt, 0, &SD_ONVIF_NETWORK_INTERFACE_info).opt(SD_BIT(NI, flags, 0)),
    sd::child("IPv4", SOAP_NS_tt, 0, &SD_ONVIF_NETWORK_INTERFACE_ipv4).opt(SD_BIT(NI, flags, 1)),
    sd::child("Extension", SOAP_NS_tt, 0, &SD_ONVIF_NETWORK_INTERFACE_extension)
        .opt(SD_BIT(NI, flags, 2)),
};

// The set form: the fixed body of SetNetworkInterfaces. MTU goes only with
// Info and MTU both marked; the Manual address only without DHCP; the
// extension carries the Dot11 entries only (InterfaceType is read-only).
int write_set_interface(SOAP_WRITER *w, const void *field, const SOAP_FIELD *)
{
    const NI *p = static_cast<const NI *>(field);
    soap_w_open(w, "tds:NetworkInterface");
    soap_w_bool(w, "tt:Enabled", p->enabled);
    if ((p->flags & ONVIF_NETIF_FLAG_INFO) && (p->info_flags & ONVIF_NETIF_INFO_MTU))
        soap_w_int(w, "tt:MTU", p->mtu);
    if (p->flags & ONVIF_NETIF_FLAG_IPV4) {
        soap_w_open(w, "tt:IPv4");
        soap_w_bool(w, "tt:Enabled", p->ipv4_enabled);
        if (!p->dhcp) {
            soap_w_open(w, "tt:Manual");
            soap_w_field(w, "tt:Address", p->ipv4_address, (int)sizeof(p->ipv4_address));
            soap_w_int(w, "tt:PrefixLength", p->prefix_length);
            soap_w_close(w, "tt:Manual");
        }
        soap_w_bool(w, "tt:DHCP", p->dhcp);
        soap_w_close(w, "tt:IPv4");
    }
    if (p->flags & ONVIF_NETIF_FLAG_EXTENSION) {
        soap_w_open(w, "tt:Extension");
        int count = p->dot11_count;
        if (count > ONVIF_NETIF_MAX_DOT11) count = ONVIF_NETIF_MAX_DOT11;
        for (int i = 0; i < count; i++)
            soap_desc_write_element(w, "tt:Dot11", &SD_ONVIF_DOT11_CONFIGURATION, &p->dot11[i]);
        soap_w_close(w, "tt:Extension");
    }
    return soap_w_close(w, "tds:NetworkInterface");
}
const SOAP_HOOK kSetInterfaceHook = {write_set_interface, nullptr, nullptr};

const SOAP_FIELD kSetNetworkInterfacesFields[] = {
    SD_TEXT(NI, token, tds, "InterfaceToken"),
    sd::hook("NetworkInterface", SOAP_NS_tds, 0, sizeof(NI), &kSetInterfaceHook),
};
#undef NI

struct InterfacesHead {
    NetworkInterfaceList *head;
};
const SOAP_FIELD kGetNetworkInterfacesFields[] = {
    SD_LIST(InterfacesHead, head, tds, "NetworkInterfaces", ONVIF_NETWORK_INTERFACE),
};

const SOAP_FIELD kRebootNeededFields[] = {
    SD_BOOL(ONVIF_SET_NETWORK_INTERFACES_RES, reboot_needed, tds, "RebootNeeded"),
};

// ---- identity, host name, scopes ----

#define DI ONVIF_DEVICE_INFORMATION
const SOAP_FIELD kDeviceInformationFields[] = {
    SD_TEXT(DI, manufacturer, tds, "Manufacturer"),
    SD_TEXT(DI, model, tds, "Model"),
    SD_TEXT(DI, firmware_version, tds, "FirmwareVersion"),
    SD_TEXT(DI, serial_number, tds, "SerialNumber"),
    SD_TEXT(DI, hardware_id, tds, "HardwareId"),
};
#undef DI

const SOAP_FIELD kHostnameInfoFields[] = {
    SD_BOOL(ONVIF_HOSTNAME, from_dhcp, tt, "FromDHCP"),
    SD_TOKEN(ONVIF_HOSTNAME, name, tt, "Name").opt(SD_BIT(ONVIF_HOSTNAME, flags, 0)),
};
SD_DEFINE_VIEW(SD_ONVIF_HOSTNAME_info, ONVIF_HOSTNAME, kHostnameInfoFields);

const SOAP_FIELD kGetHostnameFields[] = {
    sd::child("HostnameInformation", SOAP_NS_tds, 0, &SD_ONVIF_HOSTNAME_info).required(),
};

const SOAP_FIELD kScopeFields[] = {
    SD_ENUM(ONVIF_SCOPE, definition, tt, "ScopeDef", ScopeDefinition),
    SD_TOKEN(ONVIF_SCOPE, item, tt, "ScopeItem"),
};

struct ScopesHead {
    ScopeList *head;
};
const SOAP_FIELD kGetScopesFields[] = {
    SD_LIST(ScopesHead, head, tds, "Scopes", ONVIF_SCOPE),
};

// ---- DNS and gateway ----

// DNS servers are written only when they are not taken from DHCP.
int write_dns_manual(SOAP_WRITER *w, const void *field, const SOAP_FIELD *)
{
    const ONVIF_DNS *p = static_cast<const ONVIF_DNS *>(field);
    if (p->from_dhcp) return 0;
    for (int i = 0; i < 2; i++) {
        if (!p->dns_manual[i][0]) continue;
        soap_w_puts(w, "<tds:DNSManual><tt:Type>IPv4</tt:Type>");
        soap_w_field(w, "tt:IPv4Address", p->dns_manual[i], (int)sizeof(p->dns_manual[i]));
        soap_w_close(w, "tds:DNSManual");
    }
    return w->overflow ? -1 : 0;
}
const SOAP_HOOK kDnsManualHook = {write_dns_manual, nullptr, nullptr};

const SOAP_FIELD kSetDnsFields[] = {
    SD_BOOL(ONVIF_DNS, from_dhcp, tds, "FromDHCP"),
    SD_TEXTS(ONVIF_DNS, search_domain, tds, "SearchDomain").opt(SD_BIT(ONVIF_DNS, flags, 0)),
    sd::hook("DNSManual", SOAP_NS_tds, 0, sizeof(ONVIF_DNS), &kDnsManualHook),
};

const SOAP_HOOK kGetDnsHook = {nullptr, read_whole<ONVIF_DNS, parse_GetDNS_rly>, nullptr};
const SOAP_FIELD kGetDnsFields[] = {
    sd::hook("DNSInformation", SOAP_NS_tds, 0, sizeof(ONVIF_DNS), &kGetDnsHook).required(),
};

const SOAP_FIELD kSetGatewayFields[] = {
    SD_TEXTS(ONVIF_NETWORK_GATEWAY, ipv4_address, tds, "IPv4Address"),
};

const SOAP_HOOK kGetGatewayHook = {
    nullptr, read_whole<ONVIF_NETWORK_GATEWAY, parse_GetNetworkDefaultGateway_rly>, nullptr};
const SOAP_FIELD kGetGatewayFields[] = {
    sd::hook("NetworkGateway", SOAP_NS_tds, 0, sizeof(ONVIF_NETWORK_GATEWAY), &kGetGatewayHook)
        .required(),
};

// ---- clock ----

const SOAP_HOOK kGetClockHook = {
    nullptr, read_whole<ONVIF_SYSTEM_DATETIME, parse_GetSystemDateAndTime_rly>, nullptr};
const SOAP_FIELD kGetClockFields[] = {
    sd::hook("SystemDateAndTime", SOAP_NS_tds, 0, sizeof(ONVIF_SYSTEM_DATETIME), &kGetClockHook)
        .required(),
};

#define SDT ONVIF_SET_SYSTEM_DATETIME_REQ
const SOAP_FIELD kTimeZoneFields[] = {
    SD_TEXT(SDT, tz, tt, "TZ"),
};
SD_DEFINE_VIEW(SD_ONVIF_SET_SYSTEM_DATETIME_tz, SDT, kTimeZoneFields);

const SOAP_FIELD kSetClockFields[] = {
    SD_ENUM(SDT, date_time_type, tds, "DateTimeType", SetDateTimeType),
    SD_BOOL(SDT, daylight_savings, tds, "DaylightSavings"),
    sd::child("TimeZone", SOAP_NS_tds, 0, &SD_ONVIF_SET_SYSTEM_DATETIME_tz)
        .opt(SD_BIT(SDT, flags, 0)),
    SD_CHILD(SDT, utc, tds, "UTCDateTime", ONVIF_DATETIME).opt(SD_BIT(SDT, flags, 1)),
};
#undef SDT

// ---- capabilities and services (merged into the caller's block) ----

const SOAP_FIELD kGetCapabilitiesReqFields[] = {
    SD_ENUM(ONVIF_GET_CAPABILITIES_REQ, category, tds, "Category", CapabilityCategory),
};

const SOAP_HOOK kGetCapabilitiesHook = {
    nullptr, read_whole<ONVIF_CAPABILITIES, parse_GetCapabilities_rly>, nullptr};
const SOAP_FIELD kGetCapabilitiesFields[] = {
    sd::hook("Capabilities", SOAP_NS_tds, 0, sizeof(ONVIF_CAPABILITIES), &kGetCapabilitiesHook)
        .required(),
};

const SOAP_FIELD kGetServicesReqFields[] = {
    SD_BOOL(ONVIF_GET_SERVICES_REQ, include_capability, tds, "IncludeCapability"),
};

const SOAP_HOOK kGetServicesHook = {nullptr, read_whole<ONVIF_CAPABILITIES, parse_GetServices_rly>,
                                    nullptr};
const SOAP_FIELD kGetServicesFields[] = {
    sd::hook("Service", SOAP_NS_tds, 0, sizeof(ONVIF_CAPABILITIES), &kGetServicesHook).required(),
};

} // namespace

extern "C" {

SD_DEFINE_TYPE(ONVIF_DATETIME, kDateTimeFields);
SD_DEFINE_TYPE(ONVIF_DOT11_CONFIGURATION, kDot11Fields);
SD_DEFINE_TYPE(ONVIF_NETWORK_INTERFACE, kNetworkInterfaceFields);
SD_DEFINE_TYPE(ONVIF_SCOPE, kScopeFields);

SD_DEFINE_VIEW(SD_tds_GetCapabilities_REQ, ONVIF_GET_CAPABILITIES_REQ, kGetCapabilitiesReqFields);
SD_DEFINE_VIEW(SD_tds_GetCapabilities_RES, ONVIF_CAPABILITIES, kGetCapabilitiesFields);
SD_DEFINE_VIEW(SD_tds_GetServices_REQ, ONVIF_GET_SERVICES_REQ, kGetServicesReqFields);
SD_DEFINE_VIEW(SD_tds_GetServices_RES, ONVIF_CAPABILITIES, kGetServicesFields);
SD_DEFINE_VIEW(SD_tds_GetDeviceInformation_RES, ONVIF_DEVICE_INFORMATION, kDeviceInformationFields);
SD_DEFINE_VIEW(SD_tds_GetNetworkInterfaces_RES, InterfacesHead, kGetNetworkInterfacesFields);
SD_DEFINE_VIEW(SD_tds_SetNetworkInterfaces_REQ, ONVIF_NETWORK_INTERFACE,
               kSetNetworkInterfacesFields);
SD_DEFINE_VIEW(SD_tds_SetNetworkInterfaces_RES, ONVIF_SET_NETWORK_INTERFACES_RES,
               kRebootNeededFields);
SD_DEFINE_VIEW(SD_tds_SetHostnameFromDHCP_RES, ONVIF_SET_NETWORK_INTERFACES_RES,
               kRebootNeededFields);
SD_DEFINE_VIEW(SD_tds_GetHostname_RES, ONVIF_HOSTNAME, kGetHostnameFields);
SD_DEFINE_VIEW(SD_tds_GetScopes_RES, ScopesHead, kGetScopesFields);
SD_DEFINE_VIEW(SD_tds_GetDNS_RES, ONVIF_DNS, kGetDnsFields);
SD_DEFINE_VIEW(SD_tds_SetDNS_REQ, ONVIF_DNS, kSetDnsFields);
SD_DEFINE_VIEW(SD_tds_GetNetworkDefaultGateway_RES, ONVIF_NETWORK_GATEWAY, kGetGatewayFields);
SD_DEFINE_VIEW(SD_tds_SetNetworkDefaultGateway_REQ, ONVIF_NETWORK_GATEWAY, kSetGatewayFields);
SD_DEFINE_VIEW(SD_tds_GetSystemDateAndTime_RES, ONVIF_SYSTEM_DATETIME, kGetClockFields);
SD_DEFINE_VIEW(SD_tds_SetSystemDateAndTime_REQ, ONVIF_SET_SYSTEM_DATETIME_REQ, kSetClockFields);

} // extern "C"
