// The main window: four buttons over the device table. It owns the device
// manager, the table model with its select-all header, the interface list of
// batch IP editing and the firmware-upgrade queue with its scheduler thread.
//
// The class is implemented in four files:
//   upgrade_device_widget.cpp          construction, wiring, resize, destruction, About
//   upgrade_device_widget_table.cpp    the device table (rows, selection, refresh)
//   upgrade_device_widget_batchip.cpp  batch IP editing
//   upgrade_device_widget_upgrade.cpp  firmware upgrade (file choice, scheduler, upload threads)
#ifndef APP_UPGRADE_DEVICE_WIDGET_H
#define APP_UPGRADE_DEVICE_WIDGET_H

#include <QByteArray>
#include <QPointer>
#include <QStandardItemModel>
#include <QString>
#include <QWidget>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "app/blocking_queue.h"
#include "app/device_manager.h"
#include "onvif/onvif_device.h"
#include "onvif/tds_types.h"

class QResizeEvent;

namespace Ui
{
class UpgradeDeviceWidget;
}

class UpgradeDeviceWidget : public QWidget
{
    Q_OBJECT
  public:
    explicit UpgradeDeviceWidget(QWidget *parent = nullptr);
    ~UpgradeDeviceWidget() override;

    // ---- device table (upgrade_device_widget_table.cpp) ----
    // Rows are keyed by the serial number in column 2 (first exact match).
    void setupTable();
    void addDeviceRow(const QString &serialNumber);
    void removeDeviceRow(const QString &serialNumber);
    int findDeviceRow(const QString &serialNumber) const; // -1 when no row matches
    // Column 7 of the device's row; GUI thread only (other threads queue a call).
    Q_INVOKABLE void setUpgradeStatus(const QString &serialNumber, const QString &status);
    // Records of the checked rows in row order (rows whose record is gone are skipped).
    std::list<std::shared_ptr<ONVIF_DEVICE>> selectedDevices();
    // Both action buttons enabled exactly when a row is checked.
    void updateActionButtons();
    // Drops every row not being upgraded, from the table and from the manager.
    void refreshDeviceList();
    // "球机" / "枪机" for transmitters with / without PTZ, "录像机" otherwise.
    static QString productForm(const std::shared_ptr<ONVIF_DEVICE> &device);

    // ---- batch IP editing (upgrade_device_widget_batchip.cpp) ----
    // GetNetworkInterfaces into netInterfaces (the old list is freed); false on failure.
    bool fetchNetworkInterfaces(const std::shared_ptr<ONVIF_DEVICE> &device);
    // Gateway, DNS (when firstDns is set), then the static address; false at the first failure.
    bool applyStaticSettings(const std::shared_ptr<ONVIF_DEVICE> &device, const QString &address,
                             const QString &mask, const QString &gateway, const QString &firstDns,
                             const QString &secondDns);

    // ---- firmware upgrade (upgrade_device_widget_upgrade.cpp) ----
    // The scheduler thread's loop: pops upgradeQueue (100 ms) until stopScheduler.
    void upgradeScheduler();
    // One device's upgrade (login, upload, status texts, new probe); the result
    // of tiv_ipc_do_update.
    int upgradeDevice(std::shared_ptr<ONVIF_DEVICE> device);
    // The same without touching the window: detached upgrade threads may
    // outlive it, so they take copies of what they need and reach the table
    // only through a queued call that checks the window pointer on the GUI thread.
    static int runUpgrade(std::shared_ptr<ONVIF_DEVICE> device, QByteArray firmwareFile,
                          std::shared_ptr<DeviceManager> manager,
                          QPointer<UpgradeDeviceWidget> window);
    // A copy of firmwarePath taken under firmwarePathMutex.
    QString currentFirmwarePath();

    // ---- for tests and the helpers above ----
    DeviceManager *manager() const { return deviceManager.get(); }
    QStandardItemModel *deviceModel() const { return model.get(); }

  public slots:
    void onBatchEditIp();
    void onAbout();
    void onUpgradeDeviceFireware();
    void onSearchDevice();
    void onProbDevice(QString serialNumber);
    void onDeviceOffline(QString serialNumber);
    void onDeviceInfoChange(QString serialNumber);
    void onSelectDevice(bool select);
    void onSelectAllDevice(bool select);

  protected:
    // Lays the form out again: layout widget (w - 20) x (h - 30), column 0
    // 50 pixels, columns 1..7 a seventh of the rest each.
    void resizeEvent(QResizeEvent *event) override;

  private:
    Ui::UpgradeDeviceWidget *ui;
    std::shared_ptr<DeviceManager> deviceManager;
    std::shared_ptr<QStandardItemModel> model;
    NetworkInterfaceList *netInterfaces;
    QString firmwarePath;
    std::mutex firmwarePathMutex; // serialises firmwarePath between the GUI and upgrade threads
    std::thread schedulerThread;
    BlockingQueue<ONVIF_DEVICE> upgradeQueue;
    std::atomic<bool> stopScheduler;
};

#endif
