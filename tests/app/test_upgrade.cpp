// Firmware upgrade tests.
//
// tiv_ipc_do_update alone runs against camsim on 127.0.0.1 (no discovery) and
// against scripted loopback servers; the whole flow through the main window
// (file dialog, queue, scheduler, parallel upload threads, status column,
// new probe) runs against camsim cameras discovered in a network namespace
// that the test process creates (root only; skipped with the reason
// otherwise).
#include <QtTest>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QJsonArray>
#include <QJsonObject>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextCodec>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "app/device_access.h"
#include "app/firmware_upload.h"
#include "app/upgrade_scheduler.h"
#include "app/upgrade_device_widget.h"
#include "app_test_support.h"
#include "tests/support/http_test_server.h"

using apptest::CamSim;
using apptest::cell;

namespace
{

const char kWaiting[] = "等待升级";
const char kRunning[] = "正在升级";
const char kDone[] = "升级成功";
const char kConfirming[] = "等待确认";
const char kNotConfirmed[] = "升级未确认";
const char kFailed[] = "升级失败";

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

// Random bytes of the given size written to path; the bytes, or empty on failure.
QByteArray writeFirmware(const QString &path, int size)
{
    QByteArray data(size, '\0');
    for (int i = 0; i < size; i++)
        data[i] = (char)QRandomGenerator::global()->bounded(256);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != size) return QByteArray();
    return data;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Standard output of the calls made while it lives, read back by finish().
class StdoutCapture
{
  public:
    StdoutCapture()
    {
        fflush(stdout);
        char name[] = "/tmp/upgrade-stdout-XXXXXX";
        fd = mkstemp(name);
        if (fd >= 0) {
            unlink(name);
            saved = dup(1);
            dup2(fd, 1);
        }
    }
    ~StdoutCapture() { finish(); }

    QStringList finish()
    {
        if (fd < 0) return lines;
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        QFile f;
        f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        f.seek(0);
        lines = QString::fromUtf8(f.readAll()).split('\n');
        if (lines.last().isEmpty()) lines.removeLast();
        fd = -1;
        return lines;
    }

  private:
    int fd = -1;
    int saved = -1;
    QStringList lines;
};

// A listening socket whose accept queue is full: further connects get no
// answer (their SYNs are dropped), so a client runs into its connect time-out.
class StuckListener
{
  public:
    explicit StuckListener(const char *ip, int port = 0)
    {
        ls = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(ls, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        struct sockaddr_in sa;
        memset(&sa, 0, sizeof(sa));
        sa.sin_family = AF_INET;
        sa.sin_port = htons((uint16_t)port);
        inet_pton(AF_INET, ip, &sa.sin_addr);
        if (bind(ls, (struct sockaddr *)&sa, sizeof(sa)) != 0 || listen(ls, 0) != 0) return;
        socklen_t len = sizeof(sa);
        getsockname(ls, (struct sockaddr *)&sa, &len);
        boundPort = ntohs(sa.sin_port);
        // One connection that is never accepted fills the queue.
        filler = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok = ::connect(filler, (struct sockaddr *)&sa, sizeof(sa)) == 0;
    }
    ~StuckListener()
    {
        if (filler >= 0) close(filler);
        if (ls >= 0) close(ls);
    }
    int port() const { return boundPort; }
    bool ok = false;

  private:
    int ls = -1;
    int filler = -1;
    int boundPort = 0;
};

// A loopback port on which nothing listens (bound, never listening).
class ClosedPort
{
  public:
    ClosedPort()
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        struct sockaddr_in sa;
        memset(&sa, 0, sizeof(sa));
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(fd, (struct sockaddr *)&sa, sizeof(sa)) != 0) return;
        socklen_t len = sizeof(sa);
        getsockname(fd, (struct sockaddr *)&sa, &len);
        boundPort = ntohs(sa.sin_port);
    }
    ~ClosedPort() { close(fd); }
    int port() const { return boundPort; }

  private:
    int fd = -1;
    int boundPort = 0;
};

