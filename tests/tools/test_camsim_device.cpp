// The simulator's ONVIF device service, spoken to over raw HTTP on loopback:
// every operation answers with a schema-valid reply, settings are kept and
// read back, refusals carry the ONVIF fault and change nothing, and the
// HTTP side (upload URIs, log and backup files) works.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "platform/encoding.h"
#include "tests/support/camsim_process.h"
#include "tests/support/raw_http.h"
#include "tests/support/schema_check.h"
#include "tests/support/soap_text.h"

namespace
{

const char kDevice[] = "/onvif/device_service";
const char kHost[] = "127.0.0.1";

using soaptest::envelope;

std::string soapPost(int port, const std::string &env, const std::string &extra = "")
{
    return raw_request(kHost, port, "POST", kDevice, env, "application/soap+xml; charset=utf-8",
                       extra);
}

struct MimePart {
    std::string headers, content;
};

// The parts of a multipart answer (empty when it is not one).
std::vector<MimePart> mimeParts(const std::string &resp)
{
    std::vector<MimePart> parts;
    std::string ct = raw_header(resp, "Content-Type");
    size_t b = ct.find("boundary=");
    if (ct.find("multipart/related") != 0 || b == std::string::npos) return parts;
    std::string boundary = ct.substr(b + 9);
    boundary = boundary.substr(0, boundary.find(';'));
    if (boundary.size() > 1 && boundary.front() == '"')
        boundary = boundary.substr(1, boundary.size() - 2);
    const std::string body = raw_body(resp), delim = "--" + boundary;
    size_t at = body.find(delim);
    for (int guard = 0; at != std::string::npos && guard < 16; ++guard) {
        at += delim.size();
        if (body.compare(at, 2, "--") == 0) break;
        size_t headEnd = body.find("\r\n\r\n", at);
        size_t next = body.find("\r\n" + delim, headEnd);
        if (headEnd == std::string::npos || next == std::string::npos) break;
        parts.push_back(
            {body.substr(at + 2, headEnd - at - 2), body.substr(headEnd + 4, next - headEnd - 4)});
        at = next + 2;
    }
    return parts;
}

// The SOAP envelope of an answer: the body, or the root part of a multipart.
std::string envelopeOf(const std::string &resp)
{
    std::vector<MimePart> parts = mimeParts(resp);
    return parts.empty() ? raw_body(resp) : parts.front().content;
}

std::string textOf(const std::string &xml, const std::string &qname)
{
    size_t a = xml.find("<" + qname + ">");
    if (a == std::string::npos) return "<absent>";
    a += qname.size() + 2;
    size_t b = xml.find("</" + qname + ">", a);
    return b == std::string::npos ? "<absent>" : xml.substr(a, b - a);
}

std::string pathOf(const std::string &url)
{
    size_t p = url.find('/', url.find("://") + 3);
    return p == std::string::npos ? "/" : url.substr(p);
}

void validate(const SchemaCheck &check)
{
    std::string why = check.unavailable();
    if (!why.empty()) GTEST_SKIP() << "bodies not schema-checked: " << why;
    std::string out;
    EXPECT_TRUE(check.run(out)) << out;
}

struct OpCase {
    const char *op;
    const char *body;
};

// One schema-valid request per operation, in an order where each finds what
// it needs (a user to change, a storage configuration to read...).
const OpCase kEveryOperation[] = {
    {"GetCapabilities",
     "<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>"},
    {"GetServices",
     "<tds:GetServices><tds:IncludeCapability>true</tds:IncludeCapability></tds:GetServices>"},
    {"GetServiceCapabilities", "<tds:GetServiceCapabilities/>"},
    {"GetDeviceInformation", "<tds:GetDeviceInformation/>"},
    {"CreateUsers", "<tds:CreateUsers><tds:User><tt:Username>operator1</tt:Username>"
                    "<tt:Password>op-secret</tt:Password><tt:UserLevel>Operator</tt:UserLevel>"
                    "</tds:User></tds:CreateUsers>"},
    {"GetUsers", "<tds:GetUsers/>"},
    {"SetUser", "<tds:SetUser><tds:User><tt:Username>operator1</tt:Username>"
                "<tt:Password>new-secret</tt:Password><tt:UserLevel>User</tt:UserLevel>"
                "</tds:User></tds:SetUser>"},
    {"DeleteUsers", "<tds:DeleteUsers><tds:Username>operator1</tds:Username></tds:DeleteUsers>"},
    {"SetRemoteUser", "<tds:SetRemoteUser><tds:RemoteUser><tt:Username>remote</tt:Username>"
                      "<tt:Password>r-secret</tt:Password>"
                      "<tt:UseDerivedPassword>false</tt:UseDerivedPassword></tds:RemoteUser>"
                      "</tds:SetRemoteUser>"},
    {"GetRemoteUser", "<tds:GetRemoteUser/>"},
    {"GetNetworkInterfaces", "<tds:GetNetworkInterfaces/>"},
    {"SetNetworkInterfaces",
     "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
     "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled>"
     "<tt:Manual><tt:Address>127.0.0.1</tt:Address><tt:PrefixLength>8</tt:PrefixLength>"
     "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface>"
     "</tds:SetNetworkInterfaces>"},
    {"SetNTP", "<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>DNS</tt:Type>"
               "<tt:DNSname>ntp.example.org</tt:DNSname></tds:NTPManual></tds:SetNTP>"},
    {"GetNTP", "<tds:GetNTP/>"},
    {"SetHostname", "<tds:SetHostname><tds:Name>cam-lobby</tds:Name></tds:SetHostname>"},
    {"SetHostnameFromDHCP",
     "<tds:SetHostnameFromDHCP><tds:FromDHCP>false</tds:FromDHCP></tds:SetHostnameFromDHCP>"},
    {"GetHostname", "<tds:GetHostname/>"},
    {"SetDNS", "<tds:SetDNS><tds:FromDHCP>false</tds:FromDHCP>"
               "<tds:SearchDomain>lab.example</tds:SearchDomain><tds:DNSManual>"
               "<tt:Type>IPv4</tt:Type><tt:IPv4Address>10.1.2.53</tt:IPv4Address>"
               "</tds:DNSManual></tds:SetDNS>"},
    {"GetDNS", "<tds:GetDNS/>"},
    {"SetDynamicDNS", "<tds:SetDynamicDNS><tds:Type>ClientUpdates</tds:Type>"
                      "<tds:Name>cam1.dyn.example</tds:Name><tds:TTL>PT1H</tds:TTL>"
                      "</tds:SetDynamicDNS>"},
    {"GetDynamicDNS", "<tds:GetDynamicDNS/>"},
    {"SetNetworkProtocols", "<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>RTSP</tt:Name>"
                            "<tt:Enabled>true</tt:Enabled><tt:Port>8554</tt:Port>"
                            "</tds:NetworkProtocols></tds:SetNetworkProtocols>"},
    {"GetNetworkProtocols", "<tds:GetNetworkProtocols/>"},
    {"SetDiscoveryMode", "<tds:SetDiscoveryMode><tds:DiscoveryMode>Discoverable</tds:DiscoveryMode>"
                         "</tds:SetDiscoveryMode>"},
    {"GetDiscoveryMode", "<tds:GetDiscoveryMode/>"},
    {"SetNetworkDefaultGateway", "<tds:SetNetworkDefaultGateway>"
                                 "<tds:IPv4Address>10.1.2.254</tds:IPv4Address>"
                                 "</tds:SetNetworkDefaultGateway>"},
    {"GetNetworkDefaultGateway", "<tds:GetNetworkDefaultGateway/>"},
    {"SetZeroConfiguration",
     "<tds:SetZeroConfiguration><tds:InterfaceToken>eth0</tds:InterfaceToken>"
     "<tds:Enabled>true</tds:Enabled></tds:SetZeroConfiguration>"},
    {"GetZeroConfiguration", "<tds:GetZeroConfiguration/>"},
    {"GetEndpointReference", "<tds:GetEndpointReference/>"},
    {"SendAuxiliaryCommand", "<tds:SendAuxiliaryCommand>"
                             "<tds:AuxiliaryCommand>tt:Wiper|On</tds:AuxiliaryCommand>"
                             "</tds:SendAuxiliaryCommand>"},
    {"SetRelayOutputSettings",
     "<tds:SetRelayOutputSettings><tds:RelayOutputToken>RelayOutput_1</tds:RelayOutputToken>"
     "<tds:Properties><tt:Mode>Bistable</tt:Mode><tt:DelayTime>PT0S</tt:DelayTime>"
     "<tt:IdleState>closed</tt:IdleState></tds:Properties></tds:SetRelayOutputSettings>"},
    {"SetRelayOutputState",
     "<tds:SetRelayOutputState><tds:RelayOutputToken>RelayOutput_1</tds:RelayOutputToken>"
     "<tds:LogicalState>active</tds:LogicalState></tds:SetRelayOutputState>"},
    {"GetRelayOutputs", "<tds:GetRelayOutputs/>"},
    {"SetSystemDateAndTime",
     "<tds:SetSystemDateAndTime><tds:DateTimeType>Manual</tds:DateTimeType>"
     "<tds:DaylightSavings>false</tds:DaylightSavings><tds:TimeZone><tt:TZ>CET-1</tt:TZ>"
     "</tds:TimeZone><tds:UTCDateTime><tt:Time><tt:Hour>10</tt:Hour><tt:Minute>20</tt:Minute>"
     "<tt:Second>30</tt:Second></tt:Time><tt:Date><tt:Year>2030</tt:Year><tt:Month>6</tt:Month>"
     "<tt:Day>15</tt:Day></tt:Date></tds:UTCDateTime></tds:SetSystemDateAndTime>"},
    {"GetSystemDateAndTime", "<tds:GetSystemDateAndTime/>"},
    {"SystemReboot", "<tds:SystemReboot/>"},
    {"GetSystemLog", "<tds:GetSystemLog><tds:LogType>System</tds:LogType></tds:GetSystemLog>"},
    {"SetScopes", "<tds:SetScopes><tds:Scopes>onvif://www.onvif.org/name/lobby</tds:Scopes>"
                  "<tds:Scopes>onvif://www.onvif.org/location/hall</tds:Scopes></tds:SetScopes>"},
    {"AddScopes", "<tds:AddScopes><tds:ScopeItem>onvif://www.onvif.org/location/floor2"
                  "</tds:ScopeItem></tds:AddScopes>"},
    {"RemoveScopes", "<tds:RemoveScopes><tds:ScopeItem>onvif://www.onvif.org/location/floor2"
                     "</tds:ScopeItem></tds:RemoveScopes>"},
    {"GetScopes", "<tds:GetScopes/>"},
    {"StartFirmwareUpgrade", "<tds:StartFirmwareUpgrade/>"},
    {"GetSystemUris", "<tds:GetSystemUris/>"},
    {"StartSystemRestore", "<tds:StartSystemRestore/>"},
    {"GetWsdlUrl", "<tds:GetWsdlUrl/>"},
    {"GetDot11Capabilities", "<tds:GetDot11Capabilities/>"},
    {"GetDot11Status",
     "<tds:GetDot11Status><tds:InterfaceToken>wlan0</tds:InterfaceToken></tds:GetDot11Status>"},
    {"ScanAvailableDot11Networks", "<tds:ScanAvailableDot11Networks>"
                                   "<tds:InterfaceToken>wlan0</tds:InterfaceToken>"
                                   "</tds:ScanAvailableDot11Networks>"},
    {"SetGeoLocation", "<tds:SetGeoLocation><tds:Location Entity=\"Device\" Token=\"cam\" "
                       "Fixed=\"true\"><tt:GeoLocation lon=\"13.4\" lat=\"52.5\" elevation=\"34\"/>"
                       "</tds:Location></tds:SetGeoLocation>"},
    {"GetGeoLocation", "<tds:GetGeoLocation/>"},
    {"DeleteGeoLocation", "<tds:DeleteGeoLocation><tds:Location Entity=\"Device\" Token=\"cam\"/>"
                          "</tds:DeleteGeoLocation>"},
    {"SetIPAddressFilter",
     "<tds:SetIPAddressFilter><tds:IPAddressFilter><tt:Type>Allow</tt:Type><tt:IPv4Address>"
     "<tt:Address>10.1.0.0</tt:Address><tt:PrefixLength>16</tt:PrefixLength></tt:IPv4Address>"
     "</tds:IPAddressFilter></tds:SetIPAddressFilter>"},
    {"AddIPAddressFilter",
     "<tds:AddIPAddressFilter><tds:IPAddressFilter><tt:Type>Allow</tt:Type><tt:IPv4Address>"
     "<tt:Address>192.168.1.0</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:IPv4Address>"
     "</tds:IPAddressFilter></tds:AddIPAddressFilter>"},
    {"RemoveIPAddressFilter",
     "<tds:RemoveIPAddressFilter><tds:IPAddressFilter><tt:Type>Allow</tt:Type><tt:IPv4Address>"
     "<tt:Address>192.168.1.0</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:IPv4Address>"
     "</tds:IPAddressFilter></tds:RemoveIPAddressFilter>"},
    {"GetIPAddressFilter", "<tds:GetIPAddressFilter/>"},
    {"SetAccessPolicy", "<tds:SetAccessPolicy><tds:PolicyFile><tt:Data>PHBvbGljeS8+</tt:Data>"
                        "</tds:PolicyFile></tds:SetAccessPolicy>"},
    {"GetAccessPolicy", "<tds:GetAccessPolicy/>"},
    {"CreateStorageConfiguration",
     "<tds:CreateStorageConfiguration><tds:StorageConfiguration type=\"NFS\">"
     "<tds:StorageUri>nfs://10.1.2.3/export/cam</tds:StorageUri><tds:User>"
     "<tds:UserName>store</tds:UserName><tds:Password>s-secret</tds:Password></tds:User>"
     "</tds:StorageConfiguration></tds:CreateStorageConfiguration>"},
    {"GetStorageConfigurations", "<tds:GetStorageConfigurations/>"},
    {"GetStorageConfiguration",
     "<tds:GetStorageConfiguration><tds:Token>Storage_1</tds:Token></tds:GetStorageConfiguration>"},
    {"SetStorageConfiguration",
     "<tds:SetStorageConfiguration><tds:StorageConfiguration token=\"Storage_1\">"
     "<tds:Data type=\"CIFS\"><tds:StorageUri>cifs://10.1.2.3/cam</tds:StorageUri></tds:Data>"
     "</tds:StorageConfiguration></tds:SetStorageConfiguration>"},
    {"DeleteStorageConfiguration", "<tds:DeleteStorageConfiguration><tds:Token>Storage_1"
                                   "</tds:Token></tds:DeleteStorageConfiguration>"},
    {"SetSystemFactoryDefault", "<tds:SetSystemFactoryDefault><tds:FactoryDefault>Soft"
                                "</tds:FactoryDefault></tds:SetSystemFactoryDefault>"},
};

// The request of an operation in the table above.
const char *body(const std::string &op)
{
    for (const OpCase &c : kEveryOperation)
        if (op == c.op) return c.body;
    ADD_FAILURE() << "no request for " << op;
    return "<tds:GetDeviceInformation/>";
}

CamsimOptions options()
{
    return CamsimOptions{"/tmp/camsim_test_XXXXXX", 0, true};
}

} // namespace

