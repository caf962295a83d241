// Enumeration converters, walked generically: each pair's texts are found
// through the pair itself (the values whose text reads back as the value),
// then round trip, case, out-of-range values and unknown texts are checked
// for every pair alike, and the texts against the ONVIF schemas' own
// enumerations of the same name.
#include "onvif/onvif_enum.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{

struct Pair {
    const char *name;
    const char *(*to_text)(int);
    int (*from_text)(const char *);
};

#define P(n)                                                                                       \
    {                                                                                              \
#n, onvif_##n##ToString, onvif_StringTo##n                                                 \
    }
const Pair kPairs[] = {
    P(AudioEncoding),
    P(CapabilityCategory),
    P(DiscoveryMode),
    P(DoorAlarmState),
    P(DoorFaultState),
    P(DoorMode),
    P(DoorPhysicalState),
    P(DoorTamperState),
    P(Dot11AuthAndMangementSuite),
    P(Dot11Cipher),
    P(Dot11SecurityMode),
    P(Dot11SignalStrength),
    P(Dot11StationMode),
    P(DynamicDNSType),
    P(EFlipMode),
    P(ExposureMode),
    P(AutoFocusMode),
    P(WhiteBalanceMode),
    P(ExposurePriority),
    P(FactoryDefaultType),
    P(FocusDirection),
    P(H264Profile),
    P(IPAddressFilterType),
    P(IrCutFilterMode),
    P(LockPhysicalState),
    P(MoveStatus),
    P(Mpeg4Profile),
    P(OSDPosType),
    P(OSDTextType),
    P(OSDType),
    P(PTZPresetTourDirection),
    P(PTZPresetTourOperation),
    P(PTZPresetTourState),
    P(PanDirection),
    P(ParityBit),
    P(Polarity),
    P(PropertyOperation),
    P(ReceiverMode),
    P(ReceiverState),
    P(RecordingStatus),
    P(RelayIdleState),
    P(DigitalIdleState),
    P(RelayLogicalState),
    P(RelayMode),
    P(ReverseMode),
    P(RollDirection),
    P(RotateMode),
    P(ScopeDefinition),
    P(SearchState),
    P(SerialPortType),
    P(SetDateTimeType),
    P(StreamType),
    P(SystemLogType),
    P(TiltDirection),
    P(TrackType),
    P(TransportProtocol),
    P(UserLevel),
    P(VideoEncoding),
    P(WideDynamicMode),
    P(BacklightCompensationMode),
    P(ZoomDirection),
};
#undef P

// The texts of a pair in value order: 0, 1, ... as long as a value's text
// reads back as that value.
std::vector<std::string> texts_of(const Pair &p)
{
    std::vector<std::string> out;
    for (int v = 0; v < 64; v++) {
        const char *t = p.to_text(v);
        if (!t || p.from_text(t) != v) break;
        out.push_back(t);
    }
    return out;
}

