"""Configuration of the record generator: every per-type and per-member
choice that the schemas alone do not decide lives here, in one place.

Names: schema types are written "prefix:Local" with the prefixes of
NAMESPACES; a record member is addressed as ("RECORD_NAME", "member").
"""

# Namespace URI -> prefix. The prefix doubles as the SOAP_NS_ constant of
# onvif/soap_desc.h (SOAP_NS_<prefix>) and as the name prefix of records
# whose local name collides with another namespace's.
NAMESPACES = {
    "http://www.onvif.org/ver10/schema": "tt",
    "http://www.onvif.org/ver10/device/wsdl": "tds",
    "http://www.onvif.org/ver10/media/wsdl": "trt",
    "http://www.onvif.org/ver20/media/wsdl": "tr2",
    "http://www.onvif.org/ver10/events/wsdl": "tev",
    "http://www.onvif.org/ver20/ptz/wsdl": "tptz",
    "http://www.onvif.org/ver20/imaging/wsdl": "timg",
    "http://www.onvif.org/ver20/analytics/wsdl": "tan",
    "http://www.onvif.org/ver10/pacs": "pt",
    "http://www.onvif.org/ver10/deviceIO/wsdl": "tmd",
    "http://www.onvif.org/ver10/replay/wsdl": "trp",
    "http://www.onvif.org/ver10/search/wsdl": "tse",
    "http://www.onvif.org/ver10/recording/wsdl": "trc",
    "http://www.onvif.org/ver10/accesscontrol/wsdl": "tac",
    "http://www.onvif.org/ver10/doorcontrol/wsdl": "tdc",
    "http://www.onvif.org/ver10/thermal/wsdl": "tth",
    "http://www.onvif.org/ver10/credential/wsdl": "tcr",
    "http://www.onvif.org/ver10/accessrules/wsdl": "tar",
    "http://www.onvif.org/ver10/schedule/wsdl": "tsc",
    "http://www.onvif.org/ver10/receiver/wsdl": "trv",
    "http://www.onvif.org/ver10/provisioning/wsdl": "tpv",
    "http://docs.oasis-open.org/wsn/b-2": "wsnt",
    "http://www.w3.org/2005/08/addressing": "wsa",
    "http://www.onvif.org/ver10/error": "ter",
    "http://www.w3.org/2004/08/xop/include": "xop",
    "http://www.w3.org/2001/XMLSchema": "xs",
    "http://www.w3.org/2005/05/xmlmime": "xmime",
    "http://docs.oasis-open.org/wsn/t-1": "wstop",
}

# Service prefix of an operation row (onvif_ops.def) -> namespace of its
# request and response elements, and the schema file that declares them
# (relative to the schema directory).
SERVICES = {
    "tds": ("http://www.onvif.org/ver10/device/wsdl", "wsdl/ver10/device/wsdl/devicemgmt.xsd"),
    "trt": ("http://www.onvif.org/ver10/media/wsdl", "wsdl/ver10/media/wsdl/media.xsd"),
    "tr2": ("http://www.onvif.org/ver20/media/wsdl", "wsdl/ver20/media/wsdl/media.xsd"),
    "ptz": ("http://www.onvif.org/ver20/ptz/wsdl", "wsdl/ver20/ptz/wsdl/ptz.xsd"),
    "tev": ("http://www.onvif.org/ver10/events/wsdl", "wsdl/ver10/events/wsdl/event.xsd"),
    "img": ("http://www.onvif.org/ver20/imaging/wsdl", "wsdl/ver20/imaging/wsdl/imaging.xsd"),
    "tmd": ("http://www.onvif.org/ver10/deviceIO/wsdl", "wsdl/ver10/deviceio.xsd"),
    "trc": ("http://www.onvif.org/ver10/recording/wsdl", "wsdl/ver10/recording.xsd"),
    "trp": ("http://www.onvif.org/ver10/replay/wsdl", "wsdl/ver10/replay.xsd"),
    "tse": ("http://www.onvif.org/ver10/search/wsdl", "wsdl/ver10/search.xsd"),
    "tan": ("http://www.onvif.org/ver20/analytics/wsdl", "wsdl/ver20/analytics/wsdl/analytics.xsd"),
    "tac": ("http://www.onvif.org/ver10/accesscontrol/wsdl", "wsdl/ver10/pacs/accesscontrol.xsd"),
    "tdc": ("http://www.onvif.org/ver10/doorcontrol/wsdl", "wsdl/ver10/pacs/doorcontrol.xsd"),
    "tth": ("http://www.onvif.org/ver10/thermal/wsdl", "wsdl/ver10/thermal/wsdl/thermal.xsd"),
    "tcr": ("http://www.onvif.org/ver10/credential/wsdl", "wsdl/ver10/credential/wsdl/credential.xsd"),
    "tar": ("http://www.onvif.org/ver10/accessrules/wsdl",
            "wsdl/ver10/accessrules/wsdl/accessrules.xsd"),
    "tsc": ("http://www.onvif.org/ver10/schedule/wsdl", "wsdl/ver10/schedule/wsdl/schedule.xsd"),
    "trv": ("http://www.onvif.org/ver10/receiver/wsdl", "wsdl/ver10/receiver.xsd"),
    "tpv": ("http://www.onvif.org/ver10/provisioning/wsdl",
            "wsdl/ver10/provisioning/wsdl/provisioning.xsd"),
}
WSNT = ("http://docs.oasis-open.org/wsn/b-2", "external/b-2.xsd")

