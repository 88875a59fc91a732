// The control-call layer: one thin wrapper per request of the versioned file
// system driver. Each takes the view root handle first and returns the
// driver's operation status; a failed call, or a pathname that cannot be made
// into a pathname pair, ends the run with the wrapper's own message.
#pragma once

#include <stdint.h>

#include "keln.h"

// Builds the pair of `pathname`: its absolute pathname and object pathname,
// each in a copy of its own. 0, or -1 with nothing held.
int pnpair_init(const char *pathname, pnpair *pair);
// Frees both copies (the object pathname only when it is a copy of its own)
// and clears both pointers.
void pnpair_release(pnpair *pair);

// Requests on an object named by pathname.
int ctl_get_viewinfo(keln_handle handle, uint32_t lookup_flags, const char *pathname, ViewInfo *info);
int ctl_xstat(keln_handle handle, uint32_t lookup_flags, const char *pathname, XStat *xstat);
int ctl_get_vfh(keln_handle handle, uint32_t lookup_flags, const char *pathname, Vfh *vfh);
int ctl_ioinval(keln_handle handle, uint32_t lookup_flags, const char *pathname, InvalRecord *inval);
int ctl_get_viewaddr(keln_handle handle, uint32_t lookup_flags, const char *pathname, ViewAddr *addr);
int ctl_get_xattr(keln_handle handle, uint32_t lookup_flags, const char *pathname, XattrRecord *xattr);
int ctl_set_xattr(keln_handle handle, uint32_t lookup_flags, const char *pathname, XattrRecord *xattr);

// VOB information. The pair of the pathname query stays in the record: its
// owner releases it with pnpair_release.
int ctl_get_vobinfo_by_pathname(keln_handle handle, uint32_t lookup_flags, const char *pathname, VobInfo *info);
int ctl_get_vobinfo_by_uuid(keln_handle handle, const tbs_uuid_t *uuid, VobInfo *info);
int ctl_get_vobinfo_by_family_oid(keln_handle handle, const tbs_oid_t *oid, VobInfo *info);
// Hands back the driver's cursor whatever the status.
int ctl_get_next_vobinfo(keln_handle handle, VobInfo *info, uint32_t *cursor);

// Plain requests.
int ctl_get_procviewinfo(keln_handle handle, ViewInfo *info);
int ctl_mk_viewtag(keln_handle handle, ViewTagRecord *tag);
int ctl_rm_viewtag(keln_handle handle, strbuf *tag);
int ctl_rm_all_viewtags(keln_handle handle);
int ctl_revalidate(keln_handle handle);
int ctl_get_viewtag_dir(keln_handle handle, pnpair *dir);
int ctl_get_audit_file(keln_handle handle, strbuf *file);
int ctl_set_audit_file(keln_handle handle, const char *pathname);
int ctl_get_proc_flags(keln_handle handle, uint32_t *flags);
int ctl_set_proc_flags(keln_handle handle, uint32_t *flags);
int ctl_start_audit(keln_handle handle, uint32_t *flags);
int ctl_stop_audit(keln_handle handle);
int ctl_get_vxsuffix(keln_handle handle, strbuf *suffix);
int ctl_get_rcsid(keln_handle handle, strbuf *id);
int ctl_get_sccsid(keln_handle handle, strbuf *id);
int ctl_getbh(keln_handle handle, BhInfo *bh);
int ctl_setbh(keln_handle handle, BhInfo *bh);
int ctl_set_procview(keln_handle handle, strbuf *tag);
int ctl_umountall(keln_handle handle);
int ctl_get_poolmaps(keln_handle handle, PoolMapsRecord *maps);
