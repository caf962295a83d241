#include "bench/replies.hpp"

#include <cstdarg>
#include <cstdio>

namespace bench
{
namespace
{

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:SOAP-ENC=\"http://www.w3.org/2003/05/soap-encoding\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:wsa=\"http://www.w3.org/2005/08/addressing\" "
    "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
    "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
    "xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" "
    "xmlns:tse=\"http://www.onvif.org/ver10/search/wsdl\" "
    "xmlns:ter=\"http://www.onvif.org/ver10/error\">"
    "<SOAP-ENV:Header></SOAP-ENV:Header><SOAP-ENV:Body>";
const char kTail[] = "</SOAP-ENV:Body></SOAP-ENV:Envelope>";

// printf into a std::string (the fragments below are far below 4 KB).
__attribute__((format(printf, 1, 2))) std::string fmt(const char *format, ...)
{
    char buf[4096];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf, sizeof(buf), format, ap);
    va_end(ap);
    if (n < 0) return std::string();
    if ((size_t)n >= sizeof(buf)) n = (int)sizeof(buf) - 1;
    return std::string(buf, (size_t)n);
}

std::string service(const char *ns, const char *path, const char *caps, int major, int minor)
{
    return fmt("<tds:Service><tds:Namespace>%s</tds:Namespace>"
               "<tds:XAddr>http://192.168.1.64/onvif/%s</tds:XAddr>"
               "<tds:Capabilities>%s</tds:Capabilities>"
               "<tds:Version><tt:Major>%d</tt:Major><tt:Minor>%d</tt:Minor></tds:Version>"
               "</tds:Service>",
               ns, path, caps, major, minor);
}

std::string service_round()
{
    std::string s;
    s += service("http://www.onvif.org/ver10/device/wsdl", "device_service",
                 "<tds:Capabilities><tds:Network IPFilter=\"true\" ZeroConfiguration=\"true\" "
                 "IPVersion6=\"true\" DynDNS=\"true\" Dot11Configuration=\"false\" "
                 "Dot1XConfigurations=\"0\" HostnameFromDHCP=\"true\" NTP=\"1\" "
                 "DHCPv6=\"true\"/><tds:Security TLS1.0=\"false\" TLS1.1=\"true\" "
                 "TLS1.2=\"true\" OnboardKeyGeneration=\"true\" AccessPolicyConfig=\"true\" "
                 "DefaultAccessPolicy=\"true\" Dot1X=\"false\" RemoteUserHandling=\"false\" "
                 "X.509Token=\"false\" SAMLToken=\"false\" KerberosToken=\"false\" "
                 "UsernameToken=\"true\" HttpDigest=\"true\" RELToken=\"false\" "
                 "SupportedEAPMethods=\"0\" MaxUsers=\"32\" MaxUserNameLength=\"32\" "
                 "MaxPasswordLength=\"16\"/><tds:System DiscoveryResolve=\"true\" "
                 "DiscoveryBye=\"true\" RemoteDiscovery=\"false\" SystemBackup=\"false\" "
                 "SystemLogging=\"true\" FirmwareUpgrade=\"true\" HttpFirmwareUpgrade=\"true\" "
                 "HttpSystemBackup=\"false\" HttpSystemLogging=\"false\" "
                 "HttpSupportInformation=\"false\" StorageConfiguration=\"true\"/>"
                 "</tds:Capabilities>",
                 17, 12);
    s +=
        service("http://www.onvif.org/ver10/media/wsdl", "Media",
                "<trt:Capabilities SnapshotUri=\"true\" Rotation=\"false\" "
                "VideoSourceMode=\"false\" OSD=\"true\" TemporaryOSDText=\"false\" "
                "EXICompression=\"false\"><trt:ProfileCapabilities MaximumNumberOfProfiles=\"10\"/>"
                "<trt:StreamingCapabilities RTPMulticast=\"true\" RTP_TCP=\"true\" "
                "RTP_RTSP_TCP=\"true\" NonAggregateControl=\"false\" NoRTSPStreaming=\"false\"/>"
                "</trt:Capabilities>",
                2, 60);
    s += service("http://www.onvif.org/ver10/events/wsdl", "Events",
                 "<tev:Capabilities xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\" "
                 "WSSubscriptionPolicySupport=\"true\" WSPullPointSupport=\"true\" "
                 "WSPausableSubscriptionManagerInterfaceSupport=\"false\" "
                 "MaxNotificationProducers=\"10\" MaxPullPoints=\"10\" "
                 "PersistentNotificationStorage=\"false\"/>",
                 2, 60);
    s += service("http://www.onvif.org/ver20/imaging/wsdl", "Imaging",
                 "<timg:Capabilities xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\" "
                 "ImageStabilization=\"false\" Presets=\"true\" "
                 "AdaptablePreset=\"false\"/>",
                 16, 12);
    s += service("http://www.onvif.org/ver20/ptz/wsdl", "PTZ",
                 "<tptz:Capabilities xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\" "
                 "EFlip=\"true\" Reverse=\"true\" GetCompatibleConfigurations=\"true\" "
                 "MoveStatus=\"true\" StatusPosition=\"true\"/>",
                 2, 50);
    s += service(
        "http://www.onvif.org/ver10/recording/wsdl", "Recording",
        "<trc:Capabilities xmlns:trc=\"http://www.onvif.org/ver10/recording/wsdl\" "
        "DynamicRecordings=\"false\" DynamicTracks=\"false\" Encoding=\"H264 G711\" "
        "MaxRate=\"16384\" MaxTotalRate=\"16384\" MaxRecordings=\"1\" MaxRecordingJobs=\"1\" "
        "Options=\"true\" MetadataRecording=\"true\" SupportedExportFileFormats=\"\"/>",
        2, 40);
    s += service("http://www.onvif.org/ver10/search/wsdl", "SearchRecording",
                 "<tse:Capabilities MetadataSearch=\"false\" GeneralStartEvents=\"true\"/>", 2, 42);
    s += service("http://www.onvif.org/ver10/replay/wsdl", "Replay",
                 "<trp:Capabilities xmlns:trp=\"http://www.onvif.org/ver10/replay/wsdl\" "
                 "ReversePlayback=\"false\" SessionTimeoutRange=\"0 4294967295\" "
                 "RTP_RTSP_TCP=\"true\"/>",
                 2, 21);
    return s;
}

std::string profile(int i)
{
    return fmt(
        "<trt:Profiles token=\"Profile_%d\" fixed=\"true\"><tt:Name>mainStream_%d</tt:Name>"
        "<tt:VideoSourceConfiguration "
        "token=\"VideoSourceToken\"><tt:Name>VideoSourceConfig</tt:Name>"
        "<tt:UseCount>%d</tt:UseCount><tt:SourceToken>VideoSource_1</tt:SourceToken>"
        "<tt:Bounds x=\"0\" y=\"0\" width=\"2688\" height=\"1520\"></tt:Bounds>"
        "</tt:VideoSourceConfiguration>"
        "<tt:AudioSourceConfiguration token=\"AudioSourceConfigToken\">"
        "<tt:Name>AudioSourceConfig</tt:Name><tt:UseCount>%d</tt:UseCount>"
        "<tt:SourceToken>AudioSourceChannel</tt:SourceToken></tt:AudioSourceConfiguration>"
        "<tt:VideoEncoderConfiguration token=\"VideoEncoderToken_%d\" encoding=\"H264\">"
        "<tt:Name>VideoEncoder_%d</tt:Name><tt:UseCount>1</tt:UseCount>"
        "<tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>2688</tt:Width>"
        "<tt:Height>1520</tt:Height></tt:Resolution><tt:Quality>3.000000</tt:Quality>"
        "<tt:RateControl><tt:FrameRateLimit>25</tt:FrameRateLimit>"
        "<tt:EncodingInterval>1</tt:EncodingInterval><tt:BitrateLimit>4096</tt:BitrateLimit>"
        "</tt:RateControl><tt:H264><tt:GovLength>50</tt:GovLength>"
        "<tt:H264Profile>Main</tt:H264Profile></tt:H264><tt:Multicast><tt:Address>"
        "<tt:Type>IPv4</tt:Type><tt:IPv4Address>0.0.0.0</tt:IPv4Address></tt:Address>"
        "<tt:Port>8860</tt:Port><tt:TTL>128</tt:TTL><tt:AutoStart>false</tt:AutoStart>"
        "</tt:Multicast><tt:SessionTimeout>PT5S</tt:SessionTimeout>"
        "</tt:VideoEncoderConfiguration>"
        "<tt:AudioEncoderConfiguration token=\"AudioEncoderToken\"><tt:Name>AudioEncoder</tt:Name>"
        "<tt:UseCount>%d</tt:UseCount><tt:Encoding>G711</tt:Encoding>"
        "<tt:Bitrate>64</tt:Bitrate><tt:SampleRate>8</tt:SampleRate><tt:Multicast>"
        "<tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>0.0.0.0</tt:IPv4Address>"
        "</tt:Address><tt:Port>8862</tt:Port><tt:TTL>128</tt:TTL>"
        "<tt:AutoStart>false</tt:AutoStart></tt:Multicast>"
        "<tt:SessionTimeout>PT5S</tt:SessionTimeout></tt:AudioEncoderConfiguration>"
        "<tt:VideoAnalyticsConfiguration token=\"VideoAnalyticsToken\">"
        "<tt:Name>VideoAnalyticsName</tt:Name><tt:UseCount>%d</tt:UseCount>"
        "<tt:AnalyticsEngineConfiguration><tt:AnalyticsModule Name=\"MyCellMotionModule\" "
        "Type=\"tt:CellMotionEngine\"><tt:Parameters><tt:SimpleItem Name=\"Sensitivity\" "
        "Value=\"60\"/><tt:ElementItem Name=\"Layout\"><tt:CellLayout Columns=\"22\" Rows=\"18\">"
        "<tt:Transformation><tt:Translate x=\"-1.000000\" y=\"-1.000000\"/>"
        "<tt:Scale x=\"0.090909\" y=\"0.111111\"/></tt:Transformation></tt:CellLayout>"
        "</tt:ElementItem></tt:Parameters></tt:AnalyticsModule>"
        "</tt:AnalyticsEngineConfiguration><tt:RuleEngineConfiguration>"
        "<tt:Rule Name=\"MyMotionDetectorRule\" Type=\"tt:CellMotionDetector\"><tt:Parameters>"
        "<tt:SimpleItem Name=\"MinCount\" Value=\"5\"/><tt:SimpleItem Name=\"AlarmOnDelay\" "
        "Value=\"1000\"/><tt:SimpleItem Name=\"AlarmOffDelay\" Value=\"1000\"/>"
        "<tt:SimpleItem Name=\"ActiveCells\" Value=\"0P8A8A==\"/></tt:Parameters></tt:Rule>"
        "</tt:RuleEngineConfiguration></tt:VideoAnalyticsConfiguration>"
        "<tt:PTZConfiguration token=\"PTZToken\"><tt:Name>PTZ</tt:Name>"
        "<tt:UseCount>%d</tt:UseCount><tt:NodeToken>PTZNODETOKEN</tt:NodeToken>"
        "<tt:DefaultAbsolutePantTiltPositionSpace>"
        "http://www.onvif.org/ver10/tptz/PanTiltSpaces/PositionGenericSpace"
        "</tt:DefaultAbsolutePantTiltPositionSpace><tt:DefaultContinuousPanTiltVelocitySpace>"
        "http://www.onvif.org/ver10/tptz/PanTiltSpaces/VelocityGenericSpace"
        "</tt:DefaultContinuousPanTiltVelocitySpace><tt:DefaultPTZSpeed>"
        "<tt:PanTilt x=\"0.100000\" y=\"0.100000\" "
        "space=\"http://www.onvif.org/ver10/tptz/PanTiltSpaces/GenericSpeedSpace\"/>"
        "<tt:Zoom x=\"1.000000\" space=\"http://www.onvif.org/ver10/tptz/ZoomSpaces/"
        "ZoomGenericSpeedSpace\"/></tt:DefaultPTZSpeed>"
        "<tt:DefaultPTZTimeout>PT5S</tt:DefaultPTZTimeout></tt:PTZConfiguration>"
        "<tt:MetadataConfiguration token=\"MetadataToken\" CompressionType=\"None\">"
        "<tt:Name>Metadata</tt:Name><tt:UseCount>%d</tt:UseCount><tt:Analytics>true"
        "</tt:Analytics><tt:Multicast><tt:Address><tt:Type>IPv4</tt:Type><tt:IPv4Address>"
        "0.0.0.0</tt:IPv4Address></tt:Address><tt:Port>8864</tt:Port><tt:TTL>128</tt:TTL>"
        "<tt:AutoStart>false</tt:AutoStart></tt:Multicast>"
        "<tt:SessionTimeout>PT5S</tt:SessionTimeout></tt:MetadataConfiguration>"
        "</trt:Profiles>",
        i, i, i + 1, i + 1, i, i, i + 1, i + 1, i + 1, i + 1);
}

std::string search_result(int i)
{
    int s = i % 60, m = (i / 60) % 60, h = (i / 3600) % 24;
    return fmt("<tt:Result><tt:RecordingToken>RecordingToken_%d</tt:RecordingToken>"
               "<tt:TrackToken>VideoTrack_%d</tt:TrackToken>"
               "<tt:Time>2024-05-01T%02d:%02d:%02dZ</tt:Time>"
               "<tt:Event><wsnt:Topic xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
               "Dialect=\"http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet\">"
               "tns1:VideoSource/MotionAlarm</wsnt:Topic>"
               "<wsnt:Message xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\">"
               "<tt:Message UtcTime=\"2024-05-01T%02d:%02d:%02dZ\" PropertyOperation=\"Changed\">"
               "<tt:Source><tt:SimpleItem Name=\"Source\" Value=\"VideoSource_1\"/></tt:Source>"
               "<tt:Data><tt:SimpleItem Name=\"State\" Value=\"%s\"/></tt:Data>"
               "</tt:Message></wsnt:Message></tt:Event>"
               "<tt:StartStateEvent>false</tt:StartStateEvent></tt:Result>",
               i % 4, i % 2, h, m, s, h, m, s, (i & 1) ? "true" : "false");
}

} // namespace

