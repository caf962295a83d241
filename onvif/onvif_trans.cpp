// The ONVIF request engine: the SOAP transaction with its authentication
// retries and result codes, and the device-level calls.

#include "onvif/onvif_trans.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include "onvif/onvif_act.h"
#include "onvif/soap_build.h"
#include "onvif/soap_desc.h"
#include "onvif/soap_mime.h"
#include "onvif/soap_parse.h"
#include "platform/sys_log.h"
#include "platform/sys_os.h"
#include "xml/xml_node.h"

namespace
{

const char *const kTrans = "http_onvif_trans";

// WS-Security retries after the first one wait this long.
const uint32_t kRetryPauseMs = 500;

// Safety bound on attempts: one plain, one with HTTP authentication, and the
// WS-Security retries end by auth_retry long before this.
const int kMaxAttempts = 16;

bool is_auth_subcode(const char *subcode)
{
    static const char *const kCodes[] = {"NotAuthorized", "Unauthorized", "InvalidSecurity",
                                         "FailedAuthentication"};
    for (const char *c : kCodes)
        if (soap_strcmp(subcode, c) == 0) return true;
    return false;
}

// Checks the reply body: the envelope root and its Body. Returns the Body,
// or null (last_error -7 is the caller's) with the warning logged.
XML_NODE *soap_body(XML_NODE *root)
{
    if (!root) {
        log_print(LOG_WARN, "%s, xxx_hxml_parse ret null!!!\r\n", kTrans);
        return nullptr;
    }
    if (soap_strcmp(root->name, "s:Envelope") != 0) {
        log_print(LOG_WARN, "%s, node name[%s] != [s:Envelope]!!!\r\n", kTrans,
                  root->name ? root->name : "");
        return nullptr;
    }
    XML_NODE *body = xml_node_soap_get(root, "s:Body");
    if (!body) log_print(LOG_WARN, "%s, xml_node_soap_get[s:Body] ret null!!!\r\n", kTrans);
    return body;
}

// What one attempt's reply asks the transaction to do next.
enum Step { DONE, RETRY_HTTP_AUTH, RETRY_WS_SECURITY };

// Handles a complete reply; sets last_error/auth_failed/fault as due.
// `*ok` is set to 1 when the operation succeeded.
Step handle_reply(HTTP_CLIENT_CONN *p_conn, int type, ONVIF_DEVICE *p_dev, void *p_res,
                  bool http_auth_used, int *ok)
{
    HTTP_MSG *msg = p_conn->rx_msg;
    uint32_t status = msg->code;

    if (status == 401 && !http_auth_used) return RETRY_HTTP_AUTH;
    if (status == 200) {
        // A refused attempt before this one leaves nothing behind.
        p_dev->auth_failed = 0;
        p_dev->last_error = 0;
        memset(&p_dev->fault, 0, sizeof(p_dev->fault));
    } else if (status == 401) {
        p_dev->auth_failed = 1;
        p_dev->last_error = -9;
    }

    char *body = http_get_ctt(msg);
    int body_len = msg->content_len;
    if (!body || body_len <= 0) {
        p_dev->last_error = -6;
        return DONE;
    }
    // An MTOM reply: the envelope is the root part, the binary parts are
    // handed to the reader as attachments.
    SOAP_MIME mime;
    SOAP_READ_CTX ctx = {nullptr, 0, 0};
    const char *ctype = http_get_headline(msg, "Content-Type");
    if (soap_mime_is_multipart(ctype)) {
        if (!soap_mime_split(ctype, body, body_len, &mime)) {
            log_print(LOG_WARN, "%s, multipart reply without a readable root part!!!\r\n", kTrans);
            p_dev->last_error = -7;
            return DONE;
        }
        body = mime.root;
        body_len = mime.root_len;
        ctx.attachments = mime.parts;
        ctx.attachment_count = mime.count;
    }
    XML_NODE *root = xxx_hxml_parse(body, body_len);
    XML_NODE *p_body = soap_body(root);
    if (!p_body) {
        xml_node_del(root);
        p_dev->last_error = -7;
        return DONE;
    }

    if (status == 200) {
        p_dev->auth_retry = 0;
        if (onvif_parse_response_ctx(p_body, type, p_dev, p_res, &ctx)) {
            *ok = 1;
        } else {
            p_dev->last_error = -8;
        }
        xml_node_del(root);
        return DONE;
    }

    memset(&p_dev->fault, 0, sizeof(p_dev->fault));
    bool refusal = status == 401;
    if (!refusal) {
        int has_fault = onvif_parse_fault(p_body, &p_dev->fault);
        refusal =
            has_fault && soap_strcmp(p_dev->fault.code, "Sender") == 0 &&
            (is_auth_subcode(p_dev->fault.subcode) || is_auth_subcode(p_dev->fault.inner_subcode));
    }
    xml_node_del(root);
    if (!refusal) {
        p_dev->last_error = -9;
        return DONE;
    }
    if (p_dev->need_auth) {
        int before = p_dev->auth_retry++;
        if (before > 3) {
            p_dev->auth_failed = 1;
            p_dev->last_error = -9;
            return DONE;
        }
    }
    return RETRY_WS_SECURITY;
}

// Reads the device clock again (without WS-Security: GetSystemDateAndTime
// needs none) and stores it in the device record.
void refresh_device_clock(ONVIF_DEVICE *p_dev)
{
    p_dev->need_auth = 0;
    p_dev->time_type = ONVIF_TIME_UNKNOWN;
    ONVIF_SYSTEM_DATETIME dt;
    memset(&dt, 0, sizeof(dt));
    if (onvif_call_xaddr(p_dev, &p_dev->binfo.xaddr, ACT_tds_GetSystemDateAndTime, nullptr, &dt))
        onvif_store_device_clock(p_dev, &dt);
}

// One attempt: build, connect, send, receive. 0 with a reply in
// p_conn->rx_msg, or the negative result code.
int run_attempt(HTTP_CLIENT_CONN *p_conn, int timeout, int type, const char *action,
                ONVIF_DEVICE *p_dev, void *p_req, char *buf)
{
    // The WS-Security Created time is the device clock plus the time passed;
    // rather than roll it over midnight, the clock is read again first. That
    // nested transaction leaves this one's outcome fields alone.
    int len;
    if (onvif_created_needs_refresh(p_dev)) {
        int32_t auth_failed = p_dev->auth_failed;
        int32_t last_error = p_dev->last_error;
        refresh_device_clock(p_dev);
        p_dev->auth_failed = auth_failed;
        p_dev->last_error = last_error;
        // This request still carries the UsernameToken (with the fresh
        // clock); later ones follow what the refresh left in need_auth.
        int32_t need_auth = p_dev->need_auth;
        p_dev->need_auth = 1;
        len = onvif_build_request(buf, ONVIF_REQ_BUF_SIZE, type, p_dev, p_req);
        p_dev->need_auth = need_auth;
    } else {
        len = onvif_build_request(buf, ONVIF_REQ_BUF_SIZE, type, p_dev, p_req);
    }
    if (len < 0 || len >= ONVIF_REQ_BUF_SIZE) return -2;

    int r = http_cln_connect(p_conn, timeout, &p_dev->binfo.xaddr, kTrans);
    if (r != 0) return r == -2 ? -2 : -1;
    p_dev->local_ip = http_cln_local_ip(p_conn);
    if (http_cln_soap_tx(p_conn, action, buf, len) != 0) return -2;
    if (http_cln_rx_timeout(p_conn, timeout) != 0) return -4;
    return 0;
}

// Digest state for the next request: a new challenge of this reply (a new
// nonce starts its count at 1), else the same nonce with the count moved on.
void next_digest(HTTP_CLIENT_CONN *p_conn)
{
    DIGEST_INFO *a = &p_conn->auth_info;
    char old_nonce[sizeof(a->nonce)];
    memcpy(old_nonce, a->nonce, sizeof(old_nonce));
    if (p_conn->rx_msg && p_conn->rx_msg->code == 401 &&
        http_cln_parse_challenge(p_conn, p_conn->rx_msg)) {
        if (strcmp(old_nonce, a->nonce) != 0) a->nc_count = 1;
    } else {
        a->nc_count++;
    }
    snprintf(a->nc_text, sizeof(a->nc_text), "%08X", a->nc_count);
}

void copy_text(char *dst, size_t size, const char *src)
{
    if (size == 0) return;
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n) memcpy(dst, src, n);
    dst[n] = '\0';
}

} // namespace

