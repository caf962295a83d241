// XML node tree: builder over the tokenizer, lookup, editing and writer.
// Deletion and writing walk the tree iteratively (through parent links), so
// the depth of a tree never limits them.
#include "xml/xml_node.h"
#include "xml/hxml.h"
#include "xml/xml_alloc_hook.hpp"
#include "platform/sys_log.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace
{

thread_local int g_fail_at = 0;
thread_local long g_alloc_count = 0;

XML_NODE *alloc_record()
{
    g_alloc_count++;
    if (g_fail_at > 0 && --g_fail_at == 0) return nullptr;
    return static_cast<XML_NODE *>(calloc(1, sizeof(XML_NODE)));
}

// Part after the first ':', or the whole name.
const char *local_part(const char *name)
{
    const char *colon = strchr(name, ':');
    return colon ? colon + 1 : name;
}

int32_t clamp_len(size_t n)
{
    return n > (size_t)INT32_MAX ? INT32_MAX : (int32_t)n;
}

void free_attrs(XML_NODE *node)
{
    XML_NODE *attr = node->first_attr;
    while (attr) {
        XML_NODE *next = attr->next_sibling;
        free(attr);
        attr = next;
    }
    node->first_attr = nullptr;
    node->last_attr = nullptr;
}

void unlink_from_parent(XML_NODE *node)
{
    XML_NODE *parent = node->parent;
    if (node->prev_sibling)
        node->prev_sibling->next_sibling = node->next_sibling;
    else if (parent && parent->first_child == node)
        parent->first_child = node->next_sibling;
    if (node->next_sibling)
        node->next_sibling->prev_sibling = node->prev_sibling;
    else if (parent && parent->last_child == node)
        parent->last_child = node->prev_sibling;
    node->parent = nullptr;
    node->prev_sibling = nullptr;
    node->next_sibling = nullptr;
}

// ---- writer -------------------------------------------------------------

// Output sink: counts only when buf is null; otherwise never writes beyond
// cap bytes (cap leaves room for the terminator).
struct Sink {
    char *buf;
    size_t cap;
    size_t pos;
    size_t elements;
    bool failed;
};

void put(Sink *s, const char *text)
{
    if (s->failed) return;
    size_t n = strlen(text);
    if (n > s->cap - s->pos) {
        s->failed = true;
        return;
    }
    if (s->buf) memcpy(s->buf + s->pos, text, n);
    s->pos += n;
}

void put_open(Sink *s, const XML_NODE *n)
{
    s->elements++;
    put(s, "<");
    put(s, n->name);
    for (const XML_NODE *a = n->first_attr; a && !s->failed; a = a->next_sibling) {
        if (!a->name) {
            s->failed = true;
            return;
        }
        put(s, " ");
        put(s, a->name);
        put(s, "=\"");
        put(s, a->text ? a->text : "");
        put(s, "\"");
    }
}

void put_close(Sink *s, const XML_NODE *n)
{
    put(s, "</");
    put(s, n->name);
    put(s, ">");
}

// Writes root and its descendants, depth-first in document order.
void write_tree(const XML_NODE *root, Sink *s)
{
    const XML_NODE *n = root;
    while (!s->failed) {
        if (!n->name) {
            s->failed = true;
            return;
        }
        put_open(s, n);
        if (n->first_child) {
            put(s, ">");
            n = n->first_child;
            continue;
        }
        if (n->text) {
            put(s, ">");
            put(s, n->text);
            put_close(s, n);
        } else {
            put(s, "/>");
        }
        while (n != root && !n->next_sibling && !s->failed) {
            n = n->parent;
            if (!n || !n->name) {
                s->failed = true;
                return;
            }
            put_close(s, n);
        }
        if (n == root) return;
        n = n->next_sibling;
    }
}

// ---- tree builder -------------------------------------------------------

struct Builder {
    XML_NODE *current;
    bool failed;
};

void xml_tree_on_start(void *user_data, const char *name, const char **attrs)
{
    Builder *b = static_cast<Builder *>(user_data);
    if (b->failed) return;
    XML_NODE *node = xml_node_add(b->current, name);
    if (!node) {
        b->failed = true;
        return;
    }
    b->current = node;
    for (int i = 0; i + 1 < HXML_ATTR_SLOTS && attrs[i] && attrs[i + 1]; i += 2) {
        if (!xml_attr_add(node, attrs[i], attrs[i + 1])) {
            b->failed = true;
            return;
        }
    }
}

void xml_tree_on_end(void *user_data, const char * /*name*/)
{
    Builder *b = static_cast<Builder *>(user_data);
    if (b->failed || !b->current) return;
    b->current->closed = 1;
    if (b->current->parent) b->current = b->current->parent;
}

void xml_tree_on_text(void *user_data, const char *text, int len)
{
    Builder *b = static_cast<Builder *>(user_data);
    if (b->failed || !b->current) return;
    b->current->text = text;
    b->current->text_len = len;
}

XML_NODE *root_of(XML_NODE *node)
{
    while (node && node->parent)
        node = node->parent;
    return node;
}

} // namespace

