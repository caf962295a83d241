// The simulated imaging service of the camera's one video source
// (VideoSource_1): settings that SetImagingSettings changes within the
// ranges GetOptions reports, a focus lens that moves (absolute, relative,
// continuous until Stop) and reports its status, and imaging presets that
// set several values at once.
#include <QStringList>
#include <cmath>

#include "device_service.h"

namespace camsim
{

namespace
{

const QString kSource = QStringLiteral("VideoSource_1");

// One imaging setting: its element (under group, "" for the top level), its
// element in the options when that is named differently, its range (numbers)
// or its values (modes), and where it starts. In schema order.
struct Setting {
    const char *group, *name, *option;
    double min, max;
    const char *modes; // blank-separated; null for a number
    const char *initial;
};
const Setting kSettings[] = {
    {"BacklightCompensation", "Mode", nullptr, 0, 0, "OFF ON", "OFF"},
    {"BacklightCompensation", "Level", nullptr, 0, 100, nullptr, "0"},
    {"", "Brightness", nullptr, 0, 100, nullptr, "50"},
    {"", "ColorSaturation", nullptr, 0, 100, nullptr, "50"},
    {"", "Contrast", nullptr, 0, 100, nullptr, "50"},
    {"Exposure", "Mode", nullptr, 0, 0, "AUTO MANUAL", "AUTO"},
    {"Exposure", "Priority", nullptr, 0, 0, "LowNoise FrameRate", "FrameRate"},
    {"Exposure", "MinExposureTime", nullptr, 10, 40000, nullptr, "33"},
    {"Exposure", "MaxExposureTime", nullptr, 10, 40000, nullptr, "40000"},
    {"Exposure", "MinGain", nullptr, 0, 100, nullptr, "0"},
    {"Exposure", "MaxGain", nullptr, 0, 100, nullptr, "100"},
    {"Exposure", "MinIris", nullptr, -22, 0, nullptr, "-22"},
    {"Exposure", "MaxIris", nullptr, -22, 0, nullptr, "0"},
    {"Exposure", "ExposureTime", nullptr, 10, 40000, nullptr, "10000"},
    {"Exposure", "Gain", nullptr, 0, 100, nullptr, "50"},
    {"Exposure", "Iris", nullptr, -22, 0, nullptr, "0"},
    {"Focus", "AutoFocusMode", "AutoFocusModes", 0, 0, "AUTO MANUAL", "AUTO"},
    {"Focus", "DefaultSpeed", nullptr, 0, 1, nullptr, "0.5"},
    {"Focus", "NearLimit", nullptr, 0, 10, nullptr, "0.3"},
    {"Focus", "FarLimit", nullptr, 0, 10, nullptr, "0"},
    {"", "IrCutFilter", "IrCutFilterModes", 0, 0, "ON OFF AUTO", "AUTO"},
    {"", "Sharpness", nullptr, 0, 100, nullptr, "50"},
    {"WideDynamicRange", "Mode", nullptr, 0, 0, "OFF ON", "OFF"},
    {"WideDynamicRange", "Level", nullptr, 0, 100, nullptr, "50"},
    {"WhiteBalance", "Mode", nullptr, 0, 0, "AUTO MANUAL", "AUTO"},
    {"WhiteBalance", "CrGain", "YrGain", 0, 255, nullptr, "128"},
    {"WhiteBalance", "CbGain", "YbGain", 0, 255, nullptr, "128"},
};

// Pairs whose minimum must not exceed their maximum.
const char *const kMinMax[][2] = {{"Exposure/MinExposureTime", "Exposure/MaxExposureTime"},
                                  {"Exposure/MinGain", "Exposure/MaxGain"},
                                  {"Exposure/MinIris", "Exposure/MaxIris"}};

struct Preset {
    const char *token, *name, *type;
    const char *values; // "path=value;..."
};
const Preset kPresets[] = {
    {"ImagingPreset_1", "Daylight", "ClearWeather",
     "IrCutFilter=ON;Brightness=50;WideDynamicRange/Mode=OFF;BacklightCompensation/Mode=OFF"},
    {"ImagingPreset_2", "Night", "Night", "IrCutFilter=OFF;Brightness=70;Exposure/Mode=AUTO"},
    {"ImagingPreset_3", "Backlight", "WDR",
     "WideDynamicRange/Mode=ON;WideDynamicRange/Level=80;BacklightCompensation/Mode=ON"},
};

QString path(const Setting &s)
{
    return *s.group ? QLatin1String(s.group) + QLatin1Char('/') + QLatin1String(s.name)
                    : QLatin1String(s.name);
}

El &reply(SoapCall &call)
{
    call.out = El(NS_TIMG, call.in.name + QStringLiteral("Response"));
    return call.out;
}

// Writes settings (or, with options, their ranges and values) in schema
// order: every row under its group element, which is opened when the group
// changes.
void writeSettings(El &parent, const std::map<QString, QString> &values, bool options)
{
    El *group = nullptr;
    QString groupName;
    for (const Setting &s : kSettings) {
        El *into = &parent;
        if (*s.group) {
            if (!group || groupName != QLatin1String(s.group)) {
                group = &parent.add(NS_TT, QLatin1String(s.group));
                groupName = QLatin1String(s.group);
            }
            into = group;
        } else {
            group = nullptr;
        }
        const QString name = QLatin1String(options && s.option ? s.option : s.name);
        if (!options) {
            into->add(NS_TT, name, values.at(path(s)));
        } else if (s.modes) {
            for (const QString &m : QString::fromLatin1(s.modes).split(QLatin1Char(' ')))
                into->add(NS_TT, name, m);
        } else {
            El &r = into->add(NS_TT, name);
            r.add(NS_TT, QStringLiteral("Min"), floatText(s.min));
            r.add(NS_TT, QStringLiteral("Max"), floatText(s.max));
        }
    }
}

} // namespace

ImagingState initialImagingState()
{
    ImagingState s;
    for (const Setting &x : kSettings)
        s.settings[path(x)] = QLatin1String(x.initial);
    return s;
}

struct ImagingService {
    static bool sourceOk(Camera &cam, SoapCall &call)
    {
        const QString t = call.in.childText(QStringLiteral("VideoSourceToken"));
        if (t == kSource) return true;
        return DeviceService::badArg(cam, call, QStringLiteral("ter:NoSource"),
                                     QStringLiteral("no video source \"%1\"").arg(t));
    }

