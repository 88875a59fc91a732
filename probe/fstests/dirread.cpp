// The directory-read and rename tests.
#include "dirread.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "nt.h"
#include "statrec.h"
#include "testdir.h"

// *** readdir ***

static unsigned char *seen_bitmap;
static int32_t entries_read, readdir_errors;

static void numbered_name(char (&name)[32], int32_t number) { snprintf(name, sizeof name, "%s%05d", "fil", number); }

void readdir_setup()
{
    seen_bitmap = (unsigned char *)malloc((size_t)(settings.file_count + 7) / 8 + 1);
    if (seen_bitmap == nullptr)
        probe_fatal(0, "malloc of bitmap for %d files failed", settings.file_count);
    if (settings.repeat_count > settings.file_count)
        probe_fatal(0, "-c %d must be <= -f %d", settings.repeat_count, settings.file_count);
    setup_testdir_with_files();
}

// A counted finding: the error line, and one more for the report.
#define READDIR_ERROR(...)               \
    do {                                 \
        probe_error(0, __VA_ARGS__);     \
        readdir_errors++;                \
    } while (0)

static bool seen(int32_t n) { return (seen_bitmap[n / 8] >> (n % 8)) & 1; }

static void check_count(const char *name, int count)
{
    if (count == 0)
        READDIR_ERROR("'%s' not read", name);
    else if (count > 1)
        READDIR_ERROR("'%s' read %d times", name, count);
}

void readdir_run()
{
    int32_t pass = settings.iteration;
    DIR *stream = opendir(".");
    if (stream == nullptr)
        probe_fatal(errno, "opendir(\".\") in '%s' failed", settings.target);
    memset(seen_bitmap, 0, (size_t)(settings.file_count + 7) / 8);
    nt_stat64 st;
    if (unix_nt_stati64(".", &st) != 0)
        probe_fatal(errno, "Pass %d: Unable to stat '.'", pass);

    int dots = 0, dotdots = 0, markers = 0;
    char name[32];
    while (struct dirent *entry = readdir(stream)) {
        const char *entry_name = entry->d_name;
        entries_read++;
        if (strcmp(entry_name, ".") == 0) {
            dots++;
            continue;
        }
        if (strcmp(entry_name, "..") == 0) {
            dotdots++;
            continue;
        }
        if (strcmp(entry_name, TESTDIR_MARKER) == 0) {
            markers++;
            continue;
        }
        // A name too short to carry a number is not taken for file 0.
        if (strlen(entry_name) <= 4) {
            READDIR_ERROR("bad dirent name length '%s'", entry_name);
            continue;
        }
        int32_t n = atoi(entry_name + 3);
        if (n < 0 || n >= settings.file_count) {
            READDIR_ERROR("file name out of range '%s'", entry_name);
            continue;
        }
        if (seen(n))
            READDIR_ERROR("duplicate name '%s' read", entry_name);
        seen_bitmap[n / 8] |= (unsigned char)(1u << (n % 8));
        if (n == pass) {
            numbered_name(name, pass);
            if (unix_nt_unlink(name) != 0)
                probe_fatal(errno, "unlink '%s' failed, pass %d", name, pass);
        }
    }
    if (dots == 0)
        READDIR_ERROR("'.' not read");
    else if (dots > 1)
        READDIR_ERROR("'.' read %d times", dots);
    if (dotdots == 0)
        READDIR_ERROR("'..' not read");
    else if (dotdots > 1)
        READDIR_ERROR("'..' read %d times", dotdots);
    check_count(TESTDIR_MARKER, markers);
    for (int32_t i = 0; i < settings.file_count; i++) {
        numbered_name(name, i);
        if (i < pass && seen(i))
            READDIR_ERROR("unexpectedly found '%s' pass %d", name, pass);
        if (i >= pass && !seen(i))
            READDIR_ERROR("'%s' not read pass %d", name, pass);
    }
    closedir(stream);
}

void readdir_report(ElapsedTime &elapsed)
{
    if (!settings.silent) {
        printf("\t%d entries read/verified", entries_read);
        probe_print_elapsed(entries_read, elapsed);
    }
    if (readdir_errors != 0)
        probe_fatal(0, "test failed with %d errors", readdir_errors);
}

// *** rexist ***

