// dosrelay as a user meets it: messages, exit codes, what is relayed, signals,
// and that no pipe or private directory is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "cli.h"

namespace {

const char NO_PARAMETERS[] =
    "dosrelay: Error: No parameters specified.  You must specify the command\nand arguments to be executed.\n";

// Runs in a scratch directory whose TMPDIR is a directory of its own, empty
// before the run and checked to be empty after it.
class Dosrelay : public ::testing::Test {
protected:
    ScratchDir scratch;
    std::string tmpdir = scratch / "tmp";

    void SetUp() override { mkdir(tmpdir.c_str(), 0700); }
    void TearDown() override
    {
        EXPECT_TRUE(std::filesystem::is_empty(tmpdir)) << "left behind in TMPDIR";
    }
    RunResult run(const std::vector<std::string> &args, RunOptions options = {})
    {
        options.env.push_back({"TMPDIR", tmpdir});
        return run_program(scratch, program_path("dosrelay"), args, options);
    }
    // A shell line run with "$D" naming dosrelay.
    RunResult shell(const std::string &line)
    {
        RunOptions options;
        options.env = {{"TMPDIR", tmpdir}, {"D", program_path("dosrelay")}};
        options.timeout_seconds = 20;
        return run_program(scratch, "/bin/sh", {"-c", line}, options);
    }
};

struct Case {
    const char *title;
    std::vector<std::string> args;
    std::vector<std::pair<std::string, std::string>> env;
    std::string input;
    int exit_code;
    std::string out;
    std::string err;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.title; }

const std::string LONG_WORD(5000, 'x');

const Case cases[] = {
    {"no_parameters", {}, {}, "", 1, "", NO_PARAMETERS},
    {"exit_code", {"exit", "3"}, {}, "", 3, "", ""},
    {"output_and_error_relayed_in_order", {"echo out; echo err >&2; echo out2"}, {}, "", 0, "out\nerr\nout2\n", ""},
    {"words_joined_with_single_blanks", {"printf", "'%s|'", "a", "b  c"}, {}, "", 0, "a|b|c|", ""},
    {"long_command_line_not_cut", {"echo", LONG_WORD, "end"}, {}, "", 0, LONG_WORD + " end\n", ""},
    {"standard_input_inherited", {"tr a-z A-Z"}, {}, "relay me\n", 0, "RELAY ME\n", ""},
    {"signal_gives_128_plus_it", {"echo before; kill -TERM $$"}, {}, "", 143, "before\n", ""},
    {"comspec_is_the_interpreter", {"hello", "world"}, {{"COMSPEC", "/bin/echo"}}, "", 0, "-c hello world\n", ""},
    {"comspec_missing_program", {"echo", "hi"}, {{"COMSPEC", "/no/such/shell"}}, "", 1, "",
     "dosrelay: Error: Couldn't start sub-process.\nError 2 - No such file or directory\n"},
    {"comspec_found_on_path", {"echo $0"}, {{"COMSPEC", "sh"}}, "", 0, "sh\n", ""},
    {"pipe_cannot_be_made", {"true"}, {{"TMPDIR", "/no/such/dir"}}, "", 1, "",
     "dosrelay: Error: An error occurred while creating the named pipe.\nError 2 - No such file or directory\n"},
    {"command_in_a_session_of_its_own", {"[ \"$(cut -d' ' -f6 /proc/$$/stat)\" = $$ ] && echo own session"},
     {}, "", 0, "own session\n", ""},
    {"pipe_for_the_owner_alone", {"stat -L -c '%a %F' /proc/$$/fd/1 /proc/$$/fd/2"}, {}, "", 0,
     "600 fifo\n600 fifo\n", ""},
};

class DosrelayCase : public Dosrelay, public ::testing::WithParamInterface<Case> {};

TEST_P(DosrelayCase, Runs)
{
    const Case &c = GetParam();
    RunOptions options;
    options.input = c.input;
    options.env = c.env;
    // TMPDIR given by the case replaces the scratch one, which stays empty.
    options.env.insert(options.env.begin(), {"TMPDIR", tmpdir});
    RunResult result = run_program(scratch, program_path("dosrelay"), c.args, options);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Cases, DosrelayCase, ::testing::ValuesIn(cases),
                         [](const auto &info) { return std::string(info.param.title); });

// Bytes without a short period, so that a lost, repeated or moved block shows.
std::string pattern(size_t size)
{
    std::string data(size, '\0');
    uint32_t state = 12345;
    for (char &byte : data) {
        state = state * 1103515245u + 12345u;
        byte = (char)(state >> 16);
    }
    return data;
}

TEST_F(Dosrelay, FiftyMegabytesArriveWhenTheCommandExitsRightAfterWriting)
{
    std::string data = pattern(50 << 20);
    write_file(scratch / "big", data);
    RunResult result = run({"cat big; exit 4"});
    EXPECT_EQ(result.exit_code, 4);
    EXPECT_EQ(result.out.size(), data.size());
    EXPECT_TRUE(result.out == data) << "relayed bytes differ";
    EXPECT_EQ(result.err, "");
}

TEST_F(Dosrelay, OutputLeftByABackgroundWriterStillArrives)
{
    RunResult result = run({"(sleep 0.3; echo late) & echo early"});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, "early\nlate\n");
}

