/* The host model shared by the stand-in libraries: one directory of small
 * registries (KELN_HOST, default ${TMPDIR:-/tmp}/kelnhost-UID) that holds the
 * host's views, view tags, VOBs, object attributes, build sessions and cache
 * tunables, so that what one process stores another reads back. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "tbs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Paths of the current host state (they follow KELN_HOST and TMPDIR). The
 * directories are made when they can be; the texts are returned either way
 * and stay valid until the next call of the same function. */
const char *host_state_dir(void);
const char *host_view_root_path(void);
const char *host_auto_view_root_path(void);

/* The object pathname of an absolute pathname: a path inside the storage
 * tree of a tagged view becomes the same object seen under the view root,
 * "<view root>/<tag>/..."; any other path stays as it is. 0, or
 * ENAMETOOLONG / EINVAL with buffer empty. */
int host_object_pathname(const char *absolute, char *buffer, size_t size);

/* View root kinds. */
enum { HOST_VIEW_ROOT = 0, HOST_AUTO_VIEW_ROOT = 1 };

#ifdef __cplusplus
}

#include <sys/stat.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

/* 0 when the state directory is usable (made 0700 on first use); otherwise
 * a TBS status. A default directory that is not a private directory of this
 * user is refused. */
int host_ready();

/* The versioned-object services' status for an errno value. */
int host_errno_status(int error);

/* Registries: files of lines in the state directory. A reader sees a whole
 * file, old or new; an update holds the registry's lock while it reads,
 * changes and renames a new file into place. `change` returns 0 to write
 * or a status to leave the file as it was; the update returns that status. */
int host_registry_read(const std::string &name, std::vector<std::string> &lines);
int host_registry_update(const std::string &name,
                         const std::function<int(std::vector<std::string> &lines)> &change);
std::vector<std::string> host_fields(const std::string &line);
std::string host_line(const std::vector<std::string> &fields);
/* A value that a registry can hold: no tab, no line end. */
bool host_text_ok(const std::string &text);

/* Identifiers: text form, random new ones, stable ones from a seed. */
std::string host_id_text(const unsigned char id[16]);
bool host_id_parse(const char *text, unsigned char id[16]);
void host_id_random(unsigned char id[16]);
void host_id_derive(unsigned char id[16], const std::string &seed);

std::string host_name();

/* Views. `addr` is the view server address as text: "A.B.C.D:PORT",
 * "[IPV6]:PORT" or "none". */
struct HostView {
    std::string storage;
    tbs_uuid_t uuid{};
    std::string host, host_pname, addr;
    bool automatic = false;
};
/* Makes the storage directory (absolute, must not exist yet), its tree and
 * its config, and registers it. */
int host_view_create(HostView &view);
int host_view_read(const std::string &storage, HostView &view);
int host_view_list(std::vector<HostView> &views);
/* The view server address in its 28-byte socket form, and back. */
int host_addr_to_sockaddr(const std::string &text, void *sockaddr28);
std::string host_addr_from_sockaddr(const void *sockaddr28);

/* View tags, under the view root or the automatic-view root. */
struct HostTag {
    int kind = HOST_VIEW_ROOT;
    std::string name, storage;
    tbs_uuid_t uuid{};
    std::string host, host_pname, addr;
};
bool host_tag_name_ok(const std::string &name);
/* 0 (also when the tag already names that storage), TBS_ST_EEXIST when it
 * names another, TBS_ST_EINVAL for a bad name. */
int host_tag_make(const HostTag &tag);
/* 0, or TBS_ST_VIEW_ERROR when there is no such tag. */
int host_tag_remove(int kind, const std::string &name);
int host_tag_remove_all(int kind);
/* kind -1 looks under the view root first, then the automatic-view root.
 * Case-insensitive unless `exact`. 0 or TBS_ST_VIEW_ERROR. */
int host_tag_find(int kind, const std::string &name, bool exact, HostTag &tag);
int host_tag_list(std::vector<HostTag> &tags);
std::string host_tag_path(const HostTag &tag);

/* VOBs. `tag` is the mount path below a view's tag directory, "/name". */
struct HostVob {
    std::string tag, storage, host, host_pname;
    tbs_oid_t family_oid{};
    tbs_uuid_t uuid{};
    bool mounted = true;
    std::vector<std::pair<std::string, std::string>> pool_maps;
};
/* "name" or "/name" in the form that the registry keeps, or "" when bad. */
std::string host_vob_tag(const std::string &text);
int host_vob_create(HostVob &vob);
int host_vob_list(std::vector<HostVob> &vobs);
int host_vob_add_pool_map(const std::string &tag, const std::string &pattern,
                          const std::string &replacement);
/* An empty tag stands for every VOB. 0, or TBS_ST_UNK_VOB. */
int host_vob_set_mounted(const std::string &tag, bool mounted);

/* An object named by an object pathname under a view root. */
struct HostObject {
    HostTag view;
    bool in_vob = false;
    HostVob vob;
    std::string file;   /* the file in the view's storage tree */
    bool extended = false;   /* the pathname ended in the extended-name suffix "@@" */
    struct stat st{};
};
/* lookup_flags: 0x1 do not follow a final symbolic link, 0x2 case-sensitive.
 * Statuses: TBS_ST_WRONG_VIEW outside every view root, TBS_ST_VIEW_ERROR
 * for an unknown tag, TBS_ST_UNK_VOB in an unmounted VOB, the file's errno
 * status when it cannot be found. */
int host_object_lookup(const char *objpn, uint32_t lookup_flags, HostObject &object);
/* The view that a path is in, without looking at the object itself. */
int host_object_view(const char *objpn, uint32_t lookup_flags, HostObject &object);

/* Persistent extended attributes of an object, by its file identity.
 * 0 and the value when one was stored, TBS_ST_NOT_FOUND otherwise. */
int host_xattr_get(const struct stat &st, uint32_t type, uint32_t &value);
int host_xattr_set(const struct stat &st, uint32_t type, uint32_t value);

/* Cache tunables that the host overrides, by label ("MNODEMAX", "attrcache"). */
int host_tunable_get(const std::string &name, int32_t &value);
int host_tunable_set(const std::string &name, int32_t value);

/* Build sessions of the host. */
int host_session_open(const std::string &view_tag, uint32_t &number);
int host_session_free(uint32_t number);
bool host_session_is_open(uint32_t number);

/* Per-process state lives in the environment, so that children inherit it. */
#define HOST_ENV_PROCESS_VIEW "KELN_PROCESS_VIEW"
#define HOST_ENV_BUILD_HANDLE "KELN_BUILD_HANDLE"
#define HOST_ENV_AUDIT_FILE "KELN_AUDIT_FILE"
#define HOST_ENV_PROCESS_FLAGS "KELN_PROCESS_FLAGS"
#define HOST_ENV_AUDIT_STATE "KELN_AUDIT_STATE"
std::string host_process_get(const char *name);
void host_process_set(const char *name, const std::string &value);

/* Faults a test asks of the stand-in through KELN_HOST_FAULTS, a
 * comma-separated list: trash-vstat, write-zero-capacity, short-capacity-ok,
 * store-other, call-fail. */
bool host_fault(const char *name);

#endif
