// The media device-level calls end to end with the camera simulator as the
// device (profiles, stream URIs, the snapshot download, encoder settings read
// back changed, media 2 profiles, replies shaped as cameras send them), and
// the media list helpers' own rules.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_device.h"

namespace
{

std::vector<std::string> tokens(ProfileList *l)
{
    std::vector<std::string> v;
    for (; l; l = l->next)
        v.push_back(l->Profile.token);
    return v;
}

std::vector<std::string> tokens(MediaProfileList *l)
{
    std::vector<std::string> v;
    for (; l; l = l->next)
        v.push_back(l->MediaProfile.token);
    return v;
}

using Tokens = std::vector<std::string>;

} // namespace

#ifdef CAMSIM_PATH

class MediaCalls : public HttpPoolTest
{
};

TEST_F(MediaCalls, ProfilesStreamUrisAndTheSnapshotOverDigest)
{
    CamsimDevice cam(CAMSIM_PATH,
                     R"([{"auth":"digest","user":"admin","password":"s3cret","ptz":true}])",
                     "admin", "s3cret");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *dev = cam.dev();
    ASSERT_EQ(GetVideoSources(dev), 1);
    ASSERT_EQ(GetProfiles(dev), 1);
    EXPECT_EQ(tokens(dev->profiles), (Tokens{"Profile_1", "Profile_2", "Profile_3"}));
    const ONVIF_PROFILE &main = dev->profiles->Profile;
    EXPECT_STREQ(main.name, "MainStream");
    EXPECT_TRUE(main.flags & ONVIF_PROFILE_HAS_PTZ_CONFIGURATION);
    EXPECT_TRUE(main.flags & ONVIF_PROFILE_HAS_AUDIO_ENCODER_CONFIGURATION);
    EXPECT_EQ(main.video_encoder_configuration.encoding, 2); // H264
    // Media cannot describe the H.265 sub stream's encoder: the camera leaves it out.
    EXPECT_FALSE(dev->profiles->next->Profile.flags &
                 ONVIF_PROFILE_HAS_VIDEO_ENCODER_CONFIGURATION);
    VideoSourceList *src = onvif_get_cur_VideoSource(dev);
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->VideoSource.resolution.width, 1920);

    ASSERT_EQ(GetStreamUris(dev, 2 /* RTSP */), 1);
    ProfileList *p = dev->profiles;
    EXPECT_STREQ(p->Profile.stream_uri, "rtsp://127.0.0.1:554/stream/Profile_1");
    EXPECT_STREQ(p->next->Profile.stream_uri, ""); // no encoder: not asked
    EXPECT_STREQ(p->next->next->Profile.stream_uri, "rtsp://127.0.0.1:554/stream/Profile_3");

    // The snapshot URI carries "&amp;", a path longer than an address record keeps, and
    // wants the camera's Digest credentials.
    uint8_t *jpeg = nullptr;
    int len = -1;
    ASSERT_EQ(GetSnapshot(dev, "Profile_1", &jpeg, &len), 1);
    std::ifstream f(PROJECT_DIR "/tools/camsim/media/snapshot.jpg", std::ios::binary);
    const std::string want((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_GT(want.size(), 100u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(jpeg), (size_t)len), want);
    FreeBuff(jpeg);
    EXPECT_EQ(GetSnapshot(dev, "Nope", &jpeg, &len), 0);
    EXPECT_EQ(jpeg, nullptr);
    EXPECT_EQ(len, 0);

    // A refresh that fails keeps what the device had, URIs included.
    onvif_SetAuthInfo(dev, "admin", "wrong");
    EXPECT_EQ(GetProfiles(dev), 0);
    EXPECT_EQ(dev->auth_failed, 1);
    ASSERT_EQ(tokens(dev->profiles).size(), 3u);
    EXPECT_STREQ(dev->profiles->Profile.stream_uri, "rtsp://127.0.0.1:554/stream/Profile_1");
}

