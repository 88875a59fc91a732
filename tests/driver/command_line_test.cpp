// kelnprobe's command line as a user meets it: usage, list, lookup, option checks.
#include <gtest/gtest.h>

#include <regex>

#include "cli.h"

namespace {

const char USAGE[] =
    "\nUsage:  kelnprobe [-h] test [-ts] [-c cnt]\n"
    "\nOptions:\n"
    "\t-h\tHelp\n"
    "\t-t\tPrint timing\n"
    "\t-s\tRun test silently\n"
    "\t-c cnt\tRun tests cnt times\n"
    "\t-d cnt\tNumber of dirs to create\n"
    "\t-f cnt\tNumber of files to create\n"
    "\t-l cnt\tNumber of dir levels to create\n"
    "\t-b size\tSize of file to write\n"
    "\t-L\tDon't follow symlinks\n"
    "\t-n\tShow list of test names\n"
    "\t-i\tLookups are case insensitive\n"
    "\t-r vrt\tDYVWROOT=0 AUVWROOT=1\n";

struct Case {
    const char *title;
    std::vector<std::string> args;
    int exit_code;
    std::string out;
    std::string err;
};

const char NOT_BUILT[] = ": test not available in this build\n";

const Case cases[] = {
    {"no_arguments", {}, 1, USAGE, ""},
    {"help_entry", {"-h"}, 1, USAGE, ""},
    {"help_option_of_a_test", {"null", "-h"}, 1, USAGE, ""},
    {"unknown_name", {"nosuch"}, 1, "", "(?keltest): unable to get subcommand\n"},
    {"upper_case_name", {"NULL"}, 1, "", "(?keltest): unable to get subcommand\n"},
    {"l_prefix_needs_nofollow", {"lgetvobuuid"}, 1, "", "(?keltest): unable to get subcommand\n"},
    {"l_prefix_chooses_getvob", {"lgetvob"}, 1, "", std::string("(?getvob)") + NOT_BUILT},
    {"count_refused", {"mktree", "-c", "2"}, 1, "", "(?mktree): -c not allowed for mktree\n"},
    {"count_zero", {"null", "-c", "0"}, 1, "", "(?null): -c: invalid argument\n"},
    {"count_not_a_number", {"null", "-c", "x"}, 1, "", "(?null): -c: invalid argument\n"},
    {"count_negative", {"null", "-c", "-3"}, 1, "", "(?null): -c: invalid argument\n"},
    {"levels_zero", {"mktree", "-l", "0"}, 1, "", "(?mktree): -l: invalid argument\n"},
    {"dirs_and_files_zero_accepted", {"mktree", "-d", "0", "-f", "0"}, 0, "mktree: Make dirs and files test on kelnprobedir\n\tcreated 0 dirs, 0 files, on 5 levels\n\tmktree ok.\n", ""},
    {"dirs_negative", {"mktree", "-d", "-1"}, 1, "", "(?mktree): -d: invalid argument\n"},
    {"files_refused", {"null", "-f", "1"}, 1, "", "(?null): -f not allowed for null\n"},
    {"dirs_refused", {"null", "-d", "1"}, 1, "", "(?null): -d not allowed for null\n"},
    {"levels_refused", {"null", "-l", "1"}, 1, "", "(?null): -l not allowed for null\n"},
    {"nofollow_refused", {"null", "-L"}, 1, "", "(?null): -L not allowed for null\n"},
    {"size_refused", {"null", "-b", "8k"}, 1, "", "(?null): -b not allowed for null\n"},
    {"size_zero_k", {"rdwr", "-b", "0k"}, 1, "", "(?rdwr): -b: invalid argument\n"},
    {"size_overflows", {"rdwr", "-b", "2097152k"}, 1, "", "(?rdwr): -b: invalid argument\n"},
    {"size_in_k_accepted", {"rdwr", "-b", "8k"}, 1, "", "(?rdwr): stat of test dir 'kelnprobedir' failed: No such file or directory\n"},
    {"view_root_kind_two", {"null", "-r", "2"}, 1, "", "(?null): -r: invalid argument\n"},
    {"view_root_kind_one", {"null", "-s", "-r", "1"}, 0, "", ""},
    {"getcache_takes_no_count", {"getcache", "-c", "2"}, 1, "", "(?getcache): -c not allowed for getcache\n"},
    {"getcache_takes_no_nofollow", {"getcache", "-L"}, 1, "", "(?getcache): -L not allowed for getcache\n"},
    {"unknown_option", {"null", "-x"}, 1, USAGE, "(?null): unknown option -x: Invalid argument\n"},
    {"missing_value", {"null", "-c"}, 1, USAGE, "(?null): option -c needs a value: Invalid argument\n"},
    {"null_banner_and_ok", {"null"}, 0, "null: Null timing loop\n\tnull ok.\n", ""},
    {"null_on_target", {"null", "-c", "3", "there"}, 0, "null: Null timing loop on there\n\tnull ok.\n", ""},
    {"options_end_at_double_dash", {"null", "--", "-x"}, 0, "null: Null timing loop on -x\n\tnull ok.\n", ""},
    {"grouped_flags_and_attached_value", {"null", "-is", "-c3"}, 0, "", ""},
    {"silent_with_timing_prints_nothing", {"null", "-t", "-s", "-c", "10"}, 0, "", ""},
    {"test_not_built_yet", {"pooldata"}, 1, "", std::string("(?pooldata)") + NOT_BUILT},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.title; }

class CommandLine : public testing::TestWithParam<Case> {};

TEST_P(CommandLine, PrintsAndExitsExactly)
{
    const Case &c = GetParam();
    ScratchDir scratch;
    RunResult result = run_program(scratch, program_path("kelnprobe"), c.args);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Kelnprobe, CommandLine, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.title); });

