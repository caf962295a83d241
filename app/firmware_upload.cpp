// Placeholder: the firmware upload is being written.
#include "app/firmware_upload.h"