TEST_F(MediaCalls, EncoderSettingsAreReadBackChanged)
{
    CamsimDevice cam(CAMSIM_PATH, "[{}]");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *dev = cam.dev();

    // Media: H.264 main stream to 720p, 15 fps, 2 Mbit/s, GOV 30, Main profile.
    trt_GetVideoEncoderConfiguration_REQ get;
    memset(&get, 0, sizeof(get));
    strcpy(get.configuration_token, "VideoEncoder_1");
    trt_SetVideoEncoderConfiguration_REQ set;
    memset(&set, 0, sizeof(set));
    ASSERT_EQ(onvif_trt_GetVideoEncoderConfiguration(dev, &get, &set.configuration), 1);
    ONVIF_VIDEO_ENCODER_CONFIGURATION &c = set.configuration;
    c.resolution.width = 1280;
    c.resolution.height = 720;
    c.rate_control.frame_rate_limit = 15;
    c.rate_control.bitrate_limit = 2048;
    c.h264.gov_length = 30;
    c.h264.h264_profile = 1; // Main
    set.force_persistence = 1;
    ASSERT_EQ(onvif_trt_SetVideoEncoderConfiguration(dev, &set, nullptr), 1);
    c.resolution.width = 333; // no such resolution: refused, nothing changes
    EXPECT_EQ(onvif_trt_SetVideoEncoderConfiguration(dev, &set, nullptr), 0);
    EXPECT_EQ(dev->last_error, -9);
    EXPECT_NE(std::string(dev->fault.subcode).find("InvalidArgVal"), std::string::npos);

    ASSERT_EQ(GetVideoEncoderConfigurations(dev), 1);
    VideoEncoderConfigurationList *e =
        onvif_find_VideoEncoderConfiguration(dev->video_encoder_configs, "VideoEncoder_1");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->VideoEncoderConfiguration.resolution.width, 1280);
    EXPECT_EQ(e->VideoEncoderConfiguration.resolution.height, 720);
    EXPECT_EQ(e->VideoEncoderConfiguration.rate_control.frame_rate_limit, 15);
    EXPECT_EQ(e->VideoEncoderConfiguration.rate_control.bitrate_limit, 2048);
    EXPECT_EQ(e->VideoEncoderConfiguration.h264.gov_length, 30);
    EXPECT_EQ(e->VideoEncoderConfiguration.h264.h264_profile, 1);

    // Media 2: the H.265 sub stream to 1080p, GOV 60, Main10.
    ASSERT_EQ(tr2_GetProfiles(dev), 1);
    MediaProfileList *sub = onvif_find_MediaProfile(dev->media2_profiles, "Profile_2");
    ASSERT_NE(sub, nullptr);
    tr2_SetVideoEncoderConfiguration_REQ set2;
    memset(&set2, 0, sizeof(set2));
    set2.configuration = sub->MediaProfile.configurations.video_encoder;
    EXPECT_STREQ(set2.configuration.encoding, "H265");
    set2.configuration.resolution.width = 1920;
    set2.configuration.resolution.height = 1080;
    set2.configuration.gov_length = 60;
    strcpy(set2.configuration.profile, "Main10");
    ASSERT_EQ(onvif_tr2_SetVideoEncoderConfiguration(dev, &set2, nullptr), 1);
    ASSERT_EQ(tr2_GetProfiles(dev), 1);
    sub = onvif_find_MediaProfile(dev->media2_profiles, "Profile_2");
    ASSERT_NE(sub, nullptr);
    const ONVIF_VIDEO_ENCODER2_CONFIGURATION &v = sub->MediaProfile.configurations.video_encoder;
    EXPECT_EQ(v.resolution.width, 1920);
    EXPECT_EQ(v.resolution.height, 1080);
    EXPECT_EQ(v.gov_length, 60);
    EXPECT_STREQ(v.profile, "Main10");
}

