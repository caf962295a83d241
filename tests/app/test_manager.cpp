// The device manager against camsim cameras found by real discovery in a
// private network namespace: how often a device is queried (once per search,
// not once per answer), silent cameras that hold a query worker each but
// never the table, and a window that closes while a query waits on a camera
// that never answers.
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QtTest>

#include <algorithm>
#include <memory>

#include "app/device_manager.h"
#include "app/upgrade_device_widget.h"
#include "app_test_support.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_trans.h"

using apptest::CamSim;

namespace
{

// Probe messages camsim has answered so far.
int probesAnswered(const CamSim &sim)
{
    int n = 0;
    for (const QJsonObject &r : sim.requests())
        if (r.value("event").toString() == "probe" && r.value("matched").toInt() > 0) n++;
    return n;
}

// Waits until every ProbeMatch that camsim's probes so far produce (one per
// camera per probe) has been taken and handled by the manager.
bool settle(DeviceManager *m, const CamSim &sim, int cameras)
{
    return apptest::waitSettled(m, (uint64_t)probesAnswered(sim) * cameras, 20000);
}

// The query each camera got: GetSystemDateAndTime, GetDeviceInformation, GetCapabilities.
const int kQuery = 3;

// Silent cameras used by the tests below; "answer": "never" reads a request
// and never answers it.
QJsonObject silent(const QString &serial)
{
    return QJsonObject{{"serial", serial}, {"answer", "never"}};
}

} // namespace

class ManagerTest : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void oneQueryPerDevicePerSearch();
    void silentCamerasHoldOnlyAWorkerEach();
    void stalledQueriesStayWithinThePoolsBound();
    void closingDuringASilentQueryReturnsPromptly();
};

void ManagerTest::initTestCase()
{
    REQUIRE_TEST_NETWORK();
}

// Every camera answers every Probe (two per round, on each discovery socket
// that reaches it), yet it is queried once per search; a plain re-probe
// queries nobody already known.
void ManagerTest::oneQueryPerDevicePerSearch()
{
    QJsonArray cams;
    for (int i = 1; i <= 4; i++)
        cams.append(QJsonObject{{"serial", QString("MGRQ%1").arg(i, 4, 10, QChar('0'))}});
    CamSim sim(cams);
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    DeviceManager manager;
    manager.start();
    QVERIFY(apptest::waitFor([&] { return manager.model()->rowCount() == 4; }, 20000));

    struct Step {
        const char *what;
        std::function<void()> act;
        int queries; // per camera, in all so far
    } steps[] = {
        {"first search", [] {}, kQuery},
        {"re-probe", [&] { manager.probe(); }, kQuery},
        {"search again", [&] { manager.searchDevice(); }, 2 * kQuery},
        {"re-probe after it", [&] { manager.probe(); }, 2 * kQuery},
    };
    for (size_t k = 0; k < sizeof(steps) / sizeof(steps[0]); k++) {
        const Step &step = steps[k];
        const int before = probesAnswered(sim);
        step.act();
        if (k > 0)
            QVERIFY2(apptest::waitFor([&] { return probesAnswered(sim) > before; }, 10000),
                     step.what);
        // Twice: probes from the other discovery sockets may come a little later.
        QVERIFY2(settle(&manager, sim, 4) && settle(&manager, sim, 4), step.what);
        for (const apptest::CamEntry &cam : sim.cameras())
            QVERIFY2(sim.soapRequests(cam.serial) == step.queries,
                     qPrintable(QString("%1: %2 has %3 requests")
                                    .arg(step.what, cam.serial)
                                    .arg(sim.soapRequests(cam.serial))));
    }
    QCOMPARE(manager.model()->rowCount(), 4);
}

