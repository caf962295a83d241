// Smoke tests of the camera simulator: started as a real process on
// loopback with ephemeral ports, spoken to over raw TCP sockets.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/camsim_process.h"
#include "tests/support/netns.h"
#include "tests/support/raw_http.h"
#include "tests/support/soap_text.h"

extern char **environ;

namespace
{

const char kHost[] = "127.0.0.1";

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void writeFile(const std::string &path, const std::string &data)
{
    std::ofstream f(path, std::ios::binary);
    f << data;
}

CamsimOptions options(int count = 0)
{
    return CamsimOptions{"/tmp/camsim_test_XXXXXX", count, true};
}

std::string post(int port, const std::string &path, const std::string &body,
                 const std::string &contentType = "application/soap+xml; charset=utf-8",
                 const std::string &extra = "")
{
    return raw_request(kHost, port, "POST", path, body, contentType, extra);
}

std::string device(int port, const std::string &inner)
{
    return post(port, "/onvif/device_service", soaptest::envelope(inner));
}

std::string textOf(const std::string &xml, const std::string &qname)
{
    size_t a = xml.find("<" + qname + ">");
    if (a == std::string::npos) return "<absent>";
    a += qname.size() + 2;
    size_t b = xml.find("</" + qname + ">", a);
    return b == std::string::npos ? "<absent>" : xml.substr(a, b - a);
}

} // namespace

TEST(Camsim, EveryCameraAnswersWithItsOwnIdentity)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}, {}]", options(2));
    ASSERT_TRUE(sim.ok()) << sim.error();
    EXPECT_NE(sim.ports()[0], sim.ports()[1]);
    std::string r = device(sim.ports()[1], "<tds:GetDeviceInformation/>");
    ASSERT_EQ(raw_status(r), 200) << r;
    EXPECT_EQ(textOf(raw_body(r), "tds:SerialNumber"), "CAMSIM0002");
    EXPECT_EQ(textOf(raw_body(r), "tds:FirmwareVersion"), "V1.0.0");
}

TEST(Camsim, BadRequestsGetErrorsAndTheSimulatorKeepsAnswering)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const int port = sim.port();
    for (const char *bad :
         {"this is <not xml", "<a><b></a>", "<!DOCTYPE x [<!ENTITY a \"aaaa\">]><x>&a;</x>"})
        EXPECT_EQ(raw_status(post(port, "/onvif/device_service", bad)), 400) << bad;
    EXPECT_EQ(raw_status(device(port, "")), 400);
    // unknown operation: Receiver fault ActionNotSupported
    std::string r = device(port, "<tds:NoSuchThing/>");
    EXPECT_EQ(raw_status(r), 500);
    EXPECT_NE(r.find("ActionNotSupported"), std::string::npos);
    // broken HTTP; a head that never ends is refused once it passes the limit
    const std::string head = "POST /onvif/device_service HTTP/1.1\r\n";
    EXPECT_EQ(raw_status(raw_exchange(kHost, port, "garbage\r\n\r\n")), 400);
    EXPECT_EQ(raw_status(raw_exchange(kHost, port, head + "Content-Length: x1\r\n\r\n")), 400);
    EXPECT_EQ(raw_status(raw_exchange(kHost, port, head + "Content-Length: 99999999999\r\n\r\n")),
              413);
    EXPECT_EQ(raw_status(raw_exchange(kHost, port,
                                      head + "X-Pad: " + std::string(70 * 1024, 'a') + "\r\n\r\n")),
              431);
    // and it still works
    r = device(port, "<tds:GetDeviceInformation/>");
    EXPECT_EQ(raw_status(r), 200);
    EXPECT_EQ(textOf(raw_body(r), "tds:SerialNumber"), "CAMSIM0001");
}

