// Operation catalogue: numbering, per-type facts and action rows, checked
// against the catalogue text and against the ONVIF WSDL files.
#include "onvif/onvif_act.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

struct Block {
    const char *prefix;
    int first;
    int last;
    const char *names; // ", "-separated operation names in type order
};

// The catalogue as published: one block per service, in type order.
const Block kBlocks[] = {
    {"tds", 1, 64,
     "GetCapabilities, GetServices, GetServiceCapabilities, GetDeviceInformation, GetUsers, "
     "CreateUsers, DeleteUsers, SetUser, GetRemoteUser, SetRemoteUser, GetNetworkInterfaces, "
     "SetNetworkInterfaces, GetNTP, SetNTP, GetHostname, SetHostname, SetHostnameFromDHCP, GetDNS, "
     "SetDNS, GetDynamicDNS, SetDynamicDNS, GetNetworkProtocols, SetNetworkProtocols, "
     "GetDiscoveryMode, SetDiscoveryMode, GetNetworkDefaultGateway, SetNetworkDefaultGateway, "
     "GetZeroConfiguration, SetZeroConfiguration, GetEndpointReference, SendAuxiliaryCommand, "
     "GetRelayOutputs, SetRelayOutputSettings, SetRelayOutputState, GetSystemDateAndTime, "
     "SetSystemDateAndTime, SystemReboot, SetSystemFactoryDefault, GetSystemLog, GetScopes, "
     "SetScopes, AddScopes, RemoveScopes, StartFirmwareUpgrade, GetSystemUris, StartSystemRestore, "
     "GetWsdlUrl, GetDot11Capabilities, GetDot11Status, ScanAvailableDot11Networks, "
     "GetGeoLocation, SetGeoLocation, DeleteGeoLocation, GetIPAddressFilter, SetIPAddressFilter, "
     "AddIPAddressFilter, RemoveIPAddressFilter, GetAccessPolicy, SetAccessPolicy, "
     "GetStorageConfigurations, CreateStorageConfiguration, GetStorageConfiguration, "
     "SetStorageConfiguration, DeleteStorageConfiguration"},
    {"trt", 65, 127,
     "GetServiceCapabilities, GetVideoSources, GetAudioSources, CreateProfile, GetProfile, "
     "GetProfiles, AddVideoEncoderConfiguration, AddVideoSourceConfiguration, "
     "AddAudioEncoderConfiguration, AddAudioSourceConfiguration, GetVideoSourceModes, "
     "SetVideoSourceMode, AddPTZConfiguration, RemoveVideoEncoderConfiguration, "
     "RemoveVideoSourceConfiguration, RemoveAudioEncoderConfiguration, "
     "RemoveAudioSourceConfiguration, RemovePTZConfiguration, DeleteProfile, "
     "GetVideoSourceConfigurations, GetVideoEncoderConfigurations, GetAudioSourceConfigurations, "
     "GetAudioEncoderConfigurations, GetVideoSourceConfiguration, GetVideoEncoderConfiguration, "
     "GetAudioSourceConfiguration, GetAudioEncoderConfiguration, SetVideoSourceConfiguration, "
     "SetVideoEncoderConfiguration, SetAudioSourceConfiguration, SetAudioEncoderConfiguration, "
     "GetVideoSourceConfigurationOptions, GetVideoEncoderConfigurationOptions, "
     "GetAudioSourceConfigurationOptions, GetAudioEncoderConfigurationOptions, GetStreamUri, "
     "SetSynchronizationPoint, GetSnapshotUri, GetGuaranteedNumberOfVideoEncoderInstances, "
     "GetAudioOutputs, GetAudioOutputConfigurations, GetAudioOutputConfiguration, "
     "GetAudioOutputConfigurationOptions, SetAudioOutputConfiguration, "
     "GetAudioDecoderConfigurations, GetAudioDecoderConfiguration, "
     "GetAudioDecoderConfigurationOptions, SetAudioDecoderConfiguration, "
     "AddAudioOutputConfiguration, AddAudioDecoderConfiguration, RemoveAudioOutputConfiguration, "
     "RemoveAudioDecoderConfiguration, GetOSDs, GetOSD, SetOSD, GetOSDOptions, CreateOSD, "
     "DeleteOSD, GetVideoAnalyticsConfigurations, AddVideoAnalyticsConfiguration, "
     "GetVideoAnalyticsConfiguration, RemoveVideoAnalyticsConfiguration, "
     "SetVideoAnalyticsConfiguration"},
    {"tr2", 128, 173,
     "GetServiceCapabilities, GetVideoEncoderConfigurations, SetVideoEncoderConfiguration, "
     "GetVideoEncoderConfigurationOptions, GetProfiles, CreateProfile, DeleteProfile, "
     "GetStreamUri, GetVideoSourceConfigurations, GetVideoSourceConfigurationOptions, "
     "SetVideoSourceConfiguration, SetSynchronizationPoint, GetMetadataConfigurations, "
     "GetMetadataConfigurationOptions, SetMetadataConfiguration, GetAudioEncoderConfigurations, "
     "GetAudioSourceConfigurations, GetAudioSourceConfigurationOptions, "
     "SetAudioSourceConfiguration, SetAudioEncoderConfiguration, "
     "GetAudioEncoderConfigurationOptions, AddConfiguration, RemoveConfiguration, "
     "GetVideoEncoderInstances, GetAudioOutputConfigurations, GetAudioOutputConfigurationOptions, "
     "SetAudioOutputConfiguration, GetAudioDecoderConfigurations, "
     "GetAudioDecoderConfigurationOptions, SetAudioDecoderConfiguration, GetSnapshotUri, "
     "StartMulticastStreaming, StopMulticastStreaming, GetVideoSourceModes, SetVideoSourceMode, "
     "CreateOSD, DeleteOSD, GetOSDs, SetOSD, GetOSDOptions, GetAnalyticsConfigurations, GetMasks, "
     "SetMask, CreateMask, DeleteMask, GetMaskOptions"},
    {"ptz", 174, 200,
     "GetServiceCapabilities, GetNodes, GetNode, GetPresets, SetPreset, RemovePreset, GotoPreset, "
     "GotoHomePosition, SetHomePosition, GetStatus, ContinuousMove, RelativeMove, AbsoluteMove, "
     "Stop, GetConfigurations, GetConfiguration, SetConfiguration, GetConfigurationOptions, "
     "GetPresetTours, GetPresetTour, GetPresetTourOptions, CreatePresetTour, ModifyPresetTour, "
     "OperatePresetTour, RemovePresetTour, SendAuxiliaryCommand, GeoMove"},
    {"tev", 201, 213,
     "GetServiceCapabilities, GetEventProperties, Renew, Unsubscribe, Subscribe, "
     "PauseSubscription, ResumeSubscription, CreatePullPointSubscription, DestroyPullPoint, "
     "PullMessages, GetMessages, Seek, SetSynchronizationPoint"},
    {"img", 214, 224,
     "GetServiceCapabilities, GetImagingSettings, SetImagingSettings, GetOptions, Move, Stop, "
     "GetStatus, GetMoveOptions, GetPresets, GetCurrentPreset, SetCurrentPreset"},
    {"tmd", 225, 232,
     "GetServiceCapabilities, GetRelayOutputs, GetRelayOutputOptions, SetRelayOutputSettings, "
     "SetRelayOutputState, GetDigitalInputs, GetDigitalInputConfigurationOptions, "
     "SetDigitalInputConfigurations"},
    {"trc", 233, 250,
     "GetServiceCapabilities, CreateRecording, DeleteRecording, GetRecordings, "
     "SetRecordingConfiguration, GetRecordingConfiguration, GetRecordingOptions, CreateTrack, "
     "DeleteTrack, GetTrackConfiguration, SetTrackConfiguration, CreateRecordingJob, "
     "DeleteRecordingJob, GetRecordingJobs, SetRecordingJobConfiguration, "
     "GetRecordingJobConfiguration, SetRecordingJobMode, GetRecordingJobState"},
    {"trp", 251, 254,
     "GetServiceCapabilities, GetReplayUri, GetReplayConfiguration, SetReplayConfiguration"},
    {"tse", 255, 268,
     "GetServiceCapabilities, GetRecordingSummary, GetRecordingInformation, GetMediaAttributes, "
     "FindRecordings, GetRecordingSearchResults, FindEvents, GetEventSearchResults, FindMetadata, "
     "GetMetadataSearchResults, FindPTZPosition, GetPTZPositionSearchResults, GetSearchState, "
     "EndSearch"},
    {"tan", 269, 281,
     "GetServiceCapabilities, GetSupportedRules, CreateRules, DeleteRules, GetRules, ModifyRules, "
     "CreateAnalyticsModules, DeleteAnalyticsModules, GetAnalyticsModules, ModifyAnalyticsModules, "
     "GetSupportedAnalyticsModules, GetRuleOptions, GetAnalyticsModuleOptions"},
    {"tac", 282, 301,
     "GetServiceCapabilities, GetAccessPointInfoList, GetAccessPointInfo, GetAccessPointList, "
     "GetAccessPoints, CreateAccessPoint, SetAccessPoint, ModifyAccessPoint, DeleteAccessPoint, "
     "GetAreaInfoList, GetAreaInfo, GetAreaList, GetAreas, CreateArea, SetArea, ModifyArea, "
     "DeleteArea, GetAccessPointState, EnableAccessPoint, DisableAccessPoint"},
    {"tdc", 302, 320,
     "GetServiceCapabilities, GetDoorInfoList, GetDoorInfo, GetDoorState, AccessDoor, LockDoor, "
     "UnlockDoor, DoubleLockDoor, BlockDoor, LockDownDoor, LockDownReleaseDoor, LockOpenDoor, "
     "LockOpenReleaseDoor, GetDoors, GetDoorList, CreateDoor, SetDoor, ModifyDoor, DeleteDoor"},
    {"tth", 321, 328,
     "GetServiceCapabilities, GetConfigurations, GetConfiguration, SetConfiguration, "
     "GetConfigurationOptions, GetRadiometryConfiguration, SetRadiometryConfiguration, "
     "GetRadiometryConfigurationOptions"},
    {"tcr", 329, 347,
     "GetServiceCapabilities, GetCredentialInfo, GetCredentialInfoList, GetCredentials, "
     "GetCredentialList, CreateCredential, ModifyCredential, DeleteCredential, GetCredentialState, "
     "EnableCredential, DisableCredential, ResetAntipassbackViolation, GetSupportedFormatTypes, "
     "GetCredentialIdentifiers, SetCredentialIdentifier, DeleteCredentialIdentifier, "
     "GetCredentialAccessProfiles, SetCredentialAccessProfiles, DeleteCredentialAccessProfiles"},
    {"tar", 348, 355,
     "GetServiceCapabilities, GetAccessProfileInfo, GetAccessProfileInfoList, GetAccessProfiles, "
     "GetAccessProfileList, CreateAccessProfile, ModifyAccessProfile, DeleteAccessProfile"},
    {"tsc", 356, 371,
     "GetServiceCapabilities, GetScheduleInfo, GetScheduleInfoList, GetSchedules, GetScheduleList, "
     "CreateSchedule, ModifySchedule, DeleteSchedule, GetSpecialDayGroupInfo, "
     "GetSpecialDayGroupInfoList, GetSpecialDayGroups, GetSpecialDayGroupList, "
     "CreateSpecialDayGroup, ModifySpecialDayGroup, DeleteSpecialDayGroup, GetScheduleState"},
    {"trv", 372, 379,
     "GetServiceCapabilities, GetReceivers, GetReceiver, CreateReceiver, DeleteReceiver, "
     "ConfigureReceiver, SetReceiverMode, GetReceiverState"},
    {"tpv", 380, 387,
     "GetServiceCapabilities, PanMove, TiltMove, ZoomMove, RollMove, FocusMove, Stop, GetUsage"},
};

