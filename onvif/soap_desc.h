/*
 * Field descriptors: what the generic SOAP writer and reader know about a
 * record.
 *
 * Every request and result record of an ONVIF operation, and every record
 * nested in one, has a static SOAP_TYPE: its size and alignment and one
 * SOAP_FIELD per member that travels on the wire, in schema order. A field
 * names its XML element (or attribute), the namespace prefix it is written
 * with, where the member sits in the record (offset, size) and what kind of
 * value it holds. Optional members carry a presence bit in a flag word of
 * the same record; repeated members are fixed arrays (with a count member)
 * or linked lists of heap nodes ("next" pointer, then the record).
 *
 * One writer turns a record into the children of an element
 * (soap_desc_write), one reader fills a record from an element
 * (soap_desc_read), one walker releases what a record owns
 * (soap_desc_free). Hand-written code is left only where the protocol is
 * special; such a field uses the hook kind.
 *
 * Reading rules, the same for every record:
 *  - element lookups ignore namespace prefixes and case;
 *  - texts are entity-decoded, cut to the field at a UTF-8 character
 *    boundary and always terminated; token-like texts (SOAP_F_TRIM) lose
 *    leading and trailing XML whitespace;
 *  - xs:boolean is "true", "false", "1" or "0" with surrounding whitespace;
 *  - numbers are read without locale (a ',' never is a decimal point) and
 *    saturate instead of overflowing;
 *  - a list is read in one pass, appended in O(1) and capped (field max, or
 *    SOAP_LIST_MAX); an array takes at most its capacity;
 *  - an optional member's bit is set only when the element was found (with
 *    text, for simple values); a missing required member leaves the field
 *    zero.
 */
#ifndef ONVIF_SOAP_DESC_H
#define ONVIF_SOAP_DESC_H

#include <stddef.h>
#include <stdint.h>

#include "onvif/soap_util.h"
#include "platform/onvif_api.h"
#include "xml/xml_node.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Namespace prefixes the writer uses; the envelope declares all of them. */
enum {
    SOAP_NS_NONE = 0, /* attributes, and elements written without a prefix */
    SOAP_NS_tt,
    SOAP_NS_tds,
    SOAP_NS_trt,
    SOAP_NS_tr2,
    SOAP_NS_tev,
    SOAP_NS_tptz,
    SOAP_NS_timg,
    SOAP_NS_tan,
    SOAP_NS_pt,
    SOAP_NS_tmd,
    SOAP_NS_trp,
    SOAP_NS_tse,
    SOAP_NS_trc,
    SOAP_NS_tac,
    SOAP_NS_tdc,
    SOAP_NS_tth,
    SOAP_NS_tcr,
    SOAP_NS_tar,
    SOAP_NS_tsc,
    SOAP_NS_trv,
    SOAP_NS_tpv,
    SOAP_NS_wsnt,
    SOAP_NS_wsa,
    SOAP_NS_ter,
    SOAP_NS_COUNT
};

/* The prefix text of a SOAP_NS_ value ("" for SOAP_NS_NONE, null outside). */
ONVIF_CLIENT_API const char *soap_ns_prefix(int ns);

/* Kinds of value. */
enum {
    SOAP_K_TEXT = 1, /* char[size]: element text */
    SOAP_K_INT,      /* int32_t (xs:int, integer, short, byte, nonNegativeInteger ...) */
    SOAP_K_UINT,     /* uint32_t (xs:unsignedInt, unsignedShort, unsignedByte) */
    SOAP_K_INT64,    /* int64_t (xs:long, unsignedLong) */
    SOAP_K_BOOL,     /* int32_t, 1 or 0 ("true"/"false") */
    SOAP_K_FLOAT,    /* float (xs:float) */
    SOAP_K_DOUBLE,   /* double (xs:double, xs:decimal) */
    SOAP_K_ENUM,     /* int32_t through the field's converter pair */
    SOAP_K_DURATION, /* int32_t whole seconds, written "PT%dS" */
    SOAP_K_DATETIME, /* int64_t seconds since 1970 UTC (xs:dateTime, "Z" form) */
    SOAP_K_RAW,      /* char * heap copy of the element as XML text (xs:any content);
                        written unchanged; freed by soap_desc_free */
    SOAP_K_BINARY,   /* SOAP_BINARY: base64 text, or an MTOM/XOP attachment */
    SOAP_K_CHILD,    /* nested record (type) */
    SOAP_K_HOOK      /* hand-written writer and reader (hook) */
};

/* Options of a field (opts). */
#define SOAP_F_ATTR 0x0001  /* an attribute of the element, not a child */
#define SOAP_F_VALUE 0x0002 /* the element's own text (simple content) */
#define SOAP_F_TRIM 0x0004  /* token-like text: surrounding whitespace is dropped */
#define SOAP_F_LIST 0x0008  /* repeated: linked list of heap nodes, head at offset */
#define SOAP_F_ARRAY                                                                               \
    0x0010 /* repeated: fixed array of max entries of stride size,                                 \
              used entries counted in the int32 at count_off */
#define SOAP_F_NONEMPTY                                                                            \
    0x0020                     /* array of texts without count: empty entries are skipped          \
                                  when writing, the first free entry is filled when reading */
#define SOAP_F_REQUIRED 0x0040 /* reading fails when the element is missing */

/* Default cap of a list read from a reply. */
#define SOAP_LIST_MAX 1000

/* A binary value: heap data (freed by soap_desc_free) and its length, and
 * the content type of an attachment when the device sent one. */
typedef struct {
    uint8_t *data;
    int32_t len;
    char content_type[64];
} SOAP_BINARY;

