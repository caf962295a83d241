#include "app/device_manager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "app/app_log.h"
#include "app/device_access.h"
#include "app/gui_gate.h"
#include "http/http_msg.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "platform/sys_buf.h"
#include "platform/sys_net.h"

namespace
{

// The discovery callback: forwards to the manager named by user_data.
void probeCallback(const DEVICE_BINFO *binfo, int kind, void *user_data)
{
    if (!binfo || !user_data) return;
    static_cast<DeviceManager *>(user_data)->onProbeMessage(binfo, kind);
}

std::string fieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

// "<head>" + endpoint reference, port, path and host of a discovery record.
void logBinfo(const char *head, const DEVICE_BINFO &binfo)
{
    appLog(head, fieldText(binfo.endpoint_address, sizeof(binfo.endpoint_address)),
           ", port:", binfo.xaddr.port,
           ", url:", fieldText(binfo.xaddr.path, sizeof(binfo.xaddr.path)),
           ", host:", fieldText(binfo.xaddr.host, sizeof(binfo.xaddr.host)));
}

QString qtext(const std::string &s)
{
    return QString::fromUtf8(s.data(), (int)s.size());
}

// Clock, device information and capabilities, each only after the one before
// succeeded; *failedStep names the failed step's log line. The clock is read
// without WS-Security (cameras answer it to anyone, and it dates the
// security header).
QueryOutcome queryDevice(ONVIF_DEVICE *device, const char **failedStep)
{
    auto failed = [device, failedStep](const char *head) {
        *failedStep = head;
        return device->auth_failed ? QueryOutcome::AuthRequired : QueryOutcome::Failed;
    };
    prepareCall(device, false);
    if (!GetSystemDateAndTime(device))
        return failed("get system data and time fail, endpoint reference:");
    prepareCall(device);
    if (!GetDeviceInformation(device)) return failed("get device info fail, endpoint reference:");
    prepareCall(device);
    if (!GetCapabilities(device)) return failed("get capability fail, endpoint reference:");
    return QueryOutcome::Listed;
}

// A query that has waited this long on one camera no longer counts against
// the pool (a camera on the local network answers within milliseconds).
const auto kStallAfter = std::chrono::seconds(1);
const int kPoolThreadsPerWorker = 4;
const int kMaxPoolThreads = 64;

} // namespace

struct DeviceManager::Pool {
    int size = 0; // queries that make progress at a time
    int cap = 0;  // threads at most
    std::atomic<int> threads{0};
};

DeviceManager::DeviceManager(QObject *parent)
    : QObject(parent), shared(std::make_shared<DeviceRegistry>()),
      gate(std::make_shared<GuiGate>(this)), tableModel(new DeviceTableModel(this)),
      probeInterval(10), workerCount(kDefaultQueryWorkers), running(false)
{
}

DeviceManager::~DeviceManager()
{
    stop();
    gate->close();
}

void DeviceManager::setQueryWorkers(int count)
{
    workerCount = count < 1 ? 1 : (count > 64 ? 64 : count);
}

void DeviceManager::start()
{
    if (running) {
        appLog("device manager already started");
        return;
    }
    network_init();
    sys_buf_init(200);
    http_msg_buf_init(400);
    running = true;
    if (shared->isStopped()) { // started again: a fresh state, nothing of the old workers'
        shared = std::make_shared<DeviceRegistry>();
        gate = std::make_shared<GuiGate>(this);
    }

    // The workers keep the registry and the gate alive by themselves: stop()
    // does not wait for one that sits in a transaction time-out.
    auto pool = std::make_shared<Pool>();
    pool->size = workerCount;
    pool->cap = std::min(workerCount * kPoolThreadsPerWorker, kMaxPoolThreads);
    pool->threads = workerCount;
    for (int i = 0; i < workerCount; i++)
        std::thread(&DeviceManager::queryLoop, shared, gate, pool, this).detach();
    std::thread(&DeviceManager::supervise, shared, gate, pool, this).detach();

    set_probe_cb(probeCallback, this);
    if (start_probe(nullptr, probeInterval) != 0) appLog("start probe fail");
    send_probe_req();
}

void DeviceManager::supervise(std::shared_ptr<DeviceRegistry> registry,
                              std::shared_ptr<GuiGate> gate, std::shared_ptr<Pool> pool,
                              DeviceManager *owner)
{
    while (!registry->isStopped()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const DeviceRegistry::Load load = registry->load(kStallAfter);
        if (load.queued == 0) continue;
        // Workers free for the queue: those not held by a stalled query.
        const int progressing = pool->threads - load.stalled;
        int add = std::min(pool->size - progressing, pool->cap - pool->threads.load());
        add = std::min(add, load.queued);
        for (int i = 0; i < add && !registry->isStopped(); i++) {
            pool->threads++;
            std::thread(&DeviceManager::queryLoop, registry, gate, pool, owner).detach();
        }
    }
}

