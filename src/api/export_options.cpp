// Options of a job of any kind, picked by the job's kind tag.
#include "media/opt_param.h"
#include "api/export_guard.h"
#include "job/host_name.h"
#include "job/job_records.h"
#include "core/rtkit.h"

extern "C" {

TARSA_API int tarsa_sdk_set_option_param(void *handle, uint32_t id, const void *data, int32_t size)
{
    return tarsa_guarded("tarsa_sdk_set_option_param", 0, [&] {
        if (is_bad_handle(handle)) {
            LOG_INFO("handle == NULL");
            return 0;
        }
        switch (*static_cast<const uint32_t *>(handle)) {
        case TARSA_JOB_CONVERT: return opt_param_set(static_cast<cvt_info *>(handle)->opt_param, id, data, size);
        case TARSA_JOB_CUT: return opt_param_set(static_cast<cut_info *>(handle)->opt_param, id, data, size);
        case TARSA_JOB_MERGE: return opt_param_set(static_cast<merge_info *>(handle)->opt_param, id, data, size);
        default: return 0;
        }
    });
}

}  // extern "C"
