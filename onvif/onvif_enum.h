/*
 * ONVIF enumeration converters.
 *
 * Records store each ONVIF enumeration as an int: the position of its text
 * in the list below, from 0. onvif_<Enum>ToString gives the constant text of
 * a value (a fixed text for values out of range); onvif_StringTo<Enum> gives
 * the value of the first text that matches without regard to ASCII case (a
 * fixed value for texts that match none, and for a null text).
 */
#ifndef ONVIF_ONVIF_ENUM_H
#define ONVIF_ONVIF_ENUM_H

#include "platform/onvif_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* AudioEncoding: 0 G711, 1 G726, 2 AAC. Out of range: "G711"; no match: -1. */
ONVIF_CLIENT_API const char *onvif_AudioEncodingToString(int v);
ONVIF_CLIENT_API int onvif_StringToAudioEncoding(const char *s);

/* CapabilityCategory: 0 All, 1 Analytics, 2 Device, 3 Events, 4 Imaging, 5 Media, 6 PTZ. Out
 * of range: "All"; no match: -1. */
ONVIF_CLIENT_API const char *onvif_CapabilityCategoryToString(int v);
ONVIF_CLIENT_API int onvif_StringToCapabilityCategory(const char *s);

/* DiscoveryMode: 0 Discoverable, 1 NonDiscoverable. Out of range: "Discoverable"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_DiscoveryModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToDiscoveryMode(const char *s);

/* DoorAlarmState: 0 Normal, 1 DoorForcedOpen, 2 DoorOpenTooLong. Out of range: "Normal"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_DoorAlarmStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToDoorAlarmState(const char *s);

/* DoorFaultState: 0 Unknown, 1 NotInFault, 2 FaultDetected. Out of range: "Unknown"; no match:
 * 0. */
ONVIF_CLIENT_API const char *onvif_DoorFaultStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToDoorFaultState(const char *s);

/* DoorMode: 0 Unknown, 1 Locked, 2 Unlocked, 3 Accessed, 4 Blocked, 5 LockedDown, 6
 * LockedOpen, 7 DoubleLocked. Out of range: "Unknown"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_DoorModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToDoorMode(const char *s);

/* DoorPhysicalState: 0 Unknown, 1 Open, 2 Closed, 3 Fault. Out of range: "Unknown"; no match:
 * 0. */
ONVIF_CLIENT_API const char *onvif_DoorPhysicalStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToDoorPhysicalState(const char *s);

/* DoorTamperState: 0 Unknown, 1 NotInTamper, 2 TamperDetected. Out of range: "Unknown"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_DoorTamperStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToDoorTamperState(const char *s);

/* Dot11AuthAndMangementSuite: 0 None, 1 Dot1X, 2 PSK, 3 Extended. Out of range: "None"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_Dot11AuthAndMangementSuiteToString(int v);
ONVIF_CLIENT_API int onvif_StringToDot11AuthAndMangementSuite(const char *s);

/* Dot11Cipher: 0 CCMP, 1 TKIP, 2 Any, 3 Extended. Out of range: "CCMP"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_Dot11CipherToString(int v);
ONVIF_CLIENT_API int onvif_StringToDot11Cipher(const char *s);

/* Dot11SecurityMode: 0 None, 1 WEP, 2 PSK, 3 Dot1X, 4 Extended. Out of range: "None"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_Dot11SecurityModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToDot11SecurityMode(const char *s);

/* Dot11SignalStrength: 0 None, 1 Very Bad, 2 Bad, 3 Good, 4 Very Good, 5 Extended. Out of
 * range: "None"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_Dot11SignalStrengthToString(int v);
ONVIF_CLIENT_API int onvif_StringToDot11SignalStrength(const char *s);

/* Dot11StationMode: 0 Ad-hoc, 1 Infrastructure, 2 Extended. Out of range: "Ad-hoc"; no match:
 * 0. */
ONVIF_CLIENT_API const char *onvif_Dot11StationModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToDot11StationMode(const char *s);

/* DynamicDNSType: 0 NoUpdate, 1 ClientUpdates, 2 ServerUpdates. Out of range: "NoUpdate"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_DynamicDNSTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToDynamicDNSType(const char *s);

/* EFlipMode: 0 OFF, 1 ON, 2 Extended. Out of range: "OFF"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_EFlipModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToEFlipMode(const char *s);

/* ExposureMode (also AutoFocusMode and WhiteBalanceMode): 0 AUTO, 1 MANUAL. Out of range:
 * "AUTO"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_ExposureModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToExposureMode(const char *s);
ONVIF_CLIENT_API const char *onvif_AutoFocusModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToAutoFocusMode(const char *s);
ONVIF_CLIENT_API const char *onvif_WhiteBalanceModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToWhiteBalanceMode(const char *s);

/* ExposurePriority: 0 LowNoise, 1 FrameRate. Out of range: "LowNoise"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_ExposurePriorityToString(int v);
ONVIF_CLIENT_API int onvif_StringToExposurePriority(const char *s);

/* FactoryDefaultType: 0 Hard, 1 Soft. Out of range: "Hard"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_FactoryDefaultTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToFactoryDefaultType(const char *s);

/* FocusDirection: 0 Near, 1 Far, 2 Auto. Out of range: "Near"; no match: 2. */
ONVIF_CLIENT_API const char *onvif_FocusDirectionToString(int v);
ONVIF_CLIENT_API int onvif_StringToFocusDirection(const char *s);

