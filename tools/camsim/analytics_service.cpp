// The simulated analytics service of the camera's one analytics
// configuration (VideoAnalytics_1): rules (tt:CellMotionDetector,
// tt:LineDetector) and analytics modules (tt:CellMotionEngine) that can be
// created, read back, modified and deleted, with their descriptions and the
// options of their parameters. Every change is all or nothing: one bad rule
// in a request refuses the whole request.
#include <QSet>

#include "camera.h"
#include "rec_services.h"

namespace camsim
{

namespace
{

using R = RecServices;

const char kTtNs[] = "http://www.onvif.org/ver10/schema";
const char kXsNs[] = "http://www.w3.org/2001/XMLSchema";

struct ItemDesc {
    const char *name, *type; // type: QName text (tt: or xs:)
    bool element;
};

struct TypeDesc {
    const char *type; // local name in the tt namespace
    bool rule;        // a rule, else an analytics module
    std::vector<ItemDesc> params;
    const char *topic; // the rule's event topic ("" for modules)
    std::vector<ItemDesc> source, data;
};

const std::vector<TypeDesc> &types()
{
    static const std::vector<TypeDesc> t = {
        {"CellMotionDetector",
         true,
         {{"MinCount", "xs:integer", false},
          {"AlarmOnDelay", "xs:integer", false},
          {"AlarmOffDelay", "xs:integer", false},
          {"ActiveCells", "xs:base64Binary", false}},
         "tns1:RuleEngine/CellMotionDetector/Motion",
         {{"VideoSourceConfigurationToken", "tt:ReferenceToken", false},
          {"VideoAnalyticsConfigurationToken", "tt:ReferenceToken", false},
          {"Rule", "xs:string", false}},
         {{"IsMotion", "xs:boolean", false}}},
        {"LineDetector",
         true,
         {{"Segments", "tt:Polyline", true}, {"Direction", "xs:string", false}},
         "tns1:RuleEngine/LineDetector/Crossed",
         {{"VideoSourceConfigurationToken", "tt:ReferenceToken", false},
          {"Rule", "xs:string", false}},
         {{"ObjectId", "xs:integer", false}}},
        {"CellMotionEngine",
         false,
         {{"Sensitivity", "xs:integer", false}, {"Layout", "tt:CellLayout", true}},
         "",
         {},
         {}},
    };
    return t;
}

// Options of a parameter: an integer range, or a list of texts.
struct OptionDesc {
    const char *type, *param;
    int min, max;
    QStringList items;
};

const std::vector<OptionDesc> &options()
{
    static const std::vector<OptionDesc> o = {
        {"CellMotionDetector", "MinCount", 1, 100, {}},
        {"CellMotionDetector", "AlarmOnDelay", 0, 10000, {}},
        {"CellMotionDetector", "AlarmOffDelay", 0, 10000, {}},
        {"LineDetector", "Direction", 0, 0, {"Any", "LeftToRight", "RightToLeft"}},
        {"CellMotionEngine", "Sensitivity", 0, 100, {}},
    };
    return o;
}

const TypeDesc *typeNamed(const QString &local, bool rule)
{
    for (const TypeDesc &t : types())
        if (local == QLatin1String(t.type) && t.rule == rule) return &t;
    return nullptr;
}

QString localName(const QString &qname)
{
    return qname.mid(qname.indexOf(QLatin1Char(':')) + 1);
}

// The tt and xs prefixes of QName values, declared where they are used so
// that they hold whatever prefixes the reply's elements get.
El &declareQNames(El &e)
{
    return e.attr(QStringLiteral("xmlns:tt"), QLatin1String(kTtNs))
        .attr(QStringLiteral("xmlns:xs"), QLatin1String(kXsNs));
}

El configEl(const AnalyticsConfig &c, int ns, const QString &name)
{
    El e(ns, name);
    declareQNames(e);
    e.attr(QStringLiteral("Name"), c.name).attr(QStringLiteral("Type"), "tt:" + c.type);
    El &p = e.add(NS_TT, QStringLiteral("Parameters"));
    for (const auto &s : c.simple)
        p.add(NS_TT, QStringLiteral("SimpleItem"))
            .attr(QStringLiteral("Name"), s.first)
            .attr(QStringLiteral("Value"), s.second);
    for (const auto &el : c.element)
        p.add(NS_TT, QStringLiteral("ElementItem"))
            .attr(QStringLiteral("Name"), el.first)
            .add(el.second);
    return e;
}

// A tt:Config of the request: named, of a known type, its items readable.
bool readConfig(Camera &cam, SoapCall &call, const XNode &n, bool rule, AnalyticsConfig &out)
{
    out.name = n.attr(QStringLiteral("Name"));
    out.type = localName(n.attr(QStringLiteral("Type")));
    const QString bad =
        rule ? QStringLiteral("ter:InvalidRule") : QStringLiteral("ter:InvalidModule");
    if (out.name.isEmpty() || !typeNamed(out.type, rule))
        return R::badArg(cam, call, bad, QStringLiteral("unknown type: ") + out.type);
    const XNode *p = n.child(QStringLiteral("Parameters"));
    for (const XNode &k : p ? p->kids : std::vector<XNode>()) {
        if (k.name == "SimpleItem") {
            out.simple.emplace_back(k.attr(QStringLiteral("Name")),
                                    k.attr(QStringLiteral("Value")));
        } else if (k.name == "ElementItem") {
            // The item's one element, with its own namespace.
            El item;
            if (k.kids.size() != 1 || !copyAs(k, NS_NONE, QString(), item))
                return R::badArg(cam, call, bad, QStringLiteral("unreadable ElementItem"));
            out.element.emplace_back(k.attr(QStringLiteral("Name")), item.kids[0]);
        }
    }
    return true;
}

bool knownConfiguration(Camera &cam, SoapCall &call)
{
    if (call.in.childText(QStringLiteral("ConfigurationToken")) == QLatin1String(kAnalyticsToken))
        return true;
    return R::badArg(cam, call, QStringLiteral("ter:NoConfig"),
                     QStringLiteral("no such analytics configuration"));
}

int findConfig(const std::vector<AnalyticsConfig> &list, const QString &name)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].name == name) return (int)i;
    return -1;
}

