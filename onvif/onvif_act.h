/*
 * ONVIF operation catalogue.
 *
 * Every ONVIF operation the client knows has a type number ACT_<svc>_<Op>
 * (1..387), assigned in dense blocks service by service. For each type the
 * catalogue knows its service, its bare operation name (the response element
 * is that name followed by "Response"), whether its reply carries output that
 * a parser reads, whether the dispatcher clears the caller's result record
 * before parsing, and the SOAP action URI sent with the request.
 */
#ifndef ONVIF_ONVIF_ACT_H
#define ONVIF_ONVIF_ACT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ONVIF_ACT_MIN 1      /* first operation type */
#define ONVIF_ACT_MAX 387    /* last operation type */
#define ONVIF_ACT_COUNT 387  /* number of operations (rows of the action table) */
#define ONVIF_ACTION_LEN 256 /* size of an action URI field */

/* Services, in the order of their type blocks. */
enum {
    ONVIF_SVC_DEVICE = 0,    /* tds */
    ONVIF_SVC_MEDIA,         /* trt */
    ONVIF_SVC_MEDIA2,        /* tr2 */
    ONVIF_SVC_PTZ,           /* ptz */
    ONVIF_SVC_EVENTS,        /* tev */
    ONVIF_SVC_IMAGING,       /* img */
    ONVIF_SVC_DEVICEIO,      /* tmd */
    ONVIF_SVC_RECORDING,     /* trc */
    ONVIF_SVC_REPLAY,        /* trp */
    ONVIF_SVC_SEARCH,        /* tse */
    ONVIF_SVC_ANALYTICS,     /* tan */
    ONVIF_SVC_ACCESSCONTROL, /* tac */
    ONVIF_SVC_DOORCONTROL,   /* tdc */
    ONVIF_SVC_THERMAL,       /* tth */
    ONVIF_SVC_CREDENTIAL,    /* tcr */
    ONVIF_SVC_ACCESSRULES,   /* tar */
    ONVIF_SVC_SCHEDULE,      /* tsc */
    ONVIF_SVC_RECEIVER,      /* trv */
    ONVIF_SVC_PROVISIONING,  /* tpv */
    ONVIF_SVC_COUNT
};

/* Operation types. */
enum {
    /* device service (tds), 1..64 */
    ACT_tds_GetCapabilities = 1,
    ACT_tds_GetServices = 2,
    ACT_tds_GetServiceCapabilities = 3,
    ACT_tds_GetDeviceInformation = 4,
    ACT_tds_GetUsers = 5,
    ACT_tds_CreateUsers = 6,
    ACT_tds_DeleteUsers = 7,
    ACT_tds_SetUser = 8,
    ACT_tds_GetRemoteUser = 9,
    ACT_tds_SetRemoteUser = 10,
    ACT_tds_GetNetworkInterfaces = 11,
    ACT_tds_SetNetworkInterfaces = 12,
    ACT_tds_GetNTP = 13,
    ACT_tds_SetNTP = 14,
    ACT_tds_GetHostname = 15,
    ACT_tds_SetHostname = 16,
    ACT_tds_SetHostnameFromDHCP = 17,
    ACT_tds_GetDNS = 18,
    ACT_tds_SetDNS = 19,
    ACT_tds_GetDynamicDNS = 20,
    ACT_tds_SetDynamicDNS = 21,
    ACT_tds_GetNetworkProtocols = 22,
    ACT_tds_SetNetworkProtocols = 23,
    ACT_tds_GetDiscoveryMode = 24,
    ACT_tds_SetDiscoveryMode = 25,
    ACT_tds_GetNetworkDefaultGateway = 26,
    ACT_tds_SetNetworkDefaultGateway = 27,
    ACT_tds_GetZeroConfiguration = 28,
    ACT_tds_SetZeroConfiguration = 29,
    ACT_tds_GetEndpointReference = 30,
    ACT_tds_SendAuxiliaryCommand = 31,
    ACT_tds_GetRelayOutputs = 32,
    ACT_tds_SetRelayOutputSettings = 33,
    ACT_tds_SetRelayOutputState = 34,
    ACT_tds_GetSystemDateAndTime = 35,
    ACT_tds_SetSystemDateAndTime = 36,
    ACT_tds_SystemReboot = 37,
    ACT_tds_SetSystemFactoryDefault = 38,
    ACT_tds_GetSystemLog = 39,
    ACT_tds_GetScopes = 40,
    ACT_tds_SetScopes = 41,
    ACT_tds_AddScopes = 42,
    ACT_tds_RemoveScopes = 43,
    ACT_tds_StartFirmwareUpgrade = 44,
    ACT_tds_GetSystemUris = 45,
    ACT_tds_StartSystemRestore = 46,
    ACT_tds_GetWsdlUrl = 47,
    ACT_tds_GetDot11Capabilities = 48,
    ACT_tds_GetDot11Status = 49,
    ACT_tds_ScanAvailableDot11Networks = 50,
    ACT_tds_GetGeoLocation = 51,
    ACT_tds_SetGeoLocation = 52,
    ACT_tds_DeleteGeoLocation = 53,
    ACT_tds_GetIPAddressFilter = 54,
    ACT_tds_SetIPAddressFilter = 55,
    ACT_tds_AddIPAddressFilter = 56,
    ACT_tds_RemoveIPAddressFilter = 57,
    ACT_tds_GetAccessPolicy = 58,
    ACT_tds_SetAccessPolicy = 59,
    ACT_tds_GetStorageConfigurations = 60,
    ACT_tds_CreateStorageConfiguration = 61,
    ACT_tds_GetStorageConfiguration = 62,
    ACT_tds_SetStorageConfiguration = 63,
    ACT_tds_DeleteStorageConfiguration = 64,

