/*
 * Access control, door control, credential, access rules and schedule:
 * whole lists out of the paged Get...List / Get...InfoList operations.
 *
 * A physical access controller hands out its access points, doors,
 * credentials, profiles and schedules a page at a time: the request carries
 * Limit and StartReference, the reply the page and, while more follow,
 * NextStartReference. The calls below walk those references from the start
 * to the end and leave every item, in the device's order, in the
 * operation's ordinary result record (NextStartReference empty), which the
 * caller releases with onvif_free_result(type, p_res) like any other.
 *
 * limit: items asked for per page; 0 (or anything above what one reply may
 * carry) asks for ONVIF_PAGE_LIMIT_MAX. The device may send fewer.
 *
 * 1 when the last page was read. 0 otherwise, with nothing left in the
 * result record (what earlier pages brought is released) and the reason in
 * the device record: the engine's last_error of the page that failed; -8
 * when the device breaks the paging rules (more items on a page than asked
 * for, the same reference twice in a row, a reference too long to send back,
 * more than ONVIF_PAGES_MAX pages); -2 when memory runs out or the list
 * grows past ONVIF_PAGED_ITEMS_MAX items. A caller that wants a list beyond
 * those bounds pages with the operation itself.
 */
#ifndef ONVIF_CALLS_PACS_H
#define ONVIF_CALLS_PACS_H

#include "onvif/gen/onvif_types.h"
#include "onvif/onvif_device.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_PAGES_MAX 1000
#define ONVIF_PAGE_LIMIT_MAX 999
#define ONVIF_PAGED_ITEMS_MAX 15000

/* Any paged operation of these services by its type (ACT_tac_GetAreaList
 * ...); p_res is that operation's result record. 0 without sending anything
 * when type is not a paged list operation or an argument is null. */
ONVIF_CLIENT_API int onvif_get_all_pages(ONVIF_DEVICE *p_dev, int type, int limit, void *p_res);

#ifdef __cplusplus
}
#endif

#endif
