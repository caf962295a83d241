// Discovery to table: the time from the device manager's first probe until it
// has queried N simulated cameras (clock, device information, capabilities)
// and put each into its table, i.e. until N distinct probDevice signals came.
//
// By default every run makes its own world: the process moves into a new
// network namespace with a veth pair (the GUI tests' support code), starts a
// camsim fleet of N cameras on the cameras' side with discovery on, runs a
// fresh DeviceManager on the tool's side and stops both afterwards. Silent
// cameras answer discovery but never answer a SOAP request; each holds one
// of the manager's query workers for a full transaction time-out. Every run
// is capped (kCapSeconds) so that it stays under a minute; a run that hits
// the cap reports how many devices it had by then.
//
// --external-fleet=N times the manager against a fleet that is already
// running in the current network namespace (bench/fleet.sh starts one and
// leaves it for any other client too): nothing is created, only timed.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "app/device_manager.h"
#include "discovery/probe.h"
#include "app_test_support.h"

#ifdef HAVE_LIBONVIF
extern "C" {
#include <onvif.h>
}
#endif

#include <unistd.h>

namespace
{

constexpr double kCapSeconds = 55.0;
const char kProbeDelayMs[] = "500"; // WS-Discovery's APP_MAX_DELAY

std::atomic<long> g_log_lines{0};

// The manager's diagnostic lines are counted, not printed.
void quiet_handler(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (type == QtDebugMsg || type == QtInfoMsg) {
        g_log_lines++;
        return;
    }
    fprintf(stderr, "%s\n", qPrintable(msg));
}

struct RunResult {
    double seconds = 0;
    int devices = 0;
    int within3s = 0; // devices in the table 3 s after the start
    bool complete = false;
};

// Starts a manager, runs the event loop (where its signals are emitted) until
// `expected` devices are in its table (or the cap), waits until the probe
// answers of this round are handled, then stops it. `before_stop` runs
// between that wait and the manager's stop.
template <typename F> RunResult time_manager(int expected, F before_stop)
{
    QSet<QString> serials;
    DeviceManager manager;
    QObject::connect(&manager, &DeviceManager::probDevice, &manager,
                     [&serials](QString serial) { serials.insert(serial); });

    RunResult r;
    auto t0 = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    manager.start();
    for (long i = 0; i < 10000000 && serials.size() < expected && elapsed() < kCapSeconds; i++) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (elapsed() < 3.0) r.within3s = serials.size();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (elapsed() < 3.0) r.within3s = serials.size();
    r.seconds = elapsed();
    r.devices = serials.size();
    r.complete = r.devices >= expected;
    // Every ProbeMatch of the first round has come (they are sent within the
    // probe delay) and been handled, but for queries that wait on silent
    // cameras: the query counts are this search's.
    auto settled = [&] {
        DeviceRegistry::Load load = manager.registry()->load(std::chrono::seconds(1));
        return load.queued == 0 && load.running == load.stalled;
    };
    for (int i = 0; i < 5000 && (elapsed() < 2.0 || !settled()) && elapsed() < kCapSeconds; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    before_stop();
    manager.stop();
    return r;
}

// UDP datagrams this network namespace dropped for want of receive-buffer
// space so far (RcvbufErrors of /proc/self/net/snmp), -1 when unreadable.
long udp_rcvbuf_errors()
{
    std::ifstream in("/proc/self/net/snmp");
    std::string header, values;
    for (int i = 0; i < 50 && std::getline(in, header) && std::getline(in, values); i++) {
        if (header.compare(0, 4, "Udp:") != 0) continue;
        std::istringstream h(header), v(values);
        std::string name, value;
        while (h >> name && v >> value)
            if (name == "RcvbufErrors") return atol(value.c_str());
    }
    return -1;
}

// Positions of the silent cameras: spread evenly over the fleet.
bool is_silent(int i, int n, int silent)
{
    if (silent <= 0) return false;
    int step = n / silent;
    return step > 0 && i % step == step / 2 && i / step < silent;
}

void BM_DiscoveryToTable(benchmark::State &state)
{
    int n = (int)state.range(0);
    int silent = (int)state.range(1);
    QString why;
    if (!apptest::enterTestNetwork(&why)) {
        state.SkipWithError(qPrintable(why));
        return;
    }
    QJsonArray cameras;
    QStringList silent_serials;
    for (int i = 0; i < n; i++) {
        QJsonObject cam;
        if (is_silent(i, n, silent)) {
            cam["answer"] = "never";
            silent_serials << QString::asprintf("CAMSIM%04d", i + 1);
        }
        cameras.append(cam);
    }
    for (auto _ : state) {
        apptest::CamSim fleet(cameras);
        if (!fleet.start({"--probe-delay-ms", kProbeDelayMs, "--quiet"}, 30000)) {
            state.SkipWithError(qPrintable("camsim: " + fleet.errorText()));
            return;
        }
        int silent_queries = 0, queries = 0, soap = 0;
        long drops = udp_rcvbuf_errors();
        RunResult r = time_manager(n - silent, [&] {
            const QList<QJsonObject> all = fleet.requests();
            for (const QJsonObject &q : all) {
                const QString op = q.value("operation").toString();
                if (op.isEmpty()) continue;
                const bool quiet = silent_serials.contains(q.value("camera").toString());
                if (!quiet) soap++;
                if (op != "GetSystemDateAndTime") continue;
                queries++;
                if (quiet) silent_queries++;
            }
            fleet.stop();
        });
        state.SetIterationTime(r.seconds);
        long drops_after = udp_rcvbuf_errors();
        state.counters["udp_drops"] = (drops < 0 || drops_after < 0) ? -1 : drops_after - drops;
        state.counters["cameras"] = n;
        state.counters["silent"] = silent;
        state.counters["in_table"] = r.devices;
        state.counters["in_table_3s"] = r.within3s;
        state.counters["complete"] = r.complete ? 1 : 0;
        state.counters["clock_queries"] = queries;
        state.counters["silent_queries"] = silent_queries;
        state.counters["soap_per_camera"] = n > silent ? double(soap) / (n - silent) : 0;
    }
}

BENCHMARK(BM_DiscoveryToTable)
    ->ArgNames({"cameras", "silent"})
    ->Args({10, 0})
    ->Args({100, 0})
    ->Args({250, 0})
    ->Args({10, 1})
    ->Args({20, 1})
    ->Args({100, 5})
    ->Args({250, 13})
    ->Args({1000, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// ---- discovery alone: our probe thread, and libonvif's -------------------

// Endpoint addresses and ProbeMatch messages that reached our callback.
struct Found {
    std::mutex lock;
    std::condition_variable changed;
    std::set<std::string> eprs;
    long matches = 0;
};

void on_found(const DEVICE_BINFO *binfo, int kind, void *user)
{
    if (kind != PROBE_MSG_MATCH) return;
    Found *f = static_cast<Found *>(user);
    std::lock_guard<std::mutex> g(f->lock);
    f->eprs.insert(binfo->endpoint_address);
    f->matches++;
    f->changed.notify_all();
}

// A fleet of n cameras answering discovery after a random 0..delay_ms each.
template <typename F> void with_fleet(benchmark::State &state, int n, const char *delay_ms, F run)
{
    QString why;
    if (!apptest::enterTestNetwork(&why)) {
        state.SkipWithError(qPrintable(why));
        return;
    }
    QJsonArray cameras;
    for (int i = 0; i < n; i++)
        cameras.append(QJsonObject());
    for (auto _ : state) {
        apptest::CamSim fleet(cameras);
        if (!fleet.start({"--probe-delay-ms", delay_ms, "--quiet"}, 60000)) {
            state.SkipWithError(qPrintable("camsim: " + fleet.errorText()));
            return;
        }
        long drops = udp_rcvbuf_errors();
        run();
        long drops_after = udp_rcvbuf_errors();
        state.counters["udp_drops"] = (drops < 0 || drops_after < 0) ? -1 : drops_after - drops;
        state.counters["cameras"] = n;
        fleet.stop();
    }
}

// Our discovery module alone: from start_probe until every camera's
// ProbeMatch came (or the cap). Every camera answers each of the two probes
// on each discovery socket (two in the test network: both ends of the veth
// pair), so 250 cameras send 1000 ProbeMatches and 500 send 2000, within
// the answer window (0 ms: all at once, as a burst).
void BM_OurDiscovery(benchmark::State &state)
{
    int n = (int)state.range(0);
    std::string delay = std::to_string(state.range(1));
    with_fleet(state, n, delay.c_str(), [&] {
        Found found;
        set_probe_cb(on_found, &found);
        auto t0 = std::chrono::steady_clock::now();
        start_probe(nullptr, 30);
        {
            std::unique_lock<std::mutex> g(found.lock);
            found.changed.wait_until(g, t0 + std::chrono::duration<double>(kCapSeconds),
                                     [&] { return found.eprs.size() >= (size_t)n; });
        }
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        // The rest of the answer window, so that every ProbeMatch is counted.
        usleep((useconds_t)(state.range(1) + 300) * 1000);
        stop_probe();
        set_probe_cb(nullptr, nullptr);
        std::lock_guard<std::mutex> g(found.lock);
        state.SetIterationTime(seconds);
        state.counters["found"] = (double)found.eprs.size();
        state.counters["probe_matches"] = (double)found.matches;
    });
}

BENCHMARK(BM_OurDiscovery)
    ->ArgNames({"cameras", "delay_ms"})
    ->Args({100, 500})
    ->Args({250, 500})
    ->Args({100, 0})
    ->Args({250, 0})
    ->Args({500, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

#ifdef HAVE_LIBONVIF
// libonvif's discovery: one broadcast() (its own probe and receive window);
// the answers it kept are counted by their endpoint addresses.
void BM_LibonvifDiscovery(benchmark::State &state)
{
    int n = (int)state.range(0);
    std::string delay = std::to_string(state.range(1));
    with_fleet(state, n, delay.c_str(), [&] {
        auto session = std::make_unique<OnvifSession>();
        memset(session.get(), 0, sizeof(OnvifSession));
        initializeSession(session.get());
        // Its probe goes out from the tool's end of the test network.
        snprintf(session->preferred_network_address, sizeof(session->preferred_network_address),
                 "10.203.5.1");
        auto t0 = std::chrono::steady_clock::now();
        int answers = broadcast(session.get());
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        Found found;
        set_probe_cb(on_found, &found);
        for (int i = 0; i < answers && i < 128; i++)
            onvif_probe_datagram(session->buf[i], session->len[i]);
        set_probe_cb(nullptr, nullptr);
        closeSession(session.get());
        state.SetIterationTime(seconds);
        state.counters["found"] = (double)found.eprs.size();
        state.counters["probe_matches"] = answers;
    });
}

BENCHMARK(BM_LibonvifDiscovery)
    ->ArgNames({"cameras", "delay_ms"})
    ->Args({100, 500})
    ->Args({250, 500})
    ->Args({100, 0})
    ->Args({250, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
#endif

void BM_ExternalFleet(benchmark::State &state, int n)
{
    for (auto _ : state) {
        RunResult r = time_manager(n, [] {});
        state.SetIterationTime(r.seconds);
        state.counters["cameras"] = n;
        state.counters["in_table"] = r.devices;
        state.counters["complete"] = r.complete ? 1 : 0;
    }
}

} // namespace

int main(int argc, char **argv)
{
    int external = 0;
    int kept = 1;
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "--external-fleet=", 17) == 0)
            external = atoi(argv[i] + 17);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;

    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet_handler);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (external > 0) {
        benchmark::ClearRegisteredBenchmarks();
        benchmark::RegisterBenchmark("BM_ExternalFleet", BM_ExternalFleet, external)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fprintf(stderr, "(%ld diagnostic lines of the manager suppressed)\n", g_log_lines.load());
    return 0;
}
