// The request engine over real loopback connections: first against scripted
// servers written here (exact control of every reply: authentication
// refusals, faults, broken bodies, silence), then against the camera
// simulator when it is built.

#include "onvif/onvif_calls.h"
#include "onvif/onvif_trans.h"

#include "onvif/onvif_act.h"
#include "onvif/onvif_tds.h"
#include "platform/encoding.h"
#include "platform/md5.h"
#include "platform/sha1.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_process.h"
#include "tests/support/http_test_server.h"
#include "tests/support/loopback_client.h"
#include "tests/support/onvif_records.h"
#include "tests/support/soap_text.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using testsrv::Conn;
using testsrv::Server;

namespace
{

using testsrv::header_of;

// Replies use the "env" prefix, as many cameras do.
std::string envelope(const std::string &body_content)
{
    return soaptest::envelope(body_content, "env");
}

std::string http_reply(int status, const std::string &body,
                       const std::string &extra_headers = std::string())
{
    std::string reason = status == 200 ? "OK" : status == 401 ? "Unauthorized" : "Error";
    return "HTTP/1.1 " + std::to_string(status) + " " + reason +
           "\r\nContent-Type: application/soap+xml; charset=utf-8\r\n" + extra_headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

std::string soap_ok(const std::string &body_content)
{
    return http_reply(200, envelope(body_content));
}

std::string fault_body(const std::string &code, const std::string &subcode,
                       const std::string &reason = "refused")
{
    return envelope("<env:Fault><env:Code><env:Value>" + code +
                    "</env:Value><env:Subcode><env:Value>" + subcode +
                    "</env:Value></env:Subcode></env:Code><env:Reason><env:Text "
                    "xml:lang=\"en\">" +
                    reason + "</env:Text></env:Reason></env:Fault>");
}

const std::string kDeviceInfo =
    "<tds:GetDeviceInformationResponse><tds:Manufacturer>Acme &amp; Co</tds:Manufacturer>"
    "<tds:Model>M1</tds:Model><tds:FirmwareVersion>1.2.3</tds:FirmwareVersion>"
    "<tds:SerialNumber>SN42</tds:SerialNumber><tds:HardwareId>HW9</tds:HardwareId>"
    "</tds:GetDeviceInformationResponse>";

std::string date_time_reply(bool utc, bool local, int y, int mo, int d, int h, int mi, int s)
{
    auto dt = [&](const char *tag) {
        char b[512];
        snprintf(b, sizeof(b),
                 "<tt:%s><tt:Time><tt:Hour>%d</tt:Hour><tt:Minute>%d</tt:Minute><tt:Second>%d"
                 "</tt:Second></tt:Time><tt:Date><tt:Year>%d</tt:Year><tt:Month>%d</tt:Month>"
                 "<tt:Day>%d</tt:Day></tt:Date></tt:%s>",
                 tag, h, mi, s, y, mo, d, tag);
        return std::string(b);
    };
    return soap_ok("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
                   "<tt:DateTimeType>Manual</tt:DateTimeType>"
                   "<tt:DaylightSavings>false</tt:DaylightSavings>"
                   "<tt:TimeZone><tt:TZ>GMT0</tt:TZ></tt:TimeZone>" +
                   (utc ? dt("UTCDateTime") : std::string()) +
                   (local ? dt("LocalDateTime") : std::string()) +
                   "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>");
}

// The operation of a request: the local name of the Body's first element.
std::string op_of(const std::string &req)
{
    std::smatch m;
    if (std::regex_search(req, m, std::regex("<s:Body><[a-zA-Z0-9]+:([A-Za-z0-9]+)"))) return m[1];
    return "";
}

std::string element_text(const std::string &req, const std::string &tag)
{
    std::smatch m;
    if (std::regex_search(req, m, std::regex("<" + tag + "[^>]*>([^<]*)</" + tag + ">")))
        return m[1];
    return "";
}

size_t npos()
{
    return std::string::npos;
}
bool has_token(const std::string &req)
{
    return req.find("<wsse:UsernameToken>") != npos();
}

// Checks a UsernameToken the way a device does: Password = Base64(SHA-1(nonce
// bytes + Created + password)).
bool token_valid(const std::string &req, const std::string &password)
{
    std::string nonce64 = element_text(req, "wsse:Nonce");
    std::string created = element_text(req, "wsu:Created");
    std::string digest64 = element_text(req, "wsse:Password");
    uint8_t nonce[100];
    int n = base64_decode(nonce64.c_str(), (int)nonce64.size(), nonce, sizeof(nonce));
    if (n <= 0) return false;
    sha1_context ctx;
    sha1_starts(&ctx);
    sha1_update(&ctx, nonce, (uint32_t)n);
    sha1_update(&ctx, (const uint8_t *)created.data(), (uint32_t)created.size());
    sha1_update(&ctx, (const uint8_t *)password.data(), (uint32_t)password.size());
    uint8_t out[20];
    sha1_finish(&ctx, out);
    char b64[64];
    base64_encode(out, 20, b64, sizeof(b64));
    return digest64 == b64;
}

// A scripted device: a reply function of (connection index, request), the
// requests and the times at which they arrived.
class ScriptedDevice
{
  public:
    using Reply = std::function<std::string(int index, const std::string &req)>;

    explicit ScriptedDevice(Reply reply, SSL_CTX *tls = nullptr)
        : reply_(std::move(reply)), server_(
                                        [this](Conn &c, int i) {
                                            std::string req = c.read_request();
                                            {
                                                std::lock_guard<std::mutex> lk(mu_);
                                                times_.push_back(testsrv::Clock::now());
                                            }
                                            std::string r = reply_(i, req);
                                            if (r == "<silent>")
                                                c.wait_close(5000);
                                            else
                                                c.send(r);
                                        },
                                        tls, 32)
    {
    }
    int port() const { return server_.port(); }
    void stop() { server_.stop(); }
    std::vector<std::string> requests() { return server_.requests(); }
    int accepted() const { return server_.accepted(); }
    long gap_ms(size_t a, size_t b)
    {
        std::lock_guard<std::mutex> lk(mu_);
        if (a >= times_.size() || b >= times_.size()) return -1;
        return (long)std::chrono::duration_cast<std::chrono::milliseconds>(times_[b] - times_[a])
            .count();
    }

  private:
    Reply reply_;
    std::mutex mu_;
    std::vector<testsrv::Clock::time_point> times_;
    Server server_;
};

class Engine : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        dev_ = new_device();
    }

