// Device-level calls over the operation entries.

#include "onvif/onvif_calls.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "onvif/onvif_event.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "platform/sys_log.h"

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
    /* The renewal timer touches a subscribed device: take it out first. */
    if (p_dev->subscribed) Unsubscribe(p_dev);
    /* The media and PTZ lists (video_sources, audio_sources, profiles,
     * media2_profiles, the four configuration lists, ptz_nodes, ptz_configs)
     * get their node types and release functions together with the
     * operations that fill them; until then nothing fills them and their
     * heads stay null. Each new list type adds its release call here. */
    onvif_free_NotificationMessages(&p_dev->notify_messages);
    p_dev->cur_profile = nullptr;
}

void FreeBuff(uint8_t *buf)
{
    if (buf) free(buf);
}

} // extern "C"
