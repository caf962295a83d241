// Capability parsing: the GetCapabilities reply (one child element per
// service) and the GetServices reply (one Service element per service, its
// capabilities as attributes) both update the device's ONVIF_CAPABILITIES
// block in place. What a reply does not mention keeps its value.

#include "onvif/onvif_caps.h"

#include <limits.h>
#include <string.h>
#include <strings.h>

#include "onvif/soap_util.h"
#include "platform/sys_log.h"

namespace
{

// ---- small field helpers ----------------------------------------------------

void put_bit(uint32_t *flags, uint32_t bit, bool on)
{
    if (on)
        *flags |= bit;
    else
        *flags &= ~bit;
}

// A boolean child element: the bit follows its text ("true" sets it, any
// other text clears it); an absent element leaves the bit alone.
void elem_bit(XML_NODE *parent, const char *name, uint32_t *flags, uint32_t bit)
{
    XML_NODE *node = xml_node_soap_get(parent, name);
    if (node) put_bit(flags, bit, parse_Bool(node->text) == 1);
}

// An integer child element; absent or without text leaves the field.
void elem_int(XML_NODE *parent, const char *name, int32_t *out)
{
    const char *text = soap_child_text(parent, name);
    if (text) *out = soap_atoi(text);
}

// An integer child element that also sets a presence bit when found.
void elem_int_has(XML_NODE *parent, const char *name, int32_t *out, uint32_t *flags, uint32_t bit)
{
    const char *text = soap_child_text(parent, name);
    if (!text) return;
    *out = soap_atoi(text);
    *flags |= bit;
}

// The attribute counterparts.
void attr_bit(XML_NODE *node, const char *name, uint32_t *flags, uint32_t bit)
{
    const char *value = xml_attr_get(node, name);
    if (value) put_bit(flags, bit, parse_Bool(value) == 1);
}

void attr_int(XML_NODE *node, const char *name, int32_t *out)
{
    const char *value = xml_attr_get(node, name);
    if (value) *out = soap_atoi(value);
}

void attr_int_has(XML_NODE *node, const char *name, int32_t *out, uint32_t *flags, uint32_t bit)
{
    const char *value = xml_attr_get(node, name);
    if (!value) return;
    *out = soap_atoi(value);
    *flags |= bit;
}

// A boolean kept in a field of its own, with a presence bit.
void attr_bool_has(XML_NODE *node, const char *name, int32_t *out, uint32_t *flags, uint32_t bit)
{
    const char *value = xml_attr_get(node, name);
    if (!value) return;
    *out = parse_Bool(value);
    *flags |= bit;
}

void attr_text(XML_NODE *node, const char *name, char *dst, int size)
{
    soap_get_attr(node, name, dst, size);
}

void attr_text_has(XML_NODE *node, const char *name, char *dst, int size, uint32_t *flags,
                   uint32_t bit)
{
    if (soap_get_attr(node, name, dst, size)) *flags |= bit;
}

// Appends the decoded text and one blank to dst (a char[size] holding a
// terminated text), cutting at the field's end.
void append_word(char *dst, int size, const char *text)
{
    int used = (int)strnlen(dst, (size_t)size - 1);
    if (used >= size - 1) return;
    used += soap_copy_text(dst + used, size - used, text);
    if (used < size - 1) {
        dst[used] = ' ';
        dst[used + 1] = '\0';
    }
}

// Every element named name from the first through its following siblings,
// their texts joined by blanks; the field is emptied first when there is at
// least one such element and left alone otherwise.
void elem_word_list(XML_NODE *parent, const char *name, char *dst, int size)
{
    XML_NODE *node = soap_first(parent, name);
    if (!node) return;
    dst[0] = '\0';
    for (; node; node = soap_next(node, name)) {
        if (node->text) append_word(dst, size, node->text);
    }
}

// The XAddr child of a section: parsed into xaddr and 1 when there is one
// that can be used. A missing, empty or unusable XAddr gives 0 and leaves
// the stored address as it was.
int read_xaddr(XML_NODE *section, ONVIF_XADDR *xaddr, const char *who)
{
    const char *text = soap_child_text(section, "XAddr");
    if (!text || !text[0]) return 0;

    char url[512];
    soap_copy_text(url, (int)sizeof(url), text);
    ONVIF_XADDR parsed;
    memset(&parsed, 0, sizeof(parsed));
    if (!parse_XAddr(url, &parsed) || parsed.host[0] == '\0') {
        log_print(LOG_WARN, "%s, invalid XAddr %s\r\n", who, url);
        return 0;
    }
    *xaddr = parsed;
    return 1;
}

// xs:duration ("P1DT2H3M4.5S", "-PT30S") as whole seconds, saturated to the
// int32 range; years count 365 days, months 30. 0 when it is not a duration.
int parse_duration(const char *text, int32_t *out)
{
    if (!text) return 0;
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        p++;
    bool neg = false;
    if (*p == '-') {
        neg = true;
        p++;
    }
    if (*p++ != 'P') return 0;

    long long total = 0;
    bool in_time = false;
    bool any = false;
    while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') {
        if (*p == 'T') {
            in_time = true;
            p++;
            continue;
        }
        if (*p < '0' || *p > '9') return 0;
        long long v = 0;
        for (; *p >= '0' && *p <= '9'; p++) {
            if (v < 1000000000000LL) v = v * 10 + (*p - '0');
        }
        if (*p == '.') { // fraction: only meaningful for seconds, dropped
            p++;
            while (*p >= '0' && *p <= '9')
                p++;
        }
        long long unit;
        switch (*p) {
        case 'Y':
            unit = in_time ? -1 : 365LL * 86400;
            break;
        case 'M':
            unit = in_time ? 60 : 30LL * 86400;
            break;
        case 'D':
            unit = in_time ? -1 : 86400;
            break;
        case 'H':
            unit = in_time ? 3600 : -1;
            break;
        case 'S':
            unit = in_time ? 1 : -1;
            break;
        default:
            unit = -1;
            break;
        }
        if (unit < 0) return 0;
        p++;
        total += v * unit;
        if (total > INT_MAX) total = INT_MAX;
        any = true;
    }
    if (!any) return 0;
    *out = (int32_t)(neg ? -total : total);
    return 1;
}

// ---- GetCapabilities sections ---------------------------------------------

void caps_device_network(XML_NODE *net, ONVIF_CAP_DEVICE *dev)
{
    elem_bit(net, "IPFilter", &dev->flags, ONVIF_CAP_DEV_IPFILTER);
    elem_bit(net, "ZeroConfiguration", &dev->flags, ONVIF_CAP_DEV_ZERO_CONFIGURATION);
    elem_bit(net, "IPVersion6", &dev->flags, ONVIF_CAP_DEV_IPVERSION6);
    elem_bit(net, "DynDNS", &dev->flags, ONVIF_CAP_DEV_DYNDNS);
    XML_NODE *ext = xml_node_soap_get(net, "Extension");
    if (ext) elem_bit(ext, "Dot11Configuration", &dev->flags, ONVIF_CAP_DEV_DOT11_CONFIGURATION);
}

