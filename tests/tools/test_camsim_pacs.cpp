// The simulator's door-access controller personality over raw HTTP: every
// operation of the access control, door control, credential, access rules
// and schedule services answers with a schema-valid reply, and without the
// personality those services are unknown.
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
    return "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tds=\"http://"
           "www.onvif.org/ver10/device/wsdl\" xmlns:tac=\"http://www.onvif.org/ver10/accesscontrol/"
           "wsdl\" xmlns:tdc=\"http://www.onvif.org/ver10/doorcontrol/wsdl\" xmlns:tcr=\"http://"
           "www.onvif.org/ver10/credential/wsdl\" xmlns:tar=\"http://www.onvif.org/ver10/"
           "accessrules/wsdl\" xmlns:tsc=\"http://www.onvif.org/ver10/schedule/wsdl\"><s:Body>" +
           inner + "</s:Body></s:Envelope>";
}

// The answer to a request posted to path (every /onvif/ path answers).
std::string post(int port, const std::string &path, const std::string &env)
{
    return raw_request("127.0.0.1", port, "POST", path, env, "application/soap+xml");
}

struct OpCase {
    const char *svc, *op, *inner; // the request is <svc:op>inner</svc:op>
};

#define CARD                                                                                       \
    "<tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:Card</tcr:Name><tcr:FormatType>WIEGAND26"    \
    "</tcr:FormatType></tcr:Type><tcr:ExemptedFromAuthentication>false"                            \
    "</tcr:ExemptedFromAuthentication><tcr:Value>0BADF00D</tcr:Value></tcr:CredentialIdentifier>"
#define PIN                                                                                        \
    "<tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:PIN</tcr:Name><tcr:FormatType>"              \
    "SIMPLE_NUMBER16</tcr:FormatType></tcr:Type><tcr:ExemptedFromAuthentication>true"              \
    "</tcr:ExemptedFromAuthentication><tcr:Value>35353535</tcr:Value></tcr:CredentialIdentifier>"
#define DOOR(token, name)                                                                          \
    "<tdc:Door token=\"" token "\"><tdc:Name>" name "</tdc:Name><tdc:Capabilities Lock=\"true\" "  \
    "Unlock=\"true\"/><tdc:DoorType>pt:Door</tdc:DoorType><tdc:Timings><tdc:ReleaseTime>PT4S"      \
    "</tdc:ReleaseTime><tdc:OpenTime>PT9S</tdc:OpenTime></tdc:Timings></tdc:Door>"
#define CAL(day)                                                                                   \
    "BEGIN:VCALENDAR\nBEGIN:VEVENT\nDTSTART;VALUE=DATE:" day "\nEND:VEVENT\nEND:VCALENDAR"

