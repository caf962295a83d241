// Memory: the sizes of the main records (printed before the benchmarks run)
// and the memory that 1000 device records take when held the way the device
// manager holds them: a std::map from serial number to a shared pointer of a
// zero-filled ONVIF_DEVICE whose deleter frees its result lists. The manager
// keeps its map private, so the benchmark builds the same structure itself.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "discovery/probe.h"
#include "http/http_cln.h"
#include "http/http_msg.h"
#include "onvif/onvif_caps.h"
#include "onvif/onvif_device.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "platform/pps.h"
#include "platform/sys_buf.h"
#include "xml/hxml.h"
#include "xml/xml_node.h"

namespace
{

using DeviceMap = std::map<std::string, std::shared_ptr<ONVIF_DEVICE>>;

// Resident set size of this process in bytes (VmRSS), 0 when unreadable.
long resident_bytes()
{
    std::ifstream in("/proc/self/status");
    std::string key;
    for (int i = 0; i < 200 && in >> key; i++) {
        if (key == "VmRSS:") {
            long kb = 0;
            in >> kb;
            return kb * 1024;
        }
        std::string rest;
        std::getline(in, rest);
    }
    return 0;
}

long heap_in_use()
{
    struct mallinfo2 mi = mallinfo2();
    return (long)(mi.uordblks + mi.hblkhd);
}

// A record as the manager makes it and fills it after a successful query.
std::shared_ptr<ONVIF_DEVICE> new_device(int i)
{
    auto *raw = new ONVIF_DEVICE;
    memset(raw, 0, sizeof(*raw));
    std::shared_ptr<ONVIF_DEVICE> dev(raw, [](ONVIF_DEVICE *p) {
        onvif_free_device(p);
        delete p;
    });
    snprintf(dev->binfo.endpoint_address, sizeof(dev->binfo.endpoint_address),
             "urn:uuid:5f5a69c2-e0ae-504f-829b-%012d", i);
    snprintf(dev->binfo.xaddr.host, sizeof(dev->binfo.xaddr.host), "10.0.%d.%d", i / 250,
             i % 250 + 1);
    snprintf(dev->device_information.serial_number, sizeof(dev->device_information.serial_number),
             "CAMSIM%04d", i + 1);
    return dev;
}

void fill(DeviceMap &map, int n)
{
    for (int i = 0; i < n; i++) {
        auto dev = new_device(i);
        map[dev->device_information.serial_number] = dev;
    }
}

void BM_DeviceMap(benchmark::State &state)
{
    int n = (int)state.range(0);
    double rss = 0, heap = 0;
    bool first = true;
    for (auto _ : state) {
        long rss0 = resident_bytes(), heap0 = heap_in_use();
        {
            DeviceMap map;
            fill(map, n);
            benchmark::DoNotOptimize(map);
            if (first) {
                rss = (double)(resident_bytes() - rss0);
                heap = (double)(heap_in_use() - heap0);
                first = false;
            }
        }
    }
    state.counters["records"] = n;
    state.counters["heap_bytes"] = heap;
    state.counters["rss_bytes"] = rss;
    state.counters["heap_per_record"] = heap / n;
    state.counters["sizeof_ONVIF_DEVICE"] = (double)sizeof(ONVIF_DEVICE);
}

BENCHMARK(BM_DeviceMap)->Arg(1000)->Iterations(5)->Unit(benchmark::kMillisecond);

void print_sizes()
{
    struct Row {
        const char *name;
        size_t size;
    };
    const Row rows[] = {
        {"ONVIF_DEVICE", sizeof(ONVIF_DEVICE)},
        {"DEVICE_BINFO", sizeof(DEVICE_BINFO)},
        {"ONVIF_SCOPE", sizeof(ONVIF_SCOPE)},
        {"ONVIF_XADDR", sizeof(ONVIF_XADDR)},
        {"ONVIF_CAPABILITIES", sizeof(ONVIF_CAPABILITIES)},
        {"ONVIF_DEVICE_INFORMATION", sizeof(ONVIF_DEVICE_INFORMATION)},
        {"ONVIF_FAULT", sizeof(ONVIF_FAULT)},
        {"HTTP_MSG", sizeof(HTTP_MSG)},
        {"HTTP_CLIENT_CONN", sizeof(HTTP_CLIENT_CONN)},
        {"XML_NODE", sizeof(XML_NODE)},
        {"HXML_PARSER", sizeof(HXML_PARSER)},
        {"PPS_CTX", sizeof(PPS_CTX)},
        {"PPS_NODE", sizeof(PPS_NODE)},
        {"HDRV", sizeof(HDRV)},
    };
    printf("%-26s %10s\n", "record", "bytes");
    for (const Row &r : rows)
        printf("%-26s %10zu\n", r.name, r.size);
    printf("%-26s %10d\n", "net buffer (NET_BUF_SIZE)", NET_BUF_SIZE);
    fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    print_sizes();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
