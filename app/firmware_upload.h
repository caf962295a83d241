// Placeholder: the firmware upload is being written.
#ifndef APP_FIRMWARE_UPLOAD_H
#define APP_FIRMWARE_UPLOAD_H
#endif
