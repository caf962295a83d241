/*
 * The events service: its operation entries (onvif_tev_<Op>, declared with
 * every other operation in onvif_ops.h). Subscriptions with renewal and the
 * notification listener are the event module (onvif_event.h).
 */
#ifndef ONVIF_ONVIF_TEV_H
#define ONVIF_ONVIF_TEV_H

#include "onvif/onvif_ops.h"

#endif
