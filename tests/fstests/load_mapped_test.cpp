// The load tests and the mapped-file tests as a user runs them, on a sound
// file system and on one that misbehaves (the fault library, preloaded).
#include <gtest/gtest.h>

#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"
#include "fsfault_env.h"

namespace {

// An expected text: literal, but "@" stands for a generated file name and
// "%T" for the timing of a rate line.
std::regex expected(const std::string &text)
{
    std::string pattern;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '@') {
            pattern += "[A-Za-z0-9_]+";
        } else if (text.compare(i, 2, "%T") == 0) {
            pattern += "[0-9]+\\.[0-9]{3} secs \\(([0-9]+/sec|test too short)\\)";
            i++;
        } else {
            if (strchr("\\^$.|?*+()[]{}", text[i]))
                pattern += '\\';
            pattern += text[i];
        }
    }
    return std::regex(pattern);
}

struct Case {
    const char *title;
    std::vector<std::string> args;
    const char *fault; // the faults of the fault library, or null
    int exit_code;
    std::string out;
    std::string err;
};

std::string repeat(const std::string &line, int times)
{
    std::string text;
    for (int i = 0; i < times; i++)
        text += line;
    return text;
}

const std::string rwhilem_line = "\trwhilem verified results of reading into region which has bee mmaped from the same file\n";

const Case cases[] = {
    {"creat_rm_load_passes", {"creat-rm-load", "-t", "-c", "1000", "d"}, nullptr, 0,
     "creat-rm-load: Create/remove load test on d\n\t1000 create/link/remove 'cr@' in %T\n\tcreat-rm-load ok.\n", ""},
    {"xcreat_load_passes", {"xcreat-load", "-t", "-c", "1000", "d"}, nullptr, 0,
     "xcreat-load: Exclusive create load test on d\n\t1000 xcreat/xcreat(fails)/unlink 'kel_xcr@' in %T\n"
     "\txcreat-load ok.\n",
     ""},
    {"rename_load_passes", {"rename-load", "-t", "-c", "1000", "d"}, nullptr, 0,
     "rename-load: Rename load test on d\n\t2000 fs calls in %T\n\trename-load ok.\n", ""},
    {"mkdir_load_passes", {"mkdir-load", "-t", "-c", "1000", "d"}, nullptr, 0,
     "mkdir-load: Mkdir/rmdir load test on d\n\t1000 mkdir/rmdir 'kel_mkdirload@' in %T\n\tmkdir-load ok.\n", ""},
    {"load_without_timing", {"mkdir-load", "-c", "2", "d"}, nullptr, 0,
     "mkdir-load: Mkdir/rmdir load test on d\n\t2 mkdir/rmdir 'kel_mkdirload@'\n\tmkdir-load ok.\n", ""},
    {"silent_load_prints_nothing", {"creat-rm-load", "-s", "-t", "-c", "100", "d"}, nullptr, 0, "", ""},
    {"silent_rename_load_prints_nothing", {"rename-load", "-s", "-t", "-c", "100", "d"}, nullptr, 0, "", ""},
    {"refused_create_counted_every_pass", {"creat-rm-load", "-c", "3", "d"}, "refused-create", 1,
     "creat-rm-load: Create/remove load test on d\n\t3 create/link/remove 'cr@'\n\t3 create failed\n",
     repeat("(?creat-rm-load): create 'cr@' failed: Permission denied\n", 3) + "(?creat-rm-load): 3 total errors\n"},
    {"silent_load_still_fails", {"creat-rm-load", "-s", "-c", "2", "d"}, "refused-create", 1, "",
     repeat("(?creat-rm-load): create 'cr@' failed: Permission denied\n", 2) + "(?creat-rm-load): 2 total errors\n"},
    {"ignored_excl_counts_xcreat2", {"xcreat-load", "-c", "3", "d"}, "excl-ok", 1,
     "xcreat-load: Exclusive create load test on d\n\t3 xcreat/xcreat(fails)/unlink 'kel_xcr@'\n\t3 xcreat2 errors\n",
     repeat("(?xcreat-load): excl open 2 'kel_xcr@' succeeded?!\n", 3) + "(?xcreat-load): 3 total errors\n"},
    {"refused_excl_counts_xcreat", {"xcreat-load", "-c", "2", "d"}, "refused-create", 1,
     "xcreat-load: Exclusive create load test on d\n\t2 xcreat/xcreat(fails)/unlink 'kel_xcr@'\n\t2 xcreat errors\n"
     "\t2 unlink errors\n",
     repeat("(?xcreat-load): excl open 'kel_xcr@' failed: Permission denied\n"
            "(?xcreat-load): unlink 'kel_xcr@' failed: No such file or directory\n",
            2) +
         "(?xcreat-load): 4 total errors\n"},
    {"rwhilem_short_file", {"rwhilem_shar", "-b", "1000", "d"}, nullptr, 1,
     "rwhilem_shar: Read into MAP_SHARED mapped region on d\n", "(?rwhilem_shar): 'mm@' read 4096 failed (1000 read)\n"},
    {"rwhilem_priv_short_file", {"rwhilem_priv", "-b", "1000", "d"}, nullptr, 1,
     "rwhilem_priv: Read into MAP_PRIVATE mapped region on d\n", "(?rwhilem_priv): 'mm@' read 4096 failed (1000 read)\n"},
    {"rewrite_not_seen_by_mapping", {"mmaprewrite", "-b", "8192", "d"}, "lost-rewrite", 1,
     "mmaprewrite: Write syscall/mmap read consistency test on d\n", "(?mmaprewrite): data at 0x0 has first write data\n"},
    {"mapped_stores_not_in_file", {"mmapwrite", "-b", "8192", "d"}, "unshared-map", 1,
     "mmapwrite: Mmap write/read syscall consistency test on d\n",
     "(?mmapwrite): data at 0x0 has write data, not mmap data\n"},
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.title; }