void caps_device_io(XML_NODE *io, ONVIF_CAP_DEVICE *dev)
{
    elem_int(io, "InputConnectors", &dev->input_connectors);
    elem_int(io, "RelayOutputs", &dev->relay_outputs);
    XML_NODE *ext = xml_node_soap_get(io, "Extension");
    if (!ext) return;
    elem_bit(ext, "Auxiliary", &dev->io_flags, ONVIF_CAP_DEV_IO_AUXILIARY);
    elem_word_list(ext, "AuxiliaryCommands", dev->auxiliary_commands,
                   (int)sizeof(dev->auxiliary_commands));
}

void caps_device_system(XML_NODE *sys, ONVIF_CAP_DEVICE *dev)
{
    elem_bit(sys, "DiscoveryResolve", &dev->flags, ONVIF_CAP_DEV_DISCOVERY_RESOLVE);
    elem_bit(sys, "DiscoveryBye", &dev->flags, ONVIF_CAP_DEV_DISCOVERY_BYE);
    elem_bit(sys, "RemoteDiscovery", &dev->flags, ONVIF_CAP_DEV_REMOTE_DISCOVERY);
    elem_bit(sys, "SystemBackup", &dev->flags, ONVIF_CAP_DEV_SYSTEM_BACKUP);
    elem_bit(sys, "SystemLogging", &dev->flags, ONVIF_CAP_DEV_SYSTEM_LOGGING);
    elem_bit(sys, "FirmwareUpgrade", &dev->flags, ONVIF_CAP_DEV_FIRMWARE_UPGRADE);
    XML_NODE *ext = xml_node_soap_get(sys, "Extension");
    if (!ext) return;
    elem_bit(ext, "HttpFirmwareUpgrade", &dev->flags, ONVIF_CAP_DEV_HTTP_FIRMWARE_UPGRADE);
    elem_bit(ext, "HttpSystemBackup", &dev->flags, ONVIF_CAP_DEV_HTTP_SYSTEM_BACKUP);
    elem_bit(ext, "HttpSystemLogging", &dev->flags, ONVIF_CAP_DEV_HTTP_SYSTEM_LOGGING);
    elem_bit(ext, "HttpSupportInformation", &dev->flags, ONVIF_CAP_DEV_HTTP_SUPPORT_INFORMATION);
}

void caps_device_security(XML_NODE *sec, ONVIF_CAP_DEVICE *dev)
{
    elem_bit(sec, "TLS1.1", &dev->flags, ONVIF_CAP_DEV_TLS1_1);
    elem_bit(sec, "TLS1.2", &dev->flags, ONVIF_CAP_DEV_TLS1_2);
    elem_bit(sec, "OnboardKeyGeneration", &dev->flags, ONVIF_CAP_DEV_ONBOARD_KEY_GENERATION);
    elem_bit(sec, "AccessPolicyConfig", &dev->flags, ONVIF_CAP_DEV_ACCESS_POLICY_CONFIG);
    elem_bit(sec, "X.509Token", &dev->flags, ONVIF_CAP_DEV_X509_TOKEN);
    elem_bit(sec, "SAMLToken", &dev->flags, ONVIF_CAP_DEV_SAML_TOKEN);
    elem_bit(sec, "KerberosToken", &dev->flags, ONVIF_CAP_DEV_KERBEROS_TOKEN);
    elem_bit(sec, "RELToken", &dev->flags, ONVIF_CAP_DEV_REL_TOKEN);
    XML_NODE *ext = xml_node_soap_get(sec, "Extension");
    if (!ext) return;
    elem_bit(ext, "TLS1.0", &dev->flags, ONVIF_CAP_DEV_TLS1_0);
    XML_NODE *ext2 = xml_node_soap_get(ext, "Extension");
    if (!ext2) return;
    elem_bit(ext2, "Dot1X", &dev->flags, ONVIF_CAP_DEV_DOT1X);
    elem_int(ext2, "SupportedEAPMethod", &dev->supported_eap_methods);
    elem_bit(ext2, "RemoteUserHandling", &dev->flags, ONVIF_CAP_DEV_REMOTE_USER_HANDLING);
}

void caps_analytics(XML_NODE *sec, ONVIF_CAP_ANALYTICS *cap)
{
    if (!read_xaddr(sec, &cap->xaddr, "parse_GetCapabilities_rly")) {
        cap->flags &= ~ONVIF_CAP_ANALYTICS_PRESENT;
        return;
    }
    cap->flags |= ONVIF_CAP_ANALYTICS_PRESENT;
    elem_bit(sec, "RuleSupport", &cap->flags, ONVIF_CAP_ANA_RULE_SUPPORT);
    // The schema names it AnalyticsModuleSupport; the underscored spelling
    // is accepted from devices that write it that way.
    const char *name = xml_node_soap_get(sec, "AnalyticsModuleSupport") ? "AnalyticsModuleSupport"
                                                                        : "_AnalyticsModuleSupport";
    elem_bit(sec, name, &cap->flags, ONVIF_CAP_ANA_ANALYTICS_MODULE_SUPPORT);
}

void caps_events(XML_NODE *sec, ONVIF_CAP_EVENTS *cap)
{
    if (!read_xaddr(sec, &cap->xaddr, "parse_GetCapabilities_rly")) {
        cap->flags &= ~ONVIF_CAP_EVENTS_PRESENT;
        return;
    }
    cap->flags |= ONVIF_CAP_EVENTS_PRESENT;
    elem_bit(sec, "WSSubscriptionPolicySupport", &cap->flags, ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY);
    elem_bit(sec, "WSPullPointSupport", &cap->flags, ONVIF_CAP_EVT_WS_PULL_POINT);
    elem_bit(sec, "WSPausableSubscriptionManagerInterfaceSupport", &cap->flags,
             ONVIF_CAP_EVT_WS_PAUSABLE_SUBSCRIPTION);
}

void caps_media(XML_NODE *sec, ONVIF_CAP_MEDIA *cap)
{
    if (!read_xaddr(sec, &cap->xaddr, "parse_GetCapabilities_rly")) {
        cap->flags &= ~ONVIF_CAP_MEDIA_PRESENT;
        return;
    }
    cap->flags |= ONVIF_CAP_MEDIA_PRESENT;
    XML_NODE *stream = xml_node_soap_get(sec, "StreamingCapabilities");
    if (stream) {
        elem_bit(stream, "RTPMulticast", &cap->flags, ONVIF_CAP_MED_RTP_MULTICAST);
        elem_bit(stream, "RTP_TCP", &cap->flags, ONVIF_CAP_MED_RTP_TCP);
        elem_bit(stream, "RTP_RTSP_TCP", &cap->flags, ONVIF_CAP_MED_RTP_RTSP_TCP);
    }
    XML_NODE *ext = xml_node_soap_get(sec, "Extension");
    XML_NODE *prof = xml_node_soap_get(ext, "ProfileCapabilities");
    if (prof) elem_int(prof, "MaximumNumberOfProfiles", &cap->maximum_number_of_profiles);
}

