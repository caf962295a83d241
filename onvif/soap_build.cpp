#include "onvif/soap_build.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "discovery/xaddr.h"
#include "onvif/onvif_act.h"
#include "onvif/onvif_enum.h"
#include "onvif/soap_util.h"
#include "platform/encoding.h"
#include "platform/sha1.h"
#include "platform/sys_log.h"

#if __has_include("onvif/onvif_trans.h")
#include "onvif/onvif_trans.h"
#else
extern "C" int GetSystemDateAndTime(ONVIF_DEVICE *p_dev);
#endif

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

/* XML prefix of each service's request elements, in ONVIF_SVC_ order (the
 * entry prefixes ptz and img are declared as tptz and timg). */
const char *const kSvcXmlPrefix[ONVIF_SVC_COUNT] = {
    "tds", "trt", "tr2", "tptz", "tev", "timg", "tmd", "trc", "trp", "tse",
    "tan", "tac", "tdc", "tth",  "tcr", "tar",  "tsc", "trv", "tpv"};

/* Request elements with no children at all. */
const int kNoChildren[] = {
    ACT_tds_GetServiceCapabilities,
    ACT_tds_GetDeviceInformation,
    ACT_tds_GetUsers,
    ACT_tds_GetRemoteUser,
    ACT_tds_GetNetworkInterfaces,
    ACT_tds_GetNTP,
    ACT_tds_GetHostname,
    ACT_tds_GetDNS,
    ACT_tds_GetDynamicDNS,
    ACT_tds_GetNetworkProtocols,
    ACT_tds_GetDiscoveryMode,
    ACT_tds_GetNetworkDefaultGateway,
    ACT_tds_GetZeroConfiguration,
    ACT_tds_GetEndpointReference,
    ACT_tds_GetRelayOutputs,
    ACT_tds_GetSystemDateAndTime,
    ACT_tds_SystemReboot,
    ACT_tds_GetScopes,
    ACT_tds_StartFirmwareUpgrade,
    ACT_tds_GetSystemUris,
    ACT_tds_StartSystemRestore,
    ACT_tds_GetWsdlUrl,
    ACT_tds_GetGeoLocation,
    ACT_tds_GetIPAddressFilter,
    ACT_tds_GetAccessPolicy,
    ACT_tds_GetStorageConfigurations,
    ACT_trt_GetServiceCapabilities,
    ACT_trt_GetVideoSources,
    ACT_trt_GetAudioSources,
    ACT_trt_GetProfiles,
    ACT_trt_GetVideoSourceConfigurations,
    ACT_trt_GetVideoEncoderConfigurations,
    ACT_trt_GetAudioSourceConfigurations,
    ACT_trt_GetAudioEncoderConfigurations,
    ACT_trt_GetAudioOutputs,
    ACT_trt_GetAudioOutputConfigurations,
    ACT_trt_GetAudioDecoderConfigurations,
    ACT_trt_GetVideoAnalyticsConfigurations,
    ACT_tr2_GetServiceCapabilities,
    ACT_ptz_GetServiceCapabilities,
    ACT_ptz_GetNodes,
    ACT_ptz_GetConfigurations,
    ACT_tev_GetServiceCapabilities,
    ACT_tev_GetEventProperties,
    ACT_tev_SetSynchronizationPoint,
    ACT_img_GetServiceCapabilities,
    ACT_tmd_GetServiceCapabilities,
    ACT_tmd_GetRelayOutputs,
    ACT_tmd_GetDigitalInputs,
    ACT_trc_GetServiceCapabilities,
    ACT_trc_GetRecordings,
    ACT_trc_GetRecordingJobs,
    ACT_trp_GetServiceCapabilities,
    ACT_trp_GetReplayConfiguration,
    ACT_tse_GetServiceCapabilities,
    ACT_tse_GetRecordingSummary,
    ACT_tan_GetServiceCapabilities,
    ACT_tac_GetServiceCapabilities,
    ACT_tdc_GetServiceCapabilities,
    ACT_tth_GetServiceCapabilities,
    ACT_tth_GetConfigurations,
    ACT_tcr_GetServiceCapabilities,
    ACT_tar_GetServiceCapabilities,
    ACT_tsc_GetServiceCapabilities,
    ACT_trv_GetServiceCapabilities,
    ACT_trv_GetReceivers,
    ACT_tpv_GetServiceCapabilities,
};

