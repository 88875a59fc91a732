// The versioned file system driver as the host stand-in plays it: view root
// handles and the control requests, answered from the host model.
#include "keln.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "host.h"

// ---- view root handles ---------------------------------------------------

struct ViewRoot {
    bool open;
    int kind;
};
static ViewRoot roots[64];

extern "C" keln_handle keln_view_root_open_type(int kind, int *status)
{
    if (kind != DYVWROOT && kind != AUVWROOT) {
        *status = TBS_ST_EINVAL;
        return 0;
    }
    *status = host_ready();
    if (*status != 0)
        return 0;
    for (unsigned slot = 0; slot < sizeof roots / sizeof roots[0]; slot++)
        if (!roots[slot].open) {
            roots[slot] = {true, kind};
            return slot + 1;
        }
    *status = host_errno_status(EMFILE);
    return 0;
}

extern "C" keln_handle keln_view_root_open(int *status) { return keln_view_root_open_type(DYVWROOT, status); }

static ViewRoot *root_of_handle(keln_handle handle)
{
    if (handle == 0 || handle > sizeof roots / sizeof roots[0] || !roots[handle - 1].open)
        return nullptr;
    return &roots[handle - 1];
}

extern "C" int keln_view_root_close(keln_handle handle)
{
    ViewRoot *root = root_of_handle(handle);
    if (root == nullptr)
        return TBS_ST_EINVAL;
    root->open = false;
    return 0;
}

extern "C" int keln_view_root_close_type(int kind, keln_handle handle)
{
    ViewRoot *root = root_of_handle(handle);
    if (root == nullptr || root->kind != kind)
        return TBS_ST_EINVAL;
    root->open = false;
    return 0;
}

// ---- texts in and out ------------------------------------------------------

// The text a caller sends: ptr set, len within maxlen, no terminator inside.
static bool read_text(const strbuf &in, std::string &text)
{
    if (in.ptr == nullptr || in.len > in.maxlen || memchr(in.ptr, '\0', in.len) != nullptr)
        return false;
    text.assign(in.ptr, in.len);
    return true;
}

// Writes each text into its buffer, never past maxlen. A buffer without room
// (null or capacity 0) is passed over; a capacity too small for a text and
// its terminator fails the request with TBS_ST_EINVAL before anything is written.
static int put_texts(std::initializer_list<std::pair<strbuf *, std::string>> outputs)
{
    bool short_ok = host_fault("short-capacity-ok");
    for (const auto &[out, text] : outputs)
        if (out->ptr != nullptr && out->maxlen != 0 && text.size() + 1 > out->maxlen && !short_ok)
            return TBS_ST_EINVAL;
    for (const auto &[out, text] : outputs) {
        if (out->ptr == nullptr || out->maxlen == 0) {
            if (out->ptr != nullptr && host_fault("write-zero-capacity"))
                out->ptr[0] = text.empty() ? '\0' : text[0];
            out->len = 0;
            continue;
        }
        size_t length = text.size() + 1 > out->maxlen ? out->maxlen - 1 : text.size();
        memcpy(out->ptr, text.data(), length);
        out->ptr[length] = '\0';
        out->len = length;
    }
    return 0;
}

static int put_text(strbuf *out, const std::string &text) { return put_texts({{out, text}}); }

// ---- objects -----------------------------------------------------------------

enum { MTYPE_NSDIR_VERS = 3, MTYPE_SYMLINK = 7, MTYPE_VERSION = 8, MTYPE_VIEW_PRIVATE = 19, MTYPE_LAST = 34 };

static uint32_t default_mtype(const HostObject &object)
{
    if (!object.in_vob)
        return MTYPE_VIEW_PRIVATE;
    if (S_ISDIR(object.st.st_mode))
        return MTYPE_NSDIR_VERS;
    if (S_ISLNK(object.st.st_mode))
        return MTYPE_SYMLINK;
    return S_ISREG(object.st.st_mode) ? MTYPE_VERSION : MTYPE_VIEW_PRIVATE;
}