TEST(CamsimDevice, EveryOperationAnswersWithASchemaValidReply)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    std::set<std::string> ops;
    for (const OpCase &c : kEveryOperation) {
        ops.insert(c.op);
        const std::string req = envelope(c.body);
        const std::string resp = soapPost(sim.port(), req);
        const std::string env = envelopeOf(resp);
        EXPECT_EQ(raw_status(resp), 200) << c.op << "\n" << resp;
        EXPECT_NE(env.find(std::string("<tds:") + c.op + "Response"), std::string::npos)
            << c.op << "\n"
            << env;
        check.add(std::string(c.op) + ".request", req);
        check.add(std::string(c.op) + ".reply", env);
    }
    EXPECT_EQ(ops.size(), 64u) << "the device service has 64 operations, each listed once";
    validate(check);
}

namespace
{

// One request and what its answer and a following Get show.
struct Step {
    std::string request;
    int status;
    std::string inReply;         // substrings of the answer, '|' between them
    std::string get;             // a read-back request, or none
    std::string inGet, notInGet; // substrings of the read-back, '|' between them
};

std::vector<std::string> pieces(const std::string &list)
{
    std::vector<std::string> out;
    for (size_t at = 0; at < list.size();) {
        size_t bar = std::min(list.find('|', at), list.size());
        out.push_back(list.substr(at, bar - at));
        at = bar + 1;
    }
    return out;
}

// Runs the steps in order on one camera; every request and answer goes to check.
void runSteps(int port, const std::vector<Step> &steps, SchemaCheck &check)
{
    int n = 0;
    for (const Step &s : steps) {
        ++n;
        const std::string req = envelope(s.request);
        const std::string resp = soapPost(port, req);
        const std::string body = envelopeOf(resp);
        EXPECT_EQ(raw_status(resp), s.status) << "step " << n << ": " << s.request << "\n" << body;
        for (const std::string &x : pieces(s.inReply))
            EXPECT_NE(body.find(x), std::string::npos) << "step " << n << ": no " << x << "\n"
                                                       << body;
        check.add("step" + std::to_string(n) + ".request", req);
        check.add("step" + std::to_string(n) + ".reply", body);
        if (s.get.empty()) continue;
        const std::string got = envelopeOf(soapPost(port, envelope(s.get)));
        for (const std::string &x : pieces(s.inGet))
            EXPECT_NE(got.find(x), std::string::npos) << "step " << n << ": no " << x << "\n"
                                                      << got;
        for (const std::string &x : pieces(s.notInGet))
            EXPECT_EQ(got.find(x), std::string::npos) << "step " << n << ": still " << x << "\n"
                                                      << got;
    }
}

const char kUser[] = "<tds:User><tt:Username>%s</tt:Username><tt:Password>pw-%s</tt:Password>"
                     "<tt:UserLevel>%s</tt:UserLevel></tds:User>";

std::string user(const std::string &name, const std::string &level)
{
    char buf[512];
    snprintf(buf, sizeof buf, kUser, name.c_str(), name.c_str(), level.c_str());
    return buf;
}

} // namespace