namespace xml_internal
{

void xml_fail_alloc_at(int n)
{
    g_fail_at = n > 0 ? n : 0;
}

long xml_alloc_count()
{
    return g_alloc_count;
}

} // namespace xml_internal

extern "C" {

XML_NODE *xxx_hxml_parse(char *buf, int len)
{
    if (!buf || len < 0) {
        log_print(LOG_ERROR, "%s, err[%d]\r\n", "xxx_hxml_parse", -1);
        return nullptr;
    }
    Builder builder = {nullptr, false};
    HXML_PARSER parse;
    memset(&parse, 0, sizeof(parse));
    parse.buf_start = buf;
    parse.buf_end = buf + len;
    parse.cursor = buf;
    parse.user_data = &builder;
    parse.on_element_start = xml_tree_on_start;
    parse.on_element_end = xml_tree_on_end;
    parse.on_text = xml_tree_on_text;

    int rc = hxml_parse(&parse);
    if (rc != 0 || builder.failed) {
        log_print(LOG_ERROR, "%s, err[%d]\r\n", "xxx_hxml_parse", -1);
        xml_node_del(root_of(builder.current));
        return nullptr;
    }
    return root_of(builder.current);
}

int soap_strcmp(const char *a, const char *b)
{
    if (!a || !b) return -1;
    if (strcasecmp(a, b) == 0) return 0;
    return strcasecmp(local_part(a), local_part(b));
}

void soap_strncpy(char *dst, const char *src, int n)
{
    if (!dst || !src || n <= 0) return;
    strncpy(dst, local_part(src), (size_t)n);
}

XML_NODE *xml_node_soap_get(XML_NODE *parent, const char *name)
{
    if (!parent || !name) return nullptr;
    for (XML_NODE *c = parent->first_child; c; c = c->next_sibling) {
        if (c->kind == XML_NODE_ELEMENT && c->name && soap_strcmp(c->name, name) == 0) return c;
    }
    return nullptr;
}

XML_NODE *xml_node_get(XML_NODE *parent, const char *name)
{
    if (!parent || !name) return nullptr;
    for (XML_NODE *c = parent->first_child; c; c = c->next_sibling) {
        if (c->kind == XML_NODE_ELEMENT && c->name && strcasecmp(c->name, name) == 0) return c;
    }
    return nullptr;
}

XML_NODE *xml_attr_node_get(XML_NODE *node, const char *name)
{
    if (!node || !name) return nullptr;
    for (XML_NODE *a = node->first_attr; a; a = a->next_sibling) {
        if (a->kind == XML_NODE_ATTR && a->name && soap_strcmp(a->name, name) == 0) return a;
    }
    return nullptr;
}

const char *xml_attr_get(XML_NODE *node, const char *name)
{
    XML_NODE *attr = xml_attr_node_get(node, name);
    return attr ? attr->text : nullptr;
}

XML_NODE *xml_node_add(XML_NODE *parent, const char *name)
{
    if (!name || (parent && parent->kind != XML_NODE_ELEMENT)) return nullptr;
    XML_NODE *node = alloc_record();
    if (!node) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "xml_node_add");
        return nullptr;
    }
    node->name = name;
    node->kind = XML_NODE_ELEMENT;
    if (parent) {
        node->parent = parent;
        node->prev_sibling = parent->last_child;
        if (parent->last_child)
            parent->last_child->next_sibling = node;
        else
            parent->first_child = node;
        parent->last_child = node;
    }
    return node;
}

