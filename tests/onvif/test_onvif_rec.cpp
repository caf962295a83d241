// Recording, search and analytics through the public entry functions, with
// the camera simulator on loopback as the device: an event search paged
// until the device ends it, a 2 MB result reply read within the list cap,
// whole searches by the device-level call, a recording created and listed
// with its tracks, rules created, read back, edited and deleted, rule options
// with their options element; and the rule list's own helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_process.h"
#include "tests/support/onvif_records.h"
#include "tests/support/raw_http.h"

namespace
{

const int64_t kT0 = 1714550400; // 2024-05-01T08:00:00Z, the simulator's first event
char kEmptyFilter[] = "<tse:SearchFilter />";

// The value of a SimpleItem of a list, "" when absent.
std::string item(const SimpleItemList *l, const char *name)
{
    for (int n = 0; l && n < 100; l = l->next, n++)
        if (strcmp(l->SimpleItem.name, name) == 0) return l->SimpleItem.value;
    return "";
}

// The Index key of each event result, in list order.
std::vector<int> indexes(const FindEventResultList *l)
{
    std::vector<int> v;
    for (int n = 0; l && n < 100000; l = l->next, n++)
        v.push_back(std::stoi("0" + item(l->FindEventResult.event.message.key_simple, "Index")));
    return v;
}

std::vector<int> range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i < to; i++)
        v.push_back(i);
    return v;
}

// One simulated camera and a device record whose services were found by
// GetServices; the buffer pools are checked for leaks after each test.
class Rec : public HttpPoolTest
{
  protected:
    void start(const std::string &config)
    {
        sim_ = std::make_unique<CamsimProcess>(CAMSIM_PATH, config, CamsimOptions{});
        ASSERT_TRUE(sim_->ok()) << sim_->error();
        dev_ = new_device();
        point_at(dev_.get(), sim_->port());
        ASSERT_EQ(GetServices(dev_.get()), 1);
        ASSERT_EQ(dev_->capabilities.search.xaddr.port, sim_->port());
    }

    // FindEvents from the first event on, over every recording.
    std::string find_events(int max_matches = 0)
    {
        tse_FindEvents_REQ req;
        memset(&req, 0, sizeof(req));
        req.start_point = kT0;
        req.search_filter = kEmptyFilter;
        req.keep_alive_time = 30;
        if (max_matches) {
            req.flags |= tse_FindEvents_REQ_HAS_MAX_MATCHES;
            req.max_matches = max_matches;
        }
        tse_FindEvents_RES res;
        EXPECT_EQ(onvif_tse_FindEvents(dev(), &req, &res), 1) << dev()->last_error;
        return res.search_token;
    }

    ONVIF_DEVICE *dev() { return dev_.get(); }

    std::unique_ptr<CamsimProcess> sim_;
    std::unique_ptr<ONVIF_DEVICE> dev_ = new_device();
};

} // namespace

TEST_F(Rec, EventSearchIsPagedUntilTheDeviceEndsIt)
{
    start("[{\"search_events\": 25}]");
    const std::string token = find_events();
    tse_GetSearchState_REQ sreq;
    memset(&sreq, 0, sizeof(sreq));
    snprintf(sreq.search_token, sizeof(sreq.search_token), "%s", token.c_str());
    tse_GetSearchState_RES state;
    ASSERT_EQ(onvif_tse_GetSearchState(dev(), &sreq, &state), 1);
    EXPECT_EQ(state.state, 0) << "Queued before the first page";

    tse_GetEventSearchResults_REQ req;
    memset(&req, 0, sizeof(req));
    snprintf(req.search_token, sizeof(req.search_token), "%s", token.c_str());
    req.flags = tse_GetEventSearchResults_REQ_HAS_MAX_RESULTS;
    req.max_results = 10;
    std::vector<int> seen, pages;
    tse_GetEventSearchResults_RES page;
    for (int round = 0; round < 10; round++) {
        ASSERT_EQ(onvif_tse_GetEventSearchResults(dev(), &req, &page), 1) << dev()->last_error;
        std::vector<int> got = indexes(page.result);
        pages.push_back((int)got.size());
        seen.insert(seen.end(), got.begin(), got.end());
        for (const FindEventResultList *r = page.result; r; r = r->next) {
            const ONVIF_FIND_EVENT_RESULT &e = r->FindEventResult;
            int i = std::stoi(item(e.event.message.key_simple, "Index"));
            EXPECT_EQ(e.time, kT0 + 60 * i);
            EXPECT_STREQ(e.recording_token, i % 2 ? "Recording_2" : "Recording_1");
            EXPECT_STREQ(e.event.topic, "tns1:VideoSource/MotionAlarm");
            EXPECT_EQ(item(e.event.message.data_simple, "State"), i % 2 ? "false" : "true");
        }
        onvif_free_FindEventResults(&page.result);
        if (page.search_state != 1) break; // no longer Searching
    }
    EXPECT_EQ(page.search_state, 2) << "Completed";
    EXPECT_EQ(pages, (std::vector<int>{10, 10, 5}));
    EXPECT_EQ(seen, range(0, 25));
    ASSERT_EQ(onvif_tse_GetSearchState(dev(), &sreq, &state), 1);
    EXPECT_EQ(state.state, 2);

    tse_EndSearch_REQ ereq;
    memset(&ereq, 0, sizeof(ereq));
    snprintf(ereq.search_token, sizeof(ereq.search_token), "%s", token.c_str());
    tse_EndSearch_RES end;
    ASSERT_EQ(onvif_tse_EndSearch(dev(), &ereq, &end), 1);
    EXPECT_EQ(end.endpoint, kT0 + 60 * 24) << "the last result handed out";
    // An ended search is refused, and the refusal is the device's.
    EXPECT_EQ(onvif_tse_GetEventSearchResults(dev(), &req, &page), 0);
    EXPECT_EQ(dev()->last_error, -9);
    EXPECT_NE(std::string(dev()->fault.subcode).find("InvalidArgVal"), std::string::npos);
    EXPECT_EQ(page.result, nullptr);
}

