// The device manager's shared state, safe for every thread: what discovery
// has seen per endpoint, which endpoints are due for a query, the devices
// that answered (by serial number), and the credentials to query with.
//
// It holds no Qt object and no thread, so the query workers, a batch job and
// the upload pool can keep it alive after the window and its manager have
// gone; they find it stopped and end.
//
// Query policy, per endpoint (the EndpointReference address, or the device
// address when a device sends none):
//   - one query at a time; a sighting during a query asks for one more after
//     it only when it says something new (another address, another metadata
//     version, a Hello);
//   - a listed device is queried again when its address or metadata version
//     changes, on a Hello, after the user searched, or on recheck;
//   - a device that refused our credentials is queried again only when they
//     changed, when its address changed, or after the user searched;
//   - a device that failed otherwise (time-out, broken reply) is tried again
//     at its next sighting.
#ifndef APP_DEVICE_REGISTRY_H
#define APP_DEVICE_REGISTRY_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/blocking_queue.h"
#include "discovery/probe.h"
#include "onvif/onvif_device.h"

// One user name and password; an empty user name means "none".
struct Credential {
    std::string user;
    std::string password;
    bool empty() const { return user.empty(); }
    bool operator==(const Credential &o) const { return user == o.user && password == o.password; }
};

enum class QueryOutcome { Listed, Failed, AuthRequired };

// One query handed to a worker: a snapshot taken when it was started.
struct QueryTask {
    std::string key;
    uint64_t incarnation = 0; // tells a re-announced endpoint from the one queried
    DEVICE_BINFO binfo;
    Credential credential;
    uint64_t searchGeneration = 0;
    uint64_t credentialGeneration = 0;
};

// What a finished query means for the table.
struct QueryReport {
    enum Kind { Dropped, Added, Changed, Same, AuthRequired, Failed } kind = Dropped;
    std::string key;
    std::string serial; // Added/Changed/Same; AuthRequired when the device was listed before
    std::string host;
    std::shared_ptr<ONVIF_DEVICE> device; // Added/Changed/Same
};

struct ByeReport {
    std::string key;
    std::string serial; // the device removed from the map, empty when none
};

class DeviceRegistry
{
  public:
    using DevicePtr = std::shared_ptr<ONVIF_DEVICE>;
    using Clock = std::chrono::steady_clock;

    // The key of the endpoint a discovery record speaks of.
    static std::string endpointKey(const DEVICE_BINFO &binfo);
    static std::string hostOf(const DEVICE_BINFO &binfo);

    // ---- discovery thread ----
    // A ProbeMatch or Hello; queues a query when one is due. True when queued.
    bool sighting(const DEVICE_BINFO &binfo, int kind);
    // A Bye: the endpoint and the first device it produced are forgotten.
    ByeReport bye(const DEVICE_BINFO &binfo);

    // ---- query workers ----
    // The next due query, or null after waitMs (or once stopped).
    std::unique_ptr<QueryTask> nextTask(int waitMs);
    // Files the outcome; device is the queried record (null unless Listed).
    // The query counts as under way until release(), which the worker calls
    // after it has handed the report on (so "nothing busy" means "all reported").
    QueryReport finish(const QueryTask &task, QueryOutcome outcome, DevicePtr device);
    void release(const QueryTask &task);

    // ---- any thread ----
    DevicePtr device(const std::string &serial);
    // The device leaves the map; its endpoint is queried at its next sighting.
    void forget(const std::string &serial);
    // An endpoint without a listed device is forgotten (its next sighting queries it).
    void forgetEndpoint(const std::string &key);
    // Every endpoint is due again at its next sighting (the user searched).
    void searchAgain();
    // Query this endpoint again now, or right after the query under way.
    void recheck(const std::string &key);
    // New credentials: endpoints that refused the old ones are queried again now.
    void setCredentials(const Credential &common, const std::map<std::string, Credential> &byKey);
    Credential credentialFor(const std::string &key);
    // When a ProbeMatch or Hello of the endpoint last named host (the epoch
    // when it never did, as far as the few addresses kept per endpoint tell).
    Clock::time_point lastSeenAt(const std::string &key, const std::string &host);
    // The latest sighting of the endpoint at any address other than host.
    Clock::time_point lastSeenElsewhere(const std::string &key, const std::string &host);
    // Sightings so far (a change tells a waiter to look again).
    uint64_t sightingCount() const { return sightings.load(); }
    // Queries queued or under way (a snapshot).
    int busyCount();
    // Queries queued; under way; and of those, waiting longer than stallAfter.
    struct Load {
        int queued = 0, running = 0, stalled = 0;
    };
    Load load(Clock::duration stallAfter);

    void stop() { stopped = true; }
    bool isStopped() const { return stopped.load(); }

  private:
    enum class Phase { Idle, Queued, Running };
    struct Endpoint {
        uint64_t incarnation = 0;
        DEVICE_BINFO binfo;
        Phase phase = Phase::Idle;
        Clock::time_point started; // of the query under way
        bool again = false;        // query once more after the running one
        bool everQueried = false;
        QueryOutcome outcome = QueryOutcome::Failed;
        uint64_t searchGeneration = 0;
        uint64_t credentialGeneration = 0;
        std::string serial;                                 // of its last listed answer
        std::map<std::string, Clock::time_point> seenHosts; // last sighting per address, a few
    };

    bool dueLocked(Endpoint &e, bool changed, bool hello) const;
    void queueLocked(const std::string &key, Endpoint &e);

    std::mutex lock;
    std::map<std::string, Endpoint> endpoints;
    std::map<std::string, DevicePtr> devices;
    BlockingQueue<std::string> pending;
    Credential common;
    std::map<std::string, Credential> byKey;
    uint64_t searchGeneration = 1;
    uint64_t credentialGeneration = 1;
    uint64_t nextIncarnation = 1;
    std::atomic<uint64_t> sightings{0};
    std::atomic<bool> stopped{false};
};

#endif
