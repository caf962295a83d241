// The device service's security side: user accounts (the ones that
// authenticate requests), the remote user, the IP address filter and the
// access policy. A refused request changes nothing.
#include <QRegularExpression>
#include <algorithm>

#include "device_service.h"

namespace camsim
{

// ---- users and access ----------------------------------------------------------

bool DeviceService::getUsers(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    for (const DeviceUser &u : cam.dev.users) {
        El &e = out.add(NS_TDS, QStringLiteral("User"));
        e.add(NS_TT, QStringLiteral("Username"), u.name);
        e.add(NS_TT, QStringLiteral("UserLevel"), u.level);
    }
    return true;
}

namespace
{

// Checks one tt:User of CreateUsers or SetUser; "" when acceptable, else the
// fault subcode ("!" in front: an OperationProhibited one) and why.
QString checkUser(const XNode &u, bool needPassword, QString &why)
{
    const QString name = u.childText(QStringLiteral("Username"));
    const QString level = u.childText(QStringLiteral("UserLevel"));
    const XNode *pw = u.child(QStringLiteral("Password"));
    if (name.isEmpty()) {
        why = QStringLiteral("the user name is empty");
        return QStringLiteral("!ter:UsernameTooShort");
    }
    if (name.size() > 32) {
        why = QStringLiteral("the user name is longer than 32 characters");
        return QStringLiteral("!ter:UsernameTooLong");
    }
    if (pw && pw->text.size() > 64) {
        why = QStringLiteral("the password is longer than 64 characters");
        return QStringLiteral("!ter:PasswordTooLong");
    }
    if (needPassword && (!pw || pw->text.isEmpty())) {
        why = QStringLiteral("a password is needed");
        return QStringLiteral("!ter:Password");
    }
    if (level == "Anonymous") {
        why = QStringLiteral("the Anonymous level is not allowed");
        return QStringLiteral("!ter:AnonymousNotAllowed");
    }
    if (level != "Administrator" && level != "Operator" && level != "User") {
        why = QStringLiteral("bad user level \"%1\"").arg(level);
        return QStringLiteral("ter:InvalidArgVal");
    }
    return QString();
}

} // namespace

// All or nothing: one bad or clashing user refuses the whole request.
bool DeviceService::createUsers(Camera &cam, SoapCall &call)
{
    std::vector<DeviceUser> next = cam.dev.users;
    for (const XNode *u : call.in.childrenNamed(QStringLiteral("User"))) {
        QString why, sub = checkUser(*u, true, why);
        if (sub.startsWith(QLatin1Char('!'))) return prohibited(cam, call, sub.mid(1), why);
        if (!sub.isEmpty()) return badArg(cam, call, QString(), why);
        const QString name = u->childText(QStringLiteral("Username"));
        for (const DeviceUser &x : next)
            if (x.name == name)
                return prohibited(cam, call, QStringLiteral("ter:UsernameClash"),
                                  QStringLiteral("user \"%1\" exists").arg(name));
        next.push_back({name, u->childText(QStringLiteral("Password")),
                        u->childText(QStringLiteral("UserLevel")), false});
    }
    if (next.size() > size_t(kMaxUsers))
        return fail(cam, call, 500, false,
                    {QStringLiteral("ter:Action"), QStringLiteral("ter:TooManyUsers")},
                    QStringLiteral("at most %1 users").arg(kMaxUsers));
    cam.dev.users = next;
    return done(call);
}

bool DeviceService::deleteUsers(Camera &cam, SoapCall &call)
{
    std::vector<DeviceUser> next = cam.dev.users;
    for (const XNode *n : call.in.childrenNamed(QStringLiteral("Username"))) {
        auto it = std::find_if(next.begin(), next.end(),
                               [&](const DeviceUser &u) { return u.name == n->text; });
        if (it == next.end())
            return badArg(cam, call, QStringLiteral("ter:UsernameMissing"),
                          QStringLiteral("no user \"%1\"").arg(n->text));
        if (it->fixed)
            return badArg(cam, call, QStringLiteral("ter:FixedUser"),
                          QStringLiteral("user \"%1\" cannot be deleted").arg(n->text));
        next.erase(it);
    }
    cam.dev.users = next;
    return done(call);
}

bool DeviceService::setUser(Camera &cam, SoapCall &call)
{
    std::vector<DeviceUser> next = cam.dev.users;
    for (const XNode *u : call.in.childrenNamed(QStringLiteral("User"))) {
        const QString name = u->childText(QStringLiteral("Username"));
        auto it = std::find_if(next.begin(), next.end(),
                               [&](const DeviceUser &x) { return x.name == name; });
        if (it == next.end())
            return badArg(cam, call, QStringLiteral("ter:UsernameMissing"),
                          QStringLiteral("no user \"%1\"").arg(name));
        QString why, sub = checkUser(*u, false, why);
        if (sub.startsWith(QLatin1Char('!'))) return prohibited(cam, call, sub.mid(1), why);
        if (!sub.isEmpty()) return badArg(cam, call, QString(), why);
        const QString level = u->childText(QStringLiteral("UserLevel"));
        if (it->fixed && level != it->level)
            return badArg(cam, call, QStringLiteral("ter:FixedUser"),
                          QStringLiteral("the level of \"%1\" cannot change").arg(name));
        it->level = level;
        if (u->has(QStringLiteral("Password")))
            it->password = u->childText(QStringLiteral("Password"));
    }
    cam.dev.users = next;
    return done(call);
}

bool DeviceService::getRemoteUser(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    if (cam.dev.remoteUserSet) {
        El &r = out.add(NS_TDS, QStringLiteral("RemoteUser"));
        r.add(NS_TT, QStringLiteral("Username"), cam.dev.remoteUser);
        r.add(NS_TT, QStringLiteral("UseDerivedPassword"), boolText(cam.dev.remoteDerived));
    }
    return true;
}

bool DeviceService::setRemoteUser(Camera &cam, SoapCall &call)
{
    DeviceState &d = cam.dev;
    const XNode *r = call.in.child(QStringLiteral("RemoteUser"));
    if (!r) {
        d.remoteUserSet = false;
        d.remoteUser.clear();
        d.remotePassword.clear();
        return done(call);
    }
    bool derived = false;
    const QString name = r->childText(QStringLiteral("Username"));
    if (name.isEmpty() || name.size() > 32)
        return badArg(cam, call, QString(), QStringLiteral("bad remote user name"));
    if (!parseBoolText(r->childText(QStringLiteral("UseDerivedPassword")), derived))
        return badArg(cam, call, QString(), QStringLiteral("UseDerivedPassword must be a boolean"));
    d.remoteUserSet = true;
    d.remoteUser = name;
    d.remotePassword = r->childText(QStringLiteral("Password"));
    d.remoteDerived = derived;
    return done(call);
}

bool DeviceService::getAccessPolicy(Camera &cam, SoapCall &call)
{
    reply(call)
        .add(NS_TDS, QStringLiteral("PolicyFile"))
        .add(NS_TT, QStringLiteral("Data"), QString::fromLatin1(cam.dev.accessPolicy.toBase64()));
    return true;
}

bool DeviceService::setAccessPolicy(Camera &cam, SoapCall &call)
{
    const XNode *f = call.in.child(QStringLiteral("PolicyFile"));
    QString text = f ? f->childText(QStringLiteral("Data")) : QString();
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.size() > 64 * 1024)
        return badArg(cam, call, QStringLiteral("ter:PolicyFormat"),
                      QStringLiteral("the policy file is empty, too large or not Base64"));
    cam.dev.accessPolicy = decoded.decoded;
    record(cam, QStringLiteral("access policy replaced (%1 bytes)").arg(decoded.decoded.size()));
    return done(call);
}

