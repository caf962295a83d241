// One simulated camera: its state, its HTTP(S) server, the ONVIF device
// service, the web upgrade interface and what discovery says about it.
#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <deque>
#include <map>

#include "config.h"
#include "http.h"
#include "xml.h"

namespace camsim
{

class RequestLog;

struct SimContext {
    RequestLog *log = nullptr;
    QString uploadDir;
    HttpLimits limits;
    bool quiet = false;
    QByteArray secret; // for Digest nonces and session cookies
};

class Camera : public QObject
{
    Q_OBJECT
  public:
    Camera(const CameraConfig &cfg, SimContext *ctx, QObject *parent = nullptr);

    bool start(QString &err); // listen on the configured address and port

    const CameraConfig &config() const { return cfg; }
    QString serial() const { return cfg.serial; }
    QString address() const { return addr; }
    int port() const { return boundPort; }
    QString firmware() const { return fw; }

    // what discovery says
    QString endpoint() const; // urn:uuid:...
    QString typesText() const;
    QStringList typesList() const;
    QString scopesText() const;
    QString xaddrsText() const;
    int metadataVersion() const { return mdVersion; }
    WriteOpts writeOpts() const;

  signals:
    void moved(Camera *cam); // listening address changed

  private:
    HttpResponse handle(const HttpRequest &req);
    HttpResponse handleSoap(const HttpRequest &req, QJsonObject &log);
    HttpResponse handleLogin(const HttpRequest &req, QJsonObject &log);
    HttpResponse handleUpload(const HttpRequest &req, QJsonObject &log);
    void logError(const HttpRequest &req, int status, const QString &why);

    // authentication
    QString checkHttpAuth(const HttpRequest &req); // none, valid, invalid
    QString checkWsse(const XNode &env);           // none, valid, invalid
    QByteArray digestNonce() const;
    HttpResponse httpChallenge() const; // 401 with the WWW-Authenticate line
    bool digestNonceFresh(const QByteArray &n) const;

    // SOAP replies
    HttpResponse soapReply(int status, const El &bodyChild) const;
    El fault(bool sender, const QStringList &subcodes, const QString &reason) const;
    HttpResponse faultReply(int status, bool sender, const QStringList &subcodes,
                            const QString &reason) const;
    QByteArray envelope(const El &bodyChild) const;
    El dateTime(const QDateTime &t) const;
    QString xaddrBase() const; // scheme://host:port for service addresses
    QString serviceUrl(const QString &service) const;

    // operations: return false with a fault filled in when refused
    bool opGetSystemDateAndTime(const XNode &in, El &out);
    bool opSetSystemDateAndTime(const XNode &in, El &out, HttpResponse &err);
    bool opGetCapabilities(const XNode &in, El &out, HttpResponse &err);
    bool opGetServices(const XNode &in, El &out);
    El deviceServiceCaps() const;
    bool opGetNetworkInterfaces(El &out);
    bool opSetNetworkInterfaces(const XNode &in, El &out, HttpResponse &err, QString &moveTo);
    bool opSetDNS(const XNode &in, El &out, HttpResponse &err);
    bool opSetGateway(const XNode &in, El &out, HttpResponse &err);
    bool ignoresSet(const QString &op, const XNode &in) const; // "ignore_sets"

    // events service (events.cpp)
    struct EventSub {
        int id = 0;
        bool pullPoint = false;
        QString consumer;  // push: where Notify messages go
        QDateTime expires; // camera clock
        int notifiesLeft = 0;
        int sent = 0; // messages produced so far (numbers them)
    };
    bool isEventOp(const QString &op, const XNode &in) const;
    bool opEvents(const XNode &env, const XNode &in, const HttpRequest &req, El &out,
                  HttpResponse &err, QJsonObject &log);
    EventSub *subscriptionOf(const XNode &env, const HttpRequest &req, HttpResponse &err,
                             QJsonObject &log);
    El subscriptionReference(const EventSub &s) const;
    El notificationMessage(EventSub &s, const QDateTime &now);
    QString subscriptionAddress(const EventSub &s) const;
    void scheduleNotify(int id);
    void postNotify(int id);
    QDateTime cameraNow() const;

    void moveTo(const QString &newAddr);
    void note(const QString &msg) const;

    CameraConfig cfg;
    SimContext *ctx;
    HttpServer *server = nullptr;
    QString addr;
    int boundPort = 0;
    QString fw;
    qint64 clockOffset = 0; // camera clock minus system clock, ms
    QString dateTimeType = QStringLiteral("Manual");
    bool daylight = false;
    QString tz;
    bool dhcp = false;
    int prefixLen = 24;
    QStringList gateway, dns, searchDomains;
    bool dnsFromDhcp = false;
    QString hostname;
    int mdVersion = 1;
    QSet<QByteArray> sessions; // cookies handed out by the login
    QSet<QByteArray> seenNonces;
    std::deque<QByteArray> nonceOrder;
    std::map<int, EventSub> subs;
    int nextSubId = 1;
};

// Local name of the body's first element (the operation), or "".
QString soapOperation(const XNode &env);

} // namespace camsim
