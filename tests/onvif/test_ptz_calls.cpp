// PTZ, imaging, device IO and pull points end to end: the public entry
// functions and device-level calls against the camera simulator on
// loopback (moves and the status that reports them, presets and home,
// imaging settings per video source, relays and digital inputs seen through a
// pull point), and the list helpers of these services. Every operation's
// answer (and refusal) is checked at camsim in tests/tools/test_camsim_ptz.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "onvif/onvif_enum.h"
#include "onvif/onvif_event.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_device.h"

#define SET(field, text) snprintf(field, sizeof(field), "%s", text)

#ifdef CAMSIM_PATH

namespace
{

// The library's buffers exist, and none is left in use after a test.
using PtzCalls = HttpPoolTest;
using ImagingCalls = HttpPoolTest;
using DeviceIoCalls = HttpPoolTest;

// Zero-filled records, and requests for the camera's media profile or video
// source.
template <class R> R blank()
{
    R r;
    memset(&r, 0, sizeof(r));
    return r;
}
template <class R> R for_profile()
{
    R r = blank<R>();
    SET(r.profile_token, "Profile_1");
    return r;
}
template <class R> R source_req()
{
    R r = blank<R>();
    SET(r.video_source_token, "VideoSource_1");
    return r;
}

int absolute_move(ONVIF_DEVICE *d, float pan, float tilt, float zoom)
{
    auto req = for_profile<ptz_AbsoluteMove_REQ>();
    req.position.flags = ONVIF_PTZ_VECTOR_HAS_PAN_TILT | ONVIF_PTZ_VECTOR_HAS_ZOOM;
    req.position.pan_tilt.x = pan;
    req.position.pan_tilt.y = tilt;
    req.position.zoom.x = zoom;
    return onvif_ptz_AbsoluteMove(d, &req, nullptr);
}

ONVIF_PTZ_STATUS status(ONVIF_DEVICE *d)
{
    auto req = for_profile<ptz_GetStatus_REQ>();
    auto st = blank<ONVIF_PTZ_STATUS>();
    EXPECT_EQ(onvif_ptz_GetStatus(d, &req, &st), 1) << d->last_error;
    EXPECT_TRUE(st.flags & ONVIF_PTZ_STATUS_HAS_POSITION);
    return st;
}

// Where the head is, as "pan tilt zoom" to three decimals.
std::string where(ONVIF_DEVICE *d)
{
    ONVIF_PTZ_STATUS st = status(d);
    char buf[64];
    snprintf(buf, sizeof buf, "%.3f %.3f %.3f", st.position.pan_tilt.x, st.position.pan_tilt.y,
             st.position.zoom.x);
    return buf;
}

std::string moving(ONVIF_DEVICE *d)
{
    ONVIF_PTZ_STATUS st = status(d);
    return std::string(onvif_MoveStatusToString(st.move_status.pan_tilt)) + " " +
           onvif_MoveStatusToString(st.move_status.zoom);
}

// A refusal of the request's content: 0, code -9, a Sender fault. (Which
// argument was wrong is a deeper subcode; tests/tools checks those.)
void expect_refused(ONVIF_DEVICE *d, int result)
{
    EXPECT_EQ(result, 0);
    EXPECT_EQ(d->last_error, -9);
    EXPECT_NE(strstr(d->fault.code, "Sender"), nullptr) << d->fault.code;
    EXPECT_STREQ(d->fault.subcode, "ter:InvalidArgVal");
}

// The messages a GetMessages brings, each as "<topic's last part> <source
// value> <state> <PropertyOperation>".
std::vector<std::string> get_messages(ONVIF_DEVICE *d)
{
    auto req = blank<tev_GetMessages_REQ>();
    req.flags = tev_GetMessages_REQ_HAS_MAXIMUM_NUMBER;
    req.maximum_number = 20;
    NotificationMessageList *list = nullptr;
    std::vector<std::string> out;
    EXPECT_EQ(onvif_tev_GetMessages(d, &req, &list), 1) << d->last_error;
    for (NotificationMessageList *n = list; n; n = n->next) {
        const ONVIF_NOTIFICATION_MESSAGE &m = n->NotificationMessage;
        const char *slash = strrchr(m.topic, '/');
        std::string s = slash ? slash + 1 : m.topic;
        if (m.message.source_simple)
            s += std::string(" ") + m.message.source_simple->SimpleItem.value;
        if (m.message.data_simple) s += std::string(" ") + m.message.data_simple->SimpleItem.value;
        out.push_back(s + " " + onvif_PropertyOperationToString(m.message.property_operation));
    }
    onvif_free_NotificationMessages(&list);
    return out;
}

} // namespace

