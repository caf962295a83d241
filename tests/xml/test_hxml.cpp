// Tokenizer tests: the events it reports, how it cuts the buffer, and that
// malformed or truncated input fails without touching memory outside the
// input (inputs are exactly-sized heap copies, checked by ASan in that build).
#include "xml/hxml.h"
#include "xml_test_util.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

// Records every callback as one line of text.
struct Recorder {
    std::vector<std::string> events;
};

void rec_start(void *ud, const char *name, const char **attrs)
{
    std::string e = std::string("S ") + name;
    for (int i = 0; i < HXML_ATTR_SLOTS && attrs[i]; i += 2)
        e += std::string(" [") + attrs[i] + "]=[" + (attrs[i + 1] ? attrs[i + 1] : "(null)") + "]";
    static_cast<Recorder *>(ud)->events.push_back(e);
}

void rec_end(void *ud, const char *name)
{
    static_cast<Recorder *>(ud)->events.push_back(std::string("E ") + name);
}

void rec_text(void *ud, const char *text, int len)
{
    static_cast<Recorder *>(ud)->events.push_back("T [" + std::string(text) + "] " +
                                                  std::to_string(len));
}

struct TokResult {
    int rc;
    std::vector<std::string> events;
    std::string buffer; // the input after the run (with its cuts)
};

// Tokenizes an exactly-sized heap copy; with_nul adds the NUL that callers
// normally keep behind their data (without it ASan checks that buf_end is
// never read).
TokResult tokenize(const std::string &text, bool with_nul = true)
{
    HeapText in(text, with_nul);
    Recorder rec;
    HXML_PARSER p;
    std::memset(&p, 0, sizeof(p));
    p.buf_start = in.data();
    p.buf_end = in.data() + in.len;
    p.cursor = in.data();
    p.user_data = &rec;
    p.on_element_start = rec_start;
    p.on_element_end = rec_end;
    p.on_text = rec_text;
    TokResult r;
    r.rc = hxml_parse(&p);
    r.events = rec.events;
    r.buffer.assign(in.data(), (size_t)in.len);
    return r;
}

using Events = std::vector<std::string>;

TEST(Hxml, DeclarationIsOptionalAndSkippedOnce)
{
    Events expect = {"S a [v]=[1]", "E a"};
    EXPECT_EQ(tokenize("<?xml version=\"1.0\"?>\r\n\t <a v=\"1\"/>").events, expect);
    EXPECT_EQ(tokenize("<a v=\"1\"/>").events, expect);
    EXPECT_EQ(tokenize("  \n<a v=\"1\"/>").rc, 0);
    // Nothing at all, or only blanks and a declaration: no events, no failure.
    for (const char *empty : {"", " \r\n\t", "<?xml version=\"1.0\"?>  "})
        EXPECT_EQ(tokenize(empty).rc, 0) << empty;
    EXPECT_TRUE(tokenize("<?xml version=\"1.0\"?>").events.empty());
    // The declaration ends at the first "?>", even inside quotes.
    EXPECT_EQ(tokenize("<?xml a=\"?>\"?><a v=\"1\"/>").rc, -1);
    // A second processing instruction is not a declaration: read as a tag, never closed.
    EXPECT_EQ(tokenize("<?xml version=\"1.0\"?><?pi x?><a/>").rc, -1);
}

TEST(Hxml, LeadingUtf8ByteOrderMarkIsSkipped)
{
    TokResult r = tokenize("\xEF\xBB\xBF<?xml version=\"1.0\"?><a>x</a>");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.events, (Events{"S a", "T [x] 1", "E a"}));
    // Only at the very start, and only the UTF-8 mark.
    EXPECT_EQ(tokenize(" \xEF\xBB\xBF<a/>").rc, -1);
    EXPECT_EQ(tokenize("\xFF\xFE<a/>").rc, -1);
}