QJsonObject lastUpload(const CamSim &sim, const QString &serial)
{
    QJsonObject found;
    const QList<QJsonObject> all = sim.requests();
    for (const QJsonObject &r : all)
        if (r.value("path").toString() == "/api/sysConfig/uploadSystem" &&
            r.value("camera").toString() == serial)
            found = r;
    return found;
}

int countPath(const CamSim &sim, const QString &serial, const QString &path)
{
    int n = 0;
    const QList<QJsonObject> all = sim.requests();
    for (const QJsonObject &r : all)
        if (r.value("path").toString() == path && r.value("camera").toString() == serial) n++;
    return n;
}

// Every status text that column 7 showed, per serial number, in order. Fed
// by the model's change signals, so no intermediate text is missed.
class StatusRecorder : public QObject
{
  public:
    explicit StatusRecorder(QAbstractItemModel *m) : model(m)
    {
        connect(model, &QAbstractItemModel::dataChanged, this, [this] { scan(); });
        connect(model, &QAbstractItemModel::rowsInserted, this, [this] { scan(); });
        scan();
    }

    void scan()
    {
        for (int row = 0; row < model->rowCount(); row++) {
            QStringList &seq = steps[model->index(row, 2).data().toString()];
            const QString text = model->index(row, 7).data().toString();
            if (!text.isEmpty() && (seq.isEmpty() || seq.last() != text)) seq << text;
        }
    }

    QStringList texts(const QString &serial) { return steps[serial]; }

  private:
    QAbstractItemModel *model;
    std::map<QString, QStringList> steps;
};

// Answers the next open-file dialog that shows up: with `path`, or cancels it
// when path is empty. Gives up (rejecting whatever modal dialog is open) after
// a bounded number of polls, so a click never blocks the test for good.
class FileDialogAnswerer : public QObject
{
  public:
    explicit FileDialogAnswerer(const QString &answer) : path(answer)
    {
        connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start(50);
    }
    bool answered = false;
    QStringList complaints; // message boxes the dialog showed (closed here)

  private:
    void poll()
    {
        if (++polls > 400) {
            timer.stop();
            return;
        }
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            complaints << box->text();
            box->reject();
            giveUp = true;
            return;
        }
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || !dialog->isVisible()) {
            if (answered) timer.stop();
            return;
        }
        if (answered || giveUp || path.isEmpty()) {
            // Cancel wanted, or the answer was not taken: never hang.
            answered = answered || path.isEmpty();
            dialog->reject();
            return;
        }
        answered = true;
        // Queued, so that a complaint box the dialog may open runs in a
        // nested loop in which this timer still fires.
        // Typed into the file-name line, as a user would.
        if (auto *edit = dialog->findChild<QLineEdit *>("fileNameEdit"))
            edit->setText(path);
        else
            dialog->selectFile(path);
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }

    QString path;
    QTimer timer;
    int polls = 0;
    bool giveUp = false;
};

QPushButton *button(QWidget *window, const char *name)
{
    return window->findChild<QPushButton *>(name);
}

} // namespace

class UpgradeTest : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();

    // tiv_ipc_do_update against cameras on loopback.
    void uploadCarriesLoginCookieAndWholeFile();
    void uploadStatusDecidesTheResult();
    void longCookieLineIsKeptWhole();
    void missingFileAndNullArgumentsFail();
    void refusedConnectionFailsBothRequests();

    // The whole flow through the main window, in a private network.
    void windowUpgradesSelectedCamerasInParallel();
    void windowMayCloseWhileUploadsRun();

    // Credentials, the pool's bound and the firmware check.
    void credentialsReachTheLoginOnly();
    void uploadsRunFourAtATime();
    void unchangedFirmwareIsNotConfirmed();
};

void UpgradeTest::initTestCase()
{
    QCOMPARE(firmware_upload_global_init(), 0);
}

