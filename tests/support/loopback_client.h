// Test support: raw TCP clients of a loopback port, for talking to a server
// under test byte for byte: connect, send everything, read until the peer
// closes; and the number of descriptors the process holds (to show that a
// path gave its sockets back). Every wait is bounded.
#ifndef TESTS_SUPPORT_LOOPBACK_CLIENT_H
#define TESTS_SUPPORT_LOOPBACK_CLIENT_H

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/support/wait.h"

// Connects to 127.0.0.1:port with 5 s send/receive limits; -1 on failure.
inline int tcp_client(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    struct timeval tv = {5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    struct sockaddr_in sa;
    memset(&sa, 0, sizeof(sa));
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons((uint16_t)port);
    if (connect(fd, (struct sockaddr *)&sa, sizeof(sa)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends everything; false when the peer went away.
inline bool send_all(int fd, const std::string &s)
{
    size_t pos = 0;
    for (int i = 0; i < 100000 && pos < s.size(); i++) {
        ssize_t w = send(fd, s.data() + pos, s.size() - pos, MSG_NOSIGNAL);
        if (w <= 0) return false;
        pos += (size_t)w;
    }
    return pos == s.size();
}

// Reads until the peer closes or resets (true) or ms pass (false); what came
// goes to *data when given.
inline bool read_until_close(int fd, std::string *data, int ms = 5000)
{
    auto t0 = std::chrono::steady_clock::now();
    char buf[4096];
    for (int i = 0; i < 100000 && ms_since(t0) < ms; i++) {
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) continue;
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
        if (data) data->append(buf, (size_t)n);
    }
    return false;
}

// One exchange on a fresh connection: sends data, returns what came back
// until the peer closed (*closed true) or ms passed.
inline std::string talk(int port, const std::string &data, int ms = 3000, bool *closed = nullptr)
{
    if (closed) *closed = false;
    int fd = tcp_client(port);
    if (fd < 0) return "<no connection>";
    std::string out;
    send_all(fd, data);
    bool c = read_until_close(fd, &out, ms);
    if (closed) *closed = c;
    close(fd);
    return out;
}

// A loopback port that listens but never accepts: connections() takes what
// clients completed in its queue. A client that was never meant to connect
// shows up here at once, without waiting for it.
class ListeningPort
{
  public:
    ListeningPort()
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        struct sockaddr_in sa;
        memset(&sa, 0, sizeof(sa));
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(sa);
        if (fd_ < 0 || bind(fd_, (struct sockaddr *)&sa, sizeof(sa)) != 0 || listen(fd_, 16) != 0 ||
            getsockname(fd_, (struct sockaddr *)&sa, &len) != 0)
            return;
        port_ = ntohs(sa.sin_port);
    }
    ~ListeningPort()
    {
        if (fd_ >= 0) close(fd_);
    }
    ListeningPort(const ListeningPort &) = delete;
    ListeningPort &operator=(const ListeningPort &) = delete;

    int port() const { return port_; }
    int connections()
    {
        int n = 0;
        for (int c; n < 1000 && (c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; n++)
            close(c);
        return n;
    }

  private:
    int fd_ = -1;
    int port_ = 0;
};

// Number of open descriptors of the process.
inline int open_fds()
{
    DIR *d = opendir("/proc/self/fd");
    if (!d) return -1;
    int n = 0;
    for (int i = 0; i < 1000000; i++) {
        struct dirent *e = readdir(d);
        if (!e) break;
        if (e->d_name[0] != '.') n++;
    }
    closedir(d);
    return n - 1; // the directory stream itself
}

#endif
