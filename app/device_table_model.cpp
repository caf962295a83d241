#include "app/device_table_model.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace
{

QString fieldText(const char *field, size_t size)
{
    return QString::fromUtf8(field, (int)strnlen(field, size));
}

QString hostOf(const ONVIF_DEVICE &device)
{
    return fieldText(device.binfo.xaddr.host, sizeof(device.binfo.xaddr.host));
}

QString serviceUrlOf(const ONVIF_DEVICE &device)
{
    const ONVIF_XADDR &x = device.binfo.xaddr;
    const bool defaultPort = x.port == 0 || x.port == (x.https ? 443 : 80);
    return QString(x.https ? "https://" : "http://") + hostOf(device) +
           (defaultPort ? QString() : ":" + QString::number(x.port)) +
           fieldText(x.path, sizeof(x.path));
}

} // namespace

DeviceTableModel::DeviceTableModel(QObject *parent) : QAbstractTableModel(parent) {}

int DeviceTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int DeviceTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    switch (section) {
    case ColCheck:
        return QString();
    case ColIp:
        return QStringLiteral("IP");
    case ColSerial:
        return tr("序列号");
    case ColName:
        return tr("设备名称");
    case ColForm:
        return tr("产品形态");
    case ColModel:
        return tr("型号");
    case ColVersion:
        return tr("版本号");
    case ColStatus:
        return tr("升级状态");
    default:
        return QVariant();
    }
}

QVariant DeviceTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size()) return QVariant();
    const Row &r = rows[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ColIp:
            return r.host;
        case ColSerial:
            return r.serial;
        case ColName:
            return r.name;
        case ColForm:
            return r.form;
        case ColModel:
            return r.model;
        case ColVersion:
            return r.firmware;
        case ColStatus:
            return statusText(r);
        default:
            return QString();
        }
    case Qt::CheckStateRole:
        if (index.column() != ColCheck || !r.listed) return QVariant();
        return r.checked ? Qt::Checked : Qt::Unchecked;
    case SerialRole:
        return r.serial;
    case EndpointRole:
        return r.endpoint;
    case UpgradeStateRole:
        return int(r.upgrade);
    case BatchStateRole:
        return int(r.batch);
    case AuthRequiredRole:
        return r.authRequired;
    case ListedRole:
        return r.listed;
    default:
        return QVariant();
    }
}

Qt::ItemFlags DeviceTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == ColCheck && index.row() < rows.size() && rows[index.row()].listed)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool DeviceTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != ColCheck ||
        index.row() >= rows.size() || !rows[index.row()].listed)
        return false;
    rows[index.row()].checked = value.toInt() == Qt::Checked;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

QString DeviceTableModel::upgradeText(UpgradeState state)
{
    switch (state) {
    case UpgradeState::None:
        return QString();
    case UpgradeState::Waiting:
        return tr("等待升级");
    case UpgradeState::Running:
        return tr("正在升级");
    case UpgradeState::Confirming:
        return tr("等待确认");
    case UpgradeState::Succeeded:
        return tr("升级成功");
    case UpgradeState::NotConfirmed:
        return tr("升级未确认");
    case UpgradeState::Failed:
        return tr("升级失败");
    }
    return QString();
}

QString DeviceTableModel::batchText(BatchState state)
{
    switch (state) {
    case BatchState::None:
        return QString();
    case BatchState::Pending:
        return tr("等待修改");
    case BatchState::Running:
        return tr("正在修改");
    case BatchState::Confirming:
        return tr("等待确认");
    case BatchState::Confirmed:
        return tr("修改成功");
    case BatchState::NotConfirmed:
        return tr("未确认");
    case BatchState::Failed:
        return tr("修改失败");
    case BatchState::Skipped:
        return tr("已跳过");
    }
    return QString();
}

QString DeviceTableModel::authText()
{
    return tr("需要认证");
}

QString DeviceTableModel::statusText(const Row &r) const
{
    if (r.authRequired) return authText();
    // The action the user started last speaks.
    if (r.last == Activity::Batch) return batchText(r.batch);
    return upgradeText(r.upgrade);
}

