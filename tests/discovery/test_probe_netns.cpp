// End to end over real multicast: the whole test process moves into a
// network namespace of its own with a veth pair (10.203.1.1 <-> 10.203.1.2),
// and a responder on 10.203.1.2 plays one camera site.
#include "discovery/probe.h"
#include "tests/support/netns.h"
#include "tests/support/wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

const char OUR_IP[] = "10.203.1.1";
const char PEER_IP[] = "10.203.1.2";
const char GROUP[] = "239.255.255.250";
const int WSD_PORT = 3702;

bool g_ns_ready = false;
std::string g_skip_reason = "needs root to create a network namespace; skipped";

sockaddr_in addr_of(const char *ip, int port)
{
    sockaddr_in a;
    memset(&a, 0, sizeof(a));
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// ---------------------------------------------------------------------------
// Messages of the simulated cameras.

std::string probe_match_entry(const std::string &pfx, const std::string &epr,
                              const std::string &types, const std::string &scopes,
                              const std::string &xaddrs, int mdv)
{
    return "<" + pfx + "ProbeMatch><a:EndpointReference><a:Address>" + epr +
           "</a:Address></a:EndpointReference><" + pfx + "Types>" + types + "</" + pfx + "Types><" +
           pfx + "Scopes>" + scopes + "</" + pfx + "Scopes><" + pfx + "XAddrs>" + xaddrs + "</" +
           pfx + "XAddrs><" + pfx + "MetadataVersion>" + std::to_string(mdv) + "</" + pfx +
           "MetadataVersion></" + pfx + "ProbeMatch>";
}

std::string wrap(const std::string &env, const std::string &action, const std::string &relates,
                 const std::string &body)
{
    std::string p = env.empty() ? "" : env + ":";
    std::string ns = env.empty() ? "xmlns" : "xmlns:" + env;
    std::string hdr =
        "<a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/" + action + "</a:Action>";
    if (!relates.empty()) hdr += "<a:RelatesTo>uuid:" + relates + "</a:RelatesTo>";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + p + "Envelope " + ns +
           "=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><" +
           p + "Header>" + hdr + "</" + p + "Header><" + p + "Body>" + body + "</" + p + "Body></" +
           p + "Envelope>\n";
}

const char CAM_A_XADDRS[] = "http://169.254.10.10/onvif/device_service "
                            "http://10.203.1.2:8080/onvif/device_service "
                            "http://cam-a.local/onvif/device_service";
const char CAM_B_XADDRS[] = "http://169.254.20.20:81/x https://cam-b.local:8443/onvif/dev";

std::string probe_matches(const std::string &env, const std::string &relates)
{
    std::string pfx = env == "" ? "" : "d:";
    std::string body =
        "<" + pfx + "ProbeMatches>" +
        probe_match_entry(pfx, "urn:uuid:cam-a", "dn:NetworkVideoTransmitter tds:Device",
                          "onvif://www.onvif.org/type/video_encoder "
                          "onvif://www.onvif.org/name/CamA onvif://www.onvif.org/hardware/M1",
                          CAM_A_XADDRS, 4) +
        probe_match_entry(pfx, "urn:uuid:cam-b", "dn:NetworkVideoStorage",
                          "onvif://www.onvif.org/name/CamB", CAM_B_XADDRS, 9) +
        "</" + pfx + "ProbeMatches>";
    return wrap(env, "ProbeMatches", relates, body);
}

// ---------------------------------------------------------------------------
// The responder: hears the group on port 3702 (a socket bound to the group
// address, so that unicast to 3702 still reaches the client under test) and
// answers every new Probe with a unicast ProbeMatches from 10.203.1.2.

struct SeenProbe {
    std::string text;
    std::string uuid;
    std::string from;
    Clock::time_point at;
};

class Responder
{
  public:
    bool start()
    {
        rx_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        tx_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (rx_ < 0 || tx_ < 0) return false;
        int on = 1;
        setsockopt(rx_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        sockaddr_in g = addr_of(GROUP, WSD_PORT);
        if (bind(rx_, (sockaddr *)&g, sizeof(g)) != 0) return false;
        ip_mreq mreq;
        inet_pton(AF_INET, GROUP, &mreq.imr_multiaddr);
        inet_pton(AF_INET, PEER_IP, &mreq.imr_interface);
        if (setsockopt(rx_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof(mreq)) != 0) return false;

        sockaddr_in me = addr_of(PEER_IP, 0);
        if (bind(tx_, (sockaddr *)&me, sizeof(me)) != 0) return false;
        in_addr ifa;
        inet_pton(AF_INET, PEER_IP, &ifa);
        if (setsockopt(tx_, IPPROTO_IP, IP_MULTICAST_IF, &ifa, sizeof(ifa)) != 0) return false;

        thread_ = std::thread([this] { run(); });
        return true;
    }

    void stop()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (rx_ >= 0) close(rx_);
        if (tx_ >= 0) close(tx_);
        rx_ = tx_ = -1;
    }

    ~Responder() { stop(); }

    void set_answering(bool on) { answering_ = on; }

    std::vector<SeenProbe> probes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return probes_;
    }

    size_t distinct_probes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::set<std::string> ids;
        for (const auto &p : probes_)
            ids.insert(p.uuid);
        return ids.size();
    }

    // To the group or to one address, on port 3702.
    bool send_to(const char *ip, const std::string &msg)
    {
        sockaddr_in to = addr_of(ip, WSD_PORT);
        return sendto(tx_, msg.data(), msg.size(), 0, (sockaddr *)&to, sizeof(to)) ==
               (ssize_t)msg.size();
    }

  private:
    void run()
    {
        const char *envs[] = {"SOAP-ENV", "s", "env", ""};
        int replies = 0;
        // At most 60 s of 100 ms waits; stop_ ends it much earlier.
        for (int i = 0; i < 600 && !stop_; i++) {
            pollfd p = {rx_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[16384];
            sockaddr_in from;
            socklen_t flen = sizeof(from);
            ssize_t n = recvfrom(rx_, buf, sizeof(buf), MSG_DONTWAIT, (sockaddr *)&from, &flen);
            if (n <= 0) continue;
            std::string text(buf, (size_t)n);
            if (text.find("/discovery/Probe<") == std::string::npos) continue;

            SeenProbe seen;
            seen.at = Clock::now();
            char ip[32];
            inet_ntop(AF_INET, &from.sin_addr, ip, sizeof(ip));
            seen.from = std::string(ip) + ":" + std::to_string(ntohs(from.sin_port));
            size_t at = text.find(">uuid:");
            if (at != std::string::npos && at + 6 + 36 <= text.size())
                seen.uuid = text.substr(at + 6, 36);
            seen.text = text;
            bool fresh;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                fresh = answered_.insert(seen.uuid).second;
                probes_.push_back(seen);
            }
            // One answer per MessageID, as a device would (copies of a
            // multicast datagram may arrive on more than one interface).
            if (fresh && answering_) {
                std::string reply = probe_matches(envs[replies++ % 4], seen.uuid);
                sendto(tx_, reply.data(), reply.size(), 0, (sockaddr *)&from, flen);
            }
        }
    }

    int rx_ = -1;
    int tx_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> answering_{true};
    std::mutex mutex_;
    std::vector<SeenProbe> probes_;
    std::set<std::string> answered_;
};

