#include "app/batch_ip_job.h"

#include <QCoreApplication>

#include <arpa/inet.h>

#include <chrono>
#include <cstring>
#include <list>
#include <thread>

#include "app/app_log.h"
#include "app/device_access.h"
#include "app/device_table_model.h"
#include "app/gui_gate.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_tds.h"
#include "platform/sys_net.h"

using Clock = std::chrono::steady_clock;

namespace
{

// How often a camera waiting for confirmation is asked at its new address,
// and how often the whole network is probed again meanwhile.
const auto kPollEvery = std::chrono::seconds(1);
const auto kProbeEvery = std::chrono::seconds(10);

// Copies text as UTF-8 into a fixed field, cut to size - 1 bytes, terminated.
void copyField(char *dst, size_t size, const QString &text)
{
    if (!dst || size == 0) return;
    const QByteArray bytes = text.toUtf8();
    size_t n = (size_t)bytes.size();
    if (n > size - 1) n = size - 1;
    memcpy(dst, bytes.constData(), n);
    dst[n] = '\0';
}

// The interface record to send: the device's first interface as it reported
// it. One without an IPv4 block gets one, so that the address really goes
// into the request instead of being left out silently.
ONVIF_NETWORK_INTERFACE interfaceToSend(const ONVIF_NETWORK_INTERFACE &first)
{
    ONVIF_NETWORK_INTERFACE record = first;
    if (!(record.flags & ONVIF_NETIF_FLAG_IPV4)) {
        record.flags |= ONVIF_NETIF_FLAG_IPV4;
        record.ipv4_enabled = 1;
    }
    return record;
}

bool setInterface(ONVIF_DEVICE *device, ONVIF_NETWORK_INTERFACE *record)
{
    ONVIF_SET_NETWORK_INTERFACES_RES res;
    memset(&res, 0, sizeof(res));
    prepareCall(device);
    return onvif_tds_SetNetworkInterfaces(device, record, &res) != 0;
}

int stateOf(BatchIpResult::Outcome outcome)
{
    using S = DeviceTableModel::BatchState;
    switch (outcome) {
    case BatchIpResult::Pending:
        return int(S::Pending);
    case BatchIpResult::Confirmed:
        return int(S::Confirmed);
    case BatchIpResult::NotConfirmed:
        return int(S::NotConfirmed);
    case BatchIpResult::Failed:
        return int(S::Failed);
    case BatchIpResult::Skipped:
        return int(S::Skipped);
    }
    return int(S::None);
}

} // namespace

// ---------------------------------------------------------------------------

QString batchip::stepText(Step step)
{
    switch (step) {
    case Step::None:
        return QString();
    case Step::ReadInterfaces:
        return QStringLiteral(QT_TRANSLATE_NOOP("BatchIpJob", "get network interface info fail"));
    case Step::Gateway:
        return QStringLiteral(QT_TRANSLATE_NOOP("BatchIpJob", "gateway settings failed"));
    case Step::Dns:
        return QStringLiteral(QT_TRANSLATE_NOOP("BatchIpJob", "DNS settings failed"));
    case Step::Address:
        return QStringLiteral(QT_TRANSLATE_NOOP("BatchIpJob", "IP settings failed"));
    case Step::Dhcp:
        return QStringLiteral(QT_TRANSLATE_NOOP("BatchIpJob", "set dhcp for device fail"));
    case Step::NoAddressLeft:
        return QStringLiteral(
            QT_TRANSLATE_NOOP("BatchIpJob", "no address left after 255.255.255.255"));
    case Step::Cancelled:
        return QStringLiteral(QT_TRANSLATE_NOOP("BatchIpJob", "cancelled"));
    }
    return QString();
}

namespace
{

// The first interface a device lists; false when it cannot be read or lists none.
bool firstInterface(ONVIF_DEVICE *device, ONVIF_NETWORK_INTERFACE *first)
{
    NetworkInterfaceList *list = nullptr;
    prepareCall(device);
    const bool ok = onvif_tds_GetNetworkInterfaces(device, nullptr, &list) && list;
    if (ok) *first = list->NetworkInterface;
    onvif_free_NetworkInterfaces(&list);
    return ok;
}

} // namespace

