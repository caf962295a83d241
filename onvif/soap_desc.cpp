// The generic SOAP writer and reader: records <-> XML through their static
// field descriptors.

#include "onvif/soap_desc.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <time.h>

#include "platform/encoding.h"
#include "platform/text_conv.h"
#include "platform/sys_log.h"

const SOAP_TYPE SD_void = {"void", 0, 1, nullptr, 0};

namespace
{

const char *const kNsPrefix[SOAP_NS_COUNT] = {
    "",    "tt",  "tds", "trt", "tr2", "tev", "tptz", "timg", "tan", "pt",   "tmd", "trp", "tse",
    "trc", "tac", "tdc", "tth", "tcr", "tar", "tsc",  "trv",  "tpv", "wsnt", "wsa", "ter"};

// ---- small helpers ----

bool is_xml_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// [begin, end) of text without surrounding XML whitespace.
void trim_span(const char *text, const char **begin, const char **end)
{
    const char *b = text;
    const char *e = text + strlen(text);
    while (b < e && is_xml_space(*b))
        b++;
    while (e > b && is_xml_space(e[-1]))
        e--;
    *begin = b;
    *end = e;
}

// Copies the trimmed text into a terminated buffer (cut to size); false
// when nothing is left.
bool trimmed(const char *text, char *buf, size_t size)
{
    const char *b;
    const char *e;
    trim_span(text, &b, &e);
    size_t n = (size_t)(e - b);
    if (n >= size) n = size - 1;
    memcpy(buf, b, n);
    buf[n] = '\0';
    return n > 0;
}

uint32_t load_u32(const char *p)
{
    uint32_t v;
    memcpy(&v, p, sizeof(v));
    return v;
}

void store_u32(char *p, uint32_t v)
{
    memcpy(p, &v, sizeof(v));
}

bool present(const SOAP_FIELD &f, const char *rec)
{
    if (f.pres_bit < 0 || f.pres_bit > 31) return true;
    return (load_u32(rec + f.pres_off) >> f.pres_bit) & 1u;
}

void mark_present(const SOAP_FIELD &f, char *rec)
{
    if (f.pres_bit < 0 || f.pres_bit > 31) return;
    store_u32(rec + f.pres_off, load_u32(rec + f.pres_off) | (1u << f.pres_bit));
}

// "prefix:name" (or the bare name) into buf.
const char *qname(const SOAP_FIELD &f, char *buf, size_t size)
{
    const char *prefix = soap_ns_prefix(f.ns);
    if (!prefix || !prefix[0]) return f.name;
    snprintf(buf, size, "%s:%s", prefix, f.name);
    return buf;
}

template <typename T> T load(const char *p)
{
    T v;
    memcpy(&v, p, sizeof(v));
    return v;
}

template <typename T> void store(char *p, T v)
{
    memcpy(p, &v, sizeof(v));
}

size_t round_up(size_t n, size_t a)
{
    return a > 1 ? (n + a - 1) / a * a : n;
}

// ---- numbers without locale ----

bool parse_i64(const char *text, long long lo, long long hi, long long *out)
{
    const char *b;
    const char *e;
    trim_span(text, &b, &e);
    bool neg = false;
    if (b < e && (*b == '+' || *b == '-')) neg = *b++ == '-';
    if (b == e) return false;
    long long v = 0;
    bool over = false;
    for (; b < e; b++) {
        if (*b < '0' || *b > '9') return false;
        if (v > (LLONG_MAX - (*b - '0')) / 10)
            over = true;
        else
            v = v * 10 + (*b - '0');
    }
    if (neg) v = -v;
    if (over) v = neg ? lo : hi;
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    *out = v;
    return true;
}

bool parse_double(const char *text, double *out)
{
    const char *b;
    const char *e;
    trim_span(text, &b, &e);
    if (b < e && *b == '+') b++;
    if (b == e) return false;
    size_t n = (size_t)(e - b);
    if ((n == 3 && strncmp(b, "INF", 3) == 0) || (n == 4 && strncmp(b, "+INF", 4) == 0)) {
        *out = HUGE_VAL;
        return true;
    }
    if (n == 4 && strncmp(b, "-INF", 4) == 0) {
        *out = -HUGE_VAL;
        return true;
    }
    if (n == 3 && strncmp(b, "NaN", 3) == 0) {
        *out = NAN;
        return true;
    }
    double v = 0;
    auto r = std::from_chars(b, e, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: saturate towards the sign.
        v = (*b == '-') ? -HUGE_VAL : HUGE_VAL;
        if (strpbrk(b, "eE") && strstr(b, "e-")) v = 0;
    } else if (r.ec != std::errc() || r.ptr != e) {
        return false;
    }
    *out = v;
    return true;
}

// ---- date and time ----

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long days_from_civil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    unsigned yoe = (unsigned)(y - era * 400);
    unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (long long)doe - 719468;
}

