// Fuzz target: the Digest challenge reader (WWW-Authenticate of a 401), the
// Authorization line built from it, and the server-side Digest
// Authorization reader.
//
// The input is used as a header value: once behind "WWW-Authenticate: " in
// a 401 response and once behind "Authorization: " in a request. Line breaks
// in it make further header lines.
#include "fuzz/fuzz_common.hpp"
#include "fuzz/fuzz_pools.hpp"
#include "http/http_cln.h"

#include <string>

namespace
{

const size_t kMaxInput = 4096;

#define CHECK_TEXT(field) FUZZ_CHECK(fuzz::terminated((field), sizeof(field)))

void check_digest(const DIGEST_INFO *a)
{
    CHECK_TEXT(a->user);
    CHECK_TEXT(a->password);
    CHECK_TEXT(a->uri);
    CHECK_TEXT(a->qop);
    CHECK_TEXT(a->nonce);
    CHECK_TEXT(a->cnonce);
    CHECK_TEXT(a->realm);
    CHECK_TEXT(a->opaque);
    CHECK_TEXT(a->nc_text);
    CHECK_TEXT(a->response);
}

bool simple_token(const char *s)
{
    for (; *s; s++)
        if (!((*s >= 'a' && *s <= 'z') || (*s >= 'A' && *s <= 'Z') || (*s >= '0' && *s <= '9')))
            return false;
    return true;
}

// Parses a message head into a record on the caller's stack; the record's
// header units must go back with release().
struct Parsed {
    HTTP_MSG msg;
    char *buf;
    bool ok;
};

void parse(Parsed *p, const std::string &text)
{
    memset(&p->msg, 0, sizeof(p->msg));
    http_msg_ctx_init(&p->msg);
    p->buf = fuzz::dup_text(reinterpret_cast<const uint8_t *>(text.data()), text.size());
    p->ok = http_msg_parse_part1(p->buf, (int)text.size(), &p->msg) > 0;
}

void release(Parsed *p)
{
    http_free_msg_ctx(&p->msg, 0);
    http_free_msg_ctx(&p->msg, 1);
    free(p->buf);
}

// The client's Authorization line, read back by the server-side reader.
void answer(HTTP_CLIENT_CONN *conn)
{
    strcpy(conn->url, "/onvif/device_service");
    http_cln_set_auth(conn, 1, "admin", "secret");

    const int sizes[] = {1, 40, 2048};
    int len = -1;
    char *line = nullptr;
    for (int size : sizes) {
        free(line);
        line = fuzz::exact_buf((size_t)size);
        len = http_cln_auth_line(conn, "POST", line, size);
        FUZZ_CHECK(len >= -1 && len < size && fuzz::terminated(line, (size_t)size));
        FUZZ_CHECK(len < 0 ? line[0] == '\0' : strlen(line) == (size_t)len);
    }
    check_digest(&conn->auth_info);

    const DIGEST_INFO *a = &conn->auth_info;
    bool simple = a->realm[0] && a->nonce[0] && simple_token(a->realm) && simple_token(a->nonce) &&
                  simple_token(a->opaque) && simple_token(a->qop);
    // The 401 still holds its header units; the request needs one of its own.
    if (len > 0 && simple && hdrv_buf_idle_num() >= 1) {
        Parsed req;
        parse(&req, std::string("POST /onvif/device_service HTTP/1.1\r\n") + line + "\r\n");
        FUZZ_CHECK(req.ok);
        DIGEST_INFO got;
        memset(&got, 0, sizeof(got));
        FUZZ_CHECK(http_get_auth_digest_info(&req.msg, &got) == 1);
        FUZZ_CHECK(strcmp(got.realm, a->realm) == 0 && strcmp(got.nonce, a->nonce) == 0);
        FUZZ_CHECK(strcmp(got.response, a->response) == 0 && strcmp(got.user, "admin") == 0);
        FUZZ_CHECK(got.nc_count == (a->qop[0] ? a->nc_count : 0));
        release(&req);
    }
    free(line);

    // Basic goes out only where allowed: never in the clear by default.
    http_cln_set_auth(conn, 0, "admin", "secret");
    char basic[128];
    conn->req_flags &= ~(uint32_t)(HTTP_CLN_TLS | HTTP_CLN_BASIC_PLAIN);
    FUZZ_CHECK(http_cln_auth_line(conn, "POST", basic, sizeof(basic)) == 0 && basic[0] == '\0');
    conn->req_flags |= HTTP_CLN_BASIC_PLAIN;
    FUZZ_CHECK(http_cln_auth_line(conn, "POST", basic, sizeof(basic)) > 0);
}

void run_challenge(const std::string &value)
{
    Parsed rsp;
    parse(&rsp, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: " + value + "\r\n\r\n");
    HTTP_CLIENT_CONN *conn = static_cast<HTTP_CLIENT_CONN *>(calloc(1, sizeof(HTTP_CLIENT_CONN)));
    if (!conn) abort();
    if (rsp.ok) {
        int r = http_cln_parse_challenge(conn, &rsp.msg);
        FUZZ_CHECK(r == 0 || r == 1);
        check_digest(&conn->auth_info);
        if (r == 1) answer(conn);
    }
    http_cln_free(conn);
    free(conn);
    release(&rsp);
}

void run_authorization(const std::string &value)
{
    Parsed req;
    parse(&req, "GET /onvif/device_service HTTP/1.1\r\nAuthorization: " + value + "\r\n\r\n");
    if (req.ok) {
        DIGEST_INFO *a = static_cast<DIGEST_INFO *>(calloc(1, sizeof(DIGEST_INFO)));
        if (!a) abort();
        strcpy(a->password, "secret");
        int r = http_get_auth_digest_info(&req.msg, a);
        FUZZ_CHECK(r == 0 || r == 1);
        check_digest(a);
        FUZZ_CHECK(strcmp(a->password, "secret") == 0);
        free(a);
    }
    release(&req);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::pools();
    if (size > kMaxInput) return 0;
    std::string value(reinterpret_cast<const char *>(data), size);
    run_challenge(value);
    run_authorization(value);
    fuzz::check_pools_full();
    return 0;
}