bool batchip::readInterface(ONVIF_DEVICE *device, ONVIF_NETWORK_INTERFACE *first)
{
    // A reply without any interface leaves nothing to configure: a failed read.
    if (firstInterface(device, first)) return true;
    appLog("get device network interface fail, device ip:", deviceHost(*device));
    return false;
}

batchip::Step batchip::applyStatic(ONVIF_DEVICE *device, const ONVIF_NETWORK_INTERFACE &iface,
                                   const QString &address, const QString &mask,
                                   const QString &gateway, const QString &firstDns,
                                   const QString &secondDns)
{
    ONVIF_NETWORK_GATEWAY gw;
    memset(&gw, 0, sizeof(gw));
    copyField(gw.ipv4_address[0], sizeof(gw.ipv4_address[0]), gateway);
    prepareCall(device);
    if (!onvif_tds_SetNetworkDefaultGateway(device, &gw, nullptr)) return Step::Gateway;

    // The DNS servers are left alone unless a first one is given.
    if (!firstDns.isEmpty()) {
        ONVIF_DNS dns;
        memset(&dns, 0, sizeof(dns));
        copyField(dns.dns_manual[0], sizeof(dns.dns_manual[0]), firstDns);
        copyField(dns.dns_manual[1], sizeof(dns.dns_manual[1]), secondDns);
        prepareCall(device);
        if (!onvif_tds_SetDNS(device, &dns, nullptr)) return Step::Dns;
    }

    ONVIF_NETWORK_INTERFACE record = interfaceToSend(iface);
    record.dhcp = 0;
    record.prefix_length = get_prefix_len_by_mask(mask.toUtf8().constData());
    copyField(record.ipv4_address, sizeof(record.ipv4_address), address);
    return setInterface(device, &record) ? Step::None : Step::Address;
}

batchip::Step batchip::applyDhcp(ONVIF_DEVICE *device, const ONVIF_NETWORK_INTERFACE &iface)
{
    ONVIF_NETWORK_INTERFACE record = interfaceToSend(iface);
    record.dhcp = 1;
    record.prefix_length = get_prefix_len_by_mask("255.255.255.0");
    copyField(record.ipv4_address, sizeof(record.ipv4_address),
              QString::fromUtf8(deviceHost(*device)));
    return setInterface(device, &record) ? Step::None : Step::Dhcp;
}

// ---------------------------------------------------------------------------

struct BatchIpJob::Shared {
    std::atomic<bool> cancelled{false};
    std::shared_ptr<DeviceRegistry> registry;
    std::shared_ptr<GuiGate> gate;
    BatchIpJob *owner = nullptr; // touched only by calls posted through the gate
    std::vector<Target> targets;
    BatchIpSettings settings;

    void post(std::function<void(BatchIpJob *)> fn)
    {
        BatchIpJob *job = owner;
        gate->post([job, fn]() { fn(job); });
    }
    void postResult(const BatchIpResult &r)
    {
        const QString serial = r.serial;
        const int state = stateOf(r.outcome);
        post([serial, state](BatchIpJob *job) { emit job->cameraState(serial, state); });
    }
};

BatchIpJob::BatchIpJob(std::shared_ptr<DeviceRegistry> deviceRegistry, QObject *parent)
    : QObject(parent), registry(std::move(deviceRegistry)), gate(std::make_shared<GuiGate>(this))
{
}

BatchIpJob::~BatchIpJob()
{
    cancel();
    gate->close();
}

void BatchIpJob::cancel()
{
    if (shared) shared->cancelled = true;
}

