// The create, read/write and attribute tests.
#include "create.h"

#include <errno.h>
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <initializer_list>

#include "nt.h"
#include "testdir.h"

static const int CREATE_TRUNC = NT_O_WRONLY | NT_O_CREAT | NT_O_TRUNC | NT_O_BINARY;
static const int CREATE_EXCL = NT_O_WRONLY | NT_O_CREAT | NT_O_EXCL | NT_O_TRUNC | NT_O_BINARY;

static char creat_name[] = "kel_creatXXXXXX";
static char rdwr_name[] = "kel_rdwrXXXXXX";
static char negseek_name[] = "kel_nsXXXXXX";
static char chmod_name[] = "kel_chXXXXXX";
static char dup_name[] = "kel_dupXXXXXX";

// *** creat ***

void creat_setup()
{
    setup_fresh_testdir();
    unique_name(creat_name);
}

// Stats the name and checks permission bits, link count and size.
static void check_created(int stage, off_t size, nt_stat64 &st)
{
    const char *name = creat_name;
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat%d '%s' failed", stage, name);
    if ((st.st_mode & 0777) != 0666) {
        if (stage == 1)
            probe_fatal(0, "%s: mode1 0%o not 0%o", name, (unsigned)st.st_mode, 0666u);
        probe_fatal(0, "%s: mode%d %o not 0%o", name, stage, (unsigned)st.st_mode, 0666u);
    }
    if (st.st_nlink != 1)
        probe_fatal(0, "%s: nlink%d %d not 1", name, stage, (int)st.st_nlink);
    if (st.st_size != size) {
        if (size == 0)
            probe_fatal(0, "%s: size%d %d not 0", name, stage, (int)st.st_size);
        probe_fatal(0, "%s: size%d %d not %d", name, stage, (int)st.st_size, (int)size);
    }
}

void creat_run()
{
    const char *name = creat_name;
    nt_stat64 st;
    settings.calls_per_iteration = 19;
    umask(0);
    unix_nt_unlink(name);

    int fd = unix_nt_open(name, CREATE_TRUNC, 0666);
    if (fd < 0)
        probe_fatal(errno, "creat1 '%s' failed", name);
    check_created(1, 0, st);
    if (write(fd, &st, 56) != 56)
        probe_fatal(errno, "write1 '%s' failed", name);
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close1 '%s' failed", name);

    fd = unix_nt_open(name, CREATE_EXCL, 0666);
    if (fd >= 0)
        probe_fatal(0, "excl creat '%s' succeeded!", name);
    if (errno != EEXIST)
        probe_fatal(errno, "excl creat '%s' wrong errno", name);
    check_created(2, 56, st);
    if (unix_nt_unlink(name) != 0)
        probe_fatal(errno, "unlink2 '%s' failed", name);

    fd = unix_nt_open(name, CREATE_EXCL, 0666);
    if (fd < 0)
        probe_fatal(errno, "creat3 '%s' failed", name);
    check_created(3, 0, st);
    if (write(fd, &st, 56) != 56)
        probe_fatal(errno, "write3 '%s' failed", name);
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close3 '%s' failed", name);

    fd = unix_nt_open(name, NT_O_RDWR | NT_O_CREAT | NT_O_BINARY, 0666);
    if (fd < 0)
        probe_fatal(errno, "creat4 '%s' failed", name);
    check_created(4, 56, st);
    unsigned char bytes[256];
    for (int i = 0; i < 256; i++)
        bytes[i] = (unsigned char)i;
    if (write(fd, bytes, sizeof bytes) != (ssize_t)sizeof bytes)
        probe_fatal(errno, "write1 '%s' failed", name);
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close4 '%s' failed", name);

    fd = unix_nt_open(name, NT_O_RDWR | NT_O_CREAT | NT_O_TRUNC | NT_O_BINARY, 0666);
    if (fd < 0)
        probe_fatal(errno, "creat5 '%s' failed", name);
    check_created(5, 0, st);
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close5 '%s' failed", name);
    if (unix_nt_unlink(name) != 0)
        probe_fatal(errno, "unlink5 failed");
}

// *** rdwr ***

static const int RDWR_CHUNK = 8192;
static uint16_t rdwr_pattern[RDWR_CHUNK / 2];
static uint16_t rdwr_expected[RDWR_CHUNK / 2]; // what a good read gives, to compare at memory speed

void rdwr_setup()
{
    setup_existing_testdir();
    if (chdir(settings.target) != 0)
        probe_fatal(errno, "chdir '%s' failed", settings.target);
    for (int i = 0; i < RDWR_CHUNK / 2; i++)
        rdwr_pattern[i] = rdwr_expected[i] = (uint16_t)i; // little-endian on this host
    unique_name(rdwr_name);
}

