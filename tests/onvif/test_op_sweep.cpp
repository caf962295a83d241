// Sweeps over the whole operation table: the table agrees with the service
// schemas about which messages carry content, every request body the writer
// produces from a fully filled record validates, and every reply made from
// the schemas reads back field for field.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <regex>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "onvif/desc_hand.h"
#include "onvif/onvif_act.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_optab.h"
#include "onvif/onvif_ops.h"
#include "onvif/soap_build.h"
#include "onvif/soap_desc.h"
#include "onvif/soap_parse.h"
#include "tests/support/onvif_records.h"
#include "tests/support/schema_check.h"
#include "tests/support/soap_text.h"
#include "tests/support/desc_walk.h"

namespace
{

std::string run(const std::string &cmd, int *status)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0)
        out.append(buf, n);
    *status = pclose(p);
    return out;
}

std::string op_name(int type)
{
    const ONVIF_OP *op = onvif_op(type);
    return std::string(onvif_act_prefix(type)) + "_" + (op ? op->name : "?");
}

// Schema samples of every operation, made once per run by the sample
// generator (independently of the library's writer): <svc>_<Op>.req.xml /
// .res.xml with the expected values in .req.txt / .res.txt.
class Samples
{
  public:
    static const std::string &dir()
    {
        static Samples s;
        return s.dir_;
    }

