// SOAP reply parsing: the dispatcher's rules, the fault reader, the device
// replies with their edge cases, entity decoding of copied texts and the
// field-size boundaries. Replies are real XML run through the library's own
// parser.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "onvif/onvif_act.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_list.h"
#include "onvif/soap_parse.h"
#include "onvif/soap_util.h"
#include "tests/support/soap_text.h"

using soaptest::envelope;
using soaptest::Reply;

namespace
{

ONVIF_DEVICE *zero_device()
{
    static ONVIF_DEVICE dev;
    memset(&dev, 0, sizeof(dev));
    return &dev;
}

const char kDeviceInfo[] = "<tds:GetDeviceInformationResponse>"
                           "<tds:Manufacturer>Acme</tds:Manufacturer>"
                           "<tds:Model>IPC-1</tds:Model>"
                           "<tds:FirmwareVersion>1.2.3</tds:FirmwareVersion>"
                           "<tds:SerialNumber>SN42</tds:SerialNumber>"
                           "</tds:GetDeviceInformationResponse>";

} // namespace

TEST(SoapParse, ResponseFoundUnderAnyEnvelopePrefix)
{
    const char *prefixes[] = {"SOAP-ENV", "env", "s", ""};
    for (const char *prefix : prefixes) {
        Reply r(envelope(kDeviceInfo, prefix));
        ASSERT_NE(r.body(), nullptr) << prefix;
        ONVIF_DEVICE_INFORMATION info;
        memset(&info, 0, sizeof(info));
        ASSERT_EQ(
            onvif_parse_response(r.body(), ACT_tds_GetDeviceInformation, zero_device(), &info), 1)
            << prefix;
        EXPECT_STREQ(info.manufacturer, "Acme");
        EXPECT_STREQ(info.model, "IPC-1");
        EXPECT_STREQ(info.firmware_version, "1.2.3");
        EXPECT_STREQ(info.serial_number, "SN42");
        EXPECT_STREQ(info.hardware_id, ""); // no HardwareId: still a success
    }
}

TEST(SoapParse, DispatcherRules)
{
    Reply dns(envelope("<tds:SetDNSResponse/>"));
    EXPECT_EQ(onvif_parse_response(dns.body(), ACT_tds_SetDNS, nullptr, nullptr), 1);
    // Wrong response element for the type: failure.
    EXPECT_EQ(onvif_parse_response(dns.body(), ACT_tds_SetNetworkDefaultGateway, nullptr, nullptr),
              0);
    EXPECT_EQ(onvif_parse_response(dns.body(), 0, nullptr, nullptr), 0);
    EXPECT_EQ(onvif_parse_response(dns.body(), 388, nullptr, nullptr), 0);
    EXPECT_EQ(onvif_parse_response(nullptr, ACT_tds_SetDNS, nullptr, nullptr), 0);
    // GetSystemLog is read like any other reply: without its response
    // element it fails.
    EXPECT_EQ(onvif_parse_response(dns.body(), ACT_tds_GetSystemLog, nullptr, nullptr), 0);

    // The fault is not a response.
    Reply fault(envelope("<s:Fault><s:Code><s:Value>s:Receiver</s:Value></s:Code></s:Fault>"));
    ONVIF_DEVICE_INFORMATION info;
    memset(&info, 0, sizeof(info));
    EXPECT_EQ(onvif_parse_response(fault.body(), ACT_tds_GetDeviceInformation, nullptr, &info), 0);
}

