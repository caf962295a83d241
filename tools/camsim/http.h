// The simulator's HTTP/1.1 server side: one request per connection, bounded
// heads and bodies, Content-Length or chunked bodies, Expect: 100-continue,
// optional TLS, and answers that can be delayed, withheld or cut short.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <functional>

class QTcpSocket;

namespace camsim
{

struct HttpRequest {
    QString method, target, path, version;
    QList<QPair<QByteArray, QByteArray>> headers; // names in lower case
    QByteArray body;
    QString peer;      // "ip:port"
    QString localAddr; // address the request came in on
    bool tls = false;

    QByteArray header(const char *lowerName) const; // "" when absent
};

struct HttpResponse {
    enum Mode { Normal, Never, Close, WrongLength };
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    Mode mode = Normal;
    int delayMs = 0;
    std::function<void()> afterSent; // runs once the connection has closed

    void setHeader(const QByteArray &n, const QByteArray &v) { headers.append(qMakePair(n, v)); }
};

QByteArray reasonPhrase(int status);

struct HttpLimits {
    int maxHead = 64 * 1024;
    qint64 maxSoapBody = 1024 * 1024;
    qint64 maxUploadBody = 64LL * 1024 * 1024;
    int requestTimeoutMs = 60000;
    int neverHoldMs = 300000;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest &)>;
// Called for a request that could not be read (the answer is already chosen).
using HttpErrorHook = std::function<void(const HttpRequest &, int status, const QString &why)>;

class HttpConn : public QObject
{
    Q_OBJECT
  public:
    HttpConn(QTcpSocket *s, bool tls, const HttpLimits &lim, HttpHandler h, HttpErrorHook eh,
             QObject *parent);
    ~HttpConn() override;

  private slots:
    void onReadyRead();
    void onDisconnected();
    void onTimeout();

  private:
    bool parseHead(int end);
    bool feedChunked();
    void complete();
    void fail(int status, const QString &why);
    void send(const HttpResponse &r);
    void finish();

    QTcpSocket *sock;
    bool tls;
    HttpLimits lim;
    HttpHandler handler;
    HttpErrorHook errorHook;
    QTimer timer;
    QByteArray buf;
    HttpRequest req;
    enum State { Head, Body, Answering, Done } state = Head;
    qint64 contentLength = 0;
    qint64 bodyLimit = 0;
    bool chunked = false;
    int pos = 0; // parse position in buf after the head (chunked)
    qint64 chunkLeft = -1;
    bool chunkTrailer = false;
    std::function<void()> afterSent;
    bool closed = false;
};

class HttpServer : public QTcpServer
{
    Q_OBJECT
  public:
    HttpServer(bool tls, const QSslConfiguration &ssl, const HttpLimits &lim, HttpHandler h,
               HttpErrorHook eh, QObject *parent);

  protected:
    void incomingConnection(qintptr fd) override;

  private:
    bool tls;
    QSslConfiguration ssl;
    HttpLimits lim;
    HttpHandler handler;
    HttpErrorHook errorHook;
};

} // namespace camsim
