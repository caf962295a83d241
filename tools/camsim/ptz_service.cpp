// The simulated PTZ service (answered when the camera's "ptz" is true): one
// node (PTZNode_1) and one configuration (PTZConfig_1) in the generic
// spaces, used by the media profiles Profile_1 and Profile_2. Absolute and
// relative moves, presets and the home position take the head there at
// once; a continuous move runs (at half a unit per second at full velocity)
// until Stop, its timeout or a limit. GetStatus reports where the head is.
// Presets and preset tours are kept and changed; a started tour stands at
// its first spot.
#include <algorithm>
#include <cmath>

#include "device_service.h"

namespace camsim
{

namespace
{

const char kSpaces[] = "http://www.onvif.org/ver10/tptz/";
const QString kNode = QStringLiteral("PTZNode_1");
const QString kConf = QStringLiteral("PTZConfig_1");
const QStringList kProfiles = {QStringLiteral("Profile_1"), QStringLiteral("Profile_2")};
const QStringList kAuxiliary = {QStringLiteral("tt:Wiper|On"), QStringLiteral("tt:Wiper|Off"),
                                QStringLiteral("tt:IRLamp|On"), QStringLiteral("tt:IRLamp|Off")};
const int kMaxPresets = 16;
const int kMaxTours = 4;
const int kMinTimeoutS = 1, kMaxTimeoutS = 60;
const double kRate = 0.5; // generic units per second at velocity 1

QString space(const char *s)
{
    return QLatin1String(kSpaces) + QLatin1String(s);
}
const QString kPtPosition = space("PanTiltSpaces/PositionGenericSpace");
const QString kZPosition = space("ZoomSpaces/PositionGenericSpace");
const QString kPtTranslation = space("PanTiltSpaces/TranslationGenericSpace");
const QString kZTranslation = space("ZoomSpaces/TranslationGenericSpace");
const QString kPtVelocity = space("PanTiltSpaces/VelocityGenericSpace");
const QString kZVelocity = space("ZoomSpaces/VelocityGenericSpace");
const QString kPtSpeed = space("PanTiltSpaces/GenericSpeedSpace");
const QString kZSpeed = space("ZoomSpaces/ZoomGenericSpeedSpace");

El &reply(SoapCall &call)
{
    call.out = El(NS_TPTZ, call.in.name + QStringLiteral("Response"));
    return call.out;
}

El range(const QString &name, double lo, double hi)
{
    El r(NS_TT, name);
    r.add(NS_TT, QStringLiteral("Min"), floatText(lo));
    r.add(NS_TT, QStringLiteral("Max"), floatText(hi));
    return r;
}

El space2d(const QString &name, const QString &uri, double lo, double hi)
{
    El s(NS_TT, name);
    s.add(NS_TT, QStringLiteral("URI"), uri);
    s.add(range(QStringLiteral("XRange"), lo, hi));
    s.add(range(QStringLiteral("YRange"), lo, hi));
    return s;
}

El space1d(const QString &name, const QString &uri, double lo, double hi)
{
    El s(NS_TT, name);
    s.add(NS_TT, QStringLiteral("URI"), uri);
    s.add(range(QStringLiteral("XRange"), lo, hi));
    return s;
}

// The spaces of the node (and of the configuration options), in schema order.
void addSpaces(El &into)
{
    into.add(space2d(QStringLiteral("AbsolutePanTiltPositionSpace"), kPtPosition, -1, 1));
    into.add(space1d(QStringLiteral("AbsoluteZoomPositionSpace"), kZPosition, 0, 1));
    into.add(space2d(QStringLiteral("RelativePanTiltTranslationSpace"), kPtTranslation, -1, 1));
    into.add(space1d(QStringLiteral("RelativeZoomTranslationSpace"), kZTranslation, -1, 1));
    into.add(space2d(QStringLiteral("ContinuousPanTiltVelocitySpace"), kPtVelocity, -1, 1));
    into.add(space1d(QStringLiteral("ContinuousZoomVelocitySpace"), kZVelocity, -1, 1));
    into.add(space1d(QStringLiteral("PanTiltSpeedSpace"), kPtSpeed, 0, 1));
    into.add(space1d(QStringLiteral("ZoomSpeedSpace"), kZSpeed, 0, 1));
}

El vector(const QString &name, const PtzPos &p, bool panTilt = true, bool zoom = true)
{
    El v(NS_TT, name);
    if (panTilt)
        v.add(NS_TT, QStringLiteral("PanTilt"))
            .attr(QStringLiteral("x"), floatText(p.pan))
            .attr(QStringLiteral("y"), floatText(p.tilt))
            .attr(QStringLiteral("space"), kPtPosition);
    if (zoom)
        v.add(NS_TT, QStringLiteral("Zoom"))
            .attr(QStringLiteral("x"), floatText(p.zoom))
            .attr(QStringLiteral("space"), kZPosition);
    return v;
}

El speedEl(const QString &name, const PtzSpeed &s)
{
    El v(NS_TT, name);
    if (s.hasPanTilt)
        v.add(NS_TT, QStringLiteral("PanTilt"))
            .attr(QStringLiteral("x"), floatText(s.pan))
            .attr(QStringLiteral("y"), floatText(s.tilt))
            .attr(QStringLiteral("space"), kPtSpeed);
    if (s.hasZoom)
        v.add(NS_TT, QStringLiteral("Zoom"))
            .attr(QStringLiteral("x"), floatText(s.zoom))
            .attr(QStringLiteral("space"), kZSpeed);
    return v;
}

// Reads the x (and y) attributes of a vector element in the expected space,
// each within lo..hi. "" when fine, else the ONVIF subcode of the problem.
QString readAxis(const XNode *n, bool twoD, const QString &expectSpace, double lo, double hi,
                 const QString &badValue, double &x, double &y)
{
    const QString sp = n->attr(QStringLiteral("space"));
    if (!sp.isEmpty() && sp != expectSpace) return QStringLiteral("ter:SpaceNotSupported");
    bool okx = false, oky = !twoD;
    x = n->attr(QStringLiteral("x")).toDouble(&okx);
    if (twoD) y = n->attr(QStringLiteral("y")).toDouble(&oky);
    auto in = [&](double v) { return std::isfinite(v) && v >= lo && v <= hi; };
    if (!okx || !oky || !in(x) || (twoD && !in(y))) return badValue;
    return QString();
}

// A position or translation vector (PanTilt and Zoom both optional).
QString readVector(const XNode *v, bool translation, PtzPos &p, bool &hasPt, bool &hasZ)
{
    const XNode *pt = v ? v->child(QStringLiteral("PanTilt")) : nullptr;
    const XNode *z = v ? v->child(QStringLiteral("Zoom")) : nullptr;
    hasPt = pt != nullptr;
    hasZ = z != nullptr;
    const QString bad = translation ? QStringLiteral("ter:InvalidTranslation")
                                    : QStringLiteral("ter:InvalidPosition");
    double unused = 0;
    QString why;
    if (pt)
        why = readAxis(pt, true, translation ? kPtTranslation : kPtPosition, translation ? -2 : -1,
                       translation ? 2 : 1, bad, p.pan, p.tilt);
    if (why.isEmpty() && z)
        why = readAxis(z, false, translation ? kZTranslation : kZPosition, translation ? -1 : 0, 1,
                       bad, p.zoom, unused);
    return why;
}

QString readSpeed(const XNode *v, PtzSpeed &s)
{
    const XNode *pt = v ? v->child(QStringLiteral("PanTilt")) : nullptr;
    const XNode *z = v ? v->child(QStringLiteral("Zoom")) : nullptr;
    s.hasPanTilt = pt != nullptr;
    s.hasZoom = z != nullptr;
    double unused = 0;
    QString why;
    if (pt)
        why = readAxis(pt, true, kPtSpeed, 0, 1, QStringLiteral("ter:InvalidSpeed"), s.pan, s.tilt);
    if (why.isEmpty() && z)
        why = readAxis(z, false, kZSpeed, 0, 1, QStringLiteral("ter:InvalidSpeed"), s.zoom, unused);
    return why;
}

} // namespace

struct PtzService {
    // ---- faults and checks ----

