// The tool on whole sites: the CSV export, the address parser, the English
// translation, the search by address across a router, the firmware upgrade
// through the ONVIF device service and the details of one camera; all
// against camsim in network namespaces that the test process makes.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "app/address_range.h"
#include "app/device_export.h"
#include "app/tool_settings.h"
#include "app/translation.h"
#include "app/upgrade_device_widget.h"
#include "app_test_support.h"
#include "tests/support/routed_net.h"

using apptest::CamSim;

namespace
{

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QJsonObject camera(const QString &serial, const QString &model, const QString &firmware)
{
    return QJsonObject{{"serial", serial}, {"model", model}, {"firmware", firmware}};
}

// The routed camera subnet, made once per process (or why not).
RoutedSubnet *routedSubnet(QString *why)
{
    static std::unique_ptr<RoutedSubnet> net;
    static QString reason;
    static bool tried = false;
    if (!tried) {
        tried = true;
        if (apptest::enterTestNetwork(&reason)) {
            net = std::make_unique<RoutedSubnet>();
            std::string failed;
            if (!net->setUp(&failed)) {
                reason = "the routed subnet could not be set up (" +
                         QString::fromStdString(failed) + "); skipped";
                net.reset();
            }
        }
    }
    *why = reason;
    return net.get();
}

QStringList launcherFor(const RoutedSubnet &net)
{
    QStringList out;
    for (const std::string &s : net.cameraSide())
        out << QString::fromStdString(s);
    return out;
}

// The text of every item of the details tree, "section|key|value" per row.
QStringList detailRows(QTreeWidget *tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); i++) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        for (int j = 0; j < top->childCount(); j++)
            out << top->text(0) + "|" + top->child(j)->text(0) + "|" + top->child(j)->text(1);
    }
    return out;
}