TEST_F(Rec, TwoMegabyteResultReplyIsReadWithinTheListCap)
{
    const int events = 3200;
    start("[{\"search_events\": " + std::to_string(events) + "}]");
    // The reply really is that large: the same page over raw HTTP.
    const std::string raw_token = find_events();
    const std::string body = raw_body(
        raw_request("127.0.0.1", sim_->port(), "POST", "/onvif/search_service",
                    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\">"
                    "<s:Body><GetEventSearchResults xmlns=\"http://www.onvif.org/ver10/"
                    "search/wsdl\"><SearchToken>" +
                        raw_token + "</SearchToken></GetEventSearchResults></s:Body></s:Envelope>",
                    "application/soap+xml"));
    EXPECT_GT(body.size(), 2u * 1024 * 1024);

    // Without MaxResults the device answers every result at once; the list
    // keeps the first SOAP_LIST_MAX of them, in order.
    tse_GetEventSearchResults_REQ req;
    memset(&req, 0, sizeof(req));
    snprintf(req.search_token, sizeof(req.search_token), "%s", find_events().c_str());
    tse_GetEventSearchResults_RES page;
    ASSERT_EQ(onvif_tse_GetEventSearchResults(dev(), &req, &page), 1) << dev()->last_error;
    EXPECT_EQ(page.search_state, 2);
    EXPECT_EQ(indexes(page.result), range(0, SOAP_LIST_MAX));
    onvif_free_FindEventResults(&page.result);

    // The device-level search pages within the cap and gets them all, after
    // what the list already held.
    FindEventResultList *all = nullptr;
    onvif_add_FindEventResult(&all)->FindEventResult.time = 7;
    tse_FindEvents_REQ find;
    memset(&find, 0, sizeof(find));
    find.start_point = kT0;
    ASSERT_EQ(SearchEvents(dev(), &find, 0, &all), 1) << dev()->last_error;
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(all->FindEventResult.time, 7);
    EXPECT_EQ(indexes(all->next), range(0, events));
    onvif_free_FindEventResults(&all);
    EXPECT_EQ(all, nullptr);

    // A limit ends the search early (EndSearch), with exactly that many.
    ASSERT_EQ(SearchEvents(dev(), &find, 1500, &all), 1);
    EXPECT_EQ(indexes(all), range(0, 1500));
    onvif_free_FindEventResults(&all);
}

