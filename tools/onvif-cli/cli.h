// onvif-cli: what the commands share. The program is a client of the
// library's C interface only (it links the shared library).
#ifndef TOOLS_ONVIF_CLI_CLI_H
#define TOOLS_ONVIF_CLI_CLI_H

#include <memory>
#include <string>
#include <vector>

#include "onvif/onvif_device.h"
#include "tools/onvif-cli/out.h"

namespace cli
{

// Exit codes: each says what failed, so that a script can react.
enum Exit {
    kOk = 0,
    kRefused = 1,      // the device refused or failed the request (SOAP fault, HTTP error)
    kUsage = 2,        // bad command line
    kUnreachable = 3,  // no connection, or no answer in time
    kAuth = 4,         // credentials refused, or needed and not given
    kBadAnswer = 5,    // the answer could not be read
    kLocal = 6,        // a local problem: a file, memory, an interface
    kNotConfirmed = 7, // the device accepted a change that did not show afterwards
};

// The command line of one command, parsed.
struct Args {
    std::string command;
    std::vector<std::string> positional;
    std::string user;
    std::string password;
    bool have_password = false;
    Format format = Format::Text;
    int seconds = -1; // --seconds, -1 when not given
    int wait = -1;    // --wait, -1 when not given
    int count = 0;    // --count, 0 when not given
    std::vector<std::string> interfaces;
    std::string set_ip; // A/P
    std::string gateway;
    std::string dns;
    bool dhcp = false;
    bool sync = false;
    std::string token;   // --token (network interface) / --profile (media profile)
    std::string outfile; // -o
};

// A usage problem: the message goes to standard error with a pointer to the
// command's help, and the exit code is kUsage.
int usage_error(const std::string &command, const std::string &message);

// A failure that is not about the command line: "onvif-cli: <message>".
int fail(int code, const std::string &message);

// ---- devices ---------------------------------------------------------------

struct DeviceDeleter {
    void operator()(ONVIF_DEVICE *p) const;
};
using Device = std::unique_ptr<ONVIF_DEVICE, DeviceDeleter>;

// A device record for HOST: "host", "host:port" or a device-service URL.
// Null (with the message in *error) when HOST cannot be used.
Device open_device(const std::string &host, const Args &args, std::string *error);

// The device record of a command that takes exactly one HOST: kOk, or the
// usage error's exit code.
int open_host(const Args &args, Device *dev, size_t extra_arguments = 0);

// Reads the clock before a command's own calls: kOk, or the exit code when
// the device cannot be reached at all (a device that only refuses the clock
// may still answer the command).
int begin(ONVIF_DEVICE *dev);

// The same camera at another IPv4 address (same port, path, scheme and
// credentials), for reading it back after it moved.
Device device_at(const ONVIF_DEVICE &dev, const std::string &address);

// Before each call: WS-Security when the record has credentials, and one
// refusal at most (repeated refusals lock accounts on many cameras).
void prepare(ONVIF_DEVICE *dev);

// Reads the device clock without credentials first (most cameras answer it
// to anyone, and WS-Security needs it), then with them. 1 or 0.
int read_clock(ONVIF_DEVICE *dev);

// The exit code for the device's last failed call, and a message naming
// what was asked ("reading the network interfaces") and why it failed.
int call_failed(const ONVIF_DEVICE *dev, const std::string &what);
int exit_code_of(const ONVIF_DEVICE *dev);
std::string reason_of(const ONVIF_DEVICE *dev);

// True when the last failure was the device refusing the request (a fault),
// not the connection, the credentials or the answer's form.
bool refused_only(const ONVIF_DEVICE *dev);

// "host:port" of the device service; a service address as a URL ("" when
// it is unknown).
std::string host_text(const ONVIF_DEVICE *dev);
std::string url_of(const ONVIF_XADDR &x);

// A fixed-size text field as a string (stops at the terminator or the end).
template <size_t N> std::string field(const char (&text)[N])
{
    size_t n = 0;
    while (n < N && text[n])
        n++;
    return std::string(text, n);
}

// Copies text into a fixed field, cut to size - 1 bytes, terminated.
void set_field(char *dst, size_t size, const std::string &text);

// ---- commands ----------------------------------------------------------------

int cmd_discover(const Args &args);
int cmd_info(const Args &args);
int cmd_time(const Args &args);
int cmd_network(const Args &args);
int cmd_profiles(const Args &args);
int cmd_snapshot(const Args &args);
int cmd_events(const Args &args);
int cmd_upgrade(const Args &args);

} // namespace cli

#endif
