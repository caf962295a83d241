#include "onvif/soap_util.h"
#include "platform/text_conv.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

/* ---- writer ---- */

void soap_w_init(SOAP_WRITER *w, char *buf, int size)
{
    if (!w) return;
    w->buf = buf;
    w->size = (buf && size > 0) ? size : 0;
    w->len = 0;
    w->overflow = 0;
    if (w->size > 0) w->buf[0] = '\0';
}

int soap_w_result(const SOAP_WRITER *w)
{
    if (!w || w->overflow) return -1;
    return w->len;
}

/* Marks the overflow and takes back a partly written piece. */
static int w_fail(SOAP_WRITER *w, int old_len)
{
    w->overflow = 1;
    w->len = old_len;
    if (w->size > 0) w->buf[old_len] = '\0';
    return -1;
}

static int w_vprintf(SOAP_WRITER *w, const char *fmt, va_list ap)
{
    if (!w || !fmt) return -1;
    if (w->overflow) return -1;
    int room = w->size - w->len;
    if (room <= 0) return w_fail(w, w->len);
    int n = vsnprintf(w->buf + w->len, (size_t)room, fmt, ap);
    if (n < 0 || n >= room) return w_fail(w, w->len);
    w->len += n;
    return 0;
}

int soap_w_printf(SOAP_WRITER *w, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int ret = w_vprintf(w, fmt, ap);
    va_end(ap);
    return ret;
}

static int w_append(SOAP_WRITER *w, const char *text, size_t n)
{
    if (!w || w->overflow) return -1;
    if (n >= (size_t)(w->size - w->len)) return w_fail(w, w->len);
    memcpy(w->buf + w->len, text, n);
    w->len += (int)n;
    w->buf[w->len] = '\0';
    return 0;
}

int soap_w_puts(SOAP_WRITER *w, const char *text)
{
    if (!text) text = "";
    return w_append(w, text, strlen(text));
}

static const char *escape_of(char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    default:
        return nullptr;
    }
}

/* Escaped copy of the first n bytes of text (stops early at a NUL). */
static int w_escaped_n(SOAP_WRITER *w, const char *text, size_t n)
{
    if (!w || w->overflow) return -1;
    if (!text) return 0;
    int old_len = w->len;
    const char *run = text;
    const char *end = text + n;
    for (const char *p = text;; p++) {
        int at_end = (p == end || *p == '\0');
        const char *esc = at_end ? nullptr : escape_of(*p);
        if (!at_end && !esc) continue;
        if (w_append(w, run, (size_t)(p - run)) != 0) return w_fail(w, old_len);
        if (at_end) break;
        if (w_append(w, esc, strlen(esc)) != 0) return w_fail(w, old_len);
        run = p + 1;
    }
    return 0;
}

int soap_w_escaped(SOAP_WRITER *w, const char *text)
{
    return w_escaped_n(w, text, text ? strlen(text) : 0);
}

int soap_w_open(SOAP_WRITER *w, const char *name)
{
    return soap_w_printf(w, "<%s>", name ? name : "");
}

int soap_w_close(SOAP_WRITER *w, const char *name)
{
    return soap_w_printf(w, "</%s>", name ? name : "");
}

int soap_w_empty(SOAP_WRITER *w, const char *name)
{
    return soap_w_printf(w, "<%s />", name ? name : "");
}

/* One element: open tag, value written by the caller's piece, close tag;
 * the whole element is taken back when any part does not fit. */
int soap_w_text(SOAP_WRITER *w, const char *name, const char *text)
{
    if (!w || w->overflow) return -1;
    int old_len = w->len;
    if (soap_w_open(w, name) != 0 || soap_w_escaped(w, text) != 0 || soap_w_close(w, name) != 0)
        return w_fail(w, old_len);
    return 0;
}

