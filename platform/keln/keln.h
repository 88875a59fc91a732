/* The versioned file system: view root handles, the control-call entry point
 * and the records exchanged with the driver. The records are 32-bit layouts
 * (addresses 4 bytes), little-endian, passed by address. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "tbs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Counted text that the driver reads or writes. */
typedef struct strbuf {
    char *ptr;        /* the characters; may be null */
    uint32_t len;     /* length of the text, terminator not counted */
    uint32_t maxlen;  /* capacity at ptr, in bytes */
} strbuf;

/* The pathname pair that names an object: the absolute pathname and the
 * absolute object pathname. Six zero words when no object is named. */
typedef struct pnpair {
    strbuf pn;
    strbuf objpn;
} pnpair;

/* Request codes. */
enum {
    CMD_GET_VIEWINFO = 1,
    CMD_XSTAT = 2,
    CMD_GET_VFH = 4,
    CMD_IOINVAL = 5,
    CMD_REVALIDATE = 6,
    CMD_MK_VIEWTAG = 7,
    CMD_RM_VIEWTAG = 8,
    CMD_GET_VIEWADDR = 9,
    CMD_GET_VOBINFO = 10,
    CMD_GET_VIEWTAG_DIR = 11,
    CMD_GET_AUDIT_FILE = 13,
    CMD_SET_AUDIT_FILE = 14,
    CMD_GET_PROC_FLAGS = 15,
    CMD_SET_PROC_FLAGS = 16,
    CMD_START_AUDIT = 17,
    CMD_STOP_AUDIT = 18,
    CMD_GET_VXSUFFIX = 20,
    CMD_GET_RCSID = 25,
    CMD_GET_SCCSID = 26,
    CMD_GETBH = 29,
    CMD_SETBH = 30,
    CMD_SET_PROCVIEW = 32,
    CMD_GET_PROCVIEWINFO = 33,
    CMD_GET_XATTR = 34,
    CMD_SET_XATTR = 35,
    CMD_RM_ALL_VIEWTAGS = 38,
    CMD_UMOUNTALL = 39,
    CMD_IOGET_POOLMAPS = 40,
};

/* View root kinds. */
enum { DYVWROOT = 0, AUVWROOT = 1 };

/* Seconds and microseconds, 32 bits each. */
typedef struct KelnTime {
    int32_t sec;
    uint32_t usec;
} KelnTime;

enum { VOBINFO_BY_PATHNAME = 1, VOBINFO_BY_UUID = 2, VOBINFO_BY_FAMILY_OID = 3, VOBINFO_NEXT = 4 };

typedef struct VobInfo {
    uint32_t query_kind;
    union {
        pnpair pair;                  /* by pathname */
        const tbs_uuid_t *uuid;       /* by UUID */
        const tbs_oid_t *family_oid;  /* by family OID */
        uint32_t cursor;              /* next VOB: in and out, 0 to start */
        uint32_t words[6];
    } query;
    uint32_t lookup_flags;
    strbuf mnt_path;
    strbuf spath;
    strbuf host;
    strbuf host_pname;
    tbs_oid_t oid;
    tbs_uuid_t uuid;
    uint32_t reserved;
} VobInfo;

typedef struct ViewInfo {
    strbuf view_name;
    strbuf spath;
    strbuf host;
    strbuf host_pname;
    tbs_uuid_t uuid;
} ViewInfo;

/* A socket address in the Windows sockets layout: family 2 (IPv4) or 23
 * (IPv6); port and IPv4 address in network byte order. */
typedef struct ViewAddr {
    uint16_t family;
    uint16_t port;
    union {
        struct {
            uint32_t addr;
            uint8_t zero[20];
        } ipv4;
        struct {
            uint32_t flowinfo;
            uint8_t addr[16];
            uint32_t scope;
        } ipv6;
    } u;
} ViewAddr;

enum {
    FSTAT_NONE = 0, FSTAT_REG = 1, FSTAT_DIR = 2, FSTAT_BLK = 3, FSTAT_CHR = 4, FSTAT_LNK = 5, FSTAT_FIFO = 6,
};

typedef struct FStat {
    uint32_t type;
    uint32_t mode;
    uint32_t nlink;
    uint32_t nlink2;
    unsigned char owner[34];
    unsigned char group[34];
    uint32_t padding;
    uint64_t size;
    uint32_t nodeid;
    KelnTime xtime;
    KelnTime atime;
    KelnTime mtime;
    KelnTime ctime;
    uint32_t reserved;
} FStat;

/* The fields of the extended stat that the driver fills (callers supply a
 * larger buffer: 224 bytes, or 208). */
