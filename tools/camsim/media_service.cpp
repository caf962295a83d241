// The media service (ver10): its operation table and handlers, the media
// state a camera starts with, the pieces media 2 shares, and the snapshot
// JPEG served over HTTP. Encoder settings, profiles and OSDs are kept and read
// back; a refused request changes nothing.
#include "media_service.h"

#include <QFile>
#include <QUrlQuery>

#include "device_service.h"

namespace camsim
{

SoapOpTable mediaServiceOps()
{
    using M = MediaService;
    static const SoapOp rows[] = {
        {NS_TRT, "GetServiceCapabilities", M::getServiceCapabilities},
        {NS_TRT, "GetVideoSources", M::getVideoSources},
        {NS_TRT, "GetAudioSources", M::getAudioSources},
        {NS_TRT, "GetAudioOutputs", M::getAudioOutputs},
        {NS_TRT, "GetProfiles", M::getProfiles},
        {NS_TRT, "GetProfile", M::getProfile},
        {NS_TRT, "CreateProfile", M::createProfile},
        {NS_TRT, "DeleteProfile", M::deleteProfile},
        {NS_TRT, "AddVideoSourceConfiguration", M::addConfiguration},
        {NS_TRT, "AddVideoEncoderConfiguration", M::addConfiguration},
        {NS_TRT, "AddAudioSourceConfiguration", M::addConfiguration},
        {NS_TRT, "AddAudioEncoderConfiguration", M::addConfiguration},
        {NS_TRT, "AddPTZConfiguration", M::addConfiguration},
        {NS_TRT, "RemoveVideoSourceConfiguration", M::removeConfiguration},
        {NS_TRT, "RemoveVideoEncoderConfiguration", M::removeConfiguration},
        {NS_TRT, "RemoveAudioSourceConfiguration", M::removeConfiguration},
        {NS_TRT, "RemoveAudioEncoderConfiguration", M::removeConfiguration},
        {NS_TRT, "RemovePTZConfiguration", M::removeConfiguration},
        {NS_TRT, "GetVideoSourceConfigurations", M::getVideoSourceConfigurations},
        {NS_TRT, "GetVideoSourceConfiguration", M::getVideoSourceConfiguration},
        {NS_TRT, "GetAudioSourceConfigurations", M::getAudioSourceConfigurations},
        {NS_TRT, "GetAudioSourceConfiguration", M::getAudioSourceConfiguration},
        {NS_TRT, "GetVideoEncoderConfigurations", M::getVideoEncoderConfigurations},
        {NS_TRT, "GetVideoEncoderConfiguration", M::getVideoEncoderConfiguration},
        {NS_TRT, "SetVideoEncoderConfiguration", M::setVideoEncoderConfiguration},
        {NS_TRT, "GetVideoEncoderConfigurationOptions", M::getVideoEncoderConfigurationOptions},
        {NS_TRT, "GetAudioEncoderConfigurations", M::getAudioEncoderConfigurations},
        {NS_TRT, "GetAudioEncoderConfiguration", M::getAudioEncoderConfiguration},
        {NS_TRT, "GetStreamUri", M::getStreamUri},
        {NS_TRT, "GetSnapshotUri", M::getSnapshotUri},
        {NS_TRT, "SetSynchronizationPoint", M::setSynchronizationPoint},
        {NS_TRT, "GetVideoSourceModes", M::getVideoSourceModes},
        {NS_TRT, "GetGuaranteedNumberOfVideoEncoderInstances",
         M::getGuaranteedNumberOfVideoEncoderInstances},
        {NS_TRT, "GetOSDs", M::getOSDs},
        {NS_TRT, "GetOSD", M::getOSD},
        {NS_TRT, "SetOSD", M::setOSD},
        {NS_TRT, "CreateOSD", M::createOSD},
        {NS_TRT, "DeleteOSD", M::deleteOSD},
        {NS_TRT, "GetOSDOptions", M::getOSDOptions},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

namespace
{

using D = DeviceService;

const int kResolutions[][2] = {{1920, 1080}, {1280, 720}, {640, 360}};

QString num(double v)
{
    return QString::number(v);
}

bool media1Encoding(const QString &e)
{
    return e == "H264" || e == "JPEG";
}

// A tt:VideoEncoderConfiguration of media (H.264 or JPEG only).
El videoEncoder1(const Camera &cam, const VideoEncoderState &e, const QString &name)
{
    El c(NS_TT, name);
    c.attr(QStringLiteral("token"), e.token);
    c.add(NS_TT, QStringLiteral("Name"), e.name);
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(MediaService::useCount(cam, QStringLiteral("VideoEncoder"), e.token)));
    c.add(NS_TT, QStringLiteral("Encoding"), e.encoding);
    El &r = c.add(NS_TT, QStringLiteral("Resolution"));
    r.add(NS_TT, QStringLiteral("Width"), QString::number(e.width));
    r.add(NS_TT, QStringLiteral("Height"), QString::number(e.height));
    c.add(NS_TT, QStringLiteral("Quality"), num(e.quality));
    El &rc = c.add(NS_TT, QStringLiteral("RateControl"));
    rc.add(NS_TT, QStringLiteral("FrameRateLimit"), QString::number(e.fps));
    rc.add(NS_TT, QStringLiteral("EncodingInterval"), QString::number(e.interval));
    rc.add(NS_TT, QStringLiteral("BitrateLimit"), QString::number(e.bitrate));
    if (e.encoding == "H264") {
        El &h = c.add(NS_TT, QStringLiteral("H264"));
        h.add(NS_TT, QStringLiteral("GovLength"), QString::number(e.gov));
        h.add(NS_TT, QStringLiteral("H264Profile"), e.profile);
    }
    El &m = c.add(NS_TT, QStringLiteral("Multicast"));
    El &a = m.add(NS_TT, QStringLiteral("Address"));
    a.add(NS_TT, QStringLiteral("Type"), QStringLiteral("IPv4"));
    a.add(NS_TT, QStringLiteral("IPv4Address"), QStringLiteral("0.0.0.0"));
    m.add(NS_TT, QStringLiteral("Port"), QStringLiteral("0"));
    m.add(NS_TT, QStringLiteral("TTL"), QStringLiteral("1"));
    m.add(NS_TT, QStringLiteral("AutoStart"), QStringLiteral("false"));
    c.add(NS_TT, QStringLiteral("SessionTimeout"), QStringLiteral("PT60S"));
    return c;
}

El audioEncoder1(const Camera &cam, const QString &name)
{
    El c(NS_TT, name);
    c.attr(QStringLiteral("token"), QLatin1String(media::kAudioEncoder));
    c.add(NS_TT, QStringLiteral("Name"), QStringLiteral("AudioEncoder_G711"));
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(MediaService::useCount(cam, QStringLiteral("AudioEncoder"),
                                                 QLatin1String(media::kAudioEncoder))));
    c.add(NS_TT, QStringLiteral("Encoding"), QStringLiteral("G711"));
    c.add(NS_TT, QStringLiteral("Bitrate"), QStringLiteral("64"));
    c.add(NS_TT, QStringLiteral("SampleRate"), QStringLiteral("8"));
    El &m = c.add(NS_TT, QStringLiteral("Multicast"));
    El &a = m.add(NS_TT, QStringLiteral("Address"));
    a.add(NS_TT, QStringLiteral("Type"), QStringLiteral("IPv4"));
    a.add(NS_TT, QStringLiteral("IPv4Address"), QStringLiteral("0.0.0.0"));
    m.add(NS_TT, QStringLiteral("Port"), QStringLiteral("0"));
    m.add(NS_TT, QStringLiteral("TTL"), QStringLiteral("1"));
    m.add(NS_TT, QStringLiteral("AutoStart"), QStringLiteral("false"));
    c.add(NS_TT, QStringLiteral("SessionTimeout"), QStringLiteral("PT60S"));
    return c;
}

// The media view of a profile: configurations media can describe.
El profile1(const Camera &cam, const MediaState &m, const MediaProfileState &p, const QString &name)
{
    El e(NS_TRT, name);
    e.attr(QStringLiteral("token"), p.token).attr(QStringLiteral("fixed"), boolText(p.fixed));
    e.add(NS_TT, QStringLiteral("Name"), p.name);
    if (!p.videoSource.isEmpty())
        e.add(MediaService::videoSourceConfig(cam, NS_TT,
                                              QStringLiteral("VideoSourceConfiguration")));
    if (!p.audioSource.isEmpty())
        e.add(MediaService::audioSourceConfig(cam, NS_TT,
                                              QStringLiteral("AudioSourceConfiguration")));
    const VideoEncoderState *enc = m.encoder(p.videoEncoder);
    if (enc && media1Encoding(enc->encoding))
        e.add(videoEncoder1(cam, *enc, QStringLiteral("VideoEncoderConfiguration")));
    if (!p.audioEncoder.isEmpty())
        e.add(audioEncoder1(cam, QStringLiteral("AudioEncoderConfiguration")));
    if (!p.ptz.isEmpty())
        e.add(MediaService::ptzConfig(cam, NS_TT, QStringLiteral("PTZConfiguration")));
    return e;
}

bool inRange(const QString &text, double lo, double hi, double &out)
{
    bool ok = false;
    out = text.trimmed().toDouble(&ok);
    return ok && out >= lo && out <= hi;
}

bool knownResolution(int w, int h)
{
    for (const auto &r : kResolutions)
        if (r[0] == w && r[1] == h) return true;
    return false;
}

El &resolutionsInto(El &parent, int ns)
{
    for (const auto &r : kResolutions) {
        El &x = parent.add(ns, QStringLiteral("ResolutionsAvailable"));
        x.add(NS_TT, QStringLiteral("Width"), QString::number(r[0]));
        x.add(NS_TT, QStringLiteral("Height"), QString::number(r[1]));
    }
    return parent;
}

El range(const QString &name, int lo, int hi)
{
    El r(NS_TT, name);
    r.add(NS_TT, QStringLiteral("Min"), QString::number(lo));
    r.add(NS_TT, QStringLiteral("Max"), QString::number(hi));
    return r;
}

} // namespace

// ---- state ---------------------------------------------------------------------

MediaProfileState *MediaState::profile(const QString &token)
{
    for (MediaProfileState &p : profiles)
        if (p.token == token) return &p;
    return nullptr;
}

const VideoEncoderState *MediaState::encoder(const QString &token) const
{
    if (token.isEmpty()) return nullptr;
    for (const VideoEncoderState &e : encoders)
        if (e.token == token) return &e;
    return nullptr;
}

VideoEncoderState *MediaState::encoder(const QString &token)
{
    return const_cast<VideoEncoderState *>(static_cast<const MediaState *>(this)->encoder(token));
}

MediaState initialMediaState(const CameraConfig &c)
{
    QList<CameraConfig::MediaProfileConf> confs = c.mediaProfiles;
    if (confs.isEmpty()) {
        CameraConfig::MediaProfileConf main, sub, jpeg;
        main.name = QStringLiteral("MainStream");
        main.audio = main.ptz = true;
        sub.name = QStringLiteral("SubStream");
        sub.encoding = QStringLiteral("H265");
        sub.width = 1280;
        sub.height = 720;
        jpeg.name = QStringLiteral("JpegStream");
        jpeg.encoding = QStringLiteral("JPEG");
        jpeg.width = 640;
        jpeg.height = 360;
        confs << main << sub << jpeg;
    }
    MediaState m;
    for (const CameraConfig::MediaProfileConf &pc : confs) {
        const int i = m.nextProfile++;
        VideoEncoderState e;
        e.token = QStringLiteral("VideoEncoder_%1").arg(i);
        e.name = QStringLiteral("%1_%2x%3").arg(pc.encoding).arg(pc.width).arg(pc.height);
        e.encoding = pc.encoding;
        e.profile = pc.encoding == "H264"   ? QStringLiteral("High")
                    : pc.encoding == "H265" ? QStringLiteral("Main")
                                            : QString();
        e.width = pc.width;
        e.height = pc.height;
        e.bitrate = pc.width >= 1920 ? 4096 : 1024;
        m.encoders.push_back(e);
        MediaProfileState p;
        p.token = QStringLiteral("Profile_%1").arg(i);
        p.name = pc.name.isEmpty() ? p.token : pc.name;
        p.fixed = true;
        p.videoSource = QLatin1String(media::kVideoSourceConfig);
        p.videoEncoder = e.token;
        if (pc.audio) {
            p.audioSource = QLatin1String(media::kAudioSourceConfig);
            p.audioEncoder = QLatin1String(media::kAudioEncoder);
        }
        if (pc.ptz && c.ptz) p.ptz = QLatin1String(media::kPtzConfig);
        m.profiles.push_back(p);
    }
    OsdState clock;
    clock.token = QStringLiteral("OSD_%1").arg(m.nextOsd++);
    clock.textType = QStringLiteral("DateAndTime");
    m.osds.push_back(clock);
    return m;
}

// ---- shared pieces ---------------------------------------------------------------

El &MediaService::reply(SoapCall &call, int ns)
{
    call.out = El(ns, call.in.name + QStringLiteral("Response"));
    return call.out;
}

int MediaService::useCount(const Camera &cam, const QString &kind, const QString &token)
{
    int n = 0;
    for (const MediaProfileState &p : cam.media.profiles) {
        const QString &t = kind == "VideoSource"    ? p.videoSource
                           : kind == "AudioSource"  ? p.audioSource
                           : kind == "VideoEncoder" ? p.videoEncoder
                           : kind == "AudioEncoder" ? p.audioEncoder
                                                    : p.ptz;
        if (t == token) ++n;
    }
    return n;
}

El MediaService::videoSourceConfig(const Camera &cam, int ns, const QString &name)
{
    const QString token = QLatin1String(media::kVideoSourceConfig);
    El c(ns, name);
    c.attr(QStringLiteral("token"), token);
    c.add(NS_TT, QStringLiteral("Name"), QStringLiteral("VideoSourceConfig_1"));
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(useCount(cam, QStringLiteral("VideoSource"), token)));
    c.add(NS_TT, QStringLiteral("SourceToken"), QLatin1String(media::kVideoSource));
    c.add(NS_TT, QStringLiteral("Bounds"))
        .attr(QStringLiteral("x"), QStringLiteral("0"))
        .attr(QStringLiteral("y"), QStringLiteral("0"))
        .attr(QStringLiteral("width"), QString::number(media::kSourceWidth))
        .attr(QStringLiteral("height"), QString::number(media::kSourceHeight));
    return c;
}

