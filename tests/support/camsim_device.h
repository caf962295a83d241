// Test support: a device record pointed at the first camera of a camsim
// process on loopback, with the camera's credentials and its service
// addresses read (GetCapabilities, then GetServices for the services only it
// lists, such as media 2). The record's lists are released at the end.
#ifndef TESTS_SUPPORT_CAMSIM_DEVICE_H
#define TESTS_SUPPORT_CAMSIM_DEVICE_H

#include <memory>
#include <string>

#include "onvif/onvif_calls.h"
#include "tests/support/camsim_process.h"
#include "tests/support/onvif_records.h"

class CamsimDevice
{
  public:
    CamsimDevice(const std::string &camsim_path, const std::string &config_json,
                 const char *user = "admin", const char *pass = "admin")
        : sim_(camsim_path, config_json, CamsimOptions{}), dev_(new_device())
    {
        point_at(dev_.get(), sim_.port());
        onvif_SetAuthInfo(dev_.get(), user, pass);
        ready_ = sim_.ok() && GetCapabilities(dev_.get()) && GetServices(dev_.get());
    }
    ~CamsimDevice() { onvif_free_device(dev_.get()); }
    CamsimDevice(const CamsimDevice &) = delete;
    CamsimDevice &operator=(const CamsimDevice &) = delete;

    // The camera listens and its services were read.
    bool ok() const { return ready_; }
    std::string error() const
    {
        return sim_.ok() ? "the service addresses were not read" : sim_.error();
    }
    ONVIF_DEVICE *dev() { return dev_.get(); }

  private:
    CamsimProcess sim_;
    std::unique_ptr<ONVIF_DEVICE> dev_;
    bool ready_ = false;
};

#endif
