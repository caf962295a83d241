// Node tree tests: building trees from real SOAP and WS-Discovery messages,
// prefix-insensitive lookup, editing, the writer and its size bound, and the
// failure paths (truncated input, allocation failure, deep trees).
#include "xml/xml_node.h"
#include "xml/hxml.h"
#include "xml/xml_alloc_hook.hpp"
#include "xml_test_util.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using xml_test::read_data;

namespace
{

// A parsed message together with the buffer it points into.
struct Parsed {
    HeapText in;
    XML_NODE *root;
    explicit Parsed(const std::string &text) : in(text), root(xxx_hxml_parse(in.data(), in.len)) {}
    ~Parsed() { xml_node_del(root); }
    Parsed(const Parsed &) = delete;
    Parsed &operator=(const Parsed &) = delete;
};

// Follows a path of child names with prefix-insensitive lookup.
XML_NODE *path(XML_NODE *node, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        node = xml_node_soap_get(node, n);
    return node;
}

std::string text_of(XML_NODE *node)
{
    return node && node->text ? std::string(node->text, (size_t)node->text_len) : "(none)";
}

std::string write(XML_NODE *node)
{
    int size = xml_calc_buf_len(node);
    if (size <= 0) return "(calc failed)";
    std::vector<char> buf((size_t)size + 8, '\0');
    int n = xml_nwrite_buf(node, buf.data(), size);
    return n < 0 ? "(write failed)" : std::string(buf.data(), (size_t)n);
}

// Checks every link of the tree; returns the number of elements, -1 on a fault.
// Iterative, so it also works on very deep trees.
long check_links(XML_NODE *root)
{
    long count = 0;
    XML_NODE *n = root;
    while (n && count < 10000000) {
        count++;
        if (n->kind != XML_NODE_ELEMENT || !n->name) return -1;
        XML_NODE *prev = nullptr;
        for (XML_NODE *a = n->first_attr; a; a = a->next_sibling) {
            if (a->kind != XML_NODE_ATTR || a->parent || a->prev_sibling != prev || a->first_child)
                return -1;
            prev = a;
        }
        if (n->last_attr != prev) return -1;
        prev = nullptr;
        for (XML_NODE *c = n->first_child; c; c = c->next_sibling) {
            if (c->parent != n || c->prev_sibling != prev) return -1;
            prev = c;
        }
        if (n->last_child != prev) return -1;
        if (n->first_child) {
            n = n->first_child;
            continue;
        }
        while (n != root && !n->next_sibling)
            n = n->parent;
        if (n == root) break;
        n = n->next_sibling;
    }
    return count;
}

bool all_closed(XML_NODE *node)
{
    if (!node->closed) return false;
    for (XML_NODE *c = node->first_child; c; c = c->next_sibling)
        if (!all_closed(c)) return false;
    return true;
}

const char *const kMessages[] = {
    "get_device_information_soapenv.xml",
    "get_capabilities_s.xml",
    "soap_fault_env.xml",
    "get_system_date_and_time_noprefix.xml",
    "probe_match.xml",
    "hello.xml",
    "bye.xml",
    "cdata_reply.xml",
};

std::string must_read(const char *name)
{
    std::string s = read_data(name);
    EXPECT_FALSE(s.empty()) << "missing test data " << name << " in " << xml_test::data_dir();
    return s;
}

// Real SOAP replies and WS-Discovery datagrams: elements and attributes found
// by their local names whatever prefix the sender used, texts as sent.
TEST(XmlTree, RealMessagesWithAnyPrefix)
{
    struct Row {
        const char *file;
        std::vector<const char *> path; // child names from the root
        const char *attr;               // null: the element's text
        const char *want;               // "(none)": no text / not found
    };
    const char *caps = "get_capabilities_s.xml", *info = "get_device_information_soapenv.xml";
    const char *fault = "soap_fault_env.xml", *sdt = "get_system_date_and_time_noprefix.xml";
    const char *pm = "probe_match.xml";
    const std::vector<const char *> cap = {"SOAP-ENV:Body", "GetCapabilitiesResponse",
                                           "Capabilities"};
    const std::vector<const char *> inf = {"s:Body", "GetDeviceInformationResponse"};
    const std::vector<const char *> match = {"Body", "ProbeMatches", "ProbeMatch"};
    auto in = [](std::vector<const char *> base, std::initializer_list<const char *> more) {
        base.insert(base.end(), more);
        return base;
    };
    const Row rows[] = {
        {info, in(inf, {"Manufacturer"}), nullptr, "Corvanta"},
        {info, in(inf, {"x:FirmwareVersion"}), nullptr, "V2.4.1 build 230915"},
        {info, in(inf, {"serialnumber"}), nullptr, "CV2309150042"},
        {info, in(inf, {"Missing"}), nullptr, "(none)"},
        {info, {"env:Header"}, nullptr, "(none)"},
        {info, {}, "xmlns:tds", "http://www.onvif.org/ver10/device/wsdl"},
        {caps, in(cap, {"Device", "XAddr"}), nullptr, "http://192.168.1.64/onvif/device_service"},
        {caps, in(cap, {"Device", "Security", "tt:TLS1.2"}), nullptr, "false"},
        {fault, {"s:Body", "Fault", "Code", "Subcode", "Value"}, nullptr, "ter:NotAuthorized"},
        {fault, {"s:Body", "Fault", "Reason", "Text"}, nullptr, "Sender not Authorized"},
        {fault, {"s:Body", "Fault", "Reason", "Text"}, "XML:Lang", "en"},
        {sdt,
         {"s:Body", "tds:GetSystemDateAndTimeResponse", "SystemDateAndTime", "DateTimeType"},
         "xmlns",
         "http://www.onvif.org/ver10/schema"},
        {sdt,
         {"Body", "GetSystemDateAndTimeResponse", "SystemDateAndTime", "UTCDateTime", "Time",
          "Second"},
         nullptr,
         "41"},
        {pm, {"Header", "Action"}, "s:mustUnderstand", "true"},
        {pm, {"Header", "AppSequence"}, "instanceid", "1700000000"},
        {pm, {"Header", "AppSequence"}, nullptr, "(none)"},
        {pm, in(match, {"EndpointReference", "Address"}), nullptr,
         "urn:uuid:5a3c8e10-1dd2-11b2-8d4f-a4d578e1c2b0"},
        {pm, in(match, {"XAddrs"}), nullptr,
         "http://192.168.1.64/onvif/device_service "
         "http://[fe80::a6d5:78ff:fee1:c2b0]/onvif/device_service"},
        {"hello.xml",
         {"Body", "Hello", "XAddrs"},
         nullptr,
         "http://192.168.1.65:8080/onvif/device_service"},
        {"bye.xml",
         {"Body", "Bye", "EndpointReference", "Address"},
         nullptr,
         "urn:uuid:7e1f0c22-4b6a-4d1e-9c3a-a4d578e1c2b1"},
        {"bye.xml", {"Body", "Bye", "XAddrs"}, nullptr, "(none)"},
    };
    for (const Row &r : rows) {
        Parsed p(must_read(r.file));
        ASSERT_NE(p.root, nullptr) << r.file;
        XML_NODE *n = p.root;
        for (const char *name : r.path)
            n = xml_node_soap_get(n, name);
        std::string got =
            r.attr ? (xml_attr_get(n, r.attr) ? xml_attr_get(n, r.attr) : "(none)") : text_of(n);
        EXPECT_EQ(r.want, got) << r.file << " " << (r.path.empty() ? "" : r.path.back());
    }
    // The root's name as sent; the exact-name lookup is not prefix-insensitive.
    Parsed p(must_read(info));
    EXPECT_STREQ(p.root->name, "SOAP-ENV:Envelope");
    EXPECT_EQ(xml_node_get(p.root, "s:Body"), nullptr);
    EXPECT_NE(xml_node_get(p.root, "soap-env:BODY"), nullptr);
}

// Offset just behind the root's end tag: the last non-whitespace byte.
size_t complete_length(const std::string &msg)
{
    size_t n = msg.size();
    while (n > 0 &&
           (msg[n - 1] == ' ' || msg[n - 1] == '\n' || msg[n - 1] == '\r' || msg[n - 1] == '\t'))
        n--;
    return n;
}

TEST(XmlTree, EveryTruncationFailsCleanly)
{
    for (const char *name : kMessages) {
        std::string msg = must_read(name);
        size_t complete = complete_length(msg);
        for (size_t n = 0; n <= msg.size(); n++) {
            for (bool with_nul : {true, false}) {
                HeapText in(msg, n, with_nul);
                XML_NODE *root = xxx_hxml_parse(in.data(), in.len);
                EXPECT_EQ(root != nullptr, n >= complete)
                    << name << " prefix " << n << (with_nul ? "" : " (no NUL)");
                if (root) {
                    EXPECT_GT(check_links(root), 0);
                }
                xml_node_del(root);
            }
        }
    }
}

TEST(XmlTree, AllocationFailureAnywhereFailsTheWholeParse)
{
    const std::string msg = must_read("probe_match.xml");
    long before = xml_internal::xml_alloc_count();
    {
        Parsed full(msg);
        ASSERT_NE(full.root, nullptr);
    }
    long records = xml_internal::xml_alloc_count() - before;
    ASSERT_GT(records, 20);
    for (long k = 1; k <= records; k++) {
        HeapText in(msg);
        xml_internal::xml_fail_alloc_at((int)k);
        XML_NODE *root = xxx_hxml_parse(in.data(), in.len);
        xml_internal::xml_fail_alloc_at(0);
        EXPECT_EQ(root, nullptr) << "allocation " << k;
        xml_node_del(root);
    }
    // One more than needed: nothing fails.
    HeapText in(msg);
    xml_internal::xml_fail_alloc_at((int)records + 1);
    XML_NODE *root = xxx_hxml_parse(in.data(), in.len);
    xml_internal::xml_fail_alloc_at(0);
    EXPECT_NE(root, nullptr);
    xml_node_del(root);
}

TEST(XmlTree, ShapeOfSmallDocuments)
{
    {
        Parsed p("<a><b x=\"1\" y=2/></a>");
        ASSERT_NE(p.root, nullptr);
        XML_NODE *b = p.root->first_child;
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b, p.root->last_child);
        EXPECT_STREQ(b->name, "b");
        EXPECT_EQ(b->closed, 1);
        EXPECT_EQ(p.root->closed, 1);
        EXPECT_EQ(b->text, nullptr);
        ASSERT_NE(b->first_attr, nullptr);
        EXPECT_STREQ(b->first_attr->name, "x");
        EXPECT_STREQ(b->first_attr->text, "1");
        EXPECT_STREQ(b->last_attr->name, "y");
        EXPECT_EQ(b->last_attr->text_len, 1);
        EXPECT_EQ(xml_attr_node_get(b, "y"), b->last_attr);
        EXPECT_EQ(check_links(p.root), 2);
    }
    {
        Parsed p("<a>  hello  </a>");
        ASSERT_NE(p.root, nullptr);
        EXPECT_EQ(p.root->text_len, 7);
    }
    {
        Parsed p("<a q=\"x &amp; y\">1 &lt; 2</a>");
        ASSERT_NE(p.root, nullptr);
        EXPECT_STREQ(xml_attr_get(p.root, "q"), "x &amp; y");
        EXPECT_EQ(write(p.root), "<a q=\"x &amp; y\">1 &lt; 2</a>");
    }
}

