/*
 * The media lists the device record keeps, and the media list helpers that
 * are not plain (their add/free/find rows are in the media section of
 * onvif_lists.def).
 *
 * A profile record carries, next to the profile as the camera described it,
 * its stream URI once GetStreamUris / tr2_GetStreamUris read it
 * (ONVIF_PROFILE.stream_uri, ONVIF_MEDIA_PROFILE.stream_uri).
 */
#ifndef ONVIF_MEDIA_LIST_H
#define ONVIF_MEDIA_LIST_H

#include <stdint.h>

#include "onvif/gen/onvif_types.h"
#include "onvif/onvif_device.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What one media profile owns (its configurations' lists), released; the
 * record itself stays with its holder. Null does nothing. */
ONVIF_CLIENT_API void onvif_free_profile(ONVIF_PROFILE *p_profile);

/* What one video analytics configuration owns (its module and rule lists
 * with their parameters), released; the record stays. Null does nothing. */
ONVIF_CLIENT_API void
onvif_free_VideoAnalyticsConfiguration(ONVIF_VIDEO_ANALYTICS_CONFIGURATION *p_cfg);

/* The video source of the current profile: cur_profile, or the first of
 * profiles when none is chosen; its video source configuration's source
 * token looked up in video_sources. Null when any of these is missing. */
ONVIF_CLIENT_API VideoSourceList *onvif_get_cur_VideoSource(ONVIF_DEVICE *p_dev);

#ifdef __cplusplus
}
#endif

#endif