// The list: a header, one line per test from null to getcache, a final empty line,
// each description at the tab stop after the name.
TEST(TestList, ShowsEveryTestButTheHelpEntries)
{
    ScratchDir scratch;
    RunResult result = run_program(scratch, program_path("kelnprobe"), {"-n"});
    EXPECT_EQ(result.exit_code, 1);
    const std::string header = "\nAvailable Tests are:\n";
    ASSERT_EQ(result.out.substr(0, header.size()), header);
    ASSERT_GE(result.out.size(), header.size() + 2);
    EXPECT_EQ(result.out.substr(result.out.size() - 2), "\n\n");
    std::string body = result.out.substr(header.size(), result.out.size() - header.size() - 1);
    std::vector<std::string> lines;
    for (size_t at = 0; at < body.size();) {
        size_t end = body.find('\n', at);
        lines.push_back(body.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 64u);
    EXPECT_EQ(lines.front(), "\tnull\t\tNull timing loop");
    EXPECT_EQ(lines[2], "\tstattree\tStat tree test");
    EXPECT_EQ(lines[17], "\topen-unlink\tOpen and unlink file test");
    EXPECT_EQ(lines.back(), "\tgetcache\tGet default cache values for this host");

    // The list option of a test prints the same list.
    RunResult again = run_program(scratch, program_path("kelnprobe"), {"null", "-c", "2", "-n"});
    EXPECT_EQ(again.out, result.out);
}

TEST(Timing, NullLoopReportsCallsAndRate)
{
    ScratchDir scratch;
    RunResult result = run_program(scratch, program_path("kelnprobe"), {"null", "-t", "-c", "1000000"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(std::regex_match(result.out,
        std::regex("null: Null timing loop\n"
                   "\t1000000 fs calls in [0-9]+\\.[0-9]{3} secs \\((test too short|[0-9]+/sec)\\)\n"
                   "\tnull ok\\.\n")))
        << result.out;
    EXPECT_EQ(result.err, "");
}

} // namespace
