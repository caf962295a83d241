// The media (ver10) and media 2 (ver20) services of a simulated camera: one
// handler per operation, listed in the tables of media_service.cpp and
// media2_service.cpp, over the state of media_state.h. The shared pieces
// (configurations as XML, URIs, request readers) are here too. Private to
// camsim's sources.
#pragma once

#include "camera.h"
#include "media_state.h"
#include "soap_service.h"

namespace camsim
{

struct MediaService {
    // ---- shared (media_service.cpp) ----
    static El &reply(SoapCall &call, int ns); // call.out = <Operation>Response
    static El capabilities();                 // trt:Capabilities
    static El capabilities2();                // tr2:Capabilities
    static int useCount(const Camera &cam, const QString &kind, const QString &token);
    static El videoSourceConfig(const Camera &cam, int ns, const QString &name);
    static El audioSourceConfig(const Camera &cam, int ns, const QString &name);
    static El ptzConfig(const Camera &cam, int ns, const QString &name);
    static El osd(const OsdState &o, int ns, const QString &name);
    static El videoSourceMode(int ns, const QString &name);
    static El osdOptions(int ns, const QString &name);
    static QString streamUri(const Camera &cam, const QString &profile, bool overHttp);
    static QString snapshotUri(const Camera &cam, const QString &profile);
    // an OSD from a request element; false with a reason
    static bool readOsd(const XNode &x, OsdState &o, QString &why);
    // the profile named by a request, or a fault
    static MediaProfileState *profileOf(Camera &cam, SoapCall &call, const QString &token);
    static bool deleteOsd(Camera &cam, SoapCall &call, const QString &token);
    static bool createOsd(Camera &cam, SoapCall &call, int ns);
    static bool setOsd(Camera &cam, SoapCall &call);
    static bool noConfig(Camera &cam, SoapCall &call, const QString &token);

    // ---- media (media_service.cpp) ----
    static bool getServiceCapabilities(Camera &cam, SoapCall &call);
    static bool getVideoSources(Camera &cam, SoapCall &call);
    static bool getAudioSources(Camera &cam, SoapCall &call);
    static bool getAudioOutputs(Camera &cam, SoapCall &call);
    static bool getProfiles(Camera &cam, SoapCall &call);
    static bool getProfile(Camera &cam, SoapCall &call);
    static bool createProfile(Camera &cam, SoapCall &call);
    static bool deleteProfile(Camera &cam, SoapCall &call);
    static bool addConfiguration(Camera &cam, SoapCall &call);
    static bool removeConfiguration(Camera &cam, SoapCall &call);
    static bool getVideoSourceConfigurations(Camera &cam, SoapCall &call);
    static bool getVideoSourceConfiguration(Camera &cam, SoapCall &call);
    static bool getAudioSourceConfigurations(Camera &cam, SoapCall &call);
    static bool getAudioSourceConfiguration(Camera &cam, SoapCall &call);
    static bool getVideoEncoderConfigurations(Camera &cam, SoapCall &call);
    static bool getVideoEncoderConfiguration(Camera &cam, SoapCall &call);
    static bool setVideoEncoderConfiguration(Camera &cam, SoapCall &call);
    static bool getVideoEncoderConfigurationOptions(Camera &cam, SoapCall &call);
    static bool getAudioEncoderConfigurations(Camera &cam, SoapCall &call);
    static bool getAudioEncoderConfiguration(Camera &cam, SoapCall &call);
    static bool getStreamUri(Camera &cam, SoapCall &call);
    static bool getSnapshotUri(Camera &cam, SoapCall &call);
    static bool setSynchronizationPoint(Camera &cam, SoapCall &call);
    static bool getVideoSourceModes(Camera &cam, SoapCall &call);
    static bool getGuaranteedNumberOfVideoEncoderInstances(Camera &cam, SoapCall &call);
    static bool getOSDs(Camera &cam, SoapCall &call);
    static bool getOSD(Camera &cam, SoapCall &call);
    static bool setOSD(Camera &cam, SoapCall &call);
    static bool createOSD(Camera &cam, SoapCall &call);
    static bool deleteOSD(Camera &cam, SoapCall &call);
    static bool getOSDOptions(Camera &cam, SoapCall &call);

    // ---- media 2 (media2_service.cpp) ----
    static bool getServiceCapabilities2(Camera &cam, SoapCall &call);
    static bool getProfiles2(Camera &cam, SoapCall &call);
    static bool createProfile2(Camera &cam, SoapCall &call);
    static bool deleteProfile2(Camera &cam, SoapCall &call);
    static bool addConfiguration2(Camera &cam, SoapCall &call);
    static bool removeConfiguration2(Camera &cam, SoapCall &call);
    static bool getVideoSourceConfigurations2(Camera &cam, SoapCall &call);
    static bool getAudioSourceConfigurations2(Camera &cam, SoapCall &call);
    static bool getVideoEncoderConfigurations2(Camera &cam, SoapCall &call);
    static bool setVideoEncoderConfiguration2(Camera &cam, SoapCall &call);
    static bool getVideoEncoderConfigurationOptions2(Camera &cam, SoapCall &call);
    static bool getAudioEncoderConfigurations2(Camera &cam, SoapCall &call);
    static bool getStreamUri2(Camera &cam, SoapCall &call);
    static bool getSnapshotUri2(Camera &cam, SoapCall &call);
    static bool setSynchronizationPoint2(Camera &cam, SoapCall &call);
    static bool getVideoSourceModes2(Camera &cam, SoapCall &call);
    static bool getVideoEncoderInstances2(Camera &cam, SoapCall &call);
    static bool getOSDs2(Camera &cam, SoapCall &call);
    static bool createOSD2(Camera &cam, SoapCall &call);
    static bool deleteOSD2(Camera &cam, SoapCall &call);
    static bool setOSD2(Camera &cam, SoapCall &call);
    static bool getOSDOptions2(Camera &cam, SoapCall &call);
    static bool getMasks2(Camera &cam, SoapCall &call);
    static bool createMask2(Camera &cam, SoapCall &call);
    static bool setMask2(Camera &cam, SoapCall &call);
    static bool deleteMask2(Camera &cam, SoapCall &call);
    static bool getMaskOptions2(Camera &cam, SoapCall &call);
};

} // namespace camsim
