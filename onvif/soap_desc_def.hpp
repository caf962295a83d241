// Building blocks for static field descriptors (C++ only).
//
// A descriptor array lists a record's wire members in schema order:
//
//   const SOAP_FIELD kHostnameFields[] = {
//       SD_BOOL(ONVIF_HOSTNAME, from_dhcp, tt, "FromDHCP"),
//       SD_TEXT(ONVIF_HOSTNAME, name, tt, "Name").trim().opt(SD_BIT(ONVIF_HOSTNAME, flags, 0)),
//   };
//   SD_DEFINE_TYPE(ONVIF_HOSTNAME, kHostnameFields);   // -> SD_ONVIF_HOSTNAME
//
// Every builder is constexpr, so descriptors are constant-initialised data
// (no start-up code, no order-of-initialisation questions across files).
#ifndef ONVIF_SOAP_DESC_DEF_HPP
#define ONVIF_SOAP_DESC_DEF_HPP

#include <cstddef>
#include <cstdint>

#include "onvif/soap_desc.h"

namespace sd
{

struct Bit {
    uint32_t off;
    int32_t bit;
};

struct Fld : SOAP_FIELD {
    constexpr Fld(const char *n, int ns_, int kind_, size_t off, size_t sz)
        : SOAP_FIELD{n,
                     static_cast<uint8_t>(ns_),
                     static_cast<uint8_t>(kind_),
                     0,
                     static_cast<uint32_t>(off),
                     static_cast<uint32_t>(sz),
                     0,
                     0,
                     -1,
                     0,
                     nullptr,
                     nullptr,
                     nullptr,
                     nullptr}
    {
    }
    // Optional member: its presence bit.
    constexpr Fld opt(Bit b) const
    {
        Fld f = *this;
        f.pres_off = b.off;
        f.pres_bit = b.bit;
        return f;
    }
    constexpr Fld with(uint16_t o) const
    {
        Fld f = *this;
        f.opts = static_cast<uint16_t>(f.opts | o);
        return f;
    }
    constexpr Fld trim() const { return with(SOAP_F_TRIM); }
    constexpr Fld attr() const { return with(SOAP_F_ATTR); }
    constexpr Fld value() const { return with(SOAP_F_VALUE); }
    constexpr Fld required() const { return with(SOAP_F_REQUIRED); }
    // Repeated member as a linked list (head pointer at the offset); cap 0
    // means the default cap.
    constexpr Fld list(uint32_t cap = 0) const
    {
        Fld f = with(SOAP_F_LIST);
        f.max = cap;
        return f;
    }
    // Repeated member as a fixed array; the field's size becomes the size of
    // one entry. count_off: the int32 count, or none (texts: empty entries
    // are unused).
    constexpr Fld array(uint32_t entries, uint32_t entry_size, uint32_t count) const
    {
        Fld f = with(SOAP_F_ARRAY);
        f.max = entries;
        f.size = entry_size;
        f.count_off = count;
        return f;
    }
    constexpr Fld texts(uint32_t entries, uint32_t entry_size) const
    {
        Fld f = with(SOAP_F_ARRAY | SOAP_F_NONEMPTY);
        f.max = entries;
        f.size = entry_size;
        return f;
    }
};

constexpr Fld child(const char *n, int ns, size_t off, const SOAP_TYPE *t)
{
    Fld f(n, ns, SOAP_K_CHILD, off, t ? 0 : 0);
    f.type = t;
    return f;
}

constexpr Fld enm(const char *n, int ns, size_t off, SOAP_ENUM_TO_TEXT to, SOAP_TEXT_TO_ENUM from)
{
    Fld f(n, ns, SOAP_K_ENUM, off, sizeof(int32_t));
    f.to_text = to;
    f.from_text = from;
    return f;
}

constexpr Fld hook(const char *n, int ns, size_t off, size_t sz, const SOAP_HOOK *h)
{
    Fld f(n, ns, SOAP_K_HOOK, off, sz);
    f.hook = h;
    return f;
}

} // namespace sd

// Member of record R: offset and size.
#define SD_AT(R, m) offsetof(R, m), sizeof(R::m)

// Presence bit b of the flag word R::w.
#define SD_BIT(R, w, b)                                                                            \
    sd::Bit                                                                                        \
    {                                                                                              \
        static_cast<uint32_t>(offsetof(R, w)), b                                                   \
    }

