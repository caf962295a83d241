// The door-access controller: its operation table, its kinds of records and
// the records it starts with, and the handlers every kind shares (paged
// lists, lookups by token, Create/Set/Modify/Delete, capabilities).
#include "pacs_service.h"

#include <algorithm>

#include "device_service.h"

namespace camsim
{

namespace
{

using P = PacsService;

const char *const kAccessPointOrder[] = {
    "Name",       "Description", "AreaFrom",     "AreaTo",
    "EntityType", "Entity",      "Capabilities", "AuthenticationProfileToken",
    "Extension",  nullptr};
const char *const kAccessPointRequired[] = {"Name", "Entity", "Capabilities", nullptr};
const char *const kAreaOrder[] = {"Name", "Description", "Extension", nullptr};
const char *const kNameRequired[] = {"Name", nullptr};
const char *const kDoorOrder[] = {"Name",    "Description", "Capabilities", "DoorType",
                                  "Timings", "Extension",   nullptr};
const char *const kDoorRequired[] = {"Name", "Capabilities", "DoorType", "Timings", nullptr};
const char *const kCredentialOrder[] = {"Description",
                                        "CredentialHolderReference",
                                        "ValidFrom",
                                        "ValidTo",
                                        "CredentialIdentifier",
                                        "CredentialAccessProfile",
                                        "ExtendedGrantTime",
                                        "Attribute",
                                        "Extension",
                                        nullptr};
const char *const kCredentialRequired[] = {"CredentialHolderReference", "CredentialIdentifier",
                                           nullptr};
const char *const kAccessProfileOrder[] = {"Name", "Description", "AccessPolicy", "Extension",
                                           nullptr};
const char *const kScheduleOrder[] = {"Name",        "Description", "Standard",
                                      "SpecialDays", "Extension",   nullptr};
const char *const kScheduleRequired[] = {"Name", "Standard", nullptr};
const char *const kSpecialDayGroupOrder[] = {"Name", "Description", "Days", "Extension", nullptr};

const PacsKindInfo kKinds[PK_COUNT] = {
    {NS_TAC, "AccessPoint", kAccessPointOrder, 7, kAccessPointRequired, 10},
    {NS_TAC, "Area", kAreaOrder, 2, kNameRequired, 10},
    {NS_TDC, "Door", kDoorOrder, 3, kDoorRequired, 10},
    {NS_TCR, "Credential", kCredentialOrder, 4, kCredentialRequired, 50},
    {NS_TAR, "AccessProfile", kAccessProfileOrder, 2, kNameRequired, 10},
    {NS_TSC, "Schedule", kScheduleOrder, 2, kScheduleRequired, 10},
    {NS_TSC, "SpecialDayGroup", kSpecialDayGroupOrder, 2, kNameRequired, 10},
};

// The records the controller starts with: three doors with their access
// points between two areas, five credentials, two access profiles, office
// hours and an always-open schedule, and a holiday group.
const char kInitial[] = R"(<init xmlns:tac="http://www.onvif.org/ver10/accesscontrol/wsdl"
 xmlns:tdc="http://www.onvif.org/ver10/doorcontrol/wsdl"
 xmlns:tcr="http://www.onvif.org/ver10/credential/wsdl"
 xmlns:tar="http://www.onvif.org/ver10/accessrules/wsdl"
 xmlns:tsc="http://www.onvif.org/ver10/schedule/wsdl">
<tac:Area token="Area_1"><tac:Name>Lobby</tac:Name></tac:Area>
<tac:Area token="Area_2"><tac:Name>Office</tac:Name><tac:Description>Second floor</tac:Description></tac:Area>
<tdc:Door token="Door_1"><tdc:Name>Main entrance</tdc:Name>
 <tdc:Capabilities Access="true" AccessTimingOverride="true" Lock="true" Unlock="true" Block="true"
  DoubleLock="true" LockDown="true" LockOpen="true" DoorMonitor="true" LockMonitor="true"
  DoubleLockMonitor="true" Alarm="true" Tamper="false" Fault="false"/>
 <tdc:DoorType>pt:Door</tdc:DoorType>
 <tdc:Timings><tdc:ReleaseTime>PT5S</tdc:ReleaseTime><tdc:OpenTime>PT10S</tdc:OpenTime></tdc:Timings></tdc:Door>
<tdc:Door token="Door_2"><tdc:Name>Office door</tdc:Name>
 <tdc:Capabilities Access="true" Lock="true" Unlock="true" Block="true" LockDown="true"
  LockOpen="true" DoorMonitor="true" LockMonitor="true"/>
 <tdc:DoorType>pt:Door</tdc:DoorType>
 <tdc:Timings><tdc:ReleaseTime>PT3S</tdc:ReleaseTime><tdc:OpenTime>PT8S</tdc:OpenTime></tdc:Timings></tdc:Door>
<tdc:Door token="Door_3"><tdc:Name>Server room</tdc:Name><tdc:Description>Double lock</tdc:Description>
 <tdc:Capabilities Access="true" Lock="true" Unlock="true" DoubleLock="true" LockDown="true"
  DoorMonitor="true" LockMonitor="true" DoubleLockMonitor="true"/>
 <tdc:DoorType>pt:Door</tdc:DoorType>
 <tdc:Timings><tdc:ReleaseTime>PT5S</tdc:ReleaseTime><tdc:OpenTime>PT10S</tdc:OpenTime>
  <tdc:PreAlarmTime>PT8S</tdc:PreAlarmTime></tdc:Timings></tdc:Door>
<tac:AccessPoint token="AccessPoint_1"><tac:Name>Main entrance in</tac:Name>
 <tac:AreaTo>Area_1</tac:AreaTo><tac:EntityType>tdc:Door</tac:EntityType><tac:Entity>Door_1</tac:Entity>
 <tac:Capabilities DisableAccessPoint="true" AnonymousAccess="false" AccessTaken="true"
  SupportedRecognitionTypes="pt:Card pt:PIN"/></tac:AccessPoint>
<tac:AccessPoint token="AccessPoint_2"><tac:Name>Office in</tac:Name>
 <tac:AreaFrom>Area_1</tac:AreaFrom><tac:AreaTo>Area_2</tac:AreaTo><tac:Entity>Door_2</tac:Entity>
 <tac:Capabilities DisableAccessPoint="true" SupportedRecognitionTypes="pt:Card"/></tac:AccessPoint>
<tac:AccessPoint token="AccessPoint_3"><tac:Name>Server room in</tac:Name>
 <tac:AreaFrom>Area_2</tac:AreaFrom><tac:Entity>Door_3</tac:Entity>
 <tac:Capabilities DisableAccessPoint="false" SupportedRecognitionTypes="pt:Card pt:PIN"/></tac:AccessPoint>
<tsc:SpecialDayGroup token="SpecialDayGroup_1"><tsc:Name>Holidays</tsc:Name><tsc:Days>BEGIN:VCALENDAR
BEGIN:VEVENT
SUMMARY:New Year
DTSTART;VALUE=DATE:20240101
RRULE:FREQ=YEARLY
END:VEVENT
BEGIN:VEVENT
SUMMARY:Christmas
DTSTART;VALUE=DATE:20241225
RRULE:FREQ=YEARLY
END:VEVENT
END:VCALENDAR</tsc:Days></tsc:SpecialDayGroup>
<tsc:Schedule token="Schedule_1"><tsc:Name>Office hours</tsc:Name><tsc:Standard>BEGIN:VCALENDAR
BEGIN:VEVENT
SUMMARY:Weekdays
DTSTART:20240101T080000
DTEND:20240101T180000
RRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR
END:VEVENT
END:VCALENDAR</tsc:Standard>
 <tsc:SpecialDays><tsc:GroupToken>SpecialDayGroup_1</tsc:GroupToken></tsc:SpecialDays></tsc:Schedule>
<tsc:Schedule token="Schedule_2"><tsc:Name>Always</tsc:Name><tsc:Standard>BEGIN:VCALENDAR
BEGIN:VEVENT
SUMMARY:Every day
DTSTART:20240101T000000
DTEND:20240102T000000
RRULE:FREQ=DAILY
END:VEVENT
END:VCALENDAR</tsc:Standard></tsc:Schedule>
<tar:AccessProfile token="AccessProfile_1"><tar:Name>Staff</tar:Name>
 <tar:AccessPolicy><tar:ScheduleToken>Schedule_1</tar:ScheduleToken><tar:Entity>AccessPoint_1</tar:Entity></tar:AccessPolicy>
 <tar:AccessPolicy><tar:ScheduleToken>Schedule_1</tar:ScheduleToken><tar:Entity>AccessPoint_2</tar:Entity></tar:AccessPolicy></tar:AccessProfile>
<tar:AccessProfile token="AccessProfile_2"><tar:Name>Administrators</tar:Name>
 <tar:AccessPolicy><tar:ScheduleToken>Schedule_2</tar:ScheduleToken><tar:Entity>AccessPoint_1</tar:Entity>
  <tar:EntityType>tac:AccessPoint</tar:EntityType></tar:AccessPolicy>
 <tar:AccessPolicy><tar:ScheduleToken>Schedule_2</tar:ScheduleToken><tar:Entity>AccessPoint_3</tar:Entity></tar:AccessPolicy></tar:AccessProfile>
<tcr:Credential token="Credential_1"><tcr:Description>Front desk</tcr:Description>
 <tcr:CredentialHolderReference>alice</tcr:CredentialHolderReference>
 <tcr:ValidFrom>2024-01-01T00:00:00Z</tcr:ValidFrom><tcr:ValidTo>2034-12-31T23:59:59Z</tcr:ValidTo>
 <tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:Card</tcr:Name><tcr:FormatType>WIEGAND26</tcr:FormatType></tcr:Type>
  <tcr:ExemptedFromAuthentication>false</tcr:ExemptedFromAuthentication><tcr:Value>01A2B3</tcr:Value></tcr:CredentialIdentifier>
 <tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:PIN</tcr:Name><tcr:FormatType>SIMPLE_NUMBER16</tcr:FormatType></tcr:Type>
  <tcr:ExemptedFromAuthentication>false</tcr:ExemptedFromAuthentication><tcr:Value>31323334</tcr:Value></tcr:CredentialIdentifier>
 <tcr:CredentialAccessProfile><tcr:AccessProfileToken>AccessProfile_1</tcr:AccessProfileToken></tcr:CredentialAccessProfile></tcr:Credential>
<tcr:Credential token="Credential_2"><tcr:CredentialHolderReference>bob</tcr:CredentialHolderReference>
 <tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:Card</tcr:Name><tcr:FormatType>WIEGAND26</tcr:FormatType></tcr:Type>
  <tcr:ExemptedFromAuthentication>false</tcr:ExemptedFromAuthentication><tcr:Value>01A2B4</tcr:Value></tcr:CredentialIdentifier>
 <tcr:CredentialAccessProfile><tcr:AccessProfileToken>AccessProfile_1</tcr:AccessProfileToken></tcr:CredentialAccessProfile></tcr:Credential>
<tcr:Credential token="Credential_3"><tcr:CredentialHolderReference>carol</tcr:CredentialHolderReference>
 <tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:Card</tcr:Name><tcr:FormatType>WIEGAND37</tcr:FormatType></tcr:Type>
  <tcr:ExemptedFromAuthentication>false</tcr:ExemptedFromAuthentication><tcr:Value>0A000001F2</tcr:Value></tcr:CredentialIdentifier>
 <tcr:CredentialAccessProfile><tcr:AccessProfileToken>AccessProfile_2</tcr:AccessProfileToken></tcr:CredentialAccessProfile>
 <tcr:Attribute Name="department" Value="IT"/></tcr:Credential>
<tcr:Credential token="Credential_4"><tcr:CredentialHolderReference>dave</tcr:CredentialHolderReference>
 <tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:Card</tcr:Name><tcr:FormatType>WIEGAND26</tcr:FormatType></tcr:Type>
  <tcr:ExemptedFromAuthentication>false</tcr:ExemptedFromAuthentication><tcr:Value>01A2B6</tcr:Value></tcr:CredentialIdentifier></tcr:Credential>
<tcr:Credential token="Credential_5"><tcr:Description>Reported lost</tcr:Description>
 <tcr:CredentialHolderReference>erin</tcr:CredentialHolderReference>
 <tcr:CredentialIdentifier><tcr:Type><tcr:Name>pt:Card</tcr:Name><tcr:FormatType>WIEGAND26</tcr:FormatType></tcr:Type>
  <tcr:ExemptedFromAuthentication>false</tcr:ExemptedFromAuthentication><tcr:Value>01A2B7</tcr:Value></tcr:CredentialIdentifier>
 <tcr:CredentialAccessProfile><tcr:AccessProfileToken>AccessProfile_1</tcr:AccessProfileToken></tcr:CredentialAccessProfile></tcr:Credential>
</init>)";

int kindOf(int ns, const QString &name)
{
    for (int k = 0; k < PK_COUNT; ++k)
        if (kKinds[k].ns == ns && name == QLatin1String(kKinds[k].name)) return k;
    return -1;
}

int nsOf(const QString &uri)
{
    for (int ns = 1; ns < NS_COUNT; ++ns)
        if (uri == QLatin1String(nsUri(ns))) return ns;
    return NS_NONE;
}

int orderOf(int k, const QString &name)
{
    const char *const *o = kKinds[k].order;
    for (int i = 0; o[i]; ++i)
        if (name == QLatin1String(o[i])) return i;
    return -1;
}

void setToken(El &rec, const QString &token)
{
    auto &a = rec.attrs;
    a.erase(std::remove_if(a.begin(), a.end(), [](const auto &p) { return p.first == "token"; }),
            a.end());
    a.insert(a.begin(), {QStringLiteral("token"), token});
}

// A record as a reply carries it: whole, or its Info part.
El view(const El &rec, int k, bool info)
{
    if (!info) return rec;
    El e = rec;
    e.name += QStringLiteral("Info");
    e.kids.erase(
        std::remove_if(e.kids.begin(), e.kids.end(),
                       [k](const El &c) { return orderOf(k, c.name) >= kKinds[k].infoCount; }),
        e.kids.end());
    return e;
}

QString tokenOf(const El &rec)
{
    for (const auto &a : rec.attrs)
        if (a.first == QLatin1String("token")) return a.second;
    return QString();
}

} // namespace