// ---------------------------------------------------------------------------
// What the discovery callback reported.

struct Report {
    int kind;
    DEVICE_BINFO binfo;
};

struct Reports {
    std::mutex mutex;
    std::vector<Report> list;
    std::atomic<int> stop_in_callback{0};
    std::atomic<int> stop_calls_done{0};

    size_t count(int kind, const char *epr)
    {
        std::lock_guard<std::mutex> lock(mutex);
        size_t n = 0;
        for (const auto &r : list)
            if (r.kind == kind && strcmp(r.binfo.endpoint_address, epr) == 0) n++;
        return n;
    }
    bool first(int kind, const char *epr, DEVICE_BINFO *out)
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const auto &r : list)
            if (r.kind == kind && strcmp(r.binfo.endpoint_address, epr) == 0) {
                *out = r.binfo;
                return true;
            }
        return false;
    }
};

void on_probe(const DEVICE_BINFO *binfo, int kind, void *user)
{
    auto *reports = static_cast<Reports *>(user);
    {
        std::lock_guard<std::mutex> lock(reports->mutex);
        reports->list.push_back(Report{kind, *binfo});
    }
    if (reports->stop_in_callback.exchange(0)) {
        stop_probe();
        reports->stop_calls_done++;
    }
}

class ProbeNetns : public ::testing::Test
{
  public:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0) return;
        std::string failed;
        int r = netns_enter_with_veth("va", "10.203.1.1", "vb", "10.203.1.2", &failed);
        if (r == NETNS_NO_NAMESPACE) return;
        if (r != NETNS_READY) {
            g_skip_reason =
                "could not set up the test network (\"" + failed + "\" failed); skipped";
            return;
        }
        g_ns_ready = true;
    }

  protected:
    void SetUp() override
    {
        if (!g_ns_ready) GTEST_SKIP() << g_skip_reason;
        ASSERT_TRUE(responder_.start()) << strerror(errno);
        set_probe_cb(on_probe, &reports_);
    }

    void TearDown() override
    {
        if (!g_ns_ready) return;
        stop_probe();
        set_probe_cb(nullptr, nullptr);
        set_probe_addresses(nullptr, 0);
        responder_.stop();
    }

    // The initial Probe pair from both interface sockets.
    bool initial_probes_seen()
    {
        return wait_until([this] { return responder_.distinct_probes() >= 4; }, 5000);
    }

    Responder responder_;
    Reports reports_;
};