    /* media service (trt), 65..127 */
    ACT_trt_GetServiceCapabilities = 65,
    ACT_trt_GetVideoSources = 66,
    ACT_trt_GetAudioSources = 67,
    ACT_trt_CreateProfile = 68,
    ACT_trt_GetProfile = 69,
    ACT_trt_GetProfiles = 70,
    ACT_trt_AddVideoEncoderConfiguration = 71,
    ACT_trt_AddVideoSourceConfiguration = 72,
    ACT_trt_AddAudioEncoderConfiguration = 73,
    ACT_trt_AddAudioSourceConfiguration = 74,
    ACT_trt_GetVideoSourceModes = 75,
    ACT_trt_SetVideoSourceMode = 76,
    ACT_trt_AddPTZConfiguration = 77,
    ACT_trt_RemoveVideoEncoderConfiguration = 78,
    ACT_trt_RemoveVideoSourceConfiguration = 79,
    ACT_trt_RemoveAudioEncoderConfiguration = 80,
    ACT_trt_RemoveAudioSourceConfiguration = 81,
    ACT_trt_RemovePTZConfiguration = 82,
    ACT_trt_DeleteProfile = 83,
    ACT_trt_GetVideoSourceConfigurations = 84,
    ACT_trt_GetVideoEncoderConfigurations = 85,
    ACT_trt_GetAudioSourceConfigurations = 86,
    ACT_trt_GetAudioEncoderConfigurations = 87,
    ACT_trt_GetVideoSourceConfiguration = 88,
    ACT_trt_GetVideoEncoderConfiguration = 89,
    ACT_trt_GetAudioSourceConfiguration = 90,
    ACT_trt_GetAudioEncoderConfiguration = 91,
    ACT_trt_SetVideoSourceConfiguration = 92,
    ACT_trt_SetVideoEncoderConfiguration = 93,
    ACT_trt_SetAudioSourceConfiguration = 94,
    ACT_trt_SetAudioEncoderConfiguration = 95,
    ACT_trt_GetVideoSourceConfigurationOptions = 96,
    ACT_trt_GetVideoEncoderConfigurationOptions = 97,
    ACT_trt_GetAudioSourceConfigurationOptions = 98,
    ACT_trt_GetAudioEncoderConfigurationOptions = 99,
    ACT_trt_GetStreamUri = 100,
    ACT_trt_SetSynchronizationPoint = 101,
    ACT_trt_GetSnapshotUri = 102,
    ACT_trt_GetGuaranteedNumberOfVideoEncoderInstances = 103,
    ACT_trt_GetAudioOutputs = 104,
    ACT_trt_GetAudioOutputConfigurations = 105,
    ACT_trt_GetAudioOutputConfiguration = 106,
    ACT_trt_GetAudioOutputConfigurationOptions = 107,
    ACT_trt_SetAudioOutputConfiguration = 108,
    ACT_trt_GetAudioDecoderConfigurations = 109,
    ACT_trt_GetAudioDecoderConfiguration = 110,
    ACT_trt_GetAudioDecoderConfigurationOptions = 111,
    ACT_trt_SetAudioDecoderConfiguration = 112,
    ACT_trt_AddAudioOutputConfiguration = 113,
    ACT_trt_AddAudioDecoderConfiguration = 114,
    ACT_trt_RemoveAudioOutputConfiguration = 115,
    ACT_trt_RemoveAudioDecoderConfiguration = 116,
    ACT_trt_GetOSDs = 117,
    ACT_trt_GetOSD = 118,
    ACT_trt_SetOSD = 119,
    ACT_trt_GetOSDOptions = 120,
    ACT_trt_CreateOSD = 121,
    ACT_trt_DeleteOSD = 122,
    ACT_trt_GetVideoAnalyticsConfigurations = 123,
    ACT_trt_AddVideoAnalyticsConfiguration = 124,
    ACT_trt_GetVideoAnalyticsConfiguration = 125,
    ACT_trt_RemoveVideoAnalyticsConfiguration = 126,
    ACT_trt_SetVideoAnalyticsConfiguration = 127,