const PacsKindInfo &PacsService::kind(int k)
{
    return kKinds[k];
}

PacsState &PacsService::state(Camera &cam)
{
    PacsState &st = cam.pacs;
    if (st.loaded) return st;
    st.loaded = true;
    XNode root;
    QString err;
    if (!parseXml(QByteArray(kInitial), root, err))
        qFatal("camsim: initial records: %s", qPrintable(err));
    for (const XNode &n : root.kids) {
        int k = kindOf(nsOf(n.ns), n.name);
        if (k < 0) continue;
        PacsItem item;
        item.rec = toEl(n);
        sortChildren(item.rec, k);
        st.items[k][tokenOf(item.rec)] = item;
    }
    for (int k = 0; k < PK_COUNT; ++k)
        st.nextToken[k] = int(st.items[k].size()) + 1;
    PacsItem *lost = find(cam, PK_CREDENTIAL, QStringLiteral("Credential_5"));
    if (lost) {
        lost->enabled = false;
        lost->reason = QStringLiteral("Lost");
    }
    return st;
}

PacsItem *PacsService::find(Camera &cam, int k, const QString &token)
{
    auto &m = cam.pacs.items[k];
    auto it = m.find(token);
    return it == m.end() ? nullptr : &it->second;
}

// ---- replies and faults ------------------------------------------------------

