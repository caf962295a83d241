// The generic reader's rules, which every operation's reply gets: a reused
// record never keeps an old answer, texts are cut at a character boundary,
// booleans and tokens are read as XML defines them, lists are capped, and
// MTOM attachments reach the binary members.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "onvif/desc_hand.h"
#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"
#include "onvif/soap_mime.h"
#include "onvif/soap_parse.h"
#include "tests/support/soap_text.h"

using soaptest::envelope;
using soaptest::Reply;

namespace
{

int parse(const std::string &body, int type, void *res, SOAP_READ_CTX *ctx = nullptr)
{
    Reply r(envelope(body));
    return onvif_parse_response_ctx(r.body(), type, nullptr, res, ctx);
}

std::string info_reply(const std::string &inner)
{
    return "<tds:GetDeviceInformationResponse>" + inner + "</tds:GetDeviceInformationResponse>";
}

} // namespace

TEST(SoapReader, AReusedRecordNeverMixesTwoReplies)
{
    ONVIF_DEVICE_INFORMATION info;
    memset(&info, 0, sizeof(info));
    ASSERT_EQ(
        parse(info_reply("<tds:Model>M1</tds:Model><tds:SerialNumber>SN-1</tds:SerialNumber>"),
              ACT_tds_GetDeviceInformation, &info),
        1);
    ASSERT_EQ(parse(info_reply("<tds:Model>M2</tds:Model>"), ACT_tds_GetDeviceInformation, &info),
              1);
    EXPECT_STREQ(info.model, "M2");
    EXPECT_STREQ(info.serial_number, ""); // not the old camera's serial number

    // A DNS list never ends up half from the last reply.
    ONVIF_DNS dns;
    memset(&dns, 0, sizeof(dns));
    auto dns_reply = [](const std::string &servers) {
        return "<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>false</tt:FromDHCP>" +
               servers + "</tds:DNSInformation></tds:GetDNSResponse>";
    };
    auto manual = [](const char *a) {
        return std::string("<tt:DNSManual><tt:Type>IPv4</tt:Type><tt:IPv4Address>") + a +
               "</tt:IPv4Address></tt:DNSManual>";
    };
    ASSERT_EQ(parse(dns_reply(manual("10.0.0.1") + manual("10.0.0.2")), ACT_tds_GetDNS, &dns), 1);
    ASSERT_EQ(parse(dns_reply(manual("10.0.0.9")), ACT_tds_GetDNS, &dns), 1);
    EXPECT_STREQ(dns.dns_manual[0], "10.0.0.9");
    EXPECT_STREQ(dns.dns_manual[1], "");

    // The capability block is merged on purpose: GetServices adds to what
    // GetCapabilities found.
    EXPECT_EQ(onvif_op(ACT_tds_GetCapabilities)->out, ONVIF_OUT_M);
    EXPECT_EQ(onvif_op(ACT_tds_GetServices)->out, ONVIF_OUT_M);
    for (int t = ONVIF_ACT_MIN; t <= ONVIF_ACT_MAX; t++)
        if (t != ACT_tds_GetCapabilities && t != ACT_tds_GetServices) {
            EXPECT_NE(onvif_op(t)->out, ONVIF_OUT_M) << t;
        }
}

TEST(SoapReader, TextsAreCutAtACharacterBoundary)
{
    // A 32-byte name field: 29 ASCII bytes, then a 3-byte character that
    // would need bytes 30..32.
    const std::string name = std::string(29, 'n') + "\xE6\x91\x84";
    ONVIF_SIMPLE_ITEM item;
    memset(&item, 0, sizeof(item));
    Reply r("<tt:SimpleItem xmlns:tt=\"urn:t\" Name=\"" + name + "\" Value=\"x\"/>");
    ASSERT_EQ(soap_desc_read(r.root(), &SD_ONVIF_SIMPLE_ITEM, &item, nullptr), 1);
    EXPECT_EQ(std::string(item.name), std::string(29, 'n'));

    // The same through the plain copy helpers, also for characters that came
    // from a reference.
    char out[6];
    EXPECT_EQ(soap_copy_text(out, sizeof(out), "ab\xC3\xBC\xE6\x91\x84"), 4);
    EXPECT_STREQ(out, "ab\xC3\xBC");
    EXPECT_EQ(soap_copy_text(out, sizeof(out), "abcd&#x6444;"), 4);
    EXPECT_STREQ(out, "abcd");
    EXPECT_EQ(soap_copy_utf8(out, sizeof(out), "abc\xF0\x9F\x98\x80", 7), 3);
    EXPECT_STREQ(out, "abc");
}

