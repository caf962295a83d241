// Device-level calls of the media and media 2 services.

#include "onvif/calls_media.h"

#include <cstdlib>
#include <cstring>

#include "discovery/xaddr.h"
#include "http/http_cln.h"
#include "onvif/gen/onvif_desc.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "onvif/onvif_trans.h"
#include "onvif/soap_desc.h"
#include "platform/sys_log.h"

namespace
{

const int kSnapshotTimeout = 60000;
const int kSnapshotUriLen = 300; // an un-escaped snapshot URI, terminator included
const int kMaxNodes = 16 * SOAP_LIST_MAX;

template <size_t N> void copy_text(char (&dst)[N], const char *src)
{
    size_t n = strnlen(src, N - 1);
    memcpy(dst, src, n);
    dst[n] = '\0';
}

// Runs one list-reading operation into a fresh list; on success the device's
// old list (and what its nodes own) is released and the new one takes its
// place. A failed read releases whatever it got and leaves the device alone.
template <class Node, class Op, class Free>
int replace_list(ONVIF_DEVICE *p_dev, Node **head, Op op, Free release)
{
    if (!p_dev) return 0;
    Node *fresh = nullptr;
    if (!op(&fresh)) {
        release(&fresh);
        return 0;
    }
    release(head);
    *head = fresh;
    return 1;
}

// The device's profile node with the token the current profile had, so a
// refreshed list keeps the caller's choice (null when it is gone).
struct CurProfile {
    char token[sizeof(((ONVIF_PROFILE *)nullptr)->token)] = "";
    explicit CurProfile(const ONVIF_DEVICE *p_dev)
    {
        if (p_dev->cur_profile) copy_text(token, p_dev->cur_profile->Profile.token);
    }
    ProfileList *in(ProfileList *list) const
    {
        return token[0] ? onvif_find_profile(list, token) : nullptr;
    }
};

// Whether a profile can stream at all: one without any encoder is refused by
// every camera (IncompleteConfiguration), so it is not asked.
bool can_stream(const ONVIF_PROFILE &p)
{
    return p.flags & (ONVIF_PROFILE_HAS_VIDEO_ENCODER_CONFIGURATION |
                      ONVIF_PROFILE_HAS_AUDIO_ENCODER_CONFIGURATION);
}

bool can_stream(const ONVIF_MEDIA_PROFILE &p)
{
    // Without the Configurations element the reply did not say: ask.
    if (!(p.flags & ONVIF_MEDIA_PROFILE_HAS_CONFIGURATIONS)) return true;
    return p.configurations.flags &
           (ONVIF_CONFIGURATION_SET_HAS_VIDEO_ENCODER | ONVIF_CONFIGURATION_SET_HAS_AUDIO_ENCODER);
}

// The outcome of the first failed request of a series, kept so that the
// device record reports it after the later requests ran.
struct FirstFailure {
    bool failed = false;
    int32_t last_error = 0, auth_failed = 0;
    ONVIF_FAULT fault{};
    void note(const ONVIF_DEVICE *p_dev)
    {
        if (failed) return;
        failed = true;
        last_error = p_dev->last_error;
        auth_failed = p_dev->auth_failed;
        fault = p_dev->fault;
    }
    int result(ONVIF_DEVICE *p_dev) const
    {
        if (!failed) return 1;
        p_dev->last_error = last_error;
        p_dev->auth_failed = auth_failed;
        p_dev->fault = fault;
        return 0;
    }
};

// The path and query of a URL ("/" when it has none).
const char *url_path(const char *url)
{
    const char *p = strstr(url, "://");
    p = p ? p + 3 : url;
    p = strchr(p, '/');
    return p ? p : "/";
}

bool use_media2(const ONVIF_DEVICE *p_dev)
{
    return !(p_dev->capabilities.media.flags & ONVIF_CAP_MEDIA_PRESENT) &&
           (p_dev->capabilities.media2.flags & ONVIF_CAP_MEDIA2_PRESENT);
}

// Downloads a URI the device handed out (its "&amp;" undone) with the
// device's credentials, falling back to its discovered address.
int download(ONVIF_DEVICE *p_dev, const char *uri, uint8_t **p_buf, int *p_len)
{
    char plain[kSnapshotUriLen];
    ONVIF_XADDR xaddr;
    memset(&xaddr, 0, sizeof(xaddr));
    if (onvif_parse_uri(uri, plain, sizeof(plain)) != 0 || !parse_XAddr(plain, &xaddr)) {
        log_print(LOG_ERROR, "%s, unusable snapshot URI\r\n", "GetSnapshot");
        return 0;
    }
    HTTP_CLIENT_CONN conn;
    onvif_init_xaddr_context(&conn, &xaddr);
    if (p_dev->basic_over_http) conn.req_flags |= HTTP_CLN_BASIC_PLAIN;
    // The address record keeps a shorter path than a URI may have: a query
    // cut there would ask for something else, so the path comes whole.
    const char *path = url_path(plain);
    if (strlen(path) >= sizeof(conn.url)) {
        log_print(LOG_ERROR, "%s, snapshot path too long\r\n", "GetSnapshot");
        return 0;
    }
    copy_text(conn.url, path);
    HTTP_PEER peer;
    memset(&peer, 0, sizeof(peer));
    peer.fallback = p_dev->binfo.xaddr;
    static_assert(sizeof(peer.user) > sizeof(p_dev->username), "room for the terminator");
    memcpy(peer.user, p_dev->username, strnlen(p_dev->username, sizeof(p_dev->username)));
    memcpy(peer.pass, p_dev->password, strnlen(p_dev->password, sizeof(p_dev->password)));
    memcpy(conn.user, peer.user, sizeof(conn.user));
    memcpy(conn.pass, peer.pass, sizeof(conn.pass));
    int ok = http_onvif_download(&conn, kSnapshotTimeout, p_buf, p_len, &peer);
    http_cln_free(&conn);
    return ok;
}

} // namespace

