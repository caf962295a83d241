// The simulated replay service: an RTSP replay URI per recording and the
// replay session time-out.
#include "camera.h"
#include "device_service.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

const qint64 kMinTimeoutS = 10, kMaxTimeoutS = 600; // SessionTimeoutRange

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TRP).add(R::replayCaps());
    return true;
}

bool getReplayUri(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("RecordingToken"));
    bool known = false;
    for (const RecRecording &r : R::state(cam).recordings)
        known = known || r.token == token;
    if (!known)
        return R::badArg(cam, call, QStringLiteral("ter:NoRecording"),
                         QStringLiteral("no such recording"));
    const XNode *setup = call.in.child(QStringLiteral("StreamSetup"));
    if (!setup || setup->childText(QStringLiteral("Stream")) != "RTP-Unicast")
        return R::badArg(cam, call, QStringLiteral("ter:InvalidStreamSetup"),
                         QStringLiteral("only RTP-Unicast replay"));
    R::reply(call, NS_TRP)
        .add(NS_TRP, QStringLiteral("Uri"),
             QStringLiteral("rtsp://%1:554/replay/%2").arg(R::host(cam), token));
    return true;
}

bool getReplayConfiguration(Camera &cam, SoapCall &call)
{
    R::reply(call, NS_TRP)
        .add(NS_TRP, QStringLiteral("Configuration"))
        .add(NS_TT, QStringLiteral("SessionTimeout"),
             QStringLiteral("PT%1S").arg(R::state(cam).replayTimeoutS));
    return true;
}

bool setReplayConfiguration(Camera &cam, SoapCall &call)
{
    const XNode *c = call.in.child(QStringLiteral("Configuration"));
    qint64 ms = 0;
    if (!c || !parseDuration(c->childText(QStringLiteral("SessionTimeout")), &ms) ||
        ms / 1000 < kMinTimeoutS || ms / 1000 > kMaxTimeoutS)
        return R::badArg(cam, call, QString(),
                         QStringLiteral("SessionTimeout must be 10 to 600 seconds"));
    R::state(cam).replayTimeoutS = ms / 1000;
    return R::done(call, NS_TRP);
}

} // namespace

SoapOpTable replayServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TRP, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TRP, "GetReplayUri", getReplayUri},
        {NS_TRP, "GetReplayConfiguration", getReplayConfiguration},
        {NS_TRP, "SetReplayConfiguration", setReplayConfiguration},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