int digits(const char **p, const char *e, int n, int *out)
{
    int v = 0;
    for (int i = 0; i < n; i++) {
        if (*p >= e || **p < '0' || **p > '9') return 0;
        v = v * 10 + (*(*p)++ - '0');
    }
    *out = v;
    return 1;
}

// ---- writing ----

int write_fields(SOAP_WRITER *w, const SOAP_TYPE *t, const char *rec);

// Formats a simple value (not a text field) into buf; false when the kind
// has no simple form.
bool format_simple(const SOAP_FIELD &f, const char *p, char *buf, size_t size)
{
    switch (f.kind) {
    case SOAP_K_INT:
        snprintf(buf, size, "%d", (int)load<int32_t>(p));
        return true;
    case SOAP_K_UINT:
        snprintf(buf, size, "%u", (unsigned)load<uint32_t>(p));
        return true;
    case SOAP_K_INT64:
        snprintf(buf, size, "%lld", (long long)load<int64_t>(p));
        return true;
    case SOAP_K_BOOL:
        snprintf(buf, size, "%s", load<int32_t>(p) ? "true" : "false");
        return true;
    case SOAP_K_FLOAT:
        return soap_format_float(load<float>(p), 1, buf, (int)size) > 0;
    case SOAP_K_DOUBLE:
        return soap_format_float(load<double>(p), 0, buf, (int)size) > 0;
    case SOAP_K_ENUM: {
        const char *text = f.to_text ? f.to_text(load<int32_t>(p)) : nullptr;
        snprintf(buf, size, "%s", text ? text : "");
        return true;
    }
    case SOAP_K_DURATION: {
        int32_t s = load<int32_t>(p);
        if (s < 0)
            snprintf(buf, size, "-PT%lldS", -(long long)s);
        else
            snprintf(buf, size, "PT%dS", (int)s);
        return true;
    }
    case SOAP_K_DATETIME:
        return soap_format_datetime(load<int64_t>(p), buf, (int)size) > 0;
    default:
        return false;
    }
}

// The text of a value: a text field read up to its first NUL or its end,
// else the formatted value (in buf).
const char *value_text(const SOAP_FIELD &f, const char *p, char *buf, size_t size, size_t *len)
{
    if (f.kind == SOAP_K_TEXT) {
        *len = strnlen(p, f.size);
        return p;
    }
    if (!format_simple(f, p, buf, size)) return nullptr;
    *len = strlen(buf);
    return buf;
}

int write_escaped_n(SOAP_WRITER *w, const char *text, size_t n)
{
    // soap_w_escaped needs a terminated text; fields may be full to the end.
    char local[512];
    if (n < sizeof(local)) {
        memcpy(local, text, n);
        local[n] = '\0';
        return soap_w_escaped(w, local);
    }
    char *heap = static_cast<char *>(malloc(n + 1));
    if (!heap) {
        w->overflow = 1;
        return -1;
    }
    memcpy(heap, text, n);
    heap[n] = '\0';
    int r = soap_w_escaped(w, heap);
    free(heap);
    return r;
}

int write_binary(SOAP_WRITER *w, const SOAP_BINARY *b)
{
    if (!b->data || b->len <= 0) return 0;
    int need = (b->len + 2) / 3 * 4 + 1;
    if (need > w->size - w->len) {
        w->overflow = 1;
        return -1;
    }
    if (!base64_encode(b->data, b->len, w->buf + w->len, w->size - w->len)) {
        w->overflow = 1;
        w->buf[w->len] = '\0';
        return -1;
    }
    w->len += (int)strlen(w->buf + w->len);
    return 0;
}