TEST(Hxml, AttributesQuotedUnquotedAndSingleQuoted)
{
    TokResult r = tokenize("<a><b x=\"1\" y=2/></a>");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.events, (Events{"S a", "S b [x]=[1] [y]=[2]", "E b", "E a"}));

    r = tokenize("<a x='1' y = \"two words\"\tz=\"a>b/>c\" q='say \"hi\"' w=>x</a>");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.events[0], "S a [x]=[1] [y]=[two words] [z]=[a>b/>c] [q]=[say \"hi\"] [w]=[]");

    // Bare value ended by '>' and by "/>" without a blank.
    EXPECT_EQ(tokenize("<a k=v>t</a>").events, (Events{"S a [k]=[v]", "T [t] 1", "E a"}));
    EXPECT_EQ(tokenize("<a k=v/>").events, (Events{"S a [k]=[v]", "E a"}));
    // A word without '=' is dropped; the tag still ends correctly.
    EXPECT_EQ(tokenize("<a k=\"1\" flag>t</a>").events, (Events{"S a [k]=[1]", "T [t] 1", "E a"}));
    EXPECT_EQ(tokenize("<a flag/>").events, (Events{"S a", "E a"}));
    // Entities are not decoded.
    EXPECT_EQ(tokenize("<a q=\"x &amp; y\"/>").events[0], "S a [q]=[x &amp; y]");
}

TEST(Hxml, TextKeepsTrailingWhitespaceOnly)
{
    TokResult r = tokenize("<a>  hello  </a>");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.events, (Events{"S a", "T [hello  ] 7", "E a"}));
    // Whitespace-only content is no text.
    EXPECT_EQ(tokenize("<a> \r\n\t </a>").events, (Events{"S a", "E a"}));
    // Text may contain '>' and entity references, kept as written.
    EXPECT_EQ(tokenize("<a>1 &lt; 2 > 0</a>").events[1], "T [1 &lt; 2 > 0] 12");
}

TEST(Hxml, EndTagsMatchIgnoringCase)
{
    TokResult r = tokenize("<s:Body><x:A></X:a ></S:BODY>");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.events, (Events{"S s:Body", "S x:A", "E X:a", "E S:BODY"}));
}

TEST(Hxml, CommentsBetweenElementsAreSkipped)
{
    TokResult r = tokenize("<!-- head --><a><!-- note --><b/><!----></a>");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.events, (Events{"S a", "S b", "E b", "E a"}));
    // "<!-->" does not close itself.
    EXPECT_EQ(tokenize("<a><!--> <b/> --></a>").events, (Events{"S a", "E a"}));
}

TEST(Hxml, StopsBehindOutermostElement)
{
    // Nothing after the outermost element is read, whatever it is.
    TokResult r = tokenize("<a><b/></a> trailing <junk");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.events.back(), "E a");
    EXPECT_NE(r.buffer.find("trailing <junk"), std::string::npos);
    // Also when the outermost element holds only text.
    r = tokenize("<a>x</a><b>");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.events, (Events{"S a", "T [x] 1", "E a"}));
    EXPECT_EQ(tokenize("<a/><b>").rc, 0);
}

TEST(Hxml, MalformedInputFails)
{
    const char *bad[] = {
        "text<a/>",             // text outside an element
        "</a>",                 // end tag with nothing open
        "<a></b>",              // mismatched end tag
        "<s:a></t:a>",          // the prefix is part of the name
        "<a>",                  // ends inside an open element
        "<a><b></b>",           // same, one level down
        "<a>text<b/></a>",      // text before a child
        "<a><b/>text</a>",      // text after a child
        "<a>x<!-- c --></a>",   // text must be followed by the end tag
        "<a>x</a",              // end tag without '>'
        "<a></a b>",            // junk in the end tag
        "<a x=\"1></a>",        // unterminated quoted value
        "<a x='1></a>",         // unterminated single-quoted value
        "<a x=1",               // bare value running to the end
        "<a x",                 // attribute name running to the end
        "<a x=",                // no value at all
        "<abc",                 // element name running to the end
        "<a/",                  // "/" without '>'
        "<>",                   // empty element name
        "< />",                 // empty element name
        "<",                    // lone '<'
        "</",                   // lone "</"
        "<a><!-- open",         // comment without "-->" inside an element
        "<!DOCTYPE a><a/>",     // document type declaration: never closed
        "<a>x</a>\xEF\xBB\xBF", // fine: stops behind the element (checked below)
    };
    for (size_t i = 0; i + 1 < sizeof(bad) / sizeof(bad[0]); i++)
        EXPECT_EQ(tokenize(bad[i]).rc, -1) << bad[i];
    EXPECT_EQ(tokenize(bad[sizeof(bad) / sizeof(bad[0]) - 1]).rc, 0);

    // A comment with no end runs to the end of input: fine outside elements.
    EXPECT_EQ(tokenize("<!-- never closed").rc, 0);
    // A declaration with no end swallows the input.
    TokResult r = tokenize("<?xml version=\"1.0\" <a/>");
    EXPECT_EQ(r.rc, 0);
    EXPECT_TRUE(r.events.empty());
}

