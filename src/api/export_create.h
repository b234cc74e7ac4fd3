// The create exports of every job kind, written once: missing arguments
// refused with the kind's log line, the failed create's value for none,
// and the record without hardware fields filled for automatic hardware.
#ifndef TARSA_SDK_EXPORT_CREATE_H
#define TARSA_SDK_EXPORT_CREATE_H

#include <cstring>

#include "api/export_guard.h"
#include "job/job_records.h"

// The host's handle for a created job: TARSA_INVALID_HANDLE for none.
inline void *handle_of(job *j) { return j ? static_cast<void *>(j) : TARSA_INVALID_HANDLE; }

// The "_v1" record of a create that takes the plain one: `field` is the
// plain record's place in it; the hardware is chosen automatically.
template <typename V1, typename Param>
V1 auto_hwd_params(const Param &param, Param V1::*field)
{
    V1 v1;
    std::memset(&v1, 0, sizeof v1);
    v1.*field = param;
    v1.usage_mode = HWD_USAGE_AUTO;
    v1.hwd_type = -1;
    return v1;
}

// A job made from one source (conversion, cut) by `make`; `missing` is
// logged when an argument is NULL.
template <typename V1>
void *create_source_job(const char *src_file, const char *dst_file, const V1 *param, const char *missing,
                        job *(*make)(const char *, const char *, const V1 *))
{
    if (!src_file || !dst_file || !param) {
        LOG_INFO("%s", missing);
        return TARSA_INVALID_HANDLE;
    }
    return handle_of(make(src_file, dst_file, param));
}

// The exports of such a job: with the "_v1" record, and with the plain
// one (NULL refused as a missing "_v1" record).
template <typename V1>
void *create_source_job_export(const char *name, const char *src_file, const char *dst_file, const V1 *param,
                               const char *missing, job *(*make)(const char *, const char *, const V1 *))
{
    return tarsa_guarded(name, TARSA_INVALID_HANDLE,
                         [&] { return create_source_job(src_file, dst_file, param, missing, make); });
}
template <typename V1, typename Param>
void *create_source_job_export(const char *name, const char *src_file, const char *dst_file, const Param *param,
                               Param V1::*field, const char *missing,
                               job *(*make)(const char *, const char *, const V1 *))
{
    return tarsa_guarded(name, TARSA_INVALID_HANDLE, [&] {
        if (!param) return create_source_job<V1>(src_file, dst_file, nullptr, missing, make);
        const V1 v1 = auto_hwd_params(*param, field);
        return create_source_job(src_file, dst_file, &v1, missing, make);
    });
}

#endif
