// Our client against Debian's libonvif on the same camsim cameras, side by
// side in one run: GetDeviceInformation and GetCapabilities, without and
// with WS-Security (UsernameToken, PasswordDigest), one thread. Reports
// operations per second (wall clock, bound by camsim as much as by the
// client) and the client's own CPU time per operation (the thread's CPU
// clock, which camsim's work does not touch). camsim's nonce replay check is
// off for both: with it on, libonvif's WS-Security requests are refused.
#include <benchmark/benchmark.h>

extern "C" {
#include <onvif.h>
}

#include <time.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "http/http_msg.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_trans.h"
#include "platform/sys_buf.h"
#include "platform/sys_net.h"
#include "tests/support/camsim_process.h"

namespace
{

constexpr int kCameras = 8;
const char kUser[] = "admin";
const char kPassword[] = "bench-pw";

struct Fleet {
    std::unique_ptr<CamsimProcess> camsim;
    std::vector<std::unique_ptr<ONVIF_DEVICE>> ours;
    std::vector<std::unique_ptr<OnvifData>> peer;
};

Fleet g_fleets[2]; // [wsse]

bool start_fleet(int wsse)
{
    std::string cfg = std::string("{\"defaults\":{\"auth\":\"") + (wsse ? "wsse" : "none") +
                      "\",\"user\":\"" + kUser + "\",\"password\":\"" + kPassword +
                      "\",\"wsse_replay_check\":false},\"cameras\":[]}";
    Fleet &f = g_fleets[wsse];
    f.camsim = std::make_unique<CamsimProcess>(
        CAMSIM_PATH, cfg, CamsimOptions{"/tmp/camsim_peer_XXXXXX", kCameras, false});
    if (!f.camsim->ok()) {
        fprintf(stderr, "camsim (wsse %d): %s\n", wsse, f.camsim->error().c_str());
        return false;
    }
    for (int i = 0; i < kCameras; i++) {
        int port = f.camsim->ports()[(size_t)i];
        auto dev = std::make_unique<ONVIF_DEVICE>();
        memset(dev.get(), 0, sizeof(ONVIF_DEVICE));
        ONVIF_XADDR &x = dev->binfo.xaddr;
        snprintf(x.host, sizeof(x.host), "127.0.0.1");
        snprintf(x.path, sizeof(x.path), "/onvif/device_service");
        x.port = port;
        if (wsse) {
            onvif_SetAuthInfo(dev.get(), kUser, kPassword);
            dev->need_auth = 1; // as after the first refusal: one request per operation
        }
        f.ours.push_back(std::move(dev));

        auto od = std::make_unique<OnvifData>();
        memset(od.get(), 0, sizeof(OnvifData));
        snprintf(od->xaddrs, sizeof(od->xaddrs), "http://127.0.0.1:%d/onvif/device_service", port);
        snprintf(od->device_service, sizeof(od->device_service),
                 "POST /onvif/device_service HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n", port);
        if (wsse) {
            snprintf(od->username, sizeof(od->username), "%s", kUser);
            snprintf(od->password, sizeof(od->password), "%s", kPassword);
            getTimeOffset(od.get()); // its UsernameToken carries the camera's time
        }
        f.peer.push_back(std::move(od));
    }
    return true;
}

double thread_cpu_us()
{
    struct timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return (double)ts.tv_sec * 1e6 + (double)ts.tv_nsec / 1e3;
}

void finish(benchmark::State &state, double cpu0, const char *who, int op, int wsse)
{
    state.SetItemsProcessed(state.iterations());
    if (state.iterations() > 0)
        state.counters["cpu_us_per_op"] = (thread_cpu_us() - cpu0) / (double)state.iterations();
    state.SetLabel(std::string(who) + (op == 0 ? " GetDeviceInformation" : " GetCapabilities") +
                   (wsse ? " wsse" : ""));
}

void BM_Ours(benchmark::State &state)
{
    int op = (int)state.range(0), wsse = (int)state.range(1);
    Fleet &f = g_fleets[wsse];
    if (f.ours.size() != (size_t)kCameras) {
        state.SkipWithError("camsim fleet not running");
        return;
    }
    int next = 0;
    double cpu0 = thread_cpu_us();
    for (auto _ : state) {
        ONVIF_DEVICE *dev = f.ours[(size_t)next].get();
        next = (next + 1) % kCameras;
        if (!(op == 0 ? GetDeviceInformation(dev) : GetCapabilities(dev))) {
            state.SkipWithError("operation failed");
            return;
        }
    }
    finish(state, cpu0, "ours", op, wsse);
}

void BM_Libonvif(benchmark::State &state)
{
    int op = (int)state.range(0), wsse = (int)state.range(1);
    Fleet &f = g_fleets[wsse];
    if (f.peer.size() != (size_t)kCameras) {
        state.SkipWithError("camsim fleet not running");
        return;
    }
    int next = 0;
    double cpu0 = thread_cpu_us();
    for (auto _ : state) {
        OnvifData *od = f.peer[(size_t)next].get();
        next = (next + 1) % kCameras;
        int r = op == 0 ? getDeviceInformation(od) : getCapabilities(od);
        if (r != 0) {
            state.SkipWithError(("libonvif: " + std::string(od->last_error)).c_str());
            return;
        }
    }
    finish(state, cpu0, "libonvif", op, wsse);
}

BENCHMARK(BM_Ours)
    ->ArgNames({"op", "wsse"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(BM_Libonvif)
    ->ArgNames({"op", "wsse"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseRealTime()
    ->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    network_init();
    sys_buf_init(200);
    http_msg_buf_init(400);
    bool up = start_fleet(0) && start_fleet(1);
    if (up) benchmark::RunSpecifiedBenchmarks();
    for (Fleet &f : g_fleets) {
        for (auto &dev : f.ours)
            onvif_free_device(dev.get());
        f.ours.clear();
        f.camsim.reset();
    }
    http_msg_buf_deinit();
    sys_buf_deinit();
    benchmark::Shutdown();
    return up ? 0 : 1;
}
