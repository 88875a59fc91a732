/* The view library: view configuration and the view server. */
#pragma once

#include <stddef.h>

#include "keln.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct view_server *view_handle;

/* The view's UUID, the host that holds the storage and the storage pathname
 * on that host, read from the storage directory's config. 0, or a TBS status
 * (TBS_ST_VIEW_ERROR when the directory holds no view; the errno status when
 * it cannot be read; TBS_ST_EINVAL when a text does not fit its buffer). */
int view_read_config(const char *storage, tbs_uuid_t *uuid, char *host, size_t host_size, char *host_pname,
                     size_t host_pname_size);
/* A handle on the server of the view whose storage is named; flags must be 0. */
int view_get_handle(const char *storage, int flags, view_handle *handle);
/* The view server's socket address (28 bytes). */
int view_get_addr(view_handle handle, ViewAddr *addr);
void view_free_handle(view_handle handle);

#ifdef __cplusplus
}
#endif