typedef struct VStat {
    FStat fstat;
    uint32_t mtype;
    tbs_oid_t elem_oid;
    tbs_oid_t vers_oid;
    KelnTime vob_event;
} VStat;

enum { XMODE_AUDITED = 0x80000000u };

typedef struct XStat {
    VStat *vstat;       /* set by the caller; the driver fills what it points to */
    tbs_oid_t vob_oid;
    tbs_uuid_t view_uuid;
    uint32_t atat_flag;
    uint32_t xmode;
    uint8_t reserved[44];
} XStat;

typedef struct Vfh {
    tbs_uuid_t uuid;
    uint32_t words[4];
    uint32_t reserved;
} Vfh;

typedef struct BhInfo {
    uint32_t build_session_id;
    uint32_t build_id;
    KelnTime ref_time;
    uint32_t bh_flags;
} BhInfo;

typedef struct ViewTagRecord {
    strbuf tag;
    pnpair storage;
    strbuf host;
    strbuf host_pname;
    tbs_uuid_t uuid;
    ViewAddr addr;
    uint32_t reserved;
} ViewTagRecord;

enum { INVAL_NAME = 1, INVAL_OBJ = 2, INVAL_VIEW = 3, INVAL_VFS = 4 };

typedef struct InvalRecord {
    uint32_t op;        /* always 1 */
    tbs_oid_t vob_oid;
    uint32_t kind;
    tbs_oid_t obj_oid;
    strbuf name;        /* len and maxlen both the name's length */
} InvalRecord;

typedef struct PoolMapsRecord {
    tbs_uuid_t vob_uuid;
    uint32_t count;     /* in: room in the arrays; out: the number of maps */
    strbuf *patterns;
    strbuf *replacements;
} PoolMapsRecord;

enum { XATTR_NULL = 0, XATTR_MTYPE = 1, XATTR_XMODE = 2, XATTR_NT_ATTR = 3 };

typedef struct XattrRecord {
    uint32_t type;
    uint32_t value;
} XattrRecord;

typedef uint32_t keln_handle;

/* A view root handle (non-zero), or 0 with the reason in status. */
keln_handle keln_view_root_open(int *status);
keln_handle keln_view_root_open_type(int kind, int *status);
int keln_view_root_close(keln_handle handle);
int keln_view_root_close_type(int kind, keln_handle handle);

/* One control call. call_status is non-zero when the call itself failed;
 * op_status is the driver's answer. Both are always set. */
int keln_cmd(keln_handle handle, int *call_status, int *op_status, int request, uint32_t lookup_flags,
             pnpair *pair, void *record, uint32_t size);

#ifdef __cplusplus
}