TEST(CamsimDevice, SettingsAreKeptAndReadBack)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const std::string create =
        "<tds:CreateUsers>" + user("operator1", "Operator") + "</tds:CreateUsers>";
    const std::string set = "<tds:SetUser>" + user("operator1", "User") + "</tds:SetUser>";
    const std::string floor2 = "onvif://www.onvif.org/location/floor2";
    const std::vector<Step> steps = {
        {create, 200, "", "<tds:GetUsers/>", "<tt:Username>operator1</tt:Username>", ""},
        {set, 200, "", "<tds:GetUsers/>",
         "<tt:Username>operator1</tt:Username><tt:UserLevel>User</tt:UserLevel>", "pw-operator1"},
        {"<tds:DeleteUsers><tds:Username>operator1</tds:Username></tds:DeleteUsers>", 200, "",
         "<tds:GetUsers/>", "<tt:Username>admin</tt:Username>", "operator1"},
        {"<tds:SetHostname><tds:Name>cam-lobby</tds:Name></tds:SetHostname>", 200, "",
         "<tds:GetHostname/>", "<tt:FromDHCP>false</tt:FromDHCP><tt:Name>cam-lobby</tt:Name>", ""},
        {"<tds:SetHostnameFromDHCP><tds:FromDHCP>true</tds:FromDHCP></tds:SetHostnameFromDHCP>",
         200, "<tds:RebootNeeded>false</tds:RebootNeeded>", "<tds:GetHostname/>",
         "<tt:FromDHCP>true</tt:FromDHCP>", ""},
        {body("SetNTP"), 200, "", "<tds:GetNTP/>",
         "<tt:NTPManual><tt:Type>DNS</tt:Type><tt:DNSname>ntp.example.org</tt:DNSname>", ""},
        {body("SetDynamicDNS"), 200, "", "<tds:GetDynamicDNS/>",
         "<tt:Type>ClientUpdates</tt:Type><tt:Name>cam1.dyn.example</tt:Name><tt:TTL>PT1H", ""},
        {body("SetNetworkDefaultGateway"), 200, "", "<tds:GetNetworkDefaultGateway/>",
         "<tt:IPv4Address>10.1.2.254<", ""},
        {body("SetDNS"), 200, "", "<tds:GetDNS/>", "<tt:IPv4Address>10.1.2.53<", ""},
        {body("SetNetworkProtocols"), 200, "", "<tds:GetNetworkProtocols/>",
         "<tt:Name>RTSP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>8554</tt:Port>", ""},
        {"<tds:SetDiscoveryMode><tds:DiscoveryMode>NonDiscoverable</tds:DiscoveryMode>"
         "</tds:SetDiscoveryMode>",
         200, "", "<tds:GetDiscoveryMode/>", ">NonDiscoverable<", ""},
        {"<tds:SetZeroConfiguration><tds:InterfaceToken>eth0</tds:InterfaceToken>"
         "<tds:Enabled>false</tds:Enabled></tds:SetZeroConfiguration>",
         200, "", "<tds:GetZeroConfiguration/>", "<tt:Enabled>false</tt:Enabled>", "169.254."},
        {body("AddScopes"), 200, "", "<tds:GetScopes/>",
         "<tt:ScopeDef>Configurable</tt:ScopeDef><tt:ScopeItem>" + floor2, ""},
        {body("RemoveScopes"), 200, "<tds:ScopeItem>" + floor2 + "</tds:ScopeItem>",
         "<tds:GetScopes/>", "", floor2},
        {body("SetScopes"), 200, "", "<tds:GetScopes/>",
         "name/lobby|location/hall|<tt:ScopeDef>Fixed</tt:ScopeDef><tt:ScopeItem>onvif://"
         "www.onvif.org/Profile/Streaming",
         "location/lab|name/camsim-1"},
        {"<tds:SetRelayOutputState><tds:RelayOutputToken>RelayOutput_2</tds:RelayOutputToken>"
         "<tds:LogicalState>active</tds:LogicalState></tds:SetRelayOutputState>",
         200, "", "<tds:GetRelayOutputs/>",
         "token=\"RelayOutput_1\"><tt:Properties><tt:Mode>Bistable</tt:Mode><tt:DelayTime>PT0S"
         "</tt:DelayTime><tt:IdleState>open</tt:IdleState></tt:Properties>"
         "<cst:LogicalState>inactive<|token=\"RelayOutput_2\"><tt:Properties><tt:Mode>Bistable</"
         "tt:Mode><tt:DelayTime>PT0S"
         "</tt:DelayTime><tt:IdleState>open</tt:IdleState></tt:Properties>"
         "<cst:LogicalState>active<",
         ""},
        {body("SetRelayOutputSettings"), 200, "", "<tds:GetRelayOutputs/>",
         "token=\"RelayOutput_1\"><tt:Properties><tt:Mode>Bistable</tt:Mode><tt:DelayTime>PT0S"
         "</tt:DelayTime><tt:IdleState>closed</tt:IdleState>",
         ""},
        {body("SetIPAddressFilter"), 200, "", "<tds:GetIPAddressFilter/>",
         "<tt:Type>Allow</tt:Type><tt:IPv4Address><tt:Address>10.1.0.0</tt:Address>"
         "<tt:PrefixLength>16</tt:PrefixLength>",
         ""},
        {body("AddIPAddressFilter"), 200, "", "<tds:GetIPAddressFilter/>",
         "10.1.0.0|<tt:Address>192.168.1.0</tt:Address><tt:PrefixLength>24<", ""},
        {body("RemoveIPAddressFilter"), 200, "", "<tds:GetIPAddressFilter/>", "10.1.0.0",
         "192.168.1.0"},
        {body("SetAccessPolicy"), 200, "", "<tds:GetAccessPolicy/>",
         "<tt:Data>PHBvbGljeS8+</tt:Data>", ""},
        {body("SetRemoteUser"), 200, "", "<tds:GetRemoteUser/>",
         "<tt:Username>remote</tt:Username><tt:UseDerivedPassword>false<", "r-secret"},
        {body("SetGeoLocation"), 200, "", "<tds:GetGeoLocation/>",
         "Entity=\"Device\" Token=\"cam\"|lon=\"13.4\" lat=\"52.5\" elevation=\"34\"", ""},
        {body("DeleteGeoLocation"), 200, "", "<tds:GetGeoLocation/>", "", "lat="},
        {body("CreateStorageConfiguration"), 200, "<tds:Token>Storage_1</tds:Token>",
         "<tds:GetStorageConfigurations/>",
         "token=\"Storage_1\"><tds:Data "
         "type=\"NFS\"><tds:StorageUri>nfs://10.1.2.3/export/cam<|<tds:UserName>store<",
         "s-secret"},
        {body("SetStorageConfiguration"), 200, "", body("GetStorageConfiguration"),
         "<tds:Data type=\"CIFS\"><tds:StorageUri>cifs://10.1.2.3/cam<", "nfs:"},
        {body("DeleteStorageConfiguration"), 200, "", "<tds:GetStorageConfigurations/>", "",
         "Storage_1"},
        // a hard factory default brings back the configured settings
        {"<tds:SetSystemFactoryDefault><tds:FactoryDefault>Hard</tds:FactoryDefault>"
         "</tds:SetSystemFactoryDefault>",
         200, "", "<tds:GetScopes/>", "location/lab|name/camsim-1", "name/lobby"},
        {"<tds:GetHostname/>", 200, "<tt:Name>camsim-1</tt:Name>", "<tds:GetDiscoveryMode/>",
         ">Discoverable<", ""},
    };
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    runSteps(sim.port(), steps, check);
    validate(check);
}