    static bool bad(Camera &cam, SoapCall &call, const QString &subcode, const QString &why)
    {
        return DeviceService::badArg(cam, call, subcode, why);
    }

    static bool refuse(Camera &cam, SoapCall &call, const QString &subcode, const QString &why)
    {
        return DeviceService::fail(cam, call, 500, false, {QStringLiteral("ter:Action"), subcode},
                                   why);
    }

    // Every PTZ operation: refused as not supported by a camera without PTZ.
    template <bool (*H)(Camera &, SoapCall &)> static bool run(Camera &cam, SoapCall &call)
    {
        if (!cam.cfg.ptz)
            return DeviceService::fail(
                cam, call, 500, false,
                {QStringLiteral("ter:ActionNotSupported"), QStringLiteral("ter:PTZNotSupported")},
                QStringLiteral("this camera has no PTZ"));
        return H(cam, call);
    }

    static bool profileOk(Camera &cam, SoapCall &call)
    {
        const QString t = call.in.childText(QStringLiteral("ProfileToken"));
        if (kProfiles.contains(t)) return true;
        return bad(cam, call, QStringLiteral("ter:NoProfile"),
                   QStringLiteral("no media profile \"%1\"").arg(t));
    }

    // ---- the head ----

    // Folds a continuous move into the position: it runs until its end,
    // and an axis stops at its limit.
    static void settle(PtzState &p)
    {
        const qint64 t = steadyMs();
        const double secs = double(qMax<qint64>(0, qMin(t, p.until) - p.since)) / 1000.0;
        p.pos.pan = qBound(p.panMin, p.pos.pan + p.vPan * kRate * secs, p.panMax);
        p.pos.tilt = qBound(p.tiltMin, p.pos.tilt + p.vTilt * kRate * secs, p.tiltMax);
        p.pos.zoom = qBound(p.zoomMin, p.pos.zoom + p.vZoom * kRate * secs, p.zoomMax);
        if (t >= p.until) p.vPan = p.vTilt = p.vZoom = 0;
        auto atLimit = [](double v, double x, double lo, double hi) {
            return (v < 0 && x <= lo) || (v > 0 && x >= hi);
        };
        if (atLimit(p.vPan, p.pos.pan, p.panMin, p.panMax)) p.vPan = 0;
        if (atLimit(p.vTilt, p.pos.tilt, p.tiltMin, p.tiltMax)) p.vTilt = 0;
        if (atLimit(p.vZoom, p.pos.zoom, p.zoomMin, p.zoomMax)) p.vZoom = 0;
        p.since = t;
    }

    // A discrete move: the head is there at once, continuous motion ends.
    static void goTo(PtzState &p, const PtzPos &to, bool panTilt = true, bool zoom = true)
    {
        settle(p);
        p.vPan = p.vTilt = p.vZoom = 0;
        if (panTilt) {
            p.pos.pan = qBound(p.panMin, to.pan, p.panMax);
            p.pos.tilt = qBound(p.tiltMin, to.tilt, p.tiltMax);
        }
        if (zoom) p.pos.zoom = qBound(p.zoomMin, to.zoom, p.zoomMax);
    }

    static bool within(const PtzState &p, const PtzPos &x, bool panTilt, bool zoom)
    {
        return (!panTilt || (x.pan >= p.panMin && x.pan <= p.panMax && x.tilt >= p.tiltMin &&
                             x.tilt <= p.tiltMax)) &&
               (!zoom || (x.zoom >= p.zoomMin && x.zoom <= p.zoomMax));
    }

