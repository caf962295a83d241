// Device-level calls over the operation entries.

#include "onvif/onvif_calls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "discovery/xaddr.h"
#include "http/http_cln.h"
#include "onvif/desc_hand.h"
#include "onvif/gen/onvif_desc.h"
#include "onvif/onvif_event.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "onvif/onvif_trans.h"
#include "onvif/soap_desc_def.hpp"
#include "platform/sys_log.h"
#include "platform/sys_os.h"

namespace
{

// Runs call on a heap copy of the device's capabilities (the record is large)
// and takes the copy over only when the call succeeded, so a refused or
// broken answer leaves the record as it was.
template <typename F> int update_capabilities(ONVIF_DEVICE *p_dev, const char *fn, F call)
{
    ONVIF_CAPABILITIES *caps = (ONVIF_CAPABILITIES *)malloc(sizeof(ONVIF_CAPABILITIES));
    if (!caps) {
        log_print(LOG_ERROR, "%s, memory alloc fail!!!\r\n", fn);
        p_dev->last_error = -2;
        return 0;
    }
    memcpy(caps, &p_dev->capabilities, sizeof(*caps));
    int ok = call(caps);
    if (ok) memcpy(&p_dev->capabilities, caps, sizeof(*caps));
    free(caps);
    return ok;
}

// The lists a device record keeps, described once so that one release walks
// them all (with whatever their records own).
#define DEV ONVIF_DEVICE
const SOAP_FIELD kDeviceListFields[] = {
    SD_LIST(DEV, video_sources, tt, "VideoSources", ONVIF_VIDEO_SOURCE),
    SD_LIST(DEV, audio_sources, tt, "AudioSources", ONVIF_AUDIO_SOURCE),
    SD_LIST(DEV, profiles, tt, "Profiles", ONVIF_PROFILE),
    SD_LIST(DEV, media2_profiles, tt, "MediaProfiles", ONVIF_MEDIA_PROFILE),
    SD_LIST(DEV, video_source_configs, tt, "VideoSourceConfigurations",
            ONVIF_VIDEO_SOURCE_CONFIGURATION),
    SD_LIST(DEV, audio_source_configs, tt, "AudioSourceConfigurations",
            ONVIF_AUDIO_SOURCE_CONFIGURATION),
    SD_LIST(DEV, video_encoder_configs, tt, "VideoEncoderConfigurations",
            ONVIF_VIDEO_ENCODER_CONFIGURATION),
    SD_LIST(DEV, audio_encoder_configs, tt, "AudioEncoderConfigurations",
            ONVIF_AUDIO_ENCODER_CONFIGURATION),
    SD_LIST(DEV, ptz_nodes, tt, "PTZNodes", ONVIF_PTZ_NODE),
    SD_LIST(DEV, ptz_configs, tt, "PTZConfigurations", ONVIF_PTZ_CONFIGURATION),
    SD_LIST(DEV, notify_messages, wsnt, "NotificationMessage", ONVIF_NOTIFICATION_MESSAGE),
};
#undef DEV
const SOAP_TYPE kDeviceLists = {"ONVIF_DEVICE lists", sizeof(ONVIF_DEVICE), alignof(ONVIF_DEVICE),
                                kDeviceListFields,
                                sizeof(kDeviceListFields) / sizeof(kDeviceListFields[0])};

const int kTransferTimeout = 60000;
const int kMaxUploadDelay = 60;

// The device's side of a transfer: its discovered address and credentials.
void device_peer(const ONVIF_DEVICE *p_dev, HTTP_PEER *peer)
{
    memset(peer, 0, sizeof(*peer));
    peer->fallback = p_dev->binfo.xaddr;
    static_assert(sizeof(peer->user) > sizeof(p_dev->username), "room for the terminator");
    memcpy(peer->user, p_dev->username, strnlen(p_dev->username, sizeof(p_dev->username)));
    memcpy(peer->pass, p_dev->password, strnlen(p_dev->password, sizeof(p_dev->password)));
}

// A connection context for a URI a device handed out (its "&amp;" undone);
// false when the URI cannot be split.
bool transfer_context(const ONVIF_DEVICE *p_dev, const char *uri, HTTP_CLIENT_CONN *conn,
                      HTTP_PEER *peer, const char *fn)
{
    char plain[256];
    ONVIF_XADDR xaddr;
    memset(&xaddr, 0, sizeof(xaddr));
    if (onvif_parse_uri(uri, plain, sizeof(plain)) != 0 || !parse_XAddr(plain, &xaddr)) {
        log_print(LOG_ERROR, "%s, unusable transfer address\r\n", fn);
        return false;
    }
    onvif_init_xaddr_context(conn, &xaddr);
    if (p_dev->basic_over_http) conn->req_flags |= HTTP_CLN_BASIC_PLAIN;
    device_peer(p_dev, peer);
    memcpy(conn->user, peer->user, sizeof(conn->user));
    memcpy(conn->pass, peer->pass, sizeof(conn->pass));
    return true;
}

int upload_to(ONVIF_DEVICE *p_dev, const char *uri, const char *filename, const char *fn)
{
    HTTP_CLIENT_CONN conn;
    HTTP_PEER peer;
    if (!transfer_context(p_dev, uri, &conn, &peer, fn)) return 0;
    int ok = http_onvif_file_upload(&conn, kTransferTimeout, filename, &peer);
    http_cln_free(&conn);
    return ok;
}

} // namespace

