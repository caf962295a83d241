// Credentials: the dialog's checks, the "remember" path without a desktop
// secret store (the test process points D-Bus at nothing, so no keyring is
// ever touched), and end to end against camsim cameras that want WS-Security:
// a "需要认证" row instead of nothing, no refused request repeated, the data
// once credentials are entered (for all cameras, or for one from its row's
// context menu), and the same credentials for batch IP and the upgrade login.
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "app/credential_store.h"
#include "app/credentials_dialog.h"
#include "app/upgrade_device_widget.h"
#include "app_test_support.h"

using apptest::CamSim;
using apptest::MessageBoxCloser;

namespace
{

const QString AUTH = QString::fromUtf8("需要认证");

QJsonObject wsseCamera(const QString &serial, const QString &password)
{
    return QJsonObject{{"serial", serial},
                       {"auth", "wsse"},
                       {"user", "admin"},
                       {"password", password},
                       {"refusal", 400}};
}

// Fills the credentials dialog when it shows and presses OK.
void enterCredentials(const QString &user, const QString &password, bool remember = false)
{
    apptest::answerDialog("CredentialsDialog", [=](QDialog *d) {
        d->findChild<QLineEdit *>("editUser")->setText(user);
        d->findChild<QLineEdit *>("editPassword")->setText(password);
        d->findChild<QCheckBox *>("checkRemember")->setChecked(remember);
        d->findChild<QPushButton *>("buttonOK")->click();
        if (d->isVisible()) d->reject(); // refused input: never hang
    });
}

// Right-clicks a row of the view and picks "Credentials…" from its menu.
void cameraCredentialsFromMenu(QTableView *view, int shownRow)
{
    auto *timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries]() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu) {
            if (++*tries > 250) timer->deleteLater();
            return;
        }
        timer->stop();
        timer->deleteLater();
        QAction *action = menu->findChild<QAction *>("actionCameraCredentials");
        if (!action) {
            menu->close();
            return;
        }
        menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    timer->start(20);
    const QRect cell = view->visualRect(view->model()->index(shownRow, 1));
    QContextMenuEvent event(QContextMenuEvent::Mouse, cell.center(),
                            view->viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(view->viewport(), &event);
}

} // namespace

class CredentialsTest : public QObject
{
    Q_OBJECT
  private slots:
    void dialogTakesWhatFitsTheRecord_data();
    void dialogTakesWhatFitsTheRecord();
    void rememberWithoutSecretStoreStaysInMemory();
    void refusingCameraShowsARowThenItsData();
    void oneCameraGetsItsOwnCredentials();
};

void CredentialsTest::dialogTakesWhatFitsTheRecord_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("tip"); // empty: accepted
    const QString tooLong = "User name and password may have at most 31 bytes each.";
    QTest::newRow("both") << "admin"
                          << "secret" << QString();
    QTest::newRow("none (no credentials)") << ""
                                           << "" << QString();
    QTest::newRow("31 bytes") << QString(31, 'u') << QString(31, 'p') << QString();
    QTest::newRow("32-byte user") << QString(32, 'u') << "p" << tooLong;
    QTest::newRow("32-byte password") << "admin" << QString(32, 'p') << tooLong;
    // Ten Chinese characters are 30 bytes in UTF-8; eleven are 33.
    QTest::newRow("10 wide characters") << QString(10, QChar(0x7528)) << "p" << QString();
    QTest::newRow("11 wide characters") << QString(11, QChar(0x7528)) << "p" << tooLong;
    QTest::newRow("password alone") << ""
                                    << "secret"
                                    << "A password needs a user name.";
}

void CredentialsTest::dialogTakesWhatFitsTheRecord()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, tip);
    MessageBoxCloser closer;
    CredentialsDialog dialog(QString(), Credential(), false);
    dialog.show();
    dialog.findChild<QLineEdit *>("editUser")->setText(user);
    dialog.findChild<QLineEdit *>("editPassword")->setText(password);
    dialog.findChild<QPushButton *>("buttonOK")->click();
    if (tip.isEmpty()) {
        QVERIFY(closer.texts().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dialog.credential().user), user);
        QCOMPARE(QString::fromStdString(dialog.credential().password), password);
    } else {
        QCOMPARE(closer.texts(), QStringList() << "Tips|" + tip);
        QVERIFY(dialog.isVisible());
    }
}