El &PacsService::reply(SoapCall &call)
{
    call.out = El(nsOf(call.in.ns), call.in.name + QStringLiteral("Response"));
    return call.out;
}

bool PacsService::done(SoapCall &call)
{
    reply(call);
    return true;
}

bool PacsService::sender(Camera &cam, SoapCall &call, const QStringList &subcodes,
                         const QString &why)
{
    call.err = cam.faultReply(400, true, subcodes, why);
    return false;
}

bool PacsService::receiver(Camera &cam, SoapCall &call, const QStringList &subcodes,
                           const QString &why)
{
    call.err = cam.faultReply(500, false, subcodes, why);
    return false;
}

bool PacsService::badArg(Camera &cam, SoapCall &call, const QString &subcode, const QString &why)
{
    QStringList sub{QStringLiteral("ter:InvalidArgVal")};
    if (!subcode.isEmpty()) sub << subcode;
    return sender(cam, call, sub, why);
}

bool PacsService::notFound(Camera &cam, SoapCall &call, const QString &token)
{
    return badArg(cam, call, QStringLiteral("ter:NotFound"),
                  QStringLiteral("no such token: ") + token);
}

bool PacsService::notSupported(Camera &cam, SoapCall &call, const QString &why)
{
    return receiver(cam, call, {QStringLiteral("ter:ActionNotSupported")}, why);
}

