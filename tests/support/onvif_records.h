// Test support: library records as their creators make them (zero-filled on
// the heap), a device record pointed at a service on a loopback port, and a
// request built from them as text.
#ifndef TESTS_SUPPORT_ONVIF_RECORDS_H
#define TESTS_SUPPORT_ONVIF_RECORDS_H

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "onvif/onvif_device.h"
#include "onvif/soap_build.h"

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

// A request built into a 10240-byte buffer (the builder's result in *ret);
// "" when the build fails or its length is not the text's.
inline std::string build(int type, ONVIF_DEVICE *dev, const void *req, int *ret = nullptr)
{
    std::vector<char> buf(10240, 'X');
    int n = onvif_build_request(buf.data(), (int)buf.size(), type, dev, req);
    if (ret) *ret = n;
    if (n < 0 || strlen(buf.data()) != (size_t)n) return "";
    return std::string(buf.data(), (size_t)n);
}

#endif
