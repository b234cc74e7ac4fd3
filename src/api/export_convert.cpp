// Conversion exports.
#include "api/export_create.h"
#include "api/job_handle.h"
#include "job/cvt_job.h"

namespace {

const char kMissing[] = "tarsa_sdk_create:!src_file || !dst_file || !param";

job *conversion(void *handle) { return job_of(handle, TARSA_JOB_CONVERT, "cvt_info == NULL"); }

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_create(const char *src_file, const char *dst_file, const cvt_param *param)
{
    return create_source_job_export("tarsa_sdk_create", src_file, dst_file, param, &cvt_param_v1::cvt_param, kMissing,
                                    create_cvt_job);
}

TARSA_API void *tarsa_sdk_create_v1(const char *src_file, const char *dst_file, const cvt_param_v1 *param)
{
    return create_source_job_export("tarsa_sdk_create_v1", src_file, dst_file, param, kMissing, create_cvt_job);
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