// The runtime's file attributes: directory 0x10, archive 0x20, read-only 0x1.
static uint32_t default_nt_attr(const HostObject &object)
{
    uint32_t attr = S_ISDIR(object.st.st_mode) ? 0x10 : 0x20;
    return (object.st.st_mode & 0222) == 0 ? attr | 0x1 : attr;
}

static uint32_t xattr_value(const HostObject &object, uint32_t type)
{
    uint32_t value;
    if (host_xattr_get(object.st, type, value) == 0)
        return value;
    switch (type) {
    case XATTR_MTYPE:
        return default_mtype(object);
    case XATTR_NT_ATTR:
        return default_nt_attr(object);
    default:
        return 0;
    }
}

static std::string object_identity(const HostObject &object)
{
    return std::to_string((unsigned long long)object.st.st_dev) + ":" +
           std::to_string((unsigned long long)object.st.st_ino);
}

static KelnTime time_of(const struct timespec &ts)
{
    int64_t sec = ts.tv_sec;
    if (sec > INT32_MAX)
        sec = INT32_MAX;
    if (sec < INT32_MIN)
        sec = INT32_MIN;
    return {(int32_t)sec, (uint32_t)(ts.tv_nsec / 1000)};
}

// A Unix identity in security-identifier form: S-1-22-kind-id.
static void put_sid(unsigned char *slot, uint32_t kind, uint32_t id)
{
    memset(slot, 0, 34);
    slot[0] = 1;
    slot[1] = 2;
    slot[7] = 22;
    memcpy(slot + 8, &kind, 4);
    memcpy(slot + 12, &id, 4);
}

static void fill_fstat(const struct stat &st, FStat &out)
{
    memset(&out, 0, sizeof out);
    out.type = S_ISREG(st.st_mode) ? FSTAT_REG : S_ISDIR(st.st_mode) ? FSTAT_DIR : S_ISBLK(st.st_mode) ? FSTAT_BLK
             : S_ISCHR(st.st_mode) ? FSTAT_CHR : S_ISLNK(st.st_mode) ? FSTAT_LNK : S_ISFIFO(st.st_mode) ? FSTAT_FIFO
             : FSTAT_NONE;
    out.mode = st.st_mode;
    out.nlink = st.st_nlink;
    out.nlink2 = st.st_nlink;
    put_sid(out.owner, 1, st.st_uid);
    put_sid(out.group, 2, st.st_gid);
    out.size = st.st_size;
    out.nodeid = (uint32_t)st.st_ino;
    out.xtime = time_of(st.st_mtim);
    out.atime = time_of(st.st_atim);
    out.mtime = time_of(st.st_mtim);
    out.ctime = time_of(st.st_ctim);
}

static int xstat(const HostObject &object, XStat &record)
{
    VStat *vstat = record.vstat;
    if (vstat == nullptr)
        return TBS_ST_EINVAL;
    memset(vstat, 0, sizeof *vstat);
    fill_fstat(object.st, vstat->fstat);
    vstat->mtype = xattr_value(object, XATTR_MTYPE);
    std::string vob = object.in_vob ? host_id_text(object.vob.uuid.bytes) : "view-private";
    host_id_derive(vstat->elem_oid.bytes, vob + ":" + object_identity(object));
    host_id_derive(vstat->vers_oid.bytes, vob + ":" + object_identity(object) + "@" +
                                               std::to_string((long long)object.st.st_mtim.tv_sec) + "." +
                                               std::to_string(object.st.st_mtim.tv_nsec));
    if (object.in_vob)
        vstat->vob_event = time_of(object.st.st_mtim);
    memset(&record.vob_oid, 0, sizeof record.vob_oid);
    if (object.in_vob)
        record.vob_oid = object.vob.family_oid;
    record.view_uuid = object.view.uuid;
    record.atat_flag = object.extended ? 1 : 0;
    record.xmode = xattr_value(object, XATTR_XMODE);
    if (host_fault("trash-vstat"))
        record.vstat = reinterpret_cast<VStat *>(reinterpret_cast<char *>(vstat) + 4);
    return 0;
}

