#include "app/device_filter_proxy.h"

#include <QStringList>

#include "app/device_table_model.h"

namespace
{

// An IPv4 text as a number for sorting; texts that are no address sort after
// all addresses, among themselves by text.
bool ipv4Value(const QString &text, quint32 *value)
{
    const QStringList parts = text.split('.');
    if (parts.size() != 4) return false;
    quint32 v = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok);
        if (!ok || byte > 255) return false;
        v = (v << 8) | byte;
    }
    *value = v;
    return true;
}

} // namespace

DeviceFilterProxy::DeviceFilterProxy(QObject *parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

void DeviceFilterProxy::setFilterText(const QString &filter)
{
    const QString trimmed = filter.trimmed();
    if (trimmed == text) return;
    text = trimmed;
    invalidateFilter();
}

bool DeviceFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (text.isEmpty()) return true;
    const QAbstractItemModel *m = sourceModel();
    for (int column : {DeviceTableModel::ColIp, DeviceTableModel::ColSerial,
                       DeviceTableModel::ColModel, DeviceTableModel::ColVersion}) {
        const QString cell = m->index(sourceRow, column, sourceParent).data().toString();
        if (cell.contains(text, Qt::CaseInsensitive)) return true;
    }
    return false;
}

bool DeviceFilterProxy::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    if (left.column() == DeviceTableModel::ColCheck)
        return left.data(Qt::CheckStateRole).toInt() < right.data(Qt::CheckStateRole).toInt();
    const QString a = left.data().toString(), b = right.data().toString();
    if (left.column() == DeviceTableModel::ColIp) {
        quint32 x = 0, y = 0;
        const bool ax = ipv4Value(a, &x), by = ipv4Value(b, &y);
        if (ax && by) return x < y;
        if (ax != by) return ax;
    }
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}