TEST(XmlTree, FailuresGiveNoTree)
{
    const char *bad[] = {
        "<a>text<b/></a>", "<a><b/>text</a>",        "<a></b>", "</a>", "<a><b>", "x<a/>", "",
        " \r\n ",          "<?xml version=\"1.0\"?>"};
    for (const char *text : bad) {
        Parsed p(text);
        EXPECT_EQ(p.root, nullptr) << text;
    }
    EXPECT_EQ(xxx_hxml_parse(nullptr, 4), nullptr);
    char text[] = "<a/>";
    EXPECT_EQ(xxx_hxml_parse(text, -1), nullptr);
    EXPECT_NE(text[0], '\0');
}

TEST(XmlTree, NestingLimitAndDeepTrees)
{
    auto nested = [](int levels) {
        std::string s;
        for (int i = 0; i < levels; i++)
            s += "<e x=\"" + std::to_string(i) + "\">";
        s += "t";
        for (int i = 0; i < levels; i++)
            s += "</e>";
        return s;
    };
    {
        Parsed p(nested(HXML_MAX_DEPTH));
        ASSERT_NE(p.root, nullptr);
        EXPECT_EQ(check_links(p.root), HXML_MAX_DEPTH);
        std::string out = write(p.root);
        EXPECT_EQ(out.size(), nested(HXML_MAX_DEPTH).size());
    }
    {
        Parsed p(nested(HXML_MAX_DEPTH + 1));
        EXPECT_EQ(p.root, nullptr);
    }

    // Trees built by hand have no depth limit; writing and deleting them
    // must not recurse.
    const int levels = 100000;
    XML_NODE *root = xml_node_add(nullptr, "e");
    ASSERT_NE(root, nullptr);
    XML_NODE *n = root;
    for (int i = 1; i < levels && n; i++)
        n = xml_node_add(n, "e");
    ASSERT_NE(n, nullptr);
    const int expect_len = (levels - 1) * 7 + 4;
    EXPECT_EQ(xml_calc_buf_len(root), expect_len + levels);
    std::vector<char> buf((size_t)expect_len + 1);
    EXPECT_EQ(xml_nwrite_buf(root, buf.data(), (int)buf.size()), expect_len);
    EXPECT_EQ(xml_nwrite_buf(root, buf.data(), (int)buf.size() - 1), -1);
    xml_node_del(root);
}

