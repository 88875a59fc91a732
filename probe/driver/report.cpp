// Error lines, status texts, the banner and the loop timer.
#include <errno.h>
#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "probe.h"

struct StatusText {
    int code;
    const char *text;
};

// Texts of the versioned-object services' statuses.
static const StatusText tbs_texts[] = {
    {1001, "TBS error"},
    {1002, "TBS not found"},
    {1003, "TBS not an obj"},
    {1004, "TBS timeout"},
    {1005, "TBS dbid not found"},
    {1007, "TBS xrev compat"},
    {1008, "TBS view error"},
    {1009, "TBS vob error"},
    {1010, "TBS db error"},
    {1011, "TBS kel error"},
    {1012, "TBS no config spec set"},
    {1013, "TBS stale dir"},
    {1014, "TBS no ver"},
    {1015, "TBS view cleartext error"},
    {1016, "TBS unk vob"},
    {1017, "TBS wrong vob"},
    {1018, "TBS wrong view"},
    {1019, "TBS vob needs recovery"},
    {1020, "TBS db area locked"},
    {1022, "TBS view needs recovery"},
    {1023, "TBS view needs reformat"},
    {1024, "TBS vob needs reformat"},
    {1025, "TBS config spec error"},
    {1029, "TBS not a rgy server"},
    {1031, "TBS db timeout"},
    {1051, "TBS Unix: Not owner"},
    {1052, "TBS Unix: No such file or directory"},
    {1055, "TBS Unix: I/O error"},
    {1056, "TBS Unix: No such device or address"},
    {1062, "TBS Unix: Not enough memory"},
    {1063, "TBS Unix: Permission denied"},
    {1067, "TBS Unix: File exists"},
    {1068, "TBS Unix: Cross-device link"},
    {1069, "TBS Unix: No such device"},
    {1070, "TBS Unix: Not a directory"},
    {1071, "TBS Unix: Is a directory"},
    {1072, "TBS Unix: Invalid argument"},
    {1077, "TBS Unix: File too large"},
    {1078, "TBS Unix: No space left on device"},
    {1080, "TBS Unix: Read-only file system"},
    {1081, "TBS Unix: Too many links"},
    {1083, "TBS Unix: Too many levels of symbolic links"},
    {1084, "TBS Unix: File name too long"},
    {1085, "TBS Unix: Directory not empty"},
    {1086, "TBS Unix: Disk quota exceeded"},
    {1087, "TBS Unix: Stale VIEW file handle"},
};

// One past the highest error number the C library has a name for.
static int runtime_error_count()
{
    static int count = 0;
    if (count == 0) {
        for (int code = 1; code < 4096; code++)
            if (strerrorname_np(code) != nullptr)
                count = code + 1;
    }
    return count;
}

const char *probe_status_text(int status)
{
    static char text[128];
    if (status > 0 && status < runtime_error_count()) {
        snprintf(text, sizeof text, "%s", strerror(status));
        return text;
    }
    for (const StatusText &entry : tbs_texts) {
        if (entry.code == status) {
            snprintf(text, sizeof text, "%s", entry.text);
            return text;
        }
    }
    snprintf(text, sizeof text, "error code %d", status);
    return text;
}

static void error_line(int status, const char *format, va_list ap)
{
    const char *name = settings.test_index < 0 ? "keltest" : test_catalogue[settings.test_index].name;
    fflush(stdout);
    fprintf(stderr, "(?%s): ", name);
    vfprintf(stderr, format, ap);
    if (status != 0)
        fprintf(stderr, ": %s\n", probe_status_text(status));
    else
        fputs("\n", stderr);
    fflush(stderr);
}

void probe_fatal(int status, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    error_line(status, format, ap);
    va_end(ap);
    exit(1);
}

void probe_error(int status, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    error_line(status, format, ap);
    va_end(ap);
}

void probe_announce()
{
    if (settings.silent)
        return;
    const ProbeTest &test = test_catalogue[settings.test_index];
    if (settings.target)
        printf("%s: %s on %s\n", test.name, test.description, settings.target);
    else
        printf("%s: %s\n", test.name, test.description);
    fflush(stdout);
}

void probe_gettime(ElapsedTime &time)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    time.seconds = (int32_t)now.tv_sec;
    time.microseconds = (int32_t)(now.tv_nsec / 1000000) * 1000;
}

ElapsedTime probe_time_between(const ElapsedTime &start, const ElapsedTime &end)
{
    ElapsedTime later = end;
    if (later.microseconds < start.microseconds) {
        later.seconds -= 1;
        later.microseconds += 1000000;
    }
    return {later.seconds - start.seconds, later.microseconds - start.microseconds};
}

static ElapsedTime loop_start, loop_end;

void probe_timer_start()
{
    if (settings.timing)
        probe_gettime(loop_start);
}

void probe_timer_stop(ElapsedTime &elapsed)
{
    if (!settings.timing)
        return;
    probe_gettime(loop_end);
    elapsed = probe_time_between(loop_start, loop_end);
}

// The counts are taken 64 bits wide so that large byte counts rate truly.
void probe_print_elapsed(int64_t count, const ElapsedTime &elapsed)
{
    if (!settings.timing) {
        printf("\n");
        fflush(stdout);
        return;
    }
    int64_t tenths = elapsed.microseconds / 100000 + (int64_t)elapsed.seconds * 10;
    unsigned milliseconds = (unsigned)(elapsed.microseconds / 1000);
    if (tenths == 0)
        printf(" in %d.%03u secs (test too short)\n", elapsed.seconds, milliseconds);
    else
        printf(" in %d.%03u secs (%" PRId64 "/sec)\n", elapsed.seconds, milliseconds, count * 10 / tenths);
    fflush(stdout);
}

void probe_report_calls(ElapsedTime &elapsed)
{
    if (settings.silent || !settings.timing)
        return;
    int64_t calls = (int64_t)settings.iteration * settings.calls_per_iteration;
    printf("\t%" PRId64 " fs calls", calls);
    probe_print_elapsed(calls, elapsed);
}

void probe_not_implemented()
{
    probe_error(0, "Test not implemented on this platform - automatic pass!");
    exit(0);
}

void probe_seekdir_unsupported()
{
    probe_fatal(22, "NT NYI (uses telldir, seekdir)");
}

void probe_not_built()
{
    probe_fatal(0, "test not available in this build");
}
