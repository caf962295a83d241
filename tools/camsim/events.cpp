// The simulated events service: push subscriptions (Subscribe, Renew,
// Unsubscribe) whose consumers get Notify messages posted to them, pull
// points (CreatePullPointSubscription, PullMessages, GetMessages, Seek,
// SetSynchronizationPoint, DestroyPullPoint), GetServiceCapabilities and
// GetEventProperties. Pull points deliver the camera's I/O events (relay and
// digital input changes) first, then the generated motion messages.
#include <QPointer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include "camera.h"
#include "device_service.h"
#include "reqlog.h"

namespace camsim
{

namespace
{

const char kTopicsNs[] = "http://www.onvif.org/ver10/topics";
const char kConcreteSet[] = "http://www.onvif.org/ver10/tev/topicExpression/ConcreteSet";
const int kMaxSubscriptions = 64;

QString isoTime(const QDateTime &t)
{
    return t.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

// Seconds of a termination time: "PT..S/M/H" relative, or an absolute
// dateTime; -1 when it can't be read.
qint64 terminationSeconds(const QString &text, const QDateTime &now)
{
    QString t = text.trimmed();
    if (t.isEmpty()) return -1;
    static const QRegularExpression dur(
        QStringLiteral("^P(?:(\\d+)D)?(?:T(?:(\\d+)H)?(?:(\\d+)M)?(?:(\\d+)S)?)?$"));
    QRegularExpressionMatch m = dur.match(t);
    if (m.hasMatch() && t != QLatin1String("P") && t != QLatin1String("PT")) {
        qint64 s = m.captured(1).toLongLong() * 86400 + m.captured(2).toLongLong() * 3600 +
                   m.captured(3).toLongLong() * 60 + m.captured(4).toLongLong();
        return qMin<qint64>(s, 86400LL * 365);
    }
    QDateTime abs = QDateTime::fromString(t, Qt::ISODate);
    if (!abs.isValid()) return -1;
    return qMax<qint64>(0, now.secsTo(abs));
}

El simpleItem(const QString &name, const QString &value)
{
    El e(NS_TT, QStringLiteral("SimpleItem"));
    e.attr(QStringLiteral("Name"), name).attr(QStringLiteral("Value"), value);
    return e;
}

} // namespace

QDateTime Camera::cameraNow() const
{
    return QDateTime::currentDateTimeUtc().addMSecs(dev.clockOffset);
}

// The events service's rows: every operation goes through opEvents.
struct EventsService {
    static bool run(Camera &cam, SoapCall &call)
    {
        return cam.opEvents(call.env, call.in, call.req, call.out, call.err, call.log);
    }
};

SoapOpTable eventsServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TEV, "GetServiceCapabilities", EventsService::run},
        {NS_TEV, "GetEventProperties", EventsService::run},
        {NS_TEV, "CreatePullPointSubscription", EventsService::run},
        {NS_TEV, "PullMessages", EventsService::run},
        {NS_TEV, "Seek", EventsService::run},
        {NS_TEV, "SetSynchronizationPoint", EventsService::run},
        {NS_WSNT, "GetMessages", EventsService::run},
        {NS_WSNT, "DestroyPullPoint", EventsService::run},
        {NS_WSNT, "Subscribe", EventsService::run},
        {NS_WSNT, "Renew", EventsService::run},
        {NS_WSNT, "Unsubscribe", EventsService::run},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

QString Camera::subscriptionAddress(const EventSub &s) const
{
    return xaddrBase() + (s.pullPoint ? QStringLiteral("/onvif/pullpoint/%1")
                                      : QStringLiteral("/onvif/subscription/%1"))
                             .arg(s.id);
}

El Camera::subscriptionReference(const EventSub &s) const
{
    El ref(NS_WSA, QStringLiteral("SubscriptionReference"));
    ref.add(NS_WSA, QStringLiteral("Address"), subscriptionAddress(s));
    ref.add(NS_WSA, QStringLiteral("ReferenceParameters"))
        .add(NS_CSIM, QStringLiteral("SubscriptionId"), QString::number(s.id));
    return ref;
}

// The subscription a manager request is for: the id in the path, confirmed
// by the SubscriptionId reference parameter in the header. Null with a fault
// in err otherwise; expired subscriptions are dropped here.
Camera::EventSub *Camera::subscriptionOf(const XNode &env, const HttpRequest &req,
                                         HttpResponse &err, QJsonObject &log)
{
    const XNode *hdr = env.child(QStringLiteral("Header"));
    QString refId = hdr ? hdr->childText(QStringLiteral("SubscriptionId")) : QString();
    QString to = hdr ? hdr->childText(QStringLiteral("To")) : QString();
    log.insert(QStringLiteral("ref_id"), refId);
    log.insert(QStringLiteral("wsa_to"), to);
    static const QRegularExpression path(
        QStringLiteral("^/onvif/(subscription|pullpoint)/(\\d+)$"));
    QRegularExpressionMatch m = path.match(req.path);
    auto unknown = [&](const QString &why) -> EventSub * {
        err = faultReply(
            400, true, {QStringLiteral("ter:InvalidArgVal"), QStringLiteral("ter:ResourceUnknown")},
            why);
        return nullptr;
    };
    if (!m.hasMatch()) return unknown(QStringLiteral("not a subscription address"));
    int id = m.captured(2).toInt();
    log.insert(QStringLiteral("subscription"), id);
    auto it = subs.find(id);
    if (it == subs.end()) return unknown(QStringLiteral("no such subscription"));
    if (it->second.expires < cameraNow()) {
        subs.erase(it);
        return unknown(QStringLiteral("the subscription has expired"));
    }
    if (refId != QString::number(id))
        return unknown(QStringLiteral("reference parameter SubscriptionId missing or wrong"));
    return &it->second;
}

El Camera::notificationMessage(EventSub &s, const QDateTime &now)
{
    int n = s.sent++;
    bool motion = n % 2 == 0;
    El nm(NS_WSNT, QStringLiteral("NotificationMessage"));
    nm.add(NS_WSNT, QStringLiteral("SubscriptionReference"))
        .add(NS_WSA, QStringLiteral("Address"), subscriptionAddress(s));
    nm.add(NS_WSNT, QStringLiteral("Topic"),
           motion ? QStringLiteral("tns1:VideoSource/MotionAlarm")
                  : QStringLiteral("tns1:RuleEngine/CellMotionDetector/Motion"))
        .attr(QStringLiteral("xmlns:tns1"), QLatin1String(kTopicsNs))
        .attr(QStringLiteral("Dialect"), QLatin1String(kConcreteSet));
    nm.add(NS_WSNT, QStringLiteral("ProducerReference"))
        .add(NS_WSA, QStringLiteral("Address"), serviceUrl(QStringLiteral("events_service")));
    El &msg = nm.add(NS_WSNT, QStringLiteral("Message")).add(NS_TT, QStringLiteral("Message"));
    msg.attr(QStringLiteral("UtcTime"), isoTime(now))
        .attr(QStringLiteral("PropertyOperation"),
              motion ? QStringLiteral("Changed") : QStringLiteral("Initialized"));
    // Built apart and added at the end: adding to a parent moves its children.
    El src(NS_TT, QStringLiteral("Source"));
    El key(NS_TT, QStringLiteral("Key"));
    El data(NS_TT, QStringLiteral("Data"));
    key.add(simpleItem(QStringLiteral("Index"), QString::number(n)));
    if (motion) {
        src.add(simpleItem(QStringLiteral("Source"), QStringLiteral("VideoSource_1")));
        data.add(simpleItem(QStringLiteral("State"), QStringLiteral("true")));
    } else {
        src.add(
            simpleItem(QStringLiteral("VideoSourceConfigurationToken"), QStringLiteral("VSC_1")));
        src.add(simpleItem(QStringLiteral("Rule"), QStringLiteral("Motion & more")));
        data.add(simpleItem(QStringLiteral("IsMotion"), QStringLiteral("true")));
        El &item = data.add(NS_TT, QStringLiteral("ElementItem"));
        item.attr(QStringLiteral("Name"), QStringLiteral("Region"));
        El &poly = item.add(NS_TT, QStringLiteral("Polygon"));
        poly.add(NS_TT, QStringLiteral("Point"))
            .attr(QStringLiteral("x"), QStringLiteral("0.1"))
            .attr(QStringLiteral("y"), QStringLiteral("0.2"));
        poly.add(NS_TT, QStringLiteral("Point"))
            .attr(QStringLiteral("x"), QStringLiteral("0.9"))
            .attr(QStringLiteral("y"), QStringLiteral("0.8"));
    }
    msg.add(src);
    msg.add(key);
    msg.add(data);
    return nm;
}

El Camera::ioMessage(const EventSub &s, const IoEvent &e)
{
    El nm(NS_WSNT, QStringLiteral("NotificationMessage"));
    nm.add(NS_WSNT, QStringLiteral("SubscriptionReference"))
        .add(NS_WSA, QStringLiteral("Address"), subscriptionAddress(s));
    nm.add(NS_WSNT, QStringLiteral("Topic"), e.topic)
        .attr(QStringLiteral("xmlns:tns1"), QLatin1String(kTopicsNs))
        .attr(QStringLiteral("Dialect"), QLatin1String(kConcreteSet));
    nm.add(NS_WSNT, QStringLiteral("ProducerReference"))
        .add(NS_WSA, QStringLiteral("Address"), serviceUrl(QStringLiteral("events_service")));
    El &msg = nm.add(NS_WSNT, QStringLiteral("Message")).add(NS_TT, QStringLiteral("Message"));
    msg.attr(QStringLiteral("UtcTime"), isoTime(e.time))
        .attr(QStringLiteral("PropertyOperation"), e.op);
    msg.add(NS_TT, QStringLiteral("Source")).add(simpleItem(e.sourceName, e.sourceValue));
    msg.add(NS_TT, QStringLiteral("Data"))
        .add(simpleItem(QStringLiteral("LogicalState"), e.stateValue));
    return nm;
}

// What one pull brings: the Initialized messages SetSynchronizationPoint
// queued, the I/O events from the cursor on (backwards after a reverse
// Seek), then as many generated messages as the configuration asks for.
void Camera::pullInto(EventSub &s, int limit, El &out, const QDateTime &now)
{
    int n = 0;
    while (n < limit && !s.sync.empty()) {
        out.add(ioMessage(s, s.sync.front()));
        s.sync.erase(s.sync.begin());
        ++n;
    }
    const qint64 oldest = io.log.empty() ? io.nextSeq : io.log.front().seq;
    if (!s.ioReverse && s.ioCursor < oldest) s.ioCursor = oldest; // the log moved on
    while (n < limit) {
        qint64 i = s.ioCursor - oldest;
        if (i < 0 || i >= qint64(io.log.size())) break;
        out.add(ioMessage(s, io.log[size_t(i)]));
        s.ioCursor += s.ioReverse ? -1 : 1;
        ++n;
    }
    const int generated = qMin(limit - n, cfg.pullMessages);
    for (int i = 0; i < generated; ++i)
        out.add(notificationMessage(s, now));
}

void Camera::scheduleNotify(int id)
{
    QPointer<Camera> self(this);
    QTimer::singleShot(cfg.notifyIntervalMs, this, [self, id]() {
        if (self) self->postNotify(id);
    });
}

// Posts one Notify to the consumer of a push subscription and schedules the
// next one while posts are left. The answer's status goes to the log.
void Camera::postNotify(int id)
{
    auto it = subs.find(id);
    if (it == subs.end() || it->second.notifiesLeft <= 0) return;
    EventSub &s = it->second;
    if (s.expires < cameraNow()) {
        subs.erase(it);
        return;
    }
    s.notifiesLeft--;
    QDateTime now = cameraNow();
    El notify(NS_WSNT, QStringLiteral("Notify"));
    for (int i = 0; i < cfg.notifyMessages; ++i)
        notify.add(notificationMessage(s, now));
    El env(NS_SOAP, QStringLiteral("Envelope"));
    env.add(NS_SOAP, QStringLiteral("Header"))
        .add(NS_WSA, QStringLiteral("Action"),
             QStringLiteral("http://docs.oasis-open.org/wsn/bw-2/NotificationConsumer/Notify"));
    env.add(NS_SOAP, QStringLiteral("Body")).add(notify);
    QByteArray body = writeXml(env, writeOpts());

    QUrl url(s.consumer);
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty()) target = "/";
    if (url.hasQuery()) target += "?" + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray head = "POST " + target + " HTTP/1.1\r\nHost: " + url.host().toLatin1() + ":" +
                      QByteArray::number(url.port(80)) +
                      "\r\nContent-Type: application/soap+xml; charset=utf-8; action=\""
                      "http://docs.oasis-open.org/wsn/bw-2/NotificationConsumer/Notify\"\r\n"
                      "Content-Length: " +
                      QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";

