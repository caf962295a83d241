// The main window: construction, wiring, layout on resize, destruction, the
// About box and the credentials.
#include "app/upgrade_device_widget.h"

#include <QResizeEvent>

#include "app/about_dialog.h"
#include "app/credentials_dialog.h"
#include "ui_upgrade_device_widget.h"

UpgradeDeviceWidget::UpgradeDeviceWidget(QWidget *parent)
    : QWidget(parent), ui(new Ui::UpgradeDeviceWidget)
{
    ui->setupUi(this);

    deviceManager = std::make_shared<DeviceManager>();
    proxy = new DeviceFilterProxy(this);
    credentials = new CredentialStore(this);
    upgrades = std::make_unique<UpgradeScheduler>(deviceManager.get());

    QTableView *view = ui->tableViewOnVif;
    view->setShowGrid(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);

    connect(ui->buttonUpgrade, &QPushButton::clicked, this,
            &UpgradeDeviceWidget::onUpgradeDeviceFireware);
    connect(ui->buttonAbout, &QPushButton::clicked, this, &UpgradeDeviceWidget::onAbout);
    connect(ui->buttonBatchEditIp, &QPushButton::clicked, this,
            &UpgradeDeviceWidget::onBatchEditIp);
    connect(ui->buttonSearch, &QPushButton::clicked, this, &UpgradeDeviceWidget::onSearchDevice);
    connect(ui->buttonCredentials, &QPushButton::clicked, this,
            &UpgradeDeviceWidget::onCredentials);
    connect(ui->editFilter, &QLineEdit::textChanged, proxy, &DeviceFilterProxy::setFilterText);
    connect(view, &QTableView::customContextMenuRequested, this,
            &UpgradeDeviceWidget::onTableContextMenu);
    connect(deviceManager.get(), &DeviceManager::probDevice, this,
            &UpgradeDeviceWidget::onProbDevice, Qt::QueuedConnection);
    connect(deviceManager.get(), &DeviceManager::deviceOffline, this,
            &UpgradeDeviceWidget::onDeviceOffline, Qt::QueuedConnection);
    connect(deviceManager.get(), &DeviceManager::deviceInfoChange, this,
            &UpgradeDeviceWidget::onDeviceInfoChange, Qt::QueuedConnection);

    connect(credentials, &CredentialStore::changed, this, [this]() {
        deviceManager->setCredentials(credentials->common(), credentials->perCamera());
    });
    connect(credentials, &CredentialStore::notice, this, &UpgradeDeviceWidget::showNotice);

    setupTable();
    updateActionButtons();

    credentials->load();
    deviceManager->start();
}

UpgradeDeviceWidget::~UpgradeDeviceWidget()
{
    // Everything is asked to stop first; only the upload threads are waited
    // for, and a running transfer ends within about a second of its cancel.
    if (batchJob) batchJob->cancel();
    upgrades->cancelAll();
    deviceManager->stop();
    upgrades.reset();
    delete ui;
    ui = nullptr;
}

void UpgradeDeviceWidget::resizeEvent(QResizeEvent *event)
{
    const QSize size = event->size();
    ui->verticalLayoutWidget->resize(size.width() - 20, size.height() - 30);
    const int dataWidth = (ui->verticalLayoutWidget->width() - 50) / 7;
    ui->tableViewOnVif->setColumnWidth(0, 50);
    for (int column = 1; column <= 7; column++)
        ui->tableViewOnVif->setColumnWidth(column, dataWidth);
}

void UpgradeDeviceWidget::onAbout()
{
    AboutDialog dialog;
    dialog.exec();
}

void UpgradeDeviceWidget::showNotice(const QString &text)
{
    ui->labelNotice->setText(text);
}

void UpgradeDeviceWidget::onCredentials()
{
    CredentialsDialog dialog(QString(), credentials->common(), credentials->remembered(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    credentials->setCommon(dialog.credential(), dialog.rememberChecked());
}

void UpgradeDeviceWidget::onCameraCredentials(const QString &endpointKey, const QString &host)
{
    CredentialsDialog dialog(host, credentials->own(endpointKey), credentials->remembered(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    credentials->setOwn(endpointKey, dialog.credential(), dialog.rememberChecked());
}