El MediaService::audioSourceConfig(const Camera &cam, int ns, const QString &name)
{
    const QString token = QLatin1String(media::kAudioSourceConfig);
    El c(ns, name);
    c.attr(QStringLiteral("token"), token);
    c.add(NS_TT, QStringLiteral("Name"), QStringLiteral("AudioSourceConfig_1"));
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(useCount(cam, QStringLiteral("AudioSource"), token)));
    c.add(NS_TT, QStringLiteral("SourceToken"), QLatin1String(media::kAudioSource));
    return c;
}

El MediaService::ptzConfig(const Camera &cam, int ns, const QString &name)
{
    const QString token = QLatin1String(media::kPtzConfig);
    El c(ns, name);
    c.attr(QStringLiteral("token"), token);
    c.add(NS_TT, QStringLiteral("Name"), QStringLiteral("PTZConfiguration_1"));
    c.add(NS_TT, QStringLiteral("UseCount"),
          QString::number(useCount(cam, QStringLiteral("PTZ"), token)));
    c.add(NS_TT, QStringLiteral("NodeToken"), QLatin1String(media::kPtzNode));
    c.add(NS_TT, QStringLiteral("DefaultPTZTimeout"), QStringLiteral("PT5S"));
    return c;
}

El MediaService::osd(const OsdState &o, int ns, const QString &name)
{
    El e(ns, name);
    e.attr(QStringLiteral("token"), o.token);
    e.add(NS_TT, QStringLiteral("VideoSourceConfigurationToken"),
          QLatin1String(media::kVideoSourceConfig));
    e.add(NS_TT, QStringLiteral("Type"), o.type);
    El &pos = e.add(NS_TT, QStringLiteral("Position"));
    pos.add(NS_TT, QStringLiteral("Type"), o.position);
    if (o.hasPos)
        pos.add(NS_TT, QStringLiteral("Pos"))
            .attr(QStringLiteral("x"), num(o.x))
            .attr(QStringLiteral("y"), num(o.y));
    if (o.type == "Text") {
        El &t = e.add(NS_TT, QStringLiteral("TextString"));
        t.add(NS_TT, QStringLiteral("Type"), o.textType);
        if (o.textType == "Date" || o.textType == "DateAndTime")
            t.add(NS_TT, QStringLiteral("DateFormat"), QStringLiteral("yyyy-MM-dd"));
        if (o.textType == "Time" || o.textType == "DateAndTime")
            t.add(NS_TT, QStringLiteral("TimeFormat"), QStringLiteral("HH:mm:ss"));
        if (o.textType == "Plain") t.add(NS_TT, QStringLiteral("PlainText"), o.plainText);
    } else {
        e.add(NS_TT, QStringLiteral("Image")).add(NS_TT, QStringLiteral("ImgPath"), o.imagePath);
    }
    return e;
}

