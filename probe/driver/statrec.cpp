// The printed form of stat records, and their comparison.
#include "statrec.h"

#include <stdint.h>
#include <stdio.h>

void print_stat(const char *prefix, const nt_stat64 *st)
{
    fputs(prefix, stdout);
    if (st == nullptr) {
        printf("(Null stat ptr)\n");
        return;
    }
    printf("st_mode    = %o\n", (unsigned)(uint16_t)st->st_mode);
    fputs(prefix, stdout);
    printf("st_nlink   = %d\n", (int)st->st_nlink);
    fputs(prefix, stdout);
    printf("st_size    = %lu\n", (unsigned long)(uint32_t)st->st_size);
    fputs(prefix, stdout);
    printf("st_atime   = %x\n", (unsigned)(uint32_t)st->st_atime);
    fputs(prefix, stdout);
    printf("st_mtime   = %x\n", (unsigned)(uint32_t)st->st_mtime);
    fputs(prefix, stdout);
    printf("st_ctime   = %x\n", (unsigned)(uint32_t)st->st_ctime);
}

int stat_compare(const nt_stat64 *first, const nt_stat64 *second, int time_mask)
{
    print_stat("\t\t", first);
    print_stat("\t\t", second);
    if (first->st_mode != second->st_mode || first->st_nlink != second->st_nlink || first->st_size != second->st_size)
        return 1;
    if ((time_mask & CMP_CTIME) && first->st_ctime != second->st_ctime)
        return 1;
    if ((time_mask & CMP_MTIME) && first->st_mtime != second->st_mtime)
        return 1;
    if ((time_mask & CMP_ATIME) && first->st_atime != second->st_atime)
        return 1;
    return 0;
}
