// The control-call layer against the driver stand-in: pathname pairs, what
// each wrapper hands the driver, buffer limits and the faults of a bad driver.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "cli.h"
#include "ctl.h"
#include "host.h"
#include "ks.h"
#include "probe.h"

// The test is linked with --wrap for these: it counts the copies that the
// layer makes and frees, and sees every control call.
extern "C" {
char *__real_stg_strdup(const char *text);
void __real_stg_free(void *block);
int __real_keln_cmd(keln_handle, int *, int *, int, uint32_t, pnpair *, void *, uint32_t);
}

static int copies_made, copies_freed, calls;
static struct {
    int request;
    uint32_t flags;
    pnpair pair;
    void *record;
    uint32_t size;
} last_call;
static uint32_t cursor_override;   // when non-zero, the driver "moves" the cursor there and says 1002

extern "C" char *__wrap_stg_strdup(const char *text)
{
    copies_made++;
    return __real_stg_strdup(text);
}

extern "C" void __wrap_stg_free(void *block)
{
    if (block != nullptr)
        copies_freed++;
    __real_stg_free(block);
}

extern "C" int __wrap_keln_cmd(keln_handle handle, int *call_status, int *op_status, int request, uint32_t flags,
                               pnpair *pair, void *record, uint32_t size)
{
    calls++;
    fputs("[control call]", stderr);   // a death test that expects none would see this
    last_call = {request, flags, pair ? *pair : pnpair{}, record, size};
    int result = __real_keln_cmd(handle, call_status, op_status, request, flags, pair, record, size);
    if (cursor_override != 0 && request == CMD_GET_VOBINFO) {
        static_cast<VobInfo *>(record)->query.cursor = cursor_override;
        *op_status = TBS_ST_NOT_FOUND;
    }
    return result;
}

namespace {

class Layer : public testing::Test {
protected:
    ScratchDir scratch;
    keln_handle handle = 0;
    std::string file;

