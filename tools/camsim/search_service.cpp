// The simulated search service over the camera's recording store: summary,
// recording information and media attributes, and searches over recordings,
// recorded events, metadata and PTZ positions. A search finds its results
// when it starts (FindX) and hands them out in pages (GetXSearchResults):
// Queued until the first page is asked for, Searching while results remain,
// Completed once the last one went out. EndSearch ends it; a search that is
// not asked about for its KeepAliveTime is dropped.
#include <algorithm>
#include <iterator>

#include "camera.h"
#include "device_service.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

const char kTopicsNs[] = "http://www.onvif.org/ver10/topics";
const char kConcreteSet[] = "http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet";

QDateTime dataUntil(const RecState &s)
{
    return s.dataFrom.addSecs(60LL * qMax<qint64>(1, (qint64)s.events.size()));
}

const RecRecording *findRecording(const RecState &s, const QString &token)
{
    for (const RecRecording &r : s.recordings)
        if (r.token == token) return &r;
    return nullptr;
}

QString recordingStatus(const RecState &s, const QString &token)
{
    for (const RecJob &j : s.jobs)
        if (j.recording == token && j.mode == "Active") return QStringLiteral("Recording");
    return QStringLiteral("Stopped");
}

El trackInformation(const RecState &s, const RecTrack &t)
{
    El ti(NS_TT, QStringLiteral("TrackInformation"));
    ti.add(NS_TT, QStringLiteral("TrackToken"), t.token);
    ti.add(NS_TT, QStringLiteral("TrackType"), t.type);
    ti.add(NS_TT, QStringLiteral("Description"), t.description);
    ti.add(NS_TT, QStringLiteral("DataFrom"), recTime(s.dataFrom));
    ti.add(NS_TT, QStringLiteral("DataTo"), recTime(dataUntil(s)));
    return ti;
}

El recordingInformation(const RecState &s, const RecRecording &r, int ns)
{
    El ri(ns, QStringLiteral("RecordingInformation"));
    ri.add(NS_TT, QStringLiteral("RecordingToken"), r.token);
    QString content;
    for (const El &k : r.config.kids) {
        if (k.name == "Source") ri.add(k);
        if (k.name == "Content") content = k.text;
    }
    ri.add(NS_TT, QStringLiteral("EarliestRecording"), recTime(s.dataFrom));
    ri.add(NS_TT, QStringLiteral("LatestRecording"), recTime(dataUntil(s)));
    ri.add(NS_TT, QStringLiteral("Content"), content);
    for (const RecTrack &t : r.tracks) {
        El tr = trackInformation(s, t);
        tr.name = QStringLiteral("Track");
        ri.add(tr);
    }
    ri.add(NS_TT, QStringLiteral("RecordingStatus"), recordingStatus(s, r.token));
    return ri;
}

El simpleItem(const QString &name, const QString &value)
{
    El e(NS_TT, QStringLiteral("SimpleItem"));
    e.attr(QStringLiteral("Name"), name).attr(QStringLiteral("Value"), value);
    return e;
}

El eventResult(const RecEvent &e)
{
    El r(NS_TT, QStringLiteral("Result"));
    r.add(NS_TT, QStringLiteral("RecordingToken"), e.recording);
    r.add(NS_TT, QStringLiteral("TrackToken"), e.track);
    r.add(NS_TT, QStringLiteral("Time"), recTime(e.time));
    El ev(NS_TT, QStringLiteral("Event"));
    ev.add(NS_WSNT, QStringLiteral("Topic"), QStringLiteral("tns1:VideoSource/MotionAlarm"))
        .attr(QStringLiteral("xmlns:tns1"), QLatin1String(kTopicsNs))
        .attr(QStringLiteral("Dialect"), QLatin1String(kConcreteSet));
    El msg(NS_TT, QStringLiteral("Message"));
    msg.attr(QStringLiteral("UtcTime"), recTime(e.time))
        .attr(QStringLiteral("PropertyOperation"), QStringLiteral("Changed"));
    msg.add(NS_TT, QStringLiteral("Source"))
        .add(simpleItem(QStringLiteral("Source"), QLatin1String(kVideoSource)));
    msg.add(NS_TT, QStringLiteral("Key"))
        .add(simpleItem(QStringLiteral("Index"), QString::number(e.index)));
    msg.add(NS_TT, QStringLiteral("Data"))
        .add(simpleItem(QStringLiteral("State"),
                        e.index % 2 ? QStringLiteral("false") : QStringLiteral("true")));
    ev.add(NS_WSNT, QStringLiteral("Message")).add(msg);
    r.add(ev);
    r.add(NS_TT, QStringLiteral("StartStateEvent"), QStringLiteral("false"));
    return r;
}

