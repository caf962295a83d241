// Test support: library records as their creators make them (zero-filled on
// the heap), and a device record pointed at a service on a loopback port.
#ifndef TESTS_SUPPORT_ONVIF_RECORDS_H
#define TESTS_SUPPORT_ONVIF_RECORDS_H

#include <cstdio>
#include <cstring>
#include <memory>

#include "onvif/onvif_device.h"

template <class T> std::unique_ptr<T> zeroed()
{
    auto p = std::make_unique<T>();
    memset(static_cast<void *>(p.get()), 0, sizeof(T));
    return p;
}

inline std::unique_ptr<ONVIF_DEVICE> new_device()
{
    return zeroed<ONVIF_DEVICE>();
}

// Points the record's device-service address at host:port.
inline void point_at(ONVIF_DEVICE *dev, int port, const char *host = "127.0.0.1", int https = 0)
{
    ONVIF_XADDR &x = dev->binfo.xaddr;
    snprintf(x.host, sizeof(x.host), "%s", host);
    snprintf(x.path, sizeof(x.path), "/onvif/device_service");
    x.port = port;
    x.https = https;
}

#endif
