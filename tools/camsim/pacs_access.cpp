// Access points (enabled or not) and doors: their state and the commands
// that change it. A door is in one mode at a time; LockDown and LockOpen
// hold it until their release, which brings back the mode it had before;
// an AccessDoor unlocks it for the access time (the request's, else the
// door's ReleaseTime) and locks it again afterwards.
#include <QPointer>
#include <QTimer>

#include "device_service.h"
#include "pacs_service.h"

namespace camsim
{

namespace
{

using P = PacsService;

struct DoorCommand {
    const char *op;
    const char *capability; // the door capability the command needs
    const char *mode;       // the mode it sets
};

const DoorCommand kDoorCommands[] = {
    {"AccessDoor", "Access", "Accessed"},
    {"LockDoor", "Lock", "Locked"},
    {"UnlockDoor", "Unlock", "Unlocked"},
    {"DoubleLockDoor", "DoubleLock", "DoubleLocked"},
    {"BlockDoor", "Block", "Blocked"},
    {"LockDownDoor", "LockDown", "LockedDown"},
    {"LockDownReleaseDoor", "LockDown", nullptr},
    {"LockOpenDoor", "LockOpen", "LockedOpen"},
    {"LockOpenReleaseDoor", "LockOpen", nullptr},
};

const qint64 kMaxAccessMs = 3600 * 1000;

} // namespace

bool PacsService::accessPointState(Camera &cam, SoapCall &call)
{
    QString token = call.in.childText(QStringLiteral("Token"));
    const PacsItem *ap = find(cam, PK_ACCESS_POINT, token);
    if (!ap) return notFound(cam, call, token);
    reply(call)
        .add(NS_TAC, QStringLiteral("AccessPointState"))
        .add(NS_TAC, QStringLiteral("Enabled"), boolText(ap->enabled));
    return true;
}

// EnableAccessPoint and DisableAccessPoint; disabling needs the access
// point's DisableAccessPoint capability.
bool PacsService::enableAccessPoint(Camera &cam, SoapCall &call)
{
    QString token = call.in.childText(QStringLiteral("Token"));
    PacsItem *ap = find(cam, PK_ACCESS_POINT, token);
    if (!ap) return notFound(cam, call, token);
    bool enable = call.in.name == QLatin1String("EnableAccessPoint");
    const El *caps = childEl(ap->rec, QStringLiteral("Capabilities"));
    if (!enable && !(caps && boolAttr(*caps, QStringLiteral("DisableAccessPoint"))))
        return notSupported(cam, call, token + QStringLiteral(" cannot be disabled"));
    ap->enabled = enable;
    return done(call);
}

bool PacsService::doorState(Camera &cam, SoapCall &call)
{
    QString token = call.in.childText(QStringLiteral("Token"));
    const PacsItem *door = find(cam, PK_DOOR, token);
    if (!door) return notFound(cam, call, token);
    const El *caps = childEl(door->rec, QStringLiteral("Capabilities"));
    auto can = [caps](const char *c) { return caps && boolAttr(*caps, QLatin1String(c)); };
    const QString &m = door->mode;
    bool open = m == QLatin1String("Accessed") || m == QLatin1String("LockedOpen") ||
                m == QLatin1String("Unlocked");
    El st(NS_TDC, QStringLiteral("DoorState"));
    if (can("DoorMonitor"))
        st.add(NS_TDC, QStringLiteral("DoorPhysicalState"), QStringLiteral("Closed"));
    if (can("LockMonitor"))
        st.add(NS_TDC, QStringLiteral("LockPhysicalState"),
               open ? QStringLiteral("Unlocked") : QStringLiteral("Locked"));
    if (can("DoubleLockMonitor"))
        st.add(NS_TDC, QStringLiteral("DoubleLockPhysicalState"),
               m == QLatin1String("DoubleLocked") ? QStringLiteral("Locked")
                                                  : QStringLiteral("Unlocked"));
    if (can("Alarm")) st.add(NS_TDC, QStringLiteral("Alarm"), QStringLiteral("Normal"));
    st.add(NS_TDC, QStringLiteral("DoorMode"), m);
    reply(call).add(st);
    return true;
}

// The door commands. A door held by LockDown or LockOpen takes only its
// release; a release of a hold that is not there is refused.
bool PacsService::doorCommand(Camera &cam, SoapCall &call)
{
    const DoorCommand *cmd = nullptr;
    for (const DoorCommand &c : kDoorCommands)
        if (call.in.name == QLatin1String(c.op)) cmd = &c;
    QString token = call.in.childText(QStringLiteral("Token"));
    PacsItem *door = find(cam, PK_DOOR, token);
    if (!cmd || !door) return notFound(cam, call, token);
    const El *caps = childEl(door->rec, QStringLiteral("Capabilities"));
    if (!caps || !boolAttr(*caps, QLatin1String(cmd->capability)))
        return notSupported(cam, call, QStringLiteral("%1 cannot %2").arg(token, call.in.name));
    const QString held = door->mode;
    bool lockedDown = held == QLatin1String("LockedDown"), lockedOpen = held == "LockedOpen";
    if (!cmd->mode) { // a release
        bool down = call.in.name == QLatin1String("LockDownReleaseDoor");
        if (down ? !lockedDown : !lockedOpen)
            return sender(
                cam, call,
                {QStringLiteral("ter:OperationProhibited"),
                 down ? QStringLiteral("ter:NotLockedDown") : QStringLiteral("ter:NotLockedOpen")},
                QStringLiteral("%1 is %2").arg(token, held));
        door->mode = door->modeBefore;
        return done(call);
    }
    if (lockedDown || lockedOpen)
        return sender(cam, call,
                      {QStringLiteral("ter:OperationProhibited"),
                       lockedDown ? QStringLiteral("ter:DoorLockedDown")
                                  : QStringLiteral("ter:DoorLockedOpen")},
                      QStringLiteral("%1 is %2").arg(token, held));
    const bool access = call.in.name == QLatin1String("AccessDoor");
    qint64 accessMs = 0;
    if (access) {
        QString t = call.in.childText(QStringLiteral("AccessTime"));
        if (t.isEmpty())
            t = childText(*childEl(door->rec, QStringLiteral("Timings")),
                          QStringLiteral("ReleaseTime"));
        if (!parseDuration(t, &accessMs))
            return badArg(cam, call, QString(), QStringLiteral("AccessTime: ") + t);
        accessMs = qBound<qint64>(0, accessMs, kMaxAccessMs);
    }
    if (QLatin1String(cmd->mode) == QLatin1String("LockedDown") ||
        QLatin1String(cmd->mode) == QLatin1String("LockedOpen"))
        door->modeBefore = held == QLatin1String("Accessed") ? QStringLiteral("Locked") : held;
    door->mode = QLatin1String(cmd->mode);
    if (access) {
        int gen = ++door->accessGen;
        QPointer<Camera> self(&cam);
        // After the reply, from the event loop: the access ends by itself.
        call.afterReply = [self, token, gen, accessMs]() {
            if (!self) return;
            QTimer::singleShot(int(accessMs), self.data(), [self, token, gen]() {
                if (!self) return;
                PacsItem *d = PacsService::find(*self, PK_DOOR, token);
                if (d && d->accessGen == gen && d->mode == QLatin1String("Accessed"))
                    d->mode = QStringLiteral("Locked");
            });
        };
    }
    return done(call);
}

} // namespace camsim
