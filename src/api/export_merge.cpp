// Merge exports.
#include <cstring>

#include "api/export_create.h"
#include "api/job_handle.h"
#include "job/merge_job.h"
#include "job/merge_sources.h"

namespace {

void *create(const char *dst_file, const merge_param_v1 *param)
{
    if (!dst_file || !param) {
        LOG_INFO("dst_file == NULL || param == NULL");
        return TARSA_INVALID_HANDLE;
    }
    return handle_of(create_merge_job(dst_file, param));
}

merge_info *merge(void *handle) { return static_cast<merge_info *>(job_of(handle, TARSA_JOB_MERGE, "merge_info == NULL")); }

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_merge_create(const char *dst_file, const merge_param *param)
{
    return tarsa_guarded("tarsa_sdk_merge_create", TARSA_INVALID_HANDLE, [&] {
        if (!dst_file || !param) {
            LOG_INFO("tarsa_sdk_merge_create:!dst_file || !param");
            return TARSA_INVALID_HANDLE;
        }
        const merge_param_v1 v1 = auto_hwd_params(*param, &merge_param_v1::merge_param);
        return create(dst_file, &v1);
    });
}

TARSA_API void *tarsa_sdk_merge_create_v1(const char *dst_file, const merge_param_v1 *param)
{
    return tarsa_guarded("tarsa_sdk_merge_create_v1", TARSA_INVALID_HANDLE, [&] { return create(dst_file, param); });
}

TARSA_API int tarsa_sdk_merge_get_pos(void *handle)
{
    merge_info *m = merge(handle);
    return m ? job_pos(m) : -1;
}

TARSA_API int tarsa_sdk_merge_start_ex(void *handle, dst_info *info)
{
    return tarsa_guarded("tarsa_sdk_merge_start_ex", 0, [&] {
        merge_info *m = merge(handle);
        return m ? job_start(m, info) : 0;
    });
}

TARSA_API int tarsa_sdk_merge_start(void *handle) { return tarsa_sdk_merge_start_ex(handle, nullptr); }

TARSA_API int tarsa_sdk_merge_stop(void *handle)
{
    return tarsa_guarded("tarsa_sdk_merge_stop", 0, [&] {
        merge_info *m = merge(handle);
        return m ? job_stop(m) : 0;
    });
}

TARSA_API int tarsa_sdk_merge_destroy(void *handle)
{
    return tarsa_guarded("tarsa_sdk_merge_destroy", 0, [&] {
        merge_info *m = merge(handle);
        return m ? job_destroy(m) : 0;
    });
}

TARSA_API int tarsa_sdk_merge_add_file(void *handle, const char *src_file)
{
    return tarsa_guarded("tarsa_sdk_merge_add_file", 0, [&] {
        merge_info *m = merge(handle);
        return m ? merge_add_source(m, src_file) : 0;
    });
}

TARSA_API int tarsa_sdk_merge_del_file(void *handle, const char *src_file)
{
    return tarsa_guarded("tarsa_sdk_merge_del_file", 0, [&] {
        merge_info *m = merge(handle);
        return m ? merge_del_source(m, src_file) : 0;
    });
}

TARSA_API int tarsa_sdk_merge_set_tmp_path(const char *path)
{
    return tarsa_guarded("tarsa_sdk_merge_set_tmp_path", 0, [&] {
        if (!path) {
            LOG_INFO("path == NULL");
            return 0;
        }
        if (std::strlen(path) >= MAX_PATH) {
            LOG_INFO("strlen(path) >= MAX_PATH)");
            return 0;
        }
        return set_tmp_path(path);
    });
}

}  // extern "C"
