// Capability parsing: GetCapabilities and GetServices replies written in the
// shapes cameras send (prefixed and unprefixed, with and without Extension,
// device IO in several namespaces), parsed through the real XML parser and
// read into the capability block in place.

#include "onvif/onvif_caps.h"
#include "onvif/onvif_device.h"
#include "xml/xml_node.h"

#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <string>

namespace
{

// One received reply: the buffer is parsed in place and the response
// element under the Body looked up the way the dispatcher does it.
class Reply
{
  public:
    Reply(const std::string &xml, const char *response) : buf_(xml)
    {
        root_ = xxx_hxml_parse(&buf_[0], (int)buf_.size());
        body_ = xml_node_soap_get(root_, "Body");
        resp_ = xml_node_soap_get(body_, response);
    }
    ~Reply()
    {
        if (root_) xml_node_del(root_);
    }
    Reply(const Reply &) = delete;
    Reply &operator=(const Reply &) = delete;

    XML_NODE *resp() const { return resp_; }

  private:
    std::string buf_;
    XML_NODE *root_ = nullptr;
    XML_NODE *body_ = nullptr;
    XML_NODE *resp_ = nullptr;
};

const char *kEnvelopeStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
    "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
    "xmlns:tmd=\"http://www.onvif.org/ver10/deviceIO/wsdl\" "
    "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
    "xmlns:tr2=\"http://www.onvif.org/ver20/media/wsdl\" "
    "xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\" "
    "xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\" "
    "xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\" "
    "xmlns:tan=\"http://www.onvif.org/ver20/analytics/wsdl\" "
    "xmlns:trc=\"http://www.onvif.org/ver10/recording/wsdl\" "
    "xmlns:tse=\"http://www.onvif.org/ver10/search/wsdl\" "
    "xmlns:trp=\"http://www.onvif.org/ver10/replay/wsdl\" "
    "xmlns:tpv=\"http://www.onvif.org/ver10/provisioning/wsdl\" "
    "xmlns:tcr=\"http://www.onvif.org/ver10/credential/wsdl\">\n"
    "<SOAP-ENV:Header></SOAP-ENV:Header>\n<SOAP-ENV:Body>\n";
const char *kEnvelopeEnd = "</SOAP-ENV:Body>\n</SOAP-ENV:Envelope>\n";

std::string envelope(const std::string &body)
{
    return std::string(kEnvelopeStart) + body + kEnvelopeEnd;
}

// A fixed-dome camera with PTZ: every section, pretty-printed, tt prefixes.
const char *kFullCapabilities =
    "<tds:GetCapabilitiesResponse>\n"
    " <tds:Capabilities>\n"
    "  <tt:Analytics>\n"
    "   <tt:XAddr>http://192.168.1.64/onvif/Analytics</tt:XAddr>\n"
    "   <tt:RuleSupport>true</tt:RuleSupport>\n"
    "   <tt:AnalyticsModuleSupport>true</tt:AnalyticsModuleSupport>\n"
    "  </tt:Analytics>\n"
    "  <tt:Device>\n"
    "   <tt:XAddr>http://192.168.1.64/onvif/device_service</tt:XAddr>\n"
    "   <tt:Network>\n"
    "    <tt:IPFilter>true</tt:IPFilter>\n"
    "    <tt:ZeroConfiguration>true</tt:ZeroConfiguration>\n"
    "    <tt:IPVersion6>false</tt:IPVersion6>\n"
    "    <tt:DynDNS>true</tt:DynDNS>\n"
    "    <tt:Extension><tt:Dot11Configuration>false</tt:Dot11Configuration></tt:Extension>\n"
    "   </tt:Network>\n"
    "   <tt:System>\n"
    "    <tt:DiscoveryResolve>false</tt:DiscoveryResolve>\n"
    "    <tt:DiscoveryBye>true</tt:DiscoveryBye>\n"
    "    <tt:RemoteDiscovery>false</tt:RemoteDiscovery>\n"
    "    <tt:SystemBackup>false</tt:SystemBackup>\n"
    "    <tt:SystemLogging>true</tt:SystemLogging>\n"
    "    <tt:FirmwareUpgrade>true</tt:FirmwareUpgrade>\n"
    "    "
    "<tt:SupportedVersions><tt:Major>2</tt:Major><tt:Minor>60</tt:Minor></tt:SupportedVersions>\n"
    "    <tt:Extension>\n"
    "     <tt:HttpFirmwareUpgrade>true</tt:HttpFirmwareUpgrade>\n"
    "     <tt:HttpSystemBackup>false</tt:HttpSystemBackup>\n"
    "     <tt:HttpSystemLogging>false</tt:HttpSystemLogging>\n"
    "     <tt:HttpSupportInformation>true</tt:HttpSupportInformation>\n"
    "    </tt:Extension>\n"
    "   </tt:System>\n"
    "   <tt:IO>\n"
    "    <tt:InputConnectors>2</tt:InputConnectors>\n"
    "    <tt:RelayOutputs>1</tt:RelayOutputs>\n"
    "    <tt:Extension>\n"
    "     <tt:Auxiliary>true</tt:Auxiliary>\n"
    "     <tt:AuxiliaryCommands>tt:Wiper|On</tt:AuxiliaryCommands>\n"
    "     <tt:AuxiliaryCommands>tt:IRLamp|On&amp;Off</tt:AuxiliaryCommands>\n"
    "     <tt:Extension></tt:Extension>\n"
    "    </tt:Extension>\n"
    "   </tt:IO>\n"
    "   <tt:Security>\n"
    "    <tt:TLS1.1>true</tt:TLS1.1>\n"
    "    <tt:TLS1.2>true</tt:TLS1.2>\n"
    "    <tt:OnboardKeyGeneration>false</tt:OnboardKeyGeneration>\n"
    "    <tt:AccessPolicyConfig>true</tt:AccessPolicyConfig>\n"
    "    <tt:X.509Token>false</tt:X.509Token>\n"
    "    <tt:SAMLToken>false</tt:SAMLToken>\n"
    "    <tt:KerberosToken>false</tt:KerberosToken>\n"
    "    <tt:RELToken>true</tt:RELToken>\n"
    "    <tt:Extension>\n"
    "     <tt:TLS1.0>false</tt:TLS1.0>\n"
    "     <tt:Extension>\n"
    "      <tt:Dot1X>true</tt:Dot1X>\n"
    "      <tt:SupportedEAPMethod>13</tt:SupportedEAPMethod>\n"
    "      <tt:RemoteUserHandling>true</tt:RemoteUserHandling>\n"
    "     </tt:Extension>\n"
    "    </tt:Extension>\n"
    "   </tt:Security>\n"
    "  </tt:Device>\n"
    "  <tt:Events>\n"
    "   <tt:XAddr>http://192.168.1.64/onvif/Events</tt:XAddr>\n"
    "   <tt:WSSubscriptionPolicySupport>true</tt:WSSubscriptionPolicySupport>\n"
    "   <tt:WSPullPointSupport>true</tt:WSPullPointSupport>\n"
    "   <tt:WSPausableSubscriptionManagerInterfaceSupport>false"
    "</tt:WSPausableSubscriptionManagerInterfaceSupport>\n"
    "  </tt:Events>\n"
    "  <tt:Imaging><tt:XAddr>http://192.168.1.64/onvif/Imaging</tt:XAddr></tt:Imaging>\n"
    "  <tt:Media>\n"
    "   <tt:XAddr>http://192.168.1.64/onvif/Media</tt:XAddr>\n"
    "   <tt:StreamingCapabilities>\n"
    "    <tt:RTPMulticast>true</tt:RTPMulticast>\n"
    "    <tt:RTP_TCP>true</tt:RTP_TCP>\n"
    "    <tt:RTP_RTSP_TCP>true</tt:RTP_RTSP_TCP>\n"
    "   </tt:StreamingCapabilities>\n"
    "   <tt:Extension>\n"
    "    <tt:ProfileCapabilities>"
    "<tt:MaximumNumberOfProfiles>10</tt:MaximumNumberOfProfiles></tt:ProfileCapabilities>\n"
    "   </tt:Extension>\n"
    "  </tt:Media>\n"
    "  <tt:PTZ><tt:XAddr>https://192.168.1.64:8443/onvif/PTZ</tt:XAddr></tt:PTZ>\n"
    "  <tt:Extension>\n"
    "   <tt:DeviceIO>\n"
    "    <tt:XAddr>http://192.168.1.64/onvif/DeviceIO</tt:XAddr>\n"
    "    <tt:VideoSources>1</tt:VideoSources>\n"
    "    <tt:VideoOutputs>0</tt:VideoOutputs>\n"
    "    <tt:AudioSources>1</tt:AudioSources>\n"
    "    <tt:AudioOutputs>1</tt:AudioOutputs>\n"
    "    <tt:RelayOutputs>1</tt:RelayOutputs>\n"
    "   </tt:DeviceIO>\n"
    "   <tt:Recording>\n"
    "    <tt:XAddr>http://192.168.1.64/onvif/Recording</tt:XAddr>\n"
    "    <tt:ReceiverSource>false</tt:ReceiverSource>\n"
    "    <tt:MediaProfileSource>true</tt:MediaProfileSource>\n"
    "    <tt:DynamicRecordings>false</tt:DynamicRecordings>\n"
    "    <tt:DynamicTracks>false</tt:DynamicTracks>\n"
    "    <tt:MaxStringLength>64</tt:MaxStringLength>\n"
    "   </tt:Recording>\n"
    "   <tt:Search>\n"
    "    <tt:XAddr>http://192.168.1.64/onvif/SearchRecording</tt:XAddr>\n"
    "    <tt:MetadataSearch>true</tt:MetadataSearch>\n"
    "   </tt:Search>\n"
    "   <tt:Replay><tt:XAddr>http://192.168.1.64/onvif/Replay</tt:XAddr></tt:Replay>\n"
    "  </tt:Extension>\n"
    " </tds:Capabilities>\n"
    "</tds:GetCapabilitiesResponse>\n";

class Caps : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        dev_.reset(new ONVIF_DEVICE());
        caps_ = &dev_->capabilities;
    }
    std::unique_ptr<ONVIF_DEVICE> dev_;
    ONVIF_CAPABILITIES *caps_ = nullptr;
};

