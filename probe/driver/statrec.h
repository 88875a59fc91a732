// The printed form of stat records, and their comparison.
#pragma once

#include "nt.h"

// Which times stat_compare compares.
enum : int {
    CMP_CTIME = 0x1,
    CMP_MTIME = 0x2,
    CMP_ATIME = 0x4,
};

// Prints the record (or its null line) with `prefix` before every line.
void print_stat(const char *prefix, const nt_stat64 *st);
// Prints both records, then returns 0 when mode, link count, size and the
// times `time_mask` names agree, 1 when they differ.
int stat_compare(const nt_stat64 *first, const nt_stat64 *second, int time_mask);
