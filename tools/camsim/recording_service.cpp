// The simulated recording service: recordings with their tracks and
// recording jobs, created, configured, read back and deleted. A camera starts
// with two recordings (Recording_1, Recording_2; tracks VIDEO001, AUDIO001,
// META001) and one active job recording into the first.
#include "camera.h"
#include "device_service.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

RecRecording *findRecording(RecState &s, const QString &token)
{
    for (RecRecording &r : s.recordings)
        if (r.token == token) return &r;
    return nullptr;
}

RecJob *findJob(RecState &s, const QString &token)
{
    for (RecJob &j : s.jobs)
        if (j.token == token) return &j;
    return nullptr;
}

RecTrack *findTrack(RecRecording &r, const QString &token)
{
    for (RecTrack &t : r.tracks)
        if (t.token == token) return &t;
    return nullptr;
}

bool validTrackType(const QString &t)
{
    return t == "Video" || t == "Audio" || t == "Metadata" || t == "Extended";
}

// The recording named by the request's RecordingToken, or a fault.
RecRecording *recordingOf(Camera &cam, SoapCall &call)
{
    RecRecording *r =
        findRecording(R::state(cam), call.in.childText(QStringLiteral("RecordingToken")));
    if (!r)
        R::badArg(cam, call, QStringLiteral("ter:NoRecording"),
                  QStringLiteral("no such recording"));
    return r;
}

RecJob *jobOf(Camera &cam, SoapCall &call)
{
    RecJob *j = findJob(R::state(cam), call.in.childText(QStringLiteral("JobToken")));
    if (!j)
        R::badArg(cam, call, QStringLiteral("ter:NoRecordingJob"), QStringLiteral("no such job"));
    return j;
}

// A RecordingConfiguration of the request, checked and copied; false with a
// fault when it is incomplete.
bool recordingConfig(Camera &cam, SoapCall &call, El &out)
{
    const XNode *c = call.in.child(QStringLiteral("RecordingConfiguration"));
    const XNode *src = c ? c->child(QStringLiteral("Source")) : nullptr;
    bool ok = src && c->has(QStringLiteral("Content")) &&
              parseDuration(c->childText(QStringLiteral("MaximumRetentionTime"))) &&
              src->has(QStringLiteral("SourceId")) && src->has(QStringLiteral("Address"));
    if (!ok || !copyAs(*c, NS_TT, QStringLiteral("Configuration"), out))
        return R::badArg(cam, call, QStringLiteral("ter:BadConfiguration"),
                         QStringLiteral("incomplete recording configuration"));
    return true;
}

// A JobConfiguration of the request, checked and copied.
bool jobConfig(Camera &cam, SoapCall &call, El &out, QString &recording, QString &mode)
{
    const XNode *c = call.in.child(QStringLiteral("JobConfiguration"));
    if (!c) return R::badArg(cam, call, QString(), QStringLiteral("no JobConfiguration"));
    recording = c->childText(QStringLiteral("RecordingToken"));
    mode = c->childText(QStringLiteral("Mode"));
    if (!findRecording(R::state(cam), recording))
        return R::badArg(cam, call, QStringLiteral("ter:NoRecording"),
                         QStringLiteral("the job records into no known recording"));
    bool prio = false;
    c->childText(QStringLiteral("Priority")).toInt(&prio);
    if (mode.isEmpty() || !prio || !copyAs(*c, NS_TT, QStringLiteral("JobConfiguration"), out))
        return R::badArg(cam, call, QStringLiteral("ter:BadConfiguration"),
                         QStringLiteral("incomplete job configuration"));
    return true;
}

El trackConfiguration(const RecTrack &t, int ns, const QString &name)
{
    El c(ns, name);
    c.add(NS_TT, QStringLiteral("TrackType"), t.type);
    c.add(NS_TT, QStringLiteral("Description"), t.description);
    return c;
}

// ---- handlers --------------------------------------------------------------------

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TRC).add(R::recordingCaps());
    return true;
}

