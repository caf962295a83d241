// The ONVIF device service of a simulated camera: one handler per operation,
// listed in the table of device_service.cpp. Handlers for identity, time,
// network, scopes and wireless live in device_service.cpp; users, IP address
// filter and access policy in device_security.cpp; system, I/O, storage,
// location and the HTTP side (log and backup files, upload URIs) in
// device_system.cpp. Private to camsim's sources.
#pragma once

#include "camera.h"
#include "soap_service.h"

namespace camsim
{

const int kMaxUsers = 8;            // accounts, the configured one included
const int kMaxFilterAddresses = 16; // IPv4 and IPv6 entries of the IP address filter

// Small readers shared by the handlers.
QString boolText(bool b);
bool parseIpv4(const QString &s);
bool parseIpv6(const QString &s);
bool parseBoolText(const QString &s, bool &out);
// An xs:duration such as PT5S or P1DT2H; its length in ms (months count 30
// days, years 365) in ms when not null. False when it is not a duration.
bool parseDuration(const QString &s, qint64 *ms = nullptr);

struct DeviceService {
    // reply and fault helpers
    static El &reply(SoapCall &call); // call.out = <Operation>Response, returned
    static bool done(SoapCall &call); // an empty <Operation>Response
    static bool fail(Camera &cam, SoapCall &call, int status, bool sender,
                     const QStringList &subcodes, const QString &why);
    static bool badArg(Camera &cam, SoapCall &call, const QString &subcode, const QString &why);
    static bool prohibited(Camera &cam, SoapCall &call, const QString &subcode, const QString &why);
    static void record(Camera &cam, const QString &line); // system log
    static El dateTime(const Camera &cam, const QDateTime &t, const QString &name);
    static El serviceCaps(const Camera &cam);
    static std::vector<NetProtocol> protocols(const Camera &cam);
    static QByteArray backup(const Camera &cam);
    static bool restore(Camera &cam, const QByteArray &data, QString &why);
    static bool relayIndex(Camera &cam, SoapCall &call, int &index);

    // identity and capabilities
    static bool getDeviceInformation(Camera &cam, SoapCall &call);
    static bool getCapabilities(Camera &cam, SoapCall &call);
    static bool getServices(Camera &cam, SoapCall &call);
    static bool getServiceCapabilities(Camera &cam, SoapCall &call);
    static bool getWsdlUrl(Camera &cam, SoapCall &call);
    static bool getEndpointReference(Camera &cam, SoapCall &call);
    // date and time
    static bool getSystemDateAndTime(Camera &cam, SoapCall &call);
    static bool setSystemDateAndTime(Camera &cam, SoapCall &call);
    static bool getNTP(Camera &cam, SoapCall &call);
    static bool setNTP(Camera &cam, SoapCall &call);
    // network
    static bool getNetworkInterfaces(Camera &cam, SoapCall &call);
    static bool setNetworkInterfaces(Camera &cam, SoapCall &call);
    static bool getHostname(Camera &cam, SoapCall &call);
    static bool setHostname(Camera &cam, SoapCall &call);
    static bool setHostnameFromDHCP(Camera &cam, SoapCall &call);
    static bool getDNS(Camera &cam, SoapCall &call);
    static bool setDNS(Camera &cam, SoapCall &call);
    static bool getDynamicDNS(Camera &cam, SoapCall &call);
    static bool setDynamicDNS(Camera &cam, SoapCall &call);
    static bool getNetworkProtocols(Camera &cam, SoapCall &call);
    static bool setNetworkProtocols(Camera &cam, SoapCall &call);
    static bool getNetworkDefaultGateway(Camera &cam, SoapCall &call);
    static bool setNetworkDefaultGateway(Camera &cam, SoapCall &call);
    static bool getZeroConfiguration(Camera &cam, SoapCall &call);
    static bool setZeroConfiguration(Camera &cam, SoapCall &call);
    static bool getDiscoveryMode(Camera &cam, SoapCall &call);
    static bool setDiscoveryMode(Camera &cam, SoapCall &call);
    static bool getScopes(Camera &cam, SoapCall &call);
    static bool setScopes(Camera &cam, SoapCall &call);
    static bool addScopes(Camera &cam, SoapCall &call);
    static bool removeScopes(Camera &cam, SoapCall &call);
    static bool getDot11Capabilities(Camera &cam, SoapCall &call);
    static bool getDot11Status(Camera &cam, SoapCall &call);
    static bool scanAvailableDot11Networks(Camera &cam, SoapCall &call);
    // security (device_security.cpp)
    static bool getUsers(Camera &cam, SoapCall &call);
    static bool createUsers(Camera &cam, SoapCall &call);
    static bool deleteUsers(Camera &cam, SoapCall &call);
    static bool setUser(Camera &cam, SoapCall &call);
    static bool getRemoteUser(Camera &cam, SoapCall &call);
    static bool setRemoteUser(Camera &cam, SoapCall &call);
    static bool getAccessPolicy(Camera &cam, SoapCall &call);
    static bool setAccessPolicy(Camera &cam, SoapCall &call);
    static bool getIPAddressFilter(Camera &cam, SoapCall &call);
    static bool setIPAddressFilter(Camera &cam, SoapCall &call);
    static bool addIPAddressFilter(Camera &cam, SoapCall &call);
    static bool removeIPAddressFilter(Camera &cam, SoapCall &call);
    // system (device_system.cpp)
    static bool systemReboot(Camera &cam, SoapCall &call);
    static bool setSystemFactoryDefault(Camera &cam, SoapCall &call);
    static bool getSystemLog(Camera &cam, SoapCall &call);
    static bool getSystemUris(Camera &cam, SoapCall &call);
    static bool startFirmwareUpgrade(Camera &cam, SoapCall &call);
    static bool startSystemRestore(Camera &cam, SoapCall &call);
    static bool sendAuxiliaryCommand(Camera &cam, SoapCall &call);
    static bool getRelayOutputs(Camera &cam, SoapCall &call);
    static bool setRelayOutputSettings(Camera &cam, SoapCall &call);
    static bool setRelayOutputState(Camera &cam, SoapCall &call);
    static bool getGeoLocation(Camera &cam, SoapCall &call);
    static bool setGeoLocation(Camera &cam, SoapCall &call);
    static bool deleteGeoLocation(Camera &cam, SoapCall &call);
    static bool getStorageConfigurations(Camera &cam, SoapCall &call);
    static bool createStorageConfiguration(Camera &cam, SoapCall &call);
    static bool getStorageConfiguration(Camera &cam, SoapCall &call);
    static bool setStorageConfiguration(Camera &cam, SoapCall &call);
    static bool deleteStorageConfiguration(Camera &cam, SoapCall &call);
};

} // namespace camsim
