// Enumeration converters: every table's texts, round trips, out-of-range
// values, unknown and null texts, case-insensitive matching.
#include "onvif/onvif_enum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

struct EnumCase {
    const char *name;
    const char *(*to_string)(int);
    int (*from_string)(const char *);
    const char *other;
    int unknown;
    std::vector<std::string> texts;
};

#define E(name, other, unknown, ...)                                                               \
    EnumCase                                                                                       \
    {                                                                                              \
#name, onvif_##name##ToString, onvif_StringTo##name, other, unknown,                       \
        {                                                                                          \
            __VA_ARGS__                                                                            \
        }                                                                                          \
    }

// The 61 converter pairs: texts in value order, the text for any value out of
// range, the value for a text that matches none.
const std::vector<EnumCase> kCases = {
    E(AudioEncoding, "G711", -1, "G711", "G726", "AAC"),
    E(CapabilityCategory, "All", -1, "All", "Analytics", "Device", "Events", "Imaging", "Media",
      "PTZ"),
    E(DiscoveryMode, "Discoverable", 0, "Discoverable", "NonDiscoverable"),
    E(DoorAlarmState, "Normal", 0, "Normal", "DoorForcedOpen", "DoorOpenTooLong"),
    E(DoorFaultState, "Unknown", 0, "Unknown", "NotInFault", "FaultDetected"),
    E(DoorMode, "Unknown", 0, "Unknown", "Locked", "Unlocked", "Accessed", "Blocked", "LockedDown",
      "LockedOpen", "DoubleLocked"),
    E(DoorPhysicalState, "Unknown", 0, "Unknown", "Open", "Closed", "Fault"),
    E(DoorTamperState, "Unknown", 0, "Unknown", "NotInTamper", "TamperDetected"),
    E(Dot11AuthAndMangementSuite, "None", 0, "None", "Dot1X", "PSK", "Extended"),
    E(Dot11Cipher, "CCMP", 0, "CCMP", "TKIP", "Any", "Extended"),
    E(Dot11SecurityMode, "None", 0, "None", "WEP", "PSK", "Dot1X", "Extended"),
    E(Dot11SignalStrength, "None", 0, "None", "Very Bad", "Bad", "Good", "Very Good", "Extended"),
    E(Dot11StationMode, "Ad-hoc", 0, "Ad-hoc", "Infrastructure", "Extended"),
    E(DynamicDNSType, "NoUpdate", 0, "NoUpdate", "ClientUpdates", "ServerUpdates"),
    E(EFlipMode, "OFF", 0, "OFF", "ON", "Extended"),
    E(ExposureMode, "AUTO", 0, "AUTO", "MANUAL"),
    E(AutoFocusMode, "AUTO", 0, "AUTO", "MANUAL"),
    E(WhiteBalanceMode, "AUTO", 0, "AUTO", "MANUAL"),
    E(ExposurePriority, "LowNoise", 0, "LowNoise", "FrameRate"),
    E(FactoryDefaultType, "Hard", 0, "Hard", "Soft"),
    E(FocusDirection, "Near", 2, "Near", "Far", "Auto"),
    E(H264Profile, "Baseline", 0, "Baseline", "Main", "Extended", "High"),
    E(IPAddressFilterType, "Allow", 0, "Allow", "Deny"),
    E(IrCutFilterMode, "ON", 0, "ON", "OFF", "AUTO"),
    E(LockPhysicalState, "Unknown", 0, "Unknown", "Locked", "Unlocked", "Fault"),
    E(MoveStatus, "IDLE", 0, "IDLE", "MOVING", "UNKNOWN"),
    E(Mpeg4Profile, "SP", 0, "SP", "ASP"),
    E(OSDPosType, "UpperLeft", 0, "UpperLeft", "UpperRight", "LowerLeft", "LowerRight", "Custom"),
    E(OSDTextType, "Plain", 0, "Plain", "Date", "Time", "DateAndTime"),
    E(OSDType, "Text", 0, "Text", "Image", "Extended"),
    E(PTZPresetTourDirection, "Forward", 0, "Forward", "Backward", "Extended"),
    E(PTZPresetTourOperation, "Stop", 1, "Start", "Stop", "Pause", "Extended"),
    E(PTZPresetTourState, "Idle", 0, "Idle", "Touring", "Paused", "Extended"),
    E(PanDirection, "Left", 0, "Left", "Right"),
    E(ParityBit, "None", 0, "None", "Even", "Odd", "Mark", "Space", "Extended"),
    E(Polarity, "WhiteHot", 0, "WhiteHot", "BlackHot"),
    E(PropertyOperation, "Initialized", -1, "Initialized", "Deleted", "Changed"),
    E(ReceiverMode, "Unknown", 3, "AutoConnect", "AlwaysConnect", "NeverConnect", "Unknown"),
    E(ReceiverState, "Unknown", 3, "NotConnected", "Connecting", "Connected", "Unknown"),
    E(RecordingStatus, "Initialized", 5, "Initiated", "Recording", "Stopped", "Removing", "Removed",
      "Unknown"),
    E(RelayIdleState, "closed", 0, "closed", "open"),
    E(DigitalIdleState, "closed", 0, "closed", "open"),
    E(RelayLogicalState, "inactive", 1, "active", "inactive"),
    E(RelayMode, "Bistable", 1, "Monostable", "Bistable"),
    E(ReverseMode, "OFF", 0, "OFF", "ON", "AUTO", "Extended"),
    E(RollDirection, "Clockwise", 0, "Clockwise", "Counterclockwise", "Auto"),
    E(RotateMode, "OFF", 0, "OFF", "ON", "AUTO"),
    E(ScopeDefinition, "Configurable", 1, "Fixed", "Configurable"),
    E(SearchState, "Queued", 3, "Queued", "Searching", "Completed", "Unknown"),
    E(SerialPortType, "RS232", 0, "RS232", "RS422HalfDuplex", "RS422FullDuplex", "RS485HalfDuplex",
      "RS485FullDuplex", "Generic"),
    E(SetDateTimeType, "Manual", 0, "Manual", "NTP"),
    E(StreamType, "RTP_Unicast", -1, "RTP-Unicast", "RTP-Multicast"),
    E(SystemLogType, "System", 0, "System", "Access"),
    E(TiltDirection, "Up", 0, "Up", "Down"),
    E(TrackType, "Video", -1, "Video", "Audio", "Metadata", "Extended"),
    E(TransportProtocol, "UDP", -1, "UDP", "TCP", "RTSP", "HTTP"),
    E(UserLevel, "User", 2, "Administrator", "Operator", "User", "Anonymous", "Extended"),
    E(VideoEncoding, "H264", -1, "JPEG", "MPEG4", "H264", "H265"),
    E(WideDynamicMode, "OFF", 0, "OFF", "ON"),
    E(BacklightCompensationMode, "OFF", 0, "OFF", "ON"),
    E(ZoomDirection, "Wide", 0, "Wide", "Telephoto"),
};