// Sections that carry nothing but their address.
void caps_xaddr_only(XML_NODE *sec, ONVIF_XADDR *xaddr, uint32_t *flags, uint32_t present)
{
    put_bit(flags, present, read_xaddr(sec, xaddr, "parse_GetCapabilities_rly") == 1);
}

void caps_deviceio(XML_NODE *sec, ONVIF_CAP_DEVICEIO *cap)
{
    if (!read_xaddr(sec, &cap->xaddr, "parse_GetCapabilities_rly")) {
        cap->flags &= ~ONVIF_CAP_DEVICEIO_PRESENT;
        return;
    }
    cap->flags |= ONVIF_CAP_DEVICEIO_PRESENT;
    elem_int_has(sec, "VideoSources", &cap->video_sources, &cap->flags,
                 ONVIF_CAP_DIO_HAS_VIDEO_SOURCES);
    elem_int_has(sec, "VideoOutputs", &cap->video_outputs, &cap->flags,
                 ONVIF_CAP_DIO_HAS_VIDEO_OUTPUTS);
    elem_int_has(sec, "AudioSources", &cap->audio_sources, &cap->flags,
                 ONVIF_CAP_DIO_HAS_AUDIO_SOURCES);
    elem_int_has(sec, "AudioOutputs", &cap->audio_outputs, &cap->flags,
                 ONVIF_CAP_DIO_HAS_AUDIO_OUTPUTS);
    elem_int_has(sec, "RelayOutputs", &cap->relay_outputs, &cap->flags,
                 ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS);
    elem_int_has(sec, "SerialPorts", &cap->serial_ports, &cap->flags,
                 ONVIF_CAP_DIO_HAS_SERIAL_PORTS);
    elem_int_has(sec, "DigitalInputs", &cap->digital_inputs, &cap->flags,
                 ONVIF_CAP_DIO_HAS_DIGITAL_INPUTS);
    const char *opt = soap_child_text(sec, "DigitalInputOptions");
    if (opt) {
        cap->digital_input_options = parse_Bool(opt);
        cap->flags |= ONVIF_CAP_DIO_HAS_DIGITAL_INPUT_OPTIONS;
    }
}

void caps_recording(XML_NODE *sec, ONVIF_CAP_RECORDING *cap)
{
    if (!read_xaddr(sec, &cap->xaddr, "parse_GetCapabilities_rly")) {
        cap->flags &= ~ONVIF_CAP_RECORDING_PRESENT;
        return;
    }
    cap->flags |= ONVIF_CAP_RECORDING_PRESENT;
    elem_bit(sec, "ReceiverSource", &cap->flags, ONVIF_CAP_REC_RECEIVER_SOURCE);
    elem_bit(sec, "MediaProfileSource", &cap->flags, ONVIF_CAP_REC_MEDIA_PROFILE_SOURCE);
    elem_bit(sec, "DynamicRecordings", &cap->flags, ONVIF_CAP_REC_DYNAMIC_RECORDINGS);
    elem_bit(sec, "DynamicTracks", &cap->flags, ONVIF_CAP_REC_DYNAMIC_TRACKS);
    elem_int(sec, "MaxStringLength", &cap->max_string_length);
}

void caps_search(XML_NODE *sec, ONVIF_CAP_SEARCH *cap)
{
    if (!read_xaddr(sec, &cap->xaddr, "parse_GetCapabilities_rly")) {
        cap->flags &= ~ONVIF_CAP_SEARCH_PRESENT;
        return;
    }
    cap->flags |= ONVIF_CAP_SEARCH_PRESENT;
    elem_bit(sec, "MetadataSearch", &cap->flags, ONVIF_CAP_SRC_METADATA_SEARCH);
}

// ---- GetServices: which service a Namespace names ---------------------------

enum Service {
    SVC_NONE,
    SVC_DEVICEIO,
    SVC_DEVICE,
    SVC_MEDIA,
    SVC_MEDIA2,
    SVC_EVENTS,
    SVC_PTZ,
    SVC_IMAGING,
    SVC_ANALYTICS,
    SVC_RECORDING,
    SVC_SEARCH,
    SVC_REPLAY,
    SVC_ACCESSCONTROL,
    SVC_DOORCONTROL,
    SVC_THERMAL,
    SVC_CREDENTIAL,
    SVC_ACCESSRULES,
    SVC_SCHEDULE,
    SVC_RECEIVER,
    SVC_PROVISIONING,
};

struct NamespaceKey {
    const char *text;
    Service service;
};

// Tested in this order; "deviceIO" before "device".
const NamespaceKey kNamespaceKeys[] = {
    {"deviceIO", SVC_DEVICEIO},
    {"device", SVC_DEVICE},
    {"ver10/media", SVC_MEDIA},
    {"ver20/media", SVC_MEDIA2},
    {"events", SVC_EVENTS},
    {"ptz", SVC_PTZ},
    {"imaging", SVC_IMAGING},
    {"analytics", SVC_ANALYTICS},
    {"recording", SVC_RECORDING},
    {"search", SVC_SEARCH},
    {"replay", SVC_REPLAY},
    {"accesscontrol", SVC_ACCESSCONTROL},
    {"doorcontrol", SVC_DOORCONTROL},
    {"thermal", SVC_THERMAL},
    {"credential", SVC_CREDENTIAL},
    {"accessrules", SVC_ACCESSRULES},
    {"schedule", SVC_SCHEDULE},
    {"receiver", SVC_RECEIVER},
    {"provisioning", SVC_PROVISIONING},
};