struct SOAP_TYPE;
struct SOAP_READ_CTX;
struct SOAP_FIELD_;

/* A hand-written member: write the element(s) of the field (name/ns as in
 * the field) and read them from the parent element p_parent. Both return
 * 0 (or 1 for read success) / -1. */
typedef struct {
    int (*write)(SOAP_WRITER *w, const void *field, const struct SOAP_FIELD_ *f);
    int (*read)(XML_NODE *p_parent, void *field, const struct SOAP_FIELD_ *f,
                struct SOAP_READ_CTX *ctx);
    void (*release)(void *field, const struct SOAP_FIELD_ *f);
} SOAP_HOOK;

typedef struct SOAP_FIELD_ {
    const char *name;             /* element or attribute local name */
    uint8_t ns;                   /* SOAP_NS_ prefix of the element when written */
    uint8_t kind;                 /* SOAP_K_ */
    uint16_t opts;                /* SOAP_F_ */
    uint32_t offset;              /* of the member in the record */
    uint32_t size;                /* of one value: char field size, record size ... */
    uint32_t max;                 /* SOAP_F_ARRAY: capacity; SOAP_F_LIST: cap (0: SOAP_LIST_MAX) */
    uint32_t count_off;           /* SOAP_F_ARRAY: offset of the int32 count */
    int32_t pres_bit;             /* presence bit (0..31) in the uint32 at pres_off, -1 none */
    uint32_t pres_off;            /* offset of that flag word */
    const struct SOAP_TYPE *type; /* SOAP_K_CHILD: the nested record */
    SOAP_ENUM_TO_TEXT to_text;    /* SOAP_K_ENUM */
    SOAP_TEXT_TO_ENUM from_text;  /* SOAP_K_ENUM */
    const SOAP_HOOK *hook;        /* SOAP_K_HOOK */
} SOAP_FIELD;

typedef struct SOAP_TYPE {
    const char *name;         /* record type name, for diagnostics */
    uint32_t size;            /* sizeof the record */
    uint32_t align;           /* alignof the record (list nodes place it after "next") */
    const SOAP_FIELD *fields; /* in schema order */
    uint32_t count;           /* number of fields */
} SOAP_TYPE;

/* The empty record: operations without input or output use it. */
extern ONVIF_CLIENT_API const SOAP_TYPE SD_void;

/* Offset of the record inside a list node of type t. */
ONVIF_CLIENT_API size_t soap_desc_node_offset(const SOAP_TYPE *t);

/* Context of one reply read: the MTOM/XOP attachments a binary field may
 * refer to (href "cid:..."), and how many list nodes could not be kept. */
typedef struct SOAP_ATTACHMENT {
    const char *content_id; /* without "<" ">" */
    const char *content_type;
    const uint8_t *data;
    int32_t len;
} SOAP_ATTACHMENT;

typedef struct SOAP_READ_CTX {
    const SOAP_ATTACHMENT *attachments;
    int32_t attachment_count;
    int32_t dropped; /* list entries over a cap, or nodes that could not be allocated */
} SOAP_READ_CTX;

/* Writer: the attributes of t (as name="value" pairs, each preceded by a
 * blank) and the children of t. soap_desc_write_element writes a whole
 * element <qname attrs>children</qname> (or <qname attrs /> when empty).
 * 0, or -1 once the writer overflowed. */
ONVIF_CLIENT_API int soap_desc_write_attrs(SOAP_WRITER *w, const SOAP_TYPE *t, const void *rec);
ONVIF_CLIENT_API int soap_desc_write(SOAP_WRITER *w, const SOAP_TYPE *t, const void *rec);
ONVIF_CLIENT_API int soap_desc_write_element(SOAP_WRITER *w, const char *qname, const SOAP_TYPE *t,
                                             const void *rec);

/* Reader: fills rec (assumed zero-filled, or cleared by the caller) from the
 * attributes and children of p_node. ctx may be null. 1, or 0 when p_node
 * is null. */
ONVIF_CLIENT_API int soap_desc_read(XML_NODE *p_node, const SOAP_TYPE *t, void *rec,
                                    SOAP_READ_CTX *ctx);

/* Releases what rec owns (list nodes with their contents, raw texts, binary
 * data) and sets those members to null / 0; the record itself stays. */
ONVIF_CLIENT_API void soap_desc_free(const SOAP_TYPE *t, void *rec);

/* Makes an element's XML text stand on its own before it is copied: every
 * namespace prefix its subtree uses (and the default namespace) that is
 * declared only on an ancestor gets its declaration added to the element. */
ONVIF_CLIENT_API void soap_xml_carry_ns(XML_NODE *node);

/* A heap copy of an element's XML text, standing on its own (above); null
 * on failure. */
ONVIF_CLIENT_API char *soap_xml_copy(XML_NODE *node);

/* Value conversions the reader uses, for hand-written code too. */
ONVIF_CLIENT_API int soap_text_to_bool(const char *text,
                                       int32_t *out); /* 1 when the text is a boolean */
ONVIF_CLIENT_API int soap_text_to_duration(const char *text, int32_t *seconds); /* xs:duration */
ONVIF_CLIENT_API int soap_text_to_datetime(const char *text, int64_t *t); /* xs:dateTime -> UTC */
ONVIF_CLIENT_API int soap_format_datetime(int64_t t, char *buf, int len); /* "%Y-%m-%dT%H:%M:%SZ" */
ONVIF_CLIENT_API int soap_format_float(double v, int is_float, char *buf,
                                       int len); /* shortest, no locale */

#ifdef __cplusplus
}
#endif

#endif