    /* media 2 service (tr2), 128..173 */
    ACT_tr2_GetServiceCapabilities = 128,
    ACT_tr2_GetVideoEncoderConfigurations = 129,
    ACT_tr2_SetVideoEncoderConfiguration = 130,
    ACT_tr2_GetVideoEncoderConfigurationOptions = 131,
    ACT_tr2_GetProfiles = 132,
    ACT_tr2_CreateProfile = 133,
    ACT_tr2_DeleteProfile = 134,
    ACT_tr2_GetStreamUri = 135,
    ACT_tr2_GetVideoSourceConfigurations = 136,
    ACT_tr2_GetVideoSourceConfigurationOptions = 137,
    ACT_tr2_SetVideoSourceConfiguration = 138,
    ACT_tr2_SetSynchronizationPoint = 139,
    ACT_tr2_GetMetadataConfigurations = 140,
    ACT_tr2_GetMetadataConfigurationOptions = 141,
    ACT_tr2_SetMetadataConfiguration = 142,
    ACT_tr2_GetAudioEncoderConfigurations = 143,
    ACT_tr2_GetAudioSourceConfigurations = 144,
    ACT_tr2_GetAudioSourceConfigurationOptions = 145,
    ACT_tr2_SetAudioSourceConfiguration = 146,
    ACT_tr2_SetAudioEncoderConfiguration = 147,
    ACT_tr2_GetAudioEncoderConfigurationOptions = 148,
    ACT_tr2_AddConfiguration = 149,
    ACT_tr2_RemoveConfiguration = 150,
    ACT_tr2_GetVideoEncoderInstances = 151,
    ACT_tr2_GetAudioOutputConfigurations = 152,
    ACT_tr2_GetAudioOutputConfigurationOptions = 153,
    ACT_tr2_SetAudioOutputConfiguration = 154,
    ACT_tr2_GetAudioDecoderConfigurations = 155,
    ACT_tr2_GetAudioDecoderConfigurationOptions = 156,
    ACT_tr2_SetAudioDecoderConfiguration = 157,
    ACT_tr2_GetSnapshotUri = 158,
    ACT_tr2_StartMulticastStreaming = 159,
    ACT_tr2_StopMulticastStreaming = 160,
    ACT_tr2_GetVideoSourceModes = 161,
    ACT_tr2_SetVideoSourceMode = 162,
    ACT_tr2_CreateOSD = 163,
    ACT_tr2_DeleteOSD = 164,
    ACT_tr2_GetOSDs = 165,
    ACT_tr2_SetOSD = 166,
    ACT_tr2_GetOSDOptions = 167,
    ACT_tr2_GetAnalyticsConfigurations = 168,
    ACT_tr2_GetMasks = 169,
    ACT_tr2_SetMask = 170,
    ACT_tr2_CreateMask = 171,
    ACT_tr2_DeleteMask = 172,
    ACT_tr2_GetMaskOptions = 173,

    /* PTZ service (ptz), 174..200 */
    ACT_ptz_GetServiceCapabilities = 174,
    ACT_ptz_GetNodes = 175,
    ACT_ptz_GetNode = 176,
    ACT_ptz_GetPresets = 177,
    ACT_ptz_SetPreset = 178,
    ACT_ptz_RemovePreset = 179,
    ACT_ptz_GotoPreset = 180,
    ACT_ptz_GotoHomePosition = 181,
    ACT_ptz_SetHomePosition = 182,
    ACT_ptz_GetStatus = 183,
    ACT_ptz_ContinuousMove = 184,
    ACT_ptz_RelativeMove = 185,
    ACT_ptz_AbsoluteMove = 186,
    ACT_ptz_Stop = 187,
    ACT_ptz_GetConfigurations = 188,
    ACT_ptz_GetConfiguration = 189,
    ACT_ptz_SetConfiguration = 190,
    ACT_ptz_GetConfigurationOptions = 191,
    ACT_ptz_GetPresetTours = 192,
    ACT_ptz_GetPresetTour = 193,
    ACT_ptz_GetPresetTourOptions = 194,
    ACT_ptz_CreatePresetTour = 195,
    ACT_ptz_ModifyPresetTour = 196,
    ACT_ptz_OperatePresetTour = 197,
    ACT_ptz_RemovePresetTour = 198,
    ACT_ptz_SendAuxiliaryCommand = 199,
    ACT_ptz_GeoMove = 200,

