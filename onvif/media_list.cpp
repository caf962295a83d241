// The media list helpers that are not plain rows of onvif_lists.def.

#include "onvif/media_list.h"

#include <cstddef>
#include <cstring>

#include "onvif/gen/onvif_desc.h"
#include "onvif/soap_desc.h"

// The device's nodes are released through the records' descriptors, which
// place a record right after the next pointer, at its alignment.
template <class Node, class Rec> constexpr bool record_follows_next(size_t offset)
{
    return offset == (sizeof(Node *) + alignof(Rec) - 1) / alignof(Rec) * alignof(Rec);
}
static_assert(record_follows_next<ProfileList, ONVIF_PROFILE>(offsetof(ProfileList, Profile)),
              "ProfileList: the record follows next");
static_assert(record_follows_next<MediaProfileList, ONVIF_MEDIA_PROFILE>(offsetof(MediaProfileList,
                                                                                  MediaProfile)),
              "MediaProfileList: the record follows next");

extern "C" {

void onvif_free_profile(ONVIF_PROFILE *p_profile)
{
    if (p_profile) soap_desc_free(&SD_ONVIF_PROFILE, p_profile);
}

void onvif_free_VideoAnalyticsConfiguration(ONVIF_VIDEO_ANALYTICS_CONFIGURATION *p_cfg)
{
    if (p_cfg) soap_desc_free(&SD_ONVIF_VIDEO_ANALYTICS_CONFIGURATION, p_cfg);
}

VideoSourceList *onvif_get_cur_VideoSource(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return nullptr;
    ProfileList *profile = p_dev->cur_profile ? p_dev->cur_profile : p_dev->profiles;
    if (!profile || !(profile->Profile.flags & ONVIF_PROFILE_HAS_VIDEO_SOURCE_CONFIGURATION))
        return nullptr;
    const char *source = profile->Profile.video_source_configuration.source_token;
    if (!source[0]) return nullptr;
    int n = 0;
    for (VideoSourceList *v = p_dev->video_sources; v && n < 16 * SOAP_LIST_MAX; v = v->next, n++)
        if (strncmp(v->VideoSource.token, source, sizeof(v->VideoSource.token)) == 0) return v;
    return nullptr;
}

} // extern "C"