// Without a secret store "remember" says so and keeps the credentials in
// memory; nothing is written anywhere else.
void CredentialsTest::rememberWithoutSecretStoreStaysInMemory()
{
    CredentialStore store;
    store.setServiceName("corvanta ipc tool test");
    QSignalSpy notices(&store, &CredentialStore::notice);
    QSignalSpy changed(&store, &CredentialStore::changed);
    store.setCommon(Credential{"admin", "secret"}, true);
    QCOMPARE(changed.count(), 1);
    QVERIFY(notices.wait(10000) || notices.count() > 0);
    const QString text = notices.first().first().toString();
    QVERIFY2(text.contains("memory only"), qPrintable(text));
    QVERIFY(!store.remembered());
    QCOMPARE(store.common(), (Credential{"admin", "secret"}));

    // A camera of its own, then back to the common ones.
    store.setOwn("urn:uuid:1", Credential{"root", "other"}, false);
    QCOMPARE(store.perCamera().size(), size_t(1));
    QCOMPARE(store.own("urn:uuid:1"), (Credential{"root", "other"}));
    store.setOwn("urn:uuid:1", Credential(), false);
    QVERIFY(store.perCamera().empty());
}

// A camera that wants WS-Security: a row with its IP and "需要认证" instead
// of nothing, no refusal repeated by re-probes or later searches, its data
// once credentials are entered, and the same credentials for batch IP and
// the upgrade login.
void CredentialsTest::refusingCameraShowsARowThenItsData()
{
    REQUIRE_TEST_NETWORK();
    QVERIFY(apptest::addCameraAddress("10.203.5.160"));
    QJsonObject refusing = wsseCamera("CRDA0001", "s3cret");
    refusing["port"] = 80; // the web upgrade interface is reached by the host alone
    CamSim sim(QJsonArray{refusing, QJsonObject{{"serial", "CRDA0002"}}});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    auto w = std::make_unique<UpgradeDeviceWidget>();
    w->setBatchConfirmTimeout(6000);
    w->show();
    DeviceTableModel *model = w->deviceModel();
    QVERIFY(apptest::waitFor([&] { return model->rowCount() == 2; }, 20000));
    QVERIFY(apptest::waitSettled(w->manager(), 0, 20000));

    QVERIFY(model->findRow("CRDA0001") < 0);
    int authRow = -1;
    for (int r = 0; r < model->rowCount(); r++)
        if (model->index(r, 0).data(DeviceTableModel::AuthRequiredRole).toBool()) authRow = r;
    QVERIFY(authRow >= 0);
    QCOMPARE(apptest::cell(model, authRow, 1), QString(apptest::CAMERA_IP));
    QCOMPARE(apptest::cell(model, authRow, 2), QString());
    QCOMPARE(apptest::cell(model, authRow, 7), AUTH);
    QVERIFY(!(model->index(authRow, 0).flags() & Qt::ItemIsUserCheckable));
    const int firstRound = sim.refused("CRDA0001");
    QVERIFY(firstRound >= 1);

    // Re-probes do not ask it again.
    for (int i = 0; i < 2; i++) {
        const uint64_t seen = w->manager()->registry()->sightingCount();
        w->manager()->probe();
        QVERIFY(apptest::waitSettled(w->manager(), seen + 2, 10000));
    }
    QCOMPARE(sim.refused("CRDA0001"), firstRound);

    // Credentials for all cameras: its data replaces the row.
    const int requestsBefore = sim.requests().size();
    enterCredentials("admin", "s3cret");
    QTest::mouseClick(w->findChild<QPushButton *>("buttonCredentials"), Qt::LeftButton);
    QVERIFY(apptest::waitFor([&] { return model->findRow("CRDA0001") >= 0; }, 20000));
    QCOMPARE(model->rowCount(), 2);
    const int row = model->findRow("CRDA0001");
    QCOMPARE(apptest::cell(model, row, 1), QString(apptest::CAMERA_IP));
    QCOMPARE(apptest::cell(model, row, 5), QString("CS-B100"));
    QCOMPARE(apptest::cell(model, row, 7), QString());
    QVERIFY(model->index(row, 0).flags() & Qt::ItemIsUserCheckable);

    // A new search queries both again, with credentials, and nothing is refused.
    w->findChild<QPushButton *>("buttonSearch")->click();
    QVERIFY(apptest::waitFor([&] { return model->rowCount() == 2; }, 20000));
    QVERIFY(apptest::waitSettled(w->manager(), 0, 20000));
    QCOMPARE(sim.refused("CRDA0001"), firstRound);
    const QList<QJsonObject> all = sim.requests();
    for (int i = requestsBefore; i < all.size(); i++) {
        const QJsonObject &r = all[i];
        if (r.value("camera").toString() != "CRDA0001" || r.value("operation").toString().isEmpty())
            continue;
        if (r.value("operation").toString() == "GetSystemDateAndTime") continue; // asked plainly
        QCOMPARE(r.value("wsse").toString(), QString("valid"));
    }

    // Batch IP uses the same credentials: its Set calls pass.
    MessageBoxCloser closer;
    w->onSelectAllDevice(false);
    w->deviceModel()->setChecked({model->findRow("CRDA0001")}, true);
    BatchIpSettings settings;
    settings.startIp = "10.203.5.160";
    settings.netmask = "255.255.255.0";
    settings.gateway = "10.203.5.1";
    settings.confirmTimeoutMs = 6000;
    w->startBatch(settings, w->selectedDevices());
    QVERIFY(apptest::waitFor([&] { return !w->currentBatch()->isRunning(); }, 30000));
    QCOMPARE(w->currentBatch()->results().value(0).outcome, BatchIpResult::Confirmed);
    QCOMPARE(sim.refused("CRDA0001"), firstRound);

    // And so does the upgrade's login (user and password in its form body).
    QVERIFY(apptest::waitFor(
        [&] { return apptest::cell(model, model->findRow("CRDA0001"), 1) == "10.203.5.160"; },
        20000));
    QTemporaryDir dir;
    const QString path = dir.filePath("fw.bin");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(100, 'x')) == 100);
    f.close();
    w->upgradeScheduler()->upgrade({w->manager()->getDevice("CRDA0001")}, path);
    QVERIFY(apptest::waitFor(
        [&] {
            for (const QJsonObject &r : sim.requests())
                if (r.value("path").toString() == "/account/login") return true;
            return false;
        },
        20000));
    for (const QJsonObject &r : sim.requests())
        if (r.value("path").toString() == "/account/login")
            QCOMPARE(r.value("body_size").toInt(), int(strlen("uname2=admin&passwd2=s3cret")));
}