TEST(Camsim, SetNetworkInterfacesMovesTheCamera)
{
    CamsimProcess sim(CAMSIM_PATH, "[{}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const int port = sim.port();
    std::string set =
        "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken>"
        "<tds:NetworkInterface><tt:Enabled>true</tt:Enabled><tt:IPv4><tt:Enabled>true</tt:Enabled>"
        "<tt:Manual><tt:Address>127.0.0.2</tt:Address><tt:PrefixLength>8</tt:PrefixLength>"
        "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface>"
        "</tds:SetNetworkInterfaces>";
    std::string r = device(port, set);
    ASSERT_EQ(raw_status(r), 200) << r;
    EXPECT_EQ(textOf(raw_body(r), "tds:RebootNeeded"), "false");
    // the ready file is rewritten after the move (5 s at most)
    std::string serial, address;
    int now = 0;
    for (int i = 0; i < 500 && address != "127.0.0.2"; ++i) {
        std::istringstream(readFile(sim.dir() + "/ready")) >> serial >> address >> now;
        if (address != "127.0.0.2") std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(address, "127.0.0.2");
    EXPECT_EQ(now, port);
    EXPECT_EQ(raw_exchange(kHost, port, "GET / HTTP/1.1\r\n\r\n"), "") << "old address listens";
    r = raw_request("127.0.0.2", port, "POST", "/onvif/device_service",
                    soaptest::envelope("<tds:GetNetworkInterfaces/>"),
                    "application/soap+xml; charset=utf-8");
    EXPECT_EQ(textOf(raw_body(r), "tt:Address"), "127.0.0.2");
    EXPECT_EQ(textOf(raw_body(r), "tt:PrefixLength"), "8");

    // a move to an address that is not local fails and the camera stays
    set.replace(set.find("127.0.0.2"), 9, "192.0.2.1");
    r = raw_request("127.0.0.2", port, "POST", "/onvif/device_service", soaptest::envelope(set),
                    "application/soap+xml; charset=utf-8");
    EXPECT_EQ(raw_status(r), 200);
    bool logged = false;
    for (int i = 0; i < 500 && !logged; ++i) {
        logged = !sim.log_lines("\"ok\":false").empty();
        if (!logged) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(logged);
    EXPECT_EQ(raw_status(raw_request("127.0.0.2", port, "POST", "/onvif/device_service",
                                     soaptest::envelope("<tds:GetHostname/>"),
                                     "application/soap+xml; charset=utf-8")),
              200);
}

TEST(Camsim, LoginAndFirmwareUpload)
{
    CamsimProcess sim(CAMSIM_PATH, "[{\"upload_requires_cookie\": true}]", options());
    ASSERT_TRUE(sim.ok()) << sim.error();
    const int port = sim.port();
    std::string r =
        post(port, "/account/login", "uname2=&passwd2=", "application/x-www-form-urlencoded");
    ASSERT_EQ(raw_status(r), 200);
    size_t k = r.find("Set-Cookie: session=");
    ASSERT_NE(k, std::string::npos) << r;
    std::string cookie = r.substr(k + 12, r.find(';', k) - k - 12);

    std::string image;
    for (int i = 0; i < 300000; ++i)
        image += char(i * 7 + (i >> 8)); // binary, with CR LF and NUL
    image += "\r\n--notTheBoundary\r\n";
    const std::string b = "xYzBoundary42";
    std::string mp =
        "--" + b +
        "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"V3.1.4.bin\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        image + "\r\n--" + b + "--\r\n";
    // without the cookie: refused, nothing stored
    r = post(port, "/api/sysConfig/uploadSystem", mp, "multipart/form-data; boundary=" + b);
    EXPECT_EQ(raw_status(r), 401);
    r = post(port, "/api/sysConfig/uploadSystem", mp, "multipart/form-data; boundary=" + b,
             "Cookie: " + cookie + "\r\nExpect: 100-continue\r\n");
    // the interim 100 Continue comes first
    ASSERT_NE(r.find("HTTP/1.1 200"), std::string::npos) << r.substr(0, 300);
    EXPECT_EQ(readFile(sim.dir() + "/CAMSIM0001.bin"), image);
    r = device(port, "<tds:GetDeviceInformation/>");
    EXPECT_EQ(textOf(raw_body(r), "tds:FirmwareVersion"), "V3.1.4");
    EXPECT_FALSE(sim.log_lines("\"cookie_valid\":true").empty());
}

TEST(Camsim, BadConfigurationIsRefused)
{
    char dir[] = "/tmp/camsim_bad_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string cfg = std::string(dir) + "/cfg.json";
    writeFile(cfg, "[{\"answr\": \"normal\"}]");
    const std::string cmd = "timeout 10 " + std::string(CAMSIM_PATH) +
                            " --quiet --no-discovery --address " + kHost +
                            " --http-port 0 --config " + cfg + " 2>/dev/null";
    const int st = std::system(cmd.c_str());
    const int rm = std::system(("rm -rf '" + std::string(dir) + "'").c_str());
    (void)rm;
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);
}

namespace
{

// Receives datagrams on fd for up to ms milliseconds and returns the first
// one that contains every needle, or "".
std::string receiveMatching(int fd, int ms, const std::vector<std::string> &needles)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    char buf[65536];
    for (int guard = 0; guard < 1000 && std::chrono::steady_clock::now() < end; ++guard) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) continue;
        std::string d(buf, size_t(n));
        bool all = true;
        for (const auto &s : needles)
            all = all && d.find(s) != std::string::npos;
        if (all) return d;
    }
    return std::string();
}