// ---- records -----------------------------------------------------------------

// Elements in namespaces the simulator does not know (extensions) are
// dropped; an EntityType keeps its QName as a namespace and a local name.
El PacsService::toEl(const XNode &n)
{
    El e(nsOf(n.ns), n.name);
    e.attrs = n.attrs;
    e.text = n.text;
    if (n.name == QLatin1String("EntityType")) {
        const QString local = n.text.section(QLatin1Char(':'), -1);
        e.text = local;
        e.textQNameNs = local == QLatin1String("Door")          ? NS_TDC
                        : local == QLatin1String("AccessPoint") ? NS_TAC
                                                                : NS_NONE;
    }
    for (const XNode &c : n.kids) {
        if (nsOf(c.ns) == NS_NONE) continue;
        if (c.name == QLatin1String("EntityType") && toEl(c).textQNameNs == NS_NONE) continue;
        e.kids.push_back(toEl(c));
    }
    return e;
}

void PacsService::sortChildren(El &rec, int k)
{
    auto &kids = rec.kids;
    kids.erase(
        std::remove_if(kids.begin(), kids.end(),
                       [k](const El &c) { return c.ns != kKinds[k].ns || orderOf(k, c.name) < 0; }),
        kids.end());
    std::stable_sort(kids.begin(), kids.end(), [k](const El &a, const El &b) {
        return orderOf(k, a.name) < orderOf(k, b.name);
    });
}

bool PacsService::boolAttr(const El &e, const QString &name)
{
    for (const auto &a : e.attrs)
        if (a.first == name) return a.second == QLatin1String("true") || a.second == "1";
    return false;
}

const El *PacsService::childEl(const El &e, const QString &name)
{
    for (const El &c : e.kids)
        if (c.name == name) return &c;
    return nullptr;
}

QString PacsService::childText(const El &e, const QString &name)
{
    const El *c = childEl(e, name);
    return c ? c->text : QString();
}

