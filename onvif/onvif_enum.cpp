/*
 * ONVIF enumeration converters: one constant table per enumeration and one
 * generic lookup in each direction.
 */
#include "onvif/onvif_enum.h"

namespace
{

struct EnumTable {
    const char *const *texts; // texts in value order
    int count;
    const char *other; // ToString of a value outside 0..count-1
    int unknown;       // StringTo of a text that matches none
};

// ASCII case-insensitive equality, independent of the locale.
bool same_text(const char *a, const char *b)
{
    for (;; a++, b++) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb) return false;
        if (ca == '\0') return true;
    }
}

const char *enum_to_string(const EnumTable &t, int v)
{
    if (v < 0 || v >= t.count) return t.other;
    return t.texts[v];
}

int string_to_enum(const EnumTable &t, const char *s)
{
    if (!s) return t.unknown;
    for (int i = 0; i < t.count; i++)
        if (same_text(s, t.texts[i])) return i;
    return t.unknown;
}

#define TEXTS(name, ...)                                                                           \
    const char *const k##name[] = {__VA_ARGS__};                                                   \
    constexpr int n##name = static_cast<int>(sizeof(k##name) / sizeof(k##name[0]))

TEXTS(AudioEncoding, "G711", "G726", "AAC");
constexpr EnumTable tAudioEncoding = {kAudioEncoding, nAudioEncoding, "G711", -1};
TEXTS(CapabilityCategory, "All", "Analytics", "Device", "Events", "Imaging", "Media", "PTZ");
constexpr EnumTable tCapabilityCategory = {kCapabilityCategory, nCapabilityCategory, "All", -1};
TEXTS(DiscoveryMode, "Discoverable", "NonDiscoverable");
constexpr EnumTable tDiscoveryMode = {kDiscoveryMode, nDiscoveryMode, "Discoverable", 0};
TEXTS(DoorAlarmState, "Normal", "DoorForcedOpen", "DoorOpenTooLong");
constexpr EnumTable tDoorAlarmState = {kDoorAlarmState, nDoorAlarmState, "Normal", 0};
TEXTS(DoorFaultState, "Unknown", "NotInFault", "FaultDetected");
constexpr EnumTable tDoorFaultState = {kDoorFaultState, nDoorFaultState, "Unknown", 0};
TEXTS(DoorMode, "Unknown", "Locked", "Unlocked", "Accessed", "Blocked", "LockedDown", "LockedOpen",
      "DoubleLocked");
constexpr EnumTable tDoorMode = {kDoorMode, nDoorMode, "Unknown", 0};
TEXTS(DoorPhysicalState, "Unknown", "Open", "Closed", "Fault");
constexpr EnumTable tDoorPhysicalState = {kDoorPhysicalState, nDoorPhysicalState, "Unknown", 0};
TEXTS(DoorTamperState, "Unknown", "NotInTamper", "TamperDetected");
constexpr EnumTable tDoorTamperState = {kDoorTamperState, nDoorTamperState, "Unknown", 0};
TEXTS(Dot11AuthAndMangementSuite, "None", "Dot1X", "PSK", "Extended");
constexpr EnumTable tDot11AuthAndMangementSuite = {kDot11AuthAndMangementSuite,
                                                   nDot11AuthAndMangementSuite, "None", 0};