void rdwr_run()
{
    const char *name = rdwr_name;
    int32_t size = settings.file_size;
    nt_stat64 st;
    int fd = unix_nt_open(name, CREATE_TRUNC, 0666);
    if (fd < 0)
        probe_fatal(errno, "creat '%s' failed", name);
    if (unix_nt_fstati64(fd, &st) != 0)
        probe_fatal(errno, "stat '%s' failed", name);
    if (st.st_size != 0)
        probe_fatal(0, "'%s' non-zero size (%d)", name, (int)st.st_size);
    for (int32_t left = size; left > 0; left -= RDWR_CHUNK) {
        int count = left < RDWR_CHUNK ? left : RDWR_CHUNK;
        int written = (int)write(fd, rdwr_pattern, (size_t)count);
        if (written != count)
            probe_fatal(errno, "'%s' write %d failed (%d writ)", name, count, written);
    }
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "'%s' close failed", name);
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat '%s' after write failed", name);
    if (st.st_size != size)
        probe_fatal(0, "'%s' bad size; %d bytes; should be %d bytes", name, (int)st.st_size, size);

    fd = unix_nt_open(name, NT_O_RDONLY | NT_O_BINARY);
    if (fd < 0)
        probe_fatal(errno, "open '%s' failed", name);
    for (int32_t left = size; left > 0; left -= RDWR_CHUNK) {
        int count = left < RDWR_CHUNK ? left : RDWR_CHUNK;
        int got = (int)read(fd, rdwr_pattern, (size_t)count);
        if (got != count)
            probe_fatal(errno, "'%s' read of %d failed (%d read)", name, count, got);
        if (memcmp(rdwr_pattern, rdwr_expected, (size_t)(count / 2) * 2) == 0)
            continue;
        for (int j = 0; j < count / 2; j++) {
            if (rdwr_pattern[j] == (uint16_t)j)
                continue;
            // The bytes of the bad word and the bytes beside it, all inside the buffer.
            const signed char *bytes = (const signed char *)rdwr_pattern;
            int at = 2 * j > 0 ? 2 * j - 1 : 0;
            if (at + 2 >= RDWR_CHUNK)
                at = RDWR_CHUNK - 3;
            fprintf(stderr, "%x %x %x\n", (unsigned)bytes[at], (unsigned)bytes[at + 1], (unsigned)bytes[at + 2]);
            probe_fatal(0, "'%s' byte %d, bad data", name, 2 * j);
        }
    }
    unix_nt_close(fd);
}

void rdwr_report(ElapsedTime &elapsed)
{
    if (settings.silent)
        return;
    printf("\twrote/read/verified %d Kbytes %d times", settings.file_size / 1024, settings.iteration);
    probe_print_elapsed(2 * (int64_t)settings.file_size * settings.iteration, elapsed);
}

// *** setattr ***

void setattr_run()
{
    settings.calls_per_iteration = 4 * settings.file_count;
    char name[32];
    nt_stat64 st;
    for (int32_t i = 0; i < settings.file_count; i++) {
        snprintf(name, sizeof name, "%s%05d", "fil", i);
        if (unix_nt_chmod(name, 0444) != 0)
            probe_fatal(errno, "chmod %o of %s failed", 0444u, name);
        if (unix_nt_stati64(name, &st) != 0)
            probe_fatal(errno, "stat %s failed", name);
        if ((st.st_mode & 0777) != 0444)
            probe_fatal(0, "%s has mode %o after chmod %o", name, (unsigned)st.st_mode, 0444u);
        if (unix_nt_chmod(name, 0666) != 0)
            probe_fatal(errno, "chmod read/write of %s failed", name);
        if (unix_nt_stati64(name, &st) != 0)
            probe_fatal(errno, "stat %s failed", name);
        if ((st.st_mode & 0777) != 0666)
            probe_fatal(0, "%s has mode %o after chmod read/write", name, (unsigned)st.st_mode);
    }
}

// *** neg-seek ***

static const char negseek_text[] = "This is a negseek file";
static int negseek_length;
static int32_t seek_failures, read_failures;

void negseek_setup()
{
    setup_fresh_testdir();
    unique_name(negseek_name);
    negseek_length = (int)strlen(negseek_text);
}

void negseek_run()
{
    const char *name = negseek_name;
    settings.calls_per_iteration = 35;
    int fd = unix_nt_open(name, NT_O_RDWR | NT_O_CREAT | NT_O_BINARY, 0666);
    if (fd < 0)
        probe_fatal(errno, "create '%s' in '%s' failed", name, settings.target);
    int written = (int)write(fd, negseek_text, (size_t)negseek_length);
    if (written < 0)
        probe_fatal(errno, "write '%s' in '%s' failed", name, settings.target);
    if (written != negseek_length)
        probe_fatal(0, "write %d bytes to '%s' (expected %d)", written, name, negseek_length);
    if (lseek(fd, 0, SEEK_SET) != 0)
        probe_fatal(errno, "lseek '%s' to 0 after write failed", name);
    for (int64_t offset = 0; offset > -16384; offset -= 1024) {
        int64_t result = lseek(fd, (off_t)offset, SEEK_SET);
        if (result != offset) {
            seek_failures++;
            if (errno != EINVAL && errno != EFBIG)
                probe_fatal(errno, "lseek '%s' to %" PRId64 " failed (got %" PRId64 ")", name, offset, result);
        }
        char buffer[1024];
        int got = (int)read(fd, buffer, sizeof buffer);
        if (got < 0) {
            read_failures++;
            if (errno != EINVAL)
                probe_fatal(errno, "read '%s' failed", name);
        } else {
            if (got != negseek_length)
                probe_fatal(0, "read %d bytes from '%s' (expect %d)", got, name, negseek_length);
            if (memcmp(buffer, negseek_text, (size_t)negseek_length) != 0)
                probe_fatal(0, "read '%.*s' from '%s' (expect '%s')", negseek_length, buffer, name, negseek_text);
        }
        if (lseek(fd, 0, SEEK_SET) < 0)
            probe_fatal(errno, "lseek '%s' to 0 after read failed", name);
    }
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close '%s' failed", name);
    if (unix_nt_unlink(name) != 0)
        probe_fatal(errno, "unlink '%s' failed", name);
}

