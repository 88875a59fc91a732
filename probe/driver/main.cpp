// The driver's command line and main loop.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "probe.h"

ProbeSettings settings;

static const char OPTION_STRING[] = "hntsLic:b:d:f:l:r:";

[[noreturn]] void probe_usage()
{
    static const char *const lines[] = {
        "\nUsage:  kelnprobe [-h] test [-ts] [-c cnt]\n",
        "\nOptions:\n",
        "\t-h\tHelp\n",
        "\t-t\tPrint timing\n",
        "\t-s\tRun test silently\n",
        "\t-c cnt\tRun tests cnt times\n",
        "\t-d cnt\tNumber of dirs to create\n",
        "\t-f cnt\tNumber of files to create\n",
        "\t-l cnt\tNumber of dir levels to create\n",
        "\t-b size\tSize of file to write\n",
        "\t-L\tDon't follow symlinks\n",
        "\t-n\tShow list of test names\n",
        "\t-i\tLookups are case insensitive\n",
        "\t-r vrt\tDYVWROOT=0 AUVWROOT=1\n",
    };
    for (const char *line : lines)
        fputs(line, stdout);
    exit(1);
}

[[noreturn]] void probe_list_tests()
{
    printf("\nAvailable Tests are:\n");
    for (int i = 2; i < TEST_COUNT; i++) {
        const ProbeTest &test = test_catalogue[i];
        printf(strlen(test.name) < 8 ? "\t%s\t\t%s\n" : "\t%s\t%s\n", test.name, test.description);
    }
    printf("\n");
    exit(1);
}

void probe_find_test(const char *name)
{
    for (int i = 0; i < TEST_COUNT; i++) {
        const ProbeTest &test = test_catalogue[i];
        if (strcmp(test.name, name) == 0) {
            settings.test_index = i;
            return;
        }
        if ((test.flags & TEST_OPT_NOFOLLOW) && name[0] == 'l' && strcmp(test.name, name + 1) == 0) {
            settings.test_index = i;
            settings.lookup_flags |= LOOKUP_NOFOLLOW;
            return;
        }
    }
    probe_fatal(0, "unable to get subcommand");
}

char *probe_next_name() { return cl_getname(settings.args); }

char *probe_next_arg() { return cl_getarg(settings.args); }

// Refuses an option the chosen test does not accept.
static void require_flag(uint32_t flag, char letter)
{
    const ProbeTest &test = test_catalogue[settings.test_index];
    if ((test.flags & flag) == 0)
        probe_fatal(0, "-%c not allowed for %s", letter, test.name);
}

// The value of a counting option; `minimum` is the least valid value.
static int32_t count_value(char letter, int32_t minimum)
{
    const char *text = probe_next_arg();
    int32_t value = text ? atoi(text) : 0;
    if (value < minimum)
        probe_fatal(0, "-%c: invalid argument", letter);
    return value;
}

// A size: a number, times 1024 when it ends in k or K.
static int32_t size_value()
{
    const char *text = probe_next_arg();
    if (text == nullptr)
        probe_fatal(0, "-b: invalid argument");
    int32_t size = atoi(text);
    size_t length = strlen(text);
    if (length > 0 && (text[length - 1] == 'k' || text[length - 1] == 'K'))
        size = (int32_t)((uint32_t)size * 1024u);
    if (size <= 0)
        probe_fatal(0, "-b: invalid argument");
    return size;
}

void probe_parse_options()
{
    for (;;) {
        int option = cl_getopt(settings.args, OPTION_STRING);
        switch (option) {
        case 0:
            settings.target = probe_next_name();
            return;
        case 'h':
            probe_usage();
        case 'n':
            probe_list_tests();
        case 't':
            settings.timing = true;
            break;
        case 's':
            settings.silent = true;
            break;
        case 'L':
            require_flag(TEST_OPT_NOFOLLOW, 'L');
            settings.lookup_flags |= LOOKUP_NOFOLLOW;
            break;
        case 'i':
            settings.lookup_flags &= ~LOOKUP_CASE_SENSITIVE;
            break;
        case 'c':
            require_flag(TEST_OPT_COUNT, 'c');
            settings.repeat_count = count_value('c', 1);
            break;
        case 'd':
            require_flag(TEST_OPT_DIRS, 'd');
            settings.dir_count = count_value('d', 0);
            break;
        case 'f':
            require_flag(TEST_OPT_FILES, 'f');
            settings.file_count = count_value('f', 0);
            break;
        case 'l':
            require_flag(TEST_OPT_LEVELS, 'l');
            settings.levels = count_value('l', 1);
            break;
        case 'b':
            require_flag(TEST_OPT_SIZE, 'b');
            settings.file_size = size_value();
            break;
        case 'r': {
            const char *text = probe_next_arg();
            int32_t kind = text ? atoi(text) : -1;
            if (kind != 0 && kind != 1)
                probe_fatal(0, "-r: invalid argument");
            settings.view_root_kind = kind;
            break;
        }
        case '?':
            probe_error(cl_errno(settings.args), "%s", cl_estr(settings.args));
            probe_usage();
        default:
            probe_fatal(0, "unexpected cl_getopt return");
        }
    }
}

int probe_main(int argc, char **argv)
{
    ks_system_init();

    settings = ProbeSettings{};
    settings.test_index = -1;
    settings.dir_count = 2;
    settings.file_count = 5;
    settings.levels = 5;
    settings.file_size = 1048576;
    settings.repeat_count = 1;
    settings.lookup_flags = LOOKUP_CASE_SENSITIVE;

    int status = 0;
    settings.args = cl_parse_argv(argc, argv, &status);
    if (status != 0)
        probe_fatal(status, "unable to parse argv");

    const char *name = probe_next_arg();
    if (name == nullptr)
        probe_usage();
    probe_find_test(name);
    probe_parse_options();

    const ProbeTest &test = test_catalogue[settings.test_index];
    if (test.setup)
        test.setup();

    probe_timer_start();
    for (settings.iteration = 0; settings.iteration < settings.repeat_count; settings.iteration++)
        test.run();
    ElapsedTime elapsed{};
    probe_timer_stop(elapsed);

    if (test.report)
        test.report(elapsed);
    if (!settings.silent)
        printf("\t%s ok.\n", test.name);
    return 0;
}