    /* events service (tev), 201..213 */
    ACT_tev_GetServiceCapabilities = 201,
    ACT_tev_GetEventProperties = 202,
    ACT_tev_Renew = 203,
    ACT_tev_Unsubscribe = 204,
    ACT_tev_Subscribe = 205,
    ACT_tev_PauseSubscription = 206,
    ACT_tev_ResumeSubscription = 207,
    ACT_tev_CreatePullPointSubscription = 208,
    ACT_tev_DestroyPullPoint = 209,
    ACT_tev_PullMessages = 210,
    ACT_tev_GetMessages = 211,
    ACT_tev_Seek = 212,
    ACT_tev_SetSynchronizationPoint = 213,

    /* imaging service (img), 214..224 */
    ACT_img_GetServiceCapabilities = 214,
    ACT_img_GetImagingSettings = 215,
    ACT_img_SetImagingSettings = 216,
    ACT_img_GetOptions = 217,
    ACT_img_Move = 218,
    ACT_img_Stop = 219,
    ACT_img_GetStatus = 220,
    ACT_img_GetMoveOptions = 221,
    ACT_img_GetPresets = 222,
    ACT_img_GetCurrentPreset = 223,
    ACT_img_SetCurrentPreset = 224,

    /* device IO service (tmd), 225..232 */
    ACT_tmd_GetServiceCapabilities = 225,
    ACT_tmd_GetRelayOutputs = 226,
    ACT_tmd_GetRelayOutputOptions = 227,
    ACT_tmd_SetRelayOutputSettings = 228,
    ACT_tmd_SetRelayOutputState = 229,
    ACT_tmd_GetDigitalInputs = 230,
    ACT_tmd_GetDigitalInputConfigurationOptions = 231,
    ACT_tmd_SetDigitalInputConfigurations = 232,

    /* recording service (trc), 233..250 */
    ACT_trc_GetServiceCapabilities = 233,
    ACT_trc_CreateRecording = 234,
    ACT_trc_DeleteRecording = 235,
    ACT_trc_GetRecordings = 236,
    ACT_trc_SetRecordingConfiguration = 237,
    ACT_trc_GetRecordingConfiguration = 238,
    ACT_trc_GetRecordingOptions = 239,
    ACT_trc_CreateTrack = 240,
    ACT_trc_DeleteTrack = 241,
    ACT_trc_GetTrackConfiguration = 242,
    ACT_trc_SetTrackConfiguration = 243,
    ACT_trc_CreateRecordingJob = 244,
    ACT_trc_DeleteRecordingJob = 245,
    ACT_trc_GetRecordingJobs = 246,
    ACT_trc_SetRecordingJobConfiguration = 247,
    ACT_trc_GetRecordingJobConfiguration = 248,
    ACT_trc_SetRecordingJobMode = 249,
    ACT_trc_GetRecordingJobState = 250,

    /* replay service (trp), 251..254 */
    ACT_trp_GetServiceCapabilities = 251,
    ACT_trp_GetReplayUri = 252,
    ACT_trp_GetReplayConfiguration = 253,
    ACT_trp_SetReplayConfiguration = 254,

    /* search service (tse), 255..268 */
    ACT_tse_GetServiceCapabilities = 255,
    ACT_tse_GetRecordingSummary = 256,
    ACT_tse_GetRecordingInformation = 257,
    ACT_tse_GetMediaAttributes = 258,
    ACT_tse_FindRecordings = 259,
    ACT_tse_GetRecordingSearchResults = 260,
    ACT_tse_FindEvents = 261,
    ACT_tse_GetEventSearchResults = 262,
    ACT_tse_FindMetadata = 263,
    ACT_tse_GetMetadataSearchResults = 264,
    ACT_tse_FindPTZPosition = 265,
    ACT_tse_GetPTZPositionSearchResults = 266,
    ACT_tse_GetSearchState = 267,
    ACT_tse_EndSearch = 268,

