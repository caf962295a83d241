/*
 * MTOM/XOP replies: a SOAP envelope sent as the root part of a
 * multipart/related body, with binary parts (a system log, a backup file)
 * that the envelope refers to through xop:Include href="cid:...".
 *
 * soap_mime_split cuts such a body in place: it finds the root part (the
 * one whose Content-ID is the "start" parameter, else the first part) and
 * lists the other parts as attachments pointing into the body. Nothing is
 * copied; the body must stay alive while the parts are used.
 */
#ifndef ONVIF_SOAP_MIME_H
#define ONVIF_SOAP_MIME_H

#include "onvif/soap_desc.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SOAP_MIME_MAX_PARTS 16

typedef struct {
    char *root; /* the root part's content (terminated in place) */
    int32_t root_len;
    int32_t count; /* attachments used */
    SOAP_ATTACHMENT parts[SOAP_MIME_MAX_PARTS];
} SOAP_MIME;

/* 1 when content_type (the Content-Type header value) is multipart/related. */
ONVIF_CLIENT_API int soap_mime_is_multipart(const char *content_type);

/* Splits body[0..len) of a multipart/related reply whose Content-Type header
 * is content_type. 1 with out filled, 0 when the body is not a well-formed
 * multipart (no boundary parameter, no part, a part without its header end,
 * no closing delimiter). Parts beyond SOAP_MIME_MAX_PARTS are ignored, except
 * the root, which is found wherever it stands. */
ONVIF_CLIENT_API int soap_mime_split(const char *content_type, char *body, int len, SOAP_MIME *out);

#ifdef __cplusplus
}
#endif

#endif
