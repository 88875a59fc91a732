// Test directories: choosing, checking, emptying and making them; numbered
// trees of directories and files; the shared setups of the file-system tests.
#include "testdir.h"

#include <dirent.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "host.h"
#include "nt.h"
#include "probe.h"

int32_t dirs_made, files_made, dirs_removed, files_removed;

static const int CREATE_FLAGS = NT_O_RDWR | NT_O_CREAT | NT_O_BINARY;

void format_path(char (&buffer)[PATH_BUFFER_SIZE], const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int length = vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    if (length < 0 || length >= PATH_BUFFER_SIZE)
        probe_fatal(0, "path of %d characters is too long (at most %d): '%.60s...'", length, PATH_BUFFER_SIZE - 1,
                    buffer);
}

void display_path(char (&buffer)[PATH_BUFFER_SIZE], const char *parent, const char *name)
{
    if (parent != nullptr && parent[0] != '\0')
        format_path(buffer, "%s/%s", parent, name);
    else
        format_path(buffer, "%s", name);
}

DIR *enter_directory(const char *name, const char *path)
{
    DIR *stream = opendir(name);
    if (stream == nullptr)
        probe_fatal(errno, "opendir '%s' failed", path);
    if (chdir(name) != 0)
        probe_fatal(errno, "chdir '%s' failed", path);
    return stream;
}

// Creates an empty file and closes it; false (errno set) when the create fails.
static bool create_empty_file(const char *path, int mode)
{
    int fd = unix_nt_open(path, CREATE_FLAGS, mode);
    if (fd < 0)
        return false;
    unix_nt_close(fd);
    return true;
}

void testdir_resolve()
{
    if (settings.target == nullptr) {
        const char *from_env = getenv("KELTESTDIR");
        settings.target = from_env ? from_env : "kelnprobedir";
    }
    nt_stat64 st;
    if (unix_nt_stati64(settings.target, &st) != 0)
        return;
    char marker[PATH_BUFFER_SIZE];
    format_path(marker, "%s/%s", settings.target, TESTDIR_MARKER);
    if (unix_nt_stati64(marker, &st) == 0)
        return;
    if (getenv("TESTBINDIR") == nullptr) {
        printf("%s is not a test dir; proceed? ", settings.target);
        fflush(stdout);
        char answer[31];
        if (scanf("%30s", answer) != 1 || (answer[0] != 'y' && answer[0] != 'Y'))
            probe_fatal(0, "%s saved!", settings.target);
    }
    if (!create_empty_file(marker, 0777))
        probe_fatal(errno, "creat of %s failed", marker);
}

void testdir_recreate()
{
    const char *target = settings.target;
    nt_stat64 st;
    if (unix_nt_stati64(target, &st) == 0) {
        tree_remove(nullptr, target);
        dirs_removed = 0;
        files_removed = 0;
    }
    if (unix_nt_mkdir(target, 0777) != 0)
        probe_fatal(errno, "mkdir %s failed", target);
    if (chdir(target) != 0)
        probe_fatal(errno, "chdir %s failed", target);
    if (!create_empty_file(TESTDIR_MARKER, 0777))
        probe_fatal(errno, "creat of %s failed", TESTDIR_MARKER);
}

void tree_build(int32_t levels, int32_t dirs, int32_t files)
{
    if (levels == 0)
        return;
    char name[32];
    for (int32_t i = 0; i < dirs; i++) {
        snprintf(name, sizeof name, "%s%05d", "dir", i);
        if (unix_nt_mkdir(name, 0777) != 0)
            probe_fatal(errno, "mkdir %s failed", name);
        dirs_made++;
        if (chdir(name) != 0)
            probe_fatal(errno, "chdir %s failed", name);
        tree_build(levels - 1, dirs, files);
        if (chdir("..") != 0)
            probe_fatal(errno, "chdir .. failed");
    }
    for (int32_t j = 0; j < files; j++) {
        snprintf(name, sizeof name, "%s%05d", "fil", j);
        int fd = unix_nt_open(name, CREATE_FLAGS, 0666);
        if (fd < 0)
            probe_fatal(errno, "creat %s failed", name);
        files_made++;
        if (unix_nt_close(fd) != 0)
            probe_fatal(errno, "close %s failed", name);
    }
}

