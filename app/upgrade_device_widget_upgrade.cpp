// Placeholder: the firmware upgrade is being written.
#include "app/upgrade_device_widget.h"

void UpgradeDeviceWidget::onUpgradeDeviceFireware() {}

void UpgradeDeviceWidget::upgradeScheduler()
{
    while (!stopScheduler) upgradeQueue.pop(100);
}
