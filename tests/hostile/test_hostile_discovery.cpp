// Discovery against hostile senders: datagrams cut short, too long, nested
// too deep, with thousands of attributes, NUL bytes or broken UTF-8, and a
// flood of junk. None of them may reach the callback; the next good
// ProbeMatch still does, and stop_probe still ends the thread. First the
// message handler on its own, then over real multicast inside a network
// namespace of the test's own (veth pair 10.204.1.1 <-> 10.204.1.2).

#include "discovery/probe.h"

#include "tests/hostile/hostile_util.h"
#include "tests/support/netns.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace hostile;

namespace
{

const char OUR_IP[] = "10.204.1.1";
const char PEER_IP[] = "10.204.1.2";
const char GROUP[] = "239.255.255.250";
const int WSD_PORT = 3702;

std::string wrap(const std::string &body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><SOAP-ENV:Envelope "
           "xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header><a:Action>"
           "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</a:Action>"
           "</SOAP-ENV:Header><SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
}

std::string match_entry(const std::string &epr, const std::string &scopes = "onvif://x/name/cam",
                        const std::string &attrs = std::string(),
                        const std::string &inner = std::string())
{
    return "<d:ProbeMatch" + attrs + "><a:EndpointReference><a:Address>" + epr +
           "</a:Address></a:EndpointReference><d:Types>dn:NetworkVideoTransmitter</d:Types>"
           "<d:Scopes>" +
           scopes + "</d:Scopes><d:XAddrs>http://10.204.1.2:8080/onvif/device_service</d:XAddrs>" +
           inner + "<d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch>";
}

std::string probe_match(const std::string &epr, const std::string &scopes = "onvif://x/name/cam",
                        const std::string &attrs = std::string(),
                        const std::string &inner = std::string())
{
    return wrap("<d:ProbeMatches>" + match_entry(epr, scopes, attrs, inner) + "</d:ProbeMatches>");
}

std::string nested(int levels)
{
    std::string open, close;
    for (int i = 0; i < levels; i++) {
        open += "<x>";
        close += "</x>";
    }
    return open + close;
}

std::string attrs_of(int count)
{
    std::string a;
    for (int i = 0; i < count; i++)
        a += " a=1";
    return a;
}

// Every datagram that must not reach the callback; their endpoint
// references all begin with "urn:uuid:junk".
std::vector<std::string> junk_datagrams()
{
    std::vector<std::string> v;
    const std::string good = probe_match("urn:uuid:junk-cut");
    const size_t last = good.rfind('>');
    for (size_t k : {(size_t)0, (size_t)1, (size_t)5, (size_t)38, good.size() / 4, good.size() / 2,
                     good.find("<d:XAddrs>") + 12, last - 1, last})
        v.push_back(good.substr(0, k));
    // Too long for the 10240-byte buffer with its NUL, and far too long.
    std::string fits_not = probe_match("urn:uuid:junk-long");
    fits_not.append(10240 - fits_not.size(), ' ');
    v.push_back(fits_not);
    v.push_back(probe_match("urn:uuid:junk-huge") + std::string(50000, ' '));
    // 10000 attributes do not fit in a datagram the client takes.
    v.push_back(probe_match("urn:uuid:junk-attrs", "s", attrs_of(10000)));
    // 1100 levels inside a ProbeMatch.
    v.push_back(probe_match("urn:uuid:junk-deep", "s", "", nested(1100)));
    // NUL bytes: first, between elements, in an element name.
    std::string nul_first = probe_match("urn:uuid:junk-nul0");
    nul_first[0] = '\0';
    v.push_back(nul_first);
    std::string nul_between = probe_match("urn:uuid:junk-nul1");
    nul_between.insert(nul_between.find("<d:Types>"), 1, '\0');
    v.push_back(nul_between);
    std::string nul_name = probe_match("urn:uuid:junk-nul2");
    nul_name[nul_name.find("ProbeMatch>") + 3] = '\0';
    v.push_back(nul_name);
    // Broken UTF-8 in the element names: no ProbeMatch, no Types.
    v.push_back(wrap("<d:ProbeMatches><d:Probe\xC3\x28Match>" +
                     match_entry("urn:uuid:junk-utf8").substr(strlen("<d:ProbeMatch>")) +
                     "</d:ProbeMatches>"));
    // Well-formed but not usable: no XAddrs, unknown type, Bye without address,
    // somebody else's Probe, an empty Body, a bare element.
    std::string no_xaddrs = probe_match("urn:uuid:junk-noxaddrs");
    size_t x0 = no_xaddrs.find("<d:XAddrs>"), x1 = no_xaddrs.find("</d:XAddrs>") + 11;
    v.push_back(no_xaddrs.erase(x0, x1 - x0));
    std::string display = probe_match("urn:uuid:junk-display");
    display.replace(display.find("dn:NetworkVideoTransmitter"), 26, "Display");
    v.push_back(display);
    v.push_back(wrap("<d:Bye><a:EndpointReference/></d:Bye>"));
    v.push_back(wrap("<d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>"));
    v.push_back(wrap(""));
    v.push_back("<d:ProbeMatch/>");
    v.push_back(std::string(3000, '\xFF'));
    // Addresses that must not become a device: no scheme, a path or host
    // that would break our request line (raw or as a reference), broken
    // IPv6 literals, an IPv6 literal too long for the host field.
    const std::string xa = "<d:XAddrs>http://10.204.1.2:8080/onvif/device_service</d:XAddrs>";
    for (const char *bad :
         {"SERVICE_URI", "10.204.1.2/onvif/device_service", "http:/", "ftp://10.204.1.2/x",
          "http://10.204.1.2/a&#1;b", "http://10.204.1.2/a\x7f", "http://ca\x1bm/x",
          "http://[2001:db8::1/x", "http://[zz::1]/x", "http://[2001:db8::1]junk/x",
          "http://[fe80::1%25eth0]/x", "https://"}) {
        std::string m = probe_match(std::string("urn:uuid:junk-xaddr-") + bad);
        m.replace(m.find(xa), xa.size(), std::string("<d:XAddrs>") + bad + "</d:XAddrs>");
        v.push_back(m);
    }
    return v;
}

// ---- what the callback saw ----

struct Reports {
    std::mutex mu;
    std::vector<std::pair<int, DEVICE_BINFO>> list;