TEST(XmlTree, CdataSectionsAreTextAndWriteBackAsSections)
{
    Parsed p(must_read("cdata_reply.xml"));
    ASSERT_NE(p.root, nullptr);
    XML_NODE *resp = path(p.root, {"Body", "GetAnalyticsModulesResponse"});
    XML_NODE *item = path(resp, {"AnalyticsModule", "Parameters", "ElementItem"});
    EXPECT_EQ(text_of(item), "<tt:CellLayout Columns=\"22\" Rows=\"18\"/>");
    EXPECT_EQ(item->first_child, nullptr); // text, not markup
    EXPECT_STREQ(xml_attr_get(item, "Name"), "Layout");
    EXPECT_EQ(text_of(xml_node_soap_get(resp, "Note")), "a &amp; b x < y && ]]> tail ");
    EXPECT_EQ(xml_node_soap_get(resp, "Empty")->text, nullptr);

    // Written back, such text is a section again (a "]]>" split over two),
    // so a kept fragment never turns into markup; plain text is unchanged.
    EXPECT_EQ(write(item), "<tt:ElementItem Name=\"Layout\"><![CDATA[<tt:CellLayout Columns=\"22\" "
                           "Rows=\"18\"/>]]></tt:ElementItem>");
    EXPECT_EQ(write(xml_node_soap_get(resp, "Note")),
              "<tan:Note><![CDATA[a &amp; b x < y && ]]]]><![CDATA[>"
              " tail ]]></tan:Note>");

    struct Case {
        const char *text;
        const char *written;
    } cases[] = {
        {"1 &amp; 2 &#60; &#x3C; &lt;", "<t>1 &amp; 2 &#60; &#x3C; &lt;</t>"},
        {"a & b", "<t><![CDATA[a & b]]></t>"},
        {"a &amp b", "<t><![CDATA[a &amp b]]></t>"},
        {"&", "<t><![CDATA[&]]></t>"},
        {"]]>", "<t>]]></t>"},
        {"<]]>]]>", "<t><![CDATA[<]]]]><![CDATA[>]]]]><![CDATA[>]]></t>"},
    };
    for (const Case &c : cases) {
        XML_NODE *t = xml_node_add(nullptr, "t");
        xml_cdata_set(t, c.text, (int)std::strlen(c.text));
        std::string out = write(t);
        EXPECT_EQ(out, c.written) << c.text;
        EXPECT_EQ(xml_calc_buf_len(t), (int)out.size() + 1);
        Parsed again(out);
        ASSERT_NE(again.root, nullptr) << out;
        EXPECT_EQ(text_of(again.root), c.text);
        xml_node_del(t);
    }
}

