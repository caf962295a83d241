#include "camera.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QPointer>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTextStream>
#include <QTimer>
#include <QUuid>

#include "reqlog.h"

namespace camsim
{

namespace
{

const char *kSoap12 = "http://www.w3.org/2003/05/soap-envelope";

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
    dev = initialDeviceState(cfg);
    media = initialMediaState(cfg);
    img = initialImagingState();
    io = initialIoState(cfg);
    publishIo();
    logs.add(logs.system, cameraNow(),
             QStringLiteral("camsim %1 %2 started, firmware %3").arg(cfg.model, cfg.serial, fw));
}

void Camera::note(const QString &msg) const
{
    if (ctx->quiet) return;
    QTextStream(stderr) << "camsim: " << cfg.serial << ": " << msg << "\n";
}

bool Camera::start(QString &err)
{
    ssl_ctx_st *tls = nullptr;
    if (cfg.tls) {
        QString certPath = cfg.cert.isEmpty() ? QStringLiteral(":/certs/camsim.crt") : cfg.cert;
        QString keyPath = cfg.key.isEmpty() ? QStringLiteral(":/certs/camsim.key") : cfg.key;
        tls = tlsServerContext(certPath, keyPath, err);
        if (!tls) return false;
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
    auto *s = new HttpServer(tls, ctx->limits, handler, hook, this);
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
    for (const ScopeEntry &e : dev.scopes)
        s << e.item;
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
    // A camera without the web upgrade interface answers 404 there.
    const bool web = cfg.login != "absent";
    if (web && req.path == QLatin1String("/account/login")) {
        if (req.method == "POST")
            r = handleLogin(req, log);
        else
            notAllowed();
    } else if (web && req.path == QLatin1String("/api/sysConfig/uploadSystem")) {
        if (req.method == "POST")
            r = handleUpload(req, log);
        else
            notAllowed();
    } else if (req.path.startsWith(QLatin1String("/onvif-files/")) ||
               req.path.startsWith(QLatin1String("/onvif-upload/"))) {
        r = handleDeviceFile(req, log);
    } else if (req.path == QLatin1String("/onvif-snapshot")) {
        r = handleSnapshot(req, log);
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

// The account a request names: the configured user and every account that
// CreateUsers added (SetUser changes their passwords).
const DeviceUser *Camera::account(const QString &name) const
{
    for (const DeviceUser &u : dev.users)
        if (u.name == name) return &u;
    return nullptr;
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
        const QString dec = QString::fromUtf8(QByteArray::fromBase64(rest));
        const int colon = dec.indexOf(QLatin1Char(':'));
        const DeviceUser *u = colon < 0 ? nullptr : account(dec.left(colon));
        return u && u->password == dec.mid(colon + 1) ? QStringLiteral("valid")
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
        const DeviceUser *u = account(QString::fromUtf8(user));
        if (!u || realm != "camsim" || !digestNonceFresh(nonce)) return QStringLiteral("invalid");
        if (uri != req.target.toUtf8() && uri != req.path.toUtf8())
            return QStringLiteral("invalid");
        QByteArray ha1 = md5hex(user + ":" + realm + ":" + u->password.toUtf8());
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
    const DeviceUser *u = account(user);
    if (!pw || !u) return QStringLiteral("invalid");
    QString type = pw->attr(QStringLiteral("Type"));
    if (type.endsWith(QLatin1String("#PasswordText")))
        return pw->text == u->password ? QStringLiteral("valid") : QStringLiteral("invalid");
    QByteArray nonce = QByteArray::fromBase64(nonceB64.toLatin1());
    if (nonce.isEmpty() || created.isEmpty()) return QStringLiteral("invalid");
    QByteArray digest = QCryptographicHash::hash(nonce + created.toUtf8() + u->password.toUtf8(),
                                                 QCryptographicHash::Sha1)
                            .toBase64();
    if (digest != pw->text.toLatin1()) return QStringLiteral("invalid");
    QDateTime c = QDateTime::fromString(created, Qt::ISODateWithMs);
    if (!c.isValid()) c = QDateTime::fromString(created, Qt::ISODate);
    if (!c.isValid()) return QStringLiteral("invalid");
    QDateTime now = QDateTime::currentDateTimeUtc().addMSecs(dev.clockOffset);
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

// multipart/related with the envelope (application/xop+xml) as the root
// part and each attachment as a part of its own (MTOM).
HttpResponse Camera::mtomReply(const El &bodyChild, const std::vector<SoapAttachment> &parts) const
{
    const QByteArray boundary = "camsim-mime-" + randomHex(8);
    const QByteArray root = "envelope@camsim.invalid";
    HttpResponse r;
    r.status = 200;
    r.setHeader("Content-Type", "multipart/related; type=\"application/xop+xml\"; start=\"<" +
                                    root + ">\"; start-info=\"application/soap+xml\"; boundary=\"" +
                                    boundary + "\"");
    QByteArray &b = r.body;
    b += "--" + boundary + "\r\n";
    b += "Content-Type: application/xop+xml; charset=UTF-8; type=\"application/soap+xml\"\r\n";
    b += "Content-Transfer-Encoding: binary\r\n";
    b += "Content-ID: <" + root + ">\r\n\r\n";
    b += envelope(bodyChild);
    for (const SoapAttachment &a : parts) {
        b += "\r\n--" + boundary + "\r\n";
        b += "Content-Type: " + a.contentType + "\r\n";
        b += "Content-Transfer-Encoding: binary\r\n";
        b += "Content-ID: <" + a.id + ">\r\n\r\n";
        b += a.data;
    }
    b += "\r\n--" + boundary + "--\r\n";
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
    logs.add(logs.access, cameraNow(),
             QStringLiteral("%1 %2 %3")
                 .arg(req.peer, op, authOk ? QStringLiteral("ok") : QStringLiteral("refused")));
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
    const SoapOp *row = findSoapOp(in.ns, op);
    if (!row) {
        log.insert(QStringLiteral("answer"), QStringLiteral("not-supported"));
        return faultReply(500, false, {QStringLiteral("ter:ActionNotSupported")},
                          QStringLiteral("Optional Action Not Implemented"));
    }
    SoapCall call{env, in, req, log, El(), {}, HttpResponse(), nullptr};
    if (!row->run(*this, call)) return call.err;
    publishIo(); // relays and inputs the operation changed become events
    r = call.attachments.empty() ? soapReply(200, call.out) : mtomReply(call.out, call.attachments);
    if (mode.startsWith(QLatin1String("slow:"))) r.delayMs = mode.mid(5).toInt();
    if (mode == "wrong-length") r.mode = HttpResponse::WrongLength;
    if (call.afterReply) {
        // after the connection closed, from the event loop: the handler may
        // replace the server that carried the request
        QPointer<Camera> self(this);
        std::function<void()> after = call.afterReply;
        r.afterSent = [self, after]() {
            if (self) QTimer::singleShot(0, self.data(), after);
        };
    }
    return r;
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

bool multipartFile(const HttpRequest &req, QByteArray &fileData, QByteArray &fileName,
                   QByteArray &why)
{
    QByteArray ct = req.header("content-type");
    if (!ct.toLower().startsWith("multipart/form-data")) {
        why = "expected multipart/form-data";
        return false;
    }
    QByteArray boundary;
    for (QByteArray p : ct.split(';')) {
        p = p.trimmed();
        if (p.toLower().startsWith("boundary=")) {
            boundary = p.mid(9);
            if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
                boundary = boundary.mid(1, boundary.size() - 2);
        }
    }
    if (boundary.isEmpty() || boundary.size() > 200) {
        why = "no multipart boundary";
        return false;
    }
    const QByteArray &b = req.body;
    const QByteArray delim = "--" + boundary;
    int at = b.startsWith(delim) ? 0 : b.indexOf("\r\n" + delim);
    if (at < 0) {
        why = "no multipart part";
        return false;
    }
    if (at > 0) at += 2;
    for (int guard = 0; guard < 1000; ++guard) {
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
            return true;
        }
        at = next + 2;
    }
    why = "no part named file";
    return false;
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

    QByteArray fileData, fileName, why;
    if (!multipartFile(req, fileData, fileName, why)) return reply(400, why);
    QString err;
    if (!installFirmware(fileData, QString::fromUtf8(fileName), log, err))
        return reply(500, err.toUtf8());
    r.status = 200;
    r.body =
        "{\"code\":0,\"msg\":\"upload ok\",\"size\":" + QByteArray::number(fileData.size()) + "}";
    return r;
}

// Stores an uploaded image in <upload-dir>/<serial>.bin and takes its version:
// upgrade_firmware when set, else the file name without folder and last
// extension, else the old version with "-upgraded".
bool Camera::installFirmware(const QByteArray &fileData, const QString &fileName, QJsonObject &log,
                             QString &err)
{
    log.insert(QStringLiteral("filename"), fileName);
    log.insert(QStringLiteral("upload_size"), double(fileData.size()));
    QDir().mkpath(ctx->uploadDir);
    QString path = QDir(ctx->uploadDir).filePath(safeFileName(cfg.serial) + QStringLiteral(".bin"));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(fileData) != fileData.size() || !f.commit()) {
        note(QStringLiteral("cannot store the upload in %1").arg(path));
        log.insert(QStringLiteral("error"), QStringLiteral("cannot store ") + path);
        err = QStringLiteral("cannot store the file");
        return false;
    }
    log.insert(QStringLiteral("upload_file"), path);
    if (cfg.upload == "error") {
        err = QStringLiteral("upgrade failed");
        return false;
    }
    QString base = fileName;
    base =
        base.mid(qMax(base.lastIndexOf(QLatin1Char('/')), base.lastIndexOf(QLatin1Char('\\'))) + 1);
    int dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        base.truncate(dot);
    else if (dot == 0)
        base.clear();
    base = base.left(63);
    const QString old = fw;
    fw = !cfg.upgradeFirmware.isEmpty() ? cfg.upgradeFirmware
         : !base.isEmpty()              ? base
                                        : fw + QStringLiteral("-upgraded");
    log.insert(QStringLiteral("firmware"), fw);
    note(QStringLiteral("firmware upgraded to %1 (%2 bytes)").arg(fw).arg(fileData.size()));
    logs.add(logs.system, cameraNow(),
             QStringLiteral("firmware upgraded from %1 to %2 (%3 bytes)")
                 .arg(old, fw)
                 .arg(fileData.size()));
    return true;
}

// A device-service Set operation that a camera with "ignore_sets" answers
// with an empty response (HTTP 200) without doing anything.
bool Camera::ignoresSet(const QString &op, const XNode &in) const
{
    return cfg.ignoreSets && op.startsWith(QLatin1String("Set")) &&
           in.ns == QLatin1String(nsUri(NS_TDS));
}

} // namespace camsim
