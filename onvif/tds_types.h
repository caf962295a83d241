/*
 * Records of the device-service operations: what the request builders read
 * and what the response parsers fill for the device-management calls
 * (device information, clock, capabilities and services requests, network
 * interfaces, gateway, DNS, host name), plus the broken-down date and time
 * they share.
 *
 * Every record is plain data with fixed-size character arrays, zero-filled
 * by its creator; optional members are announced by bits of a leading flag
 * word; texts longer than their field are cut.
 */
#ifndef ONVIF_TDS_TYPES_H
#define ONVIF_TDS_TYPES_H

#include <stdint.h>

#include "discovery/xaddr.h" /* ONVIF_SCOPE */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- date and time ---------------------------------------------------- */

/* Broken-down date and time, in this field order. */
typedef struct {
    int32_t hour;   /* 0..23 */
    int32_t minute; /* 0..59 */
    int32_t second; /* 0..59 (60 for a leap second) */
    int32_t year;   /* four digits */
    int32_t month;  /* 1..12 */
    int32_t day;    /* 1..31 */
} ONVIF_DATETIME;

/* ---- GetDeviceInformation ---------------------------------------------- */

#define ONVIF_DEVINFO_LEN 64

typedef struct {
    char manufacturer[ONVIF_DEVINFO_LEN];
    char model[ONVIF_DEVINFO_LEN];
    char firmware_version[ONVIF_DEVINFO_LEN];
    char serial_number[ONVIF_DEVINFO_LEN];
    char hardware_id[ONVIF_DEVINFO_LEN];
} ONVIF_DEVICE_INFORMATION;

/* ---- GetSystemDateAndTime ---------------------------------------------- */

#define ONVIF_SYSDT_FLAG_UTC (1u << 0)   /* utc was read */
#define ONVIF_SYSDT_FLAG_LOCAL (1u << 1) /* local was read */
#define ONVIF_SYSDT_TZ_PRESENT (1u << 0) /* tz_flags: TimeZone element present */
#define ONVIF_TZ_LEN 128

typedef struct {
    uint32_t flags;           /* ONVIF_SYSDT_FLAG_* */
    uint32_t tz_flags;        /* ONVIF_SYSDT_TZ_PRESENT */
    int32_t daylight_savings; /* DaylightSavings is "true" */
    int32_t date_time_type;   /* SetDateTimeType enumeration value */
    char tz[ONVIF_TZ_LEN];    /* TimeZone/TZ text */
    ONVIF_DATETIME utc;       /* UTCDateTime */
    ONVIF_DATETIME local;     /* LocalDateTime */
} ONVIF_SYSTEM_DATETIME;

/* ---- SetSystemDateAndTime ---------------------------------------------- */

#define ONVIF_SETDT_FLAG_TZ (1u << 0)  /* write TimeZone/TZ from tz */
#define ONVIF_SETDT_FLAG_UTC (1u << 1) /* write UTCDateTime from utc */

typedef struct {
    uint32_t flags;           /* ONVIF_SETDT_FLAG_* */
    int32_t date_time_type;   /* SetDateTimeType enumeration value (0 Manual, 1 NTP) */
    int32_t daylight_savings; /* written as "true"/"false" */
    char tz[ONVIF_TZ_LEN];    /* POSIX time-zone text */
    ONVIF_DATETIME utc;       /* the UTC date and time to set */
} ONVIF_SET_SYSTEM_DATETIME_REQ;

/* ---- GetCapabilities / GetServices requests ------------------------------ */

/* category: 0 All, 1 Analytics, 2 Device, 3 Events, 4 Imaging, 5 Media,
 * 6 PTZ; any other value is sent as "All". */
typedef struct {
    int32_t category;
} ONVIF_GET_CAPABILITIES_REQ;

typedef struct {
    int32_t include_capability; /* 1: ask for each service's capabilities */
} ONVIF_GET_SERVICES_REQ;

/* ---- network interfaces ------------------------------------------------- */