// Records live in the tree's pages: edits of a parsed tree reuse released
// records, and every link stays right through many rounds of them.
TEST(XmlArena, EditsOfAParsedTreeKeepItConsistent)
{
    Parsed p(must_read("get_capabilities_s.xml"));
    ASSERT_NE(p.root, nullptr);
    uint32_t seed = 7;
    auto rnd = [&seed](size_t n) {
        seed = seed * 1103515245u + 12345u;
        return (size_t)((seed >> 16) % (uint32_t)n);
    };
    auto elements = [](XML_NODE *root) {
        std::vector<XML_NODE *> all;
        for (XML_NODE *n = root; n;) {
            all.push_back(n);
            if (n->first_child) {
                n = n->first_child;
                continue;
            }
            while (n != root && !n->next_sibling)
                n = n->parent;
            n = n == root ? nullptr : n->next_sibling;
        }
        return all;
    };
    long count = check_links(p.root);
    for (int round = 0; round < 300; round++) {
        std::vector<XML_NODE *> all = elements(p.root);
        ASSERT_EQ((long)all.size(), count);
        if (round % 3 == 2 && all.size() > 1) {
            XML_NODE *victim = all[1 + rnd(all.size() - 1)];
            long gone = check_links(victim);
            xml_node_del(victim);
            count -= gone;
        } else {
            XML_NODE *parent = all[rnd(all.size())];
            XML_NODE *n = xml_node_add(parent, "added");
            ASSERT_NE(n, nullptr);
            ASSERT_NE(xml_attr_add(n, "k", "v"), nullptr);
            ASSERT_NE(xml_attr_add(n, "drop", "x"), nullptr);
            EXPECT_EQ(xml_attr_del(n, "drop"), 0);
            if (!parent->text) xml_node_add(n, "leaf");
            count += parent->text ? 1 : 2;
        }
        ASSERT_EQ(check_links(p.root), count) << "round " << round;
    }
    std::string out = write(p.root);
    Parsed again(out);
    ASSERT_NE(again.root, nullptr);
    EXPECT_EQ(check_links(again.root), count);
}

