// Identifier texts, statuses and view root pathnames of the versioned-object services.
#include "tbs.h"

#include <stdio.h>
#include <string.h>

#include "host.h"

static char *id_to_str(const unsigned char *id, char *buffer)
{
    snprintf(buffer, TBS_ID_TEXT_SIZE, "%s", host_id_text(id).c_str());
    return buffer;
}

extern "C" char *tbs_oid_to_str(const tbs_oid_t *oid, char *buffer) { return id_to_str(oid->bytes, buffer); }

extern "C" char *tbs_uuid_to_str(const tbs_uuid_t *uuid, char *buffer) { return id_to_str(uuid->bytes, buffer); }

extern "C" int tbs_str_to_oid(const char *text, tbs_oid_t *oid)
{
    return host_id_parse(text, oid->bytes) ? 0 : TBS_ST_EINVAL;
}

extern "C" int tbs_str_to_uuid(const char *text, tbs_uuid_t *uuid)
{
    return host_id_parse(text, uuid->bytes) ? 0 : TBS_ST_EINVAL;
}

extern "C" int tbs_view_root(char *buffer, const char *view_name)
{
    int used = snprintf(buffer, 1024, "%s/%s", host_view_root_path(), view_name ? view_name : "");
    if (used < 0 || used >= 1024) {
        buffer[0] = '\0';
        return TBS_ST_ENAMETOOLONG;
    }
    return 0;
}

extern "C" int tbs_status_from_errno(int error) { return host_errno_status(error); }