// Service names used by the two lists below, in block order.
const char *const kServiceNames[] = {"device",       "media",    "media 2",     "PTZ",
                                     "events",       "imaging",  "device IO",   "recording",
                                     "replay",       "search",   "analytics",   "access control",
                                     "door control", "thermal",  "credential",  "access rules",
                                     "schedule",     "receiver", "provisioning"};

std::vector<std::string> split(const std::string &text, const std::string &sep)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    for (int guard = 0; guard < 1000; guard++) {
        std::size_t next = text.find(sep, pos);
        out.push_back(text.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) break;
        pos = next + sep.size();
    }
    return out;
}

// The rows whose action is not "<base>/<name>".
const std::map<int, std::string> kExceptions = {
    {125, "http://www.onvif.org/ver10/media/wsdl/GetVideoAnalyticsConfiguration"},
    {201, "http://www.onvif.org/ver10/events/wsdl/EventPortType/GetServiceCapabilitiesRequest"},
    {202, "http://www.onvif.org/ver10/events/wsdl/EventPortType/GetEventPropertiesRequest"},
    {203, "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/RenewRequest"},
    {204, "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/UnsubscribeRequest"},
    {205, "http://docs.oasis-open.org/wsn/bw-2/NotificationProducer/SubscribeRequest"},
    {206,
     "http://docs.oasis-open.org/wsn/bw-2/PausableSubscriptionManager/PauseSubscriptionRequest"},
    {207,
     "http://docs.oasis-open.org/wsn/bw-2/PausableSubscriptionManager/ResumeSubscriptionRequest"},
    {208,
     "http://www.onvif.org/ver10/events/wsdl/EventPortType/CreatePullPointSubscriptionRequest"},
    {209, "http://docs.oasis-open.org/wsn/bw-2/PullPoint/DestroyPullPointRequest"},
    {210, "http://www.onvif.org/ver10/events/wsdl/PullPointSubscription/PullMessagesRequest"},
    {211, "http://docs.oasis-open.org/wsn/bw-2/PullPoint/GetMessagesRequest"},
    {212, "http://www.onvif.org/ver10/events/wsdl/PullPointSubscription/SeekRequest"},
    {213,
     "http://www.onvif.org/ver10/events/wsdl/PullPointSubscription/SetSynchronizationPointRequest"},
    {219, "http://www.onvif.org/ver20/imaging/wsdl/FocusStop"},
};