    auto *sock = new QTcpSocket(this);
    auto *reply = new QByteArray;
    auto *done = new bool(false);
    QString consumer = s.consumer;
    int messages = cfg.notifyMessages;
    QPointer<Camera> self(this);
    auto finish = [self, sock, reply, done, consumer, id, messages](const QString &error) {
        if (*done) return;
        *done = true;
        int status = 0;
        if (reply->startsWith("HTTP/1.")) {
            int sp = reply->indexOf(' ');
            if (sp > 0) status = reply->mid(sp + 1, 3).toInt();
        }
        if (self && self->ctx->log) {
            QJsonObject o{{"event", "notify"},        {"camera", self->cfg.serial},
                          {"index", self->cfg.index}, {"subscription", id},
                          {"to", consumer},           {"messages", messages},
                          {"status", status}};
            if (!error.isEmpty()) o.insert(QStringLiteral("error"), error);
            self->ctx->log->write(o);
        }
        sock->deleteLater();
        delete reply;
        // done is freed with the socket's last signal below
    };
    QObject::connect(sock, &QTcpSocket::connected, sock,
                     [sock, head, body]() { sock->write(head + body); });
    QObject::connect(sock, &QTcpSocket::readyRead, sock, [sock, reply, done]() {
        if (*done) return;
        reply->append(sock->readAll().left(4096));
    });
    QObject::connect(sock, &QTcpSocket::disconnected, sock, [finish]() { finish(QString()); });
    QObject::connect(sock, &QAbstractSocket::errorOccurred, sock,
                     [sock, finish](QAbstractSocket::SocketError e) {
                         if (e != QAbstractSocket::RemoteHostClosedError)
                             finish(sock->errorString());
                     });
    QObject::connect(sock, &QObject::destroyed, [done]() { delete done; });
    QTimer::singleShot(5000, sock, [finish]() { finish(QStringLiteral("no answer in 5 s")); });
    sock->connectToHost(url.host(), quint16(url.port(80)));