XML_NODE *xml_attr_add(XML_NODE *node, const char *name, const char *value)
{
    if (!node || !name || !value || node->kind != XML_NODE_ELEMENT) return nullptr;
    XML_NODE *attr = alloc_record();
    if (!attr) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "xml_attr_add");
        return nullptr;
    }
    attr->name = name;
    attr->kind = XML_NODE_ATTR;
    attr->text = value;
    attr->text_len = clamp_len(strlen(value));
    attr->prev_sibling = node->last_attr;
    if (node->last_attr)
        node->last_attr->next_sibling = attr;
    else
        node->first_attr = attr;
    node->last_attr = attr;
    return attr;
}

void xml_node_del(XML_NODE *node)
{
    // Attribute records belong to their owner's list; use xml_attr_del.
    if (!node || node->kind != XML_NODE_ELEMENT) return;
    unlink_from_parent(node);
    // Post-order without recursion: descend to a leaf, free it (it is always
    // its parent's first child), continue from the parent.
    XML_NODE *cur = node;
    for (;;) {
        while (cur->first_child)
            cur = cur->first_child;
        free_attrs(cur);
        if (cur == node) {
            free(cur);
            return;
        }
        XML_NODE *parent = cur->parent;
        parent->first_child = cur->next_sibling;
        if (parent->first_child)
            parent->first_child->prev_sibling = nullptr;
        else
            parent->last_child = nullptr;
        free(cur);
        cur = parent;
    }
}

int xml_attr_del(XML_NODE *node, const char *name)
{
    if (!node || !name) return -1;
    for (XML_NODE *a = node->first_attr; a; a = a->next_sibling) {
        if (!a->name || strcasecmp(a->name, name) != 0) continue;
        if (a->prev_sibling)
            a->prev_sibling->next_sibling = a->next_sibling;
        else
            node->first_attr = a->next_sibling;
        if (a->next_sibling)
            a->next_sibling->prev_sibling = a->prev_sibling;
        else
            node->last_attr = a->prev_sibling;
        free(a);
        return 0;
    }
    return -1;
}

void xml_cdata_set(XML_NODE *node, const char *text, int len)
{
    if (!node || !text || len < 1) return;
    node->text = text;
    node->text_len = len;
}

int xml_calc_buf_len(XML_NODE *node)
{
    if (!node) return 0;
    Sink s = {nullptr, (size_t)INT_MAX, 0, 0, false};
    write_tree(node, &s);
    if (s.failed || s.elements > (size_t)INT_MAX - s.pos) return -1;
    return (int)(s.pos + s.elements);
}

int xml_nwrite_buf(XML_NODE *node, char *buf, int size)
{
    if (!node || !node->name || !buf || size <= 0) return -1;
    Sink s = {buf, (size_t)size - 1, 0, 0, false};
    write_tree(node, &s);
    if (s.failed) {
        buf[0] = '\0';
        return -1;
    }
    buf[s.pos] = '\0';
    return (int)s.pos;
}

int xml_write_buf(XML_NODE *node, char *buf)
{
    int size = xml_calc_buf_len(node);
    if (size <= 0) return -1;
    return xml_nwrite_buf(node, buf, size);
}

} // extern "C"
