// The simulator's HTTP/1.1 server side: one request per connection, bounded
// heads and bodies, Content-Length or chunked bodies, Expect: 100-continue,
// optional TLS, and answers that can be delayed, withheld or cut short.
//
// TLS is OpenSSL over the Qt socket (memory buffers in between), with one
// server context per certificate for the whole process, so that clients can
// resume their sessions (TLS 1.2 session ids and tickets, TLS 1.3 tickets)
// as they can with a real camera.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <functional>

class QTcpSocket;
struct ssl_st;
struct ssl_ctx_st;

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

// The bytes of one connection: plain TCP, or TLS over it when a context is
// given. Owns the socket.
class Stream : public QObject
{
    Q_OBJECT
  public:
    Stream(QTcpSocket *s, ssl_ctx_st *tls, QObject *parent);
    ~Stream() override;

    QByteArray readAll();
    void write(const QByteArray &data);
    void close(); // after what was written has gone out
    void abort();
    bool connected() const;
    QTcpSocket *socket() const { return sock; }

  signals:
    void readyRead();
    void disconnected();
    void failed(); // the connection broke (or the TLS handshake failed)

  private:
    void onSocketData();
    void pump(); // moves TLS output to the socket
    void fail();

    QTcpSocket *sock;
    ssl_st *ssl = nullptr;
    void *rbio = nullptr; // network bytes for OpenSSL
    void *wbio = nullptr; // OpenSSL's bytes for the network
    QByteArray plain;     // decrypted, not yet read
    QByteArray pending;   // written before the handshake completed
    bool closing = false;
};

// The process's TLS server context for a PEM certificate and key (read from
// a file or a Qt resource); null with err set when they can't be used.
ssl_ctx_st *tlsServerContext(const QString &certPath, const QString &keyPath, QString &err);

class HttpConn : public QObject
{
    Q_OBJECT
  public:
    HttpConn(Stream *s, bool tls, const HttpLimits &lim, HttpHandler h, HttpErrorHook eh,
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

    Stream *sock;
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
    // tls: the server context for HTTPS, or null for plain HTTP.
    HttpServer(ssl_ctx_st *tls, const HttpLimits &lim, HttpHandler h, HttpErrorHook eh,
               QObject *parent);

  protected:
    void incomingConnection(qintptr fd) override;

  private:
    ssl_ctx_st *tls;
    HttpLimits lim;
    HttpHandler handler;
    HttpErrorHook errorHook;
};

} // namespace camsim