void removeTranslators()
{
    for (QTranslator *t : qApp->findChildren<QTranslator *>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

} // namespace

class SitesTest : public QObject
{
    Q_OBJECT
  private slots:
    void csvFieldsAndAddressesParse();
    void exportWritesTheTableAsShown();
    void englishTranslationLoads();
    void searchByAddressCrossesARouter();
    void upgradeThroughTheDeviceService();
    void detailsShowTheCameraAndMissingMedia();
};

void SitesTest::csvFieldsAndAddressesParse()
{
    const struct {
        const char *in, *out;
    } fields[] = {
        {"plain", "plain"},
        {"CS-B100, outdoor", "\"CS-B100, outdoor\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"-1+2", "'-1+2"},
        {"球机", "球机"},
        {"", ""},
    };
    for (const auto &f : fields)
        QCOMPARE(QString::fromUtf8(csv::field(u(f.in))), u(f.out));

    const struct {
        const char *text;
        int count; // -1: refused
        const char *first, *last;
    } ranges[] = {
        {"10.1.2.3", 1, "10.1.2.3", "10.1.2.3"},
        {" 10.1.2.3 ,10.1.2.5;10.1.2.3\n10.1.2.9", 3, "10.1.2.3", "10.1.2.9"},
        {"10.1.2.0/24", 254, "10.1.2.1", "10.1.2.254"},
        {"10.1.2.7/31", 2, "10.1.2.6", "10.1.2.7"},
        {"10.1.0.0/22", 1022, "10.1.0.1", "10.1.3.254"},
        {"10.1.0.0/21", -1, "", ""},
        {"10.1.2.250-10.1.3.4", 11, "10.1.2.250", "10.1.3.4"},
        {"10.1.2.10 - 20", 11, "10.1.2.10", "10.1.2.20"},
        {"10.1.2.10–12", 3, "10.1.2.10", "10.1.2.12"}, // en dash
        {"10.0.0.0-10.0.3.255", 1024, "10.0.0.0", "10.0.3.255"},
        {"10.0.0.0-10.0.4.0", -1, "", ""},
        {"10.1.2.20-10", -1, "", ""},
        {"10.1.2.0/24, 10.1.3.0/24, 10.1.4.0/24, 10.1.5.0/24, 10.1.6.0/28", -1, "", ""},
        {"host.example", -1, "", ""},
        {"10.1.2.0/33", -1, "", ""},
        {"", -1, "", ""},
    };
    for (const auto &r : ranges) {
        QVector<quint32> out;
        QString error;
        const bool ok = AddressRange::parse(u(r.text), &out, &error);
        QVERIFY2(ok == (r.count >= 0), r.text);
        if (!ok) {
            QVERIFY2(!error.isEmpty(), r.text);
            continue;
        }
        QCOMPARE(out.size(), r.count);
        QCOMPARE(AddressRange::toText(out.first()), u(r.first));
        QCOMPARE(AddressRange::toText(out.last()), u(r.last));
    }
}

void SitesTest::exportWritesTheTableAsShown()
{
    REQUIRE_TEST_NETWORK();
    QJsonObject a = camera("EXP-B", "CS-B100, outdoor", "V2.1.0");
    a["hw_address"] = "00:11:22:33:44:0b";
    QJsonObject b = camera("EXP-A", "CS-P200", "V2.3.1");
    b["ptz"] = true;
    b["hw_address"] = "00:11:22:33:44:0a";
    CamSim sim(QJsonArray{a, b});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    int portA = 0, portB = 0;
    for (const apptest::CamEntry &e : sim.cameras())
        (e.serial == "EXP-A" ? portA : portB) = e.port;

    UpgradeDeviceWidget w;
    QVERIFY(apptest::waitFor([&] { return w.deviceModel()->rowCount() == 2; }, 20000));
    w.proxyModel()->sort(DeviceTableModel::ColSerial);
    QTemporaryDir dir;
    const QString path = dir.filePath("site.csv");
    w.exportTo(path, false);
    QVERIFY(w.currentExport());
    QSignalSpy finished(w.currentExport(), &ExportJob::finished);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().at(0).toBool(), true);

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString ip = apptest::CAMERA_IP;
    const QByteArray expected =
        "\xEF\xBB\xBF"
        "IP,MAC,序列号,设备名称,产品形态,型号,版本号,升级状态,设备服务地址\r\n" +
        QString("%1,00:11:22:33:44:0a,EXP-A,%1,球机,CS-P200,V2.3.1,,http://%1:%2/onvif/"
                "device_service\r\n")
            .arg(ip)
            .arg(portA)
            .toUtf8() +
        QString("%1,00:11:22:33:44:0b,EXP-B,%1,枪机,\"CS-B100, outdoor\",V2.1.0,,http://%1:%2/"
                "onvif/device_service\r\n")
            .arg(ip)
            .arg(portB)
            .toUtf8();
    QCOMPARE(f.readAll(), expected);

    // Only the checked ones; the MAC is known now, so no camera is asked again.
    const int asked = sim.requestsFor("GetNetworkInterfaces").size();
    w.deviceModel()->setChecked({w.deviceModel()->findRow("EXP-B")}, true);
    w.exportTo(path, true);
    QVERIFY(finished.wait(20000));
    f.close();
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 3); // header, one row, the empty rest
    QVERIFY(lines[1].startsWith(ip.toUtf8() + ",00:11:22:33:44:0b,EXP-B,"));
    QCOMPARE(sim.requestsFor("GetNetworkInterfaces").size(), asked);
}

void SitesTest::englishTranslationLoads()
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale chinese(QLocale::Chinese, QLocale::China);
    const QLocale german(QLocale::German, QLocale::Germany);
    QString unknown;
    QCOMPARE(toolLanguage({"tool"}, chinese), QString("zh"));
    QCOMPARE(toolLanguage({"tool"}, german), QString("zh"));
    QCOMPARE(toolLanguage({"tool"}, english), QString("en"));
    QCOMPARE(toolLanguage({"tool", "--lang", "en"}, chinese), QString("en"));
    QCOMPARE(toolLanguage({"tool", "--lang=zh"}, english), QString("zh"));
    QCOMPARE(toolLanguage({"tool", "--lang", "fr"}, chinese, &unknown), QString("zh"));
    QCOMPARE(unknown, QString("fr"));

    REQUIRE_TEST_NETWORK();
    QVERIFY(installToolTranslation(qApp, "en"));
    {
        UpgradeDeviceWidget w;
        QCOMPARE(w.findChild<QPushButton *>("buttonSearch")->text(), QString("Search"));
        QCOMPARE(DeviceTableModel::upgradeText(DeviceTableModel::UpgradeState::Running),
                 QString("Upgrading"));
    }
    removeTranslators();
    QCOMPARE(DeviceTableModel::upgradeText(DeviceTableModel::UpgradeState::Running), u("正在升级"));
}

