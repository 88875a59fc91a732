// Test directories: choosing, checking, emptying and making them; numbered
// trees of directories and files; the shared setups of the file-system tests.
#pragma once

#include <dirent.h>
#include <stdint.h>

#include "nt.h"

constexpr const char TESTDIR_MARKER[] = "ismtest.dir";

// Counters of the tree builder and remover.
extern int32_t dirs_made, files_made, dirs_removed, files_removed;

// True when the record is a directory's.
inline bool is_directory(const nt_stat64 &st) { return (st.st_mode & 0xF000) == 0x4000; }

void testdir_resolve();
void testdir_recreate();
void tree_build(int32_t levels, int32_t dirs, int32_t files);
void tree_remove(const char *parent, const char *name);

// Setup operations.
void setup_fresh_testdir();
void setup_testdir_with_files();
void setup_existing_testdir();

const char *view_root_path();

// Replaces the six X's that end `name_template` (in place), once, so that no
// entry of the current directory bears the name; returns `name_template`.
char *unique_name(char *name_template);

// Path texts are built in buffers of this size; a text that does not fit
// ends the process with a clear line instead of being cut or overrun.
constexpr int PATH_BUFFER_SIZE = 1024;
void format_path(char (&buffer)[PATH_BUFFER_SIZE], const char *format, ...) __attribute__((format(printf, 2, 3)));
// The name shown in messages: "parent/name" when parent is given and not empty, else name.
void display_path(char (&buffer)[PATH_BUFFER_SIZE], const char *parent, const char *name);
// Opens the directory `name` as a stream and changes into it; `path` names it in messages.
DIR *enter_directory(const char *name, const char *path);