std::string action_of(int type)
{
    const ONVIF_ACTION *row = onvif_find_action_by_type(static_cast<uint32_t>(type));
    return row ? std::string(row->action) : std::string("<none>");
}

} // namespace

TEST(OnvifAct, ConstantsUsedByTheApplication)
{
    static_assert(ACT_tds_GetCapabilities == 1, "");
    static_assert(ACT_tds_GetDeviceInformation == 4, "");
    static_assert(ACT_tds_GetNetworkInterfaces == 11, "");
    static_assert(ACT_tds_SetNetworkInterfaces == 12, "");
    static_assert(ACT_tds_SetDNS == 19, "");
    static_assert(ACT_tds_SetNetworkDefaultGateway == 27, "");
    static_assert(ACT_tds_GetSystemDateAndTime == 35, "");
    static_assert(ACT_trt_GetServiceCapabilities == 65, "");
    static_assert(ACT_tpv_GetUsage == 387, "");
    static_assert(ONVIF_ACT_COUNT == 387 && ONVIF_ACT_MAX == 387 && ONVIF_SVC_COUNT == 19, "");
    EXPECT_STREQ(onvif_act_name(ACT_tds_GetSystemDateAndTime), "GetSystemDateAndTime");
    EXPECT_EQ(action_of(ACT_tds_GetDeviceInformation),
              "http://www.onvif.org/ver10/device/wsdl/GetDeviceInformation");
    EXPECT_EQ(action_of(ACT_tds_SetNetworkDefaultGateway),
              "http://www.onvif.org/ver10/device/wsdl/SetNetworkDefaultGateway");
}

