// What the PTZ, imaging and device IO services of one camera remember, and
// the I/O events (relay and digital input changes) that pull points deliver.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <map>
#include <vector>

#include "config.h"

namespace camsim
{

// ---- PTZ ------------------------------------------------------------------

// A position in the generic spaces: pan and tilt in -1..1, zoom in 0..1.
struct PtzPos {
    double pan = 0, tilt = 0, zoom = 0;
};

struct PtzPreset {
    QString token, name;
    PtzPos pos;
};

struct PtzSpeed {
    bool hasPanTilt = false, hasZoom = false;
    double pan = 0, tilt = 0, zoom = 0;
};

// One stop of a preset tour: a preset, the home position or a position.
struct PtzTourSpot {
    enum Kind { Preset, Home, Position } kind = Preset;
    QString presetToken;
    PtzPos pos;
    bool hasPanTilt = true, hasZoom = true; // Position: which axes it names
    PtzSpeed speed;
    QString stayTime; // xs:duration, "" when absent
};

struct PtzTour {
    QString token, name;
    QString state = QStringLiteral("Idle"); // Idle, Touring, Paused
    int current = -1;                       // spot being visited while touring or paused
    bool autoStart = false;
    int recurringTime = -1;    // -1: absent
    QString recurringDuration; // "" when absent
    QString direction;         // Forward, Backward; "" when absent
    int randomOrder = -1;      // attribute RandomPresetOrder: -1 absent, 0, 1
    std::vector<PtzTourSpot> spots;
};

struct PtzState {
    PtzPos pos;  // where the head is, as of `since`
    PtzPos home; // SetHomePosition changes it
    // continuous motion per axis in generic velocity units; it ends at `until`
    double vPan = 0, vTilt = 0, vZoom = 0;
    qint64 since = 0, until = 0; // steady clock, ms
    std::vector<PtzPreset> presets;
    int nextPreset = 1;
    std::vector<PtzTour> tours;
    int nextTour = 1;
    // the one PTZ configuration
    QString confName = QStringLiteral("PTZ");
    PtzSpeed defaultSpeed{true, true, 1.0, 1.0, 1.0};
    int defaultTimeoutS = 10;
    double panMin = -1, panMax = 1, tiltMin = -1, tiltMax = 1, zoomMin = 0, zoomMax = 1;
};

// ---- imaging --------------------------------------------------------------

struct ImagingState {
    // every setting as its element path ("Brightness", "Exposure/Mode"...) -> text
    std::map<QString, QString> settings;
    QString currentPreset; // token of the last preset applied, "" once changed since
    // focus: position 0..1 and a continuous move (velocity per second)
    double focus = 0.5, focusV = 0;
    qint64 focusSince = 0, focusUntil = 0;
};

// ---- device IO ------------------------------------------------------------

struct DigitalInputState {
    QString token;
    QString idle = QStringLiteral("open"); // open or closed
};

// A relay or digital input change as a pull point delivers it.
struct IoEvent {
    qint64 seq = 0;
    QDateTime time; // camera clock
    QString topic;  // tns1:Device/Trigger/Relay or .../DigitalInput
    QString op;     // PropertyOperation: Changed, Initialized
    QString sourceName, sourceValue, stateValue;
};

struct IoState {
    std::vector<DigitalInputState> inputs;
    // logical states last published as events, to notice changes
    std::vector<bool> relayShown, inputShown;
    std::deque<IoEvent> log; // the most recent changes, oldest first
    qint64 nextSeq = 1;
};

// What a camera starts with.
ImagingState initialImagingState();
IoState initialIoState(const CameraConfig &c);

} // namespace camsim