El MediaService::videoSourceMode(int ns, const QString &name)
{
    El m(ns, name);
    m.attr(QStringLiteral("token"), QLatin1String(media::kSourceMode))
        .attr(QStringLiteral("Enabled"), QStringLiteral("true"));
    m.add(ns, QStringLiteral("MaxFramerate"), QString::number(media::kSourceFps));
    El &r = m.add(ns, QStringLiteral("MaxResolution"));
    r.add(NS_TT, QStringLiteral("Width"), QString::number(media::kSourceWidth));
    r.add(NS_TT, QStringLiteral("Height"), QString::number(media::kSourceHeight));
    m.add(ns, QStringLiteral("Encodings"), QStringLiteral("H264 H265 JPEG"));
    m.add(ns, QStringLiteral("Reboot"), QStringLiteral("false"));
    m.add(ns, QStringLiteral("Description"), QStringLiteral("1080p at 30 frames per second"));
    return m;
}

El MediaService::osdOptions(int ns, const QString &name)
{
    El o(ns, name);
    o.add(NS_TT, QStringLiteral("MaximumNumberOfOSDs"))
        .attr(QStringLiteral("Total"), QString::number(media::kMaxOsds))
        .attr(QStringLiteral("Image"), QStringLiteral("2"))
        .attr(QStringLiteral("PlainText"), QString::number(media::kMaxOsds));
    o.add(NS_TT, QStringLiteral("Type"), QStringLiteral("Text"));
    o.add(NS_TT, QStringLiteral("Type"), QStringLiteral("Image"));
    for (const char *p : {"UpperLeft", "UpperRight", "LowerLeft", "LowerRight", "Custom"})
        o.add(NS_TT, QStringLiteral("PositionOption"), QLatin1String(p));
    El &t = o.add(NS_TT, QStringLiteral("TextOption"));
    for (const char *p : {"Plain", "Date", "Time", "DateAndTime"})
        t.add(NS_TT, QStringLiteral("Type"), QLatin1String(p));
    t.add(range(QStringLiteral("FontSizeRange"), 8, 64));
    t.add(NS_TT, QStringLiteral("DateFormat"), QStringLiteral("yyyy-MM-dd"));
    t.add(NS_TT, QStringLiteral("TimeFormat"), QStringLiteral("HH:mm:ss"));
    o.add(NS_TT, QStringLiteral("ImageOption"))
        .add(NS_TT, QStringLiteral("ImagePath"), QStringLiteral("file:///osd/logo.bmp"));
    return o;
}

