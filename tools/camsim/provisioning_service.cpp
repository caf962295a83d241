// The simulated provisioning service of the camera's one video source
// (VideoSource_1): pan, tilt, zoom, roll and focus moves for installation,
// Stop, and the usage counters of the moves made.
#include "camera.h"
#include "device_service.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

bool knownSource(Camera &cam, SoapCall &call)
{
    if (call.in.childText(QStringLiteral("VideoSource")) == QLatin1String(kVideoSource))
        return true;
    return R::badArg(cam, call, QStringLiteral("ter:NoSource"), QStringLiteral("no such source"));
}

// One kind of move: its directions; counted in the usage under its name.
bool move(Camera &cam, SoapCall &call, const QString &what, const QStringList &directions)
{
    if (!knownSource(cam, call)) return false;
    if (!directions.contains(call.in.childText(QStringLiteral("Direction"))))
        return R::badArg(cam, call, QString(),
                         QStringLiteral("Direction must be one of ") + directions.join(' '));
    const QString timeout = call.in.childText(QStringLiteral("Timeout"));
    if (call.in.has(QStringLiteral("Timeout")) && !parseDuration(timeout))
        return R::badArg(cam, call, QString(), QStringLiteral("Timeout must be a duration"));
    ProvisioningState &p = R::state(cam).provisioning;
    p.usage[what]++;
    p.moving = what;
    return R::done(call, NS_TPV);
}

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TPV).add(R::provisioningCaps());
    return true;
}

bool panMove(Camera &cam, SoapCall &call)
{
    return move(cam, call, QStringLiteral("Pan"),
                {QStringLiteral("Left"), QStringLiteral("Right")});
}

bool tiltMove(Camera &cam, SoapCall &call)
{
    return move(cam, call, QStringLiteral("Tilt"), {QStringLiteral("Up"), QStringLiteral("Down")});
}

bool zoomMove(Camera &cam, SoapCall &call)
{
    return move(cam, call, QStringLiteral("Zoom"),
                {QStringLiteral("Wide"), QStringLiteral("Telephoto")});
}

bool rollMove(Camera &cam, SoapCall &call)
{
    return move(
        cam, call, QStringLiteral("Roll"),
        {QStringLiteral("Clockwise"), QStringLiteral("Counterclockwise"), QStringLiteral("Auto")});
}

bool focusMove(Camera &cam, SoapCall &call)
{
    return move(cam, call, QStringLiteral("Focus"),
                {QStringLiteral("Near"), QStringLiteral("Far"), QStringLiteral("Auto")});
}

bool stop(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    R::state(cam).provisioning.moving.clear();
    return R::done(call, NS_TPV);
}

// Usage counters: only the moves made so far (the schema's counts are
// positive integers).
bool getUsage(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    const std::map<QString, int> &usage = R::state(cam).provisioning.usage;
    El &u = R::reply(call, NS_TPV).add(NS_TPV, QStringLiteral("Usage"));
    for (const char *what : {"Pan", "Tilt", "Zoom", "Roll", "Focus"}) {
        auto it = usage.find(QLatin1String(what));
        if (it != usage.end() && it->second > 0)
            u.add(NS_TPV, QLatin1String(what), QString::number(it->second));
    }
    return true;
}

} // namespace

SoapOpTable provisioningServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TPV, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TPV, "PanMove", panMove},
        {NS_TPV, "TiltMove", tiltMove},
        {NS_TPV, "ZoomMove", zoomMove},
        {NS_TPV, "RollMove", rollMove},
        {NS_TPV, "FocusMove", focusMove},
        {NS_TPV, "Stop", stop},
        {NS_TPV, "GetUsage", getUsage},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