  private:
    Samples()
    {
        char tmpl[] = "/tmp/onvif_samples_XXXXXX";
        if (!mkdtemp(tmpl)) return;
        std::string d = tmpl;
        std::string gen = std::string("python3 ") + PROJECT_DIR +
                          "/tools/onvifgen/make_samples.py" + " --schema " + ONVIF_SCHEMA_DIR +
                          " --all --out " + d;
        int status = 0;
        run(gen + " 2>&1", &status);
        if (status != 0) return;
        run(gen + " --request 2>&1", &status);
        if (status == 0) dir_ = d;
    }
    ~Samples()
    {
        if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

std::string read_file(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

// The expected values of a sample: "path=value" lines (sorted), "path~=text"
// lines of raw XML members, and the attachments.
struct Listing {
    std::vector<std::string> values;
    std::vector<std::pair<std::string, std::string>> contains;
    std::vector<std::pair<std::string, std::string>> attachments;
    bool hand_made = false;
};

Listing read_listing(const std::string &path)
{
    Listing l;
    std::istringstream in(read_file(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (line[0] == '#') {
            if (line.find("hand") != std::string::npos) l.hand_made = true;
            continue;
        }
        if (line[0] == '!') { // "!attachment ID=text"
            size_t sp = line.find(' '), eq = line.find('=');
            if (sp != std::string::npos && eq != std::string::npos)
                l.attachments.push_back({line.substr(sp + 1, eq - sp - 1), line.substr(eq + 1)});
            continue;
        }
        size_t raw = line.find("~=");
        if (raw != std::string::npos && raw < line.find('=')) {
            l.contains.push_back({line.substr(0, raw), line.substr(raw + 2)});
            continue;
        }
        l.values.push_back(line);
    }
    std::sort(l.values.begin(), l.values.end());
    return l;
}

// Compares what a record holds with a sample's listing: a generated record
// holds exactly the listed values. Hand-made records keep what the tool
// needs in a layout of their own and have tests of their own.
void expect_matches(const std::string &what, const std::vector<std::string> &got,
                    const Listing &want, bool generated)
{
    if (!generated) return;
    std::set<std::string> expected(want.values.begin(), want.values.end());
    std::map<std::string, std::string> raw_got;
    for (const std::string &g : got) {
        std::string path = g.substr(0, g.find('='));
        bool is_raw = false;
        for (const auto &c : want.contains)
            if (c.first == path) is_raw = true;
        if (is_raw) {
            raw_got[path] = g.substr(g.find('=') + 1);
            continue;
        }
        EXPECT_EQ(expected.count(g), 1u) << what << ": read " << g << " (not in the sample)";
    }
    for (const auto &c : want.contains)
        EXPECT_NE(raw_got[c.first].find(c.second), std::string::npos)
            << what << ": " << c.first << " holds no " << c.second;
    std::set<std::string> have(got.begin(), got.end());
    for (const std::string &e : want.values)
        EXPECT_EQ(have.count(e), 1u) << what << ": " << e << " was not read";
}

// A record of an operation's request or result as heap memory, released
// through its descriptor.
struct Record {
    const SOAP_TYPE *desc;
    std::vector<char> mem;
    explicit Record(const SOAP_TYPE *d) : desc(d), mem(d->size + 8, 0) {}
    ~Record() { soap_desc_free(desc, mem.data()); }
    void *get() { return mem.data(); }
};

// Hand-made records whose writer or reader is hand-written in part: the
// sweep compares what their descriptors show.
bool generated_side(int type, bool request)
{
    const ONVIF_OP *op = onvif_op(type);
    const SOAP_TYPE *t = request ? op->req : op->res;
    for (uint32_t i = 0; i < t->count; i++)
        if (t->fields[i].kind == SOAP_K_HOOK) return false;
    return true;
}

} // namespace

// The table says which requests have children and which replies carry
// content; the service schemas must say the same.
TEST(OpTable, AgreesWithTheServiceSchemas)
{
    SKIP_WITHOUT_SCHEMAS();
    int status = 0;
    std::string out = run(std::string("python3 ") + PROJECT_DIR + "/tests/onvif/wsdl_io.py " +
                              ONVIF_SCHEMA_DIR + " " + PROJECT_DIR + "/onvif/onvif_ops.def",
                          &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    std::string svc, name, in, res;
    int rows = 0;
    while (lines >> svc >> name >> in >> res) {
        rows++;
        const ONVIF_OP *op = onvif_op(rows);
        ASSERT_NE(op, nullptr);
        ASSERT_EQ(name, op->name) << "row " << rows;
        EXPECT_EQ(in == "NO", op->in == ONVIF_IN_NO) << svc << " " << name << ": schema " << in;
        EXPECT_EQ(res == "Y", op->out != ONVIF_OUT_N) << svc << " " << name << ": schema " << res;
        EXPECT_TRUE(op->out == ONVIF_OUT_N || op->res->count > 0)
            << svc << " " << name << " has output but no result descriptor";
        if (op->in != ONVIF_IN_NO) {
            EXPECT_GT(op->req->count, 0u) << svc << " " << name << " has input but no descriptor";
        }
    }
    EXPECT_EQ(rows, ONVIF_ACT_COUNT);
}

// Every request: a schema sample of the request element is read into the
// request record, the record holds the sample's values, and the body the
// writer makes from it validates against the service's schema. Where the
// input is optional, the body made without a record validates too.
TEST(OpTable, EveryRequestRoundTripsAndValidates)
{
    SKIP_WITHOUT_SCHEMAS();
    ASSERT_FALSE(Samples::dir().empty()) << "the sample generator failed";
    auto dev = new_device();
    std::vector<std::string> envs;
    std::vector<std::string> names;
    std::vector<char> buf(64 * 1024);
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        const ONVIF_OP *op = onvif_op(type);
        const std::string name = op_name(type);
        Record rec(op->req);
        std::vector<const void *> inputs;
        if (op->in != ONVIF_IN_NO) {
            std::string base = Samples::dir() + "/" + name + ".req";
            soaptest::Reply sample(soaptest::envelope(read_file(base + ".xml")));
            XML_NODE *elem = sample.body() ? sample.body()->first_child : nullptr;
            ASSERT_NE(elem, nullptr) << name << ": no request sample";
            ASSERT_EQ(soap_desc_read(elem, op->req, rec.get(), nullptr), 1) << name;
            Listing want = read_listing(base + ".txt");
            bool generated = generated_side(type, true);
            expect_matches(name + " request", descwalk::dump(op->req, rec.get()), want,
                           generated && !want.hand_made);
            // A hand-written writer reads members its descriptor does not
            // show; those bodies have tests of their own.
            if (generated) inputs.push_back(rec.get());
        }
        if (op->in != ONVIF_IN_REQ) inputs.push_back(nullptr);
        for (const void *in : inputs) {
            int n = onvif_build_request(buf.data(), (int)buf.size(), type, dev.get(), in);
            ASSERT_GT(n, 0) << name << (in ? " from the sample" : " without a record");
            envs.emplace_back(buf.data(), (size_t)n);
            names.push_back(name + (in ? " from the sample" : " without a record"));
        }
    }
    // One validator run per batch keeps the sweep quick.
    const size_t batch = 64;
    int bad = 0;
    for (size_t i = 0; i < envs.size(); i += batch) {
        std::vector<std::string> part(envs.begin() + (long)i,
                                      envs.begin() + (long)std::min(envs.size(), i + batch));
        std::string rep;
        if (validate_envelopes(part, &rep) == 0) continue;
        for (size_t k = 0; k < part.size(); k++) { // the culprits, one by one
            std::string one;
            if (validate_envelopes({part[k]}, &one) != 0) {
                bad++;
                ADD_FAILURE() << names[i + k] << ":\n" << one << "\n" << part[k];
            }
        }
    }
    printf("request bodies valid: %zu of %zu (%d operations)\n", envs.size() - (size_t)bad,
           envs.size(), ONVIF_ACT_COUNT);
}

// Every reply with content: a schema sample of the response (with every
// optional element, lists of two, MTOM attachments where the schema has
// binary data) read through the dispatcher gives exactly the sample's values.
TEST(OpTable, EveryReplyReadsFieldForField)
{
    SKIP_WITHOUT_SCHEMAS();
    ASSERT_FALSE(Samples::dir().empty()) << "the sample generator failed";
    int read = 0;
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        const ONVIF_OP *op = onvif_op(type);
        if (op->out == ONVIF_OUT_N) continue;
        const std::string name = op_name(type);
        std::string base = Samples::dir() + "/" + name + ".res";
        Listing want = read_listing(base + ".txt");
        soaptest::Reply sample(soaptest::envelope(read_file(base + ".xml")));
        ASSERT_NE(sample.body(), nullptr) << name;
        std::vector<SOAP_ATTACHMENT> parts;
        for (const auto &a : want.attachments)
            parts.push_back({a.first.c_str(), "application/octet-stream",
                             reinterpret_cast<const uint8_t *>(a.second.data()),
                             (int32_t)a.second.size()});
        SOAP_READ_CTX ctx = {parts.data(), (int32_t)parts.size(), 0};
        Record rec(op->res);
        ASSERT_EQ(onvif_parse_response_ctx(sample.body(), type, nullptr, rec.get(), &ctx), 1)
            << name;
        expect_matches(name + " reply", descwalk::dump(op->res, rec.get()), want,
                       generated_side(type, false) && !want.hand_made);
        read++;
    }
    printf("replies read field for field: %d\n", read);
}

namespace
{

// The same reply in other spellings a device may use.
std::string with_prefix(const std::string &xml, const std::string &from, const std::string &to)
{
    std::string out = std::regex_replace(xml, std::regex("<(/?)" + from + ":"), "<$1" + to + ":");
    return std::regex_replace(out, std::regex("xmlns:" + from + "="), "xmlns:" + to + "=");
}

std::string tt_as_default_namespace(const std::string &xml)
{
    std::string out = std::regex_replace(xml, std::regex("<(/?)tt:"), "<$1");
    return std::regex_replace(out, std::regex("xmlns:tt="), "xmlns=");
}

std::string pretty(const std::string &xml)
{
    return std::regex_replace(xml, std::regex("><"), ">\n   <");
}

// Every '-' of a text or attribute value as a character reference.
std::string with_references(const std::string &xml)
{
    std::string out;
    bool in_tag = false;
    char quote = 0;
    for (char c : xml) {
        if (in_tag) {
            if (quote) {
                if (c == quote) quote = 0;
                if (c == '-' && quote) {
                    out += "&#45;";
                    continue;
                }
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                in_tag = false;
            }
        } else if (c == '<') {
            in_tag = true;
        } else if (c == '-') {
            out += "&#x2D;";
            continue;
        }
        out += c;
    }
    return out;
}

} // namespace

// Prefixes, a default namespace, whitespace between elements and character
// references do not change what a reply reads as.
TEST(OpTable, EveryReplyReadsTheSameInOtherSpellings)
{
    SKIP_WITHOUT_SCHEMAS();
    ASSERT_FALSE(Samples::dir().empty()) << "the sample generator failed";
    struct Spelling {
        const char *what;
        std::string (*make)(const std::string &);
    } spellings[] = {
        {"other prefixes",
         [](const std::string &x) { return with_prefix(with_prefix(x, "tt", "q1"), "tds", "d"); }},
        {"tt as the default namespace", tt_as_default_namespace},
        {"pretty-printed", pretty},
        {"character references", with_references},
    };
    int read = 0;
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        const ONVIF_OP *op = onvif_op(type);
        if (op->out == ONVIF_OUT_N || !generated_side(type, false)) continue;
        const std::string name = op_name(type);
        std::string base = Samples::dir() + "/" + name + ".res";
        Listing want = read_listing(base + ".txt");
        if (want.hand_made || !want.attachments.empty()) continue;
        std::string xml = read_file(base + ".xml");
        for (const Spelling &sp : spellings) {
            soaptest::Reply sample(soaptest::envelope(sp.make(xml)));
            ASSERT_NE(sample.body(), nullptr) << name << ", " << sp.what;
            Record rec(op->res);
            ASSERT_EQ(onvif_parse_response(sample.body(), type, nullptr, rec.get()), 1)
                << name << ", " << sp.what;
            // Raw XML members keep their text as written, references and all.
            Listing spelled = want;
            for (auto &c : spelled.contains)
                c.second = sp.make(c.second);
            expect_matches(name + " reply, " + sp.what, descwalk::dump(op->res, rec.get()), spelled,
                           true);
        }
        read++;
    }
    EXPECT_GT(read, 150);
}

namespace
{

// Every attribute and leaf text below an element, depth first, each with the
// member it stands for: an element's attribute, or the list of its children
// of one name (a list of words fills one field).
void value_nodes(XML_NODE *n, std::vector<std::pair<XML_NODE *, std::string>> *out)
{
    char id[32];
    snprintf(id, sizeof(id), "%p", static_cast<void *>(n));
    for (XML_NODE *a = n->first_attr; a; a = a->next_sibling)
        if (strncmp(a->name, "xmlns", 5) != 0) out->push_back({a, std::string(id) + "@" + a->name});
    for (XML_NODE *c = n->first_child; c; c = c->next_sibling) {
        if (!c->first_child && c->text) out->push_back({c, std::string(id) + "/" + c->name});
        value_nodes(c, out);
    }
}

// Another value of the same kind: a boolean flipped, a number moved on, a
// duration changed, any other text with a letter in front.
std::string other_value(const std::string &v)
{
    if (v == "true" || v == "false") return v == "true" ? "false" : "true";
    if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos)
        return std::to_string(std::stol(v) + 7);
    if (v.rfind("PT", 0) == 0) return "PT2M";
    return "Z" + v;
}

} // namespace