// References a record makes must name records that exist; counts and texts
// within what the controller advertises.
bool PacsService::checkRefs(Camera &cam, SoapCall &call, int k, const El &rec)
{
    auto missing = [&](const QString &what) {
        return badArg(cam, call, QStringLiteral("ter:ReferenceNotFound"),
                      QStringLiteral("no such ") + what);
    };
    switch (k) {
    case PK_ACCESS_POINT:
        for (const char *area : {"AreaFrom", "AreaTo"}) {
            const El *a = childEl(rec, QLatin1String(area));
            if (a && !find(cam, PK_AREA, a->text))
                return missing(QStringLiteral("area ") + a->text);
        }
        if (!childEl(rec, QStringLiteral("EntityType")) ||
            childEl(rec, QStringLiteral("EntityType"))->textQNameNs == NS_TDC) {
            QString door = childText(rec, QStringLiteral("Entity"));
            if (!find(cam, PK_DOOR, door)) return missing(QStringLiteral("door ") + door);
        }
        break;
    case PK_DOOR: {
        const El *t = childEl(rec, QStringLiteral("Timings"));
        for (const El &d : t->kids)
            if (d.name != QLatin1String("Extension") && !parseDuration(d.text))
                return badArg(cam, call, QString(), QStringLiteral("not a duration: ") + d.text);
        break;
    }
    case PK_CREDENTIAL: {
        QStringList types;
        int profiles = 0;
        for (const El &c : rec.kids) {
            if (c.name == QLatin1String("CredentialIdentifier")) {
                const El *type = childEl(c, QStringLiteral("Type"));
                QString name = type ? childText(*type, QStringLiteral("Name")) : QString();
                if (name.isEmpty() || types.contains(name))
                    return badArg(cam, call, QStringLiteral("ter:DuplicatedIdentifierType"),
                                  QStringLiteral("identifier type missing or twice: ") + name);
                types << name;
            } else if (c.name == QLatin1String("CredentialAccessProfile")) {
                QString p = childText(c, QStringLiteral("AccessProfileToken"));
                if (!find(cam, PK_ACCESS_PROFILE, p))
                    return missing(QStringLiteral("access profile ") + p);
                if (++profiles > 4)
                    return receiver(cam, call,
                                    {QStringLiteral("ter:CapabilityViolated"),
                                     QStringLiteral("ter:MaxAccessProfilesPerCredential")},
                                    QStringLiteral("at most 4 access profiles per credential"));
            }
        }
        break;
    }
    case PK_ACCESS_PROFILE: {
        int policies = 0;
        for (const El &c : rec.kids) {
            if (c.name != QLatin1String("AccessPolicy")) continue;
            if (++policies > 8)
                return receiver(cam, call,
                                {QStringLiteral("ter:CapabilityViolated"),
                                 QStringLiteral("ter:MaxAccessPoliciesPerAccessProfile")},
                                QStringLiteral("at most 8 access policies per access profile"));
            QString s = childText(c, QStringLiteral("ScheduleToken"));
            if (!find(cam, PK_SCHEDULE, s)) return missing(QStringLiteral("schedule ") + s);
            const El *type = childEl(c, QStringLiteral("EntityType"));
            QString ap = childText(c, QStringLiteral("Entity"));
            if ((!type || type->textQNameNs == NS_TAC) && !find(cam, PK_ACCESS_POINT, ap))
                return missing(QStringLiteral("access point ") + ap);
        }
        break;
    }
    case PK_SCHEDULE:
        if (!validCalendar(childText(rec, QStringLiteral("Standard"))))
            return badArg(cam, call, QStringLiteral("ter:InvalidStandard"),
                          QStringLiteral("Standard is not an iCalendar VCALENDAR with a VEVENT"));
        for (const El &c : rec.kids) {
            if (c.name != QLatin1String("SpecialDays")) continue;
            QString g = childText(c, QStringLiteral("GroupToken"));
            if (!find(cam, PK_SPECIAL_DAY_GROUP, g))
                return missing(QStringLiteral("special day group ") + g);
            int ranges = 0;
            for (const El &r : c.kids)
                if (r.name == QLatin1String("TimeRange") && ++ranges > 4)
                    return receiver(cam, call,
                                    {QStringLiteral("ter:CapabilityViolated"),
                                     QStringLiteral("ter:MaxTimePeriodsPerDay")},
                                    QStringLiteral("at most 4 time periods per day"));
        }
        break;
    case PK_SPECIAL_DAY_GROUP:
        if (childEl(rec, QStringLiteral("Days")) &&
            !validCalendar(childText(rec, QStringLiteral("Days"))))
            return badArg(cam, call, QStringLiteral("ter:InvalidDays"),
                          QStringLiteral("Days is not an iCalendar VCALENDAR with a VEVENT"));
        break;
    default:
        break;
    }
    return true;
}

// The first record that refers to the token of a kind k record, "" when none.
QString PacsService::inUseBy(Camera &cam, int k, const QString &token)
{
    struct Ref {
        int kind, user;
        const char *parent; // child of the user holding the reference, null: the user itself
        const char *field;
    };
    static const Ref refs[] = {
        {PK_AREA, PK_ACCESS_POINT, nullptr, "AreaFrom"},
        {PK_AREA, PK_ACCESS_POINT, nullptr, "AreaTo"},
        {PK_DOOR, PK_ACCESS_POINT, nullptr, "Entity"},
        {PK_ACCESS_POINT, PK_ACCESS_PROFILE, "AccessPolicy", "Entity"},
        {PK_SCHEDULE, PK_ACCESS_PROFILE, "AccessPolicy", "ScheduleToken"},
        {PK_SPECIAL_DAY_GROUP, PK_SCHEDULE, "SpecialDays", "GroupToken"},
        {PK_ACCESS_PROFILE, PK_CREDENTIAL, "CredentialAccessProfile", "AccessProfileToken"},
    };
    for (const Ref &r : refs) {
        if (r.kind != k) continue;
        for (const auto &it : cam.pacs.items[r.user]) {
            const El &rec = it.second.rec;
            if (!r.parent && childText(rec, QLatin1String(r.field)) == token) return it.first;
            for (const El &c : rec.kids)
                if (r.parent && c.name == QLatin1String(r.parent) &&
                    childText(c, QLatin1String(r.field)) == token)
                    return it.first;
        }
    }
    return QString();
}

// ---- handlers every kind shares ----------------------------------------------

// Get...List / Get...InfoList: the records in token order from just after the
// StartReference ("after:<token>"), at most Limit (or kMaxLimit) of them,
// and a NextStartReference while more follow.
bool PacsService::page(Camera &cam, SoapCall &call, int k, bool info)
{
    const auto &m = items(cam, k);
    int limit = kMaxLimit;
    if (call.in.has(QStringLiteral("Limit"))) {
        bool ok = false;
        int l = call.in.childText(QStringLiteral("Limit")).toInt(&ok);
        if (!ok) return badArg(cam, call, QString(), QStringLiteral("Limit is not a number"));
        if (l > 0 && l < kMaxLimit) limit = l;
    }
    auto it = m.begin();
    if (call.in.has(QStringLiteral("StartReference"))) {
        QString ref = call.in.childText(QStringLiteral("StartReference"));
        if (!ref.startsWith(QLatin1String("after:")))
            return badArg(cam, call, QStringLiteral("ter:InvalidStartReference"),
                          QStringLiteral("not a start reference of this device: ") + ref);
        it = m.upper_bound(ref.mid(6));
    }
    std::vector<El> page;
    QString last;
    for (; it != m.end() && int(page.size()) < limit; ++it) {
        page.push_back(view(it->second.rec, k, info));
        last = it->first;
    }
    El &out = reply(call);
    if (it != m.end())
        out.add(kKinds[k].ns, QStringLiteral("NextStartReference"),
                QStringLiteral("after:") + last);
    for (const El &e : page)
        out.add(e);
    return true;
}