TEST(CamsimDevice, RefusalsCarryTheOnvifFaultAndChangeNothing)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const std::string clash =
        "<tds:CreateUsers>" + user("newbie", "User") + user("admin", "User") + "</tds:CreateUsers>";
    const std::string anonymous =
        "<tds:CreateUsers>" + user("guest", "Anonymous") + "</tds:CreateUsers>";
    const std::string ghost = "<tds:SetUser>" + user("ghost", "User") + "</tds:SetUser>";
    const std::string admin = "<tds:SetUser>" + user("admin", "Operator") + "</tds:SetUser>";
    // The fault's code, then its subcode (completed in each step).
    const std::string prohibited =
        "<s:Value>ter:OperationProhibited</s:Value>|<s:Subcode><s:Value>ter:";
    const std::string invalid = "<s:Value>ter:InvalidArgVal</s:Value>|<s:Subcode><s:Value>ter:";
    const std::vector<Step> steps = {
        {clash, 400, prohibited + "UsernameClash<", "<tds:GetUsers/>", "", "newbie"},
        {anonymous, 400, prohibited + "AnonymousNotAllowed<", "<tds:GetUsers/>", "", "guest"},
        {"<tds:DeleteUsers><tds:Username>ghost</tds:Username></tds:DeleteUsers>", 400,
         invalid + "UsernameMissing<", "", "", ""},
        {"<tds:DeleteUsers><tds:Username>admin</tds:Username></tds:DeleteUsers>", 400,
         invalid + "FixedUser<", "<tds:GetUsers/>", "<tt:Username>admin<", ""},
        {ghost, 400, invalid + "UsernameMissing<", "", "", ""},
        {admin, 400, invalid + "FixedUser<", "<tds:GetUsers/>", "<tt:UserLevel>Administrator<",
         "Operator"},
        // a fixed scope among others: nothing is removed
        {"<tds:RemoveScopes><tds:ScopeItem>onvif://www.onvif.org/location/lab</tds:ScopeItem>"
         "<tds:ScopeItem>onvif://www.onvif.org/type/video_encoder</tds:ScopeItem></"
         "tds:RemoveScopes>",
         400, prohibited + "FixedScope<", "<tds:GetScopes/>", "location/lab", ""},
        {"<tds:RemoveScopes><tds:ScopeItem>onvif://www.onvif.org/location/moon</tds:ScopeItem>"
         "</tds:RemoveScopes>",
         400, invalid + "NoScope<", "", "", ""},
        {"<tds:SetScopes><tds:Scopes>onvif://www.onvif.org/Profile/Streaming</tds:Scopes>"
         "</tds:SetScopes>",
         400, prohibited + "ScopeOverwrite<", "<tds:GetScopes/>", "location/lab", ""},
        {"<tds:SetNetworkDefaultGateway><tds:IPv4Address>10.1.2.256</tds:IPv4Address>"
         "</tds:SetNetworkDefaultGateway>",
         400, invalid + "InvalidGatewayAddress<", "<tds:GetNetworkDefaultGateway/>", "",
         "10.1.2.256"},
        {"<tds:SetHostname><tds:Name>bad name</tds:Name></tds:SetHostname>", 400,
         invalid + "InvalidHostname<", "<tds:GetHostname/>", "<tt:Name>camsim-1<", ""},
        {"<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>IPv4</tt:Type>"
         "<tt:IPv4Address>10.1.2.300</tt:IPv4Address></tds:NTPManual></tds:SetNTP>",
         400, invalid + "InvalidIPv4Address<", "<tds:GetNTP/>", "", "10.1.2.300"},
        {"<tds:SetNetworkProtocols><tds:NetworkProtocols><tt:Name>HTTPS</tt:Name>"
         "<tt:Enabled>true</tt:Enabled><tt:Port>554</tt:Port></tds:NetworkProtocols>"
         "</tds:SetNetworkProtocols>",
         400, invalid + "PortAlreadyInUse<", "<tds:GetNetworkProtocols/>",
         "<tt:Name>HTTPS</tt:Name><tt:Enabled>false</tt:Enabled><tt:Port>443<", ""},
        {"<tds:SetRelayOutputState><tds:RelayOutputToken>RelayOutput_9</tds:RelayOutputToken>"
         "<tds:LogicalState>active</tds:LogicalState></tds:SetRelayOutputState>",
         400, invalid + "RelayToken<", "", "", ""},
        {"<tds:SetRelayOutputSettings><tds:RelayOutputToken>RelayOutput_1</tds:RelayOutputToken>"
         "<tds:Properties><tt:Mode>Monostable</tt:Mode><tt:DelayTime>PT0S</tt:DelayTime>"
         "<tt:IdleState>open</tt:IdleState></tds:Properties></tds:SetRelayOutputSettings>",
         400, invalid + "ModeError<", "<tds:GetRelayOutputs/>", "", "Monostable"},
        {"<tds:GetStorageConfiguration><tds:Token>Storage_9</tds:Token>"
         "</tds:GetStorageConfiguration>",
         400, invalid + "NoConfig<", "", "", ""},
        {"<tds:GetDot11Status><tds:InterfaceToken>eth0</tds:InterfaceToken></tds:GetDot11Status>",
         400, invalid + "NotDot11<", "", "", ""},
        {"<tds:SetAccessPolicy><tds:PolicyFile><tt:Data></tt:Data></tds:PolicyFile>"
         "</tds:SetAccessPolicy>",
         400, invalid + "PolicyFormat<", "<tds:GetAccessPolicy/>", "<tt:Data>P", ""},
    };
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    runSteps(sim.port(), steps, check);
    validate(check);
}