    /* analytics service (tan), 269..281 */
    ACT_tan_GetServiceCapabilities = 269,
    ACT_tan_GetSupportedRules = 270,
    ACT_tan_CreateRules = 271,
    ACT_tan_DeleteRules = 272,
    ACT_tan_GetRules = 273,
    ACT_tan_ModifyRules = 274,
    ACT_tan_CreateAnalyticsModules = 275,
    ACT_tan_DeleteAnalyticsModules = 276,
    ACT_tan_GetAnalyticsModules = 277,
    ACT_tan_ModifyAnalyticsModules = 278,
    ACT_tan_GetSupportedAnalyticsModules = 279,
    ACT_tan_GetRuleOptions = 280,
    ACT_tan_GetAnalyticsModuleOptions = 281,

    /* access control service (tac), 282..301 */
    ACT_tac_GetServiceCapabilities = 282,
    ACT_tac_GetAccessPointInfoList = 283,
    ACT_tac_GetAccessPointInfo = 284,
    ACT_tac_GetAccessPointList = 285,
    ACT_tac_GetAccessPoints = 286,
    ACT_tac_CreateAccessPoint = 287,
    ACT_tac_SetAccessPoint = 288,
    ACT_tac_ModifyAccessPoint = 289,
    ACT_tac_DeleteAccessPoint = 290,
    ACT_tac_GetAreaInfoList = 291,
    ACT_tac_GetAreaInfo = 292,
    ACT_tac_GetAreaList = 293,
    ACT_tac_GetAreas = 294,
    ACT_tac_CreateArea = 295,
    ACT_tac_SetArea = 296,
    ACT_tac_ModifyArea = 297,
    ACT_tac_DeleteArea = 298,
    ACT_tac_GetAccessPointState = 299,
    ACT_tac_EnableAccessPoint = 300,
    ACT_tac_DisableAccessPoint = 301,

    /* door control service (tdc), 302..320 */
    ACT_tdc_GetServiceCapabilities = 302,
    ACT_tdc_GetDoorInfoList = 303,
    ACT_tdc_GetDoorInfo = 304,
    ACT_tdc_GetDoorState = 305,
    ACT_tdc_AccessDoor = 306,
    ACT_tdc_LockDoor = 307,
    ACT_tdc_UnlockDoor = 308,
    ACT_tdc_DoubleLockDoor = 309,
    ACT_tdc_BlockDoor = 310,
    ACT_tdc_LockDownDoor = 311,
    ACT_tdc_LockDownReleaseDoor = 312,
    ACT_tdc_LockOpenDoor = 313,
    ACT_tdc_LockOpenReleaseDoor = 314,
    ACT_tdc_GetDoors = 315,
    ACT_tdc_GetDoorList = 316,
    ACT_tdc_CreateDoor = 317,
    ACT_tdc_SetDoor = 318,
    ACT_tdc_ModifyDoor = 319,
    ACT_tdc_DeleteDoor = 320,

    /* thermal service (tth), 321..328 */
    ACT_tth_GetServiceCapabilities = 321,
    ACT_tth_GetConfigurations = 322,
    ACT_tth_GetConfiguration = 323,
    ACT_tth_SetConfiguration = 324,
    ACT_tth_GetConfigurationOptions = 325,
    ACT_tth_GetRadiometryConfiguration = 326,
    ACT_tth_SetRadiometryConfiguration = 327,
    ACT_tth_GetRadiometryConfigurationOptions = 328,

    /* credential service (tcr), 329..347 */
    ACT_tcr_GetServiceCapabilities = 329,
    ACT_tcr_GetCredentialInfo = 330,
    ACT_tcr_GetCredentialInfoList = 331,
    ACT_tcr_GetCredentials = 332,
    ACT_tcr_GetCredentialList = 333,
    ACT_tcr_CreateCredential = 334,
    ACT_tcr_ModifyCredential = 335,
    ACT_tcr_DeleteCredential = 336,
    ACT_tcr_GetCredentialState = 337,
    ACT_tcr_EnableCredential = 338,
    ACT_tcr_DisableCredential = 339,
    ACT_tcr_ResetAntipassbackViolation = 340,
    ACT_tcr_GetSupportedFormatTypes = 341,
    ACT_tcr_GetCredentialIdentifiers = 342,
    ACT_tcr_SetCredentialIdentifier = 343,
    ACT_tcr_DeleteCredentialIdentifier = 344,
    ACT_tcr_GetCredentialAccessProfiles = 345,
    ACT_tcr_SetCredentialAccessProfiles = 346,
    ACT_tcr_DeleteCredentialAccessProfiles = 347,

