// The media 2 service (ver20): its operation table and handlers over the
// same state as the media service (media_state.h), plus the privacy masks
// only media 2 knows. A profile shows the configurations of the types asked
// for ("All" for every type); encoders are shown as tt:VideoEncoder2Configuration,
// H.265 included.
#include "device_service.h"
#include "media_service.h"

namespace camsim
{

SoapOpTable media2ServiceOps()
{
    using M = MediaService;
    static const SoapOp rows[] = {
        {NS_TR2, "GetServiceCapabilities", M::getServiceCapabilities2},
        {NS_TR2, "GetProfiles", M::getProfiles2},
        {NS_TR2, "CreateProfile", M::createProfile2},
        {NS_TR2, "DeleteProfile", M::deleteProfile2},
        {NS_TR2, "AddConfiguration", M::addConfiguration2},
        {NS_TR2, "RemoveConfiguration", M::removeConfiguration2},
        {NS_TR2, "GetVideoSourceConfigurations", M::getVideoSourceConfigurations2},
        {NS_TR2, "GetAudioSourceConfigurations", M::getAudioSourceConfigurations2},
        {NS_TR2, "GetVideoEncoderConfigurations", M::getVideoEncoderConfigurations2},
        {NS_TR2, "SetVideoEncoderConfiguration", M::setVideoEncoderConfiguration2},
        {NS_TR2, "GetVideoEncoderConfigurationOptions", M::getVideoEncoderConfigurationOptions2},
        {NS_TR2, "GetAudioEncoderConfigurations", M::getAudioEncoderConfigurations2},
        {NS_TR2, "GetStreamUri", M::getStreamUri2},
        {NS_TR2, "GetSnapshotUri", M::getSnapshotUri2},
        {NS_TR2, "SetSynchronizationPoint", M::setSynchronizationPoint2},
        {NS_TR2, "GetVideoSourceModes", M::getVideoSourceModes2},
        {NS_TR2, "GetVideoEncoderInstances", M::getVideoEncoderInstances2},
        {NS_TR2, "GetOSDs", M::getOSDs2},
        {NS_TR2, "CreateOSD", M::createOSD2},
        {NS_TR2, "DeleteOSD", M::deleteOSD2},
        {NS_TR2, "SetOSD", M::setOSD2},
        {NS_TR2, "GetOSDOptions", M::getOSDOptions2},
        {NS_TR2, "GetMasks", M::getMasks2},
        {NS_TR2, "CreateMask", M::createMask2},
        {NS_TR2, "SetMask", M::setMask2},
        {NS_TR2, "DeleteMask", M::deleteMask2},
        {NS_TR2, "GetMaskOptions", M::getMaskOptions2},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

namespace
{

using D = DeviceService;

const QStringList kKinds = {"VideoSource", "AudioSource", "VideoEncoder", "AudioEncoder", "PTZ"};

QString num(double v)
{
    return QString::number(v);
}

El videoEncoder2(const Camera &cam, const VideoEncoderState &e, const QString &name)
{
    El c(NS_TR2, name);
    c.attr(QStringLiteral("token"), e.token);
    if (e.encoding != "JPEG")
        c.attr(QStringLiteral("GovLength"), QString::number(e.gov))
            .attr(QStringLiteral("Profile"), e.profile);
    c.add(NS_TT, QStringLiteral("Name"), e.name);
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(MediaService::useCount(cam, QStringLiteral("VideoEncoder"), e.token)));
    c.add(NS_TT, QStringLiteral("Encoding"), e.encoding);
    El &r = c.add(NS_TT, QStringLiteral("Resolution"));
    r.add(NS_TT, QStringLiteral("Width"), QString::number(e.width));
    r.add(NS_TT, QStringLiteral("Height"), QString::number(e.height));
    El &rc = c.add(NS_TT, QStringLiteral("RateControl"));
    rc.attr(QStringLiteral("ConstantBitRate"), QStringLiteral("false"));
    rc.add(NS_TT, QStringLiteral("FrameRateLimit"), QString::number(e.fps));
    rc.add(NS_TT, QStringLiteral("BitrateLimit"), QString::number(e.bitrate));
    c.add(NS_TT, QStringLiteral("Quality"), num(e.quality));
    return c;
}

El audioEncoder2(const Camera &cam, const QString &name)
{
    El c(NS_TR2, name);
    c.attr(QStringLiteral("token"), QLatin1String(media::kAudioEncoder));
    c.add(NS_TT, QStringLiteral("Name"), QStringLiteral("AudioEncoder_G711"));
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(MediaService::useCount(cam, QStringLiteral("AudioEncoder"),
                                                 QLatin1String(media::kAudioEncoder))));
    c.add(NS_TT, QStringLiteral("Encoding"), QStringLiteral("PCMU"));
    c.add(NS_TT, QStringLiteral("Bitrate"), QStringLiteral("64"));
    c.add(NS_TT, QStringLiteral("SampleRate"), QStringLiteral("8"));
    return c;
}

// The profile with the configurations of the kinds asked for.
El profile2(const Camera &cam, const MediaState &m, const MediaProfileState &p,
            const QStringList &kinds)
{
    El e(NS_TR2, QStringLiteral("Profiles"));
    e.attr(QStringLiteral("token"), p.token).attr(QStringLiteral("fixed"), boolText(p.fixed));
    e.add(NS_TR2, QStringLiteral("Name"), p.name);
    El set(NS_TR2, QStringLiteral("Configurations"));
    auto want = [&](const char *k) { return kinds.contains(QLatin1String(k)); };
    if (want("VideoSource") && !p.videoSource.isEmpty())
        set.add(MediaService::videoSourceConfig(cam, NS_TR2, QStringLiteral("VideoSource")));
    if (want("AudioSource") && !p.audioSource.isEmpty())
        set.add(MediaService::audioSourceConfig(cam, NS_TR2, QStringLiteral("AudioSource")));
    const VideoEncoderState *enc = m.encoder(p.videoEncoder);
    if (want("VideoEncoder") && enc)
        set.add(videoEncoder2(cam, *enc, QStringLiteral("VideoEncoder")));
    if (want("AudioEncoder") && !p.audioEncoder.isEmpty())
        set.add(audioEncoder2(cam, QStringLiteral("AudioEncoder")));
    if (want("PTZ") && !p.ptz.isEmpty())
        set.add(MediaService::ptzConfig(cam, NS_TR2, QStringLiteral("PTZ")));
    if (!set.kids.empty()) e.add(set);
    return e;
}

// The slot of a profile for a configuration type, or null for a type the
// camera does not have.
QString *slotOf(MediaProfileState &p, const QString &type)
{
    if (type == "VideoSource") return &p.videoSource;
    if (type == "AudioSource") return &p.audioSource;
    if (type == "VideoEncoder") return &p.videoEncoder;
    if (type == "AudioEncoder") return &p.audioEncoder;
    if (type == "PTZ") return &p.ptz;
    return nullptr;
}

// Whether a configuration of that type and token exists.
bool exists(const Camera &cam, const MediaState &m, const QString &type, const QString &token)
{
    if (type == "VideoSource") return token == QLatin1String(media::kVideoSourceConfig);
    if (type == "AudioSource") return token == QLatin1String(media::kAudioSourceConfig);
    if (type == "VideoEncoder") return m.encoder(token) != nullptr;
    if (type == "AudioEncoder") return token == QLatin1String(media::kAudioEncoder);
    if (type == "PTZ") return cam.config().ptz && token == QLatin1String(media::kPtzConfig);
    return false;
}

// Applies the Configuration children of a request to a copy of a profile;
// false with the reason.
bool applyRefs(const Camera &cam, const MediaState &m, const XNode &in, MediaProfileState &p,
               bool add, QString &why)
{
    for (const XNode *c : in.childrenNamed(QStringLiteral("Configuration"))) {
        const QString type = c->childText(QStringLiteral("Type"));
        const QString token = c->childText(QStringLiteral("Token"));
        if (!add && type == "All") {
            p.videoSource.clear();
            p.audioSource.clear();
            p.videoEncoder.clear();
            p.audioEncoder.clear();
            p.ptz.clear();
            continue;
        }
        QString *slot = slotOf(p, type);
        if (!slot) {
            why = QStringLiteral("unsupported configuration type: ") + type;
            return false;
        }
        if (!add) {
            slot->clear();
            continue;
        }
        if (!exists(cam, m, type, token)) {
            why = QStringLiteral("no such %1 configuration: %2").arg(type, token);
            return false;
        }
        *slot = token;
    }
    return true;
}

bool configFilter(Camera &cam, SoapCall &call, const QString &kind, const QString &token,
                  bool &show)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    const QString prof = call.in.childText(QStringLiteral("ProfileToken"));
    show = true;
    if (!cfg.isEmpty()) {
        if (cfg != token) return MediaService::noConfig(cam, call, cfg);
    }
    if (!prof.isEmpty()) {
        MediaProfileState *p = MediaService::profileOf(cam, call, prof);
        if (!p) return false;
        show = *slotOf(*p, kind) == token;
    }
    return true;
}

// A mask from a request element; false with the reason.
bool readMask(const XNode &x, MaskState &k, QString &why)
{
    if (x.childText(QStringLiteral("ConfigurationToken")) !=
        QLatin1String(media::kVideoSourceConfig)) {
        why = QStringLiteral("no such video source configuration");
        return false;
    }
    const XNode *poly = x.child(QStringLiteral("Polygon"));
    const auto points =
        poly ? poly->childrenNamed(QStringLiteral("Point")) : std::vector<const XNode *>();
    if (points.size() < 3 || points.size() > size_t(media::kMaxMaskPoints)) {
        why = QStringLiteral("a mask needs 3 to %1 points").arg(media::kMaxMaskPoints);
        return false;
    }
    k.points.clear();
    for (const XNode *p : points) {
        bool okx = false, oky = false;
        double px = p->attr(QStringLiteral("x")).toDouble(&okx);
        double py = p->attr(QStringLiteral("y")).toDouble(&oky);
        if (!okx || !oky || px < -1 || px > 1 || py < -1 || py > 1) {
            why = QStringLiteral("mask points lie in -1..1");
            return false;
        }
        k.points.emplace_back(px, py);
    }
    k.type = x.childText(QStringLiteral("Type"));
    if (k.type != "Color") {
        why = QStringLiteral("unsupported mask type: ") + k.type;
        return false;
    }
    const XNode *color = x.child(QStringLiteral("Color"));
    k.hasColor = color != nullptr;
    if (color) {
        k.cx = color->attr(QStringLiteral("X")).toDouble();
        k.cy = color->attr(QStringLiteral("Y")).toDouble();
        k.cz = color->attr(QStringLiteral("Z")).toDouble();
    }
    if (!parseBoolText(x.childText(QStringLiteral("Enabled")), k.enabled)) {
        why = QStringLiteral("Enabled is not a boolean");
        return false;
    }
    return true;
}

El mask(const MaskState &k)
{
    El e(NS_TR2, QStringLiteral("Masks"));
    e.attr(QStringLiteral("token"), k.token);
    e.add(NS_TR2, QStringLiteral("ConfigurationToken"), QLatin1String(media::kVideoSourceConfig));
    El &poly = e.add(NS_TR2, QStringLiteral("Polygon"));
    for (const auto &p : k.points)
        poly.add(NS_TT, QStringLiteral("Point"))
            .attr(QStringLiteral("x"), num(p.first))
            .attr(QStringLiteral("y"), num(p.second));
    e.add(NS_TR2, QStringLiteral("Type"), k.type);
    if (k.hasColor)
        e.add(NS_TR2, QStringLiteral("Color"))
            .attr(QStringLiteral("X"), num(k.cx))
            .attr(QStringLiteral("Y"), num(k.cy))
            .attr(QStringLiteral("Z"), num(k.cz));
    e.add(NS_TR2, QStringLiteral("Enabled"), boolText(k.enabled));
    return e;
}

} // namespace