TEST(CamsimDevice, ConfigurationSetsTheInitialState)
{
    CamsimProcess sim(CAMSIM_PATH,
                      "[{\"users\": [{\"username\": \"viewer\", \"password\": \"v\"}],"
                      " \"ntp\": [\"10.0.0.123\", \"time.example.org\"], \"relay_outputs\": 1,"
                      " \"dot11\": false, \"discoverable\": false, \"system_log_inline\": true}]",
                      options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const std::vector<Step> steps = {
        {"<tds:GetUsers/>", 200, "<tt:Username>viewer</tt:Username><tt:UserLevel>User<", "", "",
         ""},
        {"<tds:GetNTP/>", 200,
         "<tt:IPv4Address>10.0.0.123</tt:IPv4Address>|<tt:DNSname>time.example.org<", "", "", ""},
        {"<tds:GetRelayOutputs/>", 200, "RelayOutput_1", "<tds:GetRelayOutputs/>", "",
         "RelayOutput_2"},
        {"<tds:GetDot11Capabilities/>", 500, "ter:ActionNotSupported", "", "", ""},
        {"<tds:GetDiscoveryMode/>", 200, ">NonDiscoverable<", "", "", ""},
        {"<tds:GetSystemLog><tds:LogType>System</tds:LogType></tds:GetSystemLog>", 200,
         "<tt:String>|started, firmware V1.0.0", "", "", ""},
    };
    SchemaCheck check(ONVIF_SCHEMA_DIR);
    runSteps(sim.port(), steps, check);
    validate(check);
}

TEST(CamsimDevice, SystemLogComesAsAnAttachment)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    soapPost(sim.port(), envelope(body("SendAuxiliaryCommand"))); // an auxiliary command is logged
    for (const char *type : {"System", "Access"}) {
        std::string resp =
            soapPost(sim.port(), envelope(std::string("<tds:GetSystemLog><tds:LogType>") + type +
                                          "</tds:LogType></tds:GetSystemLog>"));
        ASSERT_EQ(raw_status(resp), 200) << resp;
        EXPECT_NE(raw_header(resp, "Content-Type").find("type=\"application/xop+xml\""),
                  std::string::npos);
        std::vector<MimePart> parts = mimeParts(resp);
        ASSERT_EQ(parts.size(), 2u) << resp;
        EXPECT_NE(parts[0].headers.find("application/xop+xml"), std::string::npos);
        const std::string &env = parts[0].content;
        size_t href = env.find("<xop:Include href=\"cid:");
        ASSERT_NE(href, std::string::npos) << env;
        const std::string cid = env.substr(href + 23, env.find('"', href + 23) - href - 23);
        EXPECT_NE(parts[1].headers.find("Content-ID: <" + cid + ">"), std::string::npos)
            << parts[1].headers;
        const std::string want = std::string(type) == "System" ? "auxiliary command tt:Wiper|On"
                                                               : "SendAuxiliaryCommand ok";
        EXPECT_NE(parts[1].content.find(want), std::string::npos) << parts[1].content;
    }
}

