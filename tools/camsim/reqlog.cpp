#include "reqlog.h"

#include <QDateTime>
#include <QJsonDocument>

namespace camsim
{

bool RequestLog::open(const QString &path, QString &err)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        err = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void RequestLog::write(QJsonObject o)
{
    if (!file.isOpen()) return;
    QJsonObject line;
    line.insert(QStringLiteral("time"),
                QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    for (auto it = o.begin(); it != o.end(); ++it)
        line.insert(it.key(), it.value());
    QByteArray b = QJsonDocument(line).toJson(QJsonDocument::Compact);
    b += '\n';
    file.write(b);
    file.flush();
}

} // namespace camsim
