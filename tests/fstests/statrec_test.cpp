// The printed form of stat records, their comparison, and unique names.
#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include "cli.h"
#include "statrec.h"
#include "testdir.h"

namespace {

nt_stat64 record(unsigned mode, long long size, long long atime)
{
    nt_stat64 st;
    memset(&st, 0, sizeof st);
    st.st_mode = mode;
    st.st_nlink = 3;
    st.st_size = size;
    st.st_atime = atime;
    st.st_mtime = 0x12345678;
    st.st_ctime = 0x1abcdef0;
    return st;
}

TEST(PrintStat, NullRecordPrintsOneLine)
{
    testing::internal::CaptureStdout();
    print_stat("\t", nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\t(Null stat ptr)\n");
}

TEST(PrintStat, LowThirtyTwoBitsOfSizeAndTimes)
{
    nt_stat64 st = record(040755, 0x100000005LL, 0x1ffffffffLL);
    testing::internal::CaptureStdout();
    print_stat("\t\t", &st);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\t\tst_mode    = 40755\n\t\tst_nlink   = 3\n\t\tst_size    = 5\n"
              "\t\tst_atime   = ffffffff\n\t\tst_mtime   = 12345678\n\t\tst_ctime   = 1abcdef0\n");
}

TEST(StatCompare, MaskChoosesTheTimes)
{
    nt_stat64 a = record(0100644, 7, 100), b = record(0100644, 7, 200);
    testing::internal::CaptureStdout();
    EXPECT_EQ(stat_compare(&a, &b, 0), 0);
    EXPECT_EQ(stat_compare(&a, &b, CMP_CTIME | CMP_MTIME), 0);
    EXPECT_EQ(stat_compare(&a, &b, CMP_ATIME), 1);
    b = a;
    b.st_size += 0x100000000LL; // equal low 32 bits, compared whole
    EXPECT_EQ(stat_compare(&a, &b, 0), 1);
    b = a;
    b.st_nlink = 4;
    EXPECT_EQ(stat_compare(&a, &b, 0), 1);
    b = a;
    b.st_ctime += 1;
    EXPECT_EQ(stat_compare(&a, &b, CMP_CTIME), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6 * 12); // both records, every call
}

// Runs body with the current directory in a scratch directory.
template <typename F> void in_scratch(const ScratchDir &scratch, F body)
{
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    body();
    ASSERT_EQ(chdir(previous), 0);
}

TEST(UniqueName, ReplacesTheSixXsWithAFreeName)
{
    ScratchDir scratch;
    in_scratch(scratch, [&] {
        char first[] = "kel_testXXXXXX";
        unique_name(first);
        EXPECT_EQ(strncmp(first, "kel_test", 8), 0);
        EXPECT_EQ(strchr(first, 'X'), nullptr);
        EXPECT_FALSE(path_exists(scratch / first));
        // The same template again, with the first name taken: another name.
        write_file(scratch / first, "");
        char second[] = "kel_testXXXXXX";
        unique_name(second);
        EXPECT_STRNE(first, second);
        EXPECT_FALSE(path_exists(scratch / second));
        EXPECT_EQ(strlen(second), strlen("kel_testXXXXXX"));

        char no_xs[] = "kel_testXXXX";
        EXPECT_STREQ(unique_name(no_xs), "kel_testXXXX");
    });
}

} // namespace