bool ends_segment(char c)
{
    return c == '\0' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The key must stand as whole path segments of the namespace URI
// (".../ver10/device/wsdl"), so that e.g. ".../analyticsdevice/wsdl" or
// ".../federatedsearch/wsdl" are not taken for the device or search service.
bool has_segment(const char *ns, const char *key)
{
    size_t klen = strlen(key);
    for (const char *p = strstr(ns, key); p; p = strstr(p + 1, key)) {
        if ((p == ns || p[-1] == '/') && ends_segment(p[klen])) return true;
    }
    return false;
}

Service service_of(const char *ns)
{
    if (!ns) return SVC_NONE;
    for (const NamespaceKey &k : kNamespaceKeys) {
        if (has_segment(ns, k.text)) return k.service;
    }
    return SVC_NONE;
}

// Where a service's common members live inside the block.
struct ServiceSlot {
    uint32_t *flags;
    uint32_t present;
    int32_t *version_major;
    int32_t *version_minor;
    ONVIF_XADDR *xaddr;
};

template <typename T> ServiceSlot slot_of(T *cap, uint32_t present)
{
    return ServiceSlot{&cap->flags, present, &cap->version_major, &cap->version_minor, &cap->xaddr};
}

ServiceSlot slot_for(Service s, ONVIF_CAPABILITIES *c)
{
    switch (s) {
    case SVC_DEVICE:
        return slot_of(&c->device, 0);
    case SVC_DEVICEIO:
        return slot_of(&c->deviceio, ONVIF_CAP_DEVICEIO_PRESENT);
    case SVC_MEDIA:
        return slot_of(&c->media, ONVIF_CAP_MEDIA_PRESENT);
    case SVC_MEDIA2:
        return slot_of(&c->media2, ONVIF_CAP_MEDIA2_PRESENT);
    case SVC_EVENTS:
        return slot_of(&c->events, ONVIF_CAP_EVENTS_PRESENT);
    case SVC_PTZ:
        return slot_of(&c->ptz, ONVIF_CAP_PTZ_PRESENT);
    case SVC_IMAGING:
        return slot_of(&c->imaging, ONVIF_CAP_IMAGING_PRESENT);
    case SVC_ANALYTICS:
        return slot_of(&c->analytics, ONVIF_CAP_ANALYTICS_PRESENT);
    case SVC_RECORDING:
        return slot_of(&c->recording, ONVIF_CAP_RECORDING_PRESENT);
    case SVC_SEARCH:
        return slot_of(&c->search, ONVIF_CAP_SEARCH_PRESENT);
    case SVC_REPLAY:
        return slot_of(&c->replay, ONVIF_CAP_REPLAY_PRESENT);
    case SVC_ACCESSCONTROL:
        return slot_of(&c->accesscontrol, ONVIF_CAP_ACCESSCONTROL_PRESENT);
    case SVC_DOORCONTROL:
        return slot_of(&c->doorcontrol, ONVIF_CAP_DOORCONTROL_PRESENT);
    case SVC_THERMAL:
        return slot_of(&c->thermal, ONVIF_CAP_THERMAL_PRESENT);
    case SVC_CREDENTIAL:
        return slot_of(&c->credential, ONVIF_CAP_CREDENTIAL_PRESENT);
    case SVC_ACCESSRULES:
        return slot_of(&c->accessrules, ONVIF_CAP_ACCESSRULES_PRESENT);
    case SVC_SCHEDULE:
        return slot_of(&c->schedule, ONVIF_CAP_SCHEDULE_PRESENT);
    case SVC_RECEIVER:
        return slot_of(&c->receiver, ONVIF_CAP_RECEIVER_PRESENT);
    case SVC_PROVISIONING:
        return slot_of(&c->provisioning, ONVIF_CAP_PROVISIONING_PRESENT);
    case SVC_NONE:
        break;
    }
    return ServiceSlot{nullptr, 0, nullptr, nullptr, nullptr};
}

void service_caps(Service s, XML_NODE *caps, ONVIF_CAPABILITIES *c)
{
    switch (s) {
    case SVC_DEVICE:
        parse_tds_ServiceCapabilities(caps, &c->device);
        break;
    case SVC_DEVICEIO:
        parse_tmd_ServiceCapabilities(caps, &c->deviceio);
        break;
    case SVC_MEDIA:
        parse_trt_ServiceCapabilities(caps, &c->media);
        break;
    case SVC_MEDIA2:
        parse_tr2_ServiceCapabilities(caps, &c->media2);
        break;
    case SVC_EVENTS:
        parse_tev_ServiceCapabilities(caps, &c->events);
        break;
    case SVC_PTZ:
        parse_ptz_ServiceCapabilities(caps, &c->ptz);
        break;
    case SVC_IMAGING:
        parse_img_ServiceCapabilities(caps, &c->imaging);
        break;
    case SVC_ANALYTICS:
        parse_tan_ServiceCapabilities(caps, &c->analytics);
        break;
    case SVC_RECORDING:
        parse_trc_ServiceCapabilities(caps, &c->recording);
        break;
    case SVC_SEARCH:
        parse_tse_ServiceCapabilities(caps, &c->search);
        break;
    case SVC_REPLAY:
        parse_trp_ServiceCapabilities(caps, &c->replay);
        break;
    case SVC_ACCESSCONTROL:
        parse_tac_ServiceCapabilities(caps, &c->accesscontrol);
        break;
    case SVC_DOORCONTROL:
        parse_tdc_ServiceCapabilities(caps, &c->doorcontrol);
        break;
    case SVC_THERMAL:
        parse_tth_ServiceCapabilities(caps, &c->thermal);
        break;
    case SVC_CREDENTIAL:
        parse_tcr_ServiceCapabilities(caps, &c->credential);
        break;
    case SVC_ACCESSRULES:
        parse_tar_ServiceCapabilities(caps, &c->accessrules);
        break;
    case SVC_SCHEDULE:
        parse_tsc_ServiceCapabilities(caps, &c->schedule);
        break;
    case SVC_RECEIVER:
        parse_trv_ServiceCapabilities(caps, &c->receiver);
        break;
    case SVC_PROVISIONING:
        parse_tpv_ServiceCapabilities(caps, &c->provisioning);
        break;
    case SVC_NONE:
        break;
    }
}

void parse_service(XML_NODE *svc, ONVIF_CAPABILITIES *c)
{
    Service s = service_of(soap_child_text(svc, "Namespace"));
    if (s == SVC_NONE) return;
    ServiceSlot slot = slot_for(s, c);

    if (!read_xaddr(svc, slot.xaddr, "parse_GetServices_rly")) {
        *slot.flags &= ~slot.present; // the device service has no such bit
        return;
    }
    XML_NODE *outer = xml_node_soap_get(svc, "Capabilities");
    XML_NODE *inner = xml_node_soap_get(outer, "Capabilities");
    if (inner) service_caps(s, inner, c);

    XML_NODE *ver = xml_node_soap_get(svc, "Version");
    if (ver) {
        elem_int(ver, "Major", slot.version_major);
        elem_int(ver, "Minor", slot.version_minor);
    }
    *slot.flags |= slot.present;
}

} // namespace

// ---- GetCapabilities ----------------------------------------------------------

extern "C" int parse_Device_capabilities(XML_NODE *p_node, ONVIF_CAPABILITIES *p_res)
{
    if (!p_node || !p_res) return 0;
    ONVIF_CAP_DEVICE *dev = &p_res->device;
    if (!read_xaddr(p_node, &dev->xaddr, "parse_Device_capabilities")) return 0;

    XML_NODE *net = xml_node_soap_get(p_node, "Network");
    if (net) caps_device_network(net, dev);
    XML_NODE *io = xml_node_soap_get(p_node, "IO");
    if (io) caps_device_io(io, dev);
    XML_NODE *sys = xml_node_soap_get(p_node, "System");
    if (sys) caps_device_system(sys, dev);
    XML_NODE *sec = xml_node_soap_get(p_node, "Security");
    if (sec) caps_device_security(sec, dev);
    return 1;
}