TEST(SoapParse, FaultWithPrefixesAsReceived)
{
    Reply r("<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\">"
            "<SOAP-ENV:Body><SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender"
            "</SOAP-ENV:Value><SOAP-ENV:Subcode><SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value>"
            "</SOAP-ENV:Subcode></SOAP-ENV:Code><SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">"
            "Sender not &quot;authorized&quot;</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>"
            "</SOAP-ENV:Body></SOAP-ENV:Envelope>");
    ASSERT_NE(r.body(), nullptr);
    ONVIF_FAULT f;
    memset(&f, 0, sizeof(f));
    ASSERT_EQ(onvif_parse_fault(r.body(), &f), 1);
    EXPECT_STREQ(f.code, "SOAP-ENV:Sender");
    EXPECT_STREQ(f.subcode, "ter:NotAuthorized"); // "ter" was never declared: kept as is
    EXPECT_STREQ(f.reason, "Sender not \"authorized\"");

    // Parts missing stay empty; no Fault at all gives 0.
    Reply partial(
        envelope("<s:Fault><s:Reason><s:Text>only a reason</s:Text></s:Reason></s:Fault>"));
    memset(&f, 0, sizeof(f));
    ASSERT_EQ(onvif_parse_fault(partial.body(), &f), 1);
    EXPECT_STREQ(f.code, "");
    EXPECT_STREQ(f.subcode, "");
    EXPECT_STREQ(f.reason, "only a reason");
    Reply none(envelope(kDeviceInfo));
    EXPECT_EQ(onvif_parse_fault(none.body(), &f), 0);

    // A reason longer than the field is cut to 255 characters.
    std::string longreason(400, 'r');
    Reply big(
        envelope("<s:Fault><s:Reason><s:Text>" + longreason + "</s:Text></s:Reason></s:Fault>"));
    memset(&f, 0, sizeof(f));
    ASSERT_EQ(onvif_parse_fault(big.body(), &f), 1);
    EXPECT_EQ(strlen(f.reason), 255u);
}

TEST(SoapParse, EntitiesDecodedAndFieldsCutAtTheirSize)
{
    std::string utf_edge = std::string(62, 'a') + "&#233;"; // é needs 2 bytes: 64 > 63
    Reply r(
        envelope("<tds:GetDeviceInformationResponse>"
                 "<tds:Manufacturer>A&amp;B &lt;C&gt; &quot;q&quot; &apos;s&apos; &#233;&#x4E2D;"
                 "</tds:Manufacturer><tds:SerialNumber>" +
                 utf_edge +
                 "</tds:SerialNumber><tds:HardwareId>&unknown; &#0; &#xD800; &#1114112; "
                 "&#; &amp</tds:HardwareId></tds:GetDeviceInformationResponse>"));
    ONVIF_DEVICE_INFORMATION info;
    memset(&info, 'Z', sizeof(info));
    ASSERT_EQ(parse_GetDeviceInformation_rly(
                  xml_node_soap_get(r.body(), "GetDeviceInformationResponse"), &info),
              1);
    EXPECT_STREQ(info.manufacturer, "A&B <C> \"q\" 's' \xC3\xA9\xE4\xB8\xAD");
    EXPECT_EQ(std::string(info.serial_number), std::string(62, 'a')); // never half a character
    EXPECT_STREQ(info.hardware_id, "&unknown; &#0; &#xD800; &#1114112; &#; &amp");
}

TEST(SoapUtil, CopyTextAndNumbers)
{
    char small[4];
    EXPECT_EQ(soap_copy_text(small, sizeof(small), "&lt;&gt;&amp;&quot;"), 3);
    EXPECT_STREQ(small, "<>&");
    char one[1] = {'Z'};
    EXPECT_EQ(soap_copy_text(one, 1, "abc"), 0);
    EXPECT_EQ(one[0], '\0');
    EXPECT_EQ(soap_copy_text(small, sizeof(small), nullptr), 0);
    EXPECT_STREQ(small, "");
    char four[5];
    EXPECT_EQ(soap_copy_text(four, sizeof(four), "&#x1F600;"), 4); // 4-byte character fits exactly
    EXPECT_STREQ(four, "\xF0\x9F\x98\x80");
    EXPECT_EQ(soap_copy_text(four, 4, "&#x1F600;"), 0); // ...and is dropped whole when it doesn't

    EXPECT_EQ(soap_atoi("42"), 42);
    EXPECT_EQ(soap_atoi("  -17abc"), -17);
    EXPECT_EQ(soap_atoi("+8"), 8);
    EXPECT_EQ(soap_atoi("abc"), 0);
    EXPECT_EQ(soap_atoi(""), 0);
    EXPECT_EQ(soap_atoi(nullptr), 0);
    EXPECT_EQ(soap_atoi("2147483647"), INT_MAX);
    EXPECT_EQ(soap_atoi("2147483648"), INT_MAX);
    EXPECT_EQ(soap_atoi("-2147483648"), INT_MIN);
    EXPECT_EQ(soap_atoi("-99999999999999999999999"), INT_MIN);
    EXPECT_EQ(soap_atoi("99999999999999999999999"), INT_MAX);
}

