// A job's option list: a small keyed store of opaque byte blocks. Each list
// element is one pointer to a heap `param_info`; the list owns the entry and
// its data.
#include "media/opt_param.h"

#include <cstdlib>
#include <cstring>

namespace {

void free_param_info(param_info *info)
{
    if (!info) return;
    std::free(info->data);
    std::free(info);
}

param_info *entry_of(adt_dlist_node *node)
{
    return *static_cast<param_info **>(adt_dlist_getdata(node));
}

}  // namespace

opt_param *opt_param_create(void)
{
    auto *p_opt_param = static_cast<opt_param *>(std::calloc(1, sizeof(opt_param)));
    if (!p_opt_param) {
        LOG_INFO("p_opt_param == NULL");
        return nullptr;
    }
    p_opt_param->ls_opt_param = adt_dlist_create(sizeof(param_info *));
    if (!p_opt_param->ls_opt_param) {
        std::free(p_opt_param);
        LOG_FATAL("p_opt_param->ls_opt_param == NULL");
    }
    p_opt_param->param_num = 0;
    return p_opt_param;
}

int opt_param_set(opt_param *p_opt_param, uint32_t id, const void *data, int32_t size)
{
    if (!p_opt_param || !p_opt_param->ls_opt_param) {
        LOG_INFO("p_opt_param == NULL");
        return 0;
    }
    if (data && size < 0) {
        // A negative count cannot describe a block; keep the earlier value.
        LOG_INFO("size < 0");
        return 0;
    }
    adt_dlist *list = p_opt_param->ls_opt_param;

    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_next(node)) {
        param_info *old = entry_of(node);
        if (old && old->id == id) {
            p_opt_param->param_num--;
            adt_dlist_delete(list, node);
            free_param_info(old);
            break;
        }
    }
    adt_dlist_unlock(list);

    auto *info = static_cast<param_info *>(std::calloc(1, sizeof(param_info)));
    if (!info) LOG_FATAL("param_info == NULL");
    if (data && size > 0) {
        info->data = std::malloc(static_cast<size_t>(size));
        if (!info->data) {
            std::free(info);
            LOG_FATAL("param_info->data == NULL");
        }
        std::memcpy(info->data, data, static_cast<size_t>(size));
        info->size = size;
    }
    info->id = id;

    adt_dlist_lock(list);
    p_opt_param->param_num++;
    int added = adt_dlist_add(list, 0, &info);
    adt_dlist_unlock(list);
    if (!added) {
        free_param_info(info);
        LOG_FATAL("adt_dlist_add(ls_opt_param) failed");
    }
    return 1;
}

int opt_param_get(opt_param *p_opt_param, uint32_t id, void *data, int32_t size)
{
    if (!p_opt_param || !p_opt_param->ls_opt_param || !data) {
        LOG_INFO("opt_param == NULL || data == NULL");
        return 0;
    }
    adt_dlist *list = p_opt_param->ls_opt_param;
    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_next(node)) {
        const param_info *info = entry_of(node);
        if (!info || info->id != id) continue;
        if (size >= info->size) {
            if (info->data && info->size > 0) std::memcpy(data, info->data, static_cast<size_t>(info->size));
            adt_dlist_unlock(list);
            return 1;
        }
        LOG_INFO("size < param_info->size");
    }
    adt_dlist_unlock(list);
    return 0;
}

int opt_param_destroy(opt_param *p_opt_param)
{
    if (!p_opt_param) {
        LOG_INFO("opt_param == NULL");
        return 0;
    }
    adt_dlist *list = p_opt_param->ls_opt_param;
    if (list) {
        adt_dlist_lock(list);
        for (adt_dlist_node *node = adt_dlist_head(list); node; node = adt_dlist_head(list)) {
            free_param_info(entry_of(node));
            adt_dlist_delete(list, node);
        }
        p_opt_param->param_num = 0;
        adt_dlist_unlock(list);
        adt_dlist_destroy(list);
    }
    std::free(p_opt_param);
    return 1;
}