extern "C" int parse_GetCapabilities_rly(XML_NODE *p_node, ONVIF_CAPABILITIES *p_res)
{
    if (!p_node || !p_res) return 0;
    XML_NODE *caps = xml_node_soap_get(p_node, "Capabilities");
    if (!caps) return 0;

    XML_NODE *sec;
    if ((sec = xml_node_soap_get(caps, "Analytics")) != nullptr)
        caps_analytics(sec, &p_res->analytics);
    if ((sec = xml_node_soap_get(caps, "Device")) != nullptr) parse_Device_capabilities(sec, p_res);
    if ((sec = xml_node_soap_get(caps, "Events")) != nullptr) caps_events(sec, &p_res->events);
    if ((sec = xml_node_soap_get(caps, "Imaging")) != nullptr)
        caps_xaddr_only(sec, &p_res->imaging.xaddr, &p_res->imaging.flags,
                        ONVIF_CAP_IMAGING_PRESENT);
    if ((sec = xml_node_soap_get(caps, "Media")) != nullptr) caps_media(sec, &p_res->media);
    if ((sec = xml_node_soap_get(caps, "PTZ")) != nullptr)
        caps_xaddr_only(sec, &p_res->ptz.xaddr, &p_res->ptz.flags, ONVIF_CAP_PTZ_PRESENT);

    XML_NODE *ext = xml_node_soap_get(caps, "Extension");
    if (!ext) return 1;
    if ((sec = xml_node_soap_get(ext, "DeviceIO")) != nullptr) caps_deviceio(sec, &p_res->deviceio);
    if ((sec = xml_node_soap_get(ext, "Recording")) != nullptr)
        caps_recording(sec, &p_res->recording);
    if ((sec = xml_node_soap_get(ext, "Search")) != nullptr) caps_search(sec, &p_res->search);
    if ((sec = xml_node_soap_get(ext, "Replay")) != nullptr)
        caps_xaddr_only(sec, &p_res->replay.xaddr, &p_res->replay.flags, ONVIF_CAP_REPLAY_PRESENT);
    return 1;
}

// ---- GetServices -----------------------------------------------------------------

extern "C" int parse_GetServices_rly(XML_NODE *p_node, ONVIF_CAPABILITIES *p_res)
{
    if (!p_node || !p_res) return 1;
    for (XML_NODE *svc = soap_first(p_node, "Service"); svc; svc = soap_next(svc, "Service"))
        parse_service(svc, p_res);
    return 1;
}

extern "C" void parse_tds_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_DEVICE *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;

    XML_NODE *net = xml_node_soap_get(p_node, "Network");
    if (net) {
        attr_bit(net, "IPFilter", f, ONVIF_CAP_DEV_IPFILTER);
        attr_bit(net, "ZeroConfiguration", f, ONVIF_CAP_DEV_ZERO_CONFIGURATION);
        attr_bit(net, "IPVersion6", f, ONVIF_CAP_DEV_IPVERSION6);
        attr_bit(net, "DynDNS", f, ONVIF_CAP_DEV_DYNDNS);
        attr_bit(net, "Dot11Configuration", f, ONVIF_CAP_DEV_DOT11_CONFIGURATION);
        attr_int(net, "Dot1XConfigurations", &p_cap->dot1x_configurations);
        attr_bit(net, "HostnameFromDHCP", f, ONVIF_CAP_DEV_HOSTNAME_FROM_DHCP);
        attr_int(net, "NTP", &p_cap->max_ntp);
        attr_bit(net, "DHCPv6", f, ONVIF_CAP_DEV_DHCPV6);
    }
    XML_NODE *sec = xml_node_soap_get(p_node, "Security");
    if (sec) {
        attr_bit(sec, "TLS1.0", f, ONVIF_CAP_DEV_TLS1_0);
        attr_bit(sec, "TLS1.1", f, ONVIF_CAP_DEV_TLS1_1);
        attr_bit(sec, "TLS1.2", f, ONVIF_CAP_DEV_TLS1_2);
        attr_bit(sec, "OnboardKeyGeneration", f, ONVIF_CAP_DEV_ONBOARD_KEY_GENERATION);
        attr_bit(sec, "AccessPolicyConfig", f, ONVIF_CAP_DEV_ACCESS_POLICY_CONFIG);
        attr_bit(sec, "DefaultAccessPolicy", f, ONVIF_CAP_DEV_DEFAULT_ACCESS_POLICY);
        attr_bit(sec, "Dot1X", f, ONVIF_CAP_DEV_DOT1X);
        attr_bit(sec, "RemoteUserHandling", f, ONVIF_CAP_DEV_REMOTE_USER_HANDLING);
        attr_bit(sec, "X.509Token", f, ONVIF_CAP_DEV_X509_TOKEN);
        attr_bit(sec, "SAMLToken", f, ONVIF_CAP_DEV_SAML_TOKEN);
        attr_bit(sec, "KerberosToken", f, ONVIF_CAP_DEV_KERBEROS_TOKEN);
        attr_bit(sec, "UsernameToken", f, ONVIF_CAP_DEV_USERNAME_TOKEN);
        attr_bit(sec, "HttpDigest", f, ONVIF_CAP_DEV_HTTP_DIGEST);
        attr_bit(sec, "RELToken", f, ONVIF_CAP_DEV_REL_TOKEN);
        attr_int(sec, "SupportedEAPMethods", &p_cap->supported_eap_methods);
        attr_int(sec, "MaxUsers", &p_cap->max_users);
        attr_int(sec, "MaxUserNameLength", &p_cap->max_username_length);
        attr_int(sec, "MaxPasswordLength", &p_cap->max_password_length);
    }
    XML_NODE *sys = xml_node_soap_get(p_node, "System");
    if (sys) {
        attr_bit(sys, "DiscoveryResolve", f, ONVIF_CAP_DEV_DISCOVERY_RESOLVE);
        attr_bit(sys, "DiscoveryBye", f, ONVIF_CAP_DEV_DISCOVERY_BYE);
        attr_bit(sys, "RemoteDiscovery", f, ONVIF_CAP_DEV_REMOTE_DISCOVERY);
        attr_bit(sys, "SystemBackup", f, ONVIF_CAP_DEV_SYSTEM_BACKUP);
        attr_bit(sys, "SystemLogging", f, ONVIF_CAP_DEV_SYSTEM_LOGGING);
        attr_bit(sys, "FirmwareUpgrade", f, ONVIF_CAP_DEV_FIRMWARE_UPGRADE);
        attr_bit(sys, "HttpFirmwareUpgrade", f, ONVIF_CAP_DEV_HTTP_FIRMWARE_UPGRADE);
        attr_bit(sys, "HttpSystemBackup", f, ONVIF_CAP_DEV_HTTP_SYSTEM_BACKUP);
        attr_bit(sys, "HttpSystemLogging", f, ONVIF_CAP_DEV_HTTP_SYSTEM_LOGGING);
        attr_bit(sys, "HttpSupportInformation", f, ONVIF_CAP_DEV_HTTP_SUPPORT_INFORMATION);
        attr_bit(sys, "StorageConfiguration", f, ONVIF_CAP_DEV_STORAGE_CONFIGURATION);
        attr_int(sys, "MaxStorageConfigurations", &p_cap->max_storage_configurations);
        attr_int(sys, "GeoLocationEntries", &p_cap->geo_location_entries);
        attr_text(sys, "AutoGeo", p_cap->auto_geo, (int)sizeof(p_cap->auto_geo));
        attr_text(sys, "StorageTypesSupported", p_cap->storage_types_supported,
                  (int)sizeof(p_cap->storage_types_supported));
    }
    XML_NODE *misc = xml_node_soap_get(p_node, "Misc");
    if (misc)
        attr_text(misc, "AuxiliaryCommands", p_cap->auxiliary_commands,
                  (int)sizeof(p_cap->auxiliary_commands));
}