// ---- capabilities and profiles ------------------------------------------------------

El MediaService::capabilities2()
{
    El c(NS_TR2, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("SnapshotUri"), QStringLiteral("true"))
        .attr(QStringLiteral("Rotation"), QStringLiteral("false"))
        .attr(QStringLiteral("VideoSourceMode"), QStringLiteral("true"))
        .attr(QStringLiteral("OSD"), QStringLiteral("true"))
        .attr(QStringLiteral("Mask"), QStringLiteral("true"))
        .attr(QStringLiteral("SourceMask"), QStringLiteral("false"));
    c.add(NS_TR2, QStringLiteral("ProfileCapabilities"))
        .attr(QStringLiteral("MaximumNumberOfProfiles"), QString::number(media::kMaxProfiles))
        .attr(QStringLiteral("ConfigurationsSupported"), kKinds.join(QLatin1Char(' ')));
    c.add(NS_TR2, QStringLiteral("StreamingCapabilities"))
        .attr(QStringLiteral("RTSPStreaming"), QStringLiteral("true"))
        .attr(QStringLiteral("RTPMulticast"), QStringLiteral("false"))
        .attr(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    return c;
}

bool MediaService::getServiceCapabilities2(Camera &, SoapCall &call)
{
    reply(call, NS_TR2).add(capabilities2());
    return true;
}

// Type names compare exactly, as tr2:ConfigurationEnumeration spells them.
bool MediaService::getProfiles2(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("Token"));
    if (!token.isEmpty() && !profileOf(cam, call, token)) return false;
    QStringList kinds;
    for (const XNode *t : call.in.childrenNamed(QStringLiteral("Type"))) {
        if (t->text == "All") kinds = kKinds;
        if (kKinds.contains(t->text)) kinds << t->text;
    }
    El &out = reply(call, NS_TR2);
    for (const MediaProfileState &p : cam.media.profiles)
        if (token.isEmpty() || p.token == token) out.add(profile2(cam, cam.media, p, kinds));
    return true;
}

