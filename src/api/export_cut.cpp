// Cut exports.
#include <cstring>

#include "api/export_guard.h"
#include "api/job_handle.h"
#include "job/cvt_job.h"

namespace {

void *create(const char *src_file, const char *dst_file, const cut_param_v1 *param)
{
    if (!src_file || !dst_file || !param) {
        LOG_INFO("tarsa_sdk_cut_create: !src_file|| !dst_file || !param");
        return TARSA_INVALID_HANDLE;
    }
    job *j = create_cut_job(src_file, dst_file, param);
    return j ? static_cast<void *>(j) : TARSA_INVALID_HANDLE;
}

job *cut(void *handle) { return job_of(handle, TARSA_JOB_CUT, "cut_info == NULL"); }

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_cut_create(const char *src_file, const char *dst_file, const cut_param *param)
{
    return tarsa_guarded("tarsa_sdk_cut_create", TARSA_INVALID_HANDLE, [&] {
        if (!param) return create(src_file, dst_file, nullptr);
        cut_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cut_param = *param;
        v1.usage_mode = HWD_USAGE_AUTO;
        v1.hwd_type = -1;
        return create(src_file, dst_file, &v1);
    });
}

TARSA_API void *tarsa_sdk_cut_create_v1(const char *src_file, const char *dst_file, const cut_param_v1 *param)
{
    return tarsa_guarded("tarsa_sdk_cut_create_v1", TARSA_INVALID_HANDLE,
                         [&] { return create(src_file, dst_file, param); });
}

TARSA_API int tarsa_sdk_cut_get_pos(void *handle)
{
    job *j = cut(handle);
    return j ? job_pos(j) : -1;
}

TARSA_API int tarsa_sdk_cut_start(void *handle)
{
    return tarsa_guarded("tarsa_sdk_cut_start", 0, [&] {
        job *j = cut(handle);
        return j ? job_start(j, nullptr) : 0;
    });
}

TARSA_API int tarsa_sdk_cut_stop(void *handle)
{
    return tarsa_guarded("tarsa_sdk_cut_stop", 0, [&] {
        job *j = cut(handle);
        return j ? job_stop(j) : 0;
    });
}

TARSA_API int tarsa_sdk_cut_destroy(void *handle)
{
    return tarsa_guarded("tarsa_sdk_cut_destroy", 0, [&] {
        job *j = cut(handle);
        return j ? job_destroy(j) : 0;
    });
}

}  // extern "C"
