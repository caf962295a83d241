#include "tests/support/child_output.h"
#include "tests/support/log_capture.h"
#include "discovery/xaddr.h"
#include "platform/sys_log.h"

#include <gtest/gtest.h>

#include <string.h>

#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{

// Opens the process log on a temporary file so that messages can be checked.
class XAddr : public ::testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(log_.is_open()); }
    bool logged(const std::string &needle) const { return log_.contains(needle); }

    LogCapture log_;
};

// Output fields with guard bytes around them, so that a write outside the
// given lengths shows up.
struct Fields {
    char pre[16];
    char host[128];
    char mid[16];
    char path[128];
    char post[16];
    int port;
    int https;

    Fields()
    {
        memset(this, 0x5a, sizeof(*this));
        host[0] = '\0';
        path[0] = '\0';
        port = -1;
        https = -1;
    }
    bool guards_intact() const
    {
        for (int i = 0; i < 16; i++)
            if (pre[i] != 0x5a || mid[i] != 0x5a || post[i] != 0x5a) return false;
        return true;
    }
};

int split(const std::string &url, Fields &f, int hostlen = 128, int pathlen = 128)
{
    return onvif_parse_xaddr_(url.c_str(), f.host, hostlen, f.path, pathlen, &f.port, &f.https);
}

int choose(const std::string &list, Fields &f)
{
    return onvif_parse_xaddr(list.c_str(), f.host, 128, f.path, 128, &f.port, &f.https);
}

