// The access-control services through the public entries, camsim's door-access
// controller as the device; and a scripted device that breaks the paging rules.
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "onvif/onvif_calls.h"
#include "onvif/onvif_enum.h"
#include "onvif/onvif_ops.h"
#include "onvif/soap_desc.h"
#include "tests/http/http_msg_fixture.h"
#include "tests/support/camsim_process.h"
#include "tests/support/onvif_records.h"
#include "tests/support/http_test_server.h"

namespace
{

template <size_t N> void set(char (&field)[N], const char *text)
{
    snprintf(field, N, "%s", text);
}

void point(ONVIF_XADDR &x, int port, const char *path)
{
    set(x.host, "127.0.0.1");
    set(x.path, path);
    x.port = port;
}

class Pacs : public HttpPoolTest
{
  protected:
    void SetUp() override
    {
        HttpPoolTest::SetUp();
        dev_ = new_device();
    }

#ifdef CAMSIM_PATH
    // A door-access controller; its services come from GetServices.
    void start()
    {
        sim_ = std::make_unique<CamsimProcess>(CAMSIM_PATH, "[{\"pacs\":true}]",
                                               CamsimOptions{"/tmp/camsim_test_XXXXXX", 0, true});
        ASSERT_TRUE(sim_->ok()) << sim_->error();
        point(dev_->binfo.xaddr, sim_->port(), "/onvif/device_service");
        ASSERT_EQ(GetServices(dev_.get()), 1);
        ASSERT_TRUE(dev_->capabilities.credential.flags & ONVIF_CAP_CREDENTIAL_PRESENT);
    }

    // How many requests of an operation the simulator saw.
    int requests(const std::string &op) const
    {
        std::ifstream in(sim_->dir() + "/log");
        std::string line;
        int n = 0;
        for (int i = 0; i < 100000 && std::getline(in, line); i++)
            n += line.find("\"operation\":\"" + op + "\"") != std::string::npos;
        return n;
    }

    // A door command (they all take a token and answer nothing).
    template <class Req> int cmd(int (*op)(ONVIF_DEVICE *, Req *, void *), const char *token)
    {
        Req req{};
        set(req.token, token);
        return op(dev_.get(), &req, nullptr);
    }

    // The state of a door, its mode and lock as texts.
    std::string door(const char *token)
    {
        tdc_GetDoorState_REQ req{};
        set(req.token, token);
        tdc_GetDoorState_RES st{};
        if (!onvif_tdc_GetDoorState(dev_.get(), &req, &st)) return "<failed>";
        return std::string(onvif_DoorModeToString(st.door_mode)) + "/" +
               onvif_LockPhysicalStateToString(st.lock_physical_state);
    }

    std::unique_ptr<CamsimProcess> sim_;
#endif
    std::unique_ptr<ONVIF_DEVICE> dev_;
};

// The list a paged operation's result record holds.
void *list_of(int type, void *res)
{
    const SOAP_TYPE *t = onvif_op(type)->res;
    for (uint32_t i = 0; i < t->count; i++)
        if (t->fields[i].opts & SOAP_F_LIST) return *(void **)((char *)res + t->fields[i].offset);
    return nullptr;
}

} // namespace

#ifdef CAMSIM_PATH

