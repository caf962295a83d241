/*
 * Per-service capabilities and service addresses of one device, and the
 * parsers that fill them from the GetCapabilities and GetServices replies.
 *
 * ONVIF_CAPABILITIES holds one sub-record per service. Each sub-record starts
 * with a 32-bit flag word; for every service but the device that word also
 * carries the service-present bit (ONVIF_CAP_<SERVICE>_PRESENT), set when the
 * service's XAddr was found. Counts, short texts, version_major/version_minor
 * (from GetServices) follow, and the sub-record ends with the service's
 * ONVIF_XADDR. Both replies update the block in place: what one reply does
 * not mention is left as it was.
 */
#ifndef ONVIF_ONVIF_CAPS_H
#define ONVIF_ONVIF_CAPS_H

#include <stdint.h>

#include "discovery/xaddr.h"
#include "platform/onvif_api.h"
#include "xml/xml_node.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_CAP_TEXT_LEN 256

/* ---- device ------------------------------------------------------------- */

/* flags of ONVIF_CAP_DEVICE */
#define ONVIF_CAP_DEV_IPFILTER (1u << 0)
#define ONVIF_CAP_DEV_ZERO_CONFIGURATION (1u << 1)
#define ONVIF_CAP_DEV_IPVERSION6 (1u << 2)
#define ONVIF_CAP_DEV_DYNDNS (1u << 3)
#define ONVIF_CAP_DEV_DOT11_CONFIGURATION (1u << 4)
#define ONVIF_CAP_DEV_HOSTNAME_FROM_DHCP (1u << 5)
#define ONVIF_CAP_DEV_DHCPV6 (1u << 6)
#define ONVIF_CAP_DEV_DISCOVERY_RESOLVE (1u << 7)
#define ONVIF_CAP_DEV_DISCOVERY_BYE (1u << 8)
#define ONVIF_CAP_DEV_REMOTE_DISCOVERY (1u << 9)
#define ONVIF_CAP_DEV_SYSTEM_BACKUP (1u << 10)
#define ONVIF_CAP_DEV_SYSTEM_LOGGING (1u << 11)
#define ONVIF_CAP_DEV_FIRMWARE_UPGRADE (1u << 12)
#define ONVIF_CAP_DEV_HTTP_FIRMWARE_UPGRADE (1u << 13)
#define ONVIF_CAP_DEV_HTTP_SYSTEM_BACKUP (1u << 14)
#define ONVIF_CAP_DEV_HTTP_SYSTEM_LOGGING (1u << 15)
#define ONVIF_CAP_DEV_HTTP_SUPPORT_INFORMATION (1u << 16)
#define ONVIF_CAP_DEV_STORAGE_CONFIGURATION (1u << 17)
#define ONVIF_CAP_DEV_TLS1_0 (1u << 18)
#define ONVIF_CAP_DEV_TLS1_1 (1u << 19)
#define ONVIF_CAP_DEV_TLS1_2 (1u << 20)
#define ONVIF_CAP_DEV_ONBOARD_KEY_GENERATION (1u << 21)
#define ONVIF_CAP_DEV_ACCESS_POLICY_CONFIG (1u << 22)
#define ONVIF_CAP_DEV_DEFAULT_ACCESS_POLICY (1u << 23)
#define ONVIF_CAP_DEV_DOT1X (1u << 24)
#define ONVIF_CAP_DEV_REMOTE_USER_HANDLING (1u << 25)
#define ONVIF_CAP_DEV_X509_TOKEN (1u << 26)
#define ONVIF_CAP_DEV_SAML_TOKEN (1u << 27)
#define ONVIF_CAP_DEV_KERBEROS_TOKEN (1u << 28)
#define ONVIF_CAP_DEV_USERNAME_TOKEN (1u << 29)
#define ONVIF_CAP_DEV_HTTP_DIGEST (1u << 30)
#define ONVIF_CAP_DEV_REL_TOKEN (1u << 31)
/* io_flags of ONVIF_CAP_DEVICE */
#define ONVIF_CAP_DEV_IO_AUXILIARY (1u << 0)