static bool is_dot_or_dotdot(const char *name) { return strcmp(name, ".") == 0 || strcmp(name, "..") == 0; }

// Removes one directory stream's worth of entries; at most one stream is open
// at a time: it is closed before a subtree goes and opened again after.
void tree_remove(const char *parent, const char *name)
{
    char path[PATH_BUFFER_SIZE];
    display_path(path, parent, name);

    nt_stat64 st;
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat '%s' failed", path);
    if (!is_directory(st)) {
        if (unix_nt_unlink(name) != 0)
            probe_fatal(errno, "unlink '%s' failed", path);
        files_removed++;
        return;
    }
    char *kept_name = stg_strdup(name);
    DIR *stream = enter_directory(name, path);

    while (struct dirent *entry = readdir(stream)) {
        if (is_dot_or_dotdot(entry->d_name))
            continue;
        if (unix_nt_stati64(entry->d_name, &st) != 0) {
            if (errno == ENOENT)
                continue; // it vanished
            probe_fatal(errno, "stat '%s/%s' failed", path, entry->d_name);
        }
        if (is_directory(st)) {
            char *subdir = stg_strdup(entry->d_name);
            closedir(stream);
            tree_remove(path, subdir);
            stg_free(subdir);
            stream = opendir(".");
            if (stream == nullptr)
                probe_fatal(errno, "re-open '%s/.' failed", path);
            continue;
        }
        if (unix_nt_unlink(entry->d_name) != 0) {
            if (errno == ENOENT)
                continue;
            probe_fatal(errno, "unlink '%s/%s' failed", path, entry->d_name);
        }
        files_removed++;
    }
    closedir(stream);
    if (chdir("..") != 0)
        probe_fatal(errno, "chdir '%s/..' failed", path);
    if (unix_nt_rmdir(kept_name) != 0)
        probe_fatal(errno, "rmdir '%s' failed", path);
    stg_free(kept_name);
    dirs_removed++;
}

void setup_fresh_testdir()
{
    testdir_resolve();
    testdir_recreate();
    probe_announce();
}

void setup_testdir_with_files()
{
    testdir_resolve();
    testdir_recreate();
    tree_build(1, 0, settings.file_count);
    probe_announce();
}

void setup_existing_testdir()
{
    testdir_resolve();
    nt_stat64 st;
    if (unix_nt_stati64(settings.target, &st) != 0)
        probe_fatal(errno, "stat of test dir '%s' failed", settings.target);
    probe_announce();
}

// The view root of the host stand-in.
const char *view_root_path() { return host_view_root_path(); }

// True when an entry of the current directory bears `name`.
static bool name_taken(const char *name)
{
    DIR *stream = opendir(".");
    if (stream == nullptr)
        return false;
    bool taken = false;
    while (struct dirent *entry = readdir(stream)) {
        if (strcmp(entry->d_name, name) == 0) {
            taken = true;
            break;
        }
    }
    closedir(stream);
    return taken;
}

char *unique_name(char *name_template)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    size_t length = strlen(name_template);
    if (length < 6 || strcmp(name_template + length - 6, "XXXXXX") != 0)
        return name_template;
    char *x = name_template + length - 6;
    // Candidates count up from a start taken from the process id, so that
    // processes sharing a directory rarely meet; every candidate is new.
    uint32_t start = (uint32_t)getpid() * 2654435761u;
    for (uint32_t attempt = 0;; attempt++) {
        uint32_t value = start + attempt;
        for (int i = 5; i >= 0; i--) {
            x[i] = digits[value % 36];
            value /= 36;
        }
        if (!name_taken(name_template))
            return name_template;
    }
}
