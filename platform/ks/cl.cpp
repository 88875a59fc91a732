// The argument parser of the kernel services.
#include "ks.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <new>

struct cl_args {
    int count;
    char **words;
    int next;               // index of the next unread word
    const char *cluster;    // rest of a group of flags such as -ts, or null
    char *value;            // value of the option just returned, until taken
    bool options_done;
    int status;
    char error_text[128];
};

extern "C" cl_handle cl_parse_argv(int argc, char **argv, int *status)
{
    if (argc < 1 || argv == nullptr) {
        *status = EINVAL;
        return nullptr;
    }
    cl_args *args = new (std::nothrow) cl_args{};
    if (args == nullptr) {
        *status = ENOMEM;
        return nullptr;
    }
    args->count = argc;
    args->words = argv;
    args->next = 1;
    *status = 0;
    return args;
}

extern "C" char *cl_getarg(cl_handle args)
{
    if (args->value != nullptr) {
        char *value = args->value;
        args->value = nullptr;
        return value;
    }
    args->cluster = nullptr;
    if (args->next >= args->count)
        return nullptr;
    return args->words[args->next++];
}

static int cl_fail(cl_handle args, const char *format, int letter)
{
    args->status = EINVAL;
    snprintf(args->error_text, sizeof args->error_text, format, letter);
    return '?';
}

extern "C" int cl_getopt(cl_handle args, const char *optstring)
{
    args->value = nullptr;
    if (args->cluster == nullptr || *args->cluster == '\0') {
        args->cluster = nullptr;
        if (args->options_done || args->next >= args->count)
            return 0;
        const char *word = args->words[args->next];
        if (strcmp(word, "--") == 0) {
            args->next++;
            args->options_done = true;
            return 0;
        }
        if (word[0] != '-' || word[1] == '\0') {
            args->options_done = true;
            return 0;
        }
        args->cluster = word + 1;
        args->next++;
    }
    int letter = (unsigned char)*args->cluster++;
    const char *spec = letter == ':' ? nullptr : strchr(optstring, letter);
    if (spec == nullptr) {
        args->cluster = nullptr;
        return cl_fail(args, "unknown option -%c", letter);
    }
    if (spec[1] == ':') {
        if (*args->cluster != '\0')
            args->value = const_cast<char *>(args->cluster);
        else if (args->next < args->count)
            args->value = args->words[args->next++];
        else
            return cl_fail(args, "option -%c needs a value", letter);
        args->cluster = nullptr;
    }
    return letter;
}

extern "C" int cl_errno(cl_handle args) { return args->status; }

extern "C" const char *cl_estr(cl_handle args) { return args->error_text; }

extern "C" char *cl_getname(cl_handle args)
{
    args->value = nullptr;
    args->cluster = nullptr;
    if (!args->options_done && args->next < args->count && strcmp(args->words[args->next], "--") == 0)
        args->next++;
    args->options_done = true;
    if (args->next >= args->count)
        return nullptr;
    return args->words[args->next++];
}

extern "C" void cl_release(cl_handle args) { delete args; }
