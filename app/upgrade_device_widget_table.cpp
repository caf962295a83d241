// The device table: one row per serial number, row check boxes, the
// select-all header, button enabling and the search button's refresh.
#include "app/upgrade_device_widget.h"

#include <QCheckBox>
#include <QStandardItem>
#include <QStringList>

#include <cstring>

#include "app/app_log.h"
#include "app/device_head_view.h"
#include "ui_upgrade_device_widget.h"

namespace
{

enum Column {
    ColCheck = 0,
    ColIp = 1,
    ColSerial = 2,
    ColName = 3,
    ColForm = 4,
    ColModel = 5,
    ColVersion = 6,
    ColStatus = 7,
};

// A device-record text field (bounded, taken as UTF-8).
QString fieldText(const char *field, size_t size)
{
    return QString::fromUtf8(field, (int)strnlen(field, size));
}

QString hostOf(const ONVIF_DEVICE &device)
{
    return fieldText(device.binfo.xaddr.host, sizeof(device.binfo.xaddr.host));
}

} // namespace

void UpgradeDeviceWidget::setupTable()
{
    model->setHorizontalHeaderLabels(
        QStringList() << ""
                      << "IP" << QString::fromUtf8("序列号") << QString::fromUtf8("设备名称")
                      << QString::fromUtf8("产品形态") << QString::fromUtf8("型号")
                      << QString::fromUtf8("版本号") << QString::fromUtf8("升级状态"));
    ui->tableViewOnVif->setModel(model.get());
    auto *header = new DeviceHeadView(Qt::Horizontal);
    ui->tableViewOnVif->setHorizontalHeader(header);
    connect(header, &DeviceHeadView::checked, this, &UpgradeDeviceWidget::onSelectAllDevice);
}

int UpgradeDeviceWidget::findDeviceRow(const QString &serialNumber) const
{
    for (int row = 0; row < model->rowCount(); row++) {
        QStandardItem *item = model->item(row, ColSerial);
        if (item && item->text() == serialNumber) return row;
    }
    return -1;
}

void UpgradeDeviceWidget::addDeviceRow(const QString &serialNumber)
{
    std::shared_ptr<ONVIF_DEVICE> device = deviceManager->getDevice(serialNumber);
    if (!device) {
        appLog("get onvif data fail when add onvif device");
        return;
    }
    const ONVIF_DEVICE_INFORMATION &info = device->device_information;
    const QString serial = fieldText(info.serial_number, sizeof(info.serial_number));
    const int row = model->rowCount();
    model->setItem(row, ColCheck, new QStandardItem(QString()));
    model->setItem(row, ColIp, new QStandardItem(hostOf(*device)));
    model->setItem(row, ColSerial, new QStandardItem(serial));
    model->setItem(row, ColName, new QStandardItem(hostOf(*device)));
    model->setItem(row, ColForm, new QStandardItem(productForm(device)));
    model->setItem(row, ColModel, new QStandardItem(fieldText(info.model, sizeof(info.model))));
    model->setItem(
        row, ColVersion,
        new QStandardItem(fieldText(info.firmware_version, sizeof(info.firmware_version))));
    model->setItem(row, ColStatus, new QStandardItem(QString()));

    auto *box = new QCheckBox();
    box->setChecked(false);
    box->setProperty("serialNumber", serial);
    connect(box, &QCheckBox::clicked, this, &UpgradeDeviceWidget::onSelectDevice);
    ui->tableViewOnVif->setIndexWidget(model->index(row, ColCheck), box);
}

void UpgradeDeviceWidget::removeDeviceRow(const QString &serialNumber)
{
    const int row = findDeviceRow(serialNumber);
    if (row >= 0) model->removeRow(row);
}

void UpgradeDeviceWidget::setUpgradeStatus(const QString &serialNumber, const QString &status)
{
    const int row = findDeviceRow(serialNumber);
    if (row >= 0) model->setItem(row, ColStatus, new QStandardItem(status));
}

void UpgradeDeviceWidget::onProbDevice(QString serialNumber)
{
    addDeviceRow(serialNumber);
}

void UpgradeDeviceWidget::onDeviceInfoChange(QString serialNumber)
{
    std::shared_ptr<ONVIF_DEVICE> device = deviceManager->getDevice(serialNumber);
    if (!device) return;
    const int row = findDeviceRow(serialNumber);
    if (row < 0) return;
    const ONVIF_DEVICE_INFORMATION &info = device->device_information;
    model->setItem(row, ColIp, new QStandardItem(hostOf(*device)));
    model->setItem(row, ColModel, new QStandardItem(fieldText(info.model, sizeof(info.model))));
    model->setItem(
        row, ColVersion,
        new QStandardItem(fieldText(info.firmware_version, sizeof(info.firmware_version))));
}

void UpgradeDeviceWidget::onDeviceOffline(QString serialNumber)
{
    removeDeviceRow(serialNumber);
    updateActionButtons();
}

void UpgradeDeviceWidget::onSelectDevice(bool select)
{
    Q_UNUSED(select);
    updateActionButtons();
}

void UpgradeDeviceWidget::onSelectAllDevice(bool select)
{
    for (int row = 0; row < model->rowCount(); row++) {
        auto *box =
            qobject_cast<QCheckBox *>(ui->tableViewOnVif->indexWidget(model->index(row, ColCheck)));
        if (box) box->setChecked(select);
    }
    updateActionButtons();
}

void UpgradeDeviceWidget::onSearchDevice()
{
    refreshDeviceList();
    deviceManager->searchDevice();
}

QString UpgradeDeviceWidget::productForm(const std::shared_ptr<ONVIF_DEVICE> &device)
{
    if (device && device->binfo.type == DEVICE_TYPE_TRANSMITTER)
        return (device->capabilities.ptz.flags & ONVIF_CAP_PTZ_PRESENT) ? QString::fromUtf8("球机")
                                                                        : QString::fromUtf8("枪机");
    return QString::fromUtf8("录像机");
}

void UpgradeDeviceWidget::updateActionButtons()
{
    bool any = false;
    for (int row = 0; row < model->rowCount() && !any; row++) {
        auto *box =
            qobject_cast<QCheckBox *>(ui->tableViewOnVif->indexWidget(model->index(row, ColCheck)));
        any = box && box->isChecked();
    }
    ui->buttonUpgrade->setEnabled(any);
    ui->buttonBatchEditIp->setEnabled(any);
}

std::list<std::shared_ptr<ONVIF_DEVICE>> UpgradeDeviceWidget::selectedDevices()
{
    std::list<std::shared_ptr<ONVIF_DEVICE>> out;
    for (int row = 0; row < model->rowCount(); row++) {
        auto *box =
            qobject_cast<QCheckBox *>(ui->tableViewOnVif->indexWidget(model->index(row, ColCheck)));
        if (!box || !box->isChecked()) continue;
        std::shared_ptr<ONVIF_DEVICE> device =
            deviceManager->getDevice(box->property("serialNumber").toString());
        if (device) out.push_back(device);
    }
    return out;
}

void UpgradeDeviceWidget::refreshDeviceList()
{
    const QString upgrading = QString::fromUtf8("正在升级");
    QStringList serials;
    for (int row = 0; row < model->rowCount(); row++) {
        QStandardItem *status = model->item(row, ColStatus);
        if (status && status->text() == upgrading) continue;
        QStandardItem *serial = model->item(row, ColSerial);
        serials << (serial ? serial->text() : QString());
    }
    for (const QString &serial : serials) {
        deviceManager->removeDevice(serial);
        removeDeviceRow(serial);
    }
    updateActionButtons();
}
