// The device service end to end against the camera simulator: the clock and
// identity calls, the network records the
// library writes and reads by hand (interfaces, DNS, gateway) read back, the
// system log as an MTOM reply, and the device-level transfers (backup,
// restore, firmware upgrade). Every operation's body and reply is swept over
// the schemas in test_op_sweep.cpp; the entry functions are one template.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_process.h"
#include "tests/support/onvif_records.h"

#ifdef CAMSIM_PATH

namespace
{

class TdsE2E : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        cam_ = std::make_unique<CamsimProcess>(
            CAMSIM_PATH,
            "[{\"auth\":\"digest\",\"user\":\"admin\",\"password\":\"pw\","
            "\"firmware_upload_delay_s\":0}]",
            CamsimOptions{"/tmp/camsim_tds_XXXXXX", 0, false});
        ASSERT_GT(cam_->port(), 0) << cam_->error();
        dev_ = new_device();
        point_at(dev_.get(), cam_->port());
        onvif_SetAuthInfo(dev_.get(), "admin", "pw");
    }
    void TearDown() override
    {
        if (dev_) onvif_free_device(dev_.get());
        HttpPoolTest::TearDown();
    }

    // Checks a call of an operation.
    void ok(int type, int result)
    {
        EXPECT_EQ(result, 1) << onvif_op(type)->name << ": last_error " << dev_->last_error
                             << " fault " << dev_->fault.subcode;
    }

    std::unique_ptr<CamsimProcess> cam_;
    std::unique_ptr<ONVIF_DEVICE> dev_;
};

} // namespace

TEST_F(TdsE2E, DeviceServiceStateAndTransfers)
{
    ONVIF_DEVICE *d = dev_.get();

    // Identity and clock.
    ok(ACT_tds_GetSystemDateAndTime, GetSystemDateAndTime(d));
    ok(ACT_tds_GetDeviceInformation, GetDeviceInformation(d));
    ok(ACT_tds_SetSystemDateAndTime, SetSystemDateAndTime(d));

    // Network settings.
    NetworkInterfaceList *nics = nullptr;
    ok(ACT_tds_GetNetworkInterfaces, onvif_tds_GetNetworkInterfaces(d, nullptr, &nics));
    ASSERT_NE(nics, nullptr);
    {
        ONVIF_SET_NETWORK_INTERFACES_RES res{0};
        ok(ACT_tds_SetNetworkInterfaces,
           onvif_tds_SetNetworkInterfaces(d, &nics->NetworkInterface, &res));
    }
    {
        ONVIF_DNS dns;
        memset(&dns, 0, sizeof(dns));
        snprintf(dns.dns_manual[0], sizeof(dns.dns_manual[0]), "10.9.9.9");
        ok(ACT_tds_SetDNS, onvif_tds_SetDNS(d, &dns, nullptr));
        memset(&dns, 0, sizeof(dns));
        ok(ACT_tds_GetDNS, onvif_tds_GetDNS(d, nullptr, &dns));
        EXPECT_STREQ(dns.dns_manual[0], "10.9.9.9");
    }
    {
        ONVIF_NETWORK_GATEWAY gw;
        memset(&gw, 0, sizeof(gw));
        snprintf(gw.ipv4_address[0], sizeof(gw.ipv4_address[0]), "10.0.0.254");
        ok(ACT_tds_SetNetworkDefaultGateway, onvif_tds_SetNetworkDefaultGateway(d, &gw, nullptr));
        memset(&gw, 0, sizeof(gw));
        ok(ACT_tds_GetNetworkDefaultGateway, onvif_tds_GetNetworkDefaultGateway(d, nullptr, &gw));
        EXPECT_STREQ(gw.ipv4_address[0], "10.0.0.254");
    }
    onvif_free_NetworkInterfaces(&nics);

    // System: log (an MTOM reply), URIs and backup, restore, firmware upgrade.
    {
        auto req = zeroed<tds_GetSystemLog_REQ>();
        auto log = zeroed<tds_GetSystemLog_RES>();
        ok(ACT_tds_GetSystemLog, onvif_tds_GetSystemLog(d, req.get(), log.get()));
        EXPECT_TRUE(log->binary.len > 0 || log->string[0]);
        onvif_free_result(ACT_tds_GetSystemLog, log.get());
    }
    char backup[] = "/tmp/tds_backup_XXXXXX";
    int fd = mkstemp(backup);
    ASSERT_GE(fd, 0);
    close(fd);
    ok(ACT_tds_GetSystemUris, SystemBackup(d, backup));
    std::ifstream in(backup, std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_FALSE(saved.empty());
    ok(ACT_tds_StartSystemRestore, SystemRestore(d, backup));
    unlink(backup);

    std::string before = d->device_information.firmware_version;
    char image[] = "/tmp/tds_firmware_XXXXXX";
    fd = mkstemp(image);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "firmware image", 14), 14);
    close(fd);
    ok(ACT_tds_StartFirmwareUpgrade, FirmwareUpgrade(d, image));
    unlink(image);
    ASSERT_EQ(GetDeviceInformation(d), 1);
    EXPECT_NE(before, d->device_information.firmware_version);
}

#endif
