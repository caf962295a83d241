// The "Credentials…" dialog: a user name and password, either for every
// camera or for one camera (then also a way back to the common ones), and
// the "remember" box. The texts are read after the dialog was accepted.
#ifndef APP_CREDENTIALS_DIALOG_H
#define APP_CREDENTIALS_DIALOG_H

#include <QDialog>
#include <QString>

#include "app/device_registry.h"

class QCheckBox;
class QLineEdit;

class CredentialsDialog : public QDialog
{
    Q_OBJECT
  public:
    // cameraHost empty: the common credentials; else one camera's.
    CredentialsDialog(const QString &cameraHost, const Credential &current, bool remember,
                      QWidget *parent = nullptr);

    Credential credential() const;
    bool rememberChecked() const;
    // The camera goes back to the common credentials.
    bool cleared() const { return clearedOwn; }

  public slots:
    void onOK();
    void onClear();

  private:
    QLineEdit *editUser;
    QLineEdit *editPassword;
    QCheckBox *checkRemember;
    bool clearedOwn = false;
};

#endif
