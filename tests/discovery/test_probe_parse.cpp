#include "discovery/probe.h"
#include "tests/support/soap_text.h"

#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

namespace
{

struct Report {
    int kind;
    DEVICE_BINFO binfo;
};

void capture(const DEVICE_BINFO *binfo, int kind, void *user)
{
    static_cast<std::vector<Report> *>(user)->push_back(Report{kind, *binfo});
}

// One ProbeMatch / Hello body entry; pfx is the element prefix ("d:" or "").
std::string entry(const std::string &tag, const std::string &pfx, const std::string &epr,
                  const std::string &types, const std::string &scopes, const std::string &xaddrs,
                  const std::string &mdv = "1")
{
    std::string s = "<" + pfx + tag + ">";
    if (!epr.empty())
        s += "<a:EndpointReference><a:Address>" + epr + "</a:Address></a:EndpointReference>";
    if (!types.empty()) s += "<" + pfx + "Types>" + types + "</" + pfx + "Types>";
    if (!scopes.empty()) s += "<" + pfx + "Scopes>" + scopes + "</" + pfx + "Scopes>";
    if (!xaddrs.empty()) s += "<" + pfx + "XAddrs>" + xaddrs + "</" + pfx + "XAddrs>";
    if (!mdv.empty()) s += "<" + pfx + "MetadataVersion>" + mdv + "</" + pfx + "MetadataVersion>";
    return s + "</" + pfx + tag + ">";
}

// An envelope around a body, with the given envelope prefix ("s", "SOAP-ENV", "").
std::string envelope(const std::string &env, const std::string &body)
{
    return soaptest::envelope(body, env, "<a:Action>x</a:Action>");
}

std::string matches(const std::string &pfx, const std::string &inner)
{
    return "<" + pfx + "ProbeMatches>" + inner + "</" + pfx + "ProbeMatches>";
}

class ProbeParse : public ::testing::Test
{
  protected:
    void SetUp() override { set_probe_cb(capture, &got_); }
    void TearDown() override { set_probe_cb(nullptr, nullptr); }
    int feed(const std::string &msg) { return onvif_probe_datagram(msg.data(), (int)msg.size()); }