std::string device_information_reply()
{
    std::string s = kHead;
    s += "<tds:GetDeviceInformationResponse><tds:Manufacturer>Corvanta</tds:Manufacturer>"
         "<tds:Model>IPC-B2CD4-IRZ</tds:Model><tds:FirmwareVersion>V5.7.3 build 230517"
         "</tds:FirmwareVersion><tds:SerialNumber>CV2305170001A5F3</tds:SerialNumber>"
         "<tds:HardwareId>88</tds:HardwareId></tds:GetDeviceInformationResponse>";
    s += kTail;
    return s;
}

std::string services_reply(size_t target_size)
{
    std::string s = kHead;
    s += "<tds:GetServicesResponse>";
    size_t tail = sizeof(kTail) + 32;
    std::string round = service_round();
    for (int i = 0; s.size() + tail < target_size && i < 100000; i++)
        s += round;
    s += "</tds:GetServicesResponse>";
    s += kTail;
    return s;
}

std::string profiles_reply(size_t target_size)
{
    std::string s = kHead;
    s += "<trt:GetProfilesResponse>";
    size_t tail = sizeof(kTail) + 32;
    for (int i = 1; s.size() + tail < target_size && i < 1000000; i++)
        s += profile(i);
    s += "</trt:GetProfilesResponse>";
    s += kTail;
    return s;
}

std::string event_search_reply(size_t target_size)
{
    std::string s = kHead;
    s += "<tse:GetEventSearchResultsResponse><tse:ResultList>"
         "<tt:SearchState>Completed</tt:SearchState>";
    size_t tail = sizeof(kTail) + 64;
    for (int i = 0; s.size() + tail < target_size && i < 10000000; i++)
        s += search_result(i);
    s += "</tse:ResultList></tse:GetEventSearchResultsResponse>";
    s += kTail;
    return s;
}

} // namespace bench