void BatchIpJob::start(const std::vector<Target> &targets, const BatchIpSettings &settings)
{
    if (running) return;
    running = true;
    outcome.clear();
    shared = std::make_shared<Shared>();
    shared->registry = registry;
    shared->gate = gate;
    shared->owner = this;
    shared->targets = targets;
    shared->settings = settings;
    for (const Target &t : targets) {
        BatchIpResult r;
        r.serial = deviceSerial(*t.device);
        r.host = QString::fromUtf8(deviceHost(*t.device));
        outcome << r;
        emit cameraState(r.serial, int(DeviceTableModel::BatchState::Pending));
    }
    // Not waited for: closing the window cancels it and it ends by itself
    // after the camera under way.
    std::thread(&BatchIpJob::run, shared).detach();
}

QString BatchIpJob::describe(const BatchIpResult &r)
{
    QString where = r.host + (r.serial.isEmpty() ? QString() : " (" + r.serial + ")");
    switch (r.outcome) {
    case BatchIpResult::Confirmed:
        return where + ": " +
               (r.address.isEmpty() ? tr("DHCP on, confirmed")
                                    : tr("changed to %1, confirmed").arg(r.address));
    case BatchIpResult::NotConfirmed:
        return where + ": " +
               (r.address.isEmpty() ? tr("DHCP on, ") : tr("changed to %1, ").arg(r.address)) +
               DeviceTableModel::batchText(DeviceTableModel::BatchState::NotConfirmed) +
               tr(" (not seen again in time)");
    case BatchIpResult::Failed:
        return where + ": " +
               tr("failed: %1")
                   .arg(QCoreApplication::translate(
                       "BatchIpJob", batchip::stepText(r.step).toUtf8().constData()));
    case BatchIpResult::Skipped:
        return where + ": " +
               tr("skipped: %1")
                   .arg(QCoreApplication::translate(
                       "BatchIpJob", batchip::stepText(r.step).toUtf8().constData()));
    case BatchIpResult::Pending:
        break;
    }
    return where;
}