    std::vector<Report> got_;
};

TEST_F(ProbeParse, ProbeMatchesMakeOneCallbackPerEntry)
{
    std::string body =
        matches("d:", entry("ProbeMatch", "d:", "urn:uuid:cam-1", "dn:NetworkVideoTransmitter",
                            "onvif://www.onvif.org/name/one onvif://www.onvif.org/hardware/A",
                            "http://169.254.1.1/onvif/device_service "
                            "http://192.168.1.20:8080/onvif/device_service",
                            "7") +
                          entry("ProbeMatch", "d:", "urn:uuid:cam-2", "tds:Device",
                                "onvif://www.onvif.org/name/two", "https://cam2.local/svc", ""));
    for (const char *env : {"s", "SOAP-ENV", "env", ""}) {
        SCOPED_TRACE(env);
        got_.clear();
        EXPECT_EQ(2, feed(envelope(env, body)));
        ASSERT_EQ(2u, got_.size());

        const DEVICE_BINFO &a = got_[0].binfo;
        EXPECT_EQ(PROBE_MSG_MATCH, got_[0].kind);
        EXPECT_STREQ("urn:uuid:cam-1", a.endpoint_address);
        EXPECT_EQ(DEVICE_TYPE_TRANSMITTER, a.type);
        EXPECT_EQ(7, a.metadata_version);
        ASSERT_EQ(2, a.scope_count);
        EXPECT_STREQ("onvif://www.onvif.org/name/one", a.scopes[0].item);
        EXPECT_STREQ("onvif://www.onvif.org/hardware/A", a.scopes[1].item);
        EXPECT_EQ(0, a.scopes[0].definition);
        EXPECT_STREQ("192.168.1.20", a.xaddr.host);
        EXPECT_EQ(8080, a.xaddr.port);
        EXPECT_EQ(0, a.xaddr.https);
        EXPECT_STREQ("/onvif/device_service", a.xaddr.path);

        // The second entry carries only its own fields.
        const DEVICE_BINFO &b = got_[1].binfo;
        EXPECT_STREQ("urn:uuid:cam-2", b.endpoint_address);
        EXPECT_EQ(0, b.metadata_version);
        ASSERT_EQ(1, b.scope_count);
        EXPECT_STREQ("onvif://www.onvif.org/name/two", b.scopes[0].item);
        EXPECT_EQ('\0', b.scopes[1].item[0]);
        EXPECT_STREQ("cam2.local", b.xaddr.host);
        EXPECT_EQ(1, b.xaddr.https);
        EXPECT_EQ(443, b.xaddr.port);
        EXPECT_STREQ("/svc", b.xaddr.path);
    }
}

TEST_F(ProbeParse, WalkStopsAtTheFirstOtherSiblingAndSkipsFailedEntries)
{
    std::string good = entry("ProbeMatch", "", "urn:a", "dn:NetworkVideoTransmitter", "",
                             "http://10.0.0.1/onvif/device_service");
    std::string noxaddr = entry("ProbeMatch", "", "urn:b", "dn:NetworkVideoTransmitter", "", "");
    std::string nohost =
        entry("ProbeMatch", "", "urn:c", "dn:NetworkVideoTransmitter", "", "http://:8080/x");
    std::string display = entry("ProbeMatch", "", "urn:d", "Display", "", "http://10.0.0.4/x");
    std::string last = entry("ProbeMatch", "", "urn:e", "tds:Device", "", "http://10.0.0.5/x");

    EXPECT_EQ(2, feed(envelope("s", matches("", noxaddr + nohost + display + good + last))));
    ASSERT_EQ(2u, got_.size());
    EXPECT_STREQ("urn:a", got_[0].binfo.endpoint_address);
    EXPECT_STREQ("urn:e", got_[1].binfo.endpoint_address);

    got_.clear();
    std::string other = "<Other/>";
    EXPECT_EQ(1, feed(envelope("s", matches("", good + other + last))));
    ASSERT_EQ(1u, got_.size());
    EXPECT_STREQ("urn:a", got_[0].binfo.endpoint_address);
}

TEST_F(ProbeParse, DeviceTypes)
{
    struct Case {
        const char *types;
        int type;
    } cases[] = {
        {"dn:NetworkVideoTransmitter tds:Device", DEVICE_TYPE_TRANSMITTER},
        {"tt:Foo dn:NetworkVideoStorage", DEVICE_TYPE_STORAGE},
        {"x:NetworkVideoDisplay", DEVICE_TYPE_DISPLAY},
        {"NetworkVideoAnalytics", DEVICE_TYPE_ANALYTICS},
        {"foo:Device", DEVICE_TYPE_TRANSMITTER},
        {"tt:Foo tt:DEVICE", DEVICE_TYPE_TRANSMITTER},
        // No token matches: substrings decide.
        {"abcNetworkVideoDisplayxyz", DEVICE_TYPE_DISPLAY},
        {"a:Bar\tb:NetworkVideoStorage", DEVICE_TYPE_STORAGE},
        {"MyDevices", DEVICE_TYPE_TRANSMITTER},
        {"Display", DEVICE_TYPE_UNKNOWN},
        {"", DEVICE_TYPE_UNKNOWN},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.type, parse_DeviceType(c.types)) << c.types;
    EXPECT_EQ(DEVICE_TYPE_UNKNOWN, parse_DeviceType(nullptr));
    std::string longtok(5000, 'x');
    EXPECT_EQ(DEVICE_TYPE_UNKNOWN, parse_DeviceType(longtok.c_str()));
    EXPECT_EQ(DEVICE_TYPE_STORAGE, parse_DeviceType((longtok + " dn:NetworkVideoStorage").c_str()));
}

TEST_F(ProbeParse, ScopesAreSplitCutAndCounted)
{
    auto one = [this](const std::string &scopes) {
        got_.clear();
        feed(envelope("s", matches("d:", entry("ProbeMatch", "d:", "urn:s", "tds:Device", scopes,
                                               "http://10.0.0.1/x"))));
        EXPECT_EQ(1u, got_.size());
        return got_.empty() ? DEVICE_BINFO() : got_[0].binfo;
    };

    DEVICE_BINFO b = one("  a  b c");
    ASSERT_EQ(3, b.scope_count);
    EXPECT_STREQ("a", b.scopes[0].item);
    EXPECT_STREQ("b", b.scopes[1].item);
    EXPECT_STREQ("c", b.scopes[2].item);

    // An xs:list: tabs and line breaks separate as well as blanks.
    b = one("a\tb c\r\nd\n");
    ASSERT_EQ(4, b.scope_count);
    EXPECT_STREQ("a", b.scopes[0].item);
    EXPECT_STREQ("b", b.scopes[1].item);
    EXPECT_STREQ("c", b.scopes[2].item);
    EXPECT_STREQ("d", b.scopes[3].item);

    std::string many;
    for (int i = 0; i < 101; i++)
        many += "s" + std::to_string(i) + " ";
    b = one(many);
    ASSERT_EQ(100, b.scope_count);
    EXPECT_STREQ("s99", b.scopes[99].item);

    b = one(std::string(127, 'k') + " " + std::string(128, 'm') + " " + std::string(200, 'n'));
    ASSERT_EQ(3, b.scope_count);
    EXPECT_EQ(std::string(127, 'k'), b.scopes[0].item);
    EXPECT_EQ(std::string(127, 'm'), b.scopes[1].item);
    EXPECT_EQ(std::string(127, 'n'), b.scopes[2].item);
}

TEST_F(ProbeParse, EndpointAndMetadataVersionBounds)
{
    auto one = [this](const std::string &epr, const std::string &mdv) {
        got_.clear();
        feed(envelope("s", matches("d:", entry("ProbeMatch", "d:", epr, "tds:Device", "",
                                               "http://10.0.0.1/x", mdv))));
        EXPECT_EQ(1u, got_.size());
        return got_.empty() ? DEVICE_BINFO() : got_[0].binfo;
    };
    EXPECT_EQ(std::string(99, 'e'), one(std::string(99, 'e'), "1").endpoint_address);
    EXPECT_EQ(std::string(99, 'f'), one(std::string(100, 'f'), "1").endpoint_address);
    EXPECT_EQ(std::string(99, 'g'), one(std::string(3000, 'g'), "1").endpoint_address);

    EXPECT_EQ(42, one("u", "  42").metadata_version);
    EXPECT_EQ(-7, one("u", "-7").metadata_version);
    EXPECT_EQ(12, one("u", "12abc").metadata_version);
    EXPECT_EQ(0, one("u", "abc").metadata_version);
    EXPECT_EQ(INT_MAX, one("u", "99999999999999999999").metadata_version);
    EXPECT_EQ(INT_MIN, one("u", "-99999999999999999999").metadata_version);
}

TEST_F(ProbeParse, HelloAndBye)
{
    std::string hello = entry("Hello", "d:", "urn:uuid:hello", "dn:NetworkVideoTransmitter",
                              "onvif://www.onvif.org/type/video_encoder",
                              "http://10.1.1.1:81/onvif/device_service", "3");
    EXPECT_EQ(1, feed(envelope("SOAP-ENV", hello)));
    ASSERT_EQ(1u, got_.size());
    EXPECT_EQ(PROBE_MSG_HELLO, got_[0].kind);
    EXPECT_STREQ("urn:uuid:hello", got_[0].binfo.endpoint_address);
    EXPECT_EQ(81, got_[0].binfo.xaddr.port);
    EXPECT_EQ(3, got_[0].binfo.metadata_version);

    got_.clear();
    std::string bye = "<d:Bye><a:EndpointReference><a:Address>urn:uuid:bye</a:Address>"
                      "</a:EndpointReference><d:Types>tds:Device</d:Types>"
                      "<d:XAddrs>http://10.1.1.1/x</d:XAddrs></d:Bye>";
    EXPECT_EQ(1, feed(envelope("env", bye)));
    ASSERT_EQ(1u, got_.size());
    EXPECT_EQ(PROBE_MSG_BYE, got_[0].kind);
    DEVICE_BINFO only;
    memset(&only, 0, sizeof(only));
    strcpy(only.endpoint_address, "urn:uuid:bye");
    EXPECT_EQ(0, memcmp(&only, &got_[0].binfo, sizeof(only))); // nothing else is filled

    // A Bye without an address, a Hello without XAddrs, a Hello of no known
    // type, and someone else's Probe are all ignored.
    got_.clear();
    EXPECT_EQ(0, feed(envelope("s", "<d:Bye><a:EndpointReference/></d:Bye>")));
    EXPECT_EQ(0, feed(envelope("s", "<d:Hello><d:Types>tds:Device</d:Types></d:Hello>")));
    EXPECT_EQ(0, feed(envelope("s", "<d:Hello><d:Types>x:Printer</d:Types>"
                                    "<d:XAddrs>http://10.0.0.1/</d:XAddrs></d:Hello>")));
    EXPECT_EQ(0, feed(envelope("", "<Probe><Types>tds:Device</Types><Scopes /></Probe>")));
    EXPECT_EQ(0, feed("<Envelope><Header/></Envelope>"));
    EXPECT_TRUE(got_.empty());
}

TEST_F(ProbeParse, UnparsableAndOversizedDatagramsAreDropped)
{
    EXPECT_EQ(-1, feed("this is not xml"));
    EXPECT_EQ(-1, feed(""));
    EXPECT_EQ(-1, onvif_probe_datagram(nullptr, 5));
    EXPECT_TRUE(got_.empty());

    // A datagram must leave room for its terminator in the 10240-byte buffer.
    std::string msg = envelope(
        "s", matches("", entry("ProbeMatch", "", "urn:fit", "tds:Device", "", "http://10.0.0.1/")));
    std::string fits = msg + std::string(10239 - msg.size(), ' ');
    ASSERT_EQ(10239u, fits.size());
    EXPECT_EQ(1, feed(fits));
    EXPECT_EQ(-1, feed(fits + " "));
    EXPECT_EQ(1u, got_.size());
}

TEST_F(ProbeParse, NoCallbackRegisteredIsFine)
{
    set_probe_cb(nullptr, nullptr);
    EXPECT_EQ(1, feed(envelope("s", matches("", entry("ProbeMatch", "", "urn:x", "tds:Device", "",
                                                      "http://10.0.0.1/")))));
    EXPECT_TRUE(got_.empty());
    EXPECT_EQ(0, onvif_probe_res(nullptr));
    EXPECT_EQ(0, onvif_probe_parse_binfo(nullptr, nullptr));
}

// What real cameras send: lists broken over lines and character references
// (also one standing for a blank). Each field must read as the device meant
// it, in a ProbeMatch as in a Hello. (Splits at tabs and the choice among
// addresses are swept by ScopesAreSplitCutAndCounted and the XAddr tests.)
TEST_F(ProbeParse, ListsAndEntitiesAsCamerasSendThem)
{
    struct Case {
        std::string epr, types, scopes, xaddrs;
        const char *want_epr;
        int want_type;
        const char *want_scopes; // joined by '|'
        const char *host, *path;
    } cases[] = {
        {"urn:uuid:1", "\n  dn:NetworkVideoTransmitter\n  tds:Device\n",
         "\n  onvif://www.onvif.org/name/cam\n  onvif://www.onvif.org/location/hall\n",
         "\n  http://192.168.1.20/onvif/device_service\n", "urn:uuid:1", DEVICE_TYPE_TRANSMITTER,
         "onvif://www.onvif.org/name/cam|onvif://www.onvif.org/location/hall", "192.168.1.20",
         "/onvif/device_service"},
        {"urn:uuid:&#x41;&amp;B", "dn:NetworkVideo&#83;torage",
         "onvif://www.onvif.org/name/A&amp;B onvif://www.onvif.org/name/caf&#xE9;",
         "http://10.0.0.8/onvif/device_service?a=1&amp;b=2", "urn:uuid:A&B", DEVICE_TYPE_STORAGE,
         "onvif://www.onvif.org/name/A&B|onvif://www.onvif.org/name/caf\xc3\xa9", "10.0.0.8",
         "/onvif/device_service?a=1&b=2"},
        {"urn:uuid:3", "tds:Device", "x&#32;y", "http://cam1/a&#10;http://10.0.0.9/b", "urn:uuid:3",
         DEVICE_TYPE_TRANSMITTER, "x|y", "10.0.0.9", "/b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.want_epr);
        for (const char *tag : {"ProbeMatch", "Hello"}) {
            SCOPED_TRACE(tag);
            got_.clear();
            std::string e = entry(tag, "d:", c.epr, c.types, c.scopes, c.xaddrs);
            EXPECT_EQ(1, feed(envelope("s", tag[0] == 'P' ? matches("d:", e) : e)));
            ASSERT_EQ(1u, got_.size());
            const DEVICE_BINFO &b = got_[0].binfo;
            EXPECT_STREQ(c.want_epr, b.endpoint_address);
            EXPECT_EQ(c.want_type, b.type);
            std::string scopes;
            for (int i = 0; i < b.scope_count; i++)
                scopes += (i ? "|" : "") + std::string(b.scopes[i].item);
            EXPECT_EQ(c.want_scopes, scopes);
            EXPECT_STREQ(c.host, b.xaddr.host);
            EXPECT_STREQ(c.path, b.xaddr.path);
        }
    }

    // A Bye's address is decoded too.
    got_.clear();
    EXPECT_EQ(1, feed(envelope("s", "<d:Bye><a:EndpointReference><a:Address>urn:a&amp;b"
                                    "</a:Address></a:EndpointReference></d:Bye>")));
    ASSERT_EQ(1u, got_.size());
    EXPECT_STREQ("urn:a&b", got_[0].binfo.endpoint_address);
}

// A device whose only address is unusable is not reported: no scheme, a path
// that would break our request line.
TEST_F(ProbeParse, UnusableAddressesAreNotReported)
{
    for (const char *xaddrs :
         {"SERVICE_URI", "10.0.0.1/onvif/device_service", "http://10.0.0.1/a&#127;b",
          "http://10.0.0.1/a&#1;", "http://[2001:db8::1/x", "http:/"}) {
        SCOPED_TRACE(xaddrs);
        got_.clear();
        EXPECT_EQ(0, feed(envelope("s", matches("d:", entry("ProbeMatch", "d:", "urn:x",
                                                            "tds:Device", "", xaddrs)))));
        EXPECT_TRUE(got_.empty());
    }
}

// Every prefix of a valid message, and random corruptions of it, must be
// handled without reading or writing outside the buffers (run under ASan).
TEST_F(ProbeParse, TruncatedAndCorruptedMessagesAreSafe)
{
    set_probe_cb(nullptr, nullptr);
    std::string msg = envelope(
        "s", matches("d:", entry("ProbeMatch", "d:", "urn:uuid:z", "tds:Device", "a b c",
                                 "http://169.254.0.1/x http://10.0.0.1:80/onvif/device_service")));
    for (size_t n = 0; n <= msg.size(); n++)
        onvif_probe_datagram(msg.data(), (int)n);

    std::mt19937 rng(1234);
    const char alphabet[] = "<>/: \"=abXsd\t";
    for (int round = 0; round < 2000; round++) {
        std::string m = msg;
        int edits = 1 + (int)(rng() % 8);
        for (int e = 0; e < edits; e++)
            m[rng() % m.size()] = alphabet[rng() % (sizeof(alphabet) - 1)];
        onvif_probe_datagram(m.data(), (int)m.size());
    }
    SUCCEED();
}

} // namespace