/* H264Profile: 0 Baseline, 1 Main, 2 Extended, 3 High. Out of range: "Baseline"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_H264ProfileToString(int v);
ONVIF_CLIENT_API int onvif_StringToH264Profile(const char *s);

/* IPAddressFilterType: 0 Allow, 1 Deny. Out of range: "Allow"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_IPAddressFilterTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToIPAddressFilterType(const char *s);

/* IrCutFilterMode: 0 ON, 1 OFF, 2 AUTO. Out of range: "ON"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_IrCutFilterModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToIrCutFilterMode(const char *s);

/* LockPhysicalState: 0 Unknown, 1 Locked, 2 Unlocked, 3 Fault. Out of range: "Unknown"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_LockPhysicalStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToLockPhysicalState(const char *s);

/* MoveStatus: 0 IDLE, 1 MOVING, 2 UNKNOWN. Out of range: "IDLE"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_MoveStatusToString(int v);
ONVIF_CLIENT_API int onvif_StringToMoveStatus(const char *s);

/* Mpeg4Profile: 0 SP, 1 ASP. Out of range: "SP"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_Mpeg4ProfileToString(int v);
ONVIF_CLIENT_API int onvif_StringToMpeg4Profile(const char *s);

/* OSDPosType: 0 UpperLeft, 1 UpperRight, 2 LowerLeft, 3 LowerRight, 4 Custom. Out of range:
 * "UpperLeft"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_OSDPosTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToOSDPosType(const char *s);

/* OSDTextType: 0 Plain, 1 Date, 2 Time, 3 DateAndTime. Out of range: "Plain"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_OSDTextTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToOSDTextType(const char *s);

/* OSDType: 0 Text, 1 Image, 2 Extended. Out of range: "Text"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_OSDTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToOSDType(const char *s);

/* PTZPresetTourDirection: 0 Forward, 1 Backward, 2 Extended. Out of range: "Forward"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_PTZPresetTourDirectionToString(int v);
ONVIF_CLIENT_API int onvif_StringToPTZPresetTourDirection(const char *s);

/* PTZPresetTourOperation: 0 Start, 1 Stop, 2 Pause, 3 Extended. Out of range: "Stop"; no
 * match: 1. */
ONVIF_CLIENT_API const char *onvif_PTZPresetTourOperationToString(int v);
ONVIF_CLIENT_API int onvif_StringToPTZPresetTourOperation(const char *s);

/* PTZPresetTourState: 0 Idle, 1 Touring, 2 Paused, 3 Extended. Out of range: "Idle"; no match:
 * 0. */
ONVIF_CLIENT_API const char *onvif_PTZPresetTourStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToPTZPresetTourState(const char *s);

/* PanDirection: 0 Left, 1 Right. Out of range: "Left"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_PanDirectionToString(int v);
ONVIF_CLIENT_API int onvif_StringToPanDirection(const char *s);

/* ParityBit: 0 None, 1 Even, 2 Odd, 3 Mark, 4 Space, 5 Extended. Out of range: "None"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_ParityBitToString(int v);
ONVIF_CLIENT_API int onvif_StringToParityBit(const char *s);

/* Polarity: 0 WhiteHot, 1 BlackHot. Out of range: "WhiteHot"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_PolarityToString(int v);
ONVIF_CLIENT_API int onvif_StringToPolarity(const char *s);

/* PropertyOperation: 0 Initialized, 1 Deleted, 2 Changed. Out of range: "Initialized"; no
 * match: -1. */
ONVIF_CLIENT_API const char *onvif_PropertyOperationToString(int v);
ONVIF_CLIENT_API int onvif_StringToPropertyOperation(const char *s);

/* ReceiverMode: 0 AutoConnect, 1 AlwaysConnect, 2 NeverConnect, 3 Unknown. Out of range:
 * "Unknown"; no match: 3. */
ONVIF_CLIENT_API const char *onvif_ReceiverModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToReceiverMode(const char *s);

/* ReceiverState: 0 NotConnected, 1 Connecting, 2 Connected, 3 Unknown. Out of range:
 * "Unknown"; no match: 3. */
ONVIF_CLIENT_API const char *onvif_ReceiverStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToReceiverState(const char *s);

/* RecordingStatus: 0 Initiated, 1 Recording, 2 Stopped, 3 Removing, 4 Removed, 5 Unknown. Out
 * of range: "Initialized"; no match: 5. */
ONVIF_CLIENT_API const char *onvif_RecordingStatusToString(int v);
ONVIF_CLIENT_API int onvif_StringToRecordingStatus(const char *s);

