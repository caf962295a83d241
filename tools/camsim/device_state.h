// What the device service of one camera remembers: everything a client can
// set and read back. Built from the camera's configuration at start and
// again by SetSystemFactoryDefault.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <deque>
#include <map>
#include <utility>
#include <vector>

#include "config.h"

namespace camsim
{

struct DeviceUser {
    QString name, password, level; // level: Administrator, Operator, User, Anonymous
    bool fixed = false;            // the configured account: cannot be deleted
};

struct NetHost {
    QString type; // IPv4, IPv6, DNS
    QString value;
};

struct NetProtocol {
    QString name; // HTTP, HTTPS, RTSP
    bool enabled = true;
    std::vector<int> ports;
};

struct PrefixedAddress {
    QString address;
    int prefix = 32;
    bool operator==(const PrefixedAddress &o) const
    {
        return address == o.address && prefix == o.prefix;
    }
};

struct ScopeEntry {
    QString item;
    bool fixed = false;
};

struct RelayState {
    QString token;
    QString mode = QStringLiteral("Bistable"); // or Monostable
    QString delay = QStringLiteral("PT0S");    // how long a Monostable relay stays active
    QString idle = QStringLiteral("open");     // or closed
    bool active = false;
    int generation = 0; // a Monostable release only applies to the activation that armed it
};

// One tt:LocationEntity: its attributes and the attributes of its parts
// (GeoLocation, GeoOrientation, LocalLocation, LocalOrientation).
struct GeoEntry {
    std::vector<std::pair<QString, QString>> attrs;
    std::vector<std::pair<QString, std::vector<std::pair<QString, QString>>>> parts;
    QString key() const; // Entity + Token: what Set replaces and Delete removes
};

struct StorageConf {
    QString token, type, region, localPath, storageUri, userName, password;
};

// An UploadUri handed out by StartFirmwareUpgrade or StartSystemRestore.
struct UploadSlot {
    enum Kind { Firmware, Restore } kind = Firmware;
    QDateTime notBefore; // system clock: the UploadDelay has passed
};

struct DeviceState {
    // date and time
    qint64 clockOffset = 0; // camera clock minus system clock, ms
    QString dateTimeType = QStringLiteral("Manual");
    bool daylight = false;
    QString tz;
    // network
    bool dhcp = false;
    int prefixLen = 24;
    QStringList gateway, dns, searchDomains;
    bool dnsFromDhcp = false;
    QString hostname;
    bool hostnameFromDhcp = false;
    bool ntpFromDhcp = false;
    std::vector<NetHost> ntp;
    QString dynDnsType = QStringLiteral("NoUpdate"), dynDnsName, dynDnsTtl;
    std::vector<NetProtocol> protocols; // empty: derived from the listening port
    bool discoverable = true;
    bool zeroConf = true;
    QString ipFilterType = QStringLiteral("Deny");
    std::vector<PrefixedAddress> ipFilterV4, ipFilterV6;
    QByteArray accessPolicy;
    // security
    std::vector<DeviceUser> users;
    bool remoteUserSet = false;
    QString remoteUser, remotePassword;
    bool remoteDerived = false;
    // discovery scopes, in order
    std::vector<ScopeEntry> scopes;
    // I/O
    std::vector<RelayState> relays;
    // system
    std::vector<GeoEntry> geo;
    std::vector<StorageConf> storage;
    int nextStorage = 1;
};

// The state a camera starts with (and returns to on a hard factory default).
DeviceState initialDeviceState(const CameraConfig &c);

// Log lines a camera keeps for GetSystemLog and its log URIs, oldest first.
struct DeviceLogs {
    std::deque<QString> system, access;
    void add(std::deque<QString> &log, const QDateTime &when, const QString &line);
};

} // namespace camsim
