// The batch IP dialog: form, address validator, DHCP switch and OK checks.
#include "app/batch_edit_ip_dialog.h"

#include "ui_batch_edit_ip_dialog.h"

#include "platform/sys_net.h"

#include <QByteArray>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegExp>
#include <QRegExpValidator>

namespace
{

// A dotted IPv4 address, groups 0..255 without leading zeros. While typing,
// every prefix of such an address is acceptable to the edit (Intermediate).
const char *const kIpPattern = "((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])[\\.]){3}"
                               "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])";

bool isIpText(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return is_ip_address(bytes.constData()) != 0;
}

} // namespace

BatchEditIpDialog::BatchEditIpDialog(QWidget *parent) : QDialog(parent), ui(new Ui::BatchEditIP)
{
    ui->setupUi(this);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto *validator =
        new QRegExpValidator(QRegExp(QString::fromLatin1(kIpPattern), Qt::CaseSensitive), this);
    ui->editStartIP->setValidator(validator);
    ui->editNetworkMask->setValidator(validator);
    ui->editGateway->setValidator(validator);
    ui->editFirstDNS->setValidator(validator);
    ui->editSecondDNS->setValidator(validator);

    connect(ui->buttonCancel, &QPushButton::clicked, this, &BatchEditIpDialog::onCancel);
    connect(ui->buttonOK, &QPushButton::clicked, this, &BatchEditIpDialog::onOK);
    connect(ui->checkBox, &QCheckBox::clicked, this, &BatchEditIpDialog::onEnableDHCP);
}

BatchEditIpDialog::~BatchEditIpDialog()
{
    delete ui;
}

void BatchEditIpDialog::onCancel()
{
    reject();
}

// The texts stay as typed; disabled edits are still read and checked by OK.
void BatchEditIpDialog::onEnableDHCP(bool enable)
{
    isDhcp_ = enable;
    ui->editStartIP->setEnabled(!enable);
    ui->editNetworkMask->setEnabled(!enable);
    ui->editGateway->setEnabled(!enable);
    ui->editFirstDNS->setEnabled(!enable);
    ui->editSecondDNS->setEnabled(!enable);
}

void BatchEditIpDialog::showTip(const QString &text)
{
    QMessageBox::information(this, tr("Tips"), text, QMessageBox::Ok);
}

// The address fields are checked also in DHCP mode (their values are then
// ignored); the DNS fields are not checked here.
void BatchEditIpDialog::onOK()
{
    startIp_ = ui->editStartIP->text();
    netmask_ = ui->editNetworkMask->text();
    gateway_ = ui->editGateway->text();
    firstDns_ = ui->editFirstDNS->text();
    secondDns_ = ui->editSecondDNS->text();

    if (!isIpText(startIp_))
        showTip(tr("Invalid start IP Address."));
    else if (!isIpText(netmask_))
        showTip(tr("Invalid Subnet mask."));
    else if (!isIpText(gateway_))
        showTip(tr("Invalid gateway."));
    else
        accept();
}
