// Test support: bounded waits for what another thread or process does. A
// wait polls every few milliseconds and gives up after its limit, so a fault
// fails the test instead of hanging it. Never used to show that something
// does not happen: that is checked by driving the code by hand.
#ifndef TESTS_SUPPORT_WAIT_H
#define TESTS_SUPPORT_WAIT_H

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

// Milliseconds since t0 on the monotonic clock.
inline long ms_since(std::chrono::steady_clock::time_point t0)
{
    auto d = std::chrono::steady_clock::now() - t0;
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(d).count();
}

// Polls pred every 5 ms; true as soon as it holds, false after ms.
inline bool wait_until(const std::function<bool()> &pred, int ms = 5000)
{
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000000; i++) {
        if (pred()) return true;
        if (ms_since(t0) >= ms) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
}

// Runs f on a detached thread; false when it did not finish within ms, so a
// deadlock fails the test (the stuck thread is left behind).
template <typename F> bool finishes_within(F f, int ms)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([f, done] {
        f();
        *done = true;
    }).detach();
    return wait_until([&] { return done->load(); }, ms);
}

#endif