// Simple members.
#define SD_TEXT(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_TEXT, SD_AT(R, m))
#define SD_TOKEN(R, m, ns, name) SD_TEXT(R, m, ns, name).trim()
#define SD_INT(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_INT, SD_AT(R, m))
#define SD_UINT(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_UINT, SD_AT(R, m))
#define SD_INT64(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_INT64, SD_AT(R, m))
#define SD_BOOL(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_BOOL, SD_AT(R, m))
#define SD_FLOAT(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_FLOAT, SD_AT(R, m))
#define SD_DOUBLE(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_DOUBLE, SD_AT(R, m))
#define SD_DURATION(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_DURATION, SD_AT(R, m))
#define SD_DATETIME(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_DATETIME, SD_AT(R, m))
#define SD_RAW(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_RAW, SD_AT(R, m))
#define SD_BINARY(R, m, ns, name) sd::Fld(name, SOAP_NS_##ns, SOAP_K_BINARY, SD_AT(R, m))
#define SD_ENUM(R, m, ns, name, E)                                                                 \
    sd::enm(name, SOAP_NS_##ns, offsetof(R, m), onvif_##E##ToString, onvif_StringTo##E)

// Attribute of the element (no prefix is written).
#define SD_ATTR_TEXT(R, m, name) SD_TEXT(R, m, NONE, name).attr().trim()

// Nested record of type T (descriptor SD_T), inline at R::m.
#define SD_CHILD(R, m, ns, name, T) sd::child(name, SOAP_NS_##ns, offsetof(R, m), &SD_##T)

// Linked list of T nodes whose head is R::m.
#define SD_LIST(R, m, ns, name, T) SD_CHILD(R, m, ns, name, T).list()

// Fixed array R::m of records T, count in R::c.
#define SD_ARRAY(R, m, c, ns, name, T)                                                             \
    SD_CHILD(R, m, ns, name, T)                                                                    \
        .array(sizeof(R::m) / sizeof(R::m[0]), sizeof(R::m[0]), offsetof(R, c))

// Fixed array R::m of simple values of kind K (a SOAP_K_ name without the
// prefix), count in R::c.
#define SD_ARRAY_OF(R, m, c, ns, name, K)                                                          \
    sd::Fld(name, SOAP_NS_##ns, SOAP_K_##K, offsetof(R, m), sizeof(R::m[0]))                       \
        .array(sizeof(R::m) / sizeof(R::m[0]), sizeof(R::m[0]), offsetof(R, c))

// Fixed array R::m of enumeration values through the converter pair of E,
// count in R::c.
#define SD_ARRAY_OF_ENUM(R, m, c, ns, name, E)                                                     \
    sd::enm(name, SOAP_NS_##ns, offsetof(R, m), onvif_##E##ToString, onvif_StringTo##E)            \
        .array(sizeof(R::m) / sizeof(R::m[0]), sizeof(R::m[0]), offsetof(R, c))

// Fixed array R::m of texts without a count: empty entries are unused.
#define SD_TEXTS(R, m, ns, name)                                                                   \
    sd::Fld(name, SOAP_NS_##ns, SOAP_K_TEXT, offsetof(R, m), sizeof(R::m[0]))                      \
        .texts(sizeof(R::m) / sizeof(R::m[0]), sizeof(R::m[0]))

// The descriptor object SD_R of record R over a field array.
#define SD_DEFINE_TYPE(R, fields)                                                                  \
    extern const SOAP_TYPE SD_##R;                                                                 \
    const SOAP_TYPE SD_##R = {#R, sizeof(R), alignof(R), fields,                                   \
                              static_cast<uint32_t>(sizeof(fields) / sizeof(fields[0]))}

// A descriptor of record R under another name (a second view of the same
// record, e.g. the request and the reply form of one configuration).
#define SD_DEFINE_VIEW(NAME, R, fields)                                                            \
    extern const SOAP_TYPE NAME;                                                                   \
    const SOAP_TYPE NAME = {#NAME, sizeof(R), alignof(R), fields,                                  \
                            static_cast<uint32_t>(sizeof(fields) / sizeof(fields[0]))}

// A record without wire members.
#define SD_DEFINE_EMPTY(R)                                                                         \
    extern const SOAP_TYPE SD_##R;                                                                 \
    const SOAP_TYPE SD_##R = {#R, sizeof(R), alignof(R), nullptr, 0}

#endif