    static bool settingsInvalid(Camera &cam, SoapCall &call, const QString &why)
    {
        return DeviceService::badArg(cam, call, QStringLiteral("ter:SettingsInvalid"), why);
    }

    // The focus position now: a continuous move runs until Stop, its end
    // or the end of the lens.
    static void settleFocus(ImagingState &img)
    {
        const qint64 t = steadyMs();
        if (img.focusV != 0) {
            const qint64 end = qMin(t, img.focusUntil);
            img.focus =
                qBound(0.0, img.focus + img.focusV * double(end - img.focusSince) / 1000.0, 1.0);
            if (t >= img.focusUntil || img.focus <= 0 || img.focus >= 1) img.focusV = 0;
        }
        img.focusSince = t;
    }

    static bool getServiceCapabilities(Camera &, SoapCall &call)
    {
        reply(call)
            .add(NS_TIMG, QStringLiteral("Capabilities"))
            .attr(QStringLiteral("ImageStabilization"), QStringLiteral("false"))
            .attr(QStringLiteral("Presets"), QStringLiteral("true"))
            .attr(QStringLiteral("AdaptablePreset"), QStringLiteral("false"));
        return true;
    }

    static bool getImagingSettings(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        writeSettings(reply(call).add(NS_TIMG, QStringLiteral("ImagingSettings")), cam.img.settings,
                      false);
        return true;
    }

    static bool getOptions(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        writeSettings(reply(call).add(NS_TIMG, QStringLiteral("ImagingOptions")), cam.img.settings,
                      true);
        return true;
    }

    // Changes what the request names, all or nothing; values outside the
    // options refuse the whole request.
    static bool setImagingSettings(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        const XNode *in = call.in.child(QStringLiteral("ImagingSettings"));
        if (!in) return settingsInvalid(cam, call, QStringLiteral("no ImagingSettings"));
        std::map<QString, QString> next = cam.img.settings;
        for (const Setting &s : kSettings) {
            const XNode *g = *s.group ? in->child(QLatin1String(s.group)) : in;
            const XNode *e = g ? g->child(QLatin1String(s.name)) : nullptr;
            if (!e) continue;
            QString v = e->text.trimmed();
            if (s.modes) {
                if (!QString::fromLatin1(s.modes).split(QLatin1Char(' ')).contains(v))
                    return settingsInvalid(
                        cam, call, QStringLiteral("%1 \"%2\" not supported").arg(path(s), v));
            } else {
                bool ok = false;
                double d = v.toDouble(&ok);
                if (!ok || !std::isfinite(d) || d < s.min || d > s.max)
                    return settingsInvalid(
                        cam, call,
                        QStringLiteral("%1 %2 outside %3..%4")
                            .arg(path(s), v, floatText(s.min), floatText(s.max)));
                v = floatText(d);
            }
            next[path(s)] = v;
        }
        for (const auto &mm : kMinMax)
            if (next[QLatin1String(mm[0])].toDouble() > next[QLatin1String(mm[1])].toDouble())
                return settingsInvalid(
                    cam, call, QStringLiteral("%1 above %2").arg(QLatin1String(mm[0]), mm[1]));
        if (next != cam.img.settings) cam.img.currentPreset.clear();
        cam.img.settings = next;
        reply(call);
        return true;
    }

