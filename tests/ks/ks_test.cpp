// The kernel-services stand-in: argument parser, messages, string and file-name utilities.
#include <gtest/gtest.h>

#include <limits.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ks.h"

namespace {

// Parses words with an option string and writes what the parser returns as
// text: letters with their values, "?" with the error text, operands as [x].
std::string walk(std::vector<std::string> words, const char *optstring = "hntsLic:b:d:f:l:r:")
{
    words.insert(words.begin(), "prog");
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    int status = -1;
    cl_handle args = cl_parse_argv((int)words.size(), argv.data(), &status);
    EXPECT_EQ(status, 0);
    std::string trace;
    for (int letter; (letter = cl_getopt(args, optstring)) != 0;) {
        if (letter == '?') {
            trace += std::string("?(") + cl_estr(args) + "," + std::to_string(cl_errno(args)) + ")";
            break;
        }
        trace += (char)letter;
        if (const char *colon = strchr(optstring, letter); colon && colon[1] == ':')
            trace += std::string("=") + cl_getarg(args);
        trace += " ";
    }
    while (const char *name = cl_getname(args))
        trace += std::string("[") + name + "]";
    cl_release(args);
    return trace;
}

TEST(ArgumentParser, OptionsThenOperands)
{
    struct { std::vector<std::string> words; std::string trace; } cases[] = {
        {{"-ts", "dir"}, "t s [dir]"},
        {{"-c3", "-b", "8k", "x", "y"}, "c=3 b=8k [x][y]"},
        {{"-tc", "5", "x"}, "t c=5 [x]"},
        {{"-c", "-1"}, "c=-1 "},
        {{"--", "-t"}, "[-t]"},
        {{"x", "-t"}, "[x][-t]"},
        {{"-", "x"}, "[-][x]"},
        {{"-q"}, "?(unknown option -q,22)"},
        {{"-t:"}, "t ?(unknown option -:,22)"},
        {{"-c"}, "?(option -c needs a value,22)"},
        {{}, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(walk(c.words), c.trace);
}

TEST(ArgumentParser, RawArgumentsBeforeOptions)
{
    std::vector<std::string> words = {"prog", "null", "-c", "2", "a", "b"};
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    int status;
    cl_handle args = cl_parse_argv((int)argv.size(), argv.data(), &status);
    EXPECT_STREQ(cl_getarg(args), "null");
    EXPECT_EQ(cl_getopt(args, "c:"), 'c');
    EXPECT_STREQ(cl_getarg(args), "2");
    EXPECT_EQ(cl_getopt(args, "c:"), 0);
    EXPECT_STREQ(cl_getname(args), "a");
    EXPECT_STREQ(cl_getarg(args), "b");
    EXPECT_EQ(cl_getarg(args), nullptr);
    EXPECT_EQ(cl_getname(args), nullptr);
    cl_release(args);
}

TEST(Messages, TableEntriesAndLiteralFormats)
{
    static const char *const texts[] = {"first %d\n", "second\nline two\n"};
    static const uint16_t ids[] = {1, 2};
    static const msg_table table = {"cat", "app", 1, 2, texts, ids};
    imsg_set_app_name("/some/where/relay");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    imsg_print(IMSG_PLAIN, "%-*s|\n", -1, 6, "ab");
    imsg_print(IMSG_ERROR, &table, 0, 42);
    imsg_print(IMSG_WARNING, &table, 1);
    imsg_print(IMSG_ERROR_MORE, "more %s\n", -1, "text");
    imsg_print(IMSG_ERROR, &table, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ab    |\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "relay: Error: first 42\n"
              "relay: Warning: second\nline two\n"
              "relay: more text\n"
              "relay: message 2 is not in its table\n");
}

TEST(Concat, BoundedAndTolerantOfAbsentPieces)
{
    char buffer[8];
    EXPECT_EQ(strutl_concat(buffer, sizeof buffer, 3, "ab", nullptr, "cd"), 0);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_NE(strutl_concat(buffer, sizeof buffer, 2, "abcde", "fghij"), 0);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(strutl_concat(buffer, sizeof buffer, 0), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(AbsolutePathnames, TidiedAndBounded)
{
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    struct { const char *in; std::string out; } cases[] = {
        {"/a//b/./c/", "/a/b/c"},
        {"/a/b/../../..", "/"},
        {"/", "/"},
        {"x/../y", std::string(strcmp(cwd, "/") ? cwd : "") + "/y"},
    };
    char buffer[1024];
    for (const auto &c : cases) {
        EXPECT_EQ(fileutl_abspn(c.in, buffer, sizeof buffer), 0) << c.in;
        EXPECT_EQ(buffer, c.out) << c.in;
    }
    EXPECT_NE(fileutl_abspn("", buffer, sizeof buffer), 0);
    EXPECT_NE(fileutl_abspn(nullptr, buffer, sizeof buffer), 0);
    std::string long_name = "/" + std::string(1100, 'n');
    EXPECT_NE(fileutl_abspn(long_name.c_str(), buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_NE(fileutl_abspn("/abc", buffer, 4), 0);
    EXPECT_EQ(fileutl_abspn("/abc", buffer, 5), 0);
}

TEST(SecurityIdentifiers, TextForm)
{
    unsigned char user[CREDUTL_SID_SIZE] = {1, 2, 0, 0, 0, 0, 0, 22, 1, 0, 0, 0, 0xe8, 0x03, 0, 0};
    char text[CREDUTL_SID_TEXT_SIZE];
    EXPECT_STREQ(credutl_sid_to_str(user, text), "S-1-22-1-1000");
    unsigned char world[CREDUTL_SID_SIZE] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_STREQ(credutl_sid_to_str(world, text), "S-1-1-0");
    unsigned char big[CREDUTL_SID_SIZE] = {1, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_STREQ(credutl_sid_to_str(big, text), "S-1-0x010000000000");
    unsigned char bad[CREDUTL_SID_SIZE] = {1, 200};
    EXPECT_STREQ(credutl_sid_to_str(bad, text), "S-?");
}

} // namespace
