// Security identifiers in text form.
#include "ks.h"

#include <stdio.h>

// Binary layout: revision, count of sub-authorities, a 48-bit big-endian
// identifier authority, then the 32-bit little-endian sub-authorities.
extern "C" char *credutl_sid_to_str(const void *sid, char *buffer)
{
    const unsigned char *bytes = static_cast<const unsigned char *>(sid);
    int count = bytes[1];
    if (count > (CREDUTL_SID_SIZE - 8) / 4) {
        snprintf(buffer, CREDUTL_SID_TEXT_SIZE, "S-?");
        return buffer;
    }
    unsigned long long authority = 0;
    for (int i = 2; i < 8; i++)
        authority = authority << 8 | bytes[i];
    int used = authority < (1ULL << 32)
        ? snprintf(buffer, CREDUTL_SID_TEXT_SIZE, "S-%u-%llu", bytes[0], authority)
        : snprintf(buffer, CREDUTL_SID_TEXT_SIZE, "S-%u-0x%012llX", bytes[0], authority);
    for (int i = 0; i < count; i++) {
        const unsigned char *word = bytes + 8 + 4 * i;
        unsigned value = word[0] | word[1] << 8 | word[2] << 16 | (unsigned)word[3] << 24;
        used += snprintf(buffer + used, CREDUTL_SID_TEXT_SIZE - used, "-%u", value);
    }
    return buffer;
}