TEST(SoapParse, SystemDateAndTime)
{
    const std::string full =
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
        "<tt:DateTimeType>NTP</tt:DateTimeType><tt:DaylightSavings>true</tt:DaylightSavings>"
        "<tt:TimeZone><tt:TZ>CST-8</tt:TZ></tt:TimeZone>"
        "<tt:UTCDateTime><tt:Time><tt:Hour>23</tt:Hour><tt:Minute>59</tt:Minute>"
        "<tt:Second>50</tt:Second></tt:Time><tt:Date><tt:Year>2031</tt:Year>"
        "<tt:Month>7</tt:Month><tt:Day>4</tt:Day></tt:Date></tt:UTCDateTime>"
        "<tt:LocalDateTime><tt:Time><tt:Hour>7</tt:Hour><tt:Minute>59</tt:Minute>"
        "<tt:Second>50</tt:Second></tt:Time><tt:Date><tt:Year>2031</tt:Year>"
        "<tt:Month>7</tt:Month><tt:Day>5</tt:Day></tt:Date></tt:LocalDateTime>"
        "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";
    Reply r(envelope(full));
    ONVIF_SYSTEM_DATETIME dt;
    memset(&dt, 0, sizeof(dt));
    ASSERT_EQ(onvif_parse_response(r.body(), ACT_tds_GetSystemDateAndTime, nullptr, &dt), 1);
    EXPECT_EQ(dt.flags, ONVIF_SYSDT_FLAG_UTC | ONVIF_SYSDT_FLAG_LOCAL);
    EXPECT_EQ(dt.tz_flags, ONVIF_SYSDT_TZ_PRESENT);
    EXPECT_STREQ(dt.tz, "CST-8");
    EXPECT_EQ(dt.date_time_type, 1);
    EXPECT_EQ(dt.daylight_savings, 1);
    EXPECT_EQ(dt.utc.hour, 23);
    EXPECT_EQ(dt.utc.year, 2031);
    EXPECT_EQ(dt.local.hour, 7);
    EXPECT_EQ(dt.local.day, 5);

    // UTC with Time but no Date: not usable; an impossible hour neither.
    Reply nodate(envelope("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
                          "<tt:UTCDateTime><tt:Time><tt:Hour>1</tt:Hour></tt:Time></tt:UTCDateTime>"
                          "<tt:LocalDateTime><tt:Time><tt:Hour>25</tt:Hour><tt:Minute>0</tt:Minute>"
                          "<tt:Second>0</tt:Second></tt:Time><tt:Date><tt:Year>2031</tt:Year>"
                          "<tt:Month>1</tt:Month><tt:Day>1</tt:Day></tt:Date></tt:LocalDateTime>"
                          "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>"));
    memset(&dt, 0, sizeof(dt));
    ASSERT_EQ(onvif_parse_response(nodate.body(), ACT_tds_GetSystemDateAndTime, nullptr, &dt), 1);
    EXPECT_EQ(dt.flags, 0u);
    EXPECT_EQ(dt.tz_flags, 0u);

    Reply empty(envelope("<tds:GetSystemDateAndTimeResponse/>"));
    EXPECT_EQ(onvif_parse_response(empty.body(), ACT_tds_GetSystemDateAndTime, nullptr, &dt), 0);

    // The date-time reader on its own: missing numbers keep their values.
    Reply part(envelope("<x><Time><Minute>5</Minute></Time><Date><Day>9</Day></Date></x>"));
    ONVIF_DATETIME d{1, 2, 3, 2000, 4, 6};
    EXPECT_EQ(onvif_parse_datetime(xml_node_soap_get(part.body(), "x"), &d), 1);
    EXPECT_EQ(d.hour, 1);
    EXPECT_EQ(d.minute, 5);
    EXPECT_EQ(d.day, 9);
    EXPECT_EQ(d.year, 2000);
}

