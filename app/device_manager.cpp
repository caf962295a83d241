#include "app/device_manager.h"

#include <cstring>

#include "app/app_log.h"
#include "http/http_msg.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_calls.h"
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

// A fixed-size text field up to its terminator (or its end when it has none).
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

// A zero-filled record whose result lists are freed with it.
std::shared_ptr<ONVIF_DEVICE> newDevice()
{
    auto *raw = new ONVIF_DEVICE;
    memset(raw, 0, sizeof(*raw));
    return std::shared_ptr<ONVIF_DEVICE>(raw, [](ONVIF_DEVICE *p) {
        onvif_free_device(p);
        delete p;
    });
}

} // namespace

DeviceManager::DeviceManager(QObject *parent) : QObject(parent), probeInterval(10), exitFlag(false)
{
}

DeviceManager::~DeviceManager()
{
    stop();
}

void DeviceManager::start()
{
    network_init();
    sys_buf_init(200);
    http_msg_buf_init(400);
    if (worker.joinable()) {
        appLog("device manager already started");
        return;
    }
    exitFlag = false;
    worker = std::thread(&DeviceManager::run, this);
}

// Clock, device information and capabilities, each only after the one before
// succeeded; logs the failed step.
bool DeviceManager::queryDevice(ONVIF_DEVICE *device)
{
    if (!GetSystemDateAndTime(device)) {
        logBinfo("get system data and time fail, endpoint reference:", device->binfo);
        return false;
    }
    if (!GetDeviceInformation(device)) {
        logBinfo("get device info fail, endpoint reference:", device->binfo);
        return false;
    }
    if (!GetCapabilities(device)) {
        logBinfo("get capability fail, endpoint reference:", device->binfo);
        return false;
    }
    return true;
}

void DeviceManager::run()
{
    set_probe_cb(probeCallback, this);
    if (start_probe(nullptr, probeInterval) != 0) appLog("start probe fail");
    send_probe_req();

    while (!exitFlag) {
        std::shared_ptr<DEVICE_BINFO> binfo = pendingQueue.pop(100);
        if (!binfo) continue;

        std::shared_ptr<ONVIF_DEVICE> device = newDevice();
        device->binfo = *binfo;
        if (!queryDevice(device.get())) continue;

        const ONVIF_DEVICE_INFORMATION &info = device->device_information;
        std::string key = fieldText(info.serial_number, sizeof(info.serial_number));

        size_t count;
        {
            std::lock_guard<std::mutex> guard(devicesMutex);
            count = devices.count(key);
        }
        std::shared_ptr<ONVIF_DEVICE> previous = getDeviceByKey(key);
        {
            std::lock_guard<std::mutex> guard(devicesMutex);
            devices[key] = device;
        }

        std::string host = fieldText(device->binfo.xaddr.host, sizeof(device->binfo.xaddr.host));
        appLog("receive device info, device ip", host);

        QString serial = QString::fromUtf8(key.data(), (int)key.size());
        if (count == 0) {
            emit probDevice(serial);
        } else if (previous) {
            const ONVIF_DEVICE_INFORMATION &old = previous->device_information;
            std::string oldHost =
                fieldText(previous->binfo.xaddr.host, sizeof(previous->binfo.xaddr.host));
            bool changed = oldHost != host;
            if (!changed)
                changed = fieldText(old.firmware_version, sizeof(old.firmware_version)) !=
                          fieldText(info.firmware_version, sizeof(info.firmware_version));
            if (changed) emit deviceInfoChange(serial);
        }
    }
}

void DeviceManager::stop()
{
    // The worker is joined before discovery is stopped: it starts discovery
    // itself, so stopping discovery first could miss a worker that has not
    // got that far yet and leave discovery running with a callback into a
    // manager that is about to go away.
    if (!worker.joinable()) return;
    exitFlag = true;
    worker.join();
    stop_probe();
    set_probe_cb(nullptr, nullptr);
}

void DeviceManager::onProbeMessage(const DEVICE_BINFO *binfo, int kind)
{
    if (!binfo) return;
    if (kind == PROBE_MSG_MATCH || kind == PROBE_MSG_HELLO) {
        pendingQueue.push(std::make_shared<DEVICE_BINFO>(*binfo));
        logBinfo("push device to queue, endpoint reference:", *binfo);
    } else if (kind == PROBE_MSG_BYE) {
        onDeviceBye(binfo);
    }
}

void DeviceManager::onDeviceBye(const DEVICE_BINFO *binfo)
{
    if (!binfo) return;
    std::string epr = fieldText(binfo->endpoint_address, sizeof(binfo->endpoint_address));
    bool found = false;
    std::string key;
    {
        std::lock_guard<std::mutex> guard(devicesMutex);
        for (const auto &entry : devices) {
            const DEVICE_BINFO &b = entry.second->binfo;
            if (fieldText(b.endpoint_address, sizeof(b.endpoint_address)) == epr) {
                key = entry.first;
                found = true;
                break;
            }
        }
        if (found) devices.erase(key);
    }
    if (found) emit deviceOffline(QString::fromUtf8(key.data(), (int)key.size()));
}

std::shared_ptr<ONVIF_DEVICE> DeviceManager::getDeviceByKey(const std::string &key)
{
    std::lock_guard<std::mutex> guard(devicesMutex);
    auto it = devices.find(key);
    return it == devices.end() ? nullptr : it->second;
}

std::shared_ptr<ONVIF_DEVICE> DeviceManager::getDevice(const QString &serialNumber)
{
    return getDeviceByKey(serialNumber.toUtf8().toStdString());
}

void DeviceManager::removeDevice(const QString &serialNumber)
{
    std::string key = serialNumber.toUtf8().toStdString();
    std::lock_guard<std::mutex> guard(devicesMutex);
    devices.erase(key);
}

void DeviceManager::searchDevice()
{
    send_probe_req();
}