bool MediaService::createProfile2(Camera &cam, SoapCall &call)
{
    MediaProfileState p;
    p.name = call.in.childText(QStringLiteral("Name"));
    if (p.name.isEmpty() || p.name.size() > 64)
        return D::badArg(cam, call, QString(), QStringLiteral("a profile needs a name"));
    QString why;
    if (!applyRefs(cam, cam.media, call.in, p, true, why))
        return D::badArg(cam, call, QStringLiteral("ter:NoConfig"), why);
    if (cam.media.profiles.size() >= size_t(media::kMaxProfiles))
        return D::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:MaxProfiles")},
                       QStringLiteral("no room for another profile"));
    for (int guard = 0; guard < 1000 && (p.token.isEmpty() || cam.media.profile(p.token)); ++guard)
        p.token = QStringLiteral("Profile_%1").arg(cam.media.nextProfile++);
    cam.media.profiles.push_back(p);
    reply(call, NS_TR2).add(NS_TR2, QStringLiteral("Token"), p.token);
    return true;
}

bool MediaService::deleteProfile2(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("Token")));
    if (!p) return false;
    if (p->fixed)
        return D::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:DeletionOfFixedProfile")},
                       QStringLiteral("a fixed profile cannot be deleted"));
    auto &v = cam.media.profiles;
    v.erase(v.begin() + (p - v.data()));
    reply(call, NS_TR2);
    return true;
}

