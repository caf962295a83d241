#include "app/device_registry.h"

#include <cstring>

namespace
{

// Addresses remembered per endpoint for seenAt (a device moves rarely).
const size_t kSeenHostsKept = 8;

std::string fieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

bool sameAddress(const ONVIF_XADDR &a, const ONVIF_XADDR &b)
{
    return a.https == b.https && a.port == b.port && strncmp(a.host, b.host, sizeof(a.host)) == 0 &&
           strncmp(a.path, b.path, sizeof(a.path)) == 0;
}

} // namespace

std::string DeviceRegistry::endpointKey(const DEVICE_BINFO &binfo)
{
    std::string epr = fieldText(binfo.endpoint_address, sizeof(binfo.endpoint_address));
    if (!epr.empty()) return epr;
    return "xaddr:" + hostOf(binfo) + ":" + std::to_string(binfo.xaddr.port) +
           fieldText(binfo.xaddr.path, sizeof(binfo.xaddr.path));
}

std::string DeviceRegistry::hostOf(const DEVICE_BINFO &binfo)
{
    return fieldText(binfo.xaddr.host, sizeof(binfo.xaddr.host));
}

bool DeviceRegistry::dueLocked(Endpoint &e, bool changed, bool hello) const
{
    if (!e.everQueried) return true;
    switch (e.outcome) {
    case QueryOutcome::Listed:
        return changed || hello || e.searchGeneration < searchGeneration;
    case QueryOutcome::AuthRequired:
        // Asking again with the same credentials would only be refused again,
        // and repeated refusals lock accounts on many cameras.
        return changed || e.searchGeneration < searchGeneration ||
               e.credentialGeneration < credentialGeneration;
    case QueryOutcome::Failed:
        return true;
    }
    return true;
}

void DeviceRegistry::queueLocked(const std::string &key, Endpoint &e)
{
    e.phase = Phase::Queued;
    pending.push(std::make_shared<std::string>(key));
}

bool DeviceRegistry::sighting(const DEVICE_BINFO &binfo, int kind)
{
    const std::string key = endpointKey(binfo);
    std::lock_guard<std::mutex> guard(lock);
    sightings++;
    auto it = endpoints.find(key);
    bool fresh = it == endpoints.end();
    if (fresh) {
        it = endpoints.emplace(key, Endpoint()).first;
        it->second.incarnation = nextIncarnation++;
    }
    Endpoint &e = it->second;
    const bool changed = !fresh && (!sameAddress(e.binfo.xaddr, binfo.xaddr) ||
                                    e.binfo.metadata_version != binfo.metadata_version);
    const bool hello = kind == PROBE_MSG_HELLO;
    e.binfo = binfo; // a queued query takes the latest address
    e.seenHosts[hostOf(binfo)] = Clock::now();
    if (e.seenHosts.size() > kSeenHostsKept) {
        auto oldest = e.seenHosts.begin();
        for (auto h = e.seenHosts.begin(); h != e.seenHosts.end(); ++h)
            if (h->second < oldest->second) oldest = h;
        e.seenHosts.erase(oldest);
    }
    if (stopped) return false;

    switch (e.phase) {
    case Phase::Queued:
        return false;
    case Phase::Running:
        if (changed || hello) e.again = true;
        return false;
    case Phase::Idle:
        break;
    }
    if (!dueLocked(e, changed, hello)) return false;
    queueLocked(key, e);
    return true;
}

ByeReport DeviceRegistry::bye(const DEVICE_BINFO &binfo)
{
    ByeReport report;
    report.key = endpointKey(binfo);
    const std::string epr = fieldText(binfo.endpoint_address, sizeof(binfo.endpoint_address));
    std::lock_guard<std::mutex> guard(lock);
    endpoints.erase(report.key);
    // The first device (in key order) whose record came from that endpoint.
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        const DEVICE_BINFO &b = it->second->binfo;
        if (fieldText(b.endpoint_address, sizeof(b.endpoint_address)) == epr) {
            report.serial = it->first;
            devices.erase(it);
            break;
        }
    }
    return report;
}

std::unique_ptr<QueryTask> DeviceRegistry::nextTask(int waitMs)
{
    if (stopped) return nullptr;
    std::shared_ptr<std::string> key = pending.pop(waitMs);
    if (!key || stopped) return nullptr;
    std::lock_guard<std::mutex> guard(lock);
    auto it = endpoints.find(*key);
    // Gone (Bye, forgotten) or already handled by another entry.
    if (it == endpoints.end() || it->second.phase != Phase::Queued) return nullptr;
    Endpoint &e = it->second;
    e.phase = Phase::Running;
    e.started = Clock::now();
    e.again = false;
    auto task = std::make_unique<QueryTask>();
    task->key = *key;
    task->incarnation = e.incarnation;
    task->binfo = e.binfo;
    auto own = byKey.find(*key);
    task->credential = own != byKey.end() ? own->second : common;
    task->searchGeneration = searchGeneration;
    task->credentialGeneration = credentialGeneration;
    return task;
}