static int get_vfh(const HostObject &object, Vfh &record)
{
    memset(&record, 0, sizeof record);
    record.uuid = object.in_vob ? object.vob.uuid : object.view.uuid;
    uint64_t ino = object.st.st_ino;
    record.words[0] = (uint32_t)ino;
    record.words[1] = (uint32_t)(ino >> 32);
    record.words[2] = (uint32_t)object.st.st_dev;
    record.words[3] = (uint32_t)object.st.st_mtim.tv_sec;
    return 0;
}

static int put_viewinfo(const HostTag &view, ViewInfo &record)
{
    int status = put_texts({{&record.view_name, view.name},
                            {&record.spath, view.storage},
                            {&record.host, view.host},
                            {&record.host_pname, view.host_pname}});
    if (status == 0)
        record.uuid = view.uuid;
    return status;
}

static int put_vobinfo(const HostVob &vob, VobInfo &record)
{
    int status = put_texts({{&record.mnt_path, vob.tag},
                            {&record.spath, vob.storage},
                            {&record.host, vob.host},
                            {&record.host_pname, vob.host_pname}});
    if (status == 0) {
        record.oid = vob.family_oid;
        record.uuid = vob.uuid;
    }
    return status;
}

// ---- requests ----------------------------------------------------------------

// The text of a pathname pair: the object pathname, else the pathname.
static bool pair_text(const pnpair *pair, std::string &text)
{
    if (pair == nullptr)
        return false;
    return read_text(pair->objpn.ptr != nullptr ? pair->objpn : pair->pn, text);
}

static bool pair_is_zero(const pnpair *pair)
{
    static const pnpair zero{};
    return pair == nullptr || memcmp(pair, &zero, sizeof zero) == 0;
}

static int mounted_vobs(std::vector<HostVob> &vobs)
{
    std::vector<HostVob> all;
    int status = host_vob_list(all);
    vobs.clear();
    for (const HostVob &vob : all)
        if (vob.mounted)
            vobs.push_back(vob);
    return status;
}

static int get_vobinfo(VobInfo &record)
{
    std::vector<HostVob> vobs;
    int status = mounted_vobs(vobs);
    if (status != 0)
        return status;
    switch (record.query_kind) {
    case VOBINFO_BY_PATHNAME: {
        std::string path;
        HostObject object;
        if (!pair_text(&record.query.pair, path))
            return TBS_ST_EINVAL;
        status = host_object_lookup(path.c_str(), record.lookup_flags, object);
        if (status != 0)
            return status;
        return object.in_vob ? put_vobinfo(object.vob, record) : TBS_ST_UNK_VOB;
    }
    case VOBINFO_BY_UUID:
    case VOBINFO_BY_FAMILY_OID: {
        const void *id = record.query_kind == VOBINFO_BY_UUID ? (const void *)record.query.uuid
                                                              : (const void *)record.query.family_oid;
        if (id == nullptr)
            return TBS_ST_EINVAL;
        for (const HostVob &vob : vobs) {
            const void *mine = record.query_kind == VOBINFO_BY_UUID ? (const void *)&vob.uuid : (const void *)&vob.family_oid;
            if (memcmp(mine, id, 16) == 0)
                return put_vobinfo(vob, record);
        }
        return TBS_ST_UNK_VOB;
    }
    case VOBINFO_NEXT: {
        uint32_t cursor = record.query.cursor;
        if (cursor >= vobs.size())
            return TBS_ST_NOT_FOUND;
        status = put_vobinfo(vobs[cursor], record);
        if (status == 0)
            record.query.cursor = cursor + 1;
        return status;
    }
    default:
        return TBS_ST_EINVAL;
    }
}

static int get_poolmaps(PoolMapsRecord &record)
{
    std::vector<HostVob> vobs;
    int status = mounted_vobs(vobs);
    if (status != 0)
        return status;
    for (const HostVob &vob : vobs) {
        if (memcmp(&vob.uuid, &record.vob_uuid, sizeof vob.uuid) != 0)
            continue;
        uint32_t room = record.count;
        if (room > 0 && (record.patterns == nullptr || record.replacements == nullptr))
            return TBS_ST_EINVAL;
        for (uint32_t i = 0; i < room && i < vob.pool_maps.size(); i++) {
            status = put_texts({{&record.patterns[i], vob.pool_maps[i].first},
                                {&record.replacements[i], vob.pool_maps[i].second}});
            if (status != 0)
                return status;
        }
        record.count = vob.pool_maps.size();
        return 0;
    }
    return TBS_ST_UNK_VOB;
}

