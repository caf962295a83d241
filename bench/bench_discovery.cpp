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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "app/device_manager.h"
#include "app_test_support.h"

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
