// The host stand-in: kelnhost as a user meets it, state that outlives a
// process, concurrent updates, identifier texts.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <arpa/inet.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "adm.h"
#include "cli.h"
#include "host.h"
#include "keln.h"
#include "view.h"

namespace {

RunResult kelnhost(const ScratchDir &scratch, const std::vector<std::string> &args)
{
    return run_program(scratch, program_path("kelnhost"), args);
}

struct Case {
    const char *title;
    std::vector<std::string> args;
    int exit_code;
    std::string err;   // the first line of standard error
};

const Case cases[] = {
    {"no_command", {}, 2, "Usage: kelnhost COMMAND [OPTIONS] [OPERANDS]"},
    {"unknown_command", {"mkviews"}, 2, "kelnhost: unknown command 'mkviews'"},
    {"unknown_option", {"mkview", "--aut", "v"}, 2, "kelnhost: mkview: unknown option '--aut'"},
    {"option_without_value", {"mkview", "--addr"}, 2, "kelnhost: mkview: --addr needs a value"},
    {"bad_tag", {"mkview", "a/b"}, 2, "kelnhost: mkview: 'a/b' is not a view tag name"},
    {"bad_address", {"mkview", "--addr", "1.2.3:80", "v"}, 2, "kelnhost: mkview: '1.2.3:80' is not an address"},
    {"no_vob", {"mkvob"}, 2, "kelnhost: mkvob: a VOB tag is needed"},
    {"storage_for_two", {"mkvob", "--storage", "/x", "a", "b"}, 2, "kelnhost: mkvob: --storage names the storage of one VOB only"},
    {"operands_missing", {"poolmap", "proj", "x"}, 2, "kelnhost: poolmap: wrong number of operands"},
    {"unknown_tunable", {"tunable", "NOSUCH", "1"}, 2, "kelnhost: tunable: 'NOSUCH' is not a cache tunable"},
    {"tunable_not_a_number", {"tunable", "MNODEMAX", "4k"}, 2, "kelnhost: tunable: '4k' is not a 32-bit number"},
    {"no_such_tag", {"rmtag", "dev"}, 1, "kelnhost: view tag dev: no such view"},
    {"no_such_vob", {"poolmap", "proj", "a", "b"}, 1, "kelnhost: VOB proj: no such VOB"},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.title; }

class Kelnhost : public testing::TestWithParam<Case> {};

TEST_P(Kelnhost, RefusesBadInput)
{
    ScratchDir scratch;
    RunResult result = kelnhost(scratch, GetParam().args);
    EXPECT_EQ(result.exit_code, GetParam().exit_code);
    EXPECT_EQ(result.err.substr(0, result.err.find('\n')), GetParam().err);
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(, Kelnhost, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.title); });

