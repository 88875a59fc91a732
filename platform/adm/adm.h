/* The administration library: the host's cache tunables. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The host's default cache sizes, 24 signed 32-bit fields. */
typedef struct Tunables {
    int32_t version;
    int32_t size;
    int32_t mnodemax;
    int32_t dncdirmax;
    int32_t dncregmax;
    int32_t dncnoentmax;
    int32_t vobfreemax;
    int32_t cvpfreemax;
    int32_t rpchandles;
    int32_t rddir_blocks;
    int32_t vobfreemin;
    int32_t cvpfreemin;
    int32_t age_cvp_time;
    int32_t vobhashtab_sz;
    int32_t cvphashtab_sz;
    int32_t dnchashtab_sz;
    int32_t threadhashtab_sz;
    int32_t prochashtab_sz;
    int32_t largeinit;
    int32_t reserved[5];
} Tunables;

/* The cache switches: 1 enabled, anything else disabled. */
typedef struct CacheFlags {
    int32_t attrcache;
    int32_t reserved;
    int32_t cto;
    int32_t dncache;
    int32_t rlcache;
    int32_t rvcache;
} CacheFlags;

/* The defaults, with what the host overrides. 0, or a TBS status. */
int adm_keln_get_default_tunables(Tunables *tunables, CacheFlags *flags);
/* Overrides one default on this host, by its label ("MNODEMAX", "attrcache";
 * either case). 0, or TBS_ST_EINVAL for a label that is not one of them. */
int adm_keln_set_default_tunable(const char *label, int32_t value);
/* The labels in order, ending with null. */
const char *const *adm_keln_tunable_labels(void);

#ifdef __cplusplus
}

#include <stddef.h>
static_assert(sizeof(Tunables) == 96 && offsetof(Tunables, mnodemax) == 8 && offsetof(Tunables, largeinit) == 72 &&
              offsetof(Tunables, prochashtab_sz) == 68 && offsetof(Tunables, reserved) == 76);
static_assert(sizeof(CacheFlags) == 24 && offsetof(CacheFlags, cto) == 8 && offsetof(CacheFlags, rvcache) == 20);
#endif
