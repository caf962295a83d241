// The main window against simulated cameras: start-up state, the About box,
// rows from real discovery (multicast inside a private network namespace),
// re-probes, address changes, Byes, sorting and filtering, and the check
// boxes that drive the two action buttons.
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <cstring>
#include <memory>

#include "app/about_dialog.h"
#include "app/credentials_dialog.h"
#include "app/device_head_view.h"
#include "app/upgrade_device_widget.h"
#include "app_test_support.h"
#include "tests/support/qt_log_capture.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_tds.h"

using apptest::CamSim;

namespace
{

const QString BALL = QString::fromUtf8("球机");
const QString BULLET = QString::fromUtf8("枪机");
const QString RECORDER = QString::fromUtf8("录像机");

QJsonObject camera(const QString &serial, const QString &model, const QString &firmware)
{
    QJsonObject c;
    c["serial"] = serial;
    c["model"] = model;
    c["firmware"] = firmware;
    return c;
}

QPushButton *button(QWidget *w, const char *name)
{
    return w->findChild<QPushButton *>(name);
}
QTableView *table(QWidget *w)
{
    return w->findChild<QTableView *>("tableViewOnVif");
}

// What the view shows at (row, column), rows as shown (sorted, filtered).
QString shown(UpgradeDeviceWidget *w, int row, int column)
{
    return apptest::cell(w->proxyModel(), row, column);
}

// The device model's text of a camera's row.
QString cell(UpgradeDeviceWidget *w, int row, int column)
{
    return apptest::cell(w->deviceModel(), row, column);
}

int rowOf(UpgradeDeviceWidget *w, const QString &serial)
{
    return w->deviceModel()->findRow(serial);
}

bool checkedShown(UpgradeDeviceWidget *w, int row)
{
    return w->proxyModel()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

bool actionsEnabled(UpgradeDeviceWidget *w)
{
    return button(w, "buttonUpgrade")->isEnabled() && button(w, "buttonBatchEditIp")->isEnabled();
}

bool actionsDisabled(UpgradeDeviceWidget *w)
{
    return !button(w, "buttonUpgrade")->isEnabled() && !button(w, "buttonBatchEditIp")->isEnabled();
}

// A user's click on a check box (the view is shown, so it is on screen).
void clickBox(QCheckBox *box)
{
    QVERIFY(box);
    QVERIFY(box->isVisible());
    // On the indicator: a check box without text reacts only there.
    QStyleOptionButton option;
    option.initFrom(box);
    QRect hit = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, hit.center());
}

void clickRow(UpgradeDeviceWidget *w, int shownRow)
{
    QVERIFY(apptest::clickRowCheck(table(w), shownRow));
}

std::unique_ptr<UpgradeDeviceWidget> showWindow()
{
    auto w = std::make_unique<UpgradeDeviceWidget>();
    w->setWindowTitle("corvanta ipc tool");
    w->show();
    return w;
}

// GetCapabilities requests that camera `serial` has answered so far.
int capabilityQueries(const CamSim &sim, const QString &serial)
{
    return sim.requestsFor("GetCapabilities", serial).size();
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void aboutDialog();
    void startupState();
    void rowsFromDiscovery();
    void checkBoxesDriveButtons();
    void sortAndFilter();
    void addressChangeAndBye();
};

void WindowTest::initTestCase()
{
    qtlog::install();
}

// The build's commit is the source tree's when it was built from a
// repository; OK ends exec with Accepted.
void WindowTest::aboutDialog()
{
    AboutDialog dialog;
    const QString commit = dialog.findChild<QLabel *>("labelCommitID")->text();
    QVERIFY2(QRegularExpression("^commit id:[0-9a-f]{40}$").match(commit).hasMatch(),
             qPrintable(commit));
    QProcess git;
    git.start("git", {"-C", SOURCE_DIR, "rev-parse", "HEAD"});
    if (git.waitForFinished(5000) && git.exitCode() == 0)
        QVERIFY2(commit != "commit id:" + QString(40, '0'),
                 "the build found no commit although the sources are a repository");
    QTimer::singleShot(0, &dialog, [&] { dialog.findChild<QPushButton *>("buttonOK")->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
}

void WindowTest::startupState()
{
    REQUIRE_TEST_NETWORK();
    auto w = showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(w->deviceModel()->rowCount(), 0);
    QVERIFY(actionsDisabled(w.get()));

    // Select-all on an empty table leaves the buttons off.
    auto *header = qobject_cast<DeviceHeadView *>(table(w.get())->horizontalHeader());
    QVERIFY(header);
    clickBox(header->checkBox());
    QVERIFY(header->checkBox()->isChecked());
    QVERIFY(actionsDisabled(w.get()));

    // The table follows the window; a column width and the window's size
    // come back in the next run.
    const int tableWidth = table(w.get())->width();
    w->resize(w->width() + 200, w->height() + 100);
    QTRY_COMPARE_WITH_TIMEOUT(table(w.get())->width(), tableWidth + 200, 5000);
    table(w.get())->horizontalHeader()->resizeSection(2, 173);
    const QSize size = w->size();
    w.reset();
    w = showWindow();
    QCOMPARE(w->size(), size);
    QCOMPARE(table(w.get())->columnWidth(2), 173);

    // The About button opens the dialog modally; OK closes it.
    bool sawAbout = false;
    QTimer::singleShot(200, w.get(), [&] {
        auto *about = qobject_cast<AboutDialog *>(QApplication::activeModalWidget());
        sawAbout = about != nullptr;
        if (about) about->findChild<QPushButton *>("buttonOK")->click();
    });
    QTest::mouseClick(button(w.get(), "buttonAbout"), Qt::LeftButton);
    QVERIFY(sawAbout);
    QVERIFY(!QApplication::activeModalWidget());
}

void WindowTest::rowsFromDiscovery()
{
    REQUIRE_TEST_NETWORK();
    QJsonObject ptz = camera("CAMW0001", "CS-P200", "V1.2.3");
    ptz["ptz"] = true;
    QJsonObject bullet = camera("CAMW0002", "CS-B100", "V1.0.7");
    QJsonObject nvr = camera("CAMW0003", "NVR-8", "V3.1.0");
    nvr["device_type"] = "NetworkVideoStorage";
    QJsonObject broken = camera("CAMW0004", "CS-B100", "V1.0.0");
    broken["fail_ops"] = QJsonArray{"GetSystemDateAndTime"};
    CamSim sim(QJsonArray{ptz, bullet, nvr, broken});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    const QList<apptest::CamEntry> cams = sim.cameras();
    QCOMPARE(cams.size(), 4);

    auto w = showWindow();
    QSignalSpy added(w->manager(), &DeviceManager::probDevice);
    QSignalSpy changed(w->manager(), &DeviceManager::deviceInfoChange);
    QTRY_COMPARE_WITH_TIMEOUT(w->deviceModel()->rowCount(), 3, 20000);

    struct Expect {
        QString serial, form, model, firmware;
    } expect[] = {{"CAMW0001", BALL, "CS-P200", "V1.2.3"},
                  {"CAMW0002", BULLET, "CS-B100", "V1.0.7"},
                  {"CAMW0003", RECORDER, "NVR-8", "V3.1.0"}};
    for (const Expect &e : expect) {
        int r = rowOf(w.get(), e.serial);
        QVERIFY2(r >= 0, qPrintable(e.serial));
        QCOMPARE(cell(w.get(), r, 1), QString(apptest::CAMERA_IP));
        QCOMPARE(cell(w.get(), r, 3), QString(apptest::CAMERA_IP));
        QCOMPARE(cell(w.get(), r, 4), e.form);
        QCOMPARE(cell(w.get(), r, 5), e.model);
        QCOMPARE(cell(w.get(), r, 6), e.firmware);
        QCOMPARE(cell(w.get(), r, 7), QString());
        QVERIFY(!w->deviceModel()->isChecked(r));
    }
    QVERIFY(actionsDisabled(w.get()));

    // The camera whose clock query fails never gets a row, and says why.
    QTRY_VERIFY_WITH_TIMEOUT(!sim.requestsFor("GetSystemDateAndTime", "CAMW0004").isEmpty(), 10000);
    const QString failLine = "get system data and time fail, endpoint reference:";
    QTRY_VERIFY_WITH_TIMEOUT(!qtlog::lines().filter(failLine).isEmpty(), 10000);
    QVERIFY(sim.requestsFor("GetDeviceInformation", "CAMW0004").isEmpty());
    QVERIFY(rowOf(w.get(), "CAMW0004") < 0);

    // A re-probe: every camera answers and is queried again, but no second row
    // appears and, with nothing changed, no change is signalled.
    QMap<QString, int> before;
    for (const Expect &e : expect)
        before[e.serial] = capabilityQueries(sim, e.serial);
    const int addedBefore = added.count(); // the spy may have missed the very first one
    QVERIFY(addedBefore >= 1 && addedBefore <= 3);
    w->manager()->searchDevice();
    for (const Expect &e : expect)
        QTRY_VERIFY_WITH_TIMEOUT(capabilityQueries(sim, e.serial) > before[e.serial], 15000);
    QVERIFY(apptest::waitSettled(w->manager(), 0, 15000));
    QCOMPARE(w->deviceModel()->rowCount(), 3);
    QCOMPARE(added.count(), addedBefore);
    QCOMPARE(changed.count(), 0);
}

void WindowTest::checkBoxesDriveButtons()
{
    REQUIRE_TEST_NETWORK();
    CamSim sim(QJsonArray{camera("CAMC0001", "M1", "V1"), camera("CAMC0002", "M2", "V2")});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    auto w = showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE_WITH_TIMEOUT(w->deviceModel()->rowCount(), 2, 20000);
    QVERIFY(actionsDisabled(w.get()));

    // One row on and off again, by clicks on its check box in the view.
    clickRow(w.get(), 0);
    QVERIFY(checkedShown(w.get(), 0));
    QVERIFY(actionsEnabled(w.get()));
    QCOMPARE(int(w->selectedDevices().size()), 1);
    clickRow(w.get(), 0);
    QVERIFY(actionsDisabled(w.get()));
    QVERIFY(w->selectedDevices().empty());

    // The header's box checks and unchecks every row.
    auto *header = qobject_cast<DeviceHeadView *>(table(w.get())->horizontalHeader());
    QVERIFY(header);
    clickBox(header->checkBox());
    QVERIFY(checkedShown(w.get(), 0) && checkedShown(w.get(), 1));
    QVERIFY(actionsEnabled(w.get()));
    std::list<std::shared_ptr<ONVIF_DEVICE>> selected = w->selectedDevices();
    QCOMPARE(int(selected.size()), 2);
    QCOMPARE(QString(selected.front()->device_information.serial_number), shown(w.get(), 0, 2));
    QCOMPARE(QString(selected.back()->device_information.serial_number), shown(w.get(), 1, 2));

    // Unchecking rows one by one: on while one is left, off after the last;
    // the header's box keeps what the user last clicked.
    clickRow(w.get(), 0);
    QVERIFY(actionsEnabled(w.get()));
    clickRow(w.get(), 1);
    QVERIFY(actionsDisabled(w.get()));
    QVERIFY(header->checkBox()->isChecked());

    // Select-all, then a camera that shows up later comes in unchecked.
    clickBox(header->checkBox()); // off
    clickBox(header->checkBox()); // on: both rows checked
    QVERIFY(actionsEnabled(w.get()));
    CamSim late(QJsonArray{camera("CAMC0003", "M3", "V3")});
    QVERIFY2(late.start(), qPrintable(late.errorText()));
    w->manager()->searchDevice();
    QTRY_COMPARE_WITH_TIMEOUT(w->deviceModel()->rowCount(), 3, 20000);
    int r = rowOf(w.get(), "CAMC0003");
    QVERIFY(r >= 0);
    QVERIFY(!w->deviceModel()->isChecked(r));
    QVERIFY(header->checkBox()->isChecked());
    QVERIFY(actionsEnabled(w.get()));
    clickBox(header->checkBox()); // off: everything unchecked
    QVERIFY(actionsDisabled(w.get()));
    for (int i = 0; i < 3; i++)
        QVERIFY(!checkedShown(w.get(), i));
}

// Header clicks sort, the filter box narrows the rows; select-all and the
// buttons only see what is shown.
void WindowTest::sortAndFilter()
{
    REQUIRE_TEST_NETWORK();
    for (const char *ip : {"10.203.5.30", "10.203.5.9", "10.203.5.100"})
        QVERIFY2(apptest::addCameraAddress(ip), ip);
    auto at = [](const char *serial, const char *model, const char *fw, const char *ip) {
        QJsonObject c = camera(serial, model, fw);
        c["address"] = ip;
        return c;
    };
    CamSim sim(QJsonArray{at("SRT-B", "CS-B100", "V2.0.1", "10.203.5.30"),
                          at("SRT-C", "CS-P200", "V1.9.0", "10.203.5.9"),
                          at("SRT-A", "NVR-16", "V3.0.0", "10.203.5.100")});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    auto w = showWindow();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE_WITH_TIMEOUT(w->deviceModel()->rowCount(), 3, 20000);
    QHeaderView *header = table(w.get())->horizontalHeader();
    auto column = [&](int c) {
        QStringList out;
        for (int r = 0; r < w->proxyModel()->rowCount(); r++)
            out << shown(w.get(), r, c);
        return out;
    };

    // A click on a header sorts by it (a second one if it sorted downwards).
    auto sortBy = [&](int c) {
        const QPoint p(header->sectionViewportPosition(c) + 10, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        if (header->sortIndicatorOrder() != Qt::AscendingOrder)
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    };
    // The IP column sorts by address value: .9 < .30 < .100.
    const struct {
        int column;
        QStringList serials;
    } sorts[] = {{2, {"SRT-A", "SRT-B", "SRT-C"}},
                 {1, {"SRT-C", "SRT-B", "SRT-A"}},
                 {6, {"SRT-C", "SRT-B", "SRT-A"}},
                 {5, {"SRT-B", "SRT-C", "SRT-A"}}};
    for (const auto &c : sorts) {
        sortBy(c.column);
        QCOMPARE(column(2), c.serials);
    }

    // The filter matches IP, serial, model or firmware, anywhere, any case.
    QLineEdit *filter = w->findChild<QLineEdit *>("editFilter");
    QVERIFY(filter);
    const struct FilterCase {
        QString text;
        QStringList serials; // sorted by serial
    } filters[] = {{"10.203.5.9", {"SRT-C"}}, {".100", {"SRT-A"}},
                   {"srt-b", {"SRT-B"}},      {"cs-", {"SRT-B", "SRT-C"}},
                   {"V3.", {"SRT-A"}},        {"lab", {}},
                   {"  p200 ", {"SRT-C"}},    {"", {"SRT-A", "SRT-B", "SRT-C"}}};
    sortBy(2);
    for (const FilterCase &c : filters) {
        filter->clear();
        QTest::keyClicks(filter, c.text);
        QCOMPARE(column(2), c.serials);
    }

    // Select-all with a filter checks only the rows shown; the hidden ones
    // stay out of the selection also when the filter is cleared again.
    filter->clear();
    QTest::keyClicks(filter, "cs-");
    auto *head = qobject_cast<DeviceHeadView *>(header);
    clickBox(head->checkBox());
    QVERIFY(actionsEnabled(w.get()));
    QCOMPARE(int(w->selectedDevices().size()), 2);
    QVERIFY(!w->deviceModel()->isChecked(rowOf(w.get(), "SRT-A")));
    filter->clear();
    QTest::keyClicks(filter, "NVR");
    QVERIFY(actionsDisabled(w.get())); // the checked rows are hidden
    QVERIFY(w->selectedDevices().empty());
    filter->clear();
    QCOMPARE(int(w->selectedDevices().size()), 2);
}

void WindowTest::addressChangeAndBye()
{
    REQUIRE_TEST_NETWORK();
    const QString moved = "10.203.5.100";
    QVERIFY2(apptest::addCameraAddress(moved), "could not add the camera's new address");
    CamSim sim(QJsonArray{camera("CAMM0001", "M1", "V1"), camera("CAMM0002", "M2", "V2")});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    auto w = showWindow();
    QTRY_COMPARE_WITH_TIMEOUT(w->deviceModel()->rowCount(), 2, 20000);
    QSignalSpy changed(w->manager(), &DeviceManager::deviceInfoChange);
    QSignalSpy offline(w->manager(), &DeviceManager::deviceOffline);

    // Move the first camera through its own device service, as a batch IP
    // change would; it announces itself with a Hello at the new address.
    std::shared_ptr<ONVIF_DEVICE> published = w->manager()->getDevice("CAMM0001");
    QVERIFY(published);
    auto dev = std::make_unique<ONVIF_DEVICE>();
    memset(dev.get(), 0, sizeof(ONVIF_DEVICE));
    dev->binfo = published->binfo;
    NetworkInterfaceList *list = nullptr;
    QVERIFY(onvif_tds_GetNetworkInterfaces(dev.get(), nullptr, &list));
    QVERIFY(list);
    ONVIF_NETWORK_INTERFACE req = list->NetworkInterface;
    onvif_free_NetworkInterfaces(&list);
    snprintf(req.ipv4_address, sizeof(req.ipv4_address), "%s", qPrintable(moved));
    req.dhcp = 0;
    req.prefix_length = 24;
    ONVIF_SET_NETWORK_INTERFACES_RES res;
    memset(&res, 0, sizeof(res));
    QVERIFY(onvif_tds_SetNetworkInterfaces(dev.get(), &req, &res));

    QTRY_COMPARE_WITH_TIMEOUT(cell(w.get(), rowOf(w.get(), "CAMM0001"), 1), moved, 20000);
    const int r = rowOf(w.get(), "CAMM0001");
    QCOMPARE(cell(w.get(), r, 3), QString(apptest::CAMERA_IP)); // the name column stays
    QCOMPARE(cell(w.get(), r, 5), QString("M1"));
    QCOMPARE(cell(w.get(), r, 6), QString("V1"));
    QCOMPARE(w->deviceModel()->rowCount(), 2);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(changed.first().first().toString(), QString("CAMM0001"));

    // Stopping the simulator sends a Bye per camera: both rows go.
    clickRow(w.get(), 0);
    QVERIFY(actionsEnabled(w.get()));
    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(w->deviceModel()->rowCount(), 0, 10000);
    QCOMPARE(offline.count(), 2);
    QVERIFY(actionsDisabled(w.get()));
    QVERIFY(w->manager()->getDevice("CAMM0001") == nullptr);
}

// Writes the picture of the tool listing simulated cameras, one of which
// waits for credentials, with the credentials dialog open (docs/screenshot.png):
// CORVANTA_SCREENSHOT=docs/screenshot.png tests/app/app_test_window
int writeScreenshot(const QString &file)
{
    QString why;
    if (!apptest::enterTestNetwork(&why)) {
        qWarning("%s", qPrintable(why));
        return 1;
    }
    if (!apptest::addCameraAddress("10.203.5.20")) return 1;
    QJsonObject a = camera("CV24A0017", "CS-P200", "V2.3.1");
    a["ptz"] = true;
    QJsonObject b = camera("CV24B0342", "CS-B100", "V2.1.0");
    QJsonObject c = camera("CV24B0343", "CS-B100", "V2.0.8");
    QJsonObject d = camera("CV23N0005", "NVR-16", "V3.1.0");
    d["device_type"] = "NetworkVideoStorage";
    QJsonObject e = camera("CV24B0350", "CS-B100", "V2.1.0");
    e["auth"] = "wsse";
    e["password"] = "site-secret";
    e["address"] = "10.203.5.20";
    CamSim sim(QJsonArray{a, b, c, d, e});
    if (!sim.start()) {
        qWarning("%s", qPrintable(sim.errorText()));
        return 1;
    }
    auto w = showWindow();
    w->resize(1000, 560);
    if (!apptest::waitFor([&] { return w->deviceModel()->rowCount() == 5; }, 20000)) return 1;
    w->proxyModel()->sort(2);
    QVector<int> checked;
    for (int r = 0; r < 2; r++)
        checked << w->proxyModel()->mapToSource(w->proxyModel()->index(r, 0)).row();
    w->deviceModel()->setChecked(checked, true);
    w->updateActionButtons();

    CredentialsDialog dialog(QString(), Credential{"admin", "********"}, false);
    dialog.show();
    apptest::waitFor([] { return false; }, 300);
    QImage picture = w->grab().toImage();
    const QImage box = dialog.grab().toImage();
    QPainter painter(&picture);
    const QPoint at(picture.width() - box.width() - 24, picture.height() - box.height() - 24);
    painter.fillRect(QRect(at, box.size()).adjusted(-2, -2, 2, 2), Qt::darkGray);
    painter.drawImage(at, box);
    painter.end();
    if (!picture.save(file)) return 1;
    qInfo("wrote %s", qPrintable(file));
    return 0;
}

// The offscreen platform unless the caller chose another one.
int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsEmpty("CORVANTA_SCREENSHOT"))
        return writeScreenshot(qEnvironmentVariable("CORVANTA_SCREENSHOT"));
    WindowTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_window.moc"