TEST(XmlArena, LargeTreesSpanManyPages)
{
    const int n = 5000;
    std::string s = "<r>";
    for (int i = 0; i < n; i++)
        s += "<e i=\"" + std::to_string(i) + "\" j=\"x\">" + std::to_string(i) + "</e>";
    s += "</r>";
    {
        Parsed p(s);
        ASSERT_NE(p.root, nullptr);
        EXPECT_EQ(check_links(p.root), n + 1);
        int i = 0;
        for (XML_NODE *e = p.root->first_child; e; e = e->next_sibling, i++) {
            ASSERT_EQ(text_of(e), std::to_string(i));
            ASSERT_STREQ(xml_attr_get(e, "i"), std::to_string(i).c_str());
        }
        EXPECT_EQ(i, n);
        EXPECT_EQ(write(p.root), s);
    }
    // Built by hand, from a lone root: the same.
    XML_NODE *root = xml_node_add(nullptr, "r");
    for (int i = 0; i < n; i++) {
        XML_NODE *e = xml_node_add(root, "e");
        ASSERT_NE(e, nullptr);
        ASSERT_NE(xml_attr_add(e, "k", "v"), nullptr);
    }
    EXPECT_EQ(check_links(root), n + 1);
    xml_node_del(root);
}

TEST(XmlNames, PrefixInsensitiveComparison)
{
    EXPECT_EQ(soap_strcmp("tds:Device", "Device"), 0);
    EXPECT_EQ(soap_strcmp("s:Body", "SOAP-ENV:Body"), 0);
    EXPECT_EQ(soap_strcmp("s:Body", "env:BODY"), 0);
    EXPECT_EQ(soap_strcmp("S:BODY", "s:body"), 0);
    EXPECT_NE(soap_strcmp("a:X", "b:Y"), 0);
    EXPECT_NE(soap_strcmp("Body", "Bod"), 0);
    EXPECT_EQ(soap_strcmp("a:b:c", "x:b:c"), 0); // local part is after the first ':'
    EXPECT_NE(soap_strcmp("a:b:c", "b:c"), 0);
    EXPECT_NE(soap_strcmp("a:b:c", "c"), 0);
    EXPECT_EQ(soap_strcmp(":x", "x"), 0);
    // Null never matches.
    EXPECT_NE(soap_strcmp(nullptr, "x"), 0);
    EXPECT_NE(soap_strcmp("x", nullptr), 0);
    EXPECT_NE(soap_strcmp(nullptr, nullptr), 0);
}

