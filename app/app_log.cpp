#include "app/app_log.h"

#include <QDateTime>
#include <QMessageLogger>

void appLogText(const QString &text)
{
    QString line = QDateTime::currentDateTime().toString("[yyyy-MM-dd HH:mm:ss.zzz]");
    line += ' ';
    line += text;
    line += "\r\n";
    // Passed as an argument of "%s", so the text is never read as a format.
    QMessageLogger().debug("%s", line.toUtf8().constData());
}