/* Request elements whose children are all optional: sent empty only when
 * the caller gives no request record (a record would carry input that no
 * builder writes yet). Types with a builder of their own are not listed. */
const int kOptionalChildren[] = {
    ACT_tds_SetRemoteUser,
    ACT_tds_GetDot11Capabilities,
    ACT_trt_GetVideoSourceConfigurationOptions,
    ACT_trt_GetVideoEncoderConfigurationOptions,
    ACT_trt_GetAudioSourceConfigurationOptions,
    ACT_trt_GetAudioEncoderConfigurationOptions,
    ACT_trt_GetAudioOutputConfigurationOptions,
    ACT_trt_GetAudioDecoderConfigurationOptions,
    ACT_trt_GetOSDs,
    ACT_tr2_GetVideoEncoderConfigurations,
    ACT_tr2_GetVideoEncoderConfigurationOptions,
    ACT_tr2_GetProfiles,
    ACT_tr2_GetVideoSourceConfigurations,
    ACT_tr2_GetVideoSourceConfigurationOptions,
    ACT_tr2_GetMetadataConfigurations,
    ACT_tr2_GetMetadataConfigurationOptions,
    ACT_tr2_GetAudioEncoderConfigurations,
    ACT_tr2_GetAudioSourceConfigurations,
    ACT_tr2_GetAudioSourceConfigurationOptions,
    ACT_tr2_GetAudioEncoderConfigurationOptions,
    ACT_tr2_GetAudioOutputConfigurations,
    ACT_tr2_GetAudioOutputConfigurationOptions,
    ACT_tr2_GetAudioDecoderConfigurations,
    ACT_tr2_GetAudioDecoderConfigurationOptions,
    ACT_tr2_GetOSDs,
    ACT_tr2_GetAnalyticsConfigurations,
    ACT_tr2_GetMasks,
    ACT_tev_Unsubscribe,
    ACT_tev_PauseSubscription,
    ACT_tev_ResumeSubscription,
    ACT_tev_DestroyPullPoint,
    ACT_tev_GetMessages,
    ACT_tmd_GetRelayOutputOptions,
    ACT_tmd_GetDigitalInputConfigurationOptions,
    ACT_tac_GetAccessPointInfoList,
    ACT_tac_GetAccessPointList,
    ACT_tac_GetAreaInfoList,
    ACT_tac_GetAreaList,
    ACT_tdc_GetDoorInfoList,
    ACT_tdc_GetDoorList,
    ACT_tcr_GetCredentialInfoList,
    ACT_tcr_GetCredentialList,
    ACT_tar_GetAccessProfileInfoList,
    ACT_tar_GetAccessProfileList,
    ACT_tsc_GetScheduleInfoList,
    ACT_tsc_GetScheduleList,
    ACT_tsc_GetSpecialDayGroupInfoList,
    ACT_tsc_GetSpecialDayGroupList,
};

bool in_list(const int *list, size_t n, int type)
{
    for (size_t i = 0; i < n; i++)
        if (list[i] == type) return true;
    return false;
}

/* Operations of the subscription manager: WS-Addressing header towards the
 * subscription reference. */
bool is_subscription_manager_op(int type)
{
    return type == ACT_tev_Renew || type == ACT_tev_Unsubscribe ||
           type == ACT_tev_PauseSubscription || type == ACT_tev_ResumeSubscription;
}

/* Operations sent to the events service with a WS-Addressing header. */
bool is_event_service_op(int type)
{
    return type == ACT_tev_Subscribe || type == ACT_tev_CreatePullPointSubscription ||
           type == ACT_tev_DestroyPullPoint || type == ACT_tev_PullMessages ||
           type == ACT_tev_GetMessages || type == ACT_tev_Seek;
}

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
    char nonce[32];
    char nonce_b64[100];
    char digest[100];
    char pass[ONVIF_PASSWORD_LEN + 1];

    onvif_build_created(p_dev, created, sizeof(created));
    if (onvif_make_nonce(nonce, sizeof(nonce)) < 0) return -1;
    if (!base64_encode((const uint8_t *)nonce, (int)strlen(nonce), nonce_b64, sizeof(nonce_b64)))
        return -1;
    FIELD_TEXT(pass, p_dev->password);
    if (!onvif_calc_digest(nonce, created, pass, digest, sizeof(digest))) return -1;

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

