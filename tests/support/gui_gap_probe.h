// Test support: how responsive a thread's event loop stays. A timer on the
// calling thread fires every few milliseconds; the largest gap between two
// firings is how long that thread was blocked at most. Measured and reported,
// never asserted as a benchmark.
#ifndef TESTS_SUPPORT_GUI_GAP_PROBE_H
#define TESTS_SUPPORT_GUI_GAP_PROBE_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class GuiGapProbe : public QObject
{
  public:
    explicit GuiGapProbe(int intervalMs = 5)
    {
        timer.setInterval(intervalMs);
        QObject::connect(&timer, &QTimer::timeout, this, [this]() {
            const qint64 now = clock.elapsed();
            if (now - last > gap) gap = now - last;
            last = now;
            ticks++;
        });
    }
    void start()
    {
        clock.start();
        last = 0;
        gap = 0;
        ticks = 0;
        timer.start();
    }
    void stop() { timer.stop(); }
    qint64 largestGapMs() const { return gap; }
    int count() const { return ticks; }

  private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 gap = 0;
    int ticks = 0;
};

#endif
