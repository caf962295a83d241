/*
 * discover_info: finds the ONVIF devices on the local network (WS-Discovery,
 * 3 seconds by default) and prints each one's device information.
 *
 *   cc discover_info.c $(pkg-config --cflags --libs onvif-client) -o discover_info
 *   ./discover_info [SECONDS]
 *
 * Devices that want credentials get them from ONVIF_USER / ONVIF_PASSWORD.
 * One line per device:
 *   <host>:<port> <manufacturer> | <model> | firmware <version> | serial <number>
 */
#define _POSIX_C_SOURCE 200809L /* sleep and threads with -std=c99 */

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "discovery/probe.h"
#include "http/http_msg.h"
#include "onvif/onvif_calls.h"
#include "platform/onvif_api.h"
#include "platform/sys_buf.h"
#include "platform/sys_net.h"

#define MAX_DEVICES 256

static pthread_mutex_t found_lock = PTHREAD_MUTEX_INITIALIZER;
static DEVICE_BINFO found[MAX_DEVICES];
static int found_count = 0;

/* Called on the discovery thread for every ProbeMatch, Hello and Bye; the
 * record is only valid during the call, so it is copied. */
static void on_discovery(const DEVICE_BINFO *binfo, int kind, void *user_data)
{
    int i;
    (void)user_data;
    if (kind == PROBE_MSG_BYE) return;
    pthread_mutex_lock(&found_lock);
    for (i = 0; i < found_count; i++)
        if (strcmp(found[i].endpoint_address, binfo->endpoint_address) == 0) break;
    if (i == found_count && found_count < MAX_DEVICES) found[found_count++] = *binfo;
    pthread_mutex_unlock(&found_lock);
}

int main(int argc, char **argv)
{
    int seconds = argc > 1 ? atoi(argv[1]) : 3;
    const char *user = getenv("ONVIF_USER");
    const char *password = getenv("ONVIF_PASSWORD");
    int i;

    if (seconds < 1 || seconds > 3600) {
        fprintf(stderr, "usage: %s [SECONDS]\n", argv[0]);
        return 2;
    }
    printf("onvif-client %s: discovering for %d s\n", onvif_client_version(), seconds);

    /* The library's set-up: sockets, receive buffers, HTTP message records. */
    network_init();
    sys_buf_init(32);
    http_msg_buf_init(32);

    set_probe_cb(on_discovery, NULL);
    if (start_probe(NULL, 10) != 0) {
        fprintf(stderr, "discovery could not start\n");
        return 1;
    }
    sleep((unsigned)seconds);
    stop_probe();
    set_probe_cb(NULL, NULL);

    for (i = 0; i < found_count; i++) {
        ONVIF_DEVICE *dev = onvif_new_device();
        if (!dev) return 1;
        dev->binfo = found[i];
        if (user) onvif_SetAuthInfo(dev, user, password ? password : "");
        if (GetDeviceInformation(dev)) {
            const ONVIF_DEVICE_INFORMATION *info = &dev->device_information;
            printf("%s:%d %s | %s | firmware %s | serial %s\n", dev->binfo.xaddr.host,
                   (int)dev->binfo.xaddr.port, info->manufacturer, info->model,
                   info->firmware_version, info->serial_number);
        } else {
            printf("%s:%d no device information (error %d%s)\n", dev->binfo.xaddr.host,
                   (int)dev->binfo.xaddr.port, (int)dev->last_error,
                   dev->auth_failed ? ", credentials refused" : "");
        }
        onvif_delete_device(dev);
    }
    printf("%d device(s)\n", found_count);
    return 0;
}