// Runs in a child process inside a fresh network namespace with a veth pair
// 10.203.9.1 (camera side) / 10.203.9.2 (client side). Exit codes: 0 all seen,
// 77 no namespace, 78 no veth, 1.. the step that failed.
int discoveryInNamespace()
{
    int ns = netns_enter_with_veth("va", "10.203.9.1", "vb", "10.203.9.2", nullptr);
    if (ns != NETNS_READY) return ns;
    int mc = socket(AF_INET, SOCK_DGRAM, 0);
    int one = 1;
    setsockopt(mc, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(3702);
    if (bind(mc, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0) return 2;
    ip_mreq mr{};
    inet_pton(AF_INET, "239.255.255.250", &mr.imr_multiaddr);
    inet_pton(AF_INET, "10.203.9.2", &mr.imr_interface);
    if (setsockopt(mc, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mr, sizeof mr) != 0) return 3;

    char tmpl[] = "/tmp/camsim_disc_XXXXXX";
    if (!mkdtemp(tmpl)) return 4;
    std::string ready = std::string(tmpl) + "/ready", log = std::string(tmpl) + "/log";
    // the second camera is not discoverable: it neither says Hello nor answers probes
    writeFile(std::string(tmpl) + "/cfg.json", "[{}, {\"discoverable\": false}]");
    std::vector<std::string> args = {CAMSIM_PATH, "--quiet", "--http-port", "0"};
    for (const char *opt : {"--address", "--discovery-address"})
        args.insert(args.end(), {opt, "10.203.9.1"});
    args.insert(args.end(), {"--probe-delay-ms", "50", "--ready-file", ready, "--request-log", log,
                             "--config", std::string(tmpl) + "/cfg.json"});
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, CAMSIM_PATH, nullptr, nullptr, argv.data(), environ) != 0) return 5;
    struct stat sb;
    for (int i = 0; i < 1000 && stat(ready.c_str(), &sb) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::istringstream in(readFile(ready));
    std::string serial, addr;
    int port = 0;
    in >> serial >> addr >> port;
    std::string xaddr = "http://10.203.9.1:" + std::to_string(port) + "/onvif/device_service";
    int rc = 0;
    if (port == 0) rc = 6;
    if (rc == 0 && receiveMatching(mc, 3000, {"discovery/Hello", xaddr}).empty()) rc = 7;

    int pr = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, "10.203.9.2", &local.sin_addr);
    bind(pr, reinterpret_cast<sockaddr *>(&local), sizeof local);
    in_addr ifa{};
    inet_pton(AF_INET, "10.203.9.2", &ifa);
    setsockopt(pr, IPPROTO_IP, IP_MULTICAST_IF, &ifa, sizeof ifa);
    sockaddr_in grp{};
    grp.sin_family = AF_INET;
    grp.sin_port = htons(3702);
    grp.sin_addr = mr.imr_multiaddr;
    const std::string probe =
        R"(<Envelope xmlns="http://www.w3.org/2003/05/soap-envelope")"
        R"( xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing"><Header>)"
        R"(<wsa:MessageID>uuid:1234-probe</wsa:MessageID><wsa:Action>)"
        R"(http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action></Header><Body>)"
        R"(<Probe xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery">)"
        R"(<Types>dn:NetworkVideoTransmitter</Types><Scopes /></Probe></Body></Envelope>)";
    if (rc == 0) {
        sendto(pr, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr *>(&grp), sizeof grp);
        if (receiveMatching(pr, 3000, {"ProbeMatch", "uuid:1234-probe", xaddr, "urn:uuid:"})
                .empty())
            rc = 8;
        else if (readFile(log).find("\"matched\":1,") == std::string::npos)
            rc = 12;
    }
    kill(pid, SIGTERM);
    if (rc == 0 && receiveMatching(mc, 3000, {"discovery/Bye", "urn:uuid:"}).empty()) rc = 9;
    int st = 0;
    for (int i = 0; i < 300 && waitpid(pid, &st, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitpid(pid, &st, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &st, 0);
    } else if (rc == 0 && !(WIFEXITED(st) && WEXITSTATUS(st) == 0)) {
        rc = 10;
    }
    std::string cmd = std::string("rm -rf '") + tmpl + "'";
    if (std::system(cmd.c_str()) != 0) rc = rc ? rc : 11;
    return rc;
}

} // namespace

TEST(Camsim, DiscoveryHelloProbeMatchAndByeInANetworkNamespace)
{
    if (geteuid() != 0) GTEST_SKIP() << "needs root to create a network namespace";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(discoveryInNamespace());
    int st = 0;
    int code = -1;
    for (int i = 0; i < 3000; ++i) { // 30 s at most
        if (waitpid(child, &st, WNOHANG) == child) {
            code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (code == -1) {
        kill(child, SIGKILL);
        waitpid(child, &st, 0);
    }
    if (code == 77) GTEST_SKIP() << "cannot create a network namespace here";
    if (code == 78) GTEST_SKIP() << "cannot create a veth pair in the test namespace";
    EXPECT_EQ(code, 0) << "1-6 set-up, 7 no Hello, 8 no ProbeMatch, 9 no Bye, 10 bad exit, "
                          "12 a non-discoverable camera answered the probe";
}