// What Create, Modify and Delete of rules and modules share.
struct Kind {
    bool rule;
    const char *item;     // element of a Config in requests and replies
    const char *nameItem; // element of a name in Delete
    const char *exists, *missing, *full;
    int max;
    std::vector<AnalyticsConfig> &(*list)(RecState &);
};

std::vector<AnalyticsConfig> &rulesOf(RecState &s)
{
    return s.rules;
}
std::vector<AnalyticsConfig> &modulesOf(RecState &s)
{
    return s.modules;
}

const Kind kRules = {true,
                     "Rule",
                     "RuleName",
                     "ter:RuleAlreadyExistent",
                     "ter:RuleNotExistent",
                     "ter:TooManyRules",
                     kMaxRules,
                     rulesOf};
const Kind kModules = {false,
                       "AnalyticsModule",
                       "AnalyticsModuleName",
                       "ter:NameAlreadyExistent",
                       "ter:NameNotExistent",
                       "ter:TooManyModules",
                       kMaxModules,
                       modulesOf};

bool create(Camera &cam, SoapCall &call, const Kind &k)
{
    if (!knownConfiguration(cam, call)) return false;
    std::vector<AnalyticsConfig> &list = k.list(R::state(cam));
    std::vector<AnalyticsConfig> add;
    QSet<QString> names;
    for (const XNode *n : call.in.childrenNamed(QLatin1String(k.item))) {
        AnalyticsConfig c;
        if (!readConfig(cam, call, *n, k.rule, c)) return false;
        if (findConfig(list, c.name) >= 0 || names.contains(c.name))
            return R::badArg(cam, call, QLatin1String(k.exists), c.name);
        names.insert(c.name);
        add.push_back(c);
    }
    if (list.size() + add.size() > (size_t)k.max)
        return R::action(cam, call, QLatin1String(k.full), QStringLiteral("no room"));
    list.insert(list.end(), add.begin(), add.end());
    return R::done(call, NS_TAN);
}

