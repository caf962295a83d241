// camsim: runs simulated ONVIF cameras (device service, web upgrade
// interface, WS-Discovery) for trying the tool and for end-to-end tests.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTextStream>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#include "camera.h"
#include "config.h"
#include "discovery.h"
#include "reqlog.h"

using namespace camsim;

namespace
{

int g_sigFd[2] = {-1, -1};

void onSignal(int)
{
    char c = 1;
    ssize_t n = ::write(g_sigFd[1], &c, 1);
    (void)n;
}

int fail(const QString &msg)
{
    QTextStream(stderr) << "camsim: " << msg << "\n";
    return 2;
}

bool writeReadyFile(const QString &path, const QList<Camera *> &cams)
{
    if (path.isEmpty()) return true;
    QSaveFile f(path); // a temporary file in the same folder, renamed on commit
    if (!f.open(QIODevice::WriteOnly)) return false;
    for (Camera *c : cams)
        f.write(
            QStringLiteral("%1 %2 %3\n").arg(c->serial(), c->address()).arg(c->port()).toUtf8());
    return f.commit();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("camsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Simulated ONVIF IP cameras: device service (SOAP 1.2), web upgrade interface\n"
        "and WS-Discovery. See tools/camsim/README.md for the JSON configuration."));
    p.addHelpOption();
    p.addVersionOption();
    QCommandLineOption oCount(QStringLiteral("count"), QStringLiteral("Number of cameras."),
                              QStringLiteral("N"));
    QCommandLineOption oAddr(QStringLiteral("address"),
                             QStringLiteral("Listen address (default 127.0.0.1)."),
                             QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    QCommandLineOption oPort(
        QStringLiteral("http-port"),
        QStringLiteral("Port of camera 0, camera i uses P+i; 0 = ephemeral (default 8080)."),
        QStringLiteral("P"), QStringLiteral("8080"));
    QCommandLineOption oConfig(QStringLiteral("config"), QStringLiteral("JSON configuration file."),
                               QStringLiteral("FILE"));
    QCommandLineOption oDisc(QStringLiteral("discovery-address"),
                             QStringLiteral("Answer WS-Discovery on the interface holding IP."),
                             QStringLiteral("IP"));
    QCommandLineOption oUnicast(
        QStringLiteral("discovery-unicast-only"),
        QStringLiteral("With --discovery-address: answer only Probes sent to that address\n"
                       "(no multicast: no group, no Hello or Bye)."));
    QCommandLineOption oNoDisc(QStringLiteral("no-discovery"),
                               QStringLiteral("No WS-Discovery (default)."));
    QCommandLineOption oDelay(
        QStringLiteral("probe-delay-ms"),
        QStringLiteral("Random delay 0..MAX ms before each ProbeMatch (default 0)."),
        QStringLiteral("MAX"), QStringLiteral("0"));
    QCommandLineOption oReady(QStringLiteral("ready-file"),
                              QStringLiteral("Write \"serial address port\" lines once listening."),
                              QStringLiteral("F"));
    QCommandLineOption oLog(QStringLiteral("request-log"),
                            QStringLiteral("JSON-lines request log."), QStringLiteral("F"));
    QCommandLineOption oUpload(QStringLiteral("upload-dir"),
                               QStringLiteral("Where uploaded firmware is stored."),
                               QStringLiteral("D"));
    QCommandLineOption oQuiet(QStringLiteral("quiet"),
                              QStringLiteral("No diagnostics on standard error."));
    p.addOptions({oCount, oAddr, oPort, oConfig, oDisc, oUnicast, oNoDisc, oDelay, oReady, oLog,
                  oUpload, oQuiet});
    p.process(app);
    if (!p.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument %1").arg(p.positionalArguments().first()));

    bool ok = false;
    const QString address = p.value(oAddr);
    QHostAddress ha;
    if (!ha.setAddress(address) || ha.protocol() != QAbstractSocket::IPv4Protocol)
        return fail(QStringLiteral("--address needs an IPv4 address"));
    int basePort = p.value(oPort).toInt(&ok);
    if (!ok || basePort < 0 || basePort > 65535)
        return fail(QStringLiteral("--http-port needs 0..65535"));
    int delay = p.value(oDelay).toInt(&ok);
    if (!ok || delay < 0 || delay > 60000)
        return fail(QStringLiteral("--probe-delay-ms needs 0..60000"));

    QJsonObject defaults;
    QList<QJsonObject> camObjs;
    QString err;
    if (p.isSet(oConfig) && !loadConfigFile(p.value(oConfig), defaults, camObjs, err))
        return fail(err);
    int count = camObjs.isEmpty() ? 1 : camObjs.size();
    if (p.isSet(oCount)) {
        count = p.value(oCount).toInt(&ok);
        if (!ok || count < 1 || count > 1000) return fail(QStringLiteral("--count needs 1..1000"));
    }
    if (basePort != 0 && basePort + count - 1 > 65535)
        return fail(QStringLiteral("ports beyond 65535"));

    SimContext ctx;
    ctx.quiet = p.isSet(oQuiet);
    ctx.uploadDir = QDir(p.isSet(oUpload) ? p.value(oUpload)
                                          : QDir::temp().filePath(QStringLiteral("camsim-uploads")))
                        .absolutePath();
    ctx.secret = QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    RequestLog reqLog;
    if (p.isSet(oLog)) {
        if (!reqLog.open(p.value(oLog), err)) return fail(err);
        ctx.log = &reqLog;
    }

    QList<Camera *> cams;
    for (int i = 0; i < count; ++i) {
        CameraConfig c = defaultCamera(i, address, basePort);
        if (!applyJson(c, defaults, err)) return fail(QStringLiteral("defaults: ") + err);
        if (i < camObjs.size() && !applyJson(c, camObjs[i], err))
            return fail(QStringLiteral("camera %1: %2").arg(i).arg(err));
        auto *cam = new Camera(c, &ctx, &app);
        if (!cam->start(err))
            return fail(QStringLiteral("camera %1 (%2): %3").arg(i).arg(c.serial, err));
        cams << cam;
        if (!ctx.quiet)
            QTextStream(stderr) << "camsim: " << cam->serial() << " listening on "
                                << (c.tls ? "https://" : "http://") << cam->address() << ":"
                                << cam->port() << "\n";
    }

    Discovery *disc = nullptr;
    if (p.isSet(oDisc) && !p.isSet(oNoDisc)) {
        disc = new Discovery(cams, p.value(oDisc), delay, ctx.log, ctx.quiet, &app);
        const bool started = p.isSet(oUnicast) ? disc->startUnicastOnly(err) : disc->start(err);
        if (!started) return fail(QStringLiteral("discovery: ") + err);
    }

    const QString readyPath = p.value(oReady);
    for (Camera *cam : cams) {
        QObject::connect(cam, &Camera::moved, &app, [&cams, readyPath, disc](Camera *c) {
            if (!writeReadyFile(readyPath, cams))
                QTextStream(stderr) << "camsim: cannot write " << readyPath << "\n";
            if (disc) disc->hello(c);
        });
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_sigFd) != 0)
        return fail(QStringLiteral("socketpair failed"));
    QSocketNotifier sn(g_sigFd[0], QSocketNotifier::Read);
    QObject::connect(&sn, &QSocketNotifier::activated, &app, [&]() {
        char c;
        ssize_t n = ::read(g_sigFd[0], &c, 1);
        (void)n;
        sn.setEnabled(false);
        if (disc) disc->byeAll();
        if (ctx.log) ctx.log->write({{"event", "stop"}});
        app.quit();
    });
    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    if (!writeReadyFile(readyPath, cams)) return fail(QStringLiteral("cannot write ") + readyPath);
    return app.exec();
}
