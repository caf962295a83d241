// SOAP request construction: the envelope byte for byte, the WS-Security and
// WS-Addressing headers, the Created rule with its clock refresh, the device
// bodies written by hand (checked against the ONVIF schema with
// validate-body; the generic writer's bodies are swept in test_op_sweep.cpp),
// escaping and overflow.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "onvif/onvif_act.h"
#include "onvif/onvif_device.h"
#include "onvif/soap_build.h"
#include "onvif/soap_util.h"
#include "platform/encoding.h"
#include "tests/support/onvif_records.h"
#include "tests/support/schema_check.h"
#include "tests/support/child_output.h"
#include "tests/support/log_capture.h"

namespace
{

// Text between the first occurrence of open and the following close.
std::string between(const std::string &s, const std::string &open, const std::string &close)
{
    size_t a = s.find(open);
    if (a == std::string::npos) return "";
    a += open.size();
    size_t b = s.find(close, a);
    if (b == std::string::npos) return "";
    return s.substr(a, b - a);
}

std::string utc_date_now()
{
    char buf[32];
    time_t now = time(nullptr);
    struct tm tmv;
    gmtime_r(&now, &tmv);
    strftime(buf, sizeof(buf), "%Y-%m-%d", &tmv);
    return buf;
}

} // namespace

