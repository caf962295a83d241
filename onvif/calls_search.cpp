// Whole searches over the search service's paging operations.

#include "onvif/calls_search.h"

#include <cstring>

#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"

namespace
{

const int kMinKeepAlive = 10;  // seconds
const int kPageWait = 1;       // seconds a page may wait for results
const int kMaxEmptyPages = 60; // pages in a row without results while searching
const int kCompleted = 2;      // SearchState Completed
const int kMaxWalk = 16 * ONVIF_SEARCH_MAX_RESULTS;

// The request records of the four Get...SearchResults operations have one
// layout; their presence bits are named once.
const uint32_t kAskMax = tse_GetEventSearchResults_REQ_HAS_MAX_RESULTS;
const uint32_t kAskWait = tse_GetEventSearchResults_REQ_HAS_WAIT_TIME;
static_assert(kAskMax == tse_GetRecordingSearchResults_REQ_HAS_MAX_RESULTS &&
                  kAskMax == tse_GetMetadataSearchResults_REQ_HAS_MAX_RESULTS &&
                  kAskMax == tse_GetPTZPositionSearchResults_REQ_HAS_MAX_RESULTS,
              "one MaxResults bit");
static_assert(kAskWait == tse_GetRecordingSearchResults_REQ_HAS_WAIT_TIME &&
                  kAskWait == tse_GetMetadataSearchResults_REQ_HAS_WAIT_TIME &&
                  kAskWait == tse_GetPTZPositionSearchResults_REQ_HAS_WAIT_TIME,
              "one WaitTime bit");

// FindEvents' SearchFilter is required: a request without one gets the empty
// filter (every event). The other searches need nothing added.
void complete(tse_FindEvents_REQ *p_req)
{
    static char empty[] = "<tse:SearchFilter />";
    if (!p_req->search_filter) p_req->search_filter = empty;
}
template <class T> void complete(T *) {}

// Ends a search, keeping the device record's account of why it ended.
void end_search(ONVIF_DEVICE *p_dev, const char *token)
{
    int32_t last_error = p_dev->last_error, auth_failed = p_dev->auth_failed;
    ONVIF_FAULT fault = p_dev->fault;
    tse_EndSearch_REQ req;
    memset(&req, 0, sizeof(req));
    strncpy(req.search_token, token, sizeof(req.search_token) - 1);
    onvif_tse_EndSearch(p_dev, &req, nullptr);
    p_dev->last_error = last_error;
    p_dev->auth_failed = auth_failed;
    p_dev->fault = fault;
}

template <class FindReq, class FindRes, class GetReq, class GetRes, class Node>
int run_search(ONVIF_DEVICE *p_dev, const FindReq *p_req, int max_results, Node **p_results,
               int (*find)(ONVIF_DEVICE *, FindReq *, FindRes *),
               int (*get)(ONVIF_DEVICE *, GetReq *, GetRes *), Node *GetRes::*results)
{
    if (!p_dev || !p_req || !p_results) return 0;
    if (max_results <= 0 || max_results > ONVIF_SEARCH_MAX_RESULTS)
        max_results = ONVIF_SEARCH_MAX_RESULTS;

    // The tail of what the caller's list already holds: pages are appended
    // there, so the whole search costs one pass over its results.
    Node *tail = *p_results;
    for (int n = 0; tail && tail->next; tail = tail->next)
        if (++n > kMaxWalk) return 0; // not a list this call can extend

    FindReq find_req = *p_req; // shallow: the caller's heap members are only read
    if (find_req.keep_alive_time < kMinKeepAlive) find_req.keep_alive_time = kMinKeepAlive;
    complete(&find_req);
    FindRes found;
    memset(&found, 0, sizeof(found));
    if (!find(p_dev, &find_req, &found)) return 0;

    GetReq page_req;
    memset(&page_req, 0, sizeof(page_req));
    memcpy(page_req.search_token, found.search_token, sizeof(page_req.search_token));
    int read = 0, empty = 0;
    // Each round either brings results (at most max_results in all) or counts
    // an empty page, so the loop ends.
    for (int round = 0; round < max_results + kMaxEmptyPages; round++) {
        int want = max_results - read;
        page_req.flags = kAskMax | kAskWait;
        page_req.max_results = want < SOAP_LIST_MAX ? want : SOAP_LIST_MAX;
        page_req.wait_time = kPageWait;
        GetRes page;
        memset(&page, 0, sizeof(page));
        if (!get(p_dev, &page_req, &page)) {
            end_search(p_dev, found.search_token);
            return 0;
        }
        Node *first = page.*results;
        int n = 0;
        Node *last = nullptr;
        for (Node *p = first; p && n < kMaxWalk; p = p->next) {
            last = p;
            n++;
        }
        if (first) {
            if (tail)
                tail->next = first;
            else
                *p_results = first;
            tail = last;
        }
        read += n;
        if (page.search_state == kCompleted) return 1; // the device ended it
        if (read >= max_results) {
            end_search(p_dev, found.search_token);
            return 1;
        }
        empty = n ? 0 : empty + 1;
        if (empty >= kMaxEmptyPages) break;
    }
    end_search(p_dev, found.search_token);
    return 0;
}

} // namespace

int SearchRecordings(ONVIF_DEVICE *p_dev, const tse_FindRecordings_REQ *p_req, int max_results,
                     RecordingInformationList **p_results)
{
    return run_search(p_dev, p_req, max_results, p_results, onvif_tse_FindRecordings,
                      onvif_tse_GetRecordingSearchResults,
                      &ONVIF_FIND_RECORDING_RESULT_LIST::recording_information);
}

int SearchEvents(ONVIF_DEVICE *p_dev, const tse_FindEvents_REQ *p_req, int max_results,
                 FindEventResultList **p_results)
{
    return run_search(p_dev, p_req, max_results, p_results, onvif_tse_FindEvents,
                      onvif_tse_GetEventSearchResults, &ONVIF_FIND_EVENT_RESULT_LIST::result);
}

int SearchMetadata(ONVIF_DEVICE *p_dev, const tse_FindMetadata_REQ *p_req, int max_results,
                   FindMetadataResultList **p_results)
{
    return run_search(p_dev, p_req, max_results, p_results, onvif_tse_FindMetadata,
                      onvif_tse_GetMetadataSearchResults, &ONVIF_FIND_METADATA_RESULT_LIST::result);
}

int SearchPTZPositions(ONVIF_DEVICE *p_dev, const tse_FindPTZPosition_REQ *p_req, int max_results,
                       FindPTZPositionResultList **p_results)
{
    return run_search(p_dev, p_req, max_results, p_results, onvif_tse_FindPTZPosition,
                      onvif_tse_GetPTZPositionSearchResults,
                      &ONVIF_FIND_PTZ_POSITION_RESULT_LIST::result);
}
