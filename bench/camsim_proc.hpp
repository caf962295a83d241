// One camsim process for the benchmarks: a fleet of simulated cameras on
// loopback with ephemeral ports, learnt from its ready file. Stopped with
// SIGTERM (SIGKILL after 2 s) when the object goes.
#ifndef BENCH_CAMSIM_PROC_HPP
#define BENCH_CAMSIM_PROC_HPP

#include <sys/types.h>

#include <string>
#include <vector>

namespace bench
{

class CamsimProc
{
  public:
    // config_json: camsim's JSON configuration (its camera count is the fleet).
    CamsimProc(const std::string &camsim_path, const std::string &config_json, int count);
    ~CamsimProc();
    CamsimProc(const CamsimProc &) = delete;
    CamsimProc &operator=(const CamsimProc &) = delete;

    // True once every camera listens (waits at most 15 s in the constructor).
    bool ok() const { return ports_.size() == (size_t)count_ && count_ > 0; }
    const std::vector<int> &ports() const { return ports_; }
    const std::string &error() const { return error_; }

  private:
    pid_t pid_ = 0;
    int count_ = 0;
    std::string dir_;
    std::vector<int> ports_;
    std::string error_;
};

} // namespace bench

#endif
