// Test support: a private network for tests that need real interfaces
// (multicast discovery). The calling process leaves the host's network for a
// namespace of its own, so nothing the test sends reaches a real network.
// Needs root (CAP_SYS_ADMIN and CAP_NET_ADMIN) and the ip tool.
#ifndef TESTS_SUPPORT_NETNS_H
#define TESTS_SUPPORT_NETNS_H

#include <string>

// Exit-code style results, usable directly as a child process's exit status.
enum {
    NETNS_READY = 0,
    NETNS_NO_NAMESPACE = 77, // unshare failed
    NETNS_NO_VETH = 78,      // a set-up command failed
};

// Enters a new network namespace with loopback up and a veth pair
// a (ip_a/24) <-> b (ip_b/24), both up, the multicast range routed through a.
// On NETNS_NO_VETH the failed command is stored in *failed (when given).
int netns_enter_with_veth(const char *a, const char *ip_a, const char *b, const char *ip_b,
                          std::string *failed);

#endif