void DeviceManager::queryLoop(std::shared_ptr<DeviceRegistry> registry,
                              std::shared_ptr<GuiGate> gate, std::shared_ptr<Pool> pool,
                              DeviceManager *owner)
{
    while (!registry->isStopped()) {
        std::unique_ptr<QueryTask> task = registry->nextTask(100);
        if (!task) {
            // Idle: a worker added for stalled queries ends.
            int now = pool->threads.load();
            if (now > pool->size && pool->threads.compare_exchange_strong(now, now - 1)) return;
            continue;
        }

        DevicePtr device = newDeviceRecord();
        device->binfo = task->binfo;
        setCredential(device.get(), task->credential);
        const char *failedStep = nullptr;
        const QueryOutcome outcome = queryDevice(device.get(), &failedStep);
        QueryReport report =
            registry->finish(*task, outcome, outcome == QueryOutcome::Listed ? device : nullptr);
        // After stop nothing is reported, not even a log line: the process
        // may be ending around this thread.
        if (registry->isStopped()) break;
        if (failedStep) logBinfo(failedStep, device->binfo);
        if (report.kind != QueryReport::Dropped && report.kind != QueryReport::Failed) {
            if (report.device) appLog("receive device info, device ip", report.host);
            // `owner` is only touched by the posted call, which runs on its
            // thread and only while it exists.
            gate->post([owner, report]() { owner->apply(report); });
        }
        registry->release(*task);
    }
}

void DeviceManager::apply(const QueryReport &report)
{
    const QString serial = qtext(report.serial);
    const QString key = qtext(report.key);
    if (report.kind == QueryReport::AuthRequired) {
        tableModel->markAuthRequired(key, qtext(report.host), serial);
        emit deviceNeedsAuth(key);
        return;
    }
    // Reports from different workers (and Byes) may arrive out of order: only
    // the record the map holds now is shown, and what changed is judged
    // against what the table shows, so a report overtaken by a later one
    // loses no signal.
    if (!report.device || shared->device(report.serial) != report.device) return;
    const int row = tableModel->findRow(serial);
    const bool added = row < 0;
    const bool changed =
        !added && (tableModel->hostAt(row) != QString::fromUtf8(deviceHost(*report.device)) ||
                   tableModel->firmwareAt(row) != deviceFirmware(*report.device));
    tableModel->addOrUpdateDevice(*report.device, key);
    if (added)
        emit probDevice(serial);
    else if (changed)
        emit deviceInfoChange(serial);
}

void DeviceManager::applyBye(const ByeReport &report)
{
    tableModel->removeEndpoint(qtext(report.key));
    if (!report.serial.empty() && !shared->device(report.serial)) {
        tableModel->removeDevice(qtext(report.serial));
        emit deviceOffline(qtext(report.serial));
    }
}

void DeviceManager::stop()
{
    if (!running) return;
    running = false;
    gate->close();
    shared->stop();
    stop_probe();
    set_probe_cb(nullptr, nullptr);
}

void DeviceManager::onProbeMessage(const DEVICE_BINFO *binfo, int kind)
{
    if (!binfo) return;
    if (kind == PROBE_MSG_MATCH || kind == PROBE_MSG_HELLO) {
        if (shared->sighting(*binfo, kind))
            logBinfo("push device to queue, endpoint reference:", *binfo);
    } else if (kind == PROBE_MSG_BYE) {
        ByeReport report = shared->bye(*binfo);
        gate->post([this, report]() { applyBye(report); });
    }
}

std::shared_ptr<ONVIF_DEVICE> DeviceManager::getDevice(const QString &serialNumber)
{
    return shared->device(serialNumber.toUtf8().toStdString());
}

void DeviceManager::removeDevice(const QString &serialNumber)
{
    shared->forget(serialNumber.toUtf8().toStdString());
}

void DeviceManager::searchDevice()
{
    shared->searchAgain();
    send_probe_req();
}

void DeviceManager::probe()
{
    send_probe_req();
}

void DeviceManager::dropIdleRows()
{
    const QVector<int> idle = tableModel->idleRows();
    for (int row : idle) {
        if (tableModel->isListed(row))
            shared->forget(tableModel->serialAt(row).toUtf8().toStdString());
        else
            shared->forgetEndpoint(tableModel->endpointAt(row).toUtf8().toStdString());
    }
    tableModel->removeRows(idle);
}

void DeviceManager::recheck(const QString &endpointKey)
{
    shared->recheck(endpointKey.toUtf8().toStdString());
}

void DeviceManager::setCredentials(const Credential &common,
                                   const std::map<std::string, Credential> &byKey)
{
    shared->setCredentials(common, byKey);
}