static void pause_milliseconds(int milliseconds)
{
    struct timespec wait = {milliseconds / 1000, (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

static void print_both(const nt_stat64 &should, const nt_stat64 &is)
{
    printf("\tStat record should be:\n");
    print_stat("\t\t", &should);
    printf("\tStat record is:\n");
    print_stat("\t\t", &is);
}

void rexist_run()
{
    const int MASK = CMP_ATIME | CMP_MTIME;
    pause_milliseconds(2000);
    settings.calls_per_iteration = 10 * settings.file_count;
    char old_name[32], new_name[40];
    nt_stat64 n, o, a, b;
    for (int32_t i = 0; i < settings.file_count; i++) {
        numbered_name(old_name, i);
        snprintf(new_name, sizeof new_name, "NEW%s", old_name);
        int fd = unix_nt_open(new_name, NT_O_RDWR | NT_O_CREAT | NT_O_BINARY, 0666);
        if (fd < 0)
            probe_fatal(errno, "creat %s filed", new_name);
        if (unix_nt_close(fd) != 0)
            probe_fatal(errno, "close %s failed", new_name);
        if (unix_nt_stati64(new_name, &n) != 0)
            probe_fatal(errno, "stat '%s' failed after create", new_name);
        if (unix_nt_stati64(old_name, &o) != 0)
            probe_fatal(errno, "stat '%s' failed before rename", old_name);
        if (stat_compare(&o, &n, MASK) == 0)
            probe_fatal(0, "stat '%s' and '%s' are identical", old_name, new_name);
        if (unix_nt_rename(old_name, new_name) != 0)
            probe_fatal(errno, "rename '%s' to '%s' failed", old_name, new_name);
        if (unix_nt_stati64(old_name, &b) == 0)
            probe_fatal(0, "'%s' exists after rename", old_name);
        if (unix_nt_stati64(new_name, &a) != 0)
            probe_fatal(errno, "stat '%s' after rename failed", new_name);
        if (stat_compare(&a, &o, MASK) != 0) {
            print_both(o, a);
            if (stat_compare(&a, &n, MASK) != 0)
                probe_fatal(0, "stat record mismatch after rename '%s' to '%s'", old_name, new_name);
            probe_fatal(0, "stat record matches '%s' not '%s' after rename", new_name, old_name);
        }
        if (unix_nt_rename(new_name, old_name) != 0)
            probe_fatal(errno, "rename '%s' to '%s' failed", new_name, old_name);
        if (unix_nt_stati64(new_name, &b) == 0)
            probe_fatal(0, "'%s' exists after 2nd rename", new_name);
        if (unix_nt_stati64(old_name, &b) != 0)
            probe_fatal(errno, "stat '%s' after unlink failed", old_name);
        if (stat_compare(&b, &o, MASK) != 0) {
            print_both(o, b);
            probe_fatal(0, "'%s' stat changed after 2nd rename", old_name);
        }
    }
}

// *** rename2 ***

static char rename2_name[] = "kel_ren2XXXXXX";
static char in_path[PATH_BUFFER_SIZE], up_path[PATH_BUFFER_SIZE];
static const char *subdir_name;

void rename2_setup()
{
    if (settings.target == nullptr)
        probe_fatal(0, "Pathname required");
    if (chdir(settings.target) != 0)
        probe_fatal(errno, "chdir '%s' failed", settings.target);
    subdir_name = probe_next_name();
    if (subdir_name == nullptr)
        probe_fatal(0, "dir leafname required as 2'nd arg");
    nt_stat64 st;
    if (unix_nt_stati64(subdir_name, &st) != 0)
        probe_fatal(errno, "can't stat '%s/%s'", settings.target, subdir_name);
    if (strchr(subdir_name, '/') != nullptr)
        probe_fatal(0, "dir leafname must not have '/' in it");
    unique_name(rename2_name);
    int fd = unix_nt_open(rename2_name, NT_O_RDONLY | NT_O_CREAT, 0666);
    if (fd < 0)
        probe_fatal(errno, "create '%s/%s' failed", settings.target, rename2_name);
    unix_nt_close(fd);
    format_path(in_path, "%s/%s", subdir_name, rename2_name);
    format_path(up_path, "../%s", rename2_name);
}

void rename2_run()
{
    const char *f = rename2_name;
    nt_stat64 st;
    settings.calls_per_iteration = 2;
    if (unix_nt_rename(f, in_path) != 0)
        probe_fatal(errno, "rename '%s' to '%s' failed", f, in_path);
    if (unix_nt_stati64(f, &st) == 0)
        probe_fatal(0, "'%s' exists after rename", f);
    if (unix_nt_stati64(in_path, &st) != 0)
        probe_fatal(errno, "stat '%s' after rename failed", in_path);
    if (chdir(subdir_name) != 0)
        probe_fatal(errno, "chdir '%s' failed", subdir_name);
    if (unix_nt_rename(f, up_path) != 0)
        probe_fatal(errno, "rename '%s' to '%s' failed", f, up_path);
    if (unix_nt_stati64(f, &st) == 0)
        probe_fatal(0, "'%s' exists after rename", in_path);
    if (unix_nt_stati64(up_path, &st) != 0)
        probe_fatal(errno, "stat '%s' after rename failed", up_path);
    if (chdir("..") != 0)
        probe_fatal(errno, "chdir '%s' failed", subdir_name);
}

void rename2_report(ElapsedTime &elapsed)
{
    unix_nt_unlink(rename2_name);
    probe_report_calls(elapsed);
}
