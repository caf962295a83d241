// What the door-access controller personality of one camera remembers: the
// access points, areas, doors, credentials, access profiles, schedules and
// special-day groups, each kept as the record a client would read back, plus
// the run-time state that is not part of a record (enabled, door mode ...).
#pragma once

#include <QString>
#include <map>

#include "xml.h"

namespace camsim
{

// The kinds of records, one table each.
enum PacsKind {
    PK_ACCESS_POINT = 0,
    PK_AREA,
    PK_DOOR,
    PK_CREDENTIAL,
    PK_ACCESS_PROFILE,
    PK_SCHEDULE,
    PK_SPECIAL_DAY_GROUP,
    PK_COUNT
};

struct PacsItem {
    El rec; // the full record: element named after its kind, token attribute first

    bool enabled = true;           // access point, credential
    QString reason;                // credential: why it was enabled or disabled
    bool antipassback = false;     // credential: antipassback violated
    QString mode = "Locked";       // door: DoorMode
    QString modeBefore = "Locked"; // door: the mode a lock-down or lock-open returns to
    int accessGen = 0;             // door: an access ends only the access that started it
};

struct PacsState {
    bool loaded = false;                         // filled from the initial records on first use
    std::map<QString, PacsItem> items[PK_COUNT]; // by token: also the paging order
    int nextToken[PK_COUNT] = {};
};

} // namespace camsim