void expect_xaddr(const ONVIF_XADDR &x, int https, int port, const char *host, const char *path)
{
    EXPECT_EQ(https, x.https) << host << path;
    EXPECT_EQ(port, x.port) << host << path;
    EXPECT_STREQ(host, x.host);
    EXPECT_STREQ(path, x.path);
}

// ---- GetCapabilities ------------------------------------------------------

TEST_F(Caps, FullGetCapabilitiesFillsEverySection)
{
    Reply r(envelope(kFullCapabilities), "GetCapabilitiesResponse");
    ASSERT_NE(nullptr, r.resp());
    ASSERT_EQ(1, parse_GetCapabilities_rly(r.resp(), caps_));

    const ONVIF_CAP_DEVICE &d = caps_->device;
    expect_xaddr(d.xaddr, 0, 80, "192.168.1.64", "/onvif/device_service");
    uint32_t want = ONVIF_CAP_DEV_IPFILTER | ONVIF_CAP_DEV_ZERO_CONFIGURATION |
                    ONVIF_CAP_DEV_DYNDNS | ONVIF_CAP_DEV_DISCOVERY_BYE |
                    ONVIF_CAP_DEV_SYSTEM_LOGGING | ONVIF_CAP_DEV_FIRMWARE_UPGRADE |
                    ONVIF_CAP_DEV_HTTP_FIRMWARE_UPGRADE | ONVIF_CAP_DEV_HTTP_SUPPORT_INFORMATION |
                    ONVIF_CAP_DEV_TLS1_1 | ONVIF_CAP_DEV_TLS1_2 |
                    ONVIF_CAP_DEV_ACCESS_POLICY_CONFIG | ONVIF_CAP_DEV_REL_TOKEN |
                    ONVIF_CAP_DEV_DOT1X | ONVIF_CAP_DEV_REMOTE_USER_HANDLING;
    EXPECT_EQ(want, d.flags);
    EXPECT_EQ(ONVIF_CAP_DEV_IO_AUXILIARY, d.io_flags);
    EXPECT_EQ(2, d.input_connectors);
    EXPECT_EQ(1, d.relay_outputs);
    EXPECT_EQ(13, d.supported_eap_methods);
    EXPECT_STREQ("tt:Wiper|On tt:IRLamp|On&Off ", d.auxiliary_commands);

    EXPECT_EQ(ONVIF_CAP_ANALYTICS_PRESENT | ONVIF_CAP_ANA_RULE_SUPPORT |
                  ONVIF_CAP_ANA_ANALYTICS_MODULE_SUPPORT,
              caps_->analytics.flags);
    expect_xaddr(caps_->analytics.xaddr, 0, 80, "192.168.1.64", "/onvif/Analytics");

    EXPECT_EQ(ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY |
                  ONVIF_CAP_EVT_WS_PULL_POINT,
              caps_->events.flags);
    expect_xaddr(caps_->events.xaddr, 0, 80, "192.168.1.64", "/onvif/Events");
    EXPECT_EQ(ONVIF_CAP_IMAGING_PRESENT, caps_->imaging.flags);

    EXPECT_EQ(ONVIF_CAP_MEDIA_PRESENT | ONVIF_CAP_MED_RTP_MULTICAST | ONVIF_CAP_MED_RTP_TCP |
                  ONVIF_CAP_MED_RTP_RTSP_TCP,
              caps_->media.flags);
    EXPECT_EQ(10, caps_->media.maximum_number_of_profiles);
    expect_xaddr(caps_->media.xaddr, 0, 80, "192.168.1.64", "/onvif/Media");

    // What the application reads to call the camera a PTZ model.
    EXPECT_EQ(ONVIF_CAP_PTZ_PRESENT, caps_->ptz.flags);
    EXPECT_EQ(1u << 5, caps_->ptz.flags & (1u << 5));
    expect_xaddr(caps_->ptz.xaddr, 1, 8443, "192.168.1.64", "/onvif/PTZ");

    EXPECT_EQ(ONVIF_CAP_DEVICEIO_PRESENT | ONVIF_CAP_DIO_HAS_VIDEO_SOURCES |
                  ONVIF_CAP_DIO_HAS_VIDEO_OUTPUTS | ONVIF_CAP_DIO_HAS_AUDIO_SOURCES |
                  ONVIF_CAP_DIO_HAS_AUDIO_OUTPUTS | ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS,
              caps_->deviceio.flags);
    EXPECT_EQ(1, caps_->deviceio.video_sources);
    EXPECT_EQ(0, caps_->deviceio.video_outputs);
    EXPECT_EQ(1, caps_->deviceio.relay_outputs);

    EXPECT_EQ(ONVIF_CAP_RECORDING_PRESENT | ONVIF_CAP_REC_MEDIA_PROFILE_SOURCE,
              caps_->recording.flags);
    EXPECT_EQ(64, caps_->recording.max_string_length);
    EXPECT_EQ(ONVIF_CAP_SEARCH_PRESENT | ONVIF_CAP_SRC_METADATA_SEARCH, caps_->search.flags);
    expect_xaddr(caps_->search.xaddr, 0, 80, "192.168.1.64", "/onvif/SearchRecording");
    EXPECT_EQ(ONVIF_CAP_REPLAY_PRESENT, caps_->replay.flags);
    expect_xaddr(caps_->replay.xaddr, 0, 80, "192.168.1.64", "/onvif/Replay");

    // Services GetCapabilities does not know stay empty.
    EXPECT_EQ(0u, caps_->media2.flags);
    EXPECT_EQ(0u, caps_->thermal.flags);
    EXPECT_EQ(0u, caps_->provisioning.flags);
}