El metadataResult(const RecEvent &e)
{
    El r(NS_TT, QStringLiteral("Result"));
    r.add(NS_TT, QStringLiteral("RecordingToken"), e.recording);
    r.add(NS_TT, QStringLiteral("TrackToken"), QStringLiteral("META001"));
    r.add(NS_TT, QStringLiteral("Time"), recTime(e.time));
    return r;
}

El ptzResult(const RecEvent &e)
{
    El r = metadataResult(e);
    El &pos = r.add(NS_TT, QStringLiteral("Position"));
    pos.add(NS_TT, QStringLiteral("PanTilt"))
        .attr(QStringLiteral("x"), QString::number((e.index % 10) / 10.0))
        .attr(QStringLiteral("y"), QStringLiteral("0.5"));
    pos.add(NS_TT, QStringLiteral("Zoom")).attr(QStringLiteral("x"), QStringLiteral("0"));
    return r;
}

// Drops the searches whose keep-alive time has passed.
void expire(Camera &cam)
{
    RecState &s = R::state(cam);
    const QDateTime now = R::now(cam);
    for (auto it = s.searches.begin(); it != s.searches.end();)
        it = it->second.expires < now ? s.searches.erase(it) : std::next(it);
}

// The search named by the request's SearchToken (of that kind), or a fault.
RecSearch *searchOf(Camera &cam, SoapCall &call, int kind)
{
    expire(cam);
    RecState &s = R::state(cam);
    auto it = s.searches.find(call.in.childText(QStringLiteral("SearchToken")));
    if (it == s.searches.end() || (kind >= 0 && it->second.kind != kind)) {
        R::badArg(cam, call, QStringLiteral("ter:InvalidToken"), QStringLiteral("no such search"));
        return nullptr;
    }
    it->second.expires = R::now(cam).addSecs(it->second.keepAliveS);
    return &it->second;
}

// Starts a search of the given kind over the store: the scope's recordings,
// the StartPoint..EndPoint window (backwards when EndPoint is earlier), at
// most MaxMatches results.
bool find(Camera &cam, SoapCall &call, RecSearch::Kind kind)
{
    expire(cam);
    RecState &s = R::state(cam);
    const XNode &in = call.in;
    qint64 keepMs = 0;
    if (!parseDuration(in.childText(QStringLiteral("KeepAliveTime")), &keepMs) ||
        !in.has(QStringLiteral("Scope")))
        return R::badArg(cam, call, QString(), QStringLiteral("Scope and KeepAliveTime needed"));
    QStringList scope;
    for (const XNode *r : in.child(QStringLiteral("Scope"))->childrenNamed("IncludedRecordings"))
        scope << r->text;
    for (const QString &t : scope)
        if (!findRecording(s, t)) return R::badArg(cam, call, QStringLiteral("ter:NoRecording"), t);
    bool hasMax = in.has(QStringLiteral("MaxMatches"));
    int maxMatches = in.childText(QStringLiteral("MaxMatches")).toInt();
    if (hasMax && maxMatches < 1)
        return R::badArg(cam, call, QString(), QStringLiteral("MaxMatches must be positive"));
    if ((int)s.searches.size() >= kMaxSearches)
        return R::fail(cam, call, 500, false,
                       {QStringLiteral("ter:Action"), QStringLiteral("ter:ResourceProblem")},
                       QStringLiteral("too many searches"));

    RecSearch search;
    search.kind = kind;
    search.keepAliveS = qMax<qint64>(1, keepMs / 1000);
    auto inScope = [&](const QString &rec) { return scope.isEmpty() || scope.contains(rec); };
    if (kind == RecSearch::Recordings) {
        for (const RecRecording &r : s.recordings) {
            if (!inScope(r.token)) continue;
            search.results.push_back(recordingInformation(s, r, NS_TT));
            search.times.push_back(dataUntil(s));
        }
        search.startAt = s.dataFrom;
    } else {
        QDateTime start, end;
        if (!parseRecTime(in.childText(QStringLiteral("StartPoint")), start))
            return R::badArg(cam, call, QString(), QStringLiteral("StartPoint is no time"));
        bool hasEnd = in.has(QStringLiteral("EndPoint"));
        if (hasEnd && !parseRecTime(in.childText(QStringLiteral("EndPoint")), end))
            return R::badArg(cam, call, QString(), QStringLiteral("EndPoint is no time"));
        const bool back = hasEnd && end < start;
        const QDateTime lo = back ? end : start;
        const QDateTime hi = back ? start : end;
        std::vector<const RecEvent *> hits;
        for (const RecEvent &e : s.events) {
            if (e.time < lo || (hasEnd && e.time > hi) || !inScope(e.recording)) continue;
            if (kind == RecSearch::PTZPositions && e.index % 4) continue;
            hits.push_back(&e);
        }
        if (back) std::reverse(hits.begin(), hits.end());
        for (const RecEvent *e : hits) {
            search.results.push_back(kind == RecSearch::Events     ? eventResult(*e)
                                     : kind == RecSearch::Metadata ? metadataResult(*e)
                                                                   : ptzResult(*e));
            search.times.push_back(e->time);
        }
        search.startAt = start;
    }
    if (hasMax && search.results.size() > (size_t)maxMatches) {
        search.results.resize((size_t)maxMatches);
        search.times.resize((size_t)maxMatches);
    }
    search.expires = R::now(cam).addSecs(search.keepAliveS);
    QString token = QStringLiteral("Search_%1").arg(s.nextSearch++);
    s.searches[token] = search;
    R::reply(call, NS_TSE).add(NS_TSE, QStringLiteral("SearchToken"), token);
    return true;
}

