// XML node tree: builder over the tokenizer, lookup, editing and writer.
// Deletion and writing walk the tree iteratively (through parent links), so
// the depth of a tree never limits them.
#include "xml/xml_node.h"
#include "xml/hxml.h"
#include "xml/hxml_scan.hpp"
#include "xml/xml_alloc_hook.hpp"
#include "platform/sys_log.h"

#include <limits.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

namespace
{

thread_local int g_fail_at = 0;
thread_local long g_alloc_count = 0;

// ---- records ------------------------------------------------------------
//
// Every tree has one arena: the root's record is its first slot, the other
// records of the tree come from the same pages, and deleting the root frees
// the pages. Each slot carries its arena in front of the record, so a node
// finds its tree's arena in one step wherever it sits. Records of a deleted
// sub-tree or attribute go to the arena's free list and serve later adds to
// the same tree.

struct XmlArena;

struct Slot {
    XmlArena *arena;
    XML_NODE node;
};

struct XmlPage {
    XmlPage *next;
    uint32_t cap;
    uint32_t used;
};

const uint32_t kFirstSlotsMin = 16;
const uint32_t kPageSlotsMax = 1024; // 96 KiB pages, below the C library's mmap threshold

struct XmlArena {
    uint32_t next_cap; // slots of the next page
    XmlPage *page;     // the page being filled; older pages follow through next
    Slot *free_list;   // released slots, linked through node.next_sibling
    XML_NODE *root;    // the record that owns the arena
    XmlPage first;     // the first page, whose slots follow the arena
};

Slot *page_slots(XmlPage *page)
{
    return reinterpret_cast<Slot *>(page + 1);
}

// The arena and its first page of `cap` slots, in one block.
XmlArena *arena_new(uint32_t cap)
{
    if (cap < kFirstSlotsMin) cap = kFirstSlotsMin;
    if (cap > kPageSlotsMax) cap = kPageSlotsMax;
    XmlArena *a = static_cast<XmlArena *>(malloc(sizeof(XmlArena) + sizeof(Slot) * cap));
    if (!a) return nullptr;
    a->next_cap = cap * 2 > kPageSlotsMax ? kPageSlotsMax : cap * 2;
    a->page = &a->first;
    a->free_list = nullptr;
    a->root = nullptr;
    a->first.next = nullptr;
    a->first.cap = cap;
    a->first.used = 0;
    return a;
}

void arena_free(XmlArena *a)
{
    if (!a) return;
    XmlPage *page = a->page;
    while (page && page != &a->first) {
        XmlPage *next = page->next;
        free(page);
        page = next;
    }
    free(a);
}

XmlArena *arena_of(const XML_NODE *node)
{
    const Slot *slot =
        reinterpret_cast<const Slot *>(reinterpret_cast<const char *>(node) - offsetof(Slot, node));
    return slot->arena;
}

// Adds a page for the next slots and makes it the page being filled.
XmlPage *arena_add_page(XmlArena *a)
{
    uint32_t cap = a->next_cap;
    XmlPage *page = static_cast<XmlPage *>(malloc(sizeof(XmlPage) + sizeof(Slot) * cap));
    if (!page) return nullptr;
    page->next = a->page;
    page->cap = cap;
    page->used = 0;
    a->page = page;
    a->next_cap = cap * 2 > kPageSlotsMax ? kPageSlotsMax : cap * 2;
    return page;
}

// A cleared record in the slot. Field by field: a memset of this size
// becomes a slow string store.
inline XML_NODE *init_slot(Slot *slot, XmlArena *a)
{
    slot->arena = a;
    XML_NODE *n = &slot->node;
    n->name = nullptr;
    n->kind = XML_NODE_ELEMENT;
    n->text = nullptr;
    n->text_len = 0;
    n->closed = 0;
    n->parent = nullptr;
    n->first_child = nullptr;
    n->last_child = nullptr;
    n->prev_sibling = nullptr;
    n->next_sibling = nullptr;
    n->first_attr = nullptr;
    n->last_attr = nullptr;
    return n;
}

// A cleared record from the arena, or null when memory runs out.
XML_NODE *arena_take(XmlArena *a)
{
    if (a->free_list) {
        Slot *slot = a->free_list;
        a->free_list = reinterpret_cast<Slot *>(slot->node.next_sibling);
        return init_slot(slot, a);
    }
    XmlPage *page = a->page;
    if (page->used == page->cap && !(page = arena_add_page(a))) return nullptr;
    return init_slot(&page_slots(page)[page->used++], a);
}

void arena_release(XmlArena *a, XML_NODE *node)
{
    Slot *slot = reinterpret_cast<Slot *>(reinterpret_cast<char *>(node) - offsetof(Slot, node));
    node->next_sibling = reinterpret_cast<XML_NODE *>(a->free_list);
    a->free_list = slot;
}

// The test hook: true when this record allocation is to fail.
bool hook_fails()
{
    g_alloc_count++;
    return g_fail_at > 0 && --g_fail_at == 0;
}

void link_child(XML_NODE *parent, XML_NODE *node)
{
    node->parent = parent;
    node->prev_sibling = parent->last_child;
    if (parent->last_child)
        parent->last_child->next_sibling = node;
    else
        parent->first_child = node;
    parent->last_child = node;
}

void link_attr(XML_NODE *node, XML_NODE *attr)
{
    attr->prev_sibling = node->last_attr;
    if (node->last_attr)
        node->last_attr->next_sibling = attr;
    else
        node->first_attr = attr;
    node->last_attr = attr;
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

void release_attrs(XmlArena *a, XML_NODE *node)
{
    XML_NODE *attr = node->first_attr;
    while (attr) {
        XML_NODE *next = attr->next_sibling;
        arena_release(a, attr);
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

void put_n(Sink *s, const char *text, size_t n)
{
    if (s->failed) return;
    if (n > s->cap - s->pos) {
        s->failed = true;
        return;
    }
    if (s->buf) memcpy(s->buf + s->pos, text, n);
    s->pos += n;
}

// A '&' that does not begin a reference ("&name;" or "&#...;").
bool bare_ampersand(const char *amp)
{
    const char *c = amp + 1;
    if (*c == '#') c++;
    const char *first = c;
    while ((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9') ||
           *c == '_' || *c == '-' || *c == '.')
        c++;
    return c == first || *c != ';';
}

// Element text is written as received. Text that can only have come from a
// CDATA section (or been set so) - it holds '<' or a bare '&' - goes out as
// a CDATA section again, so that writing never turns it into markup; a "]]>"
// in it is split across two sections.
void put_text(Sink *s, const char *text)
{
    bool wrap = strchr(text, '<') != nullptr;
    for (const char *amp = strchr(text, '&'); amp && !wrap; amp = strchr(amp + 1, '&'))
        wrap = bare_ampersand(amp);
    if (!wrap) {
        put(s, text);
        return;
    }
    put(s, "<![CDATA[");
    const char *from = text;
    for (const char *end = strstr(from, "]]>"); end; end = strstr(from, "]]>")) {
        put_n(s, from, (size_t)(end - from) + 2);
        put(s, "]]><![CDATA[");
        from = end + 2;
    }
    put(s, from);
    put(s, "]]>");
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
            put_text(s, n->text);
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

// Scanner handler that builds the tree straight from the tokens. Records come
// from the tree's arena; the test hook is read once per parse.
struct TreeBuilder {
    XmlArena *arena = nullptr;
    XML_NODE *current = nullptr;
    Slot *bump = nullptr; // free slots of the page being filled: [bump, bump_end)
    Slot *bump_end = nullptr;
    uint32_t first_cap = 0;
    int attrs = 0;
    int fail_at = 0;
    long taken = 0;

    // The test hook's turn: true when this record is to fail.
    bool hook()
    {
        taken++;
        return fail_at > 0 && --fail_at == 0;
    }

    XML_NODE *take()
    {
        if (hook()) return nullptr;
        if (bump == bump_end) {
            arena->page->used = arena->page->cap;
            XmlPage *page = arena_add_page(arena);
            if (!page) return nullptr;
            bump = page_slots(page);
            bump_end = bump + page->cap;
        }
        return init_slot(bump++, arena);
    }

    // Hands the slots not taken back to the page (the tree may grow later).
    void finish()
    {
        if (arena) arena->page->used = (uint32_t)(bump - page_slots(arena->page));
    }

    bool open(char *name)
    {
        XML_NODE *node = nullptr;
        if (!current) {
            // The first element is the root and owns the arena.
            if (!hook() && (arena = arena_new(first_cap)) != nullptr) {
                bump = page_slots(arena->page);
                bump_end = bump + arena->page->cap;
                node = init_slot(bump++, arena);
                arena->root = node;
            }
        } else {
            node = take();
        }
        if (!node) {
            log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "xml_node_add");
            return false;
        }
        node->name = name;
        if (current) link_child(current, node);
        current = node;
        attrs = 0;
        return true;
    }

    bool attr(char *name, char *value, int len)
    {
        if (attrs >= HXML_MAX_ATTRS) return true; // read, but not part of the tree
        attrs++;
        XML_NODE *a = take();
        if (!a) {
            log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "xml_attr_add");
            return false;
        }
        a->name = name;
        a->kind = XML_NODE_ATTR;
        a->text = value;
        a->text_len = len;
        link_attr(current, a);
        return true;
    }

    bool opened(char *) { return true; }

    bool close(char *)
    {
        current->closed = 1;
        if (current->parent) current = current->parent;
        return true;
    }

    bool text(char *text, int len)
    {
        current->text = text;
        current->text_len = len;
        return true;
    }
};

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
    TreeBuilder builder;
    // One block for the whole tree of a typical reply: about one record per
    // 24 bytes of input (elements and attributes together).
    builder.first_cap = (uint32_t)((size_t)len / 24 + kFirstSlotsMin);
    builder.fail_at = g_fail_at;
    HXML_PARSER parse; // the scanner uses only the slots it fills
    parse.buf_start = buf;
    parse.buf_end = buf + len;
    int rc = hxml_scan::run(&parse, builder);
    builder.finish();
    g_fail_at = builder.fail_at;
    g_alloc_count += builder.taken;
    if (rc != 0) {
        log_print(LOG_ERROR, "%s, err[%d]\r\n", "xxx_hxml_parse", -1);
        arena_free(builder.arena);
        return nullptr;
    }
    return builder.arena ? builder.arena->root : nullptr; // no element: no tree
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
    XML_NODE *node = nullptr;
    if (!hook_fails()) {
        if (parent) {
            node = arena_take(arena_of(parent));
        } else {
            XmlArena *a = arena_new(kFirstSlotsMin);
            node = a ? arena_take(a) : nullptr;
            if (node) a->root = node;
        }
    }
    if (!node) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "xml_node_add");
        return nullptr;
    }
    node->name = name;
    node->kind = XML_NODE_ELEMENT;
    if (parent) link_child(parent, node);
    return node;
}

XML_NODE *xml_attr_add(XML_NODE *node, const char *name, const char *value)
{
    if (!node || !name || !value || node->kind != XML_NODE_ELEMENT) return nullptr;
    XML_NODE *attr = hook_fails() ? nullptr : arena_take(arena_of(node));
    if (!attr) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", "xml_attr_add");
        return nullptr;
    }
    attr->name = name;
    attr->kind = XML_NODE_ATTR;
    attr->text = value;
    attr->text_len = clamp_len(strlen(value));
    link_attr(node, attr);
    return attr;
}

void xml_node_del(XML_NODE *node)
{
    // Attribute records belong to their owner's list; use xml_attr_del.
    if (!node || node->kind != XML_NODE_ELEMENT) return;
    XmlArena *arena = arena_of(node);
    if (arena->root == node) {
        arena_free(arena); // the whole tree
        return;
    }
    unlink_from_parent(node);
    // Post-order without recursion: descend to a leaf, release it (it is
    // always its parent's first child), continue from the parent.
    XML_NODE *cur = node;
    for (;;) {
        while (cur->first_child)
            cur = cur->first_child;
        release_attrs(arena, cur);
        if (cur == node) {
            arena_release(arena, cur);
            return;
        }
        XML_NODE *parent = cur->parent;
        parent->first_child = cur->next_sibling;
        if (parent->first_child)
            parent->first_child->prev_sibling = nullptr;
        else
            parent->last_child = nullptr;
        arena_release(arena, cur);
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
        arena_release(arena_of(node), a);
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
