#include "app/add_address_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/address_range.h"

AddAddressDialog::AddAddressDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName("AddAddressDialog");
    setWindowTitle(tr("按地址添加"));
    auto *layout = new QVBoxLayout(this);
    auto *help = new QLabel(
        tr("其他网段的摄像机收不到组播搜索。请输入它们的地址:一个地址、用逗号分隔的地址列表、"
           "CIDR网段(如 192.168.2.0/24)或地址范围(如 192.168.2.10-50),最多 %1 个地址。")
            .arg(AddressRange::kMaxAddresses),
        this);
    help->setWordWrap(true);
    layout->addWidget(help);

    auto *row = new QHBoxLayout;
    edit = new QLineEdit(this);
    edit->setObjectName("editAddresses");
    edit->setPlaceholderText(QStringLiteral("192.168.2.0/24, 192.168.3.10-20"));
    search = new QPushButton(tr("搜索"), this);
    search->setObjectName("buttonSearch");
    search->setDefault(true);
    row->addWidget(edit, 1);
    row->addWidget(search);
    layout->addLayout(row);

    bar = new QProgressBar(this);
    bar->setObjectName("progressBar");
    bar->setRange(0, 1);
    bar->setValue(0);
    status = new QLabel(this);
    status->setObjectName("labelStatus");
    status->setWordWrap(true);
    list = new QListWidget(this);
    list->setObjectName("listFound");
    layout->addWidget(bar);
    layout->addWidget(status);
    layout->addWidget(list, 1);

    auto *bottom = new QHBoxLayout;
    remembered = new QLabel(this);
    remembered->setObjectName("labelRemembered");
    forget = new QPushButton(tr("忘记这些地址"), this);
    forget->setObjectName("buttonForget");
    auto *close = new QPushButton(tr("关闭"), this);
    close->setObjectName("buttonClose");
    bottom->addWidget(remembered, 1);
    bottom->addWidget(forget);
    bottom->addWidget(close);
    layout->addLayout(bottom);

    connect(search, &QPushButton::clicked, this, &AddAddressDialog::onSearch);
    connect(edit, &QLineEdit::returnPressed, this, &AddAddressDialog::onSearch);
    connect(forget, &QPushButton::clicked, this, [this]() {
        emit forgetRequested();
        setRememberedCount(0);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    setRememberedCount(0);
    resize(520, 400);
}

void AddAddressDialog::setSearching(bool busy)
{
    search->setEnabled(!busy);
}

void AddAddressDialog::setRememberedCount(int count)
{
    remembered->setText(tr("已记住 %1 个地址,下次启动时再次搜索。").arg(count));
    forget->setEnabled(count > 0);
}

void AddAddressDialog::onSearch()
{
    QVector<quint32> addresses;
    QString error;
    if (!AddressRange::parse(edit->text(), &addresses, &error)) {
        status->setText(error);
        return;
    }
    list->clear();
    bar->setRange(0, addresses.size());
    bar->setValue(0);
    status->setText(tr("正在搜索 %1 个地址…").arg(addresses.size()));
    emit searchRequested(addresses);
}

void AddAddressDialog::onProgress(int done, int total)
{
    bar->setRange(0, total);
    bar->setValue(done);
}

void AddAddressDialog::onFound(const QString &address)
{
    list->addItem(address);
}

void AddAddressDialog::onFinished(const QStringList &found)
{
    bar->setValue(bar->maximum());
    status->setText(tr("搜索结束:%1 个地址有摄像机应答。").arg(found.size()));
    setSearching(false);
}
