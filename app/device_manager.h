// The device manager: runs WS-Discovery, queries every device that answers
// (clock, device information, capabilities) on a bounded pool of query
// workers, keeps the devices that answered all three (by serial number) and
// the table model that shows them.
//
// The pool: queryWorkers() queries at a time. A query that has waited on one
// camera for over a second (a camera that answers discovery but not SOAP
// sits there for the whole transaction time-out) stops counting, and a
// worker is added in its place, up to four times the pool size in threads:
// silent cameras each hold a thread, never the queries of the others.
// Workers beyond the pool size end when they find nothing to do.
//
// The shared state lives in a DeviceRegistry (see there for when a device is
// queried again). Workers report through a gate to this object's thread,
// where the model is updated and the signals are emitted; all three signals
// carry the serial number.
//
// stop() never waits for the network: discovery is stopped (about a second),
// queued queries are dropped, and a worker inside a transaction finishes it
// on its own and ends without reporting.
#ifndef APP_DEVICE_MANAGER_H
#define APP_DEVICE_MANAGER_H

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <string>

#include "app/device_registry.h"
#include "app/device_table_model.h"
#include "discovery/probe.h"
#include "onvif/onvif_device.h"

class GuiGate;

class DeviceManager : public QObject
{
    Q_OBJECT
  public:
    static const int kDefaultQueryWorkers = 8;

    explicit DeviceManager(QObject *parent = nullptr);
    ~DeviceManager() override; // stops first when still running

    // Number of query workers (1..64), taken by the next start.
    void setQueryWorkers(int count);
    int queryWorkers() const { return workerCount; }

    // Life cycle: start (socket layer, library buffers, discovery, workers), stop.
    void start();
    void stop();

    // Discovery callback target (discovery thread; binfo valid during the call).
    void onProbeMessage(const DEVICE_BINFO *binfo, int kind);

    // The map: lookup (null when unknown), removal without a signal.
    std::shared_ptr<ONVIF_DEVICE> getDevice(const QString &serialNumber);
    void removeDevice(const QString &serialNumber);

    // The user searches: every device is queried again at its next answer,
    // and one more Probe pair goes out on every discovery socket.
    void searchDevice();
    // Only the Probe pair (known devices are not queried again).
    void probe();
    // Drops every table row without an upgrade or batch change under way,
    // from the table and from the map (they come back as they answer).
    void dropIdleRows();
    // Queries one device again soon (its endpoint key, see the model).
    void recheck(const QString &endpointKey);
    // Credentials for the next queries; devices that refused are asked again.
    void setCredentials(const Credential &common, const std::map<std::string, Credential> &byKey);

    DeviceTableModel *model() const { return tableModel; }
    std::shared_ptr<DeviceRegistry> registry() const { return shared; }

  signals:
    void probDevice(QString ip);
    void deviceOffline(QString ip);
    void deviceInfoChange(QString ip);
    // A camera refused our credentials (its endpoint key).
    void deviceNeedsAuth(QString endpointKey);

  private:
    struct Pool;
    static void queryLoop(std::shared_ptr<DeviceRegistry> registry, std::shared_ptr<GuiGate> gate,
                          std::shared_ptr<Pool> pool, DeviceManager *owner);
    static void supervise(std::shared_ptr<DeviceRegistry> registry, std::shared_ptr<GuiGate> gate,
                          std::shared_ptr<Pool> pool, DeviceManager *owner);
    void apply(const QueryReport &report);
    void applyBye(const ByeReport &report);

    std::shared_ptr<DeviceRegistry> shared;
    std::shared_ptr<GuiGate> gate;
    DeviceTableModel *tableModel;
    int32_t probeInterval;
    int workerCount;
    bool running;
};

#endif