bool modify(Camera &cam, SoapCall &call, const Kind &k)
{
    if (!knownConfiguration(cam, call)) return false;
    std::vector<AnalyticsConfig> changed = k.list(R::state(cam));
    for (const XNode *n : call.in.childrenNamed(QLatin1String(k.item))) {
        AnalyticsConfig c;
        if (!readConfig(cam, call, *n, k.rule, c)) return false;
        int i = findConfig(changed, c.name);
        if (i < 0) return R::badArg(cam, call, QLatin1String(k.missing), c.name);
        changed[(size_t)i] = c;
    }
    k.list(R::state(cam)) = changed;
    return R::done(call, NS_TAN);
}

bool remove(Camera &cam, SoapCall &call, const Kind &k)
{
    if (!knownConfiguration(cam, call)) return false;
    std::vector<AnalyticsConfig> left = k.list(R::state(cam));
    for (const XNode *n : call.in.childrenNamed(QLatin1String(k.nameItem))) {
        int i = findConfig(left, n->text);
        if (i < 0) return R::badArg(cam, call, QLatin1String(k.missing), n->text);
        left.erase(left.begin() + i);
    }
    k.list(R::state(cam)) = left;
    return R::done(call, NS_TAN);
}

bool get(Camera &cam, SoapCall &call, const Kind &k)
{
    if (!knownConfiguration(cam, call)) return false;
    El &out = R::reply(call, NS_TAN);
    for (const AnalyticsConfig &c : k.list(R::state(cam)))
        out.add(configEl(c, NS_TAN, QLatin1String(k.item)));
    return true;
}

El itemListDescription(const std::vector<ItemDesc> &items, const QString &name)
{
    El l(NS_TT, name);
    for (bool element : {false, true})
        for (const ItemDesc &i : items)
            if (i.element == element)
                l.add(NS_TT, element ? QStringLiteral("ElementItemDescription")
                                     : QStringLiteral("SimpleItemDescription"))
                    .attr(QStringLiteral("Name"), QLatin1String(i.name))
                    .attr(QStringLiteral("Type"), QLatin1String(i.type));
    return l;
}

El description(const TypeDesc &t, const QString &name)
{
    El d(NS_TT, name);
    declareQNames(d);
    d.attr(QStringLiteral("Name"), QStringLiteral("tt:") + QLatin1String(t.type));
    if (!t.rule) d.attr(QStringLiteral("fixed"), QStringLiteral("true"));
    d.attr(QStringLiteral("maxInstances"), QString::number(t.rule ? kMaxRules : 1));
    d.add(itemListDescription(t.params, QStringLiteral("Parameters")));
    if (t.topic[0]) {
        El &m = d.add(NS_TT, QStringLiteral("Messages"));
        m.attr(QStringLiteral("IsProperty"), QStringLiteral("true"));
        m.add(itemListDescription(t.source, QStringLiteral("Source")));
        m.add(itemListDescription(t.data, QStringLiteral("Data")));
        m.add(NS_TT, QStringLiteral("ParentTopic"), QLatin1String(t.topic));
    }
    return d;
}

bool supported(Camera &cam, SoapCall &call, bool rule)
{
    if (!knownConfiguration(cam, call)) return false;
    El &s = R::reply(call, NS_TAN)
                .add(NS_TAN, rule ? QStringLiteral("SupportedRules")
                                  : QStringLiteral("SupportedAnalyticsModules"));
    for (const TypeDesc &t : types())
        if (t.rule == rule)
            s.add(description(t, rule ? QStringLiteral("RuleDescription")
                                      : QStringLiteral("AnalyticsModuleDescription")));
    s.attr(QStringLiteral("Limit"), QString::number(rule ? kMaxRules : kMaxModules));
    return true;
}

