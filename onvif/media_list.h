/*
 * The media lists the device record keeps, and the media list helpers that
 * are not plain (their add/free/find rows are in the media section of
 * onvif_lists.def).
 *
 * The device's profiles carry, next to the profile as the camera described
 * it, what the client learned about it since: its stream URI (GetStreamUris,
 * tr2_GetStreamUris). So the device keeps them in node types of its own,
 * ProfileList and MediaProfileList; the replies of onvif_trt_GetProfiles and
 * onvif_tr2_GetProfiles are the plain lists tt_ProfileList and
 * tr2_MediaProfileList, which GetProfiles and tr2_GetProfiles move into the
 * device's nodes.
 */
#ifndef ONVIF_MEDIA_LIST_H
#define ONVIF_MEDIA_LIST_H

#include <stdint.h>

#include "onvif/gen/onvif_types.h"
#include "onvif/onvif_device.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_STREAM_URI_LEN 512

/* A media profile of the device. stream_uri: empty until a stream URI was
 * read for it. */
typedef struct ProfileList {
    struct ProfileList *next;
    ONVIF_PROFILE Profile;
    char stream_uri[ONVIF_STREAM_URI_LEN];
} ProfileList;

/* A media 2 profile of the device, the same way. */
typedef struct MediaProfileList {
    struct MediaProfileList *next;
    ONVIF_MEDIA_PROFILE MediaProfile;
    char stream_uri[ONVIF_STREAM_URI_LEN];
} MediaProfileList;

/* What one media profile owns (its configurations' lists), released; the
 * record itself stays with its holder. Null does nothing. */
void onvif_free_profile(ONVIF_PROFILE *p_profile);

/* What one video analytics configuration owns (its module and rule lists
 * with their parameters), released; the record stays. Null does nothing. */
void onvif_free_VideoAnalyticsConfiguration(ONVIF_VIDEO_ANALYTICS_CONFIGURATION *p_cfg);

/* The video source of the current profile: cur_profile, or the first of
 * profiles when none is chosen; its video source configuration's source
 * token looked up in video_sources. Null when any of these is missing. */
VideoSourceList *onvif_get_cur_VideoSource(ONVIF_DEVICE *p_dev);

#ifdef __cplusplus
}
#endif

#endif