TEXTS(Dot11Cipher, "CCMP", "TKIP", "Any", "Extended");
constexpr EnumTable tDot11Cipher = {kDot11Cipher, nDot11Cipher, "CCMP", 0};
TEXTS(Dot11SecurityMode, "None", "WEP", "PSK", "Dot1X", "Extended");
constexpr EnumTable tDot11SecurityMode = {kDot11SecurityMode, nDot11SecurityMode, "None", 0};
TEXTS(Dot11SignalStrength, "None", "Very Bad", "Bad", "Good", "Very Good", "Extended");
constexpr EnumTable tDot11SignalStrength = {kDot11SignalStrength, nDot11SignalStrength, "None", 0};
TEXTS(Dot11StationMode, "Ad-hoc", "Infrastructure", "Extended");
constexpr EnumTable tDot11StationMode = {kDot11StationMode, nDot11StationMode, "Ad-hoc", 0};
TEXTS(DynamicDNSType, "NoUpdate", "ClientUpdates", "ServerUpdates");
constexpr EnumTable tDynamicDNSType = {kDynamicDNSType, nDynamicDNSType, "NoUpdate", 0};
TEXTS(EFlipMode, "OFF", "ON", "Extended");
constexpr EnumTable tEFlipMode = {kEFlipMode, nEFlipMode, "OFF", 0};
TEXTS(ExposureMode, "AUTO", "MANUAL");
constexpr EnumTable tExposureMode = {kExposureMode, nExposureMode, "AUTO", 0};
TEXTS(ExposurePriority, "LowNoise", "FrameRate");
constexpr EnumTable tExposurePriority = {kExposurePriority, nExposurePriority, "LowNoise", 0};
TEXTS(FactoryDefaultType, "Hard", "Soft");
constexpr EnumTable tFactoryDefaultType = {kFactoryDefaultType, nFactoryDefaultType, "Hard", 0};
TEXTS(FocusDirection, "Near", "Far", "Auto");
constexpr EnumTable tFocusDirection = {kFocusDirection, nFocusDirection, "Near", 2};
TEXTS(H264Profile, "Baseline", "Main", "Extended", "High");
constexpr EnumTable tH264Profile = {kH264Profile, nH264Profile, "Baseline", 0};
TEXTS(IPAddressFilterType, "Allow", "Deny");
constexpr EnumTable tIPAddressFilterType = {kIPAddressFilterType, nIPAddressFilterType, "Allow", 0};
TEXTS(IrCutFilterMode, "ON", "OFF", "AUTO");
constexpr EnumTable tIrCutFilterMode = {kIrCutFilterMode, nIrCutFilterMode, "ON", 0};
TEXTS(LockPhysicalState, "Unknown", "Locked", "Unlocked", "Fault");
constexpr EnumTable tLockPhysicalState = {kLockPhysicalState, nLockPhysicalState, "Unknown", 0};
TEXTS(MoveStatus, "IDLE", "MOVING", "UNKNOWN");
constexpr EnumTable tMoveStatus = {kMoveStatus, nMoveStatus, "IDLE", 0};
TEXTS(Mpeg4Profile, "SP", "ASP");
constexpr EnumTable tMpeg4Profile = {kMpeg4Profile, nMpeg4Profile, "SP", 0};
TEXTS(OSDPosType, "UpperLeft", "UpperRight", "LowerLeft", "LowerRight", "Custom");
constexpr EnumTable tOSDPosType = {kOSDPosType, nOSDPosType, "UpperLeft", 0};
TEXTS(OSDTextType, "Plain", "Date", "Time", "DateAndTime");
constexpr EnumTable tOSDTextType = {kOSDTextType, nOSDTextType, "Plain", 0};
TEXTS(OSDType, "Text", "Image", "Extended");
constexpr EnumTable tOSDType = {kOSDType, nOSDType, "Text", 0};
TEXTS(PTZPresetTourDirection, "Forward", "Backward", "Extended");
constexpr EnumTable tPTZPresetTourDirection = {kPTZPresetTourDirection, nPTZPresetTourDirection,
                                               "Forward", 0};
TEXTS(PTZPresetTourOperation, "Start", "Stop", "Pause", "Extended");
constexpr EnumTable tPTZPresetTourOperation = {kPTZPresetTourOperation, nPTZPresetTourOperation,
                                               "Stop", 1};
TEXTS(PTZPresetTourState, "Idle", "Touring", "Paused", "Extended");
constexpr EnumTable tPTZPresetTourState = {kPTZPresetTourState, nPTZPresetTourState, "Idle", 0};
TEXTS(PanDirection, "Left", "Right");
constexpr EnumTable tPanDirection = {kPanDirection, nPanDirection, "Left", 0};
TEXTS(ParityBit, "None", "Even", "Odd", "Mark", "Space", "Extended");
constexpr EnumTable tParityBit = {kParityBit, nParityBit, "None", 0};
TEXTS(Polarity, "WhiteHot", "BlackHot");
constexpr EnumTable tPolarity = {kPolarity, nPolarity, "WhiteHot", 0};
TEXTS(PropertyOperation, "Initialized", "Deleted", "Changed");
constexpr EnumTable tPropertyOperation = {kPropertyOperation, nPropertyOperation, "Initialized",
                                          -1};