TEST_F(Caps, BulletCameraWithoutExtensionStillSucceeds)
{
    // Prior knowledge of the block (as from an earlier GetServices).
    caps_->events.flags = ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_PULL_POINT |
                          ONVIF_CAP_EVT_PERSISTENT_NOTIFICATION_STORAGE;
    strcpy(caps_->events.xaddr.host, "10.1.1.1");
    caps_->replay.flags = ONVIF_CAP_REPLAY_PRESENT;
    caps_->deviceio.flags = ONVIF_CAP_DEVICEIO_PRESENT;
    caps_->deviceio.video_sources = 4;
    caps_->thermal.flags = ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY;
    caps_->device.max_users = 16;

    // No prefixes; Events without XAddr; no PTZ; no Extension.
    const char *body = "<GetCapabilitiesResponse xmlns=\"http://www.onvif.org/ver10/device/wsdl\">"
                       "<Capabilities xmlns=\"http://www.onvif.org/ver10/schema\">"
                       "<Analytics><RuleSupport>true</RuleSupport></Analytics>"
                       "<Device><XAddr>http://10.1.1.1:8080/onvif/device_service</XAddr>"
                       "<Network><IPFilter>false</IPFilter><IPVersion6>TRUE</IPVersion6></Network>"
                       "<System><FirmwareUpgrade>true</FirmwareUpgrade></System>"
                       "</Device>"
                       "<Events><WSPullPointSupport>false</WSPullPointSupport></Events>"
                       "<Imaging><XAddr>http://10.1.1.1:8080/onvif/imaging</XAddr></Imaging>"
                       "<Media><XAddr>http://10.1.1.1:8080/onvif/media</XAddr></Media>"
                       "</Capabilities></GetCapabilitiesResponse>";
    Reply r(envelope(body), "GetCapabilitiesResponse");
    ASSERT_NE(nullptr, r.resp());
    ASSERT_EQ(1, parse_GetCapabilities_rly(r.resp(), caps_));

    // Events: present bit cleared, its flags and address left as they were.
    EXPECT_EQ(ONVIF_CAP_EVT_WS_PULL_POINT | ONVIF_CAP_EVT_PERSISTENT_NOTIFICATION_STORAGE,
              caps_->events.flags);
    EXPECT_STREQ("10.1.1.1", caps_->events.xaddr.host);
    // Analytics without XAddr reads nothing else.
    EXPECT_EQ(0u, caps_->analytics.flags);

    expect_xaddr(caps_->device.xaddr, 0, 8080, "10.1.1.1", "/onvif/device_service");
    EXPECT_EQ(ONVIF_CAP_DEV_IPVERSION6 | ONVIF_CAP_DEV_FIRMWARE_UPGRADE, caps_->device.flags);
    EXPECT_EQ(16, caps_->device.max_users);
    EXPECT_EQ(ONVIF_CAP_IMAGING_PRESENT, caps_->imaging.flags);
    EXPECT_EQ(ONVIF_CAP_MEDIA_PRESENT, caps_->media.flags);
    EXPECT_EQ(0u, caps_->ptz.flags & ONVIF_CAP_PTZ_PRESENT);

    // Without Extension the rest is untouched.
    EXPECT_EQ(ONVIF_CAP_REPLAY_PRESENT, caps_->replay.flags);
    EXPECT_EQ(ONVIF_CAP_DEVICEIO_PRESENT, caps_->deviceio.flags);
    EXPECT_EQ(4, caps_->deviceio.video_sources);
    EXPECT_EQ(ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY, caps_->thermal.flags);
}

TEST_F(Caps, DeviceIoSectionInEveryNamespaceSpelling)
{
    const char *variants[] = {
        "<tt:DeviceIO><tt:XAddr>http://10.0.0.9/onvif/deviceio_service</tt:XAddr>"
        "<tt:VideoSources>2</tt:VideoSources><tt:RelayOutputs>4</tt:RelayOutputs>"
        "<tt:SerialPorts>1</tt:SerialPorts><tt:DigitalInputs>3</tt:DigitalInputs>"
        "<tt:DigitalInputOptions>true</tt:DigitalInputOptions></tt:DeviceIO>",
        "<tmd:DeviceIO><tmd:XAddr>http://10.0.0.9/onvif/deviceio_service</tmd:XAddr>"
        "<tmd:VideoSources>2</tmd:VideoSources><tmd:RelayOutputs>4</tmd:RelayOutputs>"
        "<tmd:SerialPorts>1</tmd:SerialPorts><tmd:DigitalInputs>3</tmd:DigitalInputs>"
        "<tmd:DigitalInputOptions>true</tmd:DigitalInputOptions></tmd:DeviceIO>",
        "<DeviceIO xmlns=\"http://www.onvif.org/ver10/deviceIO/wsdl\">"
        "<XAddr>http://10.0.0.9/onvif/deviceio_service</XAddr>"
        "<VideoSources>2</VideoSources><RelayOutputs>4</RelayOutputs>"
        "<SerialPorts>1</SerialPorts><DigitalInputs>3</DigitalInputs>"
        "<DigitalInputOptions>true</DigitalInputOptions></DeviceIO>",
    };
    for (const char *v : variants) {
        SetUp();
        std::string body = std::string("<tds:GetCapabilitiesResponse><tds:Capabilities>"
                                       "<tt:Extension>") +
                           v +
                           "<tt:Search><tt:XAddr>http://10.0.0.9/onvif/search</tt:XAddr>"
                           "</tt:Search></tt:Extension></tds:Capabilities>"
                           "</tds:GetCapabilitiesResponse>";
        caps_->replay.flags = ONVIF_CAP_REPLAY_PRESENT; // no Replay: left alone
        Reply r(envelope(body), "GetCapabilitiesResponse");
        ASSERT_EQ(1, parse_GetCapabilities_rly(r.resp(), caps_)) << v;
        const ONVIF_CAP_DEVICEIO &io = caps_->deviceio;
        EXPECT_EQ(ONVIF_CAP_DEVICEIO_PRESENT | ONVIF_CAP_DIO_HAS_VIDEO_SOURCES |
                      ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS | ONVIF_CAP_DIO_HAS_SERIAL_PORTS |
                      ONVIF_CAP_DIO_HAS_DIGITAL_INPUTS | ONVIF_CAP_DIO_HAS_DIGITAL_INPUT_OPTIONS,
                  io.flags)
            << v;
        EXPECT_EQ(2, io.video_sources);
        EXPECT_EQ(4, io.relay_outputs);
        EXPECT_EQ(1, io.serial_ports);
        EXPECT_EQ(3, io.digital_inputs);
        EXPECT_EQ(1, io.digital_input_options);
        expect_xaddr(io.xaddr, 0, 80, "10.0.0.9", "/onvif/deviceio_service");
        EXPECT_EQ(ONVIF_CAP_SEARCH_PRESENT, caps_->search.flags);
        EXPECT_EQ(ONVIF_CAP_REPLAY_PRESENT, caps_->replay.flags);
        // The device sub-record is not the device IO one.
        EXPECT_EQ(0, caps_->device.relay_outputs);
        EXPECT_STREQ("", caps_->device.xaddr.host);
    }
}

