// Merge jobs: create, position, start, stop, destroy.
#include <cstring>
#include <new>

#include "media/codec_compat.h"
#include "job/dst_info_fill.h"
#include "api/export_guard.h"
#include "job/host_name.h"
#include "job/job_records.h"
#include "job/merge_fmt.h"
#include "job/merge_sources.h"
#include "job/merge_worker.h"
#include "core/rtkit.h"

namespace {

constexpr uint32_t kTmpSlots = 2;  // temporaries made at one time

void *create_job(const char *dst_file, const merge_param_v1 *param)
{
    if (!dst_file || !param) {
        LOG_INFO("dst_file == NULL || param == NULL");
        return TARSA_INVALID_HANDLE;
    }
    const merge_param &mp = param->merge_param;
    if ((mp.width == 0 && mp.height != 0) || (mp.width != 0 && mp.height == 0)) {
        LOG_INFO("(param->merge_param.width == 0 && param->merge_param.height != 0) || (param->merge_param.width != 0 "
                 "&& param->merge_param.height == 0)");
        return TARSA_INVALID_HANDLE;
    }
    if (!check_job_file_name(dst_file, "dst_file")) return TARSA_INVALID_HANDLE;
    char dst_path[MAX_PATH] = {0};
    if (!get_file_path(dst_file, dst_path)) {
        LOG_INFO("!get_file_path(dst_file, dst_path)");
        return TARSA_INVALID_HANDLE;
    }
    merge_info *info = new (std::nothrow) merge_info();
    if (!info) {
        LOG_INFO("merge_info == NULL");
        return TARSA_INVALID_HANDLE;
    }
    info->ls_src_file = adt_dlist_create(sizeof(file_info *));
    if (!info->ls_src_file) LOG_FATAL("merge_info->ls_src_file == NULL");
    info->opt_param = opt_param_create();
    if (!info->opt_param) LOG_INFO("merge_info->opt_param == NULL");
    info->kind = TARSA_JOB_MERGE;
    str_copy(info->dst_file, sizeof info->dst_file, dst_file);
    str_copy(info->dst_path, sizeof info->dst_path, dst_path);
    info->merge_param = mp;
    info->usage_mode = param->usage_mode;
    info->hwd_type = param->hwd_type;
    info->tmp_slots.store(kTmpSlots);
    return info;
}

int start_job(merge_info *info, dst_info *out)
{
    if (is_bad_handle(info)) {
        LOG_INFO("merge_info == NULL");
        return 0;
    }
    if (info->running.load()) {
        LOG_INFO("merge_info->running");  // the worker's handle is still held: stop first
        return 0;
    }
    adt_dlist_lock(info->ls_src_file);
    const int size = adt_dlist_size(info->ls_src_file);
    adt_dlist_unlock(info->ls_src_file);
    if (size < 2) {
        LOG_INFO("size < 2");
        return 0;
    }
    const int f_fmt = get_merge_f_fmt_id(info->ls_src_file);
    const int a_fmt = get_merge_a_fmt_id(info->ls_src_file);
    const int v_fmt = get_merge_v_fmt_id(info->ls_src_file);
    const merge_param &mp = info->merge_param;
    if (!get_dst_file_codec_id(f_fmt, a_fmt, v_fmt, TARSA_JOB_MERGE, static_cast<int>(mp.dst_file_type), mp.width,
                               mp.height, info->opt_param, &info->dst_codec_info)) {
        LOG_INFO("get_dst_file_codec_id");
        return 0;
    }
    if (out) fill_dst_info(info->dst_codec_info, out);
    info->pos.store(0);
    info->running.store(1);
    if (!os_thread_create(&info->thr, nullptr, deal_with_merge, info)) {
        LOG_INFO("!os_thread_create(&merge_info->thr, 0, deal_with_merge, merge_info)");
        info->running.store(0);
        return 0;
    }
    return 1;
}

int stop_job(merge_info *info)
{
    if (is_bad_handle(info)) {
        LOG_INFO("merge_info == NULL");
        return 0;
    }
    // The worker ends its temporaries' monitors and children and removes
    // the temporaries before it returns.
    if (info->running.load()) {
        info->running.store(0);
        os_thread_join(&info->thr);
    }
    adt_dlist *list = info->ls_src_file;
    adt_dlist_lock(list);
    for (adt_dlist_node *node = adt_dlist_head(list); node;) {
        delete *static_cast<file_info **>(adt_dlist_getdata(node));
        node = adt_dlist_delete_ex(list, node);
    }
    adt_dlist_unlock(list);
    return 1;
}

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_merge_create(const char *dst_file, const merge_param *param)
{
    return tarsa_guarded("tarsa_sdk_merge_create", TARSA_INVALID_HANDLE, [&] {
        if (!dst_file || !param) {
            LOG_INFO("tarsa_sdk_merge_create:!dst_file || !param");
            return TARSA_INVALID_HANDLE;
        }
        merge_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.merge_param = *param;
        v1.usage_mode = HWD_USAGE_AUTO;
        v1.hwd_type = -1;
        return create_job(dst_file, &v1);
    });
}

TARSA_API void *tarsa_sdk_merge_create_v1(const char *dst_file, const merge_param_v1 *param)
{
    return tarsa_guarded("tarsa_sdk_merge_create_v1", TARSA_INVALID_HANDLE,
                         [&] { return create_job(dst_file, param); });
}

TARSA_API int tarsa_sdk_merge_get_pos(void *handle)
{
    if (is_bad_handle(handle)) {
        LOG_INFO("merge_info == NULL");
        return -1;
    }
    return static_cast<int>(static_cast<merge_info *>(handle)->pos.load());
}

TARSA_API int tarsa_sdk_merge_start_ex(void *handle, dst_info *info)
{
    return tarsa_guarded("tarsa_sdk_merge_start_ex", 0,
                         [&] { return start_job(static_cast<merge_info *>(handle), info); });
}

TARSA_API int tarsa_sdk_merge_start(void *handle) { return tarsa_sdk_merge_start_ex(handle, nullptr); }

TARSA_API int tarsa_sdk_merge_stop(void *handle)
{
    return tarsa_guarded("tarsa_sdk_merge_stop", 0, [&] { return stop_job(static_cast<merge_info *>(handle)); });
}

TARSA_API int tarsa_sdk_merge_destroy(void *handle)
{
    return tarsa_guarded("tarsa_sdk_merge_destroy", 0, [&] {
        merge_info *info = static_cast<merge_info *>(handle);
        if (is_bad_handle(info)) {
            LOG_INFO("merge_info == NULL");
            return 0;
        }
        stop_job(info);
        if (info->opt_param) opt_param_destroy(info->opt_param);
        adt_dlist_destroy(info->ls_src_file);
        delete info;
        return 1;
    });
}

}  // extern "C"