    void point_at(int port, const char *host = "127.0.0.1", int https = 0)
    {
        ::point_at(dev_.get(), port, host, https);
    }

    int get_info() { return GetDeviceInformation(dev_.get()); }

    // A zero-filled device record again (cases of a sweep).
    void fresh_device()
    {
        dev_ = std::make_unique<ONVIF_DEVICE>();
        memset(dev_.get(), 0, sizeof(ONVIF_DEVICE));
    }

    std::unique_ptr<ONVIF_DEVICE> dev_;
};

// ---- the context ----

TEST_F(Engine, ContextFromAServiceAddress)
{
    HTTP_CLIENT_CONN conn;
    memset(&conn, 0x5A, sizeof(conn));
    ONVIF_XADDR x;
    memset(&x, 0, sizeof(x));
    x.https = 1;
    x.port = 8443;
    snprintf(x.host, sizeof(x.host), "cam.local");
    ASSERT_EQ(onvif_init_xaddr_context(&conn, &x), 0);
    EXPECT_EQ(conn.req_flags, (uint32_t)HTTP_CLN_TLS);
    EXPECT_EQ(conn.port, 8443);
    EXPECT_STREQ(conn.host, "cam.local");
    EXPECT_STREQ(conn.url, "/onvif/device_service");

    // Longest host and path fit; the context is cleared again.
    memset(x.host, 'h', sizeof(x.host) - 1);
    memset(x.path, 'p', sizeof(x.path) - 1);
    x.https = 0;
    ASSERT_EQ(onvif_init_xaddr_context(&conn, &x), 0);
    EXPECT_EQ(strlen(conn.host), sizeof(x.host) - 1);
    EXPECT_EQ(strlen(conn.url), sizeof(x.path) - 1);
    EXPECT_EQ(conn.req_flags, 0u);
    EXPECT_EQ(onvif_init_xaddr_context(&conn, nullptr), -1);
    EXPECT_EQ(onvif_init_xaddr_context(nullptr, &x), -1);
}

// ---- outcomes ----

TEST_F(Engine, UnknownOperationTypesSendNothing)
{
    ListeningPort d;
    point_at(d.port());
    for (int type : {0, 388, -1, 100000}) {
        HTTP_CLIENT_CONN conn;
        onvif_init_xaddr_context(&conn, &dev_->binfo.xaddr);
        dev_->last_error = 77;
        EXPECT_EQ(http_onvif_trans(&conn, 1000, type, dev_.get(), nullptr, nullptr), 0);
        EXPECT_EQ(dev_->last_error, 0) << type;
    }
    EXPECT_EQ(d.connections(), 0);
}

TEST_F(Engine, DeviceWithoutAuthenticationTakesOneAttempt)
{
    ScriptedDevice d([](int, const std::string &) { return soap_ok(kDeviceInfo); });
    point_at(d.port());
    snprintf(dev_->username, sizeof(dev_->username), "admin"); // never needed
    ASSERT_EQ(get_info(), 1);
    EXPECT_EQ(dev_->last_error, 0);
    EXPECT_EQ(dev_->need_auth, 0);
    EXPECT_EQ(dev_->auth_failed, 0);
    EXPECT_EQ(dev_->local_ip, htonl(INADDR_LOOPBACK));
    EXPECT_STREQ(dev_->device_information.manufacturer, "Acme & Co");
    EXPECT_STREQ(dev_->device_information.serial_number, "SN42");
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].rfind("POST /onvif/device_service HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(header_of(reqs[0], "Content-Type"),
              "application/soap+xml; charset=utf-8; "
              "action=\"http://www.onvif.org/ver10/device/wsdl/GetDeviceInformation\"");
    EXPECT_EQ(reqs[0].find("<s:Header>"), npos());
    EXPECT_EQ(header_of(reqs[0], "Authorization"), "");
    EXPECT_EQ(op_of(reqs[0]), "GetDeviceInformation");
}