TEST(SoapParse, NetworkInterfaces)
{
    std::string dot11;
    for (int i = 0; i < 5; i++)
        dot11 += "<tt:Dot11><tt:SSID>net" + std::to_string(i) +
                 "</tt:SSID><tt:Mode>Infrastructure</tt:Mode><tt:Alias>al</tt:Alias>"
                 "<tt:Priority>" +
                 std::to_string(i) +
                 "</tt:Priority><tt:Security><tt:Mode>PSK</tt:Mode><tt:Algorithm>TKIP"
                 "</tt:Algorithm><tt:PSK><tt:Passphrase>p&amp;w</tt:Passphrase></tt:PSK>"
                 "</tt:Security></tt:Dot11>";
    Reply r(envelope(
        "<tds:GetNetworkInterfacesResponse>"
        "<tds:NetworkInterfaces token=\"eth&amp;0\"><tt:Enabled>true</tt:Enabled>"
        "<tt:Info><tt:Name>eth0</tt:Name><tt:HwAddress>00:11:22:33:44:55</tt:HwAddress>"
        "<tt:MTU>1500</tt:MTU></tt:Info>"
        "<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>"
        "<tt:Manual><tt:Address>192.168.1.10</tt:Address><tt:PrefixLength>24</tt:PrefixLength>"
        "</tt:Manual><tt:Manual><tt:Address>192.168.9.9</tt:Address></tt:Manual>"
        "<tt:FromDHCP><tt:Address>10.0.0.7</tt:Address><tt:PrefixLength>8</tt:PrefixLength>"
        "</tt:FromDHCP><tt:DHCP>true</tt:DHCP></tt:Config></tt:IPv4>"
        "<tt:Extension><tt:InterfaceType>71</tt:InterfaceType>" +
        dot11 +
        "</tt:Extension></tds:NetworkInterfaces>"
        "<tds:Other/>"
        "<tds:NetworkInterfaces token=\"wlan0\"><tt:Enabled>false</tt:Enabled>"
        "<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config><tt:Manual><tt:Address>1.2.3.4"
        "</tt:Address><tt:PrefixLength>16</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP>"
        "</tt:Config></tt:IPv4></tds:NetworkInterfaces>"
        "</tds:GetNetworkInterfacesResponse>"));
    NetworkInterfaceList *list = nullptr;
    ASSERT_EQ(onvif_parse_response(r.body(), ACT_tds_GetNetworkInterfaces, nullptr, &list), 1);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(onvif_list_count(list, 10), 2);

    const ONVIF_NETWORK_INTERFACE &a = list->NetworkInterface;
    EXPECT_STREQ(a.token, "eth&0");
    EXPECT_EQ(a.enabled, 1);
    EXPECT_EQ(a.flags, ONVIF_NETIF_FLAG_INFO | ONVIF_NETIF_FLAG_IPV4 | ONVIF_NETIF_FLAG_EXTENSION);
    EXPECT_EQ(a.info_flags, ONVIF_NETIF_INFO_NAME | ONVIF_NETIF_INFO_MTU);
    EXPECT_STREQ(a.name, "eth0");
    EXPECT_STREQ(a.hw_address, "00:11:22:33:44:55");
    EXPECT_EQ(a.mtu, 1500);
    EXPECT_STREQ(a.ipv4_address, "10.0.0.7"); // the DHCP address wins
    EXPECT_EQ(a.prefix_length, 8);
    EXPECT_EQ(a.dhcp, 1);
    EXPECT_EQ(a.interface_type, 71);
    EXPECT_EQ(a.dot11_count, 4); // five given, four kept
    EXPECT_STREQ(a.dot11[3].ssid, "net3");
    EXPECT_EQ(a.dot11[3].priority, 3);
    EXPECT_EQ(a.dot11[0].mode, 1);
    EXPECT_EQ(a.dot11[0].security_mode, 2);
    EXPECT_EQ(a.dot11[0].algorithm, 1);
    EXPECT_EQ(a.dot11[0].security_flags, ONVIF_DOT11_SEC_ALGORITHM | ONVIF_DOT11_SEC_PSK);
    EXPECT_EQ(a.dot11[0].psk_flags, ONVIF_DOT11_PSK_PASSPHRASE);
    EXPECT_STREQ(a.dot11[0].psk_passphrase, "p&w");

    const ONVIF_NETWORK_INTERFACE &b = list->next->NetworkInterface;
    EXPECT_STREQ(b.token, "wlan0");
    EXPECT_EQ(b.enabled, 0);
    EXPECT_EQ(b.flags, ONVIF_NETIF_FLAG_IPV4);
    EXPECT_STREQ(b.ipv4_address, "1.2.3.4");
    EXPECT_EQ(b.prefix_length, 16);
    EXPECT_EQ(b.dhcp, 0);
    onvif_free_NetworkInterfaces(&list);
    EXPECT_EQ(list, nullptr);

    Reply none(envelope("<tds:GetNetworkInterfacesResponse/>"));
    ASSERT_EQ(onvif_parse_response(none.body(), ACT_tds_GetNetworkInterfaces, nullptr, &list), 1);
    EXPECT_EQ(list, nullptr);
}

