#include "platform/sys_os.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace
{

TEST(SysOsHandles, NullHandlesAreHarmless)
{
    EXPECT_EQ(sys_os_mutex_enter(nullptr), -1);
    EXPECT_EQ(sys_os_mutex_leave(nullptr), 0);
    EXPECT_EQ(sys_os_sig_sign(nullptr), 0);
    EXPECT_EQ(sys_os_sig_wait(nullptr), -1);
    EXPECT_EQ(sys_os_sig_wait_timeout(nullptr, 10), -1);
    sys_os_destroy_sig_mutex(nullptr);
    EXPECT_EQ(sys_os_create_thread(nullptr, nullptr), 0u);
    EXPECT_EQ(sys_os_sigpipe_block(nullptr), -1);
    sys_os_sigpipe_restore(nullptr);
    xfree(nullptr);

    // A signal handle is not a mutex and the other way round.
    SYS_SIG sig = sys_os_create_sig();
    SYS_MUTEX mtx = sys_os_create_mutex();
    ASSERT_TRUE(sig && mtx);
    EXPECT_EQ(sys_os_mutex_enter(sig), -1);
    EXPECT_EQ(sys_os_sig_sign(mtx), 0);
    sys_os_destroy_sig_mutex(sig);
    sys_os_destroy_sig_mutex(mtx);
}

// The owner enters as often as it likes and holds the mutex until its last
// leave: every leave succeeds while it owns the mutex, one more fails.
TEST(SysOsMutex, RecursiveOwnerHoldsUntilTheLastLeave)
{
    SYS_MUTEX m = sys_os_create_mutex();
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(finishes_within(
        [m] {
            sys_os_mutex_enter(m);
            sys_os_mutex_enter(m); // the same thread enters again
            sys_os_mutex_leave(m);
            sys_os_mutex_leave(m);
        },
        5000));
    ASSERT_EQ(sys_os_mutex_enter(m), 0);
    ASSERT_EQ(sys_os_mutex_enter(m), 0);
    EXPECT_NE(sys_os_mutex_leave(m), 0);
    EXPECT_NE(sys_os_mutex_leave(m), 0) << "freed after one leave of two enters";
    EXPECT_EQ(sys_os_mutex_leave(m), 0) << "a third leave found the mutex still owned";
    // Free now: another thread gets it at once.
    auto got = std::make_shared<std::atomic<int>>(-1);
    EXPECT_TRUE(finishes_within(
        [m, got] {
            *got = sys_os_mutex_enter(m);
            sys_os_mutex_leave(m);
        },
        5000));
    EXPECT_EQ(got->load(), 0);
    sys_os_destroy_sig_mutex(m);
}

TEST(SysOsMutex, CountsStayExactUnderContention)
{
    SYS_MUTEX m = sys_os_create_mutex();
    ASSERT_NE(m, nullptr);
    long counter = 0;
    std::thread workers[4];
    for (auto &w : workers) {
        w = std::thread([&] {
            for (int i = 0; i < 5000; i++) {
                sys_os_mutex_enter(m);
                sys_os_mutex_enter(m);
                long v = counter;
                counter = v + 1;
                sys_os_mutex_leave(m);
                sys_os_mutex_leave(m);
            }
        });
    }
    for (auto &w : workers)
        w.join();
    EXPECT_EQ(counter, 20000);
    sys_os_destroy_sig_mutex(m);
}

TEST(SysOsMutex, LeaveByNonOwnerChangesNothing)
{
    SYS_MUTEX m = sys_os_create_mutex();
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(sys_os_mutex_enter(m), 0);

    int leave_result = -1;
    std::thread([&] { leave_result = sys_os_mutex_leave(m); }).join();
    EXPECT_EQ(leave_result, 0);
    // Still the owner's: its leave succeeds, and only one.
    EXPECT_NE(sys_os_mutex_leave(m), 0) << "a foreign leave released the owner's mutex";
    EXPECT_EQ(sys_os_mutex_leave(m), 0);
    sys_os_destroy_sig_mutex(m);
}

TEST(SysOsMutex, AbandonedMutexIsTakenOver)
{
    SYS_MUTEX m = sys_os_create_mutex();
    ASSERT_NE(m, nullptr);
    std::thread([&] {
        sys_os_mutex_enter(m);
        sys_os_mutex_enter(m);
    }).join(); // ends owning it twice

    auto r = std::make_shared<std::atomic<int>>(-1);
    ASSERT_TRUE(finishes_within(
        [m, r] {
            *r = sys_os_mutex_enter(m);
            sys_os_mutex_leave(m);
        },
        5000))
        << "the mutex of an ended owner was not taken over";
    EXPECT_EQ(r->load(), 0);
    // Free again after one leave: yet another thread gets it.
    ASSERT_TRUE(finishes_within(
        [m, r] {
            *r = sys_os_mutex_enter(m);
            sys_os_mutex_leave(m);
        },
        5000));
    EXPECT_EQ(r->load(), 0);
    sys_os_destroy_sig_mutex(m);
}

TEST(SysOsSig, SetsWithoutWaiterCountAsOne)
{
    SYS_SIG s = sys_os_create_sig();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sys_os_sig_wait_timeout(s, 0), -1) << "created set";

    EXPECT_NE(sys_os_sig_sign(s), 0);
    EXPECT_NE(sys_os_sig_sign(s), 0);
    EXPECT_EQ(sys_os_sig_wait_timeout(s, 100), 0);
    uint32_t t0 = sys_os_get_ms();
    EXPECT_EQ(sys_os_sig_wait_timeout(s, 100), -1);
    EXPECT_GE(sys_os_get_ms() - t0, 90u);

    sys_os_sig_sign(s);
    EXPECT_EQ(sys_os_sig_wait(s), 0);
    EXPECT_EQ(sys_os_sig_wait_timeout(s, 0), -1);
    sys_os_destroy_sig_mutex(s);
}

