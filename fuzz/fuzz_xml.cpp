// Fuzz target: the XML tokenizer, the node tree (also with one record
// allocation failing), lookup, editing and the writer.
#include "fuzz/fuzz_common.hpp"
#include "xml/hxml.h"
#include "xml/xml_alloc_hook.hpp"
#include "xml/xml_node.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 1 << 20;

// Tokenizer callbacks: every pointer lies in the buffer, attributes come in
// complete pairs and the depth never passes the stack.
struct Span {
    const char *begin;
    const char *end;
    int starts;
    int ends;
};

bool inside(const Span *s, const char *p)
{
    return p >= s->begin && p < s->end;
}

void on_start(void *user, const char *name, const char **attrs)
{
    Span *s = static_cast<Span *>(user);
    FUZZ_CHECK(name && inside(s, name));
    int i = 0;
    for (; i + 1 < HXML_ATTR_SLOTS && attrs[i]; i += 2) {
        FUZZ_CHECK(inside(s, attrs[i]));
        FUZZ_CHECK(attrs[i + 1] && inside(s, attrs[i + 1]));
    }
    FUZZ_CHECK(i / 2 <= HXML_MAX_ATTRS);
    s->starts++;
}

void on_end(void *user, const char *name)
{
    Span *s = static_cast<Span *>(user);
    FUZZ_CHECK(name && inside(s, name));
    s->ends++;
    FUZZ_CHECK(s->ends <= s->starts);
}

void on_text(void *user, const char *text, int len)
{
    Span *s = static_cast<Span *>(user);
    FUZZ_CHECK(text && inside(s, text) && len >= 0 && text + len < s->end);
}

void run_tokenizer(const uint8_t *data, size_t size)
{
    char *buf = fuzz::dup_text(data, size);
    Span span = {buf, buf + size + 1, 0, 0};
    HXML_PARSER parse;
    memset(&parse, 0, sizeof(parse));
    parse.buf_start = buf;
    parse.buf_end = buf + size;
    parse.user_data = &span;
    parse.on_element_start = on_start;
    parse.on_element_end = on_end;
    parse.on_text = on_text;
    if (hxml_parse(&parse) == 0) FUZZ_CHECK(span.starts == span.ends);
    FUZZ_CHECK(parse.depth >= 0 && parse.depth <= HXML_MAX_DEPTH);
    free(buf);
}

// Links of the tree agree with each other; walked without recursion.
void check_tree(XML_NODE *root)
{
    FUZZ_CHECK(root->parent == nullptr && root->kind == XML_NODE_ELEMENT);
    XML_NODE *n = root;
    while (n) {
        FUZZ_CHECK(n->name && n->text_len >= 0);
        for (XML_NODE *a = n->first_attr; a; a = a->next_sibling) {
            FUZZ_CHECK(a->kind == XML_NODE_ATTR && a->name && a->text);
            FUZZ_CHECK(a->next_sibling || n->last_attr == a);
        }
        for (XML_NODE *c = n->first_child; c; c = c->next_sibling) {
            FUZZ_CHECK(c->parent == n && c->kind == XML_NODE_ELEMENT);
            FUZZ_CHECK(c->next_sibling ? c->next_sibling->prev_sibling == c : n->last_child == c);
        }
        if (n->first_child) {
            n = n->first_child;
            continue;
        }
        while (n != root && !n->next_sibling)
            n = n->parent;
        n = n == root ? nullptr : n->next_sibling;
    }
}

// The writer's length contract: xml_calc_buf_len suffices, n + 1 bytes fit
// exactly, n bytes fail with an empty text.
void check_writer(XML_NODE *root)
{
    int need = xml_calc_buf_len(root);
    FUZZ_CHECK(need != 0);
    if (need < 0) return;
    char *buf = fuzz::exact_buf((size_t)need);
    int n = xml_nwrite_buf(root, buf, need);
    FUZZ_CHECK(n >= 0 && n < need && buf[n] == '\0' && strlen(buf) == (size_t)n);

    char *exact = fuzz::exact_buf((size_t)n + 1);
    FUZZ_CHECK(xml_nwrite_buf(root, exact, n + 1) == n);
    FUZZ_CHECK(memcmp(exact, buf, (size_t)n + 1) == 0);
    free(exact);
    if (n > 0) {
        char *small = fuzz::exact_buf((size_t)n);
        FUZZ_CHECK(xml_nwrite_buf(root, small, n) == -1 && small[0] == '\0');
        free(small);
    }
    free(buf);
}

// Lookups and edits as the SOAP code does them, then the writer again.
void edit_tree(XML_NODE *root)
{
    XML_NODE *body = xml_node_soap_get(root, "s:Body");
    if (body) xml_node_soap_get(body, "Fault");
    xml_node_get(root, "Header");
    xml_attr_get(root, "xmlns:s");
    if (root->first_attr) {
        const char *name = root->first_attr->name;
        FUZZ_CHECK(xml_attr_node_get(root, name) != nullptr);
    }

    XML_NODE *added = xml_node_add(body ? body : root, "fz:Added");
    if (added) {
        xml_attr_add(added, "fz:attr", "value");
        xml_cdata_set(added, "text", 4);
        check_writer(root);
        FUZZ_CHECK(xml_attr_del(added, "FZ:ATTR") == 0);
        xml_node_del(added);
    }
    check_writer(root);
}

void run_tree(const uint8_t *data, size_t size)
{
    long before = xml_internal::xml_alloc_count();
    char *buf = fuzz::dup_text(data, size);
    XML_NODE *root = xxx_hxml_parse(buf, (int)size);
    long records = xml_internal::xml_alloc_count() - before;
    if (root) {
        check_tree(root);
        check_writer(root);
        edit_tree(root);
        xml_node_del(root);
    }
    free(buf);

    // The same input with one record allocation failing: a clean null, no leak.
    if (root && records > 0) {
        int at = (int)(fuzz::hash(data, size) % (uint32_t)records) + 1;
        buf = fuzz::dup_text(data, size);
        xml_internal::xml_fail_alloc_at(at);
        root = xxx_hxml_parse(buf, (int)size);
        xml_internal::xml_fail_alloc_at(0);
        FUZZ_CHECK(root == nullptr);
        free(buf);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput) return 0;
    run_tokenizer(data, size);
    run_tree(data, size);
    return 0;
}