void make_test_dir(const ScratchDir &scratch)
{
    mkdir((scratch / "d").c_str(), 0777);
    write_file(scratch / "d/ismtest.dir", "");
}

RunOptions with_fault(const char *fault)
{
    RunOptions options;
    if (fault)
        options.env = fsfault_env(fault);
    return options;
}

class LoadAndMapped : public testing::TestWithParam<Case> {};

TEST_P(LoadAndMapped, PrintsAndExitsExactly)
{
    const Case &c = GetParam();
    ScratchDir scratch;
    make_test_dir(scratch);
    RunResult result = run_program(scratch, program_path("kelnprobe"), c.args, with_fault(c.fault));
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_TRUE(std::regex_match(result.out, expected(c.out))) << result.out;
    EXPECT_TRUE(std::regex_match(result.err, expected(c.err))) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Runs, LoadAndMapped, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case> &info) { return std::string(info.param.title); });

// A sound pass leaves the directory as it found it: only the marker.
TEST(LoadTests, LeaveOnlyTheMarker)
{
    for (const char *test : {"creat-rm-load", "xcreat-load", "rename-load", "mkdir-load"}) {
        ScratchDir scratch;
        make_test_dir(scratch);
        RunResult result = run_program(scratch, program_path("kelnprobe"), {test, "-s", "-c", "50", "d"});
        EXPECT_EQ(result.exit_code, 0) << test << result.err;
        std::string listing = run_program(scratch, "/bin/ls", {"-A", "d"}).out;
        EXPECT_EQ(listing, "ismtest.dir\n") << test;
    }
}

// A read-only directory stops every create of creat-rm-load. Permission
// bits do not stop root; the refused-create case above stands in for it.
TEST(LoadTests, ReadOnlyDirectoryCountsCreateFailures)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root: permission bits do not stop its creates (refused_create_counted_every_pass covers it)";
    ScratchDir scratch;
    make_test_dir(scratch);
    chmod((scratch / "d").c_str(), 0555);
    RunResult result = run_program(scratch, program_path("kelnprobe"), {"creat-rm-load", "-c", "4", "d"});
    chmod((scratch / "d").c_str(), 0755);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_TRUE(std::regex_match(result.out, expected("creat-rm-load: Create/remove load test on d\n"
                                                      "\t4 create/link/remove 'cr@'\n\t4 create failed\n")))
        << result.out;
    EXPECT_TRUE(std::regex_match(result.err, expected(repeat("(?creat-rm-load): create 'cr@' failed: Permission denied\n", 4) +
                                                      "(?creat-rm-load): 4 total errors\n")))
        << result.err;
}

// Every mapped-file test passes on a sound file system with block-aligned,
// short, one-megabyte and large unaligned files.
TEST(MappedTests, PassOnEverySize)
{
    const std::vector<std::pair<std::string, std::string>> tests = {
        {"mmap", "\twrote/mmap verified %d Kbytes %d times\n"},
        {"mmapwrite", "\twrote/mmap wrote/read verified %d Kbytes %d times\n"},
        {"mmaprewrite", "\twrote/mmap/wrote/mmap verified %d Kbytes %d times\n"},
        {"rwhilem_priv", rwhilem_line},
        {"rwhilem_shar", rwhilem_line},
    };
    for (const char *size : {"4096", "1000", "1048576", "10000000"}) {
        for (const auto &[test, report] : tests) {
            if (test.starts_with("rwhilem") && std::string(size) == "1000")
                continue;
            ScratchDir scratch;
            RunResult result = run_program(scratch, program_path("kelnprobe"), {test, "-c", "2", "-b", size, "d"});
            EXPECT_EQ(result.exit_code, 0) << test << " -b " << size << ": " << result.err;
            char line[200];
            snprintf(line, sizeof line, report.c_str(), atoi(size) / 1024, 2);
            EXPECT_NE(result.out.find(line), std::string::npos) << test << " -b " << size << ": " << result.out;
            EXPECT_EQ(result.err, "");
        }
    }
}

} // namespace
