#include "app/upgrade_scheduler.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/app_log.h"
#include "app/device_access.h"
#include "app/device_manager.h"
#include "app/firmware_upload.h"
#include "app/gui_gate.h"
#include "onvif/onvif_ops.h"
#include "onvif/onvif_trans.h"

namespace
{

// StartFirmwareUpgrade is answered at once by a device that can take an
// image; the upload delay it asks for is honoured up to a minute.
const int kStartTimeoutMs = 5000;
const int kMaxUploadDelayS = 60;

int askCancelled(void *ctx)
{
    return static_cast<std::atomic<bool> *>(ctx)->load() ? 1 : 0;
}

} // namespace

UpgradeScheduler::UpgradeScheduler(DeviceManager *deviceManager, QObject *parent)
    : QObject(parent), manager(deviceManager), gate(std::make_shared<GuiGate>(this))
{
    tick.setInterval(kDefaultRecheckMs);
    connect(&tick, &QTimer::timeout, this, &UpgradeScheduler::onTick);
}

UpgradeScheduler::~UpgradeScheduler()
{
    cancelAll();
    gate->close();
    for (std::thread &t : pool)
        if (t.joinable()) t.join();
}

void UpgradeScheduler::setMaxUploads(int count)
{
    uploads = count < 1 ? 1 : (count > 32 ? 32 : count);
}

void UpgradeScheduler::setRecheckInterval(int ms)
{
    tick.setInterval(ms < 10 ? 10 : ms);
}

void UpgradeScheduler::cancelAll()
{
    stopping = true;
}

void UpgradeScheduler::startPool()
{
    if (!pool.empty()) return;
    if (firmware_upload_global_init() != 0) appLog("libcurl global init fail");
    for (int i = 0; i < uploads; i++)
        pool.emplace_back(&UpgradeScheduler::uploadLoop, this);
}

void UpgradeScheduler::upgrade(const QList<std::shared_ptr<ONVIF_DEVICE>> &devices,
                               const QString &firmwarePath, Method method)
{
    if (stopping || devices.isEmpty()) return;
    startPool();
    // Each queued device keeps the file chosen for it, whatever is chosen later.
    const QByteArray file = QFile::encodeName(firmwarePath);
    const std::shared_ptr<DeviceRegistry> registry = manager->registry();
    for (const std::shared_ptr<ONVIF_DEVICE> &device : devices) {
        if (!device) continue;
        auto task = std::make_shared<Task>();
        task->serial = deviceSerial(*device);
        task->endpoint = QString::fromStdString(DeviceRegistry::endpointKey(device->binfo));
        task->host = deviceHost(*device);
        task->file = file;
        task->firmwareBefore = deviceFirmware(*device);
        task->credential = registry->credentialFor(task->endpoint.toStdString());
        task->method = method;
        task->device = device;
        manager->model()->setUpgradeState(task->serial, DeviceTableModel::UpgradeState::Waiting);
        queue.push(task);
    }
}

void UpgradeScheduler::uploadLoop()
{
    while (!stopping) {
        std::shared_ptr<Task> task = queue.pop(100);
        if (!task || stopping) continue;
        active++;
        const Task t = *task;
        gate->post([this, t]() {
            manager->model()->setUpgradeState(t.serial, DeviceTableModel::UpgradeState::Running);
            emit uploadStarted(t.serial);
        });
        bool transferred = false;
        if (t.method == Method::Onvif) {
            transferred = upgradeThroughOnvif(t);
        } else {
            long status = 0;
            FIRMWARE_UPLOAD up = {t.host.constData(),
                                  t.file.constData(),
                                  t.credential.user.c_str(),
                                  t.credential.password.c_str(),
                                  askCancelled,
                                  &stopping,
                                  1,
                                  &status};
            const int r = firmware_upload_run(&up);
            if (r == FIRMWARE_NO_WEB_UI) {
                appLog("no web upgrade interface, upgrading through ONVIF, device ip:", t.host);
                transferred = upgradeThroughOnvif(t);
            } else {
                transferred = r == 0;
                if (!transferred && status >= 300)
                    appLog(QByteArray("upload refused with HTTP status ") +
                               QByteArray::number((qlonglong)status) + ", device ip:",
                           t.host);
            }
        }
        active--;
        gate->post([this, t, transferred]() { onUploaded(t, transferred); });
    }
}

bool UpgradeScheduler::upgradeThroughOnvif(const Task &task)
{
    if (!task.device) return false;
    DevicePtr dev = workingCopy(*task.device);
    setCredential(dev.get(), task.credential);
    prepareCall(dev.get());
    tds_StartFirmwareUpgrade_RES start;
    memset(&start, 0, sizeof(start));
    HTTP_CLIENT_CONN conn;
    if (onvif_init_xaddr_context(&conn, &dev->binfo.xaddr) != 0 ||
        !http_onvif_trans(&conn, kStartTimeoutMs, ACT_tds_StartFirmwareUpgrade, dev.get(), nullptr,
                          &start) ||
        !start.upload_uri[0]) {
        appLog("start firmware upgrade fail, device ip:", task.host);
        return false;
    }
    // The device may need a moment before it takes the image; waited in
    // slices, so that a cancel still ends the wait at once.
    const int delay = std::min<int>(std::max<int>(start.upload_delay, 0), kMaxUploadDelayS);
    for (int waited = 0; waited < delay * 10 && !stopping; waited++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (stopping) return false;
    QByteArray uri(start.upload_uri, (int)strnlen(start.upload_uri, sizeof(start.upload_uri)));
    if (uri.startsWith('/')) { // a path on the device-service host
        const ONVIF_XADDR &x = dev->binfo.xaddr;
        uri = QByteArray(x.https ? "https://" : "http://") + deviceHost(*dev) + ":" +
              QByteArray::number(x.port) + uri;
    }
    return firmware_upload_post(uri.constData(), task.file.constData(),
                                task.credential.user.c_str(), task.credential.password.c_str(),
                                askCancelled, &stopping) == 0;
}

void UpgradeScheduler::onUploaded(const Task &task, bool transferred)
{
    DeviceTableModel *model = manager->model();
    if (!transferred) {
        model->setUpgradeState(task.serial, DeviceTableModel::UpgradeState::Failed);
    } else {
        model->awaitFirmwareChange(task.serial, task.firmwareBefore, QDeadlineTimer(confirmMs));
        // The camera may answer at once (or only after a restart): ask it now
        // and then every few seconds until it tells a new version.
        manager->recheck(task.endpoint);
        if (!model->upgradeWaits().isEmpty() && !tick.isActive()) tick.start();
    }
    emit uploadFinished(task.serial, transferred);
}

void UpgradeScheduler::onTick()
{
    DeviceTableModel *model = manager->model();
    model->expireUpgradeWaits();
    const QStringList waiting = model->upgradeWaits();
    for (const QString &serial : waiting)
        manager->recheck(model->endpointAt(model->findRow(serial)));
    if (waiting.isEmpty()) tick.stop();
}
