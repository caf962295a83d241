// The device service: its operation table, the camera's initial state, and
// the handlers for identity, capabilities, date and time, network, scopes
// and wireless. Every Set changes the state that the matching Get reports;
// a refused request changes nothing.
#include "device_service.h"
#include "pacs_service.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

#include "media_service.h"

namespace camsim
{

SoapOpTable deviceServiceOps()
{
    using D = DeviceService;
    static const SoapOp rows[] = {
        {NS_TDS, "GetCapabilities", D::getCapabilities},
        {NS_TDS, "GetServices", D::getServices},
        {NS_TDS, "GetServiceCapabilities", D::getServiceCapabilities},
        {NS_TDS, "GetDeviceInformation", D::getDeviceInformation},
        {NS_TDS, "GetUsers", D::getUsers},
        {NS_TDS, "CreateUsers", D::createUsers},
        {NS_TDS, "DeleteUsers", D::deleteUsers},
        {NS_TDS, "SetUser", D::setUser},
        {NS_TDS, "GetRemoteUser", D::getRemoteUser},
        {NS_TDS, "SetRemoteUser", D::setRemoteUser},
        {NS_TDS, "GetNetworkInterfaces", D::getNetworkInterfaces},
        {NS_TDS, "SetNetworkInterfaces", D::setNetworkInterfaces},
        {NS_TDS, "GetNTP", D::getNTP},
        {NS_TDS, "SetNTP", D::setNTP},
        {NS_TDS, "GetHostname", D::getHostname},
        {NS_TDS, "SetHostname", D::setHostname},
        {NS_TDS, "SetHostnameFromDHCP", D::setHostnameFromDHCP},
        {NS_TDS, "GetDNS", D::getDNS},
        {NS_TDS, "SetDNS", D::setDNS},
        {NS_TDS, "GetDynamicDNS", D::getDynamicDNS},
        {NS_TDS, "SetDynamicDNS", D::setDynamicDNS},
        {NS_TDS, "GetNetworkProtocols", D::getNetworkProtocols},
        {NS_TDS, "SetNetworkProtocols", D::setNetworkProtocols},
        {NS_TDS, "GetDiscoveryMode", D::getDiscoveryMode},
        {NS_TDS, "SetDiscoveryMode", D::setDiscoveryMode},
        {NS_TDS, "GetNetworkDefaultGateway", D::getNetworkDefaultGateway},
        {NS_TDS, "SetNetworkDefaultGateway", D::setNetworkDefaultGateway},
        {NS_TDS, "GetZeroConfiguration", D::getZeroConfiguration},
        {NS_TDS, "SetZeroConfiguration", D::setZeroConfiguration},
        {NS_TDS, "GetEndpointReference", D::getEndpointReference},
        {NS_TDS, "SendAuxiliaryCommand", D::sendAuxiliaryCommand},
        {NS_TDS, "GetRelayOutputs", D::getRelayOutputs},
        {NS_TDS, "SetRelayOutputSettings", D::setRelayOutputSettings},
        {NS_TDS, "SetRelayOutputState", D::setRelayOutputState},
        {NS_TDS, "GetSystemDateAndTime", D::getSystemDateAndTime},
        {NS_TDS, "SetSystemDateAndTime", D::setSystemDateAndTime},
        {NS_TDS, "SystemReboot", D::systemReboot},
        {NS_TDS, "SetSystemFactoryDefault", D::setSystemFactoryDefault},
        {NS_TDS, "GetSystemLog", D::getSystemLog},
        {NS_TDS, "GetScopes", D::getScopes},
        {NS_TDS, "SetScopes", D::setScopes},
        {NS_TDS, "AddScopes", D::addScopes},
        {NS_TDS, "RemoveScopes", D::removeScopes},
        {NS_TDS, "StartFirmwareUpgrade", D::startFirmwareUpgrade},
        {NS_TDS, "GetSystemUris", D::getSystemUris},
        {NS_TDS, "StartSystemRestore", D::startSystemRestore},
        {NS_TDS, "GetWsdlUrl", D::getWsdlUrl},
        {NS_TDS, "GetDot11Capabilities", D::getDot11Capabilities},
        {NS_TDS, "GetDot11Status", D::getDot11Status},
        {NS_TDS, "ScanAvailableDot11Networks", D::scanAvailableDot11Networks},
        {NS_TDS, "GetGeoLocation", D::getGeoLocation},
        {NS_TDS, "SetGeoLocation", D::setGeoLocation},
        {NS_TDS, "DeleteGeoLocation", D::deleteGeoLocation},
        {NS_TDS, "GetIPAddressFilter", D::getIPAddressFilter},
        {NS_TDS, "SetIPAddressFilter", D::setIPAddressFilter},
        {NS_TDS, "AddIPAddressFilter", D::addIPAddressFilter},
        {NS_TDS, "RemoveIPAddressFilter", D::removeIPAddressFilter},
        {NS_TDS, "GetAccessPolicy", D::getAccessPolicy},
        {NS_TDS, "SetAccessPolicy", D::setAccessPolicy},
        {NS_TDS, "GetStorageConfigurations", D::getStorageConfigurations},
        {NS_TDS, "CreateStorageConfiguration", D::createStorageConfiguration},
        {NS_TDS, "GetStorageConfiguration", D::getStorageConfiguration},
        {NS_TDS, "SetStorageConfiguration", D::setStorageConfiguration},
        {NS_TDS, "DeleteStorageConfiguration", D::deleteStorageConfiguration},
    };
    return {rows, sizeof rows / sizeof rows[0]};
}

namespace
{

const int kMaxScopes = 32;
const int kMaxNtp = 4;

QString enc(const QString &s)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(s));
}

bool isFixedScope(const QString &s)
{
    return s.contains(QLatin1String("/type/")) || s.contains(QLatin1String("/hardware/")) ||
           s.contains(QLatin1String("/Profile/"));
}

// A host name: labels of letters, digits and hyphens, dot-separated.
bool validDnsName(const QString &s)
{
    static const QRegularExpression re(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,"
                       "61}[A-Za-z0-9])?)*\\.?$"));
    return s.size() <= 253 && re.match(s).hasMatch();
}

NetHost hostOf(const QString &s)
{
    if (parseIpv4(s)) return {QStringLiteral("IPv4"), s};
    if (parseIpv6(s)) return {QStringLiteral("IPv6"), s};
    return {QStringLiteral("DNS"), s};
}

El networkHost(const QString &name, const NetHost &h)
{
    El e(NS_TT, name);
    e.add(NS_TT, QStringLiteral("Type"), h.type);
    e.add(NS_TT,
          h.type == "IPv4"   ? QStringLiteral("IPv4Address")
          : h.type == "IPv6" ? QStringLiteral("IPv6Address")
                             : QStringLiteral("DNSname"),
          h.value);
    return e;
}

} // namespace

// ---- shared readers ----------------------------------------------------------

QString boolText(bool b)
{
    return b ? QStringLiteral("true") : QStringLiteral("false");
}

