// Test support: a time zone set inside the process for the lifetime of the
// object (TZ and tzset), the previous one restored afterwards.
#ifndef TESTS_SUPPORT_SCOPED_TZ_H
#define TESTS_SUPPORT_SCOPED_TZ_H

#include <stdlib.h>
#include <time.h>

#include <string>

class ScopedTz
{
  public:
    explicit ScopedTz(const char *tz)
    {
        const char *old = getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTz(const ScopedTz &) = delete;
    ScopedTz &operator=(const ScopedTz &) = delete;

  private:
    bool had_ = false;
    std::string old_;
};

#endif