extern "C" {

int GetVideoSources(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->video_sources : nullptr,
        [p_dev](VideoSourceList **l) { return onvif_trt_GetVideoSources(p_dev, nullptr, l); },
        onvif_free_VideoSources);
}

int GetAudioSources(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->audio_sources : nullptr,
        [p_dev](AudioSourceList **l) { return onvif_trt_GetAudioSources(p_dev, nullptr, l); },
        onvif_free_AudioSources);
}

int GetVideoSourceConfigurations(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->video_source_configs : nullptr,
        [p_dev](VideoSourceConfigurationList **l) {
            return onvif_trt_GetVideoSourceConfigurations(p_dev, nullptr, l);
        },
        onvif_free_VideoSourceConfigurations);
}

int GetAudioSourceConfigurations(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->audio_source_configs : nullptr,
        [p_dev](AudioSourceConfigurationList **l) {
            return onvif_trt_GetAudioSourceConfigurations(p_dev, nullptr, l);
        },
        onvif_free_AudioSourceConfigurations);
}

int GetVideoEncoderConfigurations(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->video_encoder_configs : nullptr,
        [p_dev](VideoEncoderConfigurationList **l) {
            return onvif_trt_GetVideoEncoderConfigurations(p_dev, nullptr, l);
        },
        onvif_free_VideoEncoderConfigurations);
}

int GetAudioEncoderConfigurations(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->audio_encoder_configs : nullptr,
        [p_dev](AudioEncoderConfigurationList **l) {
            return onvif_trt_GetAudioEncoderConfigurations(p_dev, nullptr, l);
        },
        onvif_free_AudioEncoderConfigurations);
}

int tr2_GetVideoSourceConfigurations(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->video_source_configs : nullptr,
        [p_dev](VideoSourceConfigurationList **l) {
            return onvif_tr2_GetVideoSourceConfigurations(p_dev, nullptr, l);
        },
        onvif_free_VideoSourceConfigurations);
}

int tr2_GetAudioSourceConfigurations(ONVIF_DEVICE *p_dev)
{
    return replace_list(
        p_dev, p_dev ? &p_dev->audio_source_configs : nullptr,
        [p_dev](AudioSourceConfigurationList **l) {
            return onvif_tr2_GetAudioSourceConfigurations(p_dev, nullptr, l);
        },
        onvif_free_AudioSourceConfigurations);
}

