// onvif-cli info and time: what a device says about itself and its clock.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_enum.h"
#include "onvif/onvif_ops.h"
#include "tools/onvif-cli/cli.h"

namespace cli
{

namespace
{

// How far the device clock may be from ours after --sync and still count as
// set: the clock's one-second steps and the time the calls take.
const int64_t kSyncTolerance = 5;

std::string datetime_text(const ONVIF_DATETIME &d)
{
    char buf[64];
    snprintf(buf, sizeof(buf), "%04d-%02d-%02dT%02d:%02d:%02d", (int)d.year, (int)d.month,
             (int)d.day, (int)d.hour, (int)d.minute, (int)d.second);
    return buf;
}

int64_t utc_seconds(const ONVIF_DATETIME &d)
{
    struct tm tm;
    memset(&tm, 0, sizeof(tm));
    tm.tm_year = d.year - 1900;
    tm.tm_mon = d.month - 1;
    tm.tm_mday = d.day;
    tm.tm_hour = d.hour;
    tm.tm_min = d.minute;
    tm.tm_sec = d.second;
    return onvif_timegm(&tm);
}

std::string now_utc_text()
{
    char buf[64];
    onvif_format_datetime_str((int64_t)time(nullptr), 1, "%Y-%m-%dT%H:%M:%SZ", buf, sizeof(buf));
    return buf;
}

struct Service {
    const char *name;
    bool present;
    const ONVIF_XADDR *xaddr;
};

Value services_of(const ONVIF_DEVICE &dev)
{
    const ONVIF_CAPABILITIES &c = dev.capabilities;
    const Service list[] = {
        {"device", true, &dev.binfo.xaddr},
        {"events", (c.events.flags & ONVIF_CAP_EVENTS_PRESENT) != 0, &c.events.xaddr},
        {"media", (c.media.flags & ONVIF_CAP_MEDIA_PRESENT) != 0, &c.media.xaddr},
        {"media2", (c.media2.flags & ONVIF_CAP_MEDIA2_PRESENT) != 0, &c.media2.xaddr},
        {"imaging", (c.imaging.flags & ONVIF_CAP_IMAGING_PRESENT) != 0, &c.imaging.xaddr},
        {"ptz", (c.ptz.flags & ONVIF_CAP_PTZ_PRESENT) != 0, &c.ptz.xaddr},
        {"analytics", (c.analytics.flags & ONVIF_CAP_ANALYTICS_PRESENT) != 0, &c.analytics.xaddr},
        {"deviceio", (c.deviceio.flags & ONVIF_CAP_DEVICEIO_PRESENT) != 0, &c.deviceio.xaddr},
        {"recording", (c.recording.flags & ONVIF_CAP_RECORDING_PRESENT) != 0, &c.recording.xaddr},
        {"search", (c.search.flags & ONVIF_CAP_SEARCH_PRESENT) != 0, &c.search.xaddr},
        {"replay", (c.replay.flags & ONVIF_CAP_REPLAY_PRESENT) != 0, &c.replay.xaddr},
        {"receiver", (c.receiver.flags & ONVIF_CAP_RECEIVER_PRESENT) != 0, &c.receiver.xaddr},
        {"thermal", (c.thermal.flags & ONVIF_CAP_THERMAL_PRESENT) != 0, &c.thermal.xaddr},
        {"accesscontrol", (c.accesscontrol.flags & ONVIF_CAP_ACCESSCONTROL_PRESENT) != 0,
         &c.accesscontrol.xaddr},
        {"doorcontrol", (c.doorcontrol.flags & ONVIF_CAP_DOORCONTROL_PRESENT) != 0,
         &c.doorcontrol.xaddr},
        {"credential", (c.credential.flags & ONVIF_CAP_CREDENTIAL_PRESENT) != 0,
         &c.credential.xaddr},
        {"accessrules", (c.accessrules.flags & ONVIF_CAP_ACCESSRULES_PRESENT) != 0,
         &c.accessrules.xaddr},
        {"schedule", (c.schedule.flags & ONVIF_CAP_SCHEDULE_PRESENT) != 0, &c.schedule.xaddr},
        {"provisioning", (c.provisioning.flags & ONVIF_CAP_PROVISIONING_PRESENT) != 0,
         &c.provisioning.xaddr},
    };
    Value out = Value::record();
    for (const Service &s : list)
        if (s.present) out.set(s.name, url_of(*s.xaddr));
    return out;
}

// The clock as read now, with the distance to this computer's clock.
struct Clock {
    ONVIF_SYSTEM_DATETIME dt;
    int64_t local_mid = 0; // our clock halfway through the call
};

int read_datetime(ONVIF_DEVICE *dev, Clock *clock)
{
    memset(&clock->dt, 0, sizeof(clock->dt));
    const int64_t before = (int64_t)time(nullptr);
    dev->need_auth = 0;
    dev->auth_retry = 4;
    int ok = onvif_tds_GetSystemDateAndTime(dev, nullptr, &clock->dt);
    if (!ok && dev->auth_failed && dev->username[0]) {
        prepare(dev);
        ok = onvif_tds_GetSystemDateAndTime(dev, nullptr, &clock->dt);
    }
    clock->local_mid = (before + (int64_t)time(nullptr)) / 2;
    if (ok) onvif_store_device_clock(dev, &clock->dt);
    return ok;
}

Value clock_record(const Clock &c)
{
    Value r = Value::record();
    const bool have_utc = (c.dt.flags & ONVIF_SYSDT_FLAG_UTC) != 0;
    r.set("utc", have_utc ? Value(datetime_text(c.dt.utc) + "Z") : Value());
    r.set("local",
          (c.dt.flags & ONVIF_SYSDT_FLAG_LOCAL) ? Value(datetime_text(c.dt.local)) : Value());
    r.set("timezone", (c.dt.tz_flags & ONVIF_SYSDT_TZ_PRESENT) ? Value(field(c.dt.tz)) : Value());
    r.set("daylight_savings", c.dt.daylight_savings != 0);
    r.set("type", onvif_SetDateTimeTypeToString(c.dt.date_time_type));
    r.set("this_computer_utc", now_utc_text());
    r.set("offset_seconds", have_utc ? Value(utc_seconds(c.dt.utc) - c.local_mid) : Value());
    return r;
}

} // namespace

int cmd_info(const Args &args)
{
    Device dev;
    if (int rc = open_host(args, &dev)) return rc;
    Clock clock;
    const bool have_clock = read_datetime(dev.get(), &clock) != 0;
    if (!have_clock && exit_code_of(dev.get()) == kUnreachable)
        return call_failed(dev.get(), "reading the clock");

    prepare(dev.get());
    if (!GetDeviceInformation(dev.get()))
        return call_failed(dev.get(), "reading the device information");
    prepare(dev.get());
    if (!GetCapabilities(dev.get())) {
        // Newer devices may only answer GetServices.
        if (!refused_only(dev.get())) return call_failed(dev.get(), "reading the capabilities");
        prepare(dev.get());
        if (!GetServices(dev.get())) return call_failed(dev.get(), "reading the services");
    }

    const ONVIF_DEVICE_INFORMATION &i = dev->device_information;
    Value r = Value::record();
    r.set("host", field(dev->binfo.xaddr.host));
    r.set("port", (int)dev->binfo.xaddr.port);
    r.set("manufacturer", field(i.manufacturer));
    r.set("model", field(i.model));
    r.set("firmware", field(i.firmware_version));
    r.set("serial", field(i.serial_number));
    r.set("hardware_id", field(i.hardware_id));
    r.set("clock", have_clock ? clock_record(clock) : Value());
    r.set("services", services_of(*dev));
    print(r, args.format);
    return kOk;
}

int cmd_time(const Args &args)
{
    Device dev;
    if (int rc = open_host(args, &dev)) return rc;
    Clock clock;
    if (!read_datetime(dev.get(), &clock)) return call_failed(dev.get(), "reading the clock");

    Value r = Value::record();
    r.set("host", field(dev->binfo.xaddr.host));
    if (!args.sync) {
        r.set("clock", clock_record(clock));
        print(r, args.format);
        return kOk;
    }

    r.set("before", clock_record(clock));
    prepare(dev.get());
    if (!SetSystemDateAndTime(dev.get())) return call_failed(dev.get(), "setting the clock");
    Clock after;
    if (!read_datetime(dev.get(), &after)) return call_failed(dev.get(), "reading the clock back");
    r.set("clock", clock_record(after));
    const bool have_utc = (after.dt.flags & ONVIF_SYSDT_FLAG_UTC) != 0;
    const int64_t offset = have_utc ? utc_seconds(after.dt.utc) - after.local_mid : 0;
    const bool confirmed = have_utc && offset >= -kSyncTolerance && offset <= kSyncTolerance;
    r.set("confirmed", confirmed);
    print(r, args.format);
    if (confirmed) return kOk;
    return fail(kNotConfirmed,
                host_text(dev.get()) + ": the device took the time but its clock reads " +
                    (have_utc ? std::to_string(offset) + " s off" : "no UTC time") + " afterwards");
}

} // namespace cli
