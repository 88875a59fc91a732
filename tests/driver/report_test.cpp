// The arithmetic and tables of the driver's reports, and the option values it keeps.
#include <gtest/gtest.h>

#include <string.h>

#include "probe.h"

namespace {

TEST(StatusText, RuntimeRangeThenServiceTableThenNumber)
{
    struct { int status; std::string text; } cases[] = {
        {2, strerror(2)},
        {22, strerror(22)},
        {1001, "TBS error"},
        {1002, "TBS not found"},
        {1031, "TBS db timeout"},
        {1072, "TBS Unix: Invalid argument"},
        {1087, "TBS Unix: Stale VIEW file handle"},
        {1026, "error code 1026"},
        {1040, "error code 1040"},
        {1006, "error code 1006"},
        {0, "error code 0"},
        {-1, "error code -1"},
        {999, "error code 999"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(probe_status_text(c.status), c.text) << c.status;
}

TEST(ErrorLine, StatusZeroEndsBareAndOthersAddTheirText)
{
    settings = ProbeSettings{};
    settings.test_index = -1;
    testing::internal::CaptureStderr();
    probe_error(0, "plain %d", 7);
    probe_error(-1, "own failure");
    settings.test_index = 2;
    probe_error(1002, "lookup '%s'", "x");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "(?keltest): plain 7\n"
              "(?keltest): own failure: error code -1\n"
              "(?null): lookup 'x': TBS not found\n");
}

TEST(LoopTimer, BorrowsAMillionMicroseconds)
{
    ElapsedTime elapsed = probe_time_between({10, 900000}, {12, 100000});
    EXPECT_EQ(elapsed.seconds, 1);
    EXPECT_EQ(elapsed.microseconds, 200000);
    elapsed = probe_time_between({5, 100000}, {7, 300000});
    EXPECT_EQ(elapsed.seconds, 2);
    EXPECT_EQ(elapsed.microseconds, 200000);
}

std::string rate_line(int64_t count, ElapsedTime elapsed, bool timing)
{
    settings = ProbeSettings{};
    settings.timing = timing;
    testing::internal::CaptureStdout();
    probe_print_elapsed(count, elapsed);
    return testing::internal::GetCapturedStdout();
}

TEST(RateLine, TenthsOfASecondDecideTheRate)
{
    EXPECT_EQ(rate_line(100, {2, 345000}, true), " in 2.345 secs (43/sec)\n");
    EXPECT_EQ(rate_line(100, {0, 50000}, true), " in 0.050 secs (test too short)\n");
    EXPECT_EQ(rate_line(7, {0, 99999}, true), " in 0.099 secs (test too short)\n");
    EXPECT_EQ(rate_line(7, {0, 100000}, true), " in 0.100 secs (70/sec)\n");
    EXPECT_EQ(rate_line(100, {2, 345000}, false), "\n");
    // Byte counts of large transfers rate without overflowing.
    EXPECT_EQ(rate_line(4000000000LL, {10, 0}, true), " in 10.000 secs (400000000/sec)\n");
}

TEST(SharedReport, PrintsOnlyWithTimingAndWithoutSilence)
{
    ElapsedTime elapsed{1, 0};
    struct { bool timing, silent; std::string out; } cases[] = {
        {true, false, "\t30 fs calls in 1.000 secs (30/sec)\n"},
        {true, true, ""},
        {false, false, ""},
    };
    for (const auto &c : cases) {
        settings = ProbeSettings{};
        settings.timing = c.timing;
        settings.silent = c.silent;
        settings.iteration = 3;
        settings.calls_per_iteration = 10;
        testing::internal::CaptureStdout();
        probe_report_calls(elapsed);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out);
    }
}

// Parses a command line the way probe_main does and returns the settings.
ProbeSettings parse(std::vector<std::string> words)
{
    static std::vector<std::string> kept;
    kept = std::move(words);
    kept.insert(kept.begin(), "kelnprobe");
    static std::vector<char *> argv;
    argv.clear();
    for (std::string &word : kept)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    static cl_handle last_args = nullptr;
    if (last_args)
        cl_release(last_args);
    settings = ProbeSettings{};
    settings.test_index = -1;
    settings.file_size = 1048576;
    settings.repeat_count = 1;
    settings.lookup_flags = LOOKUP_CASE_SENSITIVE;
    int status = -1;
    settings.args = last_args = cl_parse_argv((int)argv.size() - 1, argv.data(), &status);
    EXPECT_EQ(status, 0);
    probe_find_test(probe_next_arg());
    probe_parse_options();
    return settings;
}

TEST(Options, ValuesReachTheSettings)
{
    ProbeSettings s = parse({"rdwr", "-b", "8k", "-c", "3", "-t", "dir", "more"});
    EXPECT_STREQ(test_catalogue[s.test_index].name, "rdwr");
    EXPECT_EQ(s.file_size, 8192);
    EXPECT_EQ(s.repeat_count, 3);
    EXPECT_TRUE(s.timing);
    EXPECT_STREQ(s.target, "dir");
    EXPECT_STREQ(probe_next_name(), "more");
    EXPECT_EQ(probe_next_name(), nullptr);

    EXPECT_EQ(parse({"rdwr", "-b", "64K"}).file_size, 65536);
    EXPECT_EQ(parse({"rdwr", "-b", "10000"}).file_size, 10000);
    EXPECT_EQ(parse({"mktree", "-l", "2", "-d", "0", "-f", "0"}).levels, 2);
    EXPECT_EQ(settings.dir_count, 0);
    EXPECT_EQ(settings.file_count, 0);
    EXPECT_EQ(parse({"null", "-r", "1"}).view_root_kind, 1);
    EXPECT_EQ(parse({"null"}).target, nullptr);
}

TEST(Options, LookupFlags)
{
    EXPECT_EQ(parse({"getvob"}).lookup_flags, LOOKUP_CASE_SENSITIVE);
    EXPECT_EQ(parse({"lgetvob"}).lookup_flags, LOOKUP_CASE_SENSITIVE | LOOKUP_NOFOLLOW);
    EXPECT_STREQ(test_catalogue[settings.test_index].name, "getvob");
    EXPECT_EQ(parse({"xstat", "-L"}).lookup_flags, LOOKUP_CASE_SENSITIVE | LOOKUP_NOFOLLOW);
    EXPECT_EQ(parse({"xstat", "-i"}).lookup_flags, 0u);
    EXPECT_EQ(parse({"lxstat", "-i"}).lookup_flags, LOOKUP_NOFOLLOW);
}

TEST(Catalogue, HasItsFixedShape)
{
    EXPECT_STREQ(test_catalogue[0].name, "-h");
    EXPECT_STREQ(test_catalogue[8].name, "rdwr");
    EXPECT_STREQ(test_catalogue[65].name, "getcache");
    for (int i = 0; i < TEST_COUNT; i++) {
        const ProbeTest &t = test_catalogue[i];
        EXPECT_EQ(t.flags & ~0x3Fu, 0u) << t.name;
        EXPECT_NE(t.setup == nullptr && t.run == nullptr, true) << t.name;
        for (int j = 0; j < i; j++)
            EXPECT_STRNE(t.name, test_catalogue[j].name);
    }
    EXPECT_EQ(test_catalogue[65].flags, 0u);
}

} // namespace
