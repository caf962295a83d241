// The device service's system side: reboot, factory default, system log,
// system URIs and the files behind them, firmware upgrade and system restore
// through an upload URI, auxiliary commands, relay outputs, geo location and
// storage configurations.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "device_service.h"

namespace camsim
{

namespace
{

const int kMaxUploadSlots = 8;
const int kMaxGeoEntries = 4;
const int kMaxStorage = 4;

const char kFilesPrefix[] = "/onvif-files/";
const char kUploadPrefix[] = "/onvif-upload/";

QString randomToken()
{
    QByteArray b(12, 0);
    for (int i = 0; i < b.size(); ++i)
        b[i] = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(b.toHex());
}

QString seconds(qint64 s)
{
    return QStringLiteral("PT%1S").arg(s);
}

// Arms Monostable relays; a release only applies to the activation that armed it.
int nextRelayArm()
{
    static int arm = 0;
    return ++arm;
}

} // namespace

// ---- reboot, factory default ---------------------------------------------------

bool DeviceService::systemReboot(Camera &cam, SoapCall &call)
{
    record(cam, QStringLiteral("reboot requested"));
    reply(call).add(NS_TDS, QStringLiteral("Message"), QStringLiteral("Rebooting"));
    return true;
}

// Hard: every setting returns to the configuration. Soft: the network
// settings stay. The camera keeps its address and its clock either way.
bool DeviceService::setSystemFactoryDefault(Camera &cam, SoapCall &call)
{
    const QString kind = call.in.childText(QStringLiteral("FactoryDefault"));
    if (kind != "Hard" && kind != "Soft")
        return badArg(cam, call, QString(), QStringLiteral("FactoryDefault must be Hard or Soft"));
    const DeviceState old = cam.dev;
    cam.dev = initialDeviceState(cam.cfg);
    cam.media = initialMediaState(cam.cfg); // profiles, encoders, OSDs, masks
    DeviceState &d = cam.dev;
    d.clockOffset = old.clockOffset;
    d.dhcp = old.dhcp;
    if (kind == "Soft") {
        d.prefixLen = old.prefixLen;
        d.gateway = old.gateway;
        d.dns = old.dns;
        d.searchDomains = old.searchDomains;
        d.dnsFromDhcp = old.dnsFromDhcp;
        d.zeroConf = old.zeroConf;
        d.protocols = old.protocols;
    }
    ++cam.mdVersion; // the scopes may have changed
    record(cam, QStringLiteral("factory default (%1)").arg(kind));
    call.log.insert(QStringLiteral("factory_default"), kind);
    return done(call);
}

// ---- system log, system URIs -----------------------------------------------------

bool DeviceService::getSystemLog(Camera &cam, SoapCall &call)
{
    const QString type = call.in.childText(QStringLiteral("LogType"));
    if (type != "System" && type != "Access")
        return badArg(cam, call, QString(), QStringLiteral("LogType must be System or Access"));
    const std::deque<QString> &lines = type == "System" ? cam.logs.system : cam.logs.access;
    QByteArray text;
    for (const QString &l : lines)
        text += l.toUtf8() + '\n';
    El &log = reply(call).add(NS_TDS, QStringLiteral("SystemLog"));
    if (cam.cfg.systemLogInline) {
        log.add(NS_TT, QStringLiteral("String"), QString::fromUtf8(text));
        return true;
    }
    const QByteArray id = type.toLower().toLatin1() + "-log@camsim.invalid";
    log.add(NS_TT, QStringLiteral("Binary"))
        .attr(QStringLiteral("xmlns:xmime"), QLatin1String(nsUri(NS_XMIME)))
        .attr(QStringLiteral("xmime:contentType"), QStringLiteral("text/plain"))
        .add(NS_XOP, QStringLiteral("Include"))
        .attr(QStringLiteral("href"), QStringLiteral("cid:") + QString::fromLatin1(id));
    call.attachments.push_back({id, "text/plain; charset=utf-8", text});
    return true;
}

bool DeviceService::getSystemUris(Camera &cam, SoapCall &call)
{
    const QString base = cam.xaddrBase() + QLatin1String(kFilesPrefix);
    El &out = reply(call);
    El &logs = out.add(NS_TDS, QStringLiteral("SystemLogUris"));
    for (const char *type : {"System", "Access"}) {
        El &l = logs.add(NS_TT, QStringLiteral("SystemLog"));
        l.add(NS_TT, QStringLiteral("Type"), QLatin1String(type));
        l.add(NS_TT, QStringLiteral("Uri"), base + QString::fromLatin1(type).toLower() + ".log");
    }
    out.add(NS_TDS, QStringLiteral("SupportInfoUri"), base + QStringLiteral("support.txt"));
    out.add(NS_TDS, QStringLiteral("SystemBackupUri"), base + QStringLiteral("backup.json"));
    return true;
}

// ---- firmware upgrade, system restore ------------------------------------------------

namespace
{

QString newUploadPath(std::map<QString, UploadSlot> &uploads, UploadSlot slot, const char *kind)
{
    if (uploads.size() >= size_t(kMaxUploadSlots)) {
        // drop the oldest slot
        auto oldest = std::min_element(uploads.begin(), uploads.end(), [](auto &a, auto &b) {
            return a.second.notBefore < b.second.notBefore;
        });
        uploads.erase(oldest);
    }
    const QString path =
        QLatin1String(kUploadPrefix) + QLatin1String(kind) + QLatin1Char('-') + randomToken();
    uploads[path] = slot;
    return path;
}

} // namespace

bool DeviceService::startFirmwareUpgrade(Camera &cam, SoapCall &call)
{
    UploadSlot slot;
    slot.kind = UploadSlot::Firmware;
    slot.notBefore = QDateTime::currentDateTimeUtc().addSecs(cam.cfg.firmwareUploadDelayS);
    const QString path = newUploadPath(cam.uploads, slot, "firmware");
    El &out = reply(call);
    out.add(NS_TDS, QStringLiteral("UploadUri"), cam.xaddrBase() + path);
    out.add(NS_TDS, QStringLiteral("UploadDelay"), seconds(cam.cfg.firmwareUploadDelayS));
    out.add(NS_TDS, QStringLiteral("ExpectedDownTime"), seconds(10));
    return true;
}

bool DeviceService::startSystemRestore(Camera &cam, SoapCall &call)
{
    UploadSlot slot;
    slot.kind = UploadSlot::Restore;
    slot.notBefore = QDateTime::currentDateTimeUtc();
    const QString path = newUploadPath(cam.uploads, slot, "restore");
    El &out = reply(call);
    out.add(NS_TDS, QStringLiteral("UploadUri"), cam.xaddrBase() + path);
    out.add(NS_TDS, QStringLiteral("ExpectedDownTime"), seconds(10));
    return true;
}

// What GET of the backup URI gives: the settings a restore puts back.
QByteArray DeviceService::backup(const Camera &cam)
{
    const DeviceState &d = cam.dev;
    QJsonArray scopes, ntp, users;
    for (const ScopeEntry &s : d.scopes)
        if (!s.fixed) scopes.append(s.item);
    for (const NetHost &h : d.ntp)
        ntp.append(h.type + QLatin1Char(' ') + h.value);
    for (const DeviceUser &u : d.users)
        users.append(
            QJsonObject{{"username", u.name}, {"password", u.password}, {"level", u.level}});
    QJsonObject o{{"camsim_backup", 1},
                  {"model", cam.cfg.model},
                  {"hostname", d.hostname},
                  {"scopes", scopes},
                  {"ntp", ntp},
                  {"dns", QJsonArray::fromStringList(d.dns)},
                  {"gateway", QJsonArray::fromStringList(d.gateway)},
                  {"users", users},
                  {"discoverable", d.discoverable}};
    return QJsonDocument(o).toJson();
}

// Puts back what backup() wrote (for the same model); anything else is refused.
bool DeviceService::restore(Camera &cam, const QByteArray &data, QString &why)
{
    const QJsonObject o = QJsonDocument::fromJson(data).object();
    if (o.value("camsim_backup").toInt() != 1 || o.value("model").toString() != cam.cfg.model) {
        why = QStringLiteral("not a backup of this camera model");
        return false;
    }
    DeviceState d = cam.dev;
    d.hostname = o.value("hostname").toString(d.hostname).left(63);
    std::vector<ScopeEntry> scopes;
    for (const ScopeEntry &s : d.scopes)
        if (s.fixed) scopes.push_back(s);
    for (const QJsonValue &v : o.value("scopes").toArray())
        if (!v.toString().isEmpty()) scopes.push_back({v.toString(), false});
    d.scopes = scopes;
    d.ntp.clear();
    for (const QJsonValue &v : o.value("ntp").toArray()) {
        const QStringList p = v.toString().split(QLatin1Char(' '));
        if (p.size() == 2) d.ntp.push_back({p[0], p[1]});
    }
    d.dns.clear();
    for (const QJsonValue &v : o.value("dns").toArray())
        if (parseIpv4(v.toString())) d.dns << v.toString();
    d.gateway.clear();
    for (const QJsonValue &v : o.value("gateway").toArray())
        if (parseIpv4(v.toString())) d.gateway << v.toString();
    std::vector<DeviceUser> users;
    for (const QJsonValue &v : o.value("users").toArray()) {
        const QJsonObject u = v.toObject();
        DeviceUser x{u.value("username").toString(), u.value("password").toString(),
                     u.value("level").toString(), u.value("username").toString() == cam.cfg.user};
        if (!x.name.isEmpty()) users.push_back(x);
    }
    if (std::none_of(users.begin(), users.end(), [](const DeviceUser &u) { return u.fixed; })) {
        why = QStringLiteral("the backup lacks the administrator account");
        return false;
    }
    d.users = users;
    d.discoverable = o.value("discoverable").toBool(true);
    cam.dev = d;
    ++cam.mdVersion;
    return true;
}

// GET /onvif-files/{system.log,access.log,support.txt,backup.json};
// POST /onvif-upload/<slot> (firmware image or backup). With HTTP
// authentication configured, these need it too.
HttpResponse Camera::handleDeviceFile(const HttpRequest &req, QJsonObject &log)
{
    HttpResponse r;
    auto answer = [&](int status, const QByteArray &type, const QByteArray &body) {
        r.status = status;
        r.setHeader("Content-Type", type);
        r.body = body;
        return r;
    };
    const bool upload = req.path.startsWith(QLatin1String(kUploadPrefix));
    if (req.method != (upload ? "POST" : "GET")) {
        r.setHeader("Allow", upload ? "POST" : "GET");
        return answer(405, "text/plain", "method not allowed\n");
    }
    if (cfg.auth == "digest" || cfg.auth == "basic") {
        const QString a = checkHttpAuth(req);
        log.insert(QStringLiteral("http_auth"), a);
        if (a != "valid") return httpChallenge();
    }
    if (!upload) {
        const QString name = req.path.mid(int(strlen(kFilesPrefix)));
        log.insert(QStringLiteral("file"), name);
        QByteArray text;
        if (name == "system.log" || name == "access.log") {
            for (const QString &l : name == "system.log" ? logs.system : logs.access)
                text += l.toUtf8() + '\n';
            return answer(200, "text/plain; charset=utf-8", text);
        }
        if (name == "support.txt") {
            text = QStringLiteral("camsim support information\nmanufacturer: %1\nmodel: %2\n"
                                  "firmware: %3\nserial: %4\nhardware: %5\nhostname: %6\n"
                                  "address: %7:%8\n")
                       .arg(cfg.manufacturer, cfg.model, fw, cfg.serial, cfg.hardwareId,
                            dev.hostname, addr)
                       .arg(boundPort)
                       .toUtf8();
            return answer(200, "text/plain; charset=utf-8", text);
        }
        if (name == "backup.json")
            return answer(200, "application/octet-stream", DeviceService::backup(*this));
        return answer(404, "text/plain", "not found\n");
    }

    auto slot = uploads.find(req.path);
    if (slot == uploads.end()) return answer(404, "text/plain", "no such upload URI\n");
    const bool firmware = slot->second.kind == UploadSlot::Firmware;
    log.insert(QStringLiteral("upload_kind"),
               firmware ? QStringLiteral("firmware") : QStringLiteral("restore"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (now < slot->second.notBefore) {
        r.setHeader("Retry-After", QByteArray::number(now.secsTo(slot->second.notBefore) + 1));
        return answer(503, "text/plain", "upload before the UploadDelay passed\n");
    }
    if (req.body.isEmpty()) return answer(400, "text/plain", "empty upload\n");
    uploads.erase(slot); // one upload per URI
    if (!firmware) {
        QString why;
        if (!DeviceService::restore(*this, req.body, why)) {
            log.insert(QStringLiteral("error"), why);
            return answer(400, "text/plain", why.toUtf8() + '\n');
        }
        DeviceService::record(*this, QStringLiteral("system restored from a backup"));
        return answer(200, "text/plain", "restored\n");
    }
    // the image is the body, or the "file" part of a form; the version comes
    // from a file name in Content-Disposition when one is given
    QByteArray data = req.body, fileName;
    const QByteArray cd = req.header("content-disposition");
    const int fn = cd.indexOf("filename=");
    if (fn >= 0) fileName = cd.mid(fn + 9).split(';').value(0).trimmed().replace('"', "");
    QByteArray partName, why;
    if (req.header("content-type").toLower().startsWith("multipart/form-data") &&
        multipartFile(req, data, partName, why))
        fileName = partName;
    QString err;
    if (!installFirmware(data, QString::fromUtf8(fileName), log, err))
        return answer(500, "text/plain", err.toUtf8() + '\n');
    return answer(200, "text/plain", "firmware accepted\n");
}

// ---- auxiliary commands, relays ---------------------------------------------------------

bool DeviceService::sendAuxiliaryCommand(Camera &cam, SoapCall &call)
{
    static const QStringList known = {"tt:Wiper|On", "tt:Wiper|Off", "tt:IRLamp|On",
                                      "tt:IRLamp|Off", "tt:IRLamp|Auto"};
    const QString c = call.in.childText(QStringLiteral("AuxiliaryCommand"));
    if (!known.contains(c))
        return badArg(cam, call, QStringLiteral("ter:AuxiliaryDataNotSupported"),
                      QStringLiteral("unknown auxiliary command \"%1\"").arg(c));
    record(cam, QStringLiteral("auxiliary command %1").arg(c));
    reply(call).add(NS_TDS, QStringLiteral("AuxiliaryCommandResponse"), c);
    return true;
}

bool DeviceService::relayIndex(Camera &cam, SoapCall &call, int &index)
{
    const QString token = call.in.childText(QStringLiteral("RelayOutputToken"));
    for (size_t i = 0; i < cam.dev.relays.size(); ++i)
        if (cam.dev.relays[i].token == token) {
            index = int(i);
            return true;
        }
    return badArg(cam, call, QStringLiteral("ter:RelayToken"),
                  QStringLiteral("no relay output \"%1\"").arg(token));
}

bool DeviceService::getRelayOutputs(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    for (const RelayState &r : cam.dev.relays) {
        El &e = out.add(NS_TDS, QStringLiteral("RelayOutputs"));
        e.attr(QStringLiteral("token"), r.token);
        El &p = e.add(NS_TT, QStringLiteral("Properties"));
        p.add(NS_TT, QStringLiteral("Mode"), r.mode);
        p.add(NS_TT, QStringLiteral("DelayTime"), r.delay);
        p.add(NS_TT, QStringLiteral("IdleState"), r.idle);
        // the logical state has no place in tt:RelayOutput; camsim adds it
        e.add(NS_CST, QStringLiteral("LogicalState"),
              r.active ? QStringLiteral("active") : QStringLiteral("inactive"));
    }
    return true;
}

bool DeviceService::setRelayOutputSettings(Camera &cam, SoapCall &call)
{
    int i = 0;
    if (!relayIndex(cam, call, i)) return false;
    const XNode *p = call.in.child(QStringLiteral("Properties"));
    RelayState r = cam.dev.relays[size_t(i)];
    r.mode = p ? p->childText(QStringLiteral("Mode")) : QString();
    r.delay = p ? p->childText(QStringLiteral("DelayTime")) : QString();
    r.idle = p ? p->childText(QStringLiteral("IdleState")) : QString();
    qint64 ms = 0;
    if (r.mode != "Monostable" && r.mode != "Bistable")
        return badArg(cam, call, QStringLiteral("ter:ModeError"),
                      QStringLiteral("Mode must be Monostable or Bistable"));
    if (!parseDuration(r.delay, &ms) || (r.mode == "Monostable" && ms <= 0))
        return badArg(cam, call, QStringLiteral("ter:ModeError"),
                      QStringLiteral("bad DelayTime \"%1\"").arg(r.delay));
    if (r.idle != "open" && r.idle != "closed")
        return badArg(cam, call, QString(), QStringLiteral("IdleState must be open or closed"));
    cam.dev.relays[size_t(i)] = r;
    return done(call);
}

bool DeviceService::setRelayOutputState(Camera &cam, SoapCall &call)
{
    int i = 0;
    if (!relayIndex(cam, call, i)) return false;
    const QString s = call.in.childText(QStringLiteral("LogicalState"));
    if (s != "active" && s != "inactive")
        return badArg(cam, call, QString(),
                      QStringLiteral("LogicalState must be active or inactive"));
    RelayState &r = cam.dev.relays[size_t(i)];
    r.active = s == "active";
    r.generation = nextRelayArm();
    qint64 ms = 0;
    if (r.active && r.mode == "Monostable" && parseDuration(r.delay, &ms)) {
        // a monostable relay falls back on its own after DelayTime
        QPointer<Camera> self(&cam);
        const QString token = r.token;
        const int armed = r.generation;
        QTimer::singleShot(int(qMin<qint64>(ms, 24 * 3600 * 1000)), &cam, [self, token, armed]() {
            if (!self) return;
            for (RelayState &x : self->dev.relays)
                if (x.token == token && x.generation == armed) x.active = false;
            self->publishIo();
        });
    }
    record(cam, QStringLiteral("relay %1 %2").arg(r.token, s));
    return done(call);
}

// ---- geo location ----------------------------------------------------------------------

namespace
{

// The parts of a tt:LocationEntity and the attributes each may carry.
struct GeoPart {
    const char *name;
    const char *attrs[3];
};
const GeoPart kGeoParts[] = {
    {"GeoLocation", {"lon", "lat", "elevation"}},
    {"GeoOrientation", {"roll", "pitch", "yaw"}},
    {"LocalLocation", {"x", "y", "z"}},
    {"LocalOrientation", {"pan", "tilt", "roll"}},
};

// Reads one Location; false with why when a value is not a number, a
// latitude or longitude is out of range, or a flag is not a boolean.
bool readGeo(const XNode &x, GeoEntry &g, QString &why)
{
    for (const char *a : {"Entity", "Token", "Fixed", "GeoSource", "AutoGeo"}) {
        const QString v = x.attr(QLatin1String(a));
        if (v.isEmpty()) continue;
        bool b = false;
        if ((!strcmp(a, "Fixed") || !strcmp(a, "AutoGeo")) && !parseBoolText(v, b)) {
            why = QStringLiteral("%1 must be a boolean").arg(QLatin1String(a));
            return false;
        }
        g.attrs.emplace_back(QLatin1String(a), v);
    }
    for (const GeoPart &p : kGeoParts) {
        const XNode *e = x.child(QLatin1String(p.name));
        if (!e) continue;
        std::vector<std::pair<QString, QString>> values;
        for (const char *a : p.attrs) {
            const QString v = e->attr(QLatin1String(a));
            if (v.isEmpty()) continue;
            bool ok = false;
            const double d = v.toDouble(&ok);
            const bool lon = !strcmp(a, "lon"), lat = !strcmp(a, "lat");
            if (!ok || (lon && qAbs(d) > 180) || (lat && qAbs(d) > 90)) {
                why = QStringLiteral("bad %1 \"%2\"").arg(QLatin1String(a), v);
                return false;
            }
            values.emplace_back(QLatin1String(a), v);
        }
        g.parts.emplace_back(QLatin1String(p.name), values);
    }
    return true;
}

} // namespace

bool DeviceService::getGeoLocation(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    for (const GeoEntry &g : cam.dev.geo) {
        El &e = out.add(NS_TDS, QStringLiteral("Location"));
        for (const auto &a : g.attrs)
            e.attr(a.first, a.second);
        for (const auto &p : g.parts) {
            El &part = e.add(NS_TT, p.first);
            for (const auto &a : p.second)
                part.attr(a.first, a.second);
        }
    }
    return true;
}

// Each Location replaces the entry of the same Entity and Token, or is added.
bool DeviceService::setGeoLocation(Camera &cam, SoapCall &call)
{
    std::vector<GeoEntry> next = cam.dev.geo;
    for (const XNode *x : call.in.childrenNamed(QStringLiteral("Location"))) {
        GeoEntry g;
        QString why;
        if (!readGeo(*x, g, why)) return badArg(cam, call, QString(), why);
        auto it = std::find_if(next.begin(), next.end(),
                               [&](const GeoEntry &e) { return e.key() == g.key(); });
        if (it != next.end())
            *it = g;
        else
            next.push_back(g);
    }
    if (next.size() > size_t(kMaxGeoEntries))
        return badArg(cam, call, QString(),
                      QStringLiteral("at most %1 locations").arg(kMaxGeoEntries));
    cam.dev.geo = next;
    return done(call);
}

bool DeviceService::deleteGeoLocation(Camera &cam, SoapCall &call)
{
    std::vector<GeoEntry> next = cam.dev.geo;
    for (const XNode *x : call.in.childrenNamed(QStringLiteral("Location"))) {
        GeoEntry g;
        QString why;
        if (!readGeo(*x, g, why)) return badArg(cam, call, QString(), why);
        auto it = std::find_if(next.begin(), next.end(),
                               [&](const GeoEntry &e) { return e.key() == g.key(); });
        if (it == next.end())
            return badArg(cam, call, QString(), QStringLiteral("no such location entry"));
        next.erase(it);
    }
    cam.dev.geo = next;
    return done(call);
}

// ---- storage configurations ------------------------------------------------------------

namespace
{

El storageElement(const QString &name, const StorageConf &s)
{
    El e(NS_TDS, name);
    e.attr(QStringLiteral("token"), s.token);
    El &d = e.add(NS_TDS, QStringLiteral("Data"));
    d.attr(QStringLiteral("type"), s.type);
    if (!s.region.isEmpty()) d.attr(QStringLiteral("Region"), s.region);
    if (!s.localPath.isEmpty()) d.add(NS_TDS, QStringLiteral("LocalPath"), s.localPath);
    if (!s.storageUri.isEmpty()) d.add(NS_TDS, QStringLiteral("StorageUri"), s.storageUri);
    if (!s.userName.isEmpty()) // the password is never read back
        d.add(NS_TDS, QStringLiteral("User")).add(NS_TDS, QStringLiteral("UserName"), s.userName);
    return e;
}

bool readStorageData(const XNode *d, StorageConf &s, QString &why)
{
    if (!d) {
        why = QStringLiteral("storage data missing");
        return false;
    }
    s.type = d->attr(QStringLiteral("type"));
    s.region = d->attr(QStringLiteral("Region"));
    s.localPath = d->childText(QStringLiteral("LocalPath"));
    s.storageUri = d->childText(QStringLiteral("StorageUri"));
    const XNode *u = d->child(QStringLiteral("User"));
    s.userName = u ? u->childText(QStringLiteral("UserName")) : QString();
    s.password = u ? u->childText(QStringLiteral("Password")) : QString();
    if (s.type.isEmpty()) {
        why = QStringLiteral("the storage type is missing");
        return false;
    }
    return true;
}

} // namespace

bool DeviceService::getStorageConfigurations(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    for (const StorageConf &s : cam.dev.storage)
        out.add(storageElement(QStringLiteral("StorageConfigurations"), s));
    return true;
}

bool DeviceService::createStorageConfiguration(Camera &cam, SoapCall &call)
{
    StorageConf s;
    QString why;
    if (!readStorageData(call.in.child(QStringLiteral("StorageConfiguration")), s, why))
        return badArg(cam, call, QString(), why);
    if (cam.dev.storage.size() >= size_t(kMaxStorage))
        return fail(cam, call, 500, false,
                    {QStringLiteral("ter:Action"), QStringLiteral("ter:MaxStorageConfigurations")},
                    QStringLiteral("at most %1 storage configurations").arg(kMaxStorage));
    s.token = QStringLiteral("Storage_%1").arg(cam.dev.nextStorage++);
    cam.dev.storage.push_back(s);
    reply(call).add(NS_TDS, QStringLiteral("Token"), s.token);
    return true;
}

namespace
{

std::vector<StorageConf>::iterator findStorage(std::vector<StorageConf> &v, const QString &token)
{
    return std::find_if(v.begin(), v.end(), [&](const StorageConf &s) { return s.token == token; });
}

} // namespace

bool DeviceService::getStorageConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("Token"));
    auto it = findStorage(cam.dev.storage, token);
    if (it == cam.dev.storage.end())
        return badArg(cam, call, QStringLiteral("ter:NoConfig"),
                      QStringLiteral("no storage configuration \"%1\"").arg(token));
    reply(call).add(storageElement(QStringLiteral("StorageConfiguration"), *it));
    return true;
}

bool DeviceService::setStorageConfiguration(Camera &cam, SoapCall &call)
{
    const XNode *c = call.in.child(QStringLiteral("StorageConfiguration"));
    const QString token = c ? c->attr(QStringLiteral("token")) : QString();
    auto it = findStorage(cam.dev.storage, token);
    if (it == cam.dev.storage.end())
        return badArg(cam, call, QStringLiteral("ter:NoConfig"),
                      QStringLiteral("no storage configuration \"%1\"").arg(token));
    StorageConf s;
    QString why;
    if (!readStorageData(c->child(QStringLiteral("Data")), s, why))
        return badArg(cam, call, QString(), why);
    s.token = token;
    *it = s;
    return done(call);
}

bool DeviceService::deleteStorageConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("Token"));
    auto it = findStorage(cam.dev.storage, token);
    if (it == cam.dev.storage.end())
        return badArg(cam, call, QStringLiteral("ter:NoConfig"),
                      QStringLiteral("no storage configuration \"%1\"").arg(token));
    cam.dev.storage.erase(it);
    return done(call);
}

} // namespace camsim