static int mk_viewtag(int kind, ViewTagRecord &record)
{
    HostTag tag;
    std::string storage;
    if (!read_text(record.tag, tag.name) || !pair_text(&record.storage, storage))
        return TBS_ST_EINVAL;
    HostView view;
    int status = host_view_read(storage, view);
    if (status != 0)
        return status;
    if (memcmp(&view.uuid, &record.uuid, sizeof view.uuid) != 0)
        return TBS_ST_WRONG_VIEW;
    tag.kind = kind;
    tag.storage = view.storage;
    tag.uuid = view.uuid;
    if (!read_text(record.host, tag.host) || tag.host.empty())
        tag.host = view.host;
    if (!read_text(record.host_pname, tag.host_pname) || tag.host_pname.empty())
        tag.host_pname = view.host_pname;
    tag.addr = host_addr_from_sockaddr(&record.addr);
    return host_tag_make(tag);
}

static int process_view(HostTag &tag)
{
    std::string name = host_process_get(HOST_ENV_PROCESS_VIEW);
    return name.empty() ? TBS_ST_VIEW_ERROR : host_tag_find(-1, name, true, tag);
}

static uint32_t env_number(const char *name) { return (uint32_t)strtoul(host_process_get(name).c_str(), nullptr, 0); }

static int get_bh(BhInfo &record)
{
    memset(&record, 0, sizeof record);
    std::string text = host_process_get(HOST_ENV_BUILD_HANDLE);
    unsigned long words[5] = {};
    const char *at = text.c_str();
    for (int i = 0; i < 5 && *at; i++) {
        char *end;
        words[i] = strtoul(at, &end, 10);
        at = *end == '.' ? end + 1 : end;
    }
    record.build_session_id = words[0];
    record.build_id = words[1];
    record.ref_time = {(int32_t)words[2], (uint32_t)words[3]};
    record.bh_flags = words[4];
    return 0;
}

static int set_bh(const BhInfo &record)
{
    host_process_set(HOST_ENV_BUILD_HANDLE,
                     std::to_string(record.build_session_id) + "." + std::to_string(record.build_id) + "." +
                         std::to_string((uint32_t)record.ref_time.sec) + "." + std::to_string(record.ref_time.usec) +
                         "." + std::to_string(record.bh_flags));
    return 0;
}

static int ioinval(const char *path, uint32_t flags, const InvalRecord &record)
{
    if (record.op != 1 || record.kind < INVAL_NAME || record.kind > INVAL_VFS)
        return TBS_ST_EINVAL;
    std::string name;
    if (record.kind == INVAL_NAME && (!read_text(record.name, name) || name.empty()))
        return TBS_ST_EINVAL;
    HostObject object;
    int status = host_object_view(path, flags, object);
    if (status != 0)
        return status;
    static const tbs_oid_t zero{};
    if (memcmp(&record.vob_oid, &zero, sizeof zero) == 0)
        return 0;
    std::vector<HostVob> vobs;
    mounted_vobs(vobs);
    for (const HostVob &vob : vobs)
        if (memcmp(&vob.family_oid, &record.vob_oid, sizeof zero) == 0)
            return 0;
    return TBS_ST_UNK_VOB;
}

static int set_xattr(const HostObject &object, const XattrRecord &record)
{
    if (record.type == XATTR_MTYPE && record.value > MTYPE_LAST)
        return TBS_ST_EINVAL;
    uint32_t value = host_fault("store-other") ? record.value + 1 : record.value;
    return host_xattr_set(object.st, record.type, value);
}

struct Request {
    int code;
    uint32_t size;
    bool pathname;
};

