// In-place XML tokenizer. Every scan compares the cursor with buf_end before
// it looks at a byte, so no input can make it read at or past buf_end; every
// write is a NUL over a byte that the scan has just looked at.
#include "xml/hxml.h"
#include "platform/sys_log.h"

#include <stddef.h>
#include <string.h>
#include <strings.h>

namespace
{

bool is_ws(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool at_end(const HXML_PARSER *p)
{
    return p->cursor >= p->buf_end;
}

void skip_ws(HXML_PARSER *p)
{
    while (p->cursor < p->buf_end && is_ws(*p->cursor))
        p->cursor++;
}

// True when [cur, end) starts with the literal.
bool looking_at(const char *cur, const char *end, const char *lit)
{
    size_t n = strlen(lit);
    return cur <= end && (size_t)(end - cur) >= n && memcmp(cur, lit, n) == 0;
}

// First occurrence of the literal in [from, end), or null.
char *find_seq(char *from, char *end, const char *lit)
{
    size_t n = strlen(lit);
    while (from <= end && (size_t)(end - from) >= n) {
        if (memcmp(from, lit, n) == 0) return from;
        from++;
    }
    return nullptr;
}

bool at_self_close(const HXML_PARSER *p)
{
    return looking_at(p->cursor, p->buf_end, "/>");
}

void clear_attrs(HXML_PARSER *p)
{
    memset(p->attrs, 0, sizeof(p->attrs));
}

void report_start(HXML_PARSER *p, const char *name)
{
    if (p->on_element_start) p->on_element_start(p->user_data, name, p->attrs);
}

// Reports the end of the element on top of the stack and pops it.
void report_end_and_pop(HXML_PARSER *p, const char *name)
{
    if (p->on_element_end) p->on_element_end(p->user_data, name);
    p->name_stack[p->depth] = nullptr;
    p->depth--;
}

void store_attr(HXML_PARSER *p, int *count, const char *name, const char *value)
{
    if (name[0] == '\0' || *count >= HXML_MAX_ATTRS) return;
    p->attrs[*count * 2] = name;
    p->attrs[*count * 2 + 1] = value;
    (*count)++;
}

// Element text: starts at the cursor and runs to the next '<', which must
// begin the element's end tag. 0 or -1.
int parse_text(HXML_PARSER *p)
{
    char *text = p->cursor;
    while (p->cursor < p->buf_end && *p->cursor != '<')
        p->cursor++;
    if (at_end(p)) return -1;
    *p->cursor = '\0';
    if (p->on_text) p->on_text(p->user_data, text, (int)(p->cursor - text));
    p->cursor++;
    if (at_end(p) || *p->cursor != '/') return -1;
    p->cursor++;
    return hxml_parse_element_end(p);
}

} // namespace

extern "C" {

int hxml_parse_header(HXML_PARSER *p)
{
    if (p->cursor == p->buf_start && looking_at(p->cursor, p->buf_end, "\xEF\xBB\xBF"))
        p->cursor += 3;
    skip_ws(p);
    if (looking_at(p->cursor, p->buf_end, "<?")) {
        char *close = find_seq(p->cursor + 2, p->buf_end, "?>");
        p->cursor = close ? close + 2 : p->buf_end;
    }
    return 0;
}

int hxml_parse_attr(HXML_PARSER *p)
{
    int count = 0;
    clear_attrs(p);
    // Every pass consumes at least one byte, so the loop ends with the input.
    for (;;) {
        skip_ws(p);
        if (at_end(p)) return -1;
        if (*p->cursor == '>') {
            *p->cursor++ = '\0';
            return 0;
        }
        if (at_self_close(p)) {
            *p->cursor = '\0';
            p->cursor += 2;
            return 1;
        }

        // Name: up to '='; a bare word without '=' before the tag's end is dropped.
        char *name = p->cursor;
        while (p->cursor < p->buf_end && *p->cursor != '=' && *p->cursor != '>' &&
               !at_self_close(p))
            p->cursor++;
        if (at_end(p)) return -1;
        if (*p->cursor != '=') continue;
        char *name_end = p->cursor;
        while (name_end > name && is_ws(name_end[-1]))
            name_end--;
        *p->cursor++ = '\0';
        *name_end = '\0';

        // Value: quoted with " or ', or bare up to whitespace, '>' or "/>".
        skip_ws(p);
        if (at_end(p)) return -1;
        if (*p->cursor == '"' || *p->cursor == '\'') {
            char quote = *p->cursor++;
            char *value = p->cursor;
            while (p->cursor < p->buf_end && *p->cursor != quote)
                p->cursor++;
            if (at_end(p)) return -1;
            *p->cursor++ = '\0';
            store_attr(p, &count, name, value);
            continue;
        }
        char *value = p->cursor;
        while (p->cursor < p->buf_end && !is_ws(*p->cursor) && *p->cursor != '>' &&
               !at_self_close(p))
            p->cursor++;
        if (at_end(p)) return -1;
        store_attr(p, &count, name, value);
        if (is_ws(*p->cursor)) {
            *p->cursor++ = '\0';
            continue;
        }
        if (*p->cursor == '>') {
            *p->cursor++ = '\0';
            return 0;
        }
        *p->cursor = '\0'; // "/>"
        p->cursor += 2;
        return 1;
    }
}

int hxml_parse_element_start(HXML_PARSER *p)
{
    skip_ws(p);
    if (at_end(p)) return -1;
    char *name = p->cursor;
    while (p->cursor < p->buf_end && !is_ws(*p->cursor) && *p->cursor != '>' && !at_self_close(p))
        p->cursor++;
    if (at_end(p) || p->cursor == name) return -1;
    if (p->depth < 0 || p->depth >= HXML_MAX_DEPTH) return -1;
    p->depth++;
    p->name_stack[p->depth] = name;

    int result;
    if (*p->cursor == '>') {
        *p->cursor++ = '\0';
        clear_attrs(p);
        result = 0;
    } else if (*p->cursor == '/') {
        *p->cursor = '\0';
        p->cursor += 2;
        clear_attrs(p);
        result = 1;
    } else {
        *p->cursor++ = '\0';
        result = hxml_parse_attr(p);
        if (result < 0) return -1;
    }
    report_start(p, name);
    clear_attrs(p);
    if (result == 1) report_end_and_pop(p, name);
    return result;
}

int hxml_parse_element_end(HXML_PARSER *p)
{
    if (p->depth <= 0 || p->depth >= HXML_NAME_SLOTS) return -1;
    const char *expected = p->name_stack[p->depth];
    skip_ws(p);
    if (at_end(p)) return -1;
    char *name = p->cursor;
    while (p->cursor < p->buf_end && !is_ws(*p->cursor) && *p->cursor != '>')
        p->cursor++;
    char *name_end = p->cursor;
    skip_ws(p);
    if (at_end(p) || *p->cursor != '>') return -1;
    *name_end = '\0';
    *p->cursor++ = '\0';
    if (!expected || strcasecmp(name, expected) != 0) {
        log_print(LOG_ERROR, "%s, cur name[%s] != stack name[%s]!!!\r\n", "hxml_parse_element_end",
                  name, expected ? expected : "");
        return -1;
    }
    report_end_and_pop(p, name);
    return 0;
}

int hxml_parse_element(HXML_PARSER *p)
{
    // Every pass consumes at least one byte, so the loop ends with the input.
    for (;;) {
        skip_ws(p);
        if (at_end(p)) return p->depth == 0 ? 0 : -1;
        if (*p->cursor != '<') return -1;

        if (looking_at(p->cursor, p->buf_end, "<!--")) {
            char *close = find_seq(p->cursor + 4, p->buf_end, "-->");
            p->cursor = close ? close + 3 : p->buf_end;
            continue;
        }

        if (looking_at(p->cursor, p->buf_end, "</")) {
            p->cursor += 2;
            if (hxml_parse_element_end(p) < 0) return -1;
            if (p->depth == 0) return 0; // nothing behind the outermost element is read
            continue;
        }

        p->cursor++;
        int tag = hxml_parse_element_start(p);
        if (tag < 0) return -1;
        if (tag == 1) {
            if (p->depth == 0) return 0;
            continue;
        }

        // The tag is open: a child, a comment, the end tag, or text.
        skip_ws(p);
        if (at_end(p)) return -1;
        if (*p->cursor == '<') continue;
        if (parse_text(p) < 0) return -1;
        if (p->depth == 0) return 0;
    }
}

int hxml_parse(HXML_PARSER *p)
{
    if (!p || !p->buf_start || !p->buf_end || p->buf_end < p->buf_start) return -1;
    p->cursor = p->buf_start;
    memset(p->name_stack, 0, sizeof(p->name_stack));
    p->depth = 0;
    clear_attrs(p);
    hxml_parse_header(p);
    return hxml_parse_element(p);
}

} // extern "C"