#undef E

std::string swap_case(const std::string &s)
{
    std::string out = s;
    for (char &c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

TEST(OnvifEnum, EveryPairRoundTrips)
{
    ASSERT_EQ(kCases.size(), 61u);
    for (const EnumCase &c : kCases) {
        SCOPED_TRACE(c.name);
        for (int v = 0; v < static_cast<int>(c.texts.size()); v++) {
            ASSERT_NE(c.to_string(v), nullptr);
            EXPECT_EQ(c.texts[v], c.to_string(v)) << v;
            EXPECT_EQ(c.from_string(c.texts[v].c_str()), v) << c.texts[v];
            EXPECT_EQ(c.from_string(c.to_string(v)), v);
        }
    }
}

TEST(OnvifEnum, OutOfRangeValuesGiveTheFixedText)
{
    for (const EnumCase &c : kCases) {
        SCOPED_TRACE(c.name);
        int n = static_cast<int>(c.texts.size());
        for (int v : {-1, n, n + 1, 1000, -2147483647 - 1, 2147483647})
            EXPECT_STREQ(c.to_string(v), c.other) << v;
    }
    EXPECT_STREQ(onvif_VideoEncodingToString(7), "H264");
    EXPECT_STREQ(onvif_RecordingStatusToString(9), "Initialized");
    EXPECT_STREQ(onvif_StreamTypeToString(2), "RTP_Unicast");
    EXPECT_STREQ(onvif_StreamTypeToString(0), "RTP-Unicast");
    EXPECT_STREQ(onvif_UserLevelToString(5), "User");
    EXPECT_STREQ(onvif_RelayLogicalStateToString(-1), "inactive");
    EXPECT_STREQ(onvif_ReceiverModeToString(4), "Unknown");
}

TEST(OnvifEnum, UnknownAndNullTextsGiveTheFixedValue)
{
    for (const EnumCase &c : kCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.from_string(nullptr), c.unknown);
        EXPECT_EQ(c.from_string(""), c.unknown);
        EXPECT_EQ(c.from_string("no such value"), c.unknown);
        // A prefix or an extension of a text is not a match.
        const std::string &first = c.texts.front();
        EXPECT_EQ(c.from_string((first + "x").c_str()), c.unknown) << first;
        if (first.size() > 1) {
            EXPECT_EQ(c.from_string(first.substr(0, first.size() - 1).c_str()), c.unknown) << first;
        }
    }
    EXPECT_EQ(onvif_StringToVideoEncoding("VP8"), -1);
    EXPECT_EQ(onvif_StringToRecordingStatus("Initialized"), 5);
    EXPECT_EQ(onvif_StringToStreamType("RTP_Unicast"), -1);
    EXPECT_EQ(onvif_StringToUserLevel("Root"), 2);
    EXPECT_EQ(onvif_StringToPTZPresetTourOperation("Rewind"), 1);
    EXPECT_EQ(onvif_StringToFocusDirection("Sideways"), 2);
    EXPECT_EQ(onvif_StringToScopeDefinition("Mutable"), 1);
    EXPECT_EQ(onvif_StringToDiscoveryMode("Hidden"), 0);
}

TEST(OnvifEnum, MatchingIgnoresCase)
{
    for (const EnumCase &c : kCases) {
        SCOPED_TRACE(c.name);
        for (int v = 0; v < static_cast<int>(c.texts.size()); v++)
            EXPECT_EQ(c.from_string(swap_case(c.texts[v]).c_str()), v) << c.texts[v];
    }
    EXPECT_EQ(onvif_StringToVideoEncoding("h264"), 2);
    EXPECT_EQ(onvif_StringToSerialPortType("RS485FullDuplex"), 4);
    EXPECT_EQ(onvif_StringToSerialPortType("rs485fullduplex"), 4);
    EXPECT_EQ(onvif_StringToDot11SignalStrength("very good"), 4);
    EXPECT_EQ(onvif_StringToDot11StationMode("AD-HOC"), 0);
    EXPECT_EQ(onvif_StringToRelayIdleState("OPEN"), 1);
    EXPECT_EQ(onvif_StringToIrCutFilterMode("auto"), 2);
    // Only ASCII letters fold: a byte above 0x7F never matches a letter.
    EXPECT_EQ(onvif_StringToIrCutFilterMode("\xC3\x93N"), 0);
    EXPECT_EQ(onvif_StringToAudioEncoding("\xC3\x81"
                                          "AC"),
              -1);
}

// Aliased names behave exactly like the pair they share a table with.
TEST(OnvifEnum, AliasesShareTheirTable)
{
    for (int v = -1; v <= 3; v++) {
        EXPECT_STREQ(onvif_AutoFocusModeToString(v), onvif_ExposureModeToString(v));
        EXPECT_STREQ(onvif_WhiteBalanceModeToString(v), onvif_ExposureModeToString(v));
        EXPECT_STREQ(onvif_DigitalIdleStateToString(v), onvif_RelayIdleStateToString(v));
        EXPECT_STREQ(onvif_BacklightCompensationModeToString(v), onvif_WideDynamicModeToString(v));
    }
    for (const char *s : {"AUTO", "manual", "closed", "Open", "ON", "off", "x", ""}) {
        EXPECT_EQ(onvif_StringToAutoFocusMode(s), onvif_StringToExposureMode(s)) << s;
        EXPECT_EQ(onvif_StringToWhiteBalanceMode(s), onvif_StringToExposureMode(s)) << s;
        EXPECT_EQ(onvif_StringToDigitalIdleState(s), onvif_StringToRelayIdleState(s)) << s;
        EXPECT_EQ(onvif_StringToBacklightCompensationMode(s), onvif_StringToWideDynamicMode(s))
            << s;
    }
    EXPECT_EQ(onvif_StringToAutoFocusMode(nullptr), 0);
    EXPECT_EQ(onvif_StringToDigitalIdleState(nullptr), 0);
}