bool MediaService::addConfiguration2(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    MediaProfileState copy = *p;
    const QString name = call.in.childText(QStringLiteral("Name"));
    if (!name.isEmpty()) copy.name = name;
    QString why;
    if (!applyRefs(cam, cam.media, call.in, copy, true, why))
        return D::badArg(cam, call, QStringLiteral("ter:NoConfig"), why);
    *p = copy;
    reply(call, NS_TR2);
    return true;
}

bool MediaService::removeConfiguration2(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    MediaProfileState copy = *p;
    QString why;
    if (!applyRefs(cam, cam.media, call.in, copy, false, why))
        return D::badArg(cam, call, QStringLiteral("ter:NoConfig"), why);
    *p = copy;
    reply(call, NS_TR2);
    return true;
}

// ---- configurations -----------------------------------------------------------------

bool MediaService::getVideoSourceConfigurations2(Camera &cam, SoapCall &call)
{
    bool show = true;
    if (!configFilter(cam, call, QStringLiteral("VideoSource"),
                      QLatin1String(media::kVideoSourceConfig), show))
        return false;
    El &out = reply(call, NS_TR2);
    if (show) out.add(videoSourceConfig(cam, NS_TR2, QStringLiteral("Configurations")));
    return true;
}

bool MediaService::getAudioSourceConfigurations2(Camera &cam, SoapCall &call)
{
    bool show = true;
    if (!configFilter(cam, call, QStringLiteral("AudioSource"),
                      QLatin1String(media::kAudioSourceConfig), show))
        return false;
    El &out = reply(call, NS_TR2);
    if (show) out.add(audioSourceConfig(cam, NS_TR2, QStringLiteral("Configurations")));
    return true;
}