TEXTS(ReceiverMode, "AutoConnect", "AlwaysConnect", "NeverConnect", "Unknown");
constexpr EnumTable tReceiverMode = {kReceiverMode, nReceiverMode, "Unknown", 3};
TEXTS(ReceiverState, "NotConnected", "Connecting", "Connected", "Unknown");
constexpr EnumTable tReceiverState = {kReceiverState, nReceiverState, "Unknown", 3};
TEXTS(RecordingStatus, "Initiated", "Recording", "Stopped", "Removing", "Removed", "Unknown");
constexpr EnumTable tRecordingStatus = {kRecordingStatus, nRecordingStatus, "Initialized", 5};
TEXTS(RelayIdleState, "closed", "open");
constexpr EnumTable tRelayIdleState = {kRelayIdleState, nRelayIdleState, "closed", 0};
TEXTS(RelayLogicalState, "active", "inactive");
constexpr EnumTable tRelayLogicalState = {kRelayLogicalState, nRelayLogicalState, "inactive", 1};
TEXTS(RelayMode, "Monostable", "Bistable");
constexpr EnumTable tRelayMode = {kRelayMode, nRelayMode, "Bistable", 1};
TEXTS(ReverseMode, "OFF", "ON", "AUTO", "Extended");
constexpr EnumTable tReverseMode = {kReverseMode, nReverseMode, "OFF", 0};
TEXTS(RollDirection, "Clockwise", "Counterclockwise", "Auto");
constexpr EnumTable tRollDirection = {kRollDirection, nRollDirection, "Clockwise", 0};
TEXTS(RotateMode, "OFF", "ON", "AUTO");
constexpr EnumTable tRotateMode = {kRotateMode, nRotateMode, "OFF", 0};
TEXTS(ScopeDefinition, "Fixed", "Configurable");
constexpr EnumTable tScopeDefinition = {kScopeDefinition, nScopeDefinition, "Configurable", 1};
TEXTS(SearchState, "Queued", "Searching", "Completed", "Unknown");
constexpr EnumTable tSearchState = {kSearchState, nSearchState, "Queued", 3};
TEXTS(SerialPortType, "RS232", "RS422HalfDuplex", "RS422FullDuplex", "RS485HalfDuplex",
      "RS485FullDuplex", "Generic");
constexpr EnumTable tSerialPortType = {kSerialPortType, nSerialPortType, "RS232", 0};
TEXTS(SetDateTimeType, "Manual", "NTP");
constexpr EnumTable tSetDateTimeType = {kSetDateTimeType, nSetDateTimeType, "Manual", 0};
TEXTS(StreamType, "RTP-Unicast", "RTP-Multicast");
constexpr EnumTable tStreamType = {kStreamType, nStreamType, "RTP_Unicast", -1};
TEXTS(SystemLogType, "System", "Access");
constexpr EnumTable tSystemLogType = {kSystemLogType, nSystemLogType, "System", 0};
TEXTS(TiltDirection, "Up", "Down");
constexpr EnumTable tTiltDirection = {kTiltDirection, nTiltDirection, "Up", 0};
TEXTS(TrackType, "Video", "Audio", "Metadata", "Extended");
constexpr EnumTable tTrackType = {kTrackType, nTrackType, "Video", -1};
TEXTS(TransportProtocol, "UDP", "TCP", "RTSP", "HTTP");
constexpr EnumTable tTransportProtocol = {kTransportProtocol, nTransportProtocol, "UDP", -1};
TEXTS(UserLevel, "Administrator", "Operator", "User", "Anonymous", "Extended");
constexpr EnumTable tUserLevel = {kUserLevel, nUserLevel, "User", 2};
TEXTS(VideoEncoding, "JPEG", "MPEG4", "H264", "H265");
constexpr EnumTable tVideoEncoding = {kVideoEncoding, nVideoEncoding, "H264", -1};
TEXTS(WideDynamicMode, "OFF", "ON");
constexpr EnumTable tWideDynamicMode = {kWideDynamicMode, nWideDynamicMode, "OFF", 0};
TEXTS(ZoomDirection, "Wide", "Telephoto");
constexpr EnumTable tZoomDirection = {kZoomDirection, nZoomDirection, "Wide", 0};

#undef TEXTS

} // namespace

// Each pair is a real exported C function; aliases share their table.
#define ENUM_PAIR(name, table)                                                                     \
    extern "C" const char *onvif_##name##ToString(int v)                                           \
    {                                                                                              \
        return enum_to_string(table, v);                                                           \
    }                                                                                              \
    extern "C" int onvif_StringTo##name(const char *s)                                             \
    {                                                                                              \
        return string_to_enum(table, s);                                                           \
    }