TEST_F(MediaCalls, Media2ProfilesHoldEveryConfiguration)
{
    CamsimDevice cam(CAMSIM_PATH, R"([{"ptz":true}])");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *dev = cam.dev();
    EXPECT_TRUE(dev->capabilities.media2.flags & ONVIF_CAP_MEDIA2_PRESENT);
    // The camera matches the types exactly as the enumeration spells them.
    ASSERT_EQ(tr2_GetProfiles(dev), 1);
    ASSERT_EQ(tokens(dev->media2_profiles), (Tokens{"Profile_1", "Profile_2", "Profile_3"}));
    std::vector<std::string> encodings;
    for (MediaProfileList *p = dev->media2_profiles; p; p = p->next) {
        const ONVIF_CONFIGURATION_SET &s = p->MediaProfile.configurations;
        EXPECT_TRUE(s.flags & ONVIF_CONFIGURATION_SET_HAS_VIDEO_SOURCE) << p->MediaProfile.token;
        EXPECT_STREQ(s.video_source.source_token, "VideoSource_1");
        encodings.push_back(s.video_encoder.encoding);
    }
    EXPECT_EQ(encodings, (Tokens{"H264", "H265", "JPEG"}));
    const ONVIF_CONFIGURATION_SET &main = dev->media2_profiles->MediaProfile.configurations;
    EXPECT_TRUE(main.flags & ONVIF_CONFIGURATION_SET_HAS_AUDIO_ENCODER);
    EXPECT_STREQ(main.ptz.node_token, "PTZNode_1");

    ASSERT_EQ(tr2_GetStreamUris(dev, nullptr), 1);
    for (MediaProfileList *p = dev->media2_profiles; p; p = p->next)
        EXPECT_EQ(std::string(p->MediaProfile.stream_uri),
                  std::string("rtsp://127.0.0.1:554/stream/") + p->MediaProfile.token);
    ASSERT_EQ(tr2_GetVideoSourceConfigurations(dev), 1);
    EXPECT_NE(onvif_find_VideoSourceConfiguration(dev->video_source_configs, "VSC_1"), nullptr);
    ASSERT_EQ(tr2_GetAudioSourceConfigurations(dev), 1);
    EXPECT_NE(onvif_find_AudioSourceConfiguration(dev->audio_source_configs, "ASC_1"), nullptr);
}

// Six profiles with long names, numbered prefixes and pretty printing, some
// without audio; media and media 2 side by side on one device record.
TEST_F(MediaCalls, RepliesShapedAsCamerasSendThem)
{
    const std::string longName =
        "Entrée principale, caméra 7 : flux haute définition pour l'enregistrement continu";
    std::string profiles;
    for (int i = 0; i < 6; i++)
        profiles += std::string(i ? "," : "") + "{\"name\":\"" + longName + " " +
                    std::to_string(i) + "\",\"encoding\":\"" + (i % 2 ? "H265" : "H264") +
                    "\",\"audio\":" + (i < 2 ? "true" : "false") + "}";
    CamsimDevice cam(CAMSIM_PATH, "[{\"onvif_prefixes\":\"numbered\",\"pretty\":true,"
                                  "\"media_profiles\":[" +
                                      profiles + "]}]");
    ASSERT_TRUE(cam.ok()) << cam.error();
    ONVIF_DEVICE *dev = cam.dev();
    ASSERT_EQ(GetProfiles(dev), 1);
    ASSERT_EQ(tr2_GetProfiles(dev), 1);
    ASSERT_EQ(tokens(dev->profiles).size(), 6u);
    ASSERT_EQ(tokens(dev->media2_profiles).size(), 6u);
    for (ProfileList *p = dev->profiles; p; p = p->next) {
        const size_t n = strlen(p->Profile.name);
        EXPECT_LE(n, sizeof(p->Profile.name) - 1);
        EXPECT_EQ(longName.compare(0, n, p->Profile.name), 0) << p->Profile.name;
    }
    MediaProfileList *m = dev->media2_profiles;
    EXPECT_TRUE(m->MediaProfile.configurations.flags & ONVIF_CONFIGURATION_SET_HAS_AUDIO_SOURCE);
    EXPECT_FALSE(m->next->next->MediaProfile.configurations.flags &
                 ONVIF_CONFIGURATION_SET_HAS_AUDIO_SOURCE);

    // Both services' URIs; media skips the H.265 profiles it shows without any
    // encoder (the second one keeps its audio encoder and streams).
    ASSERT_EQ(GetStreamUris(dev, 0 /* UDP */), 1);
    ASSERT_EQ(tr2_GetStreamUris(dev, "RTSP"), 1);
    int media_uris = 0, media2_uris = 0;
    for (ProfileList *p = dev->profiles; p; p = p->next)
        media_uris += p->Profile.stream_uri[0] != 0;
    for (MediaProfileList *q = dev->media2_profiles; q; q = q->next)
        media2_uris += q->MediaProfile.stream_uri[0] != 0;
    EXPECT_EQ(media_uris, 4);
    EXPECT_EQ(media2_uris, 6);

    // The chosen profile survives a refresh (a new node, the same token).
    dev->cur_profile = dev->profiles->next->next;
    ASSERT_EQ(GetProfiles(dev), 1);
    ASSERT_NE(dev->cur_profile, nullptr);
    EXPECT_STREQ(dev->cur_profile->Profile.token, "Profile_3");
    onvif_free_device(dev);
    EXPECT_EQ(dev->profiles, nullptr);
    EXPECT_EQ(dev->media2_profiles, nullptr);
    EXPECT_EQ(dev->cur_profile, nullptr);
}

