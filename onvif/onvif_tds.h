/*
 * The device service: its operation entries (onvif_tds_<Op>, declared with
 * every other operation in onvif_ops.h) and the device-level calls that keep
 * their results in the device record (onvif_calls.h).
 */
#ifndef ONVIF_ONVIF_TDS_H
#define ONVIF_ONVIF_TDS_H

#include "onvif/onvif_calls.h"
#include "onvif/onvif_ops.h"

#endif