    size_t count(const std::string &epr_prefix)
    {
        std::lock_guard<std::mutex> lk(mu);
        size_t n = 0;
        for (const auto &r : list)
            if (std::string(r.second.endpoint_address).rfind(epr_prefix, 0) == 0) n++;
        return n;
    }
    bool find(const std::string &epr, DEVICE_BINFO *out)
    {
        std::lock_guard<std::mutex> lk(mu);
        for (const auto &r : list)
            if (epr == r.second.endpoint_address) {
                *out = r.second;
                return true;
            }
        return false;
    }
};

void on_probe(const DEVICE_BINFO *binfo, int kind, void *user)
{
    Reports *r = static_cast<Reports *>(user);
    std::lock_guard<std::mutex> lk(r->mu);
    r->list.emplace_back(kind, *binfo);
}

// ---- the message handler alone ----

TEST(HostileDiscoveryHandler, JunkNeverReachesTheCallback)
{
    Reports reports;
    set_probe_cb(on_probe, &reports);
    for (const std::string &d : junk_datagrams()) {
        int r = onvif_probe_datagram(d.data(), (int)d.size());
        EXPECT_LE(r, 0) << d.substr(0, 80);
    }
    EXPECT_EQ(reports.count(""), 0u);

    // Within the limits: 2000 attributes on a ProbeMatch (99 reach the tree)
    // and broken UTF-8 in the scopes are still a device, carried as bytes.
    const std::string attrs = probe_match("urn:uuid:attrs", "onvif://x", attrs_of(2000));
    ASSERT_LT(attrs.size(), 10240u);
    EXPECT_EQ(onvif_probe_datagram(attrs.data(), (int)attrs.size()), 1);
    const std::string bad_scope = "onvif://\xC3\x28\xFF\xFE\xED\xA0\x80";
    const std::string utf8 = probe_match("urn:uuid:utf8", bad_scope + " onvif://ok");
    EXPECT_EQ(onvif_probe_datagram(utf8.data(), (int)utf8.size()), 1);
    DEVICE_BINFO b;
    ASSERT_TRUE(reports.find("urn:uuid:utf8", &b));
    ASSERT_EQ(b.scope_count, 2);
    EXPECT_EQ(std::string(b.scopes[0].item), bad_scope);
    EXPECT_STREQ(b.scopes[1].item, "onvif://ok");
    // The longest datagram the buffer takes, padded with blanks, still works.
    std::string longest = probe_match("urn:uuid:longest");
    longest.append(10239 - longest.size(), ' ');
    EXPECT_EQ(onvif_probe_datagram(longest.data(), (int)longest.size()), 1);
    EXPECT_EQ(reports.count(""), 3u);

    // A device that offers only IPv6, or breaks its lists over lines, is a
    // device all the same; a CR LF between URLs only separates them.
    const std::string xa = "<d:XAddrs>http://10.204.1.2:8080/onvif/device_service</d:XAddrs>";
    struct Usable {
        const char *epr, *xaddrs, *host, *path;
    } usable[] = {
        {"urn:uuid:v6", "http://[2001:db8::7]:8080/onvif/device_service", "[2001:db8::7]",
         "/onvif/device_service"},
        {"urn:uuid:lines", "\r\n http://10.204.1.2/a&#13;&#10;X-Injected:&#32;1\r\n", "10.204.1.2",
         "/a"},
    };
    for (const Usable &u : usable) {
        std::string m = probe_match(u.epr);
        m.replace(m.find(xa), xa.size(), std::string("<d:XAddrs>") + u.xaddrs + "</d:XAddrs>");
        EXPECT_EQ(onvif_probe_datagram(m.data(), (int)m.size()), 1) << u.epr;
        ASSERT_TRUE(reports.find(u.epr, &b)) << u.epr;
        EXPECT_STREQ(b.xaddr.host, u.host);
        EXPECT_STREQ(b.xaddr.path, u.path);
    }
    set_probe_cb(nullptr, nullptr);
}

// ---- over real multicast ----

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

class HostileDiscovery : public ::testing::Test
{
  public:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0) return;
        std::string failed;
        int r = netns_enter_with_veth("ha", "10.204.1.1", "hb", "10.204.1.2", &failed);
        if (r == NETNS_NO_NAMESPACE) {
            g_skip_reason = "could not create a network namespace (unshare failed); skipped";
            return;
        }
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
        tx_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(tx_, 0);
        sockaddr_in me = addr_of(PEER_IP, 0);
        ASSERT_EQ(bind(tx_, (sockaddr *)&me, sizeof(me)), 0) << strerror(errno);
        in_addr ifa;
        inet_pton(AF_INET, PEER_IP, &ifa);
        ASSERT_EQ(setsockopt(tx_, IPPROTO_IP, IP_MULTICAST_IF, &ifa, sizeof(ifa)), 0);
        set_probe_cb(on_probe, &reports_);
        ASSERT_EQ(start_probe(nullptr, 10), 0);
        ASSERT_TRUE(wait_until([] { return onvif_probe_sock_count() == 2; }, 3000));
    }
    void TearDown() override
    {
        if (!g_ns_ready) return;
        stop_probe();
        set_probe_cb(nullptr, nullptr);
        if (tx_ >= 0) close(tx_);
    }

    // A datagram to our address (unicast) or to the group.
    void send_to(const std::string &d, bool group)
    {
        sockaddr_in to = addr_of(group ? GROUP : OUR_IP, WSD_PORT);
        sendto(tx_, d.data(), d.size(), 0, (sockaddr *)&to, sizeof(to));
    }

    // Sends a good ProbeMatch until it is reported (a full receive buffer may
    // drop a datagram): at most 10 tries, 500 ms apart.
    bool good_one_arrives(const std::string &epr)
    {
        const std::string good = probe_match(epr);
        for (int i = 0; i < 10; i++) {
            send_to(good, false);
            if (wait_until([&] { return reports_.count(epr) > 0; }, 500)) return true;
        }
        return false;
    }

    Reports reports_;
    int tx_ = -1;
};