TEST_F(Caps, GetCapabilitiesEdgeShapes)
{
    // No Capabilities child.
    {
        Reply r(envelope("<tds:GetCapabilitiesResponse></tds:GetCapabilitiesResponse>"),
                "GetCapabilitiesResponse");
        ASSERT_NE(nullptr, r.resp());
        EXPECT_EQ(0, parse_GetCapabilities_rly(r.resp(), caps_));
    }
    EXPECT_EQ(0, parse_GetCapabilities_rly(nullptr, caps_));

    // Device without XAddr reads nothing; an empty or unusable XAddr counts
    // as none; XAddr texts are decoded; the security section stops where
    // Extension is missing.
    caps_->ptz.flags = ONVIF_CAP_PTZ_PRESENT | ONVIF_CAP_PTZ_EFLIP;
    strcpy(caps_->ptz.xaddr.host, "10.9.9.9");
    const char *body =
        "<tds:GetCapabilitiesResponse><tds:Capabilities>"
        "<tt:Device><tt:Network><tt:IPFilter>true</tt:IPFilter></tt:Network></tt:Device>"
        "<tt:Media><tt:XAddr>http://10.0.0.5/onvif/media?a=1&amp;b=2</tt:XAddr></tt:Media>"
        "<tt:PTZ><tt:XAddr></tt:XAddr></tt:PTZ>"
        "<tt:Imaging><tt:XAddr>http://10.0.0.5:99999/img</tt:XAddr></tt:Imaging>"
        "</tds:Capabilities></tds:GetCapabilitiesResponse>";
    Reply r(envelope(body), "GetCapabilitiesResponse");
    ASSERT_EQ(1, parse_GetCapabilities_rly(r.resp(), caps_));
    EXPECT_EQ(0u, caps_->device.flags);
    expect_xaddr(caps_->media.xaddr, 0, 80, "10.0.0.5", "/onvif/media?a=1&b=2");
    EXPECT_EQ(ONVIF_CAP_PTZ_EFLIP, caps_->ptz.flags);
    EXPECT_STREQ("10.9.9.9", caps_->ptz.xaddr.host);
    EXPECT_EQ(0u, caps_->imaging.flags);
    EXPECT_STREQ("", caps_->imaging.xaddr.host);

    SetUp();
    const char *sec = "<tt:Device><tt:XAddr>http://10.0.0.5/onvif/device_service</tt:XAddr>"
                      "<tt:Security><tt:TLS1.2>true</tt:TLS1.2>"
                      "<tt:Extension><tt:TLS1.0>true</tt:TLS1.0></tt:Extension>"
                      "</tt:Security></tt:Device>";
    Reply d(envelope(std::string("<tds:GetCapabilitiesResponse><tds:Capabilities>") + sec +
                     "</tds:Capabilities></tds:GetCapabilitiesResponse>"),
            "GetCapabilitiesResponse");
    caps_->device.supported_eap_methods = 7;
    ASSERT_EQ(1, parse_GetCapabilities_rly(d.resp(), caps_));
    EXPECT_EQ(ONVIF_CAP_DEV_TLS1_2 | ONVIF_CAP_DEV_TLS1_0, caps_->device.flags);
    EXPECT_EQ(7, caps_->device.supported_eap_methods);
}

// Service addresses as cameras write them: an IPv6 events address, https
// without a port, and one that would break our request line.
TEST_F(Caps, ServiceAddressesOfEveryShape)
{
    struct Case {
        const char *xaddr;
        bool used;
        int https;
        int port;
        const char *host;
        const char *path;
    } cases[] = {
        {"http://[2001:db8::64]/onvif/Events", true, 0, 80, "[2001:db8::64]", "/onvif/Events"},
        {"http://[2001:db8::64]:8000/onvif/Events", true, 0, 8000, "[2001:db8::64]",
         "/onvif/Events"},
        {"https://192.168.1.64/onvif/Events", true, 1, 443, "192.168.1.64", "/onvif/Events"},
        {"HTTPS://cam.local/onvif/Events", true, 1, 443, "cam.local", "/onvif/Events"},
        {"\n   http://192.168.1.64/onvif/Events\n  ", true, 0, 80, "192.168.1.64", "/onvif/Events"},
        {"http://192.168.1.64/onvif/Ev&#1;ents", false, 0, 0, "", ""},
        {"http://192.168.1.64/onvif/Ev&#x7F;ents", false, 0, 0, "", ""},
        {"EVENTS_SERVICE_URI", false, 0, 0, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.xaddr);
        SetUp();
        std::string body = std::string("<tds:GetCapabilitiesResponse><tds:Capabilities>"
                                       "<tt:Events><tt:XAddr>") +
                           c.xaddr +
                           "</tt:XAddr><tt:WSSubscriptionPolicySupport>true"
                           "</tt:WSSubscriptionPolicySupport><tt:WSPullPointSupport>true"
                           "</tt:WSPullPointSupport></tt:Events>"
                           "</tds:Capabilities></tds:GetCapabilitiesResponse>";
        Reply r(envelope(body), "GetCapabilitiesResponse");
        ASSERT_EQ(1, parse_GetCapabilities_rly(r.resp(), caps_));
        if (c.used) {
            // The whole events record, not only its address.
            EXPECT_EQ(ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY |
                          ONVIF_CAP_EVT_WS_PULL_POINT,
                      caps_->events.flags);
            expect_xaddr(caps_->events.xaddr, c.https, c.port, c.host, c.path);
        } else {
            EXPECT_EQ(0u, caps_->events.flags);
            EXPECT_STREQ("", caps_->events.xaddr.host);
        }
    }
}

TEST_F(Caps, AuxiliaryCommandsAreCutAtTheFieldEnd)
{
    // 40 commands of 11 characters: 480 characters with blanks.
    std::string cmds;
    for (int i = 0; i < 40; i++) {
        char name[32];
        snprintf(name, sizeof(name), "tt:Cmd%03d|X", i);
        cmds += std::string("<tt:AuxiliaryCommands>") + name + "</tt:AuxiliaryCommands>";
    }
    std::string body = "<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device>"
                       "<tt:XAddr>http://10.0.0.5/onvif/device_service</tt:XAddr>"
                       "<tt:IO><tt:Extension>" +
                       cmds +
                       "</tt:Extension></tt:IO></tt:Device></tds:Capabilities>"
                       "</tds:GetCapabilitiesResponse>";
    memset(caps_->device.auxiliary_commands, 'z', sizeof(caps_->device.auxiliary_commands) - 1);
    caps_->device.version_major = 0x5a5a;
    Reply r(envelope(body), "GetCapabilitiesResponse");
    ASSERT_EQ(1, parse_GetCapabilities_rly(r.resp(), caps_));
    const char *aux = caps_->device.auxiliary_commands;
    EXPECT_EQ(ONVIF_CAP_TEXT_LEN - 1, (int)strlen(aux));
    EXPECT_EQ(0, strncmp(aux, "tt:Cmd000|X tt:Cmd001|X ", 24));
    EXPECT_EQ(0x5a5a, caps_->device.version_major);
}

// ---- GetServices ------------------------------------------------------------

std::string service(const char *ns, const char *xaddr, const std::string &caps, int major,
                    int minor)
{
    std::string s = "<tds:Service><tds:Namespace>" + std::string(ns) + "</tds:Namespace>";
    if (xaddr) s += "<tds:XAddr>" + std::string(xaddr) + "</tds:XAddr>";
    if (!caps.empty()) s += "<tds:Capabilities>" + caps + "</tds:Capabilities>";
    s += "<tds:Version><tt:Major>" + std::to_string(major) + "</tt:Major><tt:Minor>" +
         std::to_string(minor) + "</tt:Minor></tds:Version></tds:Service>";
    return s;
}