TEST_F(PtzCalls, MovesPresetsAndHomeChangeThePositionThatStatusReports)
{
    CamsimDevice cam(CAMSIM_PATH, "[{\"ptz\":true}]");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *d = cam.dev();

    // Read twice: the kept lists are replaced, not appended to.
    ASSERT_EQ(GetNodes(d) + GetNodes(d) + GetConfigurations(d), 3) << d->last_error;
    ASSERT_EQ(onvif_list_count(d->ptz_nodes, 10), 1);
    EXPECT_EQ(d->ptz_nodes->PTZNode.maximum_number_of_presets, 16);
    PTZConfigurationList *conf = onvif_find_PTZConfiguration(d->ptz_configs, "PTZConfig_1");
    ASSERT_NE(conf, nullptr);
    EXPECT_EQ(conf->PTZConfiguration.default_ptz_timeout, 10);

    ASSERT_EQ(absolute_move(d, 0.5f, -0.25f, 0.75f), 1) << d->last_error;
    EXPECT_EQ(where(d), "0.500 -0.250 0.750");
    EXPECT_EQ(moving(d), "IDLE IDLE");

    // Outside the space: refused, the head stays.
    expect_refused(d, absolute_move(d, 1.5f, 0, 0));
    EXPECT_EQ(where(d), "0.500 -0.250 0.750");

    // A translation beyond the limit stops at the limit; only named axes move.
    auto rel = for_profile<ptz_RelativeMove_REQ>();
    rel.translation.flags = ONVIF_PTZ_VECTOR_HAS_PAN_TILT;
    rel.translation.pan_tilt.x = 0.9f;
    rel.translation.pan_tilt.y = 0.5f;
    ASSERT_EQ(onvif_ptz_RelativeMove(d, &rel, nullptr), 1) << d->last_error;
    EXPECT_EQ(where(d), "1.000 0.250 0.750");

    // A continuous move runs until Stop; then the head stays where it stopped.
    auto cm = for_profile<ptz_ContinuousMove_REQ>();
    cm.velocity.flags = ONVIF_PTZ_SPEED_HAS_ZOOM;
    cm.velocity.zoom.x = -0.05f; // slow: far from the end of the zoom
    cm.flags = ptz_ContinuousMove_REQ_HAS_TIMEOUT;
    cm.timeout = 30;
    ASSERT_EQ(onvif_ptz_ContinuousMove(d, &cm, nullptr), 1) << d->last_error;
    EXPECT_EQ(moving(d), "IDLE MOVING");
    auto stop = for_profile<ptz_Stop_REQ>();
    ASSERT_EQ(onvif_ptz_Stop(d, &stop, nullptr), 1) << d->last_error;
    EXPECT_EQ(moving(d), "IDLE IDLE");
    const std::string stopped = where(d);
    EXPECT_EQ(where(d), stopped);

    // Presets and the home position take the head back.
    ASSERT_EQ(absolute_move(d, 0.25f, 0.5f, 0.125f), 1);
    auto sp = for_profile<ptz_SetPreset_REQ>();
    sp.flags = ptz_SetPreset_REQ_HAS_PRESET_NAME;
    SET(sp.preset_name, "Door");
    ptz_SetPreset_RES token;
    ASSERT_EQ(onvif_ptz_SetPreset(d, &sp, &token), 1) << d->last_error;
    EXPECT_STREQ(token.preset_token, "Preset_1");
    expect_refused(d, onvif_ptz_SetPreset(d, &sp, &token));

    auto home = for_profile<ptz_SetHomePosition_REQ>();
    ASSERT_EQ(absolute_move(d, -0.5f, -0.5f, 0.5f), 1);
    ASSERT_EQ(onvif_ptz_SetHomePosition(d, &home, nullptr), 1);

    ASSERT_EQ(absolute_move(d, -1, 1, 1), 1);
    auto go = for_profile<ptz_GotoPreset_REQ>();
    SET(go.preset_token, "Preset_1");
    ASSERT_EQ(onvif_ptz_GotoPreset(d, &go, nullptr), 1) << d->last_error;
    EXPECT_EQ(where(d), "0.250 0.500 0.125");
    auto gh = for_profile<ptz_GotoHomePosition_REQ>();
    ASSERT_EQ(onvif_ptz_GotoHomePosition(d, &gh, nullptr), 1);
    EXPECT_EQ(where(d), "-0.500 -0.500 0.500");

    auto gp = for_profile<ptz_GetPresets_REQ>();
    PTZPresetList *presets = nullptr;
    ASSERT_EQ(onvif_ptz_GetPresets(d, &gp, &presets), 1);
    ASSERT_EQ(onvif_list_count(presets, 10), 1);
    EXPECT_STREQ(presets->PTZPreset.name, "Door");
    EXPECT_FLOAT_EQ(presets->PTZPreset.ptz_position.pan_tilt.y, 0.5f);
    onvif_free_PTZPresets(&presets);

    auto rp = for_profile<ptz_RemovePreset_REQ>();
    SET(rp.preset_token, "Preset_1");
    ASSERT_EQ(onvif_ptz_RemovePreset(d, &rp, nullptr), 1);
    expect_refused(d, onvif_ptz_GotoPreset(d, &go, nullptr));
}