    static bool move(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        const XNode *f = call.in.child(QStringLiteral("Focus"));
        const XNode *abs = f ? f->child(QStringLiteral("Absolute")) : nullptr;
        const XNode *rel = f ? f->child(QStringLiteral("Relative")) : nullptr;
        const XNode *con = f ? f->child(QStringLiteral("Continuous")) : nullptr;
        auto value = [](const XNode *n, const char *name, double lo, double hi, double &out) {
            bool ok = false;
            out = n->childText(QLatin1String(name)).toDouble(&ok);
            return ok && std::isfinite(out) && out >= lo && out <= hi;
        };
        ImagingState &img = cam.img;
        settleFocus(img);
        double v = 0;
        if (abs) {
            if (!value(abs, "Position", 0, 1, v))
                return settingsInvalid(cam, call, QStringLiteral("Position outside 0..1"));
            img.focus = v;
            img.focusV = 0;
        } else if (rel) {
            if (!value(rel, "Distance", -1, 1, v))
                return settingsInvalid(cam, call, QStringLiteral("Distance outside -1..1"));
            img.focus = qBound(0.0, img.focus + v, 1.0);
            img.focusV = 0;
        } else if (con) {
            if (!value(con, "Speed", -1, 1, v))
                return settingsInvalid(cam, call, QStringLiteral("Speed outside -1..1"));
            img.focusV = v;
            img.focusUntil = img.focusSince + 60000; // a lens reaches its end long before
        } else {
            return settingsInvalid(cam, call, QStringLiteral("Focus needs a move"));
        }
        reply(call);
        return true;
    }

    static bool stop(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        settleFocus(cam.img);
        cam.img.focusV = 0;
        reply(call);
        return true;
    }

    static bool getStatus(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        settleFocus(cam.img);
        El &fs = reply(call)
                     .add(NS_TIMG, QStringLiteral("Status"))
                     .add(NS_TT, QStringLiteral("FocusStatus20"));
        fs.add(NS_TT, QStringLiteral("Position"), floatText(cam.img.focus));
        fs.add(NS_TT, QStringLiteral("MoveStatus"),
               cam.img.focusV != 0 ? QStringLiteral("MOVING") : QStringLiteral("IDLE"));
        return true;
    }

    static bool getMoveOptions(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        auto range = [](El &into, const char *name, double lo, double hi) {
            El &r = into.add(NS_TT, QLatin1String(name));
            r.add(NS_TT, QStringLiteral("Min"), floatText(lo));
            r.add(NS_TT, QStringLiteral("Max"), floatText(hi));
        };
        El &o = reply(call).add(NS_TIMG, QStringLiteral("MoveOptions"));
        El &a = o.add(NS_TT, QStringLiteral("Absolute"));
        range(a, "Position", 0, 1);
        range(a, "Speed", 0, 1);
        El &r = o.add(NS_TT, QStringLiteral("Relative"));
        range(r, "Distance", -1, 1);
        range(r, "Speed", 0, 1);
        range(o.add(NS_TT, QStringLiteral("Continuous")), "Speed", -1, 1);
        return true;
    }

    static El preset(const Preset &p)
    {
        El e(NS_TIMG, QStringLiteral("Preset"));
        e.attr(QStringLiteral("token"), QLatin1String(p.token))
            .attr(QStringLiteral("type"), QLatin1String(p.type));
        e.add(NS_TIMG, QStringLiteral("Name"), QLatin1String(p.name));
        return e;
    }

    static bool getPresets(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        El &out = reply(call);
        for (const Preset &p : kPresets)
            out.add(preset(p));
        return true;
    }

    static bool getCurrentPreset(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        El &out = reply(call);
        for (const Preset &p : kPresets)
            if (cam.img.currentPreset == QLatin1String(p.token)) out.add(preset(p));
        return true;
    }

    static bool setCurrentPreset(Camera &cam, SoapCall &call)
    {
        if (!sourceOk(cam, call)) return false;
        const QString token = call.in.childText(QStringLiteral("PresetToken"));
        for (const Preset &p : kPresets) {
            if (token != QLatin1String(p.token)) continue;
            for (const QString &kv : QString::fromLatin1(p.values).split(QLatin1Char(';'))) {
                const int eq = kv.indexOf(QLatin1Char('='));
                cam.img.settings[kv.left(eq)] = kv.mid(eq + 1);
            }
            cam.img.currentPreset = token;
            reply(call);
            return true;
        }
        return DeviceService::badArg(cam, call, QStringLiteral("ter:NoImagingPreset"),
                                     QStringLiteral("no imaging preset \"%1\"").arg(token));
    }
};

SoapOpTable imagingServiceOps()
{
    using I = ImagingService;
    static const SoapOp rows[] = {
        {NS_TIMG, "GetServiceCapabilities", I::getServiceCapabilities},
        {NS_TIMG, "GetImagingSettings", I::getImagingSettings},
        {NS_TIMG, "SetImagingSettings", I::setImagingSettings},
        {NS_TIMG, "GetOptions", I::getOptions},
        {NS_TIMG, "Move", I::move},
        {NS_TIMG, "Stop", I::stop},
        {NS_TIMG, "GetStatus", I::getStatus},
        {NS_TIMG, "GetMoveOptions", I::getMoveOptions},
        {NS_TIMG, "GetPresets", I::getPresets},
        {NS_TIMG, "GetCurrentPreset", I::getCurrentPreset},
        {NS_TIMG, "SetCurrentPreset", I::setCurrentPreset},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
