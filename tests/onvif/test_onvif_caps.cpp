// Capability parsing: one table row per element of a GetCapabilities reply
// and per GetServices member with a reading of its own (where it sits, the
// text it carries, the field it lands in, what the field then reads), each
// row in a reply of its own through the real XML parser; then the shapes
// cameras send around them (no prefixes, missing sections, other services'
// namespaces, texts longer than their fields).

#include "onvif/onvif_caps.h"
#include "tests/support/onvif_records.h"
#include "tests/support/soap_text.h"
#include "xml/xml_node.h"

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

using soaptest::envelope;
using soaptest::Reply;

namespace
{

std::string str(long v)
{
    return std::to_string(v);
}
std::string str(const char *t)
{
    return t;
}
std::string str(const std::string &t)
{
    return t;
}
long bit(uint32_t flags, uint32_t b)
{
    return (flags & b) ? 1 : 0;
}
// A value with its presence bit: "absent" when the bit is not set.
std::string has(long v, uint32_t flags, uint32_t b)
{
    return (flags & b) ? std::to_string(v) : "absent";
}
std::string has(const char *t, uint32_t flags, uint32_t b)
{
    return (flags & b) ? t : "absent";
}
std::string addr(const ONVIF_XADDR &x)
{
    return std::string(x.https ? "https://" : "http://") + x.host + ":" + std::to_string(x.port) +
           x.path;
}

using Get = std::string (*)(const ONVIF_CAPABILITIES &);
#define F(expr) [](const ONVIF_CAPABILITIES &c) { return str(expr); }
#define BIT(sub, name) F(bit(c.sub.flags, name))
#define NUM(sub, field) F((long)c.sub.field)
#define TXT(sub, field) F(c.sub.field)
#define HAS(sub, field, name) F(has(c.sub.field, c.sub.flags, name))
#define ADDR(sub) F(addr(c.sub.xaddr))
// A flag read as "true" (and cleared again by "false"); a value read as written.
#define ON(where, sub, name)                                                                       \
    {                                                                                              \
        where, "true", BIT(sub, ONVIF_CAP_##name), "1"                                             \
    }
#define VAL(where, value, get)                                                                     \
    {                                                                                              \
        where, value, get, value                                                                   \
    }

struct Row {
    const char *where; // GetCapabilities: element path; GetServices: "svc:path@attribute"
    const char *value;
    Get get;
    std::string want;
};

// "A/B" as nested elements around value, "A/B@n" with value in attribute n of
// B; the first element not named Extension gets an XAddr when xaddr is given.
std::string nest(const std::string &path, const std::string &value, const std::string &xaddr,
                 const char *pfx)
{
    std::string p = path, attr;
    size_t at = p.find('@');
    if (at != std::string::npos) {
        attr = p.substr(at + 1);
        p = p.substr(0, at);
    }
    std::vector<std::string> names;
    for (size_t s = 0; !p.empty();) {
        size_t slash = p.find('/', s);
        names.push_back(p.substr(s, slash - s));
        if (slash == std::string::npos) break;
        s = slash + 1;
    }
    std::string inner;
    for (size_t i = names.size(); i-- > 0;) {
        const bool leaf = i + 1 == names.size();
        const std::string close = "</" + std::string(pfx) + names[i] + ">";
        std::string open = "<" + std::string(pfx) + names[i];
        if (leaf && !attr.empty()) open += " " + attr + "=\"" + value + "\"";
        const bool section = !xaddr.empty() && names[i] != "Extension" &&
                             (i == 0 || (i == 1 && names[0] == "Extension"));
        const std::string x =
            section ? "<" + std::string(pfx) + "XAddr>" + xaddr + "</" + pfx + "XAddr>" : "";
        if (leaf)
            inner = open + ">" + x + (attr.empty() ? value : "") + close;
        else
            inner = open + ">\n  " + x + (x.empty() ? "" : "\n  ") + inner + "\n" + close;
    }
    return inner + "\n";
}

std::string get_capabilities(const std::string &inner)
{
    return envelope("<tds:GetCapabilitiesResponse>\n<tds:Capabilities>\n" + inner +
                    "</tds:Capabilities>\n</tds:GetCapabilitiesResponse>");
}

const std::map<std::string, std::string> kNamespaces = {
    {"tds", "http://www.onvif.org/ver10/device/wsdl"},
    {"trt", "http://www.onvif.org/ver10/media/wsdl"},
    {"tr2", "http://www.onvif.org/ver20/media/wsdl"},
    {"tev", "http://www.onvif.org/ver10/events/wsdl"},
    {"ptz", "http://www.onvif.org/ver20/ptz/wsdl"},
    {"img", "http://www.onvif.org/ver20/imaging/wsdl"},
    {"tan", "http://www.onvif.org/ver20/analytics/wsdl"},
    {"tmd", "http://www.onvif.org/ver10/deviceIO/wsdl"},
    {"trc", "http://www.onvif.org/ver10/recording/wsdl"},
    {"tse", "http://www.onvif.org/ver10/search/wsdl"},
    {"trp", "http://www.onvif.org/ver10/replay/wsdl"},
    {"tac", "http://www.onvif.org/ver10/accesscontrol/wsdl"},
    {"tdc", "http://www.onvif.org/ver10/doorcontrol/wsdl"},
    {"tth", "http://www.onvif.org/ver10/thermal/wsdl"},
    {"tcr", "http://www.onvif.org/ver10/credential/wsdl"},
    {"tar", "http://www.onvif.org/ver10/accessrules/wsdl"},
    {"tsc", "http://www.onvif.org/ver10/schedule/wsdl"},
    {"trv", "http://www.onvif.org/ver10/receiver/wsdl"},
    {"tpv", "http://www.onvif.org/ver10/provisioning/wsdl"},
};

// One Service entry; caps is the content of its Capabilities element.
std::string service(const std::string &ns, const char *xaddr, const std::string &caps,
                    int major = 2, int minor = 42)
{
    std::string s = "<tds:Service>\n<tds:Namespace>" + ns + "</tds:Namespace>\n";
    if (xaddr) s += "<tds:XAddr>" + std::string(xaddr) + "</tds:XAddr>\n";
    if (!caps.empty()) s += "<tds:Capabilities>" + caps + "</tds:Capabilities>\n";
    return s + "<tds:Version><tt:Major>" + std::to_string(major) + "</tt:Major><tt:Minor>" +
           std::to_string(minor) + "</tt:Minor></tds:Version>\n</tds:Service>\n";
}

std::string get_services(const std::string &inner)
{
    return envelope("<tds:GetServicesResponse>\n" + inner + "</tds:GetServicesResponse>");
}

// A GetServices reply with one service whose Capabilities hold the row's
// member: "svc:" then an element path below Capabilities and/or "@attribute"
// of the innermost element (of Capabilities itself when the path is empty).
std::string services_row(const std::string &where, const std::string &value)
{
    std::string svc = where.substr(0, where.find(':'));
    std::string rest = where.substr(svc.size() + 1);
    std::string caps;
    if (rest.empty())
        caps = "<Capabilities/>";
    else if (rest[0] == '@')
        caps = "<Capabilities " + rest.substr(1) + "=\"" + value + "\"/>";
    else
        caps = "<Capabilities>" + nest(rest, value, "", "") + "</Capabilities>";
    return get_services(service(kNamespaces.at(svc), "http://10.2.0.7:8080/onvif/svc", caps));
}

const char *const kXAddr = "http://10.1.1.1:8080/onvif/x";

void run_rows(const std::vector<Row> &rows, bool services)
{
    for (const Row &r : rows) {
        SCOPED_TRACE(std::string(r.where) + " = " + r.value);
        auto caps = zeroed<ONVIF_CAPABILITIES>();
        auto parse = [&](const std::string &value) {
            Reply reply(services ? services_row(r.where, value)
                                 : get_capabilities(nest(r.where, value, kXAddr, "tt:")));
            XML_NODE *resp =
                reply.element(services ? "GetServicesResponse" : "GetCapabilitiesResponse");
            ASSERT_NE(resp, nullptr);
            ASSERT_EQ(1, services ? parse_GetServices_rly(resp, caps.get())
                                  : parse_GetCapabilities_rly(resp, caps.get()));
        };
        parse(r.value);
        EXPECT_EQ(r.want, r.get(*caps));
        // A true flag is cleared again by a false one.
        if (std::string(r.value) == "true" && r.want == "1") {
            parse("false");
            EXPECT_EQ("0", r.get(*caps)) << "after false";
        }
    }
}

TEST(CapsRows, GetCapabilitiesElements)
{
    const std::vector<Row> rows = {
        {"Device", "", ADDR(device), kXAddr},
        ON("Device/Network/IPFilter", device, DEV_IPFILTER),
        ON("Device/Network/ZeroConfiguration", device, DEV_ZERO_CONFIGURATION),
        {"Device/Network/IPVersion6", "TRUE", BIT(device, ONVIF_CAP_DEV_IPVERSION6), "1"},
        ON("Device/Network/DynDNS", device, DEV_DYNDNS),
        ON("Device/Network/Extension/Dot11Configuration", device, DEV_DOT11_CONFIGURATION),
        ON("Device/System/DiscoveryResolve", device, DEV_DISCOVERY_RESOLVE),
        ON("Device/System/DiscoveryBye", device, DEV_DISCOVERY_BYE),
        ON("Device/System/RemoteDiscovery", device, DEV_REMOTE_DISCOVERY),
        ON("Device/System/SystemBackup", device, DEV_SYSTEM_BACKUP),
        ON("Device/System/SystemLogging", device, DEV_SYSTEM_LOGGING),
        ON("Device/System/FirmwareUpgrade", device, DEV_FIRMWARE_UPGRADE),
        ON("Device/System/Extension/HttpFirmwareUpgrade", device, DEV_HTTP_FIRMWARE_UPGRADE),
        ON("Device/System/Extension/HttpSystemBackup", device, DEV_HTTP_SYSTEM_BACKUP),
        ON("Device/System/Extension/HttpSystemLogging", device, DEV_HTTP_SYSTEM_LOGGING),
        ON("Device/System/Extension/HttpSupportInformation", device, DEV_HTTP_SUPPORT_INFORMATION),
        VAL("Device/IO/InputConnectors", "2", NUM(device, input_connectors)),
        VAL("Device/IO/RelayOutputs", "3", NUM(device, relay_outputs)),
        {"Device/IO/Extension/Auxiliary", "true", F(bit(c.device.io_flags, 1)), "1"},
        {"Device/IO/Extension/AuxiliaryCommands", "tt:IRLamp|On&amp;Off",
         TXT(device, auxiliary_commands), "tt:IRLamp|On&Off "},
        ON("Device/Security/TLS1.1", device, DEV_TLS1_1),
        ON("Device/Security/TLS1.2", device, DEV_TLS1_2),
        ON("Device/Security/OnboardKeyGeneration", device, DEV_ONBOARD_KEY_GENERATION),
        ON("Device/Security/AccessPolicyConfig", device, DEV_ACCESS_POLICY_CONFIG),
        ON("Device/Security/X.509Token", device, DEV_X509_TOKEN),
        ON("Device/Security/SAMLToken", device, DEV_SAML_TOKEN),
        ON("Device/Security/KerberosToken", device, DEV_KERBEROS_TOKEN),
        ON("Device/Security/RELToken", device, DEV_REL_TOKEN),
        ON("Device/Security/Extension/TLS1.0", device, DEV_TLS1_0),
        ON("Device/Security/Extension/Extension/Dot1X", device, DEV_DOT1X),
        VAL("Device/Security/Extension/Extension/SupportedEAPMethod", "13",
            NUM(device, supported_eap_methods)),
        ON("Device/Security/Extension/Extension/RemoteUserHandling", device,
           DEV_REMOTE_USER_HANDLING),
        ON("Analytics/RuleSupport", analytics, ANA_RULE_SUPPORT),
        ON("Analytics/AnalyticsModuleSupport", analytics, ANA_ANALYTICS_MODULE_SUPPORT),
        {"Analytics", "", BIT(analytics, ONVIF_CAP_ANALYTICS_PRESENT), "1"},
        ON("Events/WSSubscriptionPolicySupport", events, EVT_WS_SUBSCRIPTION_POLICY),
        ON("Events/WSPullPointSupport", events, EVT_WS_PULL_POINT),
        ON("Events/WSPausableSubscriptionManagerInterfaceSupport", events,
           EVT_WS_PAUSABLE_SUBSCRIPTION),
        {"Events", "", ADDR(events), kXAddr},
        {"Imaging", "", BIT(imaging, ONVIF_CAP_IMAGING_PRESENT), "1"},
        ON("Media/StreamingCapabilities/RTPMulticast", media, MED_RTP_MULTICAST),
        ON("Media/StreamingCapabilities/RTP_TCP", media, MED_RTP_TCP),
        ON("Media/StreamingCapabilities/RTP_RTSP_TCP", media, MED_RTP_RTSP_TCP),
        VAL("Media/Extension/ProfileCapabilities/MaximumNumberOfProfiles", "10",
            NUM(media, maximum_number_of_profiles)),
        {"Media", "", ADDR(media), kXAddr},
        {"PTZ", "", BIT(ptz, ONVIF_CAP_PTZ_PRESENT), "1"},
        VAL("Extension/DeviceIO/VideoSources", "1",
            HAS(deviceio, video_sources, ONVIF_CAP_DIO_HAS_VIDEO_SOURCES)),
        VAL("Extension/DeviceIO/VideoOutputs", "0",
            HAS(deviceio, video_outputs, ONVIF_CAP_DIO_HAS_VIDEO_OUTPUTS)),
        VAL("Extension/DeviceIO/AudioSources", "2",
            HAS(deviceio, audio_sources, ONVIF_CAP_DIO_HAS_AUDIO_SOURCES)),
        VAL("Extension/DeviceIO/AudioOutputs", "3",
            HAS(deviceio, audio_outputs, ONVIF_CAP_DIO_HAS_AUDIO_OUTPUTS)),
        VAL("Extension/DeviceIO/RelayOutputs", "4",
            HAS(deviceio, relay_outputs, ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS)),
        VAL("Extension/DeviceIO/SerialPorts", "5",
            HAS(deviceio, serial_ports, ONVIF_CAP_DIO_HAS_SERIAL_PORTS)),
        VAL("Extension/DeviceIO/DigitalInputs", "6",
            HAS(deviceio, digital_inputs, ONVIF_CAP_DIO_HAS_DIGITAL_INPUTS)),
        {"Extension/DeviceIO/DigitalInputOptions", "true",
         HAS(deviceio, digital_input_options, ONVIF_CAP_DIO_HAS_DIGITAL_INPUT_OPTIONS), "1"},
        {"Extension/DeviceIO", "", BIT(deviceio, ONVIF_CAP_DEVICEIO_PRESENT), "1"},
        ON("Extension/Recording/ReceiverSource", recording, REC_RECEIVER_SOURCE),
        ON("Extension/Recording/MediaProfileSource", recording, REC_MEDIA_PROFILE_SOURCE),
        ON("Extension/Recording/DynamicRecordings", recording, REC_DYNAMIC_RECORDINGS),
        ON("Extension/Recording/DynamicTracks", recording, REC_DYNAMIC_TRACKS),
        VAL("Extension/Recording/MaxStringLength", "64", NUM(recording, max_string_length)),
        ON("Extension/Search/MetadataSearch", search, SRC_METADATA_SEARCH),
        {"Extension/Search", "", ADDR(search), kXAddr},
        {"Extension/Replay", "", BIT(replay, ONVIF_CAP_REPLAY_PRESENT), "1"},
    };
    run_rows(rows, false);
}

// What every attribute lands in is swept over the schema samples in
// test_op_sweep.cpp; these rows are the members with a reading of their own.
TEST(CapsRows, GetServicesAttributes)
{
    const std::vector<Row> rows = {
        {"tds:", "", ADDR(device), "http://10.2.0.7:8080/onvif/svc"},
        {"tds:", "", NUM(device, version_minor), "42"},
        ON("tds:Network@IPFilter", device, DEV_IPFILTER),
        VAL("tds:Security@MaxUsers", "32", NUM(device, max_users)),
        {"trt:", "", BIT(media, ONVIF_CAP_MEDIA_PRESENT), "1"},
        {"tr2:", "", ADDR(media2), "http://10.2.0.7:8080/onvif/svc"},
        {"tr2:StreamingCapabilities@RTSPWebSocketUri", "ws://10.2.0.7/ws?x=1&amp;y=2",
         F(has(c.media2.rtsp_websocket_uri, c.media2.streaming_flags,
               ONVIF_CAP_MED2_HAS_RTSP_WEBSOCKET_URI)),
         "ws://10.2.0.7/ws?x=1&y=2"},
        // The device IO namespace fills the device IO sub-record, not the device's.
        {"tmd:", "", ADDR(deviceio), "http://10.2.0.7:8080/onvif/svc"},
        {"tmd:", "", ADDR(device), "http://:0"},
        {"trc:@Encoding", "h264 JPEG  G711 H265 AAC AVERYLONGENCODINGNAMEBEYONDTHIRTYTWOCH",
         F((long)(c.recording.flags & 0xFC0u)),
         str(ONVIF_CAP_REC_ENC_H264 | ONVIF_CAP_REC_ENC_JPEG | ONVIF_CAP_REC_ENC_G711 |
             ONVIF_CAP_REC_ENC_AAC)},
        {"trc:@Encoding", "MPEG4\tG726", F((long)(c.recording.flags & 0xFC0u)),
         str(ONVIF_CAP_REC_ENC_MPEG4 | ONVIF_CAP_REC_ENC_G726)},
        {"trc:@MaxRate", "4096.5", NUM(recording, max_rate), "4096"},
        {"tac:", "", BIT(accesscontrol, ONVIF_CAP_ACCESSCONTROL_PRESENT), "1"},
        {"tth:", "", BIT(thermal, ONVIF_CAP_THERMAL_PRESENT), "1"},
        {"tcr:SupportedIdentifierType", "pt:Card", TXT(credential, supported_identifier_type),
         "pt:Card "},
        {"tpv:DefaultTimeout", "PT1M30S",
         HAS(provisioning, default_timeout, ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT), "90"},
        {"tpv:DefaultTimeout", "P1DT2H3M4.5S",
         HAS(provisioning, default_timeout, ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT), "93784"},
        {"tpv:DefaultTimeout", "soon",
         HAS(provisioning, default_timeout, ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT), "absent"},
        VAL("tpv:Source@VideoSourceToken", "VideoSource_1",
            TXT(provisioning, sources[0].video_source_token)),
        {"tpv:Source", "", NUM(provisioning, source_count), "1"},
    };
    run_rows(rows, true);
}

struct Caps : public ::testing::Test {
    void SetUp() override
    {
        block = zeroed<ONVIF_CAPABILITIES>();
        caps = block.get();
    }
    int capabilities(const std::string &inner) { return response(get_capabilities(inner)); }
    int response(const std::string &env)
    {
        Reply r(env);
        return parse_GetCapabilities_rly(r.element("GetCapabilitiesResponse"), caps);
    }
    int services(const std::string &inner)
    {
        Reply r(get_services(inner));
        return parse_GetServices_rly(r.element("GetServicesResponse"), caps);
    }
    std::unique_ptr<ONVIF_CAPABILITIES> block;
    ONVIF_CAPABILITIES *caps = nullptr;
};

// What a reply does not mention keeps its value; a section without a usable
// XAddr loses its present bit and reads nothing else.
TEST_F(Caps, GetCapabilitiesUpdatesInPlace)
{
    caps->events.flags = ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_PULL_POINT;
    strcpy(caps->events.xaddr.host, "10.1.1.1");
    caps->replay.flags = ONVIF_CAP_REPLAY_PRESENT;
    caps->deviceio.video_sources = 4;
    caps->thermal.flags = ONVIF_CAP_THERMAL_PRESENT;
    caps->device.max_users = 16;
    caps->ptz.flags = ONVIF_CAP_PTZ_PRESENT | ONVIF_CAP_PTZ_EFLIP;
    strcpy(caps->ptz.xaddr.host, "10.9.9.9");

    // No prefixes, default namespaces; no Extension.
    ASSERT_EQ(1, response(envelope(
                     "<GetCapabilitiesResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\">"
                     "<Capabilities xmlns=\"http://www.onvif.org/ver10/schema\">"
                     "<Analytics><RuleSupport>true</RuleSupport></Analytics>"
                     "<Device><Network><IPFilter>true</IPFilter></Network></Device>"
                     "<Events><WSPullPointSupport>false</WSPullPointSupport></Events>"
                     "<PTZ><XAddr></XAddr></PTZ>"
                     "<Imaging><XAddr>http://10.0.0.5:99999/img</XAddr></Imaging>"
                     "<Media><XAddr>http://10.0.0.5/m?a=1&amp;b=2</XAddr></Media>"
                     "</Capabilities></GetCapabilitiesResponse>")));
    EXPECT_EQ(ONVIF_CAP_EVT_WS_PULL_POINT, caps->events.flags);
    EXPECT_STREQ("10.1.1.1", caps->events.xaddr.host);
    EXPECT_EQ(0u, caps->analytics.flags);
    EXPECT_EQ(0u, caps->device.flags);
    EXPECT_EQ(16, caps->device.max_users);
    EXPECT_EQ(ONVIF_CAP_PTZ_EFLIP, caps->ptz.flags); // an empty XAddr counts as none
    EXPECT_STREQ("10.9.9.9", caps->ptz.xaddr.host);
    EXPECT_EQ(0u, caps->imaging.flags); // an unusable XAddr too
    EXPECT_EQ("http://10.0.0.5:80/m?a=1&b=2", addr(caps->media.xaddr));
    EXPECT_EQ(ONVIF_CAP_REPLAY_PRESENT, caps->replay.flags);
    EXPECT_EQ(4, caps->deviceio.video_sources);
    EXPECT_EQ(ONVIF_CAP_THERMAL_PRESENT, caps->thermal.flags);

    // The security section stops where its Extension is missing.
    SetUp();
    caps->device.supported_eap_methods = 7;
    ASSERT_EQ(1, capabilities(nest("Device/Security/Extension/TLS1.0", "true", kXAddr, "tt:")));
    EXPECT_EQ(ONVIF_CAP_DEV_TLS1_0, caps->device.flags);
    EXPECT_EQ(7, caps->device.supported_eap_methods);

    // No Capabilities element at all.
    EXPECT_EQ(0, response(envelope("<tds:GetCapabilitiesResponse/>")));
    EXPECT_EQ(0, parse_GetCapabilities_rly(nullptr, caps));
}

TEST_F(Caps, DeviceIoSectionInEveryNamespaceSpelling)
{
    for (const char *pfx : {"tt:", "tmd:", ""}) {
        SetUp();
        std::string io = nest("DeviceIO/RelayOutputs", "4", "http://10.0.0.9/onvif/io", pfx);
        if (!*pfx)
            io.replace(io.find("<DeviceIO>"), 10,
                       "<DeviceIO xmlns=\"http://www.onvif.org/ver10/deviceIO/wsdl\">");
        ASSERT_EQ(1, capabilities("<tt:Extension>" + io + "</tt:Extension>")) << pfx;
        EXPECT_EQ(ONVIF_CAP_DEVICEIO_PRESENT | ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS,
                  caps->deviceio.flags)
            << pfx;
        EXPECT_EQ(4, caps->deviceio.relay_outputs);
        EXPECT_EQ(0, caps->device.relay_outputs); // not the device sub-record
    }
}

// Service addresses as cameras write them: an IPv6 events address, https
// without a port, and one that would break our request line.
TEST_F(Caps, ServiceAddressesOfEveryShape)
{
    struct Case {
        const char *xaddr;
        const char *read; // the address as read, "" when it is refused
    } cases[] = {
        {"http://[2001:db8::64]/onvif/Events", "http://[2001:db8::64]:80/onvif/Events"},
        {"http://[2001:db8::64]:8000/onvif/Events", "http://[2001:db8::64]:8000/onvif/Events"},
        {"https://192.168.1.64/onvif/Events", "https://192.168.1.64:443/onvif/Events"},
        {"HTTPS://cam.local/onvif/Events", "https://cam.local:443/onvif/Events"},
        {"\n   http://192.168.1.64/onvif/Events\n  ", "http://192.168.1.64:80/onvif/Events"},
        {"http://192.168.1.64/onvif/Ev&#1;ents", ""},
        {"http://192.168.1.64/onvif/Ev&#x7F;ents", ""},
        {"EVENTS_SERVICE_URI", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.xaddr);
        SetUp();
        ASSERT_EQ(1, capabilities(std::string("<tt:Events><tt:XAddr>") + c.xaddr +
                                  "</tt:XAddr><tt:WSSubscriptionPolicySupport>true"
                                  "</tt:WSSubscriptionPolicySupport><tt:WSPullPointSupport>true"
                                  "</tt:WSPullPointSupport></tt:Events>"));
        if (c.read[0]) {
            // The whole events record, not only its address.
            EXPECT_EQ(ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY |
                          ONVIF_CAP_EVT_WS_PULL_POINT,
                      caps->events.flags);
            EXPECT_EQ(c.read, addr(caps->events.xaddr));
        } else {
            EXPECT_EQ(0u, caps->events.flags);
            EXPECT_STREQ("", caps->events.xaddr.host);
        }
    }
}

TEST_F(Caps, AuxiliaryCommandsAreJoinedAndCutAtTheFieldEnd)
{
    // 40 commands of 11 characters: 480 characters with blanks.
    std::string cmds;
    for (int i = 0; i < 40; i++) {
        char name[32];
        snprintf(name, sizeof(name), "tt:Cmd%03d|X", i);
        cmds += std::string("<tt:AuxiliaryCommands>") + name + "</tt:AuxiliaryCommands>";
    }
    memset(caps->device.auxiliary_commands, 'z', sizeof(caps->device.auxiliary_commands) - 1);
    caps->device.version_major = 0x5a5a;
    ASSERT_EQ(1, capabilities("<tt:Device><tt:XAddr>http://10.0.0.5/d</tt:XAddr><tt:IO>"
                              "<tt:Extension>" +
                              cmds + "</tt:Extension></tt:IO></tt:Device>"));
    const char *aux = caps->device.auxiliary_commands;
    EXPECT_EQ(ONVIF_CAP_TEXT_LEN - 1, (int)strlen(aux));
    EXPECT_EQ(0, strncmp(aux, "tt:Cmd000|X tt:Cmd001|X ", 24));
    EXPECT_EQ(0x5a5a, caps->device.version_major); // the field after it
}

TEST_F(Caps, GetServicesNamespaceMatchingAndInPlaceUpdate)
{
    caps->thermal.flags = ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY;
    caps->events.flags = ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_PULL_POINT;
    strcpy(caps->events.xaddr.host, "10.3.3.3");
    caps->device.flags = ONVIF_CAP_DEV_IPFILTER;
    strcpy(caps->device.xaddr.host, "10.3.3.3");
    caps->search.flags = ONVIF_CAP_SEARCH_PRESENT;
    strcpy(caps->search.xaddr.host, "10.3.3.3");
    caps->media.flags = ONVIF_CAP_MEDIA_PRESENT | ONVIF_CAP_MED_RTP_TCP;
    caps->media.maximum_number_of_profiles = 3;

    const char *x = "http://10.4.4.4/onvif/other";
    ASSERT_EQ(1, services(
                     // Neither the device nor the search service; nor known.
                     service("http://www.onvif.org/ver10/analyticsdevice/wsdl", x, "", 1, 0) +
                     service("http://www.onvif.org/ver10/federatedsearch/wsdl", x, "", 1, 0) +
                     service("http://www.onvif.org/ver10/advancedsecurity/wsdl", x, "", 1, 0) +
                     // A known service without XAddr only loses its present bit.
                     service(kNamespaces.at("tev"), nullptr, "", 9, 9) +
                     // Without IncludeCapability: address and version only.
                     service(kNamespaces.at("trt"), "http://10.4.4.4:81/onvif/media", "", 2, 6) +
                     // The device service without XAddr is skipped altogether.
                     service(kNamespaces.at("tds"), nullptr,
                             "<Capabilities><Network IPFilter=\"false\"/></Capabilities>", 2, 6)));
    EXPECT_EQ(ONVIF_CAP_DEV_IPFILTER, caps->device.flags);
    EXPECT_STREQ("10.3.3.3", caps->device.xaddr.host);
    EXPECT_EQ(0, caps->device.version_major);
    EXPECT_EQ(ONVIF_CAP_SEARCH_PRESENT, caps->search.flags);
    EXPECT_STREQ("10.3.3.3", caps->search.xaddr.host);
    EXPECT_EQ(ONVIF_CAP_EVT_WS_PULL_POINT, caps->events.flags);
    EXPECT_STREQ("10.3.3.3", caps->events.xaddr.host);
    EXPECT_EQ(0, caps->events.version_major);
    EXPECT_EQ(ONVIF_CAP_MEDIA_PRESENT | ONVIF_CAP_MED_RTP_TCP, caps->media.flags);
    EXPECT_EQ(3, caps->media.maximum_number_of_profiles);
    EXPECT_EQ("http://10.4.4.4:81/onvif/media", addr(caps->media.xaddr));
    EXPECT_EQ(6, caps->media.version_minor);
    EXPECT_EQ(ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY, caps->thermal.flags);
    EXPECT_EQ(0u, caps->analytics.flags);

    // An empty reply changes nothing.
    ONVIF_CAPABILITIES before = *caps;
    EXPECT_EQ(1, services(""));
    EXPECT_EQ(0, memcmp(&before, caps, sizeof(before)));
    EXPECT_EQ(1, parse_GetServices_rly(nullptr, caps));
}

// Texts exactly as long as their field and one longer; eight of ten Source
// entries; lists of words cut at the field end.
TEST_F(Caps, GetServicesTextsAndListsAreCutAtTheirFields)
{
    const std::string exact(ONVIF_CAP_TEXT_LEN - 1, 'e');
    const std::string token99(99, 't');
    for (int extra = 0; extra <= 1; extra++) {
        SetUp();
        caps->analytics.version_major = 0x1234; // the field after the text
        std::string sources;
        for (int i = 0; i < 10; i++)
            sources += "<Source VideoSourceToken=\"" +
                       (i == 0 ? token99 + std::string(extra, 'X') : "V" + std::to_string(i)) +
                       "\" MaximumPanMoves=\"" + std::to_string(100 + i) + "\"/>";
        // The analytics capabilities straight through their parser, so the
        // field after the text is not rewritten by the Version afterwards.
        Reply r(get_services(service(kNamespaces.at("tan"), "http://10.6.0.1/a",
                                     "<Capabilities ImageSendingType=\"" + exact +
                                         std::string(extra, 'X') + "\"/>")));
        XML_NODE *svc = xml_node_soap_get(r.element("GetServicesResponse"), "Service");
        parse_tan_ServiceCapabilities(
            xml_node_soap_get(xml_node_soap_get(svc, "Capabilities"), "Capabilities"),
            &caps->analytics);
        EXPECT_EQ(exact, caps->analytics.image_sending_type) << extra;
        EXPECT_EQ(0x1234, caps->analytics.version_major);

        ASSERT_EQ(1, services(service(kNamespaces.at("tpv"), "http://10.6.0.1/p",
                                      "<Capabilities>" + sources + "</Capabilities>")));
        const ONVIF_CAP_PROVISIONING &pv = caps->provisioning;
        ASSERT_EQ(ONVIF_CAP_TPV_MAX_SOURCES, pv.source_count);
        EXPECT_EQ(token99, pv.sources[0].video_source_token);
        EXPECT_STREQ("V7", pv.sources[7].video_source_token);
        EXPECT_EQ(107, pv.sources[7].maximum_pan_moves);
    }
    std::string ids;
    for (int i = 0; i < 40; i++)
        ids += "<SupportedIdentifierType>pt:Id" + std::to_string(100 + i) +
               "xxxx</SupportedIdentifierType>";
    ASSERT_EQ(1, services(service(kNamespaces.at("tcr"), "http://10.6.0.1/c",
                                  "<Capabilities>" + ids + "</Capabilities>")));
    EXPECT_EQ(ONVIF_CAP_TEXT_LEN - 1, (int)strlen(caps->credential.supported_identifier_type));
    EXPECT_EQ(0, strncmp(caps->credential.supported_identifier_type, "pt:Id100xxxx pt:Id101", 21));
}

} // namespace
