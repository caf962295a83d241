/*
 * ONVIF operation catalogue: one compact row per operation type (service,
 * name, output kind) and the action table derived from it at compile time.
 */
#include "onvif/onvif_act.h"

#include <array>
#include <cstddef>

namespace
{

// What the response dispatcher does with a reply of this operation.
enum OutKind : uint8_t {
    N, // no output: the response element only has to be present
    C, // output; the result record is cleared before parsing
    K  // output; the parser updates the caller's record in place (not cleared)
};

struct ActRow {
    uint16_t type;
    uint8_t service;
    uint8_t kind;
    const char *name;
};

struct SvcRow {
    const char *prefix;
    const char *base;
};

constexpr SvcRow kServices[ONVIF_SVC_COUNT] = {
    {"tds", "http://www.onvif.org/ver10/device/wsdl"},
    {"trt", "http://www.onvif.org/ver10/media/wsdl"},
    {"tr2", "http://www.onvif.org/ver20/media/wsdl"},
    {"ptz", "http://www.onvif.org/ver20/ptz/wsdl"},
    {"tev", "http://www.onvif.org/ver10/events/wsdl"},
    {"img", "http://www.onvif.org/ver20/imaging/wsdl"},
    {"tmd", "http://www.onvif.org/ver10/deviceio/wsdl"},
    {"trc", "http://www.onvif.org/ver10/recording/wsdl"},
    {"trp", "http://www.onvif.org/ver10/replay/wsdl"},
    {"tse", "http://www.onvif.org/ver10/search/wsdl"},
    {"tan", "http://www.onvif.org/ver20/analytics/wsdl"},
    {"tac", "http://www.onvif.org/ver10/accesscontrol/wsdl"},
    {"tdc", "http://www.onvif.org/ver10/doorcontrol/wsdl"},
    {"tth", "http://www.onvif.org/ver10/thermal/wsdl"},
    {"tcr", "http://www.onvif.org/ver10/credential/wsdl"},
    {"tar", "http://www.onvif.org/ver10/accessrules/wsdl"},
    {"tsc", "http://www.onvif.org/ver10/schedule/wsdl"},
    {"trv", "http://www.onvif.org/ver10/receiver/wsdl"},
    {"tpv", "http://www.onvif.org/ver10/provisioning/wsdl"},
};

#define SVC_tds ONVIF_SVC_DEVICE
#define SVC_trt ONVIF_SVC_MEDIA
#define SVC_tr2 ONVIF_SVC_MEDIA2
#define SVC_ptz ONVIF_SVC_PTZ
#define SVC_tev ONVIF_SVC_EVENTS
#define SVC_img ONVIF_SVC_IMAGING
#define SVC_tmd ONVIF_SVC_DEVICEIO
#define SVC_trc ONVIF_SVC_RECORDING
#define SVC_trp ONVIF_SVC_REPLAY
#define SVC_tse ONVIF_SVC_SEARCH
#define SVC_tan ONVIF_SVC_ANALYTICS
#define SVC_tac ONVIF_SVC_ACCESSCONTROL
#define SVC_tdc ONVIF_SVC_DOORCONTROL
#define SVC_tth ONVIF_SVC_THERMAL
#define SVC_tcr ONVIF_SVC_CREDENTIAL
#define SVC_tar ONVIF_SVC_ACCESSRULES
#define SVC_tsc ONVIF_SVC_SCHEDULE
#define SVC_trv ONVIF_SVC_RECEIVER
#define SVC_tpv ONVIF_SVC_PROVISIONING

#define A(svc, op, kind)                                                                           \
    {                                                                                              \
        ACT_##svc##_##op, SVC_##svc, kind, #op                                                     \
    }

// In type order: row i describes type i + 1.
constexpr ActRow kActs[ONVIF_ACT_COUNT] = {
    /* device */
    A(tds, GetCapabilities, K),
    A(tds, GetServices, K),
    A(tds, GetServiceCapabilities, K),
    A(tds, GetDeviceInformation, K),
    A(tds, GetUsers, C),
    A(tds, CreateUsers, N),
    A(tds, DeleteUsers, N),
    A(tds, SetUser, N),
    A(tds, GetRemoteUser, K),
    A(tds, SetRemoteUser, N),
    A(tds, GetNetworkInterfaces, C),
    A(tds, SetNetworkInterfaces, C),
    A(tds, GetNTP, K),
    A(tds, SetNTP, N),
    A(tds, GetHostname, K),
    A(tds, SetHostname, N),
    A(tds, SetHostnameFromDHCP, K),
    A(tds, GetDNS, K),
    A(tds, SetDNS, N),
    A(tds, GetDynamicDNS, K),
    A(tds, SetDynamicDNS, N),
    A(tds, GetNetworkProtocols, K),
    A(tds, SetNetworkProtocols, N),
    A(tds, GetDiscoveryMode, K),
    A(tds, SetDiscoveryMode, N),
    A(tds, GetNetworkDefaultGateway, K),
    A(tds, SetNetworkDefaultGateway, N),
    A(tds, GetZeroConfiguration, C),
    A(tds, SetZeroConfiguration, N),
    A(tds, GetEndpointReference, C),
    A(tds, SendAuxiliaryCommand, C),
    A(tds, GetRelayOutputs, C),
    A(tds, SetRelayOutputSettings, N),
    A(tds, SetRelayOutputState, N),
    A(tds, GetSystemDateAndTime, K),
    A(tds, SetSystemDateAndTime, N),
    A(tds, SystemReboot, N),
    A(tds, SetSystemFactoryDefault, N),
    A(tds, GetSystemLog, C),
    A(tds, GetScopes, C),
    A(tds, SetScopes, N),
    A(tds, AddScopes, N),
    A(tds, RemoveScopes, N),
    A(tds, StartFirmwareUpgrade, K),
    A(tds, GetSystemUris, K),
    A(tds, StartSystemRestore, K),
    A(tds, GetWsdlUrl, K),
    A(tds, GetDot11Capabilities, K),
    A(tds, GetDot11Status, K),
    A(tds, ScanAvailableDot11Networks, K),
    A(tds, GetGeoLocation, K),
    A(tds, SetGeoLocation, N),
    A(tds, DeleteGeoLocation, N),
    A(tds, GetIPAddressFilter, K),
    A(tds, SetIPAddressFilter, N),
    A(tds, AddIPAddressFilter, N),
    A(tds, RemoveIPAddressFilter, N),
    A(tds, GetAccessPolicy, K),
    A(tds, SetAccessPolicy, N),
    A(tds, GetStorageConfigurations, K),
    A(tds, CreateStorageConfiguration, K),
    A(tds, GetStorageConfiguration, K),
    A(tds, SetStorageConfiguration, N),
    A(tds, DeleteStorageConfiguration, N),

    /* media */
    A(trt, GetServiceCapabilities, K),
    A(trt, GetVideoSources, K),
    A(trt, GetAudioSources, K),
    A(trt, CreateProfile, C),
    A(trt, GetProfile, C),
    A(trt, GetProfiles, C),
    A(trt, AddVideoEncoderConfiguration, N),
    A(trt, AddVideoSourceConfiguration, N),
    A(trt, AddAudioEncoderConfiguration, N),
    A(trt, AddAudioSourceConfiguration, N),
    A(trt, GetVideoSourceModes, C),
    A(trt, SetVideoSourceMode, C),
    A(trt, AddPTZConfiguration, N),
    A(trt, RemoveVideoEncoderConfiguration, N),
    A(trt, RemoveVideoSourceConfiguration, N),
    A(trt, RemoveAudioEncoderConfiguration, N),
    A(trt, RemoveAudioSourceConfiguration, N),
    A(trt, RemovePTZConfiguration, N),
    A(trt, DeleteProfile, N),
    A(trt, GetVideoSourceConfigurations, K),
    A(trt, GetVideoEncoderConfigurations, K),
    A(trt, GetAudioSourceConfigurations, K),
    A(trt, GetAudioEncoderConfigurations, K),
    A(trt, GetVideoSourceConfiguration, K),
    A(trt, GetVideoEncoderConfiguration, K),
    A(trt, GetAudioSourceConfiguration, K),
    A(trt, GetAudioEncoderConfiguration, K),
    A(trt, SetVideoSourceConfiguration, N),
    A(trt, SetVideoEncoderConfiguration, N),
    A(trt, SetAudioSourceConfiguration, N),
    A(trt, SetAudioEncoderConfiguration, N),
    A(trt, GetVideoSourceConfigurationOptions, C),
    A(trt, GetVideoEncoderConfigurationOptions, C),
    A(trt, GetAudioSourceConfigurationOptions, N),
    A(trt, GetAudioEncoderConfigurationOptions, C),
    A(trt, GetStreamUri, C),
    A(trt, SetSynchronizationPoint, N),
    A(trt, GetSnapshotUri, C),
    A(trt, GetGuaranteedNumberOfVideoEncoderInstances, C),
    A(trt, GetAudioOutputs, C),
    A(trt, GetAudioOutputConfigurations, C),
    A(trt, GetAudioOutputConfiguration, C),
    A(trt, GetAudioOutputConfigurationOptions, C),
    A(trt, SetAudioOutputConfiguration, N),
    A(trt, GetAudioDecoderConfigurations, C),
    A(trt, GetAudioDecoderConfiguration, C),
    A(trt, GetAudioDecoderConfigurationOptions, C),
    A(trt, SetAudioDecoderConfiguration, N),
    A(trt, AddAudioOutputConfiguration, N),
    A(trt, AddAudioDecoderConfiguration, N),
    A(trt, RemoveAudioOutputConfiguration, N),
    A(trt, RemoveAudioDecoderConfiguration, N),
    A(trt, GetOSDs, C),
    A(trt, GetOSD, C),
    A(trt, SetOSD, N),
    A(trt, GetOSDOptions, C),
    A(trt, CreateOSD, C),
    A(trt, DeleteOSD, N),
    A(trt, GetVideoAnalyticsConfigurations, C),
    A(trt, AddVideoAnalyticsConfiguration, N),
    A(trt, GetVideoAnalyticsConfiguration, C),
    A(trt, RemoveVideoAnalyticsConfiguration, N),
    A(trt, SetVideoAnalyticsConfiguration, N),

    /* media 2 */
    A(tr2, GetServiceCapabilities, C),
    A(tr2, GetVideoEncoderConfigurations, C),
    A(tr2, SetVideoEncoderConfiguration, N),
    A(tr2, GetVideoEncoderConfigurationOptions, C),
    A(tr2, GetProfiles, C),
    A(tr2, CreateProfile, C),
    A(tr2, DeleteProfile, N),
    A(tr2, GetStreamUri, C),
    A(tr2, GetVideoSourceConfigurations, C),
    A(tr2, GetVideoSourceConfigurationOptions, C),
    A(tr2, SetVideoSourceConfiguration, N),
    A(tr2, SetSynchronizationPoint, N),
    A(tr2, GetMetadataConfigurations, C),
    A(tr2, GetMetadataConfigurationOptions, N),
    A(tr2, SetMetadataConfiguration, N),
    A(tr2, GetAudioEncoderConfigurations, C),
    A(tr2, GetAudioSourceConfigurations, C),
    A(tr2, GetAudioSourceConfigurationOptions, N),
    A(tr2, SetAudioSourceConfiguration, N),
    A(tr2, SetAudioEncoderConfiguration, N),
    A(tr2, GetAudioEncoderConfigurationOptions, C),
    A(tr2, AddConfiguration, N),
    A(tr2, RemoveConfiguration, N),
    A(tr2, GetVideoEncoderInstances, C),
    A(tr2, GetAudioOutputConfigurations, C),
    A(tr2, GetAudioOutputConfigurationOptions, C),
    A(tr2, SetAudioOutputConfiguration, N),
    A(tr2, GetAudioDecoderConfigurations, C),
    A(tr2, GetAudioDecoderConfigurationOptions, C),
    A(tr2, SetAudioDecoderConfiguration, N),
    A(tr2, GetSnapshotUri, C),
    A(tr2, StartMulticastStreaming, N),
    A(tr2, StopMulticastStreaming, N),
    A(tr2, GetVideoSourceModes, C),
    A(tr2, SetVideoSourceMode, C),
    A(tr2, CreateOSD, C),
    A(tr2, DeleteOSD, N),
    A(tr2, GetOSDs, C),
    A(tr2, SetOSD, N),
    A(tr2, GetOSDOptions, C),
    A(tr2, GetAnalyticsConfigurations, C),
    A(tr2, GetMasks, C),
    A(tr2, SetMask, N),
    A(tr2, CreateMask, C),
    A(tr2, DeleteMask, N),
    A(tr2, GetMaskOptions, C),

    /* PTZ */
    A(ptz, GetServiceCapabilities, C),
    A(ptz, GetNodes, C),
    A(ptz, GetNode, C),
    A(ptz, GetPresets, K),
    A(ptz, SetPreset, C),
    A(ptz, RemovePreset, N),
    A(ptz, GotoPreset, N),
    A(ptz, GotoHomePosition, N),
    A(ptz, SetHomePosition, N),
    A(ptz, GetStatus, C),
    A(ptz, ContinuousMove, N),
    A(ptz, RelativeMove, N),
    A(ptz, AbsoluteMove, N),
    A(ptz, Stop, N),
    A(ptz, GetConfigurations, K),
    A(ptz, GetConfiguration, K),
    A(ptz, SetConfiguration, N),
    A(ptz, GetConfigurationOptions, C),
    A(ptz, GetPresetTours, C),
    A(ptz, GetPresetTour, C),
    A(ptz, GetPresetTourOptions, C),
    A(ptz, CreatePresetTour, C),
    A(ptz, ModifyPresetTour, N),
    A(ptz, OperatePresetTour, N),
    A(ptz, RemovePresetTour, N),
    A(ptz, SendAuxiliaryCommand, C),
    A(ptz, GeoMove, N),

    /* events */
    A(tev, GetServiceCapabilities, C),
    A(tev, GetEventProperties, C),
    A(tev, Renew, N),
    A(tev, Unsubscribe, N),
    A(tev, Subscribe, C),
    A(tev, PauseSubscription, N),
    A(tev, ResumeSubscription, N),
    A(tev, CreatePullPointSubscription, C),
    A(tev, DestroyPullPoint, N),
    A(tev, PullMessages, C),
    A(tev, GetMessages, C),
    A(tev, Seek, N),
    A(tev, SetSynchronizationPoint, N),

    /* imaging */
    A(img, GetServiceCapabilities, C),
    A(img, GetImagingSettings, K),
    A(img, SetImagingSettings, N),
    A(img, GetOptions, C),
    A(img, Move, N),
    A(img, Stop, N),
    A(img, GetStatus, C),
    A(img, GetMoveOptions, C),
    A(img, GetPresets, C),
    A(img, GetCurrentPreset, C),
    A(img, SetCurrentPreset, N),

    /* device IO */
    A(tmd, GetServiceCapabilities, C),
    A(tmd, GetRelayOutputs, C),
    A(tmd, GetRelayOutputOptions, C),
    A(tmd, SetRelayOutputSettings, N),
    A(tmd, SetRelayOutputState, N),
    A(tmd, GetDigitalInputs, C),
    A(tmd, GetDigitalInputConfigurationOptions, C),
    A(tmd, SetDigitalInputConfigurations, N),

    /* recording */
    A(trc, GetServiceCapabilities, C),
    A(trc, CreateRecording, C),
    A(trc, DeleteRecording, N),
    A(trc, GetRecordings, C),
    A(trc, SetRecordingConfiguration, N),
    A(trc, GetRecordingConfiguration, C),
    A(trc, GetRecordingOptions, C),
    A(trc, CreateTrack, C),
    A(trc, DeleteTrack, N),
    A(trc, GetTrackConfiguration, C),
    A(trc, SetTrackConfiguration, N),
    A(trc, CreateRecordingJob, C),
    A(trc, DeleteRecordingJob, N),
    A(trc, GetRecordingJobs, C),
    A(trc, SetRecordingJobConfiguration, C),
    A(trc, GetRecordingJobConfiguration, C),
    A(trc, SetRecordingJobMode, N),
    A(trc, GetRecordingJobState, C),

    /* replay */
    A(trp, GetServiceCapabilities, C),
    A(trp, GetReplayUri, C),
    A(trp, GetReplayConfiguration, C),
    A(trp, SetReplayConfiguration, N),

    /* search */
    A(tse, GetServiceCapabilities, C),
    A(tse, GetRecordingSummary, C),
    A(tse, GetRecordingInformation, C),
    A(tse, GetMediaAttributes, C),
    A(tse, FindRecordings, C),
    A(tse, GetRecordingSearchResults, C),
    A(tse, FindEvents, C),
    A(tse, GetEventSearchResults, C),
    A(tse, FindMetadata, C),
    A(tse, GetMetadataSearchResults, C),
    A(tse, FindPTZPosition, C),
    A(tse, GetPTZPositionSearchResults, C),
    A(tse, GetSearchState, C),
    A(tse, EndSearch, C),

    /* analytics */
    A(tan, GetServiceCapabilities, C),
    A(tan, GetSupportedRules, C),
    A(tan, CreateRules, N),
    A(tan, DeleteRules, N),
    A(tan, GetRules, C),
    A(tan, ModifyRules, N),
    A(tan, CreateAnalyticsModules, N),
    A(tan, DeleteAnalyticsModules, N),
    A(tan, GetAnalyticsModules, C),
    A(tan, ModifyAnalyticsModules, N),
    A(tan, GetSupportedAnalyticsModules, C),
    A(tan, GetRuleOptions, C),
    A(tan, GetAnalyticsModuleOptions, C),

    /* access control */
    A(tac, GetServiceCapabilities, C),
    A(tac, GetAccessPointInfoList, C),
    A(tac, GetAccessPointInfo, C),
    A(tac, GetAccessPointList, C),
    A(tac, GetAccessPoints, C),
    A(tac, CreateAccessPoint, C),
    A(tac, SetAccessPoint, N),
    A(tac, ModifyAccessPoint, N),
    A(tac, DeleteAccessPoint, N),
    A(tac, GetAreaInfoList, C),
    A(tac, GetAreaInfo, C),
    A(tac, GetAreaList, C),
    A(tac, GetAreas, C),
    A(tac, CreateArea, C),
    A(tac, SetArea, N),
    A(tac, ModifyArea, N),
    A(tac, DeleteArea, N),
    A(tac, GetAccessPointState, C),
    A(tac, EnableAccessPoint, N),
    A(tac, DisableAccessPoint, N),

    /* door control */
    A(tdc, GetServiceCapabilities, C),
    A(tdc, GetDoorInfoList, C),
    A(tdc, GetDoorInfo, C),
    A(tdc, GetDoorState, C),
    A(tdc, AccessDoor, N),
    A(tdc, LockDoor, N),
    A(tdc, UnlockDoor, N),
    A(tdc, DoubleLockDoor, N),
    A(tdc, BlockDoor, N),
    A(tdc, LockDownDoor, N),
    A(tdc, LockDownReleaseDoor, N),
    A(tdc, LockOpenDoor, N),
    A(tdc, LockOpenReleaseDoor, N),
    A(tdc, GetDoors, C),
    A(tdc, GetDoorList, C),
    A(tdc, CreateDoor, C),
    A(tdc, SetDoor, N),
    A(tdc, ModifyDoor, N),
    A(tdc, DeleteDoor, N),

    /* thermal */
    A(tth, GetServiceCapabilities, C),
    A(tth, GetConfigurations, C),
    A(tth, GetConfiguration, C),
    A(tth, SetConfiguration, N),
    A(tth, GetConfigurationOptions, C),
    A(tth, GetRadiometryConfiguration, C),
    A(tth, SetRadiometryConfiguration, N),
    A(tth, GetRadiometryConfigurationOptions, C),

    /* credential */
    A(tcr, GetServiceCapabilities, C),
    A(tcr, GetCredentialInfo, C),
    A(tcr, GetCredentialInfoList, C),
    A(tcr, GetCredentials, C),
    A(tcr, GetCredentialList, C),
    A(tcr, CreateCredential, C),
    A(tcr, ModifyCredential, N),
    A(tcr, DeleteCredential, N),
    A(tcr, GetCredentialState, C),
    A(tcr, EnableCredential, N),
    A(tcr, DisableCredential, N),
    A(tcr, ResetAntipassbackViolation, N),
    A(tcr, GetSupportedFormatTypes, C),
    A(tcr, GetCredentialIdentifiers, C),
    A(tcr, SetCredentialIdentifier, N),
    A(tcr, DeleteCredentialIdentifier, N),
    A(tcr, GetCredentialAccessProfiles, C),
    A(tcr, SetCredentialAccessProfiles, N),
    A(tcr, DeleteCredentialAccessProfiles, N),

    /* access rules */
    A(tar, GetServiceCapabilities, C),
    A(tar, GetAccessProfileInfo, C),
    A(tar, GetAccessProfileInfoList, C),
    A(tar, GetAccessProfiles, C),
    A(tar, GetAccessProfileList, C),
    A(tar, CreateAccessProfile, C),
    A(tar, ModifyAccessProfile, N),
    A(tar, DeleteAccessProfile, N),

    /* schedule */
    A(tsc, GetServiceCapabilities, C),
    A(tsc, GetScheduleInfo, C),
    A(tsc, GetScheduleInfoList, C),
    A(tsc, GetSchedules, C),
    A(tsc, GetScheduleList, C),
    A(tsc, CreateSchedule, C),
    A(tsc, ModifySchedule, N),
    A(tsc, DeleteSchedule, N),
    A(tsc, GetSpecialDayGroupInfo, C),
    A(tsc, GetSpecialDayGroupInfoList, C),
    A(tsc, GetSpecialDayGroups, C),
    A(tsc, GetSpecialDayGroupList, C),
    A(tsc, CreateSpecialDayGroup, C),
    A(tsc, ModifySpecialDayGroup, N),
    A(tsc, DeleteSpecialDayGroup, N),
    A(tsc, GetScheduleState, C),

    /* receiver */
    A(trv, GetServiceCapabilities, C),
    A(trv, GetReceivers, C),
    A(trv, GetReceiver, C),
    A(trv, CreateReceiver, C),
    A(trv, DeleteReceiver, N),
    A(trv, ConfigureReceiver, N),
    A(trv, SetReceiverMode, N),
    A(trv, GetReceiverState, C),

    /* provisioning */
    A(tpv, GetServiceCapabilities, C),
    A(tpv, PanMove, N),
    A(tpv, TiltMove, N),
    A(tpv, ZoomMove, N),
    A(tpv, RollMove, N),
    A(tpv, FocusMove, N),
    A(tpv, Stop, N),
    A(tpv, GetUsage, C),
};

#undef A

// Actions that are not "<service base>/<operation>".
struct ActException {
    uint16_t type;
    const char *action;
};

constexpr ActException kExceptions[] = {
    {ACT_trt_GetVideoAnalyticsConfiguration,
     "http://www.onvif.org/ver10/media/wsdl/GetVideoAnalyticsConfiguration"},
    {ACT_tev_GetServiceCapabilities,
     "http://www.onvif.org/ver10/events/wsdl/EventPortType/GetServiceCapabilitiesRequest"},
    {ACT_tev_GetEventProperties,
     "http://www.onvif.org/ver10/events/wsdl/EventPortType/GetEventPropertiesRequest"},
    {ACT_tev_Renew, "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/RenewRequest"},
    {ACT_tev_Unsubscribe,
     "http://docs.oasis-open.org/wsn/bw-2/SubscriptionManager/UnsubscribeRequest"},
    {ACT_tev_Subscribe,
     "http://docs.oasis-open.org/wsn/bw-2/NotificationProducer/SubscribeRequest"},
    {ACT_tev_PauseSubscription,
     "http://docs.oasis-open.org/wsn/bw-2/PausableSubscriptionManager/PauseSubscriptionRequest"},
    {ACT_tev_ResumeSubscription,
     "http://docs.oasis-open.org/wsn/bw-2/PausableSubscriptionManager/ResumeSubscriptionRequest"},
    {ACT_tev_CreatePullPointSubscription,
     "http://www.onvif.org/ver10/events/wsdl/EventPortType/CreatePullPointSubscriptionRequest"},
    {ACT_tev_DestroyPullPoint,
     "http://docs.oasis-open.org/wsn/bw-2/PullPoint/DestroyPullPointRequest"},
    {ACT_tev_PullMessages,
     "http://www.onvif.org/ver10/events/wsdl/PullPointSubscription/PullMessagesRequest"},
    {ACT_tev_GetMessages, "http://docs.oasis-open.org/wsn/bw-2/PullPoint/GetMessagesRequest"},
    {ACT_tev_Seek, "http://www.onvif.org/ver10/events/wsdl/PullPointSubscription/SeekRequest"},
    {ACT_tev_SetSynchronizationPoint,
     "http://www.onvif.org/ver10/events/wsdl/PullPointSubscription/SetSynchronizationPointRequest"},
    {ACT_img_Stop, "http://www.onvif.org/ver20/imaging/wsdl/FocusStop"},
};

// Order of the service groups in the action table: the analytics rows come
// before the device IO rows, everything else in block order.
constexpr uint8_t kTableOrder[ONVIF_SVC_COUNT] = {
    ONVIF_SVC_DEVICE,      ONVIF_SVC_MEDIA,    ONVIF_SVC_MEDIA2,       ONVIF_SVC_PTZ,
    ONVIF_SVC_EVENTS,      ONVIF_SVC_IMAGING,  ONVIF_SVC_ANALYTICS,    ONVIF_SVC_DEVICEIO,
    ONVIF_SVC_RECORDING,   ONVIF_SVC_REPLAY,   ONVIF_SVC_SEARCH,       ONVIF_SVC_ACCESSCONTROL,
    ONVIF_SVC_DOORCONTROL, ONVIF_SVC_THERMAL,  ONVIF_SVC_CREDENTIAL,   ONVIF_SVC_ACCESSRULES,
    ONVIF_SVC_SCHEDULE,    ONVIF_SVC_RECEIVER, ONVIF_SVC_PROVISIONING,
};

constexpr bool rows_in_type_order()
{
    for (int i = 0; i < ONVIF_ACT_COUNT; i++) {
        if (kActs[i].type != i + 1 || kActs[i].service >= ONVIF_SVC_COUNT) return false;
        if (i > 0 && kActs[i].service < kActs[i - 1].service) return false;
    }
    return true;
}
static_assert(rows_in_type_order(), "catalogue rows must be dense and grouped by service");

constexpr int count_kind(uint8_t kind)
{
    int n = 0;
    for (const ActRow &r : kActs)
        n += r.kind == kind;
    return n;
}
static_assert(count_kind(N) == 161, "161 operations have no output");

// Appends text to dst at *pos, keeping one byte for the terminator.
constexpr void append(char *dst, std::size_t cap, std::size_t *pos, const char *text)
{
    for (; *text && *pos + 1 < cap; text++)
        dst[(*pos)++] = *text;
    dst[*pos] = '\0';
}

constexpr const char *exception_action(int type)
{
    for (const ActException &e : kExceptions)
        if (e.type == type) return e.action;
    return nullptr;
}

constexpr std::array<ONVIF_ACTION, ONVIF_ACT_COUNT> build_actions()
{
    std::array<ONVIF_ACTION, ONVIF_ACT_COUNT> table{};
    std::size_t n = 0;
    for (uint8_t svc : kTableOrder) {
        for (const ActRow &r : kActs) {
            if (r.service != svc) continue;
            ONVIF_ACTION &row = table[n++];
            std::size_t pos = 0;
            row.type = r.type;
            if (const char *special = exception_action(r.type)) {
                append(row.action, sizeof(row.action), &pos, special);
            } else {
                append(row.action, sizeof(row.action), &pos, kServices[svc].base);
                append(row.action, sizeof(row.action), &pos, "/");
                append(row.action, sizeof(row.action), &pos, r.name);
            }
        }
    }
    return table;
}

constexpr std::array<ONVIF_ACTION, ONVIF_ACT_COUNT> kActions = build_actions();

const ActRow *act_row(int type)
{
    if (type < ONVIF_ACT_MIN || type > ONVIF_ACT_MAX) return nullptr;
    return &kActs[type - 1];
}

} // namespace

