#include "camera.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QTextStream>
#include <QTimer>
#include <QUuid>

#include "reqlog.h"

namespace camsim
{

namespace
{

const char *kSoap12 = "http://www.w3.org/2003/05/soap-envelope";

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

bool parseIpv4(const QString &s)
{
    const QStringList p = s.split(QLatin1Char('.'));
    if (p.size() != 4) return false;
    for (const QString &x : p) {
        if (x.isEmpty() || x.size() > 3) return false;
        bool ok = false;
        int v = x.toInt(&ok);
        if (!ok || v < 0 || v > 255) return false;
        for (QChar c : x)
            if (!c.isDigit()) return false;
    }
    return true;
}

bool parseBoolText(const QString &s, bool &out)
{
    QString t = s.trimmed().toLower();
    if (t == "true" || t == "1") {
        out = true;
        return true;
    }
    if (t == "false" || t == "0") {
        out = false;
        return true;
    }
    return false;
}

QByteArray randomHex(int bytes)
{
    QByteArray b(bytes, 0);
    for (int i = 0; i < bytes; ++i)
        b[i] = char(QRandomGenerator::global()->bounded(256));
    return b.toHex();
}

// "k1=v1, k2="v2", ..." of an Authorization header, after the scheme word
QMap<QByteArray, QByteArray> authParams(const QByteArray &s)
{
    QMap<QByteArray, QByteArray> m;
    int i = 0;
    const int n = s.size();
    for (int guard = 0; i < n && guard < 64; ++guard) {
        while (i < n && (s[i] == ' ' || s[i] == ',' || s[i] == '\t'))
            ++i;
        int k0 = i;
        while (i < n && s[i] != '=' && s[i] != ',')
            ++i;
        QByteArray key = s.mid(k0, i - k0).trimmed().toLower();
        if (i >= n || s[i] != '=') {
            if (!key.isEmpty()) m.insert(key, QByteArray());
            continue;
        }
        ++i;
        while (i < n && s[i] == ' ')
            ++i;
        QByteArray val;
        if (i < n && s[i] == '"') {
            ++i;
            while (i < n && s[i] != '"') {
                if (s[i] == '\\' && i + 1 < n) ++i;
                val += s[i++];
            }
            if (i < n) ++i;
        } else {
            int v0 = i;
            while (i < n && s[i] != ',')
                ++i;
            val = s.mid(v0, i - v0).trimmed();
        }
        if (!key.isEmpty()) m.insert(key, val);
    }
    return m;
}

QByteArray md5hex(const QByteArray &b)
{
    return QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex();
}

QString safeFileName(const QString &s)
{
    QString o;
    for (QChar c : s)
        o += (c.isLetterOrNumber() && c.unicode() < 128) || c == '-' || c == '_' || c == '.'
                 ? c
                 : QLatin1Char('_');
    if (o.isEmpty() || o.startsWith(QLatin1Char('.'))) o.prepend(QLatin1Char('_'));
    return o;
}

} // namespace

QString soapOperation(const XNode &env)
{
    const XNode *body = env.child(QStringLiteral("Body"));
    if (!body || body->kids.empty()) return QString();
    return body->kids.front().name;
}

Camera::Camera(const CameraConfig &c, SimContext *context, QObject *parent)
    : QObject(parent), cfg(c), ctx(context)
{
    addr = cfg.address;
    fw = cfg.firmware;
    clockOffset = cfg.clockOffsetS * 1000;
    tz = cfg.timezone;
    prefixLen = cfg.prefixLength;
    gateway = cfg.gateway;
    dns = cfg.dns;
    hostname = cfg.hostname.isEmpty() ? cfg.name : cfg.hostname;
    mdVersion = cfg.metadataVersion;
    if (cfg.model.isEmpty())
        cfg.model = cfg.ptz ? QStringLiteral("CS-P200") : QStringLiteral("CS-B100");
    if (cfg.uuid.isEmpty()) {
        static const QUuid ns(QStringLiteral("{6ba7b811-9dad-11d1-80b4-00c04fd430c8}"));
        cfg.uuid = QUuid::createUuidV5(ns, QStringLiteral("camsim:") + cfg.serial)
                       .toString(QUuid::WithoutBraces);
    } else {
        cfg.uuid = QUuid(cfg.uuid).toString(QUuid::WithoutBraces);
    }
}

void Camera::note(const QString &msg) const
{
    if (ctx->quiet) return;
    QTextStream(stderr) << "camsim: " << cfg.serial << ": " << msg << "\n";
}

bool Camera::start(QString &err)
{
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    if (cfg.tls) {
        QString certPath = cfg.cert.isEmpty() ? QStringLiteral(":/certs/camsim.crt") : cfg.cert;
        QString keyPath = cfg.key.isEmpty() ? QStringLiteral(":/certs/camsim.key") : cfg.key;
        QFile cf(certPath), kf(keyPath);
        if (!cf.open(QIODevice::ReadOnly) || !kf.open(QIODevice::ReadOnly)) {
            err = QStringLiteral("cannot read certificate %1 or key %2").arg(certPath, keyPath);
            return false;
        }
        QSslCertificate cert(&cf, QSsl::Pem);
        QSslKey key(&kf, QSsl::Rsa, QSsl::Pem);
        if (key.isNull()) {
            kf.seek(0);
            key = QSslKey(&kf, QSsl::Ec, QSsl::Pem);
        }
        if (cert.isNull() || key.isNull()) {
            err = QStringLiteral("bad certificate %1 or key %2").arg(certPath, keyPath);
            return false;
        }
        ssl.setLocalCertificate(cert);
        ssl.setPrivateKey(key);
        ssl.setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    QPointer<Camera> self(this);
    auto handler = [self](const HttpRequest &r) {
        if (!self) {
            HttpResponse x;
            x.mode = HttpResponse::Close;
            return x;
        }
        return self->handle(r);
    };
    auto hook = [self](const HttpRequest &r, int st, const QString &why) {
        if (self) self->logError(r, st, why);
    };
    auto *s = new HttpServer(cfg.tls, ssl, ctx->limits, handler, hook, this);
    if (!s->listen(QHostAddress(addr), quint16(cfg.port))) {
        err = QStringLiteral("cannot listen on %1:%2: %3")
                  .arg(addr)
                  .arg(cfg.port)
                  .arg(s->errorString());
        delete s;
        return false;
    }
    server = s;
    boundPort = s->serverPort();
    if (ctx->log)
        ctx->log->write({{"event", "listen"},
                         {"camera", cfg.serial},
                         {"index", cfg.index},
                         {"address", addr},
                         {"port", boundPort},
                         {"tls", cfg.tls}});
    return true;
}

// ---- what discovery says -------------------------------------------------

QString Camera::endpoint() const
{
    return QStringLiteral("urn:uuid:") + cfg.uuid;
}

QString Camera::typesText() const
{
    if (!cfg.types.isEmpty()) return cfg.types;
    if (cfg.deviceType == "Device") return QStringLiteral("tds:Device");
    if (cfg.deviceType == "NetworkVideoTransmitter")
        return QStringLiteral("dn:NetworkVideoTransmitter tds:Device");
    return QStringLiteral("dn:%1 tds:Device").arg(cfg.deviceType);
}

QStringList Camera::typesList() const
{
    QStringList out;
    for (const QString &t : typesText().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        int c = t.lastIndexOf(QLatin1Char(':'));
        out << (c >= 0 ? t.mid(c + 1) : t);
    }
    return out;
}

QString Camera::scopesText() const
{
    QStringList s;
    s << QStringLiteral("onvif://www.onvif.org/type/video_encoder");
    if (cfg.ptz) s << QStringLiteral("onvif://www.onvif.org/type/ptz");
    s << QStringLiteral("onvif://www.onvif.org/Profile/Streaming");
    s << QStringLiteral("onvif://www.onvif.org/hardware/") +
             QString::fromLatin1(QUrl::toPercentEncoding(cfg.model));
    s << QStringLiteral("onvif://www.onvif.org/name/") +
             QString::fromLatin1(QUrl::toPercentEncoding(cfg.name));
    s << QStringLiteral("onvif://www.onvif.org/location/") +
             QString::fromLatin1(QUrl::toPercentEncoding(cfg.location));
    s << cfg.scopes;
    return s.join(QLatin1Char(' '));
}

QString Camera::xaddrsText() const
{
    QStringList t = cfg.xaddrs;
    if (t.isEmpty())
        t << QStringLiteral("%1://{host}:{port}/onvif/device_service")
                 .arg(cfg.tls ? QStringLiteral("https") : QStringLiteral("http"));
    QStringList out;
    for (QString x : t) {
        x.replace(QLatin1String("{host}"), addr);
        x.replace(QLatin1String("{port}"), QString::number(boundPort));
        out << x;
    }
    return out.join(QLatin1Char(' '));
}

WriteOpts Camera::writeOpts() const
{
    WriteOpts o;
    o.envPrefix = cfg.prefix;
    o.style = cfg.onvifPrefixes == "numbered" ? PREFIX_NUMBERED
              : cfg.onvifPrefixes == "none"   ? PREFIX_NONE
                                              : PREFIX_STANDARD;
    o.pretty = cfg.pretty;
    return o;
}

// ---- HTTP entry ------------------------------------------------------------

void Camera::logError(const HttpRequest &req, int status, const QString &why)
{
    if (!ctx->log) return;
    ctx->log->write({{"camera", cfg.serial},
                     {"index", cfg.index},
                     {"peer", req.peer},
                     {"method", req.method},
                     {"path", req.path},
                     {"status", status},
                     {"error", why}});
}

HttpResponse Camera::handle(const HttpRequest &req)
{
    QJsonObject log{{"camera", cfg.serial},
                    {"index", cfg.index},
                    {"peer", req.peer},
                    {"method", req.method},
                    {"path", req.path},
                    {"authorization", QString::fromLatin1(req.header("authorization"))},
                    {"content_type", QString::fromLatin1(req.header("content-type"))},
                    {"cookie", QString::fromLatin1(req.header("cookie"))},
                    {"body_size", double(req.body.size())}};
    HttpResponse r;
    auto notAllowed = [&]() {
        r.status = 405;
        r.setHeader("Allow", "POST");
        r.setHeader("Content-Type", "text/plain");
        r.body = "only POST here\n";
    };
    if (req.path == QLatin1String("/account/login")) {
        if (req.method == "POST")
            r = handleLogin(req, log);
        else
            notAllowed();
    } else if (req.path == QLatin1String("/api/sysConfig/uploadSystem")) {
        if (req.method == "POST")
            r = handleUpload(req, log);
        else
            notAllowed();
    } else if (req.path.startsWith(QLatin1String("/onvif/"))) {
        if (req.method == "POST")
            r = handleSoap(req, log);
        else
            notAllowed();
    } else {
        r.status = 404;
        r.setHeader("Content-Type", "text/plain");
        r.body = "not found\n";
    }
    bool silent = r.mode == HttpResponse::Never || r.mode == HttpResponse::Close;
    log.insert(QStringLiteral("status"), silent ? 0 : r.status);
    if (ctx->log) ctx->log->write(log);
    return r;
}

// ---- authentication --------------------------------------------------------

QByteArray Camera::digestNonce() const
{
    QByteArray t =
        QByteArray::number(QDateTime::currentSecsSinceEpoch(), 16).rightJustified(10, '0');
    return t + md5hex(ctx->secret + t).left(22);
}

bool Camera::digestNonceFresh(const QByteArray &n) const
{
    if (n.size() != 32) return false;
    QByteArray t = n.left(10);
    if (md5hex(ctx->secret + t).left(22) != n.mid(10)) return false;
    bool ok = false;
    qint64 when = t.toLongLong(&ok, 16);
    qint64 now = QDateTime::currentSecsSinceEpoch();
    return ok && now - when <= 300 && when - now <= 5;
}

QString Camera::checkHttpAuth(const HttpRequest &req)
{
    QByteArray a = req.header("authorization");
    if (a.isEmpty()) return QStringLiteral("none");
    int sp = a.indexOf(' ');
    QByteArray scheme = (sp < 0 ? a : a.left(sp)).toLower();
    QByteArray rest = sp < 0 ? QByteArray() : a.mid(sp + 1).trimmed();
    bool wantDigest = cfg.auth == "digest", wantBasic = cfg.auth == "basic";
    if (scheme == "basic") {
        if (wantDigest) return QStringLiteral("invalid");
        QByteArray dec = QByteArray::fromBase64(rest);
        return dec == (cfg.user + ":" + cfg.password).toUtf8() ? QStringLiteral("valid")
                                                               : QStringLiteral("invalid");
    }
    if (scheme == "digest") {
        if (wantBasic) return QStringLiteral("invalid");
        auto p = authParams(rest);
        QByteArray user = p.value("username"), realm = p.value("realm"), nonce = p.value("nonce"),
                   uri = p.value("uri"), resp = p.value("response").toLower(), qop = p.value("qop"),
                   nc = p.value("nc"), cnonce = p.value("cnonce");
        QByteArray alg = p.value("algorithm");
        if (!alg.isEmpty() && alg.toUpper() != "MD5") return QStringLiteral("invalid");
        if (user != cfg.user.toUtf8() || realm != "camsim" || !digestNonceFresh(nonce))
            return QStringLiteral("invalid");
        if (uri != req.target.toUtf8() && uri != req.path.toUtf8())
            return QStringLiteral("invalid");
        QByteArray ha1 = md5hex(user + ":" + realm + ":" + cfg.password.toUtf8());
        QByteArray ha2 = md5hex(req.method.toUtf8() + ":" + uri);
        QByteArray expect;
        if (qop.isEmpty()) {
            expect = md5hex(ha1 + ":" + nonce + ":" + ha2);
        } else {
            if (qop != "auth" || nc.isEmpty() || cnonce.isEmpty()) return QStringLiteral("invalid");
            expect = md5hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
        }
        return expect == resp ? QStringLiteral("valid") : QStringLiteral("invalid");
    }
    return QStringLiteral("invalid");
}

QString Camera::checkWsse(const XNode &env)
{
    const XNode *hdr = env.child(QStringLiteral("Header"));
    const XNode *sec = hdr ? hdr->child(QStringLiteral("Security")) : nullptr;
    if (!sec) return QStringLiteral("none");
    const XNode *tok = sec->child(QStringLiteral("UsernameToken"));
    if (!tok) return QStringLiteral("invalid");
    const XNode *pw = tok->child(QStringLiteral("Password"));
    QString user = tok->childText(QStringLiteral("Username"));
    QString nonceB64 = tok->childText(QStringLiteral("Nonce"));
    QString created = tok->childText(QStringLiteral("Created"));
    if (!pw || user != cfg.user) return QStringLiteral("invalid");
    QString type = pw->attr(QStringLiteral("Type"));
    if (type.endsWith(QLatin1String("#PasswordText")))
        return pw->text == cfg.password ? QStringLiteral("valid") : QStringLiteral("invalid");
    QByteArray nonce = QByteArray::fromBase64(nonceB64.toLatin1());
    if (nonce.isEmpty() || created.isEmpty()) return QStringLiteral("invalid");
    QByteArray digest = QCryptographicHash::hash(nonce + created.toUtf8() + cfg.password.toUtf8(),
                                                 QCryptographicHash::Sha1)
                            .toBase64();
    if (digest != pw->text.toLatin1()) return QStringLiteral("invalid");
    QDateTime c = QDateTime::fromString(created, Qt::ISODateWithMs);
    if (!c.isValid()) c = QDateTime::fromString(created, Qt::ISODate);
    if (!c.isValid()) return QStringLiteral("invalid");
    QDateTime now = QDateTime::currentDateTimeUtc().addMSecs(clockOffset);
    if (qAbs(c.secsTo(now)) > cfg.wsseWindowS) return QStringLiteral("invalid");
    if (cfg.wsseReplayCheck) {
        QByteArray key = nonceB64.toLatin1() + '|' + created.toLatin1();
        if (seenNonces.contains(key)) return QStringLiteral("invalid");
        seenNonces.insert(key);
        nonceOrder.push_back(key);
        while (nonceOrder.size() > 4096) {
            seenNonces.remove(nonceOrder.front());
            nonceOrder.pop_front();
        }
    }
    return QStringLiteral("valid");
}

// ---- SOAP replies ----------------------------------------------------------

QByteArray Camera::envelope(const El &bodyChild) const
{
    El env(NS_SOAP, QStringLiteral("Envelope"));
    env.add(NS_SOAP, QStringLiteral("Body")).add(bodyChild);
    return writeXml(env, writeOpts());
}

HttpResponse Camera::soapReply(int status, const El &bodyChild) const
{
    HttpResponse r;
    r.status = status;
    r.setHeader("Content-Type", cfg.contentTypeCharset ? "application/soap+xml; charset=utf-8"
                                                       : "application/soap+xml");
    r.body = envelope(bodyChild);
    return r;
}

El Camera::fault(bool sender, const QStringList &subcodes, const QString &reason) const
{
    El f(NS_SOAP, QStringLiteral("Fault"));
    El code(NS_SOAP, QStringLiteral("Code"));
    QString codeName = sender ? QStringLiteral("Sender") : QStringLiteral("Receiver");
    El value(NS_SOAP, QStringLiteral("Value"));
    if (cfg.faultUndeclaredPrefix) {
        value.text =
            (cfg.prefix == "SOAP-ENV" ? QStringLiteral("soap:") : QStringLiteral("SOAP-ENV:")) +
            codeName;
    } else {
        value.text = codeName;
        value.textQNameNs = NS_SOAP;
    }
    code.add(value);
    // nested Subcode elements, outermost first
    El *parent = &code;
    for (const QString &sc : subcodes) {
        El &sub = parent->add(NS_SOAP, QStringLiteral("Subcode"));
        El v(NS_SOAP, QStringLiteral("Value"));
        QString local = sc.mid(sc.indexOf(QLatin1Char(':')) + 1);
        if (cfg.faultUndeclaredPrefix) {
            v.text = QStringLiteral("ter:") + local;
        } else {
            v.text = local;
            v.textQNameNs = NS_TER;
        }
        sub.add(v);
        parent = &sub;
    }
    f.add(code);
    El &r = f.add(NS_SOAP, QStringLiteral("Reason"));
    r.add(NS_SOAP, QStringLiteral("Text"), reason)
        .attr(QStringLiteral("xml:lang"), QStringLiteral("en"));
    return f;
}

HttpResponse Camera::faultReply(int status, bool sender, const QStringList &subcodes,
                                const QString &reason) const
{
    return soapReply(status, fault(sender, subcodes, reason));
}

El Camera::dateTime(const QDateTime &t) const
{
    auto num = [this](int n) {
        return cfg.timeUnpadded ? QString::number(n)
                                : QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    El dt;
    dt.ns = NS_TT;
    El &tm = dt.add(NS_TT, QStringLiteral("Time"));
    tm.add(NS_TT, QStringLiteral("Hour"), num(t.time().hour()));
    tm.add(NS_TT, QStringLiteral("Minute"), num(t.time().minute()));
    tm.add(NS_TT, QStringLiteral("Second"), num(t.time().second()));
    El &d = dt.add(NS_TT, QStringLiteral("Date"));
    d.add(NS_TT, QStringLiteral("Year"), QString::number(t.date().year()));
    d.add(NS_TT, QStringLiteral("Month"), num(t.date().month()));
    d.add(NS_TT, QStringLiteral("Day"), num(t.date().day()));
    return dt;
}

QString Camera::xaddrBase() const
{
    QString scheme = cfg.tls ? QStringLiteral("https") : QStringLiteral("http");
    if (!cfg.capsXaddrHost.isEmpty()) {
        if (cfg.capsXaddrHost.contains(QLatin1Char(':')))
            return QStringLiteral("%1://%2").arg(scheme, cfg.capsXaddrHost);
        return QStringLiteral("%1://%2:%3").arg(scheme, cfg.capsXaddrHost).arg(boundPort);
    }
    return QStringLiteral("%1://%2:%3").arg(scheme, addr).arg(boundPort);
}

QString Camera::serviceUrl(const QString &service) const
{
    return xaddrBase() + QStringLiteral("/onvif/") + service;
}

// ---- the SOAP handler ------------------------------------------------------

HttpResponse Camera::httpChallenge() const
{
    HttpResponse r = faultReply(401, true, {QStringLiteral("ter:NotAuthorized")},
                                QStringLiteral("Sender not Authorized"));
    if (cfg.auth == "digest") {
        QByteArray ch = "Digest realm=\"camsim\", ";
        if (cfg.digestQop) ch += "qop=\"auth\", ";
        ch += "nonce=\"" + digestNonce() + "\", opaque=\"" + md5hex(ctx->secret).left(16) +
              "\", algorithm=MD5";
        r.setHeader("WWW-Authenticate", ch);
    } else {
        r.setHeader("WWW-Authenticate", "Basic realm=\"camsim\"");
    }
    return r;
}

HttpResponse Camera::handleSoap(const HttpRequest &req, QJsonObject &log)
{
    // action parameter of the Content-Type
    QString ct = QString::fromLatin1(req.header("content-type"));
    QString action;
    for (const QString &part : ct.split(QLatin1Char(';'))) {
        QString p = part.trimmed();
        if (p.startsWith(QLatin1String("action="), Qt::CaseInsensitive)) {
            action = p.mid(7);
            if (action.startsWith(QLatin1Char('"')) && action.endsWith(QLatin1Char('"')) &&
                action.size() >= 2)
                action = action.mid(1, action.size() - 2);
        }
    }
    log.insert(QStringLiteral("soap_action"), action);
    log.insert(QStringLiteral("operation"), QString());
    log.insert(QStringLiteral("wsse"), QStringLiteral("none"));

    // HTTP authentication comes first: a client may probe it with an empty body
    QString httpAuth = checkHttpAuth(req);
    log.insert(QStringLiteral("http_auth"), httpAuth);
    bool httpScheme = cfg.auth == "digest" || cfg.auth == "basic";
    XNode env;
    QString perr;
    if (!parseXml(req.body, env, perr)) {
        log.insert(QStringLiteral("error"), QStringLiteral("not XML: ") + perr);
        if (httpScheme && httpAuth != "valid") return httpChallenge();
        return faultReply(400, true, {QStringLiteral("ter:WellFormed")},
                          QStringLiteral("request is not well-formed XML: ") + perr);
    }
    if (env.name != QLatin1String("Envelope") || env.ns != QLatin1String(kSoap12)) {
        log.insert(QStringLiteral("error"), QStringLiteral("not a SOAP 1.2 envelope"));
        return faultReply(400, true, {QStringLiteral("ter:WellFormed")},
                          QStringLiteral("not a SOAP 1.2 envelope"));
    }
    const XNode *body = env.child(QStringLiteral("Body"));
    if (!body || body->kids.empty()) {
        log.insert(QStringLiteral("error"), QStringLiteral("no Body operation"));
        return faultReply(400, true, {QStringLiteral("ter:WellFormed")},
                          QStringLiteral("the Body holds no operation"));
    }
    const XNode &in = body->kids.front();
    const QString op = in.name;
    log.insert(QStringLiteral("operation"), op);

    QString wsse = checkWsse(env);
    log.insert(QStringLiteral("wsse"), wsse);
    bool needAuth = cfg.auth != "none" && !cfg.authExempt.contains(op);
    bool authOk = true;
    if (needAuth) {
        if (cfg.auth == "wsse")
            authOk = wsse == "valid";
        else
            authOk = httpAuth == "valid" || (cfg.acceptWsse && wsse == "valid");
    }
    log.insert(QStringLiteral("auth_ok"), authOk);
    if (!authOk) {
        log.insert(QStringLiteral("answer"), QStringLiteral("refused"));
        if (cfg.auth == "digest" || cfg.auth == "basic") return httpChallenge();
        return faultReply(cfg.refusal, true, {QStringLiteral("ter:NotAuthorized")},
                          QStringLiteral("Sender not Authorized"));
    }

    QString mode = cfg.answerOps.value(op, cfg.answer);
    if (cfg.failOps.contains(op)) mode = QStringLiteral("fail-op");
    log.insert(QStringLiteral("answer"), mode);

    HttpResponse r;
    auto plain = [&](const QByteArray &bodyText) {
        r.status = 200;
        r.setHeader("Content-Type", cfg.contentTypeCharset ? "application/soap+xml; charset=utf-8"
                                                           : "application/soap+xml");
        r.body = bodyText;
        return r;
    };
    if (mode == "fail-op")
        return faultReply(500, false,
                          {QStringLiteral("ter:Action"), QStringLiteral("ter:ActionFailed")},
                          QStringLiteral("the operation failed"));
    if (mode == "fault")
        return faultReply(500, false, {QStringLiteral("ter:ActionFailed")},
                          QStringLiteral("the device cannot do this now"));
    if (mode.startsWith(QLatin1String("status:")))
        return faultReply(mode.mid(7).toInt(), false, {QStringLiteral("ter:ActionFailed")},
                          QStringLiteral("answered with status %1").arg(mode.mid(7)));
    if (mode == "never") {
        r.mode = HttpResponse::Never;
        return r;
    }
    if (mode == "close") {
        r.mode = HttpResponse::Close;
        return r;
    }
    if (mode == "malformed") return plain("<<this is not xml>> &&& <s:Envelope");
    if (mode == "no-body") return plain(QByteArray());
    if (mode == "no-envelope")
        return plain(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html><body>no soap here</body></html>");
    if (mode == "no-soap-body") {
        El e(NS_SOAP, QStringLiteral("Envelope"));
        e.add(NS_SOAP, QStringLiteral("Header"));
        return plain(writeXml(e, writeOpts()));
    }
    if (mode == "no-response-element")
        return soapReply(200, El(NS_TDS, QStringLiteral("UnrelatedElement")));

    if (ignoresSet(op, in)) {
        log.insert(QStringLiteral("answer"), QStringLiteral("ignored"));
        return soapReply(200, El(NS_TDS, op + QStringLiteral("Response")));
    }

    // normal, slow:<ms>, wrong-length: the operation itself
    El out;
    HttpResponse err;
    bool ok = true;
    QString moveAddr;
    const QString R = QStringLiteral("Response");
    if (op == "GetSystemDateAndTime") {
        ok = opGetSystemDateAndTime(in, out);
    } else if (op == "SetSystemDateAndTime") {
        ok = opSetSystemDateAndTime(in, out, err);
    } else if (op == "GetDeviceInformation") {
        out = El(NS_TDS, op + R);
        out.add(NS_TDS, QStringLiteral("Manufacturer"), cfg.manufacturer);
        out.add(NS_TDS, QStringLiteral("Model"), cfg.model);
        out.add(NS_TDS, QStringLiteral("FirmwareVersion"), fw);
        out.add(NS_TDS, QStringLiteral("SerialNumber"), cfg.serial);
        out.add(NS_TDS, QStringLiteral("HardwareId"), cfg.hardwareId);
    } else if (op == "GetCapabilities") {
        ok = opGetCapabilities(in, out, err);
    } else if (op == "GetServices") {
        ok = opGetServices(in, out);
    } else if (op == "GetServiceCapabilities" && in.ns == QLatin1String(nsUri(NS_TDS))) {
        out = El(NS_TDS, op + R);
        out.add(deviceServiceCaps());
    } else if (op == "GetNetworkInterfaces") {
        ok = opGetNetworkInterfaces(out);
    } else if (op == "SetNetworkInterfaces") {
        ok = opSetNetworkInterfaces(in, out, err, moveAddr);
    } else if (op == "GetDNS") {
        out = El(NS_TDS, op + R);
        El &info = out.add(NS_TDS, QStringLiteral("DNSInformation"));
        info.add(NS_TT, QStringLiteral("FromDHCP"), boolText(dnsFromDhcp));
        for (const QString &d : searchDomains)
            info.add(NS_TT, QStringLiteral("SearchDomain"), d);
        for (const QString &d : dns) {
            El &e = info.add(NS_TT, dnsFromDhcp ? QStringLiteral("DNSFromDHCP")
                                                : QStringLiteral("DNSManual"));
            e.add(NS_TT, QStringLiteral("Type"), QStringLiteral("IPv4"));
            e.add(NS_TT, QStringLiteral("IPv4Address"), d);
        }
    } else if (op == "SetDNS") {
        ok = opSetDNS(in, out, err);
    } else if (op == "GetNetworkDefaultGateway") {
        out = El(NS_TDS, op + R);
        El &g = out.add(NS_TDS, QStringLiteral("NetworkGateway"));
        for (const QString &a : gateway)
            g.add(NS_TT, QStringLiteral("IPv4Address"), a);
    } else if (op == "SetNetworkDefaultGateway") {
        ok = opSetGateway(in, out, err);
    } else if (op == "GetScopes") {
        out = El(NS_TDS, op + R);
        const QStringList all = scopesText().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &s : all) {
            bool fixed = s.contains(QLatin1String("/type/")) ||
                         s.contains(QLatin1String("/hardware/")) ||
                         s.contains(QLatin1String("/Profile/"));
            El &e = out.add(NS_TDS, QStringLiteral("Scopes"));
            e.add(NS_TT, QStringLiteral("ScopeDef"),
                  fixed ? QStringLiteral("Fixed") : QStringLiteral("Configurable"));
            e.add(NS_TT, QStringLiteral("ScopeItem"), s);
        }
    } else if (op == "GetHostname") {
        out = El(NS_TDS, op + R);
        El &h = out.add(NS_TDS, QStringLiteral("HostnameInformation"));
        h.add(NS_TT, QStringLiteral("FromDHCP"), QStringLiteral("false"));
        h.add(NS_TT, QStringLiteral("Name"), hostname);
    } else if (op == "SetHostname") {
        QString n = in.childText(QStringLiteral("Name"));
        if (n.isEmpty() || n.size() > 63 || n.contains(QLatin1Char(' '))) {
            ok = false;
            err = faultReply(
                400, true,
                {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:InvalidHostname")},
                QStringLiteral("invalid host name"));
        } else {
            hostname = n;
            out = El(NS_TDS, op + R);
        }
    } else if (op == "SystemReboot") {
        out = El(NS_TDS, op + R);
        out.add(NS_TDS, QStringLiteral("Message"), QStringLiteral("Rebooting"));
    } else if (isEventOp(op, in)) {
        ok = opEvents(env, in, req, out, err, log);
    } else {
        log.insert(QStringLiteral("answer"), QStringLiteral("not-supported"));
        return faultReply(500, false, {QStringLiteral("ter:ActionNotSupported")},
                          QStringLiteral("Optional Action Not Implemented"));
    }
    if (!ok) return err;
    r = soapReply(200, out);
    if (mode.startsWith(QLatin1String("slow:"))) r.delayMs = mode.mid(5).toInt();
    if (mode == "wrong-length") r.mode = HttpResponse::WrongLength;
    if (!moveAddr.isEmpty()) {
        QPointer<Camera> self(this);
        r.afterSent = [self, moveAddr]() {
            if (!self) return;
            QTimer::singleShot(0, self, [self, moveAddr]() {
                if (self) self->moveTo(moveAddr);
            });
        };
    }
    return r;
}

// A device-service Set operation that a camera with "ignore_sets" answers
// with an empty response (HTTP 200) without doing anything.
bool Camera::ignoresSet(const QString &op, const XNode &in) const
{
    return cfg.ignoreSets && op.startsWith(QLatin1String("Set")) &&
           in.ns == QLatin1String(nsUri(NS_TDS));
}

bool Camera::opGetSystemDateAndTime(const XNode &, El &out)
{
    QDateTime utc = QDateTime::currentDateTimeUtc().addMSecs(clockOffset);
    QDateTime local = utc.addSecs(cfg.localOffsetS);
    out = El(NS_TDS, QStringLiteral("GetSystemDateAndTimeResponse"));
    El &s = out.add(NS_TDS, QStringLiteral("SystemDateAndTime"));
    s.add(NS_TT, QStringLiteral("DateTimeType"), dateTimeType);
    s.add(NS_TT, QStringLiteral("DaylightSavings"), boolText(daylight));
    s.add(NS_TT, QStringLiteral("TimeZone")).add(NS_TT, QStringLiteral("TZ"), tz);
    if (!cfg.onlyLocalTime) {
        El u = dateTime(utc);
        u.name = QStringLiteral("UTCDateTime");
        s.add(u);
    }
    El l = dateTime(local);
    l.name = QStringLiteral("LocalDateTime");
    s.add(l);
    return true;
}

bool Camera::opSetSystemDateAndTime(const XNode &in, El &out, HttpResponse &err)
{
    auto bad = [&](const QString &why) {
        err = faultReply(
            400, true, {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:InvalidDateTime")},
            why);
        return false;
    };
    QString type = in.childText(QStringLiteral("DateTimeType"));
    if (type != "Manual" && type != "NTP")
        return bad(QStringLiteral("DateTimeType must be Manual or NTP"));
    bool dst = false;
    if (!parseBoolText(in.childText(QStringLiteral("DaylightSavings")), dst))
        return bad(QStringLiteral("DaylightSavings must be a boolean"));
    QString newTz = tz;
    if (const XNode *t = in.child(QStringLiteral("TimeZone"))) {
        newTz = t->childText(QStringLiteral("TZ"));
        if (newTz.isEmpty() || newTz.size() > 127) {
            err = faultReply(
                400, true,
                {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:InvalidTimeZone")},
                QStringLiteral("invalid time zone"));
            return false;
        }
    }
    qint64 newOffset = clockOffset;
    if (const XNode *u = in.child(QStringLiteral("UTCDateTime"))) {
        const XNode *t = u->child(QStringLiteral("Time"));
        const XNode *d = u->child(QStringLiteral("Date"));
        if (!t || !d) return bad(QStringLiteral("UTCDateTime needs Time and Date"));
        QTime tm(t->childText(QStringLiteral("Hour")).toInt(),
                 t->childText(QStringLiteral("Minute")).toInt(),
                 t->childText(QStringLiteral("Second")).toInt());
        QDate dt(d->childText(QStringLiteral("Year")).toInt(),
                 d->childText(QStringLiteral("Month")).toInt(),
                 d->childText(QStringLiteral("Day")).toInt());
        if (!tm.isValid() || !dt.isValid()) return bad(QStringLiteral("invalid date or time"));
        QDateTime target(dt, tm, Qt::UTC);
        newOffset = QDateTime::currentDateTimeUtc().msecsTo(target);
    } else if (type == "Manual") {
        return bad(QStringLiteral("Manual needs UTCDateTime"));
    }
    dateTimeType = type;
    daylight = dst;
    tz = newTz;
    clockOffset = newOffset;
    out = El(NS_TDS, QStringLiteral("SetSystemDateAndTimeResponse"));
    return true;
}

bool Camera::opGetCapabilities(const XNode &in, El &out, HttpResponse &err)
{
    QStringList cats;
    for (const XNode *c : in.childrenNamed(QStringLiteral("Category")))
        cats << c->text;
    if (cats.isEmpty()) cats << QStringLiteral("All");
    bool all = cats.contains(QStringLiteral("All"));
    for (const QString &c : cats) {
        bool known = c == "All" || c == "Device" || c == "Events" || c == "Imaging" ||
                     c == "Media" || (c == "PTZ" && cfg.ptz);
        if (!known) {
            err = faultReply(
                400, true,
                {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:NoSuchService")},
                QStringLiteral("no such capability category: ") + c);
            return false;
        }
    }
    auto want = [&](const char *c) { return all || cats.contains(QLatin1String(c)); };
    out = El(NS_TDS, QStringLiteral("GetCapabilitiesResponse"));
    El &caps = out.add(NS_TDS, QStringLiteral("Capabilities"));
    auto b = [](bool v) { return boolText(v); };
    if (want("Device")) {
        El &d = caps.add(NS_TT, QStringLiteral("Device"));
        d.add(NS_TT, QStringLiteral("XAddr"), serviceUrl(QStringLiteral("device_service")));
        El &n = d.add(NS_TT, QStringLiteral("Network"));
        n.add(NS_TT, QStringLiteral("IPFilter"), b(false));
        n.add(NS_TT, QStringLiteral("ZeroConfiguration"), b(false));
        n.add(NS_TT, QStringLiteral("IPVersion6"), b(false));
        n.add(NS_TT, QStringLiteral("DynDNS"), b(false));
        n.add(NS_TT, QStringLiteral("Extension"))
            .add(NS_TT, QStringLiteral("Dot11Configuration"), b(false));
        El &s = d.add(NS_TT, QStringLiteral("System"));
        s.add(NS_TT, QStringLiteral("DiscoveryResolve"), b(false));
        s.add(NS_TT, QStringLiteral("DiscoveryBye"), b(true));
        s.add(NS_TT, QStringLiteral("RemoteDiscovery"), b(false));
        s.add(NS_TT, QStringLiteral("SystemBackup"), b(false));
        s.add(NS_TT, QStringLiteral("SystemLogging"), b(false));
        s.add(NS_TT, QStringLiteral("FirmwareUpgrade"), b(false));
        El &v = s.add(NS_TT, QStringLiteral("SupportedVersions"));
        v.add(NS_TT, QStringLiteral("Major"), QStringLiteral("2"));
        v.add(NS_TT, QStringLiteral("Minor"), QStringLiteral("60"));
        El &se = s.add(NS_TT, QStringLiteral("Extension"));
        se.add(NS_TT, QStringLiteral("HttpFirmwareUpgrade"), b(false));
        se.add(NS_TT, QStringLiteral("HttpSystemBackup"), b(false));
        se.add(NS_TT, QStringLiteral("HttpSystemLogging"), b(false));
        se.add(NS_TT, QStringLiteral("HttpSupportInformation"), b(false));
        El &io = d.add(NS_TT, QStringLiteral("IO"));
        io.add(NS_TT, QStringLiteral("InputConnectors"), QStringLiteral("0"));
        io.add(NS_TT, QStringLiteral("RelayOutputs"), QStringLiteral("0"));
        El &sec = d.add(NS_TT, QStringLiteral("Security"));
        sec.add(NS_TT, QStringLiteral("TLS1.1"), b(cfg.tls));
        sec.add(NS_TT, QStringLiteral("TLS1.2"), b(cfg.tls));
        sec.add(NS_TT, QStringLiteral("OnboardKeyGeneration"), b(false));
        sec.add(NS_TT, QStringLiteral("AccessPolicyConfig"), b(false));
        sec.add(NS_TT, QStringLiteral("X.509Token"), b(false));
        sec.add(NS_TT, QStringLiteral("SAMLToken"), b(false));
        sec.add(NS_TT, QStringLiteral("KerberosToken"), b(false));
        sec.add(NS_TT, QStringLiteral("RELToken"), b(false));
    }
    if (want("Events")) {
        El &e = caps.add(NS_TT, QStringLiteral("Events"));
        e.add(NS_TT, QStringLiteral("XAddr"), serviceUrl(QStringLiteral("events_service")));
        e.add(NS_TT, QStringLiteral("WSSubscriptionPolicySupport"), b(false));
        e.add(NS_TT, QStringLiteral("WSPullPointSupport"), b(true));
        e.add(NS_TT, QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"), b(false));
    }
    if (want("Imaging"))
        caps.add(NS_TT, QStringLiteral("Imaging"))
            .add(NS_TT, QStringLiteral("XAddr"), serviceUrl(QStringLiteral("imaging_service")));
    if (want("Media")) {
        El &m = caps.add(NS_TT, QStringLiteral("Media"));
        m.add(NS_TT, QStringLiteral("XAddr"), serviceUrl(QStringLiteral("media_service")));
        El &sc = m.add(NS_TT, QStringLiteral("StreamingCapabilities"));
        sc.add(NS_TT, QStringLiteral("RTPMulticast"), b(false));
        sc.add(NS_TT, QStringLiteral("RTP_TCP"), b(true));
        sc.add(NS_TT, QStringLiteral("RTP_RTSP_TCP"), b(true));
        m.add(NS_TT, QStringLiteral("Extension"))
            .add(NS_TT, QStringLiteral("ProfileCapabilities"))
            .add(NS_TT, QStringLiteral("MaximumNumberOfProfiles"), QStringLiteral("3"));
    }
    if (cfg.ptz && want("PTZ"))
        caps.add(NS_TT, QStringLiteral("PTZ"))
            .add(NS_TT, QStringLiteral("XAddr"), serviceUrl(QStringLiteral("ptz_service")));
    if (all) {
        El &io =
            caps.add(NS_TT, QStringLiteral("Extension")).add(NS_TT, QStringLiteral("DeviceIO"));
        io.add(NS_TT, QStringLiteral("XAddr"), serviceUrl(QStringLiteral("deviceio_service")));
        io.add(NS_TT, QStringLiteral("VideoSources"), QStringLiteral("1"));
        io.add(NS_TT, QStringLiteral("VideoOutputs"), QStringLiteral("0"));
        io.add(NS_TT, QStringLiteral("AudioSources"), QStringLiteral("1"));
        io.add(NS_TT, QStringLiteral("AudioOutputs"), QStringLiteral("0"));
        io.add(NS_TT, QStringLiteral("RelayOutputs"), QStringLiteral("0"));
    }
    return true;
}

El Camera::deviceServiceCaps() const
{
    El c(NS_TDS, QStringLiteral("Capabilities"));
    c.add(NS_TDS, QStringLiteral("Network"))
        .attr(QStringLiteral("IPFilter"), QStringLiteral("false"))
        .attr(QStringLiteral("ZeroConfiguration"), QStringLiteral("false"))
        .attr(QStringLiteral("IPVersion6"), QStringLiteral("false"))
        .attr(QStringLiteral("DynDNS"), QStringLiteral("false"))
        .attr(QStringLiteral("Dot11Configuration"), QStringLiteral("false"))
        .attr(QStringLiteral("HostnameFromDHCP"), QStringLiteral("false"))
        .attr(QStringLiteral("NTP"), QStringLiteral("1"));
    c.add(NS_TDS, QStringLiteral("Security"))
        .attr(QStringLiteral("TLS1.2"), boolText(cfg.tls))
        .attr(QStringLiteral("UsernameToken"),
              boolText(cfg.auth == "wsse" || (cfg.auth != "none" && cfg.acceptWsse)))
        .attr(QStringLiteral("HttpDigest"), boolText(cfg.auth == "digest"))
        .attr(QStringLiteral("MaxUsers"), QStringLiteral("8"));
    c.add(NS_TDS, QStringLiteral("System"))
        .attr(QStringLiteral("DiscoveryResolve"), QStringLiteral("false"))
        .attr(QStringLiteral("DiscoveryBye"), QStringLiteral("true"))
        .attr(QStringLiteral("RemoteDiscovery"), QStringLiteral("false"))
        .attr(QStringLiteral("SystemBackup"), QStringLiteral("false"))
        .attr(QStringLiteral("SystemLogging"), QStringLiteral("false"))
        .attr(QStringLiteral("HttpFirmwareUpgrade"), QStringLiteral("false"));
    c.add(NS_TDS, QStringLiteral("Misc"))
        .attr(QStringLiteral("AuxiliaryCommands"), QStringLiteral("tt:Wiper|On"));
    return c;
}

bool Camera::opGetServices(const XNode &in, El &out)
{
    bool include = false;
    parseBoolText(in.childText(QStringLiteral("IncludeCapability")), include);
    out = El(NS_TDS, QStringLiteral("GetServicesResponse"));
    auto service = [&](int ns, const QString &path, const El &caps) {
        El &s = out.add(NS_TDS, QStringLiteral("Service"));
        s.add(NS_TDS, QStringLiteral("Namespace"), QLatin1String(nsUri(ns)));
        s.add(NS_TDS, QStringLiteral("XAddr"), serviceUrl(path));
        if (include) s.add(NS_TDS, QStringLiteral("Capabilities")).add(caps);
        El &v = s.add(NS_TDS, QStringLiteral("Version"));
        v.add(NS_TT, QStringLiteral("Major"), QStringLiteral("2"));
        v.add(NS_TT, QStringLiteral("Minor"), QStringLiteral("60"));
    };
    service(NS_TDS, QStringLiteral("device_service"), deviceServiceCaps());
    El media(NS_TRT, QStringLiteral("Capabilities"));
    media.attr(QStringLiteral("SnapshotUri"), QStringLiteral("true"))
        .attr(QStringLiteral("Rotation"), QStringLiteral("false"))
        .attr(QStringLiteral("OSD"), QStringLiteral("false"));
    media.add(NS_TRT, QStringLiteral("ProfileCapabilities"))
        .attr(QStringLiteral("MaximumNumberOfProfiles"), QStringLiteral("3"));
    media.add(NS_TRT, QStringLiteral("StreamingCapabilities"))
        .attr(QStringLiteral("RTPMulticast"), QStringLiteral("false"))
        .attr(QStringLiteral("RTP_TCP"), QStringLiteral("true"))
        .attr(QStringLiteral("RTP_RTSP_TCP"), QStringLiteral("true"));
    service(NS_TRT, QStringLiteral("media_service"), media);
    El ev(NS_TEV, QStringLiteral("Capabilities"));
    ev.attr(QStringLiteral("WSSubscriptionPolicySupport"), QStringLiteral("false"))
        .attr(QStringLiteral("WSPullPointSupport"), QStringLiteral("true"))
        .attr(QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"),
              QStringLiteral("false"))
        .attr(QStringLiteral("MaxNotificationProducers"), QStringLiteral("4"))
        .attr(QStringLiteral("MaxPullPoints"), QStringLiteral("4"));
    service(NS_TEV, QStringLiteral("events_service"), ev);
    El img(NS_TIMG, QStringLiteral("Capabilities"));
    img.attr(QStringLiteral("ImageStabilization"), QStringLiteral("false"));
    service(NS_TIMG, QStringLiteral("imaging_service"), img);
    El io(NS_TMD, QStringLiteral("Capabilities"));
    io.attr(QStringLiteral("VideoSources"), QStringLiteral("1"))
        .attr(QStringLiteral("VideoOutputs"), QStringLiteral("0"))
        .attr(QStringLiteral("AudioSources"), QStringLiteral("1"))
        .attr(QStringLiteral("AudioOutputs"), QStringLiteral("0"))
        .attr(QStringLiteral("RelayOutputs"), QStringLiteral("0"));
    service(NS_TMD, QStringLiteral("deviceio_service"), io);
    if (cfg.ptz) {
        El p(NS_TPTZ, QStringLiteral("Capabilities"));
        p.attr(QStringLiteral("EFlip"), QStringLiteral("false"))
            .attr(QStringLiteral("Reverse"), QStringLiteral("false"));
        service(NS_TPTZ, QStringLiteral("ptz_service"), p);
    }
    return true;
}

bool Camera::opGetNetworkInterfaces(El &out)
{
    out = El(NS_TDS, QStringLiteral("GetNetworkInterfacesResponse"));
    El &n = out.add(NS_TDS, QStringLiteral("NetworkInterfaces"));
    n.attr(QStringLiteral("token"), QStringLiteral("eth0"));
    n.add(NS_TT, QStringLiteral("Enabled"), QStringLiteral("true"));
    El &info = n.add(NS_TT, QStringLiteral("Info"));
    info.add(NS_TT, QStringLiteral("Name"), QStringLiteral("eth0"));
    info.add(NS_TT, QStringLiteral("HwAddress"), cfg.hwAddress);
    info.add(NS_TT, QStringLiteral("MTU"), QStringLiteral("1500"));
    El &v4 = n.add(NS_TT, QStringLiteral("IPv4"));
    v4.add(NS_TT, QStringLiteral("Enabled"), QStringLiteral("true"));
    El &c = v4.add(NS_TT, QStringLiteral("Config"));
    El &a = c.add(NS_TT, dhcp ? QStringLiteral("FromDHCP") : QStringLiteral("Manual"));
    a.add(NS_TT, QStringLiteral("Address"), addr);
    a.add(NS_TT, QStringLiteral("PrefixLength"), QString::number(prefixLen));
    c.add(NS_TT, QStringLiteral("DHCP"), boolText(dhcp));
    return true;
}

bool Camera::opSetNetworkInterfaces(const XNode &in, El &out, HttpResponse &err, QString &moveAddr)
{
    auto bad = [&](const QString &sub, const QString &why) {
        err = faultReply(400, true, {QStringLiteral("ter:InvalidArgVal"), sub}, why);
        return false;
    };
    QString token = in.childText(QStringLiteral("InterfaceToken"));
    if (token != "eth0")
        return bad(QStringLiteral("ter:InvalidNetworkInterface"),
                   QStringLiteral("no interface \"%1\"").arg(token));
    const XNode *ni = in.child(QStringLiteral("NetworkInterface"));
    if (!ni)
        return bad(QStringLiteral("ter:InvalidNetworkInterface"),
                   QStringLiteral("NetworkInterface missing"));
    bool newDhcp = dhcp;
    int newPrefix = prefixLen;
    QString newAddr = addr;
    if (const XNode *v4 = ni->child(QStringLiteral("IPv4"))) {
        if (v4->has(QStringLiteral("DHCP")) &&
            !parseBoolText(v4->childText(QStringLiteral("DHCP")), newDhcp))
            return bad(QStringLiteral("ter:InvalidIPv4Address"),
                       QStringLiteral("DHCP must be a boolean"));
        if (const XNode *m = v4->child(QStringLiteral("Manual"))) {
            QString a = m->childText(QStringLiteral("Address"));
            bool ok = false;
            int pl = m->childText(QStringLiteral("PrefixLength")).toInt(&ok);
            if (!parseIpv4(a))
                return bad(QStringLiteral("ter:InvalidIPv4Address"),
                           QStringLiteral("bad address \"%1\"").arg(a));
            if (!ok || pl < 0 || pl > 32)
                return bad(QStringLiteral("ter:InvalidIPv4Address"),
                           QStringLiteral("bad prefix length"));
            if (!newDhcp) {
                newAddr = a;
                newPrefix = pl;
            }
        }
    }
    dhcp = newDhcp;
    prefixLen = newPrefix;
    if (newAddr != addr) moveAddr = newAddr;
    out = El(NS_TDS, QStringLiteral("SetNetworkInterfacesResponse"));
    out.add(NS_TDS, QStringLiteral("RebootNeeded"), QStringLiteral("false"));
    return true;
}

bool Camera::opSetDNS(const XNode &in, El &out, HttpResponse &err)
{
    bool fromDhcp = false;
    if (!parseBoolText(in.childText(QStringLiteral("FromDHCP")), fromDhcp)) {
        err = faultReply(400, true, {QStringLiteral("ter:InvalidArgVal")},
                         QStringLiteral("FromDHCP must be a boolean"));
        return false;
    }
    QStringList domains, servers;
    for (const XNode *d : in.childrenNamed(QStringLiteral("SearchDomain")))
        if (!d->text.isEmpty()) domains << d->text;
    for (const XNode *m : in.childrenNamed(QStringLiteral("DNSManual"))) {
        QString type = m->childText(QStringLiteral("Type"));
        QString a = m->childText(QStringLiteral("IPv4Address"));
        if ((!type.isEmpty() && type != "IPv4") || !parseIpv4(a)) {
            err = faultReply(
                400, true,
                {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:InvalidIPv4Address")},
                QStringLiteral("bad DNS server \"%1\"").arg(a));
            return false;
        }
        servers << a;
    }
    if (domains.size() > 4 || servers.size() > 4) {
        err = faultReply(
            400, true,
            {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:TooManySearchDomains")},
            QStringLiteral("too many entries"));
        return false;
    }
    dnsFromDhcp = fromDhcp;
    searchDomains = domains;
    if (!fromDhcp) dns = servers;
    out = El(NS_TDS, QStringLiteral("SetDNSResponse"));
    return true;
}

bool Camera::opSetGateway(const XNode &in, El &out, HttpResponse &err)
{
    QStringList gw;
    for (const XNode *g : in.childrenNamed(QStringLiteral("IPv4Address"))) {
        if (!parseIpv4(g->text)) {
            err = faultReply(
                400, true,
                {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:InvalidGatewayAddress")},
                QStringLiteral("bad gateway \"%1\"").arg(g->text));
            return false;
        }
        gw << g->text;
    }
    if (gw.size() > 4) {
        err = faultReply(
            400, true,
            {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:InvalidGatewayAddress")},
            QStringLiteral("too many gateways"));
        return false;
    }
    gateway = gw;
    out = El(NS_TDS, QStringLiteral("SetNetworkDefaultGatewayResponse"));
    return true;
}

void Camera::moveTo(const QString &newAddr)
{
    QString old = addr;
    QString reason;
    bool ok = false;
    {
        HttpServer *old_server = server;
        // a fresh server on the new address, same port; the old one stops listening
        QString err;
        QString saveAddr = addr;
        addr = newAddr;
        int savePort = cfg.port;
        cfg.port = boundPort;
        server = nullptr;
        if (start(err)) {
            ok = true;
            old_server->close();
            old_server->deleteLater();
        } else {
            reason = err;
            addr = saveAddr;
            server = old_server;
        }
        cfg.port = savePort;
    }
    if (ok) {
        ++mdVersion;
        note(QStringLiteral("moved from %1 to %2").arg(old, newAddr));
    } else {
        note(
            QStringLiteral("cannot move from %1 to %2 (%3); keeping %1").arg(old, newAddr, reason));
    }
    if (ctx->log) {
        QJsonObject o{{"event", "move"}, {"camera", cfg.serial}, {"index", cfg.index},
                      {"from", old},     {"to", newAddr},        {"ok", ok}};
        if (!ok) o.insert(QStringLiteral("reason"), reason);
        ctx->log->write(o);
    }
    if (ok) emit moved(this);
}

// ---- web upgrade interface -------------------------------------------------

HttpResponse Camera::handleLogin(const HttpRequest &, QJsonObject &log)
{
    HttpResponse r;
    r.setHeader("Content-Type", "application/json");
    if (cfg.login == "refuse") {
        r.status = 401;
        r.body = "{\"code\":401,\"msg\":\"login refused\"}";
        log.insert(QStringLiteral("login"), QStringLiteral("refused"));
        return r;
    }
    QByteArray sid = randomHex(16);
    sessions.insert(sid);
    if (sessions.size() > 10000) sessions.clear();
    r.setHeader("Set-Cookie", "session=" + sid + "; Path=/");
    r.body = "{\"code\":0,\"msg\":\"ok\"}";
    log.insert(QStringLiteral("login"), QStringLiteral("accepted"));
    return r;
}

HttpResponse Camera::handleUpload(const HttpRequest &req, QJsonObject &log)
{
    HttpResponse r;
    r.setHeader("Content-Type", "application/json");
    auto reply = [&](int st, const QByteArray &msg) {
        r.status = st;
        r.body =
            "{\"code\":" + QByteArray::number(st == 200 ? 0 : st) + ",\"msg\":\"" + msg + "\"}";
        return r;
    };
    // cookie
    bool cookiePresent = false, cookieValid = false;
    for (QByteArray c : req.header("cookie").split(';')) {
        c = c.trimmed();
        if (c.startsWith("session=")) {
            cookiePresent = true;
            if (sessions.contains(c.mid(8))) cookieValid = true;
        }
    }
    log.insert(QStringLiteral("cookie_present"), cookiePresent);
    log.insert(QStringLiteral("cookie_valid"), cookieValid);
    if (cfg.uploadRequiresCookie && !cookieValid) return reply(401, "login first");

    // multipart boundary
    QByteArray ct = req.header("content-type");
    if (!ct.toLower().startsWith("multipart/form-data"))
        return reply(400, "expected multipart/form-data");
    QByteArray boundary;
    for (QByteArray p : ct.split(';')) {
        p = p.trimmed();
        if (p.toLower().startsWith("boundary=")) {
            boundary = p.mid(9);
            if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
                boundary = boundary.mid(1, boundary.size() - 2);
        }
    }
    if (boundary.isEmpty() || boundary.size() > 200) return reply(400, "no multipart boundary");
    const QByteArray &b = req.body;
    const QByteArray delim = "--" + boundary;
    int at = b.startsWith(delim) ? 0 : b.indexOf("\r\n" + delim);
    if (at < 0) return reply(400, "no multipart part");
    if (at > 0) at += 2;
    QByteArray fileData, fileName;
    bool found = false;
    for (int guard = 0; guard < 1000 && !found; ++guard) {
        int lineEnd = b.indexOf("\r\n", at);
        if (lineEnd < 0 || b.mid(at + delim.size(), 2) == "--") break; // closing delimiter
        int headEnd = b.indexOf("\r\n\r\n", lineEnd);
        if (headEnd < 0) break;
        QByteArray heads = b.mid(lineEnd + 2, headEnd - lineEnd - 2);
        int next = b.indexOf("\r\n" + delim, headEnd + 4);
        if (next < 0) break;
        QByteArray name, fname;
        for (const QByteArray &h : heads.split('\n')) {
            QByteArray line = h.trimmed();
            if (!line.toLower().startsWith("content-disposition:")) continue;
            for (QByteArray p : line.mid(20).split(';')) {
                p = p.trimmed();
                auto val = [&](int skip) {
                    QByteArray v = p.mid(skip);
                    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
                        v = v.mid(1, v.size() - 2);
                    return v;
                };
                if (p.toLower().startsWith("name="))
                    name = val(5);
                else if (p.toLower().startsWith("filename="))
                    fname = val(9);
            }
        }
        if (name == "file") {
            fileData = b.mid(headEnd + 4, next - headEnd - 4);
            fileName = fname;
            found = true;
        }
        at = next + 2;
    }
    if (!found) return reply(400, "no part named file");
    log.insert(QStringLiteral("filename"), QString::fromUtf8(fileName));
    log.insert(QStringLiteral("upload_size"), double(fileData.size()));

    QDir().mkpath(ctx->uploadDir);
    QString path = QDir(ctx->uploadDir).filePath(safeFileName(cfg.serial) + QStringLiteral(".bin"));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(fileData) != fileData.size() || !f.commit()) {
        note(QStringLiteral("cannot store the upload in %1").arg(path));
        log.insert(QStringLiteral("error"), QStringLiteral("cannot store ") + path);
        return reply(500, "cannot store the file");
    }
    log.insert(QStringLiteral("upload_file"), path);
    if (cfg.upload == "error") return reply(500, "upgrade failed");

    QString base = QString::fromUtf8(fileName);
    base =
        base.mid(qMax(base.lastIndexOf(QLatin1Char('/')), base.lastIndexOf(QLatin1Char('\\'))) + 1);
    int dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        base.truncate(dot);
    else if (dot == 0)
        base.clear();
    base = base.left(63);
    fw = !cfg.upgradeFirmware.isEmpty() ? cfg.upgradeFirmware
         : !base.isEmpty()              ? base
                                        : fw + QStringLiteral("-upgraded");
    log.insert(QStringLiteral("firmware"), fw);
    note(QStringLiteral("firmware upgraded to %1 (%2 bytes)").arg(fw).arg(fileData.size()));
    r.status = 200;
    r.body =
        "{\"code\":0,\"msg\":\"upload ok\",\"size\":" + QByteArray::number(fileData.size()) + "}";
    return r;
}

} // namespace camsim
