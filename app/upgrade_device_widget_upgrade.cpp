// The main window's firmware upgrade: the file choice; the uploads and their
// confirmation belong to the upgrade scheduler.
#include "app/upgrade_device_widget.h"

#include <QFileDialog>
#include <QStandardPaths>

void UpgradeDeviceWidget::onUpgradeDeviceFireware()
{
    firmwarePath = QFileDialog::getOpenFileName(
        this, tr("选择升级文件"), QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
        tr("File(*.bin);;All files(*.*)"));
    if (firmwarePath.isEmpty()) return;
    const std::list<std::shared_ptr<ONVIF_DEVICE>> chosen = selectedDevices();
    upgrades->upgrade(QList<std::shared_ptr<ONVIF_DEVICE>>(chosen.begin(), chosen.end()),
                      firmwarePath);
}

void UpgradeDeviceWidget::upgradeThroughOnvif(
    const std::list<std::shared_ptr<ONVIF_DEVICE>> &devices, const QString &file)
{
    if (devices.empty() || file.isEmpty()) return;
    firmwarePath = file;
    upgrades->upgrade(QList<std::shared_ptr<ONVIF_DEVICE>>(devices.begin(), devices.end()), file,
                      UpgradeScheduler::Method::Onvif);
}
