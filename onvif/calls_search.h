/*
 * Device-level calls of the search service: whole searches. Each runs the
 * Find operation with the caller's request and then collects the results in
 * pages, so that a search over thousands of events arrives complete and in
 * the device's order without any one reply growing past the list cap (a
 * GetEventSearchResults without MaxResults may answer every result at once,
 * and a list read from one reply keeps at most SOAP_LIST_MAX entries).
 *
 * Paging: every page asks for at most SOAP_LIST_MAX results (fewer when
 * max_results is nearer) with a WaitTime of 1 s; the results are appended to
 * *p_results (which may already hold nodes). The search ends when the device
 * reports it Completed. It is ended early with EndSearch when max_results
 * results were read (max_results <= 0: ONVIF_SEARCH_MAX_RESULTS), when 60
 * pages in a row brought nothing while the device was still searching, or
 * when a page failed. A KeepAliveTime below 10 s is sent as 10 s; a FindEvents
 * request without a SearchFilter is sent with an empty one (every event).
 *
 * Result: 1 when the search completed or max_results results were read; 0
 * when an operation failed (the reason stays in the device record: last_error,
 * auth_failed, fault) or the device kept searching without results. The
 * results read before a failure stay in *p_results; the caller frees them
 * with the list's free function (onvif_free_FindEventResults ...).
 */
#ifndef ONVIF_CALLS_SEARCH_H
#define ONVIF_CALLS_SEARCH_H

#include "onvif/onvif_device.h"
#include "onvif/gen/onvif_types.h"
#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Results one whole search keeps when the caller sets no limit. */
#define ONVIF_SEARCH_MAX_RESULTS 10000

ONVIF_CLIENT_API int SearchRecordings(ONVIF_DEVICE *p_dev, const tse_FindRecordings_REQ *p_req,
                                      int max_results, RecordingInformationList **p_results);
ONVIF_CLIENT_API int SearchEvents(ONVIF_DEVICE *p_dev, const tse_FindEvents_REQ *p_req,
                                  int max_results, FindEventResultList **p_results);
ONVIF_CLIENT_API int SearchMetadata(ONVIF_DEVICE *p_dev, const tse_FindMetadata_REQ *p_req,
                                    int max_results, FindMetadataResultList **p_results);
ONVIF_CLIENT_API int SearchPTZPositions(ONVIF_DEVICE *p_dev, const tse_FindPTZPosition_REQ *p_req,
                                        int max_results, FindPTZPositionResultList **p_results);

#ifdef __cplusplus
}
#endif

#endif