QString MediaService::streamUri(const Camera &cam, const QString &profile, bool overHttp)
{
    if (overHttp) return cam.xaddrBase() + QStringLiteral("/rtsp-over-http/") + profile;
    return QStringLiteral("rtsp://%1:554/stream/%2").arg(cam.address(), profile);
}

// A long query, as cameras hand out: a client has to undo the XML escaping
// of "&" and keep the whole path (the last parameter is checked).
QString MediaService::snapshotUri(const Camera &cam, const QString &profile)
{
    return cam.xaddrBase() + QStringLiteral("/onvif-snapshot?profile=") + profile +
           QStringLiteral("&size=full&format=jpeg&quality=high&channel=1&stream=main"
                          "&cache=no-store&source=VideoSource_1&check=complete");
}

bool MediaService::readOsd(const XNode &x, OsdState &o, QString &why)
{
    const QString vsc = x.childText(QStringLiteral("VideoSourceConfigurationToken"));
    if (vsc != QLatin1String(media::kVideoSourceConfig)) {
        why = QStringLiteral("no such video source configuration: ") + vsc;
        return false;
    }
    o.type = x.childText(QStringLiteral("Type"));
    if (o.type != "Text" && o.type != "Image") {
        why = QStringLiteral("unsupported OSD type: ") + o.type;
        return false;
    }
    const XNode *pos = x.child(QStringLiteral("Position"));
    o.position = pos ? pos->childText(QStringLiteral("Type")) : QString();
    if (!QStringList({"UpperLeft", "UpperRight", "LowerLeft", "LowerRight", "Custom"})
             .contains(o.position)) {
        why = QStringLiteral("unsupported position: ") + o.position;
        return false;
    }
    const XNode *p = pos->child(QStringLiteral("Pos"));
    o.hasPos = o.position == "Custom";
    if (o.hasPos && (!p || !inRange(p->attr(QStringLiteral("x")), -1, 1, o.x) ||
                     !inRange(p->attr(QStringLiteral("y")), -1, 1, o.y))) {
        why = QStringLiteral("a Custom position needs Pos x and y in -1..1");
        return false;
    }
    if (o.type == "Text") {
        const XNode *t = x.child(QStringLiteral("TextString"));
        o.textType = t ? t->childText(QStringLiteral("Type")) : QString();
        if (!QStringList({"Plain", "Date", "Time", "DateAndTime"}).contains(o.textType)) {
            why = QStringLiteral("unsupported text type: ") + o.textType;
            return false;
        }
        o.plainText = t->childText(QStringLiteral("PlainText"));
        if (o.textType == "Plain" && (o.plainText.isEmpty() || o.plainText.size() > 128)) {
            why = QStringLiteral("a Plain OSD needs a PlainText of 1 to 128 characters");
            return false;
        }
    } else {
        const XNode *img = x.child(QStringLiteral("Image"));
        o.imagePath = img ? img->childText(QStringLiteral("ImgPath")) : QString();
        if (o.imagePath.isEmpty()) {
            why = QStringLiteral("an Image OSD needs an ImgPath");
            return false;
        }
    }
    return true;
}