TEST_F(ProbeNetns, StartSendsBothProbesOnEveryInterface)
{
    ASSERT_EQ(0, start_probe(nullptr, 10));
    EXPECT_EQ(-1, start_probe(nullptr, 10)); // one discovery thread at a time
    ASSERT_TRUE(initial_probes_seen());
    EXPECT_EQ(2, onvif_probe_sock_count()); // lo is skipped, va and vb get one each

    std::map<std::string, std::set<std::string>> kinds_by_sender;
    for (const auto &p : responder_.probes()) {
        ASSERT_EQ(36u, p.uuid.size()) << p.text;
        for (char c : p.uuid)
            ASSERT_TRUE(c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) << p.uuid;
        if (p.text.find("<Types>tds:Device</Types>") != std::string::npos)
            kinds_by_sender[p.from].insert("device");
        else if (p.text.find("<Types>dn:NetworkVideoTransmitter</Types>") != std::string::npos)
            kinds_by_sender[p.from].insert("nvt");
        else
            ADD_FAILURE() << "unexpected probe text: " << p.text;
    }
    std::set<std::string> both = {"device", "nvt"};
    EXPECT_EQ(both, kinds_by_sender["10.203.1.1:3702"]);
    EXPECT_EQ(both, kinds_by_sender["10.203.1.2:3702"]);
}

