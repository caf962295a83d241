// The main window's firmware upgrade: the file choice, the upgrade queue and
// its scheduler thread, and one detached upload thread per device.
#include "app/upgrade_device_widget.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QMetaObject>
#include <QStandardPaths>

#include <cstring>

#include "app/app_log.h"
#include "app/firmware_upload.h"

namespace
{

const char *const kStatusWaiting = "等待升级";
const char *const kStatusRunning = "正在升级";
const char *const kStatusDone = "升级成功";
const char *const kStatusFailed = "升级失败";

QString serialOf(const ONVIF_DEVICE &device)
{
    const char *serial = device.device_information.serial_number;
    return QString::fromUtf8(serial,
                             (int)strnlen(serial, sizeof(device.device_information.serial_number)));
}

QByteArray hostOf(const ONVIF_DEVICE &device)
{
    const char *host = device.binfo.xaddr.host;
    return QByteArray(host, (int)strnlen(host, sizeof(device.binfo.xaddr.host)));
}

// Hands one status text to the GUI thread without waiting. The window may be
// gone by the time the call runs (upload threads are detached), so the call
// checks the guarded pointer there, on the GUI thread.
void postStatus(const QPointer<UpgradeDeviceWidget> &window, const QString &serialNumber,
                const char *status)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app) return;
    const QString text = QString::fromUtf8(status);
    QMetaObject::invokeMethod(
        app,
        [window, serialNumber, text]() {
            if (window) window->setUpgradeStatus(serialNumber, text);
        },
        Qt::QueuedConnection);
}

} // namespace

void UpgradeDeviceWidget::onUpgradeDeviceFireware()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("选择升级文件"), QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
        tr("File(*.bin);;All files(*.*)"));
    {
        std::lock_guard<std::mutex> guard(firmwarePathMutex);
        firmwarePath = path;
    }
    if (path.isEmpty()) return;

    const std::list<std::shared_ptr<ONVIF_DEVICE>> devices = selectedDevices();
    for (const std::shared_ptr<ONVIF_DEVICE> &device : devices) {
        setUpgradeStatus(serialOf(*device), QString::fromUtf8(kStatusWaiting));
        upgradeQueue.push(device);
    }
}

QString UpgradeDeviceWidget::currentFirmwarePath()
{
    std::lock_guard<std::mutex> guard(firmwarePathMutex);
    return firmwarePath;
}

void UpgradeDeviceWidget::upgradeScheduler()
{
    while (!stopScheduler) {
        std::shared_ptr<ONVIF_DEVICE> device = upgradeQueue.pop(100);
        if (!device) continue;
        if (firmware_upload_global_init() != 0) {
            appLog("libcurl global init fail, upgrade skipped, device ip:", hostOf(*device));
            postStatus(QPointer<UpgradeDeviceWidget>(this), serialOf(*device), kStatusFailed);
            continue;
        }
        // The thread gets copies of everything it needs: it is not waited for
        // and may outlive the window.
        QByteArray file = QFile::encodeName(currentFirmwarePath());
        std::shared_ptr<DeviceManager> manager = deviceManager;
        QPointer<UpgradeDeviceWidget> window(this);
        std::thread([device, file, manager, window]() {
            runUpgrade(device, file, manager, window);
        }).detach();
    }
}

int UpgradeDeviceWidget::upgradeDevice(std::shared_ptr<ONVIF_DEVICE> device)
{
    return runUpgrade(std::move(device), QFile::encodeName(currentFirmwarePath()), deviceManager,
                      QPointer<UpgradeDeviceWidget>(this));
}

int UpgradeDeviceWidget::runUpgrade(std::shared_ptr<ONVIF_DEVICE> device, QByteArray firmwareFile,
                                    std::shared_ptr<DeviceManager> manager,
                                    QPointer<UpgradeDeviceWidget> window)
{
    if (!device) return -1;
    const QString serialNumber = serialOf(*device);
    postStatus(window, serialNumber, kStatusRunning);
    const QByteArray host = hostOf(*device);
    const int r = tiv_ipc_do_update(host.constData(), firmwareFile.constData());
    postStatus(window, serialNumber, r == 0 ? kStatusDone : kStatusFailed);
    if (manager) manager->searchDevice();
    return r;
}