bool createRecording(Camera &cam, SoapCall &call)
{
    RecState &s = R::state(cam);
    El config;
    if (!recordingConfig(cam, call, config)) return false;
    if ((int)s.recordings.size() >= kMaxRecordings)
        return R::action(cam, call, QStringLiteral("ter:MaxRecordings"),
                         QStringLiteral("no room for another recording"));
    RecRecording r;
    for (int guard = 0; guard < 1000 && (r.token.isEmpty() || findRecording(s, r.token)); ++guard)
        r.token = QStringLiteral("Recording_%1").arg(s.nextRecording++);
    r.config = config;
    r.tracks = {
        {QStringLiteral("VIDEO001"), QStringLiteral("Video"), QStringLiteral("Video")},
        {QStringLiteral("AUDIO001"), QStringLiteral("Audio"), QStringLiteral("Audio")},
        {QStringLiteral("META001"), QStringLiteral("Metadata"), QStringLiteral("Metadata")}};
    r.nextTrack = 2;
    s.recordings.push_back(r);
    R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("RecordingToken"), r.token);
    return true;
}

bool deleteRecording(Camera &cam, SoapCall &call)
{
    RecRecording *r = recordingOf(cam, call);
    if (!r) return false;
    RecState &s = R::state(cam);
    const QString token = r->token;
    // Its jobs go with it.
    for (size_t i = s.jobs.size(); i-- > 0;)
        if (s.jobs[i].recording == token) s.jobs.erase(s.jobs.begin() + (long)i);
    s.recordings.erase(s.recordings.begin() + (r - s.recordings.data()));
    return R::done(call, NS_TRC);
}

bool getRecordings(Camera &cam, SoapCall &call)
{
    El &out = R::reply(call, NS_TRC);
    for (const RecRecording &r : R::state(cam).recordings) {
        El &item = out.add(NS_TRC, QStringLiteral("RecordingItem"));
        item.add(NS_TT, QStringLiteral("RecordingToken"), r.token);
        El &conf = item.add(NS_TT, QStringLiteral("Configuration"));
        conf.kids = r.config.kids;
        El &tracks = item.add(NS_TT, QStringLiteral("Tracks"));
        for (const RecTrack &t : r.tracks) {
            El &tr = tracks.add(NS_TT, QStringLiteral("Track"));
            tr.add(NS_TT, QStringLiteral("TrackToken"), t.token);
            tr.add(trackConfiguration(t, NS_TT, QStringLiteral("Configuration")));
        }
    }
    return true;
}

bool setRecordingConfiguration(Camera &cam, SoapCall &call)
{
    RecRecording *r = recordingOf(cam, call);
    El config;
    if (!r || !recordingConfig(cam, call, config)) return false;
    r->config = config;
    return R::done(call, NS_TRC);
}

bool getRecordingConfiguration(Camera &cam, SoapCall &call)
{
    RecRecording *r = recordingOf(cam, call);
    if (!r) return false;
    R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("RecordingConfiguration")).kids =
        r->config.kids;
    return true;
}

bool getRecordingOptions(Camera &cam, SoapCall &call)
{
    RecRecording *r = recordingOf(cam, call);
    if (!r) return false;
    RecState &s = R::state(cam);
    int spare = kMaxTracks - (int)r->tracks.size();
    El &opt = R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("Options"));
    opt.add(NS_TRC, QStringLiteral("Job"))
        .attr(QStringLiteral("Spare"), QString::number(kMaxJobs - (int)s.jobs.size()))
        .attr(QStringLiteral("CompatibleSources"), QStringLiteral("Profile_1"));
    opt.add(NS_TRC, QStringLiteral("Track"))
        .attr(QStringLiteral("SpareTotal"), QString::number(spare))
        .attr(QStringLiteral("SpareVideo"), QString::number(spare))
        .attr(QStringLiteral("SpareAudio"), QString::number(spare))
        .attr(QStringLiteral("SpareMetadata"), QString::number(spare));
    return true;
}

