// onvif-cli: a command-line ONVIF client over the library, for scripted
// site work. One command per run; results on standard output (text, JSON or
// CSV), problems on standard error, and an exit code that says what failed.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "http/http_msg.h"
#include "platform/onvif_api.h"
#include "platform/sys_buf.h"
#include "platform/sys_net.h"
#include "tools/onvif-cli/cli.h"

namespace
{

using namespace cli;

struct Command {
    const char *name;
    int (*run)(const Args &);
    const char *synopsis;
    const char *help;
    const char *options; // the options it takes, blank-separated
};

const char kCommonHelp[] = "Credentials (for every command that talks to a device):\n"
                           "  --user U            user name (default: $ONVIF_USER)\n"
                           "  --password P        password (default: $ONVIF_PASSWORD; prefer the\n"
                           "                      variable: a command line is visible to others).\n"
                           "                      With a user and no password, onvif-cli asks for\n"
                           "                      it on the terminal (not echoed).\n"
                           "HOST is an address or name, with :PORT when not 80, or the device\n"
                           "service URL (http://10.0.0.5:8080/onvif/device_service).\n";

const Command kCommands[] = {
    {"discover", cmd_discover, "discover [--seconds N] [--interface IF]... [--json|--csv]",
     "Sends WS-Discovery probes and lists every device that answers within N seconds\n"
     "(default 3): its endpoint, device-service address, types and scopes.\n"
     "  --seconds N         how long to listen (1..3600)\n"
     "  --interface IF      probe only on this interface (name such as eth0, or one\n"
     "                      of its IPv4 addresses); repeatable. Default: every\n"
     "                      interface with an IPv4 address but loopback.\n",
     "--seconds --interface --json --csv"},
    {"info", cmd_info, "info HOST [--json]",
     "Reads the device information (manufacturer, model, firmware, serial number,\n"
     "hardware id), the device clock and the addresses of the services it offers.\n",
     "--user --password --json"},
    {"network", cmd_network,
     "network HOST [--set-ip A/P [--gateway G] [--dns D[,D2]] | --dhcp] [--token T] "
     "[--wait S] [--json]",
     "Shows the network interfaces, default gateway, DNS servers and host name.\n"
     "With --set-ip or --dhcp it changes the IPv4 settings of the first interface\n"
     "(or of --token T) and then reads them back (at the new address) for up to S\n"
     "seconds (default 30): the change counts only once the device shows it.\n"
     "  --set-ip A/P        fixed address A with prefix length P (10.0.0.20/24)\n"
     "  --gateway G         default gateway (set before the address)\n"
     "  --dns D[,D2]        one or two DNS servers (set before the address)\n"
     "  --dhcp              address from DHCP\n"
     "  --token T           the interface to change (default: the first listed)\n"
     "  --wait S            how long to read the change back (0..3600 s)\n",
     "--user --password --json --set-ip --gateway --dns --dhcp --token --wait"},
    {"time", cmd_time, "time HOST [--sync] [--json]",
     "Shows the device clock (UTC and local), its time zone and how far it is from\n"
     "this computer's clock. --sync sets it to this computer's UTC time (manual\n"
     "time) and reads it back.\n",
     "--user --password --json --sync"},
    {"profiles", cmd_profiles, "profiles HOST [--json|--csv]",
     "Lists the media profiles with their video encoding, resolution, stream URI\n"
     "(RTSP over RTP unicast) and snapshot URI.\n",
     "--user --password --json --csv"},
    {"snapshot", cmd_snapshot, "snapshot HOST -o FILE [--profile TOKEN] [--json]",
     "Saves a snapshot (JPEG) of the first media profile, or of --profile TOKEN,\n"
     "to FILE. FILE is replaced only once the whole picture was received.\n",
     "--user --password --json -o --profile"},
    {"events", cmd_events, "events HOST [--seconds N] [--count N] [--json|--csv]",
     "Subscribes to the device's events through a pull point and prints them as\n"
     "they come, for N seconds (default 10) or until N events (--count) arrived;\n"
     "with --json one JSON record per line. The subscription is ended at the end.\n",
     "--user --password --json --csv --seconds --count"},
    {"upgrade", cmd_upgrade, "upgrade HOST FILE [--wait S] [--json]",
     "Uploads the firmware image FILE through the device service (StartFirmware-\n"
     "Upgrade) and then asks the device for its firmware version for up to S\n"
     "seconds (default 180) until it reports a new one.\n"
     "  --wait S            how long to wait for the new version (0..3600 s)\n",
     "--user --password --json --wait"},
};

const char kExitHelp[] = "Exit codes:\n"
                         "  0  success\n"
                         "  1  the device refused or failed the request\n"
                         "  2  bad command line\n"
                         "  3  no connection to the device, or no answer in time\n"
                         "  4  credentials refused, or needed and not given\n"
                         "  5  the device's answer could not be read\n"
                         "  6  a local problem (a file, an interface, memory)\n"
                         "  7  the device accepted a change that did not show afterwards\n";

const Command *find_command(const std::string &name)
{
    for (const Command &c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

void print_main_help()
{
    printf("Usage: onvif-cli COMMAND [options]\n"
           "A command-line ONVIF client (library %s).\n\nCommands:\n",
           onvif_client_version());
    for (const Command &c : kCommands)
        printf("  %s\n", c.synopsis);
    printf("\n%s\n%s\nHelp on one command: onvif-cli COMMAND --help\n", kCommonHelp, kExitHelp);
}

void print_command_help(const Command &c)
{
    printf("Usage: onvif-cli %s\n\n%s", c.synopsis, c.help);
    if (strstr(c.options, "--json")) {
        printf("  --json              output as JSON%s\n",
               strstr(c.options, "--csv") ? "; --csv: as CSV" : "");
    }
    if (strstr(c.options, "--user")) printf("\n%s", kCommonHelp);
    printf("\n%s", kExitHelp);
}

bool takes(const Command &c, const char *option)
{
    const std::string opts = std::string(" ") + c.options + " ";
    return opts.find(std::string(" ") + option + " ") != std::string::npos;
}

bool parse_int(const std::string &text, int lo, int hi, int *out)
{
    if (text.empty() || text.size() > 9) return false;
    for (char ch : text)
        if (ch < '0' || ch > '9') return false;
    int v = atoi(text.c_str());
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

// Reads a password from the terminal without echo; false without a terminal.
bool ask_password(std::string *out)
{
    if (!isatty(STDIN_FILENO)) return false;
    fprintf(stderr, "Password: ");
    fflush(stderr);
    struct termios old_mode;
    const bool have_mode = tcgetattr(STDIN_FILENO, &old_mode) == 0;
    if (have_mode) {
        struct termios quiet = old_mode;
        quiet.c_lflag &= ~(tcflag_t)ECHO;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    char buf[256];
    const bool got = fgets(buf, sizeof(buf), stdin) != nullptr;
    if (have_mode) tcsetattr(STDIN_FILENO, TCSAFLUSH, &old_mode);
    fprintf(stderr, "\n");
    if (!got) return false;
    buf[strcspn(buf, "\r\n")] = '\0';
    *out = buf;
    memset(buf, 0, sizeof(buf));
    return true;
}

// Parses argv into args; kOk, kUsage (message printed), or -1 when help was
// printed.
int parse(int argc, char **argv, Args *args)
{
    const Command *cmd = nullptr;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const std::string where = cmd ? cmd->name : "";
        if (a == "-h" || a == "--help") {
            if (cmd)
                print_command_help(*cmd);
            else
                print_main_help();
            return -1;
        }
        if (a == "--version") {
            printf("onvif-cli (library %s)\n", onvif_client_version());
            return -1;
        }
        if (a.size() > 1 && a[0] == '-') {
            std::string value;
            const size_t eq = a.find('=');
            bool inline_value = false;
            if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
                value = a.substr(eq + 1);
                a = a.substr(0, eq);
                inline_value = true;
            }
            const bool global = a == "--user" || a == "--password";
            if (!global && (!cmd || !takes(*cmd, a.c_str())))
                return usage_error(where, cmd ? "'" + a + "' is not an option of " + cmd->name
                                              : "unknown option '" + a + "'");
            const bool flag = a == "--json" || a == "--csv" || a == "--dhcp" || a == "--sync";
            if (flag) {
                if (inline_value) return usage_error(where, a + " takes no value");
                if (a == "--json") args->format = Format::Json;
                if (a == "--csv") args->format = Format::Csv;
                if (a == "--dhcp") args->dhcp = true;
                if (a == "--sync") args->sync = true;
                continue;
            }
            if (!inline_value) {
                if (i + 1 >= argc) return usage_error(where, a + " needs a value");
                value = argv[++i];
            }
            if (a == "--user") {
                args->user = value;
            } else if (a == "--password") {
                args->password = value;
                args->have_password = true;
                // Off the process's command line (ps, /proc/<pid>/cmdline).
                char *text = inline_value ? strchr(argv[i], '=') + 1 : argv[i];
                memset(text, 0, strlen(text));
            } else if (a == "--seconds") {
                if (!parse_int(value, 1, 3600, &args->seconds))
                    return usage_error(where, "--seconds takes 1..3600");
            } else if (a == "--wait") {
                if (!parse_int(value, 0, 3600, &args->wait))
                    return usage_error(where, "--wait takes 0..3600");
            } else if (a == "--count") {
                if (!parse_int(value, 1, 1000000, &args->count))
                    return usage_error(where, "--count takes 1..1000000");
            } else if (a == "--interface") {
                args->interfaces.push_back(value);
            } else if (a == "--set-ip") {
                args->set_ip = value;
            } else if (a == "--gateway") {
                args->gateway = value;
            } else if (a == "--dns") {
                args->dns = value;
            } else if (a == "--token" || a == "--profile") {
                args->token = value;
            } else if (a == "-o") {
                args->outfile = value;
            }
            continue;
        }
        if (!cmd) {
            cmd = find_command(a);
            if (!cmd && a == "help") {
                const Command *about = i + 1 < argc ? find_command(argv[i + 1]) : nullptr;
                if (about)
                    print_command_help(*about);
                else
                    print_main_help();
                return -1;
            }
            if (!cmd) return usage_error("", "unknown command '" + a + "'");
            args->command = a;
            continue;
        }
        args->positional.push_back(a);
    }
    if (!cmd) return usage_error("", "no command given");
    return kOk;
}

} // namespace

int main(int argc, char **argv)
{
    Args args;
    const int parsed = parse(argc, argv, &args);
    if (parsed == -1) return kOk;
    if (parsed != kOk) return parsed;

    if (args.user.empty()) {
        const char *env = getenv("ONVIF_USER");
        if (env) args.user = env;
    }
    if (!args.have_password) {
        const char *env = getenv("ONVIF_PASSWORD");
        if (env) {
            args.password = env;
            args.have_password = true;
        }
    }
    if (!args.user.empty() && !args.have_password && args.command != "discover" &&
        !ask_password(&args.password))
        return usage_error(args.command, "a password is needed for user '" + args.user +
                                             "' (--password or ONVIF_PASSWORD)");

    // The library's buffers: a few HTTP exchanges at a time.
    network_init();
    sys_buf_init(32);
    http_msg_buf_init(32);

    const Command *cmd = find_command(args.command);
    const int code = cmd->run(args);
    std::fill(args.password.begin(), args.password.end(), '\0');
    return code;
}
