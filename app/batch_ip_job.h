// Batch IP editing off the GUI thread: a job that configures the selected
// cameras one after another on a thread of its own, then waits until each
// changed camera is seen again at its new address.
//
// Per camera (table order): the interfaces are read, then either DHCP is
// switched on, or gateway → DNS (when a first DNS is given) → static address
// counted up from the start address; a camera whose configuration failed
// uses up no address. Cancel takes effect before the next camera, never in
// the middle of one camera's sequence.
//
// Confirmation: a changed camera counts as confirmed only when it is seen
// again at its new address (a Hello or ProbeMatch there, or its interfaces
// read there show the address; for DHCP: its interfaces show DHCP on, or it
// was seen at another address) within the time limit (default 60 s);
// otherwise it is reported 未确认, never as success.
#ifndef APP_BATCH_IP_JOB_H
#define APP_BATCH_IP_JOB_H

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "app/device_registry.h"
#include "onvif/tds_types.h"

class GuiGate;

// The steps of one camera's configuration, for results and their texts.
namespace batchip
{
enum class Step { None, ReadInterfaces, Gateway, Dns, Address, Dhcp, NoAddressLeft, Cancelled };

// "gateway settings failed", ... (empty for None).
QString stepText(Step step);

// GetNetworkInterfaces; the first interface, or false (with the log lines)
// when it cannot be read or lists none.
bool readInterface(ONVIF_DEVICE *device, ONVIF_NETWORK_INTERFACE *first);

// Gateway, DNS (when firstDns is set), then the address; the step that failed.
Step applyStatic(ONVIF_DEVICE *device, const ONVIF_NETWORK_INTERFACE &iface, const QString &address,
                 const QString &mask, const QString &gateway, const QString &firstDns,
                 const QString &secondDns);

// DHCP on, with the current address and prefix length 24.
Step applyDhcp(ONVIF_DEVICE *device, const ONVIF_NETWORK_INTERFACE &iface);
} // namespace batchip

struct BatchIpSettings {
    bool dhcp = false;
    QString startIp, netmask, gateway, firstDns, secondDns;
    int confirmTimeoutMs = 60000;
};

struct BatchIpResult {
    enum Outcome { Pending, Confirmed, NotConfirmed, Failed, Skipped };
    QString serial;
    QString host;    // where it was
    QString address; // where it was sent (static), empty for DHCP
    Outcome outcome = Pending;
    batchip::Step step = batchip::Step::None; // Failed and Skipped: why
};

class BatchIpJob : public QObject
{
    Q_OBJECT
  public:
    // One camera: its published record (copied before use) and endpoint key.
    struct Target {
        std::shared_ptr<ONVIF_DEVICE> device;
        std::string endpointKey;
    };

    explicit BatchIpJob(std::shared_ptr<DeviceRegistry> registry, QObject *parent = nullptr);
    ~BatchIpJob() override; // cancels; the thread ends on its own

    void start(const std::vector<Target> &targets, const BatchIpSettings &settings);
    void cancel();
    bool isRunning() const { return running; }
    const QVector<BatchIpResult> &results() const { return outcome; }

    // A text of one result for the summary.
    static QString describe(const BatchIpResult &result);

  signals:
    // Before camera `index` (0-based) of `total`; index == total: waiting for confirmations.
    void progress(int index, int total, QString host);
    // A camera's new state (DeviceTableModel::BatchState as int).
    void cameraState(QString serialNumber, int state);
    void finished();

  private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::shared_ptr<DeviceRegistry> registry;
    std::shared_ptr<GuiGate> gate;
    std::shared_ptr<Shared> shared;
    QVector<BatchIpResult> outcome;
    bool running = false;
};

#endif
