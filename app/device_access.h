// Device records for the tool's own calls: fresh records, working copies of
// published ones, and the credentials they carry.
//
// Authentication: a record with credentials sends the WS-Security header
// from its first request on (after the clock was read) and is refused at
// most once per call: the request engine's own retries with the same
// credentials would only collect more refusals, and repeated refusals lock
// accounts on many cameras.
#ifndef APP_DEVICE_ACCESS_H
#define APP_DEVICE_ACCESS_H

#include <QByteArray>
#include <QString>

#include <memory>

#include "app/device_registry.h"
#include "onvif/onvif_device.h"

using DevicePtr = std::shared_ptr<ONVIF_DEVICE>;

// A zero-filled record whose result lists are freed with it.
DevicePtr newDeviceRecord();

// A record of its own for calls on a published device: discovery record,
// clock, device information and capabilities copied; no result lists.
DevicePtr workingCopy(const ONVIF_DEVICE &device);

// Sets (or clears) the credentials of a record.
void setCredential(ONVIF_DEVICE *device, const Credential &credential);

// Before each call: WS-Security on when the record has credentials and
// withSecurity is true; at most one refusal for this call.
void prepareCall(ONVIF_DEVICE *device, bool withSecurity = true);

// The device-service host and the serial number of a record.
QByteArray deviceHost(const ONVIF_DEVICE &device);
QString deviceSerial(const ONVIF_DEVICE &device);
QString deviceFirmware(const ONVIF_DEVICE &device);

#endif
