// Hands work from any thread to the thread of one QObject, until closed.
//
// A worker that may outlive the object it reports to (a query stuck in a
// time-out, a batch job after the window went) posts through a gate it
// shares with that object. The object closes the gate on its own thread
// before it goes; from then on posts are dropped. Calls already posted are
// dropped by Qt when the object is deleted before they run.
#ifndef APP_GUI_GATE_H
#define APP_GUI_GATE_H

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <mutex>
#include <utility>

class GuiGate
{
  public:
    explicit GuiGate(QObject *receiver) : target(receiver) {}

    // Queues fn to run on the receiver's thread; false once the gate is closed.
    // The lock only covers the hand-over (no waiting on the receiver), so the
    // receiver cannot be deleted between the check and the post.
    bool post(std::function<void()> fn)
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!target) return false;
        QMetaObject::invokeMethod(target, std::move(fn), Qt::QueuedConnection);
        return true;
    }

    // Called by the receiver (on its thread) before it is destroyed.
    void close()
    {
        std::lock_guard<std::mutex> guard(lock);
        target = nullptr;
    }

    bool isOpen()
    {
        std::lock_guard<std::mutex> guard(lock);
        return target != nullptr;
    }

  private:
    std::mutex lock;
    QObject *target;
};

#endif