    if (s.notifiesLeft > 0) scheduleNotify(id);
}

bool Camera::opEvents(const XNode &env, const XNode &in, const HttpRequest &req, El &out,
                      HttpResponse &err, QJsonObject &log)
{
    const QString op = in.name;
    const QString R = QStringLiteral("Response");
    QDateTime now = cameraNow();
    auto bad = [&](const QString &why) {
        err = faultReply(400, true, {QStringLiteral("ter:InvalidArgVal")}, why);
        return false;
    };

    if (op == "GetServiceCapabilities") {
        out = El(NS_TEV, op + R);
        out.add(NS_TEV, QStringLiteral("Capabilities"))
            .attr(QStringLiteral("WSSubscriptionPolicySupport"), QStringLiteral("false"))
            .attr(QStringLiteral("WSPullPointSupport"), QStringLiteral("true"))
            .attr(QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"),
                  QStringLiteral("false"))
            .attr(QStringLiteral("MaxNotificationProducers"), QString::number(kMaxSubscriptions))
            .attr(QStringLiteral("MaxPullPoints"), QString::number(kMaxSubscriptions));
        return true;
    }
    if (op == "GetEventProperties") {
        out = El(NS_TEV, op + R);
        out.add(NS_TEV, QStringLiteral("TopicNamespaceLocation"),
                QStringLiteral("http://www.onvif.org/onvif/ver10/topics/topicns.xml"));
        out.add(NS_WSNT, QStringLiteral("FixedTopicSet"), QStringLiteral("true"));
        out.add(NS_WSNT, QStringLiteral("TopicExpressionDialect"), QLatin1String(kConcreteSet));
        out.add(NS_TEV, QStringLiteral("MessageContentFilterDialect"),
                QStringLiteral("http://www.onvif.org/ver10/tev/messageContentFilter/ItemFilter"));
        out.add(NS_TEV, QStringLiteral("MessageContentSchemaLocation"),
                QStringLiteral("http://www.onvif.org/onvif/ver10/schema/onvif.xsd"));
        return true;
    }
    if (op == "Subscribe" || op == "CreatePullPointSubscription") {
        bool pull = op == "CreatePullPointSubscription";
        EventSub s;
        s.pullPoint = pull;
        if (!pull) {
            const XNode *cr = in.child(QStringLiteral("ConsumerReference"));
            s.consumer = cr ? cr->childText(QStringLiteral("Address")) : QString();
            QUrl u(s.consumer);
            if (!u.isValid() || u.scheme() != QLatin1String("http") || u.host().isEmpty())
                return bad(QStringLiteral("ConsumerReference/Address must be an http URL"));
            log.insert(QStringLiteral("consumer"), s.consumer);
        }
        qint64 secs = 60;
        if (in.has(QStringLiteral("InitialTerminationTime"))) {
            secs = terminationSeconds(in.childText(QStringLiteral("InitialTerminationTime")), now);
            if (secs < 0) return bad(QStringLiteral("bad InitialTerminationTime"));
        }
        if ((int)subs.size() >= kMaxSubscriptions) {
            // drop expired ones before refusing
            for (auto it = subs.begin(); it != subs.end();)
                it = it->second.expires < now ? subs.erase(it) : std::next(it);
            if ((int)subs.size() >= kMaxSubscriptions) {
                err = faultReply(
                    500, false,
                    {QStringLiteral("ter:Action"), QStringLiteral("ter:TooManySubscriptions")},
                    QStringLiteral("too many subscriptions"));
                return false;
            }
        }
        s.id = nextSubId++;
        s.expires = now.addSecs(secs);
        s.ioCursor = io.nextSeq; // events from now on
        s.notifiesLeft = pull ? 0 : cfg.notifyCount;
        subs[s.id] = s;
        log.insert(QStringLiteral("subscription"), s.id);
        log.insert(QStringLiteral("termination_s"), double(secs));
        out = El(pull ? NS_TEV : NS_WSNT, op + R);
        El ref = subscriptionReference(s);
        ref.ns = pull ? NS_TEV : NS_WSNT;
        out.add(ref);
        out.add(NS_WSNT, QStringLiteral("CurrentTime"), isoTime(now));
        out.add(NS_WSNT, QStringLiteral("TerminationTime"), isoTime(s.expires));
        if (s.notifiesLeft > 0) scheduleNotify(s.id);
        return true;
    }

    // subscription manager and pull point
    EventSub *s = subscriptionOf(env, req, err, log);
    if (!s) return false;
    if (op == "Renew") {
        qint64 secs = terminationSeconds(in.childText(QStringLiteral("TerminationTime")), now);
        if (secs < 0) return bad(QStringLiteral("bad TerminationTime"));
        s->expires = now.addSecs(secs);
        log.insert(QStringLiteral("termination_s"), double(secs));
        out = El(NS_WSNT, op + R);
        out.add(NS_WSNT, QStringLiteral("TerminationTime"), isoTime(s->expires));
        out.add(NS_WSNT, QStringLiteral("CurrentTime"), isoTime(now));
        return true;
    }
    if (op == "Unsubscribe") {
        subs.erase(s->id);
        out = El(NS_WSNT, op + R);
        return true;
    }
    // the pull point's own operations
    if (!s->pullPoint) return bad(QStringLiteral("not a pull point"));
    if (op == "DestroyPullPoint") {
        subs.erase(s->id);
        out = El(NS_WSNT, op + R);
        return true;
    }
    if (op == "SetSynchronizationPoint") {
        s->sync = ioSnapshot();
        out = El(NS_TEV, op + R);
        return true;
    }
    if (op == "Seek") {
        QDateTime at = QDateTime::fromString(in.childText(QStringLiteral("UtcTime")), Qt::ISODate);
        bool reverse = false;
        if (!at.isValid() || (in.has(QStringLiteral("Reverse")) &&
                              !parseBoolText(in.childText(QStringLiteral("Reverse")), reverse)))
            return bad(QStringLiteral("Seek needs a UtcTime (and Reverse a boolean)"));
        // forward: the first event at or after the time; reverse: the last
        // one at or before it, then backwards
        const qint64 oldest = io.log.empty() ? io.nextSeq : io.log.front().seq;
        qint64 cursor = reverse ? oldest - 1 : io.nextSeq;
        for (const IoEvent &e : io.log) {
            if (!reverse && e.time >= at) {
                cursor = e.seq;
                break;
            }
            if (reverse && e.time <= at) cursor = e.seq;
        }
        s->ioCursor = cursor;
        s->ioReverse = reverse;
        out = El(NS_TEV, op + R);
        return true;
    }
    if (op == "GetMessages") {
        int limit = 100;
        if (in.has(QStringLiteral("MaximumNumber"))) {
            bool ok = false;
            limit = in.childText(QStringLiteral("MaximumNumber")).toInt(&ok);
            if (!ok || limit < 0) return bad(QStringLiteral("bad MaximumNumber"));
            limit = qMin(limit, 100);
        }
        out = El(NS_WSNT, op + R);
        pullInto(*s, limit, out, now);
        log.insert(QStringLiteral("messages"), int(out.kids.size()));
        return true;
    }
    // PullMessages
    bool ok = false;
    int limit = in.childText(QStringLiteral("MessageLimit")).toInt(&ok);
    if (!ok || limit < 0 || !in.has(QStringLiteral("Timeout")))
        return bad(QStringLiteral("PullMessages needs Timeout and MessageLimit"));
    out = El(NS_TEV, op + R);
    out.add(NS_TEV, QStringLiteral("CurrentTime"), isoTime(now));
    out.add(NS_TEV, QStringLiteral("TerminationTime"), isoTime(s->expires));
    pullInto(*s, qMin(limit, 1000), out, now);
    log.insert(QStringLiteral("messages"), int(out.kids.size()) - 2);
    return true;
}

} // namespace camsim