// Common credentials that one camera refuses: one refused request for that
// round, then quiet; its own credentials, set from its row's context menu,
// list it.
void CredentialsTest::oneCameraGetsItsOwnCredentials()
{
    REQUIRE_TEST_NETWORK();
    CamSim sim(QJsonArray{wsseCamera("CRDB0001", "first"), wsseCamera("CRDB0002", "second")});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    auto w = std::make_unique<UpgradeDeviceWidget>();
    w->show();
    DeviceTableModel *model = w->deviceModel();
    QVERIFY(apptest::waitFor([&] { return model->rowCount() == 2; }, 20000));
    QVERIFY(apptest::waitSettled(w->manager(), 0, 20000));
    const int before = sim.refused("CRDB0002");

    w->credentialStore()->setCommon(Credential{"admin", "first"}, false);
    QVERIFY(apptest::waitFor([&] { return model->findRow("CRDB0001") >= 0; }, 20000));
    QVERIFY(apptest::waitSettled(w->manager(), 0, 20000));
    QCOMPARE(model->rowCount(), 2);
    // The wrong password was tried once, not again and again.
    QCOMPARE(sim.refused("CRDB0002"), before + 1);

    int shownAuthRow = -1;
    for (int r = 0; r < w->proxyModel()->rowCount(); r++)
        if (apptest::cell(w->proxyModel(), r, 7) == AUTH) shownAuthRow = r;
    QVERIFY(shownAuthRow >= 0);
    const int firstRefused = sim.refused("CRDB0001");
    enterCredentials("admin", "second");
    cameraCredentialsFromMenu(w->findChild<QTableView *>("tableViewOnVif"), shownAuthRow);
    QVERIFY(apptest::waitFor([&] { return model->findRow("CRDB0002") >= 0; }, 20000));
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(w->credentialStore()->perCamera().size(), size_t(1));
    QVERIFY(apptest::waitSettled(w->manager(), 0, 20000));
    QCOMPARE(sim.refused("CRDB0001"), firstRefused); // its own credentials still hold
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // No desktop secret store in tests: D-Bus leads nowhere, so "remember"
    // takes its in-memory path and no keyring of the machine is touched.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/corvanta-test-bus");
    QApplication app(argc, argv);
    CredentialsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_credentials.moc"