/* The layouts are shared with the driver: every size and offset is fixed. */
#define KELN_LAYOUT(type, field, offset) static_assert(offsetof(type, field) == (offset), #type "." #field)
static_assert(sizeof(void *) == 4, "the control records carry 32-bit addresses");
static_assert(sizeof(tbs_oid_t) == 16 && sizeof(tbs_uuid_t) == 16);
static_assert(sizeof(strbuf) == 12);
KELN_LAYOUT(strbuf, ptr, 0); KELN_LAYOUT(strbuf, len, 4); KELN_LAYOUT(strbuf, maxlen, 8);
static_assert(sizeof(pnpair) == 24);
KELN_LAYOUT(pnpair, pn, 0); KELN_LAYOUT(pnpair, objpn, 12);
static_assert(sizeof(VobInfo) == 116);
KELN_LAYOUT(VobInfo, query_kind, 0); KELN_LAYOUT(VobInfo, query, 4); KELN_LAYOUT(VobInfo, query.cursor, 4);
KELN_LAYOUT(VobInfo, query.uuid, 4); KELN_LAYOUT(VobInfo, query.family_oid, 4);
KELN_LAYOUT(VobInfo, query.pair.objpn, 16); KELN_LAYOUT(VobInfo, lookup_flags, 28);
KELN_LAYOUT(VobInfo, mnt_path, 32); KELN_LAYOUT(VobInfo, spath, 44); KELN_LAYOUT(VobInfo, host, 56);
KELN_LAYOUT(VobInfo, host_pname, 68); KELN_LAYOUT(VobInfo, oid, 80); KELN_LAYOUT(VobInfo, uuid, 96);
KELN_LAYOUT(VobInfo, reserved, 112);
static_assert(sizeof(ViewInfo) == 64);
KELN_LAYOUT(ViewInfo, view_name, 0); KELN_LAYOUT(ViewInfo, spath, 12); KELN_LAYOUT(ViewInfo, host, 24);
KELN_LAYOUT(ViewInfo, host_pname, 36); KELN_LAYOUT(ViewInfo, uuid, 48);
static_assert(sizeof(ViewAddr) == 28);
KELN_LAYOUT(ViewAddr, family, 0); KELN_LAYOUT(ViewAddr, port, 2); KELN_LAYOUT(ViewAddr, u.ipv4.addr, 4);
KELN_LAYOUT(ViewAddr, u.ipv6.flowinfo, 4); KELN_LAYOUT(ViewAddr, u.ipv6.addr, 8); KELN_LAYOUT(ViewAddr, u.ipv6.scope, 24);
static_assert(sizeof(FStat) == 136);
KELN_LAYOUT(FStat, type, 0); KELN_LAYOUT(FStat, mode, 4); KELN_LAYOUT(FStat, nlink, 8); KELN_LAYOUT(FStat, nlink2, 12);
KELN_LAYOUT(FStat, owner, 16); KELN_LAYOUT(FStat, group, 50); KELN_LAYOUT(FStat, padding, 84);
KELN_LAYOUT(FStat, size, 88); KELN_LAYOUT(FStat, nodeid, 96); KELN_LAYOUT(FStat, xtime, 100);
KELN_LAYOUT(FStat, atime, 108); KELN_LAYOUT(FStat, mtime, 116); KELN_LAYOUT(FStat, ctime, 124);
KELN_LAYOUT(FStat, reserved, 132);
static_assert(sizeof(KelnTime) == 8);
static_assert(sizeof(VStat) == 180);
KELN_LAYOUT(VStat, fstat, 0); KELN_LAYOUT(VStat, mtype, 136); KELN_LAYOUT(VStat, elem_oid, 140);
KELN_LAYOUT(VStat, vers_oid, 156); KELN_LAYOUT(VStat, vob_event.sec, 172); KELN_LAYOUT(VStat, vob_event.usec, 176);
static_assert(sizeof(XStat) == 88);
KELN_LAYOUT(XStat, vstat, 0); KELN_LAYOUT(XStat, vob_oid, 4); KELN_LAYOUT(XStat, view_uuid, 20);
KELN_LAYOUT(XStat, atat_flag, 36); KELN_LAYOUT(XStat, xmode, 40); KELN_LAYOUT(XStat, reserved, 44);
static_assert(sizeof(Vfh) == 36);
KELN_LAYOUT(Vfh, uuid, 0); KELN_LAYOUT(Vfh, words, 16); KELN_LAYOUT(Vfh, reserved, 32);
static_assert(sizeof(BhInfo) == 20);
KELN_LAYOUT(BhInfo, build_session_id, 0); KELN_LAYOUT(BhInfo, build_id, 4); KELN_LAYOUT(BhInfo, ref_time.sec, 8);
KELN_LAYOUT(BhInfo, ref_time.usec, 12); KELN_LAYOUT(BhInfo, bh_flags, 16);
static_assert(sizeof(ViewTagRecord) == 108);
KELN_LAYOUT(ViewTagRecord, tag, 0); KELN_LAYOUT(ViewTagRecord, storage, 12); KELN_LAYOUT(ViewTagRecord, storage.objpn, 24);
KELN_LAYOUT(ViewTagRecord, host, 36); KELN_LAYOUT(ViewTagRecord, host_pname, 48); KELN_LAYOUT(ViewTagRecord, uuid, 60);
KELN_LAYOUT(ViewTagRecord, addr, 76); KELN_LAYOUT(ViewTagRecord, reserved, 104);
static_assert(sizeof(InvalRecord) == 52);
KELN_LAYOUT(InvalRecord, op, 0); KELN_LAYOUT(InvalRecord, vob_oid, 4); KELN_LAYOUT(InvalRecord, kind, 20);
KELN_LAYOUT(InvalRecord, obj_oid, 24); KELN_LAYOUT(InvalRecord, name, 40);
static_assert(sizeof(PoolMapsRecord) == 28);
KELN_LAYOUT(PoolMapsRecord, vob_uuid, 0); KELN_LAYOUT(PoolMapsRecord, count, 16);
KELN_LAYOUT(PoolMapsRecord, patterns, 20); KELN_LAYOUT(PoolMapsRecord, replacements, 24);
static_assert(sizeof(XattrRecord) == 8);
KELN_LAYOUT(XattrRecord, type, 0); KELN_LAYOUT(XattrRecord, value, 4);
#undef KELN_LAYOUT
#endif