// Get<Kind>s / Get<Kind>Info: the records of the tokens asked for (unknown
// tokens are left out), at most kMaxLimit tokens.
bool PacsService::byToken(Camera &cam, SoapCall &call, int k, bool info)
{
    std::vector<const XNode *> tokens = call.in.childrenNamed(QStringLiteral("Token"));
    if (tokens.empty()) return badArg(cam, call, QString(), QStringLiteral("no Token"));
    if (int(tokens.size()) > kMaxLimit)
        return badArg(cam, call, QStringLiteral("ter:TooManyItems"),
                      QStringLiteral("at most %1 tokens").arg(kMaxLimit));
    El &out = reply(call);
    for (const XNode *t : tokens) {
        const PacsItem *item = find(cam, k, t->text);
        if (item) out.add(view(item->rec, k, info));
    }
    return true;
}

bool PacsService::store(Camera &cam, SoapCall &call, int k, int how)
{
    const PacsKindInfo &ki = kKinds[k];
    const XNode *in = call.in.child(QLatin1String(ki.name));
    if (!in) return badArg(cam, call, QString(), QStringLiteral("no ") + QLatin1String(ki.name));
    El rec = toEl(*in);
    sortChildren(rec, k);
    for (int i = 0; ki.required[i]; ++i)
        if (!childEl(rec, QLatin1String(ki.required[i])))
            return badArg(cam, call, QString(),
                          QStringLiteral("%1 needs %2")
                              .arg(QLatin1String(ki.name), QLatin1String(ki.required[i])));
    QString token = in->attr(QStringLiteral("token"));
    auto &m = items(cam, k);
    if (how == kCreate && !token.isEmpty())
        return badArg(cam, call, QString(), QStringLiteral("the device assigns the token"));
    if (how != kCreate && (token.isEmpty() || token.size() > 64))
        return badArg(cam, call, QString(), QStringLiteral("a token is needed"));
    if (how == kModify && !m.count(token)) return notFound(cam, call, token);
    if (!m.count(token) && int(m.size()) >= ki.max)
        return receiver(cam, call,
                        {QStringLiteral("ter:CapabilityViolated"),
                         QStringLiteral("ter:Max%1s").arg(QLatin1String(ki.name))},
                        QStringLiteral("at most %1 records").arg(ki.max));
    if (!checkRefs(cam, call, k, rec)) return false;
    PacsState &st = state(cam);
    if (how == kCreate) {
        do
            token = QStringLiteral("%1_%2").arg(QLatin1String(ki.name)).arg(st.nextToken[k]++);
        while (m.count(token));
    }
    setToken(rec, token);
    PacsItem &item = m[token];
    item.rec = rec;
    if (how == kCreate && k == PK_CREDENTIAL) {
        const XNode *s = call.in.child(QStringLiteral("State"));
        item.enabled = !s || s->childText(QStringLiteral("Enabled")) != QLatin1String("false");
        item.reason = s ? s->childText(QStringLiteral("Reason")) : QString();
        const XNode *ab = s ? s->child(QStringLiteral("AntipassbackState")) : nullptr;
        item.antipassback =
            ab && ab->childText(QStringLiteral("AntipassbackViolated")) == QLatin1String("true");
    }
    if (how != kCreate) return done(call);
    reply(call).add(ki.ns, QStringLiteral("Token"), token);
    return true;
}

bool PacsService::remove(Camera &cam, SoapCall &call, int k)
{
    QString token = call.in.childText(QStringLiteral("Token"));
    if (!find(cam, k, token)) return notFound(cam, call, token);
    QString user = inUseBy(cam, k, token);
    if (!user.isEmpty())
        return badArg(cam, call, QStringLiteral("ter:ReferenceInUse"),
                      QStringLiteral("%1 is used by %2").arg(token, user));
    items(cam, k).erase(token);
    return done(call);
}

// ---- capabilities ------------------------------------------------------------

