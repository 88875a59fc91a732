// The mapped-file consistency tests. The test file is cut into blocks of
// 4096 bytes; block k holds the words of `mmap_block`, with word 0 and word
// 1023 set to k plus a base value.
#include "mapped.h"

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/mman.h>
#include <unistd.h>

#include "nt.h"
#include "testdir.h"

constexpr int BLOCK_SIZE = 4096;
constexpr int BLOCK_WORDS = BLOCK_SIZE / 4;
constexpr int LAST_WORD = BLOCK_WORDS - 1;

static char mmap_name[] = "mmXXXXXX";
static uint32_t mmap_block[BLOCK_WORDS];

// Copy-on-write for a private mapping; read-only when only reading is asked;
// read-write otherwise.
void *probe_mmap(int fd, int protection, int sharing, size_t length)
{
    int prot = PROT_READ | PROT_WRITE;
    int flags = MAP_SHARED;
    if (sharing == PROBE_MAP_PRIVATE)
        flags = MAP_PRIVATE;
    else if ((protection & 3) == PROBE_PROT_READ)
        prot = PROT_READ;
    void *view = mmap(nullptr, length, prot, flags, fd, 0);
    if (view == MAP_FAILED) {
        int error = errno;
        fprintf(stderr, "mmap failed: errno=%d\n", error);
        errno = error;
        return nullptr;
    }
    return view;
}

// The status of a read or write that moved `result` bytes instead of the
// asked count: its errno only when the call itself failed.
static int short_transfer_status(ssize_t result)
{
    return result < 0 ? errno : 0;
}

static unsigned address_of(const void *view) { return (unsigned)(uintptr_t)view; }

static void unmap(void *view)
{
    if (munmap(view, (size_t)settings.file_size) != 0)
        probe_fatal(errno, "munmap 0x%x %d failed", address_of(view), settings.file_size);
}

static int block_length(int offset)
{
    int left = settings.file_size - offset;
    return left < BLOCK_SIZE ? left : BLOCK_SIZE;
}

// Whether the last word of the block at `offset` is written and checked.
static bool has_checked_last_word(int offset) { return offset + BLOCK_SIZE < settings.file_size; }

static void write_marked_blocks(int fd, uint32_t base)
{
    uint32_t k = 0;
    for (int offset = 0; offset < settings.file_size; offset += BLOCK_SIZE, k++) {
        mmap_block[0] = k + base;
        mmap_block[LAST_WORD] = k + base;
        int length = block_length(offset);
        ssize_t written = write(fd, mmap_block, (size_t)length);
        if (written != length)
            probe_fatal(short_transfer_status(written), "'%s' write %d failed (%d writ)", mmap_name, length,
                        (int)written);
    }
}

static void check_word(const uint32_t *word, int offset, uint32_t k, uint32_t base)
{
    if (*word == k + base)
        return;
    if (base != 0 && *word == k)
        probe_fatal(0, "data at 0x%x has first write data", offset);
    probe_fatal(0, "data at 0x%x should be: 0x%x was: 0x%x", offset, k + base, *word);
}

static void check_marked_blocks(const void *view, uint32_t base)
{
    const uint32_t *words = (const uint32_t *)view;
    uint32_t k = 0;
    for (int offset = 0; offset < settings.file_size; offset += BLOCK_SIZE, k++) {
        check_word(&words[offset / 4], offset, k, base);
        if (has_checked_last_word(offset))
            check_word(&words[offset / 4 + LAST_WORD], offset + BLOCK_SIZE - 4, k, base);
    }
}

static void check_size(const char *path, const char *stat_failed, const char *bad_size)
{
    nt_stat64 st;
    if (unix_nt_stati64(path, &st) != 0)
        probe_fatal(errno, stat_failed, path);
    if (st.st_size != settings.file_size)
        probe_fatal(0, bad_size, path, (int)st.st_size, settings.file_size);
}

static int open_or_fail(int flags, const char *failed)
{
    int fd = unix_nt_open(mmap_name, flags);
    if (fd < 0)
        probe_fatal(errno, failed, mmap_name);
    return fd;
}

static void close_or_fail(int fd, const char *failed)
{
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, failed, mmap_name);
}

static void *map_or_fail(int fd, int protection, int sharing, const char *failed)
{
    void *view = probe_mmap(fd, protection, sharing, (size_t)settings.file_size);
    if (view == nullptr)
        probe_fatal(errno, failed, mmap_name);
    return view;
}

// Every pass starts with a new, empty file written in the block format with
// base 0; it returns the open descriptor.
static int first_stage(const char *create_failed)
{
    int fd = unix_nt_open(mmap_name, NT_O_RDWR | NT_O_CREAT | NT_O_TRUNC | NT_O_BINARY, 0666);
    if (fd < 0)
        probe_fatal(errno, create_failed, mmap_name);
    nt_stat64 st;
    if (unix_nt_fstati64(fd, &st) != 0)
        probe_fatal(errno, "stat '%s' failed", mmap_name);
    if (st.st_size != 0)
        probe_fatal(0, "'%s' non-zero size (%d)", mmap_name, (int)st.st_size);
    write_marked_blocks(fd, 0);
    return fd;
}

void mmap_setup()
{
    setup_fresh_testdir();
    for (int i = 0; i < BLOCK_WORDS; i++)
        mmap_block[i] = (uint32_t)i;
    unique_name(mmap_name);
}

static const char BAD_SIZE[] = "'%s' bad size; %d bytes; should be %d bytes";

