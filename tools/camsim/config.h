// Camera configuration of the simulator: defaults from the camera index,
// overridden by the JSON configuration file.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace camsim
{

struct CameraConfig {
    int index = 0;
    // identity
    QString serial, name, manufacturer, model, firmware, hardwareId, location, uuid, hostname;
    QString address;
    int port = 0;
    QString hwAddress;
    int prefixLength = 24;
    QStringList gateway, dns;
    bool ptz = false;
    QString deviceType;
    QString types;      // discovery Types text
    QStringList scopes; // extra scopes
    QStringList xaddrs; // discovery XAddrs templates ({host}, {port})
    QString capsXaddrHost;
    int metadataVersion = 1;
    // device service state (see device_state.h)
    struct Account {
        QString name, password, level;
    };
    QList<Account> users;         // accounts besides user/password
    QStringList ntp;              // NTP servers: IPv4 addresses or host names
    int relayOutputs = 2;         // relay outputs RelayOutput_1...
    int digitalInputs = 2;        // digital inputs DigitalInput_1... (input i follows relay i)
    bool dot11 = true;            // the wireless interface wlan0 answers the Dot11 calls
    bool discoverable = true;     // DiscoveryMode Discoverable
    bool systemLogInline = false; // GetSystemLog answers tt:String instead of an attachment
    int firmwareUploadDelayS = 0; // UploadDelay of StartFirmwareUpgrade
    bool pacs = false;            // also a door-access controller (pacs_service.h)
    // authentication
    QString auth = QStringLiteral("none");
    QString user = QStringLiteral("admin"), password = QStringLiteral("admin");
    QStringList authExempt = {QStringLiteral("GetSystemDateAndTime")};
    bool acceptWsse = true;
    bool digestQop = true;
    int refusal = 400;
    int wsseWindowS = 300;
    bool wsseReplayCheck = true;
    // answers
    QString answer = QStringLiteral("normal");
    QMap<QString, QString> answerOps;
    QStringList failOps;
    QString prefix = QStringLiteral("s");
    QString onvifPrefixes = QStringLiteral("standard");
    bool pretty = false;
    bool contentTypeCharset = true;
    bool timeUnpadded = false;
    qint64 clockOffsetS = 0;
    bool onlyLocalTime = false;
    QString timezone = QStringLiteral("GMT0");
    qint64 localOffsetS = 0;
    bool faultUndeclaredPrefix = false;
    // web upgrade interface
    QString login = QStringLiteral("accept");
    bool uploadRequiresCookie = false;
    QString upload = QStringLiteral("ok");
    QString upgradeFirmware;
    bool ignoreSets = false; // Set* operations answer an empty response and change nothing
    // events
    int notifyCount = 0;        // Notify posts per push subscription
    int notifyIntervalMs = 200; // between them (and before the first)
    int notifyMessages = 2;     // NotificationMessage elements per Notify
    int pullMessages = 2;       // messages per PullMessages (at most MessageLimit)
    // recording store
    int searchEvents = 24; // recorded events the event search runs over
    // media and media 2 (media_state.h)
    struct MediaProfileConf {
        QString name;
        QString encoding = QStringLiteral("H264"); // H264, H265 or JPEG
        int width = 1920, height = 1080;
        bool audio = false, ptz = false;
    };
    QList<MediaProfileConf> mediaProfiles; // empty: the three default profiles
    // TLS
    bool tls = false;
    QString cert, key;
};

// Fills camera i's defaults from the command line values.
CameraConfig defaultCamera(int index, const QString &address, int basePort);

// Applies one JSON object to a camera. Returns false with a reason in err
// for an unknown key or a value of the wrong type or range.
bool applyJson(CameraConfig &c, const QJsonObject &o, QString &err);

// Checks an answer mode text ("normal", "slow:<ms>", ...).
bool validAnswer(const QString &a);

// Loads a configuration file: the list of per-camera objects and the
// defaults object. Returns false with a reason in err.
bool loadConfigFile(const QString &path, QJsonObject &defaults, QList<QJsonObject> &cameras,
                    QString &err);

} // namespace camsim