typedef struct {
    uint32_t flags;    /* ONVIF_CAP_DEV_* (no service-present bit) */
    uint32_t io_flags; /* ONVIF_CAP_DEV_IO_* */
    int32_t input_connectors;
    int32_t relay_outputs;
    int32_t dot1x_configurations;
    int32_t max_ntp;
    int32_t supported_eap_methods;
    int32_t max_users;
    int32_t max_username_length;
    int32_t max_password_length;
    int32_t max_storage_configurations;
    int32_t geo_location_entries;
    char auto_geo[ONVIF_CAP_TEXT_LEN];
    char storage_types_supported[ONVIF_CAP_TEXT_LEN];
    char auxiliary_commands[ONVIF_CAP_TEXT_LEN]; /* blank-separated */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr; /* stored; device operations use binfo's address */
} ONVIF_CAP_DEVICE;

/* ---- events ------------------------------------------------------------- */

#define ONVIF_CAP_EVT_WS_SUBSCRIPTION_POLICY (1u << 0)
#define ONVIF_CAP_EVT_WS_PULL_POINT (1u << 1)
#define ONVIF_CAP_EVT_WS_PAUSABLE_SUBSCRIPTION (1u << 2)
#define ONVIF_CAP_EVT_PERSISTENT_NOTIFICATION_STORAGE (1u << 3)
#define ONVIF_CAP_EVENTS_PRESENT (1u << 4)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_EVT_*, ONVIF_CAP_EVENTS_PRESENT */
    int32_t max_notification_producers;
    int32_t max_pull_points;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_EVENTS;

/* ---- media -------------------------------------------------------------- */

#define ONVIF_CAP_MED_SNAPSHOT_URI (1u << 0)
#define ONVIF_CAP_MED_ROTATION (1u << 1)
#define ONVIF_CAP_MED_VIDEO_SOURCE_MODE (1u << 2)
#define ONVIF_CAP_MED_OSD (1u << 3)
#define ONVIF_CAP_MED_TEMPORARY_OSD_TEXT (1u << 4)
#define ONVIF_CAP_MED_EXI_COMPRESSION (1u << 5)
#define ONVIF_CAP_MED_RTP_MULTICAST (1u << 6)
#define ONVIF_CAP_MED_RTP_TCP (1u << 7)
#define ONVIF_CAP_MED_RTP_RTSP_TCP (1u << 8)
#define ONVIF_CAP_MED_NON_AGGREGATE_CONTROL (1u << 9)
#define ONVIF_CAP_MED_NO_RTSP_STREAMING (1u << 10)
#define ONVIF_CAP_MEDIA_PRESENT (1u << 11)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_MED_*, ONVIF_CAP_MEDIA_PRESENT */
    int32_t maximum_number_of_profiles;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_MEDIA;

/* ---- media 2 ------------------------------------------------------------ */

/* flags: presence of the boolean fields, and the service-present bit */
#define ONVIF_CAP_MED2_HAS_SNAPSHOT_URI (1u << 0)
#define ONVIF_CAP_MED2_HAS_ROTATION (1u << 1)
#define ONVIF_CAP_MED2_HAS_VIDEO_SOURCE_MODE (1u << 2)
#define ONVIF_CAP_MED2_HAS_OSD (1u << 3)
#define ONVIF_CAP_MED2_HAS_TEMPORARY_OSD_TEXT (1u << 4)
#define ONVIF_CAP_MED2_HAS_MASK (1u << 5)
#define ONVIF_CAP_MED2_HAS_SOURCE_MASK (1u << 6)
#define ONVIF_CAP_MEDIA2_PRESENT (1u << 7)
/* profile_flags */
#define ONVIF_CAP_MED2_HAS_MAX_PROFILES (1u << 0)
#define ONVIF_CAP_MED2_HAS_CONFIGURATIONS_SUPPORTED (1u << 1)
/* streaming_flags */
#define ONVIF_CAP_MED2_HAS_RTSP_STREAMING (1u << 0)
#define ONVIF_CAP_MED2_HAS_RTP_MULTICAST (1u << 1)
#define ONVIF_CAP_MED2_HAS_RTP_RTSP_TCP (1u << 2)
#define ONVIF_CAP_MED2_HAS_NON_AGGREGATE_CONTROL (1u << 3)
#define ONVIF_CAP_MED2_HAS_RTSP_WEBSOCKET_URI (1u << 4)
#define ONVIF_CAP_MED2_HAS_AUTO_START_MULTICAST (1u << 5)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_MED2_HAS_*, ONVIF_CAP_MEDIA2_PRESENT */
    int32_t snapshot_uri;
    int32_t rotation;
    int32_t video_source_mode;
    int32_t osd;
    int32_t temporary_osd_text;
    int32_t mask;
    int32_t source_mask;
    uint32_t profile_flags; /* ProfileCapabilities presence bits */
    int32_t maximum_number_of_profiles;
    char configurations_supported[ONVIF_CAP_TEXT_LEN];
    uint32_t streaming_flags; /* StreamingCapabilities presence bits */
    int32_t rtsp_streaming;
    int32_t rtp_multicast;
    int32_t rtp_rtsp_tcp;
    int32_t non_aggregate_control;
    char rtsp_websocket_uri[ONVIF_CAP_TEXT_LEN];
    int32_t auto_start_multicast;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_MEDIA2;

