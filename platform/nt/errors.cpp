// Texts of error numbers.
#include "nt.h"

#include <stdio.h>
#include <string.h>

extern "C" size_t nt_get_error_string(unsigned code, int, size_t size, char *buffer)
{
    if (buffer == nullptr || size == 0)
        return 0;
    char text[256];
    const char *message = strerror_r((int)code, text, sizeof text);
    int length = snprintf(buffer, size, "%s", message);
    return length < 0 ? 0 : ((size_t)length < size ? (size_t)length : size - 1);
}
