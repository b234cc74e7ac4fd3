// Cut exports.
#include "api/export_create.h"
#include "api/job_handle.h"
#include "job/cvt_job.h"

namespace {

const char kMissing[] = "tarsa_sdk_cut_create: !src_file|| !dst_file || !param";

job *cut(void *handle) { return job_of(handle, TARSA_JOB_CUT, "cut_info == NULL"); }

}  // namespace

extern "C" {

TARSA_API void *tarsa_sdk_cut_create(const char *src_file, const char *dst_file, const cut_param *param)
{
    return create_source_job_export("tarsa_sdk_cut_create", src_file, dst_file, param, &cut_param_v1::cut_param,
                                    kMissing, create_cut_job);
}

TARSA_API void *tarsa_sdk_cut_create_v1(const char *src_file, const char *dst_file, const cut_param_v1 *param)
{
    return create_source_job_export("tarsa_sdk_cut_create_v1", src_file, dst_file, param, kMissing, create_cut_job);
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
