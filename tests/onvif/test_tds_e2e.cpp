// The whole device service end to end: every operation once through its
// public entry function against the camera simulator, with the state it
// keeps read back (users, host name, scopes, NTP, DNS, relays, storage,
// geo location, firmware version), and the device-level transfers.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
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
            "\"firmware_upload_delay_s\":0,\"relay_outputs\":2}]",
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

    // Checks a call and notes its operation as exercised.
    void ok(int type, int result)
    {
        EXPECT_EQ(result, 1) << onvif_op(type)->name << ": last_error " << dev_->last_error
                             << " fault " << dev_->fault.subcode;
        done_.insert(type);
    }

    std::unique_ptr<CamsimProcess> cam_;
    std::unique_ptr<ONVIF_DEVICE> dev_;
    std::set<int> done_;
};

UserList *find_user(UserList *l, const char *name)
{
    for (; l; l = l->next)
        if (strcmp(l->User.username, name) == 0) return l;
    return nullptr;
}

bool has_scope(ScopeList *l, const char *item)
{
    for (; l; l = l->next)
        if (strcmp(l->Scope.item, item) == 0) return true;
    return false;
}

} // namespace

TEST_F(TdsE2E, EveryDeviceServiceOperationThroughItsEntry)
{
    ONVIF_DEVICE *d = dev_.get();

    // Identity, clock, capabilities.
    ok(ACT_tds_GetSystemDateAndTime, GetSystemDateAndTime(d));
    EXPECT_EQ(d->time_type, ONVIF_TIME_UTC);
    ok(ACT_tds_GetDeviceInformation, GetDeviceInformation(d));
    ok(ACT_tds_GetCapabilities, GetCapabilities(d));
    ok(ACT_tds_GetServices, GetServices(d));
    auto svc_caps = zeroed<tds_GetServiceCapabilities_RES>();
    ok(ACT_tds_GetServiceCapabilities,
       onvif_tds_GetServiceCapabilities(d, nullptr, svc_caps.get()));
    ok(ACT_tds_SetSystemDateAndTime, SetSystemDateAndTime(d));
    auto wsdl = zeroed<tds_GetWsdlUrl_RES>();
    ok(ACT_tds_GetWsdlUrl, onvif_tds_GetWsdlUrl(d, nullptr, wsdl.get()));
    EXPECT_NE(wsdl->wsdl_url[0], '\0');
    auto epr = zeroed<tds_GetEndpointReference_RES>();
    ok(ACT_tds_GetEndpointReference, onvif_tds_GetEndpointReference(d, nullptr, epr.get()));
    EXPECT_NE(std::string(epr->guid).find("urn:uuid:"), std::string::npos) << epr->guid;

    // Users: create, read back, change, delete.
    {
        auto create = zeroed<tds_CreateUsers_REQ>();
        UserList *u = onvif_add_User(&create->user);
        snprintf(u->User.username, sizeof(u->User.username), "operator1");
        snprintf(u->User.password, sizeof(u->User.password), "op-pass");
        u->User.flags = ONVIF_USER_HAS_PASSWORD;
        u->User.user_level = 1; // Operator
        ok(ACT_tds_CreateUsers, onvif_tds_CreateUsers(d, create.get(), nullptr));
        UserList *users = nullptr;
        ok(ACT_tds_GetUsers, onvif_tds_GetUsers(d, nullptr, &users));
        ASSERT_NE(find_user(users, "operator1"), nullptr);
        EXPECT_EQ(find_user(users, "operator1")->User.user_level, 1);
        onvif_free_Users(&users);
        u->User.user_level = 2; // User
        ok(ACT_tds_SetUser,
           onvif_tds_SetUser(d, reinterpret_cast<tds_SetUser_REQ *>(create.get()), nullptr));
        ok(ACT_tds_GetUsers, onvif_tds_GetUsers(d, nullptr, &users));
        EXPECT_EQ(find_user(users, "operator1")->User.user_level, 2);
        onvif_free_Users(&users);
        auto del = zeroed<tds_DeleteUsers_REQ>();
        snprintf(del->username[0], sizeof(del->username[0]), "operator1");
        del->username_count = 1;
        ok(ACT_tds_DeleteUsers, onvif_tds_DeleteUsers(d, del.get(), nullptr));
        ok(ACT_tds_GetUsers, onvif_tds_GetUsers(d, nullptr, &users));
        EXPECT_EQ(find_user(users, "operator1"), nullptr);
        onvif_free_Users(&users);
        // A second create of an existing name is refused with its fault.
        onvif_free_request(ACT_tds_CreateUsers, create.get());
        u = onvif_add_User(&create->user);
        snprintf(u->User.username, sizeof(u->User.username), "admin");
        snprintf(u->User.password, sizeof(u->User.password), "x");
        u->User.flags = ONVIF_USER_HAS_PASSWORD;
        EXPECT_EQ(onvif_tds_CreateUsers(d, create.get(), nullptr), 0);
        EXPECT_EQ(d->last_error, -9);
        EXPECT_NE(std::string(d->fault.subcode).find("OperationProhibited"), std::string::npos);
        onvif_free_request(ACT_tds_CreateUsers, create.get());
    }
    {
        auto remote = zeroed<tds_SetRemoteUser_REQ>();
        remote->flags = tds_SetRemoteUser_REQ_HAS_REMOTE_USER;
        snprintf(remote->remote_user.username, sizeof(remote->remote_user.username), "ru");
        ok(ACT_tds_SetRemoteUser, onvif_tds_SetRemoteUser(d, remote.get(), nullptr));
        auto got = zeroed<tds_GetRemoteUser_RES>();
        ok(ACT_tds_GetRemoteUser, onvif_tds_GetRemoteUser(d, nullptr, got.get()));
        EXPECT_STREQ(got->username, "ru");
    }

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
        auto ntp = zeroed<tds_SetNTP_REQ>();
        NetworkHostList *h = onvif_add_NetworkHost(&ntp->ntp_manual);
        snprintf(h->NetworkHost.type, sizeof(h->NetworkHost.type), "IPv4");
        h->NetworkHost.flags = ONVIF_NETWORK_HOST_HAS_IPV4_ADDRESS;
        snprintf(h->NetworkHost.ipv4_address, sizeof(h->NetworkHost.ipv4_address), "10.1.2.3");
        ok(ACT_tds_SetNTP, onvif_tds_SetNTP(d, ntp.get(), nullptr));
        onvif_free_request(ACT_tds_SetNTP, ntp.get());
        auto got = zeroed<tds_GetNTP_RES>();
        ok(ACT_tds_GetNTP, onvif_tds_GetNTP(d, nullptr, got.get()));
        ASSERT_NE(got->ntp_manual, nullptr);
        EXPECT_STREQ(got->ntp_manual->NetworkHost.ipv4_address, "10.1.2.3");
        onvif_free_result(ACT_tds_GetNTP, got.get());
    }
    {
        auto name = zeroed<tds_SetHostname_REQ>();
        snprintf(name->name, sizeof(name->name), "cam-e2e");
        ok(ACT_tds_SetHostname, onvif_tds_SetHostname(d, name.get(), nullptr));
        ONVIF_HOSTNAME host;
        memset(&host, 0, sizeof(host));
        ok(ACT_tds_GetHostname, onvif_tds_GetHostname(d, nullptr, &host));
        EXPECT_STREQ(host.name, "cam-e2e");
        auto dhcp = zeroed<tds_SetHostnameFromDHCP_REQ>();
        ONVIF_SET_NETWORK_INTERFACES_RES res{0};
        ok(ACT_tds_SetHostnameFromDHCP, onvif_tds_SetHostnameFromDHCP(d, dhcp.get(), &res));
    }
    {
        ONVIF_DNS dns;
        memset(&dns, 0, sizeof(dns));
        snprintf(dns.dns_manual[0], sizeof(dns.dns_manual[0]), "10.9.9.9");
        ok(ACT_tds_SetDNS, onvif_tds_SetDNS(d, &dns, nullptr));
        memset(&dns, 0, sizeof(dns));
        ok(ACT_tds_GetDNS, onvif_tds_GetDNS(d, nullptr, &dns));
        EXPECT_STREQ(dns.dns_manual[0], "10.9.9.9");
        auto ddns = zeroed<tds_SetDynamicDNS_REQ>();
        ddns->type = 1; // ClientUpdates
        ddns->flags = tds_SetDynamicDNS_REQ_HAS_NAME;
        snprintf(ddns->name, sizeof(ddns->name), "cam.example");
        ok(ACT_tds_SetDynamicDNS, onvif_tds_SetDynamicDNS(d, ddns.get(), nullptr));
        auto got = zeroed<tds_GetDynamicDNS_RES>();
        ok(ACT_tds_GetDynamicDNS, onvif_tds_GetDynamicDNS(d, nullptr, got.get()));
        EXPECT_EQ(got->type, 1);
    }
    {
        NetworkProtocolList *protos = nullptr;
        ok(ACT_tds_GetNetworkProtocols, onvif_tds_GetNetworkProtocols(d, nullptr, &protos));
        ASSERT_NE(protos, nullptr);
        auto set = zeroed<tds_SetNetworkProtocols_REQ>();
        set->network_protocols = protos; // back as they are
        ok(ACT_tds_SetNetworkProtocols, onvif_tds_SetNetworkProtocols(d, set.get(), nullptr));
        onvif_free_request(ACT_tds_SetNetworkProtocols, set.get());
    }
    {
        auto mode = zeroed<tds_SetDiscoveryMode_REQ>();
        mode->discovery_mode = 0; // Discoverable
        ok(ACT_tds_SetDiscoveryMode, onvif_tds_SetDiscoveryMode(d, mode.get(), nullptr));
        auto got = zeroed<tds_GetDiscoveryMode_RES>();
        ok(ACT_tds_GetDiscoveryMode, onvif_tds_GetDiscoveryMode(d, nullptr, got.get()));
        EXPECT_EQ(got->discovery_mode, 0);
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
    {
        auto zc = zeroed<tds_GetZeroConfiguration_RES>();
        ok(ACT_tds_GetZeroConfiguration, onvif_tds_GetZeroConfiguration(d, nullptr, zc.get()));
        auto set = zeroed<tds_SetZeroConfiguration_REQ>();
        snprintf(set->interface_token, sizeof(set->interface_token), "%s", zc->interface_token);
        set->enabled = 1;
        ok(ACT_tds_SetZeroConfiguration, onvif_tds_SetZeroConfiguration(d, set.get(), nullptr));
        onvif_free_result(ACT_tds_GetZeroConfiguration, zc.get());
    }
    onvif_free_NetworkInterfaces(&nics);

    // Scopes: set, add, read back, remove.
    {
        ScopeList *scopes = nullptr;
        ok(ACT_tds_GetScopes, onvif_tds_GetScopes(d, nullptr, &scopes));
        onvif_free_Scopes(&scopes);
        auto add = zeroed<tds_AddScopes_REQ>();
        snprintf(add->scope_item[0], sizeof(add->scope_item[0]),
                 "onvif://www.onvif.org/location/lab");
        add->scope_item_count = 1;
        ok(ACT_tds_AddScopes, onvif_tds_AddScopes(d, add.get(), nullptr));
        ok(ACT_tds_GetScopes, onvif_tds_GetScopes(d, nullptr, &scopes));
        EXPECT_TRUE(has_scope(scopes, "onvif://www.onvif.org/location/lab"));
        onvif_free_Scopes(&scopes);
        auto removed = zeroed<tds_RemoveScopes_RES>();
        ok(ACT_tds_RemoveScopes,
           onvif_tds_RemoveScopes(d, reinterpret_cast<tds_RemoveScopes_REQ *>(add.get()),
                                  removed.get()));
        ASSERT_EQ(removed->scope_item_count, 1);
        EXPECT_STREQ(removed->scope_item[0], "onvif://www.onvif.org/location/lab");
        auto set = zeroed<tds_SetScopes_REQ>();
        snprintf(set->scopes[0], sizeof(set->scopes[0]), "onvif://www.onvif.org/name/e2e");
        set->scopes_count = 1;
        ok(ACT_tds_SetScopes, onvif_tds_SetScopes(d, set.get(), nullptr));
        ok(ACT_tds_GetScopes, onvif_tds_GetScopes(d, nullptr, &scopes));
        EXPECT_TRUE(has_scope(scopes, "onvif://www.onvif.org/name/e2e"));
        onvif_free_Scopes(&scopes);
    }

    // Relays: settings and state as GetRelayOutputs reports them.
    {
        RelayOutputList *relays = nullptr;
        ok(ACT_tds_GetRelayOutputs, onvif_tds_GetRelayOutputs(d, nullptr, &relays));
        ASSERT_NE(onvif_find_RelayOutput(relays, "RelayOutput_1"), nullptr);
        auto settings = zeroed<tds_SetRelayOutputSettings_REQ>();
        snprintf(settings->relay_output_token, sizeof(settings->relay_output_token),
                 "RelayOutput_1");
        settings->properties.mode = 1;       // Bistable
        settings->properties.idle_state = 1; // open
        ok(ACT_tds_SetRelayOutputSettings,
           onvif_tds_SetRelayOutputSettings(d, settings.get(), nullptr));
        onvif_free_RelayOutputs(&relays);
        ok(ACT_tds_GetRelayOutputs, onvif_tds_GetRelayOutputs(d, nullptr, &relays));
        EXPECT_EQ(
            onvif_find_RelayOutput(relays, "RelayOutput_1")->RelayOutput.properties.idle_state, 1);
        onvif_free_RelayOutputs(&relays);
        auto state = zeroed<tds_SetRelayOutputState_REQ>();
        snprintf(state->relay_output_token, sizeof(state->relay_output_token), "RelayOutput_1");
        state->logical_state = 0; // active
        ok(ACT_tds_SetRelayOutputState, onvif_tds_SetRelayOutputState(d, state.get(), nullptr));
        auto aux = zeroed<tds_SendAuxiliaryCommand_REQ>();
        snprintf(aux->auxiliary_command, sizeof(aux->auxiliary_command), "tt:IRLamp|Auto");
        auto aux_res = zeroed<tds_SendAuxiliaryCommand_RES>();
        ok(ACT_tds_SendAuxiliaryCommand,
           onvif_tds_SendAuxiliaryCommand(d, aux.get(), aux_res.get()));
    }

    // Wireless, geo location, IP filter, access policy, storage.
    {
        auto caps = zeroed<tds_GetDot11Capabilities_RES>();
        ok(ACT_tds_GetDot11Capabilities, onvif_tds_GetDot11Capabilities(d, nullptr, caps.get()));
        auto st = zeroed<tds_GetDot11Status_REQ>();
        snprintf(st->interface_token, sizeof(st->interface_token), "wlan0");
        auto status = zeroed<tds_GetDot11Status_RES>();
        ok(ACT_tds_GetDot11Status, onvif_tds_GetDot11Status(d, st.get(), status.get()));
        Dot11AvailableNetworksList *nets = nullptr;
        ok(ACT_tds_ScanAvailableDot11Networks,
           onvif_tds_ScanAvailableDot11Networks(
               d, reinterpret_cast<tds_ScanAvailableDot11Networks_REQ *>(st.get()), &nets));
        EXPECT_NE(nets, nullptr);
        onvif_free_Dot11AvailableNetworks(&nets);
    }
    {
        auto set = zeroed<tds_SetGeoLocation_REQ>();
        LocationEntityList *loc = onvif_add_LocationEntity(&set->location);
        snprintf(loc->LocationEntity.token, sizeof(loc->LocationEntity.token), "geo1");
        loc->LocationEntity.flags = ONVIF_LOCATION_ENTITY_HAS_TOKEN;
        ok(ACT_tds_SetGeoLocation, onvif_tds_SetGeoLocation(d, set.get(), nullptr));
        LocationEntityList *got = nullptr;
        ok(ACT_tds_GetGeoLocation, onvif_tds_GetGeoLocation(d, nullptr, &got));
        EXPECT_NE(got, nullptr);
        onvif_free_LocationEntitis(&got);
        ok(ACT_tds_DeleteGeoLocation,
           onvif_tds_DeleteGeoLocation(d, reinterpret_cast<tds_DeleteGeoLocation_REQ *>(set.get()),
                                       nullptr));
        onvif_free_request(ACT_tds_SetGeoLocation, set.get());
    }
    {
        auto filter = zeroed<tds_GetIPAddressFilter_RES>();
        ok(ACT_tds_GetIPAddressFilter, onvif_tds_GetIPAddressFilter(d, nullptr, filter.get()));
        onvif_free_result(ACT_tds_GetIPAddressFilter, filter.get());
        auto set = zeroed<tds_SetIPAddressFilter_REQ>();
        set->ip_address_filter.type = 0; // Allow
        PrefixedIPv4AddressList *a =
            onvif_add_PrefixedIPv4Address(&set->ip_address_filter.ipv4_address);
        snprintf(a->PrefixedIPv4Address.address, sizeof(a->PrefixedIPv4Address.address),
                 "10.0.0.0");
        a->PrefixedIPv4Address.prefix_length = 8;
        ok(ACT_tds_SetIPAddressFilter, onvif_tds_SetIPAddressFilter(d, set.get(), nullptr));
        ok(ACT_tds_AddIPAddressFilter,
           onvif_tds_AddIPAddressFilter(
               d, reinterpret_cast<tds_AddIPAddressFilter_REQ *>(set.get()), nullptr));
        ok(ACT_tds_RemoveIPAddressFilter,
           onvif_tds_RemoveIPAddressFilter(
               d, reinterpret_cast<tds_RemoveIPAddressFilter_REQ *>(set.get()), nullptr));
        onvif_free_request(ACT_tds_SetIPAddressFilter, set.get());
    }
    {
        auto policy = zeroed<tds_GetAccessPolicy_RES>();
        ok(ACT_tds_GetAccessPolicy, onvif_tds_GetAccessPolicy(d, nullptr, policy.get()));
        auto set = zeroed<tds_SetAccessPolicy_REQ>();
        set->policy_file = *policy; // the same policy back
        ok(ACT_tds_SetAccessPolicy, onvif_tds_SetAccessPolicy(d, set.get(), nullptr));
        onvif_free_result(ACT_tds_GetAccessPolicy, policy.get());
    }
    {
        auto create = zeroed<tds_CreateStorageConfiguration_REQ>();
        snprintf(create->storage_configuration.storage_uri,
                 sizeof(create->storage_configuration.storage_uri), "ftp://10.0.0.5/rec");
        snprintf(create->storage_configuration.type, sizeof(create->storage_configuration.type),
                 "FTP");
        create->storage_configuration.flags = ONVIF_STORAGE_CONFIGURATION_DATA_HAS_STORAGE_URI;
        auto token = zeroed<tds_CreateStorageConfiguration_RES>();
        ok(ACT_tds_CreateStorageConfiguration,
           onvif_tds_CreateStorageConfiguration(d, create.get(), token.get()));
        StorageConfigurationList *all = nullptr;
        ok(ACT_tds_GetStorageConfigurations, onvif_tds_GetStorageConfigurations(d, nullptr, &all));
        ASSERT_NE(all, nullptr);
        onvif_free_StorageConfigurations(&all);
        auto get = zeroed<tds_GetStorageConfiguration_REQ>();
        snprintf(get->token, sizeof(get->token), "%s", token->token);
        auto one = zeroed<tds_GetStorageConfiguration_RES>();
        ok(ACT_tds_GetStorageConfiguration,
           onvif_tds_GetStorageConfiguration(d, get.get(), one.get()));
        EXPECT_STREQ(one->data.storage_uri, "ftp://10.0.0.5/rec");
        auto set = zeroed<tds_SetStorageConfiguration_REQ>();
        set->storage_configuration = *one;
        snprintf(set->storage_configuration.data.storage_uri,
                 sizeof(set->storage_configuration.data.storage_uri), "ftp://10.0.0.6/rec");
        ok(ACT_tds_SetStorageConfiguration,
           onvif_tds_SetStorageConfiguration(d, set.get(), nullptr));
        auto del = zeroed<tds_DeleteStorageConfiguration_REQ>();
        snprintf(del->token, sizeof(del->token), "%s", token->token);
        ok(ACT_tds_DeleteStorageConfiguration,
           onvif_tds_DeleteStorageConfiguration(d, del.get(), nullptr));
    }

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

    auto reboot = zeroed<tds_SystemReboot_RES>();
    ok(ACT_tds_SystemReboot, onvif_tds_SystemReboot(d, nullptr, reboot.get()));
    EXPECT_NE(reboot->message[0], '\0');
    auto factory = zeroed<tds_SetSystemFactoryDefault_REQ>();
    factory->factory_default = 1; // Soft
    ok(ACT_tds_SetSystemFactoryDefault,
       onvif_tds_SetSystemFactoryDefault(d, factory.get(), nullptr));

    // Every operation of the device service went through its entry.
    for (int t = ACT_tds_GetCapabilities; t <= ACT_tds_DeleteStorageConfiguration; t++)
        EXPECT_EQ(done_.count(t), 1u) << onvif_op(t)->name << " not exercised";
}

#endif