std::string services(const std::string &inner)
{
    return envelope("<tds:GetServicesResponse>" + inner + "</tds:GetServicesResponse>");
}

TEST_F(Caps, GetServicesWithCapabilitiesFillsEachService)
{
    std::string body;
    body += service(
        "http://www.onvif.org/ver10/device/wsdl", "http://10.2.0.7/onvif/device_service",
        "<tds:Capabilities>"
        "<tds:Network IPFilter=\"true\" ZeroConfiguration=\"false\" IPVersion6=\"true\" "
        "DynDNS=\"false\" Dot11Configuration=\"false\" Dot1XConfigurations=\"0\" "
        "HostnameFromDHCP=\"true\" NTP=\"2\" DHCPv6=\"true\"/>"
        "<tds:Security TLS1.0=\"false\" TLS1.1=\"true\" TLS1.2=\"true\" "
        "OnboardKeyGeneration=\"false\" AccessPolicyConfig=\"true\" DefaultAccessPolicy=\"true\" "
        "Dot1X=\"false\" RemoteUserHandling=\"false\" X.509Token=\"false\" SAMLToken=\"false\" "
        "KerberosToken=\"false\" UsernameToken=\"true\" HttpDigest=\"true\" RELToken=\"false\" "
        "SupportedEAPMethods=\"0\" MaxUsers=\"32\" MaxUserNameLength=\"16\" "
        "MaxPasswordLength=\"16\"/>"
        "<tds:System DiscoveryResolve=\"false\" DiscoveryBye=\"true\" RemoteDiscovery=\"false\" "
        "SystemBackup=\"false\" SystemLogging=\"true\" FirmwareUpgrade=\"true\" "
        "HttpFirmwareUpgrade=\"true\" HttpSystemBackup=\"false\" HttpSystemLogging=\"false\" "
        "HttpSupportInformation=\"false\" StorageConfiguration=\"true\" "
        "MaxStorageConfigurations=\"2\" GeoLocationEntries=\"1\" AutoGeo=\"Location\" "
        "StorageTypesSupported=\"NFS CIFS\"/>"
        "<tds:Misc AuxiliaryCommands=\"tt:Wiper|On tt:IRLamp|Auto\"/>"
        "</tds:Capabilities>",
        2, 60);
    body += service("http://www.onvif.org/ver10/media/wsdl", "http://10.2.0.7/onvif/Media",
                    "<trt:Capabilities SnapshotUri=\"true\" Rotation=\"false\" "
                    "VideoSourceMode=\"false\" OSD=\"true\" TemporaryOSDText=\"false\" "
                    "EXICompression=\"false\">"
                    "<trt:ProfileCapabilities MaximumNumberOfProfiles=\"6\"/>"
                    "<trt:StreamingCapabilities RTPMulticast=\"true\" RTP_TCP=\"true\" "
                    "RTP_RTSP_TCP=\"true\" NonAggregateControl=\"false\" "
                    "NoRTSPStreaming=\"false\"/></trt:Capabilities>",
                    2, 60);
    body += service("http://www.onvif.org/ver20/media/wsdl", "http://10.2.0.7/onvif/Media2",
                    "<tr2:Capabilities SnapshotUri=\"true\" Rotation=\"false\" OSD=\"true\" "
                    "Mask=\"true\" SourceMask=\"false\">"
                    "<tr2:ProfileCapabilities MaximumNumberOfProfiles=\"24\" "
                    "ConfigurationsSupported=\"VideoSource VideoEncoder Metadata\"/>"
                    "<tr2:StreamingCapabilities RTSPStreaming=\"true\" RTPMulticast=\"false\" "
                    "RTP_RTSP_TCP=\"true\" NonAggregateControl=\"false\" "
                    "RTSPWebSocketUri=\"ws://10.2.0.7/rtsp-over-ws?x=1&amp;y=2\" "
                    "AutoStartMulticast=\"false\"/></tr2:Capabilities>",
                    2, 40);
    body += service("http://www.onvif.org/ver10/events/wsdl", "http://10.2.0.7/onvif/Events",
                    "<tev:Capabilities WSSubscriptionPolicySupport=\"true\" "
                    "WSPullPointSupport=\"true\" "
                    "WSPausableSubscriptionManagerInterfaceSupport=\"false\" "
                    "MaxNotificationProducers=\"10\" MaxPullPoints=\"5\" "
                    "PersistentNotificationStorage=\"false\"/>",
                    2, 60);
    body += service("http://www.onvif.org/ver20/ptz/wsdl", "http://10.2.0.7/onvif/PTZ",
                    "<tptz:Capabilities EFlip=\"true\" Reverse=\"true\" "
                    "GetCompatibleConfigurations=\"true\" MoveStatus=\"true\" "
                    "StatusPosition=\"false\"/>",
                    2, 50);
    body += service("http://www.onvif.org/ver20/imaging/wsdl", "http://10.2.0.7/onvif/Imaging",
                    "<timg:Capabilities ImageStabilization=\"false\" Presets=\"true\" "
                    "AdaptablePreset=\"true\"/>",
                    2, 50);
    body += service("http://www.onvif.org/ver20/analytics/wsdl", "http://10.2.0.7/onvif/Analytics",
                    "<tan:Capabilities RuleSupport=\"true\" AnalyticsModuleSupport=\"true\" "
                    "CellBasedSceneDescriptionSupported=\"false\" RuleOptionsSupported=\"true\" "
                    "AnalyticsModuleOptionsSupported=\"false\" SupportedMetadata=\"true\" "
                    "ImageSendingType=\"Embedded RemoteStorage\"/>",
                    2, 30);
    body += service("http://www.onvif.org/ver10/deviceIO/wsdl", "http://10.2.0.7/onvif/DeviceIO",
                    "<tmd:Capabilities VideoSources=\"1\" VideoOutputs=\"0\" AudioSources=\"1\" "
                    "AudioOutputs=\"1\" RelayOutputs=\"2\" SerialPorts=\"0\" DigitalInputs=\"2\" "
                    "DigitalInputOptions=\"false\"/>",
                    2, 20);
    body += service("http://www.onvif.org/ver10/recording/wsdl", "http://10.2.0.7/onvif/Recording",
                    "<trc:Capabilities DynamicRecordings=\"true\" DynamicTracks=\"false\" "
                    "Encoding=\"h264 JPEG  G711 H265 AAC AVERYLONGENCODINGNAMEBEYONDTHIRTYTWOCH\" "
                    "MaxRate=\"4096.5\" MaxTotalRate=\"16384\" MaxRecordings=\"8\" "
                    "MaxRecordingJobs=\"8\" Options=\"true\" MetadataRecording=\"true\" "
                    "SupportedExportFileFormats=\"MP4 CMAF\"/>",
                    2, 40);
    body +=
        service("http://www.onvif.org/ver10/search/wsdl", "http://10.2.0.7/onvif/Search",
                "<tse:Capabilities MetadataSearch=\"false\" GeneralStartEvents=\"true\"/>", 2, 40);
    body += service("http://www.onvif.org/ver10/replay/wsdl", "http://10.2.0.7/onvif/Replay",
                    "<trp:Capabilities ReversePlayback=\"false\" SessionTimeoutRange=\"10 120\" "
                    "RTP_RTSP_TCP=\"true\" RTSPWebSocketUri=\"ws://10.2.0.7/replay\"/>",
                    2, 21);

    Reply r(services(body), "GetServicesResponse");
    ASSERT_NE(nullptr, r.resp());
    ASSERT_EQ(1, parse_GetServices_rly(r.resp(), caps_));

    const ONVIF_CAP_DEVICE &d = caps_->device;
    EXPECT_EQ(ONVIF_CAP_DEV_IPFILTER | ONVIF_CAP_DEV_IPVERSION6 | ONVIF_CAP_DEV_HOSTNAME_FROM_DHCP |
                  ONVIF_CAP_DEV_DHCPV6 | ONVIF_CAP_DEV_TLS1_1 | ONVIF_CAP_DEV_TLS1_2 |
                  ONVIF_CAP_DEV_ACCESS_POLICY_CONFIG | ONVIF_CAP_DEV_DEFAULT_ACCESS_POLICY |
                  ONVIF_CAP_DEV_USERNAME_TOKEN | ONVIF_CAP_DEV_HTTP_DIGEST |
                  ONVIF_CAP_DEV_DISCOVERY_BYE | ONVIF_CAP_DEV_SYSTEM_LOGGING |
                  ONVIF_CAP_DEV_FIRMWARE_UPGRADE | ONVIF_CAP_DEV_HTTP_FIRMWARE_UPGRADE |
                  ONVIF_CAP_DEV_STORAGE_CONFIGURATION,
              d.flags);
    EXPECT_EQ(2, d.max_ntp);
    EXPECT_EQ(32, d.max_users);
    EXPECT_EQ(16, d.max_username_length);
    EXPECT_EQ(16, d.max_password_length);
    EXPECT_EQ(2, d.max_storage_configurations);
    EXPECT_EQ(1, d.geo_location_entries);
    EXPECT_STREQ("Location", d.auto_geo);
    EXPECT_STREQ("NFS CIFS", d.storage_types_supported);
    EXPECT_STREQ("tt:Wiper|On tt:IRLamp|Auto", d.auxiliary_commands);
    EXPECT_EQ(2, d.version_major);
    EXPECT_EQ(60, d.version_minor);
    expect_xaddr(d.xaddr, 0, 80, "10.2.0.7", "/onvif/device_service");

    EXPECT_EQ(ONVIF_CAP_MEDIA_PRESENT | ONVIF_CAP_MED_SNAPSHOT_URI | ONVIF_CAP_MED_OSD |
                  ONVIF_CAP_MED_RTP_MULTICAST | ONVIF_CAP_MED_RTP_TCP | ONVIF_CAP_MED_RTP_RTSP_TCP,
              caps_->media.flags);
    EXPECT_EQ(6, caps_->media.maximum_number_of_profiles);

    const ONVIF_CAP_MEDIA2 &m2 = caps_->media2;
    EXPECT_EQ(ONVIF_CAP_MEDIA2_PRESENT | ONVIF_CAP_MED2_HAS_SNAPSHOT_URI |
                  ONVIF_CAP_MED2_HAS_ROTATION | ONVIF_CAP_MED2_HAS_OSD | ONVIF_CAP_MED2_HAS_MASK |
                  ONVIF_CAP_MED2_HAS_SOURCE_MASK,
              m2.flags);
    EXPECT_EQ(1, m2.snapshot_uri);
    EXPECT_EQ(0, m2.rotation);
    EXPECT_EQ(1, m2.mask);
    EXPECT_EQ(0, m2.source_mask);
    EXPECT_EQ(ONVIF_CAP_MED2_HAS_MAX_PROFILES | ONVIF_CAP_MED2_HAS_CONFIGURATIONS_SUPPORTED,
              m2.profile_flags);
    EXPECT_EQ(24, m2.maximum_number_of_profiles);
    EXPECT_STREQ("VideoSource VideoEncoder Metadata", m2.configurations_supported);
    EXPECT_EQ(0x3fu, m2.streaming_flags);
    EXPECT_EQ(1, m2.rtsp_streaming);
    EXPECT_EQ(0, m2.rtp_multicast);
    EXPECT_EQ(1, m2.rtp_rtsp_tcp);
    EXPECT_STREQ("ws://10.2.0.7/rtsp-over-ws?x=1&y=2", m2.rtsp_websocket_uri);
    EXPECT_EQ(2, m2.version_major);
    EXPECT_EQ(40, m2.version_minor);
    expect_xaddr(m2.xaddr, 0, 80, "10.2.0.7", "/onvif/Media2");

    EXPECT_EQ(ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY |
                  ONVIF_CAP_EVT_WS_PULL_POINT,
              caps_->events.flags);
    EXPECT_EQ(10, caps_->events.max_notification_producers);
    EXPECT_EQ(5, caps_->events.max_pull_points);

    EXPECT_EQ(ONVIF_CAP_PTZ_PRESENT | ONVIF_CAP_PTZ_EFLIP | ONVIF_CAP_PTZ_REVERSE |
                  ONVIF_CAP_PTZ_GET_COMPATIBLE_CONFIGURATIONS | ONVIF_CAP_PTZ_MOVE_STATUS,
              caps_->ptz.flags);
    EXPECT_EQ(50, caps_->ptz.version_minor);
    EXPECT_EQ(ONVIF_CAP_IMAGING_PRESENT | ONVIF_CAP_IMG_PRESETS | ONVIF_CAP_IMG_ADAPTABLE_PRESET,
              caps_->imaging.flags);
    EXPECT_EQ(ONVIF_CAP_ANALYTICS_PRESENT | ONVIF_CAP_ANA_RULE_SUPPORT |
                  ONVIF_CAP_ANA_ANALYTICS_MODULE_SUPPORT | ONVIF_CAP_ANA_RULE_OPTIONS |
                  ONVIF_CAP_ANA_SUPPORTED_METADATA,
              caps_->analytics.flags);
    EXPECT_STREQ("Embedded RemoteStorage", caps_->analytics.image_sending_type);

    // The device IO namespace fills the device IO sub-record.
    const ONVIF_CAP_DEVICEIO &io = caps_->deviceio;
    EXPECT_EQ(ONVIF_CAP_DEVICEIO_PRESENT | 0xffu, io.flags);
    EXPECT_EQ(2, io.relay_outputs);
    EXPECT_EQ(2, io.digital_inputs);
    EXPECT_EQ(0, io.digital_input_options);
    expect_xaddr(io.xaddr, 0, 80, "10.2.0.7", "/onvif/DeviceIO");
    EXPECT_EQ(0, d.relay_outputs);

    const ONVIF_CAP_RECORDING &rec = caps_->recording;
    EXPECT_EQ(ONVIF_CAP_RECORDING_PRESENT | ONVIF_CAP_REC_DYNAMIC_RECORDINGS |
                  ONVIF_CAP_REC_ENC_H264 | ONVIF_CAP_REC_ENC_JPEG | ONVIF_CAP_REC_ENC_G711 |
                  ONVIF_CAP_REC_ENC_AAC | ONVIF_CAP_REC_OPTIONS | ONVIF_CAP_REC_METADATA_RECORDING,
              rec.flags);
    EXPECT_EQ(4096, rec.max_rate);
    EXPECT_EQ(16384, rec.max_total_rate);
    EXPECT_EQ(8, rec.max_recordings);
    EXPECT_EQ(8, rec.max_recording_jobs);
    EXPECT_STREQ("MP4 CMAF", rec.supported_export_file_formats);

    EXPECT_EQ(ONVIF_CAP_SEARCH_PRESENT | ONVIF_CAP_SRC_GENERAL_START_EVENTS, caps_->search.flags);
    EXPECT_EQ(ONVIF_CAP_REPLAY_PRESENT | ONVIF_CAP_RPL_RTP_RTSP_TCP, caps_->replay.flags);
    EXPECT_STREQ("10 120", caps_->replay.session_timeout_range);
    EXPECT_STREQ("ws://10.2.0.7/replay", caps_->replay.rtsp_websocket_uri);
    EXPECT_EQ(21, caps_->replay.version_minor);
}