    static bool speedOk(Camera &cam, SoapCall &call)
    {
        PtzSpeed s;
        const QString why = readSpeed(call.in.child(QStringLiteral("Speed")), s);
        return why.isEmpty() || bad(cam, call, why, QStringLiteral("bad Speed"));
    }

    // ---- capabilities, nodes ----

    static bool getServiceCapabilities(Camera &, SoapCall &call)
    {
        reply(call)
            .add(NS_TPTZ, QStringLiteral("Capabilities"))
            .attr(QStringLiteral("EFlip"), QStringLiteral("false"))
            .attr(QStringLiteral("Reverse"), QStringLiteral("false"))
            .attr(QStringLiteral("GetCompatibleConfigurations"), QStringLiteral("false"))
            .attr(QStringLiteral("MoveStatus"), QStringLiteral("true"))
            .attr(QStringLiteral("StatusPosition"), QStringLiteral("true"));
        return true;
    }

    static El node(const QString &name)
    {
        El n(NS_TPTZ, name);
        n.attr(QStringLiteral("token"), kNode)
            .attr(QStringLiteral("FixedHomePosition"), QStringLiteral("false"))
            .attr(QStringLiteral("GeoMove"), QStringLiteral("false"));
        n.add(NS_TT, QStringLiteral("Name"), QStringLiteral("Head"));
        addSpaces(n.add(NS_TT, QStringLiteral("SupportedPTZSpaces")));
        n.add(NS_TT, QStringLiteral("MaximumNumberOfPresets"), QString::number(kMaxPresets));
        n.add(NS_TT, QStringLiteral("HomeSupported"), QStringLiteral("true"));
        for (const QString &a : kAuxiliary)
            n.add(NS_TT, QStringLiteral("AuxiliaryCommands"), a);
        El &tours = n.add(NS_TT, QStringLiteral("Extension"))
                        .add(NS_TT, QStringLiteral("SupportedPresetTour"));
        tours.add(NS_TT, QStringLiteral("MaximumNumberOfPresetTours"), QString::number(kMaxTours));
        for (const char *op : {"Start", "Stop", "Pause"})
            tours.add(NS_TT, QStringLiteral("PTZPresetTourOperation"), QLatin1String(op));
        return n;
    }

    static bool getNodes(Camera &, SoapCall &call)
    {
        reply(call).add(node(QStringLiteral("PTZNode")));
        return true;
    }

    static bool getNode(Camera &cam, SoapCall &call)
    {
        const QString t = call.in.childText(QStringLiteral("NodeToken"));
        if (t != kNode)
            return bad(cam, call, QStringLiteral("ter:NoEntity"),
                       QStringLiteral("no PTZ node \"%1\"").arg(t));
        reply(call).add(node(QStringLiteral("PTZNode")));
        return true;
    }

    // ---- configurations ----

    static El configuration(const Camera &cam, const QString &name)
    {
        const PtzState &p = cam.ptz;
        El c(NS_TPTZ, name);
        c.attr(QStringLiteral("token"), kConf);
        c.add(NS_TT, QStringLiteral("Name"), p.confName);
        c.add(NS_TT, QStringLiteral("UseCount"), QString::number(kProfiles.size()));
        c.add(NS_TT, QStringLiteral("NodeToken"), kNode);
        c.add(NS_TT, QStringLiteral("DefaultAbsolutePantTiltPositionSpace"), kPtPosition);
        c.add(NS_TT, QStringLiteral("DefaultAbsoluteZoomPositionSpace"), kZPosition);
        c.add(NS_TT, QStringLiteral("DefaultRelativePanTiltTranslationSpace"), kPtTranslation);
        c.add(NS_TT, QStringLiteral("DefaultRelativeZoomTranslationSpace"), kZTranslation);
        c.add(NS_TT, QStringLiteral("DefaultContinuousPanTiltVelocitySpace"), kPtVelocity);
        c.add(NS_TT, QStringLiteral("DefaultContinuousZoomVelocitySpace"), kZVelocity);
        c.add(speedEl(QStringLiteral("DefaultPTZSpeed"), p.defaultSpeed));
        c.add(NS_TT, QStringLiteral("DefaultPTZTimeout"),
              QStringLiteral("PT%1S").arg(p.defaultTimeoutS));
        El &pl = c.add(NS_TT, QStringLiteral("PanTiltLimits"));
        El &pr = pl.add(NS_TT, QStringLiteral("Range"));
        pr.add(NS_TT, QStringLiteral("URI"), kPtPosition);
        pr.add(range(QStringLiteral("XRange"), p.panMin, p.panMax));
        pr.add(range(QStringLiteral("YRange"), p.tiltMin, p.tiltMax));
        El &zr = c.add(NS_TT, QStringLiteral("ZoomLimits")).add(NS_TT, QStringLiteral("Range"));
        zr.add(NS_TT, QStringLiteral("URI"), kZPosition);
        zr.add(range(QStringLiteral("XRange"), p.zoomMin, p.zoomMax));
        return c;
    }

    static bool getConfigurations(Camera &cam, SoapCall &call)
    {
        reply(call).add(configuration(cam, QStringLiteral("PTZConfiguration")));
        return true;
    }

    static bool confOk(Camera &cam, SoapCall &call, const QString &token)
    {
        return token == kConf || bad(cam, call, QStringLiteral("ter:NoConfig"),
                                     QStringLiteral("no PTZ configuration \"%1\"").arg(token));
    }

    static bool getConfiguration(Camera &cam, SoapCall &call)
    {
        if (!confOk(cam, call, call.in.childText(QStringLiteral("PTZConfigurationToken"))))
            return false;
        reply(call).add(configuration(cam, QStringLiteral("PTZConfiguration")));
        return true;
    }