QString DeviceTableModel::productForm(const ONVIF_DEVICE &device)
{
    if (device.binfo.type == DEVICE_TYPE_TRANSMITTER)
        return (device.capabilities.ptz.flags & ONVIF_CAP_PTZ_PRESENT) ? tr("球机") : tr("枪机");
    return tr("录像机");
}

void DeviceTableModel::changedRow(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

int DeviceTableModel::findRow(const QString &serialNumber) const
{
    for (int i = 0; i < rows.size(); i++)
        if (rows[i].listed && rows[i].serial == serialNumber) return i;
    return -1;
}

int DeviceTableModel::findEndpointOnlyRow(const QString &endpointKey) const
{
    for (int i = 0; i < rows.size(); i++)
        if (!rows[i].listed && rows[i].endpoint == endpointKey) return i;
    return -1;
}

void DeviceTableModel::addOrUpdateDevice(const ONVIF_DEVICE &device, const QString &endpointKey)
{
    const int waiting = findEndpointOnlyRow(endpointKey);
    if (waiting >= 0) removeRows({waiting});

    const ONVIF_DEVICE_INFORMATION &info = device.device_information;
    const QString serial = fieldText(info.serial_number, sizeof(info.serial_number));
    const QString firmware = fieldText(info.firmware_version, sizeof(info.firmware_version));
    int row = findRow(serial);
    if (row < 0) {
        Row r;
        r.serial = serial;
        r.endpoint = endpointKey;
        r.host = hostOf(device);
        r.name = r.host;
        r.form = productForm(device);
        r.model = fieldText(info.model, sizeof(info.model));
        r.firmware = firmware;
        r.serviceUrl = serviceUrlOf(device);
        r.listed = true;
        beginInsertRows(QModelIndex(), rows.size(), rows.size());
        rows.append(r);
        endInsertRows();
        return;
    }
    Row &r = rows[row];
    r.endpoint = endpointKey;
    r.host = hostOf(device);
    r.model = fieldText(info.model, sizeof(info.model));
    r.firmware = firmware;
    r.serviceUrl = serviceUrlOf(device);
    r.authRequired = false;
    const bool confirmed = r.upgrade == UpgradeState::Confirming && firmware != r.firmwareBefore;
    if (confirmed) {
        r.upgrade = UpgradeState::Succeeded;
        r.last = Activity::Upgrade;
    }
    changedRow(row);
    if (confirmed) emit upgradeConfirmed(serial);
}

void DeviceTableModel::markAuthRequired(const QString &endpointKey, const QString &host,
                                        const QString &serialNumber)
{
    int row = serialNumber.isEmpty() ? -1 : findRow(serialNumber);
    if (row < 0) row = findEndpointOnlyRow(endpointKey);
    if (row >= 0) {
        rows[row].authRequired = true;
        rows[row].host = host;
        changedRow(row);
        return;
    }
    Row r;
    r.endpoint = endpointKey;
    r.host = host;
    r.name = host;
    r.authRequired = true;
    beginInsertRows(QModelIndex(), rows.size(), rows.size());
    rows.append(r);
    endInsertRows();
}

void DeviceTableModel::removeDevice(const QString &serialNumber)
{
    const int row = findRow(serialNumber);
    if (row >= 0) removeRows({row});
}

void DeviceTableModel::removeEndpoint(const QString &endpointKey)
{
    const int row = findEndpointOnlyRow(endpointKey);
    if (row >= 0) removeRows({row});
}

void DeviceTableModel::removeRows(QVector<int> doomed)
{
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    // From the bottom, so that the indices still to go stay valid.
    for (int i = doomed.size() - 1; i >= 0; i--) {
        const int row = doomed[i];
        if (row < 0 || row >= rows.size()) continue;
        beginRemoveRows(QModelIndex(), row, row);
        rows.remove(row);
        endRemoveRows();
    }
}

QString DeviceTableModel::serialAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].serial : QString();
}

QString DeviceTableModel::endpointAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].endpoint : QString();
}

