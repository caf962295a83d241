/*
 * XML node tree over an in-place parsed buffer: building it from a message,
 * prefix-insensitive lookup of children and attributes, editing, and writing
 * a node with its sub-tree back as text.
 *
 * Names and texts are not owned by the tree: after xxx_hxml_parse they point
 * into the parsed buffer, which must outlive the tree. Records are owned by
 * the tree: they come from pages that belong to the tree (a parse takes one
 * block for a typical reply), xml_node_del on the root frees them all, and
 * records of a deleted sub-tree or attribute are reused by later adds to the
 * same tree.
 */
#ifndef XML_XML_NODE_H
#define XML_XML_NODE_H

#include <stdint.h>

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define XML_NODE_ELEMENT 0
#define XML_NODE_ATTR 1

/* One element or attribute. Attributes have no parent and no children; their
 * value is in text. Siblings link the parent's child list (elements) or the
 * owner's attribute list (attributes), both in document order. */
typedef struct xml_node {
    const char *name; /* as written, prefix included ("s:Body") */
    int32_t kind;     /* XML_NODE_ELEMENT or XML_NODE_ATTR */
    const char *text; /* element text (null if none) or attribute value */
    int32_t text_len; /* bytes in text */
    int32_t closed;   /* element: 1 once its end tag has been read */
    struct xml_node *parent;
    struct xml_node *first_child;
    struct xml_node *last_child;
    struct xml_node *prev_sibling;
    struct xml_node *next_sibling;
    struct xml_node *first_attr;
    struct xml_node *last_attr;
} XML_NODE;

/* Parsing: buf must be writable (it is cut in place) and buf[len] readable.
 * Returns the root element, or null on error or when there is no element. */
ONVIF_CLIENT_API XML_NODE *xxx_hxml_parse(char *buf, int len);

/* Lookup. "soap" matching ignores ASCII case and, failing a whole-name match,
 * compares the parts after the first ':' ("s:Body" matches "SOAP-ENV:Body" and
 * "Body"). Null node or name gives null. */
ONVIF_CLIENT_API XML_NODE *xml_node_soap_get(XML_NODE *parent, const char *name);
ONVIF_CLIENT_API XML_NODE *xml_node_get(XML_NODE *parent,
                                        const char *name); /* whole name, any case */
ONVIF_CLIENT_API const char *xml_attr_get(XML_NODE *node, const char *name);
ONVIF_CLIENT_API XML_NODE *xml_attr_node_get(XML_NODE *node, const char *name);

/* Name helpers: soap_strcmp is 0 on a match (non-zero if either is null);
 * soap_strncpy copies the local part with strncpy semantics (n bytes at most,
 * unterminated when the local part has n or more bytes). */
ONVIF_CLIENT_API int soap_strcmp(const char *a, const char *b);
ONVIF_CLIENT_API void soap_strncpy(char *dst, const char *src, int n);

/* Editing. Add functions return the new record or null (null arguments or no
 * memory). xml_node_del frees an element, its attributes and its sub-tree and
 * unlinks it from its parent (names and texts are not freed). xml_attr_del
 * removes the first attribute whose whole name matches in any case: 0, or -1
 * if there is none. xml_cdata_set sets the text when text is non-null and
 * len >= 1. */
ONVIF_CLIENT_API XML_NODE *xml_node_add(XML_NODE *parent, const char *name);
ONVIF_CLIENT_API XML_NODE *xml_attr_add(XML_NODE *node, const char *name, const char *value);
ONVIF_CLIENT_API void xml_node_del(XML_NODE *node);
ONVIF_CLIENT_API int xml_attr_del(XML_NODE *node, const char *name);
ONVIF_CLIENT_API void xml_cdata_set(XML_NODE *node, const char *text, int len);

/* Writing a node and its sub-tree (never its following siblings), unescaped.
 * xml_calc_buf_len: a buffer size that always suffices (written length plus
 * one byte per element); 0 for null, -1 for a tree that can't be written.
 * xml_nwrite_buf: writes text and a terminating NUL within size bytes and
 * returns the text length, or -1 (null node or name, or it doesn't fit).
 * xml_write_buf: the same for a buffer of at least xml_calc_buf_len bytes.
 * Text that holds '<' or a bare '&' (as CDATA content may) is written as a
 * CDATA section, so that it stays text when read again. */
ONVIF_CLIENT_API int xml_calc_buf_len(XML_NODE *node);
ONVIF_CLIENT_API int xml_nwrite_buf(XML_NODE *node, char *buf, int size);
ONVIF_CLIENT_API int xml_write_buf(XML_NODE *node, char *buf);

#ifdef __cplusplus
}
#endif

#endif