void UpgradeTest::uploadCarriesLoginCookieAndWholeFile()
{
    CamSim sim(QJsonArray{QJsonObject{}});
    QVERIFY2(sim.start({"--address", "127.0.0.1", "--no-discovery"}), qPrintable(sim.errorText()));
    const apptest::CamEntry cam = sim.cameras().value(0);

    QTemporaryDir dir;
    // Above a megabyte, so the upload also goes through "Expect: 100-continue".
    const QString path = dir.filePath("V2.0.1.bin");
    const QByteArray firmware = writeFirmware(path, 1536 * 1024 + 7);
    QVERIFY(!firmware.isEmpty());

    const QByteArray host = QString("127.0.0.1:%1").arg(cam.port).toUtf8();
    StdoutCapture capture;
    const int r = tiv_ipc_do_update(host.constData(), QFile::encodeName(path).constData());
    const QStringList out = capture.finish();
    QCOMPARE(r, 0);

    // The cookie's value opens the camera's web interface: it is not shown.
    QVERIFY2(out.contains("tiv_ipc_do_update cookie = "
                          "127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\t******"),
             qPrintable(out.join('|')));

    // The camera got the empty login as a form body, then the file with the
    // login's cookie, as the part named "file" with the file's base name.
    const QList<QJsonObject> reqs = sim.requests();
    QJsonObject login, upload;
    for (const QJsonObject &q : reqs) {
        if (q.value("path").toString() == "/account/login") login = q;
        if (q.value("path").toString() == "/api/sysConfig/uploadSystem") upload = q;
    }
    QCOMPARE(login.value("login").toString(), QString("accepted"));
    QCOMPARE(login.value("content_type").toString(), QString("application/x-www-form-urlencoded"));
    QCOMPARE(login.value("body_size").toInt(), 16);
    QVERIFY(upload.value("cookie").toString().startsWith("session="));
    QVERIFY(upload.value("cookie_valid").toBool());
    QVERIFY(upload.value("content_type").toString().startsWith("multipart/form-data"));
    QCOMPARE(upload.value("filename").toString(), QString("V2.0.1.bin"));
    QCOMPARE(upload.value("status").toInt(), 200);
    QCOMPARE(readAll(sim.uploadDir() + "/" + cam.serial + ".bin"), firmware);
}