// The namespace declarations are checked by the schema sweep; here the
// envelope without a header and the body.
TEST(SoapBuild, GetDeviceInformationEnvelopeIsExact)
{
    auto dev = new_device();
    std::string env = build(ACT_tds_GetDeviceInformation, dev.get(), nullptr);
    EXPECT_EQ(env.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?><s:Envelope ", 0), 0u);
    EXPECT_EQ(env.substr(env.find('>', env.find("<s:Envelope "))),
              "><s:Body><tds:GetDeviceInformation /></s:Body></s:Envelope>");

    // need_auth without a user name still sends no header.
    dev->need_auth = 1;
    EXPECT_EQ(build(ACT_tds_GetDeviceInformation, dev.get(), nullptr), env);
    // Nor does a missing device record.
    EXPECT_EQ(build(ACT_tds_GetDeviceInformation, nullptr, nullptr), env);
}

TEST(SoapBuild, DigestMatchesIndependentValue)
{
    // Values computed with: printf '%s' NONCE CREATED PASSWORD | openssl dgst -sha1 -binary |
    // base64
    auto digest_of = [](const std::string &nonce, const char *created, const char *pass,
                        int size = 100) {
        char digest[100];
        int r = onvif_calc_digest((const uint8_t *)nonce.data(), (int)nonce.size(), created, pass,
                                  digest, size);
        return r == 1 ? std::string(digest) : std::string("<refused>");
    };
    EXPECT_EQ(digest_of("0123456789abcdef", "2024-01-02T03:04:05Z", "secret"),
              "TjxByUPMFoQMjTJfLfAxj67d7B4=");
    EXPECT_EQ(digest_of("nonce", "2000-01-01T00:00:00Z", ""), "ef1fWsvnR1qbgBPDkoFTCu6oysE=");
    // Nonce bytes are bytes: a NUL among them counts (printf 'a\0b' ...).
    EXPECT_NE(digest_of(std::string("a\0b", 3), "c", "p"), digest_of("a", "c", "p"));
    // 28 characters and a terminator need 29 bytes.
    EXPECT_EQ(digest_of("n", "c", "p", 28), "<refused>");
    EXPECT_EQ(digest_of("n", "c", "p", 29).size(), 28u);
}

TEST(SoapBuild, NonceIsSixteenRandomBytes)
{
    uint8_t nonce[32];
    ASSERT_EQ(onvif_make_nonce(nonce, sizeof(nonce)), ONVIF_NONCE_LEN);
    uint8_t small[ONVIF_NONCE_LEN - 1];
    EXPECT_EQ(onvif_make_nonce(small, sizeof(small)), -1);
    EXPECT_EQ(onvif_make_nonce(nullptr, 16), -1);

    // 200 nonces: all different, and bytes, not a hex text (over 3200 random
    // bytes, every value outside 0-9a-f shows up with near certainty).
    std::set<std::string> seen;
    bool non_hex = false;
    for (int i = 0; i < 200; i++) {
        ASSERT_EQ(onvif_make_nonce(nonce, ONVIF_NONCE_LEN), ONVIF_NONCE_LEN);
        std::string n((const char *)nonce, ONVIF_NONCE_LEN);
        non_hex |= n.find_first_not_of("0123456789abcdef") != std::string::npos;
        seen.insert(n);
    }
    EXPECT_EQ(seen.size(), 200u);
    EXPECT_TRUE(non_hex);

    // Two programs started in the same second send different nonces.
    auto out = childout::outputs_of_children(3, [] {
        uint8_t n[ONVIF_NONCE_LEN];
        return onvif_make_nonce(n, sizeof(n)) == ONVIF_NONCE_LEN
                   ? std::string((const char *)n, sizeof(n))
                   : std::string();
    });
    ASSERT_EQ(out.size(), 3u);
    for (auto &o : out)
        ASSERT_EQ(o.size(), (size_t)ONVIF_NONCE_LEN);
    EXPECT_NE(out[0], out[1]);
    EXPECT_NE(out[1], out[2]);
    EXPECT_NE(out[0], out[2]);
}

TEST(SoapBuild, UsernameTokenCarriesEscapedUserAndVerifiableDigest)
{
    auto dev = new_device();
    dev->need_auth = 1;
    onvif_SetAuthInfo(dev.get(), "a&<b>\"'", "pa&ss");
    std::string env = build(ACT_tds_GetDeviceInformation, dev.get(), nullptr);
    ASSERT_FALSE(env.empty());
    EXPECT_NE(env.find("<s:Header><wsse:Security><wsse:UsernameToken>"
                       "<wsse:Username>a&amp;&lt;b&gt;&quot;&apos;</wsse:Username>"),
              std::string::npos)
        << env;
    EXPECT_NE(env.find("</wsse:UsernameToken></wsse:Security></s:Header><s:Body>"),
              std::string::npos);

    std::string nonce_b64 = between(env, "#Base64Binary\">", "</wsse:Nonce>");
    std::string digest = between(env, "#PasswordDigest\">", "</wsse:Password>");
    std::string created = between(env, "<wsu:Created>", "</wsu:Created>");
    EXPECT_EQ(nonce_b64.size(), 24u);
    EXPECT_EQ(digest.size(), 28u);
    ASSERT_EQ(created.size(), 20u);
    EXPECT_EQ(created.substr(0, 10), utc_date_now()); // local clock, UTC
    EXPECT_EQ(created[10], 'T');
    EXPECT_EQ(created[19], 'Z');

    // The digest is SHA-1 over the 16 nonce bytes, Created and the raw password.
    uint8_t nonce[64] = {0};
    int nlen = base64_decode(nonce_b64.c_str(), (int)nonce_b64.size(), nonce, sizeof(nonce) - 1);
    ASSERT_EQ(nlen, 16);
    char expect[100];
    ASSERT_EQ(onvif_calc_digest(nonce, nlen, created.c_str(), "pa&ss", expect, sizeof(expect)), 1);
    EXPECT_EQ(digest, expect);
    // A fresh nonce for every request.
    std::string again = build(ACT_tds_GetDeviceInformation, dev.get(), nullptr);
    EXPECT_NE(between(again, "#Base64Binary\">", "</wsse:Nonce>"), nonce_b64);

    SKIP_WITHOUT_SCHEMAS();
    expect_valid({env});
}

TEST(SoapBuild, CreatedFollowsTheDeviceClock)
{
    auto dev = new_device();
    dev->time_type = ONVIF_TIME_UTC;
    dev->device_time = ONVIF_DATETIME{10, 59, 50, 2031, 7, 4};
    dev->time_stamp = (int64_t)time(nullptr) - 15;
    char created[64];
    int n = onvif_build_created(dev.get(), created, sizeof(created));
    EXPECT_EQ(n, 20);
    // 15 s passed (16 if the clock ticked meanwhile): minutes and hours carry.
    std::string c = created;
    EXPECT_TRUE(c == "2031-07-04T11:00:05Z" || c == "2031-07-04T11:00:06Z") << c;

    // A local clock that went back counts as no time passed.
    dev->time_stamp = (int64_t)time(nullptr) + 3600;
    onvif_build_created(dev.get(), created, sizeof(created));
    EXPECT_STREQ(created, "2031-07-04T10:59:50Z");

    // Only the local device time known: the local clock's UTC time.
    dev->time_type = ONVIF_TIME_LOCAL;
    onvif_build_created(dev.get(), created, sizeof(created));
    EXPECT_EQ(std::string(created).substr(0, 10), utc_date_now());

    // A short buffer cuts, never overruns.
    char small[8];
    memset(small, 'Z', sizeof(small));
    dev->time_type = ONVIF_TIME_UTC;
    dev->time_stamp = (int64_t)time(nullptr);
    EXPECT_EQ(onvif_build_created(dev.get(), small, sizeof(small)), 7);
    EXPECT_STREQ(small, "2031-07");
}

TEST(SoapBuild, CreatedPastMidnightIsLeftToTheEngine)
{
    auto dev = new_device();
    dev->need_auth = 1;
    onvif_SetAuthInfo(dev.get(), "admin", "admin");
    dev->time_type = ONVIF_TIME_UTC;
    dev->device_time = ONVIF_DATETIME{23, 59, 50, 2031, 7, 4};
    dev->time_stamp = (int64_t)time(nullptr) - 15;

    // The engine reads the clock again before it builds; the builder itself
    // never makes a network call and never stamps 24:00:05 of the old date.
    EXPECT_EQ(onvif_created_needs_refresh(dev.get()), 1);
    std::string env = build(ACT_tds_GetDeviceInformation, dev.get(), nullptr);
    ASSERT_FALSE(env.empty());
    EXPECT_EQ(dev->need_auth, 1);
    EXPECT_EQ(dev->time_type, ONVIF_TIME_UTC);
    std::string created = between(env, "<wsu:Created>", "</wsu:Created>");
    EXPECT_EQ(created.substr(0, 10), utc_date_now()) << created;
    EXPECT_EQ(env.find("T24:"), std::string::npos);

    dev->time_stamp = (int64_t)time(nullptr);
    EXPECT_EQ(onvif_created_needs_refresh(dev.get()), 0);
    dev->time_stamp = (int64_t)time(nullptr) - 15;
    dev->need_auth = 0; // no token, no Created: nothing to refresh for
    EXPECT_EQ(onvif_created_needs_refresh(dev.get()), 0);
}

TEST(SoapBuild, NetworkInterfaceBodies)
{
    auto dev = new_device();
    std::vector<std::string> envs;

    ONVIF_NETWORK_INTERFACE ni;
    memset(&ni, 0, sizeof(ni));
    strcpy(ni.token, "eth0");
    ni.enabled = 1;
    ni.flags = ONVIF_NETIF_FLAG_IPV4;
    ni.ipv4_enabled = 1;
    ni.dhcp = 1;
    strcpy(ni.ipv4_address, "192.168.1.10");
    ni.prefix_length = 24;
    std::string env = build(ACT_tds_SetNetworkInterfaces, dev.get(), &ni);
    EXPECT_NE(env.find("<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
                       "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4>"
                       "<tt:Enabled>true</tt:Enabled><tt:DHCP>true</tt:DHCP></tt:IPv4>"
                       "</tds:NetworkInterface></tds:SetNetworkInterfaces>"),
              std::string::npos)
        << env;
    EXPECT_EQ(env.find("Manual"), std::string::npos);
    envs.push_back(env);

    // Static address with MTU; name and hardware address never go out.
    ni.dhcp = 0;
    ni.flags |= ONVIF_NETIF_FLAG_INFO;
    ni.info_flags = ONVIF_NETIF_INFO_MTU | ONVIF_NETIF_INFO_NAME;
    ni.mtu = 1500;
    strcpy(ni.name, "secret-name");
    strcpy(ni.hw_address, "00:11:22:33:44:55");
    env = build(ACT_tds_SetNetworkInterfaces, dev.get(), &ni);
    EXPECT_NE(env.find("<tt:Enabled>true</tt:Enabled><tt:MTU>1500</tt:MTU><tt:IPv4>"
                       "<tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>192.168.1.10"
                       "</tt:Address><tt:PrefixLength>24</tt:PrefixLength></tt:Manual>"
                       "<tt:DHCP>false</tt:DHCP></tt:IPv4>"),
              std::string::npos)
        << env;
    EXPECT_EQ(env.find("secret-name"), std::string::npos);
    EXPECT_EQ(env.find("00:11:22"), std::string::npos);
    envs.push_back(env);

    // Wireless extension with every optional part, a token with markup
    // characters, and fields filled to their last byte.
    ni.flags |= ONVIF_NETIF_FLAG_EXTENSION;
    strcpy(ni.token, "if<&>\"'");
    ni.interface_type = 71;
    ni.dot11_count = 9; // more than the array holds: only 4 are written
    for (int i = 0; i < ONVIF_NETIF_MAX_DOT11; i++) {
        ONVIF_DOT11_CONFIGURATION &d = ni.dot11[i];
        memcpy(d.ssid, "0123456789ABCDEF0123456789ABCDEF", 32); // hexBinary, no terminator
        d.mode = 1;
        strcpy(d.alias, "a&b");
        d.priority = i;
        d.security_mode = 2;
        d.security_flags = ONVIF_DOT11_SEC_ALGORITHM | ONVIF_DOT11_SEC_PSK | ONVIF_DOT11_SEC_DOT1X;
        d.algorithm = 0;
        d.psk_flags = ONVIF_DOT11_PSK_KEY | ONVIF_DOT11_PSK_PASSPHRASE;
        strcpy(d.psk_key, "00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF");
        strcpy(d.psk_passphrase, "pass<phrase>");
        strcpy(d.dot1x, "dot1x-token");
    }
    env = build(ACT_tds_SetNetworkInterfaces, dev.get(), &ni);
    ASSERT_FALSE(env.empty());
    EXPECT_NE(env.find("<tds:InterfaceToken>if&lt;&amp;&gt;&quot;&apos;</tds:InterfaceToken>"),
              std::string::npos);
    EXPECT_NE(env.find("<tt:Extension><tt:Dot11><tt:SSID>0123456789ABCDEF0123456789ABCDEF"
                       "</tt:SSID><tt:Mode>Infrastructure"
                       "</tt:Mode><tt:Alias>a&amp;b</tt:Alias><tt:Priority>0</tt:Priority>"
                       "<tt:Security><tt:Mode>PSK</tt:Mode><tt:Algorithm>CCMP</tt:Algorithm>"
                       "<tt:PSK><tt:Key>"),
              std::string::npos)
        << env;
    size_t count = 0;
    for (size_t p = env.find("<tt:Dot11>"); p != std::string::npos;
         p = env.find("<tt:Dot11>", p + 1))
        count++;
    EXPECT_EQ(count, 4u);
    envs.push_back(env);

    // No request record: nothing to send.
    int ret = 0;
    EXPECT_EQ(build(ACT_tds_SetNetworkInterfaces, dev.get(), nullptr, &ret), "");
    EXPECT_EQ(ret, -1);

    SKIP_WITHOUT_SCHEMAS();
    expect_valid(envs);
}

TEST(SoapBuild, DnsBodies)
{
    auto dev = new_device();
    std::vector<std::string> envs;

    ONVIF_DNS dns;
    memset(&dns, 0, sizeof(dns));
    dns.from_dhcp = 1;
    strcpy(dns.dns_manual[0], "8.8.8.8");
    std::string env = build(ACT_tds_SetDNS, dev.get(), &dns);
    EXPECT_NE(env.find("<tds:SetDNS><tds:FromDHCP>true</tds:FromDHCP></tds:SetDNS>"),
              std::string::npos)
        << env;
    envs.push_back(env);

    dns.from_dhcp = 0;
    dns.flags = ONVIF_DNS_FLAG_SEARCH_DOMAIN;
    strcpy(dns.search_domain[0], "a.example");
    strcpy(dns.search_domain[2], "c&d.example");                     // entry 1 empty: skipped
    memset(dns.search_domain[3], 'x', sizeof(dns.search_domain[3])); // full field
    strcpy(dns.dns_manual[1], "1.1.1.1");
    env = build(ACT_tds_SetDNS, dev.get(), &dns);
    EXPECT_NE(env.find("<tds:FromDHCP>false</tds:FromDHCP><tds:SearchDomain>a.example"
                       "</tds:SearchDomain><tds:SearchDomain>c&amp;d.example</tds:SearchDomain>"
                       "<tds:SearchDomain>" +
                       std::string(64, 'x') +
                       "</tds:SearchDomain><tds:DNSManual><tt:Type>IPv4</tt:Type>"
                       "<tt:IPv4Address>8.8.8.8</tt:IPv4Address></tds:DNSManual><tds:DNSManual>"
                       "<tt:Type>IPv4</tt:Type><tt:IPv4Address>1.1.1.1</tt:IPv4Address>"
                       "</tds:DNSManual></tds:SetDNS>"),
              std::string::npos)
        << env;
    envs.push_back(env);

    SKIP_WITHOUT_SCHEMAS();
    expect_valid(envs);
}

TEST(SoapBuild, OverflowNeverSendsATruncatedRequest)
{
    auto dev = new_device();
    ONVIF_DNS dns;
    memset(&dns, 0, sizeof(dns));
    dns.flags = ONVIF_DNS_FLAG_SEARCH_DOMAIN;
    for (auto &d : dns.search_domain)
        memset(d, 'd', sizeof(d));
    for (auto &m : dns.dns_manual)
        strcpy(m, "10.0.0.1");
    dev->need_auth = 1;
    onvif_SetAuthInfo(dev.get(), "admin", "secret");

    int full = 0;
    std::string env = build(ACT_tds_SetDNS, dev.get(), &dns, &full);
    ASSERT_GT(full, 0);

    // Every buffer size up to the one that just fits: -1, an empty text, and
    // not a byte written past the given size.
    const int guard = 16;
    std::vector<char> buf((size_t)full + 1 + guard);
    for (int size = 0; size <= full + 1; size++) {
        memset(buf.data(), 'G', buf.size());
        int n = onvif_build_request(buf.data(), size, ACT_tds_SetDNS, dev.get(), &dns);
        for (size_t i = (size_t)size; i < buf.size(); i++)
            ASSERT_EQ(buf[i], 'G') << "size " << size << " byte " << i;
        if (size <= full) {
            ASSERT_EQ(n, -1) << size;
            if (size > 0) {
                ASSERT_EQ(buf[0], '\0');
            }
        } else {
            ASSERT_EQ(n, full);
            ASSERT_EQ(strlen(buf.data()), (size_t)full);
        }
    }
}

TEST(SoapBuild, UnknownTypesAndMissingRequiredInputFail)
{
    auto dev = new_device();
    int ret = 0;
    EXPECT_EQ(build(ACT_tds_SetHostname, dev.get(), nullptr, &ret), "");
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(build(0, dev.get(), nullptr, &ret), "");
    EXPECT_EQ(ret, -1);
    EXPECT_EQ(build(388, dev.get(), nullptr, &ret), "");
    EXPECT_EQ(ret, -1);
    // Elements with required children are never sent empty.
    EXPECT_EQ(onvif_body_without_input(ACT_ptz_ContinuousMove), 0);
    EXPECT_EQ(onvif_body_without_input(ACT_tev_Renew), 0);
    EXPECT_EQ(onvif_body_without_input(ACT_img_GetImagingSettings), 0);
}

TEST(SoapBuild, AddressingHeaders)
{
    auto dev = new_device();
    strcpy(dev->subscription_address, "http://10.0.0.5/sub?a=1&b=2");
    strcpy(dev->reference_parameters,
           "<dom:SubscriptionId xmlns:dom=\"urn:x\">7</dom:SubscriptionId>");
    std::string env = build(ACT_tev_Unsubscribe, dev.get(), nullptr);
    ASSERT_FALSE(env.empty());
    std::string hdr = between(env, "<s:Header>", "</s:Header>");
    EXPECT_EQ(hdr.find("<wsa:Action>http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/"
                       "UnsubscribeRequest</wsa:Action><wsa:MessageID>urn:uuid:"),
              0u)
        << hdr;
    std::string uuid = between(hdr, "urn:uuid:", "</wsa:MessageID>");
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_NE(hdr.find("</wsa:MessageID><wsa:ReplyTo><wsa:Address>http://www.w3.org/2005/08/"
                       "addressing/anonymous</wsa:Address></wsa:ReplyTo><wsa:To>http://10.0.0.5/"
                       "sub?a=1&amp;b=2</wsa:To><dom:SubscriptionId xmlns:dom=\"urn:x\">7"
                       "</dom:SubscriptionId>"),
              std::string::npos)
        << hdr;
    EXPECT_NE(env.find("<s:Body><wsnt:Unsubscribe /></s:Body>"), std::string::npos);
    std::vector<std::string> envs{env};

    // Event-service operations: To is the events address, always http.
    dev->capabilities.events.xaddr.https = 1;
    strcpy(dev->capabilities.events.xaddr.host, "10.0.0.9");
    dev->capabilities.events.xaddr.port = 8443;
    strcpy(dev->capabilities.events.xaddr.path, "/onvif/events");
    dev->need_auth = 1;
    onvif_SetAuthInfo(dev.get(), "admin", "pw");
    env = build(ACT_tev_CreatePullPointSubscription, dev.get(), nullptr);
    hdr = between(env, "<s:Header>", "</s:Header>");
    EXPECT_NE(hdr.find("<wsa:To>http://10.0.0.9:8443/onvif/events</wsa:To><wsse:Security>"),
              std::string::npos)
        << hdr;
    EXPECT_NE(hdr.find("EventPortType/CreatePullPointSubscriptionRequest</wsa:Action>"),
              std::string::npos);
    envs.push_back(env);

    // Directly: no security and no To means no header at all.
    char buf[64];
    dev->need_auth = 0;
    EXPECT_EQ(onvif_build_addressing_header(buf, sizeof(buf), dev.get(), nullptr, "urn:a", nullptr),
              0);
    EXPECT_EQ(onvif_build_security_header(buf, sizeof(buf), dev.get(), nullptr), 0);
    EXPECT_EQ(onvif_build_security_header(buf, sizeof(buf), dev.get(), "http://x/"),
              (int)strlen("<s:Header><wsa:To>http://x/</wsa:To></s:Header>"));
    EXPECT_STREQ(buf, "<s:Header><wsa:To>http://x/</wsa:To></s:Header>");
    EXPECT_EQ(onvif_build_security_header(buf, 20, dev.get(), "http://x/"), -1);

    SKIP_WITHOUT_SCHEMAS();
    expect_valid(envs);
}

TEST(SoapWriter, PiecesThatDoNotFitAreTakenBackWhole)
{
    char buf[24];
    memset(buf, 'G', sizeof(buf));
    SOAP_WRITER w;
    soap_w_init(&w, buf, 16);
    EXPECT_EQ(soap_w_text(&w, "a", "x&y"), 0); // <a>x&amp;y</a> = 14
    EXPECT_STREQ(buf, "<a>x&amp;y</a>");
    EXPECT_EQ(soap_w_puts(&w, "zz"), -1); // 16 bytes would leave no terminator
    EXPECT_STREQ(buf, "<a>x&amp;y</a>");
    EXPECT_EQ(soap_w_result(&w), -1);
    EXPECT_EQ(soap_w_puts(&w, ""), -1); // stays failed
    for (int i = 16; i < 24; i++)
        EXPECT_EQ(buf[i], 'G');

    soap_w_init(&w, buf, 16);
    EXPECT_EQ(soap_w_puts(&w, "123456789012345"), 0); // exactly 15 + NUL
    EXPECT_EQ(soap_w_result(&w), 15);
    soap_w_init(&w, buf, 16);
    EXPECT_EQ(soap_w_escaped(&w, "1234567890&"), 0); // 10 + 5 = 15: just fits
    EXPECT_EQ(soap_w_result(&w), 15);
    soap_w_init(&w, buf, 16);
    EXPECT_EQ(soap_w_escaped(&w, "12345678901&"), -1);
    EXPECT_STREQ(buf, "");

    soap_w_init(&w, nullptr, 10);
    EXPECT_EQ(soap_w_puts(&w, "a"), -1);
    char one[1];
    soap_w_init(&w, one, 1);
    EXPECT_EQ(soap_w_puts(&w, ""), 0);
    EXPECT_EQ(soap_w_puts(&w, "a"), -1);

    char esc[8];
    EXPECT_EQ(soap_escape("<'>", esc, sizeof(esc)), -1); // needs 16 bytes
    EXPECT_STREQ(esc, "");
    EXPECT_EQ(soap_escape("a\"b", esc, sizeof(esc)), -1); // 8 characters need 9 bytes
    EXPECT_EQ(soap_escape("a<b", esc, sizeof(esc)), 6);
    EXPECT_STREQ(esc, "a&lt;b");
}
