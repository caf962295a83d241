#include "platform/sys_net.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace
{

uint32_t addr(const char *dotted)
{
    return inet_addr(dotted);
}

TEST(SysNetText, DottedAddressTest)
{
    const char *good[] = {"1.2.3.4",   "255.255.255.255", "0.0.0.0",         "192.168.1.10",
                          "010.1.1.1", "1.2.3.4.",        "001.002.003.004", "123.123.123.123"};
    for (const char *t : good)
        EXPECT_EQ(is_ip_address(t), 1) << t;
    const char *bad[] = {
        "",           "1.2.3",      "1.2.3.4.5",        "256.1.1.1",      "1.2.3.256",
        "1.2.3.4x",   "1.2.3.4..",  "1..2.3",           ".1.2.3",         "1234.1.1.1",
        "1.2.3.0004", "0001.2.3.4", "a.b.c.d",          " 1.2.3.4",       "1.2.3.4 ",
        "1.2.3.-4",   "1.2.3.4/24", "100.100.100.1000", "1.2.3.4.1.2.3.4"};
    for (const char *t : bad)
        EXPECT_EQ(is_ip_address(t), 0) << t;
    EXPECT_EQ(is_ip_address(nullptr), 0);
    EXPECT_EQ(is_ip_address("100.100.100.100"), 1);  // 15 characters
    EXPECT_EQ(is_ip_address("100.100.100.100."), 0); // 16
}

TEST(SysNetText, MasksAndPrefixLengths)
{
    EXPECT_STREQ(get_mask_by_prefix_len(24), "255.255.255.0");
    EXPECT_STREQ(get_mask_by_prefix_len(0), "0.0.0.0");
    EXPECT_STREQ(get_mask_by_prefix_len(-5), "0.0.0.0");
    EXPECT_STREQ(get_mask_by_prefix_len(40), "255.255.255.255");
    EXPECT_STREQ(get_mask_by_prefix_len(32), "255.255.255.255");
    EXPECT_STREQ(get_mask_by_prefix_len(31), "255.255.255.254");
    EXPECT_STREQ(get_mask_by_prefix_len(1), "128.0.0.0");
    EXPECT_STREQ(get_mask_by_prefix_len(-2147483647 - 1), "0.0.0.0");
    EXPECT_STREQ(get_mask_by_prefix_len(2147483647), "255.255.255.255");
    for (int n = 0; n <= 32; n++)
        EXPECT_EQ(get_prefix_len_by_mask(get_mask_by_prefix_len(n)), n) << n;

    EXPECT_EQ(get_prefix_len_by_mask("255.0.255.0"), 8);
    EXPECT_EQ(get_prefix_len_by_mask("255.255.240.000"), 20);
    EXPECT_EQ(get_prefix_len_by_mask("not a mask"), 32);
    EXPECT_EQ(get_prefix_len_by_mask(""), 32);
    EXPECT_EQ(get_prefix_len_by_mask(nullptr), 32);
}

TEST(SysNetText, ResolutionAndDottedText)
{
    EXPECT_EQ(get_address_by_name("10.1.2.3"), addr("10.1.2.3"));
    EXPECT_EQ(get_address_by_name("010.001.002.003"), addr("10.1.2.3")) << "groups are decimal";
    EXPECT_EQ(get_address_by_name("1.2.3.4."), addr("1.2.3.4"));
    EXPECT_EQ(get_address_by_name("localhost"), addr("127.0.0.1"));
    EXPECT_EQ(get_address_by_name(""), 0u);
    EXPECT_EQ(get_address_by_name(nullptr), 0u);

    EXPECT_STREQ(get_ip_str(addr("192.168.1.20")), "192.168.1.20");
    EXPECT_STREQ(get_ip_str(0xFFFFFFFFu), "255.255.255.255");
    EXPECT_STREQ(get_ip_str(0), "0.0.0.0");

    // Each thread has its own text.
    const char *mine = get_ip_str(addr("1.2.3.4"));
    std::string theirs;
    std::thread([&] { theirs = get_ip_str(addr("5.6.7.8")); }).join();
    EXPECT_STREQ(mine, "1.2.3.4");
    EXPECT_EQ(theirs, "5.6.7.8");

    EXPECT_EQ(network_init(), 0);
    EXPECT_EQ(daemon_init(), 0);
}

TEST(SysNetHost, AddressTableHasLoopbackAndRoutes)
{
    int n = get_if_nums();
    ASSERT_GE(n, 1);
    ASSERT_LE(n, 21);
    bool loopback = false;
    for (int i = 0; i < n; i++)
        loopback = loopback || get_if_ip(i) == addr("127.0.0.1");
    EXPECT_TRUE(loopback);
    EXPECT_EQ(get_if_ip(n), 0u);
    EXPECT_EQ(get_if_ip(-1), 0u);

    EXPECT_EQ(get_route_if_ip(addr("127.0.0.1")), addr("127.0.0.1"));
    EXPECT_EQ(get_route_if_ip(addr("127.9.8.7")), addr("127.0.0.1"));

    uint32_t def = get_default_if_ip();
    EXPECT_NE(def, 0u);
    const char *local = get_local_ip();
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(inet_addr(local), def);
}

// ---- Scenarios in a private network and mount namespace (needs root) ----

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "namespace check failed at line %d: %s\n", __LINE__, #cond);           \
            return 1;                                                                              \
        }                                                                                          \
    } while (0)

bool sh(const std::string &cmd)
{
    std::string quiet = cmd + " >/dev/null 2>&1";
    return system(quiet.c_str()) == 0;
}