bool createTrack(Camera &cam, SoapCall &call)
{
    RecRecording *r = recordingOf(cam, call);
    if (!r) return false;
    const XNode *c = call.in.child(QStringLiteral("TrackConfiguration"));
    QString type = c ? c->childText(QStringLiteral("TrackType")) : QString();
    if (!validTrackType(type))
        return R::badArg(cam, call, QStringLiteral("ter:BadConfiguration"),
                         QStringLiteral("TrackType must be Video, Audio, Metadata or Extended"));
    if ((int)r->tracks.size() >= kMaxTracks)
        return R::action(cam, call, QStringLiteral("ter:MaxTracks"),
                         QStringLiteral("no room for another track"));
    const QString prefix = type == "Video"      ? QStringLiteral("VIDEO")
                           : type == "Audio"    ? QStringLiteral("AUDIO")
                           : type == "Metadata" ? QStringLiteral("META")
                                                : QStringLiteral("EXT");
    RecTrack t{QString(), type, c->childText(QStringLiteral("Description"))};
    for (int guard = 0; guard < 1000 && (t.token.isEmpty() || findTrack(*r, t.token)); ++guard)
        t.token = QStringLiteral("%1%2").arg(prefix).arg(r->nextTrack++, 3, 10, QLatin1Char('0'));
    r->tracks.push_back(t);
    R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("TrackToken"), t.token);
    return true;
}

// The track named by the request's RecordingToken and TrackToken, or a fault.
RecTrack *trackOf(Camera &cam, SoapCall &call, RecRecording **rec = nullptr)
{
    RecRecording *r = recordingOf(cam, call);
    if (!r) return nullptr;
    if (rec) *rec = r;
    RecTrack *t = findTrack(*r, call.in.childText(QStringLiteral("TrackToken")));
    if (!t) R::badArg(cam, call, QStringLiteral("ter:NoTrack"), QStringLiteral("no such track"));
    return t;
}

bool deleteTrack(Camera &cam, SoapCall &call)
{
    RecRecording *r = nullptr;
    RecTrack *t = trackOf(cam, call, &r);
    if (!t) return false;
    r->tracks.erase(r->tracks.begin() + (t - r->tracks.data()));
    return R::done(call, NS_TRC);
}

bool getTrackConfiguration(Camera &cam, SoapCall &call)
{
    RecTrack *t = trackOf(cam, call);
    if (!t) return false;
    R::reply(call, NS_TRC)
        .add(trackConfiguration(*t, NS_TRC, QStringLiteral("TrackConfiguration")));
    return true;
}

bool setTrackConfiguration(Camera &cam, SoapCall &call)
{
    RecTrack *t = trackOf(cam, call);
    if (!t) return false;
    const XNode *c = call.in.child(QStringLiteral("TrackConfiguration"));
    QString type = c ? c->childText(QStringLiteral("TrackType")) : QString();
    if (!validTrackType(type))
        return R::badArg(cam, call, QStringLiteral("ter:BadConfiguration"),
                         QStringLiteral("bad TrackType"));
    t->type = type;
    t->description = c->childText(QStringLiteral("Description"));
    return R::done(call, NS_TRC);
}

bool createRecordingJob(Camera &cam, SoapCall &call)
{
    RecState &s = R::state(cam);
    RecJob j;
    if (!jobConfig(cam, call, j.config, j.recording, j.mode)) return false;
    if ((int)s.jobs.size() >= kMaxJobs)
        return R::action(cam, call, QStringLiteral("ter:MaxRecordingJobs"),
                         QStringLiteral("no room for another job"));
    for (int guard = 0; guard < 1000 && (j.token.isEmpty() || findJob(s, j.token)); ++guard)
        j.token = QStringLiteral("RecordingJob_%1").arg(s.nextJob++);
    s.jobs.push_back(j);
    El &out = R::reply(call, NS_TRC);
    out.add(NS_TRC, QStringLiteral("JobToken"), j.token);
    out.add(NS_TRC, QStringLiteral("JobConfiguration")).kids = j.config.kids;
    return true;
}

bool deleteRecordingJob(Camera &cam, SoapCall &call)
{
    RecJob *j = jobOf(cam, call);
    if (!j) return false;
    RecState &s = R::state(cam);
    s.jobs.erase(s.jobs.begin() + (j - s.jobs.data()));
    return R::done(call, NS_TRC);
}

