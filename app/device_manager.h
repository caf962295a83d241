// The device manager: runs WS-Discovery, queries every device that answers
// (clock, device information, capabilities) on a worker thread and keeps the
// devices that answered all three in a map keyed by serial number. New,
// changed and departed devices are reported by three signals carrying the
// serial number; they are emitted on threads other than the GUI thread.
#ifndef APP_DEVICE_MANAGER_H
#define APP_DEVICE_MANAGER_H

#include <QObject>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/blocking_queue.h"
#include "discovery/probe.h"
#include "onvif/onvif_device.h"

class DeviceManager : public QObject
{
    Q_OBJECT
  public:
    explicit DeviceManager(QObject *parent = nullptr);
    ~DeviceManager() override; // stops first when still running

    // Life cycle: start (socket layer, library buffers, worker), run (the
    // worker's loop), stop (worker joined, discovery stopped).
    void start();
    void run();
    void stop();

    // Discovery callback targets (discovery thread; binfo valid during the call).
    void onProbeMessage(const DEVICE_BINFO *binfo, int kind);
    void onDeviceBye(const DEVICE_BINFO *binfo);

    // The map: lookup (null when unknown), removal without a signal.
    std::shared_ptr<ONVIF_DEVICE> getDevice(const QString &serialNumber);
    void removeDevice(const QString &serialNumber);

    // One more Probe pair on every discovery socket.
    void searchDevice();

  signals:
    void probDevice(QString ip);
    void deviceOffline(QString ip);
    void deviceInfoChange(QString ip);

  private:
    std::shared_ptr<ONVIF_DEVICE> getDeviceByKey(const std::string &key);
    bool queryDevice(ONVIF_DEVICE *device);

    int32_t probeInterval;
    std::map<std::string, std::shared_ptr<ONVIF_DEVICE>> devices;
    std::mutex devicesMutex;
    BlockingQueue<DEVICE_BINFO> pendingQueue;
    std::thread worker;
    std::atomic<bool> exitFlag;
};

#endif
