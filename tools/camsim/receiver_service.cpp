// The simulated receiver service: receivers of RTSP streams from other
// devices, created, configured, switched between connection modes and
// deleted. A camera starts with Receiver_1 (NeverConnect). A receiver in
// AlwaysConnect mode reports Connected, the others NotConnected: nothing is
// really fetched.
#include "camera.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

bool validMode(const QString &m)
{
    return m == "AutoConnect" || m == "AlwaysConnect" || m == "NeverConnect";
}

El receiverEl(const RecReceiver &r, int ns, const QString &name)
{
    El e(ns, name);
    e.add(NS_TT, QStringLiteral("Token"), r.token);
    El &c = e.add(NS_TT, QStringLiteral("Configuration"));
    c.add(NS_TT, QStringLiteral("Mode"), r.mode);
    c.add(NS_TT, QStringLiteral("MediaUri"), r.uri);
    c.add(NS_TT, QStringLiteral("StreamSetup")).kids = r.setup.kids;
    return e;
}

// A ReceiverConfiguration of the request into r; false with a fault.
bool readConfiguration(Camera &cam, SoapCall &call, RecReceiver &r)
{
    const XNode *c = call.in.child(QStringLiteral("Configuration"));
    const XNode *setup = c ? c->child(QStringLiteral("StreamSetup")) : nullptr;
    El s;
    if (!setup || !copyAs(*setup, NS_TT, QStringLiteral("StreamSetup"), s))
        return R::badArg(cam, call, QStringLiteral("ter:BadConfiguration"),
                         QStringLiteral("no StreamSetup"));
    QString mode = c->childText(QStringLiteral("Mode"));
    QString uri = c->childText(QStringLiteral("MediaUri"));
    if (!validMode(mode))
        return R::badArg(cam, call, QStringLiteral("ter:BadConfiguration"),
                         QStringLiteral("bad Mode"));
    if (!uri.startsWith(QLatin1String("rtsp://")) || uri.size() > 1024)
        return R::badArg(
            cam, call, QStringLiteral("ter:BadConfiguration"),
            QStringLiteral("MediaUri must be an rtsp:// URI of at most 1024 characters"));
    r.mode = mode;
    r.uri = uri;
    r.setup = s;
    return true;
}

RecReceiver *receiverOf(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("ReceiverToken"));
    for (RecReceiver &r : R::state(cam).receivers)
        if (r.token == token) return &r;
    R::badArg(cam, call, QStringLiteral("ter:UnknownToken"), QStringLiteral("no such receiver"));
    return nullptr;
}

// ---- handlers --------------------------------------------------------------------

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TRV).add(R::receiverCaps());
    return true;
}

bool getReceivers(Camera &cam, SoapCall &call)
{
    El &out = R::reply(call, NS_TRV);
    for (const RecReceiver &r : R::state(cam).receivers)
        out.add(receiverEl(r, NS_TRV, QStringLiteral("Receivers")));
    return true;
}

bool getReceiver(Camera &cam, SoapCall &call)
{
    RecReceiver *r = receiverOf(cam, call);
    if (!r) return false;
    R::reply(call, NS_TRV).add(receiverEl(*r, NS_TRV, QStringLiteral("Receiver")));
    return true;
}

bool createReceiver(Camera &cam, SoapCall &call)
{
    RecState &s = R::state(cam);
    RecReceiver r;
    if (!readConfiguration(cam, call, r)) return false;
    if ((int)s.receivers.size() >= kMaxReceivers)
        return R::action(cam, call, QStringLiteral("ter:CapabilityViolated"),
                         QStringLiteral("no room for another receiver"));
    for (int guard = 0; guard < 1000 && r.token.isEmpty(); ++guard) {
        QString t = QStringLiteral("Receiver_%1").arg(s.nextReceiver++);
        bool used = false;
        for (const RecReceiver &x : s.receivers)
            used = used || x.token == t;
        if (!used) r.token = t;
    }
    s.receivers.push_back(r);
    R::reply(call, NS_TRV).add(receiverEl(r, NS_TRV, QStringLiteral("Receiver")));
    return true;
}

bool deleteReceiver(Camera &cam, SoapCall &call)
{
    RecReceiver *r = receiverOf(cam, call);
    if (!r) return false;
    std::vector<RecReceiver> &list = R::state(cam).receivers;
    list.erase(list.begin() + (r - list.data()));
    return R::done(call, NS_TRV);
}

bool configureReceiver(Camera &cam, SoapCall &call)
{
    RecReceiver *r = receiverOf(cam, call);
    if (!r) return false;
    RecReceiver changed = *r;
    if (!readConfiguration(cam, call, changed)) return false;
    *r = changed;
    return R::done(call, NS_TRV);
}

bool setReceiverMode(Camera &cam, SoapCall &call)
{
    RecReceiver *r = receiverOf(cam, call);
    if (!r) return false;
    QString mode = call.in.childText(QStringLiteral("Mode"));
    if (!validMode(mode)) return R::badArg(cam, call, QString(), QStringLiteral("bad Mode"));
    r->mode = mode;
    return R::done(call, NS_TRV);
}

bool getReceiverState(Camera &cam, SoapCall &call)
{
    RecReceiver *r = receiverOf(cam, call);
    if (!r) return false;
    El &st = R::reply(call, NS_TRV).add(NS_TRV, QStringLiteral("ReceiverState"));
    st.add(NS_TT, QStringLiteral("State"),
           r->mode == "AlwaysConnect" ? QStringLiteral("Connected")
                                      : QStringLiteral("NotConnected"));
    st.add(NS_TT, QStringLiteral("AutoCreated"), QStringLiteral("false"));
    return true;
}

} // namespace

SoapOpTable receiverServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TRV, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TRV, "GetReceivers", getReceivers},
        {NS_TRV, "GetReceiver", getReceiver},
        {NS_TRV, "CreateReceiver", createReceiver},
        {NS_TRV, "DeleteReceiver", deleteReceiver},
        {NS_TRV, "ConfigureReceiver", configureReceiver},
        {NS_TRV, "SetReceiverMode", setReceiverMode},
        {NS_TRV, "GetReceiverState", getReceiverState},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
