#include "app/device_access.h"

#include <cstring>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"

namespace
{

// The request engine stops retrying with WS-Security once its refusal count
// (auth_retry) has reached four; starting a call there leaves one attempt.
const int32_t kRefusalsCounted = 4;

} // namespace

DevicePtr newDeviceRecord()
{
    auto *raw = new ONVIF_DEVICE;
    memset(raw, 0, sizeof(*raw));
    return DevicePtr(raw, [](ONVIF_DEVICE *p) {
        onvif_free_device(p);
        delete p;
    });
}

DevicePtr workingCopy(const ONVIF_DEVICE &device)
{
    DevicePtr copy = newDeviceRecord();
    copy->binfo = device.binfo;
    copy->time_type = device.time_type;
    copy->device_time = device.device_time;
    copy->time_stamp = device.time_stamp;
    copy->device_information = device.device_information;
    copy->capabilities = device.capabilities;
    return copy;
}

void setCredential(ONVIF_DEVICE *device, const Credential &credential)
{
    if (!device) return;
    onvif_SetAuthInfo(device, credential.user.c_str(), credential.password.c_str());
}

void prepareCall(ONVIF_DEVICE *device, bool withSecurity)
{
    if (!device) return;
    device->need_auth = (withSecurity && device->username[0] != '\0') ? 1 : 0;
    device->auth_retry = kRefusalsCounted;
}

QByteArray deviceHost(const ONVIF_DEVICE &device)
{
    const char *host = device.binfo.xaddr.host;
    return QByteArray(host, (int)strnlen(host, sizeof(device.binfo.xaddr.host)));
}

QString deviceSerial(const ONVIF_DEVICE &device)
{
    const char *serial = device.device_information.serial_number;
    return QString::fromUtf8(serial,
                             (int)strnlen(serial, sizeof(device.device_information.serial_number)));
}

QString deviceFirmware(const ONVIF_DEVICE &device)
{
    const char *fw = device.device_information.firmware_version;
    return QString::fromUtf8(fw,
                             (int)strnlen(fw, sizeof(device.device_information.firmware_version)));
}
