// The About dialog: version, build date and time, and the commit id of the build.
#ifndef APP_ABOUT_DIALOG_H
#define APP_ABOUT_DIALOG_H

#include <QDialog>
#include <QString>

namespace Ui
{
class About;
}

class AboutDialog : public QDialog
{
    Q_OBJECT
  public:
    explicit AboutDialog(QWidget *parent = nullptr);
    ~AboutDialog() override;

    // "Mmm dd yyyy hh:mm:ss" of the build and the 40-digit commit id.
    static QString buildStamp();
    static QString commitId();

  public slots:
    void onOK();

  private:
    Ui::About *ui;
};

#endif