// One value of field f at p as an element.
int write_one(SOAP_WRITER *w, const SOAP_FIELD &f, const char *p)
{
    char qbuf[160];
    const char *q = qname(f, qbuf, sizeof(qbuf));
    switch (f.kind) {
    case SOAP_K_HOOK:
        return f.hook && f.hook->write ? f.hook->write(w, p, &f) : 0;
    case SOAP_K_CHILD:
        return soap_desc_write_element(w, q, f.type, p);
    case SOAP_K_RAW: {
        const char *xml = load<const char *>(p);
        return xml ? soap_w_puts(w, xml) : 0;
    }
    case SOAP_K_BINARY:
        soap_w_open(w, q);
        write_binary(w, reinterpret_cast<const SOAP_BINARY *>(p));
        return soap_w_close(w, q);
    default: {
        char buf[64];
        size_t len = 0;
        const char *text = value_text(f, p, buf, sizeof(buf), &len);
        if (!text) return 0;
        soap_w_open(w, q);
        write_escaped_n(w, text, len);
        return soap_w_close(w, q);
    }
    }
}

size_t list_node_offset(const SOAP_FIELD &f)
{
    size_t align = sizeof(void *);
    if (f.kind == SOAP_K_CHILD && f.type) align = f.type->align;
    if (f.kind == SOAP_K_INT64 || f.kind == SOAP_K_DOUBLE || f.kind == SOAP_K_DATETIME) align = 8;
    return round_up(sizeof(void *), align);
}

int32_t array_count(const SOAP_FIELD &f, const char *rec)
{
    int32_t n = load<int32_t>(rec + f.count_off);
    if (n < 0) n = 0;
    if ((uint32_t)n > f.max) n = (int32_t)f.max;
    return n;
}

int write_repeated(SOAP_WRITER *w, const SOAP_FIELD &f, const char *rec)
{
    const char *base = rec + f.offset;
    if (f.opts & SOAP_F_LIST) {
        size_t off = list_node_offset(f);
        uint32_t cap = f.max ? f.max : SOAP_LIST_MAX;
        uint32_t i = 0;
        for (const char *node = load<const char *>(base); node && i < cap;
             node = load<const char *>(node), i++)
            write_one(w, f, node + off);
        return w->overflow ? -1 : 0;
    }
    if (f.opts & SOAP_F_NONEMPTY) {
        for (uint32_t i = 0; i < f.max; i++) {
            const char *entry = base + (size_t)i * f.size;
            if (entry[0]) write_one(w, f, entry);
        }
        return w->overflow ? -1 : 0;
    }
    int32_t n = array_count(f, rec);
    for (int32_t i = 0; i < n; i++)
        write_one(w, f, base + (size_t)i * f.size);
    return w->overflow ? -1 : 0;
}

int write_fields(SOAP_WRITER *w, const SOAP_TYPE *t, const char *rec)
{
    if (!t) return 0;
    for (uint32_t i = 0; i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        if (f.opts & SOAP_F_ATTR) continue;
        if (!present(f, rec)) continue;
        if (f.opts & SOAP_F_VALUE) {
            char buf[64];
            size_t len = 0;
            const char *text = value_text(f, rec + f.offset, buf, sizeof(buf), &len);
            if (text) write_escaped_n(w, text, len);
            continue;
        }
        if (f.opts & (SOAP_F_LIST | SOAP_F_ARRAY))
            write_repeated(w, f, rec);
        else
            write_one(w, f, rec + f.offset);
    }
    return w->overflow ? -1 : 0;
}

// ---- reading ----

int read_fields(XML_NODE *node, const SOAP_TYPE *t, char *rec, SOAP_READ_CTX *ctx);

// Attribute lookup by local name, any prefix, any case.
const char *attr_value(XML_NODE *node, const char *name)
{
    for (XML_NODE *a = node ? node->first_attr : nullptr; a; a = a->next_sibling)
        if (a->name && soap_strcmp(a->name, name) == 0) return a->text;
    return nullptr;
}

// Decoded, terminated text of an element or attribute value (entities
// resolved), in buf; heap when large. Returns null when there is no text.
struct Text {
    char local[256];
    char *heap = nullptr;
    ~Text() { free(heap); }
    char *set(const char *raw)
    {
        if (!raw) return nullptr;
        size_t n = strlen(raw);
        if (n < sizeof(local)) {
            soap_copy_text(local, (int)sizeof(local), raw);
            return local;
        }
        heap = static_cast<char *>(malloc(n + 1));
        if (!heap) return nullptr;
        soap_copy_text(heap, (int)(n + 1), raw);
        return heap;
    }
};

