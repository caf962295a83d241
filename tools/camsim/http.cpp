#include "http.h"

#include <QSslSocket>
#include <QTcpSocket>

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

HttpConn::HttpConn(QTcpSocket *s, bool isTls, const HttpLimits &l, HttpHandler h, HttpErrorHook eh,
                   QObject *parent)
    : QObject(parent), sock(s), tls(isTls), lim(l), handler(std::move(h)), errorHook(std::move(eh))
{
    s->setParent(this);
    req.peer = QStringLiteral("%1:%2").arg(s->peerAddress().toString()).arg(s->peerPort());
    req.localAddr = s->localAddress().toString();
    req.tls = tls;
    connect(s, &QTcpSocket::readyRead, this, &HttpConn::onReadyRead);
    connect(s, &QTcpSocket::disconnected, this, &HttpConn::onDisconnected);
    connect(s, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // a failed TLS handshake or a reset while the request is read ends the connection
        if ((state == Head || state == Body) && e != QAbstractSocket::RemoteHostClosedError)
            onTimeout();
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
    if (sock->state() == QAbstractSocket::UnconnectedState) {
        onDisconnected();
        return;
    }
    sock->disconnectFromHost();
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

HttpServer::HttpServer(bool isTls, const QSslConfiguration &s, const HttpLimits &l, HttpHandler h,
                       HttpErrorHook eh, QObject *parent)
    : QTcpServer(parent), tls(isTls), ssl(s), lim(l), handler(std::move(h)),
      errorHook(std::move(eh))
{
}

void HttpServer::incomingConnection(qintptr fd)
{
    if (tls) {
        auto *s = new QSslSocket;
        if (!s->setSocketDescriptor(fd)) {
            delete s;
            return;
        }
        s->setSslConfiguration(ssl);
        s->setPeerVerifyMode(QSslSocket::VerifyNone);
        new HttpConn(s, true, lim, handler, errorHook, parent() ? parent() : this);
        s->startServerEncryption();
    } else {
        auto *s = new QTcpSocket;
        if (!s->setSocketDescriptor(fd)) {
            delete s;
            return;
        }
        new HttpConn(s, false, lim, handler, errorHook, parent() ? parent() : this);
    }
}

} // namespace camsim