// The upload's answer decides: 2xx, or a redirect to a page of the camera
// itself (a web form's usual answer to a post), is success; anything else fails.
void UpgradeTest::uploadStatusDecidesTheResult()
{
    struct Case {
        const char *status_line;
        const char *location; // %1 = the camera's host:port
        int result;
    };
    const Case cases[] = {
        {"200 OK", nullptr, 0},
        {"204 No Content", nullptr, 0},
        {"302 Found", "/index.html", 0},
        {"303 See Other", "http://%1/upgrade/done", 0},
        {"302 Found", "http://10.255.0.9/phish", -1},
        {"302 Found", "https://127.0.0.1/index.html", 0},
        {"302 Found", "http://127.0.0.10/", -1},
        {"302 Found", nullptr, -1},
        {"401 Unauthorized", nullptr, -1},
        {"404 Not Found", nullptr, -1},
        {"413 Payload Too Large", nullptr, -1},
        {"503 Service Unavailable", nullptr, -1},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QVERIFY(!writeFirmware(path, 5000).isEmpty());
    const QByteArray file = QFile::encodeName(path);
    for (const Case &k : cases) {
        QByteArray host;
        testsrv::Server server([&](testsrv::Conn &c, int index) {
            c.read_request();
            if (index == 0) {
                c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
                return;
            }
            std::string head = std::string("HTTP/1.1 ") + k.status_line + "\r\n";
            if (k.location)
                head +=
                    "Location: " + QString(k.location).arg(QString(host)).toStdString() + "\r\n";
            c.send(head + "Content-Length: 0\r\nConnection: close\r\n\r\n");
        });
        QVERIFY(server.ok());
        host = QString("127.0.0.1:%1").arg(server.port()).toUtf8();
        long status = 0;
        FIRMWARE_UPLOAD up = {host.constData(), file.constData(), nullptr, nullptr,
                              nullptr,          nullptr,          0,       &status};
        StdoutCapture capture;
        const int r = firmware_upload_run(&up);
        const QStringList out = capture.finish();
        server.stop();
        const QByteArray what = QByteArray(k.status_line) + " " + (k.location ? k.location : "");
        QVERIFY2(r == k.result, what.constData());
        QCOMPARE(status, QByteArray(k.status_line).left(3).toLong());
        if (r != 0)
            QVERIFY2(out.contains(QString("curl_http_upload status : %1").arg(status)),
                     qPrintable(out.join('|')));
    }
}

void UpgradeTest::longCookieLineIsKeptWhole()
{
    // A login cookie far longer than 255 bytes must reach the upload whole.
    const QByteArray value = QByteArray(1000, 'c') + "END";
    std::string uploadHead;
    testsrv::Server server([&](testsrv::Conn &c, int index) {
        const std::string req = c.read_request();
        if (index == 0) {
            c.send("HTTP/1.1 200 OK\r\nSet-Cookie: token=" + value.toStdString() +
                   "; Path=/\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
        } else {
            uploadHead = req.substr(0, req.find("\r\n\r\n"));
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
        }
    });
    QVERIFY(server.ok());

    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QVERIFY(!writeFirmware(path, 3000).isEmpty());
    const QByteArray host = QString("127.0.0.1:%1").arg(server.port()).toUtf8();
    StdoutCapture capture;
    const int r = tiv_ipc_do_update(host.constData(), QFile::encodeName(path).constData());
    const QStringList out = capture.finish();
    server.stop();
    QCOMPARE(r, 0);
    QCOMPARE(server.accepted(), 2);
    const QString head = QString::fromStdString(uploadHead);
    QVERIFY2(head.contains("\r\nCookie: token=" + value + "\r\n", Qt::CaseInsensitive),
             qPrintable(head.left(300)));
    QVERIFY(out.value(3).endsWith("\ttoken\t******"));
    QVERIFY(!out.join('\n').contains(value));
}

void UpgradeTest::missingFileAndNullArgumentsFail()
{
    StdoutCapture capture;
    QCOMPARE(tiv_ipc_do_update(nullptr, "/tmp/x.bin"), -1);
    QCOMPARE(tiv_ipc_do_update("127.0.0.1", nullptr), -1);
    QVERIFY(capture.finish().isEmpty());

    // A file that is not there (or an empty path, as after a cancelled
    // dialog): the login still goes out, the upload fails before sending.
    CamSim sim(QJsonArray{QJsonObject{}});
    QVERIFY2(sim.start({"--address", "127.0.0.1", "--no-discovery"}), qPrintable(sim.errorText()));
    const apptest::CamEntry cam = sim.cameras().value(0);
    const QByteArray host = QString("127.0.0.1:%1").arg(cam.port).toUtf8();
    QTemporaryDir dir;
    const QByteArray missing = QFile::encodeName(dir.filePath("none.bin"));
    for (const QByteArray &file : {missing, QByteArray("")}) {
        StdoutCapture c2;
        QCOMPARE(tiv_ipc_do_update(host.constData(), file.constData()), -1);
        const QStringList out = c2.finish();
        QVERIFY(out.contains("curl_http_post over"));
        QVERIFY2(out.contains("curl_http_upload error : 26"), qPrintable(out.join('|')));
    }
    QCOMPARE(countPath(sim, cam.serial, "/account/login"), 2);
    QCOMPARE(countPath(sim, cam.serial, "/api/sysConfig/uploadSystem"), 0);
}

void UpgradeTest::refusedConnectionFailsBothRequests()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QVERIFY(!writeFirmware(path, 1000).isEmpty());
    const QByteArray file = QFile::encodeName(path);

    // Refused at once: both requests fail with "couldn't connect". (A camera
    // that never answers is the window test's UPG-D.)
    ClosedPort closed;
    QVERIFY(closed.port() > 0);
    const QByteArray host = QString("127.0.0.1:%1").arg(closed.port()).toUtf8();
    StdoutCapture capture;
    QCOMPARE(tiv_ipc_do_update(host.constData(), file.constData()), -1);
    const QStringList out = capture.finish();
    QVERIFY2(out.contains("curl_http_post error : 7"), qPrintable(out.join('|')));
    QVERIFY(out.contains("tiv_ipc_do_update cookie = "));
    QVERIFY(out.contains("curl_http_upload error : 7"));
}

void UpgradeTest::windowUpgradesSelectedCamerasInParallel()
{
    REQUIRE_TEST_NETWORK();
    // Cameras on port 80 of their own addresses (the web interface is reached
    // by the device-service host alone), one that refuses the login, one that
    // wants the login cookie with the upload, and one whose ONVIF service is
    // on 8080 while its port 80 never answers.
    for (const char *ip : {"10.203.5.3", "10.203.5.4", "10.203.5.6"})
        QVERIFY2(apptest::addCameraAddress(ip), ip);
    StuckListener stuck("10.203.5.6", 80);
    QVERIFY(stuck.ok);
    const QJsonArray cameras{
        QJsonObject{{"serial", "UPG-A"}, {"address", "10.203.5.2"}, {"port", 80}},
        QJsonObject{
            {"serial", "UPG-B"}, {"address", "10.203.5.3"}, {"port", 80}, {"login", "refuse"}},
        QJsonObject{{"serial", "UPG-C"},
                    {"address", "10.203.5.4"},
                    {"port", 80},
                    {"upload_requires_cookie", true}},
        QJsonObject{{"serial", "UPG-D"}, {"address", "10.203.5.6"}, {"port", 8080}},
    };
    CamSim sim(cameras);
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u("固件")));
    const QString path = dir.path() + u("/固件/升级包.bin");
    const QByteArray firmware = writeFirmware(path, 300000);
    QVERIFY(!firmware.isEmpty());

    UpgradeDeviceWidget window;
    window.show();
    DeviceTableModel *model = window.deviceModel();
    QVERIFY2(apptest::waitFor([&] { return model->rowCount() == 4; }, 20000),
             qPrintable(QString::number(model->rowCount())));
    StatusRecorder recorder(model);

    // A cancelled dialog queues nothing and clears the path.
    window.onSelectAllDevice(true);
    QVERIFY(button(&window, "buttonUpgrade")->isEnabled());
    {
        FileDialogAnswerer cancel{QString()};
        button(&window, "buttonUpgrade")->click();
        QVERIFY(cancel.answered);
    }
    QVERIFY(window.currentFirmwarePath().isEmpty());
    for (int row = 0; row < 4; row++)
        QVERIFY(cell(model, row, 7).isEmpty());

    // The real choice. When the click returns, every row says "waiting": the
    // threads' status texts can only arrive through the event loop.
    {
        FileDialogAnswerer choose(path);
        button(&window, "buttonUpgrade")->click();
        QVERIFY(choose.answered);
        QVERIFY2(choose.complaints.isEmpty(), qPrintable(choose.complaints.join('|')));
    }
    QCOMPARE(window.currentFirmwarePath(), path);
    for (int row = 0; row < 4; row++)
        QCOMPARE(cell(model, row, 7), u(kWaiting));
    recorder.scan();

    const QStringList good{"UPG-A", "UPG-B", "UPG-C"};
    QVERIFY(apptest::waitFor(
        [&] {
            for (const QString &s : good)
                if (cell(model, model->findRow(s), 7) != u(kDone)) return false;
            return true;
        },
        20000));
    // The silent camera holds nobody back: it is still running when the
    // others are done.
    QCOMPARE(cell(model, model->findRow("UPG-D"), 7), u(kRunning));
    // Uploaded, then confirmed by the camera's new firmware version.
    const QStringList success{u(kWaiting), u(kRunning), u(kConfirming), u(kDone)};
    for (const QString &s : good)
        QCOMPARE(recorder.texts(s), success);

    // The search button keeps the row being upgraded (and its check) and
    // drops the others; they come back as they answer the new probe.
    button(&window, "buttonSearch")->click();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(cell(model, 0, 2), QString("UPG-D"));

    QVERIFY(apptest::waitFor([&] { return cell(model, model->findRow("UPG-D"), 7) == u(kFailed); },
                             20000));
    QCOMPARE(recorder.texts("UPG-D"), QStringList({u(kWaiting), u(kRunning), u(kFailed)}));

    // What the cameras received: the whole file under its Chinese name, the
    // login cookie with the upload, an upload also after a refused login.
    for (const QString &s : good) {
        QCOMPARE(readAll(sim.uploadDir() + "/" + s + ".bin"), firmware);
        const QJsonObject up = lastUpload(sim, s);
        QCOMPARE(up.value("filename").toString(), u("升级包.bin"));
        QCOMPARE(up.value("status").toInt(), 200);
        QCOMPARE(up.value("cookie_valid").toBool(), s != "UPG-B");
        QCOMPARE(up.value("cookie_present").toBool(), s != "UPG-B");
    }
    QVERIFY(!QFile::exists(sim.uploadDir() + "/UPG-D.bin"));

    // Each upgrade asked for a new probe: the cameras are back with the new
    // firmware version.
    QVERIFY(apptest::waitFor(
        [&] {
            if (model->rowCount() != 4) return false;
            for (const QString &s : good)
                if (model->findRow(s) < 0 || cell(model, model->findRow(s), 6) != u("升级包"))
                    return false;
            return true;
        },
        30000));
    QVERIFY(model->isChecked(model->findRow("UPG-D")));
}