QueryReport DeviceRegistry::finish(const QueryTask &task, QueryOutcome outcome, DevicePtr device)
{
    QueryReport report;
    report.key = task.key;
    report.host = hostOf(task.binfo);
    std::lock_guard<std::mutex> guard(lock);
    auto it = endpoints.find(task.key);
    if (it == endpoints.end() || it->second.incarnation != task.incarnation) return report;
    Endpoint &e = it->second;
    e.everQueried = true;
    e.outcome = outcome;
    e.searchGeneration = task.searchGeneration;
    e.credentialGeneration = task.credentialGeneration;

    if (outcome == QueryOutcome::Listed && device) {
        const ONVIF_DEVICE_INFORMATION &info = device->device_information;
        const std::string serial = fieldText(info.serial_number, sizeof(info.serial_number));
        e.serial = serial;
        DevicePtr previous;
        auto d = devices.find(serial);
        if (d != devices.end()) previous = d->second;
        devices[serial] = device;
        report.serial = serial;
        report.device = device;
        if (!previous) {
            report.kind = QueryReport::Added;
        } else {
            const ONVIF_DEVICE_INFORMATION &old = previous->device_information;
            bool changed = hostOf(previous->binfo) != hostOf(device->binfo) ||
                           fieldText(old.firmware_version, sizeof(old.firmware_version)) !=
                               fieldText(info.firmware_version, sizeof(info.firmware_version));
            report.kind = changed ? QueryReport::Changed : QueryReport::Same;
        }
    } else if (outcome == QueryOutcome::AuthRequired) {
        report.kind = QueryReport::AuthRequired;
        if (devices.count(e.serial)) report.serial = e.serial;
    } else {
        report.kind = QueryReport::Failed;
    }
    return report;
}

void DeviceRegistry::release(const QueryTask &task)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = endpoints.find(task.key);
    if (it == endpoints.end() || it->second.incarnation != task.incarnation) return;
    Endpoint &e = it->second;
    e.phase = Phase::Idle;
    if (e.again && !stopped) queueLocked(task.key, e);
}

DeviceRegistry::DevicePtr DeviceRegistry::device(const std::string &serial)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = devices.find(serial);
    return it == devices.end() ? nullptr : it->second;
}

void DeviceRegistry::forget(const std::string &serial)
{
    std::lock_guard<std::mutex> guard(lock);
    devices.erase(serial);
    for (auto &entry : endpoints) {
        Endpoint &e = entry.second;
        if (e.outcome == QueryOutcome::Listed && e.serial == serial) e.everQueried = false;
    }
}

void DeviceRegistry::forgetEndpoint(const std::string &key)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = endpoints.find(key);
    if (it != endpoints.end() && it->second.outcome != QueryOutcome::Listed)
        it->second.everQueried = false;
}

void DeviceRegistry::searchAgain()
{
    std::lock_guard<std::mutex> guard(lock);
    searchGeneration++;
}

void DeviceRegistry::recheck(const std::string &key)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = endpoints.find(key);
    if (it == endpoints.end() || stopped) return;
    Endpoint &e = it->second;
    if (e.phase == Phase::Running)
        e.again = true;
    else if (e.phase == Phase::Idle)
        queueLocked(key, e);
}

void DeviceRegistry::setCredentials(const Credential &commonCredential,
                                    const std::map<std::string, Credential> &perKey)
{
    std::lock_guard<std::mutex> guard(lock);
    if (common == commonCredential && byKey == perKey) return;
    common = commonCredential;
    byKey = perKey;
    credentialGeneration++;
    if (stopped) return;
    for (auto &entry : endpoints) {
        Endpoint &e = entry.second;
        if (!e.everQueried || e.outcome != QueryOutcome::AuthRequired) continue;
        if (e.phase == Phase::Idle)
            queueLocked(entry.first, e);
        else if (e.phase == Phase::Running)
            e.again = true;
    }
}

Credential DeviceRegistry::credentialFor(const std::string &key)
{
    std::lock_guard<std::mutex> guard(lock);
    auto own = byKey.find(key);
    return own != byKey.end() ? own->second : common;
}

DeviceRegistry::Clock::time_point DeviceRegistry::lastSeenAt(const std::string &key,
                                                             const std::string &host)
{
    std::lock_guard<std::mutex> guard(lock);
    auto it = endpoints.find(key);
    if (it == endpoints.end()) return Clock::time_point();
    auto seen = it->second.seenHosts.find(host);
    return seen == it->second.seenHosts.end() ? Clock::time_point() : seen->second;
}

DeviceRegistry::Clock::time_point DeviceRegistry::lastSeenElsewhere(const std::string &key,
                                                                    const std::string &host)
{
    std::lock_guard<std::mutex> guard(lock);
    Clock::time_point latest;
    auto it = endpoints.find(key);
    if (it == endpoints.end()) return latest;
    for (const auto &seen : it->second.seenHosts)
        if (seen.first != host && seen.second > latest) latest = seen.second;
    return latest;
}

int DeviceRegistry::busyCount()
{
    std::lock_guard<std::mutex> guard(lock);
    int n = 0;
    for (const auto &entry : endpoints)
        if (entry.second.phase != Phase::Idle) n++;
    return n;
}

DeviceRegistry::Load DeviceRegistry::load(Clock::duration stallAfter)
{
    Load l;
    const Clock::time_point now = Clock::now();
    std::lock_guard<std::mutex> guard(lock);
    for (const auto &entry : endpoints) {
        const Endpoint &e = entry.second;
        if (e.phase == Phase::Queued) l.queued++;
        if (e.phase != Phase::Running) continue;
        l.running++;
        if (now - e.started > stallAfter) l.stalled++;
    }
    return l;
}
