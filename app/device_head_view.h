// The device table's horizontal header: a select-all check box over column 0.
#ifndef APP_DEVICE_HEAD_VIEW_H
#define APP_DEVICE_HEAD_VIEW_H

#include <QCheckBox>
#include <QHeaderView>

class DeviceHeadView : public QHeaderView
{
    Q_OBJECT
  public:
    DeviceHeadView(Qt::Orientation orientation, QWidget *parent = nullptr);

    // The select-all check box (owned by the header).
    QCheckBox *checkBox() const { return box; }

  signals:
    // The user clicked the check box; select is its new state.
    void checked(bool select);

  protected:
    // Keeps the check box at section 0 (x + 6, y 6).
    void updateGeometries() override;

  private:
    QCheckBox *box;
};

#endif
