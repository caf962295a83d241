#include "tests/support/log_capture.h"
#include "discovery/xaddr.h"
#include "platform/sys_log.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
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
    std::string log_text() const { return log_.text(); }
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
        {"https://10.0.0.5/onvif", 1, 80, "10.0.0.5", "/onvif"},
        {"http://cam.local:65535", 0, 65535, "cam.local", ""},
        {"http://10.0.0.5:1/a?b=c&d", 0, 1, "10.0.0.5", "/a?b=c&d"},
        {"http://10.0.0.5", 0, 80, "10.0.0.5", ""},
        // Only "https://" is recognised (case-sensitively); any other scheme
        // of 7 characters is skipped as if it were "http://".
        {"HTTPS://10.0.0.5/x", 0, 80, "", "/10.0.0.5/x"},
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

TEST_F(XAddr, RejectsBadPortsWithTheirMessages)
{
    Fields f;
    EXPECT_EQ(0, split("http://10.0.0.5:0/x", f));
    EXPECT_EQ(0, split("http://10.0.0.5:70000/x", f));
    EXPECT_EQ(0, split("http://10.0.0.5:99999999999999999999999/x", f));
    EXPECT_TRUE(logged("onvif_parse_xaddr_, Bad port number\r\n"));
    EXPECT_FALSE(logged("No port number"));

    EXPECT_EQ(0, split("http://10.0.0.5:/x", f));
    EXPECT_EQ(0, split("http://10.0.0.5:", f));
    EXPECT_EQ(0, split("http://10.0.0.5:-8/x", f));
    EXPECT_TRUE(logged("onvif_parse_xaddr_, No port number follows ':'\r\n"));
    EXPECT_TRUE(f.guards_intact());
}

TEST_F(XAddr, ShortUrlOnlySetsThePort)
{
    Fields f;
    strcpy(f.host, "keep");
    strcpy(f.path, "/keep");
    f.https = 7;
    EXPECT_EQ(1, split("http:/", f));
    EXPECT_EQ(80, f.port);
    EXPECT_STREQ("keep", f.host);
    EXPECT_STREQ("/keep", f.path);
    EXPECT_EQ(7, f.https);
    EXPECT_EQ(1, split("", f));
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
        // Runs of blanks and a trailing blank don't make empty URLs count.
        {"http://cam1/x  http://10.0.0.7/y", 1, "10.0.0.7", 80, "/y"},
        {"http://cam1/x ", 1, "cam1", 80, "/x"},
        {"  http://cam1/x  http://cam2/z   ", 1, "cam2", 80, "/z"},
        // A URL that fails to split is passed over.
        {"http://10.0.0.1:0/x http://cam/y", 1, "cam", 80, "/y"},
        // A short URL in the middle is passed over instead of re-testing
        // what an earlier URL left behind.
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
    EXPECT_EQ(1, choose("http://cam:8080/a x", f));
    EXPECT_STREQ("", f.host);
    EXPECT_STREQ("", f.path);
    EXPECT_EQ(80, f.port);

    Fields g;
    EXPECT_EQ(0, choose("http://cam/x http://10.0.0.5:0/y", g));
    EXPECT_STREQ("", g.path);

    Fields h;
    EXPECT_EQ(1, choose("", h));
    EXPECT_STREQ("", h.host);
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

TEST_F(XAddr, ParseXAddrFillsTheRecord)
{
    ONVIF_XADDR x;
    memset(&x, 0, sizeof(x));
    EXPECT_EQ(1,
              parse_XAddr("http://169.254.9.9/a https://192.168.7.7:443/onvif/device_service", &x));
    EXPECT_EQ(1, x.https);
    EXPECT_EQ(443, x.port);
    EXPECT_STREQ("192.168.7.7", x.host);
    EXPECT_STREQ("/onvif/device_service", x.path);

    memset(&x, 0, sizeof(x));
    EXPECT_EQ(0, parse_XAddr(("http://" + std::string(128, 'h') + "/p").c_str(), &x));
    EXPECT_EQ('\0', x.host[0]);
}

TEST(Uuid, FormatAndUniqueness)
{
    const std::regex shape("[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 500; i++) {
        char buf[64];
        ASSERT_EQ(buf, onvif_uuid_create(buf, sizeof(buf)));
        ASSERT_EQ(36u, strlen(buf));
        ASSERT_TRUE(std::regex_match(buf, shape)) << buf;
        // Every 16-bit group is below 0xffff.
        for (int g = 0; g < 8; g++) {
            int at = g < 2 ? g * 4 : (g < 5 ? 9 + (g - 2) * 5 : 24 + (g - 5) * 4);
            ASSERT_NE(0, strncmp(buf + at, "ffff", 4)) << buf;
        }
        seen.insert(buf);
    }
    EXPECT_EQ(500u, seen.size()); // calls within one second still differ
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

TEST(Uuid, DistinctAcrossThreads)
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
    std::set<std::string> all;
    for (auto &v : out)
        all.insert(v.begin(), v.end());
    EXPECT_EQ((size_t)threads * per, all.size());
}

} // namespace