TEST_F(Pacs, EveryPagedListIsWalkedToItsEnd)
{
    start();
    // The list operations and how many records the simulator starts with.
    const int types[] = {ACT_tac_GetAccessPointInfoList,
                         ACT_tac_GetAccessPointList,
                         ACT_tac_GetAreaInfoList,
                         ACT_tac_GetAreaList,
                         ACT_tdc_GetDoorInfoList,
                         ACT_tdc_GetDoorList,
                         ACT_tcr_GetCredentialInfoList,
                         ACT_tcr_GetCredentialList,
                         ACT_tar_GetAccessProfileInfoList,
                         ACT_tar_GetAccessProfileList,
                         ACT_tsc_GetScheduleInfoList,
                         ACT_tsc_GetScheduleList,
                         ACT_tsc_GetSpecialDayGroupInfoList,
                         ACT_tsc_GetSpecialDayGroupList};
    const int items[] = {3, 3, 2, 2, 3, 3, 5, 5, 2, 2, 2, 2, 1, 1};
    for (size_t i = 0; i < sizeof types / sizeof types[0]; i++) {
        const int type = types[i], n = items[i];
        const char *op = onvif_op(type)->name;
        // One item per page, then as many as the device gives (4 a page).
        for (int limit : {1, 0}) {
            std::unique_ptr<char[]> res(new char[onvif_op(type)->res->size]);
            int before = requests(op);
            ASSERT_EQ(onvif_get_all_pages(dev_.get(), type, limit, res.get()), 1) << op;
            EXPECT_EQ(onvif_list_count(list_of(type, res.get()), 100), n) << op;
            EXPECT_EQ(requests(op) - before, limit ? n : (n + 3) / 4) << op;
            onvif_free_result(type, res.get());
        }
    }
    tac_GetAreaList_RES areas;
    EXPECT_EQ(onvif_get_all_pages(dev_.get(), ACT_tac_GetAreas, 0, &areas), 0) << "not paged";
    EXPECT_EQ(onvif_get_all_pages(dev_.get(), ACT_tac_GetAreaList, 0, nullptr), 0);

    // Pages are joined in device order, with what each record owns.
    tcr_GetCredentialList_RES res;
    ASSERT_EQ(onvif_get_all_pages(dev_.get(), ACT_tcr_GetCredentialList, 2, &res), 1);
    EXPECT_EQ(res.flags & tcr_GetCredentialList_RES_HAS_NEXT_START_REFERENCE, 0u);
    int n = 0;
    for (CredentialList *c = res.credential; c && n < 10; c = c->next, n++)
        EXPECT_EQ(c->Credential.token, "Credential_" + std::to_string(n + 1));
    EXPECT_EQ(n, 5);
    EXPECT_EQ(onvif_list_count(res.credential->Credential.credential_identifier, 10), 2);
    onvif_free_result(ACT_tcr_GetCredentialList, &res);
    EXPECT_EQ(res.credential, nullptr);
}

TEST_F(Pacs, DoorCommandsChangeTheDoorState)
{
    start();
    EXPECT_EQ(door("Door_1"), "Locked/Locked");
    ASSERT_EQ(cmd(onvif_tdc_UnlockDoor, "Door_1"), 1);
    EXPECT_EQ(door("Door_1"), "Unlocked/Unlocked");
    ASSERT_EQ(cmd(onvif_tdc_LockDownDoor, "Door_1"), 1);
    EXPECT_EQ(door("Door_1"), "LockedDown/Locked");
    // Locked down, the door takes nothing but the release, which brings back
    // the mode it had.
    EXPECT_EQ(cmd(onvif_tdc_LockDoor, "Door_1"), 0);
    EXPECT_EQ(dev_->last_error, -9);
    EXPECT_STREQ(dev_->fault.subcode, "ter:OperationProhibited");
    EXPECT_EQ(door("Door_1"), "LockedDown/Locked");
    ASSERT_EQ(cmd(onvif_tdc_LockDownReleaseDoor, "Door_1"), 1);
    EXPECT_EQ(door("Door_1"), "Unlocked/Unlocked");
    EXPECT_EQ(cmd(onvif_tdc_LockDownReleaseDoor, "Door_1"), 0) << "nothing to release";
    // A door without the capability refuses the command; one with it obeys.
    EXPECT_EQ(cmd(onvif_tdc_DoubleLockDoor, "Door_2"), 0);
    EXPECT_EQ(door("Door_2"), "Locked/Locked");
    ASSERT_EQ(cmd(onvif_tdc_DoubleLockDoor, "Door_3"), 1);
    EXPECT_EQ(door("Door_3"), "DoubleLocked/Locked");
}

