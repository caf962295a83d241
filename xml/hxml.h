/*
 * In-place, event-driven XML tokenizer.
 *
 * hxml_parse walks [buf_start, buf_end) once, cuts the buffer with NUL bytes
 * behind names, attribute values and texts, and reports element starts, element
 * ends and element text to three callbacks. Nothing is copied or allocated;
 * every pointer handed to a callback points into the buffer.
 *
 * What is read: one leading "<?...?>" declaration (and a leading UTF-8 byte
 * order mark), elements with attributes (double- or single-quoted, or bare
 * values), comments between elements, and text directly before an element's
 * end tag. CDATA sections are text: they may stand wherever text may, alone or
 * next to ordinary text, and their content is taken as written (the markers
 * are cut out by moving the text in place, so one text callback gets it all).
 * Entities are not decoded, namespaces are not processed (a prefix is part of
 * the name), mixed content is rejected. The tokenizer never reads at or beyond
 * buf_end.
 */
#ifndef XML_HXML_H
#define XML_HXML_H

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Name slots of the open-element stack: slot 0 stays null, so 1023 levels. */
#define HXML_NAME_SLOTS 1024
#define HXML_MAX_DEPTH (HXML_NAME_SLOTS - 1)

/* Attribute pointer slots: name/value pairs, at most 99 filled, then a null pair. */
#define HXML_ATTR_SLOTS 200
#define HXML_MAX_ATTRS ((HXML_ATTR_SLOTS / 2) - 1)

/* Callbacks; any of them may be null. attrs is name, value, name, value, ...
 * ended by the first null name. Texts are NUL-terminated in the buffer. */
typedef void (*HXML_ON_START)(void *user_data, const char *name, const char **attrs);
typedef void (*HXML_ON_END)(void *user_data, const char *name);
typedef void (*HXML_ON_TEXT)(void *user_data, const char *text, int len);

/* State of one tokenizer run; lives on the caller's stack for one call. */
typedef struct hxml_parser {
    char *buf_start; /* first input byte */
    char *buf_end;   /* one past the last input byte */
    char *cursor;    /* read position; hxml_parse starts it at buf_start */

    const char *name_stack[HXML_NAME_SLOTS]; /* slot d: name of the element open at depth d */
    int depth;                               /* number of open elements */
    const char *attrs[HXML_ATTR_SLOTS];      /* current start tag's name/value pairs */

    void *user_data; /* passed to every callback */
    HXML_ON_START on_element_start;
    HXML_ON_END on_element_end;
    HXML_ON_TEXT on_text;
} HXML_PARSER;

/* Whole run: clears name_stack/depth/attrs, starts at buf_start, reads the
 * declaration and then the elements. 0 on success, -1 on any error (the buffer
 * is left partly cut). The run stops behind the outermost element's end. */
ONVIF_CLIENT_API int hxml_parse(HXML_PARSER *parse);

/* Steps of a run, each working at the cursor (exposed for callers that drive
 * the tokenizer themselves):
 *  - hxml_parse_header: skips a byte order mark and one "<?...?>"; always 0.
 *  - hxml_parse_element: the element loop; 0 or -1.
 *  - hxml_parse_element_start: cursor behind '<'; -1 error, 0 tag left open,
 *    1 self-closing tag (already ended).
 *  - hxml_parse_attr: cursor at the attributes of a start tag; fills attrs;
 *    -1 error, 0 tag left open, 1 self-closing (the caller reports the start).
 *  - hxml_parse_element_end: cursor behind "</"; 0 or -1. */
ONVIF_CLIENT_API int hxml_parse_header(HXML_PARSER *parse);
ONVIF_CLIENT_API int hxml_parse_element(HXML_PARSER *parse);
ONVIF_CLIENT_API int hxml_parse_element_start(HXML_PARSER *parse);
ONVIF_CLIENT_API int hxml_parse_attr(HXML_PARSER *parse);
ONVIF_CLIENT_API int hxml_parse_element_end(HXML_PARSER *parse);

#ifdef __cplusplus
}
#endif

#endif