TEST(KelnhostHelp, GoesToStandardOutput)
{
    ScratchDir scratch;
    RunResult result = kelnhost(scratch, {"help"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_NE(result.out.find("mkview [--auto]"), std::string::npos);
    EXPECT_EQ(result.err, "");
}

class HostState : public testing::Test {
protected:
    ScratchDir scratch;
    void SetUp() override { setenv("KELN_HOST", (scratch / "host").c_str(), 1); }
};

// What kelnhost sets up in two commands, another process reads back.
TEST_F(HostState, SetUpInTwoCommandsSeenByAnotherProcess)
{
    RunResult vobs = kelnhost(scratch, {"mkvob", "proj", "/doc"});
    ASSERT_EQ(vobs.exit_code, 0) << vobs.err;
    RunResult view = kelnhost(scratch, {"mkview", "--addr", "10.1.2.3:371", "dev"});
    ASSERT_EQ(view.exit_code, 0) << view.err;
    EXPECT_EQ(view.out, std::string(host_view_root_path()) + "/dev\n");
    ASSERT_EQ(kelnhost(scratch, {"poolmap", "doc", "pool/*", "/srv/pool"}).exit_code, 0);

    int status;
    keln_handle handle = keln_view_root_open(&status);
    ASSERT_NE(handle, 0u);
    std::string path = std::string(host_view_root_path()) + "/DEV/Doc";   // case-insensitive lookup
    char name[64], mnt[64];
    pnpair pair = {{path.data(), (uint32_t)path.size(), (uint32_t)path.size() + 1}, {}};
    ViewInfo info = {{name, 0, sizeof name}, {}, {}, {}, {}};
    int call_status, op_status;
    keln_cmd(handle, &call_status, &op_status, CMD_GET_VIEWINFO, 0, &pair, &info, sizeof info);
    EXPECT_EQ(op_status, 0);
    EXPECT_STREQ(name, "dev");
    keln_cmd(handle, &call_status, &op_status, CMD_GET_VIEWINFO, 0x2, &pair, &info, sizeof info);
    EXPECT_EQ(op_status, TBS_ST_VIEW_ERROR);   // case-sensitive: no tag DEV

    ViewAddr addr{};
    std::string tag_path = std::string(host_view_root_path()) + "/dev";
    pnpair tag_pair = {{tag_path.data(), (uint32_t)tag_path.size(), (uint32_t)tag_path.size() + 1}, {}};
    keln_cmd(handle, &call_status, &op_status, CMD_GET_VIEWADDR, 0, &tag_pair, &addr, sizeof addr);
    EXPECT_EQ(op_status, 0);
    EXPECT_EQ(addr.family, 2);
    EXPECT_EQ(ntohs(addr.port), 371);
    EXPECT_EQ(ntohl(addr.u.ipv4.addr), 0x0a010203u);

    VobInfo vob{};
    vob.query_kind = VOBINFO_BY_PATHNAME;
    vob.query.pair = pair;
    vob.mnt_path = {mnt, 0, sizeof mnt};
    keln_cmd(handle, &call_status, &op_status, CMD_GET_VOBINFO, 0, nullptr, &vob, sizeof vob);
    ASSERT_EQ(op_status, 0);
    EXPECT_STREQ(mnt, "/doc");
    char pattern[64], replacement[64];
    strbuf p = {pattern, 0, sizeof pattern}, r = {replacement, 0, sizeof replacement};
    PoolMapsRecord maps = {vob.uuid, 0, nullptr, nullptr};
    keln_cmd(handle, &call_status, &op_status, CMD_IOGET_POOLMAPS, 0, nullptr, &maps, sizeof maps);
    EXPECT_EQ(maps.count, 1u);
    maps.patterns = &p;
    maps.replacements = &r;
    keln_cmd(handle, &call_status, &op_status, CMD_IOGET_POOLMAPS, 0, nullptr, &maps, sizeof maps);
    EXPECT_STREQ(pattern, "pool/*");
    EXPECT_STREQ(replacement, "/srv/pool");

    // The view's config as the view library reads it.
    tbs_uuid_t uuid;
    char host[1024], pname[1024];
    std::string storage = scratch / "host/view-storage/dev.vws";
    ASSERT_EQ(view_read_config(storage.c_str(), &uuid, host, sizeof host, pname, sizeof pname), 0);
    EXPECT_STREQ(pname, storage.c_str());
    keln_view_root_close(handle);

    RunResult list = kelnhost(scratch, {"lsview"});
    char uuid_text[TBS_ID_TEXT_SIZE];
    EXPECT_EQ(list.out, "dev\tview\t" + std::string(tbs_uuid_to_str(&uuid, uuid_text)) + "\t10.1.2.3:371\t" + storage + "\n");
}

TEST_F(HostState, TunablesOverriddenByTheHost)
{
    Tunables tunables;
    CacheFlags flags;
    ASSERT_EQ(adm_keln_get_default_tunables(&tunables, &flags), 0);
    EXPECT_EQ(tunables.mnodemax, 4096);
    EXPECT_EQ(flags.rvcache, 1);
    ASSERT_EQ(kelnhost(scratch, {"tunable", "mnodemax", "9000"}).exit_code, 0);
    ASSERT_EQ(kelnhost(scratch, {"tunable", "rvcache", "2"}).exit_code, 0);
    ASSERT_EQ(adm_keln_get_default_tunables(&tunables, &flags), 0);
    EXPECT_EQ(tunables.mnodemax, 9000);
    EXPECT_EQ(flags.rvcache, 2);
}

// Twenty processes make and remove tags at once; a reader meanwhile never
// sees a registry cut short, and exactly the tags kept remain.
TEST_F(HostState, ConcurrentTagUpdatesLoseNothing)
{
    HostView view;
    view.storage = scratch / "v.vws";
    ASSERT_EQ(host_view_create(view), 0);
    const int processes = 20, tags_each = 6;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; p++) {
        pid_t pid = fork();
        if (pid == 0) {
            int status;
            keln_handle handle = keln_view_root_open(&status);
            int failures = 0;
            for (int t = 0; t < tags_each; t++) {
                std::string name = "t" + std::to_string(p) + "_" + std::to_string(t);
                std::string storage = view.storage;
                ViewTagRecord record{};
                record.tag = {name.data(), (uint32_t)name.size(), (uint32_t)name.size() + 1};
                record.storage.pn = {storage.data(), (uint32_t)storage.size(), (uint32_t)storage.size() + 1};
                record.uuid = view.uuid;
                int call_status, op_status;
                keln_cmd(handle, &call_status, &op_status, CMD_MK_VIEWTAG, 0, nullptr, &record, sizeof record);
                failures += op_status != 0;
                if (t % 2 == 1) {
                    keln_cmd(handle, &call_status, &op_status, CMD_RM_VIEWTAG, 0, nullptr, &record.tag, sizeof(strbuf));
                    failures += op_status != 0;
                }
            }
            _exit(failures);
        }
        children.push_back(pid);
    }
    int torn = 0, reads = 0;
    std::string registry = scratch / "host/tags";
    for (size_t done = 0; done < children.size();) {
        std::string text = read_file(registry);
        reads++;
        if (!text.empty() && text.back() != '\n')
            torn++;
        for (size_t at = 0; at < text.size();) {
            size_t end = text.find('\n', at);
            if (host_fields(text.substr(at, end - at)).size() != 7)
                torn++;
            at = end == std::string::npos ? text.size() : end + 1;
        }
        int status;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            done++;
        }
    }
    EXPECT_EQ(torn, 0) << "in " << reads << " reads";
    std::vector<HostTag> tags;
    ASSERT_EQ(host_tag_list(tags), 0);
    std::set<std::string> names, expected;
    for (const HostTag &tag : tags)
        names.insert(tag.name);
    for (int p = 0; p < processes; p++)
        for (int t = 0; t < tags_each; t += 2)
            expected.insert("t" + std::to_string(p) + "_" + std::to_string(t));
    EXPECT_EQ(names, expected);
    EXPECT_EQ(tags.size(), expected.size());
    EXPECT_TRUE(path_exists(std::string(host_view_root_path()) + "/t3_4"));
    EXPECT_FALSE(path_exists(std::string(host_view_root_path()) + "/t3_5"));
}

