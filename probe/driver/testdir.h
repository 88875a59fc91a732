// Test directories: choosing, checking, emptying and making them; numbered
// trees of directories and files; the shared setups of the file-system tests.
#pragma once

#include <stdint.h>

constexpr const char TESTDIR_MARKER[] = "ismtest.dir";

// Counters of the tree builder and remover.
extern int32_t dirs_made, files_made, dirs_removed, files_removed;

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