// One page of a search's results: at most MaxResults (all that remain
// without it).
bool results(Camera &cam, SoapCall &call, RecSearch::Kind kind)
{
    RecSearch *search = searchOf(cam, call, kind);
    if (!search) return false;
    int max = (int)search->results.size();
    if (call.in.has(QStringLiteral("MaxResults"))) {
        max = call.in.childText(QStringLiteral("MaxResults")).toInt();
        if (max < 1)
            return R::badArg(cam, call, QString(), QStringLiteral("MaxResults must be positive"));
    }
    search->started = true;
    const size_t from = search->next;
    const size_t to = qMin(search->results.size(), from + (size_t)max);
    El list(NS_TSE, QStringLiteral("ResultList"));
    list.add(NS_TT, QStringLiteral("SearchState"),
             to < search->results.size() ? QStringLiteral("Searching")
                                         : QStringLiteral("Completed"));
    list.kids.insert(list.kids.end(), search->results.begin() + (long)from,
                     search->results.begin() + (long)to);
    search->next = to;
    R::reply(call, NS_TSE).add(list);
    return true;
}

// ---- handlers ----------------------------------------------------------------------

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TSE).add(R::searchCaps());
    return true;
}

bool getRecordingSummary(Camera &cam, SoapCall &call)
{
    RecState &s = R::state(cam);
    El &sum = R::reply(call, NS_TSE).add(NS_TSE, QStringLiteral("Summary"));
    sum.add(NS_TT, QStringLiteral("DataFrom"), recTime(s.dataFrom));
    sum.add(NS_TT, QStringLiteral("DataUntil"), recTime(dataUntil(s)));
    sum.add(NS_TT, QStringLiteral("NumberRecordings"), QString::number(s.recordings.size()));
    return true;
}

bool getRecordingInformation(Camera &cam, SoapCall &call)
{
    RecState &s = R::state(cam);
    const RecRecording *r = findRecording(s, call.in.childText(QStringLiteral("RecordingToken")));
    if (!r)
        return R::badArg(cam, call, QStringLiteral("ter:NoRecording"),
                         QStringLiteral("no such recording"));
    R::reply(call, NS_TSE).add(recordingInformation(s, *r, NS_TSE));
    return true;
}

