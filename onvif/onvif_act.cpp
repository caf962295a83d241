/*
 * ONVIF operation catalogue: one compact row per operation type (service,
 * name, output kind) and the action table derived from it at compile time.
 */
#include "onvif/onvif_act.h"

#include <array>
#include <cstddef>

namespace
{

// What the response dispatcher does with a reply of this operation.
enum OutKind : uint8_t {
    N, // no output: the response element only has to be present
    C, // output; the result record is cleared before it is read
    M  // output merged into the caller's record (not cleared)
};

struct ActRow {
    uint16_t type;
    uint8_t service;
    uint8_t kind;
    const char *name;
    const char *action; // null: "<service base>/<name>"
};

struct SvcRow {
    const char *prefix;
    const char *base;
};

constexpr SvcRow kServices[ONVIF_SVC_COUNT] = {
    {"tds", "http://www.onvif.org/ver10/device/wsdl"},
    {"trt", "http://www.onvif.org/ver10/media/wsdl"},
    {"tr2", "http://www.onvif.org/ver20/media/wsdl"},
    {"ptz", "http://www.onvif.org/ver20/ptz/wsdl"},
    {"tev", "http://www.onvif.org/ver10/events/wsdl"},
    {"img", "http://www.onvif.org/ver20/imaging/wsdl"},
    {"tmd", "http://www.onvif.org/ver10/deviceio/wsdl"},
    {"trc", "http://www.onvif.org/ver10/recording/wsdl"},
    {"trp", "http://www.onvif.org/ver10/replay/wsdl"},
    {"tse", "http://www.onvif.org/ver10/search/wsdl"},
    {"tan", "http://www.onvif.org/ver20/analytics/wsdl"},
    {"tac", "http://www.onvif.org/ver10/accesscontrol/wsdl"},
    {"tdc", "http://www.onvif.org/ver10/doorcontrol/wsdl"},
    {"tth", "http://www.onvif.org/ver10/thermal/wsdl"},
    {"tcr", "http://www.onvif.org/ver10/credential/wsdl"},
    {"tar", "http://www.onvif.org/ver10/accessrules/wsdl"},
    {"tsc", "http://www.onvif.org/ver10/schedule/wsdl"},
    {"trv", "http://www.onvif.org/ver10/receiver/wsdl"},
    {"tpv", "http://www.onvif.org/ver10/provisioning/wsdl"},
};

#define SVC_tds ONVIF_SVC_DEVICE
#define SVC_trt ONVIF_SVC_MEDIA
#define SVC_tr2 ONVIF_SVC_MEDIA2
#define SVC_ptz ONVIF_SVC_PTZ
#define SVC_tev ONVIF_SVC_EVENTS
#define SVC_img ONVIF_SVC_IMAGING
#define SVC_tmd ONVIF_SVC_DEVICEIO
#define SVC_trc ONVIF_SVC_RECORDING
#define SVC_trp ONVIF_SVC_REPLAY
#define SVC_tse ONVIF_SVC_SEARCH
#define SVC_tan ONVIF_SVC_ANALYTICS
#define SVC_tac ONVIF_SVC_ACCESSCONTROL
#define SVC_tdc ONVIF_SVC_DOORCONTROL
#define SVC_tth ONVIF_SVC_THERMAL
#define SVC_tcr ONVIF_SVC_CREDENTIAL
#define SVC_tar ONVIF_SVC_ACCESSRULES
#define SVC_tsc ONVIF_SVC_SCHEDULE
#define SVC_trv ONVIF_SVC_RECEIVER
#define SVC_tpv ONVIF_SVC_PROVISIONING

// In type order: row i describes type i + 1.
constexpr ActRow kActs[ONVIF_ACT_COUNT] = {
#define OP(svc, op, in, out, flags) {ACT_##svc##_##op, SVC_##svc, out, #op, nullptr},
#define OPA(svc, op, in, out, flags, action) {ACT_##svc##_##op, SVC_##svc, out, #op, action},
#include "onvif/onvif_ops.def"
#undef OP
#undef OPA
};

// Order of the service groups in the action table: the analytics rows come
// before the device IO rows, everything else in block order.
constexpr uint8_t kTableOrder[ONVIF_SVC_COUNT] = {
    ONVIF_SVC_DEVICE,      ONVIF_SVC_MEDIA,    ONVIF_SVC_MEDIA2,       ONVIF_SVC_PTZ,
    ONVIF_SVC_EVENTS,      ONVIF_SVC_IMAGING,  ONVIF_SVC_ANALYTICS,    ONVIF_SVC_DEVICEIO,
    ONVIF_SVC_RECORDING,   ONVIF_SVC_REPLAY,   ONVIF_SVC_SEARCH,       ONVIF_SVC_ACCESSCONTROL,
    ONVIF_SVC_DOORCONTROL, ONVIF_SVC_THERMAL,  ONVIF_SVC_CREDENTIAL,   ONVIF_SVC_ACCESSRULES,
    ONVIF_SVC_SCHEDULE,    ONVIF_SVC_RECEIVER, ONVIF_SVC_PROVISIONING,
};

constexpr bool rows_in_type_order()
{
    for (int i = 0; i < ONVIF_ACT_COUNT; i++) {
        if (kActs[i].type != i + 1 || kActs[i].service >= ONVIF_SVC_COUNT) return false;
        if (i > 0 && kActs[i].service < kActs[i - 1].service) return false;
    }
    return true;
}
static_assert(rows_in_type_order(), "catalogue rows must be dense and grouped by service");

constexpr int count_kind(uint8_t kind)
{
    int n = 0;
    for (const ActRow &r : kActs)
        n += r.kind == kind;
    return n;
}
static_assert(count_kind(N) == 155, "155 operations have no output");

// Appends text to dst at *pos, keeping one byte for the terminator.
constexpr void append(char *dst, std::size_t cap, std::size_t *pos, const char *text)
{
    for (; *text && *pos + 1 < cap; text++)
        dst[(*pos)++] = *text;
    dst[*pos] = '\0';
}

constexpr std::array<ONVIF_ACTION, ONVIF_ACT_COUNT> build_actions()
{
    std::array<ONVIF_ACTION, ONVIF_ACT_COUNT> table{};
    std::size_t n = 0;
    for (uint8_t svc : kTableOrder) {
        for (const ActRow &r : kActs) {
            if (r.service != svc) continue;
            ONVIF_ACTION &row = table[n++];
            std::size_t pos = 0;
            row.type = r.type;
            if (const char *special = r.action) {
                append(row.action, sizeof(row.action), &pos, special);
            } else {
                append(row.action, sizeof(row.action), &pos, kServices[svc].base);
                append(row.action, sizeof(row.action), &pos, "/");
                append(row.action, sizeof(row.action), &pos, r.name);
            }
        }
    }
    return table;
}

constexpr std::array<ONVIF_ACTION, ONVIF_ACT_COUNT> kActions = build_actions();

const ActRow *act_row(int type)
{
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) return nullptr;
    return &kActs[type - 1];
}

} // namespace

