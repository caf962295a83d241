// The request log: one JSON object per line, flushed at once.
#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

namespace camsim
{

class RequestLog
{
  public:
    bool open(const QString &path, QString &err);
    void write(QJsonObject o); // adds "time"; no-op when not open

  private:
    QFile file;
};

} // namespace camsim
