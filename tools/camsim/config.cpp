#include "config.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

namespace camsim
{

CameraConfig defaultCamera(int index, const QString &address, int basePort)
{
    CameraConfig c;
    c.index = index;
    c.serial = QStringLiteral("CAMSIM%1").arg(index + 1, 4, 10, QLatin1Char('0'));
    c.name = QStringLiteral("camsim-%1").arg(index + 1);
    c.manufacturer = QStringLiteral("Camsim");
    c.model = QString(); // filled after the configuration (depends on ptz)
    c.firmware = QStringLiteral("V1.0.0");
    c.hardwareId = QStringLiteral("HW-1000");
    c.location = QStringLiteral("lab");
    c.address = address;
    c.port = basePort == 0 ? 0 : basePort + index;
    c.hwAddress = QStringLiteral("02:00:5e:10:%1:%2")
                      .arg((index / 256) & 0xff, 2, 16, QLatin1Char('0'))
                      .arg(index % 256, 2, 16, QLatin1Char('0'));
    c.deviceType = QStringLiteral("NetworkVideoTransmitter");
    return c;
}

namespace
{

bool getString(const QJsonValue &v, QString &out)
{
    if (!v.isString()) return false;
    out = v.toString();
    return true;
}

bool getBool(const QJsonValue &v, bool &out)
{
    if (!v.isBool()) return false;
    out = v.toBool();
    return true;
}

template <typename T> bool getInt(const QJsonValue &v, T &out, double lo, double hi)
{
    if (!v.isDouble()) return false;
    double d = v.toDouble();
    if (d != double(qint64(d)) || d < lo || d > hi) return false;
    out = T(qint64(d));
    return true;
}

bool getList(const QJsonValue &v, QStringList &out)
{
    if (!v.isArray()) return false;
    QStringList l;
    for (const QJsonValue &e : v.toArray()) {
        if (!e.isString()) return false;
        l << e.toString();
    }
    out = l;
    return true;
}

bool validPrefix(const QString &p)
{
    if (p.isEmpty()) return true;
    static const QStringList reserved = {"tds",  "tt",   "ter", "tev", "trt",  "timg",  "tptz",
                                         "tmd",  "wsa",  "d",   "dn",  "xml",  "xmlns", "wsnt",
                                         "tns1", "csim", "cst", "xop", "xmime"};
    static const QStringList storage = {"trc", "trp", "tse", "tan", "tth", "trv", "tpv"};
    if (reserved.contains(p) || storage.contains(p)) return false;
    for (int i = 0; i < p.size(); ++i) {
        QChar c = p[i];
        bool ok = c.isLetter() || c == '_' || (i > 0 && (c.isDigit() || c == '-' || c == '.'));
        if (!ok || c.unicode() > 127) return false;
    }
    return true;
}

bool validIpv4(const QString &s)
{
    QHostAddress a;
    return a.setAddress(s) && a.protocol() == QAbstractSocket::IPv4Protocol &&
           s.count(QLatin1Char('.')) == 3;
}

// The keys of the device service's state; false when k is not one of them.
bool applyDeviceKey(CameraConfig &c, const QString &k, const QJsonValue &v, bool &ok)
{
    if (k == "users") {
        ok = v.isArray();
        QList<CameraConfig::Account> users;
        for (const QJsonValue &e : v.toArray()) {
            const QJsonObject u = e.toObject();
            CameraConfig::Account a{u.value("username").toString(), u.value("password").toString(),
                                    u.value("level").toString(QStringLiteral("User"))};
            for (auto it = u.begin(); it != u.end(); ++it)
                ok = ok && it.value().isString() &&
                     QStringList({"username", "password", "level"}).contains(it.key());
            ok = ok && e.isObject() && !a.name.isEmpty() &&
                 QStringList({"Administrator", "Operator", "User"}).contains(a.level);
            users << a;
        }
        if (ok) c.users = users;
    } else if (k == "ntp") {
        ok = getList(v, c.ntp);
        for (const QString &n : c.ntp)
            ok = ok && !n.isEmpty() && !n.contains(QLatin1Char(' '));
    } else if (k == "relay_outputs")
        ok = getInt(v, c.relayOutputs, 0, 16);
    else if (k == "digital_inputs")
        ok = getInt(v, c.digitalInputs, 0, 16);
    else if (k == "dot11")
        ok = getBool(v, c.dot11);
    else if (k == "discoverable")
        ok = getBool(v, c.discoverable);
    else if (k == "system_log_inline")
        ok = getBool(v, c.systemLogInline);
    else if (k == "firmware_upload_delay_s")
        ok = getInt(v, c.firmwareUploadDelayS, 0, 3600);
    else
        return false;
    return true;
}

// Keys of the media services; false when k is not one of them.
bool applyMediaKey(CameraConfig &c, const QString &k, const QJsonValue &v, bool &ok)
{
    if (k != "media_profiles") return false;
    ok = v.isArray() && v.toArray().size() <= 6;
    QList<CameraConfig::MediaProfileConf> profiles;
    for (const QJsonValue &e : v.toArray()) {
        const QJsonObject o = e.toObject();
        CameraConfig::MediaProfileConf p;
        ok = ok && e.isObject();
        for (auto it = o.begin(); it != o.end() && ok; ++it) {
            const QString key = it.key();
            if (key == "name")
                ok = getString(it.value(), p.name) && !p.name.isEmpty();
            else if (key == "encoding")
                ok = getString(it.value(), p.encoding) &&
                     QStringList({"H264", "H265", "JPEG"}).contains(p.encoding);
            else if (key == "width")
                ok = getInt(it.value(), p.width, 16, 8192);
            else if (key == "height")
                ok = getInt(it.value(), p.height, 16, 8192);
            else if (key == "audio")
                ok = getBool(it.value(), p.audio);
            else if (key == "ptz")
                ok = getBool(it.value(), p.ptz);
            else
                ok = false;
        }
        profiles << p;
    }
    if (ok) c.mediaProfiles = profiles;
    return true;
}

// The keys of the door-access controller personality.
bool applyPacsKey(CameraConfig &c, const QString &k, const QJsonValue &v, bool &ok)
{
    if (k != "pacs") return false;
    ok = getBool(v, c.pacs);
    return true;
}

} // namespace

bool validAnswer(const QString &a)
{
    static const QStringList plain = {"normal",      "never",        "close",
                                      "fault",       "malformed",    "no-body",
                                      "no-envelope", "no-soap-body", "no-response-element",
                                      "wrong-length"};
    if (plain.contains(a)) return true;
    bool ok = false;
    if (a.startsWith(QLatin1String("slow:"))) {
        int ms = a.mid(5).toInt(&ok);
        return ok && ms >= 0 && ms <= 600000;
    }
    if (a.startsWith(QLatin1String("status:"))) {
        int st = a.mid(7).toInt(&ok);
        return ok && st >= 100 && st <= 599;
    }
    return false;
}

bool applyJson(CameraConfig &c, const QJsonObject &o, QString &err)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString k = it.key();
        const QJsonValue v = it.value();
        bool ok = true;
        if (applyDeviceKey(c, k, v, ok) || applyMediaKey(c, k, v, ok) ||
            applyPacsKey(c, k, v, ok)) {
            // handled there
        } else if (k == "serial")
            ok = getString(v, c.serial) && !c.serial.isEmpty();
        else if (k == "name")
            ok = getString(v, c.name);
        else if (k == "manufacturer")
            ok = getString(v, c.manufacturer);
        else if (k == "model")
            ok = getString(v, c.model);
        else if (k == "firmware")
            ok = getString(v, c.firmware);
        else if (k == "hardware_id")
            ok = getString(v, c.hardwareId);
        else if (k == "location")
            ok = getString(v, c.location);
        else if (k == "uuid")
            ok = getString(v, c.uuid) && !QUuid(c.uuid).isNull();
        else if (k == "hostname")
            ok = getString(v, c.hostname);
        else if (k == "address")
            ok = getString(v, c.address) && validIpv4(c.address);
        else if (k == "port")
            ok = getInt(v, c.port, 0, 65535);
        else if (k == "hw_address")
            ok = getString(v, c.hwAddress);
        else if (k == "prefix_length")
            ok = getInt(v, c.prefixLength, 0, 32);
        else if (k == "gateway") {
            ok = getList(v, c.gateway) && c.gateway.size() <= 2;
            for (const QString &g : c.gateway)
                ok = ok && validIpv4(g);
        } else if (k == "dns") {
            ok = getList(v, c.dns) && c.dns.size() <= 2;
            for (const QString &g : c.dns)
                ok = ok && validIpv4(g);
        } else if (k == "ptz")
            ok = getBool(v, c.ptz);
        else if (k == "device_type") {
            ok = getString(v, c.deviceType) &&
                 QStringList({"NetworkVideoTransmitter", "Device", "NetworkVideoStorage",
                              "NetworkVideoDisplay", "NetworkVideoAnalytics"})
                     .contains(c.deviceType);
        } else if (k == "types")
            ok = getString(v, c.types);
        else if (k == "scopes")
            ok = getList(v, c.scopes);
        else if (k == "xaddrs")
            ok = getList(v, c.xaddrs) && !c.xaddrs.isEmpty();
        else if (k == "capabilities_xaddr_host")
            ok = getString(v, c.capsXaddrHost);
        else if (k == "metadata_version")
            ok = getInt(v, c.metadataVersion, 0, 2147483647.0);
        else if (k == "auth") {
            ok = getString(v, c.auth) &&
                 QStringList({"none", "digest", "basic", "wsse"}).contains(c.auth);
        } else if (k == "user")
            ok = getString(v, c.user);
        else if (k == "password")
            ok = getString(v, c.password);
        else if (k == "auth_exempt")
            ok = getList(v, c.authExempt);
        else if (k == "accept_wsse")
            ok = getBool(v, c.acceptWsse);
        else if (k == "digest_qop")
            ok = getBool(v, c.digestQop);
        else if (k == "refusal") {
            ok = getInt(v, c.refusal, 400, 500) &&
                 (c.refusal == 400 || c.refusal == 401 || c.refusal == 500);
        } else if (k == "wsse_window_s")
            ok = getInt(v, c.wsseWindowS, 0, 1e9);
        else if (k == "wsse_replay_check")
            ok = getBool(v, c.wsseReplayCheck);
        else if (k == "answer")
            ok = getString(v, c.answer) && validAnswer(c.answer);
        else if (k == "answer_ops") {
            ok = v.isObject();
            QMap<QString, QString> m;
            const QJsonObject ao = v.toObject();
            for (auto a = ao.begin(); ok && a != ao.end(); ++a) {
                ok = a.value().isString() && validAnswer(a.value().toString());
                m.insert(a.key(), a.value().toString());
            }
            if (ok) c.answerOps = m;
        } else if (k == "fail_ops")
            ok = getList(v, c.failOps);
        else if (k == "prefix")
            ok = getString(v, c.prefix) && validPrefix(c.prefix);
        else if (k == "onvif_prefixes") {
            ok = getString(v, c.onvifPrefixes) &&
                 QStringList({"standard", "numbered", "none"}).contains(c.onvifPrefixes);
        } else if (k == "pretty")
            ok = getBool(v, c.pretty);
        else if (k == "content_type_charset")
            ok = getBool(v, c.contentTypeCharset);
        else if (k == "time_unpadded")
            ok = getBool(v, c.timeUnpadded);
        else if (k == "clock_offset_s")
            ok = getInt(v, c.clockOffsetS, -1e10, 1e10);
        else if (k == "only_local_time")
            ok = getBool(v, c.onlyLocalTime);
        else if (k == "timezone")
            ok = getString(v, c.timezone);
        else if (k == "local_offset_s")
            ok = getInt(v, c.localOffsetS, -86400 * 2, 86400 * 2);
        else if (k == "ignore_sets")
            ok = getBool(v, c.ignoreSets);
        else if (k == "fault_undeclared_prefix")
            ok = getBool(v, c.faultUndeclaredPrefix);
        else if (k == "login") {
            ok = getString(v, c.login) &&
                 (c.login == "accept" || c.login == "refuse" || c.login == "absent");
        } else if (k == "upload_requires_cookie")
            ok = getBool(v, c.uploadRequiresCookie);
        else if (k == "upload") {
            ok = getString(v, c.upload) && (c.upload == "ok" || c.upload == "error");
        } else if (k == "upgrade_firmware")
            ok = getString(v, c.upgradeFirmware);
        else if (k == "search_events")
            ok = getInt(v, c.searchEvents, 0, 20000);
        else if (k == "notify_count")
            ok = getInt(v, c.notifyCount, 0, 10000);
        else if (k == "notify_interval_ms")
            ok = getInt(v, c.notifyIntervalMs, 0, 600000);
        else if (k == "notify_messages")
            ok = getInt(v, c.notifyMessages, 0, 1000);
        else if (k == "pull_messages")
            ok = getInt(v, c.pullMessages, 0, 1000);
        else if (k == "tls")
            ok = getBool(v, c.tls);
        else if (k == "cert")
            ok = getString(v, c.cert);
        else if (k == "key")
            ok = getString(v, c.key);
        else {
            err = QStringLiteral("unknown key \"%1\"").arg(k);
            return false;
        }
        if (!ok) {
            err = QStringLiteral("bad value for \"%1\"").arg(k);
            return false;
        }
    }
    return true;
}