// HTTP Digest is answered at once; after it, a WS-Security refusal leads to a
// retry that answers the same challenge again: with the nonce count moved on,
// as eight hex digits.
TEST_F(Engine, DigestCountMovesOnForTheWsSecurityRetry)
{
    const std::string challenge =
        "WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", nonce=\"n7\"\r\n";
    ScriptedDevice d([&](int i, const std::string &) {
        if (i == 0) return http_reply(401, "", challenge);
        if (i == 1) return http_reply(400, fault_body("env:Sender", "ter:NotAuthorized"));
        return soap_ok(kDeviceInfo);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    ASSERT_EQ(get_info(), 1);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 3u);
    auto md5 = [](const std::string &s) {
        uint8_t dg[16];
        char hex[33];
        MD5String(s.data(), (int)s.size(), dg);
        BinToHexStr(dg, hex);
        return std::string(hex);
    };
    EXPECT_EQ(header_of(reqs[0], "Authorization"), "");
    for (int i : {1, 2}) {
        std::string line = header_of(reqs[i], "Authorization");
        EXPECT_NE(line.find("Digest username=\"admin\", realm=\"cam\", nonce=\"n7\", "
                            "uri=\"/onvif/device_service\""),
                  npos())
            << line;
        const std::string nc = i == 1 ? "00000001" : "00000002";
        EXPECT_NE(line.find("nc=" + nc), npos()) << line;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, std::regex("cnonce=\"([0-9A-F]{16})\"")));
        std::string expect = md5(md5("admin:cam:secret") + ":n7:" + nc + ":" + m[1].str() +
                                 ":auth:" + md5("POST:/onvif/device_service"));
        EXPECT_NE(line.find("response=\"" + expect + "\""), npos()) << line;
    }
    EXPECT_FALSE(has_token(reqs[1]));
    EXPECT_TRUE(token_valid(reqs[2], "secret"));
}

// Basic puts the password on the wire as it is: answered over plain HTTP
// only where the device record allows it.
TEST_F(Engine, HttpBasicOnlyWhereAllowed)
{
    for (bool allowed : {false, true}) {
        SCOPED_TRACE(allowed ? "allowed" : "not allowed");
        fresh_device();
        ScriptedDevice d([&](int i, const std::string &) {
            return i == 0 ? http_reply(401, "", "WWW-Authenticate: Basic realm=\"x\"\r\n")
                          : soap_ok(kDeviceInfo);
        });
        point_at(d.port());
        onvif_SetAuthInfo(dev_.get(), "admin", "pw");
        if (allowed) onvif_SetBasicOverHttp(dev_.get(), 1);
        EXPECT_EQ(get_info(), allowed ? 1 : 0);
        d.stop();
        auto reqs = d.requests();
        if (allowed) {
            ASSERT_EQ(reqs.size(), 2u);
            char b64[64];
            base64_encode((const uint8_t *)"admin:pw", 8, b64, sizeof(b64));
            EXPECT_EQ(header_of(reqs[1], "Authorization"), std::string("Basic ") + b64);
            EXPECT_EQ(dev_->last_error, 0);
        } else {
            ASSERT_EQ(reqs.size(), 1u);
            EXPECT_EQ(header_of(reqs[0], "Authorization"), "");
            EXPECT_EQ(dev_->auth_failed, 1);
            EXPECT_EQ(dev_->last_error, -9);
        }
    }
}