TEST_F(ImagingCalls, SettingsChangeAndReadBackPerVideoSource)
{
    CamsimDevice cam(CAMSIM_PATH, "[{}]");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *d = cam.dev();

    // No PTZ service: nothing is asked.
    EXPECT_EQ(GetNodes(d), 0);
    EXPECT_EQ(d->last_error, 0);
    EXPECT_EQ(d->ptz_nodes, nullptr);
    // No video sources yet: nothing to ask either.
    EXPECT_EQ(GetImagingSettings(d), 1);

    // Sources as GetVideoSources keeps them: one the camera has, one it has not.
    VideoSourceList *a = static_cast<VideoSourceList *>(calloc(1, sizeof(VideoSourceList)));
    VideoSourceList *b = static_cast<VideoSourceList *>(calloc(1, sizeof(VideoSourceList)));
    ASSERT_TRUE(a && b);
    SET(a->VideoSource.token, "VideoSource_1");
    SET(b->VideoSource.token, "VideoSource_9");
    d->video_sources = b;
    b->next = a;
    // VideoSource_9 is refused, VideoSource_1 still asked.
    expect_refused(d, GetImagingSettings(d));
    EXPECT_EQ(b->VideoSource.flags, 0u);
    ASSERT_TRUE(a->VideoSource.flags & ONVIF_VIDEO_SOURCE_HAS_EXTENSION);
    ASSERT_TRUE(a->VideoSource.extension.flags & ONVIF_VIDEO_SOURCE_EXTENSION_HAS_IMAGING);
    EXPECT_FLOAT_EQ(a->VideoSource.extension.imaging.brightness, 50);

    auto set = source_req<img_SetImagingSettings_REQ>();
    ONVIF_IMAGING_SETTINGS20 &s = set.imaging_settings;
    s.flags = ONVIF_IMAGING_SETTINGS20_HAS_BRIGHTNESS | ONVIF_IMAGING_SETTINGS20_HAS_IR_CUT_FILTER |
              ONVIF_IMAGING_SETTINGS20_HAS_EXPOSURE;
    s.brightness = 80;
    s.ir_cut_filter = onvif_StringToIrCutFilterMode("OFF");
    s.exposure.mode = onvif_StringToExposureMode("MANUAL");
    s.exposure.flags = ONVIF_EXPOSURE20_HAS_EXPOSURE_TIME;
    s.exposure.exposure_time = 2000;
    ASSERT_EQ(onvif_img_SetImagingSettings(d, &set, nullptr), 1) << d->last_error;
    d->video_sources = a; // the refused source goes
    free(b);
    ASSERT_EQ(GetImagingSettings(d), 1) << d->last_error;
    const ONVIF_IMAGING_SETTINGS20 &got = a->VideoSource.extension.imaging;
    EXPECT_FLOAT_EQ(got.brightness, 80);
    EXPECT_STREQ(onvif_IrCutFilterModeToString(got.ir_cut_filter), "OFF");
    EXPECT_STREQ(onvif_ExposureModeToString(got.exposure.mode), "MANUAL");
    EXPECT_FLOAT_EQ(got.exposure.exposure_time, 2000);
    EXPECT_FLOAT_EQ(got.contrast, 50); // not named: unchanged

    // Outside the options: refused as a whole.
    s.brightness = 10;
    s.flags |= ONVIF_IMAGING_SETTINGS20_HAS_CONTRAST;
    s.contrast = 150;
    expect_refused(d, onvif_img_SetImagingSettings(d, &set, nullptr));
    auto gs = source_req<img_GetImagingSettings_REQ>();
    img_GetImagingSettings_RES now;
    ASSERT_EQ(onvif_img_GetImagingSettings(d, &gs, &now), 1);
    EXPECT_FLOAT_EQ(now.brightness, 80);
}

