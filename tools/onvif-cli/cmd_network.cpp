// onvif-cli network: the IPv4 settings of a device, and changing them with
// a read-back (at the new address) before the change counts.
#include <arpa/inet.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

const int kDefaultWait = 30;

bool is_ipv4(const std::string &text)
{
    struct in_addr a;
    return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

// What was asked for, checked before anything is sent.
struct Change {
    bool dhcp = false;
    std::string address;
    int prefix = 0;
    std::string gateway;
    std::vector<std::string> dns;
};

int parse_change(const Args &args, Change *c)
{
    const std::string cmd = "network";
    if (args.dhcp && !args.set_ip.empty())
        return usage_error(cmd, "--set-ip and --dhcp exclude each other");
    if (args.set_ip.empty() && (!args.gateway.empty() || !args.dns.empty()))
        return usage_error(cmd, "--gateway and --dns go with --set-ip");
    c->dhcp = args.dhcp;
    if (!args.set_ip.empty()) {
        const size_t slash = args.set_ip.find('/');
        const std::string addr = args.set_ip.substr(0, slash);
        const std::string len = slash == std::string::npos ? "" : args.set_ip.substr(slash + 1);
        bool len_ok = !len.empty() && len.size() <= 2 &&
                      len.find_first_not_of("0123456789") == std::string::npos;
        const int prefix = len_ok ? atoi(len.c_str()) : -1;
        if (!is_ipv4(addr) || prefix < 1 || prefix > 32)
            return usage_error(cmd, "--set-ip takes ADDRESS/PREFIX, e.g. 10.0.0.20/24");
        c->address = addr;
        c->prefix = prefix;
    }
    if (!args.gateway.empty()) {
        if (!is_ipv4(args.gateway)) return usage_error(cmd, "--gateway takes an IPv4 address");
        c->gateway = args.gateway;
    }
    if (!args.dns.empty()) {
        std::string rest = args.dns;
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            const std::string one = rest.substr(0, comma);
            if (!is_ipv4(one)) return usage_error(cmd, "--dns takes one or two IPv4 addresses");
            c->dns.push_back(one);
            rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
        }
        if (c->dns.size() > 2) return usage_error(cmd, "--dns takes one or two IPv4 addresses");
    }
    return kOk;
}

Value interface_record(const ONVIF_NETWORK_INTERFACE &n)
{
    Value r = Value::record();
    r.set("token", field(n.token));
    r.set("name", (n.info_flags & ONVIF_NETIF_INFO_NAME) ? Value(field(n.name)) : Value());
    r.set("enabled", n.enabled != 0);
    r.set("hw_address", field(n.hw_address));
    r.set("mtu", (n.info_flags & ONVIF_NETIF_INFO_MTU) ? Value((int)n.mtu) : Value());
    if (n.flags & ONVIF_NETIF_FLAG_IPV4) {
        Value v4 = Value::record();
        v4.set("enabled", n.ipv4_enabled != 0);
        v4.set("dhcp", n.dhcp != 0);
        v4.set("address", field(n.ipv4_address));
        v4.set("prefix_length", (int)n.prefix_length);
        r.set("ipv4", v4);
    } else {
        r.set("ipv4", Value());
    }
    return r;
}

// The settings as the device reports them. The interfaces must be readable;
// gateway, DNS and host name are left null when the device refuses them.
struct Settings {
    std::vector<ONVIF_NETWORK_INTERFACE> interfaces;
    bool have_gateway = false, have_dns = false, have_hostname = false;
    ONVIF_NETWORK_GATEWAY gateway;
    ONVIF_DNS dns;
    ONVIF_HOSTNAME hostname;
};