TEST_F(Caps, GetServicesNamespaceMatchingAndInPlaceUpdate)
{
    // What GetCapabilities left before.
    caps_->thermal.flags = ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY;
    strcpy(caps_->thermal.xaddr.host, "10.3.3.3");
    caps_->events.flags = ONVIF_CAP_EVENTS_PRESENT | ONVIF_CAP_EVT_WS_PULL_POINT;
    strcpy(caps_->events.xaddr.host, "10.3.3.3");
    caps_->device.flags = ONVIF_CAP_DEV_IPFILTER;
    strcpy(caps_->device.xaddr.host, "10.3.3.3");
    caps_->search.flags = ONVIF_CAP_SEARCH_PRESENT;
    strcpy(caps_->search.xaddr.host, "10.3.3.3");
    caps_->media.flags = ONVIF_CAP_MEDIA_PRESENT | ONVIF_CAP_MED_RTP_TCP;
    caps_->media.maximum_number_of_profiles = 3;

    std::string body;
    // Analytics-device and federated-search services are neither the device
    // nor the search service.
    body += service("http://www.onvif.org/ver10/analyticsdevice/wsdl",
                    "http://10.4.4.4/onvif/analyticsdevice", "", 1, 0);
    body += service("http://www.onvif.org/ver10/federatedsearch/wsdl",
                    "http://10.4.4.4/onvif/fsearch", "", 1, 0);
    // Unknown services are skipped.
    body += service("http://www.onvif.org/ver10/advancedsecurity/wsdl",
                    "http://10.4.4.4/onvif/security", "", 1, 0);
    // A known service without XAddr only loses its present bit.
    body += service("http://www.onvif.org/ver10/events/wsdl", nullptr, "", 9, 9);
    // Without IncludeCapability: address and version only.
    body += service("http://www.onvif.org/ver10/media/wsdl", "http://10.4.4.4:81/onvif/media", "",
                    2, 6);
    // The device service without XAddr is skipped altogether.
    body += service("http://www.onvif.org/ver10/device/wsdl", nullptr,
                    "<tds:Capabilities><tds:Network IPFilter=\"false\"/></tds:Capabilities>", 2, 6);

    Reply r(services(body), "GetServicesResponse");
    ASSERT_EQ(1, parse_GetServices_rly(r.resp(), caps_));

    EXPECT_EQ(ONVIF_CAP_DEV_IPFILTER, caps_->device.flags);
    EXPECT_STREQ("10.3.3.3", caps_->device.xaddr.host);
    EXPECT_EQ(0, caps_->device.version_major);
    EXPECT_EQ(ONVIF_CAP_SEARCH_PRESENT, caps_->search.flags);
    EXPECT_STREQ("10.3.3.3", caps_->search.xaddr.host);
    EXPECT_EQ(ONVIF_CAP_EVT_WS_PULL_POINT, caps_->events.flags);
    EXPECT_STREQ("10.3.3.3", caps_->events.xaddr.host);
    EXPECT_EQ(0, caps_->events.version_major);
    EXPECT_EQ(ONVIF_CAP_MEDIA_PRESENT | ONVIF_CAP_MED_RTP_TCP, caps_->media.flags);
    EXPECT_EQ(3, caps_->media.maximum_number_of_profiles);
    expect_xaddr(caps_->media.xaddr, 0, 81, "10.4.4.4", "/onvif/media");
    EXPECT_EQ(6, caps_->media.version_minor);
    // A service the reply lacks keeps its sub-record and present bit.
    EXPECT_EQ(ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY, caps_->thermal.flags);
    EXPECT_STREQ("10.3.3.3", caps_->thermal.xaddr.host);
    EXPECT_EQ(0u, caps_->analytics.flags);

    // An empty reply changes nothing.
    ONVIF_CAPABILITIES before = *caps_;
    Reply e(services(""), "GetServicesResponse");
    EXPECT_EQ(1, parse_GetServices_rly(e.resp(), caps_));
    EXPECT_EQ(0, memcmp(&before, caps_, sizeof(before)));
    EXPECT_EQ(1, parse_GetServices_rly(nullptr, caps_));
}