TEST_F(Rec, SearchesOverRecordingsMetadataAndPTZPositions)
{
    start("[{\"search_events\": 12}]");
    tse_FindRecordings_REQ rec;
    memset(&rec, 0, sizeof(rec));
    RecordingInformationList *infos = nullptr;
    ASSERT_EQ(SearchRecordings(dev(), &rec, 0, &infos), 1);
    ASSERT_EQ(onvif_list_count(infos, 10), 2);
    EXPECT_STREQ(infos->RecordingInformation.recording_token, "Recording_1");
    EXPECT_EQ(onvif_list_count(infos->RecordingInformation.track, 10), 3);
    onvif_free_RecordingInformations(&infos);

    tse_FindMetadata_REQ meta;
    memset(&meta, 0, sizeof(meta));
    meta.start_point = kT0 + 60 * 10;
    FindMetadataResultList *times = nullptr;
    ASSERT_EQ(SearchMetadata(dev(), &meta, 0, &times), 1);
    ASSERT_EQ(onvif_list_count(times, 10), 2);
    EXPECT_EQ(times->next->FindMetadataResult.time, kT0 + 60 * 11);
    onvif_free_FindMetadataResults(&times);

    tse_FindPTZPosition_REQ ptz;
    memset(&ptz, 0, sizeof(ptz));
    ptz.start_point = kT0;
    FindPTZPositionResultList *positions = nullptr;
    ASSERT_EQ(SearchPTZPositions(dev(), &ptz, 0, &positions), 1);
    EXPECT_EQ(onvif_list_count(positions, 10), 3); // every fourth event
    onvif_free_FindPTZPositionResults(&positions);
}

TEST_F(Rec, CreatedRecordingIsListedWithItsTracks)
{
    start("[{}]");
    trc_CreateRecording_REQ req;
    memset(&req, 0, sizeof(req));
    ONVIF_RECORDING_SOURCE_INFORMATION &src = req.recording_configuration.source;
    snprintf(src.source_id, sizeof(src.source_id), "urn:test:hall");
    snprintf(src.name, sizeof(src.name), "Hall");
    snprintf(src.location, sizeof(src.location), "Ground floor");
    snprintf(src.description, sizeof(src.description), "Hall camera");
    snprintf(src.address, sizeof(src.address), "rtsp://192.0.2.5/hall");
    snprintf(req.recording_configuration.content, sizeof(req.recording_configuration.content),
             "Hall, continuous");
    req.recording_configuration.maximum_retention_time = 7 * 86400;
    trc_CreateRecording_RES made;
    ASSERT_EQ(onvif_trc_CreateRecording(dev(), &req, &made), 1) << dev()->last_error;
    ASSERT_STRNE(made.recording_token, "");

    trc_CreateTrack_REQ track;
    memset(&track, 0, sizeof(track));
    snprintf(track.recording_token, sizeof(track.recording_token), "%s", made.recording_token);
    track.track_configuration.track_type = 2; // Metadata
    snprintf(track.track_configuration.description, sizeof(track.track_configuration.description),
             "Second metadata");
    trc_CreateTrack_RES track_made;
    ASSERT_EQ(onvif_trc_CreateTrack(dev(), &track, &track_made), 1);

    trc_GetRecordings_RES list = nullptr;
    ASSERT_EQ(onvif_trc_GetRecordings(dev(), nullptr, &list), 1);
    EXPECT_EQ(onvif_list_count(list, 10), 3);
    GetRecordingsResponseItemList *r = onvif_find_Recording(list, made.recording_token);
    ASSERT_NE(r, nullptr);
    const ONVIF_RECORDING_CONFIGURATION &c = r->GetRecordingsResponseItem.configuration;
    EXPECT_STREQ(c.content, "Hall, continuous");
    EXPECT_STREQ(c.source.address, "rtsp://192.0.2.5/hall");
    EXPECT_EQ(c.maximum_retention_time, 7 * 86400);
    GetTracksResponseItemList *tracks = r->GetRecordingsResponseItem.tracks.track;
    EXPECT_EQ(onvif_list_count(tracks, 10), 4);
    GetTracksResponseItemList *t = onvif_find_Track(tracks, track_made.track_token);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetTracksResponseItem.configuration.track_type, 2);
    EXPECT_STREQ(t->GetTracksResponseItem.configuration.description, "Second metadata");
    EXPECT_EQ(onvif_find_Recording(list, "recording_1"), nullptr) << "tokens match exactly";
    onvif_free_Recordings(&list); // with every recording's tracks
    EXPECT_EQ(list, nullptr);

    trc_DeleteRecording_REQ del;
    memset(&del, 0, sizeof(del));
    snprintf(del.recording_token, sizeof(del.recording_token), "%s", made.recording_token);
    ASSERT_EQ(onvif_trc_DeleteRecording(dev(), &del, nullptr), 1);
    EXPECT_EQ(onvif_trc_DeleteRecording(dev(), &del, nullptr), 0) << "deleted once";
    EXPECT_EQ(dev()->last_error, -9);
    ASSERT_EQ(onvif_trc_GetRecordings(dev(), nullptr, &list), 1);
    EXPECT_EQ(onvif_list_count(list, 10), 2);
    EXPECT_EQ(onvif_find_Recording(list, made.recording_token), nullptr);
    onvif_free_Recordings(&list);
}