MediaProfileState *MediaService::profileOf(Camera &cam, SoapCall &call, const QString &token)
{
    MediaProfileState *p = cam.media.profile(token);
    if (!p)
        D::badArg(cam, call, QStringLiteral("ter:NoProfile"),
                  QStringLiteral("no such profile: ") + token);
    return p;
}

bool MediaService::noConfig(Camera &cam, SoapCall &call, const QString &token)
{
    return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such configuration: ") + token);
}

bool MediaService::createOsd(Camera &cam, SoapCall &call, int ns)
{
    const XNode *x = call.in.child(QStringLiteral("OSD"));
    OsdState o;
    QString why;
    if (!x || !readOsd(*x, o, why))
        return D::badArg(cam, call, QStringLiteral("ter:InvalidOSD"), why);
    if (cam.media.osds.size() >= size_t(media::kMaxOsds))
        return D::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:MaxOSDs")},
                       QStringLiteral("no room for another OSD"));
    o.token = QStringLiteral("OSD_%1").arg(cam.media.nextOsd++);
    cam.media.osds.push_back(o);
    reply(call, ns).add(ns, QStringLiteral("OSDToken"), o.token);
    return true;
}

bool MediaService::setOsd(Camera &cam, SoapCall &call)
{
    const XNode *x = call.in.child(QStringLiteral("OSD"));
    const QString token = x ? x->attr(QStringLiteral("token")) : QString();
    for (OsdState &have : cam.media.osds) {
        if (have.token != token) continue;
        OsdState o;
        QString why;
        if (!readOsd(*x, o, why))
            return D::badArg(cam, call, QStringLiteral("ter:InvalidOSD"), why);
        o.token = token;
        have = o;
        reply(call, call.in.ns == QLatin1String(nsUri(NS_TR2)) ? NS_TR2 : NS_TRT);
        return true;
    }
    return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such OSD: ") + token);
}

bool MediaService::deleteOsd(Camera &cam, SoapCall &call, const QString &token)
{
    auto &v = cam.media.osds;
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (it->token != token) continue;
        v.erase(it);
        reply(call, call.in.ns == QLatin1String(nsUri(NS_TR2)) ? NS_TR2 : NS_TRT);
        return true;
    }
    return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such OSD: ") + token);
}

// ---- media: sources and capabilities ------------------------------------------------

El MediaService::capabilities()
{
    El c(NS_TRT, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("SnapshotUri"), QStringLiteral("true"))
        .attr(QStringLiteral("Rotation"), QStringLiteral("false"))
        .attr(QStringLiteral("VideoSourceMode"), QStringLiteral("true"))
        .attr(QStringLiteral("OSD"), QStringLiteral("true"));
    c.add(NS_TRT, QStringLiteral("ProfileCapabilities"))
        .attr(QStringLiteral("MaximumNumberOfProfiles"), QString::number(media::kMaxProfiles));
    c.add(NS_TRT, QStringLiteral("StreamingCapabilities"))
        .attr(QStringLiteral("RTPMulticast"), QStringLiteral("false"))
        .attr(QStringLiteral("RTP_TCP"), QStringLiteral("true"))
        .attr(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    return c;
}

bool MediaService::getServiceCapabilities(Camera &, SoapCall &call)
{
    reply(call, NS_TRT).add(capabilities());
    return true;
}

bool MediaService::getVideoSources(Camera &, SoapCall &call)
{
    El &s = reply(call, NS_TRT).add(NS_TRT, QStringLiteral("VideoSources"));
    s.attr(QStringLiteral("token"), QLatin1String(media::kVideoSource));
    s.add(NS_TT, QStringLiteral("Framerate"), QString::number(media::kSourceFps));
    El &r = s.add(NS_TT, QStringLiteral("Resolution"));
    r.add(NS_TT, QStringLiteral("Width"), QString::number(media::kSourceWidth));
    r.add(NS_TT, QStringLiteral("Height"), QString::number(media::kSourceHeight));
    return true;
}

bool MediaService::getAudioSources(Camera &, SoapCall &call)
{
    El &s = reply(call, NS_TRT).add(NS_TRT, QStringLiteral("AudioSources"));
    s.attr(QStringLiteral("token"), QLatin1String(media::kAudioSource));
    s.add(NS_TT, QStringLiteral("Channels"), QStringLiteral("1"));
    return true;
}

bool MediaService::getAudioOutputs(Camera &, SoapCall &call)
{
    reply(call, NS_TRT)
        .add(NS_TRT, QStringLiteral("AudioOutputs"))
        .attr(QStringLiteral("token"), QLatin1String(media::kAudioOutput));
    return true;
}

// ---- media: profiles -------------------------------------------------------------

bool MediaService::getProfiles(Camera &cam, SoapCall &call)
{
    El &out = reply(call, NS_TRT);
    for (const MediaProfileState &p : cam.media.profiles)
        out.add(profile1(cam, cam.media, p, QStringLiteral("Profiles")));
    return true;
}

bool MediaService::getProfile(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    reply(call, NS_TRT).add(profile1(cam, cam.media, *p, QStringLiteral("Profile")));
    return true;
}

bool MediaService::createProfile(Camera &cam, SoapCall &call)
{
    const QString name = call.in.childText(QStringLiteral("Name"));
    QString token = call.in.childText(QStringLiteral("Token"));
    if (name.isEmpty() || name.size() > 64)
        return D::badArg(cam, call, QString(), QStringLiteral("a profile needs a name"));
    if (!token.isEmpty() && cam.media.profile(token))
        return D::badArg(cam, call, QStringLiteral("ter:ProfileExists"),
                         QStringLiteral("profile exists: ") + token);
    if (cam.media.profiles.size() >= size_t(media::kMaxProfiles))
        return D::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:MaxNVTProfiles")},
                       QStringLiteral("no room for another profile"));
    if (token.isEmpty())
        for (int guard = 0; guard < 1000 && (token.isEmpty() || cam.media.profile(token)); ++guard)
            token = QStringLiteral("Profile_%1").arg(cam.media.nextProfile++);
    MediaProfileState p;
    p.token = token;
    p.name = name;
    cam.media.profiles.push_back(p);
    reply(call, NS_TRT).add(profile1(cam, cam.media, p, QStringLiteral("Profile")));
    return true;
}