// The capabilities of every service's schema sample, read through GetServices
// as a camera lists them: each attribute or element the reader takes lands in
// bits of the block that no other one touches (the same member read into two
// fields, or two members into one, shows here), and the number of those it
// reads stays as it is.
TEST(OpTable, ServiceCapabilitiesLandInFieldsOfTheirOwn)
{
    SKIP_WITHOUT_SCHEMAS();
    ASSERT_FALSE(Samples::dir().empty()) << "the sample generator failed";
    const size_t bits = sizeof(ONVIF_CAPABILITIES) * 8;
    std::vector<std::string> owner(bits);
    int services = 0, read = 0;
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        if (strcmp(onvif_op(type)->name, "GetServiceCapabilities") != 0) continue;
        const std::string name = op_name(type);
        const std::string xml = read_file(Samples::dir() + "/" + name + ".res.xml");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(xml, m, std::regex("^<[^ >]+( xmlns:\\w+=\"([^\"]+)\")>")))
            << name;
        const std::string inner =
            xml.substr((size_t)m.length(0), xml.rfind("</") - (size_t)m.length(0));
        soaptest::Reply reply(soaptest::envelope(
            "<tds:GetServicesResponse><tds:Service><tds:Namespace>" + m[2].str() +
            "</tds:Namespace><tds:XAddr>http://10.2.0.7/onvif/x</tds:XAddr><tds:Capabilities" +
            m[1].str() + ">" + inner +
            "</tds:Capabilities></tds:Service></tds:GetServicesResponse>"));
        XML_NODE *resp = reply.element("GetServicesResponse");
        XML_NODE *caps = xml_node_soap_get(xml_node_soap_get(resp, "Service"), "Capabilities");
        ASSERT_NE(caps, nullptr) << name;
        auto parse = [&](std::vector<unsigned char> *out) {
            out->assign(sizeof(ONVIF_CAPABILITIES), 0);
            ASSERT_EQ(
                parse_GetServices_rly(resp, reinterpret_cast<ONVIF_CAPABILITIES *>(out->data())),
                1);
        };
        std::vector<unsigned char> base, changed;
        parse(&base);
        std::vector<std::pair<XML_NODE *, std::string>> nodes;
        value_nodes(caps, &nodes);
        for (const auto &node : nodes) {
            XML_NODE *n = node.first;
            const char *text = n->text;
            const int32_t len = n->text_len;
            const std::string what = name + " " + n->name + " (" + node.second + ")";
            const std::string value = other_value(std::string(text, (size_t)len));
            n->text = value.c_str();
            n->text_len = (int32_t)value.size();
            parse(&changed);
            n->text = text;
            n->text_len = len;
            bool any = false;
            for (size_t b = 0; b < bits; b++) {
                if (((base[b / 8] ^ changed[b / 8]) >> (b % 8) & 1) == 0) continue;
                any = true;
                EXPECT_TRUE(owner[b].empty() || owner[b] == what)
                    << what << " and " << owner[b] << " land in the same field";
                owner[b] = what;
            }
            read += any;
        }
        services++;
    }
    EXPECT_EQ(services, 19);
    EXPECT_EQ(read, 173) << "values the reader takes";
}