/* RelayIdleState (also DigitalIdleState): 0 closed, 1 open. Out of range: "closed"; no match:
 * 0. */
ONVIF_CLIENT_API const char *onvif_RelayIdleStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToRelayIdleState(const char *s);
ONVIF_CLIENT_API const char *onvif_DigitalIdleStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToDigitalIdleState(const char *s);

/* RelayLogicalState: 0 active, 1 inactive. Out of range: "inactive"; no match: 1. */
ONVIF_CLIENT_API const char *onvif_RelayLogicalStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToRelayLogicalState(const char *s);

/* RelayMode: 0 Monostable, 1 Bistable. Out of range: "Bistable"; no match: 1. */
ONVIF_CLIENT_API const char *onvif_RelayModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToRelayMode(const char *s);

/* ReverseMode: 0 OFF, 1 ON, 2 AUTO, 3 Extended. Out of range: "OFF"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_ReverseModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToReverseMode(const char *s);

/* RollDirection: 0 Clockwise, 1 Counterclockwise, 2 Auto. Out of range: "Clockwise"; no match:
 * 0. */
ONVIF_CLIENT_API const char *onvif_RollDirectionToString(int v);
ONVIF_CLIENT_API int onvif_StringToRollDirection(const char *s);

/* RotateMode: 0 OFF, 1 ON, 2 AUTO. Out of range: "OFF"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_RotateModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToRotateMode(const char *s);

/* ScopeDefinition: 0 Fixed, 1 Configurable. Out of range: "Configurable"; no match: 1. */
ONVIF_CLIENT_API const char *onvif_ScopeDefinitionToString(int v);
ONVIF_CLIENT_API int onvif_StringToScopeDefinition(const char *s);

/* SearchState: 0 Queued, 1 Searching, 2 Completed, 3 Unknown. Out of range: "Queued"; no
 * match: 3. */
ONVIF_CLIENT_API const char *onvif_SearchStateToString(int v);
ONVIF_CLIENT_API int onvif_StringToSearchState(const char *s);

/* SerialPortType: 0 RS232, 1 RS422HalfDuplex, 2 RS422FullDuplex, 3 RS485HalfDuplex, 4
 * RS485FullDuplex, 5 Generic. Out of range: "RS232"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_SerialPortTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToSerialPortType(const char *s);

/* SetDateTimeType: 0 Manual, 1 NTP. Out of range: "Manual"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_SetDateTimeTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToSetDateTimeType(const char *s);

/* StreamType: 0 RTP-Unicast, 1 RTP-Multicast. Out of range: "RTP_Unicast"; no match: -1. */
ONVIF_CLIENT_API const char *onvif_StreamTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToStreamType(const char *s);

/* SystemLogType: 0 System, 1 Access. Out of range: "System"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_SystemLogTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToSystemLogType(const char *s);

/* TiltDirection: 0 Up, 1 Down. Out of range: "Up"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_TiltDirectionToString(int v);
ONVIF_CLIENT_API int onvif_StringToTiltDirection(const char *s);

/* TrackType: 0 Video, 1 Audio, 2 Metadata, 3 Extended. Out of range: "Video"; no match: -1. */
ONVIF_CLIENT_API const char *onvif_TrackTypeToString(int v);
ONVIF_CLIENT_API int onvif_StringToTrackType(const char *s);

/* TransportProtocol: 0 UDP, 1 TCP, 2 RTSP, 3 HTTP. Out of range: "UDP"; no match: -1. */
ONVIF_CLIENT_API const char *onvif_TransportProtocolToString(int v);
ONVIF_CLIENT_API int onvif_StringToTransportProtocol(const char *s);

/* UserLevel: 0 Administrator, 1 Operator, 2 User, 3 Anonymous, 4 Extended. Out of range:
 * "User"; no match: 2. */
ONVIF_CLIENT_API const char *onvif_UserLevelToString(int v);
ONVIF_CLIENT_API int onvif_StringToUserLevel(const char *s);

/* VideoEncoding: 0 JPEG, 1 MPEG4, 2 H264, 3 H265. Out of range: "H264"; no match: -1. */
ONVIF_CLIENT_API const char *onvif_VideoEncodingToString(int v);
ONVIF_CLIENT_API int onvif_StringToVideoEncoding(const char *s);

/* WideDynamicMode (also BacklightCompensationMode): 0 OFF, 1 ON. Out of range: "OFF"; no
 * match: 0. */
ONVIF_CLIENT_API const char *onvif_WideDynamicModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToWideDynamicMode(const char *s);
ONVIF_CLIENT_API const char *onvif_BacklightCompensationModeToString(int v);
ONVIF_CLIENT_API int onvif_StringToBacklightCompensationMode(const char *s);

/* ZoomDirection: 0 Wide, 1 Telephoto. Out of range: "Wide"; no match: 0. */
ONVIF_CLIENT_API const char *onvif_ZoomDirectionToString(int v);
ONVIF_CLIENT_API int onvif_StringToZoomDirection(const char *s);

#ifdef __cplusplus
}
#endif

#endif