/* The header chosen by operation type. */
int w_header(SOAP_WRITER *w, int type, ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    const ONVIF_ACTION *row = onvif_find_action_by_type((uint32_t)type);
    const char *action = row ? row->action : "";
    /* A pull point is served at its subscription reference: PullMessages go
     * there, with its reference parameters, once CreatePullPointSubscription
     * has given one. */
    bool to_pull_point =
        type == ACT_tev_PullMessages && p_dev->pull_point && p_dev->subscription_address[0] != '\0';
    if (is_subscription_manager_op(type) || to_pull_point) {
        char to[sizeof(p_dev->subscription_address) + 1];
        char refs[sizeof(p_dev->reference_parameters) + 1];
        FIELD_TEXT(to, p_dev->subscription_address);
        FIELD_TEXT(refs, p_dev->reference_parameters);
        return w_addressing_header(w, p_dev, to, action, refs);
    }
    if (is_event_service_op(type)) {
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

/* Dot11 configuration (inside tt:Dot11). */
void w_dot11(SOAP_WRITER *w, const ONVIF_DOT11_CONFIGURATION *d)
{
    soap_w_field(w, "tt:SSID", d->ssid, (int)sizeof(d->ssid));
    soap_w_enum(w, "tt:Mode", onvif_Dot11StationModeToString, d->mode);
    soap_w_field(w, "tt:Alias", d->alias, (int)sizeof(d->alias));
    soap_w_int(w, "tt:Priority", d->priority);
    soap_w_open(w, "tt:Security");
    soap_w_enum(w, "tt:Mode", onvif_Dot11SecurityModeToString, d->security_mode);
    if (d->security_flags & ONVIF_DOT11_SEC_ALGORITHM)
        soap_w_enum(w, "tt:Algorithm", onvif_Dot11CipherToString, d->algorithm);
    if (d->security_flags & ONVIF_DOT11_SEC_PSK) {
        soap_w_open(w, "tt:PSK");
        if (d->psk_flags & ONVIF_DOT11_PSK_KEY)
            soap_w_field(w, "tt:Key", d->psk_key, (int)sizeof(d->psk_key));
        if (d->psk_flags & ONVIF_DOT11_PSK_PASSPHRASE)
            soap_w_field(w, "tt:Passphrase", d->psk_passphrase, (int)sizeof(d->psk_passphrase));
        soap_w_close(w, "tt:PSK");
    }
    if (d->security_flags & ONVIF_DOT11_SEC_DOT1X)
        soap_w_field(w, "tt:Dot1X", d->dot1x, (int)sizeof(d->dot1x));
    soap_w_close(w, "tt:Security");
}

} // namespace

/* ---- UsernameToken ---- */

static std::atomic<unsigned> g_nonce_counter{51795};

int onvif_make_nonce(char *nonce, int len)
{
    if (!nonce || len <= 0) return -1;
    unsigned count = g_nonce_counter.fetch_add(1);
    unsigned now = (unsigned)time(nullptr) & 0xFFFFFFu;
    unsigned rnd = (unsigned)rand() & 0xFFFFFFu;
    int n = snprintf(nonce, (size_t)len, "%06x%04x%06x", now, count, rnd);
    if (n < 0 || n >= len) {
        nonce[0] = '\0';
        return -1;
    }
    return n;
}

int onvif_calc_digest(const char *nonce, const char *created, const char *password, char *digest,
                      int len)
{
    if (!digest || len <= 0) return 0;
    sha1_context ctx;
    uint8_t hash[20];
    const char *parts[3] = {nonce ? nonce : "", created ? created : "", password ? password : ""};
    sha1_starts(&ctx);
    for (const char *part : parts)
        sha1_update(&ctx, (const uint8_t *)part, (uint32_t)strlen(part));
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

int onvif_build_created(ONVIF_DEVICE *p_dev, char *buf, int len)
{
    if (!buf || len <= 0) return 0;
    if (!p_dev || p_dev->time_type != ONVIF_TIME_UTC) return local_utc_text(buf, len);

    /* The device clock plus the local seconds passed since it was read. A
     * local clock that went back counts as no time passed. */
    int64_t elapsed = (int64_t)time(nullptr) - p_dev->time_stamp;
    if (elapsed < 0) elapsed = 0;
    const ONVIF_DATETIME *dt = &p_dev->device_time;
    int64_t seconds = dt->second + elapsed;
    int64_t minutes = dt->minute + seconds / 60;
    int64_t hours = dt->hour + minutes / 60;
    if (hours < 24)
        return device_time_text(dt, (int)hours, (int)(minutes % 60), (int)(seconds % 60), buf, len);

    /* The date would roll over: read the device clock again instead, without
     * WS-Security (GetSystemDateAndTime needs none). */
    p_dev->need_auth = 0;
    p_dev->time_type = ONVIF_TIME_UNKNOWN;
    GetSystemDateAndTime(p_dev);
    if (p_dev->time_type != ONVIF_TIME_UTC) return local_utc_text(buf, len);
    dt = &p_dev->device_time;
    return device_time_text(dt, dt->hour, dt->minute, dt->second, buf, len);
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
    if (in_list(kNoChildren, sizeof(kNoChildren) / sizeof(kNoChildren[0]), type)) return 1;
    if (in_list(kOptionalChildren, sizeof(kOptionalChildren) / sizeof(kOptionalChildren[0]), type))
        return 2;
    return 0;
}

const char *onvif_body_prefix(int type)
{
    switch (type) {
    case ACT_tev_Renew:
    case ACT_tev_Unsubscribe:
    case ACT_tev_Subscribe:
    case ACT_tev_PauseSubscription:
    case ACT_tev_ResumeSubscription:
    case ACT_tev_DestroyPullPoint:
    case ACT_tev_GetMessages:
        return "wsnt"; /* WS-BaseNotification elements */
    case ACT_tmd_GetRelayOutputs:
    case ACT_tmd_SetRelayOutputState:
        return "tds"; /* device IO reuses these */
    default:
        break;
    }
    int svc = onvif_act_service(type);
    if (svc < 0 || svc >= ONVIF_SVC_COUNT) return nullptr;
    return kSvcXmlPrefix[svc];
}

int build_GetCapabilities_xml(char *p_buf, int mlen, const ONVIF_GET_CAPABILITIES_REQ *p_req)
{
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tds:GetCapabilities");
    soap_w_enum(&w, "tds:Category", onvif_CapabilityCategoryToString, p_req ? p_req->category : 0);
    soap_w_close(&w, "tds:GetCapabilities");
    return soap_w_result(&w);
}

int build_GetServices_xml(char *p_buf, int mlen, const ONVIF_GET_SERVICES_REQ *p_req)
{
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tds:GetServices");
    soap_w_bool(&w, "tds:IncludeCapability", p_req ? p_req->include_capability : 0);
    soap_w_close(&w, "tds:GetServices");
    return soap_w_result(&w);
}

int build_SetNetworkInterfaces_xml(char *p_buf, int mlen, const ONVIF_NETWORK_INTERFACE *p_req)
{
    if (!p_req) return -1;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tds:SetNetworkInterfaces");
    soap_w_field(&w, "tds:InterfaceToken", p_req->token, (int)sizeof(p_req->token));
    soap_w_open(&w, "tds:NetworkInterface");
    soap_w_bool(&w, "tt:Enabled", p_req->enabled);
    if ((p_req->flags & ONVIF_NETIF_FLAG_INFO) && (p_req->info_flags & ONVIF_NETIF_INFO_MTU))
        soap_w_int(&w, "tt:MTU", p_req->mtu);
    if (p_req->flags & ONVIF_NETIF_FLAG_IPV4) {
        soap_w_open(&w, "tt:IPv4");
        soap_w_bool(&w, "tt:Enabled", p_req->ipv4_enabled);
        if (!p_req->dhcp) {
            soap_w_open(&w, "tt:Manual");
            soap_w_field(&w, "tt:Address", p_req->ipv4_address, (int)sizeof(p_req->ipv4_address));
            soap_w_int(&w, "tt:PrefixLength", p_req->prefix_length);
            soap_w_close(&w, "tt:Manual");
        }
        soap_w_bool(&w, "tt:DHCP", p_req->dhcp);
        soap_w_close(&w, "tt:IPv4");
    }
    if (p_req->flags & ONVIF_NETIF_FLAG_EXTENSION) {
        /* The set form of the extension has no InterfaceType (that is read-only
         * information of GetNetworkInterfaces): only the Dot11 entries. */
        soap_w_open(&w, "tt:Extension");
        int count = p_req->dot11_count;
        if (count > ONVIF_NETIF_MAX_DOT11) count = ONVIF_NETIF_MAX_DOT11;
        for (int i = 0; i < count; i++) {
            soap_w_open(&w, "tt:Dot11");
            w_dot11(&w, &p_req->dot11[i]);
            soap_w_close(&w, "tt:Dot11");
        }
        soap_w_close(&w, "tt:Extension");
    }
    soap_w_close(&w, "tds:NetworkInterface");
    soap_w_close(&w, "tds:SetNetworkInterfaces");
    return soap_w_result(&w);
}

int build_SetDNS_xml(char *p_buf, int mlen, const ONVIF_DNS *p_req)
{
    if (!p_req) return -1;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tds:SetDNS");
    soap_w_bool(&w, "tds:FromDHCP", p_req->from_dhcp);
    if (p_req->flags & ONVIF_DNS_FLAG_SEARCH_DOMAIN)
        soap_w_text_array(&w, "tds:SearchDomain", p_req->search_domain[0], 4,
                          (int)sizeof(p_req->search_domain[0]));
    if (!p_req->from_dhcp) {
        for (int i = 0; i < 2; i++) {
            if (!p_req->dns_manual[i][0]) continue;
            soap_w_puts(&w, "<tds:DNSManual><tt:Type>IPv4</tt:Type>");
            soap_w_field(&w, "tt:IPv4Address", p_req->dns_manual[i],
                         (int)sizeof(p_req->dns_manual[i]));
            soap_w_close(&w, "tds:DNSManual");
        }
    }
    soap_w_close(&w, "tds:SetDNS");
    return soap_w_result(&w);
}

int build_SetNetworkDefaultGateway_xml(char *p_buf, int mlen, const ONVIF_NETWORK_GATEWAY *p_req)
{
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tds:SetNetworkDefaultGateway");
    if (p_req)
        soap_w_text_array(&w, "tds:IPv4Address", p_req->ipv4_address[0], 2,
                          (int)sizeof(p_req->ipv4_address[0]));
    soap_w_close(&w, "tds:SetNetworkDefaultGateway");
    return soap_w_result(&w);
}

int build_SetSystemDateAndTime_xml(char *p_buf, int mlen,
                                   const ONVIF_SET_SYSTEM_DATETIME_REQ *p_req)
{
    if (!p_req) return -1;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tds:SetSystemDateAndTime");
    soap_w_enum(&w, "tds:DateTimeType", onvif_SetDateTimeTypeToString, p_req->date_time_type);
    soap_w_bool(&w, "tds:DaylightSavings", p_req->daylight_savings);
    if (p_req->flags & ONVIF_SETDT_FLAG_TZ) {
        soap_w_open(&w, "tds:TimeZone");
        soap_w_field(&w, "tt:TZ", p_req->tz, (int)sizeof(p_req->tz));
        soap_w_close(&w, "tds:TimeZone");
    }
    if (p_req->flags & ONVIF_SETDT_FLAG_UTC) {
        const ONVIF_DATETIME *dt = &p_req->utc;
        soap_w_open(&w, "tds:UTCDateTime");
        soap_w_printf(&w,
                      "<tt:Time><tt:Hour>%d</tt:Hour><tt:Minute>%d</tt:Minute>"
                      "<tt:Second>%d</tt:Second></tt:Time>",
                      (int)dt->hour, (int)dt->minute, (int)dt->second);
        soap_w_printf(&w,
                      "<tt:Date><tt:Year>%d</tt:Year><tt:Month>%d</tt:Month>"
                      "<tt:Day>%d</tt:Day></tt:Date>",
                      (int)dt->year, (int)dt->month, (int)dt->day);
        soap_w_close(&w, "tds:UTCDateTime");
    }
    soap_w_close(&w, "tds:SetSystemDateAndTime");
    return soap_w_result(&w);
}

/* ---- events service ---- */

namespace
{

const char kTopicDialect[] = "http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet";
const char kContentDialect[] = "http://www.onvif.org/ver10/tev/messageContentFilter/ItemFilter";
const char kTopicsNs[] = "http://www.onvif.org/ver10/topics";

/* A filter expression element with its Dialect attribute (the default one
 * when the record leaves it empty); topic QNames use tns1, declared here. */
void w_filter_expression(SOAP_WRITER *w, const char *name, const char *dialect, int dialect_size,
                         const char *def_dialect, const char *expr, int expr_size)
{
    char d[257];
    char e[257];
    field_text(d, dialect, (size_t)dialect_size);
    field_text(e, expr, (size_t)expr_size);
    soap_w_printf(w, "<%s xmlns:tns1=\"%s\" Dialect=\"", name, kTopicsNs);
    soap_w_escaped(w, d[0] ? d : def_dialect);
    soap_w_puts(w, "\">");
    soap_w_escaped(w, e);
    soap_w_close(w, name);
}

/* Filter element (wsnt:Filter or tev:Filter) when the record asks for one. */
void w_event_filter(SOAP_WRITER *w, const char *filter, const ONVIF_SUBSCRIBE_REQ *p_req)
{
    if (!(p_req->flags & (ONVIF_SUBSCRIBE_FLAG_TOPIC | ONVIF_SUBSCRIBE_FLAG_CONTENT))) return;
    soap_w_open(w, filter);
    if (p_req->flags & ONVIF_SUBSCRIBE_FLAG_TOPIC)
        w_filter_expression(w, "wsnt:TopicExpression", p_req->topic_dialect,
                            (int)sizeof(p_req->topic_dialect), kTopicDialect,
                            p_req->topic_expression, (int)sizeof(p_req->topic_expression));
    if (p_req->flags & ONVIF_SUBSCRIBE_FLAG_CONTENT)
        w_filter_expression(w, "wsnt:MessageContent", p_req->content_dialect,
                            (int)sizeof(p_req->content_dialect), kContentDialect,
                            p_req->message_content, (int)sizeof(p_req->message_content));
    soap_w_close(w, filter);
}

} // namespace

int build_Subscribe_xml(char *p_buf, int mlen, const ONVIF_SUBSCRIBE_REQ *p_req)
{
    if (!p_req || !p_req->consumer_address[0]) return -1;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "wsnt:Subscribe");
    soap_w_open(&w, "wsnt:ConsumerReference");
    soap_w_field(&w, "wsa:Address", p_req->consumer_address, (int)sizeof(p_req->consumer_address));
    soap_w_close(&w, "wsnt:ConsumerReference");
    w_event_filter(&w, "wsnt:Filter", p_req);
    if (p_req->flags & ONVIF_SUBSCRIBE_FLAG_TERMINATION)
        soap_w_duration(&w, "wsnt:InitialTerminationTime", p_req->termination_time);
    soap_w_close(&w, "wsnt:Subscribe");
    return soap_w_result(&w);
}

int build_CreatePullPointSubscription_xml(char *p_buf, int mlen, const ONVIF_SUBSCRIBE_REQ *p_req)
{
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    if (!p_req) {
        soap_w_empty(&w, "tev:CreatePullPointSubscription");
        return soap_w_result(&w);
    }
    soap_w_open(&w, "tev:CreatePullPointSubscription");
    w_event_filter(&w, "tev:Filter", p_req);
    if (p_req->flags & ONVIF_SUBSCRIBE_FLAG_TERMINATION)
        soap_w_duration(&w, "tev:InitialTerminationTime", p_req->termination_time);
    soap_w_close(&w, "tev:CreatePullPointSubscription");
    return soap_w_result(&w);
}

int build_Renew_xml(char *p_buf, int mlen, const ONVIF_RENEW_REQ *p_req)
{
    if (!p_req) return -1;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "wsnt:Renew");
    soap_w_duration(&w, "wsnt:TerminationTime", p_req->termination_time);
    soap_w_close(&w, "wsnt:Renew");
    return soap_w_result(&w);
}