TEST(XmlNames, LocalPartCopyIsBounded)
{
    char buf[12];
    std::memset(buf, 'Z', sizeof(buf));
    soap_strncpy(buf, "tt:Name", 4); // exactly the local part's length: no terminator
    EXPECT_EQ(std::string(buf, 5), "NameZ");

    std::memset(buf, 'Z', sizeof(buf));
    soap_strncpy(buf, "tt:Name", 5); // one more: terminated
    EXPECT_EQ(std::string(buf, 6), std::string("Name\0Z", 6));

    std::memset(buf, 'Z', sizeof(buf));
    soap_strncpy(buf, "LongerThanIt", 3);
    EXPECT_EQ(std::string(buf, 4), "LonZ");

    std::memset(buf, 'Z', sizeof(buf));
    soap_strncpy(buf, "a:b:c", 8); // padded with NUL up to n
    EXPECT_EQ(std::string(buf, 9), std::string("b:c\0\0\0\0\0Z", 9));

    std::memset(buf, 'Z', sizeof(buf));
    soap_strncpy(buf, nullptr, 5);
    soap_strncpy(nullptr, "x", 5);
    soap_strncpy(buf, "x", 0);
    soap_strncpy(buf, "x", -3);
    EXPECT_EQ(buf[0], 'Z');
}

TEST(XmlNames, LookupsAreNullSafeAndSkipNonMatches)
{
    Parsed p("<r xmlns:a=\"A\" a:id=\"7\"><a:x>1</a:x><b:x>2</b:x><X>3</X></r>");
    ASSERT_NE(p.root, nullptr);
    EXPECT_EQ(text_of(xml_node_soap_get(p.root, "x")), "1");   // first match wins
    EXPECT_EQ(text_of(xml_node_soap_get(p.root, "b:x")), "1"); // the prefix doesn't select
    EXPECT_EQ(text_of(xml_node_get(p.root, "x")), "3");
    EXPECT_EQ(text_of(xml_node_get(p.root, "B:X")), "2");
    EXPECT_STREQ(xml_attr_get(p.root, "id"), "7");
    EXPECT_STREQ(xml_attr_get(p.root, "a"), "A"); // xmlns:a by its local part
    EXPECT_EQ(xml_attr_get(p.root, "missing"), nullptr);

    EXPECT_EQ(xml_node_soap_get(nullptr, "x"), nullptr);
    EXPECT_EQ(xml_node_soap_get(p.root, nullptr), nullptr);
    EXPECT_EQ(xml_node_get(nullptr, "x"), nullptr);
    EXPECT_EQ(xml_node_get(p.root, nullptr), nullptr);
    EXPECT_EQ(xml_attr_get(nullptr, "x"), nullptr);
    EXPECT_EQ(xml_attr_get(p.root, nullptr), nullptr);
    EXPECT_EQ(xml_attr_node_get(nullptr, "x"), nullptr);
    EXPECT_EQ(xml_attr_node_get(p.root, nullptr), nullptr);
}