TEST(SysOsSig, OneSetReleasesExactlyOneWaiter)
{
    SYS_SIG s = sys_os_create_sig();
    ASSERT_NE(s, nullptr);
    std::atomic<int> released{0};
    auto waiter = [&] {
        if (sys_os_sig_wait_timeout(s, 5000) == 0) released++;
    };
    std::thread a(waiter), b(waiter);

    sys_os_sig_sign(s); // pending until a waiter takes it
    EXPECT_TRUE(wait_until([&] { return released.load() == 1; }, 3000));
    // The waiter that woke took the set with it: nothing is left to take.
    EXPECT_EQ(sys_os_sig_wait_timeout(s, 0), -1);

    sys_os_sig_sign(s);
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    sys_os_destroy_sig_mutex(s);
}

struct ThreadProbe {
    SYS_SIG done;
    std::atomic<int> value;
    std::atomic<int> returned{0};
};

void *probe_routine(void *arg)
{
    ThreadProbe *p = static_cast<ThreadProbe *>(arg);
    p->value = 42;
    sys_os_sig_sign(p->done);
    p->returned++;
    return nullptr;
}

TEST(SysOsThread, RoutineRunsWithItsArgument)
{
    ThreadProbe probe;
    probe.done = sys_os_create_sig();
    probe.value = 0;
    ASSERT_NE(probe.done, nullptr);

    uint32_t id1 = sys_os_create_thread(probe_routine, &probe);
    EXPECT_NE(id1, 0u);
    ASSERT_EQ(sys_os_sig_wait_timeout(probe.done, 5000), 0);
    EXPECT_EQ(probe.value.load(), 42);

    probe.value = 0;
    uint32_t id2 = sys_os_create_thread(probe_routine, &probe);
    EXPECT_NE(id2, 0u);
    EXPECT_NE(id1, id2);
    ASSERT_EQ(sys_os_sig_wait_timeout(probe.done, 5000), 0);
    EXPECT_EQ(probe.value.load(), 42);
    // The signal goes away only after both routines are done with it.
    EXPECT_TRUE(wait_until([&] { return probe.returned.load() == 2; }, 5000));
    sys_os_destroy_sig_mutex(probe.done);
}

