// Device-level calls of the PTZ and imaging services.

#include "onvif/calls_ptz.h"

#include <cstring>

#include "onvif/gen/onvif_desc.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"

namespace
{

// Nothing is sent to a service the device did not report: the call ends as
// an unknown operation does, without network activity and with code 0.
int no_service(ONVIF_DEVICE *p_dev)
{
    p_dev->last_error = 0;
    p_dev->auth_failed = 0;
    return 0;
}

// Reads a whole list with op and, only when that worked, replaces the list
// the device keeps (releasing the old one).
template <class Node, class Op, class Free>
int replace_list(ONVIF_DEVICE *p_dev, Node **kept, Op op, Free free_list)
{
    Node *fresh = nullptr;
    if (!op(p_dev, nullptr, &fresh)) {
        free_list(&fresh);
        return 0;
    }
    free_list(kept);
    *kept = fresh;
    return 1;
}

} // namespace

extern "C" {

int GetNodes(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    if (!(p_dev->capabilities.ptz.flags & ONVIF_CAP_PTZ_PRESENT)) return no_service(p_dev);
    return replace_list(p_dev, &p_dev->ptz_nodes, onvif_ptz_GetNodes, onvif_free_PTZNodes);
}

int GetConfigurations(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    if (!(p_dev->capabilities.ptz.flags & ONVIF_CAP_PTZ_PRESENT)) return no_service(p_dev);
    return replace_list(p_dev, &p_dev->ptz_configs, onvif_ptz_GetConfigurations,
                        onvif_free_PTZConfigurations);
}

int GetImagingSettings(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    if (!(p_dev->capabilities.imaging.flags & ONVIF_CAP_IMAGING_PRESENT)) return no_service(p_dev);
    int ok = 1;
    int32_t first_error = 0, first_auth_failed = 0;
    ONVIF_FAULT first_fault;
    memset(&first_fault, 0, sizeof(first_fault));
    int n = 0;
    for (VideoSourceList *node = p_dev->video_sources; node && n < SOAP_LIST_MAX;
         node = node->next, n++) {
        ONVIF_VIDEO_SOURCE *src = &node->VideoSource;
        img_GetImagingSettings_REQ req;
        memset(&req, 0, sizeof(req));
        memcpy(req.video_source_token, src->token, sizeof(req.video_source_token));
        req.video_source_token[sizeof(req.video_source_token) - 1] = '\0';
        img_GetImagingSettings_RES settings;
        memset(&settings, 0, sizeof(settings));
        if (!onvif_img_GetImagingSettings(p_dev, &req, &settings)) {
            soap_desc_free(&SD_ONVIF_IMAGING_SETTINGS20, &settings);
            if (ok) {
                first_error = p_dev->last_error;
                first_auth_failed = p_dev->auth_failed;
                first_fault = p_dev->fault;
            }
            ok = 0;
            continue;
        }
        // The old settings may own a list (IR cut filter adjustments).
        soap_desc_free(&SD_ONVIF_IMAGING_SETTINGS20, &src->extension.imaging);
        src->extension.imaging = settings;
        src->extension.flags |= ONVIF_VIDEO_SOURCE_EXTENSION_HAS_IMAGING;
        src->flags |= ONVIF_VIDEO_SOURCE_HAS_EXTENSION;
    }
    if (!ok) {
        // Later sources that answered must not hide the refusal.
        p_dev->last_error = first_error;
        p_dev->auth_failed = first_auth_failed;
        p_dev->fault = first_fault;
    }
    return ok;
}

} // extern "C"