QString DeviceTableModel::hostAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].host : QString();
}

QString DeviceTableModel::firmwareAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].firmware : QString();
}

QString DeviceTableModel::macAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].mac : QString();
}

QString DeviceTableModel::serviceUrlAt(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].serviceUrl : QString();
}

void DeviceTableModel::setMac(const QString &serialNumber, const QString &mac)
{
    const int row = findRow(serialNumber);
    if (row >= 0) rows[row].mac = mac;
}

bool DeviceTableModel::isListed(int row) const
{
    return row >= 0 && row < rows.size() && rows[row].listed;
}

bool DeviceTableModel::isChecked(int row) const
{
    return row >= 0 && row < rows.size() && rows[row].listed && rows[row].checked;
}

void DeviceTableModel::setChecked(const QVector<int> &which, bool checked)
{
    int first = rows.size(), last = -1;
    for (int row : which) {
        if (row < 0 || row >= rows.size() || !rows[row].listed) continue;
        rows[row].checked = checked;
        first = std::min(first, row);
        last = std::max(last, row);
    }
    if (last >= 0) emit dataChanged(index(first, ColCheck), index(last, ColCheck));
}

bool DeviceTableModel::isBusy(int row) const
{
    if (row < 0 || row >= rows.size()) return false;
    const Row &r = rows[row];
    const bool upgrading = r.upgrade == UpgradeState::Waiting ||
                           r.upgrade == UpgradeState::Running ||
                           r.upgrade == UpgradeState::Confirming;
    const bool changing = r.batch == BatchState::Pending || r.batch == BatchState::Running ||
                          r.batch == BatchState::Confirming;
    return upgrading || changing;
}

QVector<int> DeviceTableModel::idleRows() const
{
    QVector<int> out;
    for (int i = 0; i < rows.size(); i++)
        if (!isBusy(i)) out << i;
    return out;
}

DeviceTableModel::UpgradeState DeviceTableModel::upgradeState(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].upgrade : UpgradeState::None;
}

DeviceTableModel::BatchState DeviceTableModel::batchState(int row) const
{
    return row >= 0 && row < rows.size() ? rows[row].batch : BatchState::None;
}

void DeviceTableModel::setUpgradeState(const QString &serialNumber, UpgradeState state)
{
    const int row = findRow(serialNumber);
    if (row < 0) return;
    rows[row].upgrade = state;
    rows[row].last = Activity::Upgrade;
    changedRow(row);
}

void DeviceTableModel::awaitFirmwareChange(const QString &serialNumber,
                                           const QString &firmwareBefore, QDeadlineTimer deadline)
{
    const int row = findRow(serialNumber);
    if (row < 0) return;
    Row &r = rows[row];
    r.firmwareBefore = firmwareBefore;
    r.upgradeDeadline = deadline;
    r.last = Activity::Upgrade;
    // The camera may have been seen with its new version already.
    r.upgrade = r.firmware != firmwareBefore ? UpgradeState::Succeeded : UpgradeState::Confirming;
    changedRow(row);
    if (r.upgrade == UpgradeState::Succeeded) emit upgradeConfirmed(serialNumber);
}

QStringList DeviceTableModel::expireUpgradeWaits()
{
    QStringList out;
    for (int i = 0; i < rows.size(); i++) {
        Row &r = rows[i];
        if (r.upgrade != UpgradeState::Confirming || !r.upgradeDeadline.hasExpired()) continue;
        r.upgrade = UpgradeState::NotConfirmed;
        changedRow(i);
        out << r.serial;
    }
    return out;
}

QStringList DeviceTableModel::upgradeWaits() const
{
    QStringList out;
    for (const Row &r : rows)
        if (r.upgrade == UpgradeState::Confirming) out << r.serial;
    return out;
}

void DeviceTableModel::setBatchState(const QString &serialNumber, BatchState state)
{
    const int row = findRow(serialNumber);
    if (row < 0) return;
    rows[row].batch = state;
    rows[row].last = Activity::Batch;
    changedRow(row);
}
