// Test support: Qt's debug output (the application's appLog lines) from
// every thread, kept for the test to read and passed on to the handler that
// was installed before.
#ifndef TESTS_SUPPORT_QT_LOG_CAPTURE_H
#define TESTS_SUPPORT_QT_LOG_CAPTURE_H

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace qtlog
{

struct State {
    QMutex mutex;
    QStringList lines;
    QtMessageHandler previous = nullptr;
};

inline State &state()
{
    static State s;
    return s;
}

inline void capture(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    {
        QMutexLocker lock(&state().mutex);
        state().lines << msg;
    }
    if (state().previous) state().previous(type, context, msg);
}

inline void install()
{
    state().previous = qInstallMessageHandler(capture);
}

inline void uninstall()
{
    qInstallMessageHandler(state().previous);
    state().previous = nullptr;
}

inline QStringList lines()
{
    QMutexLocker lock(&state().mutex);
    return state().lines;
}

// Lines that contain piece.
inline int count(const QString &piece)
{
    QMutexLocker lock(&state().mutex);
    int n = 0;
    for (const QString &line : state().lines)
        if (line.contains(piece)) n++;
    return n;
}

inline void clear()
{
    QMutexLocker lock(&state().mutex);
    state().lines.clear();
}

} // namespace qtlog

#endif