static const Request requests[] = {
    {CMD_GET_VIEWINFO, sizeof(ViewInfo), true},  {CMD_XSTAT, sizeof(XStat), true},
    {CMD_GET_VFH, sizeof(Vfh), true},            {CMD_IOINVAL, sizeof(InvalRecord), true},
    {CMD_REVALIDATE, 0, false},                  {CMD_MK_VIEWTAG, sizeof(ViewTagRecord), false},
    {CMD_RM_VIEWTAG, sizeof(strbuf), false},     {CMD_GET_VIEWADDR, sizeof(ViewAddr), true},
    {CMD_GET_VOBINFO, sizeof(VobInfo), false},   {CMD_GET_VIEWTAG_DIR, sizeof(pnpair), false},
    {CMD_GET_AUDIT_FILE, sizeof(strbuf), false}, {CMD_SET_AUDIT_FILE, sizeof(pnpair), false},
    {CMD_GET_PROC_FLAGS, 4, false},              {CMD_SET_PROC_FLAGS, 4, false},
    {CMD_START_AUDIT, 4, false},                 {CMD_STOP_AUDIT, 0, false},
    {CMD_GET_VXSUFFIX, sizeof(strbuf), false},   {CMD_GET_RCSID, sizeof(strbuf), false},
    {CMD_GET_SCCSID, sizeof(strbuf), false},     {CMD_GETBH, sizeof(BhInfo), false},
    {CMD_SETBH, sizeof(BhInfo), false},          {CMD_SET_PROCVIEW, sizeof(strbuf), false},
    {CMD_GET_PROCVIEWINFO, sizeof(ViewInfo), false}, {CMD_GET_XATTR, sizeof(XattrRecord), true},
    {CMD_SET_XATTR, sizeof(XattrRecord), true},  {CMD_RM_ALL_VIEWTAGS, 0, false},
    {CMD_UMOUNTALL, 0, false},                   {CMD_IOGET_POOLMAPS, sizeof(PoolMapsRecord), false},
};

static const char RCS_ID[] = "$Id: kelnfs.c,v 7.1.2 2026/01/05 kelnfs $";
static const char SCCS_ID[] = "@(#)kelnfs.c 7.1.2 01/05/26";

