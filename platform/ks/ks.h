/* Kernel services: start-up, argument parsing, messages, storage, string and
 * file-name utilities shared by every program. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Start-up; the first call of every program. */
int ks_system_init(void);

/* Argument parser: POSIX-style options (grouped flags such as -ts, a value
 * attached or as the next word, "--" ends the options), then operands. */
typedef struct cl_args *cl_handle;

cl_handle cl_parse_argv(int argc, char **argv, int *status);
/* The next argument, or null; right after an option that takes a value, that value. */
char *cl_getarg(cl_handle args);
/* The next option letter; 0 when no option remains; '?' on an error, whose
 * status and text cl_errno and cl_estr give. */
int cl_getopt(cl_handle args, const char *optstring);
int cl_errno(cl_handle args);
const char *cl_estr(cl_handle args);
/* The next operand, or null. */
char *cl_getname(cl_handle args);
/* Releases the parser; a program may instead keep it to its end. */
void cl_release(cl_handle args);

/* Messages. */
typedef struct msg_table {
    const char *catalog;
    const char *app;
    uint16_t set;
    uint16_t count;
    const char *const *texts;
    const uint16_t *ids;
} msg_table;

enum {
    IMSG_PLAIN = 0,
    IMSG_WARNING = 4,
    IMSG_ERROR = 6,
    IMSG_ERROR_MORE = 7,
    IMSG_VERBOSE = 8,
    IMSG_VERBOSE_MORE = 9,
};

void imsg_set_app_name(const char *argv0);
/* Prints entry `index` of `table` formatted with the arguments; with index -1
 * `table` is a printf format itself. Severity 0 goes to standard output as it
 * is; warnings and errors go to standard error behind the application name. */
void imsg_print(int severity, const void *table, int index, ...);

/* Storage. */
void *stg_malloc(size_t size);
char *stg_strdup(const char *text);
void stg_free(void *block);

/* The n texts one after the other in dest, cut to fit size bytes with its
 * terminator; an absent (null) text counts as empty. 0 when all of it fit. */
int strutl_concat(char *dest, size_t size, int n, ...);

/* 0 when buffer holds path made absolute and tidied ("." and ".." resolved,
 * repeated slashes folded); otherwise an errno value and buffer is empty. */
int fileutl_abspn(const char *path, char *buffer, size_t size);
/* 0 when buffer holds the object pathname of an absolute pathname. */
int fileutl_absobjpn(const char *absolute, char *buffer, size_t size);

/* Security identifiers in their binary form (at most 34 bytes) and their
 * standard text form "S-R-A-S1-S2...". */
enum { CREDUTL_SID_SIZE = 34, CREDUTL_SID_TEXT_SIZE = 188 };
char *credutl_sid_to_str(const void *sid, char *buffer);

/* Ends the process with status after flushing the standard streams. */
__attribute__((noreturn)) void pfm_exit(int status);

#ifdef __cplusplus
}
#endif