El PacsService::caps(int ns)
{
    const QString t = QStringLiteral("true"), f = QStringLiteral("false");
    const QString limit = QString::number(kMaxLimit);
    El c(ns, QStringLiteral("Capabilities"));
    c.attr(QStringLiteral("MaxLimit"), limit);
    switch (ns) {
    case NS_TAC:
        c.attr(QStringLiteral("MaxAccessPoints"), QString::number(kKinds[PK_ACCESS_POINT].max))
            .attr(QStringLiteral("MaxAreas"), QString::number(kKinds[PK_AREA].max))
            .attr(QStringLiteral("ClientSuppliedTokenSupported"), t)
            .attr(QStringLiteral("AccessPointManagementSupported"), t)
            .attr(QStringLiteral("AreaManagementSupported"), t);
        break;
    case NS_TDC:
        c.attr(QStringLiteral("MaxDoors"), QString::number(kKinds[PK_DOOR].max))
            .attr(QStringLiteral("ClientSuppliedTokenSupported"), t)
            .attr(QStringLiteral("DoorManagementSupported"), t);
        break;
    case NS_TCR:
        c.attr(QStringLiteral("CredentialValiditySupported"), t)
            .attr(QStringLiteral("CredentialAccessProfileValiditySupported"), t)
            .attr(QStringLiteral("ValiditySupportsTimeValue"), t)
            .attr(QStringLiteral("MaxCredentials"), QString::number(kKinds[PK_CREDENTIAL].max))
            .attr(QStringLiteral("MaxAccessProfilesPerCredential"), QStringLiteral("4"))
            .attr(QStringLiteral("ResetAntipassbackSupported"), t)
            .attr(QStringLiteral("ClientSuppliedTokenSupported"), f)
            .attr(QStringLiteral("DefaultCredentialSuspensionDuration"), QStringLiteral("PT5M"));
        c.add(NS_TCR, QStringLiteral("SupportedIdentifierType"), QStringLiteral("pt:Card"));
        c.add(NS_TCR, QStringLiteral("SupportedIdentifierType"), QStringLiteral("pt:PIN"));
        break;
    case NS_TAR:
        c.attr(QStringLiteral("MaxAccessProfiles"), QString::number(kKinds[PK_ACCESS_PROFILE].max))
            .attr(QStringLiteral("MaxAccessPoliciesPerAccessProfile"), QStringLiteral("8"))
            .attr(QStringLiteral("MultipleSchedulesPerAccessPointSupported"), t)
            .attr(QStringLiteral("ClientSuppliedTokenSupported"), f);
        break;
    case NS_TSC:
        c.attr(QStringLiteral("MaxSchedules"), QString::number(kKinds[PK_SCHEDULE].max))
            .attr(QStringLiteral("MaxTimePeriodsPerDay"), QStringLiteral("4"))
            .attr(QStringLiteral("MaxSpecialDayGroups"),
                  QString::number(kKinds[PK_SPECIAL_DAY_GROUP].max))
            .attr(QStringLiteral("MaxDaysInSpecialDayGroup"), QStringLiteral("64"))
            .attr(QStringLiteral("MaxSpecialDaysSchedules"), QStringLiteral("4"))
            .attr(QStringLiteral("ExtendedRecurrenceSupported"), f)
            .attr(QStringLiteral("SpecialDaysSupported"), t)
            .attr(QStringLiteral("StateReportingSupported"), t)
            .attr(QStringLiteral("ClientSuppliedTokenSupported"), f);
        break;
    default:
        break;
    }
    return c;
}

std::vector<PacsService::Offer> PacsService::offers(Camera &cam)
{
    if (!cam.cfg.pacs) return {};
    return {{NS_TAC, QStringLiteral("accesscontrol_service"), caps(NS_TAC)},
            {NS_TDC, QStringLiteral("doorcontrol_service"), caps(NS_TDC)},
            {NS_TCR, QStringLiteral("credential_service"), caps(NS_TCR)},
            {NS_TAR, QStringLiteral("accessrules_service"), caps(NS_TAR)},
            {NS_TSC, QStringLiteral("schedule_service"), caps(NS_TSC)}};
}

bool PacsService::serviceCapabilities(Camera &, SoapCall &call)
{
    reply(call).add(caps(nsOf(call.in.ns)));
    return true;
}

// ---- the table -----------------------------------------------------------------

