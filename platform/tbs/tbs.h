/* Versioned-object services: 16-byte identifiers and their text form, the
 * status codes of the services, and view root pathnames. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tbs_oid {
    unsigned char bytes[16];
} tbs_oid_t;

typedef struct tbs_uuid {
    unsigned char bytes[16];
} tbs_uuid_t;

/* Statuses: 0 is success. */
enum {
    TBS_ST_OK = 0,
    TBS_ST_ERROR = 1001,
    TBS_ST_NOT_FOUND = 1002,
    TBS_ST_NOT_AN_OBJ = 1003,
    TBS_ST_VIEW_ERROR = 1008,
    TBS_ST_VOB_ERROR = 1009,
    TBS_ST_UNK_VOB = 1016,
    TBS_ST_WRONG_VOB = 1017,
    TBS_ST_WRONG_VIEW = 1018,
    TBS_ST_ENOENT = 1052,
    TBS_ST_ENOMEM = 1062,
    TBS_ST_EEXIST = 1067,
    TBS_ST_EINVAL = 1072,
    TBS_ST_ENAMETOOLONG = 1084,
};

/* Room for the text form of an identifier, terminator included. */
enum { TBS_ID_TEXT_SIZE = 52 };

/* Text form: 32 lower-case hexadecimal digits grouped 8-4-4-4-12 by dashes.
 * The _to_str calls write it into a 52-byte buffer and return the buffer. */
char *tbs_oid_to_str(const tbs_oid_t *oid, char *buffer);
char *tbs_uuid_to_str(const tbs_uuid_t *uuid, char *buffer);
/* 0 when the whole text is one identifier in that form (either case of the
 * digits); TBS_ST_EINVAL otherwise, the identifier then left unchanged. */
int tbs_str_to_oid(const char *text, tbs_oid_t *oid);
int tbs_str_to_uuid(const char *text, tbs_uuid_t *uuid);

/* The pathname of the root of the named view (its tag under the view root)
 * into buffer, which holds at least 1024 bytes. 0, or TBS_ST_ENAMETOOLONG
 * (buffer then empty). */
int tbs_view_root(char *buffer, const char *view_name);

/* The services' status for an errno value. */
int tbs_status_from_errno(int error);

#ifdef __cplusplus
}
#endif