// A Basic-only 401 that carries a SOAP refusal still leaves WS-Security,
// which sends a digest, never the password.
TEST_F(Engine, BasicRefusedOnPlainHttpFallsBackToWsSecurity)
{
    ScriptedDevice d([&](int i, const std::string &) {
        return i == 0 ? http_reply(401, fault_body("env:Sender", "ter:NotAuthorized"),
                                   "WWW-Authenticate: Basic realm=\"x\"\r\n")
                      : soap_ok(kDeviceInfo);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    ASSERT_EQ(get_info(), 1);
    EXPECT_EQ(dev_->need_auth, 1);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(header_of(reqs[1], "Authorization"), "");
    EXPECT_TRUE(token_valid(reqs[1], "secret"));
}

TEST_F(Engine, WsSecurityRetryBudgetWithPauses)
{
    ScriptedDevice d([](int, const std::string &) {
        return http_reply(400, fault_body("env:Sender", "ter:NotAuthorized"));
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_EQ(dev_->auth_failed, 1);
    EXPECT_EQ(dev_->need_auth, 1);
    EXPECT_STREQ(dev_->fault.subcode, "ter:NotAuthorized");
    d.stop();
    auto reqs = d.requests();
    // One plain attempt, then WS-Security until the refusal that finds auth_retry at 4.
    ASSERT_EQ(reqs.size(), 6u);
    EXPECT_FALSE(has_token(reqs[0]));
    for (size_t i = 1; i < reqs.size(); i++) {
        EXPECT_TRUE(has_token(reqs[i])) << i;
        EXPECT_TRUE(token_valid(reqs[i], "secret")) << i;
        EXPECT_EQ(element_text(reqs[i], "wsse:Username"), "admin");
        EXPECT_NE(element_text(reqs[i], "wsse:Nonce"), element_text(reqs[i - 1], "wsse:Nonce"));
    }
    for (size_t i = 2; i < reqs.size(); i++)
        EXPECT_GE(d.gap_ms(i - 1, i), 450) << "pause before attempt " << i + 1;

    // auth_retry is spent until an HTTP 200: the next transaction stops at its
    // first refusal.
    ScriptedDevice d2([](int, const std::string &) {
        return http_reply(400, fault_body("env:Sender", "ter:NotAuthorized"));
    });
    point_at(d2.port());
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_EQ(dev_->auth_failed, 1);
    d2.stop();
    ASSERT_EQ(d2.requests().size(), 1u);
    EXPECT_TRUE(has_token(d2.requests()[0]));
}

TEST_F(Engine, WsSecurityAcceptedAfterARefusalResetsTheBudget)
{
    ScriptedDevice d([](int, const std::string &req) {
        if (!has_token(req) || !token_valid(req, "secret"))
            return http_reply(500, fault_body("SOAP-ENV:Sender", "ter:FailedAuthentication"));
        return soap_ok(kDeviceInfo);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    dev_->auth_retry = 3;
    ASSERT_EQ(get_info(), 1);
    EXPECT_EQ(dev_->auth_retry, 0);
    EXPECT_EQ(dev_->need_auth, 1); // stays on for later transactions
    ASSERT_EQ(get_info(), 1);
    d.stop();
    EXPECT_EQ(d.requests().size(), 3u); // plain, WS-Security, then WS-Security at once
}

TEST_F(Engine, EmptyUserNameSendsNoTokenAndEndsAfterTheBudget)
{
    ScriptedDevice d([](int, const std::string &) {
        return http_reply(400, fault_body("env:Sender", "ter:NotAuthorized"));
    });
    point_at(d.port());
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_EQ(dev_->auth_failed, 1);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 6u);
    for (auto &r : reqs)
        EXPECT_EQ(r.find("<s:Header>"), npos());
}

TEST_F(Engine, Second401WithAFaultLeadsToWsSecurityWithHttpAuthentication)
{
    const std::string challenge = "WWW-Authenticate: Digest realm=\"cam\", nonce=\"n1\"\r\n";
    ScriptedDevice d([&](int, const std::string &) {
        return http_reply(401, fault_body("env:Sender", "ter:NotAuthorized"), challenge);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "wrong");
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_EQ(dev_->auth_failed, 1);
    d.stop();
    auto reqs = d.requests();
    // plain, HTTP Digest, then WS-Security (with Digest kept) until the budget ends
    ASSERT_EQ(reqs.size(), 7u);
    EXPECT_EQ(header_of(reqs[0], "Authorization"), "");
    EXPECT_FALSE(has_token(reqs[1]));
    for (size_t i = 1; i < reqs.size(); i++)
        EXPECT_EQ(header_of(reqs[i], "Authorization").rfind("Digest ", 0), 0u) << i;
    for (size_t i = 2; i < reqs.size(); i++)
        EXPECT_TRUE(has_token(reqs[i])) << i;
}

TEST_F(Engine, Http401WithoutBodyAfterHttpAuthentication)
{
    ScriptedDevice d([](int, const std::string &) {
        return http_reply(401, "", "WWW-Authenticate: Basic realm=\"x\"\r\n");
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "wrong");
    onvif_SetBasicOverHttp(dev_.get(), 1);
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -6);
    EXPECT_EQ(dev_->auth_failed, 1);
    d.stop();
    EXPECT_EQ(d.accepted(), 2); // HTTP authentication is switched on once only
}

TEST_F(Engine, ReceiverFaultIsNotRetried)
{
    ScriptedDevice d([](int, const std::string &) {
        return http_reply(
            500, fault_body("env:Receiver", "ter:ActionNotSupported", "Not &lt;supported&gt;"));
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "pw");
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_EQ(dev_->auth_failed, 0);
    EXPECT_EQ(dev_->need_auth, 0);
    EXPECT_STREQ(dev_->fault.code, "env:Receiver");
    EXPECT_STREQ(dev_->fault.subcode, "ter:ActionNotSupported");
    EXPECT_STREQ(dev_->fault.reason, "Not <supported>");
    d.stop();
    EXPECT_EQ(d.accepted(), 1);

    // A Sender fault that is not about credentials is not retried either, and a
    // status without any fault clears the old one.
    ScriptedDevice d2([](int i, const std::string &) {
        return i == 0 ? http_reply(400, fault_body("env:Sender", "ter:InvalidArgVal"))
                      : http_reply(503, envelope("<tds:Nothing/>"));
    });
    point_at(d2.port());
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_STREQ(dev_->fault.subcode, "ter:InvalidArgVal");
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_STREQ(dev_->fault.code, "");
    d2.stop();
    EXPECT_EQ(d2.accepted(), 2);
}

// A fault with its subcodes nested from general to specific.
std::string nested_fault(const std::string &code, const std::vector<std::string> &subcodes)
{
    std::string open, close;
    for (const std::string &sc : subcodes) {
        open += "<env:Subcode><env:Value>" + sc + "</env:Value>";
        close += "</env:Subcode>";
    }
    return envelope("<env:Fault><env:Code><env:Value>" + code + "</env:Value>" + open + close +
                    "</env:Code><env:Reason><env:Text xml:lang=\"en\">no</env:Text></env:Reason>"
                    "</env:Fault>");
}

// The fault in the record is the one of the last transaction: a refused
// attempt that a retry made good leaves none, nor does an earlier failed
// transaction; the innermost subcode is kept with the first.
TEST_F(Engine, FaultDescribesTheLastTransactionOnly)
{
    struct Case {
        const char *what;
        std::vector<std::string> replies; // one per attempt, in order
        int calls;                        // transactions run
        int ok;                           // result of the last one
        const char *subcode, *inner;
    } cases[] = {
        {"refused, then accepted with WS-Security",
         {http_reply(400, fault_body("env:Sender", "ter:NotAuthorized")), soap_ok(kDeviceInfo)},
         1,
         1,
         "",
         ""},
        {"an auth refusal named by the innermost subcode is retried too",
         {http_reply(400, nested_fault("env:Sender", {"ter:Action", "ter:NotAuthorized"})),
          soap_ok(kDeviceInfo)},
         1,
         1,
         "",
         ""},
        {"a failed transaction, then a good one",
         {http_reply(500, fault_body("env:Receiver", "ter:ActionNotSupported")),
          soap_ok(kDeviceInfo)},
         2,
         1,
         "",
         ""},
        {"nested subcodes",
         {http_reply(500, nested_fault("env:Receiver", {"ter:Action", "ter:ActionFailed"}))},
         1,
         0,
         "ter:Action",
         "ter:ActionFailed"},
        {"three levels",
         {http_reply(500, nested_fault("env:Receiver", {"ter:A", "ter:B", "ter:C"}))},
         1,
         0,
         "ter:A",
         "ter:C"},
        {"one level: both the same",
         {http_reply(500, nested_fault("env:Receiver", {"ter:ActionNotSupported"}))},
         1,
         0,
         "ter:ActionNotSupported",
         "ter:ActionNotSupported"},
        {"no subcode", {http_reply(500, nested_fault("env:Receiver", {}))}, 1, 0, "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fresh_device();
        ScriptedDevice d([&](int i, const std::string &) {
            return (size_t)i < c.replies.size() ? c.replies[(size_t)i] : soap_ok(kDeviceInfo);
        });
        point_at(d.port());
        onvif_SetAuthInfo(dev_.get(), "admin", "secret");
        int r = 0;
        for (int k = 0; k < c.calls; k++)
            r = get_info();
        EXPECT_EQ(r, c.ok);
        EXPECT_STREQ(dev_->fault.subcode, c.subcode);
        EXPECT_STREQ(dev_->fault.inner_subcode, c.inner);
        if (c.ok) {
            EXPECT_STREQ(dev_->fault.code, "");
            EXPECT_STREQ(dev_->fault.reason, "");
            EXPECT_EQ(dev_->last_error, 0);
            EXPECT_EQ(dev_->auth_failed, 0);
        } else {
            EXPECT_STREQ(dev_->fault.code, "env:Receiver");
            EXPECT_EQ(dev_->last_error, -9);
        }
        d.stop();
        EXPECT_EQ(d.accepted(), (int)c.replies.size());
    }
}

// Debug logs of a transaction show what went out and came back, without
// credentials, digests or cookies.
TEST_F(Engine, DebugLogHidesCredentialsDigestsAndCookies)
{
    const std::string challenge =
        "WWW-Authenticate: Digest realm=\"cam\", qop=\"auth\", nonce=\"n0\"\r\n";
    ScriptedDevice d([&](int i, const std::string &) {
        if (i == 0) return http_reply(401, "", challenge);
        if (i == 1) return http_reply(400, fault_body("env:Sender", "ter:NotAuthorized"));
        return http_reply(200, envelope(kDeviceInfo),
                          "Set-Cookie: session=s3ss10n-t0ken; HttpOnly\r\n");
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "Sup3rSecret");
    ASSERT_EQ(get_info(), 1);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 3u);
    std::string log = log_.text();
    // What went out did carry them.
    std::string auth = header_of(reqs[2], "Authorization");
    std::string digest = element_text(reqs[2], "wsse:Password");
    ASSERT_FALSE(auth.empty());
    ASSERT_FALSE(digest.empty());
    EXPECT_NE(log.find("TX >> POST /onvif/device_service"), npos()); // the log is on
    for (const std::string &secret : {auth.substr(auth.find(' ')), digest,
                                      std::string("s3ss10n-t0ken"), std::string("Sup3rSecret")})
        EXPECT_EQ(log.find(secret), npos()) << secret;
    EXPECT_NE(log.find("Authorization: Digest ***"), npos());
    EXPECT_NE(log.find("#PasswordDigest\">***</wsse:Password>"), npos());
    EXPECT_NE(log.find("Set-Cookie: ***"), npos());
}

TEST_F(Engine, MalformedRepliesGiveTheirCodesWithoutRetry)
{
    struct Case {
        std::string reply;
        int code;
    };
    const std::vector<Case> cases = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", -6},
        {http_reply(200, "this is not xml at all"), -7},
        {http_reply(200, "<?xml version=\"1.0\"?><root><Body/></root>"), -7},
        {http_reply(200, soaptest::envelope_head("env") + "<env:Header/></env:Envelope>"), -7},
        {soap_ok("<tds:SomethingElseResponse/>"), -8},
        {http_reply(500, "<html>oops</html>"), -7},
        {"HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n<short/>", -4},
    };
    for (size_t i = 0; i < cases.size(); i++) {
        ScriptedDevice d([&](int, const std::string &) { return cases[i].reply; });
        point_at(d.port());
        onvif_SetAuthInfo(dev_.get(), "admin", "pw");
        EXPECT_EQ(get_info(), 0) << i;
        EXPECT_EQ(dev_->last_error, cases[i].code) << i;
        d.stop();
        EXPECT_EQ(d.accepted(), 1) << i;
    }
}

TEST_F(Engine, SilentDeviceTimesOut)
{
    ScriptedDevice d([](int, const std::string &) { return std::string("<silent>"); });
    point_at(d.port());
    HTTP_CLIENT_CONN conn;
    onvif_init_xaddr_context(&conn, &dev_->binfo.xaddr);
    auto t0 = testsrv::Clock::now();
    EXPECT_EQ(
        http_onvif_trans(&conn, 300, ACT_tds_GetDeviceInformation, dev_.get(), nullptr, nullptr),
        0);
    EXPECT_GE(testsrv::ms_since(t0), 280);
    EXPECT_EQ(dev_->last_error, -4);
    EXPECT_EQ(conn.sock, 0);
}

// ---- addresses ----

TEST_F(Engine, NoConnectionGivesMinusOne)
{
    int port;
    {
        ScriptedDevice d([](int, const std::string &) { return soap_ok(kDeviceInfo); });
        port = d.port();
    }
    point_at(port);
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -1);
}

TEST_F(Engine, ServiceAddressThatDoesNotAnswerFallsBackToTheDiscoveredHost)
{
    ScriptedDevice d([](int, const std::string &) { return soap_ok(kDeviceInfo); });
    point_at(d.port());
    // A media-service address as GetCapabilities could report it, on a host
    // that does not answer.
    ONVIF_XADDR media;
    memset(&media, 0, sizeof(media));
    snprintf(media.host, sizeof(media.host), "127.0.0.2");
    snprintf(media.path, sizeof(media.path), "/onvif/media_service");
    media.port = d.port();
    HTTP_CLIENT_CONN conn;
    onvif_init_xaddr_context(&conn, &media);
    ONVIF_DEVICE_INFORMATION info;
    memset(&info, 0, sizeof(info));
    EXPECT_EQ(
        http_onvif_trans(&conn, 2000, ACT_tds_GetDeviceInformation, dev_.get(), nullptr, &info), 1);
    EXPECT_STREQ(info.model, "M1");
    d.stop();
    ASSERT_EQ(d.requests().size(), 1u);
    std::string req = d.requests()[0];
    EXPECT_EQ(req.rfind("POST /onvif/media_service HTTP/1.1\r\n", 0), 0u);
    EXPECT_EQ(header_of(req, "Host"), "127.0.0.1:" + std::to_string(d.port()));
}

TEST_F(Engine, TlsDeviceAndTlsAgainstAPlainPort)
{
    SSL_CTX *tls = testsrv::make_tls_server_ctx();
    ASSERT_NE(tls, nullptr);
    {
        ScriptedDevice d([](int, const std::string &) { return soap_ok(kDeviceInfo); }, tls);
        point_at(d.port(), "127.0.0.1", 1);
        EXPECT_EQ(get_info(), 1);
        EXPECT_STREQ(dev_->device_information.firmware_version, "1.2.3");
    }
    SSL_CTX_free(tls);

    ScriptedDevice plain([](int, const std::string &) { return soap_ok(kDeviceInfo); });
    point_at(plain.port(), "127.0.0.1", 1);
    EXPECT_EQ(get_info(), 0);
    EXPECT_EQ(dev_->last_error, -1);
}

// ---- requests ----

TEST_F(Engine, RequestTooLargeIsNeverSent)
{
    ListeningPort d;
    point_at(d.port());
    ONVIF_NETWORK_INTERFACE req;
    memset(&req, 0, sizeof(req));
    req.flags = ONVIF_NETIF_FLAG_EXTENSION;
    memset(req.token, '&', sizeof(req.token) - 1);
    req.dot11_count = 4;
    for (auto &w : req.dot11) {
        memset(w.ssid, '<', sizeof(w.ssid) - 1);
        memset(w.alias, '>', sizeof(w.alias) - 1);
        w.security_flags = ONVIF_DOT11_SEC_PSK | ONVIF_DOT11_SEC_DOT1X;
        w.psk_flags = ONVIF_DOT11_PSK_KEY | ONVIF_DOT11_PSK_PASSPHRASE;
        memset(w.psk_key, '"', sizeof(w.psk_key) - 1);
        memset(w.psk_passphrase, '\'', sizeof(w.psk_passphrase) - 1);
        memset(w.dot1x, '&', sizeof(w.dot1x) - 1);
    }
    EXPECT_EQ(onvif_tds_SetNetworkInterfaces(dev_.get(), &req, nullptr), 0);
    EXPECT_EQ(dev_->last_error, -2);
    EXPECT_EQ(d.connections(), 0);
}

TEST_F(Engine, CreatedComesFromTheDeviceClock)
{
    ScriptedDevice d([](int, const std::string &req) {
        if (op_of(req) == "GetSystemDateAndTime")
            return date_time_reply(true, true, 2031, 5, 6, 7, 8, 9);
        return soap_ok(kDeviceInfo);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    ASSERT_EQ(GetSystemDateAndTime(dev_.get()), 1);
    EXPECT_EQ(dev_->time_type, 2);
    EXPECT_EQ(dev_->device_time.year, 2031);
    EXPECT_EQ(dev_->device_time.hour, 7);
    EXPECT_LE(std::llabs((long long)dev_->time_stamp - (long long)time(nullptr)), 5);
    dev_->need_auth = 1;
    ASSERT_EQ(get_info(), 1);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_FALSE(has_token(reqs[0]));
    std::string created = element_text(reqs[1], "wsu:Created");
    EXPECT_TRUE(std::regex_match(created, std::regex("2031-05-06T07:(08|09):[0-5][0-9]Z")))
        << created;
    EXPECT_TRUE(token_valid(reqs[1], "secret"));
}

TEST_F(Engine, OnlyLocalTimeUsesTheLocalClockForCreated)
{
    ScriptedDevice d([](int, const std::string &req) {
        if (op_of(req) == "GetSystemDateAndTime")
            return date_time_reply(false, true, 2031, 5, 6, 7, 8, 9);
        return soap_ok(kDeviceInfo);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    ASSERT_EQ(GetSystemDateAndTime(dev_.get()), 1);
    EXPECT_EQ(dev_->time_type, 1);
    dev_->need_auth = 1;
    ASSERT_EQ(get_info(), 1);
    d.stop();
    std::string created = element_text(d.requests()[1], "wsu:Created");
    char year[16];
    time_t now = time(nullptr);
    struct tm tmv;
    gmtime_r(&now, &tmv);
    snprintf(year, sizeof(year), "%04d", tmv.tm_year + 1900);
    EXPECT_EQ(created.substr(0, 4), year) << created;
}

TEST_F(Engine, ClockRefreshInsideTheBuildKeepsTheOuterOutcome)
{
    // The device time would pass midnight: the builder reads the clock again
    // (a nested transaction) before the request goes out.
    ScriptedDevice d([](int, const std::string &req) {
        if (op_of(req) == "GetSystemDateAndTime")
            return date_time_reply(true, false, 2032, 1, 2, 10, 20, 30);
        return soap_ok(kDeviceInfo);
    });
    point_at(d.port());
    onvif_SetAuthInfo(dev_.get(), "admin", "secret");
    dev_->time_type = 2;
    dev_->device_time = ONVIF_DATETIME{23, 59, 50, 2032, 1, 1};
    dev_->time_stamp = (int64_t)time(nullptr) - 15;
    dev_->need_auth = 1;
    ASSERT_EQ(get_info(), 1);
    EXPECT_EQ(dev_->last_error, 0);
    EXPECT_EQ(dev_->auth_failed, 0);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(op_of(reqs[0]), "GetSystemDateAndTime");
    EXPECT_FALSE(has_token(reqs[0])); // the clock is read without WS-Security
    EXPECT_EQ(op_of(reqs[1]), "GetDeviceInformation");
    EXPECT_EQ(element_text(reqs[1], "wsu:Created").rfind("2032-01-02T10:20:", 0), 0u);
    EXPECT_TRUE(token_valid(reqs[1], "secret"));
}

TEST_F(Engine, GetCapabilitiesLeavesTheBlockAloneOnFailure)
{
    ScriptedDevice d([](int i, const std::string &) {
        if (i == 0) return soap_ok("<tds:SomethingElseResponse/>");
        return soap_ok("<tds:GetCapabilitiesResponse><tds:Capabilities>"
                       "<tt:Device><tt:XAddr>http://127.0.0.1:1/onvif/device_service</tt:XAddr>"
                       "</tt:Device><tt:Media><tt:XAddr>http://127.0.0.1:2/onvif/media_service"
                       "</tt:XAddr></tt:Media></tds:Capabilities>"
                       "</tds:GetCapabilitiesResponse>");
    });
    point_at(d.port());
    memset(&dev_->capabilities, 0x11, sizeof(dev_->capabilities));
    std::vector<unsigned char> before((unsigned char *)&dev_->capabilities,
                                      (unsigned char *)&dev_->capabilities +
                                          sizeof(dev_->capabilities));
    EXPECT_EQ(GetCapabilities(dev_.get()), 0);
    EXPECT_EQ(dev_->last_error, -8);
    EXPECT_EQ(memcmp(before.data(), &dev_->capabilities, before.size()), 0);

    memset(&dev_->capabilities, 0, sizeof(dev_->capabilities));
    ASSERT_EQ(GetCapabilities(dev_.get()), 1);
    EXPECT_EQ(dev_->capabilities.media.xaddr.port, 2);
    EXPECT_STREQ(dev_->capabilities.media.xaddr.path, "/onvif/media_service");
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(element_text(reqs[0], "tds:Category"), "All");
}

TEST_F(Engine, SetSystemDateAndTimeSendsTheLocalUtcClock)
{
    ScriptedDevice d([](int, const std::string &req) {
        if (op_of(req) == "SetSystemDateAndTime")
            return soap_ok("<tds:SetSystemDateAndTimeResponse/>");
        return http_reply(500, fault_body("env:Receiver", "ter:ActionNotSupported"));
    });
    point_at(d.port());
    ASSERT_EQ(SetSystemDateAndTime(dev_.get()), 1);
    d.stop();
    auto reqs = d.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(element_text(reqs[0], "tds:DateTimeType"), "Manual");
    EXPECT_EQ(element_text(reqs[0], "tds:DaylightSavings"), "false");
    EXPECT_EQ(reqs[0].find("TimeZone"), npos());
    time_t now = time(nullptr);
    struct tm tmv;
    gmtime_r(&now, &tmv);
    EXPECT_EQ(element_text(reqs[0], "tt:Year"), std::to_string(tmv.tm_year + 1900));
}

// ---- against the camera simulator ----

#ifdef CAMSIM_PATH

// One camsim process on loopback with an ephemeral port and its request log.
class EngineCamsim : public Engine
{
  protected:
    std::unique_ptr<CamsimProcess> start(const std::string &cfg)
    {
        auto c = std::make_unique<CamsimProcess>(CAMSIM_PATH, cfg,
                                                 CamsimOptions{"/tmp/camsim_test_XXXXXX", 0, true});
        if (c->port() <= 0) ADD_FAILURE() << "camsim did not start with " << cfg;
        return c;
    }
};

TEST_F(EngineCamsim, HttpDigestAndBasic)
{
    struct Case {
        const char *mode;
        bool tls;
        bool basic_allowed;
        bool ok;
    } cases[] = {
        {"digest", false, false, true}, {"digest", true, false, true},
        {"basic", true, false, true},   {"basic", false, true, true},
        {"basic", false, false, false}, // the password is not sent in the clear
    };
    for (const Case &c : cases) {
        std::string what =
            std::string(c.mode) + (c.tls ? " tls" : " plain") + (c.basic_allowed ? " allowed" : "");
        SCOPED_TRACE(what);
        fresh_device();
        auto cam = start(std::string("[{\"auth\":\"") + c.mode +
                         "\",\"tls\":" + (c.tls ? "true" : "false") +
                         ",\"user\":\"admin\",\"password\":\"s3cret\",\"accept_wsse\":false}]");
        ASSERT_GT(cam->port(), 0);
        point_at(cam->port(), "127.0.0.1", c.tls ? 1 : 0);
        onvif_SetAuthInfo(dev_.get(), "admin", "s3cret");
        onvif_SetBasicOverHttp(dev_.get(), c.basic_allowed);
        EXPECT_EQ(GetDeviceInformation(dev_.get()), c.ok ? 1 : 0);
        auto lines = cam->log_lines("\"method\"");
        ASSERT_GE(lines.size(), 1u);
        EXPECT_EQ(json_field(lines[0], "status"), "401");
        if (c.ok) {
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(json_field(lines[1], "http_auth"), "valid") << lines[1];
            EXPECT_EQ(dev_->need_auth, 0);
        } else {
            // Refused without a password on the wire: every request went
            // without an Authorization line.
            for (auto &l : lines)
                EXPECT_EQ(json_field(l, "authorization"), "") << l;
            EXPECT_EQ(dev_->auth_failed, 1);
            EXPECT_EQ(dev_->last_error, -9);
        }
    }
}

TEST_F(EngineCamsim, WsSecurityWithTheRightAndTheWrongPassword)
{
    auto cam = start("[{\"auth\":\"wsse\",\"user\":\"admin\",\"password\":\"pw\","
                     "\"clock_offset_s\":-7200}]");
    ASSERT_GT(cam->port(), 0);
    point_at(cam->port());
    onvif_SetAuthInfo(dev_.get(), "admin", "pw");
    // The device clock is two hours behind: Created must follow it.
    ASSERT_EQ(GetSystemDateAndTime(dev_.get()), 1);
    EXPECT_EQ(GetDeviceInformation(dev_.get()), 1);
    EXPECT_EQ(dev_->need_auth, 1);
    auto lines = cam->log_lines("\"method\"");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(json_field(lines[2], "wsse"), "valid");

    onvif_SetAuthInfo(dev_.get(), "admin", "bad");
    dev_->auth_retry = 0;
    EXPECT_EQ(GetDeviceInformation(dev_.get()), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_EQ(dev_->auth_failed, 1);
    EXPECT_EQ(soap_strcmp(dev_->fault.subcode, "NotAuthorized"), 0);
    EXPECT_EQ(cam->log_lines("\"method\"").size(), 3u + 5u); // need_auth already on: five refusals
}

#else

TEST(EngineCamsim, Skipped)
{
    GTEST_SKIP() << "the camera simulator is not built (no Qt 5)";
}

#endif

} // namespace
