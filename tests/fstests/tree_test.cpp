// The tree, lookup and unavailable tests, and the test-directory rules they
// share: the marker, the prompt, the builder and the remover.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <regex>

#include "cli.h"
#include "fstest.h"
#include "fsfault_env.h"

namespace {

// A directory of the user's own, without the marker.
void make_plain_dir(const ScratchDir &scratch)
{
    mkdir((scratch / "plain").c_str(), 0777);
    write_file(scratch / "plain/keep", "precious");
}

void make_default_tree(const ScratchDir &scratch) { ASSERT_EQ(probe(scratch, {"mktree", "-s"}).exit_code, 0); }

// A path longer than 1023 characters that exists, made of 200-character names.
std::string make_long_path(const ScratchDir &scratch)
{
    std::string path = scratch.path();
    std::string relative;
    for (int i = 0; i < 6; i++) {
        std::string part(200, 'a' + i);
        path += "/" + part;
        relative += (i ? "/" : "") + part;
        mkdir(path.c_str(), 0777);
    }
    return relative;
}

const char MKTREE_BANNER[] = "mktree: Make dirs and files test on kelnprobedir\n";
const char NO_FILE[] = ": No such file or directory\n";
const char AUTO_PASS[] = ": Test not implemented on this platform - automatic pass!\n";

struct Case {
    const char *title;
    std::function<void(const ScratchDir &)> prepare;
    std::vector<std::string> args;
    Env env;
    std::string input;
    int exit_code;
    std::string out;
    std::string err;
    std::function<void(const ScratchDir &)> check;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.title; }

const std::vector<std::string> default_marked = {"dir00000", "dir00001", "fil00000", "fil00001", "fil00002",
                                                 "fil00003", "fil00004", "ismtest.dir"};

const Case cases[] = {
    // Building.
    {"mktree_default_tree", nullptr, {"mktree"}, {}, "", 0,
     std::string(MKTREE_BANNER) + "\tcreated 62 dirs, 155 files, on 5 levels\n\tmktree ok.\n", "",
     [](const ScratchDir &s) {
         EXPECT_EQ(entries(s / "kelnprobedir"), default_marked);
         EXPECT_EQ(entries(s / "kelnprobedir/dir00001/dir00000/dir00001/dir00000/dir00001"), std::vector<std::string>{});
         EXPECT_EQ(entries(s / "kelnprobedir/dir00001/dir00000/dir00001/dir00000").size(), 7u);
     }},
    {"mktree_three_wide_two_deep", nullptr, {"mktree", "-l", "2", "-d", "3", "-f", "1"}, {}, "", 0,
     std::string(MKTREE_BANNER) + "\tcreated 12 dirs, 4 files, on 2 levels\n\tmktree ok.\n", "", nullptr},
    {"mktree_files_only", nullptr, {"mktree", "-l", "1", "-d", "0", "-f", "3"}, {}, "", 0,
     std::string(MKTREE_BANNER) + "\tcreated 0 dirs, 3 files, on 1 levels\n\tmktree ok.\n", "",
     [](const ScratchDir &s) {
         EXPECT_EQ(entries(s / "kelnprobedir"),
                   (std::vector<std::string>{"fil00000", "fil00001", "fil00002", "ismtest.dir"}));
     }},
    {"mktree_silent", nullptr, {"mktree", "-s"}, {}, "", 0, "", "", nullptr},
    {"mktree_in_keltestdir", nullptr, {"mktree", "-l", "1", "-d", "0", "-f", "0"}, {{"KELTESTDIR", "kt"}}, "", 0,
     "mktree: Make dirs and files test on kt\n\tcreated 0 dirs, 0 files, on 1 levels\n\tmktree ok.\n", "",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "kt"), std::vector<std::string>{"ismtest.dir"}); }},
    {"mktree_empties_a_marked_dir_without_asking",
     [](const ScratchDir &s) {
         make_default_tree(s);
         write_file(s / "kelnprobedir/stray", "x");
     },
     {"mktree", "-l", "1", "-d", "0", "-f", "1"}, {}, "", 0,
     std::string(MKTREE_BANNER) + "\tcreated 0 dirs, 1 files, on 1 levels\n\tmktree ok.\n", "",
     [](const ScratchDir &s) {
         EXPECT_EQ(entries(s / "kelnprobedir"), (std::vector<std::string>{"fil00000", "ismtest.dir"}));
     }},

    // The prompt before an unmarked directory is emptied.
    {"prompt_no_saves", make_plain_dir, {"mktree", "plain"}, {}, "no\n", 1,
     "plain is not a test dir; proceed? ", "(?mktree): plain saved!\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"keep"}); }},
    {"prompt_end_of_input_saves", make_plain_dir, {"mktree", "plain"}, {}, "", 1,
     "plain is not a test dir; proceed? ", "(?mktree): plain saved!\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"keep"}); }},
    {"prompt_only_the_first_character_counts", make_plain_dir, {"mktree", "plain"}, {}, "  nyes\n", 1,
     "plain is not a test dir; proceed? ", "(?mktree): plain saved!\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"keep"}); }},
    {"prompt_lower_y_proceeds", make_plain_dir, {"mktree", "-l", "1", "-d", "0", "-f", "0", "plain"}, {}, "y\n", 0,
     "plain is not a test dir; proceed? mktree: Make dirs and files test on plain\n"
     "\tcreated 0 dirs, 0 files, on 1 levels\n\tmktree ok.\n",
     "", [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"ismtest.dir"}); }},
    {"prompt_long_word_with_upper_y_proceeds", make_plain_dir, {"mktree", "-s", "-l", "1", "-d", "0", "-f", "0", "plain"},
     {}, "Y" + std::string(60, 'z') + "\n", 0, "plain is not a test dir; proceed? ", "",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"ismtest.dir"}); }},
    {"testbindir_skips_the_prompt", make_plain_dir, {"mktree", "-s", "-l", "1", "-d", "0", "-f", "0", "plain"},
     {{"TESTBINDIR", ""}}, "", 0, "", "",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"ismtest.dir"}); }},
    {"stattree_prompts_and_saves", make_plain_dir, {"stattree", "plain"}, {}, "n\n", 1,
     "plain is not a test dir; proceed? ", "(?stattree): plain saved!\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"keep"}); }},
    {"rmtree_of_unmarked_dir_saves", make_plain_dir, {"rmtree", "plain"}, {}, "", 1,
     "plain is not a test dir; proceed? ", "(?rmtree): plain saved!\n",
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "plain"), std::vector<std::string>{"keep"}); }},

    // Walking.
    {"stattree_default_tree", make_default_tree, {"stattree"}, {}, "", 0,
     "stattree: Stat tree test on kelnprobedir\n\t280 stats; 62 dirs, 155 files on 5 levels\n\tstattree ok.\n", "",
     nullptr},
    {"stattree_twice", make_default_tree, {"stattree", "-c", "2"}, {}, "", 0,
     "stattree: Stat tree test on kelnprobedir\n\t560 stats; 124 dirs, 310 files on 5 levels\n\tstattree ok.\n", "",
     nullptr},
    {"stattree_absolute_target_twice", make_default_tree, {"stattree", "-s", "-c", "2", "ABS:kelnprobedir"}, {}, "",
     0, "", "", nullptr},
    {"stattree_relative_path_second_run_fails",
     [](const ScratchDir &s) {
         mkdir((s / "top").c_str(), 0777);
         mkdir((s / "top/t").c_str(), 0777);
         write_file(s / "top/t/ismtest.dir", "");
         write_file(s / "top/t/f", "");
     },
     {"stattree", "-c", "2", "top/t"}, {}, "", 1, "stattree: Stat tree test on top/t\n",
     std::string("(?stattree): stat 'top/t' failed") + NO_FILE, nullptr},
    {"stattree_missing_dir", nullptr, {"stattree", "nosuchdir"}, {}, "", 1, "",
     std::string("(?stattree): stat of test dir 'nosuchdir' failed") + NO_FILE, nullptr},
    {"stattree_of_a_plain_file_after_yes", [](const ScratchDir &s) { write_file(s / "file", ""); },
     {"stattree", "file"}, {}, "y\n", 1, "file is not a test dir; proceed? ",
     "(?stattree): creat of file/ismtest.dir failed: Not a directory\n", nullptr},

    // Removing.
    {"rmtree_default_tree", make_default_tree, {"rmtree"}, {}, "", 0,
     "rmtree: Remove dirs and files test on kelnprobedir\n\t63 dirs, 156 files removed\n\trmtree ok.\n", "",
     [](const ScratchDir &s) { EXPECT_FALSE(path_exists(s / "kelnprobedir")); }},
    {"rmtree_second_run_fails_at_first_stat", make_default_tree, {"rmtree", "-c", "2"}, {}, "", 1,
     "rmtree: Remove dirs and files test on kelnprobedir\n",
     std::string("(?rmtree): stat 'kelnprobedir' failed") + NO_FILE,
     [](const ScratchDir &s) { EXPECT_FALSE(path_exists(s / "kelnprobedir")); }},
    {"rmtree_relative_path_fails_at_the_end",
     [](const ScratchDir &s) {
         mkdir((s / "a").c_str(), 0777);
         mkdir((s / "a/b").c_str(), 0777);
         write_file(s / "a/b/ismtest.dir", "");
     },
     {"rmtree", "a/b"}, {}, "", 1, "rmtree: Remove dirs and files test on a/b\n",
     std::string("(?rmtree): rmdir 'a/b' failed") + NO_FILE,
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "a/b"), std::vector<std::string>{}); }},
    {"rmtree_absolute_target", make_default_tree, {"rmtree", "-s", "ABS:kelnprobedir"}, {}, "", 0, "", "",
     [](const ScratchDir &s) { EXPECT_FALSE(path_exists(s / "kelnprobedir")); }},
    {"rmtree_skips_an_entry_that_vanishes",
     [](const ScratchDir &s) { ASSERT_EQ(probe(s, {"mktree", "-s", "-l", "2", "-d", "1", "-f", "3"}).exit_code, 0); },
     {"rmtree"}, fsfault_env("vanish=fil00001"), "", 0,
     "rmtree: Remove dirs and files test on kelnprobedir\n\t3 dirs, 6 files removed\n\trmtree ok.\n", "",
     [](const ScratchDir &s) { EXPECT_FALSE(path_exists(s / "kelnprobedir")); }},
    {"rmtree_counts_every_entry_without_the_fault",
     [](const ScratchDir &s) { ASSERT_EQ(probe(s, {"mktree", "-s", "-l", "2", "-d", "1", "-f", "3"}).exit_code, 0); },
     {"rmtree"}, {}, "", 0,
     "rmtree: Remove dirs and files test on kelnprobedir\n\t3 dirs, 7 files removed\n\trmtree ok.\n", "", nullptr},

    // Names too long for the path buffers, and names the system refuses.
    {"name_over_1023_characters_missing", nullptr, {"mktree", std::string(1100, 'x')}, {}, "", 1, "",
     "(?mktree): mkdir " + std::string(1100, 'x') + " failed: File name too long\n", nullptr},
    {"marker_path_over_1023_characters", nullptr, {"mktree", "LONG:"}, {{"TESTBINDIR", "1"}}, "", 1, "",
     "(?mktree): path of 1217 characters is too long (at most 1023): '" + std::string(60, 'a') + "...'\n", nullptr},

    // Single lookups.
    {"stat_missing_name", nullptr, {"stat", "nosuch"}, {}, "", 1, "stat: Lstat an object on nosuch\n",
     std::string("(?stat): stat 'nosuch' failed (-1)") + NO_FILE, nullptr},
    {"stat_without_operand", nullptr, {"stat"}, {}, "", 1, "", "(?stat): pathname required\n", nullptr},
    {"stat_silent", nullptr, {"stat", "-s", "-c", "3", "."}, {}, "", 0, "", "", nullptr},

    // Tests that are not available here.
    {"seekdir_unavailable", nullptr, {"seekdir", "-f", "2"}, {}, "", 1, "seekdir: Seekdir test on kelnprobedir\n",
     "(?seekdir): NT NYI (uses telldir, seekdir): Invalid argument\n",
     [](const ScratchDir &s) {
         EXPECT_EQ(entries(s / "kelnprobedir"), (std::vector<std::string>{"fil00000", "fil00001", "ismtest.dir"}));
     }},
    {"link_unavailable", nullptr, {"link"}, {}, "", 0, "link: Link/Unlink/Rename test on kelnprobedir\n",
     std::string("(?link)") + AUTO_PASS, nullptr},
    {"symlink_unavailable", nullptr, {"symlink", "-c", "2"}, {}, "", 0,
     "symlink: Symlink/readlink test on kelnprobedir\n", std::string("(?symlink)") + AUTO_PASS,
     [](const ScratchDir &s) { EXPECT_EQ(entries(s / "kelnprobedir"), std::vector<std::string>{"ismtest.dir"}); }},
    {"statfs_unavailable", nullptr, {"statfs"}, {}, "", 0, "", std::string("(?statfs)") + AUTO_PASS,
     [](const ScratchDir &s) { EXPECT_FALSE(path_exists(s / "kelnprobedir")); }},
    {"xdev_unavailable", nullptr, {"xdev", "-f", "3"}, {}, "", 0, "", std::string("(?xdev)") + AUTO_PASS, nullptr},
    {"access_unavailable", nullptr, {"access", "-t"}, {}, "", 0, "", std::string("(?access)") + AUTO_PASS, nullptr},
};

