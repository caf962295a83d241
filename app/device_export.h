// Export of the device table as CSV for a site survey: UTF-8 with a byte
// order mark (so spreadsheet programs read the Chinese headers), CRLF line
// ends, a field quoted when it holds a comma, a quote or a line break
// (quotes doubled). A field that a spreadsheet would take for a formula
// (starting with = + - @ or a tab) gets a leading apostrophe: a camera's
// model name must not run as a formula on the surveyor's machine.
//
// ExportJob reads the MAC address of each exported camera that the table
// does not know yet (GetNetworkInterfaces: the interface holding the
// camera's address, else the first), a few cameras at a time on threads of
// its own, then writes the file and reports. It never blocks the GUI thread;
// a camera that does not answer gets an empty MAC.
#ifndef APP_DEVICE_EXPORT_H
#define APP_DEVICE_EXPORT_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "app/device_registry.h"

class GuiGate;

namespace csv
{
QByteArray field(const QString &text);
// BOM, the header line, then one line per row; every line ends in CRLF.
QByteArray document(const QStringList &header, const QList<QStringList> &rows);
} // namespace csv

class ExportJob : public QObject
{
    Q_OBJECT
  public:
    // One exported row: its cells in export order with the MAC cell empty
    // when it is to be read, and what reading it takes.
    struct Row {
        QStringList cells;
        int macColumn = 1;
        QString serial;
        std::shared_ptr<ONVIF_DEVICE> device; // null: no MAC to read
        Credential credential;
    };
    static const int kParallel = 8;

    explicit ExportJob(QObject *parent = nullptr);
    ~ExportJob() override;

    // The headers of the exported table (translated), in column order.
    static QStringList headers();

    void start(const QStringList &header, const QList<Row> &rows, const QString &path);
    bool isRunning() const { return running; }

  signals:
    // MAC addresses read (serial → MAC), for the table to keep.
    void macsRead(QMap<QString, QString> macs);
    // ok: written; error: why not (empty when ok).
    void finished(bool ok, QString error, int rows);

  private:
    std::shared_ptr<GuiGate> gate;
    bool running = false;
};

// The MAC of the interface holding host, else of the first one; empty when
// the camera does not answer (its own record is used, not the caller's).
QString readMac(const ONVIF_DEVICE &device, const Credential &credential);

#endif