bool MediaService::getAudioEncoderConfigurations2(Camera &cam, SoapCall &call)
{
    bool show = true;
    if (!configFilter(cam, call, QStringLiteral("AudioEncoder"),
                      QLatin1String(media::kAudioEncoder), show))
        return false;
    El &out = reply(call, NS_TR2);
    if (show) out.add(audioEncoder2(cam, QStringLiteral("Configurations")));
    return true;
}

bool MediaService::getVideoEncoderConfigurations2(Camera &cam, SoapCall &call)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    const QString prof = call.in.childText(QStringLiteral("ProfileToken"));
    if (!cfg.isEmpty() && !cam.media.encoder(cfg)) return noConfig(cam, call, cfg);
    const MediaProfileState *p = prof.isEmpty() ? nullptr : profileOf(cam, call, prof);
    if (!prof.isEmpty() && !p) return false;
    El &out = reply(call, NS_TR2);
    for (const VideoEncoderState &e : cam.media.encoders)
        if ((cfg.isEmpty() || e.token == cfg) && (!p || p->videoEncoder == e.token))
            out.add(videoEncoder2(cam, e, QStringLiteral("Configurations")));
    return true;
}

bool MediaService::setVideoEncoderConfiguration2(Camera &cam, SoapCall &call)
{
    const XNode *c = call.in.child(QStringLiteral("Configuration"));
    const QString token = c ? c->attr(QStringLiteral("token")) : QString();
    VideoEncoderState *have = cam.media.encoder(token);
    if (!have) return noConfig(cam, call, token);
    VideoEncoderState e = *have;
    auto refuse = [&](const QString &why) {
        return D::badArg(cam, call, QStringLiteral("ter:ConfigModify"), why);
    };
    e.name = c->childText(QStringLiteral("Name"));
    e.encoding = c->childText(QStringLiteral("Encoding"));
    if (e.name.isEmpty() || e.name.size() > 64) return refuse(QStringLiteral("bad Name"));
    if (!QStringList({"H264", "H265", "JPEG"}).contains(e.encoding))
        return refuse(QStringLiteral("unsupported encoding: ") + e.encoding);
    const XNode *r = c->child(QStringLiteral("Resolution"));
    e.width = r ? r->childText(QStringLiteral("Width")).toInt() : 0;
    e.height = r ? r->childText(QStringLiteral("Height")).toInt() : 0;
    if (!((e.width == 1920 && e.height == 1080) || (e.width == 1280 && e.height == 720) ||
          (e.width == 640 && e.height == 360)))
        return refuse(QStringLiteral("unsupported resolution"));
    bool ok = false;
    e.quality = c->childText(QStringLiteral("Quality")).toDouble(&ok);
    if (!ok || e.quality < 0 || e.quality > 100)
        return refuse(QStringLiteral("Quality outside 0..100"));
    if (const XNode *rc = c->child(QStringLiteral("RateControl"))) {
        bool okf = false, okb = false;
        const double fps = rc->childText(QStringLiteral("FrameRateLimit")).toDouble(&okf);
        e.bitrate = rc->childText(QStringLiteral("BitrateLimit")).toInt(&okb);
        if (!okf || !okb || fps < 1 || fps > media::kSourceFps || e.bitrate < 32 ||
            e.bitrate > 16384)
            return refuse(QStringLiteral("RateControl outside the options"));
        e.fps = int(fps);
    }
    if (e.encoding == "JPEG") {
        e.profile.clear();
    } else {
        const QString gov = c->attr(QStringLiteral("GovLength"));
        if (!gov.isEmpty()) e.gov = gov.toInt(&ok);
        if (!gov.isEmpty() && (!ok || e.gov < 1 || e.gov > 300))
            return refuse(QStringLiteral("GovLength outside 1..300"));
        e.profile = c->attr(QStringLiteral("Profile"));
        const QStringList profiles = e.encoding == "H264"
                                         ? QStringList({"Baseline", "Main", "High"})
                                         : QStringList({"Main", "Main10"});
        if (e.profile.isEmpty()) e.profile = QStringLiteral("Main");
        if (!profiles.contains(e.profile))
            return refuse(QStringLiteral("unsupported profile: ") + e.profile);
    }
    *have = e;
    reply(call, NS_TR2);
    return true;
}