int build_PullMessages_xml(char *p_buf, int mlen, const ONVIF_PULL_MESSAGES_REQ *p_req)
{
    if (!p_req) return -1;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_open(&w, "tev:PullMessages");
    soap_w_duration(&w, "tev:Timeout", p_req->timeout);
    soap_w_int(&w, "tev:MessageLimit", p_req->message_limit);
    soap_w_close(&w, "tev:PullMessages");
    return soap_w_result(&w);
}

int onvif_build_body(char *p_buf, int mlen, int type, const void *p_req)
{
    switch (type) {
    case ACT_tds_GetCapabilities:
        return build_GetCapabilities_xml(p_buf, mlen,
                                         static_cast<const ONVIF_GET_CAPABILITIES_REQ *>(p_req));
    case ACT_tds_GetServices:
        return build_GetServices_xml(p_buf, mlen,
                                     static_cast<const ONVIF_GET_SERVICES_REQ *>(p_req));
    case ACT_tds_SetNetworkInterfaces:
        if (!p_req) return -2;
        return build_SetNetworkInterfaces_xml(p_buf, mlen,
                                              static_cast<const ONVIF_NETWORK_INTERFACE *>(p_req));
    case ACT_tds_SetDNS:
        if (!p_req) return -2;
        return build_SetDNS_xml(p_buf, mlen, static_cast<const ONVIF_DNS *>(p_req));
    case ACT_tds_SetNetworkDefaultGateway:
        return build_SetNetworkDefaultGateway_xml(
            p_buf, mlen, static_cast<const ONVIF_NETWORK_GATEWAY *>(p_req));
    case ACT_tds_SetSystemDateAndTime:
        if (!p_req) return -2;
        return build_SetSystemDateAndTime_xml(
            p_buf, mlen, static_cast<const ONVIF_SET_SYSTEM_DATETIME_REQ *>(p_req));
    case ACT_tev_Subscribe:
        if (!p_req) return -2;
        return build_Subscribe_xml(p_buf, mlen, static_cast<const ONVIF_SUBSCRIBE_REQ *>(p_req));
    case ACT_tev_CreatePullPointSubscription:
        return build_CreatePullPointSubscription_xml(
            p_buf, mlen, static_cast<const ONVIF_SUBSCRIBE_REQ *>(p_req));
    case ACT_tev_Renew:
        if (!p_req) return -2;
        return build_Renew_xml(p_buf, mlen, static_cast<const ONVIF_RENEW_REQ *>(p_req));
    case ACT_tev_PullMessages:
        if (!p_req) return -2;
        return build_PullMessages_xml(p_buf, mlen,
                                      static_cast<const ONVIF_PULL_MESSAGES_REQ *>(p_req));
    default:
        break;
    }

    /* Operations without input: "<prefix:Name />". */
    int kind = onvif_body_without_input(type);
    const char *prefix = onvif_body_prefix(type);
    const char *name = onvif_act_name(type);
    if (!prefix || !name || kind == 0 || (kind == 2 && p_req)) return -2;
    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_printf(&w, "<%s:%s />", prefix, name);
    return soap_w_result(&w);
}

/* ---- envelope ---- */

int onvif_build_request(char *p_buf, int mlen, int type, ONVIF_DEVICE *p_dev, const void *p_req)
{
    if (!p_buf || mlen <= 0) return -1;
    p_buf[0] = '\0';
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) {
        log_print(LOG_ERROR, "%s, no body builder for type %d\r\n", "onvif_build_request", type);
        return -1;
    }

    SOAP_WRITER w;
    soap_w_init(&w, p_buf, mlen);
    soap_w_puts(&w, kXmlDecl);
    soap_w_puts(&w, kEnvelopeStart);
    w_header(&w, type, p_dev);
    soap_w_puts(&w, "<s:Body>");
    if (!w.overflow) {
        int n = onvif_build_body(w.buf + w.len, w.size - w.len, type, p_req);
        if (n == -2) {
            log_print(LOG_ERROR, "%s, no body builder for type %d\r\n", "onvif_build_request",
                      type);
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