TEST(Identifiers, TextFormRoundTripsAndRejectsMalformedText)
{
    tbs_uuid_t uuid;
    host_id_random(uuid.bytes);
    char text[TBS_ID_TEXT_SIZE];
    tbs_uuid_to_str(&uuid, text);
    tbs_uuid_t back{};
    ASSERT_EQ(tbs_str_to_uuid(text, &back), 0);
    EXPECT_EQ(memcmp(&uuid, &back, 16), 0);
    tbs_oid_t oid;
    EXPECT_EQ(tbs_str_to_oid("0123ABCD-4567-89ab-cdef-0123456789ab", &oid), 0);
    EXPECT_STREQ(tbs_oid_to_str(&oid, text), "0123abcd-4567-89ab-cdef-0123456789ab");
    for (const char *bad : {"", "0123abcd-4567-89ab-cdef-0123456789a", "0123abcd-4567-89ab-cdef-0123456789abc",
                            "0123abcd:4567-89ab-cdef-0123456789ab", "0123abcg-4567-89ab-cdef-0123456789ab"}) {
        tbs_oid_t untouched = oid;
        EXPECT_EQ(tbs_str_to_oid(bad, &untouched), TBS_ST_EINVAL) << bad;
        EXPECT_EQ(memcmp(&untouched, &oid, 16), 0);
    }
}

} // namespace