void SitesTest::searchByAddressCrossesARouter()
{
    QString why;
    RoutedSubnet *net = routedSubnet(&why);
    if (!net) QSKIP(qPrintable(why));
    QVERIFY(net->addCameraAddress("10.203.9.3"));
    // Camera A answers unicast Probes only; camera B answers no discovery at
    // all, only its device service on port 80.
    QJsonObject a = camera("RTD-A", "CS-B100", "V1.0.0");
    a["address"] = RoutedSubnet::kCameraIp;
    QJsonObject b = camera("RTD-B", "CS-B100", "V1.0.0");
    b["address"] = "10.203.9.3";
    b["port"] = 80;
    b["discoverable"] = false;
    CamSim sim(QJsonArray{a, b});
    sim.setLauncher(launcherFor(*net));
    QVERIFY2(sim.start({"--address", RoutedSubnet::kCameraIp, "--discovery-address",
                        RoutedSubnet::kCameraIp, "--discovery-unicast-only"}),
             qPrintable(sim.errorText()));

    {
        UpgradeDeviceWidget w;
        w.show();
        w.findChild<QPushButton *>("buttonAddAddress")->click();
        auto *dialog = w.findChild<AddAddressDialog *>();
        QVERIFY(dialog);
        // .2 and .3 answer, .9 is nobody (its try fails), .2 again counts once.
        dialog->findChild<QLineEdit *>("editAddresses")
            ->setText("10.203.9.2-3, 10.203.9.9, 10.203.9.2");
        dialog->findChild<QPushButton *>("buttonSearch")->click();
        QVERIFY(w.addressSearch());
        QSignalSpy finished(w.addressSearch(), &AddressSearch::finished);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().first().toStringList(),
                 QStringList({"10.203.9.2", "10.203.9.3"}));
        QCOMPARE(dialog->findChild<QListWidget *>("listFound")->count(), 2);
        QVERIFY(apptest::waitFor([&] { return w.deviceModel()->rowCount() == 2; }, 20000));
        QCOMPARE(apptest::cell(w.deviceModel(), w.deviceModel()->findRow("RTD-B"), 1),
                 QString("10.203.9.3"));
        // Nothing of it came by multicast: camera A was only ever probed directly.
        for (const QJsonObject &r : sim.requests())
            if (r.value("event").toString() == "probe")
                QVERIFY(r.value("peer").toString().startsWith(RoutedSubnet::kCallerIp));
    }
    QCOMPARE(rememberedAddresses(), QStringList({"10.203.9.2", "10.203.9.3"}));

    // The next start searches the remembered addresses by itself.
    {
        UpgradeDeviceWidget w;
        QVERIFY(apptest::waitFor([&] { return w.deviceModel()->rowCount() == 2; }, 30000));
    }
    forgetAddresses();
}