    /* access rules service (tar), 348..355 */
    ACT_tar_GetServiceCapabilities = 348,
    ACT_tar_GetAccessProfileInfo = 349,
    ACT_tar_GetAccessProfileInfoList = 350,
    ACT_tar_GetAccessProfiles = 351,
    ACT_tar_GetAccessProfileList = 352,
    ACT_tar_CreateAccessProfile = 353,
    ACT_tar_ModifyAccessProfile = 354,
    ACT_tar_DeleteAccessProfile = 355,

    /* schedule service (tsc), 356..371 */
    ACT_tsc_GetServiceCapabilities = 356,
    ACT_tsc_GetScheduleInfo = 357,
    ACT_tsc_GetScheduleInfoList = 358,
    ACT_tsc_GetSchedules = 359,
    ACT_tsc_GetScheduleList = 360,
    ACT_tsc_CreateSchedule = 361,
    ACT_tsc_ModifySchedule = 362,
    ACT_tsc_DeleteSchedule = 363,
    ACT_tsc_GetSpecialDayGroupInfo = 364,
    ACT_tsc_GetSpecialDayGroupInfoList = 365,
    ACT_tsc_GetSpecialDayGroups = 366,
    ACT_tsc_GetSpecialDayGroupList = 367,
    ACT_tsc_CreateSpecialDayGroup = 368,
    ACT_tsc_ModifySpecialDayGroup = 369,
    ACT_tsc_DeleteSpecialDayGroup = 370,
    ACT_tsc_GetScheduleState = 371,

    /* receiver service (trv), 372..379 */
    ACT_trv_GetServiceCapabilities = 372,
    ACT_trv_GetReceivers = 373,
    ACT_trv_GetReceiver = 374,
    ACT_trv_CreateReceiver = 375,
    ACT_trv_DeleteReceiver = 376,
    ACT_trv_ConfigureReceiver = 377,
    ACT_trv_SetReceiverMode = 378,
    ACT_trv_GetReceiverState = 379,

    /* provisioning service (tpv), 380..387 */
    ACT_tpv_GetServiceCapabilities = 380,
    ACT_tpv_PanMove = 381,
    ACT_tpv_TiltMove = 382,
    ACT_tpv_ZoomMove = 383,
    ACT_tpv_RollMove = 384,
    ACT_tpv_FocusMove = 385,
    ACT_tpv_Stop = 386,
    ACT_tpv_GetUsage = 387
};

/* One row of the action table: an operation type and its SOAP action URI. */
typedef struct {
    uint32_t type;
    char action[ONVIF_ACTION_LEN];
} ONVIF_ACTION;

/* Action table: the row of a type (null when the type is above 387 or not in
 * the table), and the rows in table order (index 0..ONVIF_ACT_COUNT-1; null
 * outside). The table is grouped by service; lookup is by search. */
const ONVIF_ACTION *onvif_find_action_by_type(uint32_t type);
const ONVIF_ACTION *onvif_action_at(int index);

/* Per-type facts. Outside 1..387: name and prefix null, service -1, flags 0.
 * has_output is 0 for the operations whose reply is only checked for its
 * response element; clears_result is 1 when the dispatcher zero-fills the
 * caller's result record (or sets its list head to null) before parsing, 0
 * for operations without output and for those whose parser updates the
 * record in place. GetSystemLog counts as an operation with output; its
 * reply is not read at all. */
const char *onvif_act_name(int type);   /* "GetCapabilities" */
int onvif_act_has_output(int type);     /* 1 or 0 */
int onvif_act_clears_result(int type);  /* 1 or 0 */
int onvif_act_service(int type);        /* ONVIF_SVC_... */
const char *onvif_act_prefix(int type); /* "tds" */

/* Per-service facts. Outside 0..ONVIF_SVC_COUNT-1: null / 0. The action base
 * is the namespace before "/<Operation>" (events rows use their own URIs). */
const char *onvif_svc_prefix(int service);      /* "tds" */
const char *onvif_svc_action_base(int service); /* "http://www.onvif.org/ver10/device/wsdl" */
int onvif_svc_first_type(int service);          /* first type of the block */
int onvif_svc_last_type(int service);           /* last type of the block */

#ifdef __cplusplus
}
#endif

#endif