extern "C" void parse_tmd_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_DEVICEIO *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_int_has(p_node, "VideoSources", &p_cap->video_sources, f, ONVIF_CAP_DIO_HAS_VIDEO_SOURCES);
    attr_int_has(p_node, "VideoOutputs", &p_cap->video_outputs, f, ONVIF_CAP_DIO_HAS_VIDEO_OUTPUTS);
    attr_int_has(p_node, "AudioSources", &p_cap->audio_sources, f, ONVIF_CAP_DIO_HAS_AUDIO_SOURCES);
    attr_int_has(p_node, "AudioOutputs", &p_cap->audio_outputs, f, ONVIF_CAP_DIO_HAS_AUDIO_OUTPUTS);
    attr_int_has(p_node, "RelayOutputs", &p_cap->relay_outputs, f, ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS);
    attr_int_has(p_node, "SerialPorts", &p_cap->serial_ports, f, ONVIF_CAP_DIO_HAS_SERIAL_PORTS);
    attr_int_has(p_node, "DigitalInputs", &p_cap->digital_inputs, f,
                 ONVIF_CAP_DIO_HAS_DIGITAL_INPUTS);
    attr_bool_has(p_node, "DigitalInputOptions", &p_cap->digital_input_options, f,
                  ONVIF_CAP_DIO_HAS_DIGITAL_INPUT_OPTIONS);
}

extern "C" void parse_trt_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_MEDIA *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bit(p_node, "SnapshotUri", f, ONVIF_CAP_MED_SNAPSHOT_URI);
    attr_bit(p_node, "Rotation", f, ONVIF_CAP_MED_ROTATION);
    attr_bit(p_node, "VideoSourceMode", f, ONVIF_CAP_MED_VIDEO_SOURCE_MODE);
    attr_bit(p_node, "OSD", f, ONVIF_CAP_MED_OSD);
    attr_bit(p_node, "TemporaryOSDText", f, ONVIF_CAP_MED_TEMPORARY_OSD_TEXT);
    attr_bit(p_node, "EXICompression", f, ONVIF_CAP_MED_EXI_COMPRESSION);
    XML_NODE *prof = xml_node_soap_get(p_node, "ProfileCapabilities");
    if (prof) attr_int(prof, "MaximumNumberOfProfiles", &p_cap->maximum_number_of_profiles);
    XML_NODE *stream = xml_node_soap_get(p_node, "StreamingCapabilities");
    if (stream) {
        attr_bit(stream, "RTPMulticast", f, ONVIF_CAP_MED_RTP_MULTICAST);
        attr_bit(stream, "RTP_TCP", f, ONVIF_CAP_MED_RTP_TCP);
        attr_bit(stream, "RTP_RTSP_TCP", f, ONVIF_CAP_MED_RTP_RTSP_TCP);
        attr_bit(stream, "NonAggregateControl", f, ONVIF_CAP_MED_NON_AGGREGATE_CONTROL);
        attr_bit(stream, "NoRTSPStreaming", f, ONVIF_CAP_MED_NO_RTSP_STREAMING);
    }
}

extern "C" void parse_tr2_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_MEDIA2 *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bool_has(p_node, "SnapshotUri", &p_cap->snapshot_uri, f, ONVIF_CAP_MED2_HAS_SNAPSHOT_URI);
    attr_bool_has(p_node, "Rotation", &p_cap->rotation, f, ONVIF_CAP_MED2_HAS_ROTATION);
    attr_bool_has(p_node, "VideoSourceMode", &p_cap->video_source_mode, f,
                  ONVIF_CAP_MED2_HAS_VIDEO_SOURCE_MODE);
    attr_bool_has(p_node, "OSD", &p_cap->osd, f, ONVIF_CAP_MED2_HAS_OSD);
    attr_bool_has(p_node, "TemporaryOSDText", &p_cap->temporary_osd_text, f,
                  ONVIF_CAP_MED2_HAS_TEMPORARY_OSD_TEXT);
    attr_bool_has(p_node, "Mask", &p_cap->mask, f, ONVIF_CAP_MED2_HAS_MASK);
    attr_bool_has(p_node, "SourceMask", &p_cap->source_mask, f, ONVIF_CAP_MED2_HAS_SOURCE_MASK);

    XML_NODE *prof = xml_node_soap_get(p_node, "ProfileCapabilities");
    if (prof) {
        uint32_t *pf = &p_cap->profile_flags;
        attr_int_has(prof, "MaximumNumberOfProfiles", &p_cap->maximum_number_of_profiles, pf,
                     ONVIF_CAP_MED2_HAS_MAX_PROFILES);
        attr_text_has(prof, "ConfigurationsSupported", p_cap->configurations_supported,
                      (int)sizeof(p_cap->configurations_supported), pf,
                      ONVIF_CAP_MED2_HAS_CONFIGURATIONS_SUPPORTED);
    }
    XML_NODE *stream = xml_node_soap_get(p_node, "StreamingCapabilities");
    if (stream) {
        uint32_t *sf = &p_cap->streaming_flags;
        attr_bool_has(stream, "RTSPStreaming", &p_cap->rtsp_streaming, sf,
                      ONVIF_CAP_MED2_HAS_RTSP_STREAMING);
        attr_bool_has(stream, "RTPMulticast", &p_cap->rtp_multicast, sf,
                      ONVIF_CAP_MED2_HAS_RTP_MULTICAST);
        attr_bool_has(stream, "RTP_RTSP_TCP", &p_cap->rtp_rtsp_tcp, sf,
                      ONVIF_CAP_MED2_HAS_RTP_RTSP_TCP);
        attr_bool_has(stream, "NonAggregateControl", &p_cap->non_aggregate_control, sf,
                      ONVIF_CAP_MED2_HAS_NON_AGGREGATE_CONTROL);
        attr_text_has(stream, "RTSPWebSocketUri", p_cap->rtsp_websocket_uri,
                      (int)sizeof(p_cap->rtsp_websocket_uri), sf,
                      ONVIF_CAP_MED2_HAS_RTSP_WEBSOCKET_URI);
        attr_bool_has(stream, "AutoStartMulticast", &p_cap->auto_start_multicast, sf,
                      ONVIF_CAP_MED2_HAS_AUTO_START_MULTICAST);
    }
}