# Operations whose records and descriptors are written by hand (their layout
# is fixed elsewhere): "both", "req" or "res" is the side left out.
HAND_MADE = {
    ("tds", "GetCapabilities"): "both",
    ("tds", "GetServices"): "both",
    ("tds", "GetDeviceInformation"): "both",
    ("tds", "GetNetworkInterfaces"): "both",
    ("tds", "SetNetworkInterfaces"): "both",
    ("tds", "GetDNS"): "both",
    ("tds", "SetDNS"): "both",
    ("tds", "GetNetworkDefaultGateway"): "both",
    ("tds", "SetNetworkDefaultGateway"): "both",
    ("tds", "GetSystemDateAndTime"): "both",
    ("tds", "SetSystemDateAndTime"): "both",
    ("tds", "GetScopes"): "both",
    ("tds", "GetHostname"): "both",
    ("tds", "SetHostnameFromDHCP"): "res",
    ("tev", "GetServiceCapabilities"): "both",
    ("tev", "GetEventProperties"): "both",
    ("tev", "Subscribe"): "both",
    ("tev", "CreatePullPointSubscription"): "both",
    ("tev", "Renew"): "both",
    ("tev", "PullMessages"): "both",
    ("tev", "Unsubscribe"): "both",
}
# Every service's GetServiceCapabilities reads into the capability records
# the device keeps (onvif/onvif_caps.h), by hand.
for _svc in ("tds", "trt", "tr2", "ptz", "tev", "img", "tmd", "trc", "trp", "tse", "tan", "tac",
             "tdc", "tth", "tcr", "tar", "tsc", "trv", "tpv"):
    HAND_MADE[(_svc, "GetServiceCapabilities")] = "both"
del _svc

# Schema types mapped to records written by hand: type -> (record, list node
# type or None, header that defines them). The descriptor is SD_<record>.
# "tt:ItemList/SimpleItem" names the anonymous type of an element.
OVERRIDES = {
    "tt:NetworkInterface": ("ONVIF_NETWORK_INTERFACE", "NetworkInterfaceList",
                            "onvif/tds_types.h"),
    "tt:DateTime": ("ONVIF_DATETIME", None, "onvif/tds_types.h"),
    "tt:SystemDateTime": ("ONVIF_SYSTEM_DATETIME", None, "onvif/tds_types.h"),
    "tt:ItemList/SimpleItem": ("ONVIF_SIMPLE_ITEM", "SimpleItemList", "onvif/tev_types.h"),
    "tt:ItemList/ElementItem": ("ONVIF_ELEMENT_ITEM", "ElementItemList", "onvif/tev_types.h"),
    "tt:Capabilities": ("ONVIF_CAPABILITIES", None, "onvif/onvif_caps.h"),
    "tt:Scope": ("ONVIF_SCOPE", "ScopeList", "onvif/tds_types.h"),
    # The notification message of GetMessages is the one PullMessages and
    # Notify deliver.
    "wsnt:NotificationMessageHolderType": ("ONVIF_NOTIFICATION_MESSAGE",
                                           "NotificationMessageList", "onvif/tev_types.h"),
    # The options of a rule or module parameter are one element of any name
    # (tt:IntRange, a vendor's options ...): kept as XML text, which the
    # schema-driven record would leave out.
    "tan:ConfigOptions": ("ONVIF_CONFIG_OPTIONS", "ConfigOptionsList", "onvif/tan_types.h"),
    # Media 2 describes a video source mode exactly as media does (its
    # extension aside): one record and list for both services.
    "tr2:VideoSourceMode": ("ONVIF_VIDEO_SOURCE_MODE", "VideoSourceModeList",
                            "onvif/gen/trt_types.h"),
}