TEST_F(DeviceIoCalls, RelayAndInputChangesArriveOnThePullPoint)
{
    CamsimDevice cam(CAMSIM_PATH, "[{\"pull_messages\":0}]");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *d = cam.dev();
    ASSERT_EQ(CreatePullPointSubscription(d), 1) << d->last_error;
    const int64_t before = (int64_t)time(nullptr) - 5;

    auto rs = blank<tmd_SetRelayOutputState_REQ>();
    SET(rs.relay_output_token, "RelayOutput_1");
    rs.logical_state = onvif_StringToRelayLogicalState("active");
    ASSERT_EQ(onvif_tmd_SetRelayOutputState(d, &rs, nullptr), 1) << d->last_error;
    // Input 1 is wired to relay 1: its contact closes.
    std::vector<std::string> relay = {"Relay RelayOutput_1 active Changed",
                                      "DigitalInput DigitalInput_1 true Changed"};
    EXPECT_EQ(get_messages(d), relay);

    auto dc = blank<tmd_SetDigitalInputConfigurations_REQ>();
    DigitalInputList *in = onvif_add_DigitalInput(&dc.digital_inputs);
    ASSERT_NE(in, nullptr);
    SET(in->DigitalInput.token, "DigitalInput_2");
    in->DigitalInput.flags = ONVIF_DIGITAL_INPUT_HAS_IDLE_STATE;
    in->DigitalInput.idle_state = onvif_StringToDigitalIdleState("closed");
    ASSERT_EQ(onvif_tmd_SetDigitalInputConfigurations(d, &dc, nullptr), 1) << d->last_error;
    onvif_free_DigitalInputs(&dc.digital_inputs);
    EXPECT_EQ(get_messages(d),
              std::vector<std::string>{"DigitalInput DigitalInput_2 true Changed"});
    DigitalInputList *inputs = nullptr;
    ASSERT_EQ(onvif_tmd_GetDigitalInputs(d, nullptr, &inputs), 1);
    DigitalInputList *two = onvif_find_DigitalInput(inputs, "DigitalInput_2");
    ASSERT_NE(two, nullptr);
    EXPECT_STREQ(onvif_DigitalIdleStateToString(two->DigitalInput.idle_state), "closed");
    onvif_free_DigitalInputs(&inputs);

    // Back to the start: the three changes again; then the current states.
    auto seek = blank<tev_Seek_REQ>();
    seek.utc_time = before;
    ASSERT_EQ(onvif_tev_Seek(d, &seek, nullptr), 1) << d->last_error;
    relay.push_back("DigitalInput DigitalInput_2 true Changed");
    EXPECT_EQ(get_messages(d), relay);
    ASSERT_EQ(onvif_tev_SetSynchronizationPoint(d, nullptr, nullptr), 1) << d->last_error;
    EXPECT_EQ(get_messages(d),
              (std::vector<std::string>{"Relay RelayOutput_1 active Initialized",
                                        "Relay RelayOutput_2 inactive Initialized",
                                        "DigitalInput DigitalInput_1 true Initialized",
                                        "DigitalInput DigitalInput_2 true Initialized"}));

    ASSERT_EQ(onvif_tev_DestroyPullPoint(d, nullptr, nullptr), 1) << d->last_error;
    auto gm = blank<tev_GetMessages_REQ>();
    NotificationMessageList *none = nullptr;
    expect_refused(d, onvif_tev_GetMessages(d, &gm, &none));
    EXPECT_EQ(none, nullptr);
}