TEST(CamsimDevice, FirmwareUploadToTheUploadUriChangesTheVersion)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    auto start = [&]() {
        std::string r = envelopeOf(soapPost(sim.port(), envelope("<tds:StartFirmwareUpgrade/>")));
        EXPECT_EQ(textOf(r, "tds:UploadDelay"), "PT0S");
        return pathOf(textOf(r, "tds:UploadUri"));
    };
    auto version = [&]() {
        return textOf(envelopeOf(soapPost(sim.port(), envelope("<tds:GetDeviceInformation/>"))),
                      "tds:FirmwareVersion");
    };
    std::string image(200000, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = char(i * 131 + (i >> 9));
    const std::string path = start();
    ASSERT_EQ(path.rfind("/onvif-upload/", 0), 0u) << path;
    std::string r = raw_request(kHost, sim.port(), "POST", path, image, "application/octet-stream");
    EXPECT_EQ(raw_status(r), 200) << r;
    EXPECT_EQ(version(), "V1.0.0-upgraded");
    std::ifstream stored(sim.dir() + "/CAMSIM0001.bin", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), image);
    // an upload URI takes one upload; a named image gives its version
    EXPECT_EQ(
        raw_status(raw_request(kHost, sim.port(), "POST", path, image, "application/octet-stream")),
        404);
    r = raw_request(kHost, sim.port(), "POST", start(), image, "application/octet-stream",
                    "Content-Disposition: attachment; filename=\"V4.5.6.bin\"\r\n");
    EXPECT_EQ(raw_status(r), 200) << r;
    EXPECT_EQ(version(), "V4.5.6");
}