    void SetUp() override
    {
        settings.test_index = -1;   // no test chosen: errors name "keltest"
        setenv("KELN_HOST", (scratch / "host").c_str(), 1);
        unsetenv("KELN_HOST_FAULTS");
        unsetenv(HOST_ENV_PROCESS_VIEW);
        HostVob vob;
        vob.tag = "proj";
        ASSERT_EQ(host_vob_create(vob), 0);
        HostView view;
        view.storage = scratch / "dev.vws";
        ASSERT_EQ(host_view_create(view), 0);
        HostTag tag;
        tag.name = "dev";
        tag.storage = view.storage;
        tag.uuid = view.uuid;
        tag.host = view.host;
        tag.host_pname = view.host_pname;
        tag.addr = view.addr;
        ASSERT_EQ(host_tag_make(tag), 0);
        file = std::string(host_view_root_path()) + "/dev/proj/file.c";
        write_file(file, "int x;\n");
        int status = -1;
        handle = keln_view_root_open(&status);
        ASSERT_NE(handle, 0u);
        copies_made = copies_freed = calls = 0;
        cursor_override = 0;
    }
    void TearDown() override
    {
        keln_view_root_close(handle);
        unsetenv("KELN_HOST_FAULTS");
    }
};

struct PathCall {
    const char *title;
    std::function<int(keln_handle, const char *)> call;
    int request;
    const char *init_failure;   // the message when the pathname cannot be made a pair
};

void PrintTo(const PathCall &c, std::ostream *os) { *os << c.title; }

XStat xstat_record;
unsigned char vstat_buffer[224];
ViewInfo viewinfo_record;

const PathCall path_calls[] = {
    {"get_viewinfo", [](keln_handle h, const char *p) {
         viewinfo_record = {};
         return ctl_get_viewinfo(h, 0, p, &viewinfo_record); }, CMD_GET_VIEWINFO, "init strbufpn absobjpn '%s' failed"},
    {"xstat", [](keln_handle h, const char *p) {
         xstat_record = {};
         xstat_record.vstat = reinterpret_cast<VStat *>(vstat_buffer);
         return ctl_xstat(h, 0, p, &xstat_record); }, CMD_XSTAT, "init absobpn pair '%s' failed"},
    {"get_vfh", [](keln_handle h, const char *p) { Vfh v{}; return ctl_get_vfh(h, 0, p, &v); }, CMD_GET_VFH,
     "init absobjpn pair '%s' failed"},
    {"ioinval", [](keln_handle h, const char *p) {
         InvalRecord r{};
         r.op = 1;
         r.kind = INVAL_VIEW;
         return ctl_ioinval(h, 0, p, &r); }, CMD_IOINVAL, "init absobjpn '%s' failed"},
    {"get_viewaddr", [](keln_handle h, const char *p) { ViewAddr a{}; return ctl_get_viewaddr(h, 0, p, &a); },
     CMD_GET_VIEWADDR, "init absobjpn pair '%s' failed"},
    {"get_xattr", [](keln_handle h, const char *p) { XattrRecord x{XATTR_MTYPE, 0}; return ctl_get_xattr(h, 0, p, &x); },
     CMD_GET_XATTR, "absobjpn '%s' failed"},
    {"set_xattr", [](keln_handle h, const char *p) { XattrRecord x{XATTR_XMODE, 5}; return ctl_set_xattr(h, 0, p, &x); },
     CMD_SET_XATTR, "absobjpn '%s' failed"},
    {"vobinfo_by_pathname", [](keln_handle h, const char *p) {
         VobInfo v{};
         int status = ctl_get_vobinfo_by_pathname(h, 0, p, &v);
         pnpair_release(&v.query.pair);   // the record's owner releases its pair
         return status; }, CMD_GET_VOBINFO, "absobjpn pair '%s' failed"},
    {"set_audit_file", [](keln_handle h, const char *p) { return ctl_set_audit_file(h, p); }, CMD_SET_AUDIT_FILE,
     "absobjpn audit file failed"},
};

class PathRequests : public Layer, public testing::WithParamInterface<PathCall> {};

TEST_P(PathRequests, ReleaseBothCopiesWhateverTheStatus)
{
    const PathCall &c = GetParam();
    for (std::string path : {file, std::string(host_view_root_path()) + "/dev/proj/nosuch", std::string("/elsewhere")}) {
        copies_made = copies_freed = 0;
        c.call(handle, path.c_str());
        EXPECT_EQ(copies_made, 2) << path;
        EXPECT_EQ(copies_freed, 2) << path;
        EXPECT_EQ(last_call.request, c.request);
    }
}

TEST_P(PathRequests, RejectedPathnameEndsTheRunBeforeAnyCall)
{
    const PathCall &c = GetParam();
    std::string too_long(2000, 'a');
    for (std::string path : {std::string(""), too_long}) {
        char message[4096];
        snprintf(message, sizeof message, c.init_failure, path.c_str());
        std::string expected = std::string("^\\(\\?keltest\\): ") + message + ": error code -1\n$";
        EXPECT_EXIT(c.call(handle, path.c_str()), testing::ExitedWithCode(1), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(, PathRequests, testing::ValuesIn(path_calls),
                         [](const testing::TestParamInfo<PathCall> &info) { return std::string(info.param.title); });

TEST_F(Layer, PathnamePairHoldsAbsoluteAndObjectPathnames)
{
    // Inside the view's storage the object pathname is the path under the view root.
    std::string storage_file = scratch / "dev.vws/tree/proj/file.c";
    pnpair pair;
    ASSERT_EQ(pnpair_init(storage_file.c_str(), &pair), 0);
    EXPECT_STREQ(pair.pn.ptr, storage_file.c_str());
    EXPECT_EQ(pair.pn.maxlen, pair.pn.len + 1);
    EXPECT_EQ(std::string(pair.objpn.ptr), file);
    EXPECT_EQ(pair.objpn.len, file.size());
    pnpair_release(&pair);
    EXPECT_EQ(pair.pn.ptr, nullptr);
    EXPECT_EQ(pair.objpn.ptr, nullptr);
}

TEST_F(Layer, RequestsWithoutRecordPassNullAndZero)
{
    const std::function<int(keln_handle)> calls[] = {ctl_revalidate, ctl_stop_audit, ctl_rm_all_viewtags, ctl_umountall};
    const int codes[] = {CMD_REVALIDATE, CMD_STOP_AUDIT, CMD_RM_ALL_VIEWTAGS, CMD_UMOUNTALL};
    static const pnpair zero{};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(calls[i](handle), 0);
        EXPECT_EQ(last_call.request, codes[i]);
        EXPECT_EQ(last_call.record, nullptr);
        EXPECT_EQ(last_call.size, 0u);
        EXPECT_EQ(last_call.flags, 0u);
        EXPECT_EQ(memcmp(&last_call.pair, &zero, sizeof zero), 0);
    }
    // The driver itself refuses a record where none belongs, and a wrong size.
    int call_status, op_status;
    uint32_t word = 0;
    keln_cmd(handle, &call_status, &op_status, CMD_REVALIDATE, 0, nullptr, &word, 4);
    EXPECT_EQ(op_status, TBS_ST_EINVAL);
    keln_cmd(handle, &call_status, &op_status, CMD_GET_PROC_FLAGS, 0, nullptr, &word, 8);
    EXPECT_EQ(op_status, TBS_ST_EINVAL);
    EXPECT_EQ(call_status, 0);
}

TEST_F(Layer, NextVobinfoWalksTheListAndHandsBackTheCursor)
{
    HostVob second;
    second.tag = "doc";
    ASSERT_EQ(host_vob_create(second), 0);
    VobInfo info{};
    char mnt[64];
    info.mnt_path = {mnt, 0, sizeof mnt};
    std::vector<std::string> seen;
    uint32_t cursor = 0;
    int status;
    while ((status = ctl_get_next_vobinfo(handle, &info, &cursor)) == 0)
        seen.push_back(mnt);
    EXPECT_EQ(status, TBS_ST_NOT_FOUND);
    EXPECT_EQ(seen, (std::vector<std::string>{"/proj", "/doc"}));
    EXPECT_EQ(cursor, 2u);
    cursor_override = 77;
    EXPECT_EQ(ctl_get_next_vobinfo(handle, &info, &cursor), TBS_ST_NOT_FOUND);
    EXPECT_EQ(cursor, 77u);
}

TEST_F(Layer, FailedCallEndsTheRunWithTheRequestMessage)
{
    setenv("KELN_HOST_FAULTS", "call-fail", 1);
    EXPECT_EXIT(ctl_revalidate(handle), testing::ExitedWithCode(1), "\\(\\?keltest\\): revalidate ioctl failed: ");
    VobInfo info{};
    uint32_t cursor = 0;
    EXPECT_EXIT(ctl_get_next_vobinfo(handle, &info, &cursor), testing::ExitedWithCode(1),
                "get vobinfo \\(for nextvob\\) ioctl failed: ");
    EXPECT_EXIT(ctl_xstat(handle, 0, file.c_str(), &xstat_record), testing::ExitedWithCode(1), "xstat ioctl failed: ");
}

// ---- buffer limits ------------------------------------------------------------

// A heap buffer of exactly `capacity` bytes followed by canary bytes.
struct Guarded {
    std::vector<char> block;
    explicit Guarded(uint32_t capacity) : block(capacity + 16, '#') {}
    strbuf out(uint32_t capacity) { return {capacity ? block.data() : nullptr, 0, capacity}; }
    bool canaries_intact(uint32_t capacity) const
    {
        for (size_t i = capacity; i < block.size(); i++)
            if (block[i] != '#')
                return false;
        return true;
    }
};

struct Output {
    const char *title;
    // Issues the request with `out` as the strbuf under test; the other outputs get room enough.
    std::function<int(keln_handle, const std::string &, strbuf &)> call;
};

char spare[4][1024];

const Output outputs[] = {
    {"viewinfo_name", [](keln_handle h, const std::string &f, strbuf &out) {
         ViewInfo v{out, {spare[1], 0, 1024}, {spare[2], 0, 1024}, {spare[3], 0, 1024}, {}};
         int s = ctl_get_viewinfo(h, 0, f.c_str(), &v); out = v.view_name; return s; }},
    {"viewinfo_spath", [](keln_handle h, const std::string &f, strbuf &out) {
         ViewInfo v{{spare[0], 0, 1024}, out, {spare[2], 0, 1024}, {spare[3], 0, 1024}, {}};
         int s = ctl_get_viewinfo(h, 0, f.c_str(), &v); out = v.spath; return s; }},
    {"vobinfo_spath", [](keln_handle h, const std::string &f, strbuf &out) {
         VobInfo v{};
         v.spath = out;
         int s = ctl_get_vobinfo_by_pathname(h, 0, f.c_str(), &v);
         pnpair_release(&v.query.pair); out = v.spath; return s; }},
    {"vobinfo_host_pname", [](keln_handle h, const std::string &f, strbuf &out) {
         VobInfo v{};
         v.host_pname = out;
         int s = ctl_get_vobinfo_by_pathname(h, 0, f.c_str(), &v);
         pnpair_release(&v.query.pair); out = v.host_pname; return s; }},
    {"viewtag_dir", [](keln_handle h, const std::string &, strbuf &out) {
         pnpair p{out, {}}; int s = ctl_get_viewtag_dir(h, &p); out = p.pn; return s; }},
    {"vxsuffix", [](keln_handle h, const std::string &, strbuf &out) { return ctl_get_vxsuffix(h, &out); }},
    {"rcsid", [](keln_handle h, const std::string &, strbuf &out) { return ctl_get_rcsid(h, &out); }},
    {"sccsid", [](keln_handle h, const std::string &, strbuf &out) { return ctl_get_sccsid(h, &out); }},
    {"audit_file", [](keln_handle h, const std::string &f, strbuf &out) {
         ctl_set_audit_file(h, f.c_str()); return ctl_get_audit_file(h, &out); }},
    {"pool_pattern", [](keln_handle h, const std::string &f, strbuf &out) {
         VobInfo v{};
         ctl_get_vobinfo_by_pathname(h, 0, f.c_str(), &v);
         pnpair_release(&v.query.pair);
         strbuf replacement = {spare[0], 0, 1024};
         PoolMapsRecord r{v.uuid, 1, &out, &replacement};
         return ctl_get_poolmaps(h, &r); }},
};

void PrintTo(const Output &o, std::ostream *os) { *os << o.title; }

class Buffers : public Layer, public testing::WithParamInterface<Output> {};

TEST_P(Buffers, NothingWrittenPastCapacity)
{
    host_vob_add_pool_map("proj", "pool/src/*", "/srv/pools/src");
    // The full text first, with room to spare.
    Guarded roomy(1024);
    strbuf full = roomy.out(1024);
    ASSERT_EQ(GetParam().call(handle, file, full), 0);
    std::string text(roomy.block.data(), full.len);
    ASSERT_GT(text.size(), 1u);
    for (uint32_t capacity = 0; capacity <= text.size() + 1; capacity++) {
        Guarded guarded(capacity);
        strbuf out = guarded.out(capacity);
        int status = GetParam().call(handle, file, out);
        EXPECT_TRUE(guarded.canaries_intact(capacity)) << "capacity " << capacity;
        if (capacity == 0) {
            EXPECT_EQ(status, 0);
        } else if (capacity <= text.size()) {
            EXPECT_EQ(status, TBS_ST_EINVAL) << "capacity " << capacity;
            EXPECT_EQ(guarded.block[0], '#') << "written although too short";
        } else {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(std::string(guarded.block.data()), text);
            EXPECT_EQ(out.len, text.size());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(, Buffers, testing::ValuesIn(outputs),
                         [](const testing::TestParamInfo<Output> &info) { return std::string(info.param.title); });

// The five steps that a revision-ID probe makes, against a sound and a faulty driver.
TEST_F(Layer, RevisionIdBufferRules)
{
    struct Step { bool buffer; uint32_t len, maxlen; int status; int guard; };
    const Step steps[] = {{false, 0, 0, 0, 0}, {false, 0, 1024, 0, 0}, {true, 1024, 0, 0, 0},
                          {true, 1024, 2, TBS_ST_EINVAL, 2}, {true, 1024, 1024, 0, -1}};
    char buffer[1024] = "1";
    for (const Step &step : steps) {
        if (step.guard >= 0)
            buffer[step.guard] = '1';
        strbuf id = {step.buffer ? buffer : nullptr, step.len, step.maxlen};
        EXPECT_EQ(ctl_get_rcsid(handle, &id), step.status);
        if (step.guard >= 0) {
            EXPECT_EQ(buffer[step.guard], '1');
        }
    }
    EXPECT_EQ(buffer[0], '$');

    setenv("KELN_HOST_FAULTS", "write-zero-capacity", 1);
    buffer[0] = '1';
    strbuf zero = {buffer, 1024, 0};
    EXPECT_EQ(ctl_get_sccsid(handle, &zero), 0);
    EXPECT_NE(buffer[0], '1');

    setenv("KELN_HOST_FAULTS", "short-capacity-ok", 1);
    buffer[2] = '1';
    strbuf shortbuf = {buffer, 1024, 2};
    EXPECT_EQ(ctl_get_rcsid(handle, &shortbuf), 0);
    EXPECT_EQ(buffer[1], '\0');
    EXPECT_EQ(buffer[2], '1');
}

TEST_F(Layer, VstatAddressLeftAloneUnlessTrashed)
{
    VStat *mine = reinterpret_cast<VStat *>(vstat_buffer);
    xstat_record = {};
    xstat_record.vstat = mine;
    ASSERT_EQ(ctl_xstat(handle, 0, file.c_str(), &xstat_record), 0);
    EXPECT_EQ(xstat_record.vstat, mine);
    EXPECT_EQ(mine->fstat.size, 7u);
    EXPECT_EQ(mine->mtype, 8u);   // a version in a VOB
    setenv("KELN_HOST_FAULTS", "trash-vstat", 1);
    ASSERT_EQ(ctl_xstat(handle, 0, file.c_str(), &xstat_record), 0);
    EXPECT_NE(xstat_record.vstat, mine);
}

TEST_F(Layer, AttributeStoredIsReadBackUnlessTheDriverStoresAnother)
{
    XattrRecord set{XATTR_MTYPE, 12}, get{XATTR_MTYPE, 0};
    ASSERT_EQ(ctl_set_xattr(handle, 0, file.c_str(), &set), 0);
    ASSERT_EQ(ctl_get_xattr(handle, 0, file.c_str(), &get), 0);
    EXPECT_EQ(get.value, 12u);
    setenv("KELN_HOST_FAULTS", "store-other", 1);
    set.value = 5;
    ASSERT_EQ(ctl_set_xattr(handle, 0, file.c_str(), &set), 0);
    ASSERT_EQ(ctl_get_xattr(handle, 0, file.c_str(), &get), 0);
    EXPECT_NE(get.value, 5u);
    XattrRecord bad{XATTR_MTYPE, 35};
    unsetenv("KELN_HOST_FAULTS");
    EXPECT_EQ(ctl_set_xattr(handle, 0, file.c_str(), &bad), TBS_ST_EINVAL);
}

TEST_F(Layer, UnknownViewsTagsAndVobsGetTbsStatuses)
{
    ViewInfo info{};
    std::string root = host_view_root_path();
    EXPECT_EQ(ctl_get_viewinfo(handle, 0, (root + "/nosuch/proj").c_str(), &info), TBS_ST_VIEW_ERROR);
    EXPECT_EQ(ctl_get_viewinfo(handle, 0, scratch.path().c_str(), &info), TBS_ST_WRONG_VIEW);
    char tag[] = "nosuch";
    strbuf name = {tag, 6, 7};
    EXPECT_EQ(ctl_set_procview(handle, &name), TBS_ST_VIEW_ERROR);
    EXPECT_EQ(ctl_get_procviewinfo(handle, &info), TBS_ST_VIEW_ERROR);
    tbs_uuid_t unknown{};
    VobInfo vob{};
    EXPECT_EQ(ctl_get_vobinfo_by_uuid(handle, &unknown, &vob), TBS_ST_UNK_VOB);
    EXPECT_EQ(ctl_umountall(handle), 0);
    XattrRecord x{XATTR_MTYPE, 0};
    EXPECT_EQ(ctl_get_xattr(handle, 0, file.c_str(), &x), TBS_ST_UNK_VOB);
}

TEST_F(Layer, ProcessViewIsInheritedByChildren)
{
    char tag[] = "dev";
    strbuf name = {tag, 3, 4};
    ASSERT_EQ(ctl_set_procview(handle, &name), 0);
    pid_t pid = fork();
    if (pid == 0) {
        char text[64];
        ViewInfo info{{text, 0, sizeof text}, {}, {}, {}, {}};
        int status = ctl_get_procviewinfo(handle, &info);
        _exit(status == 0 && strcmp(text, "dev") == 0 ? 0 : 1);
    }
    int status;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