TEST_F(HostileDiscovery, JunkDatagramsThenAGoodProbeMatch)
{
    const std::vector<std::string> junk = junk_datagrams();
    for (const std::string &d : junk) {
        send_to(d, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (const std::string &d : junk) {
        send_to(d, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(good_one_arrives("urn:uuid:good-1"));
    DEVICE_BINFO b;
    ASSERT_TRUE(reports_.find("urn:uuid:good-1", &b));
    EXPECT_EQ(b.type, DEVICE_TYPE_TRANSMITTER);
    EXPECT_STREQ(b.xaddr.host, PEER_IP);
    EXPECT_EQ(b.xaddr.port, 8080);
    EXPECT_EQ(reports_.count("urn:uuid:junk"), 0u);
}

TEST_F(HostileDiscovery, FloodOfJunkThenAGoodProbeMatchAndAPromptStop)
{
    const std::vector<std::string> junk = junk_datagrams();
    uint32_t seed = 12345;
    for (int i = 0; i < 2000; i++) {
        std::string d;
        if (i % 3 == 0) {
            d = junk[(size_t)i % junk.size()];
        } else {
            // Random bytes of random length, some of them beginning like XML.
            seed = seed * 1103515245u + 12345u;
            size_t len = 1 + (seed >> 8) % 1400;
            d.resize(len);
            for (size_t k = 0; k < len; k++) {
                seed = seed * 1103515245u + 12345u;
                d[k] = (char)(seed >> 16);
            }
            if (i % 3 == 1) d = "<?xml version=\"1.0\"?><junk-" + d;
        }
        send_to(d, i % 2 == 0);
    }
    ASSERT_TRUE(good_one_arrives("urn:uuid:good-2"));
    EXPECT_EQ(reports_.count("urn:uuid:junk"), 0u);
    {
        std::lock_guard<std::mutex> lk(reports_.mu);
        for (const auto &r : reports_.list)
            EXPECT_STREQ(r.second.endpoint_address, "urn:uuid:good-2");
    }

    // The thread still answers stop_probe (a hang check, not a speed check).
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        stop_probe();
        stopped = true;
    });
    bool done = wait_until([&] { return stopped.load(); }, 10000);
    EXPECT_TRUE(done) << "stop_probe did not return";
    if (done)
        stopper.join();
    else
        stopper.detach(); // the test has failed; don't block the process on it
    EXPECT_EQ(onvif_probe_sock_count(), 0);
}

} // namespace