// Stores a simple value read from raw (undecoded) text; false when the
// text is not a value of the kind.
bool read_simple(const SOAP_FIELD &f, char *p, const char *raw)
{
    if (!raw) return false;
    if (f.kind == SOAP_K_TEXT) {
        if (!(f.opts & SOAP_F_TRIM)) {
            soap_copy_text(p, (int)f.size, raw);
            return true;
        }
        Text t;
        char *decoded = t.set(raw);
        if (!decoded) return false;
        const char *b;
        const char *e;
        trim_span(decoded, &b, &e);
        soap_copy_utf8(p, (int)f.size, b, (int)(e - b));
        return true;
    }
    Text t;
    const char *text = t.set(raw);
    if (!text) return false;
    long long v = 0;
    switch (f.kind) {
    case SOAP_K_INT:
        if (!parse_i64(text, INT32_MIN, INT32_MAX, &v)) return false;
        store<int32_t>(p, (int32_t)v);
        return true;
    case SOAP_K_UINT:
        if (!parse_i64(text, 0, UINT32_MAX, &v)) return false;
        store<uint32_t>(p, (uint32_t)v);
        return true;
    case SOAP_K_INT64:
        if (!parse_i64(text, LLONG_MIN, LLONG_MAX, &v)) return false;
        store<int64_t>(p, (int64_t)v);
        return true;
    case SOAP_K_BOOL: {
        int32_t b = 0;
        if (!soap_text_to_bool(text, &b)) return false;
        store<int32_t>(p, b);
        return true;
    }
    case SOAP_K_FLOAT: {
        double d = 0;
        if (!parse_double(text, &d)) return false;
        store<float>(p, (float)d);
        return true;
    }
    case SOAP_K_DOUBLE: {
        double d = 0;
        if (!parse_double(text, &d)) return false;
        store<double>(p, d);
        return true;
    }
    case SOAP_K_ENUM: {
        char token[128];
        if (!trimmed(text, token, sizeof(token)) || !f.from_text) return false;
        store<int32_t>(p, (int32_t)f.from_text(token));
        return true;
    }
    case SOAP_K_DURATION: {
        int32_t s = 0;
        if (!soap_text_to_duration(text, &s)) return false;
        store<int32_t>(p, s);
        return true;
    }
    case SOAP_K_DATETIME: {
        int64_t tt = 0;
        if (!soap_text_to_datetime(text, &tt)) return false;
        store<int64_t>(p, tt);
        return true;
    }
    default:
        return false;
    }
}

bool read_raw(XML_NODE *c, char *p)
{
    char *xml = soap_xml_copy(c);
    if (!xml) return false;
    free(load<char *>(p));
    store<char *>(p, xml);
    return true;
}

// The declaration of prefix (n characters; 0: the default namespace) on e or
// its nearest ancestor that has one.
XML_NODE *ns_decl(XML_NODE *e, const char *prefix, size_t n)
{
    for (int guard = 0; e && guard < 4096; e = e->parent, guard++) {
        for (XML_NODE *a = e->first_attr; a; a = a->next_sibling) {
            if (!a->name) continue;
            if (n == 0 && strcmp(a->name, "xmlns") == 0) return a;
            if (n > 0 && strncmp(a->name, "xmlns:", 6) == 0 && strlen(a->name + 6) == n &&
                strncmp(a->name + 6, prefix, n) == 0)
                return a;
        }
    }
    return nullptr;
}

