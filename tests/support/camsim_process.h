// Test support: one camera simulator (camsim) process on loopback with
// ephemeral ports and discovery off, its configuration, ready file and other
// files in a temporary folder. The constructor waits (at most 15 s) until the
// ready file lists every camera; the destructor stops the process (SIGTERM,
// SIGKILL after 2 s), reaps it and removes the folder.
#ifndef TESTS_SUPPORT_CAMSIM_PROCESS_H
#define TESTS_SUPPORT_CAMSIM_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

struct CamsimOptions {
    std::string dir_template = "/tmp/camsim_test_XXXXXX"; // mkdtemp template
    int count = 0; // --count; 0: as the configuration says, the first camera is waited for
    bool request_log = false; // --request-log into dir()/log
};

class CamsimProcess
{
  public:
    CamsimProcess(const std::string &camsim_path, const std::string &config_json,
                  const CamsimOptions &opt);
    ~CamsimProcess();
    CamsimProcess(const CamsimProcess &) = delete;
    CamsimProcess &operator=(const CamsimProcess &) = delete;

    // True once every camera waited for listens.
    bool ok() const { return !ports_.empty() && ports_.size() == (size_t)wanted_; }
    // The first camera's port, 0 when it is not ready.
    int port() const { return ok() ? ports_[0] : 0; }
    const std::vector<int> &ports() const { return ports_; }
    // The temporary folder (request log at dir() + "/log").
    const std::string &dir() const { return dir_; }
    // Why ok() is false.
    const std::string &error() const { return error_; }
    // The lines of the request log (with request_log set), in order; only
    // those that contain part when it is given.
    std::vector<std::string> log_lines(const std::string &part = std::string()) const;

  private:
    pid_t pid_ = 0;
    int wanted_ = 1;
    std::string dir_;
    std::vector<int> ports_;
    std::string error_;
};

// A member of a request-log line (one JSON object per line): a string's
// content or a bare value as written; "" when the line has no such member.
std::string json_field(const std::string &line, const std::string &key);

#endif
