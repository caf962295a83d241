#include "discovery.h"

#include <QDateTime>
#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>
#include <QUuid>

#include "camera.h"
#include "reqlog.h"

namespace camsim
{

namespace
{
const char *kGroup = "239.255.255.250";
const quint16 kPort = 3702;
const char *kWsd = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
const char *kTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
const char *kAnon = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";

QString localName(const QString &qn)
{
    int c = qn.lastIndexOf(QLatin1Char(':'));
    return c >= 0 ? qn.mid(c + 1) : qn;
}

// RFC 3986 style prefix match of a probed scope against one of ours
bool scopeMatches(const QString &probe, const QString &ours)
{
    QString p = probe, o = ours;
    while (p.endsWith(QLatin1Char('/')))
        p.chop(1);
    while (o.endsWith(QLatin1Char('/')))
        o.chop(1);
    if (p.compare(o, Qt::CaseInsensitive) == 0) return true;
    return o.startsWith(p + QLatin1Char('/'), Qt::CaseInsensitive);
}
} // namespace

Discovery::Discovery(const QList<Camera *> &c, const QString &addr, int delay, RequestLog *l,
                     bool q, QObject *parent)
    : QObject(parent), cams(c), ifaceAddress(addr), maxDelayMs(delay), log(l), quiet(q)
{
    instanceId = QDateTime::currentSecsSinceEpoch();
}

bool Discovery::start(QString &err)
{
    const QHostAddress want(ifaceAddress);
    bool found = false;
    for (const QNetworkInterface &ni : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry &e : ni.addressEntries())
            if (e.ip() == want) {
                iface = ni;
                found = true;
            }
    }
    if (!found) {
        err = QStringLiteral("no local interface holds %1").arg(ifaceAddress);
        return false;
    }
    if (!sock.bind(QHostAddress::AnyIPv4, kPort,
                   QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        err = QStringLiteral("cannot bind UDP port %1: %2").arg(kPort).arg(sock.errorString());
        return false;
    }
    if (!sock.joinMulticastGroup(QHostAddress(QLatin1String(kGroup)), iface)) {
        err = QStringLiteral("cannot join %1 on %2: %3")
                  .arg(QLatin1String(kGroup), iface.name(), sock.errorString());
        return false;
    }
    sock.setMulticastInterface(iface);
    connect(&sock, &QUdpSocket::readyRead, this, &Discovery::onReadyRead);
    for (Camera *c : cams)
        hello(c);
    return true;
}

bool Discovery::startUnicastOnly(QString &err)
{
    // Bound to the unicast address, the socket never sees datagrams sent to
    // the group.
    unicastOnly = true;
    if (!sock.bind(QHostAddress(ifaceAddress), kPort)) {
        err = QStringLiteral("cannot bind %1:%2: %3")
                  .arg(ifaceAddress)
                  .arg(kPort)
                  .arg(sock.errorString());
        return false;
    }
    connect(&sock, &QUdpSocket::readyRead, this, &Discovery::onReadyRead);
    return true;
}

El Discovery::header(const QString &action, const QString &to, const QString &relatesTo)
{
    El h(NS_SOAP, QStringLiteral("Header"));
    h.add(NS_WSA04, QStringLiteral("MessageID"),
          QStringLiteral("urn:uuid:") + QUuid::createUuid().toString(QUuid::WithoutBraces));
    if (!relatesTo.isEmpty()) h.add(NS_WSA04, QStringLiteral("RelatesTo"), relatesTo);
    h.add(NS_WSA04, QStringLiteral("To"), to);
    h.add(NS_WSA04, QStringLiteral("Action"), action);
    h.add(NS_WSD, QStringLiteral("AppSequence"))
        .attr(QStringLiteral("InstanceId"), QString::number(instanceId))
        .attr(QStringLiteral("MessageNumber"), QString::number(++messageNumber));
    return h;
}

El Discovery::endpointFields(Camera *cam, int ns, const QString &elementName, bool full)
{
    El e(ns, elementName);
    e.add(NS_WSA04, QStringLiteral("EndpointReference"))
        .add(NS_WSA04, QStringLiteral("Address"), cam->endpoint());
    if (!full) return e;
    e.add(NS_WSD, QStringLiteral("Types"), cam->typesText());
    e.add(NS_WSD, QStringLiteral("Scopes"), cam->scopesText());
    e.add(NS_WSD, QStringLiteral("XAddrs"), cam->xaddrsText());
    e.add(NS_WSD, QStringLiteral("MetadataVersion"), QString::number(cam->metadataVersion()));
    return e;
}

QByteArray Discovery::message(Camera *cam, const El &hdr, const El &body)
{
    El env(NS_SOAP, QStringLiteral("Envelope"));
    env.add(hdr);
    env.add(NS_SOAP, QStringLiteral("Body")).add(body);
    WriteOpts o = cam->writeOpts();
    // the Types text holds QNames under these prefixes
    o.extraDecls.emplace_back(QStringLiteral("dn"), QLatin1String(nsUri(NS_DN)));
    o.extraDecls.emplace_back(QStringLiteral("tds"), QLatin1String(nsUri(NS_TDS)));
    return writeXml(env, o);
}

void Discovery::sendMulticast(const QByteArray &d)
{
    sock.writeDatagram(d, QHostAddress(QLatin1String(kGroup)), kPort);
}

void Discovery::hello(Camera *cam)
{
    if (!cam->discoverable() || unicastOnly) return; // NonDiscoverable: silent
    El h = header(QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/Hello"),
                  QLatin1String(kTo), QString());
    sendMulticast(message(cam, h, endpointFields(cam, NS_WSD, QStringLiteral("Hello"), true)));
    if (log)
        log->write({{"event", "hello"}, {"camera", cam->serial()}, {"xaddrs", cam->xaddrsText()}});
}

void Discovery::byeAll()
{
    if (unicastOnly) return;
    for (Camera *cam : cams) {
        if (!cam->discoverable()) continue;
        El h = header(QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/Bye"),
                      QLatin1String(kTo), QString());
        sendMulticast(message(cam, h, endpointFields(cam, NS_WSD, QStringLiteral("Bye"), false)));
        if (log) log->write({{"event", "bye"}, {"camera", cam->serial()}});
    }
    sock.flush();
}

void Discovery::onReadyRead()
{
    for (int guard = 0; guard < 256 && sock.hasPendingDatagrams(); ++guard) {
        qint64 size = sock.pendingDatagramSize();
        QByteArray d(int(qBound<qint64>(0, size, 65536)), 0);
        QHostAddress from;
        quint16 port = 0;
        qint64 n = sock.readDatagram(d.data(), d.size(), &from, &port);
        if (n <= 0) continue;
        d.truncate(int(n));
        XNode env;
        QString err;
        if (!parseXml(d, env, err)) continue; // not XML: ignored
        const XNode *body = env.child(QStringLiteral("Body"));
        if (!body) continue;
        const XNode *probe = body->child(QStringLiteral("Probe"));
        if (probe && probe->ns == QLatin1String(kWsd)) handleProbe(env, from, port);
    }
}

void Discovery::handleProbe(const XNode &env, const QHostAddress &from, quint16 port)
{
    const XNode *hdr = env.child(QStringLiteral("Header"));
    QString msgId = hdr ? hdr->childText(QStringLiteral("MessageID")) : QString();
    const XNode *probe = env.child(QStringLiteral("Body"))->child(QStringLiteral("Probe"));
    QString typesText = probe->childText(QStringLiteral("Types"));
    QStringList want;
    for (const QString &t : typesText.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        want << localName(t);
    QStringList scopes =
        probe->childText(QStringLiteral("Scopes")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    int matched = 0;
    for (Camera *cam : cams) {
        const QStringList have = cam->typesList();
        bool ok = cam->discoverable();
        for (const QString &w : want)
            if (!have.contains(w)) ok = false;
        const QStringList ours = cam->scopesText().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &s : scopes) {
            bool any = false;
            for (const QString &o : ours)
                any = any || scopeMatches(s, o);
            if (!any) ok = false;
        }
        if (!ok) continue;
        ++matched;
        int delay = maxDelayMs > 0 ? int(QRandomGenerator::global()->bounded(maxDelayMs + 1)) : 0;
        QPointer<Camera> cp(cam);
        auto send = [this, cp, msgId, from, port]() {
            if (!cp) return;
            El h = header(
                QStringLiteral("http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches"),
                QLatin1String(kAnon), msgId);
            El pm(NS_WSD, QStringLiteral("ProbeMatches"));
            pm.add(endpointFields(cp, NS_WSD, QStringLiteral("ProbeMatch"), true));
            sock.writeDatagram(message(cp, h, pm), from, port);
        };
        if (delay > 0)
            QTimer::singleShot(delay, this, send);
        else
            send();
    }
    if (log)
        log->write({{"event", "probe"},
                    {"peer", QStringLiteral("%1:%2").arg(from.toString()).arg(port)},
                    {"types", typesText},
                    {"matched", matched}});
}

} // namespace camsim