bool read_binary(XML_NODE *c, char *p, SOAP_READ_CTX *ctx)
{
    SOAP_BINARY *b = reinterpret_cast<SOAP_BINARY *>(p);
    XML_NODE *inc = xml_node_soap_get(c, "Include");
    if (inc) {
        const char *href = attr_value(inc, "href");
        if (!href || !ctx) return false;
        char id[256];
        if (!trimmed(href, id, sizeof(id))) return false;
        const char *key = strncasecmp(id, "cid:", 4) == 0 ? id + 4 : id;
        char decoded[256];
        url_decode(decoded, key, (int)strlen(key));
        for (int i = 0; i < ctx->attachment_count; i++) {
            const SOAP_ATTACHMENT &a = ctx->attachments[i];
            if (!a.content_id ||
                (strcmp(a.content_id, key) != 0 && strcmp(a.content_id, decoded) != 0))
                continue;
            uint8_t *data = static_cast<uint8_t *>(malloc(a.len > 0 ? (size_t)a.len : 1));
            if (!data) return false;
            if (a.len > 0) memcpy(data, a.data, (size_t)a.len);
            free(b->data);
            b->data = data;
            b->len = a.len;
            snprintf(b->content_type, sizeof(b->content_type), "%s",
                     a.content_type ? a.content_type : "");
            return true;
        }
        return false;
    }
    if (!c->text) return false;
    // Base64 text, whitespace allowed between groups.
    size_t n = strlen(c->text);
    char *clean = static_cast<char *>(malloc(n + 1));
    if (!clean) return false;
    size_t m = 0;
    for (const char *s = c->text; *s; s++)
        if (!is_xml_space(*s)) clean[m++] = *s;
    clean[m] = '\0';
    int cap = (int)(m / 4 * 3 + 3);
    uint8_t *data = static_cast<uint8_t *>(malloc((size_t)cap));
    int len = data ? base64_decode(clean, (int)m, data, cap) : -1;
    free(clean);
    if (len < 0) {
        free(data);
        return false;
    }
    free(b->data);
    b->data = data;
    b->len = len;
    return true;
}

// One value of f from element c into p; false when there was nothing to read.
bool read_one(XML_NODE *c, const SOAP_FIELD &f, char *p, SOAP_READ_CTX *ctx)
{
    switch (f.kind) {
    case SOAP_K_CHILD:
        return read_fields(c, f.type, p, ctx) != 0;
    case SOAP_K_RAW:
        return read_raw(c, p);
    case SOAP_K_BINARY:
        return read_binary(c, p, ctx);
    default:
        return read_simple(f, p, c->text);
    }
}

void *new_node(const SOAP_FIELD &f)
{
    size_t size = f.kind == SOAP_K_CHILD && f.type ? f.type->size : f.size;
    return calloc(1, list_node_offset(f) + size);
}

void read_list(XML_NODE *node, const SOAP_FIELD &f, char *rec, SOAP_READ_CTX *ctx)
{
    char *head = rec + f.offset;
    uint32_t cap = f.max ? f.max : SOAP_LIST_MAX;
    // Find the tail once (a merged record may already hold nodes).
    char *tail = nullptr;
    uint32_t n = 0;
    for (char *p = load<char *>(head); p && n < cap; p = load<char *>(p), n++)
        tail = p;
    size_t off = list_node_offset(f);
    bool any = false;
    for (XML_NODE *c = soap_first(node, f.name); c; c = soap_next(c, f.name)) {
        if (n >= cap) {
            if (ctx) ctx->dropped++;
            continue;
        }
        char *item = static_cast<char *>(new_node(f));
        if (!item) {
            if (ctx) ctx->dropped++;
            break;
        }
        if (!read_one(c, f, item + off, ctx) && f.kind != SOAP_K_CHILD) {
            free(item); // a simple entry without text is not an entry
            continue;
        }
        if (tail)
            store<char *>(tail, item);
        else
            store<char *>(head, item);
        tail = item;
        n++;
        any = true;
    }
    if (any) mark_present(f, rec);
}

void read_array(XML_NODE *node, const SOAP_FIELD &f, char *rec, SOAP_READ_CTX *ctx)
{
    char *base = rec + f.offset;
    uint32_t n = 0;
    if (f.opts & SOAP_F_NONEMPTY) {
        while (n < f.max && base[(size_t)n * f.size])
            n++;
    }
    bool any = false;
    for (XML_NODE *c = soap_first(node, f.name); c; c = soap_next(c, f.name)) {
        if (n >= f.max) {
            if (ctx) ctx->dropped++;
            continue;
        }
        char *entry = base + (size_t)n * f.size;
        if (!read_one(c, f, entry, ctx)) continue;
        if ((f.opts & SOAP_F_NONEMPTY) && !entry[0]) continue;
        n++;
        any = true;
    }
    if (!(f.opts & SOAP_F_NONEMPTY)) store<int32_t>(rec + f.count_off, (int32_t)n);
    if (any) mark_present(f, rec);
}

