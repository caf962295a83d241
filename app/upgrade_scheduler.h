// Firmware upgrades: a bounded pool of upload threads (default 4 at once)
// fed by a queue, and the confirmation that the camera really runs a new
// firmware afterwards.
//
// A row goes 等待升级 (queued) → 正在升级 (uploading) → 等待确认 (uploaded;
// the camera is asked again every few seconds) → 升级成功 once the camera
// reports a firmware version other than before, or 升级未确认 when it has
// not within the time limit (default 10 min); 升级失败 when the login and
// upload did not complete.
//
// Destroying the scheduler cancels queued and running uploads and waits for
// the threads; a running transfer ends within about a second.
#ifndef APP_UPGRADE_SCHEDULER_H
#define APP_UPGRADE_SCHEDULER_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "app/blocking_queue.h"
#include "app/device_registry.h"

class DeviceManager;
class GuiGate;

class UpgradeScheduler : public QObject
{
    Q_OBJECT
  public:
    static const int kDefaultUploads = 4;
    static const int kDefaultConfirmMs = 10 * 60 * 1000;
    static const int kDefaultRecheckMs = 5000;

    explicit UpgradeScheduler(DeviceManager *manager, QObject *parent = nullptr);
    ~UpgradeScheduler() override;

    // Settings; the upload count is taken when the first upgrade starts the pool.
    void setMaxUploads(int count);
    int maxUploads() const { return uploads; }
    void setConfirmTimeout(int ms) { confirmMs = ms; }
    void setRecheckInterval(int ms);

    // How a camera is upgraded: through its web upgrade interface, falling
    // back to the ONVIF device service when that interface is missing (its
    // login answers 404); or through the device service alone
    // (StartFirmwareUpgrade, the upload delay, then the POST of the image
    // to the URI it returned).
    enum class Method { Auto, Onvif };

    // Queues the devices (their rows become 等待升级) with the file chosen now.
    void upgrade(const QList<std::shared_ptr<ONVIF_DEVICE>> &devices, const QString &firmwarePath,
                 Method method = Method::Auto);

    // Asks every upload to stop (no wait); the destructor also waits.
    void cancelAll();
    // Uploads running right now.
    int running() const { return active.load(); }

  signals:
    void uploadStarted(QString serialNumber);
    void uploadFinished(QString serialNumber, bool transferred);

  private:
    struct Task {
        QString serial;
        QString endpoint;
        QByteArray host;
        QByteArray file;
        QString firmwareBefore;
        Credential credential;
        Method method = Method::Auto;
        std::shared_ptr<ONVIF_DEVICE> device; // published record, read only
    };
    // The ONVIF path of one camera: true when the device took the image.
    bool upgradeThroughOnvif(const Task &task);
    void startPool();
    void uploadLoop();
    void onUploaded(const Task &task, bool transferred);
    void onTick();

    DeviceManager *manager;
    std::shared_ptr<GuiGate> gate;
    BlockingQueue<Task> queue;
    std::vector<std::thread> pool;
    std::atomic<bool> stopping{false};
    std::atomic<int> active{0};
    int uploads = kDefaultUploads;
    int confirmMs = kDefaultConfirmMs;
    QTimer tick;
};

#endif
