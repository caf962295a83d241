#include "app_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QMessageBox>
#include <QThread>

#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include "app/device_manager.h"
#include "app/device_table_model.h"

namespace
{

// Before main: the settings of the whole test program go to a folder of its
// own (XDG_CONFIG_HOME is read at the first QSettings), removed at exit.
struct TemporarySettings {
    QByteArray dir;
    TemporarySettings()
    {
        char path[] = "/tmp/corvanta-test-config-XXXXXX";
        if (!mkdtemp(path)) abort(); // never fall back to the user's settings
        dir = path;
        setenv("XDG_CONFIG_HOME", path, 1);
    }
    ~TemporarySettings() { QDir(QString::fromLocal8Bit(dir)).removeRecursively(); }
} g_temporarySettings;

} // namespace

namespace apptest
{

const char TOOL_IP[] = "10.203.5.1";
const char CAMERA_IP[] = "10.203.5.2";

namespace
{

bool runIp(const QString &args)
{
    QByteArray cmd = ("ip " + args + " >/dev/null 2>&1").toLocal8Bit();
    return system(cmd.constData()) == 0;
}

} // namespace

bool enterTestNetwork(QString *reason)
{
    static int state = 0; // 0 not tried, 1 ready, -1 failed
    static QString why;
    if (state == 0) {
        state = -1;
        if (geteuid() != 0) {
            why = "needs root to create a network namespace (veth pair for camsim); skipped";
        } else if (unshare(CLONE_NEWNET) != 0) {
            why = "unshare(CLONE_NEWNET) failed; no network namespaces here; skipped";
        } else {
            const char *cmds[] = {
                "link set lo up",
                "link add va type veth peer name vb",
                "addr add 10.203.5.1/24 dev va",
                "addr add 10.203.5.2/24 dev vb",
                "link set va up",
                "link set vb up",
                "route add 224.0.0.0/4 dev va",
            };
            state = 1;
            for (const char *c : cmds) {
                if (!runIp(c)) {
                    why = QString("the test network could not be set up (ip %1 failed); skipped")
                              .arg(c);
                    state = -1;
                    break;
                }
            }
            // Both ends must be up before anything binds to them.
            for (int i = 0; state == 1 && i < 50; i++) {
                QFile f("/sys/class/net/vb/operstate");
                if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "up") break;
                QThread::msleep(20);
            }
        }
    }
    if (reason) *reason = why;
    return state == 1;
}

bool addCameraAddress(const QString &ip, int prefix)
{
    const QString cidr = ip + "/" + QString::number(prefix);
    runIp("addr add " + cidr + " dev vb");
    QProcess p;
    p.start("ip", {"-4", "addr", "show", "dev", "vb"});
    if (!p.waitForFinished(5000)) return false;
    return QString::fromLocal8Bit(p.readAllStandardOutput()).contains(" " + cidr);
}

bool waitFor(const std::function<bool()> &pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() >= timeoutMs) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

QString cell(const QAbstractItemModel *model, int row, int column)
{
    if (row < 0 || row >= model->rowCount()) return QStringLiteral("<no row>");
    return model->index(row, column).data().toString();
}

bool clickRowCheck(QTableView *view, int row)
{
    const QModelIndex index = view->model()->index(row, 0);
    if (!index.isValid()) return false;
    view->scrollTo(index);
    // Where the item delegate draws (and takes clicks on) the check box.
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.rect = view->visualRect(index);
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box =
        view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    if (!box.isValid()) return false;
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
    return true;
}

bool waitSettled(DeviceManager *manager, uint64_t sightings, int timeoutMs)
{
    const std::shared_ptr<DeviceRegistry> registry = manager->registry();
    const bool settled = waitFor(
        [&] { return registry->sightingCount() >= sightings && registry->busyCount() == 0; },
        timeoutMs);
    // Reports are posted before a query counts as done: deliver them, and the
    // signals they emit.
    for (int i = 0; i < 3; i++)
        QCoreApplication::processEvents();
    return settled;
}

void answerDialog(const QString &objectName, const std::function<void(QDialog *)> &fn)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, objectName, fn]() {
        QDialog *found = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *d = qobject_cast<QDialog *>(w);
            if (d && d->isVisible() && d->objectName() == objectName) found = d;
        }
        if (!found) {
            if (++*tries > 500) timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        fn(found);
    });
    timer->start(20);
}

// ---------------------------------------------------------------------------

CamSim::CamSim(const QJsonArray &cameras, const QJsonObject &defaults)
    : cameraList(cameras), defaultValues(defaults)
{
}

