// The view's side of the device table: sorting by a click on a header and a
// filter text that matches the IP, serial number, model or firmware version
// (case-insensitive, anywhere in the text). Column 0 sorts by the check box,
// the IP column by address value.
#ifndef APP_DEVICE_FILTER_PROXY_H
#define APP_DEVICE_FILTER_PROXY_H

#include <QSortFilterProxyModel>
#include <QString>

class DeviceFilterProxy : public QSortFilterProxyModel
{
    Q_OBJECT
  public:
    explicit DeviceFilterProxy(QObject *parent = nullptr);

    QString filterText() const { return text; }

  public slots:
    void setFilterText(const QString &filter);

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

  private:
    QString text;
};

#endif