extern "C" {

const ONVIF_ACTION *onvif_find_action_by_type(uint32_t type)
{
    if (type > ONVIF_ACT_MAX) return nullptr;
    for (const ONVIF_ACTION &row : kActions)
        if (row.type == type) return &row;
    return nullptr;
}

const ONVIF_ACTION *onvif_action_at(int index)
{
    if (index < 0 || index >= ONVIF_ACT_COUNT) return nullptr;
    return &kActions[index];
}

const char *onvif_act_name(int type)
{
    const ActRow *r = act_row(type);
    return r ? r->name : nullptr;
}

int onvif_act_has_output(int type)
{
    const ActRow *r = act_row(type);
    return r && r->kind != N;
}

int onvif_act_clears_result(int type)
{
    const ActRow *r = act_row(type);
    return r && r->kind == C;
}

int onvif_act_service(int type)
{
    const ActRow *r = act_row(type);
    return r ? r->service : -1;
}

const char *onvif_act_prefix(int type)
{
    const ActRow *r = act_row(type);
    return r ? kServices[r->service].prefix : nullptr;
}

const char *onvif_svc_prefix(int service)
{
    if (service < 0 || service >= ONVIF_SVC_COUNT) return nullptr;
    return kServices[service].prefix;
}

const char *onvif_svc_action_base(int service)
{
    if (service < 0 || service >= ONVIF_SVC_COUNT) return nullptr;
    return kServices[service].base;
}

int onvif_svc_first_type(int service)
{
    if (service < 0 || service >= ONVIF_SVC_COUNT) return 0;
    for (const ActRow &r : kActs)
        if (r.service == service) return r.type;
    return 0;
}

int onvif_svc_last_type(int service)
{
    int last = 0;
    if (service < 0 || service >= ONVIF_SVC_COUNT) return 0;
    for (const ActRow &r : kActs)
        if (r.service == service) last = r.type;
    return last;
}

} // extern "C"