// One schema-valid request per operation, in an order where each finds what
// it needs; what a Create makes gets the next free token (Area_3 ...).
const OpCase kEveryOperation[] = {
    {"tds", "GetServices", "<tds:IncludeCapability>true</tds:IncludeCapability>"},
    {"tac", "GetServiceCapabilities", ""},
    {"tac", "GetAccessPointInfoList", "<tac:Limit>2</tac:Limit>"},
    {"tac", "GetAccessPointInfo", "<tac:Token>AccessPoint_1</tac:Token>"},
    {"tac", "GetAccessPointList", "<tac:StartReference>after:AccessPoint_1</tac:StartReference>"},
    {"tac", "GetAccessPoints", "<tac:Token>AccessPoint_2</tac:Token><tac:Token>nope</tac:Token>"},
    {"tac", "GetAreaInfoList", ""},
    {"tac", "GetAreaInfo", "<tac:Token>Area_2</tac:Token>"},
    {"tac", "GetAreaList", "<tac:Limit>1</tac:Limit>"},
    {"tac", "GetAreas", "<tac:Token>Area_1</tac:Token>"},
    {"tac", "CreateArea", "<tac:Area token=\"\"><tac:Name>Hall</tac:Name></tac:Area>"},
    {"tac", "SetArea", "<tac:Area token=\"Area_9\"><tac:Name>Yard</tac:Name></tac:Area>"},
    {"tac", "ModifyArea",
     "<tac:Area "
     "token=\"Area_9\"><tac:Name>Yard</tac:Name><tac:Description>Outside</tac:Description>"
     "</tac:Area>"},
    {"tac", "CreateAccessPoint",
     "<tac:AccessPoint token=\"\"><tac:Name>Side door</tac:Name><tac:AreaFrom>Area_9</tac:AreaFrom>"
     "<tac:Entity>Door_2</tac:Entity><tac:Capabilities DisableAccessPoint=\"true\"/>"
     "</tac:AccessPoint>"},
    {"tac", "SetAccessPoint",
     "<tac:AccessPoint token=\"AccessPoint_9\"><tac:Name>Gate</tac:Name>"
     "<tac:EntityType>tdc:Door</tac:EntityType><tac:Entity>Door_1</tac:Entity>"
     "<tac:Capabilities DisableAccessPoint=\"false\"/></tac:AccessPoint>"},
    {"tac", "ModifyAccessPoint",
     "<tac:AccessPoint token=\"AccessPoint_9\"><tac:Name>Gate in</tac:Name>"
     "<tac:Entity>Door_1</tac:Entity><tac:Capabilities DisableAccessPoint=\"true\"/>"
     "<tac:AuthenticationProfileToken>AuthProfile_1</tac:AuthenticationProfileToken>"
     "</tac:AccessPoint>"},
    {"tac", "GetAccessPointState", "<tac:Token>AccessPoint_1</tac:Token>"},
    {"tac", "DisableAccessPoint", "<tac:Token>AccessPoint_1</tac:Token>"},
    {"tac", "EnableAccessPoint", "<tac:Token>AccessPoint_1</tac:Token>"},
    {"tac", "DeleteAccessPoint", "<tac:Token>AccessPoint_9</tac:Token>"},
    {"tac", "DeleteArea", "<tac:Token>Area_3</tac:Token>"},

    {"tdc", "GetServiceCapabilities", ""},
    {"tdc", "GetDoorInfoList", "<tdc:Limit>2</tdc:Limit>"},
    {"tdc", "GetDoorInfo", "<tdc:Token>Door_3</tdc:Token>"},
    {"tdc", "GetDoorState", "<tdc:Token>Door_3</tdc:Token>"},
    {"tdc", "AccessDoor", "<tdc:Token>Door_1</tdc:Token><tdc:AccessTime>PT1S</tdc:AccessTime>"},
    {"tdc", "LockDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "UnlockDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "DoubleLockDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "BlockDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "LockDownDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "LockDownReleaseDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "LockOpenDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "LockOpenReleaseDoor", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "GetDoors", "<tdc:Token>Door_1</tdc:Token>"},
    {"tdc", "GetDoorList", ""},
    {"tdc", "CreateDoor", DOOR("", "Back door")},
    {"tdc", "SetDoor", DOOR("Door_9", "Cellar")},
    {"tdc", "ModifyDoor", DOOR("Door_9", "Cellar door")},
    {"tdc", "DeleteDoor", "<tdc:Token>Door_9</tdc:Token>"},

    {"tsc", "GetServiceCapabilities", ""},
    {"tsc", "GetScheduleInfo", "<tsc:Token>Schedule_1</tsc:Token>"},
    {"tsc", "GetScheduleInfoList", ""},
    {"tsc", "GetSchedules", "<tsc:Token>Schedule_1</tsc:Token>"},
    {"tsc", "GetScheduleList", "<tsc:Limit>1</tsc:Limit>"},
    {"tsc", "CreateSpecialDayGroup",
     "<tsc:SpecialDayGroup token=\"\"><tsc:Name>Inventory</tsc:Name><tsc:Days>" CAL(
         "20250301") "</tsc:Days></tsc:SpecialDayGroup>"},
    {"tsc", "ModifySpecialDayGroup",
     "<tsc:SpecialDayGroup "
     "token=\"SpecialDayGroup_2\"><tsc:Name>Inventory</tsc:Name><tsc:Days>" CAL(
         "20250302") "</tsc:Days></tsc:SpecialDayGroup>"},
    {"tsc", "CreateSchedule",
     "<tsc:Schedule token=\"\"><tsc:Name>Mornings</tsc:Name><tsc:Standard>" CAL(
         "20250101") "</tsc:Standard><tsc:SpecialDays><tsc:GroupToken>SpecialDayGroup_2</"
                     "tsc:GroupToken>"
                     "<tsc:TimeRange><tsc:From>10:00:00</tsc:From><tsc:Until>12:00:00</tsc:Until></"
                     "tsc:TimeRange>"
                     "</tsc:SpecialDays></tsc:Schedule>"},
    {"tsc", "ModifySchedule",
     "<tsc:Schedule token=\"Schedule_3\"><tsc:Name>Mornings</tsc:Name><tsc:Standard>" CAL(
         "20250102") "</tsc:Standard></tsc:Schedule>"},
    {"tsc", "GetScheduleState", "<tsc:Token>Schedule_1</tsc:Token>"},
    {"tsc", "GetSpecialDayGroupInfo", "<tsc:Token>SpecialDayGroup_2</tsc:Token>"},
    {"tsc", "GetSpecialDayGroupInfoList", ""},
    {"tsc", "GetSpecialDayGroups", "<tsc:Token>SpecialDayGroup_1</tsc:Token>"},
    {"tsc", "GetSpecialDayGroupList", ""},

    {"tar", "GetServiceCapabilities", ""},
    {"tar", "GetAccessProfileInfo", "<tar:Token>AccessProfile_1</tar:Token>"},
    {"tar", "GetAccessProfileInfoList", ""},
    {"tar", "GetAccessProfiles", "<tar:Token>AccessProfile_2</tar:Token>"},
    {"tar", "GetAccessProfileList", "<tar:Limit>1</tar:Limit>"},
    {"tar", "CreateAccessProfile",
     "<tar:AccessProfile token=\"\"><tar:Name>Visitors</tar:Name><tar:AccessPolicy>"
     "<tar:ScheduleToken>Schedule_3</tar:ScheduleToken><tar:Entity>AccessPoint_2</tar:Entity>"
     "<tar:EntityType>tac:AccessPoint</tar:EntityType></tar:AccessPolicy></tar:AccessProfile>"},
    {"tar", "ModifyAccessProfile",
     "<tar:AccessProfile token=\"AccessProfile_3\"><tar:Name>Visitors</tar:Name>"
     "<tar:Description>Day passes</tar:Description></tar:AccessProfile>"},

    {"tcr", "GetServiceCapabilities", ""},
    {"tcr", "GetCredentialInfo", "<tcr:Token>Credential_1</tcr:Token>"},
    {"tcr", "GetCredentialInfoList", "<tcr:Limit>3</tcr:Limit>"},
    {"tcr", "GetCredentials", "<tcr:Token>Credential_3</tcr:Token>"},
    {"tcr", "GetCredentialList", "<tcr:StartReference>after:Credential_4</tcr:StartReference>"},
    {"tcr", "CreateCredential",
     "<tcr:Credential "
     "token=\"\"><tcr:CredentialHolderReference>frank</tcr:CredentialHolderReference>" CARD
     "</tcr:Credential><tcr:State><tcr:Enabled>true</tcr:Enabled></tcr:State>"},
    {"tcr", "ModifyCredential",
     "<tcr:Credential token=\"Credential_6\"><tcr:Description>Temp</tcr:Description>"
     "<tcr:CredentialHolderReference>frank</tcr:CredentialHolderReference>"
     "<tcr:ValidTo>2030-01-01T00:00:00Z</tcr:ValidTo>" CARD "<tcr:CredentialAccessProfile>"
     "<tcr:AccessProfileToken>AccessProfile_3</tcr:AccessProfileToken></"
     "tcr:CredentialAccessProfile>"
     "<tcr:ExtendedGrantTime>true</tcr:ExtendedGrantTime><tcr:Attribute Name=\"desk\" Value=\"7\"/>"
     "</tcr:Credential>"},
    {"tcr", "GetCredentialState", "<tcr:Token>Credential_5</tcr:Token>"},
    {"tcr", "DisableCredential",
     "<tcr:Token>Credential_6</tcr:Token><tcr:Reason>Left</tcr:Reason>"},
    {"tcr", "EnableCredential", "<tcr:Token>Credential_6</tcr:Token>"},
    {"tcr", "ResetAntipassbackViolation",
     "<tcr:CredentialToken>Credential_6</tcr:CredentialToken>"},
    {"tcr", "GetSupportedFormatTypes",
     "<tcr:CredentialIdentifierTypeName>pt:Card</tcr:CredentialIdentifierTypeName>"},
    {"tcr", "SetCredentialIdentifier",
     "<tcr:CredentialToken>Credential_6</tcr:CredentialToken>" PIN},
    {"tcr", "GetCredentialIdentifiers", "<tcr:CredentialToken>Credential_6</tcr:CredentialToken>"},
    {"tcr", "DeleteCredentialIdentifier",
     "<tcr:CredentialToken>Credential_6</tcr:CredentialToken>"
     "<tcr:CredentialIdentifierTypeName>pt:PIN</tcr:CredentialIdentifierTypeName>"},
    {"tcr", "SetCredentialAccessProfiles",
     "<tcr:CredentialToken>Credential_6</tcr:CredentialToken><tcr:CredentialAccessProfile>"
     "<tcr:AccessProfileToken>AccessProfile_1</tcr:AccessProfileToken>"
     "<tcr:ValidFrom>2025-01-01T00:00:00Z</tcr:ValidFrom></tcr:CredentialAccessProfile>"},
    {"tcr", "GetCredentialAccessProfiles",
     "<tcr:CredentialToken>Credential_6</tcr:CredentialToken>"},
    {"tcr", "DeleteCredentialAccessProfiles",
     "<tcr:CredentialToken>Credential_6</tcr:CredentialToken>"
     "<tcr:AccessProfileToken>AccessProfile_3</tcr:AccessProfileToken>"},
    {"tcr", "DeleteCredential", "<tcr:Token>Credential_6</tcr:Token>"},

    {"tar", "DeleteAccessProfile", "<tar:Token>AccessProfile_3</tar:Token>"},
    {"tsc", "DeleteSchedule", "<tsc:Token>Schedule_3</tsc:Token>"},
    {"tsc", "DeleteSpecialDayGroup", "<tsc:Token>SpecialDayGroup_2</tsc:Token>"},
};

std::string request(const OpCase &c)
{
    const std::string q = std::string(c.svc) + ":" + c.op;
    return *c.inner ? "<" + q + ">" + c.inner + "</" + q + ">" : "<" + q + "/>";
}

} // namespace

