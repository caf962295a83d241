// The main window: the action buttons and the filter box over the device
// table. It wires the device manager (which owns the table model), the
// credentials, the firmware-upgrade scheduler and the batch IP job to the
// widgets and displays what they report; the work itself runs elsewhere and
// the GUI thread never waits on the network.
//
// The class is implemented in four files:
//   upgrade_device_widget.cpp          construction, wiring, resize, destruction, About,
//   credentials upgrade_device_widget_table.cpp    the device table (selection, refresh, context
//   menu) upgrade_device_widget_batchip.cpp  batch IP editing (dialog, progress, summary)
//   upgrade_device_widget_upgrade.cpp  firmware upgrade (file choice)
#ifndef APP_UPGRADE_DEVICE_WIDGET_H
#define APP_UPGRADE_DEVICE_WIDGET_H

#include <QPointer>
#include <QString>
#include <QWidget>

#include <list>
#include <memory>

#include "app/batch_ip_job.h"
#include "app/credential_store.h"
#include "app/device_filter_proxy.h"
#include "app/device_manager.h"
#include "app/device_table_model.h"
#include "app/upgrade_scheduler.h"
#include "onvif/onvif_device.h"

class QDialog;
class QPoint;
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
    ~UpgradeDeviceWidget() override; // never waits for a camera

    // ---- device table (upgrade_device_widget_table.cpp) ----
    void setupTable();
    // Records of the checked rows the filter shows, in the order shown.
    std::list<std::shared_ptr<ONVIF_DEVICE>> selectedDevices();
    // Both action buttons enabled exactly when a shown row is checked.
    void updateActionButtons();
    // Drops every row without an upgrade or batch change under way, from the
    // table and from the manager.
    void refreshDeviceList();

    // ---- batch IP editing (upgrade_device_widget_batchip.cpp) ----
    // Runs a batch on the given devices (the dialog's OK does this).
    void startBatch(const BatchIpSettings &settings,
                    const std::list<std::shared_ptr<ONVIF_DEVICE>> &devices);
    void setBatchConfirmTimeout(int ms) { batchConfirmMs = ms; }
    BatchIpJob *currentBatch() const { return batchJob; }

    // ---- for tests and the helpers above ----
    DeviceManager *manager() const { return deviceManager.get(); }
    DeviceTableModel *deviceModel() const { return deviceManager->model(); }
    DeviceFilterProxy *proxyModel() const { return proxy; }
    CredentialStore *credentialStore() const { return credentials; }
    UpgradeScheduler *upgradeScheduler() const { return upgrades.get(); }
    QString currentFirmwarePath() const { return firmwarePath; }

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
    // The common credentials, and one camera's (by its endpoint key).
    void onCredentials();
    void onCameraCredentials(const QString &endpointKey, const QString &host);
    void onTableContextMenu(const QPoint &pos);

  protected:
    // Lays the form out again: layout widget (w - 20) x (h - 30), column 0
    // 50 pixels, columns 1..7 a seventh of the rest each.
    void resizeEvent(QResizeEvent *event) override;

  private:
    void onBatchFinished();
    void showNotice(const QString &text);

    Ui::UpgradeDeviceWidget *ui;
    std::shared_ptr<DeviceManager> deviceManager;
    DeviceFilterProxy *proxy;
    CredentialStore *credentials;
    std::unique_ptr<UpgradeScheduler> upgrades;
    BatchIpJob *batchJob = nullptr;
    QPointer<QDialog> batchProgress;
    int batchConfirmMs = 60000;
    QString firmwarePath;
};

#endif