#else

TEST(PtzCalls, Skipped)
{
    GTEST_SKIP() << "the camera simulator is not built (no Qt 5)";
}

#endif

// The list helpers (one template for every list type): find by token
// (exact, or in any case where the table says so), release with what the
// records own, empty and null lists.
TEST(OnvifList, FindByTokenAndFreeWithWhatRecordsOwn)
{
    PTZNodeList *nodes = nullptr;
    for (const char *t : {"Tok_1", "Tok_2"})
        SET(onvif_add_PTZNode(&nodes)->PTZNode.token, t);
    struct {
        const char *key;
        int index; // 0, 1, or -1 for none
    } cases[] = {{"Tok_1", 0}, {"Tok_2", 1}, {"tok_2", -1}, {"Tok_", -1}, {"", -1}, {nullptr, -1}};
    for (const auto &c : cases) {
        PTZNodeList *want = c.index < 0 ? nullptr : c.index == 0 ? nodes : nodes->next;
        EXPECT_EQ(onvif_find_PTZNode(nodes, c.key), want) << (c.key ? c.key : "(null)");
    }
    EXPECT_EQ(onvif_find_PTZNode(nullptr, "Tok_1"), nullptr);
    // Door information is found whatever the case of its token; doors are not.
    DoorInfoList *infos = nullptr;
    DoorList *doors = nullptr;
    SET(onvif_add_DoorInfo(&infos)->DoorInfo.token, "Door_2");
    SET(onvif_add_Door(&doors)->Door.token, "Door_2");
    EXPECT_EQ(onvif_find_DoorInfo(infos, "DOOR_2"), infos);
    EXPECT_EQ(onvif_find_Door(doors, "DOOR_2"), nullptr);
    EXPECT_EQ(onvif_find_Door(doors, "Door_2"), doors);
    onvif_free_DoorInfos(&infos);
    onvif_free_Doors(&doors);

    // A tour owns its spots (and a spot its raw type extension).
    PresetTourList *tours = nullptr;
    for (int i = 0; i < 2; i++) {
        ONVIF_PRESET_TOUR &t = onvif_add_PresetTour(&tours)->PresetTour;
        for (int j = 0; j < 3; j++)
            onvif_add_PTZPresetTourSpot(&t.tour_spot);
        t.tour_spot->PTZPresetTourSpot.preset_detail.type_extension = strdup("<tt:X/>");
    }
    onvif_free_PresetTours(&tours);
    EXPECT_EQ(tours, nullptr);
    onvif_free_PresetTours(&tours);
    onvif_free_PresetTours(nullptr);

    onvif_free_PTZNodes(&nodes);
    EXPECT_EQ(nodes, nullptr);
}
