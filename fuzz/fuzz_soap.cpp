// Fuzz target: the SOAP response dispatcher over every operation type (with
// no result record, and with each type's own result record, checked through
// its descriptor and released), and the fault reader.
#include "fuzz/fuzz_common.hpp"
#include "onvif/onvif_act.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_optab.h"
#include "onvif/soap_desc.h"
#include "onvif/soap_parse.h"
#include "onvif/tev_types.h"
#include "xml/xml_node.h"

#include <string.h>

namespace
{

const size_t kMaxInput = 1 << 18;

#define CHECK_TEXT(field) FUZZ_CHECK(fuzz::terminated((field), sizeof(field)))

// Walks a record through its descriptor: every text terminated inside its
// member, array counts within their capacity, lists within their cap.
void check_record(const SOAP_TYPE *t, const char *rec, int depth)
{
    FUZZ_CHECK(depth < 64);
    for (uint32_t i = 0; t && i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        const char *p = rec + f.offset;
        auto one = [&](const char *v) {
            if (f.kind == SOAP_K_TEXT) FUZZ_CHECK(fuzz::terminated(v, f.size));
            if (f.kind == SOAP_K_CHILD) check_record(f.type, v, depth + 1);
            if (f.kind == SOAP_K_BINARY) {
                const SOAP_BINARY *b = reinterpret_cast<const SOAP_BINARY *>(v);
                FUZZ_CHECK(b->len >= 0 && (b->len == 0 || b->data));
            }
        };
        if (f.opts & SOAP_F_LIST) {
            size_t off = f.kind == SOAP_K_CHILD ? soap_desc_node_offset(f.type) : sizeof(void *);
            uint32_t cap = f.max ? f.max : SOAP_LIST_MAX;
            uint32_t n = 0;
            const char *node;
            memcpy(&node, p, sizeof(node));
            for (; node; memcpy(&node, node, sizeof(const char *))) { // next pointer first
                FUZZ_CHECK(++n <= cap);
                one(node + off);
            }
        } else if (f.opts & SOAP_F_ARRAY) {
            uint32_t n = f.max;
            if (!(f.opts & SOAP_F_NONEMPTY)) {
                int32_t c;
                memcpy(&c, rec + f.count_off, sizeof(c));
                FUZZ_CHECK(c >= 0 && (uint32_t)c <= f.max);
                n = (uint32_t)c;
            }
            for (uint32_t k = 0; k < n; k++)
                one(p + (size_t)k * f.size);
        } else if (f.kind != SOAP_K_HOOK) {
            one(p);
        }
    }
}

// One operation's reply into an exact-size heap record (a write past the
// record is caught), checked, then released.
void run_typed(XML_NODE *body, int type, ONVIF_DEVICE *dev)
{
    const ONVIF_OP *op = onvif_op(type);
    char *rec = static_cast<char *>(calloc(1, op->res->size ? op->res->size : 1));
    if (!rec) abort();
    int r = onvif_parse_response(body, type, dev, rec);
    FUZZ_CHECK(r == 0 || r == 1);
    check_record(op->res, rec, 0);
    if (type == ACT_tds_GetCapabilities || type == ACT_tds_GetServices) {
        const ONVIF_CAPABILITIES *c = reinterpret_cast<const ONVIF_CAPABILITIES *>(rec);
        CHECK_TEXT(c->device.xaddr.host);
        CHECK_TEXT(c->events.xaddr.path);
        CHECK_TEXT(c->device.auxiliary_commands);
        FUZZ_CHECK(c->provisioning.source_count >= 0 &&
                   c->provisioning.source_count <= ONVIF_CAP_TPV_MAX_SOURCES);
    }
    if (type == ACT_tev_PullMessages) {
        const auto *m = reinterpret_cast<const ONVIF_PULL_MESSAGES_RES *>(rec);
        FUZZ_CHECK(onvif_get_NotificationMessages_nums(m->messages) <= ONVIF_MAX_NOTIFY_MESSAGES);
    }
    onvif_free_result(type, rec);
    free(rec);
}

void run_fault(XML_NODE *body)
{
    ONVIF_FAULT *fault = static_cast<ONVIF_FAULT *>(calloc(1, sizeof(ONVIF_FAULT)));
    if (!fault) abort();
    int r = onvif_parse_fault(body, fault);
    FUZZ_CHECK(r == 0 || r == 1);
    CHECK_TEXT(fault->code);
    CHECK_TEXT(fault->subcode);
    CHECK_TEXT(fault->reason);
    CHECK_TEXT(fault->inner_subcode);
    if (fault->subcode[0]) FUZZ_CHECK(fault->inner_subcode[0] != '\0');
    FUZZ_CHECK(onvif_parse_fault(body, nullptr) == r);
    free(fault);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > kMaxInput) return 0;
    char *buf = fuzz::dup_text(data, size);
    XML_NODE *root = xxx_hxml_parse(buf, (int)size);
    if (!root) {
        free(buf);
        return 0;
    }
    // The engine reads s:Envelope/s:Body; any other root is taken as the body
    // itself so that the readers see more shapes.
    XML_NODE *body = xml_node_soap_get(root, "s:Body");
    if (!body || soap_strcmp(root->name, "s:Envelope") != 0) body = root;

    ONVIF_DEVICE *dev = static_cast<ONVIF_DEVICE *>(calloc(1, sizeof(ONVIF_DEVICE)));
    if (!dev) abort();

    run_fault(body);
    FUZZ_CHECK(onvif_parse_response(body, ONVIF_ACT_MIN - 1, dev, nullptr) == 0);
    FUZZ_CHECK(onvif_parse_response(body, ONVIF_ACT_MAX + 1, dev, nullptr) == 0);
    for (int type = ONVIF_ACT_MIN; type <= ONVIF_ACT_MAX; type++) {
        int r = onvif_parse_response(body, type, dev, nullptr);
        FUZZ_CHECK(r == 0 || r == 1);
        if (r == 1 && onvif_act_has_output(type)) run_typed(body, type, dev);
    }

    onvif_free_device(dev);
    free(dev);
    xml_node_del(root);
    free(buf);
    return 0;
}