void UpgradeTest::windowMayCloseWhileUploadsRun()
{
    REQUIRE_TEST_NETWORK();
    // Closing the window cancels an upload that waits on a camera that never
    // answers (the transfer's cancel callback ends the login and skips the
    // upload), instead of leaving the thread behind or waiting for its
    // time-outs.
    QVERIFY(apptest::addCameraAddress("10.203.5.7"));
    StuckListener stuck("10.203.5.7", 80);
    QVERIFY(stuck.ok);
    CamSim sim(
        QJsonArray{QJsonObject{{"serial", "UPG-E"}, {"address", "10.203.5.7"}, {"port", 8080}}});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QVERIFY(!writeFirmware(path, 1000).isEmpty());

    auto window = std::make_unique<UpgradeDeviceWidget>();
    DeviceTableModel *model = window->deviceModel();
    QVERIFY(apptest::waitFor([&] { return model->rowCount() == 1; }, 20000));
    window->onSelectAllDevice(true);
    StdoutCapture capture;
    {
        FileDialogAnswerer choose(path);
        button(window.get(), "buttonUpgrade")->click();
        QVERIFY(choose.answered);
    }
    QVERIFY(apptest::waitFor([&] { return cell(model, 0, 7) == u(kRunning); }, 5000));
    window.reset(); // returns once the upload thread has ended
    const QStringList out = capture.finish();
    QVERIFY2(out.contains("curl_http_post error : 42"), qPrintable(out.join('|'))); // aborted
    QVERIFY(out.contains("tiv_ipc_do_update cancelled"));
    QCOMPARE(countPath(sim, "UPG-E", "/api/sysConfig/uploadSystem"), 0);
}