    static bool getConfigurationOptions(Camera &cam, SoapCall &call)
    {
        if (!confOk(cam, call, call.in.childText(QStringLiteral("ConfigurationToken"))))
            return false;
        El &o = reply(call).add(NS_TPTZ, QStringLiteral("PTZConfigurationOptions"));
        addSpaces(o.add(NS_TT, QStringLiteral("Spaces")));
        El &t = o.add(NS_TT, QStringLiteral("PTZTimeout"));
        t.add(NS_TT, QStringLiteral("Min"), QStringLiteral("PT%1S").arg(kMinTimeoutS));
        t.add(NS_TT, QStringLiteral("Max"), QStringLiteral("PT%1S").arg(kMaxTimeoutS));
        return true;
    }

    // Name, default speed and timeout and the limits change; the spaces
    // and the node are fixed. All or nothing.
    static bool setConfiguration(Camera &cam, SoapCall &call)
    {
        const XNode *c = call.in.child(QStringLiteral("PTZConfiguration"));
        if (!confOk(cam, call, c ? c->attr(QStringLiteral("token")) : QString())) return false;
        auto modify = [&](const QString &why) {
            return bad(cam, call, QStringLiteral("ter:ConfigModify"), why);
        };
        PtzState next = cam.ptz;
        if (c->childText(QStringLiteral("NodeToken")) != kNode)
            return modify(QStringLiteral("NodeToken must stay %1").arg(kNode));
        next.confName = c->childText(QStringLiteral("Name"));
        if (next.confName.isEmpty() || next.confName.size() > 64)
            return modify(QStringLiteral("bad Name"));
        const struct {
            const char *name;
            const QString &uri;
        } spaces[] = {{"DefaultAbsolutePantTiltPositionSpace", kPtPosition},
                      {"DefaultAbsoluteZoomPositionSpace", kZPosition},
                      {"DefaultRelativePanTiltTranslationSpace", kPtTranslation},
                      {"DefaultRelativeZoomTranslationSpace", kZTranslation},
                      {"DefaultContinuousPanTiltVelocitySpace", kPtVelocity},
                      {"DefaultContinuousZoomVelocitySpace", kZVelocity}};
        for (const auto &s : spaces)
            if (c->has(QLatin1String(s.name)) && c->childText(QLatin1String(s.name)) != s.uri)
                return modify(QStringLiteral("%1 not supported").arg(QLatin1String(s.name)));
        if (const XNode *sp = c->child(QStringLiteral("DefaultPTZSpeed"))) {
            PtzSpeed s;
            if (!readSpeed(sp, s).isEmpty()) return modify(QStringLiteral("bad DefaultPTZSpeed"));
            if (s.hasPanTilt) next.defaultSpeed.pan = s.pan, next.defaultSpeed.tilt = s.tilt;
            if (s.hasZoom) next.defaultSpeed.zoom = s.zoom;
        }
        if (c->has(QStringLiteral("DefaultPTZTimeout"))) {
            qint64 ms = 0;
            if (!parseDuration(c->childText(QStringLiteral("DefaultPTZTimeout")), &ms) ||
                ms < kMinTimeoutS * 1000 || ms > kMaxTimeoutS * 1000)
                return modify(QStringLiteral("DefaultPTZTimeout outside PT%1S..PT%2S")
                                  .arg(kMinTimeoutS)
                                  .arg(kMaxTimeoutS));
            next.defaultTimeoutS = int(ms / 1000);
        }
        // a limit range: within the space, min not above max
        auto limits = [&](const char *elem, bool twoD, double lo, double hi, double *out) {
            const XNode *l = c->child(QLatin1String(elem));
            if (!l) return true;
            const XNode *r = l->child(QStringLiteral("Range"));
            const char *axes[] = {"XRange", "YRange"};
            for (int i = 0; i < (twoD ? 2 : 1); ++i) {
                const XNode *a = r ? r->child(QLatin1String(axes[i])) : nullptr;
                bool ok1 = false, ok2 = false;
                double mn = a ? a->childText(QStringLiteral("Min")).toDouble(&ok1) : 0;
                double mx = a ? a->childText(QStringLiteral("Max")).toDouble(&ok2) : 0;
                if (!ok1 || !ok2 || !(mn >= lo && mn <= mx && mx <= hi)) return false;
                out[2 * i] = mn;
                out[2 * i + 1] = mx;
            }
            return true;
        };
        double pt[4] = {next.panMin, next.panMax, next.tiltMin, next.tiltMax};
        double z[2] = {next.zoomMin, next.zoomMax};
        if (!limits("PanTiltLimits", true, -1, 1, pt) || !limits("ZoomLimits", false, 0, 1, z))
            return modify(QStringLiteral("bad limits"));
        next.panMin = pt[0], next.panMax = pt[1], next.tiltMin = pt[2], next.tiltMax = pt[3];
        next.zoomMin = z[0], next.zoomMax = z[1];
        settle(cam.ptz);
        next.pos = cam.ptz.pos;
        next.since = cam.ptz.since;
        cam.ptz = next;
        goTo(cam.ptz, cam.ptz.pos); // the head stays within the new limits
        reply(call);
        return true;
    }

    // ---- moves and status ----

