// onvif-cli discover: WS-Discovery for a number of seconds, on every
// interface or on the ones named.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

#include "discovery/probe.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

struct Found {
    std::mutex mutex;
    std::map<std::string, DEVICE_BINFO> by_endpoint; // in endpoint order
};

void on_message(const DEVICE_BINFO *binfo, int kind, void *user)
{
    auto *found = static_cast<Found *>(user);
    const std::string epr = field(binfo->endpoint_address);
    std::lock_guard<std::mutex> lock(found->mutex);
    if (kind == PROBE_MSG_BYE)
        found->by_endpoint.erase(epr);
    else
        found->by_endpoint[epr] = *binfo;
}

// The IPv4 addresses of an interface name, or the address itself when the
// text is one. Empty when there is none.
std::vector<std::string> addresses_of(const std::string &name)
{
    std::vector<std::string> out;
    struct in_addr a;
    if (inet_pton(AF_INET, name.c_str(), &a) == 1) {
        out.push_back(name);
        return out;
    }
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (struct ifaddrs *p = list; p; p = p->ifa_next) {
        if (!p->ifa_addr || p->ifa_addr->sa_family != AF_INET || name != p->ifa_name) continue;
        char text[INET_ADDRSTRLEN];
        const auto *sin = reinterpret_cast<const struct sockaddr_in *>(p->ifa_addr);
        if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof(text))) out.push_back(text);
    }
    freeifaddrs(list);
    return out;
}

const char *type_name(int type)
{
    switch (type) {
    case DEVICE_TYPE_TRANSMITTER:
        return "NetworkVideoTransmitter";
    case DEVICE_TYPE_DISPLAY:
        return "NetworkVideoDisplay";
    case DEVICE_TYPE_STORAGE:
        return "NetworkVideoStorage";
    case DEVICE_TYPE_ANALYTICS:
        return "NetworkVideoAnalytics";
    default:
        return "Device";
    }
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A scope's value after "onvif://www.onvif.org/<kind>/", %XX undone; "" when
// the device has no such scope.
std::string scope_value(const DEVICE_BINFO &b, const std::string &kind)
{
    const std::string prefix = "onvif://www.onvif.org/" + kind + "/";
    for (int i = 0; i < b.scope_count && i < DEVICE_BINFO_MAX_SCOPES; i++) {
        const std::string item = field(b.scopes[i].item);
        if (item.compare(0, prefix.size(), prefix) != 0) continue;
        std::string v;
        for (size_t k = prefix.size(); k < item.size(); k++) {
            if (item[k] == '%' && k + 2 < item.size() && hex_digit(item[k + 1]) >= 0 &&
                hex_digit(item[k + 2]) >= 0) {
                v += (char)(hex_digit(item[k + 1]) * 16 + hex_digit(item[k + 2]));
                k += 2;
            } else {
                v += item[k];
            }
        }
        return v;
    }
    return "";
}

// Sort key of a host: numeric IPv4 addresses in order, names after them.
std::pair<uint64_t, std::string> address_key(const char *host)
{
    struct in_addr a;
    if (inet_pton(AF_INET, host, &a) == 1) return {ntohl(a.s_addr), ""};
    return {UINT64_MAX, host};
}

Value record_of(const DEVICE_BINFO &b)
{
    const ONVIF_XADDR &x = b.xaddr;
    const std::string url = std::string(x.https ? "https://" : "http://") + field(x.host) + ":" +
                            std::to_string(x.port) + field(x.path);
    Value scopes = Value::list();
    for (int i = 0; i < b.scope_count && i < DEVICE_BINFO_MAX_SCOPES; i++)
        scopes.add(field(b.scopes[i].item));
    Value r = Value::record();
    r.set("host", field(x.host));
    r.set("port", (int)x.port);
    r.set("name", scope_value(b, "name"));
    r.set("hardware", scope_value(b, "hardware"));
    r.set("location", scope_value(b, "location"));
    r.set("type", type_name(b.type));
    r.set("endpoint", field(b.endpoint_address));
    r.set("xaddr", url);
    r.set("metadata_version", (int)b.metadata_version);
    r.set("scopes", scopes);
    return r;
}

} // namespace

int cmd_discover(const Args &args)
{
    if (!args.positional.empty())
        return usage_error("discover", "discover takes no argument ('" + args.positional[0] + "')");
    std::vector<std::string> addrs;
    for (const std::string &name : args.interfaces) {
        std::vector<std::string> a = addresses_of(name);
        if (a.empty())
            return usage_error("discover", "no IPv4 address on interface '" + name + "'");
        addrs.insert(addrs.end(), a.begin(), a.end());
    }
    std::vector<const char *> ptrs;
    for (const std::string &a : addrs)
        ptrs.push_back(a.c_str());
    if (set_probe_addresses(ptrs.data(), (int)ptrs.size()) != 0)
        return usage_error("discover", "too many interface addresses (at most 8)");

    Found found;
    set_probe_cb(on_message, &found);
    // A probe pair goes out on every socket at once, and again after ten
    // quiet seconds on a long listen.
    if (start_probe(nullptr, 10) != 0) {
        set_probe_cb(nullptr, nullptr);
        return fail(kLocal, "discovery could not start");
    }
    const int seconds = args.seconds > 0 ? args.seconds : 3;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    stop_probe();
    set_probe_cb(nullptr, nullptr);

    // In address order, as a site plan lists cameras.
    std::vector<const DEVICE_BINFO *> sorted;
    std::lock_guard<std::mutex> lock(found.mutex);
    for (const auto &entry : found.by_endpoint)
        sorted.push_back(&entry.second);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const DEVICE_BINFO *a, const DEVICE_BINFO *b) {
                         return std::make_pair(address_key(a->xaddr.host), a->xaddr.port) <
                                std::make_pair(address_key(b->xaddr.host), b->xaddr.port);
                     });
    Value list = Value::list();
    for (const DEVICE_BINFO *b : sorted)
        list.add(record_of(*b));
    if (args.format == Format::Text && list.items().empty())
        fprintf(stderr, "onvif-cli: no device answered within %d s\n", seconds);
    print(list, args.format);
    return kOk;
}

} // namespace cli