TEST_F(XAddr, SplitsSchemeHostPortAndPath)
{
    struct Case {
        const char *url;
        int https;
        int port;
        const char *host;
        const char *path;
    } cases[] = {
        {"http://192.168.1.10/onvif/device_service", 0, 80, "192.168.1.10",
         "/onvif/device_service"},
        {"https://10.0.0.5:8443/x", 1, 8443, "10.0.0.5", "/x"},
        // Without a port, https means 443.
        {"https://10.0.0.5/onvif", 1, 443, "10.0.0.5", "/onvif"},
        {"https://cam.local", 1, 443, "cam.local", ""},
        {"http://cam.local:65535", 0, 65535, "cam.local", ""},
        {"http://10.0.0.5:1/a?b=c&d", 0, 1, "10.0.0.5", "/a?b=c&d"},
        {"http://10.0.0.5", 0, 80, "10.0.0.5", ""},
        // The scheme in any case.
        {"HTTPS://10.0.0.5/x", 1, 443, "10.0.0.5", "/x"},
        {"Http://10.0.0.5:81/x", 0, 81, "10.0.0.5", "/x"},
        // IPv6 literals keep their brackets, as a URL and a Host header want them.
        {"http://[2001:db8::1]/onvif/device_service", 0, 80, "[2001:db8::1]",
         "/onvif/device_service"},
        {"https://[fe80::a:b]:8443/x", 1, 8443, "[fe80::a:b]", "/x"},
        {"http://[::ffff:192.168.1.2]", 0, 80, "[::ffff:192.168.1.2]", ""},
        // Bytes above 127 are no threat to a request line.
        {"http://10.0.0.5/caf\xc3\xa9", 0, 80, "10.0.0.5", "/caf\xc3\xa9"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        Fields f;
        EXPECT_EQ(1, split(c.url, f));
        EXPECT_EQ(c.https, f.https);
        EXPECT_EQ(c.port, f.port);
        EXPECT_STREQ(c.host, f.host);
        EXPECT_STREQ(c.path, f.path);
        EXPECT_TRUE(f.guards_intact());
    }
}

// Addresses come from the device; what goes wrong here would otherwise go
// into our request line and Host header.
TEST_F(XAddr, RefusesUrlsWithoutSchemeHostOrWithUnsafeBytes)
{
    struct Case {
        const char *url;
        const char *logged;
    } cases[] = {
        {"http://10.0.0.5:0/x", "Bad port number"},
        {"http://10.0.0.5:70000/x", "Bad port number"},
        {"http://10.0.0.5:99999999999999999999999/x", "Bad port number"},
        {"http://10.0.0.5:/x", "No port number follows ':'"},
        {"http://10.0.0.5:", "No port number follows ':'"},
        {"http://10.0.0.5:-8/x", "No port number follows ':'"},
        {"SERVICE_URI", "URL has no http or https scheme"},
        {"", "URL has no http or https scheme"},
        {"http:/", "URL has no http or https scheme"},
        {"ftp://10.0.0.1/x", "URL has no http or https scheme"},
        {"httpx://10.0.0.1/x", "URL has no http or https scheme"},
        {"http//10.0.0.1/x", "URL has no http or https scheme"},
        {"//10.0.0.1/onvif/device_service", "URL has no http or https scheme"},
        {"http://", "URL has no usable host"},
        {"https:///onvif", "URL has no usable host"},
        {"http://:8080/x", "URL has no usable host"},
        {"http://[2001:db8::1/x", "bad IPv6 address in URL"},
        {"http://[zz::1]/x", "bad IPv6 address in URL"},
        {"http://[]/x", "bad IPv6 address in URL"},
        {"http://[2001:db8::1]x/y", "bad IPv6 address in URL"},
        {"http://[10.0.0.1]/x", "bad IPv6 address in URL"},
        {"http://10.0.0.1/a b", "URL path holds a blank or a control character"},
        {"http://10.0.0.1/a\r\nX-Injected: 1", "URL path holds a blank or a control character"},
        {"http://10.0.0.1/a\n", "URL path holds a blank or a control character"},
        {"http://10.0.0.1/a\tb", "URL path holds a blank or a control character"},
        {"http://10.0.0.1/\x01", "URL path holds a blank or a control character"},
        {"http://10.0.0.1/\x7f", "URL path holds a blank or a control character"},
        {"http://10.0.0.1:80/x\x0b", "URL path holds a blank or a control character"},
        {"http://cam\r\nX: y/x", "URL has no usable host"},
        {"http://ca m/x", "URL has no usable host"},
        {"http://cam\x1b/x", "URL has no usable host"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        Fields f;
        EXPECT_EQ(0, split(c.url, f));
        EXPECT_TRUE(logged(std::string("onvif_parse_xaddr_, ") + c.logged + "\r\n"));
        EXPECT_TRUE(f.guards_intact());
        // Refused in a list as well, as the URL that would be taken (a list
        // splits at whitespace, so only where the URL holds none).
        // An IPv6 one is taken only after other IPv6 ones.
        if (c.url[0] && !strpbrk(c.url, " \t\r\n")) {
            bool v6 = strncmp(c.url, "http://[", 8) == 0;
            std::string before = v6 ? "http://[2001:db8::9]/a " : "http://cam/a ";
            Fields g;
            EXPECT_EQ(0, choose(before + c.url, g)) << "in a list";
        }
    }
    // A bad path is refused whole, also beyond the part that would fit.
    Fields f;
    EXPECT_EQ(0, split("http://h/abc\rdef", f, 128, 4));
    EXPECT_STREQ("", f.path);
}

TEST_F(XAddr, HostMustFitWithItsTerminator)
{
    Fields f;
    std::string h127(127, 'h');
    EXPECT_EQ(1, split("http://" + h127 + ":81/p", f));
    EXPECT_EQ(h127, f.host);
    EXPECT_EQ(81, f.port);
    EXPECT_FALSE(logged("URL is too long"));

    std::string h128(128, 'h');
    EXPECT_EQ(0, split("http://" + h128 + "/p", f));
    EXPECT_TRUE(logged("onvif_parse_xaddr_, URL is too long\r\n"));
    EXPECT_EQ(0u, strlen(f.host)); // left terminated, not a full unterminated buffer
    EXPECT_TRUE(f.guards_intact());

    // A small host buffer: 7 characters fit into 8 bytes, 8 don't.
    Fields g;
    EXPECT_EQ(1, split("http://abcdefg/x", g, 8));
    EXPECT_STREQ("abcdefg", g.host);
    EXPECT_EQ(0, split("http://abcdefgh/x", g, 8));
    EXPECT_EQ('\0', g.host[0]);
    EXPECT_EQ(0x5a, g.host[8]);
}

TEST_F(XAddr, PathIsCutToItsBuffer)
{
    Fields f;
    std::string p127 = "/" + std::string(126, 'p');
    EXPECT_EQ(1, split("http://h" + p127, f));
    EXPECT_EQ(p127, f.path);

    std::string p300 = "/" + std::string(299, 'q');
    EXPECT_EQ(1, split("http://h" + p300, f));
    EXPECT_EQ(p300.substr(0, 127), f.path);
    EXPECT_TRUE(f.guards_intact());

    Fields g;
    EXPECT_EQ(1, split("http://h/abcdefghij", g, 128, 5));
    EXPECT_STREQ("/abc", g.path);
    EXPECT_EQ(0x5a, g.path[5]);
}

TEST_F(XAddr, NullArgumentsAreRefused)
{
    Fields f;
    EXPECT_EQ(0, onvif_parse_xaddr_(nullptr, f.host, 128, f.path, 128, &f.port, &f.https));
    EXPECT_EQ(0, onvif_parse_xaddr_("http://h/x", nullptr, 128, f.path, 128, &f.port, &f.https));
    EXPECT_EQ(0, onvif_parse_xaddr_("http://h/x", f.host, 0, f.path, 128, &f.port, &f.https));
    EXPECT_EQ(0, onvif_parse_xaddr(nullptr, f.host, 128, f.path, 128, &f.port, &f.https));
    EXPECT_EQ(0, parse_XAddr("http://h/x", nullptr));
    // Port and flag outputs are optional.
    EXPECT_EQ(1, onvif_parse_xaddr_("http://h:8/x", f.host, 128, f.path, 128, nullptr, nullptr));
    EXPECT_STREQ("h", f.host);
}

TEST_F(XAddr, ListPrefersTheFirstRoutableNumericAddress)
{
    struct Case {
        const char *list;
        int ret;
        const char *host;
        int port;
        const char *path;
    } cases[] = {
        {"http://169.254.3.4/onvif/device_service http://192.168.1.20/onvif/device_service", 1,
         "192.168.1.20", 80, "/onvif/device_service"},
        {"http://cam1/x http://cam2/y", 1, "cam2", 80, "/y"},
        {"http://192.168.1.20/a http://10.0.0.9/b", 1, "192.168.1.20", 80, "/a"},
        {"http://cam1:81/x http://169.254.1.1:82/y https://10.1.2.3:8443/z http://10.0.0.9/b", 1,
         "10.1.2.3", 8443, "/z"},
        // Only a 169.254 address: the last URL is taken anyway.
        {"http://169.254.1.1/onvif/device_service", 1, "169.254.1.1", 80, "/onvif/device_service"},
        // Link-local is 169.254.0.0/16, not everything beginning with "169.".
        {"http://169.2.3.4/a http://10.0.0.9/b", 1, "169.2.3.4", 80, "/a"},
        {"http://169.255.0.1/a http://10.0.0.9/b", 1, "169.255.0.1", 80, "/a"},
        {"http://169.254.255.255/a http://10.0.0.9/b", 1, "10.0.0.9", 80, "/b"},
        // Any XML whitespace separates (an xs:list), line breaks included.
        {"http://169.254.1.1/a\r\nhttp://192.168.1.20/onvif/device_service\n", 1, "192.168.1.20",
         80, "/onvif/device_service"},
        {"http://cam1/x\thttp://cam2/y\t", 1, "cam2", 80, "/y"},
        {"\n\t http://cam1/x \r\n", 1, "cam1", 80, "/x"},
        // IPv4 is preferred to IPv6, wherever it stands, even when it is
        // link-local or a name; a list of IPv6 addresses gives its last.
        {"http://[2001:db8::1]/a http://192.168.1.20/b", 1, "192.168.1.20", 80, "/b"},
        {"http://192.168.1.20/b http://[2001:db8::1]/a", 1, "192.168.1.20", 80, "/b"},
        {"http://169.254.1.1/a http://[2001:db8::1]/b", 1, "169.254.1.1", 80, "/a"},
        {"http://cam/a http://[2001:db8::1]/b", 1, "cam", 80, "/a"},
        {"http://[2001:db8::1]/onvif/device_service", 1, "[2001:db8::1]", 80,
         "/onvif/device_service"},
        {"http://[2001:db8::1]/a https://[2001:db8::2]:8443/b", 1, "[2001:db8::2]", 8443, "/b"},
        // Runs of blanks and a trailing blank don't make empty URLs count.
        {"http://cam1/x  http://10.0.0.7/y", 1, "10.0.0.7", 80, "/y"},
        {"http://cam1/x ", 1, "cam1", 80, "/x"},
        {"  http://cam1/x  http://cam2/z   ", 1, "cam2", 80, "/z"},
        // A URL that fails to split is passed over.
        {"http://10.0.0.1:0/x http://cam/y", 1, "cam", 80, "/y"},
        // A URL without a scheme in the middle is passed over instead of
        // re-testing what an earlier URL left behind.
        {"http://cam1:8080/a x http://cam2/b", 1, "cam2", 80, "/b"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.list);
        Fields f;
        EXPECT_EQ(c.ret, choose(c.list, f));
        EXPECT_STREQ(c.host, f.host);
        EXPECT_EQ(c.port, f.port);
        EXPECT_STREQ(c.path, f.path);
        EXPECT_TRUE(f.guards_intact());
    }
}

TEST_F(XAddr, ListWhoseLastUrlIsUnusableGivesNoAddress)
{
    // The passed-over URL's values must not leak into the result.
    Fields f;
    EXPECT_EQ(0, choose("http://cam:8080/a x", f));
    EXPECT_STREQ("", f.host);
    EXPECT_STREQ("", f.path);

    Fields g;
    EXPECT_EQ(0, choose("http://cam/x http://10.0.0.5:0/y", g));
    EXPECT_STREQ("", g.path);

    // Nothing at all is no address either.
    for (const char *empty : {"", " ", "\r\n\t"}) {
        Fields h;
        EXPECT_EQ(0, choose(empty, h));
        EXPECT_STREQ("", h.host);
    }
}

TEST_F(XAddr, LongListEntriesAreCut)
{
    // An entry followed by another is taken at most 255 characters long.
    std::string first = "http://10.0.0.1/" + std::string(290, 'a');
    Fields f;
    EXPECT_EQ(1, choose(first + " http://cam/y", f));
    EXPECT_STREQ("10.0.0.1", f.host);
    EXPECT_EQ(("/" + std::string(126, 'a')), f.path);

    // A host that only ends after the cut fails as too long and is passed over.
    std::string longhost = "http://" + std::string(300, '1') + "/x";
    Fields g;
    EXPECT_EQ(1, choose(longhost + " http://10.9.9.9/z", g));
    EXPECT_STREQ("10.9.9.9", g.host);
    EXPECT_TRUE(g.guards_intact());

    // A very long list ending in a usable URL.
    std::string list;
    for (int i = 0; i < 200; i++)
        list += "http://name" + std::to_string(i) + "/p ";
    list += "http://last/q";
    Fields h;
    EXPECT_EQ(1, choose(list, h));
    EXPECT_STREQ("last", h.host);
}

// Peers drop repeated MessageIDs as duplicates: two programs started in the
// same second must not send the same ones.
TEST(Uuid, DistinctAcrossProcessesStartedTogether)
{
    onvif_uuid_create(nullptr, 0); // the parent's state is what the children inherit
    auto out = childout::outputs_of_children(4, [] {
        std::string s;
        for (int i = 0; i < 3; i++)
            s += std::string(onvif_uuid_create(nullptr, 0)) + "\n";
        return s;
    });
    std::set<std::string> all;
    for (const std::string &o : out) {
        ASSERT_EQ(3u * 37u, o.size()) << o;
        for (size_t i = 0; i < 3; i++)
            all.insert(o.substr(i * 37, 36));
    }
    EXPECT_EQ(12u, all.size());
}

TEST(Uuid, BufferRules)
{
    char *s = onvif_uuid_create(nullptr, 0);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(36u, strlen(s));
    char one[4];
    EXPECT_NE(one, onvif_uuid_create(one, 0)); // length 0: the internal buffer

    char small[12];
    memset(small, 0x5a, sizeof(small));
    EXPECT_EQ(small, onvif_uuid_create(small, 10));
    EXPECT_EQ(9u, strlen(small));
    EXPECT_EQ(0x5a, small[10]);
    EXPECT_EQ(0x5a, small[11]);
}

// RFC 4122 version 4 (version nibble 4, variant bits 10), and no two alike,
// also from threads calling at once within the same second.
TEST(Uuid, RandomVersion4AndDistinctAcrossThreads)
{
    const int threads = 4, per = 200;
    std::vector<std::vector<std::string>> out(threads);
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; t++)
        pool.emplace_back([&out, t] {
            for (int i = 0; i < per; i++) {
                char buf[40];
                out[t].push_back(onvif_uuid_create(buf, sizeof(buf)));
            }
        });
    for (auto &th : pool)
        th.join();
    const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> all;
    for (auto &v : out)
        for (const std::string &u : v) {
            ASSERT_TRUE(std::regex_match(u, shape)) << u;
            all.insert(u);
        }
    EXPECT_EQ((size_t)threads * per, all.size());
}

} // namespace