TEST(CamsimDevice, SystemFilesAndRestoreFromABackup)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const int port = sim.port();
    std::string uris = envelopeOf(soapPost(port, envelope("<tds:GetSystemUris/>")));
    std::vector<std::string> urls;
    for (size_t at = uris.find("<tt:Uri>"); at != std::string::npos && urls.size() < 8;
         at = uris.find("<tt:Uri>", at + 1))
        urls.push_back(textOf(uris.substr(at), "tt:Uri"));
    urls.push_back(textOf(uris, "tds:SupportInfoUri"));
    const std::string backupUrl = textOf(uris, "tds:SystemBackupUri");
    urls.push_back(backupUrl);
    ASSERT_EQ(urls.size(), 4u) << uris;
    for (const std::string &u : urls) {
        std::string r = raw_request(kHost, port, "GET", pathOf(u), "", "");
        EXPECT_EQ(raw_status(r), 200) << u;
        EXPECT_FALSE(raw_body(r).empty()) << u;
    }
    const std::string backup = raw_body(raw_request(kHost, port, "GET", pathOf(backupUrl), "", ""));
    soapPost(port, envelope(body("SetHostname"))); // hostname cam-lobby
    auto restoreUri = [&]() {
        return pathOf(textOf(envelopeOf(soapPost(port, envelope("<tds:StartSystemRestore/>"))),
                             "tds:UploadUri"));
    };
    auto hostname = [&]() {
        return textOf(envelopeOf(soapPost(port, envelope("<tds:GetHostname/>"))), "tt:Name");
    };
    EXPECT_EQ(raw_status(raw_request(kHost, port, "POST", restoreUri(), "not a backup",
                                     "application/octet-stream")),
              400);
    EXPECT_EQ(hostname(), "cam-lobby");
    EXPECT_EQ(raw_status(raw_request(kHost, port, "POST", restoreUri(), backup,
                                     "application/octet-stream")),
              200);
    EXPECT_EQ(hostname(), "camsim-1");
}