/* ---- imaging ------------------------------------------------------------ */

#define ONVIF_CAP_IMG_IMAGE_STABILIZATION (1u << 0)
#define ONVIF_CAP_IMG_PRESETS (1u << 1)
#define ONVIF_CAP_IMG_ADAPTABLE_PRESET (1u << 2)
#define ONVIF_CAP_IMAGING_PRESENT (1u << 3)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_IMG_*, ONVIF_CAP_IMAGING_PRESENT */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_IMAGING;

/* ---- PTZ ---------------------------------------------------------------- */

#define ONVIF_CAP_PTZ_EFLIP (1u << 0)
#define ONVIF_CAP_PTZ_REVERSE (1u << 1)
#define ONVIF_CAP_PTZ_GET_COMPATIBLE_CONFIGURATIONS (1u << 2)
#define ONVIF_CAP_PTZ_MOVE_STATUS (1u << 3)
#define ONVIF_CAP_PTZ_STATUS_POSITION (1u << 4)
#define ONVIF_CAP_PTZ_PRESENT (1u << 5)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_PTZ_* */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_PTZ;

/* ---- analytics ---------------------------------------------------------- */

#define ONVIF_CAP_ANA_RULE_SUPPORT (1u << 0)
#define ONVIF_CAP_ANA_ANALYTICS_MODULE_SUPPORT (1u << 1)
#define ONVIF_CAP_ANA_CELL_BASED_SCENE_DESCRIPTION (1u << 2)
#define ONVIF_CAP_ANA_RULE_OPTIONS (1u << 3)
#define ONVIF_CAP_ANA_ANALYTICS_MODULE_OPTIONS (1u << 4)
#define ONVIF_CAP_ANA_SUPPORTED_METADATA (1u << 5)
#define ONVIF_CAP_ANALYTICS_PRESENT (1u << 6)

