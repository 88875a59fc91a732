// A preload library for the tests of the load and mapped-file tests: it makes
// the file system misbehave behind the probe's back, as a faulty driver would
// (beside the faults of tests/fixtures/fsfault.cpp).
// KELN_SHIM_FAULT names one fault:
//   refused-create   an open that would create a file fails with EACCES, as
//                    in a read-only directory (even for root)
//   lost-rewrite     a write over bytes the file already holds
//                    reports success and stores nothing, so a later mapping
//                    still shows the old data
//   unshared-map     a shared writable mapping is made private, so its
//                    stores never reach the file
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static bool fault_is(const char *name)
{
    const char *fault = getenv("KELN_SHIM_FAULT");
    return fault != nullptr && strcmp(fault, name) == 0;
}

template <typename Fn> static Fn next_symbol(const char *name) { return (Fn)dlsym(RTLD_NEXT, name); }

extern "C" ssize_t write(int fd, const void *buffer, size_t count)
{
    static auto real_write = next_symbol<ssize_t (*)(int, const void *, size_t)>("write");
    if (fault_is("lost-rewrite")) {
        struct stat st;
        off_t position = lseek(fd, 0, SEEK_CUR);
        if (position >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && position < st.st_size) {
            lseek(fd, (off_t)count, SEEK_CUR);
            return (ssize_t)count;
        }
    }
    return real_write(fd, buffer, count);
}

static int mapping_flags(int prot, int flags)
{
    if (fault_is("unshared-map") && (prot & PROT_WRITE) && (flags & MAP_SHARED))
        return (flags & ~MAP_SHARED) | MAP_PRIVATE;
    return flags;
}

extern "C" void *mmap64(void *address, size_t length, int prot, int flags, int fd, off64_t offset)
{
    static auto real_mmap64 = next_symbol<void *(*)(void *, size_t, int, int, int, off64_t)>("mmap64");
    return real_mmap64(address, length, prot, mapping_flags(prot, flags), fd, offset);
}


extern "C" int open64(const char *path, int flags, ...)
{
    static auto real_open64 = next_symbol<int (*)(const char *, int, ...)>("open64");
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list ap;
        va_start(ap, flags);
        mode = (mode_t)va_arg(ap, int);
        va_end(ap);
        struct stat st;
        if (fault_is("refused-create") && stat(path, &st) != 0) {
            errno = EACCES;
            return -1;
        }
    }
    return real_open64(path, flags, mode);
}
