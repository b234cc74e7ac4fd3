// A job's list of typed options: opaque byte blocks keyed by option id.
#ifndef TARSA_OPT_OPT_PARAM_H
#define TARSA_OPT_OPT_PARAM_H

#include <cstdint>

#include "core/rtkit.h"

struct param_info {
    uint32_t id;
    void *data;    // private heap copy, or NULL
    int32_t size;
};

struct opt_param {
    adt_dlist *ls_opt_param;  // elements: param_info *
    int32_t param_num;
};

opt_param *opt_param_create(void);
int opt_param_set(opt_param *p_opt_param, uint32_t id, const void *data, int32_t size);
int opt_param_get(opt_param *p_opt_param, uint32_t id, void *data, int32_t size);
int opt_param_destroy(opt_param *p_opt_param);

#endif
