// The open-unlink and open-rename tests: what the file system does with a
// file that is still open when its name goes away. It keeps it as a hidden
// junk file, found here by the mark every file made here starts with.
#include "openunlink.h"

#include <dirent.h>
#include <errno.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "nt.h"
#include "probe.h"
#include "testdir.h"

static char open_unlink_name[] = "keln_ouXXXXXX";
static char rename_source_name[] = "keln_rnsXXXXXX";
static const char open_unlink_text[] = "This is a test open-unlink file";
static int open_unlink_length;
static char start_stamp[9];
static unsigned long sequence;
static char sequence_text[9];

static void next_sequence()
{
    sequence++;
    snprintf(sequence_text, sizeof sequence_text, "%08lx", sequence & 0xffffffffUL);
}

void open_unlink_setup()
{
    setup_fresh_testdir();
    unique_name(open_unlink_name);
    unique_name(rename_source_name);
    open_unlink_length = (int)strlen(open_unlink_text);
    snprintf(start_stamp, sizeof start_stamp, "%08lx", (unsigned long)unix_nt_time(nullptr));
    sequence = (unsigned long)getpid();
}

// Looks in the current directory for the junk file marked with `number`;
// copies its name into `found` (1024 bytes) and returns 1, or returns 0.
static int find_junk_file(unsigned long number, char *found)
{
    char key[9];
    snprintf(key, sizeof key, "%08lx", number & 0xffffffffUL);
    DIR *stream = opendir(".");
    if (stream == nullptr)
        probe_fatal(errno, "opendir(\".\") in '%s' failed", settings.target);
    while (struct dirent *entry = readdir(stream)) {
        const char *name = entry->d_name;
        if (strncmp(name, ".keln", 5) != 0 && strncmp(name, ".nfs", 4) != 0)
            continue;
        int fd = unix_nt_open(name, NT_O_RDONLY);
        if (fd < 0) {
            if (errno == ENOENT)
                continue;
            probe_fatal(errno, "Findjunk: open of %s failed", name);
        }
        char mark[8];
        if (read(fd, mark, 8) == 8 && memcmp(mark, start_stamp, 8) == 0 && read(fd, mark, 8) == 8 &&
            memcmp(mark, key, 8) == 0) {
            snprintf(found, 1024, "%s", name);
            if (unix_nt_close(fd) != 0)
                probe_fatal(errno, "Findjunk: close of %s failed", name);
            closedir(stream);
            return 1;
        }
        unix_nt_close(fd);
    }
    closedir(stream);
    return 0;
}

static int create_marked_file(const char *name)
{
    int fd = unix_nt_open(name, NT_O_RDWR | NT_O_CREAT | NT_O_TRUNC | NT_O_BINARY, 0777);
    if (fd < 0)
        probe_fatal(errno, "creat '%s' failed", name);
    nt_stat64 st;
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat '%s' failed", name);
    if (write(fd, start_stamp, 8) < 0)
        probe_fatal(errno, "write of prog start time failed");
    if (write(fd, sequence_text, 8) < 0)
        probe_fatal(errno, "write of sequence number failed");
    char junk[1024];
    if (find_junk_file(sequence, junk))
        probe_fatal(0, "junk file '%s' (%s%08lx) for '%s' before unlink", junk, start_stamp, sequence, name);
    return fd;
}