void negseek_report(ElapsedTime &elapsed)
{
    if (!settings.silent) {
        printf("\t%d expected seek failures\n", seek_failures);
        printf("\t%d expected read failures\n", read_failures);
    }
    probe_report_calls(elapsed);
}

// *** open-chmod ***

static const char open_chmod_text[] = "This is a test open-chmod file";
static int open_chmod_length;

void open_chmod_setup()
{
    setup_fresh_testdir();
    unique_name(chmod_name);
    open_chmod_length = (int)strlen(open_chmod_text);
}

void open_chmod_run()
{
    const char *name = chmod_name;
    nt_stat64 st;
    settings.calls_per_iteration = 9;
    int fd = unix_nt_open(name, NT_O_RDWR | NT_O_CREAT | NT_O_TRUNC | NT_O_BINARY, 0777);
    if (fd < 0)
        probe_fatal(errno, "creat '%s' failed", name);
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat '%s' failed", name);
    if ((st.st_mode & 0600) == 0)
        probe_fatal(0, "after create '%s' bad rights %o", name, (unsigned)st.st_mode);
    if (unix_nt_chmod(name, 0444) != 0)
        probe_fatal(errno, "chmod '%s' failed", name);
    if (unix_nt_stati64(name, &st) != 0)
        probe_fatal(errno, "stat '%s' after chmod failed", name);
    if ((st.st_mode & 0777) != 0444)
        probe_fatal(0, "chmod '%s' to %o got mode %o", name, 0444u, (unsigned)st.st_mode);
    int written = (int)write(fd, open_chmod_text, (size_t)open_chmod_length);
    if (written < 0)
        probe_fatal(errno, "write to chmod-ed file '%s' failed", name);
    if (written != open_chmod_length)
        probe_fatal(0, "wrote %d bytes to '%s' (expected %d)", written, name, open_chmod_length);
    int64_t position = lseek(fd, 0, SEEK_SET);
    if (position != 0)
        probe_fatal(errno, "lseek '%s' failed, returned %" PRId64, name, position);
    char buffer[1024];
    int got = (int)read(fd, buffer, sizeof buffer);
    if (got < 0)
        probe_fatal(errno, "read from chmod-ed file '%s' failed", name);
    if (got != open_chmod_length)
        probe_fatal(0, "read %d from '%s' (expected %d)", got, name, open_chmod_length);
    if (memcmp(buffer, open_chmod_text, (size_t)open_chmod_length) != 0)
        probe_fatal(0, "read of file '%s' is '%.*s' (expected '%s')", name, open_chmod_length, buffer,
                    open_chmod_text);
    if (unix_nt_unlink(name) != 0)
        probe_fatal(errno, "unlink of '%s' failed", name);
    if (unix_nt_close(fd) != 0)
        probe_fatal(errno, "close '%s' failed", name);
}

// *** fddup ***

void fddup_setup()
{
    if (settings.target == nullptr)
        probe_fatal(0, "Pathname required");
    if (chdir(settings.target) != 0)
        probe_fatal(errno, "chdir '%s' failed", settings.target);
    unique_name(dup_name);
    int fd = unix_nt_open(dup_name, NT_O_RDONLY | NT_O_CREAT, 0666);
    if (fd < 0)
        probe_fatal(errno, "create '%s/%s' failed", settings.target, dup_name);
    unix_nt_close(fd);
}

void fddup_run()
{
    int a = unix_nt_open(dup_name, NT_O_WRONLY);
    if (a == -1)
        probe_fatal(errno, "open '%s/%s' failed", settings.target, dup_name);
    int b = unix_nt_open(dup_name, NT_O_WRONLY);
    if (b == -1)
        probe_fatal(errno, "open '%s/%s' failed", settings.target, dup_name);
    int a1 = dup(a), a2 = dup(a), a3 = dup(a);
    int b1 = dup(b), b2 = dup(b), b3 = dup(b);
    for (int fd : {a, b, a1, b1, a2, b2, a3, b3})
        unix_nt_close(fd);
}

void fddup_report(ElapsedTime &elapsed)
{
    unix_nt_unlink(dup_name);
    probe_report_calls(elapsed);
}