// ---- IP address filter -------------------------------------------------------

namespace
{

struct FilterRequest {
    QString type;
    std::vector<PrefixedAddress> v4, v6;
};

// Reads tds:IPAddressFilter; false with the fault's subcode and reason.
bool readFilter(const XNode &in, FilterRequest &f, QString &sub, QString &why)
{
    const XNode *x = in.child(QStringLiteral("IPAddressFilter"));
    if (!x) {
        why = QStringLiteral("IPAddressFilter missing");
        return false;
    }
    f.type = x->childText(QStringLiteral("Type"));
    if (f.type != "Allow" && f.type != "Deny") {
        why = QStringLiteral("Type must be Allow or Deny");
        return false;
    }
    for (int v6 = 0; v6 < 2; ++v6) {
        const QString name = v6 ? QStringLiteral("IPv6Address") : QStringLiteral("IPv4Address");
        for (const XNode *a : x->childrenNamed(name)) {
            PrefixedAddress p;
            p.address = a->childText(QStringLiteral("Address"));
            bool ok = false;
            p.prefix = a->childText(QStringLiteral("PrefixLength")).toInt(&ok);
            if (!(v6 ? parseIpv6(p.address) : parseIpv4(p.address)) || !ok || p.prefix < 0 ||
                p.prefix > (v6 ? 128 : 32)) {
                sub = v6 ? QStringLiteral("ter:InvalidIPv6Address")
                         : QStringLiteral("ter:InvalidIPv4Address");
                why = QStringLiteral("bad filter address \"%1/%2\"")
                          .arg(p.address, a->childText(QStringLiteral("PrefixLength")));
                return false;
            }
            (v6 ? f.v6 : f.v4).push_back(p);
        }
    }
    return true;
}

} // namespace

