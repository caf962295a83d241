/*
 * Device-level calls of the media and media 2 services: each reads into a
 * fresh list and, on success only, releases the device's old list and keeps
 * the new one in its head (a failed call leaves the device's lists as they
 * were). 1 on success, 0 on failure (the reason is in the device record:
 * last_error, auth_failed, fault).
 */
#ifndef ONVIF_CALLS_MEDIA_H
#define ONVIF_CALLS_MEDIA_H

#include <stdint.h>

#include "onvif/media_list.h"
#include "onvif/onvif_device.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Media: video_sources, audio_sources, profiles, video_source_configs,
 * audio_source_configs, video_encoder_configs, audio_encoder_configs.
 * GetProfiles keeps cur_profile on the profile with the same token, or
 * clears it when that profile is gone. */
ONVIF_CLIENT_API int GetVideoSources(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetAudioSources(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetProfiles(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetVideoSourceConfigurations(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetAudioSourceConfigurations(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetVideoEncoderConfigurations(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetAudioEncoderConfigurations(ONVIF_DEVICE *p_dev);

/* Media 2: media2_profiles with every configuration they hold (type "All"),
 * and the source configurations into video_source_configs and
 * audio_source_configs. */
ONVIF_CLIENT_API int tr2_GetProfiles(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int tr2_GetVideoSourceConfigurations(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int tr2_GetAudioSourceConfigurations(ONVIF_DEVICE *p_dev);

/* The stream URI of every profile of profiles (media: RTP unicast over
 * protocol, a TransportProtocol value: 0 UDP, 1 TCP, 2 RTSP, 3 HTTP) or of
 * media2_profiles (media 2: protocol "RtspUnicast", "RtspMulticast", "RTSP",
 * "RtspOverHttp"; null or empty is "RtspUnicast"), kept in each node's
 * stream_uri. A profile whose URI could not be read gets an empty one and
 * the call answers 0 after trying the others; 1 also when there are no
 * profiles. */
ONVIF_CLIENT_API int GetStreamUris(ONVIF_DEVICE *p_dev, int protocol);
ONVIF_CLIENT_API int tr2_GetStreamUris(ONVIF_DEVICE *p_dev, const char *protocol);

/* A snapshot of a profile: its snapshot URI (media, or media 2 when the
 * device has no media service), downloaded with the device's credentials
 * (HTTP Digest or Basic) within 60 s. 1 with *p_buf a heap block of *p_len
 * bytes that the caller releases with FreeBuff; 0 with *p_buf null. */
ONVIF_CLIENT_API int GetSnapshot(ONVIF_DEVICE *p_dev, const char *profile_token, uint8_t **p_buf,
                                 int *p_len);

#ifdef __cplusplus
}
#endif

#endif