extern "C" {

int GetSystemDateAndTime(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    ONVIF_SYSTEM_DATETIME dt;
    memset(&dt, 0, sizeof(dt));
    if (!onvif_tds_GetSystemDateAndTime(p_dev, nullptr, &dt)) return 0;
    onvif_store_device_clock(p_dev, &dt);
    return 1;
}

int GetDeviceInformation(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    ONVIF_DEVICE_INFORMATION info;
    memset(&info, 0, sizeof(info));
    if (!onvif_tds_GetDeviceInformation(p_dev, nullptr, &info)) return 0;
    p_dev->device_information = info;
    return 1;
}

int GetCapabilities(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    return update_capabilities(p_dev, "GetCapabilities", [p_dev](ONVIF_CAPABILITIES *caps) {
        return onvif_tds_GetCapabilities(p_dev, nullptr, caps);
    });
}

int GetServices(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    ONVIF_GET_SERVICES_REQ req;
    memset(&req, 0, sizeof(req));
    req.include_capability = 1;
    return update_capabilities(p_dev, "GetServices", [p_dev, &req](ONVIF_CAPABILITIES *caps) {
        return onvif_tds_GetServices(p_dev, &req, caps);
    });
}

int SetSystemDateAndTime(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    ONVIF_SET_SYSTEM_DATETIME_REQ req;
    memset(&req, 0, sizeof(req));
    req.flags = ONVIF_SETDT_FLAG_UTC;
    req.date_time_type = 0; // Manual
    req.daylight_savings = 0;
    onvif_time_t_to_datetime((int64_t)time(nullptr), &req.utc);
    return onvif_tds_SetSystemDateAndTime(p_dev, &req, nullptr) > 0 ? 1 : 0;
}

void onvif_free_device(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return;
    /* The renewal timer touches a subscribed device: take it out first (and
     * wait for a subscription-lost callback for it running elsewhere). */
    if (p_dev->subscribed || p_dev->pull_point)
        Unsubscribe(p_dev);
    else
        onvif_event_timer_del(p_dev);
    soap_desc_free(&kDeviceLists, p_dev);
    p_dev->cur_profile = nullptr;
}

int FirmwareUpgrade(ONVIF_DEVICE *p_dev, const char *filename)
{
    if (!p_dev || !filename) return 0;
    tds_StartFirmwareUpgrade_RES res;
    memset(&res, 0, sizeof(res));
    if (!onvif_tds_StartFirmwareUpgrade(p_dev, nullptr, &res)) return 0;
    // The device may need a moment to get ready for the upload.
    int delay = res.upload_delay;
    if (delay > kMaxUploadDelay) delay = kMaxUploadDelay;
    if (delay > 0) sys_os_sleep_ms((uint32_t)delay * 1000u);
    return upload_to(p_dev, res.upload_uri, filename, "FirmwareUpgrade");
}

int SystemRestore(ONVIF_DEVICE *p_dev, const char *filename)
{
    if (!p_dev || !filename) return 0;
    tds_StartSystemRestore_RES res;
    memset(&res, 0, sizeof(res));
    if (!onvif_tds_StartSystemRestore(p_dev, nullptr, &res)) return 0;
    return upload_to(p_dev, res.upload_uri, filename, "SystemRestore");
}

int SystemBackup(ONVIF_DEVICE *p_dev, const char *filename)
{
    if (!p_dev || !filename) return 0;
    tds_GetSystemUris_RES *uris = (tds_GetSystemUris_RES *)calloc(1, sizeof(*uris));
    if (!uris) return 0;
    int ok = 0;
    if (onvif_tds_GetSystemUris(p_dev, nullptr, uris) &&
        (uris->flags & tds_GetSystemUris_RES_HAS_SYSTEM_BACKUP_URI) && uris->system_backup_uri[0]) {
        HTTP_CLIENT_CONN conn;
        memset(&conn, 0, sizeof(conn));
        HTTP_PEER peer;
        uint8_t *data = nullptr;
        int len = 0;
        if (transfer_context(p_dev, uris->system_backup_uri, &conn, &peer, "SystemBackup") &&
            http_onvif_download(&conn, kTransferTimeout, &data, &len, &peer)) {
            FILE *f = fopen(filename, "wb");
            if (f) {
                ok = (len == 0 || fwrite(data, 1, (size_t)len, f) == (size_t)len);
                if (fclose(f) != 0) ok = 0;
            } else {
                log_print(LOG_ERROR, "%s, cannot write %s\r\n", "SystemBackup", filename);
            }
            FreeBuff(data);
        }
        http_cln_free(&conn);
    }
    onvif_free_result(ACT_tds_GetSystemUris, uris);
    free(uris);
    return ok;
}

void FreeBuff(uint8_t *buf)
{
    if (buf) free(buf);
}

ONVIF_DEVICE *onvif_new_device(void)
{
    return (ONVIF_DEVICE *)calloc(1, sizeof(ONVIF_DEVICE));
}

void onvif_delete_device(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return;
    onvif_free_device(p_dev);
    free(p_dev);
}

} // extern "C"
