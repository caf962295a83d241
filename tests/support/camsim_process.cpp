#include "tests/support/camsim_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

extern char **environ;

namespace
{

// Ports of a complete ready file ("<serial> <address> <port>" per camera);
// empty while fewer than count cameras are listed.
std::vector<int> read_ports(const std::string &path, int count)
{
    std::vector<int> ports;
    std::ifstream in(path);
    std::string serial, addr;
    int port = 0;
    while ((int)ports.size() < count && in >> serial >> addr >> port && port > 0)
        ports.push_back(port);
    if ((int)ports.size() != count) ports.clear();
    return ports;
}

} // namespace

CamsimProcess::CamsimProcess(const std::string &camsim_path, const std::string &config_json,
                             const CamsimOptions &opt)
    : wanted_(opt.count > 0 ? opt.count : 1)
{
    std::vector<char> tmpl(opt.dir_template.begin(), opt.dir_template.end());
    tmpl.push_back('\0');
    if (!mkdtemp(tmpl.data())) {
        error_ = "no temporary folder";
        return;
    }
    dir_ = tmpl.data();
    std::ofstream(dir_ + "/cfg.json") << config_json;
    std::string ready = dir_ + "/ready";
    std::vector<std::string> args = {camsim_path, "--config", dir_ + "/cfg.json"};
    if (opt.count > 0) {
        args.push_back("--count");
        args.push_back(std::to_string(opt.count));
    }
    for (const char *a : {"--http-port", "0", "--address", "127.0.0.1", "--no-discovery"})
        args.push_back(a);
    args.push_back("--ready-file");
    args.push_back(ready);
    if (opt.request_log) {
        args.push_back("--request-log");
        args.push_back(dir_ + "/log");
    }
    args.push_back("--upload-dir");
    args.push_back(dir_);
    args.push_back("--quiet");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, camsim_path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = 0;
        error_ = "camsim could not be started";
        return;
    }
    for (int i = 0; i < 300; i++) { // at most 15 s
        ports_ = read_ports(ready, wanted_);
        if (ok()) return;
        int st;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = 0;
            error_ = "camsim ended before it was ready";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error_ = "camsim wrote no complete ready file within 15 s";
}

CamsimProcess::~CamsimProcess()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int st;
        bool done = false;
        for (int i = 0; i < 100 && !done; i++) {
            done = waitpid(pid_, &st, WNOHANG) == pid_;
            if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!done) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &st, 0);
        }
    }
    if (!dir_.empty()) {
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", dir_.c_str());
    }
}

std::vector<std::string> CamsimProcess::log_lines(const std::string &part) const
{
    std::vector<std::string> v;
    std::ifstream in(dir_ + "/log");
    std::string line;
    for (int i = 0; i < 100000 && std::getline(in, line); i++)
        if (part.empty() || line.find(part) != std::string::npos) v.push_back(line);
    return v;
}

std::string json_field(const std::string &line, const std::string &key)
{
    std::smatch m;
    if (std::regex_search(line, m, std::regex("\"" + key + "\":(\"([^\"]*)\"|[^,}]*)")))
        return m[2].matched ? std::string(m[2]) : std::string(m[1]);
    return "";
}
