#include "tests/support/netns.h"

#include <sched.h>

#include <cstdlib>

int netns_enter_with_veth(const char *a, const char *ip_a, const char *b, const char *ip_b,
                          std::string *failed)
{
    if (unshare(CLONE_NEWNET) != 0) return NETNS_NO_NAMESPACE;
    const std::string sa(a), sb(b);
    const std::string cmds[] = {
        "ip link set lo up",
        "ip link add " + sa + " type veth peer name " + sb,
        "ip addr add " + std::string(ip_a) + "/24 dev " + sa,
        "ip addr add " + std::string(ip_b) + "/24 dev " + sb,
        "ip link set " + sa + " up",
        "ip link set " + sb + " up",
        "ip route add 224.0.0.0/4 dev " + sa,
    };
    for (const std::string &cmd : cmds) {
        if (std::system(cmd.c_str()) != 0) {
            if (failed) *failed = cmd;
            return NETNS_NO_VETH;
        }
    }
    return NETNS_READY;
}