bool MediaService::getVideoEncoderConfigurationOptions2(Camera &cam, SoapCall &call)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    const QString prof = call.in.childText(QStringLiteral("ProfileToken"));
    if (!cfg.isEmpty() && !cam.media.encoder(cfg)) return noConfig(cam, call, cfg);
    if (!prof.isEmpty() && !profileOf(cam, call, prof)) return false;
    El &out = reply(call, NS_TR2);
    for (const char *enc : {"H264", "H265", "JPEG"}) {
        const QString e = QLatin1String(enc);
        El &o = out.add(NS_TR2, QStringLiteral("Options"));
        o.attr(QStringLiteral("FrameRatesSupported"), QStringLiteral("30 25 15 10 5 1"));
        if (e != "JPEG")
            o.attr(QStringLiteral("GovLengthRange"), QStringLiteral("1 300"))
                .attr(QStringLiteral("ProfilesSupported"),
                      e == "H264" ? QStringLiteral("Baseline Main High")
                                  : QStringLiteral("Main Main10"));
        o.attr(QStringLiteral("ConstantBitRateSupported"), QStringLiteral("false"));
        o.add(NS_TT, QStringLiteral("Encoding"), e);
        El &q = o.add(NS_TT, QStringLiteral("QualityRange"));
        q.add(NS_TT, QStringLiteral("Min"), QStringLiteral("0"));
        q.add(NS_TT, QStringLiteral("Max"), QStringLiteral("100"));
        for (const auto &r :
             {std::make_pair(1920, 1080), std::make_pair(1280, 720), std::make_pair(640, 360)}) {
            El &x = o.add(NS_TT, QStringLiteral("ResolutionsAvailable"));
            x.add(NS_TT, QStringLiteral("Width"), QString::number(r.first));
            x.add(NS_TT, QStringLiteral("Height"), QString::number(r.second));
        }
        El &b = o.add(NS_TT, QStringLiteral("BitrateRange"));
        b.add(NS_TT, QStringLiteral("Min"), QStringLiteral("32"));
        b.add(NS_TT, QStringLiteral("Max"), QStringLiteral("16384"));
    }
    return true;
}

