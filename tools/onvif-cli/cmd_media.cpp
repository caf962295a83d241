// onvif-cli profiles and snapshot: the media service's profiles with their
// stream and snapshot URIs, and a snapshot saved to a file.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "onvif/calls_media.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_enum.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

// The media services' addresses: GetCapabilities (or GetServices) first.
// The media service is needed, or with media2_will_do the media 2 service.
int find_media(ONVIF_DEVICE *dev, bool media2_will_do)
{
    prepare(dev);
    if (!GetCapabilities(dev)) {
        if (!refused_only(dev)) return call_failed(dev, "reading the capabilities");
        prepare(dev);
        if (!GetServices(dev)) return call_failed(dev, "reading the services");
    }
    if (dev->capabilities.media.flags & ONVIF_CAP_MEDIA_PRESENT) return kOk;
    if (media2_will_do && (dev->capabilities.media2.flags & ONVIF_CAP_MEDIA2_PRESENT)) return kOk;
    return fail(kRefused, host_text(dev) + ": the device offers no media service");
}

struct Profiles {
    ProfileList *head = nullptr;
    ~Profiles() { onvif_free_result(ACT_trt_GetProfiles, &head); }
};

int read_profiles(ONVIF_DEVICE *dev, Profiles *p)
{
    prepare(dev);
    if (!onvif_trt_GetProfiles(dev, nullptr, &p->head))
        return call_failed(dev, "reading the media profiles");
    return kOk;
}

// A URI of one profile; null (and a note on standard error) when the device
// refuses it, the exit code in *rc when the device stops answering.
Value uri_of(ONVIF_DEVICE *dev, const std::string &token, bool stream, int *rc)
{
    ONVIF_MEDIA_URI uri;
    memset(&uri, 0, sizeof(uri));
    int ok;
    prepare(dev);
    if (stream) {
        trt_GetStreamUri_REQ req;
        memset(&req, 0, sizeof(req));
        req.stream_setup.stream = 0;             // RTP-Unicast
        req.stream_setup.transport.protocol = 2; // RTSP
        set_field(req.profile_token, sizeof(req.profile_token), token);
        ok = onvif_trt_GetStreamUri(dev, &req, &uri);
    } else {
        trt_GetSnapshotUri_REQ req;
        memset(&req, 0, sizeof(req));
        set_field(req.profile_token, sizeof(req.profile_token), token);
        ok = onvif_trt_GetSnapshotUri(dev, &req, &uri);
    }
    if (ok) return Value(field(uri.uri));
    const std::string what =
        std::string(stream ? "the stream URI" : "the snapshot URI") + " of profile " + token;
    if (refused_only(dev)) {
        fprintf(stderr, "onvif-cli: %s: %s: %s\n", host_text(dev).c_str(), what.c_str(),
                reason_of(dev).c_str());
        return Value();
    }
    *rc = call_failed(dev, "reading " + what);
    return Value();
}

Value profile_record(const ONVIF_PROFILE &p)
{
    Value r = Value::record();
    r.set("token", field(p.token));
    r.set("name", field(p.name));
    r.set("fixed", p.fixed != 0);
    if (p.flags & ONVIF_PROFILE_HAS_VIDEO_ENCODER_CONFIGURATION) {
        const ONVIF_VIDEO_ENCODER_CONFIGURATION &v = p.video_encoder_configuration;
        r.set("encoding", onvif_VideoEncodingToString(v.encoding));
        r.set("width", (int)v.resolution.width);
        r.set("height", (int)v.resolution.height);
        r.set("frame_rate", (v.flags & ONVIF_VIDEO_ENCODER_CONFIGURATION_HAS_RATE_CONTROL)
                                ? Value((int)v.rate_control.frame_rate_limit)
                                : Value());
    } else {
        r.set("encoding", Value());
        r.set("width", Value());
        r.set("height", Value());
        r.set("frame_rate", Value());
    }
    return r;
}

// Writes data to path through a temporary file beside it, so an existing
// file is replaced only by a whole new one.
bool write_whole(const std::string &path, const uint8_t *data, int len, std::string *error)
{
    const std::string tmp = path + ".part";
    FILE *f = fopen(tmp.c_str(), "wb");
    if (!f) {
        *error = "cannot write " + tmp + ": " + strerror(errno);
        return false;
    }
    bool ok = fwrite(data, 1, (size_t)len, f) == (size_t)len;
    ok = (fclose(f) == 0) && ok;
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        *error = "cannot write " + path + ": " + strerror(errno);
        unlink(tmp.c_str());
    }
    return ok;
}

} // namespace

int cmd_profiles(const Args &args)
{
    Device dev;
    if (int rc = open_host(args, &dev)) return rc;
    if (int rc = begin(dev.get())) return rc;
    if (int rc = find_media(dev.get(), false)) return rc;
    Profiles profiles;
    if (int rc = read_profiles(dev.get(), &profiles)) return rc;

    Value list = Value::list();
    for (ProfileList *p = profiles.head; p; p = p->next) {
        const std::string token = field(p->Profile.token);
        Value r = profile_record(p->Profile);
        int rc = kOk;
        r.set("stream_uri", uri_of(dev.get(), token, true, &rc));
        if (rc != kOk) return rc;
        r.set("snapshot_uri", uri_of(dev.get(), token, false, &rc));
        if (rc != kOk) return rc;
        list.add(r);
    }
    print(list, args.format);
    return kOk;
}

int cmd_snapshot(const Args &args)
{
    Device dev;
    if (int rc = open_host(args, &dev)) return rc;
    if (args.outfile.empty()) return usage_error("snapshot", "snapshot needs -o FILE");
    if (int rc = begin(dev.get())) return rc;
    if (int rc = find_media(dev.get(), true)) return rc;

    // The first profile unless one is named: of the media service, or of
    // media 2 on a device that only has that.
    std::string token = args.token;
    if (token.empty() && (dev->capabilities.media.flags & ONVIF_CAP_MEDIA_PRESENT)) {
        Profiles profiles;
        if (int rc = read_profiles(dev.get(), &profiles)) return rc;
        if (profiles.head) token = field(profiles.head->Profile.token);
    } else if (token.empty()) {
        prepare(dev.get());
        if (!tr2_GetProfiles(dev.get()))
            return call_failed(dev.get(), "reading the media 2 profiles");
        if (dev->media2_profiles) token = field(dev->media2_profiles->MediaProfile.token);
    }
    if (token.empty())
        return fail(kRefused, host_text(dev.get()) + ": the device has no media profile");

    uint8_t *data = nullptr;
    int len = 0;
    prepare(dev.get());
    if (!GetSnapshot(dev.get(), token.c_str(), &data, &len)) {
        if (dev->last_error != 0 || dev->auth_failed)
            return call_failed(dev.get(), "reading the snapshot URI of profile " + token);
        return fail(kUnreachable, host_text(dev.get()) + ": no snapshot of profile " + token);
    }

    std::string error;
    const bool saved = write_whole(args.outfile, data, len, &error);
    FreeBuff(data);
    if (!saved) return fail(kLocal, error);

    Value r = Value::record();
    r.set("host", field(dev->binfo.xaddr.host));
    r.set("profile", token);
    r.set("file", args.outfile);
    r.set("bytes", len);
    print(r, args.format);
    return kOk;
}

} // namespace cli
