// Complete ONVIF operations per second against camsim on loopback: build the
// envelope, connect, (TLS handshake,) send, receive, parse into the device
// record. GetDeviceInformation and GetCapabilities, with and without
// WS-Security, with and without TLS, on 1 thread and on 8 threads; 8 cameras
// and 8 device records per configuration (one record per thread; the single
// thread goes round all eight). Besides operations per second (wall clock,
// bound by camsim on the same two cores) each case reports the client's CPU
// time per operation.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "http/http_msg.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_trans.h"
#include "platform/sys_buf.h"
#include "platform/sys_net.h"
#include "tests/support/camsim_process.h"

namespace
{

constexpr int kCameras = 8;
const char kUser[] = "admin";
const char kPassword[] = "bench-pw";

// One camsim fleet and the device records pointing at it.
struct Fleet {
    std::unique_ptr<CamsimProcess> camsim;
    std::vector<std::unique_ptr<ONVIF_DEVICE>> devices;
};

Fleet g_fleets[2][2]; // [wsse][tls]

bool start_fleet(int wsse, int tls)
{
    std::string cfg = std::string("{\"defaults\":{\"auth\":\"") + (wsse ? "wsse" : "none") +
                      "\",\"user\":\"" + kUser + "\",\"password\":\"" + kPassword +
                      "\",\"tls\":" + (tls ? "true" : "false") + "},\"cameras\":[]}";
    Fleet &f = g_fleets[wsse][tls];
    f.camsim = std::make_unique<CamsimProcess>(
        CAMSIM_PATH, cfg, CamsimOptions{"/tmp/camsim_bench_XXXXXX", kCameras, false});
    if (!f.camsim->ok()) {
        fprintf(stderr, "camsim (wsse %d, tls %d): %s\n", wsse, tls, f.camsim->error().c_str());
        return false;
    }
    for (int i = 0; i < kCameras; i++) {
        auto dev = std::make_unique<ONVIF_DEVICE>();
        memset(dev.get(), 0, sizeof(ONVIF_DEVICE));
        ONVIF_XADDR &x = dev->binfo.xaddr;
        snprintf(x.host, sizeof(x.host), "127.0.0.1");
        snprintf(x.path, sizeof(x.path), "/onvif/device_service");
        x.port = f.camsim->ports()[(size_t)i];
        x.https = tls;
        if (wsse) {
            // Credentials and WS-Security up front, as the record stands after
            // the first refusal: every operation is then one request.
            onvif_SetAuthInfo(dev.get(), kUser, kPassword);
            dev->need_auth = 1;
        }
        f.devices.push_back(std::move(dev));
    }
    return true;
}

void stop_fleets()
{
    for (auto &row : g_fleets)
        for (Fleet &f : row) {
            for (auto &dev : f.devices)
                onvif_free_device(dev.get());
            f.devices.clear();
            f.camsim.reset();
        }
}

double thread_cpu_us()
{
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
}

void BM_Soap(benchmark::State &state)
{
    int op = (int)state.range(0);
    int wsse = (int)state.range(1);
    int tls = (int)state.range(2);
    Fleet &f = g_fleets[wsse][tls];
    if (f.devices.size() != (size_t)kCameras) {
        state.SkipWithError("camsim fleet not running");
        return;
    }
    int threads = state.threads();
    int next = state.thread_index();
    double cpu0 = thread_cpu_us();
    for (auto _ : state) {
        ONVIF_DEVICE *dev = f.devices[(size_t)next].get();
        if (threads == 1) next = (next + 1) % kCameras;
        int ok = op == 0 ? GetDeviceInformation(dev) : GetCapabilities(dev);
        if (!ok) {
            char why[64];
            snprintf(why, sizeof(why), "operation failed, last_error %d", dev->last_error);
            state.SkipWithError(why);
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    // The client's own CPU time per operation (camsim's is not in it).
    if (state.iterations() > 0)
        state.counters["cpu_us_per_op"] = benchmark::Counter(
            (thread_cpu_us() - cpu0) / (double)state.iterations(), benchmark::Counter::kAvgThreads);
    state.SetLabel(std::string(op == 0 ? "GetDeviceInformation" : "GetCapabilities") +
                   (wsse ? " wsse" : "") + (tls ? " tls" : ""));
}

BENCHMARK(BM_Soap)
    ->ArgNames({"op", "wsse", "tls"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Threads(1)
    ->Threads(8)
    ->UseRealTime()
    ->MinTime(1.0);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    network_init();
    sys_buf_init(200);
    http_msg_buf_init(400);
    bool up = true;
    for (int wsse = 0; wsse < 2; wsse++)
        for (int tls = 0; tls < 2; tls++)
            up = start_fleet(wsse, tls) && up;
    if (up) benchmark::RunSpecifiedBenchmarks();
    stop_fleets();
    http_msg_buf_deinit();
    sys_buf_deinit();
    benchmark::Shutdown();
    return up ? 0 : 1;
}
