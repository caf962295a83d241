// Operation catalogue: its invariants (types dense and grouped by service,
// one action row per type, lookups bounded), and every operation and action
// checked against the ONVIF service descriptions. The operation table itself
// is checked against the schemas by the sweep in test_op_sweep.cpp.
#include "onvif/onvif_act.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

static_assert(ONVIF_ACT_COUNT == 387 && ONVIF_ACT_MAX == 387 && ONVIF_SVC_COUNT == 19, "");

// Each service owns one block of types; the blocks follow each other from 1
// to 387, and every type knows its service, prefix and name.
TEST(OnvifAct, ServicesOwnDenseBlocksOfTypes)
{
    int next = ONVIF_ACT_MIN;
    std::set<std::string> prefixes;
    for (int svc = 0; svc < ONVIF_SVC_COUNT; svc++) {
        ASSERT_NE(onvif_svc_prefix(svc), nullptr) << svc;
        EXPECT_TRUE(prefixes.insert(onvif_svc_prefix(svc)).second) << onvif_svc_prefix(svc);
        EXPECT_EQ(onvif_svc_first_type(svc), next) << svc;
        EXPECT_GE(onvif_svc_last_type(svc), onvif_svc_first_type(svc)) << svc;
        std::set<std::string> names;
        for (int t = onvif_svc_first_type(svc); t <= onvif_svc_last_type(svc); t++) {
            ASSERT_NE(onvif_act_name(t), nullptr) << t;
            EXPECT_TRUE(names.insert(onvif_act_name(t)).second) << t << " " << onvif_act_name(t);
            EXPECT_EQ(onvif_act_service(t), svc) << t;
            EXPECT_STREQ(onvif_act_prefix(t), onvif_svc_prefix(svc)) << t;
        }
        next = onvif_svc_last_type(svc) + 1;
    }
    EXPECT_EQ(next, ONVIF_ACT_MAX + 1);

    for (int t : {-1, 0, ONVIF_ACT_MAX + 1, 1000}) {
        EXPECT_EQ(onvif_act_name(t), nullptr) << t;
        EXPECT_EQ(onvif_act_prefix(t), nullptr) << t;
        EXPECT_EQ(onvif_act_service(t), -1) << t;
        EXPECT_EQ(onvif_act_has_output(t), 0) << t;
        EXPECT_EQ(onvif_act_clears_result(t), 0) << t;
    }
    for (int s : {-1, static_cast<int>(ONVIF_SVC_COUNT)}) {
        EXPECT_EQ(onvif_svc_prefix(s), nullptr);
        EXPECT_EQ(onvif_svc_action_base(s), nullptr);
        EXPECT_EQ(onvif_svc_first_type(s), 0);
        EXPECT_EQ(onvif_svc_last_type(s), 0);
    }
}

// 387 rows, each type exactly once, each with a terminated non-empty action;
// lookup finds every row and nothing outside.
TEST(OnvifAct, ActionTableHasEveryTypeOnce)
{
    std::vector<int> seen(ONVIF_ACT_MAX + 1, 0);
    for (int i = 0; i < ONVIF_ACT_COUNT; i++) {
        const ONVIF_ACTION *row = onvif_action_at(i);
        ASSERT_NE(row, nullptr) << i;
        ASSERT_GE(row->type, (uint32_t)ONVIF_ACT_MIN);
        ASSERT_LE(row->type, (uint32_t)ONVIF_ACT_MAX);
        seen[row->type]++;
        ASSERT_NE(memchr(row->action, '\0', sizeof(row->action)), nullptr);
        EXPECT_GT(strlen(row->action), 0u);
        EXPECT_EQ(onvif_find_action_by_type(row->type), row);
    }
    for (int t = ONVIF_ACT_MIN; t <= ONVIF_ACT_MAX; t++)
        EXPECT_EQ(seen[t], 1) << t;
    EXPECT_EQ(onvif_action_at(-1), nullptr);
    EXPECT_EQ(onvif_action_at(ONVIF_ACT_COUNT), nullptr);
    EXPECT_EQ(onvif_find_action_by_type(0), nullptr);
    EXPECT_EQ(onvif_find_action_by_type(ONVIF_ACT_MAX + 1), nullptr);
    EXPECT_EQ(onvif_find_action_by_type(0xFFFFFFFFu), nullptr);
}

namespace
{

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// What the WSDL files declare: operations per target namespace (lower case)
// and every action URI.
struct Wsdl {
    std::map<std::string, std::set<std::string>> ops;
    std::set<std::string> actions;
    int files = 0;
};

Wsdl read_wsdl(const std::filesystem::path &dir)
{
    namespace fs = std::filesystem;
    Wsdl w;
    const std::regex ns_re("targetNamespace=\"([^\"]*)\"");
    const std::regex op_re("<wsdl:operation\\s+name=\"([^\"]*)\"");
    const std::regex act_re("[Aa]ction=\"([^\"]*)\"");
    std::error_code ec;
    fs::recursive_directory_iterator it(dir, ec), end;
    for (int guard = 0; it != end && guard < 10000; it.increment(ec), guard++) {
        if (ec) break;
        if (it->path().extension() != ".wsdl") continue;
        std::ifstream in(it->path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        const std::string text = ss.str();
        std::smatch m;
        if (!std::regex_search(text, m, ns_re)) continue;
        w.files++;
        std::set<std::string> &set = w.ops[lower(m[1].str())];
        for (std::sregex_iterator r(text.begin(), text.end(), op_re), e; r != e; ++r)
            set.insert((*r)[1].str());
        for (std::sregex_iterator r(text.begin(), text.end(), act_re), e; r != e; ++r)
            w.actions.insert((*r)[1].str());
    }
    return w;
}

} // namespace

// Every operation exists in the WSDL of its service's namespace, and every
// action the client sends is the service's base with the operation's name or
// one that the WSDL files declare.
TEST(OnvifAct, OperationsAndActionsExistInTheServiceDescriptions)
{
    const std::filesystem::path dir = std::filesystem::path(ONVIF_SCHEMA_DIR) / "wsdl";
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec))
        GTEST_SKIP() << "skipped: no ONVIF WSDL folder at " << dir.string()
                     << " (the schema set belongs in ../shared next to the repository)";
    const Wsdl w = read_wsdl(dir);
    ASSERT_GT(w.files, 10) << "too few WSDL files under " << dir.string();

    for (int t = ONVIF_ACT_MIN; t <= ONVIF_ACT_MAX; t++) {
        const std::string ns = lower(onvif_svc_action_base(onvif_act_service(t)));
        auto found = w.ops.find(ns);
        ASSERT_NE(found, w.ops.end()) << "no WSDL for " << ns;
        EXPECT_EQ(found->second.count(onvif_act_name(t)), 1u)
            << t << " " << onvif_act_prefix(t) << " " << onvif_act_name(t);
        const ONVIF_ACTION *row = onvif_find_action_by_type((uint32_t)t);
        ASSERT_NE(row, nullptr) << t;
        // "<service base>/<operation>", or an action a WSDL file spells out.
        const std::string plain =
            std::string(onvif_svc_action_base(onvif_act_service(t))) + "/" + onvif_act_name(t);
        EXPECT_TRUE(row->action == plain || w.actions.count(row->action) == 1)
            << t << " " << onvif_act_prefix(t) << " " << onvif_act_name(t) << ": " << row->action;
    }
}
