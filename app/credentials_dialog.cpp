#include "app/credentials_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/credential_store.h"

CredentialsDialog::CredentialsDialog(const QString &cameraHost, const Credential &current,
                                     bool remember, QWidget *parent)
    : QDialog(parent)
{
    setObjectName("CredentialsDialog");
    setWindowTitle(tr("Credentials…"));
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(
        cameraHost.isEmpty() ? tr("User name and password for all cameras")
                             : tr("User name and password for the camera %1 only").arg(cameraHost),
        this);
    heading->setObjectName("labelHeading");
    layout->addWidget(heading);

    auto *form = new QFormLayout;
    editUser = new QLineEdit(QString::fromStdString(current.user), this);
    editUser->setObjectName("editUser");
    editPassword = new QLineEdit(QString::fromStdString(current.password), this);
    editPassword->setObjectName("editPassword");
    editPassword->setEchoMode(QLineEdit::Password);
    form->addRow(tr("User name:"), editUser);
    form->addRow(tr("Password:"), editPassword);
    layout->addLayout(form);

    checkRemember = new QCheckBox(tr("remember"), this);
    checkRemember->setObjectName("checkRemember");
    checkRemember->setChecked(remember);
    checkRemember->setToolTip(tr("Keep the passwords in the desktop's secret store"));
    layout->addWidget(checkRemember);

    auto *buttons = new QHBoxLayout;
    if (!cameraHost.isEmpty()) {
        auto *clear = new QPushButton(tr("Use the common credentials"), this);
        clear->setObjectName("buttonClear");
        connect(clear, &QPushButton::clicked, this, &CredentialsDialog::onClear);
        buttons->addWidget(clear);
    }
    buttons->addStretch();
    auto *cancel = new QPushButton(tr("取消"), this);
    cancel->setObjectName("buttonCancel");
    auto *ok = new QPushButton(tr("确定"), this);
    ok->setObjectName("buttonOK");
    ok->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &CredentialsDialog::onOK);
}

Credential CredentialsDialog::credential() const
{
    if (clearedOwn) return Credential();
    Credential c;
    c.user = editUser->text().toUtf8().toStdString();
    c.password = editPassword->text().toUtf8().toStdString();
    if (c.user.empty()) c.password.clear();
    return c;
}

bool CredentialsDialog::rememberChecked() const
{
    return checkRemember->isChecked();
}

void CredentialsDialog::onOK()
{
    const QString user = editUser->text(), password = editPassword->text();
    QString problem;
    if (!CredentialStore::fits(user) || !CredentialStore::fits(password))
        problem = tr("User name and password may have at most %1 bytes each.")
                      .arg(CredentialStore::kMaxBytes);
    else if (user.isEmpty() && !password.isEmpty())
        problem = tr("A password needs a user name.");
    if (!problem.isEmpty()) {
        QMessageBox::information(this, tr("Tips"), problem, QMessageBox::Ok);
        return;
    }
    accept();
}

void CredentialsDialog::onClear()
{
    clearedOwn = true;
    accept();
}
