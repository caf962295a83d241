#include "tests/support/routed_net.h"

#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace
{

std::string in(pid_t pid, const std::string &cmds)
{
    return "nsenter -t " + std::to_string(pid) + " -n sh -c '" + cmds + "' >/dev/null 2>&1";
}

} // namespace

RoutedSubnet::~RoutedSubnet()
{
    for (pid_t p : {cameras, router}) {
        if (p <= 0) continue;
        kill(p, SIGKILL);
        waitpid(p, nullptr, 0);
    }
}

// A child in a network namespace of its own that waits until it is killed.
pid_t RoutedSubnet::hold(std::string *failed)
{
    int ready[2];
    if (pipe(ready) != 0) return 0;
    const pid_t pid = fork();
    if (pid == 0) {
        char ok = unshare(CLONE_NEWNET) == 0 ? 1 : 0;
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char ok = 0;
    const bool up = pid > 0 && read(ready[0], &ok, 1) == 1 && ok == 1;
    close(ready[0]);
    if (!up) {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        *failed = "no network namespace for a holder process";
        return 0;
    }
    return pid;
}

bool RoutedSubnet::run(const std::string &cmd, std::string *failed)
{
    if (std::system(cmd.c_str()) == 0) return true;
    *failed = cmd;
    return false;
}

bool RoutedSubnet::setUp(std::string *failed)
{
    router = hold(failed);
    if (!router) return false;
    cameras = hold(failed);
    if (!cameras) return false;
    const std::string r = std::to_string(router), c = std::to_string(cameras);
    return run("ip link add rt0 type veth peer name rt0p netns " + r + " >/dev/null 2>&1",
               failed) &&
           run("ip addr add 10.203.8.1/24 dev rt0 && ip link set rt0 up && "
               "ip route add 10.203.9.0/24 via 10.203.8.254",
               failed) &&
           run(in(router, "ip link set lo up && ip addr add 10.203.8.254/24 dev rt0p && "
                          "ip link set rt0p up && ip link add rt1 type veth peer name rt1p netns " +
                              c +
                              " && ip addr add 10.203.9.254/24 dev rt1 && ip link set rt1 up && "
                              "echo 1 > /proc/sys/net/ipv4/ip_forward"),
               failed) &&
           run(in(cameras, "ip link set lo up && ip addr add 10.203.9.2/24 dev rt1p && "
                           "ip link set rt1p up && ip route add default via 10.203.9.254"),
               failed);
}

bool RoutedSubnet::addCameraAddress(const std::string &ip)
{
    std::string failed;
    return cameras > 0 && run(in(cameras, "ip addr add " + ip + "/24 dev rt1p"), &failed);
}

std::vector<std::string> RoutedSubnet::cameraSide() const
{
    return {"nsenter", "-t", std::to_string(cameras), "-n", "--"};
}
