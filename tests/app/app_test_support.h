// Shared support of the GUI tests.
//
// - enterTestNetwork: moves the whole test process into a new network
//   namespace with a veth pair: va 10.203.5.1/24 (the tool's side) and
//   vb 10.203.5.2/24 (the cameras' side), lo up, 224.0.0.0/4 routed on va.
//   Root only; REQUIRE_TEST_NETWORK() skips the test with the reason otherwise.
//   addCameraAddress gives vb one more address (for cameras that move).
// - CamSim: one camsim process (JSON config, ready file, request log, upload
//   directory in a temporary folder); stopped with SIGTERM in its destructor.
// - MessageBoxCloser: closes every message box that shows up, by its default
//   button, and records its title and text.
// - Every test program that links this keeps the tool's settings (QSettings)
//   in a temporary folder of its own, never in the user's configuration.
#ifndef TESTS_APP_APP_TEST_SUPPORT_H
#define TESTS_APP_APP_TEST_SUPPORT_H

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class DeviceManager;
class DeviceTableModel;
class QAbstractItemModel;
class QDialog;
class QTableView;

namespace apptest
{

extern const char TOOL_IP[];   // 10.203.5.1 on va
extern const char CAMERA_IP[]; // 10.203.5.2 on vb

// Once per process; later calls return the first outcome. On failure *reason
// says why (not root, no unshare, an ip command failed).
bool enterTestNetwork(QString *reason);

// "ip addr add <ip>/<prefix> dev vb"; true when the address is there afterwards.
bool addCameraAddress(const QString &ip, int prefix = 24);

// Skips the calling test function unless the test network is there.
#define REQUIRE_TEST_NETWORK()                                                                     \
    do {                                                                                           \
        QString why_;                                                                              \
        if (!apptest::enterTestNetwork(&why_)) QSKIP(qPrintable(why_));                            \
    } while (0)

// One line of the ready file.
struct CamEntry {
    QString serial;
    QString address;
    int port = 0;
};

class CamSim
{
  public:
    // cameras: the "cameras" array of the config; defaults: its "defaults".
    explicit CamSim(const QJsonArray &cameras, const QJsonObject &defaults = QJsonObject());
    ~CamSim(); // SIGTERM, at most 5 s, then SIGKILL
    CamSim(const CamSim &) = delete;
    CamSim &operator=(const CamSim &) = delete;

    // Starts camsim with --address/--discovery-address CAMERA_IP (unless
    // overridden by extraArgs), --http-port 0, and waits at most timeoutMs
    // for the ready file. false (with errorText()) when it did not come up.
    bool start(const QStringList &extraArgs = QStringList(), int timeoutMs = 15000);
    // A command prefix camsim is started under (e.g. nsenter into another
    // network namespace); set before start.
    void setLauncher(const QStringList &prefix) { launcher = prefix; }
    void stop();

    QString uploadDir() const { return tempDir.path() + "/uploads"; }
    QString requestLogPath() const { return tempDir.path() + "/requests.jsonl"; }
    QString errorText() const; // camsim's standard error and what went wrong

    // Ready-file lines (re-read on every call).
    QList<CamEntry> cameras() const;
    // Request-log lines as JSON objects (re-read on every call).
    QList<QJsonObject> requests() const;
    // Requests whose "operation" is op, optionally for one camera serial.
    QList<QJsonObject> requestsFor(const QString &op, const QString &serial = QString()) const;
    // SOAP requests of a camera (all when serial is empty) that it refused
    // for their credentials.
    int refused(const QString &serial = QString()) const;
    // SOAP requests of a camera (or all).
    int soapRequests(const QString &serial = QString()) const;

  private:
    QJsonArray cameraList;
    QJsonObject defaultValues;
    QTemporaryDir tempDir;
    QStringList launcher;
    std::unique_ptr<QProcess> process;
    QString lastError;
};

// Polls QApplication::activeModalWidget() every 50 ms; a QMessageBox found
// there is closed by its default button (or its escape button), and
// "title|text" is recorded. Other modal dialogs are left to the test.
class MessageBoxCloser : public QObject
{
    Q_OBJECT
  public:
    explicit MessageBoxCloser(QObject *parent = nullptr);
    QStringList texts() const { return seen; } // "title|text", in order
    void clear() { seen.clear(); }

  private slots:
    void poll();

  private:
    QTimer timer;
    QStringList seen;
};

// Runs the event loop until pred() is true, at most timeoutMs; pred's last value.
bool waitFor(const std::function<bool()> &pred, int timeoutMs);

// ---- the device table -------------------------------------------------------

// The text a model shows at (row, column); "<no row>" past its rows.
QString cell(const QAbstractItemModel *model, int row, int column);
// A user's click on the check box of the view's row `row` (as the view shows it).
bool clickRowCheck(QTableView *view, int row);

// Waits until the manager has taken at least `sightings` discovery answers
// and has no query queued or under way.
bool waitSettled(DeviceManager *manager, uint64_t sightings, int timeoutMs);

// Calls fn with the first visible top-level dialog of that object name as
// soon as one shows (polled every 20 ms, at most about 10 s, then given up).
void answerDialog(const QString &objectName, const std::function<void(QDialog *)> &fn);

} // namespace apptest

#endif