typedef struct {
    uint32_t flags;                              /* ONVIF_CAP_ANA_*, ONVIF_CAP_ANALYTICS_PRESENT */
    char image_sending_type[ONVIF_CAP_TEXT_LEN]; /* blank-separated list */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_ANALYTICS;

/* ---- recording ---------------------------------------------------------- */

#define ONVIF_CAP_REC_RECEIVER_SOURCE (1u << 0)
#define ONVIF_CAP_REC_MEDIA_PROFILE_SOURCE (1u << 1)
#define ONVIF_CAP_REC_DYNAMIC_RECORDINGS (1u << 2)
#define ONVIF_CAP_REC_DYNAMIC_TRACKS (1u << 3)
#define ONVIF_CAP_REC_METADATA_RECORDING (1u << 4)
#define ONVIF_CAP_REC_OPTIONS (1u << 5)
#define ONVIF_CAP_REC_ENC_JPEG (1u << 6)
#define ONVIF_CAP_REC_ENC_MPEG4 (1u << 7)
#define ONVIF_CAP_REC_ENC_H264 (1u << 8)
#define ONVIF_CAP_REC_ENC_G711 (1u << 9)
#define ONVIF_CAP_REC_ENC_G726 (1u << 10)
#define ONVIF_CAP_REC_ENC_AAC (1u << 11)
#define ONVIF_CAP_RECORDING_PRESENT (1u << 12)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_REC_*, ONVIF_CAP_RECORDING_PRESENT */
    int32_t max_string_length;
    int32_t max_rate;
    int32_t max_total_rate;
    int32_t max_recordings;
    int32_t max_recording_jobs;
    char supported_export_file_formats[ONVIF_CAP_TEXT_LEN];
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_RECORDING;

/* ---- search ------------------------------------------------------------- */

#define ONVIF_CAP_SRC_METADATA_SEARCH (1u << 0)
#define ONVIF_CAP_SRC_GENERAL_START_EVENTS (1u << 1)
#define ONVIF_CAP_SEARCH_PRESENT (1u << 2)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_SRC_*, ONVIF_CAP_SEARCH_PRESENT */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_SEARCH;

/* ---- replay ------------------------------------------------------------- */

#define ONVIF_CAP_RPL_REVERSE_PLAYBACK (1u << 0)
#define ONVIF_CAP_RPL_RTP_RTSP_TCP (1u << 1)
#define ONVIF_CAP_REPLAY_PRESENT (1u << 2)

typedef struct {
    uint32_t flags;                 /* ONVIF_CAP_RPL_*, ONVIF_CAP_REPLAY_PRESENT */
    char session_timeout_range[64]; /* "min max" in seconds, as received */
    char rtsp_websocket_uri[ONVIF_CAP_TEXT_LEN];
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_REPLAY;

/* ---- access control ----------------------------------------------------- */

#define ONVIF_CAP_ACCESSCONTROL_PRESENT (1u << 0)
#define ONVIF_CAP_TAC_CLIENT_SUPPLIED_TOKEN (1u << 1)
#define ONVIF_CAP_TAC_ACCESS_POINT_MANAGEMENT (1u << 2)
#define ONVIF_CAP_TAC_AREA_MANAGEMENT (1u << 3)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_ACCESSCONTROL_PRESENT, ONVIF_CAP_TAC_* */
    int32_t max_limit;
    int32_t max_access_points;
    int32_t max_areas;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_ACCESSCONTROL;

/* ---- door control ------------------------------------------------------- */

#define ONVIF_CAP_DOORCONTROL_PRESENT (1u << 0)
#define ONVIF_CAP_TDC_CLIENT_SUPPLIED_TOKEN (1u << 1)
#define ONVIF_CAP_TDC_DOOR_MANAGEMENT (1u << 2)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_DOORCONTROL_PRESENT, ONVIF_CAP_TDC_* */
    int32_t max_limit;
    int32_t max_doors;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_DOORCONTROL;

/* ---- device IO ---------------------------------------------------------- */

/* flags: presence of each count / value, and the service-present bit */
#define ONVIF_CAP_DIO_HAS_VIDEO_SOURCES (1u << 0)
#define ONVIF_CAP_DIO_HAS_VIDEO_OUTPUTS (1u << 1)
#define ONVIF_CAP_DIO_HAS_AUDIO_SOURCES (1u << 2)
#define ONVIF_CAP_DIO_HAS_AUDIO_OUTPUTS (1u << 3)
#define ONVIF_CAP_DIO_HAS_RELAY_OUTPUTS (1u << 4)
#define ONVIF_CAP_DIO_HAS_SERIAL_PORTS (1u << 5)
#define ONVIF_CAP_DIO_HAS_DIGITAL_INPUTS (1u << 6)
#define ONVIF_CAP_DIO_HAS_DIGITAL_INPUT_OPTIONS (1u << 7)
#define ONVIF_CAP_DEVICEIO_PRESENT (1u << 8)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_DIO_HAS_*, ONVIF_CAP_DEVICEIO_PRESENT */
    int32_t video_sources;
    int32_t video_outputs;
    int32_t audio_sources;
    int32_t audio_outputs;
    int32_t relay_outputs;
    int32_t serial_ports;
    int32_t digital_inputs;
    int32_t digital_input_options; /* boolean */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_DEVICEIO;

/* ---- thermal ------------------------------------------------------------ */

#define ONVIF_CAP_TTH_RADIOMETRY (1u << 0)
#define ONVIF_CAP_THERMAL_PRESENT (1u << 1)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_TTH_RADIOMETRY, ONVIF_CAP_THERMAL_PRESENT */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_THERMAL;

/* ---- credential --------------------------------------------------------- */

#define ONVIF_CAP_TCR_CREDENTIAL_VALIDITY (1u << 0)
#define ONVIF_CAP_TCR_ACCESS_PROFILE_VALIDITY (1u << 1)
#define ONVIF_CAP_TCR_VALIDITY_SUPPORTS_TIME_VALUE (1u << 2)
#define ONVIF_CAP_TCR_RESET_ANTIPASSBACK (1u << 3)
#define ONVIF_CAP_TCR_CLIENT_SUPPLIED_TOKEN (1u << 4)
#define ONVIF_CAP_TCR_HAS_SUSPENSION_DURATION (1u << 5)
#define ONVIF_CAP_CREDENTIAL_PRESENT (1u << 6)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_TCR_*, ONVIF_CAP_CREDENTIAL_PRESENT */
    int32_t max_limit;
    int32_t max_credentials;
    int32_t max_access_profiles_per_credential;
    char default_credential_suspension_duration[32];    /* xs:duration text */
    char supported_identifier_type[ONVIF_CAP_TEXT_LEN]; /* blank-separated */
    char supported_exemption_type[ONVIF_CAP_TEXT_LEN];  /* blank-separated */
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_CREDENTIAL;

/* ---- access rules ------------------------------------------------------- */

#define ONVIF_CAP_TAR_MULTIPLE_SCHEDULES (1u << 0)
#define ONVIF_CAP_TAR_CLIENT_SUPPLIED_TOKEN (1u << 1)
#define ONVIF_CAP_ACCESSRULES_PRESENT (1u << 2)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_TAR_*, ONVIF_CAP_ACCESSRULES_PRESENT */
    int32_t max_limit;
    int32_t max_access_profiles;
    int32_t max_access_policies_per_access_profile;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_ACCESSRULES;

/* ---- schedule ----------------------------------------------------------- */

#define ONVIF_CAP_TSC_EXTENDED_RECURRENCE (1u << 0)
#define ONVIF_CAP_TSC_SPECIAL_DAYS (1u << 1)
#define ONVIF_CAP_TSC_STATE_REPORTING (1u << 2)
#define ONVIF_CAP_TSC_CLIENT_SUPPLIED_TOKEN (1u << 3)
#define ONVIF_CAP_SCHEDULE_PRESENT (1u << 4)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_TSC_*, ONVIF_CAP_SCHEDULE_PRESENT */
    int32_t max_limit;
    int32_t max_schedules;
    int32_t max_time_periods_per_day;
    int32_t max_special_day_groups;
    int32_t max_days_in_special_day_group;
    int32_t max_special_days_schedules;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_SCHEDULE;

/* ---- receiver ----------------------------------------------------------- */

#define ONVIF_CAP_TRV_RTP_MULTICAST (1u << 0)
#define ONVIF_CAP_TRV_RTP_TCP (1u << 1)
#define ONVIF_CAP_TRV_RTP_RTSP_TCP (1u << 2)
#define ONVIF_CAP_RECEIVER_PRESENT (1u << 3)

typedef struct {
    uint32_t flags; /* ONVIF_CAP_TRV_*, ONVIF_CAP_RECEIVER_PRESENT */
    int32_t supported_receivers;
    int32_t maximum_rtsp_uri_length;
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_RECEIVER;

/* ---- provisioning ------------------------------------------------------- */

#define ONVIF_CAP_PROVISIONING_PRESENT (1u << 0)
#define ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT (1u << 1)
/* flags of one ONVIF_CAP_PROVISIONING_SOURCE */
#define ONVIF_CAP_TPV_HAS_PAN_MOVES (1u << 0)
#define ONVIF_CAP_TPV_HAS_TILT_MOVES (1u << 1)
#define ONVIF_CAP_TPV_HAS_ZOOM_MOVES (1u << 2)
#define ONVIF_CAP_TPV_HAS_ROLL_MOVES (1u << 3)
#define ONVIF_CAP_TPV_AUTO_LEVEL (1u << 4)
#define ONVIF_CAP_TPV_HAS_FOCUS_MOVES (1u << 5)
#define ONVIF_CAP_TPV_AUTO_FOCUS (1u << 6)
#define ONVIF_CAP_TPV_MAX_SOURCES 8

/* One Source entry: the capabilities of one video source. */
typedef struct {
    uint32_t flags;               /* ONVIF_CAP_TPV_HAS_*, AUTO_LEVEL, AUTO_FOCUS */
    char video_source_token[100]; /* at most 99 characters */
    int32_t maximum_pan_moves;
    int32_t maximum_tilt_moves;
    int32_t maximum_zoom_moves;
    int32_t maximum_roll_moves;
    int32_t maximum_focus_moves;
} ONVIF_CAP_PROVISIONING_SOURCE;

typedef struct {
    uint32_t flags;          /* ONVIF_CAP_PROVISIONING_PRESENT, ONVIF_CAP_TPV_HAS_DEFAULT_TIMEOUT */
    int32_t default_timeout; /* seconds */
    int32_t source_count;    /* used entries of sources */
    ONVIF_CAP_PROVISIONING_SOURCE sources[ONVIF_CAP_TPV_MAX_SOURCES];
    int32_t version_major;
    int32_t version_minor;
    ONVIF_XADDR xaddr;
} ONVIF_CAP_PROVISIONING;

/* ---- the whole block ---------------------------------------------------- */

typedef struct {
    ONVIF_CAP_DEVICE device;
    ONVIF_CAP_EVENTS events;
    ONVIF_CAP_MEDIA media;
    ONVIF_CAP_MEDIA2 media2;
    ONVIF_CAP_IMAGING imaging;
    ONVIF_CAP_PTZ ptz;
    ONVIF_CAP_ANALYTICS analytics;
    ONVIF_CAP_RECORDING recording;
    ONVIF_CAP_SEARCH search;
    ONVIF_CAP_REPLAY replay;
    ONVIF_CAP_ACCESSCONTROL accesscontrol;
    ONVIF_CAP_DOORCONTROL doorcontrol;
    ONVIF_CAP_DEVICEIO deviceio;
    ONVIF_CAP_THERMAL thermal;
    ONVIF_CAP_CREDENTIAL credential;
    ONVIF_CAP_ACCESSRULES accessrules;
    ONVIF_CAP_SCHEDULE schedule;
    ONVIF_CAP_RECEIVER receiver;
    ONVIF_CAP_PROVISIONING provisioning;
} ONVIF_CAPABILITIES;

/* ---- GetCapabilities reply ----------------------------------------------- */

/* p_node: the GetCapabilitiesResponse element. 0 when it has no
 * Capabilities child, else 1. */
ONVIF_CLIENT_API int parse_GetCapabilities_rly(XML_NODE *p_node, ONVIF_CAPABILITIES *p_res);

/* p_node: the Capabilities/Device element; fills the device sub-record.
 * 1, or 0 when it has no usable XAddr (then nothing is read). */
ONVIF_CLIENT_API int parse_Device_capabilities(XML_NODE *p_node, ONVIF_CAPABILITIES *p_res);

/* ---- GetServices reply -------------------------------------------------- */

/* p_node: the GetServicesResponse element. Always 1. */
ONVIF_CLIENT_API int parse_GetServices_rly(XML_NODE *p_node, ONVIF_CAPABILITIES *p_res);

/* Capability parsers of one Service: p_node is its Capabilities/Capabilities
 * element (attributes and children are read; absent ones change nothing).
 * They do not touch the service-present bit, the versions or the XAddr. */
ONVIF_CLIENT_API void parse_tds_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_DEVICE *p_cap);
ONVIF_CLIENT_API void parse_tev_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_EVENTS *p_cap);
ONVIF_CLIENT_API void parse_trt_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_MEDIA *p_cap);
ONVIF_CLIENT_API void parse_tr2_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_MEDIA2 *p_cap);
ONVIF_CLIENT_API void parse_img_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_IMAGING *p_cap);
ONVIF_CLIENT_API void parse_ptz_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_PTZ *p_cap);
ONVIF_CLIENT_API void parse_tan_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_ANALYTICS *p_cap);
ONVIF_CLIENT_API void parse_trc_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_RECORDING *p_cap);
ONVIF_CLIENT_API void parse_tse_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_SEARCH *p_cap);
ONVIF_CLIENT_API void parse_trp_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_REPLAY *p_cap);
ONVIF_CLIENT_API void parse_tac_ServiceCapabilities(XML_NODE *p_node,
                                                    ONVIF_CAP_ACCESSCONTROL *p_cap);
ONVIF_CLIENT_API void parse_tdc_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_DOORCONTROL *p_cap);
ONVIF_CLIENT_API void parse_tmd_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_DEVICEIO *p_cap);
ONVIF_CLIENT_API void parse_tth_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_THERMAL *p_cap);
ONVIF_CLIENT_API void parse_tcr_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_CREDENTIAL *p_cap);
ONVIF_CLIENT_API void parse_tar_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_ACCESSRULES *p_cap);
ONVIF_CLIENT_API void parse_tsc_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_SCHEDULE *p_cap);
ONVIF_CLIENT_API void parse_trv_ServiceCapabilities(XML_NODE *p_node, ONVIF_CAP_RECEIVER *p_cap);
ONVIF_CLIENT_API void parse_tpv_ServiceCapabilities(XML_NODE *p_node,
                                                    ONVIF_CAP_PROVISIONING *p_cap);

#ifdef __cplusplus
}
#endif

#endif