std::string swap_case(std::string s)
{
    for (char &c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

} // namespace

TEST(OnvifEnum, EveryPairRoundTripsIgnoringCase)
{
    for (const Pair &p : kPairs) {
        SCOPED_TRACE(p.name);
        const std::vector<std::string> texts = texts_of(p);
        ASSERT_GE(texts.size(), 2u);
        for (int v = 0; v < (int)texts.size(); v++) {
            EXPECT_FALSE(texts[v].empty());
            EXPECT_EQ(p.from_text(swap_case(texts[v]).c_str()), v) << texts[v];
            // Only ASCII letters fold: a byte above 0x7F never stands for one.
            std::string high = texts[v];
            high[0] = static_cast<char>(high[0] | 0x80);
            EXPECT_EQ(p.from_text(high.c_str()), p.from_text(nullptr)) << texts[v];
        }
    }
}

// Every value outside the table gives one fixed text: the one for -1.
TEST(OnvifEnum, OutOfRangeValuesGiveOneFixedText)
{
    for (const Pair &p : kPairs) {
        SCOPED_TRACE(p.name);
        const int n = (int)texts_of(p).size();
        const char *other = p.to_text(-1);
        ASSERT_NE(other, nullptr);
        for (int v : {n, n + 1, 1000, INT_MIN, INT_MAX})
            EXPECT_STREQ(p.to_text(v), other) << v;
    }
}

// Every text that matches none gives one fixed value: the one for null,
// either -1 or a value of the table.
TEST(OnvifEnum, UnknownTextsGiveOneFixedValue)
{
    for (const Pair &p : kPairs) {
        SCOPED_TRACE(p.name);
        const std::vector<std::string> texts = texts_of(p);
        const int unknown = p.from_text(nullptr);
        EXPECT_TRUE(unknown == -1 || (unknown >= 0 && unknown < (int)texts.size())) << unknown;
        EXPECT_EQ(p.from_text(""), unknown);
        EXPECT_EQ(p.from_text("no such value"), unknown);
        for (const std::string &t : texts) {
            // Neither an extension nor a prefix of a text matches it.
            EXPECT_EQ(p.from_text((t + "x").c_str()), unknown) << t;
            std::string prefix = t.substr(0, t.size() - 1);
            bool is_text = false;
            for (const std::string &u : texts)
                is_text = is_text || swap_case(u) == swap_case(prefix);
            if (!prefix.empty() && !is_text) {
                EXPECT_EQ(p.from_text(prefix.c_str()), unknown) << t;
            }
        }
    }
}

namespace
{

// The enumeration values of every named simple type in the schema set's
// .xsd and .wsdl files, one set per definition (services may each define a
// type of the same name).
std::map<std::string, std::vector<std::set<std::string>>>
schema_enumerations(const std::filesystem::path &dir)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::vector<std::set<std::string>>> out;
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, ec), end;
    for (int guard = 0; it != end && guard < 10000; it.increment(ec), guard++) {
        if (ec) break;
        const std::string ext = it->path().extension().string();
        if (ext != ".xsd" && ext != ".wsdl") continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string text = ss.str();
        const std::string open = "<xs:simpleType name=\"", close = "</xs:simpleType>";
        for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at + 1)) {
            size_t name_end = text.find('"', at + open.size());
            size_t stop = text.find(close, at);
            if (name_end == std::string::npos || stop == std::string::npos) break;
            const std::string name = text.substr(at + open.size(), name_end - at - open.size());
            std::set<std::string> values;
            const std::string key = "<xs:enumeration value=\"";
            for (size_t e = text.find(key, at); e != std::string::npos && e < stop;
                 e = text.find(key, e + 1)) {
                size_t q = text.find('"', e + key.size());
                if (q == std::string::npos) break;
                values.insert(text.substr(e + key.size(), q - e - key.size()));
            }
            if (!values.empty()) out[name].push_back(values);
        }
    }
    return out;
}

} // namespace

// Where the schemas enumerate a type of the same name, every value of one of
// its definitions reads as the value whose text it is: a misspelt or missing
// text shows here.
TEST(OnvifEnum, SchemaValuesAreKnown)
{
    const std::filesystem::path dir(ONVIF_SCHEMA_DIR);
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        GTEST_SKIP() << "skipped: no ONVIF schema set at " << dir.string()
                     << " (it belongs in ../shared next to the repository)";
    const auto schema = schema_enumerations(dir);
    int compared = 0;
    for (const Pair &p : kPairs) {
        auto found = schema.find(p.name);
        if (found == schema.end()) continue;
        compared++;
        const std::vector<std::string> texts = texts_of(p);
        std::string missing;
        for (const std::set<std::string> &definition : found->second) {
            missing.clear();
            for (const std::string &value : definition) {
                int v = p.from_text(value.c_str());
                if (v < 0 || v >= (int)texts.size() || texts[v] != value) missing += " " + value;
            }
            if (missing.empty()) break;
        }
        EXPECT_EQ(missing, "") << p.name << ": schema values not known";
    }
    EXPECT_GT(compared, 40) << "too few enumerations found in the schema set";
}
