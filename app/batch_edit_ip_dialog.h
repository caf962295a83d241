// The batch IP dialog: DHCP, or a start address, mask, gateway and two DNS
// servers for all selected cameras. The texts are read after the dialog was
// accepted; OK accepts only a valid start address, mask and gateway.
#ifndef APP_BATCH_EDIT_IP_DIALOG_H
#define APP_BATCH_EDIT_IP_DIALOG_H

#include <QDialog>
#include <QString>

namespace Ui
{
class BatchEditIP;
}

class BatchEditIpDialog : public QDialog
{
    Q_OBJECT

  public:
    explicit BatchEditIpDialog(QWidget *parent = nullptr);
    ~BatchEditIpDialog() override;

    // The five texts as they were when OK was pressed, and the DHCP box.
    QString startIp() const { return startIp_; }
    QString netmask() const { return netmask_; }
    QString gateway() const { return gateway_; }
    QString firstDns() const { return firstDns_; }
    QString secondDns() const { return secondDns_; }
    bool isDhcp() const { return isDhcp_; }

  public slots:
    void onCancel();
    void onOK();
    void onEnableDHCP(bool enable);

  private:
    void showTip(const QString &text);

    Ui::BatchEditIP *ui;
    QString startIp_;
    QString netmask_;
    QString gateway_;
    QString firstDns_;
    QString secondDns_;
    bool isDhcp_ = false;
};

#endif
