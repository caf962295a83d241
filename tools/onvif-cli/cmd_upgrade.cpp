// onvif-cli upgrade: a firmware image through the device service, counted
// as done once the device reports another firmware version.
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "onvif/onvif_calls.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

const int kDefaultWait = 180;
const int kPollEvery = 2; // seconds between two questions while the device restarts

} // namespace

int cmd_upgrade(const Args &args)
{
    if (args.positional.size() != 2) return usage_error("upgrade", "upgrade takes HOST and FILE");
    const std::string file = args.positional[1];
    Device dev;
    if (int rc = open_host(args, &dev, 1)) return rc;

    struct stat st;
    if (stat(file.c_str(), &st) != 0)
        return fail(kLocal, "cannot read " + file + ": " + strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail(kLocal, file + " is not a file");
    FILE *probe = fopen(file.c_str(), "rb");
    if (!probe) return fail(kLocal, "cannot read " + file + ": " + strerror(errno));
    fclose(probe);

    if (int rc = begin(dev.get())) return rc;
    prepare(dev.get());
    if (!GetDeviceInformation(dev.get()))
        return call_failed(dev.get(), "reading the firmware version");
    const std::string before = field(dev->device_information.firmware_version);

    prepare(dev.get());
    if (!FirmwareUpgrade(dev.get(), file.c_str()))
        return call_failed(dev.get(), "uploading the firmware");

    // The device may restart for a while: ask it again until the wait is over.
    const int wait = args.wait >= 0 ? args.wait : kDefaultWait;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(wait);
    std::string after;
    bool answered = false;
    for (int attempt = 0; attempt <= wait / kPollEvery + 1; attempt++) {
        prepare(dev.get());
        if (GetDeviceInformation(dev.get())) {
            answered = true;
            after = field(dev->device_information.firmware_version);
            if (after != before) break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::seconds(kPollEvery));
    }
    const bool confirmed = answered && after != before;

    Value r = Value::record();
    r.set("host", field(dev->binfo.xaddr.host));
    r.set("file", file);
    r.set("bytes", (int64_t)st.st_size);
    r.set("firmware_before", before);
    r.set("firmware_after", answered ? Value(after) : Value());
    r.set("confirmed", confirmed);
    print(r, args.format);
    if (confirmed) return kOk;
    return fail(kNotConfirmed,
                host_text(dev.get()) + ": the device took the image, but " +
                    (answered ? "still reports firmware " + before
                              : "did not answer again within " + std::to_string(wait) + " s"));
}

} // namespace cli