class TreeTests : public testing::TestWithParam<Case> {};

TEST_P(TreeTests, PrintsAndExitsExactly)
{
    const Case &c = GetParam();
    ScratchDir scratch;
    if (c.prepare)
        c.prepare(scratch);
    // "ABS:" makes an operand absolute in the scratch directory; "LONG:" names a long existing path.
    std::vector<std::string> args = c.args;
    std::string out = c.out;
    for (std::string &arg : args) {
        if (arg.rfind("ABS:", 0) == 0)
            arg = scratch / arg.substr(4);
        else if (arg == "LONG:")
            arg = make_long_path(scratch);
    }
    RunResult result = probe(scratch, args, c.env, c.input);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, c.err);
    if (c.check)
        c.check(scratch);
}

INSTANTIATE_TEST_SUITE_P(Kelnprobe, TreeTests, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.title); });

// Six lines of one stat record, each behind two tabs.
std::string stat_lines(const std::string &mode)
{
    return "\t\tst_mode    = " + mode + "\n\t\tst_nlink   = [0-9]+\n\t\tst_size    = [0-9]+\n"
           "\t\tst_atime   = [0-9a-f]+\n\t\tst_mtime   = [0-9a-f]+\n\t\tst_ctime   = [0-9a-f]+\n";
}