int soap_w_field(SOAP_WRITER *w, const char *name, const char *field, int field_size)
{
    if (!w || w->overflow) return -1;
    size_t n = (field && field_size > 0) ? strnlen(field, (size_t)field_size) : 0;
    int old_len = w->len;
    if (soap_w_open(w, name) != 0 || w_escaped_n(w, field, n) != 0 || soap_w_close(w, name) != 0)
        return w_fail(w, old_len);
    return 0;
}

int soap_w_int(SOAP_WRITER *w, const char *name, int value)
{
    return soap_w_printf(w, "<%s>%d</%s>", name, value, name);
}

int soap_w_bool(SOAP_WRITER *w, const char *name, int value)
{
    return soap_w_printf(w, "<%s>%s</%s>", name, value ? "true" : "false", name);
}

int soap_w_enum(SOAP_WRITER *w, const char *name, SOAP_ENUM_TO_TEXT conv, int value)
{
    return soap_w_text(w, name, conv ? conv(value) : "");
}

int soap_w_duration(SOAP_WRITER *w, const char *name, int seconds)
{
    return soap_w_printf(w, "<%s>PT%dS</%s>", name, seconds, name);
}

int soap_w_float(SOAP_WRITER *w, const char *name, int precision, double value)
{
    if (precision < 0 || precision > 17) precision = 6;
    return soap_w_printf(w, "<%s>%.*f</%s>", name, precision, value, name);
}

int soap_w_opt_text(SOAP_WRITER *w, uint32_t flags, uint32_t bit, const char *name,
                    const char *text)
{
    return (flags & bit) ? soap_w_text(w, name, text) : 0;
}

int soap_w_opt_int(SOAP_WRITER *w, uint32_t flags, uint32_t bit, const char *name, int value)
{
    return (flags & bit) ? soap_w_int(w, name, value) : 0;
}

int soap_w_opt_bool(SOAP_WRITER *w, uint32_t flags, uint32_t bit, const char *name, int value)
{
    return (flags & bit) ? soap_w_bool(w, name, value) : 0;
}

int soap_w_text_array(SOAP_WRITER *w, const char *name, const char *first, int count, int stride)
{
    if (!w || w->overflow) return -1;
    if (!first || stride <= 0) return 0;
    for (int i = 0; i < count; i++) {
        const char *entry = first + (size_t)i * (size_t)stride;
        if (entry[0] == '\0') continue;
        /* Entries are fixed fields: never read past one, even unterminated. */
        int old_len = w->len;
        if (soap_w_open(w, name) != 0 ||
            w_escaped_n(w, entry, strnlen(entry, (size_t)stride)) != 0 ||
            soap_w_close(w, name) != 0)
            return w_fail(w, old_len);
    }
    return 0;
}

int soap_escape(const char *src, char *dst, int size)
{
    SOAP_WRITER w;
    soap_w_init(&w, dst, size);
    if (!dst || size <= 0) return -1;
    if (soap_w_escaped(&w, src) != 0) {
        dst[0] = '\0';
        return -1;
    }
    return w.len;
}

/* ---- reading ---- */

int soap_copy_text(char *dst, int size, const char *src)
{
    return text_decode_entities(dst, size, src);
}

int soap_copy_utf8(char *dst, int size, const char *src, int n)
{
    return text_copy_utf8(dst, size, src, n);
}

int soap_atoi(const char *text)
{
    if (!text) return 0;
    const char *p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        p++;
    int neg = 0;
    if (*p == '+' || *p == '-') neg = (*p++ == '-');
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        if (v > (long long)INT_MAX + 1) v = (long long)INT_MAX + 1; /* saturate, keep scanning */
    }
    if (neg) return (int)(v > (long long)INT_MAX ? INT_MIN : -v);
    return (int)(v > INT_MAX ? INT_MAX : v);
}

/* The text between leading and trailing XML whitespace, copied into buf
 * (cut to size). */