// When nobody reads dosrelay's output any more, the command meets a broken
// pipe and dosrelay ends with the command's exit code instead of dying itself.
TEST_F(Dosrelay, ReaderGoneEndsTheCommand)
{
    RunResult killed = shell("{ \"$D\" yes; echo $? >rc; } | head -1");
    ASSERT_FALSE(killed.timed_out);
    EXPECT_EQ(killed.out, "y\n");
    EXPECT_EQ(read_file(scratch / "rc"), "141\n");

    RunResult ignoring = shell("{ \"$D\" 'trap \"\" PIPE; yes 2>/dev/null; exit 5'; echo $? >rc; } | head -1");
    ASSERT_FALSE(ignoring.timed_out);
    EXPECT_EQ(ignoring.out, "y\n");
    EXPECT_EQ(read_file(scratch / "rc"), "5\n");
}

TEST_F(Dosrelay, InterruptAndQuitDoNotEndIt)
{
    RunResult result = run({"kill -INT $PPID; kill -QUIT $PPID; sleep 0.2; echo still here; exit 7"});
    EXPECT_EQ(result.exit_code, 7);
    EXPECT_EQ(result.out, "still here\n");
    EXPECT_EQ(result.err, "");
}

// Each command reports the pipe its output goes to and its parent's pid, and
// waits until the other one has started, so that both run at once.
TEST_F(Dosrelay, TwoAtOnceUseTheirOwnPipes)
{
    const char *report = "readlink /proc/$$/fd/1; echo $PPID; touch %s; i=0; "
                         "while [ ! -e %s ] && [ $i -lt 1000 ]; do sleep 0.01; i=$((i+1)); done";
    char first[256], second[256];
    snprintf(first, sizeof first, report, "a", "b");
    snprintf(second, sizeof second, report, "b", "a");
    RunResult result = shell(std::string("\"$D\" '") + first + "' >out1 & \"$D\" '" + second + "' >out2 & wait");
    ASSERT_FALSE(result.timed_out);

    std::regex form(tmpdir + "/dosrelay-[A-Za-z0-9]{6}/dosrelaypipe-([0-9]+) \\(deleted\\)\n([0-9]+)\n");
    std::smatch one, two;
    std::string out1 = read_file(scratch / "out1"), out2 = read_file(scratch / "out2");
    ASSERT_TRUE(std::regex_match(out1, one, form)) << out1;
    ASSERT_TRUE(std::regex_match(out2, two, form)) << out2;
    EXPECT_EQ(one[1], one[2]) << "pipe named after the dosrelay process";
    EXPECT_EQ(two[1], two[2]);
    EXPECT_NE(one[1], two[1]);
}

} // namespace