    static bool getStatus(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        PtzState &p = cam.ptz;
        settle(p);
        El &s = reply(call).add(NS_TPTZ, QStringLiteral("PTZStatus"));
        s.add(vector(QStringLiteral("Position"), p.pos));
        El &m = s.add(NS_TT, QStringLiteral("MoveStatus"));
        auto status = [](bool moving) {
            return moving ? QStringLiteral("MOVING") : QStringLiteral("IDLE");
        };
        m.add(NS_TT, QStringLiteral("PanTilt"), status(p.vPan != 0 || p.vTilt != 0));
        m.add(NS_TT, QStringLiteral("Zoom"), status(p.vZoom != 0));
        s.add(NS_TT, QStringLiteral("UtcTime"),
              cam.cameraNow().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
        return true;
    }

    static bool absoluteMove(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        PtzPos to = cam.ptz.pos;
        bool pt = false, z = false;
        QString why = readVector(call.in.child(QStringLiteral("Position")), false, to, pt, z);
        if (why.isEmpty() && !within(cam.ptz, to, pt, z))
            why = QStringLiteral("ter:InvalidPosition");
        if (!why.isEmpty()) return bad(cam, call, why, QStringLiteral("bad Position"));
        if (!speedOk(cam, call)) return false;
        goTo(cam.ptz, to, pt, z);
        reply(call);
        return true;
    }

    // Beyond a limit the head stops at the limit.
    static bool relativeMove(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        PtzPos d;
        bool pt = false, z = false;
        const QString why =
            readVector(call.in.child(QStringLiteral("Translation")), true, d, pt, z);
        if (!why.isEmpty()) return bad(cam, call, why, QStringLiteral("bad Translation"));
        if (!speedOk(cam, call)) return false;
        settle(cam.ptz);
        const PtzPos at = cam.ptz.pos;
        goTo(cam.ptz, {at.pan + d.pan, at.tilt + d.tilt, at.zoom + d.zoom}, pt, z);
        reply(call);
        return true;
    }

    static bool continuousMove(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const XNode *v = call.in.child(QStringLiteral("Velocity"));
        const XNode *pt = v ? v->child(QStringLiteral("PanTilt")) : nullptr;
        const XNode *z = v ? v->child(QStringLiteral("Zoom")) : nullptr;
        double vp = 0, vt = 0, vz = 0, unused = 0;
        QString why;
        if (pt)
            why = readAxis(pt, true, kPtVelocity, -1, 1, QStringLiteral("ter:InvalidVelocity"), vp,
                           vt);
        if (why.isEmpty() && z)
            why = readAxis(z, false, kZVelocity, -1, 1, QStringLiteral("ter:InvalidVelocity"), vz,
                           unused);
        if (!why.isEmpty()) return bad(cam, call, why, QStringLiteral("bad Velocity"));
        qint64 ms = qint64(cam.ptz.defaultTimeoutS) * 1000;
        if (call.in.has(QStringLiteral("Timeout")) &&
            (!parseDuration(call.in.childText(QStringLiteral("Timeout")), &ms) ||
             ms < kMinTimeoutS * 1000 || ms > kMaxTimeoutS * 1000))
            return bad(
                cam, call, QStringLiteral("ter:TimeoutNotSupported"),
                QStringLiteral("Timeout outside PT%1S..PT%2S").arg(kMinTimeoutS).arg(kMaxTimeoutS));
        PtzState &p = cam.ptz;
        settle(p);
        // an axis the request leaves out keeps what it was doing
        if (pt) p.vPan = vp, p.vTilt = vt;
        if (z) p.vZoom = vz;
        p.until = p.since + ms;
        settle(p); // an axis already at its limit does not start
        reply(call);
        return true;
    }

    static bool stop(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        bool pt = true, z = true;
        if (call.in.has(QStringLiteral("PanTilt")) &&
            !parseBoolText(call.in.childText(QStringLiteral("PanTilt")), pt))
            return bad(cam, call, QString(), QStringLiteral("PanTilt must be a boolean"));
        if (call.in.has(QStringLiteral("Zoom")) &&
            !parseBoolText(call.in.childText(QStringLiteral("Zoom")), z))
            return bad(cam, call, QString(), QStringLiteral("Zoom must be a boolean"));
        PtzState &p = cam.ptz;
        settle(p);
        if (pt) p.vPan = p.vTilt = 0;
        if (z) p.vZoom = 0;
        reply(call);
        return true;
    }

    static bool gotoHomePosition(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call) || !speedOk(cam, call)) return false;
        goTo(cam.ptz, cam.ptz.home);
        reply(call);
        return true;
    }

    static bool setHomePosition(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        settle(cam.ptz);
        cam.ptz.home = cam.ptz.pos;
        reply(call);
        return true;
    }

    // ---- presets ----

    static PtzPreset *preset(Camera &cam, const QString &token)
    {
        for (PtzPreset &p : cam.ptz.presets)
            if (p.token == token) return &p;
        return nullptr;
    }

    static bool noPreset(Camera &cam, SoapCall &call, const QString &token)
    {
        return bad(cam, call, QStringLiteral("ter:NoToken"),
                   QStringLiteral("no preset \"%1\"").arg(token));
    }

    static bool getPresets(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        El &out = reply(call);
        for (const PtzPreset &p : cam.ptz.presets) {
            El &e = out.add(NS_TPTZ, QStringLiteral("Preset"));
            e.attr(QStringLiteral("token"), p.token);
            e.add(NS_TT, QStringLiteral("Name"), p.name);
            e.add(vector(QStringLiteral("PTZPosition"), p.pos));
        }
        return true;
    }

    // The current position as a new preset, or into the preset the request
    // names. A name must be unique; a moving head has no position to keep.
    static bool setPreset(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        PtzState &p = cam.ptz;
        settle(p);
        if (p.vPan != 0 || p.vTilt != 0 || p.vZoom != 0)
            return refuse(cam, call, QStringLiteral("ter:MovingPTZ"),
                          QStringLiteral("the head is moving"));
        const bool hasToken = call.in.has(QStringLiteral("PresetToken"));
        const QString token = call.in.childText(QStringLiteral("PresetToken"));
        PtzPreset *target = hasToken ? preset(cam, token) : nullptr;
        if (hasToken && !target) return noPreset(cam, call, token);
        QString name = call.in.childText(QStringLiteral("PresetName"));
        if (name.size() > 64)
            return bad(cam, call, QStringLiteral("ter:InvalidPresetName"),
                       QStringLiteral("PresetName too long"));
        for (const PtzPreset &x : p.presets)
            if (!name.isEmpty() && x.name == name && &x != target)
                return bad(cam, call, QStringLiteral("ter:PresetExist"),
                           QStringLiteral("a preset is named \"%1\"").arg(name));
        if (!target) {
            if (int(p.presets.size()) >= kMaxPresets)
                return refuse(cam, call, QStringLiteral("ter:TooManyPresets"),
                              QStringLiteral("at most %1 presets").arg(kMaxPresets));
            PtzPreset n;
            n.token = QStringLiteral("Preset_%1").arg(p.nextPreset++);
            n.name = name.isEmpty() ? n.token : name;
            p.presets.push_back(n);
            target = &p.presets.back();
        } else if (!name.isEmpty()) {
            target->name = name;
        }
        target->pos = p.pos;
        reply(call).add(NS_TPTZ, QStringLiteral("PresetToken"), target->token);
        return true;
    }

