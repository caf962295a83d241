// Unicast probing on loopback: responders on ephemeral ports stand for
// cameras on another subnet; onvif_probe_unicast reaches each by its address.
#include "discovery/probe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace
{

std::string probe_match(const std::string &epr, const std::string &xaddr)
{
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><s:Header/><s:Body>"
           "<d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>" +
           epr +
           "</a:Address></a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
           "<d:XAddrs>" +
           xaddr +
           "</d:XAddrs><d:MetadataVersion>3</d:MetadataVersion></d:ProbeMatch>"
           "</d:ProbeMatches></s:Body></s:Envelope>";
}

// Answers every datagram on 127.0.0.1:<port> with `answer` and keeps what it got.
class Responder
{
  public:
    explicit Responder(std::string reply) : answer(std::move(reply))
    {
        fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a;
        memset(&a, 0, sizeof(a));
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(a);
        if (bind(fd, (sockaddr *)&a, sizeof(a)) != 0 || getsockname(fd, (sockaddr *)&a, &len) != 0)
            return;
        port = ntohs(a.sin_port);
        thread = std::thread([this] { run(); });
    }
    ~Responder()
    {
        done = true;
        if (thread.joinable()) thread.join();
        close(fd);
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port); }
    std::vector<std::string> received()
    {
        std::lock_guard<std::mutex> g(lock);
        return got;
    }

  private:
    void run()
    {
        char buf[65536];
        while (!done) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            sockaddr_in from;
            socklen_t len = sizeof(from);
            ssize_t n = recvfrom(fd, buf, sizeof(buf), 0, (sockaddr *)&from, &len);
            if (n <= 0) continue;
            {
                std::lock_guard<std::mutex> g(lock);
                got.emplace_back(buf, (size_t)n);
            }
            sendto(fd, answer.data(), answer.size(), 0, (sockaddr *)&from, len);
        }
    }

    std::string answer;
    int fd = -1;
    int port = 0;
    std::atomic<bool> done{false};
    std::thread thread;
    std::mutex lock;
    std::vector<std::string> got;
};

struct Seen {
    std::vector<std::string> eprs, hosts;
    std::vector<int> kinds;
};

void collect(const DEVICE_BINFO *b, int kind, void *user)
{
    Seen *s = static_cast<Seen *>(user);
    s->eprs.push_back(b->endpoint_address);
    s->hosts.push_back(b->xaddr.host);
    s->kinds.push_back(kind);
}

int stop_now(void *)
{
    return 1;
}

} // namespace

// Each reachable host gets the Probe pair; every ProbeMatch that comes back
// reaches the callback; unusable addresses are skipped, not fatal.
TEST(ProbeUnicast, ProbesEachHostAndReportsItsMatches)
{
    Responder a(probe_match("urn:uuid:cam-a", "http://10.9.0.5/onvif/device_service"));
    Responder b(probe_match("urn:uuid:cam-b", "http://10.9.0.6:8080/onvif/device_service"));
    const std::string ha = a.host(), hb = b.host();
    const char *hosts[] = {ha.c_str(), "not-an-address", "127.0.0.1:0", nullptr, hb.c_str()};
    Seen seen;
    const int n = onvif_probe_unicast(hosts, 5, 1, 300, collect, &seen, nullptr);
    EXPECT_EQ(n, 4); // two Probes per host, each answered
    ASSERT_EQ(seen.eprs.size(), 4u);
    int fromA = 0;
    for (size_t i = 0; i < seen.eprs.size(); i++) {
        EXPECT_EQ(seen.kinds[i], PROBE_MSG_MATCH);
        if (seen.eprs[i] == "urn:uuid:cam-a") {
            fromA++;
            EXPECT_EQ(seen.hosts[i], std::string("10.9.0.5"));
        } else {
            EXPECT_EQ(seen.eprs[i], std::string("urn:uuid:cam-b"));
        }
    }
    EXPECT_EQ(fromA, 2);
    const std::vector<std::string> got = a.received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_NE(got[0].find("<Types>tds:Device</Types>"), std::string::npos);
    EXPECT_NE(got[1].find("<Types>dn:NetworkVideoTransmitter</Types>"), std::string::npos);
}

// Answers that are no ProbeMatch (a Hello, junk) report nothing.
TEST(ProbeUnicast, OtherAnswersAreIgnored)
{
    Responder hello("<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body>"
                    "<Hello><XAddrs>http://10.9.0.7/onvif/device_service</XAddrs>"
                    "<Types>dn:NetworkVideoTransmitter</Types></Hello></s:Body></s:Envelope>");
    Responder junk("\x01<<not xml");
    const std::string h1 = hello.host(), h2 = junk.host();
    const char *hosts[] = {h1.c_str(), h2.c_str()};
    Seen seen;
    EXPECT_EQ(onvif_probe_unicast(hosts, 2, 1, 200, collect, &seen, nullptr), 0);
    EXPECT_TRUE(seen.eprs.empty());
    EXPECT_EQ(hello.received().size(), 2u);
}

// A stop that is asked for at once sends nothing.
TEST(ProbeUnicast, StopEndsBeforeSending)
{
    Responder a(probe_match("urn:uuid:cam-a", "http://10.9.0.5/onvif/device_service"));
    const std::string h = a.host();
    const char *hosts[] = {h.c_str()};
    Seen seen;
    EXPECT_EQ(onvif_probe_unicast(hosts, 1, 1, 60000, collect, &seen, stop_now), 0);
    EXPECT_TRUE(a.received().empty());
}