bool getMediaAttributes(Camera &cam, SoapCall &call)
{
    RecState &s = R::state(cam);
    std::vector<const RecRecording *> recs;
    for (const XNode *t : call.in.childrenNamed(QStringLiteral("RecordingTokens"))) {
        const RecRecording *r = findRecording(s, t->text);
        if (!r) return R::badArg(cam, call, QStringLiteral("ter:NoRecording"), t->text);
        recs.push_back(r);
    }
    El &out = R::reply(call, NS_TSE);
    for (const RecRecording *r : recs) {
        El &ma = out.add(NS_TSE, QStringLiteral("MediaAttributes"));
        ma.add(NS_TT, QStringLiteral("RecordingToken"), r->token);
        for (const RecTrack &t : r->tracks) {
            El &ta = ma.add(NS_TT, QStringLiteral("TrackAttributes"));
            ta.add(trackInformation(s, t));
            if (t.type == "Video") {
                El &v = ta.add(NS_TT, QStringLiteral("VideoAttributes"));
                v.add(NS_TT, QStringLiteral("Width"), QStringLiteral("1920"));
                v.add(NS_TT, QStringLiteral("Height"), QStringLiteral("1080"));
                v.add(NS_TT, QStringLiteral("Encoding"), QStringLiteral("H264"));
                v.add(NS_TT, QStringLiteral("Framerate"), QStringLiteral("25"));
            } else if (t.type == "Audio") {
                El &a = ta.add(NS_TT, QStringLiteral("AudioAttributes"));
                a.add(NS_TT, QStringLiteral("Encoding"), QStringLiteral("G711"));
                a.add(NS_TT, QStringLiteral("Samplerate"), QStringLiteral("8"));
            } else if (t.type == "Metadata") {
                El &m = ta.add(NS_TT, QStringLiteral("MetadataAttributes"));
                m.add(NS_TT, QStringLiteral("CanContainPTZ"), QStringLiteral("true"));
                m.add(NS_TT, QStringLiteral("CanContainAnalytics"), QStringLiteral("true"));
                m.add(NS_TT, QStringLiteral("CanContainNotifications"), QStringLiteral("true"));
            }
        }
        ma.add(NS_TT, QStringLiteral("From"), recTime(s.dataFrom));
        ma.add(NS_TT, QStringLiteral("Until"), recTime(dataUntil(s)));
    }
    return true;
}

bool findRecordings(Camera &cam, SoapCall &call)
{
    return find(cam, call, RecSearch::Recordings);
}
bool getRecordingSearchResults(Camera &cam, SoapCall &call)
{
    return results(cam, call, RecSearch::Recordings);
}
bool findEvents(Camera &cam, SoapCall &call)
{
    return find(cam, call, RecSearch::Events);
}
bool getEventSearchResults(Camera &cam, SoapCall &call)
{
    return results(cam, call, RecSearch::Events);
}
bool findMetadata(Camera &cam, SoapCall &call)
{
    return find(cam, call, RecSearch::Metadata);
}
bool getMetadataSearchResults(Camera &cam, SoapCall &call)
{
    return results(cam, call, RecSearch::Metadata);
}
bool findPTZPosition(Camera &cam, SoapCall &call)
{
    return find(cam, call, RecSearch::PTZPositions);
}
bool getPTZPositionSearchResults(Camera &cam, SoapCall &call)
{
    return results(cam, call, RecSearch::PTZPositions);
}

bool getSearchState(Camera &cam, SoapCall &call)
{
    RecSearch *search = searchOf(cam, call, -1);
    if (!search) return false;
    QString state = !search->started                        ? QStringLiteral("Queued")
                    : search->next < search->results.size() ? QStringLiteral("Searching")
                                                            : QStringLiteral("Completed");
    R::reply(call, NS_TSE).add(NS_TSE, QStringLiteral("State"), state);
    return true;
}

// Ends a search; the answer is the time point up to which results went out.
bool endSearch(Camera &cam, SoapCall &call)
{
    RecSearch *search = searchOf(cam, call, -1);
    if (!search) return false;
    QDateTime end = search->next ? search->times[search->next - 1] : search->startAt;
    R::state(cam).searches.erase(call.in.childText(QStringLiteral("SearchToken")));
    R::reply(call, NS_TSE).add(NS_TSE, QStringLiteral("Endpoint"), recTime(end));
    return true;
}

} // namespace

SoapOpTable searchServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TSE, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TSE, "GetRecordingSummary", getRecordingSummary},
        {NS_TSE, "GetRecordingInformation", getRecordingInformation},
        {NS_TSE, "GetMediaAttributes", getMediaAttributes},
        {NS_TSE, "FindRecordings", findRecordings},
        {NS_TSE, "GetRecordingSearchResults", getRecordingSearchResults},
        {NS_TSE, "FindEvents", findEvents},
        {NS_TSE, "GetEventSearchResults", getEventSearchResults},
        {NS_TSE, "FindMetadata", findMetadata},
        {NS_TSE, "GetMetadataSearchResults", getMetadataSearchResults},
        {NS_TSE, "FindPTZPosition", findPTZPosition},
        {NS_TSE, "GetPTZPositionSearchResults", getPTZPositionSearchResults},
        {NS_TSE, "GetSearchState", getSearchState},
        {NS_TSE, "EndSearch", endSearch},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