extern "C" {

const ONVIF_ACTION *onvif_find_action_by_type(uint32_t type)
{
    if (type > ONVIF_ACT_MAX) return nullptr;
    for (const ONVIF_ACTION &row : kActions)
        if (row.type == type) return &row;
    return nullptr;
}

const ONVIF_ACTION *onvif_action_at(int index)
{
    if (index < 0 || index >= ONVIF_ACT_COUNT) return nullptr;
    return &kActions[index];
}

const char *onvif_act_name(int type)
{
    const ActRow *r = act_row(type);
    return r ? r->name : nullptr;
}

int onvif_act_has_output(int type)
{
    const ActRow *r = act_row(type);
    return r && r->kind != N;
}

int onvif_act_clears_result(int type)
{
    const ActRow *r = act_row(type);
    return r && r->kind == C;
}

int onvif_act_service(int type)
{
    const ActRow *r = act_row(type);
    return r ? r->service : -1;
}

const char *onvif_act_prefix(int type)
{
    const ActRow *r = act_row(type);
    return r ? kServices[r->service].prefix : nullptr;
}

const char *onvif_svc_prefix(int service)
{
    if (service < 0 || service >= ONVIF_SVC_COUNT) return nullptr;
    return kServices[service].prefix;
}

const char *onvif_svc_action_base(int service)
{
    if (service < 0 || service >= ONVIF_SVC_COUNT) return nullptr;
    return kServices[service].base;
}

int onvif_svc_first_type(int service)
{
    if (service < 0 || service >= ONVIF_SVC_COUNT) return 0;
    for (const ActRow &r : kActs)
        if (r.service == service) return r.type;
    return 0;
}

int onvif_svc_last_type(int service)
{
    int last = 0;
    if (service < 0 || service >= ONVIF_SVC_COUNT) return 0;
    for (const ActRow &r : kActs)
        if (r.service == service) last = r.type;
    return last;
}

} // extern "C"