TEST(SoapParse, DnsAndGateway)
{
    Reply manual(envelope(
        "<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>false</tt:FromDHCP>"
        "<tt:SearchDomain>a.example</tt:SearchDomain><tt:SearchDomain/>"
        "<tt:SearchDomain>b.example</tt:SearchDomain><tt:SearchDomain>c</tt:SearchDomain>"
        "<tt:SearchDomain>d</tt:SearchDomain><tt:SearchDomain>e</tt:SearchDomain>"
        "<tt:DNSFromDHCP><tt:Type>IPv4</tt:Type><tt:IPv4Address>9.9.9.9</tt:IPv4Address>"
        "</tt:DNSFromDHCP>"
        "<tt:DNSManual><tt:Type>IPv6</tt:Type><tt:IPv6Address>::1</tt:IPv6Address></tt:DNSManual>"
        "<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>dns.example</tt:IPv4Address>"
        "</tt:DNSManual>"
        "<tt:DNSManual><tt:Type>ipv4</tt:Type><tt:IPv4Address>8.8.8.8</tt:IPv4Address>"
        "</tt:DNSManual>"
        "<tt:DNSManual><tt:IPv4Address>1.1.1.1</tt:IPv4Address></tt:DNSManual>"
        "<tt:DNSManual><tt:IPv4Address>4.4.4.4</tt:IPv4Address></tt:DNSManual>"
        "</tds:DNSInformation></tds:GetDNSResponse>"));
    ONVIF_DNS dns;
    memset(&dns, 0, sizeof(dns));
    ASSERT_EQ(onvif_parse_response(manual.body(), ACT_tds_GetDNS, nullptr, &dns), 1);
    EXPECT_EQ(dns.from_dhcp, 0);
    EXPECT_EQ(dns.flags, ONVIF_DNS_FLAG_SEARCH_DOMAIN);
    EXPECT_STREQ(dns.search_domain[0], "a.example");
    EXPECT_STREQ(dns.search_domain[1], "b.example");
    EXPECT_STREQ(dns.search_domain[3], "d");
    EXPECT_STREQ(dns.dns_manual[0], "8.8.8.8");
    EXPECT_STREQ(dns.dns_manual[1], "1.1.1.1");

    Reply dhcp(
        envelope("<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>true</tt:FromDHCP>"
                 "<tt:DNSFromDHCP><tt:Type>IPv4</tt:Type><tt:IPv4Address>9.9.9.9"
                 "</tt:IPv4Address></tt:DNSFromDHCP><tt:DNSManual><tt:IPv4Address>8.8.8.8"
                 "</tt:IPv4Address></tt:DNSManual></tds:DNSInformation></tds:GetDNSResponse>"));
    memset(&dns, 0, sizeof(dns));
    ASSERT_EQ(onvif_parse_response(dhcp.body(), ACT_tds_GetDNS, nullptr, &dns), 1);
    EXPECT_EQ(dns.from_dhcp, 1);
    EXPECT_EQ(dns.flags, 0u);
    EXPECT_STREQ(dns.dns_manual[0], "9.9.9.9");
    EXPECT_STREQ(dns.dns_manual[1], "");

    Reply nodns(envelope("<tds:GetDNSResponse/>"));
    EXPECT_EQ(onvif_parse_response(nodns.body(), ACT_tds_GetDNS, nullptr, &dns), 0);

    Reply gw(envelope("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>"
                      "<tt:IPv4Address>gateway</tt:IPv4Address><tt:IPv4Address/>"
                      "<tt:IPv4Address>192.168.1.1</tt:IPv4Address>"
                      "<tt:IPv6Address>fe80::1</tt:IPv6Address>"
                      "<tt:IPv4Address>192.168.1.254</tt:IPv4Address>"
                      "<tt:IPv4Address>10.1.1.1</tt:IPv4Address>"
                      "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>"));
    ONVIF_NETWORK_GATEWAY g;
    memset(&g, 0, sizeof(g));
    ASSERT_EQ(onvif_parse_response(gw.body(), ACT_tds_GetNetworkDefaultGateway, nullptr, &g), 1);
    EXPECT_STREQ(g.ipv4_address[0], "192.168.1.1");
    EXPECT_STREQ(g.ipv4_address[1], "192.168.1.254");
    Reply nogw(envelope("<tds:GetNetworkDefaultGatewayResponse/>"));
    EXPECT_EQ(onvif_parse_response(nogw.body(), ACT_tds_GetNetworkDefaultGateway, nullptr, &g), 0);
}