TEST_F(Caps, GetServicesAccessAndProvisioningServices)
{
    std::string body;
    body +=
        service("http://www.onvif.org/ver10/accesscontrol/wsdl", "http://10.5.0.1/onvif/ac",
                "<tac:Capabilities xmlns:tac=\"http://www.onvif.org/ver10/accesscontrol/wsdl\" "
                "MaxLimit=\"100\" MaxAccessPoints=\"8\" MaxAreas=\"4\" "
                "ClientSuppliedTokenSupported=\"true\" AccessPointManagementSupported=\"false\" "
                "AreaManagementSupported=\"true\"/>",
                1, 0);
    body += service("http://www.onvif.org/ver10/doorcontrol/wsdl", "http://10.5.0.1/onvif/dc",
                    "<tdc:Capabilities xmlns:tdc=\"http://www.onvif.org/ver10/doorcontrol/wsdl\" "
                    "MaxLimit=\"50\" MaxDoors=\"2\" ClientSuppliedTokenSupported=\"false\" "
                    "DoorManagementSupported=\"true\"/>",
                    1, 0);
    body += service("http://www.onvif.org/ver10/thermal/wsdl", "http://10.5.0.1/onvif/thermal",
                    "<tth:Capabilities xmlns:tth=\"http://www.onvif.org/ver10/thermal/wsdl\" "
                    "Radiometry=\"true\"/>",
                    1, 0);
    body += service("http://www.onvif.org/ver10/credential/wsdl", "http://10.5.0.1/onvif/cred",
                    "<tcr:Capabilities MaxLimit=\"20\" CredentialValiditySupported=\"true\" "
                    "CredentialAccessProfileValiditySupported=\"false\" "
                    "ValiditySupportsTimeValue=\"true\" MaxCredentials=\"1000\" "
                    "MaxAccessProfilesPerCredential=\"4\" ResetAntipassbackSupported=\"false\" "
                    "ClientSuppliedTokenSupported=\"true\" "
                    "DefaultCredentialSuspensionDuration=\"PT5M\">"
                    "<tcr:SupportedIdentifierType>pt:Card</tcr:SupportedIdentifierType>"
                    "<tcr:SupportedIdentifierType>pt:PIN</tcr:SupportedIdentifierType>"
                    "<tcr:Extension><tcr:SupportedExemptionType>pt:ExemptFromAuthentication"
                    "</tcr:SupportedExemptionType></tcr:Extension>"
                    "</tcr:Capabilities>",
                    1, 0);
    body += service("http://www.onvif.org/ver10/accessrules/wsdl", "http://10.5.0.1/onvif/ar",
                    "<tar:Capabilities xmlns:tar=\"http://www.onvif.org/ver10/accessrules/wsdl\" "
                    "MaxLimit=\"10\" MaxAccessProfiles=\"30\" "
                    "MaxAccessPoliciesPerAccessProfile=\"5\" "
                    "MultipleSchedulesPerAccessPointSupported=\"true\" "
                    "ClientSuppliedTokenSupported=\"false\"/>",
                    1, 0);
    body += service("http://www.onvif.org/ver10/schedule/wsdl", "http://10.5.0.1/onvif/sched",
                    "<tsc:Capabilities xmlns:tsc=\"http://www.onvif.org/ver10/schedule/wsdl\" "
                    "MaxLimit=\"10\" MaxSchedules=\"20\" MaxTimePeriodsPerDay=\"4\" "
                    "MaxSpecialDayGroups=\"6\" MaxDaysInSpecialDayGroup=\"31\" "
                    "MaxSpecialDaysSchedules=\"3\" ExtendedRecurrenceSupported=\"false\" "
                    "SpecialDaysSupported=\"true\" StateReportingSupported=\"true\" "
                    "ClientSuppliedTokenSupported=\"false\"/>",
                    1, 0);
    body += service("http://www.onvif.org/ver10/receiver/wsdl", "http://10.5.0.1/onvif/recv",
                    "<trv:Capabilities xmlns:trv=\"http://www.onvif.org/ver10/receiver/wsdl\" "
                    "RTP_Multicast=\"false\" RTP_TCP=\"true\" RTP_RTSP_TCP=\"true\" "
                    "SupportedReceivers=\"4\" MaximumRTSPURILength=\"1024\"/>",
                    1, 0);
    std::string sources;
    for (int i = 0; i < 10; i++) {
        sources += "<tpv:Source VideoSourceToken=\"VideoSource_" + std::to_string(i) +
                   "\" MaximumPanMoves=\"" + std::to_string(100 + i) +
                   "\" MaximumZoomMoves=\"5\" AutoLevel=\"true\" MaximumFocusMoves=\"7\"/>";
    }
    body += service("http://www.onvif.org/ver10/provisioning/wsdl", "http://10.5.0.1/onvif/prov",
                    "<tpv:Capabilities><tpv:DefaultTimeout>PT1M30S</tpv:DefaultTimeout>" + sources +
                        "</tpv:Capabilities>",
                    1, 0);

    Reply r(services(body), "GetServicesResponse");
    ASSERT_EQ(1, parse_GetServices_rly(r.resp(), caps_));

    const ONVIF_CAP_ACCESSCONTROL &ac = caps_->accesscontrol;
    EXPECT_EQ(ONVIF_CAP_ACCESSCONTROL_PRESENT | ONVIF_CAP_TAC_CLIENT_SUPPLIED_TOKEN |
                  ONVIF_CAP_TAC_AREA_MANAGEMENT,
              ac.flags);
    EXPECT_EQ(100, ac.max_limit);
    EXPECT_EQ(8, ac.max_access_points);
    EXPECT_EQ(4, ac.max_areas);
    expect_xaddr(ac.xaddr, 0, 80, "10.5.0.1", "/onvif/ac");

    EXPECT_EQ(ONVIF_CAP_DOORCONTROL_PRESENT | ONVIF_CAP_TDC_DOOR_MANAGEMENT,
              caps_->doorcontrol.flags);
    EXPECT_EQ(2, caps_->doorcontrol.max_doors);
    EXPECT_EQ(ONVIF_CAP_THERMAL_PRESENT | ONVIF_CAP_TTH_RADIOMETRY, caps_->thermal.flags);

    const ONVIF_CAP_CREDENTIAL &cr = caps_->credential;
    EXPECT_EQ(ONVIF_CAP_CREDENTIAL_PRESENT | ONVIF_CAP_TCR_CREDENTIAL_VALIDITY |
                  ONVIF_CAP_TCR_VALIDITY_SUPPORTS_TIME_VALUE | ONVIF_CAP_TCR_CLIENT_SUPPLIED_TOKEN |
                  ONVIF_CAP_TCR_HAS_SUSPENSION_DURATION,
              cr.flags);
    EXPECT_EQ(1000, cr.max_credentials);
    EXPECT_EQ(4, cr.max_access_profiles_per_credential);
    EXPECT_STREQ("PT5M", cr.default_credential_suspension_duration);
    EXPECT_STREQ("pt:Card pt:PIN ", cr.supported_identifier_type);
    EXPECT_STREQ("pt:ExemptFromAuthentication ", cr.supported_exemption_type);

    EXPECT_EQ(ONVIF_CAP_ACCESSRULES_PRESENT | ONVIF_CAP_TAR_MULTIPLE_SCHEDULES,
              caps_->accessrules.flags);
    EXPECT_EQ(5, caps_->accessrules.max_access_policies_per_access_profile);
    EXPECT_EQ(ONVIF_CAP_SCHEDULE_PRESENT | ONVIF_CAP_TSC_SPECIAL_DAYS |
                  ONVIF_CAP_TSC_STATE_REPORTING,
              caps_->schedule.flags);
    EXPECT_EQ(31, caps_->schedule.max_days_in_special_day_group);
    EXPECT_EQ(ONVIF_CAP_RECEIVER_PRESENT | ONVIF_CAP_TRV_RTP_TCP | ONVIF_CAP_TRV_RTP_RTSP_TCP,
              caps_->receiver.flags);
    EXPECT_EQ(1024, caps_->receiver.maximum_rtsp_uri_length);

    // Ten Source entries, eight kept.
    const ONVIF_CAP_PROVISIONING &pv = caps_->provisioning;
    EXPECT_EQ(ONVIF_CAP_PROVISIONING_PRESENT | ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT, pv.flags);
    EXPECT_EQ(90, pv.default_timeout);
    ASSERT_EQ(ONVIF_CAP_TPV_MAX_SOURCES, pv.source_count);
    EXPECT_STREQ("VideoSource_0", pv.sources[0].video_source_token);
    EXPECT_STREQ("VideoSource_7", pv.sources[7].video_source_token);
    EXPECT_EQ(107, pv.sources[7].maximum_pan_moves);
    EXPECT_EQ(ONVIF_CAP_TPV_HAS_PAN_MOVES | ONVIF_CAP_TPV_HAS_ZOOM_MOVES |
                  ONVIF_CAP_TPV_AUTO_LEVEL | ONVIF_CAP_TPV_HAS_FOCUS_MOVES,
              pv.sources[3].flags);
    EXPECT_EQ(7, pv.sources[3].maximum_focus_moves);
}