TEST(SysOsClock, MillisecondsAndUptimeAdvance)
{
    uint32_t ms0 = sys_os_get_ms();
    uint32_t up0 = sys_os_get_uptime();
    sys_os_sleep_ms(60);
    uint32_t ms1 = sys_os_get_ms();
    EXPECT_GE(ms1 - ms0, 55u);
    EXPECT_GE(sys_os_get_uptime(), up0);
}

TEST(SysOsSocketError, RefusedConnectGivesItsNumberAndText)
{
    // A loopback port that was just closed refuses connections.
    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(lfd, 0);
    struct sockaddr_in a;
    memset(&a, 0, sizeof(a));
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(lfd, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
    socklen_t len = sizeof(a);
    ASSERT_EQ(getsockname(lfd, reinterpret_cast<sockaddr *>(&a), &len), 0);
    close(lfd);

    int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_NE(connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)), 0);
    EXPECT_EQ(sys_os_get_socket_error_num(), ECONNREFUSED);
    std::string text = sys_os_get_socket_error();
    EXPECT_EQ(text, "WSAE-" + std::to_string(ECONNREFUSED));
    close(fd);

    // Another thread's error is its own.
    std::string other;
    std::thread([&] {
        errno = EWOULDBLOCK;
        other = sys_os_get_socket_error();
    }).join();
    EXPECT_EQ(other, "WSAE-" + std::to_string(EWOULDBLOCK));
    errno = -2147483647 - 1; // widest number still fits the text
    EXPECT_STREQ(sys_os_get_socket_error(), "WSAE--2147483648");
}

// Whether SIGPIPE is blocked in / pending for the calling thread.
bool sigpipe_blocked()
{
    sigset_t cur;
    sigemptyset(&cur);
    pthread_sigmask(SIG_BLOCK, nullptr, &cur);
    return sigismember(&cur, SIGPIPE) == 1;
}

bool sigpipe_pending()
{
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

// Each case runs on a thread of its own, so the test runner's mask is left alone.
TEST(SysOsSigpipe, RaisedWhileBlockedIsConsumedAndTheMaskComesBack)
{
    std::thread([] {
        ASSERT_FALSE(sigpipe_blocked());
        SYS_SIGPIPE_STATE st;
        memset(&st, 0xA5, sizeof(st));
        ASSERT_EQ(sys_os_sigpipe_block(&st), 0);
        EXPECT_TRUE(sigpipe_blocked());
        pthread_kill(pthread_self(), SIGPIPE); // stays pending while blocked
        EXPECT_TRUE(sigpipe_pending());
        sys_os_sigpipe_restore(&st); // the process survives: it was taken off the queue
        EXPECT_FALSE(sigpipe_blocked());
        EXPECT_FALSE(sigpipe_pending());
        sys_os_sigpipe_restore(&st); // a second restore does nothing
        EXPECT_FALSE(sigpipe_blocked());
    }).join();
}

TEST(SysOsSigpipe, AnEarlierPendingSigpipeAndMaskAreKept)
{
    std::thread([] {
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, SIGPIPE);
        ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &only, nullptr), 0);
        pthread_kill(pthread_self(), SIGPIPE);
        SYS_SIGPIPE_STATE st;
        ASSERT_EQ(sys_os_sigpipe_block(&st), 0);
        sys_os_sigpipe_restore(&st);
        EXPECT_TRUE(sigpipe_blocked()); // the thread's own block stays
        EXPECT_TRUE(sigpipe_pending()); // and so does its own signal
        struct timespec zero = {0, 0};
        EXPECT_EQ(sigtimedwait(&only, nullptr, &zero), SIGPIPE);
    }).join();
}

} // namespace
