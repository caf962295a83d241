// WS-Discovery for the simulated cameras: one UDP socket on port 3702 that
// joins the discovery group on one interface, answers Probes with unicast
// ProbeMatches and announces the cameras with Hello and Bye.
#pragma once

#include <QList>
#include <QNetworkInterface>
#include <QObject>
#include <QUdpSocket>

#include "xml.h"

namespace camsim
{

class Camera;
class RequestLog;

class Discovery : public QObject
{
    Q_OBJECT
  public:
    Discovery(const QList<Camera *> &cams, const QString &ifaceAddress, int maxDelayMs,
              RequestLog *log, bool quiet, QObject *parent = nullptr);

    bool start(QString &err);
    // Answers only Probes sent to the camera address itself: no group
    // membership, no Hello or Bye (a camera that multicast does not reach).
    bool startUnicastOnly(QString &err);
    void hello(Camera *cam);
    void byeAll();

  private slots:
    void onReadyRead();

  private:
    El header(const QString &action, const QString &to, const QString &relatesTo);
    El endpointFields(Camera *cam, int ns, const QString &elementName, bool full);
    QByteArray message(Camera *cam, const El &hdr, const El &body);
    void handleProbe(const class XNode &env, const QHostAddress &from, quint16 port);
    void sendMulticast(const QByteArray &d);

    QList<Camera *> cams;
    QString ifaceAddress;
    int maxDelayMs;
    RequestLog *log;
    bool quiet;
    QUdpSocket sock;
    QNetworkInterface iface;
    bool unicastOnly = false;
    qint64 instanceId = 0;
    quint32 messageNumber = 0;
};

} // namespace camsim
