// Whole lists out of the paged list operations of the access-control
// services. The walk is generic: what it needs of an operation (Limit and
// StartReference in the request, NextStartReference and the one list in the
// reply) it finds in the operation's field descriptors, so every paged
// operation of the table goes through the same code.

#include "onvif/calls_pacs.h"

#include <cstdlib>
#include <cstring>

#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"
#include "platform/sys_log.h"

static_assert(ONVIF_PAGE_LIMIT_MAX < SOAP_LIST_MAX,
              "a page that fills the reader's list cap must stand out as more than was asked for");
static_assert(ONVIF_PAGED_ITEMS_MAX <= 16 * SOAP_LIST_MAX,
              "the list releases walk at most 16 * SOAP_LIST_MAX nodes");

namespace
{

const char kFn[] = "onvif_get_all_pages";

// Where a paged operation keeps what the walk reads and writes.
struct Paged {
    const SOAP_FIELD *limit; // request: Limit (int, optional)
    const SOAP_FIELD *start; // request: StartReference (text, optional)
    const SOAP_FIELD *next;  // reply: NextStartReference (text, optional)
    const SOAP_FIELD *items; // reply: the list
    const SOAP_TYPE *req, *res;
};

const SOAP_FIELD *field(const SOAP_TYPE *t, const char *name, int kind)
{
    for (uint32_t i = 0; t && i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        if (f.kind == kind && strcmp(f.name, name) == 0 && !(f.opts & SOAP_F_ATTR)) return &f;
    }
    return nullptr;
}

bool paged_shape(int type, Paged *p)
{
    const ONVIF_OP *op = onvif_op(type);
    if (!op || op->out != ONVIF_OUT_C || !op->req || !op->res) return false;
    p->req = op->req;
    p->res = op->res;
    p->limit = field(op->req, "Limit", SOAP_K_INT);
    p->start = field(op->req, "StartReference", SOAP_K_TEXT);
    p->next = field(op->res, "NextStartReference", SOAP_K_TEXT);
    p->items = nullptr;
    for (uint32_t i = 0; i < op->res->count; i++) {
        const SOAP_FIELD &f = op->res->fields[i];
        if (!(f.opts & SOAP_F_LIST)) continue;
        if (p->items) return false; // one list per page, or the walk cannot join them
        p->items = &f;
    }
    return p->limit && p->start && p->next && p->items && p->limit->pres_bit >= 0 &&
           p->start->pres_bit >= 0 && p->next->pres_bit >= 0 && p->start->size > 1;
}

void set_bit(char *rec, const SOAP_FIELD *f)
{
    uint32_t w;
    memcpy(&w, rec + f->pres_off, sizeof w);
    w |= 1u << f->pres_bit;
    memcpy(rec + f->pres_off, &w, sizeof w);
}

bool has_bit(const char *rec, const SOAP_FIELD *f)
{
    uint32_t w;
    memcpy(&w, rec + f->pres_off, sizeof w);
    return (w >> f->pres_bit) & 1u;
}

// Every list node starts with its next pointer.
struct Node {
    Node *next;
};

Node **head_of(char *rec, const SOAP_FIELD *f)
{
    return reinterpret_cast<Node **>(rec + f->offset);
}

int fail(ONVIF_DEVICE *p_dev, int code, const char *why)
{
    log_print(LOG_WARN, "%s, %s\r\n", kFn, why);
    p_dev->last_error = code;
    return 0;
}

// The walk itself; on failure the caller releases what `all` holds.
int walk(ONVIF_DEVICE *p_dev, int type, int32_t per_page, const Paged &p, char *req, char *page,
         char *all)
{
    memcpy(req + p.limit->offset, &per_page, sizeof per_page);
    set_bit(req, p.limit);
    Node **tail = head_of(all, p.items);
    int total = 0;
    for (int pages = 0; pages < ONVIF_PAGES_MAX; pages++) {
        memset(page, 0, p.res->size);
        if (!onvif_op_call(p_dev, type, req, page)) {
            soap_desc_free(p.res, page);
            return 0; // the engine left its reason
        }
        // Take the page's items over before anything else can fail.
        Node *first = *head_of(page, p.items);
        *head_of(page, p.items) = nullptr;
        int n = 0;
        Node *last = nullptr;
        for (Node *it = first; it && n < 16 * SOAP_LIST_MAX; it = it->next, n++)
            last = it;
        if (first) {
            *tail = first;
            tail = &last->next;
        }
        total += n;
        soap_desc_free(p.res, page);
        if (n > per_page) return fail(p_dev, -8, "the device sent more items than asked for");
        if (total > ONVIF_PAGED_ITEMS_MAX) return fail(p_dev, -2, "too many items");

        const char *next = page + p.next->offset;
        size_t len = strnlen(next, p.next->size);
        if (!has_bit(page, p.next) || len == 0) return 1; // the last page
        if (len >= p.next->size - 1 || len >= p.start->size - 1)
            return fail(p_dev, -8, "a start reference too long to send back");
        char *start = req + p.start->offset;
        if (has_bit(req, p.start) && strcmp(start, next) == 0)
            return fail(p_dev, -8, "the device repeats its start reference");
        memset(start, 0, p.start->size);
        memcpy(start, next, len);
        set_bit(req, p.start);
    }
    return fail(p_dev, -8, "the list does not end");
}

} // namespace

extern "C" {

int onvif_get_all_pages(ONVIF_DEVICE *p_dev, int type, int limit, void *p_res)
{
    Paged p;
    if (!p_dev || !p_res || !paged_shape(type, &p)) return 0;
    char *all = static_cast<char *>(p_res);
    memset(all, 0, p.res->size);
    char *req = static_cast<char *>(calloc(1, p.req->size));
    char *page = static_cast<char *>(calloc(1, p.res->size));
    int ok = 0;
    if (!req || !page) {
        fail(p_dev, -2, "memory alloc fail!!!");
    } else {
        // Below the reader's list cap, so that a device ignoring Limit shows.
        int32_t cap = p.items->max ? (int32_t)p.items->max - 1 : ONVIF_PAGE_LIMIT_MAX;
        if (cap > ONVIF_PAGE_LIMIT_MAX) cap = ONVIF_PAGE_LIMIT_MAX;
        int32_t per_page = limit > 0 && limit < cap ? limit : cap;
        ok = per_page > 0 ? walk(p_dev, type, per_page, p, req, page, all) : 0;
    }
    if (!ok) soap_desc_free(p.res, all);
    free(req);
    free(page);
    return ok;
}
} // extern "C"
