/*
 * Device-level calls of the PTZ and imaging services: they read what the
 * device has and keep it in the device record. 1 on success, 0 on failure
 * (the reason is in last_error, auth_failed and fault; last_error 0 when the
 * call stopped before sending anything because the device lacks the
 * service).
 */
#ifndef ONVIF_CALLS_PTZ_H
#define ONVIF_CALLS_PTZ_H

#include "onvif/onvif_device.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* PTZ nodes and PTZ configurations, only when the device reported a PTZ
 * service: the list is read whole and then replaces ptz_nodes /
 * ptz_configs (on failure the kept list stays as it was). */
ONVIF_CLIENT_API int GetNodes(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetConfigurations(ONVIF_DEVICE *p_dev);

/* Imaging settings of every video source in video_sources (filled by
 * GetVideoSources), only when the device reported an imaging service. Each
 * source's settings go into its node: VideoSource.extension.imaging, the
 * place tt:VideoSource has for them, with the presence bits of extension
 * and extension.imaging set. A source the device refuses keeps what it had;
 * the others are still asked. 1 when every source answered (also when there
 * is none); else 0 with the reason of the first refusal. */
ONVIF_CLIENT_API int GetImagingSettings(ONVIF_DEVICE *p_dev);

#ifdef __cplusplus
}
#endif

#endif
