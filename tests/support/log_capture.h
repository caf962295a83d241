// Test support: opens the library's log on a temporary file at the lowest
// threshold for the lifetime of the object, so a test can check the exact
// lines that the code under test logs. The log flushes after every write,
// so text() can be read at any time.
#ifndef TESTS_SUPPORT_LOG_CAPTURE_H
#define TESTS_SUPPORT_LOG_CAPTURE_H

#include "platform/sys_log.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

class LogCapture
{
  public:
    LogCapture()
    {
        char tmpl[] = "/tmp/onvif_test_log_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        path_ = tmpl;
        old_level_ = log_get_level();
        open_ = log_init(path_.c_str()) == 0;
        log_set_level(LOG_TRACE);
    }
    ~LogCapture()
    {
        log_close();
        log_set_level(old_level_);
        unlink(path_.c_str());
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    bool is_open() const { return open_; }
    const std::string &path() const { return path_; }

    // Everything logged so far.
    std::string text() const
    {
        std::ifstream in(path_);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool contains(const std::string &needle) const
    {
        return text().find(needle) != std::string::npos;
    }

  private:
    std::string path_;
    int old_level_ = LOG_ERROR;
    bool open_ = false;
};

#endif