TEST_F(ProbeNetns, NamedAddressesAloneGetSockets)
{
    // Refused settings leave the one before in place.
    const char *va[] = {"10.203.1.1"};
    ASSERT_EQ(0, set_probe_addresses(va, 1));
    const char *bad[] = {"10.203.1.300"};
    EXPECT_EQ(-1, set_probe_addresses(bad, 1));
    const char *too_many[9] = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5",
                               "10.0.0.6", "10.0.0.7", "10.0.0.8", "10.0.0.9"};
    EXPECT_EQ(-1, set_probe_addresses(too_many, 9));

    ASSERT_EQ(0, start_probe(nullptr, 10));
    ASSERT_TRUE(wait_until([this] { return responder_.distinct_probes() >= 2; }, 5000));
    EXPECT_EQ(1, onvif_probe_sock_count());
    for (const auto &p : responder_.probes())
        EXPECT_EQ("10.203.1.1:3702", p.from);
    stop_probe();

    // Loopback, which discovery passes over by itself, is used when named.
    const char *lo[] = {"127.0.0.1"};
    ASSERT_EQ(0, set_probe_addresses(lo, 1));
    ASSERT_EQ(0, start_probe(nullptr, 10));
    EXPECT_TRUE(wait_until([] { return onvif_probe_sock_count() == 1; }, 3000));
    stop_probe();

    // A count of 0 goes back to every interface.
    ASSERT_EQ(0, set_probe_addresses(nullptr, 0));
    ASSERT_EQ(0, start_probe(nullptr, 10));
    EXPECT_TRUE(wait_until([] { return onvif_probe_sock_count() == 2; }, 3000));
}

TEST_F(ProbeNetns, ProbeMatchesReachTheCallback)
{
    ASSERT_EQ(0, start_probe(nullptr, 10));
    // Every probe is answered with one ProbeMatches of two entries, under
    // rotating envelope prefixes.
    ASSERT_TRUE(wait_until(
        [this] {
            return reports_.count(PROBE_MSG_MATCH, "urn:uuid:cam-a") >= 4 &&
                   reports_.count(PROBE_MSG_MATCH, "urn:uuid:cam-b") >= 4;
        },
        5000));

    // The fields themselves are ProbeParse's business; here the link-local
    // address is passed over and the second entry keeps its own values.
    DEVICE_BINFO a, b;
    ASSERT_TRUE(reports_.first(PROBE_MSG_MATCH, "urn:uuid:cam-a", &a));
    EXPECT_EQ(3, a.scope_count);
    EXPECT_STREQ("10.203.1.2", a.xaddr.host);
    EXPECT_EQ(8080, a.xaddr.port);
    ASSERT_TRUE(reports_.first(PROBE_MSG_MATCH, "urn:uuid:cam-b", &b));
    EXPECT_EQ(DEVICE_TYPE_STORAGE, b.type);
    EXPECT_EQ(1, b.xaddr.https);
    EXPECT_EQ(8443, b.xaddr.port);

    // Nothing but matches was reported.
    std::lock_guard<std::mutex> lock(reports_.mutex);
    for (const auto &r : reports_.list)
        EXPECT_EQ(PROBE_MSG_MATCH, r.kind);
}

TEST_F(ProbeNetns, SendProbeReqFromAnotherThread)
{
    ASSERT_EQ(0, start_probe(nullptr, 10));
    ASSERT_TRUE(initial_probes_seen());
    ASSERT_TRUE(wait_until([] { return onvif_probe_sock_count() == 2; }, 2000));
    size_t before = responder_.distinct_probes();
    send_probe_req();
    EXPECT_TRUE(wait_until([&] { return responder_.distinct_probes() >= before + 4; }, 3000));

    std::set<std::string> senders;
    auto all = responder_.probes();
    for (const auto &p : all)
        senders.insert(p.from);
    EXPECT_EQ(2u, senders.size());
}

