// onvif_selfcheck: a quick check that the library works on this machine.
// Exercises the digests, Base64, the XML reader and writer, the buffer pools,
// the log and the network queries, and prints one line per check.
#include "platform/encoding.h"
#include "platform/md5.h"
#include "platform/sha1.h"
#include "platform/sys_buf.h"
#include "platform/sys_log.h"
#include "platform/sys_net.h"
#include "platform/sys_os.h"
#include "xml/xml_node.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace
{

int failures = 0;

void report(const char *what, bool ok, const std::string &detail = "")
{
    std::printf("%-28s %s%s%s\n", what, ok ? "ok" : "FAILED", detail.empty() ? "" : "  ",
                detail.c_str());
    if (!ok) ++failures;
}

std::string hex(const uint8_t *p, size_t n)
{
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof(b), "%02x", p[i]);
        s += b;
    }
    return s;
}

void check_digests()
{
    sha1_context sc;
    uint8_t sd[20];
    sha1_starts(&sc);
    sha1_update(&sc, reinterpret_cast<const uint8_t *>("abc"), 3);
    sha1_finish(&sc, sd);
    report("SHA-1", hex(sd, 20) == "a9993e364706816aba3e25717850c26c9cd0d89d");

    uint8_t md[16];
    char mh[33];
    MD5String("abc", 3, md);
    BinToHexStr(md, mh);
    report("MD5", std::strcmp(mh, "900150983cd24fb0d6963f7d28e17f72") == 0);

    char b64[16];
    uint8_t back[16];
    int ok = base64_encode(reinterpret_cast<const uint8_t *>("abc"), 3, b64, sizeof(b64));
    int n = base64_decode(b64, static_cast<int>(std::strlen(b64)), back, sizeof(back));
    report("Base64",
           ok == 1 && std::strcmp(b64, "YWJj") == 0 && n == 3 && std::memcmp(back, "abc", 3) == 0);
}

void check_xml()
{
    char msg[] = "<?xml version=\"1.0\"?><SOAP-ENV:Envelope><SOAP-ENV:Body>"
                 "<d:ProbeMatches><d:ProbeMatch><d:XAddrs>http://10.0.0.5/onvif/device_service"
                 "</d:XAddrs></d:ProbeMatch></d:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    XML_NODE *root = xxx_hxml_parse(msg, static_cast<int>(std::strlen(msg)));
    XML_NODE *body = xml_node_soap_get(root, "s:Body");
    XML_NODE *x = xml_node_soap_get(
        xml_node_soap_get(xml_node_soap_get(body, "ProbeMatches"), "ProbeMatch"), "XAddrs");
    report("XML reader", x && x->text && std::strstr(x->text, "10.0.0.5"));
    if (body) {
        std::string out(static_cast<size_t>(xml_calc_buf_len(body)) + 8, '\0');
        int len = xml_nwrite_buf(body, &out[0], static_cast<int>(out.size()));
        report("XML writer", len > 0 && out.compare(0, 14, "<SOAP-ENV:Body") == 0);
    }
    xml_node_del(root);
}

void check_pools()
{
    int ok = sys_buf_init(4);
    char *b = net_buf_get_idle();
    HDRV *h = hdrv_buf_get_idle();
    bool fine = ok && b && h && net_buf_idle_num() == 3 && net_buf_get_size() == 2048;
    net_buf_free(b);
    hdrv_buf_free(h);
    fine = fine && net_buf_idle_num() == 4 && hdrv_buf_idle_num() == 32;
    sys_buf_deinit();
    report("buffer pools", fine);
}

void check_platform()
{
    SYS_SIG sig = sys_os_create_sig();
    sys_os_sig_sign(sig);
    bool sig_ok = sys_os_sig_wait_timeout(sig, 10) == 0 && sys_os_sig_wait_timeout(sig, 10) == -1;
    sys_os_destroy_sig_mutex(sig);
    report("auto-reset signal", sig_ok);
    report("log closed by default", log_print(LOG_FATAL, "%s\r\n", "nothing") == 0);

    int rows = get_if_nums();
    std::string ifs;
    for (int i = 0; i < rows; ++i)
        ifs += std::string(i ? " " : "") + get_ip_str(get_if_ip(i));
    report("IPv4 address table", rows > 0, ifs);
    const char *local = get_local_ip();
    report("default interface", true, local ? local : "(none)");
    report("DNS server", true, *get_dns_server() ? get_dns_server() : "(none)");
}

} // namespace

int main()
{
    std::printf("corvanta ONVIF client library self-check\n");
    check_digests();
    check_xml();
    check_pools();
    check_platform();
    std::printf("%s\n", failures ? "self-check FAILED" : "self-check passed");
    return failures ? 1 : 0;
}
