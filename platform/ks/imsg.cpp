// The message printer of the kernel services.
#include "ks.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

static char app_name[256] = "";

extern "C" void imsg_set_app_name(const char *argv0)
{
    const char *base = argv0 ? strrchr(argv0, '/') : nullptr;
    base = base ? base + 1 : argv0;
    snprintf(app_name, sizeof app_name, "%s", base ? base : "");
}

// What stands before a message of each severity.
static const char *severity_label(int severity)
{
    switch (severity) {
    case IMSG_WARNING: return "Warning: ";
    case IMSG_ERROR: return "Error: ";
    default: return "";
    }
}

extern "C" void imsg_print(int severity, const void *table, int index, ...)
{
    const char *format;
    if (index == -1) {
        format = static_cast<const char *>(table);
    } else {
        const msg_table *messages = static_cast<const msg_table *>(table);
        if (messages == nullptr || index < 0 || index >= messages->count) {
            fprintf(stderr, "%s: message %d is not in its table\n", app_name, index);
            return;
        }
        format = messages->texts[index];
    }

    FILE *stream = severity == IMSG_PLAIN ? stdout : stderr;
    if (stream == stderr) {
        fflush(stdout);
        fprintf(stream, "%s: %s", app_name, severity_label(severity));
    }
    va_list ap;
    va_start(ap, index);
    vfprintf(stream, format, ap);
    va_end(ap);
    fflush(stream);
}
