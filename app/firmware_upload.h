/*
 * Firmware upload through the camera's own web interface (not ONVIF).
 *
 * tiv_ipc_do_update logs in to "http://<host>/account/login" with an empty
 * user name and password, keeps the first cookie the camera sets, and posts
 * the firmware file as the multipart part "file" to
 * "http://<host>/api/sysConfig/uploadSystem" with that cookie. A failed login
 * does not stop the upload. Progress lines go to the standard output.
 *
 * firmware_upload_global_init must have run before the first upload
 * (curl_global_init is not safe to run on several threads at once).
 */
#ifndef APP_FIRMWARE_UPLOAD_H
#define APP_FIRMWARE_UPLOAD_H

#ifdef __cplusplus
extern "C" {
#endif

/* Time-outs of the two requests, in seconds. */
#define FIRMWARE_CONNECT_TIMEOUT_S 5
#define FIRMWARE_LOGIN_TIMEOUT_S 30
#define FIRMWARE_UPLOAD_TIMEOUT_S 600

/* libcurl's global initialisation, run once per process whoever calls first
 * (later calls wait for it and return its outcome): 0, or -1 on failure. */
int firmware_upload_global_init(void);

/* Login and upload: host is the camera's host ("10.0.0.5", or "host:port"),
 * file the firmware path in the platform's file-name encoding. 0 when the
 * camera accepted the upload (HTTP 2xx, or a redirect to a page on the same
 * host), -1 otherwise (null argument, no libcurl handle, unreadable file,
 * transfer error, time-out, or any other status, which the standard output
 * shows as "curl_http_upload status : <code>"). The login cookie line is
 * handed on whole, whatever its length. */
int tiv_ipc_do_update(const char *host, const char *file);

/* The same with a login user name and password (sent URL-encoded as uname2
 * and passwd2; the password never appears on the standard output) and a way
 * to stop: cancelled(ctx) is asked at least about once a second while a
 * request runs, and a non-zero answer ends it (and skips the upload).
 * Null user/password are empty; a null cancelled never stops. */
typedef struct {
    const char *host;
    const char *file;
    const char *user;
    const char *password;
    int (*cancelled)(void *ctx);
    void *ctx;
    /* Non-zero: a login answered with HTTP 404 (a camera without the web
     * upgrade interface) ends the call with FIRMWARE_NO_WEB_UI, nothing
     * uploaded. Zero: the upload is tried whatever the login answered. */
    int stop_without_web_ui;
    /* When not null: receives the upload's HTTP status (0 when none came). */
    long *http_status;
} FIRMWARE_UPLOAD;

#define FIRMWARE_NO_WEB_UI (-2)

int firmware_upload_run(const FIRMWARE_UPLOAD *upload);

/* The standard ONVIF firmware upload: the file posted whole as
 * application/octet-stream to upload_uri (the URI that StartFirmwareUpgrade
 * returned), with HTTP Digest or Basic authentication when a user is given.
 * 0 when the device answered with a 2xx status, -1 otherwise (unreadable
 * file, transfer error, time-out, other status, cancel). */
int firmware_upload_post(const char *upload_uri, const char *file, const char *user,
                         const char *password, int (*cancelled)(void *ctx), void *ctx);

#ifdef __cplusplus
}
#endif

#endif