void SitesTest::upgradeThroughTheDeviceService()
{
    REQUIRE_TEST_NETWORK();
    // A: no web upgrade interface (login 404) and digest authentication, so
    // the upgrade falls back to the device service with the credentials.
    // B: has the web interface, but the user chose the device service.
    for (const char *ip : {"10.203.5.41", "10.203.5.42"})
        QVERIFY2(apptest::addCameraAddress(ip), ip);
    QJsonObject a = camera("OUP-A", "CS-B100", "V1.0.0");
    a["address"] = "10.203.5.41";
    a["port"] = 80;
    a["login"] = "absent";
    a["auth"] = "digest";
    a["password"] = "site-secret";
    a["firmware_upload_delay_s"] = 1;
    QJsonObject b = camera("OUP-B", "CS-B100", "V1.0.0");
    b["address"] = "10.203.5.42";
    b["port"] = 80;
    b["upgrade_firmware"] = "V3.0.0";
    CamSim sim(QJsonArray{a, b});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));
    QTemporaryDir dir;
    const QString path = dir.filePath("V2.0.0.bin");
    QFile fw(path);
    QVERIFY(fw.open(QIODevice::WriteOnly));
    fw.write(QByteArray(200000, 'x'));
    fw.close();

    UpgradeDeviceWidget w;
    w.credentialStore()->setCommon(Credential{"admin", "site-secret"}, false);
    w.upgradeScheduler()->setRecheckInterval(200);
    DeviceTableModel *model = w.deviceModel();
    // Camera A may first refuse the query made before the credentials came.
    QVERIFY(apptest::waitFor(
        [&] { return w.manager()->getDevice("OUP-A") && w.manager()->getDevice("OUP-B"); }, 20000));
    std::shared_ptr<ONVIF_DEVICE> devA = w.manager()->getDevice("OUP-A");
    std::shared_ptr<ONVIF_DEVICE> devB = w.manager()->getDevice("OUP-B");
    w.upgradeScheduler()->upgrade({devA}, path);
    w.upgradeThroughOnvif({devB}, path);

    const QString done = DeviceTableModel::upgradeText(DeviceTableModel::UpgradeState::Succeeded);
    QVERIFY(apptest::waitFor(
        [&] {
            return apptest::cell(model, model->findRow("OUP-A"), 7) == done &&
                   apptest::cell(model, model->findRow("OUP-B"), 7) == done;
        },
        30000));
    QCOMPARE(model->firmwareAt(model->findRow("OUP-A")), QString("V1.0.0-upgraded"));
    QCOMPARE(model->firmwareAt(model->findRow("OUP-B")), QString("V3.0.0"));

    // What the cameras saw: A's login came back 404, then StartFirmwareUpgrade
    // and the image posted whole to its upload URI with digest credentials;
    // B's web interface was never asked.
    int logins = 0;
    QJsonObject uploadA;
    for (const QJsonObject &r : sim.requests()) {
        const QString cam = r.value("camera").toString(), p = r.value("path").toString();
        if (p == "/account/login") {
            logins++;
            QCOMPARE(cam, QString("OUP-A"));
            QCOMPARE(r.value("status").toInt(), 404);
        }
        if (cam == "OUP-A" && p.startsWith("/onvif-upload/") && r.value("status").toInt() == 200)
            uploadA = r;
    }
    QCOMPARE(logins, 1);
    QCOMPARE(sim.requestsFor("StartFirmwareUpgrade", "OUP-A").size(), 1);
    QCOMPARE(sim.requestsFor("StartFirmwareUpgrade", "OUP-B").size(), 1);
    QCOMPARE(uploadA.value("http_auth").toString(), QString("valid"));
    QCOMPARE(uploadA.value("upload_size").toInt(), 200000);
}

