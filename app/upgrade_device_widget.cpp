// The main window: construction, wiring, layout on resize, destruction and the About box.
#include "app/upgrade_device_widget.h"

#include <QResizeEvent>

#include "app/about_dialog.h"
#include "onvif/onvif_list.h"
#include "ui_upgrade_device_widget.h"

UpgradeDeviceWidget::UpgradeDeviceWidget(QWidget *parent)
    : QWidget(parent), ui(new Ui::UpgradeDeviceWidget), netInterfaces(nullptr), stopScheduler(false)
{
    ui->setupUi(this);

    deviceManager = std::make_shared<DeviceManager>();
    model = std::make_shared<QStandardItemModel>();

    QTableView *view = ui->tableViewOnVif;
    view->setShowGrid(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(ui->buttonUpgrade, &QPushButton::clicked, this,
            &UpgradeDeviceWidget::onUpgradeDeviceFireware);
    connect(ui->buttonAbout, &QPushButton::clicked, this, &UpgradeDeviceWidget::onAbout);
    connect(ui->buttonBatchEditIp, &QPushButton::clicked, this,
            &UpgradeDeviceWidget::onBatchEditIp);
    connect(ui->buttonSearch, &QPushButton::clicked, this, &UpgradeDeviceWidget::onSearchDevice);
    connect(deviceManager.get(), &DeviceManager::probDevice, this,
            &UpgradeDeviceWidget::onProbDevice, Qt::QueuedConnection);
    connect(deviceManager.get(), &DeviceManager::deviceOffline, this,
            &UpgradeDeviceWidget::onDeviceOffline, Qt::QueuedConnection);
    connect(deviceManager.get(), &DeviceManager::deviceInfoChange, this,
            &UpgradeDeviceWidget::onDeviceInfoChange, Qt::QueuedConnection);

    setupTable();
    updateActionButtons();

    schedulerThread = std::thread(&UpgradeDeviceWidget::upgradeScheduler, this);
    deviceManager->start();
}

UpgradeDeviceWidget::~UpgradeDeviceWidget()
{
    if (schedulerThread.joinable()) {
        stopScheduler = true;
        schedulerThread.join();
    }
    deviceManager->stop();
    onvif_free_NetworkInterfaces(&netInterfaces);
    netInterfaces = nullptr;
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
