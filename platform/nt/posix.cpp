// POSIX-style file calls: the runtime's open flags translated to the
// system's, everything else passed through. Errors leave errno set.
#include "nt.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

static const int KNOWN_FLAGS = NT_O_WRONLY | NT_O_RDWR | NT_O_CREAT | NT_O_TRUNC | NT_O_EXCL | NT_O_BINARY;

// The system's open flags for the runtime's; -1 for bits it does not know.
static int system_open_flags(int flags)
{
    if ((flags & ~KNOWN_FLAGS) != 0 || (flags & (NT_O_WRONLY | NT_O_RDWR)) == (NT_O_WRONLY | NT_O_RDWR))
        return -1;
    int result = O_RDONLY;
    if (flags & NT_O_WRONLY)
        result = O_WRONLY;
    if (flags & NT_O_RDWR)
        result = O_RDWR;
    if (flags & NT_O_CREAT)
        result |= O_CREAT;
    if (flags & NT_O_TRUNC)
        result |= O_TRUNC;
    if (flags & NT_O_EXCL)
        result |= O_EXCL;
    return result;
}

extern "C" int unix_nt_open(const char *path, int flags, ...)
{
    int mode = 0;
    if (flags & NT_O_CREAT) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, int);
        va_end(ap);
    }
    int system_flags = system_open_flags(flags);
    if (system_flags < 0) {
        errno = EINVAL;
        return -1;
    }
    return open(path, system_flags, (mode_t)mode);
}

extern "C" int unix_nt_close(int fd) { return close(fd); }

extern "C" int unix_nt_stati64(const char *path, nt_stat64 *st) { return stat(path, st); }

extern "C" int unix_nt_fstati64(int fd, nt_stat64 *st) { return fstat(fd, st); }

extern "C" int unix_nt_unlink(const char *path) { return unlink(path); }

extern "C" int unix_nt_mkdir(const char *path, int mode) { return mkdir(path, (mode_t)mode); }

extern "C" int unix_nt_rmdir(const char *path) { return rmdir(path); }

extern "C" int unix_nt_rename(const char *from, const char *to) { return rename(from, to); }

extern "C" int unix_nt_chmod(const char *path, int mode) { return chmod(path, (mode_t)mode); }

extern "C" time_t unix_nt_time(time_t *now) { return time(now); }
