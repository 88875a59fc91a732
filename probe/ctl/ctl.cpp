// The control-call layer: pathname pairs and one wrapper per request.
#include "ctl.h"

#include <string.h>

#include "ks.h"
#include "probe.h"

int pnpair_init(const char *pathname, pnpair *pair)
{
    char absolute[1024], object[1024];
    if (fileutl_abspn(pathname, absolute, sizeof absolute) != 0 ||
        fileutl_absobjpn(absolute, object, sizeof object) != 0)
        return -1;
    char *pn = stg_strdup(absolute);
    if (pn == nullptr)
        return -1;
    char *objpn = stg_strdup(object);
    if (objpn == nullptr) {
        stg_free(pn);
        return -1;
    }
    uint32_t pn_length = strlen(pn), objpn_length = strlen(objpn);
    pair->pn = {pn, pn_length, pn_length + 1};
    pair->objpn = {objpn, objpn_length, objpn_length + 1};
    return 0;
}

void pnpair_release(pnpair *pair)
{
    if (pair->objpn.ptr != nullptr && pair->objpn.ptr != pair->pn.ptr)
        stg_free(pair->objpn.ptr);
    stg_free(pair->pn.ptr);
    pair->pn.ptr = nullptr;
    pair->objpn.ptr = nullptr;
}

// One control call. `built` is the pair made for this call alone: it is
// released right after the call, whatever came back.
static int control(keln_handle handle, int request, uint32_t lookup_flags, pnpair *pair, void *record,
                   uint32_t size, const char *message, pnpair *built)
{
    int call_status = 0, op_status = 0;
    keln_cmd(handle, &call_status, &op_status, request, lookup_flags, pair, record, size);
    if (built != nullptr)
        pnpair_release(built);
    if (call_status != 0)
        probe_fatal(call_status, "%s", message);
    return op_status;
}

static int plain(keln_handle handle, int request, void *record, uint32_t size, const char *message)
{
    pnpair none = {};
    return control(handle, request, 0, &none, record, size, message, nullptr);
}

static int on_pathname(keln_handle handle, int request, uint32_t lookup_flags, const char *pathname,
                       void *record, uint32_t size, const char *init_message, const char *message)
{
    pnpair pair;
    if (pnpair_init(pathname, &pair) != 0)
        probe_fatal(-1, init_message, pathname);
    return control(handle, request, lookup_flags, &pair, record, size, message, &pair);
}

int ctl_get_viewinfo(keln_handle handle, uint32_t lookup_flags, const char *pathname, ViewInfo *info)
{
    return on_pathname(handle, CMD_GET_VIEWINFO, lookup_flags, pathname, info, sizeof *info,
                       "init strbufpn absobjpn '%s' failed", "get viewinfo ioctl failed");
}

int ctl_xstat(keln_handle handle, uint32_t lookup_flags, const char *pathname, XStat *xstat)
{
    return on_pathname(handle, CMD_XSTAT, lookup_flags, pathname, xstat, sizeof *xstat,
                       "init absobpn pair '%s' failed", "xstat ioctl failed");
}

int ctl_get_vfh(keln_handle handle, uint32_t lookup_flags, const char *pathname, Vfh *vfh)
{
    return on_pathname(handle, CMD_GET_VFH, lookup_flags, pathname, vfh, sizeof *vfh,
                       "init absobjpn pair '%s' failed", "get vfh ioctl failed");
}

int ctl_ioinval(keln_handle handle, uint32_t lookup_flags, const char *pathname, InvalRecord *inval)
{
    return on_pathname(handle, CMD_IOINVAL, lookup_flags, pathname, inval, sizeof *inval,
                       "init absobjpn '%s' failed", "ioinval ioctl failed");
}

int ctl_get_viewaddr(keln_handle handle, uint32_t lookup_flags, const char *pathname, ViewAddr *addr)
{
    return on_pathname(handle, CMD_GET_VIEWADDR, lookup_flags, pathname, addr, sizeof *addr,
                       "init absobjpn pair '%s' failed", "get viewaddr ioctl failed");
}

int ctl_get_xattr(keln_handle handle, uint32_t lookup_flags, const char *pathname, XattrRecord *xattr)
{
    return on_pathname(handle, CMD_GET_XATTR, lookup_flags, pathname, xattr, sizeof *xattr,
                       "absobjpn '%s' failed", "get xattr ioctl failed");
}

int ctl_set_xattr(keln_handle handle, uint32_t lookup_flags, const char *pathname, XattrRecord *xattr)
{
    return on_pathname(handle, CMD_SET_XATTR, lookup_flags, pathname, xattr, sizeof *xattr,
                       "absobjpn '%s' failed", "set xattr ioctl failed");
}

int ctl_get_vobinfo_by_pathname(keln_handle handle, uint32_t lookup_flags, const char *pathname, VobInfo *info)
{
    info->query_kind = VOBINFO_BY_PATHNAME;
    info->lookup_flags = lookup_flags;
    if (pnpair_init(pathname, &info->query.pair) != 0)
        probe_fatal(-1, "absobjpn pair '%s' failed", pathname);
    return plain(handle, CMD_GET_VOBINFO, info, sizeof *info, "get vobinfo ioctl failed");
}

