// The main window: the action buttons and the filter box over the device
// table. It wires the device manager (which owns the table model), the
// credentials, the firmware-upgrade scheduler and the batch IP job to the
// widgets and displays what they report; the work itself runs elsewhere and
// the GUI thread never waits on the network.
//
// The class is implemented in five files:
//   upgrade_device_widget.cpp          construction, wiring, remembered layout,
//                                      destruction, About, credentials
//   upgrade_device_widget_table.cpp    the device table (selection, refresh, context menu)
//   upgrade_device_widget_batchip.cpp  batch IP editing (dialog, progress, summary)
//   upgrade_device_widget_upgrade.cpp  firmware upgrade (file choice)
//   upgrade_device_widget_sites.cpp    export, add by address, device details
#ifndef APP_UPGRADE_DEVICE_WIDGET_H
#define APP_UPGRADE_DEVICE_WIDGET_H

#include <QPointer>
#include <QString>
#include <QWidget>

#include <list>
#include <memory>

#include "app/add_address_dialog.h"
#include "app/address_search.h"
#include "app/batch_ip_job.h"
#include "app/credential_store.h"
#include "app/device_details.h"
#include "app/device_filter_proxy.h"
#include "app/device_manager.h"
#include "app/device_table_model.h"
#include "app/upgrade_scheduler.h"
#include "onvif/onvif_device.h"

class ExportJob;
class QDialog;
class QModelIndex;
class QPoint;

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

    // ---- export, add by address, details (upgrade_device_widget_sites.cpp) ----
    // Writes the rows shown (only the checked ones when onlyChecked), in the
    // order shown, to path as CSV; the notice line tells the outcome.
    void exportTo(const QString &path, bool onlyChecked);
    ExportJob *currentExport() const { return exportJob; }
    // Searches the addresses (remembering where cameras answered); a search
    // under way is left to finish and false is returned.
    bool startAddressSearch(const QVector<quint32> &addresses);
    AddressSearch *addressSearch() const { return search; }
    // The details of the camera in the model's row.
    void showDetails(int sourceRow);
    DeviceDetailsDialog *detailsDialog() const { return details; }
    // Upgrades the devices through the ONVIF device service with the file.
    void upgradeThroughOnvif(const std::list<std::shared_ptr<ONVIF_DEVICE>> &devices,
                             const QString &file);

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
    void onExport();
    void onAddByAddress();

  private:
    void restoreLayout();
    void saveLayout();
    void searchRemembered();
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
    ExportJob *exportJob = nullptr;
    AddressSearch *search = nullptr;
    QPointer<AddAddressDialog> addDialog;
    QPointer<DeviceDetailsDialog> details;
};

#endif