TEST(XmlEdit, AddAndDeleteKeepListsRight)
{
    XML_NODE *root = xml_node_add(nullptr, "root");
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(root->closed, 0);
    XML_NODE *c[4];
    const char *names[4] = {"c0", "c1", "c2", "c3"};
    for (int i = 0; i < 4; i++) {
        c[i] = xml_node_add(root, names[i]);
        ASSERT_NE(c[i], nullptr);
    }
    XML_NODE *grand = xml_node_add(c[1], "g");
    ASSERT_NE(xml_attr_add(grand, "k", "v"), nullptr);
    EXPECT_EQ(check_links(root), 6);

    xml_node_del(c[1]); // middle, with a sub-tree
    EXPECT_EQ(check_links(root), 4);
    EXPECT_EQ(write(root), "<root><c0/><c2/><c3/></root>");
    xml_node_del(c[0]); // first
    xml_node_del(c[3]); // last
    EXPECT_EQ(check_links(root), 2);
    EXPECT_EQ(root->first_child, c[2]);
    EXPECT_EQ(root->last_child, c[2]);
    xml_node_del(c[2]); // only
    EXPECT_EQ(root->first_child, nullptr);
    EXPECT_EQ(root->last_child, nullptr);
    EXPECT_EQ(write(root), "<root/>");

    EXPECT_EQ(xml_node_add(root, nullptr), nullptr);
    EXPECT_EQ(xml_attr_add(nullptr, "k", "v"), nullptr);
    EXPECT_EQ(xml_attr_add(root, nullptr, "v"), nullptr);
    EXPECT_EQ(xml_attr_add(root, "k", nullptr), nullptr);
    XML_NODE *attr = xml_attr_add(root, "k", "value");
    ASSERT_NE(attr, nullptr);
    EXPECT_EQ(attr->text_len, 5);
    EXPECT_EQ(attr->kind, XML_NODE_ATTR);
    EXPECT_EQ(xml_node_add(attr, "child"), nullptr); // attributes have no children
    xml_node_del(nullptr);
    xml_node_del(root);
}

TEST(XmlEdit, AttributeDeletion)
{
    XML_NODE *n = xml_node_add(nullptr, "n");
    ASSERT_NE(n, nullptr);
    const char *names[] = {"a", "b", "c", "d"};
    for (const char *name : names)
        ASSERT_NE(xml_attr_add(n, name, "1"), nullptr);
    EXPECT_EQ(xml_attr_del(n, "B"), 0); // middle, any case
    EXPECT_EQ(xml_attr_del(n, "a"), 0); // first
    EXPECT_EQ(xml_attr_del(n, "d"), 0); // last
    EXPECT_EQ(check_links(n), 1);
    EXPECT_EQ(write(n), "<n c=\"1\"/>");
    EXPECT_EQ(xml_attr_del(n, "x"), -1);
    EXPECT_EQ(xml_attr_del(n, "x:c"), -1); // whole names only
    EXPECT_EQ(xml_attr_del(n, "c"), 0);    // only
    EXPECT_EQ(n->first_attr, nullptr);
    EXPECT_EQ(n->last_attr, nullptr);
    EXPECT_EQ(xml_attr_del(n, "c"), -1);
    EXPECT_EQ(xml_attr_del(nullptr, "c"), -1);
    EXPECT_EQ(xml_attr_del(n, nullptr), -1);

    xml_cdata_set(n, "text", 0);
    EXPECT_EQ(n->text, nullptr);
    xml_cdata_set(n, nullptr, 3);
    EXPECT_EQ(n->text, nullptr);
    xml_cdata_set(nullptr, "text", 4);
    xml_cdata_set(n, "text", 4);
    EXPECT_STREQ(n->text, "text");
    EXPECT_EQ(n->text_len, 4);
    EXPECT_EQ(write(n), "<n>text</n>");
    xml_node_del(n);
}

TEST(XmlWriter, ExactTextAndSizeBound)
{
    Parsed p("<a x=\"1\">\n  <b>t</b>\n  <c/>\n</a>");
    ASSERT_NE(p.root, nullptr);
    const std::string expect = "<a x=\"1\"><b>t</b><c/></a>";
    const int len = (int)expect.size();
    EXPECT_EQ(xml_calc_buf_len(p.root), len + 3);
    EXPECT_EQ(write(p.root), expect);
    EXPECT_EQ(write(p.root->first_child), "<b>t</b>"); // never the following siblings

    // Buffers of exactly `size` bytes: len + 1 fits (text and NUL), less doesn't.
    for (int size = 0; size <= len + 1; size++) {
        std::unique_ptr<char[]> buf(new char[(size_t)size]);
        int n = xml_nwrite_buf(p.root, buf.get(), size);
        if (size == len + 1) {
            EXPECT_EQ(n, len);
            EXPECT_EQ(std::string(buf.get()), expect);
        } else {
            EXPECT_EQ(n, -1) << size;
            if (size > 0) {
                EXPECT_EQ(buf[0], '\0');
            }
        }
    }
    std::vector<char> big((size_t)len + 3, 'Z');
    EXPECT_EQ(xml_write_buf(p.root, big.data()), len);
    EXPECT_EQ(std::string(big.data()), expect);

    EXPECT_EQ(xml_nwrite_buf(nullptr, big.data(), 100), -1);
    EXPECT_EQ(xml_nwrite_buf(p.root, nullptr, 100), -1);
    EXPECT_EQ(xml_calc_buf_len(nullptr), 0);
    // A name as long as the buffer can't fit.
    XML_NODE *n = xml_node_add(nullptr, "abcd");
    char small[5];
    EXPECT_EQ(xml_nwrite_buf(n, small, 4), -1);
    EXPECT_EQ(xml_nwrite_buf(n, small, 5), -1); // "<abcd/>" needs 8
    n->name = nullptr;
    EXPECT_EQ(xml_nwrite_buf(n, small, 5), -1);
    EXPECT_EQ(xml_calc_buf_len(n), -1);
    xml_node_del(n);
}