    static bool removePreset(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const QString token = call.in.childText(QStringLiteral("PresetToken"));
        auto &v = cam.ptz.presets;
        auto it =
            std::find_if(v.begin(), v.end(), [&](const PtzPreset &x) { return x.token == token; });
        if (it == v.end()) return noPreset(cam, call, token);
        v.erase(it);
        reply(call);
        return true;
    }

    static bool gotoPreset(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const QString token = call.in.childText(QStringLiteral("PresetToken"));
        const PtzPreset *x = preset(cam, token);
        if (!x) return noPreset(cam, call, token);
        if (!speedOk(cam, call)) return false;
        goTo(cam.ptz, x->pos);
        reply(call);
        return true;
    }

    // ---- preset tours ----

    static El spot(const QString &name, const PtzTourSpot &s)
    {
        El e(NS_TT, name);
        El &d = e.add(NS_TT, QStringLiteral("PresetDetail"));
        if (s.kind == PtzTourSpot::Preset)
            d.add(NS_TT, QStringLiteral("PresetToken"), s.presetToken);
        else if (s.kind == PtzTourSpot::Home)
            d.add(NS_TT, QStringLiteral("Home"), QStringLiteral("true"));
        else
            d.add(vector(QStringLiteral("PTZPosition"), s.pos, s.hasPanTilt, s.hasZoom));
        if (s.speed.hasPanTilt || s.speed.hasZoom) e.add(speedEl(QStringLiteral("Speed"), s.speed));
        if (!s.stayTime.isEmpty()) e.add(NS_TT, QStringLiteral("StayTime"), s.stayTime);
        return e;
    }

    static El tour(const QString &name, const PtzTour &t)
    {
        El e(NS_TPTZ, name);
        e.attr(QStringLiteral("token"), t.token);
        if (!t.name.isEmpty()) e.add(NS_TT, QStringLiteral("Name"), t.name);
        El &st = e.add(NS_TT, QStringLiteral("Status"));
        st.add(NS_TT, QStringLiteral("State"), t.state);
        if (t.current >= 0 && t.current < int(t.spots.size()))
            st.add(spot(QStringLiteral("CurrentTourSpot"), t.spots[size_t(t.current)]));
        e.add(NS_TT, QStringLiteral("AutoStart"), boolText(t.autoStart));
        El &c = e.add(NS_TT, QStringLiteral("StartingCondition"));
        if (t.randomOrder >= 0)
            c.attr(QStringLiteral("RandomPresetOrder"), boolText(t.randomOrder));
        if (t.recurringTime >= 0)
            c.add(NS_TT, QStringLiteral("RecurringTime"), QString::number(t.recurringTime));
        if (!t.recurringDuration.isEmpty())
            c.add(NS_TT, QStringLiteral("RecurringDuration"), t.recurringDuration);
        if (!t.direction.isEmpty()) c.add(NS_TT, QStringLiteral("Direction"), t.direction);
        for (const PtzTourSpot &s : t.spots)
            e.add(spot(QStringLiteral("TourSpot"), s));
        return e;
    }

    static PtzTour *findTour(Camera &cam, SoapCall &call, const QString &token)
    {
        for (PtzTour &t : cam.ptz.tours)
            if (t.token == token) return &t;
        bad(cam, call, QStringLiteral("ter:NoToken"),
            QStringLiteral("no preset tour \"%1\"").arg(token));
        return nullptr;
    }

    static bool getPresetTours(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        El &out = reply(call);
        for (const PtzTour &t : cam.ptz.tours)
            out.add(tour(QStringLiteral("PresetTour"), t));
        return true;
    }

    static bool getPresetTour(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const PtzTour *t =
            findTour(cam, call, call.in.childText(QStringLiteral("PresetTourToken")));
        if (!t) return false;
        reply(call).add(tour(QStringLiteral("PresetTour"), *t));
        return true;
    }

    static bool getPresetTourOptions(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        if (call.in.has(QStringLiteral("PresetTourToken")) &&
            !findTour(cam, call, call.in.childText(QStringLiteral("PresetTourToken"))))
            return false;
        El &o = reply(call).add(NS_TPTZ, QStringLiteral("Options"));
        o.add(NS_TT, QStringLiteral("AutoStart"), QStringLiteral("true"));
        El &c = o.add(NS_TT, QStringLiteral("StartingCondition"));
        El &rt = c.add(NS_TT, QStringLiteral("RecurringTime"));
        rt.add(NS_TT, QStringLiteral("Min"), QStringLiteral("1"));
        rt.add(NS_TT, QStringLiteral("Max"), QStringLiteral("10"));
        El &rd = c.add(NS_TT, QStringLiteral("RecurringDuration"));
        rd.add(NS_TT, QStringLiteral("Min"), QStringLiteral("PT10S"));
        rd.add(NS_TT, QStringLiteral("Max"), QStringLiteral("PT10M"));
        c.add(NS_TT, QStringLiteral("Direction"), QStringLiteral("Forward"));
        c.add(NS_TT, QStringLiteral("Direction"), QStringLiteral("Backward"));
        El &s = o.add(NS_TT, QStringLiteral("TourSpot"));
        El &d = s.add(NS_TT, QStringLiteral("PresetDetail"));
        for (const PtzPreset &p : cam.ptz.presets)
            d.add(NS_TT, QStringLiteral("PresetToken"), p.token);
        d.add(NS_TT, QStringLiteral("Home"), QStringLiteral("true"));
        d.add(space2d(QStringLiteral("PanTiltPositionSpace"), kPtPosition, -1, 1));
        d.add(space1d(QStringLiteral("ZoomPositionSpace"), kZPosition, 0, 1));
        El &st = s.add(NS_TT, QStringLiteral("StayTime"));
        st.add(NS_TT, QStringLiteral("Min"), QStringLiteral("PT0S"));
        st.add(NS_TT, QStringLiteral("Max"), QStringLiteral("PT1H"));
        return true;
    }

