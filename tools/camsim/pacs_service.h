// The door-access controller personality (configuration key "pacs"): the
// access control, door control, credential, access rules and schedule
// services. Records are kept as the elements a client sent (pacs_state.h),
// so one set of handlers serves every kind: paged lists (Limit,
// StartReference, NextStartReference), lookups by token, and Create, Set,
// Modify and Delete. pacs_service.cpp holds the table, the kinds, the
// initial records and those shared handlers; pacs_access.cpp the access
// points and the door commands; pacs_credential.cpp credentials and access
// profiles; pacs_schedule.cpp schedules and their state. Private to
// camsim's sources.
#pragma once

#include <vector>

#include "camera.h"
#include "soap_service.h"

namespace camsim
{

// What a kind of record looks like.
struct PacsKindInfo {
    int ns;                      // namespace of the record and of its service
    const char *name;            // element name of the record ("AccessPoint")
    const char *const *order;    // its children in schema order, null-ended
    int infoCount;               // the first infoCount children form the Info record
    const char *const *required; // children a record must have, null-ended
    int max;                     // how many the controller keeps
};

struct PacsService {
    static constexpr int kMaxLimit = 4; // items per page, tokens per lookup

    static const PacsKindInfo &kind(int k);
    static PacsState &state(Camera &cam); // loads the initial records on first use
    static std::map<QString, PacsItem> &items(Camera &cam, int k) { return state(cam).items[k]; }
    static PacsItem *find(Camera &cam, int k, const QString &token);

    // replies and faults
    static El &reply(SoapCall &call); // call.out = <Operation>Response in the request's namespace
    static bool done(SoapCall &call);
    static bool sender(Camera &cam, SoapCall &call, const QStringList &subcodes,
                       const QString &why);
    static bool receiver(Camera &cam, SoapCall &call, const QStringList &subcodes,
                         const QString &why);
    static bool badArg(Camera &cam, SoapCall &call, const QString &subcode, const QString &why);
    static bool notFound(Camera &cam, SoapCall &call, const QString &token);
    static bool notSupported(Camera &cam, SoapCall &call, const QString &why);

    // a request element as a record (children in schema order, unknown ones dropped)
    static El toEl(const XNode &n);
    static void sortChildren(El &rec, int k);
    static bool boolAttr(const El &e, const QString &name);
    static const El *childEl(const El &e, const QString &name);
    static QString childText(const El &e, const QString &name);
    static bool checkRefs(Camera &cam, SoapCall &call, int k, const El &rec); // per kind
    static QString inUseBy(Camera &cam, int k, const QString &token);         // "" when free

    // the services as GetServices lists them (none without the personality)
    struct Offer {
        int ns;
        QString path;
        El caps;
    };
    static std::vector<Offer> offers(Camera &cam);
    static El caps(int ns);

    // handlers shared by every kind
    // every row goes through this: without the personality the services are unknown
    template <SoapHandler H> static bool gate(Camera &cam, SoapCall &call)
    {
        if (!cam.cfg.pacs)
            return notSupported(cam, call, QStringLiteral("Optional Action Not Implemented"));
        state(cam);
        return H(cam, call);
    }
    static bool page(Camera &cam, SoapCall &call, int k, bool info);
    static bool byToken(Camera &cam, SoapCall &call, int k, bool info);
    static bool store(Camera &cam, SoapCall &call, int k, int how); // kCreate, kSet, kModify
    static bool remove(Camera &cam, SoapCall &call, int k);
    static constexpr int kCreate = 0, kSet = 1, kModify = 2;
    template <int K> static bool infoList(Camera &c, SoapCall &s) { return page(c, s, K, true); }
    template <int K> static bool list(Camera &c, SoapCall &s) { return page(c, s, K, false); }
    template <int K> static bool info(Camera &c, SoapCall &s) { return byToken(c, s, K, true); }
    template <int K> static bool get(Camera &c, SoapCall &s) { return byToken(c, s, K, false); }
    template <int K> static bool create(Camera &c, SoapCall &s) { return store(c, s, K, kCreate); }
    template <int K> static bool set(Camera &c, SoapCall &s) { return store(c, s, K, kSet); }
    template <int K> static bool modify(Camera &c, SoapCall &s) { return store(c, s, K, kModify); }
    template <int K> static bool del(Camera &c, SoapCall &s) { return remove(c, s, K); }
    static bool serviceCapabilities(Camera &cam, SoapCall &call);

    // access points and doors (pacs_access.cpp)
    static bool accessPointState(Camera &cam, SoapCall &call);
    static bool enableAccessPoint(Camera &cam, SoapCall &call);
    static bool doorState(Camera &cam, SoapCall &call);
    static bool doorCommand(Camera &cam, SoapCall &call);

    // credentials (pacs_credential.cpp)
    static bool credentialState(Camera &cam, SoapCall &call);
    static bool enableCredential(Camera &cam, SoapCall &call);
    static bool resetAntipassback(Camera &cam, SoapCall &call);
    static bool supportedFormatTypes(Camera &cam, SoapCall &call);
    static bool credentialIdentifiers(Camera &cam, SoapCall &call);
    static bool setCredentialIdentifier(Camera &cam, SoapCall &call);
    static bool deleteCredentialIdentifier(Camera &cam, SoapCall &call);
    static bool credentialAccessProfiles(Camera &cam, SoapCall &call);
    static bool setCredentialAccessProfiles(Camera &cam, SoapCall &call);
    static bool deleteCredentialAccessProfiles(Camera &cam, SoapCall &call);

    // schedules (pacs_schedule.cpp)
    static bool scheduleState(Camera &cam, SoapCall &call);
    static bool validCalendar(const QString &ical);
};

} // namespace camsim