// ---- URIs, modes, instances ---------------------------------------------------------

bool MediaService::getStreamUri2(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    const QString proto = call.in.childText(QStringLiteral("Protocol"));
    if (!QStringList({"RtspUnicast", "RTSP", "RtspOverHttp"}).contains(proto))
        return D::badArg(cam, call, QStringLiteral("ter:InvalidStreamSetup"),
                         QStringLiteral("unsupported protocol: ") + proto);
    if (p->videoEncoder.isEmpty() && p->audioEncoder.isEmpty())
        return D::fail(
            cam, call, 500, false,
            {QStringLiteral("ter:Action"), QStringLiteral("ter:IncompleteConfiguration")},
            QStringLiteral("the profile has no encoder"));
    reply(call, NS_TR2)
        .add(NS_TR2, QStringLiteral("Uri"), streamUri(cam, p->token, proto == "RtspOverHttp"));
    return true;
}

bool MediaService::getSnapshotUri2(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    if (p->videoSource.isEmpty())
        return D::fail(
            cam, call, 500, false,
            {QStringLiteral("ter:Action"), QStringLiteral("ter:IncompleteConfiguration")},
            QStringLiteral("the profile has no video source"));
    reply(call, NS_TR2).add(NS_TR2, QStringLiteral("Uri"), snapshotUri(cam, p->token));
    return true;
}

bool MediaService::setSynchronizationPoint2(Camera &cam, SoapCall &call)
{
    if (!profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")))) return false;
    reply(call, NS_TR2);
    return true;
}

bool MediaService::getVideoSourceModes2(Camera &cam, SoapCall &call)
{
    const QString source = call.in.childText(QStringLiteral("VideoSourceToken"));
    if (source != QLatin1String(media::kVideoSource))
        return D::badArg(cam, call, QStringLiteral("ter:NoVideoSource"),
                         QStringLiteral("no such video source: ") + source);
    reply(call, NS_TR2).add(videoSourceMode(NS_TR2, QStringLiteral("VideoSourceModes")));
    return true;
}

bool MediaService::getVideoEncoderInstances2(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (token != QLatin1String(media::kVideoSourceConfig)) return noConfig(cam, call, token);
    El &info = reply(call, NS_TR2).add(NS_TR2, QStringLiteral("Info"));
    for (const char *e : {"H264", "H265", "JPEG"}) {
        El &c = info.add(NS_TR2, QStringLiteral("Codec"));
        c.add(NS_TR2, QStringLiteral("Encoding"), QLatin1String(e));
        c.add(NS_TR2, QStringLiteral("Number"), QStringLiteral("2"));
    }
    info.add(NS_TR2, QStringLiteral("Total"), QStringLiteral("4"));
    return true;
}

// ---- OSDs -------------------------------------------------------------------------

bool MediaService::getOSDs2(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("OSDToken"));
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (!cfg.isEmpty() && cfg != QLatin1String(media::kVideoSourceConfig))
        return noConfig(cam, call, cfg);
    El &out = reply(call, NS_TR2);
    bool found = token.isEmpty();
    for (const OsdState &o : cam.media.osds) {
        if (!token.isEmpty() && o.token != token) continue;
        out.add(osd(o, NS_TR2, QStringLiteral("OSDs")));
        found = true;
    }
    if (!found)
        return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                         QStringLiteral("no such OSD: ") + token);
    return true;
}

bool MediaService::createOSD2(Camera &cam, SoapCall &call)
{
    return createOsd(cam, call, NS_TR2);
}