int read_settings(ONVIF_DEVICE *dev, Settings *s, bool quiet)
{
    NetworkInterfaceList *list = nullptr;
    prepare(dev);
    if (!onvif_tds_GetNetworkInterfaces(dev, nullptr, &list))
        return quiet ? exit_code_of(dev) : call_failed(dev, "reading the network interfaces");
    for (NetworkInterfaceList *p = list; p; p = p->next)
        s->interfaces.push_back(p->NetworkInterface);
    onvif_free_NetworkInterfaces(&list);

    struct Part {
        bool *have;
        const char *what;
        int (*call)(ONVIF_DEVICE *, void *);
        void *res;
        size_t size;
    };
    const Part parts[] = {
        {&s->have_gateway, "reading the default gateway",
         [](ONVIF_DEVICE *d, void *r) {
             return onvif_tds_GetNetworkDefaultGateway(d, nullptr, (ONVIF_NETWORK_GATEWAY *)r);
         },
         &s->gateway, sizeof(s->gateway)},
        {&s->have_dns, "reading the DNS settings",
         [](ONVIF_DEVICE *d, void *r) { return onvif_tds_GetDNS(d, nullptr, (ONVIF_DNS *)r); },
         &s->dns, sizeof(s->dns)},
        {&s->have_hostname, "reading the host name",
         [](ONVIF_DEVICE *d, void *r) {
             return onvif_tds_GetHostname(d, nullptr, (ONVIF_HOSTNAME *)r);
         },
         &s->hostname, sizeof(s->hostname)},
    };
    for (const Part &p : parts) {
        memset(p.res, 0, p.size);
        prepare(dev);
        *p.have = p.call(dev, p.res) != 0;
        if (!*p.have && !refused_only(dev))
            return quiet ? exit_code_of(dev) : call_failed(dev, p.what);
    }
    return kOk;
}

Value settings_record(const Settings &s)
{
    Value r = Value::record();
    Value ifs = Value::list();
    for (const auto &n : s.interfaces)
        ifs.add(interface_record(n));
    r.set("interfaces", ifs);
    if (s.have_gateway) {
        Value gw = Value::list();
        for (const auto &a : s.gateway.ipv4_address)
            if (a[0]) gw.add(field(a));
        r.set("gateway", gw);
    } else {
        r.set("gateway", Value());
    }
    if (s.have_dns) {
        Value d = Value::record();
        d.set("from_dhcp", s.dns.from_dhcp != 0);
        Value servers = Value::list();
        for (const auto &a : s.dns.dns_manual)
            if (a[0]) servers.add(field(a));
        d.set("servers", servers);
        Value domains = Value::list();
        for (const auto &a : s.dns.search_domain)
            if (a[0]) domains.add(field(a));
        d.set("search_domains", domains);
        r.set("dns", d);
    } else {
        r.set("dns", Value());
    }
    if (s.have_hostname) {
        Value h = Value::record();
        h.set("name", (s.hostname.flags & ONVIF_HOSTNAME_FLAG_NAME) ? Value(field(s.hostname.name))
                                                                    : Value());
        h.set("from_dhcp", s.hostname.from_dhcp != 0);
        r.set("hostname", h);
    } else {
        r.set("hostname", Value());
    }
    return r;
}

const ONVIF_NETWORK_INTERFACE *find_interface(const Settings &s, const std::string &token)
{
    for (const auto &n : s.interfaces)
        if (token.empty() || field(n.token) == token) return &n;
    return nullptr;
}

// Whether the settings read back show the change.
bool shows(const Settings &s, const std::string &token, const Change &c)
{
    const ONVIF_NETWORK_INTERFACE *n = find_interface(s, token);
    if (!n || !(n->flags & ONVIF_NETIF_FLAG_IPV4) || !n->ipv4_enabled) return false;
    if (c.dhcp) return n->dhcp != 0;
    if (n->dhcp || field(n->ipv4_address) != c.address || n->prefix_length != c.prefix)
        return false;
    if (!c.gateway.empty()) {
        bool found = false;
        for (const auto &a : s.gateway.ipv4_address)
            found = found || field(a) == c.gateway;
        if (!s.have_gateway || !found) return false;
    }
    for (size_t i = 0; i < c.dns.size(); i++)
        if (!s.have_dns || field(s.dns.dns_manual[i]) != c.dns[i]) return false;
    return true;
}