static const char *soap_token(const char *text, char *buf, size_t size)
{
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n')
        text++;
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t' || text[n - 1] == '\r' ||
                     text[n - 1] == '\n'))
        n--;
    if (n >= size) n = size - 1;
    memcpy(buf, text, n);
    buf[n] = '\0';
    return buf;
}

int parse_Bool(const char *text)
{
    if (!text) return 0;
    char token[8];
    soap_token(text, token, sizeof(token));
    return (strcasecmp(token, "true") == 0 || strcmp(token, "1") == 0) ? 1 : 0;
}

const char *soap_child_text(XML_NODE *parent, const char *name)
{
    XML_NODE *node = xml_node_soap_get(parent, name);
    return node ? node->text : nullptr;
}

int soap_get_text(XML_NODE *parent, const char *name, char *dst, int size)
{
    const char *text = soap_child_text(parent, name);
    if (!text || !dst || size <= 0) return 0;
    soap_copy_text(dst, size, text);
    return 1;
}

int soap_get_int(XML_NODE *parent, const char *name, int32_t *out)
{
    const char *text = soap_child_text(parent, name);
    if (!text || !out) return 0;
    *out = soap_atoi(text);
    return 1;
}

int soap_get_bool(XML_NODE *parent, const char *name, int32_t *out)
{
    const char *text = soap_child_text(parent, name);
    if (!text || !out) return 0;
    *out = parse_Bool(text);
    return 1;
}

int soap_get_enum(XML_NODE *parent, const char *name, SOAP_TEXT_TO_ENUM conv, int32_t *out)
{
    const char *text = soap_child_text(parent, name);
    if (!text || !out || !conv) return 0;
    char value[128];
    char token[128];
    soap_copy_text(value, sizeof(value), text);
    *out = conv(soap_token(value, token, sizeof(token)));
    return 1;
}

int soap_get_attr(XML_NODE *node, const char *name, char *dst, int size)
{
    const char *text = xml_attr_get(node, name);
    if (!text || !dst || size <= 0) return 0;
    soap_copy_text(dst, size, text);
    return 1;
}

XML_NODE *soap_get_opt(XML_NODE *parent, const char *name, uint32_t *flags, uint32_t bit)
{
    XML_NODE *node = xml_node_soap_get(parent, name);
    if (node && flags) *flags |= bit;
    return node;
}

int soap_get_opt_text(XML_NODE *parent, const char *name, uint32_t *flags, uint32_t bit, char *dst,
                      int size)
{
    if (!soap_get_text(parent, name, dst, size)) return 0;
    if (flags) *flags |= bit;
    return 1;
}

int soap_get_opt_int(XML_NODE *parent, const char *name, uint32_t *flags, uint32_t bit,
                     int32_t *out)
{
    if (!soap_get_int(parent, name, out)) return 0;
    if (flags) *flags |= bit;
    return 1;
}

int soap_get_opt_bool(XML_NODE *parent, const char *name, uint32_t *flags, uint32_t bit,
                      int32_t *out)
{
    if (!soap_get_bool(parent, name, out)) return 0;
    if (flags) *flags |= bit;
    return 1;
}

XML_NODE *soap_first(XML_NODE *parent, const char *name)
{
    return xml_node_soap_get(parent, name);
}

XML_NODE *soap_next(XML_NODE *node, const char *name)
{
    if (!node || !name) return nullptr;
    for (XML_NODE *n = node->next_sibling; n; n = n->next_sibling) {
        if (n->kind == XML_NODE_ELEMENT && n->name && soap_strcmp(n->name, name) == 0) return n;
    }
    return nullptr;
}

int soap_get_text_array(XML_NODE *parent, const char *name, char *first, int count, int stride)
{
    if (!first || stride <= 0 || count <= 0) return 0;
    int filled = 0;
    for (XML_NODE *n = soap_first(parent, name); n && filled < count; n = soap_next(n, name)) {
        if (!n->text) continue;
        soap_copy_text(first + (size_t)filled * (size_t)stride, stride, n->text);
        filled++;
    }
    return filled;
}
