// Fuzz target: multipart/related (MTOM/XOP) replies cut in place into their
// root part and attachments, then the root read as the reply of an
// operation that takes an attachment (GetSystemLog) and as a fault.
//
// Input: the Content-Type header value up to the first line feed, then the
// body.
#include "fuzz/fuzz_common.hpp"
#include "onvif/onvif_act.h"
#include "onvif/onvif_optab.h"
#include "onvif/soap_desc.h"
#include "onvif/soap_mime.h"
#include "onvif/soap_parse.h"
#include "xml/xml_node.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 1 << 17;

bool inside(const char *p, size_t n, const char *start, const char *end)
{
    return p >= start && p + n <= end;
}

// A text the split handed out: inside the body (or a literal ""), terminated.
void check_text(const char *t, const char *body, const char *end)
{
    FUZZ_CHECK(t != nullptr);
    if (t[0] == '\0' && !inside(t, 1, body, end)) return; // the literal for "none"
    FUZZ_CHECK(inside(t, 1, body, end));
    FUZZ_CHECK(memchr(t, '\0', (size_t)(end - t)) != nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput) return 0;
    const uint8_t *nl = static_cast<const uint8_t *>(memchr(data, '\n', size));
    if (!nl) return 0;
    size_t clen = (size_t)(nl - data);
    char *ctype = fuzz::dup_text(data, clen);
    size_t blen = size - clen - 1;
    char *body = fuzz::dup_text(nl + 1, blen);
    const char *end = body + blen + 1; // the NUL behind the body is the buffer's

    SOAP_MIME *mime = static_cast<SOAP_MIME *>(calloc(1, sizeof(SOAP_MIME)));
    if (!mime) abort();
    int r = soap_mime_split(ctype, body, (int)blen, mime);
    FUZZ_CHECK(r == 0 || r == 1);
    if (r == 1) {
        FUZZ_CHECK(soap_mime_is_multipart(ctype) == 1);
        FUZZ_CHECK(mime->root_len >= 0);
        FUZZ_CHECK(inside(mime->root, (size_t)mime->root_len + 1, body, end));
        FUZZ_CHECK(mime->root[mime->root_len] == '\0');
        FUZZ_CHECK(mime->count >= 0 && mime->count <= SOAP_MIME_MAX_PARTS);
        for (int i = 0; i < mime->count; i++) {
            const SOAP_ATTACHMENT &a = mime->parts[i];
            FUZZ_CHECK(a.len >= 0);
            FUZZ_CHECK(inside(reinterpret_cast<const char *>(a.data), (size_t)a.len, body, end));
            check_text(a.content_id, body, end);
            check_text(a.content_type, body, end);
        }

        // The root as the engine reads it.
        XML_NODE *root = xxx_hxml_parse(mime->root, mime->root_len);
        if (root) {
            XML_NODE *sbody = xml_node_soap_get(root, "s:Body");
            if (!sbody) sbody = root;
            SOAP_READ_CTX ctx = {mime->parts, mime->count, 0};
            const ONVIF_OP *op = onvif_op(ACT_tds_GetSystemLog);
            char *rec = static_cast<char *>(calloc(1, op->res->size));
            if (!rec) abort();
            int pr = onvif_parse_response_ctx(sbody, ACT_tds_GetSystemLog, nullptr, rec, &ctx);
            FUZZ_CHECK(pr == 0 || pr == 1);
            onvif_free_result(ACT_tds_GetSystemLog, rec);
            free(rec);
            ONVIF_FAULT fault;
            memset(&fault, 0, sizeof(fault));
            onvif_parse_fault(sbody, &fault);
            FUZZ_CHECK(fuzz::terminated(fault.inner_subcode, sizeof(fault.inner_subcode)));
            xml_node_del(root);
        }
    }
    free(mime);
    free(body);
    free(ctype);
    return 0;
}
