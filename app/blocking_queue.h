// A first-in first-out queue of shared pointers for several producers and
// consumers: push never blocks, pop waits at most a given time for an element.
#ifndef APP_BLOCKING_QUEUE_H
#define APP_BLOCKING_QUEUE_H

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>

template <typename T> class BlockingQueue
{
  public:
    // Appends at the back and wakes one waiting pop.
    void push(std::shared_ptr<T> element)
    {
        std::lock_guard<std::mutex> guard(lock);
        items.push_back(std::move(element));
        notEmpty.notify_one();
    }

    // The front element, or null. When the queue is empty and timeoutMs is
    // above 0 it waits once, at most that long; a time-out or a spurious
    // wake-up both end the wait. A timeout of 0 or less does not wait.
    std::shared_ptr<T> pop(int timeoutMs)
    {
        std::unique_lock<std::mutex> guard(lock);
        if (items.empty() && timeoutMs > 0)
            notEmpty.wait_for(guard, std::chrono::milliseconds(timeoutMs));
        if (items.empty()) return nullptr;
        std::shared_ptr<T> front = std::move(items.front());
        items.pop_front();
        return front;
    }

    // Number of queued elements (a snapshot).
    size_t size()
    {
        std::lock_guard<std::mutex> guard(lock);
        return items.size();
    }

  private:
    std::list<std::shared_ptr<T>> items;
    std::mutex lock;
    std::condition_variable notEmpty;
};

#endif