bool MediaService::deleteOSD2(Camera &cam, SoapCall &call)
{
    return deleteOsd(cam, call, call.in.childText(QStringLiteral("OSDToken")));
}

bool MediaService::setOSD2(Camera &cam, SoapCall &call)
{
    return setOsd(cam, call);
}

bool MediaService::getOSDOptions2(Camera &cam, SoapCall &call)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (cfg != QLatin1String(media::kVideoSourceConfig)) return noConfig(cam, call, cfg);
    reply(call, NS_TR2).add(osdOptions(NS_TR2, QStringLiteral("OSDOptions")));
    return true;
}

// ---- masks ------------------------------------------------------------------------

bool MediaService::getMasks2(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("Token"));
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (!cfg.isEmpty() && cfg != QLatin1String(media::kVideoSourceConfig))
        return noConfig(cam, call, cfg);
    El &out = reply(call, NS_TR2);
    bool found = token.isEmpty();
    for (const MaskState &k : cam.media.masks) {
        if (!token.isEmpty() && k.token != token) continue;
        out.add(mask(k));
        found = true;
    }
    if (!found)
        return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                         QStringLiteral("no such mask: ") + token);
    return true;
}

bool MediaService::createMask2(Camera &cam, SoapCall &call)
{
    const XNode *x = call.in.child(QStringLiteral("Mask"));
    MaskState k;
    QString why;
    if (!x || !readMask(*x, k, why))
        return D::badArg(cam, call, QStringLiteral("ter:InvalidMask"), why);
    if (cam.media.masks.size() >= size_t(media::kMaxMasks))
        return D::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:MaxMasks")},
                       QStringLiteral("no room for another mask"));
    k.token = QStringLiteral("Mask_%1").arg(cam.media.nextMask++);
    cam.media.masks.push_back(k);
    reply(call, NS_TR2).add(NS_TR2, QStringLiteral("Token"), k.token);
    return true;
}

bool MediaService::setMask2(Camera &cam, SoapCall &call)
{
    const XNode *x = call.in.child(QStringLiteral("Mask"));
    const QString token = x ? x->attr(QStringLiteral("token")) : QString();
    for (MaskState &have : cam.media.masks) {
        if (have.token != token) continue;
        MaskState k;
        QString why;
        if (!readMask(*x, k, why))
            return D::badArg(cam, call, QStringLiteral("ter:InvalidMask"), why);
        k.token = token;
        have = k;
        reply(call, NS_TR2);
        return true;
    }
    return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such mask: ") + token);
}

bool MediaService::deleteMask2(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("Token"));
    auto &v = cam.media.masks;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (it->token != token) continue;
        v.erase(it);
        reply(call, NS_TR2);
        return true;
    }
    return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such mask: ") + token);
}

bool MediaService::getMaskOptions2(Camera &cam, SoapCall &call)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (cfg != QLatin1String(media::kVideoSourceConfig)) return noConfig(cam, call, cfg);
    El &o = reply(call, NS_TR2).add(NS_TR2, QStringLiteral("Options"));
    o.attr(QStringLiteral("RectangleOnly"), QStringLiteral("false"))
        .attr(QStringLiteral("SingleColorOnly"), QStringLiteral("false"));
    o.add(NS_TR2, QStringLiteral("MaxMasks"), QString::number(media::kMaxMasks));
    o.add(NS_TR2, QStringLiteral("MaxPoints"), QString::number(media::kMaxMaskPoints));
    o.add(NS_TR2, QStringLiteral("Types"), QStringLiteral("Color"));
    El &c = o.add(NS_TR2, QStringLiteral("Color"));
    c.add(NS_TT, QStringLiteral("ColorList"))
        .attr(QStringLiteral("X"), QStringLiteral("16"))
        .attr(QStringLiteral("Y"), QStringLiteral("128"))
        .attr(QStringLiteral("Z"), QStringLiteral("128"));
    return true;
}

} // namespace camsim