namespace
{

// An HTTP Basic authorization header line (the library's base64).
std::string basic(const std::string &userPassword)
{
    char b64[256] = "";
    base64_encode(reinterpret_cast<const uint8_t *>(userPassword.data()), (int)userPassword.size(),
                  b64, sizeof(b64));
    return "Authorization: Basic " + std::string(b64) + "\r\n";
}

} // namespace

TEST(CamsimDevice, AccountsAreTheOnesThatAuthenticate)
{
    CamsimProcess sim(CAMSIM_PATH, "[{\"auth\": \"basic\", \"password\": \"first\"}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    auto as = [&](const std::string &user, const std::string &pw, const std::string &body) {
        return raw_status(soapPost(sim.port(), envelope(body), basic(user + ":" + pw)));
    };
    const std::string info = "<tds:GetDeviceInformation/>";
    EXPECT_EQ(as("operator1", "pw-operator1", info), 401);
    EXPECT_EQ(as("admin", "first",
                 "<tds:CreateUsers>" + user("operator1", "Operator") + "</tds:CreateUsers>"),
              200);
    EXPECT_EQ(as("operator1", "pw-operator1", info), 200);
    // the administrator changes its own password: the old one stops working
    EXPECT_EQ(
        as("admin", "first",
           "<tds:SetUser><tds:User><tt:Username>admin</tt:Username><tt:Password>second"
           "</tt:Password><tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:SetUser>"),
        200);
    EXPECT_EQ(as("admin", "first", info), 401);
    EXPECT_EQ(as("admin", "second", info), 200);
    // the files behind GetSystemUris want the same credentials
    EXPECT_EQ(raw_status(raw_request(kHost, sim.port(), "GET", "/onvif-files/system.log", "", "")),
              401);
    EXPECT_EQ(raw_status(raw_request(kHost, sim.port(), "GET", "/onvif-files/system.log", "", "",
                                     basic("admin:second"))),
              200);
}