// Every type has the name, service and prefix of its place in the catalogue.
TEST(OnvifAct, NumberingFollowsTheCatalogue)
{
    int expected_first = 1;
    for (int svc = 0; svc < ONVIF_SVC_COUNT; svc++) {
        const Block &b = kBlocks[svc];
        SCOPED_TRACE(b.prefix);
        std::vector<std::string> names = split(b.names, ", ");
        EXPECT_EQ(b.first, expected_first);
        ASSERT_EQ(static_cast<int>(names.size()), b.last - b.first + 1);
        EXPECT_EQ(onvif_svc_first_type(svc), b.first);
        EXPECT_EQ(onvif_svc_last_type(svc), b.last);
        EXPECT_STREQ(onvif_svc_prefix(svc), b.prefix);
        for (int t = b.first; t <= b.last; t++) {
            ASSERT_NE(onvif_act_name(t), nullptr) << t;
            EXPECT_EQ(names[t - b.first], onvif_act_name(t)) << t;
            EXPECT_EQ(onvif_act_service(t), svc) << t;
            EXPECT_STREQ(onvif_act_prefix(t), b.prefix) << t;
        }
        expected_first = b.last + 1;
    }
    EXPECT_EQ(expected_first, 388);
}

TEST(OnvifAct, BlockBoundaries)
{
    struct Edge {
        int type;
        const char *prefix;
        const char *name;
    };
    const Edge edges[] = {
        {1, "tds", "GetCapabilities"},          {64, "tds", "DeleteStorageConfiguration"},
        {65, "trt", "GetServiceCapabilities"},  {127, "trt", "SetVideoAnalyticsConfiguration"},
        {128, "tr2", "GetServiceCapabilities"}, {173, "tr2", "GetMaskOptions"},
        {174, "ptz", "GetServiceCapabilities"}, {200, "ptz", "GeoMove"},
        {201, "tev", "GetServiceCapabilities"}, {213, "tev", "SetSynchronizationPoint"},
        {214, "img", "GetServiceCapabilities"}, {224, "img", "SetCurrentPreset"},
        {225, "tmd", "GetServiceCapabilities"}, {232, "tmd", "SetDigitalInputConfigurations"},
        {233, "trc", "GetServiceCapabilities"}, {250, "trc", "GetRecordingJobState"},
        {251, "trp", "GetServiceCapabilities"}, {254, "trp", "SetReplayConfiguration"},
        {255, "tse", "GetServiceCapabilities"}, {268, "tse", "EndSearch"},
        {269, "tan", "GetServiceCapabilities"}, {281, "tan", "GetAnalyticsModuleOptions"},
        {282, "tac", "GetServiceCapabilities"}, {301, "tac", "DisableAccessPoint"},
        {302, "tdc", "GetServiceCapabilities"}, {320, "tdc", "DeleteDoor"},
        {321, "tth", "GetServiceCapabilities"}, {328, "tth", "GetRadiometryConfigurationOptions"},
        {329, "tcr", "GetServiceCapabilities"}, {347, "tcr", "DeleteCredentialAccessProfiles"},
        {348, "tar", "GetServiceCapabilities"}, {355, "tar", "DeleteAccessProfile"},
        {356, "tsc", "GetServiceCapabilities"}, {371, "tsc", "GetScheduleState"},
        {372, "trv", "GetServiceCapabilities"}, {379, "trv", "GetReceiverState"},
        {380, "tpv", "GetServiceCapabilities"}, {387, "tpv", "GetUsage"},
    };
    for (const Edge &e : edges) {
        EXPECT_STREQ(onvif_act_prefix(e.type), e.prefix) << e.type;
        EXPECT_STREQ(onvif_act_name(e.type), e.name) << e.type;
    }

    // Outside 1..387 nothing is known.
    for (int t : {-1, 0, 388, 1000}) {
        EXPECT_EQ(onvif_act_name(t), nullptr) << t;
        EXPECT_EQ(onvif_act_prefix(t), nullptr) << t;
        EXPECT_EQ(onvif_act_service(t), -1) << t;
        EXPECT_EQ(onvif_act_has_output(t), 0) << t;
        EXPECT_EQ(onvif_act_clears_result(t), 0) << t;
    }
    for (int s : {-1, static_cast<int>(ONVIF_SVC_COUNT)}) {
        EXPECT_EQ(onvif_svc_prefix(s), nullptr);
        EXPECT_EQ(onvif_svc_action_base(s), nullptr);
        EXPECT_EQ(onvif_svc_first_type(s), 0);
        EXPECT_EQ(onvif_svc_last_type(s), 0);
    }
}