#define ONVIF_DOT11_SEC_ALGORITHM (1u << 0)  /* security_flags: algorithm present */
#define ONVIF_DOT11_SEC_PSK (1u << 1)        /* security_flags: PSK present */
#define ONVIF_DOT11_SEC_DOT1X (1u << 2)      /* security_flags: Dot1X present */
#define ONVIF_DOT11_PSK_KEY (1u << 0)        /* psk_flags: key present */
#define ONVIF_DOT11_PSK_PASSPHRASE (1u << 1) /* psk_flags: passphrase present */

/* One wireless configuration of an interface. */
typedef struct {
    char ssid[32];
    int32_t mode; /* Dot11StationMode enumeration value */
    char alias[32];
    int32_t priority;
    uint32_t security_flags; /* ONVIF_DOT11_SEC_* */
    int32_t security_mode;   /* Dot11SecurityMode enumeration value */
    int32_t algorithm;       /* Dot11Cipher enumeration value */
    uint32_t psk_flags;      /* ONVIF_DOT11_PSK_* */
    char psk_key[256];
    char psk_passphrase[128];
    char dot1x[100];
} ONVIF_DOT11_CONFIGURATION;

#define ONVIF_NETIF_FLAG_INFO (1u << 0)      /* flags: Info present */
#define ONVIF_NETIF_FLAG_IPV4 (1u << 1)      /* flags: IPv4 present */
#define ONVIF_NETIF_FLAG_EXTENSION (1u << 2) /* flags: Extension present */
#define ONVIF_NETIF_INFO_NAME (1u << 0)      /* info_flags: name present */
#define ONVIF_NETIF_INFO_MTU (1u << 1)       /* info_flags: MTU present */
#define ONVIF_NETIF_MAX_DOT11 4

/* Request of SetNetworkInterfaces; node body of the GetNetworkInterfaces list. */
typedef struct {
    uint32_t flags; /* ONVIF_NETIF_FLAG_* */
    char token[100];
    int32_t enabled;
    uint32_t info_flags; /* ONVIF_NETIF_INFO_* */
    char name[100];
    char hw_address[32];
    int32_t mtu;
    int32_t ipv4_enabled;
    char ipv4_address[32]; /* manual address, or the DHCP one when read */
    int32_t prefix_length;
    int32_t dhcp;
    int32_t interface_type; /* IANA interface type number */
    int32_t dot11_count;    /* used entries of dot11, 0..4 */
    ONVIF_DOT11_CONFIGURATION dot11[ONVIF_NETIF_MAX_DOT11];
} ONVIF_NETWORK_INTERFACE;

/* List node of the GetNetworkInterfaces result. */
typedef struct NetworkInterfaceList {
    struct NetworkInterfaceList *next;
    ONVIF_NETWORK_INTERFACE NetworkInterface;
} NetworkInterfaceList;

/* Node of the GetScopes result. */
typedef struct ScopeList {
    struct ScopeList *next;
    ONVIF_SCOPE Scope;
} ScopeList;

/* Result of SetNetworkInterfaces (and SetHostnameFromDHCP). */
typedef struct {
    int32_t reboot_needed;
} ONVIF_SET_NETWORK_INTERFACES_RES;

/* ---- gateway, DNS, host name -------------------------------------------- */

/* Request of SetNetworkDefaultGateway, result of GetNetworkDefaultGateway;
 * an empty entry is skipped. */
typedef struct {
    char ipv4_address[2][32];
} ONVIF_NETWORK_GATEWAY;

#define ONVIF_DNS_FLAG_SEARCH_DOMAIN (1u << 0) /* flags: search domains present */

/* Request of SetDNS, result of GetDNS. */
typedef struct {
    uint32_t flags; /* ONVIF_DNS_FLAG_* */
    int32_t from_dhcp;
    char search_domain[4][64];
    char dns_manual[2][32]; /* dotted IPv4 addresses of DNS servers */
} ONVIF_DNS;

#define ONVIF_HOSTNAME_FLAG_NAME (1u << 0) /* flags: Name present */

/* Result of GetHostname. */
typedef struct {
    uint32_t flags; /* ONVIF_HOSTNAME_FLAG_* */
    int32_t from_dhcp;
    char name[100];
} ONVIF_HOSTNAME;

#ifdef __cplusplus
}
#endif

#endif