TEST_F(Pacs, CredentialIsCreatedModifiedAndDeleted)
{
    start();
    auto identifier = [](ONVIF_CREDENTIAL &c, const char *type, const char *format,
                         const char *value) {
        ONVIF_CREDENTIAL_IDENTIFIER &id =
            onvif_add_CredentialIdentifier(&c.credential_identifier)->CredentialIdentifier;
        set(id.type.name, type);
        set(id.type.format_type, format);
        set(id.value, value);
    };
    tcr_GetCredentials_REQ get{};
    get.token_count = 1;
    tcr_GetCredentials_RES got = nullptr;
    auto read = [&]() {
        onvif_free_result(ACT_tcr_GetCredentials, &got);
        return onvif_tcr_GetCredentials(dev_.get(), &get, &got);
    };

    auto req = std::make_unique<tcr_CreateCredential_REQ>();
    memset(req.get(), 0, sizeof(*req));
    ONVIF_CREDENTIAL &c = req->credential;
    set(c.credential_holder_reference, "frank");
    identifier(c, "pt:Card", "WIEGAND26", "0BADF00D");
    char *profile = onvif_add_CredentialAccessProfile(&c.credential_access_profile)
                        ->CredentialAccessProfile.access_profile_token;
    snprintf(profile, 65, "AccessProfile_404");
    req->state.flags = ONVIF_CREDENTIAL_STATE_HAS_REASON;
    set(req->state.reason, "Not yet");
    // A reference to a profile the device does not have is refused.
    tcr_CreateCredential_RES made{};
    EXPECT_EQ(onvif_tcr_CreateCredential(dev_.get(), req.get(), &made), 0);
    EXPECT_EQ(dev_->last_error, -9);
    snprintf(profile, 65, "AccessProfile_2");
    ASSERT_EQ(onvif_tcr_CreateCredential(dev_.get(), req.get(), &made), 1);
    EXPECT_STREQ(made.token, "Credential_6");
    set(get.token[0], made.token);
    ASSERT_EQ(read(), 1);
    ASSERT_NE(got, nullptr);
    EXPECT_STREQ(got->Credential.credential_identifier->CredentialIdentifier.value, "0BADF00D");
    tcr_GetCredentialState_REQ sreq{};
    set(sreq.token, made.token);
    tcr_GetCredentialState_RES st{};
    ASSERT_EQ(onvif_tcr_GetCredentialState(dev_.get(), &sreq, &st), 1);
    EXPECT_EQ(st.enabled, 0);
    EXPECT_STREQ(st.reason, "Not yet");

    // Modify replaces the record (the request shares the create request's
    // lists): a second identifier, a new holder.
    identifier(c, "pt:PIN", "SIMPLE_NUMBER16", "31323334");
    auto mod = std::make_unique<tcr_ModifyCredential_REQ>();
    memcpy(&mod->credential, &c, sizeof(c));
    set(mod->credential.token, made.token);
    set(mod->credential.credential_holder_reference, "frank.m");
    ASSERT_EQ(onvif_tcr_ModifyCredential(dev_.get(), mod.get(), nullptr), 1);
    ASSERT_EQ(read(), 1);
    ASSERT_NE(got, nullptr);
    EXPECT_STREQ(got->Credential.credential_holder_reference, "frank.m");
    EXPECT_EQ(onvif_list_count(got->Credential.credential_identifier, 10), 2);

    tcr_DeleteCredential_REQ del{};
    set(del.token, made.token);
    ASSERT_EQ(onvif_tcr_DeleteCredential(dev_.get(), &del, nullptr), 1);
    ASSERT_EQ(read(), 1);
    EXPECT_EQ(got, nullptr);
    EXPECT_EQ(onvif_tcr_DeleteCredential(dev_.get(), &del, nullptr), 0);
    EXPECT_EQ(dev_->last_error, -9);
    onvif_free_CredentialIdentifiers(&c.credential_identifier);
    onvif_free_CredentialAccessProfiles(&c.credential_access_profile);
    EXPECT_EQ(c.credential_identifier, nullptr);
}

