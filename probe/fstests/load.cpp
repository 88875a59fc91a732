// The load tests. A run makes only its listed calls; it formats and prints
// only when a call fails. Counted failures add up over all passes and fail
// the test in its report.
#include "load.h"

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

#include "nt.h"
#include "testdir.h"

static char creat_rm_name[] = "crXXXXXX";
static char xcreat_name[] = "kel_xcrXXXXXX";
static char rename_name0[] = "kel_renXXXXXX";
static char rename_name1[] = "kel_ren1XXXXXX";
static char mkdir_name[] = "kel_mkdirloadXXXXXX";

// The failure counters of the load tests.
static struct {
    int create_failures, unlink_failures;
    int xcreat_errors, xcreat2_errors, unlink_errors;
    int mkdir_failures, rmdir_failures;
} load_failures;

// The setup shared by the load tests: an existing test directory, entered.
static void load_setup()
{
    setup_existing_testdir();
    if (chdir(settings.target) != 0)
        probe_fatal(errno, "chdir '%s' failed", settings.target);
}

static void print_counter(int count, const char *format)
{
    if (count != 0)
        printf(format, count);
}

static void fail_on_total(int total)
{
    if (total != 0)
        probe_fatal(0, "%d total errors", total);
}

void creat_rm_load_setup()
{
    load_setup();
    unique_name(creat_rm_name);
}

void creat_rm_load_run()
{
    settings.calls_per_iteration = 5;
    int fd = unix_nt_open(creat_rm_name, NT_O_RDWR | NT_O_CREAT | NT_O_BINARY, 0666);
    if (fd < 0) {
        int error = errno;
        load_failures.create_failures++;
        probe_error(error, "create '%s' failed", creat_rm_name);
        if (error != EEXIST)
            return;
    } else if (unix_nt_close(fd) != 0) {
        load_failures.create_failures++;
        probe_error(errno, "close '%s'failed", creat_rm_name);
        return;
    }
    if (unix_nt_unlink(creat_rm_name) != 0) {
        load_failures.unlink_failures++;
        probe_error(errno, "unlink '%s' failed", creat_rm_name);
    }
}

void creat_rm_load_report(ElapsedTime &elapsed)
{
    if (!settings.silent) {
        printf("\t%d create/link/remove '%s'", settings.iteration, creat_rm_name);
        probe_print_elapsed((int64_t)settings.calls_per_iteration * settings.iteration, elapsed);
        print_counter(load_failures.create_failures, "\t%d create failed\n");
        print_counter(load_failures.unlink_failures, "\t%d unlink 2 failed\n");
    }
    fail_on_total(load_failures.create_failures + load_failures.unlink_failures);
}

void xcreat_load_setup()
{
    load_setup();
    unique_name(xcreat_name);
}

void xcreat_load_run()
{
    settings.calls_per_iteration = 4;
    int fd = unix_nt_open(xcreat_name, NT_O_RDONLY | NT_O_CREAT | NT_O_EXCL, 0777);
    if (fd < 0) {
        load_failures.xcreat_errors++;
        probe_error(errno, "excl open '%s' failed", xcreat_name);
    } else if (unix_nt_close(fd) != 0) {
        probe_fatal(errno, "close '%s' failed", xcreat_name);
    }
    int fd2 = unix_nt_open(xcreat_name, NT_O_RDONLY | NT_O_CREAT | NT_O_EXCL, 0777);
    if (fd2 >= 0) {
        load_failures.xcreat2_errors++;
        probe_error(0, "excl open 2 '%s' succeeded?!", xcreat_name);
        if (unix_nt_close(fd2) != 0)
            probe_fatal(errno, "close fd2 '%s' failed", xcreat_name);
    }
    if (unix_nt_unlink(xcreat_name) != 0) {
        load_failures.unlink_errors++;
        probe_error(errno, "unlink '%s' failed", xcreat_name);
    }
}

void xcreat_load_report(ElapsedTime &elapsed)
{
    if (!settings.silent) {
        printf("\t%d xcreat/xcreat(fails)/unlink '%s'", settings.iteration, xcreat_name);
        probe_print_elapsed((int64_t)settings.calls_per_iteration * settings.iteration, elapsed);
        print_counter(load_failures.xcreat_errors, "\t%d xcreat errors\n");
        print_counter(load_failures.xcreat2_errors, "\t%d xcreat2 errors\n");
        print_counter(load_failures.unlink_errors, "\t%d unlink errors\n");
    }
    fail_on_total(load_failures.xcreat_errors + load_failures.xcreat2_errors + load_failures.unlink_errors);
}

void rename_load_setup()
{
    load_setup();
    unique_name(rename_name0);
    unique_name(rename_name1);
    int fd = unix_nt_open(rename_name0, NT_O_RDONLY | NT_O_CREAT, 0666);
    if (fd < 0)
        probe_fatal(errno, "create '%s' failed", rename_name0);
    unix_nt_close(fd);
}

void rename_load_run()
{
    settings.calls_per_iteration = 2;
    if (unix_nt_rename(rename_name0, rename_name1) != 0)
        probe_fatal(errno, "rename '%s' to '%s' failed; loop= %d", rename_name0, rename_name1, settings.iteration);
    if (unix_nt_rename(rename_name1, rename_name0) != 0)
        probe_fatal(errno, "rename '%s' to '%s' failed; loop= %d", rename_name1, rename_name0, settings.iteration);
}

void rename_load_report(ElapsedTime &elapsed)
{
    unix_nt_unlink(rename_name0);
    unix_nt_unlink(rename_name1);
    probe_report_calls(elapsed);
}

void mkdir_load_setup()
{
    load_setup();
    unique_name(mkdir_name);
}

void mkdir_load_run()
{
    settings.calls_per_iteration = 2;
    if (unix_nt_mkdir(mkdir_name, 0777) != 0) {
        int error = errno;
        load_failures.mkdir_failures++;
        probe_error(error, "mkdir '%s' failed", mkdir_name);
        if (error != EEXIST)
            return;
    }
    if (unix_nt_rmdir(mkdir_name) != 0) {
        load_failures.rmdir_failures++;
        probe_error(errno, "rmdir '%s' failed", mkdir_name);
    }
}

void mkdir_load_report(ElapsedTime &elapsed)
{
    if (!settings.silent) {
        printf("\t%d mkdir/rmdir '%s'", settings.iteration, mkdir_name);
        probe_print_elapsed((int64_t)settings.calls_per_iteration * settings.iteration, elapsed);
        print_counter(load_failures.mkdir_failures, "\t%d mkdir failed\n");
        print_counter(load_failures.rmdir_failures, "\t%d rmdir failed\n");
    }
    fail_on_total(load_failures.mkdir_failures + load_failures.rmdir_failures);
}
