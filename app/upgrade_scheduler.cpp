#include "app/upgrade_scheduler.h"

#include <QDeadlineTimer>
#include <QFile>

#include "app/app_log.h"
#include "app/device_access.h"
#include "app/device_manager.h"
#include "app/firmware_upload.h"
#include "app/gui_gate.h"

namespace
{

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
                               const QString &firmwarePath)
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
        FIRMWARE_UPLOAD up = {t.host.constData(),
                              t.file.constData(),
                              t.credential.user.c_str(),
                              t.credential.password.c_str(),
                              askCancelled,
                              &stopping};
        const bool transferred = firmware_upload_run(&up) == 0;
        active--;
        gate->post([this, t, transferred]() { onUploaded(t, transferred); });
    }
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