TEST_F(Pacs, LongScheduleTextsComeBackWhole)
{
    start();
    auto req = std::make_unique<tsc_CreateSchedule_REQ>();
    memset(req.get(), 0, sizeof(*req));
    ONVIF_SCHEDULE &s = req->schedule;
    set(s.name, "Shifts");
    std::string ical = "BEGIN:VCALENDAR";
    for (int n = 0; n < 12; n++) // over 1000 characters in all
        ical += "\nBEGIN:VEVENT\nSUMMARY:Inventory " + std::to_string(n) +
                "\nDTSTART:20250106T080000\nDTEND:20250106T170000\nRRULE:FREQ=MONTHLY\nEND:VEVENT";
    ical += "\nEND:VCALENDAR";
    ASSERT_GT(ical.size(), 1000u);
    ASSERT_LT(ical.size(), sizeof(s.standard));
    memcpy(s.standard, ical.data(), ical.size());
    tsc_CreateSchedule_RES made{};
    ASSERT_EQ(onvif_tsc_CreateSchedule(dev_.get(), req.get(), &made), 1);

    tsc_GetScheduleList_RES all;
    ASSERT_EQ(onvif_get_all_pages(dev_.get(), ACT_tsc_GetScheduleList, 0, &all), 1);
    const ScheduleList *found = nullptr;
    for (const ScheduleList *n = all.schedule; n; n = n->next)
        if (strcmp(n->Schedule.token, made.token) == 0) found = n;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(std::string(found->Schedule.standard), ical);
    onvif_free_result(ACT_tsc_GetScheduleList, &all);

    tsc_GetScheduleState_REQ sreq{};
    set(sreq.token, "Schedule_2"); // every day, all day
    tsc_GetScheduleState_RES st{};
    ASSERT_EQ(onvif_tsc_GetScheduleState(dev_.get(), &sreq, &st), 1);
    EXPECT_EQ(st.active, 1);
}

#endif // CAMSIM_PATH

// A scripted device that breaks the paging rules: the walk fails, says why,
// and leaves nothing behind (the sanitizer build checks the release).
TEST_F(Pacs, WalkRefusesADeviceThatBreaksThePagingRules)
{
    // A credential that owns an identifier list: a failed walk must free both.
    const std::string item = "<tcr:Credential token=\"c\"><tcr:CredentialIdentifier><tcr:Value>01"
                             "</tcr:Value></tcr:CredentialIdentifier></tcr:Credential>";
    auto http = [](const char *status, const std::string &body) {
        std::string env = "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/"
                          "soap-envelope\" xmlns:tcr=\"http://www.onvif.org/ver10/credential/"
                          "wsdl\"><s:Body>" +
                          body + "</s:Body></s:Envelope>";
        return std::string("HTTP/1.1 ") + status + "\r\nContent-Type: application/soap+xml\r\n" +
               "Content-Length: " + std::to_string(env.size()) + "\r\n\r\n" + env;
    };
    auto page = [&](const std::string &next, int items) {
        std::string body = "<tcr:GetCredentialListResponse><tcr:NextStartReference>" + next +
                           "</tcr:NextStartReference>";
        for (int i = 0; i < items; i++)
            body += item;
        return http("200 OK", body + "</tcr:GetCredentialListResponse>");
    };
    const std::string fault =
        http("500 Internal Server Error", "<s:Fault><s:Code><s:Value>s:Receiver</s:Value></s:Code>"
                                          "<s:Reason><s:Text xml:lang=\"en\">busy</s:Text>"
                                          "</s:Reason></s:Fault>");
    struct Case {
        const char *what;
        int limit;
        std::vector<std::string> answers; // one per request
        int last_error;
    } cases[] = {
        {"the same reference again", 2, {page("p1", 2), page("p1", 2)}, -8},
        {"more items than asked for", 1, {page("p1", 1), page("p2", 3)}, -8},
        {"a refused second page", 2, {page("p1", 2), fault}, -9},
        {"a reference too long to send back", 2, {page(std::string(300, 'r'), 2)}, -8},
    };
    for (const Case &c : cases) {
        testsrv::Server srv(
            [&](testsrv::Conn &conn, int index) {
                conn.read_request();
                if (index < (int)c.answers.size()) conn.send(c.answers[index]);
            },
            nullptr, (int)c.answers.size());
        ASSERT_TRUE(srv.ok());
        point(dev_->capabilities.credential.xaddr, srv.port(), "/onvif/credential_service");
        tcr_GetCredentialList_RES res;
        memset(&res, 0x5A, sizeof(res));
        EXPECT_EQ(onvif_get_all_pages(dev_.get(), ACT_tcr_GetCredentialList, c.limit, &res), 0)
            << c.what;
        EXPECT_EQ(dev_->last_error, c.last_error) << c.what;
        EXPECT_EQ(res.credential, nullptr) << c.what;
    }
}