TEST(SoapParse, ScopesAndHostname)
{
    std::string long_item(200, 's');
    Reply r(envelope("<tds:GetScopesResponse>"
                     "<tds:Scopes><tt:ScopeDef>Fixed</tt:ScopeDef>"
                     "<tt:ScopeItem>onvif://www.onvif.org/name/Cam%20A</tt:ScopeItem></tds:Scopes>"
                     "<tds:Scopes><tt:ScopeDef>Configurable</tt:ScopeDef>"
                     "<tt:ScopeItem>" +
                     long_item + "</tt:ScopeItem></tds:Scopes></tds:GetScopesResponse>"));
    ScopeList *scopes = nullptr;
    ASSERT_EQ(onvif_parse_response(r.body(), ACT_tds_GetScopes, nullptr, &scopes), 1);
    ASSERT_EQ(onvif_list_count(scopes, 10), 2);
    EXPECT_EQ(scopes->Scope.definition, 0);
    EXPECT_STREQ(scopes->Scope.item, "onvif://www.onvif.org/name/Cam%20A");
    EXPECT_EQ(scopes->next->Scope.definition, 1);
    EXPECT_EQ(strlen(scopes->next->Scope.item), 127u);
    onvif_free_Scopes(&scopes);
    EXPECT_EQ(scopes, nullptr);

    Reply h(envelope("<tds:GetHostnameResponse><tds:HostnameInformation>"
                     "<tt:FromDHCP>false</tt:FromDHCP><tt:Name>cam&lt;1&gt;</tt:Name>"
                     "</tds:HostnameInformation></tds:GetHostnameResponse>"));
    ONVIF_HOSTNAME host;
    memset(&host, 0, sizeof(host));
    ASSERT_EQ(onvif_parse_response(h.body(), ACT_tds_GetHostname, nullptr, &host), 1);
    EXPECT_EQ(host.flags, ONVIF_HOSTNAME_FLAG_NAME);
    EXPECT_EQ(host.from_dhcp, 0);
    EXPECT_STREQ(host.name, "cam<1>");
    Reply noname(envelope("<tds:GetHostnameResponse><tds:HostnameInformation>"
                          "<tt:FromDHCP>true</tt:FromDHCP></tds:HostnameInformation>"
                          "</tds:GetHostnameResponse>"));
    memset(&host, 0, sizeof(host));
    ASSERT_EQ(onvif_parse_response(noname.body(), ACT_tds_GetHostname, nullptr, &host), 1);
    EXPECT_EQ(host.flags, 0u);
    EXPECT_EQ(host.from_dhcp, 1);
}

TEST(SoapParse, CapabilitiesUpdateTheBlockInPlace)
{
    Reply r(envelope("<tds:GetCapabilitiesResponse><tds:Capabilities>"
                     "<tt:Media><tt:XAddr>http://10.0.0.2/onvif/media</tt:XAddr></tt:Media>"
                     "</tds:Capabilities></tds:GetCapabilitiesResponse>"));
    ONVIF_CAPABILITIES caps;
    memset(&caps, 0, sizeof(caps));
    strcpy(caps.ptz.xaddr.host, "kept");
    ASSERT_EQ(onvif_parse_response(r.body(), ACT_tds_GetCapabilities, nullptr, &caps), 1);
    EXPECT_TRUE(caps.media.flags & ONVIF_CAP_MEDIA_PRESENT);
    EXPECT_STREQ(caps.media.xaddr.host, "10.0.0.2");
    EXPECT_STREQ(caps.ptz.xaddr.host, "kept"); // not cleared by the dispatcher
}