int read_fields(XML_NODE *node, const SOAP_TYPE *t, char *rec, SOAP_READ_CTX *ctx)
{
    if (!node || !t) return node != nullptr;
    for (uint32_t i = 0; i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        char *p = rec + f.offset;
        if (f.opts & SOAP_F_ATTR) {
            if (read_simple(f, p, attr_value(node, f.name))) mark_present(f, rec);
            continue;
        }
        if (f.opts & SOAP_F_VALUE) {
            if (read_simple(f, p, node->text)) mark_present(f, rec);
            continue;
        }
        if (f.kind == SOAP_K_HOOK) {
            if (!f.hook || !f.hook->read) continue;
            int r = f.hook->read(node, p, &f, ctx);
            if (r > 0) mark_present(f, rec);
            if (r < 0 && (f.opts & SOAP_F_REQUIRED)) return 0;
            continue;
        }
        if (f.opts & SOAP_F_LIST) {
            read_list(node, f, rec, ctx);
            continue;
        }
        if (f.opts & SOAP_F_ARRAY) {
            read_array(node, f, rec, ctx);
            continue;
        }
        XML_NODE *c = xml_node_soap_get(node, f.name);
        if (!c) {
            if (f.opts & SOAP_F_REQUIRED) return 0;
            continue;
        }
        if (read_one(c, f, p, ctx))
            mark_present(f, rec);
        else if ((f.opts & SOAP_F_REQUIRED) && f.kind == SOAP_K_CHILD)
            return 0;
    }
    return 1;
}

// ---- releasing ----

void free_fields(const SOAP_TYPE *t, char *rec);

void free_one(const SOAP_FIELD &f, char *p)
{
    switch (f.kind) {
    case SOAP_K_CHILD:
        free_fields(f.type, p);
        break;
    case SOAP_K_RAW:
        free(load<char *>(p));
        store<char *>(p, nullptr);
        break;
    case SOAP_K_BINARY: {
        SOAP_BINARY *b = reinterpret_cast<SOAP_BINARY *>(p);
        free(b->data);
        b->data = nullptr;
        b->len = 0;
        break;
    }
    case SOAP_K_HOOK:
        if (f.hook && f.hook->release) f.hook->release(p, &f);
        break;
    default:
        break;
    }
}

bool owns_memory(const SOAP_FIELD &f)
{
    return f.kind == SOAP_K_CHILD || f.kind == SOAP_K_RAW || f.kind == SOAP_K_BINARY ||
           f.kind == SOAP_K_HOOK;
}

void free_fields(const SOAP_TYPE *t, char *rec)
{
    if (!t) return;
    for (uint32_t i = 0; i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        char *p = rec + f.offset;
        if (f.opts & SOAP_F_LIST) {
            size_t off = list_node_offset(f);
            char *node = load<char *>(p);
            // Bounded by the list cap and a generous margin: a damaged list
            // must not hang the release.
            for (uint32_t n = 0; node && n < 16u * SOAP_LIST_MAX; n++) {
                char *next = load<char *>(node);
                if (owns_memory(f)) free_one(f, node + off);
                free(node);
                node = next;
            }
            store<char *>(p, nullptr);
            continue;
        }
        if (f.opts & SOAP_F_ARRAY) {
            if (!owns_memory(f)) continue;
            for (uint32_t k = 0; k < f.max; k++)
                free_one(f, p + (size_t)k * f.size);
            continue;
        }
        if (owns_memory(f)) free_one(f, p);
    }
}

} // namespace

