// The device table: view set-up, the select-all header, button enabling, the
// search button's refresh and the rows' context menu. The rows themselves
// are the device manager's model.
#include "app/upgrade_device_widget.h"

#include <QFileDialog>
#include <QMenu>
#include <QStandardPaths>

#include "app/device_head_view.h"
#include "ui_upgrade_device_widget.h"

void UpgradeDeviceWidget::setupTable()
{
    proxy->setSourceModel(deviceManager->model());
    QTableView *view = ui->tableViewOnVif;
    view->setModel(proxy);
    auto *header = new DeviceHeadView(Qt::Horizontal);
    view->setHorizontalHeader(header);
    connect(header, &DeviceHeadView::checked, this, &UpgradeDeviceWidget::onSelectAllDevice);
    // A click on a header sorts by it; until then rows stay in the order the
    // devices came.
    header->setSectionsClickable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    view->setSortingEnabled(true);

    // The buttons follow the check boxes and the rows the filter shows.
    auto update = [this]() { updateActionButtons(); };
    connect(proxy, &QAbstractItemModel::dataChanged, this, update);
    connect(proxy, &QAbstractItemModel::rowsInserted, this, update);
    connect(proxy, &QAbstractItemModel::rowsRemoved, this, update);
    connect(proxy, &QAbstractItemModel::modelReset, this, update);
    connect(proxy, &QAbstractItemModel::layoutChanged, this, update);
}

void UpgradeDeviceWidget::onProbDevice(QString serialNumber)
{
    Q_UNUSED(serialNumber); // the manager has put the row in place
}

void UpgradeDeviceWidget::onDeviceInfoChange(QString serialNumber)
{
    Q_UNUSED(serialNumber);
}

void UpgradeDeviceWidget::onDeviceOffline(QString serialNumber)
{
    Q_UNUSED(serialNumber);
    updateActionButtons();
}

void UpgradeDeviceWidget::onSelectDevice(bool select)
{
    Q_UNUSED(select);
    updateActionButtons();
}

void UpgradeDeviceWidget::onSelectAllDevice(bool select)
{
    // What the filter shows: a hidden camera is never changed by surprise.
    QVector<int> rows;
    for (int row = 0; row < proxy->rowCount(); row++)
        rows << proxy->mapToSource(proxy->index(row, 0)).row();
    deviceModel()->setChecked(rows, select);
    updateActionButtons();
}

void UpgradeDeviceWidget::onSearchDevice()
{
    refreshDeviceList();
    deviceManager->searchDevice();
    // Cameras found by address answer no multicast: they are asked again there.
    searchRemembered();
}

void UpgradeDeviceWidget::updateActionButtons()
{
    bool any = false;
    for (int row = 0; row < proxy->rowCount() && !any; row++)
        any = deviceModel()->isChecked(proxy->mapToSource(proxy->index(row, 0)).row());
    const bool batchRunning = batchJob && batchJob->isRunning();
    ui->buttonUpgrade->setEnabled(any);
    ui->buttonBatchEditIp->setEnabled(any && !batchRunning);
}

std::list<std::shared_ptr<ONVIF_DEVICE>> UpgradeDeviceWidget::selectedDevices()
{
    std::list<std::shared_ptr<ONVIF_DEVICE>> out;
    DeviceTableModel *model = deviceModel();
    for (int row = 0; row < proxy->rowCount(); row++) {
        const int source = proxy->mapToSource(proxy->index(row, 0)).row();
        if (!model->isChecked(source)) continue;
        std::shared_ptr<ONVIF_DEVICE> device = deviceManager->getDevice(model->serialAt(source));
        if (device) out.push_back(device);
    }
    return out;
}

void UpgradeDeviceWidget::refreshDeviceList()
{
    deviceManager->dropIdleRows();
    updateActionButtons();
}

void UpgradeDeviceWidget::onTableContextMenu(const QPoint &pos)
{
    QTableView *view = ui->tableViewOnVif;
    const QModelIndex index = view->indexAt(pos);
    if (!index.isValid()) return;
    const int row = proxy->mapToSource(index).row();
    const QString key = deviceModel()->endpointAt(row);
    const QString host = deviceModel()->hostAt(row);
    QMenu menu(this);
    menu.setObjectName("rowMenu");
    QAction *detailsAction = menu.addAction(tr("设备详情…"));
    detailsAction->setObjectName("actionDetails");
    QAction *onvifAction = menu.addAction(tr("通过ONVIF升级…"));
    onvifAction->setObjectName("actionOnvifUpgrade");
    onvifAction->setToolTip(tr("用ONVIF设备服务升级已勾选的摄像机(没有勾选时升级这一台)"));
    onvifAction->setEnabled(deviceModel()->isListed(row));
    QAction *action = menu.addAction(tr("凭据…"));
    action->setObjectName("actionCameraCredentials");
    QAction *chosen = menu.exec(view->viewport()->mapToGlobal(pos));
    if (chosen == action) {
        onCameraCredentials(key, host);
    } else if (chosen == detailsAction) {
        showDetails(row);
    } else if (chosen == onvifAction) {
        std::list<std::shared_ptr<ONVIF_DEVICE>> devices = selectedDevices();
        if (devices.empty()) {
            std::shared_ptr<ONVIF_DEVICE> one =
                deviceManager->getDevice(deviceModel()->serialAt(row));
            if (one) devices.push_back(one);
        }
        if (devices.empty()) return;
        const QString file = QFileDialog::getOpenFileName(
            this, tr("选择升级文件"),
            QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
            tr("File(*.bin);;All files(*.*)"));
        if (!file.isEmpty()) upgradeThroughOnvif(devices, file);
    }
}
