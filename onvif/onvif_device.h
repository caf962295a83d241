/*
 * The device record: one camera as the ONVIF client knows it (discovery
 * record, credentials, clock, outcome of the last request, result lists,
 * event-subscription state, device information, capabilities), and the small
 * helpers that produce the texts requests need (URI un-escaping, date-time
 * conversions, time-zone text, validity checks).
 *
 * The record carries no lock: one thread uses one record at a time. It is
 * allocated zero-filled by its user, who copies the discovery record into
 * binfo; the lists it holds are freed by onvif_free_device.
 */
#ifndef ONVIF_ONVIF_DEVICE_H
#define ONVIF_ONVIF_DEVICE_H

#include <stdint.h>
#include <time.h>

#include "discovery/probe.h"
#include "discovery/xaddr.h"
#include "onvif/onvif_caps.h"
#include "onvif/tds_types.h" /* ONVIF_DATETIME, ONVIF_DEVICE_INFORMATION */
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* SOAP fault of the last transaction, empty after a success; prefixes stay
 * as received. Subcodes nest from general to specific (ter:Action, then
 * ter:ActionFailed under it): subcode is the first, inner_subcode the
 * innermost (the same as subcode when there is only one). */
typedef struct {
    char code[128];          /* Fault/Code/Value */
    char subcode[128];       /* Fault/Code/Subcode/Value */
    char reason[256];        /* Fault/Reason/Text */
    char inner_subcode[128]; /* Value of the innermost Subcode */
} ONVIF_FAULT;

/* time_type values */
#define ONVIF_TIME_UNKNOWN 0
#define ONVIF_TIME_LOCAL 1
#define ONVIF_TIME_UTC 2

#define ONVIF_USERNAME_LEN 32
#define ONVIF_PASSWORD_LEN 32

/* List node types of the result lists (defined with their list helpers). */
struct VideoSourceList;
struct AudioSourceList;
struct ProfileList;
struct MediaProfileList;
struct VideoSourceConfigurationList;
struct AudioSourceConfigurationList;
struct VideoEncoderConfigurationList;
struct AudioEncoderConfigurationList;
struct PTZNodeList;
struct PTZConfigurationList;
struct NotificationMessageList;

typedef struct {
    uint32_t local_ip;  /* local end of the last TCP connection, network order */
    DEVICE_BINFO binfo; /* discovery record; binfo.xaddr is the device service */

    int32_t time_type;          /* ONVIF_TIME_* */
    ONVIF_DATETIME device_time; /* device clock as last read */
    int64_t time_stamp;         /* local time() when device_time was stored */

    char username[ONVIF_USERNAME_LEN]; /* empty: no credentials sent */
    char password[ONVIF_PASSWORD_LEN];
    int32_t need_auth;   /* 1: requests carry the WS-Security header */
    int32_t auth_failed; /* 1: the last transaction was refused for credentials */
    int32_t last_error;  /* 0 or a negative transaction code */
    ONVIF_FAULT fault;   /* fault of the last transaction (empty after a success) */
    int32_t auth_retry;  /* WS-Security retries since the last HTTP 200 */

    struct ProfileList *cur_profile; /* chosen profile node, or null for the first */
    struct VideoSourceList *video_sources;
    struct AudioSourceList *audio_sources;
    struct ProfileList *profiles;
    struct MediaProfileList *media2_profiles;
    struct VideoSourceConfigurationList *video_source_configs;
    struct AudioSourceConfigurationList *audio_source_configs;
    struct VideoEncoderConfigurationList *video_encoder_configs;
    struct AudioEncoderConfigurationList *audio_encoder_configs;
    struct PTZNodeList *ptz_nodes;
    struct PTZConfigurationList *ptz_configs;

    int32_t subscribed;             /* a Subscribe subscription is active */
    int32_t pull_point;             /* CreatePullPointSubscription succeeded */
    char consumer_address[256];     /* where notifications are to be sent */
    char subscription_address[256]; /* SubscriptionReference address */
    char reference_parameters[512]; /* sent back in the request header */
    int32_t renew_interval;         /* seconds; below 1 means 60 */
    int64_t subscribe_time;         /* local time of the last Subscribe/Renew */
    struct NotificationMessageList *notify_messages;

    ONVIF_DEVICE_INFORMATION device_information;
    ONVIF_CAPABILITIES capabilities;

    int32_t basic_over_http; /* 1: HTTP Basic may be answered on plain HTTP (see below) */
} ONVIF_DEVICE;