// The options of the parameters of one type (or of every type of the kind).
bool optionsOf(Camera &cam, SoapCall &call, bool rule)
{
    if (!knownConfiguration(cam, call)) return false;
    const QString only =
        localName(call.in.childText(rule ? QStringLiteral("RuleType") : QStringLiteral("Type")));
    if (!only.isEmpty() && !typeNamed(only, rule))
        return R::badArg(cam, call,
                         rule ? QStringLiteral("ter:InvalidRule")
                              : QStringLiteral("ter:InvalidModule"),
                         QStringLiteral("unknown type: ") + only);
    El &out = R::reply(call, NS_TAN);
    for (const OptionDesc &o : options()) {
        const TypeDesc *t = typeNamed(QLatin1String(o.type), rule);
        if (!t || (!only.isEmpty() && only != QLatin1String(o.type))) continue;
        El &e = out.add(NS_TAN, rule ? QStringLiteral("RuleOptions") : QStringLiteral("Options"));
        declareQNames(e);
        e.attr(QStringLiteral("Name"), QLatin1String(o.param));
        e.attr(rule ? QStringLiteral("RuleType") : QStringLiteral("AnalyticsModule"),
               QStringLiteral("tt:") + QLatin1String(o.type));
        if (o.items.isEmpty()) {
            El &r = e.add(NS_TT, QStringLiteral("IntRange"));
            r.add(NS_TT, QStringLiteral("Min"), QString::number(o.min));
            r.add(NS_TT, QStringLiteral("Max"), QString::number(o.max));
        } else {
            El &l = e.add(NS_TT, QStringLiteral("StringItems"));
            for (const QString &i : o.items)
                l.add(NS_TT, QStringLiteral("Item"), i);
        }
    }
    return true;
}

// ---- handlers --------------------------------------------------------------------

bool getServiceCapabilities(Camera &, SoapCall &call)
{
    R::reply(call, NS_TAN).add(R::analyticsCaps());
    return true;
}
bool getSupportedRules(Camera &cam, SoapCall &call)
{
    return supported(cam, call, true);
}
bool createRules(Camera &cam, SoapCall &call)
{
    return create(cam, call, kRules);
}
bool deleteRules(Camera &cam, SoapCall &call)
{
    return remove(cam, call, kRules);
}
bool getRules(Camera &cam, SoapCall &call)
{
    return get(cam, call, kRules);
}
bool modifyRules(Camera &cam, SoapCall &call)
{
    return modify(cam, call, kRules);
}
bool createAnalyticsModules(Camera &cam, SoapCall &call)
{
    return create(cam, call, kModules);
}
bool deleteAnalyticsModules(Camera &cam, SoapCall &call)
{
    return remove(cam, call, kModules);
}
bool getAnalyticsModules(Camera &cam, SoapCall &call)
{
    return get(cam, call, kModules);
}
bool modifyAnalyticsModules(Camera &cam, SoapCall &call)
{
    return modify(cam, call, kModules);
}
bool getSupportedAnalyticsModules(Camera &cam, SoapCall &call)
{
    return supported(cam, call, false);
}
bool getRuleOptions(Camera &cam, SoapCall &call)
{
    return optionsOf(cam, call, true);
}
bool getAnalyticsModuleOptions(Camera &cam, SoapCall &call)
{
    return optionsOf(cam, call, false);
}

} // namespace

SoapOpTable analyticsServiceOps()
{
    static const SoapOp rows[] = {
        {NS_TAN, "GetServiceCapabilities", getServiceCapabilities},
        {NS_TAN, "GetSupportedRules", getSupportedRules},
        {NS_TAN, "CreateRules", createRules},
        {NS_TAN, "DeleteRules", deleteRules},
        {NS_TAN, "GetRules", getRules},
        {NS_TAN, "ModifyRules", modifyRules},
        {NS_TAN, "CreateAnalyticsModules", createAnalyticsModules},
        {NS_TAN, "DeleteAnalyticsModules", deleteAnalyticsModules},
        {NS_TAN, "GetAnalyticsModules", getAnalyticsModules},
        {NS_TAN, "ModifyAnalyticsModules", modifyAnalyticsModules},
        {NS_TAN, "GetSupportedAnalyticsModules", getSupportedAnalyticsModules},
        {NS_TAN, "GetRuleOptions", getRuleOptions},
        {NS_TAN, "GetAnalyticsModuleOptions", getAnalyticsModuleOptions},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
