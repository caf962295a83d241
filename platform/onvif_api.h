/*
 * The library's interface mark and version.
 *
 * The library is built with every symbol hidden; ONVIF_CLIENT_API on a
 * declaration in a public header makes it part of the shared library's
 * interface (libonvif-client.so). Every public function and variable
 * carries it, nothing else does.
 */
#ifndef PLATFORM_ONVIF_API_H
#define PLATFORM_ONVIF_API_H

#if defined(__GNUC__)
#define ONVIF_CLIENT_API __attribute__((visibility("default")))
#else
#define ONVIF_CLIENT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, "major.minor.patch". The shared library's file
 * name carries it; its SONAME changes with the major number (0 while the
 * interface still moves between minor versions). */
ONVIF_CLIENT_API const char *onvif_client_version(void);

#ifdef __cplusplus
}
#endif

#endif