extern "C" {

int onvif_init_xaddr_context(HTTP_CLIENT_CONN *p_conn, const ONVIF_XADDR *p_xaddr)
{
    if (!p_conn) return -1;
    memset(p_conn, 0, sizeof(*p_conn));
    if (!p_xaddr) return -1;
    if (p_xaddr->https) p_conn->req_flags |= HTTP_CLN_TLS;
    p_conn->port = p_xaddr->port;
    copy_text(p_conn->host, sizeof(p_conn->host), p_xaddr->host);
    copy_text(p_conn->url, sizeof(p_conn->url),
              p_xaddr->path[0] ? p_xaddr->path : "/onvif/device_service");
    return 0;
}

int onvif_call_xaddr(ONVIF_DEVICE *p_dev, const ONVIF_XADDR *p_xaddr, int type, void *p_req,
                     void *p_res)
{
    if (!p_dev || !p_xaddr) return 0;
    HTTP_CLIENT_CONN conn;
    onvif_init_xaddr_context(&conn, p_xaddr);
    return http_onvif_trans(&conn, ONVIF_TRANS_TIMEOUT, type, p_dev, p_req, p_res);
}

int http_onvif_trans(HTTP_CLIENT_CONN *p_conn, int timeout, int type, ONVIF_DEVICE *p_dev,
                     void *p_req, void *p_res)
{
    if (!p_conn || !p_dev) return 0;
    p_dev->auth_failed = 0;
    p_dev->last_error = 0;
    memset(&p_dev->fault, 0, sizeof(p_dev->fault)); // the fault of this transaction only

    const ONVIF_ACTION *act = type > 0 ? onvif_find_action_by_type((uint32_t)type) : nullptr;
    if (!act) return 0; // nothing is sent for an unknown type

    if ((p_conn->req_flags & HTTP_CLN_TLS) && http_cln_tls_init(p_conn, kTrans) < 0) {
        p_dev->last_error = -2;
        return 0;
    }
    if (p_dev->basic_over_http) p_conn->req_flags |= HTTP_CLN_BASIC_PLAIN;
    char *buf = (char *)malloc(ONVIF_REQ_BUF_SIZE);
    if (!buf) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", kTrans);
        p_dev->last_error = -2;
        http_cln_free(p_conn);
        return 0;
    }

    int ok = 0;
    bool http_auth_used = false;
    int http_auth_mode = HTTP_AUTH_BASIC;
    for (int attempt = 0; attempt < kMaxAttempts; attempt++) {
        int r = run_attempt(p_conn, timeout, type, act->action, p_dev, p_req, buf);
        if (r != 0) {
            p_dev->last_error = r;
            break;
        }
        Step next = handle_reply(p_conn, type, p_dev, p_res, http_auth_used, &ok);
        if (next == DONE) break;

        if (next == RETRY_HTTP_AUTH) {
            int digest = http_cln_parse_challenge(p_conn, p_conn->rx_msg);
            http_auth_used = true;
            if (digest || http_cln_basic_allowed(p_conn)) {
                http_cln_close(p_conn);
                http_cln_set_auth(p_conn, digest, p_dev->username, p_dev->password);
                http_auth_mode = p_conn->auth_mode;
                continue; // at once
            }
            // Basic only, over plain HTTP: the password is not sent in the
            // clear. This 401 stands as the refusal of HTTP authentication;
            // WS-Security (a digest, no password on the wire) may still do.
            log_print(LOG_WARN,
                      "%s, %s:%d offers only HTTP Basic over plain HTTP, credentials not sent "
                      "(allow it per device with onvif_SetBasicOverHttp)\r\n",
                      kTrans, p_conn->host, p_conn->port);
            http_auth_mode = -1;
            next = handle_reply(p_conn, type, p_dev, p_res, true, &ok);
            if (next == DONE) { // a 401 without a SOAP refusal in it: refused all the same
                p_dev->auth_failed = 1;
                p_dev->last_error = -9;
                break;
            }
        }

        // WS-Security retry: the next envelope carries the UsernameToken.
        if (http_auth_used && http_auth_mode == HTTP_AUTH_DIGEST) next_digest(p_conn);
        http_cln_close(p_conn);
        p_dev->need_auth = 1;
        if (http_auth_used && http_auth_mode >= 0) { // HTTP authentication stays on
            p_conn->req_flags |= HTTP_CLN_AUTH;
            p_conn->auth_mode = http_auth_mode;
        }
        if (p_dev->auth_retry > 0) sys_os_sleep_ms(kRetryPauseMs);
    }

    free(buf);
    http_cln_free(p_conn);
    return ok;
}

} // extern "C"