TEST_F(Rec, CreatedRulesReadBackAndCanBeEditedAndDeleted)
{
    start("[{}]");
    // A name longer than 32 characters: the key of ModifyRules and
    // DeleteRules, so it must come back whole.
    const char *kLong = "Entrance line detector at the north gate";
    tan_CreateRules_REQ req;
    memset(&req, 0, sizeof(req));
    snprintf(req.configuration_token, sizeof(req.configuration_token), "VideoAnalytics_1");
    ConfigList *line = onvif_add_Config(&req.rule);
    snprintf(line->Config.name, sizeof(line->Config.name), "%s", kLong);
    snprintf(line->Config.type, sizeof(line->Config.type), "tt:LineDetector");
    SimpleItemList *dir = onvif_add_SimpleItem(&line->Config.parameters.simple_item);
    snprintf(dir->SimpleItem.name, sizeof(dir->SimpleItem.name), "Direction");
    snprintf(dir->SimpleItem.value, sizeof(dir->SimpleItem.value), "Any");
    ElementItemList *seg = onvif_add_ElementItem(&line->Config.parameters.element_item);
    snprintf(seg->ElementItem.name, sizeof(seg->ElementItem.name), "Segments");
    seg->ElementItem.any = strdup("<tt:Polyline><tt:Point x=\"0.1\" y=\"0.5\" />"
                                  "<tt:Point x=\"0.9\" y=\"0.5\" /></tt:Polyline>");
    ConfigList *motion = onvif_add_Config(&req.rule);
    snprintf(motion->Config.name, sizeof(motion->Config.name), "Motion");
    snprintf(motion->Config.type, sizeof(motion->Config.type), "tt:CellMotionDetector");
    ASSERT_EQ(onvif_tan_CreateRules(dev(), &req, nullptr), 1) << dev()->last_error;
    onvif_free_Configs(&req.rule);

    tan_GetRules_REQ get;
    memset(&get, 0, sizeof(get));
    snprintf(get.configuration_token, sizeof(get.configuration_token), "VideoAnalytics_1");
    tan_GetRules_RES rules = nullptr;
    ASSERT_EQ(onvif_tan_GetRules(dev(), &get, &rules), 1);
    EXPECT_EQ(onvif_list_count(rules, 10), 3); // with the camera's own rule
    ConfigList *back = onvif_find_Config(rules, kLong);
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->Config.type, "tt:LineDetector");
    EXPECT_EQ(item(back->Config.parameters.simple_item, "Direction"), "Any");
    ElementItemList *e = back->Config.parameters.element_item;
    ASSERT_NE(e, nullptr);
    EXPECT_STREQ(e->ElementItem.name, "Segments");
    ASSERT_NE(e->ElementItem.any, nullptr);
    EXPECT_NE(strstr(e->ElementItem.any, "Polyline"), nullptr);
    EXPECT_NE(strstr(e->ElementItem.any, "x=\"0.9\""), nullptr);
    ASSERT_NE(onvif_find_Config(rules, "Motion"), nullptr);

    // Edit what was read: keep only the line detector and change it.
    for (int n = 0; n < 10 && rules != back; n++)
        onvif_remove_Config(&rules, rules);
    onvif_remove_Config(&rules, onvif_find_Config(rules, "Motion"));
    ASSERT_EQ(rules, back);
    ASSERT_EQ(back->next, nullptr);
    snprintf(back->Config.parameters.simple_item->SimpleItem.value,
             sizeof(back->Config.parameters.simple_item->SimpleItem.value), "LeftToRight");
    tan_ModifyRules_REQ mod;
    memset(&mod, 0, sizeof(mod));
    snprintf(mod.configuration_token, sizeof(mod.configuration_token), "VideoAnalytics_1");
    mod.rule = rules;
    ASSERT_EQ(onvif_tan_ModifyRules(dev(), &mod, nullptr), 1) << dev()->last_error;
    onvif_free_Configs(&rules);
    ASSERT_EQ(onvif_tan_GetRules(dev(), &get, &rules), 1);
    back = onvif_find_Config(rules, kLong);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(item(back->Config.parameters.simple_item, "Direction"), "LeftToRight");
    onvif_free_Configs(&rules);

    tan_DeleteRules_REQ del;
    memset(&del, 0, sizeof(del));
    snprintf(del.configuration_token, sizeof(del.configuration_token), "VideoAnalytics_1");
    snprintf(del.rule_name[0], sizeof(del.rule_name[0]), "%s", kLong);
    del.rule_name_count = 1;
    ASSERT_EQ(onvif_tan_DeleteRules(dev(), &del, nullptr), 1);
    ASSERT_EQ(onvif_tan_GetRules(dev(), &get, &rules), 1);
    EXPECT_EQ(onvif_list_count(rules, 10), 2);
    EXPECT_EQ(onvif_find_Config(rules, kLong), nullptr);
    onvif_free_Configs(&rules);
}

