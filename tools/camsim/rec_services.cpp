// What the storage-side services share: the state a camera starts with, the
// way to the camera's clock, addresses and faults, and each service's
// capabilities.
#include "rec_services.h"

#include "camera.h"
#include "device_service.h"

namespace camsim
{

namespace
{

const char kProfileType[] = "http://www.onvif.org/ver10/schema/Profile";

RecRecording recording(const Camera &cam, int n, const QString &content)
{
    RecRecording r;
    r.token = QStringLiteral("Recording_%1").arg(n);
    El &src = r.config.add(NS_TT, QStringLiteral("Source"));
    src.add(NS_TT, QStringLiteral("SourceId"), QStringLiteral("urn:camsim:VideoSource_%1").arg(n));
    src.add(NS_TT, QStringLiteral("Name"), QStringLiteral("Camera %1").arg(n));
    src.add(NS_TT, QStringLiteral("Location"), QStringLiteral("lab"));
    src.add(NS_TT, QStringLiteral("Description"), QStringLiteral("Video source %1").arg(n));
    src.add(NS_TT, QStringLiteral("Address"),
            QStringLiteral("rtsp://%1:554/stream%2").arg(RecServices::host(cam)).arg(n));
    r.config.add(NS_TT, QStringLiteral("Content"), content);
    r.config.add(NS_TT, QStringLiteral("MaximumRetentionTime"), QStringLiteral("PT0S"));
    r.tracks = {
        {QStringLiteral("VIDEO001"), QStringLiteral("Video"), QStringLiteral("Video")},
        {QStringLiteral("AUDIO001"), QStringLiteral("Audio"), QStringLiteral("Audio")},
        {QStringLiteral("META001"), QStringLiteral("Metadata"), QStringLiteral("Metadata")}};
    r.nextTrack = 2;
    return r;
}

RecState initialState(const Camera &cam, int events)
{
    RecState s;
    s.ready = true;
    s.recordings.push_back(recording(cam, 1, QStringLiteral("Entrance, continuous")));
    s.recordings.push_back(recording(cam, 2, QStringLiteral("Yard, on motion")));
    s.nextRecording = 3;
    RecJob job;
    job.token = QStringLiteral("RecordingJob_1");
    job.recording = QStringLiteral("Recording_1");
    job.mode = QStringLiteral("Active");
    job.config.add(NS_TT, QStringLiteral("RecordingToken"), job.recording);
    job.config.add(NS_TT, QStringLiteral("Mode"), job.mode);
    job.config.add(NS_TT, QStringLiteral("Priority"), QStringLiteral("1"));
    El &src = job.config.add(NS_TT, QStringLiteral("Source"));
    src.add(NS_TT, QStringLiteral("SourceToken"))
        .attr(QStringLiteral("Type"), QLatin1String(kProfileType))
        .add(NS_TT, QStringLiteral("Token"), QStringLiteral("Profile_1"));
    El &tr = src.add(NS_TT, QStringLiteral("Tracks"));
    tr.add(NS_TT, QStringLiteral("SourceTag"), QStringLiteral("V1"));
    tr.add(NS_TT, QStringLiteral("Destination"), QStringLiteral("VIDEO001"));
    s.jobs.push_back(job);
    s.nextJob = 2;
    // Motion events a minute apart, alternating between the two recordings.
    s.dataFrom = QDateTime(QDate(2024, 5, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < events; ++i)
        s.events.push_back({s.dataFrom.addSecs(60LL * i),
                            i % 2 ? QStringLiteral("Recording_2") : QStringLiteral("Recording_1"),
                            QStringLiteral("VIDEO001"), i});
    AnalyticsConfig rule;
    rule.name = QStringLiteral("MyMotionDetectorRule");
    rule.type = QStringLiteral("CellMotionDetector");
    rule.simple = {{QStringLiteral("MinCount"), QStringLiteral("5")},
                   {QStringLiteral("AlarmOnDelay"), QStringLiteral("1000")},
                   {QStringLiteral("AlarmOffDelay"), QStringLiteral("1000")},
                   {QStringLiteral("ActiveCells"), QStringLiteral("/v/+8A==")}};
    s.rules.push_back(rule);
    AnalyticsConfig module;
    module.name = QStringLiteral("MyCellMotionModule");
    module.type = QStringLiteral("CellMotionEngine");
    module.simple = {{QStringLiteral("Sensitivity"), QStringLiteral("50")}};
    El layout(NS_TT, QStringLiteral("CellLayout"));
    layout.attr(QStringLiteral("Columns"), QStringLiteral("22"))
        .attr(QStringLiteral("Rows"), QStringLiteral("18"));
    El &tf = layout.add(NS_TT, QStringLiteral("Transformation"));
    tf.add(NS_TT, QStringLiteral("Translate"))
        .attr(QStringLiteral("x"), QStringLiteral("-1.0"))
        .attr(QStringLiteral("y"), QStringLiteral("-1.0"));
    tf.add(NS_TT, QStringLiteral("Scale"))
        .attr(QStringLiteral("x"), QStringLiteral("0.09"))
        .attr(QStringLiteral("y"), QStringLiteral("0.11"));
    module.element.emplace_back(QStringLiteral("Layout"), layout);
    s.modules.push_back(module);
    s.thermal.nuc = QStringLiteral("NUCTable_1");
    s.thermal.radiometry = {{QStringLiteral("ReflectedAmbientTemperature"), 20.0},
                            {QStringLiteral("Emissivity"), 0.95},
                            {QStringLiteral("DistanceToObject"), 5.0}};
    RecReceiver rv;
    rv.token = QStringLiteral("Receiver_1");
    rv.mode = QStringLiteral("NeverConnect");
    rv.uri = QStringLiteral("rtsp://192.0.2.10/stream");
    rv.setup.add(NS_TT, QStringLiteral("Stream"), QStringLiteral("RTP-Unicast"));
    rv.setup.add(NS_TT, QStringLiteral("Transport"))
        .add(NS_TT, QStringLiteral("Protocol"), QStringLiteral("RTSP"));
    s.receivers.push_back(rv);
    s.nextReceiver = 2;
    return s;
}

int nsOfUri(const QString &uri)
{
    for (int ns = NS_NONE + 1; ns < NS_COUNT; ++ns)
        if (uri == QLatin1String(nsUri(ns))) return ns;
    return -1;
}

bool copyKids(const XNode &n, El &out)
{
    out.attrs = n.attrs;
    out.text = n.text;
    for (const XNode &k : n.kids) {
        int ns = nsOfUri(k.ns);
        if (ns < 0) return false;
        El c(ns, k.name);
        if (!copyKids(k, c)) return false;
        out.kids.push_back(c);
    }
    return true;
}

} // namespace

// ---- the camera -------------------------------------------------------------------

RecState &RecServices::state(Camera &cam)
{
    if (!cam.rec.ready) cam.rec = initialState(cam, cam.cfg.searchEvents);
    return cam.rec;
}

QDateTime RecServices::now(const Camera &cam)
{
    return cam.cameraNow();
}

QString RecServices::url(const Camera &cam, const QString &service)
{
    return cam.serviceUrl(service);
}

QString RecServices::host(const Camera &cam)
{
    return cam.addr;
}

El &RecServices::reply(SoapCall &call, int ns)
{
    call.out = El(ns, call.in.name + QStringLiteral("Response"));
    return call.out;
}

bool RecServices::done(SoapCall &call, int ns)
{
    reply(call, ns);
    return true;
}

bool RecServices::fail(Camera &cam, SoapCall &call, int status, bool sender,
                       const QStringList &subcodes, const QString &why)
{
    call.err = cam.faultReply(status, sender, subcodes, why);
    return false;
}

bool RecServices::badArg(Camera &cam, SoapCall &call, const QString &subcode, const QString &why)
{
    QStringList sub{QStringLiteral("ter:InvalidArgVal")};
    if (!subcode.isEmpty()) sub << subcode;
    return fail(cam, call, 400, true, sub, why);
}

bool RecServices::action(Camera &cam, SoapCall &call, const QString &subcode, const QString &why)
{
    return fail(cam, call, 500, false, {QStringLiteral("ter:Action"), subcode}, why);
}

// ---- capabilities --------------------------------------------------------------------

El RecServices::recordingCaps()
{
    El c(NS_TRC, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("DynamicRecordings"), QStringLiteral("true"))
        .attr(QStringLiteral("DynamicTracks"), QStringLiteral("true"))
        .attr(QStringLiteral("Encoding"), QStringLiteral("H264 G711"))
        .attr(QStringLiteral("MaxRecordings"), QString::number(kMaxRecordings))
        .attr(QStringLiteral("MaxRecordingJobs"), QString::number(kMaxJobs))
        .attr(QStringLiteral("Options"), QStringLiteral("true"))
        .attr(QStringLiteral("MetadataRecording"), QStringLiteral("true"));
    return c;
}

El RecServices::searchCaps()
{
    El c(NS_TSE, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("MetadataSearch"), QStringLiteral("true"))
        .attr(QStringLiteral("GeneralStartEvents"), QStringLiteral("false"));
    return c;
}

El RecServices::replayCaps()
{
    El c(NS_TRP, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("ReversePlayback"), QStringLiteral("false"))
        .attr(QStringLiteral("SessionTimeoutRange"), QStringLiteral("10 600"))
        .attr(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    return c;
}

El RecServices::analyticsCaps()
{
    El c(NS_TAN, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("RuleSupport"), QStringLiteral("true"))
        .attr(QStringLiteral("AnalyticsModuleSupport"), QStringLiteral("true"))
        .attr(QStringLiteral("RuleOptionsSupported"), QStringLiteral("true"))
        .attr(QStringLiteral("AnalyticsModuleOptionsSupported"), QStringLiteral("true"));
    return c;
}

El RecServices::thermalCaps()
{
    El c(NS_TTH, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("Radiometry"), QStringLiteral("true"));
    return c;
}

El RecServices::receiverCaps()
{
    El c(NS_TRV, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("RTP_Multicast"), QStringLiteral("false"))
        .attr(QStringLiteral("RTP_TCP"), QStringLiteral("true"))
        .attr(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"))
        .attr(QStringLiteral("SupportedReceivers"), QString::number(kMaxReceivers))
        .attr(QStringLiteral("MaximumRTSPURILength"), QStringLiteral("1024"));
    return c;
}

El RecServices::provisioningCaps()
{
    El c(NS_TPV, QStringLiteral("Capabilities"));
    c.add(NS_TPV, QStringLiteral("DefaultTimeout"), QStringLiteral("PT10S"));
    c.add(NS_TPV, QStringLiteral("Source"))
        .attr(QStringLiteral("VideoSourceToken"), QLatin1String(kVideoSource))
        .attr(QStringLiteral("MaximumPanMoves"), QStringLiteral("1000"))
        .attr(QStringLiteral("MaximumTiltMoves"), QStringLiteral("1000"))
        .attr(QStringLiteral("MaximumZoomMoves"), QStringLiteral("1000"))
        .attr(QStringLiteral("MaximumRollMoves"), QStringLiteral("1000"))
        .attr(QStringLiteral("AutoLevel"), QStringLiteral("true"))
        .attr(QStringLiteral("MaximumFocusMoves"), QStringLiteral("1000"))
        .attr(QStringLiteral("AutoFocus"), QStringLiteral("true"));
    return c;
}

std::vector<ServiceEntry> RecServices::services(const Camera &)
{
    return {{NS_TRC, QStringLiteral("recording_service"), recordingCaps()},
            {NS_TSE, QStringLiteral("search_service"), searchCaps()},
            {NS_TRP, QStringLiteral("replay_service"), replayCaps()},
            {NS_TAN, QStringLiteral("analytics_service"), analyticsCaps()},
            {NS_TTH, QStringLiteral("thermal_service"), thermalCaps()},
            {NS_TRV, QStringLiteral("receiver_service"), receiverCaps()},
            {NS_TPV, QStringLiteral("provisioning_service"), provisioningCaps()}};
}

El RecServices::analyticsCapability(const Camera &cam)
{
    El a(NS_TT, QStringLiteral("Analytics"));
    a.add(NS_TT, QStringLiteral("XAddr"), url(cam, QStringLiteral("analytics_service")));
    a.add(NS_TT, QStringLiteral("RuleSupport"), QStringLiteral("true"));
    a.add(NS_TT, QStringLiteral("AnalyticsModuleSupport"), QStringLiteral("true"));
    return a;
}

void RecServices::addExtensionCapabilities(const Camera &cam, El &ext)
{
    const QString t = QStringLiteral("true"), f = QStringLiteral("false");
    El &r = ext.add(NS_TT, QStringLiteral("Recording"));
    r.add(NS_TT, QStringLiteral("XAddr"), url(cam, QStringLiteral("recording_service")));
    r.add(NS_TT, QStringLiteral("ReceiverSource"), t);
    r.add(NS_TT, QStringLiteral("MediaProfileSource"), t);
    r.add(NS_TT, QStringLiteral("DynamicRecordings"), t);
    r.add(NS_TT, QStringLiteral("DynamicTracks"), t);
    r.add(NS_TT, QStringLiteral("MaxStringLength"), QStringLiteral("256"));
    El &s = ext.add(NS_TT, QStringLiteral("Search"));
    s.add(NS_TT, QStringLiteral("XAddr"), url(cam, QStringLiteral("search_service")));
    s.add(NS_TT, QStringLiteral("MetadataSearch"), t);
    ext.add(NS_TT, QStringLiteral("Replay"))
        .add(NS_TT, QStringLiteral("XAddr"), url(cam, QStringLiteral("replay_service")));
    El &rv = ext.add(NS_TT, QStringLiteral("Receiver"));
    rv.add(NS_TT, QStringLiteral("XAddr"), url(cam, QStringLiteral("receiver_service")));
    rv.add(NS_TT, QStringLiteral("RTP_Multicast"), f);
    rv.add(NS_TT, QStringLiteral("RTP_TCP"), t);
    rv.add(NS_TT, QStringLiteral("RTP_RTSP_TCP"), t);
    rv.add(NS_TT, QStringLiteral("SupportedReceivers"), QString::number(kMaxReceivers));
    rv.add(NS_TT, QStringLiteral("MaximumRTSPURILength"), QStringLiteral("1024"));
}

// ---- shared helpers ------------------------------------------------------------------

QString recTime(const QDateTime &t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

bool parseRecTime(const QString &s, QDateTime &t)
{
    t = QDateTime::fromString(s.trimmed(), Qt::ISODate);
    if (!t.isValid()) return false;
    t = t.toUTC();
    return true;
}

bool copyAs(const XNode &n, int ns, const QString &name, El &out)
{
    out = El(ns, name);
    return copyKids(n, out);
}

El textEl(int ns, const char *name, const QString &text)
{
    return El(ns, QLatin1String(name), text);
}

} // namespace camsim
