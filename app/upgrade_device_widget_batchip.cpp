// Batch IP editing: the dialog, then per selected camera (in table order)
// either a DHCP switch or gateway, DNS and a static address counted up from
// the start address. A camera whose configuration failed uses up no address.
#include "app/upgrade_device_widget.h"

#include <QByteArray>
#include <QMessageBox>

#include <arpa/inet.h>

#include <cstring>

#include "app/app_log.h"
#include "app/batch_edit_ip_dialog.h"
#include "onvif/onvif_list.h"
#include "onvif/onvif_tds.h"
#include "platform/sys_net.h"

namespace
{

// Copies text as UTF-8 into a fixed field, cut to size - 1 bytes, terminated.
void copyField(char *dst, size_t size, const QByteArray &text)
{
    if (!dst || size == 0) return;
    size_t n = (size_t)text.size();
    if (n > size - 1) n = size - 1;
    memcpy(dst, text.constData(), n);
    dst[n] = '\0';
}

void copyField(char *dst, size_t size, const QString &text)
{
    copyField(dst, size, text.toUtf8());
}

// The device-service host of a device record (the table's IP column).
QByteArray deviceHost(const std::shared_ptr<ONVIF_DEVICE> &device)
{
    if (!device) return QByteArray();
    const char *host = device->binfo.xaddr.host;
    return QByteArray(host, (int)strnlen(host, sizeof(device->binfo.xaddr.host)));
}

// The interface record to send: the device's first interface as it reported
// it. An interface read without an IPv4 block gets one, so that the address
// really goes into the request instead of being left out silently.
ONVIF_NETWORK_INTERFACE interfaceToSend(const NetworkInterfaceList *list)
{
    ONVIF_NETWORK_INTERFACE record = list->NetworkInterface;
    if (!(record.flags & ONVIF_NETIF_FLAG_IPV4)) {
        record.flags |= ONVIF_NETIF_FLAG_IPV4;
        record.ipv4_enabled = 1;
    }
    return record;
}

void showWarning(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, UpgradeDeviceWidget::tr("Warning"), text, QMessageBox::Ok);
}

} // namespace

bool UpgradeDeviceWidget::fetchNetworkInterfaces(const std::shared_ptr<ONVIF_DEVICE> &device)
{
    if (!device) return false;
    NetworkInterfaceList *list = nullptr;
    int ok = onvif_tds_GetNetworkInterfaces(device.get(), nullptr, &list);
    // A reply without any interface leaves nothing to configure: a failed read.
    if (!ok || !list) {
        onvif_free_NetworkInterfaces(&list);
        appLog("get device network interface fail, device ip:", deviceHost(device));
        return false;
    }
    onvif_free_NetworkInterfaces(&netInterfaces);
    netInterfaces = list;
    return true;
}

bool UpgradeDeviceWidget::applyStaticSettings(const std::shared_ptr<ONVIF_DEVICE> &device,
                                              const QString &address, const QString &mask,
                                              const QString &gateway, const QString &firstDns,
                                              const QString &secondDns)
{
    if (!device) return false;
    // The address step copies the interface read last; without one nothing
    // is touched on the device.
    if (!netInterfaces) {
        appLog("get network interface info fail, device ip:", deviceHost(device));
        return false;
    }

    ONVIF_NETWORK_GATEWAY gw;
    memset(&gw, 0, sizeof(gw));
    copyField(gw.ipv4_address[0], sizeof(gw.ipv4_address[0]), gateway);
    if (!onvif_tds_SetNetworkDefaultGateway(device.get(), &gw, nullptr)) {
        showWarning(this, tr("gateway settings failed"));
        return false;
    }

    // The DNS servers are left alone unless a first one is given.
    if (!firstDns.isEmpty()) {
        ONVIF_DNS dns;
        memset(&dns, 0, sizeof(dns));
        copyField(dns.dns_manual[0], sizeof(dns.dns_manual[0]), firstDns);
        copyField(dns.dns_manual[1], sizeof(dns.dns_manual[1]), secondDns);
        if (!onvif_tds_SetDNS(device.get(), &dns, nullptr)) {
            showWarning(this, tr("DNS settings failed"));
            return false;
        }
    }

    ONVIF_NETWORK_INTERFACE record = interfaceToSend(netInterfaces);
    record.dhcp = 0;
    record.prefix_length = get_prefix_len_by_mask(mask.toUtf8().constData());
    copyField(record.ipv4_address, sizeof(record.ipv4_address), address);
    ONVIF_SET_NETWORK_INTERFACES_RES res;
    memset(&res, 0, sizeof(res));
    if (!onvif_tds_SetNetworkInterfaces(device.get(), &record, &res)) {
        showWarning(this, tr("IP settings failed"));
        return false;
    }
    return true;
}

void UpgradeDeviceWidget::onBatchEditIp()
{
    BatchEditIpDialog *dialog = new BatchEditIpDialog();
    if (dialog->exec() != QDialog::Accepted) {
        delete dialog;
        return;
    }

    std::list<std::shared_ptr<ONVIF_DEVICE>> devices = selectedDevices();

    if (dialog->isDhcp()) {
        for (const std::shared_ptr<ONVIF_DEVICE> &device : devices) {
            const QByteArray host = deviceHost(device);
            if (!fetchNetworkInterfaces(device)) {
                appLog("get network interface info fail, device ip:", host);
                continue;
            }
            ONVIF_NETWORK_INTERFACE record = interfaceToSend(netInterfaces);
            record.dhcp = 1;
            record.prefix_length = get_prefix_len_by_mask("255.255.255.0");
            copyField(record.ipv4_address, sizeof(record.ipv4_address), host);
            ONVIF_SET_NETWORK_INTERFACES_RES res;
            memset(&res, 0, sizeof(res));
            if (!onvif_tds_SetNetworkInterfaces(device.get(), &record, &res))
                appLog("set dhcp for device fail, device ip:", host);
        }
    } else {
        const QString startIp = dialog->startIp();
        const QString netmask = dialog->netmask();
        const QString gateway = dialog->gateway();
        const QString firstDns = dialog->firstDns();
        const QString secondDns = dialog->secondDns();

        // Host byte order, so that adding 1 carries into the next byte.
        uint32_t counter = ntohl(get_address_by_name(startIp.toUtf8().constData()));
        // Set once 255.255.255.255 has been given away: the counter would wrap
        // to 0.0.0.0, which is no address for a camera.
        bool exhausted = false;
        for (const std::shared_ptr<ONVIF_DEVICE> &device : devices) {
            const QByteArray host = deviceHost(device);
            if (exhausted) {
                appLog("no address left after 255.255.255.255, device ip:", host);
                continue;
            }
            if (!fetchNetworkInterfaces(device)) {
                appLog("get network interface info fail, device ip:", host);
                continue;
            }
            const QString address = QString::fromLatin1(get_ip_str(htonl(counter)));
            if (applyStaticSettings(device, address, netmask, gateway, firstDns, secondDns)) {
                if (counter == 0xFFFFFFFFu)
                    exhausted = true;
                else
                    counter++;
            }
        }
    }

    deviceManager->searchDevice();
    devices.clear();
    delete dialog;
}