ENUM_PAIR(AudioEncoding, tAudioEncoding)
ENUM_PAIR(CapabilityCategory, tCapabilityCategory)
ENUM_PAIR(DiscoveryMode, tDiscoveryMode)
ENUM_PAIR(DoorAlarmState, tDoorAlarmState)
ENUM_PAIR(DoorFaultState, tDoorFaultState)
ENUM_PAIR(DoorMode, tDoorMode)
ENUM_PAIR(DoorPhysicalState, tDoorPhysicalState)
ENUM_PAIR(DoorTamperState, tDoorTamperState)
ENUM_PAIR(Dot11AuthAndMangementSuite, tDot11AuthAndMangementSuite)
ENUM_PAIR(Dot11Cipher, tDot11Cipher)
ENUM_PAIR(Dot11SecurityMode, tDot11SecurityMode)
ENUM_PAIR(Dot11SignalStrength, tDot11SignalStrength)
ENUM_PAIR(Dot11StationMode, tDot11StationMode)
ENUM_PAIR(DynamicDNSType, tDynamicDNSType)
ENUM_PAIR(EFlipMode, tEFlipMode)
ENUM_PAIR(ExposureMode, tExposureMode)
ENUM_PAIR(AutoFocusMode, tExposureMode)
ENUM_PAIR(WhiteBalanceMode, tExposureMode)
ENUM_PAIR(ExposurePriority, tExposurePriority)
ENUM_PAIR(FactoryDefaultType, tFactoryDefaultType)
ENUM_PAIR(FocusDirection, tFocusDirection)
ENUM_PAIR(H264Profile, tH264Profile)
ENUM_PAIR(IPAddressFilterType, tIPAddressFilterType)
ENUM_PAIR(IrCutFilterMode, tIrCutFilterMode)
ENUM_PAIR(LockPhysicalState, tLockPhysicalState)
ENUM_PAIR(MoveStatus, tMoveStatus)
ENUM_PAIR(Mpeg4Profile, tMpeg4Profile)
ENUM_PAIR(OSDPosType, tOSDPosType)
ENUM_PAIR(OSDTextType, tOSDTextType)
ENUM_PAIR(OSDType, tOSDType)
ENUM_PAIR(PTZPresetTourDirection, tPTZPresetTourDirection)
ENUM_PAIR(PTZPresetTourOperation, tPTZPresetTourOperation)
ENUM_PAIR(PTZPresetTourState, tPTZPresetTourState)
ENUM_PAIR(PanDirection, tPanDirection)
ENUM_PAIR(ParityBit, tParityBit)
ENUM_PAIR(Polarity, tPolarity)
ENUM_PAIR(PropertyOperation, tPropertyOperation)
ENUM_PAIR(ReceiverMode, tReceiverMode)
ENUM_PAIR(ReceiverState, tReceiverState)
ENUM_PAIR(RecordingStatus, tRecordingStatus)
ENUM_PAIR(RelayIdleState, tRelayIdleState)
ENUM_PAIR(DigitalIdleState, tRelayIdleState)
ENUM_PAIR(RelayLogicalState, tRelayLogicalState)
ENUM_PAIR(RelayMode, tRelayMode)
ENUM_PAIR(ReverseMode, tReverseMode)
ENUM_PAIR(RollDirection, tRollDirection)
ENUM_PAIR(RotateMode, tRotateMode)
ENUM_PAIR(ScopeDefinition, tScopeDefinition)
ENUM_PAIR(SearchState, tSearchState)
ENUM_PAIR(SerialPortType, tSerialPortType)
ENUM_PAIR(SetDateTimeType, tSetDateTimeType)
ENUM_PAIR(StreamType, tStreamType)
ENUM_PAIR(SystemLogType, tSystemLogType)
ENUM_PAIR(TiltDirection, tTiltDirection)
ENUM_PAIR(TrackType, tTrackType)
ENUM_PAIR(TransportProtocol, tTransportProtocol)
ENUM_PAIR(UserLevel, tUserLevel)
ENUM_PAIR(VideoEncoding, tVideoEncoding)
ENUM_PAIR(WideDynamicMode, tWideDynamicMode)
ENUM_PAIR(BacklightCompensationMode, tWideDynamicMode)
ENUM_PAIR(ZoomDirection, tZoomDirection)

#undef ENUM_PAIR
