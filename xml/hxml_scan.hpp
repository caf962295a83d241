// The tokenizer's engine (internal, C++ only): one template over a handler,
// so that the tree builder gets the scan with its callbacks inlined while
// hxml_parse keeps the function-pointer interface of hxml.h.
//
// Every scan compares the cursor with buf_end before it looks at a byte, so
// no input can make it read at or past buf_end; every write is a NUL over a
// byte that the scan has just looked at, or (only for text that holds CDATA
// sections) a move of text bytes towards the start of the same text.
//
// A handler has:
//   bool open(char *name)                         start tag seen, before its attributes
//   bool attr(char *name, char *value, int vlen)  one attribute (empty names never come)
//   bool opened(char *name)                       after the attributes
//   bool close(char *name)                        end tag, or the end of a self-closing tag
//   bool text(char *text, int len)                element text, NUL-terminated, len >= 1
// A false result stops the run with -1.
#ifndef XML_HXML_SCAN_HPP
#define XML_HXML_SCAN_HPP

#include "platform/sys_log.h"
#include "xml/hxml.h"

#include <stddef.h>
#include <stdint.h>
#include <string.h>

namespace hxml_scan
{

enum : uint8_t {
    kWs = 1,        // space, tab, CR, LF
    kNameStop = 2,  // ends an element name: whitespace, '>', '/'
    kAttrStop = 4,  // ends an attribute name: '=', '>', '/'
    kValueStop = 8, // ends a bare value: whitespace, '>', '/'
    kEndStop = 16,  // ends an end-tag name: whitespace, '>'
};

struct Classes {
    uint8_t c[256];
    constexpr Classes() : c()
    {
        const unsigned char ws[] = {' ', '\t', '\r', '\n'};
        for (unsigned char w : ws)
            c[w] = kWs | kNameStop | kValueStop | kEndStop;
        c['>'] = kNameStop | kAttrStop | kValueStop | kEndStop;
        c['/'] = kNameStop | kAttrStop | kValueStop;
        c['='] = kAttrStop;
    }
};

inline constexpr Classes kClasses{};

inline bool has(char ch, uint8_t cls)
{
    return (kClasses.c[(unsigned char)ch] & cls) != 0;
}

inline bool is_ws(char ch)
{
    return has(ch, kWs);
}

// True when [cur, end) starts with the n bytes of lit.
inline bool looking_at(const char *cur, const char *end, const char *lit, size_t n)
{
    return (size_t)(end - cur) >= n && memcmp(cur, lit, n) == 0;
}

// Word-at-a-time search: eight bytes per step. In the masks, the lowest
// flagged byte is always a true hit (borrows only run upwards), which is all
// the searches below use.
const uint64_t kOnes = 0x0101010101010101ull;
const uint64_t kHighs = 0x8080808080808080ull;

inline uint64_t load8(const char *c)
{
    uint64_t x;
    memcpy(&x, c, 8);
    return x;
}

inline uint64_t zero_bytes(uint64_t x)
{
    return (x - kOnes) & ~x & kHighs;
}

inline uint64_t bytes_equal(uint64_t x, unsigned char ch)
{
    return zero_bytes(x ^ (kOnes * ch));
}

inline uint64_t bytes_below(uint64_t x, unsigned char n) // n <= 128
{
    return (x - kOnes * n) & ~x & kHighs;
}

inline int first_flag(uint64_t mask)
{
    return __builtin_ctzll(mask) >> 3;
}

// First `ch` in [from, end), or null: words for the first bytes (values and
// texts are mostly short), memchr beyond that.
inline char *find_byte(char *from, char *end, char ch)
{
    char *stop = end - from > 64 ? from + 64 : end;
    for (; stop - from >= 8; from += 8) {
        uint64_t m = bytes_equal(load8(from), (unsigned char)ch);
        if (m) return from + first_flag(m);
    }
    if (from >= end) return nullptr;
    if (end - from >= 8) return static_cast<char *>(memchr(from, ch, (size_t)(end - from)));
    for (; from < end; from++)
        if (*from == ch) return from;
    return nullptr;
}

// First byte of class `stop` in [c, e), or e. Word by word, candidates are
// control bytes and blanks, '>', '/' and, for attribute names, '='; the
// table decides (a control byte other than a blank does not stop). Blanks
// do not end attribute names.
inline char *scan_class(char *c, char *e, uint8_t stop)
{
    while (e - c >= 8) {
        uint64_t x = load8(c);
        uint64_t m = bytes_equal(x, '>');
        if (stop & (kNameStop | kAttrStop | kValueStop)) m |= bytes_equal(x, '/');
        if (stop & kAttrStop)
            m |= bytes_equal(x, '=');
        else
            m |= bytes_below(x, 0x21);
        if (!m) {
            c += 8;
            continue;
        }
        c += first_flag(m);
        if (has(*c, stop)) return c;
        c++;
    }
    while (c < e && !has(*c, stop))
        c++;
    return c;
}

// First occurrence of the n-byte literal in [from, end), or null.
inline char *find_seq(char *from, char *end, const char *lit, size_t n)
{
    for (char *c = find_byte(from, end, lit[0]); c; c = find_byte(c + 1, end, lit[0]))
        if ((size_t)(end - c) >= n && memcmp(c, lit, n) == 0) return c;
    return nullptr;
}

// The n bytes at a and b are equal (eight at a time).
inline bool same_bytes(const char *a, const char *b, size_t n)
{
    for (; n >= 8; a += 8, b += 8, n -= 8) {
        uint64_t x, y;
        memcpy(&x, a, 8);
        memcpy(&y, b, 8);
        if (x != y) return false;
    }
    for (; n > 0; a++, b++, n--)
        if (*a != *b) return false;
    return true;
}

inline unsigned char fold(unsigned char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? (unsigned char)(ch + ('a' - 'A')) : ch;
}

// Equal ignoring ASCII case, up to the first NUL of either.
inline bool same_name(const char *a, const char *b)
{
    for (size_t i = 0;; i++) {
        unsigned char ca = (unsigned char)a[i], cb = (unsigned char)b[i];
        if (ca != cb && fold(ca) != fold(cb)) return false;
        if (ca == '\0') return true;
    }
}

const char kCdataOpen[] = "<![CDATA[";
const size_t kCdataOpenLen = sizeof(kCdataOpen) - 1;

template <class H> class Scanner
{
  public:
    Scanner(HXML_PARSER *p, H &h)
        : p_(p), h_(h), cur_(p->cursor), end_(p->buf_end), known_(p->depth)
    {
    }

    // Each step works at the cursor and leaves it in p->cursor.
    int header()
    {
        if (cur_ == p_->buf_start && looking_at(cur_, end_, "\xEF\xBB\xBF", 3)) cur_ += 3;
        skip_ws();
        if (looking_at(cur_, end_, "<?", 2)) {
            char *close = find_seq(cur_ + 2, end_, "?>", 2);
            cur_ = close ? close + 2 : end_;
        }
        return sync(0);
    }

    int elements() { return sync(run_elements()); }
    int element_start() { return sync(run_start()); }
    int attributes() { return sync(run_attrs()); }
    int element_end() { return sync(run_end()); }

  private:
    int sync(int rc)
    {
        p_->cursor = cur_;
        return rc;
    }

    bool at_end() const { return cur_ >= end_; }

    // The scans work on locals: a member would be reloaded and stored on
    // every byte, since the NUL writes may alias it as far as the compiler
    // knows.
    void skip_ws()
    {
        char *c = cur_;
        char *const e = end_;
        while (c < e && is_ws(*c))
            c++;
        cur_ = c;
    }

    bool at_self_close() const { return end_ - cur_ >= 2 && cur_[0] == '/' && cur_[1] == '>'; }

    // Up to the first byte of class `stop`; a '/' stops only as part of "/>".
    void scan_to(uint8_t stop)
    {
        char *c = cur_;
        char *const e = end_;
        for (;;) {
            c = scan_class(c, e, stop);
            if (c >= e || *c != '/' || (e - c >= 2 && c[1] == '>')) break;
            c++;
        }
        cur_ = c;
    }

    void pop(char *name, bool *ok)
    {
        *ok = h_.close(name);
        p_->name_stack[p_->depth] = nullptr;
        p_->depth--;
    }

    // Cursor at the attributes. -1 error, 0 tag left open, 1 self-closing.
    // Every pass consumes at least one byte, so the loop ends with the input.
    int run_attrs()
    {
        for (;;) {
            skip_ws();
            if (at_end()) return -1;
            if (*cur_ == '>') {
                *cur_++ = '\0';
                return 0;
            }
            if (at_self_close()) {
                *cur_ = '\0';
                cur_ += 2;
                return 1;
            }

            // Name: up to '='; a bare word without '=' before the tag's end is dropped.
            char *name = cur_;
            scan_to(kAttrStop);
            if (at_end()) return -1;
            if (*cur_ != '=') continue;
            char *name_end = cur_;
            while (name_end > name && is_ws(name_end[-1]))
                name_end--;
            *cur_++ = '\0';
            *name_end = '\0';

            // Value: quoted with " or ', or bare up to whitespace, '>' or "/>".
            skip_ws();
            if (at_end()) return -1;
            if (*cur_ == '"' || *cur_ == '\'') {
                char *value = cur_ + 1;
                char *q = find_byte(value, end_, *cur_);
                if (!q) {
                    cur_ = end_;
                    return -1;
                }
                *q = '\0';
                cur_ = q + 1;
                if (name[0] != '\0' && !h_.attr(name, value, (int)(q - value))) return -1;
                continue;
            }
            char *value = cur_;
            scan_to(kValueStop);
            if (at_end()) return -1;
            char stop = *cur_;
            *cur_ = '\0';
            if (name[0] != '\0' && !h_.attr(name, value, (int)(cur_ - value))) return -1;
            if (stop == '/') { // "/>"
                cur_ += 2;
                return 1;
            }
            cur_++;
            if (stop == '>') return 0;
        }
    }

    // Cursor behind '<'. -1 error, 0 tag left open, 1 self-closing (ended).
    int run_start()
    {
        skip_ws();
        if (at_end()) return -1;
        char *name = cur_;
        scan_to(kNameStop);
        if (at_end() || cur_ == name) return -1;
        if (p_->depth < 0 || p_->depth >= HXML_MAX_DEPTH) return -1;
        p_->depth++;
        p_->name_stack[p_->depth] = name;
        lens_[p_->depth] = (uint32_t)(cur_ - name);

        int result;
        char stop = *cur_;
        *cur_ = '\0';
        if (!h_.open(name)) return -1;
        if (stop == '>') {
            cur_++;
            result = 0;
        } else if (stop == '/') {
            cur_ += 2;
            result = 1;
        } else {
            cur_++;
            result = run_attrs();
            if (result < 0) return -1;
        }
        if (!h_.opened(name)) return -1;
        if (result == 1) {
            bool ok;
            pop(name, &ok);
            if (!ok) return -1;
        }
        return result;
    }

    // Cursor behind "</". 0 or -1.
    int run_end()
    {
        if (p_->depth <= 0 || p_->depth >= HXML_NAME_SLOTS) return -1;
        const char *expected = p_->name_stack[p_->depth];
        skip_ws();
        if (at_end()) return -1;
        char *name = cur_;
        // Mostly the end tag repeats the start tag's name byte for byte.
        size_t room = (size_t)(end_ - cur_);
        size_t len = expected ? name_len(p_->depth) : 0;
        bool exact =
            expected && len < room && same_bytes(name, expected, len) && has(name[len], kEndStop);
        if (exact)
            cur_ = name + len;
        else
            scan_to(kEndStop);
        char *name_end = cur_;
        skip_ws();
        if (at_end() || *cur_ != '>') return -1;
        *name_end = '\0';
        *cur_++ = '\0';
        if (!exact && (!expected || !same_name(name, expected))) {
            log_print(LOG_ERROR, "%s, cur name[%s] != stack name[%s]!!!\r\n",
                      "hxml_parse_element_end", name, expected ? expected : "");
            return -1;
        }
        bool ok;
        pop(name, &ok);
        return ok ? 0 : -1;
    }

    // Element text: from the cursor (its first non-blank byte) to the '<' of
    // the element's end tag. CDATA sections in it are text too: their
    // markers are cut out by moving the rest of the text towards its start.
    int run_text()
    {
        char *text = cur_;
        char *w = nullptr; // write position once a CDATA section has been seen
        for (;;) {
            char *lt = find_byte(cur_, end_, '<');
            if (!lt) {
                cur_ = end_;
                return -1;
            }
            if (w) {
                memmove(w, cur_, (size_t)(lt - cur_));
                w += lt - cur_;
            }
            cur_ = lt;
            if (!looking_at(cur_, end_, kCdataOpen, kCdataOpenLen)) break;
            char *content = cur_ + kCdataOpenLen;
            char *close = find_seq(content, end_, "]]>", 3);
            if (!close) {
                cur_ = end_;
                return -1;
            }
            if (!w) w = cur_;
            memmove(w, content, (size_t)(close - content));
            w += close - content;
            cur_ = close + 3;
        }
        char *text_end = w ? w : cur_;
        *text_end = '\0';
        int len = (int)(text_end - text);
        if (len > 0 && !h_.text(text, len)) return -1;
        cur_++;
        if (at_end() || *cur_ != '/') return -1;
        cur_++;
        return run_end();
    }

    // The element loop. Every pass consumes at least one byte, so the loop
    // ends with the input.
    int run_elements()
    {
        for (;;) {
            skip_ws();
            if (at_end()) return p_->depth == 0 ? 0 : -1;
            if (*cur_ != '<') return -1;

            if (looking_at(cur_, end_, "<!--", 4)) {
                char *close = find_seq(cur_ + 4, end_, "-->", 3);
                cur_ = close ? close + 3 : end_;
                continue;
            }
            // Text (and so CDATA) stands only directly inside an element
            // before its end tag; here it would be mixed content or outside.
            if (looking_at(cur_, end_, kCdataOpen, kCdataOpenLen)) return -1;

            if (end_ - cur_ >= 2 && cur_[1] == '/') {
                cur_ += 2;
                if (run_end() < 0) return -1;
                if (p_->depth == 0) return 0; // nothing behind the outermost element is read
                continue;
            }

            cur_++;
            int tag = run_start();
            if (tag < 0) return -1;
            if (tag == 1) {
                if (p_->depth == 0) return 0;
                continue;
            }

            // The tag is open: a child, a comment, the end tag, or text.
            skip_ws();
            if (at_end()) return -1;
            if (*cur_ == '<' && !looking_at(cur_, end_, kCdataOpen, kCdataOpenLen)) continue;
            if (run_text() < 0) return -1;
            if (p_->depth == 0) return 0;
        }
    }

    // Length of the name open at depth d: noted when this scanner opened
    // it, measured for names that were open before it started.
    size_t name_len(int d) const { return d > known_ ? lens_[d] : strlen(p_->name_stack[d]); }

    HXML_PARSER *p_;
    H &h_;
    char *cur_;
    char *end_;
    int known_;                      // depth when the scanner started
    uint32_t lens_[HXML_NAME_SLOTS]; // name lengths above known_
};

// The whole run over a parser whose buffer fields are set; the name stack is
// used from slot 1 up and needs no clearing.
template <class H> int run(HXML_PARSER *p, H &h)
{
    p->cursor = p->buf_start;
    p->depth = 0;
    p->name_stack[0] = nullptr;
    Scanner<H> s(p, h);
    s.header();
    return s.elements();
}

} // namespace hxml_scan

#endif
