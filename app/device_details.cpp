#include "app/device_details.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/device_access.h"
#include "onvif/onvif_calls.h"
#include "onvif/onvif_enum.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_ops.h"

namespace
{

QString fieldText(const char *field, size_t size)
{
    return QString::fromUtf8(field, (int)strnlen(field, size));
}
#define TEXT(f) fieldText(f, sizeof(f))

QString yesNo(bool v)
{
    return v ? DeviceDetails::tr("是") : DeviceDetails::tr("否");
}

QString url(const ONVIF_XADDR &x)
{
    const bool defaultPort = x.port == 0 || x.port == (x.https ? 443 : 80);
    return QString(x.https ? "https://" : "http://") + TEXT(x.host) +
           (defaultPort ? QString() : ":" + QString::number(x.port)) + TEXT(x.path);
}

QString dateTime(const ONVIF_DATETIME &t)
{
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                             t.minute, t.second);
}

// Why the last call of the record failed, in a few words.
QString failure(const ONVIF_DEVICE &d)
{
    if (d.auth_failed) return DeviceDetails::tr("需要认证");
    switch (d.last_error) {
    case -1:
        return DeviceDetails::tr("无法连接");
    case -4:
        return DeviceDetails::tr("应答超时");
    case -9: {
        QString why = TEXT(d.fault.subcode);
        if (why.isEmpty()) why = TEXT(d.fault.reason);
        return why.isEmpty() ? DeviceDetails::tr("设备拒绝")
                             : DeviceDetails::tr("设备拒绝(%1)").arg(why);
    }
    default:
        return DeviceDetails::tr("应答无效(%1)").arg(d.last_error);
    }
}

QString notRead(const ONVIF_DEVICE &d)
{
    return DeviceDetails::tr("未能读取:%1").arg(failure(d));
}

} // namespace

