// The simulated thermal service of the camera's one video source
// (VideoSource_1): colour palette, polarity, NUC table and cooler, and the
// radiometry parameters, each settable within the options it reports.
#include "camera.h"
#include "device_service.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

struct Palette {
    const char *token, *name, *type;
};
const Palette kPalettes[] = {{"Palette_1", "Grayscale", "Grayscale"},
                             {"Palette_2", "Iron", "Iron"},
                             {"Palette_3", "Rainbow", "Rainbow"}};

struct Nuc {
    const char *token, *name, *low, *high;
};
const Nuc kNucs[] = {{"NUCTable_1", "Low range", "-20", "120"},
                     {"NUCTable_2", "High range", "100", "650"}};

// The radiometry parameters in schema order; the first three are required.
struct Param {
    const char *name;
    double min, max;
};
const Param kParams[] = {{"ReflectedAmbientTemperature", -40, 100},
                         {"Emissivity", 0, 1},
                         {"DistanceToObject", 0, 10000},
                         {"RelativeHumidity", 0, 100},
                         {"AtmosphericTemperature", -40, 60},
                         {"AtmosphericTransmittance", 0, 1},
                         {"ExtOpticsTemperature", -40, 100},
                         {"ExtOpticsTransmittance", 0, 1}};
const int kRequiredParams = 3;

bool knownSource(Camera &cam, SoapCall &call)
{
    if (call.in.childText(QStringLiteral("VideoSourceToken")) == QLatin1String(kVideoSource))
        return true;
    return R::badArg(cam, call, QStringLiteral("ter:NoSource"), QStringLiteral("no such source"));
}

El palette(const Palette &p)
{
    El e(NS_TTH, QStringLiteral("ColorPalette"));
    e.attr(QStringLiteral("token"), QLatin1String(p.token))
        .attr(QStringLiteral("Type"), QLatin1String(p.type));
    e.add(NS_TTH, QStringLiteral("Name"), QLatin1String(p.name));
    return e;
}

El nuc(const Nuc &n)
{
    El e(NS_TTH, QStringLiteral("NUCTable"));
    e.attr(QStringLiteral("token"), QLatin1String(n.token))
        .attr(QStringLiteral("LowTemperature"), QLatin1String(n.low))
        .attr(QStringLiteral("HighTemperature"), QLatin1String(n.high));
    e.add(NS_TTH, QStringLiteral("Name"), QLatin1String(n.name));
    return e;
}

El configuration(const ThermalState &t)
{
    El c(NS_TTH, QStringLiteral("Configuration"));
    for (const Palette &p : kPalettes)
        if (t.palette == QLatin1String(p.token)) c.add(palette(p));
    c.add(NS_TTH, QStringLiteral("Polarity"), t.polarity);
    for (const Nuc &n : kNucs)
        if (t.nuc == QLatin1String(n.token)) c.add(nuc(n));
    c.add(NS_TTH, QStringLiteral("Cooler"))
        .add(NS_TTH, QStringLiteral("Enabled"), boolText(t.cooler));
    return c;
}

// ---- handlers --------------------------------------------------------------------

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TTH).add(R::thermalCaps());
    return true;
}

bool getConfigurations(Camera &cam, SoapCall &call)
{
    El &c = R::reply(call, NS_TTH).add(NS_TTH, QStringLiteral("Configurations"));
    c.attr(QStringLiteral("token"), QLatin1String(kVideoSource));
    c.add(configuration(R::state(cam).thermal));
    return true;
}

bool getConfiguration(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    R::reply(call, NS_TTH).add(configuration(R::state(cam).thermal));
    return true;
}