extern "C" void parse_tev_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_EVENTS *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bit(p_node, "WSSubscriptionPolicySupport", f, ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY);
    attr_bit(p_node, "WSPullPointSupport", f, ONVIF_CAP_EVT_WS_PULL_POINT);
    attr_bit(p_node, "WSPausableSubscriptionManagerInterfaceSupport", f,
             ONVIF_CAP_EVT_WS_PAUSABLE_SUBSCRIPTION);
    attr_int(p_node, "MaxNotificationProducers", &p_cap->max_notification_producers);
    attr_int(p_node, "MaxPullPoints", &p_cap->max_pull_points);
    attr_bit(p_node, "PersistentNotificationStorage", f,
             ONVIF_CAP_EVT_PERSISTENT_NOTIFICATION_STORAGE);
}

extern "C" void parse_ptz_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_PTZ *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bit(p_node, "EFlip", f, ONVIF_CAP_PTZ_EFLIP);
    attr_bit(p_node, "Reverse", f, ONVIF_CAP_PTZ_REVERSE);
    attr_bit(p_node, "GetCompatibleConfigurations", f, ONVIF_CAP_PTZ_GET_COMPATIBLE_CONFIGURATIONS);
    attr_bit(p_node, "MoveStatus", f, ONVIF_CAP_PTZ_MOVE_STATUS);
    attr_bit(p_node, "StatusPosition", f, ONVIF_CAP_PTZ_STATUS_POSITION);
}

extern "C" void parse_img_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_IMAGING *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bit(p_node, "ImageStabilization", f, ONVIF_CAP_IMG_IMAGE_STABILIZATION);
    attr_bit(p_node, "Presets", f, ONVIF_CAP_IMG_PRESETS);
    attr_bit(p_node, "AdaptablePreset", f, ONVIF_CAP_IMG_ADAPTABLE_PRESET);
}

extern "C" void parse_tan_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_ANALYTICS *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bit(p_node, "RuleSupport", f, ONVIF_CAP_ANA_RULE_SUPPORT);
    attr_bit(p_node, "AnalyticsModuleSupport", f, ONVIF_CAP_ANA_ANALYTICS_MODULE_SUPPORT);
    attr_bit(p_node, "CellBasedSceneDescriptionSupported", f,
             ONVIF_CAP_ANA_CELL_BASED_SCENE_DESCRIPTION);
    attr_bit(p_node, "RuleOptionsSupported", f, ONVIF_CAP_ANA_RULE_OPTIONS);
    attr_bit(p_node, "AnalyticsModuleOptionsSupported", f, ONVIF_CAP_ANA_ANALYTICS_MODULE_OPTIONS);
    attr_bit(p_node, "SupportedMetadata", f, ONVIF_CAP_ANA_SUPPORTED_METADATA);
    attr_text(p_node, "ImageSendingType", p_cap->image_sending_type,
              (int)sizeof(p_cap->image_sending_type));
}

extern "C" void parse_trc_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_RECORDING *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_bit(p_node, "DynamicRecordings", f, ONVIF_CAP_REC_DYNAMIC_RECORDINGS);
    attr_bit(p_node, "DynamicTracks", f, ONVIF_CAP_REC_DYNAMIC_TRACKS);

    // Encoding: blank-separated names; each known one sets its bit.
    static const struct {
        const char *name;
        uint32_t bit;
    } kEncodings[] = {
        {"JPEG", ONVIF_CAP_REC_ENC_JPEG}, {"MPEG4", ONVIF_CAP_REC_ENC_MPEG4},
        {"H264", ONVIF_CAP_REC_ENC_H264}, {"G711", ONVIF_CAP_REC_ENC_G711},
        {"G726", ONVIF_CAP_REC_ENC_G726}, {"AAC", ONVIF_CAP_REC_ENC_AAC},
    };
    const char *enc = xml_attr_get(p_node, "Encoding");
    for (const char *p = enc; p && *p;) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
            p++;
        const char *start = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n')
            p++;
        size_t len = (size_t)(p - start);
        if (len == 0 || len > 31) continue;
        for (const auto &e : kEncodings) {
            if (strlen(e.name) == len && strncasecmp(start, e.name, len) == 0) *f |= e.bit;
        }
    }

    attr_int(p_node, "MaxRate", &p_cap->max_rate);
    attr_int(p_node, "MaxTotalRate", &p_cap->max_total_rate);
    attr_int(p_node, "MaxRecordings", &p_cap->max_recordings);
    attr_int(p_node, "MaxRecordingJobs", &p_cap->max_recording_jobs);
    attr_bit(p_node, "Options", f, ONVIF_CAP_REC_OPTIONS);
    attr_bit(p_node, "MetadataRecording", f, ONVIF_CAP_REC_METADATA_RECORDING);
    attr_text(p_node, "SupportedExportFileFormats", p_cap->supported_export_file_formats,
              (int)sizeof(p_cap->supported_export_file_formats));
}

extern "C" void parse_tse_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_SEARCH *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_bit(p_node, "MetadataSearch", &p_cap->flags, ONVIF_CAP_SRC_METADATA_SEARCH);
    attr_bit(p_node, "GeneralStartEvents", &p_cap->flags, ONVIF_CAP_SRC_GENERAL_START_EVENTS);
}

extern "C" void parse_trp_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_REPLAY *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_bit(p_node, "ReversePlayback", &p_cap->flags, ONVIF_CAP_RPL_REVERSE_PLAYBACK);
    attr_text(p_node, "SessionTimeoutRange", p_cap->session_timeout_range,
              (int)sizeof(p_cap->session_timeout_range));
    attr_bit(p_node, "RTP_RTSP_TCP", &p_cap->flags, ONVIF_CAP_RPL_RTP_RTSP_TCP);
    attr_text(p_node, "RTSPWebSocketUri", p_cap->rtsp_websocket_uri,
              (int)sizeof(p_cap->rtsp_websocket_uri));
}

extern "C" void parse_tac_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_ACCESSCONTROL *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_int(p_node, "MaxLimit", &p_cap->max_limit);
    attr_int(p_node, "MaxAccessPoints", &p_cap->max_access_points);
    attr_int(p_node, "MaxAreas", &p_cap->max_areas);
    attr_bit(p_node, "ClientSuppliedTokenSupported", &p_cap->flags,
             ONVIF_CAP_TAC_CLIENT_SUPPLIED_TOKEN);
    attr_bit(p_node, "AccessPointManagementSupported", &p_cap->flags,
             ONVIF_CAP_TAC_ACCESS_POINT_MANAGEMENT);
    attr_bit(p_node, "AreaManagementSupported", &p_cap->flags, ONVIF_CAP_TAC_AREA_MANAGEMENT);
}

extern "C" void parse_tdc_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_DOORCONTROL *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_int(p_node, "MaxLimit", &p_cap->max_limit);
    attr_int(p_node, "MaxDoors", &p_cap->max_doors);
    attr_bit(p_node, "ClientSuppliedTokenSupported", &p_cap->flags,
             ONVIF_CAP_TDC_CLIENT_SUPPLIED_TOKEN);
    attr_bit(p_node, "DoorManagementSupported", &p_cap->flags, ONVIF_CAP_TDC_DOOR_MANAGEMENT);
}

