// The bare calls of each load test and of rdwr in a minimal loop, to measure
// what the probe's driver costs: prints the passes' rate, calls (or bytes)
// per second, measured with the monotonic clock.
//   minimal_loop TEST COUNT DIR [BYTES]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static char pattern[8192];

static void fail(const char *what)
{
    perror(what);
    exit(1);
}

// Each returns the calls (or bytes) that one pass counts.
static long long creat_rm_pass()
{
    int fd = open("crbench", O_RDWR | O_CREAT, 0666);
    if (fd < 0 || close(fd) != 0 || unlink("crbench") != 0)
        fail("creat-rm");
    return 5;
}

static long long xcreat_pass()
{
    int fd = open("xcrbench", O_RDONLY | O_CREAT | O_EXCL, 0777);
    if (fd < 0 || close(fd) != 0 || open("xcrbench", O_RDONLY | O_CREAT | O_EXCL, 0777) >= 0 || unlink("xcrbench") != 0)
        fail("xcreat");
    return 4;
}

static long long rename_pass()
{
    if (rename("renbench", "ren1bench") != 0 || rename("ren1bench", "renbench") != 0)
        fail("rename");
    return 2;
}

static long long mkdir_pass()
{
    if (mkdir("mkdirbench", 0777) != 0 || rmdir("mkdirbench") != 0)
        fail("mkdir");
    return 2;
}

static long long bytes = 1048576;

static long long rdwr_pass()
{
    int fd = open("rdwrbench", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        fail("rdwr create");
    for (long long left = bytes; left > 0; left -= 8192) {
        size_t chunk = left < 8192 ? (size_t)left : 8192;
        if (write(fd, pattern, chunk) != (ssize_t)chunk)
            fail("rdwr write");
    }
    struct stat st;
    if (close(fd) != 0 || stat("rdwrbench", &st) != 0 || (fd = open("rdwrbench", O_RDONLY)) < 0)
        fail("rdwr reopen");
    static char back[8192];
    for (long long left = bytes; left > 0; left -= 8192) {
        size_t chunk = left < 8192 ? (size_t)left : 8192;
        if (read(fd, back, chunk) != (ssize_t)chunk || memcmp(back, pattern, chunk) != 0)
            fail("rdwr read");
    }
    close(fd);
    return 2 * bytes;
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: minimal_loop TEST COUNT DIR [BYTES]\n");
        return 2;
    }
    const char *test = argv[1];
    long count = atol(argv[2]);
    if (chdir(argv[3]) != 0)
        fail(argv[3]);
    if (argc > 4)
        bytes = atoll(argv[4]);
    for (int i = 0; i < 4096; i++)
        memcpy(pattern + 2 * i, &i, 2);

    long long (*pass)() = nullptr;
    if (strcmp(test, "creat-rm-load") == 0)
        pass = creat_rm_pass;
    else if (strcmp(test, "xcreat-load") == 0)
        pass = xcreat_pass;
    else if (strcmp(test, "rename-load") == 0) {
        close(open("renbench", O_RDONLY | O_CREAT, 0666));
        pass = rename_pass;
    } else if (strcmp(test, "mkdir-load") == 0)
        pass = mkdir_pass;
    else if (strcmp(test, "rdwr") == 0)
        pass = rdwr_pass;
    else {
        fprintf(stderr, "minimal_loop: unknown test %s\n", test);
        return 2;
    }

    struct timespec start, end;
    long long done = 0;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long i = 0; i < count; i++)
        done += pass();
    clock_gettime(CLOCK_MONOTONIC, &end);
    unlink("renbench");
    unlink("rdwrbench");
    double seconds = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%.0f\n", (double)done / seconds);
    return 0;
}