bool parseIpv4(const QString &s)
{
    const QStringList p = s.split(QLatin1Char('.'));
    if (p.size() != 4) return false;
    for (const QString &x : p) {
        if (x.isEmpty() || x.size() > 3) return false;
        for (QChar c : x)
            if (!c.isDigit() || c.unicode() > 127) return false;
        if (x.toInt() > 255) return false;
    }
    return true;
}

bool parseIpv6(const QString &s)
{
    QHostAddress a;
    return s.contains(QLatin1Char(':')) && a.setAddress(s) &&
           a.protocol() == QAbstractSocket::IPv6Protocol;
}

bool parseBoolText(const QString &s, bool &out)
{
    QString t = s.trimmed().toLower();
    if (t == "true" || t == "1") {
        out = true;
        return true;
    }
    if (t == "false" || t == "0") {
        out = false;
        return true;
    }
    return false;
}

bool parseDuration(const QString &s, qint64 *ms)
{
    static const QRegularExpression re(
        QStringLiteral("^P(?:(\\d+)Y)?(?:(\\d+)M)?(?:(\\d+)D)?"
                       "(?:T(?:(\\d+)H)?(?:(\\d+)M)?(?:(\\d+)(?:\\.(\\d+))?S)?)?$"));
    const QString t = s.trimmed();
    QRegularExpressionMatch m = re.match(t);
    if (!m.hasMatch() || t == "P" || t.endsWith(QLatin1Char('T'))) return false;
    if (ms) {
        auto n = [&](int i) { return qMin<qint64>(m.captured(i).toLongLong(), 1000000); };
        qint64 secs =
            n(1) * 365 * 86400 + n(2) * 30 * 86400 + n(3) * 86400 + n(4) * 3600 + n(5) * 60 + n(6);
        QString frac = (m.captured(7) + QStringLiteral("000")).left(3);
        *ms = secs * 1000 + frac.toLongLong();
    }
    return true;
}

// ---- state -----------------------------------------------------------------

QString GeoEntry::key() const
{
    QString entity, token;
    for (const auto &a : attrs) {
        if (a.first == "Entity") entity = a.second;
        if (a.first == "Token") token = a.second;
    }
    return entity + QLatin1Char('\n') + token;
}