TEST(SoapReader, BooleansTokensNumbersAndTimes)
{
    struct BoolCase {
        const char *text;
        int ok;
        int value;
    } bools[] = {{"true", 1, 1},     {"false", 1, 0}, {"1", 1, 1},   {"0", 1, 0}, {" true\n", 1, 1},
                 {"\tfalse ", 1, 0}, {"TRUE", 1, 1},  {"yes", 0, 0}, {"", 0, 0},  {"10", 0, 0}};
    for (const auto &c : bools) {
        int32_t v = -1;
        EXPECT_EQ(soap_text_to_bool(c.text, &v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
        EXPECT_EQ(parse_Bool(c.text), c.ok && c.value) << c.text;
    }

    struct DurationCase {
        const char *text;
        int ok;
        int32_t seconds;
    } durations[] = {{"PT10S", 1, 10},
                     {"PT1M30S", 1, 90},
                     {"P1DT1H", 1, 90000},
                     {" PT0.5S ", 1, 0},
                     {"-PT5S", 1, -5},
                     {"P", 0, 0},
                     {"PT", 0, 0},
                     {"10", 0, 0},
                     {"PT5", 0, 0},
                     {"P1Y", 1, 31536000},
                     {"P99999999Y", 1, INT32_MAX}};
    for (const auto &c : durations) {
        int32_t s = -1;
        EXPECT_EQ(soap_text_to_duration(c.text, &s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(s, c.seconds) << c.text;
        }
    }

    struct TimeCase {
        const char *text;
        int ok;
        int64_t t;
    } times[] = {{"2026-01-02T03:04:05Z", 1, 1767323045},
                 {"2026-01-02T03:04:05.123Z", 1, 1767323045},
                 {"2026-01-02T05:04:05+02:00", 1, 1767323045},
                 {"2026-01-02T03:04:05", 1, 1767323045},
                 {"2026-13-02T03:04:05Z", 0, 0},
                 {"2026-01-02 03:04:05Z", 0, 0},
                 {"2026-01-02T03:04:05Zjunk", 0, 0}};
    for (const auto &c : times) {
        int64_t t = -1;
        EXPECT_EQ(soap_text_to_datetime(c.text, &t), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(t, c.t) << c.text;
        }
    }
    char buf[32];
    soap_format_datetime(1767323045, buf, sizeof(buf));
    EXPECT_STREQ(buf, "2026-01-02T03:04:05Z");
    soap_format_float(0.1f, 1, buf, sizeof(buf));
    EXPECT_STREQ(buf, "0.1"); // shortest, and never a decimal comma

    // Tokens, enumerations and fault codes: surrounding whitespace is not
    // part of the value.
    ONVIF_SCOPE scope;
    memset(&scope, 0, sizeof(scope));
    Reply sr("<tt:Scopes xmlns:tt=\"urn:t\"><tt:ScopeDef>\n  Configurable\n</tt:ScopeDef>"
             "<tt:ScopeItem>\n onvif://www.onvif.org/name/cam \n</tt:ScopeItem></tt:Scopes>");
    ASSERT_EQ(soap_desc_read(sr.root(), &SD_ONVIF_SCOPE, &scope, nullptr), 1);
    EXPECT_EQ(scope.definition, 1);
    EXPECT_STREQ(scope.item, "onvif://www.onvif.org/name/cam");

    Reply fr(envelope("<s:Fault><s:Code><s:Value>\n s:Sender </s:Value><s:Subcode><s:Value>"
                      " ter:NotAuthorized\n</s:Value></s:Subcode></s:Code></s:Fault>"));
    ONVIF_FAULT fault;
    memset(&fault, 0, sizeof(fault));
    ASSERT_EQ(onvif_parse_fault(fr.body(), &fault), 1);
    EXPECT_STREQ(fault.code, "s:Sender");
    EXPECT_STREQ(fault.subcode, "ter:NotAuthorized");
}

TEST(SoapReader, ListsAreCappedAndKeepTheirOrder)
{
    std::string body = "<tds:GetScopesResponse>";
    for (int i = 0; i < SOAP_LIST_MAX + 5; i++)
        body += "<tds:Scopes><tt:ScopeDef>Fixed</tt:ScopeDef><tt:ScopeItem>s" + std::to_string(i) +
                "</tt:ScopeItem></tds:Scopes>";
    body += "</tds:GetScopesResponse>";
    ScopeList *head = nullptr;
    SOAP_READ_CTX ctx = {nullptr, 0, 0};
    ASSERT_EQ(parse(body, ACT_tds_GetScopes, &head, &ctx), 1);
    EXPECT_EQ(onvif_list_count(head, 100000), SOAP_LIST_MAX);
    EXPECT_EQ(ctx.dropped, 5);
    EXPECT_STREQ(head->Scope.item, "s0");
    EXPECT_STREQ(head->next->Scope.item, "s1");
    onvif_free_result(ACT_tds_GetScopes, &head);
    EXPECT_EQ(head, nullptr);
}

TEST(SoapReader, MultipartRelatedRepliesAndAttachments)
{
    const std::string ctype = "Multipart/Related; type=\"application/xop+xml\"; "
                              "boundary=\"uuid:b1\"; start=\"<root@x>\"; "
                              "start-info=\"application/soap+xml\"";
    const std::string root = envelope("<tds:GetSystemLogResponse><tds:SystemLog><tt:Binary>"
                                      "<xop:Include xmlns:xop=\"http://www.w3.org/2004/08/xop/"
                                      "include\" href=\"cid:log%40x\"/></tt:Binary>"
                                      "</tds:SystemLog></tds:GetSystemLogResponse>");
    // The binary part comes first: the root is found by its Content-ID.
    std::string body = "--uuid:b1\r\nContent-Type: application/octet-stream\r\n"
                       "Content-ID: <log@x>\r\n\r\nline 1\r\nline 2\r\n--uuid:b1\r\n"
                       "Content-Type: application/xop+xml\r\nContent-ID: <root@x>\r\n\r\n" +
                       root + "\r\n--uuid:b1--\r\n";
    body.insert(body.find("line 2"), 2, '\0'); // binary data holds NUL bytes
    std::vector<char> buf(body.begin(), body.end());
    buf.push_back('\0');
    SOAP_MIME mime;
    ASSERT_EQ(soap_mime_split(ctype.c_str(), buf.data(), (int)body.size(), &mime), 1);
    EXPECT_EQ(std::string(mime.root, (size_t)mime.root_len), root);
    ASSERT_EQ(mime.count, 1);
    EXPECT_STREQ(mime.parts[0].content_id, "log@x");

    Reply r(std::string(mime.root, (size_t)mime.root_len));
    SOAP_READ_CTX ctx = {mime.parts, mime.count, 0};
    std::vector<char> rec(onvif_op(ACT_tds_GetSystemLog)->res->size, 0);
    ASSERT_EQ(onvif_parse_response_ctx(r.body(), ACT_tds_GetSystemLog, nullptr, rec.data(), &ctx),
              1);
    auto *log = reinterpret_cast<tds_GetSystemLog_RES *>(rec.data());
    ASSERT_NE(log->binary.data, nullptr);
    EXPECT_EQ(std::string((const char *)log->binary.data, (size_t)log->binary.len),
              std::string("line 1\r\n\0\0line 2", 16));
    onvif_free_result(ACT_tds_GetSystemLog, rec.data());

    // Broken multiparts are refused, never read past their end.
    const char *broken[] = {
        "--uuid:b1\r\nContent-ID: <root@x>\r\n\r\n<a/>", // no closing delimiter
        "--uuid:b1\r\nContent-ID: <root@x>",             // no end of the part head
        "no delimiter at all",
        "--uuid:b1--\r\n", // no part
    };
    for (const char *b : broken) {
        std::vector<char> copy(b, b + strlen(b) + 1);
        EXPECT_EQ(soap_mime_split(ctype.c_str(), copy.data(), (int)strlen(b), &mime), 0) << b;
    }
    std::vector<char> ok(body.begin(), body.end());
    EXPECT_EQ(soap_mime_split("multipart/related; type=x", ok.data(), (int)body.size(), &mime), 0);
    EXPECT_EQ(soap_mime_is_multipart("application/soap+xml"), 0);
}

// A reply without an element its operation requires is refused, for every
// operation whose descriptor marks one (hand-written readers of required
// members have tests of their own).
TEST(SoapReader, AMissingRequiredElementFailsTheReply)
{
    int checked = 0;
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        const ONVIF_OP *op = onvif_op(type);
        if (op->out == ONVIF_OUT_N) continue;
        bool required = false;
        for (uint32_t i = 0; i < op->res->count; i++) {
            const SOAP_FIELD &f = op->res->fields[i];
            required |= (f.opts & SOAP_F_REQUIRED) && f.kind != SOAP_K_HOOK &&
                        !(f.opts & (SOAP_F_ATTR | SOAP_F_LIST | SOAP_F_ARRAY));
        }
        if (!required) continue;
        std::vector<char> rec(op->res->size + 8, 0);
        EXPECT_EQ(parse("<" + std::string(op->name) + "Response/>", type, rec.data()), 0)
            << op->name;
        soap_desc_free(op->res, rec.data());
        checked++;
    }
    EXPECT_GT(checked, 0);
}