int ctl_get_vobinfo_by_uuid(keln_handle handle, const tbs_uuid_t *uuid, VobInfo *info)
{
    info->query_kind = VOBINFO_BY_UUID;
    info->query.uuid = uuid;
    return plain(handle, CMD_GET_VOBINFO, info, sizeof *info, "get vobinfo by uuid ioctl failed");
}

int ctl_get_vobinfo_by_family_oid(keln_handle handle, const tbs_oid_t *oid, VobInfo *info)
{
    info->query_kind = VOBINFO_BY_FAMILY_OID;
    info->query.family_oid = oid;
    return plain(handle, CMD_GET_VOBINFO, info, sizeof *info, "get vobinfo by family oid ioctl failed");
}

int ctl_get_next_vobinfo(keln_handle handle, VobInfo *info, uint32_t *cursor)
{
    info->query_kind = VOBINFO_NEXT;
    info->query.cursor = *cursor;
    int status = plain(handle, CMD_GET_VOBINFO, info, sizeof *info, "get vobinfo (for nextvob) ioctl failed");
    *cursor = info->query.cursor;
    return status;
}

int ctl_get_procviewinfo(keln_handle handle, ViewInfo *info)
{
    return plain(handle, CMD_GET_PROCVIEWINFO, info, sizeof *info, "get procviewinfo ioctl failed");
}

int ctl_mk_viewtag(keln_handle handle, ViewTagRecord *tag)
{
    return plain(handle, CMD_MK_VIEWTAG, tag, sizeof *tag, "mk viewtag ioctl failed");
}

int ctl_rm_viewtag(keln_handle handle, strbuf *tag)
{
    return plain(handle, CMD_RM_VIEWTAG, tag, sizeof *tag, "rm viewtag ioctl failed");
}

int ctl_rm_all_viewtags(keln_handle handle)
{
    return plain(handle, CMD_RM_ALL_VIEWTAGS, nullptr, 0, "rm all viewtags ioctl failed");
}

int ctl_revalidate(keln_handle handle) { return plain(handle, CMD_REVALIDATE, nullptr, 0, "revalidate ioctl failed"); }

int ctl_get_viewtag_dir(keln_handle handle, pnpair *dir)
{
    return plain(handle, CMD_GET_VIEWTAG_DIR, dir, sizeof *dir, "get viewtag dir ioctl failed");
}

int ctl_get_audit_file(keln_handle handle, strbuf *file)
{
    return plain(handle, CMD_GET_AUDIT_FILE, file, sizeof *file, "get audit file ioctl failed");
}

int ctl_set_audit_file(keln_handle handle, const char *pathname)
{
    pnpair pair;
    if (pnpair_init(pathname, &pair) != 0)
        probe_fatal(-1, "absobjpn audit file failed");
    pnpair none = {};
    return control(handle, CMD_SET_AUDIT_FILE, 0, &none, &pair, sizeof pair, "set audit file ioctl failed", &pair);
}

int ctl_get_proc_flags(keln_handle handle, uint32_t *flags)
{
    return plain(handle, CMD_GET_PROC_FLAGS, flags, sizeof *flags, "get proc flags ioctl failed");
}

int ctl_set_proc_flags(keln_handle handle, uint32_t *flags)
{
    return plain(handle, CMD_SET_PROC_FLAGS, flags, sizeof *flags, "set proc flags ioctl failed");
}

int ctl_start_audit(keln_handle handle, uint32_t *flags)
{
    return plain(handle, CMD_START_AUDIT, flags, sizeof *flags, "start audit ioctl failed");
}

int ctl_stop_audit(keln_handle handle) { return plain(handle, CMD_STOP_AUDIT, nullptr, 0, "stop audit ioctl failed"); }

int ctl_get_vxsuffix(keln_handle handle, strbuf *suffix)
{
    return plain(handle, CMD_GET_VXSUFFIX, suffix, sizeof *suffix, "get vxsuffix ioctl failed");
}

int ctl_get_rcsid(keln_handle handle, strbuf *id)
{
    return plain(handle, CMD_GET_RCSID, id, sizeof *id, "get rcsid ioctl failed");
}

int ctl_get_sccsid(keln_handle handle, strbuf *id)
{
    return plain(handle, CMD_GET_SCCSID, id, sizeof *id, "get sccsid ioctl failed");
}

int ctl_getbh(keln_handle handle, BhInfo *bh) { return plain(handle, CMD_GETBH, bh, sizeof *bh, "getbh ioctl failed"); }

int ctl_setbh(keln_handle handle, BhInfo *bh) { return plain(handle, CMD_SETBH, bh, sizeof *bh, "setbh ioctl failed"); }

int ctl_set_procview(keln_handle handle, strbuf *tag)
{
    return plain(handle, CMD_SET_PROCVIEW, tag, sizeof *tag, "set procview ioctl failed");
}

int ctl_umountall(keln_handle handle) { return plain(handle, CMD_UMOUNTALL, nullptr, 0, "kel umountall ioctl failed"); }

int ctl_get_poolmaps(keln_handle handle, PoolMapsRecord *maps)
{
    return plain(handle, CMD_IOGET_POOLMAPS, maps, sizeof *maps, "kel ioget_poolmaps ioctl failed");
}
