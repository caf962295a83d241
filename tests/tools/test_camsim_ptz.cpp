// The simulator's PTZ, imaging and device IO services and its pull point
// operations, spoken to over raw HTTP on loopback: every operation answers
// (or refuses with its ONVIF fault) and every request and reply is
// schema-valid. What the answers mean is checked through the library in
// tests/onvif/test_ptz_calls.cpp.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/support/camsim_process.h"
#include "tests/support/raw_http.h"
#include "tests/support/schema_check.h"

namespace
{

const char kNs[] = "xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
                   "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
                   "xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\" "
                   "xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\" "
                   "xmlns:tmd=\"http://www.onvif.org/ver10/deviceIO/wsdl\" "
                   "xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\" "
                   "xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\" "
                   "xmlns:csim=\"http://camsim.invalid/subscription\"";

std::string post(int port, const std::string &path, const std::string &body,
                 const std::string &header = "")
{
    const std::string env = std::string("<s:Envelope ") + kNs + ">" +
                            (header.empty() ? "" : "<s:Header>" + header + "</s:Header>") +
                            "<s:Body>" + body + "</s:Body></s:Envelope>";
    return raw_request("127.0.0.1", port, "POST", path, env, "application/soap+xml");
}

#define P1 "<tptz:ProfileToken>Profile_1</tptz:ProfileToken>"
#define VS "<timg:VideoSourceToken>VideoSource_1</timg:VideoSourceToken>"
#define PT(x, y) "<tt:PanTilt x=\"" #x "\" y=\"" #y "\"/>"
#define ZM(x) "<tt:Zoom x=\"" #x "\"/>"

struct OpCase {
    const char *op;
    int status;         // 200, or the status of the expected fault
    const char *expect; // in the answer (a value, or the fault's subcode)
    const char *body;
};

// In an order where each request finds what it needs.
const OpCase kEveryOperation[] = {
    // PTZ
    {"GetServiceCapabilities", 200, "MoveStatus=\"true\"", "<tptz:GetServiceCapabilities/>"},
    {"GetNodes", 200, "PTZNode_1", "<tptz:GetNodes/>"},
    {"GetNode", 200, "HomeSupported",
     "<tptz:GetNode><tptz:NodeToken>PTZNode_1</tptz:NodeToken>"
     "</tptz:GetNode>"},
    {"GetConfigurations", 200, "PTZConfig_1", "<tptz:GetConfigurations/>"},
    {"GetConfiguration", 200, "PT10S",
     "<tptz:GetConfiguration><tptz:PTZConfigurationToken>PTZConfig_1</tptz:PTZConfigurationToken>"
     "</tptz:GetConfiguration>"},
    {"GetConfigurationOptions", 200, "PT60S",
     "<tptz:GetConfigurationOptions><tptz:ConfigurationToken>PTZConfig_1"
     "</tptz:ConfigurationToken></tptz:GetConfigurationOptions>"},
    {"SetConfiguration", 200, "SetConfigurationResponse",
     "<tptz:SetConfiguration><tptz:PTZConfiguration token=\"PTZConfig_1\"><tt:Name>Lobby</tt:Name>"
     "<tt:UseCount>2</tt:UseCount><tt:NodeToken>PTZNode_1</tt:NodeToken>"
     "<tt:DefaultPTZTimeout>PT20S</tt:DefaultPTZTimeout><tt:ZoomLimits><tt:Range>"
     "<tt:URI>http://www.onvif.org/ver10/tptz/ZoomSpaces/PositionGenericSpace</tt:URI>"
     "<tt:XRange><tt:Min>0</tt:Min><tt:Max>0.8</tt:Max></tt:XRange></tt:Range></tt:ZoomLimits>"
     "</tptz:PTZConfiguration><tptz:ForcePersistence>true</tptz:ForcePersistence>"
     "</tptz:SetConfiguration>"},
    {"AbsoluteMove", 200, "AbsoluteMoveResponse",
     "<tptz:AbsoluteMove>" P1 "<tptz:Position>" PT(0.5, -0.25)
         ZM(0.5) "</tptz:Position>"
                 "<tptz:Speed>" PT(1, 1) "</tptz:Speed></tptz:AbsoluteMove>"},
    {"AbsoluteMove", 400, "ter:InvalidPosition",
     "<tptz:AbsoluteMove>" P1 "<tptz:Position>" ZM(0.9) "</tptz:Position></tptz:AbsoluteMove>"},
    {"GetStatus", 200, "x=\"0.5\" y=\"-0.25\"", "<tptz:GetStatus>" P1 "</tptz:GetStatus>"},
    {"GetStatus", 400, "ter:NoProfile",
     "<tptz:GetStatus><tptz:ProfileToken>none</tptz:ProfileToken></tptz:GetStatus>"},
    {"SetPreset", 200, "Preset_1",
     "<tptz:SetPreset>" P1 "<tptz:PresetName>Door</tptz:PresetName></tptz:SetPreset>"},
    {"GetPresets", 200, "Door", "<tptz:GetPresets>" P1 "</tptz:GetPresets>"},
    {"RelativeMove", 200, "RelativeMoveResponse",
     "<tptz:RelativeMove>" P1 "<tptz:Translation>" PT(-0.5, 0) ZM(0.1) "</tptz:Translation>"
                                                                       "</tptz:RelativeMove>"},
    {"GotoPreset", 200, "GotoPresetResponse",
     "<tptz:GotoPreset>" P1 "<tptz:PresetToken>Preset_1</tptz:PresetToken></tptz:GotoPreset>"},
    {"SetHomePosition", 200, "SetHomePositionResponse",
     "<tptz:SetHomePosition>" P1 "</tptz:SetHomePosition>"},
    {"GotoHomePosition", 200, "GotoHomePositionResponse",
     "<tptz:GotoHomePosition>" P1 "</tptz:GotoHomePosition>"},
    {"ContinuousMove", 200, "ContinuousMoveResponse",
     "<tptz:ContinuousMove>" P1
     "<tptz:Velocity>" PT(0.5, 0) "</tptz:Velocity>"
                                  "<tptz:Timeout>PT5S</tptz:Timeout></tptz:ContinuousMove>"},
    {"ContinuousMove", 400, "ter:InvalidVelocity",
     "<tptz:ContinuousMove>" P1 "<tptz:Velocity>" ZM(2) "</tptz:Velocity></tptz:ContinuousMove>"},
    {"Stop", 200, "StopResponse",
     "<tptz:Stop>" P1 "<tptz:PanTilt>true</tptz:PanTilt><tptz:Zoom>true</tptz:Zoom></tptz:Stop>"},
    {"CreatePresetTour", 200, "PresetTour_1",
     "<tptz:CreatePresetTour>" P1 "</tptz:CreatePresetTour>"},
    {"ModifyPresetTour", 200, "ModifyPresetTourResponse",
     "<tptz:ModifyPresetTour>" P1 "<tptz:PresetTour token=\"PresetTour_1\"><tt:Name>Round</tt:Name>"
     "<tt:Status><tt:State>Idle</tt:State></tt:Status><tt:AutoStart>false</tt:AutoStart>"
     "<tt:StartingCondition RandomPresetOrder=\"false\"><tt:Direction>Forward</tt:Direction>"
     "</tt:StartingCondition><tt:TourSpot><tt:PresetDetail><tt:PresetToken>Preset_1"
     "</tt:PresetToken></tt:PresetDetail><tt:StayTime>PT5S</tt:StayTime></tt:TourSpot>"
     "<tt:TourSpot><tt:PresetDetail><tt:Home>true</tt:Home></tt:PresetDetail></tt:TourSpot>"
     "<tt:TourSpot><tt:PresetDetail><tt:PTZPosition>" PT(
         0.1, 0.2) "</tt:PTZPosition>"
                   "</tt:PresetDetail><tt:Speed>" PT(
                       0.5, 0.5) "</tt:Speed></tt:TourSpot></tptz:PresetTour>"
                                 "</tptz:ModifyPresetTour>"},
    {"ModifyPresetTour", 400, "ter:InvalidPresetTour",
     "<tptz:ModifyPresetTour>" P1 "<tptz:PresetTour token=\"PresetTour_1\"><tt:Status><tt:State>"
     "Idle</tt:State></tt:Status><tt:AutoStart>false</tt:AutoStart><tt:StartingCondition/>"
     "<tt:TourSpot><tt:PresetDetail><tt:PresetToken>Preset_9</tt:PresetToken></tt:PresetDetail>"
     "</tt:TourSpot></tptz:PresetTour></tptz:ModifyPresetTour>"},
    {"GetPresetTours", 200, "Round", "<tptz:GetPresetTours>" P1 "</tptz:GetPresetTours>"},
    {"OperatePresetTour", 200, "OperatePresetTourResponse",
     "<tptz:OperatePresetTour>" P1 "<tptz:PresetTourToken>PresetTour_1</tptz:PresetTourToken>"
     "<tptz:Operation>Start</tptz:Operation></tptz:OperatePresetTour>"},
    {"GetPresetTour", 200, "Touring",
     "<tptz:GetPresetTour>" P1 "<tptz:PresetTourToken>PresetTour_1</tptz:PresetTourToken>"
     "</tptz:GetPresetTour>"},
    {"GetPresetTourOptions", 200, "<tt:PresetToken>Preset_1</tt:PresetToken>",
     "<tptz:GetPresetTourOptions>" P1 "</tptz:GetPresetTourOptions>"},
    {"RemovePresetTour", 200, "RemovePresetTourResponse",
     "<tptz:RemovePresetTour>" P1 "<tptz:PresetTourToken>PresetTour_1</tptz:PresetTourToken>"
     "</tptz:RemovePresetTour>"},
    {"RemovePreset", 200, "RemovePresetResponse",
     "<tptz:RemovePreset>" P1 "<tptz:PresetToken>Preset_1</tptz:PresetToken></tptz:RemovePreset>"},
    {"SendAuxiliaryCommand", 200, "tt:Wiper|On",
     "<tptz:SendAuxiliaryCommand>" P1 "<tptz:AuxiliaryData>tt:Wiper|On</tptz:AuxiliaryData>"
     "</tptz:SendAuxiliaryCommand>"},
    {"GeoMove", 500, "ter:GeoMoveNotSupported",
     "<tptz:GeoMove>" P1 "<tptz:Target lon=\"13.4\" lat=\"52.5\"/></tptz:GeoMove>"},
    // imaging
    {"GetServiceCapabilities", 200, "Presets=\"true\"", "<timg:GetServiceCapabilities/>"},
    {"GetImagingSettings", 200, "<tt:Brightness>50</tt:Brightness>",
     "<timg:GetImagingSettings>" VS "</timg:GetImagingSettings>"},
    {"GetOptions", 200, "<tt:IrCutFilterModes>AUTO</tt:IrCutFilterModes>",
     "<timg:GetOptions>" VS "</timg:GetOptions>"},
    {"SetImagingSettings", 200, "SetImagingSettingsResponse",
     "<timg:SetImagingSettings>" VS "<timg:ImagingSettings><tt:Brightness>80</tt:Brightness>"
     "<tt:Exposure><tt:Mode>MANUAL</tt:Mode><tt:ExposureTime>2000</tt:ExposureTime></tt:Exposure>"
     "<tt:IrCutFilter>OFF</tt:IrCutFilter></timg:ImagingSettings>"
     "<timg:ForcePersistence>true</timg:ForcePersistence></timg:SetImagingSettings>"},
    {"GetMoveOptions", 200, "<tt:Continuous>", "<timg:GetMoveOptions>" VS "</timg:GetMoveOptions>"},
    {"Move", 200, "MoveResponse",
     "<timg:Move>" VS "<timg:Focus><tt:Absolute><tt:Position>0.25</tt:Position></tt:Absolute>"
     "</timg:Focus></timg:Move>"},
    {"GetStatus", 200, "<tt:Position>0.25</tt:Position>",
     "<timg:GetStatus>" VS "</timg:GetStatus>"},
    {"Stop", 200, "StopResponse", "<timg:Stop>" VS "</timg:Stop>"},
    {"GetPresets", 200, "ImagingPreset_2", "<timg:GetPresets>" VS "</timg:GetPresets>"},
    {"SetCurrentPreset", 200, "SetCurrentPresetResponse",
     "<timg:SetCurrentPreset>" VS "<timg:PresetToken>ImagingPreset_2</timg:PresetToken>"
     "</timg:SetCurrentPreset>"},
    {"GetCurrentPreset", 200, "Night", "<timg:GetCurrentPreset>" VS "</timg:GetCurrentPreset>"},
    // device IO
    {"GetServiceCapabilities", 200, "DigitalInputs=\"2\"", "<tmd:GetServiceCapabilities/>"},
    {"GetRelayOutputOptions", 200, "<tmd:Mode>Monostable</tmd:Mode>",
     "<tmd:GetRelayOutputOptions><tmd:RelayOutputToken>RelayOutput_2</tmd:RelayOutputToken>"
     "</tmd:GetRelayOutputOptions>"},
    {"SetRelayOutputSettings", 200, "SetRelayOutputSettingsResponse",
     "<tmd:SetRelayOutputSettings><tmd:RelayOutput token=\"RelayOutput_1\"><tt:Properties>"
     "<tt:Mode>Bistable</tt:Mode><tt:DelayTime>PT0S</tt:DelayTime><tt:IdleState>closed"
     "</tt:IdleState></tt:Properties></tmd:RelayOutput></tmd:SetRelayOutputSettings>"},
    {"SetRelayOutputSettings", 400, "ter:RelayToken",
     "<tmd:SetRelayOutputSettings><tmd:RelayOutput token=\"RelayOutput_7\"><tt:Properties>"
     "<tt:Mode>Bistable</tt:Mode><tt:DelayTime>PT0S</tt:DelayTime><tt:IdleState>closed"
     "</tt:IdleState></tt:Properties></tmd:RelayOutput></tmd:SetRelayOutputSettings>"},
    {"GetDigitalInputs", 200, "DigitalInput_2", "<tmd:GetDigitalInputs/>"},
    {"GetDigitalInputConfigurationOptions", 200, "<tmd:IdleState>closed</tmd:IdleState>",
     "<tmd:GetDigitalInputConfigurationOptions/>"},
    {"SetDigitalInputConfigurations", 200, "SetDigitalInputConfigurationsResponse",
     "<tmd:SetDigitalInputConfigurations><tmd:DigitalInputs token=\"DigitalInput_1\" "
     "IdleState=\"closed\"/></tmd:SetDigitalInputConfigurations>"},
};

// The pull point operations, on the pull point with its reference parameter.
const OpCase kPullPoint[] = {
    {"SetSynchronizationPoint", 200, "SetSynchronizationPointResponse",
     "<tev:SetSynchronizationPoint/>"},
    {"GetMessages", 200, "Initialized",
     "<wsnt:GetMessages><wsnt:MaximumNumber>10</wsnt:MaximumNumber></wsnt:GetMessages>"},
    {"Seek", 200, "SeekResponse",
     "<tev:Seek><tev:UtcTime>2020-01-01T00:00:00Z</tev:UtcTime><tev:Reverse>false</tev:Reverse>"
     "</tev:Seek>"},
    {"DestroyPullPoint", 200, "DestroyPullPointResponse", "<wsnt:DestroyPullPoint/>"},
    {"GetMessages", 400, "ter:ResourceUnknown", "<wsnt:GetMessages/>"},
};

template <size_t N>
void runCases(int port, const std::string &path, const std::string &header,
              const OpCase (&cases)[N], SchemaCheck &check, std::set<std::string> &ops)
{
    for (const OpCase &c : cases) {
        const std::string resp = post(port, path, c.body, header);
        const std::string body = raw_body(resp);
        EXPECT_EQ(raw_status(resp), c.status) << c.body << "\n" << body;
        EXPECT_NE(body.find(c.expect), std::string::npos) << c.body << "\n" << body;
        const std::string name = std::to_string(check.count() / 2) + "-" + c.op;
        check.add(name + ".request", std::string("<s:Envelope ") + kNs + "><s:Body>" + c.body +
                                         "</s:Body></s:Envelope>");
        check.add(name + ".reply", body);
        std::string ns(c.body + 1, strchr(c.body, ':'));
        ops.insert(ns + ":" + c.op);
    }
}

} // namespace

TEST(CamsimPtz, EveryOperationAnswersWithASchemaValidReply)
{
    CamsimProcess sim(CAMSIM_PATH, "[{\"ptz\":true}]", CamsimOptions());
    ASSERT_TRUE(sim.ok()) << sim.error();
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    std::set<std::string> ops;
    runCases(sim.port(), "/onvif/ptz_service", "", kEveryOperation, check, ops);
    EXPECT_EQ(ops.size(), 27u + 11u + 6u) << "PTZ, imaging and device IO, each at least once";

    const std::string created =
        raw_body(post(sim.port(), "/onvif/events_service", "<tev:CreatePullPointSubscription/>"));
    const size_t at = created.find("/onvif/pullpoint/");
    ASSERT_NE(at, std::string::npos) << created;
    const std::string path = created.substr(at, created.find('<', at) - at);
    const std::string id = path.substr(path.rfind('/') + 1);
    runCases(sim.port(), path, "<csim:SubscriptionId>" + id + "</csim:SubscriptionId>", kPullPoint,
             check, ops);

    std::string why = check.unavailable();
    if (!why.empty()) GTEST_SKIP() << "bodies not schema-checked: " << why;
    std::string out;
    EXPECT_TRUE(check.run(out)) << out;
}
