// The mapped-file consistency tests: what a mapping shows against what read
// and write calls show.
#pragma once

#include <stddef.h>

#include "probe.h"

// Mapping arguments.
enum {
    PROBE_PROT_READ = 1,
    PROBE_PROT_WRITE = 2,
    PROBE_MAP_SHARED = 1,
    PROBE_MAP_PRIVATE = 2,
};

// A view of the file of `fd` from offset 0, `length` bytes long, or null.
void *probe_mmap(int fd, int protection, int sharing, size_t length);

void mmap_setup();
void mmap_run();
void mmap_report(ElapsedTime &elapsed);
void mmapwrite_run();
void mmapwrite_report(ElapsedTime &elapsed);
void mmaprewrite_run();
void mmaprewrite_report(ElapsedTime &elapsed);
void rwhilem_priv_run();
void rwhilem_shar_run();
void rwhilem_report(ElapsedTime &elapsed);
