// HTTP message records, the in-place parser and header lookup.

#include "http/http_msg.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "platform/sys_log.h"
#include "platform/text_scan.h"

namespace
{

PPS_CTX *g_msg_fl = nullptr; // pool of HTTP_MSG records

struct NameCode {
    const char *name;
    uint32_t code;
};

const NameCode METHODS[] = {
    {"GET", HTTP_METHOD_GET},
    {"HEAD", HTTP_METHOD_HEAD},
    {"M-POST", HTTP_METHOD_M_POST},
    {"M-SEARCH", HTTP_METHOD_M_SEARCH},
    {"NOTIFY", HTTP_METHOD_NOTIFY},
    {"POST", HTTP_METHOD_POST},
    {"SUBSCRIBE", HTTP_METHOD_SUBSCRIBE},
    {"UNSUBSCRIBE", HTTP_METHOD_UNSUBSCRIBE},
};

const NameCode CONTENT_TYPES[] = {
    {"application/sdp", HTTP_CTT_SDP},
    {"text/plain", HTTP_CTT_TEXT},
    {"text/html", HTTP_CTT_HTML},
    {"application/soap+xml", HTTP_CTT_SOAP_XML},
    {"application/octet-stream", HTTP_CTT_OCTET_STREAM},
    {"image/jpeg", HTTP_CTT_JPEG},
    {"application/x-rtsp-tunnelled", HTTP_CTT_RTSP_TUNNEL},
    {"multipart/x-mixed-replace", HTTP_CTT_MULTIPART},
};

// Word separators of start lines and header lines.
bool is_word_sep(char c)
{
    switch (c) {
    case ' ':
    case '\t':
    case '\r':
    case '\n':
    case ',':
    case ':':
    case '{':
    case '}':
    case '(':
    case ')':
    case '\0':
    case '\'':
    case '"':
    case '?':
    case '<':
    case '>':
    case '=':
    case ';':
        return true;
    default:
        return false;
    }
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// Length of the word at p (up to a separator), scanning at most `max` bytes.
int word_len(const char *p, int max)
{
    int n = 0;
    while (n < max && !is_word_sep(p[n]))
        n++;
    return n;
}

// Copies n bytes of src into dst (size bytes), cut to size - 1, terminated.
void copy_cut(char *dst, int size, const char *src, int n)
{
    if (size <= 0) return;
    if (n > size - 1) n = size - 1;
    if (n > 0) memcpy(dst, src, (size_t)n);
    dst[n] = '\0';
}

bool is_text_type(uint32_t ctt)
{
    return ctt >= HTTP_CTT_SDP && ctt <= HTTP_CTT_SOAP_XML;
}

// Start line, NUL-terminated at `line`: first word, message type and code.
int http_headl_parse(char *line, HTTP_MSG *msg)
{
    char *p = line;
    while (is_blank(*p))
        p++;
    int wlen = word_len(p, HTTP_FIRST_WORD_SIZE);
    if (wlen == 0 || wlen > HTTP_FIRST_WORD_SIZE - 2) return -1;

    copy_cut(msg->first_word, sizeof(msg->first_word), p, wlen);
    p += wlen;
    while (is_blank(*p))
        p++;
    msg->line_rest = p;

    if (strcasecmp(msg->first_word, "HTTP/1.1") != 0 &&
        strcasecmp(msg->first_word, "HTTP/1.0") != 0) {
        msg->msg_type = HTTP_MSG_REQUEST;
        msg->code = 0;
        for (const NameCode &m : METHODS) {
            if (strcasecmp(msg->first_word, m.name) == 0) {
                msg->code = m.code;
                break;
            }
        }
        return 0;
    }

    // A response needs a numeric status (at most 9 digits, so it can't overflow).
    int slen = word_len(p, 10);
    if (slen == 0 || slen > 9) return -1;
    uint32_t code = 0;
    for (int i = 0; i < slen; i++) {
        if (p[i] < '0' || p[i] > '9') return -1;
        code = code * 10 + (uint32_t)(p[i] - '0');
    }
    msg->code = code;
    msg->msg_type = HTTP_MSG_RESPONSE;
    return 0;
}

// Header lines from `p` (len bytes); each goes into one HDRV of msg->headers.
// Returns the bytes of all lines including the empty line, or -1.
int http_line_parse(char *p, int len, char sep, HTTP_MSG *msg)
{
    int total = 0;
    while (total < len) {
        char *line = p + total;
        int line_len = 0;
        int more = 1;
        if (!GetSipLine(line, len - total, &line_len, &more) || line_len <= 0 ||
            line_len > len - total) {
            log_print(LOG_ERROR, "%s, get sip line error!!!\r\n", "http_line_parse");
            return -1;
        }
        total += line_len;
        if (line[0] == '\0') return total; // the empty line ends the header section

        char *q = line;
        while (is_blank(*q))
            q++;
        int nlen = word_len(q, (int)(p + len - q));
        char *name = q;
        q += nlen;
        while (is_blank(*q))
            q++;
        if (nlen == 0 || *q != sep) {
            log_print(LOG_ERROR, "%s, format error!!!\r\n", "http_line_parse");
            return -1;
        }
        q++;
        while (is_blank(*q))
            q++;

        HDRV *h = hdrv_buf_get_idle();
        if (!h) {
            log_print(LOG_ERROR, "%s, hdrv_buf_get_idle return NULL!!!\r\n", "http_line_parse");
            return -1;
        }
        copy_cut(h->header, sizeof(h->header), name, nlen);
        h->value_string = q;
        pps_ctx_ul_add(&msg->headers, h);

        if (!more) break; // the line was the last of the given bytes
    }
    return total;
}

// Content-Length: blanks, 1 to 9 decimal digits, blanks; -1 for anything else.
int parse_content_length(const char *v)
{
    const char *p = v;
    while (is_blank(*p))
        p++;
    int n = 0;
    long long val = 0;
    while (p[n] >= '0' && p[n] <= '9') {
        if (n >= 9) return -1;
        val = val * 10 + (p[n] - '0');
        n++;
    }
    if (n == 0) return -1;
    p += n;
    while (is_blank(*p))
        p++;
    if (*p != '\0' || val > HTTP_MAX_CONTENT_LEN) return -1;
    return (int)val;
}

uint32_t content_type_code(const char *v)
{
    const char *p = v;
    while (is_blank(*p))
        p++;
    int wlen = word_len(p, 64);
    if (wlen == 0 || wlen >= 64) return HTTP_CTT_NONE;
    for (const NameCode &c : CONTENT_TYPES) {
        if ((int)strlen(c.name) == wlen && strncasecmp(p, c.name, (size_t)wlen) == 0) return c.code;
    }
    return HTTP_CTT_NONE;
}

void copy_boundary(HTTP_MSG *msg, const char *v)
{
    const char *b = strstr(v, "boundary=");
    if (!b) return;
    b += strlen("boundary=");
    while (*b == '-')
        b++;
    copy_cut(msg->boundary, sizeof(msg->boundary), b, (int)strnlen(b, sizeof(msg->boundary)));
}

// Offset behind the first "\r\n\r\n" or "\n\n" within len bytes; 0 when none.
int find_end_bounded(const char *buf, int len)
{
    for (int i = 0; i + 1 < len; i++) {
        if (buf[i] == '\n' && buf[i + 1] == '\n') return i + 2;
        if (i + 3 < len && buf[i] == '\r' && buf[i + 1] == '\n' && buf[i + 2] == '\r' &&
            buf[i + 3] == '\n')
            return i + 4;
    }
    return 0;
}

// First HDRV of the list named name (case-insensitive), after prev when
// given; the list stays locked while it is walked.
HDRV *find_hdrv(PPS_CTX *list, const char *name, HDRV *prev)
{
    HDRV *found = nullptr;
    HDRV *h = (HDRV *)pps_lookup_start(list);
    if (prev) h = (HDRV *)pps_lookup_next(list, prev);
    while (h) {
        if (strcasecmp(h->header, name) == 0) {
            found = h;
            break;
        }
        h = (HDRV *)pps_lookup_next(list, h);
    }
    pps_lookup_end(list);
    return found;
}

// ---- redaction for logs ----

// Header lines whose values are secrets: credentials and session cookies.
// *scheme tells a credentials line, whose first word (the scheme) may stay.
bool secret_header(const char *line, size_t len, size_t *name_len, bool *scheme)
{
    static const struct {
        const char *name;
        bool scheme;
    } kNames[] = {{"Authorization", true},
                  {"Proxy-Authorization", true},
                  {"Cookie", false},
                  {"Set-Cookie", false}};
    for (const auto &n : kNames) {
        size_t k = strlen(n.name);
        if (len > k && strncasecmp(line, n.name, k) == 0 && line[k] == ':') {
            *name_len = k;
            *scheme = n.scheme;
            return true;
        }
    }
    return false;
}

// Elements whose texts are secrets: WS-Security password digests, user
// passwords (CreateUsers, SetUser), wireless passphrases.
bool secret_element(const char *p, const char *end, const char **content)
{
    // p is at '<'; the name may carry a prefix. Every scan stops at the next
    // '<', so a text of a million '<' costs a million steps, not their square.
    const char *q = p + 1;
    const char *local = q;
    for (int i = 0; i < 128 && q < end && *q != '>' && *q != '<' && *q != ' ' && *q != '/' &&
                    *q != '\t' && *q != '\r' && *q != '\n';
         i++) {
        if (*q == ':') local = q + 1;
        q++;
    }
    size_t n = (size_t)(q - local);
    bool secret = (n == 8 && strncmp(local, "Password", 8) == 0) ||
                  (n == 10 && strncmp(local, "Passphrase", 10) == 0);
    if (!secret) return false;
    while (q < end && *q != '>' && *q != '<')
        q++;
    if (q >= end || *q != '>' || q[-1] == '/') return false; // unterminated or empty element
    *content = q + 1;
    return true;
}

} // namespace

extern "C" {

int http_msg_buf_init(int num)
{
    if (num <= 0 || g_msg_fl) return -1;
    g_msg_fl = pps_ctx_fl_init((uint32_t)num, (uint32_t)sizeof(HTTP_MSG), 1);
    if (!g_msg_fl) {
        log_print(LOG_ERROR, "%s, pps_ctx_fl_init failed!!!\r\n", "http_msg_buf_init");
        return -1;
    }
    return 0;
}

void http_msg_buf_deinit(void)
{
    if (g_msg_fl) {
        pps_fl_free(g_msg_fl);
        g_msg_fl = nullptr;
    }
}

uint32_t http_idle_msg_buf_num(void)
{
    return pps_node_count(g_msg_fl);
}

void http_msg_ctx_init(HTTP_MSG *msg)
{
    if (!msg) return;
    hdrv_ctx_ul_init(&msg->headers);
    hdrv_ctx_ul_init(&msg->content);
}

HTTP_MSG *http_get_msg_buf(void)
{
    HTTP_MSG *msg = (HTTP_MSG *)pps_fl_pop(g_msg_fl);
    if (!msg) {
        log_print(LOG_ERROR, "%s, pop null!!!\r\n", "http_get_msg_buf");
        return nullptr;
    }
    memset(msg, 0, sizeof(*msg));
    msg->msg_buf = (char *)net_buf_get_idle();
    if (!msg->msg_buf) {
        log_print(LOG_ERROR, "%s, net_buf_get_idle failed\r\n", "http_get_msg_buf");
        pps_fl_push(g_msg_fl, msg);
        return nullptr;
    }
    msg->msg_buf_size = (int32_t)net_buf_get_size();
    http_msg_ctx_init(msg);
    return msg;
}

HTTP_MSG *http_get_msg_large_buf(int size)
{
    if (size <= 0) {
        log_print(LOG_ERROR, "%s, invalid size[%d]!!!\r\n", "http_get_msg_large_buf", size);
        return nullptr;
    }
    HTTP_MSG *msg = (HTTP_MSG *)pps_fl_pop(g_msg_fl);
    if (!msg) {
        log_print(LOG_ERROR, "%s, pop null!!!\r\n", "http_get_msg_large_buf");
        return nullptr;
    }
    memset(msg, 0, sizeof(*msg));
    msg->msg_buf = (char *)malloc((size_t)size);
    if (!msg->msg_buf) {
        log_print(LOG_ERROR, "%s, memory malloc failed\r\n", "http_get_msg_large_buf");
        pps_fl_push(g_msg_fl, msg);
        return nullptr;
    }
    msg->msg_buf_size = size;
    http_msg_ctx_init(msg);
    return msg;
}

HTTP_MSG *http_get_msg_adopt(char *buf, int size)
{
    if (!buf || size <= 0) return nullptr;
    HTTP_MSG *msg = (HTTP_MSG *)pps_fl_pop(g_msg_fl);
    if (!msg) {
        log_print(LOG_ERROR, "%s, pop null!!!\r\n", "http_get_msg_adopt");
        return nullptr;
    }
    memset(msg, 0, sizeof(*msg));
    msg->msg_buf = buf;
    msg->msg_buf_size = size;
    http_msg_ctx_init(msg);
    return msg;
}

void http_free_msg_ctx(HTTP_MSG *msg, int type)
{
    if (!msg) return;
    if (type == 0)
        hdrv_ctx_free(&msg->headers);
    else if (type == 1)
        hdrv_ctx_free(&msg->content);
}

void http_free_msg_content(HTTP_MSG *msg)
{
    if (!msg) return;
    http_free_msg_ctx(msg, 0);
    http_free_msg_ctx(msg, 1);
    if (msg->msg_buf) net_buf_free(msg->msg_buf);
    msg->msg_buf = nullptr;
    msg->msg_buf_size = 0;
}

void http_free_msg_buf(HTTP_MSG *msg)
{
    if (msg) pps_fl_push(g_msg_fl, msg);
}

void http_free_msg(HTTP_MSG *msg)
{
    if (!msg) return;
    http_free_msg_content(msg);
    http_free_msg_buf(msg);
}

int http_is_http_msg(const char *buf)
{
    static const char *const STARTS[] = {"GET",      "HEAD",    "M-POST",    "M-SEARCH",
                                         "NOTIFY",   "POST",    "SUBSCRIBE", "UNSUBSCRIBE",
                                         "HTTP/1.1", "HTTP/1.0"};
    if (!buf) return 0;
    for (const char *s : STARTS) {
        if (strncmp(buf, s, strlen(s)) == 0) return 1;
    }
    return 0;
}

int http_pkt_find_end(const char *buf)
{
    if (!buf) return 0;
    for (int i = 0; buf[i] != '\0'; i++) {
        if (buf[i] == '\n' && buf[i + 1] == '\n') return i + 2;
        if (buf[i] == '\r' && buf[i + 1] == '\n' && buf[i + 2] == '\r' && buf[i + 3] == '\n')
            return i + 4;
    }
    return 0;
}

int http_ctt_parse(HTTP_MSG *msg)
{
    if (!msg) return 0;
    msg->content_len = 0;
    msg->content_type = HTTP_CTT_NONE;
    msg->boundary[0] = '\0';
    int bad_length = 0;

    HDRV *h = (HDRV *)pps_lookup_start(&msg->headers);
    while (h) {
        const char *v = h->value_string ? h->value_string : "";
        if (strcasecmp(h->header, "Content-Length") == 0) {
            int n = parse_content_length(v);
            if (n < 0) {
                log_print(LOG_ERROR, "%s, invalid Content-Length[%.32s], limit %d!!!\r\n",
                          "http_ctt_parse", v, HTTP_MAX_CONTENT_LEN);
                bad_length = 1;
                n = 0;
            }
            msg->content_len = n;
        } else if (strcasecmp(h->header, "Content-Type") == 0) {
            msg->content_type = content_type_code(v);
            if (msg->content_type == HTTP_CTT_MULTIPART) copy_boundary(msg, v);
        }
        h = (HDRV *)pps_lookup_next(&msg->headers, h);
    }
    pps_lookup_end(&msg->headers);

    if (bad_length) {
        msg->content_len = 0;
        return -1;
    }
    return (msg->content_type != HTTP_CTT_NONE && msg->content_len != 0) ? 1 : 0;
}

int http_msg_parse_part1(char *buf, int len, HTTP_MSG *msg)
{
    if (!buf || !msg || len <= 0) return -1;
    msg->msg_type = HTTP_MSG_UNPARSED;

    int line_len = 0;
    int more = 1;
    if (!GetSipLine(buf, len, &line_len, &more) || line_len <= 0 || line_len > len) {
        log_print(LOG_ERROR, "%s, get sip line error!!!\r\n", "http_msg_parse_part1");
        return -1;
    }
    if (http_headl_parse(buf, msg) < 0 || msg->msg_type == HTTP_MSG_UNPARSED) {
        msg->msg_type = HTTP_MSG_UNPARSED;
        return -1;
    }
    if (!more) return -1; // no header section at all

    int hl = http_line_parse(buf + line_len, len - line_len, ':', msg);
    if (hl < 1) return -1;
    msg->header_len = hl;
    if (http_ctt_parse(msg) < 0) return -1;
    return line_len + hl;
}

int http_msg_parse_part2(char *body, int len, HTTP_MSG *msg)
{
    if (!body || !msg || len < 0) return -1;
    HDRV *h = hdrv_buf_get_idle();
    if (!h) {
        log_print(LOG_ERROR, "%s, hdrv_buf_get_idle return NULL!!!\r\n", "http_msg_parse_part2");
        return -1;
    }
    h->header[0] = '\0';
    h->value_string = body;
    pps_ctx_ul_add(&msg->content, h);

    if (!is_text_type(msg->content_type)) return len;
    int slen = (int)strnlen(body, (size_t)len);
    if (slen != msg->content_len) {
        log_print(LOG_ERROR, "%s, text xml strlen[%d] != ctx len[%d]!!!\r\n",
                  "http_msg_parse_part2", slen, msg->content_len);
    }
    return slen;
}

int http_msg_parse(char *buf, int len, HTTP_MSG *msg)
{
    if (!buf || !msg || len <= 0) return -1;
    // Hand part 1 exactly the head when its end lies within the bytes.
    int end = find_end_bounded(buf, len);
    int head = http_msg_parse_part1(buf, end > 0 ? end : len, msg);
    if (head < 0) return -1;

    int ctt = http_ctt_parse(msg);
    if (ctt < 0) return -1;
    if (msg->content_len > len - head) {
        log_print(LOG_ERROR, "%s, content len[%d] beyond the message, len[%d], head[%d]!!!\r\n",
                  "http_msg_parse", msg->content_len, len, head);
        return -1;
    }
    if (ctt == 1 && msg->content_len >= 1) {
        HDRV *h = hdrv_buf_get_idle();
        if (!h) {
            log_print(LOG_ERROR, "%s, hdrv_buf_get_idle return NULL!!!\r\n", "http_msg_parse");
            return -1;
        }
        char *body = buf + head;
        h->header[0] = '\0';
        h->value_string = body;
        pps_ctx_ul_add(&msg->content, h);
        if (is_text_type(msg->content_type)) {
            int slen = (int)strnlen(body, (size_t)msg->content_len);
            if (slen != msg->content_len) {
                log_print(LOG_ERROR, "%s, text xml strlen[%d] != ctx len[%d]!!!\r\n",
                          "http_msg_parse", slen, msg->content_len);
            }
        }
    }
    return head + msg->content_len;
}

HDRV *http_find_headline_next(HTTP_MSG *msg, const char *name, HDRV *prev)
{
    if (!msg || !name) return nullptr;
    return find_hdrv(&msg->headers, name, prev);
}

HDRV *http_find_headline(HTTP_MSG *msg, const char *name)
{
    return http_find_headline_next(msg, name, nullptr);
}

char *http_get_headline(HTTP_MSG *msg, const char *name)
{
    HDRV *h = http_find_headline(msg, name);
    return h ? h->value_string : nullptr;
}

HDRV *http_find_ctt_headline(HTTP_MSG *msg, const char *name)
{
    if (!msg || !name) return nullptr;
    return find_hdrv(&msg->content, name, nullptr);
}

char *http_get_ctt(HTTP_MSG *msg)
{
    if (!msg) return nullptr;
    HDRV *h = (HDRV *)pps_lookup_start(&msg->content);
    char *body = h ? h->value_string : nullptr;
    pps_lookup_end(&msg->content);
    return body;
}

int http_get_headline_uri(HTTP_MSG *msg, char *out, int size)
{
    if (!msg || !out || size <= 0) return 0;
    out[0] = '\0';
    if (!msg->line_rest) return 0;
    const char *p = msg->line_rest;
    int n = 0;
    while (p[n] != '\0' && p[n] != ' ' && p[n] != '\t') {
        if (n >= size - 1) return 0; // `size` bytes or longer: doesn't fit
        n++;
    }
    memcpy(out, p, (size_t)n);
    out[n] = '\0';
    return 1;
}

char *http_redact_for_log(const char *text, int len)
{
    if (!text || len < 0) return nullptr;
    const char *end = text + len;
    std::string out;
    out.reserve((size_t)len + 16);
    const char *p = text;
    bool line_start = true;
    bool in_head = true;
    while (p < end) {
        if (in_head && line_start) {
            const char *eol = p;
            while (eol < end && *eol != '\r' && *eol != '\n')
                eol++;
            size_t name_len = 0;
            bool scheme = false;
            if (eol == p) {
                in_head = false; // the empty line ends the head
            } else if (secret_header(p, (size_t)(eol - p), &name_len, &scheme)) {
                // Keep the name and, for credentials, the scheme word.
                const char *v = p + name_len + 1;
                while (v < eol && *v == ' ')
                    v++;
                const char *w = v;
                if (scheme)
                    while (w < eol && *w != ' ')
                        w++;
                out.append(p, (size_t)(w - p));
                out.append(w == v ? "***" : " ***");
                p = eol;
                line_start = false;
                continue;
            }
        }
        if (*p == '<') {
            const char *content = nullptr;
            if (secret_element(p, end, &content)) {
                out.append(p, (size_t)(content - p));
                out.append("***");
                p = content;
                while (p < end && *p != '<')
                    p++;
                continue;
            }
        }
        line_start = *p == '\n';
        out.push_back(*p++);
    }
    char *copy = (char *)malloc(out.size() + 1);
    if (!copy) return nullptr;
    memcpy(copy, out.data(), out.size());
    copy[out.size()] = '\0';
    return copy;
}

} // extern "C"
