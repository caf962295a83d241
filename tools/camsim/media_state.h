// What the media and media 2 services of one camera remember. Both services
// show the same camera: one video source with one source configuration, one
// audio source and encoder, the video encoders, the profiles that combine
// them, the OSDs and the privacy masks. Media shows a profile through
// tt:Profile, media 2 through tr2:MediaProfile; an encoder media cannot
// describe (H.265) is left out of the media view of its profile.
#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "config.h"

namespace camsim
{

// The fixed parts of every simulated camera.
namespace media
{
const char kVideoSource[] = "VideoSource_1";
const char kVideoSourceConfig[] = "VSC_1";
const char kAudioSource[] = "AudioSource_1";
const char kAudioSourceConfig[] = "ASC_1";
const char kAudioEncoder[] = "AEC_1";
const char kAudioOutput[] = "AudioOutput_1";
const char kPtzConfig[] = "PTZConfig_1";
const char kPtzNode[] = "PTZNode_1";
const char kSourceMode[] = "VSM_1080p30";
const int kSourceWidth = 1920, kSourceHeight = 1080, kSourceFps = 30;
const int kMaxProfiles = 6, kMaxOsds = 8, kMaxMasks = 4, kMaxMaskPoints = 16;
} // namespace media

struct VideoEncoderState {
    QString token, name;
    QString encoding; // H264, H265, JPEG
    QString profile;  // H264: Baseline, Main, High; H265: Main, Main10; JPEG: ""
    int width = 0, height = 0;
    int fps = 25;        // frame rate limit
    int interval = 1;    // encoding interval
    int bitrate = 4096;  // kbit/s
    int gov = 50;        // GOV length
    double quality = 50; // 0..100
};

struct MediaProfileState {
    QString token, name;
    bool fixed = false;
    // tokens of the configurations it holds; "" when it holds none of a kind
    QString videoSource, audioSource, videoEncoder, audioEncoder, ptz;
};

struct OsdState {
    QString token;
    QString type = QStringLiteral("Text"); // Text or Image
    QString position = QStringLiteral("UpperLeft");
    bool hasPos = false; // Custom position
    double x = 0, y = 0;
    QString textType = QStringLiteral("Plain"); // Plain, Date, Time, DateAndTime
    QString plainText, imagePath;
};

struct MaskState {
    QString token;
    QString type = QStringLiteral("Color");
    std::vector<std::pair<double, double>> points;
    bool enabled = true;
    bool hasColor = false;
    double cx = 0, cy = 0, cz = 0;
};

struct MediaState {
    std::vector<VideoEncoderState> encoders;
    std::vector<MediaProfileState> profiles;
    std::vector<OsdState> osds;
    std::vector<MaskState> masks;
    int nextProfile = 1, nextOsd = 1, nextMask = 1;

    MediaProfileState *profile(const QString &token);
    VideoEncoderState *encoder(const QString &token);
    const VideoEncoderState *encoder(const QString &token) const;
};

// The state a camera starts with: the configured profiles (media_profiles),
// or a H.264 main stream with audio (and the PTZ configuration when the
// camera has PTZ), a H.265 sub stream and a JPEG stream; one date-and-time OSD.
MediaState initialMediaState(const CameraConfig &c);

} // namespace camsim