TEST(Getwd, PrintsBothRecordsEvenWhenSilent)
{
    ScratchDir scratch;
    chmod(scratch.path().c_str(), 0750);
    RunResult result = probe(scratch, {"getwd", "-s", "-c", "3"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(std::regex_match(result.out, std::regex(stat_lines("40750") + stat_lines("40750")))) << result.out;
    EXPECT_EQ(result.err, "");
}

TEST(Getwd, PassesInANamedDirectory)
{
    ScratchDir scratch;
    mkdir((scratch / "sub").c_str(), 0755);
    RunResult result = probe(scratch, {"getwd", "sub"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(std::regex_match(result.out, std::regex("getwd: Getwd/stat test \\(lookup across mount point\\) on sub\n" +
                                                        stat_lines("40755") + stat_lines("40755") + "\tgetwd ok\\.\n")))
        << result.out;

    RunResult missing = probe(scratch, {"getwd", "nosuch"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.err, std::string("(?getwd): chdir nosuch failed") + NO_FILE);
}

TEST(Stat, PrintsTheRecord)
{
    ScratchDir scratch;
    write_file(scratch / "f", "12345");
    chmod((scratch / "f").c_str(), 0640);
    RunResult result = probe(scratch, {"stat", "f"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_TRUE(std::regex_match(result.out, std::regex("stat: Lstat an object on f\n\tStat info:\n"
                                                        "\t\tst_mode    = 100640\n\t\tst_nlink   = 1\n"
                                                        "\t\tst_size    = 5\n\t\tst_atime   = [0-9a-f]+\n"
                                                        "\t\tst_mtime   = [0-9a-f]+\n\t\tst_ctime   = [0-9a-f]+\n"
                                                        "\tstat ok\\.\n")))
        << result.out;
}

// The stat walk is the program's one exported function.
TEST(Exports, StattreeOnly)
{
    ScratchDir scratch;
    RunResult result = run_program(scratch, "/usr/bin/nm", {"-D", "--defined-only", program_path("kelnprobe")});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    // Weak copies of the C++ library's templates that the linker exports
    // beside it (namespace std) are the library's, not the program's.
    std::regex function_line("[0-9a-f]+ ([TW]) (\\S+)");
    std::regex library_copy("_ZN?K?St.*");
    std::vector<std::string> functions;
    for (std::sregex_iterator it(result.out.begin(), result.out.end(), function_line), end; it != end; ++it)
        if ((*it)[1] == "T" || !std::regex_match((*it)[2].str(), library_copy))
            functions.push_back((*it)[2]);
    EXPECT_EQ(functions, std::vector<std::string>{"stattree"});
}

} // namespace
