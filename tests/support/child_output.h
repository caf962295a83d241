// Test support: runs a function in several freshly forked child processes,
// started one right after the other, and collects the text each returned.
// Two processes started in the same second must not produce the same
// identifiers or nonces; this is how a test shows it. Every wait is bounded:
// a child that does not answer within the limit is killed and gives "".
#ifndef TESTS_SUPPORT_CHILD_OUTPUT_H
#define TESTS_SUPPORT_CHILD_OUTPUT_H

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace childout
{

inline std::vector<std::string>
outputs_of_children(int count, const std::function<std::string()> &fn, int limit_ms = 10000)
{
    std::vector<std::string> out((size_t)count);
    std::vector<int> fds((size_t)count, -1);
    std::vector<pid_t> pids((size_t)count, -1);
    for (int i = 0; i < count; i++) {
        int p[2];
        if (pipe(p) != 0) break;
        pid_t pid = fork();
        if (pid == 0) {
            close(p[0]);
            std::string s = fn();
            size_t pos = 0;
            for (int k = 0; k < 1000 && pos < s.size(); k++) {
                ssize_t w = write(p[1], s.data() + pos, s.size() - pos);
                if (w <= 0) break;
                pos += (size_t)w;
            }
            close(p[1]);
            _exit(0); // no atexit handlers, no leak report of the parent's state
        }
        close(p[1]);
        if (pid < 0) {
            close(p[0]);
            break;
        }
        fds[(size_t)i] = p[0];
        pids[(size_t)i] = pid;
    }
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < count; i++) {
        int fd = fds[(size_t)i];
        if (fd < 0) continue;
        for (int k = 0; k < 100000; k++) {
            long spent = (long)std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - t0)
                             .count();
            if (spent >= limit_ms) break;
            struct pollfd pfd = {fd, POLLIN, 0};
            if (poll(&pfd, 1, (int)(limit_ms - spent)) <= 0) break;
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof(buf));
            if (n <= 0) break;
            out[(size_t)i].append(buf, (size_t)n);
        }
        close(fd);
        kill(pids[(size_t)i], SIGKILL); // gone already, or hanging
        waitpid(pids[(size_t)i], nullptr, 0);
    }
    return out;
}

} // namespace childout

#endif