QVector<DetailsSection> DeviceDetails::read(const ONVIF_DEVICE &published,
                                            const Credential &credential)
{
    DevicePtr dev = workingCopy(published);
    setCredential(dev.get(), credential);
    ONVIF_DEVICE *d = dev.get();
    QVector<DetailsSection> out;

    DetailsSection info{tr("设备信息"), {}, {}};
    prepareCall(d);
    if (GetDeviceInformation(d)) {
        const ONVIF_DEVICE_INFORMATION &i = d->device_information;
        info.rows = {{tr("厂商"), TEXT(i.manufacturer)},
                     {tr("型号"), TEXT(i.model)},
                     {tr("版本号"), TEXT(i.firmware_version)},
                     {tr("序列号"), TEXT(i.serial_number)},
                     {tr("硬件ID"), TEXT(i.hardware_id)}};
    } else {
        info.note = notRead(*d);
    }
    ONVIF_HOSTNAME host;
    memset(&host, 0, sizeof(host));
    prepareCall(d);
    if (onvif_tds_GetHostname(d, nullptr, &host)) info.rows.append({tr("主机名"), TEXT(host.name)});
    out << info;

    DetailsSection net{tr("网络接口"), {}, {}};
    NetworkInterfaceList *ifaces = nullptr;
    prepareCall(d);
    if (onvif_tds_GetNetworkInterfaces(d, nullptr, &ifaces)) {
        for (NetworkInterfaceList *n = ifaces; n; n = n->next) {
            const ONVIF_NETWORK_INTERFACE &i = n->NetworkInterface;
            const QString name = TEXT(i.name).isEmpty() ? TEXT(i.token) : TEXT(i.name);
            net.rows.append({name, QStringLiteral("MAC %1").arg(TEXT(i.hw_address))});
            if (i.flags & ONVIF_NETIF_FLAG_IPV4)
                net.rows.append({name, QStringLiteral("IPv4 %1/%2, DHCP %3")
                                           .arg(TEXT(i.ipv4_address))
                                           .arg(i.prefix_length)
                                           .arg(yesNo(i.dhcp))});
        }
        if (!ifaces) net.note = tr("设备没有列出网络接口");
    } else {
        net.note = notRead(*d);
    }
    onvif_free_NetworkInterfaces(&ifaces);
    out << net;

    DetailsSection dns{QStringLiteral("DNS"), {}, {}};
    ONVIF_DNS dnsInfo;
    memset(&dnsInfo, 0, sizeof(dnsInfo));
    prepareCall(d);
    if (onvif_tds_GetDNS(d, nullptr, &dnsInfo)) {
        dns.rows.append({tr("来自DHCP"), yesNo(dnsInfo.from_dhcp)});
        for (const auto &server : dnsInfo.dns_manual)
            if (server[0]) dns.rows.append({tr("服务器"), TEXT(server)});
        for (const auto &domain : dnsInfo.search_domain)
            if (domain[0]) dns.rows.append({tr("搜索域"), TEXT(domain)});
    } else {
        dns.note = notRead(*d);
    }
    out << dns;

    DetailsSection gw{tr("网关"), {}, {}};
    ONVIF_NETWORK_GATEWAY gateway;
    memset(&gateway, 0, sizeof(gateway));
    prepareCall(d);
    if (onvif_tds_GetNetworkDefaultGateway(d, nullptr, &gateway)) {
        for (const auto &a : gateway.ipv4_address)
            if (a[0]) gw.rows.append({QStringLiteral("IPv4"), TEXT(a)});
        if (gw.rows.isEmpty()) gw.note = tr("未设置");
    } else {
        gw.note = notRead(*d);
    }
    out << gw;

    DetailsSection time{tr("时间与时区"), {}, {}};
    ONVIF_SYSTEM_DATETIME clock;
    memset(&clock, 0, sizeof(clock));
    prepareCall(d, false);
    if (onvif_tds_GetSystemDateAndTime(d, nullptr, &clock)) {
        time.rows.append({tr("设置方式"), onvif_SetDateTimeTypeToString(clock.date_time_type)});
        if (clock.flags & ONVIF_SYSDT_FLAG_UTC)
            time.rows.append({tr("UTC时间"), dateTime(clock.utc)});
        if (clock.flags & ONVIF_SYSDT_FLAG_LOCAL)
            time.rows.append({tr("本地时间"), dateTime(clock.local)});
        time.rows.append({tr("时区"), TEXT(clock.tz)});
        time.rows.append({tr("夏令时"), yesNo(clock.daylight_savings)});
    } else {
        time.note = notRead(*d);
    }
    out << time;

    // Services: GetServices tells the versions; without it, what the
    // capabilities said (addresses only).
    DetailsSection services{tr("服务"), {}, {}};
    auto caps = std::unique_ptr<ONVIF_CAPABILITIES, void (*)(void *)>(
        static_cast<ONVIF_CAPABILITIES *>(calloc(1, sizeof(ONVIF_CAPABILITIES))), free);
    ONVIF_GET_SERVICES_REQ servicesReq = {0};
    prepareCall(d);
    bool versions = caps && onvif_tds_GetServices(d, &servicesReq, caps.get());
    if (!versions && caps) {
        services.note = tr("版本未能读取:%1").arg(failure(*d));
        *caps = d->capabilities;
    }
    if (caps) {
        const ONVIF_CAPABILITIES &c = *caps;
        auto add = [&](const char *name, bool present, int major, int minor, const ONVIF_XADDR &x) {
            if (!present) return;
            const QString v =
                versions ? QStringLiteral(" (%1.%2)").arg(major).arg(minor) : QString();
            services.rows.append({QString::fromLatin1(name) + v, url(x)});
        };
#define SVC(name, m, bit) add(name, c.m.flags &bit, c.m.version_major, c.m.version_minor, c.m.xaddr)
        add("device", true, c.device.version_major, c.device.version_minor,
            c.device.xaddr.host[0] ? c.device.xaddr : d->binfo.xaddr);
        SVC("media", media, ONVIF_CAP_MEDIA_PRESENT);
        SVC("media2", media2, ONVIF_CAP_MEDIA2_PRESENT);
        SVC("events", events, ONVIF_CAP_EVENTS_PRESENT);
        SVC("imaging", imaging, ONVIF_CAP_IMAGING_PRESENT);
        SVC("ptz", ptz, ONVIF_CAP_PTZ_PRESENT);
        SVC("analytics", analytics, ONVIF_CAP_ANALYTICS_PRESENT);
        SVC("deviceio", deviceio, ONVIF_CAP_DEVICEIO_PRESENT);
        SVC("recording", recording, ONVIF_CAP_RECORDING_PRESENT);
        SVC("search", search, ONVIF_CAP_SEARCH_PRESENT);
        SVC("replay", replay, ONVIF_CAP_REPLAY_PRESENT);
        SVC("accesscontrol", accesscontrol, ONVIF_CAP_ACCESSCONTROL_PRESENT);
        SVC("doorcontrol", doorcontrol, ONVIF_CAP_DOORCONTROL_PRESENT);
        SVC("thermal", thermal, ONVIF_CAP_THERMAL_PRESENT);
        SVC("credential", credential, ONVIF_CAP_CREDENTIAL_PRESENT);
        SVC("accessrules", accessrules, ONVIF_CAP_ACCESSRULES_PRESENT);
        SVC("schedule", schedule, ONVIF_CAP_SCHEDULE_PRESENT);
        SVC("receiver", receiver, ONVIF_CAP_RECEIVER_PRESENT);
        SVC("provisioning", provisioning, ONVIF_CAP_PROVISIONING_PRESENT);
#undef SVC
    }
    out << services;

    DetailsSection scopes{tr("范围"), {}, {}};
    ScopeList *scopeList = nullptr;
    prepareCall(d);
    if (onvif_tds_GetScopes(d, nullptr, &scopeList)) {
        for (ScopeList *s = scopeList; s; s = s->next)
            scopes.rows.append(
                {s->Scope.definition ? tr("可配置") : tr("固定"), TEXT(s->Scope.item)});
    } else {
        scopes.note = notRead(*d);
    }
    onvif_free_Scopes(&scopeList);
    out << scopes;

    // Profiles only where the device announced a media service.
    DetailsSection media{tr("媒体配置"), {}, {}};
    if (!(d->capabilities.media.flags & ONVIF_CAP_MEDIA_PRESENT)) {
        media.note = tr("设备没有媒体服务");
    } else {
        ProfileList *profiles = nullptr;
        prepareCall(d);
        if (!onvif_trt_GetProfiles(d, nullptr, &profiles)) {
            media.note = tr("媒体服务未应答:%1").arg(failure(*d));
        } else {
            for (ProfileList *p = profiles; p; p = p->next) {
                trt_GetStreamUri_REQ req;
                memset(&req, 0, sizeof(req));
                req.stream_setup.stream = 0;             // RTP-Unicast
                req.stream_setup.transport.protocol = 2; // RTSP
                memcpy(req.profile_token, p->Profile.token, sizeof(req.profile_token));
                trt_GetStreamUri_RES uri;
                memset(&uri, 0, sizeof(uri));
                prepareCall(d);
                const QString name = TEXT(p->Profile.name) + " (" + TEXT(p->Profile.token) + ")";
                if (onvif_trt_GetStreamUri(d, &req, &uri))
                    media.rows.append({name, TEXT(uri.uri)});
                else
                    media.rows.append({name, notRead(*d)});
            }
            if (!profiles) media.note = tr("设备没有媒体配置");
            onvif_free_result(ACT_trt_GetProfiles, &profiles);
        }
    }
    out << media;
    return out;
}

