// Splitting multipart/related (MTOM/XOP) replies in place.

#include "onvif/soap_mime.h"

#include <cstring>
#include <strings.h>

namespace
{

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The value of parameter `name` of a header value ("a/b; name=v; ..."),
// unquoted, into out. false when absent or empty.
bool header_param(const char *value, const char *name, char *out, size_t size)
{
    size_t nlen = strlen(name);
    const char *p = strchr(value, ';');
    for (int guard = 0; p && guard < 64; guard++) {
        p++;
        while (is_space(*p))
            p++;
        if (strncasecmp(p, name, nlen) == 0) {
            const char *v = p + nlen;
            while (is_space(*v))
                v++;
            if (*v == '=') {
                v++;
                while (is_space(*v))
                    v++;
                size_t n = 0;
                if (*v == '"') {
                    v++;
                    while (v[n] && v[n] != '"')
                        n++;
                } else {
                    while (v[n] && v[n] != ';' && !is_space(v[n]))
                        n++;
                }
                if (n == 0 || n >= size) return false;
                memcpy(out, v, n);
                out[n] = '\0';
                return true;
            }
        }
        p = strchr(p, ';');
    }
    return false;
}

// Bounded search of needle in hay[0..len).
char *find(char *hay, size_t len, const char *needle, size_t nlen)
{
    if (nlen == 0 || len < nlen) return nullptr;
    for (size_t i = 0; i + nlen <= len; i++) {
        char *hit = static_cast<char *>(memchr(hay + i, needle[0], len - nlen + 1 - i));
        if (!hit) return nullptr;
        if (memcmp(hit, needle, nlen) == 0) return hit;
        i = (size_t)(hit - hay);
    }
    return nullptr;
}

// "<id>" -> "id" in place.
char *strip_angles(char *v)
{
    while (is_space(*v))
        v++;
    size_t n = strlen(v);
    while (n > 0 && is_space(v[n - 1]))
        v[--n] = '\0';
    if (n >= 2 && v[0] == '<' && v[n - 1] == '>') {
        v[n - 1] = '\0';
        v++;
    }
    return v;
}

struct Part {
    char *id;
    char *type;
    char *data;
    size_t len;
};

// Reads the header lines of a part at [p, end): Content-ID and Content-Type,
// cut in place. Returns the start of the content, or null without a blank
// line.
char *part_headers(char *p, char *end, Part *part)
{
    for (int guard = 0; guard < 64; guard++) {
        char *eol = find(p, (size_t)(end - p), "\r\n", 2);
        size_t skip = 2;
        char *lf = static_cast<char *>(memchr(p, '\n', (size_t)(end - p)));
        if (!eol || (lf && lf < eol)) {
            eol = lf;
            skip = 1;
        }
        if (!eol) return nullptr;
        if (eol == p) return p + skip; // blank line: the content starts
        *eol = '\0';
        char *colon = strchr(p, ':');
        if (colon) {
            *colon = '\0';
            char *value = colon + 1;
            if (strcasecmp(p, "Content-ID") == 0) part->id = strip_angles(value);
            if (strcasecmp(p, "Content-Type") == 0) part->type = strip_angles(value);
        }
        p = eol + skip;
    }
    return nullptr;
}

} // namespace

extern "C" {

int soap_mime_is_multipart(const char *content_type)
{
    if (!content_type) return 0;
    while (is_space(*content_type))
        content_type++;
    return strncasecmp(content_type, "multipart/related", 17) == 0;
}

int soap_mime_split(const char *content_type, char *body, int len, SOAP_MIME *out)
{
    if (!out) return 0;
    memset(out, 0, sizeof(*out));
    if (!soap_mime_is_multipart(content_type) || !body || len <= 0) return 0;
    char boundary[200];
    if (!header_param(content_type, "boundary", boundary + 2, sizeof(boundary) - 2)) return 0;
    boundary[0] = '-';
    boundary[1] = '-';
    size_t blen = strlen(boundary);
    char start[200] = "";
    if (header_param(content_type, "start", start, sizeof(start))) {
        char *s = strip_angles(start);
        memmove(start, s, strlen(s) + 1);
    }

    char *end = body + len;
    char *p = find(body, (size_t)len, boundary, blen);
    if (!p) return 0;
    Part parts[SOAP_MIME_MAX_PARTS + 1];
    int n = 0;
    bool closed = false;
    for (int guard = 0; guard < 1024 && p; guard++) {
        p += blen;
        if (end - p >= 2 && p[0] == '-' && p[1] == '-') {
            closed = true;
            break;
        }
        // Rest of the delimiter line.
        char *lf = static_cast<char *>(memchr(p, '\n', (size_t)(end - p)));
        if (!lf) return 0;
        Part part = {nullptr, nullptr, nullptr, 0};
        char *content = part_headers(lf + 1, end, &part);
        if (!content) return 0;
        // The content runs to the CRLF before the next delimiter.
        char *next = find(content, (size_t)(end - content), boundary, blen);
        if (!next) return 0;
        char *cend = next;
        if (cend > content && cend[-1] == '\n') cend--;
        if (cend > content && cend[-1] == '\r') cend--;
        part.data = content;
        part.len = (size_t)(cend - content);
        if (n < SOAP_MIME_MAX_PARTS + 1)
            parts[n++] = part;
        else if (start[0] && part.id && strcmp(part.id, start) == 0)
            parts[SOAP_MIME_MAX_PARTS] = part; // the root, wherever it stands
        p = next;
    }
    if (!closed || n == 0) return 0;

    int root = 0;
    if (start[0]) {
        for (int i = 0; i < n; i++)
            if (parts[i].id && strcmp(parts[i].id, start) == 0) root = i;
    }
    parts[root].data[parts[root].len] = '\0'; // the CR or '-' before the delimiter
    out->root = parts[root].data;
    out->root_len = (int32_t)parts[root].len;
    for (int i = 0; i < n && out->count < SOAP_MIME_MAX_PARTS; i++) {
        if (i == root) continue;
        SOAP_ATTACHMENT &a = out->parts[out->count++];
        a.content_id = parts[i].id ? parts[i].id : "";
        a.content_type = parts[i].type ? parts[i].type : "";
        a.data = reinterpret_cast<const uint8_t *>(parts[i].data);
        a.len = (int32_t)parts[i].len;
    }
    return 1;
}

} // extern "C"
