#include "platform/onvif_api.h"

extern "C" const char *onvif_client_version(void)
{
    return ONVIF_CLIENT_VERSION_TEXT;
}
