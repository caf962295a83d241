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
#include "device_state.h"
#include "http.h"
#include "rec_services.h"
#include "media_state.h"
#include "pacs_state.h"
#include "ptz_state.h"
#include "soap_service.h"
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
    bool discoverable() const { return dev.discoverable; }
    WriteOpts writeOpts() const;

  signals:
    void moved(Camera *cam); // listening address changed

  private:
    friend struct DeviceService;   // device_service.cpp, device_system.cpp
    friend struct EventsService;   // events.cpp
    friend struct RecServices;     // rec_services.cpp: recording, search, analytics ...
    friend struct MediaService;    // media_service.cpp, media2_service.cpp
    friend struct PacsService;     // pacs_*.cpp
    friend struct PtzService;      // ptz_service.cpp
    friend struct ImagingService;  // imaging_service.cpp
    friend struct DeviceIoService; // deviceio_service.cpp

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
    const DeviceUser *account(const QString &name) const;

    // SOAP replies
    HttpResponse soapReply(int status, const El &bodyChild) const;
    HttpResponse mtomReply(const El &bodyChild, const std::vector<SoapAttachment> &parts) const;
    El fault(bool sender, const QStringList &subcodes, const QString &reason) const;
    HttpResponse faultReply(int status, bool sender, const QStringList &subcodes,
                            const QString &reason) const;
    QByteArray envelope(const El &bodyChild) const;
    QString xaddrBase() const; // scheme://host:port for service addresses
    QString serviceUrl(const QString &service) const;

    // a firmware image arrived (web upgrade interface or the device service's
    // UploadUri): stores it and changes the version; false with err when refused
    bool installFirmware(const QByteArray &data, const QString &fileName, QJsonObject &log,
                         QString &err);

    // device service files over HTTP (device_system.cpp)
    HttpResponse handleDeviceFile(const HttpRequest &req, QJsonObject &log);
    bool ignoresSet(const QString &op, const XNode &in) const; // "ignore_sets"

    // the snapshot JPEG of a profile (media_service.cpp)
    HttpResponse handleSnapshot(const HttpRequest &req, QJsonObject &log);

    // events service (events.cpp)
    struct EventSub {
        int id = 0;
        bool pullPoint = false;
        QString consumer;  // push: where Notify messages go
        QDateTime expires; // camera clock
        int notifiesLeft = 0;
        int sent = 0; // messages produced so far (numbers them)
        // pull points: where the next I/O event comes from (its seq) and in
        // which direction (Seek), and the Initialized messages that
        // SetSynchronizationPoint queued
        qint64 ioCursor = 0;
        bool ioReverse = false;
        std::vector<IoEvent> sync;
    };
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
    // the messages a PullMessages or GetMessages answer carries (at most limit)
    void pullInto(EventSub &s, int limit, El &out, const QDateTime &now);
    El ioMessage(const EventSub &s, const IoEvent &e);

    // device IO (deviceio_service.cpp): logical states of the relays and
    // digital inputs; publishIo turns every change since the last call into
    // an event for the pull points
    std::vector<bool> relayStates() const;
    std::vector<bool> inputStates() const;
    void publishIo();
    std::vector<IoEvent> ioSnapshot(); // Initialized events of the current states

    void moveTo(const QString &newAddr);
    void note(const QString &msg) const;

    CameraConfig cfg;
    SimContext *ctx;
    HttpServer *server = nullptr;
    QString addr;
    int boundPort = 0;
    QString fw;
    DeviceState dev;  // what the device service remembers
    RecState rec;     // recording store, analytics, thermal, receivers, provisioning
    MediaState media; // what the media services remember
    PacsState pacs;   // the door-access controller, when cfg.pacs
    PtzState ptz;     // PTZ, imaging and device IO services (ptz_state.h)
    ImagingState img;
    IoState io;
    DeviceLogs logs;
    std::map<QString, UploadSlot> uploads; // UploadUri path -> what it takes
    int mdVersion = 1;
    QSet<QByteArray> sessions; // cookies handed out by the login
    QSet<QByteArray> seenNonces;
    std::deque<QByteArray> nonceOrder;
    std::map<int, EventSub> subs;
    int nextSubId = 1;
};

// Local name of the body's first element (the operation), or "".
QString soapOperation(const XNode &env);

// The bytes and file name of the multipart/form-data part named "file";
// false with the reason in why.
bool multipartFile(const HttpRequest &req, QByteArray &fileData, QByteArray &fileName,
                   QByteArray &why);

} // namespace camsim