# Names of anonymous types (instead of their element path), where the
# library's list helpers already name them.
LOCAL_NAMES = {
    "tt:ConfigDescription/Messages": "ConfigDescription_Message",
    "tt:ItemListDescription/SimpleItemDescription": "SimpleItemDescription",
    "tt:ItemListDescription/ElementItemDescription": "ElementItemDescription",
}

# Headers scanned for record and list names the library already uses.
RESERVED_NAME_HEADERS = ["onvif/*.h", "discovery/*.h"]

# Types read as SOAP_BINARY (base64 text, or an MTOM/XOP attachment).
BINARY_TYPES = {"xs:base64Binary", "xmime:base64Binary", "tt:AttachmentData"}

# Text sizes by simple type; the first type of the restriction chain that is
# listed decides (the declared type first, the built-in base last).
TEXT_SIZES = {
    "tt:ReferenceToken": 65,
    "pt:ReferenceToken": 65,
    "tt:Name": 65,
    "pt:Name": 65,
    "tt:Description": 256,
    # The access-control services allow descriptions of 1024 characters; a
    # shorter field would cut them on every read-modify-write.
    "pt:Description": 1025,
    "xs:string": 256,
    "xs:normalizedString": 256,
    "xs:anySimpleType": 256,
    "xs:token": 64,
    "xs:NCName": 64,
    "xs:QName": 64,
    "xs:NMTOKEN": 64,
    "xs:Name": 64,
    "xs:ID": 64,
    "xs:IDREF": 64,
    "xs:language": 64,
    "xs:anyURI": 512,
    "xs:hexBinary": 256,
    "xs:date": 64,
    "xs:time": 64,
    "xs:gYear": 64,
    "xs:NMTOKENS": 256,
}
# Types whose text is token-like (surrounding whitespace dropped) although
# their base is xs:string.
TRIMMED_TYPES = {"tt:ReferenceToken", "pt:ReferenceToken"}
# xs:list types and enumerations without a converter pair.
LIST_TEXT_SIZE = 256
ENUM_TEXT_SIZE = 64
UNION_TEXT_SIZE = 64

# Text sizes of single members, where the type's size does not fit.
MEMBER_SIZES = {
    # iCalendar texts of schedules and special-day groups (a VCALENDAR with
    # several VEVENTs, or many RDATEs); a cut text would be a different
    # schedule when written back.
    ("ONVIF_SCHEDULE", "standard"): 4096,
    ("ONVIF_SPECIAL_DAY_GROUP", "days"): 4096,
}

# Capacity of arrays of repeated simple values (the schema's maxOccurs caps it).
ARRAY_CAP = 8
MEMBER_ARRAY_CAPS = {}

# Member names that the generic lower-snake rule gets wrong.
NAME_FIXES = {
    "DNSname": "dns_name",
}