bool loadConfigFile(const QString &path, QJsonObject &defaults, QList<QJsonObject> &cameras,
                    QString &err)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        err = QStringLiteral("cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    if (f.size() > 16 * 1024 * 1024) {
        err = QStringLiteral("%1 is too large").arg(path);
        return false;
    }
    QJsonParseError pe;
    QJsonDocument d = QJsonDocument::fromJson(f.readAll(), &pe);
    if (d.isNull()) {
        err = QStringLiteral("%1: %2 at offset %3").arg(path, pe.errorString()).arg(pe.offset);
        return false;
    }
    QJsonArray arr;
    if (d.isArray()) {
        arr = d.array();
    } else {
        QJsonObject top = d.object();
        for (auto it = top.begin(); it != top.end(); ++it) {
            if (it.key() == "defaults") {
                if (!it.value().isObject()) {
                    err = QStringLiteral("\"defaults\" must be an object");
                    return false;
                }
                defaults = it.value().toObject();
            } else if (it.key() == "cameras") {
                if (!it.value().isArray()) {
                    err = QStringLiteral("\"cameras\" must be an array");
                    return false;
                }
                arr = it.value().toArray();
            } else {
                err = QStringLiteral("unknown top-level key \"%1\"").arg(it.key());
                return false;
            }
        }
    }
    for (const QJsonValue &v : arr) {
        if (!v.isObject()) {
            err = QStringLiteral("every camera must be a JSON object");
            return false;
        }
        cameras << v.toObject();
    }
    return true;
}

} // namespace camsim
