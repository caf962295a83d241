// Batch IP editing from the window: the dialog, then a job on a thread of its
// own with a progress dialog (cancel stops before the next camera) and one
// summary at the end; the rows show each camera's state as it goes.
#include "app/upgrade_device_widget.h"

#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <vector>

#include "app/batch_edit_ip_dialog.h"
#include "ui_upgrade_device_widget.h"

namespace
{

// The progress dialog: a line of text, a bar and a cancel button. Window
// modal, shown without a nested event loop.
QDialog *makeProgressDialog(QWidget *parent, int total)
{
    auto *dialog = new QDialog(parent);
    dialog->setObjectName("BatchProgress");
    dialog->setWindowTitle(UpgradeDeviceWidget::tr("修改IP"));
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(dialog);
    auto *label = new QLabel(dialog);
    label->setObjectName("labelProgress");
    label->setMinimumWidth(360);
    auto *bar = new QProgressBar(dialog);
    bar->setObjectName("progressBar");
    bar->setRange(0, total);
    auto *cancel = new QPushButton(UpgradeDeviceWidget::tr("取消"), dialog);
    cancel->setObjectName("buttonCancel");
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addWidget(cancel, 0, Qt::AlignRight);
    return dialog;
}

} // namespace

void UpgradeDeviceWidget::onBatchEditIp()
{
    if (batchJob && batchJob->isRunning()) return;
    BatchEditIpDialog dialog;
    if (dialog.exec() != QDialog::Accepted) return;
    BatchIpSettings settings;
    settings.dhcp = dialog.isDhcp();
    settings.startIp = dialog.startIp();
    settings.netmask = dialog.netmask();
    settings.gateway = dialog.gateway();
    settings.firstDns = dialog.firstDns();
    settings.secondDns = dialog.secondDns();
    settings.confirmTimeoutMs = batchConfirmMs;
    startBatch(settings, selectedDevices());
}

void UpgradeDeviceWidget::startBatch(const BatchIpSettings &settings,
                                     const std::list<std::shared_ptr<ONVIF_DEVICE>> &devices)
{
    if (batchJob && batchJob->isRunning()) return;
    std::vector<BatchIpJob::Target> targets;
    for (const std::shared_ptr<ONVIF_DEVICE> &device : devices)
        targets.push_back({device, DeviceRegistry::endpointKey(device->binfo)});

    delete batchJob;
    batchJob = new BatchIpJob(deviceManager->registry(), this);
    DeviceTableModel *model = deviceModel();
    connect(batchJob, &BatchIpJob::cameraState, model, [model](QString serial, int state) {
        model->setBatchState(serial, DeviceTableModel::BatchState(state));
    });

    QDialog *progress = makeProgressDialog(this, (int)targets.size());
    batchProgress = progress;
    auto *label = progress->findChild<QLabel *>("labelProgress");
    auto *bar = progress->findChild<QProgressBar *>("progressBar");
    auto *cancel = progress->findChild<QPushButton *>("buttonCancel");
    BatchIpJob *job = batchJob;
    connect(cancel, &QPushButton::clicked, job, [job, cancel, label]() {
        job->cancel();
        cancel->setEnabled(false);
        label->setText(tr("Stopping after the camera under way…"));
    });
    connect(job, &BatchIpJob::progress, progress,
            [label, bar, cancel](int index, int total, QString host) {
                bar->setValue(index);
                if (!cancel->isEnabled()) return;
                if (index < total)
                    label->setText(
                        tr("Changing camera %1 of %2: %3").arg(index + 1).arg(total).arg(host));
                else
                    label->setText(tr("Waiting for the cameras to answer at their new addresses…"));
            });
    connect(job, &BatchIpJob::finished, this, &UpgradeDeviceWidget::onBatchFinished);
    progress->show();

    job->start(targets, settings);
    updateActionButtons();
}

void UpgradeDeviceWidget::onBatchFinished()
{
    if (batchProgress) batchProgress->close();
    updateActionButtons();
    if (!batchJob) return;

    int counts[5] = {0, 0, 0, 0, 0};
    QStringList lines, problems;
    for (const BatchIpResult &r : batchJob->results()) {
        counts[r.outcome]++;
        lines << BatchIpJob::describe(r);
        if (r.outcome != BatchIpResult::Confirmed) problems << BatchIpJob::describe(r);
    }
    auto *box = new QMessageBox(QMessageBox::Information, tr("修改IP"),
                                tr("%1 changed and confirmed, %2 changed but not confirmed, "
                                   "%3 failed, %4 skipped.")
                                    .arg(counts[BatchIpResult::Confirmed])
                                    .arg(counts[BatchIpResult::NotConfirmed])
                                    .arg(counts[BatchIpResult::Failed])
                                    .arg(counts[BatchIpResult::Skipped]),
                                QMessageBox::Ok, this);
    box->setObjectName("BatchSummary");
    const int shown = 15;
    QStringList head = problems.mid(0, shown);
    if (problems.size() > shown) head << tr("… and %1 more").arg(problems.size() - shown);
    box->setInformativeText(head.join('\n'));
    box->setDetailedText(lines.join('\n'));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
