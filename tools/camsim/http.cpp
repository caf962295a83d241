#include "http.h"

#include <QFile>
#include <QHash>
#include <QTcpSocket>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

namespace camsim
{

QByteArray HttpRequest::header(const char *lowerName) const
{
    for (const auto &h : headers)
        if (h.first == lowerName) return h.second;
    return QByteArray();
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// ---- connection bytes --------------------------------------------------

Stream::Stream(QTcpSocket *s, ssl_ctx_st *tls, QObject *parent) : QObject(parent), sock(s)
{
    s->setParent(this);
    if (tls) {
        ssl = SSL_new(tls);
        BIO *r = BIO_new(BIO_s_mem());
        BIO *w = BIO_new(BIO_s_mem());
        if (ssl && r && w) {
            SSL_set_bio(ssl, r, w); // the session owns both from here
            SSL_set_accept_state(ssl);
            rbio = r;
            wbio = w;
        } else {
            BIO_free(r);
            BIO_free(w);
            SSL_free(ssl);
            ssl = nullptr;
            closing = true; // unusable: the first bytes end it
        }
    }
    connect(s, &QTcpSocket::readyRead, this, &Stream::onSocketData);
    connect(s, &QTcpSocket::disconnected, this, &Stream::disconnected);
    connect(s, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError) emit failed();
    });
}

Stream::~Stream()
{
    if (ssl) SSL_free(ssl);
}

bool Stream::connected() const
{
    return sock->state() != QAbstractSocket::UnconnectedState;
}

void Stream::fail()
{
    emit failed();
}

void Stream::pump()
{
    if (!ssl) return;
    char out[16384];
    for (int guard = 0; guard < 100000; guard++) {
        int n = BIO_read(static_cast<BIO *>(wbio), out, (int)sizeof(out));
        if (n <= 0) break;
        sock->write(out, n);
    }
}

void Stream::onSocketData()
{
    QByteArray raw = sock->readAll();
    if (!rbio) {
        if (closing) {
            fail();
            return;
        }
        plain += raw;
        emit readyRead();
        return;
    }
    BIO_write(static_cast<BIO *>(rbio), raw.constData(), raw.size());
    if (!SSL_is_init_finished(ssl)) {
        ERR_clear_error();
        int r = SSL_do_handshake(ssl);
        if (r != 1) {
            int e = SSL_get_error(ssl, r);
            pump(); // an alert, or the next handshake flight
            if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) fail();
            return;
        }
        pump();
        if (!pending.isEmpty()) {
            QByteArray p = pending;
            pending.clear();
            write(p);
        }
    }
    char in[16384];
    for (int guard = 0; guard < 100000; guard++) {
        ERR_clear_error();
        int n = SSL_read(ssl, in, (int)sizeof(in));
        if (n > 0) {
            plain.append(in, n);
            continue;
        }
        int e = SSL_get_error(ssl, n);
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_ZERO_RETURN) {
            pump();
            fail();
            return;
        }
        break;
    }
    pump();
    if (!plain.isEmpty()) emit readyRead();
}

QByteArray Stream::readAll()
{
    if (!rbio) {
        QByteArray p = plain + sock->readAll();
        plain.clear();
        return p;
    }
    QByteArray p = plain;
    plain.clear();
    return p;
}

void Stream::write(const QByteArray &data)
{
    if (!ssl) {
        sock->write(data);
        return;
    }
    if (!SSL_is_init_finished(ssl)) {
        pending += data;
        return;
    }
    // Memory buffers take everything at once.
    for (int off = 0, guard = 0; off < data.size() && guard < 100000; guard++) {
        ERR_clear_error();
        int n = SSL_write(ssl, data.constData() + off, data.size() - off);
        if (n <= 0) break;
        off += n;
    }
    pump();
}

void Stream::close()
{
    if (ssl && SSL_is_init_finished(ssl)) {
        SSL_shutdown(ssl); // close_notify
        pump();
    }
    sock->disconnectFromHost();
}

