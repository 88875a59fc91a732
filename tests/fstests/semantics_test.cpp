// The create, read/write, attribute, open-unlink, open-rename, directory-read
// and rename tests, on this host's file system and under the fault library.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdint.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "cli.h"
#include "fsfault_env.h"

namespace {

using Env = std::vector<std::pair<std::string, std::string>>;

std::vector<std::string> entries(const std::string &path)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(path.c_str())) {
        while (struct dirent *entry = readdir(dir))
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

RunResult probe(const ScratchDir &scratch, const std::vector<std::string> &args, const Env &env = {})
{
    RunOptions options;
    options.env = env;
    return run_program(scratch, program_path("kelnprobe"), args, options);
}

void make_testdir(const ScratchDir &scratch)
{
    ASSERT_EQ(probe(scratch, {"mktree", "-s", "-l", "1", "-d", "0", "-f", "0"}).exit_code, 0);
}

void make_subdir(const ScratchDir &scratch)
{
    mkdir((scratch / "d").c_str(), 0777);
    mkdir((scratch / "d/sub").c_str(), 0777);
}

const std::vector<std::string> marker_only = {"ismtest.dir"};

// The test directory holds the marker and nothing else.
void only_marker_left(const ScratchDir &s) { EXPECT_EQ(entries(s / "kelnprobedir"), marker_only); }

const char NAME[] = "[a-z0-9]{6}";
const char MARK[] = "\\([0-9a-f]{16}\\)";
const char RATE[] = " in [0-9]+\\.[0-9]{3} secs \\((test too short|[0-9]+/sec)\\)\n";

std::string banner(const std::string &test, const std::string &description)
{
    return test + ": " + description + " on kelnprobedir\n";
}

struct Case {
    const char *title;
    std::function<void(const ScratchDir &)> prepare;
    std::vector<std::string> args;
    Env env;
    int exit_code;
    std::string out; // regular expressions
    std::string err;
    std::function<void(const ScratchDir &)> check;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.title; }

const std::string CREAT = banner("creat", "Creat/Open test");
const std::string RDWR = banner("rdwr", "Write/Read/Verify test");
const std::string OPEN_UNLINK = banner("open-unlink", "Open and unlink file test");
const std::string OPEN_RENAME = banner("open-rename", "Open and rename file test");
const std::string READDIR = banner("readdir", "Read directory test");

const Case cases[] = {
    // creat
    {"creat_passes", nullptr, {"creat", "-c", "2"}, {}, 0, CREAT + "\tcreat ok\\.\n", "", only_marker_left},
    {"creat_exclusive_create_succeeds", nullptr, {"creat"}, fsfault_env("excl-ok"), 1, CREAT,
     std::string("\\(\\?creat\\): excl creat 'kel_creat") + NAME + "' succeeded!\n", nullptr},
    {"creat_open_truncates", nullptr, {"creat"}, fsfault_env("trunc-open"), 1, CREAT,
     std::string("\\(\\?creat\\): kel_creat") + NAME + ": size4 0 not 56\n", nullptr},

    // rdwr
    {"rdwr_two_chunks", make_testdir, {"rdwr", "-b", "10000"}, {}, 0,
     RDWR + "\twrote/read/verified 9 Kbytes 1 times\n\trdwr ok\\.\n", "",
     [](const ScratchDir &s) {
         std::vector<std::string> names = entries(s / "kelnprobedir");
         ASSERT_EQ(names.size(), 2u);
         std::string data = read_file(s / ("kelnprobedir/" + names[1]));
         ASSERT_EQ(data.size(), 10000u); // 8192 and 1808: the pattern, its second copy cut
         for (size_t i = 0; i < data.size(); i += 2) {
             uint16_t word = (uint16_t)((unsigned char)data[i] | (unsigned char)data[i + 1] << 8);
             ASSERT_EQ(word, (i % 8192) / 2) << "at byte " << i;
         }
     }},
    {"rdwr_under_one_kbyte", make_testdir, {"rdwr", "-b", "1000"}, {}, 0,
     RDWR + "\twrote/read/verified 0 Kbytes 1 times\n\trdwr ok\\.\n", "", nullptr},
    {"rdwr_rate_counts_both_ways", make_testdir, {"rdwr", "-t", "-c", "3", "-b", "64k"}, {}, 0,
     RDWR + "\twrote/read/verified 64 Kbytes 3 times" + RATE + "\trdwr ok\\.\n", "", nullptr},
    {"rdwr_corrupted_byte", make_testdir, {"rdwr", "-b", "10000"}, fsfault_env("corrupt-read=9000"), 1, RDWR,
     std::string("1 6b 1\n\\(\\?rdwr\\): 'kel_rdwr") + NAME + "' byte 808, bad data\n", nullptr},
    {"rdwr_first_byte_corrupted", make_testdir, {"rdwr", "-b", "100"}, fsfault_env("corrupt-read=0"), 1, RDWR,
     std::string("ffffffff 0 1\n\\(\\?rdwr\\): 'kel_rdwr") + NAME + "' byte 0, bad data\n", nullptr},

    // setattr, neg-seek, open-chmod, fddup
    {"setattr_counts_four_calls_a_file", nullptr, {"setattr", "-t", "-c", "2", "-f", "3"}, {}, 0,
     banner("setattr", "Setattr/stat test") + "\t24 fs calls" + RATE + "\tsetattr ok\\.\n", "",
     [](const ScratchDir &s) {
         struct stat st;
         ASSERT_EQ(stat((s / "kelnprobedir/fil00002").c_str(), &st), 0);
         EXPECT_EQ(st.st_mode & 0777, 0666u);
     }},
    {"setattr_no_files", nullptr, {"setattr", "-t", "-f", "0"}, {}, 0,
     banner("setattr", "Setattr/stat test") + "\t0 fs calls" + RATE + "\tsetattr ok\\.\n", "", nullptr},
    {"negseek_refused_negative_offsets", nullptr, {"neg-seek", "-c", "3"}, {}, 0,
     banner("neg-seek", "Negative seek test") + "\t45 expected seek failures\n\t0 expected read failures\n"
                                                "\tneg-seek ok\\.\n",
     "", only_marker_left},
    {"open_chmod_passes", nullptr, {"open-chmod", "-c", "2"}, {}, 0,
     banner("open-chmod", "Open and chmod file test") + "\topen-chmod ok\\.\n", "", only_marker_left},
    {"fddup_without_operand", nullptr, {"fddup"}, {}, 1, "", "\\(\\?fddup\\): Pathname required\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s.path()), std::vector<std::string>{}); }},
    {"fddup_counts_no_calls", make_testdir, {"fddup", "-t", "-c", "2", "kelnprobedir"}, {}, 0,
     std::string("\t0 fs calls") + RATE + "\tfddup ok\\.\n", "", only_marker_left},

    // open-unlink and open-rename
    {"open_unlink_no_junk_file_here", nullptr, {"open-unlink"}, {}, 1, OPEN_UNLINK,
     std::string("\\(\\?open-unlink\\): can't find junk file for 'keln_ou") + NAME + "' " + MARK + "\n", nullptr},
    {"open_rename_no_junk_file_here", nullptr, {"open-rename"}, {}, 1, OPEN_RENAME,
     std::string("\\(\\?open-rename\\): can't find junk file for 'keln_ou") + NAME + "' " + MARK + "\n", nullptr},
    {"open_unlink_with_junk_files", nullptr, {"open-unlink", "-c", "3"}, fsfault_env("junk"), 0,
     OPEN_UNLINK + "\topen-unlink ok\\.\n", "", only_marker_left},
    {"open_rename_with_junk_files", nullptr, {"open-rename", "-c", "3"}, fsfault_env("junk"), 0,
     OPEN_RENAME + "\topen-rename ok\\.\n", "", only_marker_left},
    {"open_unlink_junk_file_stays", nullptr, {"open-unlink"}, fsfault_env("junk-stays"), 1, OPEN_UNLINK,
     std::string("\\(\\?open-unlink\\): junk file '\\.keln[0-9a-f]+' ") + MARK + " for 'keln_ou" + NAME +
         "' still there after close\n",
     nullptr},
    {"open_rename_junk_file_stays", nullptr, {"open-rename"}, fsfault_env("junk-stays"), 1, OPEN_RENAME,
     std::string("\\(\\?open-rename\\): junk file '\\.keln[0-9a-f]+' ") + MARK + " for 'keln_ou" + NAME +
         "' still there after close\n",
     nullptr},

    // readdir
    {"readdir_every_pass", nullptr, {"readdir", "-c", "5", "-f", "5"}, {}, 0,
     READDIR + "\t30 entries read/verified\n\treaddir ok\\.\n", "", only_marker_left},
    {"readdir_more_passes_than_files", nullptr, {"readdir", "-c", "6", "-f", "5"}, {}, 1, "",
     "\\(\\?readdir\\): -c 6 must be <= -f 5\n", nullptr},
    {"readdir_no_files", nullptr, {"readdir", "-f", "0"}, {}, 1, "", "\\(\\?readdir\\): -c 1 must be <= -f 0\n",
     nullptr},
    {"readdir_short_stray_name", nullptr, {"readdir", "-f", "5"}, fsfault_env("phantom=zzz"), 1,
     READDIR + "\t9 entries read/verified\n",
     "\\(\\?readdir\\): bad dirent name length 'zzz'\n\\(\\?readdir\\): test failed with 1 errors\n",
     nullptr},
    {"readdir_stray_number_out_of_range", nullptr, {"readdir", "-s", "-c", "2", "-f", "5"},
     fsfault_env("phantom=fil99999"), 1, "",
     "(\\(\\?readdir\\): file name out of range 'fil99999'\n){2}\\(\\?readdir\\): test failed with 2 errors\n",
     nullptr},
    {"readdir_repeated_entry", nullptr, {"readdir", "-c", "5", "-f", "5"}, fsfault_env("dup-dirent"), 1,
     READDIR + "\t[0-9]+ entries read/verified\n",
     "(\\(\\?readdir\\): [^\n]*\n)*\\(\\?readdir\\): duplicate name 'fil0000[0-4]' read\n"
     "(\\(\\?readdir\\): [^\n]*\n)*\\(\\?readdir\\): test failed with [1-9][0-9]* errors\n",
     nullptr},

    // rename2
    {"rename2_without_operand", nullptr, {"rename2"}, {}, 1, "", "\\(\\?rename2\\): Pathname required\n", nullptr},
    {"rename2_without_leaf", make_subdir, {"rename2", "d"}, {}, 1, "",
     "\\(\\?rename2\\): dir leafname required as 2'nd arg\n", nullptr},
    {"rename2_leaf_with_slash", make_subdir, {"rename2", "d", "sub/."}, {}, 1, "",
     "\\(\\?rename2\\): dir leafname must not have '/' in it\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "d"), std::vector<std::string>{"sub"}); }},
    {"rename2_missing_leaf", make_subdir, {"rename2", "d", "nosuch"}, {}, 1, "",
     "\\(\\?rename2\\): can't stat 'd/nosuch': No such file or directory\n", nullptr},
    {"rename2_passes", make_subdir, {"rename2", "-t", "-c", "3", "d", "sub"}, {}, 0,
     std::string("\t6 fs calls") + RATE + "\trename2 ok\\.\n", "",
     [](const ScratchDir &s) {
         EXPECT_EQ(entries(s / "d"), std::vector<std::string>{"sub"});
         EXPECT_EQ(entries(s / "d/sub"), std::vector<std::string>{});
     }},
};

class SemanticsTests : public testing::TestWithParam<Case> {};

TEST_P(SemanticsTests, PrintsAndExitsExactly)
{
    const Case &c = GetParam();
    ScratchDir scratch;
    if (c.prepare)
        c.prepare(scratch);
    RunResult result = probe(scratch, c.args, c.env);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_TRUE(std::regex_match(result.out, std::regex(c.out))) << result.out;
    EXPECT_TRUE(std::regex_match(result.err, std::regex(c.err))) << result.err;
    if (c.check)
        c.check(scratch);
}

INSTANTIATE_TEST_SUITE_P(Kelnprobe, SemanticsTests, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.title); });

// rexist renames each file onto a new one and back; every comparison prints both records.
TEST(Rexist, RenamesOntoAnExistingFileAndBack)
{
    ScratchDir scratch;
    RunResult result = probe(scratch, {"rexist", "-f", "1"});
    EXPECT_EQ(result.exit_code, 0) << result.err;
    std::string record = "(\t\tst_[a-z]+ += [0-9a-f]+\n){6}";
    EXPECT_TRUE(std::regex_match(result.out, std::regex("rexist: Rename to existing file test on kelnprobedir\n(" +
                                                        record + record + "){3}\trexist ok\\.\n")))
        << result.out;
    EXPECT_EQ(entries(scratch / "kelnprobedir"), (std::vector<std::string>{"fil00000", "ismtest.dir"}));
}

} // namespace
