// Conversion exports.
#include <cstring>

#include "api/export_guard.h"
#include "api/job_handle.h"
#include "job/cvt_job.h"

namespace {

void *create(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    if (!src_file || !dst_file || !param) {
        LOG_INFO("tarsa_sdk_create:!src_file || !dst_file || !param");
        return TARSA_INVALID_HANDLE;
    }
    job *j = create_cvt_job(src_file, dst_file, param);
    return j ? static_cast<void *>(j) : TARSA_INVALID_HANDLE;
}

job *conversion(void *handle) { return job_of(handle, TARSA_JOB_CONVERT, "cvt_info == NULL"); }

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_create(const char *src_file, const char *dst_file, const cvt_param *param)
{
    return tarsa_guarded("tarsa_sdk_create", TARSA_INVALID_HANDLE, [&] {
        if (!param) return create(src_file, dst_file, nullptr);
        cvt_param_v1 v1;
        std::memset(&v1, 0, sizeof v1);
        v1.cvt_param = *param;
        v1.usage_mode = HWD_USAGE_AUTO;
        v1.hwd_type = -1;
        return create(src_file, dst_file, &v1);
    });
}

TARSA_API void *tarsa_sdk_create_v1(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    return tarsa_guarded("tarsa_sdk_create_v1", TARSA_INVALID_HANDLE, [&] { return create(src_file, dst_file, param); });
}

TARSA_API int tarsa_sdk_get_pos(void *handle)
{
    job *j = conversion(handle);
    return j ? job_pos(j) : -1;
}

TARSA_API int tarsa_sdk_start_ex(void *handle, dst_info *info)
{
    return tarsa_guarded("tarsa_sdk_start_ex", 0, [&] {
        job *j = conversion(handle);
        return j ? job_start(j, info) : 0;
    });
}

TARSA_API int tarsa_sdk_start(void *handle) { return tarsa_sdk_start_ex(handle, nullptr); }

TARSA_API int tarsa_sdk_stop(void *handle)
{
    return tarsa_guarded("tarsa_sdk_stop", 0, [&] {
        job *j = conversion(handle);
        return j ? job_stop(j) : 0;
    });
}

TARSA_API int tarsa_sdk_destroy(void *handle)
{
    return tarsa_guarded("tarsa_sdk_destroy", 0, [&] {
        job *j = conversion(handle);
        return j ? job_destroy(j) : 0;
    });
}

TARSA_API int tarsa_sdk_get_ffmpeg_pid(void *handle)
{
    return tarsa_guarded("tarsa_sdk_get_ffmpeg_pid", -1, [&] {
        job *j = job_of(handle, TARSA_JOB_CONVERT, "fd == NULL");
        return j ? job_tool_pid(j) : -1;
    });
}

}  // extern "C"
