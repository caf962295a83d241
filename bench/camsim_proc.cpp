#include "bench/camsim_proc.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

extern char **environ;

namespace bench
{
namespace
{

// Ports of a complete ready file ("<serial> <address> <port>" per camera).
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

CamsimProc::CamsimProc(const std::string &camsim_path, const std::string &config_json, int count)
    : count_(count)
{
    char tmpl[] = "/tmp/camsim_bench_XXXXXX";
    if (!mkdtemp(tmpl)) {
        error_ = "no temporary folder";
        return;
    }
    dir_ = tmpl;
    std::ofstream(dir_ + "/cfg.json") << config_json;
    std::string ready = dir_ + "/ready";
    std::string count_text = std::to_string(count);
    std::vector<std::string> args = {
        camsim_path,    "--config", dir_ + "/cfg.json", "--count",   count_text,
        "--http-port",  "0",        "--address",        "127.0.0.1", "--no-discovery",
        "--ready-file", ready,      "--upload-dir",     dir_,        "--quiet"};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, camsim_path.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = 0;
        error_ = "camsim could not be started";
        return;
    }
    for (int i = 0; i < 300 && !ok(); i++) { // at most 15 s
        ports_ = read_ports(ready, count);
        if (ok()) break;
        int st;
        if (waitpid(pid_, &st, WNOHANG) == pid_) {
            pid_ = 0;
            error_ = "camsim ended before it was ready";
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ok()) error_ = "camsim wrote no complete ready file within 15 s";
}

CamsimProc::~CamsimProc()
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

} // namespace bench
