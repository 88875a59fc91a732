// Security attributes of objects made for the calling user alone.
#include "nt.h"

// Access rights that grant reading, writing and running.
enum : unsigned {
    FILE_READ_DATA = 0x1,
    FILE_WRITE_DATA = 0x2,
    FILE_APPEND_DATA = 0x4,
    FILE_EXECUTE = 0x20,
    GENERIC_ALL = 0x10000000,
    GENERIC_EXECUTE = 0x20000000,
    GENERIC_WRITE = 0x40000000,
    GENERIC_READ = 0x80000000,
};

extern "C" nt_security_attributes nt_owner_security_attributes(unsigned access, int inherit)
{
    nt_security_attributes attributes = {0, inherit};
    if (access & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL))
        attributes.mode |= 0400;
    if (access & (FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL))
        attributes.mode |= 0200;
    if (access & (FILE_EXECUTE | GENERIC_EXECUTE | GENERIC_ALL))
        attributes.mode |= 0100;
    return attributes;
}
