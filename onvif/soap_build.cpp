#include "onvif/soap_build.h"

#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "discovery/xaddr.h"
#include "onvif/onvif_act.h"
#include "onvif/onvif_optab.h"
#include "onvif/soap_desc.h"
#include "onvif/soap_util.h"
#include "platform/encoding.h"
#include "platform/sha1.h"
#include "platform/sys_log.h"
#include "platform/sys_os.h"

namespace
{

const char kXmlDecl[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

/* Envelope start tag: every namespace a body or header may use. */
const char kEnvelopeStart[] = "<s:Envelope"
                              " xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
                              " xmlns:enc=\"http://www.w3.org/2003/05/soap-encoding\""
                              " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
                              " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
                              " xmlns:wsa=\"http://www.w3.org/2005/08/addressing\""
                              " xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\""
                              " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
                              "oasis-200401-wss-wssecurity-secext-1.0.xsd\""
                              " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/"
                              "oasis-200401-wss-wssecurity-utility-1.0.xsd\""
                              " xmlns:wsnt=\"http://docs.oasis-open.org/wsn/b-2\""
                              " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
                              " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
                              " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
                              " xmlns:tr2=\"http://www.onvif.org/ver20/media/wsdl\""
                              " xmlns:tev=\"http://www.onvif.org/ver10/events/wsdl\""
                              " xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\""
                              " xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\""
                              " xmlns:tan=\"http://www.onvif.org/ver20/analytics/wsdl\""
                              " xmlns:pt=\"http://www.onvif.org/ver10/pacs\""
                              " xmlns:tmd=\"http://www.onvif.org/ver10/deviceIO/wsdl\""
                              " xmlns:trp=\"http://www.onvif.org/ver10/replay/wsdl\""
                              " xmlns:tse=\"http://www.onvif.org/ver10/search/wsdl\""
                              " xmlns:trc=\"http://www.onvif.org/ver10/recording/wsdl\""
                              " xmlns:tac=\"http://www.onvif.org/ver10/accesscontrol/wsdl\""
                              " xmlns:tdc=\"http://www.onvif.org/ver10/doorcontrol/wsdl\""
                              " xmlns:tth=\"http://www.onvif.org/ver10/thermal/wsdl\""
                              " xmlns:tcr=\"http://www.onvif.org/ver10/credential/wsdl\""
                              " xmlns:tar=\"http://www.onvif.org/ver10/accessrules/wsdl\""
                              " xmlns:tsc=\"http://www.onvif.org/ver10/schedule/wsdl\""
                              " xmlns:trv=\"http://www.onvif.org/ver10/receiver/wsdl\""
                              " xmlns:tpv=\"http://www.onvif.org/ver10/provisioning/wsdl\""
                              " xmlns:ter=\"http://www.onvif.org/ver10/error\""
                              " >";

const char kPasswordType[] = "http://docs.oasis-open.org/wss/2004/01/"
                             "oasis-200401-wss-username-token-profile-1.0#PasswordDigest";
const char kNonceEncoding[] = "http://docs.oasis-open.org/wss/2004/01/"
                              "oasis-200401-wss-soap-message-security-1.0#Base64Binary";

/* A fixed char field as a terminated text (fields may be full to the end);
 * out has at least field_size + 1 bytes. */
void field_text(char *out, const char *field, size_t field_size)
{
    size_t n = strnlen(field, field_size);
    memcpy(out, field, n);
    out[n] = '\0';
}
#define FIELD_TEXT(out, field)                                                                     \
    do {                                                                                           \
        static_assert(sizeof(out) > sizeof(field), "room for the terminator");                     \
        field_text(out, field, sizeof(field));                                                     \
    } while (0)

/* Writes the UsernameToken element. */
int w_username_token(SOAP_WRITER *w, ONVIF_DEVICE *p_dev)
{
    char created[64];
    uint8_t nonce[ONVIF_NONCE_LEN];
    char nonce_b64[100];
    char digest[100];
    char pass[ONVIF_PASSWORD_LEN + 1];

    onvif_build_created(p_dev, created, sizeof(created));
    if (onvif_make_nonce(nonce, sizeof(nonce)) < 0) {
        w->overflow = 1;
        return -1;
    }
    if (!base64_encode(nonce, (int)sizeof(nonce), nonce_b64, sizeof(nonce_b64))) return -1;
    FIELD_TEXT(pass, p_dev->password);
    if (!onvif_calc_digest(nonce, (int)sizeof(nonce), created, pass, digest, sizeof(digest)))
        return -1;

    soap_w_puts(w, "<wsse:Security><wsse:UsernameToken>");
    soap_w_field(w, "wsse:Username", p_dev->username, (int)sizeof(p_dev->username));
    soap_w_printf(w, "<wsse:Password Type=\"%s\">%s</wsse:Password>", kPasswordType, digest);
    soap_w_printf(w, "<wsse:Nonce EncodingType=\"%s\">%s</wsse:Nonce>", kNonceEncoding, nonce_b64);
    soap_w_printf(w, "<wsu:Created>%s</wsu:Created>", created);
    return soap_w_puts(w, "</wsse:UsernameToken></wsse:Security>");
}

bool ws_security_on(const ONVIF_DEVICE *p_dev)
{
    return p_dev && p_dev->need_auth && p_dev->username[0] != '\0';
}

int w_security_header(SOAP_WRITER *w, ONVIF_DEVICE *p_dev, const char *to)
{
    bool sec = ws_security_on(p_dev);
    bool has_to = to && to[0];
    if (!sec && !has_to) return 0;
    soap_w_puts(w, "<s:Header>");
    if (has_to) soap_w_text(w, "wsa:To", to);
    if (sec) w_username_token(w, p_dev);
    return soap_w_puts(w, "</s:Header>");
}

int w_addressing_header(SOAP_WRITER *w, ONVIF_DEVICE *p_dev, const char *to, const char *action,
                        const char *ref_params)
{
    bool sec = ws_security_on(p_dev);
    bool has_to = to && to[0];
    if (!sec && !has_to) return 0;
    char uuid[100];
    onvif_uuid_create(uuid, sizeof(uuid));
    soap_w_puts(w, "<s:Header>");
    soap_w_text(w, "wsa:Action", action);
    soap_w_printf(w, "<wsa:MessageID>urn:uuid:%s</wsa:MessageID>", uuid);
    soap_w_puts(w, "<wsa:ReplyTo><wsa:Address>http://www.w3.org/2005/08/addressing/anonymous"
                   "</wsa:Address></wsa:ReplyTo>");
    if (has_to) soap_w_text(w, "wsa:To", to);
    if (ref_params && ref_params[0]) soap_w_puts(w, ref_params);
    if (sec) w_username_token(w, p_dev);
    return soap_w_puts(w, "</s:Header>");
}

/* The header chosen by the operation's row. */
int w_header(SOAP_WRITER *w, const ONVIF_OP *op, ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    const ONVIF_ACTION *row = onvif_find_action_by_type(op->type);
    const char *action = row ? row->action : "";
    /* A pull point is served at its subscription reference: PullMessages go
     * there, with its reference parameters, once CreatePullPointSubscription
     * has given one. */
    bool to_pull_point =
        (op->flags & ONVIF_OPF_PULL) && p_dev->pull_point && p_dev->subscription_address[0] != '\0';
    if ((op->flags & ONVIF_OPF_SUB) || to_pull_point) {
        char to[sizeof(p_dev->subscription_address) + 1];
        char refs[sizeof(p_dev->reference_parameters) + 1];
        FIELD_TEXT(to, p_dev->subscription_address);
        FIELD_TEXT(refs, p_dev->reference_parameters);
        return w_addressing_header(w, p_dev, to, action, refs);
    }
    if (op->flags & (ONVIF_OPF_EVT | ONVIF_OPF_PULL)) {
        const ONVIF_XADDR *xa = &p_dev->capabilities.events.xaddr;
        char host[sizeof(xa->host) + 1];
        char path[sizeof(xa->path) + 1];
        char to[512];
        FIELD_TEXT(host, xa->host);
        FIELD_TEXT(path, xa->path);
        snprintf(to, sizeof(to), "http://%s:%d%s", host, (int)xa->port, path);
        return w_addressing_header(w, p_dev, to, action, nullptr);
    }
    return w_security_header(w, p_dev, nullptr);
}

} // namespace

/* ---- UsernameToken ---- */

int onvif_make_nonce(uint8_t *nonce, int len)
{
    if (!nonce || len < ONVIF_NONCE_LEN) return -1;
    if (sys_os_random(nonce, ONVIF_NONCE_LEN) != 0) return -1;
    return ONVIF_NONCE_LEN;
}

int onvif_calc_digest(const uint8_t *nonce, int nonce_len, const char *created,
                      const char *password, char *digest, int len)
{
    if (!digest || len <= 0) return 0;
    sha1_context ctx;
    uint8_t hash[20];
    sha1_starts(&ctx);
    if (nonce && nonce_len > 0) sha1_update(&ctx, nonce, (uint32_t)nonce_len);
    for (const char *part : {created, password})
        if (part) sha1_update(&ctx, (const uint8_t *)part, (uint32_t)strlen(part));
    sha1_finish(&ctx, hash);
    if (!base64_encode(hash, (int)sizeof(hash), digest, len)) {
        digest[0] = '\0';
        return 0;
    }
    return 1;
}

static int local_utc_text(char *buf, int len)
{
    buf[0] = '\0';
    onvif_format_datetime_str((int64_t)time(nullptr), 1, "%Y-%m-%dT%H:%M:%SZ", buf, len);
    return (int)strnlen(buf, (size_t)len);
}

static int device_time_text(const ONVIF_DATETIME *dt, int hour, int minute, int second, char *buf,
                            int len)
{
    int n = snprintf(buf, (size_t)len, "%04d-%02d-%02dT%02d:%02d:%02dZ", (int)dt->year,
                     (int)dt->month, (int)dt->day, hour, minute, second);
    if (n < 0) return 0;
    return n < len ? n : len - 1;
}

/* Hours of the device clock now (device_time plus the local seconds passed
 * since it was read; a local clock that went back counts as no time passed),
 * with the minutes and seconds. */
static int64_t device_clock_now(const ONVIF_DEVICE *p_dev, int *minute, int *second)
{
    int64_t elapsed = (int64_t)time(nullptr) - p_dev->time_stamp;
    if (elapsed < 0) elapsed = 0;
    const ONVIF_DATETIME *dt = &p_dev->device_time;
    int64_t seconds = dt->second + elapsed;
    int64_t minutes = dt->minute + seconds / 60;
    *minute = (int)(minutes % 60);
    *second = (int)(seconds % 60);
    return dt->hour + minutes / 60;
}

int onvif_created_needs_refresh(const ONVIF_DEVICE *p_dev)
{
    if (!p_dev || p_dev->time_type != ONVIF_TIME_UTC) return 0;
    if (!p_dev->need_auth || p_dev->username[0] == '\0') return 0;
    int minute = 0;
    int second = 0;
    return device_clock_now(p_dev, &minute, &second) >= 24;
}

int onvif_build_created(ONVIF_DEVICE *p_dev, char *buf, int len)
{
    if (!buf || len <= 0) return 0;
    if (!p_dev || p_dev->time_type != ONVIF_TIME_UTC) return local_utc_text(buf, len);
    int minute = 0;
    int second = 0;
    int64_t hours = device_clock_now(p_dev, &minute, &second);
    /* The date would roll over: the engine reads the device clock again
     * before it builds (onvif_created_needs_refresh); when that did not
     * happen or failed, the local clock is used. */
    if (hours >= 24) return local_utc_text(buf, len);
    return device_time_text(&p_dev->device_time, (int)hours, minute, second, buf, len);
}

/* ---- headers ---- */

int onvif_build_security_header(char *p_buf, int mlen, ONVIF_DEVICE *p_dev, const char *to)
{
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    w_security_header(&w, p_dev, to);
    return soap_w_result(&w);
}

int onvif_build_addressing_header(char *p_buf, int mlen, ONVIF_DEVICE *p_dev, const char *to,
                                  const char *action, const char *ref_params)
{
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    w_addressing_header(&w, p_dev, to, action, ref_params);
    return soap_w_result(&w);
}

/* ---- bodies ---- */

int onvif_body_without_input(int type)
{
    const ONVIF_OP *op = onvif_op(type);
    if (!op) return 0;
    return op->in == ONVIF_IN_NO ? 1 : op->in == ONVIF_IN_OPT ? 2 : 0;
}

const char *onvif_body_prefix(int type)
{
    const ONVIF_OP *op = onvif_op(type);
    return op ? op->element_prefix : nullptr;
}

int onvif_build_body(char *p_buf, int mlen, int type, const void *p_req)
{
    const ONVIF_OP *op = onvif_op(type);
    if (!op || !p_buf || mlen <= 0) return -2;
    if (op->in == ONVIF_IN_REQ && !p_req) return -2; /* required input missing */

    char qname[128];
    snprintf(qname, sizeof(qname), "%s:%s", op->element_prefix, op->name);
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    if (op->in == ONVIF_IN_NO || !op->req || op->req->count == 0) {
        soap_w_printf(&w, "<%s />", qname);
        return soap_w_result(&w);
    }
    /* Optional input without a record: a zero-filled one gives the defaults
     * ("All", false, no entries). */
    void *zero = nullptr;
    if (!p_req) {
        zero = calloc(1, op->req->size ? op->req->size : 1);
        if (!zero) return -1;
        p_req = zero;
    }
    soap_desc_write_element(&w, qname, op->req, p_req);
    free(zero);
    if (w.overflow == SOAP_W_REFUSED) return -2;
    return soap_w_result(&w);
}

#define BODY_BUILDER(op, T)                                                                        \
    int build_##op##_xml(char *p_buf, int mlen, const T *p_req)                                    \
    {                                                                                              \
        int n = onvif_build_body(p_buf, mlen, ACT_tds_##op, p_req);                                \
        return n < 0 ? -1 : n;                                                                     \
    }
BODY_BUILDER(GetCapabilities, ONVIF_GET_CAPABILITIES_REQ)
BODY_BUILDER(GetServices, ONVIF_GET_SERVICES_REQ)
BODY_BUILDER(SetNetworkInterfaces, ONVIF_NETWORK_INTERFACE)
BODY_BUILDER(SetDNS, ONVIF_DNS)
BODY_BUILDER(SetNetworkDefaultGateway, ONVIF_NETWORK_GATEWAY)
BODY_BUILDER(SetSystemDateAndTime, ONVIF_SET_SYSTEM_DATETIME_REQ)
#undef BODY_BUILDER

/* ---- envelope ---- */

int onvif_build_request(char *p_buf, int mlen, int type, ONVIF_DEVICE *p_dev, const void *p_req)
{
    if (!p_buf || mlen <= 0) return -1;
    p_buf[0] = '\0';
    const ONVIF_OP *op = onvif_op(type);
    if (!op) {
        log_print(LOG_ERROR, "%s, no body builder for type %d\r\n", "onvif_build_request", type);
        return -1;
    }

    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_puts(&w, kXmlDecl);
    soap_w_puts(&w, kEnvelopeStart);
    w_header(&w, op, p_dev);
    soap_w_puts(&w, "<s:Body>");
    if (!w.overflow) {
        int n = onvif_build_body(w.buf + w.len, w.size - w.len, type, p_req);
        if (n == -2) {
            log_print(LOG_ERROR, "%s, request record missing or refused for type %d\r\n",
                      "onvif_build_request", type);
            p_buf[0] = '\0';
            return -1;
        }
        if (n < 0)
            w.overflow = 1;
        else
            w.len += n;
    }
    soap_w_puts(&w, "</s:Body></s:Envelope>");

    if (w.overflow) {
        log_print(LOG_ERROR, "%s, request too large\r\n", "onvif_build_request");
        p_buf[0] = '\0';
        return -1;
    }
    return w.len;
}
