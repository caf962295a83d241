// Schedules and special-day groups are iCalendar texts. The simulator
// understands enough of them to report a schedule's state: VEVENTs with
// DTSTART/DTEND (a date, or a date and a time of day), RDATE lists and an
// RRULE of FREQ DAILY, WEEKLY (BYDAY), MONTHLY or YEARLY. On a day of one of
// its special-day groups a schedule is active only within that group's time
// ranges; on other days when one of its events covers the moment. Times are
// the camera's local clock.
#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>

#include "device_service.h"
#include "pacs_service.h"

namespace camsim
{

namespace
{

const int kMaxEvents = 64;

struct Event {
    QDate date, endDate;
    QTime from, until;
    bool allDay = false, hasEnd = false;
    QString freq;
    QStringList byDay;
    std::vector<QDate> rdates;
};

// yyyyMMdd or yyyyMMddTHHmmss (a trailing Z or a TZID parameter is ignored).
bool readStamp(const QString &v, QDate &d, QTime &t, bool &hasTime)
{
    d = QDate::fromString(v.left(8), QStringLiteral("yyyyMMdd"));
    hasTime = v.size() >= 15 && v[8] == QLatin1Char('T');
    t = hasTime ? QTime::fromString(v.mid(9, 6), QStringLiteral("HHmmss")) : QTime(0, 0);
    return d.isValid() && t.isValid();
}

// The VEVENTs of a VCALENDAR; false when the text is not one.
bool readCalendar(const QString &ical, std::vector<Event> &events)
{
    QStringList lines;
    for (QString l : ical.split(QLatin1Char('\n'))) {
        l.remove(QLatin1Char('\r'));
        if ((l.startsWith(QLatin1Char(' ')) || l.startsWith(QLatin1Char('\t'))) && !lines.isEmpty())
            lines.last() += l.mid(1); // a folded line
        else
            lines << l.trimmed();
    }
    if (lines.isEmpty() || lines.first() != QLatin1String("BEGIN:VCALENDAR") ||
        !lines.contains(QStringLiteral("END:VCALENDAR")))
        return false;
    bool inEvent = false;
    for (const QString &l : lines) {
        if (l == QLatin1String("BEGIN:VEVENT")) {
            if (inEvent || int(events.size()) >= kMaxEvents) return false;
            events.emplace_back();
            inEvent = true;
            continue;
        }
        if (l == QLatin1String("END:VEVENT")) {
            if (!inEvent || !events.back().date.isValid()) return false;
            inEvent = false;
            continue;
        }
        int colon = l.indexOf(QLatin1Char(':'));
        if (!inEvent || colon < 0) continue;
        Event &e = events.back();
        const QString name = l.left(colon).section(QLatin1Char(';'), 0, 0).toUpper();
        const QString value = l.mid(colon + 1).trimmed();
        bool hasTime = false;
        if (name == QLatin1String("DTSTART")) {
            if (!readStamp(value, e.date, e.from, hasTime)) return false;
            e.allDay = !hasTime;
        } else if (name == QLatin1String("DTEND")) {
            if (!readStamp(value, e.endDate, e.until, hasTime)) return false;
            e.hasEnd = true;
        } else if (name == QLatin1String("RRULE")) {
            for (const QString &part : value.split(QLatin1Char(';'))) {
                if (part.startsWith(QLatin1String("FREQ="))) e.freq = part.mid(5);
                if (part.startsWith(QLatin1String("BYDAY="))) e.byDay = part.mid(6).split(',');
            }
        } else if (name == QLatin1String("RDATE")) {
            for (const QString &v : value.split(QLatin1Char(','))) {
                QDate d;
                QTime t;
                if (readStamp(v, d, t, hasTime)) e.rdates.push_back(d);
            }
        }
    }
    return !inEvent && !events.empty();
}

bool occursOn(const Event &e, const QDate &d)
{
    static const char *const kDays[] = {"MO", "TU", "WE", "TH", "FR", "SA", "SU"};
    if (d == e.date || std::find(e.rdates.begin(), e.rdates.end(), d) != e.rdates.end())
        return true;
    if (d < e.date) return false;
    if (e.freq == QLatin1String("DAILY")) return true;
    if (e.freq == QLatin1String("WEEKLY"))
        return e.byDay.isEmpty() ? d.dayOfWeek() == e.date.dayOfWeek()
                                 : e.byDay.contains(QLatin1String(kDays[d.dayOfWeek() - 1]));
    if (e.freq == QLatin1String("MONTHLY")) return d.day() == e.date.day();
    if (e.freq == QLatin1String("YEARLY"))
        return d.month() == e.date.month() && d.day() == e.date.day();
    return false;
}

// An event that ends on a later day, or without an end, lasts to midnight.
bool covers(const Event &e, const QDateTime &t)
{
    if (!occursOn(e, t.date())) return false;
    if (e.allDay) return true;
    bool toMidnight = !e.hasEnd || e.endDate > e.date || e.until <= e.from;
    return t.time() >= e.from && (toMidnight || t.time() < e.until);
}

QTime timeOf(const QString &xsTime)
{
    return QTime::fromString(xsTime.left(8), QStringLiteral("HH:mm:ss"));
}

} // namespace

bool PacsService::validCalendar(const QString &ical)
{
    std::vector<Event> events;
    return readCalendar(ical, events);
}

bool PacsService::scheduleState(Camera &cam, SoapCall &call)
{
    QString token = call.in.childText(QStringLiteral("Token"));
    const PacsItem *s = find(cam, PK_SCHEDULE, token);
    if (!s) return notFound(cam, call, token);
    const QDateTime now = cam.cameraNow().addSecs(cam.cfg.localOffsetS);
    bool special = false, active = false;
    for (const El &sd : s->rec.kids) {
        if (sd.name != QLatin1String("SpecialDays")) continue;
        const PacsItem *g =
            find(cam, PK_SPECIAL_DAY_GROUP, childText(sd, QStringLiteral("GroupToken")));
        std::vector<Event> days;
        if (!g || !readCalendar(childText(g->rec, QStringLiteral("Days")), days)) continue;
        bool today = false;
        for (const Event &e : days)
            today = today || occursOn(e, now.date());
        if (!today) continue;
        special = true;
        for (const El &r : sd.kids) {
            if (r.name != QLatin1String("TimeRange")) continue;
            QTime from = timeOf(childText(r, QStringLiteral("From")));
            QString until = childText(r, QStringLiteral("Until"));
            active =
                active || (now.time() >= from && (until.isEmpty() || now.time() < timeOf(until)));
        }
    }
    if (!special) {
        std::vector<Event> events;
        readCalendar(childText(s->rec, QStringLiteral("Standard")), events);
        for (const Event &e : events)
            active = active || covers(e, now);
    }
    El &st = reply(call).add(NS_TSC, QStringLiteral("ScheduleState"));
    st.add(NS_TSC, QStringLiteral("Active"), boolText(active));
    st.add(NS_TSC, QStringLiteral("SpecialDay"), boolText(special));
    return true;
}

} // namespace camsim