extern "C" void parse_tth_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_THERMAL *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_bit(p_node, "Radiometry", &p_cap->flags, ONVIF_CAP_TTH_RADIOMETRY);
}

extern "C" void parse_tcr_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_CREDENTIAL *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_int(p_node, "MaxLimit", &p_cap->max_limit);
    attr_bit(p_node, "CredentialValiditySupported", f, ONVIF_CAP_TCR_CREDENTIAL_VALIDITY);
    attr_bit(p_node, "CredentialAccessProfileValiditySupported", f,
             ONVIF_CAP_TCR_ACCESS_PROFILE_VALIDITY);
    attr_bit(p_node, "ValiditySupportsTimeValue", f, ONVIF_CAP_TCR_VALIDITY_SUPPORTS_TIME_VALUE);
    attr_int(p_node, "MaxCredentials", &p_cap->max_credentials);
    attr_int(p_node, "MaxAccessProfilesPerCredential", &p_cap->max_access_profiles_per_credential);
    attr_bit(p_node, "ResetAntipassbackSupported", f, ONVIF_CAP_TCR_RESET_ANTIPASSBACK);
    attr_bit(p_node, "ClientSuppliedTokenSupported", f, ONVIF_CAP_TCR_CLIENT_SUPPLIED_TOKEN);
    attr_text_has(p_node, "DefaultCredentialSuspensionDuration",
                  p_cap->default_credential_suspension_duration,
                  (int)sizeof(p_cap->default_credential_suspension_duration), f,
                  ONVIF_CAP_TCR_HAS_SUSPENSION_DURATION);
    elem_word_list(p_node, "SupportedIdentifierType", p_cap->supported_identifier_type,
                   (int)sizeof(p_cap->supported_identifier_type));
    XML_NODE *ext = xml_node_soap_get(p_node, "Extension");
    if (ext)
        elem_word_list(ext, "SupportedExemptionType", p_cap->supported_exemption_type,
                       (int)sizeof(p_cap->supported_exemption_type));
}

extern "C" void parse_tar_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_ACCESSRULES *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_int(p_node, "MaxLimit", &p_cap->max_limit);
    attr_int(p_node, "MaxAccessProfiles", &p_cap->max_access_profiles);
    attr_int(p_node, "MaxAccessPoliciesPerAccessProfile",
             &p_cap->max_access_policies_per_access_profile);
    attr_bit(p_node, "MultipleSchedulesPerAccessPointSupported", &p_cap->flags,
             ONVIF_CAP_TAR_MULTIPLE_SCHEDULES);
    attr_bit(p_node, "ClientSuppliedTokenSupported", &p_cap->flags,
             ONVIF_CAP_TAR_CLIENT_SUPPLIED_TOKEN);
}

extern "C" void parse_tsc_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_SCHEDULE *p_cap)
{
    if (!p_node || !p_cap) return;
    uint32_t *f = &p_cap->flags;
    attr_int(p_node, "MaxLimit", &p_cap->max_limit);
    attr_int(p_node, "MaxSchedules", &p_cap->max_schedules);
    attr_int(p_node, "MaxTimePeriodsPerDay", &p_cap->max_time_periods_per_day);
    attr_int(p_node, "MaxSpecialDayGroups", &p_cap->max_special_day_groups);
    attr_int(p_node, "MaxDaysInSpecialDayGroup", &p_cap->max_days_in_special_day_group);
    attr_int(p_node, "MaxSpecialDaysSchedules", &p_cap->max_special_days_schedules);
    attr_bit(p_node, "ExtendedRecurrenceSupported", f, ONVIF_CAP_TSC_EXTENDED_RECURRENCE);
    attr_bit(p_node, "SpecialDaysSupported", f, ONVIF_CAP_TSC_SPECIAL_DAYS);
    attr_bit(p_node, "StateReportingSupported", f, ONVIF_CAP_TSC_STATE_REPORTING);
    attr_bit(p_node, "ClientSuppliedTokenSupported", f, ONVIF_CAP_TSC_CLIENT_SUPPLIED_TOKEN);
}

extern "C" void parse_trv_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_RECEIVER *p_cap)
{
    if (!p_node || !p_cap) return;
    attr_bit(p_node, "RTP_Multicast", &p_cap->flags, ONVIF_CAP_TRV_RTP_MULTICAST);
    attr_bit(p_node, "RTP_TCP", &p_cap->flags, ONVIF_CAP_TRV_RTP_TCP);
    attr_bit(p_node, "RTP_RTSP_TCP", &p_cap->flags, ONVIF_CAP_TRV_RTP_RTSP_TCP);
    attr_int(p_node, "SupportedReceivers", &p_cap->supported_receivers);
    attr_int(p_node, "MaximumRTSPURILength", &p_cap->maximum_rtsp_uri_length);
}

extern "C" void parse_tpv_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_PROVISIONING *p_cap)
{
    if (!p_node || !p_cap) return;
    const char *timeout = soap_child_text(p_node, "DefaultTimeout");
    if (timeout && parse_duration(timeout, &p_cap->default_timeout))
        p_cap->flags |= ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT;

    // The Source entries of a reply replace the ones stored before.
    XML_NODE *src = soap_first(p_node, "Source");
    if (!src) return;
    memset(p_cap->sources, 0, sizeof(p_cap->sources));
    int count = 0;
    for (; src && count < ONVIF_CAP_TPV_MAX_SOURCES; src = soap_next(src, "Source"), count++) {
        ONVIF_CAP_PROVISIONING_SOURCE *s = &p_cap->sources[count];
        attr_text(src, "VideoSourceToken", s->video_source_token,
                  (int)sizeof(s->video_source_token));
        attr_int_has(src, "MaximumPanMoves", &s->maximum_pan_moves, &s->flags,
                     ONVIF_CAP_TPV_HAS_PAN_MOVES);
        attr_int_has(src, "MaximumTiltMoves", &s->maximum_tilt_moves, &s->flags,
                     ONVIF_CAP_TPV_HAS_TILT_MOVES);
        attr_int_has(src, "MaximumZoomMoves", &s->maximum_zoom_moves, &s->flags,
                     ONVIF_CAP_TPV_HAS_ZOOM_MOVES);
        attr_int_has(src, "MaximumRollMoves", &s->maximum_roll_moves, &s->flags,
                     ONVIF_CAP_TPV_HAS_ROLL_MOVES);
        attr_bit(src, "AutoLevel", &s->flags, ONVIF_CAP_TPV_AUTO_LEVEL);
        attr_int_has(src, "MaximumFocusMoves", &s->maximum_focus_moves, &s->flags,
                     ONVIF_CAP_TPV_HAS_FOCUS_MOVES);
        attr_bit(src, "AutoFocus", &s->flags, ONVIF_CAP_TPV_AUTO_FOCUS);
    }
    p_cap->source_count = count;
}