extern "C" {

const char *soap_ns_prefix(int ns)
{
    if (ns < 0 || ns >= SOAP_NS_COUNT) return nullptr;
    return kNsPrefix[ns];
}

void soap_xml_carry_ns(XML_NODE *node)
{
    if (!node || node->kind != XML_NODE_ELEMENT) return;
    // The prefixes the subtree uses (element and attribute names), each
    // looked up once; an iterative walk, so deep trees cannot exhaust the
    // stack.
    struct Need {
        const char *name;
        size_t n;
    };
    Need needs[32];
    int count = 0;
    auto want = [&](const char *qname, bool element) {
        if (!qname) return;
        const char *colon = strchr(qname, ':');
        size_t n = colon ? (size_t)(colon - qname) : 0;
        if (!element && n == 0) return; // unprefixed attributes have no namespace
        if (n == 5 && strncmp(qname, "xmlns", 5) == 0) return;
        if (n == 3 && strncmp(qname, "xml", 3) == 0) return;
        if (!element && strcmp(qname, "xmlns") == 0) return;
        for (int i = 0; i < count; i++)
            if (needs[i].n == n && strncmp(needs[i].name, qname, n) == 0) return;
        if (count < 32) needs[count++] = {qname, n};
    };
    XML_NODE *e = node;
    for (int guard = 0; e && guard < 1000000; guard++) {
        want(e->name, true);
        for (XML_NODE *a = e->first_attr; a; a = a->next_sibling)
            want(a->name, false);
        if (e->first_child) {
            e = e->first_child;
            continue;
        }
        while (e && e != node && !e->next_sibling)
            e = e->parent;
        if (!e || e == node) break;
        e = e->next_sibling;
    }
    for (int i = 0; i < count; i++) {
        XML_NODE *decl = ns_decl(node, needs[i].name, needs[i].n);
        if (!decl || !decl->text) continue;
        bool own = false;
        for (XML_NODE *a = node->first_attr; a; a = a->next_sibling)
            if (a == decl) own = true;
        if (!own) xml_attr_add(node, decl->name, decl->text);
    }
}

char *soap_xml_copy(XML_NODE *node)
{
    if (!node) return nullptr;
    soap_xml_carry_ns(node);
    int need = xml_calc_buf_len(node);
    if (need <= 0) return nullptr;
    char *xml = static_cast<char *>(malloc((size_t)need + 1));
    if (!xml) return nullptr;
    int n = xml_nwrite_buf(node, xml, need + 1);
    if (n < 0) {
        free(xml);
        return nullptr;
    }
    xml[n < need ? n : need] = '\0';
    return xml;
}

size_t soap_desc_node_offset(const SOAP_TYPE *t)
{
    return round_up(sizeof(void *), t && t->align ? t->align : sizeof(void *));
}

int soap_desc_write_attrs(SOAP_WRITER *w, const SOAP_TYPE *t, const void *rec)
{
    if (!t || !rec) return 0;
    const char *r = static_cast<const char *>(rec);
    for (uint32_t i = 0; i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        if (!(f.opts & SOAP_F_ATTR) || !present(f, r)) continue;
        char buf[64];
        size_t len = 0;
        const char *text = value_text(f, r + f.offset, buf, sizeof(buf), &len);
        if (!text) continue;
        // An attribute that is not optional is written even when empty only
        // if it is a text: a missing token attribute means "none".
        if (f.kind == SOAP_K_TEXT && len == 0 && f.pres_bit < 0) continue;
        soap_w_printf(w, " %s=\"", f.name);
        write_escaped_n(w, text, len);
        soap_w_puts(w, "\"");
    }
    return w->overflow ? -1 : 0;
}

int soap_desc_write(SOAP_WRITER *w, const SOAP_TYPE *t, const void *rec)
{
    if (!w) return -1;
    if (!t || !rec) return w->overflow ? -1 : 0;
    return write_fields(w, t, static_cast<const char *>(rec));
}

int soap_desc_write_element(SOAP_WRITER *w, const char *qname, const SOAP_TYPE *t, const void *rec)
{
    soap_w_printf(w, "<%s", qname);
    soap_desc_write_attrs(w, t, rec);
    int start = w->len;
    soap_w_puts(w, ">");
    int before = w->len;
    soap_desc_write(w, t, rec);
    if (!w->overflow && w->len == before) {
        // Nothing inside: the short form.
        w->len = start;
        w->buf[w->len] = '\0';
        return soap_w_puts(w, " />");
    }
    return soap_w_close(w, qname);
}

int soap_desc_read(XML_NODE *p_node, const SOAP_TYPE *t, void *rec, SOAP_READ_CTX *ctx)
{
    if (!p_node) return 0;
    if (!t || !rec) return 1;
    return read_fields(p_node, t, static_cast<char *>(rec), ctx);
}

void soap_desc_free(const SOAP_TYPE *t, void *rec)
{
    if (!t || !rec) return;
    free_fields(t, static_cast<char *>(rec));
}

int soap_text_to_bool(const char *text, int32_t *out)
{
    if (!text) return 0;
    char token[8];
    trimmed(text, token, sizeof(token));
    if (strcasecmp(token, "true") == 0 || strcmp(token, "1") == 0) {
        *out = 1;
        return 1;
    }
    if (strcasecmp(token, "false") == 0 || strcmp(token, "0") == 0) {
        *out = 0;
        return 1;
    }
    return 0;
}

int soap_text_to_duration(const char *text, int32_t *seconds)
{
    if (!text) return 0;
    const char *b;
    const char *e;
    trim_span(text, &b, &e);
    bool neg = false;
    if (b < e && *b == '-') {
        neg = true;
        b++;
    }
    if (b >= e || *b++ != 'P') return 0;
    bool in_time = false;
    bool any = false;
    double total = 0;
    while (b < e) {
        if (*b == 'T') {
            if (in_time) return 0;
            in_time = true;
            b++;
            continue;
        }
        const char *num = b;
        while (b < e && ((*b >= '0' && *b <= '9') || *b == '.'))
            b++;
        if (b == num || b >= e) return 0;
        double v = 0;
        auto r = std::from_chars(num, b, v, std::chars_format::fixed);
        if (r.ec != std::errc() || r.ptr != b) return 0;
        char unit = *b++;
        double mul = 0;
        if (!in_time && unit == 'Y')
            mul = 365.0 * 86400;
        else if (!in_time && unit == 'M')
            mul = 30.0 * 86400;
        else if (!in_time && unit == 'D')
            mul = 86400;
        else if (in_time && unit == 'H')
            mul = 3600;
        else if (in_time && unit == 'M')
            mul = 60;
        else if (in_time && unit == 'S')
            mul = 1;
        else
            return 0;
        total += v * mul;
        any = true;
    }
    if (!any) return 0;
    if (total > INT32_MAX) total = INT32_MAX;
    *seconds = (int32_t)(neg ? -total : total);
    return 1;
}

int soap_text_to_datetime(const char *text, int64_t *t)
{
    if (!text) return 0;
    const char *b;
    const char *e;
    trim_span(text, &b, &e);
    bool neg = false;
    if (b < e && *b == '-') {
        neg = true;
        b++;
    }
    int year = 0, mon = 0, day = 0, hh = 0, mm = 0, ss = 0;
    if (!digits(&b, e, 4, &year) || b >= e || *b++ != '-' || !digits(&b, e, 2, &mon) || b >= e ||
        *b++ != '-' || !digits(&b, e, 2, &day) || b >= e || *b++ != 'T' || !digits(&b, e, 2, &hh) ||
        b >= e || *b++ != ':' || !digits(&b, e, 2, &mm) || b >= e || *b++ != ':' ||
        !digits(&b, e, 2, &ss))
        return 0;
    if (b < e && *b == '.') {
        b++;
        const char *f = b;
        while (b < e && *b >= '0' && *b <= '9')
            b++;
        if (b == f) return 0;
    }
    long long offset = 0;
    if (b < e && *b == 'Z') {
        b++;
    } else if (b < e && (*b == '+' || *b == '-')) {
        int sign = *b++ == '-' ? -1 : 1;
        int oh = 0, om = 0;
        if (!digits(&b, e, 2, &oh) || b >= e || *b++ != ':' || !digits(&b, e, 2, &om) || oh > 14 ||
            om > 59)
            return 0;
        offset = sign * (oh * 3600LL + om * 60LL);
    }
    if (b != e) return 0;
    if (mon < 1 || mon > 12 || day < 1 || day > 31 || hh > 24 || mm > 59 || ss > 60) return 0;
    if (hh == 24 && (mm || ss)) return 0;
    long long y = neg ? -year : year;
    long long days = days_from_civil(y, (unsigned)mon, (unsigned)day);
    *t = (int64_t)(days * 86400 + hh * 3600LL + mm * 60LL + ss - offset);
    return 1;
}

int soap_format_datetime(int64_t t, char *buf, int len)
{
    if (!buf || len <= 0) return 0;
    time_t tt = (time_t)t;
    struct tm tm;
    if (!gmtime_r(&tt, &tm)) {
        buf[0] = '\0';
        return 0;
    }
    int n = (int)strftime(buf, (size_t)len, "%Y-%m-%dT%H:%M:%SZ", &tm);
    if (n <= 0) buf[0] = '\0';
    return n;
}

int soap_format_float(double v, int is_float, char *buf, int len)
{
    if (!buf || len <= 0) return 0;
    if (std::isnan(v)) return snprintf(buf, (size_t)len, "NaN");
    if (std::isinf(v)) return snprintf(buf, (size_t)len, v < 0 ? "-INF" : "INF");
    std::to_chars_result r = is_float ? std::to_chars(buf, buf + len - 1, (float)v)
                                      : std::to_chars(buf, buf + len - 1, v);
    if (r.ec != std::errc()) {
        buf[0] = '\0';
        return 0;
    }
    *r.ptr = '\0';
    return (int)(r.ptr - buf);
}

} // extern "C"
