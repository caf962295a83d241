#include "app/about_dialog.h"

#include "commit_id.h"
#include "ui_about_dialog.h"

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent), ui(new Ui::About)
{
    ui->setupUi(this);
    // As large as its texts need (they differ by language), not resizable.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui->labelBuildData->setText(QCoreApplication::translate("About", "构建日期:") + buildStamp());
    ui->labelCommitID->setText(QString("commit id:") + commitId());
    connect(ui->buttonOK, &QPushButton::clicked, this, &AboutDialog::onOK);
}

AboutDialog::~AboutDialog()
{
    delete ui;
}

// __DATE__ is "Mmm dd yyyy" with the day padded by a blank, __TIME__ "hh:mm:ss".
QString AboutDialog::buildStamp()
{
    return QString(__DATE__) + " " + QString(__TIME__);
}

QString AboutDialog::commitId()
{
    return QString(APP_COMMIT_ID);
}

void AboutDialog::onOK()
{
    accept();
}