void mmap_run()
{
    int fd = first_stage("create '%s' failed");
    close_or_fail(fd, "'%s' close failed");
    check_size(mmap_name, "stat '%s' after write failed", BAD_SIZE);
    fd = open_or_fail(NT_O_RDONLY | NT_O_BINARY, "open '%s' failed");
    void *view = map_or_fail(fd, PROBE_PROT_READ, PROBE_MAP_SHARED, "mmap '%s' failed");
    check_marked_blocks(view, 0);
    unmap(view);
    unix_nt_close(fd);
}

void mmaprewrite_run()
{
    int fd = first_stage("creat '%s' failed");
    check_size(mmap_name, "stat '%s' after write failed", BAD_SIZE);
    close_or_fail(fd, "'%s' close after initial write failed");

    fd = open_or_fail(NT_O_RDONLY | NT_O_BINARY, "open '%s' for initial read failed");
    void *view = map_or_fail(fd, PROBE_PROT_READ, PROBE_MAP_SHARED, "mmap '%s' failed");
    check_marked_blocks(view, 0);
    unmap(view);
    close_or_fail(fd, "'%s' close after initial read failed");

    fd = open_or_fail(NT_O_RDWR | NT_O_BINARY, "open for second write '%s' failed");
    write_marked_blocks(fd, 1);
    close_or_fail(fd, "'%s' close after second write failed");

    fd = open_or_fail(NT_O_RDONLY | NT_O_BINARY, "open '%s' for second read failed");
    view = map_or_fail(fd, PROBE_PROT_READ, PROBE_MAP_SHARED, "mmap '%s' second time failed");
    check_marked_blocks(view, 1);
    unmap(view);
    close_or_fail(fd, "'%s' final close failed");
}

// A word read back after the stores through the mapping: k is the write
// calls' value, k + 1 the mapping's.
static void check_read_word(uint32_t word, int offset, uint32_t k, const char *should_be)
{
    if (word == k + 1)
        return;
    if (word == k)
        probe_fatal(0, "data at 0x%x has write data, not mmap data", offset);
    probe_fatal(0, should_be, offset, k + 1, word);
}

void mmapwrite_run()
{
    int fd = first_stage("creat '%s' failed");
    close_or_fail(fd, "'%s' close after write failed");
    check_size(mmap_name, "stat '%s' after write failed", "After write- '%s' bad size; %d bytes; should be %d bytes");

    fd = open_or_fail(NT_O_RDWR | NT_O_BINARY, "open for mmap '%s' failed");
    uint32_t *words = (uint32_t *)map_or_fail(fd, PROBE_PROT_WRITE, PROBE_MAP_SHARED, "mmap '%s' failed");
    uint32_t k = 0;
    for (int offset = 0; offset < settings.file_size; offset += BLOCK_SIZE, k++) {
        words[offset / 4] = k + 1;
        if (has_checked_last_word(offset))
            words[offset / 4 + LAST_WORD] = k + 1;
    }
    unmap(words);
    close_or_fail(fd, "'%s' close after mmap failed");

    fd = open_or_fail(NT_O_RDONLY | NT_O_BINARY, "open '%s' for read failed");
    k = 0;
    for (int offset = 0; offset < settings.file_size; offset += BLOCK_SIZE, k++) {
        int length = block_length(offset);
        ssize_t got = read(fd, mmap_block, (size_t)length);
        if (got != length)
            probe_fatal(short_transfer_status(got), "'%s' read %d failed (%d read)", mmap_name, length, (int)got);
        check_read_word(mmap_block[0], offset, k, "data at 0x%x should be: 0x%x was: 0x%x");
        if (has_checked_last_word(offset))
            check_read_word(mmap_block[LAST_WORD], offset + BLOCK_SIZE - 4, k, "data at 0x%x should be 0x%x was: 0x%x");
    }
    close_or_fail(fd, "'%s' close after read failed");
    check_size(mmap_name, "stat '%s' at end failed", "After read- '%s' bad size; %d bytes; should be %d bytes");
}

static void rwhilem_run(int sharing)
{
    int fd = first_stage("creat '%s' failed");
    close_or_fail(fd, "'%s' close failed");
    check_size(mmap_name, "stat '%s' after write failed", BAD_SIZE);
    fd = open_or_fail(NT_O_RDWR | NT_O_BINARY, "open '%s' failed");
    void *view = map_or_fail(fd, PROBE_PROT_READ | PROBE_PROT_WRITE, sharing, "mmap '%s' failed");
    ssize_t got = read(fd, view, BLOCK_SIZE);
    if (got != BLOCK_SIZE)
        probe_fatal(short_transfer_status(got), "'%s' read %d failed (%d read)", mmap_name, BLOCK_SIZE, (int)got);
    unmap(view);
    unix_nt_close(fd);
}

void rwhilem_priv_run() { rwhilem_run(PROBE_MAP_PRIVATE); }

void rwhilem_shar_run() { rwhilem_run(PROBE_MAP_SHARED); }

static void report_bytes(const char *format, ElapsedTime &elapsed)
{
    if (settings.silent)
        return;
    printf(format, settings.file_size / 1024, settings.iteration);
    probe_print_elapsed(2 * (int64_t)settings.file_size * settings.iteration, elapsed);
}

void mmap_report(ElapsedTime &elapsed) { report_bytes("\twrote/mmap verified %d Kbytes %d times", elapsed); }

void mmaprewrite_report(ElapsedTime &elapsed)
{
    report_bytes("\twrote/mmap/wrote/mmap verified %d Kbytes %d times", elapsed);
}

void mmapwrite_report(ElapsedTime &elapsed)
{
    report_bytes("\twrote/mmap wrote/read verified %d Kbytes %d times", elapsed);
}

void rwhilem_report(ElapsedTime &)
{
    if (!settings.silent)
        printf("\trwhilem verified results of reading into region which has bee mmaped from the same file\n");
}