// 387 rows, each type exactly once, grouped by service with the analytics
// rows ahead of the device IO rows; lookup finds every type.
TEST(OnvifAct, ActionTableHasEveryTypeOnce)
{
    std::vector<int> seen(ONVIF_ACT_MAX + 1, 0);
    std::vector<int> groups;
    for (int i = 0; i < ONVIF_ACT_COUNT; i++) {
        const ONVIF_ACTION *row = onvif_action_at(i);
        ASSERT_NE(row, nullptr) << i;
        ASSERT_GE(row->type, 1u);
        ASSERT_LE(row->type, 387u);
        seen[row->type]++;
        ASSERT_NE(memchr(row->action, '\0', sizeof(row->action)), nullptr);
        EXPECT_GT(strlen(row->action), 0u);
        int svc = onvif_act_service(static_cast<int>(row->type));
        if (groups.empty() || groups.back() != svc) groups.push_back(svc);
        EXPECT_EQ(onvif_find_action_by_type(row->type), row);
    }
    for (int t = 1; t <= ONVIF_ACT_MAX; t++)
        EXPECT_EQ(seen[t], 1) << t;
    EXPECT_EQ(onvif_action_at(-1), nullptr);
    EXPECT_EQ(onvif_action_at(ONVIF_ACT_COUNT), nullptr);

    const std::vector<int> order = {
        ONVIF_SVC_DEVICE,      ONVIF_SVC_MEDIA,    ONVIF_SVC_MEDIA2,      ONVIF_SVC_PTZ,
        ONVIF_SVC_EVENTS,      ONVIF_SVC_IMAGING,  ONVIF_SVC_ANALYTICS,   ONVIF_SVC_DEVICEIO,
        ONVIF_SVC_RECORDING,   ONVIF_SVC_REPLAY,   ONVIF_SVC_SEARCH,      ONVIF_SVC_ACCESSCONTROL,
        ONVIF_SVC_DOORCONTROL, ONVIF_SVC_THERMAL,  ONVIF_SVC_CREDENTIAL,  ONVIF_SVC_ACCESSRULES,
        ONVIF_SVC_SCHEDULE,    ONVIF_SVC_RECEIVER, ONVIF_SVC_PROVISIONING};
    EXPECT_EQ(groups, order);

    EXPECT_EQ(onvif_find_action_by_type(0), nullptr);
    EXPECT_EQ(onvif_find_action_by_type(388), nullptr);
    EXPECT_EQ(onvif_find_action_by_type(0xFFFFFFFFu), nullptr);
}

