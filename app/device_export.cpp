#include "app/device_export.h"

#include <QSaveFile>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "app/device_access.h"
#include "app/device_table_model.h"
#include "app/gui_gate.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"

QByteArray csv::field(const QString &text)
{
    QString t = text;
    if (!t.isEmpty() && QStringLiteral("=+-@\t\r").contains(t.at(0))) t.prepend('\'');
    const bool quote = t.contains(',') || t.contains('"') || t.contains('\n') || t.contains('\r');
    if (quote) t = '"' + QString(t).replace('"', QStringLiteral("\"\"")) + '"';
    return t.toUtf8();
}

QByteArray csv::document(const QStringList &header, const QList<QStringList> &rows)
{
    QByteArray out("\xEF\xBB\xBF");
    auto line = [&out](const QStringList &cells) {
        for (int i = 0; i < cells.size(); i++) {
            if (i) out += ',';
            out += field(cells[i]);
        }
        out += "\r\n";
    };
    line(header);
    for (const QStringList &r : rows)
        line(r);
    return out;
}

QString readMac(const ONVIF_DEVICE &device, const Credential &credential)
{
    DevicePtr copy = workingCopy(device);
    setCredential(copy.get(), credential);
    prepareCall(copy.get());
    NetworkInterfaceList *list = nullptr;
    QString mac;
    if (onvif_tds_GetNetworkInterfaces(copy.get(), nullptr, &list)) {
        const QByteArray host = deviceHost(device);
        for (NetworkInterfaceList *n = list; n; n = n->next) {
            const ONVIF_NETWORK_INTERFACE &i = n->NetworkInterface;
            const QString hw =
                QString::fromUtf8(i.hw_address, (int)strnlen(i.hw_address, sizeof(i.hw_address)));
            if (mac.isEmpty()) mac = hw;
            if (host ==
                QByteArray(i.ipv4_address, (int)strnlen(i.ipv4_address, sizeof(i.ipv4_address)))) {
                mac = hw;
                break;
            }
        }
    }
    onvif_free_NetworkInterfaces(&list);
    return mac;
}

QStringList ExportJob::headers()
{
    return {QStringLiteral("IP"),
            QStringLiteral("MAC"),
            DeviceTableModel::tr("序列号"),
            DeviceTableModel::tr("设备名称"),
            DeviceTableModel::tr("产品形态"),
            DeviceTableModel::tr("型号"),
            DeviceTableModel::tr("版本号"),
            DeviceTableModel::tr("升级状态"),
            tr("设备服务地址")};
}

ExportJob::ExportJob(QObject *parent) : QObject(parent), gate(std::make_shared<GuiGate>(this)) {}

ExportJob::~ExportJob()
{
    gate->close();
}

void ExportJob::start(const QStringList &header, const QList<Row> &rows, const QString &path)
{
    if (running) return;
    running = true;
    std::shared_ptr<GuiGate> g = gate;
    ExportJob *self = this;
    // The thread keeps what it needs; the job may go before it ends (its
    // reports are then dropped by the gate).
    std::thread([g, self, header, rows, path]() mutable {
        std::atomic<int> next{0};
        std::vector<QString> macs((size_t)rows.size());
        auto work = [&]() {
            for (int i = next++; i < rows.size(); i = next++)
                if (rows[i].device) macs[(size_t)i] = readMac(*rows[i].device, rows[i].credential);
        };
        std::vector<std::thread> pool;
        for (int t = 0; t < kParallel && t < rows.size(); t++)
            pool.emplace_back(work);
        for (std::thread &t : pool)
            t.join();

        QMap<QString, QString> read;
        QList<QStringList> lines;
        for (int i = 0; i < rows.size(); i++) {
            QStringList cells = rows[i].cells;
            if (rows[i].device) {
                cells[rows[i].macColumn] = macs[(size_t)i];
                if (!macs[(size_t)i].isEmpty()) read.insert(rows[i].serial, macs[(size_t)i]);
            }
            lines << cells;
        }
        QSaveFile file(path);
        QString error;
        if (!file.open(QIODevice::WriteOnly))
            error = file.errorString();
        else if (file.write(csv::document(header, lines)) < 0 || !file.commit())
            error = file.errorString();
        const int count = rows.size();
        g->post([self, read, error, count]() {
            self->running = false;
            if (!read.isEmpty()) emit self->macsRead(read);
            emit self->finished(error.isEmpty(), error, count);
        });
    }).detach();
}
