// Test support: HTTP/1.1 over a raw TCP socket, for talking to camsim (or any
// loopback server) without the library: one request per connection, the
// answer read until the server closes, and small readers of the answer.
#ifndef TESTS_SUPPORT_RAW_HTTP_H
#define TESTS_SUPPORT_RAW_HTTP_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

// Sends request to host:port and returns everything the server sends until
// it closes (at most 5 s). "" when the connection fails.
inline std::string raw_exchange(const std::string &host, int port, const std::string &request)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::string();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, host.c_str(), &sa.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        close(fd);
        return std::string();
    }
    size_t off = 0;
    while (off < request.size()) {
        ssize_t n = send(fd, request.data() + off, request.size() - off, MSG_NOSIGNAL);
        if (n <= 0) break;
        off += size_t(n);
    }
    std::string out;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    char buf[65536];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        out.append(buf, size_t(n));
    }
    close(fd);
    return out;
}

// A request with a body; extra holds whole header lines ("Name: value\r\n").
inline std::string raw_request(const std::string &host, int port, const std::string &method,
                               const std::string &path, const std::string &body,
                               const std::string &contentType, const std::string &extra = "")
{
    std::string req =
        method + " " + path + " HTTP/1.1\r\nHost: " + host + ":" + std::to_string(port) + "\r\n";
    if (!contentType.empty()) req += "Content-Type: " + contentType + "\r\n";
    if (method != "GET") req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return raw_exchange(host, port, req + extra + "Connection: close\r\n\r\n" + body);
}

// The status code of an answer, -1 when it is not HTTP/1.1.
inline int raw_status(const std::string &resp)
{
    if (resp.compare(0, 9, "HTTP/1.1 ") != 0) return -1;
    return std::atoi(resp.c_str() + 9);
}

// The body of an answer (after the first blank line).
inline std::string raw_body(const std::string &resp)
{
    size_t p = resp.find("\r\n\r\n");
    return p == std::string::npos ? std::string() : resp.substr(p + 4);
}

// The value of a header of an answer (name case-insensitive), "" when absent.
inline std::string raw_header(const std::string &resp, const std::string &name)
{
    size_t end = resp.find("\r\n\r\n");
    size_t at = resp.find("\r\n");
    for (int guard = 0; at != std::string::npos && at < end && guard < 200; ++guard) {
        size_t next = resp.find("\r\n", at + 2);
        std::string line = resp.substr(at + 2, next - at - 2);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            size_t v = line.find_first_not_of(' ', name.size() + 1);
            return v == std::string::npos ? std::string() : line.substr(v);
        }
        at = next;
    }
    return std::string();
}

#endif