TEST_F(ProbeNetns, HelloAndByeAnnouncements)
{
    responder_.set_answering(false);
    ASSERT_EQ(0, start_probe(nullptr, 10));
    ASSERT_TRUE(initial_probes_seen()); // the thread is in its receive loop

    ASSERT_TRUE(responder_.send_to(
        GROUP, wrap("SOAP-ENV", "Hello", "",
                    "<d:Hello><a:EndpointReference><a:Address>urn:uuid:cam-h</a:Address>"
                    "</a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
                    "<d:XAddrs>http://10.203.1.2:8081/onvif/device_service</d:XAddrs></d:Hello>")));
    ASSERT_TRUE(
        wait_until([this] { return reports_.count(PROBE_MSG_HELLO, "urn:uuid:cam-h"); }, 3000));
    DEVICE_BINFO h;
    ASSERT_TRUE(reports_.first(PROBE_MSG_HELLO, "urn:uuid:cam-h", &h));
    EXPECT_EQ(8081, h.xaddr.port);

    ASSERT_TRUE(responder_.send_to(
        GROUP, wrap("env", "Bye", "",
                    "<d:Bye><a:EndpointReference><a:Address>urn:uuid:cam-h</a:Address>"
                    "</a:EndpointReference></d:Bye>")));
    EXPECT_TRUE(
        wait_until([this] { return reports_.count(PROBE_MSG_BYE, "urn:uuid:cam-h"); }, 3000));
}

// SO_RCVBUF of every UDP socket of this process bound to 0.0.0.0:3702 (the
// discovery sockets; the responder's is bound to the group address).
std::vector<int> discovery_rcvbufs()
{
    std::vector<int> sizes;
    for (int fd = 0; fd < 1024; fd++) {
        int type = 0;
        socklen_t tlen = sizeof(type);
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &tlen) != 0 || type != SOCK_DGRAM) continue;
        sockaddr_in a;
        socklen_t alen = sizeof(a);
        if (getsockname(fd, (sockaddr *)&a, &alen) != 0 || a.sin_family != AF_INET) continue;
        if (ntohs(a.sin_port) != WSD_PORT || a.sin_addr.s_addr != htonl(INADDR_ANY)) continue;
        int size = 0;
        socklen_t slen = sizeof(size);
        if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &slen) == 0) sizes.push_back(size);
    }
    return sizes;
}

// A large site answers a probe pair all at once: 600 ProbeMatches of about
// 1.5 KB each arrive back to back, far faster than the discovery thread
// reads them, so the socket's receive buffer must hold the burst. Junk among
// them (empty, unparsable, one byte too long for the buffer) is consumed and
// dropped without ending the pass; the good ones arrive once each, in order.
TEST_F(ProbeNetns, BurstWithJunkIsReceivedInFullAndInOrder)
{
    responder_.set_answering(false);
    ASSERT_EQ(0, start_probe(nullptr, 10));
    ASSERT_TRUE(initial_probes_seen());
    ASSERT_TRUE(wait_until([] { return onvif_probe_sock_count() == 2; }, 2000));
    std::vector<int> sizes = discovery_rcvbufs();
    ASSERT_EQ(2u, sizes.size());
    for (int size : sizes)
        EXPECT_GE(size, 1048576) << "discovery socket kept a small receive buffer";

    const int kBurst = 600;
    std::string scopes;
    for (int i = 0; i < 12; i++)
        scopes +=
            "onvif://www.onvif.org/location/site/building/floor/room-" + std::to_string(i) + " ";
    auto match = [&](const std::string &epr, int i) {
        std::string xaddr = "http://10.203." + std::to_string(2 + i / 250) + "." +
                            std::to_string(1 + i % 250) + "/onvif/device_service";
        return wrap(
            "s", "ProbeMatches", "",
            "<d:ProbeMatches>" +
                probe_match_entry("d:", epr, "dn:NetworkVideoTransmitter", scopes, xaddr, 1) +
                "</d:ProbeMatches>");
    };
    // Blanks after the envelope keep a message valid: 10239 bytes still fit
    // the receive buffer with their terminator, 10240 don't.
    std::string big = match("urn:uuid:big", 0), fits = match("urn:uuid:burst-fits", 0);
    big.append(10240 - big.size(), ' ');
    fits.append(10239 - fits.size(), ' ');
    const std::string junk[] = {"", "not xml at all", "<a><b></a>", big};
    std::vector<std::string> order;
    for (int i = 0; i < kBurst; i++) {
        std::string epr = "urn:uuid:burst-" + std::to_string(i);
        ASSERT_TRUE(responder_.send_to(OUR_IP, match(epr, i))) << strerror(errno);
        order.push_back(epr);
        if (i % 4 == 0) { // the oversized one only now and then
            const std::string &j = junk[i % 200 == 0 ? 3 : (i / 4) % 3];
            ASSERT_TRUE(responder_.send_to(OUR_IP, j)) << strerror(errno);
        }
    }
    ASSERT_TRUE(responder_.send_to(OUR_IP, fits));
    order.push_back("urn:uuid:burst-fits");

    auto seen = [this] {
        std::lock_guard<std::mutex> lock(reports_.mutex);
        std::vector<std::string> eprs;
        for (const auto &r : reports_.list)
            if (strncmp(r.binfo.endpoint_address, "urn:uuid:b", 10) == 0)
                eprs.push_back(r.binfo.endpoint_address);
        return eprs;
    };
    wait_until([&] { return seen().size() >= order.size(); }, 20000);
    EXPECT_EQ(order, seen()) << "datagrams of the burst were dropped or reordered";
}