void SitesTest::detailsShowTheCameraAndMissingMedia()
{
    REQUIRE_TEST_NETWORK();
    QJsonObject a = camera("DTL-A", "CS-P200", "V2.3.1");
    a["ptz"] = true;
    a["hw_address"] = "00:11:22:33:44:aa";
    a["gateway"] = QJsonArray{"10.203.5.1"};
    a["dns"] = QJsonArray{"10.203.5.53"};
    a["timezone"] = "CST-8";
    a["fail_ops"] = QJsonArray{"GetProfiles"}; // the media service does not answer
    CamSim sim(QJsonArray{a});
    QVERIFY2(sim.start(), qPrintable(sim.errorText()));

    UpgradeDeviceWidget w;
    w.show();
    QVERIFY(apptest::waitFor([&] { return w.deviceModel()->rowCount() == 1; }, 20000));
    // A double click on the row opens the details.
    QTableView *view = w.findChild<QTableView *>("tableViewOnVif");
    const QRect cell = view->visualRect(w.proxyModel()->index(0, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    DeviceDetailsDialog *details = w.detailsDialog();
    QVERIFY(details);
    auto *tree = details->findChild<QTreeWidget *>("treeDetails");
    QVERIFY(apptest::waitFor([&] { return tree->topLevelItemCount() == 8; }, 30000));
    const QStringList rows = detailRows(tree);
    for (const char *want :
         {"设备信息|型号|CS-P200", "设备信息|序列号|DTL-A", "设备信息|版本号|V2.3.1",
          "网络接口|eth0|MAC 00:11:22:33:44:aa", "DNS|服务器|10.203.5.53", "网关|IPv4|10.203.5.1",
          "时间与时区|时区|CST-8"})
        QVERIFY2(rows.contains(u(want)), qPrintable(u(want) + "\n" + rows.join('\n')));
    QVERIFY2(!rows.filter(QRegularExpression("^服务\\|ptz \\(\\d+\\.\\d+\\)\\|http://")).isEmpty(),
             qPrintable(rows.join('\n')));
    QVERIFY(!rows.filter(u("范围|固定|onvif://www.onvif.org/hardware/CS-P200")).isEmpty());
    const QStringList media = rows.filter(u("媒体配置|"));
    QCOMPARE(media.size(), 1);
    QVERIFY2(media.first().startsWith(u("媒体配置||媒体服务未应答:")), qPrintable(media.first()));

    details->findChild<QPushButton *>("buttonCopy")->click();
    const QString copied = QApplication::clipboard()->text();
    QVERIFY(copied.startsWith(QString(apptest::CAMERA_IP) + "  DTL-A\n"));
    QVERIFY(copied.contains(u("\n设备信息\n  厂商: Camsim\n")));
}

// Pictures for the README (English): the window, the details of a camera and
// the add-by-address dialog after a search across the router:
// CORVANTA_SCREENSHOTS=docs build/dev/tests/app/app_test_sites
int writeScreenshots(const QString &dir)
{
    QString why;
    RoutedSubnet *net = routedSubnet(&why);
    if (!net || !apptest::addCameraAddress("10.203.5.20")) {
        qWarning("%s", qPrintable(why));
        return 1;
    }
    installToolTranslation(qApp, "en");
    QJsonObject a = camera("CV24A0017", "CS-P200", "V2.3.1");
    a["ptz"] = true;
    QJsonObject c = camera("CV24B0343", "CS-B100, outdoor", "V2.0.8");
    QJsonObject d = camera("CV23N0005", "NVR-16", "V3.1.0");
    d["device_type"] = "NetworkVideoStorage";
    CamSim sim(QJsonArray{a, camera("CV24B0342", "CS-B100", "V2.1.0"), c, d});
    CamSim far(QJsonArray{camera("CV24B0410", "CS-B100", "V2.1.0"),
                          camera("CV24B0411", "CS-B100", "V2.1.0")});
    far.setLauncher(launcherFor(*net));
    if (!sim.start() || !far.start({"--address", RoutedSubnet::kCameraIp, "--discovery-address",
                                    RoutedSubnet::kCameraIp, "--discovery-unicast-only"}))
        return 1;
    UpgradeDeviceWidget w;
    w.setWindowTitle("corvanta ipc tool");
    w.resize(1100, 520);
    w.show();
    if (!apptest::waitFor([&] { return w.deviceModel()->rowCount() == 4; }, 20000)) return 1;

    w.findChild<QPushButton *>("buttonAddAddress")->click();
    auto *dialog = w.findChild<AddAddressDialog *>();
    dialog->findChild<QLineEdit *>("editAddresses")->setText("10.203.9.0/28");
    dialog->findChild<QPushButton *>("buttonSearch")->click();
    QSignalSpy finished(w.addressSearch(), &AddressSearch::finished);
    if (!finished.wait(60000) ||
        !apptest::waitFor([&] { return w.deviceModel()->rowCount() == 6; }, 20000))
        return 1;
    w.proxyModel()->sort(DeviceTableModel::ColIp);
    apptest::waitFor([] { return false; }, 300);
    bool ok = dialog->grab().save(dir + "/add-by-address.png");
    dialog->close();

    w.showDetails(w.proxyModel()->mapToSource(w.proxyModel()->index(0, 0)).row());
    auto *tree = w.detailsDialog()->findChild<QTreeWidget *>("treeDetails");
    if (!apptest::waitFor([&] { return tree->topLevelItemCount() == 8; }, 30000)) return 1;
    w.detailsDialog()->resize(700, 720);
    apptest::waitFor([] { return false; }, 300);
    ok = ok && w.detailsDialog()->grab().save(dir + "/details.png");
    w.detailsDialog()->close();
    apptest::waitFor([] { return false; }, 300);
    ok = ok && w.grab().save(dir + "/window-en.png");
    forgetAddresses();
    return ok ? 0 : 1;
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsEmpty("CORVANTA_SCREENSHOTS"))
        return writeScreenshots(qEnvironmentVariable("CORVANTA_SCREENSHOTS"));
    SitesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_sites.moc"
