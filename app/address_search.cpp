#include "app/address_search.h"

#include <arpa/inet.h>

#include <QSet>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/address_range.h"
#include "app/app_log.h"
#include "app/device_access.h"
#include "app/gui_gate.h"
#include "discovery/probe.h"
#include "onvif/onvif_ops.h"
#include "onvif/onvif_trans.h"

using Clock = std::chrono::steady_clock;

struct AddressSearch::Shared {
    std::atomic<bool> cancelled{false};
    std::shared_ptr<DeviceRegistry> registry;
    std::shared_ptr<GuiGate> gate;
    AddressSearch *owner = nullptr; // touched only by calls posted through the gate
    Settings settings;
    QVector<quint32> addresses;
    Clock::time_point deadline;

    std::mutex lock;
    QSet<quint32> answered; // addresses a camera answered at
    std::atomic<int> done{0};

    bool stopped() const { return cancelled || registry->isStopped() || Clock::now() >= deadline; }
    void post(std::function<void(AddressSearch *)> fn)
    {
        AddressSearch *search = owner;
        gate->post([search, fn]() { fn(search); });
    }
    void reportProgress()
    {
        const int n = done.load(), total = addresses.size();
        post([n, total](AddressSearch *s) { emit s->progress(n, total); });
    }
    // A camera answered at address (first time only): tell the registry and the owner.
    void foundAt(quint32 address, const DEVICE_BINFO &binfo)
    {
        const bool fresh = [&] {
            std::lock_guard<std::mutex> g(lock);
            if (answered.contains(address)) return false;
            answered.insert(address);
            return true;
        }();
        registry->sighting(binfo, PROBE_MSG_MATCH);
        if (!fresh) return;
        const QString text = AddressRange::toText(address);
        appLog("camera found by address ", text);
        post([text](AddressSearch *s) { emit s->found(text); });
    }
};

namespace
{

// The device service at address answers SOAP (or wants credentials).
bool tryDeviceService(quint32 address, int port, int timeoutMs, DEVICE_BINFO *binfo)
{
    memset(binfo, 0, sizeof(*binfo));
    binfo->type = DEVICE_TYPE_TRANSMITTER;
    const QByteArray host = AddressRange::toText(address).toLatin1();
    snprintf(binfo->xaddr.host, sizeof(binfo->xaddr.host), "%s", host.constData());
    binfo->xaddr.port = port;
    snprintf(binfo->xaddr.path, sizeof(binfo->xaddr.path), "/onvif/device_service");

    DevicePtr dev = newDeviceRecord();
    dev->binfo = *binfo;
    prepareCall(dev.get(), false);
    HTTP_CLIENT_CONN conn;
    if (onvif_init_xaddr_context(&conn, &binfo->xaddr) != 0) return false;
    conn.rx_limit_ms = (uint32_t)timeoutMs; // a peer that trickles bytes is given up too
    ONVIF_SYSTEM_DATETIME res;
    memset(&res, 0, sizeof(res));
    if (http_onvif_trans(&conn, timeoutMs, ACT_tds_GetSystemDateAndTime, dev.get(), nullptr, &res))
        return true;
    // Refused: a SOAP speaker all the same (its credentials are asked for later).
    return dev->auth_failed || dev->last_error == -9;
}

} // namespace

AddressSearch::AddressSearch(std::shared_ptr<DeviceRegistry> deviceRegistry, QObject *parent)
    : QObject(parent), registry(std::move(deviceRegistry)), gate(std::make_shared<GuiGate>(this))
{
}

AddressSearch::~AddressSearch()
{
    cancel();
    gate->close();
}

void AddressSearch::cancel()
{
    if (shared) shared->cancelled = true;
}

void AddressSearch::start(const QVector<quint32> &addresses)
{
    if (running) return;
    running = true;
    shared = std::make_shared<Shared>();
    shared->registry = registry;
    shared->gate = gate;
    shared->owner = this;
    shared->settings = settings;
    shared->addresses = addresses;
    shared->deadline = Clock::now() + std::chrono::milliseconds(settings.limitMs);
    std::thread(&AddressSearch::run, shared).detach();
}

namespace
{

struct UnicastUser {
    std::function<void(const DEVICE_BINFO &, quint32)> onMatch;
    std::function<bool()> stopped;
};

void onUnicastMatch(const DEVICE_BINFO *binfo, int kind, void *user)
{
    if (kind != PROBE_MSG_MATCH || !binfo) return;
    auto *u = static_cast<UnicastUser *>(user);
    // The camera is taken to answer for the address its device service names.
    in_addr a;
    const quint32 host = inet_pton(AF_INET, binfo->xaddr.host, &a) == 1 ? ntohl(a.s_addr) : 0;
    u->onMatch(*binfo, host);
}

int stopProbe(void *user)
{
    return static_cast<UnicastUser *>(user)->stopped() ? 1 : 0;
}

} // namespace

void AddressSearch::run(std::shared_ptr<Shared> s)
{
    const Settings &cfg = s->settings;
    const int total = s->addresses.size();
    const QSet<quint32> asked(s->addresses.begin(), s->addresses.end());

    // 1. Unicast probes to every address.
    std::vector<std::string> texts;
    for (quint32 a : s->addresses)
        texts.push_back(AddressRange::toText(a).toStdString() + ":" +
                        std::to_string(cfg.probePort));
    std::vector<const char *> hosts;
    for (const std::string &t : texts)
        hosts.push_back(t.c_str());
    UnicastUser user;
    user.onMatch = [&](const DEVICE_BINFO &binfo, quint32 host) {
        // Counted for the address it names when that was asked for.
        if (asked.contains(host))
            s->foundAt(host, binfo);
        else
            s->registry->sighting(binfo, PROBE_MSG_MATCH);
    };
    user.stopped = [&]() { return s->stopped(); };
    onvif_probe_unicast(hosts.data(), (int)hosts.size(), cfg.probeIntervalMs, cfg.probeWaitMs,
                        onUnicastMatch, &user, stopProbe);

    // 2. The device service of every address that did not answer.
    std::vector<quint32> rest;
    {
        std::lock_guard<std::mutex> g(s->lock);
        for (quint32 a : s->addresses)
            if (!s->answered.contains(a)) rest.push_back(a);
    }
    s->done = total - (int)rest.size();
    s->reportProgress();
    std::atomic<size_t> next{0};
    auto work = [&]() {
        for (size_t i = next++; i < rest.size() && !s->stopped(); i = next++) {
            DEVICE_BINFO binfo;
            if (tryDeviceService(rest[i], cfg.tryPort, cfg.tryTimeoutMs, &binfo))
                s->foundAt(rest[i], binfo);
            s->done++;
            s->reportProgress();
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < cfg.parallelTries && (size_t)t < rest.size(); t++)
        pool.emplace_back(work);
    for (std::thread &t : pool)
        t.join();

    QStringList found;
    {
        std::lock_guard<std::mutex> g(s->lock);
        for (quint32 a : s->addresses)
            if (s->answered.contains(a)) found << AddressRange::toText(a);
    }
    s->post([found](AddressSearch *search) {
        search->running = false;
        emit search->finished(found);
    });
}