static int answer(int kind, int code, const char *path, uint32_t flags, void *record)
{
    HostObject object;
    if (path != nullptr) {
        int status = code == CMD_IOINVAL ? 0 : host_object_lookup(path, flags, object);
        if (status != 0)
            return status;
    }
    strbuf *text = static_cast<strbuf *>(record);
    uint32_t *word = static_cast<uint32_t *>(record);
    switch (code) {
    case CMD_GET_VIEWINFO:
        return put_viewinfo(object.view, *static_cast<ViewInfo *>(record));
    case CMD_XSTAT:
        return xstat(object, *static_cast<XStat *>(record));
    case CMD_GET_VFH:
        return get_vfh(object, *static_cast<Vfh *>(record));
    case CMD_IOINVAL:
        return ioinval(path, flags, *static_cast<InvalRecord *>(record));
    case CMD_REVALIDATE:
        return 0;
    case CMD_MK_VIEWTAG:
        return mk_viewtag(kind, *static_cast<ViewTagRecord *>(record));
    case CMD_RM_VIEWTAG: {
        std::string name;
        return read_text(*text, name) ? host_tag_remove(kind, name) : TBS_ST_EINVAL;
    }
    case CMD_GET_VIEWADDR:
        return host_addr_to_sockaddr(object.view.addr, record) == 0 ? 0 : TBS_ST_VIEW_ERROR;
    case CMD_GET_VOBINFO:
        return get_vobinfo(*static_cast<VobInfo *>(record));
    case CMD_GET_VIEWTAG_DIR:
        return put_text(&static_cast<pnpair *>(record)->pn,
                        kind == AUVWROOT ? host_auto_view_root_path() : host_view_root_path());
    case CMD_GET_AUDIT_FILE:
        return put_text(text, host_process_get(HOST_ENV_AUDIT_FILE));
    case CMD_SET_AUDIT_FILE: {
        std::string file;
        if (static_cast<pnpair *>(record)->pn.ptr == nullptr)
            file.clear();
        else if (!read_text(static_cast<pnpair *>(record)->pn, file) || !host_text_ok(file))
            return TBS_ST_EINVAL;
        host_process_set(HOST_ENV_AUDIT_FILE, file);
        return 0;
    }
    case CMD_GET_PROC_FLAGS:
        *word = env_number(HOST_ENV_PROCESS_FLAGS);
        return 0;
    case CMD_SET_PROC_FLAGS:
        host_process_set(HOST_ENV_PROCESS_FLAGS, std::to_string(*word));
        return 0;
    case CMD_START_AUDIT:
        if (host_process_get(HOST_ENV_AUDIT_FILE).empty())
            return TBS_ST_EINVAL;   // nowhere to write the audit
        host_process_set(HOST_ENV_PROCESS_FLAGS, std::to_string(*word));
        host_process_set(HOST_ENV_AUDIT_STATE, "running");
        return 0;
    case CMD_STOP_AUDIT:
        host_process_set(HOST_ENV_AUDIT_STATE, "");
        return 0;
    case CMD_GET_VXSUFFIX:
        return put_text(text, "@@");
    case CMD_GET_RCSID:
        return put_text(text, RCS_ID);
    case CMD_GET_SCCSID:
        return put_text(text, SCCS_ID);
    case CMD_GETBH:
        return get_bh(*static_cast<BhInfo *>(record));
    case CMD_SETBH:
        return set_bh(*static_cast<BhInfo *>(record));
    case CMD_SET_PROCVIEW: {
        std::string name;
        HostTag tag;
        if (!read_text(*text, name) || name.empty())
            return TBS_ST_EINVAL;
        int status = host_tag_find(-1, name, true, tag);
        if (status == 0)
            host_process_set(HOST_ENV_PROCESS_VIEW, tag.name);
        return status;
    }
    case CMD_GET_PROCVIEWINFO: {
        HostTag tag;
        int status = process_view(tag);
        return status != 0 ? status : put_viewinfo(tag, *static_cast<ViewInfo *>(record));
    }
    case CMD_GET_XATTR: {
        XattrRecord &xattr = *static_cast<XattrRecord *>(record);
        if (xattr.type < XATTR_MTYPE || xattr.type > XATTR_NT_ATTR)
            return TBS_ST_EINVAL;
        xattr.value = xattr_value(object, xattr.type);
        return 0;
    }
    case CMD_SET_XATTR: {
        XattrRecord &xattr = *static_cast<XattrRecord *>(record);
        if (xattr.type < XATTR_MTYPE || xattr.type > XATTR_NT_ATTR)
            return TBS_ST_EINVAL;
        return set_xattr(object, xattr);
    }
    case CMD_RM_ALL_VIEWTAGS:
        return host_tag_remove_all(kind);
    case CMD_UMOUNTALL:
        return host_vob_set_mounted("", false);
    case CMD_IOGET_POOLMAPS:
        return get_poolmaps(*static_cast<PoolMapsRecord *>(record));
    }
    return TBS_ST_EINVAL;
}

extern "C" int keln_cmd(keln_handle handle, int *call_status, int *op_status, int request, uint32_t lookup_flags,
                        pnpair *pair, void *record, uint32_t size)
{
    *call_status = 0;
    *op_status = 0;
    ViewRoot *root = root_of_handle(handle);
    const Request *known = nullptr;
    for (const Request &each : requests)
        if (each.code == request)
            known = &each;
    if (host_fault("call-fail") || root == nullptr || known == nullptr) {
        *call_status = host_fault("call-fail") ? EIO : root == nullptr ? EBADF : EINVAL;
        *op_status = TBS_ST_EINVAL;
        return -1;
    }
    // The record must have the request's size; a request without one gets
    // neither an address nor a size; only pathname requests carry a pair.
    std::string path;
    if (size != known->size || (known->size == 0) != (record == nullptr))
        *op_status = TBS_ST_EINVAL;
    else if (known->pathname ? !pair_text(pair, path) : !pair_is_zero(pair) || lookup_flags != 0)
        *op_status = TBS_ST_EINVAL;
    else
        *op_status = answer(root->kind, request, known->pathname ? path.c_str() : nullptr, lookup_flags, record);
    return 0;
}