bool DeviceService::getIPAddressFilter(Camera &cam, SoapCall &call)
{
    const DeviceState &d = cam.dev;
    El &f = reply(call).add(NS_TDS, QStringLiteral("IPAddressFilter"));
    f.add(NS_TT, QStringLiteral("Type"), d.ipFilterType);
    for (int v6 = 0; v6 < 2; ++v6)
        for (const PrefixedAddress &p : v6 ? d.ipFilterV6 : d.ipFilterV4) {
            El &a =
                f.add(NS_TT, v6 ? QStringLiteral("IPv6Address") : QStringLiteral("IPv4Address"));
            a.add(NS_TT, QStringLiteral("Address"), p.address);
            a.add(NS_TT, QStringLiteral("PrefixLength"), QString::number(p.prefix));
        }
    return true;
}

bool DeviceService::setIPAddressFilter(Camera &cam, SoapCall &call)
{
    FilterRequest f;
    QString sub, why;
    if (!readFilter(call.in, f, sub, why)) return badArg(cam, call, sub, why);
    if (f.v4.size() + f.v6.size() > size_t(kMaxFilterAddresses))
        return badArg(cam, call, QString(), QStringLiteral("too many filter addresses"));
    cam.dev.ipFilterType = f.type;
    cam.dev.ipFilterV4 = f.v4;
    cam.dev.ipFilterV6 = f.v6;
    return done(call);
}

bool DeviceService::addIPAddressFilter(Camera &cam, SoapCall &call)
{
    FilterRequest f;
    QString sub, why;
    if (!readFilter(call.in, f, sub, why)) return badArg(cam, call, sub, why);
    std::vector<PrefixedAddress> v4 = cam.dev.ipFilterV4, v6 = cam.dev.ipFilterV6;
    for (int six = 0; six < 2; ++six)
        for (const PrefixedAddress &p : six ? f.v6 : f.v4) {
            std::vector<PrefixedAddress> &list = six ? v6 : v4;
            if (std::find(list.begin(), list.end(), p) == list.end()) list.push_back(p);
        }
    if (v4.size() + v6.size() > size_t(kMaxFilterAddresses))
        return badArg(cam, call, QString(), QStringLiteral("too many filter addresses"));
    cam.dev.ipFilterType = f.type;
    cam.dev.ipFilterV4 = v4;
    cam.dev.ipFilterV6 = v6;
    return done(call);
}

bool DeviceService::removeIPAddressFilter(Camera &cam, SoapCall &call)
{
    FilterRequest f;
    QString sub, why;
    if (!readFilter(call.in, f, sub, why)) return badArg(cam, call, sub, why);
    std::vector<PrefixedAddress> v4 = cam.dev.ipFilterV4, v6 = cam.dev.ipFilterV6;
    for (int six = 0; six < 2; ++six)
        for (const PrefixedAddress &p : six ? f.v6 : f.v4) {
            std::vector<PrefixedAddress> &list = six ? v6 : v4;
            auto it = std::find(list.begin(), list.end(), p);
            if (it == list.end())
                return badArg(
                    cam, call,
                    six ? QStringLiteral("ter:NoIPv6Address") : QStringLiteral("ter:NoIPv4Address"),
                    QStringLiteral("\"%1/%2\" is not in the filter").arg(p.address).arg(p.prefix));
            list.erase(it);
        }
    cam.dev.ipFilterV4 = v4;
    cam.dev.ipFilterV6 = v6;
    return done(call);
}

} // namespace camsim
