// Shared helpers of the hostile-peer tests: bounded waits, counting open
// descriptors, raw loopback clients, and the texts of good SOAP replies.
#ifndef TESTS_HOSTILE_HOSTILE_UTIL_H
#define TESTS_HOSTILE_HOSTILE_UTIL_H

#include "tests/support/loopback_client.h"
#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace hostile
{

using Clock = std::chrono::steady_clock;

inline long ms_since(Clock::time_point t0)
{
    return (long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// Polls pred every 10 ms for at most ms milliseconds.
inline bool wait_until(const std::function<bool()> &pred, int ms)
{
    auto t0 = Clock::now();
    for (int i = 0; i < 100000; i++) {
        if (pred()) return true;
        if (ms_since(t0) >= ms) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

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

// Sends everything (false when the peer went away).
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

// Reads until the peer closes (true) or ms pass (false); what came goes to *out.
inline bool read_until_close(int fd, int ms, std::string *out = nullptr)
{
    auto t0 = Clock::now();
    for (int i = 0; i < 100000 && ms_since(t0) < ms; i++) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        char buf[4096];
        ssize_t n = recv(fd, buf, sizeof(buf), 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
        if (out) out->append(buf, (size_t)n);
    }
    return false;
}

// ---- replies of a device ----

const char kEnvOpen[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" "
                        "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
                        "xmlns:tt=\"http://www.onvif.org/ver10/schema\" "
                        "xmlns:ter=\"http://www.onvif.org/ver10/error\">";

inline std::string envelope(const std::string &body_content)
{
    return std::string(kEnvOpen) + "<env:Body>" + body_content + "</env:Body></env:Envelope>";
}

inline std::string device_info_body(const std::string &manufacturer = "Acme")
{
    return "<tds:GetDeviceInformationResponse><tds:Manufacturer>" + manufacturer +
           "</tds:Manufacturer><tds:Model>M1</tds:Model><tds:FirmwareVersion>1.2.3"
           "</tds:FirmwareVersion><tds:SerialNumber>SN42</tds:SerialNumber>"
           "<tds:HardwareId>HW9</tds:HardwareId></tds:GetDeviceInformationResponse>";
}

// A whole HTTP response; content_length < 0 leaves the header out.
inline std::string http_response(int status, const std::string &body,
                                 const std::string &ctype = "application/soap+xml; charset=utf-8",
                                 long content_length = -2)
{
    std::string h =
        "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Error") + "\r\n";
    if (!ctype.empty()) h += "Content-Type: " + ctype + "\r\n";
    if (content_length == -2) content_length = (long)body.size();
    if (content_length >= 0) h += "Content-Length: " + std::to_string(content_length) + "\r\n";
    return h + "Connection: close\r\n\r\n" + body;
}

inline std::string good_reply()
{
    return http_response(200, envelope(device_info_body()));
}

} // namespace hostile

#endif