// The login carries the credentials, URL-encoded; the standard output never
// shows the password.
void UpgradeTest::credentialsReachTheLoginOnly()
{
    std::string loginBody;
    testsrv::Server server([&](testsrv::Conn &c, int index) {
        const std::string req = c.read_request();
        if (index == 0) loginBody = req.substr(req.find("\r\n\r\n") + 4);
        c.send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}");
    });
    QVERIFY(server.ok());
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QVERIFY(!writeFirmware(path, 2000).isEmpty());
    const QByteArray host = QString("127.0.0.1:%1").arg(server.port()).toUtf8();
    const QByteArray file = QFile::encodeName(path);
    FIRMWARE_UPLOAD up = {host.constData(), file.constData(), "admin", "p@ss word&1",
                          nullptr,          nullptr,          0,       nullptr};
    StdoutCapture capture;
    QCOMPARE(firmware_upload_run(&up), 0);
    const QStringList out = capture.finish();
    server.stop();
    QCOMPARE(QString::fromStdString(loginBody), QString("uname2=admin&passwd2=p%40ss%20word%261"));
    QCOMPARE(out.value(1), QString("data: {uname2=admin&passwd2=******}"));
    QVERIFY(!out.join('\n').contains("p@ss"));
}

// At most the set number of uploads run at once; the rest wait in the queue.
void UpgradeTest::uploadsRunFourAtATime()
{
    StuckListener stuck("127.0.0.1");
    QVERIFY(stuck.ok);
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QVERIFY(!writeFirmware(path, 1000).isEmpty());
    DeviceManager manager; // not started: no discovery, only its model
    QList<std::shared_ptr<ONVIF_DEVICE>> devices;
    for (int i = 0; i < 7; i++) {
        std::shared_ptr<ONVIF_DEVICE> d = newDeviceRecord();
        snprintf(d->binfo.xaddr.host, sizeof(d->binfo.xaddr.host), "127.0.0.1:%d", stuck.port());
        snprintf(d->binfo.endpoint_address, sizeof(d->binfo.endpoint_address), "urn:uuid:%d", i);
        snprintf(d->device_information.serial_number, sizeof(d->device_information.serial_number),
                 "POOL%d", i);
        devices << d;
    }
    auto scheduler = std::make_unique<UpgradeScheduler>(&manager);
    QCOMPARE(scheduler->maxUploads(), UpgradeScheduler::kDefaultUploads);
    int started = 0, finished = 0, most = 0;
    QObject::connect(scheduler.get(), &UpgradeScheduler::uploadStarted, [&] {
        started++;
        most = std::max(most, started - finished);
    });
    QObject::connect(scheduler.get(), &UpgradeScheduler::uploadFinished, [&] { finished++; });
    StdoutCapture capture;
    scheduler->upgrade(devices, path);
    QVERIFY(apptest::waitFor([&] { return started == 4; }, 10000));
    QCOMPARE(scheduler->running(), 4);
    scheduler->cancelAll();
    QVERIFY(apptest::waitFor([&] { return finished == started; }, 10000));
    scheduler.reset();
    capture.finish();
    QCOMPARE(most, 4);
    QCOMPARE(started, 4); // the queued ones were dropped by the cancel
}