// Every action is "<service base>/<operation>" except the listed rows, which
// carry their published URIs exactly.
TEST(OnvifAct, ActionsFollowBaseAndNameExceptListedRows)
{
    const char *const bases[ONVIF_SVC_COUNT] = {"http://www.onvif.org/ver10/device/wsdl",
                                                "http://www.onvif.org/ver10/media/wsdl",
                                                "http://www.onvif.org/ver20/media/wsdl",
                                                "http://www.onvif.org/ver20/ptz/wsdl",
                                                "http://www.onvif.org/ver10/events/wsdl",
                                                "http://www.onvif.org/ver20/imaging/wsdl",
                                                "http://www.onvif.org/ver10/deviceio/wsdl",
                                                "http://www.onvif.org/ver10/recording/wsdl",
                                                "http://www.onvif.org/ver10/replay/wsdl",
                                                "http://www.onvif.org/ver10/search/wsdl",
                                                "http://www.onvif.org/ver20/analytics/wsdl",
                                                "http://www.onvif.org/ver10/accesscontrol/wsdl",
                                                "http://www.onvif.org/ver10/doorcontrol/wsdl",
                                                "http://www.onvif.org/ver10/thermal/wsdl",
                                                "http://www.onvif.org/ver10/credential/wsdl",
                                                "http://www.onvif.org/ver10/accessrules/wsdl",
                                                "http://www.onvif.org/ver10/schedule/wsdl",
                                                "http://www.onvif.org/ver10/receiver/wsdl",
                                                "http://www.onvif.org/ver10/provisioning/wsdl"};
    for (int svc = 0; svc < ONVIF_SVC_COUNT; svc++)
        EXPECT_STREQ(onvif_svc_action_base(svc), bases[svc]);

    int exceptions = 0;
    for (int t = 1; t <= ONVIF_ACT_MAX; t++) {
        auto it = kExceptions.find(t);
        if (it != kExceptions.end()) {
            EXPECT_EQ(action_of(t), it->second) << t;
            exceptions++;
        } else {
            EXPECT_EQ(action_of(t),
                      std::string(bases[onvif_act_service(t)]) + "/" + onvif_act_name(t))
                << t;
        }
    }
    EXPECT_EQ(exceptions, 15);

    // Same names in different services are told apart by their actions.
    EXPECT_EQ(action_of(ACT_img_Stop), "http://www.onvif.org/ver20/imaging/wsdl/FocusStop");
    EXPECT_EQ(action_of(ACT_ptz_Stop), "http://www.onvif.org/ver20/ptz/wsdl/Stop");
    EXPECT_EQ(action_of(ACT_tpv_Stop), "http://www.onvif.org/ver10/provisioning/wsdl/Stop");
    EXPECT_EQ(ACT_trt_GetVideoAnalyticsConfigurations, 123);
    EXPECT_EQ(ACT_trt_GetVideoAnalyticsConfiguration, 125);
    EXPECT_NE(action_of(123), action_of(125));
    EXPECT_EQ(action_of(ACT_tmd_GetRelayOutputs),
              "http://www.onvif.org/ver10/deviceio/wsdl/GetRelayOutputs");
    EXPECT_EQ(action_of(ACT_tds_GetRelayOutputs),
              "http://www.onvif.org/ver10/device/wsdl/GetRelayOutputs");
    EXPECT_EQ(action_of(ACT_tr2_GetProfiles), "http://www.onvif.org/ver20/media/wsdl/GetProfiles");
    EXPECT_EQ(action_of(ACT_tev_Renew),
              "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/RenewRequest");
}