// CDATA sections are element text: the markers are cut out in place and
// the content is taken as written, next to ordinary text.
TEST(Hxml, CdataSectionsAreElementText)
{
    struct Case {
        const char *in;
        const char *text; // expected text event, or null for none
    };
    const Case cases[] = {
        {"<a><![CDATA[x]]></a>", "T [x] 1"},
        {"<a><![CDATA[<b>1 &amp; 2</b>]]></a>", "T [<b>1 &amp; 2</b>] 16"},
        {"<a>  <![CDATA[  kept  ]]></a>", "T [  kept  ] 8"}, // blanks inside are content
        {"<a>one <![CDATA[two]]> three</a>", "T [one two three] 13"},
        {"<a>&lt;<![CDATA[<]]>&gt;</a>", "T [&lt;<&gt;] 9"}, // references stay undecoded
        {"<a><![CDATA[a]]><![CDATA[b]]></a>", "T [ab] 2"},
        {"<a><![CDATA[x]]>  </a>", "T [x  ] 3"}, // trailing blanks as for text
        {"<a><![CDATA[]]]]></a>", "T []]] 2"},
        {"<a><![CDATA[a]]]></a>", "T [a]] 2"},
        {"<a><![CDATA[]]>]]></a>", "T []]>] 3"},   // a "]]>" after the section is text
        {"<a><![CDATA[</a>]]></a>", "T [</a>] 4"}, // markup inside is not read
        {"<a><![CDATA[<![CDATA[]]></a>", "T [<![CDATA[] 9"},
        {"<a><![CDATA[]]></a>", nullptr},     // empty: no text, as for blank content
        {"<a> <![CDATA[]]> </a>", "T [ ] 1"}, // blanks behind a section are kept
    };
    for (const Case &c : cases) {
        TokResult r = tokenize(c.in);
        ASSERT_EQ(r.rc, 0) << c.in;
        Events expect = {"S a"};
        if (c.text) expect.push_back(c.text);
        expect.push_back("E a");
        EXPECT_EQ(r.events, expect) << c.in;
    }
    // In a child, and as the content of the outermost element in a real reply.
    TokResult r = tokenize("<s:Envelope><s:Body><m><![CDATA[<x/>]]></m><n>t</n></s:Body>"
                           "</s:Envelope>");
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.events[3], "T [<x/>] 4");
    // The markers go; the text is moved to where the section began.
    r = tokenize("<a>x<![CDATA[yz]]>w</a>");
    EXPECT_EQ(r.buffer.substr(0, 8), std::string("<a\0xyzw\0", 8));
}

TEST(Hxml, CdataFailsWhereTextCannotStandOrWhenUnterminated)
{
    const char *bad[] = {
        "<a><![CDATA[x",            // no "]]>"
        "<a><![CDATA[x]]",          // "]]" without '>'
        "<a><![CDATA[x]>",          // one bracket
        "<a><![CDATA[x]]>",         // element never closed
        "<a><![CDATA[x]]><b/></a>", // text before a child
        "<a><b/><![CDATA[x]]></a>", // text after a child
        "<![CDATA[x]]><a/>",        // outside any element
        "<a/><![CDATA[x]]>",        // behind the root: not read, so this one passes (below)
        "<a><![CDATA[x]]><!-- c --></a>",
        "<a><![CDATA[",
        "<a><![CDATA",          // not a complete marker: read as a tag
        "<a><![cdata[x]]></a>", // markers are case-sensitive
    };
    for (const char *in : bad) {
        int expect = std::strcmp(in, "<a/><![CDATA[x]]>") == 0 ? 0 : -1;
        EXPECT_EQ(tokenize(in).rc, expect) << in;
    }
    // Every prefix of a message with sections, without a NUL behind it: the
    // scan never reads past the input (checked by ASan in that build).
    const std::string msg = "<a><b>p<![CDATA[q]]]>r]]>s<![CDATA[]]></b></a>";
    for (size_t n = 0; n <= msg.size(); n++) {
        TokResult t = tokenize(msg.substr(0, n), false);
        EXPECT_EQ(t.rc, n == 0 || n == msg.size() ? 0 : -1) << n;
    }
    EXPECT_EQ(tokenize(msg).events[2], "T [pq]r]]>s] 8");
}

