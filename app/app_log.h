// The tool's diagnostic line: "[yyyy-MM-dd HH:mm:ss.zzz] " + the pieces + "\r\n"
// on Qt's debug output. Numbers are written in decimal, texts as they are;
// the result is never read as a format.
#ifndef APP_APP_LOG_H
#define APP_APP_LOG_H

#include <QByteArray>
#include <QString>

#include <string>
#include <type_traits>

// Writes one line made of the time stamp, a blank, text and "\r\n".
void appLogText(const QString &text);

// The line's text without the stamp (for the pieces below).
namespace app_log_detail
{
inline void append(QString &out, const QString &piece)
{
    out += piece;
}
inline void append(QString &out, const char *piece)
{
    if (piece) out += QString::fromUtf8(piece);
}
inline void append(QString &out, const std::string &piece)
{
    out += QString::fromUtf8(piece.data(), (int)piece.size());
}
inline void append(QString &out, const QByteArray &piece)
{
    out += QString::fromUtf8(piece);
}
template <typename N, typename = std::enable_if_t<std::is_arithmetic<N>::value>>
void append(QString &out, N number)
{
    out += QString::number(number);
}
} // namespace app_log_detail

// appLog("get device info fail, endpoint reference:", epr, ", port:", port, ...)
template <typename... Pieces> void appLog(const Pieces &...pieces)
{
    QString text;
    (app_log_detail::append(text, pieces), ...);
    appLogText(text);
}

#endif