bool MediaService::deleteProfile(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ProfileToken"));
    MediaProfileState *p = profileOf(cam, call, token);
    if (!p) return false;
    if (p->fixed)
        return D::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:DeletionOfFixedProfile")},
                       QStringLiteral("a fixed profile cannot be deleted"));
    auto &v = cam.media.profiles;
    v.erase(v.begin() + (p - v.data()));
    reply(call, NS_TRT);
    return true;
}

// Add<Kind>Configuration and Remove<Kind>Configuration: the kind comes from
// the operation's name.
bool MediaService::addConfiguration(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    const QString op = call.in.name,
                  token = call.in.childText(QStringLiteral("ConfigurationToken"));
    QString *slot = nullptr;
    bool known = false;
    if (op == "AddVideoSourceConfiguration") {
        slot = &p->videoSource;
        known = token == QLatin1String(media::kVideoSourceConfig);
    } else if (op == "AddAudioSourceConfiguration") {
        slot = &p->audioSource;
        known = token == QLatin1String(media::kAudioSourceConfig);
    } else if (op == "AddAudioEncoderConfiguration") {
        slot = &p->audioEncoder;
        known = token == QLatin1String(media::kAudioEncoder);
    } else if (op == "AddPTZConfiguration") {
        slot = &p->ptz;
        known = cam.config().ptz && token == QLatin1String(media::kPtzConfig);
    } else {
        slot = &p->videoEncoder;
        known = cam.media.encoder(token) != nullptr;
    }
    if (!known) return noConfig(cam, call, token);
    *slot = token;
    reply(call, NS_TRT);
    return true;
}

bool MediaService::removeConfiguration(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    const QString op = call.in.name;
    if (op == "RemoveVideoSourceConfiguration")
        p->videoSource.clear();
    else if (op == "RemoveAudioSourceConfiguration")
        p->audioSource.clear();
    else if (op == "RemoveAudioEncoderConfiguration")
        p->audioEncoder.clear();
    else if (op == "RemovePTZConfiguration")
        p->ptz.clear();
    else
        p->videoEncoder.clear();
    reply(call, NS_TRT);
    return true;
}

// ---- media: configurations -------------------------------------------------------

bool MediaService::getVideoSourceConfigurations(Camera &cam, SoapCall &call)
{
    reply(call, NS_TRT).add(videoSourceConfig(cam, NS_TRT, QStringLiteral("Configurations")));
    return true;
}

bool MediaService::getVideoSourceConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (token != QLatin1String(media::kVideoSourceConfig)) return noConfig(cam, call, token);
    reply(call, NS_TRT).add(videoSourceConfig(cam, NS_TRT, QStringLiteral("Configuration")));
    return true;
}

bool MediaService::getAudioSourceConfigurations(Camera &cam, SoapCall &call)
{
    reply(call, NS_TRT).add(audioSourceConfig(cam, NS_TRT, QStringLiteral("Configurations")));
    return true;
}

bool MediaService::getAudioSourceConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (token != QLatin1String(media::kAudioSourceConfig)) return noConfig(cam, call, token);
    reply(call, NS_TRT).add(audioSourceConfig(cam, NS_TRT, QStringLiteral("Configuration")));
    return true;
}

bool MediaService::getVideoEncoderConfigurations(Camera &cam, SoapCall &call)
{
    El &out = reply(call, NS_TRT);
    for (const VideoEncoderState &e : cam.media.encoders) {
        if (!media1Encoding(e.encoding)) continue;
        El c = videoEncoder1(cam, e, QStringLiteral("Configurations"));
        c.ns = NS_TRT;
        out.add(c);
    }
    return true;
}

bool MediaService::getVideoEncoderConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ConfigurationToken"));
    const VideoEncoderState *e = cam.media.encoder(token);
    if (!e || !media1Encoding(e->encoding)) return noConfig(cam, call, token);
    El c = videoEncoder1(cam, *e, QStringLiteral("Configuration"));
    c.ns = NS_TRT;
    reply(call, NS_TRT).add(c);
    return true;
}