TEST_F(Caps, ServiceTextAttributesAreCutAtTheirFields)
{
    // ImageSendingType exactly 255 characters, then one longer; the token of
    // a provisioning source exactly 99, then 100 (a field of 100 bytes).
    std::string exact(ONVIF_CAP_TEXT_LEN - 1, 'e');
    std::string token99(99, 't');
    for (int extra = 0; extra <= 1; extra++) {
        SetUp();
        caps_->analytics.version_major = 0x1234; // the field after the text
        caps_->analytics.version_minor = 0x1234;
        std::string body =
            service("http://www.onvif.org/ver20/analytics/wsdl", "http://10.6.0.1/onvif/an",
                    "<tan:Capabilities ImageSendingType=\"" + exact + std::string(extra, 'X') +
                        "\"/>",
                    2, 0) +
            service("http://www.onvif.org/ver10/provisioning/wsdl", "http://10.6.0.1/onvif/pv",
                    "<tpv:Capabilities><tpv:Source VideoSourceToken=\"" + token99 +
                        std::string(extra, 'X') + "\" MaximumTiltMoves=\"3\"/></tpv:Capabilities>",
                    1, 0);
        Reply r(services(body), "GetServicesResponse");
        // The analytics capabilities straight through their parser, so the
        // field after the text is not rewritten by the Version afterwards.
        XML_NODE *svc = xml_node_soap_get(r.resp(), "Service");
        XML_NODE *inner = xml_node_soap_get(xml_node_soap_get(svc, "Capabilities"), "Capabilities");
        ASSERT_NE(nullptr, inner);
        parse_tan_ServiceCapabilities(inner, &caps_->analytics);
        EXPECT_EQ(exact, caps_->analytics.image_sending_type) << extra;
        EXPECT_EQ(0x1234, caps_->analytics.version_major);
        ASSERT_EQ(1, parse_GetServices_rly(r.resp(), caps_));
        const ONVIF_CAP_PROVISIONING_SOURCE &s = caps_->provisioning.sources[0];
        EXPECT_EQ(token99, s.video_source_token);
        EXPECT_EQ(3, s.maximum_tilt_moves);
        EXPECT_EQ(ONVIF_CAP_TPV_HAS_TILT_MOVES, s.flags);
    }
}

} // namespace
