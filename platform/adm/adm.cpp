// The host's cache tunables: fixed defaults that the host state may override.
#include "adm.h"

#include <stddef.h>
#include <strings.h>

#include <string>

#include "host.h"

struct Tunable {
    const char *label;
    bool is_flag;
    size_t offset;
    int32_t value;
};

static const Tunable defaults[] = {
    {"MNODEMAX", false, offsetof(Tunables, mnodemax), 4096},
    {"DNCDIRMAX", false, offsetof(Tunables, dncdirmax), 1024},
    {"DNCREGMAX", false, offsetof(Tunables, dncregmax), 4096},
    {"DNCNOENTMAX", false, offsetof(Tunables, dncnoentmax), 2048},
    {"VOBFREEMAX", false, offsetof(Tunables, vobfreemax), 200},
    {"CVPFREEMAX", false, offsetof(Tunables, cvpfreemax), 400},
    {"RPCHANDLES", false, offsetof(Tunables, rpchandles), 5},
    {"RDDIR_BLOCKS", false, offsetof(Tunables, rddir_blocks), 4},
    {"VOBFREEMIN", false, offsetof(Tunables, vobfreemin), 25},
    {"CVPFREEMIN", false, offsetof(Tunables, cvpfreemin), 50},
    {"AGE_CVP_TIME", false, offsetof(Tunables, age_cvp_time), 600},
    {"VOBHASHTAB_SZ", false, offsetof(Tunables, vobhashtab_sz), 256},
    {"CVPHASHTAB_SZ", false, offsetof(Tunables, cvphashtab_sz), 512},
    {"DNCHASHTAB_SZ", false, offsetof(Tunables, dnchashtab_sz), 1024},
    {"THREADHASHTAB_SZ", false, offsetof(Tunables, threadhashtab_sz), 128},
    {"PROCHASHTAB_SZ", false, offsetof(Tunables, prochashtab_sz), 128},
    {"LARGEINIT", false, offsetof(Tunables, largeinit), 0},
    {"attrcache", true, offsetof(CacheFlags, attrcache), 1},
    {"cto", true, offsetof(CacheFlags, cto), 1},
    {"dncache", true, offsetof(CacheFlags, dncache), 1},
    {"rlcache", true, offsetof(CacheFlags, rlcache), 1},
    {"rvcache", true, offsetof(CacheFlags, rvcache), 1},
};

extern "C" int adm_keln_get_default_tunables(Tunables *tunables, CacheFlags *flags)
{
    *tunables = Tunables{};
    *flags = CacheFlags{};
    tunables->version = 1;
    tunables->size = sizeof(Tunables);
    for (const Tunable &each : defaults) {
        int32_t value = each.value;
        int32_t stored;
        if (host_tunable_get(each.label, stored) == 0)
            value = stored;
        char *base = each.is_flag ? reinterpret_cast<char *>(flags) : reinterpret_cast<char *>(tunables);
        *reinterpret_cast<int32_t *>(base + each.offset) = value;
    }
    return 0;
}

extern "C" int adm_keln_set_default_tunable(const char *label, int32_t value)
{
    for (const Tunable &each : defaults)
        if (label != nullptr && strcasecmp(label, each.label) == 0)
            return host_tunable_set(each.label, value);
    return TBS_ST_EINVAL;
}

extern "C" const char *const *adm_keln_tunable_labels(void)
{
    static const char *labels[sizeof defaults / sizeof defaults[0] + 1];
    for (size_t i = 0; i < sizeof defaults / sizeof defaults[0]; i++)
        labels[i] = defaults[i].label;
    return labels;
}
