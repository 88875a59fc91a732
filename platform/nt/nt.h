/* The POSIX layer: POSIX-style file calls taking the runtime library's open
 * flags, and Windows helpers. Error numbers are the C library's errno. */
#pragma once

#include <dirent.h>
#include <stddef.h>
#include <sys/stat.h>
#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Open flags in the runtime library's encoding. */
enum {
    NT_O_RDONLY = 0x0,
    NT_O_WRONLY = 0x1,
    NT_O_RDWR = 0x2,
    NT_O_CREAT = 0x100,
    NT_O_TRUNC = 0x200,
    NT_O_EXCL = 0x400,
    NT_O_BINARY = 0x8000, /* no text translation; no effect here */
};

/* The 64-bit stat record (64-bit sizes and times). */
typedef struct stat nt_stat64;

/* flags: NT_O_* bits; a mode follows when NT_O_CREAT is given. -1 and errno on failure. */
int unix_nt_open(const char *path, int flags, ...);
int unix_nt_close(int fd);
int unix_nt_stati64(const char *path, nt_stat64 *st);
int unix_nt_fstati64(int fd, nt_stat64 *st);
int unix_nt_unlink(const char *path);
int unix_nt_mkdir(const char *path, int mode);
int unix_nt_rmdir(const char *path);
int unix_nt_rename(const char *from, const char *to);
int unix_nt_chmod(const char *path, int mode);
time_t unix_nt_time(time_t *now);
/* Directory streams are the C library's opendir, readdir and closedir. */

/* Writes the text of an error number into buffer (size bytes, always
 * terminated); returns the text's length. flags: 0. */
size_t nt_get_error_string(unsigned code, int flags, size_t size, char *buffer);

/* Security attributes of an object that its owner alone may use: the
 * permission bits that grant the owner the rights of an access mask (read,
 * write, execute; nothing for group and others), and whether child
 * processes inherit the handle. */
typedef struct nt_security_attributes {
    unsigned mode;
    int inherit;
} nt_security_attributes;
nt_security_attributes nt_owner_security_attributes(unsigned access, int inherit);

#ifdef __cplusplus
}
#endif
