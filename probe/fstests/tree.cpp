// The tree, lookup and unavailable tests.
#include "tree.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "nt.h"
#include "statrec.h"
#include "testdir.h"

// Counts of the stat walk, summed over all runs.
static int32_t tree_stats, tree_dirs, tree_files, tree_depth;

static nt_stat64 getwd_dot_stat, getwd_name_stat;
static char getwd_name[1024];

static nt_stat64 stat_record;

// The bare loop: no file-system call at all.
void null_run()
{
    settings.calls_per_iteration = 1;
}

void mktree_run()
{
    tree_build(settings.levels, settings.dir_count, settings.file_count);
}

void mktree_report(ElapsedTime &elapsed)
{
    if (settings.silent)
        return;
    printf("\tcreated %d dirs, %d files, on %d levels", dirs_made, files_made, settings.levels);
    probe_print_elapsed((int64_t)dirs_made + files_made, elapsed);
}

// Walks the tree below `name`, keeping this level's directory stream open
// while each subtree is walked; returns to the parent with "..".
extern "C" int32_t stattree(int32_t level, const char *parent, const char *name)
{
    char path[PATH_BUFFER_SIZE];
    display_path(path, parent, name);
    nt_stat64 st;
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat '%s' failed", path);
    tree_stats++;
    if (!is_directory(st))
        return 0;
    if (level > tree_depth)
        tree_depth = level;
    DIR *stream = enter_directory(name, path);
    while (struct dirent *entry = readdir(stream)) {
        const char *entry_name = entry->d_name;
        if (strcmp(entry_name, ".") == 0 || strcmp(entry_name, "..") == 0 || strcmp(entry_name, TESTDIR_MARKER) == 0)
            continue;
        if (unix_nt_stati64(entry_name, &st) != 0)
            probe_fatal(errno, "stat '%s/%s failed'", path, entry_name);
        tree_stats++;
        if (is_directory(st)) {
            tree_dirs++;
            char subdir[256];
            snprintf(subdir, sizeof subdir, "%s", entry_name);
            stattree(level + 1, path, subdir);
        } else {
            tree_files++;
        }
    }
    closedir(stream);
    if (chdir("..") != 0)
        probe_fatal(errno, "chdir '%s/..' failed", path);
    return 0;
}

void stattree_run()
{
    stattree(0, nullptr, settings.target);
}

void stattree_report(ElapsedTime &elapsed)
{
    if (settings.silent)
        return;
    printf("\t%d stats; %d dirs, %d files on %d levels", tree_stats, tree_dirs, tree_files, tree_depth);
    probe_print_elapsed(tree_stats, elapsed);
}

void rmtree_run()
{
    settings.calls_per_iteration = 1;
    tree_remove(nullptr, settings.target);
}

void rmtree_report(ElapsedTime &elapsed)
{
    nt_stat64 st;
    if (unix_nt_stati64(settings.target, &st) == 0)
        probe_fatal(0, "'%s' still exists after rmtree!", settings.target);
    if (settings.silent)
        return;
    printf("\t%d dirs, %d files removed", dirs_removed, files_removed);
    probe_print_elapsed((int64_t)dirs_removed + files_removed, elapsed);
}

void getwd_setup()
{
    if (settings.target == nullptr) {
        const char *from_env = getenv("KELTESTDIR");
        settings.target = from_env ? from_env : ".";
    }
    if (chdir(settings.target) != 0)
        probe_fatal(errno, "chdir %s failed", settings.target);
    if (unix_nt_stati64(".", &getwd_dot_stat) != 0)
        probe_fatal(errno, "stat '.' failed");
    probe_announce();
}

void getwd_run()
{
    settings.calls_per_iteration = 2;
    if (getcwd(getwd_name, sizeof getwd_name) == nullptr)
        probe_fatal(errno, "getwd in '%s' failed", settings.target);
    if (unix_nt_stati64(getwd_name, &getwd_name_stat) != 0)
        probe_fatal(errno, "stat of %s failed", getwd_name);
}

void getwd_report(ElapsedTime &elapsed)
{
    if (stat_compare(&getwd_dot_stat, &getwd_name_stat, CMP_CTIME | CMP_MTIME | CMP_ATIME) != 0)
        probe_fatal(0, "stat '%s' does not match stat '.'", getwd_name);
    if (!is_directory(getwd_name_stat))
        probe_fatal(0, "Suspect dir mode (%o), expected dir", (unsigned)getwd_name_stat.st_mode);
    probe_report_calls(elapsed);
}

void stat_setup()
{
    if (settings.target == nullptr)
        probe_fatal(0, "pathname required");
    probe_announce();
}

void stat_run()
{
    settings.calls_per_iteration = 1;
    int result = unix_nt_stati64(settings.target, &stat_record);
    if (result < 0)
        probe_fatal(errno, "stat '%s' failed (%d)", settings.target, result);
}

void stat_report(ElapsedTime &elapsed)
{
    if (!settings.silent) {
        printf("\tStat info:\n");
        print_stat("\t\t", &stat_record);
    }
    probe_report_calls(elapsed);
}

void setup_nothing() {}
