// Placeholder: batch IP editing is being written.
#include "app/upgrade_device_widget.h"

void UpgradeDeviceWidget::onBatchEditIp() {}
