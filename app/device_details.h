// The read-only details of one camera, read through the library's public
// calls: device information and host name, network interfaces, DNS,
// gateway, time and time zone, services with their versions, scopes, and
// the media profiles with their stream URIs when the media service answers.
// Each part is read on its own: one the camera refuses or does not answer
// shows why and the others still show.
//
// readDeviceDetails blocks (one SOAP exchange per part) and belongs on a
// worker thread; DeviceDetailsDialog only displays and copies.
#ifndef APP_DEVICE_DETAILS_H
#define APP_DEVICE_DETAILS_H

#include <QCoreApplication>
#include <QDialog>
#include <QPair>
#include <QString>
#include <QVector>

#include "app/device_registry.h"

class QLabel;
class QTreeWidget;

struct DetailsSection {
    QString title;
    QVector<QPair<QString, QString>> rows;
    QString note; // why the part is missing or incomplete; empty when complete
};

class DeviceDetails
{
    Q_DECLARE_TR_FUNCTIONS(DeviceDetails)
  public:
    // Every part of the camera (its published record is copied, not changed).
    static QVector<DetailsSection> read(const ONVIF_DEVICE &device, const Credential &credential);
    // "Title\n  key: value\n  note\n\n..." for the clipboard.
    static QString text(const QString &heading, const QVector<DetailsSection> &sections);
};

class DeviceDetailsDialog : public QDialog
{
    Q_OBJECT
  public:
    explicit DeviceDetailsDialog(QWidget *parent = nullptr);

    // Shows the camera's name and a "reading" line until setDetails.
    void setLoading(const QString &heading);
    void setDetails(const QString &heading, const QVector<DetailsSection> &sections);
    QString heading() const { return title; }
    // What the copy button puts on the clipboard.
    QString copyText() const;

  private:
    QLabel *label;
    QTreeWidget *tree;
    QString title;
    QVector<DetailsSection> shown;
};

#endif
