// The probe driver: catalogue, run settings, reporting and timing.
#pragma once

#include <stdint.h>

#include "ks.h"

// Seconds and microseconds of the loop timer.
struct ElapsedTime {
    int32_t seconds;
    int32_t microseconds;
};

using ProbeOp = void (*)();
using ReportOp = void (*)(ElapsedTime &elapsed);

// Options a test accepts beyond -h, -n, -t, -s, -i and -r.
enum : uint32_t {
    TEST_OPT_COUNT = 0x01,    // -c
    TEST_OPT_LEVELS = 0x02,   // -l
    TEST_OPT_DIRS = 0x04,     // -d
    TEST_OPT_FILES = 0x08,    // -f
    TEST_OPT_SIZE = 0x10,     // -b
    TEST_OPT_NOFOLLOW = 0x20, // -L, and the name with a leading "l"
};

// Lookup flags handed to every control call that resolves a pathname.
enum : uint32_t {
    LOOKUP_NOFOLLOW = 0x1,
    LOOKUP_CASE_SENSITIVE = 0x2,
};

struct ProbeTest {
    const char *name;
    const char *description;
    uint32_t flags;
    ProbeOp setup;
    ProbeOp run;
    ReportOp report;
};

constexpr int TEST_COUNT = 66;
extern const ProbeTest test_catalogue[TEST_COUNT];

struct ProbeSettings {
    int32_t test_index;
    const char *target;
    int32_t dir_count;
    int32_t file_count;
    int32_t levels;
    int32_t file_size;
    int32_t repeat_count;
    bool silent;
    bool timing;
    int32_t view_root_kind;
    uint32_t lookup_flags;
    int32_t iteration;
    int32_t calls_per_iteration;
    cl_handle args;
};

extern ProbeSettings settings;

// Command line and main loop.
int probe_main(int argc, char **argv);
[[noreturn]] void probe_usage();
[[noreturn]] void probe_list_tests();
void probe_find_test(const char *name);
void probe_parse_options();
char *probe_next_name();
char *probe_next_arg();

// Error lines: "(?test): " message, then ": status text" or a bare line end.
[[noreturn]] void probe_fatal(int status, const char *format, ...) __attribute__((format(printf, 2, 3)));
void probe_error(int status, const char *format, ...) __attribute__((format(printf, 2, 3)));
const char *probe_status_text(int status);

// Banner, clock and reports.
void probe_announce();
void probe_gettime(ElapsedTime &time);
ElapsedTime probe_time_between(const ElapsedTime &start, const ElapsedTime &end);
void probe_timer_start();
void probe_timer_stop(ElapsedTime &elapsed);
void probe_print_elapsed(int64_t count, const ElapsedTime &elapsed);
void probe_report_calls(ElapsedTime &elapsed);

// Run operations of tests that cannot pass here.
[[noreturn]] void probe_not_implemented();
[[noreturn]] void probe_seekdir_unsupported();
[[noreturn]] void probe_not_built();