bool getRecordingJobs(Camera &cam, SoapCall &call)
{
    El &out = R::reply(call, NS_TRC);
    for (const RecJob &j : R::state(cam).jobs) {
        El &item = out.add(NS_TRC, QStringLiteral("JobItem"));
        item.add(NS_TT, QStringLiteral("JobToken"), j.token);
        item.add(NS_TT, QStringLiteral("JobConfiguration")).kids = j.config.kids;
    }
    return true;
}

bool setRecordingJobConfiguration(Camera &cam, SoapCall &call)
{
    RecJob *j = jobOf(cam, call);
    RecJob changed;
    if (!j || !jobConfig(cam, call, changed.config, changed.recording, changed.mode)) return false;
    changed.token = j->token;
    *j = changed;
    R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("JobConfiguration")).kids = j->config.kids;
    return true;
}

bool getRecordingJobConfiguration(Camera &cam, SoapCall &call)
{
    RecJob *j = jobOf(cam, call);
    if (!j) return false;
    R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("JobConfiguration")).kids = j->config.kids;
    return true;
}

bool setRecordingJobMode(Camera &cam, SoapCall &call)
{
    RecJob *j = jobOf(cam, call);
    if (!j) return false;
    QString mode = call.in.childText(QStringLiteral("Mode"));
    if (mode.isEmpty())
        return R::badArg(cam, call, QStringLiteral("ter:BadMode"), QStringLiteral("no Mode"));
    j->mode = mode;
    for (El &k : j->config.kids)
        if (k.name == "Mode") k.text = mode;
    return R::done(call, NS_TRC);
}

bool getRecordingJobState(Camera &cam, SoapCall &call)
{
    RecJob *j = jobOf(cam, call);
    if (!j) return false;
    const QString state = j->mode == "Active" ? QStringLiteral("Active") : QStringLiteral("Idle");
    El &st = R::reply(call, NS_TRC).add(NS_TRC, QStringLiteral("State"));
    st.add(NS_TT, QStringLiteral("RecordingToken"), j->recording);
    st.add(NS_TT, QStringLiteral("State"), state);
    for (const El &src : j->config.kids) {
        const El *token = nullptr;
        for (const El &k : src.kids)
            if (k.name == "SourceToken") token = &k;
        if (src.name != "Source" || !token) continue;
        El &s = st.add(NS_TT, QStringLiteral("Sources"));
        s.add(*token);
        s.add(NS_TT, QStringLiteral("State"), state);
        El &tracks = s.add(NS_TT, QStringLiteral("Tracks"));
        for (const El &t : src.kids) {
            if (t.name != "Tracks") continue;
            El &tr = tracks.add(NS_TT, QStringLiteral("Track"));
            for (const El &k : t.kids)
                if (k.name == "SourceTag" || k.name == "Destination") tr.add(k);
            tr.add(NS_TT, QStringLiteral("State"), state);
        }
    }
    return true;
}

} // namespace

SoapOpTable recordingServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TRC, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TRC, "CreateRecording", createRecording},
        {NS_TRC, "DeleteRecording", deleteRecording},
        {NS_TRC, "GetRecordings", getRecordings},
        {NS_TRC, "SetRecordingConfiguration", setRecordingConfiguration},
        {NS_TRC, "GetRecordingConfiguration", getRecordingConfiguration},
        {NS_TRC, "GetRecordingOptions", getRecordingOptions},
        {NS_TRC, "CreateTrack", createTrack},
        {NS_TRC, "DeleteTrack", deleteTrack},
        {NS_TRC, "GetTrackConfiguration", getTrackConfiguration},
        {NS_TRC, "SetTrackConfiguration", setTrackConfiguration},
        {NS_TRC, "CreateRecordingJob", createRecordingJob},
        {NS_TRC, "DeleteRecordingJob", deleteRecordingJob},
        {NS_TRC, "GetRecordingJobs", getRecordingJobs},
        {NS_TRC, "SetRecordingJobConfiguration", setRecordingJobConfiguration},
        {NS_TRC, "GetRecordingJobConfiguration", getRecordingJobConfiguration},
        {NS_TRC, "SetRecordingJobMode", setRecordingJobMode},
        {NS_TRC, "GetRecordingJobState", getRecordingJobState},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