bool MediaService::setVideoEncoderConfiguration(Camera &cam, SoapCall &call)
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
    if (!media1Encoding(e.encoding))
        return refuse(QStringLiteral("unsupported encoding: ") + e.encoding);
    const XNode *r = c->child(QStringLiteral("Resolution"));
    e.width = r ? r->childText(QStringLiteral("Width")).toInt() : 0;
    e.height = r ? r->childText(QStringLiteral("Height")).toInt() : 0;
    if (!knownResolution(e.width, e.height))
        return refuse(QStringLiteral("unsupported resolution"));
    if (!inRange(c->childText(QStringLiteral("Quality")), 0, 100, e.quality))
        return refuse(QStringLiteral("Quality outside 0..100"));
    if (const XNode *rc = c->child(QStringLiteral("RateControl"))) {
        double fps = 0, interval = 0, bitrate = 0;
        if (!inRange(rc->childText(QStringLiteral("FrameRateLimit")), 1, media::kSourceFps, fps) ||
            !inRange(rc->childText(QStringLiteral("EncodingInterval")), 1, 30, interval) ||
            !inRange(rc->childText(QStringLiteral("BitrateLimit")), 32, 16384, bitrate))
            return refuse(QStringLiteral("RateControl outside the options"));
        e.fps = int(fps);
        e.interval = int(interval);
        e.bitrate = int(bitrate);
    }
    if (e.encoding == "H264") {
        const XNode *h = c->child(QStringLiteral("H264"));
        double gov = e.gov;
        if (h && !inRange(h->childText(QStringLiteral("GovLength")), 1, 300, gov))
            return refuse(QStringLiteral("GovLength outside 1..300"));
        e.gov = int(gov);
        e.profile = h ? h->childText(QStringLiteral("H264Profile")) : QStringLiteral("Main");
        if (!QStringList({"Baseline", "Main", "High"}).contains(e.profile))
            return refuse(QStringLiteral("unsupported H264Profile: ") + e.profile);
    } else {
        e.profile.clear();
    }
    *have = e;
    reply(call, NS_TRT);
    return true;
}

bool MediaService::getVideoEncoderConfigurationOptions(Camera &cam, SoapCall &call)
{
    const QString cfgToken = call.in.childText(QStringLiteral("ConfigurationToken"));
    const QString profToken = call.in.childText(QStringLiteral("ProfileToken"));
    if (!cfgToken.isEmpty() && !cam.media.encoder(cfgToken)) return noConfig(cam, call, cfgToken);
    if (!profToken.isEmpty() && !profileOf(cam, call, profToken)) return false;
    El &o = reply(call, NS_TRT).add(NS_TRT, QStringLiteral("Options"));
    o.add(range(QStringLiteral("QualityRange"), 0, 100));
    El &j = resolutionsInto(o.add(NS_TT, QStringLiteral("JPEG")), NS_TT);
    j.add(range(QStringLiteral("FrameRateRange"), 1, media::kSourceFps));
    j.add(range(QStringLiteral("EncodingIntervalRange"), 1, 30));
    El &h = resolutionsInto(o.add(NS_TT, QStringLiteral("H264")), NS_TT);
    h.add(range(QStringLiteral("GovLengthRange"), 1, 300));
    h.add(range(QStringLiteral("FrameRateRange"), 1, media::kSourceFps));
    h.add(range(QStringLiteral("EncodingIntervalRange"), 1, 30));
    for (const char *p : {"Baseline", "Main", "High"})
        h.add(NS_TT, QStringLiteral("H264ProfilesSupported"), QLatin1String(p));
    return true;
}

bool MediaService::getAudioEncoderConfigurations(Camera &cam, SoapCall &call)
{
    El c = audioEncoder1(cam, QStringLiteral("Configurations"));
    c.ns = NS_TRT;
    reply(call, NS_TRT).add(c);
    return true;
}

bool MediaService::getAudioEncoderConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (token != QLatin1String(media::kAudioEncoder)) return noConfig(cam, call, token);
    El c = audioEncoder1(cam, QStringLiteral("Configuration"));
    c.ns = NS_TRT;
    reply(call, NS_TRT).add(c);
    return true;
}

// ---- media: URIs -----------------------------------------------------------------

bool MediaService::getStreamUri(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    const XNode *setup = call.in.child(QStringLiteral("StreamSetup"));
    const XNode *transport = setup ? setup->child(QStringLiteral("Transport")) : nullptr;
    const QString stream = setup ? setup->childText(QStringLiteral("Stream")) : QString();
    const QString proto = transport ? transport->childText(QStringLiteral("Protocol")) : QString();
    if (stream != "RTP-Unicast" || !QStringList({"UDP", "TCP", "RTSP", "HTTP"}).contains(proto))
        return D::badArg(cam, call, QStringLiteral("ter:InvalidStreamSetup"),
                         QStringLiteral("unsupported stream setup: ") + stream + " " + proto);
    const VideoEncoderState *enc = cam.media.encoder(p->videoEncoder);
    if ((!enc || !media1Encoding(enc->encoding)) && p->audioEncoder.isEmpty())
        return D::fail(
            cam, call, 500, false,
            {QStringLiteral("ter:Action"), QStringLiteral("ter:IncompleteConfiguration")},
            QStringLiteral("the profile has no encoder"));
    El &u = reply(call, NS_TRT).add(NS_TRT, QStringLiteral("MediaUri"));
    u.add(NS_TT, QStringLiteral("Uri"), streamUri(cam, p->token, proto == "HTTP"));
    u.add(NS_TT, QStringLiteral("InvalidAfterConnect"), QStringLiteral("false"));
    u.add(NS_TT, QStringLiteral("InvalidAfterReboot"), QStringLiteral("false"));
    u.add(NS_TT, QStringLiteral("Timeout"), QStringLiteral("PT0S"));
    return true;
}