void DeviceLogs::add(std::deque<QString> &log, const QDateTime &when, const QString &line)
{
    log.push_back(when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ ")) + line);
    while (log.size() > 500)
        log.pop_front();
}

DeviceState initialDeviceState(const CameraConfig &c)
{
    DeviceState d;
    d.clockOffset = c.clockOffsetS * 1000;
    d.tz = c.timezone;
    d.prefixLen = c.prefixLength;
    d.gateway = c.gateway;
    d.dns = c.dns;
    d.hostname = c.hostname.isEmpty() ? c.name : c.hostname;
    for (const QString &n : c.ntp)
        d.ntp.push_back(hostOf(n));
    d.discoverable = c.discoverable;
    d.users.push_back({c.user, c.password, QStringLiteral("Administrator"), true});
    for (const CameraConfig::Account &a : c.users)
        if (a.name != c.user) d.users.push_back({a.name, a.password, a.level, false});
    const QString o = QStringLiteral("onvif://www.onvif.org/");
    d.scopes.push_back({o + QStringLiteral("type/video_encoder"), true});
    if (c.ptz) d.scopes.push_back({o + QStringLiteral("type/ptz"), true});
    d.scopes.push_back({o + QStringLiteral("Profile/Streaming"), true});
    d.scopes.push_back({o + QStringLiteral("hardware/") + enc(c.model), true});
    d.scopes.push_back({o + QStringLiteral("name/") + enc(c.name), false});
    d.scopes.push_back({o + QStringLiteral("location/") + enc(c.location), false});
    for (const QString &s : c.scopes)
        d.scopes.push_back({s, isFixedScope(s)});
    for (int i = 1; i <= c.relayOutputs; ++i) {
        RelayState r;
        r.token = QStringLiteral("RelayOutput_%1").arg(i);
        d.relays.push_back(r);
    }
    d.accessPolicy = "<?xml version=\"1.0\"?><camsim-access-policy default=\"allow\"/>";
    return d;
}

// ---- helpers ---------------------------------------------------------------

El &DeviceService::reply(SoapCall &call)
{
    call.out = El(NS_TDS, call.in.name + QStringLiteral("Response"));
    return call.out;
}

bool DeviceService::done(SoapCall &call)
{
    reply(call);
    return true;
}

bool DeviceService::fail(Camera &cam, SoapCall &call, int status, bool sender,
                         const QStringList &subcodes, const QString &why)
{
    call.err = cam.faultReply(status, sender, subcodes, why);
    return false;
}

bool DeviceService::badArg(Camera &cam, SoapCall &call, const QString &subcode, const QString &why)
{
    QStringList sub{QStringLiteral("ter:InvalidArgVal")};
    if (!subcode.isEmpty()) sub << subcode;
    return fail(cam, call, 400, true, sub, why);
}

bool DeviceService::prohibited(Camera &cam, SoapCall &call, const QString &subcode,
                               const QString &why)
{
    return fail(cam, call, 400, true, {QStringLiteral("ter:OperationProhibited"), subcode}, why);
}

void DeviceService::record(Camera &cam, const QString &line)
{
    cam.logs.add(cam.logs.system, cam.cameraNow(), line);
}

El DeviceService::dateTime(const Camera &cam, const QDateTime &t, const QString &name)
{
    auto num = [&cam](int n) {
        return cam.cfg.timeUnpadded ? QString::number(n)
                                    : QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
    };
    El dt(NS_TT, name);
    El &tm = dt.add(NS_TT, QStringLiteral("Time"));
    tm.add(NS_TT, QStringLiteral("Hour"), num(t.time().hour()));
    tm.add(NS_TT, QStringLiteral("Minute"), num(t.time().minute()));
    tm.add(NS_TT, QStringLiteral("Second"), num(t.time().second()));
    El &d = dt.add(NS_TT, QStringLiteral("Date"));
    d.add(NS_TT, QStringLiteral("Year"), QString::number(t.date().year()));
    d.add(NS_TT, QStringLiteral("Month"), num(t.date().month()));
    d.add(NS_TT, QStringLiteral("Day"), num(t.date().day()));
    return dt;
}

// ---- identity and capabilities ----------------------------------------------

bool DeviceService::getDeviceInformation(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    out.add(NS_TDS, QStringLiteral("Manufacturer"), cam.cfg.manufacturer);
    out.add(NS_TDS, QStringLiteral("Model"), cam.cfg.model);
    out.add(NS_TDS, QStringLiteral("FirmwareVersion"), cam.fw);
    out.add(NS_TDS, QStringLiteral("SerialNumber"), cam.cfg.serial);
    out.add(NS_TDS, QStringLiteral("HardwareId"), cam.cfg.hardwareId);
    return true;
}

bool DeviceService::getCapabilities(Camera &cam, SoapCall &call)
{
    const CameraConfig &cfg = cam.cfg;
    QStringList cats;
    for (const XNode *c : call.in.childrenNamed(QStringLiteral("Category")))
        cats << c->text;
    if (cats.isEmpty()) cats << QStringLiteral("All");
    bool all = cats.contains(QStringLiteral("All"));
    for (const QString &c : cats) {
        bool known = c == "All" || c == "Analytics" || c == "Device" || c == "Events" ||
                     c == "Imaging" || c == "Media" || (c == "PTZ" && cfg.ptz);
        if (!known)
            return badArg(cam, call, QStringLiteral("ter:NoSuchService"),
                          QStringLiteral("no such capability category: ") + c);
    }
    auto want = [&](const char *c) { return all || cats.contains(QLatin1String(c)); };
    El &caps = reply(call).add(NS_TDS, QStringLiteral("Capabilities"));
    auto b = [](bool v) { return boolText(v); };
    const QString relays = QString::number(cam.dev.relays.size());
    if (want("Analytics")) caps.add(RecServices::analyticsCapability(cam));
    if (want("Device")) {
        El &d = caps.add(NS_TT, QStringLiteral("Device"));
        d.add(NS_TT, QStringLiteral("XAddr"), cam.serviceUrl(QStringLiteral("device_service")));
        El &n = d.add(NS_TT, QStringLiteral("Network"));
        n.add(NS_TT, QStringLiteral("IPFilter"), b(true));
        n.add(NS_TT, QStringLiteral("ZeroConfiguration"), b(true));
        n.add(NS_TT, QStringLiteral("IPVersion6"), b(false));
        n.add(NS_TT, QStringLiteral("DynDNS"), b(true));
        n.add(NS_TT, QStringLiteral("Extension"))
            .add(NS_TT, QStringLiteral("Dot11Configuration"), b(cfg.dot11));
        El &s = d.add(NS_TT, QStringLiteral("System"));
        s.add(NS_TT, QStringLiteral("DiscoveryResolve"), b(false));
        s.add(NS_TT, QStringLiteral("DiscoveryBye"), b(true));
        s.add(NS_TT, QStringLiteral("RemoteDiscovery"), b(false));
        s.add(NS_TT, QStringLiteral("SystemBackup"), b(true));
        s.add(NS_TT, QStringLiteral("SystemLogging"), b(true));
        s.add(NS_TT, QStringLiteral("FirmwareUpgrade"), b(true));
        El &v = s.add(NS_TT, QStringLiteral("SupportedVersions"));
        v.add(NS_TT, QStringLiteral("Major"), QStringLiteral("2"));
        v.add(NS_TT, QStringLiteral("Minor"), QStringLiteral("60"));
        El &se = s.add(NS_TT, QStringLiteral("Extension"));
        se.add(NS_TT, QStringLiteral("HttpFirmwareUpgrade"), b(true));
        se.add(NS_TT, QStringLiteral("HttpSystemBackup"), b(true));
        se.add(NS_TT, QStringLiteral("HttpSystemLogging"), b(true));
        se.add(NS_TT, QStringLiteral("HttpSupportInformation"), b(true));
        El &io = d.add(NS_TT, QStringLiteral("IO"));
        io.add(NS_TT, QStringLiteral("InputConnectors"), QString::number(cam.io.inputs.size()));
        io.add(NS_TT, QStringLiteral("RelayOutputs"), relays);
        El &sec = d.add(NS_TT, QStringLiteral("Security"));
        sec.add(NS_TT, QStringLiteral("TLS1.1"), b(cfg.tls));
        sec.add(NS_TT, QStringLiteral("TLS1.2"), b(cfg.tls));
        sec.add(NS_TT, QStringLiteral("OnboardKeyGeneration"), b(false));
        sec.add(NS_TT, QStringLiteral("AccessPolicyConfig"), b(true));
        sec.add(NS_TT, QStringLiteral("X.509Token"), b(false));
        sec.add(NS_TT, QStringLiteral("SAMLToken"), b(false));
        sec.add(NS_TT, QStringLiteral("KerberosToken"), b(false));
        sec.add(NS_TT, QStringLiteral("RELToken"), b(false));
    }
    if (want("Events")) {
        El &e = caps.add(NS_TT, QStringLiteral("Events"));
        e.add(NS_TT, QStringLiteral("XAddr"), cam.serviceUrl(QStringLiteral("events_service")));
        e.add(NS_TT, QStringLiteral("WSSubscriptionPolicySupport"), b(false));
        e.add(NS_TT, QStringLiteral("WSPullPointSupport"), b(true));
        e.add(NS_TT, QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"), b(false));
    }
    if (want("Imaging"))
        caps.add(NS_TT, QStringLiteral("Imaging"))
            .add(NS_TT, QStringLiteral("XAddr"), cam.serviceUrl(QStringLiteral("imaging_service")));
    if (want("Media")) {
        El &m = caps.add(NS_TT, QStringLiteral("Media"));
        m.add(NS_TT, QStringLiteral("XAddr"), cam.serviceUrl(QStringLiteral("media_service")));
        El &sc = m.add(NS_TT, QStringLiteral("StreamingCapabilities"));
        sc.add(NS_TT, QStringLiteral("RTPMulticast"), b(false));
        sc.add(NS_TT, QStringLiteral("RTP_TCP"), b(true));
        sc.add(NS_TT, QStringLiteral("RTP_RTSP_TCP"), b(true));
        m.add(NS_TT, QStringLiteral("Extension"))
            .add(NS_TT, QStringLiteral("ProfileCapabilities"))
            .add(NS_TT, QStringLiteral("MaximumNumberOfProfiles"),
                 QString::number(media::kMaxProfiles));
    }
    if (cfg.ptz && want("PTZ"))
        caps.add(NS_TT, QStringLiteral("PTZ"))
            .add(NS_TT, QStringLiteral("XAddr"), cam.serviceUrl(QStringLiteral("ptz_service")));
    if (all) {
        El &ext = caps.add(NS_TT, QStringLiteral("Extension"));
        El &io = ext.add(NS_TT, QStringLiteral("DeviceIO"));
        io.add(NS_TT, QStringLiteral("XAddr"), cam.serviceUrl(QStringLiteral("deviceio_service")));
        io.add(NS_TT, QStringLiteral("VideoSources"), QStringLiteral("1"));
        io.add(NS_TT, QStringLiteral("VideoOutputs"), QStringLiteral("0"));
        io.add(NS_TT, QStringLiteral("AudioSources"), QStringLiteral("1"));
        io.add(NS_TT, QStringLiteral("AudioOutputs"), QStringLiteral("0"));
        io.add(NS_TT, QStringLiteral("RelayOutputs"), relays);
        RecServices::addExtensionCapabilities(cam, ext);
    }
    return true;
}

El DeviceService::serviceCaps(const Camera &cam)
{
    const CameraConfig &cfg = cam.cfg;
    const QString t = QStringLiteral("true"), f = QStringLiteral("false");
    El c(NS_TDS, QStringLiteral("Capabilities"));
    c.add(NS_TDS, QStringLiteral("Network"))
        .attr(QStringLiteral("IPFilter"), t)
        .attr(QStringLiteral("ZeroConfiguration"), t)
        .attr(QStringLiteral("IPVersion6"), f)
        .attr(QStringLiteral("DynDNS"), t)
        .attr(QStringLiteral("Dot11Configuration"), boolText(cfg.dot11))
        .attr(QStringLiteral("HostnameFromDHCP"), t)
        .attr(QStringLiteral("NTP"), QString::number(kMaxNtp));
    c.add(NS_TDS, QStringLiteral("Security"))
        .attr(QStringLiteral("TLS1.2"), boolText(cfg.tls))
        .attr(QStringLiteral("AccessPolicyConfig"), t)
        .attr(QStringLiteral("RemoteUserHandling"), t)
        .attr(QStringLiteral("UsernameToken"),
              boolText(cfg.auth == "wsse" || (cfg.auth != "none" && cfg.acceptWsse)))
        .attr(QStringLiteral("HttpDigest"), boolText(cfg.auth == "digest"))
        .attr(QStringLiteral("MaxUsers"), QString::number(kMaxUsers));
    c.add(NS_TDS, QStringLiteral("System"))
        .attr(QStringLiteral("DiscoveryResolve"), f)
        .attr(QStringLiteral("DiscoveryBye"), t)
        .attr(QStringLiteral("RemoteDiscovery"), f)
        .attr(QStringLiteral("SystemBackup"), t)
        .attr(QStringLiteral("SystemLogging"), t)
        .attr(QStringLiteral("HttpFirmwareUpgrade"), t)
        .attr(QStringLiteral("HttpSystemBackup"), t)
        .attr(QStringLiteral("HttpSystemLogging"), t)
        .attr(QStringLiteral("HttpSupportInformation"), t)
        .attr(QStringLiteral("StorageConfiguration"), t)
        .attr(QStringLiteral("MaxStorageConfigurations"), QStringLiteral("4"))
        .attr(QStringLiteral("GeoLocationEntries"), QStringLiteral("4"));
    c.add(NS_TDS, QStringLiteral("Misc"))
        .attr(QStringLiteral("AuxiliaryCommands"),
              QStringLiteral("tt:Wiper|On tt:Wiper|Off tt:IRLamp|On tt:IRLamp|Off tt:IRLamp|Auto"));
    return c;
}

bool DeviceService::getServiceCapabilities(Camera &cam, SoapCall &call)
{
    reply(call).add(serviceCaps(cam));
    return true;
}

bool DeviceService::getServices(Camera &cam, SoapCall &call)
{
    bool include = false;
    parseBoolText(call.in.childText(QStringLiteral("IncludeCapability")), include);
    El &out = reply(call);
    auto service = [&](int ns, const QString &path, const El &caps) {
        El &s = out.add(NS_TDS, QStringLiteral("Service"));
        s.add(NS_TDS, QStringLiteral("Namespace"), QLatin1String(nsUri(ns)));
        s.add(NS_TDS, QStringLiteral("XAddr"), cam.serviceUrl(path));
        if (include) s.add(NS_TDS, QStringLiteral("Capabilities")).add(caps);
        El &v = s.add(NS_TDS, QStringLiteral("Version"));
        v.add(NS_TT, QStringLiteral("Major"), QStringLiteral("2"));
        v.add(NS_TT, QStringLiteral("Minor"), QStringLiteral("60"));
    };
    service(NS_TDS, QStringLiteral("device_service"), serviceCaps(cam));
    service(NS_TRT, QStringLiteral("media_service"), MediaService::capabilities());
    service(NS_TR2, QStringLiteral("media2_service"), MediaService::capabilities2());
    El ev(NS_TEV, QStringLiteral("Capabilities"));
    ev.attr(QStringLiteral("WSSubscriptionPolicySupport"), QStringLiteral("false"))
        .attr(QStringLiteral("WSPullPointSupport"), QStringLiteral("true"))
        .attr(QStringLiteral("WSPausableSubscriptionManagerInterfaceSupport"),
              QStringLiteral("false"))
        .attr(QStringLiteral("MaxNotificationProducers"), QStringLiteral("4"))
        .attr(QStringLiteral("MaxPullPoints"), QStringLiteral("4"));
    service(NS_TEV, QStringLiteral("events_service"), ev);
    El img(NS_TIMG, QStringLiteral("Capabilities"));
    img.attr(QStringLiteral("ImageStabilization"), QStringLiteral("false"))
        .attr(QStringLiteral("Presets"), QStringLiteral("true"));
    service(NS_TIMG, QStringLiteral("imaging_service"), img);
    El io(NS_TMD, QStringLiteral("Capabilities"));
    io.attr(QStringLiteral("VideoSources"), QStringLiteral("1"))
        .attr(QStringLiteral("VideoOutputs"), QStringLiteral("0"))
        .attr(QStringLiteral("AudioSources"), QStringLiteral("1"))
        .attr(QStringLiteral("AudioOutputs"), QStringLiteral("0"))
        .attr(QStringLiteral("RelayOutputs"), QString::number(cam.dev.relays.size()))
        .attr(QStringLiteral("DigitalInputs"), QString::number(cam.io.inputs.size()))
        .attr(QStringLiteral("DigitalInputOptions"), QStringLiteral("true"));
    service(NS_TMD, QStringLiteral("deviceio_service"), io);
    if (cam.cfg.ptz) {
        El p(NS_TPTZ, QStringLiteral("Capabilities"));
        p.attr(QStringLiteral("EFlip"), QStringLiteral("false"))
            .attr(QStringLiteral("Reverse"), QStringLiteral("false"))
            .attr(QStringLiteral("MoveStatus"), QStringLiteral("true"))
            .attr(QStringLiteral("StatusPosition"), QStringLiteral("true"));
        service(NS_TPTZ, QStringLiteral("ptz_service"), p);
    }
    for (const ServiceEntry &e : RecServices::services(cam))
        service(e.ns, e.path, e.caps);
    for (const PacsService::Offer &s : PacsService::offers(cam))
        service(s.ns, s.path, s.caps);
    return true;
}

bool DeviceService::getWsdlUrl(Camera &, SoapCall &call)
{
    reply(call).add(NS_TDS, QStringLiteral("WsdlUrl"),
                    QStringLiteral("http://www.onvif.org/ver10/device/wsdl/devicemgmt.wsdl"));
    return true;
}

bool DeviceService::getEndpointReference(Camera &cam, SoapCall &call)
{
    reply(call).add(NS_TDS, QStringLiteral("GUID"), cam.endpoint());
    return true;
}

// ---- date and time -----------------------------------------------------------

bool DeviceService::getSystemDateAndTime(Camera &cam, SoapCall &call)
{
    const DeviceState &d = cam.dev;
    QDateTime utc = cam.cameraNow();
    QDateTime local = utc.addSecs(cam.cfg.localOffsetS);
    El &s = reply(call).add(NS_TDS, QStringLiteral("SystemDateAndTime"));
    s.add(NS_TT, QStringLiteral("DateTimeType"), d.dateTimeType);
    s.add(NS_TT, QStringLiteral("DaylightSavings"), boolText(d.daylight));
    s.add(NS_TT, QStringLiteral("TimeZone")).add(NS_TT, QStringLiteral("TZ"), d.tz);
    if (!cam.cfg.onlyLocalTime) s.add(dateTime(cam, utc, QStringLiteral("UTCDateTime")));
    s.add(dateTime(cam, local, QStringLiteral("LocalDateTime")));
    return true;
}

bool DeviceService::setSystemDateAndTime(Camera &cam, SoapCall &call)
{
    DeviceState &d = cam.dev;
    const XNode &in = call.in;
    auto bad = [&](const QString &why) {
        return badArg(cam, call, QStringLiteral("ter:InvalidDateTime"), why);
    };
    QString type = in.childText(QStringLiteral("DateTimeType"));
    if (type != "Manual" && type != "NTP")
        return bad(QStringLiteral("DateTimeType must be Manual or NTP"));
    bool dst = false;
    if (!parseBoolText(in.childText(QStringLiteral("DaylightSavings")), dst))
        return bad(QStringLiteral("DaylightSavings must be a boolean"));
    QString newTz = d.tz;
    if (const XNode *t = in.child(QStringLiteral("TimeZone"))) {
        newTz = t->childText(QStringLiteral("TZ"));
        if (newTz.isEmpty() || newTz.size() > 127)
            return badArg(cam, call, QStringLiteral("ter:InvalidTimeZone"),
                          QStringLiteral("invalid time zone"));
    }
    qint64 newOffset = d.clockOffset;
    if (const XNode *u = in.child(QStringLiteral("UTCDateTime"))) {
        const XNode *t = u->child(QStringLiteral("Time"));
        const XNode *dt = u->child(QStringLiteral("Date"));
        if (!t || !dt) return bad(QStringLiteral("UTCDateTime needs Time and Date"));
        QTime tm(t->childText(QStringLiteral("Hour")).toInt(),
                 t->childText(QStringLiteral("Minute")).toInt(),
                 t->childText(QStringLiteral("Second")).toInt());
        QDate day(dt->childText(QStringLiteral("Year")).toInt(),
                  dt->childText(QStringLiteral("Month")).toInt(),
                  dt->childText(QStringLiteral("Day")).toInt());
        if (!tm.isValid() || !day.isValid()) return bad(QStringLiteral("invalid date or time"));
        newOffset = QDateTime::currentDateTimeUtc().msecsTo(QDateTime(day, tm, Qt::UTC));
    } else if (type == "Manual") {
        return bad(QStringLiteral("Manual needs UTCDateTime"));
    }
    d.dateTimeType = type;
    d.daylight = dst;
    d.tz = newTz;
    d.clockOffset = newOffset;
    return done(call);
}

bool DeviceService::getNTP(Camera &cam, SoapCall &call)
{
    const DeviceState &d = cam.dev;
    El &info = reply(call).add(NS_TDS, QStringLiteral("NTPInformation"));
    info.add(NS_TT, QStringLiteral("FromDHCP"), boolText(d.ntpFromDhcp));
    for (const NetHost &h : d.ntp)
        info.add(networkHost(
            d.ntpFromDhcp ? QStringLiteral("NTPFromDHCP") : QStringLiteral("NTPManual"), h));
    return true;
}

bool DeviceService::setNTP(Camera &cam, SoapCall &call)
{
    bool fromDhcp = false;
    if (!parseBoolText(call.in.childText(QStringLiteral("FromDHCP")), fromDhcp))
        return badArg(cam, call, QString(), QStringLiteral("FromDHCP must be a boolean"));
    std::vector<NetHost> servers;
    for (const XNode *m : call.in.childrenNamed(QStringLiteral("NTPManual"))) {
        NetHost h{m->childText(QStringLiteral("Type")), QString()};
        if (h.type == "IPv4") {
            h.value = m->childText(QStringLiteral("IPv4Address"));
            if (!parseIpv4(h.value))
                return badArg(cam, call, QStringLiteral("ter:InvalidIPv4Address"),
                              QStringLiteral("bad NTP server \"%1\"").arg(h.value));
        } else if (h.type == "IPv6") {
            h.value = m->childText(QStringLiteral("IPv6Address"));
            if (!parseIpv6(h.value))
                return badArg(cam, call, QStringLiteral("ter:InvalidIPv6Address"),
                              QStringLiteral("bad NTP server \"%1\"").arg(h.value));
        } else if (h.type == "DNS") {
            h.value = m->childText(QStringLiteral("DNSname"));
            if (!validDnsName(h.value))
                return badArg(cam, call, QStringLiteral("ter:InvalidDnsName"),
                              QStringLiteral("bad NTP server name \"%1\"").arg(h.value));
        } else {
            return badArg(cam, call, QString(), QStringLiteral("bad NTP server type"));
        }
        servers.push_back(h);
    }
    if (servers.size() > size_t(kMaxNtp))
        return badArg(cam, call, QString(), QStringLiteral("at most %1 NTP servers").arg(kMaxNtp));
    cam.dev.ntpFromDhcp = fromDhcp;
    if (!fromDhcp) cam.dev.ntp = servers;
    return done(call);
}

// ---- network -----------------------------------------------------------------

bool DeviceService::getNetworkInterfaces(Camera &cam, SoapCall &call)
{
    const DeviceState &d = cam.dev;
    El &n = reply(call).add(NS_TDS, QStringLiteral("NetworkInterfaces"));
    n.attr(QStringLiteral("token"), QStringLiteral("eth0"));
    n.add(NS_TT, QStringLiteral("Enabled"), QStringLiteral("true"));
    El &info = n.add(NS_TT, QStringLiteral("Info"));
    info.add(NS_TT, QStringLiteral("Name"), QStringLiteral("eth0"));
    info.add(NS_TT, QStringLiteral("HwAddress"), cam.cfg.hwAddress);
    info.add(NS_TT, QStringLiteral("MTU"), QStringLiteral("1500"));
    El &v4 = n.add(NS_TT, QStringLiteral("IPv4"));
    v4.add(NS_TT, QStringLiteral("Enabled"), QStringLiteral("true"));
    El &c = v4.add(NS_TT, QStringLiteral("Config"));
    El &a = c.add(NS_TT, d.dhcp ? QStringLiteral("FromDHCP") : QStringLiteral("Manual"));
    a.add(NS_TT, QStringLiteral("Address"), cam.addr);
    a.add(NS_TT, QStringLiteral("PrefixLength"), QString::number(d.prefixLen));
    c.add(NS_TT, QStringLiteral("DHCP"), boolText(d.dhcp));
    return true;
}

bool DeviceService::setNetworkInterfaces(Camera &cam, SoapCall &call)
{
    DeviceState &d = cam.dev;
    auto bad = [&](const QString &sub, const QString &why) { return badArg(cam, call, sub, why); };
    QString token = call.in.childText(QStringLiteral("InterfaceToken"));
    if (token != "eth0")
        return bad(QStringLiteral("ter:InvalidNetworkInterface"),
                   QStringLiteral("no interface \"%1\"").arg(token));
    const XNode *ni = call.in.child(QStringLiteral("NetworkInterface"));
    if (!ni)
        return bad(QStringLiteral("ter:InvalidNetworkInterface"),
                   QStringLiteral("NetworkInterface missing"));
    bool newDhcp = d.dhcp;
    int newPrefix = d.prefixLen;
    QString newAddr = cam.addr;
    if (const XNode *v4 = ni->child(QStringLiteral("IPv4"))) {
        if (v4->has(QStringLiteral("DHCP")) &&
            !parseBoolText(v4->childText(QStringLiteral("DHCP")), newDhcp))
            return bad(QStringLiteral("ter:InvalidIPv4Address"),
                       QStringLiteral("DHCP must be a boolean"));
        if (const XNode *m = v4->child(QStringLiteral("Manual"))) {
            QString a = m->childText(QStringLiteral("Address"));
            bool ok = false;
            int pl = m->childText(QStringLiteral("PrefixLength")).toInt(&ok);
            if (!parseIpv4(a))
                return bad(QStringLiteral("ter:InvalidIPv4Address"),
                           QStringLiteral("bad address \"%1\"").arg(a));
            if (!ok || pl < 0 || pl > 32)
                return bad(QStringLiteral("ter:InvalidIPv4Address"),
                           QStringLiteral("bad prefix length"));
            if (!newDhcp) {
                newAddr = a;
                newPrefix = pl;
            }
        }
    }
    d.dhcp = newDhcp;
    d.prefixLen = newPrefix;
    if (newAddr != cam.addr) {
        Camera *c = &cam;
        call.afterReply = [c, newAddr]() { c->moveTo(newAddr); };
    }
    reply(call).add(NS_TDS, QStringLiteral("RebootNeeded"), QStringLiteral("false"));
    return true;
}

bool DeviceService::getHostname(Camera &cam, SoapCall &call)
{
    El &h = reply(call).add(NS_TDS, QStringLiteral("HostnameInformation"));
    h.add(NS_TT, QStringLiteral("FromDHCP"), boolText(cam.dev.hostnameFromDhcp));
    h.add(NS_TT, QStringLiteral("Name"), cam.dev.hostname);
    return true;
}

bool DeviceService::setHostname(Camera &cam, SoapCall &call)
{
    QString n = call.in.childText(QStringLiteral("Name"));
    if (n.isEmpty() || n.size() > 63 || n.contains(QLatin1Char(' ')))
        return badArg(cam, call, QStringLiteral("ter:InvalidHostname"),
                      QStringLiteral("invalid host name"));
    cam.dev.hostname = n;
    cam.dev.hostnameFromDhcp = false;
    return done(call);
}

bool DeviceService::setHostnameFromDHCP(Camera &cam, SoapCall &call)
{
    bool fromDhcp = false;
    if (!parseBoolText(call.in.childText(QStringLiteral("FromDHCP")), fromDhcp))
        return badArg(cam, call, QString(), QStringLiteral("FromDHCP must be a boolean"));
    cam.dev.hostnameFromDhcp = fromDhcp;
    reply(call).add(NS_TDS, QStringLiteral("RebootNeeded"), QStringLiteral("false"));
    return true;
}

bool DeviceService::getDNS(Camera &cam, SoapCall &call)
{
    const DeviceState &d = cam.dev;
    El &info = reply(call).add(NS_TDS, QStringLiteral("DNSInformation"));
    info.add(NS_TT, QStringLiteral("FromDHCP"), boolText(d.dnsFromDhcp));
    for (const QString &s : d.searchDomains)
        info.add(NS_TT, QStringLiteral("SearchDomain"), s);
    for (const QString &s : d.dns)
        info.add(
            networkHost(d.dnsFromDhcp ? QStringLiteral("DNSFromDHCP") : QStringLiteral("DNSManual"),
                        {QStringLiteral("IPv4"), s}));
    return true;
}

bool DeviceService::setDNS(Camera &cam, SoapCall &call)
{
    bool fromDhcp = false;
    if (!parseBoolText(call.in.childText(QStringLiteral("FromDHCP")), fromDhcp))
        return badArg(cam, call, QString(), QStringLiteral("FromDHCP must be a boolean"));
    QStringList domains, servers;
    for (const XNode *d : call.in.childrenNamed(QStringLiteral("SearchDomain")))
        if (!d->text.isEmpty()) domains << d->text;
    for (const XNode *m : call.in.childrenNamed(QStringLiteral("DNSManual"))) {
        QString type = m->childText(QStringLiteral("Type"));
        QString a = m->childText(QStringLiteral("IPv4Address"));
        if ((!type.isEmpty() && type != "IPv4") || !parseIpv4(a))
            return badArg(cam, call, QStringLiteral("ter:InvalidIPv4Address"),
                          QStringLiteral("bad DNS server \"%1\"").arg(a));
        servers << a;
    }
    if (domains.size() > 4 || servers.size() > 4)
        return badArg(cam, call, QStringLiteral("ter:TooManySearchDomains"),
                      QStringLiteral("too many entries"));
    cam.dev.dnsFromDhcp = fromDhcp;
    cam.dev.searchDomains = domains;
    if (!fromDhcp) cam.dev.dns = servers;
    return done(call);
}

bool DeviceService::getDynamicDNS(Camera &cam, SoapCall &call)
{
    const DeviceState &d = cam.dev;
    El &info = reply(call).add(NS_TDS, QStringLiteral("DynamicDNSInformation"));
    info.add(NS_TT, QStringLiteral("Type"), d.dynDnsType);
    if (!d.dynDnsName.isEmpty()) info.add(NS_TT, QStringLiteral("Name"), d.dynDnsName);
    if (!d.dynDnsTtl.isEmpty()) info.add(NS_TT, QStringLiteral("TTL"), d.dynDnsTtl);
    return true;
}

bool DeviceService::setDynamicDNS(Camera &cam, SoapCall &call)
{
    const QString type = call.in.childText(QStringLiteral("Type"));
    const QString name = call.in.childText(QStringLiteral("Name"));
    const QString ttl = call.in.childText(QStringLiteral("TTL"));
    if (type != "NoUpdate" && type != "ClientUpdates" && type != "ServerUpdates")
        return badArg(cam, call, QString(), QStringLiteral("bad dynamic DNS type"));
    if (!name.isEmpty() && !validDnsName(name))
        return badArg(cam, call, QStringLiteral("ter:InvalidDnsName"),
                      QStringLiteral("bad name \"%1\"").arg(name));
    if (!ttl.isEmpty() && !parseDuration(ttl))
        return badArg(cam, call, QString(), QStringLiteral("TTL must be a duration"));
    cam.dev.dynDnsType = type;
    cam.dev.dynDnsName = name;
    cam.dev.dynDnsTtl = ttl;
    return done(call);
}

// What the camera serves: HTTP (or HTTPS) on its port, RTSP on 554, until a
// client sets them (the camera keeps listening where it is).
std::vector<NetProtocol> DeviceService::protocols(const Camera &cam)
{
    if (!cam.dev.protocols.empty()) return cam.dev.protocols;
    const int port = cam.boundPort;
    return {{QStringLiteral("HTTP"), !cam.cfg.tls, {cam.cfg.tls ? 80 : port}},
            {QStringLiteral("HTTPS"), cam.cfg.tls, {cam.cfg.tls ? port : 443}},
            {QStringLiteral("RTSP"), true, {554}}};
}

bool DeviceService::getNetworkProtocols(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    for (const NetProtocol &p : protocols(cam)) {
        El &e = out.add(NS_TDS, QStringLiteral("NetworkProtocols"));
        e.add(NS_TT, QStringLiteral("Name"), p.name);
        e.add(NS_TT, QStringLiteral("Enabled"), boolText(p.enabled));
        for (int port : p.ports)
            e.add(NS_TT, QStringLiteral("Port"), QString::number(port));
    }
    return true;
}

bool DeviceService::setNetworkProtocols(Camera &cam, SoapCall &call)
{
    std::vector<NetProtocol> now = protocols(cam);
    for (const XNode *n : call.in.childrenNamed(QStringLiteral("NetworkProtocols"))) {
        NetProtocol p;
        p.name = n->childText(QStringLiteral("Name"));
        auto it = std::find_if(now.begin(), now.end(),
                               [&](const NetProtocol &x) { return x.name == p.name; });
        if (it == now.end())
            return badArg(cam, call, QStringLiteral("ter:ServiceNotSupported"),
                          QStringLiteral("no protocol \"%1\"").arg(p.name));
        if (!parseBoolText(n->childText(QStringLiteral("Enabled")), p.enabled))
            return badArg(cam, call, QString(), QStringLiteral("Enabled must be a boolean"));
        for (const XNode *port : n->childrenNamed(QStringLiteral("Port"))) {
            bool ok = false;
            int v = port->text.toInt(&ok);
            if (!ok || v < 1 || v > 65535)
                return badArg(cam, call, QString(),
                              QStringLiteral("bad port \"%1\"").arg(port->text));
            p.ports.push_back(v);
        }
        if (p.ports.empty() || p.ports.size() > 4)
            return badArg(cam, call, QString(), QStringLiteral("one to four ports per protocol"));
        *it = p;
    }
    std::vector<int> used;
    for (const NetProtocol &p : now) {
        if (!p.enabled) continue;
        for (int port : p.ports) {
            if (std::find(used.begin(), used.end(), port) != used.end())
                return badArg(cam, call, QStringLiteral("ter:PortAlreadyInUse"),
                              QStringLiteral("port %1 is used twice").arg(port));
            used.push_back(port);
        }
    }
    cam.dev.protocols = now;
    return done(call);
}

bool DeviceService::getNetworkDefaultGateway(Camera &cam, SoapCall &call)
{
    El &g = reply(call).add(NS_TDS, QStringLiteral("NetworkGateway"));
    for (const QString &a : cam.dev.gateway)
        g.add(NS_TT, QStringLiteral("IPv4Address"), a);
    return true;
}

bool DeviceService::setNetworkDefaultGateway(Camera &cam, SoapCall &call)
{
    QStringList gw;
    for (const XNode *g : call.in.childrenNamed(QStringLiteral("IPv4Address"))) {
        if (!parseIpv4(g->text))
            return badArg(cam, call, QStringLiteral("ter:InvalidGatewayAddress"),
                          QStringLiteral("bad gateway \"%1\"").arg(g->text));
        gw << g->text;
    }
    if (gw.size() > 4)
        return badArg(cam, call, QStringLiteral("ter:InvalidGatewayAddress"),
                      QStringLiteral("too many gateways"));
    cam.dev.gateway = gw;
    return done(call);
}

bool DeviceService::getZeroConfiguration(Camera &cam, SoapCall &call)
{
    El &z = reply(call).add(NS_TDS, QStringLiteral("ZeroConfiguration"));
    z.add(NS_TT, QStringLiteral("InterfaceToken"), QStringLiteral("eth0"));
    z.add(NS_TT, QStringLiteral("Enabled"), boolText(cam.dev.zeroConf));
    const int i = cam.cfg.index;
    if (cam.dev.zeroConf)
        z.add(NS_TT, QStringLiteral("Addresses"),
              QStringLiteral("169.254.%1.%2").arg(1 + (i / 250) % 254).arg(1 + i % 250));
    return true;
}

bool DeviceService::setZeroConfiguration(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("InterfaceToken"));
    bool on = false;
    if (token != "eth0")
        return badArg(cam, call, QStringLiteral("ter:InvalidNetworkInterface"),
                      QStringLiteral("no interface \"%1\"").arg(token));
    if (!parseBoolText(call.in.childText(QStringLiteral("Enabled")), on))
        return badArg(cam, call, QString(), QStringLiteral("Enabled must be a boolean"));
    cam.dev.zeroConf = on;
    return done(call);
}

bool DeviceService::getDiscoveryMode(Camera &cam, SoapCall &call)
{
    reply(call).add(NS_TDS, QStringLiteral("DiscoveryMode"),
                    cam.dev.discoverable ? QStringLiteral("Discoverable")
                                         : QStringLiteral("NonDiscoverable"));
    return true;
}

bool DeviceService::setDiscoveryMode(Camera &cam, SoapCall &call)
{
    const QString m = call.in.childText(QStringLiteral("DiscoveryMode"));
    if (m != "Discoverable" && m != "NonDiscoverable")
        return badArg(cam, call, QString(), QStringLiteral("bad discovery mode \"%1\"").arg(m));
    cam.dev.discoverable = m == "Discoverable";
    return done(call);
}

// ---- scopes ------------------------------------------------------------------

bool DeviceService::getScopes(Camera &cam, SoapCall &call)
{
    El &out = reply(call);
    for (const ScopeEntry &s : cam.dev.scopes) {
        El &e = out.add(NS_TDS, QStringLiteral("Scopes"));
        e.add(NS_TT, QStringLiteral("ScopeDef"),
              s.fixed ? QStringLiteral("Fixed") : QStringLiteral("Configurable"));
        e.add(NS_TT, QStringLiteral("ScopeItem"), s.item);
    }
    return true;
}

namespace
{

bool hasScope(const std::vector<ScopeEntry> &scopes, const QString &item, bool *fixed = nullptr)
{
    for (const ScopeEntry &s : scopes)
        if (s.item == item) {
            if (fixed) *fixed = s.fixed;
            return true;
        }
    return false;
}

} // namespace

// SetScopes replaces every configurable scope; the fixed ones stay.
bool DeviceService::setScopes(Camera &cam, SoapCall &call)
{
    std::vector<ScopeEntry> next;
    for (const ScopeEntry &s : cam.dev.scopes)
        if (s.fixed) next.push_back(s);
    for (const XNode *n : call.in.childrenNamed(QStringLiteral("Scopes"))) {
        bool fixed = false;
        if (n->text.isEmpty()) return badArg(cam, call, QString(), QStringLiteral("empty scope"));
        if (hasScope(next, n->text, &fixed)) {
            if (fixed)
                return prohibited(cam, call, QStringLiteral("ter:ScopeOverwrite"),
                                  QStringLiteral("\"%1\" is a fixed scope").arg(n->text));
            continue;
        }
        next.push_back({n->text, false});
    }
    if (next.size() > size_t(kMaxScopes))
        return fail(cam, call, 500, false,
                    {QStringLiteral("ter:Action"), QStringLiteral("ter:TooManyScopes")},
                    QStringLiteral("too many scopes"));
    cam.dev.scopes = next;
    ++cam.mdVersion;
    return done(call);
}

bool DeviceService::addScopes(Camera &cam, SoapCall &call)
{
    std::vector<ScopeEntry> next = cam.dev.scopes;
    for (const XNode *n : call.in.childrenNamed(QStringLiteral("ScopeItem"))) {
        if (n->text.isEmpty()) return badArg(cam, call, QString(), QStringLiteral("empty scope"));
        if (!hasScope(next, n->text)) next.push_back({n->text, false});
    }
    if (next.size() > size_t(kMaxScopes))
        return fail(cam, call, 500, false,
                    {QStringLiteral("ter:Action"), QStringLiteral("ter:TooManyScopes")},
                    QStringLiteral("too many scopes"));
    cam.dev.scopes = next;
    ++cam.mdVersion;
    return done(call);
}

// All or nothing: a fixed or unknown scope refuses the whole request.
bool DeviceService::removeScopes(Camera &cam, SoapCall &call)
{
    std::vector<ScopeEntry> next = cam.dev.scopes;
    QStringList removed;
    for (const XNode *n : call.in.childrenNamed(QStringLiteral("ScopeItem"))) {
        auto it = std::find_if(next.begin(), next.end(),
                               [&](const ScopeEntry &s) { return s.item == n->text; });
        if (it == next.end())
            return badArg(cam, call, QStringLiteral("ter:NoScope"),
                          QStringLiteral("no scope \"%1\"").arg(n->text));
        if (it->fixed)
            return prohibited(cam, call, QStringLiteral("ter:FixedScope"),
                              QStringLiteral("\"%1\" is a fixed scope").arg(n->text));
        removed << it->item;
        next.erase(it);
    }
    cam.dev.scopes = next;
    ++cam.mdVersion;
    El &out = reply(call);
    for (const QString &s : removed)
        out.add(NS_TDS, QStringLiteral("ScopeItem"), s);
    return true;
}

// ---- wireless ----------------------------------------------------------------

namespace
{

const char kWlan[] = "wlan0";

QString ssidHex(const char *ssid)
{
    return QString::fromLatin1(QByteArray(ssid).toHex().toUpper());
}

} // namespace

bool DeviceService::getDot11Capabilities(Camera &cam, SoapCall &call)
{
    if (!cam.cfg.dot11)
        return fail(cam, call, 500, false,
                    {QStringLiteral("ter:ActionNotSupported"), QStringLiteral("ter:NotDot11")},
                    QStringLiteral("the device has no IEEE 802.11 interface"));
    El &c = reply(call).add(NS_TDS, QStringLiteral("Capabilities"));
    c.add(NS_TT, QStringLiteral("TKIP"), QStringLiteral("false"));
    c.add(NS_TT, QStringLiteral("ScanAvailableNetworks"), QStringLiteral("true"));
    c.add(NS_TT, QStringLiteral("MultipleConfiguration"), QStringLiteral("false"));
    c.add(NS_TT, QStringLiteral("AdHocStationMode"), QStringLiteral("false"));
    c.add(NS_TT, QStringLiteral("WEP"), QStringLiteral("false"));
    return true;
}

bool DeviceService::getDot11Status(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("InterfaceToken"));
    if (!cam.cfg.dot11 || token != QLatin1String(kWlan))
        return badArg(cam, call, QStringLiteral("ter:NotDot11"),
                      QStringLiteral("\"%1\" is not an IEEE 802.11 interface").arg(token));
    El &s = reply(call).add(NS_TDS, QStringLiteral("Status"));
    s.add(NS_TT, QStringLiteral("SSID"), ssidHex("camsim-lab"));
    s.add(NS_TT, QStringLiteral("BSSID"), QStringLiteral("02:00:5e:20:00:01"));
    s.add(NS_TT, QStringLiteral("PairCipher"), QStringLiteral("CCMP"));
    s.add(NS_TT, QStringLiteral("GroupCipher"), QStringLiteral("CCMP"));
    s.add(NS_TT, QStringLiteral("SignalStrength"), QStringLiteral("Good"));
    s.add(NS_TT, QStringLiteral("ActiveConfigAlias"), QStringLiteral("wlan0-config"));
    return true;
}