int apply(ONVIF_DEVICE *dev, const ONVIF_NETWORK_INTERFACE &iface, const Change &c,
          int32_t *reboot_needed)
{
    if (!c.gateway.empty()) {
        ONVIF_NETWORK_GATEWAY gw;
        memset(&gw, 0, sizeof(gw));
        set_field(gw.ipv4_address[0], sizeof(gw.ipv4_address[0]), c.gateway);
        prepare(dev);
        if (!onvif_tds_SetNetworkDefaultGateway(dev, &gw, nullptr))
            return call_failed(dev, "setting the default gateway");
    }
    if (!c.dns.empty()) {
        ONVIF_DNS dns;
        memset(&dns, 0, sizeof(dns));
        for (size_t i = 0; i < c.dns.size(); i++)
            set_field(dns.dns_manual[i], sizeof(dns.dns_manual[i]), c.dns[i]);
        prepare(dev);
        if (!onvif_tds_SetDNS(dev, &dns, nullptr))
            return call_failed(dev, "setting the DNS servers");
    }
    // The interface as the device reported it, with the IPv4 block filled
    // in, so the address really goes into the request.
    ONVIF_NETWORK_INTERFACE rec = iface;
    rec.flags |= ONVIF_NETIF_FLAG_IPV4;
    rec.ipv4_enabled = 1;
    rec.dhcp = c.dhcp ? 1 : 0;
    if (!c.dhcp) {
        set_field(rec.ipv4_address, sizeof(rec.ipv4_address), c.address);
        rec.prefix_length = c.prefix;
    }
    ONVIF_SET_NETWORK_INTERFACES_RES res;
    memset(&res, 0, sizeof(res));
    prepare(dev);
    if (!onvif_tds_SetNetworkInterfaces(dev, &rec, &res))
        return call_failed(dev, "setting the interface");
    *reboot_needed = res.reboot_needed;
    return kOk;
}

} // namespace

int cmd_network(const Args &args)
{
    Device dev;
    if (int rc = open_host(args, &dev)) return rc;
    Change change;
    if (int rc = parse_change(args, &change)) return rc;
    if (int rc = begin(dev.get())) return rc;

    Settings now;
    if (int rc = read_settings(dev.get(), &now, false)) return rc;
    Value r = Value::record();
    r.set("host", field(dev->binfo.xaddr.host));
    const bool changing = change.dhcp || !change.address.empty();
    if (!changing) {
        r.set("network", settings_record(now));
        print(r, args.format);
        return kOk;
    }

    const ONVIF_NETWORK_INTERFACE *iface = find_interface(now, args.token);
    if (!iface)
        return fail(kRefused, host_text(dev.get()) + ": " +
                                  (args.token.empty() ? "the device lists no network interface"
                                                      : "no interface '" + args.token + "'"));
    const std::string token = field(iface->token);
    int32_t reboot_needed = 0;
    if (int rc = apply(dev.get(), *iface, change, &reboot_needed)) return rc;

    // Read back where the device now is: its new address, or (DHCP) the old
    // one, which it keeps until its lease says otherwise.
    const std::string where = change.dhcp ? field(dev->binfo.xaddr.host) : change.address;
    Device back = device_at(*dev, where);
    if (!back) return fail(kLocal, "out of memory");
    const int wait = args.wait >= 0 ? args.wait : kDefaultWait;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
    Settings after;
    bool confirmed = false;
    for (int attempt = 0; !reboot_needed && attempt <= wait; attempt++) {
        after = Settings();
        if (read_settings(back.get(), &after, true) == kOk && shows(after, token, change)) {
            confirmed = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }

    r.set("interface", token);
    Value asked = Value::record();
    if (change.dhcp) {
        asked.set("dhcp", true);
    } else {
        asked.set("address", change.address);
        asked.set("prefix_length", change.prefix);
        asked.set("gateway", change.gateway.empty() ? Value() : Value(change.gateway));
        Value dns = Value::list();
        for (const auto &d : change.dns)
            dns.add(d);
        asked.set("dns", change.dns.empty() ? Value() : dns);
    }
    r.set("requested", asked);
    r.set("new_host", where);
    r.set("reboot_needed", reboot_needed != 0);
    r.set("confirmed", confirmed);
    r.set("network", confirmed ? settings_record(after) : Value());
    print(r, args.format);
    if (confirmed) return kOk;
    if (reboot_needed)
        return fail(kNotConfirmed, host_text(dev.get()) +
                                       ": the device took the settings but needs a reboot to "
                                       "apply them");
    return fail(kNotConfirmed, host_text(dev.get()) + ": the device took the settings, but " +
                                   where + " did not show them within " + std::to_string(wait) +
                                   " s");
}

} // namespace cli