CamSim::~CamSim()
{
    stop();
}

QString CamSim::errorText() const
{
    QFile f(tempDir.path() + "/camsim.err");
    QString err = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    return lastError + (err.isEmpty() ? QString() : "\ncamsim: " + err);
}

bool CamSim::start(const QStringList &extraArgs, int timeoutMs)
{
    if (!tempDir.isValid()) {
        lastError = "no temporary folder";
        return false;
    }
    QDir().mkpath(uploadDir());
    QJsonObject config;
    config["defaults"] = defaultValues;
    config["cameras"] = cameraList;
    QFile cfg(tempDir.path() + "/config.json");
    if (!cfg.open(QIODevice::WriteOnly)) {
        lastError = "cannot write the config";
        return false;
    }
    cfg.write(QJsonDocument(config).toJson());
    cfg.close();

    QString ready = tempDir.path() + "/ready";
    QStringList args;
    if (!extraArgs.contains("--address")) args << "--address" << CAMERA_IP;
    if (!extraArgs.contains("--discovery-address") && !extraArgs.contains("--no-discovery"))
        args << "--discovery-address" << CAMERA_IP;
    if (!extraArgs.contains("--http-port"))
        args << "--http-port"
             << "0";
    args << "--config" << cfg.fileName() << "--ready-file" << ready << "--request-log"
         << requestLogPath() << "--upload-dir" << uploadDir() << extraArgs;

    process.reset(new QProcess);
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(tempDir.path() + "/camsim.err");
    if (launcher.isEmpty())
        process->start(CAMSIM_PATH, args);
    else
        process->start(launcher.first(), launcher.mid(1) + QStringList(CAMSIM_PATH) + args);
    if (!process->waitForStarted(5000)) {
        lastError = "camsim did not start: " + process->errorString();
        return false;
    }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (QFile::exists(ready) && cameras().size() == cameraList.size()) return true;
        if (process->state() == QProcess::NotRunning) {
            lastError = QString("camsim ended with status %1").arg(process->exitCode());
            return false;
        }
        process->waitForFinished(20);
    }
    lastError = "camsim wrote no ready file in time";
    return false;
}

void CamSim::stop()
{
    if (!process) return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate(); // SIGTERM: camsim sends its Byes and ends
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(2000);
        }
    }
    process.reset();
}

QList<CamEntry> CamSim::cameras() const
{
    QList<CamEntry> out;
    QFile f(tempDir.path() + "/ready");
    if (!f.open(QIODevice::ReadOnly)) return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() != 3) continue;
        CamEntry e;
        e.serial = QString::fromUtf8(parts[0]);
        e.address = QString::fromUtf8(parts[1]);
        e.port = parts[2].toInt();
        out << e;
    }
    return out;
}

QList<QJsonObject> CamSim::requests() const
{
    QList<QJsonObject> out;
    QFile f(requestLogPath());
    if (!f.open(QIODevice::ReadOnly)) return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray &line : lines) {
        QJsonDocument d = QJsonDocument::fromJson(line);
        if (d.isObject()) out << d.object();
    }
    return out;
}

QList<QJsonObject> CamSim::requestsFor(const QString &op, const QString &serial) const
{
    QList<QJsonObject> out;
    const QList<QJsonObject> all = requests();
    for (const QJsonObject &r : all) {
        if (r.value("operation").toString() != op) continue;
        if (!serial.isEmpty() && r.value("camera").toString() != serial) continue;
        out << r;
    }
    return out;
}

int CamSim::refused(const QString &serial) const
{
    int n = 0;
    for (const QJsonObject &r : requests()) {
        if (!serial.isEmpty() && r.value("camera").toString() != serial) continue;
        if (r.contains("auth_ok") && !r.value("auth_ok").toBool()) n++;
    }
    return n;
}

int CamSim::soapRequests(const QString &serial) const
{
    int n = 0;
    for (const QJsonObject &r : requests()) {
        if (!serial.isEmpty() && r.value("camera").toString() != serial) continue;
        if (r.value("path").toString().startsWith("/onvif/")) n++;
    }
    return n;
}

// ---------------------------------------------------------------------------

MessageBoxCloser::MessageBoxCloser(QObject *parent) : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &MessageBoxCloser::poll);
    timer.start(50);
}

void MessageBoxCloser::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen << box->windowTitle() + "|" + box->text();
    QAbstractButton *button = box->defaultButton();
    if (!button) button = box->escapeButton();
    if (button)
        button->click();
    else
        box->reject();
}

} // namespace apptest