bool MediaService::getSnapshotUri(Camera &cam, SoapCall &call)
{
    MediaProfileState *p = profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")));
    if (!p) return false;
    if (p->videoSource.isEmpty())
        return D::fail(
            cam, call, 500, false,
            {QStringLiteral("ter:Action"), QStringLiteral("ter:IncompleteConfiguration")},
            QStringLiteral("the profile has no video source"));
    El &u = reply(call, NS_TRT).add(NS_TRT, QStringLiteral("MediaUri"));
    u.add(NS_TT, QStringLiteral("Uri"), snapshotUri(cam, p->token));
    u.add(NS_TT, QStringLiteral("InvalidAfterConnect"), QStringLiteral("false"));
    u.add(NS_TT, QStringLiteral("InvalidAfterReboot"), QStringLiteral("false"));
    u.add(NS_TT, QStringLiteral("Timeout"), QStringLiteral("PT0S"));
    return true;
}

bool MediaService::setSynchronizationPoint(Camera &cam, SoapCall &call)
{
    if (!profileOf(cam, call, call.in.childText(QStringLiteral("ProfileToken")))) return false;
    reply(call, NS_TRT);
    return true;
}

bool MediaService::getVideoSourceModes(Camera &cam, SoapCall &call)
{
    const QString source = call.in.childText(QStringLiteral("VideoSourceToken"));
    if (source != QLatin1String(media::kVideoSource))
        return D::badArg(cam, call, QStringLiteral("ter:NoVideoSource"),
                         QStringLiteral("no such video source: ") + source);
    reply(call, NS_TRT).add(videoSourceMode(NS_TRT, QStringLiteral("VideoSourceModes")));
    return true;
}

bool MediaService::getGuaranteedNumberOfVideoEncoderInstances(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (token != QLatin1String(media::kVideoSourceConfig)) return noConfig(cam, call, token);
    El &out = reply(call, NS_TRT);
    out.add(NS_TRT, QStringLiteral("TotalNumber"), QStringLiteral("3"));
    out.add(NS_TRT, QStringLiteral("JPEG"), QStringLiteral("1"));
    out.add(NS_TRT, QStringLiteral("H264"), QStringLiteral("2"));
    return true;
}

// ---- media: OSDs -----------------------------------------------------------------

bool MediaService::getOSDs(Camera &cam, SoapCall &call)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (!cfg.isEmpty() && cfg != QLatin1String(media::kVideoSourceConfig))
        return noConfig(cam, call, cfg);
    El &out = reply(call, NS_TRT);
    for (const OsdState &o : cam.media.osds)
        out.add(osd(o, NS_TRT, QStringLiteral("OSDs")));
    return true;
}

bool MediaService::getOSD(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("OSDToken"));
    for (const OsdState &o : cam.media.osds) {
        if (o.token != token) continue;
        reply(call, NS_TRT).add(osd(o, NS_TRT, QStringLiteral("OSD")));
        return true;
    }
    return D::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such OSD: ") + token);
}

bool MediaService::setOSD(Camera &cam, SoapCall &call)
{
    return setOsd(cam, call);
}

bool MediaService::createOSD(Camera &cam, SoapCall &call)
{
    return createOsd(cam, call, NS_TRT);
}

bool MediaService::deleteOSD(Camera &cam, SoapCall &call)
{
    return deleteOsd(cam, call, call.in.childText(QStringLiteral("OSDToken")));
}

bool MediaService::getOSDOptions(Camera &cam, SoapCall &call)
{
    const QString cfg = call.in.childText(QStringLiteral("ConfigurationToken"));
    if (cfg != QLatin1String(media::kVideoSourceConfig)) return noConfig(cam, call, cfg);
    reply(call, NS_TRT).add(osdOptions(NS_TRT, QStringLiteral("OSDOptions")));
    return true;
}

// ---- the snapshot over HTTP ---------------------------------------------------------

// GET /onvif-snapshot?profile=<token>&size=full&...&check=complete: a small JPEG. With any
// authentication configured the request needs HTTP Digest or Basic (the
// camera's accounts), as cameras ask for their snapshot URIs.
HttpResponse Camera::handleSnapshot(const HttpRequest &req, QJsonObject &log)
{
    HttpResponse r;
    auto answer = [&](int status, const QByteArray &type, const QByteArray &body) {
        r.status = status;
        r.setHeader("Content-Type", type);
        r.body = body;
        return r;
    };
    if (req.method != "GET") {
        r.setHeader("Allow", "GET");
        return answer(405, "text/plain", "method not allowed\n");
    }
    if (cfg.auth != "none") {
        const QString a = checkHttpAuth(req);
        log.insert(QStringLiteral("http_auth"), a);
        if (a != "valid") return httpChallenge();
    }
    const int q = req.target.indexOf(QLatin1Char('?'));
    const QUrlQuery query(q < 0 ? QString() : req.target.mid(q + 1));
    const QString token = query.queryItemValue(QStringLiteral("profile"));
    log.insert(QStringLiteral("snapshot"), token);
    const MediaProfileState *p = media.profile(token);
    if (!p || p->videoSource.isEmpty() || query.queryItemValue(QStringLiteral("size")) != "full" ||
        query.queryItemValue(QStringLiteral("check")) != "complete")
        return answer(404, "text/plain", "no such snapshot\n");
    QFile f(QStringLiteral(":/media/snapshot.jpg"));
    if (!f.open(QIODevice::ReadOnly)) return answer(500, "text/plain", "no snapshot image\n");
    return answer(200, "image/jpeg", f.readAll());
}

} // namespace camsim
