// Start-up, storage, string utilities and process exit of the kernel services.
#include "ks.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" int ks_system_init(void) { return 0; }

extern "C" void *stg_malloc(size_t size) { return malloc(size ? size : 1); }

extern "C" char *stg_strdup(const char *text) { return text ? strdup(text) : nullptr; }

extern "C" void stg_free(void *block) { free(block); }

extern "C" int strutl_concat(char *dest, size_t size, int n, ...)
{
    if (dest == nullptr || size == 0)
        return 1;
    size_t used = 0;
    int cut = 0;
    va_list ap;
    va_start(ap, n);
    for (int i = 0; i < n; i++) {
        const char *piece = va_arg(ap, const char *);
        if (piece == nullptr)
            continue;
        size_t length = strlen(piece);
        size_t room = size - 1 - used;
        if (length > room) {
            length = room;
            cut = 1;
        }
        memcpy(dest + used, piece, length);
        used += length;
    }
    va_end(ap);
    dest[used] = '\0';
    return cut;
}

extern "C" void pfm_exit(int status)
{
    fflush(nullptr);
    exit(status);
}
