#include "tests/support/desc_walk.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace descwalk
{
namespace
{

template <typename T> T get(const char *p)
{
    T v;
    memcpy(&v, p, sizeof(v));
    return v;
}

size_t node_offset(const SOAP_FIELD &f)
{
    if (f.kind == SOAP_K_CHILD) return soap_desc_node_offset(f.type);
    size_t align = (f.kind == SOAP_K_INT64 || f.kind == SOAP_K_DOUBLE || f.kind == SOAP_K_DATETIME)
                       ? 8
                       : sizeof(void *);
    return (sizeof(void *) + align - 1) / align * align;
}

std::string simple_text(const SOAP_FIELD &f, const char *p)
{
    char buf[96];
    switch (f.kind) {
    case SOAP_K_TEXT:
        return std::string(p, strnlen(p, f.size));
    case SOAP_K_INT:
        return std::to_string(get<int32_t>(p));
    case SOAP_K_UINT:
        return std::to_string(get<uint32_t>(p));
    case SOAP_K_INT64:
        return std::to_string(get<int64_t>(p));
    case SOAP_K_BOOL:
        return get<int32_t>(p) ? "true" : "false";
    case SOAP_K_FLOAT:
        soap_format_float(get<float>(p), 1, buf, sizeof(buf));
        return buf;
    case SOAP_K_DOUBLE:
        soap_format_float(get<double>(p), 0, buf, sizeof(buf));
        return buf;
    case SOAP_K_ENUM: {
        const char *t = f.to_text ? f.to_text(get<int32_t>(p)) : nullptr;
        return t ? t : "";
    }
    case SOAP_K_DURATION:
        return "PT" + std::to_string(get<int32_t>(p)) + "S";
    case SOAP_K_DATETIME:
        soap_format_datetime(get<int64_t>(p), buf, sizeof(buf));
        return buf;
    case SOAP_K_RAW:
        return get<const char *>(p) ? get<const char *>(p) : "";
    case SOAP_K_BINARY: {
        const SOAP_BINARY *b = reinterpret_cast<const SOAP_BINARY *>(p);
        return b->data ? std::string(reinterpret_cast<const char *>(b->data), (size_t)b->len) : "";
    }
    default:
        return "";
    }
}

void dump_record(const SOAP_TYPE *t, const char *rec, const std::string &path,
                 std::vector<std::string> &out);

void dump_value(const SOAP_FIELD &f, const char *p, const std::string &path,
                std::vector<std::string> &out)
{
    if (f.kind == SOAP_K_CHILD) {
        dump_record(f.type, p, path, out);
        return;
    }
    if (f.kind == SOAP_K_HOOK) return;
    out.push_back(path + "=" + simple_text(f, p));
}

void dump_record(const SOAP_TYPE *t, const char *rec, const std::string &path,
                 std::vector<std::string> &out)
{
    if (!t) return;
    std::string base = path.empty() ? "" : path + "/";
    for (uint32_t i = 0; i < t->count; i++) {
        const SOAP_FIELD &f = t->fields[i];
        if (f.pres_bit >= 0 && f.pres_bit < 32 &&
            !((get<uint32_t>(rec + f.pres_off) >> f.pres_bit) & 1u))
            continue;
        const char *p = rec + f.offset;
        if (f.opts & SOAP_F_VALUE) {
            out.push_back(path + "=" + simple_text(f, p));
            continue;
        }
        std::string name = (f.opts & SOAP_F_ATTR) ? base + "@" + f.name : base + f.name;
        if (f.opts & SOAP_F_LIST) {
            size_t off = node_offset(f);
            int k = 0;
            for (const char *node = get<const char *>(p); node && k < 100000;
                 node = get<const char *>(node), k++)
                dump_value(f, node + off, name + "[" + std::to_string(k) + "]", out);
        } else if (f.opts & SOAP_F_ARRAY) {
            int n = (f.opts & SOAP_F_NONEMPTY) ? (int)f.max : get<int32_t>(rec + f.count_off);
            int k = 0;
            for (int j = 0; j < n && j < (int)f.max; j++) {
                const char *e = p + (size_t)j * f.size;
                if ((f.opts & SOAP_F_NONEMPTY) && !e[0]) continue;
                dump_value(f, e, name + "[" + std::to_string(k++) + "]", out);
            }
        } else {
            dump_value(f, p, name, out);
        }
    }
}

} // namespace

std::vector<std::string> dump(const SOAP_TYPE *t, const void *rec)
{
    std::vector<std::string> out;
    dump_record(t, static_cast<const char *>(rec), "", out);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace descwalk
