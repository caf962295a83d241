// The storage-side services of a simulated camera: recording, search and
// replay over a small recording store, analytics rules and modules, the
// thermal settings, receivers and provisioning moves. Each service has a file
// of its own with its operation table (<name>_service.cpp); their per-camera
// state is one RecState that Camera holds, and RecServices (a friend of
// Camera) is the handlers' way to the camera: state, clock, addresses and
// faults. Private to camsim's sources.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>
#include <utility>
#include <vector>

#include "soap_service.h"
#include "xml.h"

namespace camsim
{

class Camera;

// ---- the recording store -------------------------------------------------------

struct RecTrack {
    QString token, type, description; // type: Video, Audio, Metadata
};

struct RecRecording {
    QString token;
    El config; // tt:RecordingConfiguration as the client set it (children only)
    std::vector<RecTrack> tracks;
    int nextTrack = 1;
};

struct RecJob {
    QString token;
    El config; // tt:RecordingJobConfiguration as the client set it
    QString recording, mode;
};

// One recorded event: what the event search finds.
struct RecEvent {
    QDateTime time;
    QString recording, track;
    int index = 0;
};

// A search in progress: its results are found when it starts and handed out
// page by page.
struct RecSearch {
    enum Kind { Recordings, Events, Metadata, PTZPositions } kind = Events;
    std::vector<El> results;
    std::vector<QDateTime> times; // the time point of each result
    size_t next = 0;              // the first result not yet handed out
    bool started = false;         // a results request came (Queued before)
    qint64 keepAliveS = 10;
    QDateTime expires; // camera clock; refreshed by every request
    QDateTime startAt; // StartPoint: EndSearch's answer before any result
};

// ---- analytics ------------------------------------------------------------------

// A rule or an analytics module (tt:Config).
struct AnalyticsConfig {
    QString name, type; // type: local name of the QName (tt namespace)
    std::vector<std::pair<QString, QString>> simple;
    std::vector<std::pair<QString, El>> element;
};

// ---- the other services ---------------------------------------------------------

struct ThermalState {
    QString palette = QStringLiteral("Palette_1"), polarity = QStringLiteral("WhiteHot");
    QString nuc; // "" when none
    bool cooler = true;
    std::vector<std::pair<QString, double>> radiometry; // global parameters in schema order
};

struct RecReceiver {
    QString token, mode, uri;
    El setup; // tt:StreamSetup (children)
};

struct ProvisioningState {
    std::map<QString, int> usage; // Pan, Tilt, Zoom, Roll, Focus -> moves
    QString moving;               // the move under way, "" when stopped
};

struct RecState {
    bool ready = false;
    std::vector<RecRecording> recordings;
    std::vector<RecJob> jobs;
    int nextRecording = 1, nextJob = 1;
    std::vector<RecEvent> events; // in time order
    QDateTime dataFrom;           // start of the recorded data
    std::map<QString, RecSearch> searches;
    int nextSearch = 1;
    qint64 replayTimeoutS = 60;
    std::vector<AnalyticsConfig> rules, modules;
    ThermalState thermal;
    std::vector<RecReceiver> receivers;
    int nextReceiver = 1;
    ProvisioningState provisioning;
};

const int kMaxRecordings = 8;
const int kMaxTracks = 8; // per recording
const int kMaxJobs = 8;
const int kMaxSearches = 8;
const int kMaxRules = 8;
const int kMaxModules = 4;
const int kMaxReceivers = 4;
const char kAnalyticsToken[] = "VideoAnalytics_1"; // the analytics configuration
const char kVideoSource[] = "VideoSource_1";       // thermal and provisioning source

// A service besides the device service, for GetServices.
struct ServiceEntry {
    int ns;
    QString path;
    El caps;
};

struct RecServices {
    static RecState &state(Camera &cam); // built from the configuration on first use
    static QDateTime now(const Camera &cam);
    static QString url(const Camera &cam, const QString &service);
    static QString host(const Camera &cam);

    // replies and faults
    static El &reply(SoapCall &call, int ns); // call.out = <Operation>Response
    static bool done(SoapCall &call, int ns);
    static bool fail(Camera &cam, SoapCall &call, int status, bool sender,
                     const QStringList &subcodes, const QString &why);
    static bool badArg(Camera &cam, SoapCall &call, const QString &subcode, const QString &why);
    static bool action(Camera &cam, SoapCall &call, const QString &subcode, const QString &why);

    // capabilities: GetServiceCapabilities of each service, the services for
    // GetServices, and the GetCapabilities parts (tt:Analytics; Recording,
    // Search, Replay and Receiver under tt:Extension)
    static El recordingCaps();
    static El searchCaps();
    static El replayCaps();
    static El analyticsCaps();
    static El thermalCaps();
    static El receiverCaps();
    static El provisioningCaps();
    static std::vector<ServiceEntry> services(const Camera &cam);
    static El analyticsCapability(const Camera &cam);
    static void addExtensionCapabilities(const Camera &cam, El &extension);
};

// Shared by the service files.
QString recTime(const QDateTime &t); // xs:dateTime, UTC, "Z"
bool parseRecTime(const QString &s, QDateTime &t);
// An element (ns, name) holding the attributes and children of n; false when
// n uses a namespace camsim cannot write.
bool copyAs(const XNode &n, int ns, const QString &name, El &out);
El textEl(int ns, const char *name, const QString &text);

} // namespace camsim