TEST(Hxml, NestingLimitIs1023Levels)
{
    auto nested = [](int levels) {
        std::string s;
        for (int i = 0; i < levels; i++)
            s += "<e>";
        for (int i = 0; i < levels; i++)
            s += "</e>";
        return s;
    };
    TokResult ok = tokenize(nested(HXML_MAX_DEPTH));
    EXPECT_EQ(ok.rc, 0);
    EXPECT_EQ(ok.events.size(), 2u * HXML_MAX_DEPTH);
    EXPECT_EQ(tokenize(nested(HXML_MAX_DEPTH + 1)).rc, -1);
    // Self-closing elements count while they are open, too.
    std::string deep_leaf;
    for (int i = 0; i < HXML_MAX_DEPTH; i++)
        deep_leaf += "<e>";
    deep_leaf += "<leaf/>";
    for (int i = 0; i < HXML_MAX_DEPTH; i++)
        deep_leaf += "</e>";
    EXPECT_EQ(tokenize(deep_leaf).rc, -1);
}

TEST(Hxml, AttributeLimitIs99Pairs)
{
    auto tag = [](int n) {
        std::string s = "<a";
        for (int i = 0; i < n; i++)
            s += " k" + std::to_string(i) + "=\"v" + std::to_string(i) + "\"";
        return s + "/>";
    };
    TokResult r = tokenize(tag(HXML_MAX_ATTRS));
    ASSERT_EQ(r.rc, 0);
    EXPECT_NE(r.events[0].find("[k98]=[v98]"), std::string::npos);

    r = tokenize(tag(HXML_MAX_ATTRS + 1));
    ASSERT_EQ(r.rc, 0);
    EXPECT_NE(r.events[0].find("[k98]=[v98]"), std::string::npos);
    EXPECT_EQ(r.events[0].find("k99"), std::string::npos);

    // The pair array starts empty again for the next tag.
    r = tokenize("<a" + tag(150).substr(2, tag(150).size() - 4) + "><b/></a>");
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.events[1], "S b");
}

TEST(Hxml, NullCallbacksAndBadParserState)
{
    char text[] = "<a x=\"1\">t<!-- c --></a>";
    HXML_PARSER p;
    std::memset(&p, 0, sizeof(p));
    p.buf_start = text;
    p.buf_end = text + sizeof(text) - 1;
    p.depth = 7; // stale state from the caller is cleared
    p.name_stack[7] = "x";
    EXPECT_EQ(hxml_parse(&p), -1); // text followed by a comment: mixed content

    char good[] = "<a x=\"1\"><b>t</b></a>";
    std::memset(&p, 0, sizeof(p));
    p.buf_start = good;
    p.buf_end = good + sizeof(good) - 1;
    p.depth = 3;
    EXPECT_EQ(hxml_parse(&p), 0);
    EXPECT_EQ(p.depth, 0);

    EXPECT_EQ(hxml_parse(nullptr), -1);
    p.buf_start = good + 4;
    p.buf_end = good;
    EXPECT_EQ(hxml_parse(&p), -1);
    p.buf_start = nullptr;
    EXPECT_EQ(hxml_parse(&p), -1);
}

TEST(Hxml, NeverReadsBehindTheInput)
{
    // Every prefix of a message touching each construct, in a buffer that
    // ends exactly at the data (no NUL behind it).
    const std::string bom = "\xEF\xBB\xBF";
    const std::string decl = "<?xml version=\"1.0\"?>\n";
    const std::string comment = "<!-- c -->";
    const std::string body = "<s:E a=\"1\" b='2' c=3 d e = \"4\"><s:B><x k=v/><y>  text  </y >"
                             "<z></z></s:B></s:E>";
    const std::string msg = bom + decl + comment + body;
    const size_t d0 = bom.size(), c0 = d0 + decl.size(), e0 = c0 + comment.size();
    for (size_t n = 0; n <= msg.size(); n++) {
        // Succeeds: nothing, the whole mark, an open or complete declaration,
        // an open or complete comment, or the whole message.
        bool expect_ok = n == 0 || n == d0 || (n >= d0 + 2 && n <= c0) ||
                         (n >= c0 + 4 && n <= e0) || n == msg.size();
        TokResult r = tokenize(msg.substr(0, n), false);
        EXPECT_EQ(r.rc, expect_ok ? 0 : -1) << "prefix length " << n;
    }
}

} // namespace