#endif // CAMSIM_PATH

TEST(MediaLists, TheCurrentVideoSourceAndTheProfileRelease)
{
    ProfileList *profiles = nullptr;
    for (const char *t : {"Profile_1", "Profile_2", "Profile_3"})
        strcpy(onvif_add_profile(&profiles)->Profile.token, t);
    EXPECT_EQ(tokens(profiles), (Tokens{"Profile_1", "Profile_2", "Profile_3"}));

    ONVIF_DEVICE dev;
    memset(&dev, 0, sizeof(dev));
    EXPECT_EQ(onvif_get_cur_VideoSource(nullptr), nullptr);
    EXPECT_EQ(onvif_get_cur_VideoSource(&dev), nullptr); // no profiles
    dev.profiles = profiles;
    for (const char *t : {"VS_A", "VS_B"})
        strcpy(onvif_add_VideoSource(&dev.video_sources)->VideoSource.token, t);
    EXPECT_EQ(onvif_get_cur_VideoSource(&dev), nullptr); // no source configuration
    for (ProfileList *p = profiles; p; p = p->next)
        p->Profile.flags |= ONVIF_PROFILE_HAS_VIDEO_SOURCE_CONFIGURATION;
    strcpy(profiles->Profile.video_source_configuration.source_token, "VS_A");
    strcpy(profiles->next->Profile.video_source_configuration.source_token, "VS_B");
    strcpy(profiles->next->next->Profile.video_source_configuration.source_token, "VS_C");
    EXPECT_EQ(onvif_get_cur_VideoSource(&dev), dev.video_sources); // the first profile's
    dev.cur_profile = profiles->next;
    EXPECT_EQ(onvif_get_cur_VideoSource(&dev), dev.video_sources->next);
    dev.cur_profile = profiles->next->next;
    EXPECT_EQ(onvif_get_cur_VideoSource(&dev), nullptr); // its source is not listed

    // A record's own lists go with onvif_free_profile; the list with onvif_free_device.
    ONVIF_PROFILE *rec = &profiles->Profile;
    ConfigList *module = static_cast<ConfigList *>(calloc(1, sizeof(ConfigList)));
    ASSERT_NE(module, nullptr);
    rec->video_analytics_configuration.analytics_engine_configuration.analytics_module = module;
    ASSERT_NE(onvif_add_SimpleItem(&module->Config.parameters.simple_item), nullptr);
    onvif_free_profile(rec);
    EXPECT_EQ(rec->video_analytics_configuration.analytics_engine_configuration.analytics_module,
              nullptr);
    onvif_free_device(&dev);
    EXPECT_EQ(dev.profiles, nullptr);
    EXPECT_EQ(dev.video_sources, nullptr);
}
