// C++ scope helper over the OS layer (internal, not part of the C interface):
// SIGPIPE is blocked in the calling thread for the lifetime of the object.
#ifndef PLATFORM_SYS_OS_GUARD_HPP
#define PLATFORM_SYS_OS_GUARD_HPP

#include "platform/sys_os.h"

class SysSigpipeGuard
{
  public:
    SysSigpipeGuard() { sys_os_sigpipe_block(&st_); }
    ~SysSigpipeGuard() { sys_os_sigpipe_restore(&st_); }
    SysSigpipeGuard(const SysSigpipeGuard &) = delete;
    SysSigpipeGuard &operator=(const SysSigpipeGuard &) = delete;

  private:
    SYS_SIGPIPE_STATE st_{};
};

#endif
