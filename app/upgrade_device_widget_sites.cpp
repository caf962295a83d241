// The main window's tools for whole sites: the CSV export, the search by
// address (with the addresses remembered for the next start) and the
// details of one camera.
#include "app/upgrade_device_widget.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

#include <thread>

#include "app/add_address_dialog.h"
#include "app/address_range.h"
#include "app/device_details.h"
#include "app/device_export.h"
#include "app/gui_gate.h"
#include "app/tool_settings.h"
#include "ui_upgrade_device_widget.h"

void UpgradeDeviceWidget::onExport()
{
    if (exportJob && exportJob->isRunning()) return;
    int checked = 0;
    for (int row = 0; row < proxy->rowCount(); row++)
        if (deviceModel()->isChecked(proxy->mapToSource(proxy->index(row, 0)).row())) checked++;
    bool onlyChecked = false;
    if (checked > 0) {
        QMessageBox ask(QMessageBox::Question, tr("导出"), tr("导出哪些摄像机?"),
                        QMessageBox::NoButton, this);
        ask.setObjectName("ExportChoice");
        QPushButton *some = ask.addButton(tr("勾选的 %1 台").arg(checked), QMessageBox::AcceptRole);
        QPushButton *all =
            ask.addButton(tr("全部 %1 台").arg(proxy->rowCount()), QMessageBox::AcceptRole);
        ask.addButton(QMessageBox::Cancel);
        ask.setDefaultButton(some);
        ask.exec();
        if (ask.clickedButton() != some && ask.clickedButton() != all) return;
        onlyChecked = ask.clickedButton() == some;
    }
    const QString start = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                              .filePath(QStringLiteral("cameras.csv"));
    const QString path =
        QFileDialog::getSaveFileName(this, tr("导出"), start, tr("CSV 文件 (*.csv)"));
    if (path.isEmpty()) return;
    exportTo(path, onlyChecked);
}

void UpgradeDeviceWidget::exportTo(const QString &path, bool onlyChecked)
{
    if (exportJob && exportJob->isRunning()) return;
    DeviceTableModel *model = deviceModel();
    QList<ExportJob::Row> rows;
    for (int shown = 0; shown < proxy->rowCount(); shown++) {
        const int row = proxy->mapToSource(proxy->index(shown, 0)).row();
        if (onlyChecked && !model->isChecked(row)) continue;
        ExportJob::Row r;
        auto cell = [&](int column) { return model->index(row, column).data().toString(); };
        r.serial = model->serialAt(row);
        r.cells = QStringList{cell(DeviceTableModel::ColIp),
                              model->macAt(row),
                              cell(DeviceTableModel::ColSerial),
                              cell(DeviceTableModel::ColName),
                              cell(DeviceTableModel::ColForm),
                              cell(DeviceTableModel::ColModel),
                              cell(DeviceTableModel::ColVersion),
                              cell(DeviceTableModel::ColStatus),
                              model->serviceUrlAt(row)};
        if (model->isListed(row) && model->macAt(row).isEmpty()) {
            r.device = deviceManager->getDevice(r.serial);
            r.credential = deviceManager->registry()->credentialFor(
                model->endpointAt(row).toUtf8().toStdString());
        }
        rows << r;
    }
    if (!exportJob) {
        exportJob = new ExportJob(this);
        connect(exportJob, &ExportJob::macsRead, this, [this](QMap<QString, QString> macs) {
            for (auto it = macs.begin(); it != macs.end(); ++it)
                deviceModel()->setMac(it.key(), it.value());
        });
        connect(exportJob, &ExportJob::finished, this, [this](bool ok, QString error, int count) {
            ui->buttonExport->setEnabled(true);
            showNotice(ok ? tr("已导出 %1 台摄像机。").arg(count) : tr("导出失败:%1").arg(error));
        });
    }
    ui->buttonExport->setEnabled(false);
    showNotice(tr("正在导出…"));
    exportJob->start(ExportJob::headers(), rows, path);
}

void UpgradeDeviceWidget::onAddByAddress()
{
    if (addDialog) {
        addDialog->raise();
        addDialog->activateWindow();
        return;
    }
    auto *dialog = new AddAddressDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setRememberedCount(rememberedAddresses().size());
    dialog->setSearching(search && search->isRunning());
    connect(dialog, &AddAddressDialog::searchRequested, this, [this, dialog](QVector<quint32> a) {
        if (startAddressSearch(a)) dialog->setSearching(true);
    });
    connect(dialog, &AddAddressDialog::forgetRequested, this, []() { forgetAddresses(); });
    addDialog = dialog;
    dialog->show();
}

bool UpgradeDeviceWidget::startAddressSearch(const QVector<quint32> &addresses)
{
    if (search && search->isRunning()) return false;
    delete search;
    search = new AddressSearch(deviceManager->registry(), this);
    connect(search, &AddressSearch::finished, this,
            [](QStringList found) { rememberAddresses(found); });
    if (addDialog) {
        connect(search, &AddressSearch::progress, addDialog.data(), &AddAddressDialog::onProgress);
        connect(search, &AddressSearch::found, addDialog.data(), &AddAddressDialog::onFound);
        connect(search, &AddressSearch::finished, addDialog.data(), [this](QStringList found) {
            if (!addDialog) return;
            addDialog->onFinished(found);
            addDialog->setRememberedCount(rememberedAddresses().size());
        });
    }
    search->start(addresses);
    return true;
}

void UpgradeDeviceWidget::searchRemembered()
{
    QVector<quint32> addresses;
    QString error;
    const QStringList remembered = rememberedAddresses();
    if (remembered.isEmpty() || !AddressRange::parse(remembered.join(','), &addresses, &error))
        return;
    startAddressSearch(addresses);
}

void UpgradeDeviceWidget::showDetails(int row)
{
    DeviceTableModel *model = deviceModel();
    const QString serial = model->serialAt(row);
    const QString heading = model->hostAt(row) + (serial.isEmpty() ? QString() : "  " + serial);
    if (!details) {
        details = new DeviceDetailsDialog(this);
        details->setAttribute(Qt::WA_DeleteOnClose);
    }
    details->setLoading(heading);
    details->show();
    details->raise();
    std::shared_ptr<ONVIF_DEVICE> device =
        model->isListed(row) ? deviceManager->getDevice(serial) : nullptr;
    if (!device) {
        details->setDetails(
            heading,
            {DetailsSection{DeviceDetails::tr("设备信息"), {}, DeviceTableModel::authText()}});
        return;
    }
    const Credential credential =
        deviceManager->registry()->credentialFor(model->endpointAt(row).toUtf8().toStdString());
    // Read on a thread of its own; the answer goes to the dialog if it is
    // still there and still shows this camera.
    auto gate = std::make_shared<GuiGate>(details.data());
    QPointer<DeviceDetailsDialog> target = details;
    connect(details.data(), &QObject::destroyed, this, [gate]() { gate->close(); });
    std::thread([gate, target, device, credential, heading]() {
        const QVector<DetailsSection> sections = DeviceDetails::read(*device, credential);
        gate->post([target, heading, sections]() {
            if (target && target->heading() == heading) target->setDetails(heading, sections);
        });
    }).detach();
}
