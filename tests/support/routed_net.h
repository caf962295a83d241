// Test support: a camera subnet behind a router, for traffic that must
// cross one (unicast search; multicast stays behind). The calling process
// stays in its own network namespace (made by the test) and gets an
// interface on the router's first subnet; the router and the camera side are
// network namespaces held by child processes, so they vanish with them.
//
//   caller   rt0  10.203.8.1/24   (route to 10.203.9.0/24 via the router)
//   router   rt0p 10.203.8.254/24, rt1 10.203.9.254/24, forwarding on
//   cameras  rt1p 10.203.9.2/24 (+ extra addresses), default via the router
//
// Needs root, nsenter and the ip tool.
#ifndef TESTS_SUPPORT_ROUTED_NET_H
#define TESTS_SUPPORT_ROUTED_NET_H

#include <sys/types.h>

#include <string>
#include <vector>

class RoutedSubnet
{
  public:
    static constexpr const char *kCallerIp = "10.203.8.1";
    static constexpr const char *kCameraIp = "10.203.9.2";

    RoutedSubnet() = default;
    ~RoutedSubnet(); // ends both namespaces (their holders are killed and reaped)
    RoutedSubnet(const RoutedSubnet &) = delete;
    RoutedSubnet &operator=(const RoutedSubnet &) = delete;

    // false with the failed step in *failed.
    bool setUp(std::string *failed);
    // One more address on the camera side (a.b.c.d, /24).
    bool addCameraAddress(const std::string &ip);
    // The command prefix that runs a program on the camera side.
    std::vector<std::string> cameraSide() const;

  private:
    pid_t hold(std::string *failed);
    bool run(const std::string &cmd, std::string *failed);

    pid_t router = 0;
    pid_t cameras = 0;
};

#endif