SoapOpTable pacsServiceOps()
{
#define G(h) P::gate<h>
    static const SoapOp rows[] = {
        {NS_TAC, "GetServiceCapabilities", G(P::serviceCapabilities)},
        {NS_TAC, "GetAccessPointInfoList", G(P::infoList<PK_ACCESS_POINT>)},
        {NS_TAC, "GetAccessPointInfo", G(P::info<PK_ACCESS_POINT>)},
        {NS_TAC, "GetAccessPointList", G(P::list<PK_ACCESS_POINT>)},
        {NS_TAC, "GetAccessPoints", G(P::get<PK_ACCESS_POINT>)},
        {NS_TAC, "CreateAccessPoint", G(P::create<PK_ACCESS_POINT>)},
        {NS_TAC, "SetAccessPoint", G(P::set<PK_ACCESS_POINT>)},
        {NS_TAC, "ModifyAccessPoint", G(P::modify<PK_ACCESS_POINT>)},
        {NS_TAC, "DeleteAccessPoint", G(P::del<PK_ACCESS_POINT>)},
        {NS_TAC, "GetAreaInfoList", G(P::infoList<PK_AREA>)},
        {NS_TAC, "GetAreaInfo", G(P::info<PK_AREA>)},
        {NS_TAC, "GetAreaList", G(P::list<PK_AREA>)},
        {NS_TAC, "GetAreas", G(P::get<PK_AREA>)},
        {NS_TAC, "CreateArea", G(P::create<PK_AREA>)},
        {NS_TAC, "SetArea", G(P::set<PK_AREA>)},
        {NS_TAC, "ModifyArea", G(P::modify<PK_AREA>)},
        {NS_TAC, "DeleteArea", G(P::del<PK_AREA>)},
        {NS_TAC, "GetAccessPointState", G(P::accessPointState)},
        {NS_TAC, "EnableAccessPoint", G(P::enableAccessPoint)},
        {NS_TAC, "DisableAccessPoint", G(P::enableAccessPoint)},

        {NS_TDC, "GetServiceCapabilities", G(P::serviceCapabilities)},
        {NS_TDC, "GetDoorInfoList", G(P::infoList<PK_DOOR>)},
        {NS_TDC, "GetDoorInfo", G(P::info<PK_DOOR>)},
        {NS_TDC, "GetDoorState", G(P::doorState)},
        {NS_TDC, "AccessDoor", G(P::doorCommand)},
        {NS_TDC, "LockDoor", G(P::doorCommand)},
        {NS_TDC, "UnlockDoor", G(P::doorCommand)},
        {NS_TDC, "DoubleLockDoor", G(P::doorCommand)},
        {NS_TDC, "BlockDoor", G(P::doorCommand)},
        {NS_TDC, "LockDownDoor", G(P::doorCommand)},
        {NS_TDC, "LockDownReleaseDoor", G(P::doorCommand)},
        {NS_TDC, "LockOpenDoor", G(P::doorCommand)},
        {NS_TDC, "LockOpenReleaseDoor", G(P::doorCommand)},
        {NS_TDC, "GetDoors", G(P::get<PK_DOOR>)},
        {NS_TDC, "GetDoorList", G(P::list<PK_DOOR>)},
        {NS_TDC, "CreateDoor", G(P::create<PK_DOOR>)},
        {NS_TDC, "SetDoor", G(P::set<PK_DOOR>)},
        {NS_TDC, "ModifyDoor", G(P::modify<PK_DOOR>)},
        {NS_TDC, "DeleteDoor", G(P::del<PK_DOOR>)},

        {NS_TCR, "GetServiceCapabilities", G(P::serviceCapabilities)},
        {NS_TCR, "GetCredentialInfo", G(P::info<PK_CREDENTIAL>)},
        {NS_TCR, "GetCredentialInfoList", G(P::infoList<PK_CREDENTIAL>)},
        {NS_TCR, "GetCredentials", G(P::get<PK_CREDENTIAL>)},
        {NS_TCR, "GetCredentialList", G(P::list<PK_CREDENTIAL>)},
        {NS_TCR, "CreateCredential", G(P::create<PK_CREDENTIAL>)},
        {NS_TCR, "ModifyCredential", G(P::modify<PK_CREDENTIAL>)},
        {NS_TCR, "DeleteCredential", G(P::del<PK_CREDENTIAL>)},
        {NS_TCR, "GetCredentialState", G(P::credentialState)},
        {NS_TCR, "EnableCredential", G(P::enableCredential)},
        {NS_TCR, "DisableCredential", G(P::enableCredential)},
        {NS_TCR, "ResetAntipassbackViolation", G(P::resetAntipassback)},
        {NS_TCR, "GetSupportedFormatTypes", G(P::supportedFormatTypes)},
        {NS_TCR, "GetCredentialIdentifiers", G(P::credentialIdentifiers)},
        {NS_TCR, "SetCredentialIdentifier", G(P::setCredentialIdentifier)},
        {NS_TCR, "DeleteCredentialIdentifier", G(P::deleteCredentialIdentifier)},
        {NS_TCR, "GetCredentialAccessProfiles", G(P::credentialAccessProfiles)},
        {NS_TCR, "SetCredentialAccessProfiles", G(P::setCredentialAccessProfiles)},
        {NS_TCR, "DeleteCredentialAccessProfiles", G(P::deleteCredentialAccessProfiles)},

        {NS_TAR, "GetServiceCapabilities", G(P::serviceCapabilities)},
        {NS_TAR, "GetAccessProfileInfo", G(P::info<PK_ACCESS_PROFILE>)},
        {NS_TAR, "GetAccessProfileInfoList", G(P::infoList<PK_ACCESS_PROFILE>)},
        {NS_TAR, "GetAccessProfiles", G(P::get<PK_ACCESS_PROFILE>)},
        {NS_TAR, "GetAccessProfileList", G(P::list<PK_ACCESS_PROFILE>)},
        {NS_TAR, "CreateAccessProfile", G(P::create<PK_ACCESS_PROFILE>)},
        {NS_TAR, "ModifyAccessProfile", G(P::modify<PK_ACCESS_PROFILE>)},
        {NS_TAR, "DeleteAccessProfile", G(P::del<PK_ACCESS_PROFILE>)},

        {NS_TSC, "GetServiceCapabilities", G(P::serviceCapabilities)},
        {NS_TSC, "GetScheduleInfo", G(P::info<PK_SCHEDULE>)},
        {NS_TSC, "GetScheduleInfoList", G(P::infoList<PK_SCHEDULE>)},
        {NS_TSC, "GetSchedules", G(P::get<PK_SCHEDULE>)},
        {NS_TSC, "GetScheduleList", G(P::list<PK_SCHEDULE>)},
        {NS_TSC, "CreateSchedule", G(P::create<PK_SCHEDULE>)},
        {NS_TSC, "ModifySchedule", G(P::modify<PK_SCHEDULE>)},
        {NS_TSC, "DeleteSchedule", G(P::del<PK_SCHEDULE>)},
        {NS_TSC, "GetSpecialDayGroupInfo", G(P::info<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "GetSpecialDayGroupInfoList", G(P::infoList<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "GetSpecialDayGroups", G(P::get<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "GetSpecialDayGroupList", G(P::list<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "CreateSpecialDayGroup", G(P::create<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "ModifySpecialDayGroup", G(P::modify<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "DeleteSpecialDayGroup", G(P::del<PK_SPECIAL_DAY_GROUP>)},
        {NS_TSC, "GetScheduleState", G(P::scheduleState)},
    };
#undef G
    return {rows, sizeof rows / sizeof rows[0]};
}

} // namespace camsim