    static bool createPresetTour(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        PtzState &p = cam.ptz;
        if (int(p.tours.size()) >= kMaxTours)
            return refuse(cam, call, QStringLiteral("ter:TooManyPresetTours"),
                          QStringLiteral("at most %1 preset tours").arg(kMaxTours));
        PtzTour t;
        t.token = QStringLiteral("PresetTour_%1").arg(p.nextTour++);
        p.tours.push_back(t);
        reply(call).add(NS_TPTZ, QStringLiteral("PresetTourToken"), t.token);
        return true;
    }

    // Reads one TourSpot; "" when fine, else why not.
    static QString readSpot(Camera &cam, const XNode &x, PtzTourSpot &s)
    {
        const XNode *d = x.child(QStringLiteral("PresetDetail"));
        if (!d) return QStringLiteral("TourSpot without PresetDetail");
        bool home = false;
        if (d->has(QStringLiteral("PresetToken"))) {
            s.presetToken = d->childText(QStringLiteral("PresetToken"));
            if (!preset(cam, s.presetToken))
                return QStringLiteral("no preset \"%1\"").arg(s.presetToken);
        } else if (d->has(QStringLiteral("Home"))) {
            if (!parseBoolText(d->childText(QStringLiteral("Home")), home) || !home)
                return QStringLiteral("Home must be true");
            s.kind = PtzTourSpot::Home;
        } else if (const XNode *pos = d->child(QStringLiteral("PTZPosition"))) {
            s.kind = PtzTourSpot::Position;
            if (!readVector(pos, false, s.pos, s.hasPanTilt, s.hasZoom).isEmpty() ||
                !within(cam.ptz, s.pos, s.hasPanTilt, s.hasZoom))
                return QStringLiteral("bad PTZPosition");
        } else {
            return QStringLiteral("PresetDetail names no spot");
        }
        if (!readSpeed(x.child(QStringLiteral("Speed")), s.speed).isEmpty())
            return QStringLiteral("bad Speed");
        s.stayTime = x.childText(QStringLiteral("StayTime"));
        qint64 ms = 0;
        if (x.has(QStringLiteral("StayTime")) && (!parseDuration(s.stayTime, &ms) || ms > 3600000))
            return QStringLiteral("StayTime outside PT0S..PT1H");
        return QString();
    }

    // Replaces the tour's name, start condition and spots (not its state).
    static bool modifyPresetTour(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const XNode *in = call.in.child(QStringLiteral("PresetTour"));
        PtzTour *t = findTour(cam, call, in ? in->attr(QStringLiteral("token")) : QString());
        if (!t) return false;
        auto invalid = [&](const QString &why) {
            return bad(cam, call, QStringLiteral("ter:InvalidPresetTour"), why);
        };
        PtzTour n = *t;
        n.name = in->childText(QStringLiteral("Name"));
        if (!parseBoolText(in->childText(QStringLiteral("AutoStart")), n.autoStart))
            return invalid(QStringLiteral("AutoStart must be a boolean"));
        const XNode *c = in->child(QStringLiteral("StartingCondition"));
        n.recurringTime = -1;
        n.recurringDuration.clear();
        n.direction.clear();
        n.randomOrder = -1;
        if (c) {
            bool ok = true;
            if (c->has(QStringLiteral("RecurringTime"))) {
                n.recurringTime = c->childText(QStringLiteral("RecurringTime")).toInt(&ok);
                if (!ok || n.recurringTime < 1 || n.recurringTime > 10)
                    return invalid(QStringLiteral("RecurringTime outside 1..10"));
            }
            qint64 ms = 0;
            n.recurringDuration = c->childText(QStringLiteral("RecurringDuration"));
            if (c->has(QStringLiteral("RecurringDuration")) &&
                (!parseDuration(n.recurringDuration, &ms) || ms < 10000 || ms > 600000))
                return invalid(QStringLiteral("RecurringDuration outside PT10S..PT10M"));
            n.direction = c->childText(QStringLiteral("Direction"));
            if (c->has(QStringLiteral("Direction")) && n.direction != "Forward" &&
                n.direction != "Backward")
                return invalid(QStringLiteral("Direction must be Forward or Backward"));
            const QString random = c->attr(QStringLiteral("RandomPresetOrder"));
            bool r = false;
            if (!random.isEmpty()) {
                if (!parseBoolText(random, r))
                    return invalid(QStringLiteral("bad RandomPresetOrder"));
                n.randomOrder = r;
            }
        }
        n.spots.clear();
        for (const XNode *x : in->childrenNamed(QStringLiteral("TourSpot"))) {
            PtzTourSpot s;
            const QString why = readSpot(cam, *x, s);
            if (!why.isEmpty()) return invalid(why);
            n.spots.push_back(s);
        }
        if (n.current >= int(n.spots.size())) n.current = n.spots.empty() ? -1 : 0;
        *t = n;
        reply(call);
        return true;
    }

