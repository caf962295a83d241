// The simulator's recording, search, replay, analytics, thermal, receiver
// and provisioning services over raw HTTP on loopback: every operation
// answers, in an order where each finds what the previous ones made, and
// every request and reply is schema-valid.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/camsim_process.h"
#include "tests/support/raw_http.h"
#include "tests/support/schema_check.h"

namespace
{

std::string envelope(const std::string &inner)
{
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
           "xmlns:trc=\"http://www.onvif.org/ver10/recording/wsdl\" "
           "xmlns:tse=\"http://www.onvif.org/ver10/search/wsdl\" "
           "xmlns:trp=\"http://www.onvif.org/ver10/replay/wsdl\" "
           "xmlns:tan=\"http://www.onvif.org/ver20/analytics/wsdl\" "
           "xmlns:tth=\"http://www.onvif.org/ver10/thermal/wsdl\" "
           "xmlns:trv=\"http://www.onvif.org/ver10/receiver/wsdl\" "
           "xmlns:tpv=\"http://www.onvif.org/ver10/provisioning/wsdl\"><s:Body>" +
           inner + "</s:Body></s:Envelope>";
}

#define SOURCE                                                                                     \
    "<tt:Source><tt:SourceId>urn:test:1</tt:SourceId><tt:Name>Test</tt:Name>"                      \
    "<tt:Location>Hall</tt:Location><tt:Description>Test source</tt:Description>"                  \
    "<tt:Address>rtsp://192.0.2.1/s</tt:Address></tt:Source>"
#define SETUP                                                                                      \
    "<tt:Stream>RTP-Unicast</tt:Stream><tt:Transport><tt:Protocol>RTSP</tt:Protocol></"            \
    "tt:Transport>"
#define VA "<tan:ConfigurationToken>VideoAnalytics_1</tan:ConfigurationToken>"
#define VS "<tth:VideoSourceToken>VideoSource_1</tth:VideoSourceToken>"
#define SRC "<tpv:VideoSource>VideoSource_1</tpv:VideoSource>"
#define RANGE "<tse:StartPoint>2024-05-01T08:00:00Z</tse:StartPoint>"
#define LINE_RULE(dir)                                                                             \
    "<tan:Rule Name=\"Gate\" Type=\"tt:LineDetector\"><tt:Parameters>"                             \
    "<tt:SimpleItem Name=\"Direction\" Value=\"" dir "\"/><tt:ElementItem Name=\"Segments\">"      \
    "<tt:Polyline><tt:Point x=\"0.1\" y=\"0.5\"/><tt:Point x=\"0.9\" y=\"0.5\"/></tt:Polyline>"    \
    "</tt:ElementItem></tt:Parameters></tan:Rule>"
#define MODULE(s)                                                                                  \
    "<tan:AnalyticsModule Name=\"Second\" Type=\"tt:CellMotionEngine\"><tt:Parameters>"            \
    "<tt:SimpleItem Name=\"Sensitivity\" Value=\"" s "\"/></tt:Parameters></tan:AnalyticsModule>"

struct OpCase {
    const char *path, *prefix, *op, *body;
};

// Tokens made on the way: Recording_3, its track VIDEO002, RecordingJob_2,
// the searches Search_1 to Search_4, Receiver_2.
const OpCase kEveryOperation[] = {
    {"recording_service", "trc", "GetServiceCapabilities", "<trc:GetServiceCapabilities/>"},
    {"recording_service", "trc", "CreateRecording",
     "<trc:CreateRecording><trc:RecordingConfiguration>" SOURCE "<tt:Content>Test</tt:Content>"
     "<tt:MaximumRetentionTime>PT24H</tt:MaximumRetentionTime></trc:RecordingConfiguration>"
     "</trc:CreateRecording>"},
    {"recording_service", "trc", "GetRecordings", "<trc:GetRecordings/>"},
    {"recording_service", "trc", "SetRecordingConfiguration",
     "<trc:SetRecordingConfiguration><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "<trc:RecordingConfiguration>" SOURCE "<tt:Content>Changed</tt:Content>"
     "<tt:MaximumRetentionTime>PT1H</tt:MaximumRetentionTime></trc:RecordingConfiguration>"
     "</trc:SetRecordingConfiguration>"},
    {"recording_service", "trc", "GetRecordingConfiguration",
     "<trc:GetRecordingConfiguration><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "</trc:GetRecordingConfiguration>"},
    {"recording_service", "trc", "GetRecordingOptions",
     "<trc:GetRecordingOptions><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "</trc:GetRecordingOptions>"},
    {"recording_service", "trc", "CreateTrack",
     "<trc:CreateTrack><trc:RecordingToken>Recording_3</trc:RecordingToken><trc:TrackConfiguration>"
     "<tt:TrackType>Video</tt:TrackType><tt:Description>Second</tt:Description>"
     "</trc:TrackConfiguration></trc:CreateTrack>"},
    {"recording_service", "trc", "GetTrackConfiguration",
     "<trc:GetTrackConfiguration><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "<trc:TrackToken>VIDEO002</trc:TrackToken></trc:GetTrackConfiguration>"},
    {"recording_service", "trc", "SetTrackConfiguration",
     "<trc:SetTrackConfiguration><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "<trc:TrackToken>VIDEO002</trc:TrackToken><trc:TrackConfiguration><tt:TrackType>Video"
     "</tt:TrackType><tt:Description>Renamed</tt:Description></trc:TrackConfiguration>"
     "</trc:SetTrackConfiguration>"},
    {"recording_service", "trc", "DeleteTrack",
     "<trc:DeleteTrack><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "<trc:TrackToken>VIDEO002</trc:TrackToken></trc:DeleteTrack>"},
    {"recording_service", "trc", "CreateRecordingJob",
     "<trc:CreateRecordingJob><trc:JobConfiguration><tt:RecordingToken>Recording_3"
     "</tt:RecordingToken><tt:Mode>Idle</tt:Mode><tt:Priority>1</tt:Priority>"
     "</trc:JobConfiguration></trc:CreateRecordingJob>"},
    {"recording_service", "trc", "GetRecordingJobs", "<trc:GetRecordingJobs/>"},
    {"recording_service", "trc", "SetRecordingJobConfiguration",
     "<trc:SetRecordingJobConfiguration><trc:JobToken>RecordingJob_2</trc:JobToken>"
     "<trc:JobConfiguration><tt:RecordingToken>Recording_3</tt:RecordingToken><tt:Mode>Idle"
     "</tt:Mode><tt:Priority>2</tt:Priority></trc:JobConfiguration>"
     "</trc:SetRecordingJobConfiguration>"},
    {"recording_service", "trc", "GetRecordingJobConfiguration",
     "<trc:GetRecordingJobConfiguration><trc:JobToken>RecordingJob_2</trc:JobToken>"
     "</trc:GetRecordingJobConfiguration>"},
    {"recording_service", "trc", "SetRecordingJobMode",
     "<trc:SetRecordingJobMode><trc:JobToken>RecordingJob_2</trc:JobToken><trc:Mode>Active"
     "</trc:Mode></trc:SetRecordingJobMode>"},
    {"recording_service", "trc", "GetRecordingJobState",
     "<trc:GetRecordingJobState><trc:JobToken>RecordingJob_1</trc:JobToken>"
     "</trc:GetRecordingJobState>"},
    {"recording_service", "trc", "DeleteRecordingJob",
     "<trc:DeleteRecordingJob><trc:JobToken>RecordingJob_2</trc:JobToken>"
     "</trc:DeleteRecordingJob>"},
    {"recording_service", "trc", "DeleteRecording",
     "<trc:DeleteRecording><trc:RecordingToken>Recording_3</trc:RecordingToken>"
     "</trc:DeleteRecording>"},

    {"search_service", "tse", "GetServiceCapabilities", "<tse:GetServiceCapabilities/>"},
    {"search_service", "tse", "GetRecordingSummary", "<tse:GetRecordingSummary/>"},
    {"search_service", "tse", "GetRecordingInformation",
     "<tse:GetRecordingInformation><tse:RecordingToken>Recording_1</tse:RecordingToken>"
     "</tse:GetRecordingInformation>"},
    {"search_service", "tse", "GetMediaAttributes",
     "<tse:GetMediaAttributes><tse:RecordingTokens>Recording_1</tse:RecordingTokens>"
     "<tse:Time>2024-05-01T08:05:00Z</tse:Time></tse:GetMediaAttributes>"},
    {"search_service", "tse", "FindRecordings",
     "<tse:FindRecordings><tse:Scope/><tse:KeepAliveTime>PT10S</tse:KeepAliveTime>"
     "</tse:FindRecordings>"},
    {"search_service", "tse", "GetRecordingSearchResults",
     "<tse:GetRecordingSearchResults><tse:SearchToken>Search_1</tse:SearchToken>"
     "<tse:MaxResults>1</tse:MaxResults></tse:GetRecordingSearchResults>"},
    {"search_service", "tse", "FindEvents",
     "<tse:FindEvents>" RANGE
     "<tse:EndPoint>2024-05-01T09:00:00Z</tse:EndPoint><tse:Scope/><tse:SearchFilter/>"
     "<tse:IncludeStartState>false</tse:IncludeStartState><tse:MaxMatches>5</tse:MaxMatches>"
     "<tse:KeepAliveTime>PT10S</tse:KeepAliveTime></tse:FindEvents>"},
    {"search_service", "tse", "GetEventSearchResults",
     "<tse:GetEventSearchResults><tse:SearchToken>Search_2</tse:SearchToken>"
     "<tse:MaxResults>3</tse:MaxResults></tse:GetEventSearchResults>"},
    {"search_service", "tse", "FindMetadata",
     "<tse:FindMetadata>" RANGE "<tse:Scope/><tse:MetadataFilter><tt:MetadataStreamFilter>"
     "boolean(//tt:Frame)</tt:MetadataStreamFilter></tse:MetadataFilter>"
     "<tse:KeepAliveTime>PT10S</tse:KeepAliveTime></tse:FindMetadata>"},
    {"search_service", "tse", "GetMetadataSearchResults",
     "<tse:GetMetadataSearchResults><tse:SearchToken>Search_3</tse:SearchToken>"
     "<tse:MaxResults>2</tse:MaxResults></tse:GetMetadataSearchResults>"},
    {"search_service", "tse", "FindPTZPosition",
     "<tse:FindPTZPosition>" RANGE "<tse:Scope/><tse:SearchFilter><tt:MinPosition><tt:PanTilt "
     "x=\"-1\" y=\"-1\"/></tt:MinPosition><tt:MaxPosition><tt:PanTilt x=\"1\" y=\"1\"/>"
     "</tt:MaxPosition><tt:EnterOrExit>true</tt:EnterOrExit></tse:SearchFilter>"
     "<tse:KeepAliveTime>PT10S</tse:KeepAliveTime></tse:FindPTZPosition>"},
    {"search_service", "tse", "GetPTZPositionSearchResults",
     "<tse:GetPTZPositionSearchResults><tse:SearchToken>Search_4</tse:SearchToken>"
     "</tse:GetPTZPositionSearchResults>"},
    {"search_service", "tse", "GetSearchState",
     "<tse:GetSearchState><tse:SearchToken>Search_2</tse:SearchToken></tse:GetSearchState>"},
    {"search_service", "tse", "EndSearch",
     "<tse:EndSearch><tse:SearchToken>Search_2</tse:SearchToken></tse:EndSearch>"},

    {"replay_service", "trp", "GetServiceCapabilities", "<trp:GetServiceCapabilities/>"},
    {"replay_service", "trp", "GetReplayUri",
     "<trp:GetReplayUri><trp:StreamSetup>" SETUP "</trp:StreamSetup>"
     "<trp:RecordingToken>Recording_1</trp:RecordingToken></trp:GetReplayUri>"},
    {"replay_service", "trp", "GetReplayConfiguration", "<trp:GetReplayConfiguration/>"},
    {"replay_service", "trp", "SetReplayConfiguration",
     "<trp:SetReplayConfiguration><trp:Configuration><tt:SessionTimeout>PT120S"
     "</tt:SessionTimeout></trp:Configuration></trp:SetReplayConfiguration>"},

    {"analytics_service", "tan", "GetServiceCapabilities", "<tan:GetServiceCapabilities/>"},
    {"analytics_service", "tan", "GetSupportedRules",
     "<tan:GetSupportedRules>" VA "</tan:GetSupportedRules>"},
    {"analytics_service", "tan", "CreateRules",
     "<tan:CreateRules>" VA LINE_RULE("Any") "</tan:CreateRules>"},
    {"analytics_service", "tan", "GetRules", "<tan:GetRules>" VA "</tan:GetRules>"},
    {"analytics_service", "tan", "ModifyRules",
     "<tan:ModifyRules>" VA LINE_RULE("LeftToRight") "</tan:ModifyRules>"},
    {"analytics_service", "tan", "DeleteRules",
     "<tan:DeleteRules>" VA "<tan:RuleName>Gate</tan:RuleName></tan:DeleteRules>"},
    {"analytics_service", "tan", "CreateAnalyticsModules",
     "<tan:CreateAnalyticsModules>" VA MODULE("10") "</tan:CreateAnalyticsModules>"},
    {"analytics_service", "tan", "GetAnalyticsModules",
     "<tan:GetAnalyticsModules>" VA "</tan:GetAnalyticsModules>"},
    {"analytics_service", "tan", "ModifyAnalyticsModules",
     "<tan:ModifyAnalyticsModules>" VA MODULE("20") "</tan:ModifyAnalyticsModules>"},
    {"analytics_service", "tan", "DeleteAnalyticsModules",
     "<tan:DeleteAnalyticsModules>" VA "<tan:AnalyticsModuleName>Second</tan:AnalyticsModuleName>"
     "</tan:DeleteAnalyticsModules>"},
    {"analytics_service", "tan", "GetSupportedAnalyticsModules",
     "<tan:GetSupportedAnalyticsModules>" VA "</tan:GetSupportedAnalyticsModules>"},
    {"analytics_service", "tan", "GetRuleOptions",
     "<tan:GetRuleOptions>" VA "</tan:GetRuleOptions>"},
    {"analytics_service", "tan", "GetAnalyticsModuleOptions",
     "<tan:GetAnalyticsModuleOptions><tan:Type>tt:CellMotionEngine</tan:Type>" VA
     "</tan:GetAnalyticsModuleOptions>"},

    {"thermal_service", "tth", "GetServiceCapabilities", "<tth:GetServiceCapabilities/>"},
    {"thermal_service", "tth", "GetConfigurations", "<tth:GetConfigurations/>"},
    {"thermal_service", "tth", "GetConfiguration",
     "<tth:GetConfiguration>" VS "</tth:GetConfiguration>"},
    {"thermal_service", "tth", "SetConfiguration",
     "<tth:SetConfiguration>" VS "<tth:Configuration><tth:ColorPalette token=\"Palette_2\" "
     "Type=\"Iron\"><tth:Name>Iron</tth:Name></tth:ColorPalette><tth:Polarity>BlackHot"
     "</tth:Polarity><tth:NUCTable token=\"NUCTable_2\"><tth:Name>High range</tth:Name>"
     "</tth:NUCTable><tth:Cooler><tth:Enabled>false</tth:Enabled></tth:Cooler>"
     "</tth:Configuration></tth:SetConfiguration>"},
    {"thermal_service", "tth", "GetConfigurationOptions",
     "<tth:GetConfigurationOptions>" VS "</tth:GetConfigurationOptions>"},
    {"thermal_service", "tth", "GetRadiometryConfiguration",
     "<tth:GetRadiometryConfiguration>" VS "</tth:GetRadiometryConfiguration>"},
    {"thermal_service", "tth", "SetRadiometryConfiguration",
     "<tth:SetRadiometryConfiguration>" VS "<tth:Configuration><tth:RadiometryGlobalParameters>"
     "<tth:ReflectedAmbientTemperature>22</tth:ReflectedAmbientTemperature><tth:Emissivity>0.9"
     "</tth:Emissivity><tth:DistanceToObject>3</tth:DistanceToObject>"
     "</tth:RadiometryGlobalParameters></tth:Configuration></tth:SetRadiometryConfiguration>"},
    {"thermal_service", "tth", "GetRadiometryConfigurationOptions",
     "<tth:GetRadiometryConfigurationOptions>" VS "</tth:GetRadiometryConfigurationOptions>"},

    {"receiver_service", "trv", "GetServiceCapabilities", "<trv:GetServiceCapabilities/>"},
    {"receiver_service", "trv", "GetReceivers", "<trv:GetReceivers/>"},
    {"receiver_service", "trv", "CreateReceiver",
     "<trv:CreateReceiver><trv:Configuration><tt:Mode>AutoConnect</tt:Mode><tt:MediaUri>"
     "rtsp://192.0.2.20/live</tt:MediaUri><tt:StreamSetup>" SETUP "</tt:StreamSetup>"
     "</trv:Configuration></trv:CreateReceiver>"},
    {"receiver_service", "trv", "GetReceiver",
     "<trv:GetReceiver><trv:ReceiverToken>Receiver_2</trv:ReceiverToken></trv:GetReceiver>"},
    {"receiver_service", "trv", "ConfigureReceiver",
     "<trv:ConfigureReceiver><trv:ReceiverToken>Receiver_2</trv:ReceiverToken><trv:Configuration>"
     "<tt:Mode>NeverConnect</tt:Mode><tt:MediaUri>rtsp://192.0.2.21/live</tt:MediaUri>"
     "<tt:StreamSetup>" SETUP "</tt:StreamSetup></trv:Configuration></trv:ConfigureReceiver>"},
    {"receiver_service", "trv", "SetReceiverMode",
     "<trv:SetReceiverMode><trv:ReceiverToken>Receiver_2</trv:ReceiverToken><trv:Mode>"
     "AlwaysConnect</trv:Mode></trv:SetReceiverMode>"},
    {"receiver_service", "trv", "GetReceiverState",
     "<trv:GetReceiverState><trv:ReceiverToken>Receiver_2</trv:ReceiverToken>"
     "</trv:GetReceiverState>"},
    {"receiver_service", "trv", "DeleteReceiver",
     "<trv:DeleteReceiver><trv:ReceiverToken>Receiver_2</trv:ReceiverToken></trv:DeleteReceiver>"},

    {"provisioning_service", "tpv", "GetServiceCapabilities", "<tpv:GetServiceCapabilities/>"},
    {"provisioning_service", "tpv", "PanMove",
     "<tpv:PanMove>" SRC "<tpv:Direction>Left</tpv:Direction><tpv:Timeout>PT2S</tpv:Timeout>"
     "</tpv:PanMove>"},
    {"provisioning_service", "tpv", "TiltMove",
     "<tpv:TiltMove>" SRC "<tpv:Direction>Up</tpv:Direction></tpv:TiltMove>"},
    {"provisioning_service", "tpv", "ZoomMove",
     "<tpv:ZoomMove>" SRC "<tpv:Direction>Telephoto</tpv:Direction></tpv:ZoomMove>"},
    {"provisioning_service", "tpv", "RollMove",
     "<tpv:RollMove>" SRC "<tpv:Direction>Auto</tpv:Direction></tpv:RollMove>"},
    {"provisioning_service", "tpv", "FocusMove",
     "<tpv:FocusMove>" SRC "<tpv:Direction>Far</tpv:Direction></tpv:FocusMove>"},
    {"provisioning_service", "tpv", "Stop", "<tpv:Stop>" SRC "</tpv:Stop>"},
    {"provisioning_service", "tpv", "GetUsage", "<tpv:GetUsage>" SRC "</tpv:GetUsage>"},
};

} // namespace

TEST(CamsimRecording, EveryOperationOfTheStorageServicesAnswersSchemaValid)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", CamsimOptions{});
    ASSERT_TRUE(sim.ok()) << sim.error();
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    std::set<std::string> ops;
    for (const OpCase &c : kEveryOperation) {
        ops.insert(std::string(c.prefix) + ":" + c.op);
        const std::string req = envelope(c.body);
        const std::string resp =
            raw_request("127.0.0.1", sim.port(), "POST", std::string("/onvif/") + c.path, req,
                        "application/soap+xml; charset=utf-8");
        const std::string body = raw_body(resp);
        EXPECT_EQ(raw_status(resp), 200) << c.op << "\n" << resp;
        EXPECT_NE(body.find(std::string("<") + c.prefix + ":" + c.op + "Response"),
                  std::string::npos)
            << c.op << "\n"
            << body;
        const std::string name = std::string(c.prefix) + "." + c.op;
        check.add(name + ".request", req);
        check.add(name + ".reply", body);
    }
    // recording 18, search 14, replay 4, analytics 13, thermal 8, receiver 8,
    // provisioning 8
    EXPECT_EQ(ops.size(), 73u) << "every operation listed once";
    std::string why = check.unavailable();
    if (!why.empty()) GTEST_SKIP() << "bodies not schema-checked: " << why;
    std::string out;
    EXPECT_TRUE(check.run(out)) << out;
}
