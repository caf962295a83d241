// The device table: one row per serial number (the device manager's map), plus
// one row per camera that refused our credentials before it told its serial
// number. Column 0 holds the row's check box (Qt::CheckStateRole); the
// upgrade and batch-IP progress of a row are states, turned into text only
// for display. GUI thread only.
#ifndef APP_DEVICE_TABLE_MODEL_H
#define APP_DEVICE_TABLE_MODEL_H

#include <QAbstractTableModel>
#include <QDeadlineTimer>
#include <QString>
#include <QVector>

#include <memory>

#include "onvif/onvif_device.h"

class DeviceTableModel : public QAbstractTableModel
{
    Q_OBJECT
  public:
    enum Column {
        ColCheck = 0,
        ColIp,
        ColSerial,
        ColName,
        ColForm,
        ColModel,
        ColVersion,
        ColStatus,
        ColumnCount
    };
    enum Role {
        SerialRole = Qt::UserRole + 1, // the row's serial number (any column)
        EndpointRole,                  // the discovery endpoint key
        UpgradeStateRole,              // int of UpgradeState
        BatchStateRole,                // int of BatchState
        AuthRequiredRole,              // bool
        ListedRole,                    // bool: the device answered (has a record)
    };
    enum class UpgradeState { None, Waiting, Running, Confirming, Succeeded, NotConfirmed, Failed };
    enum class BatchState {
        None,
        Pending,
        Running,
        Confirming,
        Confirmed,
        NotConfirmed,
        Failed,
        Skipped
    };

    explicit DeviceTableModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // ---- from the device manager ----
    // A device that answered: a new row, or the row of its serial number
    // updated (IP, model, firmware; the name column stays as it was first).
    // A row of the same endpoint that waited for credentials is dropped.
    void addOrUpdateDevice(const ONVIF_DEVICE &device, const QString &endpointKey);
    // A camera that refused our credentials: its listed row (by serial) or a
    // row of its own showing the IP, marked "需要认证".
    void markAuthRequired(const QString &endpointKey, const QString &host,
                          const QString &serialNumber);
    void removeDevice(const QString &serialNumber);  // the first listed row of it
    void removeEndpoint(const QString &endpointKey); // rows that only wait for credentials

    // ---- rows ----
    int findRow(const QString &serialNumber) const; // first listed row, -1 when none
    QString serialAt(int row) const;
    QString endpointAt(int row) const;
    QString hostAt(int row) const;
    QString firmwareAt(int row) const;
    QString macAt(int row) const;        // empty until an export read it
    QString serviceUrlAt(int row) const; // the device-service URL
    void setMac(const QString &serialNumber, const QString &mac);
    bool isListed(int row) const;
    bool isChecked(int row) const;
    void setChecked(const QVector<int> &rows, bool checked);
    // A row the search button keeps: an upgrade or batch change under way.
    bool isBusy(int row) const;
    // Rows in table order that are neither busy nor kept otherwise.
    QVector<int> idleRows() const;
    void removeRows(QVector<int> rows);

    // ---- states ----
    UpgradeState upgradeState(int row) const;
    BatchState batchState(int row) const;
    void setUpgradeState(const QString &serialNumber, UpgradeState state);
    // After an upload: the row waits until the camera reports a firmware
    // version other than before, at the latest until deadline.
    void awaitFirmwareChange(const QString &serialNumber, const QString &firmwareBefore,
                             QDeadlineTimer deadline);
    // Rows still waiting whose time is up become NotConfirmed; their serials.
    QStringList expireUpgradeWaits();
    QStringList upgradeWaits() const; // serials of rows waiting for a new firmware
    void setBatchState(const QString &serialNumber, BatchState state);

    static QString upgradeText(UpgradeState state);
    static QString batchText(BatchState state);
    static QString authText();
    // "球机" / "枪机" for transmitters with / without PTZ, "录像机" otherwise.
    static QString productForm(const ONVIF_DEVICE &device);

  signals:
    // The camera came back with a new firmware version after an upload.
    void upgradeConfirmed(QString serialNumber);

  private:
    enum class Activity { None, Upgrade, Batch };
    struct Row {
        QString serial, endpoint, host, name, form, model, firmware, mac, serviceUrl;
        bool listed = false;
        bool authRequired = false;
        bool checked = false;
        UpgradeState upgrade = UpgradeState::None;
        BatchState batch = BatchState::None;
        Activity last = Activity::None;
        QString firmwareBefore;
        QDeadlineTimer upgradeDeadline;
    };

    QString statusText(const Row &row) const;
    void changedRow(int row);
    int findEndpointOnlyRow(const QString &endpointKey) const;

    QVector<Row> rows;
};

#endif