// A camera that comes back with the firmware version it had is "not
// confirmed", not a success.
void UpgradeTest::unchangedFirmwareIsNotConfirmed()
{
    REQUIRE_TEST_NETWORK();
    CamSim sim(QJsonArray{QJsonObject{{"serial", "UPG-F"},
                                      {"address", "10.203.5.2"},
                                      {"port", 80},
                                      {"upgrade_firmware", "V1.0.0"}}});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    QTemporaryDir dir;
    const QString path = dir.filePath("V9.bin");
    QVERIFY(!writeFirmware(path, 1000).isEmpty());

    UpgradeDeviceWidget window;
    window.upgradeScheduler()->setConfirmTimeout(1500);
    window.upgradeScheduler()->setRecheckInterval(200);
    DeviceTableModel *model = window.deviceModel();
    QVERIFY(apptest::waitFor([&] { return model->rowCount() == 1; }, 20000));
    StatusRecorder recorder(model);
    window.onSelectAllDevice(true);
    StdoutCapture capture;
    {
        FileDialogAnswerer choose(path);
        button(&window, "buttonUpgrade")->click();
        QVERIFY(choose.answered);
    }
    // Standard output is captured: the wait's result is checked after it is back.
    const bool notConfirmed =
        apptest::waitFor([&] { return cell(model, 0, 7) == u(kNotConfirmed); }, 20000);
    capture.finish();
    QVERIFY(notConfirmed);
    QCOMPARE(recorder.texts("UPG-F"),
             QStringList({u(kWaiting), u(kRunning), u(kConfirming), u(kNotConfirmed)}));
    QCOMPARE(model->upgradeState(0), DeviceTableModel::UpgradeState::NotConfirmed);
    // It was asked again while the row waited.
    QVERIFY(sim.requestsFor("GetDeviceInformation", "UPG-F").size() >= 2);
}

int main(int argc, char **argv)
{
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf-8"));
    UpgradeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_upgrade.moc"
