// Test support: one camera simulator process and a device record that knows
// its services (discovery address on loopback, GetCapabilities done), for
// end-to-end tests of the public entry functions. The record's lists are
// released with onvif_free_device when the object goes.
#ifndef TESTS_SUPPORT_CAMSIM_DEVICE_H
#define TESTS_SUPPORT_CAMSIM_DEVICE_H

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "onvif/onvif_calls.h"
#include "tests/support/camsim_process.h"

class CamsimDevice
{
  public:
    CamsimDevice(const std::string &camsim_path, const std::string &config)
        : sim_(camsim_path, config, CamsimOptions()), dev_(new ONVIF_DEVICE)
    {
        memset(dev_.get(), 0, sizeof(ONVIF_DEVICE));
        ONVIF_XADDR &x = dev_->binfo.xaddr;
        snprintf(x.host, sizeof(x.host), "127.0.0.1");
        snprintf(x.path, sizeof(x.path), "/onvif/device_service");
        x.port = sim_.port();
        ready_ = sim_.ok() && GetCapabilities(dev_.get()) == 1;
    }
    ~CamsimDevice() { onvif_free_device(dev_.get()); }

    // The camera listens and answered GetCapabilities; else why not.
    bool ok() const { return ready_; }
    std::string error() const
    {
        return sim_.ok() ? "GetCapabilities: " + std::to_string(dev_->last_error) : sim_.error();
    }
    ONVIF_DEVICE *dev() { return dev_.get(); }

  private:
    CamsimProcess sim_;
    std::unique_ptr<ONVIF_DEVICE> dev_;
    bool ready_ = false;
};

#endif