# The enumeration converter pairs of onvif/onvif_enum.h: name -> texts in
# value order. A schema enumeration is stored as an int through a pair when
# its values are exactly a pair's texts, or when the type has the pair's
# name and its values are among the texts.
ENUMS = {
    "AudioEncoding": ["G711", "G726", "AAC"],
    "CapabilityCategory": ["All", "Analytics", "Device", "Events", "Imaging", "Media", "PTZ"],
    "DiscoveryMode": ["Discoverable", "NonDiscoverable"],
    "DoorAlarmState": ["Normal", "DoorForcedOpen", "DoorOpenTooLong"],
    "DoorFaultState": ["Unknown", "NotInFault", "FaultDetected"],
    "DoorMode": ["Unknown", "Locked", "Unlocked", "Accessed", "Blocked", "LockedDown",
                 "LockedOpen", "DoubleLocked"],
    "DoorPhysicalState": ["Unknown", "Open", "Closed", "Fault"],
    "DoorTamperState": ["Unknown", "NotInTamper", "TamperDetected"],
    "Dot11AuthAndMangementSuite": ["None", "Dot1X", "PSK", "Extended"],
    "Dot11Cipher": ["CCMP", "TKIP", "Any", "Extended"],
    "Dot11SecurityMode": ["None", "WEP", "PSK", "Dot1X", "Extended"],
    "Dot11SignalStrength": ["None", "Very Bad", "Bad", "Good", "Very Good", "Extended"],
    "Dot11StationMode": ["Ad-hoc", "Infrastructure", "Extended"],
    "DynamicDNSType": ["NoUpdate", "ClientUpdates", "ServerUpdates"],
    "EFlipMode": ["OFF", "ON", "Extended"],
    "ExposureMode": ["AUTO", "MANUAL"],
    "AutoFocusMode": ["AUTO", "MANUAL"],
    "WhiteBalanceMode": ["AUTO", "MANUAL"],
    "ExposurePriority": ["LowNoise", "FrameRate"],
    "FactoryDefaultType": ["Hard", "Soft"],
    "FocusDirection": ["Near", "Far", "Auto"],
    "H264Profile": ["Baseline", "Main", "Extended", "High"],
    "IPAddressFilterType": ["Allow", "Deny"],
    "IrCutFilterMode": ["ON", "OFF", "AUTO"],
    "LockPhysicalState": ["Unknown", "Locked", "Unlocked", "Fault"],
    "MoveStatus": ["IDLE", "MOVING", "UNKNOWN"],
    "Mpeg4Profile": ["SP", "ASP"],
    "OSDPosType": ["UpperLeft", "UpperRight", "LowerLeft", "LowerRight", "Custom"],
    "OSDTextType": ["Plain", "Date", "Time", "DateAndTime"],
    "OSDType": ["Text", "Image", "Extended"],
    "PTZPresetTourDirection": ["Forward", "Backward", "Extended"],
    "PTZPresetTourOperation": ["Start", "Stop", "Pause", "Extended"],
    "PTZPresetTourState": ["Idle", "Touring", "Paused", "Extended"],
    "PanDirection": ["Left", "Right"],
    "ParityBit": ["None", "Even", "Odd", "Mark", "Space", "Extended"],
    "Polarity": ["WhiteHot", "BlackHot"],
    "PropertyOperation": ["Initialized", "Deleted", "Changed"],
    "ReceiverMode": ["AutoConnect", "AlwaysConnect", "NeverConnect", "Unknown"],
    "ReceiverState": ["NotConnected", "Connecting", "Connected", "Unknown"],
    "RecordingStatus": ["Initiated", "Recording", "Stopped", "Removing", "Removed", "Unknown"],
    "RelayIdleState": ["closed", "open"],
    "DigitalIdleState": ["closed", "open"],
    "RelayLogicalState": ["active", "inactive"],
    "RelayMode": ["Monostable", "Bistable"],
    "ReverseMode": ["OFF", "ON", "AUTO", "Extended"],
    "RollDirection": ["Clockwise", "Counterclockwise", "Auto"],
    "RotateMode": ["OFF", "ON", "AUTO"],
    "ScopeDefinition": ["Fixed", "Configurable"],
    "SearchState": ["Queued", "Searching", "Completed", "Unknown"],
    "SerialPortType": ["RS232", "RS422HalfDuplex", "RS422FullDuplex", "RS485HalfDuplex",
                       "RS485FullDuplex", "Generic"],
    "SetDateTimeType": ["Manual", "NTP"],
    "StreamType": ["RTP-Unicast", "RTP-Multicast"],
    "SystemLogType": ["System", "Access"],
    "TiltDirection": ["Up", "Down"],
    "TrackType": ["Video", "Audio", "Metadata", "Extended"],
    "TransportProtocol": ["UDP", "TCP", "RTSP", "HTTP"],
    "UserLevel": ["Administrator", "Operator", "User", "Anonymous", "Extended"],
    "VideoEncoding": ["JPEG", "MPEG4", "H264", "H265"],
    "WideDynamicMode": ["OFF", "ON"],
    "BacklightCompensationMode": ["OFF", "ON"],
    "ZoomDirection": ["Wide", "Telephoto"],
}

# Second names of a pair's table: matched by name, never chosen for another
# type with the same texts.
ENUM_ALIASES = {"AutoFocusMode", "WhiteBalanceMode", "BacklightCompensationMode",
                "DigitalIdleState"}

# Size budget of one generated file, in lines before formatting.
FILE_LINES = 1300


# Members a record keeps that never travel: what the client learned about an
# object after reading it (record name -> [(C declaration, comment)]). They
# have no descriptor field, so the writer and the reader leave them alone.
RECORD_EXTRA = {
    "ONVIF_PROFILE": [("char stream_uri[512]", "read by GetStreamUris; empty until then")],
    "ONVIF_MEDIA_PROFILE": [("char stream_uri[512]", "read by tr2_GetStreamUris; empty until then")],
}