QString DeviceDetails::text(const QString &heading, const QVector<DetailsSection> &sections)
{
    QString out = heading + "\n";
    for (const DetailsSection &s : sections) {
        out += "\n" + s.title + "\n";
        for (const auto &row : s.rows)
            out += "  " + row.first + ": " + row.second + "\n";
        if (!s.note.isEmpty()) out += "  " + s.note + "\n";
    }
    return out;
}

DeviceDetailsDialog::DeviceDetailsDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName("DeviceDetails");
    setWindowTitle(tr("设备详情"));
    auto *layout = new QVBoxLayout(this);
    label = new QLabel(this);
    label->setObjectName("labelHeading");
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tree = new QTreeWidget(this);
    tree->setObjectName("treeDetails");
    tree->setColumnCount(2);
    tree->setHeaderHidden(true);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(label);
    layout->addWidget(tree, 1);
    auto *buttons = new QHBoxLayout;
    auto *copy = new QPushButton(tr("复制"), this);
    copy->setObjectName("buttonCopy");
    auto *close = new QPushButton(tr("关闭"), this);
    close->setObjectName("buttonClose");
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(copy, &QPushButton::clicked, this,
            [this]() { QApplication::clipboard()->setText(copyText()); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    resize(640, 560);
}

void DeviceDetailsDialog::setLoading(const QString &heading)
{
    title = heading;
    shown.clear();
    label->setText(heading + "\n" + tr("正在读取…"));
    tree->clear();
}

void DeviceDetailsDialog::setDetails(const QString &heading,
                                     const QVector<DetailsSection> &sections)
{
    title = heading;
    shown = sections;
    label->setText(heading);
    tree->clear();
    for (const DetailsSection &s : sections) {
        auto *top = new QTreeWidgetItem(tree, {s.title});
        QFont bold = top->font(0);
        bold.setBold(true);
        top->setFont(0, bold);
        for (const auto &row : s.rows)
            new QTreeWidgetItem(top, {row.first, row.second});
        if (!s.note.isEmpty()) new QTreeWidgetItem(top, {QString(), s.note});
    }
    tree->expandAll();
}

QString DeviceDetailsDialog::copyText() const
{
    return DeviceDetails::text(title, shown);
}