TEST_F(ProbeNetns, ReprobesAfterTheIdleInterval)
{
    responder_.set_answering(false); // keep the network quiet
    set_probe_interval(5);           // below the minimum: 30
    set_probe_interval(10);
    Clock::time_point started = Clock::now();
    ASSERT_EQ(0, start_probe(nullptr, 10));
    ASSERT_TRUE(initial_probes_seen());
    auto initial = responder_.probes();
    std::set<std::string> initial_ids;
    for (const auto &p : initial)
        initial_ids.insert(p.uuid);

    // Ten one-second waits without a datagram, then a new Probe pair.
    ASSERT_TRUE(
        wait_until([&] { return responder_.distinct_probes() >= initial_ids.size() + 4; }, 16000));
    Clock::time_point first_new = Clock::now();
    for (const auto &p : responder_.probes())
        if (!initial_ids.count(p.uuid) && p.at < first_new) first_new = p.at;
    long after_ms =
        (long)std::chrono::duration_cast<std::chrono::milliseconds>(first_new - started).count();
    EXPECT_GE(after_ms, 9500) << "re-probe came before ten idle seconds";
}

TEST_F(ProbeNetns, StopClosesEverySocketPromptly)
{
    // With a local address: one socket of its own plus one per interface.
    ASSERT_EQ(0, start_probe(OUR_IP, 10));
    ASSERT_TRUE(wait_until([] { return onvif_probe_sock_count() == 3; }, 3000));
    ASSERT_TRUE(initial_probes_seen());

    stop_probe();
    EXPECT_EQ(0, onvif_probe_sock_count());

    // No socket of ours is left on the port: an exclusive bind succeeds.
    responder_.stop();
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in any = addr_of("0.0.0.0", WSD_PORT);
    EXPECT_EQ(0, bind(fd, (sockaddr *)&any, sizeof(any))) << strerror(errno);
    close(fd);

    // Stopping again is harmless, and discovery can start anew.
    stop_probe();
    ASSERT_EQ(0, start_probe(nullptr, 10));
    EXPECT_TRUE(wait_until([] { return onvif_probe_sock_count() == 2; }, 3000));
    stop_probe();
    EXPECT_EQ(0, onvif_probe_sock_count());
}

TEST_F(ProbeNetns, StopFromInsideTheCallback)
{
    reports_.stop_in_callback = 1;
    ASSERT_EQ(0, start_probe(nullptr, 10));
    ASSERT_TRUE(wait_until([this] { return reports_.stop_calls_done.load() == 1; }, 5000));
    // The thread ends and closes its sockets by itself.
    EXPECT_TRUE(wait_until([] { return onvif_probe_sock_count() == 0; }, 3000));
    EXPECT_TRUE(wait_until([] { return start_probe(nullptr, 10) == 0; }, 3000));
}

} // namespace