bool DeviceService::scanAvailableDot11Networks(Camera &cam, SoapCall &call)
{
    const QString token = call.in.childText(QStringLiteral("InterfaceToken"));
    if (!cam.cfg.dot11 || token != QLatin1String(kWlan))
        return badArg(cam, call, QStringLiteral("ter:NotDot11"),
                      QStringLiteral("\"%1\" is not an IEEE 802.11 interface").arg(token));
    struct Net {
        const char *ssid, *bssid, *suite, *cipher, *signal;
    };
    static const Net nets[] = {
        {"camsim-lab", "02:00:5e:20:00:01", "PSK", "CCMP", "Good"},
        {"site-office", "02:00:5e:20:00:02", "Dot1X", "CCMP", "Very Good"},
        {"guest", "02:00:5e:20:00:03", "None", "Any", "Bad"},
    };
    El &out = reply(call);
    for (const Net &n : nets) {
        El &e = out.add(NS_TDS, QStringLiteral("Networks"));
        e.add(NS_TT, QStringLiteral("SSID"), ssidHex(n.ssid));
        e.add(NS_TT, QStringLiteral("BSSID"), QLatin1String(n.bssid));
        e.add(NS_TT, QStringLiteral("AuthAndMangementSuite"), QLatin1String(n.suite));
        e.add(NS_TT, QStringLiteral("PairCipher"), QLatin1String(n.cipher));
        e.add(NS_TT, QStringLiteral("GroupCipher"), QLatin1String(n.cipher));
        e.add(NS_TT, QStringLiteral("SignalStrength"), QLatin1String(n.signal));
    }
    return true;
}

} // namespace camsim