// Has-output and clears-result flags match the two published lists.

namespace
{

std::string read_file(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

// Every operation exists in the WSDL of its service's namespace; the listed
// rows' actions appear as actions in the WSDL files.
TEST(OnvifAct, OperationsExistInTheServiceDescriptions)
{
    namespace fs = std::filesystem;
    fs::path dir = fs::path(ONVIF_SCHEMA_DIR) / "wsdl";
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        GTEST_SKIP() << "ONVIF WSDL folder not found at " << dir.string();

    std::map<std::string, std::set<std::string>> ops; // namespace (lower case) -> operations
    std::set<std::string> actions;
    const std::regex ns_re("targetNamespace=\"([^\"]*)\"");
    const std::regex op_re("<wsdl:operation\\s+name=\"([^\"]*)\"");
    const std::regex act_re("[Aa]ction=\"([^\"]*)\"");
    int files = 0;
    fs::recursive_directory_iterator it(dir, ec), end;
    for (int guard = 0; it != end && guard < 10000; it.increment(ec), guard++) {
        if (ec) break;
        if (it->path().extension() != ".wsdl") continue;
        std::string text = read_file(it->path());
        std::smatch m;
        if (!std::regex_search(text, m, ns_re)) continue;
        files++;
        std::set<std::string> &set = ops[lower(m[1].str())];
        for (std::sregex_iterator r(text.begin(), text.end(), op_re), e; r != e; ++r)
            set.insert((*r)[1].str());
        for (std::sregex_iterator r(text.begin(), text.end(), act_re), e; r != e; ++r)
            actions.insert((*r)[1].str());
    }
    ASSERT_GT(files, 10) << "too few WSDL files under " << dir.string();

    for (int t = 1; t <= ONVIF_ACT_MAX; t++) {
        std::string ns = lower(onvif_svc_action_base(onvif_act_service(t)));
        auto found = ops.find(ns);
        ASSERT_NE(found, ops.end()) << "no WSDL for " << ns;
        EXPECT_EQ(found->second.count(onvif_act_name(t)), 1u)
            << t << " " << onvif_act_prefix(t) << " " << onvif_act_name(t);
    }
    for (const auto &e : kExceptions)
        EXPECT_EQ(actions.count(e.second), 1u) << e.first << " " << e.second;
}