// Replaces /etc/resolv.conf for this mount namespace.
bool use_resolv_conf(const char *content)
{
    char tmpl[] = "/tmp/resolv_test_XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) return false;
    bool ok = write(fd, content, strlen(content)) == (ssize_t)strlen(content);
    close(fd);
    umount2("/etc/resolv.conf", MNT_DETACH); // an earlier bind, if any
    ok = ok && mount(tmpl, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0;
    unlink(tmpl);
    return ok;
}

int namespace_scenarios()
{
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return 77;
    // /run/systemd/resolve/resolv.conf must not answer for the host either.
    mount("tmpfs", "/run", "tmpfs", 0, nullptr);

    // No network at all: loopback down, no routes, no DNS server.
    CHECK(use_resolv_conf("# empty\n"));
    CHECK(get_if_nums() <= 1);
    CHECK(get_route_if_ip(0) == 0);
    CHECK(get_route_if_ip(inet_addr("10.1.2.3")) == 0);
    CHECK(strcmp(get_default_gateway(), "") == 0);
    CHECK(strcmp(get_dns_server(), "") == 0);
    uint8_t mac[10]; // eight bytes are written, the last two stay
    memset(mac, 0xEE, sizeof(mac));
    CHECK(get_default_if_mac(mac) == 0);
    for (int i = 0; i < 10; i++)
        CHECK(mac[i] == (i < 8 ? 0 : 0xEE));
    CHECK(get_default_if_mac(nullptr) == 0);
    if (get_if_nums() == 0) {
        CHECK(get_default_if_ip() == 0);
        CHECK(get_local_ip() == nullptr);
    }

    // One adapter with a default route through a gateway.
    if (!sh("ip link set lo up") || !sh("ip link add v0 type veth peer name v1")) return 78;
    CHECK(sh("ip link set v0 address 02:11:22:33:44:55"));
    CHECK(sh("ip link set v1 address 02:66:77:88:99:aa"));
    CHECK(sh("ip addr add 10.9.8.7/24 dev v0"));
    CHECK(sh("ip link set v1 up"));
    CHECK(sh("ip link set v0 up"));
    CHECK(sh("ip route add default via 10.9.8.1 dev v0"));
    CHECK(get_default_if_ip() == inet_addr("10.9.8.7"));
    CHECK(strcmp(get_local_ip(), "10.9.8.7") == 0);
    CHECK(strcmp(get_default_gateway(), "10.9.8.1") == 0);
    CHECK(get_route_if_ip(inet_addr("10.9.8.20")) == inet_addr("10.9.8.7"));
    CHECK(get_route_if_ip(inet_addr("198.51.100.1")) == inet_addr("10.9.8.7"));
    CHECK(get_route_if_ip(inet_addr("127.0.0.1")) == inet_addr("127.0.0.1"));
    CHECK(get_default_if_mac(mac) == 0);
    // The first adapter in interface-index order that is not loopback.
    const uint8_t mac_v0[8] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0};
    const uint8_t mac_v1[8] = {0x02, 0x66, 0x77, 0x88, 0x99, 0xaa, 0, 0};
    bool v0_first = if_nametoindex("v0") < if_nametoindex("v1");
    CHECK(memcmp(mac, v0_first ? mac_v0 : mac_v1, 8) == 0);

    // A route with a lower metric wins for both the interface and the gateway.
    CHECK(sh("ip addr add 10.7.7.2/24 dev v1"));
    CHECK(sh("ip route del default"));
    CHECK(sh("ip route add default via 10.9.8.1 dev v0 metric 50"));
    CHECK(sh("ip route add default via 10.7.7.1 dev v1 metric 10"));
    CHECK(get_default_if_ip() == inet_addr("10.7.7.2"));
    CHECK(strcmp(get_default_gateway(), "10.7.7.1") == 0);

    // DNS: local stubs and IPv6 entries are passed over.
    CHECK(
        use_resolv_conf("search example\nnameserver 127.0.0.53\nnameserver ::1\n"
                        "# nameserver 192.0.2.1\nnameserver 192.0.2.53 \nnameserver 192.0.2.54\n"));
    CHECK(strcmp(get_dns_server(), "192.0.2.53") == 0);
    std::string longline = "nameserver " + std::string(600, '9') + "\nnameserver 192.0.2.77\n";
    CHECK(use_resolv_conf(longline.c_str()));
    CHECK(strcmp(get_dns_server(), "192.0.2.77") == 0);

    // The table holds 21 rows: lo, v1 and 19 on v0 fit; one more does not.
    for (int i = 1; i <= 18; i++)
        CHECK(sh("ip addr add 10.9.9." + std::to_string(i) + "/32 dev v0"));
    CHECK(get_if_nums() == 21);
    CHECK(get_if_ip(20) != 0);
    CHECK(get_if_ip(21) == 0);
    CHECK(sh("ip addr add 10.9.9.100/32 dev v0"));
    CHECK(get_if_nums() == 0);
    CHECK(get_if_ip(0) == 0);
    CHECK(get_default_if_ip() == 0);
    return 0;
}

TEST(SysNetNamespace, RoutesGatewayMacDnsAndTableLimit)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root for network and mount namespaces";
    if (system("ip -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs the ip tool";

    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(namespace_scenarios());

    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 600 && done == 0; i++) { // at most 30 s
        done = waitpid(pid, &status, WNOHANG);
        if (done == 0) usleep(50000);
    }
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "namespace scenarios did not finish";
    }
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot create network/mount namespaces";
    if (WEXITSTATUS(status) == 78) GTEST_SKIP() << "cannot create veth interfaces in a namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the failed check printed above";
}

} // namespace
