// "Add by address…": the user names addresses (one, a list, a CIDR block or
// a range; see AddressRange) and starts a search there; the dialog shows its
// progress and the addresses where cameras answered. The search itself
// belongs to the main window, so it goes on when the dialog is closed.
#ifndef APP_ADD_ADDRESS_DIALOG_H
#define APP_ADD_ADDRESS_DIALOG_H

#include <QDialog>
#include <QStringList>
#include <QVector>

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

class AddAddressDialog : public QDialog
{
    Q_OBJECT
  public:
    explicit AddAddressDialog(QWidget *parent = nullptr);

    // The search of the window is busy (the button waits) or free.
    void setSearching(bool busy);
    void setRememberedCount(int count);

  public slots:
    void onProgress(int done, int total);
    void onFound(const QString &address);
    void onFinished(const QStringList &found);

  signals:
    void searchRequested(QVector<quint32> addresses);
    void forgetRequested();

  private:
    void onSearch();

    QLineEdit *edit;
    QPushButton *search;
    QProgressBar *bar;
    QLabel *status;
    QListWidget *list;
    QLabel *remembered;
    QPushButton *forget;
};

#endif