static void verify_marked_file(int fd, const char *name, const char *expected, bool append)
{
    if (append) {
        int written = (int)write(fd, open_unlink_text, (size_t)open_unlink_length);
        if (written < 0)
            probe_fatal(errno, "write to unlinked file '%s' failed", name);
        if (written != open_unlink_length)
            probe_fatal(0, "wrote %d bytes to '%s' (expected %d)", written, name, open_unlink_length);
    }
    int64_t position = lseek(fd, 0, SEEK_SET);
    if (position != 0)
        probe_fatal(errno, "lseek '%s' failed, returned %" PRId64, name, position);
    char mark[9] = "";
    if (read(fd, mark, 8) != 8)
        probe_fatal(errno, "read prog start time from %s (unlinked) failed", name);
    if (memcmp(mark, start_stamp, 8) != 0)
        probe_fatal(0, "bad data after unlink sb: %s  was: %s", start_stamp, mark);
    if (read(fd, mark, 8) != 8)
        probe_fatal(errno, "read sequence number from %s (unlinked) failed", name);
    if (memcmp(mark, expected, 8) != 0)
        probe_fatal(0, "bad sequence number after unlink sb: %s was: %s", expected, mark);
    char buffer[1024];
    int got = (int)read(fd, buffer, sizeof buffer);
    if (got < 0)
        probe_fatal(errno, "read from unlinked file '%s' failed", name);
    if (got != open_unlink_length)
        probe_fatal(0, "read %d from '%s' (expected %d)", got, name, open_unlink_length);
    if (memcmp(buffer, open_unlink_text, (size_t)open_unlink_length) != 0)
        probe_fatal(0, "read of file '%s' is '%.*s' (expected '%s')", name, open_unlink_length, buffer,
                    open_unlink_text);
}

static void expect_no_junk(unsigned long number, const char *name)
{
    char junk[1024];
    if (find_junk_file(number, junk))
        probe_fatal(0, "junk file '%s' (%s%08lx) for '%s' still there after close", junk, start_stamp, number, name);
}

void open_unlink_run()
{
    const char *ou = open_unlink_name;
    char junk[1024];
    settings.calls_per_iteration = 16;
    next_sequence();
    int fd = create_marked_file(ou);
    if (unix_nt_unlink(ou) != 0)
        probe_fatal(errno, "unlink '%s' failed", ou);
    if (!find_junk_file(sequence, junk))
        probe_fatal(0, "can't find junk file for '%s' (%s%08lx)", ou, start_stamp, sequence);
    verify_marked_file(fd, ou, sequence_text, true);
    if (unix_nt_unlink(ou) == 0)
        probe_fatal(0, "2'nd unlink of '%s' succeeded?\?!", ou);
    if (errno != ENOENT)
        probe_fatal(errno, "2'nd unlink of '%s' failed", ou);
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close '%s' failed", ou);
    expect_no_junk(sequence, ou);
}

void open_rename_run()
{
    const char *ou = open_unlink_name, *rns = rename_source_name;
    char junk[1024];
    settings.calls_per_iteration = 20;

    next_sequence();
    unsigned long first_sequence = sequence;
    char first_text[9];
    snprintf(first_text, sizeof first_text, "%s", sequence_text);
    int a = create_marked_file(ou);

    next_sequence();
    unsigned long second_sequence = sequence;
    char second_text[9];
    snprintf(second_text, sizeof second_text, "%s", sequence_text);
    int b = create_marked_file(rns);

    if (fsync(b) == -1)
        probe_fatal(errno, "fsync '%s' failed", rns);
    if (fsync(a) == -1)
        probe_fatal(errno, "fsync '%s' failed", ou);
    if (unix_nt_rename(rns, ou) == -1)
        probe_fatal(errno, "rename '%s' to '%s' failed", rns, ou);
    if (!find_junk_file(first_sequence, junk))
        probe_fatal(0, "can't find junk file for '%s' (%s%08lx)", ou, start_stamp, first_sequence);
    verify_marked_file(a, ou, first_text, true);
    verify_marked_file(b, rns, second_text, true);

    int n = unix_nt_open(ou, NT_O_RDWR | NT_O_BINARY);
    if (n == -1)
        probe_fatal(errno, "open of renamed file '%s' failed", rns);
    verify_marked_file(n, rns, second_text, false);
    if (unix_nt_close(n) != 0)
        probe_fatal(errno, "close '%s' failed", ou);

    if (fsync(a) == -1 || fsync(b) == -1)
        probe_fatal(errno, "fsync of unlinked file '%s' failed", ou);
    if (unix_nt_close(a) != 0 || unix_nt_close(b) != 0)
        probe_fatal(errno, "close '%s' failed", ou);
    expect_no_junk(first_sequence, ou);
    if (unix_nt_unlink(ou) != 0)
        probe_fatal(0, "2'nd unlink of '%s' failed?\?!", ou);
    expect_no_junk(second_sequence, rns);
}