void Stream::abort()
{
    sock->abort();
}

ssl_ctx_st *tlsServerContext(const QString &certPath, const QString &keyPath, QString &err)
{
    static QHash<QString, SSL_CTX *> contexts; // one per certificate, for the process
    QString key = certPath + QLatin1Char('\n') + keyPath;
    auto it = contexts.constFind(key);
    if (it != contexts.constEnd()) return it.value();

    QFile cf(certPath), kf(keyPath);
    if (!cf.open(QIODevice::ReadOnly) || !kf.open(QIODevice::ReadOnly)) {
        err = QStringLiteral("cannot read certificate %1 or key %2").arg(certPath, keyPath);
        return nullptr;
    }
    QByteArray certPem = cf.readAll(), keyPem = kf.readAll();
    BIO *cb = BIO_new_mem_buf(certPem.constData(), certPem.size());
    BIO *kb = BIO_new_mem_buf(keyPem.constData(), keyPem.size());
    X509 *cert = cb ? PEM_read_bio_X509(cb, nullptr, nullptr, nullptr) : nullptr;
    EVP_PKEY *pkey = kb ? PEM_read_bio_PrivateKey(kb, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(cb);
    BIO_free(kb);
    SSL_CTX *ctx = cert && pkey ? SSL_CTX_new(TLS_server_method()) : nullptr;
    bool ok = ctx && SSL_CTX_use_certificate(ctx, cert) == 1 &&
              SSL_CTX_use_PrivateKey(ctx, pkey) == 1 && SSL_CTX_check_private_key(ctx) == 1;
    X509_free(cert);
    EVP_PKEY_free(pkey);
    if (!ok) {
        SSL_CTX_free(ctx);
        err = QStringLiteral("bad certificate %1 or key %2").arg(certPath, keyPath);
        return nullptr;
    }
    static const unsigned char kSidCtx[] = "camsim";
    SSL_CTX_set_session_id_context(ctx, kSidCtx, sizeof(kSidCtx) - 1);
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    contexts.insert(key, ctx);
    return ctx;
}

// ---- HTTP connection -----------------------------------------------------

HttpConn::HttpConn(Stream *s, bool isTls, const HttpLimits &l, HttpHandler h, HttpErrorHook eh,
                   QObject *parent)
    : QObject(parent), sock(s), tls(isTls), lim(l), handler(std::move(h)), errorHook(std::move(eh))
{
    s->setParent(this);
    QTcpSocket *t = s->socket();
    req.peer = QStringLiteral("%1:%2").arg(t->peerAddress().toString()).arg(t->peerPort());
    req.localAddr = t->localAddress().toString();
    req.tls = tls;
    connect(s, &Stream::readyRead, this, &HttpConn::onReadyRead);
    connect(s, &Stream::disconnected, this, &HttpConn::onDisconnected);
    connect(s, &Stream::failed, this, [this]() {
        // a failed TLS handshake or a reset while the request is read ends the connection
        if (state == Head || state == Body) onTimeout();
    });
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &HttpConn::onTimeout);
    timer.start(lim.requestTimeoutMs);
}

HttpConn::~HttpConn()
{
    if (afterSent) {
        auto f = std::move(afterSent);
        afterSent = nullptr;
        f();
    }
}

void HttpConn::onTimeout()
{
    // an incomplete request, a withheld answer whose hold time is over, or a
    // peer that does not read its answer
    if (closed) return;
    sock->abort();
    onDisconnected();
}

void HttpConn::onDisconnected()
{
    if (closed) return;
    closed = true;
    timer.stop();
    deleteLater();
}

void HttpConn::finish()
{
    timer.stop();
    if (closed) return;
    if (!sock->connected()) {
        onDisconnected();
        return;
    }
    sock->close();
}