/* ---- credentials -------------------------------------------------------- */

/* Copies at most 31 characters of each (null counts as empty). */
ONVIF_CLIENT_API void onvif_SetAuthInfo(ONVIF_DEVICE *p_dev, const char *user, const char *pass);

/* HTTP Basic sends the password readable to anyone on the path, so it is
 * answered only over TLS unless allowed per device (basic_over_http, 0 in a
 * zero-filled record). Over plain HTTP a device that offers nothing but Basic
 * gets no credentials: the log says so and the call fails with auth_failed 1
 * and last_error -9 (after the WS-Security attempts, which send no password).
 * Allow it for a camera that knows no Digest and no TLS. */
ONVIF_CLIENT_API void onvif_SetBasicOverHttp(ONVIF_DEVICE *p_dev, int allow);

/* ---- URIs --------------------------------------------------------------- */

/* Copies src (which may be dst) into dst and turns every "&amp;" into "&".
 * 0, or -1 when src is shorter than 8 characters or does not fit with its
 * terminator into dst_len bytes (dst is then left unchanged). */
ONVIF_CLIENT_API int onvif_parse_uri(const char *src, char *dst, int dst_len);

/* ---- time texts and conversions ------------------------------------------ */

/* strftime of t as UTC (utc 1) or local time into buf; a static 100-byte
 * buffer (cleared first) when buf is null or len is 0. Returns the buffer,
 * unchanged when t cannot be converted. */
ONVIF_CLIENT_API char *onvif_format_datetime_str(int64_t t, int utc, const char *format, char *buf,
                                                 int len);

/* "YYYY-MM-DDThh:mm:ssZ" of now (or t) plus offset seconds, UTC; the count
 * of characters written (cut to len - 1), 0 on failure. */
ONVIF_CLIENT_API int onvif_get_time_str(char *buf, int len, int offset);
ONVIF_CLIENT_API int onvif_get_time_str_s(char *buf, int len, int64_t t, int offset);

/* dt read as local time (mktime); -1 when it cannot be converted. */
ONVIF_CLIENT_API int64_t onvif_datetime_to_time_t(const ONVIF_DATETIME *dt);

/* dt filled from gmtime(t); left untouched when the conversion fails. */
ONVIF_CLIENT_API void onvif_time_t_to_datetime(int64_t t, ONVIF_DATETIME *dt);

/* UTC counterpart of mktime; -1 when a conversion fails. */
ONVIF_CLIENT_API int64_t onvif_timegm(struct tm *tm);

/* "PST%dPDT" with local hour minus UTC hour of now, in -12..12; the count
 * of characters written (cut to len - 1). */
ONVIF_CLIENT_API int onvif_get_timezone(char *buf, int len);

/* ---- the device clock ------------------------------------------------------ */

/* Stores a clock read by GetSystemDateAndTime in the device record: the UTC
 * date-time when it was read (time_type 2), else the local one (1), else
 * time_type 0; time_stamp is the local time() of the reading. */
ONVIF_CLIENT_API void onvif_store_device_clock(ONVIF_DEVICE *p_dev,
                                               const ONVIF_SYSTEM_DATETIME *dt);

/* ---- checks --------------------------------------------------------------- */

/* 1 when every character is a letter, digit, '-' or '.' (empty too). */
ONVIF_CLIENT_API int onvif_is_valid_hostname(const char *name);

/* 1 when the text holds at least one decimal digit. */
ONVIF_CLIENT_API int onvif_is_valid_timezone(const char *tz);

/* ---- local address -------------------------------------------------------- */

/* Dotted IPv4 address of the default interface, in a buffer of the sockets
 * layer; null when there is none. */
ONVIF_CLIENT_API const char *onvif_get_local_ip(void);

#ifdef __cplusplus
}
#endif

#endif
