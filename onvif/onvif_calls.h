/*
 * Device-level calls: thin wrappers over one or more operations that keep
 * what they read in the device record (clock, identity, capabilities, the
 * cached lists), and the transfers that go with some operations (firmware
 * and backup files). 1 on success, 0 on failure (the reason is in the device
 * record: last_error, auth_failed, fault).
 */
#ifndef ONVIF_ONVIF_CALLS_H
#define ONVIF_ONVIF_CALLS_H

#include <stdint.h>

#include "onvif/calls_media.h"
#include "onvif/calls_pacs.h"
#include "onvif/calls_ptz.h"
#include "onvif/onvif_device.h"
#include "onvif/calls_search.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* GetSystemDateAndTime: stores the device clock (time_type, device_time,
 * time_stamp). GetDeviceInformation: fills device_information.
 * GetCapabilities / GetServices: update capabilities (unchanged on failure).
 * SetSystemDateAndTime: sets the device clock to the local clock's UTC time. */
ONVIF_CLIENT_API int GetSystemDateAndTime(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetDeviceInformation(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetCapabilities(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int GetServices(ONVIF_DEVICE *p_dev);
ONVIF_CLIENT_API int SetSystemDateAndTime(ONVIF_DEVICE *p_dev);

/* Transfers through the device service, each with the device's credentials
 * and a 60 s limit:
 * FirmwareUpgrade: StartFirmwareUpgrade, waits the upload delay the device
 *   asks for (at most 60 s), then posts the file to the upload URI it gave.
 * SystemRestore: StartSystemRestore, then posts the file the same way.
 * SystemBackup: GetSystemUris; downloads the system backup URI and writes
 *   it to the file (created or truncated); 0 when the device has none. */
ONVIF_CLIENT_API int FirmwareUpgrade(ONVIF_DEVICE *p_dev, const char *filename);
ONVIF_CLIENT_API int SystemRestore(ONVIF_DEVICE *p_dev, const char *filename);
ONVIF_CLIENT_API int SystemBackup(ONVIF_DEVICE *p_dev, const char *filename);

/* The whole device record: ends an active event subscription first
 * (Unsubscribe, when subscribed is set), then frees every list it holds (the
 * media and media 2 lists, the PTZ lists, the kept notification messages)
 * with what their records own, and sets those heads to null; the record
 * itself stays with its owner. Null does nothing. */
ONVIF_CLIENT_API void onvif_free_device(ONVIF_DEVICE *p_dev);

/* A device record on the heap, zero-filled (null when out of memory), and its
 * end: onvif_free_device, then the record itself (null does nothing). For
 * callers that cannot embed the record, such as other languages' bindings. */
ONVIF_CLIENT_API ONVIF_DEVICE *onvif_new_device(void);
ONVIF_CLIENT_API void onvif_delete_device(ONVIF_DEVICE *p_dev);

/* Frees a buffer handed out by the library (null does nothing). */
ONVIF_CLIENT_API void FreeBuff(uint8_t *buf);

#ifdef __cplusplus
}
#endif

#endif