void HttpConn::onReadyRead()
{
    if (state == Answering || state == Done) {
        sock->readAll(); // anything after the request is ignored
        return;
    }
    buf += sock->readAll();
    if (state == Head) {
        int end = buf.indexOf("\r\n\r\n");
        if (end < 0) {
            if (buf.size() > lim.maxHead) fail(431, QStringLiteral("request head too large"));
            return;
        }
        if (end + 4 > lim.maxHead) {
            fail(431, QStringLiteral("request head too large"));
            return;
        }
        if (!parseHead(end)) return;
        state = Body;
        buf.remove(0, end + 4);
        pos = 0;
        if (req.header("expect").toLower() == "100-continue") {
            bool have = chunked ? false : buf.size() >= contentLength;
            if (!have) sock->write("HTTP/1.1 100 Continue\r\n\r\n");
        }
    }
    if (state == Body) {
        if (chunked) {
            if (!feedChunked()) return;
        } else {
            if (buf.size() < contentLength) return;
            req.body = buf.left(int(contentLength));
        }
        buf.clear();
        complete();
    }
}

bool HttpConn::parseHead(int end)
{
    const QList<QByteArray> lines = buf.left(end).split('\n');
    bool first = true;
    for (QByteArray line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        if (first) {
            first = false;
            QList<QByteArray> p = line.split(' ');
            if (p.size() != 3 || p[0].isEmpty() || p[1].isEmpty() || !p[2].startsWith("HTTP/1.")) {
                fail(400, QStringLiteral("bad request line"));
                return false;
            }
            for (char c : p[0])
                if (c < 'A' || c > 'Z') {
                    fail(400, QStringLiteral("bad method"));
                    return false;
                }
            req.method = QString::fromLatin1(p[0]);
            req.target = QString::fromLatin1(p[1]);
            req.version = QString::fromLatin1(p[2]);
            int q = req.target.indexOf(QLatin1Char('?'));
            req.path = q < 0 ? req.target : req.target.left(q);
            continue;
        }
        if (line.isEmpty()) continue;
        int colon = line.indexOf(':');
        if (colon <= 0) {
            fail(400, QStringLiteral("bad header line"));
            return false;
        }
        QByteArray name = line.left(colon).trimmed().toLower();
        if (name.isEmpty() || name.contains(' ')) {
            fail(400, QStringLiteral("bad header name"));
            return false;
        }
        req.headers.append(qMakePair(name, line.mid(colon + 1).trimmed()));
        if (req.headers.size() > 200) {
            fail(431, QStringLiteral("too many header lines"));
            return false;
        }
    }
    const bool upload = req.path.startsWith(QLatin1String("/api/")) ||
                        req.path.startsWith(QLatin1String("/onvif-upload/"));
    bodyLimit = upload ? lim.maxUploadBody : lim.maxSoapBody;
    QByteArray te = req.header("transfer-encoding").toLower();
    if (!te.isEmpty()) {
        if (te != "chunked") {
            fail(501, QStringLiteral("unsupported transfer encoding"));
            return false;
        }
        chunked = true;
        return true;
    }
    contentLength = 0;
    bool seen = false;
    for (const auto &h : req.headers) {
        if (h.first != "content-length") continue;
        const QByteArray v = h.second;
        if (v.isEmpty() || v.size() > 18) {
            fail(400, QStringLiteral("bad Content-Length"));
            return false;
        }
        for (char c : v)
            if (c < '0' || c > '9') {
                fail(400, QStringLiteral("bad Content-Length"));
                return false;
            }
        qint64 n = v.toLongLong();
        if (seen && n != contentLength) {
            fail(400, QStringLiteral("conflicting Content-Length"));
            return false;
        }
        seen = true;
        contentLength = n;
    }
    if (contentLength > bodyLimit) {
        fail(413, QStringLiteral("body too large"));
        return false;
    }
    return true;
}

