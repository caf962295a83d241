// Device records for one command, their calls, and what a failed call means.
#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "discovery/xaddr.h"
#include "onvif/onvif_calls.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

// The request engine stops retrying with WS-Security once it has counted
// four refusals; starting a call there leaves exactly one attempt.
const int32_t kRefusalsCounted = 4;

} // namespace

int usage_error(const std::string &command, const std::string &message)
{
    fprintf(stderr, "onvif-cli: %s\n", message.c_str());
    if (command.empty())
        fprintf(stderr, "Try 'onvif-cli --help'.\n");
    else
        fprintf(stderr, "Try 'onvif-cli %s --help'.\n", command.c_str());
    return kUsage;
}

int fail(int code, const std::string &message)
{
    fprintf(stderr, "onvif-cli: %s\n", message.c_str());
    return code;
}

void set_field(char *dst, size_t size, const std::string &text)
{
    if (!dst || size == 0) return;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    memcpy(dst, text.data(), n);
    dst[n] = '\0';
}

void DeviceDeleter::operator()(ONVIF_DEVICE *p) const
{
    if (!p) return;
    // The password does not stay behind in freed memory.
    memset(p->password, 0, sizeof(p->password));
    onvif_delete_device(p);
}

Device open_device(const std::string &host, const Args &args, std::string *error)
{
    std::string url = host;
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
        if (url.empty() || url.find_first_of("/ \t") != std::string::npos) {
            *error = "'" + host + "' is not a host, host:port or device-service URL";
            return nullptr;
        }
        url = "http://" + url + "/onvif/device_service";
    }
    Device dev(onvif_new_device());
    if (!dev) {
        *error = "out of memory";
        return nullptr;
    }
    if (!parse_XAddr(url.c_str(), &dev->binfo.xaddr) || !dev->binfo.xaddr.host[0]) {
        *error = "'" + host + "' is not a host, host:port or device-service URL";
        return nullptr;
    }
    if (!args.user.empty()) onvif_SetAuthInfo(dev.get(), args.user.c_str(), args.password.c_str());
    return dev;
}

int open_host(const Args &args, Device *dev, size_t extra_arguments)
{
    if (args.positional.size() != 1 + extra_arguments)
        return usage_error(args.command, extra_arguments
                                             ? args.command + " takes HOST and " +
                                                   std::to_string(extra_arguments) + " more"
                                             : args.command + " takes one HOST");
    std::string error;
    *dev = open_device(args.positional[0], args, &error);
    if (!*dev) return usage_error(args.command, error);
    return kOk;
}

int begin(ONVIF_DEVICE *dev)
{
    if (read_clock(dev)) return kOk;
    if (exit_code_of(dev) == kUnreachable) return call_failed(dev, "reading the clock");
    return kOk;
}

Device device_at(const ONVIF_DEVICE &dev, const std::string &address)
{
    Device moved(onvif_new_device());
    if (!moved) return nullptr;
    moved->binfo.xaddr = dev.binfo.xaddr;
    set_field(moved->binfo.xaddr.host, sizeof(moved->binfo.xaddr.host), address);
    memcpy(moved->username, dev.username, sizeof(moved->username));
    memcpy(moved->password, dev.password, sizeof(moved->password));
    moved->time_type = dev.time_type;
    moved->device_time = dev.device_time;
    moved->time_stamp = dev.time_stamp;
    return moved;
}

void prepare(ONVIF_DEVICE *dev)
{
    dev->need_auth = dev->username[0] != '\0' ? 1 : 0;
    dev->auth_retry = kRefusalsCounted;
}

int read_clock(ONVIF_DEVICE *dev)
{
    dev->need_auth = 0;
    dev->auth_retry = kRefusalsCounted;
    if (GetSystemDateAndTime(dev)) return 1;
    if (!dev->auth_failed || !dev->username[0]) return 0;
    prepare(dev);
    return GetSystemDateAndTime(dev);
}

std::string host_text(const ONVIF_DEVICE *dev)
{
    return field(dev->binfo.xaddr.host) + ":" + std::to_string(dev->binfo.xaddr.port);
}

std::string url_of(const ONVIF_XADDR &x)
{
    if (!x.host[0]) return "";
    return std::string(x.https ? "https://" : "http://") + field(x.host) + ":" +
           std::to_string(x.port) + field(x.path);
}

bool refused_only(const ONVIF_DEVICE *dev)
{
    return dev->last_error == -9 && !dev->auth_failed;
}

int exit_code_of(const ONVIF_DEVICE *dev)
{
    if (dev->auth_failed) return kAuth;
    switch (dev->last_error) {
    case -1:
    case -2:
    case -4:
        return kUnreachable;
    case -6:
    case -7:
    case -8:
        return kBadAnswer;
    default:
        return kRefused;
    }
}

std::string reason_of(const ONVIF_DEVICE *dev)
{
    if (dev->auth_failed)
        return dev->username[0] ? "the device refused the credentials"
                                : "the device wants credentials (--user and --password, or "
                                  "ONVIF_USER and ONVIF_PASSWORD)";
    switch (dev->last_error) {
    case -1:
        return "no connection to " + host_text(dev);
    case -2:
        return "the request could not be sent to " + host_text(dev);
    case -4:
        return "no answer from " + host_text(dev) + " in time";
    case -6:
        return "the answer had no body";
    case -7:
        return "the answer is not a SOAP envelope";
    case -8:
        return "the answer lacks the expected response";
    case -9: {
        std::string r = "refused by the device";
        const std::string code = field(dev->fault.code), sub = field(dev->fault.subcode),
                          why = field(dev->fault.reason);
        if (!code.empty() || !sub.empty()) r += " (" + code + (sub.empty() ? "" : " " + sub) + ")";
        if (!why.empty()) r += ": " + why;
        return r;
    }
    default:
        return "failed";
    }
}

int call_failed(const ONVIF_DEVICE *dev, const std::string &what)
{
    return fail(exit_code_of(dev), host_text(dev) + ": " + what + ": " + reason_of(dev));
}

} // namespace cli