TEST(XmlWriter, RealMessagesRoundTrip)
{
    for (const char *name : kMessages) {
        Parsed p(must_read(name));
        ASSERT_NE(p.root, nullptr) << name;
        EXPECT_TRUE(all_closed(p.root)) << name;
        long elements = check_links(p.root);
        EXPECT_GT(elements, 3) << name;
        std::string out = write(p.root);
        EXPECT_EQ(xml_calc_buf_len(p.root), (long)out.size() + elements) << name;
        Parsed again(out);
        ASSERT_NE(again.root, nullptr) << name;
        EXPECT_EQ(check_links(again.root), elements) << name;
        EXPECT_EQ(write(again.root), out) << name;
    }
}

// Deterministic pseudo-random trees built with xml_node_add, with arbitrary
// names, texts and attributes: the size bound must hold for every one.
TEST(XmlWriter, BuiltTreesNeverOverrun)
{
    const char *words[] = {"",
                           "a",
                           "s:Body",
                           "x y",
                           "<>&\"'",
                           "tt:VeryLongElementNameForTesting",
                           "\xC3\xA4\xC3\xB6",
                           "0123456789012345678901234567890123456789"};
    const int nwords = (int)(sizeof(words) / sizeof(words[0]));
    uint32_t seed = 12345;
    auto rnd = [&seed](int n) {
        seed = seed * 1103515245u + 12345u;
        return (int)((seed >> 16) % (uint32_t)n);
    };
    for (int t = 0; t < 200; t++) {
        XML_NODE *root = xml_node_add(nullptr, words[1 + rnd(nwords - 1)]);
        std::vector<XML_NODE *> all = {root};
        int count = 1 + rnd(40);
        for (int i = 1; i < count; i++) {
            XML_NODE *node = xml_node_add(all[(size_t)rnd((int)all.size())], words[rnd(nwords)]);
            ASSERT_NE(node, nullptr);
            all.push_back(node);
            for (int k = rnd(3); k > 0; k--)
                xml_attr_add(node, words[rnd(nwords)], words[rnd(nwords)]);
            if (rnd(2)) {
                const char *w = words[rnd(nwords)];
                xml_cdata_set(node, w, (int)std::strlen(w));
            }
        }
        int calc = xml_calc_buf_len(root);
        ASSERT_GT(calc, 0);
        std::vector<char> full((size_t)calc);
        int len = xml_nwrite_buf(root, full.data(), calc);
        ASSERT_GE(len, 0);
        EXPECT_EQ(calc, len + (int)all.size());
        EXPECT_EQ((int)std::strlen(full.data()), len);
        // Exactly sized heap buffers around the needed size, plus a canary check.
        for (int size : {len + 1, len, len - 1, len / 2, 1}) {
            if (size < 1) continue;
            std::unique_ptr<char[]> exact(new char[(size_t)size]);
            int r = xml_nwrite_buf(root, exact.get(), size);
            EXPECT_EQ(r, size == len + 1 ? len : -1) << "tree " << t << " size " << size;
            std::vector<char> guarded((size_t)size + 16, 'Z');
            xml_nwrite_buf(root, guarded.data(), size);
            for (size_t i = (size_t)size; i < guarded.size(); i++)
                ASSERT_EQ(guarded[i], 'Z') << "tree " << t << " size " << size;
        }
        xml_node_del(root);
    }
}

} // namespace
