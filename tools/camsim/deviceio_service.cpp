// The simulated device IO service: relay output options and settings (the
// relays are the device service's, GetRelayOutputs and SetRelayOutputState
// come in the device namespace and are answered there), digital inputs and
// their idle states. Digital input i is wired to relay output i: it sees the
// relay's contact, so its logical state follows the relay and its own idle
// state. Every change of a relay's or an input's logical state becomes an
// event that pull points deliver (tns1:Device/Trigger/Relay and
// tns1:Device/Trigger/DigitalInput).
#include <algorithm>

#include "device_service.h"

namespace camsim
{

namespace
{

const size_t kIoLogMax = 256; // events kept for pull points (and Seek)

const QString kRelayTopic = QStringLiteral("tns1:Device/Trigger/Relay");
const QString kInputTopic = QStringLiteral("tns1:Device/Trigger/DigitalInput");

// A relay's contact: closed when active with an open idle state, or
// inactive with a closed one.
bool contactClosed(const RelayState &r)
{
    return r.active ? r.idle == QLatin1String("open") : r.idle == QLatin1String("closed");
}

El &reply(SoapCall &call)
{
    call.out = El(NS_TMD, call.in.name + QStringLiteral("Response"));
    return call.out;
}

} // namespace

IoState initialIoState(const CameraConfig &c)
{
    IoState s;
    for (int i = 1; i <= c.digitalInputs; ++i) {
        DigitalInputState in;
        in.token = QStringLiteral("DigitalInput_%1").arg(i);
        s.inputs.push_back(in);
    }
    return s;
}

std::vector<bool> Camera::relayStates() const
{
    std::vector<bool> v;
    for (const RelayState &r : dev.relays)
        v.push_back(r.active);
    return v;
}

std::vector<bool> Camera::inputStates() const
{
    std::vector<bool> v;
    for (size_t i = 0; i < io.inputs.size(); ++i) {
        bool closed = i < dev.relays.size() && contactClosed(dev.relays[i]);
        v.push_back((closed ? QLatin1String("closed") : QLatin1String("open")) !=
                    io.inputs[i].idle);
    }
    return v;
}

std::vector<IoEvent> Camera::ioSnapshot()
{
    std::vector<IoEvent> out;
    const QDateTime now = cameraNow();
    const std::vector<bool> relays = relayStates(), inputs = inputStates();
    for (size_t i = 0; i < relays.size(); ++i)
        out.push_back({0, now, kRelayTopic, QStringLiteral("Initialized"),
                       QStringLiteral("RelayToken"), dev.relays[i].token,
                       relays[i] ? QStringLiteral("active") : QStringLiteral("inactive")});
    for (size_t i = 0; i < inputs.size(); ++i)
        out.push_back({0, now, kInputTopic, QStringLiteral("Initialized"),
                       QStringLiteral("InputToken"), io.inputs[i].token, boolText(inputs[i])});
    return out;
}

void Camera::publishIo()
{
    const std::vector<bool> relays = relayStates(), inputs = inputStates();
    // the first call (and a changed number of relays) only takes the states in
    const bool first =
        io.relayShown.size() != relays.size() || io.inputShown.size() != inputs.size();
    if (!first) {
        const QDateTime now = cameraNow();
        auto add = [&](const QString &topic, const QString &source, const QString &token,
                       const QString &state) {
            io.log.push_back(
                {io.nextSeq++, now, topic, QStringLiteral("Changed"), source, token, state});
            if (io.log.size() > kIoLogMax) io.log.pop_front();
        };
        for (size_t i = 0; i < relays.size(); ++i)
            if (relays[i] != io.relayShown[i])
                add(kRelayTopic, QStringLiteral("RelayToken"), dev.relays[i].token,
                    relays[i] ? QStringLiteral("active") : QStringLiteral("inactive"));
        for (size_t i = 0; i < inputs.size(); ++i)
            if (inputs[i] != io.inputShown[i])
                add(kInputTopic, QStringLiteral("InputToken"), io.inputs[i].token,
                    boolText(inputs[i]));
    }
    io.relayShown = relays;
    io.inputShown = inputs;
}

struct DeviceIoService {
    static bool getServiceCapabilities(Camera &cam, SoapCall &call)
    {
        reply(call)
            .add(NS_TMD, QStringLiteral("Capabilities"))
            .attr(QStringLiteral("VideoSources"), QStringLiteral("1"))
            .attr(QStringLiteral("VideoOutputs"), QStringLiteral("0"))
            .attr(QStringLiteral("AudioSources"), QStringLiteral("1"))
            .attr(QStringLiteral("AudioOutputs"), QStringLiteral("0"))
            .attr(QStringLiteral("RelayOutputs"), QString::number(cam.dev.relays.size()))
            .attr(QStringLiteral("SerialPorts"), QStringLiteral("0"))
            .attr(QStringLiteral("DigitalInputs"), QString::number(cam.io.inputs.size()))
            .attr(QStringLiteral("DigitalInputOptions"), QStringLiteral("true"));
        return true;
    }