TEST_F(Rec, RuleOptionsKeepTheirOptionsElement)
{
    start("[{}]");
    tan_GetRuleOptions_REQ req;
    memset(&req, 0, sizeof(req));
    snprintf(req.configuration_token, sizeof(req.configuration_token), "VideoAnalytics_1");
    req.flags = tan_GetRuleOptions_REQ_HAS_RULE_TYPE;
    snprintf(req.rule_type, sizeof(req.rule_type), "tt:CellMotionDetector");
    tan_GetRuleOptions_RES opts = nullptr;
    ASSERT_EQ(onvif_tan_GetRuleOptions(dev(), &req, &opts), 1) << dev()->last_error;
    ASSERT_EQ(onvif_list_count(opts, 10), 3);
    const ONVIF_CONFIG_OPTIONS &o = opts->ConfigOptions;
    EXPECT_STREQ(o.name, "MinCount");
    EXPECT_STREQ(o.rule_type, "tt:CellMotionDetector");
    EXPECT_TRUE(o.flags & ONVIF_CONFIG_OPTIONS_HAS_ANY);
    ASSERT_NE(o.any, nullptr);
    // The element stands on its own: it declares the namespace it uses.
    EXPECT_NE(strstr(o.any, "IntRange"), nullptr) << o.any;
    EXPECT_NE(strstr(o.any, ">1</"), nullptr) << o.any;
    EXPECT_NE(strstr(o.any, "xmlns"), nullptr) << o.any;
    onvif_free_ConfigOptions(&opts);
    EXPECT_EQ(opts, nullptr);
}

// The rule list's own helpers.
TEST(RecLists, ConfigAddStepBackRemoveAndFree)
{
    ConfigList *head = nullptr;
    ConfigList *n[3];
    for (int i = 0; i < 3; i++) {
        n[i] = onvif_add_Config(&head);
        ASSERT_NE(n[i], nullptr);
        snprintf(n[i]->Config.name, sizeof(n[i]->Config.name), "rule%d", i);
        // Items the removal has to release (checked by the leak checker).
        onvif_add_SimpleItem(&n[i]->Config.parameters.simple_item);
        onvif_add_ElementItem(&n[i]->Config.parameters.element_item)->ElementItem.any =
            strdup("<tt:Polygon />");
    }
    EXPECT_EQ(head, n[0]);
    EXPECT_EQ(n[0]->next, n[1]);
    EXPECT_EQ(n[1]->next, n[2]);
    EXPECT_EQ(onvif_get_prev_Config(head, n[2]), n[1]);
    EXPECT_EQ(onvif_get_prev_Config(head, n[0]), nullptr);
    EXPECT_EQ(onvif_find_Config(head, "rule2"), n[2]);
    EXPECT_EQ(onvif_find_Config(head, "RULE2"), nullptr);

    ConfigList stranger;
    memset(&stranger, 0, sizeof(stranger));
    EXPECT_EQ(onvif_get_prev_Config(head, &stranger), nullptr);
    onvif_remove_Config(&head, &stranger); // not in the list: nothing changes
    EXPECT_EQ(onvif_list_count(head, 10), 3);

    onvif_remove_Config(&head, n[0]); // the head: the second becomes the head
    EXPECT_EQ(head, n[1]);
    EXPECT_EQ(onvif_get_prev_Config(head, n[2]), n[1]);
    onvif_remove_Config(&head, n[2]); // the tail
    EXPECT_EQ(head, n[1]);
    EXPECT_EQ(n[1]->next, nullptr);

    onvif_free_Config(&n[1]->Config); // the record's lists, not the node
    EXPECT_EQ(n[1]->Config.parameters.simple_item, nullptr);
    EXPECT_EQ(n[1]->Config.parameters.element_item, nullptr);
    EXPECT_EQ(head, n[1]);
    onvif_free_Configs(&head);
    EXPECT_EQ(head, nullptr);
    onvif_remove_Config(&head, nullptr);
    onvif_free_Config(nullptr);
}