TEST(CamsimPacs, EveryOperationAnswersWithASchemaValidReply)
{
    CamsimProcess sim(CAMSIM_PATH, "[{\"pacs\":true}]", CamsimOptions{});
    ASSERT_TRUE(sim.ok()) << sim.error();
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    std::set<std::string> ops;
    int n = 0;
    for (const OpCase &c : kEveryOperation) {
        if (std::string(c.svc) != "tds") ops.insert(std::string(c.svc) + ":" + c.op);
        const std::string req = envelope(request(c));
        const std::string resp = post(sim.port(), "/onvif/pacs", req);
        const std::string body = raw_body(resp);
        EXPECT_EQ(raw_status(resp), 200) << c.op << "\n" << body;
        EXPECT_NE(body.find("<" + std::string(c.svc) + ":" + c.op + "Response"), std::string::npos)
            << c.op << "\n"
            << body;
        check.add(std::to_string(++n) + "-" + c.op + ".request", req);
        check.add(std::to_string(n) + "-" + c.op + ".reply", body);
    }
    EXPECT_EQ(ops.size(), 82u) << "the five services have 82 operations, each listed once";
    std::string why = check.unavailable();
    if (!why.empty()) GTEST_SKIP() << "bodies not schema-checked: " << why;
    std::string out;
    EXPECT_TRUE(check.run(out)) << out;
}

TEST(CamsimPacs, WithoutThePersonalityTheServicesAreUnknown)
{
    CamsimProcess sim(CAMSIM_PATH, "[{\"pacs\":true},{}]",
                      CamsimOptions{"/tmp/camsim_test_XXXXXX", 2});
    ASSERT_TRUE(sim.ok()) << sim.error();
    const std::string services = envelope(request(kEveryOperation[0]));
    const std::string doors =
        envelope(request({"tdc", "GetDoorState", "<tdc:Token>Door_1</tdc:Token>"}));
    for (int i = 0; i < 2; i++) {
        const std::string list = raw_body(post(sim.ports()[i], "/onvif/device_service", services));
        EXPECT_EQ(list.find("/onvif/schedule_service<") != std::string::npos, i == 0) << list;
        const std::string resp = post(sim.ports()[i], "/onvif/doorcontrol_service", doors);
        EXPECT_EQ(resp.find("ActionNotSupported") != std::string::npos, i == 1) << resp;
    }
}