int GetProfiles(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    const CurProfile cur(p_dev);
    int ok = replace_list(
        p_dev, &p_dev->profiles,
        [p_dev](ProfileList **l) { return onvif_trt_GetProfiles(p_dev, nullptr, l); },
        onvif_free_profiles);
    if (ok) p_dev->cur_profile = cur.in(p_dev->profiles);
    return ok;
}

int tr2_GetProfiles(ONVIF_DEVICE *p_dev)
{
    if (!p_dev) return 0;
    return replace_list(
        p_dev, &p_dev->media2_profiles,
        [p_dev](MediaProfileList **l) {
            tr2_GetProfiles_REQ req;
            memset(&req, 0, sizeof(req));
            copy_text(req.type[0], "All"); // every configuration of every profile
            req.type_count = 1;
            return onvif_tr2_GetProfiles(p_dev, &req, l);
        },
        onvif_free_MediaProfiles);
}

int GetStreamUris(ONVIF_DEVICE *p_dev, int protocol)
{
    if (!p_dev) return 0;
    FirstFailure first;
    int n = 0;
    for (ProfileList *p = p_dev->profiles; p && n < kMaxNodes; p = p->next, n++) {
        p->Profile.stream_uri[0] = '\0';
        if (!can_stream(p->Profile)) continue;
        trt_GetStreamUri_REQ req;
        memset(&req, 0, sizeof(req));
        req.stream_setup.stream = 0; // RTP-Unicast
        req.stream_setup.transport.protocol = protocol;
        copy_text(req.profile_token, p->Profile.token);
        trt_GetStreamUri_RES res;
        memset(&res, 0, sizeof(res));
        if (onvif_trt_GetStreamUri(p_dev, &req, &res))
            copy_text(p->Profile.stream_uri, res.uri);
        else
            first.note(p_dev);
    }
    return first.result(p_dev);
}

int tr2_GetStreamUris(ONVIF_DEVICE *p_dev, const char *protocol)
{
    if (!p_dev) return 0;
    if (!protocol || !protocol[0]) protocol = "RtspUnicast";
    FirstFailure first;
    int n = 0;
    for (MediaProfileList *p = p_dev->media2_profiles; p && n < kMaxNodes; p = p->next, n++) {
        p->MediaProfile.stream_uri[0] = '\0';
        if (!can_stream(p->MediaProfile)) continue;
        tr2_GetStreamUri_REQ req;
        memset(&req, 0, sizeof(req));
        copy_text(req.protocol, protocol);
        copy_text(req.profile_token, p->MediaProfile.token);
        tr2_GetStreamUri_RES res;
        memset(&res, 0, sizeof(res));
        if (onvif_tr2_GetStreamUri(p_dev, &req, &res))
            copy_text(p->MediaProfile.stream_uri, res.uri);
        else
            first.note(p_dev);
    }
    return first.result(p_dev);
}

int GetSnapshot(ONVIF_DEVICE *p_dev, const char *profile_token, uint8_t **p_buf, int *p_len)
{
    if (p_buf) *p_buf = nullptr;
    if (p_len) *p_len = 0;
    if (!p_dev || !profile_token || !p_buf || !p_len) return 0;
    char uri[sizeof(((trt_GetSnapshotUri_RES *)nullptr)->uri)] = "";
    if (use_media2(p_dev)) {
        tr2_GetSnapshotUri_REQ req;
        memset(&req, 0, sizeof(req));
        copy_text(req.profile_token, profile_token);
        tr2_GetSnapshotUri_RES res;
        memset(&res, 0, sizeof(res));
        if (!onvif_tr2_GetSnapshotUri(p_dev, &req, &res)) return 0;
        copy_text(uri, res.uri);
    } else {
        trt_GetSnapshotUri_REQ req;
        memset(&req, 0, sizeof(req));
        copy_text(req.profile_token, profile_token);
        trt_GetSnapshotUri_RES res;
        memset(&res, 0, sizeof(res));
        if (!onvif_trt_GetSnapshotUri(p_dev, &req, &res)) return 0;
        copy_text(uri, res.uri);
    }
    if (download(p_dev, uri, p_buf, p_len)) return 1;
    free(*p_buf);
    *p_buf = nullptr;
    *p_len = 0;
    return 0;
}

} // extern "C"