void BatchIpJob::run(std::shared_ptr<Shared> shared)
{
    const BatchIpSettings &settings = shared->settings;
    const int total = (int)shared->targets.size();
    QVector<BatchIpResult> results;
    for (const Target &t : shared->targets) {
        BatchIpResult r;
        r.serial = deviceSerial(*t.device);
        r.host = QString::fromUtf8(deviceHost(*t.device));
        results << r;
    }

    struct Waiting {
        int index;
        DevicePtr device; // working copy; its address is the one to ask at
        std::string key;
        Clock::time_point changed, deadline, nextPoll;
    };
    std::list<Waiting> waiting;

    // Host byte order, so that adding 1 carries into the next byte.
    uint32_t counter = ntohl(get_address_by_name(settings.startIp.toUtf8().constData()));
    bool exhausted = false; // 255.255.255.255 was given away; 0.0.0.0 is no address
    for (int i = 0; i < total; i++) {
        BatchIpResult &r = results[i];
        if (shared->cancelled) {
            r.outcome = BatchIpResult::Skipped;
            r.step = batchip::Step::Cancelled;
            shared->postResult(r);
            continue;
        }
        const QString host = r.host;
        shared->post([i, total, host](BatchIpJob *job) { emit job->progress(i, total, host); });
        const QString serial = r.serial;
        shared->post([serial](BatchIpJob *job) {
            emit job->cameraState(serial, int(DeviceTableModel::BatchState::Running));
        });

        const Target &target = shared->targets[i];
        DevicePtr device = workingCopy(*target.device);
        setCredential(device.get(), shared->registry->credentialFor(target.endpointKey));
        const QByteArray hostBytes = deviceHost(*device);

        batchip::Step step = batchip::Step::None;
        const Clock::time_point started = Clock::now(); // sightings from here on count
        ONVIF_NETWORK_INTERFACE iface;
        memset(&iface, 0, sizeof(iface));
        if (!settings.dhcp && exhausted) {
            appLog("no address left after 255.255.255.255, device ip:", hostBytes);
            r.outcome = BatchIpResult::Skipped;
            r.step = batchip::Step::NoAddressLeft;
            shared->postResult(r);
            continue;
        }
        if (!batchip::readInterface(device.get(), &iface)) {
            appLog("get network interface info fail, device ip:", hostBytes);
            step = batchip::Step::ReadInterfaces;
        } else if (settings.dhcp) {
            step = batchip::applyDhcp(device.get(), iface);
            if (step != batchip::Step::None)
                appLog("set dhcp for device fail, device ip:", hostBytes);
        } else {
            r.address = QString::fromLatin1(get_ip_str(htonl(counter)));
            step = batchip::applyStatic(device.get(), iface, r.address, settings.netmask,
                                        settings.gateway, settings.firstDns, settings.secondDns);
            if (step != batchip::Step::None) {
                appLog(batchip::stepText(step), ", device ip:", hostBytes);
                r.address.clear();
            } else if (counter == 0xFFFFFFFFu) {
                exhausted = true;
            } else {
                counter++;
            }
        }
        if (step != batchip::Step::None) {
            r.outcome = BatchIpResult::Failed;
            r.step = step;
            shared->postResult(r);
            continue;
        }
        shared->post([serial](BatchIpJob *job) {
            emit job->cameraState(serial, int(DeviceTableModel::BatchState::Confirming));
        });
        // Asked at the address it should have now, and only there: a fresh
        // record, without the service addresses its capabilities named.
        DevicePtr asked = newDeviceRecord();
        asked->binfo = device->binfo;
        asked->time_type = device->time_type;
        asked->device_time = device->device_time;
        asked->time_stamp = device->time_stamp;
        setCredential(asked.get(), shared->registry->credentialFor(target.endpointKey));
        if (!settings.dhcp)
            copyField(asked->binfo.xaddr.host, sizeof(asked->binfo.xaddr.host), r.address);
        Waiting w;
        w.index = i;
        w.device = asked;
        w.key = target.endpointKey;
        w.changed = started;
        w.deadline = Clock::now() + std::chrono::milliseconds(settings.confirmTimeoutMs);
        w.nextPoll = Clock::now();
        waiting.push_back(w);
    }

    // The changed cameras answer the next probe at their new addresses.
    if (!waiting.empty()) send_probe_req();
    shared->post([total](BatchIpJob *job) { emit job->progress(total, total, QString()); });
    Clock::time_point nextProbe = Clock::now() + kProbeEvery;
    DeviceRegistry &registry = *shared->registry;
    while (!waiting.empty()) {
        for (auto it = waiting.begin(); it != waiting.end();) {
            BatchIpResult &r = results[it->index];
            bool confirmed;
            if (settings.dhcp) {
                Clock::time_point seen = registry.lastSeenElsewhere(it->key, r.host.toStdString());
                confirmed = seen >= it->changed && seen <= it->deadline;
            } else {
                Clock::time_point seen = registry.lastSeenAt(it->key, r.address.toStdString());
                confirmed = seen >= it->changed && seen <= it->deadline;
            }
            const Clock::time_point now = Clock::now();
            if (!confirmed && now < it->deadline && now >= it->nextPoll && !shared->cancelled) {
                it->nextPoll = now + kPollEvery;
                ONVIF_NETWORK_INTERFACE now_if;
                if (firstInterface(it->device.get(), &now_if))
                    confirmed = settings.dhcp
                                    ? now_if.dhcp != 0
                                    : r.address == QString::fromLatin1(now_if.ipv4_address);
            }
            if (confirmed) {
                r.outcome = BatchIpResult::Confirmed;
            } else if (Clock::now() >= it->deadline || shared->cancelled) {
                r.outcome = BatchIpResult::NotConfirmed;
            } else {
                ++it;
                continue;
            }
            shared->postResult(r);
            it = waiting.erase(it);
        }
        if (waiting.empty()) break;
        if (Clock::now() >= nextProbe) {
            send_probe_req();
            nextProbe = Clock::now() + kProbeEvery;
        }
        // Up to a poll interval, or until discovery saw something.
        const uint64_t seen = registry.sightingCount();
        for (int k = 0; k < 10 && !shared->cancelled && registry.sightingCount() == seen; k++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    shared->post([results](BatchIpJob *job) {
        job->outcome = results;
        job->running = false;
        emit job->finished();
    });
}
