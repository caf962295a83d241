// The main window: construction, wiring, layout on resize, destruction, the
// About box and the credentials.
#include "app/upgrade_device_widget.h"

#include <QHeaderView>

#include <algorithm>

#include "app/about_dialog.h"
#include "app/credentials_dialog.h"
#include "app/device_details.h"
#include "app/tool_settings.h"
#include "ui_upgrade_device_widget.h"

namespace
{
const char kGeometry[] = "window/geometry";
const char kColumnWidths[] = "table/columnWidths";
const int kCheckColumnWidth = 50;
const int kDataColumnWidth = 110;
} // namespace

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
    connect(ui->buttonExport, &QPushButton::clicked, this, &UpgradeDeviceWidget::onExport);
    connect(ui->buttonAddAddress, &QPushButton::clicked, this,
            &UpgradeDeviceWidget::onAddByAddress);
    connect(view, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid()) showDetails(proxy->mapToSource(index).row());
    });
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
    restoreLayout();

    credentials->load();
    deviceManager->start();
    searchRemembered();
}

UpgradeDeviceWidget::~UpgradeDeviceWidget()
{
    // Everything is asked to stop first; only the upload threads are waited
    // for, and a running transfer ends within about a second of its cancel.
    saveLayout();
    if (batchJob) batchJob->cancel();
    if (search) search->cancel();
    upgrades->cancelAll();
    deviceManager->stop();
    upgrades.reset();
    delete ui;
    ui = nullptr;
}

// The layouts make the table fill the window; the user's column widths and
// the window's size and position come back from the last run.
void UpgradeDeviceWidget::restoreLayout()
{
    std::unique_ptr<QSettings> settings = toolSettings();
    if (!restoreGeometry(settings->value(kGeometry).toByteArray())) resize(1000, 560);
    QHeaderView *header = ui->tableViewOnVif->horizontalHeader();
    header->setStretchLastSection(true);
    const QVariantList widths = settings->value(kColumnWidths).toList();
    for (int column = 0; column < DeviceTableModel::ColumnCount; column++) {
        const int saved = column < widths.size() ? widths[column].toInt() : 0;
        // Wide enough for the header text in the language shown.
        const int fallback = column == 0
                                 ? kCheckColumnWidth
                                 : std::max(kDataColumnWidth, header->sectionSizeHint(column));
        header->resizeSection(column, saved >= 20 && saved <= 2000 ? saved : fallback);
    }
}

void UpgradeDeviceWidget::saveLayout()
{
    std::unique_ptr<QSettings> settings = toolSettings();
    settings->setValue(kGeometry, saveGeometry());
    QVariantList widths;
    QHeaderView *header = ui->tableViewOnVif->horizontalHeader();
    for (int column = 0; column < DeviceTableModel::ColumnCount; column++)
        widths << header->sectionSize(column);
    settings->setValue(kColumnWidths, widths);
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