    static bool getRelayOutputOptions(Camera &cam, SoapCall &call)
    {
        const XNode *want = call.in.child(QStringLiteral("RelayOutputToken"));
        El out(NS_TMD, call.in.name + QStringLiteral("Response"));
        for (const RelayState &r : cam.dev.relays) {
            if (want && want->text != r.token) continue;
            El &o = out.add(NS_TMD, QStringLiteral("RelayOutputOptions"));
            o.attr(QStringLiteral("token"), r.token);
            o.add(NS_TMD, QStringLiteral("Mode"), QStringLiteral("Monostable"));
            o.add(NS_TMD, QStringLiteral("Mode"), QStringLiteral("Bistable"));
            // Monostable delays, seconds: any value in this range
            o.add(NS_TMD, QStringLiteral("DelayTimes"), QStringLiteral("0.1 86400"));
            o.add(NS_TMD, QStringLiteral("Discrete"), QStringLiteral("false"));
        }
        if (want && out.kids.empty())
            return DeviceService::badArg(cam, call, QStringLiteral("ter:RelayToken"),
                                         QStringLiteral("no relay output \"%1\"").arg(want->text));
        call.out = out;
        return true;
    }

    static bool setRelayOutputSettings(Camera &cam, SoapCall &call)
    {
        const XNode *ro = call.in.child(QStringLiteral("RelayOutput"));
        const QString token = ro ? ro->attr(QStringLiteral("token")) : QString();
        RelayState *r = nullptr;
        for (RelayState &x : cam.dev.relays)
            if (x.token == token) r = &x;
        if (!r)
            return DeviceService::badArg(cam, call, QStringLiteral("ter:RelayToken"),
                                         QStringLiteral("no relay output \"%1\"").arg(token));
        const XNode *p = ro->child(QStringLiteral("Properties"));
        RelayState n = *r;
        n.mode = p ? p->childText(QStringLiteral("Mode")) : QString();
        n.delay = p ? p->childText(QStringLiteral("DelayTime")) : QString();
        n.idle = p ? p->childText(QStringLiteral("IdleState")) : QString();
        qint64 ms = 0;
        if (n.mode != "Monostable" && n.mode != "Bistable")
            return DeviceService::badArg(cam, call, QStringLiteral("ter:ModeError"),
                                         QStringLiteral("Mode must be Monostable or Bistable"));
        if (!parseDuration(n.delay, &ms) || (n.mode == "Monostable" && (ms < 100 || ms > 86400000)))
            return DeviceService::badArg(cam, call, QStringLiteral("ter:DelayTimeError"),
                                         QStringLiteral("bad DelayTime \"%1\"").arg(n.delay));
        if (n.idle != "open" && n.idle != "closed")
            return DeviceService::badArg(cam, call, QStringLiteral("ter:IdleStateError"),
                                         QStringLiteral("IdleState must be open or closed"));
        *r = n;
        reply(call);
        return true;
    }

    static bool getDigitalInputs(Camera &cam, SoapCall &call)
    {
        El &out = reply(call);
        for (const DigitalInputState &d : cam.io.inputs)
            out.add(NS_TMD, QStringLiteral("DigitalInputs"))
                .attr(QStringLiteral("token"), d.token)
                .attr(QStringLiteral("IdleState"), d.idle);
        return true;
    }

    static bool getDigitalInputConfigurationOptions(Camera &cam, SoapCall &call)
    {
        const XNode *want = call.in.child(QStringLiteral("Token"));
        bool known = !want;
        for (const DigitalInputState &d : cam.io.inputs)
            known = known || d.token == want->text;
        if (!known)
            return DeviceService::badArg(cam, call, QStringLiteral("ter:DigitalInputToken"),
                                         QStringLiteral("no digital input \"%1\"").arg(want->text));
        El &o = reply(call).add(NS_TMD, QStringLiteral("DigitalInputOptions"));
        o.add(NS_TMD, QStringLiteral("IdleState"), QStringLiteral("closed"));
        o.add(NS_TMD, QStringLiteral("IdleState"), QStringLiteral("open"));
        return true;
    }

    // All or nothing: one unknown token or idle state changes no input.
    static bool setDigitalInputConfigurations(Camera &cam, SoapCall &call)
    {
        std::vector<DigitalInputState> next = cam.io.inputs;
        for (const XNode *d : call.in.childrenNamed(QStringLiteral("DigitalInputs"))) {
            const QString token = d->attr(QStringLiteral("token"));
            const QString idle = d->attr(QStringLiteral("IdleState"));
            auto it = std::find_if(next.begin(), next.end(),
                                   [&](const DigitalInputState &x) { return x.token == token; });
            if (it == next.end())
                return DeviceService::badArg(cam, call, QStringLiteral("ter:DigitalInputToken"),
                                             QStringLiteral("no digital input \"%1\"").arg(token));
            if (idle != "open" && idle != "closed")
                return DeviceService::badArg(cam, call, QStringLiteral("ter:IdleStateError"),
                                             QStringLiteral("IdleState must be open or closed"));
            it->idle = idle;
        }
        cam.io.inputs = next;
        reply(call);
        return true;
    }
};

SoapOpTable deviceIoServiceOps()
{
    using D = DeviceIoService;
    static const SoapOp rows[] = {
        {NS_TMD, "GetServiceCapabilities", D::getServiceCapabilities},
        {NS_TMD, "GetRelayOutputOptions", D::getRelayOutputOptions},
        {NS_TMD, "SetRelayOutputSettings", D::setRelayOutputSettings},
        {NS_TMD, "GetDigitalInputs", D::getDigitalInputs},
        {NS_TMD, "GetDigitalInputConfigurationOptions", D::getDigitalInputConfigurationOptions},
        {NS_TMD, "SetDigitalInputConfigurations", D::setDigitalInputConfigurations},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