    // Start goes to the first spot (the last one Backward) and stays there.
    static bool operatePresetTour(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        PtzTour *t = findTour(cam, call, call.in.childText(QStringLiteral("PresetTourToken")));
        if (!t) return false;
        const QString op = call.in.childText(QStringLiteral("Operation"));
        if (op == "Start") {
            if (t->spots.empty())
                return bad(cam, call, QStringLiteral("ter:InvalidPresetTour"),
                           QStringLiteral("the tour has no spots"));
            if (t->state != "Paused")
                t->current = t->direction == "Backward" ? int(t->spots.size()) - 1 : 0;
            const PtzTourSpot &s = t->spots[size_t(t->current)];
            const PtzPreset *p =
                s.kind == PtzTourSpot::Preset ? preset(cam, s.presetToken) : nullptr;
            if (s.kind == PtzTourSpot::Preset && !p)
                return bad(cam, call, QStringLiteral("ter:InvalidPresetTour"),
                           QStringLiteral("preset \"%1\" was removed").arg(s.presetToken));
            goTo(cam.ptz,
                 s.kind == PtzTourSpot::Home ? cam.ptz.home
                 : p                         ? p->pos
                                             : s.pos,
                 s.kind != PtzTourSpot::Position || s.hasPanTilt,
                 s.kind != PtzTourSpot::Position || s.hasZoom);
            t->state = QStringLiteral("Touring");
        } else if (op == "Stop") {
            t->state = QStringLiteral("Idle");
            t->current = -1;
        } else if (op == "Pause") {
            if (t->state != "Touring" && t->state != "Paused")
                return bad(cam, call, QStringLiteral("ter:InvalidPresetTour"),
                           QStringLiteral("the tour is not running"));
            t->state = QStringLiteral("Paused");
        } else {
            return bad(cam, call, QStringLiteral("ter:InvalidPresetTour"),
                       QStringLiteral("Operation %1 not supported").arg(op));
        }
        reply(call);
        return true;
    }

    static bool removePresetTour(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const PtzTour *t =
            findTour(cam, call, call.in.childText(QStringLiteral("PresetTourToken")));
        if (!t) return false;
        cam.ptz.tours.erase(cam.ptz.tours.begin() + (t - cam.ptz.tours.data()));
        reply(call);
        return true;
    }

    // ---- the rest ----

    static bool sendAuxiliaryCommand(Camera &cam, SoapCall &call)
    {
        if (!profileOk(cam, call)) return false;
        const QString c = call.in.childText(QStringLiteral("AuxiliaryData"));
        if (!kAuxiliary.contains(c))
            return bad(cam, call, QStringLiteral("ter:AuxiliaryDataNotSupported"),
                       QStringLiteral("unknown auxiliary command \"%1\"").arg(c));
        DeviceService::record(cam, QStringLiteral("PTZ auxiliary command %1").arg(c));
        reply(call).add(NS_TPTZ, QStringLiteral("AuxiliaryResponse"), c);
        return true;
    }

    static bool geoMove(Camera &cam, SoapCall &call)
    {
        return DeviceService::fail(
            cam, call, 500, false,
            {QStringLiteral("ter:ActionNotSupported"), QStringLiteral("ter:GeoMoveNotSupported")},
            QStringLiteral("the node has no geo location"));
    }
};

SoapOpTable ptzServiceOps()
{
    using P = PtzService;
    static const SoapOp rows[] = {
        {NS_TPTZ, "GetServiceCapabilities", P::run<P::getServiceCapabilities>},
        {NS_TPTZ, "GetNodes", P::run<P::getNodes>},
        {NS_TPTZ, "GetNode", P::run<P::getNode>},
        {NS_TPTZ, "GetPresets", P::run<P::getPresets>},
        {NS_TPTZ, "SetPreset", P::run<P::setPreset>},
        {NS_TPTZ, "RemovePreset", P::run<P::removePreset>},
        {NS_TPTZ, "GotoPreset", P::run<P::gotoPreset>},
        {NS_TPTZ, "GotoHomePosition", P::run<P::gotoHomePosition>},
        {NS_TPTZ, "SetHomePosition", P::run<P::setHomePosition>},
        {NS_TPTZ, "GetStatus", P::run<P::getStatus>},
        {NS_TPTZ, "ContinuousMove", P::run<P::continuousMove>},
        {NS_TPTZ, "RelativeMove", P::run<P::relativeMove>},
        {NS_TPTZ, "AbsoluteMove", P::run<P::absoluteMove>},
        {NS_TPTZ, "Stop", P::run<P::stop>},
        {NS_TPTZ, "GetConfigurations", P::run<P::getConfigurations>},
        {NS_TPTZ, "GetConfiguration", P::run<P::getConfiguration>},
        {NS_TPTZ, "SetConfiguration", P::run<P::setConfiguration>},
        {NS_TPTZ, "GetConfigurationOptions", P::run<P::getConfigurationOptions>},
        {NS_TPTZ, "GetPresetTours", P::run<P::getPresetTours>},
        {NS_TPTZ, "GetPresetTour", P::run<P::getPresetTour>},
        {NS_TPTZ, "GetPresetTourOptions", P::run<P::getPresetTourOptions>},
        {NS_TPTZ, "CreatePresetTour", P::run<P::createPresetTour>},
        {NS_TPTZ, "ModifyPresetTour", P::run<P::modifyPresetTour>},
        {NS_TPTZ, "OperatePresetTour", P::run<P::operatePresetTour>},
        {NS_TPTZ, "RemovePresetTour", P::run<P::removePresetTour>},
        {NS_TPTZ, "SendAuxiliaryCommand", P::run<P::sendAuxiliaryCommand>},
        {NS_TPTZ, "GeoMove", P::run<P::geoMove>},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