// Decodes as much of a chunked body as has arrived. Returns true when the
// whole body (and its trailer) is there.
bool HttpConn::feedChunked()
{
    for (int guard = 0; guard < 1000000; ++guard) {
        if (chunkTrailer) {
            // trailer lines up to an empty line
            int e = buf.indexOf("\r\n", pos);
            if (e < 0) {
                if (buf.size() - pos > lim.maxHead) fail(400, QStringLiteral("trailer too large"));
                return false;
            }
            bool empty = e == pos;
            pos = e + 2;
            if (empty) return true;
            continue;
        }
        if (chunkLeft < 0) {
            int e = buf.indexOf("\r\n", pos);
            if (e < 0) {
                if (buf.size() - pos > 1024) fail(400, QStringLiteral("bad chunk size"));
                return false;
            }
            QByteArray sz = buf.mid(pos, e - pos);
            int semi = sz.indexOf(';');
            if (semi >= 0) sz.truncate(semi);
            sz = sz.trimmed();
            bool ok = !sz.isEmpty() && sz.size() <= 15;
            qint64 n = ok ? sz.toLongLong(&ok, 16) : 0;
            if (!ok || n < 0) {
                fail(400, QStringLiteral("bad chunk size"));
                return false;
            }
            pos = e + 2;
            if (n == 0) {
                chunkTrailer = true;
                continue;
            }
            if (req.body.size() + n > bodyLimit) {
                fail(413, QStringLiteral("body too large"));
                return false;
            }
            chunkLeft = n;
        }
        if (buf.size() - pos < chunkLeft + 2) {
            // compact what was consumed so the buffer does not grow with the body
            buf.remove(0, pos);
            pos = 0;
            return false;
        }
        if (buf.mid(pos + int(chunkLeft), 2) != "\r\n") {
            fail(400, QStringLiteral("bad chunk end"));
            return false;
        }
        req.body += buf.mid(pos, int(chunkLeft));
        pos += int(chunkLeft) + 2;
        chunkLeft = -1;
    }
    fail(400, QStringLiteral("too many chunks"));
    return false;
}

void HttpConn::complete()
{
    state = Answering;
    timer.stop();
    HttpResponse r = handler(req);
    if (r.delayMs > 0) {
        QTimer::singleShot(r.delayMs, this, [this, r]() { send(r); });
    } else {
        send(r);
    }
}

void HttpConn::fail(int status, const QString &why)
{
    if (errorHook) errorHook(req, status, why);
    HttpResponse r;
    r.status = status;
    r.setHeader("Content-Type", "text/plain");
    r.body = why.toUtf8() + "\n";
    state = Answering;
    buf.clear();
    send(r);
}

void HttpConn::send(const HttpResponse &r)
{
    if (closed) {
        if (r.afterSent) r.afterSent();
        return;
    }
    afterSent = r.afterSent;
    if (r.mode == HttpResponse::Never) {
        state = Done;
        timer.start(lim.neverHoldMs);
        return;
    }
    if (r.mode == HttpResponse::Close) {
        state = Done;
        sock->abort();
        onDisconnected();
        return;
    }
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
    out += "Server: camsim\r\n";
    for (const auto &h : r.headers)
        out += h.first + ": " + h.second + "\r\n";
    qint64 len = r.body.size() + (r.mode == HttpResponse::WrongLength ? 100 : 0);
    out += "Content-Length: " + QByteArray::number(len) + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += r.body;
    sock->write(out);
    state = Done;
    finish();
    // a peer that never reads must not hold the connection for ever
    timer.start(lim.requestTimeoutMs);
}

HttpServer::HttpServer(ssl_ctx_st *t, const HttpLimits &l, HttpHandler h, HttpErrorHook eh,
                       QObject *parent)
    : QTcpServer(parent), tls(t), lim(l), handler(std::move(h)), errorHook(std::move(eh))
{
}

void HttpServer::incomingConnection(qintptr fd)
{
    auto *s = new QTcpSocket;
    if (!s->setSocketDescriptor(fd)) {
        delete s;
        return;
    }
    QObject *owner = parent() ? parent() : this;
    new HttpConn(new Stream(s, tls, owner), tls != nullptr, lim, handler, errorHook, owner);
}

} // namespace camsim