bool setConfiguration(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    const XNode *c = call.in.child(QStringLiteral("Configuration"));
    const XNode *p = c ? c->child(QStringLiteral("ColorPalette")) : nullptr;
    ThermalState t = R::state(cam).thermal;
    t.palette = p ? p->attr(QStringLiteral("token")) : QString();
    t.polarity = c ? c->childText(QStringLiteral("Polarity")) : QString();
    const XNode *n = c ? c->child(QStringLiteral("NUCTable")) : nullptr;
    t.nuc = n ? n->attr(QStringLiteral("token")) : QString();
    bool paletteOk = false, nucOk = !n;
    for (const Palette &x : kPalettes)
        paletteOk = paletteOk || t.palette == QLatin1String(x.token);
    for (const Nuc &x : kNucs)
        nucOk = nucOk || t.nuc == QLatin1String(x.token);
    const XNode *cooler = c ? c->child(QStringLiteral("Cooler")) : nullptr;
    bool coolerOk =
        !cooler || parseBoolText(cooler->childText(QStringLiteral("Enabled")), t.cooler);
    if (!paletteOk || !nucOk || !coolerOk || (t.polarity != "WhiteHot" && t.polarity != "BlackHot"))
        return R::badArg(cam, call, QStringLiteral("ter:ConfigModify"),
                         QStringLiteral("palette, NUC table or polarity not among the options"));
    R::state(cam).thermal = t;
    return R::done(call, NS_TTH);
}

bool getConfigurationOptions(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    El &o = R::reply(call, NS_TTH).add(NS_TTH, QStringLiteral("ConfigurationOptions"));
    for (const Palette &p : kPalettes)
        o.add(palette(p));
    for (const Nuc &n : kNucs)
        o.add(nuc(n));
    o.add(NS_TTH, QStringLiteral("CoolerOptions"))
        .add(NS_TTH, QStringLiteral("Enabled"), QStringLiteral("true"));
    return true;
}

bool getRadiometryConfiguration(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    El &g = R::reply(call, NS_TTH)
                .add(NS_TTH, QStringLiteral("Configuration"))
                .add(NS_TTH, QStringLiteral("RadiometryGlobalParameters"));
    for (const auto &p : R::state(cam).thermal.radiometry)
        g.add(NS_TTH, p.first, QString::number(p.second));
    return true;
}

bool setRadiometryConfiguration(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    const XNode *c = call.in.child(QStringLiteral("Configuration"));
    const XNode *g = c ? c->child(QStringLiteral("RadiometryGlobalParameters")) : nullptr;
    if (!g) return R::done(call, NS_TTH); // nothing to change
    std::vector<std::pair<QString, double>> values;
    for (int i = 0; i < (int)(sizeof kParams / sizeof kParams[0]); ++i) {
        const Param &p = kParams[i];
        const QString text = g->childText(QLatin1String(p.name));
        if (text.isEmpty() && i >= kRequiredParams) continue;
        bool ok = false;
        double v = text.toDouble(&ok);
        if (!ok || v < p.min || v > p.max)
            return R::badArg(cam, call, QStringLiteral("ter:ConfigModify"),
                             QLatin1String(p.name) + QStringLiteral(" missing or out of range"));
        values.emplace_back(QLatin1String(p.name), v);
    }
    R::state(cam).thermal.radiometry = values;
    return R::done(call, NS_TTH);
}

bool getRadiometryConfigurationOptions(Camera &cam, SoapCall &call)
{
    if (!knownSource(cam, call)) return false;
    El &o = R::reply(call, NS_TTH)
                .add(NS_TTH, QStringLiteral("ConfigurationOptions"))
                .add(NS_TTH, QStringLiteral("RadiometryGlobalParameterOptions"));
    for (const Param &p : kParams) {
        El &r = o.add(NS_TTH, QLatin1String(p.name));
        r.add(NS_TT, QStringLiteral("Min"), QString::number(p.min));
        r.add(NS_TT, QStringLiteral("Max"), QString::number(p.max));
    }
    return true;
}

} // namespace

SoapOpTable thermalServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TTH, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TTH, "GetConfigurations", getConfigurations},
        {NS_TTH, "GetConfiguration", getConfiguration},
        {NS_TTH, "SetConfiguration", setConfiguration},
        {NS_TTH, "GetConfigurationOptions", getConfigurationOptions},
        {NS_TTH, "GetRadiometryConfiguration", getRadiometryConfiguration},
        {NS_TTH, "SetRadiometryConfiguration", setRadiometryConfiguration},
        {NS_TTH, "GetRadiometryConfigurationOptions", getRadiometryConfigurationOptions},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