// 50 cameras of which 5 answer discovery but never a SOAP request: all the
// others are listed before the first silent camera's time-out could have
// run out twice, and each silent camera is asked once at a time.
void ManagerTest::silentCamerasHoldOnlyAWorkerEach()
{
    QJsonArray cams;
    QStringList silentSerials;
    for (int i = 1; i <= 50; i++) {
        const QString serial = QString("MGRS%1").arg(i, 4, 10, QChar('0'));
        if (i % 10 == 5) {
            cams.append(silent(serial));
            silentSerials << serial;
        } else {
            cams.append(QJsonObject{{"serial", serial}});
        }
    }
    CamSim sim(cams);
    QVERIFY2(sim.start({"--probe-delay-ms", "500"}), qPrintable(sim.errorText()));
    DeviceManager manager;
    QCOMPARE(manager.queryWorkers(), DeviceManager::kDefaultQueryWorkers);
    QElapsedTimer clock;
    clock.start();
    manager.start();
    const bool listed = apptest::waitFor([&] { return manager.model()->rowCount() == 45; },
                                         2 * ONVIF_TRANS_TIMEOUT);
    const qint64 took = clock.elapsed();
    QVERIFY2(
        listed,
        qPrintable(
            QString("%1 of 45 listed after %2 ms").arg(manager.model()->rowCount()).arg(took)));
    // Each silent camera is asked (its answers to discovery may come up to
    // half a second late) and, while that query waits, not asked again
    // however often it answers discovery.
    for (const QString &s : silentSerials) {
        QVERIFY(apptest::waitFor(
            [&] { return !sim.requestsFor("GetSystemDateAndTime", s).isEmpty(); }, 5000));
        QVERIFY(manager.model()->findRow(s) < 0);
    }
    // Every answer to discovery so far has been taken; only the five silent
    // queries are under way.
    const uint64_t answers = (uint64_t)probesAnswered(sim) * 50;
    QVERIFY(apptest::waitFor(
        [&] {
            const DeviceRegistry::Load load =
                manager.registry()->load(std::chrono::milliseconds(0));
            return manager.registry()->sightingCount() >= answers && load.queued == 0 &&
                   load.running == silentSerials.size();
        },
        10000));
    for (const QString &s : silentSerials)
        QCOMPARE(sim.requestsFor("GetSystemDateAndTime", s).size(), 1);
    manager.stop();
}

// Queries stalled on cameras that never answer free their worker for the
// queue, but two workers run at most eight threads (four each): the ninth
// silent camera is asked only once one of the first eight queries has run
// into its time-out. (The times are the cameras' own log entries.)
void ManagerTest::stalledQueriesStayWithinThePoolsBound()
{
    QJsonArray cams;
    for (int i = 1; i <= 12; i++)
        cams.append(silent(QString("MGRB%1").arg(i, 4, 10, QChar('0'))));
    CamSim sim(cams);
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    DeviceManager manager;
    manager.setQueryWorkers(2);
    manager.start();
    auto asked = [&] {
        QList<QDateTime> times;
        for (const QJsonObject &r : sim.requestsFor("GetSystemDateAndTime"))
            times << QDateTime::fromString(r.value("time").toString(), Qt::ISODateWithMs);
        std::sort(times.begin(), times.end());
        return times;
    };
    QVERIFY(apptest::waitFor([&] { return asked().size() >= 9; }, 3 * ONVIF_TRANS_TIMEOUT));
    const QList<QDateTime> times = asked();
    const qint64 gap = times[0].msecsTo(times[8]);
    QVERIFY2(gap >= ONVIF_TRANS_TIMEOUT * 3 / 4,
             qPrintable(QString("the ninth camera was asked %1 ms after the first").arg(gap)));
    manager.stop();
}

// The window goes while a query waits on a camera that never answers: it
// does not wait for the time-out.
void ManagerTest::closingDuringASilentQueryReturnsPromptly()
{
    CamSim sim(QJsonArray{silent("MGRC0001"), QJsonObject{{"serial", "MGRC0002"}}});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    auto window = std::make_unique<UpgradeDeviceWidget>();
    window->show();
    QVERIFY(apptest::waitFor([&] { return window->deviceModel()->rowCount() == 1; }, 20000));
    QVERIFY(apptest::waitFor(
        [&] { return !sim.requestsFor("GetSystemDateAndTime", "MGRC0001").isEmpty(); }, 20000));
    QVERIFY(window->manager()->registry()->busyCount() > 0); // the silent query is under way
    QElapsedTimer clock;
    clock.start();
    window.reset();
    const qint64 took = clock.elapsed();
    QVERIFY2(took < ONVIF_TRANS_TIMEOUT / 2, qPrintable(QString::number(took)));
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ManagerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_manager.moc"
